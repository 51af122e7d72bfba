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

// Takes the capture's DC component out of `samples` ahead of the frame search,
// into `store` (which `samples` may already view), and returns it; 0 and
// nothing copied when it is below -50 dB of the capture's power.
cplx removeCaptureDc(std::span<const cplx>& samples, std::vector<cplx>& store);

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
