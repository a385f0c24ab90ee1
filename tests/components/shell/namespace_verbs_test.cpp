// TNamespace's verbs, context menus, drag effects, data objects, drops and execution over real
// files of the temporary home: the clipboard's CIDA bytes, trash, paste numbering, cut, the
// desktop paste, the multi-file properties, drops on folders and the trash, program items through
// a test chooser, the restored owner, and programs started through the stub applications.
#include "classlib/form.h"
#include "components/listview/unit_startup.h"
#include "components/shell/namespace.h"
#include "components/shell/shell_utilities.h"
#include "shell_test_support.h"
#include "platform/core/handles.h"
#include "platform/core/strings.h"
#include "platform/core/wait.h"
#include "platform/ole/clipboard.h"
#include "platform/ole/global_memory.h"
#include "platform/shell/child_process.h"
#include "platform/ole/data_object.h"
#include "platform/shell/cida.h"
#include "platform/shell/item_data.h"
#include "platform/shell/properties_window.h"
#include "platform/shell/shell_execute.h"
#include "platform/shell/shell.h"
#include "platform/user/menus.h"
#include "platform/user/messages.h"
#include "platform/user/window.h"
#include "platform_test_support.h"
#include "stub_programs.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <thread>

namespace dashtune {
namespace {

namespace fs = std::filesystem;
using testing::RecordedStart;

constexpr char16_t kCopyVerb[] = u"copy";

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// The clipboard's CIDA and drop effect, read back from its bytes.
struct ClipboardRecord {
  std::optional<win::cida::Record> record;
  win::DWORD effect = 0;
};

ClipboardRecord ReadClipboard() {
  ClipboardRecord out;
  if (!win::OpenClipboard(nullptr)) return out;
  const auto bytes_of = [](win::UINT format) {
    std::vector<win::BYTE> bytes;
    if (win::HANDLE data = win::GetClipboardData(format)) {
      const auto* at = static_cast<const win::BYTE*>(win::GlobalLock(data));
      bytes.assign(at, at + win::GlobalSize(data));
      win::GlobalUnlock(data);
    }
    return bytes;
  };
  const std::vector<win::BYTE> record = bytes_of(win::RegisterClipboardFormatA("Shell IDList Array"));
  const std::vector<win::BYTE> effect = bytes_of(win::RegisterClipboardFormatA("Preferred DropEffect"));
  win::CloseClipboard();
  out.record = win::cida::Decode(record.data(), record.size());
  if (effect.size() >= 4) std::memcpy(&out.effect, effect.data(), 4);
  return out;
}

bool SameList(const std::vector<win::BYTE>& bytes, win::LPCITEMIDLIST list) {
  return win::ILIsEqual(reinterpret_cast<win::LPCITEMIDLIST>(bytes.data()), list) != win::FALSE;
}

std::vector<std::string> LinesOf(win::HWND window) {
  std::vector<std::string> lines;
  for (win::HWND line = win::FindWindowExA(window, nullptr, win::properties_window::kLineClass, nullptr); line != nullptr;
       line = win::FindWindowExA(window, line, win::properties_window::kLineClass, nullptr)) {
    char text[256];
    win::GetWindowTextA(line, text, sizeof(text));
    lines.emplace_back(text);
  }
  return lines;
}

// The lines of the properties window with that title once its total is counted; the window is
// then closed. None without one.
std::vector<std::string> TakePropertiesLines(const char* title) {
  std::vector<std::string> lines;
  const win::HWND window = win::FindWindowA(win::properties_window::kWindowClass, title);
  if (window == nullptr) return lines;
  testing::PumpUntil([&] {
    lines = LinesOf(window);
    return lines.empty() || lines.back() != "Total size: counting...";
  });
  win::DestroyWindow(window);
  return lines;
}

class NamespaceVerbsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    static int counter = 0;
    root_ = fs::path(getenv("HOME")) / ("verbs-" + std::to_string(++counter));
    fs::create_directories(root_ / "a");
    fs::create_directories(root_ / "b");
    fs::remove(testing::StubOpenerRecord());
    fs::remove(testing::StubViewerRecord());
    setenv("DASHTUNE_OPENER", testing::StubOpener().c_str(), 1);
  }
  void TearDown() override {
    unsetenv("DASHTUNE_OPENER");
    fs::remove_all(root_);
    fs::remove_all(fs::path(getenv("XDG_DATA_HOME")) / "Trash");
    win::OpenClipboard(nullptr);
    win::EmptyClipboard();
    win::CloseClipboard();
  }

