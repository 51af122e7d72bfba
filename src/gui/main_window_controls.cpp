// The main window's control callbacks: each entry validated and stored in the
// parameter set, then the parts of the window that depend on it redrawn.
#include <QWidget>
#include <algorithm>
#include <cmath>
#include <optional>
#include <string>

#include "dot11a/bits.hpp"
#include "dot11a/call.hpp"
#include "dot11a/checked_integer.hpp"
#include "dot11a/dialogs.hpp"
#include "dot11a/frame_record.hpp"
#include "dot11a/instrument.hpp"
#include "dot11a/module.hpp"
#include "dot11a/num2str.hpp"
#include "dot11a/parameter_bounds.hpp"
#include "dot11a/parameters.hpp"
#include "dot11a/siggen_settings.hpp"
#include "dot11a/size_estimate.hpp"
#include "dot11a/units.hpp"
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
  const bool framed = controlValue(c) != 0;
  editFrame([&](FrameParameters& f) { f.framed = framed; });
  local("redrawFormatParameters", {cbHandles(c)});
}

void pdDataRate_Callback(Call& c) {
  const int item = static_cast<int>(controlValue(c));
  // Custom (item 9) keeps modulation and coding: the redraw derives the rate
  // from them again.
  if (const auto rate = integerOf<std::size_t>(item, 1, kRateTable.size()))
    editFrame([&](FrameParameters& f) {
      f.modulation = kRateTable[*rate - 1].modulation;
      f.coding = kRateTable[*rate - 1].coding;
    });
  local("redrawFormatParameters", {cbHandles(c)});
  local("redrawProjectedLength", {cbHandles(c)});
}

void pdModulation_Callback(Call& c) {
  const auto item = integerOf<int>(std::trunc(controlValue(c)), 1, 4);
  if (!item) raise("The modulation list has four items.");
  editFrame([&](FrameParameters& f) { f.modulation = static_cast<Modulation>(*item); });
  local("redrawFormatParameters", {cbHandles(c)});
  local("redrawProjectedLength", {cbHandles(c)});
}

void pdEncoder_Callback(Call& c) {
  const auto item = integerOf<std::size_t>(std::trunc(controlValue(c)), 1, kCodingRates.size());
  if (!item) raise("The coding-rate list has four items.");
  editFrame([&](FrameParameters& f) { f.coding = kCodingRates[*item - 1]; });
  local("redrawFormatParameters", {cbHandles(c)});
  local("redrawProjectedLength", {cbHandles(c)});
}

void chkScramblerActive_Callback(Call& c) {
  const bool on = controlValue(c) != 0;
  editFrame([&](FrameParameters& f) { f.scrambler = on; });
  local("redrawCalculationStatus", {cbHandles(c)});
}
void chkInterleaverActive_Callback(Call& c) {
  const bool on = controlValue(c) != 0;
  editFrame([&](FrameParameters& f) { f.interleaver = on; });
  local("redrawCalculationStatus", {cbHandles(c)});
}
void chkMirrorSpectrum_Callback(Call& c) {
  const bool on = controlValue(c) != 0;
  editFrame([&](FrameParameters& f) { f.mirror = on; });
  local("redrawCalculationStatus", {cbHandles(c)});
}

double cbField(Call& c) {
  return handleFrom(c.in(0, "hObject"), "callback");
}

// A hexadecimal field: refused text (not hexadecimal, or empty) keeps the value
// in force on the screen and says why; a number above the range takes its top.
void hexEntry(Call& c, std::string_view what, std::string_view field,
              unsigned FrameParameters::*member) {
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
                       hexText(frame().*member));
  const double stored = clampEntry(bound, v);
  editFrame([&](FrameParameters& f) { f.*member = static_cast<unsigned>(stored); });
  setString(cbField(c), "String", hexText(stored));
  noteEntry(cbHandles(c), what, v, bound.lo, bound.hi, hexText(stored), rangeText(bound));
}

void txtScramblerInit_Callback(Call& c) {
  hexEntry(c, "Scrambler init", "scramblerInit", &FrameParameters::scramblerInit);
}

void txtServiceField_Callback(Call& c) {
  hexEntry(c, "SERVICE field", "serviceField", &FrameParameters::service);
}

