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
// targets) and walk folders themselves; a move across file systems copies and then removes the
// source. A folder never goes into itself or below itself; moving an item into the folder it
// already lies in changes nothing. Answers the new path; nothing with `error` set on failure.
std::optional<std::string> TransferInto(const std::string& source, const std::string& folder, Transfer how,
                                        DWORD& error);

// Moves a file or folder to the trash (g_file_trash, no daemon needed). False, with the file left
// where it is, when its file system offers no trash.
bool MoveToTrash(const std::string& path, DWORD& error);

// Deletes a trashed file (a folder with what it holds, links not followed), then its info file.
// `files_path` must lie directly in a trash's "files" folder.
bool RemoveTrashEntry(const std::string& files_path, DWORD& error);

}  // namespace win::file_operations