  fs::path File(const std::string& relative, const std::string& content = "content") {
    std::ofstream(root_ / relative, std::ios::binary) << content;
    return root_ / relative;
  }
  static std::unique_ptr<TNamespace> Item(const fs::path& path) {
    return TNamespace::CreateFromFileName(win::Utf8ToUtf16(path.string()));
  }

  fs::path root_;
};

TEST_F(NamespaceVerbsTest, CopyOfSiblingsPutsTheirFolderAsParent) {
  const auto x = Item(File("a/x.txt"));
  const auto y = Item(File("a/y.txt"));
  const auto folder = Item(root_ / "a");
  ASSERT_TRUE(x->Copy({x.get(), y.get()}));
  const ClipboardRecord clipboard = ReadClipboard();
  ASSERT_TRUE(clipboard.record);
  EXPECT_EQ(clipboard.effect, 1u);
  EXPECT_TRUE(SameList(clipboard.record->parent, folder->GetAbsolutePIDL()));
  ASSERT_EQ(clipboard.record->members.size(), 2u);
  EXPECT_TRUE(SameList(clipboard.record->members[0], x->GetRelativePIDL()));
  EXPECT_TRUE(SameList(clipboard.record->members[1], y->GetRelativePIDL()));
}

TEST_F(NamespaceVerbsTest, CopyFromTwoFoldersGoesThroughTheDesktopWithAbsoluteLists) {
  const auto x = Item(File("a/x.txt"));
  const auto z = Item(File("b/z.txt"));
  ASSERT_TRUE(x->Cut({x.get(), z.get()}));
  const ClipboardRecord clipboard = ReadClipboard();
  ASSERT_TRUE(clipboard.record);
  EXPECT_EQ(clipboard.effect, 2u);
  EXPECT_EQ(clipboard.record->parent, (std::vector<win::BYTE>{0, 0}));
  ASSERT_EQ(clipboard.record->members.size(), 2u);
  EXPECT_TRUE(SameList(clipboard.record->members[0], x->GetAbsolutePIDL()));
  EXPECT_TRUE(SameList(clipboard.record->members[1], z->GetAbsolutePIDL()));
}

TEST_F(NamespaceVerbsTest, UnlistedDeleteTrashesTheFileAndStartsNothing) {
  // Under CMF_DEFAULTONLY the menu lists "open" alone, at offset 0: the verb goes by its text.
  const auto x = Item(File("a/x.txt"));
  EXPECT_TRUE(x->ExecuteContextMenuVerb(u"delete", {}));
  const fs::path trash = fs::path(getenv("XDG_DATA_HOME")) / "Trash";
  EXPECT_FALSE(fs::exists(root_ / "a/x.txt"));
  EXPECT_EQ(ReadFile(trash / "files/x.txt"), "content");
  EXPECT_TRUE(fs::exists(trash / "info/x.txt.trashinfo"));
  EXPECT_FALSE(fs::exists(testing::StubOpenerRecord()));
  EXPECT_FALSE(x->ExecuteContextMenuVerb(u"no-such-verb", {}));
}

TEST_F(NamespaceVerbsTest, DeleteInTrashRemovesTheEntryAndItsInfo) {
  const auto x = Item(File("a/x.txt"));
  ASSERT_TRUE(x->Delete({x.get()}));
  const std::unique_ptr<TNamespace> entry = testing::FirstChild(shell::RecycleBinFolder, {TFileObject::foNonFolders});
  ASSERT_NE(entry, nullptr);
  EXPECT_EQ(entry->NameNormal(), u"x.txt");
  EXPECT_TRUE(entry->Delete({entry.get()}));
  const fs::path trash = fs::path(getenv("XDG_DATA_HOME")) / "Trash";
  EXPECT_FALSE(fs::exists(trash / "files/x.txt"));
  EXPECT_FALSE(fs::exists(trash / "info/x.txt.trashinfo"));
}

// The type the shell gives an item through SHGetFileInfo.
std::u16string ShellTypeName(win::LPCITEMIDLIST absolute) {
  win::SHFILEINFOW info;
  if (win::SHGetFileInfoW(reinterpret_cast<win::LPCWSTR>(absolute), 0, &info, sizeof(info),
                          win::SHGFI_TYPENAME | win::SHGFI_PIDL) == 0)
    return u"<failed>";
  return info.szTypeName;
}

// Every way a type shows: the type column, the tip, the shell's type name, the properties window.
struct TypeViews {
  std::u16string column;
  std::u16string tip;
  std::u16string shell;
  std::string properties;
  bool operator==(const TypeViews&) const = default;
};

