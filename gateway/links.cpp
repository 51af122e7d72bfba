// TCP, serial and GPIB links of the I/O gateway.
#include "links.hpp"

#include "answers.hpp"
#include "dot11a/checked_integer.hpp"

#include <dlfcn.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

namespace hwio {

namespace {

using Clock = std::chrono::steady_clock;

// Longest answer line accepted; a peer that sends more without a line end is
// not an instrument we understand.
constexpr std::size_t kMaxLine = 1 << 20;

std::string seconds(double s) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%g", s);
  return std::string(buf) + " s";
}

int toMillis(double s) {
  return dot11a::checkedInteger<int>(std::round(std::clamp(s * 1000.0, 1.0, 3600.0 * 1000.0)),
                                     "A time-out in milliseconds");
}

// poll() for one event, restarting after signals, within `deadline`.
// Returns the revents, or 0 on time-out.
short waitFor(int fd, short events, Clock::time_point deadline) {
  for (;;) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) return 0;
    pollfd p{fd, events, 0};
    const int n = ::poll(&p, 1, static_cast<int>(std::min<long long>(left.count(), 1 << 30)));
    if (n > 0) return p.revents;
    if (n == 0) return 0;
    if (errno != EINTR) return POLLERR;
  }
}

// A link over a file descriptor (socket or serial line) in non-blocking mode.
class FdLink : public Link {
 public:
  FdLink(int fd, bool socket, std::string where, double timeout)
      : fd_(fd), socket_(socket), where_(std::move(where)), timeout_(timeout) {}
  ~FdLink() override { close(); }

  // Progress counts what the instrument took: the bytes written less those
  // still queued in the connection (not yet acknowledged by the instrument's
  // TCP stack, or not yet out of the serial port). While the connection is
  // full it is reported every kReportEvery, so a listener sees the time pass;
  // with a listener the write ends when the instrument took every byte. The
  // time-out counts from the last movement: a long transfer may take
  // minutes, but an instrument that takes nothing for the time-out is stuck.
  void write(std::string_view bytes, const Progress& progress) override {
    constexpr auto kReportEvery = std::chrono::milliseconds(250);
    const auto timeout = std::chrono::milliseconds(toMillis(timeout_));
    std::size_t sent = 0, taken = 0;
    auto lastMove = Clock::now();
    const auto tell = [&] {
      if (!progress) return;
      const std::size_t queued = queuedBytes();
      const std::size_t now = sent > queued ? sent - queued : 0;
      if (now != taken) lastMove = Clock::now();
      taken = std::max(taken, now);
      progress(taken);
    };
    const auto stuck = [&] {
      return Failure(
          3, "The instrument at " + where_ + " stopped accepting data: nothing could be sent for " +
                 seconds(timeout_) + " (" + std::to_string(progress ? taken : sent) + " of " +
                 std::to_string(bytes.size()) + " bytes " + (progress ? "taken" : "sent") + ").");
    };
    while (sent < bytes.size()) {
      const auto giveUp = lastMove + timeout;
      const short ev =
          waitFor(fd_, POLLOUT, progress ? std::min(giveUp, Clock::now() + kReportEvery) : giveUp);
      if (ev == 0) {
        if (Clock::now() >= giveUp) throw stuck();
        tell();
        continue;
      }
      if (ev & (POLLERR | POLLHUP | POLLNVAL)) {
        if (!(ev & POLLOUT)) throw dropped(sent, bytes.size());
      }
      const std::size_t chunk = std::min<std::size_t>(bytes.size() - sent, 1 << 16);
      const ssize_t n = socket_ ? ::send(fd_, bytes.data() + sent, chunk, MSG_NOSIGNAL)
                                : ::write(fd_, bytes.data() + sent, chunk);
      if (n > 0) {
        sent += static_cast<std::size_t>(n);
        lastMove = Clock::now();
        tell();
        continue;
      }
      if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) continue;
      throw dropped(sent, bytes.size());
    }
    if (!progress) return;
    // The rest sits in the connection until the instrument reads it.
    while (taken < sent) {
      if (Clock::now() >= lastMove + timeout) throw stuck();
      // Waits a moment for nothing but an error or a hang-up of the
      // connection, which ends the wait at once.
      const short ev = waitFor(fd_, 0, Clock::now() + std::chrono::milliseconds(20));
      if (ev & (POLLERR | POLLHUP | POLLNVAL)) throw dropped(taken, bytes.size());
      tell();
    }
  }

  std::string readLine(std::string_view what) override {
    const auto deadline = Clock::now() + std::chrono::milliseconds(toMillis(timeout_));
    for (;;) {
      // A block answer may hold line ends of its own: the answer ends at the
      // line end behind the block.
      try {
        if (auto answer = takeAnswer(buffer_, kMaxLine)) return *answer;
      } catch (const Failure& f) {
        throw Failure(f.status, "The answer of the instrument at " + where_ + " to " +
                                    std::string(what) + " is unusable: " + f.what());
      }
      const short ev = waitFor(fd_, POLLIN, deadline);
      if (ev == 0)
        throw Failure(3, "No answer from the instrument at " + where_ + " to " + std::string(what) +
                             " within " + seconds(timeout_) + ".");
      char buf[4096];
      const ssize_t n = socket_ ? ::recv(fd_, buf, sizeof buf, 0) : ::read(fd_, buf, sizeof buf);
      if (n > 0) {
        buffer_.append(buf, static_cast<std::size_t>(n));
        continue;
      }
      if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) continue;
      throw Failure(3, "The instrument at " + where_ + " closed the connection before answering " +
                           std::string(what) + ".");
    }
  }

  std::string goToLocal() override {
    // Neither a raw socket nor a serial line has a remote lock to release.
    return "No remote lock on " + where_ + "; the front panel is available.";
  }

  void abandon() override {
    if (fd_ < 0) return;
    if (socket_) {
      linger l{1, 0};  // reset the connection instead of lingering with unsent data
      ::setsockopt(fd_, SOL_SOCKET, SO_LINGER, &l, sizeof l);
    } else {
      ::tcflush(fd_, TCIOFLUSH);  // a serial close would otherwise wait for the output to drain
    }
    close();
  }

  const std::string& where() const override { return where_; }

 private:
  // Bytes written to the connection that it still holds; 0 where the
  // descriptor cannot say.
  std::size_t queuedBytes() const {
    int n = 0;
    if (::ioctl(fd_, TIOCOUTQ, &n) != 0 || n < 0) return 0;
    return static_cast<std::size_t>(n);
  }
  Failure dropped(std::size_t sent, std::size_t total) const {
    const int err = errno;
    return Failure(3, "The connection to " + where_ + " was lost after " + std::to_string(sent) +
                          " of " + std::to_string(total) + " bytes (" + std::strerror(err) + ").");
  }
  void close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }

  int fd_;
  bool socket_;
  std::string where_;
  double timeout_;
  std::string buffer_;
};

}  // namespace

