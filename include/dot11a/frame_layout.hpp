// Where each part of a synthesised 802.11a waveform lies, computed once from
// the settings: the number of DATA symbols, the start and end of the preamble,
// the SIGNAL symbol, the DATA field and the idle interval, and the total
// length. The synthesis, the size estimate, the SigMF annotations, the
// command-line summary and the receiver all read it from here.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>

#include "dot11a/checked_integer.hpp"
#include "dot11a/export.hpp"
#include "dot11a/rate_table.hpp"

DOT11A_API_BEGIN

namespace dot11a {

// What the layout depends on.
struct FrameShape {
  bool framed = true;  // preamble, SIGNAL, SERVICE and tail bits, idle interval
  Modulation modulation = Modulation::QAM64;
  double codingRate = 0.75;  // 1 (uncoded), 1/2, 2/3, 3/4; other rates in (0, 1] are counted too
  int oversampling = 1;      // 1 or more
  int windowLength = 0;      // samples of the edge window (not scaled by oversampling)
  long long idleSamples = 0;
  std::size_t payloadBits = 0;  // PSDU bits (MAC header, data and FCS)
};

// A half-open sample range [begin, end).
struct SampleRange {
  std::size_t begin = 0;
  std::size_t end = 0;
  constexpr std::size_t size() const { return end - begin; }
};

struct FrameLayout {
  std::size_t dataSymbols = 0;
  std::size_t symbolSamples = 0;  // samples per OFDM symbol, 80 x oversampling
  SampleRange preamble;           // short and long training (empty unframed)
  SampleRange signal;             // the SIGNAL symbol (empty unframed)
  SampleRange data;               // the DATA symbols
  // Samples the synthesis produces for the burst: framed, the DATA field plus
  // the last symbol's window tail; unframed the tail is folded onto the start.
  std::size_t burstEnd = 0;
  // After the DATA field up to the end: the idle interval (it starts under the
  // window tail) and the pad to an even length.
  SampleRange idle;
  std::size_t total = 0;  // samples of the waveform, always even
};

// DATA symbols carrying `payloadBits` (framed: plus SERVICE and tail bits).
// Supported coding rates count exact integer bits per symbol.
inline std::size_t dataSymbolsFor(std::size_t payloadBits, bool framed, Modulation m,
                                  double codingRate) {
  const std::size_t bits = payloadBits + (framed ? kServiceBits + kTailBits : 0);
  if (const CodingRate* r = codingRateOf(codingRate)) {
    const auto ndbps = static_cast<std::size_t>(dataBitsPerSymbolOf(m, *r));
    return (bits + ndbps - 1) / ndbps;
  }
  // A rate near 0 asks for more symbols than any count holds.
  const double ndbps = codedBitsPerSymbolOf(m) * codingRate;
  return checkedInteger<std::size_t>(std::ceil(static_cast<double>(bits) / ndbps),
                                     "The number of DATA symbols at this coding rate");
}

inline FrameLayout frameLayout(const FrameShape& s) {
  const auto os = static_cast<std::size_t>(std::max(s.oversampling, 1));
  const auto w = static_cast<std::size_t>(std::max(s.windowLength, 0));
  FrameLayout l;
  l.dataSymbols = dataSymbolsFor(s.payloadBits, s.framed, s.modulation, s.codingRate);
  l.symbolSamples = kSymbolSamples * os;
  std::size_t end = 0;
  if (s.framed) {
    l.preamble = {0, (kShortTrainingSamples + kLongTrainingSamples) * os};
    l.signal = {l.preamble.end, l.preamble.end + l.symbolSamples};
    l.data = {l.signal.end, l.signal.end + l.dataSymbols * l.symbolSamples};
    l.burstEnd = l.data.end + w;
    const auto idle = static_cast<std::size_t>(std::max(s.idleSamples, 0LL));
    end = l.data.end + std::max(idle, w);
  } else {
    l.data = {0, l.dataSymbols * l.symbolSamples};
    l.burstEnd = l.data.end;
    end = l.data.end;
  }
  l.total = end + end % 2;
  l.idle = {l.data.end, l.total};
  return l;
}

}  // namespace dot11a

DOT11A_API_END
