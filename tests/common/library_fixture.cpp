// Starting the library for the suites that call it, and values as bits.
#include "common/library_fixture.hpp"

#include "dot11a/error.hpp"

namespace dot11a::test {

namespace {
class LibraryEnvironment : public ::testing::Environment {
 public:
  void SetUp() override { Dot11a_b_libInitialize(); }
  void TearDown() override { Dot11a_b_libTerminate(); }
};
}  // namespace

void useLibrary() {
  static bool registered = false;
  if (!registered) {
    registered = true;
    Dot11a_b_libInitialize();  // the environment stops it at the end
    ::testing::AddGlobalTestEnvironment(new LibraryEnvironment);
  }
  if (!libraryRunning()) Dot11a_b_libInitialize();
}

std::vector<std::uint8_t> bitsOf(const Value& v) {
  return v.toBits();
}

}  // namespace dot11a::test
