#include "platform/core/sync.h"

#include "platform/core/errors.h"
#include "platform/core/handles.h"
#include "platform/core/wait.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <atomic>

namespace win {

namespace {

// An event whose eventfd is readable exactly while the event is signalled.
class EventObject final : public KernelObject, public Waitable {
 public:
  EventObject(int fd, bool manual_reset) : fd_(fd), manual_reset_(manual_reset) {}
  ~EventObject() override { close(fd_); }

  int WaitDescriptor() const override { return fd_; }
  bool IsSignalled() const override { return signalled_; }
  void Acquire() override {
    if (!manual_reset_) Clear();
  }

  void Set() {
    std::lock_guard lock(SignalMutex());
    if (signalled_) return;
    signalled_ = true;
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = write(fd_, &one, sizeof one);
  }

  void Reset() {
    std::lock_guard lock(SignalMutex());
    Clear();
  }

 private:
  void Clear() {
    if (!signalled_) return;
    signalled_ = false;
    std::uint64_t count = 0;
    [[maybe_unused]] const ssize_t got = read(fd_, &count, sizeof count);
  }

  const int fd_;
  const bool manual_reset_;
  bool signalled_ = false;  // guarded by SignalMutex()
};

HANDLE CreateEventObject(BOOL manual_reset, BOOL initial_state, bool named) {
  if (named) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  const int fd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (fd < 0) {
    SetLastError(ERROR_TOO_MANY_OPEN_FILES);
    return nullptr;
  }
  auto event = std::make_shared<EventObject>(fd, manual_reset != FALSE);
  if (initial_state) event->Set();
  return InsertHandle(std::move(event));
}

std::shared_ptr<EventObject> LookupEvent(HANDLE handle) {
  std::shared_ptr<EventObject> event = LookupHandleAs<EventObject>(handle);
  if (!event) SetLastError(ERROR_INVALID_HANDLE);
  return event;
}

std::atomic_ref<LONG> Atomic(LONG* target) { return std::atomic_ref<LONG>(*target); }

}  // namespace

HANDLE CreateEventA(LPSECURITY_ATTRIBUTES, BOOL manual_reset, BOOL initial_state, LPCSTR name) {
  return CreateEventObject(manual_reset, initial_state, name != nullptr && *name != '\0');
}

HANDLE CreateEventW(LPSECURITY_ATTRIBUTES, BOOL manual_reset, BOOL initial_state, LPCWSTR name) {
  return CreateEventObject(manual_reset, initial_state, name != nullptr && *name != u'\0');
}

BOOL SetEvent(HANDLE handle) {
  const std::shared_ptr<EventObject> event = LookupEvent(handle);
  if (!event) return FALSE;
  event->Set();
  return TRUE;
}

BOOL ResetEvent(HANDLE handle) {
  const std::shared_ptr<EventObject> event = LookupEvent(handle);
  if (!event) return FALSE;
  event->Reset();
  return TRUE;
}

void InitializeCriticalSection(LPCRITICAL_SECTION) {}
void DeleteCriticalSection(LPCRITICAL_SECTION) {}
void EnterCriticalSection(LPCRITICAL_SECTION section) { section->mutex.lock(); }
BOOL TryEnterCriticalSection(LPCRITICAL_SECTION section) { return section->mutex.try_lock() ? TRUE : FALSE; }
void LeaveCriticalSection(LPCRITICAL_SECTION section) { section->mutex.unlock(); }

LONG InterlockedIncrement(LONG* target) { return Atomic(target).fetch_add(1) + 1; }
LONG InterlockedDecrement(LONG* target) { return Atomic(target).fetch_sub(1) - 1; }
LONG InterlockedExchange(LONG* target, LONG value) { return Atomic(target).exchange(value); }
LONG InterlockedExchangeAdd(LONG* target, LONG value) { return Atomic(target).fetch_add(value); }
LONG InterlockedCompareExchange(LONG* target, LONG exchange, LONG comparand) {
  Atomic(target).compare_exchange_strong(comparand, exchange);
  return comparand;
}

}  // namespace win
