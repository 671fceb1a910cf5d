#!/bin/sh
# make windows-bench: the benchmark table of make bench, cross-built for
# 64-bit Windows (build-windows-bench/, Release) and run under Wine on Qt's
# offscreen platform. Google Benchmark comes from scripts/windows-libs.sh;
# OpenCV has no MinGW build here, so its reference rows are left out.
#   BENCH_FILTER  rows by name, as for make bench
#   BENCH_FLAGS   more Google Benchmark options
set -eu
cd "$(dirname "$0")/.."
root=$PWD
build=${WINDOWS_BENCH_DIR:-build-windows-bench}
jobs=${JOBS:-$(nproc)}
triplet=x86_64-w64-mingw32

scripts/deps.sh windows
qt=$(scripts/qt-windows.sh | tail -n 1)
[ -f "$qt/lib/cmake/Qt6/Qt6Config.cmake" ] || { echo "windows-bench: no Qt for MinGW in $qt" >&2; exit 1; }
libs=$(scripts/windows-libs.sh highway libspng benchmark)
prefixes="$qt;$(echo "$libs" | paste -sd ';' -)"

if [ -f "$build/CMakeCache.txt" ] \
   && [ "$(sed -n 's/^CMAKE_PREFIX_PATH:[A-Z]*=//p' "$build/CMakeCache.txt")" != "$prefixes" ]; then
  rm -rf "$build"
fi
[ -f "$build/build.ninja" ] || cmake -S . -B "$build" -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" -DCMAKE_PREFIX_PATH="$prefixes" \
  -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
  -DCMAKE_CROSSCOMPILING_EMULATOR="$root/scripts/wine-run.sh" \
  -DCMAKE_BUILD_TYPE=Release -DIMAGEBENCH_WERROR=ON -DIMAGEBENCH_BENCH=ON -DIMAGEBENCH_TESTS=OFF
cmake --build "$build" -j "$jobs" --target imagebench_bench

gcc_runtime=$(dirname "$($triplet-g++-posix -print-libgcc-file-name)")
. scripts/wine-env.sh
wine_prefix "$root/$build/wine"
trap 'wineserver -k 2>/dev/null || true' EXIT INT TERM
# Wine hides every variable starting with QT_ from the program and passes
# WINEQT_* on without the prefix.
export WINEPATH="Z:$qt/bin;Z:$gcc_runtime;Z:/usr/$triplet/lib"
export WINEQT_QPA_PLATFORM=offscreen
export WINEQT_QPA_FONTDIR='Z:\usr\share\fonts\truetype\dejavu'
export WINE_TIMEOUT=${WINE_TIMEOUT:-3600}
set --
[ -n "${BENCH_FILTER:-}" ] && set -- "--benchmark_filter=$BENCH_FILTER"
# shellcheck disable=SC2086
scripts/wine-run.sh "$build/bench/imagebench_bench.exe" "$@" ${BENCH_FLAGS:-}
