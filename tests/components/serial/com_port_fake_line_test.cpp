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
#include "components/serial/serial_misc.h"
#include "platform/comm/fake_comm.h"
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
