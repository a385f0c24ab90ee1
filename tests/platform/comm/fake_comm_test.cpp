// The fake comm device: opening and closing, far-end events, event masks, data both ways and line state.
#include "platform/comm/fake_comm.h"

#include <gtest/gtest.h>

#include "platform/core/errors.h"
#include "platform/core/handles.h"
#include "platform/core/sync.h"
#include "platform/core/wait.h"

namespace win::comm {
namespace {

constexpr unsigned kPort = 61;

HANDLE OpenFake() {
  return CreateFileA("\\\\.\\COM61", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED,
                     nullptr);
}

class FakeCommTest : public ::testing::Test {
 protected:
  FakeCommTest() : line(std::make_shared<FakeCommLine>()), registration(kPort, line) {
    port = OpenFake();
    overlapped.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  }
  ~FakeCommTest() override {
    CloseHandle(overlapped.hEvent);
    CloseHandle(port);
  }

  // Starts a wait and answers the events it ended with, or 0xFFFFFFFF when it still waits.
  DWORD WaitResult(DWORD& events) {
    if (WaitForSingleObject(overlapped.hEvent, 1000) != WAIT_OBJECT_0) return 0xFFFFFFFF;
    DWORD transferred = 0;
    return GetOverlappedResult(port, &overlapped, &transferred, TRUE) ? events : 0xFFFFFFFE;
  }

  std::shared_ptr<FakeCommLine> line;
  ScopedFakePort registration;
  HANDLE port;
  OVERLAPPED overlapped;
};

TEST_F(FakeCommTest, OpensOnceAndClosesCleanly) {
  ASSERT_NE(port, INVALID_HANDLE_VALUE);
  EXPECT_TRUE(line->IsOpen());
  EXPECT_EQ(OpenFake(), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
}

TEST_F(FakeCommTest, FarEndEventsCompleteAPendingWait) {
  struct Case {
    const char* name;
    std::function<void(FakeCommLine&)> cause;
    DWORD events;
  };
  const Case cases[] = {
      {"bytes", [](FakeCommLine& l) { l.Receive("x"); }, EV_RXCHAR},
      {"CTS", [](FakeCommLine& l) { l.SetModemLines(MS_CTS_ON); }, EV_CTS},
      {"DSR and DCD", [](FakeCommLine& l) { l.SetModemLines(MS_CTS_ON | MS_DSR_ON | MS_RLSD_ON); }, EV_DSR | EV_RLSD},
      {"ring starts", [](FakeCommLine& l) { l.SetModemLines(MS_CTS_ON | MS_DSR_ON | MS_RLSD_ON | MS_RING_ON); }, 0},
      {"ring ends", [](FakeCommLine& l) { l.SetModemLines(MS_CTS_ON | MS_DSR_ON | MS_RLSD_ON); }, EV_RING},
      {"framing", [](FakeCommLine& l) { l.RaiseLineErrors(CE_FRAME); }, EV_ERR},
      {"break", [](FakeCommLine& l) { l.RaiseLineErrors(CE_BREAK); }, EV_BREAK},
  };
  ASSERT_TRUE(SetCommMask(port, EV_RXCHAR | EV_CTS | EV_DSR | EV_RLSD | EV_RING | EV_ERR | EV_BREAK));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    DWORD events = 0;
    ASSERT_FALSE(WaitCommEvent(port, &events, &overlapped));
    ASSERT_EQ(GetLastError(), ERROR_IO_PENDING);
    c.cause(*line);
    if (c.events == 0) {
      EXPECT_EQ(WaitForSingleObject(overlapped.hEvent, 0), WAIT_TIMEOUT);
      SetCommMask(port, EV_RXCHAR | EV_CTS | EV_DSR | EV_RLSD | EV_RING | EV_ERR | EV_BREAK);
      continue;
    }
    EXPECT_EQ(WaitResult(events), c.events);
  }
  DWORD errors = 0;
  COMSTAT status;
  ASSERT_TRUE(ClearCommError(port, &errors, &status));
  EXPECT_EQ(errors, CE_FRAME | CE_BREAK);
  EXPECT_EQ(status.cbInQue, 1u);
  DWORD lines = 0;
  ASSERT_TRUE(GetCommModemStatus(port, &lines));
  EXPECT_EQ(lines, MS_CTS_ON | MS_DSR_ON | MS_RLSD_ON);
}

TEST_F(FakeCommTest, EventsOutsideTheMaskWaitAndClosingAbortsTheWait) {
  ASSERT_TRUE(SetCommMask(port, EV_RXCHAR));
  DWORD events = 0;
  ASSERT_FALSE(WaitCommEvent(port, &events, &overlapped));
  line->SetModemLines(MS_CTS_ON);
  EXPECT_EQ(WaitForSingleObject(overlapped.hEvent, 0), WAIT_TIMEOUT);
  ASSERT_TRUE(CloseHandle(port));
  ASSERT_EQ(WaitForSingleObject(overlapped.hEvent, 0), WAIT_OBJECT_0);
  EXPECT_EQ(overlapped.Internal, ERROR_OPERATION_ABORTED);
  EXPECT_FALSE(line->IsOpen());
  port = OpenFake();
  EXPECT_NE(port, INVALID_HANDLE_VALUE);
}

TEST_F(FakeCommTest, DataBothWaysAndLineState) {
  DWORD count = 0;
  ASSERT_TRUE(WriteFile(port, "ATD123;\r", 8, &count, &overlapped));
  EXPECT_EQ(count, 8u);
  EXPECT_EQ(line->TakeSent(), "ATD123;\r");
  line->Receive("OK");
  char buffer[8];
  ASSERT_TRUE(ReadFile(port, buffer, sizeof buffer, &count, &overlapped));
  EXPECT_EQ(std::string(buffer, count), "OK");
  EXPECT_TRUE(EscapeCommFunction(port, SETDTR));
  EXPECT_TRUE(EscapeCommFunction(port, CLRRTS));
  EXPECT_TRUE(line->Dtr());
  EXPECT_FALSE(line->Rts());
  DCB dcb;
  dcb.BaudRate = 57600;
  ASSERT_TRUE(SetCommState(port, &dcb));
  EXPECT_EQ(line->State().BaudRate, 57600u);
}

}  // namespace
}  // namespace win::comm
