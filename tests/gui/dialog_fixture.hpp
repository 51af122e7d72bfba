// The fixture of the tests of a dialog the main window loads at its start and
// opens with one of its buttons.
#pragma once

#include <functional>
#include <string>
#include <utility>

#include "gui_fixture.hpp"
#include "modal_steps.hpp"

namespace dot11a::test {

class MainWindowDialogTest : public MainWindowTest {
 protected:
  // `listed`: the dialog's field in the figure list; `opener`: the main
  // window's button that opens it.
  MainWindowDialogTest(std::string listed, std::string opener)
      : listed_(std::move(listed)), opener_(std::move(opener)) {}
  void SetUp() override {
    MainWindowTest::SetUp();
    dialog = global("figureList").field(listed_).toScalar();
    ASSERT_TRUE(gfx::isHandle(dialog) && dialog != 0);
  }
  void TearDown() override {
    deleteDialogs();
    MainWindowTest::TearDown();
  }
  // Opens the dialog with the main window's button; `steps` run while it is open.
  void openWith(std::function<void()> steps) {
    whileOpen(dialog, std::move(steps));
    gfx::runCallback(h(opener_));
  }

  double dialog = 0;

 private:
  std::string listed_;
  std::string opener_;
};

}  // namespace dot11a::test
