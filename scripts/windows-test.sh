#!/bin/sh
# make windows-test: the whole cross-built test suite under Wine on Qt's
# offscreen platform, then the smoke run of the installer and the installed
# program on an X server (scripts/windows-smoke.sh).
# Tests listed in tests/wine-excluded.txt are left out, each with its reason.
set -eu
cd "$(dirname "$0")/.."
root=$PWD
build=${WINDOWS_BUILD_DIR:-build-windows}
jobs=${JOBS:-$(nproc)}
triplet=x86_64-w64-mingw32

scripts/windows.sh
qt=$(scripts/qt-windows.sh | tail -n 1)
gcc_runtime=$(dirname "$($triplet-g++-posix -print-libgcc-file-name)")

. scripts/wine-env.sh
wine_prefix "$root/$build/wine"
trap 'wineserver -k 2>/dev/null || true' EXIT INT TERM
# Qt's DLLs and the MinGW runtime for the test programs; Qt finds its plugins
# beside its own DLLs. Wine hides every variable starting with QT_ from the
# program and passes WINEQT_* on without the prefix.
export WINEPATH="Z:$qt/bin;Z:$gcc_runtime;Z:/usr/$triplet/lib"
export WINEQT_QPA_PLATFORM=offscreen
export WINEQT_QPA_FONTDIR='Z:\usr\share\fonts\truetype\dejavu'

excluded=$(sed -n 's/^\([^#[:space:]][^[:space:]]*\).*/\1/p' tests/wine-excluded.txt | sed 's/[.[\*^$()+?{|]/\\&/g' | paste -sd '|' -)
start=$(date +%s)
# Wine now and then fails to start a test program at all (it ends within
# milliseconds and prints nothing); such a test is run once more. A test that
# fails twice fails the run.
set -- --test-dir "$build" --output-on-failure -j "$jobs" --timeout 600 --repeat until-pass:2
if [ -n "$excluded" ]; then
  set -- "$@" -E "^($excluded)\$"
fi
status=0
ctest "$@" || status=$?
echo "windows-test: the suite under Wine took $(( $(date +%s) - start )) s"
[ "$status" = 0 ] || exit "$status"
wineserver -k 2>/dev/null || true

# The display-scale cases again with Qt's windows platform on an X server, in
# prefixes whose desktop runs at 120 and 144 DPI (Windows at 125 % and
# 150 %): the probe against the window's buffer, the blocks and the exact
# view at the scale Windows gives the program.
for dpi in 120 144; do
  wine_prefix "$root/$build/wine-$dpi"
  timeout 120 wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null 2>&1
  echo "windows-test: the display-scale cases at $dpi DPI"
  WINEQT_QPA_PLATFORM=windows timeout 600 xvfb-run -a -s '-screen 0 1600x1200x24' \
    wine "$build/tests/imagebench_window_tests.exe" --gtest_filter='DisplayScaleTest.*' || status=$?
  wineserver -k 2>/dev/null || true
  [ "$status" = 0 ] || { echo "windows-test: the display-scale cases failed at $dpi DPI"; exit "$status"; }
done

scripts/windows-smoke.sh
