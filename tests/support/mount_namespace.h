// Runs test code in a private mount namespace, so that what it mounts is seen by it alone and goes
// away with it, whatever the test leaves behind.
#pragma once

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

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

// Code that asks the mount table (/proc/self/mountinfo shows the main thread's namespace, not
// a thread's) runs the whole test instead in a child process with a namespace of its own: the
// same executable started again for this one test. In the test process the child's result is
// the test's.
struct NamespaceRun {
  enum class Result { Inside, Passed, Failed, Unavailable };
  Result result;
  std::string reason;  // why the child failed or could not be made
};

namespace mount_namespace_detail {

inline constexpr const char* kInsideVariable = "DASHTUNE_IN_PRIVATE_MOUNT_NAMESPACE";
// The child's exit status when the namespace could not be made: the test is skipped.
inline constexpr int kUnavailableStatus = 77;

// What failed before the test could start in the child, sent through a pipe.
struct SetupFailure {
  int step;  // index into kSteps
  int error;
};
inline constexpr const char* kSteps[] = {"unshare(CLONE_NEWNS)", "making every mount private", "starting the test again"};

[[noreturn]] inline void ReportAndExit(int fd, int step, int status) {
  const SetupFailure failure{step, errno};
  (void)!write(fd, &failure, sizeof(failure));
  _exit(status);
}

inline std::string OwnExecutable() {
  std::vector<char> path(4096);
  const ssize_t length = readlink("/proc/self/exe", path.data(), path.size() - 1);
  return length > 0 ? std::string(path.data(), static_cast<std::size_t>(length)) : std::string();
}

}  // namespace mount_namespace_detail

// In the child: Inside, and the test's body goes on. In the test process: runs the current test
// in the child and answers how it went (Unavailable where the machine does not allow it).
inline NamespaceRun RunTestInPrivateMountNamespace() {
  using namespace mount_namespace_detail;
  using Result = NamespaceRun::Result;
  if (std::getenv(kInsideVariable) != nullptr) return {Result::Inside, {}};
  const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
  const std::string executable = OwnExecutable();
  const std::string filter = std::string("--gtest_filter=") + test->test_suite_name() + "." + test->name();
  std::vector<std::string> environment{std::string(kInsideVariable) + "=1"};
  for (char** entry = environ; *entry != nullptr; ++entry) environment.emplace_back(*entry);
  // Everything the child needs is made before the fork: after it only system calls run.
  std::vector<char*> argv{const_cast<char*>(executable.c_str()), const_cast<char*>(filter.c_str()), nullptr};
  std::vector<char*> envp;
  for (std::string& entry : environment) envp.push_back(entry.data());
  envp.push_back(nullptr);

  int report[2];
  if (pipe2(report, O_CLOEXEC) != 0) return {Result::Failed, "no pipe"};
  const pid_t child = fork();
  if (child == 0) {
    close(report[0]);
    if (unshare(CLONE_NEWNS) != 0) ReportAndExit(report[1], 0, kUnavailableStatus);
    if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) ReportAndExit(report[1], 1, kUnavailableStatus);
    execve(argv[0], argv.data(), envp.data());
    ReportAndExit(report[1], 2, 127);
  }
  close(report[1]);
  if (child < 0) {
    close(report[0]);
    return {Result::Failed, "no child process"};
  }
  SetupFailure failure{-1, 0};
  const bool failed_early = read(report[0], &failure, sizeof(failure)) == static_cast<ssize_t>(sizeof(failure));
  close(report[0]);
  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  if (failed_early) {
    const std::string reason = std::string(kSteps[failure.step]) + ": " + std::strerror(failure.error);
    if (WIFEXITED(status) && WEXITSTATUS(status) == kUnavailableStatus)
      return {Result::Unavailable, "no private mount namespace here (" + reason + ")"};
    return {Result::Failed, reason};
  }
  if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return {Result::Passed, {}};
  return {Result::Failed, "the test failed in its mount namespace (its output is above), status " + std::to_string(status)};
}

}  // namespace dashtune::testing

// The first statement of a test run by RunTestInPrivateMountNamespace: the rest of the body runs
// in the child only.
#define DASHTUNE_RUN_IN_PRIVATE_MOUNT_NAMESPACE()                                                       \
  if (const ::dashtune::testing::NamespaceRun run = ::dashtune::testing::RunTestInPrivateMountNamespace(); \
      run.result != ::dashtune::testing::NamespaceRun::Result::Inside) {                                  \
    if (run.result == ::dashtune::testing::NamespaceRun::Result::Unavailable) GTEST_SKIP() << run.reason; \
    ASSERT_EQ(run.result, ::dashtune::testing::NamespaceRun::Result::Passed) << run.reason;             \
    return;                                                                                               \
  }
