#include "components/serial/dispatcher.h"

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <mutex>
#include <new>

#include "classlib/forms.h"
#include "components/serial/serial_errors.h"
#include "components/serial/serial_lock.h"
#include "components/serial/serial_line.h"
#include "components/serial/serial_log.h"
#include "platform/core/handles.h"
#include "platform/core/clock.h"
#include "platform/core/errors.h"
#include "platform/core/wait.h"
#include "platform/user/messages.h"

namespace dashtune {

namespace {

using namespace serial;

constexpr std::size_t kRing = kDispatchBufferSize;
constexpr win::DWORD kSendTimeoutMs = 3000;
constexpr int kDrainPolls = 5000;
constexpr win::DWORD kDrainPollMs = 2;

// The process-wide list of open dispatchers; an index travels in every trigger message.
struct PortList {
  std::recursive_mutex lock;
  std::vector<TSerBaseDispatcher*> ports;
};

PortList& Ports() {
  static PortList list;
  return list;
}

// Puts line settings into a control block: baud 0, parity 5, stop bits 3 and data bits 9 keep
// the current value; stop bits 0 count as 1 and above 2 as 2; two stop bits with five data bits
// are one and a half.
void ApplyLineValues(win::DCB& dcb, win::DWORD baud, int parity, int stopBits, int dataBits) {
  dcb.Flags = (dcb.Flags & ~(win::DCB_PARITY_CHECK | win::DCB_DSR_SENSITIVITY | win::DCB_NULL)) | win::DCB_BINARY |
              win::DCB_TX_CONTINUE_ON_XOFF;
  if (baud != 0) dcb.BaudRate = BaudFromCode(baud);
  if (parity != 5) dcb.Parity = static_cast<win::BYTE>(parity);
  if (dataBits != 9) dcb.ByteSize = static_cast<win::BYTE>(dataBits);
  if (stopBits == 3) return;
  dcb.StopBits = stopBits <= 1 ? win::ONESTOPBIT : win::TWOSTOPBITS;
  if (dcb.StopBits == win::TWOSTOPBITS && dcb.ByteSize == 5) dcb.StopBits = win::ONE5STOPBITS;
}

}  // namespace

TSerBaseDispatcher::TSerBaseDispatcher(TComponent* owner) : owner_(owner) {
  win::InitializeCriticalSection(&state_.lock);
  win::InitializeCriticalSection(&output_.lock);
  std::lock_guard guard(Ports().lock);
  auto& ports = Ports().ports;
  auto empty = std::find(ports.begin(), ports.end(), nullptr);
  if (empty != ports.end()) {
    *empty = this;
    handle_ = static_cast<int>(empty - ports.begin());
  } else {
    ports.push_back(this);
    handle_ = static_cast<int>(ports.size()) - 1;
  }
}

TSerBaseDispatcher::~TSerBaseDispatcher() {
  stop_requested_ = true;
  kill_threads_ = true;
  StopDispatchThread(36);
  {
    std::lock_guard guard(Ports().lock);
    auto& ports = Ports().ports;
    ports[static_cast<std::size_t>(handle_)] = nullptr;
    while (!ports.empty() && ports.back() == nullptr) ports.pop_back();
  }
  CloseEvents();
  win::DeleteCriticalSection(&output_.lock);
  win::DeleteCriticalSection(&state_.lock);
}

TSerBaseDispatcher* TSerBaseDispatcher::PortAt(int index) {
  auto& ports = Ports().ports;
  if (index < 0 || static_cast<std::size_t>(index) >= ports.size()) return nullptr;
  return ports[static_cast<std::size_t>(index)];
}

void TSerBaseDispatcher::LockPortList() { Ports().lock.lock(); }
void TSerBaseDispatcher::UnlockPortList() { Ports().lock.unlock(); }

bool TSerBaseDispatcher::CreateEvents() {
  CloseEvents();
  general_event_ = win::CreateEventA(nullptr, win::FALSE, win::FALSE, nullptr);
  thread_ack_event_ = win::CreateEventA(nullptr, win::FALSE, win::FALSE, nullptr);
  output_event_ = win::CreateEventA(nullptr, win::FALSE, win::FALSE, nullptr);
  flush_event_ = win::CreateEventA(nullptr, win::FALSE, win::FALSE, nullptr);
  return general_event_ && thread_ack_event_ && output_event_ && flush_event_;
}

void TSerBaseDispatcher::CloseEvents() {
  for (win::HANDLE* event :
       {&general_event_, &thread_ack_event_, &output_event_, &flush_event_}) {
    if (*event != nullptr) win::CloseHandle(*event);
    *event = nullptr;
  }
}

void TSerBaseDispatcher::SignalEvent(win::HANDLE event) {
  if (event != nullptr) win::SetEvent(event);
}

void TSerBaseDispatcher::ResetRings() {
  std::lock_guard dispatch(ring_.lock);
  ring_.head = ring_.tail = 0;
  ring_.full = false;
  ring_.peek_mode = false;
  ring_.peek_offset = 0;
  ring_.received = ring_.scanned = 0;
  ring_.last_avail = UINT64_MAX;
}

void TSerBaseDispatcher::ClearTriggers() {
  Locked state(state_.lock);
  state_.avail_threshold = 0;
  state_.timer_triggers.clear();
  state_.data_triggers.clear();
  state_.status_triggers.clear();
  state_.status_fired = false;
}

int TSerBaseDispatcher::Open(const std::string& path, win::DWORD baud, int flags, int outSize, int inSize,
                             int stopBits, int dataBits, int parity) {
  if (outSize < 1 || inSize < 1) return kErrBadArgument;
  ResetRings();
  in_event_ = false;
  state_.handler_deleted_pending = false;
  if (!CreateEvents()) return kErrOutOfMemory;
  win::SetLastError(0);
  if (OpenCom(path, inSize, outSize) < 0) {
    win::DWORD error = win::GetLastError();
    int result = (error == win::ERROR_NOT_ENOUGH_MEMORY || error == win::ERROR_OUTOFMEMORY) ? kErrOutOfMemory
                 : error != 0                                                                ? -static_cast<int>(error)
                                                                                             : kErrBadHandle;
    Close();
    return result;
  }
  cid_ = 0;
  if (SetupCom(inSize, outSize) < 0) {
    int result = -static_cast<int>(win::GetLastError());
    Close();
    return result != 0 ? result : kErrBadHandle;
  }
  {
    std::lock_guard dispatch(ring_.lock);
    ring_.bytes.assign(kRing, 0);
  }
  {
    Locked output(output_.lock);
    output_.bytes.assign(static_cast<std::size_t>(outSize), 0);
    output_.head = output_.tail = 0;
    output_.full = false;
  }
  in_size_ = inSize;
  out_size_ = outSize;
  out_sent_ = false;
  close_pending_ = false;
  rs485_ = false;
  {
    Locked state(state_.lock);
    state_.line_errors = 0;
    GetComState(state_.dcb);
    state_.dtr_flow = (flags & kOpenDTRFlow) != 0;
    if (!state_.dtr_flow) state_.dtr_on = (flags & kOpenDTR) != 0;
    state_.rts_flow = (flags & kOpenRTSFlow) != 0;
    if (!state_.rts_flow) state_.rts_on = (flags & kOpenRTS) != 0;
  }
  ClearTriggers();
  ResetRings();
  GetModemStatus(0xF0);
  baud_ = 115200;
  {
    // Nothing has been sent yet, so the settings apply at once and in full.
    Locked state(state_.lock);
    GetComState(state_.dcb);
    ApplyLineValues(state_.dcb, baud, parity, stopBits, dataBits);
  }
  if (int result = WriteComState(); result < 0) {
    Close();
    return result;
  }
  ReadComErrors();
  {
    Locked state(state_.lock);
    state_.trace.Stop();
    tracing_ = false;
    state_.log_active = false;
    state_.log_capacity = 0;
    state_.open_time = SerTimeGetTime();
  }
  log_queue_.Clear();
  StartDispatcher();
  return kOK;
}

void TSerBaseDispatcher::Close() {
  if (cid_ >= 0) {
    FlushCom(0);
    FlushCom(1);
    ResetInputAfterFlush();
    CloseCom();
    cid_ = -1;
  }
  if (in_event_) {
    close_pending_ = true;  // the rings are released once the dispatch thread has ended
  } else {
    ReleaseBuffers();
  }
}

void TSerBaseDispatcher::ResetInputAfterFlush() {
  {
    std::lock_guard dispatch(ring_.lock);
    if (!ring_.peek_mode) {
      ring_.tail = ring_.head;
      ring_.full = false;
    }
    ring_.scanned = ring_.received;
  }
  Locked state(state_.lock);
  for (auto& trigger : state_.data_triggers) trigger.Pattern.Matched = 0;
}

void TSerBaseDispatcher::ReleaseBuffers() {
  if (threads_active_ || dispatch_thread_.joinable()) StopDispatcher();
  {
    std::lock_guard dispatch(ring_.lock);
    ring_.bytes.clear();
    ring_.bytes.shrink_to_fit();
    ring_.head = ring_.tail = 0;
    ring_.full = false;
  }
  Locked output(output_.lock);
  output_.bytes.clear();
  output_.bytes.shrink_to_fit();
  output_.head = output_.tail = 0;
  output_.full = false;
}

int TSerBaseDispatcher::SetLine(win::DWORD baud, int parity, int stopBits, int dataBits) {
  win::DCB wanted;
  {
    Locked state(state_.lock);
    GetComState(state_.dcb);
    wanted = state_.dcb;
    ApplyLineValues(wanted, baud, parity, stopBits, dataBits);
    if (wanted.BaudRate == state_.dcb.BaudRate && wanted.Parity == state_.dcb.Parity && wanted.ByteSize == state_.dcb.ByteSize &&
        wanted.StopBits == state_.dcb.StopBits && wanted.Flags == state_.dcb.Flags) {
      return kOK;
    }
  }
  DrainOutput();
  Locked state(state_.lock);
  GetComState(state_.dcb);
  state_.dcb.Flags = wanted.Flags;
  state_.dcb.BaudRate = wanted.BaudRate;
  state_.dcb.Parity = wanted.Parity;
  state_.dcb.ByteSize = wanted.ByteSize;
  state_.dcb.StopBits = wanted.StopBits;
  return WriteComState();
}

void TSerBaseDispatcher::DrainOutput() {
  for (int i = 0; i < kDrainPolls && OutBufUsed() > 0; ++i) win::Sleep(kDrainPollMs);
  win::DCB current;
  win::DWORD baud;
  {
    Locked state(state_.lock);
    current = state_.dcb;
    baud = baud_;
  }
  win::Sleep(DrainSettleMilliseconds(baud, current.ByteSize, current.Parity, current.StopBits));
}

int TSerBaseDispatcher::WriteComState() {
  Locked state(state_.lock);
  if (!state_.dtr_flow) {
    state_.dcb.Flags &= ~win::DCB_DTR_CONTROL_MASK;
    if (state_.dtr_on) state_.dcb.Flags |= win::DCB_DTR_CONTROL_ENABLE;
  }
  if (!state_.rts_flow) {
    state_.dcb.Flags &= ~win::DCB_RTS_CONTROL_MASK;
    if (state_.rts_on) state_.dcb.Flags |= win::DCB_RTS_CONTROL_ENABLE;
  }
  if (int result = SetComState(state_.dcb); result < 0) return result;
  baud_ = state_.dcb.BaudRate;
  ReapplyDTRAndRTS();
  return kOK;
}

void TSerBaseDispatcher::ReapplyDTRAndRTS() {
  SetDTR(state_.dtr_on);
  if (!rs485_) SetRTS(state_.rts_on);
}

void TSerBaseDispatcher::GetLine(win::DWORD& baud, int& parity, int& dataBits, int& stopBits) {
  Locked state(state_.lock);
  GetComState(state_.dcb);
  baud = BaudFromCode(state_.dcb.BaudRate);
  parity = state_.dcb.Parity;
  dataBits = state_.dcb.ByteSize;
  stopBits = state_.dcb.StopBits != win::ONESTOPBIT ? 2 : 1;
}

int TSerBaseDispatcher::SetDTR(bool on) {
  Locked state(state_.lock);
  if (state_.dtr_flow) return 1;
  if (EscapeComFunction(on ? win::SETDTR : win::CLRDTR) < 0) return kErrBadArgument;
  state_.dtr_on = on;
  return kOK;
}

int TSerBaseDispatcher::SetRTS(bool on) {
  Locked state(state_.lock);
  if (state_.rts_flow) return 1;
  if (EscapeComFunction(on ? win::SETRTS : win::CLRRTS) < 0) return kErrBadArgument;
  state_.rts_on = on;
  return kOK;
}

int TSerBaseDispatcher::HardwareFlow(int fullMark, int resumeMark, int options) {
  Locked state(state_.lock);
  if (fullMark > in_size_ || fullMark < resumeMark) return kErrBadArgument;
  GetComState(state_.dcb);
  state_.dcb.Flags &= ~(win::DCB_DTR_CONTROL_MASK | win::DCB_RTS_CONTROL_MASK | win::DCB_OUTX_CTS_FLOW |
                  win::DCB_OUTX_DSR_FLOW);
  state_.dtr_flow = (options & kHwFlowUseDTR) != 0;
  if (state_.dtr_flow) {
    state_.dcb.Flags |= win::DCB_DTR_CONTROL_HANDSHAKE;
  } else if (state_.dtr_on) {
    state_.dcb.Flags |= win::DCB_DTR_CONTROL_ENABLE;
  }
  state_.rts_flow = (options & kHwFlowUseRTS) != 0;
  if (state_.rts_flow) {
    state_.dcb.Flags |= win::DCB_RTS_CONTROL_HANDSHAKE;
  } else if (rs485_) {
    state_.dcb.Flags |= win::DCB_RTS_CONTROL_TOGGLE;
    state_.rts_flow = true;
  } else if (state_.rts_on) {
    state_.dcb.Flags |= win::DCB_RTS_CONTROL_ENABLE;
  }
  state_.dcb.XoffLim = static_cast<win::WORD>(in_size_ - fullMark);
  state_.dcb.XonLim = static_cast<win::WORD>(resumeMark);
  if ((options & kHwFlowRequireDSR) != 0) state_.dcb.Flags |= win::DCB_OUTX_DSR_FLOW;
  if ((options & kHwFlowRequireCTS) != 0) state_.dcb.Flags |= win::DCB_OUTX_CTS_FLOW;
  return WriteComState();
}

int TSerBaseDispatcher::SoftwareFlow(int fullMark, int resumeMark, int mode) {
  Locked state(state_.lock);
  if (fullMark > in_size_ || fullMark < resumeMark) return kErrBadArgument;
  GetComState(state_.dcb);
  if ((mode & kSwFlowReceive) != 0) {
    state_.dcb.Flags |= win::DCB_INX;
    state_.dcb.XoffLim = static_cast<win::WORD>(in_size_ - fullMark);
    state_.dcb.XonLim = static_cast<win::WORD>(resumeMark);
  }
  if ((mode & kSwFlowTransmit) != 0) state_.dcb.Flags |= win::DCB_OUTX;
  if ((mode & (kSwFlowReceive | kSwFlowTransmit)) != 0) {
    state_.dcb.XonChar = 17;
    state_.dcb.XoffChar = 19;
  }
  return WriteComState();
}

int TSerBaseDispatcher::SoftwareFlowOff() {
  Locked state(state_.lock);
  GetComState(state_.dcb);
  state_.dcb.Flags &= ~(win::DCB_INX | win::DCB_OUTX);
  return WriteComState();
}

int TSerBaseDispatcher::SetXOnChar(std::uint8_t c) {
  Locked state(state_.lock);
  GetComState(state_.dcb);
  state_.dcb.XonChar = static_cast<char>(c);
  return WriteComState();
}

int TSerBaseDispatcher::SetXOffChar(std::uint8_t c) {
  Locked state(state_.lock);
  GetComState(state_.dcb);
  state_.dcb.XoffChar = static_cast<char>(c);
  return WriteComState();
}

int TSerBaseDispatcher::CharReady() {
  std::lock_guard dispatch(ring_.lock);
  return ring_.bytes.empty() ? 0 : UnreadLocked();
}

void TSerBaseDispatcher::TraceReceived(std::uint8_t c) {
  Locked state(state_.lock);
  state_.trace.Add(kTraceReceive, c);
}

int TSerBaseDispatcher::PeekChar(std::uint8_t& c, int n) {
  std::lock_guard dispatch(ring_.lock);
  std::size_t between = (ring_.head + kRing - ring_.tail) % kRing;
  if (between == 0 && ring_.full) between = kRing;
  if (ring_.bytes.empty() || n < 1 || static_cast<std::size_t>(n) > between) return kErrBufferIsEmpty;
  c = ring_.bytes[(ring_.tail + static_cast<std::size_t>(n) - 1) % kRing];
  return kOK;
}

int TSerBaseDispatcher::PutBlock(const std::uint8_t* bytes, int count) {
  if (count == 0) return kOK;
  if (count < 0 || bytes == nullptr) return kErrBadArgument;
  // Nothing carries bytes to a line that has gone: the caller learns why.
  if (int error = thread_error_.load(); error != 0) return error;
  {
    Locked output(output_.lock);
    if (output_.bytes.empty()) return kErrCommNotOpen;
    if (count > OutBuffFree()) return kErrOutputBufferTooSmall;
    if (WriteCom(bytes, count) < 1) {
      win::LeaveCriticalSection(&output_.lock);
      ReadComErrors();
      win::EnterCriticalSection(&output_.lock);
      return kErrPutBlockFail;
    }
    out_sent_ = true;
  }
  Locked state(state_.lock);
  AddLogEntry(kLogKindData, kLogCodeSent, bytes, static_cast<std::size_t>(count), static_cast<win::DWORD>(count));
  for (int i = 0; i < count; ++i) state_.trace.Add(kTraceTransmit, bytes[i]);
  return kOK;
}

int TSerBaseDispatcher::OutBuffFree() {
  Locked output(output_.lock);
  return std::max(0, out_size_ - OutBufUsed());
}

bool TSerBaseDispatcher::ReadComErrors() {
  win::COMSTAT status;
  int errors = GetComError(status);
  Locked state(state_.lock);
  state_.line_errors |= static_cast<std::uint8_t>(errors & 0x1F);
  return (errors & 0x1F) != 0;
}

int TSerBaseDispatcher::LineError() {
  Locked state(state_.lock);
  int result = 0;
  if ((state_.line_errors & win::CE_RXOVER) != 0) {
    result = kLineErrorQueueOverflow;
  } else if ((state_.line_errors & win::CE_OVERRUN) != 0) {
    result = kLineErrorOverrun;
  } else if ((state_.line_errors & win::CE_RXPARITY) != 0) {
    result = kLineErrorParity;
  } else if ((state_.line_errors & win::CE_FRAME) != 0) {
    result = kLineErrorFraming;
  } else if ((state_.line_errors & win::CE_BREAK) != 0) {
    result = kLineErrorBreak;
  }
  if (result != 0) state_.line_errors &= win::CE_BREAK;
  return result;
}

bool TSerBaseDispatcher::LineBreak() {
  Locked state(state_.lock);
  bool seen = (state_.line_errors & win::CE_BREAK) != 0;
  state_.line_errors &= static_cast<std::uint8_t>(~win::CE_BREAK);
  return seen;
}

std::uint8_t TSerBaseDispatcher::GetModemStatus(std::uint8_t keepMask) {
  win::DWORD lines = ReadModemStatus();
  Locked state(state_.lock);
  state_.modem_status = static_cast<std::uint8_t>((state_.modem_status & 0x0F) | (lines & 0xF0));
  if (state_.ring_flagged) {
    state_.modem_status |= 0x04;
    state_.ring_flagged = false;
  }
  std::uint8_t result = state_.modem_status;
  state_.modem_status &= keepMask;
  return result;
}

void TSerBaseDispatcher::RegisterWindowHandler(win::HWND window) {
  Locked state(state_.lock);
  state_.window_handlers.push_back(WindowHandler{window, false});
  UpdateHandlerFlags(0);
}

void TSerBaseDispatcher::DeregisterWindowHandler(win::HWND window) {
  Locked state(state_.lock);
  for (auto it = state_.window_handlers.begin(); it != state_.window_handlers.end(); ++it) {
    if (it->Window != window || it->Deleted) continue;
    if (in_event_) {
      it->Deleted = true;
      state_.handler_deleted_pending = true;
    } else {
      state_.window_handlers.erase(it);
    }
    break;
  }
  UpdateHandlerFlags(0);
}

void TSerBaseDispatcher::UpdateHandlerFlags(int flag) {
  Locked state(state_.lock);
  if (flag == 1) state_.own_window_wants_events = true;
  if (flag == 2) state_.own_window_wants_events = false;
  std::size_t live = std::count_if(state_.window_handlers.begin(), state_.window_handlers.end(),
                                   [](const WindowHandler& handler) { return !handler.Deleted; });
  state_.handlers_need_service = live >= 2 || state_.own_window_wants_events;
}

void TSerBaseDispatcher::SetThreadBoost(std::uint8_t boost) {
  thread_boost_ = boost;
  ApplyThreadPriorities();
}

void TSerBaseDispatcher::ApplyThreadPriorities() {
  if (int tid = dispatch_tid_.load(); tid != 0) SetThreadSteps(tid, thread_boost_);
}

void TSerBaseDispatcher::SetThreadSteps(int tid, int steps) {
  // A step is one nice level; a refusal (no privilege) leaves the thread as it was.
  setpriority(PRIO_PROCESS, static_cast<id_t>(tid), -std::clamp(steps, 0, 20));
}

void TSerBaseDispatcher::SetAvailThreshold(std::uint16_t threshold) {
  Locked state(state_.lock);
  state_.avail_threshold = threshold;
}

TTriggerSnapshot TSerBaseDispatcher::SaveTriggers() {
  Locked state(state_.lock);
  return TTriggerSnapshot{state_.avail_threshold, state_.timer_triggers, state_.data_triggers, state_.status_triggers};
}

void TSerBaseDispatcher::RestoreTriggers(const TTriggerSnapshot& snapshot) {
  Locked state(state_.lock);
  state_.avail_threshold = snapshot.AvailThreshold;
  state_.timer_triggers = snapshot.TimerTriggers;
  state_.data_triggers = snapshot.DataTriggers;
  state_.status_triggers = snapshot.StatusTriggers;
}

void TSerBaseDispatcher::SetRS485Mode(bool on) {
  rs485_ = on;
  ApplyThreadPriorities();
}

// Trace and log.

int TSerBaseDispatcher::StartTracing(int capacity) {
  Locked state(state_.lock);
  int result = state_.trace.Start(capacity);
  tracing_ = state_.trace.Active();
  return result;
}

void TSerBaseDispatcher::StopTracing() {
  Locked state(state_.lock);
  state_.trace.Stop();
  tracing_ = false;
}

void TSerBaseDispatcher::ClearTracing() {
  Locked state(state_.lock);
  state_.trace.Clear();
}

void TSerBaseDispatcher::PauseTracing() {
  Locked state(state_.lock);
  state_.trace.Pause();
  tracing_ = false;
}

void TSerBaseDispatcher::ResumeTracing() {
  Locked state(state_.lock);
  state_.trace.Resume();
  tracing_ = state_.trace.Active();
}

int TSerBaseDispatcher::DumpTrace(const std::string& fileName, bool append, bool allHex, bool hexUnprintable) {
  std::vector<TraceEntry> entries;
  {
    Locked state(state_.lock);
    if (!state_.trace.Exists()) return kOK;
    entries = state_.trace.Entries();
    state_.trace.Clear();
  }
  return WriteTextFile(fileName, append, FormatTraceLines(entries, allHex, hexUnprintable));
}

int TSerBaseDispatcher::StartLogging(int capacity) {
  if (capacity < 0) return kErrBadArgument;
  log_queue_.Clear();
  Locked state(state_.lock);
  state_.log_capacity = capacity;
  state_.log_active = true;
  return kOK;
}

void TSerBaseDispatcher::StopLogging() {
  {
    Locked state(state_.lock);
    state_.log_active = false;
  }
  log_queue_.Clear();
}

void TSerBaseDispatcher::ClearLogging() { log_queue_.Clear(); }

void TSerBaseDispatcher::PauseLogging() {
  Locked state(state_.lock);
  state_.log_active = false;
}

void TSerBaseDispatcher::ResumeLogging() {
  Locked state(state_.lock);
  state_.log_active = true;
}

void TSerBaseDispatcher::AddLogEntry(std::uint8_t kind, std::uint16_t code, const void* data, std::size_t size,
                                     win::DWORD value) {
  Locked state(state_.lock);
  if (!state_.log_active) return;
  if (state_.log_capacity > 0) log_queue_.TrimToCount(static_cast<std::size_t>(state_.log_capacity - 1));
  log_queue_.Push(std::make_unique<TLogBuffer>(kind, code, SerTimeGetTime() - state_.open_time, value, data, size));
}

int TSerBaseDispatcher::DumpLog(const std::string& fileName, bool append, bool hex) {
  std::vector<std::string> lines = LogHeaderLines(device_name_);
  log_queue_.ForEach([&lines, hex](const TIOBuffer& element) {
    if (const auto* entry = dynamic_cast<const TLogBuffer*>(&element)) lines.push_back(FormatLogEntry(*entry, hex));
  });
  int result = WriteTextFile(fileName, append, lines);
  log_queue_.Clear();
  return result;
}

// Event delivery.

bool TSerBaseDispatcher::SendEvent(win::UINT msg, win::WPARAM wParam, win::WORD data) {
  std::vector<win::HWND> windows;
  {
    Locked state(state_.lock);
    if (!state_.handlers_need_service) return true;
    in_event_ = true;
    for (const auto& handler : state_.window_handlers) {
      if (!handler.Deleted) windows.push_back(handler.Window);
    }
    if (windows.size() < 2 && !state_.own_window_wants_events) windows.clear();
  }
  bool peek = msg == APW_TRIGGERAVAIL || msg == APW_TRIGGERDATA;
  {
    std::lock_guard dispatch(ring_.lock);
    ring_.largest_consumed = 0;
    ring_.peek_mode = peek;
    ring_.peek_offset = 0;
  }
  auto lParam = static_cast<win::LPARAM>((static_cast<win::DWORD>(handle_) << 16) + data);
  bool result = true;
  bool stopped = false;
  for (win::HWND window : windows) {
    {
      std::lock_guard dispatch(ring_.lock);
      ring_.peek_offset = 0;
    }
    win::DWORD_PTR answer = 0;
    win::SendMessageTimeoutA(window, msg, wParam, lParam, win::SMTO_BLOCK, kSendTimeoutMs, &answer);
    if (close_pending_) {
      result = false;
      stopped = true;
      break;
    }
    std::lock_guard dispatch(ring_.lock);
    ring_.largest_consumed = std::max(ring_.largest_consumed, ring_.peek_offset);
  }
  if (peek && !stopped) {
    std::lock_guard dispatch(ring_.lock);
    ring_.peek_mode = false;
    ring_.peek_offset = 0;
    ring_.tail = (ring_.tail + ring_.largest_consumed) % kRing;
    if (ring_.largest_consumed > 0) ring_.full = false;
    if (msg == APW_TRIGGERAVAIL) result = ring_.largest_consumed == wParam;
  }
  Locked state(state_.lock);
  in_event_ = false;
  if (state_.handler_deleted_pending) RemoveDeletedHandlersLocked();
  return result;
}

void TSerBaseDispatcher::RemoveDeletedHandlersLocked() {
  std::erase_if(state_.window_handlers, [](const WindowHandler& handler) { return handler.Deleted; });
  state_.handler_deleted_pending = false;
  UpdateHandlerFlags(0);
}

bool TSerBaseDispatcher::DataPass() {
  std::vector<int> matched;
  int availCount = -1;
  {
    Locked state(state_.lock);
    std::lock_guard dispatch(ring_.lock);
    if (ring_.bytes.empty()) return false;
    bool anyActive = std::any_of(state_.data_triggers.begin(), state_.data_triggers.end(),
                                 [](const TDataTrigger& trigger) { return trigger.Active; });
    std::uint64_t position = anyActive ? ring_.scanned : ring_.received;
    for (; position != ring_.received; ++position) {
      std::uint8_t byte = ring_.bytes[position % kRing];
      for (auto& trigger : state_.data_triggers) {
        if (trigger.Active && AdvanceMatch(trigger.Pattern, byte)) matched.push_back(trigger.Handle);
      }
      if (!matched.empty()) break;
    }
    if (!matched.empty()) {
      int upToMatch = static_cast<int>((position % kRing + kRing - ring_.tail) % kRing) + 1;
      if (state_.avail_threshold != 0 && ring_.last_avail != position && upToMatch >= state_.avail_threshold) {
        availCount = upToMatch;
        ring_.last_avail = position;
      }
      ring_.scanned = position + 1;
    } else {
      ring_.scanned = ring_.received;
      int unread = UnreadLocked();
      if (state_.avail_threshold == 0 || ring_.last_avail == ring_.scanned || unread < state_.avail_threshold || unread == 0) return false;
      ring_.last_avail = ring_.scanned;
      availCount = unread;
    }
  }
  if (matched.empty()) {
    AddLogEntry(kLogKindTrigger, kLogCodeAvail, nullptr, 0, static_cast<win::DWORD>(availCount));
    return SendEvent(APW_TRIGGERAVAIL, static_cast<win::WPARAM>(availCount), 0);
  }
  if (availCount > 0) {
    AddLogEntry(kLogKindTrigger, kLogCodeAvail, nullptr, 0, static_cast<win::DWORD>(availCount));
    SendEvent(APW_TRIGGERAVAIL, static_cast<win::WPARAM>(availCount), 0);
  }
  for (int handle : matched) {
    if (close_pending_) break;
    AddLogEntry(kLogKindTrigger, kLogCodeDataMatch, nullptr, 0, static_cast<win::DWORD>(handle));
    SendEvent(APW_TRIGGERDATA, static_cast<win::WPARAM>(handle), 0);
  }
  return true;
}

bool TSerBaseDispatcher::StatusPass() {
  int handle = 0;
  win::WORD data = 0;
  {
    Locked state(state_.lock);
    for (auto& trigger : state_.status_triggers) {
      if (!trigger.Armed || trigger.Fired) continue;
      bool fire = false;
      switch (trigger.Kind) {
        case kStatusModem:
          fire = (((trigger.Value & 0xFF) ^ state_.modem_status) & (trigger.Value >> 8)) != 0;
          break;
        case kStatusLine:
          if ((trigger.Value & state_.line_errors) != 0) {
            trigger.Value = state_.line_errors;
            fire = true;
          }
          break;
        case kStatusOutFree: {
          int free = OutBuffFree();
          fire = free >= trigger.Value;
          data = static_cast<win::WORD>(free);
          break;
        }
        case kStatusOutUsed: {
          int used = OutBufUsed();
          fire = used <= trigger.Value;
          data = static_cast<win::WORD>(used);
          break;
        }
        case kStatusOutSent:
          fire = out_sent_.exchange(false);
          break;
        default:
          break;
      }
      if (!fire) {
        data = 0;
        continue;
      }
      trigger.Armed = false;
      trigger.Fired = true;
      state_.status_fired = true;
      handle = trigger.Handle;
      break;
    }
  }
  if (handle == 0) return false;
  AddLogEntry(kLogKindTrigger, kLogCodeStatus, nullptr, 0, static_cast<win::DWORD>(handle));
  SendEvent(APW_TRIGGERSTATUS, static_cast<win::WPARAM>(handle), data);
  return true;
}

bool TSerBaseDispatcher::TimerPass() {
  int handle = 0;
  {
    Locked state(state_.lock);
    for (auto& trigger : state_.timer_triggers) {
      if (trigger.Active && TimerExpired(trigger.Timer)) {
        trigger.Active = false;
        handle = trigger.Handle;
        break;
      }
    }
  }
  if (handle == 0) return false;
  AddLogEntry(kLogKindTrigger, kLogCodeTimer, nullptr, 0, static_cast<win::DWORD>(handle));
  SendEvent(APW_TRIGGERTIMER, static_cast<win::WPARAM>(handle), 0);
  return true;
}

void TSerBaseDispatcher::ClearFiredMarks() {
  Locked state(state_.lock);
  if (!state_.status_fired) return;
  for (auto& trigger : state_.status_triggers) trigger.Fired = false;
  state_.status_fired = false;
}

bool TSerBaseDispatcher::StatusPassesUntilQuiet() {
  bool any = false;
  while (!close_pending_ && StatusPass()) any = true;
  return any;
}

bool TSerBaseDispatcher::FillDispatchRing() {
  bool full = false;
  {
    std::lock_guard dispatch(ring_.lock);
    if (ring_.bytes.empty()) return false;
    full = ring_.full;
    if (!full) {
      int waiting = InQueueCount();
      if (waiting <= 0) return false;
      std::size_t free = 0;
      std::size_t piece = 0;
      if (ring_.head == ring_.tail) {
        free = kRing;
        piece = kRing - ring_.head;
      } else if (ring_.tail > ring_.head) {
        free = piece = ring_.tail - ring_.head;
      } else {
        free = ring_.tail + kRing - ring_.head;
        piece = kRing - ring_.head;
      }
      std::size_t take = std::min(free, static_cast<std::size_t>(waiting));
      std::size_t first = std::min(take, piece);
      std::size_t total = 0;
      int got = std::max(0, ReadCom(ring_.bytes.data() + ring_.head, static_cast<int>(first)));
      ring_.head = (ring_.head + static_cast<std::size_t>(got)) % kRing;
      ring_.received += static_cast<std::uint64_t>(got);
      total += static_cast<std::size_t>(got);
      if (static_cast<std::size_t>(got) == first && take > piece) {
        int more = std::max(0, ReadCom(ring_.bytes.data() + ring_.head, static_cast<int>(take - piece)));
        ring_.head = (ring_.head + static_cast<std::size_t>(more)) % kRing;
        ring_.received += static_cast<std::uint64_t>(more);
        total += static_cast<std::size_t>(more);
      }
      if (total > 0) ring_.full = ring_.head == ring_.tail;
      return true;
    }
  }
  static constexpr char kFullText[] = "Dispatch buffer full.";
  AddLogEntry(kLogKindDispatch, kLogCodeBufferFull, kFullText, sizeof kFullText - 1, 0);
  return true;
}

void TSerBaseDispatcher::ProcessCommunications() {
  win::DWORD mask = 0;
  if (TIOBuffer* first = input_queue_.Peek()) {
    if (auto* status = dynamic_cast<TStatusBuffer*>(first)) {
      mask = status->EventMask;
      input_queue_.Pop();
    } else {
      input_queue_.Release(first);
    }
  }
  if ((mask & (win::EV_RING | 0x2000)) != 0) {
    Locked state(state_.lock);
    state_.ring_flagged = true;
  }
  bool anyFired = false;
  if ((mask & 0x2138) != 0) {
    std::uint8_t before;
    {
      Locked state(state_.lock);
      before = state_.modem_status;
    }
    GetModemStatus(0xFF);
    {
      Locked state(state_.lock);
      state_.modem_status |= static_cast<std::uint8_t>(((before ^ state_.modem_status) >> 4) & 0x0F);
    }
    if (!in_event_) anyFired |= StatusPassesUntilQuiet();
  }
  if ((mask & (win::EV_BREAK | win::EV_ERR)) != 0) {
    ReadComErrors();
    if (!in_event_) anyFired |= StatusPassesUntilQuiet();
  }
  FillDispatchRing();
  if (!in_event_) {
    GetModemStatus(0xF0);
    anyFired |= StatusPassesUntilQuiet();
    while (!close_pending_ && DataPass()) {
    }
  }
  if (anyFired) ClearFiredMarks();
}

void TSerBaseDispatcher::ProcessTimerAndStatus() {
  if (close_pending_ || in_event_) return;
  bool delivered = true;
  while (delivered && !close_pending_) {
    delivered = StatusPass();
    delivered = TimerPass() || delivered;
  }
  ClearFiredMarks();
}

// Threads.

void TSerBaseDispatcher::ThreadStarted() {
  ++active_threads_;
  SignalEvent(thread_ack_event_);
}

void TSerBaseDispatcher::ThreadEnded() {
  if (--active_threads_ == 0) threads_active_ = false;
}

void TSerBaseDispatcher::StartDispatchThread() {
  dispatch_running_ = true;
  dispatch_thread_ = std::thread([this] { RunDispatchLoop(); });
}

int TSerBaseDispatcher::ThreadErrorOf(const std::exception_ptr& failure) {
  try {
    std::rethrow_exception(failure);
  } catch (const ESerialException& error) {
    if (error.ErrorCode < 0) return error.ErrorCode;
  } catch (const std::bad_alloc&) {
    return kErrTapiNoMem;
  } catch (...) {
  }
  return kErrDeviceRead;
}

void TSerBaseDispatcher::RecordError(int code) {
  int none = 0;
  thread_error_.compare_exchange_strong(none, code);
  kill_threads_ = true;
}

void TSerBaseDispatcher::WaitForInput() {
  bool ring_full;
  {
    std::lock_guard dispatch(ring_.lock);
    ring_full = ring_.full;
  }
  // With a full ring the queued bytes must wait for the application to read.
  if (ring_full) {
    win::WaitForSingleObject(general_event_, 10);
  } else {
    input_queue_.Wait(50);
  }
}

void TSerBaseDispatcher::RunDispatchLoop() {
  dispatch_tid_ = static_cast<int>(gettid());
  SetThreadSteps(dispatch_tid_, thread_boost_);
  ThreadStarted();
  try {
    while (!kill_threads_ && !close_pending_) {
      WaitForInput();
      if (kill_threads_) break;
      ProcessCommunications();
      ProcessTimerAndStatus();
    }
    if (thread_error_ != 0) DeliverWhatWasRead();
  } catch (...) {
    // An exception ends this thread, not the program: it is shown as the application shows
    // its exceptions, and the line counts as failed, as when a device error ends the threads.
    RecordError(ThreadErrorOf(std::current_exception()));
    ShowException(std::current_exception());
  }
  SignalEvent(thread_ack_event_);
  dispatch_tid_ = 0;
  ThreadEnded();
  dispatch_running_ = false;
}

// The line has gone: every byte read before it went still reaches the handlers, in order, with
// the usual data triggers and data-available events. The read thread may push a last buffer as
// it ends, so the queue counts as drained only once the other threads have ended. A close ends
// the delivery at once.
void TSerBaseDispatcher::DeliverWhatWasRead() {
  while (!stop_requested_ && !close_pending_) {
    bool others_ended = active_threads_ <= 1;
    ProcessCommunications();
    if (others_ended && input_queue_.Count() == 0) return;
    WaitForInput();
  }
}

void TSerBaseDispatcher::StopDispatchThread(win::DWORD maxTicks) {
  stop_requested_ = true;
  if (!dispatch_thread_.joinable()) return;
  // Pumps the calling thread's messages while waiting: the dispatch thread may be sending one to
  // it. Measured on the real clock, since a test's fake clock may stand still meanwhile.
  for (int round = 0; round < 2 && dispatch_running_; ++round) {
    auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(maxTicks * kTickMilliseconds);
    while (dispatch_running_ && std::chrono::steady_clock::now() < until) {
      if (SafeYield() == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    SignalEvent(general_event_);
  }
  // Every wait of the dispatch thread is bounded, so the join ends soon even if it still runs.
  dispatch_thread_.join();
}

}  // namespace dashtune
