// Events, critical sections and interlocked counters.
#pragma once

#include "platform/core/types.h"

#include <mutex>

namespace win {

struct SECURITY_ATTRIBUTES;
using LPSECURITY_ATTRIBUTES = SECURITY_ATTRIBUTES*;

// Unnamed events only: a name is refused with ERROR_INVALID_PARAMETER, since nothing here
// shares events between processes. Answers 0 on failure.
HANDLE CreateEventA(LPSECURITY_ATTRIBUTES attributes, BOOL manual_reset, BOOL initial_state, LPCSTR name);
HANDLE CreateEventW(LPSECURITY_ATTRIBUTES attributes, BOOL manual_reset, BOOL initial_state, LPCWSTR name);
BOOL SetEvent(HANDLE event);
BOOL ResetEvent(HANDLE event);

// A recursive lock: the owning thread may enter again and must leave as often as it entered.
struct CRITICAL_SECTION {
  std::recursive_mutex mutex;
};
using LPCRITICAL_SECTION = CRITICAL_SECTION*;

void InitializeCriticalSection(LPCRITICAL_SECTION section);
void DeleteCriticalSection(LPCRITICAL_SECTION section);
void EnterCriticalSection(LPCRITICAL_SECTION section);
BOOL TryEnterCriticalSection(LPCRITICAL_SECTION section);
void LeaveCriticalSection(LPCRITICAL_SECTION section);

// Atomic operations on a 32-bit counter; each answers the value the Windows call answers.
LONG InterlockedIncrement(LONG* target);                       // new value
LONG InterlockedDecrement(LONG* target);                       // new value
LONG InterlockedExchange(LONG* target, LONG value);            // old value
LONG InterlockedExchangeAdd(LONG* target, LONG value);         // old value
LONG InterlockedCompareExchange(LONG* target, LONG exchange, LONG comparand);  // old value

}  // namespace win
