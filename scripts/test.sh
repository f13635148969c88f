#!/usr/bin/env bash
# Every test: native unit and tool tests, the unit tests again with
# AddressSanitizer and UndefinedBehaviorSanitizer, the archive and launch
# tests with ThreadSanitizer (only those programs are built), the Windows build's tests
# under Wine (unit tests, packages, the launcher end to end), and a bounded
# run of every fuzz target.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh native native-asan tsan windows

status=0
for preset in native native-asan tsan windows; do
  echo "== tests: $preset"
  ctest --preset "$preset" -j "$(nproc)" --output-on-failure || status=1
done
echo "== fuzz targets, 30 s each"
fuzz/run.sh 30 || status=1
exit $status
