// The support classes and the units' start: check-box colours per state, the alpha blender over
// areas and images (transparency kept), the selection group list's counting, the hint window's
// sizing and custom drawing, and what the common and list view units do at start and end.
#include <gtest/gtest.h>

#include <algorithm>

#include "classlib/bitmap.h"
#include "classlib/form.h"
#include "classlib/units.h"
#include "components/listview/common/common_utilities.h"
#include "components/listview/listview.h"
#include "components/listview/support.h"
#include "components/listview/unit_startup.h"
#include "components/listview/view_items.h"
#include "listview_test_support.h"
#include "platform/com/com_init.h"
#include "platform/ole/clipboard.h"
#include "platform/text/text.h"
#include "platform/user/cursors.h"
#include "platform/user/surfaces.h"

namespace dashtune {
namespace {

// 0xRRGGBB of a TColor.
std::uint32_t Rgb(TColor color) {
  const win::COLORREF c = ColorToRGB(color);
  return (c & 0xFF) << 16 | (c & 0xFF00) | (c >> 16 & 0xFF);
}

struct Canvas32 {
  Canvas32(int width, int height, TColor fill) {
    bitmap.SetPixelFormat(pf32bit);
    bitmap.SetSize(width, height);
    bitmap.GetCanvas()->GetBrush()->SetColor(fill);
    bitmap.GetCanvas()->FillRect(win::RECT{0, 0, width, height});
  }
  std::uint32_t At(int x, int y) {
    const auto* row = static_cast<const std::uint8_t*>(bitmap.GetScanLine(y));
    return static_cast<std::uint32_t>(row[x * 4 + 2]) << 16 | row[x * 4 + 1] << 8 | row[x * 4];
  }
  TBitmap bitmap;
};

std::uint8_t Mix(int colour, int pixel, int alpha) { return static_cast<std::uint8_t>((colour * alpha + pixel * (255 - alpha) + 127) / 255); }

std::uint32_t Mixed(std::uint32_t colour, std::uint32_t pixel, int alpha) {
  std::uint32_t result = 0;
  for (int shift : {0, 8, 16})
    result |= static_cast<std::uint32_t>(Mix(colour >> shift & 0xFF, pixel >> shift & 0xFF, alpha)) << shift;
  return result;
}

TEST(DrawCheckBox, ColoursPerState) {
  // The outer dark edge (left), the outer light edge (right), the inner dark edge and the interior.
  const struct {
    bool enabled, flat;
    TColor outer_dark, outer_light, inner_dark, interior;
  } cases[] = {
      {true, true, clBlack, clBlack, clBlack, clWhite},
      {true, false, clBtnShadow, clBtnHighlight, cl3DDkShadow, clWhite},
      {false, true, clBtnShadow, clBtnShadow, clBtnShadow, clBtnFace},
      {false, false, clBtnShadow, clBtnHighlight, cl3DDkShadow, clBtnFace},
  };
  TTouchListview listview(nullptr);
  TTouchOwnedPersistentView painter(&listview);
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.enabled) + std::to_string(c.flat));
    Canvas32 canvas(13, 13, clFuchsia);
    painter.DrawCheckBox(ectBox, {0, 0, 13, 13}, canvas.bitmap.GetCanvas(), false, c.enabled, false, false, c.flat);
    EXPECT_EQ(canvas.At(0, 6), Rgb(c.outer_dark));
    EXPECT_EQ(canvas.At(12, 6), Rgb(c.outer_light));
    EXPECT_EQ(canvas.At(1, 6), Rgb(c.inner_dark));
    EXPECT_EQ(canvas.At(6, 6), Rgb(c.interior));
  }
  Canvas32 untouched(13, 13, clFuchsia);
  painter.DrawCheckBox(ectNone, {0, 0, 13, 13}, untouched.bitmap.GetCanvas(), true, true, false, false, true);
  EXPECT_EQ(untouched.At(6, 6), Rgb(clFuchsia));
}

