#include "platform/shell/shell_folder.h"

#include "platform/com/com_init.h"
#include "platform/core/errors.h"
#include "platform/core/format_message.h"
#include "platform/core/message_box.h"
#include "platform/core/strings.h"
#include "platform/shell/file_info.h"
#include "platform/shell/item_data.h"
#include "platform/shell/item_menu.h"
#include "platform/shell/shell_columns.h"
#include "platform/shell/shell.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>

#include <span>
#include <vector>

namespace win {
namespace {

using item_ids::ItemId;

LPWSTR TaskString(std::u16string_view text) {
  auto* copy = static_cast<LPWSTR>(CoTaskMemAlloc((text.size() + 1) * sizeof(WCHAR)));
  if (copy == nullptr) return nullptr;
  std::memcpy(copy, text.data(), text.size() * sizeof(WCHAR));
  copy[text.size()] = 0;
  return copy;
}

// Hands out the children found when the enumeration started, one task-allocated list each. The
// IDs are encoded once, back to back, so that handing one out is a single copy.
class IdEnumerator : public ComObject<IEnumIDList> {
 public:
  explicit IdEnumerator(const std::vector<ItemId>& ids) : bytes_(Encoded(ids)) {}
  IdEnumerator(std::vector<BYTE> bytes, std::size_t next) : bytes_(std::move(bytes)), next_(next) {}

  HRESULT Next(ULONG count, LPITEMIDLIST* lists, ULONG* fetched) override {
    if (lists == nullptr || (count > 1 && fetched == nullptr)) return E_POINTER;
    ULONG done = 0;
    for (; done < count && next_ < bytes_.size(); ++done) {
      const std::size_t size = IdSizeAt(next_);
      lists[done] = item_ids::CopyListBytes(reinterpret_cast<LPCITEMIDLIST>(bytes_.data() + next_), size);
      if (lists[done] == nullptr) break;
      next_ += size;
    }
    if (fetched != nullptr) *fetched = done;
    return done == count ? S_OK : S_FALSE;
  }
  HRESULT Skip(ULONG count) override {
    ULONG skipped = 0;
    for (; skipped < count && next_ < bytes_.size(); ++skipped) next_ += IdSizeAt(next_);
    return skipped == count ? S_OK : S_FALSE;
  }
  HRESULT Reset() override {
    next_ = 0;
    return S_OK;
  }
  HRESULT Clone(IEnumIDList** copy) override {
    if (copy == nullptr) return E_POINTER;
    return MakeCom<IdEnumerator>(bytes_, next_)->QueryInterface(IEnumIDList::iid, reinterpret_cast<void**>(copy));
  }

 private:
  static std::vector<BYTE> Encoded(const std::vector<ItemId>& ids) {
    std::size_t size = 0;
    for (const ItemId& id : ids) size += item_ids::EncodedSize(id);
    std::vector<BYTE> bytes(size);
    BYTE* at = bytes.data();
    for (const ItemId& id : ids) at = item_ids::WriteId(id, at);
    return bytes;
  }

  std::size_t IdSizeAt(std::size_t offset) const { return bytes_[offset] | (bytes_[offset + 1] << 8); }

  std::vector<BYTE> bytes_;  // the encoded IDs, each led by its count
  std::size_t next_ = 0;     // offset of the next ID to hand out
};

// The info tip of an item: its type.
class InfoTip : public ComObject<IQueryInfo> {
 public:
  explicit InfoTip(std::u16string tip) : tip_(std::move(tip)) {}
  HRESULT GetInfoTip(DWORD, LPWSTR* tip) override {
    if (tip == nullptr) return E_POINTER;
    *tip = TaskString(tip_);
    return *tip == nullptr ? E_OUTOFMEMORY : S_OK;
  }
  HRESULT GetInfoFlags(DWORD* flags) override {
    if (flags == nullptr) return E_POINTER;
    *flags = 0;
    return S_OK;
  }

