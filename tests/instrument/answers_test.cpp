// The gateway's reading of answers: lines, block answers holding line ends,
// malformed block headers, and error-queue answers.
#include <gtest/gtest.h>

#include "answers.hpp"
#include "links.hpp"

namespace {

using hwio::takeAnswer;

TEST(GatewayAnswers, LinesAndBlocksAreSplitWhereTheyEnd) {
  std::string buffer = "+0,\"No error\"\r\n#15a\nb\nc\n#0raw\nTAIL";
  EXPECT_EQ(takeAnswer(buffer, 100), "+0,\"No error\"");
  EXPECT_EQ(takeAnswer(buffer, 100), "#15a\nb\nc");  // the block's own line ends stay
  EXPECT_EQ(takeAnswer(buffer, 100), "#0raw");
  EXPECT_EQ(takeAnswer(buffer, 100), std::nullopt);  // "TAIL" waits for its line end
  EXPECT_EQ(buffer, "TAIL");
  // A block arriving in pieces is complete only with all its bytes.
  std::string part = "#210abc\n";
  EXPECT_EQ(takeAnswer(part, 100), std::nullopt);
  part += "defghij\n";
  EXPECT_EQ(takeAnswer(part, 100), "#210abc\ndefghij");
}

TEST(GatewayAnswers, MalformedOrOversizedAnswersAreFailures) {
  for (std::string bad : {"#x12\n", "#3a12abc\n", "#9999999999\n"}) {
    SCOPED_TRACE(bad);
    EXPECT_THROW(takeAnswer(bad, 1000), hwio::Failure);
  }
  std::string longLine(2000, 'x');
  EXPECT_THROW(takeAnswer(longLine, 1000), hwio::Failure);
}

TEST(GatewayAnswers, ErrorQueueAnswersGiveCodeAndText) {
  const auto e = hwio::parseErrorAnswer("-222,\"Data out of range\"");
  ASSERT_TRUE(e);
  EXPECT_EQ(e->code, -222);
  EXPECT_EQ(e->text, "Data out of range");
  EXPECT_EQ(hwio::parseErrorAnswer("+0,\"No error\"")->code, 0);
  EXPECT_FALSE(hwio::parseErrorAnswer("No error"));
  EXPECT_FALSE(hwio::parseErrorAnswer("99999999999999999999999,\"x\""));
}

}  // namespace
