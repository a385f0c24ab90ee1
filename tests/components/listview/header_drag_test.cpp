// Header drag by posted mouse messages (reorder, dropping on the dragged column, below the
// header, Escape), the drag record's checks on drag enter, the drag image, and the item drag
// manager's start (OLE with the application's data object, an empty image, the class library).
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "classlib/forms.h"
#include "components/listview/drag_managers.h"
#include "components/listview/header.h"
#include "components/listview/listview.h"
#include "listview_test_support.h"
#include "platform_test_support.h"
#include "platform/com/com_init.h"
#include "platform/core/process.h"
#include "platform/ole/clipboard.h"
#include "platform/ole/global_memory.h"
#include "platform/user/messages.h"
#include "platform/user/virtual_keys.h"

namespace dashtune {
namespace {

win::LPARAM At(int x, int y) { return win::MAKELPARAM(static_cast<win::WORD>(x), static_cast<win::WORD>(y)); }

struct DragEnd {
  TTouchDragResult result;
  win::DROPEFFECT effect;
  win::IDataObject* data;
};

// A shown report list, far from other tests' windows, with three 100-pixel columns "A", "B",
// "C" in a draggable header of height 21.
class HeaderDrag : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(win::SUCCEEDED(win::OleInitialize(nullptr)));
    host_.form->SetBounds(5000, 5000, 420, 320);
    host_.form->Show();
    lv()->RegisterDropTarget();  // the window may have come before OLE was initialised
    lv()->SetView(elsReport);
    header()->SetVisible(true);
    header()->SetDraggable(true);
    for (const char16_t* caption : {u"A", u"B", u"C"}) {
      TTouchColumn* column = header()->GetColumns()->AddColumn();
      column->SetCaption(caption);
      column->SetWidth(100);
    }
    header()->Rebuild(true);
    header()->GetDragManager()->OnDragEnd = [this](TCustomTouchDragManagerBase*, win::IDataObject* data, win::DWORD,
                                                    TTouchDragResult result, win::DROPEFFECT effect) {
      ends_.push_back({result, effect, data});
      if (auto* own = dynamic_cast<TTouchDataObjectManager*>(data)) image_ = own->GetDragImage();
    };
  }
  void TearDown() override {
    host_.form.reset();
    win::OleUninitialize();
  }

  TTouchListview* lv() { return host_.listview; }
  TTouchHeader* header() { return lv()->GetHeader(); }
  std::string Order() {
    std::string order;
    const TList& positions = header()->GetColumns()->GetPositions();
    for (int i = 0; i < positions.GetCount(); ++i) {
      const WideString caption = static_cast<TTouchColumn*>(positions.Get(i))->GetCaption();
      order += static_cast<char>(caption[0]);
    }
    return order;
  }
  bool AnyDropMark() {
    for (int i = 0; i < header()->GetColumns()->GetCount(); ++i)
      if (header()->GetColumns()->GetColumn(i)->GetDropMark()) return true;
    return false;
  }
  void Post(win::UINT message, win::WPARAM keys, int x, int y) {
    win::PostMessageA(lv()->GetHandle(), message, keys, At(x, y));
  }
  // Presses column A at (50, 10), drags past the threshold, then follows `path` and releases at
  // its last point.
  void DragAlong(const std::vector<win::POINT>& path) {
    Post(win::WM_LBUTTONDOWN, win::MK_LBUTTON, 50, 10);
    Post(win::WM_MOUSEMOVE, win::MK_LBUTTON, 60, 10);
    for (const win::POINT& p : path) Post(win::WM_MOUSEMOVE, win::MK_LBUTTON, p.x, p.y);
    Post(win::WM_LBUTTONUP, 0, path.back().x, path.back().y);
    Pump();
  }
  void Pump() { testing::PumpPending(); }

  testing::ListviewOnForm host_{400, 300};
  std::vector<DragEnd> ends_;
  win::SHDRAGIMAGE image_;
};

TEST_F(HeaderDrag, DroppingOnAnotherButtonReordersAndEndsAsDropped) {
  DragAlong({{150, 10}, {250, 12}});
  EXPECT_EQ(Order(), "BCA");
  ASSERT_EQ(ends_.size(), 1u);
  EXPECT_EQ(ends_[0].result, edrDropped);
  EXPECT_EQ(ends_[0].effect, win::DROPEFFECT_MOVE);
  EXPECT_FALSE(AnyDropMark());
  EXPECT_EQ(header()->GetMouseState(), 0);
  EXPECT_FALSE(lv()->GetMouseCapture());
}

