// The 802.11a OFDM synthesis chain as typed functions: constellation mapping,
// OFDM symbols, pulse shaping and oversampling, overlap-add joining, the
// preamble, the SIGNAL and DATA fields, and the whole frame.
//
// Sub-carrier rows come in two orders: 53 values in increasing frequency
// (-26 ... +26, entry 26 zero-based is DC) or 64 values in inverse-FFT bin
// order (DC, +1 ... +26, eleven zeros, -26 ... -1).
#pragma once

#include <complex>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "dot11a/bitcoding.hpp"
#include "dot11a/export.hpp"
#include "dot11a/frame_layout.hpp"
#include "dot11a/rate_table.hpp"

DOT11A_API_BEGIN

namespace dot11a {

using cplx = std::complex<double>;
using Samples = std::vector<cplx>;

// ---- constellation mapping and OFDM symbol ---------------------------------

// Coded bits per sub-carrier (1, 2, 4, 6): the rate table's N_BPSC.
inline int bitsPerSubcarrier(Modulation m) {
  return bitsPerSubcarrierOf(m);
}
// "BPSK", "QPSK", "QAM16", "QAM64".
std::string_view formatText(Modulation m);
// The modulation named by a format text; false when the text names none.
bool modulationFromText(std::string_view text, Modulation& m);

// Maps bits to constellation points (Gray coding, unit mean power). The bit
// count must be a whole number of points.
void convertToIQInto(std::span<const std::uint8_t> bits, Modulation m, std::span<cplx> out);
Samples convertToIQ(std::span<const std::uint8_t> bits, Modulation m);

// Pilot polarity (+1 or -1) of the symbol with that index: the SIGNAL symbol
// is 0, DATA symbol n is n; the sequence repeats every 127 symbols.
int pilotPolarity(long long index);

// 53 values in frequency order to 64 in bin order (method 1) or to the centred
// 64-bin order (method 0: six zeros, the 53 values, five zeros).
void carrierMappingInto(std::span<const cplx> data53, int method, std::span<cplx> out64);

// The last cpRatio x L samples repeated in front of the input.
Samples cyclicPrefix(std::span<const cplx> input, double cpRatio);

// Samples of one OFDM symbol: 80 x oversampling + windowLength.
std::size_t symbolLength(int oversampling, int windowLength);
// Builds one OFDM symbol from its 48 data values: pilots, bin order, mask
// (64 entries, bin order), oversampling with optional sinc compensation,
// inverse FFT with the 1/N factor, cyclic prefix and edge window. Writes
// symbolLength() samples to `out`.
void symbolBuildInto(std::span<const cplx> data48, double pilot, int oversampling, int windowLength,
                     std::span<const cplx> mask64, bool sincComp, std::span<cplx> out);
Samples symbolBuild(std::span<const cplx> data48, double pilot, int oversampling, int windowLength,
                    std::span<const cplx> mask64, bool sincComp);

// ---- pulse shaping and oversampling ---------------------------------------------

// sin(pi x) / (pi x), 1 at 0.
double sinc(double x);
// Gains of the zero-order-hold compensation of a DAC clocked at the waveform's
// rate for an N-bin vector in bin order: bin k is multiplied by 1/sinc(k/N).
std::span<const double> sincCompensationGains(std::size_t n);
// Inserts (oversampling - 1) x 64 zero bins at the band centre of a 64-bin
// vector (method 1) or appends them (method 2), then compensates if asked.
Samples oversample(std::span<const cplx> input, int oversampling, bool dacCompensate,
                   int method = 1);
// Appends the cyclic extension of windowLength samples and applies the raised
// cosine ramps at both ends (windowLength <= 0: unchanged).
Samples windowing(std::span<const cplx> data, int windowLength, double cpRatio);
// The same on a buffer whose first `len` samples are the piece and which has
// room for windowLength more.
void windowInPlace(std::span<cplx> buffer, std::size_t len, int windowLength, double cpRatio);
// The ramp weight of sample i (1-based) of a window of windowLength samples.
double windowWeight(int i, int windowLength);

// Overlap-add join: the last windowLength samples of `a` are added to the first
// windowLength samples of `b`. An empty `a` gives `b`.
Samples stitchSubFrames(std::span<const cplx> a, std::span<const cplx> b, int windowLength);

// Inverse DFT with the 1/N factor (FFTW plans made once per size).
void inverseDft(std::span<const cplx> in, std::span<cplx> out);

// ---- preamble ---------------------------------------------------------------------

Samples shortSequence(int oversampling, int windowLength, std::span<const cplx> mask64,
                      bool sincComp);
Samples longSequence(int oversampling, int windowLength, std::span<const cplx> mask64,
                     bool sincComp);
Samples syncSequence(int oversampling, int windowLength, std::span<const cplx> mask64,
                     bool sincComp);

// ---- SIGNAL and DATA fields -------------------------------------------------------

// The RATE bits of a data rate in Mbit/s from the rate table (0000 for any
// rate not in the table).
Bits rateBits(double rate);
// The 24 SIGNAL bits: RATE, reserved, LENGTH (LSB first), parity, tail. Raises
// "Integer required" when lengthInBytes is not a whole number.
Bits signalBits(double rate, double lengthInBytes);
Samples signalSymbol(double rate, double lengthInBytes, int oversampling, int windowLength,
                     std::span<const cplx> mask64, bool sincComp);

struct DataSettings {
  bool framed = true;
  unsigned service = 0;           // SERVICE field, 0 to 65535
  int modulation = 4;             // 1 BPSK ... 4 64-QAM
  double encoderRate = kRate3_4;  // 1 (uncoded), 0.5, 2/3 or 0.75
  bool scrambler = true;
  unsigned scramblerInit = 93;  // 0 to 127
  bool interleaver = true;
  int oversampling = 1;
  int windowLength = 0;
  bool sincComp = false;
};

// Checks the settings and raises a run-time error that names what is wrong.
void validate(const DataSettings& s);
// The number of DATA symbols for a payload of that many bits (the frame
// layout's count; checks the settings first).
std::size_t dataSymbolCount(const DataSettings& s, std::size_t payloadBits);
// The DATA field written into `out` (which must hold dataSymbolCount x 80 x
// oversampling + windowLength samples and be zero), symbol by symbol with
// overlap-add. Returns the number of symbols.
std::size_t dataFieldInto(const DataSettings& s, std::span<const std::uint8_t> payload,
                          std::span<const cplx> mask64, std::span<cplx> out);
Samples dataField(const DataSettings& s, std::span<const std::uint8_t> payload,
                  std::span<const cplx> mask64);

// ---- the frame --------------------------------------------------------------------

struct FrameSettings {
  DataSettings data;
  double dataRate = 54;  // for the SIGNAL RATE bits only
  std::vector<cplx> mask53 = std::vector<cplx>(53, cplx(1.0, 0.0));
  long long idleSamples = 0;
  bool mirrorSpectrum = false;
};

struct Frame {
  Samples waveform;
  std::vector<std::uint8_t> marker1;  // 1 at the first sample
  std::vector<std::uint8_t> marker2;  // 1 during the burst
};

// The shape of the frame these settings give for a payload of that many bits.
FrameShape frameShape(const FrameSettings& s, std::size_t payloadBits);

// The whole waveform with its markers, laid out by frameLayout(frameShape(...));
// allocates the result once. A payload longer than kMaxPsduBits gives the idle
// interval only (an error when there is none).
Frame synthesizeFrame(const FrameSettings& s, std::span<const std::uint8_t> payload);
// The same into `f`, whose buffers are reused.
void synthesizeFrameInto(const FrameSettings& s, std::span<const std::uint8_t> payload, Frame& f);
// The frame appended to a waveform and its two marker rows, which hold the
// same number of samples: a sequence of frames is synthesised in place.
void appendFrame(const FrameSettings& s, std::span<const std::uint8_t> payload, Samples& out,
                 std::vector<std::uint8_t>& marker1, std::vector<std::uint8_t>& marker2);
// The length synthesizeFrame gives, without synthesising.
std::size_t frameLength(const FrameSettings& s, std::size_t payloadBits);

}  // namespace dot11a

DOT11A_API_END
