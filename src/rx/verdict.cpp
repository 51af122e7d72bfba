// What makes a frame decoded and passed, the EVM limit of each rate, and the
// receiver's options for a waveform of our own.
#include <algorithm>
#include <array>
#include <cmath>
#include <utility>

#include "dot11a/receiver.hpp"

namespace dot11a::rx {

bool FrameReport::decoded() const {
  return signalParityOk && signalTailOk && rateValid && length > 0 && signalFits && !truncated &&
         fcs != FcsState::Bad;
}

bool FrameReport::passed() const {
  return decoded() && dataTailOk && centerLeakagePass && evmPass && flatnessPass &&
         (!maskMeasured || maskPass) && disabledSubcarriers.empty();
}

bool FrameReport::clockOffsetMeasured() const {
  const double ppm = std::abs(clockOffsetPpm);
  return ppm >= 1.0 && ppm > 3.0 * clockOffsetSigmaPpm;
}

bool Result::passed() const {
  return !frames.empty() &&
         std::all_of(frames.begin(), frames.end(), [](const FrameReport& f) { return f.passed(); });
}

Options optionsFor(const MadeWith& made) {
  Options o;
  o.sampleRate = made.sampleRate;
  o.dacDroop = made.dacPrecompensated;
  o.fcs = made.fcs ? FcsCheck::On : FcsCheck::Off;
  // The symbol window overlaps the start of each cyclic prefix: the FFT
  // starts behind it.
  const double overlap = made.windowSamples / std::max(1, made.oversampling);
  o.fftBackoff = std::clamp(16.0 - overlap, 0.0, o.fftBackoff);
  return o;
}

double evmLimitDb(double rateMbps) {
  static constexpr std::array<std::pair<double, double>, 8> kLimits = {
      {{6, -5}, {9, -8}, {12, -10}, {18, -13}, {24, -16}, {36, -19}, {48, -22}, {54, -25}}};
  for (const auto& [rate, limit] : kLimits)
    if (rate == rateMbps) return limit;
  return 0.0;
}

}  // namespace dot11a::rx
