// The shell's verb machinery below TNamespace: the CIDA record (layout, hostile blocks, seeded
// fuzzing with paste-source resolution), numbered names and transfers that never overwrite, the
// items' context menu (offsets, verb texts, refusals) and started programs' process handles.
#include "platform/com/com_init.h"
#include "platform/core/handles.h"
#include "platform/core/wait.h"
#include "platform/shell/child_process.h"
#include "platform/shell/cida.h"
#include "platform/shell/context_menu.h"
#include "platform/shell/file_operations.h"
#include "platform/shell/shell.h"
#include "platform/user/menus.h"

#include "fuzz_budget.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>
#include <thread>

namespace win {
namespace {

namespace fs = std::filesystem;
using file_operations::Transfer;

std::vector<BYTE> Bytes(LPCITEMIDLIST list) {
  const auto* at = reinterpret_cast<const BYTE*>(list);
  return std::vector<BYTE>(at, at + item_ids::ListSize(list));
}

struct OwnedList {
  explicit OwnedList(LPITEMIDLIST value) : list(value) {}
  ~OwnedList() { CoTaskMemFree(list); }
  LPITEMIDLIST list;
};

class ShellVerbsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    static int counter = 0;
    root_ = fs::path(getenv("HOME")) / ("platform-verbs-" + std::to_string(++counter));
    fs::create_directories(root_ / "a");
    fs::create_directories(root_ / "b");
  }
  void TearDown() override { fs::remove_all(root_); }
  fs::path File(const std::string& relative, const std::string& content = "x") {
    std::ofstream(root_ / relative) << content;
    return root_ / relative;
  }
  fs::path root_;
};

TEST_F(ShellVerbsTest, CidaLayoutAndRoundTrip) {
  const OwnedList folder(shell_model::PathToList((root_ / "a").string()));
  File("a/x");
  const std::vector<item_ids::ItemId> id{*shell_model::FileIdAt((root_ / "a/x").string())};
  const OwnedList member(item_ids::MakeList(id));
  const LPCITEMIDLIST members[] = {member.list, member.list};
  const std::optional<std::vector<BYTE>> record = cida::Encode(folder.list, members);
  ASSERT_TRUE(record);
  const std::size_t parent_size = item_ids::ListSize(folder.list);
  const std::size_t member_size = item_ids::ListSize(member.list);
  // count, three offsets, then the lists in order.
  ASSERT_EQ(record->size(), 16 + parent_size + 2 * member_size);
  const std::vector<BYTE> header(record->begin(), record->begin() + 8);
  EXPECT_EQ(header, (std::vector<BYTE>{2, 0, 0, 0, 16, 0, 0, 0}));
  const UINT first_member = (*record)[8] | (*record)[9] << 8 | (*record)[10] << 16 | static_cast<UINT>((*record)[11]) << 24;
  EXPECT_EQ(first_member, 16 + parent_size);
  const std::optional<cida::Record> decoded = cida::Decode(record->data(), record->size());
  ASSERT_TRUE(decoded);
  EXPECT_EQ(decoded->parent, Bytes(folder.list));
  ASSERT_EQ(decoded->members.size(), 2u);
  EXPECT_EQ(decoded->members[1], Bytes(member.list));
  const std::optional<std::vector<shell_model::Item>> items = cida::ResolveMembers(*decoded);
  ASSERT_TRUE(items);
  EXPECT_EQ((*items)[0].path, (root_ / "a/x").string());
}

