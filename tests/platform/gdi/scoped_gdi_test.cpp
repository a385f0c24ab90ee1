// GDI owners: objects deleted when their owner ends or moves on, selections undone at scope end.
#include <gtest/gtest.h>

#include <utility>

#include "platform/gdi/gdi.h"
#include "platform/gdi/scoped_gdi.h"

namespace win {
namespace {

bool Alive(HGDIOBJ object) { return GetObjectType(object) != 0; }

TEST(ScopedGdiObjectTest, DeletesItsObjectAndItsContextAtScopeEnd) {
  HBRUSH brush = CreateSolidBrush(RGB(1, 2, 3));
  HDC dc = CreateCompatibleDC(nullptr);
  {
    ScopedGdiObject<HBRUSH> owned_brush(brush);
    ScopedGdiObject<HDC> owned_dc(dc);
    EXPECT_EQ(owned_brush.Get(), brush);
    EXPECT_TRUE(Alive(brush));
    EXPECT_TRUE(Alive(dc));
  }
  EXPECT_FALSE(Alive(brush));
  EXPECT_FALSE(Alive(dc));
}

TEST(ScopedGdiObjectTest, MovesOwnershipAndResetDeletesTheOldObject) {
  HPEN first = CreatePen(PS_SOLID, 1, RGB(0, 0, 0));
  HPEN second = CreatePen(PS_SOLID, 1, RGB(9, 9, 9));
  ScopedGdiObject<HPEN> a(first);
  ScopedGdiObject<HPEN> b(std::move(a));
  EXPECT_FALSE(a);
  EXPECT_EQ(b.Get(), first);
  ScopedGdiObject<HPEN> c(second);
  c = std::move(b);
  EXPECT_FALSE(Alive(second));
  EXPECT_TRUE(Alive(first));
  c.Reset();
  EXPECT_FALSE(Alive(first));
  EXPECT_FALSE(c);
}

TEST(ScopedGdiObjectTest, DetachGivesTheHandleUpAlive) {
  HRGN region = CreateRectRgn(0, 0, 2, 2);
  {
    ScopedGdiObject<HRGN> owner(region);
    EXPECT_EQ(owner.Detach(), region);
  }
  EXPECT_TRUE(Alive(region));
  EXPECT_TRUE(DeleteObject(region));
}

TEST(ScopedSelectTest, SelectsForTheScopeAndRestoresThePreviousObject) {
  ScopedGdiObject<HDC> dc(CreateCompatibleDC(nullptr));
  ScopedGdiObject<HBITMAP> bitmap(CreateCompatibleBitmap(dc.Get(), 4, 4));
  const HGDIOBJ original = GetCurrentObject(dc.Get(), OBJ_BITMAP);
  {
    ScopedSelect selection(dc.Get(), bitmap.Get());
    EXPECT_TRUE(selection);
    EXPECT_EQ(selection.Previous(), original);
    EXPECT_EQ(GetCurrentObject(dc.Get(), OBJ_BITMAP), bitmap.Get());
  }
  EXPECT_EQ(GetCurrentObject(dc.Get(), OBJ_BITMAP), original);
}

TEST(ScopedSelectTest, NestedSelectionsUnwindInReverseOrder) {
  ScopedGdiObject<HDC> dc(CreateCompatibleDC(nullptr));
  ScopedGdiObject<HBRUSH> red(CreateSolidBrush(RGB(255, 0, 0)));
  ScopedGdiObject<HBRUSH> blue(CreateSolidBrush(RGB(0, 0, 255)));
  const HGDIOBJ original = GetCurrentObject(dc.Get(), OBJ_BRUSH);
  {
    ScopedSelect outer(dc.Get(), red.Get());
    {
      ScopedSelect inner(dc.Get(), blue.Get());
      EXPECT_EQ(GetCurrentObject(dc.Get(), OBJ_BRUSH), blue.Get());
    }
    EXPECT_EQ(GetCurrentObject(dc.Get(), OBJ_BRUSH), red.Get());
  }
  EXPECT_EQ(GetCurrentObject(dc.Get(), OBJ_BRUSH), original);
}

TEST(ScopedSelectTest, AFailedSelectionRestoresNothing) {
  ScopedGdiObject<HDC> dc(CreateCompatibleDC(nullptr));
  const HGDIOBJ original = GetCurrentObject(dc.Get(), OBJ_BRUSH);
  {
    ScopedSelect nothing(dc.Get(), nullptr);
    ScopedSelect no_dc(nullptr, original);
    EXPECT_FALSE(nothing);
    EXPECT_FALSE(no_dc);
  }
  EXPECT_EQ(GetCurrentObject(dc.Get(), OBJ_BRUSH), original);
}

}  // namespace
}  // namespace win
