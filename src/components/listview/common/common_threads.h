// Worker threads of the common units: the base that gives a thread COM, and the thread that
// carries out one ShellExecuteEx request away from the caller.
#pragma once

#include "classlib/threads.h"
#include "platform/shell/shell_execute.h"

#include <atomic>
#include <string>

namespace dashtune {

// A thread with COM initialised for it around ExecuteThread.
class TCommonThread : public TThread {
 public:
  using TThread::TThread;

 protected:
  void Execute() final;
  virtual void ExecuteThread() = 0;
};

// Carries out one ShellExecuteExW request. Made suspended: fill the request (the thread keeps its
// own copies of the strings and of the item list, which it frees), then Resume. A process handle
// the request asks for is closed once the call returns.
class TCommonShellExecuteThread : public TCommonThread {
 public:
  TCommonShellExecuteThread();
  ~TCommonShellExecuteThread() override;

  // Copies the record's flags, window and show state, and the strings and list it points at.
  void SetRequest(const win::SHELLEXECUTEINFOW& Info);
  // Whether the call succeeded (False until it has run).
  bool GetSucceeded() const { return succeeded_.load(); }

 protected:
  void ExecuteThread() override;

 private:
  win::SHELLEXECUTEINFOW info_;
  std::u16string verb_, parameters_, directory_, file_, class_name_;
  win::LPITEMIDLIST pidl_ = nullptr;  // task-allocated, owned
  std::atomic<bool> succeeded_{false};
};

}  // namespace dashtune
