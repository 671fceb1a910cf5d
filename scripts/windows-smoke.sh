#!/bin/sh
# The smoke run of the Windows package: installs dist/imagebench-<version>-setup.exe
# silently into a fresh Wine prefix, starts the installed program on an X
# server (Xvfb) with Qt's windows platform, checks the title bar reads
# "Form1", opens a sample through File > Open, runs Image Processing >
# Complement, saves through File > Save and checks the saved picture is the
# complement of the sample and the window shows it, pixel for pixel. The
# window with the complement goes to docs/screenshot-windows.png. Then the
# silent uninstall must remove every file and the Start-menu entry.
# shellcheck source=scripts/windows-env.sh
. "$(dirname "$0")/windows-env.sh"
setup=$root/dist/imagebench-$version-setup.exe
sample=samples/colour-400x300.png
screenshot=${SMOKE_SCREENSHOT:-docs/screenshot-windows.png}

[ -f "$setup" ] || scripts/windows.sh
scripts/deps.sh windows
[ -f "$host/build.ninja" ] || cmake --preset release
cmake --build --preset release --target smoke_check >/dev/null
check=$root/$host/tools/smoke_check

say() { echo "windows-smoke: $*"; }
fail() { echo "windows-smoke: FAILED: $*" >&2; exit 1; }
# wait_for <seconds> <command...>: polls every half second.
wait_for() {
  limit=$(( $1 * 2 )); shift
  while ! "$@" >/dev/null 2>&1; do
    limit=$(( limit - 1 ))
    [ "$limit" -gt 0 ] || return 1
    sleep 0.5
  done
}

work=$root/$build/smoke
rm -rf "$work"
mkdir -p "$work"
# The host's Qt tools want a runtime folder of their own.
export XDG_RUNTIME_DIR="$work/runtime"
mkdir -m 700 "$XDG_RUNTIME_DIR"

# A display of our own.
n=90
while [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ]; do n=$(( n + 1 )); done
Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
xvfb=$!
app=""
cleanup() {
  [ -z "$app" ] || kill "$app" 2>/dev/null || true
  wineserver -k 2>/dev/null || true
  kill "$xvfb" 2>/dev/null || true
}
trap cleanup EXIT INT TERM
export DISPLAY=":$n"
wait_for 20 test -e "/tmp/.X11-unix/X$n" || fail "Xvfb did not start"

start=$(date +%s)
wine_prefix "$work/prefix"
say "fresh Wine prefix in $(( $(date +%s) - start )) s"
# The windows platform, never the offscreen one the test suite uses.
unset WINEQT_QPA_PLATFORM QT_QPA_PLATFORM WINEPATH 2>/dev/null || true

start=$(date +%s)
timeout 120 wine "$setup" /S || fail "the installer exited with $?"
installed="$WINEPREFIX/drive_c/Program Files/imagebench"
[ -f "$installed/imagebench.exe" ] || fail "no imagebench.exe in $installed"
[ -f "$installed/platforms/qwindows.dll" ] || fail "no platforms/qwindows.dll in $installed"
shortcut=$(find "$WINEPREFIX/drive_c" -name imagebench.lnk | head -n 1)
[ -n "$shortcut" ] || fail "no Start-menu entry imagebench.lnk"
say "silent install in $(( $(date +%s) - start )) s: $(find "$installed" -type f | wc -l) files, $shortcut"

mkdir -p "$WINEPREFIX/drive_c/smoke"
cp "$sample" "$WINEPREFIX/drive_c/smoke/in.png"
result="$WINEPREFIX/drive_c/smoke/out.bmp"

# Wine's DirectWrite leaves the text of line edits and combo boxes undrawn;
# Qt's FreeType engine draws every text, so the screenshot shows them all.
WINE_TIMEOUT=300 "$root/scripts/wine-run.sh" 'C:\Program Files\imagebench\imagebench.exe' \
  -platform windows:fontengine=freetype >"$work/imagebench.log" 2>&1 &
app=$!
window() { xdotool search --onlyvisible --name "$1" | head -n 1; }
# Found by any title that starts with Form1, so that a wrong ending is
# reported as such rather than as a missing window.
wait_for 90 sh -c "xdotool search --onlyvisible --name '^Form1' | grep -q ." \
  || fail "no window titled Form1 appeared"
wid=$(window '^Form1')
title=$(xdotool getwindowname "$wid")
case "$title" in Form1) ;; *) fail "the title bar reads \"$title\", not \"Form1\"" ;; esac
say "window $wid titled \"$title\""

# Keys reach the window through xdotool (XTEST) as a user's would. Wine
# gives its file dialogs no title on an X server without a window manager:
# a dialog is a shown window of the program, other than Form1, at least
# 300 pixels wide.
dialog_shown() {
  for w in $(xdotool search --onlyvisible --classname imagebench 2>/dev/null); do
    [ "$w" = "$wid" ] && continue
    width=$(xdotool getwindowgeometry "$w" | sed -n 's/.*Geometry: \([0-9]*\)x.*/\1/p')
    [ "${width:-0}" -ge 300 ] && return 0
  done
  return 1
}
# answer <what> <path>: types the path into the file dialog the last key
# opened and confirms it.
answer() {
  wait_for 30 dialog_shown || fail "no $1 dialog appeared"
  sleep 1
  xdotool type --delay 30 "$2"
  xdotool key Return
  wait_for 30 dialog_gone || fail "the $1 dialog stayed open"
  sleep 1
}
dialog_gone() { ! dialog_shown; }
shot() { QT_QPA_PLATFORM=xcb "$check" grab "$wid" "$1" >/dev/null || fail "no picture of the window"; }

# The keys go to the window under the pointer's click.
xdotool mousemove --window "$wid" 300 300 click 1
sleep 0.5
xdotool key ctrl+o
answer open 'C:\smoke\in.png'
shot "$work/opened.png"
"$check" shows "$work/opened.png" "$sample" || fail "the window does not show the opened $sample"
# F10 highlights "File"; Image Processing is three titles to the right, Down
# opens it with Complement, its first item, selected, and Enter chooses it.
xdotool key F10
sleep 0.5
xdotool key Right Right Right
sleep 0.5
xdotool key Down
sleep 0.5
xdotool key Return
sleep 1
mkdir -p "$(dirname "$screenshot")"
shot "$screenshot"
xdotool key ctrl+s
# Wine's save dialog appends the selected filter's first extension (.bmp for
# "All pictures") to any name with another: a .bmp name is kept as typed.
answer save 'C:\smoke\out.bmp'
wait_for 30 test -s "$result" || fail "nothing was saved to C:\\smoke\\out.bmp"
"$check" complement "$sample" "$result" || fail "the saved picture is not the complement of $sample"
"$check" shows "$screenshot" "$result" || fail "the window does not show the complement it saved"
say "opened, complemented, shown and saved through the window; the screenshot is $screenshot"

kill "$app" 2>/dev/null || true
wait "$app" 2>/dev/null || true
app=""

start=$(date +%s)
timeout 120 wine 'C:\Program Files\imagebench\Uninstall.exe' /S || fail "the uninstaller exited with $?"
# The uninstaller copies itself away and goes on from there.
wait_for 60 test ! -e "$installed" || fail "the uninstaller left $(find "$installed" | head -n 5 | tr '\n' ' ')"
[ ! -e "$shortcut" ] || fail "the uninstaller left $shortcut"
say "silent uninstall in $(( $(date +%s) - start )) s: nothing left"
say "passed"
