#!/bin/sh
# make windows: imagebench for 64-bit Windows, built on Debian.
#   1. Qt for MinGW, Highway and libspng, built once into the cache
#      (scripts/qt-windows.sh, scripts/windows-libs.sh);
#   2. the workbench and its whole test suite, cross-built (build-windows/);
#   3. the program with every DLL it loads (build-windows/stage/imagebench/);
#   4. dist/imagebench-<version>-windows-x64.zip and dist/imagebench-<version>-setup.exe.
set -eu
cd "$(dirname "$0")/.."
root=$PWD
build=${WINDOWS_BUILD_DIR:-build-windows}
jobs=${JOBS:-$(nproc)}
triplet=x86_64-w64-mingw32

scripts/deps.sh windows
qt=$(scripts/qt-windows.sh | tail -n 1)
[ -f "$qt/lib/cmake/Qt6/Qt6Config.cmake" ] || { echo "windows: no Qt for MinGW in $qt" >&2; exit 1; }
# Static libraries, linked into the program: nothing more to deploy.
libs=$(scripts/windows-libs.sh highway libspng)
prefixes="$qt;$(echo "$libs" | paste -sd ';' -)"

# Rebuilt from scratch when the Qt or a library underneath changed.
if [ -f "$build/CMakeCache.txt" ] \
   && [ "$(sed -n 's/^CMAKE_PREFIX_PATH:[A-Z]*=//p' "$build/CMakeCache.txt")" != "$prefixes" ]; then
  rm -rf "$build"
fi
[ -f "$build/build.ninja" ] || cmake -S . -B "$build" -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" -DCMAKE_PREFIX_PATH="$prefixes" \
  -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
  -DCMAKE_CROSSCOMPILING_EMULATOR="$root/scripts/wine-run.sh" \
  -DCMAKE_BUILD_TYPE=Release -DIMAGEBENCH_WERROR=ON
cmake --build "$build" -j "$jobs"

version=$(sed -n 's/^project(imagebench VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
gcc_runtime=$(dirname "$($triplet-g++-posix -print-libgcc-file-name)")
runtime_dirs="$qt/bin $gcc_runtime /usr/$triplet/lib"

# Copies the DLLs a program or DLL imports (and theirs in turn) from Qt's and
# the compiler's folders; Windows' own DLLs are found in none of them.
deploy_imports() {   # deploy_imports <exe or dll> <folder>
  for dll in $($triplet-objdump -p "$1" | sed -n 's/^[[:space:]]*DLL Name: //p'); do
    [ -e "$2/$dll" ] && continue
    for dir in $runtime_dirs; do
      if [ -f "$dir/$dll" ]; then
        cp "$dir/$dll" "$2/$dll"
        deploy_imports "$2/$dll" "$2"
        break
      fi
    done
  done
}

stage=$build/stage/imagebench
rm -rf "$build/stage"
mkdir -p "$stage"
cp "$build/imagebench.exe" "$stage/"
cp packaging/imagebench.ico "$stage/"
for plugin in platforms/qwindows.dll styles/*.dll imageformats/*.dll; do
  for file in "$qt"/plugins/$plugin; do
    [ -f "$file" ] || continue
    mkdir -p "$stage/$(dirname "$plugin")"
    cp "$file" "$stage/$(dirname "$plugin")/"
  done
done
for file in "$stage/imagebench.exe" "$stage"/*/*.dll; do
  deploy_imports "$file" "$stage"
done
find "$stage" -name '*.dll' -o -name '*.exe' | xargs $triplet-strip --strip-unneeded

scripts/windows-package.sh "$stage" "$version"
