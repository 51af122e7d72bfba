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
#include <memory>
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
#include "rx/frame_dc.hpp"
#include "rx/internal.hpp"
#include "rx/iq_imbalance.hpp"
#include "rx/signal.hpp"
#include "rx/subcarriers.hpp"
#include "rx/symbol_pass.hpp"

namespace dot11a::rx {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// 1 / n! for n = 0 .. 18.
constexpr std::array<double, 19> kInvFactorial = [] {
  std::array<double, 19> t{};
  double f = 1.0;
  for (std::size_t n = 0; n < t.size(); ++n) {
    if (n > 0) f *= static_cast<double>(n);
    t[n] = 1.0 / f;
  }
  return t;
}();

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

// e^(j a). The symbols' turns are angles of a fraction of a sample's phase
// step: below 1/2 the series to a^18 is exact to the last bit or two and
// costs a fraction of the library's call.
cplx unitTurn(double a) {
  if (!(std::abs(a) <= 0.5)) return std::polar(1.0, a);
  const double a2 = a * a;
  double c = kInvFactorial[18], s = kInvFactorial[17];
  for (int n = 16; n >= 2; n -= 2) {
    // c = 1/n! - a^2 c, s = 1/(n-1)! - a^2 s, from n = 16 down
    c = kInvFactorial[n] - a2 * c;
    s = kInvFactorial[n - 1] - a2 * s;
  }
  return {1.0 - a2 * c, a * s};
}

// e^(j k a) for k = 0 .. 27, in four interleaved chains of products so that
// each need not wait for the one before; sub-carrier -k takes the conjugate.
std::array<cplx, 28> carrierTurns(double a) {
  std::array<cplx, 28> up;
  up[0] = cplx(1.0, 0.0);
  up[1] = unitTurn(a);
  up[2] = mul(up[1], up[1]);
  up[3] = mul(up[2], up[1]);
  const cplx p4 = mul(up[2], up[2]);
  // The chains in locals: through the array each product would wait for
  // the store of the one four places back.
  cplx c0 = up[0], c1 = up[1], c2 = up[2], c3 = up[3];
  for (std::size_t k = 4; k < up.size(); k += 4) {
    c0 = mul(c0, p4);
    c1 = mul(c1, p4);
    c2 = mul(c2, p4);
    c3 = mul(c3, p4);
    up[k] = c0;
    up[k + 1] = c1;
    up[k + 2] = c2;
    up[k + 3] = c3;
  }
  return up;
}

// ---- one frame --------------------------------------------------------------------------------

class FrameDecoder {
 public:
  FrameDecoder(Signal& sig, const Detection& det, const Options& opt, FrameReport& rep, bool whole)
      : sig_(sig), det_(det), opt_(opt), rep_(rep), whole_(whole) {
    os_ = sig.os();
    // Clamped to 0 .. 16 samples at 20 MHz, NaN taken as 0.
    const double backoff = opt.fftBackoff > 0 ? std::min(opt.fftBackoff, 16.0) : 0.0;
    backoff_ = static_cast<long long>(std::llround(backoff * os_));
  }

  // The DC component the capture had (already taken out of the samples).
  void setCaptureDc(cplx dc) { dc_.setCaptureDc(dc); }

  // Returns the sample (working rate) after the frame.
  long long run() {
    estimateChannel();
    // The lines about the sub-carriers come where the channel estimate
    // stands among the problems and notes, once the DATA symbols have said
    // which are switched off.
    const std::size_t problemsAt = rep_.problems.size(), notesAt = rep_.notes.size();
    const bool signalOk = decodeSignal();
    if (signalOk) decodeData();
    FrameReport lines;
    lines.disabledSubcarriers = rep_.disabledSubcarriers;
    lines.fadedSubcarriers = rep_.fadedSubcarriers;
    lines.fadedLevelsDb = rep_.fadedLevelsDb;
    describeSubcarriers(lines);
    rep_.problems.insert(rep_.problems.begin() + static_cast<long>(problemsAt),
                         lines.problems.begin(), lines.problems.end());
    rep_.notes.insert(rep_.notes.begin() + static_cast<long>(notesAt), lines.notes.begin(),
                      lines.notes.end());
    if (!signalOk) return det_.ltf + 208LL * os_;
    rep_.clockOffsetPpm = driftRate() * 1e6;
    rep_.clockOffsetSigmaPpm = driftSigma() * 1e6;
    iq_.report(rep_);
    if (!rep_.signalFits) return misfitResume_;
    return det_.ltf + 128LL * os_ + 80LL * os_ * (1 + static_cast<long long>(rep_.dataSymbols)) +
           shift_;
  }