TEST_F(HeaderDrag, OutcomesByWhereTheButtonIsReleased) {
  struct Case {
    const char* name;
    std::vector<win::POINT> path;
    const char* order;
    TTouchDragResult result;
  };
  const Case cases[] = {
      {"on the dragged column", {{70, 10}}, "ABC", edrDropped},
      {"below the header", {{250, 10}, {250, 100}}, "ABC", edrCancelled},
      {"onto the first", {{250, 10}, {20, 10}}, "ABC", edrDropped},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ends_.clear();
    DragAlong(c.path);
    EXPECT_EQ(Order(), c.order);
    ASSERT_EQ(ends_.size(), 1u);
    EXPECT_EQ(ends_[0].result, c.result);
    EXPECT_FALSE(AnyDropMark());
  }
}

TEST_F(HeaderDrag, EscapeCancels) {
  Post(win::WM_LBUTTONDOWN, win::MK_LBUTTON, 50, 10);
  Post(win::WM_MOUSEMOVE, win::MK_LBUTTON, 60, 10);
  Post(win::WM_MOUSEMOVE, win::MK_LBUTTON, 250, 10);
  Post(win::WM_KEYDOWN, win::VK_ESCAPE, 0, 0);
  Post(win::WM_LBUTTONUP, 0, 250, 10);
  Pump();
  EXPECT_EQ(Order(), "ABC");
  ASSERT_EQ(ends_.size(), 1u);
  EXPECT_EQ(ends_[0].result, edrCancelled);
  EXPECT_EQ(ends_[0].effect, win::DROPEFFECT_NONE);
  EXPECT_FALSE(AnyDropMark());
}

TEST_F(HeaderDrag, TheDragImageShowsTheDraggedButtonWithTheHotSpotUnderThePointer) {
  DragAlong({{250, 10}});
  EXPECT_EQ(image_.sizeDragImage.cx, 100);
  EXPECT_EQ(image_.sizeDragImage.cy, 21);
  EXPECT_EQ(image_.ptOffset.x, 50);  // pressed at (50, 10) in a button starting at 0
  EXPECT_EQ(image_.ptOffset.y, 10);
  EXPECT_NE(image_.hbmpDragImage, nullptr);
}

TEST_F(HeaderDrag, DisabledHeaderDragStartsNothing) {
  header()->SetDraggable(false);
  DragAlong({{250, 10}});
  EXPECT_EQ(Order(), "ABC");
  EXPECT_TRUE(ends_.empty());
}

// A data object holding `record` (of `size` bytes) under the header format.
win::ComPtr<win::DataObject> RecordObject(const listview::THeaderDragRecord& record, size_t size) {
  auto data = win::MakeCom<win::DataObject>();
  win::HGLOBAL block = win::GlobalAlloc(win::GHND, size);
  std::memcpy(win::GlobalLock(block), &record, std::min(size, sizeof record));
  win::GlobalUnlock(block);
  win::FORMATETC format;
  format.cfFormat = static_cast<win::CLIPFORMAT>(win::RegisterClipboardFormatA("TouchListview.Header"));
  win::STGMEDIUM medium{win::TYMED_HGLOBAL, block, nullptr};
  data->SetData(&format, &medium, win::TRUE);
  return data;
}

TEST_F(HeaderDrag, DragEnterRefusesRecordsOfOthers) {
  TTouchListview other(nullptr);
  TTouchColumn* column = header()->GetColumns()->GetColumn(0);
  struct Case {
    const char* name;
    listview::THeaderDragRecord record;
    size_t size;
    win::DROPEFFECT expected;
  };
  const Case cases[] = {
      {"own", {win::GetCurrentThread(), lv(), column}, sizeof(listview::THeaderDragRecord), win::DROPEFFECT_MOVE},
      {"other control", {win::GetCurrentThread(), &other, column}, sizeof(listview::THeaderDragRecord),
       win::DROPEFFECT_NONE},
      {"other thread", {reinterpret_cast<win::HANDLE>(1), lv(), column}, sizeof(listview::THeaderDragRecord),
       win::DROPEFFECT_NONE},
      {"short record", {win::GetCurrentThread(), lv(), column}, 12, win::DROPEFFECT_NONE},
      {"long record", {win::GetCurrentThread(), lv(), column}, sizeof(listview::THeaderDragRecord) + 4,
       win::DROPEFFECT_NONE},
  };
  TTouchHeaderDragManager* manager = header()->GetDragManager();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto data = RecordObject(c.record, c.size);
    win::DROPEFFECT effect = win::DROPEFFECT_MOVE;
    manager->DragEnter(data.Get(), win::MK_LBUTTON, {150, 10}, effect);
    EXPECT_EQ(effect, c.expected);
    EXPECT_EQ(manager->GetDropTargetColumn() != nullptr, c.expected != win::DROPEFFECT_NONE);
    manager->DragLeave();
  }
  const auto plain = win::MakeCom<win::DataObject>();
  win::DROPEFFECT effect = win::DROPEFFECT_MOVE;
  manager->DragEnter(plain.Get(), 0, {150, 10}, effect);
  EXPECT_EQ(effect, win::DROPEFFECT_NONE);
}

