// Internal to the receiver: the per-frame measurements.
#pragma once

#include <fftw3.h>

#include <cstdint>
#include <span>
#include <vector>

#include "dot11a/receiver.hpp"

namespace dot11a::rx {

// Flatness from the frame's channel estimate and the spectrum mask from its
// samples at the input rate.
void measureFrame(FrameReport& rep, std::span<const cplx> frameSamples, const Options& opt,
                  int oversampling);

// Makes `samples` ready for the frame search: non-finite samples (a damaged
// file) become 0 and are counted in `nonFinite`, and the capture's DC
// component is taken out and returned (0 when it is below -50 dB of the
// capture's power). What changes is copied into `store`, which `samples` then
// views; a clean capture without DC is not copied.
cplx cleanCapture(std::span<const cplx>& samples, std::vector<cplx>& store, std::size_t& nonFinite);

// The DC component to take out of samples whose sum, summed power and number
// are given: their mean, or 0 when it is below -50 dB of their power.
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

}  // namespace dot11a::rx
