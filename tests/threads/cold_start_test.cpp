// The first syntheses, receptions and calls by name of a process, run at the
// same moment on parallel threads, give what they give one after the other.
// FFT plans are made once per process, so the parallel part runs in a fresh
// child process (this program again, with one test selected): there every
// thread plans its transforms while the others plan theirs.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <latch>
#include <string>
#include <thread>
#include <vector>

#include "common/test_folder.hpp"
#include "dot11a/call.hpp"
#include "dot11a/receiver.hpp"
#include "dot11a/synthesis.hpp"

extern char** environ;

namespace dot11a {
namespace {

constexpr const char* kChildEnv = "DOT11A_COLD_START_RESULTS";

using Numbers = std::vector<double>;
using Job = std::function<Numbers()>;

FrameSettings settingsFor(int os) {
  FrameSettings s;
  s.dataRate = 36;
  s.data.modulation = 3;
  s.data.encoderRate = kRate3_4;
  s.data.oversampling = os;
  s.data.windowLength = 2;
  s.data.scramblerInit = 71;
  return s;
}

Bits psdu() {
  Bits b(8 * 40);
  for (std::size_t i = 0; i < b.size(); ++i) b[i] = static_cast<std::uint8_t>((i * 5 / 3) & 1);
  return b;
}

Numbers flatten(std::span<const cplx> x) {
  Numbers n;
  for (const cplx& v : x) n.insert(n.end(), {v.real(), v.imag()});
  return n;
}

Numbers synthesis(int os) {
  return flatten(synthesizeFrame(settingsFor(os), psdu()).waveform);
}

Numbers reception(const Samples& x, int os) {
  rx::Options o;
  o.sampleRate = 20e6 * os;
  const rx::Result r = rx::receive(x, o);
  Numbers n{static_cast<double>(r.frames.size())};
  for (const rx::FrameReport& f : r.frames) {
    n.insert(n.end(), {f.evmDb, f.cfoHz, static_cast<double>(f.psduBits.size())});
    n.insert(n.end(), f.psduBits.begin(), f.psduBits.end());
  }
  return n;
}

Numbers spectrum(const Samples& x, double rate) {
  const rx::Spectrum s = rx::powerSpectrum(x, rate);
  return s.dBr;
}

Numbers byName(const Samples& x, int os) {
  std::vector<cplx> data(48);
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = cplx(i % 3 ? 1.0 : -1.0, i % 2 ? 1 : -1);
  const Value symbol = feval1("dot11a_SymbolBuild",
                              {Value::row(std::span<const cplx>(data)), Value(1.0), Value(os),
                               Value(2.0), Value::row(std::vector<double>(64, 1.0)), Value(0.0)});
  Numbers n = flatten(symbol.toComplex());
  const Value report = feval1("dot11a_Verify", {Value::row(std::span<const cplx>(x)), Value(20e6)});
  const Value& frames = report.field("frames");
  n.push_back(static_cast<double>(frames.numel()));
  for (std::size_t i = 0; i < frames.numel(); ++i) {
    n.push_back(frames.cellAt(i).field("evmDb").toScalar());
    const Bits bits = frames.cellAt(i).field("psduBits").toBits();
    n.insert(n.end(), bits.begin(), bits.end());
  }
  return n;
}

// One list of jobs per thread, so that transforms of many sizes and both
// directions are planned at the same time: inverse ones by the synthesis and
// by the symbols made by name, forward ones by the receiver, its spectra and
// the verification by name. The receiver's inputs are made first, at other
// oversampling ratios than the synthesis threads use.
std::vector<std::vector<Job>> threadJobs() {
  const Samples at1 = synthesizeFrame(settingsFor(1), psdu()).waveform;
  const Samples at2 = synthesizeFrame(settingsFor(2), psdu()).waveform;
  std::vector<std::vector<Job>> jobs(4);
  for (int os = 3; os <= 12; ++os) jobs[os % 2].push_back([os] { return synthesis(os); });
  jobs[2] = {[=] { return reception(at2, 2); }, [=] { return reception(at1, 1); }};
  for (int mhz = 21; mhz <= 32; ++mhz) jobs[2].push_back([=] { return spectrum(at1, mhz * 1e6); });
  for (int os = 13; os <= 18; ++os) jobs[3].push_back([=] { return byName(at1, os); });
  return jobs;
}

std::vector<Numbers> runParallel(const std::vector<std::vector<Job>>& jobs) {
  std::vector<std::vector<Numbers>> perThread(jobs.size());
  std::latch start(static_cast<std::ptrdiff_t>(jobs.size()));
  std::vector<std::thread> threads;
  for (std::size_t t = 0; t < jobs.size(); ++t)
    threads.emplace_back([&, t] {
      start.arrive_and_wait();
      for (const Job& job : jobs[t]) perThread[t].push_back(job());
    });
  for (std::thread& th : threads) th.join();
  std::vector<Numbers> all;
  for (auto& r : perThread) all.insert(all.end(), r.begin(), r.end());
  return all;
}

std::vector<Numbers> runSequential(const std::vector<std::vector<Job>>& jobs) {
  std::vector<Numbers> all;
  for (const auto& list : jobs)
    for (const Job& job : list) all.push_back(job());
  return all;
}

void save(const std::string& path, const std::vector<Numbers>& results) {
  std::ofstream out(path, std::ios::binary);
  for (const Numbers& r : results) {
    const double size = static_cast<double>(r.size());
    out.write(reinterpret_cast<const char*>(&size), sizeof size);
    out.write(reinterpret_cast<const char*>(r.data()),
              static_cast<std::streamsize>(r.size() * sizeof(double)));
  }
}

std::vector<Numbers> load(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::vector<Numbers> results;
  double size = 0;
  while (in.read(reinterpret_cast<char*>(&size), sizeof size)) {
    Numbers r(static_cast<std::size_t>(size));
    in.read(reinterpret_cast<char*>(r.data()),
            static_cast<std::streamsize>(r.size() * sizeof(double)));
    results.push_back(std::move(r));
  }
  return results;
}

// The child's part: selected and given a results file by the test below,
// skipped in any other run.
TEST(ColdStartChild, RunsTheJobsInParallel) {
  const char* out = std::getenv(kChildEnv);
  if (out == nullptr) GTEST_SKIP() << "runs as the child of ColdStart only";
  test::useLibrary();
  save(out, runParallel(threadJobs()));
}

class ColdStart : public test::FolderTest {
 protected:
  ColdStart() : FolderTest("cold-start") {}
};

// Starts this program as a child that runs the jobs in parallel and saves
// their results to `results`.
pid_t spawnChild(const std::string& results) {
  std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
  std::string filter = "--gtest_filter=ColdStartChild.RunsTheJobsInParallel";
  std::string env = std::string(kChildEnv) + "=" + results;
  std::vector<char*> argv{self.data(), filter.data(), nullptr};
  std::vector<char*> envp{env.data()};
  for (char** e = environ; *e != nullptr; ++e) envp.push_back(*e);
  envp.push_back(nullptr);
  // The child's report of its one test would only clutter this one's.
  posix_spawn_file_actions_t quiet;
  posix_spawn_file_actions_init(&quiet);
  posix_spawn_file_actions_addopen(&quiet, 1, "/dev/null", O_WRONLY, 0);
  pid_t pid = -1;
  if (posix_spawn(&pid, self.c_str(), &quiet, nullptr, argv.data(), envp.data()) != 0) pid = -1;
  posix_spawn_file_actions_destroy(&quiet);
  return pid;
}

// Several cold children at once: each start is one chance for the planners to
// meet, and the children crowding the processors spread their threads' steps.
TEST_F(ColdStart, ParallelFirstCallsGiveTheSequentialResults) {
  constexpr int kChildren = 4;
  std::vector<pid_t> pids;
  for (int c = 0; c < kChildren; ++c) {
    pids.push_back(spawnChild(path("parallel" + std::to_string(c))));
    ASSERT_GT(pids.back(), 0) << "cannot start the child";
  }
  for (const pid_t pid : pids) {
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status)) << "a child died of signal " << WTERMSIG(status);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "a child failed";
  }
  const std::vector<Numbers> sequential = runSequential(threadJobs());
  for (int c = 0; c < kChildren; ++c) {
    const std::vector<Numbers> parallel = load(path("parallel" + std::to_string(c)));
    ASSERT_EQ(parallel.size(), sequential.size()) << "child " << c;
    for (std::size_t j = 0; j < sequential.size(); ++j) {
      SCOPED_TRACE(::testing::Message() << "child " << c << " job " << j);
      ASSERT_EQ(parallel[j].size(), sequential[j].size());
      std::size_t differ = 0;
      for (std::size_t i = 0; i < sequential[j].size(); ++i)
        differ += !(std::abs(parallel[j][i] - sequential[j][i]) <=
                    1e-9 * std::max(1.0, std::abs(sequential[j][i])));
      EXPECT_EQ(differ, 0u);
    }
  }
}

}  // namespace
}  // namespace dot11a
