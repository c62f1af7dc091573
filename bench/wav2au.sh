#!/usr/bin/env bash
# The WAV-to-AU figures: ten minutes of 44100 Hz 16-bit stereo (about 106 MB), made by sox,
# converted by our export (one process per run), by sox to the same format, and merely read
# (cat), interleaved in the same rounds with the file in the page cache; then the Google
# Benchmark breakdown of our steps. Prints medians in milliseconds.
# Run after ./scripts/build.sh build -DTAVOLIN_BENCH=ON.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
rounds=${ROUNDS:-9}
work=$(mktemp -d "$build/wav2au-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
wav=$work/in.wav
sox -n -r 44100 -b 16 -c 2 "$wav" synth 600 sine 440 sine 660 gain -3
echo "input: $(stat -c %s "$wav") bytes"
cat "$wav" > /dev/null

# Wall-clock milliseconds of one run of the command.
time_ms() {
  local start end
  start=$(date +%s%N)
  "$@" > /dev/null
  end=$(date +%s%N)
  echo $(( (end - start) / 1000000 ))
}
median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

# Both converters make a new AU file each round. Ours replacing an existing one is timed apart.
# Ours syncs every new file to the disk before it takes its name, and the folder after.
ours=() soxes=() reads=() replacing=()
for ((round = 0; round < rounds; ++round)); do
  rm -f "$work/ours.au" "$work/sox.au"
  ours+=("$(time_ms "$build/bench/wav2au_bench" --once "$wav" "$work/ours.au")")
  soxes+=("$(time_ms sox "$wav" -r 8012 -c 1 -e u-law "$work/sox.au")")
  reads+=("$(time_ms sh -c "cat '$wav' > /dev/null")")
  replacing+=("$(time_ms "$build/bench/wav2au_bench" --once "$wav" "$work/ours.au")")
done
ours_ms=$(printf '%s\n' "${ours[@]}" | median)
sox_ms=$(printf '%s\n' "${soxes[@]}" | median)
read_ms=$(printf '%s\n' "${reads[@]}" | median)
replacing_ms=$(printf '%s\n' "${replacing[@]}" | median)
echo "rounds: $rounds (medians, ms)"
echo "ours (Kestrilo_wav2au, whole process): $ours_ms   all: ${ours[*]}"
echo "sox -r 8012 -c 1 -e u-law:             $sox_ms   all: ${soxes[*]}"
echo "cat in.wav > /dev/null:                $read_ms   all: ${reads[*]}"
echo "ours, replacing its previous AU file:  $replacing_ms   all: ${replacing[*]}"
awk -v o="$ours_ms" -v s="$sox_ms" -v r="$read_ms" \
  'BEGIN { printf "sox / ours: %.1f   ours / cat: %.2f\n", s / o, o / r }'
echo "AU sizes: ours $(stat -c %s "$work/ours.au"), sox $(stat -c %s "$work/sox.au")"

TAVOLIN_BENCH_WAV=$wav "$build/bench/wav2au_bench" --benchmark_repetitions=5 \
  --benchmark_report_aggregates_only=true --benchmark_filter='median|.' 2>&1 | grep -E "median|^-|Benchmark"
