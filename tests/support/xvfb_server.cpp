// A private X server for the tests that show windows on a real display (Xvfb).
#include "xvfb_server.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <utility>
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

// Starts args[0] with DISPLAY set to `display` (empty: unset) and the given file actions.
pid_t SpawnOnDisplay(const std::string& display, std::vector<std::string>& args,
                     const posix_spawn_file_actions_t* actions) {
  std::vector<std::string> env_strings;
  if (!display.empty()) env_strings.push_back("DISPLAY=" + display);
  for (char** e = environ; *e != nullptr; ++e)
    if (std::string(*e).rfind("DISPLAY=", 0) != 0) env_strings.emplace_back(*e);
  std::vector<char*> env, argv;
  for (std::string& s : env_strings) env.push_back(s.data());
  env.push_back(nullptr);
  for (std::string& s : args) argv.push_back(s.data());
  argv.push_back(nullptr);
  pid_t pid = 0;
  return posix_spawnp(&pid, argv[0], actions, nullptr, argv.data(), env.data()) == 0 ? pid : 0;
}

}  // namespace

XvfbServer::XvfbServer(int width, int height, const std::string& audit_log) {
  int fds[2];
  if (pipe(fds) != 0) return;
  // The server keeps none of the test's descriptors: a test that dies leaves its server behind,
  // which must not hold the test's output pipes (and with them the test runner) open.
  constexpr int kDisplayFd = 3;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, fds[1], kDisplayFd);
  posix_spawn_file_actions_addclosefrom_np(&actions, kDisplayFd + 1);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  const std::string fd_text = std::to_string(kDisplayFd);
  const std::string screen = std::to_string(width) + "x" + std::to_string(height) + "x24";
  std::vector<const char*> argv = {"Xvfb", "-displayfd", fd_text.c_str(), "-screen", "0", screen.c_str(), "-nolisten", "tcp"};
  if (!audit_log.empty()) argv.insert(argv.end(), {"-audit", "4"});
  const char* log = audit_log.empty() ? "/dev/null" : audit_log.c_str();
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, log, O_WRONLY | O_CREAT | O_TRUNC, 0644);
  argv.push_back(nullptr);
  if (posix_spawnp(&pid_, "Xvfb", &actions, nullptr, const_cast<char**>(argv.data()), environ) != 0) pid_ = 0;
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
  return SpawnOnDisplay(display, args, nullptr);
}

bool RunXdotool(const std::string& display, std::vector<std::string> args) {
  args.insert(args.begin(), "xdotool");
  return WaitTool(StartDisplayTool(display, std::move(args))) == 0;
}

int WaitTool(pid_t pid) {
  int status = 0;
  if (pid <= 0 || waitpid(pid, &status, 0) != pid) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

DisplayProgram::DisplayProgram(const std::string& display, std::vector<std::string> args) {
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) return;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&actions, fds[1], STDERR_FILENO);
  const pid_t pid = SpawnOnDisplay(display, args, &actions);
  posix_spawn_file_actions_destroy(&actions);
  close(fds[1]);
  pid_ = pid > 0 ? pid : -1;
  out_ = fds[0];
}

DisplayProgram::~DisplayProgram() {
  if (pid_ > 0) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
  if (out_ >= 0) close(out_);
}

bool DisplayProgram::ReadUntil(const std::string& prefix, std::chrono::milliseconds timeout) {
  const auto until = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    for (std::size_t end; (end = output_.find('\n', scanned_)) != std::string::npos; scanned_ = end + 1) {
      if (output_.compare(scanned_, prefix.size(), prefix) == 0) {
        scanned_ = end + 1;
        return true;
      }
    }
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - std::chrono::steady_clock::now());
    pollfd polled{out_, POLLIN, 0};
    if (left.count() <= 0 || poll(&polled, 1, static_cast<int>(left.count())) <= 0) return false;
    char buffer[4096];
    const ssize_t got = read(out_, buffer, sizeof buffer);
    if (got <= 0) return false;
    output_.append(buffer, static_cast<std::size_t>(got));
  }
}

int DisplayProgram::Finish(std::chrono::milliseconds timeout) {
  const auto until = std::chrono::steady_clock::now() + timeout;
  ReadUntil("\x01 never printed", timeout);
  int status = 0;
  while (waitpid(pid_, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > until) return -1;
    usleep(20000);
  }
  pid_ = -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace dashtune::testing
