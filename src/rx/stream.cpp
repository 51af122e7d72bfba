// The streaming receiver: the frame search and decoding of the whole-waveform
// receiver over a sliding window of samples.
#include "dot11a/stream_receiver.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <string>
#include <type_traits>
#include <vector>

#include "dot11a/checked_integer.hpp"
#include "dot11a/error.hpp"
#include "dot11a/rate_table.hpp"
#include "rx/frame.hpp"
#include "rx/internal.hpp"
#include "rx/signal.hpp"

namespace dot11a::rx {

namespace {

// Working samples (at 20 MHz) from the start of the short training to the
// end of the longest frame (4095 octets at 6 Mbit/s: 1366 DATA symbols),
// with room for the window shifts of a fast sampling clock.
constexpr long long kLongestFrame = 320 + 80 + 1366 * 80 + 1024;
// Working samples after a short training that the search and the SIGNAL
// field need: the long training is looked for up to 288 samples after the
// short training's start, and SIGNAL follows it.
constexpr long long kSignalReach = 1024;
// Room after a frame's last symbol for the window shifts of a sampling clock
// up to 1000 ppm off.
constexpr long long kFrameMargin = 256;
// Kept before the search position: the report of a frame starts 192 samples
// before its long training, which lies at least 96 after the search position.
constexpr long long kKeepBehind = 512;
// Working samples in the first block of the capture's DC estimate (the most
// a frame waits for it) and in the longest block after it.
constexpr long long kDcFirstBlock = 256;
constexpr long long kDcBlock = 2048;

// A sample's (real, imaginary) pair as one vector register, and the same
// bits as integers.
typedef double Pair __attribute__((vector_size(16)));
typedef std::uint64_t PairBits __attribute__((vector_size(16)));

// Copies the samples to dst and tells whether any part of them is not a
// number or infinite. Infinities and NaN have an all-ones exponent: found
// without a branch per sample. Adding one to the exponent field carries into
// the sign bit only when the field is all ones; a sample's two parts at a
// time.
bool copyChecked(std::span<const cplx> x, cplx* dst) {
  typedef std::uint64_t Parts __attribute__((vector_size(16)));
  constexpr std::uint64_t kExp = 0x7FF0000000000000ULL, kExpLsb = 0x0010000000000000ULL;
  const Parts exp = {kExp, kExp}, lsb = {kExpLsb, kExpLsb};
  Parts any = {0, 0};
  const auto* __restrict src = reinterpret_cast<const unsigned char*>(x.data());
  auto* __restrict out = reinterpret_cast<unsigned char*>(dst);
  for (std::size_t i = 0; i < x.size(); ++i) {
    Parts v;
    std::memcpy(&v, src + sizeof(cplx) * i, sizeof v);
    any |= (v & exp) + lsb;
    std::memcpy(out + sizeof(cplx) * i, &v, sizeof v);
  }
  return ((any[0] | any[1]) >> 63) != 0;
}

// The same for floats, widened to double on the way (which keeps infinities
// and NaN as they are): two samples at a time, each one conversion of a
// pair of floats.
bool copyChecked(std::span<const std::complex<float>> x, cplx* dst) {
  typedef float Floats __attribute__((vector_size(16)));
  typedef std::uint32_t Parts __attribute__((vector_size(16)));
  typedef double Doubles __attribute__((vector_size(32)));
  constexpr std::uint32_t kExp = 0x7F800000u, kExpLsb = 0x00800000u;
  const Parts exp = {kExp, kExp, kExp, kExp}, lsb = {kExpLsb, kExpLsb, kExpLsb, kExpLsb};
  Parts any = {0, 0, 0, 0};
  const auto* __restrict src = reinterpret_cast<const unsigned char*>(x.data());
  auto* __restrict out = reinterpret_cast<unsigned char*>(dst);
  auto put = [&](const Floats& v, std::size_t i, bool both) {
    Parts bits;
    std::memcpy(&bits, &v, sizeof bits);
    any |= (bits & exp) + lsb;
    const Doubles w = __builtin_convertvector(v, Doubles);
    const Pair first = __builtin_shufflevector(w, w, 0, 1),
               second = __builtin_shufflevector(w, w, 2, 3);
    std::memcpy(out + sizeof(cplx) * i, &first, sizeof first);
    if (both) std::memcpy(out + sizeof(cplx) * (i + 1), &second, sizeof second);
  };
  std::size_t i = 0;
  for (; i + 2 <= x.size(); i += 2) {
    Floats v;
    std::memcpy(&v, src + sizeof(std::complex<float>) * i, sizeof v);
    put(v, i, true);
  }
  if (i < x.size()) {  // the last sample of an odd count, with two zeros
    Floats v = {0.0f, 0.0f, 0.0f, 0.0f};
    std::memcpy(&v, src + sizeof(std::complex<float>) * i, sizeof(std::complex<float>));
    put(v, i, false);
  }
  return ((any[0] | any[1] | any[2] | any[3]) >> 31) != 0;
}

// Copies the samples to dst as doubles less `dc`, adding each before that to
// the running sums of the capture's DC: sample `at` + i of the stream to sum
// (at + i) % 4 and its square to power (at + i) % 4, as addToDc does. Tells
// whether all of them are finite and none has a part whose square exceeds
// `high` (a sample that must be looked at as a possible spike): a part that
// is not a number or infinite makes its power sum so (as does a square
// beyond the doubles, from a double sample near their limit), and then sums
// and copy are void.
template <typename T>
bool copySummed(std::span<const std::complex<T>> x, cplx* dst, std::uint64_t at,
                std::array<Pair, 4>& laneSum, std::array<Pair, 4>& lanePower, cplx dc,
                double high) {
  const Pair off = {dc.real(), dc.imag()};
  const Pair limit = {high, high};
  std::array<Pair, 4> sum = laneSum, pw = lanePower;
  PairBits over = {0, 0};
  const T* __restrict src = reinterpret_cast<const T*>(x.data());
  auto* __restrict out = reinterpret_cast<unsigned char*>(dst);
  auto put = [&](std::size_t l, std::size_t i, Pair v) {
    sum[l] += v;
    const Pair sq = v * v;
    pw[l] += sq;
    over |= reinterpret_cast<PairBits>(sq > limit);
    const Pair d = v - off;
    std::memcpy(out + sizeof(cplx) * i, &d, sizeof d);
  };
  // One sample; four at a time, from floats two conversions of two samples.
  auto one = [&](std::size_t i) {
    if constexpr (std::is_same_v<T, float>) {
      return Pair{src[2 * i], src[2 * i + 1]};
    } else {
      Pair v;
      std::memcpy(&v, src + 2 * i, sizeof v);
      return v;
    }
  };
  const std::size_t n = x.size();
  std::size_t i = 0;
  for (; i < n && ((at + i) & 3u) != 0; ++i) put((at + i) & 3u, i, one(i));
  for (; i + 4 <= n; i += 4) {
    if constexpr (std::is_same_v<T, float>) {
      typedef float Floats __attribute__((vector_size(16)));
      typedef double Doubles __attribute__((vector_size(32)));
      Floats p, q;
      std::memcpy(&p, src + 2 * i, sizeof p);
      std::memcpy(&q, src + 2 * i + 4, sizeof q);
      const Doubles u = __builtin_convertvector(p, Doubles),
                    w = __builtin_convertvector(q, Doubles);
      put(0, i, __builtin_shufflevector(u, u, 0, 1));
      put(1, i + 1, __builtin_shufflevector(u, u, 2, 3));
      put(2, i + 2, __builtin_shufflevector(w, w, 0, 1));
      put(3, i + 3, __builtin_shufflevector(w, w, 2, 3));
    } else {
      for (unsigned l = 0; l < 4; ++l) put(l, i + l, one(i + l));
    }
  }
  for (; i < n; ++i) put((at + i) & 3u, i, one(i));
  laneSum = sum;
  lanePower = pw;
  const Pair p = (pw[0] + pw[1]) + (pw[2] + pw[3]);
  return std::isfinite(p[0]) && std::isfinite(p[1]) && (over[0] | over[1]) == 0;
}

}  // namespace

struct StreamReceiver::Impl {
  Options opt;
  FrameHandler onFrame;
  int os = 1;
  // Samples base .. base + len - 1 in the first len places of storage; the
  // storage only grows, so arriving samples are copied, not first zeroed.
  std::vector<cplx> storage;
  std::size_t len = 0;
  std::uint64_t base = 0;
  long long from = 0;     // where the search goes on, in buf
  long long waitFor = 0;  // a frame found waits for the buffer to reach this size
  std::uint64_t seen = 0, frames = 0;
  // Samples counted as 0: not numbers, and lone spikes (in the window).
  CleanedSamples nonFinite, spikes;
  std::uint64_t nonFiniteTotal = 0, spikeTotal = 0;
  // The capture's DC, taken out of the samples as they arrive. The first
  // block loses its own mean (the search waits for it, or for the end of the
  // stream), each later block the mean of all samples before it; the blocks
  // double in length up to kDcBlock, so that a frame near the start meets
  // an estimate from the idle samples before it. The estimate depends only
  // on the samples, not on how they were cut into pieces, it settles as the
  // whole-waveform receiver's mean over the capture does, and after the
  // first block no sample waits for later ones. dcDone counts the samples
  // done from the first one pushed, blockEnd where the current block ends;
  // dcSum and dcPower hold the sums of the blocks before it, the lanes those
  // of the current block so far; dcSteps the start and DC
  // of the blocks still in the window.
  std::uint64_t dcDone = 0, dcCount = 0, blockEnd = 0;
  cplx dcSum{0.0, 0.0}, dc{0.0, 0.0};
  double dcPower = 0.0;
  std::array<Pair, 4> laneSum{}, lanePower{};
  std::vector<std::pair<std::uint64_t, cplx>> dcSteps;

