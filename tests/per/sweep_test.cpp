// The PER bench's engine: counts that depend on the seed only, chunks that
// combine however they were shared out, the early stop at the Nth error, the
// threshold's interpolation and the sweep's checks.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <random>

#include "dot11a/error.hpp"
#include "dot11a/per.hpp"

namespace dot11a::per {
namespace {

// Short frames at 20 MHz, so that a test runs a few hundred in a second.
Sweep smallSweep() {
  Sweep s;
  s.job.frame.oversampling = 1;
  s.job.frame.dataLength = 40;
  s.job.frame.fcs = true;
  s.job.frame.idleSamples = 320;
  s.job.impairments.seed = 7;
  s.ratesMbps = {6, 36};
  // Around the thresholds, where frames are lost and received.
  s.snrDb = {2, 13};
  s.frames = 40;
  return s;
}

bool sameCounts(const PointResult& a, const PointResult& b) {
  return a.rateMbps == b.rateMbps && a.snrDb == b.snrDb && a.frames == b.frames &&
         a.errors == b.errors && a.missed == b.missed && a.complete == b.complete;
}

TEST(PerSweep, CountsDependOnTheSeedNotOnHowTheFramesWereSharedOut) {
  Sweep s = smallSweep();
  s.stopAfterErrors = 5;
  RunOptions one;
  one.workers = 1;
  one.chunkFrames = 40;
  RunOptions many;
  many.workers = 3;
  many.chunkFrames = 3;
  const std::vector<PointResult> a = run(s, one), b = run(s, many);
  ASSERT_EQ(a.size(), 4u);
  ASSERT_EQ(b.size(), 4u);
  bool stopped = false, partly = false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    EXPECT_TRUE(sameCounts(a[i], b[i])) << "point " << i;
    EXPECT_TRUE(a[i].complete);
    // Frames differ from one another: some of a point lost, some received.
    partly = partly || (a[i].errors > 0 && a[i].errors < a[i].frames);
    // A point that stopped early ended exactly at its fifth error.
    if (a[i].frames < s.frames) {
      stopped = true;
      EXPECT_EQ(a[i].errors, 5u);
      const Chunk upTo = runChunk(s, i, 0, a[i].frames);
      EXPECT_EQ(upTo.errors, 5u);
      EXPECT_NE(runFrame(s, points(s)[i], a[i].frames - 1), Outcome::Received);
    }
  }
  EXPECT_TRUE(stopped && partly) << "the points should straddle the thresholds";

  // Chunks of odd sizes run by anyone, handed back in any order, combine to
  // the same counts; a missing chunk leaves the point incomplete at the gap.
  std::vector<Chunk> chunks;
  for (std::size_t p = 0; p < 4; ++p)
    for (std::uint64_t first = 0; first < s.frames; first += 7)
      chunks.push_back(runChunk(s, p, first, std::min<std::uint64_t>(7, s.frames - first)));
  std::shuffle(chunks.begin(), chunks.end(), std::mt19937(3));
  for (std::size_t p = 0; p < 4; ++p) EXPECT_TRUE(sameCounts(combine(s, p, chunks), a[p])) << p;