TypeViews TypeViewsOf(TNamespace& item, int type_column) {
  TypeViews views{item.DetailsOf(type_column), item.InfoTip(), ShellTypeName(item.GetAbsolutePIDL()), {}};
  if (item.ShowPropertySheet()) {
    const std::vector<std::string> lines = TakePropertiesLines((win::Utf16ToUtf8(item.NameNormal()) + " Properties").c_str());
    if (lines.size() > 1) views.properties = lines[1];
  }
  return views;
}

void PrintTo(const TypeViews& views, std::ostream* out) {
  *out << win::Utf16ToUtf8(views.column) << " | " << win::Utf16ToUtf8(views.tip) << " | "
       << win::Utf16ToUtf8(views.shell) << " | " << views.properties;
}

// A trash entry shows the type of the name it had, wherever its trashed file lies and whatever
// that file is called there (the second "Makefile" is kept as "Makefile (2)").
TEST_F(NamespaceVerbsTest, TrashEntriesTakeTheirTypeFromTheirOwnName) {
  constexpr int kFolderTypeColumn = 2;
  constexpr int kTrashTypeColumn = 4;
  const struct {
    const char* path;
    const char16_t* column;
  } kCases[] = {{"a/sp  ace ", u"File"}, {"a/notes.weird9", u".WEIRD9 File"}, {"a/Makefile", nullptr}, {"b/Makefile", nullptr}};
  std::map<std::u16string, TypeViews> before;
  for (const auto& c : kCases) {
    const auto file = Item(File(c.path));
    before[file->NameNormal()] = TypeViewsOf(*file, kFolderTypeColumn);
    if (c.column != nullptr) {
      EXPECT_EQ(before[file->NameNormal()].column, c.column);
    }
    ASSERT_TRUE(file->Delete({file.get()}));
  }
  ASSERT_TRUE(fs::exists(fs::path(getenv("XDG_DATA_HOME")) / "Trash/files/Makefile (2)"));
  int entries = 0;
  shell::RecycleBinFolder->EnumerateFolderEx(
      nullptr, {TFileObject::foNonFolders},
      [&](win::HWND, win::LPITEMIDLIST id, TNamespace* parent, void*, bool&) {
        TNamespace entry(id, parent);
        SCOPED_TRACE(win::Utf16ToUtf8(entry.NameNormal()));
        EXPECT_EQ(TypeViewsOf(entry, kTrashTypeColumn), before.at(entry.NameNormal()));
        return ++entries > 0;
      },
      nullptr);
  EXPECT_EQ(entries, 4);
}

TEST_F(NamespaceVerbsTest, PastingTwiceNumbersTheSecondCopy) {
  const auto x = Item(File("a/x.txt", "twice"));
  const auto target = Item(root_ / "b");
  ASSERT_TRUE(x->Copy({x.get()}));
  EXPECT_TRUE(target->Paste({target.get()}));
  EXPECT_TRUE(target->Paste({target.get()}));
  EXPECT_EQ(ReadFile(root_ / "b/x.txt"), "twice");
  EXPECT_EQ(ReadFile(root_ / "b/x (2).txt"), "twice");
  EXPECT_EQ(ReadFile(root_ / "a/x.txt"), "twice");
  // A copy stays on the clipboard.
  EXPECT_TRUE(ReadClipboard().record);
}

TEST_F(NamespaceVerbsTest, CutAndPasteMovesAndEmptiesTheClipboard) {
  const auto x = Item(File("a/x.txt", "moved"));
  const auto target = Item(root_ / "b");
  ASSERT_TRUE(x->Cut({x.get()}));
  EXPECT_TRUE(target->Paste({target.get()}));
  EXPECT_FALSE(fs::exists(root_ / "a/x.txt"));
  EXPECT_EQ(ReadFile(root_ / "b/x.txt"), "moved");
  EXPECT_FALSE(ReadClipboard().record);
}

TEST_F(NamespaceVerbsTest, PasteLinkMakesSymbolicLinks) {
  const auto x = Item(File("a/x.txt"));
  const auto target = Item(root_ / "b");
  ASSERT_TRUE(x->Copy({x.get()}));
  EXPECT_TRUE(target->Paste({target.get()}, /*AsShortcut=*/true));
  ASSERT_TRUE(fs::is_symlink(root_ / "b/x.txt"));
  EXPECT_EQ(fs::read_symlink(root_ / "b/x.txt"), root_ / "a/x.txt");
}

