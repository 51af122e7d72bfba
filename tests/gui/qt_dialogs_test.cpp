// The Qt dialog service answered by a simulated user, and the application
// entry returning when its main window closes.
#include <QApplication>
#include <QDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <functional>

#include "dot11a/library.hpp"
#include "gui_fixture.hpp"

namespace dot11a::gfx {
std::unique_ptr<DialogService> makeQtDialogs();
}

namespace dot11a::test {
namespace {

// Acts on the modal dialog as soon as it is up.
void whenModal(std::function<void(QWidget*)> act) {
  QTimer::singleShot(0, [act] {
    QWidget* w = QApplication::activeModalWidget();
    if (w == nullptr) return whenModal(act);
    act(w);
  });
}

class QtDialogs : public ::testing::Test {
 protected:
  void SetUp() override {
    useLibrary();
    previous = setDialogService(gfx::makeQtDialogs());
  }
  void TearDown() override { setDialogService(std::move(previous)); }
  std::unique_ptr<DialogService> previous;
};

TEST_F(QtDialogs, QuestionReturnsTheButtonChosenOrNothingWhenClosed) {
  whenModal([](QWidget* w) {
    auto* box = qobject_cast<QMessageBox*>(w);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->windowTitle(), "Waveform Not Recalculated");
    // "&&" is how a button shows a plain "&" rather than a shortcut mark.
    EXPECT_EQ(box->defaultButton()->text(), "Recalc && Plot");
    for (QAbstractButton* b : box->buttons())
      if (b->text() == "Yes") b->click();
  });
  EXPECT_EQ(dialogs().question("Waveform Not Recalculated", "Settings have changed.",
                               {"Yes", "Recalc & Plot", "Cancel"}, "Recalc & Plot"),
            "Yes");
  whenModal([](QWidget* w) { w->close(); });
  EXPECT_EQ(dialogs().question("Q", "Closed?", {"Yes", "Cancel"}, "Yes"), "");
}

TEST_F(QtDialogs, InputReturnsEveryFieldOrNothingWhenCancelled) {
  whenModal([](QWidget* w) {
    const auto fields = w->findChildren<QLineEdit*>();
    ASSERT_EQ(fields.size(), 2);
    EXPECT_EQ(fields[0]->text(), "1");
    EXPECT_EQ(fields[1]->text(), "0");
    fields[1]->setText("0.5");
    qobject_cast<QDialog*>(w)->accept();
  });
  const auto answer =
      dialogs().input("Eye Diagram Configuration",
                      {"Enter number of symbols:", "Enter symbol delay (0-1):"}, {"1", "0"});
  ASSERT_TRUE(answer.has_value());
  EXPECT_EQ(*answer, (std::vector<std::string>{"1", "0.5"}));
  whenModal([](QWidget* w) { qobject_cast<QDialog*>(w)->reject(); });
  EXPECT_FALSE(dialogs().input("T", {"A:"}, {"x"}).has_value());
}

// The application entry runs until its main window goes away.
TEST(Application, EntryReturnsWhenTheMainWindowCloses) {
  useLibrary();
  ScopedScriptedDialogs script;
  gfx::setSplashMinimumMs(0);
  // Closes the main window once it is shown (start-up serves events before).
  std::function<void()> closeMain = [&closeMain] {
    for (QWidget* w : QApplication::topLevelWidgets())
      if (w->objectName() == "main" && w->isVisible()) {
        w->close();
        return;
      }
    QTimer::singleShot(10, closeMain);
  };
  QTimer::singleShot(0, closeMain);
  feval("Dot11a_b", 0, {});
  for (QWidget* w : QApplication::topLevelWidgets())
    EXPECT_FALSE(w->objectName() == "main" && w->isVisible());
}

}  // namespace
}  // namespace dot11a::test
