// The simulated signal generator's command handling, apart from its sockets:
// splitting a byte stream into commands (with IEEE 488.2 definite-length
// blocks) and the instrument model that answers them.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tgxsim {

struct Command {
  std::string text;   // the command without its block and line end
  std::string block;  // the block's bytes, when it had one
  bool hasBlock = false;
  std::string logLine() const;  // text with "#<length>" in place of the block
};

// Takes the next complete command off the front of `buffer`. Returns nullopt
// while more bytes are needed. Raises std::runtime_error for a malformed block
// header, after which the caller should drop the connection.
std::optional<Command> nextCommand(std::string& buffer);

struct Waveform {
  std::string iq;       // big-endian 16-bit I/Q pairs as received
  std::string markers;  // one byte per sample
};

// What a generator family can do: the ranges it accepts and reports for
// frequency (Hz), power (dBm) and the ARB sample clock (Hz).
struct Family {
  double frequencyMin, frequencyMax;
  double powerMin, powerMax;
  double clockMin, clockMax;
};
// "b": up to 4 GHz, +20 dBm, 40 MHz; "c": up to 6 GHz, +25 dBm, 100 MHz.
// nullopt for any other name.
std::optional<Family> familyNamed(std::string_view name);

class Instrument {
 public:
  Family family = *familyNamed("c");
  // How "<setting>? MIN" and "? MAX" are answered: the family's bounds, a
  // fixed text (an instrument that answers nonsense), or not at all (an
  // instrument that does not know them: an error in the queue, an empty line).
  enum class Ranges { Known, Fixed, Unknown } ranges = Ranges::Known;
  std::string rangeAnswer;  // the text of Ranges::Fixed
  std::string identity = "Kestrin Veltora,TGX-SIM,000001,1.0";
  // Where received waveforms are written (NAME.iq, NAME.mkr); empty = nowhere.
  std::string saveDir;
  // Commands starting with one of these (compared without case, leading
  // blanks and colons ignored) are answered with `injectedError`.
  std::vector<std::string> errorOn;
  std::string injectedError = "-200,\"Execution error\"";
  // When set, every error-queue query is answered with `injectedError`: a
  // queue that never empties.
  bool endlessErrors = false;

  // Executes one command; returns the answer line for a query.
  std::optional<std::string> execute(const Command& cmd);

  const std::map<std::string, Waveform>& waveforms() const { return waveforms_; }
  const std::map<std::string, std::string>& settings() const { return settings_; }
  bool arbOn() const { return arbOn_; }

 private:
  void error(std::string e);
  void storeBlock(std::string_view args, const std::string& data);
  std::deque<std::string> errors_;
  std::map<std::string, Waveform> waveforms_;
  std::map<std::string, std::string> settings_;
  std::string selected_;
  bool arbOn_ = false;
};

// Lower-cased text without leading blanks and colons: the form prefixes are
// compared in.
std::string normalised(std::string_view text);

}  // namespace tgxsim
