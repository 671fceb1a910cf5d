#!/bin/sh
# The 64-bit ARM libraries the cross build links against and qemu-aarch64 runs
# with: Debian's arm64 packages of Qt (Core, Gui, Widgets, Test), Highway, zlib and
# what they load, unpacked into a folder of their own (a sysroot) rather than
# installed next to the machine's amd64 packages. Installing them through
# dpkg's multiarch would work too, but drags the machine's amd64 copies of
# every shared library (systemd, glib, mesa, ...) to the arm64 versions; the
# folder leaves the machine as it is. Cached outside the work tree:
#   ${XDG_CACHE_HOME:-$HOME/.cache}/imagebench/arm64-sysroot-<version>-<key>/
# <key> is a hash of the package list and of the host Qt's version (moc and
# uic come from the host and must match the target's Qt).
# Prints the sysroot on its last line of standard output.
set -eu
cd "$(dirname "$0")/.."
cache=${XDG_CACHE_HOME:-$HOME/.cache}/imagebench
version=$(dpkg-query -W -f='${Version}' qt6-base-dev)

# What the picture layer, the program and the tests link against, and the
# image-format plugins (TIFF, WebP) the picture files load through. apt works
# out everything these need; the skip list below then leaves out what only a
# desktop session or a package's scripts use (interpreters, GPU drivers,
# input devices, printing, networking), none of which the offscreen tests
# load.
wanted="qt6-base-dev qt6-image-formats-plugins libhwy-dev zlib1g-dev libqt6test6 libqt6widgets6 libqt6gui6 libqt6core6 libqt6dbus6 libc6 libstdc++6"
skip='^(perl|libperl|python3|libpython|dpkg|tar|debconf|sysvinit-utils|fontconfig$|fonts-|shared-mime-info|xkb-data|libllvm|libz3|libgl1-mesa-dri|libsensors|libdrm|libgbm|libegl-mesa|libglx-mesa|libxml2|libwayland-server|libelf|libedit|media-types|readline|libreadline|libncurses|libtinfo|libsqlite|libgdbm|libdb5|libnsl|libtirpc|libkrb|libk5|libgssapi|libkeyutils|libcom-err|libcups|libavahi|libgnutls|libnettle|libhogweed|libp11|libtasn|libidn|libunistring|libgmp|lsb-base|x11-common|xorg-sgml|x11proto|xtrans|libwacom|libinput|libevdev|libmtdev|libgudev|libudev|libproxy|libqt6(network|sql|xml|printsupport|opengl|openglwidgets|concurrent)6|qmake6-bin|qt6-base-dev-tools|qt6-qpa-plugins|libts0|libvulkan1|libssl3)'

key=$( { echo "$version"; echo "$wanted"; echo "$skip"; } | sha256sum | cut -c1-12)
root=$cache/arm64-sysroot-${version%%+*}-$key
if [ -f "$root/.complete" ]; then
  echo "$root"
  exit 0
fi
mkdir -p "$cache"
exec 9>"$cache/.lock-arm64-sysroot"
flock 9
if [ -f "$root/.complete" ]; then
  echo "$root"
  exit 0
fi
log() { echo "arm64-sysroot: $*" >&2; }

# A private apt set-up that knows only arm64 and an empty package database,
# so that apt lists every package the wanted ones need; the machine's own apt
# configuration and dpkg database stay untouched.
work=$cache/work-arm64-sysroot-$key
rm -rf "$work" "$root"
apt_dir=$work/apt
mkdir -p "$apt_dir/sources" "$apt_dir/lists/partial" "$apt_dir/cache/archives/partial" "$work/debs"
: >"$apt_dir/status"
cat >"$apt_dir/sources/arm64.sources" <<SRC
Types: deb
URIs: http://deb.debian.org/debian
Suites: bookworm bookworm-updates
Components: main
Architectures: arm64
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg

Types: deb
URIs: http://deb.debian.org/debian-security
Suites: bookworm-security
Components: main
Architectures: arm64
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SRC
apt_opts="-q -o APT::Architecture=arm64 -o APT::Architectures::=arm64 -o Debug::NoLocking=1
 -o Dir::Etc::SourceList=/dev/null -o Dir::Etc::SourceParts=$apt_dir/sources
 -o Dir::State::Lists=$apt_dir/lists -o Dir::State::status=$apt_dir/status -o Dir::Cache=$apt_dir/cache
 -o APT::Sandbox::User=root"
log "reading Debian's arm64 package lists"
# shellcheck disable=SC2086
apt-get $apt_opts update >&2
# The host's Qt version exactly: moc's output must suit the target's headers.
# shellcheck disable=SC2086,SC2046
packages=$(apt-get $apt_opts -s install --no-install-recommends \
             $(for p in $wanted; do case $p in *qt6-base*|libqt6*) echo "$p=$version" ;; *) echo "$p" ;; esac; done) \
           | sed -n 's/^Inst \([^ ]*\) .*/\1/p' | grep -Ev "$skip")
[ -n "$packages" ] || { log "apt found no packages"; exit 1; }
log "downloading $(echo "$packages" | wc -l) packages"
# shellcheck disable=SC2086,SC2046
(cd "$work/debs" && apt-get $apt_opts download $(echo "$packages" | sed 's/$/:arm64/') >&2)
mkdir -p "$root"
for deb in "$work/debs"/*.deb; do
  dpkg-deb -x "$deb" "$root"
done
echo "$version" >"$root/.complete"
rm -rf "$work"
echo "$root"
