// Events and waits: auto and manual reset, wait-for-all, cross-thread wakes, timeouts, bad arguments.
#include "platform/core/clock.h"
#include "platform/core/errors.h"
#include "platform/core/handles.h"
#include "platform/core/sync.h"
#include "platform/core/wait.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;
constexpr auto kBound = 5s;

class EventTest : public ::testing::Test {
 protected:
  win::HANDLE Make(bool manual, bool initial) {
    const win::HANDLE handle = win::CreateEventA(nullptr, manual, initial, nullptr);
    EXPECT_NE(handle, nullptr);
    handles_.emplace_back(handle);
    return handle;
  }
  std::vector<win::ScopedHandle> handles_;
};

TEST_F(EventTest, AutoResetReleasesOneWaitManualResetStaysSet) {
  const win::HANDLE handles[] = {Make(false, false), Make(true, false)};
  const win::HANDLE automatic = handles[0];
  const win::HANDLE manual = handles[1];

  EXPECT_EQ(win::WaitForMultipleObjects(2, handles, win::FALSE, 0), win::WAIT_TIMEOUT);
  win::SetEvent(manual);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(win::WaitForMultipleObjects(2, handles, win::FALSE, 0), win::WAIT_OBJECT_0 + 1);
  win::SetEvent(automatic);
  win::SetEvent(automatic);  // setting a set event changes nothing
  EXPECT_EQ(win::WaitForMultipleObjects(2, handles, win::FALSE, 0), win::WAIT_OBJECT_0) << "lowest index first";
  EXPECT_EQ(win::WaitForSingleObject(automatic, 0), win::WAIT_TIMEOUT) << "auto-reset event consumed";
  win::ResetEvent(manual);
  EXPECT_EQ(win::WaitForSingleObject(manual, 0), win::WAIT_TIMEOUT);
}

TEST_F(EventTest, WaitForAllTakesNothingUntilEveryObjectIsSignalled) {
  const win::HANDLE handles[] = {Make(false, true), Make(true, false)};
  EXPECT_EQ(win::WaitForMultipleObjects(2, handles, win::TRUE, 0), win::WAIT_TIMEOUT);
  EXPECT_EQ(win::WaitForSingleObject(handles[0], 0), win::WAIT_OBJECT_0) << "a failed wait-all left the auto event set";
  win::SetEvent(handles[0]);
  win::SetEvent(handles[1]);
  EXPECT_EQ(win::WaitForMultipleObjects(2, handles, win::TRUE, 0), win::WAIT_OBJECT_0);
  EXPECT_EQ(win::WaitForSingleObject(handles[0], 0), win::WAIT_TIMEOUT);
  EXPECT_EQ(win::WaitForSingleObject(handles[1], 0), win::WAIT_OBJECT_0);
}

TEST_F(EventTest, InitialStateIsHonoured) {
  EXPECT_EQ(win::WaitForSingleObject(Make(false, true), 0), win::WAIT_OBJECT_0);
  EXPECT_EQ(win::WaitForSingleObject(Make(true, true), 0), win::WAIT_OBJECT_0);
}

TEST_F(EventTest, AnotherThreadsSetWakesTheWaiter) {
  const std::size_t others = win::ScopedFakeClock::WaitingThreads();
  const win::HANDLE event = Make(false, false);
  std::thread setter([&] {
    win::ScopedFakeClock::AwaitWaitingThreads(others + 1, kBound);
    win::SetEvent(event);
  });
  EXPECT_EQ(win::WaitForSingleObject(event, 5000), win::WAIT_OBJECT_0);
  setter.join();
}

TEST_F(EventTest, TimedWaitEndsWhenTheFakeClockPassesItsDeadline) {
  const std::size_t others = win::ScopedFakeClock::WaitingThreads();
  win::ScopedFakeClock fake;
  const win::HANDLE handles[] = {Make(false, false), Make(true, false)};
  std::atomic<win::DWORD> result{0xDEAD};
  std::thread waiter([&] { result = win::WaitForMultipleObjects(2, handles, win::FALSE, 500); });
  ASSERT_TRUE(win::ScopedFakeClock::AwaitWaitingThreads(others + 1, kBound));
  fake.Advance(499);
  std::this_thread::sleep_for(20ms);
  EXPECT_EQ(result.load(), 0xDEADu);
  fake.Advance(1);
  waiter.join();
  EXPECT_EQ(result.load(), win::WAIT_TIMEOUT);
}

TEST_F(EventTest, OneSetReleasesExactlyOneOfTwoWaitersOnAnAutoResetEvent) {
  const std::size_t others = win::ScopedFakeClock::WaitingThreads();
  win::ScopedFakeClock fake;
  const win::HANDLE event = Make(false, false);
  std::atomic<int> released{0};
  std::atomic<int> timed_out{0};
  auto wait = [&] { (win::WaitForSingleObject(event, 1000) == win::WAIT_OBJECT_0 ? released : timed_out)++; };
  std::thread first(wait), second(wait);
  ASSERT_TRUE(win::ScopedFakeClock::AwaitWaitingThreads(others + 2, kBound));
  win::SetEvent(event);
  const auto until = std::chrono::steady_clock::now() + kBound;
  while (released.load() == 0 && std::chrono::steady_clock::now() < until) std::this_thread::sleep_for(1ms);
  fake.Advance(1000);
  first.join();
  second.join();
  EXPECT_EQ(released.load(), 1);
  EXPECT_EQ(timed_out.load(), 1);
}

