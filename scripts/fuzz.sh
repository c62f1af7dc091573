#!/usr/bin/env bash
# Builds the fuzz targets with clang (libFuzzer, AddressSanitizer, UndefinedBehaviorSanitizer)
# and runs each on a copy of its seed corpus for its share of the time given (default 60
# seconds): the shares below add up to three times that, so that the whole run takes about as
# long as three targets of 60 seconds did. A target without a share gets the time given.
# A crash stops the script with the failing input saved in fuzz-build/crashes. Each run's
# figures (runs, exec/s, peak memory) are printed; its whole output is in fuzz-build/<name>.log.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
declare -A percent=([gif]=60 [wav]=60 [gif_roundtrip]=50 [file_readers]=50 [mszip]=40
                    [java_string]=40)
./scripts/install-deps.sh
CC=clang CXX=clang++ cmake -S . -B fuzz-build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTAVOLIN_FUZZ=ON \
  -DTAVOLIN_SANITIZE=ON -DTAVOLIN_TESTS=OFF >/dev/null
# Only the fuzz targets: the shared libraries are of no use here.
targets=()
for source in fuzz/*_fuzz.cpp; do targets+=(--target "$(basename "$source" .cpp)"); done
cmake --build fuzz-build -j "$(nproc)" "${targets[@]}"
mkdir -p fuzz-build/crashes
for target in fuzz-build/fuzz/*_fuzz; do
  name=$(basename "$target" _fuzz)
  budget=$(( seconds * ${percent[$name]:-100} / 100 ))
  (( budget >= 5 )) || budget=5
  work=fuzz-build/corpus/$name
  mkdir -p "$work"
  echo "== fuzzing $name for ${budget}s"
  log=fuzz-build/$name.log
  status=0
  "$target" -max_total_time="$budget" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix=fuzz-build/crashes/"$name"- "$work" "fuzz/corpus/$name" >"$log" 2>&1 ||
    status=$?
  grep -E '^(Done|stat::number_of_executed_units|stat::average_exec_per_sec|stat::peak_rss_mb)' \
    "$log" || true
  if (( status != 0 )); then
    tail -n 40 "$log"
    echo "fuzz target $name failed (status $status); its input is in fuzz-build/crashes" >&2
    exit "$status"
  fi
done
