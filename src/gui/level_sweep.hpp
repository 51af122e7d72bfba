// Analysis > Level Sweep: the signal generator's output level stepped from a
// start to a stop level; at each step the calculated waveform is played once
// (its frames are the count sent) and a command the user gives reports how
// many of them the device under test received intact. The packet error rate
// against level is plotted and tabulated.
#pragma once

#include <QDialog>
#include <functional>
#include <string>
#include <vector>

#include "dot11a/siggen_settings.hpp"
#include "dot11a/value.hpp"

class QLabel;
class QLineEdit;

namespace dot11a::gui {

struct SweepSettings {
  double start = -90;  // dBm
  double stop = -60;   // dBm
  double step = 3;     // dB, the size of a step whichever way the sweep goes
  std::string command;
  double timeout = 30;  // seconds the command may take at one step
};

// The settings stored in the configuration's `LevelSweep` record; the
// defaults for what is missing or unusable there.
SweepSettings sweepSettingsFrom(const Value& config);
Value withSweepSettings(Value config, const SweepSettings& s);

// The most steps a sweep takes: a step size typed wrong (0.001 dB) is refused
// instead of holding the instrument for days.
inline constexpr std::size_t kMaxSweepSteps = 1000;

// Why a sweep with these settings cannot run on an instrument with these
// ranges (empty when it can): the step positive, at most kMaxSweepSteps
// levels, both end levels within the instrument's power range, a command,
// and a positive time-out.
std::string sweepProblem(const SweepSettings& s, const SigGenLimits& limits);
// The levels in the order they are set: start, then a step at a time towards
// stop, never past it. Call only for settings without a problem.
std::vector<double> sweepLevels(const SweepSettings& s);
// A level as it is sent and put into the command's environment: "-82.5".
std::string levelText(double dbm);

// What the device command said at one step.
struct DeviceCount {
  bool ok = false;
  double good = 0;
  std::string error;  // why there is no count, for the user
  std::string stderrText;
};
// Runs `command` with /bin/sh -c, with DOT11A_LEVEL_DBM, DOT11A_SENT and
// DOT11A_STEP added to its environment. Its standard output must be one
// number from 0 to `sent`. A command still running after `timeoutS` seconds,
// or when `cancelled` turns true, is killed with everything it started.
DeviceCount runDeviceCommand(const std::string& command, double levelDbm, std::size_t sent,
                             std::size_t step, double timeoutS,
                             const std::function<bool()>& cancelled);

struct SweepPoint {
  double level = 0;
  std::size_t sent = 0;
  double good = 0;
  double per() const { return sent == 0 ? 1 : 1 - good / static_cast<double>(sent); }
};

// The settings dialog: OK checks them against `limits` and stays open with
// the reason when they are refused.
class LevelSweepDialog : public QDialog {
 public:
  LevelSweepDialog(const SweepSettings& current, const SigGenLimits& limits, std::size_t frames,
                   QWidget* parent = nullptr);
  const SweepSettings& settings() const { return result_; }
  QString problem() const;
  void accept() override;

 private:
  SweepSettings result_;
  SigGenLimits limits_;
  QLabel* message_ = nullptr;
};

}  // namespace dot11a::gui
