// The sub-carrier mask dialog, module dot11a_GUI_SubCarrierMask: ten check
// boxes over the 53 sub-carrier positions (-26 to 26, DC in the middle) with a
// scroll bar, a list of predefined masks and a plot of the whole mask. It edits
// a working copy of the mask and returns it with the answer "OK" or "Cancel".
//
// The scroll bar runs from 0 to 43 with 43 at the top of the list: the rows
// show the entries after offset = 43 - value.
#include <QAbstractSlider>
#include <QCoreApplication>
#include <QDialog>
#include <QEvent>
#include <QKeyEvent>
#include <QPointer>
#include <QWidget>
#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "dot11a/call.hpp"
#include "dot11a/checked_integer.hpp"
#include "dot11a/dialogs.hpp"
#include "dot11a/module.hpp"
#include "dot11a/num2str.hpp"
#include "gui/feedback.hpp"
#include "gui/graphics/graphics.hpp"
#include "gui/graphics/local_ops.hpp"

namespace dot11a {

namespace {

using namespace gfx;

constexpr int kCarriers = 53;    // sub-carriers -26 .. 26
constexpr int kDcEntry = 27;     // 1-based entry of sub-carrier 0
constexpr int kRows = 10;        // check boxes on the screen
constexpr int kTopValue = 43;    // scroll bar value that shows the top rows
constexpr int kPresetCount = 8;  // FastEdit's presets; its last item, "Custom", follows

// What the dialog keeps for itself. Its working values are shared globals,
// where a host program reads them (see mask(), labelOf() and plotArea()).
struct State {
  double line = 0;         // the mask plot's one line, drawn once and then given new data
  double activeCount = 0;  // the label that counts the active sub-carriers
  double fastEdit = 0;     // the FastEdit list
};

std::vector<double> startMask() {
  std::vector<double> m(kCarriers, 1.0);
  m[kDcEntry - 1] = 0;
  return m;
}

State& S() {
  static State s;
  return s;
}

double ctl(const Value& handles, std::string_view tag) {
  return handleIn(handles, tag);
}

// Sub-carrier number of a 1-based entry.
int carrierOf(int entry) {
  return entry - kDcEntry;
}

// The mask of a FastEdit item; any other item keeps the current mask.
std::vector<double> presetMask(int item, const std::vector<double>& current) {
  if (item < 1 || item > kPresetCount) return current;
  std::vector<double> m(kCarriers, 0.0);
  for (int j = 1; j <= kCarriers; ++j) {
    const int k = carrierOf(j), a = std::abs(k);
    bool on = false;
    switch (item) {
      case 1:
        on = k != 0;
        break;  // all but DC
      case 2:
        on = a % 2 == 1;
        break;  // odd-numbered
      case 3:
        on = a % 4 == 1;
        break;  // +-1, +-5, ..., +-25
      case 4:
        on = k > 0;
        break;  // positive
      case 5:
        on = k < 0;
        break;  // negative
      case 6:
        on = a >= 14;
        break;  // outer 13 on each side
      case 7:
        on = a == 26;
        break;  // the two edges
      default:
        on = false;
        break;  // all off
    }
    m[j - 1] = on ? 1.0 : 0.0;
  }
  return m;
}

// The scroll bar's position: its Value, stored before its callback runs.
double scrollValue(double bar) {
  return getNumber(bar, "Value");
}

int offsetOf(double value) {
  return clampedInteger(kTopValue - value, 0, kTopValue).value_or(0);
}

int currentOffset(const Value& handles) {
  return offsetOf(scrollValue(ctl(handles, "scrollbar")));
}

double figureOfControl(Call& c) {
  return figureOf(handleFrom(c.in(0, "hObject"), "dot11a_GUI_SubCarrierMask"));
}

void storeAnswer(double fig, std::string_view answer) {
  Value data = guidata(fig);
  if (!data.isRecord()) data = guihandles(fig);
  data.setField("answer", Value(std::string(answer)));
  setGuidata(fig, data);
}

// A mask to edit: 53 numbers, as a row or a column; an entry counts as on when
// it is not 0.
std::vector<double> maskFrom(const Value& given) {
  if (!given.isNumeric() || given.isComplex() || !given.isVector() ||
      given.numel() != static_cast<std::size_t>(kCarriers))
    raise("The sub-carrier mask must hold 53 entries (sub-carriers -26 to 26), not " +
          given.describe() + ".");
  std::vector<double> m(kCarriers);
  for (int j = 0; j < kCarriers; ++j) m[j] = given.real(j) != 0 ? 1.0 : 0.0;
  return m;
}

// ---- the shared working values ---------------------------------------------------------
// "states": the mask being edited, a row of 53 values 0/1 (the start mask until
// the first opening); "names": the 53 row labels, a list of texts built by
// InitializeFigure; "hdlPlotArea": the axes of the mask plot.

std::vector<double> mask() {
  const Value& v = global("states");
  if (v.isAbsent() || v.isEmpty()) return startMask();
  return maskFrom(v);
}

void setMask(const std::vector<double>& m) {
  global("states") = Value::row(m);
}

bool haveLabels() {
  const Value& v = global("names");
  return v.isCell() && v.numel() == static_cast<std::size_t>(kCarriers);
}

std::string labelOf(int entry) {
  if (!haveLabels() || !global("names").cellAt(entry - 1).isText())
    raise("The sub-carrier labels are missing: InitializeFigure builds them.");
  return global("names").cellAt(entry - 1).str();
}

double plotArea() {
  const Value& v = global("hdlPlotArea");
  return v.isNumeric() && v.numel() == 1 ? v.real(0) : 0;
}

// ---- the plot area ------------------------------------------------------------------

// Keeps the plot box inside its frame with room for the tick labels, the axis
// labels and the title, whatever size the frame gets.
class PlotFrameFilter : public QObject {
 public:
  PlotFrameFilter(QObject* parent, double axes) : QObject(parent), axes_(axes) {}
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Resize) place(static_cast<QWidget*>(watched));
    return QObject::eventFilter(watched, event);
  }
  void place(QWidget* frame) const {
    if (!isHandle(axes_)) return;
    const double w = frame->width(), h = frame->height();
    constexpr double kLeft = 64, kBottom = 46, kRight = 16, kTop = 28;
    set(axes_, "Units", Value("pixels"));
    set(axes_, "Position",
        Value::row({kLeft, kBottom, std::max(20.0, w - kLeft - kRight),
                    std::max(20.0, h - kBottom - kTop)}));
  }