  bool full() const { return frames >= opt.maxFrames; }

  // Appends the samples to the window, non-finite ones as 0, and decodes
  // what they complete.
  template <typename T>
  void append(std::span<const std::complex<T>> samples);
  // Copies the samples to dst, sample `at` of the stream and on, non-finite
  // ones as 0 (counted).
  template <typename T>
  void copyClean(std::span<const std::complex<T>> samples, cplx* dst, std::uint64_t at) {
    if (copyChecked(samples, dst))
      for (std::size_t i = 0; i < samples.size(); ++i)
        if (!std::isfinite(dst[i].real()) || !std::isfinite(dst[i].imag())) {
          dst[i] = 0.0;
          nonFinite.add(at + i);
          ++nonFiniteTotal;
        }
  }

  // Spikes. A sample is looked at when its power exceeds 500 times the mean
  // power of the samples before its block (of its own block for the first),
  // as the whole-waveform receiver looks at those 500 times above the
  // capture's mean; it is a spike when isSpike says so. `checked` counts
  // the samples looked at; lastPower is the power of the one before, as it
  // arrived.
  std::uint64_t checked = 0;
  double lastPower = 0.0;
  double spikeLevel() const {
    return dcCount > 0 ? 500.0 * dcPower / static_cast<double>(dcCount) : 0.0;
  }
  // Looks at samples `checked` .. upTo - 1, whose next neighbours have arrived
  // (or the stream has ended), and zeroes the spikes among them.
  void findSpikes(std::uint64_t upTo, double level) {
    const std::uint64_t arrived = base + len;
    for (; checked < upTo; ++checked) {
      cplx& v = storage[checked - base];
      const double p = std::norm(v);
      if (p > level) {
        const double next = checked + 1 < arrived ? std::norm(storage[checked + 1 - base]) : 0.0;
        if (isSpike(p, lastPower, next)) {
          v = 0.0;
          spikes.add(checked);
          ++spikeTotal;
        }
      }
      lastPower = p;
    }
  }

