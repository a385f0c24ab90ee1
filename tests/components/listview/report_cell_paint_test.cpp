// Report rows cell by cell: one rectangle set per header column, the focus frame of a full-cell
// row around its first cell only, and an edited cell whose text and highlight alone are left out,
// the row drawn into a bitmap.
#include <gtest/gtest.h>

#include <string>

#include "classlib/bitmap.h"
#include "components/listview/header_painter.h"
#include "components/listview/listview.h"
#include "components/listview/view_items.h"
#include "listview_test_support.h"

namespace dashtune {
namespace {

using testing::InsideLoop;
using testing::ListviewOnForm;

constexpr std::uint32_t kWhite = 0xFFFFFF;
// Screen colours of what a row draws: the first cell's text, the second cell's, the highlight.
constexpr std::uint32_t kFirstCellInk = 0x0000FF;
constexpr std::uint32_t kSecondCellInk = 0x008000;
constexpr std::uint32_t kHighlight = 0xFF0000;

bool Zeroed(const TTouchRectArrayObject& r) {
  const win::RECT parts[] = {r.LabelRect,      r.IconRect,          r.TextRect,      r.CheckRect,
                             r.BoundsRect,     r.IconBandRect,      r.ShortTextRect, r.FocusChangeInvalidRect,
                             r.FullTextRect,   r.SelectionRect,     r.FullFocusSelRect, r.ClickSelectBoundsRect,
                             r.DragSelectBoundsRect, r.StateRect, r.SortRect};
  for (const win::RECT& part : parts)
    if (part.left != 0 || part.top != 0 || part.right != 0 || part.bottom != 0) return false;
  return r.TextRects.empty();
}

// A shown report list of two columns (100 and 80 pixels), the header hidden: view and window
// coordinates agree.
class ReportCells : public ::testing::Test {
 protected:
  void SetUp() override {
    lv_->SetView(elsReport);
    lv_->GetFont()->SetName("Dashtune Fixed Metrics");
    lv_->GetFont()->SetHeight(12);
    lv_->GetHeader()->GetColumns()->AddColumn()->SetWidth(100);
    lv_->GetHeader()->GetColumns()->AddColumn()->SetWidth(80);
    lv_->OnItemGetCaption = [](TCustomTouchListview*, TTouchItem*, int column, WideString& caption) {
      caption = column == 0 ? u"Zeile" : u"12 kB";
    };
    lv_->OnItemPaintText = [](TCustomTouchListview*, TTouchItem*, int position, TCanvas* canvas) {
      canvas->GetFont()->SetColor(position == 0 ? clBlue : clGreen);
    };
    // The edit box takes the focus: the highlight looks the same either way.
    TTouchSelectionManager* selection = lv_->GetSelection();
    selection->SetColor(clRed);
    selection->SetBorderColor(clRed);
    selection->SetInactiveColor(clRed);
    selection->SetInactiveBorderColor(clRed);
    for (int i = 0; i < 3; ++i) lv_->GetItems()->AddVirtual();
    host_.form->Show();
    lv_->SetFocus();
  }
  TTouchItem* Item(int index) { return lv_->GetItems()->GetItem(index); }
  // Draws a row cell by cell into a white bitmap of the client's size, as the control does.
  void PaintRow(TTouchItem* item) {
    row_.SetPixelFormat(pf32bit);
    row_.SetSize(lv_->GetClientWidth(), lv_->GetClientHeight());
    row_.GetCanvas()->GetBrush()->SetStyle(bsSolid);
    row_.GetCanvas()->GetBrush()->SetColor(clWhite);
    row_.GetCanvas()->FillRect(win::RECT{0, 0, row_.GetWidth(), row_.GetHeight()});
    TTouchColumns* columns = lv_->GetHeader()->GetColumns();
    for (int c = 0; c < columns->GetCount(); ++c)
      item->Paint(row_.GetCanvas(), item->GetDisplayRect(), columns->GetColumn(c), false);
  }
  std::uint32_t Pixel(int x, int y) {
    const auto* p = static_cast<const std::uint8_t*>(row_.GetScanLine(y)) + x * 4;
    return static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[1]) << 8 | p[0];
  }
  // The pixels of a colour in the bitmap, and their bounds ("(l,t,r,b)"; "none" without any).
  std::string BoundsOf(bool (*wanted)(std::uint32_t)) {
    win::RECT bounds{};
    bool any = false;
    for (int y = 0; y < row_.GetHeight(); ++y)
      for (int x = 0; x < row_.GetWidth(); ++x) {
        if (!wanted(Pixel(x, y))) continue;
        bounds = any ? win::RECT{std::min<int>(bounds.left, x), std::min<int>(bounds.top, y),
                                 std::max<int>(bounds.right, x + 1), std::max<int>(bounds.bottom, y + 1)}
                     : win::RECT{x, y, x + 1, y + 1};
        any = true;
      }
    return any ? testing::ShowRect(bounds) : "none";
  }

