// The column header beyond its layout: the column walks and the painting of the columns that
// meet an area, a double click on the bar, sorting and regrouping by a click, and the header's
// stream record.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "classlib/bitmap.h"
#include "components/listview/header.h"
#include "components/listview/listview.h"
#include "components/listview/sort.h"
#include "listview_test_support.h"

namespace dashtune {
namespace {

using testing::BytesOf;
using testing::ListviewOnForm;
using testing::WriteBytes;
using Bytes = std::vector<std::uint8_t>;

// A report list with a visible header (21 pixels) on a 400 x 300 client.
struct HeaderList {
  HeaderList() : host(400, 300) {
    listview()->SetView(elsReport);
    header()->SetVisible(true);
  }
  TTouchListview* listview() { return host.listview; }
  TTouchHeader* header() { return host.listview->GetHeader(); }
  TTouchColumnStored* AddColumn(int width, const char16_t* caption) {
    TTouchColumnStored* column = header()->GetColumns()->AddColumn();
    column->SetWidth(width);
    column->SetCaption(caption);
    return column;
  }
  std::string Name(TTouchColumn* column) { return column ? std::string(1, static_cast<char>(column->GetCaption()[0])) : "-"; }
  ListviewOnForm host;
};

TEST(ColumnWalks, ByIndexSkippingHiddenColumnsAndByMeetingAnArea) {
  HeaderList list;
  TTouchColumn* a = list.AddColumn(100, u"A");
  TTouchColumn* b = list.AddColumn(100, u"B");
  TTouchColumn* c = list.AddColumn(100, u"C");
  TTouchColumn* d = list.AddColumn(100, u"D");
  b->SetVisible(false);
  d->SetPosition(0);  // header order D A B C: D 0-100, A 100-200, B hidden, C 200-300
  list.header()->Rebuild(true);
  TTouchHeader* header = list.header();
  EXPECT_EQ(list.Name(header->FirstColumnByIndex()), "A");
  EXPECT_EQ(list.Name(header->LastColumnByIndex()), "D");
  EXPECT_EQ(list.Name(header->FirstColumn()), "D");
  EXPECT_EQ(list.Name(header->LastColumn()), "C");
  EXPECT_EQ(list.Name(header->NextColumn(a)), "C");
  EXPECT_EQ(list.Name(header->NextColumn(d)), "-");
  EXPECT_EQ(list.Name(header->PrevColumn(c)), "A");
  EXPECT_EQ(list.Name(header->PrevColumn(a)), "-");
  EXPECT_EQ(list.Name(header->NextColumn(nullptr)), "-");

  const struct {
    win::RECT area;
    std::string met;
  } areas[] = {
      {{0, 0, 400, 21}, "ACD"}, {{150, 0, 250, 21}, "AC"}, {{0, 0, 50, 21}, "D"},
      {{300, 0, 400, 21}, ""},  {{0, 30, 400, 40}, ""},    {{199, 5, 201, 6}, "AC"},
  };
  for (const auto& area : areas) {
    SCOPED_TRACE(testing::ShowRect(area.area));
    std::string met;
    for (TTouchColumn* column = header->FirstColumnInRect(area.area); column;
         column = header->NextColumnInRect(column, area.area))
      met += list.Name(column);
    EXPECT_EQ(met, area.met);
  }
  (void)c;
}

TEST(ColumnWalks, PaintingDrawsTheVisibleColumnsThatMeetTheArea) {
  HeaderList list;
  list.AddColumn(100, u"A");
  list.AddColumn(100, u"B")->SetVisible(false);
  list.AddColumn(100, u"C");
  list.header()->Rebuild(true);
  std::string painted;
  list.listview()->OnColumnPaintText = [&](TCustomTouchListview*, TTouchColumn* column, TCanvas*) {
    painted += list.Name(column);
  };
  TBitmap target;
  target.SetPixelFormat(pf32bit);
  target.SetSize(400, 21);
  const struct {
    win::RECT area;
    std::string painted;
  } areas[] = {{{0, 0, 400, 21}, "AC"}, {{120, 0, 130, 21}, "C"}, {{250, 0, 400, 21}, ""}};
  for (const auto& area : areas) {
    SCOPED_TRACE(area.painted);
    painted.clear();
    list.header()->PaintTo(target.GetCanvas(), area.area);
    EXPECT_EQ(painted, area.painted);
  }
}

TEST(HeaderDoubleClick, ABorderSizesItsColumnBeforeTheEventAndElsewhereOnlyTheEventRuns) {
  HeaderList list;
  list.listview()->GetFont()->SetName("Dashtune Fixed Metrics");
  list.listview()->GetFont()->SetHeight(20);
  list.header()->GetFont()->Assign(list.listview()->GetFont());
  TTouchColumnStored* column = list.AddColumn(40, u"Name");
  list.AddColumn(100, u"Other");
  TTouchItemStored* item = list.listview()->GetItems()->AddStored();
  item->SetCaption(u"A rather long caption");
  list.header()->Rebuild(true);
  std::vector<std::string> events;
  list.listview()->OnHeaderDblClick = [&](TCustomTouchListview*, TMouseButton button, win::POINT at, TShiftState) {
    events.push_back(std::to_string(at.x) + (button == mbLeft ? " left " : " right ") + std::to_string(column->GetWidth()));
  };
  list.header()->DoubleClick(mbLeft, {}, 80, 10);  // inside the second column
  list.header()->DoubleClick(mbLeft, {}, 39, 10);  // on the first column's right border
  TCanvas* canvas = list.listview()->GetCanvas();
  canvas->SetFont(list.listview()->GetFont());
  const int widest = canvas->TextWidth("A rather long caption");
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(events[0], "80 left 40");
  EXPECT_GT(column->GetWidth(), widest);
  EXPECT_EQ(events[1], "39 left " + std::to_string(column->GetWidth()));
  // Without AutoSizeOnDblClk the border leaves the width alone.
  column->SetAutoSizeOnDblClk(false);
  column->SetWidth(40);
  list.header()->Rebuild(true);
  list.header()->DoubleClick(mbLeft, {}, 39, 10);
  EXPECT_EQ(column->GetWidth(), 40);
}

// Stored items with the given captions in one group.
std::vector<std::u16string> CaptionsOf(TTouchListview* listview) {
  std::vector<std::u16string> captions;
  for (int i = 0; i < listview->GetItems()->GetCount(); ++i)
    captions.push_back(listview->GetItems()->GetItem(i)->GetCaption());
  return captions;
}

void Click(TTouchHeader* header, int x) {
  header->LeftButtonDown({}, x, 10);
  header->LeftButtonUp({}, x, 10);
}

TEST(HeaderClick, SortsByTheColumnThatAsksForIt) {
  HeaderList list;
  TTouchColumnStored* sorting = list.AddColumn(100, u"Name");
  list.AddColumn(100, u"Other");
  sorting->SetAutoSortOnClick(true);
  for (const char16_t* caption : {u"beta", u"Alpha", u"gamma"}) list.listview()->GetItems()->AddStored()->SetCaption(caption);
  list.header()->Rebuild(true);
  Click(list.header(), 150);  // the other column: no sort
  EXPECT_EQ(CaptionsOf(list.listview()), (std::vector<std::u16string>{u"beta", u"Alpha", u"gamma"}));
  Click(list.header(), 50);
  EXPECT_EQ(CaptionsOf(list.listview()), (std::vector<std::u16string>{u"Alpha", u"beta", u"gamma"}));
  Click(list.header(), 50);
  EXPECT_EQ(CaptionsOf(list.listview()), (std::vector<std::u16string>{u"gamma", u"beta", u"Alpha"}));
}

TEST(HeaderClick, RegroupsByTheColumnWithAutoRegroup) {
  HeaderList list;
  list.AddColumn(100, u"Name");
  for (const char16_t* caption : {u"beta", u"alpha", u"bravo"}) list.listview()->GetItems()->AddStored()->SetCaption(caption);
  list.listview()->GetSort()->SetAutoRegroup(true);
  list.listview()->GetSort()->SetAutoSort(true);
  list.header()->Rebuild(true);
  Click(list.header(), 50);
  std::vector<std::u16string> groups;
  for (int i = 0; i < list.listview()->GetGroups()->GetCount(); ++i) {
    TTouchGroup* group = list.listview()->GetGroups()->GetGroup(i);
    groups.push_back(group->GetCaption() + u":" + std::u16string(1, static_cast<char16_t>(u'0' + group->GetItemCount())));
  }
  EXPECT_EQ(groups, (std::vector<std::u16string>{u"A:1", u"B:2"}));
}

TEST(HeaderStream, TheColumnsRecordsRoundTrip) {
  HeaderList saved;
  TTouchColumnStored* first = saved.AddColumn(100, u"A");
  first->SetChecked(true);
  TTouchColumnStored* second = saved.AddColumn(100, u"Zw");
  second->SetBold(true);
  second->SetVisible(false);
  second->SetImageIndex(3);
  TMemoryStream stream;
  saved.header()->SaveToStream(&stream);
  const Bytes zero = {0, 0, 0, 0};
  Bytes expected = {4, 0, 0, 0, 2, 0, 0, 0};
  const auto record = [&expected, &zero](std::uint16_t state, const std::u16string& caption, int image) {
    const Bytes head = {0xFF, 0xFE, 0xCE, 0x00, 4, 0, 0, 0, static_cast<std::uint8_t>(state),
                        static_cast<std::uint8_t>(state >> 8), 1, 0, 0, 0, static_cast<std::uint8_t>(caption.size()), 0, 0, 0};
    expected.insert(expected.end(), head.begin(), head.end());
    for (char16_t c : caption) expected.insert(expected.end(), {static_cast<std::uint8_t>(c), 0});
    expected.insert(expected.end(), zero.begin(), zero.end());  // details
    if (image < 0) {
      expected.insert(expected.end(), zero.begin(), zero.end());
    } else {
      expected.insert(expected.end(), {1, 0, 0, 0, static_cast<std::uint8_t>(image), 0, 0, 0});
    }
    expected.insert(expected.end(), zero.begin(), zero.end());  // overlays
  };
  record(0x1101, u"A", -1);
  record(0x4100, u"Zw", 3);
  EXPECT_EQ(BytesOf(stream), expected);

  HeaderList loaded;
  loaded.AddColumn(70, u"X");
  stream.SetPosition(0);
  loaded.header()->LoadFromStream(&stream);
  TTouchColumns* columns = loaded.header()->GetColumns();
  ASSERT_EQ(columns->GetCount(), 2);
  EXPECT_EQ(columns->GetColumn(0)->GetCaption(), u"A");
  EXPECT_TRUE(columns->GetColumn(0)->GetChecked());
  EXPECT_EQ(columns->GetColumn(1)->GetCaption(), u"Zw");
  EXPECT_TRUE(columns->GetColumn(1)->GetBold());
  EXPECT_FALSE(columns->GetColumn(1)->GetVisible());
  EXPECT_EQ(columns->GetColumn(1)->GetImageIndex(), 3);
  EXPECT_EQ(loaded.header()->GetColumns()->GetPositions().GetCount(), 2);
}

}  // namespace
}  // namespace dashtune
