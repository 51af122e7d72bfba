// Fuzz target of the gateway's reading of instrument answers: any byte
// stream, received in pieces whose sizes come from the input, is split into
// answers (lines and definite-length blocks), each read as an error-queue
// answer too. Every answer is no longer than the limit and comes from the
// stream; a malformed one is a Failure, never a crash.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "answers.hpp"
#include "links.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const std::size_t piece = 1 + data[0] % 32;
  constexpr std::size_t kLimit = 4096;
  std::string buffer;
  std::size_t taken = 0;
  try {
    for (std::size_t at = 1; at < size; at += piece) {
      buffer.append(reinterpret_cast<const char*>(data + at), std::min(piece, size - at));
      while (auto answer = hwio::takeAnswer(buffer, kLimit)) {
        if (answer->size() > kLimit) std::abort();
        taken += answer->size();
        (void)hwio::parseErrorAnswer(*answer);
      }
    }
  } catch (const hwio::Failure&) {
    return 0;
  }
  if (taken + buffer.size() > size) std::abort();
  return 0;
}
