#!/usr/bin/env bash
# Builds the Windows distributions: for each target given (default: i686 x86_64), a zip in
# dist/ (or $TAVOLIN_DIST) holding launcher.exe, Kestrilo.dll, Kestrilo.class, Fennaquil.class,
# README.txt and LICENSE.txt. The binaries come from build-windows.sh's build folder, stripped
# of their debugging information (which names the build folder); the zip holds no time stamps
# (every entry dated 1980-01-01, sorted, with fixed permissions), so the same sources give the
# same bytes. Installs the Windows dependencies first.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

./scripts/install-windows-deps.sh
targets=("$@")
[[ ${#targets[@]} -gt 0 ]] || targets=(i686 x86_64)
dist=${TAVOLIN_DIST:-$root/dist}
mkdir -p "$dist"

for target in "${targets[@]}"; do
  case $target in
    i686) triplet=i686-w64-mingw32 ;;
    x86_64) triplet=x86_64-w64-mingw32 ;;
    *)
      echo "usage: $0 [i686] [x86_64]" >&2
      exit 2
      ;;
  esac
  echo "== Windows $target: build"
  ./scripts/build-windows.sh "$target" >/dev/null
  out=$root/build-windows-$target/out
  staging=$(mktemp -d)
  trap 'rm -rf "$staging"' EXIT
  for binary in launcher.exe Kestrilo.dll; do
    "$triplet-strip" --strip-debug -o "$staging/$binary" "$out/$binary"
  done
  cp "$out/Kestrilo.class" "$out/Fennaquil.class" "$staging/"
  # Notepad of older Windows reads only CRLF line ends.
  sed 's/$/\r/' packaging/windows/README.txt >"$staging/README.txt"
  sed 's/$/\r/' LICENSE >"$staging/LICENSE.txt"
  zip=$dist/tavolin-windows-$target.zip
  python3 - "$staging" "$zip" <<'PYTHON'
import sys
import zipfile
from pathlib import Path

staging, target = Path(sys.argv[1]), Path(sys.argv[2])
# strip writes the time of stripping into the PE header's TimeDateStamp (the linker wrote 0), and
# a checksum over it: both go back to 0, as the linker left them. The loader checks neither for
# a program or an ordinary DLL.
for name in ("launcher.exe", "Kestrilo.dll"):
    binary = staging / name
    data = bytearray(binary.read_bytes())
    header = int.from_bytes(data[0x3C:0x40], "little")
    assert data[header:header + 4] == b"PE\0\0"
    data[header + 8:header + 12] = bytes(4)
    data[header + 24 + 64:header + 24 + 68] = bytes(4)
    binary.write_bytes(bytes(data))
partial = target.with_suffix(".zip.partial")
with zipfile.ZipFile(partial, "w", zipfile.ZIP_DEFLATED, compresslevel=9) as archive:
    for path in sorted(staging.iterdir()):
        entry = zipfile.ZipInfo(path.name, date_time=(1980, 1, 1, 0, 0, 0))
        entry.compress_type = zipfile.ZIP_DEFLATED
        entry.create_system = 0
        entry.external_attr = 0
        archive.writestr(entry, path.read_bytes(), compresslevel=9)
partial.replace(target)
PYTHON
  rm -rf "$staging"
  trap - EXIT
  echo "$zip"
done
