#include "components/serial/com_port.h"

#include <exception>
#include <mutex>
#include <tuple>

#include "classlib/forms.h"
#include "components/serial/serial_errors.h"
#include "components/serial/serial_line.h"
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
      trace_file_name_(std::string(kDefaultFileBase) + ".TRC"),
      log_file_name_(std::string(kDefaultFileBase) + ".LOG") {}

TSerCustomComPort::~TSerCustomComPort() {
  try {
    if (port_state_ == psOpen) DonePort();
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
  if ((open_ || open_at_load_) && !GetComponentState().Contains(csDesigning)) {
    open_ = false;
    open_at_load_ = false;
    SetOpen(true);
  }
}

void TSerCustomComPort::Assign(const TPersistent* Source) {
  const auto* source = dynamic_cast<const TSerCustomComPort*>(Source);
  if (source == nullptr) {
    TSerBaseComponent::Assign(Source);
    return;
  }
  if (source->dispatcher_ && source->port_state_ == psOpen) trigger_snapshot_ = source->dispatcher_->SaveTriggers();
  force_ = source->force_;
  device_layer_ = source->device_layer_;
  com_number_ = source->com_number_;
  baud_ = source->baud_;
  parity_ = source->parity_;
  data_bits_ = source->data_bits_;
  stop_bits_ = source->stop_bits_;
  in_size_ = source->in_size_;
  out_size_ = source->out_size_;
  auto_open_ = source->auto_open_;
  zero_port_allowed_ = source->zero_port_allowed_;
  rs485_ = source->rs485_;
  thread_boost_ = source->thread_boost_;
  dtr_ = source->dtr_;
  rts_ = source->rts_;
  flow_full_mark_ = source->flow_full_mark_;
  flow_resume_mark_ = source->flow_resume_mark_;
  hardware_flow_ = source->hardware_flow_;
  software_flow_ = source->software_flow_;
  xon_char_ = source->xon_char_;
  xoff_char_ = source->xoff_char_;
  tracing_ = source->tracing_ == tlOn ? tlOn : tlOff;
  trace_entries_ = source->trace_entries_;
  trace_file_name_ = source->trace_file_name_;
  TraceAllHex = source->TraceAllHex;
  TraceHexUnprintable = source->TraceHexUnprintable;
  logging_ = source->logging_ == tlOn ? tlOn : tlOff;
  log_entries_ = source->log_entries_;
  log_file_name_ = source->log_file_name_;
  LogAllHex = source->LogAllHex;
  LogHexUnprintable = source->LogHexUnprintable;
  avail_threshold_ = source->avail_threshold_;
  SetOnTrigger(source->on_trigger_);
  SetOnTriggerAvail(source->on_trigger_avail_);
  SetOnTriggerData(source->on_trigger_data_);
  SetOnTriggerStatus(source->on_trigger_status_);
  SetOnTriggerTimer(source->on_trigger_timer_);
  SetOnLineError(source->on_line_error_);
  SetOnModemStatus(source->on_modem_status_);
  SetOnOutputFree(source->on_output_free_);
  SetOnOutputUsed(source->on_output_used_);
  SetOnOutputSent(source->on_output_sent_);
  OnPortOpen = source->OnPortOpen;
  OnPortClose = source->OnPortClose;
  tapi_use_ = source->tapi_use_;
  if (port_state_ == psOpen) DonePort();
  open_ = false;
}

// Opening and closing.

void TSerCustomComPort::ValidateComport() {
  if (com_number_ == 0 && !zero_port_allowed_) Check(kErrNoPortSelected);
}

std::unique_ptr<TSerBaseDispatcher> TSerCustomComPort::MakeDispatcher() {
  if (DispatcherCreator) return DispatcherCreator(this);
  if (device_layer_ != 0) throw ENullApi(kErrNullApi);
  if (tapi_use_ == 2) return std::make_unique<TSerTAPI32Dispatcher>(this, line_handle_);
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
  if (tapi_use_ != 2) ValidateComport();
  std::unique_ptr<TSerBaseDispatcher> dispatcher = MakeDispatcher();
  if (!dispatcher) throw ENullApi(kErrNullApi);
  dispatcher->SetDeviceName("COM" + std::to_string(com_number_));
  if (tapi_use_ == 2) {
    if (line_handle_ == nullptr) Check(kErrNotOpenedByTapi);
    TakeLineSettings(*dispatcher);
  }
  dispatcher_ = std::move(dispatcher);
  // Event delivery is in place before the threads start, so the first bytes are announced.
  CreateHiddenWindow();
  dispatcher_->RegisterWindowHandler(window_);
  dispatcher_->UpdateHandlerFlags(AnyTriggerEventAssigned() ? 1 : 2);
  int flags = (dtr_ ? kOpenDTR : 0) + (rts_ ? kOpenRTS : 0) + (hardware_flow_.Contains(hfUseDTR) ? kOpenDTRFlow : 0) +
              (hardware_flow_.Contains(hfUseRTS) ? kOpenRTSFlow : 0);
  std::string path = tapi_use_ == 2 ? std::string() : "\\\\.\\COM" + std::to_string(com_number_);
  int result = dispatcher_->Open(path, static_cast<win::DWORD>(baud_), flags, out_size_, in_size_, stop_bits_,
                                 data_bits_, parity_);
  if (result != 0) {
    dispatcher_->DeregisterWindowHandler(window_);
    DestroyHiddenWindow();
    dispatcher_.reset();
    if (result == kErrAccessDenied) result = kErrAlreadyOpen;
    if (result == kErrFileNotFound || result == kErrPathNotFound) result = kErrBadId;
    Check(result);
    return;
  }
  port_state_ = psOpen;
  ApplyStoredSettings();
  open_ = true;
  if (trigger_snapshot_) {
    dispatcher_->RestoreTriggers(*trigger_snapshot_);
    trigger_snapshot_.reset();
  }
  SendPortOpen();
}

// A line that another component opened keeps its settings: before the open applies the port's
// settings to it, the port takes the line's as its own (line values, hardware flow, software
// flow and its characters).
void TSerCustomComPort::TakeLineSettings(TSerBaseDispatcher& dispatcher) {
  win::DCB dcb;
  if (dispatcher.GetComState(dcb) != 0) return;
  baud_ = static_cast<std::int32_t>(BaudFromCode(dcb.BaudRate));
  parity_ = dcb.Parity;
  data_bits_ = dcb.ByteSize;
  stop_bits_ = dcb.StopBits != win::ONESTOPBIT ? 2 : 1;
  THardwareFlowOptions flow;
  if ((dcb.Flags & win::DCB_DTR_CONTROL_MASK) == win::DCB_DTR_CONTROL_HANDSHAKE) flow.Include(hfUseDTR);
  if ((dcb.Flags & win::DCB_RTS_CONTROL_MASK) == win::DCB_RTS_CONTROL_HANDSHAKE) flow.Include(hfUseRTS);
  if ((dcb.Flags & win::DCB_OUTX_DSR_FLOW) != 0) flow.Include(hfRequireDSR);
  if ((dcb.Flags & win::DCB_OUTX_CTS_FLOW) != 0) flow.Include(hfRequireCTS);
  hardware_flow_ = flow;
  software_flow_ = static_cast<std::uint8_t>(((dcb.Flags & win::DCB_INX) != 0 ? swfReceive : 0) |
                                             ((dcb.Flags & win::DCB_OUTX) != 0 ? swfTransmit : 0));
  xon_char_ = static_cast<std::uint8_t>(dcb.XonChar);
  xoff_char_ = static_cast<std::uint8_t>(dcb.XoffChar);
}

// With the device open, every stored setting is applied to it. A setting the device refuses
// undoes the open whole: the threads stop, the device closes, the port is closed again with its
// settings as they were stored, and the refusal is raised.
void TSerCustomComPort::ApplyStoredSettings() {
  const std::uint8_t tracing = tracing_;
  const std::uint8_t logging = logging_;
  tracing_ = logging_ = tlOff;
  force_ = true;
  try {
    SetTracing(tracing);
    SetLogging(logging);
    SetHardwareFlow(hardware_flow_);
    SetSoftwareFlow(software_flow_);
    SetXOnChar(xon_char_);
    SetXOffChar(xoff_char_);
    SetAvailThreshold(avail_threshold_);
    SetDTR(dtr_);
    SetRTS(rts_);
    SetRS485Mode(rs485_);
    SetThreadBoost(thread_boost_);
  } catch (...) {
    force_ = false;
    dispatcher_->Close();
    FinishClose();
    tracing_ = tracing;
    logging_ = logging;
    throw;
  }
  force_ = false;
}

void TSerCustomComPort::DonePort() {
  if (port_state_ != psOpen) return;
  if (tracing_ == tlOn || tracing_ == tlPause) SetTracing(tlDump);
  if (logging_ == tlOn || logging_ == tlPause) SetLogging(tlDump);
  port_state_ = psShuttingDown;
  open_ = false;
  trigger_snapshot_ = dispatcher_->SaveTriggers();
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
  port_state_ = psClosed;
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
    if (value) open_at_load_ = true;
    return;
  }
  if (!value) {
    DonePort();
  } else if (port_state_ == psClosed) {
    InitPort();
  } else if (port_state_ == psShuttingDown) {
    open_pending_ = true;
  }
}

