// Palettes: creation, entries, selection, the default and halftone sets, nearest index.
#include <gtest/gtest.h>

#include "gdi_test_support.h"

namespace win {
namespace {

using gdi_test::Canvas;

HPALETTE MakePalette(const std::vector<PALETTEENTRY>& entries) {
  std::vector<BYTE> memory(sizeof(LOGPALETTE) + entries.size() * sizeof(PALETTEENTRY));
  auto* palette = reinterpret_cast<LOGPALETTE*>(memory.data());
  palette->palVersion = 0x300;
  palette->palNumEntries = static_cast<WORD>(entries.size());
  PALETTEENTRY* first = palette->palPalEntry;
  std::copy(entries.begin(), entries.end(), first);
  return CreatePalette(palette);
}

struct NearestCase {
  COLORREF colour;
  UINT index;
};

class NearestPaletteIndex : public ::testing::TestWithParam<NearestCase> {};

TEST_P(NearestPaletteIndex, PicksTheClosestAndTheLowestIndexOnTies) {
  HPALETTE palette = MakePalette({{0, 0, 20, 0}, {10, 0, 0, 0}, {0, 10, 0, 0}, {10, 0, 0, 0}, {0, 0, 0, 0}});
  EXPECT_EQ(GetNearestPaletteIndex(palette, GetParam().colour), GetParam().index);
  DeleteObject(palette);
}

INSTANTIATE_TEST_SUITE_P(Colours, NearestPaletteIndex,
                         ::testing::Values(NearestCase{RGB(10, 0, 0), 1},       // exact, duplicated at 3
                                           NearestCase{RGB(5, 5, 0), 1},        // 1 and 2 equally near
                                           NearestCase{RGB(0, 0, 10), 0},       // 0 and 4 equally near
                                           NearestCase{RGB(0, 0, 1), 4},        // black is nearer
                                           NearestCase{RGB(0, 200, 0), 2},
                                           NearestCase{PALETTEINDEX(3), 3},     // an index names itself
                                           NearestCase{PALETTEINDEX(9), CLR_INVALID}));

TEST(Palette, DefaultPaletteHasTheTwentyStaticColours) {
  HPALETTE palette = static_cast<HPALETTE>(GetStockObject(DEFAULT_PALETTE));
  EXPECT_EQ(GetPaletteEntries(palette, 0, 0, nullptr), 20u);
  PALETTEENTRY entries[20];
  ASSERT_EQ(GetPaletteEntries(palette, 0, 20, entries), 20u);
  EXPECT_EQ(entries[0].peRed, 0);
  EXPECT_EQ(entries[7].peRed, 192);
  EXPECT_EQ(entries[8].peGreen, 220);
  EXPECT_EQ(entries[12].peBlue, 128);
  EXPECT_EQ(entries[19].peGreen, 255);
  // The stock palette cannot be changed.
  EXPECT_EQ(SetPaletteEntries(palette, 0, 1, entries), 0u);
  EXPECT_FALSE(ResizePalette(palette, 4));
}

TEST(Palette, HalftonePaletteHoldsTheColourCube) {
  HPALETTE palette = CreateHalftonePalette(nullptr);
  ASSERT_EQ(GetPaletteEntries(palette, 0, 0, nullptr), 256u);
  for (COLORREF c : {RGB(0, 0, 0), RGB(51, 102, 153), RGB(255, 255, 255), RGB(204, 0, 255)}) {
    const UINT index = GetNearestPaletteIndex(palette, c);
    PALETTEENTRY e;
    GetPaletteEntries(palette, index, 1, &e);
    EXPECT_EQ(RGB(e.peRed, e.peGreen, e.peBlue), c);
  }
  DeleteObject(palette);
}

TEST(Palette, EntriesCanBeReadWrittenAndResized) {
  HPALETTE palette = MakePalette({{1, 1, 1, 0}, {2, 2, 2, 0}});
  const PALETTEENTRY red{255, 0, 0, PC_NOCOLLAPSE};
  EXPECT_EQ(SetPaletteEntries(palette, 1, 5, &red), 1u);
  EXPECT_EQ(SetPaletteEntries(palette, 2, 1, &red), 0u);
  EXPECT_TRUE(ResizePalette(palette, 4));
  PALETTEENTRY read[4];
  EXPECT_EQ(GetPaletteEntries(palette, 0, 8, read), 4u);
  EXPECT_EQ(read[1].peRed, 255);
  EXPECT_EQ(read[1].peFlags, PC_NOCOLLAPSE);
  EXPECT_EQ(read[3].peRed, 0);
  EXPECT_FALSE(ResizePalette(palette, 0));
  EXPECT_FALSE(ResizePalette(palette, 100000));
  DeleteObject(palette);
}

TEST(Palette, RefusesEmptyAndOversizedPalettes) {
  EXPECT_EQ(MakePalette({}), nullptr);
  std::vector<PALETTEENTRY> many(5000);
  EXPECT_EQ(MakePalette(many), nullptr);
  EXPECT_EQ(CreatePalette(nullptr), nullptr);
}

TEST(Palette, SelectedPaletteResolvesPaletteIndexColours) {
  Canvas canvas(1, 1);
  HPALETTE palette = MakePalette({{0, 0, 0, 0}, {10, 20, 30, 0}});
  HPALETTE previous = SelectPalette(canvas.dc(), palette, FALSE);
  EXPECT_EQ(previous, GetStockObject(DEFAULT_PALETTE));
  EXPECT_EQ(GetCurrentObject(canvas.dc(), OBJ_PAL), palette);
  EXPECT_EQ(RealizePalette(canvas.dc()), 2u);
  HBRUSH brush = CreateSolidBrush(PALETTEINDEX(1));
  const RECT r{0, 0, 1, 1};
  FillRect(canvas.dc(), &r, brush);
  EXPECT_EQ(canvas.At(0, 0), 0x0A141Eu);
  EXPECT_EQ(SelectPalette(canvas.dc(), previous, FALSE), palette);
  EXPECT_EQ(RealizePalette(canvas.dc()), 0u);
  DeleteObject(brush);
  DeleteObject(palette);
}

}  // namespace
}  // namespace win
