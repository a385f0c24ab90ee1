// ShellExecuteEx: starting programs, application links, documents and folders.
//
// The item is the path of lpIDList (with SEE_MASK_IDLIST) or lpFile. An executable file starts
// itself with lpParameters split as the shell splits them, in lpDirectory. A ".desktop"
// application link runs the program its Exec line names, which must be an executable file, with
// the Exec line's own arguments exactly as they parse and lpParameters appended, in the link's
// Path when it has one (else lpDirectory); a "Link" type link opens its target as a document or
// folder and never runs it; an invalid link starts nothing (ERROR_BAD_FORMAT). Documents and
// folders go to the program named by $DASHTUNE_OPENER (with the path as its last argument) when it
// is set, otherwise to GIO's default application for their content type. Without an application
// the call fails with SE_ERR_NOASSOC; an argument list too long to start fails with
// ERROR_BAD_ENVIRONMENT. Every failure is shown in a message box saying why, unless
// SEE_MASK_FLAG_NO_UI. SEE_MASK_NOCLOSEPROCESS gives a waitable process handle in hProcess, to be
// closed by the caller; every other child is reaped by the platform when it ends.
#pragma once

#include "platform/shell/shell_types.h"

#include <string_view>

namespace win {

constexpr ULONG SEE_MASK_DEFAULT = 0x00000000;
constexpr ULONG SEE_MASK_CLASSNAME = 0x00000001;
constexpr ULONG SEE_MASK_IDLIST = 0x00000004;
constexpr ULONG SEE_MASK_INVOKEIDLIST = 0x0000000C;
constexpr ULONG SEE_MASK_NOCLOSEPROCESS = 0x00000040;
constexpr ULONG SEE_MASK_NOASYNC = 0x00000100;
constexpr ULONG SEE_MASK_FLAG_NO_UI = 0x00000400;

// hInstApp after a failure (after a success it is above 32).
constexpr INT_PTR SE_ERR_FNF = 2;
constexpr INT_PTR SE_ERR_PNF = 3;
constexpr INT_PTR SE_ERR_ACCESSDENIED = 5;
constexpr INT_PTR SE_ERR_OOM = 8;
constexpr INT_PTR SE_ERR_NOASSOC = 31;
constexpr INT_PTR kShellExecuteSucceeded = 42;

constexpr DWORD ERROR_NO_ASSOCIATION = 1155;

// The environment variable naming the program that opens documents and folders.
inline constexpr std::string_view kOpenerVariable = "DASHTUNE_OPENER";

// The request record; the character type makes the wide and narrow forms.
template <class Char>
struct SHELLEXECUTEINFOT {
  DWORD cbSize = sizeof(SHELLEXECUTEINFOT);
  ULONG fMask = 0;
  HWND hwnd = nullptr;
  const Char* lpVerb = nullptr;
  const Char* lpFile = nullptr;
  const Char* lpParameters = nullptr;
  const Char* lpDirectory = nullptr;
  int nShow = 0;
  HINSTANCE hInstApp = nullptr;
  void* lpIDList = nullptr;
  const Char* lpClass = nullptr;
  HANDLE hkeyClass = nullptr;
  DWORD dwHotKey = 0;
  HANDLE hIcon = nullptr;
  HANDLE hProcess = nullptr;
};
using SHELLEXECUTEINFOW = SHELLEXECUTEINFOT<WCHAR>;
using SHELLEXECUTEINFOA = SHELLEXECUTEINFOT<CHAR>;

// Only the "open" verb (or none) is known; others fail with SE_ERR_NOASSOC.
BOOL ShellExecuteExW(SHELLEXECUTEINFOW* info);
BOOL ShellExecuteExA(SHELLEXECUTEINFOA* info);

namespace shell_execute {
// Opens a file with one application (the context menu's "Open With" items); answers whether it
// started.
bool OpenWith(const std::string& application_id, const std::string& path, const std::string& directory);
}  // namespace shell_execute

}  // namespace win
