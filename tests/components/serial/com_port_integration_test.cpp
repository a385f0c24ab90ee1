// The com port component over real pseudo-terminal pairs, with the peer process at the far end.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <thread>

#include "classlib/forms.h"
#include "classlib/threads.h"
#include "components/serial/com_port.h"
#include "components/serial/serial_errors.h"
#include "components/serial/serial_misc.h"
#include "components/serial/serial_win32.h"
#include "pty_peer.h"
#include "pump.h"

namespace dashtune::serial {
namespace {

using namespace std::chrono_literals;

std::string Hex(const std::string& bytes) {
  std::string text;
  char digits[3];
  for (unsigned char c : bytes) {
    std::snprintf(digits, sizeof digits, "%02X", c);
    text += digits;
  }
  return text;
}

constexpr unsigned kPort = 41;

// A component on the peer's terminal that collects what the data-available events announce.
struct Port {
  explicit Port(std::int32_t baud) {
    port.SetComNumber(kPort);
    port.SetBaud(baud);
    port.SetOnTriggerAvail([this](TObject* CP, win::WORD Count) {
      EXPECT_EQ(CP, &port);
      EXPECT_TRUE(IsMainThread());
      ++events;
      for (int i = 0; i < Count; ++i) received.push_back(static_cast<char>(port.GetChar()));
    });
  }
  TSerCustomComPort port{nullptr};
  std::string received;
  int events = 0;
};

// The peer sends XOFF and answers once the terminal has stopped its output, so that output
// written next is held.
void SendXoff(PtyPeer& peer) { EXPECT_EQ(peer.Command("stop"), "stopped"); }

TEST(SerialPortIntegration, ApplicationRoadAtBothRates) {
  for (std::int32_t baud : {9600, 115200}) {
    SCOPED_TRACE(baud);
    PtyPeer peer(kPort);
    ASSERT_TRUE(peer.Started());
    Port p(baud);
    p.port.SetOpen(true);
    ASSERT_TRUE(p.port.GetOpen());
    EXPECT_EQ(peer.Command("termios").substr(0, 6 + std::to_string(baud).size()), "speed " + std::to_string(baud));
    p.port.PutString("AT+CLIP=1\r");
    EXPECT_EQ(peer.Command("read 10"), "data " + Hex("AT+CLIP=1\r"));
    EXPECT_EQ(peer.Command("write " + Hex("\r\nRING\r\n")), "ok");
    EXPECT_TRUE(Pump([&] { return p.received.size() >= 8; }));
    EXPECT_EQ(p.received, "\r\nRING\r\n");
    EXPECT_GE(p.events, 1);
    // A close that meets an event delivery finishes once the delivery has returned.
    p.port.SetOpen(false);
    EXPECT_FALSE(p.port.GetOpen());
    EXPECT_TRUE(Pump([&] { return p.port.GetPortState() == psClosed; }));
  }
}

TEST(SerialPortIntegration, OneMebibyteEachWayCrossesTheRings) {
  constexpr std::size_t kSize = 1 << 20;
  constexpr unsigned kSeed = 7;
  PtyPeer peer(kPort);
  ASSERT_TRUE(peer.Started());
  Port p(115200);
  p.port.SetOpen(true);
  std::string outgoing(kSize, '\0');
  for (std::size_t i = 0; i < kSize; ++i) outgoing[i] = static_cast<char>(PatternByte(i * 3 + 1, 5));
  peer.Send("exchange " + std::to_string(kSize) + " " + std::to_string(kSize) + " " + std::to_string(kSeed));
  std::size_t sent = 0;
  auto until = std::chrono::steady_clock::now() + 60s;
  while ((sent < kSize || p.received.size() < kSize) && std::chrono::steady_clock::now() < until) {
    int free = p.port.GetDispatcher()->OutBuffFree();
    if (sent < kSize && free > 0) {
      std::size_t chunk = std::min<std::size_t>(static_cast<std::size_t>(free), kSize - sent);
      p.port.PutString(outgoing.substr(sent, chunk));
      sent += chunk;
    }
    if (SafeYield() == 0 && (sent == kSize || free == 0)) std::this_thread::sleep_for(1ms);
  }
  ASSERT_EQ(p.received.size(), kSize);
  bool same = true;
  for (std::size_t i = 0; i < kSize && same; ++i) same = static_cast<unsigned char>(p.received[i]) == PatternByte(i, kSeed);
  EXPECT_TRUE(same);
  EXPECT_EQ(peer.Answer(), "ok " + std::to_string(Fnv1a(outgoing)));
  p.port.SetOpen(false);
}

TEST(SerialPortIntegration, ThePeerSeesSpeedStopBitsAndFlowControl) {
  PtyPeer peer(kPort);
  ASSERT_TRUE(peer.Started());
  Port p(9600);
  p.port.SetOpen(true);
  p.port.SetBaud(56000);
  p.port.SetStopBits(2);
  p.port.SetHardwareFlow({hfUseRTS, hfRequireCTS});
  EXPECT_EQ(peer.Command("termios"), "speed 56000 bits 8 parity n stop 2 crtscts 1 ixon 0 ixoff 0");
  p.port.SetHardwareFlow({});
  p.port.SetSoftwareFlow(swfBoth);
  p.port.SetBaud(128000);
  EXPECT_EQ(peer.Command("termios"), "speed 128000 bits 8 parity n stop 2 crtscts 0 ixon 1 ixoff 1");
  p.port.SetOpen(false);
}

TEST(SerialPortIntegration, XoffFromThePeerHoldsOutputUntilXon) {
  PtyPeer peer(kPort);
  ASSERT_TRUE(peer.Started());
  Port p(115200);
  p.port.SetSoftwareFlow(swfTransmit);
  p.port.SetOpen(true);
  SendXoff(peer);
  p.port.PutString("held");
  EXPECT_EQ(peer.Command("quiet 300"), "quiet");
  EXPECT_EQ(peer.Command("write 11"), "ok");
  EXPECT_EQ(peer.Command("read 4"), "data " + Hex("held"));
  EXPECT_TRUE(p.received.empty()) << "flow characters are not data";
  p.port.SetOpen(false);
}

TEST(SerialPortIntegration, AVanishingPeerEndsTheThreadsAndCloseStaysBounded) {
  PtyPeer peer(kPort);
  ASSERT_TRUE(peer.Started());
  Port p(9600);
  p.port.SetOpen(true);
  auto* dispatcher = dynamic_cast<TSerWin32Dispatcher*>(p.port.GetDispatcher());
  ASSERT_NE(dispatcher, nullptr);
  peer.Send("exit");
  peer.Stop();
  EXPECT_TRUE(Pump([&] { return dispatcher->ActiveThreads() == 0; }));
  EXPECT_EQ(dispatcher->ThreadError(), kErrDeviceRead);
  EXPECT_EQ(ErrorMsg(dispatcher->ThreadError()), "Device read error");
  auto start = std::chrono::steady_clock::now();
  p.port.SetOpen(false);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 3s);
  EXPECT_EQ(p.port.GetPortState(), psClosed);
}

TEST(SerialPortIntegration, ClosingFromAHandlerFinishesOnceTheThreadsEnd) {
  PtyPeer peer(kPort);
  ASSERT_TRUE(peer.Started());
  TSerCustomComPort port(nullptr);
  port.SetComNumber(kPort);
  int events = 0;
  port.SetOnTriggerAvail([&](TObject*, win::WORD) {
    ++events;
    port.SetOpen(false);
  });
  port.SetOpen(true);
  EXPECT_EQ(peer.Command("write 414243"), "ok");
  EXPECT_TRUE(Pump([&] { return events > 0 && port.GetPortState() == psClosed; }));
  EXPECT_EQ(events, 1);
  EXPECT_EQ(port.GetDispatcher(), nullptr);
  port.SetOpen(true);
  EXPECT_EQ(port.GetPortState(), psOpen);
}

TEST(SerialPortIntegration, AnOpenAskedForDuringADeferredCloseFollowsIt) {
  PtyPeer peer(kPort);
  ASSERT_TRUE(peer.Started());
  TSerCustomComPort port(nullptr);
  port.SetComNumber(kPort);
  int opens = 0;
  port.OnPortOpen = [&](TObject*) { ++opens; };
  port.SetOnTriggerAvail([&](TObject*, win::WORD) {
    if (opens > 1) return;
    port.SetOpen(false);
    EXPECT_EQ(port.GetPortState(), psShuttingDown);
    port.SetOpen(true);
  });
  port.SetOpen(true);
  EXPECT_EQ(peer.Command("write 58"), "ok");
  EXPECT_TRUE(Pump([&] { return opens == 2 && port.GetPortState() == psOpen; }));
  port.PutString("again");
  EXPECT_EQ(peer.Command("read 5"), "data " + Hex("again"));
}

TEST(SerialPortIntegration, PortProbeCountsFreeAndHeldPortsAsAvailable) {
  PtyPeer peer(kPort);
  ASSERT_TRUE(peer.Started());
  TSerCustomComPort probe(nullptr);
  EXPECT_FALSE(probe.IsPortAvailable(0));
  EXPECT_TRUE(probe.IsPortAvailable(kPort));
  Port holder(9600);
  holder.port.SetOpen(true);
  EXPECT_TRUE(probe.IsPortAvailable(kPort));
  setenv("DASHTUNE_COM42", "/nonexistent/ttyQ", 1);
  EXPECT_FALSE(probe.IsPortAvailable(42));
  unsetenv("DASHTUNE_COM42");
}

TEST(SerialPortIntegration, OpenErrors) {
  PtyPeer peer(kPort);
  ASSERT_TRUE(peer.Started());
  setenv("DASHTUNE_COM42", "/nonexistent/ttyQ", 1);
  TSerCustomComPort missing(nullptr);
  missing.SetComNumber(42);
  EXPECT_THROW(missing.SetOpen(true), EBadId);
  EXPECT_FALSE(missing.GetOpen());
  unsetenv("DASHTUNE_COM42");
  Port first(9600);
  first.port.SetOpen(true);
  TSerCustomComPort second(nullptr);
  second.SetComNumber(kPort);
  try {
    second.SetOpen(true);
    FAIL() << "opened twice";
  } catch (const EAlreadyOpen& e) {
    EXPECT_EQ(e.GetMessage(), "ie_Open - device already open");
    EXPECT_EQ(e.ErrorCode, -2008);
  }
  TSerCustomComPort unset(nullptr);
  unset.SetZeroPortAllowed(false);
  EXPECT_THROW(unset.SetOpen(true), ENoPortSelected);
}

TEST(SerialPortIntegration, ClosingEndsAWriteHeldByFlowControl) {
  PtyPeer peer(kPort);
  ASSERT_TRUE(peer.Started());
  Port p(115200);
  p.port.SetSoftwareFlow(swfTransmit);
  p.port.SetOpen(true);
  SendXoff(peer);
  p.port.PutString(std::string(1000, 'w'));
  EXPECT_TRUE(Pump([&] { return p.port.GetDispatcher()->OutBuffFree() == 4096 - 1000; }));
  auto start = std::chrono::steady_clock::now();
  p.port.SetOpen(false);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 3s);
  EXPECT_EQ(peer.Command("quiet 100"), "quiet");
}

