// The measurement views of the calculated frame, read back through the
// graphics layer: the numbers each one draws and writes.
#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QPixmap>
#include <QPushButton>
#include <QTableWidget>
#include <QWidget>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <complex>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <numbers>
#include <random>
#include <set>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

#include "common/test_folder.hpp"
#include "dot11a/capture.hpp"
#include "dot11a/mac.hpp"
#include "dot11a/receiver.hpp"
#include "dot11a/verify_report.hpp"
#include "gui/plots/spectrum_view.hpp"
#include "gui_fixture.hpp"
#include "screenshots.hpp"

namespace dot11a::test {
namespace {

class MeasurementViews : public MainWindowTest {
 protected:
  void TearDown() override {
    for (double f : opened)
      if (gfx::isHandle(f)) gfx::deleteFigure(f);
    MainWindowTest::TearDown();
  }
  gfx::Handle open(const char* op, std::initializer_list<Value> in) {
    const Value f = feval1(op, in);
    if (f.isEmpty()) return gfx::Handle();
    opened.push_back(f.toScalar());
    return f.toScalar();
  }
  // The line of the window's only axes with the tag.
  static gfx::Handle line(gfx::Handle fig, const std::string& tag) {
    for (double l : gfx::get(gfx::figureAxes(fig).at(0), "Children").toDoubles())
      if (gfx::getString(l, "Tag") == tag) return l;
    ADD_FAILURE() << "no line " << tag;
    return gfx::Handle();
  }
  static gfx::Handle tagged(gfx::Handle fig, const std::string& tag) {
    const Value h = gfx::guihandles(fig);
    EXPECT_TRUE(h.hasField(tag)) << tag;
    return h.hasField(tag) ? h.field(tag).toScalar() : 0.0;
  }
  // Until the Demodulate window has its frames (or said there are none).
  static void waitForFrames(gfx::Handle f) {
    for (int i = 0; i < 3000; ++i) {
      if (gfx::getString(tagged(f, "KS_DemodStatus"), "String") != "Demodulating...") {
        QCoreApplication::processEvents();  // the plots' queued redraws
        return;
      }
      QCoreApplication::processEvents();
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }
  std::vector<double> opened;
};

// A complex tone of `hz` at 20 MHz.
std::vector<std::complex<double>> tone(double hz, std::size_t n, double amplitude = 1) {
  std::vector<std::complex<double>> x(n);
  for (std::size_t i = 0; i < n; ++i)
    x[i] = std::polar(amplitude, 2 * std::numbers::pi * hz * double(i) / 20e6);
  return x;
}

Value markersFor(std::size_t n, std::size_t burstEnd) {
  std::vector<double> m(2 * n, 0);
  m[0] = 1;
  for (std::size_t i = 0; i < burstEnd; ++i) m[2 * i + 1] = 1;
  return Value::matrix(2, n, m);
}

TEST_F(MeasurementViews, AveragedSpectrumOfTheDefaultAndALongFrame) {
  const double rate = sigGen("SamplingRate");
  const auto view = [&](const char* label) {
    gfx::runCallback(h("pbCalculate"));
    return open("KS_PlotAveragedSpectrum",
                {fig, Value(label), rate, global("waveform"), global("markers"), 100e3});
  };
  const gfx::Handle f = view("default");
  ASSERT_TRUE(f != 0);
  // The margin written on the plot is the receiver's.
  const rx::Result r = rx::receive(global("waveform").toComplex(), {.sampleRate = rate});
  ASSERT_FALSE(r.frames.empty());
  ASSERT_TRUE(r.frames[0].maskMeasured);
  const std::string title = gfx::getString(tagged(f, "KS_AveragedSpectrum"), "Title");
  EXPECT_EQ(title, std::string("RBW 100 kHz, bursts only, mask ") +
                       (r.frames[0].maskPass ? "PASS" : "FAIL"));
  const std::string readout = gfx::getString(tagged(f, "KS_SpectrumReadout"), "String");
  const auto at = readout.find("worst margin ");
  ASSERT_NE(at, std::string::npos) << readout;
  EXPECT_NEAR(std::stod(readout.substr(at + 13)), r.frames[0].maskWorstMarginDb, 0.2) << readout;
  // 52 sub-carriers of 312.5 kHz hold 99 % of the power.
  const auto obw = readout.find("(99 %): ");
  ASSERT_NE(obw, std::string::npos) << readout;
  EXPECT_NEAR(std::stod(readout.substr(obw + 8)), 16.6, 0.5) << readout;

  // Flat across the sub-carriers within +-8 MHz once the frame is long enough
  // for the average to settle. At 100 kHz the trace resolves the ripple of
  // 4 us symbols on a 312.5 kHz grid (about 3 dB between sub-carriers), so each
  // sub-carrier's level is the peak of the trace around it.
  choose("pdDataRate", 1);
  type("txtDataLength", "4095");
  const gfx::Handle longFrame = view("4095 octets");
  ASSERT_TRUE(longFrame != 0);
  const gfx::Handle psd = line(longFrame, "KS_SpectrumPSD");
  const std::vector<double> x = gfx::get(psd, "XData").toDoubles();
  const std::vector<double> y = gfx::get(psd, "YData").toDoubles();
  double lo = 1e9, hi = -1e9;
  for (int k = -25; k <= 25; ++k) {
    if (k == 0) continue;
    double level = -1e9;
    for (std::size_t i = 0; i < x.size(); ++i)
      if (std::abs(x[i] - 0.3125 * k) < 0.16) level = std::max(level, y[i]);
    lo = std::min(lo, level);
    hi = std::max(hi, level);
  }
  EXPECT_LT(hi - lo, 1.0);
}

// A tone at +3 MHz peaks at +3 MHz; a strong tone elsewhere outside the
// burst is left out of the average.
TEST_F(MeasurementViews, AveragedSpectrumPlacesAToneAndGatesToTheBurst) {
  const std::size_t n = 40000, burst = 20000;
  std::vector<std::complex<double>> x = tone(3e6, n);
  const std::vector<std::complex<double>> idle = tone(-5e6, n, 10);
  std::copy(idle.begin() + burst, idle.end(), x.begin() + burst);
  const Value wave = Value::row(std::span<const std::complex<double>>(x));
  for (const bool gated : {false, true}) {
    const gfx::Handle f = open(
        "KS_PlotAveragedSpectrum",
        {fig, Value("tone"), 20e6, wave, gated ? markersFor(n, burst) : Value::empty(), 100e3});
    ASSERT_TRUE(f != 0);
    const gfx::Handle psd = line(f, "KS_SpectrumPSD");
    const std::vector<double> xs = gfx::get(psd, "XData").toDoubles();
    const std::vector<double> ys = gfx::get(psd, "YData").toDoubles();
    const auto peak = std::max_element(ys.begin(), ys.end()) - ys.begin();
    EXPECT_NEAR(xs[static_cast<std::size_t>(peak)], gated ? 3 : -5, 0.07) << gated;
    if (!gated) continue;
    // The marker sits on the trace point nearest to it, the delta marker is
    // read against it; another resolution computes the trace again.
    auto* marker = qobject_cast<QDoubleSpinBox*>(gfx::objectOf(tagged(f, "KS_SpectrumMarker")));
    auto* delta = qobject_cast<QDoubleSpinBox*>(gfx::objectOf(tagged(f, "KS_SpectrumDelta")));
    ASSERT_TRUE(marker != nullptr && delta != nullptr);
    marker->setValue(3.01);
    delta->setValue(-8.0);
    plots::AveragedSpectrum shown;
    shown.frequencyMHz = xs;
    shown.levelDbr = ys;
    const plots::MarkerReading atTone = plots::markerAt(shown, 3.01);
    EXPECT_NEAR(atTone.mhz, 3, 0.07);
    EXPECT_EQ(gfx::get(line(f, "KS_SpectrumMarkers"), "XData").toDoubles().front(), atTone.mhz);
    const std::string readout = gfx::getString(tagged(f, "KS_SpectrumMarkerReadout"), "String");
    EXPECT_EQ(readout.rfind("M1 +3.0", 0), 0u) << readout;
    EXPECT_NE(readout.find("M2 (delta) -8.0"), std::string::npos) << readout;
    auto* rbw = qobject_cast<QComboBox*>(gfx::objectOf(tagged(f, "KS_SpectrumRBW")));
    ASSERT_NE(rbw, nullptr);
    rbw->setCurrentIndex(rbw->findData(300e3));
    EXPECT_EQ(gfx::getString(tagged(f, "KS_AveragedSpectrum"), "Title").rfind("RBW 300 kHz", 0),
              0u);
    EXPECT_LT(gfx::get(psd, "XData").numel(), xs.size());
  }
}

// The CCDF over the bursts does not change with the idle time; over the
// whole waveform it does, and the window's choice says which one is shown.
TEST_F(MeasurementViews, GatedCcdfLeavesTheIdleTimeOut) {
  std::vector<std::vector<double>> curves, papr;
  for (const char* idle : {"0", "1000"}) {
    type("txtIdleInterval", idle);
    gfx::runCallback(h("pbCalculate"));
    const gfx::Handle f =
        open("KS_PlotGatedCCDF", {fig, Value(idle), global("waveform"), global("markers")});
    ASSERT_TRUE(f != 0);
    const gfx::Handle ax = tagged(f, "KS_GatedCCDF");
    EXPECT_EQ(gfx::getString(ax, "Title"), "CCDF, bursts only (idle time left out)");
    curves.push_back(gfx::get(line(f, "KS_GatedCCDFCurve"), "YData").toDoubles());
    auto* table = qobject_cast<QTableWidget*>(gfx::objectOf(tagged(f, "KS_PAPRTable")));
    ASSERT_NE(table, nullptr);
    std::vector<double> column;
    for (int r = 0; r < table->rowCount(); ++r)
      column.push_back(table->item(r, 1)->text().toDouble());
    papr.push_back(column);
    if (std::string(idle) == "1000") {
      // Whole waveform: 1000 us of zeros pull the average down and the
      // levels up by several dB.
      auto* gate = qobject_cast<QCheckBox*>(gfx::objectOf(tagged(f, "KS_CCDFGate")));
      ASSERT_NE(gate, nullptr);
      gate->click();
      EXPECT_EQ(gfx::getString(ax, "Title"), "CCDF, whole waveform");
      EXPECT_GT(table->item(3, 1)->text().toDouble(), papr[0][3] + 3);
    }
  }
  ASSERT_EQ(papr[0].size(), 4u);
  for (std::size_t i = 0; i < 4; ++i) EXPECT_NEAR(papr[0][i], papr[1][i], 0.1) << i;
  EXPECT_GT(papr[0][3], papr[0][0]);
  // The curve drawn is the gated one: the same for both idle times.
  ASSERT_EQ(curves[0].size(), curves[1].size());
  for (std::size_t i = 0; i < curves[0].size(); ++i)
    if (curves[0][i] > 0.01) {
      EXPECT_NEAR(std::log10(curves[1][i] / curves[0][i]), 0, 0.05) << i;
    }
}

// Over the whole waveform of a short burst and long silence, a share of the
// samples that never reaches the average power has no level on the curve:
// the table says so instead of printing the level of a silent sample.
TEST_F(MeasurementViews, CcdfTableSaysWhereALevelIsNotReached) {
  const std::size_t n = 5000, burst = 50;  // 1 % of the samples carry power
  std::vector<std::complex<double>> x = tone(1e6, n);
  std::fill(x.begin() + burst, x.end(), std::complex<double>());
  const gfx::Handle f =
      open("KS_PlotGatedCCDF",
           {fig, Value("burst"), Value::row(std::span<const std::complex<double>>(x)),
            markersFor(n, burst)});
  ASSERT_TRUE(f != 0);
  auto* table = qobject_cast<QTableWidget*>(gfx::objectOf(tagged(f, "KS_PAPRTable")));
  auto* gate = qobject_cast<QCheckBox*>(gfx::objectOf(tagged(f, "KS_CCDFGate")));
  ASSERT_TRUE(table != nullptr && gate != nullptr);
  EXPECT_EQ(table->item(0, 1)->text(), "0.00");  // bursts only: a tone's constant power
  gate->click();
  EXPECT_EQ(table->item(0, 1)->text(), "below 0 dB");  // 10 %: silence
  EXPECT_EQ(table->item(1, 1)->text(), "20.00");       // 1 %: the burst, 20 dB over the mean
}

// The number of the table's column with this heading.
int column(QTableWidget* table, const char* heading) {
  for (int c = 0; c < table->columnCount(); ++c)
    if (table->horizontalHeaderItem(c)->text() == heading) return c;
  ADD_FAILURE() << "no column " << heading;
  return 0;
}

// The points of a line as complex numbers.
std::vector<std::complex<double>> pointsOf(gfx::Handle line) {
  const std::vector<double> x = gfx::get(line, "XData").toDoubles(),
                            y = gfx::get(line, "YData").toDoubles();
  std::vector<std::complex<double>> z;
  for (std::size_t i = 0; i < x.size() && i < y.size(); ++i) z.emplace_back(x[i], y[i]);
  return z;
}

// A 10 MHz frame: the rate at its spacing in the table and the reference
// points of its own modulation (12 Mbit/s at 10 MHz is 16-QAM, the 24 Mbit/s
// entry of a 20 MHz channel).
TEST_F(MeasurementViews, DemodulateShowsANarrowFrameAtItsSpacing) {
  choose("pdChannelSpacing", 2);
  choose("pdDataRate", 5);
  gfx::runCallback(h("pbCalculate"));
  const gfx::Handle f =
      open("KS_Demodulate", {fig, Value("10 MHz"), sigGen("SamplingRate"), global("waveform")});
  ASSERT_TRUE(f != 0);
  auto* table = qobject_cast<QTableWidget*>(gfx::objectOf(tagged(f, "KS_DemodFrames")));
  ASSERT_NE(table, nullptr);
  waitForFrames(f);
  ASSERT_EQ(table->rowCount(), 1);
  EXPECT_EQ(table->item(0, column(table, "Rate (Mbit/s)"))->text().toStdString(), "12");
  std::size_t reference = 0;
  for (double l : gfx::get(tagged(f, "KS_DemodConstellation"), "Children").toDoubles())
    if (gfx::getString(l, "Tag") == "KS_DemodReference") reference = pointsOf(l).size();
  EXPECT_EQ(reference, 16u);
}

// A clean 16-QAM frame with a MAC header, demodulated off the GUI thread: the
// receiver's EVM in the table, the equalised points on the constellation's
// reference points, the header fields read from the PSDU, and the exports.
TEST_F(MeasurementViews, DemodulateShowsTheFramesAndTheMacHeader) {
  choose("pdDataRate", 5);  // 24 Mbit/s, 16-QAM
  choose("chkMACheader", 1);
  Value mac = params().field("MACheader").field("Contents");
  setMacField(mac, "FrameCntrl", 0x0208);  // data frame, from DS
  setMacField(mac, "DurationID", 0x002c);
  setMacField(mac, "Address1", 0x554433221100);
  setMacField(mac, "Address2", 0xabcdef012345);
  setMacField(mac, "SeqCntrl", 0x1230);  // sequence number 0x123
  Value record = params().field("MACheader");
  record.setField("Contents", mac);
  params().setField("MACheader", record);
  gfx::runCallback(h("pbCalculate"));
  const gfx::Handle f =
      open("KS_Demodulate", {fig, Value("16-QAM"), sigGen("SamplingRate"), global("waveform")});
  ASSERT_TRUE(f != 0);
  auto* table = qobject_cast<QTableWidget*>(gfx::objectOf(tagged(f, "KS_DemodFrames")));
  ASSERT_NE(table, nullptr);
  waitForFrames(f);
  ASSERT_EQ(table->rowCount(), 1);
  EXPECT_EQ(table->item(0, column(table, "Rate (Mbit/s)"))->text().toStdString(), "24");
  EXPECT_LT(table->item(0, column(table, "EVM (dB)"))->text().toDouble(), -60);
  EXPECT_EQ(table->item(0, column(table, "Leakage (dB)"))->text().toStdString(), "<-99");
  EXPECT_EQ(table->item(0, column(table, "Verdict"))->text().toStdString(), "PASS");

  // Every data point on its nearest reference point, 48 a symbol; the
  // pilots at +-1.
  std::map<std::string, std::vector<std::complex<double>>> lines;
  for (double l : gfx::get(tagged(f, "KS_DemodConstellation"), "Children").toDoubles())
    lines[gfx::getString(l, "Tag")] = pointsOf(l);
  const auto& data = lines["KS_DemodDataPoints"];
  ASSERT_EQ(lines["KS_DemodReference"].size(), 16u);
  ASSERT_FALSE(data.empty());
  EXPECT_EQ(data.size() % 48, 0u);
  double error = 0;
  for (const auto& z : data) {
    double nearest = 1e9;
    for (const auto& r : lines["KS_DemodReference"]) nearest = std::min(nearest, std::norm(z - r));
    error += nearest;
  }
  EXPECT_LT(10 * std::log10(error / double(data.size())), -60);
  EXPECT_EQ(lines["KS_DemodPilotPoints"].size(), data.size() / 12);
  for (const auto& p : lines["KS_DemodPilotPoints"])
    EXPECT_NEAR(std::abs(p - std::copysign(1.0, p.real())), 0, 1e-3);
  // The table as CSV and the report as JSON, to the files the user names.
  const std::filesystem::path dir = freshTestFolder("demodulate");
  script->answer((dir / "frames.csv").string());
  auto* button = qobject_cast<QPushButton*>(gfx::objectOf(tagged(f, "KS_DemodExportCsv")));
  ASSERT_NE(button, nullptr);
  button->click();
  std::ifstream csv(dir / "frames.csv");
  std::string header, row, more;
  std::getline(csv, header);
  std::getline(csv, row);
  EXPECT_EQ(header.rfind("Start,Rate (Mbit/s),LENGTH,EVM (dB),", 0), 0u) << header;
  EXPECT_EQ(row.substr(row.rfind(',') + 1), "PASS") << row;
  EXPECT_FALSE(std::getline(csv, more));
  script->answer((dir / "report").string());  // the extension is added
  qobject_cast<QPushButton*>(gfx::objectOf(tagged(f, "KS_DemodExportJson")))->click();
  std::ifstream in(dir / "report.json");
  ASSERT_TRUE(in.good());
  const nlohmann::json j = nlohmann::json::parse(in);
  EXPECT_EQ(j["pass"], true);
  ASSERT_EQ(j["frames"].size(), 1u);
  EXPECT_EQ(j["frames"][0]["psdu"].size(), j["frames"][0]["signal"]["length"].get<std::size_t>());
  std::filesystem::remove_all(dir);

  const std::string text = gfx::getString(tagged(f, "KS_DemodPayload"), "String");
  for (const char* want :
       {"Frame control 0x0208: type 2, subtype 0", "Duration 44", "Address 1 00:11:22:33:44:55",
        "Address 2 45:23:01:ef:cd:ab", "Sequence number 291, fragment 0"})
    EXPECT_NE(text.find(want), std::string::npos) << want << "\n" << text;
  EXPECT_LT(text.find("MAC header"), text.find("PSDU, "));  // read before the dump
}

// The group delay the window draws for the default frame sent straight and
// through a second path at half the amplitude, 200 ns late: none, and the
// two-path channel's own, H(f) = 1 + a exp(-j 2 pi f tau) giving
// a tau (a + cos 2 pi f tau) / (1 + a^2 + 2 a cos 2 pi f tau), up to a
// constant (the receiver's timing may take up part of the delay).
TEST_F(MeasurementViews, DemodulateGroupDelayOfAStraightAndATwoPathChannel) {
  gfx::runCallback(h("pbCalculate"));
  const double rate = sigGen("SamplingRate"), a = 0.5, tau = 200e-9;
  const std::vector<std::complex<double>> x = global("waveform").toComplex();
  const auto lag = static_cast<std::size_t>(std::lround(tau * rate));
  std::vector<std::complex<double>> y(x.size() + lag);
  for (std::size_t i = 0; i < x.size(); ++i) {
    y[i] += x[i];
    y[i + lag] += a * x[i];
  }
  for (const bool twoPaths : {false, true}) {
    const gfx::Handle f = open(
        "KS_Demodulate", {fig, Value("delay"), rate,
                          Value::row(std::span<const std::complex<double>>(twoPaths ? y : x))});
    waitForFrames(f);
    const std::vector<double> delay =
        gfx::get(gfx::get(tagged(f, "KS_DemodGroupDelay"), "Children").toDoubles().at(0), "YData")
            .toDoubles();
    ASSERT_EQ(delay.size(), 53u);
    EXPECT_TRUE(std::isnan(delay[26]));
    std::vector<double> want(53, 0.0);
    double offset = 0;
    for (int k = -26; k <= 26; ++k) {
      const double c = std::cos(2 * std::numbers::pi * k * 312.5e3 * tau);
      if (twoPaths) want[std::size_t(k + 26)] = a * tau * 1e9 * (a + c) / (1 + a * a + 2 * a * c);
      if (k != 0) offset += (delay[std::size_t(k + 26)] - want[std::size_t(k + 26)]) / 52;
    }
    if (!twoPaths) {
      EXPECT_NEAR(offset, 0, 2) << "ns";
    }
    double worst = 0;
    // The edges have a neighbour on one side only, which tells the delay
    // half a sub-carrier in; the notch's sharp dip is rounded off a little.
    for (std::size_t k = 1; k < 52; ++k)
      if (k != 26) worst = std::max(worst, std::abs(delay[k] - want[k] - offset));
    EXPECT_LT(worst, twoPaths ? 30 : 2) << "ns, " << (twoPaths ? "two paths" : "straight");
  }
}

// The channel estimate the measurements take is one of the receiver's
// options: the window measures a noisy frame with each as dot11a-verify does
// (the default the standard's), and refuses a name it does not know.
TEST_F(MeasurementViews, DemodulateMeasuresWithTheChannelEstimateAsked) {
  gfx::runCallback(h("pbCalculate"));
  const double rate = sigGen("SamplingRate");
  std::vector<std::complex<double>> x = global("waveform").toComplex();
  std::mt19937 rng(3);
  std::normal_distribution<double> g(0.0, 0.002);
  for (auto& v : x) v += std::complex<double>(g(rng), g(rng));
  const Value wave = Value::row(std::span<const std::complex<double>>(x));
  std::set<std::string> evms;
  for (const char* name : {"", "preamble", "smoothed", "data-aided"}) {
    const Value settings =
        *name ? Value::record({{"channelEstimate", Value(name)}}) : Value::record();
    const gfx::Handle f = open("KS_Demodulate", {fig, Value("estimate"), rate, wave, settings});
    waitForFrames(f);
    auto* table = qobject_cast<QTableWidget*>(gfx::objectOf(tagged(f, "KS_DemodFrames")));
    ASSERT_NE(table, nullptr);
    ASSERT_EQ(table->rowCount(), 1);
    rx::Options tool;
    tool.sampleRate = rate;
    if (*name) tool.channelEstimate = *rx::channelEstimateNamed(name);
    const rx::Result r = rx::receive(x, tool);
    ASSERT_EQ(r.frames.size(), 1u);
    char want[32];
    std::snprintf(want, sizeof want, "%.2f", r.frames[0].evmDb);
    const std::string shown = table->item(0, column(table, "EVM (dB)"))->text().toStdString();
    EXPECT_EQ(shown, want) << name;
    evms.insert(shown);
  }
  EXPECT_EQ(evms.size(), 3u);  // the default is the preamble's; the others differ
  EXPECT_THROW(open("KS_Demodulate", {fig, Value("estimate"), rate, wave,
                                      Value::record({{"channelEstimate", Value("ls")}})}),
               std::exception);
}

// A long waveform: rows arrive while the receiver still works, and Cancel
// stops it at the next frame.
TEST_F(MeasurementViews, DemodulateFillsTheTableAsItGoesAndCancels) {
  gfx::runCallback(h("pbCalculate"));
  const std::vector<std::complex<double>> one = global("waveform").toComplex();
  std::vector<std::complex<double>> many;
  for (int i = 0; i < 1000; ++i) many.insert(many.end(), one.begin(), one.end());
  const gfx::Handle f =
      open("KS_Demodulate", {fig, Value("many"), sigGen("SamplingRate"),
                             Value::row(std::span<const std::complex<double>>(many))});
  ASSERT_TRUE(f != 0);
  auto* table = qobject_cast<QTableWidget*>(gfx::objectOf(tagged(f, "KS_DemodFrames")));
  const gfx::Handle status = tagged(f, "KS_DemodStatus");
  for (int i = 0; i < 3000 && table->rowCount() == 0; ++i) {
    QCoreApplication::processEvents();
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  ASSERT_GT(table->rowCount(), 0);
  EXPECT_EQ(gfx::getString(status, "String"), "Demodulating...");
  qobject_cast<QPushButton*>(gfx::objectOf(tagged(f, "KS_DemodCancel")))->click();
  waitForFrames(f);
  EXPECT_LT(table->rowCount(), 1000);
  EXPECT_NE(gfx::getString(status, "String").find("Cancelled"), std::string::npos)
      << gfx::getString(status, "String");
}

// A window deleted while its receiver still reports: its handles are gone
// before its widget, and the reports that arrive meanwhile are dropped, never
// drawn on axes that no longer exist.
TEST_F(MeasurementViews, DemodulateDeletedWhileReceivingDropsTheLateFrames) {
  gfx::runCallback(h("pbCalculate"));
  const std::vector<std::complex<double>> one = global("waveform").toComplex();
  std::vector<std::complex<double>> many;
  for (int i = 0; i < 200; ++i) many.insert(many.end(), one.begin(), one.end());
  const gfx::Handle f =
      open("KS_Demodulate", {fig, Value("late"), sigGen("SamplingRate"),
                             Value::row(std::span<const std::complex<double>>(many))});
  ASSERT_TRUE(f != 0);
  // Deleted before the first report is served: the first frame would select
  // its row and draw it.
  gfx::deleteFigure(f);
  EXPECT_NO_THROW({
    for (int i = 0; i < 300; ++i) {
      QCoreApplication::processEvents();
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  });
  EXPECT_FALSE(gfx::isHandle(f));
  // Deleted with its first frame selected and drawn: the table going with
  // the window clears its selection, which must not draw into the window.
  const gfx::Handle g =
      open("KS_Demodulate", {fig, Value("one"), sigGen("SamplingRate"), global("waveform")});
  ASSERT_TRUE(g != 0);
  waitForFrames(g);
  gfx::deleteFigure(g);
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  QCoreApplication::processEvents();
  EXPECT_FALSE(gfx::isHandle(g));
}

// The views from the menus: Analysis opens them on the calculated frame, and
// File > Open Capture demodulates a capture file the user picks. Demodulate
// judges the calculated frame with what it was made with, as dot11a-gen
// --verify does (its DAC pre-compensation: flat after the DAC's droop; no
// clock offset named), and a capture file as dot11a-verify reads it.
TEST_F(MeasurementViews, MenusOpenTheViewsAndACapture) {
  choose("pdOversampleRate", 1);  // 20 MHz: the droop is steepest
  gfx::runCallback(h("pbCalculate"));
  const auto newest = [] {
    const std::vector<double> w = global("appInfo").field("ClientWindows").toDoubles();
    return w.empty() ? gfx::Handle() : gfx::Handle(w.back());
  };
  for (const auto& [tag, name] : {std::pair{"menuAnalysisAveragedSpectrum", "Averaged Spectrum"},
                                  std::pair{"menuAnalysisGatedCCDF", "Gated CCDF"},
                                  std::pair{"menuAnalysisDemodulate", "Demodulate"}}) {
    gfx::runCallback(h(tag));
    ASSERT_TRUE(script->shown.empty()) << tag << ": " << script->shown.at(0).text;
    opened.push_back(newest());
    EXPECT_EQ(gfx::getString(newest(), "Name").rfind(name, 0), 0u) << tag;
  }
  waitForFrames(newest());
  auto* table = qobject_cast<QTableWidget*>(gfx::objectOf(tagged(newest(), "KS_DemodFrames")));
  ASSERT_NE(table, nullptr);
  ASSERT_EQ(table->rowCount(), 1);
  EXPECT_EQ(table->item(0, column(table, "Flatness margin (dB)"))->text().toStdString(), "2.00");
  EXPECT_EQ(table->item(0, column(table, "Clock (ppm)"))->text().toStdString(), "-");
  EXPECT_EQ(table->item(0, column(table, "Verdict"))->text().toStdString(), "PASS");
  EXPECT_EQ(gfx::getString(tagged(newest(), "KS_DemodStatus"), "String")
                .rfind("1 frames found, 1 decoded", 0),
            0u);
  // The waveform at 20 MHz as 32-bit float pairs, a format without a
  // stated rate or pre-compensation: judged as dot11a-verify judges the file.
  const std::filesystem::path dir = freshTestFolder("open-capture");
  const std::vector<std::complex<double>> x = global("waveform").toComplex();
  std::vector<float> raw;
  for (std::size_t i = 0; i < x.size(); ++i)
    raw.insert(raw.end(), {float(x[i].real()), float(x[i].imag())});
  std::ofstream(dir / "frame.cf32", std::ios::binary)
      .write(reinterpret_cast<const char*>(raw.data()),
             std::streamsize(raw.size() * sizeof(float)));
  script->answer((dir / "frame.cf32").string());
  gfx::runCallback(h("menuFileOpenCapture"));
  ASSERT_TRUE(script->shown.size() == 1 && script->shown[0].kind == "open");
  const gfx::Handle d = newest();
  opened.push_back(d);
  EXPECT_EQ(gfx::getString(d, "Name"), "Demodulate frame.cf32 (20 MHz assumed)");
  waitForFrames(d);
  auto* fromFile = qobject_cast<QTableWidget*>(gfx::objectOf(tagged(d, "KS_DemodFrames")));
  ASSERT_NE(fromFile, nullptr);
  ASSERT_EQ(fromFile->rowCount(), 1);
  rx::Options tool;  // dot11a-verify frame.cf32
  const rx::Result r = rx::receive(x, tool);
  ASSERT_EQ(r.frames.size(), 1u);
  EXPECT_EQ(fromFile->item(0, column(fromFile, "Verdict"))->text().toStdString(),
            rx::frameResultText(r.frames[0]));
  EXPECT_EQ(fromFile->item(0, column(fromFile, "FCS"))->text().toStdString(),
            r.frames[0].fcs == rx::FcsState::Good ? "good" : "none");
  std::filesystem::remove_all(dir);
}

// Pictures of the views for the default frame, a long 6 Mbit/s one and a
// 54 Mbit/s one when DOT11A_SCREENSHOT_DIR is set (scripts/screenshots.sh).
TEST_F(MeasurementViews, Screenshots) {
  const std::string dirText = screenshotFolder();
  const char* dir = dirText.c_str();
  std::filesystem::create_directories(dir);
  const double rate = sigGen("SamplingRate");
  for (const char* name : {"default", "6mbps", "54mbps"}) {
    if (std::string(name) == "6mbps") {
      choose("pdDataRate", 1);
      type("txtDataLength", "1000");
    }
    if (std::string(name) == "54mbps") choose("pdDataRate", 8);
    gfx::runCallback(h("pbCalculate"));
    const Value wave = global("waveform"), markers = global("markers");
    const gfx::Handle s =
        open("KS_PlotAveragedSpectrum", {fig, Value(name), rate, wave, markers, 100e3});
    const gfx::Handle c = open("KS_PlotGatedCCDF", {fig, Value(name), wave, markers});
    // As Analysis > Demodulate opens it: the frame is pre-compensated.
    const gfx::Handle d =
        open("KS_Demodulate",
             {fig, Value(name), rate, wave, Value::record({{"dacDroop", Value::logical(true)}})});
    ASSERT_TRUE(s != 0 && c != 0 && d != 0);
    waitForFrames(d);
    // The whole window: its readouts and table are widgets beside the plot.
    gfx::widgetOf(s)->grab().save(
        QString::fromStdString(std::string(dir) + "/view-spectrum-" + name + ".png"));
    gfx::widgetOf(c)->grab().save(
        QString::fromStdString(std::string(dir) + "/view-ccdf-" + name + ".png"));
    gfx::widgetOf(d)->grab().save(
        QString::fromStdString(std::string(dir) + "/view-demodulate-" + name + ".png"));
  }
  // A capture of an access point, named by DOT11A_SCREENSHOT_CAPTURE.
  const char* capture = std::getenv("DOT11A_SCREENSHOT_CAPTURE");
  if (!capture) return;
  const Capture cap = readCapture(capture);
  const gfx::Handle d =
      open("KS_Demodulate", {fig, Value("capture"), cap.sampleRate.value_or(20e6),
                             Value::row(std::span<const std::complex<double>>(cap.samples))});
  ASSERT_TRUE(d != 0);
  waitForFrames(d);
  gfx::widgetOf(d)->grab().save(
      QString::fromStdString(std::string(dir) + "/view-demodulate-capture.png"));
}

}  // namespace
}  // namespace dot11a::test
