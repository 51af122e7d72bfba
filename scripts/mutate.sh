#!/usr/bin/env bash
# Mutation check of the phy, mac, rx, impair, model, io, ops, per and instrument test suites
# (slow; not part of CI).
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
  "src/rx/fields.cpp|rx|crc32Octets(octets.first(octets.size() - 4))|crc32Octets(octets.first(octets.size() - 3))"
  # The search: the long training weighed a period later too.
  "src/rx/detect.cpp|rx|if (longPair(a, b) && a + b > best) bestAt += P;|if (longPair(a, b) && a + b > 1e9) bestAt += P;"
  # The search on the frame's band, down to noise as strong as the frame.
  "src/rx/detect.cpp|rx|constexpr double kShortThreshold = 0.13;|constexpr double kShortThreshold = 0.5;"
  "src/rx/detect.cpp|rx|const double fc = 9e6 / (kBaseSampleRate * os);|const double fc = 0.5;"
  "src/rx/detect.cpp|rx|    inBand = band.data();|    inBand = seg.data();"
  # A DC only where the sum stands out of a random walk; spikes; SIGNAL against the samples.
  "src/rx/capture_dc.cpp|rx|constexpr double kDcSignificance = 30.0;|constexpr double kDcSignificance = 0.0;"
  "src/rx/internal.hpp|rx|return around > 0.0 && p > 1e6 * around;|return around > 0.0 && p > 1e300 * around;"
  "src/rx/receiver.cpp|rx|const bool shortTraining = shortBins > 0.6 * all|const bool shortTraining = shortBins > 1.1 * all"
  "src/rx/receiver.cpp|rx|const bool silent = !(all > 52.0 * mean_ / 30.0);|const bool silent = false;"
  "src/rx/stream.cpp|rx|findSpikes(dcDone + n, spikeLevel());|(void)n;"
  # The clock offset: a line with an intercept, its error the scatter about it.
  "src/rx/receiver.cpp|rx|static constexpr double kInterceptPrior = 1.0;|static constexpr double kInterceptPrior = 1e12;"
  "src/rx/receiver.cpp|rx|return std::sqrt(var * n / det);|return std::sqrt(var / det);"
  # Phase and timing from the decided data sub-carriers as well as the pilots.
  "src/rx/symbol_pass.cpp|rx|    dd += w * k[j] * k[j] * (dr * dr + di * di);|    dd += 2.0 * w * k[j] * k[j] * (dr * dr + di * di);"
  "src/rx/symbol_pass.cpp|rx|    const double dr = data[j] != 0.0 ? pr : pilot[j], di = data[j] != 0.0 ? pi : 0.0;|    const double dr = data[j] != 0.0 ? 0.0 : pilot[j], di = data[j] != 0.0 ? 0.0 : 0.0;"
  # The channel estimates: smoothed, data-aided, the measurements' apart.
  "src/rx/channel_estimate.cpp|rx|  if (!(left <= 1.5 * expected)) return false;|  if (!(left <= 1.5e30 * expected)) return false;"
  "src/rx/receiver.cpp|rx|        num[i] += y[i] * std::conj(points[j]);|        num[i] += y[i] * points[j];"
  "src/rx/symbol_pass.cpp|rx|      e = on[j] * pointError(cplx(mr, mi), cplx(qr, qi));|      e = on[j] * pointError(cplx(zr, zi), cplx(pr, pi));"
  # Every vector copy gives the plain copy's bits: a multiply-add let into one fails.
  "src/core/vector_dispatch.hpp|impair|  __attribute__((target(\"avx512f\"))) ret name##Avx512 params {|  __attribute__((target(\"avx512f,fma\"), optimize(\"fp-contract=fast\"))) ret name##Avx512 params {"
  # The ideal receiver's soft values and decoder.
  "src/rx/ideal.cpp|rx|  if (b == 1) return a < (bitsPerAxis == 2 ? 2 : 4);|  if (b == 1) return a < (bitsPerAxis == 2 ? 2 : 6);"
  "src/rx/viterbi.cpp|rx|        const double gain = 0.5 * (g.a[j] * sa + g.b[j] * sb);|        const double gain = 0.5 * (g.a[j] * sa - g.b[j] * sb);"
  "src/rx/verdict.cpp|rx|return ppm >= 1.0 && ppm > 3.0 * clockOffsetSigmaPpm;|return ppm >= 1.0 && ppm > clockOffsetSigmaPpm;"
  "src/io/bus_guard.cpp|io|      g.cut.store(true);|      g.cut.store(false);"
  "src/io/sample_stream.cpp|io|!window_->holds(at_, want * per)|!window_->holds(at_, per)"
  # Typed units: a prefix read as another one.
  "src/model/units.cpp|model|if (s == \"m\") return 6;|if (s == \"m\") return 3;"
  "src/model/units.cpp|model|if (suffix == \"m\") return -3;|if (suffix == \"m\") return -6;"
  # A download's progress counting what was written instead of what the
  # instrument took.
  "gateway/links.cpp|instrument|const std::size_t now = sent > queued ? sent - queued : 0;|const std::size_t now = sent;"
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
  # The PER bench: frames alike, a point's count ended a frame late or early,
  # chunks past the point's end, the threshold from points without frames.
  "src/per/frame.cpp|per|return mix(mix(mix(sweepSeed) ^ rate) ^ index);|return mix(mix(mix(sweepSeed) ^ rate) ^ (index * 0));"
  "src/per/sweep.cpp|per|r_.frames = c.errorsAt[needed - 1] + 1;|r_.frames = c.errorsAt[needed - 1];"
  "src/per/sweep.cpp|per|r_.complete = r_.frames == frames_;|r_.complete = r_.frames >= 1;"
  "src/per/sweep.cpp|per|count = std::min<std::uint64_t>(chunk, s_.frames - st.issued);|count = chunk;"
  "src/per/report.cpp|per|if (r.frames > 0) p.push_back(&r);|p.push_back(&r);"
  "src/per/report.cpp|per|10 * std::log10(impair::occupiedBandwidthHz(spacing)) +|10 * std::log10(impair::kOccupiedBandwidthHz) +"
  "src/per/report.cpp|per|const std::optional<double> limit = sensitivitySnrDb(rate, s.job.frame.spacing);|const std::optional<double> limit = sensitivitySnrDb(rate + 1, s.job.frame.spacing);"
  "src/model/receiver_test.cpp|per|return row->sensitivityDbm - narrowSensitivityDb(spacing);|return static_cast<void>(spacing), row->sensitivityDbm;"
  "src/per/report.cpp|per|return lo.snrDb + (y0 - target) / (y0 - y1)|return lo.snrDb + (y1 - target) / (y0 - y1)"
  # Receiver-test presets: the frames that fit, and countable frames.
  "src/model/receiver_test.cpp|model|const double n = std::floor((memory + gap) / (frame + gap));|const double n = std::floor((memory + gap) / frame);"
  "src/model/receiver_test.cpp|model|memory = std::floor((memory - 2) / (1.0 + std::max(*job.impairments.clockPpm, 0.0) * 1e-6));|memory = memory - 2;"
  "src/model/receiver_test.cpp|model|f.fcs = true;|f.fcs = false;"
  "src/model/receiver_test.cpp|model|job.sequence.seedStep = f.scrambler && f.scramblerInit != 0;|job.sequence.seedStep = f.scrambler;"
  # Silent acceptances.
  "src/model/frame_job.cpp|ops|if (!keys.back().insert(key).second) twice = key;|keys.back().insert(key);"
  "src/model/frame_job.cpp|ops|if (key != \"frames\") raise(|if (false) raise("
  "src/ops/record_compare.cpp|ops|const int day = whole(2, 1, m == 2 && !leap ? 28 : kDays[m - 1]);|const int day = whole(2, 1, m == 2 && !leap ? 29 : kDays[m - 1]);"
  "src/ops/adapters/phy_frame.cpp|ops|integerOf<long long>(adapt::realScalar(idle, \"idleSamples\"), 0, kMaxIdle)|integerOf<long long>(idle.toScalar(), 0, kMaxIdle)"
  "src/model/siggen_settings.cpp|instrument|l.frequencyMin, l.frequencyMax, 1, 1e12|l.frequencyMin, l.frequencyMax, 1e-308, 1e12"
  # Channel spacing: the SIGNAL field keeps the table's rate bits, the clock
  # and the named gaps scale, every front end and file keeps the spacing.
  "src/model/frame_job.cpp|model|s.dataRate = e ? e->mbps : 0;|s.dataRate = e ? e->mbps * clockFactor(spacing) : 0;"
  "src/model/frame_job.cpp|model|return baseSampleRateOf(spacing) * oversampling;|return kBaseSampleRate * oversampling;"
  "src/model/frame_job.cpp|model|if (name == \"DIFS\") return ifs.difsUs();|if (name == \"DIFS\") return 34;"
  "src/ops/job_options.cpp|ops|samplesPerMicrosecondOf(f.spacing) * f.oversampling|kSamplesPerMicrosecond * f.oversampling"
  "src/ops/job_options.cpp|ops|job.generator.samplingRate = job.frame.sampleRate();|"
  "src/ops/frame_record.cpp|ops|f.spacing = spacingOf(p);|spacingOf(p);"
  "src/io/capture.cpp|ops|m.spacing = s;|"
  "src/impair/impairments.cpp|impair|fs / occupiedBandwidthHz(spacing)|fs / kOccupiedBandwidthHz"
  "src/impair/interferer.cpp|impair|const double halfWidth = base / 2;|const double halfWidth = 10e6;"
  "src/model/receiver_test.cpp|ops|s == ChannelSpacing::MHz10 ? 3|s == ChannelSpacing::MHz10 ? 2"
  "src/model/receiver_test.cpp|ops|(adjacent ? 1 : 2) * baseSampleRateOf(f.spacing)|(adjacent ? 1 : 2) * 20e6"
  "src/ops/adapters/io_file_operations.cpp|ops|if (window && spacing != ChannelSpacing::MHz20) {|if (window && spacing == ChannelSpacing::MHz5) {"
  "src/rx/receiver.cpp|rx|  r.cfoHz *= f;|  r.cfoHz *= 1;"
  "src/rx/receiver.cpp|rx|  r.maskWorstFrequencyHz *= f;|  r.maskWorstFrequencyHz *= 1;"
  "src/rx/receiver.cpp|rx|const bool refused = wide.frames.empty() && wide.problem != kNoFrame;|const bool refused = true;"
  "src/rx/receiver.cpp|rx|if (opt.sampleRate < baseSampleRateOf(s)) continue;|if (opt.sampleRate <= baseSampleRateOf(s)) continue;"
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
