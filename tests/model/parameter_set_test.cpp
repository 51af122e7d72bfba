// The default parameter set, its derived fields, and the checks the calculation
// makes before it synthesises.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include <unistd.h>
#include <vector>

#include "common/library_fixture.hpp"
#include "dot11a/call.hpp"
#include "dot11a/dialogs.hpp"
#include "dot11a/frame_record.hpp"
#include "dot11a/mac.hpp"
#include "dot11a/parameters.hpp"
#include "dot11a/payload.hpp"

using dot11a::Value;
using dot11a::test::errorOf;

namespace {

class ParameterSet : public ::testing::Test {};

TEST_F(ParameterSet, DataRateFollowsModulationAndCodingRate) {
  const double rates[] = {6, 9, 12, 18, 24, 36, 48, 54};
  for (int item = 1; item <= 8; ++item) {
    const auto pair = dot11a::ratePairOfItem(item);
    EXPECT_EQ(pair.dataRate, rates[item - 1]);
    EXPECT_EQ(dot11a::dataRateFor(pair.modulation, pair.encoderRate), rates[item - 1]);
    EXPECT_EQ(dot11a::dataRateItem(pair.modulation, pair.encoderRate), item);
  }
  // The coding rate as the window stores it (2/3 as a double) is recognised.
  EXPECT_EQ(dot11a::dataRateFor(4, 0.6666666666666666), 48);
  // Uncoded, or BPSK with 2/3, is a custom combination.
  for (double m = 1; m <= 4; ++m) EXPECT_EQ(dot11a::dataRateItem(m, 1), 9);
  EXPECT_EQ(dot11a::dataRateFor(1, 2.0 / 3.0), 0);
  EXPECT_EQ(dot11a::dataRateItem(1, 2.0 / 3.0), 9);
}

TEST_F(ParameterSet, CalculationRefusesAnEmptyUserFile) {
  dot11a::FrameParameters f;
  f.source = dot11a::PayloadSource::UserFile;
  f.dataLength = 0;
  f.macHeaderActive = true;  // a header alone is no user data
  const std::string msg = errorOf([&] { f.psdu(); });
  EXPECT_NE(msg.find("user data file"), std::string::npos) << msg;
}

}  // namespace
