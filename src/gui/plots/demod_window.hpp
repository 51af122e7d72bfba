// The Demodulate window: the receiver run on a waveform off the GUI thread,
// its frames in a table, and the selected frame's measurements and payload.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace dot11a::plots {

// The fields of an IEEE 802.11 MAC header at the start of a PSDU, as read:
// the frame control's type and subtype, the duration, the addresses in the
// usual notation (first octet on air first, "00:11:22:33:44:55") and the
// sequence number. `complete` is false when the PSDU is shorter than the
// 24 octets of the three-address header (then only what it holds is read).
struct MacFields {
  bool complete = false;
  unsigned frameControl = 0, type = 0, subtype = 0;
  unsigned duration = 0;
  std::string address1, address2, address3;
  unsigned sequenceControl = 0, sequenceNumber = 0, fragmentNumber = 0;
};
MacFields parseMacHeader(std::span<const std::uint8_t> psdu);

// The octets as hexadecimal text, 16 a line, each line led by its offset.
std::string hexDump(std::span<const std::uint8_t> octets);

}  // namespace dot11a::plots
