#include "mount_namespace.h"

#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

extern char** environ;

namespace win::testing {
namespace {

constexpr const char* kInsideVariable = "DASHTUNE_IN_PRIVATE_MOUNT_NAMESPACE";
// The child's exit status when the namespace could not be made: the test is skipped.
constexpr int kUnavailableStatus = 77;

// What failed before the test could start in the child, sent through a pipe.
struct SetupFailure {
  int step;  // index into kSteps
  int error;
};
constexpr const char* kSteps[] = {"unshare(CLONE_NEWNS)", "making every mount private", "starting the test again"};

[[noreturn]] void ReportAndExit(int fd, int step, int status) {
  const SetupFailure failure{step, errno};
  (void)!write(fd, &failure, sizeof(failure));
  _exit(status);
}

std::string OwnExecutable() {
  std::vector<char> path(4096);
  const ssize_t length = readlink("/proc/self/exe", path.data(), path.size() - 1);
  return length > 0 ? std::string(path.data(), static_cast<std::size_t>(length)) : std::string();
}

}  // namespace

NamespaceRun RunInPrivateMountNamespace() {
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
    const bool unavailable = WIFEXITED(status) && WEXITSTATUS(status) == kUnavailableStatus;
    return {unavailable ? Result::Unavailable : Result::Failed,
            unavailable ? "this machine gives no private mount namespace (" + reason + ")" : reason};
  }
  if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return {Result::Passed, {}};
  return {Result::Failed, "the test failed in its mount namespace (its output is above), status " + std::to_string(status)};
}

bool MountTmpfs(const std::string& folder) { return mount("tmpfs", folder.c_str(), "tmpfs", 0, "size=16m") == 0; }

bool BindMount(const std::string& source, const std::string& folder) {
  return mount(source.c_str(), folder.c_str(), nullptr, MS_BIND, nullptr) == 0;
}

}  // namespace win::testing
