#!/usr/bin/env bash
# The JPEG export's figures: the Google Benchmark comparison with libjpeg-turbo alone, then what
# the Java bridge adds (a Java program timing saveJPEG through the real JVM).
# Run after ./scripts/build.sh build -DTAVOLIN_BENCH=ON.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
"$build/bench/jpeg_bench" --benchmark_repetitions=7 --benchmark_enable_random_interleaving=true \
  --benchmark_report_aggregates_only=true
classes=$(mktemp -d)
trap 'rm -rf "$classes"' EXIT
javac --release 11 -d "$classes" -cp "$build/out" bench/JpegBridgeTiming.java
java -Djava.library.path="$build/out" -cp "$build/out:$classes" JpegBridgeTiming \
  "$classes/timing.jpg" 7
