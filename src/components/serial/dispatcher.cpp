#include "components/serial/dispatcher.h"

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <mutex>

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
  win::InitializeCriticalSection(&stateLock_);
  win::InitializeCriticalSection(&outputLock_);
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
  killThreads_ = true;
  StopDispatchThread(36);
  {
    std::lock_guard guard(Ports().lock);
    auto& ports = Ports().ports;
    ports[static_cast<std::size_t>(handle_)] = nullptr;
    while (!ports.empty() && ports.back() == nullptr) ports.pop_back();
  }
  CloseEvents();
  win::DeleteCriticalSection(&outputLock_);
  win::DeleteCriticalSection(&stateLock_);
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
  generalEvent_ = win::CreateEventA(nullptr, win::FALSE, win::FALSE, nullptr);
  threadAckEvent_ = win::CreateEventA(nullptr, win::FALSE, win::FALSE, nullptr);
  outputEvent_ = win::CreateEventA(nullptr, win::FALSE, win::FALSE, nullptr);
  flushEvent_ = win::CreateEventA(nullptr, win::FALSE, win::FALSE, nullptr);
  return generalEvent_ && threadAckEvent_ && outputEvent_ && flushEvent_;
}

void TSerBaseDispatcher::CloseEvents() {
  for (win::HANDLE* event :
       {&generalEvent_, &threadAckEvent_, &outputEvent_, &flushEvent_}) {
    if (*event != nullptr) win::CloseHandle(*event);
    *event = nullptr;
  }
}

void TSerBaseDispatcher::SignalEvent(win::HANDLE event) {
  if (event != nullptr) win::SetEvent(event);
}

void TSerBaseDispatcher::ResetRings() {
  std::lock_guard dispatch(dispatchLock_);
  head_ = tail_ = 0;
  ringFull_ = false;
  peekMode_ = false;
  peekOffset_ = 0;
  received_ = scanned_ = 0;
  lastAvail_ = UINT64_MAX;
}

void TSerBaseDispatcher::ClearTriggers() {
  Locked state(stateLock_);
  availThreshold_ = 0;
  timerTriggers_.clear();
  dataTriggers_.clear();
  statusTriggers_.clear();
  statusFired_ = false;
}

int TSerBaseDispatcher::Open(const std::string& path, win::DWORD baud, int flags, int outSize, int inSize,
                             int stopBits, int dataBits, int parity) {
  if (outSize < 1 || inSize < 1) return kErrBadArgument;
  ResetRings();
  inEvent_ = false;
  handlerDeletedPending_ = false;
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
    std::lock_guard dispatch(dispatchLock_);
    ring_.assign(kRing, 0);
  }
  {
    Locked output(outputLock_);
    outBuffer_.assign(static_cast<std::size_t>(outSize), 0);
    outHead_ = outTail_ = 0;
    outFull_ = false;
  }
  inSize_ = inSize;
  outSize_ = outSize;
  outSent_ = false;
  closePending_ = false;
  rs485_ = false;
  {
    Locked state(stateLock_);
    lineErrors_ = 0;
    GetComState(dcb_);
    dtrFlow_ = (flags & kOpenDTRFlow) != 0;
    if (!dtrFlow_) dtrState_ = (flags & kOpenDTR) != 0;
    rtsFlow_ = (flags & kOpenRTSFlow) != 0;
    if (!rtsFlow_) rtsState_ = (flags & kOpenRTS) != 0;
  }
  ClearTriggers();
  ResetRings();
  GetModemStatus(0xF0);
  baud_ = 115200;
  {
    // Nothing has been sent yet, so the settings apply at once and in full.
    Locked state(stateLock_);
    GetComState(dcb_);
    ApplyLineValues(dcb_, baud, parity, stopBits, dataBits);
  }
  if (int result = WriteComState(); result < 0) {
    Close();
    return result;
  }
  ReadComErrors();
  {
    Locked state(stateLock_);
    trace_.Stop();
    tracing_ = false;
    logActive_ = false;
    logCapacity_ = 0;
    openTime_ = SerTimeGetTime();
  }
  logQueue_.Clear();
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
  if (inEvent_) {
    closePending_ = true;  // the rings are released once the dispatch thread has ended
  } else {
    ReleaseBuffers();
  }
}

