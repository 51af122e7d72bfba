// Pictures of the MAC header and sub-carrier dialogs as a user leaves them
// after a few edits (into DOT11A_SCREENSHOT_DIR when it names a folder, as
// scripts/screenshots.sh sets it): the edits show in the pictures, and OK
// takes them.
#include <QCoreApplication>
#include <QWidget>
#include <cstdlib>
#include <filesystem>

#include "gui_fixture.hpp"
#include "modal_steps.hpp"
#include "screenshots.hpp"

namespace dot11a::test {
namespace {

class DialogScreenshots : public MainWindowTest {
 protected:
  void SetUp() override {
    MainWindowTest::SetUp();
    dir = screenshotFolder();
    gfx::setString(fig, "Visible", "on");
  }
  void TearDown() override {
    deleteDialogs();
    MainWindowTest::TearDown();
  }
  void save(double window, const std::string& name) {
    QCoreApplication::processEvents();
    // The window as drawn (savePicture paints a plot window's axes only).
    gfx::widgetOf(window)->grab().save(QString::fromStdString(at(name)));
  }
  std::string at(const std::string& name) const { return dir + "/" + name; }
  std::string dir;
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
  EXPECT_TRUE(showsSomething(at("mac-header.png"), 200, 100));
  EXPECT_TRUE(picturesDiffer(at("mac-header.png"), at("mac-header-edited.png")));
  EXPECT_TRUE(showsSomething(at("main-window-after-mac-header.png"), 400, 300));
  // Without Address4 the header has 24 octets in front of the 1024.
  EXPECT_EQ(str("txtTotalLength"), "1048");
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
  const Value before = params().field("SubCarriers");
  gfx::runCallback(h("pbSubCarriers"));
  EXPECT_TRUE(showsSomething(at("sub-carriers.png"), 200, 100));
  EXPECT_TRUE(picturesDiffer(at("sub-carriers.png"), at("sub-carriers-every-fourth.png")));
  EXPECT_NE(params().field("SubCarriers"), before);
}

}  // namespace
}  // namespace dot11a::test
