// I/Q time, eye diagram and scatter numbers.
#include "gui/plots/iq_data.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

#include "dot11a/error.hpp"

namespace dot11a::plots {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// x mod y with the sign of y (y > 0 here): the result lies in [0, y).
double modulo(double x, double y) {
  return x - std::floor(x / y) * y;
}

bool wholeNumber(double x) {
  return std::isfinite(x) && x == std::floor(x);
}

// The largest finite |value| of the columns, 0 when there is none.
double largestMagnitude(const Columns& x) {
  double m = 0;
  for (const auto& col : x)
    for (double v : col)
      if (std::isfinite(v)) m = std::max(m, std::fabs(v));
  return m;
}

void requireAtMostTwoColumns(const Columns& x) {
  if (x.size() > 2) raise("Number of columns in the input data, X, cannot exceed 2.");
}

}  // namespace

IqTime iqTime(std::span<const cplx> samples, double rate) {
  if (!(rate > 0) || !std::isfinite(rate)) rate = 1;
  IqTime p;
  const std::size_t points = samples.empty() ? 100 : samples.size();
  p.i.resize(points);
  p.q.resize(points);
  if (samples.empty()) {
    // The placeholder: one turn of a cosine and a sine each way, 100 points.
    p.placeholder = true;
    for (std::size_t k = 0; k < points; ++k) {
      const double a = -2 * std::numbers::pi + 4 * std::numbers::pi * double(k) / 99;
      p.i[k] = std::cos(a);
      p.q[k] = std::sin(a);
    }
  } else {
    for (std::size_t k = 0; k < points; ++k) {
      p.i[k] = samples[k].real();
      p.q[k] = samples[k].imag();
    }
  }
  p.amplitude = largestMagnitude({p.i, p.q});
  if (p.amplitude == 0) p.amplitude = 1;  // all zero: a visible range around 0
  p.units = timeUnits(double(points) / rate);
  // points x multiplier / rate rather than period x multiplier: 1600 samples
  // at 20 MHz end at exactly 80 us.
  p.tMax = double(points) * p.units.scale / rate;
  p.t.resize(points);
  const double step = points > 1 ? p.tMax / double(points - 1) : 0;
  for (std::size_t k = 0; k < points; ++k) p.t[k] = double(k) * step;
  if (points > 1) p.t.back() = p.tMax;
  return p;
}

Columns plotColumns(std::size_t rows, std::size_t cols, std::span<const double> re,
                    std::span<const double> im) {
  Columns out;
  if (rows == 1 || cols == 1) {
    out.emplace_back(re.begin(), re.end());
    if (!im.empty()) out.emplace_back(im.begin(), im.end());
    return out;
  }
  for (std::span<const double> part : {re, im}) {
    if (part.empty()) continue;
    for (std::size_t c = 0; c < cols; ++c)
      out.emplace_back(part.begin() + std::ptrdiff_t(c * rows),
                       part.begin() + std::ptrdiff_t((c + 1) * rows));
  }
  return out;
}

EyeDiagram eyeDiagram(const Columns& x, double nIn, double period, double offsetIn) {
  if (x.empty() || x[0].empty()) raise("Input variable X is empty.");
  if (!(period > 0)) raise("PERIOD must be a positive number.");
  if (!wholeNumber(nIn) || nIn <= 1) raise("N must be an integer greater than 1.");
  if (!wholeNumber(offsetIn) || offsetIn < 0 || offsetIn >= nIn)
    raise("OFFSET must be a integer in the range 0 <= OFFSET < N.");
  requireAtMostTwoColumns(x);
  const double n = nIn, offset = offsetIn;
  const std::size_t len = x[0].size();

  // Position of each sample within its trace, 0 .. (n-1)/n, the later part
  // of each trace moved one trace back so the sample after `offset` is in
  // the middle. The small tolerance keeps a position that lands on the
  // threshold through rounding in the earlier trace.
  // (Counted in doubles: n and offset are whole numbers, and any n beyond the
  // data's length behaves as a length.)
  std::vector<double> pos(len);
  for (std::size_t k = 0; k < len; ++k) pos[k] = std::fmod(double(k), n) / n;
  const double threshold = modulo(offset / n + 0.5, 1) + 3.666852862501036e-11;
  for (double& v : pos)
    if (v > threshold) v -= 1;
  if (*std::max_element(pos.begin(), pos.end()) <= 0)
    for (double& v : pos) v += 1;

  // A trace ends after sample `last` (0-based) for last = (offset + floor(n/2))
  // mod n, then every n samples. Each later trace starts with a NaN break and
  // the previous sample one step before its own first sample.
  const double firstEnd = std::fmod(offset + std::floor(n / 2), n);
  EyeDiagram e;
  e.y.resize(x.size());
  const double breaks =
      double(len) > firstEnd + 1 ? std::ceil((double(len) - 1 - firstEnd) / n) : 0;
  e.t.reserve(len + 2 * std::size_t(breaks));  // n > 1: fewer breaks than samples
  for (auto& col : e.y) col.reserve(e.t.capacity());
  for (std::size_t k = 0; k < len; ++k) {
    e.t.push_back(pos[k]);
    for (std::size_t c = 0; c < x.size(); ++c) e.y[c].push_back(x[c][k]);
    const double kd = double(k);
    if (k + 1 < len && kd >= firstEnd && std::fmod(kd - firstEnd, n) == 0) {
      e.t.push_back(kNaN);
      e.t.push_back(pos[k + 1] - 1 / n);
      for (std::size_t c = 0; c < x.size(); ++c) {
        e.y[c].push_back(kNaN);
        e.y[c].push_back(x[c][k]);
      }
    }
  }

  // Re-centre on the sample after `offset` and scale to seconds; the
  // remainder keeps the sign of the dividend, so early times stay negative.
  const double halfN = n / 2 - 1;
  const double modOffset = modulo(offset + halfN, n) - halfN;
  e.tMin = INFINITY;
  e.tMax = -INFINITY;
  for (double& v : e.t) {
    if (std::isnan(v)) continue;
    v = std::fmod(v - modOffset / n, 1.0) * period;
    e.tMin = std::min(e.tMin, v);
    e.tMax = std::max(e.tMax, v);
  }
  if (!(e.tMin < e.tMax)) {  // a single sample: half a trace either side of it
    e.tMin -= period / 2;
    e.tMax += period / 2;
  }
  const double maxAll = largestMagnitude(x);
  e.yLimit = maxAll > 0 ? maxAll * 1.05 : 1;  // all zero: a visible range around 0
  return e;
}

ScatterPoints scatterPoints(const Columns& x, double n, double offset) {
  if (x.empty() || x[0].empty()) raise("Input variable X is empty.");
  if (!wholeNumber(n) || n <= 0) raise("N must be a positive integer.");
  if (!wholeNumber(offset) || offset < 0) raise("OFFSET must be a nonnegative integer.");
  requireAtMostTwoColumns(x);
  ScatterPoints s;
  const std::size_t len = x[0].size();
  // A step or offset beyond the data shows nothing rather than overflowing.
  const std::size_t step = n >= double(len) ? len : static_cast<std::size_t>(n);
  const std::size_t first = offset >= double(len) ? len : static_cast<std::size_t>(offset);
  for (std::size_t k = first; k < len; k += step) {
    s.i.push_back(x[0][k]);
    s.q.push_back(x.size() > 1 ? x[1][k] : 0.0);
  }
  Columns shown{s.i};
  if (x.size() > 1) shown.push_back(s.q);
  s.maxAbs = largestMagnitude(shown);
  return s;
}

}  // namespace dot11a::plots
