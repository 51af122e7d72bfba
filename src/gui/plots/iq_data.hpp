// The numbers behind the time-domain plots: I(t) and Q(t) on a time axis, the
// traces of an eye diagram and the points of a scatter diagram, as typed
// functions the plot windows draw and tests check.
#pragma once

#include <complex>
#include <span>
#include <vector>

#include "gui/plots/plot_data.hpp"

namespace dot11a::plots {

struct IqTime {
  std::vector<double> t, i, q;  // t in `units`, from 0 to tMax
  Units units;
  double tMax = 0;
  double amplitude = 1;  // both axes run from -amplitude to +amplitude
  bool placeholder = false;
};
// I and Q of the samples against time; a rate of 0 or below counts as 1 Hz; an
// empty waveform gives the placeholder (a cosine and a sine over 100 points).
// The amplitude is the largest finite |I| or |Q|, or 1 when there is none (an
// all-zero waveform), so the vertical range is never empty.
IqTime iqTime(std::span<const cplx> samples, double rate);

// The columns a plotter draws from its input: a row or a column is one column,
// a matrix gives its columns, and a complex input gives the real parts of its
// columns followed by their imaginary parts.
using Columns = std::vector<std::vector<double>>;
Columns plotColumns(std::size_t rows, std::size_t cols, std::span<const double> re,
                    std::span<const double> im);

struct EyeDiagram {
  std::vector<double> t;  // trace time of each drawn point; NaN at the breaks
  Columns y;              // the drawn values of each column, NaN at the breaks
  double tMin = 0, tMax = 0;
  double yLimit = 1;  // both axes run from -yLimit to +yLimit
};
// The traces of n samples each, `period` seconds long, the sample after
// `offset` at time 0. Each trace after the first starts with a copy of the
// previous trace's last sample one step earlier, after a NaN break, so the
// line joins across the trace boundary. Raises the plotter's errors for empty
// data, a period <= 0, n not a whole number above 1 and an offset outside
// 0 .. n-1.
EyeDiagram eyeDiagram(const Columns& x, double n, double period, double offset);

struct ScatterPoints {
  std::vector<double> i, q;  // q is 0 for a single (real) column
  double maxAbs = 0;         // the largest |value| among the points shown
};
// Samples offset+1, offset+1+n, ... (1-based) of the columns. Raises the
// plotter's errors for empty data, n not a positive whole number and an offset
// that is not a whole number >= 0.
ScatterPoints scatterPoints(const Columns& x, double n, double offset);

}  // namespace dot11a::plots
