// Internal to the receiver: the SIGNAL and DATA fields read from their
// decoded bits, shared by the receiver and the ideal receiver.
#pragma once

#include <cstdint>
#include <span>

#include "dot11a/rate_table.hpp"
#include "dot11a/receiver.hpp"

namespace dot11a::rx {

// Fills the SIGNAL part of the report from the field's 24 decoded bits and
// returns its rate, or nullptr when the field is not sound (parity, RATE or
// a LENGTH of 0): then no DATA field can be read.
const RateEntry* readSignal(std::span<const std::uint8_t> bits, FrameReport& rep);

// Fills the DATA part of the report from the decoded, still scrambled bits
// of the DATA field (rep.length must be set): the scrambler seed, SERVICE,
// the PSDU, the tail and the FCS as `fcs` asks.
void readData(std::span<const std::uint8_t> scrambled, FcsCheck fcs, FrameReport& rep);

}  // namespace dot11a::rx
