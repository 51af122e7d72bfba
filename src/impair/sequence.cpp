// Frame sequences: frames joined with silent gaps, markers at every frame
// start, and the bound of the instrument's waveform memory.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

#include "dot11a/error.hpp"
#include "dot11a/impair.hpp"
#include "dot11a/rate_table.hpp"

namespace dot11a::impair {

double gapMicroseconds(std::string_view text) {
  // The interframe spaces of the 5 GHz OFDM PHY in 20 MHz channels (a frame
  // job resolves the names at its own spacing: Gap::microseconds).
  const InterframeSpaces ifs = interframeSpacesOf(ChannelSpacing::MHz20);
  if (text == "SIFS" || text == "sifs") return ifs.sifsUs;
  if (text == "DIFS" || text == "difs") return ifs.difsUs();
  const std::string t(text);
  std::size_t used = 0;
  double v = 0;
  try {
    v = std::stod(t, &used);
  } catch (const std::exception&) {
    used = 0;
  }
  if (used == 0 || used != t.size() || !std::isfinite(v) || v < 0 || v > 10000)
    raise("The gap must be microseconds from 0 to 10000, SIFS (16 us) or DIFS (34 us), not \"" + t +
          "\".");
  return v;
}

std::size_t sequenceLength(std::span<const std::size_t> lengths, std::size_t gap,
                           std::size_t memory) {
  // Summed with a check at every step, so no count of frames can wrap around.
  std::size_t total = 0;
  for (std::size_t i = 0; i < lengths.size(); ++i) {
    const std::size_t add = lengths[i] + (i + 1 < lengths.size() ? gap : 0);
    if (add < lengths[i] || add > memory || total > memory - add) {
      char buf[256];
      std::snprintf(buf, sizeof buf,
                    "The sequence of %zu frames does not fit the instrument's memory of %zu "
                    "samples (it is already over it at frame %zu): fewer frames, shorter "
                    "frames, a shorter gap or a lower oversampling.",
                    lengths.size(), memory, i + 1);
      raise(buf);
    }
    total += add;
  }
  return total;
}

std::vector<double> sequenceMarkers(std::span<const Burst> bursts, const Settings& s,
                                    std::size_t length) {
  std::vector<double> m(2 * length, 0.0);
  for (const Burst& b0 : bursts) {
    const Burst b = stretched(b0, s, length);
    if (b.begin < length) m[2 * b.begin] = 1;
    for (std::size_t i = b.begin; i < b.end; ++i) m[2 * i + 1] = 1;
  }
  return m;
}

Sequence joinFrames(std::span<const Frame> frames, std::size_t gap, std::size_t memory) {
  std::vector<std::size_t> lengths;
  lengths.reserve(frames.size());
  for (const Frame& f : frames) lengths.push_back(f.waveform.size());
  const std::size_t total = sequenceLength(lengths, gap, memory);
  Sequence s;
  s.waveform.assign(total, cplx(0.0, 0.0));
  s.marker1.assign(total, 0);
  s.marker2.assign(total, 0);
  std::size_t at = 0;
  for (const Frame& f : frames) {
    const std::size_t n = f.waveform.size();
    std::copy(f.waveform.begin(), f.waveform.end(), s.waveform.begin() + static_cast<long>(at));
    if (n > 0) s.marker1[at] = 1;
    // The burst is where the frame's own burst marker is set.
    std::size_t burstEnd = 0;
    for (std::size_t i = 0; i < std::min(n, f.marker2.size()); ++i) {
      s.marker2[at + i] = f.marker2[i];
      if (f.marker2[i]) burstEnd = i + 1;
    }
    if (f.marker2.empty()) {
      std::fill(s.marker2.begin() + static_cast<long>(at),
                s.marker2.begin() + static_cast<long>(at + n), 1);
      burstEnd = n;
    }
    s.bursts.push_back({at, at + burstEnd});
    at += n + gap;
  }
  return s;
}

}  // namespace dot11a::impair
