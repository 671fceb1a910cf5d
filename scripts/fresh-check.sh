#!/bin/sh
# make fresh-check: the README's commands as a new user runs them, on a
# brand-new Debian 12. A bare Debian 12 tree (debootstrap --variant=minbase),
# `make` and `git` the only packages added by hand, a clone of the current
# commit inside it, and there, as root:
#   make test      scripts/deps.sh installs the rest, then the whole suite
#   make deb       the Debian package
#   make windows   the cross build and the Windows packages; Qt for MinGW and
#                  the cross-built libraries come read-only from this
#                  machine's cache, so what is proved is that the package
#                  lists are complete, not the Qt build again
# A package missing from scripts/deps.sh fails the step that needs it, and the
# check names that step.
#
# Kept between runs, in ${XDG_CACHE_HOME:-$HOME/.cache}/imagebench: the bare
# base as a tarball, nothing else. Shared with this machine while it runs:
# apt's package archive (nothing is downloaded twice) and the compiler cache
# (ccache speeds compiling; it cannot stand in for a missing package).
# FRESH_STEPS picks steps ("test deb windows" by default).
# Needs root: it unpacks a tree, mounts into it and runs chroot.
set -eu
cd "$(dirname "$0")/.."
root=$PWD
steps=${FRESH_STEPS:-test deb windows}
cache=${XDG_CACHE_HOME:-$HOME/.cache}/imagebench
base=$cache/debian12-minbase.tar
say() { echo "fresh-check: $*"; }
fail() { echo "fresh-check: FAILED: $*" >&2; exit 1; }

[ "$(id -u)" = 0 ] || fail "it needs root (chroot and mount); run it as root or with sudo"
scripts/deps.sh fresh
commit=$(git rev-parse HEAD)
git diff --quiet HEAD || say "uncommitted changes are not part of the check; it runs commit $commit"
case " $steps " in
  *" windows "*)
    # Qt for MinGW and the libraries, built here once if the cache lacks them.
    scripts/deps.sh windows
    qt=$(scripts/qt-windows.sh | tail -n 1)
    scripts/windows-libs.sh highway >/dev/null ;;
esac

top=$(mktemp -d /var/tmp/imagebench-fresh.XXXXXX)
tree=$top/root   # the new machine's root
mounts=""   # newest first, so that they are undone in reverse order
mount_in() {   # mount_in <folder inside the tree> <mount arguments>...
  target=$tree$1; shift
  mkdir -p "$target"
  mount "$@" "$target"
  mounts="$target $mounts"
}
# Everything mounted is unmounted, whatever happened; the tree is removed only
# when nothing is mounted anywhere inside it any more.
cleanup() {
  status=$?
  for m in $mounts; do
    umount "$m" 2>/dev/null || umount -l "$m" 2>/dev/null || echo "fresh-check: cannot unmount $m" >&2
  done
  if awk -v t="$top/" 'index($2 "/", t) == 1 { found = 1 } END { exit !found }' /proc/mounts; then
    echo "fresh-check: something is still mounted in $top; it is left in place:" >&2
    awk -v t="$top/" 'index($2 "/", t) == 1 { print "  " $2 }' /proc/mounts >&2
    status=1
  else
    rm -rf --one-file-system "$top"
  fi
  exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT TERM HUP

total_start=$(date +%s)
times=""
# step <name> <command>: runs the command, times it, names it if it fails.
step() {
  name=$1; shift
  say "step '$name'"
  start=$(date +%s)
  "$@" || fail "step '$name' failed (commit $commit)"
  seconds=$(( $(date +%s) - start ))
  times="$times  $name: ${seconds} s
"
  say "step '$name' took ${seconds} s"
}

# The bare base, made once: Debian 12, minbase, with the machine's own package
# sources (the same versions as this machine, so its package archive serves).
make_base() {
  if [ ! -f "$base" ]; then
    mkdir -p "$top/base" "$cache"
    debootstrap --variant=minbase --cache-dir=/var/cache/apt/archives bookworm "$top/base" \
      http://deb.debian.org/debian >"$top/debootstrap.log" 2>&1 \
      || { tail -n 20 "$top/debootstrap.log" >&2; return 1; }
    tar -C "$top/base" -cf "$base.part" . && mv "$base.part" "$base"
    rm -rf --one-file-system "$top/base"
  fi
  mkdir -p "$tree"
  tar -C "$tree" -xf "$base"
}
step base make_base

if [ -f /etc/apt/sources.list.d/debian.sources ]; then
  rm -f "$tree/etc/apt/sources.list"
  cp /etc/apt/sources.list.d/debian.sources "$tree/etc/apt/sources.list.d/"
fi
cp /etc/resolv.conf "$tree/etc/resolv.conf" 2>/dev/null || true
mount_in /proc -t proc proc
mount_in /sys -t sysfs -o ro sysfs
mount_in /dev --bind /dev
mount_in /dev/shm -t tmpfs -o mode=1777 tmpfs
mount_in /dev/pts -t devpts -o newinstance,ptmxmode=0666 devpts
mount_in /var/cache/apt/archives --bind /var/cache/apt/archives
ccache_dir=$(ccache -k cache_dir 2>/dev/null || echo "$HOME/.cache/ccache")
mkdir -p "$ccache_dir"
mount_in "$ccache_dir" --bind "$ccache_dir"
if [ -n "${qt:-}" ]; then
  mount_in "$cache" --bind "$cache"
  mount -o remount,bind,ro "$tree$cache"
fi

# in_tree <command>: a login as root would see it, in the clone.
in_tree() {
  chroot "$tree" /usr/bin/env -i HOME=/root LANG=C.UTF-8 TERM=dumb DEBIAN_FRONTEND=noninteractive \
    PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
    XDG_CACHE_HOME="$(dirname "$cache")" CCACHE_DIR="$ccache_dir" ${JOBS:+JOBS=$JOBS} \
    /bin/sh -c "cd '$root' 2>/dev/null || cd /root; $1"
}
step "apt-get install make git" in_tree "apt-get update -q && apt-get install -y -q make git"
# The clone stands at this checkout's own path, so that the compiler cache
# this machine's builds filled serves it (Debian's package flags name the
# source folder).
git bundle create "$tree/root/imagebench.bundle" HEAD 2>/dev/null
mkdir -p "$(dirname "$tree$root")"
step "git clone" in_tree "git clone -q /root/imagebench.bundle '$root' && cd '$root' \
  && git checkout -q $commit && rm /root/imagebench.bundle"
for s in $steps; do
  case $s in
    test|deb|windows) step "make $s" in_tree "make $s" ;;
    *) fail "unknown step $s (test, deb, windows)" ;;
  esac
done
say "passed in $(( $(date +%s) - total_start )) s:"
printf '%s' "$times"
