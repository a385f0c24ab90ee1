// The one walk behind every removal the shell makes: it never leaves the mount the removed item
// lies on, so whatever is mounted inside a folder being removed stays whole.
#pragma once

#include "platform/core/types.h"

#include <string>
#include <vector>

namespace win::removal {

// What a walk could not do: ERROR_SUCCESS when it did everything, else the first reason, and
// the paths that were left (mount points inside, entries that could not be removed).
struct Outcome {
  DWORD error = 0;
  std::vector<std::string> left;

  bool Complete() const { return error == 0; }
};

// Removes the file or folder at `path`, a folder with what it holds; symbolic links are removed,
// never followed. The walk goes from folder to folder through open descriptors, checking each
// folder it enters and each ".." it climbs by device and inode, so a path swapped meanwhile
// cannot lead it elsewhere. A folder on another mount than `path` (and `path` itself when it is
// a mount point) is left whole with every folder above it, as is whatever could not be removed;
// everything else goes; a mount left inside answers ERROR_DIR_NOT_EMPTY. `open_up` first gives
// the owner full rights on each folder, for trees that copies made with their sources' modes.
Outcome RemoveTree(const std::string& path, bool open_up = false);

// The folders at or below `path` on which something is mounted, found by the same walk without
// removing anything (`left` lists them; `error` is ERROR_DIR_NOT_EMPTY when there are some, or
// why the walk failed).
Outcome FindMountsInside(const std::string& path);

}  // namespace win::removal
