// The graphics layer and the window support operations, on windows of their
// own: placement, font scaling, menus and the zoom/rotate toggles, callbacks,
// modal waits, window data, pictures and the splash.
#include <QTimer>
#include <QWidget>
#include <cstdlib>
#include <filesystem>

#include "gui_fixture.hpp"
#include "screenshots.hpp"

namespace dot11a::test {
namespace {

class Graphics : public ::testing::Test {
 protected:
  void SetUp() override { useLibrary(); }
  void TearDown() override {
    for (double f : windows) gfx::deleteFigure(f);
    gfx::setPixelsPerInchOverride(0);
    QCoreApplication::processEvents();
  }
  double window() {
    const double f = feval1("loadFigure", {Value("KS_Splash.fig"), 0.0}).toScalar();
    windows.push_back(f);
    return f;
  }
  std::vector<double> windows;
};

TEST_F(Graphics, ChildWindowIsCentredOverItsParentKeepingItsSize) {
  const double parent = window(), child = window();
  gfx::set(parent, "Position", row({100, 100, 800, 600}));
  gfx::set(child, "Position", row({0, 0, 400, 300}));
  feval("positionChildWindow", 0, {parent, child});
  EXPECT_EQ(gfx::get(child, "Position"), row({300, 250, 400, 300}));
  // Over the screen: centred in [1 1 width height].
  feval("positionChildWindow", 0, {0.0, child});
  const Value screen = gfx::screenSize();
  const Value pos = gfx::get(child, "Position");
  EXPECT_NEAR(pos.real(0), 1 + (screen.real(2) - 400) / 2, 0.5);
  EXPECT_NEAR(pos.real(1), 1 + (screen.real(3) - 300) / 2, 0.5);
}

TEST_F(Graphics, WindowsMoveOntoTheScreenAndLayoutsCanBeReused) {
  const double f = window();
  const Value screen = gfx::screenSize();
  gfx::set(f, "Position", row({-500, -500, 200, 100}));
  feval("movegui", 0, {f});
  EXPECT_EQ(gfx::get(f, "Position"), row({0, 0, 200, 100}));
  feval("movegui", 0, {f, Value("northeast")});
  EXPECT_EQ(gfx::get(f, "Position"), row({screen.real(2) - 200, screen.real(3) - 100, 200, 100}));
  feval("movegui", 0, {f, row({-10, 20})});
  EXPECT_EQ(gfx::get(f, "Position"), row({screen.real(2) - 210, 20, 200, 100}));
  EXPECT_THROW(feval("movegui", 0, {f, Value("sideways")}), Error);
  const double again = feval1("openfig", {Value("KS_Splash.fig"), Value("reuse")}).toScalar();
  windows.push_back(again);
  EXPECT_TRUE(gfx::isHandle(again));
  const double fresh = feval1("openfig", {Value("KS_Splash.fig"), Value("new")}).toScalar();
  windows.push_back(fresh);
  EXPECT_NE(fresh, again);
  EXPECT_THROW(feval("openfig", 1, {Value("no_such_layout.fig"), Value("new")}), Error);
}

TEST_F(Graphics, FontsGrowByATenthOnlyOnA96DpiScreen) {
  const double f = window();
  const Value handles = gfx::guidata(f);  // loadFigure stored the handles record
  const double small = handles.field("txtSubtitle").toScalar();
  const double large = handles.field("txtProduct").toScalar();
  gfx::setNumber(small, "FontSize", 8);
  gfx::setNumber(large, "FontSize", 10);
  gfx::setPixelsPerInchOverride(120);
  feval("resizeAllFonts", 0, {handles});
  EXPECT_EQ(gfx::getNumber(small, "FontSize"), 8);
  gfx::setPixelsPerInchOverride(96);
  feval("resizeAllFonts", 0, {handles});
  EXPECT_EQ(gfx::getNumber(small, "FontSize"), 9);
  EXPECT_EQ(gfx::getNumber(large, "FontSize"), 11);
  EXPECT_FALSE(gfx::hasProperty(f, "FontSize"));  // the window itself has none
}

TEST_F(Graphics, ZoomAndRotateTogglesExcludeEachOther) {
  const double f = window();
  auto item = [](const char* parent, const char* label, const char* tag, const char* cb) {
    return Value::record({{"Parent", Value(parent)},
                          {"Label", Value(label)},
                          {"Tag", Value(tag)},
                          {"Callback", Value(cb)}});
  };
  const Value made = feval1(
      "KS_AddMenu",
      {Value::record(
          {{"Figure", f},
           {"Items", Value::cellRow({item("", "&Tools", "menuTools", ""),
                                     item("menuTools", "&Zoom", "KS_Zoom", "KS_Zoom"),
                                     item("menuTools", "&Rotate", "KS_Rotate", "KS_Rotate")})}})});
  const double zoom = made.field("KS_Zoom").toScalar();
  const double rotate = made.field("KS_Rotate").toScalar();
  EXPECT_EQ(gfx::guihandles(f).field("KS_Zoom").toScalar(), zoom);
  gfx::runCallback(zoom);
  EXPECT_EQ(gfx::getString(zoom, "Checked"), "on");
  EXPECT_EQ(gfx::getString(f, "ZoomMode"), "on");
  gfx::runCallback(zoom);
  EXPECT_EQ(gfx::getString(zoom, "Checked"), "off");
  EXPECT_EQ(gfx::getString(rotate, "Checked"), "off");
  EXPECT_EQ(gfx::getString(f, "ZoomMode"), "off");
  gfx::runCallback(zoom);
  gfx::runCallback(rotate);
  EXPECT_EQ(gfx::getString(rotate, "Checked"), "on");
  EXPECT_EQ(gfx::getString(zoom, "Checked"), "off");
  EXPECT_EQ(gfx::getString(f, "RotateMode"), "on");
  EXPECT_EQ(gfx::getString(f, "ZoomMode"), "off");
}

std::vector<Value> recorded;
void recordArgs(Call& c) {
  recorded.assign(c.inputs().begin(), c.inputs().begin() + c.nargin());
}

TEST_F(Graphics, CallbackStringsAreEvaluatedWithTheCallingObject) {
  registerBuiltin({"testRecordArgs", kAny, 0, 1, "testRecordArgs", recordArgs});
  const double f = window();
  const double label = gfx::guidata(f).field("txtProduct").toScalar();
  gfx::setGuidata(label, Value("window data"));
  gfx::setString(label, "Callback", "testRecordArgs('it''s',gcbo,[],guidata(gcbo), -2.5, gcbf);");
  gfx::runCallback(label);
  ASSERT_EQ(recorded.size(), 6u);
  EXPECT_EQ(recorded[0], Value("it's"));
  EXPECT_EQ(recorded[1], Value(label));
  EXPECT_TRUE(recorded[2].isEmpty() && recorded[2].isDouble());
  EXPECT_EQ(recorded[3], Value("window data"));
  EXPECT_EQ(recorded[4], Value(-2.5));
  EXPECT_EQ(recorded[5], Value(f));
  // Malformed strings and failing operations are reported, never thrown.
  testing::internal::CaptureStderr();
  EXPECT_NO_THROW(gfx::evalCallback("testRecordArgs('open", label));
  EXPECT_NO_THROW(gfx::evalCallback("noSuchOperation(1)", label));
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("not closed"), std::string::npos) << err;
  EXPECT_NE(err.find("noSuchOperation"), std::string::npos) << err;
  EXPECT_EQ(gfx::gcbo(), 0);
}

TEST_F(Graphics, ModalWaitEndsOnResumeAndOnClose) {
  const double f = window();
  gfx::setString(f, "Visible", "on");
  QTimer::singleShot(0, [f] { gfx::uiresume(f); });
  gfx::uiwait(f);
  EXPECT_TRUE(gfx::isHandle(f));
  QTimer::singleShot(0, [f] { gfx::widgetOf(f)->close(); });
  gfx::uiwait(f);
  EXPECT_FALSE(gfx::isHandle(f));  // closing without a close request deletes it
  gfx::uiwait(f);                  // waiting on a closed window returns at once
}

TEST_F(Graphics, PropertiesRejectWhatTheControlCannotHold) {
  const double f = window();
  EXPECT_THROW(gfx::set(f, "Position", row({1, 2, 3})), Error);
  EXPECT_THROW(gfx::set(f, "Visible", Value("maybe")), Error);
  EXPECT_THROW(gfx::get(f, "NoSuchProperty"), Error);
  EXPECT_THROW(gfx::get(123456, "String"), Error);
  EXPECT_EQ(gfx::getString(f, "Units"), "pixels");
  gfx::set(f, "UserData", row({1, 2}));
  EXPECT_EQ(gfx::get(f, "UserData"), row({1, 2}));
  gfx::set(f, "Color", row({1, 0, 0}));
  EXPECT_EQ(gfx::get(f, "Color"), row({1, 0, 0}));
  EXPECT_EQ(gfx::get(0, "ScreenSize").numel(), 4u);
}

TEST_F(Graphics, SplashShowsItsPictureAndIgnoresCallsWithInputs) {
  const std::vector<Value> none = feval("KS_Splash", 1, {Value(1.0)});
  EXPECT_TRUE(none.empty() || none[0].isAbsent());
  const double splash = feval1("KS_Splash", {}).toScalar();
  windows.push_back(splash);
  EXPECT_EQ(gfx::getString(splash, "Visible"), "on");
  EXPECT_EQ(feval1("KS_Splash", {}).toScalar(), splash);  // reused while open
  const Value picture = gfx::get(gfx::guidata(splash).field("txtLogo").toScalar(), "CData");
  ASSERT_TRUE(picture.isRecord());
  EXPECT_EQ(picture.field("R").rows(), 240u);
  EXPECT_EQ(picture.field("R").cols(), 460u);
  EXPECT_THROW(feval("imread", 1, {Value("no-such-picture.jpg")}), Error);
}

TEST_F(Graphics, NameChecks) {
  EXPECT_TRUE(feval1("isvarname", {Value("dataLength_2")}).truthy());
  EXPECT_FALSE(feval1("isvarname", {Value("2data")}).truthy());
  EXPECT_FALSE(feval1("isvarname", {Value("for")}).truthy());
  EXPECT_FALSE(feval1("isvarname", {Value(std::string(64, 'a'))}).truthy());
  EXPECT_TRUE(feval1("iskeyword", {Value("while")}).truthy());
  EXPECT_EQ(feval1("getTagIndex", {Value("chkCarrier17")}), Value(17.0));
  EXPECT_TRUE(feval1("getTagIndex", {Value("pbOK")}).isEmpty());
}

// Saves pictures of the splash and the main window when asked to
// (scripts/screenshots.sh sets DOT11A_SCREENSHOT_DIR).
TEST(Screenshots, SplashAndMainWindow) {
  const std::string dirText = screenshotFolder();
  const char* dir = dirText.c_str();
  useLibrary();
  std::filesystem::create_directories(dir);
  ScopedScriptedDialogs script;
  auto save = [&](double h, const std::string& name) {
    QWidget* w = gfx::widgetOf(h);
    ASSERT_NE(w, nullptr);
    w->show();
    QCoreApplication::processEvents();
    EXPECT_TRUE(w->grab().save(QString::fromStdString(std::string(dir) + "/" + name)));
  };
  const double splash = feval1("KS_Splash", {}).toScalar();
  save(splash, "splash.png");
  gfx::deleteFigure(splash);
  const double fig = feval1("dot11a_GUI_b", {}).toScalar();
  save(fig, "main-window.png");
  const Value handles = gfx::guihandles(fig);
  const double mode = handles.field("tbGenerationMode").toScalar();
  gfx::setNumber(mode, "Value", 0);
  gfx::runCallback(mode);
  save(fig, "main-window-unframed.png");
  gfx::deleteFigure(fig);
  QCoreApplication::processEvents();
}

}  // namespace
}  // namespace dot11a::test
