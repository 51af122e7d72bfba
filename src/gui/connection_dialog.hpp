// Internal to the connection dialog (module KS_SigGen): what the dialog
// (connection_dialog.cpp) shares with its connection check
// (connection_check.cpp).
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "dot11a/call.hpp"
#include "dot11a/value.hpp"

namespace dot11a::connection {

// The tag of the dialog window.
inline constexpr std::string_view kWindowTag = "figureVisaAddress";

// Equal apart from letter case.
bool sameText(std::string_view a, std::string_view b);
// The dialog window of a handles record.
double dialogOf(const Value& handles);
// Shows a text in the status line; failures in the error colour.
void showStatus(const Value& handles, const std::string& message, bool failure);
// A fresh connection record from what the controls show.
Value updateConfig(const Value& handles);
// The time-out typed in the dialog, in seconds ("10 s", "500 ms", "2.5"):
// nothing when the field is absent; a problem text when it holds no time
// from 0.1 s to 1 h.
struct TypedTimeout {
  std::optional<double> seconds;
  std::string problem;
};
TypedTimeout typedTimeout(const Value& handles);

// Check Hardware: asks the instrument for its identity with the choices on
// screen, on a worker thread, and shows the answer in the status line.
void pbCheckHardware_Callback(Call& c);
// The status line no longer waits for the running check's answer (the
// interface changed, or the dialog closed).
void dropCheckAnswer();
// `config` with the ranges the checks of this opening brought back (per
// connection and family); forgets them.
Value withCheckedRanges(Value config);
// A newly opened dialog shows a check that an earlier opening left running
// (button off, busy pointer) until it ends.
void showPendingCheck(double fig, const Value& handles);

}  // namespace dot11a::connection
