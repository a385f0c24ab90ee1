// Shell services of the common units: platform tests, display-name records, drive texts and
// folder sizes.
#pragma once

#include "platform/shell/shell_types.h"

#include <cstdint>
#include <string>

namespace dashtune::common {

// The running platform's family and version.
bool IsWinNT();
bool IsWinNT4OrBelow();
bool IsWin95();

// True when `object` is not nil and answers `iid` with S_OK (the interface lands in `out`).
bool CommonSupports(win::IUnknown* object, const win::IID& iid, void** out);

// "a:" or "A:\" and nothing else.
bool IsDriveString(std::u16string_view path);

// For 'A' to 'Z': whether the drive's free space can be read, with critical-error boxes off
// meanwhile; false for any other character.
bool DiskInDrive(char16_t drive);

// The text of a display-name record: a wide string (freed here through the shell allocator),
// the ANSI text at an offset inside `relative`'s first ID (read no further than that ID), or the
// record's own ANSI text (read no further than the record). False for an unknown type or an
// offset outside the ID.
bool StrRetToString(win::STRRET& record, win::LPCITEMIDLIST relative, std::u16string& text);

// A message box with an exclamation icon and an OK button (the wide form on this platform).
void WideMessageBox(win::HWND Window, const std::u16string& Caption, const std::u16string& Text);

// Bytes below a folder (into sub-folders when `recurse`), links not followed; for a drive root
// the used space of the drive.
std::int64_t CalculateFolderSize(std::u16string_view folder, bool recurse);

}  // namespace dashtune::common
