// Threads: Synchronize and Queue, OnTerminate, exceptions, FreeOnTerminate, destruction.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "classlib/forms.h"
#include "classlib/threads.h"
#include "platform/core/process.h"

namespace dashtune {
namespace {

using namespace std::chrono_literals;

// Runs the main thread's synchronisation until Done holds or five real seconds pass.
bool SynchronizeUntil(const std::function<bool()>& done) {
  auto deadline = std::chrono::steady_clock::now() + 5s;
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    if (!CheckSynchronize()) std::this_thread::yield();
  }
  return true;
}

// A thread that runs a given body.
class TBodyThread : public TThread {
 public:
  TBodyThread(bool suspended, std::function<void(TBodyThread&)> body)
      : TThread(suspended), body_(std::move(body)) {}
  using TThread::Queue;
  using TThread::SetReturnValue;
  using TThread::Synchronize;

 protected:
  void Execute() override { body_(*this); }

 private:
  std::function<void(TBodyThread&)> body_;
};

TEST(ThreadTest, SynchronizeCompletesOnlyWhenTheMainThreadRunsIt) {
  std::atomic<bool> asking{false};
  std::atomic<bool> answered{false};
  std::thread::id ran_on;
  std::atomic<win::DWORD> worker_id{0};
  std::unique_ptr<TBodyThread> worker(Create<TBodyThread>(false, [&](TBodyThread& self) {
    worker_id = win::GetCurrentThreadId();
    asking = true;
    self.Synchronize([&] { ran_on = std::this_thread::get_id(); });
    answered = true;
  }));
  auto deadline = std::chrono::steady_clock::now() + 5s;
  while (!asking && std::chrono::steady_clock::now() < deadline) std::this_thread::yield();
  ASSERT_TRUE(asking);
  // Without the main thread running the synchronisation, the worker stays inside Synchronize.
  for (int i = 0; i < 1000; ++i) std::this_thread::yield();
  EXPECT_FALSE(answered);
  ASSERT_TRUE(SynchronizeUntil([&] { return answered.load(); }));
  EXPECT_EQ(ran_on, std::this_thread::get_id());
  EXPECT_EQ(worker->GetThreadID(), worker_id.load());
  EXPECT_NE(worker_id.load(), win::GetCurrentThreadId());
  worker->WaitFor();
}

TEST(ThreadTest, OnTerminateRunsOnTheMainThreadDuringWaitFor) {
  std::vector<std::string> log;  // touched only on the main thread
  std::unique_ptr<TBodyThread> worker(new TBodyThread(true, [&](TBodyThread& self) {
    for (int i = 0; i < 3; ++i) self.Synchronize([&log, i] { log.push_back("sync " + std::to_string(i)); });
    self.SetReturnValue(42);
  }));
  worker->OnTerminate = [&](TObject* sender) {
    EXPECT_EQ(sender, worker.get());
    EXPECT_TRUE(IsMainThread());
    log.push_back("terminate");
  };
  EXPECT_TRUE(worker->GetSuspended());
  worker->Resume();
  EXPECT_EQ(worker->WaitFor(), 42);
  EXPECT_TRUE(worker->GetFinished());
  EXPECT_EQ(log, (std::vector<std::string>{"sync 0", "sync 1", "sync 2", "terminate"}));
}

TEST(ThreadTest, QueueDoesNotWaitAndKeepsOrderWithSynchronize) {
  std::vector<int> order;
  std::atomic<bool> queued_returned{false};
  std::unique_ptr<TBodyThread> worker(Create<TBodyThread>(false, [&](TBodyThread& self) {
    self.Queue([&] { order.push_back(1); });
    self.Queue([&] { order.push_back(2); });
    queued_returned = true;
    self.Synchronize([&] { order.push_back(3); });
  }));
  worker->WaitFor();
  EXPECT_TRUE(queued_returned);
  EXPECT_EQ(order, (std::vector<int>{1, 2, 3}));
}

TEST(ThreadTest, SynchronizedExceptionReturnsToTheWorker) {
  std::string caught;
  std::unique_ptr<TBodyThread> worker(Create<TBodyThread>(false, [&](TBodyThread& self) {
    try {
      self.Synchronize([] { throw EConvertError("bad value"); });
    } catch (const EConvertError& e) {
      caught = e.GetMessage();
    }
  }));
  worker->WaitFor();
  EXPECT_EQ(caught, "bad value");
  EXPECT_FALSE(worker->GetFatalException());
}

TEST(ThreadTest, EscapingExceptionIsKeptAsFatalException) {
  std::unique_ptr<TBodyThread> worker(Create<TBodyThread>(false, [](TBodyThread&) { throw EInOutError("Gerät fehlt", 2); }));
  worker->WaitFor();
  std::exception_ptr fatal = worker->GetFatalException();
  ASSERT_TRUE(fatal);
  try {
    std::rethrow_exception(fatal);
  } catch (const EInOutError& e) {
    EXPECT_EQ(e.ErrorCode, 2);
  }
}

TEST(ThreadTest, FreeOnTerminateFreesTheThreadAfterOnTerminate) {
  struct TSelfFreeing : TBodyThread {
    TSelfFreeing(std::atomic<bool>& freed, std::function<void(TBodyThread&)> body)
        : TBodyThread(true, std::move(body)), freed_(freed) {}
    ~TSelfFreeing() override { freed_ = true; }
    std::atomic<bool>& freed_;
  };
  std::atomic<bool> freed{false};
  bool terminated_seen = false;
  auto* worker = new TSelfFreeing(freed, [](TBodyThread&) {});
  worker->SetFreeOnTerminate(true);
  worker->OnTerminate = [&](TObject*) { terminated_seen = !freed; };
  worker->Resume();
  ASSERT_TRUE(SynchronizeUntil([&] { return freed.load(); }));
  EXPECT_TRUE(terminated_seen);
}

// A thread that frees itself and says so on the standard error, a little after it was asked.
struct TLateFreeing : TBodyThread {
  explicit TLateFreeing(std::function<void(TBodyThread&)> body) : TBodyThread(true, std::move(body)) {
    SetFreeOnTerminate(true);
  }
  ~TLateFreeing() override {
    std::this_thread::sleep_for(50ms);
    std::fputs("thread freed\n", stderr);
  }
};

TEST(ThreadTest, ProgramEndStopsAndWaitsForThreadsThatFreeThemselves) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        // One asked to stop at the end, one that hands the main thread its OnTerminate.
        auto* looping = new TLateFreeing([](TBodyThread& self) {
          while (!self.GetTerminated()) std::this_thread::sleep_for(1ms);
        });
        looping->Resume();
        auto* synchronising = new TLateFreeing([](TBodyThread&) {});
        synchronising->OnTerminate = [](TObject*) {};
        synchronising->Resume();
        std::exit(0);
      },
      ::testing::ExitedWithCode(0), "thread freed.*thread freed");
}

