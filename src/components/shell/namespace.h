// TNamespace: one item of the shell namespace held as an item-ID list, with the shell
// interfaces needed to ask about it. Answers are computed once and cached until the item is
// refreshed (InvalidateCache, InvalidateNamespace).
#pragma once

#include "classlib/controls.h"
#include "classlib/menus.h"
#include "classlib/set.h"
#include "classlib/sysutils.h"
#include "classlib/datetime.h"
#include "components/listview/listview_types.h"
#include "components/shell/shell_link.h"
#include "platform/core/types.h"
#include "platform/ole/drag_drop.h"
#include "platform/shell/context_menu.h"
#include "platform/shell/details.h"
#include "platform/shell/shell_extensions.h"
#include "platform/shell/shell_types.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

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

// The flags of a details column's state.
enum class TSHColumnState { csString, csInteger, csDate, csOnByDefault, csSlow, csExtended, csSecondaryUI, csHidden };
using TSHColumnStates = Set<TSHColumnState>;

// The thumbnail object of an item: the size, colour depth and flags a thumbnail of it is asked
// with. This library makes no thumbnail itself.
class TExtractImage : public TObject {
 public:
  explicit TExtractImage(TNamespace* Owner) : owner_(Owner) {}  // Owner: not owned, the item it belongs to

  TNamespace* GetOwner() const { return owner_; }
  int GetWidth() const { return width_; }
  int GetHeight() const { return height_; }
  int GetColorDepth() const { return color_depth_; }
  win::DWORD GetFlags() const { return flags_; }

 private:
  TNamespace* owner_;
  int width_ = 200;
  int height_ = 200;
  int color_depth_ = 32;
  win::DWORD flags_ = 32;
};

using TNamespaceArray = std::vector<TNamespace*>;
using TPIDLArray = std::vector<win::LPITEMIDLIST>;

// A command chosen from a context menu, before it is carried out; Handled takes it over.
using TContextMenuCmdCallback =
    std::function<void(TNamespace* Namespace, const std::u16string& Verb, int MenuItemID, bool& Handled)>;
// The context menu about to show; Allow false keeps it from showing.
using TContextMenuShowCallback = std::function<void(TNamespace* Namespace, win::HMENU Menu, bool& Allow)>;
// The context menu closed: the chosen command (0 for none) and whether it was carried out.
using TContextMenuAfterCmdCallback =
    std::function<void(TNamespace* Namespace, const std::u16string& Verb, int MenuItemID, bool Successful)>;

// The assertion of a context menu shown without an owner control.
inline constexpr std::string_view kContextMenuNeedsOwner =
    "To show a Context Menu using TNamespace you must pass a valid Owner TWinControl";

class TNamespace : public TObject {
 public:
  // Takes `PIDL` (see the class's rules on which list becomes AbsolutePIDL); `ParentNamespace`
  // is not owned and outlives this object. Without a list the desktop's list is fetched.
  TNamespace(win::LPITEMIDLIST PIDL, TNamespace* ParentNamespace);
  ~TNamespace() override;
  TNamespace(const TNamespace&) = delete;
  TNamespace& operator=(const TNamespace&) = delete;

  // Raises EShellInvalidFileName when the shell has no item for the file, or when the path is too
  // long for an item-ID list.
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
  // A name holding NUL is refused (ERROR_INVALID_NAME) and nothing is renamed.
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
  // The class the shell describes the item by, else its folder's class; all zero when neither
  // says (SHDESCRIPTIONID, platform/shell/shell.h).
  virtual win::CLSID CLSID();
  // The kind the shell describes the item by (SHDID_); 0 when it does not say.
  virtual win::DWORD DescriptionID();

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
  // Made on first use, freed by InvalidateCache.
  virtual TExtractImage* ExtractImage();
  // Asked of the item's folder, then its parent folder; once missing, never asked again.
  virtual win::IShellIconOverlay* ShellIconOverlayInterface();
  // Asked of the parent folder for the item, then of the item's folder (the desktop item last
  // asks the folder behind it); not kept.
  virtual win::ComPtr<win::IExtractIconA> ExtractIconAInterface();
  virtual win::ComPtr<win::IExtractIconW> ExtractIconWInterface();
  // Asked of the parent folder for the item, then (folders only) of the item's folder as a view
  // object, then of the item's folder itself.
  virtual win::IBrowserFrameOptions* BrowserFrameOptionsInterface();
  virtual win::IQueryAssociations* QueryAssociationsInterface();
  // Folders only: the item's folder's view object.
  virtual win::ICategoryProvider* CategoryProviderInterface();

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
  // A child whose list would pass an item-ID list's limit below this item is not handed out, and
  // the last error is ERROR_FILENAME_EXCED_RANGE when the enumeration ends.
  virtual int EnumerateFolderEx(win::HWND MessageWnd, TFileObjects FileObjects, const TEnumFolderCallback& Callback,
                                void* Data, const TEnumFolderBeforeEnum& BeforeEnum = nullptr);
  virtual bool SubFolders();
  virtual bool SubItems();
  virtual bool SubFoldersEx(win::DWORD Flags);
  virtual bool SubItemsEx(win::DWORD Flags);
  virtual bool OkToBrowse(bool ShowExplorerMsg);
  virtual bool Valid();

