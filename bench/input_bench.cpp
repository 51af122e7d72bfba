// The input path of dot11a-verify on a raw cf32 file: read a chunk at a time
// and pushed into the streaming receiver, as floats widened on the way in
// (what the tool does) or converted to doubles first. The samples are noise,
// so the receiver's share is the frame search and the DC removal.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <complex>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "dot11a/sample_stream.hpp"
#include "dot11a/stream_receiver.hpp"

namespace {

// A file of 2^22 samples (32 MB) in a folder of this process, removed at exit.
class NoiseFile {
 public:
  NoiseFile()
      : dir_(std::filesystem::temp_directory_path() /
             ("dot11a-input-bench-" + std::to_string(::getpid()))) {
    std::filesystem::create_directories(dir_);
    std::mt19937 rng(3);
    std::normal_distribution<float> g(0.0f, 0.01f);
    std::vector<std::complex<float>> x(std::size_t{1} << 22);
    for (auto& v : x) v = {g(rng), g(rng)};
    std::ofstream(path(), std::ios::binary)
        .write(reinterpret_cast<const char*>(x.data()),
               static_cast<std::streamsize>(x.size() * sizeof x[0]));
  }
  ~NoiseFile() { std::filesystem::remove_all(dir_); }
  std::string path() const { return (dir_ / "noise.cf32").string(); }

 private:
  std::filesystem::path dir_;
};

void BM_InputPath(benchmark::State& state) {
  static const NoiseFile file;
  const bool floats = state.range(0) != 0;
  dot11a::rx::Options o;
  for (auto _ : state) {
    dot11a::SampleReader reader(file.path(), dot11a::SampleFormat::Cf32);
    dot11a::rx::StreamReceiver rx(o, [](dot11a::rx::FrameReport&&) {});
    if (floats) {
      std::vector<std::complex<float>> chunk(65536);
      while (const auto n = reader.read(chunk)) rx.push(std::span(chunk).first(*n));
    } else {
      std::vector<std::complex<double>> chunk;
      while (reader.read(chunk, 65536)) rx.push(chunk);
    }
    rx.finish();
    benchmark::DoNotOptimize(rx.samplesSeen());
  }
  state.SetBytesProcessed(state.iterations() * (std::int64_t{8} << 22));
}
BENCHMARK(BM_InputPath)->ArgName("floats")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace
