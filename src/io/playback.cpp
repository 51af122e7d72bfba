// Waveform download and the playback command sequences of the two platforms.
#include <algorithm>
#include <cctype>
#include <charconv>
#include <chrono>
#include <cmath>
#include <functional>
#include <optional>
#include <string>

#include "dot11a/dialogs.hpp"
#include "dot11a/error.hpp"
#include "dot11a/instrument.hpp"
#include "dot11a/num2str.hpp"

namespace dot11a {

namespace {

bool equalsNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

std::string configType(const Value& config) {
  if (config.isRecord() && config.hasField("type") && config.field("type").isText())
    return config.field("type").str();
  return {};
}

// The answer to the ARB state query read as a number ("1", "1.0", "+1", " 1\n");
// anything that is not a number is not 1.
bool answerIsOne(std::string_view answer) {
  auto v = parseDecimal(answer);
  return v && *v == 1;
}

std::size_t sampleCount(const Value& iq) {
  return iq.isAbsent() ? 0 : iq.numel();
}

// After such a result the instrument cannot be reached (no connection, no
// answer, no interface): every further step would wait its time-out in vain.
bool unreachable(const IoResult& r) {
  namespace gs = gateway_status;
  return r.status == gs::kBadConfiguration || r.status == gs::kConnectFailed ||
         r.status == gs::kIoFailed || r.status == gs::kNotInstalled;
}

// The time one exchange with the instrument may take: kExchangeTimeouts
// time-outs. One gateway step takes at most kStepTimeouts of them (connecting,
// a write that stops moving, the error queue read for one time-out plus the
// answer in progress), so a step starts only while that much is left.
class Budget {
 public:
  using Clock = std::chrono::steady_clock;
  static constexpr double kStepTimeouts = 4;

  explicit Budget(const Value& config)
      : timeout_(ioTimeoutOf(config)), end_(Clock::now() + seconds(kExchangeTimeouts * timeout_)) {}

  // A failure when too little time is left to start the step `what`.
  std::optional<IoResult> refuse(std::string_view what) const {
    if (Clock::now() + seconds(kStepTimeouts * timeout_) <= end_) return std::nullopt;
    return IoResult{gateway_status::kIoFailed,
                    "The instrument took too long: the exchange may last " +
                        formatG(kExchangeTimeouts * timeout_, 6) + " s (" +
                        std::to_string(kExchangeTimeouts) + " time-outs of " +
                        formatG(timeout_, 6) + " s); stopped before " + std::string(what) + "."};
  }

  // Runs the waveform transfer; the time it took beyond one step's allowance
  // is the data flowing, which the budget does not count.
  template <class Step>
  IoResult transfer(Step step) {
    const auto start = Clock::now();
    IoResult r = step();
    const auto extra = (Clock::now() - start) - seconds(kStepTimeouts * timeout_);
    if (extra > Clock::duration::zero()) end_ += extra;
    return r;
  }

