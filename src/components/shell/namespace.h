// TNamespace: one item of the shell namespace held as an item-ID list, with the shell
// interfaces needed to ask about it. Answers are computed once and cached until the item is
// refreshed (InvalidateCache, InvalidateNamespace).
#pragma once

#include "classlib/set.h"
#include "classlib/sysutils.h"
#include "classlib/datetime.h"
#include "components/shell/shell_link.h"
#include "platform/core/types.h"
#include "platform/shell/shell_types.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace dashtune {

class TNamespace;

// Raised by CreateFromFileName for a file the shell cannot find.
class EShellInvalidFileName : public Exception {
 public:
  using Exception::Exception;
};

enum class TFileObject { foFolders, foNonFolders, foHidden, foShareable, foNetPrinterSearch };
using TFileObjects = Set<TFileObject>;

// Gets each child ID (owned by the callback); answers whether to count it; sets Terminate to end.
using TEnumFolderCallback = std::function<bool(win::HWND MessageWnd, win::LPITEMIDLIST APIDL, TNamespace* AParent,
                                               void* Data, bool& Terminate)>;
using TEnumFolderBeforeEnum = std::function<void(void* Data, TNamespace* AParent)>;

class TNamespace : public TObject {
 public:
  // Takes `PIDL` (see the class's rules on which list becomes AbsolutePIDL); `ParentNamespace`
  // is not owned and outlives this object. Without a list the desktop's list is fetched.
  TNamespace(win::LPITEMIDLIST PIDL, TNamespace* ParentNamespace);
  ~TNamespace() override;
  TNamespace(const TNamespace&) = delete;
  TNamespace& operator=(const TNamespace&) = delete;

  // Raises EShellInvalidFileName when the shell has no item for the file.
  static std::unique_ptr<TNamespace> CreateFromFileName(const std::u16string& FileName);
  // A namespace without item list, carrying the caller's data.
  static std::unique_ptr<TNamespace> CreateCustomNamespace(int Data, TNamespace* ParentNamespace);
  // A copy over a copy of AbsolutePIDL, without parent.
  virtual std::unique_ptr<TNamespace> Clone(bool FreePIDLOnDestroy);

  win::LPITEMIDLIST GetAbsolutePIDL() const { return absolute_pidl_; }
  win::LPITEMIDLIST GetRelativePIDL() const { return relative_pidl_; }
  TNamespace* GetParent() const { return parent_; }
  int GetCustomData() const { return custom_data_; }

  // Shell attributes (SFGAO_) of the item in its parent folder.
  virtual bool TestAttributesOf(win::ULONG Mask, bool ValidateFolder, bool ValidateItem);
  virtual bool Browsable();
  virtual bool CanCopy();
  virtual bool CanDelete();
  virtual bool CanLink();
  virtual bool CanMoniker();
  virtual bool CanMove();
  virtual bool CanRename();
  virtual bool DropTarget();
  virtual bool Encrypted();
  virtual bool FileSysAncestor();
  virtual bool FileSystem();
  virtual bool Folder();
  virtual bool Ghosted();
  virtual bool HasPropSheet();
  virtual bool HasStorage();
  virtual bool HasSubFolder();
  virtual bool IsSlow();
  virtual bool Link();
  virtual bool NewContent();
  virtual bool NonEnumerated();
  virtual bool ReadOnly();
  virtual bool Removable();
  virtual bool Share();
  virtual bool Storage();
  virtual bool StorageAncestor();
  virtual bool Stream();

  // File attributes from the find data; False without it or outside the file system.
  virtual bool Archive();
  virtual bool Compressed();
  virtual bool Directory();
  virtual bool Hidden();
  virtual bool Normal();
  virtual bool OffLine();
  virtual bool ReadOnlyFile();
  virtual bool ReparsePoint();
  virtual bool SparseFile();
  virtual bool SystemFile();
  virtual bool Temporary();
  // "A", "H", "R", "S", "C" for archive, hidden, read-only, system, compressed.
  virtual std::u16string AttributesString();

