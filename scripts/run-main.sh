#!/usr/bin/env bash
# The main job: installs what is missing, builds, and runs the sample application, which calls
# every native service on sample inputs and prints what it did.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
./scripts/build.sh build
cd build/out
if [[ -x ./launcher ]]; then
  exec ./launcher
else
  exec java -Djava.library.path=. -cp . Fennaquil
fi
