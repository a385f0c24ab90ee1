// Item-ID lists: the byte layout, the validator against hostile bytes, and resolution of lists
// that pass it staying below their folder.
#include "platform/com/com_init.h"
#include "platform/shell/item_ids.h"
#include "platform/shell/namespace_model.h"

#include <gtest/gtest.h>

#include "fuzz_budget.h"

#include <cstring>
#include <memory>
#include <random>

namespace win {
namespace {

using item_ids::ItemId;
using item_ids::ItemKind;
using item_ids::ListError;

std::vector<BYTE> ListBytes(const std::vector<ItemId>& ids) {
  std::vector<BYTE> bytes;
  for (const ItemId& id : ids) {
    const std::vector<BYTE> encoded = item_ids::EncodeId(id);
    bytes.insert(bytes.end(), encoded.begin(), encoded.end());
  }
  bytes.push_back(0);
  bytes.push_back(0);
  return bytes;
}

ItemId FileId(std::string name) {
  ItemId id;
  id.kind = ItemKind::File;
  id.name = std::move(name);
  id.snapshot.attributes = 0x21;
  id.snapshot.size = 0x0102030405060708ULL;
  id.snapshot.creation = {1, 2};
  id.snapshot.last_access = {3, 4};
  id.snapshot.last_write = {5, 6};
  id.snapshot.mode = 0100644;
  return id;
}

// Validates bytes held in a heap block of exactly their size, so ASan sees any read past them.
ListError ValidateExact(const std::vector<BYTE>& bytes, std::size_t* size = nullptr) {
  std::unique_ptr<BYTE[]> exact(new BYTE[bytes.size() + (bytes.empty() ? 1 : 0)]);
  if (!bytes.empty()) std::memcpy(exact.get(), bytes.data(), bytes.size());
  std::size_t ignored = 0;
  return item_ids::ValidateList(exact.get(), bytes.size(), size != nullptr ? size : &ignored);
}

TEST(ItemIdsTest, FileIdLayoutIsCountKindVersionSnapshotName) {
  const std::vector<BYTE> bytes = item_ids::EncodeId(FileId("ab"));
  const std::vector<BYTE> expected = {
      46, 0, 6, 1,                                  // count, kind File, version 1
      0x21, 0, 0, 0,                                // attributes
      8, 7, 6, 5, 4, 3, 2, 1,                       // size
      1, 0, 0, 0, 2, 0, 0, 0,                       // creation
      3, 0, 0, 0, 4, 0, 0, 0,                       // last access
      5, 0, 0, 0, 6, 0, 0, 0,                       // last write
      0xA4, 0x81, 0, 0,                             // mode 0100644
      'a', 'b'};
  EXPECT_EQ(bytes, expected);
}

TEST(ItemIdsTest, DecodeGivesBackWhatWasEncoded) {
  const std::vector<BYTE> bytes = ListBytes({FileId("name")});
  const ItemId decoded = item_ids::DecodeId(reinterpret_cast<const ITEMIDLIST*>(bytes.data())->mkid);
  EXPECT_EQ(decoded.kind, ItemKind::File);
  EXPECT_EQ(decoded.name, "name");
  EXPECT_EQ(decoded.snapshot.size, 0x0102030405060708ULL);
  EXPECT_EQ(decoded.snapshot.last_write.dwHighDateTime, 6u);
  EXPECT_EQ(decoded.snapshot.mode, 0100644u);
}

TEST(ItemIdsTest, ListsAreTheEncodedIdsBackToBack) {
  ItemId computer;
  computer.kind = ItemKind::Computer;
  ItemId volume = FileId("/media/" + std::string(1000, 'v'));
  volume.kind = ItemKind::Volume;
  const std::vector<ItemId> ids{computer, volume, FileId("leaf.txt")};
  const std::unique_ptr<ITEMIDLIST, decltype(&CoTaskMemFree)> list(item_ids::MakeList(ids), CoTaskMemFree);
  ASSERT_NE(list, nullptr);
  const std::vector<BYTE> expected = ListBytes(ids);
  ASSERT_EQ(item_ids::ListSize(list.get()), expected.size());
  EXPECT_EQ(std::memcmp(list.get(), expected.data(), expected.size()), 0);
  EXPECT_EQ(item_ids::DecodeId(item_ids::NextId(list.get())->mkid).name, volume.name);
  const std::unique_ptr<ITEMIDLIST, decltype(&CoTaskMemFree)> empty(item_ids::MakeList({}), CoTaskMemFree);
  ASSERT_NE(empty, nullptr);
  EXPECT_EQ(item_ids::ListSize(empty.get()), item_ids::kCountSize);
}

TEST(ItemIdsTest, NameTooLongForTheCountIsCutWhereTheCountEnds) {
  ItemId volume = FileId("/" + std::string(70000, 'v'));
  volume.kind = ItemKind::Volume;
  const std::vector<BYTE> bytes = item_ids::EncodeId(volume);
  ASSERT_EQ(bytes.size(), 0xFFFFu);
  EXPECT_EQ(item_ids::EncodedSize(volume), 0xFFFFu);
  EXPECT_EQ(bytes[0] | (bytes[1] << 8), 0xFFFF);
  EXPECT_EQ(bytes.back(), 'v');
}

TEST(ItemIdsTest, IdentityIgnoresTheSnapshot) {
  ItemId changed = FileId("same");
  changed.snapshot.size = 1;
  changed.snapshot.last_write = {9, 9};
  const std::vector<BYTE> a = item_ids::EncodeId(FileId("same"));
  const std::vector<BYTE> b = item_ids::EncodeId(changed);
  const std::vector<BYTE> c = item_ids::EncodeId(FileId("other"));
  EXPECT_TRUE(item_ids::SameItem(*reinterpret_cast<const SHITEMID*>(a.data()), *reinterpret_cast<const SHITEMID*>(b.data())));
  EXPECT_FALSE(item_ids::SameItem(*reinterpret_cast<const SHITEMID*>(a.data()), *reinterpret_cast<const SHITEMID*>(c.data())));
}

struct HostileCase {
  const char* what;
  std::vector<BYTE> bytes;
  ListError error;
};

std::vector<BYTE> WithName(ItemKind kind, std::string_view name) {
  ItemId id = FileId("x");
  id.kind = kind;
  id.name = std::string(name);
  return ListBytes({id});
}

TEST(ItemIdsTest, HostileListsGetClearErrors) {
  std::vector<BYTE> long_list;
  for (int i = 0; i < 2000; ++i) {
    const std::vector<BYTE> id = item_ids::EncodeId(FileId("a-rather-long-name-for-padding"));
    long_list.insert(long_list.end(), id.begin(), id.end());
  }
  long_list.push_back(0);
  long_list.push_back(0);
  std::vector<BYTE> no_terminator = ListBytes({FileId("a")});
  no_terminator.erase(no_terminator.end() - 2, no_terminator.end());
  std::vector<BYTE> count_too_big = ListBytes({FileId("a")});
  count_too_big[0] = 200;
  std::vector<BYTE> bad_version = ListBytes({FileId("a")});
  bad_version[3] = 2;
  const std::vector<HostileCase> cases = {
      {"empty bytes", {}, ListError::Truncated},
      {"one byte", {0}, ListError::Truncated},
      {"count of one", {1, 0, 0, 0}, ListError::BadCount},
      {"count past the end", count_too_big, ListError::Truncated},
      {"no terminator", no_terminator, ListError::Truncated},
      {"kind 0", {4, 0, 0, 1, 0, 0}, ListError::UnknownKind},
      {"kind 9", {4, 0, 9, 1, 0, 0}, ListError::UnknownKind},
      {"version 2", bad_version, ListError::BadVersion},
      {"file without snapshot", {6, 0, 6, 1, 'a', 'b', 0, 0}, ListError::BadSnapshot},
      {"dot", WithName(ItemKind::File, "."), ListError::BadName},
      {"dot dot", WithName(ItemKind::Folder, ".."), ListError::BadName},
      {"slash", WithName(ItemKind::File, "a/b"), ListError::BadName},
      {"nul", WithName(ItemKind::File, std::string_view("a\0b", 3)), ListError::BadName},
      {"empty name", WithName(ItemKind::File, ""), ListError::BadName},
      {"relative mount", WithName(ItemKind::Volume, "mnt"), ListError::BadName},
      {"mount with dot dot", WithName(ItemKind::Volume, "/mnt/../etc"), ListError::BadName},
      {"mount with empty part", WithName(ItemKind::Volume, "/mnt//x"), ListError::BadName},
      {"named Computer", {5, 0, 1, 1, 'x', 0, 0}, ListError::BadName},
      {"longer than 64 KiB", long_list, ListError::TooLong},
  };
  for (const HostileCase& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(ValidateExact(c.bytes), c.error) << item_ids::ListErrorText(ValidateExact(c.bytes));
  }
}

TEST(ItemIdsTest, ValidListsPassWithTheirSize) {
  ItemId volume = FileId("/");
  volume.kind = ItemKind::Volume;
  const std::vector<BYTE> bytes = ListBytes({ItemId{ItemKind::Computer, {}, {}}, volume, FileId("a b")});
  std::size_t size = 0;
  EXPECT_EQ(ValidateExact(bytes, &size), ListError::None);
  EXPECT_EQ(size, bytes.size());
  EXPECT_EQ(item_ids::ListCount(reinterpret_cast<LPCITEMIDLIST>(bytes.data())), 3u);
}

// Mutated lists either fail validation or resolve to a path below the place they start from.
TEST(ItemIdsTest, FuzzedListsNeverReadOutsideOrResolveOutsideTheirFolder) {
  std::mt19937 random(win::testing::FuzzSeed(20261207));
  ItemId volume = FileId("/tmp");
  volume.kind = ItemKind::Volume;
  ItemId folder = FileId("sub");
  folder.kind = ItemKind::Folder;
  const std::vector<std::vector<BYTE>> seeds = {
      ListBytes({ItemId{ItemKind::Home, {}, {}}, folder, FileId("file")}),
      ListBytes({ItemId{ItemKind::Computer, {}, {}}, volume, folder}),
      ListBytes({ItemId{ItemKind::Trash, {}, {}}, FileId("entry")}),
  };
  const std::string home = getenv("HOME");
  int valid = 0;
  const std::uint64_t rounds = win::testing::FuzzIterations(20000);
  for (std::uint64_t round = 0; round < rounds; ++round) {
    std::vector<BYTE> bytes = seeds[round % seeds.size()];
    const int edits = 1 + static_cast<int>(random() % 4);
    for (int e = 0; e < edits; ++e) {
      const std::size_t at = random() % bytes.size();
      switch (random() % 4) {
        case 0: bytes[at] = static_cast<BYTE>(random()); break;
        case 1: bytes[at] = static_cast<BYTE>("./\0a"[random() % 4]); break;
        case 2: bytes.erase(bytes.begin() + static_cast<long>(at)); break;
        default: bytes.insert(bytes.begin() + static_cast<long>(at), static_cast<BYTE>(random())); break;
      }
      if (bytes.empty()) bytes.push_back(0);
    }
    std::size_t size = 0;
    if (ValidateExact(bytes, &size) != ListError::None) continue;
    ++valid;
    const std::optional<shell_model::Item> item = shell_model::Resolve(reinterpret_cast<LPCITEMIDLIST>(bytes.data()));
    if (!item || item->place != shell_model::Place::FileSystem) continue;
    const std::vector<ItemId> ids = item_ids::DecodeList(reinterpret_cast<LPCITEMIDLIST>(bytes.data()));
    std::size_t first_component = 0;
    std::string expected = shell_model::DesktopFolderPath();
    if (ids[0].kind == ItemKind::Home) expected = home, first_component = 1;
    if (ids[0].kind == ItemKind::Computer) expected = ids.at(1).name, first_component = 2;
    for (std::size_t i = first_component; i < ids.size(); ++i)
      expected += (expected.ends_with('/') ? "" : "/") + ids[i].name;
    EXPECT_EQ(item->path, expected);
  }
  EXPECT_GT(valid, 100);
}

}  // namespace
}  // namespace win
