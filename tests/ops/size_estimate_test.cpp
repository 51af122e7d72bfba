// The size estimate: samples of the waveform a parameter set produces.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <string_view>

#include "common/library_fixture.hpp"
#include "dot11a/bitcoding.hpp"
#include "dot11a/call.hpp"
#include "dot11a/parameters.hpp"

using dot11a::Value;

namespace {

class SizeEstimate : public dot11a::test::LibraryTest {};

Value settings(bool framed, double modulation, double rate, double bytes, double os, double window,
               double idle) {
  Value p = dot11a::defaultParameters();
  p.setField("generationMode", framed ? 1.0 : 0.0);
  p.setField("modulation", modulation);
  p.setField("encoderRate", rate);
  p.setField("dataLength", bytes);
  p.setField("OverSampling", os);
  p.setField("WindowingLength", window);
  p.setField("idleSamples", idle);
  return p;
}

double estimate(const Value& p) {
  return dot11a::feval1("dot11a_SizeEst", {p}).toScalar();
}

TEST_F(SizeEstimate, FramedCountsPreambleSignalDataAndIdle) {
  // 822 data bits at 216 per symbol: 4 symbols.
  EXPECT_EQ(estimate(settings(true, 4, 0.75, 100, 1, 0, 0)), 720);
  // 30 bits, 2 BPSK symbols, (400 + 160) x 2 + 101 = 1221, made even.
  EXPECT_EQ(estimate(settings(true, 1, 0.5, 1, 2, 0, 101)), 1222);
  // 27 bytes (238 bits) fill 10 BPSK 1/2 symbols, 28 bytes need 11.
  EXPECT_EQ(estimate(settings(true, 1, 0.5, 27, 1, 0, 0)), 400 + 800);
  EXPECT_EQ(estimate(settings(true, 1, 0.5, 28, 1, 0, 0)), 400 + 880);
  // 2/3 as stored by the window counts 192 bits per 64-QAM symbol exactly.
  EXPECT_EQ(estimate(settings(true, 4, 0.6666666666666666, 170, 1, 0, 0)), 400 + 8 * 80);
}

TEST_F(SizeEstimate, WindowTailCountsWhenTheIdleIntervalIsShorter) {
  // 6 Mbit/s, 100 bytes: 35 symbols, 3200 samples.
  EXPECT_EQ(estimate(settings(true, 1, 0.5, 100, 1, 0, 0)), 3200);
  EXPECT_EQ(estimate(settings(true, 1, 0.5, 100, 1, 4, 100)), 3300);
  EXPECT_EQ(estimate(settings(true, 1, 0.5, 100, 1, 4, 2)), 3204);
  EXPECT_EQ(estimate(settings(true, 1, 0.5, 100, 1, 4, 0)), 3204);
  EXPECT_EQ(estimate(settings(true, 1, 0.5, 100, 1, 0, 101)), 3302);
  // The window length does not scale with oversampling.
  EXPECT_EQ(estimate(settings(true, 1, 0.5, 100, 2, 5, 0)), 6406);
}

TEST_F(SizeEstimate, UnframedCountsDataSymbolsOnly) {
  // No preamble, SIGNAL, SERVICE, tail or idle interval; the window tail is
  // folded onto the start.
  EXPECT_EQ(estimate(settings(false, 2, 0.5, 3, 1, 0, 4000)), 80);
  EXPECT_EQ(estimate(settings(false, 1, 0.5, 3, 1, 16, 4000)), 80);
  EXPECT_EQ(estimate(settings(false, 1, 0.5, 4, 3, 0, 0)), 480);
}

TEST_F(SizeEstimate, HeaderAndFcsCountOnlyWhenActive) {
  Value p = settings(true, 1, 0.5, 3, 1, 0, 0);  // 46 bits: 2 symbols
  p.field("MACfcs").setField("Length", 400.0);
  p.field("MACheader").setField("Length", 400.0);
  EXPECT_EQ(estimate(p), 560);
  p.field("MACheader").setField("Active", 1.0);
  p.field("MACheader").setField("Length", 30.0);
  p.field("MACfcs").setField("Active", 1.0);
  p.field("MACfcs").setField("Length", 4.0);
  // (3 + 30 + 4) x 8 + 22 = 318 bits: 14 symbols.
  EXPECT_EQ(estimate(p), 400 + 14 * 80);
}

TEST_F(SizeEstimate, UserFileCountsItsOwnBits) {
  Value p = settings(false, 1, 0.5, 1000, 1, 0, 0);  // a stale length is not used
  p.setField("dataSourceType", 7.0);
  p.setField("dataSourceBitstream", Value::bits(dot11a::Bits(48, 1)));
  EXPECT_EQ(estimate(p), 160);
}

}  // namespace

