#include "xvfb_suite.h"

#include <X11/Xlib.h>

#include <chrono>
#include <thread>

namespace dashtune::testing {

XvfbServer* XvfbSuite::server_ = nullptr;

std::unique_ptr<win::present::X11Presenter> OpenPresenterOn(const std::string& display) {
  using namespace std::chrono_literals;
  // The server resets when the previous test's last connection closes and refuses connections
  // until it is done.
  const auto until = std::chrono::steady_clock::now() + 10s;
  for (;;) {
    std::unique_ptr<win::present::X11Presenter> presenter = win::present::X11Presenter::Open(display.c_str());
    if (presenter != nullptr || std::chrono::steady_clock::now() > until) return presenter;
    std::this_thread::sleep_for(20ms);
  }
}

void XvfbSuite::SetUpTestSuite() { server_ = new XvfbServer(320, 240); }

void XvfbSuite::TearDownTestSuite() {
  delete server_;
  server_ = nullptr;
}

void XvfbSuite::SetUp() {
  ASSERT_TRUE(server_->Running()) << "Xvfb could not be started";
  presenter_ = OpenPresenterOn(server_->Display());
  ASSERT_NE(presenter_, nullptr);
  // Opened while the presenter holds the display, so the server is not resetting.
  peer_ = XOpenDisplay(server_->Display().c_str());
  ASSERT_NE(peer_, nullptr);
}

void XvfbSuite::ReopenPresenter() {
  presenter_.reset();
  presenter_ = win::present::X11Presenter::Open(server_->Display().c_str());
}

void XvfbSuite::TearDown() {
  presenter_.reset();
  if (peer_ != nullptr) XCloseDisplay(peer_);
  peer_ = nullptr;
}

}  // namespace dashtune::testing
