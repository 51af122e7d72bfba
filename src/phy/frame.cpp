// Frame assembly: preamble, SIGNAL, DATA, idle interval, even-length pad and
// spectrum mirroring, written once into a buffer sized from the length formula.
#include <algorithm>
#include <array>
#include <cmath>

#include "dot11a/error.hpp"
#include "dot11a/synthesis.hpp"
#include "phy/frame_engine.hpp"

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

// The 24 SIGNAL bits as signalBits gives them, for a payload that fits.
std::array<std::uint8_t, 24> signalField(double rate, std::size_t payloadBits) {
  if (payloadBits % 8 != 0) raise("Integer required");
  const std::size_t length = payloadBits / 8;  // at most 4095: checked before
  std::array<std::uint8_t, 24> bits{};
  const Bits r = rateBits(rate);
  std::copy(r.begin(), r.begin() + 4, bits.begin());
  for (std::size_t i = 0; i < 12; ++i) bits[5 + i] = static_cast<std::uint8_t>((length >> i) & 1u);
  unsigned parity = 0;
  for (std::size_t i = 0; i < 17; ++i) parity ^= bits[i];
  bits[17] = static_cast<std::uint8_t>(parity);  // then six tail zeros
  return bits;
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
  synthesizeFrameInto(s, payload, f);
  return f;
}

void synthesizeFrameInto(const FrameSettings& s, std::span<const std::uint8_t> payload, Frame& f) {
  f.waveform.clear();
  f.marker1.clear();
  f.marker2.clear();
  appendFrame(s, payload, f.waveform, f.marker1, f.marker2);
}

void appendFrame(const FrameSettings& s, std::span<const std::uint8_t> payload, Samples& out,
                 std::vector<std::uint8_t>& marker1, std::vector<std::uint8_t>& marker2) {
  const std::size_t base = out.size();
  if (payload.size() > kMaxPsduBits) {
    // The SIGNAL field cannot announce the payload: an idle interval only.
    if (s.idleSamples <= 0)
      raise("dot11a_FRAME: the payload of " +
            (payload.size() % 8 == 0 ? std::to_string(payload.size() / 8) + " octets"
                                     : std::to_string(payload.size()) + " bits") +
            " exceeds the 4095-octet limit of the SIGNAL field, and there is no idle "
            "interval to return instead.");
    const std::size_t n = static_cast<std::size_t>(s.idleSamples);
    out.resize(base + n);
    marker1.resize(base + n);
    marker1[base] = 1;
    marker2.resize(base + n);
    return;
  }
  checkPayload(s, payload.size());
  validate(s.data);
  const DataSettings& d = s.data;
  const std::size_t w = static_cast<std::size_t>(d.windowLength);
  const FrameLayout l = frameLayout(frameShape(s, payload.size()));

  std::array<cplx, 64> mask64;
  carrierMappingInto(s.mask53, 1, mask64);

  const auto shape = detail::shapeFor(d.oversampling, d.windowLength, mask64, d.sincComp);
  const detail::Coding& coding = detail::codingFor(d.modulation, d.encoderRate, d.interleaver);
  thread_local std::vector<std::uint8_t> src;
  const std::size_t nsym = detail::dataSource(d, coding, payload, src);

  // The waveform is appended piece by piece into memory reserved once: each
  // symbol adds its windowed head to the last w samples and appends the rest,
  // so nothing is written twice and the buffer is never zero-filled first.
  // The frame starts at `base`: what `out` held before stays as it is.
  out.reserve(base + std::max(l.total, l.burstEnd + w));
  detail::SymbolWriter writer(*shape);
  if (d.framed) {
    out.insert(out.end(), shape->preamble.begin(), shape->preamble.end());
    std::array<std::uint8_t, 48> signal;
    detail::motherEncode(signalField(s.dataRate, payload.size()), signal.data());
    writer.append(out, writer.build(detail::codingFor(1, kRate1_2, true), signal.data(), 0));
  } else {
    out.resize(base + w);
  }
  for (std::size_t i = 0; i < nsym; ++i)
    writer.append(out, writer.build(coding, src.data() + i * coding.srcPerSymbol,
                                    static_cast<long long>(i) + 1));
  if (!d.framed && w > 0) {
    // Fold the last window tail onto the start, so the waveform loops seamlessly.
    for (std::size_t k = 0; k < w; ++k) out[base + k] += out[base + l.burstEnd + k];
  }
  out.resize(base + l.total);
  marker1.resize(base + l.total);
  if (l.total > 0) marker1[base] = 1;
  marker2.resize(base + std::min(l.burstEnd, l.total), 1);
  marker2.resize(base + l.total);
  if (s.mirrorSpectrum)
    for (std::size_t k = base; k < out.size(); ++k) out[k] = std::conj(out[k]);
}

}  // namespace dot11a