void splitHostPort(std::string_view address, std::string& host, std::string& port) {
  port = "5025";
  if (!address.empty() && address.front() == '[') {
    const auto close = address.find(']');
    if (close == std::string_view::npos)
      throw Failure(1,
                    "The TCP/IP address \"" + std::string(address) + "\" lacks its closing ']'.");
    host = std::string(address.substr(1, close - 1));
    std::string_view rest = address.substr(close + 1);
    if (!rest.empty()) {
      if (rest.front() != ':')
        throw Failure(1, "Cannot read the TCP/IP address \"" + std::string(address) + "\".");
      port = std::string(rest.substr(1));
    }
  } else if (std::count(address.begin(), address.end(), ':') == 1) {
    const auto colon = address.find(':');
    host = std::string(address.substr(0, colon));
    port = std::string(address.substr(colon + 1));
  } else {
    host = std::string(address);  // a host name, an IPv4 or a bare IPv6 address
  }
  const bool digits =
      !port.empty() && port.size() <= 5 &&
      std::all_of(port.begin(), port.end(), [](char c) { return c >= '0' && c <= '9'; });
  if (!digits || std::stol(port) < 1 || std::stol(port) > 65535)
    throw Failure(
        1, "The port \"" + port + "\" of the TCP/IP address is not a number from 1 to 65535.");
}

