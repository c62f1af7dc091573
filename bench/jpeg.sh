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
medians = {b["run_name"].split("/")[0]: b for b in runs if b.get("aggregate_name") == "median"}
java = re.search(r"saveJPEG median ([\d.]+) ms, processor ([\d.]+) ms", open(sys.argv[2]).read())
wall, cpu = float(java.group(1)), float(java.group(2))
for name in ("BM_LibraryAlone", "BM_LibraryFromPackedInts"):
    library = medians[name]
    print("saveJPEG from Java / %s: %.2f (%.1f / %.1f ms), processor %.2f (%.1f / %.1f ms)"
          % (name, wall / library["real_time"], wall, library["real_time"],
             cpu / library["cpu_time"], cpu, library["cpu_time"]))
PY
