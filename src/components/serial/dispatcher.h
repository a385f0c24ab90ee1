// The dispatcher: the engine behind one open port. It holds the dispatch ring that received
// bytes are moved into, the output ring, the line and modem state, the triggers and the window
// handlers, the trace and the log, and runs the dispatch thread that turns device events and
// received data into trigger messages. The device itself is supplied by a descendant.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <exception>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "components/serial/serial_errors.h"
#include "components/serial/serial_lock.h"
#include "components/serial/serial_match.h"
#include "components/serial/serial_misc.h"
#include "components/serial/serial_queue.h"
#include "components/serial/serial_trace.h"
#include "platform/comm/comm.h"
#include "platform/core/sync.h"
#include "platform/core/types.h"

namespace dashtune {

class TComponent;

namespace serial {

// Trigger messages sent to window handlers; the high word of lParam is the dispatcher's index in
// the global port list.
inline constexpr win::UINT APW_TRIGGERAVAIL = 0x7E01;
inline constexpr win::UINT APW_TRIGGERDATA = 0x7E02;
inline constexpr win::UINT APW_TRIGGERTIMER = 0x7E03;
inline constexpr win::UINT APW_TRIGGERSTATUS = 0x7E04;
inline constexpr win::UINT APW_CLOSEPENDING = 0x7E0A;

inline constexpr std::size_t kDispatchBufferSize = 8192;

// Status trigger kinds.
inline constexpr std::uint8_t kStatusModem = 1;
inline constexpr std::uint8_t kStatusLine = 2;
inline constexpr std::uint8_t kStatusOutFree = 3;
inline constexpr std::uint8_t kStatusOutUsed = 4;
inline constexpr std::uint8_t kStatusOutSent = 5;

// Open flags.
inline constexpr int kOpenDTR = 1;
inline constexpr int kOpenRTS = 2;
inline constexpr int kOpenDTRFlow = 16;
inline constexpr int kOpenRTSFlow = 32;

// Hardware flow option bits and software flow modes as the dispatcher numbers them.
inline constexpr int kHwFlowUseDTR = 1;
inline constexpr int kHwFlowUseRTS = 2;
inline constexpr int kHwFlowRequireDSR = 4;
inline constexpr int kHwFlowRequireCTS = 8;
inline constexpr int kSwFlowTransmit = 1;
inline constexpr int kSwFlowReceive = 2;

// Line errors as LineError reports them.
inline constexpr int kLineErrorQueueOverflow = 1;
inline constexpr int kLineErrorOverrun = 2;
inline constexpr int kLineErrorParity = 3;
inline constexpr int kLineErrorFraming = 4;
inline constexpr int kLineErrorBreak = 9;

// Log kinds and codes.
inline constexpr std::uint8_t kLogKindData = 1;
inline constexpr std::uint8_t kLogKindTrigger = 2;
inline constexpr std::uint8_t kLogKindDispatch = 5;
inline constexpr std::uint16_t kLogCodeReceived = 1;
inline constexpr std::uint16_t kLogCodeSent = 2;
inline constexpr std::uint16_t kLogCodeAvail = 3;
inline constexpr std::uint16_t kLogCodeDataMatch = 4;
inline constexpr std::uint16_t kLogCodeTimer = 5;
inline constexpr std::uint16_t kLogCodeStatus = 6;
inline constexpr std::uint16_t kLogCodeBufferFull = 15;

}  // namespace serial

struct TTimerTrigger {
  int Handle = 0;
  serial::EventTimer Timer;
  bool Active = false;
};

struct TDataTrigger {
  int Handle = 0;
  serial::MatchState Pattern;  // match string, progress and ignore-case flag
  bool Active = false;
};

struct TStatusTrigger {
  int Handle = 0;
  std::uint8_t Kind = 0;
  std::uint16_t Value = 0;  // modem: mask << 8 | last status; line: error mask; output: byte count
  bool Armed = false;
  bool Fired = false;
};

struct TTriggerSnapshot {
  std::uint16_t AvailThreshold = 0;
  std::vector<TTimerTrigger> TimerTriggers;
  std::vector<TDataTrigger> DataTriggers;
  std::vector<TStatusTrigger> StatusTriggers;
};

class TSerBaseDispatcher {
 public:
  explicit TSerBaseDispatcher(TComponent* owner);  // owner: not owned, may be null
  virtual ~TSerBaseDispatcher();
  TSerBaseDispatcher(const TSerBaseDispatcher&) = delete;
  TSerBaseDispatcher& operator=(const TSerBaseDispatcher&) = delete;