void txtIdleInterval_Callback(Call& c) {
  const std::string typed = controlText(c);
  // Microseconds, or a time with its unit ("0.1 ms", "100 us") through the
  // one unit reader.
  std::optional<double> entry = gui::readEntryNumber(typed);
  if (!entry)
    if (const auto m = parseMeasure(typed, Quantity::Time); m && m->withUnit)
      entry = m->value * 1e6;
  const FrameParameters now = frame();
  const double perMicrosecond = samplesPerMicrosecondOf(now.spacing) * now.oversampling;
  const std::string inForce = num2str(static_cast<double>(now.idleSamples) / perMicrosecond);
  if (!entry)
    return refuseEntry(cbHandles(c), cbField(c), "Idle interval", typed, "is not a number", inForce,
                       " µs");
  // max 0 first, then min 1000 µs.
  const ParameterBound& bound = idleIntervalBound();
  const double us = std::min(std::max(*entry, bound.lo), bound.hi);
  const long long samples = static_cast<long long>(roundEntry(us * perMicrosecond));
  editFrame([&](FrameParameters& f) { f.idleSamples = samples; });
  const std::string shown = num2str(static_cast<double>(samples) / perMicrosecond);
  setString(cbField(c), "String", shown);
  noteEntry(cbHandles(c), "Idle interval", entry, bound.lo, bound.hi, shown + " µs",
            rangeText(bound) + " µs");
  local("redrawProjectedLength", {cbHandles(c)});
}

double windowNanoseconds(const FrameParameters& f) {
  return f.windowLength / f.sampleRate() * 1e9;
}

std::string shortTransitionNote(const FrameParameters& f) {
  constexpr double kNominalTransitionNs = 100;
  const double ns = windowNanoseconds(f);
  if (!f.framed || ns >= kNominalTransitionNs - 1e-6) return "";
  return "The edge window (" + num2str(f.windowLength) + " samples, " + num2str(ns) +
         " ns) is shorter than the nominal 100 ns transition: the spectrum comes closer to "
         "the transmit mask.";
}

// The spacing keeps every sample and changes the clock: the generator's rate,
// every duration and every rate shown follow it.
void pdChannelSpacing_Callback(Call& c) {
  constexpr ChannelSpacing kItems[] = {ChannelSpacing::MHz20, ChannelSpacing::MHz10,
                                       ChannelSpacing::MHz5};
  const auto item = integerOf<int>(std::trunc(controlValue(c)), 1, 3);
  if (!item) raise("The channel spacing list has three items.");
  editFrame([&](FrameParameters& f) { f.spacing = kItems[*item - 1]; });
  const FrameParameters f = frame();
  global("SigGenSettings").setField("SamplingRate", f.sampleRate());
  local("redraw", {cbHandles(c)});
  const double us =
      static_cast<double>(f.idleSamples) / (samplesPerMicrosecondOf(f.spacing) * f.oversampling);
  gui::tellUser(mainFig(cbHandles(c)),
                "Channel spacing " + num2str(spacingMHz(f.spacing)) + " MHz: samples at " +
                    num2str(f.sampleRate() / 1e6) + " MHz, " + f.rateText() +
                    "; the idle interval keeps its " + num2str(static_cast<double>(f.idleSamples)) +
                    " samples (" + num2str(us) + " µs).",
                false, false);
}

void pdOversampleRate_Callback(Call& c) {
  const auto ratio = integerOf<int>(std::trunc(controlValue(c)), 1, kMaxParameterOversampling);
  if (!ratio) raise("The oversampling list has four items.");
  bool windowClipped = false;
  editFrame([&](FrameParameters& f) {
    // The idle interval and the edge window keep their durations.
    f.idleSamples = static_cast<long long>(
        roundEntry(static_cast<double>(f.idleSamples) * *ratio / f.oversampling));
    const ParameterBound& bound = parameterBound("WindowingLength");
    const double window = roundEntry(static_cast<double>(f.windowLength) * *ratio / f.oversampling);
    windowClipped = window > bound.hi;
    f.windowLength = static_cast<int>(std::min(window, bound.hi));
    f.oversampling = *ratio;
  });
  const FrameParameters f = frame();
  global("SigGenSettings").setField("SamplingRate", f.sampleRate());
  local("redraw", {cbHandles(c)});
  const double us =
      static_cast<double>(f.idleSamples) / (samplesPerMicrosecondOf(f.spacing) * f.oversampling);
  std::string text = "Oversampling " + num2str(f.oversampling) + ": the idle interval keeps " +
                     num2str(us) + " µs (" + num2str(static_cast<double>(f.idleSamples)) +
                     " samples) and the edge window " + (windowClipped ? "is cut to " : "keeps ") +
                     num2str(windowNanoseconds(f)) + " ns (" + num2str(f.windowLength) +
                     " samples).";
  const std::string note = shortTransitionNote(f);
  if (!note.empty()) text += " " + note;
  gui::tellUser(mainFig(cbHandles(c)), text, false, false);
}

