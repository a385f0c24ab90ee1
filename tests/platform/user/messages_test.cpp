// Messages: sent before posted, cross-thread sends, SendMessageTimeout, waits that messages end.
#include "platform/core/clock.h"
#include "platform/core/errors.h"
#include "platform/core/handles.h"
#include "platform/core/sync.h"
#include "platform/core/wait.h"
#include "platform/user/messages.h"
#include "platform/user/window.h"
#include "platform_test_support.h"
#include "user_test_window.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace {

using dashtune::testing::MakeWindow;
using dashtune::testing::MessageLog;
using dashtune::testing::PumpPending;
using dashtune::testing::PumpUntil;
using namespace std::chrono_literals;

constexpr auto kBound = 5s;

// Waits (on the real clock, bounded) until another thread's message waits in this thread's queue.
bool AwaitSentMessage() {
  const auto until = std::chrono::steady_clock::now() + kBound;
  while (!(win::HIWORD(win::GetQueueStatus(win::QS_SENDMESSAGE)) & win::QS_SENDMESSAGE)) {
    if (std::chrono::steady_clock::now() >= until) return false;
    std::this_thread::yield();
  }
  return true;
}

class MessageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    MessageLog::Get().Clear();
    PumpPending();
  }
  void TearDown() override {
    for (const win::HWND window : windows_) win::DestroyWindow(window);
    PumpPending();
    MessageLog::Get().Clear();
  }
  win::HWND Window() {
    windows_.push_back(MakeWindow());
    return windows_.back();
  }
  std::vector<win::HWND> windows_;
};

// A thread with its own window that pumps until told to quit.
class PumpingThread {
 public:
  PumpingThread() {
    thread_ = std::thread([this] {
      window_ = MakeWindow();
      thread_id_ = win::GetCurrentThreadId();
      ready_ = true;
      win::MSG msg;
      while (win::GetMessageA(&msg, nullptr, 0, 0) > 0) win::DispatchMessageA(&msg);
      win::DestroyWindow(window_);
    });
    while (!ready_) std::this_thread::yield();
  }
  ~PumpingThread() {
    win::PostThreadMessageA(thread_id_, win::WM_QUIT, 0, 0);
    thread_.join();
  }
  win::HWND window() const { return window_; }

 private:
  std::thread thread_;
  std::atomic<bool> ready_{false};
  win::HWND window_ = nullptr;
  win::DWORD thread_id_ = 0;
};

TEST_F(MessageTest, SentMessagesAreHandledBeforePostedOnes) {
  const win::HWND window = Window();
  win::PostMessageA(window, win::WM_USER + 1, 0, 0);
  win::PostMessageA(window, win::WM_USER + 2, 0, 0);
  std::thread sender([&] { win::SendMessageA(window, win::WM_USER + 3, 0, 0); });
  ASSERT_TRUE(AwaitSentMessage());
  PumpUntil([&] { return MessageLog::Get().Messages(window, win::WM_USER, win::WM_USER + 10).size() == 3; });
  sender.join();
  EXPECT_EQ(MessageLog::Get().Messages(window, win::WM_USER, win::WM_USER + 10),
            (std::vector<win::UINT>{win::WM_USER + 3, win::WM_USER + 1, win::WM_USER + 2}));
}

TEST_F(MessageTest, SameThreadSendCallsTheProcedureAtOnce) {
  const win::HWND window = Window();
  MessageLog::Get().React(window, [](win::HWND, win::UINT message, win::WPARAM wParam, win::LPARAM, bool* handled) {
    *handled = message == win::WM_USER;
    return static_cast<win::LRESULT>(wParam * 2);
  });
  win::PostMessageA(window, win::WM_USER + 1, 0, 0);
  EXPECT_EQ(win::SendMessageA(window, win::WM_USER, 21, 0), 42);
  EXPECT_EQ(MessageLog::Get().Messages(window, win::WM_USER, win::WM_USER + 10), (std::vector<win::UINT>{win::WM_USER}));
}

