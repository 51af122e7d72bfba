// A temporary folder of the running test's own, for tests that write files.
#pragma once

#include <filesystem>
#include <string>

#include "common/library_fixture.hpp"

namespace dot11a::test {

// <temp>/dot11a-<label>-<process id>-<test name>, made empty. Each test of a
// program gets its own folder, so no test sees files an earlier one left.
std::filesystem::path freshTestFolder(const std::string& label);

// A fresh folder for each test, removed after it.
class TempFolderTest : public ::testing::Test {
 protected:
  explicit TempFolderTest(std::string label) : label_(std::move(label)) {}
  void SetUp() override { dir = freshTestFolder(label_); }
  void TearDown() override {
    if (!dir.empty()) std::filesystem::remove_all(dir);
  }
  std::string path(const std::string& name) const { return (dir / name).string(); }

  std::filesystem::path dir;

 private:
  std::string label_;
};

// The same with the library started (suites that link the operations layer).
class FolderTest : public TempFolderTest {
 protected:
  explicit FolderTest(std::string label) : TempFolderTest(std::move(label)) {}
  void SetUp() override {
    useLibrary();
    TempFolderTest::SetUp();
  }
};

}  // namespace dot11a::test
