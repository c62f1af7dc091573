#!/usr/bin/env bash
# Builds the Debian package: build-deb/tavolin_<version>_<architecture>.deb (or in the folder
# given).
#
# Installs what is missing, makes a release build in build-deb with Debian's hardening flags,
# installs it into a staging root (cmake --install), strips it, adds the package's documents, and
# packs it with dpkg-deb. The version, the date of every file and the maintainer come from
# packaging/debian/changelog, so the same sources give the same package. The dependencies on
# shared libraries are those dpkg-shlibdeps finds in the installed programs; the Java runtime,
# xdg-utils and the clipboard tools are named in packaging/debian/control.in.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh

source_root=$(pwd)
build=$source_root/build-deb
# Laid out as dpkg-shlibdeps expects: the package's files in debian/<package> of a source folder.
package_root=$build/package
stage=$package_root/debian/tavolin
out=${1:-build-deb}
changelog=packaging/debian/changelog
umask 022

version=$(dpkg-parsechangelog -l "$changelog" -S Version)
maintainer=$(dpkg-parsechangelog -l "$changelog" -S Maintainer)
SOURCE_DATE_EPOCH=$(dpkg-parsechangelog -l "$changelog" -S Timestamp)
export SOURCE_DATE_EPOCH
arch=$(dpkg --print-architecture)

echo "== Building tavolin $version for $arch"
# Debian's hardening flags, all of them, given on every configuration (CMake would read the
# environment's only on the first, and never CPPFLAGS).
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
flag() { dpkg-buildflags --get "$1"; }
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr -DTAVOLIN_TESTS=OFF \
  -DCMAKE_C_FLAGS="$(flag CPPFLAGS) $(flag CFLAGS)" -DCMAKE_CXX_FLAGS="$(flag CPPFLAGS) $(flag CXXFLAGS)" \
  -DCMAKE_EXE_LINKER_FLAGS="$(flag LDFLAGS)" -DCMAKE_SHARED_LINKER_FLAGS="$(flag LDFLAGS)" >/dev/null
cmake --build "$build" -j "$(nproc)" --target launcher tavolin_icons

rm -rf "$package_root"
DESTDIR=$stage cmake --install "$build" >/dev/null
# Stripped as Debian's own tools strip (dh_strip): no symbols the loader does not need, and no
# compiler notes.
strip --remove-section=.comment --remove-section=.note "$stage/usr/lib/tavolin/launcher" \
  "$stage/usr/lib/tavolin/tavolin-start"
strip --remove-section=.comment --remove-section=.note --strip-unneeded \
  "$stage/usr/lib/tavolin/libKestrilo.so" "$stage/usr/lib/tavolin/libcabwriter.so"

doc=$stage/usr/share/doc/tavolin
install -d -m 755 "$doc"
install -m 644 packaging/debian/copyright "$doc/copyright"
# A native package: its changelog is changelog.gz. gzip -n keeps no name or time inside.
gzip -9n <"$changelog" >"$doc/changelog.gz"
gzip -9nf "$stage/usr/share/man/man1/tavolin.1"
install -d -m 755 "$stage/usr/share/lintian/overrides"
install -m 644 packaging/debian/lintian-overrides "$stage/usr/share/lintian/overrides/tavolin"

# The shared libraries' packages, as dpkg-shlibdeps finds them (it wants a debian/control, and
# DEBIAN in the package's root).
install -d -m 755 "$stage/DEBIAN"
printf 'Source: tavolin\n\nPackage: tavolin\nArchitecture: any\n' >"$package_root/debian/control"
shlibs=$(cd "$package_root" && dpkg-shlibdeps -O -edebian/tavolin/usr/lib/tavolin/launcher \
  -edebian/tavolin/usr/lib/tavolin/tavolin-start \
  -edebian/tavolin/usr/lib/tavolin/libKestrilo.so -edebian/tavolin/usr/lib/tavolin/libcabwriter.so |
  sed -n 's/^shlibs:Depends=//p')
[[ -n "$shlibs" ]] || { echo "dpkg-shlibdeps found no dependencies" >&2; exit 1; }

installed_size=$(du -sk --apparent-size "$stage" --exclude=DEBIAN | cut -f1)
sed -e "s|@VERSION@|$version|" -e "s|@ARCH@|$arch|" -e "s|@MAINTAINER@|$maintainer|" \
  -e "s|@INSTALLED_SIZE@|$installed_size|" -e "s|@SHLIBS@|$shlibs|" \
  packaging/debian/control.in >"$stage/DEBIAN/control"
(cd "$stage" && find . -type f ! -path './DEBIAN/*' -printf '%P\0' | LC_ALL=C sort -z |
  xargs -0 md5sum) >"$stage/DEBIAN/md5sums"
chmod 644 "$stage/DEBIAN/control" "$stage/DEBIAN/md5sums"
find "$stage" -exec touch --no-dereference --date="@$SOURCE_DATE_EPOCH" {} +

mkdir -p "$out"
package=$out/tavolin_${version}_${arch}.deb
dpkg-deb --root-owner-group -Zxz --build "$stage" "$package" >/dev/null
echo "$package"
