// The shell's Download and Refresh buttons: store the calculated waveform in
// the signal generator and play it, or send the playback settings alone.
#include <cctype>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "dot11a/dialogs.hpp"
#include "dot11a/frame_record.hpp"
#include "dot11a/instrument.hpp"
#include "dot11a/num2str.hpp"
#include "dot11a/rate_table.hpp"
#include "dot11a/siggen_settings.hpp"
#include "gui/feedback.hpp"
#include "gui/instrument_task.hpp"
#include "gui/shell.hpp"

namespace dot11a {

namespace {

constexpr std::string_view kDownloadError = "Error Occured During Waveform Download";
constexpr std::string_view kSetupError = "Error Occured During Instrument Setup";

Platform platform() {
  return platformFromText(shell::appText("Platform"));
}

// The clock the calculated waveform was made for: its spacing's rate times the
// oversampling ratio of the calculated parameter set; 0 when unknown.
double waveformClock() {
  const Value& info = shell::appInfo();
  if (!info.isRecord() || !info.hasField("LastCaluclatedParameterSet")) return 0;
  const Value& set = info.field("LastCaluclatedParameterSet");
  if (!set.isRecord() || !set.hasField("OverSampling") || !set.field("OverSampling").isNumeric() ||
      set.field("OverSampling").isEmpty())
    return 0;
  try {
    return fromRecord(set).sampleRate();
  } catch (const std::exception&) {
    return 0;
  }
}

// A waveform played at another clock than its own has every frequency in it
// scaled: no receiver decodes it. Before anything is sent (Download, or
// Refresh, which plays the waveform stored last), a sample rate that differs
// from the waveform's is set to it with the user's agreement, or nothing is
// sent. True when the action may go on.
bool sampleRateMatchesWaveform(const Value& handles, const std::string& action) {
  const double own = waveformClock();
  Value& settings = global("SigGenSettings");
  const double set = settings.field("SamplingRate").toScalar();
  if (own <= 0 || std::abs(set - own) <= 1e-9 * own) return true;
  const std::string setAndGo = "Set " + num2str(own / 1e6) + " MHz & " + action;
  std::string verb = action;
  verb[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(verb[0])));
  const std::string answer = dialogs().question(
      "Sample Rate Mismatch",
      "The waveform was calculated for a sample rate of " + num2str(own / 1e6) +
          " MHz,\nbut the sample rate is set to " + num2str(set / 1e6) +
          " MHz.\nPlayed at another rate, no receiver decodes it.\nSet the sample rate to " +
          num2str(own / 1e6) + " MHz and " + verb + " ?",
      {setAndGo, "Cancel"}, setAndGo);
  if (answer != setAndGo) return false;
  settings.setField("SamplingRate", own);
  if (handles.isRecord() && handles.hasField("main"))
    feval("TGXconfig", 0, {Value("redrawSigGenSettings"), handles});
  return true;
}

std::string sizeText(std::size_t bytes) {
  return bytes >= 1'000'000 ? num2str(std::round(bytes / 1e5) / 10) + " MB"
                            : num2str(std::round(bytes / 1e2) / 10) + " kB";
}

// What the progress dialog says while the waveform travels: its size, and for
// RS-232 the estimated time.
std::string transferStage(const Value& wave, const Value& config) {
  const std::size_t samples = wave.numel();
  std::string text = "Storing the waveform in the instrument (" + sizeText(samples * 5) + ")";
  try {
    if (config.field("type").isText() && config.field("type").str() == "RS232") {
      const double minutes =
          rs232TransferMinutes(samples, config.field("RS232").field("baudrate").toScalar());
      text += ",\nabout " + num2str(std::ceil(minutes)) + " min over RS-232";
    }
  } catch (const std::exception&) {
    // No estimate for a record without the serial settings.
  }
  return text + "...";
}

// What a download left behind, filled on the worker, read on the GUI thread
// once the worker has finished.
struct DownloadOutcome {
  DownloadResult stored;
  IoResult setup;
  bool played = false;
  LimitsReport ranges;
  bool rangesAsked = false;
  std::vector<RangeViolation> outside;  // settings the instrument cannot take
  std::string error;
};

// "Sample rate 80 MHz (the instrument: 1 Hz to 40 MHz)", one line per setting.
std::string violationsText(const std::vector<RangeViolation>& outside) {
  std::string text;
  for (const RangeViolation& v : outside) {
    const bool power = v.field == "Amplitude";
    const auto shown = [power](double x) { return power ? num2str(x) + " dBm" : hertzText(x); };
    const std::string name = v.field == "Frequency"   ? "Frequency"
                             : v.field == "Amplitude" ? "Amplitude"
                                                      : "Sample rate";
    text += "\n" + name + " " + shown(v.value) + " (the instrument: " + shown(v.min) + " to " +
            shown(v.max) + ")";
  }
  return text;
}

// The ranges an instrument reported: stored with the configuration for this
// instrument and family, the panel's fields brought within them (the status
// line and the console say which changed) and its bounds and tooltips
// following at once; otherwise the status line says that the bounds stay.
void takeReportedRanges(double fig, const Value& handles, const Value& config,
                        const LimitsReport& report) {
  if (report.limits) {
    global("configuration") = withInstrumentLimits(global("configuration"), instrumentKey(config),
                                                   familyOf(platform()), *report.limits);
  }
  gui::tellUser(fig, report.message, false, false);
  if (handles.isRecord() && handles.hasField("main"))
    feval("TGXconfig", 0, {Value("fitToInstrumentRanges"), handles});
}

// The download runs on a worker with a progress dialog; the window stays
// responsive. Cancel returns control at once: the instrument call under way
// ends on its own, and the playback settings are not sent after it. Every way
// out restores the pointer: a declined RS-232 question ends quietly (nothing
// was sent, so nothing is played and nothing reported as done), a failed
// download shows its box and plays nothing, and a run-time error of the
// instrument layer is shown like a failed download instead of only reaching
// the console.
void pbDownload_Callback(Call& c) {
  const Value& h = c.in(2, "handles");
  if (gui::instrumentTaskRunning()) return;
  if (!shell::waveformReady(h, "Download")) return;
  if (!sampleRateMatchesWaveform(h, "Download")) return;
  const double fig = shell::mainWindow(h);
  shell::WatchPointer watch(fig);
  SigGenSettings settings;
  try {
    settings = sigGenSettingsFromValue(global("SigGenSettings"));
  } catch (const std::exception& e) {
    watch.restore();
    dialogs().error(kDownloadError, e.what());
    return;
  }
  const Value wave = global("waveform"), markers = global("markers");
  const Value config = global("configuration");
  const Platform target = platform();
  const std::string stage = transferStage(wave, config);
  auto out = std::make_shared<DownloadOutcome>();
  const bool finished = gui::runInstrumentTask(fig, "Download", [=](gui::TaskProgress& progress) {
    try {
      // Asked before the first byte: a setting the instrument cannot take
      // would fail only after the whole waveform travelled. An instrument
      // that does not know the queries is not held up (its error queue is
      // cleared); one that cannot be reached fails the download with its own
      // text.
      const auto checkRanges = [&] {
        progress.stage("Asking the instrument for its ranges...");
        out->ranges = queryInstrumentLimits(config);
        out->rangesAsked = true;
        if (out->ranges.limits) out->outside = outsideLimits(settings, *out->ranges.limits);
        if (!out->outside.empty() || progress.cancelled()) return false;
        progress.stage(stage);
        return true;
      };
      // With a gateway that reports it: the bar and "1.2 MB of 2.2 MB taken
      // by the instrument" (what the connection has delivered, commands
      // included); once that count has not moved for a second, the rest is
      // waiting for the instrument.
      std::string shown;
      std::uint64_t lastTaken = 0;
      auto lastMove = std::chrono::steady_clock::now();
      const TransferProgress sending = [&](std::uint64_t taken, std::uint64_t total) {
        if (total == 0) return;
        const auto now = std::chrono::steady_clock::now();
        if (taken != lastTaken) lastMove = now;
        lastTaken = taken;
        progress.fraction(static_cast<double>(taken) / static_cast<double>(total));
        std::string text =
            stage + "\n" + sizeText(taken) + " of " + sizeText(total) + " taken by the instrument";
        if (taken < total && now - lastMove >= std::chrono::seconds(1))
          text += "; waiting for the instrument";
        if (text != shown) progress.stage(shown = std::move(text));
      };
      out->stored = tgxDownload(
          wave, markers, settings.title, config,
          [&progress](std::string_view title, std::string_view text) {
            return progress.confirm(title, text);
          },
          sending, checkRanges);
      if (!out->stored.ok() || progress.cancelled()) return;
      progress.stage("Sending the playback settings...");
      out->setup = tgxPlay(settings.title, settings, config, target);
      out->played = true;
    } catch (const std::exception& e) {
      out->error = e.what();
    }
  });
  watch.restore();
  if (!finished) {
    gui::tellUser(fig,
                  "Download cancelled: the instrument finishes the transfer under way; the "
                  "playback settings are not sent.",
                  false, false);
    return;
  }
  if (!out->error.empty()) return dialogs().error(kDownloadError, out->error);
  // Ranges are taken only from an instrument that answered them.
  if (out->rangesAsked && (out->ranges.limits || out->stored.status == 0))
    takeReportedRanges(fig, h, config, out->ranges);
  if (!out->outside.empty())
    return dialogs().error(kDownloadError,
                           "The instrument cannot take these settings; nothing was sent:" +
                               violationsText(out->outside));
  if (out->stored.cancelled) return;  // the RS-232 question was declined
  if (out->stored.status != 0) return dialogs().error(kDownloadError, out->stored.description);
  if (!out->setup.ok()) return dialogs().error(kSetupError, out->setup.response);
  dialogs().message("Download Completed",
                    "Waveform has been successfully transferred to the instrument");
}

// Refresh plays the waveform stored last with the settings on the screen:
// the same checks as Download (its own clock, the ranges the instrument
// reported) before a command is sent.
void pbRefresh_Callback(Call& c) {
  if (gui::instrumentTaskRunning()) return;
  const Value& h = c.in(2, "handles");
  const double fig = shell::mainWindow(h);
  if (!sampleRateMatchesWaveform(h, "Refresh")) return;
  auto setup = std::make_shared<IoResult>();
  try {
    const SigGenSettings settings = sigGenSettingsFromValue(global("SigGenSettings"));
    const Value config = global("configuration");
    const Platform target = platform();
    if (const auto limits = storedInstrumentLimits(config, familyOf(target))) {
      if (const auto outside = outsideLimits(settings, *limits); !outside.empty())
        return dialogs().error(kSetupError,
                               "The instrument cannot take these settings; nothing was sent:" +
                                   violationsText(outside));
    }
    const bool finished = gui::runInstrumentTask(fig, "Refresh", [=](gui::TaskProgress& progress) {
      try {
        progress.stage("Sending the playback settings...");
        *setup = tgxPlay(settings.title, settings, config, target);
      } catch (const std::exception& e) {
        *setup = {gateway_status::kBadInput, e.what()};
      }
    });
    if (!finished) {
      gui::tellUser(fig, "Refresh cancelled: the settings may have been sent in part.", false,
                    false);
      return;
    }
  } catch (const std::exception& e) {
    *setup = {gateway_status::kBadInput, e.what()};
  }
  if (!setup->ok())
    dialogs().error(kSetupError, setup->response);
  else
    gui::tellUser(fig, "The settings were sent to the instrument.", false, false);
}

[[maybe_unused]] const bool kInstrumentCommands = shell::addCommands({
    gfx::callback("pbDownload_Callback", pbDownload_Callback),
    gfx::callback("pbRefresh_Callback", pbRefresh_Callback),
});

}  // namespace
}  // namespace dot11a