TEST_F(NamespaceVerbsTest, DesktopPasteWithAnUnparsableMemberPastesNothing) {
  const fs::path desktop = fs::path(getenv("HOME")) / "Desktop";
  fs::create_directories(desktop);
  shell::ShellUnitFinalization();
  shell::ShellUnitInitialization();
  ASSERT_NE(shell::PhysicalDesktopFolder, nullptr);
  fs::create_directories(root_ / "gone");
  const auto x = Item(File("a/x.txt"));
  const auto target = Item(root_ / "b");
  const auto gone = Item(root_ / "gone");
  fs::remove(root_ / "gone");
  ASSERT_TRUE(x->Copy({x.get()}));
  EXPECT_FALSE(shell::DesktopFolder->Paste({target.get(), gone.get()}));
  EXPECT_TRUE(fs::is_empty(root_ / "b"));
  EXPECT_TRUE(shell::DesktopFolder->Paste({target.get()}));
  EXPECT_TRUE(fs::exists(root_ / "b/x.txt"));
  fs::remove_all(desktop);
  shell::ShellUnitFinalization();
  shell::ShellUnitInitialization();
  EXPECT_EQ(shell::PhysicalDesktopFolder, nullptr);
  EXPECT_FALSE(shell::DesktopFolder->Paste({target.get()}));
}

TEST_F(NamespaceVerbsTest, DragEffectFollowsKeysAndWhatTheItemAllows) {
  constexpr win::DWORD kShift = 0x4, kControl = 0x8;
  const auto x = Item(File("a/x.txt"));
  EXPECT_EQ(x->DragEffect(0), 2u);
  EXPECT_EQ(x->DragEffect(kShift), 2u);
  EXPECT_EQ(x->DragEffect(kControl), 1u);
  EXPECT_EQ(x->DragEffect(kControl | kShift), 4u);
  // Computer can be neither moved, copied nor linked.
  EXPECT_EQ(shell::DrivesFolder->DragEffect(kControl), 0u);
}

TEST_F(NamespaceVerbsTest, PropertiesShowNameTypeAndSize) {
  const auto x = Item(File("a/x.txt", std::string(2048, 'p')));
  ASSERT_TRUE(x->ShowPropertySheet());
  const std::vector<std::string> lines = TakePropertiesLines("x.txt Properties");
  ASSERT_GE(lines.size(), 4u);
  EXPECT_EQ(lines[0], "Name: x.txt");
  EXPECT_EQ(lines[1], "Type: " + win::Utf16ToUtf8(x->FileType()));
  EXPECT_EQ(lines[2], "Location: " + (root_ / "a").string());
  EXPECT_EQ(lines[3], "Size: 2 KB (2,048 bytes)");
}

TEST_F(NamespaceVerbsTest, MultiFilePropertiesShowTheCountAndTotalOfItemsFromTwoFolders) {
  const auto x = Item(File("a/x.txt", std::string(2048, 'p')));
  const auto y = Item(File("b/y.txt", std::string(512, 'q')));
  ASSERT_NE(common::ShellEntryPoint(716), nullptr) << "the common units found the multi-file entry";
  // Through shell32's multi-file entry with a data object, and through the "properties" verb.
  for (const bool multi_file : {true, false}) {
    SCOPED_TRACE(multi_file);
    ASSERT_TRUE(x->ShowPropertySheetMulti({x.get(), y.get()}, multi_file));
    const std::vector<std::string> lines = TakePropertiesLines("2 Items Properties");
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "Items: 2");
    EXPECT_NE(lines[1].find("(2,560 bytes)"), std::string::npos) << lines[1];
  }
  EXPECT_FALSE(x->ShowPropertySheetMulti({}, true));
}

// ---- Data objects and drop targets ----

// The CIDA a data object carries.
std::optional<win::cida::Record> RecordOf(win::IDataObject* data) { return win::item_data::ReadRecord(data); }

TEST_F(NamespaceVerbsTest, DataObjectsCarryTheCidaRoutedAsVerbsAre) {
  const auto x = Item(File("a/x.txt"));
  const auto y = Item(File("a/y.txt"));
  const auto z = Item(File("b/z.txt"));
  const auto folder_a = Item(root_ / "a");
  std::optional<win::cida::Record> siblings = RecordOf(x->DataObjectMulti({x.get(), y.get()}).Get());
  ASSERT_TRUE(siblings);
  EXPECT_TRUE(SameList(siblings->parent, folder_a->GetAbsolutePIDL()));
  ASSERT_EQ(siblings->members.size(), 2u);
  EXPECT_TRUE(SameList(siblings->members[1], y->GetRelativePIDL()));
  std::optional<win::cida::Record> spread = RecordOf(x->DataObjectMulti({x.get(), z.get()}).Get());
  ASSERT_TRUE(spread);
  EXPECT_EQ(spread->parent.size(), 2u) << "the desktop's empty list";
  EXPECT_TRUE(SameList(spread->members[1], z->GetAbsolutePIDL()));
  std::optional<win::cida::Record> one = RecordOf(x->DataObjectInterface().Get());
  ASSERT_TRUE(one);
  EXPECT_EQ(one->members.size(), 1u);
  EXPECT_EQ(x->DataObjectMulti({}).Get(), nullptr);
}

