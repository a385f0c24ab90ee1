// Links are FreeDesktop ".desktop" files: what the link object reads from one. No GLib types here.
#pragma once

#include "platform/core/types.h"

#include <optional>
#include <string>
#include <string_view>

namespace win::desktop_entry {

// Link files are a few lines; anything longer is not one.
inline constexpr std::size_t kMaxFileSize = 256 * 1024;

struct LinkData {
  std::string target;             // Type=Link: the URL (a file:// URL as its path); Type=Application: the program
  std::string arguments;          // Exec without the program and its field codes
  std::string description;        // Comment
  std::string working_directory;  // Path
  std::string icon_location;      // Icon
  int icon_index = 0;             // X-Dashtune-IconIndex
  WORD hot_key = 0;               // X-Dashtune-HotKey: virtual key in the low byte, HOTKEYF_ bits in the high byte
  int show_command = 1;           // X-Dashtune-ShowCommand, SW_ value
};

// Reads the "Desktop Entry" group of a link file's text. Nothing when the text is no valid key
// file, has no such group, or its type is neither "Link" with a URL nor "Application" with an
// Exec line that parses.
std::optional<LinkData> Parse(std::string_view text);

// Reads a link file (at most kMaxFileSize bytes) without changing it.
std::optional<LinkData> ReadFile(const std::string& path);

}  // namespace win::desktop_entry
