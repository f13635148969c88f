#!/usr/bin/env bash
# The bounded fuzz runs of the test command: 30 s per target.
exec "$(dirname "$0")/../fuzz/run.sh" 30 "$@"
