#!/usr/bin/env bash
# The receiver's self-consistency matrix through every front end (slow: about
# as long as it takes to run dot11a-verify 1536 times; not in CI, which runs
# the C++ matrix of tests/rx and a seeded sample of this one).
#
#   scripts/rx-matrix.sh [build-dir] [--sample N] [--seed S]
#
# Needs dot11a-verify and the Python module built in build-dir (default:
# build). Exit status: 0 when every frame decodes at its start with its PSDU
# on every path and the paths agree, 1 otherwise.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
shift || true
exec /usr/bin/python3 scripts/rx_matrix.py "$build" "$@"
