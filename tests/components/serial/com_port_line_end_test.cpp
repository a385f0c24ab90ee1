// The com port component against a peer that outpaces a stalled handler or vanishes mid-stream.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <thread>

#include "classlib/sysutils.h"
#include "components/serial/com_port.h"
#include "components/serial/serial_errors.h"
#include "components/serial/serial_misc.h"
#include "components/serial/serial_win32.h"
#include "pty_peer.h"
#include "pump.h"

namespace dashtune::serial {
namespace {

using namespace std::chrono_literals;

constexpr unsigned kPort = 43;
constexpr std::size_t kInputQueueLimit = 1 << 20;

// The device layer with its input queue's size in view.
class WatchedDispatcher : public TSerWin32Dispatcher {
 public:
  using TSerWin32Dispatcher::TSerWin32Dispatcher;
  std::size_t QueuedSize() const { return input_queue_.TotalSize(); }
};

// A component on the peer's terminal whose handler takes every announced byte.
struct Port {
  Port() {
    port.SetComNumber(kPort);
    port.SetBaud(115200);
    port.DispatcherCreator = [](TSerCustomComPort* owner) { return std::make_unique<WatchedDispatcher>(owner); };
    port.SetOnTriggerAvail([this](TObject*, win::WORD Count) {
      for (int i = 0; i < Count; ++i) received.push_back(static_cast<char>(port.GetChar()));
    });
  }
  WatchedDispatcher& Dispatcher() { return *dynamic_cast<WatchedDispatcher*>(port.GetDispatcher()); }
  // Bytes that have left the terminal: taken by the handler, in the dispatch ring or queued.
  // Counted downstream first, so that a byte moving on meanwhile is missed rather than counted
  // twice.
  std::size_t Arrived() {
    std::size_t taken = received.size();
    std::size_t inRing = static_cast<std::size_t>(Dispatcher().CharReady());
    return taken + inRing + static_cast<std::size_t>(Dispatcher().InQueueCount());
  }

  TSerCustomComPort port{nullptr};
  std::string received;
};

// The first mismatch between what arrived and the peer's pattern, or npos.
std::size_t FirstMismatch(const std::string& received, std::size_t count, unsigned seed) {
  if (received.size() != count) return std::min(received.size(), count);
  for (std::size_t i = 0; i < count; ++i) {
    if (static_cast<unsigned char>(received[i]) != PatternByte(i, seed)) return i;
  }
  return std::string::npos;
}

// Waits without handling messages, so that the handler does not run meanwhile.
bool WaitUnpumped(const std::function<bool()>& done, std::chrono::seconds timeout = 20s) {
  const auto until = std::chrono::steady_clock::now() + timeout;
  while (!done()) {
    if (std::chrono::steady_clock::now() > until) return false;
    std::this_thread::sleep_for(1ms);
  }
  return true;
}

TEST(SerialLineEndIntegration, ABlastAgainstAStalledHandlerHoldsTheQueueAtItsBound) {
  constexpr std::size_t kCount = 2 << 20;
  constexpr unsigned kSeed = 11;
  PtyPeer peer(kPort);
  ASSERT_TRUE(peer.Started());
  Port p;
  p.port.SetOpen(true);
  peer.Send("exchange " + std::to_string(kCount) + " 0 " + std::to_string(kSeed));
  // The main thread handles nothing, as when it is busy: the read thread fills the queue up to
  // its bound and then leaves the rest to the terminal, so the peer cannot finish.
  std::size_t largest = 0;
  ASSERT_TRUE(WaitUnpumped([&] {
    largest = std::max(largest, p.Dispatcher().QueuedSize());
    return largest >= kInputQueueLimit;
  }));
  for (int i = 0; i < 200; ++i) {
    largest = std::max(largest, p.Dispatcher().QueuedSize());
    std::this_thread::sleep_for(1ms);
  }
  EXPECT_LE(largest, kInputQueueLimit + 256);
  EXPECT_FALSE(peer.AnswerReady()) << "the peer wrote everything while nobody read";
  EXPECT_TRUE(Pump([&] {
    largest = std::max(largest, p.Dispatcher().QueuedSize());
    return p.received.size() >= kCount;
  }, 120s));
  EXPECT_LE(largest, kInputQueueLimit + 256);
  EXPECT_EQ(FirstMismatch(p.received, kCount, kSeed), std::string::npos);
  EXPECT_EQ(peer.Answer().substr(0, 3), "ok ");
  p.port.SetOpen(false);
}

struct Vanishing {
  const char* name;
  bool kill;     // killed, else it exits
  bool paced;    // writes in small pieces while the handler keeps up, else all at once unread
};

// The peer writes, waits until its bytes have left the terminal, and goes. Everything it wrote
// reaches the handler in order, block writes then answer the read error, the probe finds the
// port gone, and the port stays open until the application closes it.
void VanishOnce(const Vanishing& how, unsigned round) {
  const std::size_t count = how.paced ? 3000 : 6000;
  const unsigned seed = round * 7 + 3;
  PtyPeer peer(kPort);
  ASSERT_TRUE(peer.Started());
  Port p;
  p.port.SetOpen(true);
  if (how.paced) {
    peer.Send("pace " + std::to_string(count) + " " + std::to_string(seed) + " 300 1");
    ASSERT_TRUE(Pump([&] { return peer.AnswerReady(); }));
    ASSERT_EQ(peer.Answer(), "ok");
    ASSERT_TRUE(Pump([&] { return p.Arrived() == count; }));
  } else {
    peer.Send("exchange " + std::to_string(count) + " 0 " + std::to_string(seed));
    ASSERT_TRUE(WaitUnpumped([&] { return peer.AnswerReady(); }));
    ASSERT_EQ(peer.Answer().substr(0, 3), "ok ");
    ASSERT_TRUE(WaitUnpumped([&] { return p.Arrived() == count; }));
  }
  if (how.kill) {
    peer.Kill();
  } else {
    peer.Send("exit");
    peer.Stop();
  }
  WatchedDispatcher& dispatcher = p.Dispatcher();
  ASSERT_TRUE(Pump([&] { return dispatcher.ThreadError() != 0 && dispatcher.ActiveThreads() == 0; }));
  EXPECT_EQ(FirstMismatch(p.received, count, seed), std::string::npos);
  EXPECT_EQ(dispatcher.ThreadError(), kErrDeviceRead);
  try {
    p.port.PutString("AT\r");
    ADD_FAILURE() << "a write to a line that has gone succeeded";
  } catch (const EInOutError& e) {
    EXPECT_EQ(e.ErrorCode, 161);
    EXPECT_EQ(e.GetMessage(), "Device read error");
  }
  EXPECT_FALSE(p.port.IsPortAvailable(kPort));
  EXPECT_TRUE(p.port.GetOpen());
  p.port.SetOpen(false);
  EXPECT_EQ(p.port.GetPortState(), psClosed);
}

TEST(SerialLineEndIntegration, APeerThatVanishesLosesNoByteItWroteAndTheWriterLearnsIt) {
  const Vanishing kinds[] = {
      {"exits after writing at once", false, false},
      {"is killed after writing at once", true, false},
      {"exits after writing in pieces", false, true},
      {"is killed after writing in pieces", true, true},
  };
  constexpr unsigned kRounds = 12;
  for (unsigned round = 0; round < kRounds; ++round) {
    for (const Vanishing& how : kinds) {
      SCOPED_TRACE(std::string(how.name) + ", round " + std::to_string(round));
      VanishOnce(how, round);
      if (::testing::Test::HasFailure()) return;
    }
  }
}

}  // namespace
}  // namespace dashtune::serial
