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
    : TSerBaseDispatcher(owner), readWake_(win::CreateEventA(nullptr, win::FALSE, win::FALSE, nullptr)) {}

TSerWin32Dispatcher::~TSerWin32Dispatcher() {
  killThreads_ = true;
  CloseCom();
  StopDispatchThread(36);
  ReleaseBuffers();
  if (readWake_ != nullptr) win::CloseHandle(readWake_);
}

win::HANDLE TSerWin32Dispatcher::OpenDevice(const std::string& path) {
  return win::CreateFileA(path.c_str(), win::GENERIC_READ | win::GENERIC_WRITE, 0, nullptr, win::OPEN_EXISTING,
                          win::FILE_ATTRIBUTE_NORMAL | win::FILE_FLAG_OVERLAPPED, nullptr);
}

int TSerWin32Dispatcher::OpenCom(const std::string& path, int, int) {
  comHandle_ = OpenDevice(path);
  return comHandle_ == win::INVALID_HANDLE_VALUE || comHandle_ == nullptr ? -1 : 0;
}

int TSerWin32Dispatcher::EscapeComFunction(int function) {
  win::EscapeCommFunction(comHandle_, static_cast<win::DWORD>(function));
  return 0;
}

int TSerWin32Dispatcher::GetComError(win::COMSTAT& status) {
  win::DWORD errors = 0;
  win::ClearCommError(comHandle_, &errors, &status);
  status.cbOutQue = static_cast<win::DWORD>(OutBufUsed());
  return static_cast<int>(errors);
}

int TSerWin32Dispatcher::GetComState(win::DCB& dcb) { return win::GetCommState(comHandle_, &dcb) ? 0 : -1; }

int TSerWin32Dispatcher::SetComState(win::DCB& dcb) {
  return win::SetCommState(comHandle_, &dcb) ? 0 : -static_cast<int>(win::GetLastError());
}

int TSerWin32Dispatcher::SetupCom(int inSize, int outSize) {
  return win::SetupComm(comHandle_, static_cast<win::DWORD>(inSize), static_cast<win::DWORD>(outSize)) ? 0 : -1;
}

win::DWORD TSerWin32Dispatcher::ReadModemStatus() {
  win::DWORD status = 0;
  win::GetCommModemStatus(comHandle_, &status);
  return status;
}

int TSerWin32Dispatcher::ReadCom(std::uint8_t* buffer, int count) {
  int copied = 0;
  while (copied < count) {
    TIOBuffer* first = inputQueue_.Peek();
    if (first == nullptr) break;
    auto* data = dynamic_cast<TDataBuffer*>(first);
    if (data == nullptr) {
      inputQueue_.Release(first);
      break;
    }
    std::size_t take = std::min(data->Unread(), static_cast<std::size_t>(count - copied));
    std::memcpy(buffer + copied, data->Data.get() + data->BytesRead, take);
    data->BytesRead += take;
    copied += static_cast<int>(take);
    if (data->Unread() == 0) {
      inputQueue_.Pop();
    } else {
      inputQueue_.Release(first);
    }
  }
  return copied;
}

int TSerWin32Dispatcher::InQueueCount() {
  // The count stops at what the dispatch ring can take at once, so that a long queue behind a
  // slow reader costs no more to count than a short one.
  std::size_t waiting = 0;
  inputQueue_.ForEachWhile([&waiting](const TIOBuffer& element) {
    const auto* data = dynamic_cast<const TDataBuffer*>(&element);
    if (data == nullptr) return false;
    waiting += data->Unread();
    return waiting < kDispatchBufferSize;
  });
  return static_cast<int>(std::min(waiting, kDispatchBufferSize));
}

int TSerWin32Dispatcher::OutputRingUsedLocked() const {
  std::size_t size = outBuffer_.size();
  if (outFull_) return static_cast<int>(size);
  if (outHead_ > outTail_) return static_cast<int>(outHead_ - outTail_);
  if (outHead_ < outTail_) return static_cast<int>(size - outTail_ + outHead_);
  return 0;
}

