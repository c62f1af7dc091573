#!/usr/bin/env bash
# showFile from a Java VM with a 4 GiB touched heap (bench/ShowFileTiming.java) against starting
# a program through ProcessBuilder (posix_spawn) in the same run. The document's program is
# /bin/true, chosen by GIO over a private XDG set-up, so the figure is the look-up and the start.
#   usage: [MECHANISM=FORK] bench/show_file.sh [build folder, default build] [rounds, default 200]
# MECHANISM: how ProcessBuilder starts its peer (POSIX_SPAWN by default; FORK shows what a fork
# of the same VM costs).
# Run after ./scripts/build.sh build -DTAVOLIN_BENCH=ON.
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(realpath "${1:-build}")
rounds=${2:-200}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/data/applications" "$work/config" "$work/mimedb" "$work/documents"
ln -s /usr/share/mime "$work/mimedb/mime"
printf '[Desktop Entry]\nType=Application\nName=True\nExec=/bin/true %%f\n' \
  > "$work/data/applications/tavolin-true.desktop"
printf '[Default Applications]\ntext/plain=tavolin-true.desktop\n' > "$work/config/mimeapps.list"
echo "plain text" > "$work/documents/notes.txt"
classes="$work/classes"
javac --release 11 -d "$classes" -cp "$build/out" bench/ShowFileTiming.java
XDG_DATA_HOME="$work/data" XDG_DATA_DIRS="$work/mimedb" XDG_CONFIG_HOME="$work/config" \
  XDG_CONFIG_DIRS="$work/config" XDG_CURRENT_DESKTOP="" \
  java -Xms4g -Xmx5g -XX:+AlwaysPreTouch \
  -Djdk.lang.Process.launchMechanism="${MECHANISM:-POSIX_SPAWN}" \
  -Djava.library.path="$build/out" -cp "$build/out:$classes" \
  ShowFileTiming "$work/documents" notes.txt "$rounds"
