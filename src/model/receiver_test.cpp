// Receiver-test presets (see receiver_test.hpp).
#include "dot11a/receiver_test.hpp"

#include <algorithm>
#include <cmath>

#include "dot11a/error.hpp"
#include "dot11a/frame_layout.hpp"
#include "dot11a/parameter_bounds.hpp"

namespace dot11a {

namespace {

// Receiver performance requirements of the standard (PSDU of 1000 octets, PER
// below 10 %): minimum sensitivity, adjacent and alternate adjacent channel
// rejection.
struct RequirementRow {
  double mbps, sensitivityDbm, acrDb, altAcrDb;
};
constexpr std::array<RequirementRow, 8> kRequirements = {{{6, -82, 16, 32},
                                                          {9, -81, 15, 31},
                                                          {12, -79, 13, 29},
                                                          {18, -77, 11, 27},
                                                          {24, -74, 8, 24},
                                                          {36, -70, 4, 20},
                                                          {48, -66, 0, 16},
                                                          {54, -65, -1, 15}}};
// The rows are those of 20 MHz channels; at 10 and 5 MHz the rates are a
// half and a quarter, the minimum sensitivity 3 and 6 dB lower (the noise
// band narrows with the channel), the rejections the same, and the
// interfering channels one and two channel spacings away.
constexpr double narrowSensitivityDb(ChannelSpacing s) {
  return s == ChannelSpacing::MHz10 ? 3 : s == ChannelSpacing::MHz5 ? 6 : 0;
}

// The interferer's channel must fit in the sample rate: the lowest
// oversampling that holds it, unless the user chose one (then the
// impairments' check says what is missing).
void holdInterferer(FrameJob& job, const ReceiverTest& t, const ReceiverTestRequest& r) {
  // The interferer's channel reaches half a channel spacing beyond its offset.
  const double spacingHz = baseSampleRateOf(job.frame.spacing);
  const double need = 2.0 * (t.interferer->offsetHz + spacingHz / 2) / spacingHz;
  const double most = parameterBound("OverSampling").hi;
  if (need > most)
    raise(r.testOption + " " + t.name + " needs a sample rate of at least " +
          std::to_string(static_cast<int>(need * spacingHz / 1e6)) +
          " MHz to hold the interferer " +
          std::to_string(static_cast<int>(t.interferer->offsetHz / 1e6)) +
          " MHz away; the highest oversampling (" + std::to_string(static_cast<int>(most)) +
          ") gives " + std::to_string(static_cast<int>(most * spacingHz / 1e6)) +
          " MHz: make the interferer with a second generator.");
  FrameParameters& f = job.frame;
  if (r.oversamplingGiven) return;
  const int old = f.oversampling;
  const int os = std::max(old, static_cast<int>(std::ceil(need)));
  f.oversampling = os;
  f.idleSamples = std::llround(static_cast<double>(f.idleSamples) * os / old);
}

// The most frames of the job's frame that its memory holds, a clock
// offset's stretch (and the resampler's extra sample) included.
std::size_t framesThatFit(const FrameJob& job) {
  const double frame = static_cast<double>(frameLayout(job.frame.shape()).total);
  const double gap =
      std::round(job.sequence.gap.microseconds(job.frame.spacing) * job.frame.sampleRate() * 1e-6);
  double memory = static_cast<double>(job.memorySamples);
  if (job.impairments.clockPpm)
    memory = std::floor((memory - 2) / (1.0 + std::max(*job.impairments.clockPpm, 0.0) * 1e-6));
  const double n = std::floor((memory + gap) / (frame + gap));
  return n < 1 ? 0 : static_cast<std::size_t>(std::min(n, double(kReceiverTestFrames)));
}

}  // namespace

std::optional<double> minimumSensitivityDbm(double rateMbps, ChannelSpacing spacing) {
  const auto row = std::find_if(kRequirements.begin(), kRequirements.end(),
                                [&](const RequirementRow& x) { return x.mbps == rateMbps; });
  if (row == kRequirements.end()) return std::nullopt;
  return row->sensitivityDbm - narrowSensitivityDb(spacing);
}

ReceiverTest applyReceiverTest(FrameJob& job, const ReceiverTestRequest& r) {
  if (std::find(kReceiverTestNames.begin(), kReceiverTestNames.end(), r.name) ==
      kReceiverTestNames.end())
    raise(r.testOption + " must be sensitivity, acr or alt-acr, not \"" + r.name + "\".");
  if (!job.sequence.file.empty())
    raise(r.testOption + " " + r.name +
          " makes frames of 1000 octets at one rate: leave out the sequence file.");
  FrameParameters& f = job.frame;
  const double mbps = f.dataRate();
  const double factor = clockFactor(f.spacing);
  const auto row = std::find_if(kRequirements.begin(), kRequirements.end(),
                                [&](const RequirementRow& x) { return x.mbps * factor == mbps; });
  if (row == kRequirements.end())
    raise(r.testOption + " needs one of the standard data rates (" + r.rateOption + ").");
  ReceiverTest t;
  t.name = r.name;
  t.rateMbps = mbps;
  t.wantedDbm = row->sensitivityDbm - narrowSensitivityDb(f.spacing);

  // Countable frames: a device under test tells them apart by the sequence
  // number and checks each by its FCS; the payload and the seed differ.
  f.macHeaderActive = true;
  f.fcs = true;
  if (f.source != PayloadSource::Pn15) f.source = PayloadSource::Pn9;
  f.dataLength = kReceiverTestPsduOctets - (f.totalLength() - f.dataLength);
  job.sequence.seedStep = f.scrambler && f.scramblerInit != 0;
  if (!r.gapGiven) job.sequence.gap = Gap::parse("SIFS");

  if (r.name != "sensitivity") {
    const bool adjacent = r.name == "acr";
    t.wantedDbm += 3;
    t.interferer = impair::Interferer{(adjacent ? 1 : 2) * baseSampleRateOf(f.spacing),
                                      adjacent ? row->acrDb : row->altAcrDb};
    if (job.impairments.interferer)
      raise(r.testOption + " " + t.name + " sets the interferer: leave out " + r.interfererOption +
            ".");
    job.impairments.interferer = t.interferer;
    holdInterferer(job, t, r);
  }

  if (r.frames) {
    t.frames = *r.frames;
    t.framesText = std::to_string(t.frames) + " frames, as asked";
  } else {
    t.frames = framesThatFit(job);
    if (t.frames == 0)
      raise(r.testOption + " " + t.name + ": one frame does not fit the instrument's memory of " +
            std::to_string(job.memorySamples) + " samples.");
    t.framesText = std::to_string(t.frames) + " frames";
    if (t.frames < kReceiverTestFrames)
      t.framesText += ", the most the instrument's memory of " + std::to_string(job.memorySamples) +
                      " samples holds (" + std::to_string(kReceiverTestFrames) +
                      " would count about 100 errors at a PER of 10 %; play it repeatedly)";
  }
  job.sequence.frames = t.frames;
  return t;
}

}  // namespace dot11a
