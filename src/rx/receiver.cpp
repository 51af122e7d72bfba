// Frame search, synchronisation, channel estimate, pilot tracking, demapping,
// deinterleaving, decoding and descrambling of 802.11a frames, with the
// modulation-accuracy and flatness measurements taken on the way.
#include <fftw3.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdio>
#include <limits>
#include <numbers>

#include "dot11a/bitcoding.hpp"
#include "dot11a/bits.hpp"
#include "dot11a/error.hpp"
#include "dot11a/frame_layout.hpp"
#include "dot11a/rate_table.hpp"
#include "dot11a/receiver.hpp"
#include "dot11a/synthesis.hpp"
#include "rx/constellation.hpp"
#include "rx/frame.hpp"
#include "rx/internal.hpp"
#include "rx/iq_imbalance.hpp"
#include "rx/signal.hpp"

namespace dot11a::rx {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
// Centre-frequency leakage limit relative to the frame's power (17.3.9.5).
constexpr double kLeakageLimitDb = -15.0;

// ---- sub-carriers ------------------------------------------------------------------------

// Sub-carriers are indexed 0..52 for -26..+26 (kCentre is the index of 0).
constexpr std::array<int, 4> kPilots = {-21, -7, 7, 21};
constexpr std::array<double, 4> kPilotSigns = {1, 1, 1, -1};

bool isPilot(int k) {
  return k == -21 || k == -7 || k == 7 || k == 21;
}

// The 48 data sub-carriers in increasing frequency, as the mapper fills them.
const std::array<int, 48>& dataCarriers() {
  static const std::array<int, 48> t = [] {
    std::array<int, 48> c{};
    std::size_t i = 0;
    for (int k = -26; k <= 26; ++k)
      if (k != 0 && !isPilot(k)) c[i++] = k;
    return c;
  }();
  return t;
}

// The long training symbol's sub-carrier values, taken from the synthesis
// itself: one period of the unwindowed sequence, transformed.
const std::array<cplx, 53>& longTrainingCarriers() {
  static const std::array<cplx, 53> t = [] {
    const std::vector<cplx> mask(64, cplx(1.0, 0.0));
    const Samples seq = longSequence(1, 0, mask, false);
    std::vector<cplx> period(seq.begin() + 32, seq.begin() + 96), bins(64);
    fftw_execute_dft(forwardPlan(64), reinterpret_cast<fftw_complex*>(period.data()),
                     reinterpret_cast<fftw_complex*>(bins.data()));
    std::array<cplx, 53> c{};
    for (int k = -26; k <= 26; ++k) {
      const cplx v = bins[static_cast<std::size_t>((k + 64) % 64)];
      // Round to the exact +-1 / 0 the sequence is made of.
      c[static_cast<std::size_t>(k + kCentre)] = cplx(std::round(v.real()), 0.0);
    }
    return c;
  }();
  return t;
}

// ---- rates ------------------------------------------------------------------------------------

std::string hex32(std::uint32_t v) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%08X", v);
  return buf;
}

std::uint32_t packBits(std::span<const std::uint8_t> bits) {
  std::uint32_t v = 0;
  for (std::size_t i = 0; i < bits.size() && i < 32; ++i)
    v |= static_cast<std::uint32_t>(bits[i] & 1u) << i;
  return v;
}

// e^(j k a) for k = 0 .. 27, in four interleaved chains of products so that
// each need not wait for the one before; sub-carrier -k takes the conjugate.
std::array<cplx, 28> carrierTurns(double a) {
  std::array<cplx, 28> up;
  up[0] = cplx(1.0, 0.0);
  up[1] = std::polar(1.0, a);
  up[2] = mul(up[1], up[1]);
  up[3] = mul(up[2], up[1]);
  const cplx p4 = mul(up[2], up[2]);
  for (std::size_t k = 4; k < up.size(); ++k) up[k] = mul(up[k - 4], p4);
  return up;
}

// ---- one frame --------------------------------------------------------------------------------

struct Equalised {
  std::array<cplx, 48> data;
  std::array<double, 48> weight;
};

class FrameDecoder {
 public:
  FrameDecoder(Signal& sig, const Detection& det, const Options& opt, FrameReport& rep)
      : sig_(sig), det_(det), opt_(opt), rep_(rep) {
    os_ = sig.os();
    backoff_ = static_cast<long long>(std::llround(std::clamp(opt.fftBackoff, 0.0, 16.0) * os_));
  }

  // The DC component the capture had (already taken out of the samples).
  void setCaptureDc(cplx dc) { captureDc_ = dc; }

