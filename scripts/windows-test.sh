#!/bin/sh
# make windows-test: the whole cross-built test suite under Wine on Qt's
# offscreen platform, then the smoke run of the installer and the installed
# program on an X server (scripts/windows-smoke.sh).
# Tests listed in tests/wine-excluded.txt are left out, each with its reason.
# shellcheck source=scripts/windows-env.sh
. "$(dirname "$0")/windows-env.sh"

scripts/windows.sh
windows_qt

wine_prefix "$root/$build/wine"
trap 'wineserver -k 2>/dev/null || true' EXIT INT TERM
# Qt's DLLs and the MinGW runtime for the test programs; Qt finds its plugins
# beside its own DLLs. The windows test preset sets Qt's platform and fonts.
export WINEPATH="Z:$qt/bin;Z:$(mingw_runtime);Z:/usr/$triplet/lib"

excluded=$(sed -n 's/^\([^#[:space:]][^[:space:]]*\).*/\1/p' tests/wine-excluded.txt | sed 's/[.[\*^$()+?{|]/\\&/g' | paste -sd '|' -)
start=$(date +%s)
# Wine now and then fails to start a test program at all (it ends within
# milliseconds and prints nothing); the windows test preset runs such a test
# once more. A test that fails twice fails the run.
set -- --preset windows -j "$jobs"
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
# view at the scale Windows gives the program. Wine's desktop process starts
# with a prefix's first program, so the X server runs before the prefix is
# made ready; it is made ready again once LogPixels is set, since Wine reads
# it when it starts.
for dpi in 120 144; do
  n=90
  while [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ]; do n=$(( n + 1 )); done
  Xvfb ":$n" -screen 0 1600x1200x24 -nolisten tcp >/dev/null 2>&1 &
  xvfb=$!
  export DISPLAY=":$n"
  tries=40
  until xdpyinfo >/dev/null 2>&1; do
    tries=$(( tries - 1 )); [ "$tries" -gt 0 ] || { echo "windows-test: Xvfb did not start" >&2; exit 1; }
    sleep 0.5
  done
  wine_prefix "$root/$build/wine-$dpi"
  timeout 120 wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null 2>&1
  wine_prefix "$root/$build/wine-$dpi"
  echo "windows-test: the display-scale cases at $dpi DPI"
  WINEQT_QPA_PLATFORM=windows timeout 600 \
    wine "$build/tests/imagebench_window_tests.exe" --gtest_filter='DisplayScaleTest.*' || status=$?
  wineserver -k 2>/dev/null || true
  kill "$xvfb" 2>/dev/null || true
  unset DISPLAY
  [ "$status" = 0 ] || { echo "windows-test: the display-scale cases failed at $dpi DPI"; exit "$status"; }
done

scripts/windows-smoke.sh
