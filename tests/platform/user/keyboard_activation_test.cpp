// Keyboard layout by $LANG, typed Latin-1 characters through VK_PACKET, and WM_ACTIVATEAPP when
// activation leaves the program's windows and when it returns.
#include "platform/user/input_state.h"
#include "platform/user/messages.h"
#include "platform/user/window.h"
#include "platform_test_support.h"
#include "user_test_window.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace {

using dashtune::testing::MakeWindow;
using dashtune::testing::MessageLog;
using dashtune::testing::PumpPending;

// Sets $LANG for the scope (unset for null) and restores it.
class ScopedLang {
 public:
  explicit ScopedLang(const char* value) {
    if (const char* old = std::getenv("LANG")) previous_ = old;
    Set(value);
  }
  ~ScopedLang() { Set(previous_ ? previous_->c_str() : nullptr); }

 private:
  static void Set(const char* value) {
    if (value != nullptr)
      setenv("LANG", value, 1);
    else
      unsetenv("LANG");
  }
  std::optional<std::string> previous_;
};

TEST(KeyboardLayout, FollowsTheLocaleInLang) {
  struct Case {
    const char* lang;
    unsigned long layout;
    win::UINT code_page;
  };
  // A language whose code page is not 1252 types on the English layout: the keys arrive as Latin-1.
  for (const Case& c : {Case{"de_DE.UTF-8", 0x04070407, 1252}, Case{"de_AT", 0x0C070C07, 1252},
                        Case{"en_US.UTF-8", 0x04090409, 1252}, Case{"ru_RU.UTF-8", 0x04090409, 1252},
                        Case{"C", 0x04090409, 1252}, Case{nullptr, 0x04090409, 1252}}) {
    const ScopedLang lang(c.lang);
    EXPECT_EQ(reinterpret_cast<unsigned long>(win::GetKeyboardLayout(0)), c.layout) << (c.lang ? c.lang : "unset");
    EXPECT_EQ(win::KeyboardCodePage(), c.code_page);
  }
}

TEST(KeyboardLayout, TheScanCodeByteIsTheTypedCharacter) {
  MessageLog::Get().Clear();
  const win::HWND window = MakeWindow();
  std::vector<win::WPARAM> chars;
  MessageLog::Get().React(window, [&](win::HWND, win::UINT message, win::WPARAM wParam, win::LPARAM, bool*) {
    if (message == win::WM_CHAR) chars.push_back(wParam);
    return 0;
  });
  struct Case {
    win::WPARAM key;
    win::LPARAM typed;
    bool shift;
    bool control;
    win::WPARAM expected;
  };
  const auto packet = static_cast<win::WPARAM>(win::VK_PACKET);
  // A key's own character wins over the Shift state read later; Ctrl makes letters control codes.
  for (const Case& c : {Case{packet, 0xE4, false, false, 0xE4}, Case{packet, 0xDF, true, false, 0xDF},
                        Case{packet, 0x21, false, false, 0x21}, Case{'B', 'b', true, false, 'b'},
                        Case{'B', 'B', false, false, 'B'}, Case{'Z', 'y', false, false, 'y'},
                        Case{'A', 'a', false, true, 0x01}, Case{'7', '/', false, false, '/'}}) {
    win::BYTE keys[256] = {};
    keys[win::VK_SHIFT] = c.shift ? 0x80 : 0;
    keys[win::VK_CONTROL] = c.control ? 0x80 : 0;
    win::SetKeyboardState(keys);
    const win::MSG down{window, win::WM_KEYDOWN, c.key, static_cast<win::LPARAM>(1 | (c.typed << 16)), 0, {}};
    EXPECT_TRUE(win::TranslateMessage(&down));
  }
  const win::BYTE released[256] = {};
  win::SetKeyboardState(released);
  PumpPending();
  EXPECT_EQ(chars, (std::vector<win::WPARAM>{0xE4, 0xDF, 0x21, 'b', 'B', 'y', 0x01, '/'}));
  win::DestroyWindow(window);
  MessageLog::Get().Clear();
}

