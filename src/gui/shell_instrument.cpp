// The shell's Download and Refresh buttons: store the calculated waveform in
// the signal generator and play it, or send the playback settings alone.
#include "dot11a/dialogs.hpp"
#include "dot11a/instrument.hpp"
#include "dot11a/siggen_settings.hpp"
#include "gui/shell.hpp"

namespace dot11a {

namespace {

constexpr std::string_view kDownloadError = "Error Occured During Waveform Download";
constexpr std::string_view kSetupError = "Error Occured During Instrument Setup";

Platform platform() {
  return platformFromText(shell::appText("Platform"));
}

// Every way out restores the pointer: a declined RS-232 question ends quietly
// (nothing was sent, so nothing is played and nothing reported as done), a
// failed download shows its box and plays nothing, and a run-time error of the
// instrument layer is shown like a failed download instead of only reaching
// the console.
void pbDownload_Callback(Call& c) {
  const Value& h = c.in(2, "handles");
  if (!shell::waveformReady(h, "Download")) return;
  shell::WatchPointer watch(shell::mainWindow(h));
  IoResult setup;
  try {
    const SigGenSettings settings = sigGenSettingsFromValue(global("SigGenSettings"));
    const Value& config = global("configuration");
    const DownloadResult stored =
        tgxDownload(global("waveform"), global("markers"), settings.title, config, askOkCancel);
    if (stored.cancelled) return;
    if (stored.status != 0) {
      watch.restore();
      dialogs().error(kDownloadError, stored.description);
      return;
    }
    setup = tgxPlay(settings.title, settings, config, platform());
  } catch (const std::exception& e) {
    watch.restore();
    dialogs().error(kDownloadError, e.what());
    return;
  }
  watch.restore();
  if (!setup.ok())
    dialogs().error(kSetupError, setup.response);
  else
    dialogs().message("Download Completed",
                      "Waveform has been successfully transferred to the instrument");
}

void pbRefresh_Callback(Call&) {
  IoResult setup;
  try {
    const SigGenSettings settings = sigGenSettingsFromValue(global("SigGenSettings"));
    setup = tgxPlay(settings.title, settings, global("configuration"), platform());
  } catch (const std::exception& e) {
    setup = {gateway_status::kBadInput, e.what()};
  }
  if (!setup.ok()) dialogs().error(kSetupError, setup.response);
}

[[maybe_unused]] const bool kInstrumentCommands = shell::addCommands({
    gfx::callback("pbDownload_Callback", pbDownload_Callback),
    gfx::callback("pbRefresh_Callback", pbRefresh_Callback),
});

}  // namespace
}  // namespace dot11a