 private:
  double axes_;
};

// The mouse wheel over the rows scrolls them, as over the scroll bar.
class WheelToBar : public QObject {
 public:
  WheelToBar(QObject* parent, QWidget* bar) : QObject(parent), bar_(bar) {}
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Wheel && bar_ && watched != bar_) {
      QCoreApplication::sendEvent(bar_, event);
      return true;
    }
    return QObject::eventFilter(watched, event);
  }

 private:
  QPointer<QWidget> bar_;
};

// Home and End go to the top and the bottom of the list (on an upright bar
// they would go to its lowest and highest value, the other way round).
class ListEnds : public QObject {
 public:
  using QObject::QObject;
  bool eventFilter(QObject* watched, QEvent* event) override {
    auto* bar = qobject_cast<QAbstractSlider*>(watched);
    if (bar && event->type() == QEvent::KeyPress) {
      const int key = static_cast<QKeyEvent*>(event)->key();
      if (key == Qt::Key_Home || key == Qt::Key_End) {
        bar->triggerAction(key == Qt::Key_Home ? QAbstractSlider::SliderToMaximum
                                               : QAbstractSlider::SliderToMinimum);
        return true;
      }
    }
    return QObject::eventFilter(watched, event);
  }
};

// The keys of a list on the rows themselves: Down on the last row and Up on
// the first scroll the list by one entry and keep the focus on that row (the
// arrows would otherwise leave the rows for the scroll bar or wrap round);
// Page Up/Down, Home and End scroll as they do on the bar.
class RowKeys : public QObject {
 public:
  RowKeys(QObject* parent, QAbstractSlider* bar, int row) : QObject(parent), bar_(bar), row_(row) {}
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (!bar_ || event->type() != QEvent::KeyPress) return QObject::eventFilter(watched, event);
    const auto* key = static_cast<QKeyEvent*>(event);
    if (key->modifiers() & ~Qt::KeypadModifier) return QObject::eventFilter(watched, event);
    // The bar's value is highest at the top of the list.
    switch (key->key()) {
      case Qt::Key_Down:
        if (row_ != kRows) break;
        bar_->triggerAction(QAbstractSlider::SliderSingleStepSub);
        return true;
      case Qt::Key_Up:
        if (row_ != 1) break;
        bar_->triggerAction(QAbstractSlider::SliderSingleStepAdd);
        return true;
      case Qt::Key_PageDown:
        bar_->triggerAction(QAbstractSlider::SliderPageStepSub);
        return true;
      case Qt::Key_PageUp:
        bar_->triggerAction(QAbstractSlider::SliderPageStepAdd);
        return true;
      case Qt::Key_Home:
        bar_->triggerAction(QAbstractSlider::SliderToMaximum);
        return true;
      case Qt::Key_End:
        bar_->triggerAction(QAbstractSlider::SliderToMinimum);
        return true;
      default:
        break;
    }
    return QObject::eventFilter(watched, event);
  }

 private:
  QPointer<QAbstractSlider> bar_;
  int row_;
};

