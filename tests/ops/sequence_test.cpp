// Frame sequences as dot11a-gen builds them from a parameter set: decoded
// back frame by frame, with their per-frame variation, markers and the
// instrument memory bound.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>

#include "common/library_fixture.hpp"
#include "common/test_folder.hpp"
#include "dot11a/frame_sequence.hpp"
#include "dot11a/impair.hpp"
#include "dot11a/mac.hpp"
#include "dot11a/parameters.hpp"
#include "dot11a/payload.hpp"
#include "dot11a/receiver.hpp"

namespace dot11a::cli {
namespace {

class ImpairSequence : public test::FolderTest {
 protected:
  ImpairSequence() : FolderTest("impair") {}
};

Value headerAndFcsParameters(double octets) {
  Value p = defaultParameters();
  p.field("MACheader").setField("Active", 1.0);
  p.field("MACfcs").setField("Active", 1.0);
  p.setField("dataSourceType", 5.0);  // PN9
  p.setField("dataLength", octets);
  setMacField(p.field("MACheader").field("Contents"), "SeqCntrl", 4094.0 * 16 + 3);
  updateDerivedFields(p);
  return p;
}

TEST_F(ImpairSequence, HundredFramesDecodeWithConsecutiveNumbersGoodFcsAndNewPayloads) {
  const Value p = headerAndFcsParameters(200);
  SequenceRequest r;
  r.frames = 100;
  r.gapUs = impair::gapMicroseconds("SIFS");
  r.seedStep = true;
  const SequenceResult s = buildSequence(p, r);
  rx::Options o;
  o.sampleRate = s.sampleRate;
  o.fcs = rx::FcsCheck::On;
  const rx::Result res = rx::receive(s.sequence.waveform, o);
  ASSERT_EQ(res.frames.size(), 100u) << res.problem;
  // The header's SeqCntrl sits at octets 22 and 23: the number counts up from
  // 4094 through the wrap at 4096, the fragment number stays.
  std::size_t markers = 0;
  for (std::size_t i = 0; i < 100; ++i) {
    const rx::FrameReport& f = res.frames[i];
    ASSERT_EQ(f.fcs, rx::FcsState::Good) << i;
    const unsigned sc = f.psdu[22] | (f.psdu[23] << 8);
    EXPECT_EQ(sc >> 4, (4094 + i) % 4096) << i;
    EXPECT_EQ(sc & 0xF, 3u);
    EXPECT_EQ(f.scramblerSeed, (static_cast<unsigned>(p.field("scramblerInit").toScalar()) - 1 +
                                static_cast<unsigned>(i)) %
                                       127 +
                                   1);
    EXPECT_EQ(f.psdu, s.psdus[i]);
    markers += s.sequence.marker1[f.start];
  }
  EXPECT_EQ(markers, 100u);  // marker 1 at every frame start and nowhere else
  EXPECT_EQ(std::count(s.sequence.marker1.begin(), s.sequence.marker1.end(), 1), 100);
  // The PN payload continues: frame 1 carries the 1600 bits after frame 0's
  // (behind the 30-octet header).
  const Bits pn = pnSequence(9, 3200);
  Bits second;
  for (std::size_t b = 0; b < 1600; ++b) second.push_back((s.psdus[1][30 + b / 8] >> (b % 8)) & 1);
  EXPECT_EQ(second, Bits(pn.begin() + 1600, pn.end()));
}

TEST_F(ImpairSequence, SequenceFileSetsEachFrameAndMemoryBoundRefusesBeforeSynthesis) {
  const std::string file = path("seq.json");
  std::ofstream(file)
      << R"({"frames": [{"rate": 6, "length": 40}, {"rate": 54, "source": "ones"}]})";
  const Value p = headerAndFcsParameters(100);
  SequenceRequest r;
  r.frames = 3;
  r.file = file;
  const SequenceResult s = buildSequence(p, r);
  rx::Options o;
  o.sampleRate = s.sampleRate;
  const rx::Result res = rx::receive(s.sequence.waveform, o);
  ASSERT_EQ(res.frames.size(), 3u) << res.problem;
  EXPECT_EQ(res.frames[0].rateMbps, 6);
  EXPECT_EQ(res.frames[0].length, 40u + 34u);  // header 30, FCS 4
  EXPECT_EQ(res.frames[1].rateMbps, 54);
  EXPECT_EQ(res.frames[2].rateMbps, 6);  // the list repeats

  // A wrong value, a key given twice (one of its values would go unread) and
  // a key beside "frames" are refused by name.
  for (const auto& [text, refusal] : std::vector<std::pair<std::string, std::string>>{
           {R"({"frames": [{"rate": 7}]})", "entry 1 \"rate\""},
           {R"({"frames": [{"rate": 6, "rate": 54}]})", "key \"rate\" twice"},
           {R"({"frames": [{"rate": 6}], "frames": []})", "key \"frames\" twice"},
           {R"({"frames": [{"rate": 6}], "repeat": 3})", "unknown key \"repeat\""}}) {
    std::ofstream(file) << text;
    EXPECT_NE(test::errorOf([&] { buildSequence(p, r); }).find(refusal), std::string::npos) << text;
  }
  // 200 frames of about 4000 samples do not fit 500000 samples.
  r.file.clear();
  r.frames = 200;
  r.memorySamples = 500000;
  EXPECT_NE(test::errorOf([&] { buildSequence(p, r); }).find("does not fit the instrument"),
            std::string::npos);
}

}  // namespace
}  // namespace dot11a::cli
