// The properties window of shell items: one read-only window of ours, class
// "DashtuneShellProperties", titled "<name> Properties", holding one child window of class
// "DashtuneShellPropertiesLine" per line, whose window text is the line: name, type, location,
// size, times and permissions of one item, or the count and total size of several.
#pragma once

#include "platform/shell/namespace_model.h"

#include <string>
#include <vector>

namespace win::properties_window {

inline constexpr char kWindowClass[] = "DashtuneShellProperties";
inline constexpr char kLineClass[] = "DashtuneShellPropertiesLine";

// The lines the window shows for the items.
std::vector<std::string> LinesFor(const std::vector<shell_model::Item>& items);

// Shows a new window for the items on the calling thread (owned by `owner` when given; it
// destroys itself when closed). False for no items or when the window cannot be made.
bool Show(const std::vector<shell_model::Item>& items, HWND owner);

}  // namespace win::properties_window
