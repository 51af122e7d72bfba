#!/usr/bin/env bash
# Mutation check of the phy, mac, rx, impair, model, io and ops test suites (slow; not
# part of CI).
# Each entry below is one plausible single-line fault: the line is found by its
# text, changed in the source tree, the suites that should notice are rebuilt
# and run, and the mutation is reported as caught (a suite failed) or missed.
# The file is put back after each mutation, and on exit or Ctrl+C. A line that
# has moved or changed is reported "not found", not as a failure.
#
#   scripts/mutate.sh [build-dir]      (default: build, configured already)
#   ONLY=regex scripts/mutate.sh       only the entries that match the regex
#
# Exit status: 0 when every mutation found was caught, 1 otherwise.
set -uo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
jobs=${JOBS:-2}
if [[ ! -f $build/CMakeCache.txt ]]; then
  echo "mutate.sh: $build is not a configured build folder" >&2
  exit 2
fi

# file | suites | text of the line as it is | the same text mutated
mutations=(
  "src/rx/viterbi_avx2.cpp|rx|((m >> 8) & 0x0000FF00u)|((m >> 8) & 0x00FF0000u)"
  "src/rx/viterbi_avx2.cpp|rx|_mm256_set1_ps(-0.5f), negative|_mm256_set1_ps(0.5f), negative"
  "src/rx/viterbi.cpp|rx|static_cast<std::uint64_t>(o1 > o0)|static_cast<std::uint64_t>(o1 >= o0)"
  # Renormalising rarely lets the 16-bit metrics saturate.
  "src/rx/viterbi.hpp|rx|constexpr std::size_t kRenormalise = 32;|constexpr std::size_t kRenormalise = 4096;"
  "src/rx/viterbi.cpp|rx|if (!std::isfinite(total)) {|if (false) {"
  "src/rx/receiver.cpp|rx|rep_.evmRms = std::sqrt(errTotal /|rep_.evmRms = std::sqrt(1.1 * errTotal /"
  "src/rx/subcarriers.cpp|rx|l <= -15.0 && clean|l <= -14.0 && clean"
  "src/rx/subcarriers.cpp|rx|l <= -15.0 && clean|l <= -16.0 && clean"
  "src/rx/verdict.cpp|rx|{{6, -5}, {9, -8}|{{6, -5}, {9, -7}"
  "src/rx/constellation.hpp|rx|return 1.0 / std::sqrt(10.0);|return 1.0 / std::sqrt(11.0);"
  "src/rx/measure.cpp|rx|toFloats(1.0 / peak);|toFloats(1.0);"
  "src/rx/measure.cpp|rx|constexpr float kLow = 1e-20f, kHigh = 1e20f;|constexpr float kLow = 0.0f, kHigh = 1e20f;"
  "src/rx/viterbi.cpp|rx|if (tk > k * len) truth = q[k];|if (tk > k * len) truth = truth;"
  "src/rx/receiver.cpp|rx|crc32Octets(octets.first(octets.size() - 4))|crc32Octets(octets.first(octets.size() - 3))"
  "src/io/bus_guard.cpp|io|      g.cut.store(true);|      g.cut.store(false);"
  "src/io/sample_stream.cpp|io|!window_->holds(at_, want * per)|!window_->holds(at_, per)"
  "src/mac/payload.cpp|mac|{17, {{17, 3}, false}}|{17, {{17, 5}, false}}"
  "src/mac/bits.cpp|mac|std::uint32_t reg = 0xFFFFFFFFu;|std::uint32_t reg = 0xFFFFFFFEu;"
  "src/mac/bits.cpp|mac|if (taps[j] & 1u) back.push_back(order - j);|if (taps[j] & 1u) back.push_back(order - j - 1);"
  "src/phy/scramble.cpp|phy|((reg >> 3) ^ (reg >> 6)) & 1u|((reg >> 2) ^ (reg >> 6)) & 1u"
  "src/phy/symbol.cpp|phy|kQam64 = 1.0 / std::sqrt(42.0)|kQam64 = 1.0 / std::sqrt(40.0)"
  "src/phy/symbol.cpp|phy|? -1 : 1;|? 1 : -1;"
  "src/phy/shaping.cpp|phy|std::cos((i - 0.5) *|std::cos((i - 0.4) *"
  "src/phy/interleave.cpp|phy|(i + blockSize - (16 * i) / blockSize) % s|(i + blockSize - (15 * i) / blockSize) % s"
  "src/phy/convol_encode.cpp|phy|o[3] = m[at + 5];|o[3] = m[at + 4];"
  "src/phy/convol_encode.cpp|phy|if (at % 6 != 3 && at % 6 != 4)|if (at % 6 != 2 && at % 6 != 4)"
  "src/mac/bits.cpp|mac|kPoly = 0x04C11DB7u;|kPoly = 0x04C11DB3u;"
  # The clock resampler's fractional-delay bank: no interpolation between its
  # rows, a row one tap off, the interleaved sums paired wrongly.
  "src/phy/resample.cpp|impair|const double a = phase - static_cast<double>(p);|const double a = 0;"
  "src/phy/resample.cpp|impair|kernel(static_cast<double>(p) / kPhases + static_cast<double>(half - 1) -|kernel(static_cast<double>(p) / kPhases + static_cast<double>(half) -"
  "src/phy/resample.cpp|impair|out[m] = {sum[0] + sum[2], sum[1] + sum[3]};|out[m] = {sum[0] + sum[1], sum[2] + sum[3]};"
  # The frame job: a sequence's frames appended in their places, what varies
  # from frame to frame, the markers a clock offset moves, the options' order
  # and the parameter set's record.
  "src/phy/frame.cpp|phy model|if (l.total > 0) marker1[base] = 1;|if (l.total > 0) marker1[0] = 1;"
  "src/model/frame_job.cpp|model|const auto seq = ((seqCntrl.value >> 4) + i % 4096) % 4096;|const auto seq = (seqCntrl.value >> 4) % 4096;"
  "src/model/frame_job.cpp|model|const Bits seq = pnSequence(order, before % period + bits);|const Bits seq = pnSequence(order, 0 * (before % period) + bits);"
  "src/model/waveform.cpp|model|w.samples.resize(w.samples.size() + gap);|w.samples.resize(w.samples.size());"
  "src/model/waveform.cpp|model|if (b.begin < n) w.marker1[b.begin] = 1;|if (b.begin < n) w.marker1[bursts[i].begin] = 1;"
  "src/ops/job_options.cpp|ops|if (!o.idleUs)|if (false)"
  "src/ops/frame_record.cpp|ops|{\"Length\", static_cast<double>(f.headerOctets())},|{\"Length\", 30.0},"
)

