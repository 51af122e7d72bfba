#!/usr/bin/env bash
# Builds the fuzz targets with Clang, libFuzzer and the sanitizers into
# build-fuzz/ and runs each for a bounded time (FUZZ_SECONDS, default 45) from
# its corpus in tests/fuzz/corpus/. New inputs go to a temporary folder, not
# into the repository. Exits non-zero when a target finds a crash, a leak or
# undefined behaviour; the input is left in build-fuzz/crashes/.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${FUZZ_SECONDS:-45}"
targets=(parameter_file payload_file scpi gateway_answers verify)
CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DDOT11A_FUZZ=ON -DDOT11A_BUILD_BENCHMARKS=OFF >/dev/null
cmake --build build-fuzz -j"$(nproc)" --target "${targets[@]/#/fuzz_}"
mkdir -p build-fuzz/crashes
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
failed=0
passed=0
for t in "${targets[@]}"; do
  mkdir -p "$work/$t"
  log="build-fuzz/fuzz_$t.log"
  echo "fuzz_$t: ${seconds} s"
  if (cd "$work" && TMPDIR="$work" ASAN_OPTIONS=allocator_may_return_null=1 \
      "$OLDPWD/build-fuzz/bin/fuzz_$t" -max_total_time="$seconds" -rss_limit_mb=2048 \
      -timeout=10 -max_len=65536 -print_final_stats=1 \
      -artifact_prefix="$OLDPWD/build-fuzz/crashes/$t-" \
      "$work/$t" "$OLDPWD/tests/fuzz/corpus/$t") >"$log" 2>&1; then
    runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' || echo "?")
    echo "fuzz_$t: passed, $runs inputs"
    passed=$((passed + 1))
  else
    echo "fuzz_$t: FAILED (see $log)"
    tail -40 "$log"
    failed=$((failed + 1))
  fi
done
echo "fuzz: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
