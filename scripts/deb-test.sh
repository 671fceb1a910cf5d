#!/bin/sh
# make deb-test: builds dist/imagebench_<version>_amd64.deb (scripts/deb.sh),
# checks it (lintian, desktop-file-validate, appstreamcli, the icons and the
# manual page), installs it with apt-get, starts the installed program on the
# offscreen platform, then purges it and checks nothing is left behind.
# Installs and removes the package system-wide: run it as root or with sudo.
# shellcheck source=scripts/config.sh
. "$(dirname "$0")/config.sh"
id=io.github.imagebench.ImageBench

say() { echo "deb-test: $*"; }
fail() { echo "deb-test: FAILED: $*" >&2; exit 1; }

if [ "$(id -u)" = 0 ]; then
  run=""
elif command -v sudo >/dev/null 2>&1 && sudo -n true 2>/dev/null; then
  run="sudo"
else
  fail "installing the package needs root or sudo without a password"
fi

scripts/deb.sh
deb=$(ls dist/imagebench_"$version"-*_amd64.deb)
[ -f "$deb" ] || fail "no package for version $version in dist/"

# The package as Debian's tools see it.
lintian --fail-on error,warning "$deb" || fail "lintian found errors or warnings in $deb"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
dpkg-deb -x "$deb" "$work/root"
desktop-file-validate "$work/root/usr/share/applications/$id.desktop" || fail "the desktop entry is not valid"
appstreamcli validate --no-net "$work/root/usr/share/metainfo/$id.metainfo.xml" || fail "the metainfo is not valid"
grep -q "<release version=\"$version\"" "$work/root/usr/share/metainfo/$id.metainfo.xml" \
  || fail "the metainfo has no release $version"
# Every theme size holds a PNG of that size; the SVG renders.
for size in 16 24 32 48 64 128 256; do
  png=$work/root/usr/share/icons/hicolor/${size}x$size/apps/$id.png
  file "$png" | grep -q "PNG image data, $size x $size," || fail "$png is not a $size x $size PNG"
done
rsvg-convert -w 64 -h 64 -o "$work/svg.png" "$work/root/usr/share/icons/hicolor/scalable/apps/$id.svg" \
  || fail "the SVG icon does not render"
file "$work/svg.png" | grep -q "PNG image data, 64 x 64," || fail "the SVG icon renders to no 64 x 64 picture"
man_warnings=$(LC_ALL=C.UTF-8 MANROFFSEQ='' MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z \
  "$work/root/usr/share/man/man1/imagebench.1.gz" 2>&1 >/dev/null) || fail "man cannot format imagebench.1"
[ -z "$man_warnings" ] || fail "the manual page has warnings: $man_warnings"
say "lintian, desktop-file-validate, appstreamcli, the icons and the manual page pass"

# What the package may touch, listed before it is installed and after it is
# purged; the two lists must be the same.
snapshot() {
  find /usr /etc /opt /var/lib/dpkg/info /var/lib/dpkg/alternatives -xdev 2>/dev/null \
    | grep -v '^/usr/local/share/ca-certificates' | sort
}
dpkg-query -W imagebench >/dev/null 2>&1 && fail "imagebench is installed already: purge it first"
snapshot >"$work/before"

# Dependencies come from the package lists; apt-get waits for the dpkg lock.
apt="$run env DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=900 -y -q"
$apt install --no-install-recommends "$root/$deb" >"$work/install.log" 2>&1 \
  || { cat "$work/install.log" >&2; fail "apt-get install $deb failed"; }
installed=$(command -v imagebench || true)
[ "$installed" = /usr/bin/imagebench ] || { $apt purge imagebench >/dev/null 2>&1; fail "no /usr/bin/imagebench after installing"; }
say "installed $(dpkg-query -W -f='${Package} ${Version}' imagebench)"

# The program must keep running until the timeout ends it (status 124): an
# exit before that is a failure to start.
status=0
mkdir -m 700 "$work/runtime"
env -u DISPLAY -u WAYLAND_DISPLAY XDG_RUNTIME_DIR="$work/runtime" QT_QPA_PLATFORM=offscreen \
  timeout 5 /usr/bin/imagebench >"$work/run.log" 2>&1 || status=$?
if [ "$status" != 124 ]; then
  cat "$work/run.log" >&2
  $apt purge imagebench >/dev/null 2>&1 || true
  fail "the installed imagebench ended with status $status within 5 s instead of running"
fi
say "the installed program ran for 5 s on the offscreen platform"

$apt purge imagebench >"$work/purge.log" 2>&1 || { cat "$work/purge.log" >&2; fail "apt-get purge imagebench failed"; }
snapshot >"$work/after"
# A path of the package, or any path named after it, that differs is left
# behind by the package; other differences come from whatever else changed the
# machine meanwhile (another apt-get run) and are only shown.
dpkg-deb -c "$deb" | sed -n 's|^.* \./\(.*[^/]\)/*$|/\1|p' | sort >"$work/packaged"
diff "$work/before" "$work/after" | sed -n 's/^[<>] //p' | sort -u >"$work/changed" || true
left=$( (grep -Fxf "$work/packaged" "$work/changed" || true; grep -i imagebench "$work/changed" || true) | sort -u)
[ -z "$left" ] || fail "purging imagebench changed: $left"
if [ -s "$work/changed" ]; then
  say "changed meanwhile, not by this package: $(head -n 5 "$work/changed" | tr '\n' ' ')"
fi
say "purged: nothing left behind"
say "passed"
