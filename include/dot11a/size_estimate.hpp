// The number of samples a parameter set produces, without synthesising it.
#pragma once

#include <cstddef>

#include "dot11a/value.hpp"

namespace dot11a {

// Data bits per OFDM symbol for a modulation code (1 BPSK, 2 QPSK, 3 16-QAM,
// 4 64-QAM) and a coding rate (1 for uncoded).
double dataBitsPerSymbol(double modulation, double encoderRate);

// The number of DATA symbols carrying `payloadBits` bits (SERVICE and tail bits
// are added in framed mode).
std::size_t dataSymbolCount(std::size_t payloadBits, bool framed, double modulation,
                            double encoderRate);

// Samples of the waveform dot11a_FRAME returns for the parameter set:
// framed (400 + 80 n) x OverSampling + max(idleSamples, WindowingLength),
// unframed 80 n x OverSampling, rounded up to even.
std::size_t sizeEstimate(const Value& parameters);

}  // namespace dot11a
