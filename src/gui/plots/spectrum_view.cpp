// The averaged spectrum's numbers and its window.
#include "gui/plots/spectrum_view.hpp"

#include <QLabel>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

#include "dot11a/call.hpp"
#include "dot11a/error.hpp"
#include "dot11a/receiver.hpp"
#include "gui/graphics/graphics.hpp"
#include "gui/plots/plot_data.hpp"
#include "gui/plots/plot_frame.hpp"

namespace dot11a::plots {

namespace {

constexpr double kChannelHalfWidthHz = 10e6;  // the 20 MHz channel
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
                                  const Ranges& bursts, double rbwHz) {
  AveragedSpectrum a;
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
    if (std::abs(a.frequencyMHz[i]) <= kChannelHalfWidthHz) inChannel += sum[i];
  }
  // The receiver's own margin on the receiver's own scale (dBr to the peak).
  rx::Spectrum combined;
  combined.frequencyHz = a.frequencyMHz;
  combined.dBr.resize(sum.size());
  for (std::size_t i = 0; i < sum.size(); ++i)
    combined.dBr[i] = 10 * std::log10(std::max(sum[i] / top, 1e-30));
  const rx::MaskMargin m = rx::spectrumMaskMargin(combined);
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
    if (std::abs(c) < edge) a.maskMHz.push_back(c / 1e6);
  a.maskMHz.push_back(edge / 1e6);
  for (double f : a.maskMHz) a.maskDbr.push_back(rx::spectrumMaskDbr(f * 1e6));
  const double lowest = *std::min_element(a.levelDbr.begin(), a.levelDbr.end());
  a.bottom = std::max(10 * std::floor(lowest / 10), -100.0);
  a.top = 10;
  return a;
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

// KS_PlotAveragedSpectrum(hParent, label, sampleRate, iqWave, markers, rbwHz):
// the markers' second row gates the average to the bursts; without markers
// the whole waveform is averaged.
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
  const plots::AveragedSpectrum s = plots::averagedSpectrum(wave, rate, bursts, rbw);
  if (s.levelDbr.empty()) raise("The waveform has no power to show the spectrum of.");
  c.out(0) = plotframe::averagedSpectrumWindow(parent, label, s).toValue();
}

const bool kRegistered = [] {
  registerBuiltin(
      {"KS_PlotAveragedSpectrum", 6, 1, 1, "KS_PlotAveragedSpectrum", plotAveragedSpectrum});
  return true;
}();

}  // namespace

namespace plotframe {

gfx::Handle averagedSpectrumWindow(gfx::Handle parent, const std::string& label,
                                   const plots::AveragedSpectrum& s) {
  const Value where = placeFrom(parent, {50, 480, 560, 420}, 0.1, 0.18, false);
  const gfx::Handle fig = plotWindow("Averaged Spectrum " + label, where);
  std::vector<double> box = gfx::defaultAxesPosition();
  box[1] += 0.14;  // room for the readouts below
  box[3] -= 0.14;
  const gfx::Handle ax = gfx::newAxes(fig, box);
  const gfx::Handle psd = gfx::plotLine(ax, s.frequencyMHz, s.levelDbr, "b-");
  gfx::setString(psd, "Tag", "KS_SpectrumPSD");
  gfx::setString(ax, "NextPlot", "add");
  const gfx::Handle mask = gfx::plotLine(ax, s.maskMHz, s.maskDbr, "r-");
  gfx::setString(mask, "Tag", "KS_SpectrumMask");
  gfx::setString(ax, "NextPlot", "replace");
  gfx::setString(ax, "Tag", "KS_AveragedSpectrum");
  gfx::setString(ax, "XLabel", "Frequency (MHz)");
  gfx::setString(ax, "YLabel", "PSD (dBr)");
  // The title holds one short line; the numbers go under the plot.
  const std::string title = format("RBW %.0f kHz, ", s.rbwHz / 1e3) +
                            (s.gated ? "bursts only, " : "whole waveform, ") +
                            (!s.maskChecked ? "mask not checked"
                             : s.pass       ? "mask PASS"
                                            : "mask FAIL");
  std::string margin = "Mask not checked: the span ends within 9 MHz";
  if (s.maskChecked) {
    char buf[160];
    std::snprintf(buf, sizeof buf, "Mask %s: worst margin %.2f dB at %+.2f MHz",
                  s.pass ? "PASS" : "FAIL", s.worstMarginDb, s.worstFrequencyHz / 1e6);
    margin = buf;
  }
  gfx::setString(ax, "Title", title);
  gfx::set(ax, "XLim", Value::row({-s.spanMHz, s.spanMHz}));
  gfx::set(ax, "YLim", Value::row({s.bottom, s.top}));
  gfx::setString(ax, "XGrid", "on");
  gfx::setString(ax, "YGrid", "on");

  // The readouts, a line of text under the plot.
  auto* text = new QLabel(gfx::widgetOf(fig));
  const gfx::Handle readout = gfx::handleOf(text);
  gfx::setString(readout, "Tag", "KS_SpectrumReadout");
  std::string lines = margin + "\n" +
                      format("Channel power (20 MHz): %.2f dB    ", s.channelPowerDb) +
                      format("Occupied bandwidth (99 %%): %.2f MHz", s.occupiedHz / 1e6);
  if (s.levels.valid)
    lines +=
        "\n" + format("At the set level %.0f dBm: ", s.setLevelDbm) + plots::levelsText(s.levels);
  gfx::setString(readout, "String", lines);
  const Value size = gfx::get(fig, "Position");
  text->setGeometry(10, static_cast<int>(size.real(3)) - 62, static_cast<int>(size.real(2)) - 20,
                    58);
  gfx::setString(fig, "Visible", "on");
  return fig;
}

}  // namespace plotframe

}  // namespace dot11a
