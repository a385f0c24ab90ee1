// A folder object reuses the item the thread's last call resolved: every answer, in any order of
// items and columns, must be the one a fresh folder object gives for the same ID, and an item
// resolved for one folder never answers for another.
#include "platform/com/com_init.h"
#include "platform/core/strings.h"
#include "platform/shell/shell.h"
#include "platform/shell/shell_folder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <thread>

namespace win {
namespace {

namespace fs = std::filesystem;

struct OwnedList {
  explicit OwnedList(LPITEMIDLIST value) : list(value) {}
  OwnedList(OwnedList&& other) noexcept : list(std::exchange(other.list, nullptr)) {}
  ~OwnedList() { CoTaskMemFree(list); }
  LPITEMIDLIST list;
};

ComPtr<IShellFolder2> FolderAt(LPCITEMIDLIST absolute) {
  ComPtr<IShellFolder> folder;
  EXPECT_EQ(MakeShellFolder(absolute, folder.GetAddressOf()), S_OK);
  ComPtr<IShellFolder2> folder2;
  folder->QueryInterface(IShellFolder2::iid, reinterpret_cast<void**>(folder2.GetAddressOf()));
  return folder2;
}

std::u16string Details(IShellFolder2* folder, LPCITEMIDLIST child, UINT column) {
  SHELLDETAILS details;
  if (FAILED(folder->GetDetailsOf(child, column, &details))) return u"<failed>";
  std::u16string text = details.str.pOleStr;
  CoTaskMemFree(details.str.pOleStr);
  return text;
}

TEST(FolderDetailsTest, ReusedItemsAnswerAsAFreshFolderDoes) {
  const fs::path root = fs::path(getenv("HOME")) / "folder-details";
  fs::create_directories(root / "sub");
  std::vector<OwnedList> children;
  for (int i = 0; i < 12; ++i) {
    const fs::path file = root / ("file-" + std::to_string(i) + (i % 3 == 0 ? ".png" : ".txt"));
    std::ofstream(file) << std::string(static_cast<std::size_t>(i) * 700, 'x');
    children.emplace_back(item_ids::MakeList({*shell_model::FileIdAt(file.string())}));
  }
  children.emplace_back(item_ids::MakeList({*shell_model::FileIdAt((root / "sub").string())}));
  // The same name with another snapshot is another ID, answered from its own bytes.
  std::ofstream(root / "file-1.txt") << std::string(5000, 'y');
  children.emplace_back(item_ids::MakeList({*shell_model::FileIdAt((root / "file-1.txt").string())}));
  const OwnedList absolute(shell_model::PathToList(root.string()));
  const ComPtr<IShellFolder2> folder = FolderAt(absolute.list);
  ASSERT_NE(folder, nullptr);
  std::mt19937 random(33);
  for (int call = 0; call < 400; ++call) {
    const OwnedList& child = children[random() % children.size()];
    const UINT column = static_cast<UINT>(random() % 6);  // one past the last column fails
    const ComPtr<IShellFolder2> fresh = FolderAt(absolute.list);
    ASSERT_EQ(Details(folder.Get(), child.list, column), Details(fresh.Get(), child.list, column)) << call;
  }
  EXPECT_NE(Details(folder.Get(), children[1].list, 1), Details(folder.Get(), children.back().list, 1));
  fs::remove_all(root);
}

std::u16string ParsingName(IShellFolder* folder, LPCITEMIDLIST child) {
  STRRET name;
  if (FAILED(folder->GetDisplayNameOf(child, SHGDN_FORPARSING, &name))) return u"<failed>";
  std::u16string text = name.pOleStr;
  CoTaskMemFree(name.pOleStr);
  return text;
}

TEST(FolderDetailsTest, ReusedItemsBelongToTheirFolderAndThread) {
  const fs::path root = fs::path(getenv("HOME")) / "folder-reuse";
  fs::create_directories(root / "a");
  fs::create_directories(root / "b");
  // The very same ID bytes below two folders.
  const OwnedList child(item_ids::MakeList({item_ids::ItemId{item_ids::ItemKind::File, {}, "same"}}));
  const OwnedList a(shell_model::PathToList((root / "a").string()));
  const OwnedList b(shell_model::PathToList((root / "b").string()));
  const std::u16string in_a = Utf8ToUtf16((root / "a/same").string());
  const std::u16string in_b = Utf8ToUtf16((root / "b/same").string());
  // Folder objects made and freed in turn may take one another's addresses.
  for (int round = 0; round < 20; ++round) {
    EXPECT_EQ(ParsingName(FolderAt(a.list).Get(), child.list), in_a) << round;
    EXPECT_EQ(ParsingName(FolderAt(b.list).Get(), child.list), in_b) << round;
  }
  const ComPtr<IShellFolder2> folder_a = FolderAt(a.list);
  const ComPtr<IShellFolder2> folder_b = FolderAt(b.list);
  int wrong_in_b = 0;
  std::thread other([&] {
    for (int i = 0; i < 500; ++i) wrong_in_b += ParsingName(folder_b.Get(), child.list) != in_b;
  });
  int wrong_in_a = 0;
  for (int i = 0; i < 500; ++i) wrong_in_a += ParsingName(folder_a.Get(), child.list) != in_a;
  other.join();
  EXPECT_EQ(wrong_in_a, 0);
  EXPECT_EQ(wrong_in_b, 0);
  fs::remove_all(root);
}

}  // namespace
}  // namespace win
