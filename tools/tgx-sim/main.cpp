// tgx-sim: a simulated signal generator on a loopback TCP port (and optionally
// a pseudo-terminal) that speaks the SCPI of the I/O gateway. It keeps the
// waveforms and settings it receives, logs every command, and can be told to
// drop a connection, stall, freeze, answer late, or answer with instrument errors.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <list>
#include <optional>
#include <string>

#include "scpi.hpp"

namespace {

volatile sig_atomic_t stopRequested = 0;
void onSignal(int) {
  stopRequested = 1;
}

struct Options {
  std::string bind = "127.0.0.1";
  int port = 5025;
  bool pty = false;
  std::string logFile;
  std::string saveDir;
  long long dropAfter = -1;
  long long stallAfter = -1;
  std::vector<std::string> stallOn;
  std::vector<std::string> errorOn;
  std::vector<std::string> freezeOn;
  bool endlessErrors = false;
  double answerDelay = 0;
  std::string errorText = "-200,\"Execution error\"";
  std::string idn;
  double lifetime = 0;
  std::string family = "c";
  std::optional<std::string> rangeAnswer;
  bool noRanges = false;
};

struct Conn {
  int fd;
  bool socket;
  std::string buffer;
  long long received = 0;
  bool stalled = false;
};

class Server {
 public:
  explicit Server(const Options& o) : opt_(o) {
    sim_.saveDir = o.saveDir;
    sim_.errorOn = o.errorOn;
    sim_.injectedError = o.errorText;
    sim_.endlessErrors = o.endlessErrors;
    if (!o.idn.empty()) sim_.identity = o.idn;
    sim_.family = *tgxsim::familyNamed(o.family);
    if (o.rangeAnswer) {
      sim_.ranges = tgxsim::Instrument::Ranges::Fixed;
      sim_.rangeAnswer = *o.rangeAnswer;
    }
    if (o.noRanges) sim_.ranges = tgxsim::Instrument::Ranges::Unknown;
    if (!o.logFile.empty()) {
      log_ = std::fopen(o.logFile.c_str(), "w");
      if (log_ == nullptr) throw std::runtime_error("cannot write the log " + o.logFile);
    }
  }
  ~Server() {
    for (Conn& c : conns_) ::close(c.fd);
    if (listener_ >= 0) ::close(listener_);
    if (ptyHold_ >= 0) ::close(ptyHold_);
    if (log_ != nullptr) std::fclose(log_);
  }

  void listen() {
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(opt_.port));
    if (::inet_pton(AF_INET, opt_.bind.c_str(), &addr.sin_addr) != 1)
      throw std::runtime_error("not an IPv4 address: " + opt_.bind);
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int one = 1;
    ::setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    // A receive window of an instrument's size rather than loopback's
    // megabytes (accepted connections inherit it): a stalled simulator then
    // holds what an instrument would, and a sender counting acknowledged
    // bytes sees where it stopped.
    int window = 64 * 1024;
    ::setsockopt(listener_, SOL_SOCKET, SO_RCVBUF, &window, sizeof window);
    if (::bind(listener_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        ::listen(listener_, 16) != 0)
      throw std::runtime_error(std::string("cannot listen on ") + opt_.bind + ":" +
                               std::to_string(opt_.port) + ": " + std::strerror(errno));
    socklen_t len = sizeof addr;
    ::getsockname(listener_, reinterpret_cast<sockaddr*>(&addr), &len);
    std::printf("tgx-sim listening on %s port %d\n", opt_.bind.c_str(), ntohs(addr.sin_port));
  }

  void openPty() {
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0)
      throw std::runtime_error(std::string("cannot open a pseudo-terminal: ") +
                               std::strerror(errno));
    const char* name = ::ptsname(master);
    if (name == nullptr) throw std::runtime_error("cannot name the pseudo-terminal");
    const std::string path = name;
    // Holding the slave side open keeps the master readable between clients,
    // and raw mode stops the terminal from echoing our answers back to us.
    ptyHold_ = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios t{};
    if (ptyHold_ >= 0 && ::tcgetattr(ptyHold_, &t) == 0) {
      ::cfmakeraw(&t);
      ::tcsetattr(ptyHold_, TCSANOW, &t);
    }
    conns_.push_back({master, false, {}, 0, false});
    std::printf("tgx-sim serial on %s\n", path.c_str());
  }

