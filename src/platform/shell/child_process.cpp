#include "platform/shell/child_process.h"

#include "platform/core/errors.h"
#include "platform/core/handles.h"
#include "platform/core/wait.h"

#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/eventfd.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <mutex>
#include <optional>
#include <thread>

extern char** environ;

namespace win::child_process {
namespace {

constexpr DWORD kSignalledExitBase = 128;

// A descriptor that becomes readable when the process ends (the C library has no wrapper yet).
int OpenPidfd(pid_t pid) { return static_cast<int>(syscall(SYS_pidfd_open, pid, 0)); }

// The status of an ended child (reaping it), or nothing while it runs.
std::optional<DWORD> ReapIfEnded(int pidfd) {
  siginfo_t info{};
  if (waitid(P_PIDFD, static_cast<id_t>(pidfd), &info, WEXITED | WNOHANG) != 0 || info.si_pid == 0) return std::nullopt;
  if (info.si_code == CLD_EXITED) return static_cast<DWORD>(info.si_status);
  return kSignalledExitBase + static_cast<DWORD>(info.si_status);
}

bool IsReadable(int fd) {
  pollfd entry{fd, POLLIN, 0};
  return poll(&entry, 1, 0) > 0 && (entry.revents & (POLLIN | POLLHUP)) != 0;
}

// Reaps the children it is given as they end, on a thread of its own.
class Reaper {
 public:
  Reaper() : wake_fd_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}
  ~Reaper() {
    {
      std::lock_guard lock(mutex_);
      stopping_ = true;
    }
    Wake();
    if (thread_.joinable()) thread_.join();
    // Children still running when the process ends are adopted by the system.
    for (const int pidfd : pidfds_) {
      ReapIfEnded(pidfd);
      close(pidfd);
    }
    close(wake_fd_);
  }

  void Take(pid_t pid) {
    const int pidfd = OpenPidfd(pid);
    if (pidfd < 0) return;  // not our child (or already reaped): nothing to wait for
    if (ReapIfEnded(pidfd)) {
      close(pidfd);
      return;
    }
    std::lock_guard lock(mutex_);
    pidfds_.push_back(pidfd);
    if (!thread_.joinable()) thread_ = std::thread([this] { Run(); });
    Wake();
  }

  std::size_t Count() {
    std::lock_guard lock(mutex_);
    return pidfds_.size();
  }

 private:
  void Wake() {
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = write(wake_fd_, &one, sizeof(one));
  }

  void Run() {
    for (;;) {
      std::vector<pollfd> entries{{wake_fd_, POLLIN, 0}};
      {
        std::lock_guard lock(mutex_);
        if (stopping_) return;
        for (const int pidfd : pidfds_) entries.push_back({pidfd, POLLIN, 0});
      }
      if (poll(entries.data(), entries.size(), -1) < 0 && errno != EINTR) return;
      std::uint64_t drained = 0;
      [[maybe_unused]] const ssize_t read_bytes = read(wake_fd_, &drained, sizeof(drained));
      std::lock_guard lock(mutex_);
      std::erase_if(pidfds_, [](int pidfd) {
        if (!ReapIfEnded(pidfd)) return false;
        close(pidfd);
        return true;
      });
    }
  }

  const int wake_fd_;
  std::mutex mutex_;
  std::vector<int> pidfds_;  // guarded by mutex_
  bool stopping_ = false;    // guarded by mutex_
  std::thread thread_;
};

Reaper& TheReaper() {
  static Reaper reaper;
  return reaper;
}

class ProcessObject : public KernelObject, public Waitable {
 public:
  ProcessObject(pid_t pid, int pidfd) : pid_(pid), pidfd_(pidfd) {}
  ~ProcessObject() override { close(pidfd_); }

  int WaitDescriptor() const override { return pidfd_; }
  bool IsSignalled() const override { return IsReadable(pidfd_); }
  void Acquire() override {}

  DWORD ExitCode() {
    std::lock_guard lock(mutex_);
    if (!exit_code_) exit_code_ = ReapIfEnded(pidfd_);
    return exit_code_.value_or(STILL_ACTIVE);
  }

  void HandleClosed() override {
    std::lock_guard lock(mutex_);
    if (!exit_code_) exit_code_ = ReapIfEnded(pidfd_);
    if (!exit_code_) TheReaper().Take(pid_);
  }

 private:
  const pid_t pid_;
  const int pidfd_;
  std::mutex mutex_;
  std::optional<DWORD> exit_code_;  // set once reaped; guarded by mutex_
};

}  // namespace

pid_t Spawn(const std::vector<std::string>& argv, const std::string& directory) {
  if (argv.empty() || argv.front().empty()) {
    errno = ENOENT;
    return -1;
  }
  std::vector<char*> arguments;
  for (const std::string& argument : argv) arguments.push_back(const_cast<char*>(argument.c_str()));
  arguments.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attributes;
  posix_spawn_file_actions_init(&actions);
  posix_spawnattr_init(&attributes);
  if (!directory.empty()) posix_spawn_file_actions_addchdir_np(&actions, directory.c_str());
  sigset_t none;
  sigset_t all;
  sigemptyset(&none);
  sigfillset(&all);
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setsigdefault(&attributes, &all);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  pid_t pid = -1;
  const int result = posix_spawnp(&pid, arguments.front(), &actions, &attributes, arguments.data(), environ);
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
  if (result != 0) {
    errno = result;
    return -1;
  }
  return pid;
}

HANDLE Adopt(pid_t pid, bool want_handle) {
  if (!want_handle) {
    TheReaper().Take(pid);
    return nullptr;
  }
  const int pidfd = OpenPidfd(pid);
  if (pidfd < 0) {
    TheReaper().Take(pid);
    return nullptr;
  }
  return InsertHandle(std::make_shared<ProcessObject>(pid, pidfd));
}

std::size_t UnreapedChildrenForTesting() { return TheReaper().Count(); }

}  // namespace win::child_process

namespace win {

BOOL GetExitCodeProcess(HANDLE process, DWORD* exit_code) {
  const auto object = LookupHandleAs<child_process::ProcessObject>(process);
  if (object == nullptr || exit_code == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  *exit_code = object->ExitCode();
  return TRUE;
}

}  // namespace win
