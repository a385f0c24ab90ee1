#include "platform/shell/item_menu.h"

#include "platform/com/com_init.h"
#include "platform/core/errors.h"
#include "platform/core/strings.h"
#include "platform/ole/clipboard.h"
#include "platform/ole/global_memory.h"
#include "platform/shell/applications.h"
#include "platform/shell/cida.h"
#include "platform/shell/file_operations.h"
#include "platform/shell/item_data.h"
#include "platform/shell/properties_window.h"
#include "platform/shell/shell_execute.h"
#include "platform/user/menus.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

namespace win {
namespace {

using shell_model::Item;
using shell_model::Place;

constexpr std::string_view kOpenWithPrefix = "openwith:";
// The clipboard's drop effects (what the cut or copy asks the paste to do).
constexpr DWORD kDropEffectCopy = 1;
constexpr DWORD kDropEffectMove = 2;

struct Entry {
  std::string verb;
  std::string text;
  std::string help;
  bool is_default = false;
  bool enabled = true;
  bool separator_before = false;
};

// The items named by the menu: their absolute lists and what they are.
struct Members {
  LPITEMIDLIST folder = nullptr;           // task-allocated, owned
  std::vector<LPITEMIDLIST> relatives;     // task-allocated, owned; empty for a folder's own menu
  std::vector<Item> items;
};

bool IsWritableFolder(const Item& item) {
  return shell_model::IsContainer(item) && !item.path.empty() && (shell_model::Attributes(item) & SFGAO_DROPTARGET) != 0;
}

ULONG CommonAttributes(const std::vector<Item>& items) {
  ULONG common = ~0u;
  for (const Item& item : items) common &= shell_model::Attributes(item);
  return items.empty() ? 0 : common;
}

bool ClipboardHoldsItems() { return IsClipboardFormatAvailable(RegisterClipboardFormatA(cida::kFormatName.data())) != FALSE; }

// The clipboard's record and drop effect, copied out while it is open.
struct ClipboardItems {
  cida::Record record;
  DWORD effect = kDropEffectCopy;
};

std::optional<ClipboardItems> ReadClipboardItems(HWND owner) {
  if (!OpenClipboard(owner)) return std::nullopt;
  std::optional<std::vector<BYTE>> record_bytes;
  std::optional<std::vector<BYTE>> effect_bytes;
  if (HANDLE data = GetClipboardData(RegisterClipboardFormatA(cida::kFormatName.data())))
    record_bytes = item_data::BytesOf(data);
  if (HANDLE data = GetClipboardData(RegisterClipboardFormatA(cida::kPreferredDropEffectName.data())))
    effect_bytes = item_data::BytesOf(data);
  CloseClipboard();
  if (!record_bytes) return std::nullopt;
  std::optional<cida::Record> record = cida::Decode(record_bytes->data(), record_bytes->size());
  if (!record) return std::nullopt;
  ClipboardItems items{std::move(*record), kDropEffectCopy};
  if (effect_bytes && effect_bytes->size() >= sizeof(DWORD)) std::memcpy(&items.effect, effect_bytes->data(), sizeof(DWORD));
  return items;
}

HRESULT PutOnClipboard(const std::vector<BYTE>& record, DWORD effect, HWND owner) {
  HANDLE record_block = item_data::GlobalWith(record.data(), record.size());
  HANDLE effect_block = item_data::GlobalWith(&effect, sizeof(effect));
  if (record_block == nullptr || effect_block == nullptr || !OpenClipboard(owner)) {
    GlobalFree(record_block);
    GlobalFree(effect_block);
    return E_FAIL;
  }
  EmptyClipboard();
  SetClipboardData(RegisterClipboardFormatA(cida::kFormatName.data()), record_block);
  SetClipboardData(RegisterClipboardFormatA(cida::kPreferredDropEffectName.data()), effect_block);
  CloseClipboard();
  return S_OK;
}

void EmptyTheClipboard(HWND owner) {
  if (!OpenClipboard(owner)) return;
  EmptyClipboard();
  CloseClipboard();
}

// What the invocation record asks, read as the platform's callers fill it.
struct Invocation {
  std::optional<UINT> offset;
  std::string verb;
  HWND window = nullptr;
  std::string directory;
};

std::optional<Invocation> ReadInvocation(const CMINVOKECOMMANDINFO* info) {
  if (info == nullptr || info->cbSize < sizeof(CMINVOKECOMMANDINFO)) return std::nullopt;
  Invocation invocation;
  invocation.window = info->hwnd;
  // The ANSI field decides: an offset below 0x10000, otherwise the verb's text.
  if (IS_INTRESOURCE(info->lpVerb)) invocation.offset = static_cast<UINT>(reinterpret_cast<UINT_PTR>(info->lpVerb));
  else invocation.verb = info->lpVerb;
  if (info->lpDirectory != nullptr) invocation.directory = info->lpDirectory;
  const bool unicode = (info->fMask & CMIC_MASK_UNICODE) != 0 && info->cbSize >= sizeof(CMINVOKECOMMANDINFOEX);
  if (unicode) {
    const auto* extended = static_cast<const CMINVOKECOMMANDINFOEX*>(info);
    if (extended->lpDirectoryW != nullptr) invocation.directory = Utf16ToUtf8(extended->lpDirectoryW);
  }
  return invocation;
}

class ItemsMenu : public ComObject<IContextMenu> {
 public:
  explicit ItemsMenu(Members members) : members_(std::move(members)) {}

