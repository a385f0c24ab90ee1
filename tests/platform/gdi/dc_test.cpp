// Device contexts and the object table.
#include <gtest/gtest.h>

#include <set>
#include <thread>

#include "gdi_test_support.h"
#include "platform/gdi/dc_access.h"

namespace win {
namespace {

using gdi_test::Canvas;

TEST(DeviceContext, StartsWithTheStockObjectsAndDefaultState) {
  HDC dc = CreateCompatibleDC(nullptr);
  ASSERT_NE(dc, nullptr);
  EXPECT_EQ(GetObjectType(dc), OBJ_MEMDC);
  EXPECT_EQ(GetCurrentObject(dc, OBJ_PEN), GetStockObject(BLACK_PEN));
  EXPECT_EQ(GetCurrentObject(dc, OBJ_BRUSH), GetStockObject(WHITE_BRUSH));
  EXPECT_EQ(GetCurrentObject(dc, OBJ_PAL), GetStockObject(DEFAULT_PALETTE));
  EXPECT_EQ(GetCurrentObject(dc, OBJ_FONT), GetStockObject(SYSTEM_FONT));
  EXPECT_EQ(GetObjectType(GetCurrentObject(dc, OBJ_FONT)), OBJ_FONT);
  BITMAP bm;
  ASSERT_EQ(GetObject(GetCurrentObject(dc, OBJ_BITMAP), sizeof(bm), &bm), static_cast<int>(sizeof(BITMAP)));
  EXPECT_EQ(bm.bmWidth, 1);
  EXPECT_EQ(bm.bmBitsPixel, 1);
  EXPECT_EQ(GetBkColor(dc), RGB(255, 255, 255));
  EXPECT_EQ(GetTextColor(dc), RGB(0, 0, 0));
  EXPECT_EQ(GetBkMode(dc), OPAQUE);
  EXPECT_EQ(GetStretchBltMode(dc), BLACKONWHITE);
  EXPECT_EQ(GetROP2(dc), R2_COPYPEN);
  DeleteDC(dc);
}

TEST(DeviceContext, SettersAnswerThePreviousValue) {
  HDC dc = CreateCompatibleDC(nullptr);
  EXPECT_EQ(SetBkColor(dc, RGB(1, 2, 3)), RGB(255, 255, 255));
  EXPECT_EQ(SetBkColor(dc, 0), RGB(1, 2, 3));
  EXPECT_EQ(SetTextColor(dc, RGB(4, 5, 6)), RGB(0, 0, 0));
  EXPECT_EQ(SetBkMode(dc, TRANSPARENT), OPAQUE);
  EXPECT_EQ(SetBkMode(dc, 77), 0);
  EXPECT_EQ(SetStretchBltMode(dc, COLORONCOLOR), BLACKONWHITE);
  EXPECT_EQ(SetROP2(dc, R2_XORPEN), R2_COPYPEN);
  POINT previous;
  EXPECT_TRUE(SetWindowOrgEx(dc, 3, 4, &previous));
  EXPECT_EQ(previous.x, 0);
  EXPECT_TRUE(OffsetViewportOrgEx(dc, 1, 1, nullptr));
  EXPECT_TRUE(OffsetViewportOrgEx(dc, 1, 2, &previous));
  EXPECT_EQ(previous.x, 1);
  POINT origin;
  EXPECT_TRUE(GetViewportOrgEx(dc, &origin));
  EXPECT_EQ(origin.x, 2);
  EXPECT_EQ(origin.y, 3);
  DeleteDC(dc);
  // A deleted context refuses everything.
  EXPECT_EQ(SetBkColor(dc, 0), CLR_INVALID);
  EXPECT_FALSE(DeleteDC(dc));
}

TEST(DeviceContext, OriginsMoveDrawing) {
  Canvas canvas(4, 4);
  canvas.Fill(0);
  SetWindowOrgEx(canvas.dc(), 1, 0, nullptr);
  SetViewportOrgEx(canvas.dc(), 0, 2, nullptr);
  // device = logical - window origin + viewport origin
  SetPixel(canvas.dc(), 2, 0, RGB(255, 255, 255));
  EXPECT_EQ(canvas.At(1, 2), 0xFFFFFFu);
}

TEST(DeviceContext, SaveAndRestoreBringBackTheState) {
  Canvas canvas(2, 2);
  const int level = SaveDC(canvas.dc());
  ASSERT_EQ(level, 1);
  HBRUSH brush = CreateSolidBrush(RGB(9, 9, 9));
  HGDIOBJ old = SelectObject(canvas.dc(), brush);
  SetBkColor(canvas.dc(), RGB(1, 1, 1));
  IntersectClipRect(canvas.dc(), 0, 0, 1, 1);
  EXPECT_EQ(SaveDC(canvas.dc()), 2);
  EXPECT_TRUE(RestoreDC(canvas.dc(), -2));
  EXPECT_EQ(GetCurrentObject(canvas.dc(), OBJ_BRUSH), old);
  EXPECT_EQ(GetBkColor(canvas.dc()), RGB(255, 255, 255));
  RECT box;
  EXPECT_EQ(GetClipBox(canvas.dc(), &box), SIMPLEREGION);
  EXPECT_EQ(box.right, 2);
  EXPECT_FALSE(RestoreDC(canvas.dc(), 1));  // nothing saved any more
  DeleteObject(brush);
}

TEST(ObjectTable, HandlesAreNeverReused) {
  std::set<HGDIOBJ> seen;
  for (int i = 0; i < 100; ++i) {
    HBRUSH brush = CreateSolidBrush(RGB(i, 0, 0));
    EXPECT_TRUE(seen.insert(brush).second);
    EXPECT_TRUE(DeleteObject(brush));
    EXPECT_FALSE(DeleteObject(brush));
    EXPECT_EQ(GetObjectType(brush), 0u);
  }
}

TEST(ObjectTable, ThreadsCreatingAndDrawingAtOnceGetDistinctHandles) {
  constexpr int kThreads = 4;
  constexpr int kObjects = 200;
  std::vector<std::vector<HGDIOBJ>> handles(kThreads);
  std::vector<std::uint32_t> corner(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t, &handles, &corner] {
      Canvas canvas(8, 8);
      for (int i = 0; i < kObjects; ++i) {
        HBRUSH brush = CreateSolidBrush(RGB(t, i % 256, 0));
        handles[static_cast<std::size_t>(t)].push_back(brush);
        const RECT r{0, 0, 8, 8};
        FillRect(canvas.dc(), &r, brush);
        DeleteObject(brush);
      }
      corner[static_cast<std::size_t>(t)] = canvas.At(7, 7);
    });
  }
  for (std::thread& thread : threads) thread.join();
  std::set<HGDIOBJ> all;
  for (const auto& list : handles) all.insert(list.begin(), list.end());
  EXPECT_EQ(all.size(), static_cast<std::size_t>(kThreads * kObjects));
  for (int t = 0; t < kThreads; ++t)
    EXPECT_EQ(corner[static_cast<std::size_t>(t)], (static_cast<std::uint32_t>(t) << 16) | ((kObjects - 1) % 256) << 8);
}

