#include "components/listview/unit_startup.h"

#include <array>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "classlib/form.h"
#include "classlib/graphics.h"
#include "classlib/units.h"
#include "components/listview/common/common_pidl.h"
#include "components/listview/header_painter.h"
#include "components/listview/listview.h"
#include "components/listview/view_items.h"
#include "platform/com/com_init.h"
#include "platform/ole/clipboard.h"
#include "platform/user/cursors.h"

namespace dashtune {

namespace {

// The modules the common utilities take handles of, and the one they load.
constexpr const char* kTakenModules[] = {"shell32.dll", "kernel32.dll", "user32.dll", "gdi32.dll", "advapi32.dll"};
constexpr char kLoadedModule[] = "shlwapi.dll";

struct NamedEntry {
  const char* module;
  const char* name;
};

// Looked up on every platform.
constexpr NamedEntry kAnsiEntries[] = {{"kernel32.dll", "GetDiskFreeSpaceA"}};
// Looked up on the NT family only. "GetCurrentDirW" is asked for under that name, which no
// module exports.
constexpr NamedEntry kWideEntries[] = {
    {"kernel32.dll", "GetDriveTypeW"},          {"user32.dll", "DrawTextW"},
    {"shell32.dll", "SHGetFileInfoW"},          {"kernel32.dll", "CreateFileW"},
    {"shell32.dll", "SHGetDataFromIDListW"},    {"kernel32.dll", "FindFirstFileW"},
    {"kernel32.dll", "FindNextFileW"},          {"kernel32.dll", "lstrcmpiW"},
    {"kernel32.dll", "lstrcmpW"},               {"kernel32.dll", "lstrcpynW"},
    {"kernel32.dll", "lstrcpyW"},               {"user32.dll", "CharLowerBuffW"},
    {"kernel32.dll", "CreateDirectoryW"},       {"kernel32.dll", "GetFullPathNameW"},
    {"shell32.dll", "ShellExecuteExW"},         {"shell32.dll", "ShellExecuteW"},
    {"kernel32.dll", "FindFirstChangeNotificationW"}, {"gdi32.dll", "GetCharABCWidthsW"},
    {"kernel32.dll", "GetFileAttributesW"},     {"kernel32.dll", "GetSystemDirectoryW"},
    {"kernel32.dll", "GetWindowsDirectoryW"},   {"kernel32.dll", "GetDiskFreeSpaceExW"},
    {"user32.dll", "SetWindowTextW"},           {"kernel32.dll", "GetNumberFormatW"},
    {"advapi32.dll", "RegOpenKeyW"},            {"kernel32.dll", "WritePrivateProfileStringW"},
    {"kernel32.dll", "GetPrivateProfileStringW"}, {"kernel32.dll", "TryEnterCriticalSection"},
    {"user32.dll", "InsertMenuItemW"},          {"user32.dll", "SendMessageW"},
    {"kernel32.dll", "SetFileAttributesW"},     {"gdi32.dll", "CreateFontIndirectW"},
    {"user32.dll", "SystemParametersInfoW"},    {"shell32.dll", "SHGetPathFromIDListW"},
    {"shell32.dll", "SHFileOperationW"},        {"shell32.dll", "SHBrowseForFolderW"},
    {"kernel32.dll", "GetDiskFreeSpaceW"},      {"kernel32.dll", "GetCurrentDirW"},
    {"kernel32.dll", "GetTempPathW"},           {"shlwapi.dll", "PathMatchSpecA"},
    {"shlwapi.dll", "PathMatchSpecW"}};
// shell32 by ordinal: the multi-file property sheet and two entries no code here calls, then the
// item-list equality and parent tests the shell namespace item calls.
constexpr win::WORD kUtilitiesOrdinals[] = {716, 701, 700};
constexpr win::WORD kObjectsOrdinals[] = {21, 23};

struct CommonState {
  bool utilities_started = false;
  bool data_object_started = false;
  bool objects_started = false;
  bool thread_manager_started = false;
  std::map<std::string, win::FARPROC, std::less<>> entries;
  std::map<win::WORD, win::FARPROC> ordinals;
  std::map<std::string, win::UINT, std::less<>> formats;
  std::unique_ptr<TCommonPIDLManager> utilities_pidl;
  std::unique_ptr<TCommonPIDLManager> data_object_pidl;
  std::unique_ptr<TCommonPIDLManager> objects_pidl;
  std::unique_ptr<TCommonPIDLManager> thread_manager_pidl;
  std::unique_ptr<TFont> marlett;
  bool multi_thread = false;
};

CommonState& Common() {
  static CommonState state;
  return state;
}

struct ListviewState {
  bool started = false;
  bool ole_initialized = false;
  win::UINT header_format = 0;
  win::HCURSOR split_cursor = nullptr;
  std::unique_ptr<TTouchAlphaBlender> blender;
};

ListviewState& Listview() {
  static ListviewState state;
  return state;
}

win::FARPROC LookUp(const char* module, const char* name) {
  const win::HMODULE handle = win::GetModuleHandleA(module);
  return handle ? win::GetProcAddress(handle, name) : nullptr;
}

void LookUpOrdinals(const win::WORD* first, const win::WORD* last) {
  win::HMODULE shell32 = win::GetModuleHandleA("shell32.dll");
  if (shell32 == nullptr) shell32 = win::LoadLibraryA("shell32.dll");
  for (const win::WORD* ordinal = first; ordinal != last; ++ordinal)
    Common().ordinals[*ordinal] = shell32 ? win::GetProcAddress(shell32, win::MAKEINTRESOURCEA(*ordinal)) : nullptr;
}

// The planes of the split cursor from its picture, rows of 32 pixels as big-endian words.
void SplitCursorPlanes(std::vector<win::BYTE>& and_plane, std::vector<win::BYTE>& xor_plane) {
  constexpr int kRowBytes = listview::kSplitCursorSide / 8;
  and_plane.assign(kRowBytes * listview::kSplitCursorSide, 0);
  xor_plane.assign(kRowBytes * listview::kSplitCursorSide, 0);
  for (int y = 0; y < listview::kSplitCursorSide; ++y) {
    for (int x = 0; x < listview::kSplitCursorSide; ++x) {
      const char pixel = listview::kSplitCursorArt[y][x];
      const auto bit = static_cast<win::BYTE>(0x80 >> (x % 8));
      const std::size_t at = static_cast<std::size_t>(y * kRowBytes + x / 8);
      if (pixel == '.') and_plane[at] |= bit;
      if (pixel == 'o') xor_plane[at] |= bit;
    }
  }
}

const TUnitRegistration utilities_unit("CommonUtilities", unit_order::kCommon, common::CommonUtilitiesInitialization,
                                       common::CommonUtilitiesFinalization);
const TUnitRegistration data_object_unit("CommonDataObject", unit_order::kCommon + 1, common::DataObjectInitialization,
                                         common::DataObjectFinalization);
const TUnitRegistration objects_unit("CommonObjects", unit_order::kCommon + 2, common::CommonObjectsInitialization,
                                     common::CommonObjectsFinalization);
const TUnitRegistration thread_manager_unit("CommonThreadManager", unit_order::kCommon + 3,
                                            common::ThreadManagerInitialization, common::ThreadManagerFinalization);
const TUnitRegistration listview_unit("TouchListview", unit_order::kListview, listview::ListviewUnitInitialization,
                                      listview::ListviewUnitFinalization);

}  // namespace

// ---- Common units ----

win::FARPROC common::EntryPoint(std::string_view Name) {
  const auto found = Common().entries.find(Name);
  return found == Common().entries.end() ? nullptr : found->second;
}

win::FARPROC common::ShellEntryPoint(win::WORD Ordinal) {
  const auto found = Common().ordinals.find(Ordinal);
  return found == Common().ordinals.end() ? nullptr : found->second;
}

win::UINT common::ShellClipboardFormat(std::string_view Name) {
  const auto found = Common().formats.find(Name);
  return found == Common().formats.end() ? 0 : found->second;
}

TCommonPIDLManager* common::UtilitiesPIDLManager() { return Common().utilities_pidl.get(); }
TCommonPIDLManager* common::DataObjectPIDLManager() { return Common().data_object_pidl.get(); }
TCommonPIDLManager* common::ObjectsPIDLManager() { return Common().objects_pidl.get(); }
TCommonPIDLManager* common::ThreadManagerPIDLManager() { return Common().thread_manager_pidl.get(); }
TFont* common::MarlettFont() { return Common().marlett.get(); }
bool common::IsMultiThread() { return Common().multi_thread; }

void common::CommonUtilitiesInitialization() {
  CommonState& state = Common();
  if (state.utilities_started) return;
  state.utilities_started = true;
  state.utilities_pidl = std::make_unique<TCommonPIDLManager>();
  for (const char* module : kTakenModules) win::GetModuleHandleA(module);
  win::LoadLibraryA(kLoadedModule);
  for (const NamedEntry& entry : kAnsiEntries) state.entries[entry.name] = LookUp(entry.module, entry.name);
  // The platform reports the NT family: the wide entry points are looked up too.
  for (const NamedEntry& entry : kWideEntries) state.entries[entry.name] = LookUp(entry.module, entry.name);
  LookUpOrdinals(std::begin(kUtilitiesOrdinals), std::end(kUtilitiesOrdinals));
}

void common::CommonUtilitiesFinalization() {
  CommonState& state = Common();
  if (!state.utilities_started) return;
  state.utilities_started = false;
  state.entries.clear();
  for (const win::WORD ordinal : kUtilitiesOrdinals) state.ordinals.erase(ordinal);
  state.utilities_pidl.reset();
}

void common::DataObjectInitialization() {
  CommonState& state = Common();
  if (state.data_object_started) return;
  state.data_object_started = true;
  for (const std::string_view name : kShellClipboardFormats)
    state.formats[std::string(name)] = win::RegisterClipboardFormatA(std::string(name).c_str());
  state.data_object_pidl = std::make_unique<TCommonPIDLManager>();
}

void common::DataObjectFinalization() {
  CommonState& state = Common();
  if (!state.data_object_started) return;
  state.data_object_started = false;
  state.formats.clear();
  state.data_object_pidl.reset();
}

void common::CommonObjectsInitialization() {
  CommonState& state = Common();
  if (state.objects_started) return;
  state.objects_started = true;
  LookUpOrdinals(std::begin(kObjectsOrdinals), std::end(kObjectsOrdinals));
  state.marlett = std::make_unique<TFont>();
  state.marlett->SetName("marlett");
  state.objects_pidl = std::make_unique<TCommonPIDLManager>();
}

void common::CommonObjectsFinalization() {
  CommonState& state = Common();
  if (!state.objects_started) return;
  state.objects_started = false;
  for (const win::WORD ordinal : kObjectsOrdinals) state.ordinals.erase(ordinal);
  state.marlett.reset();
  state.objects_pidl.reset();
}

void common::ThreadManagerInitialization() {
  CommonState& state = Common();
  if (state.thread_manager_started) return;
  state.thread_manager_started = true;
  state.multi_thread = true;
  state.thread_manager_pidl = std::make_unique<TCommonPIDLManager>();
}

void common::ThreadManagerFinalization() {
  CommonState& state = Common();
  if (!state.thread_manager_started) return;
  state.thread_manager_started = false;
  state.thread_manager_pidl.reset();
}

// ---- List view unit ----

const char* const listview::kSplitCursorArt[kSplitCursorSide] = {
    "................................", "................................", "................................",
    "................................", "................................", "................................",
    ".............oooooo.............", ".............oXooXo.............", ".............oXooXo.............",
    ".............oXooXo.............", "..........ooooXooXoooo..........", ".........ooXooXooXooXoo.........",
    "........ooXXooXooXooXXoo........", ".......ooXXXooXooXooXXXoo.......", "......ooXXXXooXooXooXXXXoo......",
    "......oXXXXXXXXooXXXXXXXXo......", "......oXXXXXXXXooXXXXXXXXo......", "......ooXXXXooXooXooXXXXoo......",
    ".......ooXXXooXooXooXXXoo.......", "........ooXXooXooXooXXoo........", ".........ooXooXooXooXoo.........",
    "..........ooooXooXoooo..........", ".............oXooXo.............", ".............oXooXo.............",
    ".............oXooXo.............", ".............oooooo.............", "................................",
    "................................", "................................", "................................",
    "................................", "................................",
};

win::UINT listview::HeaderClipboardFormat() { return Listview().header_format; }
win::HCURSOR listview::HeaderSplitCursor() { return Listview().split_cursor; }

TTouchAlphaBlender* listview::SharedAlphaBlender() {
  ListviewState& state = Listview();
  if (!state.blender) state.blender = std::make_unique<TTouchAlphaBlender>();
  return state.blender.get();
}

void listview::ListviewUnitInitialization() {
  ListviewState& state = Listview();
  if (state.started) return;
  state.started = true;
  state.ole_initialized = win::SUCCEEDED(win::OleInitialize(nullptr));
  std::vector<win::BYTE> and_plane, xor_plane;
  SplitCursorPlanes(and_plane, xor_plane);
  state.split_cursor = win::CreateCursor(nullptr, kSplitCursorHotSpot, kSplitCursorHotSpot, kSplitCursorSide,
                                         kSplitCursorSide, and_plane.data(), xor_plane.data());
  Screen->SetCursors(crHeaderSplit, state.split_cursor);
  state.header_format = win::RegisterClipboardFormatA("TouchListview.Header");
  SharedAlphaBlender();
  MakeSortGlyphs();
}

void listview::ListviewUnitFinalization() {
  ListviewState& state = Listview();
  if (!state.started) return;
  state.started = false;
  FreeSortGlyphs();
  state.blender.reset();
  if (state.ole_initialized) win::OleUninitialize();
  state.ole_initialized = false;
  Screen->SetCursors(crHeaderSplit, nullptr);
  win::DestroyCursor(state.split_cursor);
  state.split_cursor = nullptr;
  state.header_format = 0;
}

}  // namespace dashtune
