// Typing and clicking on a real display (Xvfb, German layout by setxkbmap, keys and clicks by
// xdotool): renaming a tile by typing "Bär" and Enter, a tap on the focused tile's caption
// opening its edit box, the list view taking the keys again once Escape or Return closed the box,
// and picking a popup menu item by a click.
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "classlib/form.h"
#include "classlib/forms.h"
#include "classlib/menus.h"
#include "classlib/messages.h"
#include "components/listview/edit_manager.h"
#include "components/listview/listview.h"
#include "listview_test_support.h"
#include "platform/core/strings.h"
#include "platform/gdi/gdi.h"
#include "platform/gdi/scoped_gdi.h"
#include "platform/present/presenter.h"
#include "platform/text/text.h"
#include "platform/user/input_state.h"
#include "platform/user/menu_window.h"
#include "platform/user/messages.h"
#include "platform/user/paint.h"
#include "platform/user/timers.h"
#include "platform/user/window.h"
#include "platform/user/window_position.h"
#include "platform_test_support.h"
#include "xvfb_server.h"
#include "xvfb_suite.h"

namespace dashtune {
namespace {

using testing::XvfbServer;

using testing::StartDisplayTool;
using testing::WaitTool;
using testing::RunXdotool;
using testing::InsideLoop;

class EditorsScreenIntegration : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(server_.Running()) << "Xvfb could not be started";
    setenv("LANG", "de_DE.UTF-8", 1);
    // The presenter is the server's only client, which resets between tests.
    presenter_ = testing::OpenPresenterOn(server_.Display());
    ASSERT_NE(presenter_, nullptr);
    form_ = std::make_unique<TForm>(nullptr);
    form_->SetBounds(0, 0, 400, 200);
    tiles_ = new TTouchListview(form_.get());
    tiles_->SetParent(form_.get());
    tiles_->SetBounds(0, 0, 400, 200);
    tiles_->SetView(elsTile);
    tiles_->GetFont()->SetName("DejaVu Sans");
    tiles_->GetFont()->SetHeight(16);
    tiles_->OnItemGetCaption = [](TCustomTouchListview*, TTouchItem*, int, WideString& Caption) { Caption = u"Titel"; };
    tiles_->OnItemSetCaption = [this](TCustomTouchListview*, TTouchItem*, int, const WideString& Caption) {
      renamed_.push_back(win::Utf16ToUtf8(Caption));
    };
    item_ = tiles_->GetItems()->AddVirtual();
    form_->Show();
    ASSERT_TRUE(presenter_->Flush());
  }
  void TearDown() override {
    form_.reset();
    presenter_.reset();
  }

  void ExpectDownMovesTheFocusAfterTheBoxCloses(const std::string& ending);

  static XvfbServer server_;
  std::unique_ptr<win::present::X11Presenter> presenter_;
  std::unique_ptr<TForm> form_;
  TTouchListview* tiles_ = nullptr;
  TTouchItem* item_ = nullptr;
  std::vector<std::string> renamed_;
};

XvfbServer EditorsScreenIntegration::server_(640, 480);

// Ends a hung edit instead of hanging the test.
void EndHungEdit(win::HWND, win::UINT, win::UINT_PTR id, win::DWORD) {
  win::KillTimer(nullptr, id);
  win::PostMessageA(nullptr, win::WM_KEYDOWN, 0x1B, 1);
}

TEST_F(EditorsScreenIntegration, RenamingATileByTypingBaerAndEnter) {
  // The layout changes while the presenter runs: it has to follow.
  ASSERT_EQ(WaitTool(StartDisplayTool(server_.Display(), {"setxkbmap", "de"})), 0);
  const win::RECT cell = item_->GetDisplayRect();
  const std::string x = std::to_string((cell.left + cell.right) / 2), y = std::to_string((cell.top + cell.bottom) / 2);
  pid_t typing = 0;
  InsideLoop inside;
  inside.Then([&] {
    // The pointer over the form gives it the keys; the edit box has the program's focus. The
    // edit's own loop takes them.
    typing = StartDisplayTool(server_.Display(), {"xdotool", "mousemove", x, y, "key", "--delay", "30", "B", "adiaeresis",
                                           "r", "Return"});
  });
  const win::UINT_PTR guard = win::SetTimer(nullptr, 0, 20000, &EndHungEdit);
  tiles_->GetEditManager()->BeginEdit(item_);
  win::KillTimer(nullptr, guard);
  EXPECT_EQ(WaitTool(typing), 0);
  EXPECT_EQ(renamed_, (std::vector<std::string>{"B\xC3\xA4r"}));
}

