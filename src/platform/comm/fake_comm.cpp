#include "platform/comm/fake_comm.h"

#include <algorithm>
#include <cstring>
#include <map>

#include "platform/comm/comm_object.h"
#include "platform/core/errors.h"
#include "platform/core/sync.h"

namespace win::comm {
namespace {

struct FakePorts {
  std::mutex mutex;
  std::map<unsigned, std::shared_ptr<FakeCommLine>> lines;
};

FakePorts& Fakes() {
  static FakePorts fakes;
  return fakes;
}

}  // namespace

// The open fake line: every operation acts on the line's state under its lock. Writes and
// reads complete at once; an event wait is pending until the far end raises a wanted event.
class FakeCommDevice : public CommObject {
 public:
  explicit FakeCommDevice(std::shared_ptr<FakeCommLine> line) : line_(std::move(line)) {}
  ~FakeCommDevice() override { HandleClosed(); }

  void HandleClosed() override {
    std::lock_guard lock(line_->mutex_);
    if (line_->wait_overlapped_ != nullptr) FinishWaitLocked(0, ERROR_OPERATION_ABORTED);
    line_->open_ = false;
  }

  BOOL Read(void* buffer, DWORD count, DWORD* read) override {
    std::lock_guard lock(line_->mutex_);
    std::size_t got = std::min<std::size_t>(count, line_->incoming_.size());
    std::memcpy(buffer, line_->incoming_.data(), got);
    line_->incoming_.erase(0, got);
    if (read != nullptr) *read = static_cast<DWORD>(got);
    return TRUE;
  }

  BOOL Write(const void* bytes, DWORD count, DWORD* written, OVERLAPPED*) override {
    std::lock_guard lock(line_->mutex_);
    line_->sent_.append(static_cast<const char*>(bytes), count);
    if (written != nullptr) *written = count;
    return TRUE;
  }

  BOOL Result(OVERLAPPED* overlapped, DWORD* transferred, BOOL) override {
    std::lock_guard lock(line_->mutex_);
    if (overlapped->Internal == ERROR_IO_PENDING) return FailWith(ERROR_IO_INCOMPLETE);
    if (transferred != nullptr) *transferred = static_cast<DWORD>(overlapped->InternalHigh);
    return overlapped->Internal == 0 ? TRUE : FailWith(static_cast<DWORD>(overlapped->Internal));
  }

  BOOL SetMask(DWORD mask) override {
    std::lock_guard lock(line_->mutex_);
    line_->mask_ = mask;
    if (line_->wait_overlapped_ != nullptr) FinishWaitLocked(0, 0);
    return TRUE;
  }

  DWORD Mask() override {
    std::lock_guard lock(line_->mutex_);
    return line_->mask_;
  }

  BOOL WaitEvent(DWORD* mask, OVERLAPPED* overlapped) override {
    std::lock_guard lock(line_->mutex_);
    if (line_->wait_overlapped_ != nullptr || overlapped == nullptr) return FailWith(ERROR_INVALID_PARAMETER);
    DWORD due = line_->events_ & line_->mask_;
    if (due != 0) {
      line_->events_ &= ~due;
      *mask = due;
      return TRUE;
    }
    line_->wait_mask_ = mask;
    line_->wait_overlapped_ = overlapped;
    overlapped->Internal = ERROR_IO_PENDING;
    if (overlapped->hEvent != nullptr) ResetEvent(overlapped->hEvent);
    return FailWith(ERROR_IO_PENDING);
  }

  BOOL GetState(DCB* dcb) override {
    std::lock_guard lock(line_->mutex_);
    *dcb = line_->dcb_;
    return TRUE;
  }

  BOOL SetState(const DCB& dcb) override {
    if (dcb.BaudRate == 0 || dcb.ByteSize < 5 || dcb.ByteSize > 8 || dcb.Parity > SPACEPARITY ||
        dcb.StopBits > TWOSTOPBITS) {
      return FailWith(ERROR_INVALID_PARAMETER);
    }
    std::lock_guard lock(line_->mutex_);
    line_->dcb_ = dcb;
    return TRUE;
  }

  BOOL GetTimeouts(COMMTIMEOUTS* timeouts) override {
    std::lock_guard lock(line_->mutex_);
    *timeouts = line_->timeouts_;
    return TRUE;
  }

  BOOL SetTimeouts(const COMMTIMEOUTS& timeouts) override {
    std::lock_guard lock(line_->mutex_);
    line_->timeouts_ = timeouts;
    return TRUE;
  }

  BOOL Purge(DWORD flags) override {
    std::lock_guard lock(line_->mutex_);
    if ((flags & PURGE_RXCLEAR) != 0) line_->incoming_.clear();
    return TRUE;
  }

