// The dialogs of the Signal menu (see signal_dialogs.hpp).
#include "gui/signal_dialogs.hpp"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <cstdio>
#include <optional>
#include <string>

#include "dot11a/dialogs.hpp"
#include "dot11a/error.hpp"
#include "dot11a/frame_sequence.hpp"
#include "dot11a/rate_table.hpp"
#include "dot11a/siggen_settings.hpp"

namespace dot11a::gui {

namespace {

QString shown(double v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.10g", v);
  return QString::fromLatin1(buf);
}

template <class W>
W* child(const QWidget* parent, const char* name) {
  W* w = parent->findChild<W*>(QString::fromLatin1(name));
  if (w == nullptr) raise("The dialog has no control " + std::string(name) + ".");
  return w;
}

bool checked(const QWidget* dialog, const char* name) {
  return child<QCheckBox>(dialog, name)->isChecked();
}

// The number typed into a field; a text that is no number is refused with the
// field's label.
double numberIn(const QWidget* dialog, const char* name, const char* what) {
  const QLineEdit* e = child<QLineEdit>(dialog, name);
  const std::optional<double> v = parseDecimal(e->text().toStdString());
  if (!v) raise(std::string(what) + " must be a number, not \"" + e->text().toStdString() + "\".");
  return *v;
}

QLabel* messageLabel(QWidget* parent) {
  auto* label = new QLabel(parent);
  label->setObjectName("message");
  label->setWordWrap(true);
  label->setStyleSheet("color: #b00020;");
  label->hide();
  return label;
}

void showProblem(QLabel* label, const std::string& text) {
  label->setText(QString::fromStdString(text));
  label->setVisible(!text.empty());
}

QDialogButtonBox* okCancel(QDialog* dialog) {
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, dialog);
  buttons->button(QDialogButtonBox::Ok)->setObjectName("ok");
  buttons->button(QDialogButtonBox::Cancel)->setObjectName("cancel");
  QObject::connect(buttons, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
  QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
  return buttons;
}

// Lays out a dialog of these settings: its grid, a note under it, the line that
// shows a refused value, and OK/Cancel. Returns that line.
QLabel* finishLayout(QDialog* dialog, QGridLayout* grid, const char* noteText) {
  auto* note = new QLabel(noteText, dialog);
  note->setWordWrap(true);
  QLabel* message = messageLabel(dialog);
  auto* layout = new QVBoxLayout(dialog);
  layout->addLayout(grid);
  layout->addWidget(note);
  layout->addWidget(message);
  layout->addWidget(okCancel(dialog));
  return message;
}

}  // namespace

// ---- impairments ------------------------------------------------------------------

QLineEdit* ImpairmentsDialog::field(QGridLayout* grid, int row, int column, const char* name,
                                    double value, const char* unit) {
  auto* edit = new QLineEdit(shown(value), this);
  edit->setObjectName(name);
  edit->setMaximumWidth(110);
  grid->addWidget(edit, row, column);
  grid->addWidget(new QLabel(QString::fromUtf8(unit), this), row, column + 1);
  return edit;
}

QCheckBox* ImpairmentsDialog::enabler(QGridLayout* grid, int row, const char* name,
                                      const char* label, bool on) {
  auto* box = new QCheckBox(QString::fromUtf8(label), this);
  box->setObjectName(name);
  box->setChecked(on);
  grid->addWidget(box, row, 0);
  return box;
}

ImpairmentsDialog::ImpairmentsDialog(const impair::Settings& current, double sampleRate,
                                     QWidget* parent)
    : QDialog(parent), result_(current), sampleRate_(sampleRate) {
  setWindowTitle("Impairments");
  setObjectName("ImpairmentsDialog");
  auto* grid = new QGridLayout;
  // Every impairment off is its default; a row's fields show the settings in
  // force, or the library's defaults of an impairment that is off.
  const impair::Amplifier pa = current.amplifier.value_or(impair::Amplifier{});
  const impair::IqImbalance iq = current.iq.value_or(impair::IqImbalance{0.5, 2.0});
  const impair::PhaseNoise pn = current.phaseNoise.value_or(impair::PhaseNoise{1.0, 100e3});
  const impair::Channel ch = current.channel.value_or(impair::Channel{});
  const impair::Interferer in = current.interferer.value_or(impair::Interferer{});
  int row = 0;
  // Each row: the check box that switches the impairment on, its fields with
  // their units. The fields of an impairment that is off are greyed.
  std::vector<std::pair<QCheckBox*, std::vector<QWidget*>>> rows;
  auto add = [&](QCheckBox* box, std::vector<QWidget*> fields) {
    rows.emplace_back(box, std::move(fields));
    ++row;
  };
  {
    QCheckBox* box = enabler(grid, row, "amplifierOn", "&Amplifier", current.amplifier.has_value());
    QLineEdit* b = field(grid, row, 1, "amplifierBackoff", pa.backoffDb, "dB back-off");
    QLineEdit* p = field(grid, row, 3, "amplifierSmoothness", pa.smoothness, "P (Rapp)");
    auto* model = new QComboBox(this);
    model->setObjectName("amplifierModel");
    model->addItems({"Rapp", "Clip"});
    model->setCurrentIndex(pa.model == impair::Amplifier::Model::Clip ? 1 : 0);
    grid->addWidget(model, row, 5);
    add(box, {model, p, b});
  }
  {
    QCheckBox* box = enabler(grid, row, "iqOn", "&IQ imbalance", current.iq.has_value());
    QLineEdit* g = field(grid, row, 1, "iqGain", iq.gainDb, "dB");
    QLineEdit* p = field(grid, row, 3, "iqPhase", iq.phaseDeg, "deg");
    add(box, {g, p});
  }
  {
    QCheckBox* box = enabler(grid, row, "dcOn", "&DC (carrier leakage)", current.dcDbc.has_value());
    add(box, {field(grid, row, 1, "dcLevel", current.dcDbc.value_or(-30), "dBc")});
  }
  {
    QCheckBox* box =
        enabler(grid, row, "phaseNoiseOn", "&Phase noise", current.phaseNoise.has_value());
    QLineEdit* r = field(grid, row, 1, "phaseNoiseRms", pn.rmsDeg, "deg RMS");
    QLineEdit* c = field(grid, row, 3, "phaseNoiseCorner", pn.cornerHz, "Hz corner");
    add(box, {r, c});
  }
  {
    QCheckBox* box =
        enabler(grid, row, "channelOn", "&Multipath channel", current.channel.has_value());
    QLineEdit* d = field(grid, row, 1, "channelDelay", ch.rmsDelayNs, "ns RMS");
    auto* rician = new QCheckBox("&Rician K", this);
    rician->setObjectName("channelRician");
    rician->setChecked(ch.ricianKDb.has_value());
    grid->addWidget(rician, row, 3);
    QLineEdit* k = field(grid, row, 4, "channelK", ch.ricianKDb.value_or(6), "dB");
    add(box, {d, rician, k});
  }
  {
    QCheckBox* box = enabler(grid, row, "cfoOn", "&Carrier offset", current.cfoHz.has_value());
    add(box, {field(grid, row, 1, "cfoHz", current.cfoHz.value_or(0), "Hz")});
  }
  {
    QCheckBox* box = enabler(grid, row, "clockOn", "C&lock offset", current.clockPpm.has_value());
    add(box, {field(grid, row, 1, "clockPpm", current.clockPpm.value_or(0), "ppm")});
  }
  {
    QCheckBox* box = enabler(grid, row, "noiseOn", "&Noise", current.snrDb.has_value());
    add(box, {field(grid, row, 1, "snrDb", current.snrDb.value_or(20), "dB SNR")});
  }
  {
    QCheckBox* box =
        enabler(grid, row, "interfererOn", "In&terferer", current.interferer.has_value());
    QLineEdit* o = field(grid, row, 1, "interfererOffset", in.offsetHz / 1e6, "MHz offset");
    QLineEdit* l = field(grid, row, 3, "interfererLevel", in.levelDb, "dB");
    add(box, {o, l});
  }
  for (auto& [box, fields] : rows) {
    auto sync = [box = box, fields = fields] {
      for (QWidget* w : fields) w->setEnabled(box->isChecked());
    };
    sync();
    connect(box, &QCheckBox::toggled, this, sync);
  }
  auto* seedLabel = new QLabel("&Seed", this);
  auto* seed = new QLineEdit(QString::number(current.seed), this);
  seed->setObjectName("seed");
  seed->setToolTip(
      "Every random draw of the impairments comes from this seed:\nthe same seed "
      "gives the same samples.");
  seedLabel->setBuddy(seed);
  grid->addWidget(seedLabel, row, 0);
  grid->addWidget(seed, row, 1);
  message_ = finishLayout(
      this, grid,
      "Applied after synthesis in the order listed. Levels are relative to the mean power of "
      "the frames; the SNR is stated in the occupied band (16.25 MHz).");
}

QString ImpairmentsDialog::problem() const {
  return message_->isVisible() ? message_->text() : QString();
}

impair::Settings ImpairmentsDialog::read() const {
  impair::Settings s;
  if (checked(this, "amplifierOn")) {
    impair::Amplifier a;
    a.model = child<QComboBox>(this, "amplifierModel")->currentIndex() == 1
                  ? impair::Amplifier::Model::Clip
                  : impair::Amplifier::Model::Rapp;
    a.smoothness = numberIn(this, "amplifierSmoothness", "The amplifier's smoothness P");
    a.backoffDb = numberIn(this, "amplifierBackoff", "The amplifier's back-off");
    s.amplifier = a;
  }
  if (checked(this, "iqOn"))
    s.iq = impair::IqImbalance{numberIn(this, "iqGain", "The IQ gain imbalance"),
                               numberIn(this, "iqPhase", "The IQ phase imbalance")};
  if (checked(this, "dcOn")) s.dcDbc = numberIn(this, "dcLevel", "The DC level");
  if (checked(this, "phaseNoiseOn"))
    s.phaseNoise = impair::PhaseNoise{numberIn(this, "phaseNoiseRms", "The phase noise"),
                                      numberIn(this, "phaseNoiseCorner", "The phase noise corner")};
  if (checked(this, "channelOn")) {
    impair::Channel c;
    c.rmsDelayNs = numberIn(this, "channelDelay", "The RMS delay spread");
    if (checked(this, "channelRician"))
      c.ricianKDb = numberIn(this, "channelK", "The Rician K factor");
    s.channel = c;
  }
  if (checked(this, "cfoOn")) s.cfoHz = numberIn(this, "cfoHz", "The carrier offset");
  if (checked(this, "clockOn")) s.clockPpm = numberIn(this, "clockPpm", "The clock offset");
  if (checked(this, "noiseOn")) s.snrDb = numberIn(this, "snrDb", "The SNR");
  if (checked(this, "interfererOn"))
    s.interferer =
        impair::Interferer{numberIn(this, "interfererOffset", "The interferer offset") * 1e6,
                           numberIn(this, "interfererLevel", "The interferer level")};
  s.seed =
      parseSeed(child<QLineEdit>(this, "seed")->text().trimmed().toStdString(), "The seed must be");
  return s;
}

void ImpairmentsDialog::accept() {
  try {
    const impair::Settings s = read();
    impair::validate(s, sampleRate_);
    result_ = s;
  } catch (const std::exception& e) {
    showProblem(message_, e.what());
    return;
  }
  showProblem(message_, "");
  QDialog::accept();
}

// ---- frame sequence ------------------------------------------------------------------

SequenceDialog::SequenceDialog(const SequenceSettings& current, QWidget* parent)
    : QDialog(parent), result_(current) {
  setWindowTitle("Frame Sequence");
  setObjectName("SequenceDialog");
  auto* grid = new QGridLayout;
  auto* framesLabel = new QLabel("&Frames", this);
  auto* frames = new QLineEdit(QString::number(current.frames), this);
  frames->setObjectName("frames");
  frames->setToolTip(QString("Frames in the waveform, 1 to %1; the sequence file's list repeats "
                             "until they are made.")
                         .arg(kMaxSequenceFrames));
  framesLabel->setBuddy(frames);
  grid->addWidget(framesLabel, 0, 0);
  grid->addWidget(frames, 0, 1);
  auto* gapLabel = new QLabel("&Gap", this);
  auto* gap = new QComboBox(this);
  gap->setObjectName("gap");
  gap->setEditable(true);
  gap->addItems({"0", "SIFS", "DIFS"});
  gap->setCurrentText(QString::fromStdString(current.gap.text()));
  gap->setToolTip(
      "Silence between frames, after each frame's own idle interval: microseconds, "
      "SIFS (16 us) or DIFS (34 us).");
  gapLabel->setBuddy(gap);
  grid->addWidget(gapLabel, 1, 0);
  grid->addWidget(gap, 1, 1);
  grid->addWidget(new QLabel("us, SIFS or DIFS", this), 1, 2);
  auto* seedStep = new QCheckBox("S&tep the scrambler seed (1 .. 127) from frame to frame", this);
  seedStep->setObjectName("seedStep");
  seedStep->setChecked(current.seedStep);
  grid->addWidget(seedStep, 2, 0, 1, 3);
  auto* fileLabel = new QLabel("Sequence f&ile", this);
  auto* file = new QLineEdit(QString::fromStdString(current.file), this);
  file->setObjectName("sequenceFile");
  file->setPlaceholderText("none: every frame as the main window sets it");
  file->setToolTip(
      "JSON list of per-frame rate, length and source:\n"
      "{\"frames\": [{\"rate\": 24, \"length\": 100, \"source\": \"pn9\"}, ...]}");
  fileLabel->setBuddy(file);
  auto* browse = new QPushButton("&Browse...", this);
  browse->setObjectName("browse");
  connect(browse, &QPushButton::clicked, this, [this, file, frames] {
    const auto chosen = dialogs().openFile("Sequence File", {{"*.json", "*.json"}}, "");
    if (!chosen) return;
    file->setText(QString::fromStdString(*chosen));
    // As on the command line, the frame count becomes the list's length;
    // a file that does not read says why at once.
    try {
      frames->setText(QString::number(readSequenceFile(*chosen, "Sequence file").size()));
      showProblem(message_, "");
    } catch (const std::exception& e) {
      showProblem(message_, e.what());
    }
  });
  grid->addWidget(fileLabel, 3, 0);
  grid->addWidget(file, 3, 1);
  grid->addWidget(browse, 3, 2);
  message_ = finishLayout(
      this, grid,
      "Each frame counts the MAC sequence number up and continues the PN payload. Marker 1 "
      "marks every frame start. The waveform must fit the instrument's memory option.");
}

QString SequenceDialog::problem() const {
  return message_->isVisible() ? message_->text() : QString();
}

void SequenceDialog::accept() {
  SequenceSettings s = result_;
  try {
    const QString frames = child<QLineEdit>(this, "frames")->text().trimmed();
    bool ok = false;
    const qulonglong n = frames.toULongLong(&ok);
    if (!ok || n < 1 || n > kMaxSequenceFrames)
      dot11a::raise("The frame count must be a whole number from 1 to " +
                    std::to_string(kMaxSequenceFrames) + ", not \"" + frames.toStdString() + "\".");
    s.frames = static_cast<std::size_t>(n);
    s.gap = Gap::parse(child<QComboBox>(this, "gap")->currentText().trimmed().toStdString());
    s.seedStep = checked(this, "seedStep");
    s.file = child<QLineEdit>(this, "sequenceFile")->text().trimmed().toStdString();
    if (!s.file.empty()) readSequenceFile(s.file, "Sequence file");
  } catch (const std::exception& e) {
    showProblem(message_, e.what());
    return;
  }
  result_ = s;
  showProblem(message_, "");
  QDialog::accept();
}

// ---- receiver test ---------------------------------------------------------------

std::string receiverTestText(const FrameJob& job, const ReceiverTest& test) {
  char level[96];
  std::snprintf(level, sizeof level, "; set the level at the receiver input to %g dBm",
                test.wantedDbm);
  // The sequence is in the frames' text; the impairments as dot11a-gen lists them.
  const std::string impairments = impair::describe(job.impairments);
  return test.name + " at " + shown(test.rateMbps).toStdString() + " Mbit/s: " + test.framesText +
         " of " + std::to_string(job.frame.totalLength()) + " octets, gap " +
         job.sequence.gap.text() + (impairments.empty() ? "" : "; " + impairments) + level +
         (test.interferer ? ", the interferer's level relative to it." : ".");
}

ReceiverTestDialog::ReceiverTestDialog(const FrameJob& base,
                                       const std::optional<ReceiverTestChoice>& current,
                                       QWidget* parent)
    : QDialog(parent), base_(base), job_(base) {
  setWindowTitle("Receiver Test");
  setObjectName("ReceiverTestDialog");
  auto* grid = new QGridLayout;
  auto* testLabel = new QLabel("&Test", this);
  auto* test = new QComboBox(this);
  test->setObjectName("test");
  for (std::string_view n : kReceiverTestNames)
    test->addItem(QString::fromLatin1(n.data(), n.size()));
  test->setToolTip(
      "sensitivity: the wanted signal alone at the minimum sensitivity; acr, alt-acr: 3 dB "
      "above it with an unsynchronised interferer one or two channels away.");
  if (current) test->setCurrentText(QString::fromStdString(current->name));
  testLabel->setBuddy(test);
  grid->addWidget(testLabel, 0, 0);
  grid->addWidget(test, 0, 1);
  auto* rateLabel = new QLabel("Data &rate", this);
  auto* rate = new QComboBox(this);
  rate->setObjectName("rate");
  const double factor = clockFactor(base.frame.spacing);
  for (const RateEntry& e : kRateTable) rate->addItem(shown(e.mbps * factor));
  const QString now = shown(base.frame.dataRate());
  if (rate->findText(now) >= 0) rate->setCurrentText(now);
  rateLabel->setBuddy(rate);
  grid->addWidget(rateLabel, 1, 0);
  grid->addWidget(rate, 1, 1);
  grid->addWidget(new QLabel("Mbit/s", this), 1, 2);
  auto* framesLabel = new QLabel("&Frames", this);
  auto* frames = new QLineEdit(this);
  frames->setObjectName("frames");
  frames->setPlaceholderText("the most that fit, at most 1000");
  if (current && current->frames) frames->setText(QString::number(*current->frames));
  frames->setToolTip(QString("Frames in the waveform, 1 to %1; empty: %2, or the most the "
                             "instrument's memory holds.")
                         .arg(kMaxSequenceFrames)
                         .arg(kReceiverTestFrames));
  framesLabel->setBuddy(frames);
  grid->addWidget(framesLabel, 2, 0);
  grid->addWidget(frames, 2, 1);
  summary_ = new QLabel(this);
  summary_->setObjectName("summary");
  summary_->setWordWrap(true);
  summary_->setMinimumWidth(460);
  summary_->setFrameShape(QFrame::StyledPanel);
  summary_->setMargin(6);
  message_ = finishLayout(
      this, grid,
      "Sets the frame (1000-octet PSDU with MAC header, PN payload and FCS), the sequence and "
      "the interferer; the impairments already set stay. Set the instrument's level to the "
      "one named: the readouts then give the level at the receiver input.");
  // Under the choice, where the vertical layout gives the wrapped text its height.
  static_cast<QVBoxLayout*>(layout())->insertWidget(1, summary_);
  connect(test, &QComboBox::currentTextChanged, this, [this] { refresh(); });
  connect(rate, &QComboBox::currentTextChanged, this, [this] { refresh(); });
  connect(frames, &QLineEdit::textChanged, this, [this] { refresh(); });
  refresh();
}

FrameJob ReceiverTestDialog::made(ReceiverTestChoice& choice, ReceiverTest& test) const {
  FrameJob job = base_;
  choice.name = child<QComboBox>(this, "test")->currentText().toStdString();
  const RateEntry* r = rateByMbps(child<QComboBox>(this, "rate")->currentText().toDouble() /
                                  clockFactor(job.frame.spacing));
  if (r == nullptr) dot11a::raise("Choose one of the data rates.");
  job.frame.modulation = r->modulation;
  job.frame.coding = r->coding;
  const QString frames = child<QLineEdit>(this, "frames")->text().trimmed();
  choice.frames.reset();
  if (!frames.isEmpty()) {
    bool ok = false;
    const qulonglong n = frames.toULongLong(&ok);
    if (!ok || n < 1 || n > kMaxSequenceFrames)
      dot11a::raise("The frame count must be a whole number from 1 to " +
                    std::to_string(kMaxSequenceFrames) + ", or empty, not \"" +
                    frames.toStdString() + "\".");
    choice.frames = static_cast<std::size_t>(n);
  }
  ReceiverTestRequest request;
  request.name = choice.name;
  request.frames = choice.frames;
  request.testOption = "The receiver test";
  request.rateOption = "the data rate";
  request.interfererOption = "the interferer (Signal > Impairments)";
  test = applyReceiverTest(job, request);
  return job;
}

void ReceiverTestDialog::refresh() {
  ReceiverTestChoice c;
  ReceiverTest t;
  try {
    const FrameJob job = made(c, t);
    summary_->setText(QString::fromStdString(receiverTestText(job, t)));
    showProblem(message_, "");
  } catch (const std::exception& e) {
    summary_->setText("");
    showProblem(message_, e.what());
  }
}

QString ReceiverTestDialog::summary() const {
  return summary_->text();
}

QString ReceiverTestDialog::problem() const {
  return message_->isVisible() ? message_->text() : QString();
}

void ReceiverTestDialog::accept() {
  ReceiverTestChoice c;
  ReceiverTest t;
  try {
    job_ = made(c, t);
  } catch (const std::exception& e) {
    showProblem(message_, e.what());
    return;
  }
  choice_ = c;
  showProblem(message_, "");
  QDialog::accept();
}

}  // namespace dot11a::gui