TEST(ObjectTable, HandlesDeletedByAnotherThreadWhileInUseFailCleanly) {
  // One thread copies between contexts and fills with brushes while another deletes them; every
  // call either works or fails, and once deleted every handle fails.
  constexpr int kRounds = 200;
  std::vector<HDC> contexts;
  std::vector<HBITMAP> bitmaps;
  std::vector<HBRUSH> brushes;
  for (int i = 0; i < kRounds; ++i) {
    contexts.push_back(CreateCompatibleDC(nullptr));
    bitmaps.push_back(CreateBitmap(4, 4, 1, 32, nullptr));
    brushes.push_back(CreateSolidBrush(RGB(i % 256, 0, 0)));
    SelectObject(contexts.back(), bitmaps.back());
  }
  std::thread deleter([&] {
    for (int i = kRounds - 1; i >= 0; --i) {
      DeleteDC(contexts[static_cast<std::size_t>(i)]);
      DeleteObject(bitmaps[static_cast<std::size_t>(i)]);
      DeleteObject(brushes[static_cast<std::size_t>(i)]);
    }
  });
  const RECT all{0, 0, 4, 4};
  for (int i = 0; i + 1 < kRounds; ++i) {
    HDC dc = contexts[static_cast<std::size_t>(i)];
    FillRect(dc, &all, brushes[static_cast<std::size_t>(i)]);
    BitBlt(dc, 0, 0, 4, 4, contexts[static_cast<std::size_t>(i + 1)], 0, 0, SRCCOPY);
    SelectObject(dc, brushes[static_cast<std::size_t>(i + 1)]);
    GetObjectType(bitmaps[static_cast<std::size_t>(i)]);
  }
  deleter.join();
  for (int i = 0; i < kRounds; ++i) {
    HDC dc = contexts[static_cast<std::size_t>(i)];
    EXPECT_FALSE(PatBlt(dc, 0, 0, 1, 1, WHITENESS));
    EXPECT_EQ(SelectObject(dc, GetStockObject(BLACK_BRUSH)), nullptr);
    EXPECT_EQ(GetObjectType(bitmaps[static_cast<std::size_t>(i)]), 0u);
    EXPECT_EQ(GetObjectType(brushes[static_cast<std::size_t>(i)]), 0u);
  }
}