  BOOL ClearError(DWORD* errors, COMSTAT* status) override {
    std::lock_guard lock(line_->mutex_);
    if (errors != nullptr) *errors = line_->errors_;
    line_->errors_ = 0;
    if (status != nullptr) {
      status->cbInQue = static_cast<DWORD>(line_->incoming_.size());
      status->cbOutQue = 0;
    }
    return TRUE;
  }

  BOOL Escape(DWORD function) override {
    std::lock_guard lock(line_->mutex_);
    switch (function) {
      case SETDTR:
      case CLRDTR:
        line_->dtr_ = function == SETDTR;
        return TRUE;
      case SETRTS:
      case CLRRTS:
        line_->rts_ = function == SETRTS;
        return TRUE;
      case SETBREAK:
      case CLRBREAK:
      case SETXOFF:
      case SETXON:
        return TRUE;
      default:
        return FailWith(ERROR_INVALID_PARAMETER);
    }
  }

  BOOL ModemStatus(DWORD* status) override {
    std::lock_guard lock(line_->mutex_);
    *status = line_->lines_;
    return TRUE;
  }

 private:
  void FinishWaitLocked(DWORD events, DWORD error) {
    if (error == 0) *line_->wait_mask_ = events;
    CompleteOverlapped(line_->wait_overlapped_, error, 0);
    line_->wait_overlapped_ = nullptr;
    line_->wait_mask_ = nullptr;
  }

  std::shared_ptr<FakeCommLine> line_;
};

void FakeCommLine::SignalLocked(DWORD events) {
  events_ |= events;
  DWORD due = events_ & mask_;
  if (wait_overlapped_ == nullptr || due == 0) return;
  events_ &= ~due;
  *wait_mask_ = due;
  CompleteOverlapped(wait_overlapped_, 0, 0);
  wait_overlapped_ = nullptr;
  wait_mask_ = nullptr;
}

void FakeCommLine::Receive(const std::string& bytes) {
  std::lock_guard lock(mutex_);
  incoming_ += bytes;
  if (!bytes.empty()) SignalLocked(EV_RXCHAR);
}

std::string FakeCommLine::TakeSent() {
  std::lock_guard lock(mutex_);
  std::string sent;
  sent.swap(sent_);
  return sent;
}

void FakeCommLine::SetModemLines(DWORD lines) {
  std::lock_guard lock(mutex_);
  DWORD changed = lines ^ lines_;
  lines_ = lines;
  DWORD events = 0;
  if ((changed & MS_CTS_ON) != 0) events |= EV_CTS;
  if ((changed & MS_DSR_ON) != 0) events |= EV_DSR;
  if ((changed & MS_RLSD_ON) != 0) events |= EV_RLSD;
  if ((changed & MS_RING_ON) != 0 && (lines & MS_RING_ON) == 0) events |= EV_RING;
  SignalLocked(events);
}

void FakeCommLine::RaiseLineErrors(DWORD errors) {
  std::lock_guard lock(mutex_);
  errors_ |= errors;
  DWORD events = 0;
  if ((errors & (CE_RXOVER | CE_OVERRUN | CE_RXPARITY | CE_FRAME)) != 0) events |= EV_ERR;
  if ((errors & CE_BREAK) != 0) events |= EV_BREAK;
  SignalLocked(events);
}

DCB FakeCommLine::State() {
  std::lock_guard lock(mutex_);
  return dcb_;
}

bool FakeCommLine::Dtr() {
  std::lock_guard lock(mutex_);
  return dtr_;
}

bool FakeCommLine::Rts() {
  std::lock_guard lock(mutex_);
  return rts_;
}

bool FakeCommLine::IsOpen() {
  std::lock_guard lock(mutex_);
  return open_;
}

ScopedFakePort::ScopedFakePort(unsigned port_number, std::shared_ptr<FakeCommLine> line)
    : port_number_(port_number) {
  std::lock_guard lock(Fakes().mutex);
  Fakes().lines[port_number] = std::move(line);
}

ScopedFakePort::~ScopedFakePort() {
  std::lock_guard lock(Fakes().mutex);
  Fakes().lines.erase(port_number_);
}

std::shared_ptr<CommObject> OpenFakePort(unsigned port_number, DWORD& error) {
  std::shared_ptr<FakeCommLine> line;
  {
    std::lock_guard lock(Fakes().mutex);
    auto it = Fakes().lines.find(port_number);
    if (it == Fakes().lines.end()) return nullptr;
    line = it->second;
  }
  std::lock_guard lock(line->mutex_);
  if (line->open_) {
    error = ERROR_ACCESS_DENIED;
    return nullptr;
  }
  line->open_ = true;
  line->events_ = 0;
  return std::make_shared<FakeCommDevice>(line);
}

}  // namespace win::comm
