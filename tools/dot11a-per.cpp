// dot11a-per: the packet-error-rate bench. Sweeps rates and SNRs, making,
// impairing, decoding and counting frames on every local core, prints each
// point as it is complete (with a progress bar on a terminal), and writes
// the result as JSON, CSV and a PNG plot. Ctrl+C ends the sweep and writes
// what was counted.
//
// The options bind into cli::PerOptions (the impairments through
// dot11a-gen's own binding), sweepOf() makes the sweep by the rules
// veltora.per_curve shares, and the library's per::run() counts it.
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <CLI/CLI.hpp>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "download_cli.hpp"
#include "dot11a/per_options.hpp"
#include "per_plot_script.hpp"
#include "receiver_test_cli.hpp"

#include "dot11a/error.hpp"
#include "dot11a/library.hpp"
#include "dot11a/matfile.hpp"
#include "dot11a/per.hpp"

namespace dot11a::per_tool {

std::atomic<bool> interrupted = false;

extern "C" void onInterrupt(int) {
  interrupted = true;
}

// Ctrl+C ends the sweep once; a second one ends the program at once.
void catchInterrupt() {
  struct sigaction a {};
  a.sa_handler = onInterrupt;
  a.sa_flags = SA_RESETHAND;
  sigemptyset(&a.sa_mask);
  sigaction(SIGINT, &a, nullptr);
  sigaction(SIGTERM, &a, nullptr);
}

// ---- the plot, drawn by Python's matplotlib ---------------------------------------

// Debian's interpreter, where python3-matplotlib is; another python3 on the
// path otherwise.
std::string python() {
  return ::access(DOT11A_PER_PYTHON, X_OK) == 0 ? DOT11A_PER_PYTHON : "python3";
}

// Runs `python -c code args...` with `input` on its standard input; the
// exit status (127 when it could not be started).
int runPython(const std::string& code, const std::vector<std::string>& args,
              const std::string& input, bool quiet) {
  int pipeFds[2];
  if (::pipe2(pipeFds, O_CLOEXEC) != 0) return 127;
  const std::string py = python();
  std::vector<std::string> argv = {py, "-c", code};
  argv.insert(argv.end(), args.begin(), args.end());
  std::vector<char*> cargv;
  for (std::string& a : argv) cargv.push_back(a.data());
  cargv.push_back(nullptr);
  const pid_t pid = ::fork();
  if (pid < 0) return 127;
  if (pid == 0) {
    ::dup2(pipeFds[0], 0);
    if (quiet) {
      const int null = ::open("/dev/null", O_WRONLY);
      if (null >= 0) ::dup2(null, 2);
    }
    ::execvp(cargv[0], cargv.data());
    ::_exit(127);
  }
  ::close(pipeFds[0]);
  // The child may end before it reads everything: no SIGPIPE for that.
  struct sigaction ignore {
  }, old{};
  ignore.sa_handler = SIG_IGN;
  sigaction(SIGPIPE, &ignore, &old);
  for (std::size_t at = 0; at < input.size();) {
    const ssize_t n = ::write(pipeFds[1], input.data() + at, input.size() - at);
    if (n <= 0) break;
    at += static_cast<std::size_t>(n);
  }
  ::close(pipeFds[1]);
  sigaction(SIGPIPE, &old, nullptr);
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128;
}

// Checked before the sweep, so a missing matplotlib costs no hours of frames.
void checkPlotting() {
  if (runPython("import matplotlib", {}, "", true) != 0)
    raise("--plot needs Python 3 with matplotlib (Debian's python3-matplotlib): " + python() +
          " cannot import it.");
}

void writePlot(const std::string& path, const std::string& json) {
  if (runPython(kPerPlotScript, {"-", path}, json, false) != 0)
    raise("--plot: " + path + " could not be drawn (see the message above).");
}

// ---- what the user sees as it runs ----------------------------------------------------

class Display {
 public:
  explicit Display(bool bar) : bar_(bar), started_(std::chrono::steady_clock::now()) {}

