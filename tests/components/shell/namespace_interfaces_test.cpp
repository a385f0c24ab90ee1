// TNamespace's last getters: the thumbnail object, the description the shell gives an item, and
// the interfaces asked of the folder objects in their order, none of which this platform offers.
#include "components/shell/namespace.h"
#include "components/shell/shell_utilities.h"
#include "platform/com/com_init.h"
#include "platform/core/strings.h"
#include "platform/shell/shell.h"
#include "platform/shell/shell_folder.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "shell_test_support.h"

namespace dashtune {
namespace {

namespace fs = std::filesystem;

std::string InterfaceName(win::REFIID iid) {
  static const std::map<std::string, win::IID> kNames = {
      {"IShellIconOverlay", win::IShellIconOverlay::iid},       {"IExtractIconA", win::IExtractIconA::iid},
      {"IExtractIconW", win::IExtractIconW::iid},               {"IBrowserFrameOptions", win::IBrowserFrameOptions::iid},
      {"IQueryAssociations", win::IQueryAssociations::iid},     {"ICategoryProvider", win::ICategoryProvider::iid}};
  for (const auto& [name, known] : kNames)
    if (known == iid) return name;
  return {};
}

// Answers the overlay, association and wide icon extractor interfaces, each call failing.
class OfferedObject : public win::ComObject<win::IShellIconOverlay, win::IQueryAssociations, win::IExtractIconW> {
 public:
  win::HRESULT GetIconLocation(win::UINT, win::WCHAR*, win::UINT, int*, win::UINT*) override { return win::E_FAIL; }
  win::HRESULT Extract(const win::WCHAR*, win::UINT, win::HICON*, win::HICON*, win::UINT) override { return win::E_FAIL; }
  win::HRESULT GetOverlayIndex(win::LPCITEMIDLIST, int*) override { return win::E_FAIL; }
  win::HRESULT GetOverlayIconIndex(win::LPCITEMIDLIST, int*) override { return win::E_FAIL; }
  win::HRESULT Init(win::DWORD, win::LPCWSTR, win::HKEY, win::HWND) override { return win::E_FAIL; }
  win::HRESULT GetString(win::DWORD, win::DWORD, win::LPCWSTR, win::LPWSTR, win::DWORD*) override { return win::E_FAIL; }
  win::HRESULT GetKey(win::DWORD, win::DWORD, win::LPCWSTR, win::HKEY*) override { return win::E_FAIL; }
  win::HRESULT GetData(win::DWORD, win::DWORD, win::LPCWSTR, void*, win::DWORD*) override { return win::E_FAIL; }
  win::HRESULT GetEnum(win::DWORD, win::DWORD, win::LPCWSTR, win::REFIID, void**) override { return win::E_FAIL; }
};

// A folder object that writes down every request for one of the item interfaces ("own
// QueryInterface IShellIconOverlay") and offers only what it is told to, from `offered`.
class RecordingFolder : public win::ComObject<win::IShellFolder> {
 public:
  RecordingFolder(std::string tag, std::vector<std::string>& log) : tag_(std::move(tag)), log_(log) {}

  std::set<std::string> offered;

