#!/usr/bin/env bash
# Builds what the concurrency tests need (the components below the GUI and
# test_threads) with ThreadSanitizer into build-tsan/ and runs them 200 times in
# a row. Each run starts cold child processes whose threads make their first
# FFT plans at the same moment; a race ThreadSanitizer sees, a crash or a
# result that differs from a sequential run fails it. Extra arguments go to the
# configure step.
set -euo pipefail
cd "$(dirname "$0")/.."
build=build-tsan
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g1" \
  -DDOT11A_SANITIZE_THREAD=ON -DDOT11A_GUI=OFF -DDOT11A_BUILD_BENCHMARKS=OFF "$@" >/dev/null
cmake --build "$build" -j"$(nproc)" --target test_threads

# The children inherit these: a finding in any of them fails the run.
export TSAN_OPTIONS="halt_on_error=1:abort_on_error=1:second_deadlock_stack=1"
"$build/bin/test_threads" --gtest_repeat=200 --gtest_brief=1
