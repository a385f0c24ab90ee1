// The shell library's unit: its start and end, the special folders, the item-ID-list manager
// shared by every TNamespace, and the library's plain routines.
#pragma once

#include "components/listview/common/common_pidl.h"
#include "components/shell/namespace.h"

#include <vector>

namespace dashtune::shell {

// The drop effects a drag or a paste asks for.
inline constexpr win::DWORD kDropEffectNone = 0;
inline constexpr win::DWORD kDropEffectCopy = 1;
inline constexpr win::DWORD kDropEffectMove = 2;
inline constexpr win::DWORD kDropEffectLink = 4;

// Unit state, owned by the unit: made by ShellUnitInitialization, freed by ShellUnitFinalization.
// A special folder the system lacks stays nil.
extern TCommonPIDLManager* PIDLMgr;
extern TNamespace* DesktopFolder;
extern TNamespace* RecycleBinFolder;
extern TNamespace* PhysicalDesktopFolder;
extern TNamespace* DrivesFolder;
extern TNamespace* PrinterFolder;
extern TNamespace* HistoryFolder;
extern TNamespace* ControlPanelFolder;
extern TNamespace* NetworkNeighborHoodFolder;
extern TNamespace* TemplatesFolder;
extern TNamespace* MyDocumentsFolder;
extern TNamespace* FavoritesFolder;
extern TNamespace* AppDataFolder;

// The item-list tests of shell32 (exports 21 and 23), found by LoadShellEntryPoints.
using TILIsEqual = win::BOOL (*)(win::LPCITEMIDLIST, win::LPCITEMIDLIST);
using TILIsParent = win::BOOL (*)(win::LPCITEMIDLIST, win::LPCITEMIDLIST, win::BOOL);
extern TILIsEqual ILIsEqual;
extern TILIsParent ILIsParent;

// Unit start: COM, the shell icons, the entry points (a missing one ends the process with a
// non-zero status and one line on stderr), the manager and the twelve special folders. Runs once.
void ShellUnitInitialization();
// Unit end: waits for the workers of ShellExecuteNamespace, then frees the special folders, the
// manager and COM. Runs once after a start.
void ShellUnitFinalization();
// Waits for every worker ShellExecuteNamespace started (and frees them).
void WaitForShellExecuteThreads();

std::vector<win::LPITEMIDLIST> NamespaceArrayToRelativePIDLs(const std::vector<TNamespace*>& Namespaces);
std::vector<win::LPITEMIDLIST> NamespaceArrayToAbsolutePIDLs(const std::vector<TNamespace*>& Namespaces);
// The caller owns the list; nil, with the last error saying why, when the path cannot be parsed.
win::LPITEMIDLIST PathToPIDL(const std::u16string& Path);
bool IsRemoteOrMissingDrive(TNamespace* Namespace);
win::DWORD FileObjectsToFlags(TFileObjects FileObjects);
bool IsValidFileTime(const win::FILETIME& FileTime);
std::u16string ConvertFileTimeToString(const win::FILETIME& FileTime);
// A file size as the items show it: "1,234,567", and in kilobytes "1,206 KB" (at least "1 KB").
std::u16string FileSizeText(std::int64_t Size);
std::u16string FileSizeKBText(std::int64_t Size);
TDateTime ConvertFileTimeToDateTime(const win::FILETIME& FileTime);
// Nil when the system has no such folder; the caller owns the result.
std::unique_ptr<TNamespace> CreateSpecialFolderNamespace(int CSIDL);
bool InitShellIcons(bool Restore);
win::DWORD KeyStateToDropEffect(win::DWORD KeyState);
bool GetDiskFreeSpaceFromPath(const std::u16string& Path, win::DWORD& SectorsPerCluster, win::DWORD& BytesPerSector,
                              win::DWORD& FreeClusters, win::DWORD& TotalClusters);
bool LoadShellEntryPoints();

}  // namespace dashtune::shell
