// Internal: the fast path of the frame synthesis. Everything that depends only
// on the shaping settings (oversampling, window, mask, DAC compensation) is
// computed once and shared between threads: the bins and gains of the data and
// pilot sub-carriers (mask, DAC compensation and the 1/N factor of the inverse
// DFT folded into one complex gain per bin), the window ramps, the inverse-FFT
// plan and the preamble. Bits go to constellation points through one gather
// table per modulation and coding rate that folds puncturing and interleaving
// together, so a symbol costs its gathers, 52 multiplications, one FFT and one
// copy into the output.
#pragma once

#include <fftw3.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "dot11a/synthesis.hpp"

namespace dot11a::detail {

// An inverse FFT of n points for 16-byte aligned arrays (fftw_malloc), made
// once per size under the lock that serialises FFTW's planner.
fftw_plan alignedInversePlan(std::size_t n);

struct Shape {
  // The key.
  int oversampling = 1;
  int windowLength = 0;
  bool sincComp = false;
  std::array<cplx, 64> mask64{};
  // What follows from it.
  std::size_t n = 64;   // FFT size
  std::size_t cp = 16;  // cyclic prefix
  std::array<std::uint16_t, 48> dataBin{};
  std::array<cplx, 48> dataGain{};
  std::array<std::uint16_t, 4> pilotBin{};
  std::array<cplx, 4> pilotGain{};  // the sign of sub-carrier +21 included
  std::vector<double> head;         // rising ramp on the first w samples
  std::vector<double> tail;         // falling ramp on the cyclic extension
  fftw_plan plan = nullptr;
  Samples preamble;  // short and long training overlapped: 320 x os + w samples
};

// The shape of those settings, from the cache or made now (thread-safe).
std::shared_ptr<const Shape> shapeFor(int oversampling, int windowLength,
                                      std::span<const cplx> mask64, bool sincComp);

// Modulation and coding of the DATA symbols, as gathers from the encoder's
// output: point p of a symbol takes its bits from src[symbol * srcPerSymbol +
// gather[p * bits + j]], j = 0 ... bits - 1, first bit most significant in the
// point index.
struct Coding {
  int bits = 1;                   // per sub-carrier
  std::size_t ndbps = 24;         // data bits per symbol
  std::size_t srcPerSymbol = 48;  // encoder output bits per symbol (unpunctured)
  bool encoded = true;
  std::vector<std::uint16_t> gather;  // 48 x bits
  std::array<cplx, 64> points{};      // constellation by point index
};
const Coding& codingFor(int modulation, double encoderRate, bool interleaver);

// Rate-1/2 mother code of `in` (one byte per bit, 0 or 1) into `out`, two
// bytes per input bit (output A then B), from the all-zero state.
void motherEncode(std::span<const std::uint8_t> in, std::uint8_t* out);

// Writes symbol after symbol through `sink(const cplx* body)`, where body is
// the inverse FFT (n samples) of the symbol; the sink adds the cyclic prefix,
// window and overlap. `src` holds the encoder output of every symbol.
// firstIndex is the pilot index of the first symbol.
class SymbolWriter {
 public:
  explicit SymbolWriter(const Shape& shape);
  // Uses buffers of the calling thread: one writer per thread at a time.
  SymbolWriter(const SymbolWriter&) = delete;
  SymbolWriter& operator=(const SymbolWriter&) = delete;

  // The inverse FFT of symbol `index`'s points from its bits; returns the body.
  const cplx* build(const Coding& c, const std::uint8_t* src, long long pilotIndex);

  // Appends the symbol whose body `build` returned to `out`: the windowed head
  // of the cyclic prefix is added to the last w samples already there.
  void append(Samples& out, const cplx* body) const;
  // Adds the symbol into out[at ...] (overlap-add into a zeroed buffer).
  void addInto(std::span<cplx> out, std::size_t at, const cplx* body) const;

 private:
  const Shape& shape_;
  cplx* bins_;
  cplx* body_;
};

// The DATA field's encoder output (unpunctured), symbol after symbol, in a
// buffer of the calling thread: SERVICE, payload, tail and pad, scrambled,
// then encoded. Returns the symbol count.
std::size_t dataSource(const DataSettings& s, const Coding& c,
                       std::span<const std::uint8_t> payload, std::vector<std::uint8_t>& src);

}  // namespace dot11a::detail
