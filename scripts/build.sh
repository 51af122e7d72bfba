#!/usr/bin/env bash
# Configures and builds into build/ (tools in build/bin/). Extra arguments go to
# the configure step.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release "$@" >/dev/null
cmake --build build -j"$(nproc)"
