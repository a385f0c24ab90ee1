// Runs test code in a private mount namespace, so that what it mounts is seen by it alone and goes
// away with it, whatever the test leaves behind.
#pragma once

#include <sched.h>
#include <sys/mount.h>

#include <cerrno>
#include <cstring>
#include <functional>
#include <string>
#include <thread>

namespace dashtune::testing {

// Runs `body` on a thread of its own that has left the process's mount namespace (only a thread
// that leaves sees its mounts; the namespace ends with the thread). `body` answers why it could
// not do its work ("" when it could). Answers why nothing ran or `body`'s reason: the caller
// skips the test with it where the machine does not allow mounting.
inline std::string InPrivateMountNamespace(const std::function<std::string()>& body) {
  std::string reason;
  std::thread runner([&] {
    if (unshare(CLONE_NEWNS) != 0) {
      reason = std::string("no private mount namespace here: ") + std::strerror(errno);
      return;
    }
    // Mounts made here never reach the namespace the thread left.
    if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
      reason = std::string("mounts cannot be made private here: ") + std::strerror(errno);
      return;
    }
    reason = body();
  });
  runner.join();
  return reason;
}

// mount(2) as a reason for InPrivateMountNamespace: "" when it worked.
inline std::string Mount(const std::string& source, const std::string& target, const char* type, unsigned long flags,
                         const char* options = nullptr) {
  if (mount(source.c_str(), target.c_str(), type, flags, options) == 0) return {};
  return "cannot mount " + source + " on " + target + ": " + std::strerror(errno);
}

}  // namespace dashtune::testing