void TSerBaseDispatcher::ResetInputAfterFlush() {
  {
    std::lock_guard dispatch(dispatchLock_);
    if (!peekMode_) {
      tail_ = head_;
      ringFull_ = false;
    }
    scanned_ = received_;
  }
  Locked state(stateLock_);
  for (auto& trigger : dataTriggers_) trigger.Pattern.Matched = 0;
}

void TSerBaseDispatcher::ReleaseBuffers() {
  if (threadsActive_ || dispatchThread_.joinable()) StopDispatcher();
  {
    std::lock_guard dispatch(dispatchLock_);
    ring_.clear();
    ring_.shrink_to_fit();
    head_ = tail_ = 0;
    ringFull_ = false;
  }
  Locked output(outputLock_);
  outBuffer_.clear();
  outBuffer_.shrink_to_fit();
  outHead_ = outTail_ = 0;
  outFull_ = false;
}

int TSerBaseDispatcher::SetLine(win::DWORD baud, int parity, int stopBits, int dataBits) {
  win::DCB wanted;
  {
    Locked state(stateLock_);
    GetComState(dcb_);
    wanted = dcb_;
    ApplyLineValues(wanted, baud, parity, stopBits, dataBits);
    if (wanted.BaudRate == dcb_.BaudRate && wanted.Parity == dcb_.Parity && wanted.ByteSize == dcb_.ByteSize &&
        wanted.StopBits == dcb_.StopBits && wanted.Flags == dcb_.Flags) {
      return kOK;
    }
  }
  DrainOutput();
  Locked state(stateLock_);
  GetComState(dcb_);
  dcb_.Flags = wanted.Flags;
  dcb_.BaudRate = wanted.BaudRate;
  dcb_.Parity = wanted.Parity;
  dcb_.ByteSize = wanted.ByteSize;
  dcb_.StopBits = wanted.StopBits;
  return WriteComState();
}

void TSerBaseDispatcher::DrainOutput() {
  for (int i = 0; i < kDrainPolls && OutBufUsed() > 0; ++i) win::Sleep(kDrainPollMs);
  win::DCB current;
  win::DWORD baud;
  {
    Locked state(stateLock_);
    current = dcb_;
    baud = baud_;
  }
  win::Sleep(DrainSettleMilliseconds(baud, current.ByteSize, current.Parity, current.StopBits));
}

int TSerBaseDispatcher::WriteComState() {
  Locked state(stateLock_);
  if (!dtrFlow_) {
    dcb_.Flags &= ~win::DCB_DTR_CONTROL_MASK;
    if (dtrState_) dcb_.Flags |= win::DCB_DTR_CONTROL_ENABLE;
  }
  if (!rtsFlow_) {
    dcb_.Flags &= ~win::DCB_RTS_CONTROL_MASK;
    if (rtsState_) dcb_.Flags |= win::DCB_RTS_CONTROL_ENABLE;
  }
  if (int result = SetComState(dcb_); result < 0) return result;
  baud_ = dcb_.BaudRate;
  ReapplyDTRAndRTS();
  return kOK;
}

void TSerBaseDispatcher::ReapplyDTRAndRTS() {
  SetDTR(dtrState_);
  if (!rs485_) SetRTS(rtsState_);
}

void TSerBaseDispatcher::GetLine(win::DWORD& baud, int& parity, int& dataBits, int& stopBits) {
  Locked state(stateLock_);
  GetComState(dcb_);
  baud = BaudFromCode(dcb_.BaudRate);
  parity = dcb_.Parity;
  dataBits = dcb_.ByteSize;
  stopBits = dcb_.StopBits != win::ONESTOPBIT ? 2 : 1;
}

