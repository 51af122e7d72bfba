// Receiver-test presets: a frame count the instrument's memory holds at every
// rate, frames a device under test can count, and refusals that name what
// clashes.
#include <gtest/gtest.h>

#include "common/library_fixture.hpp"
#include "dot11a/bits.hpp"
#include "dot11a/mac.hpp"
#include "dot11a/payload.hpp"
#include "dot11a/rate_table.hpp"
#include "dot11a/receiver_test.hpp"
#include "dot11a/waveform.hpp"

namespace dot11a {
namespace {

using test::errorOf;

FrameJob atRate(double mbps) {
  FrameJob job;
  const RateEntry* r = rateByMbps(mbps);
  job.frame.modulation = r->modulation;
  job.frame.coding = r->coding;
  return job;
}

ReceiverTestRequest request(std::string name, std::optional<std::size_t> frames = {}) {
  ReceiverTestRequest r;
  r.name = std::move(name);
  r.frames = frames;
  return r;
}

// The count chosen is the most that fits, at most 1000: one frame more would
// not fit (and is refused by the memory check before anything is made).
TEST(ReceiverTestPreset, TheFramesChosenAreTheMostTheMemoryHolds) {
  for (double mbps : {6, 9, 12, 18, 24, 36, 48, 54})
    for (const char* name : {"sensitivity", "acr"}) {
      SCOPED_TRACE(std::to_string(mbps) + " " + name);
      FrameJob job = atRate(mbps);
      if (mbps == 6) job.impairments.clockPpm = 1000;  // the stretch counts
      const ReceiverTest t = applyReceiverTest(job, request(name));
      EXPECT_EQ(job.sequence.frames, t.frames);
      EXPECT_LE(projectedLength(job), job.memorySamples);
      if (t.frames < kReceiverTestFrames) {
        EXPECT_NE(t.framesText.find("the most the instrument's memory"), std::string::npos);
        ++job.sequence.frames;
        EXPECT_NE(errorOf([&] { projectedLength(job); }).find("does not fit"), std::string::npos);
      } else {
        EXPECT_EQ(t.framesText, "1000 frames");
      }
    }
  FrameJob asked = atRate(6);
  const ReceiverTest t = applyReceiverTest(asked, request("acr", 20));
  EXPECT_EQ(t.framesText, "20 frames, as asked");
  EXPECT_EQ(asked.frame.oversampling, 3);  // holds the interferer 20 MHz away
  EXPECT_EQ(asked.impairments.interferer->levelDb, 16);
}

// Each frame carries the next sequence number, a valid FCS, the PN9 payload
// going on from the frame before and the next scrambler seed.
TEST(ReceiverTestPreset, FramesAreCountable) {
  FrameJob job = atRate(54);
  job.frame.scramblerInit = 127;
  applyReceiverTest(job, request("sensitivity", 2));
  const Waveform w = make(job);
  ASSERT_EQ(w.frames.size(), 2u);
  const std::size_t data = 1000 - 30 - 4;
  const Bits pn = pnSequence(9, 2 * 8 * data);
  for (std::size_t i = 0; i < 2; ++i) {
    SCOPED_TRACE(i);
    const std::vector<std::uint8_t>& psdu = w.frames[i].psdu;
    ASSERT_EQ(psdu.size(), 1000u);
    EXPECT_EQ(psdu[22], i << 4);  // Sequence Control, octets 22 and 23
    const Bits bits = bytesToBits(std::span(psdu).first(996));
    EXPECT_EQ(bitsToOctets(calcMACfcs(bits)),
              std::vector<std::uint8_t>(psdu.end() - 4, psdu.end()));
    EXPECT_EQ(bitsToOctets(std::span(pn).subspan(8 * data * i, 8 * data)),
              std::vector<std::uint8_t>(psdu.begin() + 30, psdu.end() - 4));
  }
  EXPECT_EQ(sequenceFrame(job, {}, 1).scramblerInit, 1u);  // 127 steps on to 1
  // A frame that is not scrambled stays so; stepping would need a seed.
  FrameJob plain = atRate(54);
  plain.frame.scramblerInit = 0;
  applyReceiverTest(plain, request("sensitivity", 2));
  EXPECT_NO_THROW(make(plain));
}

TEST(ReceiverTestPreset, RefusalsNameTheOptionAndTheClash) {
  FrameJob job = atRate(6);
  EXPECT_NE(errorOf([&] {
              applyReceiverTest(job, request("blocking"));
            }).find("--test must be sensitivity, acr or alt-acr, not \"blocking\""),
            std::string::npos);
  EXPECT_NE(errorOf([&] { applyReceiverTest(job, request("alt-acr")); }).find("second generator"),
            std::string::npos);
  job.impairments.interferer = impair::Interferer{};
  EXPECT_NE(errorOf([&] { applyReceiverTest(job, request("acr")); }).find("leave out --interferer"),
            std::string::npos);
  FrameJob custom;
  custom.frame.coding = {1, 1};
  EXPECT_NE(errorOf([&] { applyReceiverTest(custom, request("sensitivity")); }).find("--rate"),
            std::string::npos);
}

}  // namespace
}  // namespace dot11a
