// The application object: the main thread, Synchronize while pumping, Run and Terminate, exception display.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "classlib/forms.h"
#include "classlib/messages.h"
#include "classlib/threads.h"
#include "classlib/timer.h"
#include "platform/core/clock.h"
#include "platform/core/message_box.h"
#include "platform/core/process.h"
#include "platform/user/messages.h"
#include "platform/user/window.h"
#include "platform_test_support.h"

namespace dashtune {
namespace {

using namespace std::chrono_literals;
using dashtune::testing::AdvanceAndPump;
using dashtune::testing::MessageBoxCapture;
using dashtune::testing::PumpUntil;

class TBodyThread : public TThread {
 public:
  TBodyThread(bool suspended, std::function<void(TBodyThread&)> body) : TThread(suspended), body_(std::move(body)) {}
  using TThread::Synchronize;

 protected:
  void Execute() override { body_(*this); }

 private:
  std::function<void(TBodyThread&)> body_;
};

// A hidden window that records the messages it gets and passes them on to the default
// procedure.
struct RecordingWindow {
  explicit RecordingWindow(std::function<void(TMessage&)> extra = nullptr) : extra_(std::move(extra)) {
    handle = AllocateHWnd([this](TMessage& Message) {
      messages.push_back(Message.Msg);
      if (extra_) extra_(Message);
      if (Message.Msg < win::WM_USER) Message.Result = win::DefWindowProcA(handle, Message.Msg, Message.WParam, Message.LParam);
    });
  }
  ~RecordingWindow() { DeallocateHWnd(handle); }
  win::HWND handle = nullptr;
  std::vector<win::UINT> messages;
  std::function<void(TMessage&)> extra_;
};

TEST(ApplicationTest, TheTestThreadIsTheMainThread) {
  ASSERT_NE(Application, nullptr);
  EXPECT_TRUE(IsMainThread());
  bool other = true;
  std::thread([&] { other = IsMainThread(); }).join();
  EXPECT_FALSE(other);
}

TEST(ApplicationTest, SynchronizeRunsWhenTheMainThreadPumps) {
  std::atomic<bool> asking{false};
  std::atomic<bool> answered{false};
  bool ran_on_main = false;
  std::unique_ptr<TBodyThread> worker(Create<TBodyThread>(false, [&](TBodyThread& self) {
    asking = true;
    self.Synchronize([&] { ran_on_main = IsMainThread(); });
    answered = true;
  }));
  auto deadline = std::chrono::steady_clock::now() + 5s;
  while (!asking && std::chrono::steady_clock::now() < deadline) std::this_thread::yield();
  for (int i = 0; i < 1000; ++i) std::this_thread::yield();
  EXPECT_FALSE(answered);  // the main thread has not retrieved messages yet
  ASSERT_TRUE(PumpUntil([&] { return answered.load(); }));
  EXPECT_TRUE(ran_on_main);
  worker->WaitFor();
}

TEST(ApplicationTest, SynchronizeWakesAMainThreadBlockedInGetMessage) {
  const win::DWORD main_id = win::GetCurrentThreadId();
  bool ran_on_main = false;
  std::unique_ptr<TBodyThread> worker(Create<TBodyThread>(false, [&](TBodyThread& self) {
    self.Synchronize([&] { ran_on_main = IsMainThread(); });
    win::PostThreadMessageA(main_id, win::WM_USER + 1, 0, 0);
  }));
  // A watchdog ends the wait should the wake-up be lost, so a fault fails instead of hanging.
  std::atomic<bool> stop_watchdog{false};
  std::thread watchdog([&] {
    auto deadline = std::chrono::steady_clock::now() + 5s;
    while (!stop_watchdog && std::chrono::steady_clock::now() < deadline) std::this_thread::sleep_for(10ms);
    if (!stop_watchdog) win::PostThreadMessageA(main_id, win::WM_USER + 2, 0, 0);
  });
  win::MSG msg;
  ASSERT_TRUE(win::GetMessageA(&msg, nullptr, 0, 0));
  stop_watchdog = true;
  watchdog.join();
  EXPECT_EQ(msg.message, win::WM_USER + 1u);
  EXPECT_TRUE(ran_on_main);
  worker->WaitFor();
  win::MSG leftover;
  while (win::PeekMessageA(&leftover, nullptr, 0, 0, win::PM_REMOVE)) {
  }
}

TEST(ApplicationTest, OnTerminateRunsOnTheMainThreadWhilePumping) {
  std::atomic<bool> terminated{false};
  bool on_main = false;
  std::unique_ptr<TBodyThread> worker(new TBodyThread(true, [](TBodyThread&) {}));
  worker->OnTerminate = [&](TObject*) {
    on_main = IsMainThread();
    terminated = true;
  };
  worker->Resume();
  ASSERT_TRUE(PumpUntil([&] { return terminated.load(); }));
  EXPECT_TRUE(on_main);
  worker->WaitFor();
}

TEST(ApplicationTest, ProcessMessagesDispatchesPostedMessagesInOrder) {
  RecordingWindow window;
  win::PostMessageA(window.handle, win::WM_USER + 1, 0, 0);
  win::PostMessageA(window.handle, win::WM_USER + 2, 0, 0);
  Application->ProcessMessages();
  EXPECT_EQ(window.messages, (std::vector<win::UINT>{win::WM_USER + 1, win::WM_USER + 2}));
  win::PostMessageA(window.handle, win::WM_USER + 3, 0, 0);
  Application->HandleMessage();
  EXPECT_EQ(window.messages.back(), win::WM_USER + 3u);
}

TEST(ApplicationTest, RunEndsAfterTerminate) {
  RecordingWindow window([](TMessage& Message) {
    if (Message.Msg == win::WM_USER + 9) Application->Terminate();
  });
  int idle_calls = 0;
  Application->OnIdle = [&](TObject* sender, bool& done) {
    EXPECT_EQ(sender, Application);
    ++idle_calls;
    if (idle_calls == 1) win::PostMessageA(window.handle, win::WM_USER + 9, 0, 0);
    done = true;
  };
  Application->Run();
  Application->OnIdle = nullptr;
  EXPECT_TRUE(Application->GetTerminated());
  EXPECT_EQ(idle_calls, 1);
  EXPECT_EQ(window.messages.back(), win::WM_USER + 9u);
}

TEST(ApplicationTest, ExceptionDisplayShowsTheMessageWithAFullStop) {
  MessageBoxCapture capture;
  Application->SetTitle("Dashtune");
  const std::pair<std::string, std::string> cases[] = {
      {"Stream-Lesefehler", "Stream-Lesefehler."},
      {"Systemressourcen erschöpft.", "Systemressourcen erschöpft."},
      {"Wirklich!", "Wirklich!"},
      {"Code 12", "Code 12."},
      {"", ""},
  };
  for (const auto& [message, shown] : cases) {
    try {
      throw Exception(message);
    } catch (...) {
      Application->HandleException(nullptr);
    }
  }
  std::vector<MessageBoxCapture::Box> boxes = capture.Boxes();
  ASSERT_EQ(boxes.size(), std::size(cases));
  for (std::size_t i = 0; i < boxes.size(); ++i) {
    EXPECT_EQ(boxes[i].text, cases[i].second);
    EXPECT_EQ(boxes[i].caption, "Dashtune");
    EXPECT_EQ(boxes[i].type, win::MB_OK | win::MB_ICONHAND);
  }
}

TEST(ApplicationTest, OnExceptionReplacesTheDisplay) {
  MessageBoxCapture capture;
  std::string seen;
  TObject sender;
  Application->OnException = [&](TObject* s, const Exception& e) {
    EXPECT_EQ(s, &sender);
    seen = e.ClassName() + ": " + e.GetMessage();
  };
  try {
    throw EListError("Listenindex überschreitet das Maximum (3)");
  } catch (...) {
    Application->HandleException(&sender);
  }
  try {
    throw std::runtime_error("outside");
  } catch (...) {
    Application->HandleException(&sender);
  }
  Application->OnException = nullptr;
  EXPECT_EQ(seen, "Exception: outside");
  EXPECT_TRUE(capture.Boxes().empty());
}

TEST(ApplicationTest, ExceptionEscapingAThreadIsShown) {
  MessageBoxCapture capture;
  std::unique_ptr<TBodyThread> worker(Create<TBodyThread>(false, [](TBodyThread&) {
    throw EInOutError("Das Gerät ist nicht bereit", 21);
  }));
  worker->WaitFor();
  EXPECT_EQ(capture.Texts(), (std::vector<std::string>{"Das Gerät ist nicht bereit."}));
}

TEST(ApplicationTest, ExceptionInAHiddenWindowMethodGoesToHandleException) {
  MessageBoxCapture capture;
  RecordingWindow window([](TMessage& Message) {
    if (Message.Msg == win::WM_USER + 4) throw EConvertError("kaputt");
  });
  win::SendMessageA(window.handle, win::WM_USER + 4, 0, 0);
  EXPECT_EQ(capture.Texts(), (std::vector<std::string>{"kaputt."}));
}

TEST(HiddenWindowTest, IsMessageOnlyAndAnswersThroughTheMethod) {
  RecordingWindow window([](TMessage& Message) {
    if (Message.Msg == win::WM_USER + 5) Message.Result = static_cast<win::LRESULT>(Message.WParam * 2);
  });
  EXPECT_EQ(win::SendMessageA(window.handle, win::WM_USER + 5, 21, 0), 42);
  EXPECT_EQ(win::FindWindowExA(nullptr, nullptr, "TUtilWindow", nullptr), nullptr);
  EXPECT_EQ(win::FindWindowExA(win::HWND_MESSAGE, nullptr, "TUtilWindow", nullptr), window.handle);
}

TEST(HiddenWindowTest, DeallocatingFromInsideTheMethodIsSafe) {
  int calls = 0;
  win::HWND handle = nullptr;
  handle = AllocateHWnd([&](TMessage& Message) {
    ++calls;
    if (Message.Msg == win::WM_USER + 6) DeallocateHWnd(handle);
  });
  win::SendMessageA(handle, win::WM_USER + 6, 0, 0);
  int after = calls;
  win::SendMessageA(handle, win::WM_USER + 7, 0, 0);
  EXPECT_EQ(calls, after);
  EXPECT_FALSE(win::IsWindow(handle));
}

TEST(TimerTest, FiresEveryIntervalOnTheFakeClock) {
  win::ScopedFakeClock clock;
  TTimer timer(nullptr);
  std::vector<std::uint64_t> ticks;
  timer.SetInterval(100);
  timer.SetOnTimer([&](TObject* sender) {
    EXPECT_EQ(sender, &timer);
    ticks.push_back(win::clock::NowNanoseconds() / 1'000'000);
  });
  AdvanceAndPump(99);
  EXPECT_TRUE(ticks.empty());
  AdvanceAndPump(251);
  EXPECT_EQ(ticks, (std::vector<std::uint64_t>{1'000'100, 1'000'200, 1'000'300}));
  timer.SetEnabled(false);
  AdvanceAndPump(500);
  EXPECT_EQ(ticks.size(), 3u);
  timer.SetEnabled(true);  // restarts the interval from now
  AdvanceAndPump(100);
  EXPECT_EQ(ticks.back(), 1'000'950u);
  timer.SetInterval(0);
  AdvanceAndPump(1000);
  EXPECT_EQ(ticks.size(), 4u);
}

TEST(TimerTest, OwnerFreesTheTimerAndItsWindow) {
  win::ScopedFakeClock clock;
  auto* owner = new TComponent(nullptr);
  auto* timer = new TTimer(owner);
  int ticks = 0;
  timer->SetInterval(10);
  timer->SetOnTimer([&](TObject*) { ++ticks; });
  AdvanceAndPump(10);
  EXPECT_EQ(ticks, 1);
  delete owner;
  AdvanceAndPump(100);
  EXPECT_EQ(ticks, 1);
  EXPECT_EQ(win::FindWindowExA(win::HWND_MESSAGE, nullptr, "TUtilWindow", nullptr), nullptr);
}

}  // namespace
}  // namespace dashtune

namespace dashtune {
namespace {

TEST(ApplicationTest, WaitForHandlesMessagesSentToTheMainThread) {
  RecordingWindow window;
  std::atomic<win::LRESULT> sent{0};
  std::unique_ptr<TBodyThread> worker(Create<TBodyThread>(false, [&](TBodyThread&) {
    win::DWORD_PTR result = 0;
    // Bounded, so that a main thread that does not answer fails the test instead of hanging it.
    sent = win::SendMessageTimeoutA(window.handle, win::WM_USER + 8, 0, 0, win::SMTO_NORMAL, 5000, &result);
  }));
  worker->WaitFor();
  EXPECT_NE(sent.load(), 0);
  EXPECT_EQ(window.messages, (std::vector<win::UINT>{win::WM_USER + 8}));
}

}  // namespace
}  // namespace dashtune
