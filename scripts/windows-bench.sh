#!/bin/sh
# make windows-bench: the benchmark table of make bench, cross-built for
# 64-bit Windows (the windows-bench preset, build-windows-bench/) and run
# under Wine on Qt's offscreen platform. Google Benchmark comes from
# scripts/windows-libs.sh; OpenCV has no MinGW build here, so its reference
# rows are left out.
#   BENCH_FILTER  rows by name, as for make bench
#   BENCH_FLAGS   more Google Benchmark options
# shellcheck source=scripts/windows-env.sh
. "$(dirname "$0")/windows-env.sh"
build=$(binary_dir windows-bench)

scripts/deps.sh windows
windows_qt
windows_libs highway benchmark
configure windows-bench CMAKE_PREFIX_PATH "$prefixes"
cmake --build --preset windows-bench -j "$jobs"

wine_prefix "$root/$build/wine"
trap 'wineserver -k 2>/dev/null || true' EXIT INT TERM
export WINEPATH="Z:$qt/bin;Z:$(mingw_runtime);Z:/usr/$triplet/lib"
export WINE_TIMEOUT=3600
set --
[ -n "${BENCH_FILTER:-}" ] && set -- "--benchmark_filter=$BENCH_FILTER"
# shellcheck disable=SC2086
scripts/wine-run.sh "$build/bench/imagebench_bench.exe" "$@" ${BENCH_FLAGS:-}