int TSerBaseDispatcher::SetDTR(bool on) {
  Locked state(stateLock_);
  if (dtrFlow_) return 1;
  if (EscapeComFunction(on ? win::SETDTR : win::CLRDTR) < 0) return kErrBadArgument;
  dtrState_ = on;
  return kOK;
}

int TSerBaseDispatcher::SetRTS(bool on) {
  Locked state(stateLock_);
  if (rtsFlow_) return 1;
  if (EscapeComFunction(on ? win::SETRTS : win::CLRRTS) < 0) return kErrBadArgument;
  rtsState_ = on;
  return kOK;
}

int TSerBaseDispatcher::HardwareFlow(int fullMark, int resumeMark, int options) {
  Locked state(stateLock_);
  if (fullMark > inSize_ || fullMark < resumeMark) return kErrBadArgument;
  GetComState(dcb_);
  dcb_.Flags &= ~(win::DCB_DTR_CONTROL_MASK | win::DCB_RTS_CONTROL_MASK | win::DCB_OUTX_CTS_FLOW |
                  win::DCB_OUTX_DSR_FLOW);
  dtrFlow_ = (options & kHwFlowUseDTR) != 0;
  if (dtrFlow_) {
    dcb_.Flags |= win::DCB_DTR_CONTROL_HANDSHAKE;
  } else if (dtrState_) {
    dcb_.Flags |= win::DCB_DTR_CONTROL_ENABLE;
  }
  rtsFlow_ = (options & kHwFlowUseRTS) != 0;
  if (rtsFlow_) {
    dcb_.Flags |= win::DCB_RTS_CONTROL_HANDSHAKE;
  } else if (rs485_) {
    dcb_.Flags |= win::DCB_RTS_CONTROL_TOGGLE;
    rtsFlow_ = true;
  } else if (rtsState_) {
    dcb_.Flags |= win::DCB_RTS_CONTROL_ENABLE;
  }
  dcb_.XoffLim = static_cast<win::WORD>(inSize_ - fullMark);
  dcb_.XonLim = static_cast<win::WORD>(resumeMark);
  if ((options & kHwFlowRequireDSR) != 0) dcb_.Flags |= win::DCB_OUTX_DSR_FLOW;
  if ((options & kHwFlowRequireCTS) != 0) dcb_.Flags |= win::DCB_OUTX_CTS_FLOW;
  return WriteComState();
}

int TSerBaseDispatcher::SoftwareFlow(int fullMark, int resumeMark, int mode) {
  Locked state(stateLock_);
  if (fullMark > inSize_ || fullMark < resumeMark) return kErrBadArgument;
  GetComState(dcb_);
  if ((mode & kSwFlowReceive) != 0) {
    dcb_.Flags |= win::DCB_INX;
    dcb_.XoffLim = static_cast<win::WORD>(inSize_ - fullMark);
    dcb_.XonLim = static_cast<win::WORD>(resumeMark);
  }
  if ((mode & kSwFlowTransmit) != 0) dcb_.Flags |= win::DCB_OUTX;
  if ((mode & (kSwFlowReceive | kSwFlowTransmit)) != 0) {
    dcb_.XonChar = 17;
    dcb_.XoffChar = 19;
  }
  return WriteComState();
}

int TSerBaseDispatcher::SoftwareFlowOff() {
  Locked state(stateLock_);
  GetComState(dcb_);
  dcb_.Flags &= ~(win::DCB_INX | win::DCB_OUTX);
  return WriteComState();
}

int TSerBaseDispatcher::SetXOnChar(std::uint8_t c) {
  Locked state(stateLock_);
  GetComState(dcb_);
  dcb_.XonChar = static_cast<char>(c);
  return WriteComState();
}

int TSerBaseDispatcher::SetXOffChar(std::uint8_t c) {
  Locked state(stateLock_);
  GetComState(dcb_);
  dcb_.XoffChar = static_cast<char>(c);
  return WriteComState();
}

int TSerBaseDispatcher::CharReady() {
  std::lock_guard dispatch(dispatchLock_);
  return ring_.empty() ? 0 : UnreadLocked();
}