  // Returns the sample (working rate) after the frame.
  long long run() {
    estimateChannel();
    if (!decodeSignal()) return det_.ltf + 208LL * os_;
    decodeData();
    rep_.clockOffsetPpm = driftRate() * 1e6;
    rep_.clockOffsetSigmaPpm = driftSigma() * 1e6;
    iq_.report(rep_);
    return det_.ltf + 128LL * os_ + 80LL * os_ * (1 + static_cast<long long>(rep_.dataSymbols)) +
           shift_;
  }

 private:
  long long symbolStart(long long index) const {
    // index 0 is SIGNAL; the FFT window skips the 16-sample cyclic prefix.
    return det_.ltf + 128LL * os_ + 80LL * os_ * index + 16LL * os_ - backoff_;
  }

  // Sub-carrier k's share of a constant added to the input, in an FFT window
  // of the corrected signal starting at sample 0: the constant turns at the
  // correction's rate, so it reaches every bin a little, not bin 0 alone.
  void prepareDcLeak() {
    const auto n = static_cast<double>(64 * os_);
    theta_ = 2.0 * std::numbers::pi * sig_.hz() / sig_.rate();
    const cplx num = 1.0 - std::polar(1.0, theta_ * n);
    for (int k = -26; k <= 26; ++k) {
      const cplx den = 1.0 - std::polar(1.0, theta_ - 2.0 * std::numbers::pi * k / n);
      dcLeak_[static_cast<std::size_t>(k + kCentre)] = std::abs(den) > 1e-9 ? num / den : cplx(n);
    }
  }
  // Removes the input's DC component found in the preamble from the
  // sub-carriers of the window starting at n0.
  void removeDc(long long n0, std::array<cplx, 53>& c) const {
    if (inputDc_ == cplx(0.0, 0.0)) return;
    const cplx at = inputDc_ * std::polar(1.0, theta_ * static_cast<double>(n0));
    for (std::size_t i = 0; i < 53; ++i) c[i] -= at * dcLeak_[i];
  }

  // The DC the frame brings, from the two long training periods: each sums
  // to nothing but DC over its 64 samples, so the sums of the two give the
  // component at the frame's carrier (the same in both) and the one at 0 Hz
  // of the input (turned by the carrier offset from one to the other). When
  // the carrier offset is too small to tell the two apart, they are one.
  void measureDc(long long n1, long long n2, std::array<cplx, 53>& y1, std::array<cplx, 53>& y2) {
    prepareDcLeak();
    const double n = 64.0 * os_;
    const cplx e1 = std::polar(1.0, theta_ * static_cast<double>(n1));
    const cplx e2 = std::polar(1.0, theta_ * static_cast<double>(n2));
    const cplx b1 = y1[kCentre], b2 = y2[kCentre], l0 = dcLeak_[kCentre];
    cplx carrierDc(0.0, 0.0);
    if (std::abs(e2 - e1) > 0.2 && std::abs(l0) > 0.1 * n) {
      inputDc_ = (b2 - b1) / (l0 * (e2 - e1));
      carrierDc = (b1 - inputDc_ * e1 * l0) / n;
    } else {
      carrierDc = (b1 + b2) / (2.0 * n);
    }
    removeDc(n1, y1);
    removeDc(n2, y2);
    // The capture's DC, seen from the corrected signal (mirrored, it was
    // conjugated first), at the middle of the long training.
    const cplx capture = det_.mirrored ? std::conj(captureDc_) : captureDc_;
    double power = 0.0;
    for (int k = -26; k <= 26; ++k)
      if (k != 0)
        power += std::norm(y1[static_cast<std::size_t>(k + kCentre)] +
                           y2[static_cast<std::size_t>(k + kCentre)]);
    power /= 4.0 * n * n;
    double leak = 0.0;
    if (inputDc_ == cplx(0.0, 0.0))
      leak = std::norm(carrierDc + capture * 0.5 * (e1 + e2));
    else
      leak = std::norm(capture + inputDc_) + std::norm(carrierDc);
    rep_.centerLeakageDb = 10.0 * std::log10(std::max(leak / std::max(power, 1e-300), 1e-30));
    rep_.centerLeakagePass = rep_.centerLeakageDb <= kLeakageLimitDb;
    if (!rep_.centerLeakagePass) {
      char buf[128];
      std::snprintf(buf, sizeof buf, "Centre-frequency leakage %.2f dB exceeds the %.0f dB limit.",
                    rep_.centerLeakageDb, kLeakageLimitDb);
      rep_.problems.push_back(buf);
    }
  }

