// Driving a modal dialog from a test: the steps run inside the dialog's wait,
// as the user's actions would, and a dialog the steps leave open (a failed
// expectation, say) is closed with its close box so that the test never hangs.
#pragma once

#include <QCoreApplication>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <string>
#include <vector>

#include "dot11a/call.hpp"
#include "gui/graphics/graphics.hpp"

namespace dot11a::test {

// Schedules `steps` to run once the dialog `fig` waits; call the code that opens
// the dialog right after. Only the opening of this call is closed: a later one
// is left to its own steps.
inline void whileOpen(double fig, std::function<void()> steps) {
  static int openings = 0;
  const int opening = ++openings;
  QTimer::singleShot(0, [fig, opening, steps = std::move(steps)] {
    steps();
    QTimer::singleShot(0, [fig, opening] {
      if (opening == openings && gfx::isHandle(fig) && gfx::getString(fig, "Visible") == "on")
        if (QWidget* w = gfx::widgetOf(fig)) w->close();
    });
  });
}

// A control of a dialog by tag.
inline double control(double fig, const std::string& tag) {
  return gfx::guihandles(fig).field(tag).toScalar();
}

// What a user does in a dialog: change a control, then its callback runs.
inline void typeInto(double fig, const std::string& tag, const std::string& text) {
  gfx::setString(control(fig, tag), "String", text);
  gfx::runCallback(control(fig, tag));
}
inline void setAndFire(double fig, const std::string& tag, double value) {
  gfx::setNumber(control(fig, tag), "Value", value);
  gfx::runCallback(control(fig, tag));
}
inline void press(double fig, const std::string& tag) {
  gfx::runCallback(control(fig, tag));
}
inline std::string textOf(double fig, const std::string& tag) {
  return gfx::getString(control(fig, tag), "String");
}
inline bool isOn(double fig, const std::string& tag, const char* property = "Enable") {
  return gfx::getString(control(fig, tag), property) == "on";
}

// The tags of the controls the Tab key reaches, in order, starting at `first`
// (`count` of them).
inline std::vector<std::string> tabChain(double fig, const std::string& first, std::size_t count) {
  std::vector<std::string> chain;
  QWidget* w = gfx::widgetOf(control(fig, first));
  for (int step = 0; w && step < 500 && chain.size() < count; ++step, w = w->nextInFocusChain())
    if ((w->focusPolicy() & Qt::TabFocus) && !w->objectName().isEmpty())
      chain.push_back(w->objectName().toStdString());
  return chain;
}

// Deletes the dialog windows the main window loaded at its start.
inline void deleteDialogs() {
  const Value& list = global("figureList");
  if (!list.isRecord()) return;
  for (const char* f : {"MACheader", "SubCarriersMask"})
    if (list.hasField(f) && !list.field(f).isEmpty()) gfx::deleteFigure(list.field(f).toScalar());
}

}  // namespace dot11a::test
