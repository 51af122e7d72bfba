// Window operations shared by every window: layout loading and centring, font
// scaling on standard-resolution screens, the start-up splash, and the zoom and
// rotate toggles of the plot windows.
#include <QWidget>
#include <cmath>

#include "dot11a/call.hpp"
#include "gui/feedback.hpp"
#include "gui/graphics/graphics.hpp"

namespace dot11a::op {

using namespace dot11a::gfx;

// positionChildWindow(parent, child): centres the child over its parent (0: the
// screen), keeping the child's size.
void positionChildWindow(Call& c) {
  const double parent = handleFrom(c.in(0, "parent"), "positionChildWindow");
  const double child = handleFrom(c.in(1, "child"), "positionChildWindow");
  const Value current = get(child, "Position");
  const Value parentPos = parent == 0 ? screenSize() : get(parent, "Position");
  const double newLeft = parentPos.real(0) + (parentPos.real(2) - current.real(2)) / 2;
  const double newBottom = parentPos.real(1) + (parentPos.real(3) - current.real(3)) / 2;
  set(child, "Position", Value::row({newLeft, newBottom, current.real(2), current.real(3)}));
  // A window centred over a parent near the edge of the screen is moved back
  // inside the available area (a window larger than the area is shrunk).
  if (QWidget* w = widgetOf(child); w && w->isWindow()) {
    const QRect area = gui::availableScreenArea();
    const QRect fitted = gui::fitRectInto(w->geometry(), area);
    if (fitted != w->geometry()) w->setGeometry(fitted);
  }
}

// loadFigure(filename, parentHandle): opens the window of a layout (hidden),
// gives it the standard control background, stores its handles record as its
// window data and centres it over the parent.
void loadFigure(Call& c) {
  c.outputNames({"fig"});
  const Value& name = c.in(0, "filename");
  if (!name.isText()) raise("loadFigure needs the layout file name as a text.");
  const double parent = handleFrom(c.in(1, "parentHandle"), "loadFigure");
  const double fig = openLayout(name.str());
  set(fig, "Color", defaultControlColor());
  setGuidata(fig, gfx::guihandles(fig));
  feval("positionChildWindow", 0, {parent, fig});
  c.out(0) = fig;
}

// resizeAllFonts(handles): on a 96 pixels-per-inch screen every control's font
// grows by 10 % (rounded), so that the layouts read the same as on the larger
// screens they were drawn for; other resolutions are left alone.
void resizeAllFonts(Call& c) {
  const Value& handles = c.in(0, "handles");
  constexpr double kBaseDpi = 96;
  constexpr double kScalingFactor = 1.1;
  if (screenPixelsPerInch() != kBaseDpi) return;
  if (!handles.isRecord()) raise("resizeAllFonts needs the record of a window's handles.");
  for (const Field& f : handles.fields()) {
    if (!f.second.isNumeric() || f.second.isEmpty()) continue;
    const double h = f.second.real(0);
    if (!hasProperty(h, "FontSize")) continue;
    set(h, "FontSize", std::round(getNumber(h, "FontSize") * kScalingFactor));
  }
}

// KS_Splash(): the start-up splash window, centred on the screen, with its
// picture. Called with any input it does nothing.
void KS_Splash(Call& c) {
  c.outputNames({"figSplash"});
  if (c.nargin() > 0) return;
  const double fig = openLayout("KS_Splash", true);
  setGuidata(fig, gfx::guihandles(fig));
  feval("positionChildWindow", 0, {0.0, fig});
  const Value handles = gfx::guidata(fig);
  if (handles.hasField("txtLogo")) {
    const std::vector<Value> picture = feval("imread", 1, {Value("splash.jpg")});
    set(handles.field("txtLogo").toScalar(), "CData", picture.at(0));
  }
  if (QWidget* w = widgetOf(fig)) w->setWindowFlags(Qt::SplashScreen | Qt::FramelessWindowHint);
  setString(fig, "Visible", "on");
  processEvents();
  c.out(0) = fig;
}

namespace {

// The window a Tools-menu toggle acts on: the one whose callback runs.
double toolWindow() {
  const double fig = gcbf();
  if (fig == 0) raise("The zoom and rotate tools act on the window whose menu was used.");
  return fig;
}

void setMark(const Value& handles, std::string_view tag, bool on) {
  if (handles.hasField(tag)) setString(handles.field(tag).toScalar(), "Checked", on ? "on" : "off");
}

bool marked(const Value& handles, std::string_view tag) {
  return handles.hasField(tag) && getString(handles.field(tag).toScalar(), "Checked") == "on";
}

}  // namespace

void KS_Zoom(Call&) {
  const double fig = toolWindow();
  const Value handles = gfx::guihandles(fig);
  if (!marked(handles, "KS_Zoom")) {
    setString(fig, "ZoomMode", "on");
    setString(fig, "RotateMode", "off");
    setMark(handles, "KS_Zoom", true);
    setMark(handles, "KS_Rotate", false);
  } else {
    setString(fig, "ZoomMode", "off");
    setMark(handles, "KS_Zoom", false);
  }
}

void KS_Rotate(Call&) {
  const double fig = toolWindow();
  const Value handles = gfx::guihandles(fig);
  if (!marked(handles, "KS_Rotate")) {
    setString(fig, "RotateMode", "on");
    setString(fig, "ZoomMode", "off");
    setMark(handles, "KS_Rotate", true);
    setMark(handles, "KS_Zoom", false);
  } else {
    setString(fig, "RotateMode", "off");
    setMark(handles, "KS_Rotate", false);
  }
}

}  // namespace dot11a::op
