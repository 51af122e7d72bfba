// Every operation of the table is either implemented or on the short pending
// list of src/ops/binding.def: each operation bound below the GUI is called
// with no inputs and must answer something other than "not available in this
// build", and each pending one must still say that it is not available. The
// window operations are called by the GUI suite, which has a window system.
#include <gtest/gtest.h>

#include "common/library_fixture.hpp"
#include "ops/operation_binding.hpp"

namespace dot11a::test {
namespace {

class ImplementedOperation : public ::testing::TestWithParam<std::string> {
 protected:
  void SetUp() override { useLibrary(); }
};

TEST_P(ImplementedOperation, AnswersWithoutSayingItIsNotAvailable) {
  expectImplemented(GetParam());
}

INSTANTIATE_TEST_SUITE_P(OperationTable, ImplementedOperation,
                         ::testing::ValuesIn(operationsBound(Binding::Table)), operationParamName);

class PendingOperation : public ImplementedOperation {};

TEST_P(PendingOperation, SaysItIsNotAvailable) {
  const std::string& name = GetParam();
  EXPECT_EQ(findOperation(name)->fn, nullptr)
      << name << " is on the pending list but bound; remove PENDING(" << name
      << ") from src/ops/binding.def.";
  expectStillPending(name);
  const std::string answer = answerWithoutInputs(name);
  EXPECT_EQ(answer,
            "The operation \"" + name + "\" is not available in this build of the library yet.");
}

GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(PendingOperation);
INSTANTIATE_TEST_SUITE_P(OperationTable, PendingOperation,
                         ::testing::ValuesIn(operationsBound(Binding::Pending)),
                         operationParamName);

// The window operations come with the GUI component: linked with it, all are
// bound (the GUI suite calls them); without it (a build without Qt, or a
// suite that links the layers below the GUI only), none is, and each says it
// is not available.
TEST(OperationTable, WindowOperationsComeTogetherWithTheGui) {
  useLibrary();
  const std::vector<std::string> windows = operationsBound(Binding::Window);
  ASSERT_FALSE(windows.empty());
  const bool withGui = findOperation(windows.front())->fn != nullptr;
  for (const std::string& name : windows) {
    EXPECT_EQ(findOperation(name)->fn != nullptr, withGui) << name;
    if (!withGui) {
      EXPECT_EQ(
          answerWithoutInputs(name),
          "The operation \"" + name + "\" is not available in this build of the library yet.");
    }
  }
}

}  // namespace
}  // namespace dot11a::test