 private:
  std::u16string tip_;
};

std::u16string TypeTip(const shell_model::Item& item) {
  const std::u16string& description = shell_columns::TypeDescriptionOf(item).wide;
  return description.empty() ? u"File" : description;
}

bool IsValidNewName(std::string_view name) {
  return !name.empty() && name != "." && name != ".." && name.find('/') == std::string_view::npos &&
         name.find('\0') == std::string_view::npos;
}

// Whether the item's file is still there; a path too long to be looked at says so.
HRESULT Validate(const shell_model::Item& item) {
  errno = 0;
  if (shell_model::Exists(item)) return S_OK;
  return errno == ENAMETOOLONG ? HRESULT_FROM_WIN32(ERROR_FILENAME_EXCED_RANGE) : E_FAIL;
}

std::atomic<ULONG> details_calls{0};

int ColumnOf(LPARAM column) { return static_cast<int>(column & 0xFFFF); }

HRESULT CompareResult(int order) { return MAKE_HRESULT(0, 0, static_cast<USHORT>(static_cast<SHORT>(order))); }

}  // namespace

namespace {

std::atomic<std::uint64_t> folder_serials{0};

// The item a thread resolved last through ResolveRelativeOnce, and where.
struct LastResolved {
  std::uint64_t folder = 0;
  std::vector<BYTE> list;  // the ID bytes; empty when the item may not be reused
  shell_model::Item item;
};
thread_local LastResolved last_resolved;

}  // namespace

ShellFolderObject::ShellFolderObject(LPCITEMIDLIST absolute, shell_model::Item item)
    : absolute_(item_ids::CopyList(absolute)),
      item_(std::move(item)),
      serial_(folder_serials.fetch_add(1) + 1) {}

ShellFolderObject::~ShellFolderObject() { CoTaskMemFree(absolute_); }

HRESULT ShellFolderObject::QueryInterface(REFIID iid, void** object) {
  if (object != nullptr && iid == IPersist::iid) {
    *object = static_cast<IPersist*>(static_cast<IPersistFolder*>(this));
    AddRef();
    return S_OK;
  }
  if (object != nullptr && iid == IShellFolder::iid) {
    *object = static_cast<IShellFolder*>(static_cast<IShellFolder2*>(this));
    AddRef();
    return S_OK;
  }
  return ComObject::QueryInterface(iid, object);
}

std::optional<shell_model::Item> ShellFolderObject::ResolveRelative(LPCITEMIDLIST relative) const {
  return shell_model::ResolveBelow(item_, relative);
}

const shell_model::Item* ShellFolderObject::ResolveRelativeOnce(LPCITEMIDLIST relative) const {
  if (relative == nullptr) return nullptr;
  const auto* bytes = reinterpret_cast<const BYTE*>(relative);
  const std::span<const BYTE> ids(bytes, item_ids::ListSize(relative));
  const bool reusable = item_.place == shell_model::Place::FileSystem || item_.place == shell_model::Place::Home ||
                        item_.place == shell_model::Place::Volume;
  LastResolved& last = last_resolved;
  if (reusable && last.folder == serial_ && !last.list.empty() && ids.size() == last.list.size() &&
      std::memcmp(ids.data(), last.list.data(), ids.size()) == 0)
    return &last.item;
  last.folder = serial_;
  // Resolved into the last item's strings, which keep their buffers from one item to the next.
  const bool resolved = shell_model::ResolveBelowInto(item_, relative, last.item);
  last.list.assign(ids.begin(), reusable && resolved ? ids.end() : ids.begin());
  return resolved ? &last.item : nullptr;
}

HRESULT ShellFolderObject::ParseDisplayName(HWND, IBindCtx*, LPWSTR name, ULONG* eaten, LPITEMIDLIST* list,
                                            ULONG* attributes) {
  if (list == nullptr) return E_POINTER;
  *list = nullptr;
  if (name == nullptr) return E_INVALIDARG;
  const std::u16string_view text(name);
  SetLastError(ERROR_FILE_NOT_FOUND);
  LPITEMIDLIST parsed = ParseBelow(text);
  if (parsed == nullptr) return HRESULT_FROM_WIN32(GetLastError());
  if (eaten != nullptr) *eaten = static_cast<ULONG>(text.size());
  if (attributes != nullptr && *attributes != 0) {
    const std::optional<shell_model::Item> item = ResolveRelative(parsed);
    *attributes &= item ? shell_model::Attributes(*item) : 0;
  }
  *list = parsed;
  return S_OK;
}

// The desktop parses every parsing name into an absolute list. Other folders parse the parsing
// names of items below them into lists relative to themselves, made from the files as they are
// now: how an item's ID is taken anew.
LPITEMIDLIST ShellFolderObject::ParseBelow(std::u16string_view name) const {
  if (item_.place == shell_model::Place::Desktop) return shell_model::ParseName(name);
  if (!item_.path.empty()) {
    const std::optional<std::string> path = shell_model::PathOfParsingName(name);
    if (!path) return SetLastError(ERROR_INVALID_NAME), nullptr;
    return shell_model::PathToListBelow(item_.path, *path);
  }
  // Computer and Trash: what the desktop parses, when it lies below this folder.
  LPITEMIDLIST absolute = shell_model::ParseName(name);
  LPITEMIDLIST below = nullptr;
  if (absolute != nullptr && ILIsParent(absolute_, absolute, FALSE)) {
    LPCITEMIDLIST rest = absolute;
    for (UINT i = item_ids::ListCount(absolute_); i > 0; --i) rest = item_ids::NextId(rest);
    below = item_ids::CopyList(rest);
  } else if (absolute != nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
  }
  CoTaskMemFree(absolute);
  return below;
}

HRESULT ShellFolderObject::EnumObjects(HWND owner, DWORD flags, IEnumIDList** enumerator) {
  if (enumerator == nullptr) return E_POINTER;
  *enumerator = nullptr;
  if (!shell_model::IsContainer(item_)) return HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND);
  struct stat info {};
  std::optional<std::vector<ItemId>> children;
  if (!item_.path.empty() && lstat(item_.path.c_str(), &info) != 0)
    SetLastError(errno == ENOENT ? ERROR_PATH_NOT_FOUND : file_info::Win32ErrorOfErrno(errno));
  else
    children = shell_model::Children(item_, flags);
  if (!children) {
    const DWORD error = GetLastError();
    // Given a window, the folder says itself why it cannot be shown.
    if (owner != nullptr) {
      const std::string text = Utf16ToUtf8(shell_model::ParsingName(item_)) + " is not accessible.\n\n" + SystemErrorText(error);
      MessageBoxA(owner, text.c_str(), "Error", MB_OK | MB_ICONERROR);
    }
    return HRESULT_FROM_WIN32(error);
  }
  return MakeCom<IdEnumerator>(*children)->QueryInterface(IEnumIDList::iid, reinterpret_cast<void**>(enumerator));
}

