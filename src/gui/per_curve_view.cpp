// Analysis > PER Curve (see per_curve_view.hpp).
#include "gui/per_curve_view.hpp"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSaveFile>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <map>
#include <memory>
#include <mutex>

#include "dot11a/dialogs.hpp"
#include "dot11a/error.hpp"
#include "dot11a/num2str.hpp"
#include "dot11a/per_options.hpp"
#include "gui/feedback.hpp"
#include "gui/instrument_task.hpp"
#include "gui/plots/plot_frame.hpp"
#include "gui/shell.hpp"

namespace dot11a::gui {

namespace {

constexpr double kRates[] = {6, 9, 12, 18, 24, 36, 48, 54};

std::string format(const char* f, double a) {
  char buf[64];
  std::snprintf(buf, sizeof buf, f, a);
  return buf;
}

// A field's number; an error naming the field when it holds none.
double numberIn(const QLineEdit* edit, const char* name) {
  bool ok = false;
  const double v = edit->text().trimmed().toDouble(&ok);
  if (!ok)
    raise(std::string(name) + " must be a number, not \"" + edit->text().toStdString() + "\".");
  return v;
}

// Writes `text` whole or not at all (a failed write leaves the old file).
void writeWhole(const std::string& name, const std::string& text) {
  QSaveFile out(QString::fromStdString(name));
  const QByteArray bytes = QByteArray::fromStdString(text);
  if (!out.open(QIODevice::WriteOnly) || out.write(bytes) != bytes.size() || !out.commit())
    raise("The file " + name + " could not be written: " + out.errorString().toStdString());
}

// Asks for a file name and writes what `make` gives there (or the picture).
void exportTo(const char* title, const char* pattern, const char* filter,
              const std::string& suggestion, const std::function<void(const std::string&)>& write) {
  const auto file = dialogs().saveFile(title, {{pattern, filter}}, suggestion);
  if (!file || file->empty()) return;
  try {
    write(*file);
  } catch (const std::exception& e) {
    dialogs().error(title, e.what());
  }
}

// Distinct colours of the rates' curves, in the order of the table.
const std::vector<double>& colourOf(std::size_t i) {
  static const std::vector<std::vector<double>> kColours = {
      {0.00, 0.45, 0.74}, {0.85, 0.33, 0.10}, {0.47, 0.67, 0.19}, {0.49, 0.18, 0.56},
      {0.93, 0.69, 0.13}, {0.30, 0.75, 0.93}, {0.64, 0.08, 0.18}, {0.25, 0.25, 0.25}};
  return kColours[i % kColours.size()];
}

}  // namespace

PerCurveRequest perCurveRequestFor(const FrameJob& job) {
  PerCurveRequest r;
  r.psduOctets = job.frame.totalLength();
  r.oversampling = job.frame.oversampling;
  if (job.frame.spacing != ChannelSpacing::MHz20)
    r.channelSpacingMHz = baseSampleRateOf(job.frame.spacing) / 1e6;
  return r;
}

per::Sweep perSweepOf(const PerCurveRequest& r) {
  cli::PerOptions o;
  // The request names the rates' 20 MHz table entries; the sweep takes them
  // at the frames' spacing (27 Mbit/s for the 54 entry at 10 MHz).
  const double factor = r.channelSpacingMHz.value_or(20) / 20;
  o.rates.emplace();
  for (const double rate : r.rates) o.rates->push_back(rate * factor);
  o.snr = per::snrList(r.snr, "SNR");
  o.frames = r.frames;
  o.stopAfterErrors = r.stopAfterErrors;
  o.psduOctets = r.psduOctets;
  o.oversampling = r.oversampling;
  o.ideal = r.ideal;
  o.seed = r.seed;
  o.job.channelSpacingMHz = r.channelSpacingMHz;
  if (!cli::isAwgn(r.channel))
    o.job.impairments.channel = channelOf(r.channel, OptionSpelling::Keyword);
  return cli::sweepOf(o, OptionSpelling::Keyword);
}

// ---- the dialog --------------------------------------------------------------------

PerCurveDialog::PerCurveDialog(const PerCurveRequest& start, QWidget* parent)
    : QDialog(parent), start_(start), result_(start) {
  setWindowTitle("PER Curve");
  setObjectName("PerCurveDialog");
  auto* grid = new QGridLayout;
  int row = 0;
  auto line = [&](const char* name, const char* label, const QString& value, const char* unit,
                  const char* tip) {
    auto* l = new QLabel(label, this);
    auto* edit = new QLineEdit(value, this);
    edit->setObjectName(name);
    edit->setToolTip(tip);
    l->setBuddy(edit);
    grid->addWidget(l, row, 0);
    grid->addWidget(edit, row, 1);
    grid->addWidget(new QLabel(unit, this), row, 2);
    ++row;
    return edit;
  };
  snr_ = line("snr", "&SNR", QString::fromStdString(start.snr), "dB",
              "FROM:TO:STEP (TO included), a comma list or one value, in the occupied band");
  frames_ = line("frames", "&Frames a point", QString::number(start.frames), "",
                 "Frames counted at each rate and SNR");
  stop_ = line("stopAfterErrors", "S&top after", QString::number(start.stopAfterErrors), "errors",
               "A point ends at its Nth lost frame; 0 counts every frame");
  channel_ = line("channel", "C&hannel", QString::fromStdString(start.channel), "",
                  "awgn (white noise alone) or exp:RMS_NS[,rician:K_DB] (multipath, a new draw "
                  "each frame)");
  auto* rateLabel = new QLabel("&Rates (Mbit/s)", this);
  auto* rateRow = new QHBoxLayout;
  for (const double rate : kRates) {
    // Named at the frames' spacing.
    auto* box =
        new QCheckBox(QString::number(rate * start.channelSpacingMHz.value_or(20) / 20), this);
    box->setObjectName(QString("rate%1").arg(rate));
    box->setChecked(std::find(start.rates.begin(), start.rates.end(), rate) != start.rates.end());
    rateRow->addWidget(box);
    rates_.push_back(box);
  }
  rateLabel->setBuddy(rates_.front());
  grid->addWidget(rateLabel, row, 0);
  grid->addLayout(rateRow, row, 1, 1, 2);
  ++row;
  auto* receiverLabel = new QLabel("Recei&ver", this);
  receiver_ = new QComboBox(this);
  receiver_->setObjectName("receiver");
  receiver_->addItems({"The receiver", "The ideal receiver"});
  receiver_->setCurrentIndex(start.ideal ? 1 : 0);
  receiver_->setToolTip(
      "The ideal receiver is told each frame's start, carrier offset and channel: the "
      "reference curve");
  receiverLabel->setBuddy(receiver_);
  grid->addWidget(receiverLabel, row, 0);
  grid->addWidget(receiver_, row, 1);
  ++row;
  std::string frame =
      num2str(start.psduOctets) + "-octet PSDUs with an FCS, " +
      num2str(20 * start.oversampling * (start.channelSpacingMHz.value_or(20) / 20)) + " MHz";
  if (start.channelSpacingMHz) frame += " (" + num2str(*start.channelSpacingMHz) + " MHz spacing)";
  auto* note = new QLabel(
      QString::fromStdString("Frames: " + frame +
                             ", from the window's frame; random payloads, seed " +
                             std::to_string(start.seed) + ". The same sweep as dot11a-per."),
      this);
  note->setWordWrap(true);
  message_ = new QLabel(this);
  message_->setObjectName("message");
  message_->setWordWrap(true);
  message_->setStyleSheet("color: #b00000");
  message_->setVisible(false);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  buttons->button(QDialogButtonBox::Ok)->setObjectName("ok");
  buttons->button(QDialogButtonBox::Ok)->setText("R&un");
  buttons->button(QDialogButtonBox::Cancel)->setObjectName("cancel");
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(grid);
  layout->addWidget(note);
  layout->addWidget(message_);
  layout->addWidget(buttons);
}

QString PerCurveDialog::problem() const {
  return message_->isVisible() ? message_->text() : QString();
}

PerCurveRequest PerCurveDialog::read() const {
  PerCurveRequest r = start_;
  r.snr = snr_->text().trimmed().toStdString();
  r.frames = numberIn(frames_, "Frames a point");
  r.stopAfterErrors = numberIn(stop_, "Stop after");
  r.channel = channel_->text().trimmed().toStdString();
  r.rates.clear();
  for (std::size_t i = 0; i < rates_.size(); ++i)
    if (rates_[i]->isChecked()) r.rates.push_back(kRates[i]);
  r.ideal = receiver_->currentIndex() == 1;
  return r;
}

void PerCurveDialog::accept() {
  try {
    const PerCurveRequest r = read();
    sweep_ = perSweepOf(r);
    result_ = r;
  } catch (const std::exception& e) {
    message_->setText(QString::fromStdString(e.what()));
    message_->setVisible(true);
    return;
  }
  message_->setVisible(false);
  QDialog::accept();
}

// ---- the count ---------------------------------------------------------------------

std::optional<std::vector<per::PointResult>> countPerCurve(double figure, const per::Sweep& sweep) {
  struct Out {
    std::vector<per::PointResult> points;
    std::string error;
  };
  auto out = std::make_shared<Out>();
  const auto all = per::points(sweep);
  const bool ended = runWindowTask(figure, "PER Curve", [sweep, all, out](TaskProgress& p) {
    std::vector<bool> done(all.size(), false);
    std::size_t complete = 0;
    per::RunOptions run;
    run.poll = [&p] { return !p.cancelled(); };
    run.onPoint = [&](std::size_t i, const per::PointResult&) {
      if (i < done.size() && !done[i]) {
        done[i] = true;
        ++complete;
      }
    };
    run.onProgress = [&](std::uint64_t frames, std::uint64_t planned) {
      // The first point not yet complete is the one being counted.
      const auto now = std::find(done.begin(), done.end(), false);
      std::string text = "Points done: " + std::to_string(complete) + " of " +
                         std::to_string(all.size()) + " (" + std::to_string(frames) + " of " +
                         std::to_string(planned) + " frames)";
      if (now != done.end()) {
        const per::Point& at = all[static_cast<std::size_t>(now - done.begin())];
        text +=
            "\nNow: " + num2str(at.rateMbps) + " Mbit/s at " + format("%.2f", at.snrDb) + " dB SNR";
      }
      p.stage(text);
      if (planned > 0) p.fraction(static_cast<double>(frames) / static_cast<double>(planned));
    };
    try {
      out->points = per::run(sweep, run);
    } catch (const std::exception& e) {
      out->error = e.what();
    }
  });
  if (!ended) return std::nullopt;
  if (!out->error.empty()) raise(out->error);
  return out->points;
}

// ---- the window --------------------------------------------------------------------

gfx::Handle perCurveWindow(gfx::Handle parent, const per::Sweep& sweep,
                           const std::vector<per::PointResult>& points) {
  const Value where = plotframe::placeFrom(parent, {60, 160, 680, 540}, 0.08, 0.12, false);
  const gfx::Handle fig = plotframe::plotWindow("PER Curve", where);
  std::vector<double> box = gfx::defaultAxesPosition();
  box[1] += 0.16;  // room for the thresholds and the buttons below
  box[3] -= 0.2;
  const gfx::Handle ax = gfx::newAxes(fig, box);
  gfx::setString(ax, "Tag", "KS_PerCurve");
  gfx::setString(ax, "YScale", "log");
  gfx::setString(ax, "NextPlot", "add");

  const double lowSnr = *std::min_element(sweep.snrDb.begin(), sweep.snrDb.end());
  const double highSnr = *std::max_element(sweep.snrDb.begin(), sweep.snrDb.end());
  // The lowest PER a point of this sweep can show: one frame lost of all.
  double bottom = 1.0 / static_cast<double>(sweep.frames);
  std::string thresholds = "SNR at PER 10 % (the limit with a 10 dB noise figure):";
  double left = lowSnr, right = highSnr;
  const ChannelSpacing spacing = sweep.job.frame.spacing;
  bool anyClean = false;
  for (std::size_t i = 0; i < sweep.ratesMbps.size(); ++i) {
    const double rate = sweep.ratesMbps[i];
    const std::string name = num2str(rate) + " Mbit/s";
    std::vector<per::PointResult> curve;
    std::vector<double> x, y;
    for (const per::PointResult& r : points)
      if (r.rateMbps == rate) {
        curve.push_back(r);
        x.push_back(r.snrDb);
        // A point without a lost frame has no place on a log axis: a gap.
        const double v =
            r.frames > 0 && r.errors > 0 ? r.per() : std::numeric_limits<double>::quiet_NaN();
        y.push_back(v);
        if (v > 0) bottom = std::min(bottom, v);
      }
    // A point that lost no frame has no place on a log axis either: the first
    // one above the curve's last lost frame is marked at half a frame lost,
    // joined to the curve by a dotted line, as dot11a-per's plot marks it;
    // without it a curve would seem to end where its frames stopped failing.
    const auto lastLost = std::find_if(curve.rbegin(), curve.rend(),
                                       [](const per::PointResult& r) { return r.errors > 0; });
    const auto clean = std::find_if(curve.begin(), curve.end(), [&](const per::PointResult& r) {
      return r.frames > 0 && r.errors == 0 &&
             (lastLost == curve.rend() || r.snrDb > lastLost->snrDb);
    });
    if (clean != curve.end()) {
      const double half = 0.5 / static_cast<double>(clean->frames);
      bottom = std::min(bottom, half);
      std::vector<double> cx{clean->snrDb}, cy{half};
      if (lastLost != curve.rend()) {
        cx.insert(cx.begin(), lastLost->snrDb);
        cy.insert(cy.begin(), lastLost->per());
      }
      const gfx::Handle n = gfx::plotLine(ax, cx, cy, ":");
      gfx::set(n, "Color", Value::row(colourOf(i)));
      const gfx::Handle mark =
          gfx::plotLine(ax, std::vector<double>{clean->snrDb}, std::vector<double>{half}, "x");
      gfx::set(mark, "Color", Value::row(colourOf(i)));
      // Named in the title, not in the legend, which would cover the marks.
      anyClean = true;
      gfx::setString(mark, "Tag", "KS_PerNoneLost" + num2str(rate));
    }
    const std::optional<double> at = per::snrAt(curve);
    const std::optional<double> limit = per::sensitivitySnrDb(rate / clockFactor(spacing), spacing);
    const gfx::Handle l = gfx::plotLine(ax, x, y, "-o");
    gfx::set(l, "Color", Value::row(colourOf(i)));
    gfx::setString(l, "DisplayName", name + (at ? format(" (%.2f dB)", *at) : ""));
    gfx::setString(l, "Tag", "KS_PerCurve" + num2str(rate));
    thresholds += (i == 0 ? " " : ";  ") + name + " " +
                  (at ? format("%.2f dB", *at) : std::string("not crossed")) +
                  (limit ? format(" (limit %.1f)", *limit) : "");
    if (limit) {
      const gfx::Handle m = gfx::plotLine(ax, std::vector<double>{*limit, *limit},
                                          std::vector<double>{1e-6, 1}, "--");
      gfx::set(m, "Color", Value::row(colourOf(i)));
      gfx::setString(m, "DisplayName", name + format(" limit %.1f dB", *limit));
      gfx::setString(m, "Tag", "KS_PerLimit" + num2str(rate));
      left = std::min(left, *limit - 1);
      right = std::max(right, *limit + 1);
    }
  }
  bottom = std::pow(10, std::floor(std::log10(bottom)));
  const gfx::Handle ten =
      gfx::plotLine(ax, std::vector<double>{left, right},
                    std::vector<double>{per::kSensitivityPer, per::kSensitivityPer}, "k:");
  gfx::setString(ten, "DisplayName", "PER 10 %");
  gfx::setString(ten, "Tag", "KS_Per10");
  gfx::setString(ax, "NextPlot", "replace");
  gfx::set(ax, "XLim", Value::row({left, right}));
  gfx::set(ax, "YLim", Value::row({bottom, 1}));
  gfx::setString(ax, "XLabel", "SNR in the occupied band (dB)");
  gfx::setString(ax, "YLabel", "Packet error rate");
  bool complete = std::all_of(points.begin(), points.end(),
                              [](const per::PointResult& r) { return r.complete; });
  gfx::setString(ax, "Title",
                 std::string(sweep.ideal ? "Ideal receiver, " : "Receiver, ") +
                     (sweep.job.impairments.channel ? "multipath, " : "AWGN, ") +
                     std::to_string(sweep.frames) + " frames a point" +
                     (anyClean ? "; x: no frame lost" : "") + (complete ? "" : " (incomplete)"));
  gfx::setString(ax, "XGrid", "on");
  gfx::setString(ax, "YGrid", "on");
  gfx::setString(ax, "Legend", "on");
  // Curves fall from upper left to lower right: the lower left is the
  // clearest corner; the legend's see-through face shows what lies under it.
  gfx::setString(ax, "LegendLocation", "southwest");

  QWidget* host = gfx::widgetOf(fig);
  const Value size = gfx::get(fig, "Position");
  const int width = static_cast<int>(size.real(2)), height = static_cast<int>(size.real(3));
  auto* text = new QLabel(QString::fromStdString(thresholds), host);
  gfx::setString(gfx::handleOf(text), "Tag", "KS_PerThresholds");
  text->setWordWrap(true);
  text->setGeometry(10, height - 76, width - 20, 40);
  // The files dot11a-per writes for the same sweep, and the picture.
  auto kept = std::make_shared<std::pair<per::Sweep, std::vector<per::PointResult>>>(sweep, points);
  int x = 10;
  auto button = [&](const char* label, const char* tag, std::function<void()> act) {
    auto* b = new QPushButton(label, host);
    b->setGeometry(x, height - 32, 120, 26);
    x += 128;
    gfx::setString(gfx::handleOf(b), "Tag", tag);
    QObject::connect(b, &QPushButton::clicked, host, std::move(act));
  };
  button("Export &CSV...", "KS_PerExportCsv", [kept] {
    exportTo("Export PER Curve (CSV)", "*.csv", "CSV table (*.csv)", "per.csv",
             [kept](const std::string& f) { writeWhole(f, per::resultCsv(kept->second)); });
  });
  button("Export &JSON...", "KS_PerExportJson", [kept] {
    exportTo("Export PER Curve (JSON)", "*.json", "JSON (*.json)", "per.json",
             [kept](const std::string& f) {
               writeWhole(f, per::resultJson(kept->first, kept->second));
             });
  });
  button("Save &PNG...", "KS_PerSavePng", [fig] {
    exportTo("Save PER Curve", "*.png", "PNG picture (*.png)", "per.png",
             [fig](const std::string& f) { gfx::savePicture(fig, f); });
  });
  gfx::setString(fig, "Visible", "on");
  return fig;
}

// ---- the menu command --------------------------------------------------------------

namespace {

// What the sweep's frame was taken from: a curve counted while it changed
// describes another frame than the window's and is dropped.
struct FrameKey {
  double psdu, oversampling;
  std::optional<double> spacing;
  bool operator==(const FrameKey&) const = default;
};
FrameKey frameKey() {
  const PerCurveRequest r = perCurveRequestFor(shell::windowJob(false));
  return {r.psduOctets, r.oversampling, r.channelSpacingMHz};
}

void menuAnalysisPerCurve_Callback(Call& c) {
  const Value& h = c.in(2, "handles");
  const double parent = shell::mainWindow(h);
  if (shell::busy(parent)) return;
  PerCurveRequest start;
  try {
    start = perCurveRequestFor(shell::windowJob(false));
  } catch (const std::exception& e) {
    return tellUser(parent, std::string("PER Curve: ") + e.what());
  }
  static PerCurveRequest last;  // the sweep the user chose last time, with this frame
  start.snr = last.snr;
  start.frames = last.frames;
  start.stopAfterErrors = last.stopAfterErrors;
  start.rates = last.rates;
  start.channel = last.channel;
  start.ideal = last.ideal;
  PerCurveDialog dialog(start, gfx::widgetOf(parent));
  if (dialog.exec() != QDialog::Accepted) return;
  last = dialog.request();
  const FrameKey before = frameKey();
  std::optional<std::vector<per::PointResult>> points;
  try {
    points = countPerCurve(parent, dialog.sweep());
  } catch (const std::exception& e) {
    dialogs().error("PER Curve", std::string("The PER curve could not be counted\n") + e.what());
    return;
  }
  if (parent != 0 && !gfx::isHandle(parent)) return;
  if (!points) return tellUser(parent, "PER Curve cancelled.", false, false);
  if (!(frameKey() == before))
    return tellUser(parent,
                    "The frame changed while the PER curve was counted: that curve was dropped.",
                    false, false);
  const gfx::Handle fig = perCurveWindow(gfx::Handle(parent), dialog.sweep(), *points);
  shell::keepClientWindow(fig.toValue());
  tellUser(parent, "PER Curve: " + std::to_string(points->size()) + " points counted.", false,
           false);
}

[[maybe_unused]] const bool kPerCommands = shell::addCommands({
    gfx::callback("menuAnalysisPerCurve_Callback", menuAnalysisPerCurve_Callback),
});

}  // namespace

}  // namespace dot11a::gui
