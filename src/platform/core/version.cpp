#include "platform/core/version.h"

#include "platform/core/errors.h"

#include <algorithm>
#include <iterator>

namespace win {

namespace {

constexpr DWORD kMajor = 5;
constexpr DWORD kMinor = 1;
constexpr DWORD kBuild = 2600;
constexpr char kServicePack[] = "Service Pack 3";

template <class Info>
BOOL FillVersion(Info* info) {
  if (info == nullptr || info->dwOSVersionInfoSize != sizeof(Info)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  info->dwMajorVersion = kMajor;
  info->dwMinorVersion = kMinor;
  info->dwBuildNumber = kBuild;
  info->dwPlatformId = VER_PLATFORM_WIN32_NT;
  std::fill(std::begin(info->szCSDVersion), std::end(info->szCSDVersion), 0);
  std::copy(std::begin(kServicePack), std::end(kServicePack), info->szCSDVersion);
  return TRUE;
}

}  // namespace

BOOL GetVersionExA(OSVERSIONINFOA* info) { return FillVersion(info); }
BOOL GetVersionExW(OSVERSIONINFOW* info) { return FillVersion(info); }

DWORD GetVersion() { return kMajor | (kMinor << 8) | (kBuild << 16); }

}  // namespace win
