// What the shell's paste, link and delete verbs do to files, with GIO: copy, move, link and
// trash, never overwriting anything.
#pragma once

#include "platform/core/types.h"

#include <optional>
#include <string>

namespace win::file_operations {

enum class Transfer { Copy, Move, Link };

// The name a second, third... item of the same name gets: "x (2).txt", "dir (2)", ".profile (2)".
std::string NumberedName(const std::string& name, bool is_folder, int number);

// Puts the file or folder at `source` into `folder` under its own name, or the first free
// numbered name when that is taken. Copies and moves take symbolic links as links (never their
// targets) and walk folders themselves; a copy is made under a temporary name and renamed into
// place only when whole, so a failure never touches what was there before. A move across file
// systems copies so and then removes the source; a folder holding a mount point is refused
// there (ERROR_NOT_SAME_DEVICE) before anything is touched. Fifos, sockets and devices are never
// copied or moved (ERROR_NOT_SUPPORTED). A folder never goes into itself or below itself, under
// any path (ERROR_INVALID_PARAMETER, told by device and inode before anything is copied); moving
// an item into the folder it already lies in changes nothing. Answers the new path; nothing with
// `error` set on failure.
std::optional<std::string> TransferInto(const std::string& source, const std::string& folder, Transfer how,
                                        DWORD& error);

// Moves a file or folder to its file system's trash: the info file is written whole first, and
// the file moves only then, never replacing a trashed file. False, with the file left where it
// is, when its file system offers no trash or its name leaves no room for the info file's.
bool MoveToTrash(const std::string& path, DWORD& error);

// Deletes a trashed file (a folder with what it holds, links not followed), then its info file.
// `files_path` must lie directly in a trash's "files" folder. What is mounted inside stays whole,
// and so does the entry with its info file (ERROR_DIR_NOT_EMPTY).
bool RemoveTrashEntry(const std::string& files_path, DWORD& error);

}  // namespace win::file_operations
