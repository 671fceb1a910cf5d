#!/bin/sh
# Installs the Debian packages that are missing for the given purpose:
#   scripts/deps.sh build   the workbench and its test suite
#   scripts/deps.sh bench   the above, plus the benchmark libraries
#   scripts/deps.sh check   the above, plus clang with its sanitizer and fuzzer
#                           runtimes (the check, tsan and fuzz presets)
#   scripts/deps.sh deb     the above, plus what builds and checks the Debian
#                           package (dpkg-shlibdeps, lintian, the desktop-entry
#                           and AppStream validators, an SVG renderer)
#   scripts/deps.sh windows the above build set, plus the MinGW-w64 cross compiler,
#                           Wine, NSIS, Xvfb and what fetching Qt's source needs
#   scripts/deps.sh arm64   the above build set, plus the ARM cross compiler, qemu-user
#                           and Google Test's sources
#   scripts/deps.sh fresh   the above build set, plus debootstrap (make fresh-check)
set -eu

packages="cmake ninja-build g++ pkg-config qt6-base-dev qt6-base-dev-tools qt6-image-formats-plugins libgl-dev libgtest-dev
          libhwy-dev zlib1g-dev libpng-dev pngcheck ccache"
case "${1:-build}" in
  build) ;;
  bench) packages="$packages libbenchmark-dev libopencv-core-dev libopencv-imgproc-dev" ;;
  check) packages="$packages clang libclang-rt-dev" ;;
  deb) packages="$packages dpkg-dev file lintian desktop-file-utils appstream librsvg2-bin" ;;
  windows) packages="$packages g++-mingw-w64-x86-64-posix mingw-w64-tools binutils-mingw-w64-x86-64 googletest libz-mingw-w64-dev
             wine64 wine nsis zip dpkg-dev xz-utils patch fonts-dejavu-core xvfb xauth x11-utils xdotool" ;;
  arm64) packages="$packages g++-aarch64-linux-gnu qemu-user googletest fonts-dejavu-core" ;;
  fresh) packages="$packages debootstrap" ;;
  *) echo "usage: $0 build|bench|check|deb|windows|arm64|fresh" >&2; exit 2 ;;
esac

missing=""
for p in $packages; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing="$missing $p"
  fi
done
[ -z "$missing" ] && exit 0

echo "Installing missing packages:$missing"
if [ "$(id -u)" = 0 ]; then
  run=""
elif command -v sudo >/dev/null 2>&1 && sudo -n true 2>/dev/null; then
  run="sudo"
else
  echo "These packages are missing. Install them with:" >&2
  echo "  sudo apt-get update && sudo apt-get install -y$missing" >&2
  exit 1
fi
$run apt-get update -q || echo "apt-get update failed; trying the package lists already on the machine" >&2
# make -j may install two sets at once: the second waits for apt's lock.
# shellcheck disable=SC2086
DEBIAN_FRONTEND=noninteractive $run apt-get -o DPkg::Lock::Timeout=900 install -y -q --no-install-recommends $missing
