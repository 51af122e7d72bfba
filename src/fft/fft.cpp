#include "fft/fft.hpp"

#include <climits>
#include <map>
#include <mutex>
#include <string>
#include <tuple>

#include "dot11a/error.hpp"

namespace dot11a::fft {

namespace {

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
    if (p == nullptr)
      raise(std::string(forward ? "The FFT of " : "The inverse FFT of ") + std::to_string(n) +
            " points cannot be planned.");
    plans_.emplace(key, p);
    return p;
  }
  // At exit, still under the lock: destroying a plan uses the planner too.
  ~PlanCache() {
    std::lock_guard lock(mutex_);
    for (auto& [key, p] : plans_) fftw_destroy_plan(p);
  }

 private:
  std::mutex mutex_;
  std::map<std::tuple<std::size_t, Direction, bool>, fftw_plan> plans_;
};

PlanCache& cache() {
  static PlanCache plans;
  return plans;
}

}  // namespace

fftw_plan plan(std::size_t n, Direction direction, bool aligned) {
  return cache().get(n, direction, aligned);
}

Buffer::Buffer(std::size_t n, const char* what) : p_(fftw_alloc_complex(n)) {
  if (p_ == nullptr) raise(std::string(what) + " cannot be allocated.");
}

}  // namespace dot11a::fft