void TSerBaseDispatcher::TraceReceived(std::uint8_t c) {
  Locked state(stateLock_);
  trace_.Add(kTraceReceive, c);
}

int TSerBaseDispatcher::PeekChar(std::uint8_t& c, int n) {
  std::lock_guard dispatch(dispatchLock_);
  std::size_t between = (head_ + kRing - tail_) % kRing;
  if (between == 0 && ringFull_) between = kRing;
  if (ring_.empty() || n < 1 || static_cast<std::size_t>(n) > between) return kErrBufferIsEmpty;
  c = ring_[(tail_ + static_cast<std::size_t>(n) - 1) % kRing];
  return kOK;
}

int TSerBaseDispatcher::PutBlock(const std::uint8_t* bytes, int count) {
  if (count == 0) return kOK;
  if (count < 0 || bytes == nullptr) return kErrBadArgument;
  {
    Locked output(outputLock_);
    if (outBuffer_.empty()) return kErrCommNotOpen;
    if (count > OutBuffFree()) return kErrOutputBufferTooSmall;
    if (WriteCom(bytes, count) < 1) {
      win::LeaveCriticalSection(&outputLock_);
      ReadComErrors();
      win::EnterCriticalSection(&outputLock_);
      return kErrPutBlockFail;
    }
    outSent_ = true;
  }
  Locked state(stateLock_);
  AddLogEntry(kLogKindData, kLogCodeSent, bytes, static_cast<std::size_t>(count), static_cast<win::DWORD>(count));
  for (int i = 0; i < count; ++i) trace_.Add(kTraceTransmit, bytes[i]);
  return kOK;
}

int TSerBaseDispatcher::OutBuffFree() {
  Locked output(outputLock_);
  return std::max(0, outSize_ - OutBufUsed());
}

bool TSerBaseDispatcher::ReadComErrors() {
  win::COMSTAT status;
  int errors = GetComError(status);
  Locked state(stateLock_);
  lineErrors_ |= static_cast<std::uint8_t>(errors & 0x1F);
  return (errors & 0x1F) != 0;
}

int TSerBaseDispatcher::LineError() {
  Locked state(stateLock_);
  int result = 0;
  if ((lineErrors_ & win::CE_RXOVER) != 0) {
    result = kLineErrorQueueOverflow;
  } else if ((lineErrors_ & win::CE_OVERRUN) != 0) {
    result = kLineErrorOverrun;
  } else if ((lineErrors_ & win::CE_RXPARITY) != 0) {
    result = kLineErrorParity;
  } else if ((lineErrors_ & win::CE_FRAME) != 0) {
    result = kLineErrorFraming;
  } else if ((lineErrors_ & win::CE_BREAK) != 0) {
    result = kLineErrorBreak;
  }
  if (result != 0) lineErrors_ &= win::CE_BREAK;
  return result;
}

bool TSerBaseDispatcher::LineBreak() {
  Locked state(stateLock_);
  bool seen = (lineErrors_ & win::CE_BREAK) != 0;
  lineErrors_ &= static_cast<std::uint8_t>(~win::CE_BREAK);
  return seen;
}

std::uint8_t TSerBaseDispatcher::GetModemStatus(std::uint8_t keepMask) {
  win::DWORD lines = ReadModemStatus();
  Locked state(stateLock_);
  modemStatus_ = static_cast<std::uint8_t>((modemStatus_ & 0x0F) | (lines & 0xF0));
  if (ringFlagged_) {
    modemStatus_ |= 0x04;
    ringFlagged_ = false;
  }
  std::uint8_t result = modemStatus_;
  modemStatus_ &= keepMask;
  return result;
}

void TSerBaseDispatcher::RegisterWindowHandler(win::HWND window) {
  Locked state(stateLock_);
  windowHandlers_.push_back(WindowHandler{window, false});
  UpdateHandlerFlags(0);
}

