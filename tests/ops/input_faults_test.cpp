// Inputs at the edges of the operations: the reserved-word list asked for
// without an input, and error texts that state what the caller gave.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <utility>
#include <vector>

#include "common/library_fixture.hpp"
#include "dot11a/call.hpp"
#include "dot11a/library.hpp"
#include "dot11a/parameters.hpp"
#include "dot11a/waveform.hpp"

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
    // Named captures: clang 14 cannot capture a structured binding.
    const std::string msg = errorOf([&g = given] { dataWithModulation(g); });
    EXPECT_NE(msg.find(text), std::string::npos) << msg;
  }
}

// dot11a_FRAME, framed, 6 Mbit/s, for a payload of `bits` bits, by default
// without an idle interval.
Value frameOf(std::size_t bits, const Value& idle) {
  return mlfDot11a_FRAME(nullptr, Value(1.0), Value::row(std::vector<double>(bits, 1.0)),
                         Value(0.0), Value(6.0), Value(1.0), Value(0.5), Value(1.0), Value(93.0),
                         Value(1.0), Value::row(std::vector<double>(53, 1.0)), Value(1.0),
                         Value(0.0), idle, Value(0.0), Value(0.0));
}
Value frameOf(std::size_t bits, double idle = 0) {
  return frameOf(bits, Value(idle));
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

// A number no integer type holds, or a count past what memory holds, is
// refused with the input's name instead of being converted (undefined
// behaviour) into some other count or left to the allocation.
TEST_F(InputFaults, NumbersNoIntegerHoldsAreRefusedByName) {
  for (double idle : {1e19, -1e19, 1e12, 268435456.0}) {
    const std::string msg = errorOf([&] { frameOf(8, idle); });
    EXPECT_NE(msg.find("\"idleSamples\""), std::string::npos) << idle << ": " << msg;
  }
  // The whole waveform, its idle interval within the bound, is bounded by
  // the memory its result takes: refused before anything is allocated.
  const std::string whole =
      errorOf([] { frameOf(8, static_cast<double>(dot11a::kMaxResultSamples)); });
  EXPECT_NE(whole.find("would take 4.0 GiB"), std::string::npos) << whole;
  std::string msg = errorOf([] {
    dot11a::feval1("clock2str", {Value::row({1e308, 1, 1, 0, 0, 0})});
  });
  EXPECT_NE(msg.find("clock2str: the year"), std::string::npos) << msg;
  msg = errorOf([] { dot11a::feval1("PNgenerator", {Value(9.0), Value(HUGE_VAL)}); });
  EXPECT_NE(msg.find("Inf bits were asked for"), std::string::npos) << msg;
}

// What is not the one number asked for is refused with the value it was,
// never read as a character code, a first element or "none".
TEST_F(InputFaults, SilentConversionsAreRefusedNamingTheValue) {
  const std::vector<std::pair<Value, std::string>> idles = {
      {Value("4000"), "text '4000'"},
      {Value::row({10, 20}), "1x2 double"},
      {Value::row(std::vector<dot11a::cplx>{{10, 1}}), "complex"},
      {Value(-1.0), "not -1."},
      {Value(2.5), "not 2.5."}};
  for (const auto& [idle, shown] : idles) {
    const Value& given = idle;  // clang lets no lambda capture a structured binding
    const std::string msg = errorOf([&] { frameOf(8, given); });
    EXPECT_NE(msg.find("\"idleSamples\""), std::string::npos) << msg;
    EXPECT_NE(msg.find(shown), std::string::npos) << msg;
  }
  const std::string clock = errorOf([] {
    dot11a::feval1("clock2str", {Value::row({2024, 13, 40, 25, 61, 61})});
  });
  EXPECT_NE(clock.find("the month is 13, not from 1 to 12"), std::string::npos) << clock;
  EXPECT_NE(errorOf([] {
              dot11a::feval1("clock2str", {Value::row({2023, 2, 29, 0, 0, 0})});
            }).find("the day is 29, not from 1 to 28"),
            std::string::npos);
  EXPECT_EQ(dot11a::feval1("clock2str", {Value::row({2024, 2, 29, 23, 59, 60.5})}).str(),
            "29FEB2024 23:59:60");

  Value p = dot11a::defaultParameters();
  const auto sequence = [&](const Value& options) {
    return errorOf([&] { dot11a::feval("dot11a_Sequence", 2, {p, options}); });
  };
  EXPECT_NE(sequence(Value::record({{"seedStep", Value("yes")}})).find("must be true or false"),
            std::string::npos);
  EXPECT_NE(sequence(Value::record({{"seed", 9007199254740994.0}})).find("past 2^53"),
            std::string::npos);
  EXPECT_NO_THROW(
      dot11a::feval("dot11a_Sequence", 2,
                    {p, Value::record({{"seed", Value("9007199254740993")}, {"snrDb", 30.0}})}));
  p.setField("WindowingLength", -3.0);
  EXPECT_NE(sequence(Value::record({})).find("WindowingLength"), std::string::npos);
}

TEST_F(InputFaults, BitOperationsRefuseWhatIsNotABit) {
  const Value impulse = Value::row({1, 0, 0, 0, 0, 0, 0});
  EXPECT_EQ(dot11a::feval1("dot11a_ConvolEncode", {impulse, Value(0.5)}).numel(), 14u);
  const std::vector<std::pair<const char*, std::vector<Value>>> calls = {
      {"dot11_CalcMACfcs", {Value("x")}},
      {"dot11a_ConvolEncode", {Value::row({2, 0, 1}), Value(0.5)}},
      {"dot11a_Scramble", {Value::row({1, 0}), Value::row({1, 1, 1, 1, 1, 1, 0.5})}},
  };
  for (const auto& [op, in] : calls) {
    const std::string text = errorOf([&o = op, &i = in] { dot11a::feval(o, 1, i); });
    EXPECT_NE(text.find("bits (0 or 1)"), std::string::npos) << op << ": " << text;
  }
}

// The encoder punctures a rate written to eleven digits the way the synthesis
// reads it (2/3 and 3/4), not as the rate-1/2 mother code.
TEST_F(InputFaults, ACodingRateMeansTheSameRateToEveryStage) {
  const Value impulse = Value::row({1, 0, 0, 0, 0, 0, 0});
  EXPECT_EQ(dot11a::feval1("dot11a_ConvolEncode", {impulse, Value(0.66666666667)}).numel(), 11u);
  EXPECT_EQ(dot11a::feval1("dot11a_ConvolEncode", {impulse, Value(0.75000000001)}).numel(), 10u);
}

}  // namespace
