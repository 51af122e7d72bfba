// dot11a-gen's receiver-test options (see receiver_test_cli.hpp).
#include "receiver_test_cli.hpp"

#include <cstdio>
#include <string>

namespace dot11a::cli {

void addImpairOptions(CLI::App& app, ImpairOptions& o) {
  const std::string s = "Frame sequence";
  app.add_option("--frames", o.frames, "Number of frames, 1 .. 100000")
      ->check(CLI::Range(1, 100000))
      ->group(s);
  app.add_option("--gap-us", o.gap, "Gap between frames: microseconds 0 .. 10000, SIFS or DIFS")
      ->group(s);
  app.add_flag("--seed-step", o.seedStep, "Step the scrambler seed 1 .. 127 from frame to frame")
      ->group(s);
  app.add_option("--sequence", o.sequenceFile,
                 "JSON file of per-frame rate, length and source: {\"frames\": [{...}, ...]}")
      ->group(s);
  const std::string g = "Impairments (applied in this order)";
  app.add_option("--pa", o.pa, "Amplifier: rapp:P,BACKOFF_DB or clip:BACKOFF_DB")->group(g);
  app.add_option("--iq-imbalance", o.iq, "IQ imbalance GAIN_DB,PHASE_DEG")->group(g);
  app.add_option("--dc", o.dc, "Carrier leakage in dBc, -80 .. 0")->group(g);
  app.add_option("--phase-noise", o.phaseNoise, "Phase noise DEG_RMS[,CORNER_HZ]")->group(g);
  app.add_option("--channel", o.channel, "Multipath exp:RMS_NS[,rician:K_DB]")->group(g);
  app.add_option("--cfo", o.cfo, "Carrier frequency offset in Hz")->group(g);
  app.add_option("--cfo-ppm", o.cfoPpm, "Carrier frequency offset in ppm of --frequency")->group(g);
  app.add_option("--clock-ppm", o.clockPpm, "Sampling clock offset in ppm, -1000 .. 1000")
      ->group(g);
  app.add_option("--snr", o.snr, "White noise for this SNR in dB in the occupied band")->group(g);
  app.add_option("--interferer", o.interferer,
                 "Unsynchronised 802.11a signal at OFFSET_MHZ,LEVEL_DB from the wanted one")
      ->group(g);
  app.add_option("--seed", o.seed, "Seed of every random draw above (0 .. 2^64-1, default 1)")
      ->group(g);
  app.add_option("--test", o.test,
                 "Receiver test preset: sensitivity | acr | alt-acr (1000-octet PSDUs)")
      ->group(g);
}

void printReceiverTest(const ReceiverTestWaveform& w, const std::optional<ReceiverTest>& test) {
  if (w.frames > 1) std::printf("sequence:      %zu frames\n", w.frames);
  if (!w.settings.empty()) std::printf("impairments:   %s\n", w.settings.c_str());
  if (test)
    std::printf(
        "receiver test: %s at %g Mbit/s: set the instrument power (--power) to %g dBm at the "
        "receiver input%s\n",
        test->name.c_str(), test->rateMbps, test->wantedDbm,
        test->interferer ? "; the interferer's level is relative to it" : "");
}

}  // namespace dot11a::cli
