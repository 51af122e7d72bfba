// The signal-generator settings that travel with a waveform to the instrument:
// the typed record, its defaults, its conversion to and from the shared
// "SigGenSettings" record, and the pure rules the settings panel applies to
// what the user types. No GUI code here: the panel builds on these functions.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "dot11a/export.hpp"
#include "dot11a/rate_table.hpp"
#include "dot11a/value.hpp"

DOT11A_API_BEGIN

namespace dot11a {

struct SigGenSettings {
  std::string title = "DOT11A";  // storage name of the waveform in the instrument
  double frequency = 1e9;        // carrier, Hz
  double amplitude = -30;        // output power, dBm (integer)
  double samplingRate = 40e6;    // baseband sample clock, samples per second
  double reconFilter = 4;        // 1 = 250 kHz, 2 = 2.5 MHz, 3 = 8 MHz, 4 = through
  double rfBlanking = 1;         // 1 on, 0 off
  double arbRefSource = 0;       // 0 internal, 1 external
  double markerPolarity = 0;     // 0 positive, 1 negative

  // Settings that only the C-platform playback sends. Defaults: no baseband
  // filter (3 = through), runtime scaling 100 %, I/Q attenuation 0 dB and the
  // level control off (a bursted waveform with RF blanking upsets the ALC).
  double bbFilter = 3;  // 1 = 2.1 MHz, 2 = 40 MHz, 3 = through
  double scaling = 100;
  double modAtten = 0;
  double alc = 0;  // 0 off, 1 on
};

// The default sampling rate is the base sample rate (kBaseSampleRate) times
// the oversampling ratio.

// Defaults of the record for an oversampling ratio.
SigGenSettings defaultSigGenSettings(double overSampling = 2);

// The shared record: the eight panel fields in their order ("Title",
// "Frequency", "Amplitude", "SamplingRate", "ReconFilter", "RFblanking",
// "ArbRefSource", "MarkerPolarity"), and with `withPlatformC` also "BBfilter",
// "Scaling", "ModAtten" and "ALC".
Value toValue(const SigGenSettings& s, bool withPlatformC = false);
// Reads a shared record. The eight panel fields must be present (a run-time
// error names a missing one); the four C-platform fields take their defaults
// when the record does not have them.
SigGenSettings sigGenSettingsFromValue(const Value& record);
// Adds the four C-platform fields with their defaults where the record lacks
// them; fields already there are kept.
Value withPlatformCFields(Value record);

// ---- rules of the settings panel ----------------------------------------------

// Reads a typed entry as a decimal number; nullopt when it is not a number.
// Surrounding blanks are allowed; the decimal separator is always '.'.
std::optional<double> parseDecimal(std::string_view text);

// The ordered clamp of entry fields: min(value, first), then max(that, second).
// An entry that gave no number takes the first bound.
double orderedClamp(std::optional<double> value, double first, double second);

// The ranges the settings panel accepts. These defaults hold until an
// instrument has reported its own frequency, power and sample-clock ranges.
struct SigGenLimits {
  double frequencyMin = 100e3, frequencyMax = 4e9;     // Hz
  double amplitudeMin = -136, amplitudeMax = 20;       // dBm
  double samplingRateMin = 1, samplingRateMax = 40e6;  // samples per second
};
// Why ranges an instrument reported cannot serve as the panel's bounds, or an
// empty text when they can: every bound finite, each minimum below its
// maximum, frequency and sample clock above 0 Hz and at most 1 THz and
// 10 GHz, power within -200 to +50 dBm. An answer outside these is a misread
// or a confused instrument, never a range to hand to the user.
std::string sigGenLimitsProblem(const SigGenLimits& limits);
// The highest sample rate the panel accepts for a waveform of this
// oversampling ratio: the limit, but never below the waveform's own clock
// (kBaseSampleRate times the ratio), so the rate a waveform was made for can
// always be set.
double samplingRateTop(const SigGenLimits& limits, double overSampling);

// A setting outside an instrument's range: which ("Frequency", "Amplitude"
// or "SamplingRate", the record's field names), its value and the range.
struct RangeViolation {
  std::string field;
  double value, min, max;
};
// The ranged settings (frequency, power, sample clock) that `limits` do not
// hold, in that order. No exception for the waveform's own clock here: an
// instrument that cannot run it cannot play the waveform.
std::vector<RangeViolation> outsideLimits(const SigGenSettings& s, const SigGenLimits& limits);

// Frequency entry in the unit of pop-up item `unitItem` (1 Hz, 2 kHz, 3 MHz,
// 4 GHz) limited to the top of the range, then the bottom.
double frequencyFromEntry(std::string_view text, int unitItem, const SigGenLimits& limits = {});
// Sampling-rate entry in the unit of `unitItem`, limited to samplingRateTop
// for the ratio, then the bottom of the range.
double samplingRateFromEntry(std::string_view text, int unitItem, double overSampling = 2,
                             const SigGenLimits& limits = {});
// Amplitude entry rounded (halves away from zero), limited to the top of the
// range, then the bottom.
double amplitudeFromEntry(std::string_view text, const SigGenLimits& limits = {});

// Why a stored record cannot become the settings in force (empty when it can):
// the panel's fields present, each a value the panel itself would accept for
// a waveform of this oversampling ratio, so a file never brings the
// instrument a setting the panel would have refused.
std::string sigGenSettingsProblem(const Value& record, double overSampling,
                                  const SigGenLimits& limits = {});
// The cleaned waveform title: upper case, only A-Z 0-9 _ $ & # + - [ ], at most
// 20 characters, "BLANK" when nothing is left.
std::string cleanTitle(std::string_view text);

// How a frequency-like value is shown: the unit item (1 Hz ... 4 GHz, chosen by
// magnitude) and the value in that unit.
struct UnitDisplay {
  int unitItem;
  double scaled;
};
UnitDisplay displayInUnit(double value);

// Captions of the two toggle buttons.
std::string arbRefCaption(double arbRefSource);      // "Int. Ref" / "Ext. Ref"
std::string markerPolarityCaption(double polarity);  // "+ Mkrs" / "- Mkrs"

}  // namespace dot11a

DOT11A_API_END