  // Device operations, supplied by the device layer.
  virtual int EscapeComFunction(int function) = 0;
  virtual int FlushCom(int queue) = 0;  // 0 output, 1 input
  virtual int GetComError(win::COMSTAT& status) = 0;  // answers the line error flags
  virtual int GetComState(win::DCB& dcb) = 0;
  virtual int ReadCom(std::uint8_t* buffer, int count) = 0;
  virtual int SetComState(win::DCB& dcb) = 0;
  virtual int WriteCom(const std::uint8_t* bytes, int count) = 0;
  virtual int SetupCom(int inSize, int outSize) = 0;
  virtual win::DWORD ReadModemStatus() = 0;  // MS_* bits
  virtual void ReleaseBuffers();
  virtual void StartDispatcher() = 0;
  virtual void StopDispatcher() = 0;
  virtual int OutBufUsed() = 0;
  virtual int InQueueCount() { return 0; }
  virtual int OpenCom(const std::string& path, int inSize, int outSize) = 0;  // handle value or -1
  virtual int CloseCom() = 0;
  // Read, dispatch and status threads run at the normal priority plus boost steps, the write
  // thread one step more in RS-485 mode (without the privilege to raise priorities they stay).
  virtual void SetThreadBoost(std::uint8_t boost);
  virtual void UpdateHandlerFlags(int flag);

  // Operations of the port component; each answers 0 or a negative code unless said otherwise.
  int Open(const std::string& path, win::DWORD baud, int flags, int outSize, int inSize, int stopBits, int dataBits,
           int parity);
  void Close();
  int SetLine(win::DWORD baud, int parity, int stopBits, int dataBits);
  void GetLine(win::DWORD& baud, int& parity, int& dataBits, int& stopBits);
  int SetDTR(bool on);  // 1 while DTR is under flow control
  int SetRTS(bool on);  // 1 while RTS is under flow control
  int HardwareFlow(int fullMark, int resumeMark, int options);
  int SoftwareFlow(int fullMark, int resumeMark, int mode);
  int SoftwareFlowOff();
  int SetXOnChar(std::uint8_t c);
  int SetXOffChar(std::uint8_t c);
  // Received bytes are read one at a time, so this stays small enough to inline: the state
  // lock is taken only while tracing.
  int GetChar(std::uint8_t& c) {
    {
      std::lock_guard dispatch(ring_.lock);
      if (ring_.bytes.empty() || UnreadLocked() < 1) return serial::kErrBufferIsEmpty;
      if (ring_.peek_mode) {
        c = ring_.bytes[(ring_.tail + ring_.peek_offset) % serial::kDispatchBufferSize];
        ++ring_.peek_offset;
      } else {
        c = ring_.bytes[ring_.tail];
        ring_.tail = (ring_.tail + 1) % serial::kDispatchBufferSize;
        ring_.full = false;
      }
    }
    if (tracing_) TraceReceived(c);
    return serial::kOK;
  }
  int PeekChar(std::uint8_t& c, int n);
  int PutBlock(const std::uint8_t* bytes, int count);
  int CharReady();  // unread bytes of the dispatch ring
  int OutBuffFree();
  int LineError();
  bool LineBreak();
  std::uint8_t GetModemStatus(std::uint8_t keepMask);
  void RegisterWindowHandler(win::HWND window);
  void DeregisterWindowHandler(win::HWND window);
  void SetAvailThreshold(std::uint16_t threshold);
  TTriggerSnapshot SaveTriggers();
  void RestoreTriggers(const TTriggerSnapshot& snapshot);
  void SetRS485Mode(bool on);

  int StartTracing(int capacity);
  void StopTracing();
  void ClearTracing();
  void PauseTracing();
  void ResumeTracing();
  int DumpTrace(const std::string& fileName, bool append, bool allHex, bool hexUnprintable);
  int StartLogging(int capacity);
  void StopLogging();
  void ClearLogging();
  void PauseLogging();
  void ResumeLogging();
  int DumpLog(const std::string& fileName, bool append, bool hex);
  void AddLogEntry(std::uint8_t kind, std::uint16_t code, const void* data, std::size_t size, win::DWORD value);

  // One pass of the dispatch thread over the input queue, the dispatch ring and the triggers.
  void ProcessCommunications();
  // The timer and status passes that follow each ProcessCommunications.
  void ProcessTimerAndStatus();

  int Handle() const { return handle_; }  // index in the global port list
  const std::string& DeviceName() const { return device_name_; }
  void SetDeviceName(const std::string& name) { device_name_ = name; }
  TComponent* Owner() const { return owner_; }
  bool InEvent() const { return in_event_.load(); }
  bool ClosePending() const { return close_pending_.load(); }
  bool ThreadsActive() const { return threads_active_.load(); }
  int ActiveThreads() const { return active_threads_.load(); }
  // The error a failing thread recorded (-160 write, -161 read or status), 0 for none. After
  // one, block writes answer it: the line has gone.
  int ThreadError() const { return thread_error_.load(); }

  // The dispatcher at index in the global port list, or null; call with the list locked.
  static TSerBaseDispatcher* PortAt(int index);
  static void LockPortList();
  static void UnlockPortList();

