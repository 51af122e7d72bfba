// The frame every analysis plot window shares: reading the plot operations'
// inputs, placing the window against its parent, and the plot menus (File,
// Edit, Tools with the zoom and rotate toggles). Defined in plot_windows.cpp.
#pragma once

#include <functional>
#include <span>
#include <string>
#include <vector>

#include "dot11a/call.hpp"
#include "dot11a/value.hpp"
#include "gui/graphics/graphics.hpp"
#include "gui/plots/plot_data.hpp"
#include "gui/plots/spectrum_view.hpp"

namespace dot11a::plotframe {

// The samples of a waveform input; absent or empty gives no samples.
std::vector<cplx> samplesOf(const Value& v);
// Input i as a number or a text, or `fallback` when it was not supplied.
double numberOr(const Call& c, std::size_t i, const char* name, double fallback);
std::string textOr(const Call& c, std::size_t i, const char* name, const std::string& fallback);

// The window's position from its parent: `none` when the parent is the screen
// (pixels), otherwise the parent's position scaled by 0.8 and moved by
// (dx, dy) times the parent's (scaleFirst false) or the new (scaleFirst true)
// width and height.
Value placeFrom(gfx::Handle parent, const std::vector<double>& none, double dx, double dy,
                bool scaleFirst);

// Adds the File, Edit and Tools menus of every plot window.
void addPlotMenus(gfx::Handle fig);

// A hidden plot window with no standard menu bar (unless `menuBar`), no number
// in its title, the given name and position, and the plot menus.
gfx::Handle plotWindow(const std::string& name, const Value& position, bool menuBar = false);

// The plot box moved as the plot windows do: left x 1.2, bottom x 1.4,
// height / 1.1.
std::vector<double> movedAxesPosition();

// The views in two steps for callers that hold the samples typed (the
// shell's menus): the computation, which may run off the GUI thread, and the
// window drawn from its result on the GUI thread.
// The magnitude spectrum (KS_PlotSpectrum).
plots::Spectrum spectrumOf(std::vector<cplx>&& samples, double sampleRate);
gfx::Handle spectrumWindow(gfx::Handle parent, const std::string& label, const plots::Spectrum& s);
// The CCDF (KS_PlotCCDF).
gfx::Handle ccdfWindow(gfx::Handle parent, const std::string& label, const plots::Ccdf& d);
// The averaged spectrum with the mask (KS_PlotAveragedSpectrum), its
// resolution chosen in the window (30 kHz to 1 MHz) when `recompute` computes
// the trace at another one, and a marker and a delta marker with readouts.
gfx::Handle averagedSpectrumWindow(
    gfx::Handle parent, const std::string& label, const plots::AveragedSpectrum& s,
    std::function<plots::AveragedSpectrum(double rbwHz)> recompute = nullptr);
// The gated CCDF (KS_PlotGatedCCDF): both gates computed at once, so the
// window's "Bursts only" switch only redraws.
struct GatedCcdf {
  plots::Ccdf whole, bursts;
  std::vector<double> paprWhole, paprBursts;
  bool hasBursts = false;
};
GatedCcdf gatedCcdfOf(std::span<const cplx> samples, const plots::Ranges& bursts);
gfx::Handle gatedCcdfWindow(gfx::Handle parent, const std::string& label, const GatedCcdf& g);
}  // namespace dot11a::plotframe
