// A test fixture whose tests share one private X server (Xvfb, 320 x 240) for the whole suite.
// Each test gets the platform's presenter on it, as the server's first client, and a peer
// connection of its own, to read back what the screen shows. Nothing else holds the display: the
// server resets between tests as it does between programs.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "platform/present/presenter.h"
#include "xvfb_server.h"

// Xlib's Display, declared without Xlib: its macros (None, Bool) clash with other headers.
struct _XDisplay;

namespace dashtune::testing {

// A presenter on `display`, waiting (at most 10 s) while the server resets; null when it never
// accepts.
std::unique_ptr<win::present::X11Presenter> OpenPresenterOn(const std::string& display);

class XvfbSuite : public ::testing::Test {
 public:
  static void SetUpTestSuite();
  static void TearDownTestSuite();

 protected:
  // A fixture that overrides these calls them: SetUp first, TearDown last.
  void SetUp() override;
  void TearDown() override;
  // Gives the test a new presenter on the suite's server, the old one closed first (the peer
  // keeps the server from resetting meanwhile).
  void ReopenPresenter();
  // ":N", the suite's display.
  static const std::string& DisplayName() { return server_->Display(); }

  std::unique_ptr<win::present::X11Presenter> presenter_;
  _XDisplay* peer_ = nullptr;

 private:
  static XvfbServer* server_;
};

}  // namespace dashtune::testing