void txtWindowLength_Callback(Call& c) {
  const std::string typed = controlText(c);
  std::optional<double> entry = gui::readEntryNumber(typed);
  if (!entry)
    return refuseEntry(cbHandles(c), cbField(c), "Window length", typed, "is not a number",
                       num2str(frame().windowLength));
  const double asTyped = *entry;
  *entry = roundEntry(*entry);
  const ParameterBound& bound = parameterBound("WindowingLength");
  const double v = clampEntry(bound, entry);
  editFrame([&](FrameParameters& f) { f.windowLength = static_cast<int>(v); });
  setString(cbField(c), "String", num2str(v));
  noteEntry(cbHandles(c), "Window length", entry, bound.lo, bound.hi, num2str(v) + " samples",
            rangeText(bound) + " samples", asTyped);
  // A value taken as typed leaves the status line free for the transition note.
  const std::string note = shortTransitionNote(frame());
  if (v == asTyped && !note.empty()) gui::tellUser(mainFig(cbHandles(c)), note, false, false);
  markWindowLength(cbHandles(c));
  local("redrawProjectedLength", {cbHandles(c)});
}

void chkMACheader_Callback(Call& c) {
  const bool on = controlValue(c) != 0;
  editFrame([&](FrameParameters& f) { f.macHeaderActive = on; });
  local("adjustDataLength", {static_cast<double>(frame().dataLength), cbHandles(c)});
}

void chkMACfcs_Callback(Call& c) {
  const bool on = controlValue(c) != 0;
  editFrame([&](FrameParameters& f) { f.fcs = on; });
  local("adjustDataLength", {static_cast<double>(frame().dataLength), cbHandles(c)});
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
  if (answeredOK(out)) {
    const std::vector<double> mask = out[1].toDoubles();
    if (mask.size() != 53)
      raise("The sub-carrier dialog returned " + std::to_string(mask.size()) + " values, not 53.");
    editFrame([&](FrameParameters& f) {
      for (std::size_t i = 0; i < f.subCarriers.size(); ++i)
        f.subCarriers[i] = mask[i] != 0 ? 1 : 0;
    });
  }
  local("redrawCalculationStatus", {handles});
}

void pbMACheaderSetup_Callback(Call& c) {
  const Value& handles = cbHandles(c);  // checked before the dialog opens
  const Value& fig = global("figureList").field("MACheader");
  if (!available("dot11_MACconfig") || fig.isEmpty()) return notAvailable("MAC header");
  const std::vector<Value> out =
      feval("dot11_MACconfig", 2, {fig, P().field("MACheader").field("Contents")});
  if (!answeredOK(out)) return;
  const MacHeaderFields header = macHeaderOf(out[1]);
  editFrame([&](FrameParameters& f) { f.macHeader = header; });
  local("redrawPaylodSetup", {handles});
}

void pdDATAsourceType_Callback(Call& c) {
  const auto item = integerOf<int>(std::trunc(controlValue(c)), 1, 7);
  if (!item) raise("The payload source list has seven items.");
  if (*item == 7) {
    FrameParameters f = frame();
    if (loadUserFile(f))  // a failed or cancelled read keeps the previous source
      editFrame([&](FrameParameters& g) { g = std::move(f); });
  } else {
    editFrame([&](FrameParameters& f) { f.source = static_cast<PayloadSource>(*item); });
  }
  local("redrawPaylodSetup", {cbHandles(c)});
}

void txtDataLength_Callback(Call& c) {
  const std::string typed = controlText(c);
  const std::optional<double> entry = gui::readEntryNumber(typed);
  if (!entry)
    return refuseEntry(cbHandles(c), cbField(c), "Data length", typed, "is not a number",
                       num2str(frame().dataLength));
  local("adjustDataLength", {roundEntry(*entry), cbHandles(c)});
  const FrameParameters f = frame();
  const double limit = f.dataLengthLimit();
  const double lowest = parameterBound("dataLength").lo;
  noteEntry(cbHandles(c), "Data length", roundEntry(*entry), lowest, limit,
            num2str(f.dataLength) + " bytes", num2str(lowest) + " to " + num2str(limit) + " bytes",
            *entry);
}

}  // namespace dot11a::mainwin
