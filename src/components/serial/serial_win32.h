// The device layer of the dispatcher over the comm device calls, with its read, write and status
// threads. Received bytes travel from the read thread to the dispatch thread in 256-byte data
// buffers through the input queue; sent bytes go from the output ring to the write thread.
#pragma once

#include <atomic>
#include <thread>

#include "components/serial/dispatcher.h"

namespace dashtune {

class TSerWin32Dispatcher : public TSerBaseDispatcher {
 public:
  explicit TSerWin32Dispatcher(TComponent* owner);
  ~TSerWin32Dispatcher() override;

  int EscapeComFunction(int function) override;
  int FlushCom(int queue) override;
  int GetComError(win::COMSTAT& status) override;
  int GetComState(win::DCB& dcb) override;
  int ReadCom(std::uint8_t* buffer, int count) override;
  int SetComState(win::DCB& dcb) override;
  int WriteCom(const std::uint8_t* bytes, int count) override;
  int SetupCom(int inSize, int outSize) override;
  win::DWORD ReadModemStatus() override;
  // Raises "Dispatcher already started." when the threads run already.
  void StartDispatcher() override;
  void StopDispatcher() override;
  // Bytes in the output ring plus those the write thread has taken and not yet written.
  int OutBufUsed() override;
  // Unread bytes of the data buffers at the head of the input queue, up to the first element
  // that is no data buffer, counted up to the size of the dispatch ring.
  int InQueueCount() override;
  int OpenCom(const std::string& path, int inSize, int outSize) override;
  int CloseCom() override;

 protected:
  virtual win::HANDLE OpenDevice(const std::string& path);
  void ApplyThreadPriorities() override;

 private:
  void ReadThreadMain();
  // Reads what the device holds into data buffers on the input queue, holding while the queue
  // is full; answers false when the thread is to end. While draining, after a failure, it reads
  // up to the first short read and only a close ends it early.
  bool ReadWhatTheDeviceHolds(std::unique_ptr<TDataBuffer>& buffer, win::OVERLAPPED& overlapped, bool draining);
  bool WaitForQueueRoom(bool draining);
  void WriteThreadMain();
  void StatusThreadMain();
  int ReadInto(TDataBuffer& buffer, win::OVERLAPPED& overlapped);
  int WaitOverlapped(win::OVERLAPPED& overlapped);
  int WriteOut(win::OVERLAPPED& overlapped);
  int WaitForWrite(win::OVERLAPPED& overlapped);
  void AbortPendingWrite();
  int OutputRingUsedLocked() const;
  void StartThread(std::thread& thread, void (TSerWin32Dispatcher::*body)());
  // Notes the calling thread's kernel id in tid and gives the thread its priority.
  void EnterThread(std::atomic<int>& tid, int steps);
  int WriteSteps() const { return Boost() + (RS485() ? 1 : 0); }
  void JoinIOThreads();

  win::HANDLE com_handle_ = win::INVALID_HANDLE_VALUE;
  win::HANDLE read_wake_ = nullptr;
  std::thread read_thread_;
  std::thread write_thread_;
  std::thread status_thread_;
  std::atomic<std::size_t> in_flight_{0};
  std::atomic<bool> read_held_{false};  // the read thread waits for room in the input queue
  // Kernel ids of the running I/O threads, 0 when not running.
  std::atomic<int> read_tid_{0};
  std::atomic<int> write_tid_{0};
  std::atomic<int> status_tid_{0};
};

// The same layer over a line handle that another component opened.
class TSerTAPI32Dispatcher : public TSerWin32Dispatcher {
 public:
  TSerTAPI32Dispatcher(TComponent* owner, win::HANDLE line);

  // The line's state, also before the open.
  int GetComState(win::DCB& dcb) override;

 protected:
  // Answers the line handle; without one, sets the last error to 2007 and fails.
  win::HANDLE OpenDevice(const std::string& path) override;

 private:
  win::HANDLE line_;
};

}  // namespace dashtune
