// Driving the connection dialog (module KS_SigGen) from a test: the open
// dialog as the user sees it, and the wait that runs the user's steps once it
// is shown.
#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <QWidget>
#include <algorithm>
#include <functional>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "dot11a/instrument.hpp"
#include "gui_fixture.hpp"

namespace dot11a::test {

inline constexpr const char* kDialogTag = "figureVisaAddress";

// The open dialog as the user sees it.
struct Dialog {
  double fig = 0;
  Value handles;

  double h(const std::string& tag) const { return handles.field(tag).toScalar(); }
  std::string str(const std::string& tag) const { return gfx::getString(h(tag), "String"); }
  double value(const std::string& tag) const { return gfx::getNumber(h(tag), "Value"); }
  bool visible(const std::string& tag) const { return gfx::getString(h(tag), "Visible") == "on"; }
  std::string tip(const std::string& tag) const { return gfx::getString(h(tag), "TooltipString"); }
  std::vector<std::string> list(const std::string& tag) const {
    std::vector<std::string> out;
    const Value entries = gfx::get(h(tag), "String");
    for (const Value& v : entries.cells()) out.push_back(v.str());
    return out;
  }
  // The entry a pop-up shows.
  std::string shown(const std::string& tag) const {
    return list(tag).at(static_cast<std::size_t>(value(tag)) - 1);
  }
  std::string status() const { return str("lblStatus"); }
  // What a user does: change a control, then its callback runs with the
  // window's data of that moment.
  void choose(const std::string& tag, double item) {
    gfx::setNumber(h(tag), "Value", item);
    gfx::runCallback(h(tag));
  }
  void choose(const std::string& tag, const std::string& entry) {
    const auto l = list(tag);
    const auto it = std::find(l.begin(), l.end(), entry);
    ASSERT_NE(it, l.end()) << entry << " is not offered by " << tag;
    choose(tag, static_cast<double>(it - l.begin() + 1));
  }
  void type(const std::string& tag, const std::string& text) {
    gfx::setString(h(tag), "String", text);
    gfx::runCallback(h(tag));
  }
  void press(const std::string& tag) { gfx::runCallback(h(tag)); }
  // Whether Check Hardware is waiting for the instrument.
  bool checking() const { return gfx::getString(h("pbCheckHardware"), "Enable") == "off"; }
  // Presses Check Hardware and serves events until its answer is in (the check
  // runs on a worker thread); gives up after 15 s.
  void check() {
    press("pbCheckHardware");
    QElapsedTimer clock;
    clock.start();
    while (checking() && clock.elapsed() < 15000)
      QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    EXPECT_FALSE(checking()) << "Check Hardware never finished";
  }
  QWidget* widget(const std::string& tag) const { return gfx::widgetOf(h(tag)); }
};

// Runs `open` (which shows the dialog and waits for its answer) and `act` once
// the dialog is shown and waiting. A dialog that `act` leaves open is
// cancelled after a deadline, so a failing test ends instead of waiting.
inline void drive(const std::function<void()>& open, const std::function<void(Dialog&)>& act) {
  QTimer timer;
  QElapsedTimer clock;
  bool acted = false;
  clock.start();
  QObject::connect(&timer, &QTimer::timeout, [&] {
    const double fig = gfx::findFigure(kDialogTag);
    if (fig == 0 || gfx::getString(fig, "Visible") != "on") return;
    if (!acted) {
      acted = true;
      Dialog d{fig, gfx::guidata(fig)};
      act(d);
    } else if (clock.elapsed() > 15000) {
      ADD_FAILURE() << "the connection dialog was left open";
      gfx::deleteFigure(fig);
    }
  });
  timer.start(5);
  open();
  timer.stop();
  EXPECT_TRUE(acted) << "the dialog was never shown";
}

// KS_SigGen(inputs...) with `act` in the dialog; its two outputs.
inline std::vector<Value> withDialog(const std::vector<Value>& inputs,
                                     const std::function<void(Dialog&)>& act) {
  std::vector<Value> out;
  drive([&] { out = feval("KS_SigGen", 2, std::span<const Value>(inputs)); }, act);
  return out;
}

inline std::vector<Value> withDialog(const std::function<void(Dialog&)>& act) {
  return withDialog({}, act);
}

inline Value connection(std::string_view type) {
  Value c = defaultConfiguration();
  c.setField("type", Value(std::string(type)));
  return c;
}

inline std::vector<std::string> texts(std::initializer_list<const char*> items) {
  return {items.begin(), items.end()};
}

class ConnectionDialogTest : public ::testing::Test {
 protected:
  void SetUp() override { useLibrary(); }
  void TearDown() override {
    EXPECT_EQ(gfx::findFigure(kDialogTag), 0) << "the dialog outlived its answer";
  }
  ScopedScriptedDialogs script;
};

}  // namespace dot11a::test