  HRESULT QueryContextMenu(HMENU menu, UINT index, UINT first_id, UINT last_id, UINT flags) override {
    if (!IsMenu(menu)) return E_INVALIDARG;
    added_.clear();
    std::vector<Entry> entries = EntriesFor(flags);
    UINT position = index;
    for (Entry& entry : entries) {
      const UINT offset = static_cast<UINT>(added_.size());
      if (last_id < first_id || offset > last_id - first_id) break;
      if (entry.separator_before && position != index) InsertSeparator(menu, position++);
      InsertEntry(menu, position++, first_id + offset, entry);
      added_.push_back(std::move(entry));
    }
    return MAKE_HRESULT(0, 0, static_cast<DWORD>(added_.size()));
  }

  HRESULT InvokeCommand(CMINVOKECOMMANDINFO* info) override {
    const std::optional<Invocation> invocation = ReadInvocation(info);
    if (!invocation) return E_INVALIDARG;
    std::string verb = invocation->verb;
    if (invocation->offset) {
      if (*invocation->offset >= added_.size()) return E_INVALIDARG;
      verb = added_[*invocation->offset].verb;
    }
    return RunVerb(verb, *invocation);
  }

  HRESULT GetCommandString(UINT_PTR command, UINT kind, UINT*, LPSTR name, UINT size) override {
    std::optional<Entry> entry;
    if (command < 0x10000) {
      if (command >= added_.size()) return E_INVALIDARG;
      entry = added_[command];
    } else {
      entry = EntryForVerb(reinterpret_cast<LPCSTR>(command));
    }
    if (kind == GCS_VALIDATEA || kind == GCS_VALIDATEW) return entry ? S_OK : S_FALSE;
    if (!entry || name == nullptr || size == 0) return E_INVALIDARG;
    const std::string& text = (kind == GCS_HELPTEXTA || kind == GCS_HELPTEXTW) ? entry->help : entry->verb;
    if ((kind & GCS_UNICODE) != 0) {
      const std::u16string wide = Utf8ToUtf16(text);
      const std::size_t length = std::min<std::size_t>(wide.size(), size - 1);
      auto* out = reinterpret_cast<WCHAR*>(name);
      std::memcpy(out, wide.data(), length * sizeof(WCHAR));
      out[length] = 0;
    } else {
      const std::size_t length = std::min<std::size_t>(text.size(), size - 1);
      std::memcpy(name, text.data(), length);
      name[length] = 0;
    }
    return S_OK;
  }

 private:
  ~ItemsMenu() override {
    CoTaskMemFree(members_.folder);
    for (LPITEMIDLIST list : members_.relatives) CoTaskMemFree(list);
  }

  bool IsFolderMenu() const { return members_.relatives.empty(); }
  const std::vector<Item>& Items() const { return members_.items; }

  // Which verbs the items allow, listed or not.
  bool Allows(const std::string& verb) const {
    const ULONG attributes = CommonAttributes(Items());
    if (verb == "open" || verb.starts_with(kOpenWithPrefix)) return true;
    if (verb == "copy") return !IsFolderMenu() && (attributes & SFGAO_CANCOPY) != 0;
    if (verb == "cut") return !IsFolderMenu() && (attributes & SFGAO_CANMOVE) != 0 && (attributes & SFGAO_CANDELETE) != 0;
    if (verb == "paste" || verb == "pastelink")
      return std::all_of(Items().begin(), Items().end(), IsWritableFolder);
    if (verb == "delete") return !IsFolderMenu() && (attributes & SFGAO_CANDELETE) != 0;
    if (verb == "rename") return !IsFolderMenu() && Items().size() == 1 && (attributes & SFGAO_CANRENAME) != 0;
    if (verb == "properties") return (attributes & SFGAO_HASPROPSHEET) != 0;
    return false;
  }

  std::optional<Entry> EntryForVerb(const std::string& verb) const {
    if (!Allows(verb)) return std::nullopt;
    for (const Entry& entry : AllEntries(CMF_CANRENAME))
      if (entry.verb == verb) return entry;
    return std::nullopt;
  }

