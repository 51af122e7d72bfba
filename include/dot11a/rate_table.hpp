// The 802.11a rate table and the fixed numbers of the OFDM frame, typed and
// header-only so that every layer (the synthesis, the receiver, the model,
// the tools) reads the same facts without linking anything.
#pragma once

#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "dot11a/export.hpp"

DOT11A_API_BEGIN

namespace dot11a {

// ---- fixed numbers of the frame -------------------------------------------------

// The base sample rate of the synthesis (oversampling 1); an oversampled
// waveform runs at this times the ratio.
inline constexpr double kBaseSampleRate = 20e6;
// Samples per microsecond at oversampling 1.
inline constexpr int kSamplesPerMicrosecond = 20;
// Samples of one OFDM symbol (16 cyclic prefix + 64) at oversampling 1.
inline constexpr std::size_t kSymbolSamples = 80;
// Samples of the short and of the long training sequence at oversampling 1.
inline constexpr std::size_t kShortTrainingSamples = 160;
inline constexpr std::size_t kLongTrainingSamples = 160;
// Data sub-carriers of one OFDM symbol.
inline constexpr int kDataSubcarriers = 48;
// SERVICE bits in front of and tail bits behind the payload of a framed DATA field.
inline constexpr std::size_t kServiceBits = 16;
inline constexpr std::size_t kTailBits = 6;
// The largest PSDU the SIGNAL field's 12-bit LENGTH can announce.
inline constexpr int kMaxPsduOctets = 4095;
inline constexpr std::size_t kMaxPsduBits = 8 * kMaxPsduOctets;
// Widths of the SERVICE field and of the scrambler seed.
inline constexpr unsigned kMaxServiceField = 0xFFFF;
inline constexpr unsigned kMaxScramblerInit = 0x7F;
// The largest oversampling ratio the typed synthesis accepts.
inline constexpr int kMaxOversampling = 64;

// ---- channel spacing ---------------------------------------------------------------

// The same 64-point OFDM frame at three clocks: 20 MHz channels (the frame
// above), and half (10 MHz) and quarter (5 MHz) clocked channels. Every
// sample is the same; every time scales by 20 MHz over the spacing, every
// rate and frequency by the spacing over 20 MHz.
enum class ChannelSpacing { MHz20 = 20, MHz10 = 10, MHz5 = 5 };

// The spacing in MHz (20, 10, 5).
constexpr int spacingMHz(ChannelSpacing s) {
  return static_cast<int>(s);
}
// The clock of the spacing relative to a 20 MHz channel: 1, 1/2, 1/4.
constexpr double clockFactor(ChannelSpacing s) {
  return spacingMHz(s) / 20.0;
}
// The sample rate at oversampling 1: 20, 10 or 5 Msps.
constexpr double baseSampleRateOf(ChannelSpacing s) {
  return kBaseSampleRate * clockFactor(s);
}
// Samples per microsecond at oversampling 1: 20, 10, 5.
constexpr int samplesPerMicrosecondOf(ChannelSpacing s) {
  return spacingMHz(s);
}
// The spacing of 20, 10 or 5 (MHz); false for any other number.
constexpr bool channelSpacingOfMHz(double mhz, ChannelSpacing& s) {
  for (ChannelSpacing c : {ChannelSpacing::MHz20, ChannelSpacing::MHz10, ChannelSpacing::MHz5})
    if (mhz == spacingMHz(c)) {
      s = c;
      return true;
    }
  return false;
}

// The interframe spaces of a spacing, in microseconds (the OFDM PHY's
// aSIFSTime and aSlotTime; DIFS is SIFS plus two slots).
struct InterframeSpaces {
  double sifsUs;
  double slotUs;
  double difsUs() const { return sifsUs + 2 * slotUs; }
};
constexpr InterframeSpaces interframeSpacesOf(ChannelSpacing s) {
  switch (s) {
    case ChannelSpacing::MHz10:
      return {32, 13};
    case ChannelSpacing::MHz5:
      return {64, 21};
    case ChannelSpacing::MHz20:
      break;
  }
  return {16, 9};
}

// ---- modulations and coding rates ------------------------------------------------

enum class Modulation { BPSK = 1, QPSK = 2, QAM16 = 3, QAM64 = 4 };

// Coded bits per sub-carrier, N_BPSC (1, 2, 4, 6).
constexpr int bitsPerSubcarrierOf(Modulation m) {
  switch (m) {
    case Modulation::BPSK:
      return 1;
    case Modulation::QPSK:
      return 2;
    case Modulation::QAM16:
      return 4;
    case Modulation::QAM64:
      return 6;
  }
  return 1;
}

// True for the codes 1 (BPSK) to 4 (64-QAM).
constexpr bool isModulationCode(double code) {
  return code == 1 || code == 2 || code == 3 || code == 4;
}

// A coding rate of the encoder: numerator / denominator (1/1 is uncoded).
struct CodingRate {
  int num = 1;
  int den = 1;
  constexpr double value() const { return static_cast<double>(num) / den; }
};

// The coding rates the synthesis supports, in the order of the main window's
// list: uncoded, 1/2, 2/3, 3/4.
inline constexpr std::array<CodingRate, 4> kCodingRates = {CodingRate{1, 1}, CodingRate{1, 2},
                                                           CodingRate{2, 3}, CodingRate{3, 4}};

// The supported coding rate a stored rate stands for (2/3 is stored as the
// nearest double); nullptr for any other value.
inline const CodingRate* codingRateOf(double rate) {
  for (const CodingRate& r : kCodingRates)
    if (std::fabs(rate - r.value()) < 1e-9) return &r;
  return nullptr;
}

// "1/2", "2/3", "3/4", "uncoded"; empty for a rate that is not supported.
inline std::string_view codingRateText(double rate) {
  static constexpr std::string_view kText[] = {"uncoded", "1/2", "2/3", "3/4"};
  const CodingRate* r = codingRateOf(rate);
  return r ? kText[r - kCodingRates.data()] : std::string_view();
}

// ---- the rate table ----------------------------------------------------------------

struct RateEntry {
  int mbps;  // nominal data rate in Mbit/s
  Modulation modulation;
  CodingRate coding;
  int nbpsc;                                   // coded bits per sub-carrier
  int ncbps;                                   // coded bits per OFDM symbol
  int ndbps;                                   // data bits per OFDM symbol
  std::array<std::uint8_t, 4> signalRateBits;  // R1 ... R4 in transmission order
};

inline constexpr std::array<RateEntry, 8> kRateTable = {{
    {6, Modulation::BPSK, {1, 2}, 1, 48, 24, {1, 1, 0, 1}},
    {9, Modulation::BPSK, {3, 4}, 1, 48, 36, {1, 1, 1, 1}},
    {12, Modulation::QPSK, {1, 2}, 2, 96, 48, {0, 1, 0, 1}},
    {18, Modulation::QPSK, {3, 4}, 2, 96, 72, {0, 1, 1, 1}},
    {24, Modulation::QAM16, {1, 2}, 4, 192, 96, {1, 0, 0, 1}},
    {36, Modulation::QAM16, {3, 4}, 4, 192, 144, {1, 0, 1, 1}},
    {48, Modulation::QAM64, {2, 3}, 6, 288, 192, {0, 0, 0, 1}},
    {54, Modulation::QAM64, {3, 4}, 6, 288, 216, {0, 0, 1, 1}},
}};

// The entry of a rate in Mbit/s; nullptr for a rate not in the table.
inline const RateEntry* rateByMbps(double mbps) {
  for (const RateEntry& e : kRateTable)
    if (e.mbps == mbps) return &e;
  return nullptr;
}

// The entry of a modulation and coding rate; nullptr for a combination that is
// not a standard rate ("Custom": uncoded, or BPSK/QPSK/16-QAM with 2/3, ...).
inline const RateEntry* rateOf(Modulation m, double codingRate) {
  const CodingRate* c = codingRateOf(codingRate);
  if (c == nullptr) return nullptr;
  for (const RateEntry& e : kRateTable)
    if (e.modulation == m && e.coding.num == c->num && e.coding.den == c->den) return &e;
  return nullptr;
}

// The entry whose SIGNAL RATE bits are r1..r4; nullptr when no rate has them.
inline const RateEntry* rateBySignalBits(const std::array<std::uint8_t, 4>& bits) {
  for (const RateEntry& e : kRateTable)
    if (e.signalRateBits == bits) return &e;
  return nullptr;
}

// Coded bits per OFDM symbol, N_CBPS.
constexpr int codedBitsPerSymbolOf(Modulation m) {
  return kDataSubcarriers * bitsPerSubcarrierOf(m);
}

// Data bits per OFDM symbol, N_DBPS, for any modulation and supported coding
// rate (uncoded included); exact integers.
inline int dataBitsPerSymbolOf(Modulation m, const CodingRate& r) {
  return codedBitsPerSymbolOf(m) * r.num / r.den;
}

}  // namespace dot11a

DOT11A_API_END
