#include "platform/comm/comm.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/comm/comm_object.h"
#include "platform/comm/line_settings.h"
#include "platform/core/errors.h"
#include "platform/core/handles.h"
#include "platform/core/sync.h"
#include "platform/core/wait.h"

namespace win {
namespace {

constexpr int kServicePollMs = 50;
// The device's receive queue: one read of the terminal takes up to this much, as much as the
// kernel's line discipline hands out at once, and reads of the caller are served from it.
constexpr std::size_t kReceiveQueueSize = 4096;
constexpr auto kDrainLimit = std::chrono::seconds(2);
constexpr DWORD kLineEvents = EV_CTS | EV_DSR | EV_RLSD | EV_RING;

DWORD Win32ErrorOf(int error) {
  switch (error) {
    case ENOENT:
    case ENXIO:
    case ENODEV:
    case ENOTTY:
      return ERROR_FILE_NOT_FOUND;
    case ENOTDIR:
      return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EBUSY:
    case EWOULDBLOCK:
      return ERROR_ACCESS_DENIED;
    case EMFILE:
    case ENFILE:
      return ERROR_TOO_MANY_OPEN_FILES;
    case ENOMEM:
      return ERROR_NOT_ENOUGH_MEMORY;
    case EINVAL:
      return ERROR_INVALID_PARAMETER;
    case EIO:
    case EPIPE:
      return ERROR_BROKEN_PIPE;
    default:
      return ERROR_GEN_FAILURE;
  }
}

BOOL Fail(DWORD error) { return comm::FailWith(error); }

bool Unsupported(int error) { return error == ENOTTY || error == EINVAL || error == ENOTSUP; }

comm::LineSettings SettingsOf(const DCB& dcb) {
  comm::LineSettings settings;
  settings.baud = dcb.BaudRate;
  settings.dataBits = dcb.ByteSize;
  settings.parity = static_cast<comm::LineParity>(dcb.Parity);
  settings.stopBits = static_cast<comm::LineStopBits>(dcb.StopBits);
  settings.rtsCtsFlow = (dcb.Flags & DCB_RTS_CONTROL_MASK) == DCB_RTS_CONTROL_HANDSHAKE ||
                        (dcb.Flags & DCB_OUTX_CTS_FLOW) != 0;
  settings.xonXoffOutput = (dcb.Flags & DCB_OUTX) != 0;
  settings.xonXoffInput = (dcb.Flags & DCB_INX) != 0;
  settings.xonChar = static_cast<std::uint8_t>(dcb.XonChar);
  settings.xoffChar = static_cast<std::uint8_t>(dcb.XoffChar);
  return settings;
}

DCB DcbOf(const comm::LineSettings& settings) {
  DCB dcb;
  dcb.BaudRate = settings.baud;
  dcb.ByteSize = settings.dataBits;
  dcb.Parity = static_cast<BYTE>(settings.parity);
  dcb.StopBits = static_cast<BYTE>(settings.stopBits);
  dcb.Flags = DCB_BINARY | DCB_DTR_CONTROL_ENABLE | DCB_RTS_CONTROL_ENABLE;
  if (settings.rtsCtsFlow) dcb.Flags = (dcb.Flags & ~DCB_RTS_CONTROL_MASK) | DCB_RTS_CONTROL_HANDSHAKE | DCB_OUTX_CTS_FLOW;
  if (settings.xonXoffOutput) dcb.Flags |= DCB_OUTX;
  if (settings.xonXoffInput) dcb.Flags |= DCB_INX;
  dcb.XonChar = static_cast<CHAR>(settings.xonChar);
  dcb.XoffChar = static_cast<CHAR>(settings.xoffChar);
  return dcb;
}

void Complete(OVERLAPPED* overlapped, DWORD error, std::size_t bytes) {
  comm::CompleteOverlapped(overlapped, error, bytes);
}

// An open comm device. Every use of the descriptor and of the pending operations is under
// mutex_; a service thread completes pending writes and event waits, woken through wake_.
class CommDevice : public comm::CommObject {
 public:
  CommDevice(int fd, int wake, const DCB& dcb) : fd_(fd), wake_(wake), dcb_(dcb) {
    int lines = 0;
    modem_lines_real_ = ioctl(fd_, TIOCMGET, &lines) == 0;
    counters_real_ = comm::ReadLineCounters(fd_, counters_);
    last_modem_ = ModemStatusLocked();
    service_ = std::thread([this] { Serve(); });
  }

