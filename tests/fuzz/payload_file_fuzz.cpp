// Fuzz target of the payload-file reader: any bytes, read as a payload file
// with a bit limit and bit order taken from the input, give the file's bits up
// to the limit (never more), or an error; never a crash or undefined behaviour.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "dot11a/payload.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const std::string path = [] {
    const char* tmp = std::getenv("TMPDIR");
    return std::string(tmp ? tmp : "/tmp") + "/dot11a-fuzz-payload-" + std::to_string(::getpid());
  }();
  if (size < 2) return 0;
  // First two bytes: the bit limit (0 .. 65535) with the bit order in its top bit.
  const std::size_t maxBits = (std::size_t{data[0]} << 8 | data[1]) & 0x7FFF;
  const bool msbFirst = (data[0] & 0x80) != 0;
  {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) return 0;
    if (size > 2) std::fwrite(data + 2, 1, size - 2, f);
    std::fclose(f);
  }
  const dot11a::FileBits bits = dot11a::readPayloadFile(path, maxBits, msbFirst);
  std::remove(path.c_str());
  if (bits.ok && (bits.bits.size() > maxBits || bits.bits.size() > 8 * (size - 2))) std::abort();
  for (std::uint8_t b : bits.bits)
    if (b > 1) std::abort();
  return 0;
}
