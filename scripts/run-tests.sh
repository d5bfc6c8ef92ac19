#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test (windows offscreen).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
export QT_QPA_PLATFORM=offscreen
if [ "${HALVEX_SKIP_SANITIZERS:-0}" = 1 ]; then
  cmake --preset release
  cmake --build --preset release
  ctest --preset release -j2 --timeout 300
else
  # One build runs the suite, under AddressSanitizer and UndefinedBehaviorSanitizer:
  # they fail every test the plain build fails, and memory and undefined-behaviour
  # faults besides. The benchmarks are compiled there too, so they never rot; their
  # figures come from the release build. One build keeps a fresh machine's check short.
  cmake --preset debug-asan
  cmake --build --preset debug-asan
  ctest --preset debug-asan -j2 --timeout 300
fi
# The file loaders' fuzz targets get a short run each under the sanitizers.
if [ "${HALVEX_SKIP_FUZZ:-0}" != 1 ]; then
  cmake --preset fuzz >/dev/null
  cmake --build --preset fuzz --target halvex_fuzz
  for f in build/fuzz/bin/fuzz_*; do
    [ -x "$f" ] || continue
    echo "fuzzing $(basename "$f") for 20 s"
    "$f" -max_total_time=20 -rss_limit_mb=2048 -print_final_stats=0 2>&1 | tail -n 3
  done
fi
