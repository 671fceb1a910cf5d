#!/bin/sh
# The smoke run of the Windows package: installs dist/imagebench-<version>-setup.exe
# silently into a fresh Wine prefix, starts the installed program on an X
# server (Xvfb) with Qt's windows platform, checks the title bar reads
# "Form1", opens a sample through File > Open, runs Image Processing >
# Complement, saves through File > Save and checks the saved picture is the
# complement of the sample and the window shows it, pixel for pixel. The
# window with the complement goes to docs/screenshot-windows.png. While the
# program runs, the installer run again and the uninstaller (silent and
# asking) must stop without changing anything; the uninstaller asking must
# show its message box, again after Retry. Then, the program closed, the
# silent uninstall must remove every file, the Start-menu entry and the Apps
# entry.
# shellcheck source=scripts/windows-env.sh
. "$(dirname "$0")/windows-env.sh"
setup=$root/dist/imagebench-$version-setup.exe
sample=samples/colour-400x300.png
screenshot=${SMOKE_SCREENSHOT:-docs/screenshot-windows.png}

[ -f "$setup" ] || scripts/windows.sh
scripts/deps.sh windows
configure release
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

# The Apps entry: publisher, version, size and icon; the exe's version
# information names the product and this version.
apps_key='Software\Microsoft\Windows\CurrentVersion\Uninstall\imagebench'
apps_value() {   # apps_value <name>: the value in the Apps entry, for all users or this one
  for hive in HKLM HKCU; do
    value=$(timeout 60 wine reg query "$hive\\$apps_key" /v "$1" 2>/dev/null | tr -d '\r' \
      | sed -n "s/^ *$1 *REG_[A-Z]* *//p")
    [ -n "$value" ] && { echo "$value"; return 0; }
  done
  return 1
}
[ "$(apps_value Publisher)" = "imagebench maintainers" ] || fail "the Apps entry has no publisher"
[ "$(apps_value DisplayVersion)" = "$version" ] || fail "the Apps entry's version is not $version"
size=$(apps_value EstimatedSize) || fail "the Apps entry has no size"
# Within a tenth of what the installed files take.
actual=$(du -sk "$installed" | cut -f1)
[ $(( size * 10 )) -ge $(( actual * 9 )) ] && [ $(( size * 10 )) -le $(( actual * 11 )) ] \
  || fail "the Apps entry's size is $(( size )) KiB, the files take $actual KiB"
case "$(apps_value DisplayIcon)" in *'\imagebench.exe,0') ;; *) fail "the Apps entry has no icon" ;; esac
strings -el -n 3 "$installed/imagebench.exe" | grep -A1 -x ProductVersion | grep -qx "$version" \
  || fail "imagebench.exe carries no ProductVersion $version"
strings -el "$installed/imagebench.exe" | grep -A1 -x ProductName | grep -qx imagebench \
  || fail "imagebench.exe carries no ProductName"
say "Apps entry: publisher, version $version, $(( size )) KiB, icon; the exe's version information names them"

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
# opened, over the name it proposes (Save proposes the picture's own), and
# confirms it.
answer() {
  wait_for 30 dialog_shown || fail "no $1 dialog appeared"
  sleep 1
  xdotool key Home shift+End Delete
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

# While the program runs, nothing may be replaced or removed. The uninstaller
# normally copies itself away and returns at once; `_?=` runs it in place, so
# that its exit code is its own. A batch file passes that command line as it
# stands (Wine would quote the argument with the space).
listing() { (cd "$installed" && find . | sort); }
files=$(listing)
still_installed() {   # still_installed <what was tried>
  [ "$(listing)" = "$files" ] || fail "$1 changed the installed files while imagebench ran"
  apps_value DisplayName >/dev/null || fail "$1 removed the Apps entry while imagebench ran"
  [ -e "$shortcut" ] || fail "$1 removed the Start-menu entry while imagebench ran"
}
status=0
timeout 120 wine "$setup" /S || status=$?
[ "$status" = 2 ] || fail "the installer run over the running program exited with $status, not 2"
still_installed "the installer"
printf '@"C:\\Program Files\\imagebench\\Uninstall.exe" %s_?=C:\\Program Files\\imagebench\r\n@exit /b %%errorlevel%%\r\n' \
  '/AllUsers /S ' >"$WINEPREFIX/drive_c/smoke/uninstall-silent.bat"
printf '@"C:\\Program Files\\imagebench\\Uninstall.exe" %s_?=C:\\Program Files\\imagebench\r\n@exit /b %%errorlevel%%\r\n' \
  '/AllUsers ' >"$WINEPREFIX/drive_c/smoke/uninstall-ask.bat"
status=0
timeout 120 wine cmd /c 'C:\smoke\uninstall-silent.bat' || status=$?
[ "$status" = 2 ] || fail "the silent uninstaller exited with $status while imagebench ran, not 2"
still_installed "the silent uninstaller"
say "while imagebench runs: the installer and the silent uninstaller exit with 2 and change nothing"

# Asking: the confirmation page, Uninstall (Enter), then a message box
# (titled like the page, without its trailing space) that comes back after
# Retry (Enter) while the program runs; Cancel (Escape) stops, Close (Enter)
# ends the uninstaller with exit code 2.
timeout 180 wine cmd /c 'C:\smoke\uninstall-ask.bat' >"$work/uninstall-ask.log" 2>&1 &
asking=$!
message() { xdotool search --onlyvisible --name '^imagebench .* Uninstall$' | head -n 1; }
wait_for 60 sh -c "xdotool search --onlyvisible --name '^imagebench .* Uninstall \$' | grep -q ." \
  || fail "the uninstaller showed no confirmation page"
sleep 1
xdotool key Return
wait_for 30 sh -c "xdotool search --onlyvisible --name '^imagebench .* Uninstall\$' | grep -q ." \
  || fail "the uninstaller did not ask to close the running imagebench"
first=$(message)
xdotool key Return
wait_for 30 sh -c "xdotool search --onlyvisible --name '^imagebench .* Uninstall\$' | grep -v -x '$first' | grep -q ." \
  || fail "after Retry, the uninstaller did not ask again while imagebench ran"
sleep 0.5
xdotool key Escape
wait_for 30 sh -c "! xdotool search --onlyvisible --name '^imagebench .* Uninstall\$' | grep -q ." \
  || fail "Cancel did not close the uninstaller's question"
sleep 1
xdotool key Return
status=0
wait "$asking" || status=$?
[ "$status" = 2 ] || fail "the uninstaller cancelled by the user exited with $status, not 2"
still_installed "the uninstaller cancelled by the user"
say "the uninstaller asked to close imagebench, again after Retry; Cancel left everything installed"

kill "$app" 2>/dev/null || true
wait "$app" 2>/dev/null || true
app=""

start=$(date +%s)
timeout 120 wine 'C:\Program Files\imagebench\Uninstall.exe' /S || fail "the uninstaller exited with $?"
# The uninstaller copies itself away and goes on from there.
wait_for 60 test ! -e "$installed" || fail "the uninstaller left $(find "$installed" | head -n 5 | tr '\n' ' ')"
[ ! -e "$shortcut" ] || fail "the uninstaller left $shortcut"
! apps_value DisplayName >/dev/null || fail "the uninstaller left the Apps entry"
say "silent uninstall in $(( $(date +%s) - start )) s: nothing left"
say "passed"
