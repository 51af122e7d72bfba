// The operation table and its binding list as the binding tests see them, read
// from the same files the entry points are generated from.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "dot11a/call.hpp"
#include "dot11a/dialogs.hpp"

// The pending operations, declared weakly here in the tests only (the library
// binds nothing weakly): an implementation that has been written but is still
// listed as pending would be unreachable, and the tests name it.
namespace dot11a::op {
#define WINDOW(entry)
#define PENDING(entry) void entry(Call&) __attribute__((weak));
#include "ops/binding.def"
#undef WINDOW
#undef PENDING
}  // namespace dot11a::op

namespace dot11a::test {

enum class Binding { Table, Window, Pending };

inline Binding bindingOf(std::string_view name) {
#define WINDOW(entry) \
  if (name == #entry) return Binding::Window;
#define PENDING(entry) \
  if (name == #entry) return Binding::Pending;
#include "ops/binding.def"
#undef WINDOW
#undef PENDING
  return Binding::Table;
}

// The names of the table's operations bound the given way, in table order.
inline std::vector<std::string> operationsBound(Binding binding) {
  std::vector<std::string> names;
#define OP(entry, nin, nout, nv, line) \
  if (bindingOf(#entry) == binding) names.emplace_back(#entry);
#include "ops/operations.def"
#undef OP
  return names;
}

// What a call with no inputs answers: the error text, or "" when it returned.
// Dialogs are scripted: questions get their default, choosers are cancelled.
inline std::string answerWithoutInputs(const std::string& name) {
  ScopedScriptedDialogs dialogs;
  try {
    const OpInfo* op = findOperation(name);
    if (op == nullptr) return "not in the table";
    invoke(*op, op->nout == 0 ? 0 : 1, {});
  } catch (const std::exception& e) {
    return e.what();
  }
  return "";
}

inline bool saysNotAvailable(const std::string& answer) {
  return answer.find("not available in this build") != std::string::npos;
}

// Fails when an operation on the pending list has an implementation linked in.
inline void expectStillPending(const std::string& name) {
  OpFn written = nullptr;
#define WINDOW(entry)
#define PENDING(entry) \
  if (name == #entry) written = &dot11a::op::entry;
#include "ops/binding.def"
#undef WINDOW
#undef PENDING
  EXPECT_EQ(written, nullptr) << "dot11a::op::" << name << " is implemented now, but " << name
                              << " is still PENDING in src/ops/binding.def, so it "
                              << "cannot be called. Change PENDING(" << name << ") to WINDOW("
                              << name << ") if it lives in src/gui, or delete the line.";
}

// Fails when an operation that is not on the pending list is not bound.
inline void expectImplemented(const std::string& name) {
  EXPECT_NE(findOperation(name)->fn, nullptr)
      << name << " has no implementation. Define void dot11a::op::" << name
      << "(dot11a::Call&), or, if it is not implemented yet, list it as PENDING(" << name
      << ") in src/ops/binding.def.";
  const std::string answer = answerWithoutInputs(name);
  EXPECT_FALSE(saysNotAvailable(answer)) << name << ": " << answer;
}

// Param names for the parameterised suites: the operation's name.
inline std::string operationParamName(const ::testing::TestParamInfo<std::string>& info) {
  return info.param;
}

}  // namespace dot11a::test
