# Sourced by the Windows scripts (windows.sh, windows-test.sh, windows-smoke.sh,
# windows-package.sh): the repository as working folder, where the builds
# are, the MinGW-w64 names, Qt for MinGW and a Wine prefix for unattended runs.
#   windows_qt             Qt for MinGW, built once into the cache
#                          (scripts/qt-windows.sh); sets qt and prefixes and
#                          exports IMAGEBENCH_MINGW_PREFIXES, which the windows
#                          presets read
#   windows_libs <name>... the static libraries cross-built into the cache
#                          (scripts/windows-libs.sh); sets prefixes (Qt's and
#                          theirs) and exports IMAGEBENCH_MINGW_PREFIXES, which
#                          the windows presets search
#   mingw_runtime          prints the folder of the MinGW runtime DLLs
#   wine_prefix <folder>   makes (or reuses) the prefix and starts a
#                          persistent wineserver for it; the caller stops it
#                          (wineserver -k) when done
# and every Wine setting the runs share. The names below are used by the
# scripts that source this one; scripts/config.sh sets root, jobs, version and
# configure.
# shellcheck disable=SC2034
# shellcheck source=scripts/config.sh
. "$(dirname "$0")/config.sh"
build=$(binary_dir windows)
host=$(binary_dir release)   # the host's tools
triplet=x86_64-w64-mingw32

windows_qt() {
  qt=$(scripts/qt-windows.sh | tail -n 1)
  [ -f "$qt/lib/cmake/Qt6/Qt6Config.cmake" ] || { echo "windows: no Qt for MinGW in $qt" >&2; exit 1; }
  prefixes="$qt"
  export IMAGEBENCH_MINGW_PREFIXES="$prefixes"
}

windows_libs() {
  libs=$(scripts/windows-libs.sh "$@")
  prefixes="$qt;$(echo "$libs" | paste -sd ';' -)"
  export IMAGEBENCH_MINGW_PREFIXES="$prefixes"
}

mingw_runtime() {
  dirname "$($triplet-g++-posix -print-libgcc-file-name)"
}

export WINEDEBUG=${WINEDEBUG:--all}
# No offers to install Mono or Gecko.
export WINEDLLOVERRIDES="mscoree,mshtml="
# Every program under Wine ends within WINE_TIMEOUT seconds (scripts/wine-run.sh).
export WINE_TIMEOUT=${WINE_TIMEOUT:-600}
# Wine hides every variable starting with QT_ from the program and passes
# WINEQT_* on without the prefix: Qt's offscreen platform and Debian's fonts.
export WINEQT_QPA_PLATFORM=${WINEQT_QPA_PLATFORM:-offscreen}
export WINEQT_QPA_FONTDIR='Z:\usr\share\fonts\truetype\dejavu'

wine_prefix() {
  export WINEPREFIX="$1"
  if [ ! -f "$WINEPREFIX/.ready" ]; then
    rm -rf "$WINEPREFIX"
    mkdir -p "$WINEPREFIX"
    timeout 300 wineboot -i >/dev/null 2>&1
    # A crashing program prints its backtrace and exits instead of waiting
    # for someone to close the crash dialog.
    timeout 120 wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' \
      /v Debugger /d 'winedbg --auto %ld %ld' /f >/dev/null 2>&1
    timeout 120 wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' \
      /v Auto /d 1 /f >/dev/null 2>&1
    # Wine draws the window frames itself (Xvfb has no window manager).
    timeout 120 wine reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /d N /f >/dev/null 2>&1
    timeout 120 wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
    timeout 120 wineserver -w
    touch "$WINEPREFIX/.ready"
  fi
  # One wineserver for the whole run: without it every program waits some
  # seconds for Wine's helpers to start and stop.
  timeout 10 wineserver -k 2>/dev/null || true
  wineserver -p
  # Wine's own services start with the first program and live as long as the
  # server; started here, away from any pipe, they never hold a test's output
  # open (which would make every run wait for its time limit).
  timeout 120 wine cmd /c exit </dev/null >/dev/null 2>&1 || true
}
