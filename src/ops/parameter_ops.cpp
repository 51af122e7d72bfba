// The parameter set's operations that reach the user or the synthesis through
// the operation layer: loading a payload file (asks for the file) and the
// frame calculation of the main window and dot11a-gen.
#include <string>

#include "dot11a/call.hpp"
#include "dot11a/parameters.hpp"
#include "ops/adapt.hpp"

namespace dot11a {

bool loadUserFileInto(Value& p) {
  const std::vector<Value> out = feval("loadUserDataFile", 2, {Value(8.0 * kMaxPsduOctets)});
  if (out.size() < 2 || out[0].isEmpty() || !(out[0].toScalar() > 0)) return false;
  p.setField("dataSourceBitstream", out[1]);
  p.setField("dataLength", static_cast<double>(out[1].numel()) / 8);
  p.setField("dataSourceType", 7.0);
  return true;
}

FrameResult calculateFrame(const Value& p) {
  const Value data = calculationPayload(p);
  const Value sincXcompensation = 1.0;
  const std::vector<Value> in = {p.field("generationMode"),
                                 data,
                                 p.field("serviceField"),
                                 p.field("dataRate"),
                                 p.field("modulation"),
                                 p.field("encoderRate"),
                                 p.field("scramblerActive"),
                                 p.field("scramblerInit"),
                                 p.field("interleaverActive"),
                                 p.field("SubCarriers"),
                                 p.field("OverSampling"),
                                 p.field("WindowingLength"),
                                 p.field("idleSamples"),
                                 p.field("MirrorSpectrum"),
                                 sincXcompensation};
  // The inputs are checked as dot11a_FRAME checks them; the synthesis itself
  // is the typed one, not a call by name.
  static const OpInfo* frameOp = findOperation("dot11a_FRAME");
  Call call(*frameOp, 2, in);
  const FrameSettings s = op::frameSettingsFrom(call);
  return op::frameResult(synthesizeFrame(s, data.toBits()));
}

}  // namespace dot11a
