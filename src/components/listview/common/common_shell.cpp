#include "components/listview/common/common_shell.h"

#include "platform/core/message_box.h"
#include "platform/core/strings.h"
#include "platform/core/version.h"
#include "platform/shell/shell.h"

#include <dirent.h>
#include <sys/stat.h>

#include <cstring>
#include <memory>

namespace dashtune::common {
namespace {

win::OSVERSIONINFOA Version() {
  win::OSVERSIONINFOA info;
  win::GetVersionExA(&info);
  return info;
}

std::string CStringWithin(const char* text, std::size_t limit) {
  return std::string(text, strnlen(text, limit));
}

std::int64_t WalkFolder(const std::string& folder, bool recurse) {
  std::int64_t total = 0;
  std::unique_ptr<DIR, int (*)(DIR*)> dir(opendir(folder.c_str()), closedir);
  if (dir == nullptr) return 0;
  while (const dirent* entry = readdir(dir.get())) {
    const std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    const std::string path = folder + (folder.ends_with('/') ? "" : "/") + name;
    struct stat info {};
    if (lstat(path.c_str(), &info) != 0) continue;
    if (S_ISDIR(info.st_mode)) {
      if (recurse) total += WalkFolder(path, recurse);
    } else {
      total += info.st_size;
    }
  }
  return total;
}

}  // namespace

bool IsWinNT() { return Version().dwPlatformId == win::VER_PLATFORM_WIN32_NT; }

bool IsWinNT4OrBelow() {
  const win::OSVERSIONINFOA info = Version();
  return info.dwPlatformId == win::VER_PLATFORM_WIN32_NT && info.dwMajorVersion < 5;
}

bool IsWin95() {
  const win::OSVERSIONINFOA info = Version();
  return info.dwPlatformId == win::VER_PLATFORM_WIN32_WINDOWS && info.dwMajorVersion == 4 &&
         info.dwMinorVersion == 0 && (info.dwBuildNumber & 0xFFFF) < 1081;
}

bool CommonSupports(win::IUnknown* object, const win::IID& iid, void** out) {
  void* ignored = nullptr;
  void** target = out != nullptr ? out : &ignored;
  const bool supported = object != nullptr && object->QueryInterface(iid, target) == win::S_OK;
  if (out == nullptr && ignored != nullptr) static_cast<win::IUnknown*>(ignored)->Release();
  return supported;
}

bool IsDriveString(std::u16string_view path) {
  if (path.size() != 2 && path.size() != 3) return false;
  const char16_t letter = path[0];
  const bool is_letter = (letter >= u'a' && letter <= u'z') || (letter >= u'A' && letter <= u'Z');
  return is_letter && path[1] == u':' && (path.size() == 2 || path[2] == u'\\');
}

bool DiskInDrive(char16_t drive) {
  if (drive < u'A' || drive > u'Z') return false;
  const win::UINT previous = win::SetErrorMode(win::SEM_FAILCRITICALERRORS);
  const char16_t root[] = {drive, u':', u'\\', 0};
  win::DWORD sectors = 0, bytes = 0, free_clusters = 0, total = 0;
  const bool ready = win::GetDiskFreeSpaceW(root, &sectors, &bytes, &free_clusters, &total) != win::FALSE;
  win::SetErrorMode(previous);
  return ready;
}

bool StrRetToString(win::STRRET& record, win::LPCITEMIDLIST relative, std::u16string& text) {
  switch (record.uType) {
    case win::STRRET_WSTR: {
      text = record.pOleStr == nullptr ? std::u16string() : std::u16string(record.pOleStr);
      win::IMalloc* malloc = nullptr;
      if (record.pOleStr != nullptr && win::SHGetMalloc(&malloc) == win::S_OK) {
        malloc->Free(record.pOleStr);
        malloc->Release();
      }
      record.pOleStr = nullptr;
      return true;
    }
    case win::STRRET_OFFSET: {
      if (relative == nullptr || record.uOffset >= relative->mkid.cb) return false;
      const auto* id = reinterpret_cast<const char*>(relative);
      text = win::Utf8ToUtf16(CStringWithin(id + record.uOffset, relative->mkid.cb - record.uOffset));
      return true;
    }
    case win::STRRET_CSTR:
      text = win::Utf8ToUtf16(CStringWithin(record.cStr, sizeof(record.cStr)));
      return true;
    default:
      return false;
  }
}

std::int64_t CalculateFolderSize(std::u16string_view folder, bool recurse) {
  if (IsDriveString(folder)) {
    const std::u16string root(folder);
    win::DWORD sectors = 0, bytes = 0, free_clusters = 0, total = 0;
    if (win::GetDiskFreeSpaceW(root.c_str(), &sectors, &bytes, &free_clusters, &total) == win::FALSE) return 0;
    return static_cast<std::int64_t>(total - free_clusters) * sectors * bytes;
  }
  return WalkFolder(win::Utf16ToUtf8(folder), recurse);
}

void WideMessageBox(win::HWND Window, const std::u16string& Caption, const std::u16string& Text) {
  win::MessageBoxW(Window, Text.c_str(), Caption.c_str(), win::MB_ICONEXCLAMATION | win::MB_OK);
}

}  // namespace dashtune::common
