// The averaged spectrum's numbers and its window.
#include "gui/plots/spectrum_view.hpp"

#include <QComboBox>
#include <QDoubleSpinBox>
#include <QLabel>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>

#include "dot11a/call.hpp"
#include "dot11a/error.hpp"
#include "dot11a/receiver.hpp"
#include "gui/graphics/graphics.hpp"
#include "gui/plots/plot_data.hpp"
#include "gui/plots/plot_frame.hpp"

namespace dot11a::plots {

namespace {

constexpr double kOccupiedShare = 0.99;

// The frequency below which `share` of the power lies, interpolated within
// the bin (each bin spans its centre +- half a bin).
double cumulativeFrequency(const std::vector<double>& f, const std::vector<double>& p, double total,
                           double share) {
  const double df = f.size() > 1 ? f[1] - f[0] : 0;
  double sum = 0;
  for (std::size_t i = 0; i < p.size(); ++i) {
    if (sum + p[i] >= share * total) {
      const double within = p[i] > 0 ? (share * total - sum) / p[i] : 0;
      return f[i] - df / 2 + within * df;
    }
    sum += p[i];
  }
  return f.empty() ? 0 : f.back() + df / 2;
}

}  // namespace

AveragedSpectrum averagedSpectrum(std::span<const std::complex<double>> samples, double rate,
                                  const Ranges& bursts, double rbwHz, ChannelSpacing spacing) {
  AveragedSpectrum a;
  a.spacing = spacing;
  const double scale = clockFactor(spacing);
  const double channelHalfWidthHz = baseSampleRateOf(spacing) / 2;
  if (!(rate > 0) || !std::isfinite(rate)) raise("The sample rate must be above 0 Hz.");
  a.spanMHz = rate / 2e6;
  a.gated = !bursts.empty();
  const Ranges whole = {{0, samples.size()}};
  std::vector<double> sum;  // energy density, linear
  double energy = 0;
  std::size_t count = 0;
  for (auto [first, end] : a.gated ? bursts : whole) {
    end = std::min(end, samples.size());
    if (first >= end) continue;
    const auto burst = samples.subspan(first, end - first);
    double e = 0;
    for (const auto& v : burst) e += std::norm(v);
    const rx::Spectrum s = rx::powerSpectrum(burst, rate, {.rbwHz = rbwHz, .everySegment = true});
    ++a.bursts;
    if (s.dBr.empty() || !(e > 0)) continue;
    if (sum.empty()) {
      sum.assign(s.dBr.size(), 0);
      a.frequencyMHz = s.frequencyHz;
      a.rbwHz = s.rbwHz;
    }
    // The burst's shape scaled to its energy.
    std::vector<double> lin(s.dBr.size());
    double shape = 0;
    for (std::size_t i = 0; i < lin.size(); ++i) shape += lin[i] = std::pow(10, s.dBr[i] / 10);
    for (std::size_t i = 0; i < lin.size(); ++i) sum[i] += lin[i] * e / shape;
    energy += e;
    count += burst.size();
  }
  if (sum.empty()) return a;
  const double top = *std::max_element(sum.begin(), sum.end());
  double total = 0, inChannel = 0;
  for (std::size_t i = 0; i < sum.size(); ++i) {
    total += sum[i];
    if (std::abs(a.frequencyMHz[i]) <= channelHalfWidthHz) inChannel += sum[i];
  }
  // The receiver's own margin on the receiver's own scale (dBr to the peak).
  rx::Spectrum combined;
  combined.frequencyHz = a.frequencyMHz;
  combined.dBr.resize(sum.size());
  for (std::size_t i = 0; i < sum.size(); ++i)
    combined.dBr[i] = 10 * std::log10(std::max(sum[i] / top, 1e-30));
  const rx::MaskMargin m = rx::spectrumMaskMargin(combined, spacing);
  a.maskChecked = m.checked;
  a.worstMarginDb = m.worstDb;
  a.worstFrequencyHz = m.frequencyHz;
  a.pass = !m.checked || m.worstDb >= 0;
  a.channelPowerDb = 10 * std::log10(energy / static_cast<double>(count) * inChannel / total);
  const double share = (1 - kOccupiedShare) / 2;
  a.occupiedHz = cumulativeFrequency(a.frequencyMHz, sum, total, 1 - share) -
                 cumulativeFrequency(a.frequencyMHz, sum, total, share);
  a.levelDbr = std::move(combined.dBr);
  for (double& f : a.frequencyMHz) f /= 1e6;
  // The mask's corners, and its ends at the edges of the span.
  const double edge = rate / 2;
  const double corners[] = {-30e6, -20e6, -11e6, -9e6, 9e6, 11e6, 20e6, 30e6};
  a.maskMHz.push_back(-edge / 1e6);
  for (double c : corners)
    if (std::abs(c * scale) < edge) a.maskMHz.push_back(c * scale / 1e6);
  a.maskMHz.push_back(edge / 1e6);
  for (double f : a.maskMHz) a.maskDbr.push_back(rx::spectrumMaskDbr(f * 1e6, spacing));
  const double lowest = *std::min_element(a.levelDbr.begin(), a.levelDbr.end());
  a.bottom = std::max(10 * std::floor(lowest / 10), -100.0);
  a.top = 10;
  return a;
}

MarkerReading markerAt(const AveragedSpectrum& s, double mhz) {
  const std::size_t n = std::min(s.frequencyMHz.size(), s.levelDbr.size());
  if (n == 0) return {};
  const auto it = std::lower_bound(s.frequencyMHz.begin(), s.frequencyMHz.begin() + n, mhz);
  std::size_t k = static_cast<std::size_t>(it - s.frequencyMHz.begin());
  if (k == n || (k > 0 && mhz - s.frequencyMHz[k - 1] < s.frequencyMHz[k] - mhz)) --k;
  return {s.frequencyMHz[k], s.levelDbr[k]};
}

std::string markerText(const AveragedSpectrum& s, double m1, double delta) {
  const MarkerReading a = markerAt(s, m1), b = markerAt(s, m1 + delta);
  char buf[160];
  std::snprintf(buf, sizeof buf, "M1 %+.3f MHz %.2f dBr   M2 (delta) %+.3f MHz %+.2f dB", a.mhz,
                a.dbr, b.mhz - a.mhz, b.dbr - a.dbr);
  return buf;
}

}  // namespace dot11a::plots

