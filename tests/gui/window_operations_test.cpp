// Every window operation of the table (the GUI component binds them) is
// implemented: each is called with no inputs and must answer something other
// than "not available in this build". Windows it opens are closed as soon as
// they show, so an operation that waits on its window returns.
#include <gtest/gtest.h>

#include <QApplication>
#include <QTimer>
#include <QWidget>

#include "common/library_fixture.hpp"
#include "gui/graphics/graphics.hpp"
#include "ops/operation_binding.hpp"

namespace dot11a::test {
namespace {

void closeTopLevelWindows() {
  for (QWidget* w : QApplication::topLevelWidgets())
    if (w->isVisible()) w->close();
}

class WindowOperation : public ::testing::TestWithParam<std::string> {
 protected:
  void SetUp() override {
    useLibrary();
    gfx::setSplashMinimumMs(0);
  }
  void TearDown() override {
    closeTopLevelWindows();
    QCoreApplication::processEvents();
  }
};

TEST_P(WindowOperation, AnswersWithoutSayingItIsNotAvailable) {
  QTimer closer;
  QObject::connect(&closer, &QTimer::timeout, closeTopLevelWindows);
  closer.start(10);
  expectImplemented(GetParam());
}

INSTANTIATE_TEST_SUITE_P(OperationTable, WindowOperation,
                         ::testing::ValuesIn(operationsBound(Binding::Window)), operationParamName);

// Linked with the GUI, an implementation of a pending operation written in
// src/gui is visible here: it must leave the pending list to be reachable.
TEST(OperationTable, NoPendingOperationIsImplementedInTheGui) {
  for (const std::string& name : operationsBound(Binding::Pending)) expectStillPending(name);
}

}  // namespace
}  // namespace dot11a::test
