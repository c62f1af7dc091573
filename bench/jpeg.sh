#!/usr/bin/env bash
# The JPEG export's figures on one 4000 x 3000 photo-like picture: the Google Benchmark run
# (the export and libjpeg-turbo alone in C++), then a Java program timing Kestrilo.saveJPEG
# against javax.imageio's JPEG writer and against libjpeg-turbo alone in one VM, interleaved.
# Both programs use the same pixels (written to a file by jpeg_bench). Files are written under
# TMPDIR (default /tmp). Run after ./scripts/build.sh build -DTAVOLIN_BENCH=ON.
#
#   bench/jpeg.sh [build folder] [Java rounds]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
rounds=${2:-15}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$build/bench/jpeg_bench" --write-picture "$work/picture.bin"
"$build/bench/jpeg_bench" --benchmark_repetitions=7 --benchmark_enable_random_interleaving=true \
  --benchmark_report_aggregates_only=true
javac --release 11 -d "$work" -cp "$build/out" bench/JpegBridgeTiming.java
java -Djava.library.path="$build/out:$build/bench" -cp "$build/out:$work" JpegBridgeTiming \
  "$work/picture.bin" 4000 3000 "$work" "$rounds"
