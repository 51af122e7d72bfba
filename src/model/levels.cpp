// The levels of a waveform at a set level (see levels.hpp).
#include "dot11a/levels.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace dot11a {

Ranges burstRanges(std::span<const double> marker, std::size_t n) {
  Ranges r;
  const std::size_t m = std::min(marker.size(), n);
  for (std::size_t i = 0; i < m;) {
    if (marker[i] == 0) {
      ++i;
      continue;
    }
    const std::size_t first = i;
    while (i < m && marker[i] != 0) ++i;
    r.emplace_back(first, i);
  }
  return r;
}

Levels levelsAt(std::span<const std::complex<double>> samples, const Ranges& bursts,
                double setLevelDbm) {
  Levels l;
  double whole = 0, peak = 0;
  for (const std::complex<double>& x : samples) {
    const double p = std::norm(x);
    whole += p;
    peak = std::max(peak, p);
  }
  double burst = 0;
  std::size_t inBursts = 0;
  for (const auto& [first, end] : bursts)
    for (std::size_t k = first; k < std::min(end, samples.size()); ++k, ++inBursts)
      burst += std::norm(samples[k]);
  if (inBursts == 0) {
    burst = whole;
    inBursts = samples.size();
  }
  if (!(whole > 0) || !(burst > 0) || !std::isfinite(setLevelDbm)) return l;
  const double meanWhole = whole / static_cast<double>(samples.size());
  const double meanBurst = burst / static_cast<double>(inBursts);
  l.burstDbm = setLevelDbm + 10 * std::log10(meanBurst / meanWhole);
  l.peakDbm = setLevelDbm + 10 * std::log10(peak / meanWhole);
  l.paprDb = l.peakDbm - l.burstDbm;
  l.valid = true;
  return l;
}

Levels levelsOf(const Waveform& w, double setLevelDbm) {
  const std::vector<double> marker(w.marker2.begin(), w.marker2.end());
  return levelsAt(w.samples, burstRanges(marker, w.samples.size()), setLevelDbm);
}

std::string levelsText(const Levels& l) {
  if (!l.valid) return "";
  char buf[120];
  std::snprintf(buf, sizeof buf, "burst %.1f dBm, peak %.1f dBm, PAPR %.1f dB", l.burstDbm,
                l.peakDbm, l.paprDb);
  return buf;
}

}  // namespace dot11a
