#!/usr/bin/env bash
# Builds everything and runs every test: the native tests, the same tests under
# AddressSanitizer + UndefinedBehaviorSanitizer, the window-model tests under
# ThreadSanitizer, a 60 s run of the extraction fuzzer, and the Windows tests
# under Wine (programs of their own and end-to-end runs of the installer).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
bash scripts/build.sh
status=0
ctest --test-dir build/native --output-on-failure -j2 || status=1
ctest --test-dir build/asan --output-on-failure -j2 || status=1
TSAN_OPTIONS="halt_on_error=1 exitcode=66" build/tsan/runtime_test --gtest_brief=1 || status=1
bash tests/fuzz/run.sh 60 || status=1
ctest --test-dir build/win32 --output-on-failure || status=1
exit $status
