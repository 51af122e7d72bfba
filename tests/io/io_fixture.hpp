// The fixture of the file tests: a folder of the test's own and the default
// parameter set, with its derived fields, as the one in force.
#pragma once

#include <string>

#include "common/test_folder.hpp"
#include "dot11a/call.hpp"
#include "dot11a/parameters.hpp"

namespace dot11a::test {

class ParametersFolderTest : public FolderTest {
 protected:
  explicit ParametersFolderTest(std::string label) : FolderTest(std::move(label)) {}
  void SetUp() override {
    FolderTest::SetUp();
    Value p = defaultParameters();
    updateDerivedFields(p);
    global("parameters") = p;
  }
};

}  // namespace dot11a::test
