// One frame of the packet-error-rate bench: made, impaired, decoded, judged.
#include <algorithm>
#include <cmath>
#include <random>

#include "dot11a/impair.hpp"
#include "dot11a/per.hpp"
#include "dot11a/rate_table.hpp"
#include "dot11a/receiver.hpp"
#include "dot11a/waveform.hpp"
#include "per/internal.hpp"

namespace dot11a::per {

namespace {

// SplitMix64's finaliser: every input bit moves every output bit, so seeds
// that differ by one give unrelated streams.
std::uint64_t mix(std::uint64_t z) {
  z += 0x9e3779b97f4a7c15ull;
  z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ull;
  z = (z ^ (z >> 27)) * 0x94d049bb133111ebull;
  return z ^ (z >> 31);
}

// Silence in front of every frame, so that the search starts in noise: 16 us
// in a 20 MHz channel, the same samples at a narrower one.
constexpr double kLeadSeconds = 16e-6;

// The samples behind `lead` samples of silence.
Samples behind(std::size_t lead, const Samples& x) {
  Samples out(lead + x.size());
  std::copy(x.begin(), x.end(), out.begin() + static_cast<std::ptrdiff_t>(lead));
  return out;
}

}  // namespace

std::uint64_t frameSeed(std::uint64_t sweepSeed, double rateMbps, std::uint64_t index) {
  // Twice the rate is whole for every rate of the table.
  const auto rate = static_cast<std::uint64_t>(std::llround(2 * rateMbps));
  return mix(mix(mix(sweepSeed) ^ rate) ^ index);
}

const RateEntry* tableRate(double rateMbps, ChannelSpacing spacing) {
  return rateByMbps(rateMbps / clockFactor(spacing));
}

FrameJob jobAtRate(const FrameJob& base, double rateMbps) {
  FrameJob job = base;
  const RateEntry* r = tableRate(rateMbps, base.frame.spacing);
  job.frame.modulation = r->modulation;
  job.frame.coding = r->coding;
  return job;
}

Outcome runFrame(const Sweep& sweep, const Point& point, std::uint64_t index) {
  // Seeded by the table's rate: a frame of a narrower channel is the 20 MHz
  // frame of the same index, sample for sample, at the slower clock.
  const std::uint64_t seed = frameSeed(
      sweep.job.impairments.seed, tableRate(point.rateMbps, sweep.job.frame.spacing)->mbps, index);
  FrameJob job = jobAtRate(sweep.job, point.rateMbps);
  std::mt19937_64 draw(seed);
  FrameParameters& f = job.frame;
  f.source = PayloadSource::UserFile;
  f.sourceBits.resize(8 * static_cast<std::size_t>(std::max(f.dataLength, 0)));
  for (std::size_t i = 0; i < f.sourceBits.size(); i += 64) {
    const std::uint64_t word = draw();
    for (std::size_t b = 0; b < 64 && i + b < f.sourceBits.size(); ++b)
      f.sourceBits[i + b] = static_cast<std::uint8_t>((word >> b) & 1u);
  }
  f.scramblerInit = 1 + static_cast<unsigned>(draw() % kMaxScramblerInit);
  // Everything up to the noise through make(); the noise and the interferer,
  // which the impairments add last, over the buffer with the lead-in.
  impair::Settings noise;
  noise.snrDb = point.snrDb;
  noise.interferer = job.impairments.interferer;
  noise.seed = seed;
  job.impairments.seed = seed;
  job.impairments.snrDb.reset();
  job.impairments.interferer.reset();
  const Waveform w = make(job);
  const WaveformFrame& sent = w.frames.front();
  const auto lead =
      static_cast<std::size_t>(std::lround(kLeadSeconds * w.sampleRate / clockFactor(w.spacing)));
  const Samples clean = behind(lead, w.samples);
  const impair::Burst burst{lead + sent.start, lead + sent.burstEnd};
  Samples received;
  if (!job.impairments.channel) {
    received = impair::apply(clean, w.sampleRate, {&burst, 1}, noise, w.spacing);
  } else {
    // The noise is set against the frame as it would arrive without its
    // channel's fade (the channel's power is 1 on average), so that a faded
    // frame has the SNR its fading gives it, as in a sequence of frames:
    // the same draws added to the frame without the channel, then taken
    // over onto the faded one.
    FrameJob flat = job;
    flat.impairments.channel.reset();
    const Waveform u = make(flat);
    const Samples unfaded = behind(lead, u.samples);
    const impair::Burst b{lead + u.frames.front().start, lead + u.frames.front().burstEnd};
    const Samples noisy = impair::apply(unfaded, u.sampleRate, {&b, 1}, noise, u.spacing);
    received = clean;
    for (std::size_t i = 0; i < received.size() && i < noisy.size(); ++i)
      received[i] += noisy[i] - unfaded[i];
  }

  rx::Options o = rx::optionsFor({w.sampleRate, w.dacPrecompensated, w.fcs,
                                  static_cast<double>(f.windowLength), f.oversampling, w.spacing});
  o.measureMask = false;
  const std::size_t start = lead + sent.start;
  if (sweep.ideal) {
    const rx::FrameReport r =
        rx::decodeIdeal(received, {clean, start, job.impairments.cfoHz.value_or(0.0)}, o);
    return r.psdu == sent.psdu ? Outcome::Received : Outcome::Error;
  }
  // A frame found within a cyclic prefix of its start is this frame.
  const auto near = static_cast<std::size_t>(16 * f.oversampling);
  o.maxFrames = 4;
  const rx::Result r = rx::receive(received, o);
  bool found = false;
  for (const rx::FrameReport& got : r.frames) {
    if (got.psdu == sent.psdu) return Outcome::Received;
    found |= got.start + near >= start && got.start <= start + near;
  }
  return found ? Outcome::Error : Outcome::Missed;
}

}  // namespace dot11a::per