 private:
  static Clock::duration seconds(double s) {
    return std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(s));
  }
  double timeout_;
  Clock::time_point end_;
};

DownloadResult refused(const IoResult& r) {
  DownloadResult d;
  d.status = r.status;
  d.description = r.response;
  return d;
}

DownloadResult downloadWithin(const Value& iq, const Value& markers, std::string_view name,
                              const Value& config, const Confirm& confirm, Budget& budget,
                              const TransferProgress& progress = {},
                              const std::function<bool()>& mayStore = {}) {
  DownloadResult result;
  if (equalsNoCase(configType(config), "rs232")) {
    const Value& rs = config.field("RS232");
    const double baud = rs.field("baudrate").toScalar();
    const double minutes = rs232TransferMinutes(sampleCount(iq), baud);
    if (minutes > 0.75) {
      const std::string text = "This Download will take approximately " + formatG(minutes, 6) +
                               " minutes. Do you want to continue?";
      if (!confirm || !confirm("RS-232 Download", text)) {
        result.description = std::string(kDownloadCancelled);
        result.cancelled = true;
        return result;
      }
    }
  }
  if (mayStore && !mayStore()) {
    result.description = std::string(kDownloadCancelled);
    result.cancelled = true;
    return result;
  }
  const IoResult state = hwQuery(config, ":SOUR:RAD:ARB:STATe?");
  result.status = state.status;
  if (unreachable(state)) return refused(state);
  if (auto late = budget.refuse("switching the ARB off")) return refused(*late);
  const IoResult off = hwSend(config, ":SOUR:RAD:ARB:STATe OFF");
  result.status = off.status;
  result.description = off.response;
  if (unreachable(off)) return result;
  if (auto late = budget.refuse("the waveform transfer")) return refused(*late);
  const IoResult stored =
      budget.transfer([&] { return hwDownload(config, iq, markers, name, progress); });
  result.status = stored.status;
  result.description = stored.response;
  if (unreachable(stored)) return result;
  // Only a successful query can tell that the ARB was playing before.
  if (state.ok() && answerIsOne(state.response) && !budget.refuse("switching the ARB on"))
    hwSend(config, ":SOUR:RAD:ARB:STATe ON");
  return result;
}

// Every command is sent, also after a refused one; the result names every
// command the instrument refused (one line each), with the first failure's
// status, so the user sees all that did not take effect at once.
IoResult playWithin(std::string_view name, const SigGenSettings& s, const Value& config,
                    Platform platform, Budget& budget) {
  IoResult last, failures;
  bool failed = false;
  const auto fail = [&](const IoResult& r) {
    if (!failed) failures.status = r.status;
    if (failed) failures.response += "\n";
    failures.response += r.response;
    failed = true;
  };
  for (const std::string& command : playbackCommands(name, s, platform)) {
    if (auto late = budget.refuse("\"" + command + "\"")) {
      fail(*late);
      return failures;
    }
    last = hwSend(config, command);
    if (!last.ok()) {
      // The gateway's message usually names the command already.
      fail({last.status,
            last.response.find(command) != std::string::npos
                ? last.response
                : "The instrument did not accept \"" + command + "\": " + last.response});
    }
    if (unreachable(last)) return failures;
  }
  // Gives the front panel back; its outcome does not change the result.
  if (!budget.refuse("returning to local control")) hwReturnLocal(config);
  return failed ? failures : last;
}

// One bound as the instrument answered it ("+6.00000000E+09", "-136"), or
// why it cannot be used.
struct Bound {
  std::optional<double> value;
  IoResult answer;
};

Bound askBound(const Value& config, std::string_view header, std::string_view which,
               Budget& budget) {
  const std::string query = std::string(header) + "? " + std::string(which);
  Bound b;
  if (auto late = budget.refuse("\"" + query + "\"")) {
    b.answer = *late;
    return b;
  }
  b.answer = hwQuery(config, query);
  if (b.answer.ok()) b.value = parseDecimal(b.answer.response);
  if (b.value && !std::isfinite(*b.value)) b.value.reset();
  return b;
}

std::string signedDbm(double v) {
  return (v > 0 ? "+" : "") + num2str(v) + " dBm";
}

constexpr std::string_view kKeepBounds = "; the panel keeps its own bounds.";

}  // namespace

std::string hertzText(double hz) {
  static const char* const kUnits[] = {"Hz", "kHz", "MHz", "GHz"};
  const UnitDisplay d = displayInUnit(hz);
  return formatG(d.scaled, 10) + " " + kUnits[std::clamp(d.unitItem, 1, 4) - 1];
}

std::string limitsText(const SigGenLimits& l) {
  return hertzText(l.frequencyMin) + " to " + hertzText(l.frequencyMax) + ", " +
         num2str(l.amplitudeMin) + " to " + signedDbm(l.amplitudeMax) + ", " +
         hertzText(l.samplingRateMin) + " to " + hertzText(l.samplingRateMax);
}

LimitsReport queryInstrumentLimits(const Value& config) {
  Budget budget(config);
  LimitsReport report;
  double bounds[6] = {};
  const std::string_view headers[] = {kFrequencyHeader, kPowerHeader, kSampleClockHeader};
  for (int i = 0; i < 6; ++i) {
    const std::string_view header = headers[i / 2];
    const char* which = i % 2 == 0 ? "min" : "max";
    const Bound b = askBound(config, header, which, budget);
    if (b.value) {
      bounds[i] = *b.value;
      continue;
    }
    const std::string query = std::string(header) + "? " + which;
    report.status = b.answer.ok() ? gateway_status::kInstrumentError : b.answer.status;
    if (!b.answer.ok())
      report.message =
          "The instrument did not report its ranges (\"" + query + "\": " + b.answer.response + ")";
    else
      report.message = "The instrument did not report its ranges (\"" + query +
                       "\" was answered \"" + b.answer.response + "\")";
    report.message += kKeepBounds;
    // An instrument that does not know the query may have put an error in
    // its queue (and one that never answers it is still there): the next
    // command would be blamed for that error. Not tried when the connection
    // itself failed.
    namespace gs = gateway_status;
    const bool connected = b.answer.status == gs::kOk || b.answer.status == gs::kIoFailed ||
                           b.answer.status == gs::kInstrumentError;
    if (connected && !budget.refuse("clearing the error queue")) hwSend(config, "*CLS");
    return report;
  }
  const SigGenLimits l{bounds[0], bounds[1], bounds[2], bounds[3], bounds[4], bounds[5]};
  if (const std::string problem = sigGenLimitsProblem(l); !problem.empty()) {
    report.status = gateway_status::kInstrumentError;
    report.message = "The instrument reported unusable ranges (" + problem + ": " + limitsText(l) +
                     ")" + std::string(kKeepBounds);
    return report;
  }
  report.limits = l;
  report.message = "The instrument's ranges: " + limitsText(l) + ".";
  return report;
}

