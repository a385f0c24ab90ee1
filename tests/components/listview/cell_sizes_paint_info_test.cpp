// Cell sizes (defaults, SetSize rules, rebuilds), paint-info defaults and store-on-change
// repaints, margins, the group footer's fallback paint info, and hot tracking.
#include <gtest/gtest.h>

#include "components/listview/listview.h"
#include "listview_test_support.h"
#include "platform/user/input_state.h"
#include "platform/user/paint.h"

namespace dashtune {
namespace {

using testing::ListviewOnForm;

struct CellSizeCase {
  const char* view;
  TTouchCellSize* (TTouchCellSizes::*get)() const;
  const char* class_name;
  int width;
  int height;
  bool auto_size;
};

TEST(CellSizes, DefaultsPerView) {
  const CellSizeCase cases[] = {
      {"Icon", &TTouchCellSizes::GetIcon, "TTouchCellSizeIcon", 75, 75, false},
      {"SmallIcon", &TTouchCellSizes::GetSmallIcon, "TTouchCellSizeSmallIcon", 200, 17, false},
      {"List", &TTouchCellSizes::GetList, "TTouchCellSizeList", 200, 17, true},
      {"Report", &TTouchCellSizes::GetReport, "TTouchCellSizeReport", 75, 17, false},
      {"Thumbnail", &TTouchCellSizes::GetThumbnail, "TTouchCellSizeThumbnail", 125, 143, false},
      {"Tile", &TTouchCellSizes::GetTile, "TTouchCellSizeTile", 218, 58, false},
      {"FilmStrip", &TTouchCellSizes::GetFilmStrip, "TTouchCellSizeFilmStrip", 125, 143, false},
      {"Grid", &TTouchCellSizes::GetGrid, "TTouchCellGrid", 75, 17, false},
  };
  TTouchCellSizes sizes(nullptr);
  for (const CellSizeCase& c : cases) {
    const TTouchCellSize* size = (sizes.*c.get)();
    EXPECT_EQ(size->ClassName(), c.class_name) << c.view;
    EXPECT_EQ(size->GetWidth(), c.width) << c.view;
    EXPECT_EQ(size->GetHeight(), c.height) << c.view;
    EXPECT_EQ(size->GetAutoSize(), c.auto_size) << c.view;
  }
}

TEST(CellSizes, NegativesBecomeZeroAndReadAsOne) {
  TTouchCellSizeTile size(nullptr);
  size.SetSize(-5, 40);
  EXPECT_EQ(size.GetWidth(), 1);
  EXPECT_EQ(size.GetHeight(), 40);
  TTouchCellSizeTile copy(nullptr);
  copy.Assign(&size);
  EXPECT_EQ(copy.GetWidth(), 1);
  EXPECT_EQ(copy.GetHeight(), 40);
}

TEST(CellSizes, TheSameSizeTwiceRebuildsOnce) {
  ListviewOnForm host;
  int layouts = 0;
  TTouchGroup* group = host.listview->GetGroups()->AddGroup();
  group->SetGrid(std::make_unique<testing::TCountingGrid>(host.listview, group, &layouts));
  TTouchCellSize* tile = host.listview->GetCellSizes()->GetTile();
  tile->SetSize(300, 80);
  tile->SetSize(300, 80);
  EXPECT_EQ(layouts, 1);
  tile->SetWidth(301);
  EXPECT_EQ(layouts, 2);
  // Inside an update the layout waits for the last EndUpdate.
  host.listview->BeginUpdate();
  tile->SetHeight(90);
  EXPECT_EQ(layouts, 2);
  host.listview->EndUpdate();
  EXPECT_EQ(layouts, 3);
}

TEST(CellSizes, AControlWithoutWindowDoesNotLayOut) {
  TTouchListview listview(nullptr);
  int layouts = 0;
  TTouchGroup* group = listview.GetGroups()->AddGroup();
  group->SetGrid(std::make_unique<testing::TCountingGrid>(&listview, group, &layouts));
  listview.GetCellSizes()->GetTile()->SetSize(10, 10);
  listview.GetGroups()->Rebuild(true);
  EXPECT_EQ(layouts, 0);
}

TEST(PaintInfo, Defaults) {
  TTouchListview listview(nullptr);
  const TTouchPaintInfoItem* item = listview.GetPaintInfoItem();
  EXPECT_EQ(item->GetAlignment(), taLeftJustify);
  EXPECT_EQ(item->GetBorder(), 4);
  EXPECT_EQ(item->GetBorderColor(), clHighlight);
  EXPECT_EQ(item->GetCaptionIndent(), 4);
  EXPECT_EQ(item->GetCaptionLines(), 1);
  EXPECT_FALSE(item->GetCheckFlat());
  EXPECT_EQ(item->GetCheckIndent(), 2);
  EXPECT_EQ(item->GetCheckSize(), 12);
  EXPECT_EQ(item->GetCheckType(), ectNone);
  EXPECT_EQ(item->GetImageIndent(), 2);
  EXPECT_TRUE(item->GetShowBorder());
  EXPECT_EQ(item->GetVAlignment(), cvaCenter);
  EXPECT_EQ(item->GetGridLineColor(), clBtnFace);
  EXPECT_FALSE(item->GetGridLines());
  EXPECT_FALSE(item->GetHideCaption());
  EXPECT_EQ(item->GetTileDetailCount(), 1);

  const TTouchPaintInfoGroup* group = listview.GetPaintInfoGroup();
  EXPECT_TRUE(group->GetBandBlended());
  EXPECT_EQ(group->GetBandColor(), 0xFF0000);
  EXPECT_EQ(group->GetBandColorFade(), clWindow);
  EXPECT_TRUE(group->GetBandEnabled());
  EXPECT_FALSE(group->GetBandFullWidth());
  EXPECT_EQ(group->GetBandIndent(), 0);
  EXPECT_EQ(group->GetBandLength(), 300);
  EXPECT_EQ(group->GetBandMargin(), 2);
  EXPECT_EQ(group->GetBandRadius(), 4);
  EXPECT_EQ(group->GetBandThickness(), 3);
  EXPECT_TRUE(group->GetExpandable());
  EXPECT_EQ(group->GetExpandImageIndent(), 4);
  EXPECT_EQ(group->GetMarginTop()->GetSize(), 30);
  EXPECT_TRUE(group->GetMarginTop()->GetVisible());
  EXPECT_FALSE(group->GetMarginLeft()->GetVisible());
  EXPECT_EQ(group->GetMarginBottom()->GetCaptionIndent(), 2);
  EXPECT_EQ(group->GetMarginBottom()->GetImageIndex(), -1);

  const TTouchPaintInfoColumn* column = listview.GetPaintInfoColumn();
  EXPECT_EQ(column->GetColor(), clBtnFace);
  EXPECT_EQ(column->GetHilightFocusedColor(), 0xF7F7F7);
  EXPECT_TRUE(column->GetHotTrack());
  EXPECT_EQ(column->GetSortGlyphAlign(), esgaRight);
  EXPECT_EQ(column->GetSortGlyphIndent(), 2);
  EXPECT_EQ(column->GetStyle(), ehbsThick);
}

TEST(PaintInfo, ASetterRepaintsOnlyOnAChange) {
  ListviewOnForm host;
  host.form->Show();
  const win::HWND window = host.listview->GetHandle();
  win::UpdateWindow(host.form->GetHandle());
  win::RECT update{};
  host.listview->GetPaintInfoItem()->SetCaptionIndent(4);
  EXPECT_FALSE(win::GetUpdateRect(window, &update, win::FALSE));
  host.listview->GetPaintInfoItem()->SetCaptionIndent(9);
  EXPECT_TRUE(win::GetUpdateRect(window, &update, win::FALSE));
  EXPECT_EQ(host.listview->GetPaintInfoItem()->GetCaptionIndent(), 9);
}

TEST(PaintInfo, AssignCopiesTheBasicsButNotShowBorder) {
  TTouchPaintInfoItem source(nullptr), target(nullptr);
  source.SetBorder(9);
  source.SetCheckType(ectRadio);
  source.SetVAlignment(cvaBottom);
  source.SetShowBorder(false);
  target.Assign(&source);
  EXPECT_EQ(target.GetBorder(), 9);
  EXPECT_EQ(target.GetCheckType(), ectRadio);
  EXPECT_EQ(target.GetVAlignment(), cvaBottom);
  EXPECT_TRUE(target.GetShowBorder());
}

TEST(PaintInfo, AssigningAGroupPaintInfoCopiesIntoTheTargetsOwnMargins) {
  TTouchListview listview(nullptr);
  TTouchPaintInfoGroup source(&listview), target(&listview);
  source.SetBandLength(120);
  source.GetMarginTop()->SetSize(12);
  source.GetMarginLeft()->SetVisible(true);
  source.GetMarginBottom()->SetCaption(u"Fuß");
  TTouchMargin* own_top = target.GetMarginTop();
  target.Assign(&source);
  EXPECT_EQ(target.GetMarginTop(), own_top);
  EXPECT_EQ(own_top->GetSize(), 12);
  EXPECT_TRUE(target.GetMarginLeft()->GetVisible());
  EXPECT_EQ(target.GetMarginBottom()->GetCaption(), u"Fuß");
  EXPECT_EQ(target.GetBandLength(), 120);
}

TEST(PaintInfo, MarginSettersTakeOwnershipAndRefuseNil) {
  TTouchListview listview(nullptr);
  TTouchPaintInfoGroup info(&listview);
  auto replacement = std::make_unique<TTouchMargin>(&listview);
  replacement->SetSize(7);
  TTouchMargin* raw = replacement.get();
  info.SetMarginTop(std::move(replacement));
  EXPECT_EQ(info.GetMarginTop(), raw);
  info.SetMarginTop(nullptr);
  EXPECT_EQ(info.GetMarginTop(), raw);
  EXPECT_EQ(info.GetMarginTop()->GetSize(), 7);
}

TEST(PaintInfo, AFooterWithoutItsOwnInfoReadsAndWritesTheControlsFooter) {
  TTouchListview listview(nullptr);
  TCustomTouchFooterMargin* control_footer = listview.GetPaintInfoGroup()->GetMarginBottom();
  ASSERT_NE(control_footer->GetOwnPaintInfo(), nullptr);
  TCustomTouchFooterMargin footer(&listview);
  EXPECT_EQ(footer.GetOwnPaintInfo(), nullptr);
  footer.SetCaptionLines(3);
  EXPECT_EQ(control_footer->GetCaptionLines(), 3);
  control_footer->SetVAlignment(cvaTop);
  EXPECT_EQ(footer.GetVAlignment(), cvaTop);
  EXPECT_EQ(footer.GetOwnPaintInfo(), nullptr);
  // Replacing the control's footer with a bare one still leaves a paint info to read.
  listview.GetPaintInfoGroup()->SetMarginBottom(std::make_unique<TCustomTouchFooterMargin>(&listview));
  EXPECT_EQ(footer.GetCaptionIndent(), 2);
  EXPECT_NE(listview.GetPaintInfoGroup()->GetMarginBottom()->GetOwnPaintInfo(), nullptr);
}

TEST(Margins, CountOnlyWhenVisibleAndTheControlShowsGroupMargins) {
  TTouchListview listview(nullptr);
  TTouchGroup* group = listview.GetGroups()->AddGroup();
  EXPECT_EQ(group->MarginTopSize(), 0);
  listview.SetShowGroupMargins(true);
  EXPECT_EQ(group->MarginTopSize(), 30);
  EXPECT_EQ(group->MarginLeftSize(), 0);
  group->SetVisible(false);
  EXPECT_EQ(group->MarginTopSize(), 0);
}

TEST(HotTrack, ClearingTheHotObjectWhileDisabledStillClearsItsState) {
  ListviewOnForm host;
  TTouchListview* listview = host.listview;
  TTouchItem* item = listview->GetItems()->AddVirtual();
  std::vector<TTouchHotTrackState> states;
  listview->OnItemHotTrack = [&states](TCustomTouchListview*, TTouchItem*, TTouchHotTrackState state, win::POINT) {
    states.push_back(state);
  };
  TTouchHotTrackManager* hot = listview->GetHotTrack();
  hot->SetEnabled(true);
  hot->SetHotObject(item, {3, 4});
  EXPECT_TRUE(item->GetHotTracking());
  EXPECT_EQ(listview->GetCursor(), crHandPoint);
  EXPECT_EQ(win::GetCapture(), listview->GetHandle());
  hot->SetEnabled(false);
  hot->SetHotObject(nullptr, {0, 0});
  EXPECT_FALSE(item->GetHotTracking());
  EXPECT_EQ(listview->GetCursor(), crDefault);
  EXPECT_NE(win::GetCapture(), listview->GetHandle());
  EXPECT_EQ(states, (std::vector<TTouchHotTrackState>{ehsEnable, ehsDisable}));
}

TEST(HotTrack, CheckHoverMovesBetweenObjects) {
  TTouchListview listview(nullptr);
  TTouchItem* first = listview.GetItems()->AddVirtual();
  TTouchItem* second = listview.GetItems()->AddVirtual();
  listview.GetHotTrack()->SetCheckHoverObject(first);
  EXPECT_TRUE(first->GetCheckHovering());
  listview.GetHotTrack()->SetCheckHoverObject(second);
  EXPECT_FALSE(first->GetCheckHovering());
  EXPECT_TRUE(second->GetCheckHovering());
}

}  // namespace
}  // namespace dashtune
