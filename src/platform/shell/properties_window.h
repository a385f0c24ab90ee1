// The properties window of shell items: one read-only window of ours, class
// "DashtuneShellProperties", titled "<name> Properties", holding one child window of class
// "DashtuneShellPropertiesLine" per line, whose window text is the line: name, type, location,
// size (for a folder also what it holds), times and permissions of one item, or the count and
// total size of several. Folders and several items are counted afresh from the files when the
// window opens, folders with all they hold, on a worker thread that the window's end cancels and
// waits for; until it is done the lines say so.
#pragma once

#include "platform/shell/namespace_model.h"

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

namespace win::properties_window {

inline constexpr char kWindowClass[] = "DashtuneShellProperties";
inline constexpr char kLineClass[] = "DashtuneShellPropertiesLine";

// A count stops after this many entries, or this many folders deep, and is then marked partial.
inline constexpr std::uint64_t kMaxCountedEntries = 1'000'000;
inline constexpr int kMaxCountedDepth = 128;

struct Totals {
  ULONGLONG bytes = 0;  // of everything but folders, links not followed
  std::uint64_t files = 0;    // what the paths hold: everything but folders...
  std::uint64_t folders = 0;  // ...and folders, the paths themselves not counted
  bool complete = true;  // false when a bound, a cancellation or an unreadable folder cut it short
};

// Counts the paths and, for folders, all they hold; at most `max_entries` entries. A file or
// folder reached again (a hard link, a folder mounted inside itself) counts once. Stops, partial,
// as soon as `cancelled` is set.
Totals Count(const std::vector<std::string>& paths, std::uint64_t max_entries, const std::atomic<bool>& cancelled);

// The lines the window shows for the items; the lines of a count (a folder's size and contents,
// several items' total) are made from `totals`, and say that they are counting without them.
std::vector<std::string> LinesFor(const std::vector<shell_model::Item>& items, const Totals* totals = nullptr);

// Shows a new window for the items on the calling thread (owned by `owner` when given; it
// destroys itself when closed). False for no items or when the window cannot be made.
bool Show(const std::vector<shell_model::Item>& items, HWND owner);

}  // namespace win::properties_window
