#include "platform/dshow/engine_worker.h"

#include <utility>

namespace win::gst {

EngineWorker::EngineWorker() : queue_(std::make_shared<Queue>()) {
  thread_ = std::thread([queue = queue_] { Loop(queue); });
}

EngineWorker::~EngineWorker() {
  {
    std::lock_guard<std::mutex> guard(queue_->lock);
    queue_->stop = true;
    queue_->changed.notify_all();
  }
  if (OnWorkerThread()) {
    thread_.detach();
  } else {
    thread_.join();
  }
}

void EngineWorker::Loop(const std::shared_ptr<Queue>& queue) {
  std::unique_lock<std::mutex> guard(queue->lock);
  for (;;) {
    queue->changed.wait(guard, [&] { return queue->stop || !queue->jobs.empty(); });
    if (queue->jobs.empty()) return;  // stopped with nothing left to do
    Job job = std::move(queue->jobs.front());
    queue->jobs.pop_front();
    queue->running_job = true;
    guard.unlock();
    job.run();
    job.run = nullptr;  // what the job holds goes before the caller hears it is done
    guard.lock();
    queue->running_job = false;
    if (job.done) *job.done = true;
    queue->changed.notify_all();
  }
}

void EngineWorker::Enqueue(Job job) {
  std::lock_guard<std::mutex> guard(queue_->lock);
  queue_->jobs.push_back(std::move(job));
  queue_->changed.notify_all();
}

void EngineWorker::Post(std::function<void()> job) { Enqueue(Job{std::move(job), nullptr}); }

bool EngineWorker::Call(std::function<void()> job, std::optional<std::chrono::milliseconds> limit) {
  if (OnWorkerThread()) {
    job();
    return true;
  }
  // The flag outlives this call: a late job still sets it.
  auto done = std::make_shared<bool>(false);
  Enqueue(Job{std::move(job), done});
  std::unique_lock<std::mutex> guard(queue_->lock);
  if (!limit) {
    queue_->changed.wait(guard, [&] { return *done; });
    return true;
  }
  return queue_->changed.wait_for(guard, *limit, [&] { return *done; });
}

bool EngineWorker::Busy() const {
  std::lock_guard<std::mutex> guard(queue_->lock);
  return queue_->running_job || !queue_->jobs.empty();
}

}  // namespace win::gst