  win::HRESULT QueryInterface(win::REFIID iid, void** object) override {
    if (Asked("QueryInterface", iid, object)) return win::S_OK;
    return ComObject::QueryInterface(iid, object);
  }
  win::HRESULT CreateViewObject(win::HWND, win::REFIID iid, void** object) override {
    return Asked("CreateViewObject", iid, object) ? win::S_OK : win::E_NOINTERFACE;
  }
  win::HRESULT GetUIObjectOf(win::HWND, win::UINT count, win::LPCITEMIDLIST* lists, win::REFIID iid, win::UINT*,
                             void** object) override {
    if (count != 1 || lists == nullptr || lists[0] == nullptr) return win::E_INVALIDARG;
    return Asked("GetUIObjectOf", iid, object) ? win::S_OK : win::E_NOINTERFACE;
  }
  win::HRESULT ParseDisplayName(win::HWND, win::IBindCtx*, win::LPWSTR, win::ULONG*, win::LPITEMIDLIST*, win::ULONG*) override { return win::E_NOTIMPL; }
  win::HRESULT EnumObjects(win::HWND, win::DWORD, win::IEnumIDList**) override { return win::E_NOTIMPL; }
  win::HRESULT BindToObject(win::LPCITEMIDLIST, win::IBindCtx*, win::REFIID, void**) override { return win::E_NOTIMPL; }
  win::HRESULT BindToStorage(win::LPCITEMIDLIST, win::IBindCtx*, win::REFIID, void**) override { return win::E_NOTIMPL; }
  win::HRESULT CompareIDs(win::LPARAM, win::LPCITEMIDLIST, win::LPCITEMIDLIST) override { return win::E_NOTIMPL; }
  win::HRESULT GetAttributesOf(win::UINT, win::LPCITEMIDLIST*, win::ULONG*) override { return win::E_NOTIMPL; }
  win::HRESULT GetDisplayNameOf(win::LPCITEMIDLIST, win::DWORD, win::STRRET*) override { return win::E_NOTIMPL; }
  win::HRESULT SetNameOf(win::HWND, win::LPCITEMIDLIST, win::LPCWSTR, win::DWORD, win::LPITEMIDLIST*) override { return win::E_NOTIMPL; }

 private:
  // Writes the request down; true when the object is offered (and handed out).
  bool Asked(const char* how, win::REFIID iid, void** object) {
    const std::string name = InterfaceName(iid);
    if (name.empty()) return false;
    log_.push_back(tag_ + " " + how + " " + name);
    if (object == nullptr || !offered.contains(name)) return false;
    return win::MakeCom<OfferedObject>()->QueryInterface(iid, object) == win::S_OK;
  }

  std::string tag_;
  std::vector<std::string>& log_;
};

// An item whose folder objects are recording folders; only a folder item has a folder of its own.
class RecordedNamespace : public TNamespace {
 public:
  RecordedNamespace(bool is_folder, std::vector<std::string>& log)
      : TNamespace(win::item_ids::MakeList({win::item_ids::ItemId{win::item_ids::ItemKind::Folder, {}, "x"}}), nullptr),
        is_folder_(is_folder),
        own_(win::MakeCom<RecordingFolder>("own", log)),
        parent_(win::MakeCom<RecordingFolder>("parent", log)) {}

  win::IShellFolder* ShellFolder() override { return is_folder_ ? own_.Get() : nullptr; }
  win::IShellFolder* ParentShellFolder() override { return parent_.Get(); }
  bool Folder() override { return is_folder_; }

  RecordingFolder& own() { return *own_.Get(); }
  RecordingFolder& parent() { return *parent_.Get(); }

