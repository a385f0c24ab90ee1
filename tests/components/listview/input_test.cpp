// The list view's input away from the header: clicks on image, text and check box, refused
// focus, selection switched off, double clicks, hot tracking, arrow, page, Home and End keys,
// the wheel, and the click on a focused caption that begins an edit.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "classlib/bitmap.h"
#include "classlib/imagelist.h"
#include "components/listview/listview.h"
#include "listview_test_support.h"
#include "platform/core/clock.h"
#include "platform/user/input_state.h"
#include "platform/user/messages.h"
#include "platform/user/virtual_keys.h"
#include "platform_test_support.h"

namespace dashtune {
namespace {

win::LPARAM At(win::POINT p) { return win::MAKELPARAM(static_cast<win::WORD>(p.x), static_cast<win::WORD>(p.y)); }

win::POINT Centre(const win::RECT& r) { return {(r.left + r.right) / 2, (r.top + r.bottom) / 2}; }

// Twelve virtual tiles of 190 x 50 pixels with 32 x 32 images and check boxes on a 400 x 300 list view, the
// fixed-metrics face at 20 pixels; every item event is logged as text.
class ListviewInput : public ::testing::Test {
 protected:
  void SetUp() override {
    lv()->SetView(elsTile);
    lv()->GetFont()->SetName("Dashtune Fixed Metrics");
    lv()->GetFont()->SetHeight(20);
    TBitmap image;
    image.SetPixelFormat(pf24bit);
    image.SetSize(32, 32);
    images_.Add(&image, nullptr);
    lv()->SetImagesExLarge(&images_);
    lv()->GetPaintInfoItem()->SetCheckType(ectBox);
    lv()->OnItemGetCaption = [](TCustomTouchListview*, TTouchItem* item, int column, WideString& caption) {
      caption = column == 0 ? u"Item " + WideString(1, static_cast<char16_t>(u'A' + item->GetIndex())) : u"";
    };
    lv()->OnItemGetImageIndex = [](TCustomTouchListview*, TTouchItem*, int, TTouchImageKind kind, int& index) {
      if (kind == eikNormal) index = 0;
    };
    lv()->GetCellSizes()->GetTile()->SetSize(190, 50);  // two tiles to a row
    for (int i = 0; i < 12; ++i) items_.push_back(lv()->GetItems()->AddVirtual());
    lv()->GetGroups()->Rebuild(true);
    lv()->OnItemMouseDown = [this](TCustomTouchListview*, TTouchItem* item, TMouseButton b, TShiftState s, int x, int y) {
      Log("down", item, b, s, {x, y});
    };
    lv()->OnItemMouseUp = [this](TCustomTouchListview*, TTouchItem* item, TMouseButton b, TShiftState s, int x, int y) {
      Log("up", item, b, s, {x, y});
    };
    lv()->OnItemClick = [this](TCustomTouchListview*, TTouchItem* item, TMouseButton b, TShiftState s, win::POINT p) {
      Log("click", item, b, s, p);
    };
    lv()->OnItemDblClick = [this](TCustomTouchListview*, TTouchItem* item, TMouseButton b, TShiftState s, win::POINT p) {
      Log("dblclick", item, b, s, p);
    };
  }

  TTouchListview* lv() { return host_.listview; }
  void Log(const char* what, TTouchItem* item, TMouseButton button, TShiftState shift, win::POINT p) {
    log_.push_back(std::string(what) + " " + std::to_string(item->GetIndex()) + (button == mbLeft ? " L" : " R") +
                   (shift.Contains(ssDouble) ? " double" : "") + " " + std::to_string(p.x) + "," +
                   std::to_string(p.y));
  }
  // A part of an item in client coordinates.
  win::RECT Part(TTouchItem* item, win::RECT TTouchRectArrayObject::*part) {
    TTouchRectArrayObject rects;
    item->ItemRects(nullptr, lv()->GetCanvas(), rects);
    return lv()->GetScrollbars()->MapViewRectToWindow(rects.*part);
  }
  void Press(win::POINT p, win::UINT message = win::WM_LBUTTONDOWN) { lv()->Perform(message, win::MK_LBUTTON, At(p)); }
  void Move(win::POINT p, win::WPARAM keys = win::MK_LBUTTON) { lv()->Perform(win::WM_MOUSEMOVE, keys, At(p)); }
  void Release(win::POINT p) { lv()->Perform(win::WM_LBUTTONUP, 0, At(p)); }
  void Click(win::POINT p) {
    Press(p);
    Release(p);
  }
  void Key(int key) { lv()->Perform(win::WM_KEYDOWN, static_cast<win::WPARAM>(key), 0); }
  TTouchItem* Focused() { return lv()->GetSelection()->GetFocusedItem(); }

