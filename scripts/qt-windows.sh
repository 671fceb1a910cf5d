#!/bin/sh
# Builds Qt for 64-bit Windows (MinGW-w64) from Debian's own qt6-base source,
# the same version as the host Qt whose tools (moc, uic, rcc) the cross build
# uses. The result is cached outside the work tree and reused while present:
#   ${XDG_CACHE_HOME:-$HOME/.cache}/imagebench/qt-<version>-mingw-<key>/
# <key> is a hash of the configure line, compiler and toolchain file, so a changed
# version or feature set builds anew (a program built against one feature set
# misbehaves on the DLLs of another).
# Prints the install prefix on its last line of standard output.
set -eu
cd "$(dirname "$0")/.."
root=$PWD
jobs=${JOBS:-$(nproc)}
toolchain=$root/cmake/mingw-w64-x86_64.cmake
cache=${XDG_CACHE_HOME:-$HOME/.cache}/imagebench

version=$(dpkg-query -W -f='${Version}' qt6-base-dev)       # e.g. 6.4.2+dfsg-10
upstream=${version%%+*}; upstream=${upstream%%-*}             # 6.4.2

# Everything the workbench and its tests use: Core, Gui, Widgets, Concurrent, Test, the
# windows and offscreen platforms and the image-format plugins; bundled
# libraries so that no MinGW port of them is needed.
configure_args="-DCMAKE_BUILD_TYPE=Release -DBUILD_SHARED_LIBS=ON
 -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake
 -DQT_QMAKE_TARGET_MKSPEC=win32-g++ -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF
 -DFEATURE_pkg_config=OFF -DFEATURE_sql=OFF -DFEATURE_network=OFF -DFEATURE_dbus=OFF
 -DFEATURE_printsupport=OFF -DFEATURE_concurrent=ON -DFEATURE_xml=OFF
 -DFEATURE_opengl=OFF -DFEATURE_vulkan=OFF -DFEATURE_zstd=OFF -DFEATURE_icu=OFF
 -DFEATURE_gui=ON -DFEATURE_widgets=ON -DFEATURE_testlib=ON
 -DFEATURE_direct2d=ON -DFEATURE_direct2d1_1=OFF -DFEATURE_tabletevent=OFF
 -DFEATURE_system_zlib=OFF -DFEATURE_system_png=OFF -DFEATURE_system_jpeg=OFF
 -DFEATURE_system_freetype=OFF -DFEATURE_system_harfbuzz=OFF -DFEATURE_system_pcre2=OFF
 -DFEATURE_system_doubleconversion=OFF"
# The image formats module: TIFF and WebP from its bundled libraries.
imageformats_args="-DCMAKE_BUILD_TYPE=Release -DQT_HOST_PATH=/usr
 -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake
 -DFEATURE_system_tiff=OFF -DFEATURE_system_webp=OFF -DFEATURE_jasper=OFF -DFEATURE_mng=OFF"

