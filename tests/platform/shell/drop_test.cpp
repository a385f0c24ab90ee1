// The shell's data objects and folder drop targets: the items' record in a data object, drops
// that copy, move, link or trash through the paste transfers (never overwriting), the effect a
// key state or the data's preferred effect chooses, hostile records refused, and the multi-file
// properties entry.
#include "platform/com/com_init.h"
#include "platform/core/modules.h"
#include "platform/ole/clipboard.h"
#include "platform/ole/global_memory.h"
#include "platform/shell/item_data.h"
#include "platform/shell/properties_window.h"
#include "platform/shell/shell.h"
#include "platform/user/messages.h"
#include "platform/user/window.h"
#include "platform_test_support.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace win {
namespace {

namespace fs = std::filesystem;

struct OwnedList {
  explicit OwnedList(LPITEMIDLIST value) : list(value) {}
  ~OwnedList() { CoTaskMemFree(list); }
  LPITEMIDLIST list;
};

std::string Read(const fs::path& path) {
  std::ifstream in(path);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// A data object holding exactly the given bytes in a named format.
void Put(IDataObject* data, std::string_view name, const void* bytes, std::size_t size) {
  FORMATETC format;
  format.cfFormat = static_cast<CLIPFORMAT>(RegisterClipboardFormatA(std::string(name).c_str()));
  STGMEDIUM medium;
  medium.tymed = TYMED_HGLOBAL;
  medium.hGlobal = item_data::GlobalWith(bytes, size);
  ASSERT_EQ(data->SetData(&format, &medium, TRUE), S_OK);
}

class ShellDropTest : public ::testing::Test {
 protected:
  void SetUp() override {
    static int counter = 0;
    root_ = fs::path(getenv("HOME")) / ("platform-drop-" + std::to_string(++counter));
    fs::create_directories(root_ / "a");
    fs::create_directories(root_ / "b");
    ASSERT_EQ(SHGetDesktopFolder(desktop_.GetAddressOf()), S_OK);
  }
  void TearDown() override { fs::remove_all(root_); }
  fs::path File(const std::string& relative, const std::string& content = "x") {
    std::ofstream(root_ / relative) << content;
    return root_ / relative;
  }
  ComPtr<IShellFolder> FolderAt(const fs::path& path) {
    const OwnedList list(shell_model::PathToList(path.string()));
    ComPtr<IShellFolder> folder;
    desktop_->BindToObject(list.list, nullptr, IShellFolder::iid, reinterpret_cast<void**>(folder.GetAddressOf()));
    return folder;
  }
  // The data object of files of folder a, asked of the folder.
  ComPtr<IDataObject> DataOf(const std::vector<std::string>& names) {
    std::vector<std::unique_ptr<OwnedList>> owned;
    std::vector<LPCITEMIDLIST> lists;
    for (const std::string& name : names) {
      owned.push_back(std::make_unique<OwnedList>(item_ids::MakeList({*shell_model::FileIdAt((root_ / "a" / name).string())})));
      lists.push_back(owned.back()->list);
    }
    ComPtr<IDataObject> data;
    EXPECT_EQ(FolderAt(root_ / "a")->GetUIObjectOf(nullptr, static_cast<UINT>(lists.size()), lists.data(), IDataObject::iid,
                                                    nullptr, reinterpret_cast<void**>(data.GetAddressOf())),
              S_OK);
    return data;
  }
  // The drop target of the folder at `path` (its own view object).
  ComPtr<IDropTarget> TargetOf(const fs::path& path) {
    ComPtr<IDropTarget> target;
    ComPtr<IShellFolder> folder = FolderAt(path);
    if (folder != nullptr)
      folder->CreateViewObject(nullptr, IDropTarget::iid, reinterpret_cast<void**>(target.GetAddressOf()));
    return target;
  }
  // Enters and drops with the key state, the source allowing `allowed`; answers the effect.
  static DROPEFFECT Drop(IDropTarget* target, IDataObject* data, DWORD keys, DROPEFFECT allowed = DROPEFFECT_COPY | DROPEFFECT_MOVE | DROPEFFECT_LINK,
                         HRESULT* result = nullptr) {
    DROPEFFECT effect = allowed;
    target->DragEnter(data, keys, POINTL{}, &effect);
    effect = allowed;
    const HRESULT dropped = target->Drop(data, keys, POINTL{}, &effect);
    if (result != nullptr) *result = dropped;
    return effect;
  }
  fs::path root_;
  ComPtr<IShellFolder> desktop_;
};

TEST_F(ShellDropTest, TheItemsDataObjectCarriesTheirRecord) {
  File("a/x.txt");
  File("a/y.txt");
  const ComPtr<IDataObject> data = DataOf({"x.txt", "y.txt"});
  ASSERT_NE(data.Get(), nullptr);
  const std::optional<cida::Record> record = item_data::ReadRecord(data.Get());
  ASSERT_TRUE(record);
  // The parent list names the folder; its bytes also hold the folder's access time, which reading
  // the folder may change, so the list is compared by what it names.
  const std::optional<shell_model::Item> parent =
      shell_model::Resolve(reinterpret_cast<LPCITEMIDLIST>(record->parent.data()));
  ASSERT_TRUE(parent);
  EXPECT_EQ(parent->path, (root_ / "a").string());
  const std::optional<std::vector<shell_model::Item>> items = cida::ResolveMembers(*record);
  ASSERT_TRUE(items);
  ASSERT_EQ(items->size(), 2u);
  EXPECT_EQ((*items)[1].path, (root_ / "a/y.txt").string());
  // A list naming nothing in the folder gives no data object.
  const OwnedList stray(item_ids::MakeList({item_ids::ItemId{item_ids::ItemKind::Computer, {}, {}}}));
  LPCITEMIDLIST lists[] = {stray.list};
  ComPtr<IDataObject> none;
  EXPECT_EQ(FolderAt(root_ / "a")->GetUIObjectOf(nullptr, 1, lists, IDataObject::iid, nullptr,
                                                 reinterpret_cast<void**>(none.GetAddressOf())),
            E_INVALIDARG);
}

TEST_F(ShellDropTest, DropsMoveCopyAndLinkAsPasteDoesNeverOverwriting) {
  File("a/x.txt", "new");
  File("b/x.txt", "old");
  const ComPtr<IDropTarget> target = TargetOf(root_ / "b");
  ASSERT_NE(target.Get(), nullptr);
  EXPECT_EQ(Drop(target.Get(), DataOf({"x.txt"}).Get(), MK_CONTROL), DROPEFFECT_COPY);
  EXPECT_EQ(Read(root_ / "b/x (2).txt"), "new");
  EXPECT_EQ(Read(root_ / "b/x.txt"), "old");
  EXPECT_EQ(Drop(target.Get(), DataOf({"x.txt"}).Get(), MK_CONTROL | MK_SHIFT), DROPEFFECT_LINK);
  EXPECT_EQ(fs::read_symlink(root_ / "b/x (3).txt"), root_ / "a/x.txt");
  EXPECT_EQ(Drop(target.Get(), DataOf({"x.txt"}).Get(), 0), DROPEFFECT_MOVE);
  EXPECT_FALSE(fs::exists(root_ / "a/x.txt"));
  EXPECT_EQ(Read(root_ / "b/x (4).txt"), "new");
}

TEST_F(ShellDropTest, TheEffectFollowsKeysThenThePreferredEffectThenWhatIsAllowed) {
  constexpr DROPEFFECT all = DROPEFFECT_COPY | DROPEFFECT_MOVE | DROPEFFECT_LINK;
  const struct {
    DWORD keys;
    DROPEFFECT allowed;
    std::optional<DROPEFFECT> preferred;
    DROPEFFECT chosen;
  } cases[] = {
      {0, all, std::nullopt, DROPEFFECT_MOVE},
      {MK_CONTROL, all, std::nullopt, DROPEFFECT_COPY},
      {MK_CONTROL | MK_SHIFT, all, std::nullopt, DROPEFFECT_LINK},
      {MK_SHIFT, all, DROPEFFECT_COPY, DROPEFFECT_MOVE},
      {0, all, DROPEFFECT_COPY, DROPEFFECT_COPY},
      {0, all, DROPEFFECT_COPY | DROPEFFECT_LINK, DROPEFFECT_COPY},
      {0, DROPEFFECT_MOVE, DROPEFFECT_COPY, DROPEFFECT_MOVE},
      {0, DROPEFFECT_COPY | DROPEFFECT_LINK, std::nullopt, DROPEFFECT_COPY},
      {MK_CONTROL, DROPEFFECT_LINK, std::nullopt, DROPEFFECT_LINK},
      {0, DROPEFFECT_NONE, DROPEFFECT_MOVE, DROPEFFECT_NONE},
  };
  for (const auto& c : cases)
    EXPECT_EQ(item_data::ChooseEffect(c.keys, c.allowed, c.preferred), c.chosen) << c.keys << " " << c.allowed;
  // The data's preferred effect counts when the drop happens.
  File("a/x.txt");
  const ComPtr<IDataObject> data = DataOf({"x.txt"});
  const DROPEFFECT copy = DROPEFFECT_COPY;
  Put(data.Get(), cida::kPreferredDropEffectName, &copy, sizeof(copy));
  EXPECT_EQ(Drop(TargetOf(root_ / "b").Get(), data.Get(), 0), DROPEFFECT_COPY);
  EXPECT_TRUE(fs::exists(root_ / "a/x.txt"));
  EXPECT_TRUE(fs::exists(root_ / "b/x.txt"));
}

TEST_F(ShellDropTest, HostileOrForeignDataIsRefusedAndNothingChanges) {
  File("a/x.txt");
  const ComPtr<IDropTarget> target = TargetOf(root_ / "b");
  std::vector<BYTE> good;
  {
    const ComPtr<IDataObject> data = DataOf({"x.txt"});
    FORMATETC format;
    format.cfFormat = static_cast<CLIPFORMAT>(RegisterClipboardFormatA(cida::kFormatName.data()));
    STGMEDIUM medium;
    ASSERT_EQ(data->GetData(&format, &medium), S_OK);
    good = *item_data::BytesOf(medium.hGlobal);
    ReleaseStgMedium(&medium);
  }
  const struct {
    const char* what;
    std::vector<BYTE> bytes;
  } cases[] = {
      {"empty", {}},
      {"cut short", std::vector<BYTE>(good.begin(), good.end() - 3)},
      {"huge count", [&] { auto b = good; b[3] = 0x7F; return b; }()},
      {"offset past the end", [&] { auto b = good; b[8] = 0xFF; b[9] = 0xFF; return b; }()},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const ComPtr<DataObject> data = MakeCom<DataObject>();
    if (!c.bytes.empty()) Put(data.Get(), cida::kFormatName, c.bytes.data(), c.bytes.size());
    DROPEFFECT effect = DROPEFFECT_COPY | DROPEFFECT_MOVE;
    EXPECT_EQ(target->DragEnter(data.Get(), 0, POINTL{}, &effect), S_OK);
    EXPECT_EQ(effect, DROPEFFECT_NONE);
    effect = DROPEFFECT_COPY | DROPEFFECT_MOVE;
    EXPECT_EQ(target->DragOver(0, POINTL{}, &effect), S_OK);
    EXPECT_EQ(effect, DROPEFFECT_NONE);
    HRESULT result = S_OK;
    EXPECT_EQ(Drop(target.Get(), data.Get(), 0, DROPEFFECT_COPY | DROPEFFECT_MOVE, &result), DROPEFFECT_NONE);
    EXPECT_TRUE(FAILED(result));
  }
  EXPECT_TRUE(fs::is_empty(root_ / "b"));
  EXPECT_TRUE(fs::exists(root_ / "a/x.txt"));
}

TEST_F(ShellDropTest, TrashTakesMovesOnlyAndTrashesThem) {
  File("a/x.txt");
  ComPtr<IShellFolder> trash;
  const OwnedList trash_list(shell_model::ParseName(u"trash:///"));
  ASSERT_EQ(desktop_->BindToObject(trash_list.list, nullptr, IShellFolder::iid, reinterpret_cast<void**>(trash.GetAddressOf())), S_OK);
  ComPtr<IDropTarget> target;
  ASSERT_EQ(trash->CreateViewObject(nullptr, IDropTarget::iid, reinterpret_cast<void**>(target.GetAddressOf())), S_OK);
  EXPECT_EQ(Drop(target.Get(), DataOf({"x.txt"}).Get(), MK_CONTROL, DROPEFFECT_COPY), DROPEFFECT_NONE);
  EXPECT_TRUE(fs::exists(root_ / "a/x.txt"));
  EXPECT_EQ(Drop(target.Get(), DataOf({"x.txt"}).Get(), 0), DROPEFFECT_MOVE);
  EXPECT_FALSE(fs::exists(root_ / "a/x.txt"));
  const fs::path trash_home = fs::path(getenv("XDG_DATA_HOME")) / "Trash";
  EXPECT_TRUE(fs::exists(trash_home / "files/x.txt"));
  EXPECT_TRUE(fs::exists(trash_home / "info/x.txt.trashinfo"));
  fs::remove_all(trash_home);
}

TEST_F(ShellDropTest, MultiFilePropertiesShowTheCountAndTotalOfADataObjectsItems) {
  File("a/x.txt", "12345");
  File("a/y.txt", "123");
  using Entry = HRESULT (*)(IDataObject*, DWORD);
  const auto entry = reinterpret_cast<Entry>(
      GetProcAddress(GetModuleHandleA("shell32.dll"), MAKEINTRESOURCEA(kShellExportMultiFileProperties)));
  ASSERT_NE(entry, nullptr);
  const ComPtr<IDataObject> data = DataOf({"x.txt", "y.txt"});
  EXPECT_EQ(entry(data.Get(), 1), E_INVALIDARG);
  EXPECT_EQ(entry(MakeCom<DataObject>().Get(), 0), E_INVALIDARG);
  ASSERT_EQ(entry(data.Get(), 0), S_OK);
  const HWND window = FindWindowA(properties_window::kWindowClass, "2 Items Properties");
  ASSERT_NE(window, nullptr);
  std::vector<std::string> lines;
  // The total is counted once the window is open.
  dashtune::testing::PumpUntil([&] {
    lines.clear();
    for (HWND line = FindWindowExA(window, nullptr, properties_window::kLineClass, nullptr); line != nullptr;
         line = FindWindowExA(window, line, properties_window::kLineClass, nullptr)) {
      char text[256] = {};
      GetWindowTextA(line, text, sizeof(text));
      lines.emplace_back(text);
    }
    return lines.size() == 2 && lines[1] != "Total size: counting...";
  });
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], "Items: 2");
  EXPECT_EQ(lines[1].rfind("Total size: ", 0), 0u);
  EXPECT_NE(lines[1].find("(8 bytes)"), std::string::npos);
  DestroyWindow(window);
}

}  // namespace
}  // namespace win
