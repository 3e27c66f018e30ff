#!/usr/bin/env bash
# The package as a user gets it: installs glimmerfrost_VERSION_ARCH.deb with apt into
# a fresh Debian 12 root (so apt must pull every library it declares), runs
# `glimmerfrost --version` and a short capture there, purges it and checks that
# none of its files is left. Needs root (chroot, mount) and debootstrap.
# The root is made once by debootstrap from Debian's mirror and kept as a tarball in
# WORK_DIR; later runs start from a fresh copy of it. The .debs apt wants that this
# machine already has in its own cache are copied in rather than downloaded again.
# Usage: scripts/deb-test.sh PACKAGE.deb [WORK_DIR]
set -euo pipefail
deb=$(realpath "${1:?usage: deb-test.sh PACKAGE.deb [WORK_DIR]}")
work=$(realpath -m "${2:-$(dirname "$deb")/deb-test}")
mirror="${DEBIAN_MIRROR:-http://deb.debian.org/debian}"
root="$work/root"
base="$work/bookworm-minbase.tar"
started=$SECONDS
step() { printf 'deb-test: %-44s (%d s)\n' "$1" $((SECONDS - started)); }
fail() { echo "deb-test: FAILED: $*" >&2; exit 1; }

mounted=()
cleanup() {
    local m
    for ((i = ${#mounted[@]} - 1; i >= 0; i--)); do
        m="${mounted[$i]}"
        umount -l "$m" 2>/dev/null || true
    done
    rm -rf "$root"
}
trap cleanup EXIT
# PATH as a Debian user has it, /usr/games included.
in_root() { chroot "$root" env -i PATH=/usr/local/bin:/usr/bin:/bin:/usr/local/games:/usr/games:/usr/sbin:/sbin \
    HOME=/root LANG=C.UTF-8 \
    DEBIAN_FRONTEND=noninteractive "$@"; }

mkdir -p "$work"
rm -rf "$root"
if [ ! -f "$base" ]; then
    step "debootstrap bookworm from $mirror"
    debootstrap --variant=minbase bookworm "$root" "$mirror" >"$work/debootstrap.log" 2>&1 ||
        fail "debootstrap (log: $work/debootstrap.log)"
    tar -C "$root" -cf "$base.part" . && mv "$base.part" "$base"
else
    mkdir -p "$root"
    tar -C "$root" -xf "$base"
fi
step "fresh root ready"

mount -t proc proc "$root/proc" && mounted+=("$root/proc")
mount --bind /dev "$root/dev" && mounted+=("$root/dev")
cp /etc/resolv.conf "$root/etc/resolv.conf"
name=$(basename "$deb")
cp "$deb" "$root/tmp/$name"

in_root apt-get update -qq >/dev/null || fail "apt-get update in the root"
# Offer apt the archives this machine already holds, or an earlier run downloaded,
# by the names apt asks for.
mkdir -p "$work/archives"
in_root apt-get install -y --no-install-recommends --print-uris "/tmp/$name" 2>/dev/null |
    sed -n "s/^'[^']*' \([^ ]*\.deb\) .*/\1/p" | while read -r file; do
        for cache in "$work/archives" /var/cache/apt/archives; do
            if [ -f "$cache/$file" ]; then
                cp "$cache/$file" "$root/var/cache/apt/archives/"
                break
            fi
        done
    done
step "apt install ./$name"
in_root apt-get install -y -qq --no-install-recommends "/tmp/$name" >"$work/install.log" 2>&1 ||
    fail "apt-get install (log: $work/install.log)"
cp -n "$root"/var/cache/apt/archives/*.deb "$work/archives/" 2>/dev/null || true

version=$(in_root glimmerfrost --version) || fail "glimmerfrost --version"
[ "$version" = "glimmerfrost $(dpkg-deb -f "$deb" Version)" ] || fail "--version said '$version'"
step "ran: $version"

# With no display the program renders to a file: the closing scene, about a second.
in_root sh -c 'cd /tmp && SDL_AUDIODRIVER=dummy glimmerfrost --start 16 --capture /tmp/end.mp4' \
    >"$work/capture.log" 2>&1 || fail "the capture in the root: $(cat "$work/capture.log")"
size=$(stat -c %s "$root/tmp/end.mp4" 2>/dev/null || echo 0)
[ "$size" -gt 10000 ] || fail "the capture wrote $size bytes"
step "captured /tmp/end.mp4, $size bytes"

mapfile -t files < <(in_root dpkg -L glimmerfrost | while read -r f; do [ -f "$root$f" ] && echo "$f"; done)
[ ${#files[@]} -gt 10 ] || fail "the package installed only ${#files[@]} files"
in_root apt-get purge -y -qq glimmerfrost >"$work/purge.log" 2>&1 || fail "apt-get purge (log: $work/purge.log)"
status=$(in_root dpkg-query -W -f='${db:Status-Status}' glimmerfrost 2>/dev/null || echo not-installed)
[ "$status" = "not-installed" ] || fail "after purge dpkg says '$status'"
for f in "${files[@]}"; do
    [ ! -e "$root$f" ] || fail "$f is left after purge"
done
step "purged: none of its ${#files[@]} files left"
echo "deb-test: passed in $((SECONDS - started)) s"
