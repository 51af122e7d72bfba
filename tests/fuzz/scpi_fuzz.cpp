// Fuzz target of the simulated instrument's command parser: any byte stream,
// delivered in pieces whose sizes come from the input, is split into commands
// (with definite-length blocks) and executed; a malformed block ends the
// stream as it ends a connection. Never a crash, a hang or undefined behaviour.
#include <cstdint>
#include <stdexcept>
#include <string>

#include "scpi.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const std::size_t piece = 1 + data[0] % 64;
  tgxsim::Instrument instrument;
  instrument.errorOn = {":SOUR:FREQ"};
  std::string buffer;
  try {
    for (std::size_t at = 1; at < size; at += piece) {
      buffer.append(reinterpret_cast<const char*>(data + at), std::min(piece, size - at));
      while (auto cmd = tgxsim::nextCommand(buffer)) {
        (void)cmd->logLine();
        (void)instrument.execute(*cmd);
      }
    }
  } catch (const std::runtime_error&) {
    // A malformed block header: the simulator drops the connection.
  }
  return 0;
}
