// Regions and clipping.
#include <gtest/gtest.h>

#include <climits>

#include "gdi_test_support.h"
#include "platform/gdi/region.h"

namespace win {
namespace {

using gdi::Region;
using gdi_test::Canvas;

std::vector<std::string> Rasterise(const Region& region, int width, int height) {
  std::vector<std::string> rows(static_cast<std::size_t>(height), std::string(static_cast<std::size_t>(width), '.'));
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      if (region.Contains(x, y)) rows[static_cast<std::size_t>(y)][static_cast<std::size_t>(x)] = '#';
  return rows;
}

struct CombineCase {
  int mode;
  int complexity;
  std::vector<std::string> picture;
};

class RegionCombine : public ::testing::TestWithParam<CombineCase> {};

TEST_P(RegionCombine, GivesTheBooleanOfTwoOverlappingSquares) {
  const CombineCase& c = GetParam();
  HRGN a = CreateRectRgn(0, 0, 3, 3);
  HRGN b = CreateRectRgn(1, 1, 4, 4);
  HRGN out = CreateRectRgn(0, 0, 0, 0);
  EXPECT_EQ(CombineRgn(out, a, b, c.mode), c.complexity);
  std::vector<std::string> rows;
  for (int y = 0; y < 4; ++y) {
    std::string row;
    for (int x = 0; x < 4; ++x) row += PtInRegion(out, x, y) ? '#' : '.';
    rows.push_back(row);
  }
  EXPECT_EQ(rows, c.picture);
  DeleteObject(a);
  DeleteObject(b);
  DeleteObject(out);
}

INSTANTIATE_TEST_SUITE_P(
    Modes, RegionCombine,
    ::testing::Values(CombineCase{RGN_AND, SIMPLEREGION, {"....", ".##.", ".##.", "...."}},
                      CombineCase{RGN_OR, COMPLEXREGION, {"###.", "####", "####", ".###"}},
                      CombineCase{RGN_XOR, COMPLEXREGION, {"###.", "#..#", "#..#", ".###"}},
                      CombineCase{RGN_DIFF, COMPLEXREGION, {"###.", "#...", "#...", "...."}},
                      CombineCase{RGN_COPY, SIMPLEREGION, {"###.", "###.", "###.", "...."}}));

TEST(Region, DisjointResultsMergeBackIntoOneRectangle) {
  const Region left(RECT{0, 0, 2, 4});
  const Region right(RECT{2, 0, 5, 4});
  const Region both = Region::Combine(left, right, Region::Op::kOr);
  ASSERT_EQ(both.Rects().size(), 1u);
  EXPECT_EQ(both.Bounds().right, 5);
  EXPECT_TRUE(Region::Combine(both, Region(RECT{0, 0, 5, 4}), Region::Op::kXor).IsEmpty());
}

TEST(Region, RoundedRectangleCutsItsCornersSymmetrically) {
  // A pixel belongs to a corner when its centre lies inside the corner's ellipse.
  const Region round = Region::RoundRect(RECT{0, 0, 12, 10}, 8, 8);
  EXPECT_EQ(Rasterise(round, 12, 10), (std::vector<std::string>{
                                          "..########..",
                                          ".##########.",
                                          "############",
                                          "############",
                                          "############",
                                          "############",
                                          "############",
                                          "############",
                                          ".##########.",
                                          "..########..",
                                      }));
}

TEST(Region, RoundedRectangleWithSmallCornersIsTheRectangle) {
  EXPECT_EQ(Region::RoundRect(RECT{0, 0, 4, 4}, 1, 1).Rects().size(), 1u);
  EXPECT_TRUE(Region::RoundRect(RECT{0, 0, 0, 4}, 3, 3).IsEmpty());
}

TEST(Clipping, RoundedRegionKeepsTheCornersUnpainted) {
  Canvas canvas(12, 10);
  canvas.Fill(0);
  HRGN round = CreateRoundRectRgn(0, 0, 12, 10, 8, 8);
  EXPECT_EQ(SelectClipRgn(canvas.dc(), round), COMPLEXREGION);
  DeleteObject(round);  // the context keeps its own copy
  HBRUSH white = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
  const RECT all{0, 0, 12, 10};
  FillRect(canvas.dc(), &all, white);
  EXPECT_EQ(canvas.Picture(0xFFFFFF), Rasterise(Region::RoundRect(RECT{0, 0, 12, 10}, 8, 8), 12, 10));
  EXPECT_EQ(canvas.At(0, 0), 0u);
  EXPECT_EQ(canvas.At(11, 9), 0u);
}

TEST(Clipping, IntersectAndExcludeWorkInLogicalCoordinates) {
  Canvas canvas(6, 6);
  canvas.Fill(0);
  SetViewportOrgEx(canvas.dc(), 1, 1, nullptr);  // logical (0,0) is pixel (1,1)
  EXPECT_EQ(IntersectClipRect(canvas.dc(), 0, 0, 4, 4), SIMPLEREGION);
  EXPECT_EQ(ExcludeClipRect(canvas.dc(), 1, 1, 3, 3), COMPLEXREGION);
  RECT box;
  EXPECT_EQ(GetClipBox(canvas.dc(), &box), COMPLEXREGION);
  EXPECT_EQ(box.left, 0);
  EXPECT_EQ(box.top, 0);
  EXPECT_EQ(box.right, 4);
  EXPECT_EQ(box.bottom, 4);
  EXPECT_TRUE(PatBlt(canvas.dc(), -1, -1, 8, 8, WHITENESS));
  EXPECT_EQ(canvas.Picture(0xFFFFFF), (std::vector<std::string>{
                                          "......",
                                          ".####.",
                                          ".#..#.",
                                          ".#..#.",
                                          ".####.",
                                          "......",
                                      }));
  // Removing the clip region frees the whole bitmap again.
  EXPECT_EQ(SelectClipRgn(canvas.dc(), nullptr), SIMPLEREGION);
  HRGN probe = CreateRectRgn(0, 0, 0, 0);
  EXPECT_EQ(GetClipRgn(canvas.dc(), probe), 0);
  DeleteObject(probe);
}

TEST(Clipping, ClipBoxWithoutAClipRegionIsTheBitmap) {
  Canvas canvas(7, 5);
  SetWindowOrgEx(canvas.dc(), 2, 3, nullptr);
  RECT box;
  EXPECT_EQ(GetClipBox(canvas.dc(), &box), SIMPLEREGION);
  EXPECT_EQ(box.left, 2);
  EXPECT_EQ(box.top, 3);
  EXPECT_EQ(box.right, 9);
  EXPECT_EQ(box.bottom, 8);
}

TEST(RegionObjects, AnswerBoxesOffsetsAndEquality) {
  HRGN a = CreateRectRgn(4, 4, 1, 1);  // corners are ordered
  RECT box;
  EXPECT_EQ(GetRgnBox(a, &box), SIMPLEREGION);
  EXPECT_EQ(box.left, 1);
  EXPECT_EQ(box.bottom, 4);
  EXPECT_EQ(OffsetRgn(a, 1, 1), SIMPLEREGION);
  HRGN b = CreateRectRgn(2, 2, 5, 5);
  EXPECT_TRUE(EqualRgn(a, b));
  const RECT probe{0, 0, 3, 3};
  EXPECT_TRUE(RectInRegion(a, &probe));
  EXPECT_EQ(OffsetRgn(a, INT_MAX, 0), ERROR);
  EXPECT_EQ(GetObjectType(a), OBJ_REGION);
  HRGN empty = CreateRectRgn(0, 0, 0, 0);
  EXPECT_EQ(GetRgnBox(empty, &box), NULLREGION);
  DeleteObject(a);
  DeleteObject(b);
  DeleteObject(empty);
}

}  // namespace
}  // namespace win

