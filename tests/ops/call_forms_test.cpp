// The exported call forms, argument-count checks, calls by name, module-local
// tables, shared globals and the library lifecycle.
#include <gtest/gtest.h>

#include <set>

#include "common/library_fixture.hpp"
#include "dot11a/library.hpp"

using dot11a::Value;
using dot11a::test::errorOf;

namespace {

class CallForms : public dot11a::test::LibraryTest {};

TEST_F(CallForms, TableHasEveryOperationOnce) {
  auto table = dot11a::operationTable();
  ASSERT_EQ(table.size(), 87u);
  std::set<std::string_view> names;
  for (const auto& op : table) names.insert(op.name);
  EXPECT_EQ(names.size(), 87u);
  EXPECT_EQ(table.front().name, "Dot11a_b");
  EXPECT_EQ(table.back().name, "dot11a_Sequence");
  EXPECT_EQ(dot11a::findOperation("hexString")->line, 3);
  EXPECT_EQ(dot11a::findOperation("readjpg")->nin, dot11a::kOnePlus);
}

TEST_F(CallForms, MlxChecksOutputsBeforeInputsAndDoesNoWork) {
  Value out[3];
  Value in[16];
  EXPECT_EQ(errorOf([&] { mlxDot11a_FRAME(3, out, 16, in); }),
            "Run-time Error: File: dot11a_FRAME Line: 1 Column: 1 The function \"dot11a_FRAME\" "
            "was called with more than the declared number of outputs (2).");
  EXPECT_TRUE(out[0].isAbsent());
  EXPECT_EQ(errorOf([&] { mlxDot11a_DATA(1, out, 14, in); }),
            "Run-time Error: File: dot11a_DATA Line: 1 Column: 1 The function \"dot11a_DATA\" "
            "was called with more than the declared number of inputs (13).");
  EXPECT_EQ(errorOf([&] { mlxHexString(1, out, 3, in); }),
            "Run-time Error: File: hexString Line: 3 Column: 1 The function \"hexString\" "
            "was called with more than the declared number of inputs (2).");
  EXPECT_EQ(errorOf([&] { mlxDot11a_b(1, out, 0, in); }),
            "Run-time Error: File: Dot11a_b Line: 1 Column: 1 The function \"Dot11a_b\" "
            "was called with more than the declared number of outputs (0).");
}

TEST_F(CallForms, AbsentInputIsNamedAndOutputsComeBack) {
  Value out[1];
  const Value in[1] = {Value::row({1, 0, 0, 0, 0, 0, 0, 0})};
  const std::string msg = errorOf([&] { mlxDot11a_Scramble(1, out, 1, in); });
  EXPECT_NE(msg.find("\"initValue\""), std::string::npos) << msg;

  const Value in2[2] = {Value::row({1, 0, 0, 0, 0, 0, 0}), Value(0.5)};
  mlxDot11a_ConvolEncode(1, out, 2, in2);
  EXPECT_EQ(out[0].numel(), 14u);
  EXPECT_EQ(mlfDot11a_ConvolEncode(in2[0], in2[1]), out[0]);
}

TEST_F(CallForms, InputsArePassedByValue) {
  Value msg = Value::row({1, 1, 1});
  Value copy = msg;
  copy.mutRe()[0] = 0;
  EXPECT_EQ(msg.real(0), 1.0);
  const Value out = mlfDot11a_Scramble(msg, Value::row({0, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(msg, Value::row({1, 1, 1}));
  EXPECT_EQ(out.numel(), 3u);
}

TEST_F(CallForms, UnassignedOutputWarnsWithItsName) {
  static const dot11a::OpInfo silent{
      "silentOp", 1, 1, 1, "silentOp", [](dot11a::Call& c) {
                                       c.outputNames({"result"}); }};
  dot11a::registerBuiltin(silent);
  std::vector<std::string> warnings;
  auto previous = dot11a::setWarningSink([&](std::string_view w) { warnings.emplace_back(w); });
  auto out = dot11a::feval("silentOp", 1, {Value(1.0)});
  dot11a::setWarningSink(previous);
  ASSERT_EQ(out.size(), 1u);
  EXPECT_TRUE(out[0].isAbsent());
  ASSERT_EQ(warnings.size(), 1u);
  EXPECT_NE(warnings[0].find("result"), std::string::npos);
  EXPECT_NE(warnings[0].find("silentOp"), std::string::npos);
}

// A module with a sub-function: reachable by name only while the module runs,
// with its own qualified name in the count errors, and the caller's table back
// afterwards even when an error unwinds.
const dot11a::LocalTable& moduleTable();
void moduleEntry(dot11a::Call& c) {
  dot11a::ModuleScope scope(&moduleTable());
  c.out(0) = dot11a::feval1("mod_helper", {c.in(0, "x")});
  if (c.in(0, "x").toScalar() < 0) dot11a::raise("negative");
}
const dot11a::LocalTable& moduleTable() {
  static const dot11a::LocalTable t{
      "testModule", {{"mod_helper", 1, 1, 47, "testModule/mod_helper", [](dot11a::Call& c) {
                        c.out(0) = Value(c.in(0, "x").toScalar() * 2);
                      }}}};
  return t;
}

TEST_F(CallForms, LocalTablesResolveFirstAndAreRestored) {
  static const dot11a::OpInfo entry{"testModule", 1, 1, 1, "testModule", &moduleEntry};
  dot11a::registerBuiltin(entry);
  EXPECT_EQ(dot11a::feval1("testModule", {Value(3.0)}), Value(6.0));
  EXPECT_EQ(dot11a::currentLocalTable(), nullptr);
  EXPECT_FALSE(dot11a::isCallable("mod_helper"));
  EXPECT_THROW(dot11a::feval("testModule", 1, {Value(-1.0)}), dot11a::Error);
  EXPECT_EQ(dot11a::currentLocalTable(), nullptr);

  dot11a::ModuleScope scope(&moduleTable());
  EXPECT_EQ(errorOf([] { dot11a::feval("mod_helper", 2, {Value(1.0)}); }),
            "Run-time Error: File: testModule/mod_helper Line: 47 Column: 1 The function "
            "\"testModule/mod_helper\" was called with more than the declared number of "
            "outputs (1).");
}

TEST_F(CallForms, SharedGlobalsAreTheTwelveNames) {
  EXPECT_EQ(dot11a::globalNames().size(), 13u);
  dot11a::global("parameters") = Value::record({{"x", Value(1.0)}});
  EXPECT_EQ(dot11a::global("parameters").field("x"), Value(1.0));
  EXPECT_THROW(dot11a::global("params"), dot11a::Error);
}

TEST(Lifecycle, EntryPointsRefuseWhileStoppedAndGlobalsStartEmpty) {
  dot11a::test::useLibrary();
  dot11a::global("waveform") = Value(1.0);
  Dot11a_b_libTerminate();
  EXPECT_FALSE(dot11a::libraryRunning());
  const std::string msg = errorOf([] { mlfDot11a_ConvolEncode(Value::row({1}), Value(0.5)); });
  EXPECT_NE(msg.find("Dot11a_b_libInitialize"), std::string::npos) << msg;
  Dot11a_b_libInitialize();
  EXPECT_TRUE(dot11a::global("waveform").isAbsent());
}

}  // namespace
