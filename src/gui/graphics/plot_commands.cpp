// The plotting commands of the operation table: clf, subplot, title, xlabel,
// ylabel and waterfall. Each acts on the window and axes it is given by handle,
// or else on the current ones (currentFigure, currentAxes), and draws through
// the same layer as the plot windows.
#include <array>
#include <cmath>
#include <optional>
#include <string>
#include <vector>

#include "dot11a/call.hpp"
#include "gui/graphics/plot_objects.hpp"

namespace dot11a::op {

using namespace dot11a::gfx;

namespace {

// True when `v` is one number that names an axes.
bool namesAxes(const Value& v) {
  if (!v.isNumeric() || v.numel() != 1 || v.isComplex()) return false;
  QObject* o = objectOf(Handle(v.real(0)));
  return o != nullptr && kindOf(o) == Kind::Axes;
}

// True when `v` is one number that names a window.
bool namesFigure(const Value& v) {
  if (!v.isNumeric() || v.numel() != 1 || v.isComplex()) return false;
  QObject* o = objectOf(Handle(v.real(0)));
  return o != nullptr && isFigure(o);
}

// A grid count or cell number of subplot: a whole number from 1 to `most`.
int gridNumber(const Value& v, const char* name, int most) {
  if (!v.isNumeric() || v.numel() != 1 || v.isComplex())
    raise(std::string("subplot needs ") + name + " as one number, not " + v.describe() + ".");
  const double x = v.real(0);
  if (!(x >= 1 && x <= most) || x != std::floor(x))
    raise(std::string("subplot: ") + name + " must be a whole number from 1 to " +
          std::to_string(most) + ".");
  return static_cast<int>(x);
}

// Normalized axes rectangles that share some area.
bool overlaps(const std::array<double, 4>& a, const std::vector<double>& b) {
  constexpr double kSlack = 1e-9;
  return a[0] < b[0] + b[2] - kSlack && b[0] < a[0] + a[2] - kSlack &&
         a[1] < b[1] + b[3] - kSlack && b[1] < a[1] + a[3] - kSlack;
}

bool samePlace(const std::array<double, 4>& a, const std::vector<double>& b) {
  for (int i = 0; i < 4; ++i)
    if (std::fabs(a[i] - b[i]) > 1e-9) return false;
  return true;
}

// title, xlabel and ylabel: ([axes,] text, ['Color', c | 'FontSize', s]...).
// The text may be a list of lines. Answers the axes that got the text.
void labelCommand(Call& c, const char* command, const char* property) {
  c.outputNames({"h"});
  std::size_t at = 0;
  Handle axes;
  if (c.nargin() >= 2 && namesAxes(c.in(0, "axes"))) {
    axes = Handle(c.in(0, "axes").real(0));
    at = 1;
  }
  const Value& text = c.in(at, "text");
  if (!text.isText() && !text.isCell() && !(text.isNumeric() && text.isEmpty()))
    raise(std::string(command) + " needs a text, not " + text.describe() + ".");
  if ((c.nargin() - at - 1) % 2 != 0)
    raise(std::string(command) + " takes properties in pairs of name and value.");
  if (axes.id() == 0) axes = currentAxes(currentFigure());
  Axes* a = Axes::of(objectOf(axes));
  // Every pair is checked before anything changes.
  std::optional<QColor> color;
  std::optional<double> fontSize;
  for (std::size_t i = at + 1; i + 1 < c.nargin(); i += 2) {
    const Value& name = c.in(i, "property");
    const Value& value = c.in(i + 1, "value");
    const std::string n = name.isText() ? lower(name.str()) : "";
    if (n == "color") {
      color = colorFrom(value);
    } else if (n == "fontsize") {
      if (!value.isNumeric() || value.numel() != 1 || !(value.real(0) > 0 && value.real(0) < 500))
        raise(std::string(command) + ": FontSize must be a number from above 0 to 500.");
      fontSize = value.real(0);
    } else {
      raise(std::string(command) + " knows the properties Color and FontSize, not " +
            (name.isText() ? "'" + name.str() + "'" : name.describe()) + ".");
    }
  }
  set(axes, property, text);
  const std::string which = property;
  if (color || fontSize) {
    if (which == "Title") {
      if (color) a->title->setColor(*color);
      if (fontSize) {
        QFont f = a->title->font();
        f.setPointSizeF(*fontSize);
        a->title->setFont(f);
      }
    } else {
      QCPAxis* axis = which == "XLabel" ? a->xAxis : a->yAxis;
      if (color) axis->setLabelColor(*color);
      if (fontSize) {
        QFont f = axis->labelFont();
        f.setPointSizeF(*fontSize);
        axis->setLabelFont(f);
      }
    }
    a->redraw();
  }
  c.out(0) = axes.toValue();
}

// The real matrix of a waterfall input.
const Value& surfaceInput(const Value& v, const char* name) {
  if (!v.isNumeric() || v.isComplex())
    raise(std::string("waterfall needs ") + name + " as a real matrix, not " + v.describe() + ".");
  return v;
}

// X or Y of a waterfall: a matrix of Z's size, or a vector that repeats along
// the other dimension (X along the rows: one value per column of Z; Y along
// the columns: one value per row).
Value gridOf(const Value& v, const char* name, std::size_t rows, std::size_t cols, bool alongRows) {
  surfaceInput(v, name);
  if (v.rows() == rows && v.cols() == cols) return v;
  const std::size_t want = alongRows ? cols : rows;
  if (!v.isVector() || v.numel() != want)
    raise(std::string("waterfall: ") + name + " must be a matrix the size of Z (" +
          std::to_string(rows) + "-by-" + std::to_string(cols) + ") or a vector of " +
          std::to_string(want) + " values, not " + v.describe() + ".");
  std::vector<double> out(rows * cols);
  for (std::size_t col = 0; col < cols; ++col)
    for (std::size_t r = 0; r < rows; ++r) out[col * rows + r] = v.real(alongRows ? col : r);
  return Value::matrix(rows, cols, std::move(out));
}

}  // namespace

// clf([fig] [, 'reset']): clears a window's plots (its axes with their lines
// and surfaces); controls and menus stay. Answers the window.
void clf(Call& c) {
  c.outputNames({"h"});
  std::size_t at = 0;
  Handle fig;
  if (c.nargin() > 0 && !c.in(0, "fig").isText()) {
    if (!namesFigure(c.in(0, "fig")))
      raise("clf needs the handle of an open window, not " + c.in(0, "fig").describe() + ".");
    fig = Handle(c.in(0, "fig").real(0));
    at = 1;
  }
  if (c.nargin() > at) {
    const Value& option = c.in(at, "option");
    if (!option.isText() || option.str() != "reset" || c.nargin() > at + 1)
      raise("clf takes a window and the option 'reset' only.");
  }
  if (fig.id() == 0) fig = currentFigure();
  for (Handle ax : figureAxes(fig)) deleteAxes(ax);
  c.out(0) = fig.toValue();
}

// subplot(m, n, p): the axes in cell p (counted row by row) of an m-by-n grid
// of the current window, made current. An axes already in that cell is
// reused; axes the new one would overlap are deleted. subplot(m, n, p,
// 'replace') always makes a new one; subplot(axes) makes an axes current.
void subplot(Call& c) {
  c.outputNames({"h"});
  if (c.nargin() == 1) {
    if (!namesAxes(c.in(0, "h"))) raise("subplot with one input needs the handle of an axes.");
    const Handle ax(c.in(0, "h").real(0));
    makeCurrent(ax);
    c.out(0) = ax.toValue();
    return;
  }
  if (c.nargin() < 3) raise("subplot needs the rows, the columns and the cell: subplot(m, n, p).");
  constexpr int kMostCells = 1000;
  const int rows = gridNumber(c.in(0, "m"), "m", kMostCells);
  const int cols = gridNumber(c.in(1, "n"), "n", kMostCells / rows);
  const int cell = gridNumber(c.in(2, "p"), "p", rows * cols);
  bool replace = false;
  if (c.has(3)) {
    const Value& option = c.in(3, "option");
    if (!option.isText() || option.str() != "replace")
      raise("subplot's fourth input can only be 'replace'.");
    replace = true;
  }
  const std::vector<double> where = gridAxesPosition(rows, cols, cell);
  const Handle fig = currentFigure();
  for (Handle ax : figureAxes(fig)) {
    const Axes* a = Axes::of(objectOf(ax));
    if (!a->normalizedUnits) continue;  // axes placed in pixels are not in the grid
    if (!replace && samePlace(a->position, where)) {
      makeCurrent(ax);
      c.out(0) = ax.toValue();
      return;
    }
    if (overlaps(a->position, where)) deleteAxes(ax);
  }
  c.out(0) = newAxes(fig, where).toValue();
}

void title(Call& c) {
  labelCommand(c, "title", "Title");
}
void xlabel(Call& c) {
  labelCommand(c, "xlabel", "XLabel");
}
void ylabel(Call& c) {
  labelCommand(c, "ylabel", "YLabel");
}

// waterfall(Z), waterfall(X, Y, Z), waterfall(axes, Z) or waterfall(axes, X,
// Y, Z): one curve for each row of Z against the same rows of X and Y, drawn
// into the current (or the given) axes, which turn to show it in 3-D. Without
// X and Y, the columns are numbered along X and the rows along Y. Answers the
// surface.
void waterfall(Call& c) {
  c.outputNames({"h"});
  std::size_t at = 0;
  Handle axes;
  if ((c.nargin() == 2 || c.nargin() == 4) && namesAxes(c.in(0, "axes"))) {
    axes = Handle(c.in(0, "axes").real(0));
    at = 1;
  }
  const std::size_t given = c.nargin() - at;
  if (given != 1 && given != 3)
    raise("waterfall takes Z, or X, Y and Z, optionally after the handle of an axes.");
  const Value& z = surfaceInput(c.in(at + given - 1, "Z"), "Z");
  const std::size_t rows = z.rows(), cols = z.cols();
  Value x, y;
  if (given == 3) {
    x = gridOf(c.in(at, "X"), "X", rows, cols, true);
    y = gridOf(c.in(at + 1, "Y"), "Y", rows, cols, false);
  } else {
    std::vector<double> xs(rows * cols), ys(rows * cols);
    for (std::size_t col = 0; col < cols; ++col)
      for (std::size_t r = 0; r < rows; ++r) {
        xs[col * rows + r] = static_cast<double>(col + 1);
        ys[col * rows + r] = static_cast<double>(r + 1);
      }
    x = Value::matrix(rows, cols, std::move(xs));
    y = Value::matrix(rows, cols, std::move(ys));
  }
  if (axes.id() == 0) axes = currentAxes(currentFigure());
  c.out(0) = addSurface(axes, x, y, z).toValue();
  makeCurrent(axes);
}

}  // namespace dot11a::op