  ~CommDevice() override { Shut(); }

  void HandleClosed() override { Shut(); }

  BOOL Read(void* buffer, DWORD count, DWORD* read) override {
    std::lock_guard lock(mutex_);
    auto* bytes = static_cast<std::uint8_t*>(buffer);
    DWORD got = TakeReceivedLocked(bytes, count);
    if (got < count) {
      // A failing terminal still hands out what was queued before; the next read reports it.
      if (FillReceiveQueueLocked()) {
        got += TakeReceivedLocked(bytes + got, count - got);
      } else if (got == 0) {
        return Fail(Win32ErrorOf(errno));
      }
    }
    if (read != nullptr) *read = got;
    if (got < count && rx_reported_) {
      rx_reported_ = false;
      Wake();
    }
    return TRUE;
  }

  BOOL Write(const void* bytes, DWORD count, DWORD* written, OVERLAPPED* overlapped) override {
    std::lock_guard lock(mutex_);
    if (hung_up_) return Fail(ERROR_BROKEN_PIPE);
    if (write_overlapped_ != nullptr) return Fail(ERROR_INVALID_PARAMETER);
    ssize_t n = ::write(fd_, bytes, count);
    if (n < 0 && errno != EAGAIN && errno != EINTR) return Fail(Win32ErrorOf(errno));
    std::size_t done = n > 0 ? static_cast<std::size_t>(n) : 0;
    if (done == count || overlapped == nullptr) {
      if (written != nullptr) *written = static_cast<DWORD>(done);
      return TRUE;
    }
    const auto* data = static_cast<const std::uint8_t*>(bytes);
    write_data_.assign(data, data + count);
    write_done_ = done;
    write_overlapped_ = overlapped;
    StartLocked(overlapped);
    return Fail(ERROR_IO_PENDING);
  }

  BOOL Result(OVERLAPPED* overlapped, DWORD* transferred, BOOL wait) override {
    std::unique_lock lock(mutex_);
    while (overlapped->Internal == ERROR_IO_PENDING) {
      if (!wait) return Fail(ERROR_IO_INCOMPLETE);
      lock.unlock();
      WaitForSingleObject(overlapped->hEvent, kServicePollMs);
      lock.lock();
    }
    if (transferred != nullptr) *transferred = static_cast<DWORD>(overlapped->InternalHigh);
    if (overlapped->Internal != 0) return Fail(static_cast<DWORD>(overlapped->Internal));
    return TRUE;
  }

  BOOL SetMask(DWORD mask) override {
    std::lock_guard lock(mutex_);
    mask_ = mask;
    if (wait_overlapped_ != nullptr) FinishWaitLocked(0, 0);
    return TRUE;
  }

  DWORD Mask() override {
    std::lock_guard lock(mutex_);
    return mask_;
  }

  BOOL WaitEvent(DWORD* mask, OVERLAPPED* overlapped) override {
    std::lock_guard lock(mutex_);
    if (hung_up_) return Fail(ERROR_BROKEN_PIPE);
    if (wait_overlapped_ != nullptr || overlapped == nullptr) return Fail(ERROR_INVALID_PARAMETER);
    DWORD events = PendingEventsLocked();
    if (events != 0) {
      *mask = events;
      return TRUE;
    }
    wait_mask_ = mask;
    wait_overlapped_ = overlapped;
    StartLocked(overlapped);
    return Fail(ERROR_IO_PENDING);
  }

