// The kernel handle table. Every kernel object (event, thread, file, comm device, mixer...) is an
// entry here; areas register their own kinds by deriving from KernelObject. Handle values are
// never reused, so a stale handle finds nothing instead of someone else's object.
#pragma once

#include "platform/core/types.h"
#include "platform/core/unique_handle.h"

#include <memory>

namespace win {

class KernelObject {
 public:
  virtual ~KernelObject() = default;
  // Called once when the last handle to the object is closed. The object itself lives on while
  // a call that looked it up still holds it (a thread waiting on it, for example).
  virtual void HandleClosed() {}
};

// Enters the object and answers its new handle; never 0 and never INVALID_HANDLE_VALUE.
HANDLE InsertHandle(std::shared_ptr<KernelObject> object);

// The object behind a handle, or null for a closed, unknown or invalid handle.
std::shared_ptr<KernelObject> LookupHandle(HANDLE handle);

template <class T>
std::shared_ptr<T> LookupHandleAs(HANDLE handle) {
  return std::dynamic_pointer_cast<T>(LookupHandle(handle));
}

// Removes the handle; FALSE with ERROR_INVALID_HANDLE when it names no object.
BOOL CloseHandle(HANDLE handle);

// Closes kernel handles; null and INVALID_HANDLE_VALUE own nothing.
struct KernelHandleTraits {
  static bool Owns(HANDLE handle) { return handle != nullptr && handle != INVALID_HANDLE_VALUE; }
  static void Release(HANDLE handle) { CloseHandle(handle); }
};

// Owns one kernel handle, closed when the owner ends or takes another. Movable, not copyable.
using ScopedHandle = UniqueHandle<HANDLE, KernelHandleTraits>;

}  // namespace win
