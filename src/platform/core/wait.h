// Waiting: the waitable-object interface, the per-thread waker and the waits built on them.
// Every blocking wait of the platform layer (object waits, Sleep, message waits, cross-thread
// sends) goes through WaitUntil, so all of them follow the one clock.
#pragma once

#include "platform/core/clock.h"
#include "platform/core/types.h"

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <vector>

namespace win {

constexpr DWORD WAIT_OBJECT_0 = 0;
constexpr DWORD WAIT_ABANDONED_0 = 0x80;
constexpr DWORD WAIT_TIMEOUT = 258;
constexpr DWORD WAIT_FAILED = 0xFFFFFFFF;
constexpr DWORD MAXIMUM_WAIT_OBJECTS = 64;

// An object that a wait function can wait on. Its descriptor must be readable while the object
// is signalled (it may also be readable spuriously, but not persistently while unsignalled).
// IsSignalled and Acquire are called with SignalMutex() held, so that a wait for all objects
// takes them all at once.
class Waitable {
 public:
  virtual ~Waitable() = default;
  virtual int WaitDescriptor() const = 0;
  virtual bool IsSignalled() const = 0;
  // Takes the signal of a signalled object (an auto-reset object resets itself).
  virtual void Acquire() = 0;
};

// Guards the signal state of every waitable object.
std::mutex& SignalMutex();

// One eventfd per thread: whatever the thread may be waiting for (a posted message, a reply, a
// clock change) wakes it through this.
class ThreadWaker {
 public:
  ThreadWaker();
  ~ThreadWaker();
  ThreadWaker(const ThreadWaker&) = delete;
  ThreadWaker& operator=(const ThreadWaker&) = delete;

  void Wake();
  void Drain();
  int Descriptor() const { return fd_; }

 private:
  int fd_;
};

// The calling thread's waker (made on first use, kept alive by whoever holds it).
std::shared_ptr<ThreadWaker> CurrentThreadWaker();

// Blocks until ready() answers true (true), or the deadline passes (false). ready() is evaluated
// first and again after every wake: a readable descriptor, the thread's waker, a clock change.
// ready() must test its condition after any work it does, since that work may consume wakes.
bool WaitUntil(const std::function<bool()>& ready, std::span<const int> descriptors,
               clock::Deadline deadline);

DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds);
DWORD WaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL wait_all, DWORD milliseconds);

// Handles looked up as waitable objects: `held` keeps them alive while a wait uses `objects`.
struct WaitableObjects {
  std::vector<std::shared_ptr<Waitable>> held;
  std::vector<Waitable*> objects;
};

// Looks up every handle; one that names no waitable object sets ERROR_INVALID_HANDLE and gives
// nothing.
std::optional<WaitableObjects> LookupWaitables(std::span<const HANDLE> handles);

// Waits on already looked-up objects; the message layer builds MsgWaitForMultipleObjects on this.
// `interrupted` (may be empty) is checked like an extra object; when it answers true the result
// is WAIT_OBJECT_0 + objects.size().
DWORD WaitForObjects(std::span<Waitable* const> objects, bool wait_all, clock::Deadline deadline,
                     const std::function<bool()>& interrupted, std::span<const int> extra_descriptors);

// Sleep(0) yields the processor; Sleep(INFINITE) never returns.
void Sleep(DWORD milliseconds);

}  // namespace win
