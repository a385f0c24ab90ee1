#include "platform/core/wait.h"

#include "platform/core/errors.h"
#include "platform/core/handles.h"

#include <poll.h>
#include <sched.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <stdexcept>
#include <thread>
#include <vector>

namespace win {

namespace {

// The threads currently blocked in WaitUntil, so that a clock change can wake them.
struct WaiterRegistry {
  std::mutex mutex;
  std::condition_variable changed;
  std::vector<ThreadWaker*> waiters;
};

// Never destroyed: threads the program did not stop (a media engine's, one ending the process)
// may still wait after static destructors have run.
WaiterRegistry& Registry() {
  static WaiterRegistry& registry = *new WaiterRegistry;
  return registry;
}

class WaiterRegistration {
 public:
  explicit WaiterRegistration(ThreadWaker* waker) : waker_(waker) {
    WaiterRegistry& registry = Registry();
    std::lock_guard lock(registry.mutex);
    registry.waiters.push_back(waker_);
    registry.changed.notify_all();
  }
  ~WaiterRegistration() {
    WaiterRegistry& registry = Registry();
    std::lock_guard lock(registry.mutex);
    auto found = std::find(registry.waiters.begin(), registry.waiters.end(), waker_);
    if (found != registry.waiters.end()) registry.waiters.erase(found);
    registry.changed.notify_all();
  }
  WaiterRegistration(const WaiterRegistration&) = delete;
  WaiterRegistration& operator=(const WaiterRegistration&) = delete;

 private:
  ThreadWaker* waker_;
};

// Waits for one of the descriptors to become readable, for at most timeout_ms (-1: no limit).
void PollReadable(std::span<const int> descriptors, int timeout_ms) {
  std::vector<pollfd> polled;
  polled.reserve(descriptors.size());
  for (const int fd : descriptors) polled.push_back(pollfd{fd, POLLIN, 0});
  while (poll(polled.data(), polled.size(), timeout_ms) < 0 && errno == EINTR) {
  }
}

}  // namespace

std::mutex& SignalMutex() {
  static std::mutex mutex;
  return mutex;
}

ThreadWaker::ThreadWaker() : fd_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
  if (fd_ < 0) throw std::runtime_error("eventfd failed for a thread waker");
}

ThreadWaker::~ThreadWaker() { close(fd_); }

void ThreadWaker::Wake() {
  const std::uint64_t one = 1;
  // A full counter is still readable, which is all a wake needs.
  [[maybe_unused]] const ssize_t written = write(fd_, &one, sizeof one);
}

void ThreadWaker::Drain() {
  std::uint64_t count = 0;
  [[maybe_unused]] const ssize_t got = read(fd_, &count, sizeof count);
}

std::shared_ptr<ThreadWaker> CurrentThreadWaker() {
  thread_local std::shared_ptr<ThreadWaker> waker = std::make_shared<ThreadWaker>();
  return waker;
}

namespace clock {

void WakeAllWaiters() {
  WaiterRegistry& registry = Registry();
  std::lock_guard lock(registry.mutex);
  for (ThreadWaker* waker : registry.waiters) waker->Wake();
}

}  // namespace clock

std::size_t ScopedFakeClock::WaitingThreads() {
  WaiterRegistry& registry = Registry();
  std::lock_guard lock(registry.mutex);
  return registry.waiters.size();
}

bool ScopedFakeClock::AwaitWaitingThreads(std::size_t count, std::chrono::milliseconds real_timeout) {
  WaiterRegistry& registry = Registry();
  std::unique_lock lock(registry.mutex);
  return registry.changed.wait_for(lock, real_timeout, [&] { return registry.waiters.size() >= count; });
}

bool WaitUntil(const std::function<bool()>& ready, std::span<const int> descriptors,
               clock::Deadline deadline) {
  const std::shared_ptr<ThreadWaker> waker = CurrentThreadWaker();
  std::vector<int> polled(descriptors.begin(), descriptors.end());
  polled.push_back(waker->Descriptor());
  WaiterRegistration registration(waker.get());
  for (;;) {
    waker->Drain();
    if (ready()) return true;
    if (deadline.Passed()) return false;
    PollReadable(polled, deadline.PollTimeoutMs());
  }
}

namespace {

// Under SignalMutex: takes what the wait asks for and answers the index taken, or -1.
int TryTake(std::span<Waitable* const> objects, bool wait_all) {
  std::lock_guard lock(SignalMutex());
  if (wait_all) {
    for (Waitable* object : objects)
      if (!object->IsSignalled()) return -1;
    for (Waitable* object : objects) object->Acquire();
    return 0;
  }
  for (std::size_t i = 0; i < objects.size(); ++i) {
    if (objects[i]->IsSignalled()) {
      objects[i]->Acquire();
      return static_cast<int>(i);
    }
  }
  return -1;
}

// The descriptors worth polling: for a wait for all, only those of unsignalled objects, so that a
// signalled one does not keep the poll spinning.
std::vector<int> DescriptorsToPoll(std::span<Waitable* const> objects, bool wait_all,
                                   std::span<const int> extra) {
  std::vector<int> fds(extra.begin(), extra.end());
  std::lock_guard lock(SignalMutex());
  for (Waitable* object : objects)
    if (!wait_all || !object->IsSignalled()) fds.push_back(object->WaitDescriptor());
  return fds;
}

}  // namespace

std::optional<WaitableObjects> LookupWaitables(std::span<const HANDLE> handles) {
  WaitableObjects found;
  for (const HANDLE handle : handles) {
    std::shared_ptr<Waitable> object = LookupHandleAs<Waitable>(handle);
    if (!object) {
      SetLastError(ERROR_INVALID_HANDLE);
      return std::nullopt;
    }
    found.objects.push_back(object.get());
    found.held.push_back(std::move(object));
  }
  return found;
}

DWORD WaitForObjects(std::span<Waitable* const> objects, bool wait_all, clock::Deadline deadline,
                     const std::function<bool()>& interrupted, std::span<const int> extra_descriptors) {
  const std::shared_ptr<ThreadWaker> waker = CurrentThreadWaker();
  WaiterRegistration registration(waker.get());
  for (;;) {
    waker->Drain();
    if (interrupted && interrupted()) return WAIT_OBJECT_0 + static_cast<DWORD>(objects.size());
    const int taken = TryTake(objects, wait_all);
    if (taken >= 0) return WAIT_OBJECT_0 + static_cast<DWORD>(taken);
    if (deadline.Passed()) return WAIT_TIMEOUT;
    std::vector<int> fds = DescriptorsToPoll(objects, wait_all, extra_descriptors);
    fds.push_back(waker->Descriptor());
    PollReadable(fds, deadline.PollTimeoutMs());
  }
}

DWORD WaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL wait_all, DWORD milliseconds) {
  if (count == 0 || count > MAXIMUM_WAIT_OBJECTS || handles == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return WAIT_FAILED;
  }
  const std::optional<WaitableObjects> waitables = LookupWaitables(std::span(handles, count));
  if (!waitables) return WAIT_FAILED;
  return WaitForObjects(waitables->objects, wait_all != FALSE, clock::Deadline::After(milliseconds), {}, {});
}

DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds) {
  return WaitForMultipleObjects(1, &handle, FALSE, milliseconds);
}

void Sleep(DWORD milliseconds) {
  if (milliseconds == 0) {
    sched_yield();
    return;
  }
  WaitUntil([] { return false; }, {}, clock::Deadline::After(milliseconds));
}

}  // namespace win
