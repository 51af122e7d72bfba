// Inputs at the edges of the operations: the reserved-word list asked for
// without an input, and error texts that state what the caller gave.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "common/library_fixture.hpp"
#include "dot11a/call.hpp"
#include "dot11a/library.hpp"

namespace {

using dot11a::Value;
using dot11a::test::errorOf;

class InputFaults : public dot11a::test::LibraryTest {};

TEST_F(InputFaults, IskeywordWithoutInputListsTheReservedWords) {
  const Value list = dot11a::feval1("iskeyword", {});
  ASSERT_TRUE(list.isCell());
  ASSERT_EQ(list.cols(), 1u);
  ASSERT_GT(list.numel(), 10u);
  std::vector<std::string> words;
  for (std::size_t i = 0; i < list.numel(); ++i) words.push_back(list.cellAt(i).str());
  for (const char* w : {"if", "while", "function", "end", "return"})
    EXPECT_NE(std::find(words.begin(), words.end(), w), words.end()) << w;
  // Every listed word is one.
  for (const std::string& w : words)
    EXPECT_TRUE(dot11a::feval1("iskeyword", {Value(w)}).truthy()) << w;
  EXPECT_FALSE(dot11a::feval1("iskeyword", {Value("frame")}).truthy());
}

// dot11a_DATA with the given modulation and everything else at a valid setting.
Value dataWithModulation(double modulation) {
  return mlfDot11a_DATA(Value(1.0), Value::row({1, 0, 1, 1, 0, 0, 0, 1}), Value(0.0), Value(6.0),
                        Value(modulation), Value(0.5), Value(1.0), Value(93.0), Value(1.0),
                        Value(1.0), Value(0.0), Value::row(std::vector<double>(64, 1.0)),
                        Value(0.0));
}

TEST_F(InputFaults, ModulationErrorStatesTheValueGiven) {
  EXPECT_EQ(dataWithModulation(1).numel(), 160u);  // SERVICE, 8 bits, tail: 2 symbols
  for (const auto& [given, text] :
       std::vector<std::pair<double, std::string>>{{5, "modulation code 5 "},
                                                   {2.5, "modulation code 2.5 "},
                                                   {0, "modulation code 0 "},
                                                   {-3, "modulation code -3 "}}) {
    const std::string msg = errorOf([&] { dataWithModulation(given); });
    EXPECT_NE(msg.find(text), std::string::npos) << msg;
  }
}

// dot11a_FRAME, framed, 6 Mbit/s, without an idle interval, for a payload of
// `bits` bits.
Value frameOf(std::size_t bits) {
  return mlfDot11a_FRAME(nullptr, Value(1.0), Value::row(std::vector<double>(bits, 1.0)),
                         Value(0.0), Value(6.0), Value(1.0), Value(0.5), Value(1.0), Value(93.0),
                         Value(1.0), Value::row(std::vector<double>(53, 1.0)), Value(1.0),
                         Value(0.0), Value(0.0), Value(0.0), Value(0.0));
}

TEST_F(InputFaults, OverLongPayloadErrorStatesItsTrueSize) {
  EXPECT_GT(frameOf(32760).numel(), 0u);  // 4095 octets: the largest the SIGNAL field announces
  std::string msg = errorOf([] { frameOf(32768); });
  EXPECT_NE(msg.find("payload of 4096 octets exceeds the 4095-octet limit"), std::string::npos)
      << msg;
  msg = errorOf([] { frameOf(32761); });
  EXPECT_NE(msg.find("payload of 32761 bits exceeds the 4095-octet limit"), std::string::npos)
      << msg;
}

}  // namespace
