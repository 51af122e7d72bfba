// The operation table and its binding list as the binding tests see them, read
// from the same files the entry points are generated from.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "dot11a/call.hpp"
#include "dot11a/dialogs.hpp"

namespace dot11a::test {

enum class Binding { Table, Window, Pending };

inline Binding bindingOf(std::string_view name) {
#define WINDOW(op) \
  if (name == #op) return Binding::Window;
#define PENDING(op) \
  if (name == #op) return Binding::Pending;
#include "ops/binding.def"
#undef WINDOW
#undef PENDING
  return Binding::Table;
}

// The names of the table's operations bound the given way, in table order.
inline std::vector<std::string> operationsBound(Binding binding) {
  std::vector<std::string> names;
#define OP(op, nin, nout, nv, line) \
  if (bindingOf(#op) == binding) names.emplace_back(#op);
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
