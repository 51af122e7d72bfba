// dot11a-gen's receiver-test options (see receiver_test_cli.hpp).
#include "receiver_test_cli.hpp"

#include <cstdio>
#include <string>

namespace dot11a::cli {

namespace {

void addSequenceOptions(CLI::App& app, JobOptions& o, ImpairTexts& t, const std::string& s) {
  app.add_option("--frames", o.frames, "Number of frames, 1 .. 100000")
      ->check(CLI::Range(1, 100000))
      ->group(s);
  app.add_option("--gap-us", t.gap, "Gap between frames: microseconds 0 .. 10000, SIFS or DIFS")
      ->group(s);
  app.add_flag("--seed-step", o.seedStep, "Step the scrambler seed 1 .. 127 from frame to frame")
      ->group(s);
  app.add_option("--sequence", o.sequenceFile,
                 "JSON file of per-frame rate, length and source: {\"frames\": [{...}, ...]}")
      ->group(s);
}

}  // namespace

void addImpairOptions(CLI::App& app, JobOptions& o, ImpairTexts& t, ImpairOptionsFor which) {
  const bool generator = which == ImpairOptionsFor::Generator;
  if (generator) addSequenceOptions(app, o, t, "Frame sequence");
  const std::string g = "Impairments (applied in this order)";
  app.add_option("--pa", t.pa, "Amplifier: rapp:P,BACKOFF_DB or clip:BACKOFF_DB")->group(g);
  app.add_option("--iq-imbalance", t.iq, "IQ imbalance GAIN_DB,PHASE_DEG")->group(g);
  app.add_option("--dc", t.dc, "Carrier leakage in dBc, -80 .. 0")->group(g);
  app.add_option("--phase-noise", t.phaseNoise, "Phase noise DEG_RMS[,CORNER_HZ]")->group(g);
  app.add_option("--channel", t.channel, "Multipath exp:RMS_NS[,rician:K_DB]")->group(g);
  app.add_option("--cfo", t.cfo, "Carrier frequency offset in Hz")->group(g);
  app.add_option("--cfo-ppm", t.cfoPpm, "Carrier frequency offset in ppm of --frequency")->group(g);
  app.add_option("--clock-ppm", t.clockPpm, "Sampling clock offset in ppm, -1000 .. 1000")
      ->group(g);
  if (generator)
    app.add_option("--snr", t.snr, "White noise for this SNR in dB in the occupied band")->group(g);
  app.add_option("--interferer", t.interferer,
                 "Unsynchronised 802.11a signal at OFFSET_MHZ,LEVEL_DB from the wanted one")
      ->group(g);
  if (!generator) return;
  app.add_option("--seed", t.seed, "Seed of every random draw above (0 .. 2^64-1, default 1)")
      ->group(g);
  app.add_option("--test", o.test,
                 "Receiver test preset: sensitivity | acr | alt-acr (1000-octet PSDUs with MAC "
                 "header, PN payload and FCS; 1000 frames or the most that fit, or --frames)")
      ->group(g);
}

void readImpairTexts(const ImpairTexts& t, JobOptions& o) {
  constexpr OptionSpelling cl = OptionSpelling::CommandLine;
  if (t.gap) o.gap = Gap::parse(*t.gap);
  if (t.pa) o.impairments.amplifier = amplifierOf(*t.pa, cl);
  if (t.iq) setImpairmentText(o, "iq-imbalance", *t.iq, cl);
  if (t.dc) setImpairmentText(o, "dc", *t.dc, cl);
  if (t.phaseNoise) setImpairmentText(o, "phase-noise", *t.phaseNoise, cl);
  if (t.channel) o.impairments.channel = channelOf(*t.channel, cl);
  if (t.cfo) setImpairmentText(o, "cfo", *t.cfo, cl);
  if (t.cfoPpm) setImpairmentText(o, "cfo-ppm", *t.cfoPpm, cl);
  if (t.clockPpm) setImpairmentText(o, "clock-ppm", *t.clockPpm, cl);
  if (t.snr) setImpairmentText(o, "snr", *t.snr, cl);
  if (t.interferer) setImpairmentText(o, "interferer", *t.interferer, cl);
  if (t.seed) o.impairments.seed = parseSeed(*t.seed, "--seed takes");
}

void printReceiverTest(const FrameJob& job, const Waveform& w,
                       const std::optional<ReceiverTest>& test) {
  if (test)
    std::printf("sequence:      %s\n", test->framesText.c_str());
  else if (w.frames.size() > 1)
    std::printf("sequence:      %zu frames\n", w.frames.size());
  const std::string settings = impair::describe(job.impairments);
  if (!settings.empty()) std::printf("impairments:   %s\n", settings.c_str());
  if (test)
    std::printf(
        "receiver test: %s at %g Mbit/s: set the instrument power (--power) to %g dBm at the "
        "receiver input%s\n",
        test->name.c_str(), test->rateMbps, test->wantedDbm,
        test->interferer ? "; the interferer's level is relative to it" : "");
}

}  // namespace dot11a::cli