TEST(AlphaBlender, BlendsOverTheSelectedBitmapOnly) {
  TTouchListview listview(nullptr);
  listview.SetBounds(0, 0, 20, 20);
  TTouchAlphaBlender blender;
  Canvas32 canvas(10, 10, clWhite);
  blender.Blend(&listview, canvas.bitmap.GetCanvas(), false, 128, clRed, {0, 0, 5, 5});
  EXPECT_EQ(canvas.At(1, 1), Mixed(0xFF0000, 0xFFFFFF, 128));
  EXPECT_EQ(canvas.At(6, 6), 0xFFFFFFu);
  // Nothing without a control, an area or a bitmap.
  blender.Blend(nullptr, canvas.bitmap.GetCanvas(), false, 128, clBlue, {0, 0, 5, 5});
  blender.Blend(&listview, canvas.bitmap.GetCanvas(), false, 128, clBlue, {3, 3, 3, 9});
  EXPECT_EQ(canvas.At(1, 1), Mixed(0xFF0000, 0xFFFFFF, 128));
  TBitmap empty;
  blender.Blend(&listview, empty.GetCanvas(), false, 128, clBlue, {0, 0, 5, 5});
}

TEST(AlphaBlender, ViewCoordinatesAreClippedToTheBitmapInTheView) {
  testing::ListviewOnForm host(100, 100);
  host.listview->GetCellSizes()->GetTile()->SetSize(100, 500);
  host.listview->SetView(elsTile);
  host.listview->GetItems()->AddVirtual();
  host.listview->GetGroups()->Rebuild(true);
  host.listview->GetScrollbars()->SetOffsetY(50);
  TTouchAlphaBlender blender;
  Canvas32 canvas(10, 100, clWhite);
  // View rows 50 to 149 are the bitmap's rows; the rectangle stays in view coordinates.
  blender.Blend(host.listview, canvas.bitmap.GetCanvas(), true, 255, clBlack, {0, 0, 5, 60});
  EXPECT_EQ(canvas.At(1, 55), 0x000000u);
  EXPECT_EQ(canvas.At(1, 65), 0xFFFFFFu);
}

TEST(AlphaBlender, ImagesKeepTheirTransparentPixels) {
  TTouchListview listview(nullptr);
  TTouchItem* item = listview.GetItems()->AddVirtual();
  listview.GetSelection()->SetInactiveColor(clBlue);
  TBitmap image;
  image.SetPixelFormat(pf24bit);
  image.SetSize(4, 4);
  image.GetCanvas()->GetBrush()->SetColor(clRed);
  image.GetCanvas()->FillRect(win::RECT{0, 0, 4, 4});
  image.GetCanvas()->GetBrush()->SetColor(clFuchsia);
  image.GetCanvas()->FillRect(win::RECT{0, 0, 2, 4});
  image.SetTransparentColor(clFuchsia);
  image.SetTransparent(true);
  TTouchAlphaBlender blender;

  Canvas32 plain(8, 8, clWhite);
  blender.BlendImage(&listview, item, &image, {0, 0, 8, 8}, plain.bitmap.GetCanvas());
  EXPECT_EQ(plain.At(2, 2), 0xFFFFFFu);  // transparent
  EXPECT_EQ(plain.At(5, 2), 0xFF0000u);  // not selected: untinted

  item->SetSelected(true);
  Canvas32 tinted(8, 8, clWhite);
  blender.BlendImage(&listview, item, &image, {0, 0, 8, 8}, tinted.bitmap.GetCanvas());
  // The control has no focus: the disabled alpha with the inactive colour.
  EXPECT_EQ(tinted.At(2, 2), 0xFFFFFFu);
  EXPECT_EQ(tinted.At(5, 2), Mixed(0x0000FF, 0xFF0000, listview.GetDisabledBlendAlpha()));
}

TEST(AlphaBlender, TheItemsTintFollowsFocusAndState) {
  TTouchListview listview(nullptr);
  TTouchItem* item = listview.GetItems()->AddVirtual();
  int alpha = 0;
  TColor colour = clNone;
  EXPECT_FALSE(TTouchAlphaBlender::ItemBlend(&listview, item, alpha, colour));
  item->SetEnabled(false);
  EXPECT_TRUE(TTouchAlphaBlender::ItemBlend(&listview, item, alpha, colour));
  EXPECT_EQ(alpha, listview.GetDisabledBlendAlpha());
  EXPECT_EQ(colour, listview.GetSelection()->GetInactiveColor());
}