  BOOL GetState(DCB* dcb) override {
    std::lock_guard lock(mutex_);
    *dcb = dcb_;
    return TRUE;
  }

  BOOL SetState(const DCB& dcb) override {
    if (dcb.BaudRate == 0 || dcb.ByteSize < 5 || dcb.ByteSize > 8 || dcb.Parity > SPACEPARITY ||
        dcb.StopBits > TWOSTOPBITS) {
      return Fail(ERROR_INVALID_PARAMETER);
    }
    std::lock_guard lock(mutex_);
    DrainLocked();
    // RTS toggling is the kernel's RS-485 mode; a device without it refuses the whole state.
    const bool rs485 = (dcb.Flags & DCB_RTS_CONTROL_MASK) == DCB_RTS_CONTROL_TOGGLE;
    if (rs485 != rs485_) {
      if (int error = comm::SetRs485(fd_, rs485)) return Fail(Unsupported(error) ? ERROR_NOT_SUPPORTED : Win32ErrorOf(error));
      rs485_ = rs485;
    }
    if (int error = comm::ApplyLineSettings(fd_, SettingsOf(dcb))) return Fail(Win32ErrorOf(error));
    dcb_ = dcb;
    if ((dcb.Flags & DCB_DTR_CONTROL_MASK) != DCB_DTR_CONTROL_HANDSHAKE) {
      SetLineLocked(TIOCM_DTR, (dcb.Flags & DCB_DTR_CONTROL_MASK) == DCB_DTR_CONTROL_ENABLE);
    }
    if ((dcb.Flags & DCB_RTS_CONTROL_MASK) == DCB_RTS_CONTROL_ENABLE ||
        (dcb.Flags & DCB_RTS_CONTROL_MASK) == 0) {
      SetLineLocked(TIOCM_RTS, (dcb.Flags & DCB_RTS_CONTROL_MASK) == DCB_RTS_CONTROL_ENABLE);
    }
    return TRUE;
  }

  BOOL GetTimeouts(COMMTIMEOUTS* timeouts) override {
    std::lock_guard lock(mutex_);
    *timeouts = timeouts_;
    return TRUE;
  }

  BOOL SetTimeouts(const COMMTIMEOUTS& timeouts) override {
    std::lock_guard lock(mutex_);
    timeouts_ = timeouts;
    return TRUE;
  }

  BOOL Purge(DWORD flags) override {
    std::lock_guard lock(mutex_);
    if ((flags & PURGE_TXABORT) != 0 && write_overlapped_ != nullptr) FinishWriteLocked(ERROR_OPERATION_ABORTED);
    if ((flags & PURGE_TXCLEAR) != 0) tcflush(fd_, TCOFLUSH);
    if ((flags & PURGE_RXCLEAR) != 0) {
      tcflush(fd_, TCIFLUSH);
      receive_start_ = receive_end_ = 0;
      rx_reported_ = false;
    }
    return TRUE;
  }

  BOOL ClearError(DWORD* errors, COMSTAT* status) override {
    std::lock_guard lock(mutex_);
    UpdateCountersLocked();
    if (errors != nullptr) *errors = errors_;
    errors_ = 0;
    if (status != nullptr) {
      int queued = 0;
      status->cbInQue = static_cast<DWORD>(ReceivedLocked());
      if (ioctl(fd_, FIONREAD, &queued) == 0) status->cbInQue += static_cast<DWORD>(queued);
      queued = 0;
      status->cbOutQue = ioctl(fd_, TIOCOUTQ, &queued) == 0 ? static_cast<DWORD>(queued) : 0;
      status->Flags = 0;
    }
    return TRUE;
  }

