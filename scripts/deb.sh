#!/bin/sh
# make deb: dist/imagebench_<version>_amd64.deb, built with CPack in a build
# folder of its own (build-deb) with Debian's compiler and linker flags
# (dpkg-buildflags, every hardening feature on); CPack strips the program
# and finds the libraries it needs with dpkg-shlibdeps.
set -eu
cd "$(dirname "$0")/.."
root=$PWD
build=${DEB_BUILD_DIR:-build-deb}
jobs=${JOBS:-$(nproc)}

scripts/deps.sh deb
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
CFLAGS=$(dpkg-buildflags --get CFLAGS)
CPPFLAGS=$(dpkg-buildflags --get CPPFLAGS)
CXXFLAGS=$(dpkg-buildflags --get CXXFLAGS)
LDFLAGS=$(dpkg-buildflags --get LDFLAGS)
# The flags are part of the configuration: a change starts the folder afresh.
flags="$CPPFLAGS $CXXFLAGS"
if [ -f "$build/CMakeCache.txt" ] && ! grep -qxF "CMAKE_CXX_FLAGS:STRING=$flags" "$build/CMakeCache.txt"; then
  rm -rf "$build"
fi
[ -f "$build/build.ninja" ] || cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DIMAGEBENCH_WERROR=ON \
  -DIMAGEBENCH_TESTS=OFF -DCMAKE_INSTALL_PREFIX=/usr -DCMAKE_SKIP_INSTALL_ALL_DEPENDENCY=ON \
  -DCMAKE_C_FLAGS="$CPPFLAGS $CFLAGS" -DCMAKE_CXX_FLAGS="$flags" \
  -DCMAKE_EXE_LINKER_FLAGS="$LDFLAGS" -DCMAKE_SHARED_LINKER_FLAGS="$LDFLAGS"
# Only what the package holds: the program and its files, not the tools.
cmake --build "$build" -j "$jobs" --target imagebench linux_files

mkdir -p dist
rm -f dist/imagebench_*_amd64.deb
(cd "$build" && cpack -G DEB -D CPACK_OUTPUT_FILE_PREFIX="$root/dist" >cpack.log 2>&1) \
  || { cat "$build/cpack.log" >&2; exit 1; }
ls -l dist/imagebench_*_amd64.deb
