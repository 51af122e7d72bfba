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

class ParameterSet : public dot11a::test::LibraryTest {};

TEST_F(ParameterSet, DefaultsHaveTheFileFormatsFieldsInOrder) {
  const Value p = dot11a::defaultParameters();
  const std::vector<std::string> names = {"ParameterFileFormat_ID",
                                          "generationMode",
                                          "dataRate",
                                          "modulation",
                                          "encoderRate",
                                          "scramblerActive",
                                          "scramblerInit",
                                          "interleaverActive",
                                          "SubCarriers",
                                          "idleSamples",
                                          "MirrorSpectrum",
                                          "OverSampling",
                                          "WindowingLength",
                                          "MACheader",
                                          "MACfcs",
                                          "serviceField",
                                          "dataSourceType",
                                          "dataLength",
                                          "dataSourceName",
                                          "dataSourceBitstream",
                                          "totalLength",
                                          "ProjectedLength"};
  EXPECT_EQ(p.fieldNames(), names);
  EXPECT_EQ(p.field("ParameterFileFormat_ID").str(), "dot11a - Format 1.0");
  EXPECT_EQ(p.field("dataRate").toScalar(), 54);
  EXPECT_EQ(p.field("encoderRate").toScalar(), 0.75);
  EXPECT_EQ(p.field("scramblerInit").toScalar(), 93);
  EXPECT_EQ(p.field("idleSamples").toScalar(), 4000);
  EXPECT_EQ(p.field("OverSampling").toScalar(), 2);
  EXPECT_EQ(p.field("WindowingLength").toScalar(), 2);
  EXPECT_EQ(p.field("dataLength").toScalar(), 1024);
  EXPECT_EQ(p.field("totalLength").toScalar(), 1024);
  EXPECT_TRUE(p.field("dataSourceBitstream").isEmpty());

  const Value& carriers = p.field("SubCarriers");
  ASSERT_EQ(carriers.rows(), 1u);
  ASSERT_EQ(carriers.cols(), 53u);
  for (std::size_t i = 0; i < 53; ++i) EXPECT_EQ(carriers.real(i), i == 26 ? 0 : 1) << i;

  const Value& header = p.field("MACheader");
  EXPECT_EQ(header.fieldNames(), (std::vector<std::string>{"Active", "Length", "Contents"}));
  EXPECT_EQ(header.field("Active").toScalar(), 0);
  EXPECT_EQ(header.field("Length").toScalar(), 30);
  EXPECT_EQ(header.field("Contents"), dot11a::defaultMACheader());
  const Value& fcs = p.field("MACfcs");
  EXPECT_EQ(fcs.fieldNames(), (std::vector<std::string>{"Active", "Length", "Contents"}));
  EXPECT_EQ(fcs.field("Length").toScalar(), 4);
  EXPECT_TRUE(fcs.field("Contents").isEmpty());
}

TEST_F(ParameterSet, DataLengthLimitAndTotalCountOnlyTheActiveHeaderAndFcs) {
  dot11a::FrameParameters f;
  EXPECT_EQ(f.dataLengthLimit(), 4095);
  f.macHeaderActive = true;
  f.fcs = true;
  EXPECT_EQ(f.dataLengthLimit(), 4061);
  f.dataLength = 100;
  EXPECT_EQ(f.totalLength(), 134);
  // A header without its address 4 is 24 octets.
  f.macHeader["Address4"].sent = false;
  EXPECT_EQ(f.totalLength(), 128);

  Value p = dot11a::toRecord(f);
  p.setField("totalLength", 0.0);
  p.field("MACheader").setField("Active", 0.0);
  dot11a::updateDerivedFields(p);
  EXPECT_EQ(p.field("totalLength").toScalar(), 104);
  EXPECT_EQ(p.field("MACheader").field("Length").toScalar(), 24);
  EXPECT_GT(p.field("ProjectedLength").toScalar(), 0);
}