  void estimateChannel() {
    auto y1 = sig_.carriers(det_.ltf - backoff_);
    auto y2 = sig_.carriers(det_.ltf + 64LL * os_ - backoff_);
    measureDc(det_.ltf - backoff_, det_.ltf + 64LL * os_ - backoff_, y1, y2);
    const auto& l = longTrainingCarriers();
    double mean = 0.0;
    int used = 0;
    for (int k = -26; k <= 26; ++k) {
      const auto i = static_cast<std::size_t>(k + kCentre);
      h_[i] = k == 0 ? cplx(0.0, 0.0) : (y1[i] + y2[i]) * 0.5 / l[i].real();
      if (k != 0) {
        mean += std::norm(h_[i]);
        ++used;
      }
    }
    mean /= used;
    classifySubcarriers(mean);
    rep_.channel.assign(h_.begin(), h_.end());
    iq_.addTraining(y1, l);
    iq_.addTraining(y2, l);
    for (std::size_t i = 0; i < 53; ++i) {
      const double e = std::norm(h_[i]);
      hInv_[i] = disabled_[i] ? cplx(0.0, 0.0) : std::conj(h_[i]) / e;
      weight_[i] = disabled_[i] ? 0.0 : e;
    }
    if (!rep_.disabledSubcarriers.empty()) {
      std::string list;
      for (int k : rep_.disabledSubcarriers) list += (list.empty() ? "" : ", ") + std::to_string(k);
      rep_.problems.push_back(
          "Sub-carrier" + std::string(rep_.disabledSubcarriers.size() > 1 ? "s " : " ") + list +
          " carr" + (rep_.disabledSubcarriers.size() > 1 ? "y" : "ies") + " nothing.");
      for (int k : rep_.disabledSubcarriers)
        if (isPilot(k))
          rep_.notes.push_back("Pilot " + std::to_string(k) +
                               " carries nothing: the phase is tracked on the other pilots.");
    }
    if (!rep_.fadedSubcarriers.empty()) {
      std::string list;
      for (std::size_t j = 0; j < rep_.fadedSubcarriers.size(); ++j) {
        char buf[48];
        std::snprintf(buf, sizeof buf, "%s%d (%.1f dB)", j > 0 ? ", " : "",
                      rep_.fadedSubcarriers[j], rep_.fadedLevelsDb[j]);
        list += buf;
      }
      rep_.notes.push_back("Faded sub-carrier" +
                           std::string(rep_.fadedSubcarriers.size() > 1 ? "s " : " ") + list +
                           ": a notch in the channel; they count by their power.");
      for (std::size_t j = 0; j < rep_.fadedSubcarriers.size(); ++j)
        if (isPilot(rep_.fadedSubcarriers[j])) {
          char buf[128];
          std::snprintf(buf, sizeof buf,
                        "Pilot %d is faded by %.1f dB: it counts for less in the phase tracking.",
                        rep_.fadedSubcarriers[j], -rep_.fadedLevelsDb[j]);
          rep_.notes.push_back(buf);
        }
    }
  }

  // A sub-carrier 15 dB or more below the mean whose neighbours are within
  // 3 dB of it carries nothing: a transmitter's sub-carrier mask switches one
  // off sharply. A multipath notch is broad, its neighbours are down too:
  // such a sub-carrier, and any other 10 dB or more below the mean, is faded.
  // It is decoded with the weight of its power and reported with its level.
  void classifySubcarriers(double mean) {
    auto level = [&](int k) {
      const double e = std::norm(h_[static_cast<std::size_t>(k + kCentre)]);
      return 10.0 * std::log10(std::max(e / mean, 1e-30));
    };
    for (int k = -26; k <= 26; ++k) {
      const auto i = static_cast<std::size_t>(k + kCentre);
      disabled_[i] = k == 0;
      if (k == 0) continue;
      const double l = level(k);
      if (l > -10.0) continue;
      bool clean = true;
      for (const int n : {k - 1, k + 1})
        if (n != 0 && n >= -26 && n <= 26) clean = clean && level(n) > -3.0;
      if (l <= -15.0 && clean) {
        disabled_[i] = true;
        rep_.disabledSubcarriers.push_back(k);
      } else {
        rep_.fadedSubcarriers.push_back(k);
        rep_.fadedLevelsDb.push_back(l);
      }
    }
  }

