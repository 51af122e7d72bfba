// The Demodulate window: the receiver run on a waveform off the GUI thread,
// its frames in a table as they are decoded, and the selected frame's
// measurements and payload.
#pragma once

#include <QPlainTextEdit>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "dot11a/receiver.hpp"
#include "gui/graphics/graphics.hpp"

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

// The group delay of a frame's channel estimate in ns, 53 entries for
// sub-carriers -26..+26: minus the phase slope between neighbouring
// sub-carriers over their spacing, averaged over the two sides. NaN at DC
// and at faded or switched-off sub-carriers, whose phase means nothing. The
// FFT window's back-off (samples at 20 MHz before the end of the cyclic
// prefix) delays every sub-carrier alike and is taken out.
std::vector<double> groupDelayNs(const rx::FrameReport& f, double fftBackoff);

// The constellation of a data rate (unit mean power), or none for a rate
// not in the table.
std::vector<rx::cplx> referencePoints(double rateMbps);

// The plots of the selected frame, in the Demodulate window.
struct FramePlots {
  gfx::Handle constellation, evmCarrier, evmSymbol, flatness, channel, groupDelay;
  QPlainTextEdit* payload = nullptr;
};
// Makes the six axes in a 2 x 3 grid left of the payload, below `top`
// (a fraction of the window's height from its bottom).
FramePlots makeFramePlots(gfx::Handle fig, double top);
void drawFrame(const FramePlots& p, const rx::FrameReport& f, double fftBackoff);

}  // namespace dot11a::plots
