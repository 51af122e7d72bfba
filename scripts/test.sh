#!/usr/bin/env bash
# Installs the dependencies, builds from scratch and runs the whole test suite:
# under ctest, every suite as one shuffled process, the Debian package installed
# and used, the build without Qt, a clang build, the concurrency tests under
# ThreadSanitizer, the fuzz targets for a bounded time, the whole suite under
# AddressSanitizer and UndefinedBehaviorSanitizer. Each step is one section; a failing step stops
# the run.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh

# ---- build ---------------------------------------------------------------------
rm -rf build build-nogui build-sanitize build-clang build-tsan
# Warnings are errors in CI (the components below the GUI also warn on shadowing).
bash scripts/build.sh -DDOT11A_WERROR=ON
export QT_QPA_PLATFORM=offscreen

# ---- the library exports its interface only (no graphics layer, no Qt) -------------
bash scripts/check-exports.sh build/lib/libDot11a_b_lib.so

# ---- every suite as one process in random order, seeds 1 to 5 ---------------------
bash scripts/test-shuffled.sh build 1 2 3 4 5

# ---- the Debian package: built, installed with apt, used from the installed paths ----
bash scripts/test-install.sh build

# ---- the build without Qt: the library and the command-line tools only -------------
# Neither may link Qt, the library exports its interface only, and dot11a-gen's
# main job (the default frame's summary) runs.
cmake -S . -B build-nogui -DCMAKE_BUILD_TYPE=Release -DDOT11A_GUI=OFF -DDOT11A_WERROR=ON \
  -DDOT11A_BUILD_TESTS=OFF -DDOT11A_BUILD_BENCHMARKS=OFF >/dev/null
cmake --build build-nogui -j"$(nproc)" --target Dot11a_b_lib dot11a-gen dot11a-call dot11a_layer_checks
if ldd build-nogui/bin/dot11a-gen build-nogui/lib/libDot11a_b_lib.so | grep -iE 'libQt|qcustomplot'; then
  echo "the build without Qt links Qt" >&2
  exit 1
fi
bash scripts/check-exports.sh build-nogui/lib/libDot11a_b_lib.so
build-nogui/bin/dot11a-gen

# ---- the library and the command-line tools built with clang -------------------------
# Beside the GCC build: the same sources, warnings as errors, and the tools run.
rm -rf build-clang
cmake -S . -B build-clang -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=Release -DDOT11A_GUI=OFF \
  -DDOT11A_WERROR=ON -DDOT11A_BUILD_TESTS=OFF -DDOT11A_BUILD_BENCHMARKS=OFF >/dev/null
cmake --build build-clang -j"$(nproc)" --target Dot11a_b_lib dot11a-gen dot11a-call dot11a-verify \
  dot11a_layer_checks
build-clang/bin/dot11a-gen

# ---- the concurrency tests under ThreadSanitizer, 200 cold starts in a row ---------
rm -rf build-tsan
bash scripts/test-tsan.sh

# ---- the fuzz targets of the readers of outside input, each for a bounded time -----
bash scripts/fuzz.sh

# ---- the whole suite under AddressSanitizer and UBSan (a finding fails the run) -----
bash scripts/test-sanitize.sh

# ---- every test, one process each (last, so its summary closes the run) ------------
(cd build && ctest --output-on-failure -j"$(nproc)")