 private:
  long long symbolStart(long long index) const {
    // index 0 is SIGNAL; the FFT window skips the 16-sample cyclic prefix.
    return det_.ltf + 128LL * os_ + 80LL * os_ * index + 16LL * os_ - backoff_;
  }

  void estimateChannel() {
    auto y1 = sig_.carriers(det_.ltf - backoff_);
    auto y2 = sig_.carriers(det_.ltf + 64LL * os_ - backoff_);
    dc_.measure(sig_.hz(), sig_.rate(), os_, det_.mirrored, det_.ltf - backoff_,
                det_.ltf + 64LL * os_ - backoff_, y1, y2, rep_);
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
    mean_ = mean;
    classifySubcarriers(h_, mean, disabled_, rep_);
    rep_.channel.assign(h_.begin(), h_.end());
    iq_.addTraining(y1, l);
    iq_.addTraining(y2, l);
    // The training tells which sub-carriers may be switched off; whether they
    // are, the DATA symbols tell (see confirmSwitchedOff). Until then they
    // are decoded as faded ones, by their power; only DC and a sub-carrier
    // with no power at all have a zero inverse and weight.
    double noise = 0.0;
    for (std::size_t i = 0; i < 53; ++i) {
      const double e = std::norm(h_[i]);
      const bool none = static_cast<int>(i) == kCentre || !(e > 1e-30 * mean);
      hInv_[i] = none ? cplx(0.0, 0.0) : std::conj(h_[i]) / e;
      weight_[i] = none ? 0.0 : e;
      if (static_cast<int>(i) != kCentre) noise += std::norm(y1[i] - y2[i]);
    }
    pass_.setChannel(hInv_, weight_);
    // A sub-carrier carries something in a DATA symbol when its power there
    // comes within 10 dB of the mean (switched off means 15 dB or more below
    // it; a 64-QAM corner of such a sub-carrier reaches 11 dB below) and
    // stands 13 dB above the noise of one bin (the training's two periods
    // differ by the noise of both), which a peak of noise does not reach.
    arrives_ = std::max(20.0 * noise / (2.0 * 52.0), 0.1 * mean);
  }

  // A sub-carrier the training shows as switched off is only when nothing
  // arrives on it in any DATA symbol: one that carries data there (its
  // training was lost, or the transmitter sends it weakly) is faded instead,
  // with its level, and its soft bits and measurements count by its power.
  // Switched-off data sub-carriers' soft bits are made unknown (0).
  void confirmSwitchedOff(std::span<float> soft, std::span<const std::uint16_t> perm,
                          std::size_t nbpsc) {
    std::vector<int> off;
    for (const int k : rep_.disabledSubcarriers) {
      const auto i = static_cast<std::size_t>(k + kCentre);
      if (!carried_[i]) {
        off.push_back(k);
        continue;
      }
      disabled_[i] = false;
      const auto at =
          std::lower_bound(rep_.fadedSubcarriers.begin(), rep_.fadedSubcarriers.end(), k) -
          rep_.fadedSubcarriers.begin();
      rep_.fadedSubcarriers.insert(rep_.fadedSubcarriers.begin() + at, k);
      rep_.fadedLevelsDb.insert(rep_.fadedLevelsDb.begin() + at,
                                10.0 * std::log10(std::max(std::norm(h_[i]) / mean_, 1e-30)));
    }
    rep_.disabledSubcarriers = off;
    const std::size_t ncbps = perm.size();
    for (std::size_t k = 0; k < ncbps; ++k) {
      const int carrier = dataCarriers()[perm[k] / nbpsc];
      if (!disabled_[static_cast<std::size_t>(carrier + kCentre)]) continue;
      for (std::size_t at = k; at < soft.size(); at += ncbps) soft[at] = 0.0f;
    }
  }

