// The frame job and make(): a sequence's frames in their places with what
// varies from frame to frame, the impairments moving them, the checks made
// before anything is synthesised, and the texts of the gap and the seed.
#include <gtest/gtest.h>

#include <algorithm>

#include "common/library_fixture.hpp"
#include "dot11a/bits.hpp"
#include "dot11a/payload.hpp"
#include "dot11a/waveform.hpp"

namespace dot11a {
namespace {

using test::errorOf;

FrameJob pnSequenceJob() {
  FrameJob job;
  job.frame.macHeaderActive = true;
  job.frame.source = PayloadSource::Pn9;
  job.frame.dataLength = 40;
  job.sequence.frames = 3;
  job.sequence.gap = Gap::parse("10");
  job.sequence.seedStep = true;
  return job;
}

TEST(FrameJob, SequenceFramesLieInTheirPlacesAndCarryWhatVaries) {
  const FrameJob job = pnSequenceJob();
  const Waveform w = make(job);
  ASSERT_EQ(w.frames.size(), 3u);
  EXPECT_EQ(projectedLength(job), w.samples.size());
  const std::size_t frame = frameLayout(job.frame.shape()).total, gap = 10 * 20 * 2;
  std::size_t burst = 0;
  for (std::size_t i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(w.frames[i].start, i * (frame + gap));
    EXPECT_EQ(w.marker1[w.frames[i].start], 1);
    burst += w.frames[i].burstEnd - w.frames[i].start;
    // Sequence Control (octets 22 and 23 on air): the sequence number counts up.
    ASSERT_EQ(w.frames[i].psdu.size(), 30u + 40u);
    EXPECT_EQ(w.frames[i].psdu[22], i << 4);
  }
  EXPECT_EQ(std::count(w.marker1.begin(), w.marker1.end(), 1), 3);
  EXPECT_EQ(static_cast<std::size_t>(std::count(w.marker2.begin(), w.marker2.end(), 1)), burst);
  // The PN9 payload goes on where the frame before left it.
  const Bits pn = pnSequence(9, 2 * 320);
  EXPECT_EQ(bitsToOctets(std::span(pn).subspan(320)),
            std::vector<std::uint8_t>(w.frames[1].psdu.begin() + 30, w.frames[1].psdu.end()));
  // Seed stepping changes the samples of the next frame, nothing of its length.
  FrameJob fixedSeed = job;
  fixedSeed.sequence.seedStep = false;
  const Waveform f = make(fixedSeed);
  ASSERT_EQ(f.samples.size(), w.samples.size());
  EXPECT_TRUE(std::equal(f.samples.begin(), f.samples.begin() + static_cast<long>(frame),
                         w.samples.begin()));
  EXPECT_FALSE(std::equal(f.samples.begin() + static_cast<long>(frame + gap),
                          f.samples.begin() + static_cast<long>(2 * frame + gap),
                          w.samples.begin() + static_cast<long>(frame + gap)));
}

TEST(FrameJob, AClockOffsetMovesTheFramesAndTheirMarkers) {
  FrameJob job = pnSequenceJob();
  job.sequence.frames = 2;
  job.impairments.clockPpm = 1000;
  const Waveform w = make(job);
  ASSERT_TRUE(w.stretched);
  const std::size_t joined = frameLayout(job.frame.shape()).total * 2 + 400;
  EXPECT_NEAR(static_cast<double>(w.samples.size()), joined * 1.001, 2);
  EXPECT_LE(w.samples.size(), projectedLength(job));
  EXPECT_NEAR(static_cast<double>(w.frames[1].start),
              (joined - frameLayout(job.frame.shape()).total) * 1.001, 2);
  for (const WaveformFrame& f : w.frames) EXPECT_EQ(w.marker1[f.start], 1);
  EXPECT_EQ(std::count(w.marker1.begin(), w.marker1.end(), 1), 2);
}

TEST(FrameJob, NothingIsMadeOfSettingsTheChecksRefuse) {
  FrameJob os;
  os.frame.oversampling = 5;
  EXPECT_NE(errorOf([&] { make(os); }).find("OverSampling is 5, not a whole number from 1 to 4"),
            std::string::npos);
  FrameParameters f;
  f.coding = {5, 6};
  EXPECT_NE(frameProblem(f).find("5/6"), std::string::npos);
  FrameParameters mask;
  mask.subCarriers[3] = 2;
  EXPECT_NE(frameProblem(mask), "");
  FrameParameters header;
  header.macHeader["SeqCntrl"].value = 0x10000;
  EXPECT_NE(frameProblem(header).find("SeqCntrl"), std::string::npos);
  // The memory bound, before a frame is made.
  FrameJob big;
  big.sequence.frames = 200;
  big.memorySamples = 500000;
  EXPECT_NE(errorOf([&] { projectedLength(big); }).find("does not fit"), std::string::npos);
  EXPECT_NE(errorOf([&] { make(big); }).find("does not fit"), std::string::npos);
  // An instrument with more memory than a result may take: the result's bound.
  big.memorySamples = std::size_t{1} << 40;
  big.sequence.frames = 20000;
  big.frame.idleSamples = 4000;
  EXPECT_NE(errorOf([&] { make(big); }).find("would take"), std::string::npos);
  big.sequence.frames = 0;
  EXPECT_NE(errorOf([&] { make(big); }).find("frame count"), std::string::npos);
}

TEST(FrameJob, NarrowChannelsPlayTheSameSamplesAtTheirOwnClock) {
  FrameJob wide;
  wide.frame.dataLength = 60;
  const Waveform reference = make(wide);
  // 64-QAM 3/4: 54 Mbit/s in a 20 MHz channel, 27 at 10 and 13.5 at 5 MHz;
  // DIFS is SIFS and two slots: 34, 58 and 106 us.
  const struct {
    ChannelSpacing spacing;
    double rate, mbps, difsUs;
    const char* text;
  } cases[] = {{ChannelSpacing::MHz10, 20e6, 27, 58, "27 Mbit/s, 64-QAM, coding 3/4"},
               {ChannelSpacing::MHz5, 10e6, 13.5, 106, "13.5 Mbit/s, 64-QAM, coding 3/4"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(spacingMHz(c.spacing));
    FrameJob job = wide;
    job.frame.spacing = c.spacing;
    const Waveform w = make(job);
    // Bit for bit, the SIGNAL field's RATE bits included.
    EXPECT_EQ(w.samples, reference.samples);
    EXPECT_EQ(w.sampleRate, c.rate);
    EXPECT_EQ(w.frames[0].rateMbps, c.mbps);
    EXPECT_EQ(w.frames[0].rateText, c.text);
    EXPECT_NE(w.description().find(std::to_string(spacingMHz(c.spacing)) + " MHz channel, "),
              std::string::npos);
    // A named gap is that spacing's interframe space.
    job.sequence.frames = 2;
    job.sequence.gap = Gap::parse("DIFS");
    const Waveform two = make(job);
    EXPECT_EQ(two.frames[1].start - frameLayout(job.frame.shape()).total,
              static_cast<std::size_t>(c.difsUs * c.rate * 1e-6));
  }
  FrameJob odd = wide;
  odd.frame.spacing = static_cast<ChannelSpacing>(7);
  EXPECT_EQ(errorOf([&] { make(odd); }),
            "The frame cannot be made: the channel spacing is 7 MHz, not 20, 10 or 5.");
}

TEST(FrameJob, GapAndSeedTextsReadBackAsGiven) {
  EXPECT_EQ(Gap::parse("sifs").us, 16);
  EXPECT_EQ(Gap::parse("sifs").text(), "SIFS");
  EXPECT_EQ(Gap::parse("DIFS").us, 34);
  EXPECT_EQ(Gap::parse("2.5").text(), "2.5");
  EXPECT_EQ(Gap::parse("0").text(), "0");
  EXPECT_NE(errorOf([] { Gap::parse("10001"); }), test::kNoError);
  EXPECT_EQ(parseSeed("18446744073709551615", "seed"), 18446744073709551615u);
  for (const char* bad : {"18446744073709551616", "-1", "+1", "1.5", ""})
    EXPECT_NE(errorOf([&] {
                parseSeed(bad, "The seed must be");
              }).find("The seed must be a whole number from 0 to 18446744073709551615"),
              std::string::npos)
        << bad;
}

}  // namespace
}  // namespace dot11a
