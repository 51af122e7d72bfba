// dot11a_Verify: the verification receiver reachable by name. Takes samples,
// optionally the sample rate and the FCS mode ('auto', 'on', 'off'), and
// returns a record with the overall verdict and one record per frame.
#include <cmath>

#include "dot11a/call.hpp"
#include "dot11a/error.hpp"
#include "dot11a/receiver.hpp"
#include "dot11a/value.hpp"

namespace dot11a {

namespace {

Value textCell(const std::vector<std::string>& items) {
  std::vector<Value> v;
  for (const auto& s : items) v.emplace_back(s);
  return Value::cellRow(std::move(v));
}

Value intRow(const std::vector<int>& items) {
  std::vector<double> v(items.begin(), items.end());
  return Value::row(std::move(v));
}

const char* fcsText(rx::FcsState s) {
  switch (s) {
    case rx::FcsState::Good:
      return "good";
    case rx::FcsState::Bad:
      return "bad";
    case rx::FcsState::NoneFound:
      return "none";
    case rx::FcsState::NotChecked:
      break;
  }
  return "not checked";
}

Value frameRecord(const rx::FrameReport& f) {
  std::vector<double> octets(f.psdu.begin(), f.psdu.end());
  return Value::record({
      {"start", static_cast<double>(f.start) + 1.0},  // 1-based, as the algorithms count
      {"decoded", Value::logical(f.decoded())},
      {"pass", Value::logical(f.passed())},
      {"mirrored", Value::logical(f.mirrored)},
      {"cfoHz", f.cfoHz},
      {"clockOffsetPpm", f.clockOffsetPpm},
      {"clockOffsetSigmaPpm", f.clockOffsetSigmaPpm},
      {"clockOffsetMeasured", Value::logical(f.clockOffsetMeasured())},
      {"iqGainImbalanceDb", f.iqGainImbalanceDb},
      {"iqPhaseImbalanceDeg", f.iqPhaseImbalanceDeg},
      {"rateMbps", f.rateMbps},
      {"length", static_cast<double>(f.length)},
      {"signalParityOk", Value::logical(f.signalParityOk)},
      {"signalFits", Value::logical(f.signalFits)},
      {"dataSymbols", static_cast<double>(f.dataSymbols)},
      {"truncated", Value::logical(f.truncated)},
      {"scramblerSeed", static_cast<double>(f.scramblerSeed)},
      {"service", static_cast<double>(f.serviceBits)},
      {"dataTailOk", Value::logical(f.dataTailOk)},
      {"psduBits", Value::bits(f.psduBits)},
      {"psdu", Value::row(std::move(octets))},
      {"fcs", Value(fcsText(f.fcs))},
      {"evmDb", f.evmDb},
      {"evmPercent", f.evmPercent},
      {"evmLimitDb", f.evmLimitDb},
      {"evmPass", Value::logical(f.evmPass)},
      {"evmPerSubcarrierDb", Value::row(f.evmPerSubcarrierDb)},
      {"evmPerSymbolDb", Value::row(f.evmPerSymbolDb)},
      {"channel", Value::row(std::span<const cplx>(f.channel))},
      {"flatnessDb", Value::row(f.flatnessDb)},
      {"flatnessWorstMarginDb", f.flatnessWorstMarginDb},
      {"flatnessWorstSubcarrier", static_cast<double>(f.flatnessWorstSubcarrier)},
      {"flatnessPass", Value::logical(f.flatnessPass)},
      {"maskMeasured", Value::logical(f.maskMeasured)},
      {"maskCoveredHz", f.maskCoveredHz},
      {"maskWorstMarginDb", f.maskWorstMarginDb},
      {"maskWorstFrequencyHz", f.maskWorstFrequencyHz},
      {"maskPass", Value::logical(f.maskPass)},
      {"centerLeakageDb", f.centerLeakageDb},
      {"centerLeakagePass", Value::logical(f.centerLeakagePass)},
      {"disabledSubcarriers", intRow(f.disabledSubcarriers)},
      {"fadedSubcarriers", intRow(f.fadedSubcarriers)},
      {"fadedLevelsDb", Value::row(f.fadedLevelsDb)},
      {"problems", textCell(f.problems)},
      {"notes", textCell(f.notes)},
  });
}

}  // namespace

namespace op {

void dot11a_Verify(Call& c) {
  c.outputNames({"report"});
  const Value& x = c.in(0, "samples");
  if (!x.isNumeric() || !(x.isVector() || x.isEmpty()))
    raise("dot11a_Verify: \"samples\" must be a row or column of samples, not " + x.describe() +
          ".");
  rx::Options o;
  if (c.has(1)) {
    o.sampleRate = c.in(1, "sampleRate").toScalar();
    if (!std::isfinite(o.sampleRate) || o.sampleRate <= 0)
      raise("dot11a_Verify: \"sampleRate\" must be a positive number of samples per second.");
  }
  if (c.has(2)) {
    const Value& m = c.in(2, "fcs");
    const std::string mode = m.kind() == Value::Kind::Text ? m.str() : "";
    if (mode == "on")
      o.fcs = rx::FcsCheck::On;
    else if (mode == "off")
      o.fcs = rx::FcsCheck::Off;
    else if (mode != "auto")
      raise("dot11a_Verify: \"fcs\" must be 'auto', 'on' or 'off'.");
  }
  const rx::Result r = rx::receive(x.toComplex(), o);
  std::vector<Value> frames;
  for (const rx::FrameReport& f : r.frames) frames.push_back(frameRecord(f));
  c.out(0) = Value::record({{"pass", Value::logical(r.passed())},
                            {"problem", Value(r.problem)},
                            {"sampleRate", o.sampleRate},
                            {"frames", Value::cellRow(std::move(frames))}});
}

}  // namespace op
}  // namespace dot11a
