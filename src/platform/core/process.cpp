#include "platform/core/process.h"

#include <sys/syscall.h>
#include <unistd.h>

namespace win {

DWORD GetCurrentProcessId() { return static_cast<DWORD>(getpid()); }

DWORD GetCurrentThreadId() {
  thread_local const DWORD id = static_cast<DWORD>(syscall(SYS_gettid));
  return id;
}

HANDLE GetCurrentThread() { return reinterpret_cast<HANDLE>(static_cast<INT_PTR>(-2)); }

}  // namespace win