TEST_F(NamespaceVerbsTest, DroppingOnAFolderCopiesMovesOrLinksByTheEffectNeverOverwriting) {
  constexpr win::DWORD kShift = 0x4, kControl = 0x8, kAll = 7;
  File("a/x.txt", "new");
  File("b/x.txt", "old");
  const auto x = Item(root_ / "a/x.txt");
  const auto folder_b = Item(root_ / "b");
  const win::ComPtr<win::IDataObject> data = x->DataObjectInterface();
  win::DWORD effect = kAll;
  EXPECT_EQ(folder_b->DragEnter(data.Get(), 0, win::POINTL{}, effect), win::S_OK);
  EXPECT_EQ(effect, 2u) << "no key moves";
  effect = kAll;
  EXPECT_EQ(folder_b->DragOver(kControl, win::POINTL{}, effect), win::S_OK);
  EXPECT_EQ(effect, 1u);
  effect = kAll;
  EXPECT_EQ(folder_b->Drop(data.Get(), kControl, win::POINTL{}, effect), win::S_OK);
  EXPECT_EQ(effect, 1u);
  EXPECT_EQ(ReadFile(root_ / "b/x (2).txt"), "new");
  EXPECT_EQ(ReadFile(root_ / "b/x.txt"), "old");
  effect = kAll;
  folder_b->DragEnter(data.Get(), kControl | kShift, win::POINTL{}, effect);
  EXPECT_EQ(folder_b->Drop(data.Get(), kControl | kShift, win::POINTL{}, effect), win::S_OK);
  EXPECT_EQ(fs::read_symlink(root_ / "b/x (3).txt"), root_ / "a/x.txt");
  effect = kAll;
  EXPECT_EQ(folder_b->Drop(data.Get(), 0, win::POINTL{}, effect), win::S_OK);
  EXPECT_EQ(effect, 2u);
  EXPECT_FALSE(fs::exists(root_ / "a/x.txt"));
  EXPECT_EQ(ReadFile(root_ / "b/x (4).txt"), "new");
  // A file takes no drop.
  const auto old = Item(root_ / "b/x.txt");
  effect = kAll;
  EXPECT_EQ(old->DragEnter(data.Get(), 0, win::POINTL{}, effect), win::S_OK);
  EXPECT_EQ(effect, 0u);
  EXPECT_EQ(old->DragLeave(), win::S_OK);
}

TEST_F(NamespaceVerbsTest, AHostileCidaDroppedOnAFolderIsRefused) {
  File("a/x.txt");
  const auto folder_b = Item(root_ / "b");
  const std::vector<win::BYTE> hostile{1, 0, 0, 0, 12, 0, 0, 0, 0xFF, 0xFF, 0, 0, 2, 0};
  const win::ComPtr<win::DataObject> data = win::MakeCom<win::DataObject>();
  win::FORMATETC format;
  format.cfFormat = static_cast<win::CLIPFORMAT>(win::RegisterClipboardFormatA("Shell IDList Array"));
  win::STGMEDIUM medium;
  medium.tymed = win::TYMED_HGLOBAL;
  medium.hGlobal = win::item_data::GlobalWith(hostile.data(), hostile.size());
  ASSERT_EQ(data->SetData(&format, &medium, win::TRUE), win::S_OK);
  win::DWORD effect = 7;
  EXPECT_EQ(folder_b->DragEnter(data.Get(), 0, win::POINTL{}, effect), win::S_OK);
  EXPECT_EQ(effect, 0u);
  effect = 7;
  EXPECT_TRUE(win::FAILED(folder_b->Drop(data.Get(), 0, win::POINTL{}, effect)));
  EXPECT_EQ(effect, 0u);
  EXPECT_TRUE(fs::is_empty(root_ / "b"));
}

TEST_F(NamespaceVerbsTest, DroppingOnTheTrashTrashes) {
  File("a/x.txt");
  const auto x = Item(root_ / "a/x.txt");
  ASSERT_NE(shell::RecycleBinFolder, nullptr);
  win::DWORD effect = 1;  // copying into the trash is no effect it takes
  EXPECT_EQ(shell::RecycleBinFolder->Drop(x->DataObjectInterface().Get(), 0, win::POINTL{}, effect), win::S_OK);
  EXPECT_EQ(effect, 0u);
  EXPECT_TRUE(fs::exists(root_ / "a/x.txt"));
  effect = 7;
  EXPECT_EQ(shell::RecycleBinFolder->Drop(x->DataObjectInterface().Get(), 0, win::POINTL{}, effect), win::S_OK);
  EXPECT_EQ(effect, 2u);
  EXPECT_FALSE(fs::exists(root_ / "a/x.txt"));
  EXPECT_TRUE(fs::exists(fs::path(getenv("XDG_DATA_HOME")) / "Trash/info/x.txt.trashinfo"));
}

