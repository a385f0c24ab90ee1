// The module table: the platform's modules and their exports by name and ordinal, as
// GetModuleHandleA and GetProcAddress find them. A module counts as loaded as soon as any area
// registers an export of it.
#pragma once

#include "platform/core/types.h"

#include <string_view>

namespace win {

using FARPROC = void (*)();

// The module registered under `name` (ASCII case ignored, ".dll" optional), or null with
// ERROR_MOD_NOT_FOUND.
HMODULE GetModuleHandleA(LPCSTR name);
// Modules are built in: loading one is finding it.
HMODULE LoadLibraryA(LPCSTR name);
// An export by name, or by ordinal when `name`'s value is at most 0xFFFF (MAKEINTRESOURCE);
// null with ERROR_PROC_NOT_FOUND when there is none.
FARPROC GetProcAddress(HMODULE module, LPCSTR name);

constexpr DWORD ERROR_MOD_NOT_FOUND = 126;
constexpr DWORD ERROR_PROC_NOT_FOUND = 127;

inline LPCSTR MAKEINTRESOURCEA(WORD ordinal) {
  return reinterpret_cast<LPCSTR>(static_cast<UINT_PTR>(ordinal));
}

// Makes a module known (loaded) without exports of its own.
void RegisterModule(std::string_view module);

// Adds (or replaces) an export; `name` may be empty for exports known only by ordinal, and
// `ordinal` 0 for exports known only by name.
void RegisterModuleExport(std::string_view module, std::string_view name, WORD ordinal, FARPROC proc);

// Tests only: hides an export (by ordinal) from GetProcAddress until shown again.
void SetModuleExportHiddenForTesting(std::string_view module, WORD ordinal, bool hidden);

}  // namespace win
