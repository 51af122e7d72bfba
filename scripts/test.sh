#!/usr/bin/env bash
# Installs the dependencies, builds from scratch and runs the whole test suite:
# under ctest, every suite as one shuffled process, the Debian package installed
# and used, a clang build without Qt with its suites, the concurrency tests
# under ThreadSanitizer, the fuzz targets for a bounded time, the whole suite
# under AddressSanitizer and UndefinedBehaviorSanitizer. Each step is one
# section ("==== NAME", and when it ends its time and the time so far); a
# failing step stops the run.
set -euo pipefail
cd "$(dirname "$0")/.."
started=$SECONDS
section_name=""
section_start=$SECONDS
minutes() { printf '%d min %02d s' $(($1 / 60)) $(($1 % 60)); }
# Ends the section running (if any) with its time and starts the next one.
section() {
  if [ -n "$section_name" ]; then
    echo "==== $section_name: $(minutes $((SECONDS - section_start))) ($(minutes $((SECONDS - started))) so far)"
  fi
  section_name=$1
  section_start=$SECONDS
  echo "==== $section_name"
}
# A failing step names its section and the time it had run.
trap 'rc=$?; [ "$rc" -eq 0 ] || echo "==== $section_name: FAILED (status $rc) after $(minutes $((SECONDS - section_start))) ($(minutes $((SECONDS - started))) in all)" >&2' EXIT

section "dependencies"
bash scripts/install-deps.sh
# Every command the scripts and the tests start comes from a package above.
bash scripts/check-commands.sh

section "build"
rm -rf build build-sanitize build-clang build-tsan
# Warnings are errors in CI (the components below the GUI also warn on shadowing).
bash scripts/build.sh -DDOT11A_WERROR=ON
export QT_QPA_PLATFORM=offscreen

section "the library exports its interface only (no graphics layer, no Qt)"
bash scripts/check-exports.sh build/lib/libDot11a_b_lib.so

section "every suite as one process in random order, seeds 1 to 5"
bash scripts/test-shuffled.sh build 1 2 3 4 5

section "the Debian package: built, installed with apt, used from the installed paths"
bash scripts/test-install.sh build

section "clang, without Qt: the library, the tools and every suite"
# The same sources with a second compiler, warnings as errors, in the variant
# without Qt: nothing it builds links Qt, the library exports its interface
# only, dot11a-gen's main job (the default frame's summary) runs and every
# suite passes.
cmake -S . -B build-clang -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=Release -DDOT11A_GUI=OFF \
  -DDOT11A_WERROR=ON -DDOT11A_BUILD_BENCHMARKS=OFF >/dev/null
cmake --build build-clang -j"$(nproc)"
linked=""
for f in build-clang/bin/* build-clang/lib/*.so* build-clang/python/veltora/*.so; do
  [ -f "$f" ] && linked+="$(ldd "$f" 2>/dev/null | sed "s|^|$f: |")"$'\n'
done
grep -q 'libc\.so' <<<"$linked" || { echo "ldd read none of build-clang's programs" >&2; exit 1; }
if grep -iE 'libQt|qcustomplot' <<<"$linked"; then
  echo "the build without Qt links Qt" >&2
  exit 1
fi
bash scripts/check-exports.sh build-clang/lib/libDot11a_b_lib.so
build-clang/bin/dot11a-gen
(cd build-clang && ctest --output-on-failure -j"$(nproc)")

section "the concurrency tests under ThreadSanitizer, 200 cold starts in a row"
bash scripts/test-tsan.sh

section "the fuzz targets of the readers of outside input, each for a bounded time"
bash scripts/fuzz.sh

section "the whole suite under AddressSanitizer and UBSan (a finding fails the run)"
bash scripts/test-sanitize.sh

# Last, so that ctest's summary closes the run.
section "every test, one process each"
(cd build && ctest --output-on-failure -j"$(nproc)")