TEST(ObjectTable, HandlesOfAnotherKindAreRefused) {
  Canvas canvas(2, 2);
  HPEN pen = CreatePen(PS_SOLID, 1, RGB(0, 0, 0));
  HBRUSH brush = CreateSolidBrush(RGB(0, 0, 255));
  PALETTEENTRY entry{};
  EXPECT_FALSE(PatBlt(reinterpret_cast<HDC>(pen), 0, 0, 1, 1, WHITENESS));
  EXPECT_FALSE(BitBlt(canvas.dc(), 0, 0, 1, 1, reinterpret_cast<HDC>(brush), 0, 0, SRCCOPY));
  EXPECT_EQ(SelectPalette(canvas.dc(), reinterpret_cast<HPALETTE>(brush), FALSE), nullptr);
  EXPECT_EQ(GetPaletteEntries(reinterpret_cast<HPALETTE>(pen), 0, 1, &entry), 0u);
  EXPECT_EQ(SelectObject(canvas.dc(), canvas.dc()), nullptr);  // contexts cannot be selected
  EXPECT_FALSE(DeleteObject(canvas.dc()));                       // nor deleted as objects
  EXPECT_EQ(GetObjectType(canvas.dc()), static_cast<DWORD>(OBJ_MEMDC));
  DeleteObject(pen);
  DeleteObject(brush);
}

TEST(ObjectTable, GetObjectDescribesPensBrushesAndPalettes) {
  HPEN pen = CreatePen(PS_DASH, 1, RGB(1, 2, 3));
  LOGPEN lp;
  EXPECT_EQ(GetObject(pen, sizeof(lp), &lp), static_cast<int>(sizeof(LOGPEN)));
  EXPECT_EQ(lp.lopnStyle, static_cast<UINT>(PS_DASH));
  EXPECT_EQ(lp.lopnColor, RGB(1, 2, 3));
  EXPECT_EQ(GetObject(pen, 2, &lp), 0);  // too small a buffer
  HBRUSH brush = CreateSolidBrush(RGB(4, 5, 6));
  LOGBRUSH lb;
  EXPECT_EQ(GetObject(brush, sizeof(lb), &lb), static_cast<int>(sizeof(LOGBRUSH)));
  EXPECT_EQ(lb.lbColor, RGB(4, 5, 6));
  WORD entries = 0;
  EXPECT_EQ(GetObject(GetStockObject(DEFAULT_PALETTE), sizeof(entries), &entries), 2);
  EXPECT_EQ(entries, 20);
  EXPECT_EQ(GetObjectType(pen), OBJ_PEN);
  EXPECT_EQ(GetObjectType(brush), OBJ_BRUSH);
  EXPECT_EQ(CreatePen(99, 1, 0), nullptr);
  EXPECT_EQ(CreatePen(PS_SOLID, -1, 0), nullptr);
  DeleteObject(pen);
  DeleteObject(brush);
}

TEST(ObjectTable, StockObjectsSurviveDeletion) {
  HGDIOBJ white = GetStockObject(WHITE_BRUSH);
  EXPECT_TRUE(DeleteObject(white));
  EXPECT_EQ(GetObjectType(white), OBJ_BRUSH);
  EXPECT_EQ(GetStockObject(99), nullptr);
}

TEST(ObjectTable, ABrushDeletedWhileSelectedStaysUsableByThatContext) {
  Canvas canvas(1, 1);
  HBRUSH brush = CreateSolidBrush(RGB(0, 0, 255));
  HGDIOBJ old = SelectObject(canvas.dc(), brush);
  EXPECT_TRUE(DeleteObject(brush));
  EXPECT_TRUE(PatBlt(canvas.dc(), 0, 0, 1, 1, PATCOPY));
  EXPECT_EQ(canvas.At(0, 0), 0x0000FFu);
  EXPECT_EQ(SelectObject(canvas.dc(), old), brush);
}