  BOOL Escape(DWORD function) override {
    std::lock_guard lock(mutex_);
    switch (function) {
      case SETDTR:
      case CLRDTR:
        SetLineLocked(TIOCM_DTR, function == SETDTR);
        return TRUE;
      case SETRTS:
      case CLRRTS:
        SetLineLocked(TIOCM_RTS, function == SETRTS);
        return TRUE;
      case SETBREAK:
      case CLRBREAK:
        if (ioctl(fd_, function == SETBREAK ? TIOCSBRK : TIOCCBRK) != 0 && !Unsupported(errno)) {
          return Fail(Win32ErrorOf(errno));
        }
        return TRUE;
      case SETXOFF:
      case SETXON:
        if (tcflow(fd_, function == SETXOFF ? TCIOFF : TCION) != 0 && !Unsupported(errno)) {
          return Fail(Win32ErrorOf(errno));
        }
        return TRUE;
      default:
        return Fail(ERROR_INVALID_PARAMETER);
    }
  }

  BOOL ModemStatus(DWORD* status) override {
    // Asked on every pass of the dispatcher: a device without modem lines (a pseudo-terminal)
    // answers without waiting for a read or write in progress.
    if (!modem_lines_real_) {
      *status = 0;
      return TRUE;
    }
    std::lock_guard lock(mutex_);
    *status = ModemStatusLocked();
    return TRUE;
  }

 private:
  void Wake() {
    std::uint64_t one = 1;
    [[maybe_unused]] ssize_t n = ::write(wake_, &one, sizeof one);
  }

  std::size_t ReceivedLocked() const { return receive_end_ - receive_start_; }

  // Moves up to count bytes of the receive queue to bytes; answers how many.
  DWORD TakeReceivedLocked(std::uint8_t* bytes, DWORD count) {
    std::size_t take = std::min<std::size_t>(count, ReceivedLocked());
    std::memcpy(bytes, receive_.data() + receive_start_, take);
    receive_start_ += take;
    return static_cast<DWORD>(take);
  }

  // Refills the empty receive queue with what the terminal holds; false with errno set on a
  // failure other than having nothing to read.
  bool FillReceiveQueueLocked() {
    receive_start_ = receive_end_ = 0;
    ssize_t n = ::read(fd_, receive_.data(), receive_.size());
    if (n < 0) return errno == EAGAIN || errno == EINTR;
    receive_end_ = static_cast<std::size_t>(n);
    return true;
  }

  void StartLocked(OVERLAPPED* overlapped) {
    overlapped->Internal = ERROR_IO_PENDING;
    overlapped->InternalHigh = 0;
    if (overlapped->hEvent != nullptr) ResetEvent(overlapped->hEvent);
    Wake();
  }

  void FinishWaitLocked(DWORD events, DWORD error) {
    if (error == 0) *wait_mask_ = events;
    Complete(wait_overlapped_, error, 0);
    wait_overlapped_ = nullptr;
    wait_mask_ = nullptr;
  }

  void FinishWriteLocked(DWORD error) {
    Complete(write_overlapped_, error, write_done_);
    write_overlapped_ = nullptr;
    write_data_.clear();
    write_done_ = 0;
  }

  void SetLineLocked(int line, bool on) {
    int bits = line;
    if (ioctl(fd_, on ? TIOCMBIS : TIOCMBIC, &bits) != 0) modem_lines_real_ = false;
    if (line == TIOCM_DTR) dtr_ = on;
    if (line == TIOCM_RTS) rts_ = on;
  }

  DWORD ModemStatusLocked() {
    int lines = 0;
    if (!modem_lines_real_ || ioctl(fd_, TIOCMGET, &lines) != 0) return 0;
    DWORD status = 0;
    if ((lines & TIOCM_CTS) != 0) status |= MS_CTS_ON;
    if ((lines & TIOCM_DSR) != 0) status |= MS_DSR_ON;
    if ((lines & TIOCM_RI) != 0) status |= MS_RING_ON;
    if ((lines & TIOCM_CD) != 0) status |= MS_RLSD_ON;
    return status;
  }

