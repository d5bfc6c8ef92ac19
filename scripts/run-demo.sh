#!/usr/bin/env bash
# Installs what is missing, builds, and starts the program on the simulated drive.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake --preset release >/dev/null
cmake --build --preset release --target halvex_programs
exec build/release/bin/halvex --simulate "$@"