std::unique_ptr<Link> openTcp(const TcpSettings& s) {
  std::string host, port;
  std::string address = s.address;
  address.erase(0, address.find_first_not_of(" \t"));
  address.erase(address.find_last_not_of(" \t") + 1);
  splitHostPort(address, host, port);
  if (host.empty() || host == "0.0.0.0" || host == "::")
    throw Failure(1, "The instrument's TCP/IP address is not configured (\"" + address +
                         "\"). Enter the signal generator's host name or IP address in the "
                         "connection settings.");

  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_NUMERICSERV;
  addrinfo* list = nullptr;
  if (const int rc = ::getaddrinfo(host.c_str(), port.c_str(), &hints, &list); rc != 0)
    throw Failure(2, "Cannot find the instrument \"" + host + "\": " + ::gai_strerror(rc) + ".");
  std::unique_ptr<addrinfo, void (*)(addrinfo*)> guard(list, ::freeaddrinfo);

  const std::string where = host + " port " + port;
  std::string lastError = "no address";
  bool timedOut = false, refused = false;
  for (addrinfo* ai = list; ai != nullptr; ai = ai->ai_next) {
    const int fd =
        ::socket(ai->ai_family, ai->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, ai->ai_protocol);
    if (fd < 0) {
      lastError = std::strerror(errno);
      continue;
    }
    int err = 0;
    if (::connect(fd, ai->ai_addr, ai->ai_addrlen) != 0) {
      err = errno;
      if (err == EINPROGRESS) {
        const short ev = waitFor(
            fd, POLLOUT, Clock::now() + std::chrono::milliseconds(toMillis(s.timeoutSeconds)));
        if (ev == 0) {
          err = ETIMEDOUT;
          timedOut = true;
        } else {
          socklen_t len = sizeof err;
          if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) != 0) err = errno;
        }
      }
    }
    if (err == 0) {
      int one = 1;
      ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
      return std::make_unique<FdLink>(fd, true, where, s.timeoutSeconds);
    }
    ::close(fd);
    lastError = std::strerror(err);
    refused = refused || err == ECONNREFUSED;  // try the host's other addresses first
  }
  if (refused)
    throw Failure(2, "The connection to " + where +
                         " was refused: is the signal generator on, and is its LAN (SCPI socket) "
                         "interface enabled on that port?");
  if (timedOut)
    throw Failure(2, "No response connecting to " + where + " within " + seconds(s.timeoutSeconds) +
                         ": check the address and the network.");
  throw Failure(2, "Cannot connect to " + where + ": " + lastError + ".");
}

std::unique_ptr<Link> openSerial(const SerialSettings& s) {
  static constexpr struct {
    long rate;
    speed_t code;
  } kSpeeds[] = {{300, B300},     {600, B600},       {1200, B1200},    {2400, B2400},
                 {4800, B4800},   {9600, B9600},     {19200, B19200},  {38400, B38400},
                 {57600, B57600}, {115200, B115200}, {230400, B230400}};
  const auto* speed = std::find_if(std::begin(kSpeeds), std::end(kSpeeds),
                                   [&](const auto& e) { return e.rate == s.baudrate; });
  if (speed == std::end(kSpeeds))
    throw Failure(1, "The serial line cannot run at " + std::to_string(s.baudrate) +
                         " baud; choose one of 300, 600, 1200, 2400, 4800, 9600, 19200, 38400, "
                         "57600, 115200 or 230400.");

  const int fd = ::open(s.device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0)
    throw Failure(2, "Cannot open the serial port " + s.device + ": " + std::strerror(errno) + ".");
  termios t{};
  if (::tcgetattr(fd, &t) != 0) {
    const int err = errno;
    ::close(fd);
    throw Failure(2, s.device + " is not a serial port: " + std::strerror(err) + ".");
  }
  ::cfmakeraw(&t);
  t.c_cflag |= CLOCAL | CREAD;
  t.c_cflag &= ~(CSTOPB | PARENB | CSIZE | CRTSCTS);
  t.c_cflag |= CS8;
  t.c_iflag &= ~(IXON | IXOFF | IXANY);
  std::string hs;
  for (char c : s.handshake)
    hs.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
  if (hs.find("xon") != std::string::npos)
    t.c_iflag |= IXON | IXOFF;
  else if (hs.find("rts") != std::string::npos)
    t.c_cflag |= CRTSCTS;
  ::cfsetispeed(&t, speed->code);
  ::cfsetospeed(&t, speed->code);
  if (::tcsetattr(fd, TCSANOW, &t) != 0) {
    const int err = errno;
    ::close(fd);
    throw Failure(2, "Cannot set up the serial port " + s.device + ": " + std::strerror(err) + ".");
  }
  ::tcflush(fd, TCIOFLUSH);  // nothing left over from an earlier exchange
  return std::make_unique<FdLink>(fd, false, s.device, s.timeoutSeconds);
}

// ---- GPIB through linux-gpib, loaded at run time ---------------------------------