  // Folds the kernel's line-event counts into the error flags; answers the comm events due.
  DWORD UpdateCountersLocked() {
    comm::LineCounters now;
    if (!counters_real_ || !comm::ReadLineCounters(fd_, now)) return 0;
    DWORD events = 0;
    if (now.overrun != counters_.overrun) errors_ |= CE_OVERRUN, events |= EV_ERR;
    if (now.parity != counters_.parity) errors_ |= CE_RXPARITY, events |= EV_ERR;
    if (now.frame != counters_.frame) errors_ |= CE_FRAME, events |= EV_ERR;
    if (now.bufferOverrun != counters_.bufferOverrun) errors_ |= CE_RXOVER, events |= EV_ERR;
    if (now.brk != counters_.brk) errors_ |= CE_BREAK, events |= EV_BREAK;
    counters_ = now;
    return events;
  }

  // The events in the mask that have happened and not yet been reported.
  DWORD PendingEventsLocked() {
    DWORD events = UpdateCountersLocked();
    DWORD modem = ModemStatusLocked();
    DWORD changed = modem ^ last_modem_;
    last_modem_ = modem;
    if ((changed & MS_CTS_ON) != 0) events |= EV_CTS;
    if ((changed & MS_DSR_ON) != 0) events |= EV_DSR;
    if ((changed & MS_RLSD_ON) != 0) events |= EV_RLSD;
    if ((changed & MS_RING_ON) != 0 && (modem & MS_RING_ON) == 0) events |= EV_RING;
    int queued = 0;
    if ((mask_ & EV_RXCHAR) != 0 && !rx_reported_ &&
        (ReceivedLocked() > 0 || (ioctl(fd_, FIONREAD, &queued) == 0 && queued > 0))) {
      rx_reported_ = true;
      events |= EV_RXCHAR;
    }
    return events & mask_;
  }

  void DrainLocked() {
    auto until = std::chrono::steady_clock::now() + kDrainLimit;
    int queued = 0;
    while (ioctl(fd_, TIOCOUTQ, &queued) == 0 && queued > 0 && std::chrono::steady_clock::now() < until) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }

  void Serve() {
    std::unique_lock lock(mutex_);
    while (!stopping_) {
      pollfd fds[2] = {{wake_, POLLIN, 0}, {fd_, 0, 0}};
      if (!hung_up_) {
        if (wait_overlapped_ != nullptr && (mask_ & EV_RXCHAR) != 0 && !rx_reported_) fds[1].events |= POLLIN;
        if (write_overlapped_ != nullptr) fds[1].events |= POLLOUT;
      }
      bool watchDevice = !hung_up_;
      lock.unlock();
      poll(fds, watchDevice ? 2 : 1, kServicePollMs);
      std::uint64_t drained;
      if ((fds[0].revents & POLLIN) != 0) [[maybe_unused]] ssize_t n = ::read(wake_, &drained, sizeof drained);
      lock.lock();
      if (stopping_) break;
      // A hung-up terminal (its far side gone) reports POLLHUP for good and loses what it held.
      if ((fds[1].revents & (POLLHUP | POLLERR)) != 0) hung_up_ = true;
      ServeWriteLocked();
      ServeWaitLocked();
    }
  }

  void ServeWriteLocked() {
    if (write_overlapped_ == nullptr) return;
    if (hung_up_) {
      FinishWriteLocked(ERROR_BROKEN_PIPE);
      return;
    }
    while (write_done_ < write_data_.size()) {
      ssize_t n = ::write(fd_, write_data_.data() + write_done_, write_data_.size() - write_done_);
      if (n > 0) {
        write_done_ += static_cast<std::size_t>(n);
        continue;
      }
      if (n < 0 && (errno == EAGAIN || errno == EINTR)) return;
      FinishWriteLocked(Win32ErrorOf(errno));
      return;
    }
    FinishWriteLocked(0);
  }

  void ServeWaitLocked() {
    if (wait_overlapped_ == nullptr) return;
    if (hung_up_) {
      FinishWaitLocked(0, ERROR_BROKEN_PIPE);
      return;
    }
    if (DWORD events = PendingEventsLocked(); events != 0) FinishWaitLocked(events, 0);
  }

