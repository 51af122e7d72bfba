// Internal to the receiver: the per-frame measurements.
#pragma once

#include <fftw3.h>

#include <cstdint>
#include <span>
#include <utility>
#include <vector>

#include "dot11a/receiver.hpp"

namespace dot11a::rx {

// Flatness from the frame's channel estimate and the spectrum mask from its
// samples at the input rate.
void measureFrame(FrameReport& rep, std::span<const cplx> frameSamples, const Options& opt,
                  int oversampling);

// Samples the receiver counted as 0: those that are not numbers (a damaged
// file) and lone spikes (see isSpike), in runs of consecutive sample
// numbers, so that each frame can say how many lay in it.
class CleanedSamples {
 public:
  // Sample n was cleaned; n at or after every sample added before.
  void add(std::uint64_t n) {
    if (!runs_.empty() && runs_.back().second == n)
      ++runs_.back().second;
    else
      runs_.emplace_back(n, n + 1);
    ++total_;
  }
  std::uint64_t total() const { return total_; }
  // How many of the samples from..to-1 were cleaned.
  std::uint64_t countIn(std::uint64_t from, std::uint64_t to) const;
  // Forgets the runs that end at or before n (a stream's window moved on).
  void dropBefore(std::uint64_t n);

 private:
  std::vector<std::pair<std::uint64_t, std::uint64_t>> runs_;  // [first, end)
  std::uint64_t total_ = 0;
};

// The notes of a frame whose samples from..to-1 (input samples) held cleaned ones.
void noteCleaned(FrameReport& rep, const CleanedSamples& nonFinite, const CleanedSamples& spikes,
                 std::uint64_t from, std::uint64_t to);

// A sample of power p between neighbours of power prev and next is a lone
// spike (a glitch of the capturing hardware, a damaged file) when it stands
// 60 dB above both together. No signal the receiver decodes does that: a
// band-limited frame moves by far less from one sample to the next, and a
// frame after exact silence has its next sample beside it. A sample among
// exact zeros is left alone: it hides no frame and moves no DC estimate.
inline bool isSpike(double p, double prev, double next) {
  const double around = prev + next;
  return around > 0.0 && p > 1e6 * around;
}

// Makes `samples` ready for the frame search: non-finite samples (a damaged
// file) and lone spikes become 0 and are counted, and the capture's DC
// component is taken out and returned (see captureDcOf). What changes is
// copied into `store`, which `samples` then views; a clean capture without
// DC is not copied.
cplx cleanCapture(std::span<const cplx>& samples, std::vector<cplx>& store,
                  CleanedSamples& nonFinite, CleanedSamples& spikes);

// The DC component to take out of samples whose sum, summed power and number
// are given: their mean, when it stands out of the samples at all. It must
// be -50 dB of their power or more, and their sum must stand far above the
// sum of a signal without DC (whose squared magnitude is about the signal's
// summed power): otherwise it is 0. So the mean that a perfect frame's
// cyclic prefixes leave in a short capture, or one spike, is no DC.
cplx captureDcOf(cplx sum, double power, double count);

// A forward FFT plan of n points (no scaling), shared by the receiver's
// stages. Aligned, it may only be executed on buffers from fftw_alloc_complex
// and may use vector code; otherwise it takes any arrays.
fftw_plan forwardPlan(std::size_t n, bool aligned = false);

// The Viterbi decoder's forward passes: the plain one (the reference) and the
// vector ones, which give the same bits where the processor has them.
enum class ViterbiPass { plain, avx2 };
bool viterbiPassAvailable(ViterbiPass pass);

// viterbiDecode, with the best vector forward pass the processor has or the
// plain one.
std::vector<std::uint8_t> viterbiDecodeWith(std::span<const float> soft, double codingRate,
                                            std::size_t nBits, bool terminated, bool vector);
// The same with the pass given, which must be available.
std::vector<std::uint8_t> viterbiDecodeWith(std::span<const float> soft, double codingRate,
                                            std::size_t nBits, bool terminated, ViterbiPass pass);

// Soft-decision Viterbi decoding in double precision, nothing quantised or
// clipped: `soft` holds log-likelihood ratios (positive for a one), the
// branch metric is half their signed sum. The reference decoder of the
// ideal receiver; otherwise as viterbiDecode.
std::vector<std::uint8_t> viterbiDecodeExact(std::span<const double> soft, double codingRate,
                                             std::size_t nBits, bool terminated);

}  // namespace dot11a::rx