namespace dot11a {

namespace plotframe {

plots::Ranges burstsOf(const Call& c, std::size_t i, std::size_t n) {
  if (!c.has(i) || c.in(i, "markers").isEmpty()) return {};
  const Value& m = c.in(i, "markers");
  if (!m.isNumeric() || m.rows() != 2 || m.cols() != n)
    raise("The markers must be two rows as long as the waveform.");
  std::vector<double> row(n);
  for (std::size_t k = 0; k < n; ++k) row[k] = m.real(2 * k + 1);
  plots::Ranges r = plots::burstRanges(row, n);
  if (r.empty()) raise("The markers show no burst.");
  return r;
}

}  // namespace plotframe

namespace {

using gfx::Handle;
using namespace plotframe;

std::string format(const char* f, double a, double b = 0) {
  char buf[160];
  std::snprintf(buf, sizeof buf, f, a, b);
  return buf;
}

// KS_PlotAveragedSpectrum(hParent, label, sampleRate, iqWave, markers, rbwHz,
// channelSpacing): the markers' second row gates the average to the bursts;
// without markers the whole waveform is averaged. The channel spacing (Hz:
// 20e6, 10e6 or 5e6; 20e6 when absent) chooses the mask.
void plotAveragedSpectrum(Call& c) {
  c.outputNames({"fHandle"});
  const Handle parent =
      c.has(0) ? gfx::handleFrom(c.in(0, "hParent"), "KS_PlotAveragedSpectrum") : Handle();
  const std::string label = textOr(c, 1, "label", "");
  const double rate = numberOr(c, 2, "sampleRate", 20e6);
  const std::vector<cplx> wave = samplesOf(c.inOr(3, Value::empty()));
  if (wave.empty()) raise("There is no waveform to show the spectrum of.");
  const plots::Ranges bursts = burstsOf(c, 4, wave.size());
  const double rbw = numberOr(c, 5, "rbwHz", 100e3);
  ChannelSpacing spacing = ChannelSpacing::MHz20;
  if (!channelSpacingOfMHz(numberOr(c, 6, "channelSpacing", 20e6) / 1e6, spacing))
    raise("KS_PlotAveragedSpectrum: the channel spacing must be 20e6, 10e6 or 5e6 Hz.");
  const plots::AveragedSpectrum s = plots::averagedSpectrum(wave, rate, bursts, rbw, spacing);
  if (s.levelDbr.empty()) raise("The waveform has no power to show the spectrum of.");
  auto kept = std::make_shared<const std::vector<cplx>>(wave);
  c.out(0) =
      plotframe::averagedSpectrumWindow(parent, label, s, [kept, rate, bursts, spacing](double hz) {
        return plots::averagedSpectrum(*kept, rate, bursts, hz, spacing);
      }).toValue();
}

const bool kRegistered = [] {
  registerBuiltin(
      {"KS_PlotAveragedSpectrum", 7, 1, 1, "KS_PlotAveragedSpectrum", plotAveragedSpectrum});
  return true;
}();

}  // namespace

namespace plotframe {

namespace {

// The averaged spectrum window's parts that a new resolution or a moved marker
// redraws.
struct SpectrumWindow {
  plots::AveragedSpectrum s;
  std::function<plots::AveragedSpectrum(double rbwHz)> recompute;
  gfx::Handle fig, ax, psd, mask, markers;
  QLabel *text = nullptr, *markerReadout = nullptr;
  QDoubleSpinBox *m1 = nullptr, *delta = nullptr;
};

void drawSpectrum(SpectrumWindow& w) {
  const plots::AveragedSpectrum& s = w.s;
  gfx::set(w.psd, "XData", Value::row(s.frequencyMHz));
  gfx::set(w.psd, "YData", Value::row(s.levelDbr));
  gfx::set(w.mask, "XData", Value::row(s.maskMHz));
  gfx::set(w.mask, "YData", Value::row(s.maskDbr));
  // The title holds one short line; the numbers go under the plot.
  const std::string title = (s.rbwHz >= 999.5e3 ? format("RBW %.3g MHz, ", s.rbwHz / 1e6)
                                                : format("RBW %.0f kHz, ", s.rbwHz / 1e3)) +
                            (s.gated ? "bursts only, " : "whole waveform, ") +
                            (!s.maskChecked ? "mask not checked"
                             : s.pass       ? "mask PASS"
                                            : "mask FAIL");
  std::string margin =
      format("Mask not checked: the span ends within %g MHz", 9 * clockFactor(s.spacing));
  if (s.maskChecked) {
    char buf[160];
    std::snprintf(buf, sizeof buf, "Mask %s: worst margin %.2f dB at %+.2f MHz",
                  s.pass ? "PASS" : "FAIL", s.worstMarginDb, s.worstFrequencyHz / 1e6);
    margin = buf;
  }
  gfx::setString(w.ax, "Title", title);
  gfx::set(w.ax, "XLim", Value::row({-s.spanMHz, s.spanMHz}));
  gfx::set(w.ax, "YLim", Value::row({s.bottom, s.top}));
  std::string lines =
      margin + "\n" +
      format("Channel power (%d MHz): %.2f dB    ", spacingMHz(s.spacing), s.channelPowerDb) +
      format("Occupied bandwidth (99 %%): %.2f MHz", s.occupiedHz / 1e6);
  if (s.levels.valid)
    lines +=
        "\n" + format("At the set level %.0f dBm: ", s.setLevelDbm) + plots::levelsText(s.levels);
  gfx::setString(gfx::handleOf(w.text), "String", lines);
}

void drawMarkers(SpectrumWindow& w) {
  const double m1 = w.m1->value(), delta = w.delta->value();
  const plots::MarkerReading a = plots::markerAt(w.s, m1), b = plots::markerAt(w.s, m1 + delta);
  gfx::set(w.markers, "XData", Value::row({a.mhz, b.mhz}));
  gfx::set(w.markers, "YData", Value::row({a.dbr, b.dbr}));
  w.markerReadout->setText(QString::fromStdString(plots::markerText(w.s, m1, delta)));
}

}  // namespace

gfx::Handle averagedSpectrumWindow(gfx::Handle parent, const std::string& label,
                                   const plots::AveragedSpectrum& s,
                                   std::function<plots::AveragedSpectrum(double rbwHz)> recompute) {
  const Value where = placeFrom(parent, {50, 480, 620, 460}, 0.1, 0.18, false);
  auto w = std::make_shared<SpectrumWindow>();
  w->s = s;
  w->recompute = std::move(recompute);
  w->fig = plotWindow("Averaged Spectrum " + label, where);
  std::vector<double> box = gfx::defaultAxesPosition();
  box[1] += 0.14;  // room for the readouts below
  box[3] -= 0.27;  // and for the resolution and markers above
  w->ax = gfx::newAxes(w->fig, box);
  w->psd = gfx::plotLine(w->ax, s.frequencyMHz, s.levelDbr, "b-");
  gfx::setString(w->psd, "Tag", "KS_SpectrumPSD");
  gfx::setString(w->psd, "DisplayName", "PSD");
  gfx::setString(w->ax, "NextPlot", "add");
  w->mask = gfx::plotLine(w->ax, s.maskMHz, s.maskDbr, "r-");
  gfx::setString(w->mask, "Tag", "KS_SpectrumMask");
  gfx::setString(w->mask, "DisplayName", "Mask");
  w->markers = gfx::plotLine(w->ax, std::vector<double>{0, 0}, std::vector<double>{0, 0}, "ko");
  gfx::setString(w->markers, "Tag", "KS_SpectrumMarkers");
  gfx::setString(w->markers, "DisplayName", "Markers");
  gfx::setString(w->ax, "NextPlot", "replace");
  gfx::setString(w->ax, "Tag", "KS_AveragedSpectrum");
  gfx::setString(w->ax, "XLabel", "Frequency (MHz)");
  gfx::setString(w->ax, "YLabel", "PSD (dBr)");
  gfx::setString(w->ax, "XGrid", "on");
  gfx::setString(w->ax, "YGrid", "on");

  QWidget* host = gfx::widgetOf(w->fig);
  const Value size = gfx::get(w->fig, "Position");
  const int width = static_cast<int>(size.real(2)), height = static_cast<int>(size.real(3));
  const auto tag = [](QObject* o, const char* name) {
    gfx::setString(gfx::handleOf(o), "Tag", name);
  };
  // The resolution bandwidth, when the window can compute the trace again.
  auto* rbwLabel = new QLabel(QStringLiteral("&RBW:"), host);
  rbwLabel->setGeometry(10, 28, 40, 24);
  auto* rbw = new QComboBox(host);
  tag(rbw, "KS_SpectrumRBW");
  for (double hz : {30e3, 100e3, 300e3, 1e6})
    rbw->addItem(hz < 1e6 ? QString("%1 kHz").arg(hz / 1e3) : QStringLiteral("1 MHz"), hz);
  rbw->setCurrentIndex(std::max(0, rbw->findData(std::round(s.rbwHz / 1e4) * 1e4)));
  rbw->setEnabled(static_cast<bool>(w->recompute));
  rbw->setGeometry(50, 28, 90, 24);
  rbwLabel->setBuddy(rbw);
  auto* m1Label = new QLabel(QStringLiteral("&Marker:"), host);
  m1Label->setGeometry(150, 28, 55, 24);
  w->m1 = new QDoubleSpinBox(host);
  tag(w->m1, "KS_SpectrumMarker");
  w->m1->setRange(-s.spanMHz, s.spanMHz);
  w->m1->setDecimals(3);
  w->m1->setSingleStep(0.3125);  // one sub-carrier
  w->m1->setSuffix(QStringLiteral(" MHz"));
  w->m1->setGeometry(205, 28, 110, 24);
  // At the peak, so the delta marker reads against the reference of the mask.
  if (!s.levelDbr.empty())
    w->m1->setValue(s.frequencyMHz[static_cast<std::size_t>(
        std::max_element(s.levelDbr.begin(), s.levelDbr.end()) - s.levelDbr.begin())]);
  m1Label->setBuddy(w->m1);
  auto* deltaLabel = new QLabel(QStringLiteral("&Delta:"), host);
  deltaLabel->setGeometry(325, 28, 45, 24);
  w->delta = new QDoubleSpinBox(host);
  tag(w->delta, "KS_SpectrumDelta");
  w->delta->setRange(-2 * s.spanMHz, 2 * s.spanMHz);
  w->delta->setDecimals(3);
  w->delta->setSingleStep(0.3125);
  w->delta->setSuffix(QStringLiteral(" MHz"));
  w->delta->setValue(std::min(11.0, s.spanMHz));  // the mask's first corner
  w->delta->setGeometry(370, 28, 110, 24);
  deltaLabel->setBuddy(w->delta);
  w->markerReadout = new QLabel(host);
  tag(w->markerReadout, "KS_SpectrumMarkerReadout");
  w->markerReadout->setGeometry(10, 54, width - 20, 20);

  // The readouts, lines of text under the plot.
  w->text = new QLabel(host);
  tag(w->text, "KS_SpectrumReadout");
  w->text->setGeometry(10, height - 62, width - 20, 58);
  drawSpectrum(*w);
  drawMarkers(*w);
  QObject::connect(w->m1, &QDoubleSpinBox::valueChanged, host, [w](double) { drawMarkers(*w); });
  QObject::connect(w->delta, &QDoubleSpinBox::valueChanged, host, [w](double) { drawMarkers(*w); });
  QObject::connect(rbw, &QComboBox::currentIndexChanged, host, [w, rbw](int) {
    if (!w->recompute) return;
    try {
      const plots::Levels levels = w->s.levels;
      const double setLevel = w->s.setLevelDbm;
      w->s = w->recompute(rbw->currentData().toDouble());
      w->s.levels = levels;
      w->s.setLevelDbm = setLevel;
    } catch (const std::exception&) {
      return;  // the window stays with the trace it has (a closed window, Cancel)
    }
    drawSpectrum(*w);
    drawMarkers(*w);
  });
  gfx::setString(w->fig, "Visible", "on");
  return w->fig;
}

}  // namespace plotframe

}  // namespace dot11a
