// The dialogs of the Signal menu: the impairments and the frame sequence of
// the receiver-test signal. Each edits a copy of the settings; OK checks the
// values with the library's own checks and, when one is refused, shows why in
// the dialog and stays open, the settings in force unchanged.
#pragma once

#include <QDialog>
#include <QString>

#include "dot11a/frame_job.hpp"

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

}  // namespace dot11a::gui
