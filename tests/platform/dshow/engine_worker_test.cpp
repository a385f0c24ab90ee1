// The engine worker: jobs in order, bounded waits that leave late jobs to finish, and an owner
// freed by its own worker's job.
#include "platform/dshow/engine_worker.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <memory>
#include <vector>

namespace win::gst {
namespace {

using namespace std::chrono_literals;

TEST(EngineWorkerTest, RunsJobsInTheOrderGivenAndWaitsForACall) {
  EngineWorker worker;
  std::vector<int> order;  // touched only by the worker until the call returns
  worker.Post([&] { order.push_back(1); });
  worker.Post([&] { order.push_back(2); });
  EXPECT_TRUE(worker.Call([&] { order.push_back(3); }, 10s));
  EXPECT_EQ(order, (std::vector<int>{1, 2, 3}));
  EXPECT_FALSE(worker.Busy());
}

TEST(EngineWorkerTest, ACallPastItsLimitAnswersFalseAndTheJobStillFinishes) {
  EngineWorker worker;
  std::promise<void> release;
  std::shared_future<void> released = release.get_future().share();
  auto finished = std::make_shared<std::atomic<bool>>(false);
  EXPECT_FALSE(worker.Call([released, finished] {
    released.wait();
    *finished = true;
  }, 20ms));
  EXPECT_TRUE(worker.Busy());
  // A later call queues behind the held job and is bounded too.
  EXPECT_FALSE(worker.Call([] {}, 20ms));
  release.set_value();
  EXPECT_TRUE(worker.Call([] {}, 10s));
  EXPECT_TRUE(*finished);
}

TEST(EngineWorkerTest, ACallWithoutALimitWaitsForTheJob) {
  EngineWorker worker;
  bool ran = false;
  EXPECT_TRUE(worker.Call([&] { ran = true; }, std::nullopt));
  EXPECT_TRUE(ran);
}

TEST(EngineWorkerTest, AJobMayFreeTheObjectThatOwnsTheWorker) {
  struct Owner {
    EngineWorker worker;
  };
  auto* owner = new Owner;
  std::promise<void> freed;
  std::future<void> done = freed.get_future();
  owner->worker.Post([owner, &freed] {
    delete owner;  // the worker's thread lets itself end
    freed.set_value();
  });
  EXPECT_EQ(done.wait_for(10s), std::future_status::ready);
}

TEST(EngineWorkerTest, FreeingTheWorkerFinishesTheQueuedJobs) {
  std::atomic<int> ran{0};
  {
    EngineWorker worker;
    for (int i = 0; i < 3; ++i) worker.Post([&] { ++ran; });
  }
  EXPECT_EQ(ran.load(), 3);
}

}  // namespace
}  // namespace win::gst
