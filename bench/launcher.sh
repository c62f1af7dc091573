#!/usr/bin/env bash
# Start-up of the launcher against the java command on the same class in the same run: the time
# from starting the process to the first line that main prints, and to the end of the process.
# Runs alternate between the two so that the machine's load falls on both alike.
# Usage: bench/launcher.sh [build folder] [runs]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
runs=${2:-30}
[[ -x "$build/out/launcher" ]] || { echo "no launcher in $build/out: build first" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$build/out/launcher" "$work/"
cat > "$work/Fennaquil.java" <<'JAVA'
public class Fennaquil {
    public static void main(String[] args) {
        System.out.println("first line");
    }
}
JAVA
javac --release 11 -d "$work" "$work/Fennaquil.java"

python3 - "$work" "$runs" <<'PY'
import statistics, subprocess, sys, time
work, runs = sys.argv[1], int(sys.argv[2])
commands = {"launcher": ["./launcher"], "java -cp . Fennaquil": ["java", "-cp", ".", "Fennaquil"]}

def once(command):
    started = time.perf_counter()
    process = subprocess.Popen(command, cwd=work, stdout=subprocess.PIPE)
    line = process.stdout.readline()
    first = time.perf_counter() - started
    process.stdout.read()
    status = process.wait()
    total = time.perf_counter() - started
    if line != b"first line\n" or status != 0:
        sys.exit("%s: unexpected output %r or status %d" % (command, line, status))
    return first * 1000, total * 1000

for command in commands.values():  # warm the file cache
    once(command)
results = {name: ([], []) for name in commands}
for _ in range(runs):
    for name, command in commands.items():
        first, total = once(command)
        results[name][0].append(first)
        results[name][1].append(total)

print("| command | first line, median ms | first line, min ms | whole run, median ms | runs |")
print("|---|---|---|---|---|")
for name, (firsts, totals) in results.items():
    print("| `%s` | %.1f | %.1f | %.1f | %d |" % (name, statistics.median(firsts), min(firsts),
                                                   statistics.median(totals), len(firsts)))
PY