  s.stopAfterErrors = 0;
  const std::vector<PointResult> all = run(s, many);
  std::erase_if(chunks, [](const Chunk& c) { return c.point == 0 && c.first == 14; });
  const PointResult gap = combine(s, 0, chunks);
  EXPECT_FALSE(gap.complete);
  EXPECT_EQ(gap.frames, 14u);
  EXPECT_TRUE(sameCounts(combine(s, 1, chunks), all[1]));
}

TEST(PerSweep, IdealReceiverLosesNothingWithLittleNoiseAndEverythingInMuch) {
  Sweep s = smallSweep();
  s.ideal = true;
  s.ratesMbps = {54};
  s.snrDb = {-5, 40};
  s.frames = 10;
  const std::vector<PointResult> r = run(s);
  EXPECT_EQ(r[0].errors, 10u);
  EXPECT_EQ(r[1].errors, 0u);
  // The same frames through the receiver at high SNR are found and received.
  s.ideal = false;
  s.snrDb = {40};
  EXPECT_EQ(run(s)[0].errors, 0u);
}

TEST(PerSweep, CancelledRunKeepsWhatWasCountedWithoutAGap) {
  Sweep s = smallSweep();
  s.ratesMbps = {6};
  // Enough frames that the second point is still running when the first ends.
  s.frames = 2000;
  std::atomic<bool> cancel = false;
  RunOptions o;
  o.workers = 2;
  o.chunkFrames = 2;
  o.cancel = &cancel;
  std::size_t reported = 0;
  o.onPoint = [&](std::size_t, const PointResult&) {
    if (++reported == 1) cancel = true;
  };
  const std::vector<PointResult> r = run(s, o);
  ASSERT_EQ(r.size(), 2u);
  EXPECT_TRUE(r[0].complete);
  EXPECT_FALSE(r.back().complete);
  for (const PointResult& p : r) EXPECT_LE(p.frames, s.frames);
}

PointResult at(double snr, std::uint64_t frames, std::uint64_t errors) {
  PointResult r;
  r.rateMbps = 6;
  r.snrDb = snr;
  r.frames = frames;
  r.errors = errors;
  r.complete = true;
  return r;
}

TEST(PerThreshold, InterpolatesOnLogPerAroundTheLastCrossing) {
  // PER 1 at 0 dB, 0.01 at 2 dB: 0.1 is half way on the log scale.
  std::vector<PointResult> p = {at(2, 100, 1), at(0, 100, 100), at(4, 100, 0)};
  ASSERT_TRUE(snrAt(p).has_value());
  EXPECT_NEAR(*snrAt(p), 1.0, 1e-9);
  // A dip below 10 % followed by a rise: the last crossing counts.
  p = {at(0, 100, 50), at(1, 100, 5), at(2, 100, 50), at(3, 100, 1)};
  EXPECT_GT(*snrAt(p), 2.0);
  // A point without frames (a cancelled sweep) measures nothing.
  p = {at(0, 100, 100), at(1, 0, 0)};
  EXPECT_FALSE(snrAt(p).has_value());
  p = {at(0, 100, 5), at(1, 100, 0)};
  EXPECT_FALSE(snrAt(p).has_value());
}

// The minimum input sensitivities read as SNRs with a 10 dB noise figure:
// the thermal noise of the occupied band (16.25 MHz at 20 MHz), the same SNR
// within 0.02 dB at every spacing (a narrower band and a lower level alike).
TEST(PerThreshold, SensitivityAsSnrWithTheNoiseFigure) {
  EXPECT_NEAR(*sensitivitySnrDb(6), -82 + 174 - 72.108 - 10, 0.001);
  EXPECT_NEAR(*sensitivitySnrDb(24), -74 + 174 - 72.108 - 10, 0.001);
  EXPECT_NEAR(*sensitivitySnrDb(54), -65 + 174 - 72.108 - 10, 0.001);
  for (const ChannelSpacing s : {ChannelSpacing::MHz10, ChannelSpacing::MHz5})
    EXPECT_NEAR(*sensitivitySnrDb(12, s), *sensitivitySnrDb(12), 0.021);
  EXPECT_FALSE(sensitivitySnrDb(11));
}

TEST(PerSweep, RejectsWhatCannotRunNamingTheOption) {
  const auto names = [](std::string_view n) { return "--" + std::string(n); };
  const auto message = [&](const Sweep& s) {
    try {
      validate(s, names);
    } catch (const Error& e) {
      return std::string(e.what());
    }
    return std::string();
  };
  Sweep s = smallSweep();
  s.ratesMbps = {6, 6};
  EXPECT_NE(message(s).find("--rates"), std::string::npos);
  s = smallSweep();
  s.ratesMbps = {7};
  EXPECT_NE(message(s).find("--rates"), std::string::npos);
  s = smallSweep();
  s.snrDb = {};
  EXPECT_NE(message(s).find("--snr"), std::string::npos);
  s = smallSweep();
  s.snrDb = {1e9};
  EXPECT_NE(message(s).find("--snr"), std::string::npos);
  s = smallSweep();
  s.frames = 0;
  EXPECT_NE(message(s).find("--frames"), std::string::npos);
  s = smallSweep();
  s.job.frame.framed = false;
  EXPECT_FALSE(message(s).empty());
  s = smallSweep();
  s.job.impairments.snrDb = 10;
  EXPECT_NE(message(s).find("--snr"), std::string::npos);
  EXPECT_TRUE(message(smallSweep()).empty());
}

TEST(PerReport, SnrListsAndResultsOfPointsWithoutFrames) {
  EXPECT_EQ(snrList("0:1:0.5", "--snr"), (std::vector<double>{0, 0.5, 1}));
  // TO is reached through rounding of many steps.
  EXPECT_EQ(snrList("0:3:0.1", "--snr").size(), 31u);
  EXPECT_EQ(snrList("1,3.5", "--snr"), (std::vector<double>{1, 3.5}));
  for (const char* bad : {"", "1:0:1", "0:1:0", "0:1", "a", "1,,2", "0:1e9:1e-9"})
    EXPECT_THROW(snrList(bad, "--snr"), Error) << bad;

  const Sweep s = smallSweep();
  std::vector<PointResult> r = {at(2, 10, 10), at(13, 0, 0), at(2, 0, 0), at(13, 0, 0)};
  r[1].complete = false;
  const std::string json = resultJson(s, r);
  EXPECT_NE(json.find("\"per\": null"), std::string::npos);
  EXPECT_NE(json.find("\"complete\": false"), std::string::npos);
  // Each rate's limit beside its threshold (36 Mbit/s: -70 dBm).
  EXPECT_NE(json.find("\"snr_db_limit\": 21.89"), std::string::npos) << json;
  EXPECT_NE(resultCsv(r).find("6,13,0,0,0,,false"), std::string::npos);
}

}  // namespace
}  // namespace dot11a::per
