// Pictures of the shell's windows with the real Qt dialogs: the main window
// after Calculate, every question the shell asks, and the about box. Runs only
// when DOT11A_SCREENSHOT_DIR names a folder (scripts/screenshots.sh sets it).
#include <QAbstractButton>
#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>
#include <deque>
#include <filesystem>
#include <fstream>

#include "common/library_fixture.hpp"
#include "dot11a/call.hpp"
#include "dot11a/dialogs.hpp"
#include "gui/graphics/graphics.hpp"
#include "screenshots.hpp"

namespace dot11a::test {
namespace {

namespace fs = std::filesystem;

// Answers the dialogs that open, one step each: saves a picture of a message
// box and closes it (or presses a button), or picks a file in a file chooser.
class DialogDriver {
 public:
  struct Step {
    std::string picture;  // file name in the screenshot folder, or empty
    std::string button;   // button to press; empty closes the box
    std::string file;     // for a file chooser: the path to accept
  };
  explicit DialogDriver(std::string dir) : dir_(std::move(dir)) {
    QObject::connect(&timer_, &QTimer::timeout, [this] { poll(); });
    timer_.start(30);
  }
  void expect(Step s) { steps_.push_back(std::move(s)); }
  bool done() const { return steps_.empty(); }
  std::vector<std::string> saved;

 private:
  void poll() {
    if (steps_.empty()) return;
    for (QWidget* w : QApplication::topLevelWidgets()) {
      auto* dialog = qobject_cast<QDialog*>(w);
      if (dialog == nullptr || !dialog->isVisible() || dialog->property("handled").toBool())
        continue;
      dialog->setProperty("handled", true);
      const Step step = steps_.front();
      steps_.pop_front();
      if (auto* chooser = qobject_cast<QFileDialog*>(dialog)) {
        chooser->selectFile(QString::fromStdString(step.file));
        QMetaObject::invokeMethod(chooser, "accept", Qt::QueuedConnection);
        return;
      }
      QCoreApplication::processEvents();
      if (!step.picture.empty()) {
        const std::string path = dir_ + "/" + step.picture;
        if (dialog->grab().save(QString::fromStdString(path))) saved.push_back(step.picture);
      }
      auto* box = qobject_cast<QMessageBox*>(dialog);
      if (box != nullptr && !step.button.empty()) {
        for (QAbstractButton* b : box->buttons())
          if (b->text().replace("&&", "&") == QString::fromStdString(step.button)) {
            b->click();
            return;
          }
      }
      dialog->reject();
      return;
    }
  }
  std::string dir_;
  std::deque<Step> steps_;
  QTimer timer_;
};

TEST(ShellScreenshots, MainWindowQuestionsAndAbout) {
  // The real Qt dialogs: only for the screenshot script. On the offscreen
  // platform the file chooser of Save As is not answered and the test waits.
  if (std::getenv("DOT11A_SCREENSHOT_DIR") == nullptr)
    GTEST_SKIP() << "DOT11A_SCREENSHOT_DIR is not set";
  const std::string dir = screenshotFolder();
  useLibrary();
  fs::create_directories(dir);
  std::remove("defaults.mat");
  global("waveform") = Value::empty();
  // The Qt dialogs, not the scripted ones.
  auto previous = setDialogService(nullptr);
  gfx::ensureApplication();
  const double fig = feval1("dot11a_GUI_b", {}).toScalar();
  const Value h = gfx::guihandles(fig);
  QWidget* main = gfx::widgetOf(fig);
  main->show();
  auto shell = [&](const std::string& name, std::initializer_list<Value> rest = {}) {
    std::vector<Value> in{Value(name)};
    in.insert(in.end(), rest.begin(), rest.end());
    feval("rfCommonUI", 0, std::span<const Value>(in));
  };
  const Value cb[] = {Value(0.0), Value::empty(), h};
  auto callback = [&](const std::string& name) { shell(name, {cb[0], cb[1], cb[2]}); };
  DialogDriver driver(dir);

  driver.expect({"question-not-calculated.png", "", ""});
  shell("checkWaveformReady", {h, Value("Download")});  // closed: nothing happens

  gfx::runCallback(h.field("pbCalculate").toScalar());
  QCoreApplication::processEvents();
  main->grab().save(QString::fromStdString(dir + "/main-window-calculated.png"));

  gfx::setString(h.field("txtDataLength").toScalar(), "String", "500");
  gfx::runCallback(h.field("txtDataLength").toScalar());
  driver.expect({"question-not-recalculated.png", "Recalc & Download", ""});
  shell("checkWaveformReady", {h, Value("Download")});

  const fs::path tmp = fs::temp_directory_path() / "dot11a-shell-screens";
  fs::create_directories(tmp);
  driver.expect({"", "", (tmp / "waveout.wave.mat").string()});
  driver.expect({"question-special-save.png", "MAT", ""});
  callback("menuFileSaveAs_Callback");
  driver.expect({"", "", (tmp / "waveout.wave.mat").string()});
  driver.expect({"question-confirm-save-as.png", "No", ""});
  callback("menuFileSaveAs_Callback");

  global("configuration")
      .setField("LastParameterFilename", Value((tmp / "from-an-earlier-run.mat").string()));
  driver.expect({"question-overwrite-parameter-file.png", "", ""});
  callback("menuFileSave_Callback");

  global("configuration").setField("type", Value("RS232"));
  global("configuration").field("RS232").setField("baudrate", Value(300.0));
  driver.expect({"question-rs232-download.png", "", ""});
  callback("pbDownload_Callback");

  global("parameters").setField("ProjectedLength", 9e6);
  driver.expect({"question-waveform-too-large.png", "", ""});
  callback("menuConfigBBG1Opt1_Callback");

  callback("menuHelpAbout_Callback");
  QCoreApplication::processEvents();
  for (QWidget* w : QApplication::topLevelWidgets())
    if (w->objectName() == "KS_About" && w->isVisible()) {
      w->grab().save(QString::fromStdString(dir + "/about.png"));
      w->close();
    }

  EXPECT_TRUE(driver.done());
  EXPECT_EQ(driver.saved.size(), 7u);
  gfx::deleteFigure(fig);
  QCoreApplication::processEvents();
  fs::remove_all(tmp);
  std::remove("defaults.mat");
  setDialogService(std::move(previous));
}

}  // namespace
}  // namespace dot11a::test