  // Equalises one symbol and removes what the pilots show has turned since the
  // long training: the common phase, and the phase slope across the
  // sub-carriers that a sampling clock offset builds up as the frame goes on.
  // The slope is a timing offset growing in proportion to the time since the
  // channel estimate; its rate is fitted to the pilots of every symbol so far,
  // and the FFT window follows the offset in whole samples. The inverse
  // channel is worked out once per frame, so each sub-carrier costs a few
  // complex products here.
  Equalised equalise(long long index, double polarity) {
    std::array<cplx, 53>& y = carriers_;
    // Working samples from the channel estimate (the middle of the two long
    // training windows) to this symbol's window.
    const double t = static_cast<double>(symbolStart(index) - det_.ltf - 32LL * os_ + backoff_);
    const double predicted = driftRate() * t;
    shift_ = std::llround(predicted);
    sig_.carriers(symbolStart(index) + shift_, y);
    removeDc(symbolStart(index) + shift_, y);
    std::array<cplx, 4> z{};
    std::array<double, 4> w{};
    for (std::size_t p = 0; p < 4; ++p) {
      const auto i = static_cast<std::size_t>(kPilots[p] + kCentre);
      // disabled pilots have a zero inverse and weight, so they add nothing
      z[p] = mul(y[i], hInv_[i]) * (kPilotSigns[p] * polarity);
      w[p] = weight_[i];
    }
    // The slope the pilots show beyond the predicted offset.
    const double radPerSample = 2.0 * std::numbers::pi / (64.0 * os_);
    const cplx q7 = std::polar(1.0, 7.0 * radPerSample * (predicted - static_cast<double>(shift_)));
    const cplx q21 = mul(mul(q7, q7), q7);
    const std::array<cplx, 4> pilotTurn = {std::conj(q21), std::conj(q7), q7, q21};
    // Products of the pilots at +k and -k turn by 2k times the slope and not
    // at all with the common phase; the pair at 7, cubed, joins the pair at
    // 21, so one angle gives the slope of all four.
    std::array<cplx, 4> turned;
    for (std::size_t p = 0; p < 4; ++p) turned[p] = mul(z[p], pilotTurn[p]) * w[p];
    const cplx c7 = mul(turned[2], std::conj(turned[1]));
    const cplx c21 = mul(turned[3], std::conj(turned[0]));
    const double n7 = std::norm(c7);
    const cplx q = n7 > 0.0 ? c21 + mul(mul(c7, c7), c7) / n7 : c21;
    const double measured = predicted - std::arg(q) / (42.0 * radPerSample);
    // Samples too large for the FFT give no number here; they add nothing.
    if (std::isfinite(measured)) {
      sumTT_ += t * t;
      sumTD_ += t * measured;
      sumDD_ += measured * measured;
      ++fitted_;
    }
    // The fitted offset, less what the window shift took up, as a rotation
    // per sub-carrier; then the common phase of the pilots so turned.
    const auto up = carrierTurns(radPerSample * (driftRate() * t - static_cast<double>(shift_)));
    cplx sum(0.0, 0.0);
    for (std::size_t p = 0; p < 4; ++p) {
      const auto k = static_cast<std::size_t>(std::abs(kPilots[p]));
      sum += mul(z[p], kPilots[p] > 0 ? up[k] : std::conj(up[k])) * w[p];
    }
    const double mag = std::abs(sum);
    const cplx rot = mag > 0 ? std::conj(sum) / mag : 1.0;
    std::array<cplx, 53> g;
    g[kCentre] = rot;
    for (std::size_t k = 1; k <= static_cast<std::size_t>(kCentre); ++k) {
      g[kCentre + k] = mul(up[k], rot);
      g[kCentre - k] = mul(std::conj(up[k]), rot);
    }
    Equalised e;
    const auto& dc = dataCarriers();
    for (std::size_t j = 0; j < 48; ++j) {
      const auto i = static_cast<std::size_t>(dc[j] + kCentre);
      e.data[j] = mul(mul(y[i], hInv_[i]), g[i]);
      e.weight[j] = weight_[i];
    }
    turn_ = g;
    return e;
  }

  // Timing offset per working sample: the offsets the pilots showed, fitted
  // through zero at the channel estimate. The prior (four symbols' time of no
  // offset) keeps the first symbols' noisy pilots from turning the frame; a
  // longer one holds the early symbols' timing back while a fast clock has
  // already moved it, and the phase slope of a few hundredths of a sample
  // left over shows in their EVM at the outer sub-carriers. A
  // rate beyond 1000 ppm is no clock (the standard allows 20): the pilots of
  // something that is no frame cannot move the window further than that.
  double driftRate() const {
    const double prior = 320.0 * os_ * 320.0 * os_;
    const double rate = sumTD_ / (sumTT_ + prior);
    return std::isfinite(rate) ? std::clamp(rate, -1e-3, 1e-3) : 0.0;
  }