  // Gates of the verbs over a set: False for an empty set or at the first member that fails.
  virtual bool CanCopyAll(const TNamespaceArray& Namespaces);
  virtual bool CanCutAll(const TNamespaceArray& Namespaces);
  virtual bool CanDeleteAll(const TNamespaceArray& Namespaces);
  virtual bool CanPasteToAll(const TNamespaceArray& Namespaces);
  virtual bool CanShowPropertiesOfAll(const TNamespaceArray& Namespaces);

  // Verbs over a set, routed through this item when the set lies in its folder, otherwise
  // through the desktop with absolute lists. Each answers whether it succeeded.
  virtual bool Copy(const TNamespaceArray& Namespaces);
  virtual bool Cut(const TNamespaceArray& Namespaces);
  virtual bool Delete(const TNamespaceArray& Namespaces);
  // The members are the target folders; "pastelink" when AsShortcut.
  virtual bool Paste(const TNamespaceArray& Namespaces, bool AsShortcut = false);
  virtual bool ShowPropertySheet();
  virtual bool ShowPropertySheetMulti(const TNamespaceArray& Namespaces, bool UseMultiFileProperties = true);
  // Carries out a verb on the lists (this item when empty), listed by the menu or not.
  virtual bool ExecuteContextMenuVerb(const std::u16string& Verb, const TPIDLArray& PIDLs, win::HWND Window = nullptr);

  // Context menu objects; nil when the shell has none.
  virtual win::ComPtr<win::IContextMenu> ContextMenuInterface();
  virtual win::ComPtr<win::IContextMenu2> ContextMenu2Interface();
  virtual win::ComPtr<win::IContextMenu3> ContextMenu3Interface();
  virtual win::ComPtr<win::IContextMenu> ContextMenuForPIDLs(const TPIDLArray& PIDLs);
  // The verb and help text of a command of the menu being shown; empty without one.
  virtual std::u16string ContextMenuVerb(win::UINT MenuID);
  virtual std::u16string ContextMenuItemHelp(win::UINT MenuID);
  // Passes an owner-drawing message to the menu being shown, when it draws itself.
  virtual bool HandleContextMenuMsg(win::UINT Msg, win::WPARAM wParam, win::LPARAM lParam, win::LRESULT& Result);
  win::IContextMenu* CurrentContextMenu() const { return current_context_menu_.Get(); }
  win::IContextMenu2* CurrentContextMenu2() const { return current_context_menu2_.Get(); }

  // Shows the item's context menu for Owner (at Position, else at the mouse), with the program's
  // own menu as a submenu captioned CustomSubMenuCaption; answers whether a command was carried
  // out. A nil Owner raises EAssertionFailed (kContextMenuNeedsOwner).
  virtual bool ShowContextMenu(TWinControl* Owner, const TContextMenuCmdCallback& ContextMenuCmdCallback,
                               const TContextMenuShowCallback& ContextMenuShowCallback,
                               const TContextMenuAfterCmdCallback& ContextMenuAfterCmdCallback,
                               const win::POINT* Position = nullptr, TPopupMenu* CustomShellSubMenu = nullptr,
                               const std::string& CustomSubMenuCaption = {});
  virtual bool ShowContextMenuMulti(TWinControl* Owner, const TContextMenuCmdCallback& ContextMenuCmdCallback,
                                    const TContextMenuShowCallback& ContextMenuShowCallback,
                                    const TContextMenuAfterCmdCallback& ContextMenuAfterCmdCallback,
                                    const TNamespaceArray& Namespaces, const win::POINT* Position = nullptr,
                                    TPopupMenu* CustomShellSubMenu = nullptr,
                                    const std::string& CustomSubMenuCaption = {}, bool ForceDesktop = false);
  // Whether every member lies directly in this item's folder; otherwise, unless Silent or this
  // is the desktop, says so in a message box.
  virtual bool VerifyPIDLRelationship(const TNamespaceArray& Namespaces, bool Silent = false);