class ActivationTest : public ::testing::Test {
 protected:
  void SetUp() override { MessageLog::Get().Clear(); }
  void TearDown() override {
    win::SetActiveWindow(nullptr);
    for (const win::HWND window : windows_) win::DestroyWindow(window);
    // Whatever a test left, the program ends active for the next.
    const win::HWND any = MakeWindow(nullptr);
    win::SetActiveWindow(any);
    win::SetActiveWindow(nullptr);
    win::RequestAppActivation(win::GetCurrentThreadId(), win::TRUE);
    PumpPending();
    win::DestroyWindow(any);
    MessageLog::Get().Clear();
  }
  win::HWND Top() {
    windows_.push_back(MakeWindow(nullptr));
    return windows_.back();
  }
  // "A" for WM_ACTIVATE (with its state), "APP" for WM_ACTIVATEAPP (with its flag), per window.
  std::vector<std::string> Heard(win::HWND window) {
    std::vector<std::string> heard;
    for (const auto& r : MessageLog::Get().Entries()) {
      if (r.window != window) continue;
      if (r.message == win::WM_ACTIVATE) heard.push_back("A" + std::to_string(r.wParam));
      if (r.message == win::WM_ACTIVATEAPP) heard.push_back("APP" + std::to_string(r.wParam));
    }
    return heard;
  }
  std::vector<win::HWND> windows_;
};

TEST_F(ActivationTest, LeavingTheProgramsWindowsTellsEveryTopLevelWindowOnce) {
  const win::HWND first = Top(), second = Top();
  const win::HWND child = MakeWindow(first, "", win::WS_CHILD);
  const win::HWND hidden_helper = MakeWindow();  // message-only: hears nothing
  win::SetActiveWindow(first);
  win::SetActiveWindow(second);  // between the program's windows: no WM_ACTIVATEAPP
  win::SetActiveWindow(nullptr);
  win::SetActiveWindow(nullptr);  // nothing was active any more
  EXPECT_EQ(Heard(first), (std::vector<std::string>{"A1", "A0", "APP0"}));
  EXPECT_EQ(Heard(second), (std::vector<std::string>{"A1", "A0", "APP0"}));
  EXPECT_TRUE(Heard(child).empty());
  EXPECT_TRUE(Heard(hidden_helper).empty());
  MessageLog::Get().Clear();
  // Coming back: WM_ACTIVATEAPP (TRUE) before the window's WM_ACTIVATE.
  win::SetActiveWindow(first);
  EXPECT_EQ(Heard(first), (std::vector<std::string>{"APP1", "A1"}));
  EXPECT_EQ(Heard(second), (std::vector<std::string>{"APP1"}));
  win::DestroyWindow(hidden_helper);
}

TEST_F(ActivationTest, TheDisplaysFocusLeavingIsCarriedOutByTheOwnerThread) {
  const win::HWND window = Top();
  win::SetActiveWindow(window);
  MessageLog::Get().Clear();
  EXPECT_FALSE(win::RequestAppActivation(0x7FFFFFF0, win::FALSE)) << "no such thread";
  const win::DWORD owner = win::GetCurrentThreadId();
  std::thread other([owner] { EXPECT_TRUE(win::RequestAppActivation(owner, win::FALSE)); });
  other.join();
  EXPECT_TRUE(Heard(window).empty()) << "nothing before the owner looks at its queue";
  PumpPending();
  EXPECT_EQ(Heard(window), (std::vector<std::string>{"A0", "APP0"}));
  EXPECT_EQ(win::GetActiveWindow(), nullptr);
  // Losing it again changes nothing; regaining tells the windows.
  win::RequestAppActivation(owner, win::FALSE);
  PumpPending();
  win::RequestAppActivation(owner, win::TRUE);
  PumpPending();
  EXPECT_EQ(Heard(window), (std::vector<std::string>{"A0", "APP0", "APP1"}));
}

}  // namespace