  // Looks for spikes and takes the DC out of the samples that have arrived,
  // block by block: a sample whose next neighbour has not arrived waits for
  // it, unless the stream has ended.
  void removeDc(bool last) {
    const std::uint64_t arrived = base + len;
    if (arrived == 0) return;
    if (dcDone == 0) {
      const auto first = static_cast<std::uint64_t>(kDcFirstBlock * os);
      if (arrived <= first && !last) return;
      const std::uint64_t n = std::min(first, arrived);
      // The level from the mean power of the block without its strongest
      // sample, which may be the spike.
      double power = 0.0, strongest = 0.0;
      for (std::size_t i = 0; i < n; ++i) {
        const double p = std::norm(storage[i]);
        power += p;
        strongest = std::max(strongest, p);
      }
      findSpikes(n, n > 1 ? 500.0 * (power - strongest) / static_cast<double>(n - 1) : 0.0);
      dcDone = n;
      addToDc(storage.data(), dcDone, 0);
      endBlock();
      dc = captureDcOf(dcSum, dcPower, static_cast<double>(dcCount));
      if (dc != cplx(0.0, 0.0))
        for (std::size_t i = 0; i < dcDone; ++i) storage[i] -= dc;
      dcSteps.emplace_back(0, dc);
    }
    // The last sample waits for its next neighbour when it may be a spike.
    std::uint64_t ready = arrived;
    if (!last && dcDone < arrived && std::norm(storage[arrived - 1 - base]) > spikeLevel())
      ready = arrived - 1;
    while (dcDone < ready) {
      const std::uint64_t n = std::min(blockEnd, ready) - dcDone;
      findSpikes(dcDone + n, spikeLevel());
      cplx* at = storage.data() + (dcDone - base);
      addToDc(at, n, dcDone);
      if (dc != cplx(0.0, 0.0))
        for (std::size_t i = 0; i < n; ++i) at[i] -= dc;
      dcDone += n;
      if (dcDone == blockEnd) nextBlock();
    }
  }
  // A block's sums are complete: the DC of all samples so far goes out of
  // the samples of the next.
  void nextBlock() {
    endBlock();
    dc = captureDcOf(dcSum, dcPower, static_cast<double>(dcCount));
    if (dc != dcSteps.back().second) dcSteps.emplace_back(dcDone, dc);
  }
  // Four partial sums, sample n in sum n % 4 (counted from the first sample
  // pushed), so that the additions need not wait for each other and the sums
  // do not depend on where the pieces end. Kept in locals inside the loop:
  // stores to the members could alias the samples.
  void addToDc(const cplx* x, std::uint64_t n, std::uint64_t at) {
    std::array<Pair, 4> sum = laneSum, pw = lanePower;
    const auto* bytes = reinterpret_cast<const unsigned char*>(x);
    auto add = [&](std::size_t l, std::size_t i) {
      Pair v;
      std::memcpy(&v, bytes + sizeof(cplx) * i, sizeof v);
      sum[l] += v;
      pw[l] += v * v;
    };
    std::size_t i = 0;
    for (; i < n && ((at + i) & 3u) != 0; ++i) add((at + i) & 3u, i);
    for (; i + 4 <= n; i += 4)
      for (unsigned l = 0; l < 4; ++l) add(l, i + l);
    for (; i < n; ++i) add((at + i) & 3u, i);
    laneSum = sum;
    lanePower = pw;
  }
  void endBlock() {
    const Pair s = (laneSum[0] + laneSum[1]) + (laneSum[2] + laneSum[3]);
    const Pair p = (lanePower[0] + lanePower[1]) + (lanePower[2] + lanePower[3]);
    dcSum += cplx(s[0], s[1]);
    dcPower += p[0] + p[1];
    laneSum = {};
    lanePower = {};
    dcCount = dcDone;
    blockEnd = dcDone + std::min(dcDone, static_cast<std::uint64_t>(kDcBlock * os));
  }

