// The helpers every suite shares, without the library: bit rows, the text of
// an error, files of the shared folder.
#include <fstream>
#include <sstream>

#include "common/library_fixture.hpp"
#include "dot11a/error.hpp"

namespace dot11a::test {

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