  void Shut() {
    {
      std::lock_guard lock(mutex_);
      if (fd_ < 0) return;
      stopping_ = true;
      if (write_overlapped_ != nullptr) FinishWriteLocked(ERROR_OPERATION_ABORTED);
      if (wait_overlapped_ != nullptr) FinishWaitLocked(0, ERROR_OPERATION_ABORTED);
      Wake();
    }
    service_.join();
    std::lock_guard lock(mutex_);
    flock(fd_, LOCK_UN);
    ::close(fd_);
    ::close(wake_);
    fd_ = -1;
  }

  std::mutex mutex_;
  int fd_;
  int wake_;
  DCB dcb_;
  COMMTIMEOUTS timeouts_;
  DWORD mask_ = 0;
  bool dtr_ = false;
  bool rts_ = false;
  bool rs485_ = false;
  std::atomic<bool> modem_lines_real_{false};  // written under mutex_
  bool counters_real_ = false;
  comm::LineCounters counters_;
  DWORD errors_ = 0;
  DWORD last_modem_ = 0;
  // Bytes read from the terminal and not yet handed out: receive_[receive_start_, receive_end_).
  std::vector<std::uint8_t> receive_ = std::vector<std::uint8_t>(kReceiveQueueSize);
  std::size_t receive_start_ = 0;
  std::size_t receive_end_ = 0;
  bool rx_reported_ = false;
  bool hung_up_ = false;
  bool stopping_ = false;
  OVERLAPPED* wait_overlapped_ = nullptr;
  DWORD* wait_mask_ = nullptr;
  OVERLAPPED* write_overlapped_ = nullptr;
  std::vector<std::uint8_t> write_data_;
  std::size_t write_done_ = 0;
  std::thread service_;
};

std::shared_ptr<comm::CommObject> DeviceOf(HANDLE handle) { return LookupHandleAs<comm::CommObject>(handle); }

// The port number of "\\.\COMn" (or "COMn"), 0 for any other path.
unsigned PortNumberOf(const char* path) {
  if (path == nullptr) return 0;
  if (std::strncmp(path, "\\\\.\\", 4) == 0) path += 4;
  if (strncasecmp(path, "COM", 3) != 0) return 0;
  char* end = nullptr;
  unsigned long number = std::strtoul(path + 3, &end, 10);
  if (end == path + 3 || *end != '\0' || number == 0 || number > 255) return 0;
  return static_cast<unsigned>(number);
}

}  // namespace

std::string CommDevicePath(unsigned port_number) {
  std::string variable = "DASHTUNE_COM" + std::to_string(port_number);
  if (const char* path = std::getenv(variable.c_str()); path != nullptr && *path != '\0') return path;
  return "/dev/ttyS" + std::to_string(port_number - 1);
}

namespace comm {

BOOL FailWith(DWORD error) {
  SetLastError(error);
  return FALSE;
}

void CompleteOverlapped(OVERLAPPED* overlapped, DWORD error, std::size_t bytes) {
  overlapped->Internal = error;
  overlapped->InternalHigh = bytes;
  if (overlapped->hEvent != nullptr) SetEvent(overlapped->hEvent);
}

}  // namespace comm

HANDLE CreateFileA(LPCSTR path, DWORD, DWORD, SECURITY_ATTRIBUTES*, DWORD, DWORD, HANDLE) {
  unsigned port = PortNumberOf(path);
  if (port == 0) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  DWORD fake_error = 0;
  if (std::shared_ptr<comm::CommObject> fake = comm::OpenFakePort(port, fake_error)) return InsertHandle(fake);
  if (fake_error != 0) {
    SetLastError(fake_error);
    return INVALID_HANDLE_VALUE;
  }
  int fd = ::open(CommDevicePath(port).c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    SetLastError(Win32ErrorOf(errno));
    return INVALID_HANDLE_VALUE;
  }
  comm::LineSettings settings;
  int error = 0;
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    error = errno;
  } else if ((error = comm::MakeRaw(fd)) == 0) {
    error = comm::ReadLineSettings(fd, settings);
  }
  int wake = error == 0 ? eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC) : -1;
  if (error == 0 && wake < 0) error = errno;
  if (error != 0) {
    ::close(fd);
    SetLastError(Win32ErrorOf(error));
    return INVALID_HANDLE_VALUE;
  }
  return InsertHandle(std::make_shared<CommDevice>(fd, wake, DcbOf(settings)));
}

BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD count, DWORD* read, LPOVERLAPPED) {
  auto device = DeviceOf(file);
  return device ? device->Read(buffer, count, read) : Fail(ERROR_INVALID_HANDLE);
}

BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD count, DWORD* written, LPOVERLAPPED overlapped) {
  auto device = DeviceOf(file);
  return device ? device->Write(buffer, count, written, overlapped) : Fail(ERROR_INVALID_HANDLE);
}

BOOL GetOverlappedResult(HANDLE file, LPOVERLAPPED overlapped, DWORD* transferred, BOOL wait) {
  auto device = DeviceOf(file);
  return device ? device->Result(overlapped, transferred, wait) : Fail(ERROR_INVALID_HANDLE);
}

BOOL SetCommMask(HANDLE file, DWORD mask) {
  auto device = DeviceOf(file);
  return device ? device->SetMask(mask) : Fail(ERROR_INVALID_HANDLE);
}

BOOL GetCommMask(HANDLE file, DWORD* mask) {
  auto device = DeviceOf(file);
  if (!device) return Fail(ERROR_INVALID_HANDLE);
  *mask = device->Mask();
  return TRUE;
}

BOOL WaitCommEvent(HANDLE file, DWORD* mask, LPOVERLAPPED overlapped) {
  auto device = DeviceOf(file);
  return device ? device->WaitEvent(mask, overlapped) : Fail(ERROR_INVALID_HANDLE);
}

BOOL GetCommState(HANDLE file, LPDCB dcb) {
  auto device = DeviceOf(file);
  return device ? device->GetState(dcb) : Fail(ERROR_INVALID_HANDLE);
}

BOOL SetCommState(HANDLE file, LPDCB dcb) {
  auto device = DeviceOf(file);
  return device ? device->SetState(*dcb) : Fail(ERROR_INVALID_HANDLE);
}

BOOL GetCommTimeouts(HANDLE file, COMMTIMEOUTS* timeouts) {
  auto device = DeviceOf(file);
  return device ? device->GetTimeouts(timeouts) : Fail(ERROR_INVALID_HANDLE);
}

BOOL SetCommTimeouts(HANDLE file, COMMTIMEOUTS* timeouts) {
  auto device = DeviceOf(file);
  return device ? device->SetTimeouts(*timeouts) : Fail(ERROR_INVALID_HANDLE);
}

BOOL SetupComm(HANDLE file, DWORD in_queue, DWORD out_queue) {
  auto device = DeviceOf(file);
  if (!device) return Fail(ERROR_INVALID_HANDLE);
  return in_queue > 0 && out_queue > 0 ? TRUE : Fail(ERROR_INVALID_PARAMETER);
}

BOOL PurgeComm(HANDLE file, DWORD flags) {
  auto device = DeviceOf(file);
  return device ? device->Purge(flags) : Fail(ERROR_INVALID_HANDLE);
}

BOOL ClearCommError(HANDLE file, DWORD* errors, COMSTAT* status) {
  auto device = DeviceOf(file);
  return device ? device->ClearError(errors, status) : Fail(ERROR_INVALID_HANDLE);
}

BOOL EscapeCommFunction(HANDLE file, DWORD function) {
  auto device = DeviceOf(file);
  return device ? device->Escape(function) : Fail(ERROR_INVALID_HANDLE);
}

BOOL GetCommModemStatus(HANDLE file, DWORD* modem_status) {
  auto device = DeviceOf(file);
  return device ? device->ModemStatus(modem_status) : Fail(ERROR_INVALID_HANDLE);
}

}  // namespace win
