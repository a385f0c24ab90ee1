// The clipboard object: pictures go to the clipboard in their formats and come back through the
// picture container's clipboard registry.
#include <gtest/gtest.h>

#include "classlib/bitmap.h"
#include "classlib/clipboard.h"
#include "platform/ole/clipboard.h"
#include "platform/ole/global_memory.h"

namespace dashtune {
namespace {

TEST(ClipboardObject, APictureRoundTripsAsBitmapWithItsPalette) {
  TPicture picture;
  TBitmap* bitmap = picture.GetBitmap();
  bitmap->SetPixelFormat(pf8bit);
  bitmap->SetSize(3, 2);
  bitmap->GetCanvas()->SetPixel(2, 1, clRed);
  Clipboard()->Assign(&picture);
  EXPECT_TRUE(Clipboard()->HasFormat(win::CF_BITMAP));
  EXPECT_TRUE(Clipboard()->HasFormat(win::CF_PALETTE));

  TPicture copy;
  copy.Assign(Clipboard());
  auto* pasted = dynamic_cast<TBitmap*>(copy.GetGraphic());
  ASSERT_NE(pasted, nullptr);
  EXPECT_EQ(pasted->GetPixelFormat(), pf8bit);
  EXPECT_EQ(pasted->GetCanvas()->GetPixel(2, 1), clRed);
  EXPECT_EQ(pasted->GetCanvas()->GetPixel(0, 0), clWhite);

  TBitmap direct;
  direct.Assign(Clipboard());
  EXPECT_EQ(direct.GetWidth(), 3);

  Clipboard()->Clear();
  EXPECT_FALSE(Clipboard()->HasFormat(win::CF_BITMAP));
  EXPECT_THROW(copy.Assign(Clipboard()), EInvalidGraphic);
}

TEST(ClipboardObject, HandlesByFormatAndNestedOpening) {
  const auto format = static_cast<std::uint16_t>(win::RegisterClipboardFormatA("Clipboard Object Test"));
  Clipboard()->Open();
  Clipboard()->Open();
  Clipboard()->Clear();
  win::HANDLE block = win::GlobalAlloc(win::GHND, 4);
  Clipboard()->SetAsHandle(format, block);
  Clipboard()->Close();
  EXPECT_EQ(Clipboard()->GetAsHandle(format), block);  // still open once
  Clipboard()->Close();
  EXPECT_EQ(win::GetClipboardData(format), nullptr);   // closed: no access
  EXPECT_EQ(Clipboard()->GetAsHandle(format), block);
  Clipboard()->Clear();
  EXPECT_EQ(win::GlobalSize(block), 0u);
}

}  // namespace
}  // namespace dashtune
