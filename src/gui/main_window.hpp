// Internal to the main window (module dot11a_GUI_b): what its start-up and
// redraw code (main_window.cpp) shares with its control callbacks
// (main_window_controls.cpp).
#pragma once

#include <functional>
#include <initializer_list>
#include <string>
#include <string_view>

#include "dot11a/call.hpp"
#include "dot11a/frame_job.hpp"
#include "dot11a/num2str.hpp"
#include "dot11a/value.hpp"

namespace dot11a::mainwin {

// The parameter set being edited: the application-wide record, and its frame
// typed. Every control edits the typed frame: the record is read, changed and
// written back whole, its derived fields with it.
Value& P();
FrameParameters frame();
void editFrame(const std::function<void(FrameParameters&)>& edit);

// Calls another local operation of this module (the module's scope is active).
void local(std::string_view name, std::initializer_list<Value> args);

// Upper-case hexadecimal without leading zeros ("5D" for 93, "0" for 0).
std::string hexText(double x);

// The main window of a handles record (the running callback's window when the
// record has none).
double mainFig(const Value& handles);

// Whether an operation is implemented in this build.
bool available(std::string_view operation);

// The edge window's duration in ns, and a note when it is shorter than the
// nominal 100 ns transition between symbols (empty otherwise): a shorter
// window widens the spectrum towards the transmit mask.
double windowNanoseconds(const FrameParameters& f);
std::string shortTransitionNote(const FrameParameters& f);
// Shows that note on the window-length field (amber text and its tooltip).
void markWindowLength(const Value& handles);
// The control callbacks, listed in the module's table.
void tbGenerationMode_Callback(Call& c);
void pdDataRate_Callback(Call& c);
void pdModulation_Callback(Call& c);
void pdEncoder_Callback(Call& c);
void chkScramblerActive_Callback(Call& c);
void chkInterleaverActive_Callback(Call& c);
void chkMirrorSpectrum_Callback(Call& c);
void txtScramblerInit_Callback(Call& c);
void txtServiceField_Callback(Call& c);
void txtIdleInterval_Callback(Call& c);
void pdChannelSpacing_Callback(Call& c);
void pdOversampleRate_Callback(Call& c);
void txtWindowLength_Callback(Call& c);
void chkMACheader_Callback(Call& c);
void chkMACfcs_Callback(Call& c);
void pbSubCarriers_Callback(Call& c);
void pbMACheaderSetup_Callback(Call& c);
void pdDATAsourceType_Callback(Call& c);
void txtDataLength_Callback(Call& c);

}  // namespace dot11a::mainwin