// ---- Context menus through a test chooser ----

class ContextMenuTest : public NamespaceVerbsTest {
 protected:
  void TearDown() override {
    win::SetMenuChooser(nullptr);
    NamespaceVerbsTest::TearDown();
  }

  // The id of the item captioned `caption` anywhere in the menu, 0 when none.
  static win::UINT FindCommand(win::HMENU menu, const std::string& caption) {
    for (int i = 0; i < win::GetMenuItemCount(menu); ++i) {
      if (win::HMENU submenu = win::GetSubMenu(menu, i)) {
        if (const win::UINT found = FindCommand(submenu, caption)) return found;
        continue;
      }
      char text[128] = {};
      win::GetMenuStringA(menu, static_cast<win::UINT>(i), text, sizeof(text), win::MF_BYPOSITION);
      if (caption == text) return win::GetMenuItemID(menu, i);
    }
    return 0;
  }
  static void Choose(const std::string& caption) {
    win::SetMenuChooser([caption](win::HMENU menu, win::POINT, win::HWND) { return FindCommand(menu, caption); });
  }

  TForm form_{nullptr};
};

TEST_F(ContextMenuTest, ProgramItemRunsItsClickAloneAndTheMenuStillCloses) {
  const auto x = Item(File("a/x.txt"));
  TPopupMenu program(nullptr);
  auto* item = new TMenuItem(nullptr);
  item->SetCaption("Play on the dashboard");
  int clicks = 0;
  item->OnClick = [&](TObject*) { ++clicks; };
  program.GetItems()->Add(item);
  Choose("Play on the dashboard");
  int verbs = 0;
  std::vector<int> closed;
  const win::POINT at{10, 10};
  const bool done = x->ShowContextMenu(
      &form_, [&](TNamespace*, const std::u16string&, int, bool&) { ++verbs; }, nullptr,
      [&](TNamespace*, const std::u16string& verb, int id, bool ok) {
        closed.push_back(id);
        EXPECT_EQ(verb, u"Unknown Command");
        EXPECT_TRUE(ok);
      },
      &at, &program, "Dashboard");
  EXPECT_TRUE(done);
  EXPECT_EQ(clicks, 1);
  EXPECT_EQ(verbs, 0);
  ASSERT_EQ(closed.size(), 1u);
  EXPECT_NE(closed[0], 0);
  EXPECT_TRUE(fs::exists(root_ / "a/x.txt"));
  EXPECT_FALSE(fs::exists(testing::StubOpenerRecord()));
}

TEST_F(ContextMenuTest, ChosenShellVerbGoesToOnVerbThenToTheMenu) {
  const auto x = Item(File("a/x.txt"));
  Choose("Copy");
  std::u16string seen;
  const win::POINT at{0, 0};
  EXPECT_TRUE(x->ShowContextMenu(&form_, [&](TNamespace*, const std::u16string& verb, int, bool&) { seen = verb; }, nullptr,
                                 nullptr, &at));
  EXPECT_EQ(seen, kCopyVerb);
  EXPECT_TRUE(ReadClipboard().record);
  // Handled by the program: the menu does not carry it out.
  const auto y = Item(File("a/y.txt"));
  Choose("Delete");
  EXPECT_TRUE(y->ShowContextMenu(&form_, [](TNamespace*, const std::u16string&, int, bool& handled) { handled = true; },
                                 nullptr, nullptr, &at));
  EXPECT_TRUE(fs::exists(root_ / "a/y.txt"));
}

TEST_F(ContextMenuTest, NilOwnerFailsTheAssertion) {
  const auto x = Item(File("a/x.txt"));
  try {
    x->ShowContextMenu(nullptr, nullptr, nullptr, nullptr);
    FAIL() << "no assertion";
  } catch (const EAssertionFailed& error) {
    EXPECT_EQ(error.GetMessage(), "To show a Context Menu using TNamespace you must pass a valid Owner TWinControl");
  }
}

