// An in-process comm line for tests: it stands in for port n and shows what a pseudo-terminal
// cannot: modem lines, parity and framing errors, breaks and overruns. The far end is the test,
// which feeds bytes, sets the modem lines and raises line errors; each raises the comm events a
// real port would.
#pragma once

#include <memory>
#include <mutex>
#include <string>

#include "platform/comm/comm.h"

namespace win::comm {

class CommObject;

class FakeCommLine {
 public:
  // Bytes from the far end, raising EV_RXCHAR.
  void Receive(const std::string& bytes);
  // Everything the port has written so far, which is taken.
  std::string TakeSent();
  // The far end's lines (MS_CTS_ON, MS_DSR_ON, MS_RING_ON, MS_RLSD_ON); a change raises EV_CTS,
  // EV_DSR, EV_RLSD, and EV_RING when a ring ends.
  void SetModemLines(DWORD lines);
  // Line errors (CE_RXOVER, CE_OVERRUN, CE_RXPARITY, CE_FRAME, CE_BREAK), raising EV_ERR and, for
  // a break, EV_BREAK.
  void RaiseLineErrors(DWORD errors);

  DCB State();
  bool Dtr();
  bool Rts();
  bool IsOpen();

 private:
  friend class FakeCommDevice;
  friend std::shared_ptr<CommObject> OpenFakePort(unsigned port_number, DWORD& error);

  // Under mutex_: adds events and completes a pending wait that wants one of them.
  void SignalLocked(DWORD events);

  std::mutex mutex_;
  bool open_ = false;
  std::string incoming_;
  std::string sent_;
  DWORD lines_ = 0;
  DWORD errors_ = 0;
  DWORD events_ = 0;
  DWORD mask_ = 0;
  DCB dcb_;
  COMMTIMEOUTS timeouts_;
  bool dtr_ = false;
  bool rts_ = false;
  OVERLAPPED* wait_overlapped_ = nullptr;
  DWORD* wait_mask_ = nullptr;
};

// Makes port n open the fake line instead of a device for the object's lifetime.
class ScopedFakePort {
 public:
  ScopedFakePort(unsigned port_number, std::shared_ptr<FakeCommLine> line);
  ~ScopedFakePort();
  ScopedFakePort(const ScopedFakePort&) = delete;
  ScopedFakePort& operator=(const ScopedFakePort&) = delete;

 private:
  unsigned port_number_;
};

}  // namespace win::comm
