#!/usr/bin/env bash
# Builds the Windows installers: for each target given (default: i686 x86_64), an MSI in dist/
# (or $TAVOLIN_DIST), tavolin-windows-<target>.msi, made with wixl from packaging/windows/
# tavolin.wxs. It installs for the whole machine into Program Files\Tavolin (the 32-bit one into
# the 32-bit Program Files), with a Start-menu shortcut carrying the application's icon and an
# entry in Apps & Features; a newer version replaces an older one. It holds the very files of
# the distribution zip (package-windows.sh).
#
# The same sources give the same bytes: the UpgradeCode is fixed per width, the ProductCode
# follows from it and the version, each component's code from the component, the package code
# from everything the installer holds; the files and the installer's summary are dated from the
# changelog (wixl takes the summary's dates from the clock, so it runs under faketime, and makes
# up a package code of its own, which msibuild replaces).
#
# TAVOLIN_MSI_VERSION overrides the version (the changelog's, as Windows Installer writes it:
# numbers only), for testing upgrades. Installs the Windows dependencies first.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

./scripts/install-windows-deps.sh
targets=("$@")
[[ ${#targets[@]} -gt 0 ]] || targets=(i686 x86_64)
dist=${TAVOLIN_DIST:-$root/dist}
mkdir -p "$dist"
dist=$(cd "$dist" && pwd)
changelog=packaging/debian/changelog
version=${TAVOLIN_MSI_VERSION:-$(dpkg-parsechangelog -l "$changelog" -S Version |
  sed 's/[^0-9.].*//')}
if [[ ! $version =~ ^[0-9]+(\.[0-9]+){0,2}$ ]]; then
  echo "$version: Windows Installer takes a version of up to three numbers" >&2
  exit 2
fi
SOURCE_DATE_EPOCH=$(dpkg-parsechangelog -l "$changelog" -S Timestamp)
export SOURCE_DATE_EPOCH
# faketime with an absolute time stands the clock still at it.
frozen_clock=(env TZ=UTC faketime "$(date -u -d "@$SOURCE_DATE_EPOCH" '+%Y-%m-%d %H:%M:%S')")

for target in "${targets[@]}"; do
  case $target in
    # The UpgradeCodes: never to change, or an installer would no longer replace the last.
    i686) arch=x86 win64=no template=Intel upgrade_code=BA90666D-1509-48AC-A43B-A309F8B22452 ;;
    x86_64) arch=x64 win64=yes template=x64 upgrade_code=6E0A48C8-59CB-436D-B9D3-BFB01E306FD2 ;;
    *)
      echo "usage: $0 [i686] [x86_64]" >&2
      exit 2
      ;;
  esac
  staging=$(mktemp -d)
  trap 'rm -rf "$staging"' EXIT
  echo "== Windows $target: the distribution's files"
  zip=$(TAVOLIN_DIST=$staging ./scripts/package-windows.sh "$target" | tail -n 1)
  files=$staging/files
  python3 -c 'import sys, zipfile; zipfile.ZipFile(sys.argv[1]).extractall(sys.argv[2])' \
    "$zip" "$files"
  icon=$root/build-windows-$target/icons/tavolin.ico
  [[ -f $icon ]] || { echo "no $icon: the Windows build renders it (librsvg2-bin)" >&2; exit 1; }
  cp "$icon" "$staging/tavolin.ico"
  # The cabinet inside the installer keeps each file's date.
  find "$files" "$staging/tavolin.ico" -exec touch --date="@$SOURCE_DATE_EPOCH" {} +

  codes=$(python3 - "$upgrade_code" "$version" "$staging" packaging/windows/tavolin.wxs <<'PYTHON'
import hashlib
import sys
import uuid
from pathlib import Path

upgrade, version, staging, wxs = uuid.UUID(sys.argv[1]), sys.argv[2], Path(sys.argv[3]), sys.argv[4]
code = lambda name: str(uuid.uuid5(upgrade, name)).upper()
inputs = hashlib.sha256(version.encode() + b"\0" + Path(wxs).read_bytes())
for path in sorted(p for p in staging.rglob("*") if p.is_file() and p.suffix != ".zip"):
    inputs.update(b"\0" + str(path.relative_to(staging)).encode() + b"\0" + path.read_bytes())
print("ProductCode=" + code("product " + version))
print("PackageCode={%s}" % code("package " + inputs.hexdigest()))
for component in ("Launcher", "Library", "LibraryClass", "ApplicationClass", "ReadMe", "Licence",
                  "StartMenuShortcut"):
    print("%sGuid=%s" % (component, code("component " + component)))
PYTHON
)
  # wixl takes the names of the files it packs relative to its working directory only.
  defines=(-D "Version=$version" -D "Arch=$arch" -D "Win64=$win64" -D "UpgradeCode=$upgrade_code"
           -D "Dist=files" -D "Icon=tavolin.ico")
  while read -r line; do defines+=(-D "$line"); done <<<"$codes"
  package_code=$(sed -n 's/^PackageCode=//p' <<<"$codes")

  echo "== Windows $target: the installer ($version)"
  msi=$dist/tavolin-windows-$target.msi
  (cd "$staging" && "${frozen_clock[@]}" wixl -a "$arch" "${defines[@]}" -o "$msi.partial" \
    "$root/packaging/windows/tavolin.wxs")
  "${frozen_clock[@]}" msibuild "$msi.partial" -s "Tavolin $version installer" \
    "The Tavolin developers" "$template;1033" "$package_code"
  mv "$msi.partial" "$msi"
  rm -rf "$staging"
  trap - EXIT
  echo "$msi"
done
