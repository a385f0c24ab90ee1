// The edit class: typing through the keyboard's code page, the editing keys and the selection,
// texts in and out as UTF-8, the selection messages, lines wrapped at words and centred, the
// caret placed by a click, and no context menu of its own.
#include "platform/user/edit.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/gdi/gdi.h"
#include "platform/text/text.h"
#include "platform/user/input_state.h"
#include "platform/user/messages.h"
#include "platform/user/paint.h"
#include "platform/user/surfaces.h"
#include "platform/user/window.h"
#include "platform/user/window_position.h"
#include "platform_test_support.h"
#include "user_test_window.h"

namespace {

using dashtune::testing::MessageLog;

constexpr win::WPARAM kLeft = 0x25, kRight = 0x27, kUp = 0x26, kDown = 0x28, kHome = 0x24, kEnd = 0x23,
                      kDelete = 0x2E;

win::LPARAM Point(int x, int y) { return win::MAKELPARAM(static_cast<win::WORD>(x), static_cast<win::WORD>(y)); }

class EditTest : public ::testing::Test {
 protected:
  void SetUp() override {
    win::RegisterEditClass();
    if (const char* lang = std::getenv("LANG")) previous_lang_ = lang;
    setenv("LANG", "de_DE.UTF-8", 1);
    win::LOGFONTA logical{};
    logical.lfHeight = 20;
    std::strcpy(logical.lfFaceName, "Dashtune Fixed Metrics");
    font_ = win::CreateFontIndirectA(&logical);
  }
  void TearDown() override {
    for (const win::HWND window : windows_) win::DestroyWindow(window);
    win::DeleteObject(font_);
    SetShift(false);
    MessageLog::Get().Clear();
    if (previous_lang_.empty())
      unsetenv("LANG");
    else
      setenv("LANG", previous_lang_.c_str(), 1);
  }
  // A box of the given styles and client size; the fixed-metrics font: 10 pixels a character, lines 20 high.
  win::HWND Make(win::DWORD style, int width = 200, int height = 24, win::HWND parent = nullptr) {
    const win::HWND window = win::CreateWindowExA(0, win::WC_EDITA, "", style, 0, 0, width, height, parent, nullptr,
                                                  nullptr, nullptr);
    win::SendMessageA(window, win::WM_SETFONT, reinterpret_cast<win::WPARAM>(font_), 0);
    windows_.push_back(window);
    return window;
  }
  static void SetShift(bool down) {
    win::BYTE keys[256] = {};
    win::GetKeyboardState(keys);
    keys[win::VK_SHIFT] = down ? 0x80 : 0;
    win::SetKeyboardState(keys);
  }
  static std::string Text(win::HWND window) {
    char buffer[256] = {};
    win::SendMessageA(window, win::WM_GETTEXT, sizeof buffer, reinterpret_cast<win::LPARAM>(buffer));
    return buffer;
  }
  static std::pair<win::DWORD, win::DWORD> Selection(win::HWND window) {
    win::DWORD start = 99, end = 99;
    win::SendMessageA(window, win::EM_GETSEL, reinterpret_cast<win::WPARAM>(&start), reinterpret_cast<win::LPARAM>(&end));
    return {start, end};
  }
  win::HFONT font_ = nullptr;
  std::vector<win::HWND> windows_;
  std::string previous_lang_;
};

// One step of a typing case: a WM_CHAR byte, or a key (with Shift when `shift`).
struct Step {
  enum Kind { kChar, kKey } kind;
  win::WPARAM code;
  bool shift = false;
};
Step C(win::WPARAM code) { return {Step::kChar, code}; }
Step K(win::WPARAM key, bool shift = false) { return {Step::kKey, key, shift}; }

TEST_F(EditTest, TypingAndEditingKeys) {
  struct Case {
    const char* name;
    std::vector<Step> steps;
    const char* text;
    win::DWORD start;
    win::DWORD end;
  };
  const std::vector<Case> cases = {
      {"1252 bytes through the German layout", {C('B'), C(0xE4), C('r'), C(0x80)}, "B\xC3\xA4r\xE2\x82\xAC", 4, 4},
      {"backspace before the caret", {C('a'), C('b'), C('c'), K(kLeft), K(kLeft), C(0x08)}, "bc", 0, 0},
      {"delete after the caret", {C('a'), C('b'), C('c'), K(kHome), K(kDelete)}, "bc", 0, 0},
      {"typing replaces the selection", {C('a'), C('b'), C('c'), K(kHome), K(kRight, true), K(kRight, true), C('x')},
       "xc", 1, 1},
      {"shift+home then backspace clears", {C('a'), C('b'), K(kEnd), K(kHome, true), C(0x08)}, "", 0, 0},
      {"left collapses a selection to its start", {C('a'), C('b'), C('c'), K(kLeft, true), K(kLeft, true), K(kLeft)},
       "abc", 1, 1},
      {"keys at the ends stay", {C('a'), K(kRight), K(kHome), K(kLeft), C(0x08), K(kEnd), K(kDelete)}, "a", 1, 1},
      {"one line ignores enter, tab, escape and controls", {C('a'), C(0x0D), C(0x09), C(0x1B), C(0x01), C(0x7F)}, "a",
       1, 1},
      {"up and down move like left and right on one line", {C('a'), C('b'), K(kUp), K(kUp), K(kDown)}, "ab", 1, 1},
  };
  for (const Case& c : cases) {
    const win::HWND window = Make(win::ES_AUTOHSCROLL, 200, 24, win::HWND_MESSAGE);
    for (const Step& step : c.steps) {
      SetShift(step.shift);
      win::SendMessageA(window, step.kind == Step::kChar ? win::WM_CHAR : win::WM_KEYDOWN, step.code, 1);
    }
    SetShift(false);
    EXPECT_EQ(Text(window), c.text) << c.name;
    EXPECT_EQ(Selection(window), std::make_pair(c.start, c.end)) << c.name;
  }
}

TEST_F(EditTest, ASurrogatePairAndALineBreakAreDeletedWhole) {
  const win::HWND line = Make(0, 200, 24, win::HWND_MESSAGE);
  win::SendMessageA(line, win::EM_REPLACESEL, 0, reinterpret_cast<win::LPARAM>("a\xF0\x9F\x8E\xB5"));
  EXPECT_EQ(Selection(line), std::make_pair(3u, 3u));
  win::SendMessageA(line, win::WM_KEYDOWN, kLeft, 1);
  EXPECT_EQ(Selection(line), std::make_pair(1u, 1u)) << "over the pair at once";
  win::SendMessageA(line, win::WM_KEYDOWN, kDelete, 1);
  EXPECT_EQ(Text(line), "a");
  const win::HWND memo = Make(win::ES_MULTILINE, 200, 60, win::HWND_MESSAGE);
  for (const win::WPARAM c : {win::WPARAM{'a'}, win::WPARAM{0x0D}, win::WPARAM{'b'}})
    win::SendMessageA(memo, win::WM_CHAR, c, 1);
  EXPECT_EQ(Text(memo), "a\r\nb");
  win::SendMessageA(memo, win::WM_KEYDOWN, kLeft, 1);
  win::SendMessageA(memo, win::WM_CHAR, 0x08, 1);
  EXPECT_EQ(Text(memo), "ab");
}

TEST_F(EditTest, TextsGoInAndOutAsUtf8WithoutCuttingACharacter) {
  const win::HWND window = Make(0, 200, 24, win::HWND_MESSAGE);
  EXPECT_EQ(win::SendMessageA(window, win::WM_SETTEXT, 0, reinterpret_cast<win::LPARAM>("\xD0\x96\xD1\x83\xD0\xBA")),
            win::TRUE);
  EXPECT_EQ(win::SendMessageA(window, win::WM_GETTEXTLENGTH, 0, 0), 6);
  EXPECT_EQ(Selection(window), std::make_pair(0u, 0u));
  char small[4] = {'x', 'x', 'x', 'x'};
  EXPECT_EQ(win::SendMessageA(window, win::WM_GETTEXT, sizeof small, reinterpret_cast<win::LPARAM>(small)), 2);
  EXPECT_STREQ(small, "\xD0\x96");
  EXPECT_EQ(win::SendMessageA(window, win::WM_GETTEXT, 0, reinterpret_cast<win::LPARAM>(small)), 0);
  char name[16] = {};
  win::GetWindowTextA(window, name, sizeof name);
  EXPECT_STREQ(name, "\xD0\x96\xD1\x83\xD0\xBA");
}

TEST_F(EditTest, SelectionMessages) {
  const win::HWND window = Make(0, 200, 24, win::HWND_MESSAGE);
  win::SetWindowTextA(window, "abcdef");
  struct Case {
    win::WPARAM anchor;
    win::LPARAM caret;
    win::DWORD start;
    win::DWORD end;
  };
  for (const Case& c : {Case{0, -1, 0, 6}, Case{5, 1, 1, 5}, Case{2, 100, 2, 6}, Case{static_cast<win::WPARAM>(-1), 0, 6, 6},
                        Case{3, 3, 3, 3}}) {
    win::SendMessageA(window, win::EM_SETSEL, c.anchor, c.caret);
    EXPECT_EQ(Selection(window), std::make_pair(c.start, c.end)) << c.anchor << "," << c.caret;
  }
  win::SendMessageA(window, win::EM_SETSEL, 1, 4);
  EXPECT_EQ(win::SendMessageA(window, win::EM_GETSEL, 0, 0), win::MAKELONG(1, 4));
  win::SendMessageA(window, win::EM_REPLACESEL, win::TRUE, reinterpret_cast<win::LPARAM>("\xC3\x9F"));
  EXPECT_EQ(Text(window), "a\xC3\x9F" "ef");
  EXPECT_EQ(Selection(window), std::make_pair(2u, 2u));
}

TEST_F(EditTest, MultiLineWrapsAtWordsAndMovesBetweenLines) {
  // 62 pixels of text area: six characters a line.
  const win::HWND memo = Make(win::ES_MULTILINE, 64, 100, win::HWND_MESSAGE);
  win::SetWindowTextA(memo, "abc defgh ij");
  win::SendMessageA(memo, win::EM_SETSEL, 1, 1);
  struct Move {
    win::WPARAM key;
    win::DWORD caret;
  };
  // Lines "abc ", "defgh ", "ij": down keeps the column, end stops before the wrap.
  for (const Move& m : {Move{kDown, 5}, Move{kDown, 11}, Move{kUp, 5}, Move{kEnd, 9}, Move{kHome, 4}, Move{kUp, 0},
                        Move{kUp, 0}}) {
    win::SendMessageA(memo, win::WM_KEYDOWN, m.key, 1);
    EXPECT_EQ(Selection(memo).second, m.caret) << m.key;
  }
}

TEST_F(EditTest, CentredLinesAndTheCaretPlacedByAClick) {
  const win::HWND memo = Make(win::WS_VISIBLE | win::ES_MULTILINE | win::ES_CENTER, 102, 60);
  win::SetWindowTextA(memo, "ab cdefghij");
  win::UpdateWindow(memo);
  win::WindowPixels pixels;
  ASSERT_TRUE(win::ReadWindowPixels(memo, &pixels));
  // Text area 100 wide from x 1: "ab" (20) from 41, "cdefghij" (80) from 11; each box is 9 columns.
  const auto ink = [&](int x, int y) { return pixels.At(x, y) != 0xFFFFFFu; };
  std::vector<int> row0, row1;
  for (int x = 0; x < 102; ++x) {
    if (ink(x, 10)) row0.push_back(x);
    if (ink(x, 30)) row1.push_back(x);
  }
  ASSERT_FALSE(row0.empty());
  ASSERT_FALSE(row1.empty());
  EXPECT_EQ(row0.front(), 41);
  EXPECT_EQ(row0.back(), 59);
  EXPECT_EQ(row1.front(), 11);
  EXPECT_EQ(row1.back(), 89);
  // A click on the right half of "d" puts the caret after it, and takes the focus.
  win::SendMessageA(memo, win::WM_LBUTTONDOWN, win::MK_LBUTTON, Point(27, 30));
  win::SendMessageA(memo, win::WM_LBUTTONUP, 0, Point(27, 30));
  EXPECT_EQ(Selection(memo), std::make_pair(5u, 5u));
  EXPECT_EQ(win::GetFocus(), memo);
  // Dragging selects.
  win::SendMessageA(memo, win::WM_LBUTTONDOWN, win::MK_LBUTTON, Point(40, 10));
  win::SendMessageA(memo, win::WM_MOUSEMOVE, win::MK_LBUTTON, Point(58, 30));
  win::SendMessageA(memo, win::WM_LBUTTONUP, 0, Point(58, 30));
  EXPECT_EQ(Selection(memo), std::make_pair(0u, 8u));
  win::SetFocus(nullptr);
}

TEST_F(EditTest, NoContextMenuOfItsOwnAndNoneForItsParent) {
  MessageLog::Get().Clear();
  const win::HWND parent = dashtune::testing::MakeWindow(nullptr);
  const win::HWND edit = Make(win::WS_CHILD | win::WS_VISIBLE, 100, 24, parent);
  EXPECT_EQ(win::SendMessageA(edit, win::WM_CONTEXTMENU, reinterpret_cast<win::WPARAM>(edit), Point(5, 5)), 0);
  EXPECT_TRUE(MessageLog::Get().Messages(parent, win::WM_CONTEXTMENU, win::WM_CONTEXTMENU).empty());
  windows_.push_back(parent);
}

}  // namespace