TEST(SelectionGroupList, TheLastReleaseFreesIt) {
  // LeakSanitizer reports the list if the last release does not free it.
  auto* list = new TTouchSelectionGroupList();
  list->AddRef();
  list->AddRef();
  list->Release();
  EXPECT_EQ(list->GetRefCount(), 1);
  list->Release();
}

TEST(SelectionGroups, AdjacentSelectedItemsShareOneList) {
  testing::ListviewOnForm host(300, 300);
  TTouchListview* listview = host.listview;
  listview->SetView(elsReport);
  for (int i = 0; i < 6; ++i) listview->GetItems()->AddVirtual();
  TTouchGroup* group = listview->GetGroups()->GetGroup(0);
  for (int i : {1, 2, 4}) group->GetItem(i)->SetSelected(true);
  listview->GetSelection()->SetGroupSelections(true);
  listview->GetGroups()->Rebuild(true);
  EXPECT_EQ(group->GetItem(0)->GetSelectionGroup(), nullptr);
  TTouchSelectionGroupList* pair = group->GetItem(1)->GetSelectionGroup();
  ASSERT_NE(pair, nullptr);
  EXPECT_EQ(group->GetItem(2)->GetSelectionGroup(), pair);
  EXPECT_EQ(pair->GetRefCount(), 2);
  EXPECT_EQ(pair->GetItems().GetCount(), 2);
  win::RECT united{};
  win::UnionRect(&united, &group->GetItem(1)->GetDisplayRect(), &group->GetItem(2)->GetDisplayRect());
  EXPECT_TRUE(win::EqualRect(&pair->GetDisplayRect(), &united));
  EXPECT_NE(group->GetItem(4)->GetSelectionGroup(), pair);
  EXPECT_EQ(group->GetItem(4)->GetSelectionGroup()->GetRefCount(), 1);
  group->GetItem(2)->SetSelected(false);
  EXPECT_EQ(group->GetItem(1)->GetSelectionGroup()->GetItems().GetCount(), 1);
  listview->GetSelection()->SetGroupSelections(false);
  EXPECT_EQ(group->GetItem(1)->GetSelectionGroup(), nullptr);
}

TEST(HintWindow, TextHintsAreMeasuredAndCustomHintsDrawnByTheHandler) {
  testing::ListviewOnForm host(200, 100);
  TTouchListview* listview = host.listview;
  TTouchItem* item = listview->GetItems()->AddVirtual();
  std::vector<std::string> calls;
  listview->OnHintCustomInfo = [&](TCustomTouchListview*, TTouchCollectionItem* target, TTouchHintInfo* info) {
    calls.push_back(target == item ? "info" : "info?");
    info->SetText(u"Geändert");
  };
  win::RECT drawn{};
  listview->OnHintCustomDraw = [&](TCustomTouchListview*, TTouchCollectionItem*, TTouchHintInfo* info) {
    calls.push_back("draw");
    drawn = info->GetBounds();
  };
  TTouchHintWindow hint(nullptr);
  hint.GetFont()->SetName("Dashtune Fixed Metrics");
  hint.GetFont()->SetHeight(10);
  TTouchHintInfoRec record;
  record.Listview = listview;
  record.TargetObj = item;
  record.HintType = ehtText;
  record.Text = u"Anfang";
  const win::RECT text_rect = hint.CalcHintRect(300, "", &record);
  EXPECT_EQ(record.Text, u"Geändert");
  win::RECT measured{0, 0, 300, 0};
  hint.GetCanvas()->SetFont(hint.GetFont());
  common::DrawCaptionText(hint.GetCanvas()->GetHandle(), u"Geändert", measured, -1,
                          common::dtLeft | common::dtCalcRect | common::dtCalcRectAdjR | common::dtWordBreak);
  EXPECT_EQ(text_rect.right, measured.right + 6);
  EXPECT_EQ(text_rect.bottom, measured.bottom + 2);

  record.HintType = ehtCustomDraw;
  const win::RECT custom_rect = hint.CalcHintRect(300, "", &record);
  EXPECT_EQ(custom_rect.right, 300);  // not measured
  hint.ActivateHintData({10, 10, 110, 40}, "", &record);
  ASSERT_TRUE(hint.GetVisible());
  hint.Repaint();
  EXPECT_EQ(calls, (std::vector<std::string>{"info", "info", "draw"}));
  win::RECT inner = hint.GetClientRect();
  win::InflateRect(&inner, -2, -2);
  EXPECT_TRUE(win::EqualRect(&drawn, &inner));
  win::WindowPixels pixels;
  ASSERT_TRUE(win::ReadWindowPixels(hint.GetHandle(), &pixels));
  // Only the handler draws: the window shows its background colour alone.
  const std::uint32_t background = pixels.At(1, 1);
  for (int y = 0; y < pixels.height; ++y)
    for (int x = 0; x < pixels.width; ++x) ASSERT_EQ(pixels.At(x, y), background) << x << "," << y;
}

