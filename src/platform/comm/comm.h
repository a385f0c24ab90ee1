// Serial communication devices: "\\.\COMn" opened with CreateFileA, overlapped reads, writes and
// event waits, comm state, time-outs, masks, purging, errors and modem lines.
//
// Port n is the device /dev/ttyS<n-1> unless the environment variable DASHTUNE_COM<n> names
// another path (a USB adapter or, in tests, a pseudo-terminal). A device is held exclusively:
// a second open of the same device fails with ERROR_ACCESS_DENIED. The comm state is kept in a
// shadow control block and applied through termios; modem-line calls that the device cannot
// carry (a pseudo-terminal) act on the shadow state only.
#pragma once

#include <string>

#include "platform/core/file_attributes.h"
#include "platform/core/types.h"

namespace win {

// Device control block. Flags holds the flag bits below (the bit layout of the platform's DCB).
struct DCB {
  DWORD DCBlength = sizeof(DCB);
  DWORD BaudRate = 0;
  DWORD Flags = 0;
  WORD wReserved = 0;
  WORD XonLim = 0;
  WORD XoffLim = 0;
  BYTE ByteSize = 8;
  BYTE Parity = 0;
  BYTE StopBits = 0;
  CHAR XonChar = 0x11;
  CHAR XoffChar = 0x13;
  CHAR ErrorChar = 0;
  CHAR EofChar = 0;
  CHAR EvtChar = 0;
  WORD wReserved1 = 0;
};
using LPDCB = DCB*;

constexpr DWORD DCB_BINARY = 0x0001;
constexpr DWORD DCB_PARITY_CHECK = 0x0002;
constexpr DWORD DCB_OUTX_CTS_FLOW = 0x0004;
constexpr DWORD DCB_OUTX_DSR_FLOW = 0x0008;
constexpr DWORD DCB_DTR_CONTROL_MASK = 0x0030;
constexpr DWORD DCB_DTR_CONTROL_ENABLE = 0x0010;
constexpr DWORD DCB_DTR_CONTROL_HANDSHAKE = 0x0020;
constexpr DWORD DCB_DSR_SENSITIVITY = 0x0040;
constexpr DWORD DCB_TX_CONTINUE_ON_XOFF = 0x0080;
constexpr DWORD DCB_OUTX = 0x0100;
constexpr DWORD DCB_INX = 0x0200;
constexpr DWORD DCB_ERROR_CHAR = 0x0400;
constexpr DWORD DCB_NULL = 0x0800;
constexpr DWORD DCB_RTS_CONTROL_MASK = 0x3000;
constexpr DWORD DCB_RTS_CONTROL_ENABLE = 0x1000;
constexpr DWORD DCB_RTS_CONTROL_HANDSHAKE = 0x2000;
constexpr DWORD DCB_RTS_CONTROL_TOGGLE = 0x3000;
constexpr DWORD DCB_ABORT_ON_ERROR = 0x4000;

constexpr BYTE NOPARITY = 0;
constexpr BYTE ODDPARITY = 1;
constexpr BYTE EVENPARITY = 2;
constexpr BYTE MARKPARITY = 3;
constexpr BYTE SPACEPARITY = 4;
constexpr BYTE ONESTOPBIT = 0;
constexpr BYTE ONE5STOPBITS = 1;
constexpr BYTE TWOSTOPBITS = 2;

struct COMMTIMEOUTS {
  DWORD ReadIntervalTimeout = 0;
  DWORD ReadTotalTimeoutMultiplier = 0;
  DWORD ReadTotalTimeoutConstant = 0;
  DWORD WriteTotalTimeoutMultiplier = 0;
  DWORD WriteTotalTimeoutConstant = 0;
};
constexpr DWORD MAXDWORD = 0xFFFFFFFF;

struct COMSTAT {
  DWORD Flags = 0;
  DWORD cbInQue = 0;
  DWORD cbOutQue = 0;
};

// Line error flags of ClearCommError.
constexpr DWORD CE_RXOVER = 0x0001;
constexpr DWORD CE_OVERRUN = 0x0002;
constexpr DWORD CE_RXPARITY = 0x0004;
constexpr DWORD CE_FRAME = 0x0008;
constexpr DWORD CE_BREAK = 0x0010;

// Comm events.
constexpr DWORD EV_RXCHAR = 0x0001;
constexpr DWORD EV_RXFLAG = 0x0002;
constexpr DWORD EV_TXEMPTY = 0x0004;
constexpr DWORD EV_CTS = 0x0008;
constexpr DWORD EV_DSR = 0x0010;
constexpr DWORD EV_RLSD = 0x0020;
constexpr DWORD EV_BREAK = 0x0040;
constexpr DWORD EV_ERR = 0x0080;
constexpr DWORD EV_RING = 0x0100;

// Modem status bits of GetCommModemStatus.
constexpr DWORD MS_CTS_ON = 0x0010;
constexpr DWORD MS_DSR_ON = 0x0020;
constexpr DWORD MS_RING_ON = 0x0040;
constexpr DWORD MS_RLSD_ON = 0x0080;

// EscapeCommFunction.
constexpr DWORD SETXOFF = 1;
constexpr DWORD SETXON = 2;
constexpr DWORD SETRTS = 3;
constexpr DWORD CLRRTS = 4;
constexpr DWORD SETDTR = 5;
constexpr DWORD CLRDTR = 6;
constexpr DWORD SETBREAK = 8;
constexpr DWORD CLRBREAK = 9;

// PurgeComm.
constexpr DWORD PURGE_TXABORT = 0x0001;
constexpr DWORD PURGE_RXABORT = 0x0002;
constexpr DWORD PURGE_TXCLEAR = 0x0004;
constexpr DWORD PURGE_RXCLEAR = 0x0008;

// CreateFileA.
constexpr DWORD GENERIC_READ = 0x80000000;
constexpr DWORD GENERIC_WRITE = 0x40000000;
constexpr DWORD OPEN_EXISTING = 3;
constexpr DWORD FILE_FLAG_OVERLAPPED = 0x40000000;

// Completion record of an overlapped operation. Internal holds the operation's error (0 for
// success, ERROR_IO_PENDING while it runs), InternalHigh the bytes transferred. hEvent is a
// manual-reset event that is reset when the operation starts and set when it completes.
struct OVERLAPPED {
  ULONG_PTR Internal = 0;
  ULONG_PTR InternalHigh = 0;
  DWORD Offset = 0;
  DWORD OffsetHigh = 0;
  HANDLE hEvent = nullptr;
};
using LPOVERLAPPED = OVERLAPPED*;

struct SECURITY_ATTRIBUTES;

// Opens a comm device ("\\.\COMn"); other paths fail with ERROR_FILE_NOT_FOUND. Answers
// INVALID_HANDLE_VALUE with the last error set on failure.
HANDLE CreateFileA(LPCSTR path, DWORD access, DWORD share_mode, SECURITY_ATTRIBUTES* security, DWORD creation,
                   DWORD flags, HANDLE template_file);
// The device path that port number n maps to.
std::string CommDevicePath(unsigned port_number);

// Reads return at once with what the device holds (the time-outs reads are opened with);
// writes that cannot finish at once are pending and complete in the device's own thread.
BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD count, DWORD* read, LPOVERLAPPED overlapped);
BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD count, DWORD* written, LPOVERLAPPED overlapped);
BOOL GetOverlappedResult(HANDLE file, LPOVERLAPPED overlapped, DWORD* transferred, BOOL wait);

BOOL SetCommMask(HANDLE file, DWORD mask);
BOOL GetCommMask(HANDLE file, DWORD* mask);
BOOL WaitCommEvent(HANDLE file, DWORD* mask, LPOVERLAPPED overlapped);
BOOL GetCommState(HANDLE file, LPDCB dcb);
BOOL SetCommState(HANDLE file, LPDCB dcb);
BOOL GetCommTimeouts(HANDLE file, COMMTIMEOUTS* timeouts);
BOOL SetCommTimeouts(HANDLE file, COMMTIMEOUTS* timeouts);
BOOL SetupComm(HANDLE file, DWORD in_queue, DWORD out_queue);
BOOL PurgeComm(HANDLE file, DWORD flags);
BOOL ClearCommError(HANDLE file, DWORD* errors, COMSTAT* status);
BOOL EscapeCommFunction(HANDLE file, DWORD function);
BOOL GetCommModemStatus(HANDLE file, DWORD* modem_status);

}  // namespace win