  // The drop effect for the key state (MK_ bits) that this item allows.
  virtual win::DWORD DragEffect(win::DWORD KeyState);

  // Data objects carrying the items' CIDA: of this item, of a set (routed as verbs are), of lists
  // of this item's parent folder. Nil when the shell gives none.
  virtual win::ComPtr<win::IDataObject> DataObjectInterface();
  virtual win::ComPtr<win::IDataObject> DataObjectMulti(const TNamespaceArray& Namespaces);
  virtual win::ComPtr<win::IDataObject> DataObjectForPIDLs(const TPIDLArray& PIDLs);
  // The folder's drop target; nil for what nothing can be dropped into.
  virtual win::ComPtr<win::IDropTarget> DropTargetInterface();
  // Forwarded to the drop target when the item is a DropTarget and has one (the target entered
  // is kept until DragLeave or Drop); otherwise Effect becomes 0 and the answer is S_OK.
  virtual win::HRESULT DragEnter(win::IDataObject* DataObject, win::DWORD KeyState, win::POINTL Point,
                                 win::DWORD& Effect);
  virtual win::HRESULT DragOver(win::DWORD KeyState, win::POINTL Point, win::DWORD& Effect);
  virtual win::HRESULT DragLeave();
  virtual win::HRESULT Drop(win::IDataObject* DataObject, win::DWORD KeyState, win::POINTL Point, win::DWORD& Effect);

  // Starts the item as the shell does (a folder only with ExecuteFolder, a link to a folder only
  // with ExecuteFolderShortCut), in WorkingDir when that folder exists, else in the item's own
  // folder. RunInThread answers True at once and starts it on a worker.
  virtual bool ShellExecuteNamespace(const std::u16string& WorkingDir, const std::u16string& CmdLineArgs,
                                     bool ExecuteFolder = false, bool ExecuteFolderShortCut = false,
                                     bool RunInThread = false);

  // Details columns. Titles, alignment and states are this item's columns as a folder; texts and
  // the threaded flags are the item's own details, columns of its parent folder.
  virtual int DetailsSupportedColumns();
  virtual int DetailsDefaultSupportedColumns();
  // Whether 0 <= Column < the parent folder's column count.
  virtual bool DetailsValidIndex(int Column);
  virtual std::u16string DetailsColumnTitle(int Column);
  virtual std::u16string DetailsDefaultColumnTitle(int Column);
  virtual TAlignment DetailsAlignment(int Column);
  virtual TSHColumnStates DetailsGetDefaultColumnState(int Column);
  virtual std::vector<win::WORD> DetailsSupportedVisibleColumns();
  virtual std::u16string DetailsOf(int Column);
  virtual std::u16string DetailsOfEx(int Column);
  virtual std::u16string DetailsDefaultOf(int Column);
  virtual bool DetailsSupported();
  bool ThreadedDetailLoaded(int Column);
  bool ThreadedDetailLoading(int Column);
  void SetThreadedDetailLoaded(int Column, bool Value);
  void SetThreadedDetailLoading(int Column, bool Value);
  virtual win::ComPtr<win::IShellFolder2> ShellFolder2();
  virtual win::ComPtr<win::IShellFolder2> ParentShellFolder2();
  virtual win::ComPtr<win::IShellDetails> ShellDetailsInterface();
  virtual win::ComPtr<win::IShellDetails> ParentShellDetailsInterface();

  // Cache control.
  virtual void InvalidateCache();
  virtual void InvalidateNamespace(bool ResetIcons = true);
  virtual void InvalidateRelativePIDL(TFileObjects FileObjects);

 private:

