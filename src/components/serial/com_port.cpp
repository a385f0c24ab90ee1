#include "components/serial/com_port.h"

#include <exception>
#include <mutex>

#include "classlib/forms.h"
#include "components/serial/serial_errors.h"
#include "components/serial/serial_misc.h"
#include "components/serial/serial_win32.h"
#include "platform/user/messages.h"
#include "platform/user/window.h"

namespace dashtune {
namespace {

using namespace serial;

constexpr const char* kWindowClassName = "serComWindow";
constexpr const char* kDefaultFileBase = "SerialPort";
constexpr int kProbeQueueSize = 64;

win::LRESULT SerComWindowProc(win::HWND window, win::UINT msg, win::WPARAM wParam, win::LPARAM lParam) {
  if ((msg < APW_TRIGGERAVAIL || msg > APW_TRIGGERSTATUS) && msg != APW_CLOSEPENDING) {
    return win::DefWindowProcA(window, msg, wParam, lParam);
  }
  TSerBaseDispatcher::LockPortList();
  try {
    TSerBaseDispatcher* dispatcher = TSerBaseDispatcher::PortAt(win::HIWORD(static_cast<win::DWORD_PTR>(lParam)));
    auto* port = dispatcher != nullptr ? dynamic_cast<TSerCustomComPort*>(dispatcher->Owner()) : nullptr;
    if (port != nullptr) port->HandleWindowMessage(msg, wParam, lParam);
  } catch (...) {
    ShowException(std::current_exception());
  }
  TSerBaseDispatcher::UnlockPortList();
  return 0;
}

void RegisterWindowClass() {
  static std::once_flag once;
  std::call_once(once, [] {
    win::WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = &SerComWindowProc;
    windowClass.cbWndExtra = 4;
    windowClass.hInstance = nullptr;
    windowClass.lpszClassName = kWindowClassName;
    if (win::RegisterClassA(&windowClass) == 0) CheckException(nullptr, -1006);
  });
}

// The flow marks passed to the dispatcher: zero or out-of-range marks become the given shares
// of the input size.
void FlowMarks(win::WORD inSize, win::WORD full, win::WORD resume, double fullShare, double resumeShare,
               int& fullMark, int& resumeMark) {
  fullMark = full;
  resumeMark = resume;
  if (fullMark == 0 || fullMark > inSize) fullMark = static_cast<win::WORD>(fullShare * inSize);
  if (resumeMark == 0 || resumeMark > fullMark) resumeMark = static_cast<win::WORD>(resumeShare * inSize);
}

}  // namespace

TSerCustomComPort::TSerCustomComPort(TComponent* AOwner)
    : TSerBaseComponent(AOwner),
      traceFileName_(std::string(kDefaultFileBase) + ".TRC"),
      logFileName_(std::string(kDefaultFileBase) + ".LOG") {}

TSerCustomComPort::~TSerCustomComPort() {
  try {
    if (portState_ == psOpen) DonePort();
  } catch (const Exception&) {
    // A failing trace or log dump must not keep the port open.
  }
  if (dispatcher_) FinishClose();
}

bool TSerCustomComPort::Loading() const {
  TComponentState state = GetComponentState();
  return state.Contains(csLoading) || state.Contains(csDesigning);
}

void TSerCustomComPort::Check(int code) const { CheckException(this, code); }

void TSerCustomComPort::Loaded() {
  TSerBaseComponent::Loaded();
  if ((open_ || openAtLoad_) && !GetComponentState().Contains(csDesigning)) {
    open_ = false;
    openAtLoad_ = false;
    SetOpen(true);
  }
}

void TSerCustomComPort::Assign(const TPersistent* Source) {
  const auto* source = dynamic_cast<const TSerCustomComPort*>(Source);
  if (source == nullptr) {
    TSerBaseComponent::Assign(Source);
    return;
  }
  if (source->dispatcher_ && source->portState_ == psOpen) triggerSnapshot_ = source->dispatcher_->SaveTriggers();
  force_ = source->force_;
  deviceLayer_ = source->deviceLayer_;
  comNumber_ = source->comNumber_;
  baud_ = source->baud_;
  parity_ = source->parity_;
  dataBits_ = source->dataBits_;
  stopBits_ = source->stopBits_;
  inSize_ = source->inSize_;
  outSize_ = source->outSize_;
  autoOpen_ = source->autoOpen_;
  zeroPortAllowed_ = source->zeroPortAllowed_;
  rs485_ = source->rs485_;
  threadBoost_ = source->threadBoost_;
  dtr_ = source->dtr_;
  rts_ = source->rts_;
  flowFullMark_ = source->flowFullMark_;
  flowResumeMark_ = source->flowResumeMark_;
  hardwareFlow_ = source->hardwareFlow_;
  softwareFlow_ = source->softwareFlow_;
  xonChar_ = source->xonChar_;
  xoffChar_ = source->xoffChar_;
  tracing_ = source->tracing_ == tlOn ? tlOn : tlOff;
  traceEntries_ = source->traceEntries_;
  traceFileName_ = source->traceFileName_;
  TraceAllHex = source->TraceAllHex;
  TraceHexUnprintable = source->TraceHexUnprintable;
  logging_ = source->logging_ == tlOn ? tlOn : tlOff;
  logEntries_ = source->logEntries_;
  logFileName_ = source->logFileName_;
  LogAllHex = source->LogAllHex;
  LogHexUnprintable = source->LogHexUnprintable;
  availThreshold_ = source->availThreshold_;
  SetOnTrigger(source->onTrigger_);
  SetOnTriggerAvail(source->onTriggerAvail_);
  SetOnTriggerData(source->onTriggerData_);
  SetOnTriggerStatus(source->onTriggerStatus_);
  SetOnTriggerTimer(source->onTriggerTimer_);
  SetOnLineError(source->onLineError_);
  SetOnModemStatus(source->onModemStatus_);
  SetOnOutputFree(source->onOutputFree_);
  SetOnOutputUsed(source->onOutputUsed_);
  SetOnOutputSent(source->onOutputSent_);
  OnPortOpen = source->OnPortOpen;
  OnPortClose = source->OnPortClose;
  tapiUse_ = source->tapiUse_;
  if (portState_ == psOpen) DonePort();
  open_ = false;
}

// Opening and closing.

void TSerCustomComPort::ValidateComport() {
  if (comNumber_ == 0 && !zeroPortAllowed_) Check(kErrNoPortSelected);
}

std::unique_ptr<TSerBaseDispatcher> TSerCustomComPort::MakeDispatcher() {
  if (DispatcherCreator) return DispatcherCreator(this);
  if (deviceLayer_ != 0) throw ENullApi(kErrNullApi);
  if (tapiUse_ == 2) return std::make_unique<TSerTAPI32Dispatcher>(this, lineHandle_);
  return std::make_unique<TSerWin32Dispatcher>(this);
}

void TSerCustomComPort::CreateHiddenWindow() {
  RegisterWindowClass();
  window_ = win::CreateWindowExA(0, kWindowClassName, "", 0, 0, 0, 0, 0, nullptr, nullptr,
                                 nullptr, nullptr);
  if (window_ == nullptr) Check(-1006);
}

void TSerCustomComPort::DestroyHiddenWindow() {
  if (window_ == nullptr) return;
  win::DestroyWindow(window_);
  window_ = nullptr;
}

void TSerCustomComPort::InitPort() {
  if (tapiUse_ != 2) ValidateComport();
  std::unique_ptr<TSerBaseDispatcher> dispatcher = MakeDispatcher();
  if (!dispatcher) throw ENullApi(kErrNullApi);
  dispatcher->SetDeviceName("COM" + std::to_string(comNumber_));
  if (tapiUse_ == 2 && lineHandle_ == nullptr) Check(kErrNotOpenedByTapi);
  dispatcher_ = std::move(dispatcher);
  // Event delivery is in place before the threads start, so the first bytes are announced.
  CreateHiddenWindow();
  dispatcher_->RegisterWindowHandler(window_);
  dispatcher_->UpdateHandlerFlags(AnyTriggerEventAssigned() ? 1 : 2);
  int flags = (dtr_ ? kOpenDTR : 0) + (rts_ ? kOpenRTS : 0) + (hardwareFlow_.Contains(hfUseDTR) ? kOpenDTRFlow : 0) +
              (hardwareFlow_.Contains(hfUseRTS) ? kOpenRTSFlow : 0);
  std::string path = tapiUse_ == 2 ? std::string() : "\\\\.\\COM" + std::to_string(comNumber_);
  int result = dispatcher_->Open(path, static_cast<win::DWORD>(baud_), flags, outSize_, inSize_, stopBits_,
                                 dataBits_, parity_);
  if (result != 0) {
    dispatcher_->DeregisterWindowHandler(window_);
    DestroyHiddenWindow();
    dispatcher_.reset();
    if (result == kErrAccessDenied) result = kErrAlreadyOpen;
    if (result == kErrFileNotFound || result == kErrPathNotFound) result = kErrBadId;
    Check(result);
    return;
  }
  if (tapiUse_ == 2) {
    win::DWORD baud = 0;
    int parity = 0;
    int dataBits = 0;
    int stopBits = 0;
    dispatcher_->GetLine(baud, parity, dataBits, stopBits);
    baud_ = static_cast<std::int32_t>(baud);
    parity_ = static_cast<std::uint8_t>(parity);
    dataBits_ = static_cast<std::uint8_t>(dataBits);
    stopBits_ = static_cast<std::uint8_t>(stopBits);
  }
  portState_ = psOpen;
  std::uint8_t tracing = tracing_;
  std::uint8_t logging = logging_;
  tracing_ = logging_ = tlOff;
  force_ = true;
  try {
    SetTracing(tracing);
    SetLogging(logging);
    SetHardwareFlow(hardwareFlow_);
    SetSoftwareFlow(softwareFlow_);
    SetXOnChar(xonChar_);
    SetXOffChar(xoffChar_);
    SetAvailThreshold(availThreshold_);
    SetDTR(dtr_);
    SetRTS(rts_);
    SetRS485Mode(rs485_);
    SetThreadBoost(threadBoost_);
  } catch (...) {
    force_ = false;
    throw;
  }
  force_ = false;
  open_ = true;
  if (triggerSnapshot_) {
    dispatcher_->RestoreTriggers(*triggerSnapshot_);
    triggerSnapshot_.reset();
  }
  SendPortOpen();
}

void TSerCustomComPort::DonePort() {
  if (portState_ != psOpen) return;
  if (tracing_ == tlOn || tracing_ == tlPause) SetTracing(tlDump);
  if (logging_ == tlOn || logging_ == tlPause) SetLogging(tlDump);
  portState_ = psShuttingDown;
  open_ = false;
  triggerSnapshot_ = dispatcher_->SaveTriggers();
  dispatcher_->Close();
  if (dispatcher_->InEvent()) {
    auto lParam = static_cast<win::LPARAM>(static_cast<win::DWORD>(dispatcher_->Handle()) << 16);
    win::PostMessageA(window_, APW_CLOSEPENDING, 0, lParam);
    SafeYield();
  } else {
    FinishClose();
  }
  SendPortClose();
}

void TSerCustomComPort::FinishClose() {
  if (dispatcher_ && window_ != nullptr) dispatcher_->DeregisterWindowHandler(window_);
  DestroyHiddenWindow();
  dispatcher_.reset();
  portState_ = psClosed;
  open_ = false;
}

void TSerCustomComPort::SendPortOpen() {
  if (OnPortOpen) OnPortOpen(this);
}

void TSerCustomComPort::SendPortClose() {
  if (OnPortClose) OnPortClose(this);
}

void TSerCustomComPort::SetOpen(bool value) {
  if (value == open_) return;
  if (Loading()) {
    open_ = value;
    if (value) openAtLoad_ = true;
    return;
  }
  if (!value) {
    DonePort();
  } else if (portState_ == psClosed) {
    InitPort();
  } else if (portState_ == psShuttingDown) {
    openPending_ = true;
  }
}

void TSerCustomComPort::SetComNumber(win::WORD value) {
  if (value == comNumber_) return;
  if (portState_ != psOpen) {
    comNumber_ = value;
    return;
  }
  std::uint8_t tracing = tracing_;
  std::uint8_t logging = logging_;
  DonePort();
  comNumber_ = value;
  tracing_ = tracing;
  logging_ = logging;
  if (portState_ == psClosed) {
    InitPort();
  } else {
    openPending_ = true;
  }
}

TSerBaseDispatcher& TSerCustomComPort::OpenedDispatcher() {
  if (!dispatcher_) {
    if (!autoOpen_) Check(kErrCommNotOpen);
    SetOpen(true);
    if (!dispatcher_) Check(kErrCommNotOpen);
  }
  return *dispatcher_;
}

void TSerCustomComPort::PutString(const std::string& S) {
  if (portState_ == psShuttingDown) return;
  TSerBaseDispatcher& dispatcher = OpenedDispatcher();
  Check(dispatcher.PutBlock(reinterpret_cast<const std::uint8_t*>(S.data()), static_cast<int>(S.size())));
}

bool TSerCustomComPort::IsPortAvailable(unsigned n) {
  if (n == 0) return false;
  try {
    TSerWin32Dispatcher probe(nullptr);
    int result = probe.Open("\\\\.\\COM" + std::to_string(n), static_cast<win::DWORD>(baud_), kOpenDTR | kOpenRTS,
                            kProbeQueueSize, kProbeQueueSize, stopBits_, dataBits_, parity_);
    if (result >= 0) {
      probe.Close();
      return true;
    }
    // A port that someone else holds is there.
    return result == kErrAccessDenied;
  } catch (const std::exception&) {
    return false;
  }
}

// Line and flow settings.

void TSerCustomComPort::ApplyLine() {
  if (portState_ != psOpen) return;
  Check(dispatcher_->SetLine(static_cast<win::DWORD>(baud_), parity_, stopBits_, dataBits_));
}

void TSerCustomComPort::SetBaud(std::int32_t value) {
  if (value == baud_ && !force_) return;
  baud_ = value;
  ApplyLine();
}

void TSerCustomComPort::SetParity(std::uint8_t value) {
  if (value == parity_ && !force_) return;
  parity_ = value;
  ApplyLine();
}

void TSerCustomComPort::SetDataBits(std::uint8_t value) {
  if (value == dataBits_ && !force_) return;
  dataBits_ = value;
  ApplyLine();
}

void TSerCustomComPort::SetStopBits(std::uint8_t value) {
  if (value == stopBits_ && !force_) return;
  stopBits_ = value;
  ApplyLine();
}

void TSerCustomComPort::SetDTR(bool value) {
  if (value == dtr_ && !force_) return;
  dtr_ = value;
  if (portState_ == psOpen) Check(dispatcher_->SetDTR(value));
}

void TSerCustomComPort::SetRTS(bool value) {
  if (value == rts_ && !force_) return;
  rts_ = value;
  if (portState_ == psOpen) Check(dispatcher_->SetRTS(value));
}

void TSerCustomComPort::ApplyHardwareFlow() {
  if (portState_ != psOpen) return;
  int full = 0;
  int resume = 0;
  if (!hardwareFlow_.Empty()) FlowMarks(inSize_, flowFullMark_, flowResumeMark_, 0.9, 0.1, full, resume);
  int options = (hardwareFlow_.Contains(hfUseDTR) ? kHwFlowUseDTR : 0) +
                (hardwareFlow_.Contains(hfUseRTS) ? kHwFlowUseRTS : 0) +
                (hardwareFlow_.Contains(hfRequireDSR) ? kHwFlowRequireDSR : 0) +
                (hardwareFlow_.Contains(hfRequireCTS) ? kHwFlowRequireCTS : 0);
  Check(dispatcher_->HardwareFlow(full, resume, options));
}

void TSerCustomComPort::SetHardwareFlow(THardwareFlowOptions value) {
  if (value == hardwareFlow_ && !force_) return;
  hardwareFlow_ = value;
  ApplyHardwareFlow();
  if (value.Contains(hfUseRTS) || value.Contains(hfRequireCTS)) SetRS485Mode(false);
}

void TSerCustomComPort::ApplySoftwareFlow() {
  if (portState_ != psOpen) return;
  if (softwareFlow_ == swfNone) {
    Check(dispatcher_->SoftwareFlowOff());
    return;
  }
  int full = 0;
  int resume = 0;
  FlowMarks(inSize_, flowFullMark_, flowResumeMark_, 0.75, 0.25, full, resume);
  int mode = ((softwareFlow_ & swfReceive) != 0 ? kSwFlowReceive : 0) +
             ((softwareFlow_ & swfTransmit) != 0 ? kSwFlowTransmit : 0);
  Check(dispatcher_->SoftwareFlow(full, resume, mode));
}

void TSerCustomComPort::SetSoftwareFlow(std::uint8_t value) {
  if (value == softwareFlow_ && !force_) return;
  softwareFlow_ = value;
  ApplySoftwareFlow();
}

void TSerCustomComPort::SetXOnChar(std::uint8_t value) {
  if (value == xonChar_ && !force_) return;
  xonChar_ = value;
  if (portState_ == psOpen) Check(dispatcher_->SetXOnChar(value));
}

void TSerCustomComPort::SetXOffChar(std::uint8_t value) {
  if (value == xoffChar_ && !force_) return;
  xoffChar_ = value;
  if (portState_ == psOpen) Check(dispatcher_->SetXOffChar(value));
}

void TSerCustomComPort::SetAvailThreshold(win::WORD value) {
  if (value == availThreshold_ && !force_) return;
  availThreshold_ = value;
  if (portState_ == psOpen) dispatcher_->SetAvailThreshold(value);
}

void TSerCustomComPort::SetRS485Mode(bool value) {
  if (value == rs485_ && !force_) return;
  rs485_ = value;
  if (value) {
    hardwareFlow_.Exclude(hfUseRTS).Exclude(hfRequireCTS);
    if (portState_ == psOpen) ApplyHardwareFlow();
    SetRTS(false);
  }
  if (portState_ == psOpen) dispatcher_->SetRS485Mode(value);
}

void TSerCustomComPort::SetThreadBoost(std::uint8_t value) {
  if (value == threadBoost_ && !force_) return;
  threadBoost_ = value;
  if (portState_ == psOpen) dispatcher_->SetThreadBoost(value);
}

// Trace and log.

int TSerCustomComPort::ApplyTraceState(std::uint8_t value, std::uint8_t current, bool isTrace) {
  TSerBaseDispatcher& d = *dispatcher_;
  bool running = current == tlOn || current == tlPause;
  auto start = [&] {
    return isTrace ? d.StartTracing(traceEntries_) : d.StartLogging(logEntries_);
  };
  auto dump = [&](bool append) {
    return isTrace ? d.DumpTrace(traceFileName_, append, TraceAllHex, TraceHexUnprintable)
                   : d.DumpLog(logFileName_, append, LogAllHex);
  };
  switch (value) {
    case tlOff:
      isTrace ? d.StopTracing() : d.StopLogging();
      return tlOff;
    case tlOn:
      if (current == tlPause) {
        isTrace ? d.ResumeTracing() : d.ResumeLogging();
      } else {
        Check(start());
      }
      return tlOn;
    case tlPause:
      if (current == tlOff) Check(start());
      isTrace ? d.PauseTracing() : d.PauseLogging();
      return tlPause;
    case tlDump:
    case tlAppend:
      if (!running) return current;
      Check(dump(value == tlAppend));
      isTrace ? d.StopTracing() : d.StopLogging();
      return tlOff;
    case tlClear:
      if (running) isTrace ? d.ClearTracing() : d.ClearLogging();
      return current;
    case tlAppendAndContinue:
      if (!running) return current;
      Check(dump(true));
      isTrace ? d.ResumeTracing() : d.ResumeLogging();
      return tlOn;
    default:
      return current;
  }
}

void TSerCustomComPort::SetTracing(std::uint8_t value) {
  if (value == tracing_ && !force_) return;
  if (portState_ != psOpen) {
    tracing_ = value == tlOn || value == tlPause ? value : tlOff;
    return;
  }
  tracing_ = static_cast<std::uint8_t>(ApplyTraceState(value, tracing_, true));
}

void TSerCustomComPort::SetLogging(std::uint8_t value) {
  if (value == logging_ && !force_) return;
  if (portState_ != psOpen) {
    logging_ = value == tlOn || value == tlPause ? value : tlOff;
    return;
  }
  logging_ = static_cast<std::uint8_t>(ApplyTraceState(value, logging_, false));
}

// Events.

bool TSerCustomComPort::AnyTriggerEventAssigned() const {
  return onTrigger_ || onTriggerAvail_ || onTriggerData_ || onTriggerStatus_ || onTriggerTimer_ || onLineError_ ||
         onModemStatus_ || onOutputFree_ || onOutputUsed_ || onOutputSent_;
}

void TSerCustomComPort::UpdateHandlerFlags() {
  if (portState_ == psOpen && dispatcher_) dispatcher_->UpdateHandlerFlags(AnyTriggerEventAssigned() ? 1 : 2);
}

void TSerCustomComPort::SetOnTrigger(TTriggerEvent value) {
  onTrigger_ = std::move(value);
  UpdateHandlerFlags();
}
void TSerCustomComPort::SetOnTriggerAvail(TTriggerAvailEvent value) {
  onTriggerAvail_ = std::move(value);
  UpdateHandlerFlags();
}
void TSerCustomComPort::SetOnTriggerData(TTriggerHandleEvent value) {
  onTriggerData_ = std::move(value);
  UpdateHandlerFlags();
}
void TSerCustomComPort::SetOnTriggerStatus(TTriggerHandleEvent value) {
  onTriggerStatus_ = std::move(value);
  UpdateHandlerFlags();
}
void TSerCustomComPort::SetOnTriggerTimer(TTriggerHandleEvent value) {
  onTriggerTimer_ = std::move(value);
  UpdateHandlerFlags();
}
void TSerCustomComPort::SetOnLineError(TTriggerLineErrorEvent value) {
  onLineError_ = std::move(value);
  UpdateHandlerFlags();
}
void TSerCustomComPort::SetOnModemStatus(TNotifyEvent value) {
  onModemStatus_ = std::move(value);
  UpdateHandlerFlags();
}
void TSerCustomComPort::SetOnOutputFree(TNotifyEvent value) {
  onOutputFree_ = std::move(value);
  UpdateHandlerFlags();
}
void TSerCustomComPort::SetOnOutputUsed(TNotifyEvent value) {
  onOutputUsed_ = std::move(value);
  UpdateHandlerFlags();
}
void TSerCustomComPort::SetOnOutputSent(TNotifyEvent value) {
  onOutputSent_ = std::move(value);
  UpdateHandlerFlags();
}

void TSerCustomComPort::TriggerHandler(win::UINT msg, win::WPARAM wParam, win::WORD data) {
  if (onTrigger_) onTrigger_(this, msg, static_cast<win::UINT>(wParam), data);
}

void TSerCustomComPort::TriggerAvail(win::WORD count) {
  if (onTriggerAvail_) onTriggerAvail_(this, count);
}

void TSerCustomComPort::TriggerData(win::UINT handle) {
  if (onTriggerData_) onTriggerData_(this, handle);
}

void TSerCustomComPort::TriggerStatus(win::UINT handle) {
  if (onTriggerStatus_) onTriggerStatus_(this, handle);
}

void TSerCustomComPort::TriggerTimer(win::UINT handle) {
  if (onTriggerTimer_) onTriggerTimer_(this, handle);
}

void TSerCustomComPort::TriggerLineError(win::WORD error, bool lineBreak) {
  if (onLineError_) onLineError_(this, error, lineBreak);
}

void TSerCustomComPort::TriggerModemStatus() {
  if (onModemStatus_) onModemStatus_(this);
}

void TSerCustomComPort::TriggerOutbuffFree() {
  if (onOutputFree_) onOutputFree_(this);
}

void TSerCustomComPort::TriggerOutbuffUsed() {
  if (onOutputUsed_) onOutputUsed_(this);
}

void TSerCustomComPort::TriggerOutSent() {
  if (onOutputSent_) onOutputSent_(this);
}

bool TSerCustomComPort::HandleWindowMessage(win::UINT msg, win::WPARAM wParam, win::LPARAM lParam) {
  if (msg == APW_CLOSEPENDING) {
    if (!dispatcher_) return true;
    if (dispatcher_->ActiveThreads() > 0) {
      win::PostMessageA(window_, APW_CLOSEPENDING, wParam, lParam);
      return true;
    }
    FinishClose();
    if (openPending_) {
      openPending_ = false;
      InitPort();
    }
    return true;
  }
  if (portState_ != psOpen || !dispatcher_) return false;
  auto data = static_cast<win::WORD>(msg == APW_TRIGGERAVAIL ? wParam : win::LOWORD(static_cast<win::DWORD_PTR>(lParam)));
  TriggerHandler(msg, wParam, data);
  auto handle = static_cast<win::UINT>(wParam);
  switch (msg) {
    case APW_TRIGGERAVAIL:
      TriggerAvail(static_cast<win::WORD>(wParam));
      break;
    case APW_TRIGGERDATA:
      TriggerData(handle);
      break;
    case APW_TRIGGERTIMER:
      TriggerTimer(handle);
      break;
    case APW_TRIGGERSTATUS:
      TriggerStatus(handle);
      switch (handle & 7) {
        case kStatusModem:
          TriggerModemStatus();
          break;
        case kStatusLine: {
          auto error = static_cast<win::WORD>(dispatcher_->LineError());
          TriggerLineError(error, dispatcher_->LineBreak());
          break;
        }
        case kStatusOutFree:
          TriggerOutbuffFree();
          break;
        case kStatusOutUsed:
          TriggerOutbuffUsed();
          break;
        case kStatusOutSent:
          TriggerOutSent();
          break;
        default:
          break;
      }
      break;
    default:
      return false;
  }
  return true;
}

}  // namespace dashtune
