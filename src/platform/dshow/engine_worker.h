// A thread that makes the engine's blocking calls (state changes, seeks, teardown) for a caller
// that must not wait longer than a bound. Jobs run one at a time, in the order given; a caller
// whose job is not done in time gets its answer and the job finishes later, unobserved.
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

namespace win::gst {

class EngineWorker {
 public:
  EngineWorker();
  // Joins the thread once the queued jobs are done; on the worker's own thread (a job that frees
  // its owner) it lets the thread end by itself instead.
  ~EngineWorker();
  EngineWorker(const EngineWorker&) = delete;
  EngineWorker& operator=(const EngineWorker&) = delete;

  // Runs `job` on the worker and waits at most `limit` (none: as long as it takes) for it. True
  // when it finished in time.
  bool Call(std::function<void()> job, std::optional<std::chrono::milliseconds> limit);
  // Queues `job` without waiting.
  void Post(std::function<void()> job);
  // True while a job queued earlier has not finished.
  bool Busy() const;
  bool OnWorkerThread() const { return std::this_thread::get_id() == thread_.get_id(); }

 private:
  struct Job {
    std::function<void()> run;
    std::shared_ptr<bool> done;  // set under the lock once the job has finished; may be null
  };
  struct Queue {
    std::mutex lock;
    std::condition_variable changed;
    std::deque<Job> jobs;
    bool running_job = false;
    bool stop = false;
  };
  static void Loop(const std::shared_ptr<Queue>& queue);
  void Enqueue(Job job);

  // Shared with the thread, which may outlive this object when a job frees it.
  std::shared_ptr<Queue> queue_;
  std::thread thread_;
};

}  // namespace win::gst