namespace win {
namespace {

// Random rectangle unions combined every way agree with the same sets of pixels.
TEST(Region, CombinationsAgreeWithPixelSetsOnRandomShapes) {
  std::uint32_t seed = 12345;
  auto next = [&seed](int limit) {
    seed = seed * 1103515245u + 12345u;
    return static_cast<int>((seed >> 16) % static_cast<std::uint32_t>(limit));
  };
  auto random_region = [&] {
    gdi::Region region;
    for (int i = next(4) + 1; i > 0; --i) {
      const int left = next(12), top = next(12);
      region = gdi::Region::Combine(region, gdi::Region(RECT{left, top, left + next(6) + 1, top + next(6) + 1}),
                                    gdi::Region::Op::kOr);
    }
    return region;
  };
  const gdi::Region::Op ops[] = {gdi::Region::Op::kAnd, gdi::Region::Op::kOr, gdi::Region::Op::kXor,
                                 gdi::Region::Op::kDiff};
  for (int round = 0; round < 200; ++round) {
    const gdi::Region a = random_region();
    const gdi::Region b = random_region();
    for (gdi::Region::Op op : ops) {
      const gdi::Region out = gdi::Region::Combine(a, b, op);
      for (int y = -1; y < 19; ++y)
        for (int x = -1; x < 19; ++x) {
          const bool in_a = a.Contains(x, y), in_b = b.Contains(x, y);
          const bool want = op == gdi::Region::Op::kAnd   ? in_a && in_b
                            : op == gdi::Region::Op::kOr  ? in_a || in_b
                            : op == gdi::Region::Op::kXor ? in_a != in_b
                                                          : in_a && !in_b;
          ASSERT_EQ(out.Contains(x, y), want) << "round " << round << " at " << x << "," << y;
        }
      // Bands: sorted, disjoint, and never two touching bands with the same spans.
      const auto& rects = out.Rects();
      for (std::size_t i = 1; i < rects.size(); ++i) {
        const RECT& p = rects[i - 1];
        const RECT& r = rects[i];
        if (p.top == r.top) {
          ASSERT_EQ(p.bottom, r.bottom);
          ASSERT_LT(p.right, r.left);  // touching spans would have been merged
        } else {
          ASSERT_GE(r.top, p.bottom);
        }
      }
    }
  }
}

}  // namespace
}  // namespace win

