// Waveform download and playback through the gateway into tgx-sim over
// loopback: the cost of packing, transfer and the error-queue round trips.
#include <benchmark/benchmark.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "dot11a/instrument.hpp"
#include "dot11a/library.hpp"

namespace {

// One simulator for the whole run, started beside this program's binary.
struct Sim {
  pid_t pid = -1;
  int port = 0;
  Sim() {
    const auto exe = std::filesystem::read_symlink("/proc/self/exe").parent_path() / "tgx-sim";
    int fds[2];
    if (::pipe(fds) != 0) return;
    pid = ::fork();
    if (pid == 0) {
      ::dup2(fds[1], 1);
      ::execl(exe.c_str(), exe.c_str(), "--port", "0", "--lifetime", "600", nullptr);
      ::_exit(127);
    }
    ::close(fds[1]);
    std::string line;
    char c;
    pollfd p{fds[0], POLLIN, 0};
    while (::poll(&p, 1, 5000) > 0 && ::read(fds[0], &c, 1) == 1 && c != '\n') line.push_back(c);
    ::close(fds[0]);
    const auto space = line.find_last_of(' ');
    if (space != std::string::npos) port = std::atoi(line.c_str() + space + 1);
  }
  ~Sim() {
    if (pid > 0) {
      ::kill(pid, SIGTERM);
      ::waitpid(pid, nullptr, 0);
    }
  }
};

Sim& sim() {
  static Sim s;
  return s;
}

dot11a::Value config() {
  return dot11a::configFromAddress("tcpip:127.0.0.1:" + std::to_string(sim().port));
}

void BM_DownloadToSimulator(benchmark::State& state) {
  dot11a::LibrarySession session;
  if (sim().port <= 0) {
    state.SkipWithError("tgx-sim did not start");
    return;
  }
  const auto n = static_cast<std::size_t>(state.range(0));
  std::vector<dot11a::cplx> z(n);
  for (std::size_t i = 0; i < n; ++i) z[i] = std::polar(0.5, 0.01 * static_cast<double>(i));
  const dot11a::Value iq = dot11a::Value::row(std::span<const dot11a::cplx>(z));
  const dot11a::Value markers = dot11a::Value::zeros(2, n);
  const dot11a::Value cfg = config();
  for (auto _ : state) {
    const auto r = dot11a::hwDownload(cfg, iq, markers, "BENCH");
    if (!r.ok()) state.SkipWithError(r.response.c_str());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * n * 5));
}
BENCHMARK(BM_DownloadToSimulator)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);

void BM_PlaybackSequence(benchmark::State& state) {
  dot11a::LibrarySession session;
  if (sim().port <= 0) {
    state.SkipWithError("tgx-sim did not start");
    return;
  }
  const dot11a::SigGenSettings s;
  const dot11a::Value cfg = config();
  for (auto _ : state)
    benchmark::DoNotOptimize(dot11a::tgxPlay("BENCH", s, cfg, dot11a::Platform::B));
}
BENCHMARK(BM_PlaybackSequence)->Unit(benchmark::kMillisecond);

}  // namespace