TEST_F(ContextMenuTest, ErrorModeAndWindowProcedureComeBackWhenAHandlerRaises) {
  const auto x = Item(File("a/x.txt"));
  const std::function<void(TMessage&)> original = form_.WindowProc;
  int own_messages = 0;
  form_.WindowProc = [&](TMessage& message) {
    ++own_messages;
    form_.WndProc(message);
  };
  win::SetErrorMode(0x55);
  const win::POINT at{0, 0};
  EXPECT_THROW(x->ShowContextMenu(&form_, nullptr,
                                  [&](TNamespace*, win::HMENU, bool&) {
                                    // Meanwhile the menu's procedure stands in front of ours.
                                    form_.Perform(win::WM_NULL, 0, 0);
                                    throw std::runtime_error("handler failed");
                                  },
                                  nullptr, &at),
               std::runtime_error);
  EXPECT_EQ(win::SetErrorMode(0), 0x55u);
  const int before = own_messages;
  form_.Perform(win::WM_NULL, 0, 0);
  EXPECT_EQ(own_messages, before + 1);
  EXPECT_EQ(x->CurrentContextMenu(), nullptr);
  form_.WindowProc = original;
}

TEST_F(ContextMenuTest, OnVerbAllowsRenameAndAMenuLeftUnchosenStillCloses) {
  const auto x = Item(File("a/x.txt"));
  std::vector<std::string> captions;
  win::SetMenuChooser([&](win::HMENU menu, win::POINT, win::HWND) {
    for (int i = 0; i < win::GetMenuItemCount(menu); ++i) {
      char text[128] = {};
      win::GetMenuStringA(menu, static_cast<win::UINT>(i), text, sizeof(text), win::MF_BYPOSITION);
      captions.emplace_back(text);
    }
    return 0u;
  });
  const win::POINT at{0, 0};
  std::u16string closed_verb = u"unset";
  EXPECT_FALSE(x->ShowContextMenu(&form_, [](TNamespace*, const std::u16string&, int, bool&) {}, nullptr,
                                  [&](TNamespace*, const std::u16string& verb, int id, bool) {
                                    closed_verb = verb;
                                    EXPECT_EQ(id, 0);
                                  },
                                  &at));
  EXPECT_EQ(closed_verb, u"");
  EXPECT_NE(std::find(captions.begin(), captions.end(), "Rename"), captions.end());
  EXPECT_EQ(captions.front(), "Open");
  captions.clear();
  x->ShowContextMenu(&form_, nullptr, nullptr, nullptr, &at);
  EXPECT_EQ(std::find(captions.begin(), captions.end(), "Rename"), captions.end());
}

// ---- Execution ----