  void run() {
    std::fflush(stdout);
    const auto start = std::chrono::steady_clock::now();
    while (!stopRequested) {
      if (opt_.lifetime > 0 &&
          std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() >
              opt_.lifetime)
        break;
      std::vector<pollfd> fds;
      fds.push_back({listener_, POLLIN, 0});
      for (const Conn& c : conns_)
        fds.push_back({c.fd, static_cast<short>(c.stalled ? 0 : POLLIN), 0});
      const int n = ::poll(fds.data(), fds.size(), 200);
      if (n <= 0) continue;
      std::size_t k = 1;
      for (auto it = conns_.begin(); it != conns_.end(); ++k) {
        const short ev = fds[k].revents;
        bool keep = true;
        if (ev & (POLLIN | POLLHUP | POLLERR)) keep = serve(*it);
        if (!keep) {
          ::close(it->fd);
          it = conns_.erase(it);
        } else {
          ++it;
        }
      }
      // Accepted last, so that the list matches the poll entries while serving.
      if (fds[0].revents & POLLIN) accept();
    }
  }

 private:
  void accept() {
    const int fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (fd >= 0) conns_.push_back({fd, true, {}, 0, frozen_});
  }

  void logLine(const std::string& line) {
    if (log_ == nullptr) return;
    std::fprintf(log_, "%s\n", line.c_str());
    std::fflush(log_);
  }

  void reply(const Conn& c, const std::string& text) {
    if (opt_.answerDelay > 0) ::usleep(static_cast<useconds_t>(opt_.answerDelay * 1e6));
    const std::string line = text + "\n";
    std::size_t sent = 0;
    // Answers are short; a client that does not read them is not waited for long.
    for (int tries = 0; sent < line.size() && tries < 100; ++tries) {
      const ssize_t n = c.socket ? ::send(c.fd, line.data() + sent, line.size() - sent,
                                          MSG_NOSIGNAL | MSG_DONTWAIT)
                                 : ::write(c.fd, line.data() + sent, line.size() - sent);
      if (n > 0)
        sent += static_cast<std::size_t>(n);
      else if (n < 0 && errno != EAGAIN && errno != EINTR)
        return;
      else
        ::usleep(1000);
    }
  }

  static bool startsWith(const std::string& text, const std::string& prefix) {
    const std::string p = tgxsim::normalised(prefix);
    return !p.empty() && tgxsim::normalised(text).rfind(p, 0) == 0;
  }

  // Reads what arrived and executes every complete command; false = close.
  bool serve(Conn& c) {
    char buf[65536];
    const ssize_t n = c.socket ? ::recv(c.fd, buf, sizeof buf, 0) : ::read(c.fd, buf, sizeof buf);
    if (n == 0) return !c.socket;  // a pseudo-terminal reports no end; a socket closed
    if (n < 0) {
      if (errno == EAGAIN || errno == EINTR) return true;
      return !c.socket;  // a pseudo-terminal without a client reports EIO; keep serving it
    }
    std::size_t take = static_cast<std::size_t>(n);
    if (opt_.dropAfter >= 0 && c.received + n >= opt_.dropAfter) {
      logLine("# dropped the connection after " + std::to_string(opt_.dropAfter) + " bytes");
      return !c.socket;
    }
    if (opt_.stallAfter >= 0 && c.received + n >= opt_.stallAfter) {
      take = static_cast<std::size_t>(std::max(0LL, opt_.stallAfter - c.received));
      c.stalled = true;
      logLine("# stalled after " + std::to_string(opt_.stallAfter) + " bytes");
    }
    c.received += n;
    c.buffer.append(buf, take);
    while (!c.stalled) {
      std::optional<tgxsim::Command> cmd;
      try {
        cmd = tgxsim::nextCommand(c.buffer);
      } catch (const std::exception& e) {
        logLine(std::string("# malformed input: ") + e.what());
        return !c.socket;
      }
      if (!cmd) break;
      logLine(cmd->logLine());
      for (const std::string& p : opt_.stallOn)
        if (startsWith(cmd->text, p)) c.stalled = true;
      for (const std::string& p : opt_.freezeOn)
        if (startsWith(cmd->text, p)) frozen_ = true;
      if (frozen_) c.stalled = true;
      if (c.stalled) {
        logLine("# stalled");
        break;
      }
      if (auto answer = sim_.execute(*cmd)) reply(c, *answer);
    }
    return true;
  }

