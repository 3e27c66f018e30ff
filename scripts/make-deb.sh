#!/usr/bin/env bash
# Builds the Debian package glimmerfrost_VERSION_ARCH.deb in BUILD_DIR (default
# build-deb): the program built for /usr, its data set, the manual page, the menu
# entry and the icons, with the shared libraries it links declared as dependencies
# (worked out by dpkg-shlibdeps), then checks it with lintian.
# Usage: scripts/make-deb.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build-deb}"
jobs="${JOBS:-$(nproc)}"

# A game's program goes to /usr/games in Debian; its data stays in /usr/share/glimmerfrost.
# Built with Debian's hardening flags (stack protector, fortified libc calls, read-only
# relocations bound at load time); the optimisation level stays the project's own.
hardening="$(dpkg-buildflags --get CPPFLAGS) -fstack-protector-strong -Wformat -Werror=format-security"
linking=$(DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --get LDFLAGS)
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr -DCMAKE_INSTALL_BINDIR=games \
    -DCMAKE_C_FLAGS="$hardening" -DCMAKE_CXX_FLAGS="$hardening" -DCMAKE_EXE_LINKER_FLAGS="$linking" \
    -DGF_BUILD_TESTS=OFF -DGF_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" -j "$jobs"

version=$(sed -n 's/^project(Glimmerfrost VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
arch=$(dpkg --print-architecture)
# Staged as debhelper would, in debian/PACKAGE under a folder that also holds the
# debian/control dpkg-shlibdeps reads.
packaging="$PWD/$build/packaging"
stage="$packaging/debian/glimmerfrost"
rm -rf "$packaging"
mkdir -p "$stage"
DESTDIR="$stage" cmake --install "$build" --strip >/dev/null
# As dh_strip does: the compiler's version notes are of no use in an installed program.
strip --remove-section=.comment --remove-section=.note "$stage/usr/games/glimmerfrost"

# Debian's layout: compressed manual page, copyright and changelog in the doc folder.
gzip -9n "$stage/usr/share/man/man6/glimmerfrost.6"
doc="$stage/usr/share/doc/glimmerfrost"
install -d "$doc"
install -m 644 dist/debian/copyright "$doc/copyright"
gzip -9n <dist/debian/changelog >"$doc/changelog.gz"
find "$stage" -type d -exec chmod 755 {} +
find "$stage" -type f -exec chmod 644 {} +
chmod 755 "$stage/usr/games/glimmerfrost"

install -d "$stage/DEBIAN"
# The libraries the program links, as package dependencies.
printf 'Source: glimmerfrost\n\nPackage: glimmerfrost\nArchitecture: any\n' >"$packaging/debian/control"
depends=$(cd "$packaging" && dpkg-shlibdeps -O debian/glimmerfrost/usr/games/glimmerfrost | sed -n 's/^shlibs:Depends=//p')
[ -n "$depends" ] || { echo "make-deb: dpkg-shlibdeps found no dependencies" >&2; exit 1; }

size=$(du -sk --apparent-size "$stage/usr" | cut -f1)
sed -e "s/@VERSION@/$version/" -e "s/@ARCH@/$arch/" -e "s/@SIZE@/$size/" -e "s/@DEPENDS@/$depends/" \
    dist/debian/control.in >"$stage/DEBIAN/control"
(cd "$stage" && find usr -type f -print0 | sort -z | xargs -0 md5sum) >"$stage/DEBIAN/md5sums"
chmod 644 "$stage/DEBIAN/control" "$stage/DEBIAN/md5sums"

deb="$build/glimmerfrost_${version}_${arch}.deb"
dpkg-deb --root-owner-group -Zxz --build "$stage" "$deb" >/dev/null
echo "make-deb: built $PWD/$deb"
if command -v lintian >/dev/null; then
    # Errors fail the build; warnings and notes are shown.
    lintian --fail-on error "$deb"
fi
