#!/usr/bin/env bash
# Every test: installs what is missing, builds (warnings as errors), runs the unit tests and the
# end-to-end tests through CTest.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
./scripts/build.sh build -DTAVOLIN_WERROR=ON -DTAVOLIN_BENCH=ON
ctest --test-dir build --output-on-failure -j "$(nproc)"
