// Links are FreeDesktop ".desktop" files: the key file reader, the Exec line's quoting and field
// codes, and what the link object reads from one. No GLib types here.
#pragma once

#include "platform/core/types.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace win::desktop_entry {

// Link files are a few lines; anything longer is not one.
inline constexpr std::size_t kMaxFileSize = 256 * 1024;

enum class LinkKind { Application, Link };

struct LinkData {
  LinkKind kind = LinkKind::Link;
  std::string target;                 // Link: the URL (a file:// URL as its path); Application: the program,
                                      // found in PATH when the Exec line names it without a folder
  std::vector<std::string> argv;      // Application: the Exec line's arguments after the program, as passed
  std::string arguments;              // argv as one text that splits back into exactly those arguments
  std::string description;            // Comment
  std::string working_directory;      // Path
  std::string icon_location;          // Icon
  int icon_index = 0;                 // X-Dashtune-IconIndex
  WORD hot_key = 0;                   // X-Dashtune-HotKey: virtual key in the low byte, HOTKEYF_ bits in the high byte
  int show_command = 1;               // X-Dashtune-ShowCommand, SW_ value
};

// What an Exec line's field codes stand for when it is run.
struct FieldValues {
  std::vector<std::string> files;  // %f (the first), %F (each)
  std::vector<std::string> urls;   // %u (the first), %U (each)
  std::string name;                // %c: the entry's name in the user's language
  std::string icon;                // %i: "--icon" and this, nothing when empty
  std::string location;            // %k: the entry's own file
};

// The argument vector of an Exec line (already freed of the key file's escapes): split at
// spaces, quoted arguments unquoted, field codes expanded. Nothing, with the reason in `error`,
// for a line the rules make invalid: an open quote, a reserved character outside quotes, an
// unknown field code, more than one file code, or no program.
std::optional<std::vector<std::string>> ExpandExec(std::string_view exec, const FieldValues& values, std::string& error);

// Reads the "Desktop Entry" group of a link file's text; `location` is the file's path, for %k.
// Nothing, with the reason in `error`, when the text is no valid key file (a group or a key
// given twice included), has no such group, or its type is neither "Link" with a URL nor
// "Application" with a valid Exec line.
std::optional<LinkData> Parse(std::string_view text, const std::string& location, std::string& error);

// Reads a link file (at most kMaxFileSize bytes) without changing it.
std::optional<LinkData> ReadFile(const std::string& path, std::string& error);

// The program a plain name stands for: the first executable regular file of that name in the
// folders of PATH; nothing when there is none.
std::optional<std::string> FindInPath(const std::string& name);

}  // namespace win::desktop_entry
