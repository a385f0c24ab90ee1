#include "components/serial/serial_win32.h"

#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

#include "classlib/sysutils.h"
#include "components/serial/serial_errors.h"
#include "components/serial/serial_lock.h"
#include "platform/core/errors.h"
#include "platform/core/handles.h"
#include "platform/core/wait.h"

namespace dashtune {
namespace {

using namespace serial;

constexpr std::size_t kDataBufferSize = 256;
// The input queue holds at most this much; beyond it the read thread leaves the bytes to the
// terminal's own buffer and flow control until the dispatch thread has taken some, as a UART
// does when nobody reads it.
constexpr std::size_t kInputQueueLimit = 1 << 20;
constexpr win::DWORD kReadPollMs = 50;
constexpr win::DWORD kOverlappedStepMs = 100;
constexpr win::DWORD kThreadAckMs = 3000;
constexpr win::DWORD kFlushAckMs = 5000;
constexpr win::DWORD kStatusMask = win::EV_RXCHAR | win::EV_CTS | win::EV_DSR | win::EV_RLSD | win::EV_BREAK |
                                   win::EV_ERR | win::EV_RING;
constexpr win::DWORD kStatusEvents = 0x21F8;
constexpr win::DWORD kTrailingRingEvent = 0x2000;
constexpr win::DWORD kNoStatusEvent = 0;

// A manual-reset event for one thread's overlapped operations.
class OverlappedEvent {
 public:
  OverlappedEvent() { overlapped.hEvent = win::CreateEventA(nullptr, win::TRUE, win::FALSE, nullptr); }
  ~OverlappedEvent() {
    if (overlapped.hEvent != nullptr) win::CloseHandle(overlapped.hEvent);
  }
  OverlappedEvent(const OverlappedEvent&) = delete;
  OverlappedEvent& operator=(const OverlappedEvent&) = delete;

