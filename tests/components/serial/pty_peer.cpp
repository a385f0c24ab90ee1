// The pseudo-terminal peer the serial integration tests talk to, driven by text commands.
#include "pty_peer.h"

#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>

extern char** environ;

namespace dashtune::serial {

PtyPeer::PtyPeer(unsigned port) : port_(port) {
  int in[2];
  int out[2];
  if (pipe(in) != 0) return;
  if (pipe(out) != 0) {
    close(in[0]);
    close(in[1]);
    return;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, in[0], 0);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  posix_spawn_file_actions_addclose(&actions, in[1]);
  posix_spawn_file_actions_addclose(&actions, out[0]);
  char* argv[] = {const_cast<char*>(DASHTUNE_PTY_PEER_PATH), nullptr};
  pid_t pid = -1;
  if (posix_spawn(&pid, DASHTUNE_PTY_PEER_PATH, &actions, nullptr, argv, environ) == 0) pid_ = pid;
  posix_spawn_file_actions_destroy(&actions);
  close(in[0]);
  close(out[1]);
  to_peer_ = in[1];
  from_peer_ = out[0];
  path_ = ReadLine(10000);
  if (!path_.empty()) setenv(("DASHTUNE_COM" + std::to_string(port_)).c_str(), path_.c_str(), 1);
}

PtyPeer::~PtyPeer() {
  Stop();
  unsetenv(("DASHTUNE_COM" + std::to_string(port_)).c_str());
}

void PtyPeer::Stop() {
  if (to_peer_ >= 0) close(to_peer_);
  to_peer_ = -1;
  if (pid_ > 0) {
    int status = 0;
    for (int i = 0; i < 500 && waitpid(pid_, &status, WNOHANG) == 0; ++i) usleep(10000);
    if (waitpid(pid_, &status, WNOHANG) == 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, &status, 0);
    }
  }
  pid_ = -1;
  if (from_peer_ >= 0) close(from_peer_);
  from_peer_ = -1;
}

void PtyPeer::Kill() {
  if (pid_ > 0) kill(pid_, SIGKILL);
  Stop();
}

void PtyPeer::Send(const std::string& command) {
  std::string line = command + "\n";
  std::size_t done = 0;
  while (to_peer_ >= 0 && done < line.size()) {
    ssize_t n = write(to_peer_, line.data() + done, line.size() - done);
    if (n <= 0) break;
    done += static_cast<std::size_t>(n);
  }
}

std::string PtyPeer::ReadLine(int timeoutMs) {
  auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    std::size_t end = pending_.find('\n');
    if (end != std::string::npos) {
      std::string line = pending_.substr(0, end);
      pending_.erase(0, end + 1);
      return line;
    }
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - std::chrono::steady_clock::now());
    if (from_peer_ < 0 || left.count() <= 0) return {};
    pollfd entry{from_peer_, POLLIN, 0};
    if (poll(&entry, 1, static_cast<int>(left.count())) <= 0) return {};
    char buffer[4096];
    ssize_t n = read(from_peer_, buffer, sizeof buffer);
    if (n <= 0) return {};
    pending_.append(buffer, static_cast<std::size_t>(n));
  }
}

std::string PtyPeer::Answer() { return ReadLine(30000); }

bool PtyPeer::AnswerReady() {
  if (pending_.find('\n') != std::string::npos) return true;
  pollfd entry{from_peer_, POLLIN, 0};
  if (from_peer_ < 0 || poll(&entry, 1, 0) <= 0) return false;
  char buffer[4096];
  ssize_t n = read(from_peer_, buffer, sizeof buffer);
  if (n > 0) pending_.append(buffer, static_cast<std::size_t>(n));
  return pending_.find('\n') != std::string::npos;
}

}  // namespace dashtune::serial