  testing::ListviewOnForm host_{400, 300};
  TCustomImageList images_{nullptr, 32, 32};
  std::vector<TTouchItem*> items_;
  std::vector<std::string> log_;
};

TEST_F(ListviewInput, ClicksOnImageOrTextFocusSelectAndRaiseTheItemEvents) {
  struct Case {
    const char* part_name;
    win::RECT TTouchRectArrayObject::*part;
  };
  for (const Case& c : {Case{"image", &TTouchRectArrayObject::IconRect}, Case{"caption", &TTouchRectArrayObject::LabelRect}}) {
    SCOPED_TRACE(c.part_name);
    log_.clear();
    TTouchItem* item = items_[4];
    const win::POINT p = Centre(Part(item, c.part));
    Click(p);
    const std::string at = " " + std::to_string(p.x) + "," + std::to_string(p.y);
    EXPECT_EQ(log_, (std::vector<std::string>{"down 4 L" + at, "up 4 L" + at, "click 4 L" + at}));
    EXPECT_EQ(Focused(), item);
    EXPECT_TRUE(item->GetSelected());
    EXPECT_EQ(lv()->GetSelection()->GetCount(), 1);
    items_[4]->SetSelected(false);
    items_[0]->SetFocused(true);
  }
}

TEST_F(ListviewInput, AClickMovesTheSelectionAndOneOutsideEveryItemRaisesNothing) {
  Click(Centre(Part(items_[1], &TTouchRectArrayObject::IconRect)));
  Click(Centre(Part(items_[2], &TTouchRectArrayObject::IconRect)));
  EXPECT_FALSE(items_[1]->GetSelected());
  EXPECT_TRUE(items_[2]->GetSelected());
  log_.clear();
  Click({399, 299});
  EXPECT_TRUE(log_.empty());
  EXPECT_EQ(Focused(), items_[2]);
}

TEST_F(ListviewInput, AReleaseAwayFromThePressedItemIsNoClick) {
  Press(Centre(Part(items_[1], &TTouchRectArrayObject::IconRect)));
  const win::POINT other = Centre(Part(items_[2], &TTouchRectArrayObject::IconRect));
  Release(other);
  ASSERT_EQ(log_.size(), 2u);
  EXPECT_EQ(log_[1], "up 2 L " + std::to_string(other.x) + "," + std::to_string(other.y));
}

TEST_F(ListviewInput, TheApplicationMayRefuseTheFocusAndSwitchSelectionOff) {
  lv()->OnItemFocusChanging = [](TCustomTouchListview*, TTouchItem*, bool& allow) { allow = false; };
  lv()->GetSelection()->SetEnabled(false);
  Click(Centre(Part(items_[3], &TTouchRectArrayObject::IconRect)));
  EXPECT_EQ(Focused(), nullptr);
  EXPECT_FALSE(items_[3]->GetSelected());
  EXPECT_EQ(log_.size(), 3u);  // the click still counts
}

TEST_F(ListviewInput, ADoubleClickRaisesOneClickAndOneDoubleClick) {
  const win::POINT p = Centre(Part(items_[5], &TTouchRectArrayObject::IconRect));
  Click(p);
  Press(p, win::WM_LBUTTONDBLCLK);
  Release(p);
  const std::string at = " " + std::to_string(p.x) + "," + std::to_string(p.y);
  EXPECT_EQ(log_, (std::vector<std::string>{"down 5 L" + at, "up 5 L" + at, "click 5 L" + at,
                                            "down 5 L double" + at, "dblclick 5 L double" + at, "up 5 L" + at}));
}

TEST_F(ListviewInput, ACheckBoxTogglesOnlyOnReleaseOverTheSameBox) {
  struct Case {
    const char* name;
    int release_on;  // item whose box the release is over; -1 beside the box
    bool toggled;
  };
  for (const Case& c : {Case{"same box", 6, true}, Case{"beside", -1, false}, Case{"other box", 7, false}}) {
    SCOPED_TRACE(c.name);
    TTouchItem* item = items_[6];
    const bool before = item->GetChecked();
    const win::POINT box = Centre(Part(item, &TTouchRectArrayObject::CheckRect));
    Press(box);
    EXPECT_TRUE(item->GetCheckPending());
    EXPECT_EQ(lv()->GetCheckManager()->GetPendingObject(), item);
    const win::POINT release = c.release_on < 0 ? Centre(Part(item, &TTouchRectArrayObject::LabelRect))
                                                : Centre(Part(items_[c.release_on], &TTouchRectArrayObject::CheckRect));
    Move(release);
    // Pressed and off its own box, it shows hot.
    EXPECT_EQ(item->GetCheckHovering(), c.release_on != 6);
    Release(release);
    EXPECT_EQ(item->GetChecked(), c.toggled ? !before : before);
    EXPECT_FALSE(item->GetCheckPending());
    EXPECT_FALSE(item->GetCheckHovering());
    EXPECT_FALSE(items_[7]->GetChecked());
    EXPECT_EQ(Focused(), nullptr);  // a box press moves no focus
  }
}

TEST_F(ListviewInput, HotTrackingFollowsThePointerOverTrackedParts) {
  lv()->GetHotTrack()->SetEnabled(true);
  std::vector<std::string> hot;
  lv()->OnItemHotTrack = [&hot](TCustomTouchListview*, TTouchItem* item, TTouchHotTrackState state, win::POINT p) {
    hot.push_back(std::to_string(item->GetIndex()) + (state == ehsEnable ? " on " : " off ") + std::to_string(p.x) +
                  "," + std::to_string(p.y));
  };
  const win::POINT text = Centre(Part(items_[1], &TTouchRectArrayObject::LabelRect));
  Move(text, 0);
  EXPECT_EQ(lv()->GetHotTrack()->GetHotObject(), items_[1]);
  EXPECT_EQ(lv()->GetCursor(), crHandPoint);
  const win::POINT box = Centre(Part(items_[1], &TTouchRectArrayObject::CheckRect));
  Move(box, 0);  // the box is no tracked part, but its check shows hot
  EXPECT_TRUE(items_[1]->GetCheckHovering());
  Move({399, 299}, 0);
  EXPECT_FALSE(items_[1]->GetCheckHovering());
  EXPECT_EQ(lv()->GetCursor(), crDefault);
  const std::string at = std::to_string(text.x) + "," + std::to_string(text.y);
  EXPECT_EQ(hot, (std::vector<std::string>{"1 on " + at, "1 off 0,0"}));
}

// The nearest tile in a direction along `from`'s row or column, found from the cells alone.
TTouchItem* Neighbour(const std::vector<TTouchItem*>& items, TTouchItem* from, int dx, int dy) {
  const win::RECT& cell = from->GetDisplayRect();
  TTouchItem* nearest = nullptr;
  int nearest_distance = 0;
  for (TTouchItem* item : items) {
    const win::RECT& other = item->GetDisplayRect();
    const bool in_line = dx != 0 ? other.top == cell.top : other.left == cell.left;
    const int distance = dx != 0 ? (other.left - cell.left) * dx : (other.top - cell.top) * dy;
    if (!in_line || distance <= 0) continue;
    if (nearest == nullptr || distance < nearest_distance) {
      nearest = item;
      nearest_distance = distance;
    }
  }
  return nearest;
}

TEST_F(ListviewInput, ArrowKeysMoveFocusAndSelectionToTheNeighbourCell) {
  items_[0]->SetFocused(true);
  struct Case {
    int key;
    int dx, dy;
  };
  for (const Case& c : {Case{win::VK_RIGHT, 1, 0}, Case{win::VK_DOWN, 0, 1}, Case{win::VK_LEFT, -1, 0},
                        Case{win::VK_UP, 0, -1}}) {
    TTouchItem* from = Focused();
    TTouchItem* expected = Neighbour(items_, from, c.dx, c.dy);
    ASSERT_NE(expected, nullptr) << c.key;
    Key(c.key);
    EXPECT_EQ(Focused(), expected) << c.key;
    EXPECT_TRUE(expected->GetSelected());
    EXPECT_EQ(lv()->GetSelection()->GetCount(), 1);
  }
}

TEST_F(ListviewInput, HomeEndAndPageKeysReachTheEndsAndScrollThereIntoView) {
  lv()->SetBounds(0, 0, 400, 120);  // fewer rows than the items take
  lv()->GetGroups()->Rebuild(true);
  Key(win::VK_END);
  EXPECT_EQ(Focused(), items_.back());
  const int end_offset = lv()->GetScrollbars()->GetOffsetY();
  EXPECT_GT(end_offset, 0);
  Key(win::VK_HOME);
  EXPECT_EQ(Focused(), items_.front());
  EXPECT_LT(lv()->GetScrollbars()->GetOffsetY(), end_offset);
  Key(win::VK_NEXT);
  TTouchItem* paged = Focused();
  ASSERT_NE(paged, items_.front());
  EXPECT_GT(paged->GetDisplayRect().top, items_.front()->GetDisplayRect().top);
  Key(win::VK_PRIOR);
  EXPECT_EQ(Focused()->GetDisplayRect().top, items_.front()->GetDisplayRect().top);
}

TEST_F(ListviewInput, TheWheelScrollsOneCellPerNotchInTheChosenDirection) {
  lv()->SetBounds(0, 0, 400, 120);
  lv()->GetGroups()->Rebuild(true);
  const int cell_height = lv()->GetCellSizes()->GetTile()->GetHeight();
  const auto wheel = [this](int delta) {
    return lv()->Perform(win::WM_MOUSEWHEEL, static_cast<win::WPARAM>(static_cast<std::uint16_t>(delta)) << 16, 0);
  };
  EXPECT_EQ(wheel(-120), 1);
  EXPECT_EQ(lv()->GetScrollbars()->GetOffsetY(), cell_height);
  wheel(60);  // half a notch: kept for the next one
  EXPECT_EQ(lv()->GetScrollbars()->GetOffsetY(), cell_height);
  wheel(60);
  EXPECT_EQ(lv()->GetScrollbars()->GetOffsetY(), 0);
  lv()->SetWheelMouseDefaultScroll(edwsHorz);
  wheel(-120);
  EXPECT_EQ(lv()->GetScrollbars()->GetOffsetY(), 0);
}

// The edit manager switched on; each edit that begins is logged and ended at once.
class ClickToEdit : public ListviewInput {
 protected:
  void SetUp() override {
    ListviewInput::SetUp();
    lv()->GetEditManager()->SetEnabled(true);
    lv()->OnItemGetEditCaption = [this](TCustomTouchListview* sender, TTouchItem* item, TTouchColumn*, WideString&) {
      log_.push_back("edit " + std::to_string(item->GetIndex()));
      sender->GetEditManager()->EndEdit();
    };
    host_.form->Show();  // the edit box takes the focus
    log_.clear();
  }
  win::POINT Caption(TTouchItem* item) { return Centre(Part(item, &TTouchRectArrayObject::LabelRect)); }
  // The log's edit lines once the double-click time has passed.
  std::vector<std::string> EditsAfterWaiting() {
    testing::AdvanceAndPump(win::GetDoubleClickTime());
    std::vector<std::string> edits;
    for (const std::string& line : log_)
      if (line.rfind("edit", 0) == 0) edits.push_back(line);
    return edits;
  }

