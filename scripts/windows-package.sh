#!/bin/sh
# Packs a staged Windows program (imagebench.exe with its DLLs and plugins):
#   scripts/windows-package.sh <stage folder> [<version>]
# writes dist/imagebench-<version>-windows-x64.zip (the folder as it is) and
# dist/imagebench-<version>-setup.exe (NSIS, packaging/imagebench.nsi).
stage=$(cd "$1" && pwd)
# shellcheck source=scripts/windows-env.sh
. "$(dirname "$0")/windows-env.sh"
version=${2:-$version}

mkdir -p dist
zip_file=dist/imagebench-$version-windows-x64.zip
setup_file=dist/imagebench-$version-setup.exe
rm -f "$zip_file" "$setup_file"
(cd "$stage/.." && zip -qr9 "$root/$zip_file" "$(basename "$stage")")

# The installer's file lists: every staged file, so that the uninstaller
# removes exactly what was installed.
lists=$(mktemp -d)
trap 'rm -rf "$lists"' EXIT
files=$lists/files.nsh
unfiles=$lists/unfiles.nsh
: >"$files"
: >"$unfiles"
# printf, not echo: the lists hold backslashes.
(cd "$stage" && find . -type d | sort) | while read -r dir; do
  rel=${dir#.}; rel=${rel#/}
  if [ -z "$rel" ]; then out='$INSTDIR'; else out="\$INSTDIR\\$(printf '%s' "$rel" | tr / '\\')"; fi
  printf 'SetOutPath "%s"\n' "$out" >>"$files"
  (cd "$stage/$rel" && find . -maxdepth 1 -type f | sort) | while read -r f; do
    f=${f#./}
    printf 'File "%s"\n' "$stage/${rel:+$rel/}$f" >>"$files"
    printf 'Delete "%s\\%s"\n' "$out" "$f" >>"$unfiles"
  done
done
(cd "$stage" && find . -mindepth 1 -type d | sort -r) | while read -r dir; do
  printf 'RMDir "$INSTDIR\\%s"\n' "$(printf '%s' "${dir#./}" | tr / '\\')" >>"$unfiles"
done
# Windows' version numbers have four parts; the publisher is the project's.
version4=$(echo "$version.0.0.0" | cut -d. -f1-4)
publisher=$(sed -n 's/^set(IMAGEBENCH_PUBLISHER "\(.*\)")$/\1/p' CMakeLists.txt)
[ -n "$publisher" ] || { echo "windows-package: no IMAGEBENCH_PUBLISHER in CMakeLists.txt" >&2; exit 1; }
makensis -V2 -DVERSION="$version" -DVERSION4="$version4" -DPUBLISHER="$publisher" -DSTAGE="$stage" -DFILES="$files" -DUNFILES="$unfiles" \
  -DOUTFILE="$root/$setup_file" packaging/imagebench.nsi

ls -l "$zip_file" "$setup_file"
