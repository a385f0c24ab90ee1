// A top-level window's text is its X window's title: _NET_WM_NAME in UTF-8, WM_NAME in Latin-1
// where the text fits it (UTF-8 otherwise); a new text replaces both; a child's text changes
// nothing on the display.
#include "platform/present/presenter.h"
#include "platform/user/window.h"
#include "platform/user/window_position.h"
#include "xvfb_suite.h"
#include "../user/user_test_window.h"

#include <gtest/gtest.h>
// Xlib after GoogleTest: its macros (None, Bool) would break GoogleTest's own names.
#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <string>

namespace {

class PresenterTitleIntegrationTest : public dashtune::testing::XvfbSuite {
 protected:
  void TearDown() override {
    if (window_) win::DestroyWindow(window_);
    XvfbSuite::TearDown();
  }

  // "<_NET_WM_NAME> (<type>) | <WM_NAME> (<type>)" of the one X window the presenter shows.
  std::string ShownTitles() {
    EXPECT_TRUE(presenter_->Flush());
    Window root = 0, parent = 0, *children = nullptr;
    unsigned int count = 0;
    XQueryTree(peer_, DefaultRootWindow(peer_), &root, &parent, &children, &count);
    std::string titles = count == 1 ? Property(children[0], "_NET_WM_NAME") + " | " + Property(children[0], "WM_NAME")
                                    : std::to_string(count) + " windows";
    if (children != nullptr) XFree(children);
    return titles;
  }

  std::string Property(Window window, const char* name) {
    Atom type = 0;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    XGetWindowProperty(peer_, window, XInternAtom(peer_, name, False), 0, 256, False, AnyPropertyType, &type, &format,
                       &count, &after, &data);
    if (data == nullptr) return "(none)";
    std::string text(reinterpret_cast<const char*>(data), count);
    XFree(data);
    char* type_name = XGetAtomName(peer_, type);
    text += std::string(" (") + type_name + ")";
    XFree(type_name);
    return text;
  }

  win::HWND window_ = nullptr;
};

struct TitleCase {
  const char* text;  // UTF-8
  const char* shown;
};

TEST_F(PresenterTitleIntegrationTest, TheWindowsTextIsItsTitleAndFollowsEveryChange) {
  window_ = dashtune::testing::MakeWindow(nullptr, "Dashtune", win::WS_VISIBLE);
  win::SetWindowPos(window_, nullptr, 10, 10, 60, 40, win::SWP_NOZORDER);
  EXPECT_EQ(ShownTitles(), "Dashtune (UTF8_STRING) | Dashtune (STRING)");
  const TitleCase cases[] = {
      // Latin-1 fits: WM_NAME holds the byte 0xE4 for "ä".
      {"B\xC3\xA4r", "B\xC3\xA4r (UTF8_STRING) | B\xE4r (STRING)"},
      // Beyond Latin-1: both in UTF-8.
      {"Stra\xC3\x9F" "e \xE2\x86\x92 \xE6\x9D\xB1",
       "Stra\xC3\x9F" "e \xE2\x86\x92 \xE6\x9D\xB1 (UTF8_STRING) | Stra\xC3\x9F" "e \xE2\x86\x92 \xE6\x9D\xB1 (UTF8_STRING)"},
      {"", " (UTF8_STRING) |  (STRING)"},
  };
  for (const TitleCase& c : cases) {
    win::SetWindowTextA(window_, c.text);
    EXPECT_EQ(ShownTitles(), c.shown) << c.text;
  }
  win::SetWindowTextA(window_, "Dashtune");
  const win::HWND child = dashtune::testing::MakeWindow(window_, "child", win::WS_CHILD | win::WS_VISIBLE);
  win::SetWindowTextA(child, "another");
  EXPECT_EQ(ShownTitles(), "Dashtune (UTF8_STRING) | Dashtune (STRING)");
}

}  // namespace
