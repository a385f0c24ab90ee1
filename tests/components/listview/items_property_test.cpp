// The "Items" binary property: a group's items written by the class library's writer and read
// back by its reader into another list view (captions, state bits, stored data, the
// application's own record data), groups of virtual and mixed items, and what is not stored.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "classlib/filer.h"
#include "components/listview/listview.h"
#include "components/listview/stream_integers.h"
#include "listview_test_support.h"

namespace dashtune {
namespace {

using testing::BytesOf;
using testing::WriteBytes;
using Bytes = std::vector<std::uint8_t>;

// An item's persistent look: kind, captions of columns 0 to 2, state bits, stored data.
std::string Describe(TTouchItem* item) {
  std::string text = dynamic_cast<TTouchItemVirtual*>(item) ? "virtual" : "stored";
  if (dynamic_cast<TTouchItemStored*>(item)) {
    for (int column = 0; column < 3; ++column)
      for (char16_t c : item->GetCaptions(column)) text += " " + std::to_string(static_cast<int>(c));
    text += " images " + std::to_string(item->GetImageIndexes(0)) + "/" + std::to_string(item->GetImageIndexes(1)) +
            " overlay " + std::to_string(item->GetImageOverlayIndex()) + " state image " +
            std::to_string(item->GetStateImageIndex()) + " detail " + std::to_string(item->GetDetails(1)) + " key " +
            std::to_string(item->GetGroupKey(1));
  }
  text += item->GetSelected() ? " selected" : "";
  text += item->GetChecked() ? " checked" : "";
  text += item->GetBold() ? " bold" : "";
  text += item->GetVisible() ? "" : " hidden";
  text += item->GetEnabled() ? "" : " disabled";
  return text;
}

std::vector<std::string> Describe(TTouchItems* items) {
  std::vector<std::string> all;
  for (int i = 0; i < items->GetCount(); ++i) all.push_back(Describe(items->GetItem(i)));
  return all;
}

// A list view whose items carry a 4-byte number of the application's in their records.
struct Host {
  Host() {
    listview.OnItemSaveToStream = [](TCustomTouchListview*, TTouchItem* item, TStream* s, int) {
      listview::WriteInteger(s, static_cast<std::int32_t>(item->GetData()));
    };
    listview.OnItemLoadFromStream = [](TCustomTouchListview*, TTouchItem* item, TStream* s, int) {
      item->SetData(listview::ReadInteger(s));
    };
    items = listview.GetGroups()->AddGroup()->GetItems();
  }
  TTouchListview listview{nullptr};
  TTouchItems* items;
};

Bytes Write(TPersistent* instance) {
  TMemoryStream stream;
  TWriter(&stream).WriteProperties(instance);
  return BytesOf(stream);
}

void Read(TPersistent* instance, const Bytes& bytes) {
  TMemoryStream stream;
  WriteBytes(stream, bytes);
  TReader(&stream).ReadProperties(instance);
  EXPECT_EQ(stream.GetPosition(), stream.GetSize());
}

std::vector<std::intptr_t> DataOf(TTouchItems* items) {
  std::vector<std::intptr_t> data;
  for (int i = 0; i < items->GetCount(); ++i) data.push_back(items->GetItem(i)->GetData());
  return data;
}

TEST(ItemsProperty, StoredItemsRoundTripThroughWriterAndReader) {
  Host saved;
  TTouchItemStored* first = saved.items->AddStored(11);
  first->SetCaption(u"Bär");
  first->SetCaptions(2, u"Zwei");
  first->SetImageIndexes(1, 5);
  first->SetImageOverlayIndex(2);
  first->SetStateImageIndex(3);
  first->SetDetails(1, -4);
  first->SetGroupKey(1, 77);
  first->SetSelected(true);
  first->SetChecked(true);
  TTouchItemStored* second = saved.items->AddStored(22);
  second->SetCaption(u"Ende");
  second->SetBold(true);
  second->SetVisible(false);
  TTouchItemStored* third = saved.items->AddStored(-1);
  third->SetEnabled(false);

  const Bytes bytes = Write(saved.items);
  ASSERT_GT(bytes.size(), 15u);
  // "Items", raw bytes, then the collection: version 4, three records; the list's end.
  EXPECT_EQ(Bytes(bytes.begin(), bytes.begin() + 7), (Bytes{5, 'I', 't', 'e', 'm', 's', 10}));
  EXPECT_EQ(Bytes(bytes.begin() + 11, bytes.begin() + 19), (Bytes{4, 0, 0, 0, 3, 0, 0, 0}));
  EXPECT_EQ(bytes.back(), 0);

  Host loaded;
  loaded.items->AddStored(99);  // replaced by the load
  Read(loaded.items, bytes);
  EXPECT_EQ(Describe(loaded.items), Describe(saved.items));
  EXPECT_EQ(DataOf(loaded.items), (std::vector<std::intptr_t>{11, 22, -1}));
  EXPECT_EQ(loaded.items->GetItem(0)->GetCaption(), u"Bär");
  EXPECT_EQ(loaded.listview.GetSelection()->GetCount(), 1);
  // Written again, the same bytes.
  EXPECT_EQ(Write(loaded.items), bytes);
}

TEST(ItemsProperty, VirtualAndMixedGroupsLoadTheirOwnSave) {
  const std::vector<std::vector<bool>> groups = {
      {true}, {true, true, true}, {true, false, true}, {false, true}};
  for (const std::vector<bool>& kinds : groups) {
    SCOPED_TRACE(kinds.size());
    Host saved;
    for (std::size_t i = 0; i < kinds.size(); ++i) {
      TTouchItem* item = kinds[i] ? static_cast<TTouchItem*>(saved.items->AddVirtual(static_cast<std::intptr_t>(i) + 1))
                                  : saved.items->AddStored(static_cast<std::intptr_t>(i) + 1);
      item->SetBold(i % 2 == 0);
      item->SetChecked(i == 1);
    }
    saved.items->GetItem(0)->SetSelected(true);
    const Bytes bytes = Write(saved.items);
    Host loaded;
    Read(loaded.items, bytes);
    EXPECT_EQ(Describe(loaded.items), Describe(saved.items));
    EXPECT_EQ(DataOf(loaded.items), DataOf(saved.items));
    EXPECT_EQ(Write(loaded.items), bytes);
  }
}

TEST(ItemsProperty, AStreamOfVirtualItemsNamesEachItemsKind) {
  TTouchItems items(nullptr, nullptr);
  items.AddVirtual();
  items.AddStored();
  TMemoryStream stream;
  items.SaveToStream(&stream);
  const Bytes bytes = BytesOf(stream);
  const Bytes& record = testing::kNewItemRecord;
  ASSERT_EQ(bytes.size(), 60u);
  // Version 5, two entries; kind 1 (virtual) and its 10-byte record; kind 0 (stored) and its.
  EXPECT_EQ(Bytes(bytes.begin(), bytes.begin() + 12), (Bytes{5, 0, 0, 0, 2, 0, 0, 0, 1, 0, 0, 0}));
  EXPECT_EQ(Bytes(bytes.begin() + 12, bytes.begin() + 22), record);
  EXPECT_EQ(Bytes(bytes.begin() + 22, bytes.begin() + 26), (Bytes{0, 0, 0, 0}));
  EXPECT_EQ(Bytes(bytes.begin() + 26, bytes.begin() + 36), record);

  // A kind that is neither is a read error.
  Bytes hostile = bytes;
  hostile[8] = 2;
  TMemoryStream in;
  WriteBytes(in, hostile);
  TTouchItems target(nullptr, nullptr);
  EXPECT_THROW(target.LoadFromStream(&in), EReadError);
}

TEST(ItemsProperty, NothingIsWrittenWithoutItemsOrWithTheNoStoreFlag) {
  Host host;
  EXPECT_EQ(Write(host.items), Bytes{0});
  host.items->AddStored();
  host.items->SetNoStore(true);
  EXPECT_EQ(Write(host.items), Bytes{0});
}

}  // namespace
}  // namespace dashtune
