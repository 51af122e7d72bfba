// Starts tgx-sim for one test on 127.0.0.1 with a free port and stops it again.
#pragma once

#include <string>
#include <vector>

namespace dot11a::test {

class SimProcess {
 public:
  // Extra command-line arguments follow "--port 0 --log <file> --save-dir <dir>".
  explicit SimProcess(std::vector<std::string> extra = {});
  ~SimProcess();
  SimProcess(const SimProcess&) = delete;
  SimProcess& operator=(const SimProcess&) = delete;

  int port() const { return port_; }
  const std::string& ptyPath() const { return pty_; }
  const std::string& saveDir() const { return dir_; }
  // "127.0.0.1:PORT"
  std::string address() const { return "127.0.0.1:" + std::to_string(port_); }
  // The received commands so far, one per line, in order.
  std::vector<std::string> log() const;
  // The log without the error-queue queries the gateway adds after each command.
  std::vector<std::string> commands() const;
  std::string readFile(const std::string& name) const;

 private:
  int pid_ = -1;
  int port_ = 0;
  std::string pty_;
  std::string dir_;
};

}  // namespace dot11a::test
