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
#include "rx/channel_estimate.hpp"
#include "rx/constellation.hpp"
#include "rx/fields.hpp"
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
    if (signalOk) decodeDataBest();
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
    iq_.addTraining(y1, l);
    iq_.addTraining(y2, l);
    double noise = 0.0;
    for (std::size_t i = 0; i < 53; ++i)
      if (static_cast<int>(i) != kCentre) noise += std::norm(y1[i] - y2[i]);
    // The estimate's noise on one sub-carrier: the mean of two periods whose
    // difference holds the noise of both.
    noiseVar_ = noise / (4.0 * 52.0);
    // The impulse response starts at the back-off (the window is early by
    // that much); four taps before it take a transmitter's filter.
    const double first = static_cast<double>(backoff_) / os_ - 4.0;
    smooth_ = h_;
    smoothed_ = smoothChannel(h_, disabled_, noiseVar_, first, 16, smooth_) ||
                smoothChannel(h_, disabled_, noiseVar_, first - 2.0, 24, smooth_);
    const auto& measured = opt_.channelEstimate == ChannelEstimate::Preamble ? h_ : smooth_;
    setChannels(smooth_, measured);
    // A sub-carrier carries something in a DATA symbol when its power there
    // comes within 10 dB of the mean (switched off means 15 dB or more below
    // it; a 64-QAM corner of such a sub-carrier reaches 11 dB below) and
    // stands 13 dB above the noise of one bin (the training's two periods
    // differ by the noise of both), which a peak of noise does not reach.
    arrives_ = std::max(20.0 * noise / (2.0 * 52.0), 0.1 * mean);
  }

  // The channel the symbols are decoded with and the one they are measured
  // with (reported, and the flatness's). The training tells which
  // sub-carriers may be switched off; whether they are, the DATA symbols
  // tell (see confirmSwitchedOff). Until then they are decoded as faded
  // ones, by their power; only DC and a sub-carrier with no power at all
  // have a zero inverse and weight.
  void setChannels(const std::array<cplx, 53>& decode, const std::array<cplx, 53>& measure) {
    rep_.channel.assign(measure.begin(), measure.end());
    decode_ = decode;
    bool apart = false;
    for (std::size_t i = 0; i < 53; ++i) {
      const double e = std::norm(decode[i]);
      const bool none = static_cast<int>(i) == kCentre || !(e > 1e-30 * mean_) ||
                        !(std::norm(measure[i]) > 1e-30 * mean_);
      hInv_[i] = none ? cplx(0.0, 0.0) : std::conj(decode[i]) / e;
      weight_[i] = none ? 0.0 : e;
      ratio_[i] = none ? cplx(1.0, 0.0) : decode[i] / measure[i];
      apart = apart || ratio_[i] != cplx(1.0, 0.0);
    }
    pass_.setChannel(hInv_, weight_);
    pass_.setMeasurement(apart ? &ratio_ : nullptr);
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

  // Equalises one symbol and removes what has turned since the long
  // training: the common phase, and the phase slope across the sub-carriers
  // that a sampling clock offset builds up as the frame goes on. Both are
  // measured on the pilots and on the data sub-carriers decided (52 points
  // instead of 4), each weighed by its power: first the symbol is turned as
  // the symbols before predict (the phase and its step per symbol from a
  // second-order loop, joined with this symbol's pilots; the timing from the
  // line fitted so far), then the residual phase and slope of its points
  // about their decisions turn it once more. The slope is a timing offset;
  // a line with an intercept through the offsets of all symbols so far gives
  // each symbol's, so the channel estimate's own timing error goes into the
  // intercept and not into a clock offset. The FFT window follows the
  // offset in whole samples. The equalised points are the pass's.
  void equalise(long long index, double polarity, int nbpsc) {
    std::array<cplx, 53>& y = carriers_;
    // Working samples from the channel estimate (the middle of the two long
    // training windows) to this symbol's window.
    const double t = static_cast<double>(symbolStart(index) - det_.ltf - 32LL * os_ + backoff_);
    const double predicted = timingAt(t);
    shift_ = std::llround(predicted);  // |rate| <= 1e-3 over a frame's length: a few samples
    // The window's common rotation is the same on every sub-carrier, so the
    // phase tracking takes it out; only the input's DC, which does not turn
    // with the carrier, needs the window in its true phase.
    const long long n0 = symbolStart(index) + shift_;
    const bool common = dc_.inputDc();
    sig_.carriers(n0, y, common);
    dc_.remove(n0, y);
    // The symbol after next, so that its samples, which the frame search has
    // not read, are on their way from memory.
    sig_.prefetch(n0 + 160LL * os_, 80 * static_cast<std::size_t>(os_));
    // The rotation the window was left with: known, so the loop follows only
    // the rest.
    const double windowTurn =
        common ? 0.0
               : -std::remainder(sig_.hz() / sig_.rate() * static_cast<double>(n0), 1.0) * 2.0 *
                     std::numbers::pi;
    const double radPerSample = 2.0 * std::numbers::pi / (64.0 * os_);
    auto up = carrierTurns(radPerSample * (predicted - static_cast<double>(shift_)));
    // The pilots so turned, joined with the loop's prediction (worth three
    // times the pilots' weight once a symbol has been tracked).
    cplx sum(0.0, 0.0);
    double pilotWeight = 0.0;
    for (std::size_t p = 0; p < 4; ++p) {
      const auto i = static_cast<std::size_t>(kPilots[p] + kCentre);
      const auto k = static_cast<std::size_t>(std::abs(kPilots[p]));
      // disabled pilots have a zero inverse and weight, so they add nothing
      const cplx z = mul(y[i], hInv_[i]) * (kPilotSigns[p] * polarity);
      sum += mul(z, kPilots[p] > 0 ? up[k] : std::conj(up[k])) * weight_[i];
      pilotWeight += weight_[i];
    }
    if (track_.tracked > 0)
      sum += std::polar(3.0 * pilotWeight, track_.phase + track_.phaseStep + windowTurn);
    cplx rot = unitOf(std::conj(sum));
    pass_.equalise(y, up, rot);

    // The residual common phase and slope of the points about their
    // decisions (the pilots' known), each weighed by its power.
    const SymbolPass::Residual res = pass_.residual(nbpsc, polarity);
    const cplx back = unitOf(std::conj(res.common));
    const double slope =
        res.slopeWeight > 0.0 ? mul(res.slope, back).imag() / res.slopeWeight : 0.0;
    const double measured = predicted - slope / radPerSample;
    // Samples too large for the FFT give no number here; they add nothing.
    if (std::isfinite(measured)) {
      track_.sumT += t;
      track_.sumD += measured;
      track_.sumTT += t * t;
      track_.sumTD += t * measured;
      track_.sumDD += measured * measured;
      ++track_.fitted;
    }
    // The fitted offset, less what the window shift took up, as a rotation
    // per sub-carrier, and the common phase found.
    up = carrierTurns(radPerSample * (timingAt(t) - static_cast<double>(shift_)));
    rot = mul(rot, back);
    pass_.equalise(y, up, rot);
    // The loop: the phase left after the window's known rotation, and its
    // step per symbol (a carrier offset the training left over).
    const double phase = std::arg(std::conj(rot)) - windowTurn;
    if (std::isfinite(phase)) {
      if (track_.tracked > 0)
        track_.phaseStep += 0.25 * std::remainder(phase - (track_.phase + track_.phaseStep),
                                                  2.0 * std::numbers::pi);
      track_.phase = phase;
      ++track_.tracked;
    }
  }

  // z / |z|, 1 for 0 or what is not a number; |z| from its square where that
  // neither overflows nor underflows.
  static cplx unitOf(cplx z) {
    const double n2 = std::norm(z);
    const double mag = n2 > 1e-290 && n2 < 1e290 ? std::sqrt(n2) : std::abs(z);
    return mag > 0 && std::isfinite(mag) ? z / mag : cplx(1.0, 0.0);
  }
  static double pilotSign(int k) { return k == 21 ? -1.0 : 1.0; }

  // The timing offset (working samples) of a symbol at t working samples
  // from the channel estimate: the line a + b t fitted to the offsets the
  // symbols so far showed. Priors keep the first symbols from turning the
  // frame: an intercept of 0 counts as one symbol, a rate of 0 as the
  // prior's time; a longer one holds the early symbols' timing back while a
  // fast clock has already moved it. A rate beyond 1000 ppm is no clock
  // (the standard allows 20), nor an intercept beyond 4 samples at 20 MHz a
  // timing error the search leaves: the points of something that is no
  // frame cannot move the window further than that.
  double prior() const { return 320.0 * os_ * 320.0 * os_; }
  static constexpr double kInterceptPrior = 1.0;
  std::array<double, 2> line() const {
    const double n = static_cast<double>(track_.fitted) + kInterceptPrior,
                 stt = track_.sumTT + prior();
    const double det = n * stt - track_.sumT * track_.sumT;
    if (!(det > 0.0)) return {0.0, 0.0};
    const double a = (stt * track_.sumD - track_.sumT * track_.sumTD) / det,
                 b = (n * track_.sumTD - track_.sumT * track_.sumD) / det;
    if (!std::isfinite(a) || !std::isfinite(b)) return {0.0, 0.0};
    return {std::clamp(a, -4.0 * os_, 4.0 * os_), std::clamp(b, -1e-3, 1e-3)};
  }
  double timingAt(double t) const {
    const auto [a, b] = line();
    return a + b * t;
  }
  double driftRate() const { return line()[1]; }

  // Standard error of the fitted rate: the scatter of the offsets about the
  // line (two parameters fitted) through the rate's share of the inverse
  // normal matrix. The channel estimate's timing error, which every symbol
  // shares, moves the intercept, not the rate. Too few symbols to tell give
  // an infinite error.
  double driftSigma() const {
    if (track_.fitted < 3) return std::numeric_limits<double>::infinity();
    const double n = static_cast<double>(track_.fitted) + kInterceptPrior,
                 stt = track_.sumTT + prior();
    const double det = n * stt - track_.sumT * track_.sumT;
    if (!(det > 0.0)) return std::numeric_limits<double>::infinity();
    const auto [a, b] = line();
    const double m = static_cast<double>(track_.fitted);
    const double rss = track_.sumDD - 2.0 * a * track_.sumD - 2.0 * b * track_.sumTD + a * a * m +
                       2.0 * a * b * track_.sumT + b * b * track_.sumTT;
    const double var = std::max(0.0, rss) / (m - 2.0);
    return std::sqrt(var * n / det);
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
    equalise(0, pilotPolarity(0), 1);
    std::array<float, 48> soft{}, deint{};
    for (std::size_t j = 0; j < 48; ++j) {
      const auto i = static_cast<std::size_t>(dataCarriers()[j] + kCentre);
      demap(pass_.point(i), 1, weight_[i], &soft[j]);
    }
    const auto perm = interleaverPermutation(48);
    for (std::size_t k = 0; k < 48; ++k) deint[k] = soft[perm[k]];
    const auto bits = viterbiDecode(deint, kRate1_2, 24, true);
    rate_ = readSignal(bits, rep_);
    return rate_ != nullptr;
  }

  // Decodes the DATA field, and again once with the channel re-estimated
  // from it (re-encoded, re-modulated: the known points of every symbol)
  // when the measurements take that estimate, or when the FCS fails on a
  // frame whose EVM is outside its limit (a frame within it decodes what a
  // better estimate would). The second pass starts from the state the first
  // did.
  void decodeDataBest() {
    const bool dataAided = opt_.channelEstimate == ChannelEstimate::DataAided;
    const FrameReport before = rep_;
    const IqImbalanceEstimator iq = iq_;
    const Tracking track = track_;
    const auto disabled = disabled_, carried = carried_;
    keep_ = dataAided || opt_.fcs != FcsCheck::Off;
    keptSymbols_ = 0;
    decodeData();
    keep_ = false;
    if (rep_.truncated || !rep_.signalFits || rep_.psduBits.empty()) return;
    const bool retry = opt_.fcs != FcsCheck::Off && rep_.fcs != FcsState::Good && !rep_.evmPass;
    if (!retry && !dataAided) return;
    std::array<cplx, 53> h;
    if (!reestimate(h)) return;
    rep_ = before;
    iq_ = iq;
    track_ = track;
    disabled_ = disabled;
    carried_ = carried;
    setChannels(h, dataAided                                           ? h
                   : opt_.channelEstimate == ChannelEstimate::Preamble ? h_
                                                                       : smooth_);
    decodeData();
  }

  // The channel from the long training and every DATA symbol kept, its
  // points known from the decoded bits: per sub-carrier the received values
  // (turned as tracked) against the values sent, in the least-squares sense.
  bool reestimate(std::array<cplx, 53>& h) const {
    const RateEntry& r = *rate_;
    const auto ncbps = static_cast<std::size_t>(r.ncbps);
    const std::size_t nsym = keptSymbols_;
    if (nsym == 0 || nsym != rep_.dataSymbols) return false;
    const Bits coded = convolEncode(scrambled_, r.coding.value());
    if (coded.size() != nsym * ncbps) return false;
    std::array<cplx, 53> num{};
    std::array<double, 53> den{};
    for (std::size_t i = 0; i < 53; ++i) {
      num[i] = 2.0 * h_[i];
      den[i] = 2.0;
    }
    Bits block(ncbps);
    std::vector<cplx> points(48);
    for (std::size_t s = 0; s < nsym; ++s) {
      interleaveInto(std::span(coded).subspan(s * ncbps, ncbps), block);
      convertToIQInto(block, r.modulation, points);
      const cplx* y = &kept_[s * 53];
      for (std::size_t j = 0; j < 48; ++j) {
        const auto i = static_cast<std::size_t>(dataCarriers()[j] + kCentre);
        num[i] += mul(y[i], std::conj(points[j]));
        den[i] += std::norm(points[j]);
      }
      const double polarity = pilotPolarity(static_cast<long long>(s) + 1);
      for (std::size_t p = 0; p < 4; ++p) {
        const auto i = static_cast<std::size_t>(kPilots[p] + kCentre);
        num[i] += y[i] * (kPilotSigns[p] * polarity);
        den[i] += 1.0;
      }
    }
    for (std::size_t i = 0; i < 53; ++i) {
      // A sub-carrier decoded as off keeps its training's value.
      h[i] = weight_[i] > 0.0 ? num[i] / den[i] : h_[i];
      if (!std::isfinite(h[i].real()) || !std::isfinite(h[i].imag())) return false;
    }
    return true;
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
      equalise(idx, pilotPolarity(idx), r.nbpsc);
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
          rep_.dataPoints.emplace_back(pass_.measuredPoint(static_cast<std::size_t>(k + kCentre)));
        for (const int k : kPilots)
          rep_.pilotPoints.emplace_back(pass_.measuredPoint(static_cast<std::size_t>(k + kCentre)));
      }
      if (anyPending)
        for (std::size_t j = 0; j < 48; ++j)
          if (pending[j]) pendingErr[s * 48 + j] = pass_.error(j);
      iq_.addSymbol(pass_.received(), pass_.decided());
      if (keep_) {
        if (kept_.size() < (s + 1) * 53) kept_.resize(std::max((s + 1) * 53, 2 * kept_.size()));
        keptSymbols_ = s + 1;
        cplx* k = &kept_[s * 53];
        for (std::size_t i = 0; i < 53; ++i) k[i] = mul(pass_.point(i), decode_[i]);
      }
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
        std::snprintf(buf, sizeof buf, "EVM %.2f dB exceeds the %.0f dB limit of %g Mbit/s.",
                      rep_.evmDb, rep_.evmLimitDb,
                      r.mbps * (opt_.spacing ? clockFactor(*opt_.spacing) : 1.0));
        rep_.problems.push_back(buf);
      }
    }
    if (rep_.truncated || !rep_.signalFits) return;

    scrambled_ = viterbiDecode(soft, coding, nsym * ndbps, false);
    readData(scrambled_, opt_.fcs, rep_);
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
  std::array<cplx, 53> smooth_{};    // the estimate projected onto a short response
  bool smoothed_ = false;            // ... which the estimate allowed
  double noiseVar_ = 0.0;            // the estimate's noise on one sub-carrier
  std::array<cplx, 53> ratio_{};     // the decoding's channel over the measurements'
  std::array<cplx, 53> hInv_{};      // 1 / h, 0 where the sub-carrier is off
  std::array<double, 53> weight_{};  // |h|^2, 0 where the sub-carrier is off
  IqImbalanceEstimator iq_;
  SymbolPass pass_;
  const RateEntry* rate_ = nullptr;
  // Sampling clock tracking: sums of the fit of timing offset against time,
  // and the whole working samples the FFT window was moved by.
  FrameDc dc_;
  struct Tracking {
    double sumT = 0.0, sumD = 0.0, sumTT = 0.0, sumTD = 0.0, sumDD = 0.0;
    std::size_t fitted = 0;  // symbols whose points gave an offset
    // The phase loop: the last symbol's phase (less the window's known
    // rotation), its step per symbol and the symbols tracked.
    double phase = 0.0, phaseStep = 0.0;
    std::size_t tracked = 0;
  } track_;
  // The channel the symbols are decoded with.
  std::array<cplx, 53> decode_{};
  // For the channel re-estimated from the data: whether to keep the
  // symbols, each symbol's 53 received values turned as tracked, and the
  // DATA field's bits as decoded (still scrambled).
  bool keep_ = false;
  std::vector<cplx>& kept_ = keptStore();  // kept from frame to frame: no fresh pages each
  std::size_t keptSymbols_ = 0;
  static std::vector<cplx>& keptStore() {
    thread_local std::vector<cplx> store;
    return store;
  }
  Bits scrambled_;
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