  // Standard error of the fitted rate: the residual scatter of the symbols'
  // offsets about the line, over the spread of their times. Too few symbols
  // to tell give an infinite error.
  double driftSigma() const {
    if (fitted_ < 3 || !(sumTT_ > 0.0)) return std::numeric_limits<double>::infinity();
    const double rate = sumTD_ / sumTT_;
    const double residual = std::max(0.0, sumDD_ - rate * sumTD_);
    return std::sqrt(residual / static_cast<double>(fitted_ - 1) / sumTT_);
  }

  bool symbolAvailable(long long index) const {
    return symbolStart(index) + 64LL * os_ <= static_cast<long long>(sig_.size());
  }

  bool decodeSignal() {
    if (!symbolAvailable(0)) {
      rep_.truncated = true;
      rep_.problems.push_back("The waveform ends before the SIGNAL field does.");
      return false;
    }
    const Equalised e = equalise(0, pilotPolarity(0));
    std::array<float, 48> soft{}, deint{};
    for (std::size_t j = 0; j < 48; ++j) demap(e.data[j], 1, e.weight[j], &soft[j]);
    const auto perm = interleaverPermutation(48);
    for (std::size_t k = 0; k < 48; ++k) deint[k] = soft[perm[k]];
    const auto bits = viterbiDecode(deint, kRate1_2, 24, true);
    unsigned parity = 0;
    for (std::size_t i = 0; i < 18; ++i) parity ^= bits[i];
    rep_.signalParityOk = parity == 0;
    rep_.signalTailOk = std::all_of(bits.begin() + 18, bits.end(), [](auto b) { return b == 0; });
    rep_.rateBits = packBits(std::span(bits).first(4));
    rep_.reservedBitZero = bits[4] == 0;
    rep_.length = packBits(std::span(bits).subspan(5, 12));
    rate_ = rateBySignalBits({bits[0], bits[1], bits[2], bits[3]});
    rep_.rateValid = rate_ != nullptr;
    if (rate_ != nullptr) rep_.rateMbps = rate_->mbps;
    if (!rep_.signalParityOk) rep_.problems.push_back("The SIGNAL parity bit is wrong.");
    if (!rep_.signalTailOk) rep_.problems.push_back("The SIGNAL tail bits are not zero.");
    if (!rep_.rateValid) {
      char buf[96];
      std::snprintf(buf, sizeof buf, "The SIGNAL RATE bits %u%u%u%u name no data rate.", bits[0],
                    bits[1], bits[2], bits[3]);
      rep_.problems.push_back(buf);
    }
    if (!rep_.reservedBitZero) rep_.notes.push_back("The reserved SIGNAL bit is set.");
    if (rep_.length == 0) rep_.problems.push_back("The SIGNAL LENGTH is 0 octets.");
    return rep_.signalParityOk && rep_.rateValid && rep_.length > 0;
  }

