#!/usr/bin/env bash
# Builds the library, the tools and the test suites with AddressSanitizer and
# UndefinedBehaviorSanitizer into build-sanitize/ (benchmarks off) and runs the
# whole suite there. Any finding stops the process that made it and fails the
# run. Extra arguments go to the configure step.
set -euo pipefail
cd "$(dirname "$0")/.."
build=build-sanitize
# Light optimisation with line tables: quick to build, readable stack traces,
# and assertions kept.
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g1" -DDOT11A_SANITIZE=ON \
  -DDOT11A_BUILD_BENCHMARKS=OFF "$@" >/dev/null
cmake --build "$build" -j"$(nproc)"

export QT_QPA_PLATFORM=offscreen
# intercept_tls_get_addr=0: the leak check at exit otherwise walks the dynamic
# TLS of libraries Qt loaded and unloaded (image plugins of the splash) and
# its tracer crashes on a stale block ("Tracer caught signal 11"), failing a
# test that passed.
export ASAN_OPTIONS="halt_on_error=1:abort_on_error=1:detect_leaks=1:strict_string_checks=1:detect_stack_use_after_return=1:check_initialization_order=1:intercept_tls_get_addr=0"
# The sanitizer's dlopen does not search the test programs' run path, so the
# gateway plugin is named outright.
export DOT11A_HWIO_PLUGIN="$PWD/$build/lib/libdot11a_hwio.so"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
export LSAN_OPTIONS="suppressions=$PWD/tests/sanitizer-leaks.supp:print_suppressions=0"
cd "$build"
ctest --output-on-failure -j"$(nproc)"
