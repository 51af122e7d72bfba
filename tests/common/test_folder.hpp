// A temporary folder of the running test's own, for tests that write files.
#pragma once

#include <filesystem>
#include <string>

#include "common/library_fixture.hpp"

namespace dot11a::test {

// <temp>/dot11a-<label>-<process id>-<test name>, made empty. Each test of a
// program gets its own folder, so no test sees files an earlier one left.
std::filesystem::path freshTestFolder(const std::string& label);

// The library started and a fresh folder for each test, removed after it.
class FolderTest : public LibraryTest {
 protected:
  explicit FolderTest(std::string label) : label_(std::move(label)) {}
  void SetUp() override {
    LibraryTest::SetUp();
    dir = freshTestFolder(label_);
  }
  void TearDown() override {
    if (!dir.empty()) std::filesystem::remove_all(dir);
  }
  std::string path(const std::string& name) const { return (dir / name).string(); }

  std::filesystem::path dir;

 private:
  std::string label_;
};

}  // namespace dot11a::test