TEST(SerialPortIntegration, OverAHandedInTerminalThePortKeepsItsFlowSettings) {
  PtyPeer peer(kPort);
  ASSERT_TRUE(peer.Started());
  const win::HANDLE line = win::CreateFileA(("\\\\.\\COM" + std::to_string(kPort)).c_str(),
                                            win::GENERIC_READ | win::GENERIC_WRITE, 0, nullptr, win::OPEN_EXISTING,
                                            win::FILE_FLAG_OVERLAPPED, nullptr);
  ASSERT_NE(line, win::INVALID_HANDLE_VALUE);
  win::DCB dcb;
  ASSERT_TRUE(win::GetCommState(line, &dcb));
  // A terminal keeps eight data bits without parity whatever it is asked for.
  dcb.BaudRate = 57600;
  dcb.Flags = win::DCB_BINARY | win::DCB_RTS_CONTROL_HANDSHAKE | win::DCB_OUTX_CTS_FLOW | win::DCB_OUTX | win::DCB_INX;
  ASSERT_TRUE(win::SetCommState(line, &dcb));
  TSerCustomComPort port(nullptr);
  port.SetTapiUse(2);
  port.SetLineHandle(line);
  port.SetOpen(true);
  ASSERT_TRUE(port.GetOpen());
  EXPECT_EQ(peer.Command("termios"), "speed 57600 bits 8 parity n stop 1 crtscts 1 ixon 1 ixoff 1");
  EXPECT_EQ(port.GetBaud(), 57600);
  EXPECT_EQ(port.GetHardwareFlow(), THardwareFlowOptions({hfUseRTS, hfRequireCTS}));
  EXPECT_EQ(port.GetSoftwareFlow(), swfBoth);
  port.SetOpen(false);
  EXPECT_TRUE(Pump([&] { return port.GetPortState() == psClosed; }));
}

