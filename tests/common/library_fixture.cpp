#include "common/library_fixture.hpp"

#include <fstream>
#include <sstream>

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

std::vector<std::uint8_t> bitsFrom(const std::string& text) {
  std::vector<std::uint8_t> bits;
  for (char ch : text)
    if (ch == '0' || ch == '1') bits.push_back(static_cast<std::uint8_t>(ch - '0'));
  return bits;
}

std::string bitsToString(std::span<const std::uint8_t> bits) {
  std::string s;
  for (auto b : bits) s += b ? '1' : '0';
  return s;
}

std::vector<std::uint8_t> bitsOf(const Value& v) {
  return v.toBits();
}

std::string errorOf(const std::function<void()>& fn) {
  try {
    fn();
  } catch (const Error& e) {
    return e.what();
  }
  return kNoError;
}

std::string readSharedFile(const std::string& relative) {
  const std::string path = std::string(DOT11A_SHARED_DIR) + "/" + relative;
  std::ifstream f(path, std::ios::binary);
  if (!f) {
    ADD_FAILURE() << "cannot read " << path;
    return {};
  }
  std::ostringstream s;
  s << f.rdbuf();
  return s.str();
}

}  // namespace dot11a::test
