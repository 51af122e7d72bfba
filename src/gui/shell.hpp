// The application shell (module rfCommonUI), shared by its source files: the
// module's table of commands, which other files of the shell extend, and the
// helpers its commands have in common.
#pragma once

#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "dot11a/call.hpp"
#include "dot11a/frame_job.hpp"
#include "dot11a/frame_record.hpp"
#include "dot11a/waveform.hpp"
#include "gui/graphics/local_ops.hpp"

namespace dot11a::shell {

// Adds commands to the module's table, as rows of the window modules' local
// operation tables; called from static initializers of the shell's source
// files (shell_*.cpp), so the module owns every command whichever file
// implements it.
bool addCommands(std::initializer_list<gfx::LocalOp> rows);
bool addCommand(const OpInfo& info);
// Takes a command out of the table again (tests that stand in for an
// operation the shell calls by name); not while a shell command runs.
void removeCommand(std::string_view name);
const LocalTable& commandTable();

// The application-wide records the shell reads.
Value& appInfo();
std::string appText(std::string_view field);
bool platformC();

// The clock value [year month day hour minute seconds] of now, local time.
Value clockNow();

// The main window of a handles record (its `main` field), or the window whose
// callback runs.
double mainWindow(const Value& handles);

// Sets a window's pointer to "watch" and restores the shape it had when the
// guard goes out of scope, whatever way the work ends (return, error, a window
// closed meanwhile).
class WatchPointer {
 public:
  explicit WatchPointer(double figure);
  ~WatchPointer();
  WatchPointer(const WatchPointer&) = delete;
  WatchPointer& operator=(const WatchPointer&) = delete;
  // Restores now (before a message box is shown); the destructor then does nothing.
  void restore();

 private:
  double figure_;
  std::string previous_;
  bool active_ = false;
};

// Calls the application module named by appInfo.ApplicationFunction.
void application(std::string_view operation, std::initializer_list<Value> args);

// True when the shell may go on with `waveform` for `action` ("Download",
// "Plot" or "Save"), asking the user first when no current waveform exists.
bool waveformReady(const Value& handles, std::string_view action);

// The parameter file opened or saved in this run (empty when none); File Save
// asks before it overwrites any other file named by the stored configuration.
std::string& fileOfThisRun();

// At start-up: opens the parameter file the stored configuration names, as
// File Open does, so the title never names a file the window does not hold;
// a file that no longer reads is no longer named.
void reopenLastFile(const Value& handles);

// The setup (parameter set and generator settings) as last saved, opened or
// started with is now the one in force.
void markSetupSaved();
// True when the setup may be replaced or dropped: it is unchanged since it was
// last saved or opened, or the user saved it or chose to discard the changes.
// False when the user cancelled (or closed the question, or the save failed).
bool mayDiscardChanges(const Value& handles);

// ---- the window's frame job and its waveform (shell_signal.cpp) ----------------

// The receiver-test signal of the Signal menu, typed: one clean frame until
// it is set, opened or started with.
struct Signal {
  SequenceSettings sequence;
  impair::Settings impairments;
  // The receiver-test preset that made the signal, until the signal is
  // changed otherwise.
  std::optional<ReceiverTestChoice> test;
  bool active() const { return sequence.active() || impairments.any(); }
};
Signal& signal();
// Its record, as parameter files store it and the calculation record keeps it.
Value signalRecord();
// The record a parameter file stored, or none: a file without one, or with
// one that does not read, leaves one clean frame (the status line says why).
void takeStoredSignalSettings(const std::optional<Value>& stored, const Value& handles);

// The instrument memory of the configured option (M08 or M32), in samples.
std::size_t memorySamples();
// The job the window describes: the frame of `parameters`, the signal, the
// generator settings (whose frequency is the carrier; left at their defaults
// when `withGenerator` is false) and the memory option.
FrameJob windowJob(bool withGenerator = true);

// Calculate: makes the window's job into the calculated waveform and the
// application-wide `waveform` and `markers`, off the GUI thread with progress
// and Cancel. A cancelled calculation, or one whose settings changed while it
// ran, leaves everything as it was and sets calculationDropped().
void calculate();
bool& calculationDropped();
// The main window Calculate was asked from (its progress is shown over it).
double& calculatingWindow();
// True (after telling the user) while a long task of the window runs: the
// commands that would start another one refuse meanwhile.
bool busy(double figure);
// The waveform of the last Calculate; null before the first.
std::shared_ptr<const Waveform> calculatedWaveform();
// Drops the calculated waveform (a new window starts without one).
void forgetCalculation();
// The calculated waveform when `waveform` still holds it (nothing else was
// stored there since), else null.
std::shared_ptr<const Waveform> waveformOnShow();

// Keeps a window the shell opened in appInfo.ClientWindows (the shut-down
// closes them).
void keepClientWindow(const Value& window);

// The projected length as the window shows it: "N Samples" of the frame or
// the whole sequence, "Over the memory" when the memory option cannot hold
// it, "See the Signal menu" when a setting is refused (for instance a stored
// sequence file that no longer reads).
std::string projectedText(const FrameJob& job);
// The samples as the display quantiser applyDacRes leaves them.
std::vector<cplx> dacResolution(std::span<const cplx> samples, double numBits);

// What the title adds while the signal is more than the clean frame
// (" [100 frames, IMPAIRED]"), empty otherwise.
std::string signalTitleNote();

}  // namespace dot11a::shell
