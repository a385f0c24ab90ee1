// The X11 presenter: shows the visible top-level windows on an X display, each as an X window
// at its screen position showing its surface, and turns X pointer and key input into window
// messages for the windows under the pointer (or holding the capture or the focus). Without a
// display nothing needs it: windows paint headless all the same. A top-level window's text is
// its X window's title.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

namespace win::present {

class X11Presenter {
 public:
  // Connects to `display_name` (null: $DISPLAY) and starts showing; null when there is no
  // display or its default visual is not 24-bit true colour, with the reason in `failure` when
  // given. Sets the virtual screen to the display's size until the presenter is destroyed. A
  // program keeps one presenter for its whole run: an X server may reset once its last client
  // has left, refusing connections meanwhile.
  static std::unique_ptr<X11Presenter> Open(const char* display_name = nullptr, std::string* failure = nullptr);
  ~X11Presenter();
  X11Presenter(const X11Presenter&) = delete;
  X11Presenter& operator=(const X11Presenter&) = delete;

  // Shows every surface as it is now and waits (at most `real_timeout`) until the display has
  // it; false on time-out.
  bool Flush(std::chrono::milliseconds real_timeout = std::chrono::seconds(5));

  // How many surface images have been put on the display so far (for measuring frame rates).
  std::uint64_t ImagesPut() const;

  class Impl;

 private:
  explicit X11Presenter(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> impl_;
};

// A presenter when $DISPLAY is set and usable, otherwise null; when $DISPLAY is set but cannot
// be used, the reason goes to `failure` when given.
std::unique_ptr<X11Presenter> StartPresenterIfDisplay(std::string* failure = nullptr);

}  // namespace win::present