Platform platformFromText(std::string_view letter) {
  return equalsNoCase(letter, "c") ? Platform::C : Platform::B;
}

double rs232TransferMinutes(std::size_t samples, double baudrate) {
  // 32 bits per I/Q sample pair, 12.5 % framing and protocol overhead.
  return static_cast<double>(samples) * 32 * 1.125 / baudrate / 60;
}

DownloadResult tgxDownload(const Value& iq, const Value& markers, std::string_view name,
                           const Value& config, const Confirm& confirm,
                           const TransferProgress& progress,
                           const std::function<bool()>& mayStore) {
  Budget budget(config);
  return downloadWithin(iq, markers, name, config, confirm, budget, progress, mayStore);
}

std::string reconFilterText(double v) {
  if (v == 1) return "250.0khz";
  if (v == 2) return "2.5Mhz";
  if (v == 3) return "8Mhz";
  return "through";
}

std::string bbFilterText(double v) {
  if (v == 1) return "2.1MHz";
  if (v == 2) return "40MHz";
  return "Through";
}

std::string alcText(double v) {
  return v == 0 ? "off" : "on";
}

std::string onOffText(double v) {
  return v == 1 ? "on" : "off";
}

std::string polarityText(double v) {
  return v == 0 ? "Pos" : "Neg";
}

std::string referenceText(double v) {
  return v == 0 ? "int" : "ext";
}

std::vector<std::string> playbackCommands(std::string_view name, const SigGenSettings& s,
                                          Platform platform) {
  std::vector<std::string> list = {
      " :source:rad:arb:state off",
      " :source:rad:arb:wav \"arbi:" + std::string(name) + "\" ",
      " " + std::string(kFrequencyHeader) + " " + num2str(s.frequency) + "Hz",
      " " + std::string(kPowerHeader) + " " + num2str(s.amplitude) + "dbm",
      " " + std::string(kSampleClockHeader) + " " + num2str(s.samplingRate) + "Hz",
  };
  if (platform == Platform::B) {
    list.push_back(" :source:rad:arb:rfilter " + reconFilterText(s.reconFilter));
  } else {
    list.push_back(" :source:dm:bbfilter " + bbFilterText(s.bbFilter));
    list.push_back(" :source:rad:ARB:rscaling " + num2str(s.scaling));
    list.push_back(":source:DM:IQAT:AUTO off");
    list.push_back(":source:DM:IQAT " + num2str(s.modAtten));
    list.push_back(" :pow:alc:state " + alcText(s.alc));
  }
  list.push_back(" :source:rad:arb:marker:rfblank " + onOffText(s.rfBlanking));
  list.push_back(" :source:rad:arb:marker:polarity " + polarityText(s.markerPolarity));
  list.push_back(" :source:rad:arb:clock:ref " + referenceText(s.arbRefSource));
  list.push_back(" :source:rad:arb:state on");
  list.push_back(" :output:state on");
  return list;
}

IoResult tgxPlay(std::string_view name, const SigGenSettings& s, const Value& config,
                 Platform platform) {
  Budget budget(config);
  return playWithin(name, s, config, platform, budget);
}

std::string DownloadAndPlayResult::message() const {
  if (download.cancelled) return "Download cancelled: nothing was sent to the instrument.";
  if (download.status != 0) return "Error during waveform download: " + download.description;
  if (!played) return "The waveform was stored but not played.";
  if (playback.status != 0) return "Error during instrument setup: " + playback.response;
  return "Waveform has been successfully transferred to the instrument";
}

DownloadAndPlayResult downloadAndPlay(const Value& iq, const Value& markers,
                                      const SigGenSettings& settings, const Value& config,
                                      Platform platform, const Confirm& confirm) {
  DownloadAndPlayResult r;
  Budget budget(config);
  r.download = downloadWithin(iq, markers, settings.title, config, confirm, budget);
  if (!r.download.ok()) return r;
  r.playback = playWithin(settings.title, settings, config, platform, budget);
  r.played = true;
  return r;
}

}  // namespace dot11a
