// Programs the shell starts: posix_spawn, waitable process handles over pidfds, and a reaper for
// the children nobody holds a handle to, so that no started program is left a zombie.
#pragma once

#include "platform/core/types.h"

#include <sys/types.h>

#include <cstddef>
#include <string>
#include <vector>

namespace win {

constexpr DWORD STILL_ACTIVE = 259;

// The exit status of an ended process (a signal's number plus 128 for a killed one), STILL_ACTIVE
// while it runs; FALSE with ERROR_INVALID_HANDLE for a handle that names no process.
BOOL GetExitCodeProcess(HANDLE process, DWORD* exit_code);

namespace child_process {

// Starts `argv[0]` (a path, or a name looked up in PATH) with default signal handling and an
// empty signal mask, in `directory` unless that is empty. Answers the pid, or -1 with errno set
// (a missing program or folder included).
pid_t Spawn(const std::vector<std::string>& argv, const std::string& directory);

// Takes charge of a child just started: with `want_handle` answers a process handle, signalled
// when the child ends (closing the last handle hands the child to the reaper); otherwise the
// reaper reaps it when it ends and the answer is null.
HANDLE Adopt(pid_t pid, bool want_handle);

// Tests: children handed to the reaper that have not been reaped yet.
std::size_t UnreapedChildrenForTesting();

}  // namespace child_process
}  // namespace win
