#!/usr/bin/env bash
# Installs the dependencies, builds from scratch and runs the whole test suite:
# under ctest, then every suite as one shuffled process. Each step is one
# section; a failing step stops the run. (scripts/test-sanitize.sh runs the
# suite under AddressSanitizer and UndefinedBehaviorSanitizer.)
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh

# ---- build ---------------------------------------------------------------------
rm -rf build
bash scripts/build.sh
export QT_QPA_PLATFORM=offscreen

# ---- every test, one process each ------------------------------------------------
(cd build && ctest --output-on-failure -j"$(nproc)")

# ---- every suite as one process in random order, seeds 1 to 5 ---------------------
bash scripts/test-shuffled.sh build 1 2 3 4 5
