#!/usr/bin/env bash
# Runs the extraction fuzzer: every seed (and the real payload, whole) once,
# then mutation for a bounded time. Usage: run.sh [SECONDS]  (default 60)
# Figures print at the end (executions, coverage); any failed check aborts
# with the input kept as build/fuzz/crash-*.
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
fuzz="$root/build/fuzz"
payload="$root/build/native/payload/Payload.zip"
python3 "$root/tests/fuzz/make_seeds.py" "$fuzz/seeds" "$payload"
mkdir -p "$fuzz/corpus"
cd "$fuzz"
./fuzz_extract "$payload" seeds/*.zip >replay.log 2>&1 || { tail -n 40 replay.log; exit 1; }
# 64 KiB inputs keep one execution in milliseconds; the corpus grows across runs.
status=0
./fuzz_extract -max_len=65536 -max_total_time="${1:-60}" -print_final_stats=1 \
  -artifact_prefix="$fuzz/" corpus seeds >fuzz.log 2>&1 || status=$?
grep -E '^#[0-9]+\s+DONE|^stat::number_of_executed_units|ERROR|^fuzz_extract:|SUMMARY' fuzz.log || true
exit $status
