// Replays files or folders of inputs through the fuzz target, for compilers
// without libFuzzer; run under the sanitizers it was built with.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace fs = std::filesystem;

static void replay(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  const std::vector<char> bytes{std::istreambuf_iterator<char>(in), {}};
  LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
}

int main(int argc, char** argv) {
  std::size_t count = 0;
  for (int i = 1; i < argc; ++i) {
    if (fs::is_directory(argv[i])) {
      for (const auto& e : fs::recursive_directory_iterator(argv[i]))
        if (e.is_regular_file()) {
          replay(e.path());
          ++count;
        }
    } else {
      replay(argv[i]);
      ++count;
    }
  }
  std::printf("replayed %zu inputs\n", count);
  return 0;
}
