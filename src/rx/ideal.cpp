// The ideal receiver: a frame decoded with everything a receiver must
// estimate given exactly, the bound its sensitivity is measured against.
#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

#include "dot11a/bitcoding.hpp"
#include "dot11a/frame_layout.hpp"
#include "dot11a/rate_table.hpp"
#include "dot11a/receiver.hpp"
#include "dot11a/synthesis.hpp"
#include "rx/constellation.hpp"
#include "rx/fields.hpp"
#include "rx/internal.hpp"
#include "rx/signal.hpp"
#include "rx/subcarriers.hpp"

namespace dot11a::rx {

namespace {

// ln(e^a + e^b) without overflow.
double logAdd(double a, double b) {
  const double hi = std::max(a, b), lo = std::min(a, b);
  if (hi == -HUGE_VAL) return hi;
  return hi + std::log1p(std::exp(lo - hi));
}

// The bit `b` (0 = sign) of an axis level (odd, within +-(2^m - 1)) as the
// Gray-coded mapper sets it: the sign bit is 1 for a positive level, the
// next 1 for the inner half of the magnitudes, the third of 64-QAM 1 for
// the middle two of each half.
bool levelBit(int level, int bitsPerAxis, int b) {
  const int a = std::abs(level);
  if (b == 0) return level > 0;
  if (b == 1) return a < (bitsPerAxis == 2 ? 2 : 4);
  return std::abs(a - 4) < 2;
}

// Exact log-likelihood ratios (positive for a one) of the bits of one axis
// at y (in units of the axis' levels) with Gaussian noise of variance `var`
// on the axis in the same units.
void axisLlr(double y, int bitsPerAxis, double var, double* out) {
  const int top = (1 << bitsPerAxis) - 1;
  std::array<double, 3> one, zero;
  one.fill(-HUGE_VAL);
  zero.fill(-HUGE_VAL);
  for (int l = -top; l <= top; l += 2) {
    const double d = y - l;
    const double ll = -d * d / (2.0 * var);
    for (int b = 0; b < bitsPerAxis; ++b) {
      double& sum = levelBit(l, bitsPerAxis, b) ? one[b] : zero[b];
      sum = logAdd(sum, ll);
    }
  }
  for (int b = 0; b < bitsPerAxis; ++b) out[b] = one[b] - zero[b];
}

class IdealDecoder {
 public:
  IdealDecoder(std::span<const cplx> received, const IdealReference& ref, int os, double backoff,
               FrameReport& rep)
      : rx_(received, os), clean_(ref.clean, os), os_(os), rep_(rep) {
    rx_.setCorrection(ref.carrierOffsetHz, false, 0.0);
    clean_.setCorrection(ref.carrierOffsetHz, false, 0.0);
    backoff_ = static_cast<long long>(std::llround(std::clamp(backoff, 0.0, 16.0) * os));
    ltf_ = static_cast<long long>(ref.start) + 192LL * os;
    // The noise is white: its power per sample, from the frame's start on,
    // times the transform's length is its power in every bin.
    double sum = 0.0;
    for (std::size_t n = ref.start; n < received.size(); ++n)
      sum += std::norm(received[n] - ref.clean[n]);
    const auto count = static_cast<double>(received.size() - ref.start);
    n0_ = std::max(64.0 * os * sum / count, 1e-300);
  }

  void run(FcsCheck fcs) {
    channel();
    std::vector<double> signal;
    symbol(0, 1, signal);
    std::vector<double> deint(48);
    const auto perm48 = interleaverPermutation(48);
    for (std::size_t k = 0; k < 48; ++k) deint[k] = signal[perm48[k]];
    const RateEntry* rate = readSignal(viterbiDecodeExact(deint, kRate1_2, 24, true), rep_);
    if (rate == nullptr) return;
    const double coding = rate->coding.value();
    const auto ncbps = static_cast<std::size_t>(rate->ncbps);
    const std::size_t nsym =
        dataSymbolsFor(8 * static_cast<std::size_t>(rep_.length), true, rate->modulation, coding);
    rep_.dataSymbols = nsym;
    if (!available(static_cast<long long>(nsym))) {
      rep_.truncated = true;
      rep_.problems.push_back("The waveform ends before the DATA field does.");
      return;
    }
    const auto perm = interleaverPermutation(ncbps);
    std::vector<double> soft(nsym * ncbps), one;
    for (std::size_t s = 0; s < nsym; ++s) {
      symbol(static_cast<long long>(s) + 1, rate->nbpsc, one);
      for (std::size_t k = 0; k < ncbps; ++k) soft[s * ncbps + k] = one[perm[k]];
    }
    readData(viterbiDecodeExact(soft, coding, nsym * static_cast<std::size_t>(rate->ndbps), false),
             fcs, rep_);
  }