TEST_F(MessageTest, CrossThreadSendAnswersWithTheReceiversResult) {
  PumpingThread other;
  MessageLog::Get().React(other.window(), [](win::HWND, win::UINT message, win::WPARAM wParam, win::LPARAM, bool* handled) {
    *handled = message == win::WM_USER;
    return static_cast<win::LRESULT>(wParam + 1);
  });
  EXPECT_EQ(win::SendMessageA(other.window(), win::WM_USER, 41, 0), 42);
  const auto entries = MessageLog::Get().Entries();
  const auto it = std::find_if(entries.begin(), entries.end(), [](auto& r) { return r.message == win::WM_USER; });
  ASSERT_NE(it, entries.end());
  EXPECT_NE(it->thread, win::GetCurrentThreadId()) << "handled on the window's own thread";
}

TEST_F(MessageTest, AThreadWaitingInASendHandlesWhatIsSentToIt) {
  const win::HWND mine = Window();
  PumpingThread other;
  MessageLog::Get().React(other.window(), [mine](win::HWND, win::UINT message, win::WPARAM, win::LPARAM, bool* handled) {
    *handled = message == win::WM_USER;
    return *handled ? win::SendMessageA(mine, win::WM_USER + 1, 0, 0) + 1 : 0;
  });
  MessageLog::Get().React(mine, [](win::HWND, win::UINT message, win::WPARAM, win::LPARAM, bool* handled) {
    *handled = message == win::WM_USER + 1;
    return static_cast<win::LRESULT>(7);
  });
  EXPECT_EQ(win::SendMessageA(other.window(), win::WM_USER, 0, 0), 8);
}

TEST_F(MessageTest, TwoThreadsSendingToEachOtherAtOnceDoNotDeadlock) {
  const std::size_t others = win::ScopedFakeClock::WaitingThreads();
  const win::HWND mine = Window();
  std::atomic<win::HWND> theirs{nullptr};
  std::atomic<win::LRESULT> their_answer{0};
  std::thread other([&] {
    const win::HWND window = MakeWindow();
    MessageLog::Get().React(window, [](win::HWND, win::UINT message, win::WPARAM, win::LPARAM, bool* handled) {
      *handled = message == win::WM_USER;
      return static_cast<win::LRESULT>(2);
    });
    theirs = window;
    win::ScopedFakeClock::AwaitWaitingThreads(others + 1, kBound);  // the main thread is sending to us
    their_answer = win::SendMessageA(mine, win::WM_USER, 0, 0);
    win::DestroyWindow(window);
  });
  MessageLog::Get().React(mine, [](win::HWND, win::UINT message, win::WPARAM, win::LPARAM, bool* handled) {
    *handled = message == win::WM_USER;
    return static_cast<win::LRESULT>(1);
  });
  while (theirs.load() == nullptr) std::this_thread::yield();
  EXPECT_EQ(win::SendMessageA(theirs, win::WM_USER, 0, 0), 2);
  PumpUntil([&] { return their_answer.load() != 0; });
  other.join();
  EXPECT_EQ(their_answer.load(), 1);
}

TEST_F(MessageTest, SendMessageTimeoutIsDeliveredWhileTheReceiverPumps) {
  win::ScopedFakeClock fake;
  const win::HWND window = Window();
  MessageLog::Get().React(window, [](win::HWND, win::UINT message, win::WPARAM, win::LPARAM, bool* handled) {
    *handled = message == win::WM_USER;
    return static_cast<win::LRESULT>(99);
  });
  std::atomic<win::LRESULT> sent{-1};
  std::atomic<win::DWORD_PTR> answer{0};
  std::thread sender([&] {
    win::DWORD_PTR result = 0;
    sent = win::SendMessageTimeoutA(window, win::WM_USER, 0, 0, win::SMTO_BLOCK, 3000, &result);
    answer = result;
  });
  ASSERT_TRUE(PumpUntil([&] { return sent.load() != -1; }));
  sender.join();
  EXPECT_EQ(sent.load(), 1);
  EXPECT_EQ(answer.load(), 99u);
}

