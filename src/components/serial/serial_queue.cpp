#include "components/serial/serial_queue.h"

#include <cstring>
#include <new>

#include "classlib/sysutils.h"
#include "platform/core/handles.h"
#include "platform/core/wait.h"

namespace dashtune {

TDataBuffer::TDataBuffer(std::size_t size) : TIOBuffer(size) {
  Data.reset(new (std::nothrow) std::uint8_t[size]);
  if (!Data) throw Exception("Insufficient memory to allocate I/O buffer.");
}

TLogBuffer::TLogBuffer(std::uint8_t kind, std::uint16_t code, win::DWORD time, win::DWORD value, const void* data,
                       std::size_t size)
    : TIOBuffer(size), Kind(kind), Code(code), Time(time), Value(value) {
  if (size > 0 && data != nullptr) {
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    Data.assign(bytes, bytes + size);
  }
}

TIOQueue::TIOQueue() : event_(win::CreateEventA(nullptr, win::FALSE, win::FALSE, nullptr)) {
  win::InitializeCriticalSection(&lock_);
}

TIOQueue::~TIOQueue() {
  elements_.clear();
  win::CloseHandle(event_);
  win::DeleteCriticalSection(&lock_);
}

void TIOQueue::Push(std::unique_ptr<TIOBuffer> element) {
  win::EnterCriticalSection(&lock_);
  total_size_ += element->Size;
  elements_.push_back(std::move(element));
  win::LeaveCriticalSection(&lock_);
  win::SetEvent(event_);
}

TIOBuffer* TIOQueue::Peek() {
  win::EnterCriticalSection(&lock_);
  TIOBuffer* first = nullptr;
  if (!elements_.empty() && !elements_.front()->InUse) {
    first = elements_.front().get();
    first->InUse = true;
  }
  win::LeaveCriticalSection(&lock_);
  return first;
}

void TIOQueue::Release(TIOBuffer* element) {
  win::EnterCriticalSection(&lock_);
  element->InUse = false;
  win::LeaveCriticalSection(&lock_);
}

std::unique_ptr<TIOBuffer> TIOQueue::Pop() {
  win::EnterCriticalSection(&lock_);
  std::unique_ptr<TIOBuffer> first;
  if (!elements_.empty()) {
    first = std::move(elements_.front());
    elements_.pop_front();
    total_size_ -= first->Size;
  }
  win::LeaveCriticalSection(&lock_);
  return first;
}

void TIOQueue::Clear() {
  win::EnterCriticalSection(&lock_);
  for (auto it = elements_.begin(); it != elements_.end();) {
    if ((*it)->InUse) {
      ++it;
      continue;
    }
    total_size_ -= (*it)->Size;
    it = elements_.erase(it);
  }
  win::LeaveCriticalSection(&lock_);
}

TQueueWait TIOQueue::Wait(win::DWORD milliseconds) {
  if (Count() > 0) return TQueueWait::Signaled;
  switch (win::WaitForSingleObject(event_, milliseconds)) {
    case win::WAIT_OBJECT_0:
      return TQueueWait::Signaled;
    case win::WAIT_TIMEOUT:
      return TQueueWait::Timeout;
    case win::WAIT_ABANDONED_0:
      return TQueueWait::Abandoned;
    default:
      return TQueueWait::Error;
  }
}

std::size_t TIOQueue::Count() const {
  win::EnterCriticalSection(&lock_);
  std::size_t count = elements_.size();
  win::LeaveCriticalSection(&lock_);
  return count;
}

std::size_t TIOQueue::TotalSize() const {
  win::EnterCriticalSection(&lock_);
  std::size_t total = total_size_;
  win::LeaveCriticalSection(&lock_);
  return total;
}

void TIOQueue::TrimToCount(std::size_t maxCount) {
  win::EnterCriticalSection(&lock_);
  while (elements_.size() > maxCount && !elements_.front()->InUse) {
    total_size_ -= elements_.front()->Size;
    elements_.pop_front();
  }
  win::LeaveCriticalSection(&lock_);
}

}  // namespace dashtune
