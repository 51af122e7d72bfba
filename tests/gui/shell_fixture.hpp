// The fixture of the shell's tests: the main window with scripted dialogs and
// a temporary folder of the test's own.
#pragma once

#include <filesystem>
#include <string>

#include "common/test_folder.hpp"
#include "dot11a/call.hpp"
#include "gui_fixture.hpp"

namespace dot11a::test {

class ShellTest : public MainWindowTest {
 protected:
  void SetUp() override {
    MainWindowTest::SetUp();
    dir = freshTestFolder("shell");
  }
  void TearDown() override {
    if (gfx::isHandle(fig)) MainWindowTest::TearDown();
    std::filesystem::remove_all(dir);
  }
  // Runs a command of the shell the way its callback string does.
  void command(const std::string& name) {
    feval("rfCommonUI", 0, {Value(name), Value(0.0), Value::empty(), handles});
  }
  void menu(const std::string& tag) { gfx::runCallback(h(tag)); }
  double ready(const std::string& action) {
    return feval("rfCommonUI", 1, {Value("checkWaveformReady"), handles, Value(action)})[0]
        .toScalar();
  }
  bool calculated() const { return !global("appInfo").field("LastCalcTimeStamp").isEmpty(); }
  std::string pointer() const { return gfx::getString(fig, "Pointer"); }
  const ScriptedDialogs::Shown& lastShown() {
    static const ScriptedDialogs::Shown none{};
    return script->shown.empty() ? none : script->shown.back();
  }
  // Starts the application again, as after a restart in the same folder.
  void restart() {
    gfx::runCallback(h("menuFileExit"));
    ASSERT_FALSE(gfx::isHandle(fig));
    global("waveform") = Value::empty();
    fig = feval1("dot11a_GUI_b", {}).toScalar();
    ASSERT_TRUE(gfx::isHandle(fig) && fig != 0);
    handles = gfx::guihandles(fig);
  }
  std::string path(const std::string& name) const { return (dir / name).string(); }
  // Points the connection at the TCP/IP instrument at `address`, then
  // calculates and downloads with the buttons.
  void downloadTo(const std::string& address) {
    global("configuration").setField("type", Value("TCPIP"));
    global("configuration").field("TCPIP").setField("address", Value(address));
    global("configuration").setField("timeout", Value(5.0));
    gfx::runCallback(h("pbCalculate"));
    gfx::runCallback(h("pbDownload"));
  }

  std::filesystem::path dir;
};

}  // namespace dot11a::test