  void point(const per::PointResult& r) {
    clearBar();
    if (r.frames == 0) {
      std::printf("%2g Mbit/s  SNR %6.2f dB  no frame counted, incomplete\n", r.rateMbps, r.snrDb);
      std::fflush(stdout);
      drawBar();
      return;
    }
    std::printf(
        "%2g Mbit/s  SNR %6.2f dB  PER %.4f  (%llu of %llu frames lost, %llu not found)%s\n",
        r.rateMbps, r.snrDb, r.per(), static_cast<unsigned long long>(r.errors),
        static_cast<unsigned long long>(r.frames), static_cast<unsigned long long>(r.missed),
        r.complete ? "" : ", incomplete");
    std::fflush(stdout);
    drawBar();
  }

  void progress(std::uint64_t done, std::uint64_t planned) {
    done_ = done;
    planned_ = planned;
    drawBar();
  }

  void clearBar() {
    if (!bar_ || !drawn_) return;
    std::fprintf(stderr, "\r\033[K");
    drawn_ = false;
  }

 private:
  void drawBar() {
    if (!bar_ || planned_ == 0) return;
    constexpr int kWidth = 30;
    const double share = static_cast<double>(done_) / static_cast<double>(planned_);
    const int filled = static_cast<int>(share * kWidth);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started_).count();
    std::string left = "";
    if (done_ > 0 && done_ < planned_) {
      const auto s = static_cast<long long>(seconds / share * (1 - share));
      left = "  " + std::to_string(s / 60) + ":" + (s % 60 < 10 ? "0" : "") +
             std::to_string(s % 60) + " left";
    }
    std::fprintf(stderr, "\r[%s%s] %3.0f %%  %llu of %llu frames%s\033[K",
                 std::string(static_cast<std::size_t>(filled), '#').c_str(),
                 std::string(static_cast<std::size_t>(kWidth - filled), '.').c_str(), 100 * share,
                 static_cast<unsigned long long>(done_), static_cast<unsigned long long>(planned_),
                 left.c_str());
    std::fflush(stderr);
    drawn_ = true;
  }

  bool bar_;
  bool drawn_ = false;
  std::uint64_t done_ = 0, planned_ = 0;
  std::chrono::steady_clock::time_point started_;
};

// An output's folder must take a new file before the sweep starts: a sweep
// can run for hours, and its result is written only at its end.
void checkWritable(const std::string& path, const char* option) {
  const std::filesystem::path folder = std::filesystem::path(path).parent_path();
  const std::string where = folder.empty() ? "." : folder.string();
  if (::access(where.c_str(), W_OK | X_OK) != 0)
    raise(std::string(option) + ": " + path + " cannot be written: the folder " + where + " " +
          (errno == ENOENT ? "does not exist" : "does not take new files") + ".");
}

void writeText(const std::string& path, const std::string& text) {
  writeFileAtomically(path, {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()});
}

}  // namespace dot11a::per_tool

