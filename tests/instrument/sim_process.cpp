#include "sim_process.hpp"

#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace dot11a::test {

namespace {

// Reads one line from `fd` within `ms` milliseconds.
std::string readLine(int fd, int ms) {
  std::string line;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (std::chrono::steady_clock::now() < deadline) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, 100) <= 0) continue;
    char c;
    if (::read(fd, &c, 1) != 1) break;
    if (c == '\n') return line;
    line.push_back(c);
  }
  return line;
}

int lastNumber(const std::string& line) {
  const auto pos = line.find_last_of(' ');
  return pos == std::string::npos ? 0 : std::atoi(line.c_str() + pos + 1);
}

}  // namespace

SimProcess::SimProcess(std::vector<std::string> extra) {
  std::string tmpl = (std::filesystem::temp_directory_path() / "tgx-sim-test-XXXXXX").string();
  const char* d = ::mkdtemp(tmpl.data());
  if (d == nullptr) throw std::runtime_error("cannot make a temporary folder");
  dir_ = d;
  std::vector<std::string> args = {DOT11A_BIN_DIR "/tgx-sim",
                                   "--port",
                                   "0",
                                   "--log",
                                   dir_ + "/log.txt",
                                   "--save-dir",
                                   dir_,
                                   "--lifetime",
                                   "300"};
  args.insert(args.end(), extra.begin(), extra.end());
  int fds[2];
  if (::pipe(fds) != 0) throw std::runtime_error("pipe failed");
  pid_ = ::fork();
  if (pid_ == 0) {
    ::dup2(fds[1], 1);
    ::close(fds[0]);
    ::close(fds[1]);
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  ::close(fds[1]);
  const std::string first = readLine(fds[0], 5000);
  port_ = lastNumber(first);
  for (const auto& a : extra)
    if (a == "--pty") {
      const std::string second = readLine(fds[0], 5000);
      pty_ = second.substr(second.find_last_of(' ') + 1);
    }
  ::close(fds[0]);
  if (port_ <= 0) {
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
    pid_ = -1;
    throw std::runtime_error("tgx-sim did not start: \"" + first + "\"");
  }
}

SimProcess::~SimProcess() {
  if (pid_ > 0) {
    ::kill(pid_, SIGTERM);
    for (int i = 0; i < 50; ++i) {
      if (::waitpid(pid_, nullptr, WNOHANG) == pid_) {
        pid_ = -1;
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    if (pid_ > 0) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
  }
  std::error_code ec;
  std::filesystem::remove_all(dir_, ec);
}

std::vector<std::string> SimProcess::log() const {
  std::ifstream in(dir_ + "/log.txt");
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::vector<std::string> SimProcess::commands() const {
  std::vector<std::string> out;
  for (auto& l : log())
    if (l != ":SYST:ERR?") out.push_back(l);
  return out;
}

std::string SimProcess::readFile(const std::string& name) const {
  std::ifstream in(dir_ + "/" + name, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

}  // namespace dot11a::test
