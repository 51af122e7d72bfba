// The interferer: a continuous stream of 802.11a frames of random data
// (54 Mbit/s, 1000 octets, back to back), started at a random point of a
// frame and at a random carrier phase, so nothing lines it up with the wanted
// signal; shifted to its offset and scaled to its level.
#include <cmath>
#include <cstdio>

#include "dot11a/checked_integer.hpp"
#include "dot11a/error.hpp"
#include "dot11a/rate_table.hpp"
#include "impair/internal.hpp"

namespace dot11a::impair {

namespace {
constexpr std::size_t kInterfererOctets = 1000;
}  // namespace

void checkInterfererFits(double offsetHz, double fs, ChannelSpacing spacing) {
  const double base = baseSampleRateOf(spacing);
  const double halfWidth = base / 2;  // the channel reaches half its spacing from its centre
  const double os = fs / base;
  char buf[320];
  if (!std::isfinite(offsetHz) || std::abs(offsetHz) > 200e6) {
    std::snprintf(buf, sizeof buf, "The interferer offset must be from -200 to 200 MHz.");
    raise(buf);
  }
  if (os < 1 || os != std::floor(os)) {
    std::snprintf(buf, sizeof buf,
                  "An interferer needs a sample rate of %g MHz times a whole number, not %g MHz.",
                  base / 1e6, fs / 1e6);
    raise(buf);
  }
  const double needed = 2.0 * (std::abs(offsetHz) + halfWidth);
  if (needed > fs) {
    std::snprintf(buf, sizeof buf,
                  "An interferer at %g MHz needs a sample rate of at least %g MHz (its channel "
                  "reaches %g MHz from the centre); this waveform has %g MHz. Raise the "
                  "oversampling, or choose a smaller offset.",
                  offsetHz / 1e6, needed / 1e6, (std::abs(offsetHz) + halfWidth) / 1e6, fs / 1e6);
    raise(buf);
  }
}

void addInterferer(std::span<cplx> x, double fs, const Interferer& it, double wantedPower,
                   ChannelSpacing spacing, std::mt19937_64& rng) {
  if (x.empty()) return;
  checkInterfererFits(it.offsetHz, fs, spacing);
  FrameSettings fsets;
  fsets.data.oversampling = checkedInteger<int>(
      std::round(fs / baseSampleRateOf(spacing)),
      "The interferer's oversampling (the sample rate over the spacing's base rate)", 1,
      kMaxOversampling);
  fsets.data.sincComp = true;
  fsets.dataRate = 54;
  std::uniform_int_distribution<unsigned> seed(1, 127);
  std::uniform_int_distribution<int> bit(0, 1);
  Samples stream;
  std::size_t skip = 0;
  while (stream.size() < skip + x.size()) {
    Bits payload(8 * kInterfererOctets);
    for (auto& b : payload) b = static_cast<std::uint8_t>(bit(rng));
    fsets.data.scramblerInit = seed(rng);
    const Frame f = synthesizeFrame(fsets, payload);
    if (stream.empty())
      skip = std::uniform_int_distribution<std::size_t>(0, f.waveform.size() - 1)(rng);
    stream.insert(stream.end(), f.waveform.begin(), f.waveform.end());
  }
  std::span<cplx> part(stream.data() + skip, x.size());
  double power = 0.0;
  for (const cplx& v : part) power += std::norm(v);
  power /= static_cast<double>(part.size());
  if (!(power > 0)) return;
  const double gain = std::sqrt(wantedPower * std::pow(10.0, it.levelDb / 10.0) / power);
  rotate(part, it.offsetHz, fs,
         std::uniform_real_distribution<double>(0.0, 6.283185307179586)(rng));
  for (std::size_t i = 0; i < x.size(); ++i) x[i] += gain * part[i];
}

}  // namespace dot11a::impair
