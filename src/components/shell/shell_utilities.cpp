#include "components/shell/shell_utilities.h"

#include "classlib/units.h"
#include "components/listview/common/common_shell.h"
#include "platform/com/com_init.h"
#include "platform/core/errors.h"
#include "platform/core/modules.h"
#include "platform/core/strings.h"
#include "platform/core/version.h"
#include "platform/shell/shell.h"
#include "platform/shell/shell_texts.h"

#include <cstdio>
#include <cstdlib>

namespace dashtune::shell {

TCommonPIDLManager* PIDLMgr = nullptr;
TNamespace* DesktopFolder = nullptr;
TNamespace* RecycleBinFolder = nullptr;
TNamespace* PhysicalDesktopFolder = nullptr;
TNamespace* DrivesFolder = nullptr;
TNamespace* PrinterFolder = nullptr;
TNamespace* HistoryFolder = nullptr;
TNamespace* ControlPanelFolder = nullptr;
TNamespace* NetworkNeighborHoodFolder = nullptr;
TNamespace* TemplatesFolder = nullptr;
TNamespace* MyDocumentsFolder = nullptr;
TNamespace* FavoritesFolder = nullptr;
TNamespace* AppDataFolder = nullptr;
TILIsEqual ILIsEqual = nullptr;
TILIsParent ILIsParent = nullptr;

namespace {

constexpr win::DWORD MK_SHIFT = 0x0004;
constexpr win::DWORD MK_CONTROL = 0x0008;
// The process status when the shell lacks the item-list tests: the start cannot go on.
constexpr int kMissingEntryPointsExitCode = 3;

struct SpecialFolder {
  int csidl;
  TNamespace** global;
};

// In the order they are made.
constexpr SpecialFolder kSpecialFolders[] = {
    {win::CSIDL_DESKTOP, &DesktopFolder},         {win::CSIDL_BITBUCKET, &RecycleBinFolder},
    {win::CSIDL_DESKTOPDIRECTORY, &PhysicalDesktopFolder}, {win::CSIDL_DRIVES, &DrivesFolder},
    {win::CSIDL_PRINTERS, &PrinterFolder},        {win::CSIDL_HISTORY, &HistoryFolder},
    {win::CSIDL_CONTROLS, &ControlPanelFolder},   {win::CSIDL_NETWORK, &NetworkNeighborHoodFolder},
    {win::CSIDL_TEMPLATES, &TemplatesFolder},     {win::CSIDL_PERSONAL, &MyDocumentsFolder},
    {win::CSIDL_FAVORITES, &FavoritesFolder},     {win::CSIDL_APPDATA, &AppDataFolder},
};

// In the order they are freed.
TNamespace** const kFreeOrder[] = {&DesktopFolder,    &RecycleBinFolder,    &PhysicalDesktopFolder,
                                   &DrivesFolder,     &HistoryFolder,       &PrinterFolder,
                                   &ControlPanelFolder, &NetworkNeighborHoodFolder, &TemplatesFolder,
                                   &MyDocumentsFolder, &FavoritesFolder,    &AppDataFolder};

bool started = false;

bool ToSystemTime(const win::FILETIME& file_time, win::SYSTEMTIME& system_time) {
  win::FILETIME local;
  return IsValidFileTime(file_time) && win::FileTimeToLocalFileTime(&file_time, &local) &&
         win::FileTimeToSystemTime(&local, &system_time);
}

std::optional<TDateTime> DateTimeOf(const win::FILETIME& file_time) {
  win::SYSTEMTIME time;
  if (!ToSystemTime(file_time, time)) return std::nullopt;
  try {
    return EncodeDate(time.wYear, time.wMonth, time.wDay) +
           EncodeTime(time.wHour, time.wMinute, time.wSecond, time.wMilliseconds);
  } catch (const EConvertError&) {
    return std::nullopt;
  }
}

std::u16string FormatNumber(std::string_view format, double value) { return win::Utf8ToUtf16(Format(format, {value})); }

// Details columns and the properties window of the platform's shell write sizes and times as the
// items here do.
void InstallShellTexts() {
  win::shell_texts::SetFormatters(
      {[](win::ULONGLONG size) { return FileSizeKBText(static_cast<std::int64_t>(size)); },
       [](win::ULONGLONG size) { return FileSizeText(static_cast<std::int64_t>(size)); },
       [](const win::FILETIME& time) { return ConvertFileTimeToString(time); }});
}

void FreeSpecialFolders() {
  for (TNamespace** folder : kFreeOrder) {
    delete *folder;
    *folder = nullptr;
  }
}

const TUnitRegistration shell_unit("ShellUtilities", unit_order::kShell, ShellUnitInitialization,
                                   ShellUnitFinalization);

}  // namespace

std::vector<win::LPITEMIDLIST> NamespaceArrayToRelativePIDLs(const std::vector<TNamespace*>& Namespaces) {
  std::vector<win::LPITEMIDLIST> lists;
  for (TNamespace* item : Namespaces) lists.push_back(item->GetRelativePIDL());
  return lists;
}

std::vector<win::LPITEMIDLIST> NamespaceArrayToAbsolutePIDLs(const std::vector<TNamespace*>& Namespaces) {
  std::vector<win::LPITEMIDLIST> lists;
  for (TNamespace* item : Namespaces) lists.push_back(item->GetAbsolutePIDL());
  return lists;
}

win::LPITEMIDLIST PathToPIDL(const std::u16string& Path) {
  win::ComPtr<win::IShellFolder> desktop;
  if (win::SHGetDesktopFolder(desktop.GetAddressOf()) != win::S_OK) return nullptr;
  std::u16string name = Path;
  win::LPITEMIDLIST list = nullptr;
  win::ULONG eaten = 0;
  win::ULONG attributes = 0;
  const win::HRESULT result = desktop->ParseDisplayName(nullptr, nullptr, name.data(), &eaten, &list, &attributes);
  if (win::FAILED(result)) {
    // Callers tell why from the last error (a path too long for a list, a file not found...).
    if (win::HRESULT_FACILITY(result) == win::FACILITY_WIN32) win::SetLastError(win::HRESULT_CODE(result));
    return nullptr;
  }
  return list;
}

bool IsRemoteOrMissingDrive(TNamespace* Namespace) {
  if (Namespace == nullptr) return false;
  const std::u16string name = Namespace->NameForParsing();
  if (!common::IsDriveString(name)) return false;
  const win::UINT type = win::GetDriveTypeW(name.c_str());
  return type == win::DRIVE_NO_ROOT_DIR || type == win::DRIVE_REMOTE;
}

win::DWORD FileObjectsToFlags(TFileObjects FileObjects) {
  win::DWORD flags = 0;
  if (FileObjects.Contains(TFileObject::foFolders)) flags |= win::SHCONTF_FOLDERS;
  if (FileObjects.Contains(TFileObject::foNonFolders)) flags |= win::SHCONTF_NONFOLDERS;
  if (FileObjects.Contains(TFileObject::foHidden)) flags |= win::SHCONTF_INCLUDEHIDDEN;
  if (common::IsWinNT() && !common::IsWinNT4OrBelow()) {
    if (FileObjects.Contains(TFileObject::foShareable)) flags |= win::SHCONTF_SHAREABLE;
    if (FileObjects.Contains(TFileObject::foNetPrinterSearch)) flags |= win::SHCONTF_NETPRINTERSRCH;
  }
  return flags;
}

bool IsValidFileTime(const win::FILETIME& FileTime) {
  return FileTime.dwLowDateTime != 0 || FileTime.dwHighDateTime != 0;
}

std::u16string ConvertFileTimeToString(const win::FILETIME& FileTime) {
  const std::optional<TDateTime> value = DateTimeOf(FileTime);
  return value ? win::Utf8ToUtf16(FormatDateTime("", *value)) : std::u16string();
}

std::u16string FileSizeText(std::int64_t Size) { return FormatNumber("%0.0n", static_cast<double>(Size)); }

std::u16string FileSizeKBText(std::int64_t Size) {
  std::u16string text = FormatNumber("%0.0n KB", static_cast<double>(Size) / 1024.0);
  return Size <= 0 || text == u"0 KB" ? u"1 KB" : text;
}

TDateTime ConvertFileTimeToDateTime(const win::FILETIME& FileTime) { return DateTimeOf(FileTime).value_or(0); }

std::unique_ptr<TNamespace> CreateSpecialFolderNamespace(int CSIDL) {
  win::LPITEMIDLIST list = nullptr;
  if (win::SHGetSpecialFolderLocation(nullptr, CSIDL, &list) != win::S_OK || list == nullptr) return nullptr;
  auto folder = std::make_unique<TNamespace>(list, nullptr);
  folder->ParentShellFolder();  // makes and binds the parent now
  return folder;
}

bool InitShellIcons(bool Restore) {
  if (!common::IsWinNT()) return false;
  using TFileIconInit = win::BOOL (*)(win::BOOL);
  const win::HMODULE shell32 = win::GetModuleHandleA("shell32.dll");
  const auto init = reinterpret_cast<TFileIconInit>(
      win::GetProcAddress(shell32, win::MAKEINTRESOURCEA(win::kShellExportFileIconInit)));
  return init != nullptr && init(Restore ? -1 : 0) != win::FALSE;
}

win::DWORD KeyStateToDropEffect(win::DWORD KeyState) {
  const bool shift = (KeyState & MK_SHIFT) != 0;
  const bool control = (KeyState & MK_CONTROL) != 0;
  if (control) return shift ? kDropEffectLink : kDropEffectCopy;
  return shift ? kDropEffectNone : kDropEffectMove;
}

bool GetDiskFreeSpaceFromPath(const std::u16string& Path, win::DWORD& SectorsPerCluster, win::DWORD& BytesPerSector,
                              win::DWORD& FreeClusters, win::DWORD& TotalClusters) {
  return win::GetDiskFreeSpaceW(Path.c_str(), &SectorsPerCluster, &BytesPerSector, &FreeClusters, &TotalClusters) !=
         win::FALSE;
}

bool LoadShellEntryPoints() {
  const win::HMODULE shell32 = win::GetModuleHandleA("shell32.dll");
  if (shell32 == nullptr) return false;
  ILIsEqual = reinterpret_cast<TILIsEqual>(win::GetProcAddress(shell32, win::MAKEINTRESOURCEA(win::kShellExportIsEqual)));
  ILIsParent =
      reinterpret_cast<TILIsParent>(win::GetProcAddress(shell32, win::MAKEINTRESOURCEA(win::kShellExportIsParent)));
  return ILIsEqual != nullptr && ILIsParent != nullptr;
}

void ShellUnitInitialization() {
  if (started) return;
  win::CoInitialize(nullptr);
  InitShellIcons(true);
  if (!LoadShellEntryPoints()) {
    // Nothing on screen before the dashboard exists, but the reason is logged and the status says
    // the start failed.
    std::fputs("ShellUtilities: shell32 lacks the item-list tests (exports 21 and 23)\n", stderr);
    std::fflush(stderr);
    std::_Exit(kMissingEntryPointsExitCode);
  }
  PIDLMgr = new TCommonPIDLManager();
  InstallShellTexts();
  win::ReloadUserFolders();
  for (const SpecialFolder& special : kSpecialFolders) *special.global = CreateSpecialFolderNamespace(special.csidl).release();
  started = true;
}

void ShellUnitFinalization() {
  if (!started) return;
  WaitForShellExecuteThreads();
  FreeSpecialFolders();
  delete PIDLMgr;
  PIDLMgr = nullptr;
  win::CoUninitialize();
  started = false;
}

}  // namespace dashtune::shell