namespace {

constexpr const char* kNoFrame = "No 802.11a frame was found in the waveform.";

// Finds and decodes the 20 MHz frames of the waveform.
Result receiveWide(std::span<const cplx> samples, const Options& opt) {
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
  if (res.frames.empty()) res.problem = kNoFrame;
  return res;
}

// A report of the 20 MHz time base at the frames' own spacing: every
// frequency and rate scales by the clock, sample positions stay.
void atSpacing(FrameReport& r, ChannelSpacing s) {
  const double f = clockFactor(s);
  r.spacing = s;
  r.cfoHz *= f;
  r.rateMbps *= f;
  r.maskCoveredHz *= f;
  r.maskWorstFrequencyHz *= f;
}

// A frame at spacing S sampled at rate R holds the samples of a 20 MHz frame
// sampled at R x 20 MHz / S: it is decoded as that, and reported at S.
Result receiveAt(std::span<const cplx> samples, const Options& opt, ChannelSpacing s) {
  if (s == ChannelSpacing::MHz20) return receiveWide(samples, opt);
  Options o = opt;
  o.sampleRate = opt.sampleRate / clockFactor(s);
  o.spacing = s;  // the messages state frequencies and rates at the spacing
  if (opt.onFrame)
    o.onFrame = [&](const FrameReport& r, std::size_t searched) {
      FrameReport at = r;
      atSpacing(at, s);
      return opt.onFrame(at, searched);
    };
  Result res = receiveWide(samples, o);
  res.sampleRate = opt.sampleRate;
  for (FrameReport& r : res.frames) atSpacing(r, s);
  return res;
}

bool anyDecoded(const Result& r) {
  return std::any_of(r.frames.begin(), r.frames.end(),
                     [](const FrameReport& f) { return f.decoded(); });
}

}  // namespace

Result receive(std::span<const cplx> samples, const Options& opt) {
  if (opt.spacing) return receiveAt(samples, opt, *opt.spacing);
  Result wide = receiveWide(samples, opt);
  // Decoded, or refused before the search (an empty waveform, a bad rate).
  const bool refused = wide.frames.empty() && wide.problem != kNoFrame;
  if (anyDecoded(wide) || refused) return wide;
  // Nothing decodes as 20 MHz frames: narrower channels, at rates that hold
  // at least one sample per chip of theirs.
  for (ChannelSpacing s : {ChannelSpacing::MHz10, ChannelSpacing::MHz5}) {
    if (opt.sampleRate < baseSampleRateOf(s)) continue;
    Result narrow = receiveAt(samples, opt, s);
    if (anyDecoded(narrow)) return narrow;
  }
  return wide;
}

}  // namespace dot11a::rx