TEST_F(EventTest, BadArgumentsFailWithTheirErrors) {
  const win::HANDLE event = Make(true, true);
  struct Case {
    win::DWORD count;
    const win::HANDLE* handles;
    win::DWORD error;
  };
  const win::HANDLE closed = win::CreateEventA(nullptr, win::TRUE, win::TRUE, nullptr);
  win::CloseHandle(closed);
  const win::HANDLE mixed[] = {event, closed};
  const std::vector<win::HANDLE> too_many(win::MAXIMUM_WAIT_OBJECTS + 1, event);
  const Case cases[] = {
      {0, &event, win::ERROR_INVALID_PARAMETER},
      {win::MAXIMUM_WAIT_OBJECTS + 1, too_many.data(), win::ERROR_INVALID_PARAMETER},
      {1, nullptr, win::ERROR_INVALID_PARAMETER},
      {2, mixed, win::ERROR_INVALID_HANDLE},
      {1, &win::INVALID_HANDLE_VALUE, win::ERROR_INVALID_HANDLE},
  };
  for (const Case& c : cases) {
    win::SetLastError(0);
    EXPECT_EQ(win::WaitForMultipleObjects(c.count, c.handles, win::FALSE, 0), win::WAIT_FAILED);
    EXPECT_EQ(win::GetLastError(), c.error);
  }
  EXPECT_EQ(win::SetEvent(closed), win::FALSE);
  EXPECT_EQ(win::CreateEventA(nullptr, win::TRUE, win::FALSE, "named"), nullptr);
  EXPECT_EQ(win::GetLastError(), win::ERROR_INVALID_PARAMETER);
}

// Another area's object kind: signalled while its pipe holds data, the way a device is.
class PipeObject : public win::KernelObject, public win::Waitable {
 public:
  PipeObject() {
    if (pipe2(fds_, O_NONBLOCK | O_CLOEXEC) != 0) throw std::runtime_error("pipe");
  }
  ~PipeObject() override {
    close(fds_[0]);
    close(fds_[1]);
  }
  int WaitDescriptor() const override { return fds_[0]; }
  bool IsSignalled() const override {
    int available = 0;
    return ioctl(fds_[0], FIONREAD, &available) == 0 && available > 0;
  }
  void Acquire() override {
    char byte;
    [[maybe_unused]] ssize_t got = read(fds_[0], &byte, 1);
  }
  void Feed() { [[maybe_unused]] ssize_t put = write(fds_[1], "x", 1); }

 private:
  int fds_[2];
};

TEST_F(EventTest, OtherAreasRegisterTheirOwnWaitableKinds) {
  const std::size_t others = win::ScopedFakeClock::WaitingThreads();
  auto pipe_object = std::make_shared<PipeObject>();
  PipeObject* raw = pipe_object.get();
  const win::HANDLE handles[] = {Make(false, false), win::InsertHandle(pipe_object)};
  std::thread feeder([&] {
    win::ScopedFakeClock::AwaitWaitingThreads(others + 1, kBound);
    raw->Feed();
  });
  EXPECT_EQ(win::WaitForMultipleObjects(2, handles, win::FALSE, 5000), win::WAIT_OBJECT_0 + 1);
  feeder.join();
  EXPECT_EQ(win::WaitForSingleObject(handles[1], 0), win::WAIT_TIMEOUT) << "the byte was taken";
  win::CloseHandle(handles[1]);
}

TEST(CriticalSection, IsRecursiveAndExcludesOtherThreads) {
  win::CRITICAL_SECTION section;
  win::InitializeCriticalSection(&section);
  win::EnterCriticalSection(&section);
  EXPECT_EQ(win::TryEnterCriticalSection(&section), win::TRUE);
  win::BOOL other_got_in = win::TRUE;
  std::thread([&] { other_got_in = win::TryEnterCriticalSection(&section); }).join();
  EXPECT_EQ(other_got_in, win::FALSE);
  win::LeaveCriticalSection(&section);
  win::LeaveCriticalSection(&section);
  std::thread([&] {
    other_got_in = win::TryEnterCriticalSection(&section);
    if (other_got_in) win::LeaveCriticalSection(&section);
  }).join();
  EXPECT_EQ(other_got_in, win::TRUE);
  win::DeleteCriticalSection(&section);
}

TEST(Interlocked, AnswersLikeThePlatformAndCountsUnderContention) {
  win::LONG value = 5;
  EXPECT_EQ(win::InterlockedIncrement(&value), 6);
  EXPECT_EQ(win::InterlockedDecrement(&value), 5);
  EXPECT_EQ(win::InterlockedExchangeAdd(&value, 10), 5);
  EXPECT_EQ(value, 15);
  EXPECT_EQ(win::InterlockedExchange(&value, 3), 15);
  EXPECT_EQ(win::InterlockedCompareExchange(&value, 9, 4), 3) << "no swap on mismatch";
  EXPECT_EQ(value, 3);
  EXPECT_EQ(win::InterlockedCompareExchange(&value, 9, 3), 3);
  EXPECT_EQ(value, 9);

  win::LONG counter = 0;
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&] {
      for (int i = 0; i < 10000; ++i) win::InterlockedIncrement(&counter);
    });
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(counter, 40000);
}

}  // namespace
