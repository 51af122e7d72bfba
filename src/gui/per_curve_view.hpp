// Analysis > PER Curve: the packet-error-rate sweep of dot11a-per in the
// window. A dialog takes the sweep (SNRs, frames a point, the early stop,
// rates, channel, receiver), its frame taken from the window's (PSDU length,
// oversampling, channel spacing); the sweep runs off the GUI thread with
// progress and Cancel; a window plots PER against SNR per rate with the 10 %
// line and each rate's limit, and writes the same CSV and JSON files as
// dot11a-per and the plot as a PNG.
#pragma once

#include <QDialog>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "dot11a/frame_job.hpp"
#include "dot11a/per.hpp"
#include "gui/graphics/graphics.hpp"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;

namespace dot11a::gui {

// The sweep as the dialog holds it.
struct PerCurveRequest {
  std::string snr = "0:20:1";  // FROM:TO:STEP, a comma list or one value (dB)
  double frames = 100;
  double stopAfterErrors = 0;  // 0: every frame of every point
  std::vector<double> rates = {6, 24, 54};
  std::string channel = "awgn";  // or exp:RMS_NS[,rician:K_DB]
  bool ideal = false;
  // The frame: from the window's.
  double psduOctets = 1000;
  double oversampling = 1;
  std::optional<double> channelSpacingMHz;  // set when not 20 MHz
  std::uint64_t seed = 1;
};

// The request with the frame of the window's job: its PSDU length (MAC
// header and FCS included), oversampling and channel spacing.
PerCurveRequest perCurveRequestFor(const FrameJob& job);

// The sweep of the request, made by the rules dot11a-per's options follow;
// raises an error naming the setting.
per::Sweep perSweepOf(const PerCurveRequest& request);

class PerCurveDialog : public QDialog {
 public:
  explicit PerCurveDialog(const PerCurveRequest& start, QWidget* parent = nullptr);
  // The request and its sweep of the last OK.
  const PerCurveRequest& request() const { return result_; }
  const per::Sweep& sweep() const { return sweep_; }
  // The reason the last OK was refused, empty when it was taken.
  QString problem() const;
  void accept() override;

 private:
  PerCurveRequest read() const;

  PerCurveRequest start_, result_;
  per::Sweep sweep_;
  QLineEdit *snr_ = nullptr, *frames_ = nullptr, *stop_ = nullptr, *channel_ = nullptr;
  std::vector<QCheckBox*> rates_;
  QComboBox* receiver_ = nullptr;
  QLabel* message_ = nullptr;
};

// Counts the sweep on a worker while the window's progress dialog says how
// many frames and points are done and which point is being counted; none
// when the user cancelled or closed `figure`.
std::optional<std::vector<per::PointResult>> countPerCurve(double figure, const per::Sweep& sweep);

// The PER curve window: a curve per rate on a log axis of PER, the 10 % line,
// each rate's limit (the SNR its minimum sensitivity leaves a receiver with
// a 10 dB noise figure) and buttons that write CSV, JSON and PNG.
gfx::Handle perCurveWindow(gfx::Handle parent, const per::Sweep& sweep,
                           const std::vector<per::PointResult>& points);

}  // namespace dot11a::gui