void TSerBaseDispatcher::DeregisterWindowHandler(win::HWND window) {
  Locked state(stateLock_);
  for (auto it = windowHandlers_.begin(); it != windowHandlers_.end(); ++it) {
    if (it->Window != window || it->Deleted) continue;
    if (inEvent_) {
      it->Deleted = true;
      handlerDeletedPending_ = true;
    } else {
      windowHandlers_.erase(it);
    }
    break;
  }
  UpdateHandlerFlags(0);
}

void TSerBaseDispatcher::UpdateHandlerFlags(int flag) {
  Locked state(stateLock_);
  if (flag == 1) ownWindowWantsEvents_ = true;
  if (flag == 2) ownWindowWantsEvents_ = false;
  std::size_t live = std::count_if(windowHandlers_.begin(), windowHandlers_.end(),
                                   [](const WindowHandler& handler) { return !handler.Deleted; });
  handlersNeedService_ = live >= 2 || ownWindowWantsEvents_;
}

void TSerBaseDispatcher::SetThreadBoost(std::uint8_t boost) {
  threadBoost_ = boost;
  ApplyThreadPriorities();
}

void TSerBaseDispatcher::ApplyThreadPriorities() {
  if (int tid = dispatchTid_.load(); tid != 0) SetThreadSteps(tid, threadBoost_);
}

void TSerBaseDispatcher::SetThreadSteps(int tid, int steps) {
  // A step is one nice level; a refusal (no privilege) leaves the thread as it was.
  setpriority(PRIO_PROCESS, static_cast<id_t>(tid), -std::clamp(steps, 0, 20));
}

void TSerBaseDispatcher::SetAvailThreshold(std::uint16_t threshold) {
  Locked state(stateLock_);
  availThreshold_ = threshold;
}

TTriggerSnapshot TSerBaseDispatcher::SaveTriggers() {
  Locked state(stateLock_);
  return TTriggerSnapshot{availThreshold_, timerTriggers_, dataTriggers_, statusTriggers_};
}

void TSerBaseDispatcher::RestoreTriggers(const TTriggerSnapshot& snapshot) {
  Locked state(stateLock_);
  availThreshold_ = snapshot.AvailThreshold;
  timerTriggers_ = snapshot.TimerTriggers;
  dataTriggers_ = snapshot.DataTriggers;
  statusTriggers_ = snapshot.StatusTriggers;
}

void TSerBaseDispatcher::SetRS485Mode(bool on) {
  rs485_ = on;
  ApplyThreadPriorities();
}

// Trace and log.

int TSerBaseDispatcher::StartTracing(int capacity) {
  Locked state(stateLock_);
  int result = trace_.Start(capacity);
  tracing_ = trace_.Active();
  return result;
}

void TSerBaseDispatcher::StopTracing() {
  Locked state(stateLock_);
  trace_.Stop();
  tracing_ = false;
}

void TSerBaseDispatcher::ClearTracing() {
  Locked state(stateLock_);
  trace_.Clear();
}

void TSerBaseDispatcher::PauseTracing() {
  Locked state(stateLock_);
  trace_.Pause();
  tracing_ = false;
}

void TSerBaseDispatcher::ResumeTracing() {
  Locked state(stateLock_);
  trace_.Resume();
  tracing_ = trace_.Active();
}

int TSerBaseDispatcher::DumpTrace(const std::string& fileName, bool append, bool allHex, bool hexUnprintable) {
  std::vector<TraceEntry> entries;
  {
    Locked state(stateLock_);
    if (!trace_.Exists()) return kOK;
    entries = trace_.Entries();
    trace_.Clear();
  }
  return WriteTextFile(fileName, append, FormatTraceLines(entries, allHex, hexUnprintable));
}

int TSerBaseDispatcher::StartLogging(int capacity) {
  if (capacity < 0) return kErrBadArgument;
  logQueue_.Clear();
  Locked state(stateLock_);
  logCapacity_ = capacity;
  logActive_ = true;
  return kOK;
}