  void decodeData() {
    const RateEntry& r = *rate_;
    const double coding = r.coding.value();
    const auto ncbps = static_cast<std::size_t>(r.ncbps), ndbps = static_cast<std::size_t>(r.ndbps);
    const std::size_t nsym =
        dataSymbolsFor(8 * static_cast<std::size_t>(rep_.length), true, r.modulation, coding);
    rep_.dataSymbols = nsym;
    rep_.evmLimitDb = evmLimitDb(r.mbps);

    std::size_t available = 0;
    while (available < nsym && symbolAvailable(static_cast<long long>(available) + 1)) ++available;
    if (available < nsym) {
      rep_.truncated = true;
      rep_.problems.push_back("The waveform ends " + std::to_string(nsym - available) + " of " +
                              std::to_string(nsym) + " DATA symbols early.");
    }

    const auto perm = interleaverPermutation(ncbps);
    std::vector<float> soft(nsym * ncbps, 0.0f);
    std::vector<float> sym(ncbps);
    std::array<double, 48> errCarrier{};
    double errTotal = 0.0;
    std::size_t countTotal = 0;
    const double scale = axisScale(r.nbpsc), invScale = 1.0 / scale;
    const double top = static_cast<double>((1 << (r.nbpsc / 2)) - 1);
    const auto nbpsc = static_cast<std::size_t>(r.nbpsc);
    rep_.evmPerSymbolDb.assign(available, kNaN);
    for (std::size_t s = 0; s < available; ++s) {
      const auto idx = static_cast<long long>(s) + 1;
      const Equalised e = equalise(idx, pilotPolarity(idx));
      iq_.addSymbol(carriers_, turn_, hInv_, r.nbpsc);
      if (s < opt_.keepPointsSymbols) {
        rep_.dataPoints.insert(rep_.dataPoints.end(), e.data.begin(), e.data.end());
        for (const int k : kPilots) {
          const auto i = static_cast<std::size_t>(k + kCentre);
          rep_.pilotPoints.emplace_back(mul(mul(carriers_[i], hInv_[i]), turn_[i]));
        }
      }
      double errSym = 0.0;
      std::size_t countSym = 0;
      for (std::size_t j = 0; j < 48; ++j) {
        demap(e.data[j], r.nbpsc, e.weight[j], &sym[j * nbpsc]);
        // A sub-carrier that is off (weight 0) adds nothing.
        const double on = e.weight[j] > 0.0 ? 1.0 : 0.0;
        const double err = on * pointError(e.data[j], r.nbpsc, scale, invScale, top);
        errCarrier[j] += err;
        errSym += err;
        countSym += static_cast<std::size_t>(on);
      }
      for (std::size_t k = 0; k < ncbps; ++k) soft[s * ncbps + k] = sym[perm[k]];
      if (countSym > 0) rep_.evmPerSymbolDb[s] = 10.0 * std::log10(errSym / countSym);
      errTotal += errSym;
      countTotal += countSym;
    }
    rep_.evmPerSubcarrierDb.assign(53, kNaN);
    for (std::size_t j = 0; j < 48; ++j) {
      const auto i = static_cast<std::size_t>(dataCarriers()[j] + kCentre);
      if (!disabled_[i] && available > 0)
        rep_.evmPerSubcarrierDb[i] =
            10.0 * std::log10(errCarrier[j] / static_cast<double>(available));
    }
    if (countTotal > 0) {
      rep_.evmRms = std::sqrt(errTotal / static_cast<double>(countTotal));
      rep_.evmDb = 20.0 * std::log10(std::max(rep_.evmRms, 1e-15));
      rep_.evmPercent = 100.0 * rep_.evmRms;
      rep_.evmPass = rep_.evmDb <= rep_.evmLimitDb;
      if (!rep_.evmPass) {
        char buf[128];
        std::snprintf(buf, sizeof buf, "EVM %.2f dB exceeds the %.0f dB limit of %d Mbit/s.",
                      rep_.evmDb, rep_.evmLimitDb, r.mbps);
        rep_.problems.push_back(buf);
      }
    }
    if (rep_.truncated) return;

    const auto scrambled = viterbiDecode(soft, coding, nsym * ndbps, false);
    rep_.scramblerSeed = seedFromFirstBits(std::span(scrambled).first(7));
    Bits seed(7);
    for (unsigned i = 0; i < 7; ++i)
      seed[i] = static_cast<std::uint8_t>((rep_.scramblerSeed >> i) & 1u);
    const Bits plain = scramble(scrambled, seed);
    const std::size_t tailAt = kServiceBits + 8 * static_cast<std::size_t>(rep_.length);
    // The tail is zeroed after scrambling, so it decodes to zero before descrambling.
    rep_.dataTailOk = std::all_of(scrambled.begin() + static_cast<long>(tailAt),
                                  scrambled.begin() + static_cast<long>(tailAt + kTailBits),
                                  [](auto b) { return b == 0; });
    if (!rep_.dataTailOk) rep_.problems.push_back("The DATA tail bits are not zero.");
    rep_.serviceBits = packBits(std::span(plain).first(16));
    rep_.psduBits.assign(plain.begin() + kServiceBits, plain.begin() + static_cast<long>(tailAt));
    // An octet at a time through plain pointers: byte stores through the
    // report's vectors would make the compiler reload them every bit.
    rep_.psdu.assign(rep_.length, 0);
    const std::uint8_t* bit = rep_.psduBits.data();
    std::uint8_t* octet = rep_.psdu.data();
    for (std::size_t o = 0; o < rep_.psdu.size(); ++o) {
      unsigned v = 0;
      for (unsigned b = 0; b < 8; ++b) v |= (bit[8 * o + b] != 0 ? 1u : 0u) << b;
      octet[o] = static_cast<std::uint8_t>(v);
    }
    checkFcs();
  }