backup=$(mktemp -d)
current=""
restore() {
  # A plain copy gives the file a new time, so the next build recompiles it.
  if [[ -n $current ]]; then
    cp "$backup/original" "$current"
    current=""
  fi
}
trap 'restore; rm -rf "$backup"' EXIT
trap 'echo "mutate.sh: interrupted; the source is restored" >&2; exit 130' INT TERM

caught=0 missed=0 absent=0 unbuilt=0
declare -A touched
for m in "${mutations[@]}"; do
  if [[ -n ${ONLY:-} ]] && ! grep -qE -- "$ONLY" <<<"$m"; then continue; fi
  IFS='|' read -r file suites from to <<<"$m"
  label="$file: '$from' -> '$to'"
  if ! grep -qF -- "$from" "$file" 2>/dev/null; then
    echo "not found  $label"
    absent=$((absent + 1))
    continue
  fi
  cp "$file" "$backup/original"
  current=$file
  FROM=$from TO=$to perl -pi -e 'if (!$done && s/\Q$ENV{FROM}\E/$ENV{TO}/) { $done = 1 }' "$file"
  verdict=missed
  for s in $suites; do
    touched[$s]=1
    if ! cmake --build "$build" -j"$jobs" --target "test_$s" >"$backup/log" 2>&1; then
      verdict="no build"
      break
    fi
    if ! timeout 600 "$build/bin/test_$s" --gtest_filter='-Slow*' --gtest_brief=1 \
      >"$backup/log" 2>&1; then
      verdict=caught
      break
    fi
  done
  restore
  case $verdict in
    caught) caught=$((caught + 1)) ;;
    missed) missed=$((missed + 1)) ;;
    *) unbuilt=$((unbuilt + 1)) ;;
  esac
  printf '%-10s %s\n' "$verdict" "$label"
done

# The suites built from the restored sources again.
for s in "${!touched[@]}"; do cmake --build "$build" -j"$jobs" --target "test_$s" >/dev/null 2>&1; done
echo "caught $caught of $((caught + missed)) applied; $absent not found, $unbuilt did not build"
[[ $missed -eq 0 ]]
