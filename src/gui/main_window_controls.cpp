// The main window's control callbacks: each entry validated and stored in the
// parameter set, then the parts of the window that depend on it redrawn.
#include <cmath>
#include <optional>
#include <string>

#include "dot11a/bits.hpp"
#include "dot11a/call.hpp"
#include "dot11a/dialogs.hpp"
#include "dot11a/instrument.hpp"
#include "dot11a/module.hpp"
#include "dot11a/num2str.hpp"
#include "dot11a/parameter_bounds.hpp"
#include "dot11a/parameters.hpp"
#include "dot11a/siggen_settings.hpp"
#include "dot11a/size_estimate.hpp"
#include "gui/feedback.hpp"
#include "gui/graphics/graphics.hpp"
#include "gui/graphics/local_ops.hpp"
#include "gui/main_window.hpp"

namespace dot11a::mainwin {

using namespace gfx;

namespace {

// Rounds halves away from zero, as every entry field does.
double roundEntry(double x) {
  return std::round(x);
}

// An entry that is not a number: the field shows the value in force again and
// the status line says why.
void refuseEntry(const Value& handles, double field, std::string_view what,
                 const std::string& typed, const std::string& why, const std::string& inForce,
                 std::string_view unit = "") {
  setString(field, "String", inForce);
  gui::tellUser(mainFig(handles), std::string(what) + ": \"" + typed + "\" " + why + "; it stays " +
                                      inForce + std::string(unit) + ".");
}

// After an entry was applied: a number outside the field's range was limited,
// and a number the field rounds (`typed` before rounding) was rounded, which
// the status line mentions; otherwise an earlier complaint is cleared.
void noteEntry(const Value& handles, std::string_view what, std::optional<double> entry, double low,
               double high, const std::string& stored, const std::string& range,
               std::optional<double> typed = std::nullopt) {
  const double fig = mainFig(handles);
  if (entry && (*entry < low || *entry > high))
    gui::tellUser(fig, std::string(what) + " limited to " + stored + " (valid: " + range + ").",
                  false, false);
  else if (entry && typed && *typed != *entry)
    gui::tellUser(fig, std::string(what) + " rounded to " + stored + ".", false, false);
  else
    gui::clearUserMessage(fig);
}

}  // namespace

double controlValue(Call& c) {
  return getNumber(handleFrom(c.in(0, "hObject"), "callback"), "Value");
}
std::string controlText(Call& c) {
  return getString(handleFrom(c.in(0, "hObject"), "callback"), "String");
}
const Value& cbHandles(Call& c) {
  return c.in(2, "handles");
}

void tbGenerationMode_Callback(Call& c) {
  P().setField("generationMode", controlValue(c) != 0 ? 1.0 : 0.0);
  local("redrawFormatParameters", {cbHandles(c)});
}

void pdDataRate_Callback(Call& c) {
  const int item = static_cast<int>(controlValue(c));
  if (item >= 1 && item <= 8) {
    const RatePair r = ratePairOfItem(item);
    P().setField("dataRate", r.dataRate);
    P().setField("modulation", r.modulation);
    P().setField("encoderRate", r.encoderRate);
  } else {
    P().setField("dataRate", 0.0);
  }
  local("redrawFormatParameters", {cbHandles(c)});
  local("redrawProjectedLength", {cbHandles(c)});
}

void pdModulation_Callback(Call& c) {
  P().setField("modulation", controlValue(c));
  local("redrawFormatParameters", {cbHandles(c)});
  local("redrawProjectedLength", {cbHandles(c)});
}

void pdEncoder_Callback(Call& c) {
  const int item = static_cast<int>(controlValue(c));
  if (item < 1 || item > 4) raise("The coding-rate list has four items.");
  P().setField("encoderRate", kCodingRateItems[static_cast<std::size_t>(item - 1)]);
  local("redrawFormatParameters", {cbHandles(c)});
  local("redrawProjectedLength", {cbHandles(c)});
}

void chkScramblerActive_Callback(Call& c) {
  P().setField("scramblerActive", controlValue(c));
  local("redrawCalculationStatus", {cbHandles(c)});
}
void chkInterleaverActive_Callback(Call& c) {
  P().setField("interleaverActive", controlValue(c));
  local("redrawCalculationStatus", {cbHandles(c)});
}
void chkMirrorSpectrum_Callback(Call& c) {
  P().setField("MirrorSpectrum", controlValue(c));
  local("redrawCalculationStatus", {cbHandles(c)});
}

double cbField(Call& c) {
  return handleFrom(c.in(0, "hObject"), "callback");
}

// A hexadecimal field: refused text (not hexadecimal, or empty) keeps the value
// in force on the screen and says why; a number above the range takes its top.
void hexEntry(Call& c, std::string_view what, std::string_view field) {
  const ParameterBound& bound = parameterBound(field);
  const std::string typed = controlText(c);
  std::optional<double> v;
  try {
    v = parseHexText(typed);
  } catch (const Error&) {
    v.reset();
  }
  if (!v)
    return refuseEntry(cbHandles(c), cbField(c), what, typed,
                       "is not a hexadecimal number (digits 0-9 and A-F)",
                       hexText(num(P(), field)));
  const double stored = clampEntry(bound, v);
  P().setField(field, stored);
  setString(cbField(c), "String", hexText(stored));
  noteEntry(cbHandles(c), what, v, bound.lo, bound.hi, hexText(stored), rangeText(bound));
}

void txtScramblerInit_Callback(Call& c) {
  hexEntry(c, "Scrambler init", "scramblerInit");
}

void txtServiceField_Callback(Call& c) {
  hexEntry(c, "SERVICE field", "serviceField");
}

void txtIdleInterval_Callback(Call& c) {
  const std::string typed = controlText(c);
  const std::optional<double> entry = gui::readEntryNumber(typed);
  const double perMicrosecond = kSamplesPerMicrosecond * num(P(), "OverSampling");
  const std::string inForce = num2str(num(P(), "idleSamples") / perMicrosecond);
  if (!entry)
    return refuseEntry(cbHandles(c), cbField(c), "Idle interval", typed, "is not a number", inForce,
                       " µs");
  // max 0 first, then min 1000 µs.
  const ParameterBound& bound = idleIntervalBound();
  const double us = std::min(std::max(*entry, bound.lo), bound.hi);
  P().setField("idleSamples", roundEntry(us * perMicrosecond));
  const std::string shown = num2str(num(P(), "idleSamples") / perMicrosecond);
  setString(cbField(c), "String", shown);
  noteEntry(cbHandles(c), "Idle interval", entry, bound.lo, bound.hi, shown + " µs",
            rangeText(bound) + " µs");
  local("redrawProjectedLength", {cbHandles(c)});
}

void pdOversampleRate_Callback(Call& c) {
  const double ratio = controlValue(c);
  const double scaling = ratio / num(P(), "OverSampling");
  P().setField("OverSampling", ratio);
  P().setField("idleSamples", roundEntry(num(P(), "idleSamples") * scaling));
  global("SigGenSettings").setField("SamplingRate", kBaseSampleRate * ratio);
  local("redraw", {cbHandles(c)});
}

void txtWindowLength_Callback(Call& c) {
  const std::string typed = controlText(c);
  std::optional<double> entry = gui::readEntryNumber(typed);
  if (!entry)
    return refuseEntry(cbHandles(c), cbField(c), "Window length", typed, "is not a number",
                       num2str(num(P(), "WindowingLength")));
  const double asTyped = *entry;
  *entry = roundEntry(*entry);
  const ParameterBound& bound = parameterBound("WindowingLength");
  const double v = clampEntry(bound, entry);
  P().setField("WindowingLength", v);
  setString(cbField(c), "String", num2str(v));
  noteEntry(cbHandles(c), "Window length", entry, bound.lo, bound.hi, num2str(v) + " samples",
            rangeText(bound) + " samples", asTyped);
  local("redrawProjectedLength", {cbHandles(c)});
}

void chkMACheader_Callback(Call& c) {
  P().field("MACheader").setField("Active", controlValue(c));
  local("adjustDataLength", {P().field("dataLength"), cbHandles(c)});
}

void chkMACfcs_Callback(Call& c) {
  P().field("MACfcs").setField("Active", controlValue(c));
  local("adjustDataLength", {P().field("dataLength"), cbHandles(c)});
}

void notAvailable(std::string_view what) {
  dialogs().message("Not Available", "The " + std::string(what) +
                                         " dialog is not available in this build of the "
                                         "application.");
}

bool answeredOK(const std::vector<Value>& out) {
  return !out.empty() && out[0].isText() && out[0].str() == "OK" && out.size() > 1;
}

void pbSubCarriers_Callback(Call& c) {
  const Value& handles = c.in(2, "handles");  // checked before the dialog opens
  const Value& fig = global("figureList").field("SubCarriersMask");
  if (!available("dot11a_GUI_SubCarrierMask") || fig.isEmpty()) return notAvailable("sub-carrier");
  const std::vector<Value> out =
      feval("dot11a_GUI_SubCarrierMask", 2, {fig, P().field("SubCarriers")});
  if (answeredOK(out)) P().setField("SubCarriers", out[1]);
  local("redrawCalculationStatus", {handles});
}

void pbMACheaderSetup_Callback(Call& c) {
  const Value& handles = cbHandles(c);  // checked before the dialog opens
  const Value& fig = global("figureList").field("MACheader");
  if (!available("dot11_MACconfig") || fig.isEmpty()) return notAvailable("MAC header");
  const std::vector<Value> out =
      feval("dot11_MACconfig", 2, {fig, P().field("MACheader").field("Contents")});
  if (!answeredOK(out)) return;
  Value& header = P().field("MACheader");
  header.setField("Contents", out[1]);
  if (out[1].isRecord() && out[1].hasField("BitStream"))
    header.setField("Length", static_cast<double>(out[1].field("BitStream").numel()) / 8);
  local("redrawPaylodSetup", {handles});
}

void pdDATAsourceType_Callback(Call& c) {
  const double item = controlValue(c);
  if (item == 7) {
    loadUserFileInto(P());  // a failed or cancelled read keeps the previous source
  } else {
    P().setField("dataSourceType", item);
  }
  local("redrawPaylodSetup", {cbHandles(c)});
}

void txtDataLength_Callback(Call& c) {
  const std::string typed = controlText(c);
  const std::optional<double> entry = gui::readEntryNumber(typed);
  if (!entry)
    return refuseEntry(cbHandles(c), cbField(c), "Data length", typed, "is not a number",
                       num2str(num(P(), "dataLength")));
  local("adjustDataLength", {roundEntry(*entry), cbHandles(c)});
  const double limit = dataLengthLimit(P());
  const double lowest = parameterBound("dataLength").lo;
  noteEntry(cbHandles(c), "Data length", roundEntry(*entry), lowest, limit,
            num2str(num(P(), "dataLength")) + " bytes",
            num2str(lowest) + " to " + num2str(limit) + " bytes", *entry);
}

}  // namespace dot11a::mainwin