int TSerWin32Dispatcher::OutBufUsed() {
  Locked output(outputLock_);
  return OutputRingUsedLocked() + static_cast<int>(inFlight_.load());
}

int TSerWin32Dispatcher::WriteCom(const std::uint8_t* bytes, int count) {
  {
    Locked output(outputLock_);
    std::size_t size = outBuffer_.size();
    auto length = static_cast<std::size_t>(count);
    if (size == 0 || length > size - static_cast<std::size_t>(OutputRingUsedLocked())) return 0;
    std::size_t first = std::min(length, size - outHead_);
    std::memcpy(outBuffer_.data() + outHead_, bytes, first);
    std::memcpy(outBuffer_.data(), bytes + first, length - first);
    outHead_ = (outHead_ + length) % size;
    if (length > 0 && outHead_ == outTail_) outFull_ = true;
  }
  SignalEvent(outputEvent_);
  return count;
}

int TSerWin32Dispatcher::FlushCom(int queue) {
  if (queue == 0) {
    if (!writeThread_.joinable()) return 0;
    {
      Locked output(outputLock_);
      outHead_ = outTail_ = 0;
      outFull_ = false;
    }
    win::BOOL purged = win::PurgeComm(comHandle_, win::PURGE_TXABORT | win::PURGE_TXCLEAR);
    SignalEvent(flushEvent_);
    // A write thread that has ended (after a device error) acknowledges nothing.
    if (!killThreads_ && threadAckEvent_ != nullptr) win::WaitForSingleObject(threadAckEvent_, kFlushAckMs);
    return purged ? 0 : -1;
  }
  win::BOOL purged = win::PurgeComm(comHandle_, win::PURGE_RXABORT | win::PURGE_RXCLEAR);
  inputQueue_.Clear();
  return purged ? 0 : -1;
}

void TSerWin32Dispatcher::StartThread(std::thread& thread, void (TSerWin32Dispatcher::*body)()) {
  thread = std::thread(body, this);
  win::WaitForSingleObject(threadAckEvent_, kThreadAckMs);
}

void TSerWin32Dispatcher::StartDispatcher() {
  {
    Locked state(stateLock_);
    if (threadsActive_) throw Exception("Dispatcher already started.");
    threadsActive_ = true;
    killThreads_ = false;
  }
  threadError_ = 0;
  StartThread(readThread_, &TSerWin32Dispatcher::ReadThreadMain);
  StartDispatchThread();
  win::WaitForSingleObject(threadAckEvent_, kThreadAckMs);
  StartThread(writeThread_, &TSerWin32Dispatcher::WriteThreadMain);
  StartThread(statusThread_, &TSerWin32Dispatcher::StatusThreadMain);
}

void TSerWin32Dispatcher::StopDispatcher() {
  CloseCom();
  StopDispatchThread(36);
  CloseEvents();
}

void TSerWin32Dispatcher::JoinIOThreads() {
  killThreads_ = true;
  if (statusThread_.joinable()) {
    win::SetCommMask(comHandle_, 0);
    statusThread_.join();
  }
  if (writeThread_.joinable()) {
    SignalEvent(flushEvent_);
    writeThread_.join();
  }
  if (readThread_.joinable()) {
    SignalEvent(readWake_);
    if (threadAckEvent_ != nullptr) win::ResetEvent(threadAckEvent_);
    readThread_.join();
  }
}

int TSerWin32Dispatcher::CloseCom() {
  if (closing_.exchange(true)) return 0;
  JoinIOThreads();
  // A handler that closes the port runs while the dispatch thread waits for it: that thread
  // ends once the handler has returned, and is joined when the dispatcher is freed.
  if (!InEvent()) StopDispatchThread(36);
  int result = 0;
  if (comHandle_ != win::INVALID_HANDLE_VALUE) {
    result = win::CloseHandle(comHandle_) ? 0 : -1;
    comHandle_ = win::INVALID_HANDLE_VALUE;
  }
  closing_ = false;
  return result;
}

void TSerWin32Dispatcher::RecordError(int code) {
  int none = 0;
  threadError_.compare_exchange_strong(none, code);
  killThreads_ = true;
}

