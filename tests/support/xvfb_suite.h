// A test fixture whose tests share one private X server (Xvfb, 320 x 240) for the whole suite.
// Each test gets the platform's presenter on it and a peer connection of its own, to read back
// what the screen shows.
#pragma once

#include <gtest/gtest.h>

#include <memory>

#include "platform/present/presenter.h"
#include "xvfb_server.h"

// Xlib's Display, declared without Xlib: its macros (None, Bool) clash with other headers.
struct _XDisplay;

namespace dashtune::testing {

class XvfbSuite : public ::testing::Test {
 public:
  static void SetUpTestSuite();
  static void TearDownTestSuite();

 protected:
  // A fixture that overrides these calls them: SetUp first, TearDown last.
  void SetUp() override;
  void TearDown() override;
  // Gives the test a new presenter on the suite's server, the old one closed first.
  void ReopenPresenter();

  std::unique_ptr<win::present::X11Presenter> presenter_;
  _XDisplay* peer_ = nullptr;

 private:
  static XvfbServer* server_;
  // Held for the whole suite: Xvfb resets when its last client leaves, refusing connections
  // meanwhile.
  static _XDisplay* keeper_;
};

}  // namespace dashtune::testing
