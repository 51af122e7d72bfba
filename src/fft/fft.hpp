// FFTW plans and aligned buffers for the whole library. FFTW's planner is
// global: making or destroying a plan anywhere in the process while another
// thread makes one corrupts it, so every plan of the library is made here,
// under one lock. Executing a plan on new arrays (fftw_execute_dft) is
// thread-safe, so the transforms themselves run in parallel.
#pragma once

#include <fftw3.h>

#include <complex>
#include <cstddef>

namespace dot11a::fft {

enum class Direction { Forward, Inverse };

// The plan of an unnormalised n-point complex transform, made on first use and
// kept until the process ends. Aligned, it may only be executed on arrays from
// fftw_malloc (Buffer below), which lets it use vector code; otherwise on any
// arrays. Raises an Error when FFTW cannot plan it.
fftw_plan plan(std::size_t n, Direction direction, bool aligned);

// The same in single precision, aligned: for estimates (spectra) whose
// dynamic range single precision covers many times over, at about half the
// time of the double-precision transform.
fftwf_plan planSingle(std::size_t n, Direction direction);

// n complex values in FFTW's own (SIMD-aligned) memory, freed with the object.
// Raises an Error naming `what` when the memory cannot be had.
class Buffer {
 public:
  Buffer(std::size_t n, const char* what);
  ~Buffer() { fftw_free(p_); }
  Buffer(const Buffer&) = delete;
  Buffer& operator=(const Buffer&) = delete;
  fftw_complex* get() const { return p_; }
  std::complex<double>* data() const { return reinterpret_cast<std::complex<double>*>(p_); }

 private:
  fftw_complex* p_;
};

// The same in single precision.
class SingleBuffer {
 public:
  SingleBuffer(std::size_t n, const char* what);
  ~SingleBuffer() { fftwf_free(p_); }
  SingleBuffer(const SingleBuffer&) = delete;
  SingleBuffer& operator=(const SingleBuffer&) = delete;
  fftwf_complex* get() const { return p_; }
  std::complex<float>* data() const { return reinterpret_cast<std::complex<float>*>(p_); }

 private:
  fftwf_complex* p_;
};

}  // namespace dot11a::fft