  // The DC taken out at sample `at` of the buffer.
  cplx dcAt(long long at) const {
    cplx v(0.0, 0.0);
    for (const auto& [start, value] : dcSteps)
      if (start <= base + static_cast<std::uint64_t>(at)) v = value;
    return v;
  }

  // Searches and decodes what the window allows: without `last`, only frames
  // whose every possible sample has arrived.
  void run(bool last) {
    const long long L = 16LL * os, W = 64LL * os, need = 64LL * os;
    while (!full()) {
      // Only samples the DC has been taken out of.
      const std::span<const cplx> buf(storage.data(), static_cast<std::size_t>(dcDone - base));
      const auto n = static_cast<long long>(buf.size());
      if (!last && n < waitFor) break;
      const long long searchEnd = last ? n : n - kSignalReach * os;
      if (searchEnd <= from) break;
      const Detection det = detect(buf, from, os, searchEnd);
      if (!det.found) {
        if (det.resumeAt < n) {  // a short training without its long training
          from = det.resumeAt;
          continue;
        }
        // Searched to the end of what has arrived: go on from where a short
        // training that the end cut through may begin.
        from = std::max(from, searchEnd - (L + W + need));
        break;
      }
      long long end = 0;
      FrameReport rep = decodeFrame(buf, buf, det, os, opt, end, dcAt(det.ltf), !last);
      if (rep.truncated && !last) {
        // SIGNAL told its length: decode it again once all of it is here.
        waitFor = det.ltf +
                  (128 + 80 * (1 + static_cast<long long>(rep.dataSymbols)) + kFrameMargin) * os;
        break;
      }
      waitFor = 0;
      rep.start += static_cast<std::size_t>(base);
      noteCleaned(rep, nonFinite, spikes, rep.start, base + static_cast<std::uint64_t>(end));
      ++frames;
      onFrame(std::move(rep));
      from = std::max(end, det.resumeAt);
    }
    // Drop what no frame can reach back to, two frames' reach at a time: the
    // samples kept are moved once for every two reaches that arrive.
    const long long drop = from - kKeepBehind * os;
    if (drop > 2 * kLongestFrame * os) {
      const auto d =
          static_cast<std::size_t>(std::min<long long>(drop, static_cast<long long>(len)));
      std::memmove(storage.data(), storage.data() + d, (len - d) * sizeof(cplx));
      len -= d;
      base += static_cast<std::uint64_t>(d);
      from -= d;
      waitFor = std::max<long long>(0, waitFor - d);
      while (dcSteps.size() > 1 && dcSteps[1].first <= base) dcSteps.erase(dcSteps.begin());
      nonFinite.dropBefore(base);
      spikes.dropBefore(base);
    }
  }
};

StreamReceiver::StreamReceiver(const Options& options, FrameHandler onFrame)
    : impl_(std::make_unique<Impl>()) {
  const double ratio = options.sampleRate / kBaseSampleRate;
  const auto os = integerOf<int>(std::round(ratio), 1, 16);
  if (!os || std::abs(ratio - static_cast<double>(*os)) > 1e-9 * ratio)
    raise("A stream's sample rate must be 20 MHz times a whole number from 1 to 16, not " +
          std::to_string(options.sampleRate) + " Hz.");
  impl_->opt = options;
  impl_->onFrame = std::move(onFrame);
  impl_->os = *os;
}

StreamReceiver::~StreamReceiver() = default;

// The samples are copied (from float, widened) and checked in one pass;
// non-finite ones are cleaned only when there are any. Once the first block
// of the DC estimate is done, the same pass also adds them to the estimate
// and takes the DC out, block by block, with the sums and differences of
// removeDc; from a piece with a non-finite sample on, removeDc does that.
template <typename T>
void StreamReceiver::Impl::append(std::span<const std::complex<T>> samples) {
  seen += samples.size();
  if (full() || samples.empty()) return;
  if (storage.size() < len + samples.size()) storage.resize(len + samples.size());
  while (!samples.empty() && dcDone != 0 && dcDone == base + len) {
    const auto n =
        static_cast<std::size_t>(std::min<std::uint64_t>(samples.size(), blockEnd - dcDone));
    cplx* out = storage.data() + len;
    const std::array<Pair, 4> sum = laneSum, pw = lanePower;
    // A part's square above half the spike level: the sample may be a spike.
    if (!copySummed(samples.first(n), out, dcDone, laneSum, lanePower, dc, 0.5 * spikeLevel())) {
      // A non-finite sample or one to look at: the rest is cleaned and goes
      // through removeDc.
      laneSum = sum;
      lanePower = pw;
      break;
    }
    const std::complex<T> lastOne = samples[n - 1];
    lastPower = std::norm(cplx(lastOne.real(), lastOne.imag()));
    len += n;
    dcDone += n;
    checked = dcDone;
    if (dcDone == blockEnd) nextBlock();
    samples = samples.subspan(n);
  }
  if (!samples.empty()) {
    copyClean(samples, storage.data() + len, base + len);
    len += samples.size();
  }
  removeDc(false);
  run(false);
}

void StreamReceiver::push(std::span<const cplx> samples) {
  impl_->append(samples);
}

void StreamReceiver::push(std::span<const std::complex<float>> samples) {
  impl_->append(samples);
}

void StreamReceiver::finish() {
  impl_->removeDc(true);
  impl_->run(true);
}

std::uint64_t StreamReceiver::frameReach() const {
  return static_cast<std::uint64_t>(kLongestFrame * impl_->os);
}

bool StreamReceiver::full() const {
  return impl_->full();
}
std::uint64_t StreamReceiver::samplesSeen() const {
  return impl_->seen;
}
std::uint64_t StreamReceiver::framesFound() const {
  return impl_->frames;
}
std::uint64_t StreamReceiver::nonFiniteSamples() const {
  return impl_->nonFiniteTotal;
}
std::uint64_t StreamReceiver::spikeSamples() const {
  return impl_->spikeTotal;
}

}  // namespace dot11a::rx
