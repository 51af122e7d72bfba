// The dialogs of the Signal menu: the impairments and the frame sequence of
// the receiver-test signal. Each edits a copy of the settings; OK checks the
// values with the library's own checks and, when one is refused, shows why in
// the dialog and stays open, the settings in force unchanged.
#pragma once

#include <QDialog>
#include <QString>

#include "dot11a/frame_job.hpp"
#include "dot11a/frame_record.hpp"
#include "dot11a/receiver_test.hpp"

class QCheckBox;
class QComboBox;
class QGridLayout;
class QLabel;
class QLineEdit;

namespace dot11a::gui {

class ImpairmentsDialog : public QDialog {
 public:
  // `sampleRate` is the waveform's: the frequency offsets are checked against it.
  ImpairmentsDialog(const impair::Settings& current, double sampleRate, QWidget* parent = nullptr);
  // The settings of the last OK.
  const impair::Settings& settings() const { return result_; }
  // The reason the last OK was refused, empty when it was taken.
  QString problem() const;
  void accept() override;

 private:
  QLineEdit* field(QGridLayout* grid, int row, int column, const char* name, double value,
                   const char* unit);
  QCheckBox* enabler(QGridLayout* grid, int row, const char* name, const char* label, bool on);
  impair::Settings read() const;

  impair::Settings result_;
  double sampleRate_;
  QLabel* message_ = nullptr;
};

class SequenceDialog : public QDialog {
 public:
  SequenceDialog(const SequenceSettings& current, QWidget* parent = nullptr);
  // The settings of the last OK.
  const SequenceSettings& settings() const { return result_; }
  QString problem() const;
  void accept() override;

 private:
  SequenceSettings result_;
  QLabel* message_ = nullptr;
};

// A receiver-test preset at a chosen rate applied to the window's job: the
// dialog shows what the preset makes (frames, level, interferer) as the
// choice changes, or why it cannot, and OK keeps the job it made.
class ReceiverTestDialog : public QDialog {
 public:
  // `base` is the window's job (without the interferer a previous preset
  // set); `current` the preset in force, shown as the first choice.
  ReceiverTestDialog(const FrameJob& base, const std::optional<ReceiverTestChoice>& current,
                     QWidget* parent = nullptr);
  // The job and the choice of the last OK.
  const FrameJob& job() const { return job_; }
  const ReceiverTestChoice& choice() const { return choice_; }
  // What the choice in the controls makes, or why it cannot.
  QString summary() const;
  QString problem() const;
  void accept() override;

 private:
  // The preset of the controls applied to a copy of the base job; raises why
  // it cannot be.
  FrameJob made(ReceiverTestChoice& choice, ReceiverTest& test) const;
  void refresh();

  FrameJob base_, job_;
  ReceiverTestChoice choice_;
  QLabel* summary_ = nullptr;
  QLabel* message_ = nullptr;
};

// What a preset made, in one line: the frames, the rate, the signal and the
// level to set at the receiver input.
std::string receiverTestText(const FrameJob& job, const ReceiverTest& test);

}  // namespace dot11a::gui
