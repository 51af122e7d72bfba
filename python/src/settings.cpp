// The typed synthesis of a frame from its parameter set, and the receiver-test
// waveform (sequence and impairments) when synthesize() asks for one.
#include <algorithm>
#include <cstdio>
#include <string_view>

#include "dot11a/num2str.hpp"
#include "dot11a/parameters.hpp"
#include "dot11a/rate_table.hpp"
#include "veltora.hpp"

namespace veltora {

using dot11a::Value;

namespace {

std::string shown(double v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%g", v);
  return buf;
}

std::string describeRate(const Value& p) {
  static const char* const kMod[] = {"BPSK", "QPSK", "16-QAM", "64-QAM"};
  const double coding = p.field("encoderRate").toScalar();
  const int mod = static_cast<int>(p.field("modulation").toScalar());
  const std::string_view text = dot11a::codingRateText(coding);
  const double mbps = dot11a::dataRateFor(mod, coding);
  return (mbps > 0 ? shown(mbps) + " Mbit/s, " : std::string("custom rate, ")) +
         kMod[std::clamp(mod, 1, 4) - 1] + ", coding " +
         (text.empty() ? dot11a::num2str(coding) : std::string(text));
}

}  // namespace

Synthesis synthesize(const Value& p) {
  // The settings the main window's calculation hands to the synthesis, with
  // the DAC compensation it always applies. The fields are whole numbers
  // within their bounds (parameterSet() checked them), so they convert as they are.
  dot11a::FrameSettings s;
  s.data.framed = p.field("generationMode").truthy();
  s.data.service = static_cast<unsigned>(p.field("serviceField").toScalar());
  s.data.modulation = static_cast<int>(p.field("modulation").toScalar());
  s.data.encoderRate = p.field("encoderRate").toScalar();
  s.data.scrambler = p.field("scramblerActive").truthy();
  s.data.scramblerInit = static_cast<unsigned>(p.field("scramblerInit").toScalar());
  s.data.interleaver = p.field("interleaverActive").truthy();
  s.data.oversampling = static_cast<int>(p.field("OverSampling").toScalar());
  s.data.windowLength = static_cast<int>(p.field("WindowingLength").toScalar());
  s.data.sincComp = true;
  // The derived data rate, as updateDerivedFields() would store it.
  s.dataRate = dot11a::dataRateFor(s.data.modulation, s.data.encoderRate);
  s.mask53 = p.field("SubCarriers").toComplex();
  s.idleSamples = static_cast<long long>(p.field("idleSamples").toScalar());
  s.mirrorSpectrum = p.field("MirrorSpectrum").truthy();

  const dot11a::Bits bits = dot11a::calculationBits(p);
  Synthesis out;
  out.frame = dot11a::synthesizeFrame(s, bits);
  out.sampleRate = dot11a::kBaseSampleRate * s.data.oversampling;
  out.layout = dot11a::frameLayout(
      {s.data.framed, static_cast<dot11a::Modulation>(s.data.modulation), s.data.encoderRate,
       s.data.oversampling, s.data.windowLength, s.idleSamples, bits.size()});
  // Octets with the first bit in the LSB, eight bits at a time.
  const std::size_t n = bits.size();
  out.psdu.resize((n + 7) / 8);
  for (std::size_t o = 0; o < out.psdu.size(); ++o) {
    unsigned octet = 0;
    for (std::size_t k = 0; k < 8 && 8 * o + k < n; ++k) octet |= (bits[8 * o + k] & 1u) << k;
    out.psdu[o] = static_cast<std::uint8_t>(octet);
  }
  out.description = describeRate(p);
  out.fcs = p.field("MACfcs").field("Active").toScalar() == 1;
  return out;
}

Made make(const FrameRequest& r) {
  Value p = dot11a::generatorParameters(r.settings, dot11a::OptionSpelling::Keyword);
  Made out;
  if (!dot11a::receiverTestWanted(r.impairments)) {
    out.frame = synthesize(p);
    return out;
  }
  const bool oversamplingGiven =
      std::any_of(r.settings.begin(), r.settings.end(),
                  [](const dot11a::NamedOption& o) { return o.name == "oversampling"; });
  out.test = dot11a::applyTestPreset(r.impairments, p, oversamplingGiven);
  // The first frame without impairments (as a sequence file sets it), for the
  // facts of the frame itself.
  out.frame = synthesize(dot11a::sequenceFrameParameters(
      p, dot11a::sequenceRequest(r.impairments, out.test, dot11a::impair::kMemoryM32Samples), 0));
  out.waveform =
      dot11a::receiverTestWaveform(r.impairments, out.test, r.frequency, p, out.frame.sampleRate);
  return out;
}

}  // namespace veltora
