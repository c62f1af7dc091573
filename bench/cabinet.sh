#!/usr/bin/env bash
# Builds one cabinet from a mixed corpus of about 200 MB (text: C headers; binaries: shared
# libraries; 20 MB of random data) with Kestrilo.makeCab through the JVM, and with `gcab -c -z`
# on the same files in the same run. Prints time and size of each, as a Markdown table.
# The corpus (bench/make_corpus.sh) is made in /tmp (or $CORPUS) and kept for later runs.
#   usage: bench/cabinet.sh [build folder, default build]
set -euo pipefail
build=$(realpath "${1:-$(dirname "$0")/../build}")
cd "$(dirname "$0")/.."
corpus=${CORPUS:-/tmp/tavolin-cabinet-corpus}
runs=${RUNS:-3}

bench/make_corpus.sh "$corpus"
mapfile -t files < <(cd "$corpus" && find text bin random -type f | sort)
total=$(cd "$corpus" && cat "${files[@]}" | wc -c)

out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
ln -s "$corpus"/{text,bin,random} "$out"/

best() {  # the shortest wall time of $runs runs of the command, in seconds
  local best=""
  for ((i = 0; i < runs; ++i)); do
    local start end
    start=$(date +%s.%N)
    "$@" >/dev/null
    end=$(date +%s.%N)
    local t
    t=$(echo "$end - $start" | bc)
    if [[ -z $best ]] || (( $(echo "$t < $best" | bc) )); then best=$t; fi
  done
  printf '%.2f' "$best"
}

ours() {
  rm -f "$out/ours.cab"
  java -Djava.library.path="$build/out" -cp "$build/out:$build/e2e/classes" Call makeCab \
    "$out" ours.cab "${files[@]}"
}
theirs() {
  rm -f "$out/gcab.cab"
  (cd "$out" && gcab -c -z gcab.cab "${files[@]}")
}

ours_time=$(best ours)
gcab_time=$(best theirs)
cabextract -q -t "$out/ours.cab" >/dev/null
ours_size=$(stat -c %s "$out/ours.cab")
gcab_size=$(stat -c %s "$out/gcab.cab")
echo "Corpus: ${#files[@]} files, $total bytes; best of $runs runs"
echo
echo "| writer | time (s) | cabinet size (bytes) | ratio |"
echo "|---|---|---|---|"
printf '| Kestrilo.makeCab (JVM start included) | %s | %s | %.4f |\n' "$ours_time" "$ours_size" \
  "$(echo "$ours_size / $total" | bc -l)"
printf '| gcab -c -z | %s | %s | %.4f |\n' "$gcab_time" "$gcab_size" \
  "$(echo "$gcab_size / $total" | bc -l)"
echo
printf 'gcab takes %.2f times as long; the cabinet is %.2f %% smaller than gcab'"'"'s\n' \
  "$(echo "$gcab_time / $ours_time" | bc -l)" \
  "$(echo "(1 - $ours_size / $gcab_size) * 100" | bc -l)"