TEST_F(ShellVerbsTest, HostileCidaBlocksAreRefused) {
  const OwnedList folder(shell_model::PathToList((root_ / "a").string()));
  const LPCITEMIDLIST members[] = {folder.list};
  std::vector<BYTE> good = *cida::Encode(nullptr, members);
  struct Case {
    const char* what;
    std::function<void(std::vector<BYTE>&)> edit;
    cida::Error error;
  };
  const Case cases[] = {
      {"empty", [](std::vector<BYTE>& b) { b.clear(); }, cida::Error::Truncated},
      {"no members", [](std::vector<BYTE>& b) { b[0] = 0; }, cida::Error::NoMembers},
      {"huge count", [](std::vector<BYTE>& b) { b[3] = 0x7F; }, cida::Error::TooManyMembers},
      {"table past the end", [](std::vector<BYTE>& b) { b[0] = 200; }, cida::Error::Truncated},
      {"offset into the table", [](std::vector<BYTE>& b) { b[4] = 4; }, cida::Error::BadOffset},
      {"offset past the end", [](std::vector<BYTE>& b) { b[8] = 0xFF; b[9] = 0xFF; }, cida::Error::BadOffset},
      {"list cut short", [](std::vector<BYTE>& b) { b.pop_back(); }, cida::Error::BadList},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<BYTE> bytes = good;
    c.edit(bytes);
    cida::Error error = cida::Error::None;
    EXPECT_FALSE(cida::Decode(bytes.data(), bytes.size(), &error));
    EXPECT_EQ(error, c.error);
  }
  // Computer or Trash are no sources of a paste.
  const OwnedList computer(item_ids::MakeList({item_ids::ItemId{item_ids::ItemKind::Computer, {}, {}}}));
  const LPCITEMIDLIST virtual_members[] = {computer.list};
  const std::vector<BYTE> record = *cida::Encode(nullptr, virtual_members);
  EXPECT_FALSE(cida::ResolveMembers(*cida::Decode(record.data(), record.size())));
}

// Mutated records either fail to decode, or every list they hand out validates on its own and
// resolves to an existing path built from its names.
TEST_F(ShellVerbsTest, FuzzedCidaRecordsNeverReadOutsideTheirBlock) {
  File("a/x");
  const OwnedList folder(shell_model::PathToList((root_ / "a").string()));
  const OwnedList file(shell_model::PathToList((root_ / "a/x").string()));
  const OwnedList relative(item_ids::MakeList({*shell_model::FileIdAt((root_ / "a/x").string())}));
  const LPCITEMIDLIST relatives[] = {relative.list, relative.list};
  const LPCITEMIDLIST absolutes[] = {file.list, folder.list};
  const std::vector<std::vector<BYTE>> seeds = {*cida::Encode(folder.list, relatives), *cida::Encode(nullptr, absolutes)};
  std::mt19937 random(testing::FuzzSeed(1207));
  const std::uint64_t rounds = testing::FuzzIterations(20000);
  int decoded = 0;
  for (std::uint64_t round = 0; round < rounds; ++round) {
    std::vector<BYTE> bytes = seeds[round % seeds.size()];
    const int edits = 1 + static_cast<int>(random() % 4);
    for (int e = 0; e < edits && !bytes.empty(); ++e) {
      const std::size_t at = random() % bytes.size();
      switch (random() % 4) {
        case 0: bytes[at] = static_cast<BYTE>(random()); break;
        case 1: bytes[at] = static_cast<BYTE>(bytes[at] + (random() % 2 == 0 ? 1 : -1)); break;
        case 2: bytes.erase(bytes.begin() + static_cast<long>(at)); break;
        default: bytes.insert(bytes.begin() + static_cast<long>(at), static_cast<BYTE>(random())); break;
      }
    }
    // Exactly the bytes that are there, so that AddressSanitizer sees any read past them.
    const std::unique_ptr<BYTE[]> block(new BYTE[bytes.size() + 1]);
    std::copy(bytes.begin(), bytes.end(), block.get());
    const std::optional<cida::Record> record = cida::Decode(block.get(), bytes.size());
    if (!record) continue;
    ++decoded;
    for (const std::vector<BYTE>& list : record->members) {
      std::size_t size = 0;
      EXPECT_EQ(item_ids::ValidateList(list.data(), list.size(), &size), item_ids::ListError::None);
      EXPECT_EQ(size, list.size());
    }
    const std::optional<std::vector<shell_model::Item>> items = cida::ResolveMembers(*record);
    if (!items) continue;
    for (const shell_model::Item& item : *items) {
      EXPECT_EQ(item.path.front(), '/');
      EXPECT_EQ(item.path.find("/../"), std::string::npos);
    }
  }
  EXPECT_GT(decoded, 100);
}

