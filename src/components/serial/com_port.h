// The com port component: a serial port with line, flow, trace and log properties, opened
// through a dispatcher whose trigger messages arrive at a hidden window on the main thread and
// become the component's events.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "classlib/classes.h"
#include "classlib/set.h"
#include "components/serial/dispatcher.h"
#include "platform/core/types.h"

namespace dashtune {

class TSerBaseComponent : public TComponent {
 public:
  using TComponent::TComponent;

  std::string GetVersion() const { return "v1.00"; }
  void SetVersion(const std::string&) {}  // the version is fixed
};

enum THardwareFlowOption { hfUseDTR, hfUseRTS, hfRequireDSR, hfRequireCTS };
using THardwareFlowOptions = Set<THardwareFlowOption>;

// Software flow modes of the component.
inline constexpr std::uint8_t swfNone = 0;
inline constexpr std::uint8_t swfReceive = 1;
inline constexpr std::uint8_t swfTransmit = 2;
inline constexpr std::uint8_t swfBoth = 3;

// Trace and log states and commands.
inline constexpr std::uint8_t tlOff = 0;
inline constexpr std::uint8_t tlOn = 1;
inline constexpr std::uint8_t tlDump = 2;
inline constexpr std::uint8_t tlAppend = 3;
inline constexpr std::uint8_t tlClear = 4;
inline constexpr std::uint8_t tlPause = 5;
inline constexpr std::uint8_t tlAppendAndContinue = 6;

// Port states.
inline constexpr std::uint8_t psClosed = 0;
inline constexpr std::uint8_t psShuttingDown = 1;
inline constexpr std::uint8_t psOpen = 2;

class TSerCustomComPort;

using TTriggerEvent = std::function<void(TObject* CP, win::UINT Msg, win::UINT TriggerHandle, win::WORD Data)>;
using TTriggerAvailEvent = std::function<void(TObject* CP, win::WORD Count)>;
using TTriggerHandleEvent = std::function<void(TObject* CP, win::UINT TriggerHandle)>;
using TTriggerLineErrorEvent = std::function<void(TObject* CP, win::WORD Error, bool LineBreak)>;
using TDispatcherCreator = std::function<std::unique_ptr<TSerBaseDispatcher>(TSerCustomComPort* Port)>;

class TSerCustomComPort : public TSerBaseComponent {
 public:
  explicit TSerCustomComPort(TComponent* AOwner);  // AOwner may be null
  ~TSerCustomComPort() override;

  void Assign(const TPersistent* Source) override;
  void Loaded() override;

  // The next unread received byte; 0 while shutting down. Raises ECommNotOpen without a
  // dispatcher (unless AutoOpen opens the port) and EBufferIsEmpty with nothing unread. Called
  // once for every received byte, so the common case is inline.
  std::uint8_t GetChar() {
    if (port_state_ == psShuttingDown) return 0;
    std::uint8_t c = 0;
    if (int result = (dispatcher_ ? *dispatcher_ : OpenedDispatcher()).GetChar(c); result < 0) Check(result);
    return c;
  }
  // Sends the string; nothing while shutting down. Raises EOutputBufferTooSmall when the output
  // ring lacks room for all of it.
  void PutString(const std::string& S);
  // Whether port n exists; a port held by someone else counts as available. Raises nothing.
  bool IsPortAvailable(unsigned n);

  std::uint8_t GetPortState() const { return port_state_; }
  TSerBaseDispatcher* GetDispatcher() const { return dispatcher_.get(); }
  win::HWND GetWindowHandle() const { return window_; }

