// What the file tests share: a folder of the test's own with the default
// parameter set, with its derived fields, as the one in force; dot11a-gen run
// as a test bench runs it; a folder's listing.
#pragma once

#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

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

// What dot11a-gen printed (standard output and error) and its wait status.
struct GenRun {
  int status;
  std::string output;
};

inline GenRun gen(const std::string& args) {
  const std::string cmd = std::string(DOT11A_BIN_DIR) + "/dot11a-gen " + args + " 2>&1";
  GenRun r{0, ""};
  FILE* p = ::popen(cmd.c_str(), "r");
  std::array<char, 512> buf;
  while (std::fgets(buf.data(), buf.size(), p)) r.output += buf.data();
  r.status = ::pclose(p);
  return r;
}

// The names in `dir`, sorted.
inline std::vector<std::string> entries(const std::filesystem::path& dir) {
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(dir))
    names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace dot11a::test
