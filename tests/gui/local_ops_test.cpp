// A window module's local table built from rows: called by the registered
// name, counted as declared, errors naming "module/name".
#include "gui/graphics/local_ops.hpp"

#include "gui_fixture.hpp"

namespace dot11a::test {
namespace {

int calls = 0;
void countCalls(Call& c) {
  ++calls;
  c.out(0) = double(c.nargin());
}
void ignore(Call&) {}

TEST(LocalOperations, RegisteredNamesReachTheirFunctionsWithTheDeclaredCounts) {
  useLibrary();
  const LocalTable table = gfx::localOperations(
      "testModule",
      {{"redrawPaylodSetup", 1, 1, countCalls}, gfx::callback("pbGo_Callback", ignore)});
  EXPECT_EQ(table.module, "testModule");
  ModuleScope scope(&table);
  calls = 0;
  EXPECT_EQ(feval1("redrawPaylodSetup", {Value(1.0)}), Value(1.0));
  EXPECT_EQ(calls, 1);
  EXPECT_FALSE(isCallable("redrawPayloadSetup"));  // only the registered spelling
  // Callbacks take any inputs and give nothing.
  EXPECT_NO_THROW(feval("pbGo_Callback", 0, {1.0, Value::empty(), Value("x"), 4.0}));
  try {
    feval("redrawPaylodSetup", 1, {1.0, 2.0});
    ADD_FAILURE() << "two inputs were accepted";
  } catch (const Error& e) {
    EXPECT_NE(std::string(e.what()).find("testModule/redrawPaylodSetup"), std::string::npos)
        << e.what();
  }
}

}  // namespace
}  // namespace dot11a::test
