// Comm devices over a real pseudo-terminal: paths, open errors, reads, writes, waits, a vanished peer.
#include "platform/comm/comm.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "platform/comm/line_settings.h"
#include "platform/core/errors.h"
#include "platform/core/handles.h"
#include "platform/core/sync.h"
#include "platform/core/wait.h"

namespace win {
namespace {

constexpr int kPort = 57;

// A pseudo-terminal whose terminal side is comm port kPort for the test's lifetime.
class PtyPort {
 public:
  PtyPort() {
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    grantpt(master_);
    unlockpt(master_);
    setenv(Variable().c_str(), ptsname(master_), 1);
  }
  ~PtyPort() {
    unsetenv(Variable().c_str());
    CloseMaster();
  }
  static std::string Variable() { return "DASHTUNE_COM" + std::to_string(kPort); }
  static std::string Path() { return "\\\\.\\COM" + std::to_string(kPort); }
  int Master() const { return master_; }
  void CloseMaster() {
    if (master_ >= 0) close(master_);
    master_ = -1;
  }
  std::string ReadMaster(std::size_t count) {
    std::string got;
    char buffer[4096];
    pollfd entry{master_, POLLIN, 0};
    while (got.size() < count && poll(&entry, 1, 2000) > 0) {
      ssize_t n = read(master_, buffer, std::min(sizeof buffer, count - got.size()));
      if (n <= 0) break;
      got.append(buffer, static_cast<std::size_t>(n));
    }
    return got;
  }

