// A private X server for tests that show windows on a real display (Xvfb).
#pragma once

#include <sys/types.h>

#include <string>

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

}  // namespace dashtune::testing