  std::vector<Entry> OpenWithEntries() const {
    std::vector<Entry> entries;
    if (Items().size() != 1 || IsFolderMenu() || Items().front().place != Place::FileSystem ||
        shell_model::IsContainer(Items().front()))
      return entries;
    const std::string type = applications::ContentTypeOf(Items().front().path, false);
    for (const applications::Application& application : applications::RecommendedFor(type))
      entries.push_back({std::string(kOpenWithPrefix) + application.id, "Open With " + application.name,
                         "Opens the item with " + application.name + ".", false, true, false});
    return entries;
  }

  std::vector<Entry> AllEntries(UINT flags) const {
    std::vector<Entry> entries{{"open", "Open", "Opens the selected items.", true, true, false}};
    std::vector<Entry> open_with = OpenWithEntries();
    entries.insert(entries.end(), open_with.begin(), open_with.end());
    const bool pasteable = ClipboardHoldsItems();
    const Entry optional[] = {
        {"cut", "Cut", "Removes the selected items and puts them on the clipboard.", false, true, true},
        {"copy", "Copy", "Copies the selected items to the clipboard.", false, true, false},
        {"paste", "Paste", "Puts the clipboard's items into this folder.", false, pasteable, false},
        {"pastelink", "Paste Link", "Makes links to the clipboard's items in this folder.", false, pasteable, false},
        {"delete", "Delete", "Moves the selected items to the trash.", false, true, true},
        {"rename", "Rename", "Renames the selected item.", false, true, false},
        {"properties", "Properties", "Shows the properties of the selected items.", false, true, true}};
    for (const Entry& entry : optional) {
      if (entry.verb == "rename" && (flags & CMF_CANRENAME) == 0) continue;
      if (Allows(entry.verb)) entries.push_back(entry);
    }
    return entries;
  }

  std::vector<Entry> EntriesFor(UINT flags) const {
    std::vector<Entry> entries = AllEntries(flags);
    if ((flags & CMF_DEFAULTONLY) != 0) entries.resize(1);
    return entries;
  }

  static void InsertSeparator(HMENU menu, UINT position) {
    MENUITEMINFOW info;
    info.fMask = MIIM_FTYPE;
    info.fType = MFT_SEPARATOR;
    InsertMenuItemW(menu, position, TRUE, &info);
  }

  static void InsertEntry(HMENU menu, UINT position, UINT id, const Entry& entry) {
    std::u16string text = Utf8ToUtf16(entry.text);
    MENUITEMINFOW info;
    info.fMask = MIIM_ID | MIIM_STRING | MIIM_STATE | MIIM_FTYPE;
    info.fType = MFT_STRING;
    info.fState = (entry.is_default ? MFS_DEFAULT : 0) | (entry.enabled ? 0 : MFS_GRAYED);
    info.wID = id;
    info.dwTypeData = text.data();
    info.cch = static_cast<UINT>(text.size());
    InsertMenuItemW(menu, position, TRUE, &info);
  }

  LPITEMIDLIST AbsoluteOf(std::size_t index) const {
    if (IsFolderMenu()) return item_ids::AppendLists(members_.folder, nullptr);
    return item_ids::AppendLists(members_.folder, members_.relatives[index]);
  }

  // The items as their files are now: a verb acts on what is there, never on what the
  // enumeration saw. False when one has gone.
  bool RefreshItems() {
    for (Item& item : members_.items) {
      if (item.place == Place::Desktop || item.place == Place::Computer || item.place == Place::Trash) continue;
      std::optional<item_ids::ItemId> now = shell_model::Refreshed(item);
      if (!now) return false;
      item.id = std::move(*now);
    }
    return true;
  }

  HRESULT RunVerb(const std::string& verb, const Invocation& invocation) {
    if (!Allows(verb)) return E_INVALIDARG;
    if (!RefreshItems()) return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
    if (verb == "open") return Open(invocation);
    if (verb.starts_with(kOpenWithPrefix)) return OpenWith(verb.substr(kOpenWithPrefix.size()), invocation);
    if (verb == "copy") return PutItemsOnClipboard(kDropEffectCopy, invocation.window);
    if (verb == "cut") return PutItemsOnClipboard(kDropEffectMove, invocation.window);
    if (verb == "paste") return Paste(false, invocation.window);
    if (verb == "pastelink") return Paste(true, invocation.window);
    if (verb == "delete") return Delete();
    if (verb == "properties") return properties_window::Show(Items(), invocation.window) ? S_OK : E_FAIL;
    return E_NOTIMPL;  // "rename": the caller asks for the new name and renames
  }

