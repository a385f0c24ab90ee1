// A folder object reuses the item its last details call resolved: every answer, in any order of
// items and columns, must be the one a fresh folder object gives for the same ID.
#include "platform/com/com_init.h"
#include "platform/shell/shell.h"
#include "platform/shell/shell_folder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>

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

}  // namespace
}  // namespace win
