#include "common/test_folder.hpp"

#include <unistd.h>

#include <algorithm>

namespace dot11a::test {

std::filesystem::path freshTestFolder(const std::string& label) {
  // A parameterized test's name holds a '/': it must not make a sub-folder
  // that outlives the folder removed after the test.
  std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
  std::replace(name.begin(), name.end(), '/', '_');
  const std::filesystem::path dir =
      std::filesystem::temp_directory_path() /
      ("dot11a-" + label + "-" + std::to_string(::getpid()) + "-" + name);
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  return dir;
}

}  // namespace dot11a::test