  HRESULT Open(const Invocation& invocation) const {
    HRESULT result = S_OK;
    const std::u16string directory = Utf8ToUtf16(invocation.directory);
    for (std::size_t i = 0; i < Items().size(); ++i) {
      LPITEMIDLIST absolute = AbsoluteOf(i);
      SHELLEXECUTEINFOW info;
      info.fMask = SEE_MASK_INVOKEIDLIST;
      info.hwnd = invocation.window;
      info.lpIDList = absolute;
      info.lpDirectory = directory.empty() ? nullptr : directory.c_str();
      info.nShow = 1;
      if (!ShellExecuteExW(&info)) result = HRESULT_FROM_WIN32(GetLastError());
      CoTaskMemFree(absolute);
    }
    return result;
  }

  HRESULT OpenWith(const std::string& application, const Invocation& invocation) const {
    if (Items().size() != 1 || Items().front().path.empty()) return E_INVALIDARG;
    return shell_execute::OpenWith(application, Items().front().path, invocation.directory) ? S_OK : E_FAIL;
  }

  HRESULT PutItemsOnClipboard(DWORD effect, HWND owner) const {
    std::vector<LPCITEMIDLIST> lists(members_.relatives.begin(), members_.relatives.end());
    const std::optional<std::vector<BYTE>> record = cida::Encode(members_.folder, lists);
    return record ? PutOnClipboard(*record, effect, owner) : E_OUTOFMEMORY;
  }

  HRESULT Paste(bool as_links, HWND owner) const {
    const std::optional<ClipboardItems> clipboard = ReadClipboardItems(owner);
    if (!clipboard) return E_FAIL;
    const std::optional<std::vector<Item>> sources = cida::ResolveMembers(clipboard->record);
    if (!sources) return E_INVALIDARG;
    const bool move = !as_links && clipboard->effect == kDropEffectMove;
    // A cut moves its items once.
    if (move && Items().size() != 1) return E_INVALIDARG;
    const file_operations::Transfer how = as_links ? file_operations::Transfer::Link
                                          : move   ? file_operations::Transfer::Move
                                                   : file_operations::Transfer::Copy;
    DWORD error = ERROR_SUCCESS;
    bool all_done = true;
    for (const Item& target : Items()) all_done = item_data::TransferInto(*sources, target.path, how, error) && all_done;
    if (move && all_done) EmptyTheClipboard(owner);
    return all_done ? S_OK : HRESULT_FROM_WIN32(error);
  }

  HRESULT Delete() const {
    DWORD error = ERROR_SUCCESS;
    bool all_done = true;
    for (const Item& item : Items()) all_done = DeleteOne(item, error) && all_done;
    return all_done ? S_OK : HRESULT_FROM_WIN32(error == ERROR_SUCCESS ? ERROR_ACCESS_DENIED : error);
  }

  // A trash entry goes for good, and only one a trash folder holds; a file goes to the trash.
  static bool DeleteOne(const Item& item, DWORD& error) {
    if (item.place == Place::TrashEntry) {
      if (!item.path.empty()) return file_operations::RemoveTrashEntry(item.path, error);
      error = ERROR_FILE_NOT_FOUND;
      return false;
    }
    return item.place == Place::FileSystem && file_operations::MoveToTrash(item.path, error);
  }

  Members members_;
  std::vector<Entry> added_;  // the entries the last QueryContextMenu inserted, by offset
};

HRESULT Answer(Members members, REFIID iid, void** object) {
  if (iid != IContextMenu::iid && iid != IUnknown::iid) {
    CoTaskMemFree(members.folder);
    for (LPITEMIDLIST list : members.relatives) CoTaskMemFree(list);
    return E_NOINTERFACE;
  }
  return MakeCom<ItemsMenu>(std::move(members))->QueryInterface(iid, object);
}

}  // namespace

HRESULT MakeItemsMenu(LPCITEMIDLIST folder, const Item& folder_item, UINT count, LPCITEMIDLIST* lists, REFIID iid,
                      void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  if (count == 0 || lists == nullptr) return E_INVALIDARG;
  Members members;
  for (UINT i = 0; i < count; ++i) {
    std::optional<Item> item = shell_model::ResolveBelow(folder_item, lists[i]);
    if (!item || item_ids::IsEmptyList(lists[i])) {
      for (LPITEMIDLIST list : members.relatives) CoTaskMemFree(list);
      return E_INVALIDARG;
    }
    members.items.push_back(std::move(*item));
    members.relatives.push_back(item_ids::AppendLists(lists[i], nullptr));
  }
  members.folder = item_ids::AppendLists(folder, nullptr);
  return Answer(std::move(members), iid, object);
}

HRESULT MakeFolderMenu(LPCITEMIDLIST folder, const Item& folder_item, REFIID iid, void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  Members members;
  members.folder = item_ids::AppendLists(folder, nullptr);
  members.items.push_back(folder_item);
  return Answer(std::move(members), iid, object);
}

}  // namespace win