 private:
  long long windowStart(long long index) const {
    return ltf_ + 128LL * os_ + 80LL * os_ * index + 16LL * os_ - backoff_;
  }
  bool available(long long index) const {
    return windowStart(index) >= 0 &&
           windowStart(index) + 64LL * os_ <= static_cast<long long>(rx_.size());
  }

  // The channel from the reference's long training, which holds no noise.
  void channel() {
    const auto& l = longTrainingCarriers();
    for (const long long at : {ltf_ - backoff_, ltf_ + 64LL * os_ - backoff_}) {
      const auto c = clean_.carriers(at);
      for (int k = -26; k <= 26; ++k)
        if (k != 0)
          h_[static_cast<std::size_t>(k + kCentre)] +=
              0.5 * c[static_cast<std::size_t>(k + kCentre)] /
              l[static_cast<std::size_t>(k + kCentre)].real();
    }
    rep_.channel.assign(h_.begin(), h_.end());
  }

  // The soft values of symbol `index` (0 is SIGNAL), in the mapper's order,
  // into out.
  void symbol(long long index, int nbpsc, std::vector<double>& out) {
    const auto y = rx_.carriers(windowStart(index));
    const double n0 = n0_;
    out.assign(48 * static_cast<std::size_t>(nbpsc), 0.0);
    const double scale = axisScale(nbpsc), m = nbpsc == 1 ? 1 : nbpsc / 2;
    for (std::size_t j = 0; j < 48; ++j) {
      const auto i = static_cast<std::size_t>(dataCarriers()[j] + kCentre);
      const double g = std::norm(h_[i]);
      double* bits = &out[j * static_cast<std::size_t>(nbpsc)];
      if (!(g > 0.0)) continue;  // nothing known
      const cplx z = y[i] / h_[i];
      // The noise on each axis of z, in units of the levels.
      const double var = n0 / (2.0 * g * scale * scale);
      if (nbpsc == 1) {
        axisLlr(z.real(), 1, n0 / (2.0 * g), bits);
        continue;
      }
      axisLlr(z.real() / scale, static_cast<int>(m), var, bits);
      axisLlr(z.imag() / scale, static_cast<int>(m), var, bits + static_cast<int>(m));
    }
  }

  Signal rx_, clean_;
  int os_;
  FrameReport& rep_;
  long long backoff_ = 0, ltf_ = 0;
  std::array<cplx, 53> h_{};
  double n0_ = 0.0;  // the noise's power in one bin
};

}  // namespace

FrameReport decodeIdeal(std::span<const cplx> received, const IdealReference& reference,
                        const Options& options) {
  FrameReport rep;
  rep.start = reference.start;
  rep.cfoHz = reference.carrierOffsetHz;
  // A frame of a narrower channel is decoded as the 20 MHz frame of the same
  // samples: the rate and the carrier offset on that time base.
  const double clock = options.spacing ? clockFactor(*options.spacing) : 1.0;
  if (options.spacing) rep.spacing = *options.spacing;
  IdealReference wide = reference;
  wide.carrierOffsetHz /= clock;
  const double ratio = options.sampleRate / (kBaseSampleRate * clock);
  const auto os = static_cast<int>(std::llround(ratio));
  if (!std::isfinite(ratio) || os < 1 || os > 16 || std::abs(ratio - os) > 1e-9 * ratio) {
    rep.problems.push_back(
        "The ideal receiver takes the channel's base rate times a whole number from 1 to 16.");
    return rep;
  }
  if (received.size() != reference.clean.size()) {
    rep.problems.push_back("The received and the reference samples differ in length.");
    return rep;
  }
  if (reference.start + static_cast<std::size_t>(400 * os) > received.size()) {
    rep.truncated = true;
    rep.problems.push_back("The waveform ends before the SIGNAL field does.");
    return rep;
  }
  IdealDecoder(received, wide, os, options.fftBackoff, rep).run(options.fcs);
  rep.rateMbps *= clock;
  rep.cfoHz = reference.carrierOffsetHz;
  return rep;
}

}  // namespace dot11a::rx
