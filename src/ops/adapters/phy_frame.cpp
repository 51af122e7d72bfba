// The operations of frame (phy): Value adapters over the typed functions.
#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <string>
#include "dot11a/call.hpp"
#include "dot11a/checked_integer.hpp"
#include "dot11a/error.hpp"
#include "dot11a/frame_layout.hpp"
#include "dot11a/synthesis.hpp"
#include "dot11a/waveform.hpp"
#include "ops/adapt.hpp"

namespace dot11a {

namespace op {

FrameSettings frameSettingsFrom(Call& c) {
  FrameSettings s;
  s.data = dataSettingsFrom(c, 0);
  s.dataRate = c.in(3, "dataRate").toScalar();
  s.mask53 = adapt::complexRow(c.in(9, "subCarrierMask"), 53, "subCarrierMask");
  s.data.oversampling = adapt::oversampling(c.in(10, "oversamplingRate"));
  s.data.windowLength = adapt::windowLength(c.in(11, "windowLength"));
  // Checked before the waveform is sized from it, not found out by the
  // allocation; dot11a_FRAME checks the whole waveform once the payload is known.
  const Value& idle = c.in(12, "idleSamples");
  const auto samples = integerOf<long long>(adapt::realScalar(idle, "idleSamples"), 0,
                                            static_cast<long long>(kMaxResultSamples));
  if (!samples)
    raise("\"idleSamples\" must be a whole number of samples from 0 to " +
          std::to_string(kMaxResultSamples) + ", not " + adapt::shown(idle) + ".");
  s.idleSamples = *samples;
  s.mirrorSpectrum = c.in(13, "mirrorSpectrum").truthy();
  s.data.sincComp = c.in(14, "sincCompensation").truthy();
  return s;
}

FrameResult frameResult(const Frame& f) {
  const std::size_t n = f.waveform.size();
  std::vector<double> m(2 * n);
  for (std::size_t i = 0; i < n; ++i) {  // 2 x n, column-major
    m[2 * i] = f.marker1[i];
    m[2 * i + 1] = f.marker2[i];
  }
  return {adapt::row(f.waveform), Value::matrix(n == 0 ? 0 : 2, n, std::move(m))};
}

void dot11a_FRAME(Call& c) {
  c.outputNames({"waveform", "markers"});
  const FrameSettings s = frameSettingsFrom(c);
  const Bits payload = c.in(1, "data").toBits();
  FrameShape shape;
  shape.framed = s.data.framed;
  shape.modulation = static_cast<Modulation>(s.data.modulation);
  shape.codingRate = s.data.encoderRate;
  shape.oversampling = s.data.oversampling;
  shape.windowLength = s.data.windowLength;
  shape.idleSamples = s.idleSamples;
  shape.payloadBits = payload.size();
  checkResultSize(frameLayout(shape).total, "The waveform");
  FrameResult r = frameResult(synthesizeFrame(s, payload));
  c.out(0) = std::move(r.waveform);
  c.out(1) = std::move(r.markers);
}

}  // namespace op

}  // namespace dot11a
