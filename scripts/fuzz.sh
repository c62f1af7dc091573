#!/usr/bin/env bash
# Builds the fuzz targets with clang (libFuzzer, AddressSanitizer, UndefinedBehaviorSanitizer)
# and runs each for the given number of seconds (default 60) on a copy of its seed corpus.
# A crash stops the script with the failing input saved in fuzz-build/crashes.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
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
  work=fuzz-build/corpus/$name
  mkdir -p "$work"
  echo "== fuzzing $name for ${seconds}s"
  "$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
    -artifact_prefix=fuzz-build/crashes/"$name"- "$work" "fuzz/corpus/$name" 2>&1 | tail -n 3
done
