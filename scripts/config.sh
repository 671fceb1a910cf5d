# Sourced by the Makefile's configure step (scripts/configure.sh) and by every
# build script: what they share about the build configurations. The
# configurations themselves (compilers, flags, sanitizers, test filters) are
# the presets in CMakePresets.json; this file knows only where each preset
# builds, which packages it needs and when its folder must start afresh.
#   binary_dir <preset>    the preset's folder: the release preset's binaryDir
#                          "build", every other preset's "build-<preset>"
#   configure <preset> [<cache variable> <value>]
#                          installs the preset's packages and configures its
#                          folder once; again when CMakePresets.json changed,
#                          afresh when the folder was configured with another
#                          value of the cache variable (a changed Qt, sysroot
#                          or set of flags underneath)
# Sets root (the repository, also the working folder), jobs and version.
# shellcheck disable=SC2034
set -eu
cd "$(dirname "$0")/.."
root=$PWD
jobs=${JOBS:-$(nproc)}
version=$(sed -n 's/^project(imagebench VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)

binary_dir() {
  case $1 in
    release) echo build ;;
    *) echo "build-$1" ;;
  esac
}

# The scripts/deps.sh purpose of each preset.
deps_of() {
  case $1 in
    release) echo build ;;
    check|tsan|fuzz) echo check ;;
    windows|windows-bench) echo windows ;;
    bench|deb|arm64) echo "$1" ;;
    *) echo "config: unknown preset $1" >&2; return 2 ;;
  esac
}

configure() {
  dir=$(binary_dir "$1")
  scripts/deps.sh "$(deps_of "$1")"
  if [ $# -ge 3 ] && [ -f "$dir/CMakeCache.txt" ] \
     && [ "$(sed -n "s/^$2:[A-Z]*=//p" "$dir/CMakeCache.txt")" != "$3" ]; then
    echo "$dir was configured with another $2: it starts afresh"
    rm -rf "$dir"
  fi
  if [ ! -f "$dir/build.ninja" ] || [ CMakePresets.json -nt "$dir/build.ninja" ]; then
    # shellcheck disable=SC2086
    cmake --preset "$1" ${CMAKE_FLAGS:-}
    touch "$dir/build.ninja"
  fi
}
