// The GUI suite's entry: an application object on the offscreen platform (no
// display needed), the library started, and the splash never held up.
#include <gtest/gtest.h>

#include <unistd.h>
#include <QApplication>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "common/library_fixture.hpp"
#include "gui/graphics/graphics.hpp"

int main(int argc, char** argv) {
  if (std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  // The application stores its configuration in defaults.mat in the current
  // folder at shut-down and reads it at start-up; each run starts in a fresh
  // folder so one test's stored configuration never reaches another run.
  const std::filesystem::path work =
      std::filesystem::temp_directory_path() / ("dot11a-gui-" + std::to_string(::getpid()));
  std::filesystem::create_directories(work);
  std::filesystem::current_path(work);
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  dot11a::test::useLibrary();
  dot11a::gfx::setSplashMinimumMs(0);
  return RUN_ALL_TESTS();
}