TEST(FileOperationsTest, NumberedNames) {
  struct Case {
    const char* name;
    bool folder;
    int number;
    const char* expected;
  };
  const Case cases[] = {{"x.txt", false, 2, "x (2).txt"},   {"x", false, 3, "x (3)"},
                        {".profile", false, 2, ".profile (2)"}, {"a.b.c", false, 2, "a.b (2).c"},
                        {"dir.v1", true, 2, "dir.v1 (2)"},    {"x.txt", false, 10, "x (10).txt"}};
  for (const Case& c : cases) EXPECT_EQ(file_operations::NumberedName(c.name, c.folder, c.number), c.expected);
}

TEST_F(ShellVerbsTest, TransfersNeverOverwriteNorGoIntoThemselves) {
  File("a/x.txt", "new");
  File("b/x.txt", "old");
  File("b/x (2).txt", "older");
  DWORD error = 0;
  EXPECT_EQ(file_operations::TransferInto((root_ / "a/x.txt").string(), (root_ / "b").string(), Transfer::Copy, error),
            (root_ / "b/x (3).txt").string());
  EXPECT_EQ(file_operations::TransferInto((root_ / "a/x.txt").string(), (root_ / "b").string(), Transfer::Move, error),
            (root_ / "b/x (4).txt").string());
  std::string old_text;
  std::ifstream(root_ / "b/x.txt") >> old_text;
  EXPECT_EQ(old_text, "old");
  fs::create_directories(root_ / "a/sub/deeper");
  EXPECT_FALSE(file_operations::TransferInto((root_ / "a").string(), (root_ / "a/sub/deeper").string(), Transfer::Copy, error));
  EXPECT_EQ(error, static_cast<DWORD>(87));
  EXPECT_FALSE(file_operations::TransferInto((root_ / "a").string(), (root_ / "a").string(), Transfer::Move, error));
  // A folder is copied with what it holds; its links stay links.
  fs::create_symlink("/nonexistent-target", root_ / "a/sub/link");
  File("a/sub/deeper/f", "deep");
  ASSERT_TRUE(file_operations::TransferInto((root_ / "a").string(), (root_ / "b").string(), Transfer::Copy, error));
  EXPECT_TRUE(fs::is_symlink(root_ / "b/a/sub/link"));
  EXPECT_EQ(fs::read_symlink(root_ / "b/a/sub/link"), "/nonexistent-target");
  EXPECT_TRUE(fs::exists(root_ / "b/a/sub/deeper/f"));
  // Moving an item into the folder it lies in changes nothing.
  EXPECT_EQ(file_operations::TransferInto((root_ / "b/x.txt").string(), (root_ / "b").string(), Transfer::Move, error),
            (root_ / "b/x.txt").string());
}