TEST_F(MessageTest, SendMessageTimeoutWithdrawsAnUnstartedMessageOnTimeOut) {
  win::ScopedFakeClock fake;
  const win::HWND window = Window();
  std::atomic<win::LRESULT> sent{-1};
  std::atomic<win::DWORD> error{0};
  std::thread sender([&] {
    win::DWORD_PTR result = 123;
    sent = win::SendMessageTimeoutA(window, win::WM_USER, 0, 0, win::SMTO_BLOCK, 3000, &result);
    error = win::GetLastError();
  });
  ASSERT_TRUE(AwaitSentMessage());
  fake.Advance(2999);
  std::this_thread::sleep_for(20ms);
  EXPECT_EQ(sent.load(), -1) << "timed out early";
  fake.Advance(1);
  sender.join();
  EXPECT_EQ(sent.load(), 0);
  EXPECT_EQ(error.load(), win::ERROR_TIMEOUT);
  PumpPending();
  EXPECT_TRUE(MessageLog::Get().Messages(window, win::WM_USER, win::WM_USER).empty()) << "delivered late";
}

TEST_F(MessageTest, SendingToABadWindowFails) {
  const win::HWND window = Window();
  win::DestroyWindow(window);
  windows_.clear();
  win::SetLastError(0);
  EXPECT_EQ(win::SendMessageA(window, win::WM_USER, 0, 0), 0);
  EXPECT_EQ(win::GetLastError(), win::ERROR_INVALID_WINDOW_HANDLE);
  EXPECT_EQ(win::PostMessageA(window, win::WM_USER, 0, 0), win::FALSE);
  win::DWORD_PTR result = 5;
  EXPECT_EQ(win::SendMessageTimeoutA(window, win::WM_USER, 0, 0, win::SMTO_BLOCK, 10, &result), 0);
}

TEST_F(MessageTest, ASendToAThreadThatEndsAnswersZero) {
  const std::size_t others = win::ScopedFakeClock::WaitingThreads();
  std::atomic<win::HWND> window{nullptr};
  std::atomic<bool> leave{false};
  std::thread owner([&] {
    window = MakeWindow();
    while (!leave) std::this_thread::yield();  // never pumps
  });
  while (window.load() == nullptr) std::this_thread::yield();
  std::atomic<win::LRESULT> answer{-1};
  std::thread sender([&] { answer = win::SendMessageA(window, win::WM_USER, 0, 0); });
  ASSERT_TRUE(win::ScopedFakeClock::AwaitWaitingThreads(others + 1, kBound));
  leave = true;
  owner.join();
  sender.join();
  EXPECT_EQ(answer.load(), 0);
  EXPECT_FALSE(win::IsWindow(window)) << "a thread's windows end with it";
}

TEST_F(MessageTest, PostQuitMessageEndsGetMessageAfterThePostedMessages) {
  const win::HWND window = Window();
  win::PostMessageA(window, win::WM_USER + 1, 0, 0);
  win::PostQuitMessage(3);
  win::PostMessageA(window, win::WM_USER + 2, 0, 0);
  win::MSG msg;
  std::vector<win::UINT> seen;
  while (win::GetMessageA(&msg, nullptr, 0, 0) > 0) {
    seen.push_back(msg.message);
    win::DispatchMessageA(&msg);
  }
  EXPECT_EQ(msg.message, win::WM_QUIT);
  EXPECT_EQ(msg.wParam, 3u);
  EXPECT_EQ(seen, (std::vector<win::UINT>{win::WM_USER + 1, win::WM_USER + 2}));
  EXPECT_FALSE(win::PeekMessageA(&msg, nullptr, 0, 0, win::PM_NOREMOVE)) << "the quit was taken";
}

TEST_F(MessageTest, GetMessageWakesForAMessagePostedFromAnotherThread) {
  const std::size_t others = win::ScopedFakeClock::WaitingThreads();
  const win::HWND window = Window();
  std::thread poster([&] {
    win::ScopedFakeClock::AwaitWaitingThreads(others + 1, kBound);
    win::PostMessageA(window, win::WM_USER, 5, 0);
  });
  win::MSG msg;
  ASSERT_EQ(win::GetMessageA(&msg, nullptr, 0, 0), win::TRUE);
  poster.join();
  EXPECT_EQ(msg.hwnd, window);
  EXPECT_EQ(msg.message, win::WM_USER);
  EXPECT_EQ(msg.wParam, 5u);
}