namespace {}  // namespace

namespace {

std::string errorOf(const Value& p) {
  return dot11a::test::errorOf([&] { estimate(p); });
}

// A record of the documented inputs (and the window length) alone, as a
// script builds it: no payload source fields.
Value documentedFields() {
  Value header = Value::record();
  header.setField("Active", 0.0);
  header.setField("Length", 24.0);
  Value fcs = Value::record();
  fcs.setField("Active", 0.0);
  fcs.setField("Length", 4.0);
  Value p = Value::record();
  p.setField("dataLength", 100.0);
  p.setField("MACheader", header);
  p.setField("MACfcs", fcs);
  p.setField("generationMode", 1.0);
  p.setField("modulation", 1.0);
  p.setField("encoderRate", 0.5);
  p.setField("OverSampling", 1.0);
  p.setField("idleSamples", 0.0);
  p.setField("WindowingLength", 0.0);
  return p;
}

TEST_F(SizeEstimate, DocumentedFieldsAloneAreEnough) {
  // 6 Mbit/s, 100 bytes: 35 symbols, 3200 samples, as with a full parameter set.
  Value p = documentedFields();
  EXPECT_EQ(estimate(p), 3200);
  // Stored bits without a source type saying "user file" are not the payload.
  p.setField("dataSourceBitstream", Value::bits(dot11a::Bits(48, 1)));
  EXPECT_EQ(estimate(p), 3200);
  p.setField("dataSourceType", 1.0);
  EXPECT_EQ(estimate(p), 3200);
  p.setField("dataSourceType", 7.0);  // 48 + 22 bits: 3 symbols
  EXPECT_EQ(estimate(p), 400 + 3 * 80);
}

TEST_F(SizeEstimate, CountsTooLargeToConvertAreRefusedByName) {
  struct Case {
    const char* field;
    double value;
  };
  for (const Case& c :
       {Case{"dataLength", 1e300}, Case{"dataLength", 1e15}, Case{"dataLength", std::nan("")},
        Case{"idleSamples", 1e300}, Case{"idleSamples", std::numeric_limits<double>::infinity()},
        Case{"WindowingLength", 1e300}, Case{"OverSampling", 1e300}}) {
    Value p = documentedFields();
    p.setField(c.field, c.value);
    const std::string msg = errorOf(p);
    EXPECT_NE(msg.find(std::string("\"") + c.field + "\""), std::string::npos)
        << c.field << " = " << c.value << ": " << msg;
  }
  Value p = documentedFields();
  p.field("MACheader").setField("Active", 1.0);
  p.field("MACheader").setField("Length", 1e300);
  EXPECT_NE(errorOf(p).find("\"MACheader.Length\""), std::string::npos) << errorOf(p);
  // Large but countable values still give their exact length.
  p = documentedFields();
  p.setField("idleSamples", 1e9);
  EXPECT_EQ(estimate(p), 3200 + 1e9);
}

// Parameter sets come from files: a missing or malformed field is an error
// that names it, never a crash or a huge allocation.
TEST_F(SizeEstimate, MalformedParameterSetsAreRefused) {
  const char* required[] = {"generationMode", "modulation", "encoderRate", "OverSampling",
                            "dataLength",     "MACheader",  "MACfcs"};
  for (const char* name : required) {
    Value p = dot11a::defaultParameters();
    p.removeField(name);
    EXPECT_THROW(estimate(p), dot11a::Error) << name;
    // An empty mode is false by the truth rule (unframed); the others have no value.
    if (std::string_view(name) == "generationMode") continue;
    p.setField(name, Value::empty());
    EXPECT_THROW(estimate(p), dot11a::Error) << name;
  }
  Value p = dot11a::defaultParameters();
  p.setField("modulation", 5.0);
  EXPECT_THROW(estimate(p), dot11a::Error);
  EXPECT_THROW(dot11a::feval1("dot11a_SizeEst", {Value("text")}), dot11a::Error);

  p = dot11a::defaultParameters();
  p.setField("dataLength", 1e15);
  EXPECT_THROW(dot11a::feval1("dot11_GeneratePayload", {p}), dot11a::Error);
  p.setField("dataLength", -4.0);
  EXPECT_THROW(dot11a::feval1("dot11_GeneratePayload", {p}), dot11a::Error);
}

}  // namespace
