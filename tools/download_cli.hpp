// The command-line options that download a generated waveform to a signal
// generator and play it, shared by the command-line tools:
//
//   --download ADDRESS   tcpip:HOST[:PORT], serial:PORT[:BAUD], gpib:BOARD:PRIMARY[:SECONDARY]
//   --title, --frequency, --power, --sample-rate, --filter, --blanking,
//   --marker-polarity, --reference, --platform b|c, and for the C platform
//   --bb-filter, --scaling, --mod-atten, --alc; --io-timeout.
//
// Settings start from the generator settings' defaults; the sample rate from
// 20 MHz times the oversampling ratio of the waveform.
#pragma once

#include <CLI/CLI.hpp>
#include <cmath>
#include <cstdio>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "dot11a/instrument.hpp"
#include "dot11a/siggen_settings.hpp"
#include "dot11a/units.hpp"

namespace dot11a::cli {

struct DownloadOptions {
  std::string address;  // empty: no download
  std::string title = "DOT11A";
  double frequency = 1e9;
  double power = -30;
  std::optional<double> sampleRate;
  int filter = 4;
  int blanking = 1;
  int markerPolarity = 0;
  int reference = 0;
  std::string platform = "b";
  int bbFilter = 3;
  double scaling = 100;
  double modAtten = 0;
  int alc = 0;
  double ioTimeout = 0;  // 0: the gateway's default
  bool yes = false;      // go ahead with a long RS-232 transfer without asking
};

// A validator that accepts a decimal number (within lo .. hi, whole where
// asked) and otherwise names the values the option takes.
inline CLI::Validator number(std::string accepted, double lo = -HUGE_VAL, double hi = HUGE_VAL,
                             bool whole = false) {
  return CLI::Validator(
      [=](std::string& t) -> std::string {
        const auto v = parseDecimal(t);
        if (v && std::isfinite(*v) && *v >= lo && *v <= hi && (!whole || *v == std::round(*v)))
          return std::string();
        return "\"" + t + "\" is not " + accepted;
      },
      "", "number");
}

// Reads a value typed with an SI prefix and unit ("5.18 GHz", "40 MS/s",
// "100 us") through the one unit reader, as the window's fields do, and hands
// it on as a plain number in `per` (1 for Hz or seconds, 1e-6 for
// microseconds); a bare number is left as typed, in the option's own unit.
inline CLI::Validator measure(dot11a::Quantity quantity, double per = 1) {
  return CLI::Validator(
      [=](std::string& t) -> std::string {
        const auto m = dot11a::parseMeasure(t, quantity);
        if (m && m->withUnit) {
          char buf[40];
          std::snprintf(buf, sizeof buf, "%.17g", m->value / per);
          t = buf;
        }
        return std::string();
      },
      "", "measure");
}

// Reports a command line CLI11 could not take and returns the exit status:
// 0 after --help, 1 for every error (CLI11's own codes are not the tools').
inline int parseFailure(const CLI::App& app, const CLI::ParseError& e, const char* tool) {
  if (e.get_exit_code() == 0) return app.exit(e);
  std::fprintf(stderr, "%s: %s\nRun with --help for the options and their values.\n", tool,
               e.what());
  return 1;
}

// Adds the options to `app` (in their own group) and binds them to `o`.
inline void addDownloadOptions(CLI::App& app, DownloadOptions& o) {
  const std::string g = "Instrument download";
  const std::map<std::string, int> filters = {{"1", 1}, {"250k", 1}, {"2", 2}, {"2.5M", 2},
                                              {"3", 3}, {"8M", 3},   {"4", 4}, {"through", 4}};
  const std::map<std::string, int> bbFilters = {{"1", 1},   {"2.1M", 1}, {"2", 2},
                                                {"40M", 2}, {"3", 3},    {"through", 3}};
  const std::map<std::string, int> onOff = {{"on", 1}, {"off", 0}, {"1", 1}, {"0", 0}};
  app.add_option("--download", o.address,
                 "download the waveform and play it: tcpip:HOST[:PORT], serial:PORT[:BAUD] or "
                 "gpib:BOARD:PRIMARY[:SECONDARY]")
      ->group(g)
      // Read before any frame is made, so a mistyped address costs nothing.
      ->check([](const std::string& address) {
        try {
          (void)configFromAddress(address);
          return std::string();
        } catch (const std::exception& e) {
          return std::string(e.what());
        }
      });
  app.add_option("--title", o.title,
                 "waveform name in the instrument (1-20 of A-Z 0-9 _ $ & # + - [ ])")
      ->group(g)
      ->check([](const std::string& t) {
        return cleanTitle(t) == t ? std::string()
                                  : "not a valid waveform title; it could be " + cleanTitle(t);
      });
  app.add_option("--frequency", o.frequency,
                 "carrier frequency in Hz (100e3 to 6e9, or with a unit: 5.18GHz; the instrument "
                 "checks its own limit)")
      ->group(g)
      ->transform(measure(dot11a::Quantity::Frequency))
      ->check(number("a frequency from 100e3 to 6e9 Hz", 100e3, 6e9));
  app.add_option("--power", o.power, "output power in dBm, whole (-136 to 20)")
      ->group(g)
      ->check(number("a whole number of dBm from -136 to 20", -136, 20, true));
  app.add_option("--sample-rate", o.sampleRate,
                 "sample clock in Hz or with a unit (40MHz; default 20e6 times the oversampling "
                 "ratio)")
      ->group(g)
      ->transform(measure(dot11a::Quantity::Frequency))
      ->check(number("a sample clock from 1 to 100e6 Hz", 1, 100e6));
  app.add_option("--filter", o.filter, "reconstruction filter: 250k, 2.5M, 8M or through")
      ->group(g)
      ->transform(CLI::CheckedTransformer(filters, CLI::ignore_case));
  app.add_option("--blanking", o.blanking, "RF blanking: on or off")
      ->group(g)
      ->transform(CLI::CheckedTransformer(onOff, CLI::ignore_case));
  app.add_option("--marker-polarity", o.markerPolarity, "marker polarity: pos or neg")
      ->group(g)
      ->transform(CLI::CheckedTransformer(std::map<std::string, int>{{"pos", 0}, {"neg", 1}},
                                          CLI::ignore_case));
  app.add_option("--reference", o.reference, "ARB reference: int or ext")
      ->group(g)
      ->transform(CLI::CheckedTransformer(std::map<std::string, int>{{"int", 0}, {"ext", 1}},
                                          CLI::ignore_case));
  app.add_option("--platform", o.platform, "instrument platform: b or c")
      ->group(g)
      ->check(CLI::IsMember({"b", "c"}, CLI::ignore_case));
  app.add_option("--bb-filter", o.bbFilter, "C platform: baseband filter 2.1M, 40M or through")
      ->group(g)
      ->transform(CLI::CheckedTransformer(bbFilters, CLI::ignore_case));
  app.add_option("--scaling", o.scaling, "C platform: runtime scaling in percent (default 100)")
      ->group(g)
      ->check(number("a percentage from 0 to 100", 0, 100));
  app.add_option("--mod-atten", o.modAtten,
                 "C platform: I/Q modulator attenuation in dB (default 0)")
      ->group(g)
      ->check(number("an attenuation from 0 to 40 dB", 0, 40));
  app.add_option("--alc", o.alc, "C platform: level control on or off (default off)")
      ->group(g)
      ->transform(CLI::CheckedTransformer(onOff, CLI::ignore_case));
  app.add_flag("--yes", o.yes, "go ahead with a long RS-232 transfer without asking")->group(g);
  app.add_option("--io-timeout", o.ioTimeout,
                 "seconds allowed per instrument step (default 10); the whole download and "
                 "playback ends within " +
                     std::to_string(kExchangeTimeouts) + " of them")
      ->group(g)
      ->check(number("a time-out from 0.1 to 3600 s", 0.1, 3600));
}

// The generator settings the options describe.
inline SigGenSettings settingsFrom(const DownloadOptions& o, double overSampling) {
  SigGenSettings s = defaultSigGenSettings(overSampling);
  s.title = o.title;
  s.frequency = o.frequency;
  s.amplitude = o.power;
  if (o.sampleRate) s.samplingRate = *o.sampleRate;
  s.reconFilter = o.filter;
  s.rfBlanking = o.blanking;
  s.markerPolarity = o.markerPolarity;
  s.arbRefSource = o.reference;
  s.bbFilter = o.bbFilter;
  s.scaling = o.scaling;
  s.modAtten = o.modAtten;
  s.alc = o.alc;
  return s;
}

// Downloads and plays the waveform when --download was given. Prints what
// happened on standard error and returns the exit status: 0 on success (or
// when there was nothing to do), 1 when the address is unusable or the
// download or the setup failed. Raises nothing.
inline int runDownload(const DownloadOptions& o, const Value& iq, const Value& markers,
                       double overSampling) {
  if (o.address.empty()) return 0;
  try {
    Value config = configFromAddress(o.address);
    if (o.ioTimeout > 0) config.setField("timeout", o.ioTimeout);
    // No one to ask on the command line: --yes is the answer to a long
    // transfer's question.
    const bool yes = o.yes;
    const Confirm confirm = [yes](std::string_view, std::string_view text) {
      if (!yes)
        std::fprintf(stderr, "%s\nNot confirmed: run again with --yes to go ahead.\n",
                     std::string(text).c_str());
      return yes;
    };
    const DownloadAndPlayResult r = downloadAndPlay(iq, markers, settingsFrom(o, overSampling),
                                                    config, platformFromText(o.platform), confirm);
    std::fprintf(stderr, "%s\n", r.message().c_str());
    return r.ok() ? 0 : 1;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "Download failed: %s\n", e.what());
    return 1;
  }
}

}  // namespace dot11a::cli