int main(int argc, char** argv) {
  using namespace dot11a;
  using namespace dot11a::per_tool;
  CLI::App app{
      "dot11a-per: the packet error rate of IEEE 802.11a frames against the SNR, per rate, "
      "through the receiver or the ideal receiver",
      "dot11a-per"};
  cli::PerOptions o;
  std::string snrText, json, csv, plot, seedText;
  unsigned workers = 0;
  const std::map<std::string, bool> onOff = {
      {"on", true}, {"off", false}, {"1", true}, {"0", false}};
  app.add_option("--rates", o.rates, "Rates in Mbit/s, a comma list (default: all eight)")
      ->delimiter(',')
      ->check(cli::number("one of 6, 9, 12, 18, 24, 36, 48, 54"));
  app.add_option("--snr", snrText,
                 "SNR in dB in the occupied band: FROM:TO:STEP (0:10:0.5), a list or one value")
      ->required();
  app.add_option("--frames", o.frames, "Frames per point, at most (default 1000)")
      ->check(cli::number("a whole number from 1", 1, HUGE_VAL, true));
  app.add_option("--stop-after-errors", o.stopAfterErrors,
                 "End a point at its Nth lost frame (default: never)")
      ->check(cli::number("a whole number from 0", 0, HUGE_VAL, true));
  app.add_option("--psdu-octets", o.psduOctets,
                 "PSDU length in octets, the FCS included (default 1000)")
      ->check(cli::number("a whole number from 1 to 4095", 1, 4095, true));
  app.add_option("--fcs", o.fcs, "on | off: the PSDU ends in a frame check sequence (default on)")
      ->transform(CLI::CheckedTransformer(onOff));
  app.add_option("--oversampling", o.oversampling,
                 "Oversampling ratio 1 .. 4: 20 MHz times it (default 1)")
      ->check(cli::number("a whole number from 1 to 4", 1, 4, true));
  app.add_flag("--ideal", o.ideal,
               "Decode with the ideal receiver: start, carrier offset and channel given exactly");
  app.add_option("--seed", seedText, "Seed of every frame's draws (0 .. 2^64-1, default 1)");
  app.add_option("--workers", workers, "Threads (default: one per local core)")
      ->check(CLI::Range(1u, per::kMaxWorkers));
  app.add_option("--json", json, "Write the points and thresholds as JSON");
  app.add_option("--csv", csv, "Write the points as CSV");
  app.add_option("--plot", plot, "Draw PER against SNR as a PNG (needs python3-matplotlib)");
  cli::ImpairTexts impairTexts;
  cli::addImpairOptions(app, o.job, impairTexts, cli::ImpairOptionsFor::Bench);
  app.get_option("--channel")
      ->description("awgn (white noise alone, the default) or multipath exp:RMS_NS[,rician:K_DB]");
  double frequency = 0;
  app.add_option("--frequency", frequency, "Carrier frequency in Hz (for --cfo-ppm)")
      ->check(cli::number("a frequency above 0 Hz", 1, HUGE_VAL));
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    return cli::parseFailure(app, e, "dot11a-per");
  }
  try {
    for (const auto& [name, value] :
         {std::pair{"--json", &json}, {"--csv", &csv}, {"--plot", &plot}})
      if (app.get_option(name)->count() > 0 && value->empty())
        raise(std::string(name) + ": the file name is empty.");
    if (app.get_option("--frequency")->count() > 0) o.job.frequency = frequency;
    if (impairTexts.channel && cli::isAwgn(*impairTexts.channel)) impairTexts.channel.reset();
    cli::readImpairTexts(impairTexts, o.job);
    if (!seedText.empty()) o.seed = parseSeed(seedText, "--seed takes");
    o.snr = per::snrList(snrText, "--snr");
    LibrarySession library;
    per::keepFreedMemory();
    const per::Sweep sweep = cli::sweepOf(o, OptionSpelling::CommandLine);
    for (const auto& [name, value] :
         {std::pair{"--json", &json}, {"--csv", &csv}, {"--plot", &plot}})
      if (!value->empty()) checkWritable(*value, name);
    if (!plot.empty()) checkPlotting();

    catchInterrupt();
    Display display(::isatty(2) != 0);
    per::RunOptions run;
    run.workers = workers;
    run.cancel = &interrupted;
    run.onPoint = [&](std::size_t, const per::PointResult& r) { display.point(r); };
    run.onProgress = [&](std::uint64_t done, std::uint64_t planned) {
      display.progress(done, planned);
    };
    const std::vector<per::PointResult> results = per::run(sweep, run);
    display.clearBar();
    for (const per::PointResult& r : results)
      if (!r.complete) display.point(r);
    std::printf("SNR at PER 10 %%:");
    for (const double rate : sweep.ratesMbps) {
      std::vector<per::PointResult> curve;
      for (const per::PointResult& r : results)
        if (r.rateMbps == rate) curve.push_back(r);
      const std::optional<double> at = per::snrAt(curve);
      if (at)
        std::printf("  %g Mbit/s %.2f dB", rate, *at);
      else
        std::printf("  %g Mbit/s -", rate);
    }
    std::printf("\n");
    const std::string text = per::resultJson(sweep, results);
    if (!json.empty()) writeText(json, text);
    if (!csv.empty()) writeText(csv, per::resultCsv(results));
    if (!plot.empty()) writePlot(plot, text);
    if (interrupted) {
      std::fprintf(stderr, "dot11a-per: interrupted; the points counted so far were written.\n");
      return 130;
    }
    return 0;
  } catch (const std::exception& e) {
    std::cerr << "dot11a-per: " << e.what() << "\n";
    return 1;
  }
}
