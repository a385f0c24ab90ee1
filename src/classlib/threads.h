// Threads: TThread, and the synchronisation of worker threads with the main thread.
//
// Synchronize and Queue hand a call to the main thread. The main thread runs the waiting calls
// whenever it retrieves messages (GetMessage, PeekMessage with removal, ProcessMessages,
// HandleMessage), while it waits in TThread::WaitFor, and whenever it calls CheckSynchronize.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <exception>
#include <functional>
#include <mutex>
#include <string_view>
#include <thread>

#include "classlib/classes.h"
#include "platform/core/types.h"

namespace dashtune {

enum TThreadPriority : int { tpIdle, tpLowest, tpLower, tpNormal, tpHigher, tpHighest, tpTimeCritical };

using TThreadMethod = std::function<void()>;

class EThread : public Exception {
 public:
  using Exception::Exception;
};

namespace sysconst {
inline constexpr std::string_view SThreadCreateError = "Fehler beim Erzeugen des Threads: %s";
inline constexpr std::string_view SThreadWaitForSelf = "Ein Thread kann nicht auf sein eigenes Ende warten";
}  // namespace sysconst

// The main thread: the thread that made the application object (before that, the thread that
// started the program).
std::thread::id MainThreadID();
void SetMainThreadID(std::thread::id id);
bool IsMainThread();

// Runs the Synchronize and Queue calls waiting for the main thread; answers whether any ran.
// Does nothing on other threads. A queued call that raises passes its exception to the
// application's exception handling (or drops it without an application); a synchronised call's
// exception goes back to the thread that asked for it.
bool CheckSynchronize();

// Called (from any thread) whenever a call is handed to the main thread, so that a main thread
// sleeping in its message wait wakes up. The message layer installs it; may be empty.
void SetWakeMainThread(std::function<void()> wake);

// A thread of execution. Derive, override Execute, and make it with Create<T>(...) so that a
// thread created running starts once it is complete:
//   auto* worker = Create<TWorker>(/*CreateSuspended=*/false, ...);
// A thread created suspended starts with Resume. Deleting a thread that still runs terminates
// it, resumes it when suspended, and waits for it. A thread with FreeOnTerminate frees itself
// after OnTerminate; do not delete it or wait for it then. When the program ends (exit, or
// returning from main), threads that free themselves and still run get Terminate and are waited
// for up to five seconds, the main thread running the calls they hand it meanwhile.
class TThread : public TObject {
 public:
  explicit TThread(bool CreateSuspended);
  ~TThread() override;
  TThread(const TThread&) = delete;
  TThread& operator=(const TThread&) = delete;

  void AfterConstruction() override;
  void BeforeDestruction() override;

  // Starts a suspended thread; nothing for a thread that already runs. Failure to create the
  // system thread raises EThread.
  void Resume();
  bool GetSuspended() const;

  // Asks Execute to end: sets Terminated, which Execute checks.
  void Terminate();
  bool GetTerminated() const { return terminated_.load(std::memory_order_acquire); }
  // Whether Execute and the termination (OnTerminate) are over.
  bool GetFinished() const;

  // Waits until the thread has finished and answers its ReturnValue. On the main thread the
  // waiting Synchronize and Queue calls run meanwhile. A thread waiting for itself raises
  // EThread. A thread that was never started answers at once.
  int WaitFor();

  bool GetFreeOnTerminate() const { return free_on_terminate_.load(); }
  void SetFreeOnTerminate(bool value) { free_on_terminate_.store(value); }
  TThreadPriority GetPriority() const { return priority_.load(); }
  // Stored, and applied to the system thread as far as the system allows (raising a priority
  // needs privileges that a program usually lacks; lowering always works).
  void SetPriority(TThreadPriority value);
  int GetReturnValue() const { return return_value_.load(); }
  // The platform's id of the thread (GetCurrentThreadId inside it); 0 before it starts.
  win::DWORD GetThreadID() const { return thread_id_.load(); }
  // The exception that escaped Execute, or null.
  std::exception_ptr GetFatalException() const;

  // Raised on the main thread when Execute has ended, when assigned; Sender is the thread.
  TNotifyEvent OnTerminate;

  // Runs Method on the main thread and waits for it; on the main thread it runs at once. An
  // exception from Method is raised again in the calling thread.
  static void Synchronize(TThread* thread, const TThreadMethod& method);
  // Hands Method to the main thread without waiting; on the main thread it runs at once.
  static void Queue(TThread* thread, TThreadMethod method);

 protected:
  virtual void Execute() = 0;
  // Runs OnTerminate through Synchronize when assigned.
  virtual void DoTerminate();
  void Synchronize(const TThreadMethod& method) { Synchronize(this, method); }
  void Queue(TThreadMethod method) { Queue(this, std::move(method)); }
  void SetReturnValue(int value) { return_value_.store(value); }

 private:
  void Run();
  void ApplyPriority();
  void StopAndWait();

  std::thread thread_;
  bool create_suspended_;
  bool started_ = false;  // guarded by the synchronisation lock
  bool finished_ = false;  // guarded by the synchronisation lock
  std::atomic<bool> terminated_{false};
  std::atomic<bool> free_on_terminate_{false};
  std::atomic<TThreadPriority> priority_{tpNormal};
  std::atomic<int> return_value_{0};
  std::atomic<int> system_id_{0};  // the kernel's id of the thread while it runs
  std::atomic<win::DWORD> thread_id_{0};
  std::exception_ptr fatal_exception_;  // written by the thread before it finishes
};

}  // namespace dashtune
