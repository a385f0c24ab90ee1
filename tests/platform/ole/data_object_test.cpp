// The in-process data object: ownership of media on SetData, copies on GetData, format queries,
// the format enumeration, ReleaseStgMedium and the drag image the object keeps.
#include "platform/ole/data_object.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/com/com_ptr.h"
#include "platform/gdi/gdi.h"
#include "platform/ole/clipboard.h"
#include "platform/ole/global_memory.h"

namespace win {
namespace {

HGLOBAL BlockWith(const std::string& bytes) {
  HGLOBAL block = GlobalAlloc(GHND, bytes.size());
  std::memcpy(GlobalLock(block), bytes.data(), bytes.size());
  GlobalUnlock(block);
  return block;
}

std::string BytesOf(HGLOBAL block) {
  const auto* data = static_cast<const char*>(GlobalLock(block));
  std::string bytes(data, GlobalSize(block));
  GlobalUnlock(block);
  return bytes;
}

bool IsLiveBlock(HGLOBAL block) { return GlobalSize(block) != 0; }

FORMATETC FormatOf(UINT format) {
  FORMATETC etc;
  etc.cfFormat = static_cast<CLIPFORMAT>(format);
  return etc;
}

const UINT kFormat = RegisterClipboardFormatA("Dashtune Test Format");
const UINT kOther = RegisterClipboardFormatA("Dashtune Other Format");

TEST(DataObject, TakesTheMediumWhenAskedToReleaseItAndFreesItWithTheObject) {
  HGLOBAL block = BlockWith("header record");
  {
    const ComPtr<DataObject> object = MakeCom<DataObject>();
    FORMATETC format = FormatOf(kFormat);
    STGMEDIUM medium{TYMED_HGLOBAL, block, nullptr};
    ASSERT_EQ(object->SetData(&format, &medium, TRUE), S_OK);
    EXPECT_TRUE(IsLiveBlock(block));

    STGMEDIUM got;
    ASSERT_EQ(object->GetData(&format, &got), S_OK);
    EXPECT_EQ(got.tymed, TYMED_HGLOBAL);
    EXPECT_NE(got.hGlobal, block);  // the reader owns a copy
    EXPECT_EQ(BytesOf(got.hGlobal), "header record");
    HGLOBAL copy = got.hGlobal;
    ReleaseStgMedium(&got);
    EXPECT_FALSE(IsLiveBlock(copy));
    EXPECT_EQ(got.hGlobal, nullptr);
    EXPECT_TRUE(IsLiveBlock(block));
  }
  EXPECT_FALSE(IsLiveBlock(block));
}

TEST(DataObject, KeepsACopyWhenTheCallerKeepsTheMedium) {
  HGLOBAL block = BlockWith("abc");
  const ComPtr<DataObject> object = MakeCom<DataObject>();
  FORMATETC format = FormatOf(kFormat);
  STGMEDIUM medium{TYMED_HGLOBAL, block, nullptr};
  ASSERT_EQ(object->SetData(&format, &medium, FALSE), S_OK);
  GlobalFree(block);
  STGMEDIUM got;
  ASSERT_EQ(object->GetData(&format, &got), S_OK);
  EXPECT_EQ(BytesOf(got.hGlobal), "abc");
  ReleaseStgMedium(&got);
}

TEST(DataObject, SettingAFormatAgainReplacesAndFreesTheOldData) {
  HGLOBAL first = BlockWith("first");
  HGLOBAL second = BlockWith("second");
  const ComPtr<DataObject> object = MakeCom<DataObject>();
  FORMATETC format = FormatOf(kFormat);
  STGMEDIUM medium{TYMED_HGLOBAL, first, nullptr};
  ASSERT_EQ(object->SetData(&format, &medium, TRUE), S_OK);
  medium = STGMEDIUM{TYMED_HGLOBAL, second, nullptr};
  ASSERT_EQ(object->SetData(&format, &medium, TRUE), S_OK);
  EXPECT_FALSE(IsLiveBlock(first));
  STGMEDIUM got;
  ASSERT_EQ(object->GetData(&format, &got), S_OK);
  EXPECT_EQ(BytesOf(got.hGlobal), "second");
  ReleaseStgMedium(&got);
}

TEST(DataObject, RefusesOtherMediaAndStillReleasesAMediumItWasGiven) {
  const ComPtr<DataObject> object = MakeCom<DataObject>();
  FORMATETC format = FormatOf(kFormat);
  format.tymed = TYMED_ISTREAM;
  HGLOBAL block = BlockWith("x");
  STGMEDIUM medium{TYMED_HGLOBAL, block, nullptr};
  EXPECT_EQ(object->SetData(&format, &medium, TRUE), DV_E_TYMED);
  EXPECT_FALSE(IsLiveBlock(block));
  EXPECT_EQ(medium.hGlobal, nullptr);

  format.tymed = TYMED_HGLOBAL;
  STGMEDIUM empty{TYMED_HGLOBAL, nullptr, nullptr};
  EXPECT_EQ(object->SetData(&format, &empty, FALSE), DV_E_TYMED);
  EXPECT_EQ(object->SetData(nullptr, &empty, FALSE), E_INVALIDARG);
}

TEST(DataObject, AnswersQueriesByFormatAndMedium) {
  const ComPtr<DataObject> object = MakeCom<DataObject>();
  FORMATETC format = FormatOf(kFormat);
  STGMEDIUM medium{TYMED_HGLOBAL, BlockWith("1"), nullptr};
  ASSERT_EQ(object->SetData(&format, &medium, TRUE), S_OK);

  struct Case {
    UINT format;
    DWORD tymed;
    HRESULT expected;
  };
  const Case cases[] = {
      {kFormat, TYMED_HGLOBAL, S_OK},
      {kFormat, TYMED_HGLOBAL | TYMED_ISTREAM, S_OK},
      {kFormat, TYMED_ISTREAM, DV_E_TYMED},
      {kOther, TYMED_HGLOBAL, DV_E_FORMATETC},
  };
  for (const Case& c : cases) {
    FORMATETC query = FormatOf(c.format);
    query.tymed = c.tymed;
    EXPECT_EQ(object->QueryGetData(&query), c.expected) << c.format << " " << c.tymed;
    STGMEDIUM got;
    EXPECT_EQ(object->GetData(&query, &got), c.expected);
    if (c.expected != S_OK) {
      EXPECT_EQ(got.hGlobal, nullptr);
    }
    ReleaseStgMedium(&got);
  }
  FORMATETC canonical;
  EXPECT_EQ(object->GetCanonicalFormatEtc(&format, &canonical), DATA_S_SAMEFORMATETC);
  EXPECT_EQ(canonical.cfFormat, format.cfFormat);
  EXPECT_EQ(object->DAdvise(&format, 0, nullptr, nullptr), OLE_E_ADVISENOTSUPPORTED);
}

TEST(DataObject, EnumeratesItsFormatsInTheOrderTheyWereFirstSet) {
  const ComPtr<DataObject> object = MakeCom<DataObject>();
  for (UINT id : {kOther, kFormat, kOther}) {
    FORMATETC format = FormatOf(id);
    STGMEDIUM medium{TYMED_HGLOBAL, BlockWith("d"), nullptr};
    ASSERT_EQ(object->SetData(&format, &medium, TRUE), S_OK);
  }
  ComPtr<IEnumFORMATETC> formats;
  ASSERT_EQ(object->EnumFormatEtc(DATADIR_GET, formats.GetAddressOf()), S_OK);
  FORMATETC got[3];
  ULONG fetched = 0;
  EXPECT_EQ(formats->Next(3, got, &fetched), S_FALSE);
  ASSERT_EQ(fetched, 2u);
  EXPECT_EQ(got[0].cfFormat, kOther);
  EXPECT_EQ(got[1].cfFormat, kFormat);
  EXPECT_EQ(formats->Reset(), S_OK);
  EXPECT_EQ(formats->Skip(1), S_OK);
  ComPtr<IEnumFORMATETC> clone;
  ASSERT_EQ(formats->Clone(clone.GetAddressOf()), S_OK);
  EXPECT_EQ(clone->Next(1, got, nullptr), S_OK);
  EXPECT_EQ(got[0].cfFormat, kFormat);
  ComPtr<IEnumFORMATETC> unused;
  EXPECT_EQ(object->EnumFormatEtc(DATADIR_SET, unused.GetAddressOf()), E_NOTIMPL);
}

TEST(DataObject, ReleasingAMediumWithAnOwnerReleasesTheOwnerNotTheBlock) {
  const ComPtr<DataObject> owner = MakeCom<DataObject>();
  ASSERT_EQ(owner->AddRef(), 2u);  // the reference the medium carries
  HGLOBAL block = BlockWith("kept");
  STGMEDIUM medium{TYMED_HGLOBAL, block, owner.Get()};
  ReleaseStgMedium(&medium);
  EXPECT_TRUE(IsLiveBlock(block));
  EXPECT_EQ(owner->AddRef(), 2u);  // back to the ComPtr's reference alone
  owner->Release();
  GlobalFree(block);
}

TEST(DataObject, KeepsTheDragImageAndFreesItsBitmap) {
  HBITMAP first = CreateBitmap(4, 3, 1, 32, nullptr);
  HBITMAP second = CreateBitmap(2, 2, 1, 32, nullptr);
  {
    const ComPtr<DataObject> object = MakeCom<DataObject>();
    SHDRAGIMAGE image;
    image.sizeDragImage = {4, 3};
    image.ptOffset = {1, 2};
    image.hbmpDragImage = first;
    object->SetDragImage(image);
    EXPECT_EQ(object->GetDragImage().hbmpDragImage, first);
    EXPECT_EQ(object->GetDragImage().ptOffset.y, 2);
    image.hbmpDragImage = second;
    object->SetDragImage(image);
    EXPECT_EQ(GetObjectType(first), 0u);
    EXPECT_NE(GetObjectType(second), 0u);
  }
  EXPECT_EQ(GetObjectType(second), 0u);
}

}  // namespace
}  // namespace win