void TSerCustomComPort::SetComNumber(win::WORD value) {
  if (value == com_number_) return;
  if (port_state_ != psOpen) {
    com_number_ = value;
    return;
  }
  std::uint8_t tracing = tracing_;
  std::uint8_t logging = logging_;
  DonePort();
  com_number_ = value;
  tracing_ = tracing;
  logging_ = logging;
  if (port_state_ == psClosed) {
    InitPort();
  } else {
    open_pending_ = true;
  }
}

TSerBaseDispatcher& TSerCustomComPort::OpenedDispatcher() {
  if (!dispatcher_) {
    if (!auto_open_) Check(kErrCommNotOpen);
    SetOpen(true);
    if (!dispatcher_) Check(kErrCommNotOpen);
  }
  return *dispatcher_;
}

void TSerCustomComPort::PutString(const std::string& S) {
  if (port_state_ == psShuttingDown) return;
  TSerBaseDispatcher& dispatcher = OpenedDispatcher();
  Check(dispatcher.PutBlock(reinterpret_cast<const std::uint8_t*>(S.data()), static_cast<int>(S.size())));
}

bool TSerCustomComPort::IsPortAvailable(unsigned n) {
  if (n == 0) return false;
  try {
    TSerWin32Dispatcher probe(nullptr);
    int result = probe.Open("\\\\.\\COM" + std::to_string(n), static_cast<win::DWORD>(baud_), kOpenDTR | kOpenRTS,
                            kProbeQueueSize, kProbeQueueSize, stop_bits_, data_bits_, parity_);
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

void TSerCustomComPort::ChangeLine(std::int32_t baud, std::uint8_t parity, std::uint8_t dataBits,
                                   std::uint8_t stopBits) {
  Check(RefusedLineValue(baud, parity, dataBits));
  auto previous = std::tuple(baud_, parity_, data_bits_, stop_bits_);
  std::tie(baud_, parity_, data_bits_, stop_bits_) = std::tuple(baud, parity, dataBits, stopBits);
  if (port_state_ != psOpen) return;
  try {
    Check(dispatcher_->SetLine(static_cast<win::DWORD>(baud_), parity_, stop_bits_, data_bits_));
  } catch (...) {
    // What the device refused is not kept, so the next change does not meet it again.
    std::tie(baud_, parity_, data_bits_, stop_bits_) = previous;
    throw;
  }
}

void TSerCustomComPort::SetBaud(std::int32_t value) {
  if (value == baud_ && !force_) return;
  ChangeLine(value, parity_, data_bits_, stop_bits_);
}

void TSerCustomComPort::SetParity(std::uint8_t value) {
  if (value == parity_ && !force_) return;
  ChangeLine(baud_, value, data_bits_, stop_bits_);
}

void TSerCustomComPort::SetDataBits(std::uint8_t value) {
  if (value == data_bits_ && !force_) return;
  ChangeLine(baud_, parity_, value, stop_bits_);
}

void TSerCustomComPort::SetStopBits(std::uint8_t value) {
  if (value == stop_bits_ && !force_) return;
  ChangeLine(baud_, parity_, data_bits_, value);
}

void TSerCustomComPort::SetDTR(bool value) {
  if (value == dtr_ && !force_) return;
  dtr_ = value;
  if (port_state_ == psOpen) Check(dispatcher_->SetDTR(value));
}

void TSerCustomComPort::SetRTS(bool value) {
  if (value == rts_ && !force_) return;
  rts_ = value;
  if (port_state_ == psOpen) Check(dispatcher_->SetRTS(value));
}

void TSerCustomComPort::ApplyHardwareFlow() {
  if (port_state_ != psOpen) return;
  int full = 0;
  int resume = 0;
  if (!hardware_flow_.Empty()) FlowMarks(in_size_, flow_full_mark_, flow_resume_mark_, 0.9, 0.1, full, resume);
  int options = (hardware_flow_.Contains(hfUseDTR) ? kHwFlowUseDTR : 0) +
                (hardware_flow_.Contains(hfUseRTS) ? kHwFlowUseRTS : 0) +
                (hardware_flow_.Contains(hfRequireDSR) ? kHwFlowRequireDSR : 0) +
                (hardware_flow_.Contains(hfRequireCTS) ? kHwFlowRequireCTS : 0);
  Check(dispatcher_->HardwareFlow(full, resume, options));
}

void TSerCustomComPort::SetHardwareFlow(THardwareFlowOptions value) {
  if (value == hardware_flow_ && !force_) return;
  hardware_flow_ = value;
  ApplyHardwareFlow();
  if (value.Contains(hfUseRTS) || value.Contains(hfRequireCTS)) SetRS485Mode(false);
}

void TSerCustomComPort::ApplySoftwareFlow() {
  if (port_state_ != psOpen) return;
  if (software_flow_ == swfNone) {
    Check(dispatcher_->SoftwareFlowOff());
    return;
  }
  int full = 0;
  int resume = 0;
  FlowMarks(in_size_, flow_full_mark_, flow_resume_mark_, 0.75, 0.25, full, resume);
  int mode = ((software_flow_ & swfReceive) != 0 ? kSwFlowReceive : 0) +
             ((software_flow_ & swfTransmit) != 0 ? kSwFlowTransmit : 0);
  Check(dispatcher_->SoftwareFlow(full, resume, mode));
}

void TSerCustomComPort::SetSoftwareFlow(std::uint8_t value) {
  if (value == software_flow_ && !force_) return;
  software_flow_ = value;
  ApplySoftwareFlow();
}

void TSerCustomComPort::SetXOnChar(std::uint8_t value) {
  if (value == xon_char_ && !force_) return;
  xon_char_ = value;
  if (port_state_ == psOpen) Check(dispatcher_->SetXOnChar(value));
}

void TSerCustomComPort::SetXOffChar(std::uint8_t value) {
  if (value == xoff_char_ && !force_) return;
  xoff_char_ = value;
  if (port_state_ == psOpen) Check(dispatcher_->SetXOffChar(value));
}

void TSerCustomComPort::SetAvailThreshold(win::WORD value) {
  if (value == avail_threshold_ && !force_) return;
  avail_threshold_ = value;
  if (port_state_ == psOpen) dispatcher_->SetAvailThreshold(value);
}

// RTS is dropped before the dispatcher takes it over: the device then raises it only while it
// sends (its automatic RTS), which the hardware flow settings carry to it.
void TSerCustomComPort::SetRS485Mode(bool value) {
  if (value == rs485_ && !force_) return;
  rs485_ = value;
  if (value) {
    hardware_flow_.Exclude(hfUseRTS).Exclude(hfRequireCTS);
    SetRTS(false);
  }
  if (port_state_ != psOpen) return;
  dispatcher_->SetRS485Mode(value);
  try {
    ApplyHardwareFlow();
  } catch (...) {
    // A device without automatic RTS is left as it was; a stored setting stays for the next open.
    if (value && !force_) {
      rs485_ = false;
      dispatcher_->SetRS485Mode(false);
    }
    throw;
  }
}

void TSerCustomComPort::SetThreadBoost(std::uint8_t value) {
  if (value == thread_boost_ && !force_) return;
  thread_boost_ = value;
  if (port_state_ == psOpen) dispatcher_->SetThreadBoost(value);
}

// Trace and log.

int TSerCustomComPort::ApplyTraceState(std::uint8_t value, std::uint8_t current, bool isTrace) {
  TSerBaseDispatcher& d = *dispatcher_;
  bool running = current == tlOn || current == tlPause;
  auto start = [&] {
    return isTrace ? d.StartTracing(trace_entries_) : d.StartLogging(log_entries_);
  };
  auto dump = [&](bool append) {
    return isTrace ? d.DumpTrace(trace_file_name_, append, TraceAllHex, TraceHexUnprintable)
                   : d.DumpLog(log_file_name_, append, LogAllHex);
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
  if (port_state_ != psOpen) {
    tracing_ = value == tlOn || value == tlPause ? value : tlOff;
    return;
  }
  tracing_ = static_cast<std::uint8_t>(ApplyTraceState(value, tracing_, true));
}

void TSerCustomComPort::SetLogging(std::uint8_t value) {
  if (value == logging_ && !force_) return;
  if (port_state_ != psOpen) {
    logging_ = value == tlOn || value == tlPause ? value : tlOff;
    return;
  }
  logging_ = static_cast<std::uint8_t>(ApplyTraceState(value, logging_, false));
}

// Events.

bool TSerCustomComPort::AnyTriggerEventAssigned() const {
  return on_trigger_ || on_trigger_avail_ || on_trigger_data_ || on_trigger_status_ || on_trigger_timer_ || on_line_error_ ||
         on_modem_status_ || on_output_free_ || on_output_used_ || on_output_sent_;
}

void TSerCustomComPort::UpdateHandlerFlags() {
  if (port_state_ == psOpen && dispatcher_) dispatcher_->UpdateHandlerFlags(AnyTriggerEventAssigned() ? 1 : 2);
}

void TSerCustomComPort::SetOnTrigger(TTriggerEvent value) {
  on_trigger_ = std::move(value);
  UpdateHandlerFlags();
}
void TSerCustomComPort::SetOnTriggerAvail(TTriggerAvailEvent value) {
  on_trigger_avail_ = std::move(value);
  UpdateHandlerFlags();
}
void TSerCustomComPort::SetOnTriggerData(TTriggerHandleEvent value) {
  on_trigger_data_ = std::move(value);
  UpdateHandlerFlags();
}
void TSerCustomComPort::SetOnTriggerStatus(TTriggerHandleEvent value) {
  on_trigger_status_ = std::move(value);
  UpdateHandlerFlags();
}
void TSerCustomComPort::SetOnTriggerTimer(TTriggerHandleEvent value) {
  on_trigger_timer_ = std::move(value);
  UpdateHandlerFlags();
}
void TSerCustomComPort::SetOnLineError(TTriggerLineErrorEvent value) {
  on_line_error_ = std::move(value);
  UpdateHandlerFlags();
}
void TSerCustomComPort::SetOnModemStatus(TNotifyEvent value) {
  on_modem_status_ = std::move(value);
  UpdateHandlerFlags();
}
void TSerCustomComPort::SetOnOutputFree(TNotifyEvent value) {
  on_output_free_ = std::move(value);
  UpdateHandlerFlags();
}
void TSerCustomComPort::SetOnOutputUsed(TNotifyEvent value) {
  on_output_used_ = std::move(value);
  UpdateHandlerFlags();
}
void TSerCustomComPort::SetOnOutputSent(TNotifyEvent value) {
  on_output_sent_ = std::move(value);
  UpdateHandlerFlags();
}

void TSerCustomComPort::TriggerHandler(win::UINT msg, win::WPARAM wParam, win::WORD data) {
  if (on_trigger_) on_trigger_(this, msg, static_cast<win::UINT>(wParam), data);
}

void TSerCustomComPort::TriggerAvail(win::WORD count) {
  if (on_trigger_avail_) on_trigger_avail_(this, count);
}

void TSerCustomComPort::TriggerData(win::UINT handle) {
  if (on_trigger_data_) on_trigger_data_(this, handle);
}

void TSerCustomComPort::TriggerStatus(win::UINT handle) {
  if (on_trigger_status_) on_trigger_status_(this, handle);
}

void TSerCustomComPort::TriggerTimer(win::UINT handle) {
  if (on_trigger_timer_) on_trigger_timer_(this, handle);
}

void TSerCustomComPort::TriggerLineError(win::WORD error, bool lineBreak) {
  if (on_line_error_) on_line_error_(this, error, lineBreak);
}

void TSerCustomComPort::TriggerModemStatus() {
  if (on_modem_status_) on_modem_status_(this);
}

void TSerCustomComPort::TriggerOutbuffFree() {
  if (on_output_free_) on_output_free_(this);
}

void TSerCustomComPort::TriggerOutbuffUsed() {
  if (on_output_used_) on_output_used_(this);
}

void TSerCustomComPort::TriggerOutSent() {
  if (on_output_sent_) on_output_sent_(this);
}

bool TSerCustomComPort::HandleWindowMessage(win::UINT msg, win::WPARAM wParam, win::LPARAM lParam) {
  if (msg == APW_CLOSEPENDING) {
    if (!dispatcher_) return true;
    if (dispatcher_->ActiveThreads() > 0) {
      win::PostMessageA(window_, APW_CLOSEPENDING, wParam, lParam);
      return true;
    }
    FinishClose();
    if (open_pending_) {
      open_pending_ = false;
      InitPort();
    }
    return true;
  }
  if (port_state_ != psOpen || !dispatcher_) return false;
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
