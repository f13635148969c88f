#!/usr/bin/env bash
# Builds the fuzz preset, writes the seed corpora and runs every target for
# a bounded time, one worker each (the machine is shared). Exits non-zero
# when a target reports a finding; the input that caused it is kept under
# build/fuzz/findings/<target>/.
#
# Usage: fuzz/run.sh SECONDS_PER_TARGET [TARGET...]   (targets: archive sequence differential unpack identity)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
seconds=${1:?seconds per target}
shift
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(archive sequence differential unpack identity)

# libFuzzer's runtime, where this clang keeps its own (the folder names
# clang's full version, which moves with every Debian point release).
fuzzer_runtime() {
  command -v clang++-14 >/dev/null || return 1
  local runtime
  runtime="$(clang++-14 -print-runtime-dir)/libclang_rt.fuzzer-$(uname -m).a"
  [ -f "$runtime" ]
}
if ! fuzzer_runtime || ! command -v llvm-symbolizer-14 >/dev/null; then
  if [ "$(id -u)" = 0 ]; then
    apt-get update -qq
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq clang-14 libclang-rt-14-dev llvm-14
  else
    echo "fuzz: clang-14 and libclang-rt-14-dev are needed" >&2
    exit 2
  fi
fi

build=$root/build/fuzz
# Configured every time: the preset's settings reach a build folder made
# before they changed.
cmake --preset fuzz >/dev/null
cmake --build "$build" --target fuzz_targets -j2 >/dev/null
python3 fuzz/make_seeds.py "$build/seeds" >/dev/null

status=0
summary=()
for t in "${targets[@]}"; do
  # Absolute paths throughout: a target may change the working directory.
  corpus=$build/corpus/$t
  findings=$build/findings/$t
  log=$build/logs/$t.log
  mkdir -p "$corpus" "$findings" "$(dirname "$log")"
  # The unpack target's sandbox goes here; libFuzzer's timed exit skips the
  # target's own clean-up. A memory file system when there is one: files
  # are made and removed for every input.
  # One of its own per run: runs of other checkouts may share the machine.
  scratch_root=$build/tmp
  [ -d /dev/shm ] && [ -w /dev/shm ] && scratch_root=/dev/shm
  mkdir -p "$scratch_root"
  scratch=$(mktemp -d "$scratch_root/quarn-fuzz-$t.XXXXXX")
  start=$(date +%s)
  rc=0
  # A fixed seed by default, so that a bounded run repeats what ran before.
  # Inputs that claim thousands of entries take milliseconds where most
  # take microseconds; weighing each input's energy by its speed keeps
  # them from eating the run (three times the executions, and more).
  TMPDIR=$scratch "$build/bin/${t}_fuzz" -seed="${FUZZ_SEED:-1}" -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=10 \
    -entropic_scale_per_exec_time=1 \
    -print_final_stats=1 -artifact_prefix="$findings/" "$corpus" "$build/seeds/$t" \
    >"$log" 2>&1 || rc=$?
  took=$(( $(date +%s) - start ))
  [ "$rc" != 0 ] || { chmod -R u+rwx "$scratch" && rm -rf "$scratch"; }
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -1)
  rss=$(sed -n 's/^stat::peak_rss_mb: *//p' "$log" | tail -1)
  if [ "$rc" != 0 ]; then
    status=1
    echo "fuzz: $t: FINDING (exit $rc), see $log and $findings/" >&2
    grep -m5 -E 'ERROR|SUMMARY|unpack_fuzz:|Test unit written' "$log" >&2 || true
  fi
  summary+=("$(printf '%-9s %12s executions %6s s %8s exec/s %6s MB peak  %s' \
    "$t" "${runs:-?}" "$took" "${rate:-?}" "${rss:-?}" "$([ "$rc" = 0 ] && echo ok || echo FINDING)")")
done
printf '%s\n' "${summary[@]}"
exit $status
