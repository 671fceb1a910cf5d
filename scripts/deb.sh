#!/bin/sh
# make deb: dist/imagebench_<version>_amd64.deb, built with CPack in a build
# folder of its own (build-deb) with Debian's compiler and linker flags
# (dpkg-buildflags, every hardening feature on); CPack strips the program
# and finds the libraries it needs with dpkg-shlibdeps.
# shellcheck source=scripts/config.sh
. "$(dirname "$0")/config.sh"
build=$(binary_dir deb)

scripts/deps.sh deb
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
IMAGEBENCH_DEB_CFLAGS="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CFLAGS)"
IMAGEBENCH_DEB_CXXFLAGS="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)"
IMAGEBENCH_DEB_LDFLAGS=$(dpkg-buildflags --get LDFLAGS)
export IMAGEBENCH_DEB_CFLAGS IMAGEBENCH_DEB_CXXFLAGS IMAGEBENCH_DEB_LDFLAGS
# The flags are part of the configuration: a change starts the folder afresh.
configure deb CMAKE_CXX_FLAGS "$IMAGEBENCH_DEB_CXXFLAGS"
# Only what the package holds: the program and its files, not the tools.
cmake --build --preset deb -j "$jobs"

mkdir -p dist
rm -f dist/imagebench_*_amd64.deb
(cd "$build" && cpack -G DEB -D CPACK_OUTPUT_FILE_PREFIX="$root/dist" >cpack.log 2>&1) \
  || { cat "$build/cpack.log" >&2; exit 1; }
ls -l dist/imagebench_*_amd64.deb