# The key: what decides the DLLs' contents (the version, the configure lines,
# the compilers and the toolchain's settings other than how tests are run).
key=$( { echo "$version"; echo "$configure_args"; echo "$imageformats_args"
         x86_64-w64-mingw32-g++-posix --version | head -n 1
         grep -E 'SYSTEM_NAME|PROCESSOR|TRIPLET|COMPILER|CMAKE_AR|CMAKE_RANLIB|FIND_ROOT' "$toolchain"
         cat "$root"/packaging/qt-patches/*/*.patch; } \
       | sha256sum | cut -c1-12)
prefix=$cache/qt-$upstream-mingw-$key
ready() {
  [ -f "$prefix/.complete" ] && { [ -f "$prefix/plugins/imageformats/qtiff.dll" ] \
    || [ -f "$prefix/.imageformats-failed" ] || [ "${IMAGEBENCH_QT_IMAGEFORMATS:-1}" != 1 ]; }
}
if ready; then
  echo "$prefix"
  exit 0
fi
# One build at a time: a second caller waits for the first and then finds the
# cache ready.
mkdir -p "$cache"
exec 9>"$cache/.lock"
flock 9
if ready; then
  echo "$prefix"
  exit 0
fi

work=$cache/work-$upstream-$key
mkdir -p "$work"
log() { echo "qt-windows: $*" >&2; }

# Debian's source packages, fetched through a private deb-src list so that the
# machine's own apt configuration stays as it is. dpkg-source applies Debian's
# patches while unpacking.
fetch() {   # fetch <source package> <version>
  [ -d "$work/$1" ] && return 0
  apt_dir=$work/apt
  mkdir -p "$apt_dir/sources" "$apt_dir/lists/partial" "$work/dl"
  cat >"$apt_dir/sources/bookworm-src.sources" <<SRC
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SRC
  apt_opts="-o Dir::Etc::SourceList=/dev/null -o Dir::Etc::SourceParts=$apt_dir/sources -o Dir::State::Lists=$apt_dir/lists"
  if [ ! -f "$apt_dir/.updated" ]; then
    # shellcheck disable=SC2086
    apt-get $apt_opts update -q >&2
    touch "$apt_dir/.updated"
  fi
  log "fetching $1 $2"
  # shellcheck disable=SC2086
  (cd "$work/dl" && apt-get $apt_opts source -q "$1=$2" >&2)
  dir=$(find "$work/dl" -maxdepth 1 -mindepth 1 -type d -name "$1-*" | head -n 1)
  # Our own fixes on top of Debian's (packaging/qt-patches/<package>/).
  for patch in "$root/packaging/qt-patches/$1"/*.patch; do
    [ -f "$patch" ] || continue
    log "applying $(basename "$patch")"
    patch -d "$dir" -p1 -s <"$patch" >&2
  done
  mv "$dir" "$work/$1"
}

if [ ! -f "$prefix/.complete" ]; then
  fetch qt6-base "$version"
  if [ ! -f "$work/qt6-base-build/.installed" ]; then
    log "configuring qt6-base $upstream for MinGW (about 25 minutes to build on 2 cores)"
    # shellcheck disable=SC2086
    cmake -S "$work/qt6-base" -B "$work/qt6-base-build" -G Ninja -Wno-dev \
      -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_INSTALL_PREFIX="$prefix" $configure_args >&2
    cmake --build "$work/qt6-base-build" -j "$jobs" >&2
    cmake --install "$work/qt6-base-build" >&2
    touch "$work/qt6-base-build/.installed"
  fi
  echo "$version $configure_args" >"$prefix/.complete"
fi

# The image formats module (TIFF, WebP, TGA, ICNS, WBMP) is welcome but not
# needed: without it the Windows build reads and writes Qt's built-in kinds.
imageformats_version=$(dpkg-query -W -f='${Version}' qt6-image-formats-plugins 2>/dev/null || echo "$upstream-1")
if [ "${IMAGEBENCH_QT_IMAGEFORMATS:-1}" = 1 ] && [ ! -f "$prefix/plugins/imageformats/qtiff.dll" ] \
   && [ ! -f "$prefix/.imageformats-failed" ]; then
  # shellcheck disable=SC2086
  if fetch qt6-imageformats "$imageformats_version" \
     && cmake -S "$work/qt6-imageformats" -B "$work/qt6-imageformats-build" -G Ninja -Wno-dev \
          -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_PREFIX_PATH="$prefix" \
          -DCMAKE_INSTALL_PREFIX="$prefix" $imageformats_args >&2 \
     && cmake --build "$work/qt6-imageformats-build" -j "$jobs" >&2 \
     && cmake --install "$work/qt6-imageformats-build" >&2; then
    :
  else
    log "qt6-imageformats did not build; going on with Qt's built-in picture kinds"
    touch "$prefix/.imageformats-failed"
  fi
fi

rm -rf "$work"
echo "$prefix"
