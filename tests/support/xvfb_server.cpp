// A private X server for the tests that show windows on a real display (Xvfb).
#include "xvfb_server.h"

#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

extern char** environ;

namespace dashtune::testing {

namespace {

// Xvfb writes its display number and a newline once it accepts connections.
std::string ReadDisplayNumber(int fd) {
  using namespace std::chrono_literals;
  std::string number;
  const auto until = std::chrono::steady_clock::now() + 10s;
  while (std::chrono::steady_clock::now() < until) {
    pollfd polled{fd, POLLIN, 0};
    if (poll(&polled, 1, 100) <= 0) continue;
    char c;
    if (read(fd, &c, 1) != 1) break;
    if (c == '\n') return ":" + number;
    number += c;
  }
  return "";
}

}  // namespace

XvfbServer::XvfbServer(int width, int height) {
  int fds[2];
  if (pipe(fds) != 0) return;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addclose(&actions, fds[0]);
  const std::string fd_text = std::to_string(fds[1]);
  const std::string screen = std::to_string(width) + "x" + std::to_string(height) + "x24";
  const char* argv[] = {"Xvfb", "-displayfd", fd_text.c_str(), "-screen", "0", screen.c_str(), "-nolisten", "tcp", nullptr};
  if (posix_spawnp(&pid_, "Xvfb", &actions, nullptr, const_cast<char**>(argv), environ) != 0) pid_ = 0;
  posix_spawn_file_actions_destroy(&actions);
  close(fds[1]);
  display_ = ReadDisplayNumber(fds[0]);
  close(fds[0]);
}

XvfbServer::~XvfbServer() {
  if (pid_ > 0) {
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
  }
}

pid_t StartDisplayTool(const std::string& display, std::vector<std::string> args) {
  std::vector<std::string> env_strings{"DISPLAY=" + display};
  for (char** e = environ; *e != nullptr; ++e)
    if (std::string(*e).rfind("DISPLAY=", 0) != 0) env_strings.emplace_back(*e);
  std::vector<char*> env, argv;
  for (std::string& s : env_strings) env.push_back(s.data());
  env.push_back(nullptr);
  for (std::string& s : args) argv.push_back(s.data());
  argv.push_back(nullptr);
  pid_t pid = 0;
  return posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), env.data()) == 0 ? pid : 0;
}

int WaitTool(pid_t pid) {
  int status = 0;
  if (pid <= 0 || waitpid(pid, &status, 0) != pid) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace dashtune::testing
