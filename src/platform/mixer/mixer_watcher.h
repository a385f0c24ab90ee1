// The thread that watches one open mixer and posts its line and control changes to the
// callback window.
#pragma once

#include "platform/mixer/mixer_device.h"

#include <memory>
#include <thread>

namespace win::mixer {

// Whether notifications can be posted to the window.
bool CanNotify(HWND window);

class Watcher {
 public:
  // Starts the thread at once; `handle` is what the messages carry in wParam.
  Watcher(std::unique_ptr<Session> session, HWND window, HMIXER handle);
  // Stops the thread and waits for it.
  ~Watcher();
  Watcher(const Watcher&) = delete;
  Watcher& operator=(const Watcher&) = delete;

 private:
  void Run();

  std::unique_ptr<Session> session_;
  HWND window_;
  HMIXER handle_;
  int stop_fd_;
  std::thread thread_;
};

}  // namespace win::mixer