int TSerWin32Dispatcher::WaitOverlapped(win::OVERLAPPED& overlapped) {
  for (;;) {
    win::DWORD wait = win::WaitForSingleObject(overlapped.hEvent, kOverlappedStepMs);
    if (wait == win::WAIT_OBJECT_0) {
      win::DWORD transferred = 0;
      bool done = win::GetOverlappedResult(comHandle_, &overlapped, &transferred, win::TRUE) != win::FALSE;
      win::ResetEvent(overlapped.hEvent);
      return done ? static_cast<int>(transferred) : kErrDeviceRead;
    }
    if (wait != win::WAIT_TIMEOUT) return kErrDeviceRead;
    if (killThreads_) return 0;
  }
}

int TSerWin32Dispatcher::ReadInto(TDataBuffer& buffer, win::OVERLAPPED& overlapped) {
  win::DWORD read = 0;
  if (win::ReadFile(comHandle_, buffer.Data.get(), static_cast<win::DWORD>(buffer.Size), &read, &overlapped)) {
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
  if (int tid = readTid_.load(); tid != 0) SetThreadSteps(tid, Boost());
  if (int tid = statusTid_.load(); tid != 0) SetThreadSteps(tid, Boost());
  if (int tid = writeTid_.load(); tid != 0) SetThreadSteps(tid, WriteSteps());
}

void TSerWin32Dispatcher::ReadThreadMain() {
  EnterThread(readTid_, Boost());
  OverlappedEvent event;
  win::COMMTIMEOUTS timeouts;
  timeouts.ReadIntervalTimeout = win::MAXDWORD;
  win::SetCommTimeouts(comHandle_, &timeouts);
  auto buffer = std::make_unique<TDataBuffer>(kDataBufferSize);
  while (!killThreads_) {
    win::DWORD wait = win::WaitForSingleObject(readWake_, kReadPollMs);
    if (wait != win::WAIT_OBJECT_0 && wait != win::WAIT_TIMEOUT) {
      RecordError(kErrDeviceRead);
      break;
    }
    while (!killThreads_) {
      int read = ReadInto(*buffer, event.overlapped);
      if (read < 0) {
        RecordError(kErrDeviceRead);
        break;
      }
      if (read == 0) break;
      buffer->BytesUsed = static_cast<std::size_t>(read);
      inputQueue_.Push(std::move(buffer));
      try {
        buffer = std::make_unique<TDataBuffer>(kDataBufferSize);
      } catch (const Exception&) {
        RecordError(kErrTapiNoMem);
        break;
      }
    }
  }
  readTid_ = 0;
  ThreadEnded();
}

int TSerWin32Dispatcher::WaitForWrite(win::OVERLAPPED& overlapped) {
  win::HANDLE events[2] = {overlapped.hEvent, flushEvent_};
  while (!killThreads_) {
    win::DWORD wait = win::WaitForMultipleObjects(2, events, win::FALSE, kOverlappedStepMs);
    if (wait == win::WAIT_OBJECT_0) {
      win::DWORD written = 0;
      bool done = win::GetOverlappedResult(comHandle_, &overlapped, &written, win::TRUE) != win::FALSE;
      return done ? static_cast<int>(written) : kErrDeviceWrite;
    }
    if (wait == win::WAIT_OBJECT_0 + 1) return -1;
    if (wait != win::WAIT_TIMEOUT) break;
  }
  // Ends the pending write so that nothing refers to this thread's record any more.
  win::PurgeComm(comHandle_, win::PURGE_TXABORT);
  win::SetLastError(win::ERROR_OPERATION_ABORTED);
  return kErrDeviceWrite;
}

int TSerWin32Dispatcher::WriteOut(win::OVERLAPPED& overlapped) {
  std::vector<std::uint8_t> pending;
  for (;;) {
    {
      Locked output(outputLock_);
      std::size_t used = static_cast<std::size_t>(OutputRingUsedLocked());
      if (used == 0) return 0;
      std::size_t size = outBuffer_.size();
      std::size_t first = std::min(used, size - outTail_);
      pending.assign(outBuffer_.begin() + static_cast<std::ptrdiff_t>(outTail_),
                     outBuffer_.begin() + static_cast<std::ptrdiff_t>(outTail_ + first));
      pending.insert(pending.end(), outBuffer_.begin(), outBuffer_.begin() + static_cast<std::ptrdiff_t>(used - first));
      inFlight_ = used;
      outHead_ = outTail_ = 0;
      outFull_ = false;
    }
    std::size_t done = 0;
    while (done < pending.size()) {
      win::DWORD written = 0;
      int result;
      if (win::WriteFile(comHandle_, pending.data() + done, static_cast<win::DWORD>(pending.size() - done), &written,
                         &overlapped)) {
        result = static_cast<int>(written);
      } else if (win::GetLastError() != win::ERROR_IO_PENDING) {
        result = kErrDeviceWrite;
      } else {
        result = WaitForWrite(overlapped);
      }
      if (result == -1) {
        inFlight_ = 0;
        SignalEvent(threadAckEvent_);
        return 0;
      }
      if (result < 0) {
        inFlight_ = 0;
        return win::GetLastError() == win::ERROR_OPERATION_ABORTED ? 0 : kErrDeviceWrite;
      }
      done += static_cast<std::size_t>(result);
      inFlight_ = pending.size() - done;
    }
  }
}

void TSerWin32Dispatcher::WriteThreadMain() {
  EnterThread(writeTid_, WriteSteps());
  OverlappedEvent event;
  win::HANDLE events[2] = {outputEvent_, flushEvent_};
  while (!killThreads_) {
    win::DWORD wait = win::WaitForMultipleObjects(2, events, win::FALSE, kOverlappedStepMs);
    if (wait == win::WAIT_OBJECT_0) {
      if (!killThreads_ && WriteOut(event.overlapped) < 0) RecordError(kErrDeviceWrite);
    } else if (wait == win::WAIT_OBJECT_0 + 1) {
      SignalEvent(threadAckEvent_);
    } else if (wait != win::WAIT_TIMEOUT) {
      RecordError(kErrDeviceWrite);
    }
  }
  writeTid_ = 0;
  ThreadEnded();
}

void TSerWin32Dispatcher::StatusThreadMain() {
  EnterThread(statusTid_, Boost());
  OverlappedEvent event;
  win::DWORD mask = kStatusMask;
  win::SetCommMask(comHandle_, mask);
  bool pending = false;
  win::DWORD events = kNoStatusEvent;  // outlives a wait that is still pending at the end
  while (!killThreads_) {
    events = kNoStatusEvent;
    pending = false;
    if (!win::WaitCommEvent(comHandle_, &events, &event.overlapped)) {
      win::DWORD error = win::GetLastError();
      if (error == win::ERROR_INVALID_PARAMETER && (mask & kTrailingRingEvent) != 0) {
        mask &= ~kTrailingRingEvent;
        win::SetCommMask(comHandle_, mask);
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
      if (killThreads_) break;
      pending = false;
    }
    if ((events & win::EV_RXCHAR) != 0) SignalEvent(readWake_);
    if ((events & kStatusEvents) != 0) {
      try {
        inputQueue_.Push(std::make_unique<TStatusBuffer>(events));
      } catch (const std::bad_alloc&) {
        RecordError(kErrTapiNoMem);
      }
    }
  }
  // A wait still pending would write into this thread's records: a new mask completes it.
  if (pending) win::SetCommMask(comHandle_, mask);
  statusTid_ = 0;
  ThreadEnded();
}

TSerTAPI32Dispatcher::TSerTAPI32Dispatcher(TComponent* owner, win::HANDLE line)
    : TSerWin32Dispatcher(owner), line_(line) {}

win::HANDLE TSerTAPI32Dispatcher::OpenDevice(const std::string&) {
  if (line_ == nullptr) {
    win::SetLastError(static_cast<win::DWORD>(-kErrCommNotOpen));
    return win::INVALID_HANDLE_VALUE;
  }
  return line_;
}

}  // namespace dashtune