HRESULT ShellFolderObject::BindToObject(LPCITEMIDLIST list, IBindCtx*, REFIID iid, void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  if (item_ids::IsEmptyList(list)) return E_INVALIDARG;
  std::optional<shell_model::Item> item = ResolveRelative(list);
  if (!item || !shell_model::IsContainer(*item)) return E_FAIL;
  LPITEMIDLIST absolute = item_ids::AppendLists(absolute_, list);
  if (absolute == nullptr) return HRESULT_FROM_WIN32(GetLastError());
  auto folder = MakeCom<ShellFolderObject>(absolute, std::move(*item));
  CoTaskMemFree(absolute);
  return folder->QueryInterface(iid, object);
}

HRESULT ShellFolderObject::BindToStorage(LPCITEMIDLIST, IBindCtx*, REFIID, void** object) {
  if (object != nullptr) *object = nullptr;
  return E_NOTIMPL;
}

HRESULT ShellFolderObject::CompareIDs(LPARAM column, LPCITEMIDLIST first, LPCITEMIDLIST second) {
  if (first == nullptr || second == nullptr) return E_INVALIDARG;
  LPCITEMIDLIST a = first;
  LPCITEMIDLIST b = second;
  for (;;) {
    const bool a_end = item_ids::IsEmptyList(a);
    const bool b_end = item_ids::IsEmptyList(b);
    if (a_end || b_end) return CompareResult(a_end == b_end ? 0 : (a_end ? -1 : 1));
    if (a->mkid.cb < item_ids::kHeaderSize || b->mkid.cb < item_ids::kHeaderSize) return E_INVALIDARG;
    if (const int order = shell_model::CompareIds(item_ids::DecodeId(a->mkid), item_ids::DecodeId(b->mkid), ColumnOf(column));
        order != 0)
      return CompareResult(order);
    a = item_ids::NextId(a);
    b = item_ids::NextId(b);
  }
}

HRESULT ShellFolderObject::CreateViewObject(HWND, REFIID iid, void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  if (iid == IQueryInfo::iid) return MakeCom<InfoTip>(TypeTip(item_))->QueryInterface(iid, object);
  if (iid == IContextMenu::iid) return MakeFolderMenu(absolute_, item_, iid, object);
  if (iid == IDropTarget::iid) return MakeFolderDropTarget(item_, iid, object);
  return E_NOINTERFACE;
}

