// The com port component with its real threads over the in-process fake line: modem lines, line
// errors and breaks reach the component's events on the main thread.
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <thread>

#include "classlib/threads.h"
#include "components/serial/com_port.h"
#include "components/serial/serial_errors.h"
#include "components/serial/serial_misc.h"
#include "components/serial/serial_win32.h"
#include "platform/comm/fake_comm.h"
#include "platform/core/message_box.h"
#include "pump.h"

namespace dashtune::serial {
namespace {

using namespace std::chrono_literals;

constexpr unsigned kPort = 62;

class SerialFakeLine : public ::testing::Test {
 protected:
  SerialFakeLine() : line(std::make_shared<win::comm::FakeCommLine>()), registration(kPort, line) {
    port.SetComNumber(kPort);
    port.SetBaud(9600);
    port.SetOnModemStatus([this](TObject*) {
      EXPECT_TRUE(IsMainThread());
      calls.push_back("modem");
    });
    port.SetOnLineError([this](TObject*, win::WORD Error, bool LineBreak) {
      calls.push_back("line " + std::to_string(Error) + (LineBreak ? " break" : ""));
    });
    port.SetOnTriggerAvail([this](TObject*, win::WORD Count) {
      for (int i = 0; i < Count; ++i) received.push_back(static_cast<char>(port.GetChar()));
    });
  }

  // Arms status triggers through the dispatcher's trigger snapshot.
  void ArmStatus(std::vector<std::pair<std::uint8_t, std::uint16_t>> triggers) {
    TTriggerSnapshot snapshot = port.GetDispatcher()->SaveTriggers();
    snapshot.StatusTriggers.clear();
    int handle = 1;
    for (auto [kind, value] : triggers) {
      TStatusTrigger trigger;
      trigger.Handle = handle++ * 8 + kind;
      trigger.Kind = kind;
      trigger.Value = value;
      trigger.Armed = true;
      snapshot.StatusTriggers.push_back(trigger);
    }
    port.GetDispatcher()->RestoreTriggers(snapshot);
  }

