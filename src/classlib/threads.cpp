#include "classlib/threads.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <deque>
#include <memory>
#include <system_error>
#include <unordered_set>
#include <utility>

#include "classlib/forms.h"
#include "platform/core/process.h"
#include "platform/core/wait.h"
#include "platform/user/messages.h"

namespace dashtune {
namespace {

// One call handed to the main thread.
struct SyncRequest {
  TThreadMethod method;
  bool wait = false;             // Synchronize (the caller waits) rather than Queue
  bool done = false;             // guarded by SyncState::lock
  std::exception_ptr exception;  // of a synchronised call, for its caller
};

// Everything threads wait on: the calls for the main thread and the end of threads. One lock
// and one condition keep the waits simple; the traffic is low (one wake-up per handed call or
// thread end).
struct SyncState {
  std::mutex lock;
  std::condition_variable changed;
  std::deque<std::shared_ptr<SyncRequest>> queue;
  std::function<void()> wake;
  // Threads that run, and those that free themselves until they are freed.
  std::unordered_set<TThread*> running;
  // The system thread of the last object that was freed on its own thread, still returning:
  // joined by the next such thread, or at the program's end.
  std::thread freed_last;
};

SyncState& Sync() {
  // Never destroyed: a thread that frees itself may still use it while the program ends.
  static SyncState& state = *new SyncState;
  return state;
}

// How long the program's end waits for threads that free themselves.
constexpr auto kEndOfProgramWait = std::chrono::seconds(5);

bool FreesItselfElsewhere(TThread* thread) {
  return thread->GetFreeOnTerminate() && thread->GetThreadID() != win::GetCurrentThreadId();
}

// Run at the program's end, before the static objects that a thread may still use are destroyed:
// threads that free themselves are asked to stop and get a bounded time to end (the main thread
// runs the calls they hand it meanwhile); then the last of them is joined.
void EndSelfFreeingThreads() {
  SyncState& state = Sync();
  const auto deadline = std::chrono::steady_clock::now() + kEndOfProgramWait;
  std::unique_lock lock(state.lock);
  for (;;) {
    bool waiting = false;
    for (TThread* thread : state.running) {
      if (!FreesItselfElsewhere(thread)) continue;
      thread->Terminate();
      waiting = true;
    }
    if (!waiting) break;
    if (IsMainThread() && !state.queue.empty()) {
      lock.unlock();
      CheckSynchronize();
      lock.lock();
      continue;
    }
    if (state.changed.wait_until(lock, deadline) == std::cv_status::timeout) return;
  }
  std::thread last = std::move(state.freed_last);
  lock.unlock();
  if (last.joinable()) last.join();
}

std::atomic<std::thread::id> main_thread_id{std::this_thread::get_id()};

void Hand(const std::shared_ptr<SyncRequest>& request) {
  SyncState& state = Sync();
  std::function<void()> wake;
  {
    std::lock_guard guard(state.lock);
    state.queue.push_back(request);
    wake = state.wake;
  }
  state.changed.notify_all();
  if (wake) wake();
}

int NiceOf(TThreadPriority priority) {
  static constexpr int kNice[] = {19, 10, 5, 0, -5, -10, -20};
  return kNice[static_cast<int>(priority)];
}

// Shows an exception that ended a thread through the application's exception display.
void ShowThreadException(const std::exception_ptr& exception) { ShowException(exception); }

}  // namespace

std::thread::id MainThreadID() { return main_thread_id.load(); }
void SetMainThreadID(std::thread::id id) { main_thread_id.store(id); }
bool IsMainThread() { return std::this_thread::get_id() == MainThreadID(); }

void SetWakeMainThread(std::function<void()> wake) {
  SyncState& state = Sync();
  std::lock_guard guard(state.lock);
  state.wake = std::move(wake);
}

bool CheckSynchronize() {
  if (!IsMainThread()) return false;
  SyncState& state = Sync();
  std::deque<std::shared_ptr<SyncRequest>> calls;
  {
    std::lock_guard guard(state.lock);
    calls.swap(state.queue);
  }
  for (const std::shared_ptr<SyncRequest>& call : calls) {
    try {
      call->method();
    } catch (...) {
      if (call->wait) {
        call->exception = std::current_exception();
      } else if (Application) {
        Application->HandleException(nullptr);
      }
    }
    if (call->wait) {
      {
        std::lock_guard guard(state.lock);
        call->done = true;
      }
      state.changed.notify_all();
    }
  }
  return !calls.empty();
}

TThread::TThread(bool CreateSuspended) : create_suspended_(CreateSuspended) {}

TThread::~TThread() { StopAndWait(); }

void TThread::AfterConstruction() {
  if (!create_suspended_) Resume();
}

void TThread::BeforeDestruction() { StopAndWait(); }

void TThread::StopAndWait() {
  bool running;
  {
    std::lock_guard guard(Sync().lock);
    running = started_ && !finished_;
  }
  if (running && thread_.get_id() != std::this_thread::get_id()) {
    Terminate();
    WaitFor();
  }
  if (!thread_.joinable()) return;
  SyncState& state = Sync();
  if (thread_.get_id() != std::this_thread::get_id()) {
    thread_.join();
    return;
  }
  // Freed on its own thread, which still has to return: the next thread freed so, or the
  // program's end, joins it. The one before is joined here.
  std::thread previous;
  {
    std::lock_guard guard(state.lock);
    previous = std::exchange(state.freed_last, std::move(thread_));
    state.running.erase(this);
  }
  state.changed.notify_all();
  if (previous.joinable()) previous.join();
}

void TThread::Resume() {
  static const bool ends_with_the_program = (std::atexit(EndSelfFreeingThreads), true);
  (void)ends_with_the_program;
  SyncState& state = Sync();
  // The new thread takes the lock first thing, so it cannot run before thread_ is assigned.
  std::lock_guard guard(state.lock);
  if (started_) return;
  try {
    thread_ = std::thread([this] { Run(); });
  } catch (const std::system_error& error) {
    throw EThread(sysconst::SThreadCreateError, {error.what()});
  }
  started_ = true;
  state.running.insert(this);
}

bool TThread::GetSuspended() const {
  std::lock_guard guard(Sync().lock);
  return !started_;
}

bool TThread::GetFinished() const {
  std::lock_guard guard(Sync().lock);
  return finished_;
}

void TThread::Terminate() { terminated_.store(true, std::memory_order_release); }

std::exception_ptr TThread::GetFatalException() const {
  std::lock_guard guard(Sync().lock);
  return fatal_exception_;
}

void TThread::SetPriority(TThreadPriority value) {
  priority_.store(value);
  ApplyPriority();
}

void TThread::ApplyPriority() {
  int id = system_id_.load();
  if (id != 0) ::setpriority(PRIO_PROCESS, static_cast<id_t>(id), NiceOf(priority_.load()));
}

void TThread::Run() {
  { std::lock_guard guard(Sync().lock); }  // wait until Resume has stored the thread
  system_id_.store(static_cast<int>(::syscall(SYS_gettid)));
  thread_id_.store(win::GetCurrentThreadId());
  if (GetPriority() != tpNormal) ApplyPriority();
  std::exception_ptr fatal;
  try {
    if (!GetTerminated()) Execute();
  } catch (...) {
    fatal = std::current_exception();
  }
  if (fatal) {
    {
      std::lock_guard guard(Sync().lock);
      fatal_exception_ = fatal;
    }
    ShowThreadException(fatal);
  }
  try {
    DoTerminate();
  } catch (...) {
    ShowThreadException(std::current_exception());
  }
  system_id_.store(0);
  bool free_self = GetFreeOnTerminate();
  SyncState& state = Sync();
  std::function<void()> wake;
  {
    std::lock_guard guard(state.lock);
    finished_ = true;
    // A thread that frees itself stays until it is freed; the program's end waits for that.
    if (!free_self) state.running.erase(this);
    wake = state.wake;
  }
  state.changed.notify_all();
  if (wake) wake();  // the main thread may be waiting for this thread
  // From here on a waiting thread may free this object, unless it frees itself.
  if (free_self) delete this;
}

void TThread::DoTerminate() {
  if (OnTerminate) Synchronize([this] { OnTerminate(this); });
}

int TThread::WaitFor() {
  SyncState& state = Sync();
  {
    std::unique_lock lock(state.lock);
    if (thread_.get_id() == std::this_thread::get_id()) throw EThread(std::string(sysconst::SThreadWaitForSelf));
    if (!IsMainThread() || !state.wake) {
      // Without a message layer to wake it, the main thread waits here and runs the handed calls.
      while (started_ && !finished_) {
        if (IsMainThread() && !state.queue.empty()) {
          lock.unlock();
          CheckSynchronize();
          lock.lock();
          continue;
        }
        state.changed.wait(lock);
      }
      return GetReturnValue();
    }
  }
  // The main thread runs the calls handed to it and handles the messages other threads send
  // to it while it waits, so that a thread that synchronises or sends before it ends can end.
  auto finished = [this, &state] {
    CheckSynchronize();
    win::MSG msg;
    win::PeekMessageA(&msg, nullptr, 0, 0, win::PM_NOREMOVE);
    std::lock_guard guard(state.lock);
    return !started_ || finished_;
  };
  win::WaitUntil(finished, {}, win::clock::Deadline::Never());
  return GetReturnValue();
}

void TThread::Synchronize(TThread* thread, const TThreadMethod& method) {
  (void)thread;
  if (IsMainThread()) {
    method();
    return;
  }
  auto request = std::make_shared<SyncRequest>();
  request->method = method;
  request->wait = true;
  Hand(request);
  SyncState& state = Sync();
  std::exception_ptr exception;
  {
    std::unique_lock lock(state.lock);
    state.changed.wait(lock, [&] { return request->done; });
    // Taken out of the request so that the exception ends its life on this thread, which is the
    // last to use it.
    exception = std::move(request->exception);
  }
  if (exception) std::rethrow_exception(exception);
}

void TThread::Queue(TThread* thread, TThreadMethod method) {
  (void)thread;
  if (IsMainThread()) {
    method();
    return;
  }
  auto request = std::make_shared<SyncRequest>();
  request->method = std::move(method);
  Hand(request);
}

}  // namespace dashtune
