// Connections of the I/O gateway: a raw TCP socket, a serial line and a GPIB
// device, all behind one small interface with time-outs on every step.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>

namespace hwio {

// A failure that ends one gateway call with a non-zero status and a message.
struct Failure : std::runtime_error {
  Failure(int code, const std::string& message) : std::runtime_error(message), status(code) {}
  int status;
};

// Told how many bytes of one write have been handed to the connection so far.
using Progress = std::function<void(std::size_t sent)>;

class Link {
 public:
  virtual ~Link() = default;
  // Sends all bytes; fails when the instrument accepts nothing for the time-out.
  // `progress`, when given, hears of the bytes sent as they go; the bytes the
  // instrument receives are the same either way.
  virtual void write(std::string_view bytes, const Progress& progress) = 0;
  void write(std::string_view bytes) { write(bytes, Progress()); }
  // One answer line without its terminator; fails when no complete line arrives
  // within the time-out. `what` names the request in the message.
  virtual std::string readLine(std::string_view what) = 0;
  // Gives the front panel back to the user where the interface knows how.
  virtual std::string goToLocal() = 0;
  // Marks the call as failed: the link is then closed abortively, dropping
  // whatever was not yet delivered.
  virtual void abandon() = 0;
  // "127.0.0.1 port 5025", "/dev/ttyS0", "GPIB0::19" for messages.
  virtual const std::string& where() const = 0;
};

struct TcpSettings {
  std::string address;  // host, IPv4, IPv6 (brackets allowed), optionally ":port"
  double timeoutSeconds = 10;
};
std::unique_ptr<Link> openTcp(const TcpSettings& s);

struct SerialSettings {
  std::string device;  // e.g. /dev/ttyS0
  long baudrate = 9600;
  std::string handshake;  // "None", "Xon/Xoff", "RTS/CTS"
  double timeoutSeconds = 10;
};
std::unique_ptr<Link> openSerial(const SerialSettings& s);

struct GpibSettings {
  int board = 0;
  int primary = 19;
  int secondary = -1;  // -1 = none
  double timeoutSeconds = 10;
};
std::unique_ptr<Link> openGpib(const GpibSettings& s);

// Splits "host", "host:port", "[v6]:port" or a bare IPv6 address.
void splitHostPort(std::string_view address, std::string& host, std::string& port);

}  // namespace hwio
