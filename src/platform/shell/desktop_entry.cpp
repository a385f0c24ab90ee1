// GLib is included only here: its TRUE and FALSE would clash with the platform's.
#include "platform/shell/desktop_entry.h"

#include <glib.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <vector>

namespace win::desktop_entry {
namespace {

constexpr const char* kGroup = "Desktop Entry";
constexpr std::string_view kFileUrl = "file://";

using KeyFile = std::unique_ptr<GKeyFile, void (*)(GKeyFile*)>;

std::string StringKey(GKeyFile* file, const char* key) {
  std::unique_ptr<gchar, void (*)(void*)> value(g_key_file_get_string(file, kGroup, key, nullptr), g_free);
  return value == nullptr ? std::string() : std::string(value.get());
}

// A whole number in decimal or "0x" hexadecimal within [low, high]; nothing otherwise.
std::optional<long> NumberKey(GKeyFile* file, const char* key, long low, long high) {
  const std::string text = StringKey(file, key);
  if (text.empty()) return std::nullopt;
  char* end = nullptr;
  errno = 0;
  const long value = std::strtol(text.c_str(), &end, 0);
  if (errno != 0 || end == text.c_str() || *end != '\0' || value < low || value > high) return std::nullopt;
  return value;
}

bool IsFieldCode(const std::string& argument) {
  return argument.size() == 2 && argument[0] == '%' && std::string_view("fFuUdDnNickvm").find(argument[1]) != std::string_view::npos;
}

// Drops field codes and turns "%%" into "%".
std::string WithoutFieldCodes(const std::string& argument) {
  std::string out;
  for (std::size_t i = 0; i < argument.size(); ++i) {
    if (argument[i] == '%' && i + 1 < argument.size()) {
      if (argument[i + 1] == '%') out.push_back('%');
      ++i;
      continue;
    }
    out.push_back(argument[i]);
  }
  return out;
}

std::string Quoted(const std::string& argument) {
  if (!argument.empty() && argument.find_first_of(" \t\"") == std::string::npos) return argument;
  std::string quoted = "\"";
  for (char c : argument) {
    if (c == '"' || c == '\\') quoted.push_back('\\');
    quoted.push_back(c);
  }
  return quoted + "\"";
}

bool ReadExec(const std::string& exec, LinkData& link) {
  gint argc = 0;
  gchar** argv = nullptr;
  if (!g_shell_parse_argv(exec.c_str(), &argc, &argv, nullptr)) return false;
  std::unique_ptr<gchar*, void (*)(gchar**)> owner(argv, g_strfreev);
  std::vector<std::string> arguments;
  for (gint i = 0; i < argc; ++i) {
    const std::string argument = argv[i];
    if (IsFieldCode(argument)) continue;
    arguments.push_back(WithoutFieldCodes(argument));
  }
  if (arguments.empty() || arguments.front().empty()) return false;
  std::unique_ptr<gchar, void (*)(void*)> found(
      arguments.front().find('/') == std::string::npos ? g_find_program_in_path(arguments.front().c_str()) : nullptr,
      g_free);
  link.target = found != nullptr ? std::string(found.get()) : arguments.front();
  for (std::size_t i = 1; i < arguments.size(); ++i) {
    if (i > 1) link.arguments += ' ';
    link.arguments += Quoted(arguments[i]);
  }
  return true;
}

bool ReadUrl(const std::string& url, LinkData& link) {
  if (url.empty()) return false;
  if (url.starts_with(kFileUrl)) {
    std::unique_ptr<gchar, void (*)(void*)> path(g_filename_from_uri(url.c_str(), nullptr, nullptr), g_free);
    if (path == nullptr) return false;
    link.target = path.get();
  } else {
    link.target = url;
  }
  return true;
}

}  // namespace

std::optional<LinkData> Parse(std::string_view text) {
  if (text.size() > kMaxFileSize || text.find('\0') != std::string_view::npos) return std::nullopt;
  KeyFile file(g_key_file_new(), g_key_file_free);
  if (!g_key_file_load_from_data(file.get(), text.data(), text.size(), G_KEY_FILE_NONE, nullptr) ||
      !g_key_file_has_group(file.get(), kGroup))
    return std::nullopt;
  LinkData link;
  const std::string type = StringKey(file.get(), "Type");
  if (type == "Link") {
    if (!ReadUrl(StringKey(file.get(), "URL"), link)) return std::nullopt;
  } else if (type == "Application") {
    if (!ReadExec(StringKey(file.get(), "Exec"), link)) return std::nullopt;
  } else {
    return std::nullopt;
  }
  link.description = StringKey(file.get(), "Comment");
  link.working_directory = StringKey(file.get(), "Path");
  link.icon_location = StringKey(file.get(), "Icon");
  link.icon_index = static_cast<int>(NumberKey(file.get(), "X-Dashtune-IconIndex", 0, 0x7FFFFFFF).value_or(0));
  link.hot_key = static_cast<WORD>(NumberKey(file.get(), "X-Dashtune-HotKey", 0, 0xFFFF).value_or(0));
  link.show_command = static_cast<int>(NumberKey(file.get(), "X-Dashtune-ShowCommand", 0, 0xFFFF).value_or(1));
  return link;
}

std::optional<LinkData> ReadFile(const std::string& path) {
  std::ifstream stream(path, std::ios::binary);
  if (!stream) return std::nullopt;
  std::string text(kMaxFileSize + 1, '\0');
  stream.read(text.data(), static_cast<std::streamsize>(text.size()));
  text.resize(static_cast<std::size_t>(stream.gcount()));
  if (text.size() > kMaxFileSize) return std::nullopt;
  return Parse(text);
}

}  // namespace win::desktop_entry