  // Names from the parent folder.
  virtual std::u16string NameNormal();
  virtual std::u16string NameInFolder();
  virtual std::u16string NameForEditing();
  virtual std::u16string NameForEditingInFolder();
  virtual std::u16string NameAddressbar();
  virtual std::u16string NameAddressbarInFolder();
  virtual std::u16string NameForParsing();
  virtual std::u16string NameForParsingInFolder();
  virtual std::u16string NameParseAddress();
  virtual std::u16string NameParseAddressInFolder();
  virtual std::u16string Extension();
  virtual std::u16string FileName();
  virtual std::u16string ShortFileName();
  virtual std::u16string InfoTip();
  virtual bool SetNameOf(const std::u16string& NewName);

  // Times.
  virtual win::FILETIME CreationTimeRaw();
  virtual win::FILETIME LastAccessTimeRaw();
  virtual win::FILETIME LastWriteTimeRaw();
  virtual TDateTime CreationDateTime();
  virtual TDateTime LastAccessDateTime();
  virtual TDateTime LastWriteDateTime();
  virtual std::u16string CreationTime();
  virtual std::u16string LastAccessTime();
  virtual std::u16string LastWriteTime();

  // Sizes (folders: empty or 0).
  virtual std::int64_t SizeOfFileInt64();
  virtual std::u16string SizeOfFile();
  virtual std::u16string SizeOfFileKB();
  virtual std::u16string SizeOfFileDiskUsage();
  virtual std::int64_t FolderSize(bool Refresh, bool Recurse);

  // Type and identity.
  virtual std::u16string FileType();
  virtual win::CLSID CLSID();

  // Icons.
  virtual int GetIconIndex(bool OpenIcon, int IconSize, bool ForceLoad = false);
  virtual int OverlayIndex();
  virtual int OverlayIconIndex();
  virtual void SetIconIndexByThread(int Index, bool ClearLoading);
  virtual void SetImageByThread(std::unique_ptr<TObject> Image, bool ClearLoading);
  virtual TObject* GetImage();
  virtual void FreeImage();
  bool ThreadedIconLoaded() const { return threaded_icon_loaded_; }
  bool ThreadIconLoading() const { return thread_icon_loading_; }
  bool ThreadedImageLoaded() const { return threaded_image_loaded_; }
  bool ThreadImageLoading() const { return thread_image_loading_; }
  bool IconIndexChanged() const { return icon_index_changed_; }
  void SetThreadIconLoading(bool value) { thread_icon_loading_ = value; }
  void SetThreadImageLoading(bool value) { thread_image_loading_ = value; }
  void SetIconIndexChanged(bool value) { icon_index_changed_ = value; }
  bool FreePIDLOnDestroy() const { return free_pidl_on_destroy_; }
  void SetFreePIDLOnDestroy(bool value) { free_pidl_on_destroy_ = value; }

  // Interfaces, bound on first request and kept; nil when unavailable.
  virtual win::IShellFolder* ShellFolder();
  virtual win::IShellFolder* ParentShellFolder();
  virtual win::IShellIcon* ShellIconInterface();
  virtual win::ComPtr<win::IQueryInfo> QueryInfoInterface();
  virtual TShellLink* ShellLink();

  // Relations.
  virtual bool IsChild(TNamespace* Namespace, bool Immediate);
  virtual bool IsChildByPIDL(win::LPCITEMIDLIST PIDL, bool Immediate);
  virtual bool IsParent(TNamespace* Namespace, bool Immediate);
  virtual bool IsParentByPIDL(win::LPCITEMIDLIST PIDL, bool Immediate);
  virtual bool IsDesktop();
  virtual bool IsControlPanel();
  virtual bool IsControlPanelChild();
  virtual bool IsMyComputer();
  virtual bool IsNetworkNeighborhood();
  virtual bool IsNetworkNeighborhoodChild();
  virtual bool IsRecycleBin();
  virtual bool IsChildOfRemovableDrive();
  // -1, 0 or 1; -1 when the items cannot be compared.
  virtual int ComparePIDL(win::LPCITEMIDLIST PIDL, bool IsAbsolute, int Column = 0);
  // The caller owns the list; nil on failure.
  virtual win::LPITEMIDLIST ParseDisplayName(const std::u16string& Path);
  virtual win::LPITEMIDLIST ParseDisplayNameOfSelf();

