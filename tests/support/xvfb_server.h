// A private X server for tests that show windows on a real display (Xvfb).
#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

namespace dashtune::testing {

// Starts Xvfb with one screen of the given size (24 bits) on a free display it picks itself, and
// stops it when destroyed. With `audit_log`, the server writes a line there for each client that
// connects ("client N connected from local host ( ... pid=P )") or leaves.
class XvfbServer {
 public:
  explicit XvfbServer(int width = 320, int height = 240, const std::string& audit_log = "");
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
// Runs xdotool with `args` on the display and waits for it; true when it succeeded.
bool RunXdotool(const std::string& display, std::vector<std::string> args);

// A program run with DISPLAY set to `display` (empty: no DISPLAY), its standard output and error
// read through one pipe; killed when destroyed if it has not ended.
class DisplayProgram {
 public:
  DisplayProgram(const std::string& display, std::vector<std::string> args);
  ~DisplayProgram();
  DisplayProgram(const DisplayProgram&) = delete;
  DisplayProgram& operator=(const DisplayProgram&) = delete;

  bool Started() const { return pid_ > 0; }
  pid_t Pid() const { return pid_; }
  // Reads output until a line starting with `prefix` (true), the end of the output or the
  // time-out (false).
  bool ReadUntil(const std::string& prefix, std::chrono::milliseconds timeout);
  // Reads the rest of the output and answers the exit status (-1 after a signal or time-out).
  int Finish(std::chrono::milliseconds timeout);
  // Everything read so far.
  const std::string& Output() const { return output_; }

 private:
  pid_t pid_ = -1;
  int out_ = -1;
  std::string output_;
  std::size_t scanned_ = 0;  // output_ up to here holds no wanted line
};

}  // namespace dashtune::testing
