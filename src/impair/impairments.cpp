// The impairment chain: settings checks, the memoryless stages (amplifier, IQ
// imbalance, DC), phase noise, carrier and clock offsets, white noise, and the
// order they run in.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numbers>
#include <random>

#include "dot11a/error.hpp"
#include "dot11a/impair.hpp"
#include "dot11a/resample.hpp"
#include "impair/internal.hpp"

namespace dot11a::impair {

namespace {

std::string num(double v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%g", v);
  return buf;
}

void inRange(double v, double lo, double hi, const std::string& what) {
  if (!std::isfinite(v) || v < lo || v > hi)
    raise(what + " must be from " + num(lo) + " to " + num(hi) + ", not " + num(v) + ".");
}

double dbToPower(double db) {
  return std::pow(10.0, db / 10.0);
}

// Rapp's AM/AM (or a hard clip) at a saturation level `backoffDb` above the
// RMS level; the phase is kept.
void amplify(std::span<cplx> x, const Amplifier& a, double power) {
  const double sat = std::sqrt(power * dbToPower(a.backoffDb));
  if (!(sat > 0)) return;
  if (a.model == Amplifier::Model::Clip) {
    for (cplx& v : x) {
      const double m = std::abs(v);
      if (m > sat) v *= sat / m;
    }
    return;
  }
  const double twoP = 2.0 * a.smoothness;
  const double invSat2 = 1.0 / (sat * sat);
  for (cplx& v : x) {
    // |v| / (1 + (|v| / sat)^2p)^(1/2p), from the squared magnitude.
    const double r2 = std::norm(v) * invSat2;
    v /= std::pow(1.0 + std::pow(r2, a.smoothness), 1.0 / twoP);
  }
}

// The quadrature branch with gain g and a quadrature error phi:
// I + j g (Q cos phi + I sin phi), as mu x + nu conj(x).
void iqImbalance(std::span<cplx> x, const IqImbalance& q) {
  const double g = std::pow(10.0, q.gainDb / 20.0);
  const double phi = q.phaseDeg * std::numbers::pi / 180.0;
  const cplx ge = std::polar(g, phi);
  const cplx mu = (1.0 + ge) * 0.5;
  const cplx nu = (1.0 - std::conj(ge)) * 0.5;
  for (cplx& v : x) v = mul(mu, v) + mul(nu, std::conj(v));
}

// Carrier leakage at `dbc` below the burst power, present while the bursts are.
void addDc(std::span<cplx> x, std::span<const Burst> bursts, double dbc, double power) {
  const double d = std::sqrt(power * dbToPower(dbc));
  for (const Burst& b : bursts)
    for (std::size_t i = b.begin; i < b.end; ++i) x[i] += d;
}

// Phase noise as a first-order low-pass filtered white noise (a Lorentzian
// spectrum: flat to the corner, then falling 20 dB per decade) scaled to the
// stated RMS; the process starts in its stationary state.
void addPhaseNoise(std::span<cplx> x, const PhaseNoise& p, double fs, std::mt19937_64& rng) {
  const double sigma = p.rmsDeg * std::numbers::pi / 180.0;
  const double a = std::exp(-2.0 * std::numbers::pi * p.cornerHz / fs);
  const double b = sigma * std::sqrt(1.0 - a * a);
  std::vector<double> w(x.size());
  fillGaussian(w, 1.0, rng);
  std::normal_distribution<double> start(0.0, sigma);
  double phi = start(rng);
  for (std::size_t i = 0; i < x.size(); ++i) {
    phi = a * phi + b * w[i];
    x[i] = mul(x[i], cplx(std::cos(phi), std::sin(phi)));
  }
}

void addNoise(std::span<cplx> x, double sigmaPerAxis, std::mt19937_64& rng) {
  // A complex array is its real and imaginary parts in turn.
  addGaussian(std::span<double>(reinterpret_cast<double*>(x.data()), 2 * x.size()), sigmaPerAxis,
              rng);
}

// The stream of one stage: the seed and the stage number, mixed.
std::mt19937_64 stream(std::uint64_t seed, unsigned stage) {
  std::seed_seq seq{static_cast<std::uint32_t>(seed), static_cast<std::uint32_t>(seed >> 32),
                    stage};
  return std::mt19937_64(seq);
}

enum Stage : unsigned { kPhaseNoise = 1, kChannel, kNoise, kInterferer };

}  // namespace

namespace {

// x[i] *= base * table[i], a block of the rotation: no sample depends on the
// one before, so the loop runs as vector code.
DOT11A_KERNEL void rotateBlockKernel(cplx* __restrict x, const cplx* __restrict table,
                                     std::size_t n, cplx base) {
  for (std::size_t i = 0; i < n; ++i) x[i] = mul(x[i], mul(base, table[i]));
}
DOT11A_VECTOR_VARIANTS(void, rotateBlock,
                       (cplx* __restrict x, const cplx* __restrict table, std::size_t n, cplx base),
                       (x, table, n, base))

}  // namespace

void rotate(std::span<cplx> x, double hz, double fs, double phase0) {
  // The phasors of one block of 1024 samples, exact, once; each block starts
  // from the exact angle of its first sample, so rounding does not build up.
  constexpr std::size_t kBlock = 1024;
  const double w = 2.0 * std::numbers::pi * hz / fs;
  std::vector<cplx> table(std::min(kBlock, x.size()));
  for (std::size_t i = 0; i < table.size(); ++i)
    table[i] = std::polar(1.0, w * static_cast<double>(i));
  for (std::size_t start = 0; start < x.size(); start += kBlock)
    rotateBlock(x.data() + start, table.data(), std::min(x.size() - start, kBlock),
                std::polar(1.0, phase0 + w * static_cast<double>(start)));
}

bool Settings::any() const {
  return amplifier || iq || dcDbc || phaseNoise || channel || cfoHz || clockPpm || snrDb ||
         interferer;
}

void validate(const Settings& s, double fs) {
  // Up to 10 GHz, the receiver's bound too: the multipath delay line and the
  // interferer's frame are sized from the rate.
  if (!(fs > 0) || !(fs <= 1e10))
    raise("The impairments need a positive sample rate of at most 10 GHz, not " + num(fs) + " Hz.");
  if (s.amplifier) {
    if (s.amplifier->model == Amplifier::Model::Rapp)
      inRange(s.amplifier->smoothness, 0.1, 100, "The amplifier's smoothness P");
    inRange(s.amplifier->backoffDb, 0, 30, "The amplifier's back-off in dB");
  }
  if (s.iq) {
    inRange(s.iq->gainDb, -6, 6, "The IQ gain imbalance in dB");
    inRange(s.iq->phaseDeg, -45, 45, "The IQ phase imbalance in degrees");
  }
  if (s.dcDbc) inRange(*s.dcDbc, -80, 0, "The DC level in dBc");
  if (s.phaseNoise) {
    inRange(s.phaseNoise->rmsDeg, 0, 30, "The phase noise in degrees RMS");
    inRange(s.phaseNoise->cornerHz, 1, fs / 4, "The phase noise corner in Hz");
  }
  if (s.channel) {
    inRange(s.channel->rmsDelayNs, 1, 1000, "The channel's RMS delay spread in ns");
    if (s.channel->ricianKDb) inRange(*s.channel->ricianKDb, -30, 40, "The Rician K factor in dB");
  }
  if (s.cfoHz)
    inRange(*s.cfoHz, -std::min(1e6, fs / 8), std::min(1e6, fs / 8),
            "The carrier frequency offset in Hz");
  if (s.clockPpm) inRange(*s.clockPpm, -1000, 1000, "The sampling clock offset in ppm");
  if (s.snrDb) inRange(*s.snrDb, -20, 100, "The SNR in dB");
  if (s.interferer) {
    inRange(s.interferer->levelDb, -60, 60, "The interferer level in dB");
    checkInterfererFits(s.interferer->offsetHz, fs);
  }
}

double burstPower(std::span<const cplx> x, std::span<const Burst> bursts) {
  double sum = 0.0;
  std::size_t n = 0;
  for (const Burst& b : bursts) {
    for (std::size_t i = b.begin; i < b.end && i < x.size(); ++i) sum += std::norm(x[i]);
    n += std::min(b.end, x.size()) - std::min(b.begin, std::min(b.end, x.size()));
  }
  return n > 0 ? sum / static_cast<double>(n) : 0.0;
}

Samples apply(std::span<const cplx> in, double fs, std::span<const Burst> burstsIn,
              const Settings& s) {
  validate(s, fs);
  std::vector<Burst> bursts(burstsIn.begin(), burstsIn.end());
  if (bursts.empty()) bursts.push_back({0, in.size()});
  for (std::size_t i = 0; i < bursts.size(); ++i) {
    if (bursts[i].begin > bursts[i].end || bursts[i].end > in.size())
      raise("The impairments were given a burst beyond the waveform.");
    // The channel of each burst runs to the next burst's start.
    if (i > 0 && bursts[i].begin < bursts[i - 1].end)
      raise("The impairments were given bursts out of order or overlapping.");
  }
  Samples x(in.begin(), in.end());
  if (s.amplifier) amplify(x, *s.amplifier, burstPower(x, bursts));
  if (s.iq) iqImbalance(x, *s.iq);
  if (s.dcDbc) addDc(x, bursts, *s.dcDbc, burstPower(x, bursts));
  if (s.phaseNoise && s.phaseNoise->rmsDeg > 0) {
    auto rng = stream(s.seed, kPhaseNoise);
    addPhaseNoise(x, *s.phaseNoise, fs, rng);
  }
  if (s.channel) {
    auto rng = stream(s.seed, kChannel);
    applyChannel(x, fs, bursts, *s.channel, rng);
  }
  if (s.cfoHz) rotate(x, *s.cfoHz, fs, 0.0);
  if (s.clockPpm && *s.clockPpm != 0) {
    // The waveform as a receiver whose clock runs `ppm` fast against the
    // transmitter's takes it: more samples per frame for a positive offset.
    const double ratio = 1.0 + *s.clockPpm * 1e-6;
    x = resample(x, fs, fs * ratio);
    for (Burst& b : bursts) b = stretched(b, s, x.size());
  }
  // Noise and interferer are stated against the wanted signal as it arrives.
  const double arriving = burstPower(x, bursts);
  if (s.snrDb) {
    // SNR = burst power / noise power in the 52 occupied sub-carriers: the
    // white noise's total power is larger by fs / 16.25 MHz.
    const double noise = arriving / dbToPower(*s.snrDb) * fs / kOccupiedBandwidthHz;
    auto rng = stream(s.seed, kNoise);
    addNoise(x, std::sqrt(noise / 2.0), rng);
  }
  if (s.interferer) {
    auto rng = stream(s.seed, kInterferer);
    addInterferer(x, fs, *s.interferer, arriving, rng);
  }
  return x;
}

Burst stretched(const Burst& b, const Settings& s, std::size_t length) {
  if (!s.clockPpm) return {std::min(b.begin, length), std::min(b.end, length)};
  const double ratio = 1.0 + *s.clockPpm * 1e-6;
  // Clamped to [0, length] in doubles: an offset no validation has seen may
  // give any number.
  auto at = [&](std::size_t i) {
    const double v = std::round(static_cast<double>(i) * ratio);
    return !(v > 0) ? 0 : v >= static_cast<double>(length) ? length : static_cast<std::size_t>(v);
  };
  return {at(b.begin), at(b.end)};
}

std::string describe(const Settings& s) {
  std::vector<std::string> parts;
  if (s.amplifier)
    parts.push_back(s.amplifier->model == Amplifier::Model::Clip
                        ? "amplifier clip at " + num(s.amplifier->backoffDb) + " dB back-off"
                        : "amplifier Rapp P " + num(s.amplifier->smoothness) + " at " +
                              num(s.amplifier->backoffDb) + " dB back-off");
  if (s.iq)
    parts.push_back("IQ imbalance " + num(s.iq->gainDb) + " dB, " + num(s.iq->phaseDeg) + " deg");
  if (s.dcDbc) parts.push_back("DC " + num(*s.dcDbc) + " dBc");
  if (s.phaseNoise)
    parts.push_back("phase noise " + num(s.phaseNoise->rmsDeg) + " deg RMS, corner " +
                    num(s.phaseNoise->cornerHz) + " Hz");
  if (s.channel)
    parts.push_back("channel exponential " + num(s.channel->rmsDelayNs) + " ns RMS, " +
                    (s.channel->ricianKDb ? "Rician K " + num(*s.channel->ricianKDb) + " dB"
                                          : std::string("Rayleigh")));
  if (s.cfoHz) parts.push_back("CFO " + num(*s.cfoHz) + " Hz");
  if (s.clockPpm) parts.push_back("clock " + num(*s.clockPpm) + " ppm");
  if (s.snrDb) parts.push_back("SNR " + num(*s.snrDb) + " dB");
  if (s.interferer)
    parts.push_back("interferer at " + num(s.interferer->offsetHz / 1e6) + " MHz, " +
                    num(s.interferer->levelDb) + " dB");
  std::string text;
  for (const std::string& p : parts) text += (text.empty() ? "" : "; ") + p;
  if (!text.empty()) text += "; seed " + std::to_string(s.seed);
  return text;
}

}  // namespace dot11a::impair