TEST_F(MessageTest, PeekMessageFiltersByWindowAndRange) {
  const win::HWND first = Window();
  const win::HWND second = Window();
  win::PostMessageA(first, win::WM_USER + 1, 0, 0);
  win::PostMessageA(second, win::WM_USER + 2, 0, 0);
  win::PostMessageA(nullptr, win::WM_USER + 3, 0, 0);
  win::MSG msg;
  ASSERT_TRUE(win::PeekMessageA(&msg, second, 0, 0, win::PM_REMOVE));
  EXPECT_EQ(msg.message, win::WM_USER + 2);
  ASSERT_TRUE(win::PeekMessageA(&msg, reinterpret_cast<win::HWND>(-1), 0, 0, win::PM_REMOVE));
  EXPECT_EQ(msg.message, win::WM_USER + 3);
  EXPECT_FALSE(win::PeekMessageA(&msg, nullptr, win::WM_USER + 2, win::WM_USER + 3, win::PM_REMOVE));
  ASSERT_TRUE(win::PeekMessageA(&msg, nullptr, 0, 0, win::PM_NOREMOVE));
  ASSERT_TRUE(win::PeekMessageA(&msg, nullptr, 0, 0, win::PM_REMOVE));
  EXPECT_EQ(msg.message, win::WM_USER + 1);
  EXPECT_FALSE(win::PeekMessageA(&msg, nullptr, 0, 0, win::PM_REMOVE));
  win::SetLastError(0);
  win::HWND gone = Window();
  win::DestroyWindow(gone);
  windows_.pop_back();
  EXPECT_EQ(win::GetMessageA(&msg, gone, 0, 0), -1);
  EXPECT_EQ(win::GetLastError(), win::ERROR_INVALID_WINDOW_HANDLE);
}

TEST_F(MessageTest, TranslateMessagePostsCharactersForCharacterKeys) {
  const win::HWND window = Window();
  struct Case {
    win::WPARAM key;
    win::WPARAM character;  // 0: none
  };
  for (const Case& c : {Case{'A', 'a'}, Case{'7', '7'}, Case{0x0D, 0x0D}, Case{0x20, 0x20}, Case{0x25, 0}}) {
    win::MSG key;
    key.hwnd = window;
    key.message = win::WM_KEYDOWN;
    key.wParam = c.key;
    EXPECT_EQ(win::TranslateMessage(&key), c.character ? win::TRUE : win::FALSE);
    win::MSG msg;
    if (c.character) {
      ASSERT_TRUE(win::PeekMessageA(&msg, window, 0, 0, win::PM_REMOVE));
      EXPECT_EQ(msg.message, win::WM_CHAR);
      EXPECT_EQ(msg.wParam, c.character);
    }
    EXPECT_FALSE(win::PeekMessageA(&msg, window, 0, 0, win::PM_REMOVE));
  }
}

class MsgWaitTest : public MessageTest {};

TEST_F(MsgWaitTest, EndsOnAnObjectOnNewInputOrOnTheFakeClock) {
  const std::size_t others = win::ScopedFakeClock::WaitingThreads();
  win::ScopedFakeClock fake;
  const win::ScopedHandle owned_event(win::CreateEventA(nullptr, win::FALSE, win::FALSE, nullptr));
  const win::HANDLE event = owned_event.Get();
  EXPECT_EQ(win::MsgWaitForMultipleObjects(1, &event, win::FALSE, 0, win::QS_ALLINPUT), win::WAIT_TIMEOUT);
  win::SetEvent(event);
  EXPECT_EQ(win::MsgWaitForMultipleObjects(1, &event, win::FALSE, 0, win::QS_ALLINPUT), win::WAIT_OBJECT_0);

  win::PostMessageA(nullptr, win::WM_USER, 0, 0);
  EXPECT_EQ(win::MsgWaitForMultipleObjects(1, &event, win::FALSE, 0, win::QS_ALLINPUT), win::WAIT_OBJECT_0 + 1);
  EXPECT_EQ(win::MsgWaitForMultipleObjects(1, &event, win::FALSE, 0, win::QS_SENDMESSAGE), win::WAIT_TIMEOUT)
      << "posted input does not match a sent-message mask";
  win::MSG msg;
  win::PeekMessageA(&msg, nullptr, 0, 0, win::PM_NOREMOVE);
  EXPECT_EQ(win::MsgWaitForMultipleObjects(1, &event, win::FALSE, 0, win::QS_ALLINPUT), win::WAIT_TIMEOUT)
      << "input already looked at is not new";
  PumpPending();

  std::atomic<win::DWORD> result{0xDEAD};
  std::thread waiter([&] { result = win::MsgWaitForMultipleObjects(1, &event, win::FALSE, 1000, win::QS_ALLINPUT); });
  ASSERT_TRUE(win::ScopedFakeClock::AwaitWaitingThreads(others + 1, kBound));
  fake.Advance(1000);
  waiter.join();
  EXPECT_EQ(result.load(), win::WAIT_TIMEOUT);
}

