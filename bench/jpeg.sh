#!/usr/bin/env bash
# The JPEG export's figures on one 4000 x 3000 photo-like picture: the Google Benchmark comparison
# with libjpeg-turbo alone, then a Java program timing Kestrilo.saveJPEG against javax.imageio's
# JPEG writer in one VM, then the ratios. Both programs use the same pixels (written to a file by
# jpeg_bench). Run after ./scripts/build.sh build -DTAVOLIN_BENCH=ON.
#
#   bench/jpeg.sh [build folder] [Java rounds]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
rounds=${2:-9}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$build/bench/jpeg_bench" --write-picture "$work/picture.bin"
"$build/bench/jpeg_bench" --benchmark_repetitions=7 --benchmark_enable_random_interleaving=true \
  --benchmark_report_aggregates_only=true --benchmark_out="$work/bench.json" \
  --benchmark_out_format=json
javac --release 11 -d "$work" -cp "$build/out" bench/JpegBridgeTiming.java
java -Djava.library.path="$build/out" -cp "$build/out:$work" JpegBridgeTiming \
  "$work/picture.bin" 4000 3000 "$work" "$rounds" | tee "$work/java.txt"
python3 - "$work/bench.json" "$work/java.txt" <<'PY'
import json, re, sys
runs = json.load(open(sys.argv[1]))["benchmarks"]
medians = {b["run_name"].split("/")[0]: b["real_time"] for b in runs
           if b.get("aggregate_name") == "median"}
java = open(sys.argv[2]).read()
ours = float(re.search(r"saveJPEG median ([\d.]+) ms", java).group(1))
for name in ("BM_LibraryAlone", "BM_LibraryFromPackedInts"):
    print("saveJPEG from Java / %s (%.1f ms): %.2f" % (name, medians[name], ours / medians[name]))
PY
