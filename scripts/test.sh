#!/usr/bin/env bash
# Installs the dependencies, builds from scratch and runs the whole test suite.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
rm -rf build
bash scripts/build.sh
export QT_QPA_PLATFORM=offscreen
cd build
ctest --output-on-failure -j"$(nproc)"
# The fuzz targets of the readers of outside input, each for a bounded time.
cd ..
bash scripts/fuzz.sh
