// A private X server for tests that show windows on a real display (Xvfb).
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace dashtune::testing {

// Starts Xvfb with one screen of the given size (24 bits) on a free display it picks itself, and
// stops it when destroyed.
class XvfbServer {
 public:
  explicit XvfbServer(int width = 320, int height = 240);
  ~XvfbServer();
  XvfbServer(const XvfbServer&) = delete;
  XvfbServer& operator=(const XvfbServer&) = delete;

  bool Running() const { return pid_ > 0 && !display_.empty(); }
  // ":N", the display to connect to.
  const std::string& Display() const { return display_; }

 private:
  pid_t pid_ = 0;
  std::string display_;
};

// Starts a program of the display's tools (xdotool, setxkbmap...) with DISPLAY set to `display`;
// answers its process id, 0 when it could not be started.
pid_t StartDisplayTool(const std::string& display, std::vector<std::string> args);
// The tool's exit status; -1 when it did not run or did not exit.
int WaitTool(pid_t pid);

}  // namespace dashtune::testing