class ShellExecuteTest : public NamespaceVerbsTest {
 protected:
  // Every child the library started has been reaped once the reaper has caught up.
  static bool NoChildLeft() {
    for (int tries = 0; tries < 500; ++tries) {
      siginfo_t info{};
      const int result = waitid(P_ALL, 0, &info, WEXITED | WNOHANG | WNOWAIT);
      const bool zombie = result == 0 && info.si_pid != 0;
      if (!zombie && win::child_process::UnreapedChildrenForTesting() == 0) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
  }
};

TEST_F(ShellExecuteTest, FolderWithoutExecuteFolderStartsNothing) {
  const auto folder = Item(root_ / "a");
  EXPECT_FALSE(folder->ShellExecuteNamespace(u"", u""));
  EXPECT_TRUE(folder->ShellExecuteNamespace(u"", u"", /*ExecuteFolder=*/true));
  EXPECT_EQ(testing::WaitForRecord(testing::StubOpenerRecord()).arguments, std::vector<std::string>{(root_ / "a").string()});
  EXPECT_TRUE(NoChildLeft());
}

TEST_F(ShellExecuteTest, PictureStartsTheDefaultApplicationUnlessAnOpenerIsNamed) {
  unsetenv("DASHTUNE_OPENER");
  const fs::path picture = File("a/photo.png");
  EXPECT_TRUE(Item(picture)->ShellExecuteNamespace(win::Utf8ToUtf16((root_ / "b").string()), u""));
  const RecordedStart viewer = testing::WaitForRecord(testing::StubViewerRecord());
  EXPECT_EQ(viewer.folder, fs::canonical(root_ / "b").string());
  EXPECT_EQ(viewer.arguments, std::vector<std::string>{picture.string()});
  setenv("DASHTUNE_OPENER", testing::StubOpener().c_str(), 1);
  EXPECT_TRUE(Item(picture)->ShellExecuteNamespace(u"", u""));
  const RecordedStart opener = testing::WaitForRecord(testing::StubOpenerRecord());
  EXPECT_EQ(opener.folder, fs::canonical(root_ / "a").string());
  EXPECT_EQ(opener.arguments, std::vector<std::string>{picture.string()});
  EXPECT_TRUE(NoChildLeft());
}

TEST_F(ShellExecuteTest, DocumentWithoutApplicationFailsWithNoAssociation) {
  unsetenv("DASHTUNE_OPENER");
  const auto document = Item(File("a/notes.dashtune-unknown-type"));
  EXPECT_FALSE(document->ShellExecuteNamespace(u"", u""));
  win::SHELLEXECUTEINFOW info;
  info.fMask = win::SEE_MASK_INVOKEIDLIST;
  info.lpIDList = document->GetAbsolutePIDL();
  EXPECT_FALSE(win::ShellExecuteExW(&info));
  EXPECT_EQ(reinterpret_cast<win::INT_PTR>(info.hInstApp), win::SE_ERR_NOASSOC);
}

TEST_F(ShellExecuteTest, ExecutableGetsItsParametersSplitInItsWorkingFolder) {
  const std::string record = (root_ / "program-record").string();
  testing::WriteRecordingProgram((root_ / "a/program").string(), record);
  EXPECT_TRUE(Item(root_ / "a/program")->ShellExecuteNamespace(win::Utf8ToUtf16((root_ / "b").string()), u"a \"b c\""));
  const RecordedStart start = testing::WaitForRecord(record);
  EXPECT_EQ(start.folder, fs::canonical(root_ / "b").string());
  EXPECT_EQ(start.arguments, (std::vector<std::string>{"a", "b c"}));
  EXPECT_TRUE(NoChildLeft());
}

TEST_F(ShellExecuteTest, ApplicationLinkRunsItsExecWithTheParametersAppended) {
  const std::string record = (root_ / "link-record").string();
  testing::WriteRecordingProgram((root_ / "a/program").string(), record);
  std::ofstream(root_ / "a/run.desktop") << "[Desktop Entry]\nType=Application\nName=Run\nExec="
                                          << (root_ / "a/program").string() << " --first %F\n";
  EXPECT_TRUE(Item(root_ / "a/run.desktop")->ShellExecuteNamespace(u"", u"second"));
  EXPECT_EQ(testing::WaitForRecord(record).arguments, (std::vector<std::string>{"--first", "second"}));
  EXPECT_TRUE(NoChildLeft());
}

TEST_F(ShellExecuteTest, LinkToAFolderStartsOnlyWithExecuteFolderShortCut) {
  std::ofstream(root_ / "a/to-b.desktop") << "[Desktop Entry]\nType=Link\nName=B\nURL=file://" << (root_ / "b").string()
                                          << "\n";
  const auto link = Item(root_ / "a/to-b.desktop");
  EXPECT_FALSE(link->ShellExecuteNamespace(u"", u""));
  EXPECT_FALSE(fs::exists(testing::StubOpenerRecord()));
  EXPECT_TRUE(link->ShellExecuteNamespace(u"", u"", false, /*ExecuteFolderShortCut=*/true));
  EXPECT_EQ(testing::WaitForRecord(testing::StubOpenerRecord()).arguments, std::vector<std::string>{(root_ / "b").string()});
  EXPECT_TRUE(NoChildLeft());
}

TEST_F(ShellExecuteTest, RunInThreadAnswersAtOnceAndTheWorkerIsWaitedFor) {
  const fs::path picture = File("a/photo.png");
  EXPECT_TRUE(Item(picture)->ShellExecuteNamespace(u"", u"", false, false, /*RunInThread=*/true));
  EXPECT_EQ(testing::WaitForRecord(testing::StubOpenerRecord()).arguments, std::vector<std::string>{picture.string()});
  shell::WaitForShellExecuteThreads();
  EXPECT_TRUE(NoChildLeft());
}

TEST_F(ShellExecuteTest, ProcessHandleIsWaitableAndGivesTheExitStatus) {
  const fs::path script = root_ / "a/exit-three";
  std::ofstream(script) << "#!/bin/sh\nexit 3\n";
  fs::permissions(script, fs::perms::owner_all);
  win::SHELLEXECUTEINFOW info;
  const std::u16string file = win::Utf8ToUtf16(script.string());
  info.fMask = win::SEE_MASK_NOCLOSEPROCESS;
  info.lpFile = file.c_str();
  ASSERT_TRUE(win::ShellExecuteExW(&info));
  ASSERT_NE(info.hProcess, nullptr);
  EXPECT_EQ(win::WaitForSingleObject(info.hProcess, 10000), win::WAIT_OBJECT_0);
  win::DWORD status = 0;
  EXPECT_TRUE(win::GetExitCodeProcess(info.hProcess, &status));
  EXPECT_EQ(status, 3u);
  EXPECT_TRUE(win::CloseHandle(info.hProcess));
  EXPECT_TRUE(NoChildLeft());
}

}  // namespace
}  // namespace dashtune
