#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing need, and only those missing.
# Safe to run again: with everything present it does nothing and needs no network.
set -euo pipefail

packages=(
  # build
  build-essential cmake pkg-config git openjdk-17-jdk libglib2.0-dev
  libjpeg62-turbo-dev zlib1g-dev libgtest-dev libgmock-dev libbenchmark-dev
  clang libclang-rt-14-dev
  # tools the tests use as peers and as sources of input files
  python3 python3-pil file
  cabextract p7zip-full libarchive-tools gcab
  sox libsox-fmt-base
  libjpeg-turbo-progs imagemagick giflib-tools libgif-dev
  xvfb xauth xclip xdg-utils libglib2.0-bin strace
  # the Debian package: the icon's bitmaps, building and checking it
  librsvg2-bin dpkg-dev lintian desktop-file-utils appstream
)

missing=()
for package in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$package")
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

sudo=()
[[ $(id -u) -eq 0 ]] || sudo=(sudo)
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -q
"${sudo[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