  // Enumeration.
  virtual int EnumerateFolder(win::HWND MessageWnd, bool Folders, bool NonFolders, bool IncludeHidden,
                              const TEnumFolderCallback& Callback, void* Data);
  virtual int EnumerateFolderEx(win::HWND MessageWnd, TFileObjects FileObjects, const TEnumFolderCallback& Callback,
                                void* Data, const TEnumFolderBeforeEnum& BeforeEnum = nullptr);
  virtual bool SubFolders();
  virtual bool SubItems();
  virtual bool SubFoldersEx(win::DWORD Flags);
  virtual bool SubItemsEx(win::DWORD Flags);
  virtual bool OkToBrowse(bool ShowExplorerMsg);
  virtual bool Valid();

  // Cache control.
  virtual void InvalidateCache();
  virtual void InvalidateNamespace(bool ResetIcons = true);
  virtual void InvalidateRelativePIDL(TFileObjects FileObjects);

 private:

  TNamespace() = default;
  TNamespace* ParentNamespace();
  bool CachedAttribute(win::ULONG mask, std::optional<bool>& cache);
  std::u16string DisplayNameOf(win::DWORD flags);
  const win::WIN32_FIND_DATAW* FindData();
  // The find data with its times read again from the file, once, before they are first used.
  const win::WIN32_FIND_DATAW* FindDataWithFreshTimes();
  bool FileAttribute(win::DWORD attribute);
  std::u16string TimeText(const win::FILETIME& time, std::optional<std::u16string>& cache);
  bool IsEqualToFolder(TNamespace* folder);
  int LookupIconIndex(bool open, int icon_size);
  bool HasChildren(win::DWORD flags);

  win::LPITEMIDLIST absolute_pidl_ = nullptr;
  win::LPITEMIDLIST relative_pidl_ = nullptr;  // points into absolute_pidl_
  TNamespace* parent_ = nullptr;
  std::unique_ptr<TNamespace> owned_parent_;  // the parent this object made itself
  bool free_pidl_on_destroy_ = true;
  int custom_data_ = -1;

  win::ComPtr<win::IShellFolder> shell_folder_;
  win::ComPtr<win::IShellIcon> shell_icon_;
  bool find_data_failed_ = false;
  bool find_data_times_refreshed_ = false;
  std::unique_ptr<win::WIN32_FIND_DATAW> find_data_;
  std::unique_ptr<std::u16string> type_info_;
  std::unique_ptr<TShellLink> shell_link_;
  std::unique_ptr<TObject> threaded_image_;

  // Cached values: empty until computed.
  std::optional<std::u16string> name_in_folder_, name_normal_, name_parse_address_;
  std::optional<std::u16string> creation_time_, last_access_time_, last_write_time_;
  std::optional<std::u16string> size_text_, size_kb_text_;
  std::optional<std::int64_t> file_size_, folder_size_;
  std::optional<bool> can_copy_, can_delete_, can_link_, can_move_, can_rename_, file_sys_ancestor_, file_system_,
      folder_, ghosted_, link_, compressed_, recycle_bin_;
  int icon_index_ = -1;
  int open_icon_index_ = -1;
  int overlay_index_ = -1;
  int overlay_icon_index_ = -1;
  bool threaded_icon_loaded_ = false;
  bool thread_icon_loading_ = false;
  bool threaded_image_loaded_ = false;
  bool thread_image_loading_ = false;
  bool icon_index_changed_ = false;
};

}  // namespace dashtune