  // Equalises one symbol and removes what the pilots show has turned since the
  // long training: the common phase, and the phase slope across the
  // sub-carriers that a sampling clock offset builds up as the frame goes on.
  // The slope is a timing offset growing in proportion to the time since the
  // channel estimate; its rate is fitted to the pilots of every symbol so far,
  // and the FFT window follows the offset in whole samples. The inverse
  // channel is worked out once per frame, so each sub-carrier costs a few
  // complex products here; the equalised points are the pass's.
  void equalise(long long index, double polarity) {
    std::array<cplx, 53>& y = carriers_;
    // Working samples from the channel estimate (the middle of the two long
    // training windows) to this symbol's window.
    const double t = static_cast<double>(symbolStart(index) - det_.ltf - 32LL * os_ + backoff_);
    const double predicted = driftRate() * t;
    shift_ = std::llround(predicted);  // |rate| <= 1e-3 over a frame's length: a few samples
    // The window's common rotation is the same on every sub-carrier, so the
    // pilots' common phase takes it out; only the input's DC, which does not
    // turn with the carrier, needs the window in its true phase.
    const long long n0 = symbolStart(index) + shift_;
    sig_.carriers(n0, y, dc_.inputDc());
    dc_.remove(n0, y);
    // The symbol after next, so that its samples, which the frame search has
    // not read, are on their way from memory.
    sig_.prefetch(n0 + 160LL * os_, 80 * static_cast<std::size_t>(os_));
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
    const cplx q7 = unitTurn(7.0 * radPerSample * (predicted - static_cast<double>(shift_)));
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
      sumT_ += t;
      sumD_ += measured;
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
    // |sum| from its square where that neither overflows nor underflows.
    const double n2 = std::norm(sum);
    const double mag = n2 > 1e-290 && n2 < 1e290 ? std::sqrt(n2) : std::abs(sum);
    const cplx rot = mag > 0 ? std::conj(sum) / mag : 1.0;
    pass_.equalise(y, up, rot);
  }

  // Timing offset per working sample: the offsets the pilots showed, fitted
  // through zero at the channel estimate. The prior (four symbols' time of no
  // offset) keeps the first symbols' noisy pilots from turning the frame; a
  // longer one holds the early symbols' timing back while a fast clock has
  // already moved it, and the phase slope of a few hundredths of a sample
  // left over shows in their EVM at the outer sub-carriers. A
  // rate beyond 1000 ppm is no clock (the standard allows 20): the pilots of
  // something that is no frame cannot move the window further than that.
  double prior() const { return 320.0 * os_ * 320.0 * os_; }
  double driftRate() const {
    const double rate = sumTD_ / (sumTT_ + prior());
    return std::isfinite(rate) ? std::clamp(rate, -1e-3, 1e-3) : 0.0;
  }