 private:
  bool is_folder_;
  win::ComPtr<RecordingFolder> own_;
  win::ComPtr<RecordingFolder> parent_;
};

using Strings = std::vector<std::string>;

// What one getter asked, as a log, and whether it answered nil.
struct Asked {
  Strings log;
  bool nil;
};

template <class Getter>
Asked Ask(std::vector<std::string>& log, Getter getter) {
  log.clear();
  const bool nil = getter() == nullptr;
  return {log, nil};
}

TEST(NamespaceInterfacesTest, EachInterfaceIsAskedOfTheFolderObjectsInOrder) {
  for (const bool is_folder : {true, false}) {
    SCOPED_TRACE(is_folder ? "folder" : "file");
    Strings log;
    RecordedNamespace item(is_folder, log);
    const auto when_folder = [&](Strings folder_log, Strings other_log) { return is_folder ? folder_log : other_log; };
    const struct {
      const char* name;
      std::function<bool()> nil;
      Strings asked;
    } kCases[] = {
        {"ShellIconOverlayInterface", [&] { return item.ShellIconOverlayInterface() == nullptr; },
         when_folder({"own QueryInterface IShellIconOverlay", "parent QueryInterface IShellIconOverlay"},
                     {"parent QueryInterface IShellIconOverlay"})},
        {"ExtractIconAInterface", [&] { return item.ExtractIconAInterface() == nullptr; },
         when_folder({"parent GetUIObjectOf IExtractIconA", "own CreateViewObject IExtractIconA"},
                     {"parent GetUIObjectOf IExtractIconA"})},
        {"ExtractIconWInterface", [&] { return item.ExtractIconWInterface() == nullptr; },
         when_folder({"parent GetUIObjectOf IExtractIconW", "own CreateViewObject IExtractIconW"},
                     {"parent GetUIObjectOf IExtractIconW"})},
        {"BrowserFrameOptionsInterface", [&] { return item.BrowserFrameOptionsInterface() == nullptr; },
         when_folder({"parent GetUIObjectOf IBrowserFrameOptions", "own CreateViewObject IBrowserFrameOptions",
                      "own QueryInterface IBrowserFrameOptions"},
                     {"parent GetUIObjectOf IBrowserFrameOptions"})},
        {"QueryAssociationsInterface", [&] { return item.QueryAssociationsInterface() == nullptr; },
         when_folder({"parent GetUIObjectOf IQueryAssociations", "own CreateViewObject IQueryAssociations",
                      "own QueryInterface IQueryAssociations"},
                     {"parent GetUIObjectOf IQueryAssociations"})},
        {"CategoryProviderInterface", [&] { return item.CategoryProviderInterface() == nullptr; },
         when_folder({"own CreateViewObject ICategoryProvider"}, {})},
    };
    for (const auto& c : kCases) {
      SCOPED_TRACE(c.name);
      log.clear();
      EXPECT_TRUE(c.nil());
      EXPECT_EQ(log, c.asked);
    }
    // An overlay interface found missing is not asked for again.
    log.clear();
    EXPECT_EQ(item.ShellIconOverlayInterface(), nullptr);
    EXPECT_EQ(log, Strings{});
  }
}

TEST(NamespaceInterfacesTest, OfferedInterfacesAreKeptWhereTheyAreKept) {
  Strings log;
  RecordedNamespace item(true, log);
  item.own().offered = {"IShellIconOverlay"};
  item.parent().offered = {"IQueryAssociations", "IExtractIconW"};
  EXPECT_EQ(Ask(log, [&] { return item.ShellIconOverlayInterface(); }).log, Strings{"own QueryInterface IShellIconOverlay"});
  EXPECT_EQ(Ask(log, [&] { return item.ShellIconOverlayInterface(); }).log, Strings{});
  const Asked associations = Ask(log, [&] { return item.QueryAssociationsInterface(); });
  EXPECT_FALSE(associations.nil);
  EXPECT_EQ(associations.log, Strings{"parent GetUIObjectOf IQueryAssociations"});
  EXPECT_EQ(Ask(log, [&] { return item.QueryAssociationsInterface(); }).log, Strings{});
  // The icon extractors are asked anew each time.
  for (int i = 0; i < 2; ++i) {
    const Asked extractor = Ask(log, [&] { return item.ExtractIconWInterface(); });
    EXPECT_FALSE(extractor.nil);
    EXPECT_EQ(extractor.log, Strings{"parent GetUIObjectOf IExtractIconW"});
  }
  // A refresh lets the overlay interface go; it is asked for anew.
  item.InvalidateNamespace(true);
  EXPECT_EQ(Ask(log, [&] { return item.ShellIconOverlayInterface(); }).log, Strings{"own QueryInterface IShellIconOverlay"});
}

class NamespaceItemsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    static int counter = 0;
    root_ = fs::path(getenv("HOME")) / ("interfaces-" + std::to_string(++counter));
    fs::create_directories(root_ / "folder");
    std::ofstream(root_ / "file.txt") << "text";
    std::ofstream(root_ / "player.desktop") << "[Desktop Entry]\nType=Application\nName=Player\nExec=true\n";
    ASSERT_EQ(mkfifo((root_ / "fifo").c_str(), 0600), 0);
  }
  void TearDown() override {
    fs::remove_all(root_);
    fs::remove_all(fs::path(getenv("XDG_DATA_HOME")) / "Trash");
  }
  std::unique_ptr<TNamespace> Item(const std::string& name) const {
    return TNamespace::CreateFromFileName(win::Utf8ToUtf16((root_ / name).string()));
  }

  fs::path root_;
};