void TSerBaseDispatcher::StopLogging() {
  {
    Locked state(stateLock_);
    logActive_ = false;
  }
  logQueue_.Clear();
}

void TSerBaseDispatcher::ClearLogging() { logQueue_.Clear(); }

void TSerBaseDispatcher::PauseLogging() {
  Locked state(stateLock_);
  logActive_ = false;
}

void TSerBaseDispatcher::ResumeLogging() {
  Locked state(stateLock_);
  logActive_ = true;
}

void TSerBaseDispatcher::AddLogEntry(std::uint8_t kind, std::uint16_t code, const void* data, std::size_t size,
                                     win::DWORD value) {
  Locked state(stateLock_);
  if (!logActive_) return;
  if (logCapacity_ > 0) logQueue_.TrimToCount(static_cast<std::size_t>(logCapacity_ - 1));
  logQueue_.Push(std::make_unique<TLogBuffer>(kind, code, SerTimeGetTime() - openTime_, value, data, size));
}

int TSerBaseDispatcher::DumpLog(const std::string& fileName, bool append, bool hex) {
  std::vector<std::string> lines = LogHeaderLines(deviceName_);
  logQueue_.ForEach([&lines, hex](const TIOBuffer& element) {
    if (const auto* entry = dynamic_cast<const TLogBuffer*>(&element)) lines.push_back(FormatLogEntry(*entry, hex));
  });
  int result = WriteTextFile(fileName, append, lines);
  logQueue_.Clear();
  return result;
}

// Event delivery.

bool TSerBaseDispatcher::SendEvent(win::UINT msg, win::WPARAM wParam, win::WORD data) {
  std::vector<win::HWND> windows;
  {
    Locked state(stateLock_);
    if (!handlersNeedService_) return true;
    inEvent_ = true;
    for (const auto& handler : windowHandlers_) {
      if (!handler.Deleted) windows.push_back(handler.Window);
    }
    if (windows.size() < 2 && !ownWindowWantsEvents_) windows.clear();
  }
  bool peek = msg == APW_TRIGGERAVAIL || msg == APW_TRIGGERDATA;
  {
    std::lock_guard dispatch(dispatchLock_);
    largestConsumed_ = 0;
    peekMode_ = peek;
    peekOffset_ = 0;
  }
  auto lParam = static_cast<win::LPARAM>((static_cast<win::DWORD>(handle_) << 16) + data);
  bool result = true;
  bool stopped = false;
  for (win::HWND window : windows) {
    {
      std::lock_guard dispatch(dispatchLock_);
      peekOffset_ = 0;
    }
    win::DWORD_PTR answer = 0;
    win::SendMessageTimeoutA(window, msg, wParam, lParam, win::SMTO_BLOCK, kSendTimeoutMs, &answer);
    if (closePending_) {
      result = false;
      stopped = true;
      break;
    }
    std::lock_guard dispatch(dispatchLock_);
    largestConsumed_ = std::max(largestConsumed_, peekOffset_);
  }
  if (peek && !stopped) {
    std::lock_guard dispatch(dispatchLock_);
    peekMode_ = false;
    peekOffset_ = 0;
    tail_ = (tail_ + largestConsumed_) % kRing;
    if (largestConsumed_ > 0) ringFull_ = false;
    if (msg == APW_TRIGGERAVAIL) result = largestConsumed_ == wParam;
  }
  Locked state(stateLock_);
  inEvent_ = false;
  if (handlerDeletedPending_) RemoveDeletedHandlers();
  return result;
}

void TSerBaseDispatcher::RemoveDeletedHandlers() {
  std::erase_if(windowHandlers_, [](const WindowHandler& handler) { return handler.Deleted; });
  handlerDeletedPending_ = false;
  UpdateHandlerFlags(0);
}

