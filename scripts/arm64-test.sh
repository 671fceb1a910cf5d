#!/bin/sh
# make arm64-test: the picture layer and its unit tests cross-built for 64-bit
# ARM Linux (build-arm64/) and run under qemu-aarch64, first on the row
# kernels the processor model chooses, then on the portable ones
# (IMAGEBENCH_PORTABLE=1), each against the tests' scalar references.
# ARM64_TESTS=all builds and runs the window tests too (offscreen).
# Tests listed in tests/qemu-excluded.txt are left out, each with its reason.
set -eu
cd "$(dirname "$0")/.."
root=$PWD
build=build-arm64   # binaryDir of the arm64 preset (CMakePresets.json)
jobs=${JOBS:-$(nproc)}

scripts/deps.sh arm64
sysroot=$(scripts/arm64-sysroot.sh | tail -n 1)
[ -f "$sysroot/usr/lib/aarch64-linux-gnu/cmake/Qt6/Qt6Config.cmake" ] \
  || { echo "arm64-test: no arm64 Qt in $sysroot" >&2; exit 1; }

# Rebuilt from scratch when the packages underneath changed.
if [ -f "$build/CMakeCache.txt" ] && ! grep -q "^IMAGEBENCH_ARM64_SYSROOT:[A-Z]*=$sysroot\$" "$build/CMakeCache.txt"; then
  rm -rf "$build"
fi
export IMAGEBENCH_ARM64_SYSROOT="$sysroot"
[ -f "$build/build.ninja" ] || cmake --preset arm64
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
  for portable in 0 1; do
    echo "arm64-test: $program$( [ $portable = 1 ] && echo ' (portable kernels)')"
    IMAGEBENCH_PORTABLE=$( [ $portable = 1 ] && echo 1 || echo '') \
      timeout --kill-after=10 1800 qemu-aarch64 "$build/tests/$program" --gtest_brief=1 \
        ${excluded:+"--gtest_filter=-$excluded"} || status=1
  done
done
echo "arm64-test: the tests under qemu-aarch64 took $(( $(date +%s) - start )) s"
exit "$status"
