#!/bin/sh
# Static libraries for 64-bit Windows (MinGW-w64) built from Debian's own
# sources, the same versions as the host's development packages:
#   highway    Google Highway (libhwy-dev), the row kernels' vector library
#   benchmark  Google Benchmark (libbenchmark-dev), for make windows-bench
# Usage: scripts/windows-libs.sh <name>...   (both when none is named)
# Each is cached outside the work tree and reused while present:
#   ${XDG_CACHE_HOME:-$HOME/.cache}/imagebench/<name>-<version>-mingw-<key>/
# <key> is a hash of the version, the configure line, the compiler and the
# toolchain's settings. Prints each install prefix on a line of its own, in
# the order named.
# shellcheck source=scripts/windows-env.sh
. "$(dirname "$0")/windows-env.sh"
toolchain=$root/cmake/mingw-w64-x86_64.cmake
cache=${XDG_CACHE_HOME:-$HOME/.cache}/imagebench
log() { echo "windows-libs: $*" >&2; }

# GCC for MinGW keeps the stack 16-byte aligned only, so spills of 32- and
# 64-byte vectors through aligned moves could fault; the assembler turns them
# into unaligned moves (binutils 2.40 and later). The same flag as the
# workbench's own MinGW build, for the libraries' vector code as well.
vector_flags="-Wa,-muse-unaligned-vector-move"
common_args="-DCMAKE_BUILD_TYPE=Release -DBUILD_SHARED_LIBS=OFF -DCMAKE_POSITION_INDEPENDENT_CODE=OFF
 -DCMAKE_C_FLAGS=$vector_flags -DCMAKE_CXX_FLAGS=$vector_flags"

# The Debian source package, the host package whose version it must match,
# and the configure line of each library.
source_of() {
  case $1 in
    highway) echo "highway libhwy-dev" ;;
    benchmark) echo "benchmark libbenchmark-dev" ;;
    *) log "unknown library $1 (highway, benchmark)"; exit 2 ;;
  esac
}
args_of() {   # args_of <name> <upstream version>
  case $1 in
    highway) echo "-DHWY_ENABLE_TESTS=OFF -DHWY_ENABLE_EXAMPLES=OFF -DHWY_ENABLE_CONTRIB=OFF
                   -DHWY_ENABLE_INSTALL=ON -DHWY_WARNINGS_ARE_ERRORS=OFF" ;;
    benchmark) echo "-DBENCHMARK_ENABLE_TESTING=OFF -DBENCHMARK_ENABLE_GTEST_TESTS=OFF
                     -DBENCHMARK_ENABLE_WERROR=OFF -DBENCHMARK_ENABLE_LTO=OFF -DBENCHMARK_ENABLE_INSTALL=ON
                     -DBENCHMARK_INSTALL_DOCS=OFF -DBENCHMARK_USE_BUNDLED_GTEST=OFF -DGIT_VERSION=$2" ;;
  esac
}

# Debian's source packages, fetched through a private deb-src list so that
# the machine's own apt configuration stays as it is. dpkg-source applies
# Debian's patches while unpacking.
# The source lists are read once per run, for every library it builds.
apt_dir=""
fetch() {   # fetch <work folder> <source package> <version>
  mkdir -p "$1/dl"
  if [ -z "$apt_dir" ]; then
    apt_dir=$(mktemp -d "$cache/.apt-XXXXXX")
    trap 'rm -rf "$apt_dir"' EXIT
    fresh=1
  else
    fresh=0
  fi
  mkdir -p "$apt_dir/sources" "$apt_dir/lists/partial"
  cat >"$apt_dir/sources/bookworm-src.sources" <<SRC
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm bookworm-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg

Types: deb-src
URIs: http://deb.debian.org/debian-security
Suites: bookworm-security
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SRC
  apt_opts="-q -o Dir::Etc::SourceList=/dev/null -o Dir::Etc::SourceParts=$apt_dir/sources
   -o Dir::State::Lists=$apt_dir/lists -o APT::Sandbox::User=root"
  # shellcheck disable=SC2086
  [ "$fresh" = 0 ] || apt-get $apt_opts update >&2
  log "fetching $2 $3"
  # shellcheck disable=SC2086
  (cd "$1/dl" && apt-get $apt_opts source "$2=$3" >&2)
}

build_one() {   # build_one <name>; prints the prefix
  # shellcheck disable=SC2046
  set -- "$1" $(source_of "$1")
  [ $# = 3 ] || exit 2
  name=$1 source=$2 host_package=$3
  version=$(dpkg-query -W -f='${Version}' "$host_package")
  upstream=${version%-*}; upstream=${upstream#*:}; upstream=${upstream%%+*}
  args="$common_args $(args_of "$name" "$upstream")"
  key=$( { echo "$version"; echo "$args"
           $triplet-g++-posix --version | head -n 1
           grep -E 'SYSTEM_NAME|PROCESSOR|TRIPLET|COMPILER|CMAKE_AR|CMAKE_RANLIB|FIND_ROOT' "$toolchain"; } \
         | sha256sum | cut -c1-12)
  prefix=$cache/$name-$upstream-mingw-$key
  if [ ! -f "$prefix/.complete" ]; then
    # One build of each library at a time: a second caller waits for the
    # first and then finds the cache ready.
    mkdir -p "$cache"
    exec 9>"$cache/.lock-$name"
    flock 9
    if [ ! -f "$prefix/.complete" ]; then
      work=$cache/work-$name-$key
      rm -rf "$work" "$prefix"
      mkdir -p "$work"
      fetch "$work" "$source" "$version"
      src=$(find "$work/dl" -maxdepth 1 -mindepth 1 -type d -name "$source-*" | head -n 1)
      [ -n "$src" ] || { log "no source of $source $version"; exit 1; }
      # Configure checks and build steps that run a program (try_run, a
      # library's own self-report) run it under Wine, in a prefix of their
      # own rather than the user's ~/.wine.
      export WINEPREFIX="$work/wine"
      log "building $name $upstream for MinGW"
      # shellcheck disable=SC2086
      cmake -S "$src" -B "$work/build" -G Ninja -Wno-dev \
        -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_INSTALL_PREFIX="$prefix" $args >&2
      cmake --build "$work/build" -j "$jobs" >&2
      cmake --install "$work/build" >&2
      echo "$version $args" >"$prefix/.complete"
      timeout 10 wineserver -k 2>/dev/null || true
      rm -rf "$work"
    fi
    exec 9>&-
  fi
  echo "$prefix"
}

[ $# -gt 0 ] || set -- highway benchmark
for name in "$@"; do
  build_one "$name"
done
