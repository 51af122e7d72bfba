// Pictures of the MAC header and sub-carrier dialogs as a user leaves them
// after a few edits. Runs only when DOT11A_SCREENSHOT_DIR names a folder
// (scripts/screenshots.sh sets it).
#include <QCoreApplication>
#include <QWidget>
#include <cstdlib>
#include <filesystem>

#include "gui_fixture.hpp"
#include "modal_steps.hpp"

namespace dot11a::test {
namespace {

class DialogScreenshots : public MainWindowTest {
 protected:
  void SetUp() override {
    dir = std::getenv("DOT11A_SCREENSHOT_DIR");
    if (dir == nullptr) GTEST_SKIP() << "DOT11A_SCREENSHOT_DIR is not set";
    std::filesystem::create_directories(dir);
    MainWindowTest::SetUp();
    gfx::setString(fig, "Visible", "on");
  }
  void TearDown() override {
    if (dir == nullptr) return;
    deleteDialogs();
    MainWindowTest::TearDown();
  }
  void save(double window, const std::string& name) {
    QCoreApplication::processEvents();
    gfx::savePicture(window, std::string(dir) + "/" + name);
  }
  const char* dir = nullptr;
};

TEST_F(DialogScreenshots, MacHeaderDialog) {
  choose("chkMACheader", 1);
  const double dialog = global("figureList").field("MACheader").toScalar();
  whileOpen(dialog, [&] {
    save(dialog, "mac-header.png");
    typeInto(dialog, "txtFrameCntrl", "0108");
    typeInto(dialog, "txtAddress1", "00112233445566");
    setAndFire(dialog, "chkAddress4", 0);
    typeInto(dialog, "txtAddress2", "00:11");
    save(dialog, "mac-header-edited.png");
    press(dialog, "pbOK");
  });
  gfx::runCallback(h("pbMACheaderSetup"));
  save(fig, "main-window-after-mac-header.png");
}

TEST_F(DialogScreenshots, SubCarrierDialog) {
  const double dialog = global("figureList").field("SubCarriersMask").toScalar();
  whileOpen(dialog, [&] {
    save(dialog, "sub-carriers.png");
    setAndFire(dialog, "pdFastEditCarriers", 3);
    setAndFire(dialog, "scrollbar", 23);  // the DC row in view
    save(dialog, "sub-carriers-every-fourth.png");
    press(dialog, "pbOK");
  });
  gfx::runCallback(h("pbSubCarriers"));
}

}  // namespace
}  // namespace dot11a::test
