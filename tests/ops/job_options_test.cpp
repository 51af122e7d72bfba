// The frame job of the front ends' options (the order they apply in, the
// presets, the conflicts) and the records at the edge (a frame through its
// record and back, a job through its parameter file).
#include <gtest/gtest.h>

#include "common/test_folder.hpp"
#include "dot11a/capture.hpp"
#include "dot11a/files.hpp"
#include "dot11a/frame_record.hpp"
#include "dot11a/job_options.hpp"
#include "dot11a/parameters.hpp"
#include "dot11a/waveform.hpp"

namespace dot11a {
namespace {

using test::errorOf;

FrameJob jobWith(const std::function<void(JobOptions&)>& set) {
  JobOptions o;
  set(o);
  return jobOf(o, OptionSpelling::Keyword).job;
}

std::string refusal(const std::function<void(JobOptions&)>& set) {
  return errorOf([&] { jobWith(set); });
}

TEST(JobOptions, OptionsApplyInTheirOrderWhateverOrderTheyCome) {
  // The idle interval keeps its 100 us when the oversampling changes, unless given.
  EXPECT_EQ(jobWith([](JobOptions& o) { o.oversampling = 4; }).frame.idleSamples, 8000);
  EXPECT_EQ(jobWith([](JobOptions& o) {
              o.idleUs = 10;
              o.oversampling = 4;
            }).frame.idleSamples,
            800);
  // Modulation and coding given beside the rate win over it.
  const FrameJob j = jobWith([](JobOptions& o) {
    o.modulation = "bpsk";
    o.rate = 54;
  });
  EXPECT_EQ(j.frame.modulation, Modulation::BPSK);
  EXPECT_EQ(j.frame.coding.value(), 0.75);
  EXPECT_NE(refusal([](JobOptions& o) {
              o.length = 4095;
              o.macHeader = true;
            }).find("length must be a whole number from 1 to 4065"),
            std::string::npos);
  EXPECT_NE(refusal([](JobOptions& o) { o.scramblerInit = 128; }).find("scrambler_init"),
            std::string::npos);
}

TEST(JobOptions, PresetsAndImpairmentsMakeTheirJobOrSayWhatClashes) {
  JobOptions o;
  o.rate = 24;
  o.macHeader = true;
  o.test = "acr";
  const OptionsJob acr = jobOf(o, OptionSpelling::CommandLine);
  ASSERT_TRUE(acr.test && acr.job.impairments.interferer);
  EXPECT_EQ(acr.job.frame.totalLength(), 1000);  // the PSDU, the header included
  EXPECT_EQ(acr.job.frame.oversampling, 3);      // holds the interferer 20 MHz away
  EXPECT_EQ(acr.job.impairments.interferer->levelDb, 8);
  EXPECT_EQ(acr.job.sequence.frames, 1000u);
  EXPECT_EQ(acr.job.sequence.gap.text(), "SIFS");
  o.impairments.interferer = impair::Interferer{};
  EXPECT_NE(errorOf([&] { jobOf(o, OptionSpelling::CommandLine); }).find("leave out --interferer"),
            std::string::npos);

  EXPECT_NE(refusal([](JobOptions& p) {
              p.impairments.cfoHz = 1e3;
              p.cfoPpm = 2;
            }).find("choose one"),
            std::string::npos);
  EXPECT_NE(refusal([](JobOptions& p) { p.cfoPpm = 2; }).find("cfo_ppm needs the carrier"),
            std::string::npos);
  const FrameJob ppm = jobWith([](JobOptions& p) {
    p.cfoPpm = 2;
    p.frequency = 5e9;
  });
  EXPECT_EQ(*ppm.impairments.cfoHz, 1e4);
  EXPECT_TRUE(ppm.carrierKnown);
  EXPECT_EQ(ppm.generator.frequency, 5e9);
  JobOptions n;
  setImpairmentText(n, "phase-noise", "1.5", OptionSpelling::CommandLine);
  EXPECT_EQ(n.impairments.phaseNoise->rmsDeg, 1.5);
  EXPECT_EQ(n.impairments.phaseNoise->cornerHz, 100e3);
  EXPECT_EQ(errorOf([&] { setImpairmentText(n, "interferer", "20", OptionSpelling::Keyword); }),
            "interferer takes OFFSET_MHZ,LEVEL_DB, not \"20\".");
}

// At 10 MHz: the same row at half the rate, 3 dB more sensitive, the
// interferer one 10 MHz channel away; at 5 MHz 6 dB more sensitive.
TEST(JobOptions, NarrowChannelPresetsScaleTheirLevelsAndOffsets) {
  JobOptions o;
  o.channelSpacingMHz = 10;
  o.rate = 12;
  o.test.emplace("acr");
  const OptionsJob acr = jobOf(o, OptionSpelling::CommandLine);
  EXPECT_EQ(acr.test->wantedDbm, -74 - 3 + 3);
  EXPECT_EQ(acr.job.impairments.interferer->offsetHz, 10e6);
  EXPECT_EQ(acr.job.impairments.interferer->levelDb, 8);
  EXPECT_EQ(acr.job.frame.oversampling, 3);
  o.channelSpacingMHz = 5;
  o.rate = 1.5;
  o.test.emplace("sensitivity");
  EXPECT_EQ(jobOf(o, OptionSpelling::CommandLine).test->wantedDbm, -82 - 6);
}

class JobRecords : public test::FolderTest {
 protected:
  JobRecords() : FolderTest("job-records") {}
};

TEST_F(JobRecords, AFrameAndAJobComeBackFromTheirRecordsAsTheyWere) {
  FrameParameters f;
  f.framed = false;
  f.modulation = Modulation::QAM16;
  f.coding = {2, 3};
  f.scrambler = false;
  f.scramblerInit = 5;
  f.interleaver = false;
  f.subCarriers[0] = 0;
  f.idleSamples = 123;
  f.mirror = true;
  f.oversampling = 3;
  f.windowLength = 7;
  f.macHeaderActive = true;
  f.macHeader["Address4"] = {0x0102030405, false};
  f.macHeader["SeqCntrl"].value = 0x1230;
  f.fcs = true;
  f.service = 0xABCD;
  f.source = PayloadSource::Pn15;
  f.dataLength = 77;
  f.sourceName = "file.bin";
  f.sourceBits = {1, 0, 1, 1, 0, 0, 0, 1};
  const Value r = toRecord(f);
  EXPECT_EQ(r.fieldNames(), defaultParameters().fieldNames());
  EXPECT_EQ(r.field("MACheader").field("Length").toScalar(), 24);  // Address4 not sent
  EXPECT_EQ(r.field("totalLength").toScalar(), 77 + 24 + 4);
  EXPECT_EQ(toRecord(fromRecord(r)), r);
  EXPECT_EQ(parameterSetProblem(r, defaultParameters()), "");

  FrameJob job;
  job.frame = f;
  job.generator.frequency = 2.4e9;
  job.generator.amplitude = -10;
  job.sequence.frames = 4;
  job.impairments.snrDb = 12;
  writeJobFile(path("job.mat"), job);
  const ParameterFileRead read = readParameterFile(path("job.mat"), kParameterFileFormatId);
  ASSERT_TRUE(read.parameters && read.sigGenSettings && read.signalSettings);
  EXPECT_EQ(*read.parameters, r);
  const SigGenSettings g = sigGenSettingsFromValue(*read.sigGenSettings);
  EXPECT_EQ(g.frequency, 2.4e9);
  EXPECT_EQ(g.amplitude, -10);
  SequenceSettings q;
  impair::Settings m;
  fromSignalRecord(*read.signalSettings, q, m);
  EXPECT_EQ(q.frames, 4u);
  EXPECT_EQ(m.snrDb, 12);
  // The clean frame's file has no signal record.
  const FrameJob clean;
  writeJobFile(path("clean.mat"), clean);
  EXPECT_FALSE(readParameterFile(path("clean.mat"), kParameterFileFormatId).signalSettings);
}

TEST_F(JobRecords, AChannelSpacingTravelsThroughTheOptionsAndEveryFile) {
  // The spacing applies first: the rate and the idle interval are at 10 MHz.
  JobOptions o;
  o.channelSpacingMHz = 10;
  o.rate = 27;
  o.idleUs = 10;
  o.oversampling = 3;
  const FrameJob job = jobOf(o, OptionSpelling::CommandLine).job;
  EXPECT_EQ(job.frame.spacing, ChannelSpacing::MHz10);
  EXPECT_EQ(job.frame.modulation, Modulation::QAM64);
  EXPECT_EQ(job.frame.idleSamples, 10 * 10 * 3);
  // The instrument's clock is the frame's, not the 20 MHz one of the ratio.
  EXPECT_EQ(job.generator.samplingRate, 30e6);
  EXPECT_EQ(refusal([](JobOptions& p) {
              p.channelSpacingMHz = 10;
              p.rate = 54;
            }),
            "rate must be one of 3, 4.5, 6, 9, 12, 18, 24, 27 at 10 MHz channel spacing, not 54.");
  EXPECT_EQ(refusal([](JobOptions& p) { p.channelSpacingMHz = 40; }),
            "channel_spacing must be 20e6, 10e6 or 5e6 (Hz), not 4e+07.");

  // The parameter record and the job file keep it; a record without the
  // field is a 20 MHz frame, one with another value is refused.
  Value r = toRecord(job.frame);
  EXPECT_EQ(r.field(kChannelSpacingField).toScalar(), 10);
  EXPECT_EQ(fromRecord(r).spacing, ChannelSpacing::MHz10);
  writeJobFile(path("narrow.mat"), job);
  JobOptions fromFile;
  fromFile.params = path("narrow.mat");
  EXPECT_EQ(jobOf(fromFile, OptionSpelling::CommandLine).job.frame.sampleRate(), 30e6);
  r.setField(kChannelSpacingField, Value(7.0));
  EXPECT_NE(errorOf([&] { fromRecord(r); }).find("ChannelSpacing is 7, not 20, 10 or 5"),
            std::string::npos);

  // SigMF records it and reads it back; the 20 MHz recording says nothing.
  const Waveform w = make(job);
  writeWaveform(path("narrow.sigmf-meta"), WaveformFormat::Sigmf, w);
  const Capture c = readCapture(path("narrow.sigmf-meta"));
  EXPECT_EQ(c.spacing, ChannelSpacing::MHz10);
  const FrameJob wide;
  writeWaveform(path("wide.sigmf-meta"), WaveformFormat::Sigmf, make(wide));
  EXPECT_FALSE(readCapture(path("wide.sigmf-meta")).spacing);
}

}  // namespace
}  // namespace dot11a