TEST(SerialPortIntegration, ATerminalWithoutRS485RefusesTheModeAndKeepsWorking) {
  PtyPeer peer(kPort);
  ASSERT_TRUE(peer.Started());
  Port p(9600);
  p.port.SetOpen(true);
  try {
    p.port.SetRS485Mode(true);
    FAIL() << "no exception";
  } catch (const EInOutError& e) {
    EXPECT_EQ(e.GetMessage(), "The request is not supported. ");
  }
  EXPECT_FALSE(p.port.GetRS485Mode());
  p.port.PutString("ok");
  EXPECT_EQ(peer.Command("read 2"), "data " + Hex("ok"));
  p.port.SetOpen(false);
  EXPECT_TRUE(Pump([&] { return p.port.GetPortState() == psClosed; }));
  // Stored, it makes the open fail whole.
  p.port.SetRS485Mode(true);
  EXPECT_THROW(p.port.SetOpen(true), EInOutError);
  EXPECT_EQ(p.port.GetPortState(), psClosed);
  EXPECT_EQ(p.port.GetDispatcher(), nullptr);
}

TEST(SerialDeviceLayerIntegration, StartingTheThreadsTwiceIsRefused) {
  PtyPeer peer(kPort);
  ASSERT_TRUE(peer.Started());
  TSerWin32Dispatcher dispatcher(nullptr);
  ASSERT_EQ(dispatcher.Open("\\\\.\\COM" + std::to_string(kPort), 9600, kOpenDTR | kOpenRTS, 64, 64, 1, 8, 0), kOK);
  EXPECT_TRUE(dispatcher.ThreadsActive());
  try {
    dispatcher.StartDispatcher();
    FAIL();
  } catch (const Exception& e) {
    EXPECT_EQ(e.GetMessage(), "Dispatcher already started.");
  }
  dispatcher.Close();
  EXPECT_EQ(dispatcher.ActiveThreads(), 0);
}

}  // namespace
}  // namespace dashtune::serial