  void checkFcs() {
    if (opt_.fcs == FcsCheck::Off) return;
    const std::size_t n = rep_.psduBits.size();
    if (n <= 32) {
      if (opt_.fcs == FcsCheck::On) {
        rep_.fcs = FcsState::Bad;
        rep_.problems.push_back("The PSDU is too short to hold an FCS.");
      } else {
        rep_.fcs = FcsState::NoneFound;
      }
      return;
    }
    const std::span<const std::uint8_t> bits(rep_.psduBits);
    rep_.fcsComputed = packBits(crc32Bits(bits.first(n - 32)));
    rep_.fcsReceived = packBits(bits.subspan(n - 32));
    if (rep_.fcsComputed == rep_.fcsReceived) {
      rep_.fcs = FcsState::Good;
    } else if (opt_.fcs == FcsCheck::On) {
      rep_.fcs = FcsState::Bad;
      rep_.problems.push_back("FCS bad: the frame carries " + hex32(rep_.fcsReceived) +
                              ", its contents give " + hex32(rep_.fcsComputed) + ".");
    } else {
      rep_.fcs = FcsState::NoneFound;
      rep_.notes.push_back("No FCS found: the last four octets are not the frame's checksum.");
    }
  }

  Signal& sig_;
  const Detection& det_;
  const Options& opt_;
  FrameReport& rep_;
  int os_ = 1;
  long long backoff_ = 0;
  std::array<cplx, 53> h_{};
  std::array<bool, 53> disabled_{};
  std::array<cplx, 53> carriers_{};  // the symbol being equalised
  std::array<cplx, 53> hInv_{};      // 1 / h, 0 where the sub-carrier is off
  std::array<double, 53> weight_{};  // |h|^2, 0 where the sub-carrier is off
  std::array<cplx, 53> turn_{};      // the last symbol's phase correction per sub-carrier
  IqImbalanceEstimator iq_;
  const RateEntry* rate_ = nullptr;
  // Sampling clock tracking: sums of the fit of timing offset against time,
  // and the whole working samples the FFT window was moved by.
  // DC: what the capture had, what the frame brought at 0 Hz of the input
  // (in the corrected signal), the correction's turn per sample and each
  // sub-carrier's share of a constant.
  cplx captureDc_{0.0, 0.0}, inputDc_{0.0, 0.0};
  double theta_ = 0.0;
  std::array<cplx, 53> dcLeak_{};
  double sumTT_ = 0.0, sumTD_ = 0.0, sumDD_ = 0.0;
  std::size_t fitted_ = 0;  // symbols whose pilots gave an offset
  long long shift_ = 0;
};

}  // namespace

// A DC component of the capture (the capturing receiver's own carrier
// leakage) pulls the frame search's carrier offset towards 0 Hz and, turned
// by the carrier correction, spreads over every sub-carrier. Its mean over
// the capture is taken out before the search: the frames themselves average
// to almost nothing. A component weaker than -50 dB of the capture's power
// is left alone, so clean waveforms are not copied.
cplx removeCaptureDc(std::span<const cplx>& samples, std::vector<cplx>& store) {
  if (samples.empty()) return {0.0, 0.0};
  cplx sum(0.0, 0.0);
  double power = 0.0;
  for (const cplx& v : samples) {
    sum += v;
    power += std::norm(v);
  }
  const cplx dc = sum / static_cast<double>(samples.size());
  if (!(std::norm(dc) * static_cast<double>(samples.size()) > 1e-5 * power)) return {0.0, 0.0};
  if (store.data() != samples.data()) store.assign(samples.begin(), samples.end());
  for (cplx& v : store) v -= dc;
  samples = store;
  return dc;
}

// ---- reports -----------------------------------------------------------------------------------

bool FrameReport::decoded() const {
  return signalParityOk && signalTailOk && rateValid && length > 0 && !truncated &&
         fcs != FcsState::Bad;
}

bool FrameReport::passed() const {
  return decoded() && dataTailOk && centerLeakagePass && evmPass && flatnessPass &&
         (!maskMeasured || maskPass) && disabledSubcarriers.empty();
}

bool Result::passed() const {
  return !frames.empty() &&
         std::all_of(frames.begin(), frames.end(), [](const FrameReport& f) { return f.passed(); });
}

double evmLimitDb(double rateMbps) {
  static constexpr std::array<std::pair<double, double>, 8> kLimits = {
      {{6, -5}, {9, -8}, {12, -10}, {18, -13}, {24, -16}, {36, -19}, {48, -22}, {54, -25}}};
  for (const auto& [rate, limit] : kLimits)
    if (rate == rateMbps) return limit;
  return 0.0;
}

// ---- the receiver
// --------------------------------------------------------------------------------