  bool GetOpen() const { return open_; }
  void SetOpen(bool value);
  win::WORD GetComNumber() const { return com_number_; }
  void SetComNumber(win::WORD value);
  std::int32_t GetBaud() const { return baud_; }
  void SetBaud(std::int32_t value);
  std::uint8_t GetParity() const { return parity_; }
  void SetParity(std::uint8_t value);
  std::uint8_t GetDataBits() const { return data_bits_; }
  void SetDataBits(std::uint8_t value);
  std::uint8_t GetStopBits() const { return stop_bits_; }
  void SetStopBits(std::uint8_t value);
  win::WORD GetInBufferSize() const { return in_size_; }
  void SetInBufferSize(win::WORD value) { in_size_ = value; }
  win::WORD GetOutBufferSize() const { return out_size_; }
  void SetOutBufferSize(win::WORD value) { out_size_ = value; }
  bool GetZeroPortAllowed() const { return zero_port_allowed_; }
  void SetZeroPortAllowed(bool value) { zero_port_allowed_ = value; }
  bool GetAutoOpen() const { return auto_open_; }
  void SetAutoOpen(bool value) { auto_open_ = value; }
  std::uint8_t GetTapiUse() const { return tapi_use_; }
  void SetTapiUse(std::uint8_t value) { tapi_use_ = value; }
  win::HANDLE GetLineHandle() const { return line_handle_; }
  void SetLineHandle(win::HANDLE value) { line_handle_ = value; }
  std::uint8_t GetDeviceLayer() const { return device_layer_; }
  void SetDeviceLayer(std::uint8_t value) { device_layer_ = value; }
  bool GetRS485Mode() const { return rs485_; }
  void SetRS485Mode(bool value);
  std::uint8_t GetThreadBoost() const { return thread_boost_; }
  void SetThreadBoost(std::uint8_t value);
  bool GetDTR() const { return dtr_; }
  void SetDTR(bool value);
  bool GetRTS() const { return rts_; }
  void SetRTS(bool value);
  win::WORD GetFlowFullMark() const { return flow_full_mark_; }
  void SetFlowFullMark(win::WORD value) { flow_full_mark_ = value; }
  win::WORD GetFlowResumeMark() const { return flow_resume_mark_; }
  void SetFlowResumeMark(win::WORD value) { flow_resume_mark_ = value; }
  THardwareFlowOptions GetHardwareFlow() const { return hardware_flow_; }
  void SetHardwareFlow(THardwareFlowOptions value);
  std::uint8_t GetSoftwareFlow() const { return software_flow_; }
  void SetSoftwareFlow(std::uint8_t value);
  std::uint8_t GetXOnChar() const { return xon_char_; }
  void SetXOnChar(std::uint8_t value);
  std::uint8_t GetXOffChar() const { return xoff_char_; }
  void SetXOffChar(std::uint8_t value);
  std::uint8_t GetTracing() const { return tracing_; }
  void SetTracing(std::uint8_t value);
  std::int32_t GetTraceEntries() const { return trace_entries_; }
  void SetTraceEntries(std::int32_t value) { trace_entries_ = value; }
  const std::string& GetTraceFileName() const { return trace_file_name_; }
  void SetTraceFileName(const std::string& value) { trace_file_name_ = value.substr(0, 255); }
  std::uint8_t GetLogging() const { return logging_; }
  void SetLogging(std::uint8_t value);
  std::int32_t GetLogEntries() const { return log_entries_; }
  void SetLogEntries(std::int32_t value) { log_entries_ = value; }
  const std::string& GetLogFileName() const { return log_file_name_; }
  void SetLogFileName(const std::string& value) { log_file_name_ = value.substr(0, 255); }
  win::WORD GetAvailThreshold() const { return avail_threshold_; }
  void SetAvailThreshold(win::WORD value);

  // Trace dump flags (all hexadecimal, hexadecimal for unprintable bytes) and log dump flags.
  bool TraceAllHex = true;
  bool TraceHexUnprintable = false;
  bool LogAllHex = true;
  bool LogHexUnprintable = false;

  TDispatcherCreator DispatcherCreator;  // when assigned, makes the dispatcher at open

  void SetOnTrigger(TTriggerEvent value);
  void SetOnTriggerAvail(TTriggerAvailEvent value);
  void SetOnTriggerData(TTriggerHandleEvent value);
  void SetOnTriggerStatus(TTriggerHandleEvent value);
  void SetOnTriggerTimer(TTriggerHandleEvent value);
  void SetOnLineError(TTriggerLineErrorEvent value);
  void SetOnModemStatus(TNotifyEvent value);
  void SetOnOutputFree(TNotifyEvent value);
  void SetOnOutputUsed(TNotifyEvent value);
  void SetOnOutputSent(TNotifyEvent value);
  const TTriggerAvailEvent& GetOnTriggerAvail() const { return on_trigger_avail_; }

