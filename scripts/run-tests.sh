#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test (windows offscreen).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
export QT_QPA_PLATFORM=offscreen
cmake --preset release
if [ "${HALVEX_SKIP_SANITIZERS:-0}" = 1 ]; then
  cmake --build --preset release
  ctest --preset release -j2 --timeout 300
else
  # The programs and benchmarks are built optimised, as users run them; the
  # suite runs once, under AddressSanitizer and UndefinedBehaviorSanitizer,
  # which fail every test the plain build fails and memory and undefined-
  # behaviour faults besides. One run keeps a fresh machine's check short.
  cmake --build --preset release --target halvex_programs
  cmake --preset debug-asan >/dev/null
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