HRESULT ShellFolderObject::GetAttributesOf(UINT count, LPCITEMIDLIST* lists, ULONG* attributes) {
  if (attributes == nullptr) return E_POINTER;
  const bool validate = (*attributes & SFGAO_VALIDATE) != 0;
  if (count == 0) {
    const ULONG own = shell_model::Attributes(item_);
    if (const HRESULT valid = validate ? Validate(item_) : S_OK; FAILED(valid)) return valid;
    *attributes &= own;
    return S_OK;
  }
  if (lists == nullptr) return E_POINTER;
  ULONG common = ~0u;
  for (UINT i = 0; i < count; ++i) {
    const shell_model::Item* item = ResolveRelativeOnce(lists[i]);
    if (!item) return E_INVALIDARG;
    if (const HRESULT valid = validate ? Validate(*item) : S_OK; FAILED(valid)) return valid;
    common &= shell_model::Attributes(*item);
  }
  *attributes &= common;
  return S_OK;
}

HRESULT ShellFolderObject::GetUIObjectOf(HWND, UINT count, LPCITEMIDLIST* lists, REFIID iid, UINT*, void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  if (iid == IContextMenu::iid) return MakeItemsMenu(absolute_, item_, count, lists, iid, object);
  if (iid == IDataObject::iid) return MakeItemsDataObject(absolute_, item_, count, lists, iid, object);
  if (count != 1 || lists == nullptr) return E_INVALIDARG;
  const std::optional<shell_model::Item> item = ResolveRelative(lists[0]);
  if (!item) return E_INVALIDARG;
  if (iid == IQueryInfo::iid) return MakeCom<InfoTip>(TypeTip(*item))->QueryInterface(iid, object);
  if (iid == IDropTarget::iid) return MakeFolderDropTarget(*item, iid, object);
  return E_NOINTERFACE;
}

HRESULT ShellFolderObject::GetDisplayNameOf(LPCITEMIDLIST list, DWORD flags, STRRET* name) {
  if (name == nullptr) return E_POINTER;
  const shell_model::Item* item = ResolveRelativeOnce(list);
  if (item == nullptr) return E_INVALIDARG;
  std::u16string text;
  if ((flags & SHGDN_FORPARSING) != 0)
    text = (flags & SHGDN_INFOLDER) != 0 ? shell_model::ParsingNameInFolder(*item) : shell_model::ParsingName(*item);
  else
    text = shell_model::DisplayName(*item);
  name->uType = STRRET_WSTR;
  name->pOleStr = TaskString(text);
  return name->pOleStr == nullptr ? E_OUTOFMEMORY : S_OK;
}

HRESULT ShellFolderObject::SetNameOf(HWND, LPCITEMIDLIST list, LPCWSTR name, DWORD, LPITEMIDLIST* new_list) {
  if (new_list != nullptr) *new_list = nullptr;
  if (name == nullptr || item_ids::ListCount(list) != 1) return E_INVALIDARG;
  const std::optional<shell_model::Item> item = ResolveRelative(list);
  const std::string new_name = Utf16ToUtf8(name);
  if (!item || item->place != shell_model::Place::FileSystem || !IsValidNewName(new_name)) return E_INVALIDARG;
  // A name with an unpaired surrogate has no bytes of its own; it would become another name.
  if (Utf8ToUtf16(new_name) != name) return HRESULT_FROM_WIN32(ERROR_NO_UNICODE_TRANSLATION);
  const std::size_t folder_length = item->path.size() - item->id.name.size();
  const std::string new_path = item->path.substr(0, folder_length) + new_name;
  // Never replaces an existing file.
  if (renameat2(AT_FDCWD, item->path.c_str(), AT_FDCWD, new_path.c_str(), RENAME_NOREPLACE) != 0)
    return HRESULT_FROM_WIN32(file_info::Win32ErrorOfErrno(errno));
  if (new_list != nullptr) {
    const std::optional<ItemId> id = shell_model::FileIdAt(new_path);
    if (id) *new_list = item_ids::MakeList({*id});
  }
  return S_OK;
}

HRESULT ShellFolderObject::GetDefaultSearchGUID(GUID*) { return E_NOTIMPL; }

HRESULT ShellFolderObject::EnumSearches(IUnknown** enumerator) {
  if (enumerator != nullptr) *enumerator = nullptr;
  return E_NOTIMPL;
}

