// A started application window for GUI tests: the scripted dialog service
// answers every dialog, controls are addressed by tag.
#pragma once

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <filesystem>
#include <initializer_list>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "common/library_fixture.hpp"
#include "dot11a/call.hpp"
#include "dot11a/dialogs.hpp"
#include "gui/graphics/graphics.hpp"

namespace dot11a::test {

// A row of numbers as a value.
inline Value row(std::initializer_list<double> v) {
  return Value::row(std::vector<double>(v));
}

// Whether the text properties of a graphics object hold the texts given, in
// order; names every property that differs.
inline ::testing::AssertionResult hasTexts(
    gfx::Handle object, std::initializer_list<std::pair<const char*, std::string>> want) {
  ::testing::AssertionResult result = ::testing::AssertionSuccess();
  bool differs = false;
  for (const auto& [property, text] : want) {
    const std::string got = gfx::getString(object, property);
    if (got == text) continue;
    if (!differs) result = ::testing::AssertionFailure();
    differs = true;
    result << property << " is \"" << got << "\", not \"" << text << "\"; ";
  }
  return result;
}

class MainWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    useLibrary();
    gfx::setSplashMinimumMs(0);
    // Nothing of an earlier test reaches this one: no stored configuration,
    // no waveform of an earlier calculation.
    std::filesystem::remove("defaults.mat");
    global("waveform") = Value::empty();
    global("markers") = Value::empty();
    fig = feval1("dot11a_GUI_b", {}).toScalar();
    ASSERT_TRUE(gfx::isHandle(fig) && fig != 0);
    handles = gfx::guihandles(fig);
  }
  void TearDown() override {
    gfx::deleteFigure(fig);
    QCoreApplication::processEvents();
  }

  double h(const std::string& tag) const { return handles.field(tag).toScalar(); }
  std::string str(const std::string& tag) const { return gfx::getString(h(tag), "String"); }
  double value(const std::string& tag) const { return gfx::getNumber(h(tag), "Value"); }
  bool enabled(const std::string& tag) const { return gfx::getString(h(tag), "Enable") == "on"; }
  // What a user does: change the control, then its callback runs.
  void type(const std::string& tag, const std::string& text) {
    gfx::setString(h(tag), "String", text);
    gfx::runCallback(h(tag));
  }
  void choose(const std::string& tag, double item) {
    gfx::setNumber(h(tag), "Value", item);
    gfx::runCallback(h(tag));
  }
  // What typing `text` into the field `tag` left: the value stored under
  // `name` in the parameters or the signal generator settings, and the text
  // the field shows afterwards.
  struct Entry {
    double stored;
    std::string shown;
    bool operator==(const Entry&) const = default;
    friend std::ostream& operator<<(std::ostream& o, const Entry& e) {
      return o << e.stored << " shown as \"" << e.shown << '"';
    }
  };
  Entry enterParam(const std::string& tag, const std::string& text, const std::string& name) {
    type(tag, text);
    return {param(name), str(tag)};
  }
  Entry enterSigGen(const std::string& tag, const std::string& text, const std::string& name) {
    type(tag, text);
    return {sigGen(name), str(tag)};
  }
  // The status bar: the message line and the calculation state.
  std::string message() const { return str("txtStatusMessage"); }
  std::string calculationState() {
    QCoreApplication::processEvents();  // the state follows once callbacks are done
    return str("txtCalculationStatus");
  }
  static Value& params() { return global("parameters"); }
  static double param(const std::string& name) { return params().field(name).toScalar(); }
  static double sigGen(const std::string& name) {
    return global("SigGenSettings").field(name).toScalar();
  }

  ScopedScriptedDialogs script;
  double fig = 0;
  Value handles;
};

}  // namespace dot11a::test