TEST_F(ShellVerbsTest, ItemsMenuOffersItsVerbsByOffsetAndTextAndRefusesOthers) {
  File("a/x.txt");
  const OwnedList folder(shell_model::PathToList((root_ / "a").string()));
  ComPtr<IShellFolder> desktop;
  ASSERT_EQ(SHGetDesktopFolder(desktop.GetAddressOf()), S_OK);
  ComPtr<IShellFolder> shell_folder;
  ASSERT_EQ(desktop->BindToObject(folder.list, nullptr, IShellFolder::iid, reinterpret_cast<void**>(shell_folder.GetAddressOf())), S_OK);
  const OwnedList child(item_ids::MakeList({*shell_model::FileIdAt((root_ / "a/x.txt").string())}));
  LPCITEMIDLIST lists[] = {child.list};
  ComPtr<IContextMenu> menu;
  ASSERT_EQ(shell_folder->GetUIObjectOf(nullptr, 1, lists, IContextMenu::iid, nullptr, reinterpret_cast<void**>(menu.GetAddressOf())), S_OK);
  ComPtr<IContextMenu2> richer;
  EXPECT_EQ(menu->QueryInterface(IContextMenu2::iid, reinterpret_cast<void**>(richer.GetAddressOf())), E_NOINTERFACE);
  // Before QueryContextMenu no offset is the menu's.
  char verb[32] = {};
  EXPECT_EQ(menu->GetCommandString(0, GCS_VERBA, nullptr, verb, sizeof(verb)), E_INVALIDARG);
  const HMENU popup = CreatePopupMenu();
  const HRESULT added = menu->QueryContextMenu(popup, 0, 100, 0x7FFF, CMF_NORMAL);
  ASSERT_TRUE(SUCCEEDED(added));
  std::vector<std::string> verbs;
  for (UINT offset = 0; offset < HRESULT_CODE(added); ++offset) {
    ASSERT_EQ(menu->GetCommandString(offset, GCS_VERBA, nullptr, verb, sizeof(verb)), S_OK);
    verbs.emplace_back(verb);
  }
  EXPECT_EQ(verbs.front(), "open");
  for (const char* expected : {"cut", "copy", "delete", "properties"})
    EXPECT_NE(std::find(verbs.begin(), verbs.end(), expected), verbs.end()) << expected;
  // Paste goes to folders; rename only under CMF_CANRENAME.
  EXPECT_EQ(std::find(verbs.begin(), verbs.end(), "paste"), verbs.end());
  EXPECT_EQ(std::find(verbs.begin(), verbs.end(), "rename"), verbs.end());
  MENUITEMINFOW first;
  first.fMask = MIIM_STATE | MIIM_ID;
  ASSERT_TRUE(GetMenuItemInfoW(popup, 0, TRUE, &first));
  EXPECT_EQ(first.wID, 100u);
  EXPECT_EQ(first.fState & MFS_DEFAULT, MFS_DEFAULT);
  CMINVOKECOMMANDINFO info;
  info.lpVerb = MakeVerbOffsetA(HRESULT_CODE(added));
  EXPECT_EQ(menu->InvokeCommand(&info), E_INVALIDARG);
  info.lpVerb = "frobnicate";
  EXPECT_EQ(menu->InvokeCommand(&info), E_INVALIDARG);
  EXPECT_EQ(menu->GetCommandString(reinterpret_cast<UINT_PTR>("delete"), GCS_VALIDATEA, nullptr, nullptr, 0), S_OK);
  EXPECT_EQ(menu->GetCommandString(reinterpret_cast<UINT_PTR>("paste"), GCS_VALIDATEA, nullptr, nullptr, 0), S_FALSE);
  DestroyMenu(popup);
  const HMENU only_default = CreatePopupMenu();
  EXPECT_EQ(HRESULT_CODE(menu->QueryContextMenu(only_default, 0, 1, 0x7FFF, CMF_DEFAULTONLY)), 1u);
  EXPECT_EQ(GetMenuItemCount(only_default), 1);
  DestroyMenu(only_default);
}

TEST(ChildProcessTest, HandleSignalsAtTheEndAndGivesTheStatus) {
  const pid_t pid = child_process::Spawn({"/bin/sh", "-c", "exit 7"}, "/");
  ASSERT_GT(pid, 0);
  const HANDLE process = child_process::Adopt(pid, true);
  ASSERT_NE(process, nullptr);
  EXPECT_EQ(WaitForSingleObject(process, 10000), WAIT_OBJECT_0);
  DWORD status = 0;
  EXPECT_TRUE(GetExitCodeProcess(process, &status));
  EXPECT_EQ(status, 7u);
  EXPECT_TRUE(CloseHandle(process));
  EXPECT_FALSE(GetExitCodeProcess(process, &status));
  errno = 0;
  EXPECT_EQ(child_process::Spawn({"/nonexistent/program"}, ""), -1);
  EXPECT_EQ(errno, ENOENT);
  EXPECT_EQ(child_process::Spawn({"/bin/true"}, "/nonexistent-folder"), -1);
}

TEST(ChildProcessTest, ClosingTheHandleOfARunningChildLeavesItToTheReaper) {
  const pid_t pid = child_process::Spawn({"/bin/sh", "-c", "sleep 0.2"}, "");
  ASSERT_GT(pid, 0);
  const HANDLE process = child_process::Adopt(pid, true);
  EXPECT_TRUE(CloseHandle(process));
  for (int tries = 0; tries < 500 && child_process::UnreapedChildrenForTesting() != 0; ++tries)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_EQ(child_process::UnreapedChildrenForTesting(), 0u);
  siginfo_t info{};
  EXPECT_EQ(waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG), -1);
  EXPECT_EQ(errno, ECHILD);
}

}  // namespace
}  // namespace win
