// The JPEG decoder reached by name: a picture written here comes back as its
// R, G and B planes, column-major, one row per picture line.
#include <QColor>
#include <QImage>
#include <filesystem>

#include "gui_fixture.hpp"

namespace dot11a::test {
namespace {

TEST(JpegDecoder, ReturnsThePlanesOfThePicture) {
  useLibrary();
  // 16 x 8 pixels: the left half red, the right half blue, written at full
  // quality into this test's own folder (main.cpp). JPEG is lossy, so colours
  // are compared with a tolerance away from the edge between the halves.
  QImage image(16, 8, QImage::Format_RGB32);
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 16; ++x)
      image.setPixelColor(x, y, x < 8 ? QColor(230, 20, 10) : QColor(0, 40, 220));
  const std::string path = (std::filesystem::current_path() / "halves.jpg").string();
  ASSERT_TRUE(image.save(QString::fromStdString(path), "JPG", 100));

  const Value planes = feval1("rjpgc", {Value(path)});
  ASSERT_TRUE(planes.isRecord());
  const Value& r = planes.field("R");
  const Value& g = planes.field("G");
  const Value& b = planes.field("B");
  ASSERT_EQ(r.rows(), 8u);
  ASSERT_EQ(r.cols(), 16u);
  ASSERT_EQ(b.rows(), 8u);
  for (std::size_t y = 0; y < 8; ++y) {
    for (std::size_t x : {0u, 3u, 12u, 15u}) {
      const std::size_t k = x * 8 + y;  // column-major
      const bool left = x < 8;
      EXPECT_NEAR(r.real(k), left ? 230 : 0, 24) << x << "," << y;
      EXPECT_NEAR(g.real(k), left ? 20 : 40, 24) << x << "," << y;
      EXPECT_NEAR(b.real(k), left ? 10 : 220, 24) << x << "," << y;
    }
  }
  EXPECT_THROW(feval1("rjpgc", {Value("no-such-picture.jpg")}), Error);
  EXPECT_THROW(feval1("rjpgc", {Value(3.0)}), Error);
}

}  // namespace
}  // namespace dot11a::test
