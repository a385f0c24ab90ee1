// The in-process clipboard: formats by name, ownership of placed data, opening rules, and the
// global memory blocks that carry the data.
#include "platform/ole/clipboard.h"

#include <gtest/gtest.h>

#include <cstring>
#include <thread>

#include "platform/gdi/gdi.h"
#include "platform/ole/global_memory.h"

namespace win {
namespace {

TEST(ClipboardFormats, NamesGiveStableNumbersWithoutRegardToCase) {
  const UINT gif = RegisterClipboardFormatA("GIF Image");
  EXPECT_GE(gif, kFirstRegisteredClipboardFormat);
  EXPECT_EQ(RegisterClipboardFormatA("gif image"), gif);
  EXPECT_EQ(RegisterClipboardFormatW(u"GIF IMAGE"), gif);
  const UINT header = RegisterClipboardFormatA("TouchListview.Header");
  EXPECT_NE(header, gif);
  EXPECT_EQ(RegisterClipboardFormatA(""), 0u);
  EXPECT_EQ(RegisterClipboardFormatA(nullptr), 0u);

  char name[64];
  EXPECT_EQ(GetClipboardFormatNameA(gif, name, sizeof name), 9);
  EXPECT_STREQ(name, "GIF Image");  // the first spelling is kept
  char small[4];
  EXPECT_EQ(GetClipboardFormatNameA(header, small, sizeof small), 3);
  EXPECT_STREQ(small, "Tou");
  EXPECT_EQ(GetClipboardFormatNameA(CF_BITMAP, name, sizeof name), 0);
  EXPECT_EQ(GetClipboardFormatNameA(0xFFFF, name, sizeof name), 0);
}

HGLOBAL Block(const char* text) {
  HGLOBAL block = GlobalAlloc(GHND, std::strlen(text) + 1);
  std::memcpy(GlobalLock(block), text, std::strlen(text) + 1);
  GlobalUnlock(block);
  return block;
}

TEST(Clipboard, PlacedDataIsOwnedAndFreedWhenReplacedOrEmptied) {
  ASSERT_TRUE(OpenClipboard(nullptr));
  ASSERT_TRUE(EmptyClipboard());
  const UINT format = RegisterClipboardFormatA("Clipboard Test");
  HGLOBAL first = Block("first");
  HGLOBAL second = Block("second");
  EXPECT_EQ(SetClipboardData(format, first), first);
  HBITMAP bitmap = CreateBitmap(2, 2, 1, 1, nullptr);
  SetClipboardData(CF_BITMAP, bitmap);
  EXPECT_EQ(SetClipboardData(format, second), second);
  EXPECT_EQ(GlobalSize(first), 0u);  // the replaced block was freed
  EXPECT_TRUE(IsClipboardFormatAvailable(CF_BITMAP));
  EXPECT_EQ(CountClipboardFormats(), 2);
  EXPECT_EQ(EnumClipboardFormats(0), format);
  EXPECT_EQ(EnumClipboardFormats(format), CF_BITMAP);
  EXPECT_EQ(EnumClipboardFormats(CF_BITMAP), 0u);
  EXPECT_STREQ(static_cast<const char*>(GlobalLock(GetClipboardData(format))), "second");
  GlobalUnlock(second);
  EXPECT_EQ(GetClipboardData(CF_TEXT), nullptr);

  ASSERT_TRUE(EmptyClipboard());
  EXPECT_EQ(GlobalSize(second), 0u);
  EXPECT_EQ(GetObjectType(bitmap), 0u);  // bitmaps go with DeleteObject
  EXPECT_EQ(CountClipboardFormats(), 0);
  EXPECT_TRUE(CloseClipboard());
  EXPECT_FALSE(CloseClipboard());
}

TEST(Clipboard, OnlyTheOpeningThreadMayUseIt) {
  EXPECT_EQ(SetClipboardData(CF_TEXT, Block("closed")), nullptr);  // needs the clipboard open
  ASSERT_TRUE(OpenClipboard(nullptr));
  EXPECT_TRUE(OpenClipboard(nullptr));  // again from the same thread
  BOOL other_open = TRUE;
  std::thread other([&] { other_open = OpenClipboard(nullptr); });
  other.join();
  EXPECT_FALSE(other_open);
  EXPECT_TRUE(CloseClipboard());
  std::thread later([&] {
    other_open = OpenClipboard(nullptr);
    CloseClipboard();
  });
  later.join();
  EXPECT_TRUE(other_open);
}

TEST(GlobalMemory, BlocksAreZeroedSizedLockedAndFreedOnce) {
  HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, 12);
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(GlobalSize(block), 12u);
  auto* bytes = static_cast<std::uint8_t*>(GlobalLock(block));
  ASSERT_NE(bytes, nullptr);
  for (int i = 0; i < 12; ++i) EXPECT_EQ(bytes[i], 0);
  EXPECT_EQ(GlobalLock(block), bytes);
  EXPECT_TRUE(GlobalUnlock(block));   // still locked once
  EXPECT_FALSE(GlobalUnlock(block));  // now unlocked
  EXPECT_EQ(GlobalFree(block), nullptr);
  EXPECT_EQ(GlobalFree(block), block);  // unknown now
  EXPECT_EQ(GlobalLock(block), nullptr);
  EXPECT_EQ(GlobalAlloc(GHND, kMaxGlobalBlock + 1), nullptr);
  HGLOBAL next = GlobalAlloc(GHND, 1);
  EXPECT_NE(next, block);  // handles are not reused
  GlobalFree(next);
}

}  // namespace
}  // namespace win
