#!/usr/bin/env bash
# Installs what the Windows cross build and its tests under Wine need, and only what is missing:
# the mingw-w64 compilers (POSIX threads flavour) for i686 and x86-64, zlib built for both, Wine
# with its 32-bit part (without wine32 an i686 program under Wine does nothing and exits 0), and a
# deb-src entry for Debian's own archive, so that build-windows.sh can fetch the libjpeg-turbo
# source package. Not part of the Linux build's dependencies: run it only for the Windows build.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(
  g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix libz-mingw-w64-dev
  wine wine64 wine32:i386
  dpkg-dev googletest
  # the launcher's icon, rendered from its SVG
  librsvg2-bin
  # the peers and display the Windows tests use, as on Linux
  python3 cabextract p7zip-full libarchive-tools gcab xvfb xauth xclip
  # the installers: wixl builds them, msiinfo and msibuild (msitools) read and finish them,
  # faketime gives wixl the package's date
  wixl msitools faketime
  # localedef and the locales' sources, for the tests under other code pages
  locales
)

sudo=()
[[ $(id -u) -eq 0 ]] || sudo=(sudo)
export DEBIAN_FRONTEND=noninteractive
need_update=0

if ! dpkg --print-foreign-architectures | grep -qx i386; then
  "${sudo[@]}" dpkg --add-architecture i386
  need_update=1
fi

# Debian's sources, for `apt-get source`: the archives that the binary packages already come
# from, as this machine's own entries name them, made into source entries.
sources_entry=/etc/apt/sources.list.d/tavolin-debian-src.sources
sources_list=/etc/apt/sources.list.d/tavolin-debian-src.list
if [[ ! -f $sources_entry && ! -f $sources_list ]]; then
  shopt -s nullglob
  deb822=(/etc/apt/sources.list.d/*.sources)
  shopt -u nullglob
  if [[ ${#deb822[@]} -gt 0 ]] && grep -qx 'Types: deb' "${deb822[@]}"; then
    sed -n 's/^Types: deb$/Types: deb-src/; /^#/d; p' "${deb822[@]}" |
      "${sudo[@]}" tee "$sources_entry" >/dev/null
  else
    grep -h '^deb ' /etc/apt/sources.list /etc/apt/sources.list.d/*.list 2>/dev/null |
      sed 's/^deb /deb-src /' | "${sudo[@]}" tee "$sources_list" >/dev/null
  fi
  need_update=1
fi

missing=()
for package in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$package")
done
if [[ ${#missing[@]} -eq 0 && $need_update -eq 0 ]]; then
  exit 0
fi

"${sudo[@]}" apt-get update -q
if [[ ${#missing[@]} -gt 0 ]]; then
  echo "Installing: ${missing[*]}"
  "${sudo[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
