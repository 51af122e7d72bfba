#include "fft/fft.hpp"

#include <climits>
#include <map>
#include <mutex>
#include <string>
#include <tuple>

#include "dot11a/error.hpp"

namespace dot11a::fft {

namespace {

// The plans of both precisions under one lock (each precision has its own
// planner; one lock keeps it simple and planning is rare).
class PlanCache {
 public:
  fftw_plan get(std::size_t n, Direction direction, bool aligned) {
    std::lock_guard lock(mutex_);
    const auto key = std::tuple(n, direction, aligned);
    if (auto it = plans_.find(key); it != plans_.end()) return it->second;
    const bool forward = direction == Direction::Forward;
    fftw_plan p = nullptr;
    if (n > 0 && n <= static_cast<std::size_t>(INT_MAX)) {
      // FFTW_ESTIMATE leaves the arrays untouched, so scratch ones will do.
      fftw_complex* a = fftw_alloc_complex(n);
      fftw_complex* b = fftw_alloc_complex(n);
      if (a != nullptr && b != nullptr)
        p = fftw_plan_dft_1d(static_cast<int>(n), a, b, forward ? FFTW_FORWARD : FFTW_BACKWARD,
                             FFTW_ESTIMATE | (aligned ? 0u : FFTW_UNALIGNED));
      fftw_free(a);
      fftw_free(b);
    }
    if (p == nullptr) raise(cannotPlan(n, forward));
    plans_.emplace(key, p);
    return p;
  }
  fftwf_plan getSingle(std::size_t n, Direction direction) {
    std::lock_guard lock(mutex_);
    const auto key = std::tuple(n, direction);
    if (auto it = singlePlans_.find(key); it != singlePlans_.end()) return it->second;
    const bool forward = direction == Direction::Forward;
    fftwf_plan p = nullptr;
    if (n > 0 && n <= static_cast<std::size_t>(INT_MAX)) {
      fftwf_complex* a = fftwf_alloc_complex(n);
      fftwf_complex* b = fftwf_alloc_complex(n);
      if (a != nullptr && b != nullptr)
        p = fftwf_plan_dft_1d(static_cast<int>(n), a, b, forward ? FFTW_FORWARD : FFTW_BACKWARD,
                              FFTW_ESTIMATE);
      fftwf_free(a);
      fftwf_free(b);
    }
    if (p == nullptr) raise(cannotPlan(n, forward));
    singlePlans_.emplace(key, p);
    return p;
  }
  // At exit, still under the lock: destroying a plan uses the planner too.
  ~PlanCache() {
    std::lock_guard lock(mutex_);
    for (auto& [key, p] : plans_) fftw_destroy_plan(p);
    for (auto& [key, p] : singlePlans_) fftwf_destroy_plan(p);
  }

 private:
  static std::string cannotPlan(std::size_t n, bool forward) {
    return std::string(forward ? "The FFT of " : "The inverse FFT of ") + std::to_string(n) +
           " points cannot be planned.";
  }
  std::mutex mutex_;
  std::map<std::tuple<std::size_t, Direction, bool>, fftw_plan> plans_;
  std::map<std::tuple<std::size_t, Direction>, fftwf_plan> singlePlans_;
};

PlanCache& cache() {
  static PlanCache plans;
  return plans;
}

}  // namespace

fftw_plan plan(std::size_t n, Direction direction, bool aligned) {
  return cache().get(n, direction, aligned);
}

fftwf_plan planSingle(std::size_t n, Direction direction) {
  return cache().getSingle(n, direction);
}

Buffer::Buffer(std::size_t n, const char* what) : p_(fftw_alloc_complex(n)) {
  if (p_ == nullptr) raise(std::string(what) + " cannot be allocated.");
}

SingleBuffer::SingleBuffer(std::size_t n, const char* what) : p_(fftwf_alloc_complex(n)) {
  if (p_ == nullptr) raise(std::string(what) + " cannot be allocated.");
}

}  // namespace dot11a::fft
