// The signal-generator settings panel, module TGXconfig: shows SigGenSettings
// in the main window and applies the entry rules to what the user types.
#include <iostream>

#include "dot11a/call.hpp"
#include "dot11a/module.hpp"
#include "dot11a/num2str.hpp"
#include "dot11a/siggen_settings.hpp"
#include "gui/graphics/graphics.hpp"

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

void InitializeSigGenScreenObjects(Call& c) {
  const Value& h = c.in(0, "handles");
  const std::pair<const char*, const char*> tips[] = {
      {"txtFrequency",
       "Sets the carrier frequency.\nValid Range: 100 kHz - 4 GHz\n(Note: TGX model determines "
       "the\nmaximum frequency.)"},
      {"txtAmplitude",
       "Sets the output power.\nValid Range: -136 dBm to +20 dBm\n(Note: TGX model determines "
       "the\nmaximum amplitude.)"},
      {"txtSamplingRate",
       "Sets the baseband samping rate.\nValid Range: 1 Hz - 40 MHz\n(Configures automatically to "
       "be consistent\nwith the selected Oversampling Ratio.)"},
      {"pdReconFilter", "Selects the TGX reconstruction filter."},
      {"chkRFblanking", "Toggles the state of the\nRF Blanking feature."},
      {"tbArbRefSource",
       "Toggles the source of the ARB reference\nbetween internal and external.\n(Note: Ensure "
       "that an external reference\nis connected to the TGX before setting\nthe ARB reference "
       "source to external.)"},
      {"tbMarkerPolarity",
       "Toggles the Event marker polarity.\n(Note: The Event 2 Marker is used by\nthe internal RF "
       "Blanking feature, inverting the\npolarity while RF Blanking is active may\nlead to "
       "unexpected behaivour.)"},
      {"txtWaveformTitle", "Enter the title used to store the \nwaveform in the TGX."},
  };
  for (const auto& [tag, tip] : tips) setString(ctl(h, tag), "TooltipString", tip);
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
}

int unitItem(const Value& h, std::string_view tag) {
  return static_cast<int>(getNumber(ctl(h, tag), "Value"));
}

void updateFrequency(Call& c) {
  const Value& h = c.in(0, "handles");
  S().setField("Frequency", frequencyFromEntry(getString(ctl(h, "txtFrequency"), "String"),
                                               unitItem(h, "pdFrequencyUnits")));
  feval("redrawSigGenSettings", 0, {h});
}

void updateSamplingRate(Call& c) {
  const Value& h = c.in(0, "handles");
  S().setField("SamplingRate", samplingRateFromEntry(getString(ctl(h, "txtSamplingRate"), "String"),
                                                     unitItem(h, "pdSamplingRateUnits")));
  feval("redrawSigGenSettings", 0, {h});
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

void txtAmplitude_Callback(Call& c) {
  const double field = handleFrom(c.in(0, "hObject"), "callback");
  const double v = amplitudeFromEntry(getString(field, "String"));
  S().setField("Amplitude", v);
  setString(field, "String", num2str(v));
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

#define LOCAL(name, nin, nout)                    \
  OpInfo {                                        \
#name, nin, nout, 1, "TGXconfig/" #name, name \
  }
#define CALLBACK(name) LOCAL(name, kAny, 0)

const LocalTable kTable{"TGXconfig",
                        {LOCAL(InitializeSigGenScreenObjects, 1, 0),
                         LOCAL(redrawSigGenSettings, 1, 0), LOCAL(redrawSigGenFrequency, 3, 0),
                         LOCAL(updateFrequency, 1, 0), LOCAL(updateSamplingRate, 1, 0),
                         CALLBACK(pdReconFilter_Callback), CALLBACK(txtAmplitude_Callback),
                         CALLBACK(chkRFblanking_Callback), CALLBACK(tbArbRefSource_Callback),
                         CALLBACK(tbMarkerPolarity_Callback), CALLBACK(pdFrequencyUnits_Callback),
                         CALLBACK(txtFrequency_Callback), CALLBACK(pdSamplingRateUnits_Callback),
                         CALLBACK(txtSamplingRate_Callback), CALLBACK(txtWaveformTitle_Callback)}};

}  // namespace

namespace op {
void TGXconfig(Call& c) {
  if (c.nargin() > 0 && c.in(0, "action").isText()) dispatchModule(kTable, c);
}
}  // namespace op

}  // namespace dot11a
