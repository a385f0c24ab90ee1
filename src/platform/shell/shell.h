// The shell calls: the desktop folder and special folders, item data, file information, the
// item-list tests, the system image lists, and the file and time calls the shell library uses.
#pragma once

#include "platform/shell/shell_types.h"

namespace win {

// The shell allocator (the task allocator behind an IMalloc).
HRESULT SHGetMalloc(IMalloc** malloc);

// The root of the namespace.
HRESULT SHGetDesktopFolder(IShellFolder** folder);

// Reads the XDG user folders (user-dirs.dirs) anew; the shell library's start calls it so that
// each start sees the folders as they are. Call it only while no other thread asks the shell.
void ReloadUserFolders();

// The absolute list of a special folder: 0 desktop (the empty list), 10 Trash, 16 the desktop
// folder, 17 Computer, 5 documents, 21 templates, 26 $XDG_CONFIG_HOME; E_FAIL when the system
// has none (3, 4, 6, 18, 34 and missing folders). The caller frees the list.
HRESULT SHGetSpecialFolderLocation(HWND owner, int csidl, LPITEMIDLIST* list);

// SHGDFIL_FINDDATA: the WIN32_FIND_DATAW (592 bytes) of a child of `folder` from its ID's
// snapshot; no 8.3 names; fails for virtual items. SHGDFIL_DESCRIPTIONID: the SHDESCRIPTIONID of
// any item below `folder`:
//   Computer, Home, Trash   SHDID_ROOT_REGITEM with CLSID_MyComputer, CLSID_UsersFiles, CLSID_RecycleBin
//   a volume                SHDID_COMPUTER_REMOVABLE or SHDID_COMPUTER_FIXED
//   a folder                SHDID_FS_DIRECTORY
//   a file                  SHDID_FS_FILE; a link (.desktop file) with CLSID_ShellLink
//   a device, fifo, socket  SHDID_FS_OTHER
//   an entry of Trash       SHDID_FS_DIRECTORY or SHDID_FS_FILE, with CLSID_TrashEntry
// The class is zero where none is named. Other formats fail.
HRESULT SHGetDataFromIDListW(IShellFolder* folder, LPCITEMIDLIST list, int format, void* data, int size);
// The same for SHGDFIL_DESCRIPTIONID, which holds no text; the narrow find data record is not
// offered (nothing on this platform reads it).
HRESULT SHGetDataFromIDListA(IShellFolder* folder, LPCITEMIDLIST list, int format, void* data, int size);

// With SHGFI_PIDL `path` is an absolute list. SHGFI_TYPENAME gives the content type's
// description ("" when unknown); SHGFI_SYSICONINDEX answers the system small (or large) image
// list and puts the icon's index in iIcon; SHGFI_DISPLAYNAME the display name.
DWORD_PTR SHGetFileInfoW(LPCWSTR path, DWORD file_attributes, SHFILEINFOW* info, UINT info_size, UINT flags);
// Tests only: how often a folder was asked for an item's details text (GetDetailsOf).
ULONG ShellFolderDetailsCallsForTesting();
// Tests only: how often SHGetFileInfoW was called in this process.
ULONG SHGetFileInfoWCallsForTesting();

// shell32 export 21: whether two absolute lists name the same item (kind and name of each ID).
BOOL ILIsEqual(LPCITEMIDLIST first, LPCITEMIDLIST second);
// shell32 export 23: whether `parent` is an ancestor of `child` (its immediate parent only when
// `immediate`).
BOOL ILIsParent(LPCITEMIDLIST parent, LPCITEMIDLIST child, BOOL immediate);
// shell32 export 660: makes the system image lists (16 and 32 pixels).
BOOL FileIconInit(BOOL restore);
// The system image lists made by FileIconInit (null before).
BOOL Shell_GetImageLists(HIMAGELIST* large, HIMAGELIST* small);
// The system image list index of an item's icon (its open form when `open`), added on first use;
// 0 when no icon can be found.
int SystemIconIndexOf(LPCITEMIDLIST absolute, bool open);

constexpr WORD kShellExportIsEqual = 21;
constexpr WORD kShellExportIsParent = 23;
constexpr WORD kShellExportFileIconInit = 660;

// One file's find data (no wildcards): a handle for FindClose, or INVALID_HANDLE_VALUE with the
// system error.
HANDLE FindFirstFileW(LPCWSTR file_name, WIN32_FIND_DATAW* data);
BOOL FindClose(HANDLE find);

// statvfs of the folder; sectors of one byte-sized "sector" per fragment.
BOOL GetDiskFreeSpaceW(LPCWSTR root, DWORD* sectors_per_cluster, DWORD* bytes_per_sector, DWORD* free_clusters,
                       DWORD* total_clusters);
// There are no drive letters: every root answers DRIVE_NO_ROOT_DIR.
UINT GetDriveTypeW(LPCWSTR root);

// UTC to local time by the TZ rules, and FILETIME to its calendar form.
BOOL FileTimeToLocalFileTime(const FILETIME* utc, FILETIME* local);
BOOL FileTimeToSystemTime(const FILETIME* time, SYSTEMTIME* system_time);

// The error mode is only stored: there are no critical-error boxes to turn off.
UINT SetErrorMode(UINT mode);

}  // namespace win
