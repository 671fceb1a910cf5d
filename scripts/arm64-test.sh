#!/bin/sh
# make arm64-test: the picture layer and its unit tests cross-built for 64-bit
# ARM Linux (build-arm64/) and run under qemu-aarch64, once: the kernel tests
# run every instruction set the processor model has, the portable kernels
# included, against the tests' scalar references.
# ARM64_TESTS=all builds and runs the window tests too (offscreen).
# Tests listed in tests/qemu-excluded.txt are left out, each with its reason.
# shellcheck source=scripts/config.sh
. "$(dirname "$0")/config.sh"
build=$(binary_dir arm64)

scripts/deps.sh arm64
sysroot=$(scripts/arm64-sysroot.sh | tail -n 1)
[ -f "$sysroot/usr/lib/aarch64-linux-gnu/cmake/Qt6/Qt6Config.cmake" ] \
  || { echo "arm64-test: no arm64 Qt in $sysroot" >&2; exit 1; }

# Rebuilt from scratch when the packages underneath changed.
export IMAGEBENCH_ARM64_SYSROOT="$sysroot"
configure arm64 IMAGEBENCH_ARM64_SYSROOT "$sysroot"
targets=imagebench_unit_tests
[ "${ARM64_TESTS:-unit}" = all ] && targets="$targets imagebench_window_tests"
# shellcheck disable=SC2086
cmake --build "$build" -j "$jobs" --target $targets

# Qt's offscreen platform and its plugins from the unpacked packages; the
# dynamic loader and every library from the same folder.
export QEMU_LD_PREFIX="$sysroot"
export QT_QPA_PLATFORM=offscreen
export QT_PLUGIN_PATH="$sysroot/usr/lib/aarch64-linux-gnu/qt6/plugins"
export QT_QPA_FONTDIR=/usr/share/fonts/truetype/dejavu
excluded=$(sed -n 's/^\([^#[:space:]][^[:space:]]*\).*/\1/p' tests/qemu-excluded.txt | paste -sd ':' -)
start=$(date +%s)
status=0
for program in $targets; do
  echo "arm64-test: $program"
  timeout --kill-after=10 1800 qemu-aarch64 "$build/tests/$program" --gtest_brief=1 \
    ${excluded:+"--gtest_filter=-$excluded"} || status=1
done
echo "arm64-test: the tests under qemu-aarch64 took $(( $(date +%s) - start )) s"
exit "$status"
