// The window's views as pictures (see window_pictures.hpp).
#include "dot11a/window_pictures.hpp"

#include <QString>
#include <QWidget>
#include <filesystem>

#include "dot11a/capture.hpp"
#include "dot11a/error.hpp"
#include "gui/graphics/graphics.hpp"
#include "gui/plots/plot_frame.hpp"
#include "gui/plots/spectrum_view.hpp"

namespace dot11a {

std::string saveAveragedSpectrumPicture(const std::string& capture, const std::string& png) {
  const Capture cap = readCapture(capture);
  const double rate = cap.sampleRate.value_or(20e6);
  const plots::AveragedSpectrum s = plots::averagedSpectrum(cap.samples, rate, {}, 100e3);
  if (s.levelDbr.empty()) raise(capture + " has no power to show the spectrum of.");
  const gfx::Handle fig = plotframe::averagedSpectrumWindow(
      gfx::Handle(), std::filesystem::path(capture).filename().string(), s);
  QWidget* window = gfx::widgetOf(fig)->window();
  const bool saved = window->grab().save(QString::fromStdString(png), "PNG");
  gfx::deleteFigure(fig);
  if (!saved) raise("The picture " + png + " could not be written.");
  char line[160];
  if (!s.maskChecked) return "Mask not checked: the span ends within 9 MHz";
  std::snprintf(line, sizeof line, "Mask %s: worst margin %.2f dB at %+.2f MHz",
                s.pass ? "PASS" : "FAIL", s.worstMarginDb, s.worstFrequencyHz / 1e6);
  return line;
}

}  // namespace dot11a
