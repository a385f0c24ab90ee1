// The applications GIO knows for a content type (from the .desktop files and mimeapps.list of
// the XDG folders), and the command lines that open a file with them. No GLib types here.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace win::applications {

struct Application {
  std::string id;    // the desktop file's id ("viewer.desktop")
  std::string name;  // its display name
};

// The content type of a file by its name ("image/png"); "inode/directory" for folders.
std::string ContentTypeOf(const std::string& path, bool is_folder);

// The default application for a content type (g_app_info_get_default_for_type).
std::optional<Application> DefaultFor(const std::string& content_type);
// The applications recommended for it (g_app_info_get_recommended_for_type), in GIO's order.
std::vector<Application> RecommendedFor(const std::string& content_type);

// The command that opens `path` with the application: its Exec line split and its field codes
// expanded by the Desktop Entry rules, the file in place of %f and %F, its URI in place of %u
// and %U. Nothing when the application is unknown or its Exec line is invalid.
std::optional<std::vector<std::string>> CommandFor(const std::string& application_id, const std::string& path);

// Splits a parameter text as the shell does (g_shell_parse_argv); empty text gives nothing.
// Nothing when the text does not parse (an open quote).
std::optional<std::vector<std::string>> SplitArguments(const std::string& text);

}  // namespace win::applications