  TNotifyEvent OnPortOpen;   // after a successful open; raised only when assigned
  TNotifyEvent OnPortClose;  // after a close; raised only when assigned

  // The hidden window's handling of one trigger message; answers whether it handled it.
  bool HandleWindowMessage(win::UINT msg, win::WPARAM wParam, win::LPARAM lParam);

 protected:
  virtual std::unique_ptr<TSerBaseDispatcher> MakeDispatcher();
  virtual void InitPort();
  virtual void DonePort();
  virtual void ValidateComport();
  virtual void TriggerHandler(win::UINT msg, win::WPARAM wParam, win::WORD data);
  virtual void TriggerAvail(win::WORD count);
  virtual void TriggerData(win::UINT handle);
  virtual void TriggerStatus(win::UINT handle);
  virtual void TriggerTimer(win::UINT handle);
  virtual void UpdateHandlerFlags();
  virtual void TriggerLineError(win::WORD error, bool lineBreak);
  virtual void TriggerModemStatus();
  virtual void TriggerOutbuffFree();
  virtual void TriggerOutbuffUsed();
  virtual void TriggerOutSent();

 private:
  bool Loading() const;
  // The dispatcher, opening the port first when AutoOpen allows; raises ECommNotOpen otherwise.
  TSerBaseDispatcher& OpenedDispatcher();
  void Check(int code) const;
  // Stores new line values and, when open, sets the line; a value that is refused raises and
  // leaves the old values in place.
  void ChangeLine(std::int32_t baud, std::uint8_t parity, std::uint8_t dataBits, std::uint8_t stopBits);
  void TakeLineSettings(TSerBaseDispatcher& dispatcher);
  void ApplyStoredSettings();
  void ApplyHardwareFlow();
  void ApplySoftwareFlow();
  int ApplyTraceState(std::uint8_t value, std::uint8_t current, bool isTrace);
  void CreateHiddenWindow();
  void DestroyHiddenWindow();
  void FinishClose();
  void SendPortOpen();
  void SendPortClose();
  bool AnyTriggerEventAssigned() const;

  bool force_ = false;
  std::uint8_t port_state_ = psClosed;
  bool open_pending_ = false;
  bool open_at_load_ = false;
  std::optional<TTriggerSnapshot> trigger_snapshot_;
  win::HWND window_ = nullptr;
  std::uint8_t device_layer_ = 0;
  std::unique_ptr<TSerBaseDispatcher> dispatcher_;
  win::WORD com_number_ = 0;
  std::int32_t baud_ = 19200;
  std::uint8_t parity_ = 0;
  std::uint8_t data_bits_ = 8;
  std::uint8_t stop_bits_ = 1;
  win::WORD in_size_ = 4096;
  win::WORD out_size_ = 4096;
  bool open_ = false;
  bool zero_port_allowed_ = true;
  bool auto_open_ = true;
  std::uint8_t tapi_use_ = 1;
  win::HANDLE line_handle_ = nullptr;
  bool rs485_ = false;
  std::uint8_t thread_boost_ = 0;
  bool dtr_ = true;
  bool rts_ = true;
  win::WORD flow_full_mark_ = 0;
  win::WORD flow_resume_mark_ = 0;
  THardwareFlowOptions hardware_flow_;
  std::uint8_t software_flow_ = swfNone;
  std::uint8_t xon_char_ = 17;
  std::uint8_t xoff_char_ = 19;
  std::uint8_t tracing_ = tlOff;
  std::int32_t trace_entries_ = 10000;
  std::string trace_file_name_;
  std::uint8_t logging_ = tlOff;
  std::int32_t log_entries_ = 10000;
  std::string log_file_name_;
  win::WORD avail_threshold_ = 1;

  TTriggerEvent on_trigger_;
  TTriggerAvailEvent on_trigger_avail_;
  TTriggerHandleEvent on_trigger_data_;
  TTriggerHandleEvent on_trigger_status_;
  TTriggerHandleEvent on_trigger_timer_;
  TTriggerLineErrorEvent on_line_error_;
  TNotifyEvent on_modem_status_;
  TNotifyEvent on_output_free_;
  TNotifyEvent on_output_used_;
  TNotifyEvent on_output_sent_;
};

}  // namespace dashtune
