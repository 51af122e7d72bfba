// The GUI suite's entry: an application object on the offscreen platform (no
// display needed), the library started, and the splash never held up.
#include <gtest/gtest.h>

#include <unistd.h>
#include <QApplication>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>
#include <utility>

#include "common/library_fixture.hpp"
#include "dot11a/call.hpp"
#include "gui/graphics/graphics.hpp"

namespace {

namespace fs = std::filesystem;

// Every test starts as the application does on a fresh machine: in an empty
// folder of its own (the application stores its configuration in defaults.mat
// in the current folder at Exit and reads it at start-up) and with the shared
// globals empty, so nothing one test stored or calculated reaches another. The
// folders live under one per-process folder that is removed at the end.
class FreshStartListener : public ::testing::EmptyTestEventListener {
 public:
  explicit FreshStartListener(fs::path root) : home_(fs::current_path()), root_(std::move(root)) {}
  void OnTestStart(const ::testing::TestInfo& test) override {
    const fs::path dir = root_ / (std::string(test.test_suite_name()) + "." + test.name());
    fs::create_directories(dir);
    fs::current_path(dir);
    if (dot11a::libraryRunning())
      for (std::string_view name : dot11a::globalNames()) dot11a::global(name) = dot11a::Value();
  }
  void OnTestEnd(const ::testing::TestInfo&) override { fs::current_path(root_); }
  void OnTestProgramEnd(const ::testing::UnitTest&) override {
    std::error_code ignored;
    fs::current_path(home_, ignored);
    fs::remove_all(root_, ignored);
  }

 private:
  fs::path home_;
  fs::path root_;
};

}  // namespace

int main(int argc, char** argv) {
  if (std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  const fs::path root = fs::temp_directory_path() / ("dot11a-gui-" + std::to_string(::getpid()));
  fs::create_directories(root);
  // Qt makes a runtime folder in the temporary folder when none is set; keep it
  // inside ours so that it goes with it.
  if (std::getenv("XDG_RUNTIME_DIR") == nullptr) {
    const fs::path runtime = root / "runtime";
    fs::create_directories(runtime);
    fs::permissions(runtime, fs::perms::owner_all, fs::perm_options::replace);
    setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
  }
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  ::testing::UnitTest::GetInstance()->listeners().Append(new FreshStartListener(root));
  dot11a::test::useLibrary();
  dot11a::gfx::setSplashMinimumMs(0);
  return RUN_ALL_TESTS();
}
