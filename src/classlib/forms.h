// The application object: one per program, created by the main thread, which it records as the
// main thread. It runs the unit initialisations when it starts and their finalisations when it
// is destroyed.
#pragma once

#include <thread>

#include "classlib/sysutils.h"

namespace dashtune {

class TApplication : public TObject {
 public:
  // Becomes the global Application; a second application object raises EInvalidOperation.
  TApplication();
  // Runs the unit finalisations (when Initialize ran) and clears the global Application.
  ~TApplication() override;
  TApplication(const TApplication&) = delete;
  TApplication& operator=(const TApplication&) = delete;

  // Runs the initialisations of the registered units, in order.
  void Initialize();

  std::thread::id GetMainThreadId() const { return main_thread_; }

 private:
  std::thread::id main_thread_;
  bool initialized_ = false;
};

// The application object, or nil before it is created and after it is destroyed.
extern TApplication* Application;

// Whether the calling thread is the application's main thread (false without an application).
bool IsMainThread();

}  // namespace dashtune