// The typing that waits for the edit box: the edit's own loop dispatches this timer.
struct TypingOnceEditing {
  TTouchListview* tiles = nullptr;
  std::string display;
  std::vector<std::string> keys;  // xdotool's arguments after "key"
  pid_t typing = 0;
};
TypingOnceEditing* typing_once_editing = nullptr;

void TypeOnceEditing(win::HWND, win::UINT, win::UINT_PTR id, win::DWORD) {
  TypingOnceEditing* state = typing_once_editing;
  if (state == nullptr || !state->tiles->GetEditManager()->GetEditing()) return;
  win::KillTimer(nullptr, id);
  std::vector<std::string> command = {"xdotool", "key"};
  command.insert(command.end(), state->keys.begin(), state->keys.end());
  state->typing = StartDisplayTool(state->display, command);
}

TEST_F(EditorsScreenIntegration, ATapOnTheFocusedTilesCaptionOpensItsEditBox) {
  tiles_->GetEditManager()->SetEnabled(true);
  item_->SetFocused(true);
  TTouchRectArrayObject rects;
  item_->ItemRects(nullptr, tiles_->GetCanvas(), rects);
  // The form and the list view sit at the screen's top left corner, unscrolled.
  const win::RECT label = rects.LabelRect;
  const pid_t tapping = StartDisplayTool(server_.Display(), {"xdotool", "mousemove", std::to_string((label.left + label.right) / 2),
                                                     std::to_string((label.top + label.bottom) / 2), "click", "1"});
  TypingOnceEditing state{tiles_, server_.Display(), {"--delay", "30", "N", "e", "u", "Return"}};
  typing_once_editing = &state;
  const win::UINT_PTR waiting = win::SetTimer(nullptr, 0, 20, &TypeOnceEditing);
  const win::UINT_PTR guard = win::SetTimer(nullptr, 0, 20000, &EndHungEdit);
  const bool renamed = testing::PumpUntil([&] { return !renamed_.empty(); }, std::chrono::seconds(30));
  win::KillTimer(nullptr, guard);
  if (state.typing == 0) win::KillTimer(nullptr, waiting);
  typing_once_editing = nullptr;
  EXPECT_EQ(WaitTool(tapping), 0);
  ASSERT_TRUE(renamed) << "no edit box took the keys";
  EXPECT_EQ(WaitTool(state.typing), 0);
  EXPECT_EQ(renamed_, (std::vector<std::string>{"Neu"}));
}

// The first item after Item whose tile lies straight below it.
TTouchItem* ItemBelow(TTouchListview* tiles, TTouchItem* Item) {
  const win::RECT above = Item->GetDisplayRect();
  for (int i = 0; i < tiles->GetItems()->GetCount(); ++i) {
    TTouchItem* item = tiles->GetItems()->GetItem(i);
    const win::RECT r = item->GetDisplayRect();
    if (r.left == above.left && r.top >= above.bottom) return item;
  }
  return nullptr;
}

