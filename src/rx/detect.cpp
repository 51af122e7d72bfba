// The frame search: the short training found by its delayed
// autocorrelation, the long training by correlation with one period.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <map>
#include <mutex>
#include <numbers>
#include <vector>

#include "core/vector_dispatch.hpp"
#include "dot11a/synthesis.hpp"
#include "rx/signal.hpp"

namespace dot11a::rx {

namespace {

// The short training's autocorrelation metric |P|^2 / (R E) over 64
// samples at 20 MHz stays near (S / (S + N))^2 across the training: about
// 0.25 in noise as strong as the frame, where the weakest frames that decode
// lie. A run of kShortRun positions above kShortThreshold marks a candidate;
// noise alone rarely holds one (its metric has a mean of 1/64), and the long
// training then confirms a candidate or rejects it.
constexpr double kShortThreshold = 0.13;
constexpr long long kShortRun = 32;
// The long training's normalised correlation with its known period: both
// periods together at least kLongThreshold, neither below kLongEach. Noise
// in the frame's band correlates with the period at about 1/8.
constexpr double kLongThreshold = 0.45;
constexpr double kLongEach = 0.3;

// Sums over blocks of B = 16 x os samples (one short training period): the
// lag-B products x[i + B] conj(x[i]) and the energies |x[i]|^2. A complex
// sample is a pair of doubles (re, im): the real part of the product is the
// pair-wise product summed, the imaginary part the product with the later
// sample's pair swapped, differenced. Two samples (four doubles) at a time,
// in two lanes for the additions to overlap; the processor's widest vectors
// take them in one instruction.
struct BlockSums {
  cplx p;
  double e;
};
typedef double Quad __attribute__((vector_size(32)));
DOT11A_KERNEL BlockSums blockSumsKernel(const cplx* x, long long B) {
  Quad re[2] = {}, im[2] = {}, en[2] = {};
  // B is a multiple of 16.
  for (long long i = 0; i < B; i += 4)
    for (long long k = 0; k < 2; ++k) {
      Quad a, b;
      std::memcpy(&a, &x[i + 2 * k], sizeof a);
      std::memcpy(&b, &x[i + 2 * k + B], sizeof b);
      const Quad bSwapped = {b[1], b[0], b[3], b[2]};
      re[k] += a * b;
      im[k] += a * bSwapped;
      en[k] += a * a;
    }
  const Quad r = re[0] + re[1], q = im[0] + im[1], e = en[0] + en[1];
  // re: (ar br, ai bi) per sample; im: (ar bi, ai br)
  return {cplx((r[0] + r[2]) + (r[1] + r[3]), (q[0] + q[2]) - (q[1] + q[3])),
          (e[0] + e[2]) + (e[1] + e[3])};
}

// Where the exact search must start looking, at or after `from`: the
// autocorrelation metric is worked out every B samples from block sums, and
// the search resumes one block before the first point that comes near the
// threshold. A run of 4B samples above the threshold always holds one of
// those points, so none is missed. The last few blocks before `end` are left
// to the exact search. The blocks are summed a batch at a time, and the
// metrics of the batch's points worked out in one loop that runs as vector
// code, each with the same sums in the same order as alone.
DOT11A_KERNEL long long nextCandidateKernel(std::span<const cplx> x, long long from, long long end,
                                            long long B) {
  // Under the exact threshold: a margin for the metric's coarser steps.
  constexpr double kNear = 0.75 * kShortThreshold;
  if (from + 6 * B > end) return from;
  const cplx* base = x.data() + from;
  // Point j (at from + jB) takes blocks j .. j + 4; the last point is the
  // last whose blocks end 6B before `end`.
  const long long last = (end - from) / B - 6;
  constexpr long long kBatch = 64;
  // Blocks j0 .. j0 + kBatch + 3 of the batch at j0, parts apart.
  alignas(32) std::array<double, kBatch + 4> pr{}, pi{}, en{};
  alignas(32) std::array<bool, kBatch> near{};
  auto sumBlock = [&](long long j, long long k) {
    const BlockSums s = blockSumsKernel(base + j * B, B);
    const auto i = static_cast<std::size_t>(k);
    pr[i] = s.p.real();
    pi[i] = s.p.imag();
    en[i] = s.e;
  };
  for (long long k = 0; k < 4; ++k) sumBlock(k, k);
  for (long long j0 = 0; j0 <= last; j0 += kBatch) {
    const long long count = std::min(kBatch, last - j0 + 1);
    for (long long k = 0; k < count; ++k) sumBlock(j0 + k + 4, k + 4);
    for (std::size_t k = 0; k < static_cast<std::size_t>(count); ++k) {
      const double p0 = (((0.0 + pr[k]) + pr[k + 1]) + pr[k + 2]) + pr[k + 3];
      const double p1 = (((0.0 + pi[k]) + pi[k + 1]) + pi[k + 2]) + pi[k + 3];
      const double e = (((0.0 + en[k]) + en[k + 1]) + en[k + 2]) + en[k + 3];
      const double r = e - en[k] + en[k + 4];
      near[k] = p0 * p0 + p1 * p1 > kNear * r * e;
    }
    for (long long k = 0; k < count; ++k)
      if (near[static_cast<std::size_t>(k)]) return std::max(from, from + (j0 + k - 1) * B);
    // The batch's last four blocks begin the next.
    for (std::size_t k = 0; k < 4; ++k) {
      const auto at = static_cast<std::size_t>(count) + k;
      pr[k] = pr[at];
      pi[k] = pi[at];
      en[k] = en[at];
    }
  }
  return std::max(from, from + last * B);
}
DOT11A_VECTOR_VARIANTS(long long, nextCandidate,
                       (std::span<const cplx> x, long long from, long long end, long long B),
                       (x, from, end, B))

// One period of the long training at the working rate, and what the search
// correlates segments with: the conjugated spectra of the period and of its
// mirror image (the period conjugated), zero-padded to n points and divided
// by n, so that one product and an inverse transform give the correlation.
struct LongReference {
  std::size_t n = 0;
  double energy = 0.0;
  std::vector<cplx> plain, mirror;
};

const LongReference& longReference(int os) {
  static std::map<int, LongReference> refs;
  static std::mutex refMutex;
  std::lock_guard lock(refMutex);
  // std::map keeps its elements in place: the reference stays valid.
  if (const auto found = refs.find(os); found != refs.end()) return found->second;
  LongReference r;
  const std::vector<cplx> mask(64, cplx(1.0, 0.0));
  const Samples seq = longSequence(os, 0, mask, false);
  const auto P = static_cast<std::size_t>(64 * os);
  const std::size_t n = 512 * static_cast<std::size_t>(os);
  fft::Buffer in(n, "The frame search's reference"), out(n, "The frame search's reference");
  const fftw_plan forward = forwardPlan(n, true);
  for (const bool conjugated : {false, true}) {
    std::fill(in.data(), in.data() + n, cplx(0.0, 0.0));
    for (std::size_t m = 0; m < P; ++m) {
      const cplx v = seq[32 * static_cast<std::size_t>(os) + m];
      in.data()[m] = conjugated ? std::conj(v) : v;
    }
    fftw_execute_dft(forward, in.get(), out.get());
    std::vector<cplx>& spectrum = conjugated ? r.mirror : r.plain;
    spectrum.resize(n);
    for (std::size_t k = 0; k < n; ++k)
      spectrum[k] = std::conj(out.data()[k]) / static_cast<double>(n);
  }
  for (std::size_t m = 0; m < P; ++m)
    r.energy += std::norm(seq[32 * static_cast<std::size_t>(os) + m]);
  r.n = n;
  return refs.emplace(os, std::move(r)).first->second;
}

// The taps of the search's low-pass filter at 20 MHz x os: a Hann-windowed
// sinc of 8 os + 1 taps with its cut-off at 9 MHz, which passes the frame's
// 8.3 MHz and leaves out the noise beyond (four fifths of it at 80 MHz).
const std::vector<double>& searchFilter(int os) {
  static std::map<int, std::vector<double>> filters;
  static std::mutex filterMutex;
  std::lock_guard lock(filterMutex);
  if (const auto found = filters.find(os); found != filters.end()) return found->second;
  const int n = 8 * os + 1, mid = 4 * os;
  std::vector<double> h(static_cast<std::size_t>(n));
  const double fc = 9e6 / (kBaseSampleRate * os);
  double sum = 0.0;
  for (int i = 0; i < n; ++i) {
    const double t = i - mid;
    const double sinc =
        t == 0 ? 2.0 * fc : std::sin(2.0 * std::numbers::pi * fc * t) / (std::numbers::pi * t);
    const double w = 0.5 - 0.5 * std::cos(2.0 * std::numbers::pi * (i + 1) / (n + 1));
    h[static_cast<std::size_t>(i)] = sinc * w;
    sum += sinc * w;
  }
  for (double& v : h) v /= sum;
  return filters.emplace(os, std::move(h)).first->second;
}

// out[m] for m = 0 .. count - 1: the input filtered and taken every os-th
// sample, out[m] centred on x[(m0 + m) os] (0 outside x).
void decimate(std::span<const cplx> x, int os, long long m0, std::size_t count, cplx* out) {
  const auto& h = searchFilter(os);
  const long long mid = 4LL * os, n = static_cast<long long>(x.size());
  const auto taps = static_cast<long long>(h.size());
  for (std::size_t m = 0; m < count; ++m) {
    const long long first = (m0 + static_cast<long long>(m)) * os - mid;
    double re = 0.0, im = 0.0;
    if (first >= 0 && first + taps <= n) {
      const double* p = reinterpret_cast<const double*>(x.data() + first);
      for (long long k = 0; k < taps; ++k) {
        re += h[static_cast<std::size_t>(k)] * p[2 * k];
        im += h[static_cast<std::size_t>(k)] * p[2 * k + 1];
      }
    } else {
      for (long long k = std::max(0LL, -first); k < taps && first + k < n; ++k) {
        re += h[static_cast<std::size_t>(k)] * x[static_cast<std::size_t>(first + k)].real();
        im += h[static_cast<std::size_t>(k)] * x[static_cast<std::size_t>(first + k)].imag();
      }
    }
    out[m] = cplx(re, im);
  }
}

// Two windows a period apart hold the long training.
bool longPair(double a, double b) {
  return a >= kLongEach && b >= kLongEach && a + b >= 2.0 * kLongThreshold;
}

// A run of the short training's metric at 20 MHz.
struct ShortRun {
  bool found = false;
  long long start = 0;   // its first position
  cplx sum;              // the lag products summed over it
  long long resume = 0;  // where the search goes on when the run is no frame
};

// The first run of kShortRun positions above the threshold whose windows
// (64 samples and the lag of 16) start at or after `from` and end before
// `end`, in s at 20 MHz.
ShortRun findShortRun(std::span<const cplx> s, long long from, long long end) {
  constexpr long long L = 16, W = 64;
  ShortRun run;
  for (;;) {
    // Skip what cannot hold the short training, then slide the exact metric
    // sample by sample until a run is found or the metric has fallen back.
    const long long start = nextCandidate(s, from, end, L);
    if (start < 0 || end < start + L + W) {
      run.resume = end;
      return run;
    }
    cplx p(0.0, 0.0);
    double r = 0.0, e = 0.0;
    for (long long m = 0; m < W; ++m) {
      p += s[static_cast<std::size_t>(start + m + L)] *
           std::conj(s[static_cast<std::size_t>(start + m)]);
      r += std::norm(s[static_cast<std::size_t>(start + m + L)]);
      e += std::norm(s[static_cast<std::size_t>(start + m)]);
    }
    long long runStart = -1;
    cplx runSum(0.0, 0.0);
    long long t = start;
    for (;; ++t) {
      const double metric = (r > 1e-30 && e > 1e-30) ? std::norm(p) / (r * e) : 0.0;
      if (metric > kShortThreshold) {
        if (runStart < 0) {
          runStart = t;
          runSum = 0.0;
        }
        runSum += p;
        if (t - runStart + 1 >= kShortRun) {
          run.found = true;
          run.start = runStart;
          run.sum = runSum;
          run.resume = runStart + kShortRun;
          return run;
        }
      } else {
        runStart = -1;
        // Two blocks past where the coarse metric came near and no run
        // under way: back to the coarse search.
        if (t >= start + 3 * L) break;
      }
      if (t + L + W >= end) {
        // A run under way goes on in what follows.
        run.resume = runStart >= 0 ? runStart : t;
        return run;
      }
      // Slide the windows one sample on.
      const auto a = static_cast<std::size_t>(t), b = static_cast<std::size_t>(t + L),
                 c = static_cast<std::size_t>(t + W), dd = static_cast<std::size_t>(t + W + L);
      p += s[dd] * std::conj(s[c]) - s[b] * std::conj(s[a]);
      r += std::norm(s[dd]) - std::norm(s[b]);
      e += std::norm(s[c]) - std::norm(s[a]);
      if (r < 0) r = 0;
      if (e < 0) e = 0;
    }
    from = t + 1;
  }
}

// The same on x at 20 MHz x os, in working samples: searched at 20 MHz on
// x filtered to the frame's band, a stretch at a time.
ShortRun findShortRun(std::span<const cplx> x, long long from, long long end, int os) {
  if (os == 1) return findShortRun(x, from, end);
  // Stretches overlap by more than a run and its windows, so a run that one
  // ends in the middle of lies whole in the next.
  constexpr long long kStretch = 1 << 13, kOverlap = 256;
  thread_local std::vector<cplx> buffer;
  buffer.resize(static_cast<std::size_t>(kStretch + kOverlap));
  long long m0 = (from + os - 1) / os;
  const long long mEnd = end / os;
  for (;;) {
    if (m0 >= mEnd) break;
    const long long count = std::min(kStretch + kOverlap, mEnd - m0);
    decimate(x, os, m0, static_cast<std::size_t>(count), buffer.data());
    const ShortRun r = findShortRun(
        std::span<const cplx>(buffer.data(), static_cast<std::size_t>(count)), 0, count);
    if (r.found) {
      ShortRun w = r;
      w.start = (m0 + r.start) * os;
      w.resume = (m0 + r.resume) * os;
      return w;
    }
    if (m0 + count >= mEnd) break;
    m0 += std::max<long long>(1, std::min(r.resume, count - kOverlap));
  }
  ShortRun none;
  none.resume = end;
  return none;
}

}  // namespace

// The short training repeats every 16 samples at 20 MHz: the delayed
// autocorrelation finds it and measures the carrier offset. The long training
// then fixes the timing to the sample and refines the offset.
Detection detect(const std::span<const cplx> x, long long from, int os, long long searchEnd) {
  Detection d;
  const long long n = static_cast<long long>(x.size());
  // The short training must be found in windows that end before `end`; the
  // long training after it may lie beyond.
  const long long end = searchEnd < 0 ? n : std::min(searchEnd, n);
  d.resumeAt = n;
  const ShortRun run = findShortRun(x, from, end, os);
  if (!run.found) return d;
  const long long runStart = run.start;
  const double rate = kBaseSampleRate * os;
  d.coarseHz = std::arg(run.sum) / (2.0 * std::numbers::pi * 16.0) * kBaseSampleRate;
  d.resumeAt = run.resume;

  // Long training: correlate against one period around where it should start.
  const LongReference& ref = longReference(os);
  const long long P = 64LL * os;
  Signal sig(x, os);
  sig.setCorrection(d.coarseHz, false, 0.0);
  const long long lo = std::max<long long>(0, runStart + 96LL * os);
  const long long hi = std::min<long long>(n - 2 * P, runStart + 288LL * os);
  if (hi < lo) return d;
  // The segment and its correlations with the period and with its mirror
  // image (the period conjugated) at every offset, through the transform: the
  // segment (at most 384 x os samples) padded to n, so offsets up to its
  // length less a period do not wrap. It reaches a period beyond the pairs
  // of the range, so that the pair one period after the best can be
  // weighed too.
  const auto segLength = static_cast<std::size_t>(hi - lo + 3 * P);
  fft::Buffer seg(ref.n, "The frame search's long training segment"),
      spectrum(ref.n, "The frame search's long training spectrum"),
      product(ref.n, "The frame search's long training correlation"),
      mirrorProduct(ref.n, "The frame search's long training correlation");
  sig.read(lo, segLength, seg.data());
  std::fill(seg.data() + segLength, seg.data() + ref.n, cplx(0.0, 0.0));
  fftw_execute_dft(forwardPlan(ref.n, true), seg.get(), spectrum.get());
  const fftw_plan inverse = fft::plan(ref.n, fft::Direction::Inverse, true);
  // Oversampled, the correlations are normalised by the energy in the
  // frame's band (+-9 MHz): the noise beyond would count os times over and
  // hide a weak frame that the correlation itself finds.
  const cplx* inBand = seg.data();
  fft::Buffer band(os > 1 ? ref.n : 1, "The frame search's long training segment");
  if (os > 1) {
    const auto edge = static_cast<std::size_t>(9e6 / rate * static_cast<double>(ref.n));
    for (std::size_t k = 0; k < ref.n; ++k)
      product.data()[k] = k <= edge || k >= ref.n - edge
                              ? spectrum.data()[k] / static_cast<double>(ref.n)
                              : cplx(0.0, 0.0);
    fftw_execute_dft(inverse, product.get(), band.get());
    inBand = band.data();
  }
  for (std::size_t k = 0; k < ref.n; ++k) {
    product.data()[k] = mul(spectrum.data()[k], ref.plain[k]);
    mirrorProduct.data()[k] = mul(spectrum.data()[k], ref.mirror[k]);
  }
  fftw_execute_dft(inverse, product.get(), spectrum.get());
  fftw_execute_dft(inverse, mirrorProduct.get(), product.get());
  const cplx* againstPlain = spectrum.data();
  const cplx* againstMirror = product.data();
  // The energy of the period at each offset, slid along; a window more than
  // 120 dB below the segment's strongest holds nothing but the rounding of
  // the others and counts as silence.
  const auto offsets = static_cast<std::size_t>(hi - lo + 2 * P + 1);
  std::vector<double> energy(offsets);
  {
    double e = 0.0, top = 0.0;
    for (std::size_t m = 0; m < static_cast<std::size_t>(P); ++m) e += std::norm(inBand[m]);
    for (std::size_t i = 0; i < offsets; ++i) {
      if (i > 0)
        e += std::norm(inBand[i + static_cast<std::size_t>(P) - 1]) - std::norm(inBand[i - 1]);
      energy[i] = e;
      top = std::max(top, e);
    }
    for (double& v : energy)
      if (!(v > 1e-12 * top)) v = 0.0;
  }
  // Normalised correlation of the period at offset i with the reference
  // (mirror false) and with its mirror image.
  auto corr = [&](std::size_t i) {
    if (!(energy[i] > 0)) return std::array<double, 2>{0.0, 0.0};
    const double scale = 1.0 / std::sqrt(energy[i] * ref.energy);
    return std::array<double, 2>{std::sqrt(std::norm(againstPlain[i])) * scale,
                                 std::sqrt(std::norm(againstMirror[i])) * scale};
  };
  double best = 0.0;
  long long bestAt = -1;
  bool bestMirror = false;
  for (long long i = 0; i <= hi - lo; ++i) {
    const auto ui = static_cast<std::size_t>(i);
    const auto c1 = corr(ui);
    if (c1[0] < kLongEach && c1[1] < kLongEach) continue;
    const auto c2 = corr(ui + static_cast<std::size_t>(P));
    for (const bool mirror : {false, true}) {
      const double a = c1[mirror ? 1 : 0], b = c2[mirror ? 1 : 0];
      if (!longPair(a, b)) continue;
      if (a + b > best) {
        best = a + b;
        bestAt = lo + i;
        bestMirror = mirror;
      }
    }
  }
  if (bestAt < 0) return d;
  // The guard interval before the long training is the second half of its
  // period, so the window a period early matches half way and, with the
  // first period after it, can pass for the training. Where the range ends
  // between the two, the pair a period later is the true one when it
  // correlates better.
  {
    const auto later = static_cast<std::size_t>(bestAt - lo + P);
    const std::size_t m = bestMirror ? 1 : 0;
    const double a = corr(later)[m], b = corr(later + static_cast<std::size_t>(P))[m];
    if (longPair(a, b) && a + b > best) bestAt += P;
  }
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