TEST_F(HeaderDrag, ADropMovesTheManagersOwnColumnNotTheOneTheRecordNames) {
  TTouchHeaderDragManager* manager = header()->GetDragManager();
  TTouchColumn* a = header()->GetColumns()->GetColumn(0);
  TTouchColumn* b = header()->GetColumns()->GetColumn(1);
  manager->SetColumn(b);
  const auto data = RecordObject({win::GetCurrentThread(), lv(), a}, sizeof(listview::THeaderDragRecord));
  win::DROPEFFECT effect = win::DROPEFFECT_MOVE;
  manager->DragEnter(data.Get(), win::MK_LBUTTON, {250, 10}, effect);
  manager->DragDrop(0, {250, 10}, effect);
  EXPECT_EQ(Order(), "ACB");
  manager->SetColumn(nullptr);
}

// The item drag manager on a tile list: a press on an item and a move past the threshold.
class ItemDrag : public HeaderDrag {
 protected:
  void SetUp() override {
    HeaderDrag::SetUp();
    lv()->SetView(elsList);
    lv()->OnItemGetCaption = [](TCustomTouchListview*, TTouchItem*, int, WideString& caption) { caption = u"Item"; };
    item_ = lv()->GetItems()->AddVirtual();
    lv()->GetGroups()->Rebuild(true);
    manager()->SetEnabled(true);
    manager()->OnDragEnd = [this](TCustomTouchDragManagerBase*, win::IDataObject* data, win::DWORD, TTouchDragResult result,
                                  win::DROPEFFECT effect) { ends_.push_back({result, effect, data}); };
  }
  TTouchOLEDragManager* manager() { return lv()->GetDragManager(); }
  void DragItem() {
    TTouchRectArrayObject rects;
    item_->ItemRects(nullptr, lv()->GetCanvas(), rects);
    const win::RECT text = lv()->GetScrollbars()->MapViewRectToWindow(rects.TextRect);
    const int x = (text.left + text.right) / 2, y = (text.top + text.bottom) / 2;
    Post(win::WM_LBUTTONDOWN, win::MK_LBUTTON, x, y);
    Post(win::WM_MOUSEMOVE, win::MK_LBUTTON, x + 30, y);
    Post(win::WM_MOUSEMOVE, win::MK_LBUTTON, x + 40, y);
    Post(win::WM_LBUTTONUP, 0, x + 40, y);
    Pump();
  }
  TTouchItem* item_ = nullptr;
};

TEST_F(ItemDrag, UsesTheApplicationsDataObjectAndEndsCancelledWhereNothingTakesIt) {
  const auto app_data = win::MakeCom<win::DataObject>();
  lv()->OnOLEGetDataObject = [&](TCustomTouchListview*, win::ComPtr<win::IDataObject>& data) { data = app_data; };
  int clicks = 0;
  lv()->OnItemClick = [&](TCustomTouchListview*, TTouchItem*, TMouseButton, TShiftState, win::POINT) { ++clicks; };
  DragItem();
  ASSERT_EQ(ends_.size(), 1u);
  EXPECT_EQ(ends_[0].result, edrCancelled);
  EXPECT_EQ(ends_[0].data, app_data.Get());
  EXPECT_EQ(clicks, 0);  // the release belonged to the drag
  EXPECT_FALSE(lv()->GetMouseCapture());
}

TEST_F(ItemDrag, AnEmptyDragImageIsSkippedAndTheDragStillRuns) {
  manager()->SetDragImageWidth(0);
  int image_requests = 0;
  manager()->OnGetDragImage = [&](TBitmap*, win::POINT&, bool&) { ++image_requests; };
  DragItem();
  EXPECT_EQ(image_requests, 0);
  EXPECT_EQ(ends_.size(), 1u);
  manager()->SetDragImageWidth(20);
  ends_.clear();
  DragItem();
  EXPECT_EQ(image_requests, 1);
  EXPECT_EQ(ends_.size(), 1u);
}

TEST_F(ItemDrag, TheClassLibrarysDraggingStopsTheControlBeingADropTarget) {
  manager()->SetDragType(edtClassLib);
  // Revoked: the window takes a new registration.
  auto probe = win::MakeCom<TTouchDropTarget>(nullptr);
  EXPECT_EQ(win::RegisterDragDrop(lv()->GetHandle(), probe.Get()), win::S_OK);
  win::RevokeDragDrop(lv()->GetHandle());
  int starts = 0;
  lv()->OnStartDrag = [&](TObject*) { ++starts; };
  DragItem();
  EXPECT_EQ(starts, 1);
  EXPECT_FALSE(lv()->Dragging());
  EXPECT_TRUE(ends_.empty());  // no OLE drag ran
  manager()->SetDragType(edtOLE);
  EXPECT_EQ(win::RegisterDragDrop(lv()->GetHandle(), probe.Get()), win::DRAGDROP_E_ALREADYREGISTERED);
}

}  // namespace
}  // namespace dashtune
