// Frequencies, rates and times typed with SI prefixes and units.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "dot11a/units.hpp"

namespace {

using dot11a::parseMeasure;
using dot11a::Quantity;

double hz(const std::string& text) {
  const auto m = parseMeasure(text, Quantity::Frequency);
  EXPECT_TRUE(m.has_value()) << text;
  return m ? m->value : std::nan("");
}

double seconds(const std::string& text) {
  const auto m = parseMeasure(text, Quantity::Time);
  EXPECT_TRUE(m.has_value()) << text;
  return m ? m->value : std::nan("");
}

// The forms a lab user types, read exactly: the prefix joins the decimal
// exponent, so "5.18 GHz" is the double nearest 5.18e9, not 5.18 * 1e9.
TEST(Units, FrequenciesRatesAndTimesReadExactly) {
  EXPECT_EQ(hz("5.18 GHz"), 5.18e9);
  EXPECT_EQ(hz("5180M"), 5.18e9);
  EXPECT_EQ(hz(" 5180 mhz "), 5.18e9);  // case does not matter for frequencies
  EXPECT_EQ(hz("20 MHz"), 20e6);
  EXPECT_EQ(hz("40 MS/s"), 40e6);
  EXPECT_EQ(hz("80Msps"), 80e6);
  EXPECT_EQ(hz("2.5e3 kHz"), 2.5e6);
  EXPECT_EQ(hz("100k"), 100e3);
  EXPECT_EQ(hz("-1 MHz"), -1e6);
  EXPECT_EQ(seconds("1 ms"), 1e-3);
  EXPECT_EQ(seconds("10 us"), 10e-6);
  EXPECT_EQ(seconds("10 \xC2\xB5s"), 10e-6);
  EXPECT_EQ(seconds("10\xCE\xBCs"), 10e-6);
  EXPECT_EQ(seconds("100 ns"), 100e-9);
  EXPECT_EQ(seconds("2.5"), 2.5);

  // A bare number has no unit: the field's own unit applies to it.
  EXPECT_FALSE(parseMeasure("5.18", Quantity::Frequency)->withUnit);
  EXPECT_TRUE(parseMeasure("5.18G", Quantity::Frequency)->withUnit);
  EXPECT_TRUE(parseMeasure("5 s", Quantity::Time)->withUnit);
}

TEST(Units, RefusesWhatIsNoSuchQuantity) {
  for (const char* text : {"", "GHz", "abc", "5 GHz x", "5 m s", "5e", "5 dBm", "nan", "inf",
                           "1,5 MHz", "5 GHzz", "--5", "5 kk"})
    EXPECT_FALSE(parseMeasure(text, Quantity::Frequency)) << text;
  // Times keep SI's case: "Ms" is no time unit; a frequency is no time.
  for (const char* text : {"1 Ms", "10 MHz", "10 u", "1 m", "5 S"})
    EXPECT_FALSE(parseMeasure(text, Quantity::Time)) << text;
}

// Beyond a double's range the entry rules' bounds must still apply.
TEST(Units, OutOfRangeNumbersReadAsInfinityOrZero) {
  EXPECT_EQ(hz("1e400 GHz"), INFINITY);
  EXPECT_EQ(hz("-1e400"), -INFINITY);
  EXPECT_EQ(hz("0.0001e-400 Hz"), 0.0);
  EXPECT_EQ(seconds("1e-330 ns"), 0.0);
}

}  // namespace
