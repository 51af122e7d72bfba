// The signal-generator settings panel, module TGXconfig: shows SigGenSettings
// in the main window and applies the entry rules to what the user types.
#include <algorithm>
#include <cctype>
#include <cmath>
#include <iostream>
#include <optional>

#include "dot11a/call.hpp"
#include "dot11a/frame_record.hpp"
#include "dot11a/instrument.hpp"
#include "dot11a/module.hpp"
#include "dot11a/num2str.hpp"
#include "dot11a/siggen_settings.hpp"
#include "dot11a/units.hpp"
#include "gui/feedback.hpp"
#include "gui/graphics/graphics.hpp"
#include "gui/graphics/local_ops.hpp"
#include "gui/shell.hpp"

namespace dot11a {

namespace {

using namespace gfx;

Value& S() {
  return global("SigGenSettings");
}
double ctl(const Value& handles, std::string_view tag) {
  return handleIn(handles, tag);
}
const Value& cbHandles(Call& c) {
  return c.in(2, "handles");
}
double controlValue(Call& c) {
  return getNumber(handleFrom(c.in(0, "hObject"), "callback"), "Value");
}

// Ten significant digits: enough that a value read back from the field after
// a unit change is the value stored.
std::string display(double x) {
  return formatG(x, 10);
}

// The ranges the configured instrument reported for the window's family, if
// any; otherwise the defaults are in force.
std::optional<SigGenLimits> instrumentLimits() {
  return storedInstrumentLimits(global("configuration"),
                                familyOf(platformFromText(shell::appText("Platform"))));
}
SigGenLimits limitsInForce() {
  return dot11a::limitsInForce(global("configuration"),
                               platformFromText(shell::appText("Platform")));
}

// "+20", "-5": a power bound as the status line shows it.
std::string signedText(double v) {
  return (v > 0 ? "+" : "") + num2str(v);
}

// The range tooltips name the range in force and where it came from; until an
// instrument has reported its ranges they say that the instrument decides.
// The toggles say what their state means and what pressing them does.
void showChangingTooltips(const Value& h) {
  const std::optional<SigGenLimits> reported = instrumentLimits();
  const SigGenLimits l = reported.value_or(SigGenLimits{});
  std::string frequency, amplitude, samplingRate;
  if (reported) {
    const std::string from =
        "\n(Reported by the instrument at\n" + instrumentKey(global("configuration")) + ".)";
    frequency = "Sets the carrier frequency.\nValid Range: " + hertzText(l.frequencyMin) + " - " +
                hertzText(l.frequencyMax) + from;
    amplitude = "Sets the output power.\nValid Range: " + num2str(l.amplitudeMin) + " dBm to " +
                signedText(l.amplitudeMax) + " dBm" + from;
    samplingRate = "Sets the baseband samping rate.\nValid Range: " + hertzText(l.samplingRateMin) +
                   " - " + hertzText(l.samplingRateMax) + from +
                   "\n(Configures automatically to be consistent\nwith the selected "
                   "Oversampling Ratio.)";
  } else {
    frequency =
        "Sets the carrier frequency.\nValid Range: 100 kHz - 4 GHz\n(Note: TGX model determines "
        "the\nmaximum frequency.)";
    amplitude =
        "Sets the output power.\nValid Range: -136 dBm to +20 dBm\n(Note: TGX model determines "
        "the\nmaximum amplitude.)";
    samplingRate =
        "Sets the baseband samping rate.\nValid Range: 1 Hz - 40 MHz\n(Configures automatically to "
        "be consistent\nwith the selected Oversampling Ratio.)\n(Note: TGX model determines "
        "the\nmaximum sample rate; Check Hardware or\na download asks it.)";
  }
  // A toggle's state; a record without the field (not yet initialised) is
  // in the default state.
  const auto on = [](std::string_view field) {
    const Value& s = S();
    return s.isRecord() && s.hasField(field) && s.field(field).isNumeric() &&
           !s.field(field).isEmpty() && s.field(field).toScalar() != 0;
  };
  const bool external = on("ArbRefSource");
  const std::string reference =
      std::string(
          "Toggles the source of the ARB reference\nbetween internal and external.\n"
          "(Note: Ensure that an external reference\nis connected to the TGX before "
          "setting\nthe ARB reference source to external.)\n") +
      (external ? "Now \"Ext. Ref\": the ARB sample clock is locked\nto the external "
                  "reference. Press for \"Int. Ref\":\nthe TGX's own reference."
                : "Now \"Int. Ref\": the ARB sample clock is locked\nto the TGX's own "
                  "reference. Press for \"Ext. Ref\":\nthe external reference.");
  const bool negative = on("MarkerPolarity");
  const std::string markers =
      std::string(
          "Toggles the Event marker polarity.\n(Note: The Event 2 Marker is used by\nthe "
          "internal RF Blanking feature, inverting the\npolarity while RF Blanking is "
          "active may\nlead to unexpected behaivour.)\n") +
      (negative ? "Now \"- Mkrs\": an Event output is low while its\nmarker is set (Event 1 "
                  "at each frame start,\nEvent 2 during each burst). Press for \"+ Mkrs\":\n"
                  "high while set."
                : "Now \"+ Mkrs\": an Event output is high while its\nmarker is set (Event 1 "
                  "at each frame start,\nEvent 2 during each burst). Press for \"- Mkrs\":\n"
                  "low while set.");
  const std::pair<const char*, const std::string*> tips[] = {
      {"txtFrequency", &frequency},       {"txtAmplitude", &amplitude},
      {"txtSamplingRate", &samplingRate}, {"tbArbRefSource", &reference},
      {"tbMarkerPolarity", &markers},
  };
  for (const auto& [tag, tip] : tips) setString(ctl(h, tag), "TooltipString", *tip);
}

// The panel's fixed tooltips; those that show a range or a state follow the
// settings (showChangingTooltips).
void InitializeSigGenScreenObjects(Call& c) {
  const Value& h = c.in(0, "handles");
  const std::pair<const char*, const char*> tips[] = {
      {"pdReconFilter", "Selects the TGX reconstruction filter."},
      {"chkRFblanking", "Toggles the state of the\nRF Blanking feature."},
      {"txtWaveformTitle", "Enter the title used to store the \nwaveform in the TGX."},
  };
  for (const auto& [tag, tip] : tips) setString(ctl(h, tag), "TooltipString", tip);
  showChangingTooltips(h);
}

void redrawSigGenFrequency(Call& c) {
  const double value = c.in(0, "value").toScalar();
  const double text = handleFrom(c.in(1, "textField"), "redrawSigGenFrequency");
  const double units = handleFrom(c.in(2, "unitsPopup"), "redrawSigGenFrequency");
  const UnitDisplay d = displayInUnit(value);
  setNumber(units, "Value", d.unitItem);
  setString(text, "String", display(d.scaled));
}

void redrawSigGenSettings(Call& c) {
  const Value& h = c.in(0, "handles");
  const Value& s = S();
  feval("redrawSigGenFrequency", 0,
        {s.field("Frequency"), ctl(h, "txtFrequency"), ctl(h, "pdFrequencyUnits")});
  feval("redrawSigGenFrequency", 0,
        {s.field("SamplingRate"), ctl(h, "txtSamplingRate"), ctl(h, "pdSamplingRateUnits")});
  setString(ctl(h, "txtWaveformTitle"), "String", s.field("Title").str());
  setString(ctl(h, "txtAmplitude"), "String", num2str(s.field("Amplitude").toScalar()));
  setNumber(ctl(h, "pdReconFilter"), "Value", s.field("ReconFilter").toScalar());
  setNumber(ctl(h, "chkRFblanking"), "Value", s.field("RFblanking").toScalar());
  const double ref = s.field("ArbRefSource").toScalar();
  setNumber(ctl(h, "tbArbRefSource"), "Value", ref != 0);
  setString(ctl(h, "tbArbRefSource"), "String", arbRefCaption(ref));
  const double pol = s.field("MarkerPolarity").toScalar();
  setNumber(ctl(h, "tbMarkerPolarity"), "Value", pol != 0);
  setString(ctl(h, "tbMarkerPolarity"), "String", markerPolarityCaption(pol));
  showChangingTooltips(h);
}

int unitItem(const Value& h, std::string_view tag) {
  return static_cast<int>(getNumber(ctl(h, tag), "Value"));
}

// 10^(3 (item - 1)) for the unit pop-ups (1 Hz, 2 kHz, 3 MHz, 4 GHz).
double unitFactor(int item) {
  return std::pow(1e3, std::clamp(item, 1, 4) - 1);
}

double mainFig(const Value& handles) {
  if (handles.isRecord() && handles.hasField("main")) return handles.field("main").toScalar();
  return gcbf();
}

// A value with its unit as the panel shows it ("2.4 GHz").
std::string withUnit(double value) {
  return hertzText(value);
}

// The clock of the frame in force (its spacing's rate times the
// oversampling); 40 MHz when the set does not read.
double waveformRateInForce() {
  try {
    return fromRecord(global("parameters")).sampleRate();
  } catch (const std::exception&) {
    return 2 * kBaseSampleRate;
  }
}

// A number typed with a prefix or unit ("5.18 GHz", "5180M", "40 MS/s") is
// taken as written; a bare number is in the unit the pop-up shows. Text that
// is neither keeps the value in force (the redraw shows it again) and the
// status line says why; a number is limited to the range, which the status
// line mentions when it happened.
void frequencyLike(const Value& h, std::string_view what, std::string_view field,
                   std::string_view textTag, std::string_view unitTag, double top, double bottom) {
  const std::string typed = getString(ctl(h, textTag), "String");
  const std::optional<Measure> entry = parseMeasure(typed, Quantity::Frequency);
  const double fig = mainFig(h);
  if (!entry) {
    gui::tellUser(fig, std::string(what) + ": \"" + typed +
                           "\" is not a number (with a unit such as 5.18 GHz or 5180M); it "
                           "stays " +
                           withUnit(S().field(field).toScalar()) + ".");
  } else {
    const double value =
        entry->withUnit ? entry->value : entry->value * unitFactor(unitItem(h, unitTag));
    const double stored = orderedClamp(value, top, bottom);
    S().setField(field, stored);
    if (stored != value)
      gui::tellUser(fig,
                    std::string(what) + " limited to " + withUnit(stored) +
                        " (valid: " + withUnit(bottom) + " to " + withUnit(top) + ").",
                    false, false);
    else
      gui::clearUserMessage(fig);
  }
  feval("redrawSigGenSettings", 0, {h});
}

void updateFrequency(Call& c) {
  const SigGenLimits limits = limitsInForce();
  frequencyLike(c.in(0, "handles"), "Frequency", "Frequency", "txtFrequency", "pdFrequencyUnits",
                limits.frequencyMax, limits.frequencyMin);
}

// The top follows the oversampling ratio: the waveform's own clock is always
// accepted, so moving through the field can never halve the playback rate.
void updateSamplingRate(Call& c) {
  const SigGenLimits limits = limitsInForce();
  frequencyLike(
      c.in(0, "handles"), "Sample rate", "SamplingRate", "txtSamplingRate", "pdSamplingRateUnits",
      samplingRateTop(limits, waveformRateInForce() / kBaseSampleRate), limits.samplingRateMin);
}

// When an instrument's ranges arrive (Check Hardware, a download), every
// ranged field is brought within them, so that nothing on the screen is a
// setting the instrument refuses; the status line and the console say which
// fields changed. The panel is redrawn either way (its tooltips name the
// ranges in force).
void fitToInstrumentRanges(Call& c) {
  const Value& h = c.in(0, "handles");
  std::string changed;
  const std::optional<SigGenLimits> reported = instrumentLimits();
  if (reported) {
    const SigGenSettings s = sigGenSettingsFromValue(S());
    for (const RangeViolation& v : outsideLimits(s, *reported)) {
      const bool power = v.field == "Amplitude";
      // Whole dBm only, within the range.
      const double lo = power ? std::ceil(v.min) : v.min, hi = power ? std::floor(v.max) : v.max;
      const double fitted = orderedClamp(v.value, hi, lo);
      S().setField(v.field, fitted);
      const auto shown = [power](double x) { return power ? num2str(x) + " dBm" : withUnit(x); };
      const std::string name = v.field == "Frequency"   ? "frequency"
                               : v.field == "Amplitude" ? "amplitude"
                                                        : "sample rate";
      changed +=
          (changed.empty() ? "" : ", ") + name + " " + shown(v.value) + " to " + shown(fitted);
    }
    const double own = waveformRateInForce();
    if (!changed.empty() && own > reported->samplingRateMax)
      changed += "; the waveform needs " + withUnit(own) +
                 ": choose a lower oversampling ratio for this instrument";
  }
  feval("redrawSigGenSettings", 0, {h});
  if (!changed.empty())
    gui::tellUser(mainFig(h), "Set within the instrument's ranges: " + changed + ".", false, true);
}

void txtFrequency_Callback(Call& c) {
  feval("updateFrequency", 0, {cbHandles(c)});
}
void pdFrequencyUnits_Callback(Call& c) {
  feval("updateFrequency", 0, {cbHandles(c)});
}
void txtSamplingRate_Callback(Call& c) {
  feval("updateSamplingRate", 0, {cbHandles(c)});
}
void pdSamplingRateUnits_Callback(Call& c) {
  feval("updateSamplingRate", 0, {cbHandles(c)});
}

// "-30 dBm" is the power the field holds: its own unit may be typed.
std::string withoutDbm(std::string text) {
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.pop_back();
  if (text.size() >= 3) {
    std::string tail = text.substr(text.size() - 3);
    for (char& ch : tail) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    if (tail == "dbm") text.resize(text.size() - 3);
  }
  return text;
}

void txtAmplitude_Callback(Call& c) {
  const double field = handleFrom(c.in(0, "hObject"), "callback");
  const std::string typed = getString(field, "String");
  const std::optional<double> entry = gui::readEntryNumber(withoutDbm(typed));
  const double fig = mainFig(cbHandles(c));
  if (!entry) {
    // A typo must never reach the instrument as some other power.
    const std::string inForce = num2str(S().field("Amplitude").toScalar());
    setString(field, "String", inForce);
    gui::tellUser(fig,
                  "Amplitude: \"" + typed + "\" is not a number; it stays " + inForce + " dBm.");
    return;
  }
  const double rounded = std::round(*entry);  // halves away from zero
  const SigGenLimits limits = limitsInForce();
  const double v = orderedClamp(rounded, limits.amplitudeMax, limits.amplitudeMin);
  S().setField("Amplitude", v);
  setString(field, "String", num2str(v));
  if (v != rounded)
    gui::tellUser(fig,
                  "Amplitude limited to " + num2str(v) +
                      " dBm (valid: " + num2str(limits.amplitudeMin) + " to " +
                      signedText(limits.amplitudeMax) + " dBm).",
                  false, false);
  else if (v != *entry)
    gui::tellUser(fig, "Amplitude rounded to " + num2str(v) + " dBm (whole dBm only).", false,
                  false);
  else
    gui::clearUserMessage(fig);
}

void pdReconFilter_Callback(Call& c) {
  S().setField("ReconFilter", controlValue(c));
}
void chkRFblanking_Callback(Call& c) {
  S().setField("RFblanking", controlValue(c));
}

void tbArbRefSource_Callback(Call& c) {
  S().setField("ArbRefSource", controlValue(c));
  feval("redrawSigGenSettings", 0, {cbHandles(c)});
}

void tbMarkerPolarity_Callback(Call& c) {
  S().setField("MarkerPolarity", controlValue(c));
  feval("redrawSigGenSettings", 0, {cbHandles(c)});
}

void txtWaveformTitle_Callback(Call& c) {
  const double field = handleFrom(c.in(0, "hObject"), "callback");
  S().setField("Title", cleanTitle(getString(field, "String")));
  feval("redrawSigGenSettings", 0, {cbHandles(c)});
}

const LocalTable kTable = gfx::localOperations(
    "TGXconfig", {{"InitializeSigGenScreenObjects", 1, 0, InitializeSigGenScreenObjects},
                  {"redrawSigGenSettings", 1, 0, redrawSigGenSettings},
                  {"redrawSigGenFrequency", 3, 0, redrawSigGenFrequency},
                  {"updateFrequency", 1, 0, updateFrequency},
                  {"updateSamplingRate", 1, 0, updateSamplingRate},
                  {"fitToInstrumentRanges", 1, 0, fitToInstrumentRanges},
                  gfx::callback("pdReconFilter_Callback", pdReconFilter_Callback),
                  gfx::callback("txtAmplitude_Callback", txtAmplitude_Callback),
                  gfx::callback("chkRFblanking_Callback", chkRFblanking_Callback),
                  gfx::callback("tbArbRefSource_Callback", tbArbRefSource_Callback),
                  gfx::callback("tbMarkerPolarity_Callback", tbMarkerPolarity_Callback),
                  gfx::callback("pdFrequencyUnits_Callback", pdFrequencyUnits_Callback),
                  gfx::callback("txtFrequency_Callback", txtFrequency_Callback),
                  gfx::callback("pdSamplingRateUnits_Callback", pdSamplingRateUnits_Callback),
                  gfx::callback("txtSamplingRate_Callback", txtSamplingRate_Callback),
                  gfx::callback("txtWaveformTitle_Callback", txtWaveformTitle_Callback)});

}  // namespace

namespace op {
void TGXconfig(Call& c) {
  if (c.nargin() > 0 && c.in(0, "action").isText()) dispatchModule(kTable, c);
}
}  // namespace op

}  // namespace dot11a