HRESULT ShellFolderObject::GetDefaultColumn(DWORD, ULONG* sort, ULONG* display) {
  if (sort == nullptr || display == nullptr) return E_POINTER;
  *sort = 0;
  *display = 0;
  return S_OK;
}

HRESULT ShellFolderObject::GetDefaultColumnState(UINT column, SHCOLSTATEF* flags) {
  if (flags == nullptr) return E_POINTER;
  const std::span<const shell_columns::Column> columns = shell_columns::ColumnsOf(item_);
  if (column >= columns.size()) return E_INVALIDARG;
  *flags = columns[column].state;
  return S_OK;
}

HRESULT ShellFolderObject::GetDetailsEx(LPCITEMIDLIST list, const SHCOLUMNID* column, VARIANT* value) {
  if (column == nullptr || value == nullptr) return E_POINTER;
  const std::optional<shell_columns::ColumnKind> kind = shell_columns::KindOf(*column);
  const std::span<const shell_columns::Column> columns = shell_columns::ColumnsOf(item_);
  if (!kind || std::none_of(columns.begin(), columns.end(), [&](const auto& c) { return c.kind == *kind; }))
    return E_INVALIDARG;
  const shell_model::Item* item = ResolveRelativeOnce(list);
  if (item == nullptr || item_ids::IsEmptyList(list)) return E_INVALIDARG;
  *value = shell_columns::ValueOf(*item, *kind);
  return S_OK;
}

HRESULT ShellFolderObject::GetDetailsOf(LPCITEMIDLIST list, UINT column, SHELLDETAILS* details) {
  if (details == nullptr) return E_POINTER;
  const std::span<const shell_columns::Column> columns = shell_columns::ColumnsOf(item_);
  if (column >= columns.size()) return E_INVALIDARG;
  details->fmt = columns[column].format;
  details->cxChar = columns[column].width;
  std::u16string text;
  if (list == nullptr) {
    text = columns[column].title;
  } else {
    details_calls.fetch_add(1);
    const shell_model::Item* item = ResolveRelativeOnce(list);
    if (item == nullptr || item_ids::IsEmptyList(list)) return E_INVALIDARG;
    text = shell_columns::TextOf(*item, columns[column].kind);
  }
  details->str.uType = STRRET_WSTR;
  details->str.pOleStr = TaskString(text);
  return details->str.pOleStr == nullptr ? E_OUTOFMEMORY : S_OK;
}

HRESULT ShellFolderObject::MapColumnToSCID(UINT column, SHCOLUMNID* id) {
  if (id == nullptr) return E_POINTER;
  const std::span<const shell_columns::Column> columns = shell_columns::ColumnsOf(item_);
  if (column >= columns.size()) return E_INVALIDARG;
  *id = shell_columns::IdOf(columns[column].kind);
  return S_OK;
}

ULONG ShellFolderDetailsCallsForTesting() { return details_calls.load(); }

HRESULT ShellFolderObject::GetIconOf(LPCITEMIDLIST list, UINT flags, int* icon_index) {
  if (icon_index == nullptr) return E_POINTER;
  LPITEMIDLIST absolute = item_ids::AppendLists(absolute_, list);
  if (absolute == nullptr) return E_OUTOFMEMORY;
  *icon_index = SystemIconIndexOf(absolute, (flags & GIL_OPENICON) != 0);
  CoTaskMemFree(absolute);
  return S_OK;
}

HRESULT ShellFolderObject::GetClassID(CLSID* clsid) {
  if (clsid == nullptr) return E_POINTER;
  *clsid = CLSID_ShellFSFolder;
  return S_OK;
}

HRESULT ShellFolderObject::Initialize(LPCITEMIDLIST) { return S_OK; }

HRESULT MakeShellFolder(LPCITEMIDLIST absolute, IShellFolder** folder) {
  if (folder == nullptr) return E_POINTER;
  *folder = nullptr;
  std::optional<shell_model::Item> item = shell_model::Resolve(absolute);
  if (!item || !shell_model::IsContainer(*item)) return E_FAIL;
  const ITEMIDLIST empty{};
  return MakeCom<ShellFolderObject>(absolute == nullptr ? &empty : absolute, std::move(*item))
      ->QueryInterface(IShellFolder::iid, reinterpret_cast<void**>(folder));
}

}  // namespace win
