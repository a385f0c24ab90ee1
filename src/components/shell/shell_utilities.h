// The shell library's unit: its start and end, the special folders, the item-ID-list manager
// shared by every TNamespace, and the library's plain routines.
#pragma once

#include "components/listview/common/common_pidl.h"
#include "components/shell/namespace.h"

#include <vector>

namespace dashtune::shell {

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
// Unit end: the special folders, then the manager, then COM. Runs once after a start.
void ShellUnitFinalization();

std::vector<win::LPITEMIDLIST> NamespaceArrayToRelativePIDLs(const std::vector<TNamespace*>& Namespaces);
std::vector<win::LPITEMIDLIST> NamespaceArrayToAbsolutePIDLs(const std::vector<TNamespace*>& Namespaces);
// The caller owns the list; nil when the path cannot be parsed.
win::LPITEMIDLIST PathToPIDL(const std::u16string& Path);
bool IsRemoteOrMissingDrive(TNamespace* Namespace);
win::DWORD FileObjectsToFlags(TFileObjects FileObjects);
bool IsValidFileTime(const win::FILETIME& FileTime);
std::u16string ConvertFileTimeToString(const win::FILETIME& FileTime);
TDateTime ConvertFileTimeToDateTime(const win::FILETIME& FileTime);
// Nil when the system has no such folder; the caller owns the result.
std::unique_ptr<TNamespace> CreateSpecialFolderNamespace(int CSIDL);
bool InitShellIcons(bool Restore);
win::DWORD KeyStateToDropEffect(win::DWORD KeyState);
bool GetDiskFreeSpaceFromPath(const std::u16string& Path, win::DWORD& SectorsPerCluster, win::DWORD& BytesPerSector,
                              win::DWORD& FreeClusters, win::DWORD& TotalClusters);
bool LoadShellEntryPoints();

}  // namespace dashtune::shell
