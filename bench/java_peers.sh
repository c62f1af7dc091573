#!/usr/bin/env bash
# Every service of Kestrilo from Java against the Java platform's own way, in one VM
# (bench/JavaPeers.java): saveJPEG against the javax.imageio JPEG writer, makeTransparent against
# ImageIO, wav2au against Java Sound, makeCab against java.util.zip. The files for makeCab are
# about 56 MB taken from the corpus of bench/cabinet.sh (bench/make_corpus.sh): 36 MB of
# C headers, 15 MB of shared libraries, 5 MB of random data.
#   usage: bench/java_peers.sh [build folder, default build] [rounds, default 9]
# Run after ./scripts/build.sh build -DTAVOLIN_BENCH=ON.
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(realpath "${1:-build}")
rounds=${2:-9}
corpus=${CORPUS:-/tmp/tavolin-cabinet-corpus}
bench/make_corpus.sh "$corpus"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/files"
mapfile -t text < <(cd "$corpus" && find text -type f | sort | head -n 9)
mapfile -t bin < <(cd "$corpus" && find bin -type f | sort | head -n 5)
for f in "${text[@]}" "${bin[@]}" random/noise-1; do
  mkdir -p "$work/files/$(dirname "$f")"
  cp "$corpus/$f" "$work/files/$f"
done
classes="$work/classes"
javac --release 11 -d "$classes" -cp "$build/out" bench/JavaPeers.java
java -Djava.library.path="$build/out" -cp "$build/out:$classes" JavaPeers "$work" \
  "$work/files" "$rounds"
