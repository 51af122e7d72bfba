// The GUI suite's entry: an application object on the offscreen platform (no
// display needed), the library started, and the splash never held up.
#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>

#include "common/library_fixture.hpp"
#include "runtime/graphics/graphics.hpp"

int main(int argc, char** argv) {
  if (std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  dot11a::test::useLibrary();
  dot11a::gfx::setSplashMinimumMs(0);
  return RUN_ALL_TESTS();
}