namespace {

struct GpibApi {
  int (*ibdev)(int, int, int, int, int, int) = nullptr;
  int (*ibwrt)(int, const void*, long) = nullptr;
  int (*ibrd)(int, void*, long) = nullptr;
  int (*ibloc)(int) = nullptr;
  int (*ibonl)(int, int) = nullptr;
  int (*ThreadIbsta)() = nullptr;
  int (*ThreadIberr)() = nullptr;
  long (*ThreadIbcntl)() = nullptr;
};

constexpr int kErr = 0x8000;
constexpr int kEnd = 0x2000;

const GpibApi* gpibApi() {
  static GpibApi api;
  static bool tried = false, ok = false;
  if (tried) return ok ? &api : nullptr;
  tried = true;
  void* h = ::dlopen("libgpib.so.0", RTLD_NOW | RTLD_LOCAL);
  if (h == nullptr) return nullptr;
  auto sym = [&](auto& fn, const char* name) {
    fn = reinterpret_cast<std::remove_reference_t<decltype(fn)>>(::dlsym(h, name));
    return fn != nullptr;
  };
  ok = sym(api.ibdev, "ibdev") && sym(api.ibwrt, "ibwrt") && sym(api.ibrd, "ibrd") &&
       sym(api.ibloc, "ibloc") && sym(api.ibonl, "ibonl") && sym(api.ThreadIbsta, "ThreadIbsta") &&
       sym(api.ThreadIberr, "ThreadIberr") && sym(api.ThreadIbcntl, "ThreadIbcntl");
  return ok ? &api : nullptr;
}

// The smallest of the library's time-out steps (T10us .. T1000s) that covers `s`.
int gpibTimeoutCode(double s) {
  static constexpr double kSteps[] = {10e-6, 30e-6, 100e-6, 300e-6, 1e-3, 3e-3,
                                      10e-3, 30e-3, 100e-3, 300e-3, 1,    3,
                                      10,    30,    100,    300,    1000};
  for (int i = 0; i < 17; ++i)
    if (kSteps[i] >= s) return i + 1;
  return 17;
}

class GpibLink : public Link {
 public:
  GpibLink(const GpibApi& api, int ud, std::string where)
      : api_(api), ud_(ud), where_(std::move(where)) {}
  ~GpibLink() override { api_.ibonl(ud_, 0); }

  // One write: the device asserts END with its last byte, so splitting it
  // for progress would end the message early. Progress is told at the end.
  void write(std::string_view bytes, const Progress& progress) override {
    const int sta = api_.ibwrt(ud_, bytes.data(), static_cast<long>(bytes.size()));
    if (sta & kErr) throw failure("sending to");
    if (progress) progress(bytes.size());
  }
  std::string readLine(std::string_view what) override {
    std::string line;
    char buf[4096];
    for (;;) {
      const int sta = api_.ibrd(ud_, buf, sizeof buf);
      if (sta & kErr)
        throw failure(("reading the answer to " + std::string(what) + " from").c_str());
      line.append(buf, static_cast<std::size_t>(std::max(0L, api_.ThreadIbcntl())));
      if ((sta & kEnd) || (!line.empty() && line.back() == '\n') || line.size() > kMaxLine) break;
    }
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
    return line;
  }
  std::string goToLocal() override {
    if (api_.ibloc(ud_) & kErr) throw failure("returning to local");
    return "The front panel of " + where_ + " is back in local control.";
  }
  void abandon() override {}
  const std::string& where() const override { return where_; }

 private:
  Failure failure(const char* doing) const {
    const int err = api_.ThreadIberr();
    std::string why = err == 6   ? "the time-out passed (EABO)"
                      : err == 2 ? "no instrument listens at that address (ENOL)"
                                 : "GPIB error " + std::to_string(err);
    return Failure(err == 2 ? 2 : 3,
                   "GPIB error " + std::string(doing) + " " + where_ + ": " + why + ".");
  }
  const GpibApi& api_;
  int ud_;
  std::string where_;
};

}  // namespace

std::unique_ptr<Link> openGpib(const GpibSettings& s) {
  const GpibApi* api = gpibApi();
  if (api == nullptr)
    throw Failure(6,
                  "GPIB support is not installed: the GPIB library (libgpib.so.0 of linux-gpib) "
                  "was not found. "
                  "Install linux-gpib, or connect the signal generator over LAN or RS-232.");
  const std::string where = "GPIB" + std::to_string(s.board) + "::" + std::to_string(s.primary) +
                            (s.secondary >= 0 ? "::" + std::to_string(s.secondary) : "");
  const int sad = s.secondary < 0 ? 0 : 0x60 + s.secondary;
  const int ud = api->ibdev(s.board, s.primary, sad, gpibTimeoutCode(s.timeoutSeconds), 1, 0);
  if (ud < 0)
    throw Failure(2, "Cannot open the GPIB device " + where + " (GPIB error " +
                         std::to_string(api->ThreadIberr()) +
                         "): check the board number and that the GPIB driver is loaded.");
  return std::make_unique<GpibLink>(*api, ud, where);
}

}  // namespace hwio
