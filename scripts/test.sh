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

# The build without Qt: the library and the command-line tools only. Neither
# may link Qt, and dot11a-gen's main job (the default frame's summary) runs.
cd ..  # from build/ back to the source tree
cmake -S . -B build-nogui -DCMAKE_BUILD_TYPE=Release -DDOT11A_GUI=OFF \
  -DDOT11A_BUILD_TESTS=OFF -DDOT11A_BUILD_BENCHMARKS=OFF >/dev/null
cmake --build build-nogui -j"$(nproc)" --target Dot11a_b_lib dot11a-gen dot11a-call dot11a_layer_checks
if ldd build-nogui/bin/dot11a-gen build-nogui/lib/libDot11a_b_lib.so | grep -iE 'libQt|qcustomplot'; then
  echo "the build without Qt links Qt" >&2
  exit 1
fi
build-nogui/bin/dot11a-gen

# The fuzz targets of the readers of outside input, each for a bounded time.
bash scripts/fuzz.sh