TEST(HintWindow, ATextHintDrawsTheLinesItWasMeasuredWith) {
  // The fixed-metrics font at height 12 draws every character as a box 5 pixels wide on an
  // advance of 6, over the whole line height: a line's words are runs of boxes one blank column
  // apart, and a space leaves a whole advance more between words.
  constexpr int kLineHeight = 12;
  constexpr int kWordGap = 6;
  testing::ListviewOnForm host(200, 100);
  TTouchListview* listview = host.listview;
  TTouchItem* item = listview->GetItems()->AddVirtual();
  TTouchHintWindow hint(nullptr);
  hint.GetFont()->SetName("Dashtune Fixed Metrics");
  hint.GetFont()->SetHeight(kLineHeight);
  TTouchHintInfoRec record;
  record.Listview = listview;
  record.TargetObj = item;
  record.HintType = ehtText;
  record.Text = u"Rechnung 2024 und noch mehr";
  const win::RECT measured = hint.CalcHintRect(60, "", &record);
  ASSERT_EQ(measured.bottom, 3 * kLineHeight + 2);
  hint.ActivateHintData({10, 10, 10 + measured.right, 10 + measured.bottom}, "", &record);
  ASSERT_TRUE(hint.GetVisible());
  hint.Repaint();
  win::WindowPixels pixels;
  ASSERT_TRUE(win::ReadWindowPixels(hint.GetHandle(), &pixels));
  // Inside the window's one-pixel frame, left of the centred lines.
  const std::uint32_t background = pixels.At(1, 1);
  const auto inked = [&](int x, int y) { return pixels.At(x, y) != background; };
  int top = 1;
  while (top < pixels.height - 1 && [&] {
    for (int x = 2; x < pixels.width - 2; ++x)
      if (inked(x, top)) return false;
    return true;
  }())
    ++top;
  std::vector<std::vector<int>> lines;
  for (int line = 0; line < 3; ++line) {
    std::vector<int> words;
    int blank = kWordGap;
    for (int x = 2; x < pixels.width - 2; ++x) {
      if (!inked(x, top + line * kLineHeight + kLineHeight / 2)) {
        ++blank;
        continue;
      }
      if (blank >= kWordGap) words.push_back(0);
      if (blank > 0) ++words.back();
      blank = 0;
    }
    lines.push_back(words);
  }
  EXPECT_EQ(lines, (std::vector<std::vector<int>>{{8}, {4, 3}, {4, 4}}));  // "Rechnung" / "2024 und" / "noch mehr"
}

