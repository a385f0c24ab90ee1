// Identity of the calling process and thread.
#pragma once

#include "platform/core/types.h"

namespace win {

DWORD GetCurrentProcessId();
// The kernel's id of the calling thread: unique among live threads of the system, never 0.
DWORD GetCurrentThreadId();
// The pseudo handle that stands for "the calling thread" in every thread: always the same value.
HANDLE GetCurrentThread();

}  // namespace win
