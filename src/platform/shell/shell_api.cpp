#include "platform/shell/shell.h"

#include "platform/com/com_init.h"
#include "platform/core/errors.h"
#include "platform/core/handles.h"
#include "platform/core/modules.h"
#include "platform/core/strings.h"
#include "platform/core/sync.h"
#include "platform/shell/file_info.h"
#include "platform/shell/item_data.h"
#include "platform/shell/namespace_model.h"
#include "platform/shell/places.h"
#include "platform/shell/shell_columns.h"
#include "platform/shell/shell_folder.h"
#include "platform/shell/shell_link.h"
#include "platform/text/text.h"
#include "platform/user/menus.h"
#include "platform/user/messages.h"

#include <malloc.h>
#include <sys/stat.h>
#include <sys/statvfs.h>

#include <atomic>
#include <cstring>
#include <ctime>

namespace win {
namespace {

// The one shell allocator: the task allocator, never freed.
class TaskAllocator final : public IMalloc {
 public:
  HRESULT QueryInterface(REFIID iid, void** object) override {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (iid != IUnknown::iid && iid != IMalloc::iid) return E_NOINTERFACE;
    *object = static_cast<IMalloc*>(this);
    return S_OK;
  }
  ULONG AddRef() override { return 2; }
  ULONG Release() override { return 1; }
  LPVOID Alloc(SIZE_T size) override { return CoTaskMemAlloc(size); }
  LPVOID Realloc(LPVOID block, SIZE_T size) override { return std::realloc(block, size == 0 ? 1 : size); }
  void Free(LPVOID block) override { CoTaskMemFree(block); }
  SIZE_T GetSize(LPVOID block) override { return block == nullptr ? static_cast<SIZE_T>(-1) : malloc_usable_size(block); }
  int DidAlloc(LPVOID block) override { return block == nullptr ? -1 : 1; }
  void HeapMinimize() override {}
};

// A find handle: the data was read when it was made.
class FindObject : public KernelObject {};

std::atomic<UINT> error_mode{0};
std::atomic<ULONG> file_info_calls{0};

bool SpecialFolderList(int csidl, LPITEMIDLIST* list) {
  switch (csidl) {
    case CSIDL_DESKTOP: *list = item_ids::CopyListBytes(nullptr, 0); return true;
    case CSIDL_DRIVES: *list = item_ids::MakeList({item_ids::ItemId{item_ids::ItemKind::Computer, {}, {}}}); return true;
    case CSIDL_BITBUCKET: *list = item_ids::MakeList({item_ids::ItemId{item_ids::ItemKind::Trash, {}, {}}}); return true;
    case CSIDL_DESKTOPDIRECTORY:
    case CSIDL_PERSONAL:
    case CSIDL_TEMPLATES:
    case CSIDL_APPDATA: {
      const std::string path = places::SpecialFolderPath(csidl);
      *list = path.empty() ? nullptr : shell_model::PathToList(path);
      return *list != nullptr;
    }
    default: return false;
  }
}

void CopyName(std::u16string_view name, WCHAR* out, std::size_t capacity) {
  const std::size_t length = std::min(name.size(), capacity - 1);
  std::memcpy(out, name.data(), length * sizeof(WCHAR));
  out[length] = 0;
}

void FillFindData(const item_ids::ItemId& id, WIN32_FIND_DATAW& data) {
  data = WIN32_FIND_DATAW{};
  data.dwFileAttributes = id.snapshot.attributes;
  data.ftCreationTime = id.snapshot.creation;
  data.ftLastAccessTime = id.snapshot.last_access;
  data.ftLastWriteTime = id.snapshot.last_write;
  data.nFileSizeHigh = static_cast<DWORD>(id.snapshot.size >> 32);
  data.nFileSizeLow = static_cast<DWORD>(id.snapshot.size);
  CopyName(Utf8ToUtf16(id.name), data.cFileName, MAX_PATH);
}

SHDESCRIPTIONID DescriptionOf(const shell_model::Item& item) {
  using shell_model::Place;
  const bool is_folder = item_ids::HasSnapshot(item.id.kind) && (item.id.snapshot.attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  switch (item.place) {
    case Place::Desktop: return {SHDID_ROOT_REGITEM, {}};
    case Place::Computer: return {SHDID_ROOT_REGITEM, CLSID_MyComputer};
    case Place::Home: return {SHDID_ROOT_REGITEM, CLSID_UsersFiles};
    case Place::Trash: return {SHDID_ROOT_REGITEM, CLSID_RecycleBin};
    case Place::Volume: return {item.removable ? SHDID_COMPUTER_REMOVABLE : SHDID_COMPUTER_FIXED, {}};
    case Place::TrashEntry: return {is_folder ? SHDID_FS_DIRECTORY : SHDID_FS_FILE, CLSID_TrashEntry};
    case Place::FileSystem: break;
  }
  if (item.id.kind == item_ids::ItemKind::Folder) return {SHDID_FS_DIRECTORY, {}};
  if (item.id.kind == item_ids::ItemKind::Other) return {SHDID_FS_OTHER, {}};
  const bool is_link = (shell_model::Attributes(item) & SFGAO_LINK) != 0;
  return {SHDID_FS_FILE, is_link ? CLSID_ShellLink : CLSID{}};
}

// Whether the first `count` IDs of two lists name the same items.
bool SamePrefix(LPCITEMIDLIST a, LPCITEMIDLIST b, UINT count) {
  for (UINT i = 0; i < count; ++i, a = item_ids::NextId(a), b = item_ids::NextId(b))
    if (!item_ids::SameItem(a->mkid, b->mkid)) return false;
  return true;
}

const bool shell_exports_registered = [] {
  RegisterModuleExport("shell32.dll", "ILIsEqual", kShellExportIsEqual, reinterpret_cast<FARPROC>(&ILIsEqual));
  RegisterModuleExport("shell32.dll", "ILIsParent", kShellExportIsParent, reinterpret_cast<FARPROC>(&ILIsParent));
  RegisterModuleExport("shell32.dll", "FileIconInit", kShellExportFileIconInit,
                       reinterpret_cast<FARPROC>(&FileIconInit));
  RegisterModuleExport("shell32.dll", "SHMultiFileProperties", kShellExportMultiFileProperties,
                       reinterpret_cast<FARPROC>(&SHMultiFileProperties));
  RegisterShellLinkClass();
  // The layer's functions that the common units look up by name at their start; the others
  // they look up are not part of this layer and stay nil.
  const auto proc = [](auto* function) { return reinterpret_cast<FARPROC>(function); };
  RegisterModuleExport("shell32.dll", "SHGetFileInfoW", 0, proc(&SHGetFileInfoW));
  RegisterModuleExport("shell32.dll", "SHGetDataFromIDListW", 0, proc(&SHGetDataFromIDListW));
  RegisterModuleExport("kernel32.dll", "GetDriveTypeW", 0, proc(&GetDriveTypeW));
  RegisterModuleExport("kernel32.dll", "FindFirstFileW", 0, proc(&FindFirstFileW));
  RegisterModuleExport("kernel32.dll", "GetDiskFreeSpaceW", 0, proc(&GetDiskFreeSpaceW));
  RegisterModuleExport("kernel32.dll", "lstrcmpiW", 0, proc(&lstrcmpiW));
  RegisterModuleExport("kernel32.dll", "TryEnterCriticalSection", 0, proc(&TryEnterCriticalSection));
  RegisterModuleExport("user32.dll", "DrawTextW", 0, proc(&DrawTextW));
  RegisterModuleExport("user32.dll", "SendMessageW", 0, proc(&SendMessageW));
  RegisterModuleExport("user32.dll", "InsertMenuItemW", 0, proc(&InsertMenuItemW));
  RegisterModuleExport("gdi32.dll", "CreateFontIndirectW", 0, proc(&CreateFontIndirectW));
  RegisterModule("advapi32.dll");
  RegisterModule("shlwapi.dll");
  return true;
}();

}  // namespace

HRESULT SHGetMalloc(IMalloc** malloc) {
  static TaskAllocator allocator;
  (void)shell_exports_registered;
  if (malloc == nullptr) return E_INVALIDARG;
  *malloc = &allocator;
  return S_OK;
}

HRESULT SHGetDesktopFolder(IShellFolder** folder) { return MakeShellFolder(nullptr, folder); }

void ReloadUserFolders() { places::ReloadSpecialFolders(); }

HRESULT SHGetSpecialFolderLocation(HWND, int csidl, LPITEMIDLIST* list) {
  if (list == nullptr) return E_INVALIDARG;
  *list = nullptr;
  if (!SpecialFolderList(csidl, list)) return E_FAIL;
  return *list == nullptr ? E_OUTOFMEMORY : S_OK;
}

HRESULT SHGetDataFromIDListW(IShellFolder* folder, LPCITEMIDLIST list, int format, void* data, int size) {
  if (format == SHGDFIL_DESCRIPTIONID) return SHGetDataFromIDListA(folder, list, format, data, size);
  auto* own = dynamic_cast<ShellFolderObject*>(folder);
  if (own == nullptr || data == nullptr || item_ids::IsEmptyList(list)) return E_INVALIDARG;
  if (format != SHGDFIL_FINDDATA) return E_INVALIDARG;
  if (size < static_cast<int>(sizeof(WIN32_FIND_DATAW))) return E_INVALIDARG;
  // The data is what the ID holds, as the file was when the ID was made: a caller that wants the
  // file as it is now takes its ID anew (the folder's ParseDisplayName).
  const std::optional<item_ids::ItemId> id = shell_model::LastIdBelow(own->Item(), list);
  if (!id || !item_ids::HasSnapshot(id->kind)) return E_INVALIDARG;
  FillFindData(*id, *static_cast<WIN32_FIND_DATAW*>(data));
  return S_OK;
}

HRESULT SHGetDataFromIDListA(IShellFolder* folder, LPCITEMIDLIST list, int format, void* data, int size) {
  auto* own = dynamic_cast<ShellFolderObject*>(folder);
  if (own == nullptr || data == nullptr || item_ids::IsEmptyList(list) || format != SHGDFIL_DESCRIPTIONID ||
      size < static_cast<int>(sizeof(SHDESCRIPTIONID)))
    return E_INVALIDARG;
  const std::optional<shell_model::Item> item = own->ResolveRelative(list);
  if (!item) return E_INVALIDARG;
  *static_cast<SHDESCRIPTIONID*>(data) = DescriptionOf(*item);
  return S_OK;
}

ULONG SHGetFileInfoWCallsForTesting() { return file_info_calls.load(); }

DWORD_PTR SHGetFileInfoW(LPCWSTR path, DWORD, SHFILEINFOW* info, UINT info_size, UINT flags) {
  file_info_calls.fetch_add(1);
  if (path == nullptr || (info != nullptr && info_size < sizeof(SHFILEINFOW))) return 0;
  LPITEMIDLIST parsed = (flags & SHGFI_PIDL) != 0 ? nullptr : shell_model::ParseName(path);
  LPCITEMIDLIST absolute = (flags & SHGFI_PIDL) != 0 ? reinterpret_cast<LPCITEMIDLIST>(path) : parsed;
  const std::optional<shell_model::Item> item = absolute == nullptr ? std::nullopt : shell_model::Resolve(absolute);
  DWORD_PTR result = 0;
  if (item && info != nullptr) {
    *info = SHFILEINFOW{};
    result = 1;
    if ((flags & SHGFI_TYPENAME) != 0)
      CopyName(shell_columns::TypeDescriptionOf(*item).wide, info->szTypeName, std::size(info->szTypeName));
    if ((flags & SHGFI_DISPLAYNAME) != 0) CopyName(shell_model::DisplayName(*item), info->szDisplayName, MAX_PATH);
    if ((flags & SHGFI_SYSICONINDEX) != 0) {
      HIMAGELIST large = nullptr;
      HIMAGELIST small = nullptr;
      Shell_GetImageLists(&large, &small);
      info->iIcon = SystemIconIndexOf(absolute, (flags & SHGFI_OPENICON) != 0);
      result = reinterpret_cast<DWORD_PTR>((flags & SHGFI_SMALLICON) != 0 ? small : large);
    }
  }
  CoTaskMemFree(parsed);
  return result;
}

BOOL ILIsEqual(LPCITEMIDLIST first, LPCITEMIDLIST second) {
  if (first == nullptr || second == nullptr) return FALSE;
  const UINT count = item_ids::ListCount(first);
  return count == item_ids::ListCount(second) && SamePrefix(first, second, count) ? TRUE : FALSE;
}

BOOL ILIsParent(LPCITEMIDLIST parent, LPCITEMIDLIST child, BOOL immediate) {
  if (parent == nullptr || child == nullptr) return FALSE;
  const UINT parent_count = item_ids::ListCount(parent);
  const UINT child_count = item_ids::ListCount(child);
  if (child_count <= parent_count || (immediate && child_count != parent_count + 1)) return FALSE;
  return SamePrefix(parent, child, parent_count) ? TRUE : FALSE;
}

HANDLE FindFirstFileW(LPCWSTR file_name, WIN32_FIND_DATAW* data) {
  if (file_name == nullptr || data == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  const std::optional<std::string> path = shell_model::PathOfParsingName(file_name);
  if (!path) {
    SetLastError(ERROR_INVALID_NAME);
    return INVALID_HANDLE_VALUE;
  }
  // "*" and "?" are file-name characters here: a file of exactly that name is what the pattern
  // finds; patterns that name no file are not searched.
  struct stat exact {};
  if (path->find_first_of("*?") != std::string::npos && lstat(path->c_str(), &exact) != 0) {
    SetLastError(ERROR_INVALID_NAME);
    return INVALID_HANDLE_VALUE;
  }
  errno = 0;
  const std::optional<item_ids::ItemId> id = shell_model::FileIdAt(*path);
  if (!id) {
    SetLastError(file_info::Win32ErrorOfErrno(errno == 0 ? ENOENT : errno));
    return INVALID_HANDLE_VALUE;
  }
  FillFindData(*id, *data);
  return InsertHandle(std::make_shared<FindObject>());
}

BOOL FindClose(HANDLE find) {
  if (LookupHandleAs<FindObject>(find) == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  return CloseHandle(find);
}

BOOL GetDiskFreeSpaceW(LPCWSTR root, DWORD* sectors_per_cluster, DWORD* bytes_per_sector, DWORD* free_clusters,
                       DWORD* total_clusters) {
  struct statvfs info {};
  const std::string path = root == nullptr ? std::string("/") : Utf16ToUtf8(root);
  if (statvfs(path.c_str(), &info) != 0) {
    SetLastError(file_info::Win32ErrorOfErrno(errno));
    return FALSE;
  }
  const auto clamp = [](unsigned long long value) { return static_cast<DWORD>(std::min<unsigned long long>(value, 0xFFFFFFFFu)); };
  const unsigned long long fragment = info.f_frsize != 0 ? info.f_frsize : info.f_bsize;
  if (sectors_per_cluster != nullptr) *sectors_per_cluster = 1;
  if (bytes_per_sector != nullptr) *bytes_per_sector = clamp(fragment);
  if (free_clusters != nullptr) *free_clusters = clamp(info.f_bavail);
  if (total_clusters != nullptr) *total_clusters = clamp(info.f_blocks);
  return TRUE;
}

UINT GetDriveTypeW(LPCWSTR) { return DRIVE_NO_ROOT_DIR; }

BOOL FileTimeToLocalFileTime(const FILETIME* utc, FILETIME* local) {
  if (utc == nullptr || local == nullptr) return FALSE;
  const ULONGLONG ticks = file_info::FileTimeValue(*utc);
  const std::time_t seconds =
      static_cast<std::time_t>(ticks / 10'000'000) - static_cast<std::time_t>(file_info::kUnixEpochSeconds);
  std::tm broken{};
  if (localtime_r(&seconds, &broken) == nullptr) return FALSE;
  const long long shifted = static_cast<long long>(ticks) + static_cast<long long>(broken.tm_gmtoff) * 10'000'000;
  if (shifted < 0) return FALSE;
  *local = file_info::FileTimeFromValue(static_cast<ULONGLONG>(shifted));
  return TRUE;
}

BOOL FileTimeToSystemTime(const FILETIME* time, SYSTEMTIME* system_time) {
  if (time == nullptr || system_time == nullptr) return FALSE;
  const ULONGLONG ticks = file_info::FileTimeValue(*time);
  if (ticks > 0x7FFFFFFFFFFFFFFFULL) return FALSE;
  const std::time_t seconds =
      static_cast<std::time_t>(ticks / 10'000'000) - static_cast<std::time_t>(file_info::kUnixEpochSeconds);
  std::tm broken{};
  if (gmtime_r(&seconds, &broken) == nullptr) return FALSE;
  system_time->wYear = static_cast<WORD>(broken.tm_year + 1900);
  system_time->wMonth = static_cast<WORD>(broken.tm_mon + 1);
  system_time->wDayOfWeek = static_cast<WORD>(broken.tm_wday);
  system_time->wDay = static_cast<WORD>(broken.tm_mday);
  system_time->wHour = static_cast<WORD>(broken.tm_hour);
  system_time->wMinute = static_cast<WORD>(broken.tm_min);
  system_time->wSecond = static_cast<WORD>(broken.tm_sec);
  system_time->wMilliseconds = static_cast<WORD>((ticks / 10'000) % 1000);
  return TRUE;
}

UINT SetErrorMode(UINT mode) { return error_mode.exchange(mode); }

}  // namespace win
