// The ranges an instrument reports for frequency, power and sample clock:
// asked of tgx-sim, checked before they bound anything, and kept in the
// stored configuration per connection and family.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/test_folder.hpp"
#include "dot11a/instrument.hpp"
#include "dot11a/matfile.hpp"
#include "sim_process.hpp"

namespace dot11a {
namespace {

using test::SimProcess;

Value tcpConfig(const SimProcess& sim) {
  Value c = initConfig();
  c.setField("type", "TCPIP");
  c.field("TCPIP").setField("address", sim.address());
  c.setField("timeout", 5.0);
  return c;
}

class InstrumentRanges : public test::FolderTest {
 protected:
  InstrumentRanges() : FolderTest("ranges") {}
};

TEST_F(InstrumentRanges, EachFamilyReportsItsOwnAndTheSettingsFollowThem) {
  SimProcess c({"--family", "c"});
  const LimitsReport rc = queryInstrumentLimits(tcpConfig(c));
  ASSERT_TRUE(rc.limits) << rc.message;
  EXPECT_EQ(rc.limits->frequencyMax, 6e9);
  EXPECT_EQ(rc.limits->amplitudeMin, -136);
  EXPECT_EQ(rc.limits->samplingRateMax, 100e6);
  EXPECT_EQ(c.log().front(), ":source:freq:fix? min");

  SimProcess b({"--family", "b"});
  const LimitsReport rb = queryInstrumentLimits(tcpConfig(b));
  ASSERT_TRUE(rb.limits) << rb.message;
  EXPECT_EQ(rb.limits->frequencyMax, 4e9);
  EXPECT_EQ(rb.limits->samplingRateMax, 40e6);
  // The family's bound is the instrument's own: 5.18 GHz is refused there.
  EXPECT_EQ(hwSend(tcpConfig(b), " :source:freq:fix 5180000000Hz").status,
            gateway_status::kInstrumentError);
  EXPECT_EQ(hwSend(tcpConfig(c), " :source:freq:fix 5180000000Hz").status, 0);
}

// Nonsense never becomes a bound, and an instrument that does not know the
// queries is left with a clean error queue, so the command after them is not
// blamed for their errors.
TEST_F(InstrumentRanges, MissingOrNonsenseAnswersKeepTheBounds) {
  for (const std::string answer : {"abc", "", "nan", "+9.91E+37", "inf", "5e9 Hz"}) {
    SimProcess sim({"--range-answer", answer});
    const LimitsReport r = queryInstrumentLimits(tcpConfig(sim));
    EXPECT_FALSE(r.limits) << answer;
    EXPECT_NE(r.message.find("keeps its own bounds"), std::string::npos) << r.message;
  }
  SimProcess unknown({"--no-ranges"});
  const Value config = tcpConfig(unknown);
  const LimitsReport r = queryInstrumentLimits(config);
  EXPECT_FALSE(r.limits);
  EXPECT_NE(r.message.find("freq:fix? min"), std::string::npos) << r.message;
  const IoResult next = hwSend(config, " :source:freq:fix 1000000000Hz");
  EXPECT_TRUE(next.ok()) << next.response;
}

TEST_F(InstrumentRanges, UnsoundRangesAreRefused) {
  SigGenLimits l{100e3, 6e9, -136, 25, 1, 100e6};
  EXPECT_EQ(sigGenLimitsProblem(l), "");
  for (auto broken : {+[](SigGenLimits& x) { x.frequencyMin = x.frequencyMax; },
                      +[](SigGenLimits& x) { x.frequencyMin = 0; },
                      +[](SigGenLimits& x) { x.frequencyMin = 1e-300; },
                      +[](SigGenLimits& x) { x.amplitudeMax = 9.91e37; },
                      +[](SigGenLimits& x) { x.samplingRateMin = -1; },
                      +[](SigGenLimits& x) { x.samplingRateMax = 1e300 * 1e300; }}) {
    SigGenLimits bad = l;
    broken(bad);
    EXPECT_NE(sigGenLimitsProblem(bad), "");
  }
}

// Kept per connection and family, through the configuration file; a stored
// entry that is not a sound range (an edited file) is not used.
TEST_F(InstrumentRanges, StoredPerInstrumentAndFamilyAndSurviveTheFile) {
  Value lab = configFromAddress("tcpip:lab-tgx:5025");
  const Value other = configFromAddress("gpib:0:19");
  const SigGenLimits six{100e3, 6e9, -136, 25, 1, 100e6};
  const SigGenLimits four{100e3, 4e9, -136, 20, 1, 40e6};
  lab = withInstrumentLimits(lab, instrumentKey(lab), "c", six);
  lab = withInstrumentLimits(lab, instrumentKey(other), "b", four);
  lab = withInstrumentLimits(lab, instrumentKey(lab), "c", four);  // replaces, not adds
  const std::string file = path("defaults.mat");
  writeMatFile(file, std::vector<NamedValue>{{"fileParameters", lab}});
  const Value back = readMatFile(file).at(0).second;
  EXPECT_EQ(back.field("InstrumentRanges").numel(), 2u);
  ASSERT_TRUE(storedInstrumentLimits(back, "c"));
  EXPECT_EQ(storedInstrumentLimits(back, "c")->frequencyMax, 4e9);
  EXPECT_FALSE(storedInstrumentLimits(back, "b"));  // another family
  Value gpib = back;
  gpib.setField("type", "GPIB");
  ASSERT_TRUE(storedInstrumentLimits(gpib, "b"));
  EXPECT_EQ(instrumentKey(gpib), "GPIB 0:19");

  Value edited = back;
  edited.field("InstrumentRanges").cellAt(1).setField("FrequencyMax", -5.0);
  EXPECT_FALSE(storedInstrumentLimits(edited, "c"));
}

}  // namespace
}  // namespace dot11a
