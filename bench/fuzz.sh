#!/usr/bin/env bash
# Long fuzz runs: SECONDS per target (default 600), then the executions and
# time of each from libFuzzer's final statistics. The grown corpora stay in
# build/fuzz/corpus/ and make the next run start where this one ended.
exec "$(dirname "$0")/../fuzz/run.sh" "${1:-600}" "${@:2}"