 protected:
  // Shared with the device layer and its threads.
  bool ReadComErrors();  // reads the line errors; true when any is set
  void SignalEvent(win::HANDLE event);
  void ThreadStarted();
  void ThreadEnded();
  // Records the first failing thread's error and ends all threads.
  void RecordError(int code);
  // The error a thread records for an exception that ended it: a serial exception's own code,
  // "No memory" for a failed allocation, else a read error.
  static int ThreadErrorOf(const std::exception_ptr& failure);
  // Whether the threads are being ended by a close rather than by a failure.
  bool StopRequested() const { return stop_requested_.load(); }
  void RunDispatchLoop();
  void StartDispatchThread();
  // Ends the dispatch thread: waits for it, pumping messages, as long as maxTicks twice.
  void StopDispatchThread(win::DWORD maxTicks);
  bool CreateEvents();
  void CloseEvents();
  // Gives each running thread of the dispatcher its priority; the device layer adds its own.
  virtual void ApplyThreadPriorities();
  // Sets the priority of the thread with kernel id tid to the normal one plus steps.
  static void SetThreadSteps(int tid, int steps);
  int Boost() const { return thread_boost_.load(); }
  bool RS485() const { return rs485_.load(); }

  struct WindowHandler {
    win::HWND Window;
    bool Deleted;
  };

  // Line state, triggers, handlers, trace and log, with the lock that guards them.
  struct GuardedState {
    win::CRITICAL_SECTION lock;
    win::DCB dcb;
    std::uint8_t line_errors = 0;
    std::uint8_t modem_status = 0;
    bool ring_flagged = false;
    bool dtr_on = false;
    bool rts_on = false;
    bool dtr_flow = false;
    bool rts_flow = false;
    std::uint16_t avail_threshold = 0;
    std::vector<TTimerTrigger> timer_triggers;
    std::vector<TDataTrigger> data_triggers;
    std::vector<TStatusTrigger> status_triggers;
    bool status_fired = false;
    std::vector<WindowHandler> window_handlers;
    bool handlers_need_service = false;
    bool own_window_wants_events = false;
    bool handler_deleted_pending = false;
    serial::TraceBuffer trace;
    int log_capacity = 0;
    bool log_active = false;
    win::DWORD open_time = 0;
  };

  // The output ring that block writes fill and the write thread drains, with its lock.
  struct GuardedOutputRing {
    win::CRITICAL_SECTION lock;
    std::vector<std::uint8_t> bytes;
    std::size_t head = 0;
    std::size_t tail = 0;
    bool full = false;
  };

  // The dispatch ring and its peek state, with its lock, which is taken for every received byte
  // that the application reads.
  struct GuardedDispatchRing {
    serial::SpinLock lock;
    std::vector<std::uint8_t> bytes;
    std::size_t head = 0;
    std::size_t tail = 0;
    bool full = false;
    bool peek_mode = false;
    std::size_t peek_offset = 0;
    std::size_t largest_consumed = 0;
    // Scan and announcement positions count every byte that ever entered the ring, so that a
    // ring refilled all the way round is not mistaken for the position last announced.
    std::uint64_t received = 0;
    std::uint64_t scanned = 0;
    std::uint64_t last_avail = UINT64_MAX;
  };

  TComponent* owner_;
  int cid_ = -1;
  std::string device_name_;
  int in_size_ = 0;
  int out_size_ = 0;
  win::DWORD baud_ = 0;

  GuardedState state_;
  GuardedOutputRing output_;
  std::atomic<bool> out_sent_{false};

  std::atomic<bool> kill_threads_{false};
  std::atomic<bool> threads_active_{false};
  std::atomic<int> active_threads_{0};
  std::atomic<bool> close_pending_{false};
  std::atomic<bool> in_event_{false};
  std::atomic<bool> rs485_{false};
  std::atomic<bool> closing_{false};
  std::atomic<bool> stop_requested_{false};
  std::atomic<int> thread_error_{0};
  std::atomic<int> thread_boost_{0};
  std::atomic<int> dispatch_tid_{0};

  win::HANDLE general_event_ = nullptr;
  win::HANDLE thread_ack_event_ = nullptr;
  win::HANDLE output_event_ = nullptr;
  win::HANDLE flush_event_ = nullptr;

  TIOQueue input_queue_;
  TIOQueue log_queue_;

 private:
  void ResetRings();
  void ClearTriggers();
  int WriteComState();
  void DrainOutput();
  void ReapplyDTRAndRTS();
  int UnreadLocked() const {  // under the dispatch ring's lock
    std::size_t unread = (ring_.head + serial::kDispatchBufferSize - ring_.tail) % serial::kDispatchBufferSize;
    if (unread == 0 && ring_.full) unread = serial::kDispatchBufferSize;
    if (ring_.peek_mode) unread -= std::min(unread, ring_.peek_offset);
    return static_cast<int>(unread);
  }
  void TraceReceived(std::uint8_t c);
  bool FillDispatchRing();
  // Waits for input, or with a full ring for the application to read.
  void WaitForInput();
  void DeliverWhatWasRead();
  bool SendEvent(win::UINT msg, win::WPARAM wParam, win::WORD data);
  bool DataPass();
  bool StatusPass();
  bool TimerPass();
  void ClearFiredMarks();
  bool StatusPassesUntilQuiet();
  void RemoveDeletedHandlersLocked();
  void ResetInputAfterFlush();

  int handle_ = -1;
  GuardedDispatchRing ring_;
  std::atomic<bool> tracing_{false};  // state_.trace.Active(), readable without the state lock

  std::thread dispatch_thread_;
  std::atomic<bool> dispatch_running_{false};
};

}  // namespace dashtune
