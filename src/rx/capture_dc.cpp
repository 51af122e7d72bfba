// The capture-wide DC component, taken out before the frame search.
#include "rx/internal.hpp"

namespace dot11a::rx {

// A component weaker than -50 dB of the capture's power is left alone, so
// clean waveforms are not copied.
cplx captureDcOf(cplx sum, double power, double count) {
  if (!(count > 0.0)) return {0.0, 0.0};
  const cplx dc = sum / count;
  return std::norm(dc) * count > 1e-5 * power ? dc : cplx(0.0, 0.0);
}

// A DC component of the capture (the capturing receiver's own carrier
// leakage) pulls the frame search's carrier offset towards 0 Hz and, turned
// by the carrier correction, spreads over every sub-carrier. Its mean over
// the capture is taken out before the search: the frames themselves average
// to almost nothing.
cplx removeCaptureDc(std::span<const cplx>& samples, std::vector<cplx>& store) {
  cplx sum(0.0, 0.0);
  double power = 0.0;
  for (const cplx& v : samples) {
    sum += v;
    power += std::norm(v);
  }
  const cplx dc = captureDcOf(sum, power, static_cast<double>(samples.size()));
  if (dc == cplx(0.0, 0.0)) return dc;
  if (store.data() != samples.data()) store.assign(samples.begin(), samples.end());
  for (cplx& v : store) v -= dc;
  samples = store;
  return dc;
}

}  // namespace dot11a::rx
