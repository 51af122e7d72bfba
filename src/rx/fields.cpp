// The SIGNAL and DATA fields read from their decoded bits.
#include "rx/fields.hpp"

#include <algorithm>
#include <cstdio>
#include <string>

#include "dot11a/bitcoding.hpp"
#include "dot11a/bits.hpp"

namespace dot11a::rx {

namespace {

std::string hex32(std::uint32_t v) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%08X", v);
  return buf;
}

std::uint32_t packBits(std::span<const std::uint8_t> bits) {
  std::uint32_t v = 0;
  for (std::size_t i = 0; i < bits.size() && i < 32; ++i)
    v |= static_cast<std::uint32_t>(bits[i] & 1u) << i;
  return v;
}

void checkFcs(FcsCheck check, FrameReport& rep) {
  if (check == FcsCheck::Off) return;
  const std::size_t n = rep.psduBits.size();
  if (n <= 32) {
    if (check == FcsCheck::On) {
      rep.fcs = FcsState::Bad;
      rep.problems.push_back("The PSDU is too short to hold an FCS.");
    } else {
      rep.fcs = FcsState::NoneFound;
    }
    return;
  }
  // The PSDU is whole octets: the CRC an octet at a time.
  const std::span<const std::uint8_t> octets(rep.psdu);
  rep.fcsComputed = crc32Octets(octets.first(octets.size() - 4));
  rep.fcsReceived = packBits(std::span<const std::uint8_t>(rep.psduBits).subspan(n - 32));
  if (rep.fcsComputed == rep.fcsReceived) {
    rep.fcs = FcsState::Good;
  } else if (check == FcsCheck::On) {
    rep.fcs = FcsState::Bad;
    rep.problems.push_back("FCS bad: the frame carries " + hex32(rep.fcsReceived) +
                           ", its contents give " + hex32(rep.fcsComputed) + ".");
  } else {
    rep.fcs = FcsState::NoneFound;
    rep.notes.push_back("No FCS found: the last four octets are not the frame's checksum.");
  }
}

}  // namespace

const RateEntry* readSignal(std::span<const std::uint8_t> bits, FrameReport& rep) {
  unsigned parity = 0;
  for (std::size_t i = 0; i < 18; ++i) parity ^= bits[i];
  rep.signalParityOk = parity == 0;
  rep.signalTailOk = std::all_of(bits.begin() + 18, bits.end(), [](auto b) { return b == 0; });
  rep.rateBits = packBits(bits.first(4));
  rep.reservedBitZero = bits[4] == 0;
  rep.length = packBits(bits.subspan(5, 12));
  const RateEntry* rate = rateBySignalBits({bits[0], bits[1], bits[2], bits[3]});
  rep.rateValid = rate != nullptr;
  if (rate != nullptr) rep.rateMbps = rate->mbps;
  if (!rep.signalParityOk) rep.problems.push_back("The SIGNAL parity bit is wrong.");
  if (!rep.signalTailOk) rep.problems.push_back("The SIGNAL tail bits are not zero.");
  if (!rep.rateValid) {
    char buf[96];
    std::snprintf(buf, sizeof buf, "The SIGNAL RATE bits %u%u%u%u name no data rate.", bits[0],
                  bits[1], bits[2], bits[3]);
    rep.problems.push_back(buf);
  }
  if (!rep.reservedBitZero) rep.notes.push_back("The reserved SIGNAL bit is set.");
  if (rep.length == 0) rep.problems.push_back("The SIGNAL LENGTH is 0 octets.");
  return rep.signalParityOk && rep.rateValid && rep.length > 0 ? rate : nullptr;
}

void readData(std::span<const std::uint8_t> scrambled, FcsCheck fcs, FrameReport& rep) {
  rep.scramblerSeed = seedFromFirstBits(scrambled.first(7));
  Bits seed(7);
  for (unsigned i = 0; i < 7; ++i)
    seed[i] = static_cast<std::uint8_t>((rep.scramblerSeed >> i) & 1u);
  const Bits plain = scramble(scrambled, seed);
  const std::size_t tailAt = kServiceBits + 8 * static_cast<std::size_t>(rep.length);
  // The tail is zeroed after scrambling, so it decodes to zero before descrambling.
  rep.dataTailOk = std::all_of(scrambled.begin() + static_cast<long>(tailAt),
                               scrambled.begin() + static_cast<long>(tailAt + kTailBits),
                               [](auto b) { return b == 0; });
  if (!rep.dataTailOk) rep.problems.push_back("The DATA tail bits are not zero.");
  rep.serviceBits = packBits(std::span(plain).first(16));
  rep.psduBits.assign(plain.begin() + kServiceBits, plain.begin() + static_cast<long>(tailAt));
  // An octet at a time through plain pointers: byte stores through the
  // report's vectors would make the compiler reload them every bit.
  rep.psdu.assign(rep.length, 0);
  const std::uint8_t* bit = rep.psduBits.data();
  std::uint8_t* octet = rep.psdu.data();
  for (std::size_t o = 0; o < rep.psdu.size(); ++o) {
    unsigned v = 0;
    for (unsigned b = 0; b < 8; ++b) v |= (bit[8 * o + b] != 0 ? 1u : 0u) << b;
    octet[o] = static_cast<std::uint8_t>(v);
  }
  checkFcs(fcs, rep);
}

}  // namespace dot11a::rx
