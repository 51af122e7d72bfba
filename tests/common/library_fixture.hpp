// Test helpers: the library started once per test program, bit rows and the
// text of a library error.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "dot11a/library.hpp"

namespace dot11a::test {

// Starts the library before the first test of a program and stops it after the
// last. Suites that need it call `useLibrary()` (idempotent) in SetUp or use
// the LibraryTest fixture.
void useLibrary();

class LibraryTest : public ::testing::Test {
 protected:
  void SetUp() override { useLibrary(); }
};

// "0110 1100" -> {0,1,1,0,1,1,0,0}; characters other than 0 and 1 are skipped.
std::vector<std::uint8_t> bitsFrom(const std::string& text);
std::string bitsToString(std::span<const std::uint8_t> bits);
std::vector<std::uint8_t> bitsOf(const Value& v);

// The text of the dot11a::Error that `fn` throws, or kNoError when it throws
// none (a text no error has, so a check for an error never passes by default).
inline constexpr const char* kNoError = "no error";
std::string errorOf(const std::function<void()>& fn);

// Reads a whole file of the shared folder (conformance data) or fails the test.
std::string readSharedFile(const std::string& relative);

}  // namespace dot11a::test
