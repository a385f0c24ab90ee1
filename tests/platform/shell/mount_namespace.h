// Tests that mount file systems run in a child process with a private mount namespace: its
// mounts are seen by no other process and vanish with it. The test process starts the child
// (the same executable, filtered to the one test) and takes its result.
#pragma once

#include <gtest/gtest.h>

#include <string>

namespace win::testing {

struct NamespaceRun {
  enum class Result { Inside, Passed, Failed, Unavailable };
  Result result;
  std::string reason;  // why the child failed or could not be made
};

// In the child: Inside, and the test's body runs. In the test process: runs the current test in
// the child and answers how it went (Unavailable where the machine does not allow it).
NamespaceRun RunInPrivateMountNamespace();

// Mounts a new tmpfs on `folder`, or `source` there as a bind mount; false with errno set.
bool MountTmpfs(const std::string& folder);
bool BindMount(const std::string& source, const std::string& folder);

}  // namespace win::testing

// The first statement of such a test: the rest of the body runs in the child only.
#define DASHTUNE_RUN_IN_PRIVATE_MOUNT_NAMESPACE()                                                \
  if (const ::win::testing::NamespaceRun run = ::win::testing::RunInPrivateMountNamespace();    \
      run.result != ::win::testing::NamespaceRun::Result::Inside) {                              \
    if (run.result == ::win::testing::NamespaceRun::Result::Unavailable) GTEST_SKIP() << run.reason; \
    ASSERT_EQ(run.result, ::win::testing::NamespaceRun::Result::Passed) << run.reason;           \
    return;                                                                                      \
  }
