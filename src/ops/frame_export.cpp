// The calculated frame and the waveform files it is exported to.
#include "dot11a/frame_export.hpp"

#include <algorithm>

#include "dot11a/matfile.hpp"
#include "dot11a/num2str.hpp"
#include "dot11a/parameters.hpp"
#include "dot11a/payload.hpp"
#include "dot11a/rate_table.hpp"
#include "dot11a/size_estimate.hpp"

namespace dot11a {

std::string rateDescription(const Value& p) {
  static const char* const kMod[] = {"BPSK", "QPSK", "16-QAM", "64-QAM"};
  const double rate = p.field("encoderRate").toScalar();
  const int mod = static_cast<int>(p.field("modulation").toScalar());
  const std::string_view coding = codingRateText(rate);
  const double mbps = dataRateFor(mod, rate);
  return (mbps > 0 ? std::to_string(static_cast<int>(mbps)) + " Mbit/s, "
                   : std::string("custom rate, ")) +
         kMod[std::clamp(mod, 1, 4) - 1] + ", coding " +
         (coding.empty() ? num2str(rate) : std::string(coding));
}

CalculatedFrame calculatedFrame(const Value& p) {
  CalculatedFrame f;
  FrameResult r = calculateFrame(p);
  f.samples = r.waveform.toComplex();
  f.waveform = std::move(r.waveform);
  f.markers = std::move(r.markers);
  f.sampleRate = kBaseSampleRate * p.field("OverSampling").toScalar();
  const Bits bits = generatePayload(p);
  f.psdu.assign((bits.size() + 7) / 8, 0);
  for (std::size_t i = 0; i < bits.size(); ++i)
    if (bits[i]) f.psdu[i / 8] |= static_cast<std::uint8_t>(1u << (i % 8));  // first bit is the LSB
  f.layout = frameLayout(frameShapeOf(p));
  f.rateText = rateDescription(p);
  f.rateMbps = dataRateFor(p.field("modulation").toScalar(), p.field("encoderRate").toScalar());
  f.fcsActive = p.field("MACfcs").field("Active").toScalar() == 1;
  f.dacPrecompensated = true;  // calculateFrame always pre-compensates the DAC
  return f;
}

SigmfInfo sigmfInfoOf(const CalculatedFrame& f, std::optional<double> frequency) {
  SigmfInfo info;
  info.sampleRate = f.sampleRate;
  info.frequency = frequency;
  info.dacPrecompensated = f.dacPrecompensated;
  // The PSDU as generated, not a length field of the parameter set.
  const std::string length = std::to_string(f.psdu.size());
  info.description = "802.11a frame, " + f.rateText + ", PSDU " + length + " octets";
  const FrameLayout& l = f.layout;
  if (l.preamble.size() > 0)
    info.annotations.push_back(
        {l.preamble.begin, l.preamble.size(), "preamble", "short and long training symbols"});
  if (l.signal.size() > 0)
    info.annotations.push_back(
        {l.signal.begin, l.signal.size(), "SIGNAL", f.rateText + ", LENGTH " + length});
  info.annotations.push_back(
      {l.data.begin, l.data.size(), "DATA",
       f.rateText + ", LENGTH " + length + ", " + std::to_string(l.dataSymbols) + " symbols"});
  return info;
}

std::vector<FileFilter> waveformFileFilters() {
  return {{"*.sigmf-meta", "SigMF recording (*.sigmf-meta)"},
          {"*.mat", "MAT container with the sample rate (*.mat)"},
          {"*.bin", "16-bit I/Q samples (*.bin)"},
          {"*.pcap", "PCAP of the PSDU (*.pcap)"}};
}

std::string withWaveformExtension(std::string_view name, WaveformFile format) {
  static const char* const kExt[] = {".sigmf-meta", ".mat", ".bin", ".pcap"};
  std::string out(name);
  if (format == WaveformFile::Sigmf &&
      (out.ends_with(".sigmf-meta") || out.ends_with(".sigmf-data")))
    return out;
  const std::string ext = kExt[static_cast<int>(format)];
  if (!out.ends_with(ext)) out += ext;
  return out;
}

void writeWaveformFile(const std::string& path, WaveformFile format, const CalculatedFrame& f,
                       std::optional<double> frequency) {
  switch (format) {
    case WaveformFile::Sigmf:
      writeSigmf(path, f.samples, sigmfInfoOf(f, frequency));
      return;
    case WaveformFile::SaveWave:
      writeSaveWaveContainer(path, f.samples, f.sampleRate, f.dacPrecompensated);
      return;
    case WaveformFile::SixteenBit:
      writeFileAtomically(path, zenfoldBytes(f.samples));
      return;
    case WaveformFile::PsduCapture:
      writePcap(path, f.psdu, f.fcsActive, f.rateMbps);
      return;
  }
}

}  // namespace dot11a
