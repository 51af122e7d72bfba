#!/usr/bin/env bash
# Runs every test executable of a build as one process in random order, for
# seeds 1 to 5, each run in an empty working folder with an empty temporary
# folder of its own. A run fails when a test fails or when anything is left
# behind in either folder. Usage: scripts/test-shuffled.sh [BUILD_DIR] [SEEDS...]
set -euo pipefail
cd "$(dirname "$0")/.."
build="$(realpath "${1:-build}")"
shift || true
seeds=("$@")
[ "${#seeds[@]}" -gt 0 ] || seeds=(1 2 3 4 5)
export QT_QPA_PLATFORM=offscreen

scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
passed=0
failed=0
for exe in "$build"/bin/test_*; do
  [ -x "$exe" ] || continue
  name="$(basename "$exe")"
  for seed in "${seeds[@]}"; do
    work="$scratch/work" tmp="$scratch/tmp"
    rm -rf "$work" "$tmp"
    mkdir -p "$work" "$tmp"
    log="$scratch/$name-$seed.log"
    start=$SECONDS
    if (cd "$work" && TMPDIR="$tmp" "$exe" --gtest_shuffle --gtest_random_seed="$seed" >"$log" 2>&1); then
      status=ok
    else
      status=FAILED
    fi
    left="$(find "$work" "$tmp" -mindepth 1 -maxdepth 1 -printf '  %p\n')"
    if [ -n "$left" ]; then
      status="FAILED (left files behind)"
    fi
    echo "$name seed $seed: $status ($((SECONDS - start)) s)"
    if [ "$status" = ok ]; then
      passed=$((passed + 1))
    else
      failed=$((failed + 1))
      grep -E '^\[  FAILED  \] [A-Za-z]' "$log" | sort -u || tail -n 40 "$log"
      [ -z "$left" ] || printf 'Left behind:\n%s\n' "$left"
    fi
  done
done
echo "shuffled: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