TEST(UnitStart, CommonUnitsAndTheListViewStartInOrder) {
  const std::vector<std::string> units = InitializedUnits();
  const std::vector<std::string> expected{"CommonUtilities", "CommonDataObject", "CommonObjects", "CommonThreadManager",
                                          "TouchListview"};
  std::vector<std::string> ours;
  std::copy_if(units.begin(), units.end(), std::back_inserter(ours),
               [&](const std::string& name) { return std::find(expected.begin(), expected.end(), name) != expected.end(); });
  EXPECT_EQ(ours, expected);
  EXPECT_EQ(win::OleInitializeCount(), 1u);
  for (const std::string_view name : common::kShellClipboardFormats) {
    SCOPED_TRACE(name);
    EXPECT_NE(common::ShellClipboardFormat(name), 0u);
    EXPECT_EQ(common::ShellClipboardFormat(name), win::RegisterClipboardFormatA(std::string(name).c_str()));
  }
  EXPECT_EQ(listview::HeaderClipboardFormat(), win::RegisterClipboardFormatA("TouchListview.Header"));
  EXPECT_EQ(Screen->GetCursors(listview::crHeaderSplit), listview::HeaderSplitCursor());
  EXPECT_NE(listview::SharedAlphaBlender(), nullptr);
  EXPECT_NE(common::UtilitiesPIDLManager(), nullptr);
  EXPECT_NE(common::ThreadManagerPIDLManager(), nullptr);
  EXPECT_TRUE(common::IsMultiThread());
  ASSERT_NE(common::MarlettFont(), nullptr);
  EXPECT_EQ(common::MarlettFont()->GetName(), "marlett");
}

TEST(UnitStart, EntryPointsTheLayerHasAreFoundTheOthersStayNil) {
  EXPECT_EQ(common::EntryPoint("DrawTextW"), reinterpret_cast<win::FARPROC>(&win::DrawTextW));
  EXPECT_NE(common::EntryPoint("lstrcmpiW"), nullptr);
  EXPECT_NE(common::EntryPoint("SHGetFileInfoW"), nullptr);
  EXPECT_EQ(common::EntryPoint("GetCurrentDirW"), nullptr);
  EXPECT_EQ(common::EntryPoint("PathMatchSpecW"), nullptr);
  EXPECT_EQ(common::EntryPoint("GetDiskFreeSpaceA"), nullptr);
  EXPECT_NE(common::ShellEntryPoint(21), nullptr);
  EXPECT_NE(common::ShellEntryPoint(23), nullptr);
  EXPECT_NE(common::ShellEntryPoint(716), nullptr);
  for (const char* module : {"shell32", "kernel32.dll", "USER32.DLL", "gdi32", "advapi32", "shlwapi"})
    EXPECT_NE(win::GetModuleHandleA(module), nullptr) << module;
}

TEST(UnitStart, TheSplitCursorIsInstalledFromItsBits) {
  win::CursorImage image;
  ASSERT_TRUE(win::GetCursorImage(listview::HeaderSplitCursor(), image));
  EXPECT_EQ(image.width, 32);
  EXPECT_EQ(image.height, 32);
  EXPECT_EQ(image.hot_x, 15);
  EXPECT_EQ(image.hot_y, 15);
  ASSERT_EQ(image.and_plane.size(), 128u);
  // Row 15: "......oXXXXXXXXooXXXXXXXXo......": x 0 transparent, x 6 white, x 7 black.
  const auto bit = [](const std::vector<win::BYTE>& plane, int x, int y) { return (plane[y * 4 + x / 8] >> (7 - x % 8)) & 1; };
  EXPECT_EQ(bit(image.and_plane, 0, 15), 1);
  EXPECT_EQ(bit(image.and_plane, 6, 15), 0);
  EXPECT_EQ(bit(image.xor_plane, 6, 15), 1);
  EXPECT_EQ(bit(image.and_plane, 7, 15), 0);
  EXPECT_EQ(bit(image.xor_plane, 7, 15), 0);
}

TEST(UnitStart, TheListViewUnitEndsAndStartsAgain) {
  listview::ListviewUnitFinalization();
  EXPECT_EQ(win::OleInitializeCount(), 0u);
  EXPECT_EQ(listview::HeaderSplitCursor(), nullptr);
  EXPECT_EQ(listview::HeaderClipboardFormat(), 0u);
  EXPECT_EQ(Screen->GetCursors(listview::crHeaderSplit), Screen->GetCursors(crDefault));
  listview::ListviewUnitFinalization();  // once only
  listview::ListviewUnitInitialization();
  listview::ListviewUnitInitialization();
  EXPECT_EQ(win::OleInitializeCount(), 1u);
  EXPECT_EQ(Screen->GetCursors(listview::crHeaderSplit), listview::HeaderSplitCursor());
}

}  // namespace
}  // namespace dashtune