void makePlotArea(const Value& h, double fig) {
  QWidget* frame = widgetOf(ctl(h, "pnlPlot"));
  if (!frame) raise("The sub-carrier window has no plot frame.");
  const double axes = newAxes(fig);
  QWidget* plot = widgetOf(axes);
  plot->setParent(frame);
  plot->show();
  set(axes, "Tag", Value("plotArea"));
  auto* filter = new PlotFrameFilter(frame, axes);
  frame->installEventFilter(filter);
  filter->place(frame);
  global("hdlPlotArea") = Value(axes);
}

// ---- drawing -------------------------------------------------------------------------

void drawGrid(const Value& h, int offset) {
  if (offset < 0 || offset > kTopValue)
    raise("The rows start after entry 0 to 43, not " + std::to_string(offset) + ".");
  const std::vector<double> states = mask();
  for (int i = 1; i <= kRows; ++i) {
    const int j = i + offset;
    const double box = ctl(h, "checkbox" + std::to_string(i));
    setString(box, "String", labelOf(j));
    if (j == kDcEntry) {
      setNumber(box, "Value", 0);
      setString(box, "Enable", "off");
    } else {
      setNumber(box, "Value", states[j - 1] != 0 ? 1 : 0);
      setString(box, "Enable", "on");
    }
  }
}

void drawPlot() {
  State& s = S();
  const std::vector<double> states = mask();
  if (s.activeCount != 0 && isHandle(s.activeCount)) {
    const auto on = std::count_if(states.begin(), states.end(), [](double v) { return v != 0; });
    setString(s.activeCount, "String",
              num2str(static_cast<double>(on)) + (on == 1 ? " sub-carrier" : " sub-carriers"));
  }
  // FastEdit names the preset the mask is, or "Custom" once it is none.
  if (s.fastEdit != 0 && isHandle(s.fastEdit)) {
    int item = kPresetCount + 1;
    for (int p = 1; p <= kPresetCount && item > kPresetCount; ++p)
      if (presetMask(p, states) == states) item = p;
    setNumber(s.fastEdit, "Value", item);
  }
  const double area = plotArea();
  if (area == 0 || !isHandle(area)) return;
  // 64 bins: 6 zeros, the 53 entries, 5 zeros, at sub-carriers -32 .. 31.
  std::vector<double> x(64), y(64, 0.0);
  for (int i = 0; i < 64; ++i) x[i] = i - 32;
  std::copy(states.begin(), states.end(), y.begin() + 6);
  // The line is drawn once; later masks replace its data.
  if (s.line != 0 && isHandle(s.line) && figureOf(s.line) == figureOf(area))
    set(s.line, "YData", Value::row(y));
  else
    s.line = plotLine(area, x, y, "b-");
  set(area, "YLim", Value::row({0, 2}));
  set(area, "XLim", Value::row({-32, 31}));
  set(area, "XLabel", Value("Sub-Carrier Number"));
  set(area, "YLabel", Value(" Nominal Gain (linear)"));
  set(area, "Title", Value("Sub-Carrier Plot"));
}

