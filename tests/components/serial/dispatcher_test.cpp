// The serial dispatcher over a fake device: queues, events, flow and the dispatch ring.
#include "components/serial/dispatcher.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <map>
#include <thread>

#include "components/serial/serial_errors.h"
#include "components/serial/serial_line.h"
#include "fake_dispatcher.h"
#include "platform/core/clock.h"
#include "platform/user/messages.h"
#include "platform/user/window.h"

namespace dashtune::serial {
namespace {

struct Delivery {
  win::UINT msg;
  win::WPARAM wParam;
  win::LPARAM lParam;
};

// A hidden window that records the trigger messages it gets and may act on each.
class Recorder {
 public:
  using Action = std::function<void(const Delivery&)>;

  explicit Recorder(Action action = {}) : action_(std::move(action)) {
    static const bool registered = [] {
      win::WNDCLASSA windowClass{};
      windowClass.lpfnWndProc = &Recorder::Procedure;
      windowClass.lpszClassName = "serialTestRecorder";
      return win::RegisterClassA(&windowClass) != 0;
    }();
    EXPECT_TRUE(registered);
    window = win::CreateWindowExA(0, "serialTestRecorder", "", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
    Recorders()[window] = this;
  }
  ~Recorder() {
    Recorders().erase(window);
    win::DestroyWindow(window);
  }

  win::HWND window;
  std::vector<Delivery> got;

 private:
  static std::map<win::HWND, Recorder*>& Recorders() {
    static std::map<win::HWND, Recorder*> recorders;
    return recorders;
  }
  static win::LRESULT Procedure(win::HWND window, win::UINT msg, win::WPARAM wParam, win::LPARAM lParam) {
    auto it = Recorders().find(window);
    if (it == Recorders().end() || msg < APW_TRIGGERAVAIL || msg > APW_TRIGGERSTATUS) {
      return win::DefWindowProcA(window, msg, wParam, lParam);
    }
    Delivery delivery{msg, wParam, lParam};
    it->second->got.push_back(delivery);
    if (it->second->action_) it->second->action_(delivery);
    return 0;
  }

  Action action_;
};

constexpr int kInSize = 4096;
constexpr int kOutSize = 16;

void OpenFake(FakeDispatcher& d) {
  ASSERT_EQ(d.Open("fake", 9600, kOpenDTR | kOpenRTS, kOutSize, kInSize, 1, 8, 0), kOK);
  d.SetAvailThreshold(1);
}

std::string ReadAll(FakeDispatcher& d) {
  std::string text;
  std::uint8_t c;
  while (d.GetChar(c) == kOK) text.push_back(static_cast<char>(c));
  return text;
}

std::string ReadN(FakeDispatcher& d, int n) {
  std::string text;
  std::uint8_t c;
  for (int i = 0; i < n && d.GetChar(c) == kOK; ++i) text.push_back(static_cast<char>(c));
  return text;
}

TEST(SerialDispatcher, DataAvailableAnnouncesNewBytesOnceAndLeftoversWithNewerOnes) {
  FakeDispatcher d;
  OpenFake(d);
  std::string read;
  Recorder window([&](const Delivery& delivery) { read += ReadN(d, 2); (void)delivery; });
  d.RegisterWindowHandler(window.window);
  d.UpdateHandlerFlags(1);
  d.Receive("hello");
  d.ProcessCommunications();
  ASSERT_EQ(window.got.size(), 1u);
  EXPECT_EQ(window.got[0].msg, APW_TRIGGERAVAIL);
  EXPECT_EQ(window.got[0].wParam, 5u);
  EXPECT_EQ(window.got[0].lParam >> 16, d.Handle());
  EXPECT_EQ(read, "he");
  d.ProcessCommunications();
  EXPECT_EQ(window.got.size(), 1u) << "no event for the same bytes alone";
  d.Receive("!!");
  d.ProcessCommunications();
  ASSERT_EQ(window.got.size(), 2u);
  EXPECT_EQ(window.got[1].wParam, 5u);
  EXPECT_EQ(read, "hell");
  EXPECT_EQ(ReadAll(d), "o!!");
}

TEST(SerialDispatcher, EveryHandlerReadsFromTheSameStartAndTheLargestCountIsConsumed) {
  FakeDispatcher d;
  OpenFake(d);
  std::string first;
  std::string second;
  Recorder a([&](const Delivery&) { first = ReadN(d, 2); });
  Recorder b([&](const Delivery&) { second = ReadN(d, 3); });
  d.RegisterWindowHandler(a.window);
  d.RegisterWindowHandler(b.window);
  d.Receive("abcdef");
  d.ProcessCommunications();
  EXPECT_EQ(first, "ab");
  EXPECT_EQ(second, "abc");
  EXPECT_EQ(d.CharReady(), 3);
  EXPECT_EQ(ReadAll(d), "def");
}

TEST(SerialDispatcher, NoMessageWithOnlyTheOwnWindowAndNoEventWanted) {
  FakeDispatcher d;
  OpenFake(d);
  Recorder window;
  d.RegisterWindowHandler(window.window);
  d.UpdateHandlerFlags(2);
  d.Receive("x");
  d.ProcessCommunications();
  EXPECT_TRUE(window.got.empty());
  EXPECT_EQ(ReadAll(d), "x");
}

TEST(SerialDispatcher, AFullRingLeavesBytesQueuedAndLogsIt) {
  FakeDispatcher d;
  OpenFake(d);
  ASSERT_EQ(d.StartLogging(0), kOK);
  std::string all(kDispatchBufferSize + 100, '\0');
  for (std::size_t i = 0; i < all.size(); ++i) all[i] = static_cast<char>('a' + i % 26);
  d.Receive(all);
  d.ProcessCommunications();
  EXPECT_EQ(d.CharReady(), static_cast<int>(kDispatchBufferSize));
  EXPECT_EQ(d.InQueueCount(), 100);
  d.ProcessCommunications();
  EXPECT_EQ(d.InQueueCount(), 100);
  std::string got = ReadN(d, 1000);
  d.ProcessCommunications();
  EXPECT_EQ(d.InQueueCount(), 0);
  got += ReadAll(d);
  EXPECT_EQ(got, all);
  std::string logFile = ::testing::TempDir() + "dispatch_full.log";
  ASSERT_EQ(d.DumpLog(logFile, false, false), kOK);
  std::FILE* file = std::fopen(logFile.c_str(), "rb");
  ASSERT_NE(file, nullptr);
  std::string text(8192, '\0');
  text.resize(std::fread(text.data(), 1, text.size(), file));
  std::fclose(file);
  EXPECT_NE(text.find("Dispatch buffer full."), std::string::npos);
}

TEST(SerialDispatcher, ReadsCrossTheRingsWrap) {
  FakeDispatcher d;
  OpenFake(d);
  d.Receive(std::string(8000, 'x'));
  d.ProcessCommunications();
  EXPECT_EQ(ReadN(d, 8000), std::string(8000, 'x'));
  std::string across;
  for (int i = 0; i < 400; ++i) across.push_back(static_cast<char>(i));
  d.Receive(across);
  d.ProcessCommunications();
  EXPECT_EQ(d.CharReady(), 400);
  std::uint8_t c = 0;
  ASSERT_EQ(d.PeekChar(c, 300), kOK);
  EXPECT_EQ(c, static_cast<std::uint8_t>(299));
  EXPECT_EQ(d.PeekChar(c, 401), kErrBufferIsEmpty);
  EXPECT_EQ(ReadAll(d), across);
  EXPECT_EQ(d.GetChar(c), kErrBufferIsEmpty);
}

TEST(SerialDispatcher, PutBlockLimits) {
  FakeDispatcher d;
  OpenFake(d);
  std::string block(kOutSize, 'p');
  EXPECT_EQ(d.PutBlock(nullptr, 0), kOK);
  EXPECT_EQ(d.PutBlock(reinterpret_cast<const std::uint8_t*>(block.data()), kOutSize + 1), kErrOutputBufferTooSmall);
  EXPECT_EQ(d.PutBlock(reinterpret_cast<const std::uint8_t*>(block.data()), kOutSize), kOK);
  EXPECT_EQ(d.OutBuffFree(), 0);
  EXPECT_EQ(d.PutBlock(reinterpret_cast<const std::uint8_t*>("q"), 1), kErrOutputBufferTooSmall);
  d.Transmit(4);
  EXPECT_EQ(d.PutBlock(reinterpret_cast<const std::uint8_t*>("qrst"), 4), kOK);
  EXPECT_EQ(d.sent, block + "qrst");
}

// Runs SetLine on a thread while the fake clock stands still and checks that it returns once
// the clock has moved by exactly the expected number of milliseconds.
void ExpectSetLineWaits(win::ScopedFakeClock& clock, FakeDispatcher& d, win::DWORD expected, win::DWORD baud,
                        int parity, int stopBits, int dataBits) {
  std::size_t others = win::ScopedFakeClock::WaitingThreads();
  std::atomic<bool> done{false};
  std::thread setter([&] {
    d.SetLine(baud, parity, stopBits, dataBits);
    done = true;
  });
  for (win::DWORD i = 0; i + 1 < expected; ++i) {
    ASSERT_TRUE(win::ScopedFakeClock::AwaitWaitingThreads(others + 1, std::chrono::seconds(5)));
    clock.Advance(1);
  }
  if (expected > 0) {
    ASSERT_TRUE(win::ScopedFakeClock::AwaitWaitingThreads(others + 1, std::chrono::seconds(5)));
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_FALSE(done) << "returned before " << expected << " ms";
    clock.Advance(1);
  }
  setter.join();
}

TEST(SerialDispatcher, LineChangesWaitEighteenCharacterTimesAndApplyBaudCodes) {
  win::ScopedFakeClock clock;
  FakeDispatcher d;
  OpenFake(d);
  int writes = d.stateWrites;
  // The settle time is taken at the old rate.
  ExpectSetLineWaits(clock, d, DrainSettleMilliseconds(9600, 8, 0, 0), 0xFF17, 5, 3, 9);
  EXPECT_EQ(d.dcb.BaudRate, 14400u);
  EXPECT_EQ(d.stateWrites, writes + 1);
  win::DWORD baud = 0;
  int parity = 0;
  int dataBits = 0;
  int stopBits = 0;
  d.GetLine(baud, parity, dataBits, stopBits);
  EXPECT_EQ(baud, 14400u);
  EXPECT_EQ(stopBits, 1);
  // The same settings again write nothing and wait for nothing.
  EXPECT_EQ(d.SetLine(14400, 0, 1, 8), kOK);
  EXPECT_EQ(d.stateWrites, writes + 1);
  ExpectSetLineWaits(clock, d, DrainSettleMilliseconds(14400, 8, 0, 0), 0xFEFF, 2, 2, 7);
  EXPECT_EQ(d.dcb.BaudRate, 115200u);
  EXPECT_EQ(d.dcb.Parity, win::EVENPARITY);
  EXPECT_EQ(d.dcb.ByteSize, 7);
  EXPECT_EQ(d.dcb.StopBits, win::TWOSTOPBITS);
  ExpectSetLineWaits(clock, d, DrainSettleMilliseconds(115200, 7, 2, 2), 9600, 0, 2, 5);
  EXPECT_EQ(d.dcb.StopBits, win::ONE5STOPBITS);
}

TEST(SerialDispatcher, ALineChangeAfterAVerySlowRateSettlesForASecond) {
  win::ScopedFakeClock clock;
  FakeDispatcher d;
  OpenFake(d);
  ExpectSetLineWaits(clock, d, DrainSettleMilliseconds(9600, 8, 0, 0), 1, 0, 1, 8);
  EXPECT_EQ(d.dcb.BaudRate, 1u);
  ExpectSetLineWaits(clock, d, kMaxSettleMilliseconds, 50, 0, 1, 8);
  ExpectSetLineWaits(clock, d, kMaxSettleMilliseconds, 9600, 0, 1, 8);
  EXPECT_EQ(d.dcb.BaudRate, 9600u);
}

TEST(SerialDispatcher, ALineChangeWaitsForTheOutputToDrain) {
  win::ScopedFakeClock clock;
  FakeDispatcher d;
  OpenFake(d);
  ASSERT_EQ(d.PutBlock(reinterpret_cast<const std::uint8_t*>("abc"), 3), kOK);
  std::size_t others = win::ScopedFakeClock::WaitingThreads();
  std::atomic<bool> done{false};
  std::thread setter([&] {
    d.SetLine(19200, 0, 1, 8);
    done = true;
  });
  for (int i = 0; i < 10; ++i) {
    ASSERT_TRUE(win::ScopedFakeClock::AwaitWaitingThreads(others + 1, std::chrono::seconds(5)));
    clock.Advance(2);
  }
  EXPECT_FALSE(done);
  EXPECT_EQ(d.dcb.BaudRate, 9600u) << "bytes in flight are not re-clocked";
  d.Transmit(3);
  while (!done) {
    if (win::ScopedFakeClock::AwaitWaitingThreads(others + 1, std::chrono::milliseconds(20)) && !done) {
      clock.Advance(2);
    }
  }
  setter.join();
  EXPECT_EQ(d.dcb.BaudRate, 19200u);
}

TEST(SerialDispatcher, FlowControlMarksAndBits) {
  FakeDispatcher d;
  OpenFake(d);
  EXPECT_EQ(d.HardwareFlow(kInSize + 1, 10, kHwFlowUseRTS), kErrBadArgument);
  EXPECT_EQ(d.HardwareFlow(100, 200, kHwFlowUseRTS), kErrBadArgument);
  ASSERT_EQ(d.HardwareFlow(3686, 409, kHwFlowUseRTS | kHwFlowRequireCTS), kOK);
  EXPECT_EQ(d.dcb.XoffLim, kInSize - 3686);
  EXPECT_EQ(d.dcb.XonLim, 409);
  EXPECT_EQ(d.dcb.Flags & win::DCB_RTS_CONTROL_MASK, win::DCB_RTS_CONTROL_HANDSHAKE);
  EXPECT_NE(d.dcb.Flags & win::DCB_OUTX_CTS_FLOW, 0u);
  EXPECT_EQ(d.dcb.Flags & win::DCB_DTR_CONTROL_MASK, win::DCB_DTR_CONTROL_ENABLE);
  EXPECT_EQ(d.SetRTS(false), 1) << "RTS under flow control keeps its state";
  EXPECT_EQ(d.SetDTR(false), kOK);
  ASSERT_EQ(d.SoftwareFlow(3072, 1024, kSwFlowReceive | kSwFlowTransmit), kOK);
  EXPECT_NE(d.dcb.Flags & win::DCB_INX, 0u);
  EXPECT_NE(d.dcb.Flags & win::DCB_OUTX, 0u);
  EXPECT_EQ(d.dcb.XonChar, 17);
  EXPECT_EQ(d.dcb.XoffChar, 19);
  EXPECT_EQ(d.dcb.XoffLim, kInSize - 3072);
  ASSERT_EQ(d.SetXOnChar(0x21), kOK);
  EXPECT_EQ(d.dcb.XonChar, 0x21);
  ASSERT_EQ(d.SoftwareFlowOff(), kOK);
  EXPECT_EQ(d.dcb.Flags & (win::DCB_INX | win::DCB_OUTX), 0u);
}

TEST(SerialDispatcher, LineErrorsReportTheFirstAndClearTheErrorBits) {
  FakeDispatcher d;
  OpenFake(d);
  d.lineErrors = win::CE_FRAME | win::CE_OVERRUN | win::CE_BREAK;
  d.Event(win::EV_ERR | win::EV_BREAK);
  d.ProcessCommunications();
  EXPECT_EQ(d.LineError(), kLineErrorOverrun);
  EXPECT_EQ(d.LineError(), kLineErrorBreak);
  EXPECT_TRUE(d.LineBreak());
  EXPECT_FALSE(d.LineBreak());
  EXPECT_EQ(d.LineError(), 0);
  d.lineErrors = win::CE_RXPARITY;
  d.Event(win::EV_ERR);
  d.ProcessCommunications();
  EXPECT_EQ(d.LineError(), kLineErrorParity);
}

TTriggerSnapshot StatusSnapshot(std::uint8_t kind, std::uint16_t value, int handle) {
  TTriggerSnapshot snapshot;
  snapshot.AvailThreshold = 1;
  TStatusTrigger trigger;
  trigger.Handle = handle;
  trigger.Kind = kind;
  trigger.Value = value;
  trigger.Armed = true;
  snapshot.StatusTriggers.push_back(trigger);
  return snapshot;
}

TEST(SerialDispatcher, StatusTriggersFireOnceByKind) {
  struct Case {
    const char* name;
    std::uint8_t kind;
    std::uint16_t value;
    std::function<void(FakeDispatcher&)> cause;
    win::WORD data;
  };
  const Case cases[] = {
      {"modem CTS", kStatusModem, 0x1000, [](FakeDispatcher& d) { d.modemLines = win::MS_CTS_ON; d.Event(win::EV_CTS); }, 0},
      {"line parity", kStatusLine, win::CE_RXPARITY, [](FakeDispatcher& d) { d.lineErrors = win::CE_RXPARITY; d.Event(win::EV_ERR); }, 0},
      {"output free", kStatusOutFree, 10, [](FakeDispatcher& d) { d.Transmit(6); }, 12},
      {"output used", kStatusOutUsed, 2, [](FakeDispatcher& d) { d.Transmit(8); }, 2},
      {"output sent", kStatusOutSent, 0, [](FakeDispatcher& d) { d.PutBlock(reinterpret_cast<const std::uint8_t*>("z"), 1); }, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeDispatcher d;
    OpenFake(d);
    Recorder window;
    d.RegisterWindowHandler(window.window);
    d.UpdateHandlerFlags(1);
    if (c.kind == kStatusOutFree || c.kind == kStatusOutUsed) {
      ASSERT_EQ(d.PutBlock(reinterpret_cast<const std::uint8_t*>("0123456789"), 10), kOK);
    }
    d.RestoreTriggers(StatusSnapshot(c.kind, c.value, 7 * 8 + c.kind));
    d.ProcessCommunications();
    d.ProcessTimerAndStatus();
    EXPECT_TRUE(window.got.empty());
    c.cause(d);
    d.ProcessCommunications();
    d.ProcessTimerAndStatus();
    ASSERT_EQ(window.got.size(), 1u);
    EXPECT_EQ(window.got[0].msg, APW_TRIGGERSTATUS);
    EXPECT_EQ(window.got[0].wParam & 7, c.kind);
    EXPECT_EQ(window.got[0].lParam & 0xFFFF, c.data);
    EXPECT_FALSE(d.SaveTriggers().StatusTriggers[0].Armed);
  }
}

TEST(SerialDispatcher, DataTriggersMatchOverlappingInputAfterAnAvailEvent) {
  FakeDispatcher d;
  OpenFake(d);
  Recorder window;
  d.RegisterWindowHandler(window.window);
  d.UpdateHandlerFlags(1);
  TTriggerSnapshot snapshot;
  snapshot.AvailThreshold = 1;
  TDataTrigger trigger;
  trigger.Handle = 3;
  trigger.Pattern.Match = "aab";
  trigger.Active = true;
  snapshot.DataTriggers.push_back(trigger);
  d.RestoreTriggers(snapshot);
  d.Receive("aaabx");
  d.ProcessCommunications();
  ASSERT_EQ(window.got.size(), 3u);
  EXPECT_EQ(window.got[0].msg, APW_TRIGGERAVAIL);
  EXPECT_EQ(window.got[0].wParam, 4u) << "unread bytes up to the match";
  EXPECT_EQ(window.got[1].msg, APW_TRIGGERDATA);
  EXPECT_EQ(window.got[1].wParam, 3u);
  EXPECT_EQ(window.got[2].msg, APW_TRIGGERAVAIL);
  EXPECT_EQ(window.got[2].wParam, 5u);
}

TEST(SerialDispatcher, TimerTriggersExpireOnTheTickClock) {
  win::ScopedFakeClock clock;
  FakeDispatcher d;
  OpenFake(d);
  Recorder window;
  d.RegisterWindowHandler(window.window);
  d.UpdateHandlerFlags(1);
  TTriggerSnapshot snapshot;
  TTimerTrigger timer;
  timer.Handle = 9;
  timer.Active = true;
  NewTimer(timer.Timer, 2);
  snapshot.TimerTriggers.push_back(timer);
  d.RestoreTriggers(snapshot);
  clock.Advance(110);
  d.ProcessTimerAndStatus();
  EXPECT_TRUE(window.got.empty());
  clock.Advance(110);
  d.ProcessTimerAndStatus();
  ASSERT_EQ(window.got.size(), 1u);
  EXPECT_EQ(window.got[0].msg, APW_TRIGGERTIMER);
  EXPECT_EQ(window.got[0].wParam, 9u);
  d.ProcessTimerAndStatus();
  EXPECT_EQ(window.got.size(), 1u);
}

TEST(SerialDispatcher, AHandlerThatClosesThePortStopsTheDelivery) {
  FakeDispatcher d;
  OpenFake(d);
  Recorder first([&](const Delivery&) { d.Close(); });
  Recorder second;
  d.RegisterWindowHandler(first.window);
  d.RegisterWindowHandler(second.window);
  d.Receive("data");
  d.ProcessCommunications();
  EXPECT_EQ(first.got.size(), 1u);
  EXPECT_TRUE(second.got.empty());
  EXPECT_TRUE(d.ClosePending());
}

TEST(SerialDispatcher, ADeliveryThatTimesOutIsWithdrawnAndAnnouncedAgainWithTheNewCount) {
  win::ScopedFakeClock clock;
  FakeDispatcher d;
  OpenFake(d);
  Recorder window;
  d.RegisterWindowHandler(window.window);
  d.UpdateHandlerFlags(1);
  d.Receive("abc");
  std::size_t others = win::ScopedFakeClock::WaitingThreads();
  // The dispatch pass runs on another thread while this one, the window's, handles nothing.
  std::thread pass([&] { d.ProcessCommunications(); });
  ASSERT_TRUE(win::ScopedFakeClock::AwaitWaitingThreads(others + 1, std::chrono::seconds(5)));
  clock.Advance(3000);
  pass.join();
  win::MSG message;
  while (win::PeekMessageA(&message, nullptr, 0, 0, win::PM_REMOVE)) win::DispatchMessageA(&message);
  EXPECT_TRUE(window.got.empty()) << "the withdrawn message never arrives";
  d.Receive("de");
  d.ProcessCommunications();
  ASSERT_EQ(window.got.size(), 1u);
  EXPECT_EQ(window.got[0].wParam, 5u);
}

TEST(SerialDispatcher, SnapshotRoundTrip) {
  FakeDispatcher d;
  OpenFake(d);
  TTriggerSnapshot snapshot = StatusSnapshot(kStatusOutFree, 5, 11);
  snapshot.AvailThreshold = 12;
  d.RestoreTriggers(snapshot);
  TTriggerSnapshot back = d.SaveTriggers();
  EXPECT_EQ(back.AvailThreshold, 12);
  ASSERT_EQ(back.StatusTriggers.size(), 1u);
  EXPECT_EQ(back.StatusTriggers[0].Handle, 11);
}

}  // namespace
}  // namespace dashtune::serial