namespace win {
namespace {

TEST(Rectangles, HelpersFollowTheirRules) {
  RECT a{0, 0, 4, 4};
  RECT b{2, 2, 6, 6};
  RECT out;
  EXPECT_TRUE(IntersectRect(&out, &a, &b));
  const RECT overlap{2, 2, 4, 4};
  EXPECT_TRUE(EqualRect(&out, &overlap));
  const RECT far_away{10, 10, 12, 12};
  EXPECT_FALSE(IntersectRect(&out, &a, &far_away));
  EXPECT_TRUE(IsRectEmpty(&out));
  EXPECT_TRUE(UnionRect(&out, &a, &b));
  EXPECT_EQ(out.right, 6);
  const RECT empty{5, 5, 5, 9};
  EXPECT_TRUE(UnionRect(&out, &empty, &a));  // empty rectangles do not count
  EXPECT_TRUE(EqualRect(&out, &a));
  EXPECT_TRUE(PtInRect(&a, POINT{0, 3}));
  EXPECT_FALSE(PtInRect(&a, POINT{4, 0}));  // right and bottom edges are outside
  EXPECT_TRUE(InflateRect(&a, 1, 2));
  const RECT inflated{-1, -2, 5, 6};
  EXPECT_TRUE(EqualRect(&a, &inflated));
  EXPECT_TRUE(OffsetRect(&a, 1, 2));
  EXPECT_EQ(a.left, 0);
  RECT edge{INT_MAX, 0, INT_MAX, 0};
  EXPECT_TRUE(OffsetRect(&edge, 1, 0));  // wraps, never overflows
  EXPECT_EQ(edge.left, INT_MIN);
  EXPECT_TRUE(SetRectEmpty(&edge));
  EXPECT_TRUE(IsRectEmpty(&edge));
}

}  // namespace
}  // namespace win