// ---- local operations ------------------------------------------------------------------

void InitializeFigure(Call& c) {
  const Value& h = c.in(0, "handles");
  State& s = S();
  std::vector<Value> labels;
  for (int j = 1; j <= kCarriers; ++j)
    labels.emplace_back("Sub-carrier " + std::to_string(carrierOf(j)));
  global("names") = Value::cellRow(std::move(labels));
  const double bar = ctl(h, "scrollbar");
  setNumber(bar, "Value", getNumber(bar, "Max"));
  for (int i = 1; i <= kRows; ++i)
    setString(ctl(h, "checkbox" + std::to_string(i)), "TooltipString",
              "Enables/Disables this sub-carrier.");
  setString(ctl(h, "pdFastEditCarriers"), "TooltipString",
            "FastEdit:\nSelects a predefined\nsub-carrier configuration.");
  feval("resizeAllFonts", 0, {h});
  const double fig = figureOf(bar);
  if (plotArea() == 0 || !isHandle(plotArea()) || figureOf(plotArea()) != fig) makePlotArea(h, fig);
  s.activeCount = h.hasField("txtActiveCount") ? ctl(h, "txtActiveCount") : 0;
  s.fastEdit = ctl(h, "pdFastEditCarriers");
  // The callbacks' handle table includes the plot.
  setGuidata(fig, guihandles(fig));

  QWidget* dialogWidget = widgetOf(fig);
  if (dialogWidget && !dialogWidget->property("dot11aCancelOnReject").toBool()) {
    dialogWidget->setProperty("dot11aCancelOnReject", true);
    // Escape (and any other rejection of the dialog) is the Cancel button.
    if (auto* dialog = qobject_cast<QDialog*>(dialogWidget)) {
      const double cancel = ctl(h, "pbCancel");
      QObject::connect(dialog, &QDialog::rejected, dialog, [cancel] { runCallback(cancel); });
    }
    if (QWidget* barWidget = widgetOf(bar)) barWidget->installEventFilter(new ListEnds(barWidget));
    if (QWidget* rows = h.hasField("pnlRows") ? widgetOf(ctl(h, "pnlRows")) : nullptr) {
      auto* wheel = new WheelToBar(rows, widgetOf(bar));
      rows->installEventFilter(wheel);
      for (int i = 1; i <= kRows; ++i)
        widgetOf(ctl(h, "checkbox" + std::to_string(i)))->installEventFilter(wheel);
    }
    if (auto* slider = qobject_cast<QAbstractSlider*>(widgetOf(bar)))
      for (int i = 1; i <= kRows; ++i)
        if (QWidget* row = widgetOf(ctl(h, "checkbox" + std::to_string(i))))
          row->installEventFilter(new RowKeys(row, slider, i));
  }
}

void redrawGrid(Call& c) {
  const Value& offset = c.in(1, "offset");
  if (!offset.isNumeric() || offset.isEmpty()) raise("redrawGrid needs the offset as a number.");
  // Out of any int's range stands for an offset drawGrid refuses.
  drawGrid(c.in(0, "handles"), clampedInteger(offset.toScalar(), -1, kTopValue + 1).value_or(-1));
}

void plotCarriers(Call&) {
  drawPlot();
}

// The number at the end of a tag ("checkbox7" gives 7).
int tagNumber(const std::string& tag) {
  std::size_t start = tag.size();
  while (start > 0 && std::isdigit(static_cast<unsigned char>(tag[start - 1]))) --start;
  if (start == tag.size()) raise("The control '" + tag + "' is not one of the numbered rows.");
  return std::stoi(tag.substr(start, 4));
}

