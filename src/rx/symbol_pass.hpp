// Internal to the receiver: the per-symbol work on the sub-carriers of a
// frame's symbols (equalisation, demapping, the nearest point, the error and
// what the IQ estimate takes), in loops over arrays laid out per sub-carrier,
// real and imaginary parts apart, so that they run as vector code.
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "core/vector_dispatch.hpp"
#include "dot11a/receiver.hpp"

namespace dot11a::rx {

// Sub-carriers are indexed 0..52 for -26..+26; the arrays run to 56 so that
// a loop over them ends on a whole vector.
inline constexpr std::size_t kPadded = 56;

// Per sub-carrier, real and imaginary parts apart.
struct SplitCarriers {
  alignas(32) std::array<double, kPadded> re{};
  alignas(32) std::array<double, kPadded> im{};
  cplx at(std::size_t i) const { return {re[i], im[i]}; }
};

// out[i] = x[i] e[i] for i < count, x[i] conjugated first when `conjugate`:
// the samples of an FFT window turned by the carrier correction.
void turnSamples(const cplx* x, const cplx* e, bool conjugate, std::size_t count, cplx* out);

// c[i] = bins[i] r for the 53 sub-carriers: negative ones (-26..-1) from
// `negative`, the others (0..+26) from `positive`.
void turnCarriers(const cplx* negative, const cplx* positive, cplx r, std::array<cplx, 53>& c);

class SymbolPass {
 public:
  // Per frame: the inverse channel and the weight (|h|^2) of each
  // sub-carrier, both 0 where it is off.
  void setChannel(const std::array<cplx, 53>& hInv, const std::array<double, 53>& weight);
  // Per frame: the measurements' equalisation against the decoding's, per
  // sub-carrier (the decoding's channel over the measurements'), where the
  // two estimates differ; none makes them the same. The errors are then
  // those of the points so turned, about their own nearest points.
  void setMeasurement(const std::array<cplx, 53>* ratio);

  // Per frame, once its rate is known: the bits per sub-carrier, the
  // interleaver's permutation (the soft values come out in the order the
  // decoder takes them), the data sub-carriers whose errors count in the
  // symbol's EVM, and the sub-carriers the IQ estimate takes (known to carry
  // data: inverse channel not 0).
  void setData(int nbpsc, std::span<const std::uint16_t> perm, const std::array<bool, 48>& counted,
               const std::array<cplx, 53>& hInvKnown);

  // Equalises the sub-carriers y of one symbol: e = (y / h) g with g the
  // turn e^(j k a) of sub-carrier k (up[k] for k = 0..27; -k takes the
  // conjugate) times the common rotation. The same y g, kept for the IQ
  // estimate, is 0 on the sub-carriers it does not take.
  void equalise(const std::array<cplx, 53>& y, const std::array<cplx, 28>& up, cplx rot);
  // Of the last symbol equalised, each sub-carrier's point z against its
  // decision d (the nearest point of `nbpsc` bits a sub-carrier for data,
  // the pilot's value `polarity` times its sign for a pilot), weighed by the
  // sub-carrier's weight w: the sums of w z conj(d), of k w z conj(d) (k
  // the sub-carrier's number) and of w k^2 |d|^2. They give the symbol's
  // residual common phase and phase slope.
  struct Residual {
    cplx common, slope;
    double slopeWeight = 0.0;
  };
  Residual residual(int nbpsc, double polarity) const;
  // The equalised sub-carrier i (0..52) of the last symbol.
  cplx point(std::size_t i) const { return eq_.at(i); }
  // The same as the measurements take it.
  cplx measuredPoint(std::size_t i) const { return apart_ ? eq_.at(i) * ratio_.at(i) : eq_.at(i); }

  // For the last symbol equalised: writes its soft values (setData's count,
  // deinterleaved) to `soft`, decides the nearest point of each data
  // sub-carrier (the pilots on BPSK), adds each data sub-carrier's squared
  // error to its sum over the frame and returns the sum of the counted ones.
  double decide(float* soft);
  // The squared error of data sub-carrier j in the last symbol decided.
  double error(std::size_t j) const { return err_[index_[j]]; }
  // The sum of data sub-carrier j's squared errors over the symbols.
  double carrierError(std::size_t j) const { return errCarrier_[index_[j]]; }
  // The last symbol's received values turned by its phase correction and the
  // points decided, both 0 where the IQ estimate takes nothing.
  const SplitCarriers& received() const { return turned_; }
  const SplitCarriers& decided() const { return decided_; }

 private:
  // Per frame, per sub-carrier 0..52 (the padding 0): the inverse channel,
  // the weight, 1 where a data sub-carrier's error counts at all, 1 where it
  // counts in the symbol's EVM, 1 where the IQ estimate takes it, the sums of
  // the squared errors.
  SplitCarriers hInv_, ratio_;
  bool apart_ = false;  // the measurements take a channel of their own
  alignas(32) std::array<double, kPadded> weight_{}, on_{}, counted_{}, known_{}, errCarrier_{};
  std::array<std::uint8_t, 48> index_{};  // data sub-carrier j's index 0..52
  int nbpsc_ = 1;
  std::size_t ncbps_ = 0;
  std::array<std::uint32_t, 288> from_{};  // soft value k of a symbol: its place in soft_
  // Per symbol.
  SplitCarriers eq_, turned_, decided_;
  alignas(32) std::array<double, kPadded> err_{};
  alignas(32) std::array<float, 6 * kPadded> soft_{};  // bit b of sub-carrier i at b * kPadded + i
};

}  // namespace dot11a::rx