  Options opt_;
  tgxsim::Instrument sim_;
  std::FILE* log_ = nullptr;
  int listener_ = -1;
  int ptyHold_ = -1;
  // Set by --freeze-on: no connection, present or future, is read any more.
  bool frozen_ = false;
  std::list<Conn> conns_;
};

}  // namespace

int main(int argc, char** argv) {
  Options o;
  CLI::App app{"tgx-sim: a simulated signal generator for the instrument I/O gateway"};
  app.add_option("--port", o.port, "TCP port; 0 picks a free one (printed on the first line)")
      ->check(CLI::Range(0, 65535));
  app.add_option("--bind", o.bind, "IPv4 address to listen on (default 127.0.0.1)");
  app.add_flag("--pty", o.pty,
               "also serve a pseudo-terminal (its path is printed on the second line)");
  app.add_option("--log", o.logFile, "write every received command to FILE, one per line");
  app.add_option("--save-dir", o.saveDir, "write each waveform as NAME.iq and NAME.mkr into DIR")
      ->check(CLI::ExistingDirectory);
  app.add_option("--drop-after", o.dropAfter, "close a connection once it has sent N bytes");
  app.add_option("--stall-after", o.stallAfter, "stop reading a connection after N bytes");
  app.add_option("--stall-on", o.stallOn,
                 "stop reading a connection at a command starting with TEXT");
  app.add_option("--error-on", o.errorOn,
                 "answer commands starting with TEXT with an instrument error");
  app.add_option("--error-text", o.errorText, "the error put in the queue by --error-on");
  app.add_option("--freeze-on", o.freezeOn,
                 "stop reading every connection, now and later, from a command starting with TEXT");
  app.add_flag("--endless-errors", o.endlessErrors,
               "answer every error-queue query with the --error-text error");
  app.add_option("--answer-delay", o.answerDelay, "wait SECONDS before each answer")
      ->check(CLI::Range(0.0, 60.0));
  app.add_option("--idn", o.idn, "the answer to *IDN?");
  app.add_option("--lifetime", o.lifetime, "exit after SECONDS (0 = run until stopped)");
  app.add_option("--family", o.family,
                 "generator family: b (to 4 GHz, +20 dBm, 40 MHz clock) or c (to 6 GHz, +25 dBm, "
                 "100 MHz clock); its ranges bound the settings and answer MIN/MAX queries")
      ->check(CLI::IsMember({"b", "c", "B", "C"}));
  app.add_option("--range-answer", o.rangeAnswer,
                 "answer every MIN/MAX query with TEXT (an instrument that answers nonsense)");
  app.add_flag("--no-ranges", o.noRanges,
               "MIN/MAX queries are unknown: an error in the queue and an empty answer");
  CLI11_PARSE(app, argc, argv);

  struct sigaction sa {};
  sa.sa_handler = onSignal;
  ::sigaction(SIGTERM, &sa, nullptr);
  ::sigaction(SIGINT, &sa, nullptr);
  ::signal(SIGPIPE, SIG_IGN);
  try {
    Server server(o);
    server.listen();
    if (o.pty) server.openPty();
    server.run();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "tgx-sim: %s\n", e.what());
    return 1;
  }
  return 0;
}
