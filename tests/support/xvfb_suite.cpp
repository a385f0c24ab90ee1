#include "xvfb_suite.h"

#include <X11/Xlib.h>

namespace dashtune::testing {

XvfbServer* XvfbSuite::server_ = nullptr;
Display* XvfbSuite::keeper_ = nullptr;

void XvfbSuite::SetUpTestSuite() {
  server_ = new XvfbServer(320, 240);
  if (server_->Running()) keeper_ = XOpenDisplay(server_->Display().c_str());
}

void XvfbSuite::TearDownTestSuite() {
  if (keeper_ != nullptr) XCloseDisplay(keeper_);
  keeper_ = nullptr;
  delete server_;
  server_ = nullptr;
}

void XvfbSuite::SetUp() {
  ASSERT_TRUE(server_->Running() && keeper_ != nullptr) << "Xvfb could not be started";
  presenter_ = win::present::X11Presenter::Open(server_->Display().c_str());
  ASSERT_NE(presenter_, nullptr);
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