  win::OVERLAPPED overlapped;
};

}  // namespace

TSerWin32Dispatcher::TSerWin32Dispatcher(TComponent* owner)
    : TSerBaseDispatcher(owner), read_wake_(win::CreateEventA(nullptr, win::FALSE, win::FALSE, nullptr)) {}

TSerWin32Dispatcher::~TSerWin32Dispatcher() {
  stop_requested_ = true;
  kill_threads_ = true;
  CloseCom();
  StopDispatchThread(36);
  ReleaseBuffers();
  if (read_wake_ != nullptr) win::CloseHandle(read_wake_);
}

win::HANDLE TSerWin32Dispatcher::OpenDevice(const std::string& path) {
  return win::CreateFileA(path.c_str(), win::GENERIC_READ | win::GENERIC_WRITE, 0, nullptr, win::OPEN_EXISTING,
                          win::FILE_ATTRIBUTE_NORMAL | win::FILE_FLAG_OVERLAPPED, nullptr);
}

int TSerWin32Dispatcher::OpenCom(const std::string& path, int, int) {
  com_handle_ = OpenDevice(path);
  return com_handle_ == win::INVALID_HANDLE_VALUE || com_handle_ == nullptr ? -1 : 0;
}

int TSerWin32Dispatcher::EscapeComFunction(int function) {
  win::EscapeCommFunction(com_handle_, static_cast<win::DWORD>(function));
  return 0;
}

int TSerWin32Dispatcher::GetComError(win::COMSTAT& status) {
  win::DWORD errors = 0;
  win::ClearCommError(com_handle_, &errors, &status);
  status.cbOutQue = static_cast<win::DWORD>(OutBufUsed());
  return static_cast<int>(errors);
}

int TSerWin32Dispatcher::GetComState(win::DCB& dcb) { return win::GetCommState(com_handle_, &dcb) ? 0 : -1; }

int TSerWin32Dispatcher::SetComState(win::DCB& dcb) {
  return win::SetCommState(com_handle_, &dcb) ? 0 : -static_cast<int>(win::GetLastError());
}

int TSerWin32Dispatcher::SetupCom(int inSize, int outSize) {
  return win::SetupComm(com_handle_, static_cast<win::DWORD>(inSize), static_cast<win::DWORD>(outSize)) ? 0 : -1;
}

win::DWORD TSerWin32Dispatcher::ReadModemStatus() {
  win::DWORD status = 0;
  win::GetCommModemStatus(com_handle_, &status);
  return status;
}

int TSerWin32Dispatcher::ReadCom(std::uint8_t* buffer, int count) {
  int copied = 0;
  while (copied < count) {
    TIOBuffer* first = input_queue_.Peek();
    if (first == nullptr) break;
    auto* data = dynamic_cast<TDataBuffer*>(first);
    if (data == nullptr) {
      input_queue_.Release(first);
      break;
    }
    std::size_t take = std::min(data->Unread(), static_cast<std::size_t>(count - copied));
    std::memcpy(buffer + copied, data->Data.get() + data->BytesRead.load(std::memory_order_relaxed), take);
    data->BytesRead.fetch_add(take, std::memory_order_relaxed);
    copied += static_cast<int>(take);
    if (data->Unread() == 0) {
      input_queue_.Pop();
      if (read_held_ && input_queue_.TotalSize() <= kInputQueueLimit / 2) SignalEvent(read_wake_);
    } else {
      input_queue_.Release(first);
    }
  }
  return copied;
}

int TSerWin32Dispatcher::InQueueCount() {
  // The count stops at what the dispatch ring can take at once, so that a long queue behind a
  // slow reader costs no more to count than a short one.
  std::size_t waiting = 0;
  input_queue_.ForEachWhile([&waiting](const TIOBuffer& element) {
    const auto* data = dynamic_cast<const TDataBuffer*>(&element);
    if (data == nullptr) return false;
    waiting += data->Unread();
    return waiting < kDispatchBufferSize;
  });
  return static_cast<int>(std::min(waiting, kDispatchBufferSize));
}

int TSerWin32Dispatcher::OutputRingUsedLocked() const {
  std::size_t size = output_.bytes.size();
  if (output_.full) return static_cast<int>(size);
  if (output_.head > output_.tail) return static_cast<int>(output_.head - output_.tail);
  if (output_.head < output_.tail) return static_cast<int>(size - output_.tail + output_.head);
  return 0;
}

int TSerWin32Dispatcher::OutBufUsed() {
  Locked output(output_.lock);
  return OutputRingUsedLocked() + static_cast<int>(in_flight_.load());
}

int TSerWin32Dispatcher::WriteCom(const std::uint8_t* bytes, int count) {
  {
    Locked output(output_.lock);
    std::size_t size = output_.bytes.size();
    auto length = static_cast<std::size_t>(count);
    if (size == 0 || length > size - static_cast<std::size_t>(OutputRingUsedLocked())) return 0;
    std::size_t first = std::min(length, size - output_.head);
    std::memcpy(output_.bytes.data() + output_.head, bytes, first);
    std::memcpy(output_.bytes.data(), bytes + first, length - first);
    output_.head = (output_.head + length) % size;
    if (length > 0 && output_.head == output_.tail) output_.full = true;
  }
  SignalEvent(output_event_);
  return count;
}

int TSerWin32Dispatcher::FlushCom(int queue) {
  if (queue == 0) {
    if (!write_thread_.joinable()) return 0;
    {
      Locked output(output_.lock);
      output_.head = output_.tail = 0;
      output_.full = false;
    }
    win::BOOL purged = win::PurgeComm(com_handle_, win::PURGE_TXABORT | win::PURGE_TXCLEAR);
    SignalEvent(flush_event_);
    // A write thread that has ended (after a device error) acknowledges nothing.
    if (!kill_threads_ && thread_ack_event_ != nullptr) win::WaitForSingleObject(thread_ack_event_, kFlushAckMs);
    return purged ? 0 : -1;
  }
  win::BOOL purged = win::PurgeComm(com_handle_, win::PURGE_RXABORT | win::PURGE_RXCLEAR);
  input_queue_.Clear();
  return purged ? 0 : -1;
}

void TSerWin32Dispatcher::StartThread(std::thread& thread, void (TSerWin32Dispatcher::*body)()) {
  thread = std::thread(body, this);
  win::WaitForSingleObject(thread_ack_event_, kThreadAckMs);
}

void TSerWin32Dispatcher::StartDispatcher() {
  {
    Locked state(state_.lock);
    if (threads_active_) throw Exception("Dispatcher already started.");
    threads_active_ = true;
    kill_threads_ = false;
    stop_requested_ = false;
  }
  thread_error_ = 0;
  StartThread(read_thread_, &TSerWin32Dispatcher::ReadThreadMain);
  StartDispatchThread();
  win::WaitForSingleObject(thread_ack_event_, kThreadAckMs);
  StartThread(write_thread_, &TSerWin32Dispatcher::WriteThreadMain);
  StartThread(status_thread_, &TSerWin32Dispatcher::StatusThreadMain);
}

void TSerWin32Dispatcher::StopDispatcher() {
  CloseCom();
  StopDispatchThread(36);
  CloseEvents();
}

void TSerWin32Dispatcher::JoinIOThreads() {
  kill_threads_ = true;
  if (status_thread_.joinable()) {
    win::SetCommMask(com_handle_, 0);
    status_thread_.join();
  }
  if (write_thread_.joinable()) {
    SignalEvent(flush_event_);
    write_thread_.join();
  }
  if (read_thread_.joinable()) {
    SignalEvent(read_wake_);
    if (thread_ack_event_ != nullptr) win::ResetEvent(thread_ack_event_);
    read_thread_.join();
  }
}

int TSerWin32Dispatcher::CloseCom() {
  if (closing_.exchange(true)) return 0;
  stop_requested_ = true;
  JoinIOThreads();
  // A handler that closes the port runs while the dispatch thread waits for it: that thread
  // ends once the handler has returned, and is joined when the dispatcher is freed.
  if (!InEvent()) StopDispatchThread(36);
  int result = 0;
  if (com_handle_ != win::INVALID_HANDLE_VALUE) {
    result = win::CloseHandle(com_handle_) ? 0 : -1;
    com_handle_ = win::INVALID_HANDLE_VALUE;
  }
  closing_ = false;
  return result;
}

int TSerWin32Dispatcher::WaitOverlapped(win::OVERLAPPED& overlapped) {
  for (;;) {
    win::DWORD wait = win::WaitForSingleObject(overlapped.hEvent, kOverlappedStepMs);
    if (wait == win::WAIT_OBJECT_0) {
      win::DWORD transferred = 0;
      bool done = win::GetOverlappedResult(com_handle_, &overlapped, &transferred, win::TRUE) != win::FALSE;
      win::ResetEvent(overlapped.hEvent);
      return done ? static_cast<int>(transferred) : kErrDeviceRead;
    }
    if (wait != win::WAIT_TIMEOUT) return kErrDeviceRead;
    if (kill_threads_) return 0;
  }
}

int TSerWin32Dispatcher::ReadInto(TDataBuffer& buffer, win::OVERLAPPED& overlapped) {
  win::DWORD read = 0;
  if (win::ReadFile(com_handle_, buffer.Data.get(), static_cast<win::DWORD>(buffer.Size), &read, &overlapped)) {
    return static_cast<int>(read);
  }
  if (win::GetLastError() != win::ERROR_IO_PENDING) return kErrDeviceRead;
  int result = WaitOverlapped(overlapped);
  if (result < 0 && win::GetLastError() == win::ERROR_OPERATION_ABORTED) return 0;
  return result;
}

void TSerWin32Dispatcher::EnterThread(std::atomic<int>& tid, int steps) {
  tid = static_cast<int>(gettid());
  SetThreadSteps(tid, steps);
  ThreadStarted();
}

void TSerWin32Dispatcher::ApplyThreadPriorities() {
  TSerBaseDispatcher::ApplyThreadPriorities();
  if (int tid = read_tid_.load(); tid != 0) SetThreadSteps(tid, Boost());
  if (int tid = status_tid_.load(); tid != 0) SetThreadSteps(tid, Boost());
  if (int tid = write_tid_.load(); tid != 0) SetThreadSteps(tid, WriteSteps());
}

bool TSerWin32Dispatcher::WaitForQueueRoom(bool draining) {
  while (input_queue_.TotalSize() >= kInputQueueLimit) {
    if (stop_requested_ || (!draining && kill_threads_)) return false;
    read_held_ = true;
    win::WaitForSingleObject(read_wake_, kReadPollMs);
  }
  read_held_ = false;
  return true;
}

bool TSerWin32Dispatcher::ReadWhatTheDeviceHolds(std::unique_ptr<TDataBuffer>& buffer, win::OVERLAPPED& overlapped,
                                                 bool draining) {
  for (;;) {
    if (stop_requested_ || (!draining && kill_threads_)) return false;
    if (!WaitForQueueRoom(draining)) return false;
    int read = ReadInto(*buffer, overlapped);
    if (read < 0) {
      RecordError(kErrDeviceRead);
      return false;
    }
    if (read == 0) return true;
    buffer->BytesUsed = static_cast<std::size_t>(read);
    input_queue_.Push(std::move(buffer));
    try {
      buffer = std::make_unique<TDataBuffer>(kDataBufferSize);
    } catch (const Exception&) {
      RecordError(kErrTapiNoMem);
      return false;
    }
    // A short read has emptied what the device held; a line that still delivers is not followed.
    if (draining && static_cast<std::size_t>(read) < kDataBufferSize) return true;
  }
}

void TSerWin32Dispatcher::ReadThreadMain() {
  EnterThread(read_tid_, Boost());
  OverlappedEvent event;
  win::COMMTIMEOUTS timeouts;
  timeouts.ReadIntervalTimeout = win::MAXDWORD;
  win::SetCommTimeouts(com_handle_, &timeouts);
  auto buffer = std::make_unique<TDataBuffer>(kDataBufferSize);
  while (!kill_threads_) {
    win::DWORD wait = win::WaitForSingleObject(read_wake_, kReadPollMs);
    if (wait != win::WAIT_OBJECT_0 && wait != win::WAIT_TIMEOUT) {
      RecordError(kErrDeviceRead);
      break;
    }
    if (!ReadWhatTheDeviceHolds(buffer, event.overlapped, false)) break;
  }
  // When another thread found the line gone, the device may still hold bytes it read before.
  if (buffer && !stop_requested_) ReadWhatTheDeviceHolds(buffer, event.overlapped, true);
  read_tid_ = 0;
  ThreadEnded();
}

int TSerWin32Dispatcher::WaitForWrite(win::OVERLAPPED& overlapped) {
  win::HANDLE events[2] = {overlapped.hEvent, flush_event_};
  while (!kill_threads_) {
    win::DWORD wait = win::WaitForMultipleObjects(2, events, win::FALSE, kOverlappedStepMs);
    if (wait == win::WAIT_OBJECT_0) {
      win::DWORD written = 0;
      bool done = win::GetOverlappedResult(com_handle_, &overlapped, &written, win::TRUE) != win::FALSE;
      return done ? static_cast<int>(written) : kErrDeviceWrite;
    }
    if (wait == win::WAIT_OBJECT_0 + 1) {
      AbortPendingWrite();
      return -1;
    }
    if (wait != win::WAIT_TIMEOUT) break;
  }
  AbortPendingWrite();
  win::SetLastError(win::ERROR_OPERATION_ABORTED);
  return kErrDeviceWrite;
}

// Ends a write still pending on the device, so that nothing refers to the write thread's record
// once it leaves the wait: the record lives on that thread's stack, and the device would
// otherwise complete it on close. The purge completes it at once, under the device's lock.
void TSerWin32Dispatcher::AbortPendingWrite() {
  win::PurgeComm(com_handle_, win::PURGE_TXABORT);
}

int TSerWin32Dispatcher::WriteOut(win::OVERLAPPED& overlapped) {
  std::vector<std::uint8_t> pending;
  for (;;) {
    {
      Locked output(output_.lock);
      std::size_t used = static_cast<std::size_t>(OutputRingUsedLocked());
      if (used == 0) return 0;
      std::size_t size = output_.bytes.size();
      std::size_t first = std::min(used, size - output_.tail);
      pending.assign(output_.bytes.begin() + static_cast<std::ptrdiff_t>(output_.tail),
                     output_.bytes.begin() + static_cast<std::ptrdiff_t>(output_.tail + first));
      pending.insert(pending.end(), output_.bytes.begin(), output_.bytes.begin() + static_cast<std::ptrdiff_t>(used - first));
      in_flight_ = used;
      output_.head = output_.tail = 0;
      output_.full = false;
    }
    std::size_t done = 0;
    while (done < pending.size()) {
      win::DWORD written = 0;
      int result;
      if (win::WriteFile(com_handle_, pending.data() + done, static_cast<win::DWORD>(pending.size() - done), &written,
                         &overlapped)) {
        result = static_cast<int>(written);
      } else if (win::GetLastError() != win::ERROR_IO_PENDING) {
        result = kErrDeviceWrite;
      } else {
        result = WaitForWrite(overlapped);
      }
      if (result == -1) {
        in_flight_ = 0;
        SignalEvent(thread_ack_event_);
        return 0;
      }
      if (result < 0) {
        in_flight_ = 0;
        return win::GetLastError() == win::ERROR_OPERATION_ABORTED ? 0 : kErrDeviceWrite;
      }
      done += static_cast<std::size_t>(result);
      in_flight_ = pending.size() - done;
    }
  }
}

void TSerWin32Dispatcher::WriteThreadMain() {
  EnterThread(write_tid_, WriteSteps());
  OverlappedEvent event;
  win::HANDLE events[2] = {output_event_, flush_event_};
  while (!kill_threads_) {
    win::DWORD wait = win::WaitForMultipleObjects(2, events, win::FALSE, kOverlappedStepMs);
    if (wait == win::WAIT_OBJECT_0) {
      if (!kill_threads_ && WriteOut(event.overlapped) < 0) RecordError(kErrDeviceWrite);
    } else if (wait == win::WAIT_OBJECT_0 + 1) {
      SignalEvent(thread_ack_event_);
    } else if (wait != win::WAIT_TIMEOUT) {
      RecordError(kErrDeviceWrite);
    }
  }
  write_tid_ = 0;
  ThreadEnded();
}

void TSerWin32Dispatcher::StatusThreadMain() {
  EnterThread(status_tid_, Boost());
  OverlappedEvent event;
  win::DWORD mask = kStatusMask;
  win::SetCommMask(com_handle_, mask);
  bool pending = false;
  win::DWORD events = kNoStatusEvent;  // outlives a wait that is still pending at the end
  while (!kill_threads_) {
    events = kNoStatusEvent;
    pending = false;
    if (!win::WaitCommEvent(com_handle_, &events, &event.overlapped)) {
      win::DWORD error = win::GetLastError();
      if (error == win::ERROR_INVALID_PARAMETER && (mask & kTrailingRingEvent) != 0) {
        mask &= ~kTrailingRingEvent;
        win::SetCommMask(com_handle_, mask);
        continue;
      }
      if (error != win::ERROR_IO_PENDING) {
        RecordError(kErrDeviceRead);
        break;
      }
      pending = true;
      int result = WaitOverlapped(event.overlapped);
      if (result < 0) {
        pending = false;
        RecordError(kErrDeviceRead);
        break;
      }
      if (kill_threads_) break;
      pending = false;
    }
    if ((events & win::EV_RXCHAR) != 0) SignalEvent(read_wake_);
    if ((events & kStatusEvents) != 0) {
      try {
        input_queue_.Push(std::make_unique<TStatusBuffer>(events));
      } catch (const std::bad_alloc&) {
        RecordError(kErrTapiNoMem);
      }
    }
  }
  // A wait still pending would write into this thread's records: a new mask completes it.
  if (pending) win::SetCommMask(com_handle_, mask);
  status_tid_ = 0;
  ThreadEnded();
}

TSerTAPI32Dispatcher::TSerTAPI32Dispatcher(TComponent* owner, win::HANDLE line)
    : TSerWin32Dispatcher(owner), line_(line) {}

int TSerTAPI32Dispatcher::GetComState(win::DCB& dcb) { return win::GetCommState(line_, &dcb) ? 0 : -1; }

win::HANDLE TSerTAPI32Dispatcher::OpenDevice(const std::string&) {
  if (line_ == nullptr) {
    win::SetLastError(static_cast<win::DWORD>(-kErrCommNotOpen));
    return win::INVALID_HANDLE_VALUE;
  }
  return line_;
}

}  // namespace dashtune
