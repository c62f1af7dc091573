#!/usr/bin/env bash
# Cross-builds Kestrilo.dll and the Windows tests for one target, i686 or x86_64, into the folder
# given (default: build-windows-<target>), passing on extra CMake options. Before the project it
# builds, inside that folder and for that target: libjpeg-turbo from Debian's own source package
# of the very version the Linux build links (so that both write the same JPEG bytes), and
# GoogleTest from Debian's googletest sources. Nothing comes from anywhere but Debian's archive.
# Needs ./scripts/install-windows-deps.sh first.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

target=${1:-}
case $target in
  i686 | x86_64) ;;
  *)
    echo "usage: $0 i686|x86_64 [build folder] [CMake options...]" >&2
    exit 2
    ;;
esac
shift
build_dir=build-windows-$target
if [[ $# -gt 0 && $1 != -* ]]; then
  build_dir=$1
  shift
fi
mkdir -p "$build_dir"
build_dir=$(cd "$build_dir" && pwd)
# The one toolchain file, with the target as its parameter.
toolchain=(-DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchains/mingw.cmake" -DTAVOLIN_WINDOWS_TARGET="$target")
deps=$build_dir/deps
jobs=$(nproc)

# libjpeg-turbo: the source package behind the installed libjpeg62-turbo-dev, with Debian's
# patches applied by apt-get source. Static, and without the SIMD code (which needs nasm): the
# library's C and SIMD paths give the same bytes.
jpeg_version=$(dpkg-query -W -f='${source:Version}' libjpeg62-turbo-dev)
if [[ ! -f $deps/lib/libjpeg.a || "$(cat "$deps/.jpeg-version" 2>/dev/null)" != "$jpeg_version" ]]; then
  sources=$build_dir/sources
  rm -rf "$sources" "$build_dir/jpeg-build"
  mkdir -p "$sources"
  (cd "$sources" && apt-get source -q "libjpeg-turbo=$jpeg_version" >/dev/null)
  jpeg_source=$(find "$sources" -mindepth 1 -maxdepth 1 -type d -name 'libjpeg-turbo-*' | head -n 1)
  cmake -S "$jpeg_source" -B "$build_dir/jpeg-build" "${toolchain[@]}" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$deps" -DENABLE_SHARED=OFF \
    -DENABLE_STATIC=ON -DWITH_TURBOJPEG=OFF -DWITH_SIMD=OFF >/dev/null
  # Only the library and its headers: the sample programs are not needed.
  cmake --build "$build_dir/jpeg-build" -j "$jobs" --target jpeg-static >/dev/null
  mkdir -p "$deps/include" "$deps/lib"
  cp "$jpeg_source"/{jpeglib.h,jerror.h,jmorecfg.h} "$build_dir/jpeg-build/jconfig.h" \
    "$deps/include/"
  cp "$build_dir/jpeg-build/libjpeg.a" "$deps/lib/libjpeg.a"
  echo "$jpeg_version" >"$deps/.jpeg-version"
fi

# GoogleTest from /usr/src/googletest (Debian's googletest package), static.
if [[ ! -f $deps/lib/cmake/GTest/GTestConfig.cmake ]]; then
  rm -rf "$build_dir/gtest-build"
  cmake -S /usr/src/googletest -B "$build_dir/gtest-build" "${toolchain[@]}" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$deps" -DCMAKE_INSTALL_LIBDIR=lib \
    -DBUILD_SHARED_LIBS=OFF >/dev/null
  cmake --build "$build_dir/gtest-build" -j "$jobs" --target install >/dev/null
fi

cmake -S . -B "$build_dir" "${toolchain[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DJPEG_INCLUDE_DIR="$deps/include" -DJPEG_LIBRARY_RELEASE="$deps/lib/libjpeg.a" \
  -DGTest_DIR="$deps/lib/cmake/GTest" "$@" >/dev/null
cmake --build "$build_dir" -j "$jobs"