  // Standard error of the fitted rate. Each symbol's offset errs by its own
  // pilots' noise and by the channel estimate's, which all symbols share:
  // the long training's two periods give it half the variance of one
  // symbol's, and a shared error moves every offset alike, so it moves the
  // line through zero by its mean time over its mean square time. The own
  // noise is the scatter about a line free to miss zero (which takes up the
  // shared part). So the error is the spread of the estimate over frames of
  // one waveform, not the smaller scatter about the line alone. Too few
  // symbols to tell give an infinite error.
  double driftSigma() const {
    if (fitted_ < 3 || !(sumTT_ > 0.0)) return std::numeric_limits<double>::infinity();
    const double n = static_cast<double>(fitted_);
    const double stt = sumTT_ - sumT_ * sumT_ / n, std_ = sumTD_ - sumT_ * sumD_ / n,
                 sdd = sumDD_ - sumD_ * sumD_ / n;
    if (!(stt > 0.0)) return std::numeric_limits<double>::infinity();
    const double own = std::max(0.0, sdd - std_ / stt * std_) / (n - 2.0);
    const double spread = own * (sumTT_ + 0.5 * sumT_ * sumT_);
    return std::sqrt(spread) / (sumTT_ + prior());
  }

  bool symbolAvailable(long long index) const {
    return symbolStart(index) + 64LL * os_ <= static_cast<long long>(sig_.size());
  }

  // Whether the samples of DATA symbol s (of nsym), just transformed, can be
  // a symbol of this frame: a frame found early or late decodes a SIGNAL
  // field of noise, whose RATE and LENGTH pass their checks one time in
  // four, and the samples then contradict it. A symbol of silence (30 times
  // below the long training) says the frame ended before; one whose power
  // lies on the short training's sub-carriers (every fourth) while the
  // frame's channel spreads it evenly is the next frame's start. Neither
  // depends on noise: the noise-free case is the clearest. Marks the frame
  // and where the search goes on.
  bool symbolFits(std::size_t s, std::size_t nsym) {
    double all = 0.0, shortBins = 0.0, channelShort = 0.0;
    for (std::size_t i = 0; i < 53; ++i) all += std::norm(carriers_[i]);
    all -= std::norm(carriers_[kCentre]);
    for (int k = -24; k <= 24; k += 4) {
      if (k == 0) continue;
      const auto i = static_cast<std::size_t>(k + kCentre);
      shortBins += std::norm(carriers_[i]);
      channelShort += std::norm(h_[i]);
    }
    const bool silent = !(all > 52.0 * mean_ / 30.0);
    const bool shortTraining = shortBins > 0.6 * all && channelShort < 0.4 * 52.0 * mean_;
    if (!silent && !shortTraining) return true;
    rep_.signalFits = false;
    char buf[192];
    if (silent)
      std::snprintf(buf, sizeof buf,
                    "DATA symbol %zu of %zu is silent (%.1f dB below the long training): the "
                    "frame ends before its SIGNAL field says.",
                    s + 1, nsym,
                    10.0 * std::log10(std::max(52.0 * mean_, 1e-300) / std::max(all, 1e-300)));
    else
      std::snprintf(buf, sizeof buf,
                    "DATA symbol %zu of %zu holds a short training: the next frame starts before "
                    "this one ends as its SIGNAL field says.",
                    s + 1, nsym);
    rep_.problems.push_back(buf);
    // The short training that filled the symbol's window began at most 96
    // samples (at 20 MHz) before it.
    misfitResume_ =
        det_.ltf + 128LL * os_ + 80LL * os_ * static_cast<long long>(s + 1) - 96LL * os_;
    return false;
  }

  bool decodeSignal() {
    if (!symbolAvailable(0)) {
      rep_.truncated = true;
      rep_.problems.push_back("The waveform ends before the SIGNAL field does.");
      return false;
    }
    equalise(0, pilotPolarity(0));
    std::array<float, 48> soft{}, deint{};
    for (std::size_t j = 0; j < 48; ++j) {
      const auto i = static_cast<std::size_t>(dataCarriers()[j] + kCentre);
      demap(pass_.point(i), 1, weight_[i], &soft[j]);
    }
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
      if (whole_) return;  // decoded again when all of it is there
    }

