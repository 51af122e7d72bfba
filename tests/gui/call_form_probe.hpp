// A probe put in place of one operation of the table while a test calls its
// exported forms: it records what the operation was handed (the number of
// outputs asked for and the inputs) and answers output i with the number i + 1,
// so the test can check both directions of a call form. Used by the test the
// generator writes from the operation table.
#pragma once

#include <gtest/gtest.h>

#include <cstddef>
#include <string>
#include <vector>

#include "common/library_fixture.hpp"
#include "dot11a/call.hpp"
#include "ops/entry.hpp"

namespace dot11a::test {

struct ProbeSeen {
  std::string name;
  int nargout = -1;
  std::vector<Value> inputs;
};

inline ProbeSeen& probeSeen() {
  static ProbeSeen seen;
  return seen;
}

inline void probeOperation(Call& c) {
  ProbeSeen& seen = probeSeen();
  seen.name = std::string(c.op().name);
  seen.nargout = c.nargout();
  seen.inputs.clear();
  for (std::size_t i = 0; i < c.nargin(); ++i) seen.inputs.push_back(c.in(i, "input"));
  for (int i = 0; i < c.nargout(); ++i) c.out(static_cast<std::size_t>(i)) = Value(i + 1.0);
}

// Binds the probe to the table entry `index` for the life of the object and
// puts the operation back afterwards.
class ProbeBinding {
 public:
  explicit ProbeBinding(std::size_t index) : index_(index) {
    useLibrary();
    saved_ = detail::kOperationTable[index].fn;
    const detail::OpBinding probe[] = {{index, &probeOperation}};
    detail::bindOperations(probe);
    probeSeen() = {};
  }
  ~ProbeBinding() {
    const detail::OpBinding back[] = {{index_, saved_}};
    detail::bindOperations(back);
  }
  ProbeBinding(const ProbeBinding&) = delete;
  ProbeBinding& operator=(const ProbeBinding&) = delete;

 private:
  std::size_t index_;
  OpFn saved_ = nullptr;
};

// The inputs a generated call passes: 1, 2, ... n.
inline std::vector<Value> probeInputs(std::size_t n) {
  std::vector<Value> v;
  for (std::size_t i = 0; i < n; ++i) v.emplace_back(static_cast<double>(i + 1));
  return v;
}

inline void expectSeen(const char* name, int nargout, std::size_t inputs) {
  const ProbeSeen& seen = probeSeen();
  EXPECT_EQ(seen.name, name);
  EXPECT_EQ(seen.nargout, nargout) << name;
  EXPECT_EQ(seen.inputs, probeInputs(inputs)) << name;
}

}  // namespace dot11a::test