  win::ScopedFakeClock clock_;
};

TEST_F(ClickToEdit, AClickOnTheFocusedCaptionEditsOnceTheDoubleClickTimeHasPassed) {
  items_[2]->SetFocused(true);
  Click(Caption(items_[2]));
  testing::AdvanceAndPump(win::GetDoubleClickTime() - 1);
  EXPECT_EQ(log_.size(), 3u);  // down, up, click: no edit yet
  EXPECT_EQ(EditsAfterWaiting(), (std::vector<std::string>{"edit 2"}));
  EXPECT_FALSE(lv()->GetEditManager()->GetEditing());
  // The edit is not armed again by itself.
  EXPECT_EQ(EditsAfterWaiting(), (std::vector<std::string>{"edit 2"}));
}

TEST_F(ClickToEdit, NothingElseBeginsAnEdit) {
  struct Case {
    const char* name;
    std::function<void()> act;
  };
  const Case cases[] = {
      {"a click that focuses the item", [this] { Click(Caption(items_[2])); }},
      {"a click on the focused item's image",
       [this] {
         items_[2]->SetFocused(true);
         Click(Centre(Part(items_[2], &TTouchRectArrayObject::IconRect)));
       }},
      {"a double tap on the focused caption",
       [this] {
         items_[2]->SetFocused(true);
         const win::POINT p = Caption(items_[2]);
         Click(p);
         Press(p, win::WM_LBUTTONDBLCLK);
         Release(p);
       }},
      {"a right click on the focused caption",
       [this] {
         items_[2]->SetFocused(true);
         const win::POINT p = Caption(items_[2]);
         lv()->Perform(win::WM_RBUTTONDOWN, win::MK_RBUTTON, At(p));
         lv()->Perform(win::WM_RBUTTONUP, 0, At(p));
       }},
      {"the edit manager switched off",
       [this] {
         lv()->GetEditManager()->SetEnabled(false);
         items_[2]->SetFocused(true);
         Click(Caption(items_[2]));
       }},
      {"a key before the double-click time",
       [this] {
         items_[2]->SetFocused(true);
         Click(Caption(items_[2]));
         Key(win::VK_SHIFT);
       }},
      {"the focus moved away meanwhile",
       [this] {
         items_[2]->SetFocused(true);
         Click(Caption(items_[2]));
         items_[3]->SetFocused(true);
       }},
      {"the item freed meanwhile",
       [this] {
         items_[2]->SetFocused(true);
         Click(Caption(items_[2]));
         lv()->GetItems()->Clear();
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    c.act();
    EXPECT_EQ(EditsAfterWaiting(), std::vector<std::string>{});
    EXPECT_FALSE(lv()->GetEditManager()->GetEditing());
    if (lv()->GetItems()->GetCount() == 0) break;  // the last case
    lv()->GetEditManager()->SetEnabled(true);
    items_[0]->SetFocused(true);
    log_.clear();
  }
}

TEST_F(ClickToEdit, ADoubleTapStillRaisesTheDoubleClickAndAClickHandlerMayFreeTheItem) {
  items_[5]->SetFocused(true);
  const win::POINT p = Caption(items_[5]);
  Click(p);
  Press(p, win::WM_LBUTTONDBLCLK);
  Release(p);
  EXPECT_EQ(EditsAfterWaiting(), std::vector<std::string>{});
  EXPECT_NE(std::find(log_.begin(), log_.end(), "dblclick 5 L double " + std::to_string(p.x) + "," + std::to_string(p.y)),
            log_.end());
  lv()->OnItemClick = [this](TCustomTouchListview*, TTouchItem*, TMouseButton, TShiftState, win::POINT) {
    lv()->GetItems()->Clear();
  };
  Click(p);  // item 5 has the focus: the click arms an edit of an item its handler frees
  EXPECT_EQ(EditsAfterWaiting(), std::vector<std::string>{});
}

// A grid view whose header shows no column places no item: its keys have nowhere to go.
TEST(KeysWithNothingPlaced, MoveNothingAndRaiseNothing) {
  const struct {
    const char* name;
    int columns;
    bool hidden;
  } headers[] = {{"no column", 0, false}, {"every column hidden", 2, true}};
  const int keys[] = {win::VK_DOWN, win::VK_RIGHT, win::VK_NEXT, win::VK_UP,
                      win::VK_LEFT, win::VK_PRIOR, win::VK_HOME, win::VK_END};
  for (const auto& header : headers) {
    for (const bool with_focus : {false, true}) {
      SCOPED_TRACE(std::string(header.name) + (with_focus ? ", an item focused" : ", no focus"));
      testing::ListviewOnForm host(400, 300);
      TTouchListview* lv = host.listview;
      lv->SetView(elsGrid);
      std::vector<TTouchColumn*> columns;
      for (int i = 0; i < header.columns; ++i) columns.push_back(lv->GetHeader()->GetColumns()->AddColumn());
      for (TTouchColumn* column : columns) column->SetVisible(!header.hidden);
      std::vector<TTouchItem*> items;
      for (int i = 0; i < 4; ++i) items.push_back(lv->GetItems()->AddVirtual());
      lv->GetGroups()->Rebuild(true);
      ASSERT_EQ(items[1]->GetVisibleIndexInGroup(), -1);
      if (with_focus) items[1]->SetFocused(true);
      TTouchItem* focused = lv->GetSelection()->GetFocusedItem();
      for (int key : keys) {
        SCOPED_TRACE(key);
        EXPECT_NO_THROW(lv->Perform(win::WM_KEYDOWN, static_cast<win::WPARAM>(key), 0));
        EXPECT_EQ(lv->GetSelection()->GetFocusedItem(), focused);
        EXPECT_EQ(lv->GetSelection()->GetCount(), 0);
      }
      // Once a column shows, the items have cells and the keys move again.
      if (columns.empty()) columns.push_back(lv->GetHeader()->GetColumns()->AddColumn());
      columns[0]->SetVisible(true);
      lv->GetGroups()->Rebuild(true);
      lv->Perform(win::WM_KEYDOWN, win::VK_RIGHT, 0);
      EXPECT_EQ(lv->GetSelection()->GetFocusedItem(), with_focus ? items[2] : items[0]);
    }
  }
}

}  // namespace
}  // namespace dashtune