  TNamespace() = default;
  // Asked many times for every question about an item: the kept parent is answered inline.
  TNamespace* ParentNamespace() { return parent_ != nullptr ? parent_ : MakeParentNamespace(); }
  TNamespace* MakeParentNamespace();
  bool CachedAttribute(win::ULONG mask, std::optional<bool>& cache);
  // The description record of the item; nothing when the shell gives none.
  std::optional<win::SHDESCRIPTIONID> Description();
  // The parent folder's object for the item, else the item's folder's view object; for the
  // desktop item last the one of the folder behind it.
  template <class Interface>
  win::ComPtr<Interface> ItemOrViewObject();
  // Kept in `kept` once found: the parent folder's object for the item, else (folders only) the
  // item's folder's view object, else the item's folder itself.
  template <class Interface>
  Interface* FolderObject(win::ComPtr<Interface>& kept);
  std::u16string DisplayNameOf(win::DWORD flags);
  const win::WIN32_FIND_DATAW* FindData();
  // The find data with its times read again from the file, once, before they are first used.
  const win::WIN32_FIND_DATAW* FindDataWithFreshTimes();
  bool FileAttribute(win::DWORD attribute);
  std::u16string TimeText(const win::FILETIME& time, std::optional<std::u16string>& cache);
  bool IsEqualToFolder(TNamespace* folder);
  int LookupIconIndex(bool open, int icon_size);
  bool HasChildren(win::DWORD flags);
  // The largest child list (with its terminator) whose list below this item fits an item-ID list.
  std::size_t ChildListRoom();
  // Valid's question, with the folder's answer.
  win::HRESULT Validate();
  bool RouteVerb(const std::u16string& verb, const TNamespaceArray& namespaces);
  bool InternalShowContextMenu(TWinControl* owner, const TPIDLArray& pidls, bool use_desktop,
                               const std::string& user_menu_caption, TPopupMenu* user_menu, const win::POINT* position,
                               const TContextMenuAfterCmdCallback& on_menu_close,
                               const TContextMenuShowCallback& on_show, const TContextMenuCmdCallback& on_verb);
  void ContextMenuWindowProc(TMessage& Message);
  bool OwnColumnValid(int column);
  // Puts `id` in place of the list's last ID.
  void ReplaceRelativePIDL(win::LPCITEMIDLIST id);
  // Takes the item's ID anew from its folder, from the file as it is now (file_gone_ when the
  // folder finds none).
  void TakeRelativePIDLAnew();
  struct ColumnDetail;
  ColumnDetail* DetailRecord(int column);

  win::LPITEMIDLIST absolute_pidl_ = nullptr;
  win::LPITEMIDLIST relative_pidl_ = nullptr;  // points into absolute_pidl_
  TNamespace* parent_ = nullptr;
  std::unique_ptr<TNamespace> owned_parent_;  // the parent this object made itself
  bool free_pidl_on_destroy_ = true;
  int custom_data_ = -1;

  win::ComPtr<win::IShellFolder> shell_folder_;
  win::ComPtr<win::IShellFolder2> shell_folder2_;
  bool shell_folder2_possible_ = true;  // cleared once the folder turned out to have none
  win::ComPtr<win::IShellIcon> shell_icon_;
  win::ComPtr<win::IShellIconOverlay> shell_icon_overlay_;
  bool icon_overlay_possible_ = true;  // cleared once the folders turned out to have none
  win::ComPtr<win::IBrowserFrameOptions> browser_frame_options_;
  win::ComPtr<win::IQueryAssociations> query_associations_;
  win::ComPtr<win::ICategoryProvider> category_provider_;
  // While a context menu shows: its objects and the owner's window procedure it replaced.
  win::ComPtr<win::IContextMenu> current_context_menu_;
  win::ComPtr<win::IContextMenu2> current_context_menu2_;
  std::function<void(TMessage&)> saved_window_proc_;
  // The drop target a drag entered, until it leaves or drops.
  win::ComPtr<win::IDropTarget> drop_target_;

  // Details: the column count as a folder, the states of those columns, and per column of the
  // parent folder the item's text and the threaded flags. The last two are rebuilt after
  // InvalidateNamespace.
  struct ColumnDetail {
    bool text_cached = false;
    bool loading = false;
    bool loaded = false;
    std::u16string text;
  };
  std::optional<int> column_count_;
  std::vector<std::optional<TSHColumnStates>> column_states_;
  std::vector<ColumnDetail> column_details_;
  bool column_details_built_ = false;
  bool find_data_failed_ = false;
  // The last refresh found no file behind the item: its ID's snapshot describes what was there,
  // so find data and details answer nothing until a refresh finds a file again.
  bool file_gone_ = false;
  bool find_data_times_refreshed_ = false;
  std::unique_ptr<win::WIN32_FIND_DATAW> find_data_;
  std::unique_ptr<std::u16string> type_info_;
  std::unique_ptr<TShellLink> shell_link_;
  std::unique_ptr<TExtractImage> extract_image_;
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