bool TSerBaseDispatcher::DataPass() {
  std::vector<int> matched;
  int availCount = -1;
  {
    Locked state(stateLock_);
    std::lock_guard dispatch(dispatchLock_);
    if (ring_.empty()) return false;
    bool anyActive = std::any_of(dataTriggers_.begin(), dataTriggers_.end(),
                                 [](const TDataTrigger& trigger) { return trigger.Active; });
    std::uint64_t position = anyActive ? scanned_ : received_;
    for (; position != received_; ++position) {
      std::uint8_t byte = ring_[position % kRing];
      for (auto& trigger : dataTriggers_) {
        if (trigger.Active && AdvanceMatch(trigger.Pattern, byte)) matched.push_back(trigger.Handle);
      }
      if (!matched.empty()) break;
    }
    if (!matched.empty()) {
      int upToMatch = static_cast<int>((position % kRing + kRing - tail_) % kRing) + 1;
      if (availThreshold_ != 0 && lastAvail_ != position && upToMatch >= availThreshold_) {
        availCount = upToMatch;
        lastAvail_ = position;
      }
      scanned_ = position + 1;
    } else {
      scanned_ = received_;
      int unread = UnreadLocked();
      if (availThreshold_ == 0 || lastAvail_ == scanned_ || unread < availThreshold_ || unread == 0) return false;
      lastAvail_ = scanned_;
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
    if (closePending_) break;
    AddLogEntry(kLogKindTrigger, kLogCodeDataMatch, nullptr, 0, static_cast<win::DWORD>(handle));
    SendEvent(APW_TRIGGERDATA, static_cast<win::WPARAM>(handle), 0);
  }
  return true;
}

bool TSerBaseDispatcher::StatusPass() {
  int handle = 0;
  win::WORD data = 0;
  {
    Locked state(stateLock_);
    for (auto& trigger : statusTriggers_) {
      if (!trigger.Armed || trigger.Fired) continue;
      bool fire = false;
      switch (trigger.Kind) {
        case kStatusModem:
          fire = (((trigger.Value & 0xFF) ^ modemStatus_) & (trigger.Value >> 8)) != 0;
          break;
        case kStatusLine:
          if ((trigger.Value & lineErrors_) != 0) {
            trigger.Value = lineErrors_;
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
          fire = outSent_.exchange(false);
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
      statusFired_ = true;
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
    Locked state(stateLock_);
    for (auto& trigger : timerTriggers_) {
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
  Locked state(stateLock_);
  if (!statusFired_) return;
  for (auto& trigger : statusTriggers_) trigger.Fired = false;
  statusFired_ = false;
}

bool TSerBaseDispatcher::StatusPassesUntilQuiet() {
  bool any = false;
  while (!closePending_ && StatusPass()) any = true;
  return any;
}

bool TSerBaseDispatcher::FillDispatchRing() {
  bool full = false;
  {
    std::lock_guard dispatch(dispatchLock_);
    if (ring_.empty()) return false;
    full = ringFull_;
    if (!full) {
      int waiting = InQueueCount();
      if (waiting <= 0) return false;
      std::size_t free = 0;
      std::size_t piece = 0;
      if (head_ == tail_) {
        free = kRing;
        piece = kRing - head_;
      } else if (tail_ > head_) {
        free = piece = tail_ - head_;
      } else {
        free = tail_ + kRing - head_;
        piece = kRing - head_;
      }
      std::size_t take = std::min(free, static_cast<std::size_t>(waiting));
      std::size_t first = std::min(take, piece);
      std::size_t total = 0;
      int got = std::max(0, ReadCom(ring_.data() + head_, static_cast<int>(first)));
      head_ = (head_ + static_cast<std::size_t>(got)) % kRing;
      received_ += static_cast<std::uint64_t>(got);
      total += static_cast<std::size_t>(got);
      if (static_cast<std::size_t>(got) == first && take > piece) {
        int more = std::max(0, ReadCom(ring_.data() + head_, static_cast<int>(take - piece)));
        head_ = (head_ + static_cast<std::size_t>(more)) % kRing;
        received_ += static_cast<std::uint64_t>(more);
        total += static_cast<std::size_t>(more);
      }
      if (total > 0) ringFull_ = head_ == tail_;
      return true;
    }
  }
  static constexpr char kFullText[] = "Dispatch buffer full.";
  AddLogEntry(kLogKindDispatch, kLogCodeBufferFull, kFullText, sizeof kFullText - 1, 0);
  return true;
}

void TSerBaseDispatcher::ProcessCommunications() {
  win::DWORD mask = 0;
  if (TIOBuffer* first = inputQueue_.Peek()) {
    if (auto* status = dynamic_cast<TStatusBuffer*>(first)) {
      mask = status->EventMask;
      inputQueue_.Pop();
    } else {
      inputQueue_.Release(first);
    }
  }
  if ((mask & (win::EV_RING | 0x2000)) != 0) {
    Locked state(stateLock_);
    ringFlagged_ = true;
  }
  bool anyFired = false;
  if ((mask & 0x2138) != 0) {
    std::uint8_t before;
    {
      Locked state(stateLock_);
      before = modemStatus_;
    }
    GetModemStatus(0xFF);
    {
      Locked state(stateLock_);
      modemStatus_ |= static_cast<std::uint8_t>(((before ^ modemStatus_) >> 4) & 0x0F);
    }
    if (!inEvent_) anyFired |= StatusPassesUntilQuiet();
  }
  if ((mask & (win::EV_BREAK | win::EV_ERR)) != 0) {
    ReadComErrors();
    if (!inEvent_) anyFired |= StatusPassesUntilQuiet();
  }
  FillDispatchRing();
  if (!inEvent_) {
    GetModemStatus(0xF0);
    anyFired |= StatusPassesUntilQuiet();
    while (!closePending_ && DataPass()) {
    }
  }
  if (anyFired) ClearFiredMarks();
}

void TSerBaseDispatcher::ProcessTimerAndStatus() {
  if (closePending_ || inEvent_) return;
  bool delivered = true;
  while (delivered && !closePending_) {
    delivered = StatusPass();
    delivered = TimerPass() || delivered;
  }
  ClearFiredMarks();
}

// Threads.

void TSerBaseDispatcher::ThreadStarted() {
  ++activeThreads_;
  SignalEvent(threadAckEvent_);
}

void TSerBaseDispatcher::ThreadEnded() {
  if (--activeThreads_ == 0) threadsActive_ = false;
}

void TSerBaseDispatcher::StartDispatchThread() {
  dispatchRunning_ = true;
  dispatchThread_ = std::thread([this] { RunDispatchLoop(); });
}

void TSerBaseDispatcher::RunDispatchLoop() {
  dispatchTid_ = static_cast<int>(gettid());
  SetThreadSteps(dispatchTid_, threadBoost_);
  ThreadStarted();
  while (!killThreads_ && !closePending_) {
    bool ringFull;
    {
      std::lock_guard dispatch(dispatchLock_);
      ringFull = ringFull_;
    }
    // With a full ring the queued bytes must wait for the application to read.
    if (ringFull) {
      win::WaitForSingleObject(generalEvent_, 10);
    } else {
      inputQueue_.Wait(50);
    }
    if (killThreads_) break;
    ProcessCommunications();
    ProcessTimerAndStatus();
  }
  SignalEvent(threadAckEvent_);
  dispatchTid_ = 0;
  ThreadEnded();
  dispatchRunning_ = false;
}

void TSerBaseDispatcher::StopDispatchThread(win::DWORD maxTicks) {
  if (!dispatchThread_.joinable()) return;
  // Pumps the calling thread's messages while waiting: the dispatch thread may be sending one to
  // it. Measured on the real clock, since a test's fake clock may stand still meanwhile.
  for (int round = 0; round < 2 && dispatchRunning_; ++round) {
    auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(maxTicks * kTickMilliseconds);
    while (dispatchRunning_ && std::chrono::steady_clock::now() < until) {
      if (SafeYield() == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    SignalEvent(generalEvent_);
  }
  // Every wait of the dispatch thread is bounded, so the join ends soon even if it still runs.
  dispatchThread_.join();
}

}  // namespace dashtune
