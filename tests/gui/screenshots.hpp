// Where the screenshot tests save their pictures, and what a picture must
// show. The tests run everywhere: into DOT11A_SCREENSHOT_DIR when it names a
// folder (scripts/screenshots.sh), otherwise into the test's own folder,
// removed after it.
#pragma once

#include <gtest/gtest.h>

#include <QImage>
#include <QString>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>

namespace dot11a::test {

inline std::string screenshotFolder() {
  const char* chosen = std::getenv("DOT11A_SCREENSHOT_DIR");
  const std::string dir = chosen != nullptr ? chosen : std::filesystem::current_path().string();
  std::filesystem::create_directories(dir);
  return dir;
}

// The picture was written, is at least `width` x `height` pixels and shows
// more than a flat area: a window drawn with its contents.
inline ::testing::AssertionResult showsSomething(const std::string& file, int width, int height) {
  const QImage image(QString::fromStdString(file));
  if (image.isNull()) return ::testing::AssertionFailure() << file << " is no picture";
  if (image.width() < width || image.height() < height)
    return ::testing::AssertionFailure()
           << file << " is " << image.width() << " x " << image.height() << " pixels";
  std::set<QRgb> colours;
  for (int y = 0; y < image.height(); y += 4)
    for (int x = 0; x < image.width(); x += 4) colours.insert(image.pixel(x, y));
  if (colours.size() < 3)
    return ::testing::AssertionFailure() << file << " shows " << colours.size() << " colours";
  return ::testing::AssertionSuccess();
}

// The two pictures differ: what changed between them is on the screen.
inline bool picturesDiffer(const std::string& a, const std::string& b) {
  return QImage(QString::fromStdString(a)) != QImage(QString::fromStdString(b));
}

}  // namespace dot11a::test
