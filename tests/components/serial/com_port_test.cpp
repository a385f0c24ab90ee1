// The com port component over the in-process fake device.
#include "components/serial/com_port.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <fstream>
#include <sstream>

#include "components/serial/serial_errors.h"
#include "fake_dispatcher.h"
#include "platform/core/errors.h"

namespace dashtune::serial {
namespace {

// A component whose dispatchers are fakes; Fake() is the current one.
class FakePort : public TSerCustomComPort {
 public:
  FakePort() : TSerCustomComPort(nullptr) {
    DispatcherCreator = [](TSerCustomComPort* port) { return std::make_unique<FakeDispatcher>(port); };
    SetComNumber(1);
    SetOutBufferSize(16);
    SetTraceFileName(::testing::TempDir() + "fake_port.trc");
    SetLogFileName(::testing::TempDir() + "fake_port.log");
  }
  FakeDispatcher& Fake() { return *dynamic_cast<FakeDispatcher*>(GetDispatcher()); }
};

std::string FileText(const std::string& name) {
  std::ifstream file(name, std::ios::binary);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

TEST(SerialComPort, DefaultsAndVersion) {
  TSerCustomComPort port(nullptr);
  EXPECT_EQ(port.GetVersion(), "v1.00");
  port.SetVersion("v9");
  EXPECT_EQ(port.GetVersion(), "v1.00");
  EXPECT_EQ(port.GetBaud(), 19200);
  EXPECT_EQ(port.GetDataBits(), 8);
  EXPECT_EQ(port.GetStopBits(), 1);
  EXPECT_EQ(port.GetInBufferSize(), 4096);
  EXPECT_EQ(port.GetOutBufferSize(), 4096);
  EXPECT_TRUE(port.GetAutoOpen());
  EXPECT_TRUE(port.GetZeroPortAllowed());
  EXPECT_TRUE(port.GetDTR());
  EXPECT_TRUE(port.GetRTS());
  EXPECT_EQ(port.GetXOnChar(), 17);
  EXPECT_EQ(port.GetXOffChar(), 19);
  EXPECT_EQ(port.GetTraceEntries(), 10000);
  EXPECT_EQ(port.GetAvailThreshold(), 1);
  EXPECT_FALSE(port.GetOpen());
}

TEST(SerialComPort, GetCharNeedsAnOpenPortAndUnreadBytes) {
  FakePort port;
  port.SetAutoOpen(false);
  try {
    port.GetChar();
    FAIL();
  } catch (const ECommNotOpen& e) {
    EXPECT_EQ(e.GetMessage(), "ie_NOpen - device not open");
  }
  port.SetAutoOpen(true);
  try {
    port.GetChar();
    FAIL();
  } catch (const EBufferIsEmpty& e) {
    EXPECT_EQ(e.GetMessage(), "Buffer is empty");
  }
  EXPECT_TRUE(port.GetOpen()) << "AutoOpen opened the port";
  port.Fake().Receive("Z");
  port.Fake().ProcessCommunications();
  EXPECT_EQ(port.GetChar(), 'Z');
}

TEST(SerialComPort, PutStringWritesWholeStringsOrRaises) {
  FakePort port;
  port.PutString("");
  EXPECT_TRUE(port.GetOpen());
  EXPECT_EQ(port.Fake().sent, "");
  port.PutString("ATZ\r");
  EXPECT_EQ(port.Fake().sent, "ATZ\r");
  EXPECT_THROW(port.PutString(std::string(13, 'x')), EOutputBufferTooSmall);
  EXPECT_EQ(port.Fake().sent, "ATZ\r");
}

TEST(SerialComPort, EventsArriveWithTheirArguments) {
  FakePort port;
  std::vector<std::string> calls;
  port.SetOnTrigger([&](TObject*, win::UINT Msg, win::UINT Handle, win::WORD Data) {
    calls.push_back("trigger " + std::to_string(Msg) + " " + std::to_string(Handle) + " " + std::to_string(Data));
  });
  port.SetOnTriggerAvail([&](TObject* CP, win::WORD Count) {
    EXPECT_EQ(CP, &port);
    calls.push_back("avail " + std::to_string(Count));
  });
  port.SetOnLineError([&](TObject*, win::WORD Error, bool LineBreak) {
    calls.push_back("line " + std::to_string(Error) + " " + std::to_string(LineBreak));
  });
  port.SetOpen(true);
  TTriggerSnapshot snapshot;
  snapshot.AvailThreshold = 1;
  TStatusTrigger trigger;
  trigger.Handle = 2 * 8 + kStatusLine;
  trigger.Kind = kStatusLine;
  trigger.Value = win::CE_FRAME;
  trigger.Armed = true;
  snapshot.StatusTriggers.push_back(trigger);
  port.Fake().RestoreTriggers(snapshot);
  port.Fake().Receive("abc");
  port.Fake().lineErrors = win::CE_FRAME | win::CE_BREAK;
  port.Fake().Event(win::EV_ERR | win::EV_BREAK);
  port.Fake().ProcessCommunications();
  const std::vector<std::string> expected = {"trigger 32260 18 0", "line 4 1", "trigger 32257 3 3", "avail 3"};
  EXPECT_EQ(calls, expected);
}

TEST(SerialComPort, TraceStatesFollowTheSetterRule) {
  FakePort port;
  port.SetTracing(tlDump);
  EXPECT_EQ(port.GetTracing(), tlOff) << "closed, only on and off are kept";
  port.SetTracing(tlOn);
  EXPECT_EQ(port.GetTracing(), tlOn);
  std::string file = ::testing::TempDir() + "serial_port.trc";
  std::remove(file.c_str());
  port.SetTraceFileName(file);
  port.SetOpen(true);
  port.PutString("AT\r");
  port.Fake().Receive("OK");
  port.Fake().ProcessCommunications();
  port.GetChar();
  port.GetChar();
  port.SetTracing(tlAppendAndContinue);
  EXPECT_EQ(port.GetTracing(), tlOn);
  EXPECT_EQ(FileText(file), "Transmit: [41][54][0D]\nReceive: [4F][4B]\n");
  port.SetTracing(tlPause);
  port.PutString("x");
  port.SetTracing(tlOn);
  port.PutString("y");
  port.TraceAllHex = false;
  port.SetTracing(tlDump);
  EXPECT_EQ(port.GetTracing(), tlOff);
  EXPECT_EQ(FileText(file), "Transmit: y\n");
}

TEST(SerialComPort, TraceAndLogCapacitiesAreChecked) {
  FakePort port;
  port.SetOpen(true);
  port.SetTraceEntries(0);
  EXPECT_THROW(port.SetTracing(tlOn), EBadArgument);
  port.SetTraceEntries(4000001);
  EXPECT_THROW(port.SetTracing(tlOn), EBadArgument);
  port.SetLogEntries(-1);
  EXPECT_THROW(port.SetLogging(tlOn), EBadArgument);
  port.SetLogEntries(0);
  port.SetLogging(tlOn);
  EXPECT_EQ(port.GetLogging(), tlOn);
}

TEST(SerialComPort, ALogKeepsItsCapacityInEntries) {
  FakePort port;
  std::string file = ::testing::TempDir() + "serial_port.log";
  port.SetLogFileName(file);
  port.SetLogEntries(2);
  port.LogAllHex = false;
  port.SetOpen(true);
  port.SetLogging(tlOn);
  port.PutString("first");
  port.PutString("second");
  port.PutString("third");
  port.Fake().Transmit(16);
  port.SetLogging(tlDump);
  std::string text = FileText(file);
  EXPECT_EQ(text.find("first"), std::string::npos);
  EXPECT_NE(text.find("second"), std::string::npos);
  EXPECT_NE(text.find("third"), std::string::npos);
}

TEST(SerialComPort, ChangingThePortKeepsTriggersAndAPausedTrace) {
  FakePort port;
  port.SetOpen(true);
  port.SetTracing(tlOn);
  port.SetTracing(tlPause);
  TTriggerSnapshot snapshot;
  snapshot.AvailThreshold = 5;
  TTimerTrigger timer;
  timer.Handle = 4;
  snapshot.TimerTriggers.push_back(timer);
  port.Fake().RestoreTriggers(snapshot);
  port.SetComNumber(2);
  EXPECT_TRUE(port.GetOpen());
  EXPECT_EQ(port.Fake().SaveTriggers().TimerTriggers.size(), 1u);
  EXPECT_EQ(port.Fake().SaveTriggers().AvailThreshold, 5);
  EXPECT_EQ(port.GetTracing(), tlPause);
  port.PutString("q");
  std::string file = ::testing::TempDir() + "serial_paused.trc";
  std::remove(file.c_str());
  port.SetTraceFileName(file);
  port.SetTracing(tlDump);
  EXPECT_EQ(FileText(file), "");
}

TEST(SerialComPort, FlowMarksComeFromTheInputSize) {
  FakePort port;
  port.SetOpen(true);
  port.SetHardwareFlow({hfUseDTR});
  EXPECT_EQ(port.Fake().dcb.XoffLim, 4096 - 3686);
  EXPECT_EQ(port.Fake().dcb.XonLim, 409);
  EXPECT_EQ(port.Fake().dcb.Flags & win::DCB_DTR_CONTROL_MASK, win::DCB_DTR_CONTROL_HANDSHAKE);
  port.SetHardwareFlow({});
  port.SetSoftwareFlow(swfReceive);
  EXPECT_EQ(port.Fake().dcb.XoffLim, 1024);
  EXPECT_EQ(port.Fake().dcb.XonLim, 1024);
  EXPECT_NE(port.Fake().dcb.Flags & win::DCB_INX, 0u);
  EXPECT_EQ(port.Fake().dcb.Flags & win::DCB_OUTX, 0u);
}

TEST(SerialComPort, RS485ModeDropsRtsFlowAndRts) {
  FakePort port;
  port.SetHardwareFlow({hfUseRTS, hfRequireCTS, hfUseDTR});
  port.SetRS485Mode(true);
  EXPECT_EQ(port.GetHardwareFlow(), THardwareFlowOptions({hfUseDTR}));
  EXPECT_FALSE(port.GetRTS());
  port.SetHardwareFlow({hfUseRTS});
  EXPECT_FALSE(port.GetRS485Mode());
}

TEST(SerialComPort, OpenAndCloseNotify) {
  FakePort port;
  std::vector<std::string> calls;
  port.OnPortOpen = [&](TObject*) { calls.push_back("open"); };
  port.OnPortClose = [&](TObject*) { calls.push_back("close"); };
  port.SetOpen(true);
  port.SetOpen(true);
  port.SetOpen(false);
  EXPECT_EQ(calls, (std::vector<std::string>{"open", "close"}));
  EXPECT_EQ(port.GetDispatcher(), nullptr);
}

TEST(SerialComPort, OpeningOnlyStoresWhileLoading) {
  FakePort port;
  port.BeginLoading();
  port.SetOpen(true);
  EXPECT_EQ(port.GetPortState(), psClosed);
  port.Loaded();
  EXPECT_EQ(port.GetPortState(), psOpen);
}

TEST(SerialComPort, AssignCopiesSettingsAndLeavesThePortClosed) {
  FakePort source;
  source.SetBaud(115200);
  source.SetStopBits(2);
  source.SetHardwareFlow({hfUseDTR});
  source.SetXOnChar(0x21);
  source.SetAvailThreshold(8);
  bool called = false;
  source.SetOnTriggerAvail([&](TObject*, win::WORD) { called = true; });
  source.SetOpen(true);
  FakePort copy;
  copy.Assign(&source);
  EXPECT_FALSE(copy.GetOpen());
  EXPECT_EQ(copy.GetBaud(), 115200);
  EXPECT_EQ(copy.GetStopBits(), 2);
  EXPECT_EQ(copy.GetHardwareFlow(), THardwareFlowOptions({hfUseDTR}));
  EXPECT_EQ(copy.GetXOnChar(), 0x21);
  EXPECT_EQ(copy.GetAvailThreshold(), 8);
  ASSERT_TRUE(copy.GetOnTriggerAvail());
  copy.GetOnTriggerAvail()(&copy, 1);
  EXPECT_TRUE(called);
  copy.SetOpen(true);
  EXPECT_EQ(copy.Fake().SaveTriggers().AvailThreshold, 8);
}

TEST(SerialComPort, AnotherDeviceLayerIsRefused) {
  TSerCustomComPort port(nullptr);
  port.SetComNumber(1);
  port.SetDeviceLayer(1);
  try {
    port.SetOpen(true);
    FAIL();
  } catch (const ENullApi& e) {
    EXPECT_EQ(e.ErrorCode, -3001);
    EXPECT_EQ(e.GetMessage(), "No device layer specified");
  }
  port.SetDeviceLayer(0);
  port.DispatcherCreator = [](TSerCustomComPort*) { return std::unique_ptr<TSerBaseDispatcher>(); };
  EXPECT_THROW(port.SetOpen(true), ENullApi);
  EXPECT_EQ(port.GetPortState(), psClosed);
}

// A refused line value raises and leaves every line property as it was, open or closed, so
// that the next valid change goes through.
TEST(SerialComPort, ARefusedLineValueKeepsTheLastGoodOne) {
  struct Refusal {
    const char* what;
    std::function<void(TSerCustomComPort&)> set;
  };
  const Refusal refusals[] = {
      {"data bits 3", [](TSerCustomComPort& p) { p.SetDataBits(3); }},
      {"data bits 0", [](TSerCustomComPort& p) { p.SetDataBits(0); }},
      {"data bits 255", [](TSerCustomComPort& p) { p.SetDataBits(255); }},
      {"parity 9", [](TSerCustomComPort& p) { p.SetParity(9); }},
      {"parity 255", [](TSerCustomComPort& p) { p.SetParity(255); }},
  };
  for (bool open : {false, true}) {
    for (const Refusal& refusal : refusals) {
      SCOPED_TRACE(std::string(refusal.what) + (open ? " open" : " closed"));
      FakePort port;
      port.SetOpen(open);
      try {
        refusal.set(port);
        FAIL() << "accepted";
      } catch (const EInOutError& e) {
        EXPECT_EQ(e.ErrorCode, 87);
      }
      EXPECT_EQ(port.GetDataBits(), 8);
      EXPECT_EQ(port.GetParity(), 0);
      port.SetBaud(57600);
      port.SetOpen(true);
      EXPECT_EQ(port.Fake().dcb.BaudRate, 57600u);
      EXPECT_EQ(port.Fake().dcb.ByteSize, 8);
      EXPECT_EQ(port.Fake().dcb.Parity, win::NOPARITY);
    }
  }
}

TEST(SerialComPort, RatesAndStopBitsOutsideTheLineFollowTheClampsOrAreRefused) {
  for (bool open : {false, true}) {
    SCOPED_TRACE(open ? "open" : "closed");
    FakePort port;
    port.SetBaud(9600);
    port.SetOpen(open);
    try {
      port.SetBaud(-1);
      FAIL() << "accepted";
    } catch (const EBaudRate& e) {
      EXPECT_EQ(e.ErrorCode, -2002);
      EXPECT_EQ(e.GetMessage(), "ie_Baudrate - unsupported baud rate");
    }
    EXPECT_EQ(port.GetBaud(), 9600);
    port.SetOpen(true);
    EXPECT_EQ(port.Fake().dcb.BaudRate, 9600u);
    // Rate 0 keeps the line's rate; stop bits above 3 count as two.
    port.SetBaud(0);
    port.SetStopBits(7);
    EXPECT_EQ(port.Fake().dcb.BaudRate, 9600u);
    EXPECT_EQ(port.Fake().dcb.StopBits, win::TWOSTOPBITS);
  }
}

// A device that refuses one rate the library itself takes.
class PickyDispatcher : public FakeDispatcher {
 public:
  using FakeDispatcher::FakeDispatcher;
  int SetComState(win::DCB& state) override {
    if (state.BaudRate == 12345) return -static_cast<int>(win::ERROR_INVALID_PARAMETER);
    return FakeDispatcher::SetComState(state);
  }
};

TEST(SerialComPort, ARateTheDeviceRefusesIsNotKept) {
  FakePort port;
  port.DispatcherCreator = [](TSerCustomComPort* owner) { return std::make_unique<PickyDispatcher>(owner); };
  port.SetBaud(9600);
  port.SetOpen(true);
  EXPECT_THROW(port.SetBaud(12345), EInOutError);
  EXPECT_EQ(port.GetBaud(), 9600);
  port.SetStopBits(2);
  EXPECT_EQ(port.Fake().dcb.BaudRate, 9600u);
  EXPECT_EQ(port.Fake().dcb.StopBits, win::TWOSTOPBITS);
}

}  // namespace
}  // namespace dashtune::serial