TEST_F(MsgWaitTest, AMessageSentFromAnotherThreadEndsTheWait) {
  win::ScopedFakeClock fake;
  const std::size_t others = win::ScopedFakeClock::WaitingThreads();
  const win::HWND window = Window();
  std::atomic<win::LRESULT> sent{-1};
  std::thread sender([&] {
    win::ScopedFakeClock::AwaitWaitingThreads(others + 1, kBound);
    win::DWORD_PTR result = 0;
    sent = win::SendMessageTimeoutA(window, win::WM_USER, 0, 0, win::SMTO_BLOCK, 3000, &result);
  });
  // Nothing advances the fake clock: only the sent message can end this wait.
  EXPECT_EQ(win::MsgWaitForMultipleObjects(0, nullptr, win::FALSE, 1000, win::QS_ALLINPUT), win::WAIT_OBJECT_0);
  ASSERT_TRUE(PumpUntil([&] { return sent.load() != -1; }));
  sender.join();
  EXPECT_EQ(sent.load(), 1);
}

TEST_F(MsgWaitTest, ALoopOfWaitsAndPeeksWakesForEverySend) {
  const win::HWND window = Window();
  constexpr int kSends = 20;
  std::atomic<int> answered{0};
  std::thread sender([&] {
    for (int i = 0; i < kSends; ++i) {
      win::DWORD_PTR result = 0;
      if (win::SendMessageTimeoutA(window, win::WM_USER, 0, 0, win::SMTO_BLOCK, 3000, &result)) ++answered;
    }
  });
  auto handled = [&] { return MessageLog::Get().Messages(window, win::WM_USER, win::WM_USER).size(); };
  int timed_out = 0;
  const auto until = std::chrono::steady_clock::now() + kBound;
  while (handled() < kSends && std::chrono::steady_clock::now() < until) {
    if (win::MsgWaitForMultipleObjects(0, nullptr, win::FALSE, 2000, win::QS_ALLINPUT) == win::WAIT_TIMEOUT)
      ++timed_out;
    win::MSG msg;
    while (win::PeekMessageA(&msg, nullptr, 0, 0, win::PM_REMOVE)) win::DispatchMessageA(&msg);
  }
  sender.join();
  EXPECT_EQ(answered.load(), kSends);
  EXPECT_EQ(timed_out, 0) << "a wait slept through a message sent to this thread";
}

TEST_F(MsgWaitTest, RetrievalHookRunsWhenTheThreadRetrievesOrIsWoken) {
  const std::size_t others = win::ScopedFakeClock::WaitingThreads();
  std::atomic<int> runs{0};
  win::SetMessageRetrievalHook([&] { ++runs; });
  win::MSG msg;
  win::PeekMessageA(&msg, nullptr, 0, 0, win::PM_NOREMOVE);
  EXPECT_EQ(runs.load(), 0) << "looking without removing does not run it";
  win::PeekMessageA(&msg, nullptr, 0, 0, win::PM_REMOVE);
  EXPECT_EQ(runs.load(), 1);
  const win::HWND window = Window();
  const auto waker = win::CurrentThreadWaker();
  std::thread other([&] {
    win::ScopedFakeClock::AwaitWaitingThreads(others + 1, kBound);
    const int before = runs.load();
    waker->Wake();
    const auto until = std::chrono::steady_clock::now() + kBound;
    while (runs.load() == before && std::chrono::steady_clock::now() < until) std::this_thread::yield();
    win::PostMessageA(window, win::WM_USER, 0, 0);
  });
  ASSERT_EQ(win::GetMessageA(&msg, nullptr, 0, 0), win::TRUE);
  other.join();
  EXPECT_GE(runs.load(), 3);
  win::SetMessageRetrievalHook(nullptr);
}

}  // namespace
