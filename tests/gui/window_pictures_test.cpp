// The averaged spectrum drawn as a picture without a screen (dot11a_b
// --plot-spectrum): the window's view of a capture, saved whole, its mask
// verdict returned; a capture that cannot be read leaves no picture.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "common/test_folder.hpp"
#include "dot11a/window_pictures.hpp"
#include "screenshots.hpp"

namespace dot11a::test {
namespace {

class WindowPictures : public FolderTest {
 protected:
  WindowPictures() : FolderTest("pictures") {}
};

TEST_F(WindowPictures, SpectrumOfACaptureWithItsMaskVerdict) {
  const std::string frames = path("frames.sigmf-meta");
  const std::string gen = std::string(DOT11A_BIN_DIR) +
                          "/dot11a-gen --rate 24 --oversampling 4 --frames 3 -o " + frames +
                          " >/dev/null 2>&1";
  ASSERT_EQ(std::system(gen.c_str()), 0) << gen;
  const std::string verdict = saveAveragedSpectrumPicture(frames, path("spectrum.png"));
  EXPECT_EQ(verdict.rfind("Mask PASS: worst margin ", 0), 0u) << verdict;
  EXPECT_TRUE(showsSomething(path("spectrum.png"), 500, 400));

  try {
    saveAveragedSpectrumPicture(path("none.sigmf-meta"), path("none.png"));
    ADD_FAILURE() << "a missing capture was drawn";
  } catch (const std::exception& e) {
    EXPECT_NE(std::string(e.what()).find("none.sigmf"), std::string::npos) << e.what();
  }
  EXPECT_FALSE(std::filesystem::exists(path("none.png")));
}

}  // namespace
}  // namespace dot11a::test
