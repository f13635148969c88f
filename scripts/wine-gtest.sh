#!/usr/bin/env bash
# Runs a GoogleTest program under Wine for ctest. Once in a while Wine ends
# a program before any of it ran: a failure status without a line of test
# output. That attempt is shown and the program started once more; a
# program whose tests ran is never run again, whatever its result.
set -uo pipefail
output=$(mktemp)
trap 'rm -f "$output"' EXIT
status=1
for attempt in 1 2; do
  wine "$@" >"$output" 2>&1
  status=$?
  if [ "$status" -eq 0 ] || grep -q '^\[==========\]' "$output"; then
    cat "$output"
    exit "$status"
  fi
  echo "wine-gtest: attempt $attempt ended with status $status before any test ran; its output:"
  cat "$output"
done
exit "$status"