TEST(ThreadTest, ThreadsFreedOneAfterAnotherAllEnd) {
  std::atomic<int> freed{0};
  struct TCounted : TBodyThread {
    explicit TCounted(std::atomic<int>& freed) : TBodyThread(true, [](TBodyThread&) {}), freed_(freed) {}
    ~TCounted() override { ++freed_; }
    std::atomic<int>& freed_;
  };
  for (int i = 0; i < 20; ++i) {
    auto* worker = new TCounted(freed);
    worker->SetFreeOnTerminate(true);
    worker->Resume();
  }
  ASSERT_TRUE(SynchronizeUntil([&] { return freed.load() == 20; }));
}

TEST(ThreadTest, DeletingARunningThreadTerminatesAndWaits) {
  std::atomic<bool> running{false};
  std::atomic<bool> left{false};
  auto* worker = Create<TBodyThread>(false, [&](TBodyThread& self) {
    running = true;
    while (!self.GetTerminated()) std::this_thread::yield();
    left = true;
  });
  auto deadline = std::chrono::steady_clock::now() + 5s;
  while (!running && std::chrono::steady_clock::now() < deadline) std::this_thread::yield();
  ASSERT_TRUE(running);
  delete worker;
  EXPECT_TRUE(left);
}

TEST(ThreadTest, ThreadNeverStartedRunsNothing) {
  bool ran = false;
  auto* worker = new TBodyThread(true, [&](TBodyThread&) { ran = true; });
  EXPECT_EQ(worker->WaitFor(), 0);
  delete worker;
  EXPECT_FALSE(ran);
}

TEST(ThreadTest, TerminatedBeforeStartSkipsExecute) {
  bool ran = false;
  std::unique_ptr<TBodyThread> worker(new TBodyThread(true, [&](TBodyThread&) { ran = true; }));
  worker->Terminate();
  worker->Resume();
  worker->WaitFor();
  EXPECT_FALSE(ran);
}

TEST(ThreadTest, WaitingForItselfRaises) {
  std::string message;
  std::unique_ptr<TBodyThread> worker(Create<TBodyThread>(false, [&](TBodyThread& self) {
    try {
      self.WaitFor();
    } catch (const EThread& e) {
      message = e.GetMessage();
    }
  }));
  worker->WaitFor();
  EXPECT_EQ(message, "Ein Thread kann nicht auf sein eigenes Ende warten");
}

TEST(ThreadTest, PriorityIsKept) {
  std::atomic<bool> go{false};
  std::unique_ptr<TBodyThread> worker(Create<TBodyThread>(false, [&](TBodyThread&) {
    while (!go) std::this_thread::yield();
  }));
  worker->SetPriority(tpLower);
  EXPECT_EQ(worker->GetPriority(), tpLower);
  go = true;
  worker->WaitFor();
}

TEST(ThreadTest, SynchronizeOnTheMainThreadRunsAtOnce) {
  int calls = 0;
  TThread::Synchronize(nullptr, [&] { ++calls; });
  TThread::Queue(nullptr, [&] { ++calls; });
  EXPECT_EQ(calls, 2);
  EXPECT_FALSE(CheckSynchronize());
}

}  // namespace
}  // namespace dashtune
