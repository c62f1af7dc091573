#!/usr/bin/env bash
# What one JPEG save costs the rest of the Java program: a thread allocates without pause while
# the main thread saves a 4000 x 3000 and a 16000 x 12000 picture (tests/e2e/java/
# SaveWhileAllocating.java), three times each. Prints the allocating thread's longest single
# allocation during each save, then from the VM's log (-Xlog:gc, -Xlog:gc+jni=debug) the
# collector's longest pauses and how long each collection that was asked for while the array
# was held waited for the hold to end. Files are written under TMPDIR (default /tmp).
# Run after ./scripts/build.sh build; KESTRILO_OUT names another folder with libKestrilo.so
# and Kestrilo.class to measure (default: the build's out folder).
#
#   bench/jpeg_gc.sh [build folder]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
out=${KESTRILO_OUT:-$build/out}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
saves=()
for size in "4000 3000" "16000 12000"; do
  for round in 1 2 3; do
    # shellcheck disable=SC2206
    saves+=("$work/picture.jpg" $size)
  done
done
java -Xmx2g -XX:+UseG1GC "-Xlog:gc+jni=debug,gc=info:file=$work/gc.log:uptimenanos" \
  -Djava.library.path="$out" -cp "$out:$build/e2e/classes" SaveWhileAllocating "${saves[@]}"
echo "Collector pauses, the five longest (ms):" \
  "$(grep -o 'Pause Young.* [0-9.]*ms$' "$work/gc.log" | grep -o '[0-9.]*ms$' | sort -n |
    tail -5 | tr '\n' ' ')"
# A collection asked for under a hold ("Setting _needs_gc") runs when the last hold ends
# ("Performing GC after exiting critical section").
awk '/Setting _needs_gc/ && !asked { asked = substr($1, 2) + 0 }
     /Performing GC after exiting critical section/ && asked {
       wait = (substr($1, 2) - asked) / 1e6; ++count; if (wait > longest) longest = wait; asked = 0 }
     END { printf "Collections that waited for a hold: %d, the longest wait %.1f ms\n",
           count, longest }' "$work/gc.log"