FrameReport decodeFrame(std::span<const cplx> x, std::span<const cplx> input, const Detection& det,
                        int os, const Options& opt, long long& end, cplx captureDc) {
  const double toInput = opt.sampleRate / (kBaseSampleRate * os);
  FrameReport rep;
  rep.mirrored = det.mirrored;
  rep.cfoHz = det.coarseHz + (det.mirrored ? -det.fineHz : det.fineHz);
  const long long startWork = std::max<long long>(0, det.ltf - 192LL * os);
  rep.start = static_cast<std::size_t>(std::llround(static_cast<double>(startWork) * toInput));
  Signal sig(x, os);
  sig.setCorrection(det.coarseHz, det.mirrored, det.fineHz);
  FrameDecoder dec(sig, det, opt, rep);
  dec.setCaptureDc(captureDc);
  end = dec.run();
  const auto endInput = static_cast<std::size_t>(std::clamp<double>(
      std::round(static_cast<double>(end) * toInput), 0.0, static_cast<double>(input.size())));
  measureFrame(
      rep, input.subspan(std::min(rep.start, endInput), endInput - std::min(rep.start, endInput)),
      opt, os);
  return rep;
}

Result receive(std::span<const cplx> samples, const Options& opt) {
  Result res;
  res.sampleRate = opt.sampleRate;
  if (!std::isfinite(opt.sampleRate) || opt.sampleRate < 1e6 || opt.sampleRate > 1e10) {
    res.problem = "The sample rate must be from 1 MHz to 10 GHz.";
    return res;
  }
  if (samples.empty()) {
    res.problem = "The waveform is empty.";
    return res;
  }
  // Non-finite samples (a damaged file) count as silence.
  std::vector<cplx> clean;
  // Found from the exponent bits (all ones for infinities and NaN), which
  // runs without a branch per sample; counted only when there are any.
  std::size_t bad = 0;
  {
    constexpr std::uint64_t kExp = 0x7FF0000000000000ULL;
    const double* d = reinterpret_cast<const double*>(samples.data());
    const std::size_t n = 2 * samples.size();
    // Adding 2^52 to the exponent field carries into the sign bit only when
    // the field is all ones: plain integer operations the compiler runs as
    // vector code.
    constexpr std::uint64_t kExpLsb = 0x0010000000000000ULL;
    std::uint64_t any = 0;
    for (std::size_t i = 0; i < n; ++i)
      any |= (std::bit_cast<std::uint64_t>(d[i]) & kExp) + kExpLsb;
    if ((any >> 63) != 0)
      for (const cplx& v : samples)
        if (!std::isfinite(v.real()) || !std::isfinite(v.imag())) ++bad;
  }
  if (bad > 0) {
    clean.assign(samples.begin(), samples.end());
    for (cplx& v : clean)
      if (!std::isfinite(v.real()) || !std::isfinite(v.imag())) v = 0.0;
    samples = clean;
  }
  const cplx captureDc = removeCaptureDc(samples, clean);
  // Work at 20 MHz times a whole number; other rates are resampled.
  const double ratio = opt.sampleRate / kBaseSampleRate;
  int os = static_cast<int>(std::llround(ratio));
  std::vector<cplx> resampled;
  std::span<const cplx> x = samples;
  if (os < 1 || std::abs(ratio - os) > 1e-9 * ratio || os > 16) {
    os = std::clamp(static_cast<int>(std::floor(ratio)), 1, 16);
    resampled = resample(samples, opt.sampleRate, kBaseSampleRate * os);
    x = resampled;
  }

  long long from = 0;
  while (res.frames.size() < opt.maxFrames) {
    const Detection det = detect(x, from, os);
    if (!det.found) {
      if (det.resumeAt >= static_cast<long long>(x.size())) break;
      from = det.resumeAt;
      continue;
    }
    long long end = 0;
    FrameReport rep = decodeFrame(x, samples, det, os, opt, end, captureDc);
    if (bad > 0)
      rep.notes.push_back(std::to_string(bad) + " samples were not numbers and count as 0.");
    res.frames.push_back(std::move(rep));
    from = std::max(end, det.resumeAt);
    if (opt.onFrame) {
      const double searched = static_cast<double>(from) * opt.sampleRate / (kBaseSampleRate * os);
      if (!opt.onFrame(res.frames.back(), static_cast<std::size_t>(std::clamp(
                                              searched, 0.0, static_cast<double>(samples.size())))))
        break;
    }
  }
  if (res.frames.empty()) res.problem = "No 802.11a frame was found in the waveform.";
  return res;
}

}  // namespace dot11a::rx
