// The download and playback operations: TGXDownLoadWrap asks the RS-232
// question through the dialog service; TGXPlay and TGXPlay_c send the playback
// command sequence of their platform.
#include <string>

#include "dot11a/call.hpp"
#include "dot11a/dialogs.hpp"
#include "dot11a/error.hpp"
#include "dot11a/instrument.hpp"
#include "dot11a/siggen_settings.hpp"

namespace dot11a {
namespace op {

namespace {
std::string textInput(const Call& c, std::size_t i, std::string_view name) {
  const Value& v = c.in(i, name);
  if (v.isText()) return v.str();
  if (v.isEmpty()) return {};
  raise("The input \"" + std::string(name) + "\" must be a text, not " + v.describe() + ".");
}

void play(Call& c, Platform platform) {
  c.outputNames({"status", "description"});
  const std::string name = textInput(c, 0, "FileName");
  const SigGenSettings s = sigGenSettingsFromValue(c.in(1, "setting"));
  const IoResult r = tgxPlay(name, s, c.in(2, "config"), platform);
  c.out(0) = Value(r.status);
  c.out(1) = Value(r.response);
}
}  // namespace

// A declined RS-232 question gives status 0 and "download cancelled" here, as
// callers of the operation expect; code that must tell it from a stored
// waveform calls tgxDownload and reads `cancelled`.
void TGXDownLoadWrap(Call& c) {
  c.outputNames({"status", "description"});
  const DownloadResult r = tgxDownload(c.in(0, "IQData"), c.in(1, "Marker"),
                                       textInput(c, 2, "Filename"), c.in(3, "config"), askOkCancel);
  c.out(0) = Value(r.status);
  c.out(1) = Value(r.description);
}

void TGXPlay(Call& c) {
  play(c, Platform::B);
}

void TGXPlay_c(Call& c) {
  play(c, Platform::C);
}

}  // namespace op
}  // namespace dot11a
