// make(): a frame job's waveform, the one path from settings to samples.
#include "dot11a/waveform.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "dot11a/bits.hpp"
#include "dot11a/checked_integer.hpp"
#include "dot11a/error.hpp"
#include "dot11a/impair.hpp"
#include "model/large_buffer.hpp"

namespace dot11a {

namespace {

void checkJob(const FrameJob& job) {
  const std::string problem = frameProblem(job.frame);
  if (!problem.empty()) raise("The frame cannot be made: " + problem + ".");
  const SequenceSettings& q = job.sequence;
  if (q.frames < 1 || q.frames > kMaxSequenceFrames)
    raise("The frame count must be from 1 to " + std::to_string(kMaxSequenceFrames) + ", not " +
          std::to_string(q.frames) + ".");
  if (!(q.gap.us >= 0 && q.gap.us <= 10000))
    raise("The gap must be microseconds from 0 to 10000, SIFS (16 us) or DIFS (34 us), not " +
          q.gap.text() + ".");
  if (q.seedStep && q.active() && job.frame.scrambler && job.frame.scramblerInit == 0)
    raise(
        "The scrambler seed steps from 1 to 127: seed 0 leaves every frame unscrambled; choose a "
        "seed or leave out the stepping.");
  impair::validate(job.impairments, job.frame.sampleRate(), job.frame.spacing);
}

std::vector<SequenceEntry> entriesOf(const FrameJob& job) {
  if (job.sequence.file.empty()) return {};
  return readSequenceFile(job.sequence.file, "The sequence file");
}

std::size_t gapSamples(const FrameJob& job) {
  return checkedInteger<std::size_t>(
      std::round(job.sequence.gap.microseconds(job.frame.spacing) * job.frame.sampleRate() * 1e-6),
      "The gap in samples");
}

// Every frame's length and the joined total, checked against the memory
// before anything is synthesised. A frame's length depends only on its entry
// of the list: the sequence number, the seed and the PN bits that vary leave
// it as it is.
std::size_t joinedLength(const FrameJob& job, const std::vector<SequenceEntry>& entries) {
  const std::size_t n = job.sequence.frames;
  const std::size_t list = std::min(n, entries.empty() ? std::size_t{1} : entries.size());
  std::vector<std::size_t> perEntry;
  for (std::size_t i = 0; i < list; ++i)
    perEntry.push_back(frameLayout(sequenceFrame(job, entries, i).shape()).total);
  std::vector<std::size_t> lengths(n);
  for (std::size_t i = 0; i < n; ++i) lengths[i] = perEntry[i % list];
  return impair::sequenceLength(lengths, gapSamples(job), job.memorySamples);
}

// The length after a clock offset's stretch (and the resampler's rounding by
// a sample), refused when it is over the memory.
std::size_t stretchedLength(const FrameJob& job, std::size_t joined) {
  if (!job.impairments.clockPpm) return joined;
  const double stretched =
      std::ceil(static_cast<double>(joined) * (1.0 + *job.impairments.clockPpm * 1e-6)) + 1;
  if (stretched > static_cast<double>(job.memorySamples)) {
    char text[64];
    std::snprintf(text, sizeof text, "%.0f", stretched);
    raise("The waveform of " + std::string(text) +
          " samples, after the sampling clock offset, does not fit the instrument's memory of " +
          std::to_string(job.memorySamples) +
          " samples: fewer frames, a shorter gap or a lower oversampling.");
  }
  return static_cast<std::size_t>(stretched);
}

WaveformFrame frameOf(const FrameParameters& f, const Bits& bits, std::size_t start) {
  WaveformFrame w;
  w.start = start;
  w.layout = frameLayout(f.shape());
  w.burstEnd = start + w.layout.burstEnd;
  w.psdu = bitsToOctets(bits);
  w.rateMbps = f.dataRate();
  w.rateText = f.rateText();
  return w;
}

}  // namespace

void checkResultSize(std::size_t samples, std::string_view what) {
  if (samples <= kMaxResultSamples) return;
  char text[320];
  std::snprintf(text, sizeof text,
                "%.*s of %zu samples would take %.1f GiB with its markers and the copies a call "
                "returns; at most %zu samples (4 GiB) can be made: a shorter idle interval, fewer "
                "or shorter frames, or a lower oversampling.",
                static_cast<int>(what.size()), what.data(), samples,
                static_cast<double>(samples) * kResultBytesPerSample / (1 << 30),
                kMaxResultSamples);
  raise(text);
}

std::size_t projectedLength(const FrameJob& job) {
  if (!job.receiverTest()) return frameLayout(job.frame.shape()).total;
  checkJob(job);
  const std::size_t n = stretchedLength(job, joinedLength(job, entriesOf(job)));
  checkResultSize(n, "The sequence");
  return n;
}

Waveform make(const FrameJob& job) {
  checkJob(job);
  Waveform w;
  w.sampleRate = job.frame.sampleRate();
  w.framed = job.frame.framed;
  w.fcs = job.frame.fcs;
  w.dacPrecompensated = job.frame.synthesis().data.sincComp;
  w.oversampling = job.frame.oversampling;
  w.spacing = job.frame.spacing;
  w.windowLength = job.frame.windowLength;
  w.signal = describeSignal(job);
  w.scrambler = describeScrambler(job);
  if (!job.receiverTest()) {
    // The one frame: the synthesis' own buffers become the waveform's.
    const Bits bits = job.frame.psdu();
    Frame f = synthesizeFrame(job.frame.synthesis(), bits);
    w.frames.push_back(frameOf(job.frame, bits, 0));
    w.frames.back().burstEnd = std::min(w.frames.back().burstEnd, f.waveform.size());
    w.samples = std::move(f.waveform);
    w.marker1 = std::move(f.marker1);
    w.marker2 = std::move(f.marker2);
    return w;
  }
  const std::vector<SequenceEntry> entries = entriesOf(job);
  const std::size_t total = joinedLength(job, entries);
  checkResultSize(stretchedLength(job, total), "The sequence");
  const std::size_t gap = gapSamples(job);
  // Every frame is synthesised in its place in the one buffer, each sample
  // written once; frame i + 1 starts `gap` samples after frame i's idle
  // interval.
  w.samples = reservedBuffer<cplx>(total);
  w.marker1 = reservedBuffer<std::uint8_t>(total);
  w.marker2 = reservedBuffer<std::uint8_t>(total);
  w.frames.reserve(job.sequence.frames);
  for (std::size_t i = 0; i < job.sequence.frames; ++i) {
    if (i > 0) {
      w.samples.resize(w.samples.size() + gap);
      w.marker1.resize(w.marker1.size() + gap);
      w.marker2.resize(w.marker2.size() + gap);
    }
    const std::size_t at = w.samples.size();
    const FrameParameters f = sequenceFrame(job, entries, i);
    const Bits bits = f.psdu();
    appendFrame(f.synthesis(), bits, w.samples, w.marker1, w.marker2);
    w.frames.push_back(frameOf(f, bits, at));
    w.frames.back().burstEnd = std::min(w.frames.back().burstEnd, w.samples.size());
  }
  if (!job.impairments.any()) return w;
  std::vector<impair::Burst> bursts;
  bursts.reserve(w.frames.size());
  for (const WaveformFrame& f : w.frames) bursts.push_back({f.start, f.burstEnd});
  w.samples = impair::apply(w.samples, w.sampleRate, bursts, job.impairments, job.frame.spacing);
  // The markers follow the frames where a clock offset moved them.
  const std::size_t n = w.samples.size();
  w.marker1.assign(n, 0);
  w.marker2.assign(n, 0);
  for (std::size_t i = 0; i < bursts.size(); ++i) {
    const impair::Burst b = impair::stretched(bursts[i], job.impairments, n);
    w.frames[i].start = std::min(b.begin, n);
    w.frames[i].burstEnd = std::min(b.end, n);
    if (b.begin < n) w.marker1[b.begin] = 1;
    std::fill(w.marker2.begin() + static_cast<long>(w.frames[i].start),
              w.marker2.begin() + static_cast<long>(w.frames[i].burstEnd), 1);
  }
  w.stretched = job.impairments.clockPpm.has_value();
  return w;
}

}  // namespace dot11a
