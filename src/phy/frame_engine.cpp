// The fast path of the frame synthesis: cached shapes, gather tables, the
// encoder's mother code and the symbol writer.
#include "phy/frame_engine.hpp"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <mutex>

#include "dot11a/bits.hpp"
#include "dot11a/error.hpp"

namespace dot11a::detail {

namespace {

bool sameKey(const Shape& s, int oversampling, int windowLength, std::span<const cplx> mask64,
             bool sincComp) {
  return s.oversampling == oversampling && s.windowLength == windowLength &&
         s.sincComp == sincComp && std::equal(mask64.begin(), mask64.end(), s.mask64.begin());
}

std::shared_ptr<const Shape> makeShape(int os, int w, std::span<const cplx> mask64, bool sincComp) {
  auto s = std::make_shared<Shape>();
  s->oversampling = os;
  s->windowLength = w;
  s->sincComp = sincComp;
  std::copy(mask64.begin(), mask64.end(), s->mask64.begin());
  const std::size_t n = 64u * static_cast<std::size_t>(os);
  s->n = n;
  s->cp = n / 4;
  const std::span<const double> g = sincComp ? sincCompensationGains(n) : std::span<const double>();
  const double scale = 1.0 / static_cast<double>(n);
  // Sub-carriers -26 ... +26 (k = 0 ... 52): pilots at -21, -7, +7 and +21
  // (the last with the opposite sign), DC empty, data everywhere else.
  std::size_t d = 0, p = 0;
  for (int k = 0; k < 53; ++k) {
    if (k == 26) continue;
    const int sc = k - 26;
    const std::size_t b = static_cast<std::size_t>(sc >= 0 ? sc : 64 + sc);
    const std::size_t at = b < 32 ? b : b + (n - 64);
    cplx gain = mask64[b];
    if (sincComp) gain *= g[at];
    gain *= scale;
    if (k == 5 || k == 19 || k == 33 || k == 47) {
      s->pilotBin[p] = static_cast<std::uint16_t>(at);
      s->pilotGain[p++] = k == 47 ? -gain : gain;
    } else {
      s->dataBin[d] = static_cast<std::uint16_t>(at);
      s->dataGain[d++] = gain;
    }
  }
  const std::size_t wl = static_cast<std::size_t>(std::max(w, 0));
  s->head.resize(wl);
  s->tail.resize(wl);
  for (std::size_t k = 0; k < wl; ++k) {
    s->head[k] = windowWeight(static_cast<int>(k + 1), w);
    s->tail[k] = windowWeight(static_cast<int>(wl - k), w);
  }
  s->plan = alignedInversePlan(n);
  // The preamble exactly as the stage functions build it: the long training
  // sequence overlap-added after the short one.
  const Samples shortSeq = shortSequence(os, w, mask64, sincComp);
  const Samples longSeq = longSequence(os, w, mask64, sincComp);
  s->preamble.assign(320 * static_cast<std::size_t>(os) + wl, cplx(0.0, 0.0));
  for (std::size_t k = 0; k < shortSeq.size(); ++k) s->preamble[k] += shortSeq[k];
  const std::size_t at = 160 * static_cast<std::size_t>(os);
  for (std::size_t k = 0; k < longSeq.size(); ++k) s->preamble[at + k] += longSeq[k];
  return s;
}

Coding makeCoding(int modulation, int rateIndex, bool interleaver) {
  static constexpr double kRates[] = {1.0, kRate1_2, kRate2_3, kRate3_4};
  const double rate = kRates[rateIndex];
  const auto mod = static_cast<Modulation>(modulation);
  Coding c;
  c.bits = bitsPerSubcarrier(mod);
  const std::size_t k = static_cast<std::size_t>(c.bits);
  const std::size_t ncbps = 48 * k;
  c.encoded = rate != 1.0;
  c.ndbps = static_cast<std::size_t>(std::llround(static_cast<double>(ncbps) * rate));
  c.srcPerSymbol = c.encoded ? 2 * c.ndbps : ncbps;
  // Which bit of the mother code each coded bit of a symbol is. The puncturing
  // period divides every symbol, so the pattern restarts with each symbol.
  std::vector<std::uint16_t> kept;
  std::size_t kept1 = 0;
  for (std::size_t m = 0; m < c.srcPerSymbol; ++m) {
    const std::size_t pos = m + 1;
    if (c.encoded && rate == kRate2_3 && pos % 4 == 0) continue;
    if (c.encoded && rate == kRate3_4) {
      if (pos % 6 == 4) continue;
      if (++kept1 % 5 == 4) continue;
    }
    kept.push_back(static_cast<std::uint16_t>(m));
  }
  if (kept.size() != ncbps) raise("codingFor: puncturing does not fill whole symbols.");
  // Interleaved bit q is coded bit inv[q].
  std::vector<std::uint16_t> inv(ncbps);
  if (interleaver) {
    const auto perm = interleaverPermutation(ncbps);
    for (std::size_t q = 0; q < ncbps; ++q) inv[perm[q]] = static_cast<std::uint16_t>(q);
  } else {
    for (std::size_t q = 0; q < ncbps; ++q) inv[q] = static_cast<std::uint16_t>(q);
  }
  c.gather.resize(ncbps);
  for (std::size_t q = 0; q < ncbps; ++q) c.gather[q] = kept[inv[q]];
  // The mapper's own points for every bit pattern.
  for (std::size_t idx = 0; idx < (std::size_t{1} << k); ++idx) {
    std::uint8_t pattern[6];
    for (std::size_t j = 0; j < k; ++j)
      pattern[j] = static_cast<std::uint8_t>((idx >> (k - 1 - j)) & 1u);
    convertToIQInto(std::span<const std::uint8_t>(pattern, k), mod,
                    std::span<cplx>(&c.points[idx], 1));
  }
  return c;
}

int rateIndexOf(double rate) {
  if (rate == kRate1_2) return 1;
  if (rate == kRate2_3) return 2;
  if (rate == kRate3_4) return 3;
  return 0;
}

// The textbook product, as std::complex computes it for finite values, without
// the library's recovery of infinities and NaNs (finite points, finite gains).
inline cplx times(cplx x, cplx y) {
  return {x.real() * y.real() - x.imag() * y.imag(), x.real() * y.imag() + x.imag() * y.real()};
}

// One period of the frame-synchronous scrambler's sequence for each seed.
const std::array<std::array<std::uint8_t, 127>, 128>& scramblerPeriods() {
  static const auto kTable = [] {
    std::array<std::array<std::uint8_t, 127>, 128> t{};
    for (unsigned seed = 0; seed < 128; ++seed) {
      unsigned reg = seed;  // seed bit k (LSB first) is register bit k
      for (std::size_t i = 0; i < 127; ++i) {
        const unsigned x = ((reg >> 3) ^ (reg >> 6)) & 1u;
        reg = ((reg << 1) | x) & 0x7Fu;
        t[seed][i] = static_cast<std::uint8_t>(x);
      }
    }
    return t;
  }();
  return kTable;
}

// Aligned FFT input and output of the calling thread, kept between frames. The
// input is zero except at the 52 occupied bins, which every symbol rewrites
// (their places depend only on the FFT size).
struct Scratch {
  std::size_t n = 0;
  cplx* bins = nullptr;
  cplx* body = nullptr;
  ~Scratch() { release(); }
  void release() {
    fftw_free(bins);
    fftw_free(body);
    bins = body = nullptr;
    n = 0;
  }
  void prepare(std::size_t size) {
    if (size == n) return;
    release();
    bins = reinterpret_cast<cplx*>(fftw_malloc(sizeof(cplx) * size));
    body = reinterpret_cast<cplx*>(fftw_malloc(sizeof(cplx) * size));
    if (bins == nullptr || body == nullptr) {
      release();
      throw std::bad_alloc();
    }
    std::fill(bins, bins + size, cplx(0.0, 0.0));
    n = size;
  }
};

template <int K>
void mapSymbol(const Coding& c, const Shape& sh, const std::uint8_t* src, cplx* bins) {
  const std::uint16_t* g = c.gather.data();
  for (std::size_t p = 0; p < 48; ++p, g += K) {
    unsigned idx = 0;
    for (int j = 0; j < K; ++j) idx = (idx << 1) | src[g[j]];
    bins[sh.dataBin[p]] = times(c.points[idx], sh.dataGain[p]);
  }
}

}  // namespace

std::shared_ptr<const Shape> shapeFor(int oversampling, int windowLength,
                                      std::span<const cplx> mask64, bool sincComp) {
  if (mask64.size() != 64)
    raise("The sub-carrier mask must hold 64 values in bin order, not " +
          std::to_string(mask64.size()) + ".");
  if (oversampling < 1) raise("The oversampling rate must be 1 or more.");
  thread_local std::shared_ptr<const Shape> last;
  if (last && sameKey(*last, oversampling, windowLength, mask64, sincComp)) return last;
  static std::mutex mutex;
  static std::vector<std::shared_ptr<const Shape>> cache;
  {
    std::lock_guard lock(mutex);
    for (const auto& s : cache)
      if (sameKey(*s, oversampling, windowLength, mask64, sincComp)) return last = s;
  }
  auto made = makeShape(oversampling, windowLength, mask64, sincComp);
  std::lock_guard lock(mutex);
  constexpr std::size_t kCapacity = 32;  // settings in use at once; the oldest go first
  if (cache.size() >= kCapacity) cache.erase(cache.begin());
  cache.push_back(made);
  return last = made;
}

const Coding& codingFor(int modulation, double encoderRate, bool interleaver) {
  static const std::array<Coding, 32> kTable = [] {
    std::array<Coding, 32> t;
    for (int m = 1; m <= 4; ++m)
      for (int r = 0; r < 4; ++r)
        for (int i = 0; i < 2; ++i) t[(m - 1) * 8 + r * 2 + i] = makeCoding(m, r, i != 0);
    return t;
  }();
  if (modulation < 1 || modulation > 4) raise("codingFor: unknown modulation.");
  return kTable[static_cast<std::size_t>((modulation - 1) * 8 + rateIndexOf(encoderRate) * 2 +
                                         (interleaver ? 1 : 0))];
}

void motherEncode(std::span<const std::uint8_t> in, std::uint8_t* out) {
  // Output A (133 octal) is in(t) ^ in(t-2) ^ in(t-3) ^ in(t-5) ^ in(t-6) and
  // output B (171 octal) is in(t) ^ in(t-1) ^ in(t-2) ^ in(t-3) ^ in(t-6): on
  // a copy with six leading zeros (the start state) both are XORs of shifted
  // byte rows, which the compiler turns into vector code.
  thread_local std::vector<std::uint8_t> padded;
  const std::size_t n = in.size();
  padded.assign(n + 6, 0);
  std::uint8_t* p = padded.data();  // p[t + 6] is in(t)
  for (std::size_t t = 0; t < n; ++t) p[t + 6] = in[t] & 1u;
  for (std::size_t t = 0; t < n; ++t) {
    const unsigned a = p[t + 6] ^ p[t + 4] ^ p[t + 3] ^ p[t + 1] ^ p[t];
    const unsigned b = p[t + 6] ^ p[t + 5] ^ p[t + 4] ^ p[t + 3] ^ p[t];
    out[2 * t] = static_cast<std::uint8_t>(a);
    out[2 * t + 1] = static_cast<std::uint8_t>(b);
  }
}

SymbolWriter::SymbolWriter(const Shape& shape) : shape_(shape) {
  thread_local Scratch scratch;
  scratch.prepare(shape.n);
  bins_ = scratch.bins;
  body_ = scratch.body;
}

const cplx* SymbolWriter::build(const Coding& c, const std::uint8_t* src, long long pilotIndex) {
  switch (c.bits) {
    case 1:
      mapSymbol<1>(c, shape_, src, bins_);
      break;
    case 2:
      mapSymbol<2>(c, shape_, src, bins_);
      break;
    case 4:
      mapSymbol<4>(c, shape_, src, bins_);
      break;
    default:
      mapSymbol<6>(c, shape_, src, bins_);
      break;
  }
  const double pilot = pilotPolarity(pilotIndex);
  for (std::size_t q = 0; q < 4; ++q) bins_[shape_.pilotBin[q]] = pilot * shape_.pilotGain[q];
  // std::complex<double> is layout-compatible with fftw_complex; an
  // out-of-place complex transform leaves its input as it was.
  fftw_execute_dft(shape_.plan, reinterpret_cast<fftw_complex*>(bins_),
                   reinterpret_cast<fftw_complex*>(body_));
  return body_;
}

void SymbolWriter::append(Samples& out, const cplx* body) const {
  const std::size_t n = shape_.n, cp = shape_.cp, w = shape_.head.size();
  const cplx* prefix = body + (n - cp);
  cplx* prev = out.data() + (out.size() - w);
  for (std::size_t k = 0; k < w; ++k) prev[k] += prefix[k] * shape_.head[k];
  out.insert(out.end(), prefix + w, body + n);
  out.insert(out.end(), body, body + n);
  for (std::size_t t = 0; t < w; ++t) out.push_back(body[t] * shape_.tail[t]);
}

void SymbolWriter::addInto(std::span<cplx> out, std::size_t at, const cplx* body) const {
  const std::size_t n = shape_.n, cp = shape_.cp, w = shape_.head.size();
  cplx* dst = out.data() + at;
  const cplx* prefix = body + (n - cp);
  for (std::size_t k = 0; k < w; ++k) dst[k] += prefix[k] * shape_.head[k];
  for (std::size_t k = w; k < cp; ++k) dst[k] += prefix[k];
  dst += cp;
  for (std::size_t k = 0; k < n; ++k) dst[k] += body[k];
  dst += n;
  for (std::size_t t = 0; t < w; ++t) dst[t] += body[t] * shape_.tail[t];
}

std::size_t dataSource(const DataSettings& s, const Coding& c,
                       std::span<const std::uint8_t> payload, std::vector<std::uint8_t>& src) {
  const std::size_t nsym = dataSymbolCount(s, payload.size());
  thread_local std::vector<std::uint8_t> data;
  std::vector<std::uint8_t>& bits = c.encoded ? data : src;
  // SERVICE (its seven scrambler-initialisation bits zero), payload, tail, pad.
  bits.assign(nsym * c.ndbps, 0);
  std::size_t at = 0;
  if (s.framed) {
    for (std::size_t i = 7; i < 16; ++i)
      bits[i] = static_cast<std::uint8_t>((s.service >> i) & 1u);  // LSB first
    at = 16;
  }
  for (std::size_t i = 0; i < payload.size(); ++i) bits[at + i] = payload[i] & 1u;
  if (s.scrambler) {
    // The frame-synchronous sequence repeats every 127 bits: add it period by
    // period.
    const std::uint8_t* seq = scramblerPeriods()[s.scramblerInit & 0x7Fu].data();
    for (std::size_t i = 0; i < bits.size(); i += 127) {
      const std::size_t m = std::min<std::size_t>(127, bits.size() - i);
      std::uint8_t* b = bits.data() + i;
      for (std::size_t j = 0; j < m; ++j) b[j] ^= seq[j];
    }
    // The tail reaches the encoder unscrambled, so that it returns to state zero.
    if (s.framed) std::fill_n(bits.begin() + static_cast<long>(at + payload.size()), 6, 0);
  }
  if (c.encoded) {
    src.resize(nsym * c.srcPerSymbol);
    motherEncode(bits, src.data());
  }
  return nsym;
}

}  // namespace dot11a::detail
