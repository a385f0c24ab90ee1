#include "platform/core/process.h"

#include <sys/syscall.h>
#include <unistd.h>

namespace win {

DWORD GetCurrentProcessId() { return static_cast<DWORD>(getpid()); }

DWORD GetCurrentThreadId() {
  thread_local const DWORD id = static_cast<DWORD>(syscall(SYS_gettid));
  return id;
}

}  // namespace win
