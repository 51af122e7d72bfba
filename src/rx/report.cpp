// The receiver's report as a table and as JSON.
#include "dot11a/verify_report.hpp"

#include <cmath>
#include <cstdio>
#include <ostream>

#include <nlohmann/json.hpp>

namespace dot11a::rx {

std::string_view channelEstimateName(ChannelEstimate estimate) {
  switch (estimate) {
    case ChannelEstimate::Smoothed:
      return "smoothed";
    case ChannelEstimate::DataAided:
      return "data-aided";
    default:
      return "preamble";
  }
}

std::string_view emissionMaskName(EmissionMask mask) {
  constexpr std::string_view kNames[] = {"standard", "class-a", "class-b", "class-c", "class-d"};
  return kNames[static_cast<std::size_t>(mask)];
}

std::optional<EmissionMask> emissionMaskNamed(std::string_view name) {
  for (EmissionMask m : {EmissionMask::Standard, EmissionMask::ClassA, EmissionMask::ClassB,
                         EmissionMask::ClassC, EmissionMask::ClassD})
    if (emissionMaskName(m) == name) return m;
  return std::nullopt;
}

std::optional<ChannelEstimate> channelEstimateNamed(std::string_view name) {
  for (const auto e :
       {ChannelEstimate::Preamble, ChannelEstimate::Smoothed, ChannelEstimate::DataAided})
    if (name == channelEstimateName(e)) return e;
  return std::nullopt;
}

const char* frameResultText(const FrameReport& f) {
  return f.passed()      ? "PASS"
         : !f.decoded()  ? "FAIL (decode)"
         : !f.dataTailOk ? "FAIL (fault)"
                         : "FAIL (limit)";
}

namespace {

const char* fcsText(FcsState s) {
  switch (s) {
    case FcsState::Good:
      return "good";
    case FcsState::Bad:
      return "BAD";
    case FcsState::NoneFound:
      return "none";
    case FcsState::NotChecked:
      break;
  }
  return "-";
}

std::string fmt(const char* f, double v) {
  if (!std::isfinite(v)) return "-";
  char buf[64];
  std::snprintf(buf, sizeof buf, f, v);
  return buf;
}

// JSON has no infinity or NaN: a value that is not a number is null.
nlohmann::json number(double x) {
  return std::isfinite(x) ? nlohmann::json(x) : nlohmann::json(nullptr);
}

nlohmann::json numbers(const std::vector<double>& v) {
  nlohmann::json a = nlohmann::json::array();
  for (double x : v) a.push_back(number(x));
  return a;
}

}  // namespace

Verdict verdictOf(const Result& r, const std::optional<std::vector<std::uint8_t>>& expectPsdu) {
  Verdict v;
  if (r.frames.empty()) v.reasons.push_back(r.problem.empty() ? "No frame was found." : r.problem);
  for (std::size_t i = 0; i < r.frames.size(); ++i) {
    const FrameReport& f = r.frames[i];
    if (!f.decoded())
      v.reasons.push_back("Frame " + std::to_string(i + 1) + " does not decode.");
    else if (!f.dataTailOk)
      v.reasons.push_back("Frame " + std::to_string(i + 1) +
                          " decodes, but the transmitter does not follow the standard.");
    else if (!f.passed())
      v.reasons.push_back("Frame " + std::to_string(i + 1) + " is outside a limit.");
    if (expectPsdu && f.decoded() && f.psdu != *expectPsdu)
      v.reasons.push_back("Frame " + std::to_string(i + 1) + " does not carry the expected PSDU (" +
                          std::to_string(f.psdu.size()) + " octets decoded, " +
                          std::to_string(expectPsdu->size()) + " expected).");
  }
  v.pass = v.reasons.empty();
  return v;
}

void printReport(std::ostream& out, const Result& r, const Verdict& v) {
  char line[256];
  // Rates, offsets and the mask are at the frames' spacing: say which when
  // it is not the 20 MHz channel.
  if (!r.frames.empty() && r.frames.front().spacing != ChannelSpacing::MHz20)
    out << "channel spacing " << spacingMHz(r.frames.front().spacing) << " MHz\n";
  std::snprintf(line, sizeof line, "%3s %9s %5s %5s %4s %9s %8s %6s %8s %10s %7s %5s  %s\n", "#",
                "start", "Mbit", "octs", "seed", "CFO kHz", "EVM dB", "limit", "flat dB", "mask dB",
                "DC dB", "FCS", "result");
  out << line;
  for (std::size_t i = 0; i < r.frames.size(); ++i) {
    const FrameReport& f = r.frames[i];
    const std::string result = frameResultText(f);
    std::snprintf(line, sizeof line, "%3zu %9zu %5s %5u %4u %9.3f %8s %6s %8s %10s %7s %5s  %s\n",
                  i + 1, f.start, f.rateValid ? fmt("%g", f.rateMbps).c_str() : "?", f.length,
                  f.scramblerSeed, f.cfoHz / 1e3, fmt("%.2f", f.evmDb).c_str(),
                  f.rateValid ? fmt("%.0f", f.evmLimitDb).c_str() : "-",
                  fmt("%.2f", f.flatnessWorstMarginDb).c_str(),
                  f.maskMeasured ? fmt("%.2f", f.maskWorstMarginDb).c_str() : "-",
                  f.centerLeakageDb > -99.0 ? fmt("%.1f", f.centerLeakageDb).c_str() : "<-99",
                  fcsText(f.fcs), result.c_str());
    out << line;
  }
  for (std::size_t i = 0; i < r.frames.size(); ++i) {
    const FrameReport& f = r.frames[i];
    for (const auto& p : f.problems) out << "frame " << i + 1 << ": " << p << "\n";
    for (const auto& n : f.notes) out << "frame " << i + 1 << " (note): " << n << "\n";
    if (f.mirrored) out << "frame " << i + 1 << " (note): the spectrum is mirrored.\n";
    // An offset worth naming comes from a capture whose clock differs from
    // the transmitter's, and only when the frame is long enough to tell it
    // from nothing.
    if (f.clockOffsetMeasured())
      out << "frame " << i + 1 << " (note): the sampling clock is off by "
          << fmt("%+.1f", f.clockOffsetPpm) << " +- " << fmt("%.1f", f.clockOffsetSigmaPpm)
          << " ppm (tracked).\n";
  }
  if (!r.frames.empty())
    out << "(flat dB and mask dB: the smallest margin to the limit; negative is outside;\n"
           " DC dB: centre-frequency leakage against the frame's power, limit -15)\n";
  for (const auto& reason : v.reasons) out << reason << "\n";
  out << (v.pass ? "PASS" : "FAIL") << "\n";
}

namespace {

nlohmann::json frameObject(const FrameReport& f) {
  nlohmann::json x;
  x["start"] = f.start;
  x["decoded"] = f.decoded();
  x["pass"] = f.passed();
  x["mirrored"] = f.mirrored;
  x["channel_spacing"] = spacingMHz(f.spacing) * 1e6;
  x["cfo_hz"] = f.cfoHz;
  x["clock_offset_ppm"] = f.clockOffsetPpm;
  x["clock_offset_sigma_ppm"] = number(f.clockOffsetSigmaPpm);
  x["clock_offset_measured"] = f.clockOffsetMeasured();
  x["iq_gain_imbalance_db"] = f.iqGainImbalanceDb;
  x["iq_phase_imbalance_deg"] = f.iqPhaseImbalanceDeg;
  x["signal"] = {{"parity_ok", f.signalParityOk},
                 {"tail_ok", f.signalTailOk},
                 {"rate_valid", f.rateValid},
                 {"rate_mbps", f.rateMbps},
                 {"rate_bits", f.rateBits},
                 {"length", f.length},
                 {"reserved_zero", f.reservedBitZero},
                 {"fits_samples", f.signalFits}};
  x["data"] = {{"symbols", f.dataSymbols},
               {"truncated", f.truncated},
               {"scrambler_seed", f.scramblerSeed},
               {"service", f.serviceBits},
               {"tail_ok", f.dataTailOk}};
  x["fcs"] = fcsText(f.fcs);
  if (f.fcs == FcsState::Good || f.fcs == FcsState::Bad) {
    x["fcs_received"] = f.fcsReceived;
    x["fcs_computed"] = f.fcsComputed;
  }
  x["psdu"] = f.psdu;
  x["evm"] = {{"rms_db", f.evmDb},
              {"rms_percent", f.evmPercent},
              {"limit_db", f.evmLimitDb},
              {"pass", f.evmPass},
              {"per_subcarrier_db", numbers(f.evmPerSubcarrierDb)},
              {"per_symbol_db", numbers(f.evmPerSymbolDb)}};
  x["flatness"] = {{"db", numbers(f.flatnessDb)},
                   {"worst_margin_db", f.flatnessWorstMarginDb},
                   {"worst_subcarrier", f.flatnessWorstSubcarrier},
                   {"pass", f.flatnessPass}};
  if (f.maskMeasured)
    x["mask"] = {{"covered_hz", f.maskCoveredHz},
                 {"worst_margin_db", f.maskWorstMarginDb},
                 {"worst_frequency_hz", f.maskWorstFrequencyHz},
                 {"pass", f.maskPass}};
  x["center_leakage_db"] = f.centerLeakageDb;
  x["center_leakage_pass"] = f.centerLeakagePass;
  x["disabled_subcarriers"] = f.disabledSubcarriers;
  x["faded_subcarriers"] = nlohmann::json::array();
  for (std::size_t k = 0; k < f.fadedSubcarriers.size() && k < f.fadedLevelsDb.size(); ++k)
    x["faded_subcarriers"].push_back(
        {{"subcarrier", f.fadedSubcarriers[k]}, {"level_db", f.fadedLevelsDb[k]}});
  x["problems"] = f.problems;
  x["notes"] = f.notes;
  return x;
}

}  // namespace

std::string frameJson(const FrameReport& f, int indent, std::optional<std::uint64_t> number) {
  nlohmann::json x = frameObject(f);
  if (number) x["frame"] = *number;
  return x.dump(indent);
}

std::string reportJson(const Result& r, const Verdict& v, int indent) {
  nlohmann::json j;
  j["pass"] = v.pass;
  j["reasons"] = v.reasons;
  j["sample_rate"] = r.sampleRate;
  if (!r.problem.empty()) j["problem"] = r.problem;
  j["frames"] = nlohmann::json::array();
  for (const FrameReport& f : r.frames) j["frames"].push_back(frameObject(f));
  return j.dump(indent);
}

}  // namespace dot11a::rx
