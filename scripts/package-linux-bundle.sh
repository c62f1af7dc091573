#!/usr/bin/env bash
# Builds the self-contained Linux distribution: dist/tavolin-linux-<machine>.tar.gz (or in the
# folder given), one folder "tavolin" holding the launcher, libKestrilo.so, the cabinet writer
# module, the Java classes and, in runtime/, a Java runtime made for them with jlink. The
# launcher takes the runtime beside it before any installed Java, so the bundle runs where no
# Java is installed (it still needs the system's libjpeg62-turbo and zlib, present on any
# desktop).
#
# The runtime holds the modules that jdeps finds the Java classes need, and java.base (which is
# all the launcher's own calls into Java need), without debugging information, header files or
# manual pages. The archive's entries are sorted and dated from the changelog, owned by root,
# with fixed permissions, so the same build and runtime give the same bytes.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh

source_root=$(pwd)
build=$source_root/build-bundle
out=${1:-dist}
changelog=packaging/debian/changelog
SOURCE_DATE_EPOCH=$(dpkg-parsechangelog -l "$changelog" -S Timestamp)
export SOURCE_DATE_EPOCH
machine=$(uname -m)
umask 022

# The JDK whose javac the build uses gives jdeps and jlink, so that the runtime is of the
# release the classes were checked against.
jdk=$(dirname "$(dirname "$(readlink -f "$(command -v javac)")")")

echo "== Building the bundle's programs"
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DTAVOLIN_TESTS=OFF >/dev/null
cmake --build "$build" -j "$(nproc)" --target launcher Kestrilo cabwriter java_classes

stage=$build/stage
folder=$stage/tavolin
rm -rf "$stage"
mkdir -p "$folder"
built=$build/out
install -m 755 "$built/launcher" "$folder/launcher"
install -m 644 "$built/libKestrilo.so" "$built/libcabwriter.so" "$folder/"
strip --remove-section=.comment --remove-section=.note "$folder/launcher"
strip --remove-section=.comment --remove-section=.note --strip-unneeded \
  "$folder/libKestrilo.so" "$folder/libcabwriter.so"
classes=("$built"/Kestrilo*.class "$built"/Fennaquil*.class)
install -m 644 "${classes[@]}" "$folder/"
install -m 644 LICENSE "$folder/LICENSE"
install -m 644 packaging/linux/bundle-README.txt "$folder/README.txt"

modules=$("$jdk/bin/jdeps" --multi-release 11 --ignore-missing-deps --print-module-deps \
  "${classes[@]}")
modules=$(printf '%s\n' java.base "${modules//,/$'\n'}" | sed '/^$/d' | LC_ALL=C sort -u |
  paste -sd, -)
echo "== Java runtime with $modules (jlink)"
"$jdk/bin/jlink" --module-path "$jdk/jmods" --add-modules "$modules" --strip-debug \
  --no-header-files --no-man-pages --output "$folder/runtime"

mkdir -p "$out"
archive=$out/tavolin-linux-$machine.tar.gz
# gzip -n: no name or time in the gzip header.
tar --sort=name --mtime="@$SOURCE_DATE_EPOCH" --owner=0 --group=0 --numeric-owner \
  --mode=u+w,go-w -C "$stage" -cf - tavolin | gzip -9n >"$archive.partial"
mv "$archive.partial" "$archive"
echo "$archive"