TEST(ObjectTable, ABitmapIsSelectedIntoOneContextAtATime) {
  HBITMAP bitmap = CreateBitmap(2, 2, 1, 32, nullptr);
  HDC a = CreateCompatibleDC(nullptr);
  HDC b = CreateCompatibleDC(nullptr);
  HGDIOBJ old = SelectObject(a, bitmap);
  EXPECT_NE(old, nullptr);
  EXPECT_EQ(SelectObject(b, bitmap), nullptr);
  SelectObject(a, old);
  EXPECT_NE(SelectObject(b, bitmap), nullptr);
  DeleteDC(b);  // deleting the context frees the bitmap for others
  EXPECT_NE(SelectObject(a, bitmap), nullptr);
  DeleteDC(a);
  DeleteObject(bitmap);
}

TEST(SurfaceContext, DrawsIntoAnExternalSurfaceAtItsOriginInsideItsVisibleArea) {
  std::vector<std::uint32_t> pixels(8 * 6, 0);
  gdi::SurfaceDesc surface{reinterpret_cast<std::uint8_t*>(pixels.data()), 8, 6, 8 * 4};
  // A child at (2, 1) of 5 x 4 pixels whose right column is covered by a sibling.
  const gdi::Region visible(RECT{0, 0, 4, 4});
  HDC dc = gdi::CreateSurfaceDC(surface, POINT{2, 1}, &visible);
  ASSERT_NE(dc, nullptr);
  EXPECT_EQ(GetObjectType(dc), OBJ_DC);
  EXPECT_TRUE(PatBlt(dc, -5, -5, 50, 50, WHITENESS));
  std::vector<std::string> rows;
  for (int y = 0; y < 6; ++y) {
    std::string row;
    for (int x = 0; x < 8; ++x) row += (pixels[static_cast<std::size_t>(y * 8 + x)] & 0xFFFFFF) ? '#' : '.';
    rows.push_back(row);
  }
  EXPECT_EQ(rows, (std::vector<std::string>{"........", "..####..", "..####..", "..####..", "..####..", "........"}));
  RECT box;
  GetClipBox(dc, &box);
  EXPECT_EQ(box.left, 0);
  EXPECT_EQ(box.right, 4);
  EXPECT_EQ(SelectObject(dc, CreateBitmap(1, 1, 1, 1, nullptr)), nullptr);  // windows hold no bitmap
  DeleteDC(dc);
}

TEST(SurfaceContext, RefusesASurfaceWhoseRowsAreTooShort) {
  std::vector<std::uint32_t> pixels(16);
  gdi::SurfaceDesc surface{reinterpret_cast<std::uint8_t*>(pixels.data()), 4, 4, 8};
  EXPECT_EQ(gdi::CreateSurfaceDC(surface, POINT{}, nullptr), nullptr);
}

TEST(DeviceCaps, DescribeTheConfiguredVirtualScreen) {
  HDC dc = gdi::CreateScreenDC();
  EXPECT_EQ(GetDeviceCaps(dc, BITSPIXEL), 32);
  EXPECT_EQ(GetDeviceCaps(dc, PLANES), 1);
  EXPECT_EQ(GetDeviceCaps(dc, RASTERCAPS) & RC_PALETTE, 0);
  const gdi::VirtualScreen saved = gdi::GetVirtualScreen();
  ASSERT_TRUE(gdi::SetVirtualScreen(gdi::VirtualScreen{800, 480, 8, 96}));
  EXPECT_EQ(GetDeviceCaps(dc, BITSPIXEL), 8);
  EXPECT_EQ(GetDeviceCaps(dc, HORZRES), 800);
  EXPECT_EQ(GetDeviceCaps(dc, VERTRES), 480);
  EXPECT_NE(GetDeviceCaps(dc, RASTERCAPS) & RC_PALETTE, 0);
  EXPECT_EQ(GetDeviceCaps(dc, SIZEPALETTE), 256);
  EXPECT_FALSE(gdi::SetVirtualScreen(gdi::VirtualScreen{800, 480, 7, 96}));
  EXPECT_FALSE(gdi::SetVirtualScreen(gdi::VirtualScreen{0, 480, 32, 96}));
  ASSERT_TRUE(gdi::SetVirtualScreen(saved));
  DeleteDC(dc);
}

}  // namespace
}  // namespace win
