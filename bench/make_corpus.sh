#!/usr/bin/env bash
# Makes the mixed corpus of the cabinet benchmarks, about 200 MB, unless it is there already:
# 120 MB of text (C headers cut into 4 MB files; less where /usr/include holds less), 60 MB of
# machine code (shared libraries cut into 3 MB files), four 5 MB files of random data. Nothing
# of it is committed.
#   usage: bench/make_corpus.sh [folder, default $CORPUS or /tmp/tavolin-cabinet-corpus]
set -euo pipefail
corpus=${1:-${CORPUS:-/tmp/tavolin-cabinet-corpus}}
[[ -f $corpus/.complete ]] && exit 0
rm -rf "$corpus"
mkdir -p "$corpus/text" "$corpus/bin" "$corpus/random"
set +o pipefail  # head ends each pipeline early on purpose
find /usr/include -type f -size -2M | sort |
  while read -r f; do cat "$f"; done | head -c 120000000 | split -b 4000000 - "$corpus/text/part-"
find /usr/lib/x86_64-linux-gnu -maxdepth 1 -type f -name '*.so*' -size +200k | sort |
  head -n 400 | while read -r f; do cat "$f"; done | head -c 60000000 |
  split -b 3000000 - "$corpus/bin/lib-"
for i in 1 2 3 4; do head -c 5000000 /dev/urandom > "$corpus/random/noise-$i"; done
set -o pipefail
touch "$corpus/.complete"
