#include "rx/subcarriers.hpp"

#include <cmath>
#include <cstdio>
#include <string>

#include "dot11a/synthesis.hpp"

namespace dot11a::rx {

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

// Taken from the synthesis itself: one period of the unwindowed sequence,
// transformed.
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

// A sub-carrier 15 dB or more below the mean whose neighbours are within
// 3 dB of it carries nothing: a transmitter's sub-carrier mask switches one
// off sharply. A multipath notch is broad, its neighbours are down too:
// such a sub-carrier, and any other 10 dB or more below the mean, is faded.
// It is decoded with the weight of its power and reported with its level.
void classifySubcarriers(const std::array<cplx, 53>& h, double mean, std::array<bool, 53>& off,
                         FrameReport& rep) {
  auto level = [&](int k) {
    const double e = std::norm(h[static_cast<std::size_t>(k + kCentre)]);
    return 10.0 * std::log10(std::max(e / mean, 1e-30));
  };
  for (int k = -26; k <= 26; ++k) {
    const auto i = static_cast<std::size_t>(k + kCentre);
    off[i] = k == 0;
    if (k == 0) continue;
    const double l = level(k);
    if (l > -10.0) continue;
    bool clean = true;
    for (const int n : {k - 1, k + 1})
      if (n != 0 && n >= -26 && n <= 26) clean = clean && level(n) > -3.0;
    if (l <= -15.0 && clean) {
      off[i] = true;
      rep.disabledSubcarriers.push_back(k);
    } else {
      rep.fadedSubcarriers.push_back(k);
      rep.fadedLevelsDb.push_back(l);
    }
  }
}

void describeSubcarriers(FrameReport& rep) {
  if (!rep.disabledSubcarriers.empty()) {
    std::string list;
    for (int k : rep.disabledSubcarriers) list += (list.empty() ? "" : ", ") + std::to_string(k);
    rep.problems.push_back(
        "Sub-carrier" + std::string(rep.disabledSubcarriers.size() > 1 ? "s " : " ") + list +
        " carr" + (rep.disabledSubcarriers.size() > 1 ? "y" : "ies") + " nothing.");
    for (int k : rep.disabledSubcarriers)
      if (isPilot(k))
        rep.notes.push_back("Pilot " + std::to_string(k) +
                            " carries nothing: the phase is tracked on the other pilots.");
  }
  if (!rep.fadedSubcarriers.empty()) {
    std::string list;
    for (std::size_t j = 0; j < rep.fadedSubcarriers.size(); ++j) {
      char buf[48];
      std::snprintf(buf, sizeof buf, "%s%d (%.1f dB)", j > 0 ? ", " : "", rep.fadedSubcarriers[j],
                    rep.fadedLevelsDb[j]);
      list += buf;
    }
    rep.notes.push_back("Faded sub-carrier" +
                        std::string(rep.fadedSubcarriers.size() > 1 ? "s " : " ") + list +
                        ": a notch in the channel; they count by their power.");
    for (std::size_t j = 0; j < rep.fadedSubcarriers.size(); ++j)
      if (isPilot(rep.fadedSubcarriers[j])) {
        char buf[128];
        std::snprintf(buf, sizeof buf,
                      "Pilot %d is faded by %.1f dB: it counts for less in the phase tracking.",
                      rep.fadedSubcarriers[j], -rep.fadedLevelsDb[j]);
        rep.notes.push_back(buf);
      }
  }
}

}  // namespace dot11a::rx
