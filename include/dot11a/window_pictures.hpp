// The window's views drawn as pictures without a screen (on Qt's offscreen
// platform), for scripts and reports. The caller has a QApplication.
#pragma once

#include <string>

#include "dot11a/export.hpp"

DOT11A_API_BEGIN

namespace dot11a {

// Reads a capture (any file dot11a-verify reads; 20 MHz when the file states
// no rate), draws its averaged spectrum with the transmit mask in the
// window Analysis > Averaged Spectrum opens (the whole waveform at 100 kHz
// resolution, as that view takes a waveform without markers) and saves the
// window as a PNG. Returns the view's mask line ("Mask PASS: worst margin
// ..."). Raises an error naming the file when it cannot be read or written.
std::string saveAveragedSpectrumPicture(const std::string& capture, const std::string& png);

}  // namespace dot11a

DOT11A_API_END
