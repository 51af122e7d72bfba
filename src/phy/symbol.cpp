// Constellation mapping, pilots, sub-carrier placement, cyclic prefix and the
// OFDM symbol.
#include <array>
#include <cmath>

#include "dot11a/error.hpp"
#include "dot11a/synthesis.hpp"

namespace dot11a {

std::string_view formatText(Modulation m) {
  switch (m) {
    case Modulation::BPSK:
      return "BPSK";
    case Modulation::QPSK:
      return "QPSK";
    case Modulation::QAM16:
      return "QAM16";
    case Modulation::QAM64:
      return "QAM64";
  }
  return "";
}

bool modulationFromText(std::string_view text, Modulation& m) {
  for (Modulation x : {Modulation::BPSK, Modulation::QPSK, Modulation::QAM16, Modulation::QAM64})
    if (formatText(x) == text) {
      m = x;
      return true;
    }
  return false;
}

namespace {

inline double sgn(std::uint8_t d) {
  return 2.0 * (d & 1u) - 1.0;
}
// 16-QAM level of a bit pair: 00 -3, 01 -1, 11 +1, 10 +3.
inline double level16(std::uint8_t a, std::uint8_t b) {
  return sgn(a) * (3.0 - 2.0 * (b & 1u));
}
// 64-QAM level of a bit triple (Gray coded, -7 ... +7).
inline double level64(std::uint8_t a, std::uint8_t b, std::uint8_t c) {
  return sgn(a) * (4.0 + (1.0 - 2.0 * (b & 1u)) * (3.0 - 2.0 * (c & 1u)));
}

}  // namespace

void convertToIQInto(std::span<const std::uint8_t> bits, Modulation m, std::span<cplx> out) {
  const std::size_t k = static_cast<std::size_t>(bitsPerSubcarrier(m));
  if (bits.size() % k != 0)
    raise("dot11a_ConvertToIQ: " + std::to_string(bits.size()) +
          " bits are not a whole number of " + std::string(formatText(m)) + " points (" +
          std::to_string(k) + " bits each).");
  const std::size_t n = bits.size() / k;
  if (out.size() < n) raise("convertToIQ: the output buffer is too short.");
  static const double kQpsk = 1.0 / std::sqrt(2.0);
  static const double kQam16 = 1.0 / std::sqrt(10.0);
  static const double kQam64 = 1.0 / std::sqrt(42.0);
  const std::uint8_t* d = bits.data();
  for (std::size_t p = 0; p < n; ++p, d += k) {
    switch (m) {
      case Modulation::BPSK:
        out[p] = cplx(sgn(d[0]), 0.0);
        break;
      case Modulation::QPSK:
        out[p] = cplx(sgn(d[0]), sgn(d[1])) * kQpsk;
        break;
      case Modulation::QAM16:
        out[p] = cplx(level16(d[0], d[1]), level16(d[2], d[3])) * kQam16;
        break;
      case Modulation::QAM64:
        out[p] = cplx(level64(d[0], d[1], d[2]), level64(d[3], d[4], d[5])) * kQam64;
        break;
    }
  }
}

Samples convertToIQ(std::span<const std::uint8_t> bits, Modulation m) {
  Samples out(bits.size() / static_cast<std::size_t>(bitsPerSubcarrier(m)));
  convertToIQInto(bits, m, out);
  return out;
}

int pilotPolarity(long long index) {
  // The scrambler's free-running sequence from the all-ones state.
  static const Bits kSequence = scramble(Bits(127, 0), Bits(7, 1));
  const long long i = ((index % 127) + 127) % 127;
  return kSequence[static_cast<std::size_t>(i)] ? -1 : 1;
}

void carrierMappingInto(std::span<const cplx> data53, int method, std::span<cplx> out64) {
  if (data53.size() != 53)
    raise("dot11a_CarrierMapping: \"data\" must hold the 53 sub-carriers -26 ... +26, not " +
          std::to_string(data53.size()) + " values.");
  if (out64.size() < 64) raise("carrierMapping: the output buffer is too short.");
  std::fill(out64.begin(), out64.begin() + 64, cplx(0.0, 0.0));
  if (method == 1) {
    std::copy(data53.begin() + 26, data53.end(), out64.begin());         // DC, +1 ... +26
    std::copy(data53.begin(), data53.begin() + 26, out64.begin() + 38);  // -26 ... -1
  } else if (method == 0) {
    std::copy(data53.begin(), data53.end(), out64.begin() + 6);
  } else {
    raise("dot11a_CarrierMapping: the method must be 0 or 1.");
  }
}

Samples cyclicPrefix(std::span<const cplx> input, double cpRatio) {
  const double prefix = cpRatio * static_cast<double>(input.size());
  if (cpRatio < 0 || cpRatio > 1 || prefix != std::floor(prefix))
    raise("dot11a_CyclicPrefix: a ratio of " + std::to_string(cpRatio) + " of " +
          std::to_string(input.size()) + " samples is not a whole number of samples.");
  const std::size_t p = static_cast<std::size_t>(prefix);
  Samples out;
  out.reserve(input.size() + p);
  out.insert(out.end(), input.end() - static_cast<long>(p), input.end());
  out.insert(out.end(), input.begin(), input.end());
  return out;
}

std::size_t symbolLength(int oversampling, int windowLength) {
  return 80u * static_cast<std::size_t>(oversampling) +
         static_cast<std::size_t>(std::max(windowLength, 0));
}

void symbolBuildInto(std::span<const cplx> data48, double pilot, int oversampling, int windowLength,
                     std::span<const cplx> mask64, bool sincComp, std::span<cplx> out) {
  if (data48.size() != 48)
    raise("dot11a_SymbolBuild: \"data\" must hold 48 values, not " + std::to_string(data48.size()) +
          ".");
  if (mask64.size() != 64)
    raise("dot11a_SymbolBuild: \"subCarrierMask\" must hold 64 values in bin order, not " +
          std::to_string(mask64.size()) + ".");
  if (oversampling < 1) raise("dot11a_SymbolBuild: the oversampling rate must be 1 or more.");
  const std::size_t n = 64u * static_cast<std::size_t>(oversampling);
  const std::size_t len = symbolLength(oversampling, windowLength);
  if (out.size() < len) raise("symbolBuild: the output buffer is too short.");

  // Sub-carriers -26 ... +26: data, pilots at -21, -7, +7 (pilot) and +21
  // (-pilot), zero at DC.
  std::array<cplx, 53> sc;
  std::size_t d = 0;
  for (std::size_t k = 0; k < 53; ++k) {
    switch (k) {
      case 5:
      case 19:
      case 33:
        sc[k] = pilot;
        break;
      case 47:
        sc[k] = -pilot;
        break;
      case 26:
        sc[k] = 0.0;
        break;
      default:
        sc[k] = data48[d++];
    }
  }
  // Bins of the oversampled vector: 32 low bins, zeros, 32 high bins.
  thread_local std::vector<cplx> bins, body;
  bins.assign(n, cplx(0.0, 0.0));
  body.resize(n);
  std::array<cplx, 64> mapped;
  carrierMappingInto(sc, 1, mapped);
  for (std::size_t b = 0; b < 64; ++b) {
    const std::size_t at = b < 32 ? b : b + (n - 64);
    bins[at] = mapped[b] * mask64[b];
  }
  if (sincComp) {
    auto g = sincCompensationGains(n);
    for (std::size_t i = 0; i < n; ++i) bins[i] *= g[i];
  }
  inverseDft(bins, body);
  // Cyclic prefix of a quarter of the body, then the body.
  const std::size_t cp = n / 4;
  std::copy(body.end() - static_cast<long>(cp), body.end(), out.begin());
  std::copy(body.begin(), body.end(), out.begin() + static_cast<long>(cp));
  windowInPlace(out.first(len), n + cp, windowLength, 0.25);
}

Samples symbolBuild(std::span<const cplx> data48, double pilot, int oversampling, int windowLength,
                    std::span<const cplx> mask64, bool sincComp) {
  Samples out(symbolLength(oversampling, windowLength));
  symbolBuildInto(data48, pilot, oversampling, windowLength, mask64, sincComp, out);
  return out;
}

}  // namespace dot11a
