// The instrument family: shown and chosen in the Configuration menu, kept in
// the stored configuration, and deciding what a download sends.
#include <filesystem>
#include <string>

#include "instrument/sim_process.hpp"
#include "shell_fixture.hpp"

namespace dot11a::test {
namespace {

using InstrumentFamily = ShellTest;

std::string platform() {
  return global("appInfo").field("Platform").str();
}

TEST_F(InstrumentFamily, ChosenInTheMenuStoredAndUsedByTheDownload) {
  EXPECT_EQ(platform(), "b");
  EXPECT_EQ(gfx::getString(h("menuConfigFamilyB"), "Checked"), "on");
  EXPECT_EQ(gfx::getString(h("menuConfigFamilyC"), "Checked"), "off");

  menu("menuConfigFamilyC");
  EXPECT_EQ(platform(), "c");
  EXPECT_EQ(gfx::getString(h("menuConfigFamilyC"), "Checked"), "on");
  EXPECT_EQ(gfx::getString(h("menuConfigBBG1"), "Visible"), "on");
  EXPECT_TRUE(global("SigGenSettings").hasField("BBfilter"));
  EXPECT_NE(message().find("TCP/IP"), std::string::npos) << message();

  // The C family's playback reaches a family c instrument.
  SimProcess sim({"--family", "c"});
  downloadTo(sim.address());
  ASSERT_EQ(lastShown().title, "Download Completed") << lastShown().text;
  bool basebandFilter = false;
  for (const std::string& sent : sim.commands())
    basebandFilter = basebandFilter || sent.find(":source:dm:bbfilter") != std::string::npos;
  EXPECT_TRUE(basebandFilter);

  // Kept across a restart through the stored configuration.
  script->answer("Discard");  // if Exit asks about the settings
  restart();
  EXPECT_EQ(platform(), "c");
  EXPECT_EQ(gfx::getString(h("menuConfigFamilyC"), "Checked"), "on");

  // A configuration stored before the family was kept opens with the default.
  Value older = global("configuration");
  older.removeField("family");
  feval("saveConfig", 0, {older});
  script->answer("Discard");
  gfx::runCallback(h("menuFileExit"));
  ASSERT_FALSE(gfx::isHandle(fig));
  feval("saveConfig", 0, {older});  // Exit stored the window's own again
  global("waveform") = Value::empty();
  fig = feval1("dot11a_GUI_b", {}).toScalar();
  handles = gfx::guihandles(fig);
  EXPECT_EQ(platform(), "b");
  EXPECT_EQ(gfx::getString(h("menuConfigBBG1"), "Visible"), "off");
  EXPECT_EQ(global("configuration").field("family").str(), "b");
  std::filesystem::remove("defaults.mat");
}

}  // namespace
}  // namespace dot11a::test
