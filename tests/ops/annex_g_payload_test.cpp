// The PSDU of the standard's worked example, rebuilt from its parts: MAC
// header record, the body as a user file, and the FCS.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <vector>

#include "common/library_fixture.hpp"
#include "common/reference_data.hpp"
#include "dot11a/bits.hpp"
#include "dot11a/call.hpp"
#include "dot11a/dialogs.hpp"
#include "dot11a/mac.hpp"
#include "dot11a/parameters.hpp"

using dot11a::Bits;
using dot11a::Value;

namespace {

class AnnexGPayload : public dot11a::test::LibraryTest {};

// A field value from its octets as they go on air (least significant first).
double fieldValue(const std::vector<std::uint8_t>& octets, std::size_t at, std::size_t size) {
  double v = 0;
  for (std::size_t k = size; k-- > 0;) v = v * 256 + octets[at + k];
  return v;
}

// The example's parameter set: header and FCS on, the body from a file.
Value exampleParameters(const std::vector<std::uint8_t>& psdu) {
  Value header = dot11a::defaultMACheader();
  dot11a::setMacField(header, "FrameCntrl", fieldValue(psdu, 0, 2));
  dot11a::setMacField(header, "DurationID", fieldValue(psdu, 2, 2));
  dot11a::setMacField(header, "Address1", fieldValue(psdu, 4, 6));
  dot11a::setMacField(header, "Address2", fieldValue(psdu, 10, 6));
  dot11a::setMacField(header, "Address3", fieldValue(psdu, 16, 6));
  dot11a::setMacField(header, "SeqCntrl", fieldValue(psdu, 22, 2));
  dot11a::setMacFieldActive(header, "Address4", false);
  EXPECT_EQ(header.field("DurationID").field("Contents").toScalar(), 0x2E00);
  EXPECT_EQ(header.field("Address1").field("Contents").toScalar(),
            static_cast<double>(0xA637CD086000ULL));

  const auto path = std::filesystem::temp_directory_path() /
                    ("dot11a-annex-g-body-" + std::to_string(::getpid()) + ".bin");
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(psdu.data() + 24), 72);
  dot11a::ScopedScriptedDialogs dialogs;
  dialogs->answer(path.string());
  const auto loaded = dot11a::feval("loadUserDataFile", 2, {32760.0});
  std::filesystem::remove(path);
  EXPECT_EQ(loaded[0].toScalar(), 1);

  Value p = dot11a::defaultParameters();
  p.setField("dataSourceType", 7.0);
  p.setField("dataSourceBitstream", loaded[1]);
  p.setField("dataLength", static_cast<double>(loaded[1].numel() / 8));
  p.field("MACheader").setField("Active", 1.0);
  p.field("MACheader").setField("Contents", header);
  p.field("MACheader")
      .setField("Length", static_cast<double>(header.field("BitStream").numel() / 8));
  p.field("MACfcs").setField("Active", 1.0);
  const auto rate = dot11a::ratePairOfItem(6);  // 36 Mbit/s
  p.setField("dataRate", rate.dataRate);
  p.setField("modulation", rate.modulation);
  p.setField("encoderRate", rate.encoderRate);
  p.setField("OverSampling", 1.0);
  p.setField("WindowingLength", 0.0);
  p.setField("idleSamples", 0.0);
  return p;
}

TEST_F(AnnexGPayload, HeaderBodyAndFcsReproduceTheExampleFrame) {
  const auto psdu = dot11a::test::annexGOctets();
  ASSERT_EQ(psdu.size(), 100u);
  const Value p = exampleParameters(psdu);
  EXPECT_EQ(p.field("MACheader").field("Length").toScalar(), 24);

  const Bits bits = dot11a::feval1("dot11_GeneratePayload", {p}).toBits();
  ASSERT_EQ(bits.size(), 800u);
  const Bits expected = dot11a::bytesToBits(std::span(psdu).first(96));
  EXPECT_EQ(Bits(bits.begin(), bits.begin() + 768), expected);
  // The FCS its definition gives (the example prints DA 57 99 ED instead).
  const std::vector<std::uint8_t> fcs = {0x67, 0x33, 0x21, 0xB6};
  EXPECT_EQ(Bits(bits.begin() + 768, bits.end()), dot11a::bytesToBits(fcs));
  EXPECT_EQ(dot11a::bitsToNumber(Bits(bits.begin() + 768, bits.end())), 0xB6213367u);
}

TEST_F(AnnexGPayload, SizeEstimateOfTheExampleFrame) {
  Value p = exampleParameters(dot11a::test::annexGOctets());
  EXPECT_EQ(dot11a::feval1("dot11a_SizeEst", {p}).toScalar(), 880);
  p.setField("WindowingLength", 1.0);
  EXPECT_EQ(dot11a::feval1("dot11a_SizeEst", {p}).toScalar(), 882);
  const auto* frame = dot11a::findOperation("dot11a_FRAME");
  if (frame != nullptr && frame->fn != nullptr) {
    EXPECT_EQ(dot11a::calculateFrame(p).waveform.numel(), 882u);
  }
}

}  // namespace