// Opens the first tile's edit box by two taps, closes it by the key `ending`, then types Down:
// the focus moves to the tile below with no call that gives the list view the focus.
void EditorsScreenIntegration::ExpectDownMovesTheFocusAfterTheBoxCloses(const std::string& ending) {
  for (int i = 0; i < 5; ++i) tiles_->GetItems()->AddVirtual();
  tiles_->GetEditManager()->SetEnabled(true);
  TTouchItem* below = ItemBelow(tiles_, item_);
  ASSERT_NE(below, nullptr) << "the tiles fit in one row";
  TTouchRectArrayObject rects;
  item_->ItemRects(nullptr, tiles_->GetCanvas(), rects);
  // The form and the list view sit at the screen's top left corner, unscrolled.
  const win::RECT label = rects.LabelRect;
  const std::string x = std::to_string((label.left + label.right) / 2), y = std::to_string((label.top + label.bottom) / 2);
  const auto xdotool = [&](std::vector<std::string> args) { return RunXdotool(server_.Display(), std::move(args)); };
  // A tap focuses the tile; a second tap on its caption, later than a double tap, opens the box.
  ASSERT_TRUE(xdotool({"mousemove", x, y, "click", "1"}));
  ASSERT_TRUE(testing::PumpUntil([&] { return item_->GetFocused(); }, std::chrono::seconds(10)));
  const auto double_tap_over = std::chrono::steady_clock::now() + std::chrono::milliseconds(win::GetDoubleClickTime() + 100);
  ASSERT_TRUE(testing::PumpUntil([&] { return std::chrono::steady_clock::now() > double_tap_over; }, std::chrono::seconds(10)));
  const pid_t tapping = StartDisplayTool(server_.Display(), {"xdotool", "click", "1"});
  TypingOnceEditing state{tiles_, server_.Display(), {ending}};
  typing_once_editing = &state;
  const win::UINT_PTR waiting = win::SetTimer(nullptr, 0, 20, &TypeOnceEditing);
  const win::UINT_PTR guard = win::SetTimer(nullptr, 0, 20000, &EndHungEdit);
  const bool ended = testing::PumpUntil(
      [&] { return state.typing != 0 && !tiles_->GetEditManager()->GetEditing(); }, std::chrono::seconds(30));
  win::KillTimer(nullptr, guard);
  if (state.typing == 0) win::KillTimer(nullptr, waiting);
  typing_once_editing = nullptr;
  EXPECT_EQ(WaitTool(tapping), 0);
  ASSERT_TRUE(ended) << "no edit box opened, or it did not close on " << ending;
  EXPECT_EQ(WaitTool(state.typing), 0);
  ASSERT_TRUE(xdotool({"key", "Down"}));
  EXPECT_TRUE(testing::PumpUntil([&] { return below->GetFocused(); }, std::chrono::seconds(10)))
      << "the focus stayed on the first tile after " << ending;
  EXPECT_FALSE(item_->GetFocused());
}

TEST_F(EditorsScreenIntegration, DownMovesTheFocusAfterEscapeClosesTheEditBox) {
  ExpectDownMovesTheFocusAfterTheBoxCloses("Escape");
}

TEST_F(EditorsScreenIntegration, DownMovesTheFocusAfterReturnClosesTheEditBox) {
  ExpectDownMovesTheFocusAfterTheBoxCloses("Return");
}

TEST_F(EditorsScreenIntegration, APopupMenuItemPickedByAClick) {
  TPopupMenu menu(nullptr);
  std::vector<std::string> clicked;
  for (const char* caption : {"Eins", "-", "Zwei"}) {
    auto* item = new TMenuItem(&menu);
    item->SetCaption(caption);
    item->OnClick = [&clicked, caption](TObject*) { clicked.push_back(caption); };
    menu.GetItems()->Add(item);
  }
  // Items are the menu font's height and 6 high, the line 9, inside a frame of 2.
  int item_height = 0;
  {
    const win::HDC dc = win::GetDC(nullptr);
    win::TEXTMETRICW metrics{};
    {
      const win::ScopedSelect font(dc, win::GetStockObject(win::DEFAULT_GUI_FONT));
      win::GetTextMetricsW(dc, &metrics);
    }
    win::ReleaseDC(nullptr, dc);
    item_height = metrics.tmHeight + 6;
  }
  pid_t clicking = 0;
  InsideLoop inside;
  inside.Then([&] {
    const win::HWND shown = win::FindWindowA(win::MENU_WINDOW_CLASSA, nullptr);
    ASSERT_NE(shown, nullptr);
    presenter_->Flush();
    win::RECT rect{};
    win::GetWindowRect(shown, &rect);
    const int second_y = rect.top + 2 + item_height + 9 + item_height / 2;
    clicking = StartDisplayTool(server_.Display(), {"xdotool", "mousemove", std::to_string(rect.left + 20),
                                             std::to_string(second_y), "click", "1"});
  });
  const win::UINT_PTR guard = win::SetTimer(nullptr, 0, 20000, &EndHungEdit);
  menu.Popup(60, 40);
  win::KillTimer(nullptr, guard);
  EXPECT_EQ(WaitTool(clicking), 0);
  EXPECT_EQ(clicked, (std::vector<std::string>{"Zwei"}));
}

}  // namespace
}  // namespace dashtune
