#!/usr/bin/env bash
# The main job: installs what is missing, builds, and runs the sample application, which calls
# every native service on sample inputs and prints what it did.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
./scripts/build.sh build
cd build/out
# Without a desktop the clipboard cannot be opened; a private virtual display gives the sample
# one, so that every service has something to show.
wrapper=()
if [[ -z "${DISPLAY:-}" && -z "${WAYLAND_DISPLAY:-}" ]] && command -v xvfb-run >/dev/null; then
  echo "(no desktop: running on a private virtual display)"
  wrapper=(xvfb-run -a)
fi
exec "${wrapper[@]}" ./launcher
