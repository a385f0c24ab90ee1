#include "components/shell/namespace.h"

#include "components/listview/common/common_shell.h"
#include "components/shell/error_mode.h"
#include "components/shell/shell_utilities.h"
#include "platform/com/com_init.h"
#include "platform/core/errors.h"
#include "platform/core/strings.h"
#include "platform/shell/shell.h"
#include "platform/user/cursors.h"
#include "platform/user/input_state.h"

#include <algorithm>
#include <cwctype>

namespace dashtune {
namespace {

using shell::PIDLMgr;

constexpr win::DWORD SHGDN_FOREDITING_INFOLDER = win::SHGDN_FOREDITING | win::SHGDN_INFOLDER;
constexpr win::DWORD SHGDN_PARSEADDRESS = win::SHGDN_FORPARSING | win::SHGDN_FORADDRESSBAR;
using shell::ErrorModeScope;

std::u16string Upper(std::u16string text) {
  for (char16_t& c : text)
    if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
  return text;
}

std::int64_t FindDataSize(const win::WIN32_FIND_DATAW& data) {
  return static_cast<std::int64_t>(data.nFileSizeLow) + (static_cast<std::int64_t>(data.nFileSizeHigh) << 32);
}

bool IsZero(const win::CLSID& clsid) { return clsid == win::GUID_NULL; }

}  // namespace

TNamespace::TNamespace(win::LPITEMIDLIST PIDL, TNamespace* ParentNamespace) : parent_(ParentNamespace) {
  if (ParentNamespace != nullptr && !ParentNamespace->IsDesktop() && PIDLMgr != nullptr) {
    absolute_pidl_ = PIDLMgr->AppendPIDL(ParentNamespace->absolute_pidl_, PIDL);
    PIDLMgr->FreePIDL(PIDL);
  } else if (PIDL != nullptr) {
    absolute_pidl_ = PIDL;
  } else {
    win::SHGetSpecialFolderLocation(win::GetActiveWindow(), win::CSIDL_DESKTOP, &absolute_pidl_);
  }
  relative_pidl_ = PIDLMgr != nullptr ? PIDLMgr->GetPointerToLastID(absolute_pidl_) : absolute_pidl_;
}

TNamespace::~TNamespace() {
  if (free_pidl_on_destroy_ && PIDLMgr != nullptr) PIDLMgr->FreePIDL(absolute_pidl_);
}

std::unique_ptr<TNamespace> TNamespace::CreateFromFileName(const std::u16string& FileName) {
  win::LPITEMIDLIST list = shell::PathToPIDL(FileName);
  if (list == nullptr && win::GetLastError() == win::ERROR_FILENAME_EXCED_RANGE)
    throw EShellInvalidFileName("Trying to create a TNamespace on a path too long for an item ID list");
  if (list == nullptr) throw EShellInvalidFileName("Trying to create a TNamespace on a non existant File object");
  return std::make_unique<TNamespace>(list, nullptr);
}

std::unique_ptr<TNamespace> TNamespace::CreateCustomNamespace(int Data, TNamespace* ParentNamespace) {
  std::unique_ptr<TNamespace> custom(new TNamespace());
  custom->custom_data_ = Data;
  custom->parent_ = ParentNamespace;
  custom->free_pidl_on_destroy_ = false;
  return custom;
}

std::unique_ptr<TNamespace> TNamespace::Clone(bool FreePIDLOnDestroy) {
  if (PIDLMgr == nullptr || absolute_pidl_ == nullptr) return nullptr;
  auto clone = std::make_unique<TNamespace>(PIDLMgr->CopyPIDL(absolute_pidl_), nullptr);
  clone->free_pidl_on_destroy_ = FreePIDLOnDestroy;
  return clone;
}

TNamespace* TNamespace::MakeParentNamespace() {
  if (absolute_pidl_ == nullptr || PIDLMgr == nullptr) return nullptr;
  win::LPITEMIDLIST parent_list = PIDLMgr->CopyPIDL(absolute_pidl_);
  if (PIDLMgr->IDCount(parent_list) >= 1) PIDLMgr->StripLastID(parent_list);
  owned_parent_ = std::make_unique<TNamespace>(parent_list, nullptr);
  parent_ = owned_parent_.get();
  return parent_;
}

// ---- Attributes ----

bool TNamespace::TestAttributesOf(win::ULONG Mask, bool ValidateFolder, bool ValidateItem) {
  win::IShellFolder* folder = ParentShellFolder();
  if (folder == nullptr || relative_pidl_ == nullptr) return false;
  win::ULONG attributes = Mask;
  if (ValidateFolder || ValidateItem) attributes |= win::SFGAO_VALIDATE;
  win::LPCITEMIDLIST items[] = {relative_pidl_};
  const win::UINT count = ValidateFolder ? 0 : 1;
  if (win::FAILED(folder->GetAttributesOf(count, items, &attributes))) return false;
  return (attributes & Mask) == Mask;
}

bool TNamespace::CachedAttribute(win::ULONG mask, std::optional<bool>& cache) {
  if (!cache) cache = TestAttributesOf(mask, false, false);
  return *cache;
}

bool TNamespace::Browsable() { return TestAttributesOf(win::SFGAO_BROWSABLE, false, false); }
bool TNamespace::CanCopy() { return CachedAttribute(win::SFGAO_CANCOPY, can_copy_); }
bool TNamespace::CanDelete() { return CachedAttribute(win::SFGAO_CANDELETE, can_delete_); }
bool TNamespace::CanLink() { return CachedAttribute(win::SFGAO_CANLINK, can_link_); }
bool TNamespace::CanMoniker() { return TestAttributesOf(win::SFGAO_STREAM, false, false); }
bool TNamespace::CanMove() { return CachedAttribute(win::SFGAO_CANMOVE, can_move_); }
bool TNamespace::CanRename() { return CachedAttribute(win::SFGAO_CANRENAME, can_rename_); }
bool TNamespace::DropTarget() { return IsDesktop() || TestAttributesOf(win::SFGAO_DROPTARGET, false, false); }
bool TNamespace::Encrypted() { return TestAttributesOf(win::SFGAO_ENCRYPTED, false, false); }
bool TNamespace::FileSysAncestor() { return CachedAttribute(win::SFGAO_FILESYSANCESTOR, file_sys_ancestor_); }
bool TNamespace::FileSystem() { return CachedAttribute(win::SFGAO_FILESYSTEM, file_system_); }
bool TNamespace::Folder() { return CachedAttribute(win::SFGAO_FOLDER, folder_); }
bool TNamespace::Ghosted() { return CachedAttribute(win::SFGAO_HIDDEN, ghosted_); }
bool TNamespace::HasPropSheet() { return TestAttributesOf(win::SFGAO_HASPROPSHEET, false, false); }
bool TNamespace::HasStorage() { return TestAttributesOf(win::SFGAO_STREAM, false, false); }
bool TNamespace::HasSubFolder() { return TestAttributesOf(win::SFGAO_HASSUBFOLDER, false, false); }
bool TNamespace::IsSlow() { return TestAttributesOf(win::SFGAO_ISSLOW, false, false); }
bool TNamespace::Link() { return CachedAttribute(win::SFGAO_LINK, link_); }
bool TNamespace::NewContent() { return TestAttributesOf(win::SFGAO_NEWCONTENT, false, false); }
bool TNamespace::NonEnumerated() { return TestAttributesOf(win::SFGAO_NONENUMERATED, false, false); }
bool TNamespace::ReadOnly() { return TestAttributesOf(win::SFGAO_READONLY, false, false); }
bool TNamespace::Removable() { return TestAttributesOf(win::SFGAO_REMOVABLE, false, false); }
bool TNamespace::Share() { return TestAttributesOf(win::SFGAO_SHARE, false, false); }
bool TNamespace::Storage() { return TestAttributesOf(win::SFGAO_STORAGE, false, false); }
bool TNamespace::StorageAncestor() { return TestAttributesOf(win::SFGAO_STORAGEANCESTOR, false, false); }
bool TNamespace::Stream() { return TestAttributesOf(win::SFGAO_STREAM, false, false); }

// ---- Find data and file attributes ----

const win::WIN32_FIND_DATAW* TNamespace::FindData() {
  if (find_data_ == nullptr && !find_data_failed_ && !IsDesktop() && absolute_pidl_ != nullptr) {
    TNamespace* parent = ParentNamespace();
    // Children of the desktop are asked of the folder behind it; without one there is no data.
    win::IShellFolder* folder = parent != nullptr && parent->IsDesktop()
                                    ? (shell::PhysicalDesktopFolder != nullptr ? shell::PhysicalDesktopFolder->ShellFolder() : nullptr)
                                    : ParentShellFolder();
    auto data = std::make_unique<win::WIN32_FIND_DATAW>();
    if (folder != nullptr && win::SHGetDataFromIDListW(folder, relative_pidl_, win::SHGDFIL_FINDDATA, data.get(),
                                                        sizeof(win::WIN32_FIND_DATAW)) == win::S_OK)
      find_data_ = std::move(data);
    else
      find_data_failed_ = true;
  }
  return find_data_.get();
}

const win::WIN32_FIND_DATAW* TNamespace::FindDataWithFreshTimes() {
  FindData();
  if (find_data_ != nullptr && !find_data_times_refreshed_) {
    find_data_times_refreshed_ = true;
    if (FileSystem()) {
      win::WIN32_FIND_DATAW fresh;
      const win::HANDLE find = win::FindFirstFileW(NameForParsing().c_str(), &fresh);
      if (find != win::INVALID_HANDLE_VALUE) {
        find_data_->ftCreationTime = fresh.ftCreationTime;
        find_data_->ftLastAccessTime = fresh.ftLastAccessTime;
        find_data_->ftLastWriteTime = fresh.ftLastWriteTime;
        win::FindClose(find);
      }
    }
  }
  return find_data_.get();
}

bool TNamespace::FileAttribute(win::DWORD attribute) {
  const win::WIN32_FIND_DATAW* data = FindData();
  return data != nullptr && FileSystem() && (data->dwFileAttributes & attribute) != 0;
}

bool TNamespace::Archive() { return FileAttribute(win::FILE_ATTRIBUTE_ARCHIVE); }
bool TNamespace::Compressed() {
  if (!compressed_) compressed_ = FileAttribute(win::FILE_ATTRIBUTE_COMPRESSED);
  return *compressed_;
}
bool TNamespace::Directory() { return FileAttribute(win::FILE_ATTRIBUTE_DIRECTORY); }
bool TNamespace::Hidden() { return FileAttribute(win::FILE_ATTRIBUTE_HIDDEN); }
bool TNamespace::Normal() { return FileAttribute(win::FILE_ATTRIBUTE_NORMAL); }
bool TNamespace::OffLine() { return FileAttribute(win::FILE_ATTRIBUTE_OFFLINE); }
bool TNamespace::ReadOnlyFile() { return FileAttribute(win::FILE_ATTRIBUTE_READONLY); }
bool TNamespace::ReparsePoint() { return FileAttribute(win::FILE_ATTRIBUTE_REPARSE_POINT); }
bool TNamespace::SparseFile() { return FileAttribute(win::FILE_ATTRIBUTE_SPARSE_FILE); }
bool TNamespace::SystemFile() { return FileAttribute(win::FILE_ATTRIBUTE_SYSTEM); }
bool TNamespace::Temporary() { return FileAttribute(win::FILE_ATTRIBUTE_TEMPORARY); }

std::u16string TNamespace::AttributesString() {
  std::u16string text;
  if (!FileSystem()) return text;
  if (Archive()) text += u'A';
  if (Hidden()) text += u'H';
  if (ReadOnlyFile()) text += u'R';
  if (SystemFile()) text += u'S';
  if (Compressed()) text += u'C';
  return text;
}

// ---- Names ----

std::u16string TNamespace::DisplayNameOf(win::DWORD flags) {
  win::IShellFolder* folder = ParentShellFolder();
  if (folder == nullptr || relative_pidl_ == nullptr) return {};
  win::STRRET record;
  std::u16string text;
  if (folder->GetDisplayNameOf(relative_pidl_, flags, &record) != win::S_OK ||
      !common::StrRetToString(record, relative_pidl_, text))
    return {};
  return text;
}

std::u16string TNamespace::NameNormal() {
  if (!name_normal_) name_normal_ = DisplayNameOf(win::SHGDN_NORMAL);
  return *name_normal_;
}
std::u16string TNamespace::NameInFolder() {
  if (!name_in_folder_) name_in_folder_ = DisplayNameOf(win::SHGDN_INFOLDER);
  return *name_in_folder_;
}
std::u16string TNamespace::NameForEditing() { return DisplayNameOf(win::SHGDN_FOREDITING); }
std::u16string TNamespace::NameForEditingInFolder() { return DisplayNameOf(SHGDN_FOREDITING_INFOLDER); }
std::u16string TNamespace::NameAddressbar() { return DisplayNameOf(win::SHGDN_FORADDRESSBAR); }
std::u16string TNamespace::NameAddressbarInFolder() { return DisplayNameOf(win::SHGDN_FORADDRESSBAR | win::SHGDN_INFOLDER); }
std::u16string TNamespace::NameForParsing() {
  if (IsDesktop()) return shell::PhysicalDesktopFolder != nullptr ? shell::PhysicalDesktopFolder->NameForParsing() : u"";
  return DisplayNameOf(win::SHGDN_FORPARSING);
}
std::u16string TNamespace::NameForParsingInFolder() {
  if (IsDesktop())
    return shell::PhysicalDesktopFolder != nullptr ? shell::PhysicalDesktopFolder->NameForParsingInFolder() : u"";
  return DisplayNameOf(win::SHGDN_FORPARSING | win::SHGDN_INFOLDER);
}
std::u16string TNamespace::NameParseAddress() {
  if (!name_parse_address_) name_parse_address_ = DisplayNameOf(SHGDN_PARSEADDRESS);
  return *name_parse_address_;
}
std::u16string TNamespace::NameParseAddressInFolder() { return DisplayNameOf(SHGDN_PARSEADDRESS | win::SHGDN_INFOLDER); }

std::u16string TNamespace::Extension() {
  const std::u16string name = NameForParsingInFolder();
  const std::size_t dot = name.rfind(u'.');
  return dot == std::u16string::npos ? std::u16string() : name.substr(dot);
}

std::u16string TNamespace::FileName() {
  const win::WIN32_FIND_DATAW* data = FindData();
  if (data == nullptr || !FileSystem()) return {};
  return std::u16string(data->cFileName, std::find(std::begin(data->cFileName), std::end(data->cFileName), 0));
}

std::u16string TNamespace::ShortFileName() {
  const win::WIN32_FIND_DATAW* data = FindData();
  if (data != nullptr && data->cAlternateFileName[0] != 0) return data->cAlternateFileName;
  return Upper(FileName());
}

std::u16string TNamespace::InfoTip() {
  win::ComPtr<win::IQueryInfo> info = QueryInfoInterface();
  win::LPWSTR tip = nullptr;
  if (info == nullptr || info->GetInfoTip(0, &tip) != win::S_OK || tip == nullptr) return {};
  std::u16string text = tip;
  if (PIDLMgr != nullptr) PIDLMgr->FreeOLEStr(tip);
  return text;
}

bool TNamespace::SetNameOf(const std::u16string& NewName) {
  // The folder reads the name up to its first NUL: a name holding one would rename to its start.
  if (NewName.find(u'\0') != std::u16string::npos) {
    win::SetLastError(win::ERROR_INVALID_NAME);
    return false;
  }
  win::IShellFolder* folder = ParentShellFolder();
  if (!CanRename() || folder == nullptr || PIDLMgr == nullptr) return false;
  const win::HCURSOR previous = win::SetCursor(win::LoadCursor(nullptr, win::IDC_WAIT));
  win::LPITEMIDLIST relative = PIDLMgr->CopyPIDL(relative_pidl_);
  win::LPITEMIDLIST new_id = nullptr;
  const bool renamed = win::SUCCEEDED(folder->SetNameOf(win::GetActiveWindow(), relative, NewName.c_str(), 0xE0, &new_id));
  PIDLMgr->FreePIDL(relative);
  if (renamed && new_id != nullptr) {
    ReplaceRelativePIDL(new_id);
    InvalidateNamespace(true);
  }
  PIDLMgr->FreePIDL(new_id);
  win::SetCursor(previous);
  return renamed;
}

// ---- Times and sizes ----

win::FILETIME TNamespace::CreationTimeRaw() {
  const win::WIN32_FIND_DATAW* data = FindDataWithFreshTimes();
  return data != nullptr ? data->ftCreationTime : win::FILETIME{};
}
win::FILETIME TNamespace::LastAccessTimeRaw() {
  const win::WIN32_FIND_DATAW* data = FindDataWithFreshTimes();
  return data != nullptr ? data->ftLastAccessTime : win::FILETIME{};
}
win::FILETIME TNamespace::LastWriteTimeRaw() {
  const win::WIN32_FIND_DATAW* data = FindDataWithFreshTimes();
  return data != nullptr ? data->ftLastWriteTime : win::FILETIME{};
}
TDateTime TNamespace::CreationDateTime() { return shell::ConvertFileTimeToDateTime(CreationTimeRaw()); }
TDateTime TNamespace::LastAccessDateTime() { return shell::ConvertFileTimeToDateTime(LastAccessTimeRaw()); }
TDateTime TNamespace::LastWriteDateTime() { return shell::ConvertFileTimeToDateTime(LastWriteTimeRaw()); }

std::u16string TNamespace::TimeText(const win::FILETIME& time, std::optional<std::u16string>& cache) {
  if (!cache) cache = FileSystem() ? shell::ConvertFileTimeToString(time) : std::u16string();
  return *cache;
}
std::u16string TNamespace::CreationTime() { return TimeText(CreationTimeRaw(), creation_time_); }
std::u16string TNamespace::LastAccessTime() { return TimeText(LastAccessTimeRaw(), last_access_time_); }
std::u16string TNamespace::LastWriteTime() { return TimeText(LastWriteTimeRaw(), last_write_time_); }

std::int64_t TNamespace::SizeOfFileInt64() {
  if (!file_size_) {
    file_size_ = 0;
    win::WIN32_FIND_DATAW data;
    if (!Folder()) {
      const win::HANDLE find = win::FindFirstFileW(NameForParsing().c_str(), &data);
      if (find != win::INVALID_HANDLE_VALUE) {
        file_size_ = FindDataSize(data);
        win::FindClose(find);
      }
    }
  }
  return *file_size_;
}

std::u16string TNamespace::SizeOfFile() {
  if (!size_text_) size_text_ = Folder() ? std::u16string() : shell::FileSizeText(SizeOfFileInt64());
  return *size_text_;
}

std::u16string TNamespace::SizeOfFileKB() {
  if (!size_kb_text_) {
    if (Folder()) {
      size_kb_text_ = std::u16string();
    } else {
      size_kb_text_ = shell::FileSizeKBText(SizeOfFileInt64());
    }
  }
  return *size_kb_text_;
}

std::u16string TNamespace::SizeOfFileDiskUsage() {
  if (Folder()) return {};
  win::DWORD sectors = 0, bytes = 0, free_clusters = 0, total = 0;
  if (!shell::GetDiskFreeSpaceFromPath(NameForParsing(), sectors, bytes, free_clusters, total) || sectors * bytes == 0)
    return SizeOfFile();
  const std::int64_t cluster = static_cast<std::int64_t>(sectors) * bytes;
  const std::int64_t used = (SizeOfFileInt64() + cluster - 1) / cluster * cluster;
  return shell::FileSizeText(used);
}

std::int64_t TNamespace::FolderSize(bool Refresh, bool Recurse) {
  if (Refresh || !folder_size_)
    folder_size_ = Folder() && FileSystem() ? common::CalculateFolderSize(NameForParsing(), Recurse) : 0;
  return *folder_size_;
}

// ---- Type and identity ----

std::u16string TNamespace::FileType() {
  if (type_info_ == nullptr) {
    win::SHFILEINFOW info;
    std::u16string type;
    if (absolute_pidl_ != nullptr &&
        win::SHGetFileInfoW(reinterpret_cast<win::LPCWSTR>(absolute_pidl_), 0, &info, sizeof(info),
                            win::SHGFI_TYPENAME | win::SHGFI_PIDL) != 0)
      type = info.szTypeName;
    if (type.empty()) {
      const std::u16string name = NameForParsing();
      const std::size_t dot = name.rfind(u'.');
      const std::size_t slash = name.rfind(u'/');
      const bool has_extension = dot != std::u16string::npos && (slash == std::u16string::npos || dot > slash);
      type = Upper(has_extension ? name.substr(dot) : std::u16string()) + u" File";
    }
    type_info_ = std::make_unique<std::u16string>(std::move(type));
  }
  return *type_info_;
}

std::optional<win::SHDESCRIPTIONID> TNamespace::Description() {
  win::IShellFolder* folder = ParentShellFolder();
  win::SHDESCRIPTIONID description;
  if (folder == nullptr || relative_pidl_ == nullptr ||
      win::SHGetDataFromIDListA(folder, relative_pidl_, win::SHGDFIL_DESCRIPTIONID, &description, sizeof(description)) !=
          win::S_OK)
    return std::nullopt;
  return description;
}

win::DWORD TNamespace::DescriptionID() {
  const std::optional<win::SHDESCRIPTIONID> description = Description();
  return description ? description->dwDescriptionId : 0;
}

win::CLSID TNamespace::CLSID() {
  if (const std::optional<win::SHDESCRIPTIONID> description = Description(); description && !IsZero(description->clsid))
    return description->clsid;
  win::CLSID clsid{};
  win::ComPtr<win::IPersistFolder> persist;
  win::IShellFolder* folder = ShellFolder();
  if (folder != nullptr && folder->QueryInterface(win::IPersistFolder::iid, reinterpret_cast<void**>(persist.GetAddressOf())) == win::S_OK)
    persist->GetClassID(&clsid);
  return IsZero(clsid) ? win::CLSID{} : clsid;
}

// ---- Icons ----

int TNamespace::LookupIconIndex(bool open, int icon_size) {
  int index = 0;
  win::IShellIcon* icon = ShellIconInterface();
  if (icon != nullptr && icon->GetIconOf(relative_pidl_, open ? win::GIL_OPENICON : 0, &index) == win::S_OK)
    return index;
  win::SHFILEINFOW info;
  win::UINT flags = win::SHGFI_SYSICONINDEX | win::SHGFI_PIDL | win::SHGFI_SHELLICONSIZE;
  if (icon_size != 1) flags |= win::SHGFI_SMALLICON;
  if (open) flags |= win::SHGFI_OPENICON;
  if (absolute_pidl_ == nullptr ||
      win::SHGetFileInfoW(reinterpret_cast<win::LPCWSTR>(absolute_pidl_), 0, &info, sizeof(info), flags) == 0)
    return 0;
  return info.iIcon;
}

int TNamespace::GetIconIndex(bool OpenIcon, int IconSize, bool ForceLoad) {
  int& cache = OpenIcon ? open_icon_index_ : icon_index_;
  if (cache < 0 || ForceLoad) {
    if (OpenIcon && IsControlPanelChild()) return GetIconIndex(false, IconSize, ForceLoad);
    cache = LookupIconIndex(OpenIcon, IconSize);
    if (OpenIcon && cache == 0) cache = GetIconIndex(false, IconSize, ForceLoad);
  }
  return cache;
}

// There are no overlay handlers on this platform.
int TNamespace::OverlayIndex() { return overlay_index_; }
int TNamespace::OverlayIconIndex() { return overlay_icon_index_; }

void TNamespace::SetIconIndexByThread(int Index, bool ClearLoading) {
  icon_index_ = Index;
  threaded_icon_loaded_ = true;
  icon_index_changed_ = true;
  if (ClearLoading) thread_icon_loading_ = false;
}

void TNamespace::SetImageByThread(std::unique_ptr<TObject> Image, bool ClearLoading) {
  threaded_image_ = std::move(Image);
  threaded_image_loaded_ = true;
  if (ClearLoading) thread_image_loading_ = false;
}

TObject* TNamespace::GetImage() { return threaded_image_.get(); }

void TNamespace::FreeImage() {
  threaded_image_.reset();
  threaded_image_loaded_ = false;
  thread_image_loading_ = false;
}

// ---- Interfaces ----

win::IShellFolder* TNamespace::ShellFolder() {
  if (shell_folder_ == nullptr && absolute_pidl_ != nullptr) {
    win::ComPtr<win::IShellFolder> desktop;
    if (win::SHGetDesktopFolder(desktop.GetAddressOf()) != win::S_OK) return nullptr;
    if (IsDesktop()) shell_folder_ = desktop;
    else
      desktop->BindToObject(absolute_pidl_, nullptr, win::IShellFolder::iid,
                            reinterpret_cast<void**>(shell_folder_.ReleaseAndGetAddressOf()));
  }
  return shell_folder_.Get();
}

win::IShellFolder* TNamespace::ParentShellFolder() {
  TNamespace* parent = ParentNamespace();
  return parent != nullptr ? parent->ShellFolder() : nullptr;
}

win::IShellIcon* TNamespace::ShellIconInterface() {
  win::IShellFolder* folder = ParentShellFolder();
  if (shell_icon_ == nullptr && folder != nullptr)
    folder->QueryInterface(win::IShellIcon::iid, reinterpret_cast<void**>(shell_icon_.ReleaseAndGetAddressOf()));
  return shell_icon_.Get();
}

template <class Interface>
win::ComPtr<Interface> TNamespace::ItemOrViewObject() {
  win::ComPtr<Interface> object;
  win::IShellFolder* parent = ParentShellFolder();
  win::LPCITEMIDLIST items[] = {relative_pidl_};
  if (parent != nullptr && !IsDesktop() &&
      parent->GetUIObjectOf(win::GetActiveWindow(), 1, items, Interface::iid, nullptr,
                            reinterpret_cast<void**>(object.GetAddressOf())) == win::S_OK)
    return object;
  if (win::IShellFolder* own = ShellFolder();
      own != nullptr && own->CreateViewObject(win::GetActiveWindow(), Interface::iid,
                                              reinterpret_cast<void**>(object.ReleaseAndGetAddressOf())) == win::S_OK)
    return object;
  if (IsDesktop() && shell::PhysicalDesktopFolder != nullptr)
    return shell::PhysicalDesktopFolder->ItemOrViewObject<Interface>();
  return nullptr;
}

win::ComPtr<win::IQueryInfo> TNamespace::QueryInfoInterface() { return ItemOrViewObject<win::IQueryInfo>(); }
win::ComPtr<win::IExtractIconA> TNamespace::ExtractIconAInterface() { return ItemOrViewObject<win::IExtractIconA>(); }
win::ComPtr<win::IExtractIconW> TNamespace::ExtractIconWInterface() { return ItemOrViewObject<win::IExtractIconW>(); }

template <class Interface>
Interface* TNamespace::FolderObject(win::ComPtr<Interface>& kept) {
  if (kept != nullptr) return kept.Get();
  const auto out = [&] { return reinterpret_cast<void**>(kept.ReleaseAndGetAddressOf()); };
  win::LPCITEMIDLIST items[] = {relative_pidl_};
  if (win::IShellFolder* parent = ParentShellFolder();
      parent != nullptr && parent->GetUIObjectOf(win::GetActiveWindow(), 1, items, Interface::iid, nullptr, out()) == win::S_OK)
    return kept.Get();
  win::IShellFolder* own = ShellFolder();
  if (own != nullptr && Folder() && own->CreateViewObject(win::GetActiveWindow(), Interface::iid, out()) == win::S_OK)
    return kept.Get();
  if (own != nullptr && own->QueryInterface(Interface::iid, out()) == win::S_OK) return kept.Get();
  kept.Reset();
  return nullptr;
}

win::IBrowserFrameOptions* TNamespace::BrowserFrameOptionsInterface() { return FolderObject(browser_frame_options_); }
win::IQueryAssociations* TNamespace::QueryAssociationsInterface() { return FolderObject(query_associations_); }

win::ICategoryProvider* TNamespace::CategoryProviderInterface() {
  win::IShellFolder* own = category_provider_ == nullptr && Folder() ? ShellFolder() : nullptr;
  if (own != nullptr)
    own->CreateViewObject(win::GetActiveWindow(), win::ICategoryProvider::iid,
                          reinterpret_cast<void**>(category_provider_.ReleaseAndGetAddressOf()));
  return category_provider_.Get();
}

win::IShellIconOverlay* TNamespace::ShellIconOverlayInterface() {
  if (shell_icon_overlay_ != nullptr || !icon_overlay_possible_) return shell_icon_overlay_.Get();
  const auto ask = [&](win::IShellFolder* folder) {
    return folder != nullptr && folder->QueryInterface(win::IShellIconOverlay::iid,
                                                       reinterpret_cast<void**>(shell_icon_overlay_.ReleaseAndGetAddressOf())) == win::S_OK;
  };
  if (!ask(ShellFolder()) && !ask(ParentShellFolder())) {
    shell_icon_overlay_.Reset();
    icon_overlay_possible_ = false;
  }
  return shell_icon_overlay_.Get();
}

TExtractImage* TNamespace::ExtractImage() {
  if (extract_image_ == nullptr) extract_image_ = std::make_unique<TExtractImage>(this);
  return extract_image_.get();
}

TShellLink* TNamespace::ShellLink() {
  if (shell_link_ == nullptr && Link()) {
    shell_link_ = std::make_unique<TShellLink>(nullptr);
    shell_link_->ReadLink(NameParseAddress());
  }
  return shell_link_.get();
}

// ---- Relations ----

bool TNamespace::IsChild(TNamespace* Namespace, bool Immediate) {
  return Namespace != nullptr && IsChildByPIDL(Namespace->absolute_pidl_, Immediate);
}
bool TNamespace::IsChildByPIDL(win::LPCITEMIDLIST PIDL, bool Immediate) {
  return shell::ILIsParent != nullptr && absolute_pidl_ != nullptr && PIDL != nullptr &&
         shell::ILIsParent(absolute_pidl_, PIDL, Immediate ? win::TRUE : win::FALSE) != win::FALSE;
}
bool TNamespace::IsParent(TNamespace* Namespace, bool Immediate) {
  return Namespace != nullptr && IsParentByPIDL(Namespace->absolute_pidl_, Immediate);
}
bool TNamespace::IsParentByPIDL(win::LPCITEMIDLIST PIDL, bool Immediate) {
  return shell::ILIsParent != nullptr && absolute_pidl_ != nullptr && PIDL != nullptr &&
         shell::ILIsParent(PIDL, absolute_pidl_, Immediate ? win::TRUE : win::FALSE) != win::FALSE;
}
bool TNamespace::IsDesktop() { return PIDLMgr != nullptr && PIDLMgr->IsDesktopFolder(absolute_pidl_); }

bool TNamespace::IsEqualToFolder(TNamespace* folder) {
  return folder != nullptr && shell::ILIsEqual != nullptr && absolute_pidl_ != nullptr &&
         shell::ILIsEqual(absolute_pidl_, folder->absolute_pidl_) != win::FALSE;
}
bool TNamespace::IsControlPanel() { return IsEqualToFolder(shell::ControlPanelFolder); }
bool TNamespace::IsControlPanelChild() {
  return shell::ControlPanelFolder != nullptr && shell::ControlPanelFolder->IsChild(this, true);
}
bool TNamespace::IsMyComputer() { return IsEqualToFolder(shell::DrivesFolder); }
bool TNamespace::IsNetworkNeighborhood() { return IsEqualToFolder(shell::NetworkNeighborHoodFolder); }
bool TNamespace::IsNetworkNeighborhoodChild() {
  return shell::NetworkNeighborHoodFolder != nullptr && shell::NetworkNeighborHoodFolder->IsChild(this, false);
}
bool TNamespace::IsRecycleBin() {
  if (!recycle_bin_) recycle_bin_ = IsEqualToFolder(shell::RecycleBinFolder);
  return *recycle_bin_;
}

bool TNamespace::IsChildOfRemovableDrive() {
  if (PIDLMgr == nullptr || PIDLMgr->IDCount(absolute_pidl_) < 2) return false;
  // The drive level: the first two IDs (Computer, then the volume).
  win::LPITEMIDLIST drive = PIDLMgr->CopyPIDL(absolute_pidl_);
  win::LPITEMIDLIST third = PIDLMgr->NextID(PIDLMgr->NextID(drive));
  third->mkid.cb = 0;
  TNamespace drive_namespace(drive, nullptr);
  return drive_namespace.Removable();
}

int TNamespace::ComparePIDL(win::LPCITEMIDLIST PIDL, bool IsAbsolute, int Column) {
  if (PIDL == nullptr || PIDLMgr == nullptr || absolute_pidl_ == nullptr) return -1;
  if (PIDLMgr->IsDesktopFolder(PIDL) && IsDesktop()) return 0;
  win::IShellFolder* folder = ParentShellFolder();
  if (folder == nullptr) return -1;
  win::LPCITEMIDLIST last = PIDL;
  if (IsAbsolute) {
    if (PIDLMgr->IDCount(PIDL) != PIDLMgr->IDCount(absolute_pidl_)) return -1;
    win::LPITEMIDLIST parent_list = PIDLMgr->StripLastID(PIDLMgr->CopyPIDL(PIDL));
    TNamespace* parent = ParentNamespace();
    const bool same_folder = parent != nullptr && shell::ILIsEqual != nullptr &&
                             shell::ILIsEqual(parent_list, parent->absolute_pidl_) != win::FALSE;
    PIDLMgr->FreePIDL(parent_list);
    if (!same_folder) return -1;
    last = PIDLMgr->GetPointerToLastID(const_cast<win::LPITEMIDLIST>(PIDL));
  }
  const win::HRESULT result = folder->CompareIDs(std::max(Column, 0), last, relative_pidl_);
  if (win::FAILED(result)) return -1;
  const auto order = static_cast<win::SHORT>(win::HRESULT_CODE(result));
  return order < 0 ? -1 : (order > 0 ? 1 : 0);
}

win::LPITEMIDLIST TNamespace::ParseDisplayName(const std::u16string& Path) {
  win::ComPtr<win::IShellFolder> desktop;
  if (win::SHGetDesktopFolder(desktop.GetAddressOf()) != win::S_OK) return nullptr;
  std::u16string name = Path;
  win::LPITEMIDLIST list = nullptr;
  win::ULONG eaten = 0;
  if (win::FAILED(desktop->ParseDisplayName(win::GetActiveWindow(), nullptr, name.data(), &eaten, &list, nullptr)))
    return nullptr;
  return list;
}

win::LPITEMIDLIST TNamespace::ParseDisplayNameOfSelf() { return ParseDisplayName(NameForParsing()); }

// ---- Enumeration ----

int TNamespace::EnumerateFolderEx(win::HWND MessageWnd, TFileObjects FileObjects, const TEnumFolderCallback& Callback,
                                  void* Data, const TEnumFolderBeforeEnum& BeforeEnum) {
  win::IShellFolder* folder = ShellFolder();
  // A folder whose path is too long to be looked at is asked all the same: it says why it
  // cannot be read, as every folder that cannot be read does.
  if (folder == nullptr ||
      (!Valid() && Validate() != win::HRESULT_FROM_WIN32(win::ERROR_FILENAME_EXCED_RANGE)))
    return 0;
  ErrorModeScope errors_off;
  win::ComPtr<win::IEnumIDList> enumerator;
  if (folder->EnumObjects(MessageWnd, shell::FileObjectsToFlags(FileObjects), enumerator.GetAddressOf()) != win::S_OK ||
      enumerator == nullptr)
    return 0;
  if (BeforeEnum) BeforeEnum(Data, this);
  int count = 0;
  bool terminate = false;
  bool refused = false;
  const std::size_t room = ChildListRoom();
  win::LPITEMIDLIST child = nullptr;
  win::ULONG fetched = 0;
  while (!terminate && enumerator->Next(1, &child, &fetched) == win::S_OK && fetched == 1) {
    // A child whose list would not fit below this item's can never be an item: not handed out.
    if (static_cast<std::size_t>(PIDLMgr->PIDLSize(child)) > room) {
      refused = true;
      PIDLMgr->FreePIDL(child);
    } else if (!Callback) {
      PIDLMgr->FreePIDL(child);
      ++count;
    } else if (Callback(MessageWnd, child, this, Data, terminate)) {
      ++count;
    }
  }
  if (refused) win::SetLastError(win::ERROR_FILENAME_EXCED_RANGE);
  return count;
}

std::size_t TNamespace::ChildListRoom() {
  // A child of the desktop is its own absolute list.
  if (IsDesktop()) return win::item_ids::kMaxListSize;
  return win::item_ids::kMaxListSize + win::item_ids::kCountSize - static_cast<std::size_t>(PIDLMgr->PIDLSize(absolute_pidl_));
}

int TNamespace::EnumerateFolder(win::HWND MessageWnd, bool Folders, bool NonFolders, bool IncludeHidden,
                                const TEnumFolderCallback& Callback, void* Data) {
  if (!Callback) return 0;
  TFileObjects objects;
  if (Folders) objects.Include(TFileObject::foFolders);
  if (NonFolders) objects.Include(TFileObject::foNonFolders);
  if (IncludeHidden) objects.Include(TFileObject::foHidden);
  return EnumerateFolderEx(MessageWnd, objects, Callback, Data);
}

bool TNamespace::HasChildren(win::DWORD flags) {
  if (IsRecycleBin()) return true;
  win::IShellFolder* folder = ShellFolder();
  if (!Folder() || folder == nullptr) return false;
  ErrorModeScope errors_off;
  win::ComPtr<win::IEnumIDList> enumerator;
  if (folder->EnumObjects(nullptr, flags, enumerator.GetAddressOf()) != win::S_OK) return false;
  win::LPITEMIDLIST child = nullptr;
  win::ULONG fetched = 0;
  if (enumerator->Next(1, &child, &fetched) != win::S_OK || fetched != 1) return false;
  PIDLMgr->FreePIDL(child);
  return true;
}

bool TNamespace::SubFolders() { return HasChildren(win::SHCONTF_FOLDERS | win::SHCONTF_INCLUDEHIDDEN); }
bool TNamespace::SubItems() {
  return HasChildren(win::SHCONTF_FOLDERS | win::SHCONTF_NONFOLDERS | win::SHCONTF_INCLUDEHIDDEN);
}
bool TNamespace::SubFoldersEx(win::DWORD Flags) { return HasChildren(Flags); }
bool TNamespace::SubItemsEx(win::DWORD Flags) { return HasChildren(Flags); }

bool TNamespace::OkToBrowse(bool ShowExplorerMsg) {
  const std::u16string name = NameForParsing();
  if (name.size() != 3 || !common::IsDriveString(name)) return true;
  if (common::DiskInDrive(static_cast<char16_t>(std::towupper(name[0])))) return true;
  if (ShowExplorerMsg)
    EnumerateFolderEx(win::GetActiveWindow(),
                      {TFileObject::foFolders, TFileObject::foNonFolders, TFileObject::foHidden}, nullptr, nullptr);
  return false;
}

bool TNamespace::Valid() { return win::SUCCEEDED(Validate()); }

win::HRESULT TNamespace::Validate() {
  win::IShellFolder* folder = ParentShellFolder();
  if (Removable() || shell::IsRemoteOrMissingDrive(this) || folder == nullptr) return win::S_OK;
  win::ULONG attributes = win::SFGAO_VALIDATE;
  win::LPCITEMIDLIST items[] = {relative_pidl_};
  return folder->GetAttributesOf(1, items, &attributes);
}

// ---- Cache control ----

void TNamespace::InvalidateCache() {
  name_in_folder_.reset();
  name_normal_.reset();
  name_parse_address_.reset();
  icon_index_ = open_icon_index_ = overlay_index_ = overlay_icon_index_ = -1;
  creation_time_.reset();
  last_access_time_.reset();
  last_write_time_.reset();
  size_text_.reset();
  size_kb_text_.reset();
  file_size_.reset();
  folder_size_.reset();
  for (std::optional<bool>* cache : {&can_copy_, &can_delete_, &can_link_, &can_move_, &can_rename_, &file_sys_ancestor_,
                                     &file_system_, &folder_, &ghosted_, &link_, &compressed_, &recycle_bin_})
    cache->reset();
  shell_link_.reset();
  extract_image_.reset();
  FreeImage();
}

void TNamespace::InvalidateNamespace(bool ResetIcons) {
  const int icon = icon_index_;
  const int open_icon = open_icon_index_;
  if (ResetIcons) {
    thread_icon_loading_ = false;
    threaded_icon_loaded_ = false;
  }
  InvalidateCache();
  if (owned_parent_ != nullptr) {
    owned_parent_.reset();
    parent_ = nullptr;
  }
  shell_folder_.Reset();
  shell_folder2_.Reset();
  shell_folder2_possible_ = true;
  shell_icon_.Reset();
  shell_icon_overlay_.Reset();
  if (parent_ != nullptr && parent_->IsDesktop() && shell::PhysicalDesktopFolder != nullptr &&
      shell::PhysicalDesktopFolder != this)
    shell::PhysicalDesktopFolder->InvalidateNamespace(true);
  column_details_.clear();
  column_details_built_ = false;
  column_states_.clear();
  find_data_.reset();
  find_data_times_refreshed_ = false;
  type_info_.reset();
  if (!ResetIcons) {
    icon_index_ = icon;
    open_icon_index_ = open_icon;
  }
  // Plain reads answer what the ID holds, as the file was when the ID was made; a refresh is
  // where they catch up with the file.
  TakeRelativePIDLAnew();
  find_data_failed_ = file_gone_;
}

void TNamespace::ReplaceRelativePIDL(win::LPCITEMIDLIST id) {
  win::LPITEMIDLIST parent_list = PIDLMgr->StripLastID(PIDLMgr->CopyPIDL(absolute_pidl_));
  win::LPITEMIDLIST rebuilt = PIDLMgr->AppendPIDL(parent_list, id);
  PIDLMgr->FreePIDL(parent_list);
  if (rebuilt == nullptr) return;
  if (free_pidl_on_destroy_) PIDLMgr->FreePIDL(absolute_pidl_);
  absolute_pidl_ = rebuilt;
  relative_pidl_ = PIDLMgr->GetPointerToLastID(absolute_pidl_);
  free_pidl_on_destroy_ = true;
}

void TNamespace::TakeRelativePIDLAnew() {
  file_gone_ = false;
  win::IShellFolder* folder = ParentShellFolder();
  // A custom namespace has no ID to take anew.
  if (absolute_pidl_ == nullptr || IsDesktop() || folder == nullptr || PIDLMgr == nullptr) return;
  std::u16string name = NameForParsing();
  win::LPITEMIDLIST fresh = nullptr;
  const win::HRESULT result = folder->ParseDisplayName(nullptr, nullptr, name.data(), nullptr, &fresh, nullptr);
  file_gone_ = result == win::HRESULT_FROM_WIN32(win::ERROR_FILE_NOT_FOUND) ||
               result == win::HRESULT_FROM_WIN32(win::ERROR_PATH_NOT_FOUND);
  // A folder may name the item by a longer way (the desktop names a file on it through its
  // volume): only a single ID takes the old one's place.
  if (result == win::S_OK && PIDLMgr->IDCount(fresh) == 1) ReplaceRelativePIDL(fresh);
  PIDLMgr->FreePIDL(fresh);
}

void TNamespace::InvalidateRelativePIDL(TFileObjects FileObjects) {
  TNamespace* parent = ParentNamespace();
  win::IShellFolder* folder = ParentShellFolder();
  if (parent == nullptr || folder == nullptr || PIDLMgr == nullptr) return;
  win::ComPtr<win::IEnumIDList> enumerator;
  if (folder->EnumObjects(nullptr, shell::FileObjectsToFlags(FileObjects), enumerator.GetAddressOf()) != win::S_OK) return;
  win::LPITEMIDLIST child = nullptr;
  win::ULONG fetched = 0;
  while (enumerator->Next(1, &child, &fetched) == win::S_OK && fetched == 1) {
    const bool same = ComparePIDL(child, false, 0) == 0;
    if (same) ReplaceRelativePIDL(child);
    PIDLMgr->FreePIDL(child);
    if (same) {
      InvalidateNamespace(true);
      return;
    }
  }
}

}  // namespace dashtune
