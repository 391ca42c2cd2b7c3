#!/usr/bin/env bash
# Builds everything: the Windows programs (build/win32), the native tools and
# tests (build/native), the sanitizer build of the native tests (build/asan),
# the ThreadSanitizer build of the window-model tests (build/tsan) and the
# extraction fuzzer (build/fuzz, clang + libFuzzer).
# The payload needs QMV.exe from the Windows build, and the installer embeds
# the payload, so the Windows build runs in two steps around the native one.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
bash scripts/setup.sh
jobs="${QM_JOBS:-2}"

# One build at a time in this tree.
mkdir -p build
exec 8>build/.build.lock
flock 8

cmake -S . -B build/win32 -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" \
  -DCMAKE_BUILD_TYPE=MinSizeRel -DQM_PAYLOAD_DIR="$root/build/native/payload" >/dev/null
cmake --build build/win32 --target QMV -j"$jobs"

cmake -S . -B build/native -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DQM_QMV_EXE="$root/build/win32/QMV.exe" >/dev/null
cmake --build build/native -j"$jobs"

cmake --build build/win32 -j"$jobs"

if [ "${QM_SKIP_ASAN:-0}" != 1 ]; then
  cmake -S . -B build/asan -DCMAKE_BUILD_TYPE=Debug -DQM_QMV_EXE="$root/build/win32/QMV.exe" \
    -DCMAKE_CXX_FLAGS="-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=all" \
    -DCMAKE_C_FLAGS="-fsanitize=address,undefined -fno-omit-frame-pointer" >/dev/null
  cmake --build build/asan -j"$jobs"
fi

if [ "${QM_SKIP_TSAN:-0}" != 1 ]; then
  # The worker thread and the cross-thread control calls live in runtime_test.
  cmake -S . -B build/tsan -DCMAKE_BUILD_TYPE=Debug -DQM_QMV_EXE="$root/build/win32/QMV.exe" \
    -DCMAKE_CXX_FLAGS="-fsanitize=thread -O1 -g" -DCMAKE_C_FLAGS="-fsanitize=thread -O1 -g" >/dev/null
  cmake --build build/tsan --target runtime_test -j"$jobs"
fi

if [ "${QM_SKIP_FUZZ:-0}" != 1 ]; then
  cmake -S tests/fuzz -B build/fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >/dev/null
  cmake --build build/fuzz -j"$jobs"
fi