  ListviewOnForm host_{300, 200};
  TTouchListview* lv_ = host_.listview;
  TBitmap row_;
};

TEST_F(ReportCells, BothPaintersSizeRectangleSetsToTheHeaderColumns) {
  TTouchColumns* columns = lv_->GetHeader()->GetColumns();
  const struct Case {
    const char* name;
    int columns;  // hidden ones count too
    int given;    // entries the list had, each with its bounds set
    std::size_t size;
    std::size_t kept;  // leading entries that keep their bounds
  } cases[] = {
      {"no columns: one zeroed entry", 0, 3, 1, 0},
      {"no columns, empty list", 0, 0, 1, 0},
      {"grows with zeroed entries", 3, 1, 3, 1},
      {"shrinks to the columns", 2, 4, 2, 2},
  };
  TTouchViewItem* item_painter = Item(0)->GetView();
  TTouchViewColumn* column_painter = lv_->GetHeader()->GetPainter();
  for (const Case& c : cases) {
    columns->Clear();
    for (int i = 0; i < c.columns; ++i) columns->AddColumn()->SetVisible(i != 1);
    for (const bool items : {true, false}) {
      SCOPED_TRACE(std::string(c.name) + (items ? " (items)" : " (columns)"));
      TTouchRectArrayObjectArray list(static_cast<std::size_t>(c.given));
      for (TTouchRectArrayObject& entry : list) entry.BoundsRect = {1, 2, 3, 4};
      if (items)
        item_painter->SizeRectArray(list);
      else
        column_painter->SizeRectArray(list);
      ASSERT_EQ(list.size(), c.size);
      for (std::size_t i = 0; i < list.size(); ++i) {
        if (i < c.kept)
          EXPECT_EQ(testing::ShowRect(list[i].BoundsRect), "(1,2,3,4)") << i;
        else
          EXPECT_TRUE(Zeroed(list[i])) << i;
      }
    }
  }
}

TEST_F(ReportCells, AFullCellFocusFrameSurroundsTheFirstCellOnly) {
  lv_->GetSelection()->SetUseFocusRect(true);
  lv_->GetSelection()->SetFullCellPaint(true);
  Item(1)->SetFocused(true);
  PaintRow(Item(1));
  const win::RECT row = Item(1)->GetDisplayRect();
  // The frame's dots: neither white nor text.
  const auto frame = [](std::uint32_t p) { return p != kWhite && p != kFirstCellInk && p != kSecondCellInk; };
  EXPECT_EQ(BoundsOf(frame), testing::ShowRect({0, row.top, 100, row.bottom}));
  // Both captions still show, the second beside the frame.
  EXPECT_NE(BoundsOf([](std::uint32_t p) { return p == kFirstCellInk; }), "none");
  EXPECT_NE(BoundsOf([](std::uint32_t p) { return p == kSecondCellInk; }), "none");
}

TEST_F(ReportCells, AnEditedCellAloneLeavesOutItsTextAndHighlight) {
  Item(0)->SetSelected(true);
  const auto first_text = [](std::uint32_t p) { return p == kFirstCellInk; };
  const auto second_text = [](std::uint32_t p) { return p == kSecondCellInk; };
  const auto highlight = [](std::uint32_t p) { return p == kHighlight; };
  const struct Case {
    const char* name;
    int edited_column;  // -1: the item's own caption (that of column index 0)
    bool first_shows, second_shows;
  } cases[] = {
      {"second column edited", 1, true, false},
      {"the item's caption edited", -1, false, true},
      {"first column edited", 0, false, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TTouchColumn* column = c.edited_column < 0 ? nullptr : lv_->GetHeader()->GetColumns()->GetColumn(c.edited_column);
    bool painted = false;
    InsideLoop inside;
    inside.Then([&] {
      painted = lv_->GetEditManager()->GetEditing();
      PaintRow(Item(0));
      win::PostMessageA(lv_->GetHandle(), listview::kEndEditMessage, 0, 0);
    });
    lv_->GetEditManager()->BeginEdit(Item(0), column);
    ASSERT_TRUE(painted);
    EXPECT_EQ(BoundsOf(first_text) != "none", c.first_shows);
    EXPECT_EQ(BoundsOf(highlight) != "none", c.first_shows);  // the highlight lies in the first cell
    EXPECT_EQ(BoundsOf(second_text) != "none", c.second_shows);
  }
  // Once the edit is over, the whole row shows again.
  PaintRow(Item(0));
  EXPECT_NE(BoundsOf(first_text), "none");
  EXPECT_NE(BoundsOf(second_text), "none");
  EXPECT_NE(BoundsOf(highlight), "none");
}

}  // namespace
}  // namespace dashtune
