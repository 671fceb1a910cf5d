#!/bin/sh
# make windows: imagebench for 64-bit Windows, built on Debian.
#   1. Qt for MinGW and Highway, built once into the cache
#      (scripts/qt-windows.sh, scripts/windows-libs.sh);
#   2. the workbench and its whole test suite, cross-built (build-windows/);
#   3. the program with every DLL it loads (build-windows/stage/imagebench/);
#   4. dist/imagebench-<version>-windows-x64.zip and dist/imagebench-<version>-setup.exe.
# shellcheck source=scripts/windows-env.sh
. "$(dirname "$0")/windows-env.sh"

scripts/deps.sh windows
windows_qt
# Static libraries, linked into the program: nothing more to deploy.
windows_libs highway

# Rebuilt from scratch when the Qt or a library underneath changed.
configure windows CMAKE_PREFIX_PATH "$prefixes"
cmake --build --preset windows -j "$jobs"

runtime_dirs="$qt/bin $(mingw_runtime) /usr/$triplet/lib"

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
