// The kernel object behind a comm handle: the operations of the comm calls, realised by a
// terminal device or by the in-process fake line.
#pragma once

#include <memory>

#include "platform/comm/comm.h"
#include "platform/core/handles.h"

namespace win::comm {

class CommObject : public KernelObject {
 public:
  virtual BOOL Read(void* buffer, DWORD count, DWORD* read) = 0;
  virtual BOOL Write(const void* bytes, DWORD count, DWORD* written, OVERLAPPED* overlapped) = 0;
  virtual BOOL Result(OVERLAPPED* overlapped, DWORD* transferred, BOOL wait) = 0;
  virtual BOOL SetMask(DWORD mask) = 0;
  virtual DWORD Mask() = 0;
  virtual BOOL WaitEvent(DWORD* mask, OVERLAPPED* overlapped) = 0;
  virtual BOOL GetState(DCB* dcb) = 0;
  virtual BOOL SetState(const DCB& dcb) = 0;
  virtual BOOL GetTimeouts(COMMTIMEOUTS* timeouts) = 0;
  virtual BOOL SetTimeouts(const COMMTIMEOUTS& timeouts) = 0;
  virtual BOOL Purge(DWORD flags) = 0;
  virtual BOOL ClearError(DWORD* errors, COMSTAT* status) = 0;
  virtual BOOL Escape(DWORD function) = 0;
  virtual BOOL ModemStatus(DWORD* status) = 0;
};

// The fake line registered for port n, opened; null when none is registered. Sets error to
// ERROR_ACCESS_DENIED (and answers null) when the fake line is open already.
std::shared_ptr<CommObject> OpenFakePort(unsigned port_number, DWORD& error);

BOOL FailWith(DWORD error);
// Records the completion of an overlapped operation and sets its event.
void CompleteOverlapped(OVERLAPPED* overlapped, DWORD error, std::size_t bytes);

}  // namespace win::comm
