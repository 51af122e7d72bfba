// Fuzz target of the parameter-file reader: any bytes, read as a parameter file
// and checked against the default parameter set, must give a record or a
// refusal, never a crash, a leak or undefined behaviour.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "dot11a/files.hpp"
#include "dot11a/matfile.hpp"

namespace {

// The default parameter set, read from the seed file the application wrote.
const dot11a::Value& reference() {
  static const dot11a::Value ref = [] {
    const char* env = std::getenv("DOT11A_FUZZ_REFERENCE");
    const std::string path = env ? env : DOT11A_FUZZ_REFERENCE_FILE;
    for (const auto& [name, value] : dot11a::readMatFile(path))
      if (name == "fileParameters") return value;
    std::fprintf(stderr, "%s holds no fileParameters\n", path.c_str());
    std::abort();
  }();
  return ref;
}

const std::string& scratchFile() {
  static const std::string path = [] {
    const char* tmp = std::getenv("TMPDIR");
    return std::string(tmp ? tmp : "/tmp") + "/dot11a-fuzz-" + std::to_string(::getpid()) + ".mat";
  }();
  return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const dot11a::Value& ref = reference();
  {
    std::FILE* f = std::fopen(scratchFile().c_str(), "wb");
    if (f == nullptr) return 0;
    if (size > 0) std::fwrite(data, 1, size, f);
    std::fclose(f);
  }
  const dot11a::ParameterFileRead read =
      dot11a::readParameterFile(scratchFile(), "dot11a - Format 1.0");
  if (read.parameters) (void)dot11a::parameterSetProblem(*read.parameters, ref);
  std::remove(scratchFile().c_str());
  return 0;
}