TEST_F(ParameterSet, CalculationRefusesPayloadsTheSignalFieldCannotAnnounce) {
  dot11a::FrameParameters f;
  // A user file of 4095 bytes fits on its own...
  f.source = dot11a::PayloadSource::UserFile;
  f.sourceBits.assign(8 * 4095, 1);
  f.dataLength = 4095;
  EXPECT_EQ(f.psdu().size(), 8u * 4095);
  // ...but not with the FCS switched on afterwards.
  f.fcs = true;
  std::string msg = errorOf([&] { f.psdu(); });
  EXPECT_NE(msg.find("4099 octets"), std::string::npos) << msg;
  EXPECT_NE(msg.find("4095"), std::string::npos) << msg;
  EXPECT_NE(errorOf([&] { dot11a::calculateFrame(dot11a::toRecord(f)); }), dot11a::test::kNoError);

  // A length entered with the header on stays when the source changes.
  f = {};
  f.macHeaderActive = true;
  f.dataLength = 4065;
  EXPECT_EQ(f.psdu().size(), 8u * 4095);
  f.dataLength = 4066;
  msg = errorOf([&] { f.psdu(); });
  EXPECT_NE(msg.find("4096 octets"), std::string::npos) << msg;
}

TEST_F(ParameterSet, UserFileBecomesTheSourceOnlyWhenRead) {
  const auto path = std::filesystem::temp_directory_path() /
                    ("dot11a-user-file-" + std::to_string(::getpid()) + ".bin");
  std::ofstream(path, std::ios::binary).write("\x01\x02\x03", 3);
  dot11a::ScopedScriptedDialogs dialogs;
  dot11a::FrameParameters f;
  dialogs->cancel();
  EXPECT_FALSE(dot11a::loadUserFile(f));
  EXPECT_EQ(dot11a::toRecord(f), dot11a::toRecord({}));

  dialogs->answer(path.string());
  EXPECT_TRUE(dot11a::loadUserFile(f));
  std::filesystem::remove(path);
  EXPECT_EQ(f.source, dot11a::PayloadSource::UserFile);
  EXPECT_EQ(f.dataLength, 3);
  EXPECT_EQ(dot11a::test::bitsToString(f.sourceBits), "100000000100000011000000");
}

// The calculation synthesises directly; its result is what dot11a_FRAME gives
// for the fifteen inputs taken from the parameter set in order (the payload
// second, sinc compensation on).
TEST_F(ParameterSet, CalculationGivesTheFrameOfTheFifteenInputsInOrder) {
  Value p = dot11a::defaultParameters();
  p.setField("dataLength", 2.0);
  p.setField("dataSourceType", 2.0);
  p.setField("serviceField", 0x1234);
  p.setField("MirrorSpectrum", 1.0);
  p.setField("WindowingLength", 3.0);
  const auto result = dot11a::calculateFrame(p);
  auto byName = [&](const Value& payload) {
    return dot11a::feval(
        "dot11a_FRAME", 2,
        {p.field("generationMode"), payload, p.field("serviceField"), p.field("dataRate"),
         p.field("modulation"), p.field("encoderRate"), p.field("scramblerActive"),
         p.field("scramblerInit"), p.field("interleaverActive"), p.field("SubCarriers"),
         p.field("OverSampling"), p.field("WindowingLength"), p.field("idleSamples"),
         p.field("MirrorSpectrum"), Value(1.0)});
  };
  const std::vector<Value> expected = byName(Value::bits(dot11a::Bits(16, 1)));
  EXPECT_EQ(result.waveform, expected[0]);
  EXPECT_EQ(result.markers, expected[1]);
  EXPECT_EQ(result.markers.rows(), 2u);

  // A record the calculation cannot use is refused naming the field.
  p.setField("OverSampling", 2.5);
  const std::string direct = errorOf([&] { dot11a::calculateFrame(p); });
  EXPECT_NE(direct.find("OverSampling is 2.5"), std::string::npos) << direct;
}

}  // namespace