void checkbox_Callback(Call& c) {
  const double box = handleFrom(c.in(0, "hObject"), "checkbox_Callback");
  const Value& h = c.in(2, "handles");
  const int row = tagNumber(getString(box, "Tag"));
  if (row < 1 || row > kRows) raise("There is no row " + std::to_string(row) + ".");
  const int j = currentOffset(h) + row;
  if (j == kDcEntry) return;  // the DC position is not switched here
  // The entry takes what the box shows, which the click has just toggled.
  std::vector<double> m = mask();
  m[j - 1] = getNumber(box, "Value") != 0 ? 1.0 : 0.0;
  setMask(m);
  drawPlot();
}

void scrollbar_Callback(Call& c) {
  const double bar = handleFrom(c.in(0, "hObject"), "scrollbar_Callback");
  drawGrid(c.in(2, "handles"), offsetOf(scrollValue(bar)));
}

void pdFastEditCarriers_Callback(Call& c) {
  const double list = handleFrom(c.in(0, "hObject"), "pdFastEditCarriers_Callback");
  const Value& h = c.in(2, "handles");
  // 0, no preset, for what is no item.
  const int item = clampedInteger(getNumber(list, "Value"), 0, kPresetCount + 1).value_or(0);
  setMask(presetMask(item, mask()));
  drawGrid(h, currentOffset(h));
  drawPlot();
}

void pbOK_Callback(Call& c) {
  const double fig = figureOfControl(c);
  storeAnswer(fig, "OK");
  double sum = 0;
  for (double v : mask()) sum += std::fabs(v);
  if (sum == 0) {
    dialogs().error("Invalid configuration",
                    "At least one carrier must be active to produce a signal.");
    return;  // the dialog stays open and keeps waiting
  }
  uiresume(fig);
}

void pbCancel_Callback(Call& c) {
  const double fig = figureOfControl(c);
  storeAnswer(fig, "Cancel");
  uiresume(fig);
}

const LocalTable kTable =
    gfx::localOperations("dot11a_GUI_SubCarrierMask",
                         {{"InitializeFigure", 1, 0, InitializeFigure},
                          {"redrawGrid", 2, 0, redrawGrid},
                          {"plotCarriers", 0, 0, plotCarriers},
                          gfx::callback("checkbox_Callback", checkbox_Callback),
                          gfx::callback("scrollbar_Callback", scrollbar_Callback),
                          gfx::callback("pdFastEditCarriers_Callback", pdFastEditCarriers_Callback),
                          gfx::callback("pbOK_Callback", pbOK_Callback),
                          gfx::callback("pbCancel_Callback", pbCancel_Callback),
                          gfx::callback("close_Callback", pbCancel_Callback)});

// Shows the dialog over the main window, at the top of the list, and waits for
// OK, Cancel or the close box; the working mask comes back whatever the answer.
void openDialog(Call& c) {
  const double fig = handleFrom(c.in(0, "fig"), "dot11a_GUI_SubCarrierMask");
  if (fig == 0 || !isHandle(fig) || figureOf(fig) != fig)
    raise("dot11a_GUI_SubCarrierMask needs the handle of the sub-carrier window.");
  Value handles = guidata(fig);
  if (!handles.isRecord() || !handles.hasField("pbOK")) handles = guihandles(fig);
  if (!haveLabels()) feval("InitializeFigure", 0, {handles});
  setMask(c.nargin() == 2 ? maskFrom(c.in(1, "mask")) : startMask());
  storeAnswer(fig, "Cancel");
  setNumber(ctl(handles, "scrollbar"), "Value", kTopValue);
  feval("redrawGrid", 0, {handles, 0.0});
  feval("plotCarriers", 0, {});
  // Each opening starts the keyboard on the first row, where Space switches
  // that sub-carrier and the arrows walk the list.
  const std::string answer = gui::showOverMainAndWait(fig, ctl(handles, "checkbox1"));
  c.out(0) = Value(answer);
  if (c.nargout() > 1) c.out(1) = Value::row(mask());
}

}  // namespace

namespace op {

void dot11a_GUI_SubCarrierMask(Call& c) {
  c.outputNames({"answer", "mask"});
  if (c.nargin() > 0 && c.in(0, "action").isText()) {
    dispatchModule(kTable, c);
    return;
  }
  ModuleScope scope(&kTable);
  openDialog(c);
}

}  // namespace op

}  // namespace dot11a