    const auto perm = interleaverPermutation(ncbps);
    // Each symbol decided writes all its soft values; only those of the
    // symbols the waveform lacks are set to 0 (unknown).
    const auto softStore = std::make_unique_for_overwrite<float[]>(nsym * ncbps);
    const std::span<float> soft(softStore.get(), nsym * ncbps);
    std::fill(soft.begin() + static_cast<long>(available * ncbps), soft.end(), 0.0f);
    double errTotal = 0.0;
    std::size_t countTotal = 0;
    const auto nbpsc = static_cast<std::size_t>(r.nbpsc);
    // The data sub-carriers that may be switched off keep their errors apart
    // until the DATA symbols have told (confirmSwitchedOff); the IQ estimate
    // leaves them out. A sub-carrier that is off (weight 0) adds nothing.
    std::array<bool, 48> pending{}, counted{};
    bool anyPending = false;
    std::size_t countedPerSymbol = 0;
    for (std::size_t j = 0; j < 48; ++j) {
      const auto i = static_cast<std::size_t>(dataCarriers()[j] + kCentre);
      pending[j] = disabled_[i];
      anyPending = anyPending || pending[j];
      counted[j] = !pending[j] && weight_[i] > 0.0;
      countedPerSymbol += counted[j] ? 1 : 0;
    }
    std::array<cplx, 53> hInvKnown = hInv_;
    for (const int k : rep_.disabledSubcarriers)
      hInvKnown[static_cast<std::size_t>(k + kCentre)] = 0.0;
    pass_.setData(r.nbpsc, perm, counted, hInvKnown);
    std::vector<double> pendingErr(anyPending ? available * 48 : 0);
    std::vector<double> errSym(available, 0.0);
    std::vector<std::size_t> countSym(available, countedPerSymbol);
    for (std::size_t s = 0; s < available; ++s) {
      const auto idx = static_cast<long long>(s) + 1;
      equalise(idx, pilotPolarity(idx));
      errSym[s] = pass_.decide(&soft[s * ncbps]);
      // A symbol of silence or of a short training decides far from the
      // constellation (-17 dB or worse even at 64-QAM): only then are its
      // samples weighed against the SIGNAL field.
      if (errSym[s] > 0.02 * static_cast<double>(countedPerSymbol) && !symbolFits(s, nsym)) {
        // What was decided before is measured; the rest is not this frame's.
        available = s;
        errSym.resize(s);
        countSym.resize(s);
        break;
      }
      for (const int k : rep_.disabledSubcarriers) {
        const auto i = static_cast<std::size_t>(k + kCentre);
        carried_[i] = carried_[i] || std::norm(carriers_[i]) > arrives_;
      }
      if (s < opt_.keepPointsSymbols) {
        for (const int k : dataCarriers())
          rep_.dataPoints.emplace_back(pass_.point(static_cast<std::size_t>(k + kCentre)));
        for (const int k : kPilots)
          rep_.pilotPoints.emplace_back(pass_.point(static_cast<std::size_t>(k + kCentre)));
      }
      if (anyPending)
        for (std::size_t j = 0; j < 48; ++j)
          if (pending[j]) pendingErr[s * 48 + j] = pass_.error(j);
      iq_.addSymbol(pass_.received(), pass_.decided());
    }
    confirmSwitchedOff(soft, perm, nbpsc);
    for (std::size_t j = 0; j < 48; ++j) {
      const auto i = static_cast<std::size_t>(dataCarriers()[j] + kCentre);
      if (!pending[j] || disabled_[i] || !(weight_[i] > 0.0)) continue;
      for (std::size_t s = 0; s < available; ++s) {
        errSym[s] += pendingErr[s * 48 + j];
        ++countSym[s];
      }
    }
    rep_.evmPerSymbolDb.assign(available, kNaN);
    for (std::size_t s = 0; s < available; ++s) {
      if (countSym[s] > 0)
        rep_.evmPerSymbolDb[s] = 10.0 * std::log10(errSym[s] / static_cast<double>(countSym[s]));
      errTotal += errSym[s];
      countTotal += countSym[s];
    }
    rep_.evmPerSubcarrierDb.assign(53, kNaN);
    for (std::size_t j = 0; j < 48; ++j) {
      const auto i = static_cast<std::size_t>(dataCarriers()[j] + kCentre);
      if (!disabled_[i] && available > 0)
        rep_.evmPerSubcarrierDb[i] =
            10.0 * std::log10(pass_.carrierError(j) / static_cast<double>(available));
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
    if (rep_.truncated || !rep_.signalFits) return;

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
    // The PSDU is whole octets: the CRC an octet at a time.
    const std::span<const std::uint8_t> octets(rep_.psdu);
    rep_.fcsComputed = crc32Octets(octets.first(octets.size() - 4));
    rep_.fcsReceived = packBits(std::span<const std::uint8_t>(rep_.psduBits).subspan(n - 32));
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
  bool whole_;  // a truncated frame is decoded only as far as SIGNAL
  int os_ = 1;
  long long backoff_ = 0;
  std::array<cplx, 53> h_{};
  std::array<bool, 53> disabled_{};  // DC, and those switched off
  std::array<bool, 53> carried_{};   // something arrived in a DATA symbol
  double mean_ = 0.0;                // mean power of the channel estimate
  double arrives_ = 0.0;             // power above which something arrived
  std::array<cplx, 53> carriers_{};  // the symbol being equalised
  std::array<cplx, 53> hInv_{};      // 1 / h, 0 where the sub-carrier is off
  std::array<double, 53> weight_{};  // |h|^2, 0 where the sub-carrier is off
  IqImbalanceEstimator iq_;
  SymbolPass pass_;
  const RateEntry* rate_ = nullptr;
  // Sampling clock tracking: sums of the fit of timing offset against time,
  // and the whole working samples the FFT window was moved by.
  FrameDc dc_;
  double sumT_ = 0.0, sumD_ = 0.0, sumTT_ = 0.0, sumTD_ = 0.0, sumDD_ = 0.0;
  std::size_t fitted_ = 0;  // symbols whose pilots gave an offset
  long long shift_ = 0;
  long long misfitResume_ = 0;  // where the search goes on when the samples contradict SIGNAL
};

}  // namespace

// ---- reports -----------------------------------------------------------------------------------

// ---- the receiver
// --------------------------------------------------------------------------------

FrameReport decodeFrame(std::span<const cplx> x, std::span<const cplx> input, const Detection& det,
                        int os, const Options& opt, long long& end, cplx captureDc, bool whole) {
  const double toInput = opt.sampleRate / (kBaseSampleRate * os);
  FrameReport rep;
  rep.mirrored = det.mirrored;
  rep.cfoHz = det.coarseHz + (det.mirrored ? -det.fineHz : det.fineHz);
  const long long startWork = std::max<long long>(0, det.ltf - 192LL * os);
  rep.start = static_cast<std::size_t>(std::llround(static_cast<double>(startWork) * toInput));
  Signal sig(x, os);
  sig.setCorrection(det.coarseHz, det.mirrored, det.fineHz);
  FrameDecoder dec(sig, det, opt, rep, whole);
  dec.setCaptureDc(captureDc);
  end = dec.run();
  if (whole && rep.truncated) return rep;
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
  // Non-finite samples (a damaged file) and lone spikes count as silence;
  // the capture's DC is taken out.
  std::vector<cplx> clean;
  CleanedSamples nonFinite, spikes;
  const cplx captureDc = cleanCapture(samples, clean, nonFinite, spikes);
  res.nonFiniteSamples = nonFinite.total();
  res.spikeSamples = spikes.total();
  // Work at 20 MHz times a whole number; other rates are resampled.
  const double ratio = opt.sampleRate / kBaseSampleRate;
  int os = static_cast<int>(std::llround(ratio));  // the rate was checked: ratio <= 500
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
    const auto endInput = static_cast<std::uint64_t>(std::max(
        0.0, std::round(static_cast<double>(end) * opt.sampleRate / (kBaseSampleRate * os))));
    noteCleaned(rep, nonFinite, spikes, rep.start, endInput);
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