  std::shared_ptr<win::comm::FakeCommLine> line;
  win::comm::ScopedFakePort registration;
  TSerCustomComPort port{nullptr};
  std::vector<std::string> calls;
  std::string received;
};

TEST_F(SerialFakeLine, OpeningSetsTheLineAndDataFlowsBothWays) {
  port.SetOpen(true);
  EXPECT_TRUE(line->IsOpen());
  EXPECT_EQ(line->State().BaudRate, 9600u);
  EXPECT_TRUE(line->Dtr());
  EXPECT_TRUE(line->Rts());
  port.PutString("AT+CSQ\r");
  EXPECT_TRUE(Pump([&] { return line->TakeSent() == "AT+CSQ\r"; }));
  line->Receive("+CSQ: 17,0\r\n");
  EXPECT_TRUE(Pump([&] { return received.size() == 12; }));
  EXPECT_EQ(received, "+CSQ: 17,0\r\n");
  port.SetDTR(false);
  EXPECT_FALSE(line->Dtr());
  port.SetOpen(false);
  EXPECT_TRUE(Pump([&] { return port.GetPortState() == psClosed; }));
  EXPECT_FALSE(line->IsOpen());
}

TEST_F(SerialFakeLine, ModemLineChangesReachOnModemStatus) {
  port.SetOpen(true);
  ArmStatus({{kStatusModem, 0x1000}});
  line->SetModemLines(win::MS_CTS_ON);
  EXPECT_TRUE(Pump([&] { return !calls.empty(); }));
  EXPECT_EQ(calls, std::vector<std::string>{"modem"});
  EXPECT_EQ(port.GetDispatcher()->GetModemStatus(0xFF) & 0xF0, 0x10);
}

TEST_F(SerialFakeLine, LineErrorsAndBreaksReachOnLineError) {
  port.SetOpen(true);
  ArmStatus({{kStatusLine, win::CE_FRAME | win::CE_RXPARITY | win::CE_OVERRUN | win::CE_BREAK}});
  line->RaiseLineErrors(win::CE_FRAME | win::CE_BREAK);
  EXPECT_TRUE(Pump([&] { return !calls.empty(); }));
  EXPECT_EQ(calls, std::vector<std::string>{"line 4 break"});
  ArmStatus({{kStatusLine, win::CE_OVERRUN}});
  line->RaiseLineErrors(win::CE_OVERRUN);
  EXPECT_TRUE(Pump([&] { return calls.size() == 2; }));
  EXPECT_EQ(calls.back(), "line 2");
}

TEST_F(SerialFakeLine, AnOpenThatFailsApplyingTheStoredSettingsUndoesItself) {
  struct Case {
    const char* what;
    std::function<void(TSerCustomComPort&)> refuse;
    std::function<void(TSerCustomComPort&)> repair;
  };
  const Case cases[] = {
      {"tracing into no entries", [](TSerCustomComPort& p) { p.SetTracing(tlOn); p.SetTraceEntries(0); },
       [](TSerCustomComPort& p) { p.SetTraceEntries(100); }},
      {"logging into a negative capacity", [](TSerCustomComPort& p) { p.SetLogging(tlOn); p.SetLogEntries(-1); },
       [](TSerCustomComPort& p) { p.SetLogEntries(100); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TSerCustomComPort failing(nullptr);
    failing.SetComNumber(kPort);
    failing.SetTraceFileName(::testing::TempDir() + "undone_open.trc");
    failing.SetLogFileName(::testing::TempDir() + "undone_open.log");
    c.refuse(failing);
    EXPECT_THROW(failing.SetOpen(true), EBadArgument);
    EXPECT_EQ(failing.GetPortState(), psClosed);
    EXPECT_FALSE(failing.GetOpen());
    EXPECT_EQ(failing.GetDispatcher(), nullptr) << "threads stopped and dispatcher gone";
    EXPECT_EQ(failing.GetWindowHandle(), nullptr);
    EXPECT_FALSE(line->IsOpen()) << "device closed";
    EXPECT_EQ(failing.GetTracing() + failing.GetLogging(), tlOn) << "the stored setting is kept";
    failing.SetOpen(false);
    c.repair(failing);
    failing.SetOpen(true);
    EXPECT_TRUE(failing.GetOpen());
    EXPECT_TRUE(line->IsOpen());
    failing.SetOpen(false);
    EXPECT_TRUE(Pump([&] { return failing.GetPortState() == psClosed; }));
    EXPECT_FALSE(line->IsOpen());
  }
}

// The device layer over the fake line, with a dispatch thread that meets an exception once told
// to: a failed allocation while it takes the received bytes.
class FailingDispatcher : public TSerWin32Dispatcher {
 public:
  using TSerWin32Dispatcher::TSerWin32Dispatcher;
  int InQueueCount() override {
    if (fail) throw std::bad_alloc();
    return TSerWin32Dispatcher::InQueueCount();
  }
  std::atomic<bool> fail{false};
};

TEST_F(SerialFakeLine, AnExceptionInTheDispatchThreadIsShownAndEndsTheLineNotTheProgram) {
  FailingDispatcher* dispatcher = nullptr;
  port.DispatcherCreator = [&](TSerCustomComPort* owner) {
    auto made = std::make_unique<FailingDispatcher>(owner);
    dispatcher = made.get();
    return made;
  };
  std::mutex mutex;
  std::vector<std::string> shown;
  const win::MessageBoxSink previous =
      win::SetMessageBoxSink([&](win::HWND, std::string_view text, std::string_view, win::UINT type) {
        std::lock_guard lock(mutex);
        shown.emplace_back(text);
        EXPECT_EQ(type & win::MB_ICONHAND, win::MB_ICONHAND);
        return win::IDOK;
      });
  port.SetOpen(true);
  ASSERT_NE(dispatcher, nullptr);
  dispatcher->fail = true;
  EXPECT_TRUE(Pump([&] { return dispatcher->ActiveThreads() == 0; })) << "every thread of the port ended";
  EXPECT_EQ(dispatcher->ThreadError(), kErrTapiNoMem);
  {
    std::lock_guard lock(mutex);
    EXPECT_EQ(shown, std::vector<std::string>{"std::bad_alloc."});
  }
  try {
    port.PutString("AT\r");
    FAIL() << "no exception";
  } catch (const ESerialException& error) {
    EXPECT_EQ(error.ErrorCode, kErrTapiNoMem) << "the line has gone, as after a device error";
  }
  port.SetOpen(false);
  EXPECT_TRUE(Pump([&] { return port.GetPortState() == psClosed; }));
  EXPECT_FALSE(line->IsOpen());
  win::SetMessageBoxSink(previous);
}

TEST_F(SerialFakeLine, OverAHandedInLineThePortTakesTheLinesSettingsAndKeepsThem) {
  const win::HANDLE handle = win::CreateFileA("\\\\.\\COM62", win::GENERIC_READ | win::GENERIC_WRITE, 0, nullptr,
                                              win::OPEN_EXISTING, win::FILE_FLAG_OVERLAPPED, nullptr);
  ASSERT_NE(handle, win::INVALID_HANDLE_VALUE);
  win::DCB dcb;
  ASSERT_TRUE(win::GetCommState(handle, &dcb));
  dcb.BaudRate = 57600;
  dcb.ByteSize = 7;
  dcb.Parity = win::EVENPARITY;
  dcb.StopBits = win::TWOSTOPBITS;
  dcb.Flags = win::DCB_BINARY | win::DCB_DTR_CONTROL_HANDSHAKE | win::DCB_RTS_CONTROL_HANDSHAKE |
              win::DCB_OUTX_DSR_FLOW | win::DCB_OUTX_CTS_FLOW | win::DCB_OUTX | win::DCB_INX;
  dcb.XonChar = 0x05;
  dcb.XoffChar = 0x06;
  ASSERT_TRUE(win::SetCommState(handle, &dcb));
  TSerCustomComPort handed(nullptr);
  handed.SetTapiUse(2);
  handed.SetLineHandle(handle);
  handed.SetOpen(true);
  ASSERT_TRUE(handed.GetOpen());
  EXPECT_EQ(handed.GetBaud(), 57600);
  EXPECT_EQ(handed.GetDataBits(), 7);
  EXPECT_EQ(handed.GetParity(), win::EVENPARITY);
  EXPECT_EQ(handed.GetStopBits(), 2);
  EXPECT_EQ(handed.GetHardwareFlow(), THardwareFlowOptions({hfUseDTR, hfUseRTS, hfRequireDSR, hfRequireCTS}));
  EXPECT_EQ(handed.GetSoftwareFlow(), swfBoth);
  EXPECT_EQ(handed.GetXOnChar(), 0x05);
  EXPECT_EQ(handed.GetXOffChar(), 0x06);
  // Applying them at the open left the line as it was.
  const win::DCB after = line->State();
  EXPECT_EQ(after.BaudRate, 57600u);
  EXPECT_EQ(after.ByteSize, 7);
  EXPECT_EQ(after.Flags & win::DCB_DTR_CONTROL_MASK, win::DCB_DTR_CONTROL_HANDSHAKE);
  EXPECT_EQ(after.Flags & win::DCB_RTS_CONTROL_MASK, win::DCB_RTS_CONTROL_HANDSHAKE);
  const win::DWORD flow = win::DCB_OUTX_DSR_FLOW | win::DCB_OUTX_CTS_FLOW | win::DCB_OUTX | win::DCB_INX;
  EXPECT_EQ(after.Flags & flow, flow);
  EXPECT_EQ(after.XonChar, 0x05);
  EXPECT_EQ(after.XoffChar, 0x06);
  handed.SetOpen(false);
  EXPECT_TRUE(Pump([&] { return handed.GetPortState() == psClosed; }));
}

TEST_F(SerialFakeLine, RS485ModeHandsRtsToTheDeviceWhileSending) {
  port.SetHardwareFlow({hfUseDTR});
  port.SetRS485Mode(true);
  port.SetOpen(true);
  auto rts_control = [&] { return line->State().Flags & win::DCB_RTS_CONTROL_MASK; };
  EXPECT_EQ(rts_control(), win::DCB_RTS_CONTROL_TOGGLE) << "at the open";
  EXPECT_EQ(line->State().Flags & win::DCB_DTR_CONTROL_MASK, win::DCB_DTR_CONTROL_HANDSHAKE);
  port.SetRS485Mode(false);
  EXPECT_NE(rts_control(), win::DCB_RTS_CONTROL_TOGGLE);
  port.SetRS485Mode(true);
  EXPECT_EQ(rts_control(), win::DCB_RTS_CONTROL_TOGGLE) << "on an open port";
}

// The nice values of this process's threads, by kernel id.
std::map<int, int> ThreadNiceValues() {
  std::map<int, int> values;
  for (const auto& entry : std::filesystem::directory_iterator("/proc/self/task")) {
    std::ifstream stat(entry.path() / "stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    std::istringstream fields(text.substr(text.rfind(')') + 2));
    std::string field;
    for (int i = 0; i <= 16 && fields >> field; ++i) {
      if (i == 16) values[std::stoi(entry.path().filename().string())] = std::stoi(field);
    }
  }
  return values;
}

int ThreadsAt(int nice) {
  int count = 0;
  for (const auto& [tid, value] : ThreadNiceValues()) count += value == nice ? 1 : 0;
  return count;
}

TEST_F(SerialFakeLine, ThreadBoostRaisesTheFourThreadsAndRS485TheWriterOneMore) {
  // Raising a priority needs the privilege to; without it the threads keep theirs.
  std::atomic<bool> privileged{false};
  std::thread check([&] { privileged = setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), -1) == 0; });
  check.join();
  if (!privileged) GTEST_SKIP() << "no privilege to raise thread priorities";
  port.SetThreadBoost(3);
  port.SetOpen(true);
  EXPECT_EQ(ThreadsAt(-3), 4);
  port.SetThreadBoost(2);
  EXPECT_EQ(ThreadsAt(-2), 4);
  port.SetRS485Mode(true);
  EXPECT_EQ(ThreadsAt(-2), 3);
  EXPECT_EQ(ThreadsAt(-3), 1);
  port.SetOpen(false);
  EXPECT_TRUE(Pump([&] { return port.GetPortState() == psClosed; }));
  // The threads are joined by then, but a joined thread can stay listed in /proc a moment longer.
  EXPECT_TRUE(Pump([&] { return ThreadsAt(-2) + ThreadsAt(-3) == 0; }));
}

}  // namespace
}  // namespace dashtune::serial
