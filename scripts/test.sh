#!/usr/bin/env bash
# Every test: native unit and tool tests, the unit tests again with
# AddressSanitizer and UndefinedBehaviorSanitizer, and the Windows build's
# unit tests under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh native native-asan windows

status=0
for preset in native native-asan windows; do
  echo "== tests: $preset"
  ctest --preset "$preset" -j "$(nproc)" || status=1
done
exit $status
