// Frame assembly: preamble, SIGNAL, DATA, idle interval, even-length pad and
// spectrum mirroring, written once into a buffer sized from the length formula.
#include <algorithm>
#include <array>
#include <cmath>

#include "dot11a/synthesis.hpp"
#include "phy/adapt.hpp"

namespace dot11a {

namespace {

void checkPayload(const FrameSettings& s, std::size_t payloadBits) {
  if (!s.data.framed && payloadBits == 0)
    raise(
        "dot11a_FRAME: there is no payload to synthesise (an unframed waveform needs at least "
        "one payload bit).");
  if (s.mask53.size() != 53)
    raise("dot11a_FRAME: the sub-carrier mask must hold 53 values (-26 ... +26), not " +
          std::to_string(s.mask53.size()) + ".");
}

}  // namespace

FrameShape frameShape(const FrameSettings& s, std::size_t payloadBits) {
  FrameShape shape;
  shape.framed = s.data.framed;
  shape.modulation = static_cast<Modulation>(s.data.modulation);
  shape.codingRate = s.data.encoderRate;
  shape.oversampling = s.data.oversampling;
  shape.windowLength = s.data.windowLength;
  shape.idleSamples = s.idleSamples;
  shape.payloadBits = payloadBits;
  return shape;
}

std::size_t frameLength(const FrameSettings& s, std::size_t payloadBits) {
  if (payloadBits > kMaxPsduBits)
    return s.idleSamples > 0 ? static_cast<std::size_t>(s.idleSamples) : 0;
  validate(s.data);
  return frameLayout(frameShape(s, payloadBits)).total;
}

Frame synthesizeFrame(const FrameSettings& s, std::span<const std::uint8_t> payload) {
  Frame f;
  if (payload.size() > kMaxPsduBits) {
    // The SIGNAL field cannot announce the payload: an idle interval only.
    if (s.idleSamples <= 0)
      raise("dot11a_FRAME: the payload of " + std::to_string(payload.size() / 8) +
            " octets exceeds the 4095-octet limit of the SIGNAL field, and there is no idle "
            "interval to return instead.");
    const std::size_t n = static_cast<std::size_t>(s.idleSamples);
    f.waveform.assign(n, cplx(0.0, 0.0));
    f.marker1.assign(n, 0);
    f.marker1[0] = 1;
    f.marker2.assign(n, 0);
    return f;
  }
  checkPayload(s, payload.size());
  validate(s.data);
  const DataSettings& d = s.data;
  const std::size_t w = static_cast<std::size_t>(d.windowLength);
  const FrameLayout l = frameLayout(frameShape(s, payload.size()));

  std::array<cplx, 64> mask64;
  carrierMappingInto(s.mask53, 1, mask64);

  // The burst is built with its last window tail in place, then trimmed.
  Samples& out = f.waveform;
  out.assign(std::max(l.total, l.burstEnd + w), cplx(0.0, 0.0));
  if (d.framed) {
    auto add = [&](const Samples& piece, std::size_t at) {
      for (std::size_t k = 0; k < piece.size(); ++k) out[at + k] += piece[k];
    };
    add(shortSequence(d.oversampling, d.windowLength, mask64, d.sincComp), 0);
    add(longSequence(d.oversampling, d.windowLength, mask64, d.sincComp),
        l.preamble.begin + kShortTrainingSamples * static_cast<std::size_t>(d.oversampling));
    add(signalSymbol(s.dataRate, static_cast<double>(payload.size()) / 8.0, d.oversampling,
                     d.windowLength, mask64, d.sincComp),
        l.signal.begin);
  }
  dataFieldInto(d, payload, mask64, std::span(out).subspan(l.data.begin));
  if (!d.framed && w > 0) {
    // Fold the last window tail onto the start, so the waveform loops seamlessly.
    for (std::size_t k = 0; k < w; ++k) {
      out[k] += out[l.burstEnd + k];
      out[l.burstEnd + k] = 0.0;
    }
  }
  out.resize(l.total);
  f.marker1.assign(l.total, 0);
  if (l.total > 0) f.marker1[0] = 1;
  f.marker2.assign(l.total, 0);
  std::fill(f.marker2.begin(), f.marker2.begin() + static_cast<long>(std::min(l.burstEnd, l.total)),
            1);
  if (s.mirrorSpectrum)
    for (cplx& x : out) x = std::conj(x);
  return f;
}

namespace op {

void dot11a_FRAME(Call& c) {
  c.outputNames({"waveform", "markers"});
  FrameSettings s;
  s.data = dataSettingsFrom(c, 0);
  const Bits payload = c.in(1, "data").toBits();
  s.dataRate = c.in(3, "dataRate").toScalar();
  s.mask53 = adapt::complexRow(c.in(9, "subCarrierMask"), 53, "subCarrierMask");
  s.data.oversampling = adapt::oversampling(c.in(10, "oversamplingRate"));
  s.data.windowLength = adapt::windowLength(c.in(11, "windowLength"));
  const double idle = c.in(12, "idleSamples").toScalar();
  if (!std::isfinite(idle) || idle != std::floor(idle))
    raise("\"idleSamples\" must be a whole number of samples.");
  s.idleSamples = static_cast<long long>(idle);
  s.mirrorSpectrum = c.in(13, "mirrorSpectrum").truthy();
  s.data.sincComp = c.in(14, "sincCompensation").truthy();
  const Frame f = synthesizeFrame(s, payload);
  const std::size_t n = f.waveform.size();
  c.out(0) = adapt::row(f.waveform);
  std::vector<double> m(2 * n);
  for (std::size_t i = 0; i < n; ++i) {  // 2 x n, column-major
    m[2 * i] = f.marker1[i];
    m[2 * i + 1] = f.marker2[i];
  }
  c.out(1) = Value::matrix(n == 0 ? 0 : 2, n, std::move(m));
}

}  // namespace op
}  // namespace dot11a
