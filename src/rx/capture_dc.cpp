// The capture-wide DC component, taken out before the frame search.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>

#include "rx/internal.hpp"

namespace dot11a::rx {

namespace {

// How far the squared sum must stand above the summed power: a signal
// without DC sums like a random walk, to about its power (a frame's cyclic
// prefixes to a fifth of it), and exceeds 30 times that with a probability
// of e^-30.
constexpr double kDcSignificance = 30.0;

}  // namespace

// A component weaker than -50 dB of the capture's power is left alone, so
// clean waveforms are not copied.
cplx captureDcOf(cplx sum, double power, double count) {
  if (!(count > 0.0)) return {0.0, 0.0};
  const cplx dc = sum / count;
  const bool strong = std::norm(dc) * count > 1e-5 * power;
  const bool standsOut = std::norm(sum) > kDcSignificance * power;
  return strong && standsOut ? dc : cplx(0.0, 0.0);
}

std::uint64_t CleanedSamples::countIn(std::uint64_t from, std::uint64_t to) const {
  std::uint64_t n = 0;
  // The runs are in order: those that end after `from`, up to the first
  // that starts at or after `to`.
  auto it = std::upper_bound(runs_.begin(), runs_.end(), from,
                             [](std::uint64_t v, const auto& run) { return v < run.second; });
  for (; it != runs_.end() && it->first < to; ++it)
    n += std::min(to, it->second) - std::max(from, it->first);
  return n;
}

void CleanedSamples::dropBefore(std::uint64_t n) {
  const auto keep =
      std::find_if(runs_.begin(), runs_.end(), [n](const auto& run) { return run.second > n; });
  runs_.erase(runs_.begin(), keep);
}

void noteCleaned(FrameReport& rep, const CleanedSamples& nonFinite, const CleanedSamples& spikes,
                 std::uint64_t from, std::uint64_t to) {
  if (const std::uint64_t n = nonFinite.countIn(from, to); n > 0)
    rep.notes.push_back(std::to_string(n) + " samples were not numbers and count as 0.");
  if (const std::uint64_t n = spikes.countIn(from, to); n > 0)
    rep.notes.push_back(std::to_string(n) + (n == 1 ? " sample stands" : " samples stand") +
                        " 60 dB above its neighbours (a spike) and counts as 0.");
}

namespace {

struct CaptureSums {
  cplx sum{0.0, 0.0};
  double power = 0.0;
  double peak = 0.0;  // the largest square of a real or imaginary part
  bool nonFinite = false;
};

// One pass over the samples: their sum, their power, the largest square of
// a part and whether any part is infinite or NaN (its square, and so the
// power, is then not finite; so is a square beyond the doubles, from a
// sample near their limit, which the cleaning then leaves as it is). Four
// lanes of (real, imaginary) pairs, so the additions need not wait for each
// other; two for the largest square, so that all stay in registers.
CaptureSums captureSums(std::span<const cplx> samples) {
  typedef double Pair __attribute__((vector_size(16)));
  Pair sum[4] = {}, pw[4] = {}, top[2] = {};
  const auto* bytes = reinterpret_cast<const unsigned char*>(samples.data());
  auto add = [&](std::size_t l, std::size_t i) {
    Pair v;
    std::memcpy(&v, bytes + sizeof(cplx) * i, sizeof v);
    sum[l] += v;
    const Pair sq = v * v;
    pw[l] += sq;
    top[l & 1] = top[l & 1] > sq ? top[l & 1] : sq;
  };
  const std::size_t n = samples.size();
  std::size_t i = 0;
  for (; i + 4 <= n; i += 4)
    for (unsigned l = 0; l < 4; ++l) add(l, i + l);
  for (; i < n; ++i) add(i & 3u, i);
  const Pair s = (sum[0] + sum[1]) + (sum[2] + sum[3]);
  const Pair p = (pw[0] + pw[1]) + (pw[2] + pw[3]);
  const double power = p[0] + p[1];
  const double peak = std::max({top[0][0], top[0][1], top[1][0], top[1][1]});
  return {cplx(s[0], s[1]), power, peak, !std::isfinite(power)};
}

}  // namespace

// A DC component of the capture (the capturing receiver's own carrier
// leakage) pulls the frame search's carrier offset towards 0 Hz and, turned
// by the carrier correction, spreads over every sub-carrier. Its mean over
// the capture is taken out before the search: the frames themselves average
// to almost nothing. A spike would poison that mean and hide the frame it
// lands in from the search, so spikes are taken out first: looked for among
// the samples 27 dB above the capture's mean power, which a frame's peaks
// reach only when the capture is mostly silence.
cplx cleanCapture(std::span<const cplx>& samples, std::vector<cplx>& store,
                  CleanedSamples& nonFinite, CleanedSamples& spikes) {
  CaptureSums sums = captureSums(samples);
  if (sums.nonFinite) {
    store.assign(samples.begin(), samples.end());
    for (std::size_t i = 0; i < store.size(); ++i)
      if (!std::isfinite(store[i].real()) || !std::isfinite(store[i].imag())) {
        store[i] = 0.0;
        nonFinite.add(i);
      }
    samples = store;
    sums = captureSums(samples);
  }
  const std::size_t n = samples.size();
  // The level from the mean power without the strongest sample (at most
  // twice the largest square of a part), which may be the spike.
  const double level =
      n > 1 ? 500.0 * std::max(0.0, sums.power - 2.0 * sums.peak) / static_cast<double>(n - 1)
            : 0.0;
  if (2.0 * sums.peak > level) {
    double prev = 0.0, here = n > 0 ? std::norm(samples[0]) : 0.0;
    std::vector<std::size_t> found;
    for (std::size_t i = 0; i < n; ++i) {
      const double next = i + 1 < n ? std::norm(samples[i + 1]) : 0.0;
      if (here > level && isSpike(here, prev, next)) found.push_back(i);
      prev = here;
      here = next;
    }
    if (!found.empty()) {
      if (store.data() != samples.data()) store.assign(samples.begin(), samples.end());
      for (const std::size_t i : found) {
        store[i] = 0.0;
        spikes.add(i);
      }
      samples = store;
      sums = captureSums(samples);
    }
  }
  const cplx dc = captureDcOf(sums.sum, sums.power, static_cast<double>(n));
  if (dc == cplx(0.0, 0.0)) return dc;
  if (store.data() != samples.data()) store.assign(samples.begin(), samples.end());
  for (cplx& v : store) v -= dc;
  samples = store;
  return dc;
}

}  // namespace dot11a::rx
