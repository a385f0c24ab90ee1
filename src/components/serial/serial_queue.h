// The queues between the dispatcher's threads: the input queue that the read and status
// threads fill and the dispatch thread drains, and the log queue.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "platform/core/sync.h"
#include "platform/core/types.h"

namespace dashtune {

class TIOBuffer {
 public:
  explicit TIOBuffer(std::size_t size) : Size(size) {}
  virtual ~TIOBuffer() = default;

  bool InUse = false;  // set while a reader holds the element
  std::size_t Size;
};

class TDataBuffer : public TIOBuffer {
 public:
  // Raises "Insufficient memory to allocate I/O buffer." when the data cannot be allocated.
  explicit TDataBuffer(std::size_t size);

  std::size_t Unread() const { return BytesUsed - BytesRead.load(std::memory_order_relaxed); }

  std::unique_ptr<std::uint8_t[]> Data;
  std::size_t BytesUsed = 0;  // fixed before the buffer is queued
  // Advanced by the reader that holds the buffer while other threads count the queue's unread bytes.
  std::atomic<std::size_t> BytesRead = 0;
};

class TStatusBuffer : public TIOBuffer {
 public:
  explicit TStatusBuffer(win::DWORD mask) : TIOBuffer(sizeof(win::DWORD)), EventMask(mask) {}

  win::DWORD EventMask;
};

class TLogBuffer : public TIOBuffer {
 public:
  TLogBuffer(std::uint8_t kind, std::uint16_t code, win::DWORD time, win::DWORD value, const void* data,
             std::size_t size);

  std::uint8_t Kind;
  std::uint16_t Code;
  win::DWORD Time;  // milliseconds since the port was opened
  win::DWORD Value;
  std::vector<std::uint8_t> Data;
};

// Wait results of TIOQueue::Wait.
enum class TQueueWait { Signaled = 0, Timeout = 1, Abandoned = 2, Error = 3 };

// A list of elements under its own lock, with an auto-reset event set by every push and the
// total of the sizes of the queued elements.
class TIOQueue {
 public:
  TIOQueue();
  ~TIOQueue();
  TIOQueue(const TIOQueue&) = delete;
  TIOQueue& operator=(const TIOQueue&) = delete;

  void Push(std::unique_ptr<TIOBuffer> element);
  // The first element, marked in use, when it exists and no other reader holds it.
  TIOBuffer* Peek();
  // Clears the in-use mark of an element that Peek returned and that stays queued.
  void Release(TIOBuffer* element);
  std::unique_ptr<TIOBuffer> Pop();
  // Frees every element that no reader holds.
  void Clear();
  TQueueWait Wait(win::DWORD milliseconds);

  std::size_t Count() const;
  // The sum of the queued elements' sizes.
  std::size_t TotalSize() const;
  // Removes the oldest element while more than maxCount are queued (the log's capacity rule).
  void TrimToCount(std::size_t maxCount);
  // Runs visit on every element, oldest first, under the lock.
  template <class Visit>
  void ForEach(Visit visit) const {
    ForEachWhile([&visit](const TIOBuffer& element) {
      visit(element);
      return true;
    });
  }
  // Runs visit on the elements, oldest first, under the lock, until it answers false.
  template <class Visit>
  void ForEachWhile(Visit visit) const {
    win::EnterCriticalSection(&lock_);
    for (const auto& element : elements_) {
      if (!visit(*element)) break;
    }
    win::LeaveCriticalSection(&lock_);
  }

 private:
  mutable win::CRITICAL_SECTION lock_;
  win::HANDLE event_;
  std::deque<std::unique_ptr<TIOBuffer>> elements_;
  std::size_t total_size_ = 0;
};

}  // namespace dashtune