 private:
  int master_ = -1;
};

HANDLE OpenPort() {
  return CreateFileA(PtyPort::Path().c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                     FILE_FLAG_OVERLAPPED, nullptr);
}

TEST(CommDevice, PortNumbersMapToDevicePaths) {
  unsetenv("DASHTUNE_COM3");
  EXPECT_EQ(CommDevicePath(1), "/dev/ttyS0");
  EXPECT_EQ(CommDevicePath(3), "/dev/ttyS2");
  setenv("DASHTUNE_COM3", "/dev/ttyUSB0", 1);
  EXPECT_EQ(CommDevicePath(3), "/dev/ttyUSB0");
  unsetenv("DASHTUNE_COM3");
}

TEST(CommDevice, OpenErrorsAreWin32Codes) {
  struct Case {
    const char* path;
    DWORD error;
  };
  setenv("DASHTUNE_COM58", "/etc/passwd/ttyX", 1);
  setenv("DASHTUNE_COM59", "/dev/null", 1);
  const Case cases[] = {
      {"\\\\.\\COM0", ERROR_FILE_NOT_FOUND},  {"\\\\.\\COMX", ERROR_FILE_NOT_FOUND},
      {"/etc/passwd", ERROR_FILE_NOT_FOUND},  {"\\\\.\\COM58", ERROR_PATH_NOT_FOUND},
      {"\\\\.\\COM59", ERROR_FILE_NOT_FOUND},
  };
  for (const Case& c : cases) {
    SetLastError(0);
    EXPECT_EQ(CreateFileA(c.path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr),
              INVALID_HANDLE_VALUE)
        << c.path;
    EXPECT_EQ(GetLastError(), c.error) << c.path;
  }
  unsetenv("DASHTUNE_COM58");
  unsetenv("DASHTUNE_COM59");
}

TEST(CommDevice, ASecondOpenIsDeniedUntilTheFirstCloses) {
  PtyPort pty;
  HANDLE first = OpenPort();
  ASSERT_NE(first, INVALID_HANDLE_VALUE);
  EXPECT_EQ(OpenPort(), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  ASSERT_TRUE(CloseHandle(first));
  HANDLE again = OpenPort();
  EXPECT_NE(again, INVALID_HANDLE_VALUE);
  CloseHandle(again);
}

TEST(CommDevice, WritesReachThePeerAndReadsReturnAtOnce) {
  PtyPort pty;
  HANDLE port = OpenPort();
  ASSERT_NE(port, INVALID_HANDLE_VALUE);
  OVERLAPPED overlapped;
  overlapped.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  DWORD count = 0;
  char buffer[16];
  ASSERT_TRUE(ReadFile(port, buffer, sizeof buffer, &count, &overlapped));
  EXPECT_EQ(count, 0u);
  ASSERT_TRUE(WriteFile(port, "AT\r", 3, &count, &overlapped));
  EXPECT_EQ(count, 3u);
  EXPECT_EQ(pty.ReadMaster(3), "AT\r");
  ASSERT_EQ(write(pty.Master(), "OK\r\n", 4), 4);
  std::string got;
  for (int tries = 0; tries < 200 && got.size() < 4; ++tries) {
    ASSERT_TRUE(ReadFile(port, buffer, sizeof buffer, &count, &overlapped));
    got.append(buffer, count);
    if (count == 0) Sleep(1);
  }
  EXPECT_EQ(got, "OK\r\n");
  CloseHandle(overlapped.hEvent);
  CloseHandle(port);
}

// Waits until the port holds count received bytes (in its queue and the terminal's together).
bool WaitUntilQueued(HANDLE port, DWORD count) {
  COMSTAT status;
  for (int tries = 0; tries < 2000; ++tries) {
    if (ClearCommError(port, nullptr, &status) && status.cbInQue == count) return true;
    Sleep(1);
  }
  return false;
}

TEST(CommDevice, SmallReadsKeepTheOrderOfWhatTheReceiveQueueHoldsAndPurgeEmptiesIt) {
  PtyPort pty;
  HANDLE port = OpenPort();
  ASSERT_NE(port, INVALID_HANDLE_VALUE);
  ASSERT_TRUE(SetCommMask(port, EV_RXCHAR));
  std::string first(3000, '\0');
  std::string second(3000, '\0');
  for (std::size_t i = 0; i < first.size(); ++i) {
    first[i] = static_cast<char>('a' + i % 23);
    second[i] = static_cast<char>('A' + i % 19);
  }
  ASSERT_EQ(write(pty.Master(), first.data(), first.size()), static_cast<ssize_t>(first.size()));
  ASSERT_TRUE(WaitUntilQueued(port, 3000));
  OVERLAPPED overlapped;
  overlapped.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  char buffer[7];
  DWORD count = 0;
  ASSERT_TRUE(ReadFile(port, buffer, sizeof buffer, &count, &overlapped));
  ASSERT_EQ(count, 7u);
  std::string got(buffer, count);
  // What the port took from the terminal and has not handed out is still received data.
  ASSERT_TRUE(WaitUntilQueued(port, 2993));
  DWORD events = 0;
  ASSERT_TRUE(WaitCommEvent(port, &events, &overlapped));
  EXPECT_EQ(events, EV_RXCHAR);
  ASSERT_EQ(write(pty.Master(), second.data(), second.size()), static_cast<ssize_t>(second.size()));
  ASSERT_TRUE(WaitUntilQueued(port, 5993));
  do {
    ASSERT_TRUE(ReadFile(port, buffer, sizeof buffer, &count, &overlapped));
    got.append(buffer, count);
  } while (count == sizeof buffer);
  EXPECT_EQ(got, first + second);
  ASSERT_EQ(write(pty.Master(), "xyz123", 6), 6);
  ASSERT_TRUE(WaitUntilQueued(port, 6));
  ASSERT_TRUE(ReadFile(port, buffer, 2, &count, &overlapped));
  EXPECT_EQ(std::string(buffer, count), "xy");
  ASSERT_TRUE(PurgeComm(port, PURGE_RXABORT | PURGE_RXCLEAR));
  EXPECT_TRUE(WaitUntilQueued(port, 0));
  ASSERT_TRUE(ReadFile(port, buffer, sizeof buffer, &count, &overlapped));
  EXPECT_EQ(count, 0u);
  CloseHandle(overlapped.hEvent);
  CloseHandle(port);
}

TEST(CommDevice, ReceivedBytesCompleteAPendingEventWait) {
  PtyPort pty;
  HANDLE port = OpenPort();
  ASSERT_NE(port, INVALID_HANDLE_VALUE);
  ASSERT_TRUE(SetCommMask(port, EV_RXCHAR | EV_CTS | EV_DSR));
  OVERLAPPED overlapped;
  overlapped.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  DWORD events = 0;
  ASSERT_FALSE(WaitCommEvent(port, &events, &overlapped));
  ASSERT_EQ(GetLastError(), ERROR_IO_PENDING);
  EXPECT_EQ(WaitForSingleObject(overlapped.hEvent, 100), WAIT_TIMEOUT);
  ASSERT_EQ(write(pty.Master(), "x", 1), 1);
  ASSERT_EQ(WaitForSingleObject(overlapped.hEvent, 5000), WAIT_OBJECT_0);
  DWORD transferred = 0;
  EXPECT_TRUE(GetOverlappedResult(port, &overlapped, &transferred, TRUE));
  EXPECT_EQ(events, EV_RXCHAR);
  // A new mask ends a pending wait with no event.
  events = 0xFFFF;
  ASSERT_FALSE(WaitCommEvent(port, &events, &overlapped));
  ASSERT_TRUE(SetCommMask(port, 0));
  ASSERT_EQ(WaitForSingleObject(overlapped.hEvent, 5000), WAIT_OBJECT_0);
  EXPECT_EQ(events, 0u);
  CloseHandle(overlapped.hEvent);
  CloseHandle(port);
}

TEST(CommDevice, AVanishedPeerFailsEventWaitsAndWrites) {
  PtyPort pty;
  HANDLE port = OpenPort();
  ASSERT_NE(port, INVALID_HANDLE_VALUE);
  SetCommMask(port, EV_RXCHAR);
  OVERLAPPED overlapped;
  overlapped.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  DWORD events = 0;
  ASSERT_FALSE(WaitCommEvent(port, &events, &overlapped));
  pty.CloseMaster();
  ASSERT_EQ(WaitForSingleObject(overlapped.hEvent, 5000), WAIT_OBJECT_0);
  DWORD transferred = 0;
  EXPECT_FALSE(GetOverlappedResult(port, &overlapped, &transferred, TRUE));
  DWORD written = 0;
  EXPECT_FALSE(WriteFile(port, "x", 1, &written, &overlapped));
  EXPECT_NE(GetLastError(), ERROR_IO_PENDING);
  CloseHandle(overlapped.hEvent);
  CloseHandle(port);
}

TEST(CommDevice, AbortEndsAPendingWrite) {
  PtyPort pty;
  HANDLE port = OpenPort();
  ASSERT_NE(port, INVALID_HANDLE_VALUE);
  OVERLAPPED overlapped;
  overlapped.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  // Far more than the pseudo-terminal holds while nobody reads.
  std::vector<char> block(1 << 20, 'z');
  DWORD written = 0;
  ASSERT_FALSE(WriteFile(port, block.data(), static_cast<DWORD>(block.size()), &written, &overlapped));
  ASSERT_EQ(GetLastError(), ERROR_IO_PENDING);
  EXPECT_EQ(WaitForSingleObject(overlapped.hEvent, 50), WAIT_TIMEOUT);
  ASSERT_TRUE(PurgeComm(port, PURGE_TXABORT | PURGE_TXCLEAR));
  ASSERT_EQ(WaitForSingleObject(overlapped.hEvent, 0), WAIT_OBJECT_0);
  EXPECT_FALSE(GetOverlappedResult(port, &overlapped, &written, TRUE));
  EXPECT_EQ(GetLastError(), ERROR_OPERATION_ABORTED);
  EXPECT_LT(written, block.size());
  CloseHandle(overlapped.hEvent);
  CloseHandle(port);
}

TEST(CommDevice, StateAppliesToTheLineAndModemCallsKeepShadowState) {
  PtyPort pty;
  HANDLE port = OpenPort();
  ASSERT_NE(port, INVALID_HANDLE_VALUE);
  DCB dcb;
  ASSERT_TRUE(GetCommState(port, &dcb));
  dcb.BaudRate = 14400;
  dcb.StopBits = TWOSTOPBITS;
  dcb.Flags |= DCB_OUTX;
  ASSERT_TRUE(SetCommState(port, &dcb));
  comm::LineSettings seen;
  ASSERT_EQ(comm::ReadLineSettings(pty.Master(), seen), 0);
  EXPECT_EQ(seen.baud, 14400u);
  EXPECT_EQ(seen.stopBits, comm::LineStopBits::Two);
  EXPECT_TRUE(seen.xonXoffOutput);
  DCB back;
  ASSERT_TRUE(GetCommState(port, &back));
  EXPECT_EQ(back.BaudRate, 14400u);
  dcb.ByteSize = 9;
  EXPECT_FALSE(SetCommState(port, &dcb));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  for (DWORD function : {SETDTR, CLRDTR, SETRTS, CLRRTS, SETBREAK, CLRBREAK, SETXOFF, SETXON}) {
    EXPECT_TRUE(EscapeCommFunction(port, function)) << function;
  }
  EXPECT_FALSE(EscapeCommFunction(port, 77));
  DWORD status = 0xFF;
  EXPECT_TRUE(GetCommModemStatus(port, &status));
  DWORD errors = 0xFF;
  COMSTAT comstat;
  EXPECT_TRUE(ClearCommError(port, &errors, &comstat));
  EXPECT_EQ(errors, 0u);
  CloseHandle(port);
  EXPECT_FALSE(GetCommState(port, &dcb));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

}  // namespace
}  // namespace win
