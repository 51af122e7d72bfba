// The frame search: the short training found by its delayed
// autocorrelation, the long training by correlation with one period.
#include <algorithm>
#include <array>
#include <cmath>
#include <map>
#include <mutex>
#include <numbers>
#include <vector>

#include "dot11a/synthesis.hpp"
#include "rx/signal.hpp"

namespace dot11a::rx {

// The short training repeats every 16 samples at 20 MHz: the delayed
// autocorrelation finds it and measures the carrier offset. The long training
// then fixes the timing to the sample and refines the offset.
Detection detect(const std::span<const cplx> x, long long from, int os) {
  Detection d;
  const long long L = 16LL * os, W = 64LL * os, n = static_cast<long long>(x.size());
  const long long need = 64LL * os;  // consecutive samples above the threshold
  d.resumeAt = n;
  if (n < from + L + W) return d;
  cplx p(0.0, 0.0);
  double r = 0.0, e = 0.0;
  for (long long m = 0; m < W; ++m) {
    p += x[static_cast<std::size_t>(from + m + L)] *
         std::conj(x[static_cast<std::size_t>(from + m)]);
    r += std::norm(x[static_cast<std::size_t>(from + m + L)]);
    e += std::norm(x[static_cast<std::size_t>(from + m)]);
  }
  long long runStart = -1;
  cplx runSum(0.0, 0.0);
  for (long long t = from;; ++t) {
    const double metric = (r > 1e-30 && e > 1e-30) ? std::norm(p) / (r * e) : 0.0;
    if (metric > 0.5) {
      if (runStart < 0) {
        runStart = t;
        runSum = 0.0;
      }
      runSum += p;
      if (t - runStart + 1 >= need) break;
    } else {
      runStart = -1;
    }
    if (t + L + W >= n) return d;
    // Slide the windows one sample on.
    const auto a = static_cast<std::size_t>(t), b = static_cast<std::size_t>(t + L),
               c = static_cast<std::size_t>(t + W), dd = static_cast<std::size_t>(t + W + L);
    p += x[dd] * std::conj(x[c]) - x[b] * std::conj(x[a]);
    r += std::norm(x[dd]) - std::norm(x[b]);
    e += std::norm(x[c]) - std::norm(x[a]);
    if (r < 0) r = 0;
    if (e < 0) e = 0;
  }
  const double rate = kBaseSampleRate * os;
  d.coarseHz = std::arg(runSum) / (2.0 * std::numbers::pi * static_cast<double>(L)) * rate;
  d.resumeAt = runStart + need;

  // Long training: correlate against one period around where it should start.
  static std::map<int, std::vector<cplx>> refs;
  static std::mutex refMutex;
  std::vector<cplx> ref;
  {
    std::lock_guard lock(refMutex);
    auto& slot = refs[os];
    if (slot.empty()) {
      const std::vector<cplx> mask(64, cplx(1.0, 0.0));
      const Samples seq = longSequence(os, 0, mask, false);
      slot.assign(seq.begin() + 32LL * os, seq.begin() + 96LL * os);
    }
    ref = slot;
  }
  const long long P = 64LL * os;
  double refEnergy = 0.0;
  for (const cplx& v : ref) refEnergy += std::norm(v);
  Signal sig(x, os);
  sig.setCorrection(d.coarseHz, false, 0.0);
  const long long lo = std::max<long long>(0, runStart + 96LL * os);
  const long long hi = std::min<long long>(n - 2 * P, runStart + 288LL * os);
  if (hi < lo) return d;
  std::vector<cplx> seg(static_cast<std::size_t>(hi - lo + 2 * P));
  sig.read(lo, seg.size(), seg.data());
  // Normalised correlation of a period at offset i with the reference and
  // with its mirror image (the reference conjugated), from the same four
  // sums. The products are written out (the samples are finite).
  auto corr = [&](std::size_t i) {
    double ac = 0.0, bd = 0.0, ad = 0.0, bc = 0.0, en = 0.0;
    const cplx* v = seg.data() + i;
    for (std::size_t m = 0; m < static_cast<std::size_t>(P); ++m) {
      const double a = v[m].real(), b = v[m].imag(), c = ref[m].real(), dd = ref[m].imag();
      ac += a * c;
      bd += b * dd;
      ad += a * dd;
      bc += b * c;
      en += a * a + b * b;
    }
    // Against conj(ref): (a + jb)(c + jd); against ref itself: (a + jb)(c - jd).
    if (!(en > 0)) return std::array<double, 2>{0.0, 0.0};
    const double scale = 1.0 / std::sqrt(en * refEnergy);
    return std::array<double, 2>{std::hypot(ac + bd, bc - ad) * scale,
                                 std::hypot(ac - bd, ad + bc) * scale};
  };
  double best = 0.0;
  long long bestAt = -1;
  bool bestMirror = false;
  for (long long i = 0; i <= hi - lo; ++i) {
    const auto ui = static_cast<std::size_t>(i);
    const auto c1 = corr(ui);
    if (c1[0] < 0.5 && c1[1] < 0.5) continue;
    const auto c2 = corr(ui + static_cast<std::size_t>(P));
    for (const bool mirror : {false, true}) {
      const double a = c1[mirror ? 1 : 0], b = c2[mirror ? 1 : 0];
      if (a < 0.5 || b < 0.5) continue;
      if (a + b > best) {
        best = a + b;
        bestAt = lo + i;
        bestMirror = mirror;
      }
    }
  }
  if (bestAt < 0) return d;
  d.ltf = bestAt;
  d.mirrored = bestMirror;
  sig.setCorrection(d.coarseHz, d.mirrored, 0.0);
  cplx acc(0.0, 0.0);
  std::vector<cplx> two(static_cast<std::size_t>(2 * P));
  sig.read(d.ltf, two.size(), two.data());
  for (std::size_t m = 0; m < static_cast<std::size_t>(P); ++m)
    acc += two[m + static_cast<std::size_t>(P)] * std::conj(two[m]);
  d.fineHz = std::arg(acc) / (2.0 * std::numbers::pi * static_cast<double>(P)) * rate;
  d.found = true;
  return d;
}

}  // namespace dot11a::rx
