// What the main window tells its user, and how it reads what the user types:
// the status bar (a message line and the calculation state), numbers read
// from entry fields, marks on a value that is over its limit, and fitting a
// window into the available screen area.
#pragma once

#include <QRect>
#include <optional>
#include <string>
#include <string_view>

#include "dot11a/value.hpp"

namespace dot11a::gui {

// Reads a typed entry as a decimal number. Surrounding blanks and a leading
// '+' are allowed, the decimal separator is always '.'. A number too large
// for a double reads as plus or minus infinity, one too small as 0, so the
// field's clamps treat it as what the user meant. nullopt: not a number
// (empty text, letters, units, NaN).
std::optional<double> readEntryNumber(std::string_view text);

// Puts the status bar on a main window (once): a message line and, on the
// right, the calculation state. Their tags are txtStatusMessage and
// txtCalculationStatus.
void installStatusBar(double fig);

// Shows a message in the window's status line and prints a copy on the
// console. Errors are shown in red until the next message.
void tellUser(double fig, const std::string& text, bool error = true, bool console = true);
// Clears the message line (the last message was dealt with).
void clearUserMessage(double fig);

// The calculation state on the right of the status bar.
void showCalculationStatus(double fig, const std::string& text, bool current);

// "Calculated 14:03:12, 11,040 samples, 276 µs": the time of a clock value
// [y m d h min s], the sample count with thousands separators and the
// waveform's duration at `sampleRate`.
std::string calculatedText(const Value& clock, double samples, double sampleRate);
// 11040 -> "11,040".
std::string withThousands(double whole);

// Marks a display or entry control as over its limit (red text, the reason
// added to its tooltip) or takes the mark away again (its own tooltip back).
void markOverLimit(double control, bool over, const std::string& reason);

// Waits until a modal dialog window resumes (OK, Cancel) or is closed and
// returns the "answer" text its buttons stored in its data; "Cancel" when
// there is none or the window is gone. The window stays as it is.
std::string waitForAnswer(double fig);

// Shows a modal dialog centred over the main window (when that is on the
// screen), puts the keyboard on the control `focus` (its text selected when it
// is an entry field; 0 for none), waits as waitForAnswer does and hides the
// dialog again.
std::string showOverMainAndWait(double fig, double focus);

// Makes the window's content scroll when the window is smaller than the
// content needs (main windows only; other windows are left as they are).
void makeContentScrollable(double fig);
// Sizes the window to what its content asks for, at most the available
// screen area, and moves it inside that area (keeping its centre where it
// can). Call before the window is shown.
void fitWindowToScreen(double fig);
// The area windows may use: the primary screen without panels and docks.
QRect availableScreenArea();
// Tests pretend a smaller screen; an empty rectangle restores the real one.
void setAvailableScreenAreaOverride(const QRect& area);
// Moves and shrinks a window rectangle (frame included) into `area`.
QRect fitRectInto(const QRect& window, const QRect& area);
// From now on every window and dialog of the application is moved (and, when
// larger, shrunk) into the available screen area as it is shown, its title
// bar included, so no button of it is ever off the screen. Installed once.
void keepWindowsOnScreen();

// The window icon of the application (drawn for it, in the built-in
// layouts).
void applyWindowIcon(double fig);

// Commits a field the user typed into but did not leave yet (its callback
// runs), so that a keyboard shortcut acts on what is on the screen.
void commitFocusedEntry(double fig);

}  // namespace dot11a::gui