TEST_F(NamespaceItemsTest, ThisPlatformsFoldersOfferNoneOfTheItemInterfaces) {
  const std::unique_ptr<TNamespace> items[] = {Item("file.txt"), Item("folder"), shell::DesktopFolder->Clone(true),
                                               shell::RecycleBinFolder->Clone(true)};
  for (const std::unique_ptr<TNamespace>& item : items) {
    SCOPED_TRACE(win::Utf16ToUtf8(item->NameForParsing()));
    EXPECT_EQ(item->ShellIconOverlayInterface(), nullptr);
    EXPECT_EQ(item->ExtractIconAInterface(), nullptr);
    EXPECT_EQ(item->ExtractIconWInterface(), nullptr);
    EXPECT_EQ(item->BrowserFrameOptionsInterface(), nullptr);
    EXPECT_EQ(item->QueryAssociationsInterface(), nullptr);
    EXPECT_EQ(item->CategoryProviderInterface(), nullptr);
  }
}

TEST_F(NamespaceItemsTest, TheThumbnailObjectIsMadeOnceUntilTheCacheIsCleared) {
  const std::unique_ptr<TNamespace> item = Item("file.txt");
  TExtractImage* first = item->ExtractImage();
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first->GetOwner(), item.get());
  EXPECT_EQ(first->GetWidth(), 200);
  EXPECT_EQ(first->GetHeight(), 200);
  EXPECT_EQ(first->GetColorDepth(), 32);
  EXPECT_EQ(first->GetFlags(), 32u);
  EXPECT_EQ(item->ExtractImage(), first);
  // Freed by the cache's clearing: a new object comes (the freed one's place is taken first, so
  // that no allocator can hand the same address back).
  item->InvalidateCache();
  const auto placeholder = std::make_unique<TExtractImage>(nullptr);
  TExtractImage* second = item->ExtractImage();
  EXPECT_NE(second, first);
  EXPECT_EQ(second->GetOwner(), item.get());
  EXPECT_EQ(second->GetWidth(), 200);
}

TEST_F(NamespaceItemsTest, DescriptionsTellTheKindsOfItemsApart) {
  std::unique_ptr<TNamespace> trashed = Item("file.txt");
  ASSERT_TRUE(trashed->Delete({trashed.get()}));
  const std::unique_ptr<TNamespace> entry = testing::FirstChild(shell::RecycleBinFolder, {TFileObject::foNonFolders});
  ASSERT_NE(entry, nullptr);
  std::ofstream(root_ / "file.txt") << "text";
  TNamespace home(win::item_ids::MakeList({win::item_ids::ItemId{win::item_ids::ItemKind::Home, {}, {}}}), nullptr);
  const std::unique_ptr<TNamespace> file = Item("file.txt");
  const std::unique_ptr<TNamespace> folder = Item("folder");
  const std::unique_ptr<TNamespace> link = Item("player.desktop");
  const std::unique_ptr<TNamespace> fifo = Item("fifo");
  const struct {
    const char* what;
    TNamespace* item;
    win::DWORD id;
    win::CLSID clsid;
  } kCases[] = {
      {"file", file.get(), win::SHDID_FS_FILE, win::GUID_NULL},
      {"folder", folder.get(), win::SHDID_FS_DIRECTORY, win::CLSID_ShellFSFolder},
      {"link", link.get(), win::SHDID_FS_FILE, win::CLSID_ShellLink},
      {"fifo", fifo.get(), win::SHDID_FS_OTHER, win::GUID_NULL},
      {"Computer", shell::DrivesFolder, win::SHDID_ROOT_REGITEM, win::CLSID_MyComputer},
      {"Home", &home, win::SHDID_ROOT_REGITEM, win::CLSID_UsersFiles},
      {"Trash", shell::RecycleBinFolder, win::SHDID_ROOT_REGITEM, win::CLSID_RecycleBin},
      {"trash entry", entry.get(), win::SHDID_FS_FILE, win::CLSID_TrashEntry},
      // The desktop is described by nothing; its class is its folder's.
      {"desktop", shell::DesktopFolder, 0, win::CLSID_ShellFSFolder},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(c.item->DescriptionID(), c.id);
    EXPECT_TRUE(c.item->CLSID() == c.clsid);
  }
}

}  // namespace
}  // namespace dashtune
