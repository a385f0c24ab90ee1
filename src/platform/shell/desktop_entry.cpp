// GLib is included only here: its TRUE and FALSE would clash with the platform's.
#include "platform/shell/desktop_entry.h"

#include <fcntl.h>
#include <glib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <memory>

namespace win::desktop_entry {
namespace {

constexpr std::string_view kGroup = "Desktop Entry";
constexpr std::string_view kFileUrl = "file://";
constexpr std::string_view kBlanks = " \t\r";
// Characters an Exec argument may hold only inside quotes (the space separates arguments).
constexpr std::string_view kReserved = "\t\n\"'\\><~|&;$*?#()`";
// Characters that a backslash must precede inside quotes.
constexpr std::string_view kEscapedInQuotes = "\"`$\\";
constexpr std::string_view kDefaultPath = "/usr/local/bin:/usr/bin:/bin";

struct Descriptor {
  int fd;
  ~Descriptor() {
    if (fd >= 0) close(fd);
  }
};

// ---- Key file ----

struct Entry {
  std::string key;    // with its locale, as in "Name[de]"
  std::string value;  // as written, escapes still in
};

struct Group {
  std::string name;
  std::vector<Entry> entries;
};

std::string_view Trimmed(std::string_view text) {
  const std::size_t first = text.find_first_not_of(kBlanks);
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(kBlanks) - first + 1);
}

std::string LineError(std::size_t line, const std::string& what) { return "line " + std::to_string(line) + ": " + what; }

bool IsValidGroupName(std::string_view name) {
  if (name.empty()) return false;
  for (const char c : name)
    if (c == '[' || c == ']' || static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return false;
  return true;
}

// A key is letters, digits and dashes, with an optional "[locale]" after it.
bool IsValidKey(std::string_view key) {
  std::size_t i = 0;
  while (i < key.size() && (g_ascii_isalnum(key[i]) || key[i] == '-')) ++i;
  if (i == 0) return false;
  if (i == key.size()) return true;
  if (key[i] != '[' || key.back() != ']' || i + 2 >= key.size()) return false;
  for (std::size_t j = i + 1; j + 1 < key.size(); ++j)
    if (!g_ascii_isalnum(key[j]) && std::string_view("_.@-").find(key[j]) == std::string_view::npos) return false;
  return true;
}

// The groups of a key file; a group or a key given twice makes the file invalid.
std::optional<std::vector<Group>> ReadGroups(std::string_view text, std::string& error) {
  std::vector<Group> groups;
  std::size_t number = 0;
  for (std::size_t start = 0; start < text.size();) {
    const std::size_t end = std::min(text.find('\n', start), text.size());
    const std::string_view line = Trimmed(text.substr(start, end - start));
    start = end + 1;
    ++number;
    if (line.empty() || line.front() == '#') continue;
    if (line.front() == '[') {
      const std::string_view name = line.substr(1, line.size() - 1 - (line.back() == ']' ? 1 : 0));
      if (line.back() != ']' || !IsValidGroupName(name)) {
        error = LineError(number, "invalid group header");
        return std::nullopt;
      }
      for (const Group& group : groups)
        if (group.name == name) {
          error = LineError(number, "the group [" + std::string(name) + "] appears twice");
          return std::nullopt;
        }
      groups.push_back({std::string(name), {}});
      continue;
    }
    const std::size_t equals = line.find('=');
    if (equals == std::string_view::npos) {
      error = LineError(number, "neither a group, a key nor a comment");
      return std::nullopt;
    }
    if (groups.empty()) {
      error = LineError(number, "a key before the first group");
      return std::nullopt;
    }
    const std::string key(Trimmed(line.substr(0, equals)));
    if (!IsValidKey(key)) {
      error = LineError(number, "invalid key \"" + key + "\"");
      return std::nullopt;
    }
    Group& group = groups.back();
    for (const Entry& entry : group.entries)
      if (entry.key == key) {
        error = LineError(number, "the key " + key + " appears twice in [" + group.name + "]");
        return std::nullopt;
      }
    group.entries.push_back({key, std::string(Trimmed(line.substr(equals + 1)))});
  }
  return groups;
}

// A string value without its escapes: \s \n \t \r \\ stand for their characters; any other
// backslash stays as written, for the Exec line's own quoting to judge.
std::string Unescaped(std::string_view value) {
  std::string out;
  out.reserve(value.size());
  for (std::size_t i = 0; i < value.size(); ++i) {
    if (value[i] != '\\' || i + 1 == value.size()) {
      out.push_back(value[i]);
      continue;
    }
    switch (value[i + 1]) {
      case 's': out.push_back(' '); break;
      case 'n': out.push_back('\n'); break;
      case 't': out.push_back('\t'); break;
      case 'r': out.push_back('\r'); break;
      case '\\': out.push_back('\\'); break;
      default: out.append(value.substr(i, 2)); break;
    }
    ++i;
  }
  return out;
}

const Group* FindGroup(const std::vector<Group>& groups, std::string_view name) {
  for (const Group& group : groups)
    if (group.name == name) return &group;
  return nullptr;
}

std::optional<std::string> Value(const Group& group, std::string_view key) {
  for (const Entry& entry : group.entries)
    if (entry.key == key) return Unescaped(entry.value);
  return std::nullopt;
}

std::string StringKey(const Group& group, std::string_view key) { return Value(group, key).value_or(std::string()); }

// The user's message locale as the lookups to try, most specific first: lang_COUNTRY@MODIFIER,
// lang_COUNTRY, lang@MODIFIER, lang (the encoding is never part of a key).
std::vector<std::string> LocaleLookups() {
  std::string locale;
  for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"})
    if (const char* value = std::getenv(variable); value != nullptr && *value != '\0') {
      locale = value;
      break;
    }
  if (locale.empty() || locale == "C" || locale == "POSIX") return {};
  std::string modifier;
  if (const std::size_t at = locale.find('@'); at != std::string::npos) {
    modifier = locale.substr(at);
    locale.erase(at);
  }
  if (const std::size_t dot = locale.find('.'); dot != std::string::npos) locale.erase(dot);
  const std::size_t underscore = locale.find('_');
  const std::string lang = locale.substr(0, underscore);
  std::vector<std::string> lookups;
  if (underscore != std::string::npos) {
    if (!modifier.empty()) lookups.push_back(locale + modifier);
    lookups.push_back(locale);
  }
  if (!modifier.empty()) lookups.push_back(lang + modifier);
  lookups.push_back(lang);
  return lookups;
}

std::string LocalizedKey(const Group& group, std::string_view key) {
  for (const std::string& locale : LocaleLookups())
    if (std::optional<std::string> value = Value(group, std::string(key) + "[" + locale + "]")) return *value;
  return StringKey(group, key);
}

// A whole number in decimal or "0x" hexadecimal within [low, high]; nothing otherwise.
std::optional<long> NumberKey(const Group& group, std::string_view key, long low, long high) {
  const std::string text = StringKey(group, key);
  if (text.empty()) return std::nullopt;
  char* end = nullptr;
  errno = 0;
  const long value = std::strtol(text.c_str(), &end, 0);
  if (errno != 0 || end == text.c_str() || *end != '\0' || value < low || value > high) return std::nullopt;
  return value;
}

// ---- Exec line ----

std::string CharacterName(char c) { return c == '\n' ? "a newline" : c == '\t' ? "a tab" : std::string("'") + c + "'"; }

// Splits at spaces; an argument is quoted in whole or not at all.
std::optional<std::vector<std::string>> SplitExec(std::string_view exec, std::string& error) {
  std::vector<std::string> arguments;
  std::size_t i = 0;
  for (;;) {
    while (i < exec.size() && exec[i] == ' ') ++i;
    if (i == exec.size()) return arguments;
    std::string argument;
    if (exec[i] == '"') {
      for (++i;; ++i) {
        if (i == exec.size()) {
          error = "a quoted argument is not closed";
          return std::nullopt;
        }
        const char c = exec[i];
        if (c == '"') break;
        if (c == '\\') {
          if (i + 1 == exec.size() || kEscapedInQuotes.find(exec[i + 1]) == std::string_view::npos) {
            error = "a backslash inside quotes may only precede '\"', '`', '$' or '\\'";
            return std::nullopt;
          }
          argument.push_back(exec[++i]);
          continue;
        }
        if (c == '`' || c == '$') {
          error = CharacterName(c) + " inside quotes must be escaped with a backslash";
          return std::nullopt;
        }
        argument.push_back(c);
      }
      ++i;
      if (i < exec.size() && exec[i] != ' ') {
        error = "an argument must be quoted in whole";
        return std::nullopt;
      }
    } else {
      for (; i < exec.size() && exec[i] != ' '; ++i) {
        if (kReserved.find(exec[i]) != std::string_view::npos) {
          error = CharacterName(exec[i]) + " must be quoted";
          return std::nullopt;
        }
        argument.push_back(exec[i]);
      }
    }
    arguments.push_back(std::move(argument));
  }
}

bool IsFileCode(char code) { return code == 'f' || code == 'F' || code == 'u' || code == 'U'; }
bool IsDeprecatedCode(char code) { return std::string_view("dDnNvm").find(code) != std::string_view::npos; }
bool IsListCode(char code) { return code == 'F' || code == 'U' || code == 'i'; }

std::string First(const std::vector<std::string>& values) { return values.empty() ? std::string() : values.front(); }

// Expands one argument into `out`; codes that stand alone and have nothing to give drop it.
bool ExpandArgument(const std::string& argument, const FieldValues& values, std::vector<std::string>& out,
                    int& file_codes, std::string& error) {
  if (argument.size() == 2 && argument[0] == '%' && argument[1] != '%') {
    const char code = argument[1];
    if (IsFileCode(code)) ++file_codes;
    switch (code) {
      case 'F': out.insert(out.end(), values.files.begin(), values.files.end()); return true;
      case 'U': out.insert(out.end(), values.urls.begin(), values.urls.end()); return true;
      case 'i':
        if (!values.icon.empty()) out.insert(out.end(), {"--icon", values.icon});
        return true;
      case 'f':
        if (!values.files.empty()) out.push_back(values.files.front());
        return true;
      case 'u':
        if (!values.urls.empty()) out.push_back(values.urls.front());
        return true;
      default:
        if (IsDeprecatedCode(code)) return true;
        break;
    }
  }
  std::string expanded;
  for (std::size_t i = 0; i < argument.size(); ++i) {
    if (argument[i] != '%') {
      expanded.push_back(argument[i]);
      continue;
    }
    if (++i == argument.size()) {
      error = "a lone '%' ends an argument (a literal one is written \"%%\")";
      return false;
    }
    const char code = argument[i];
    if (IsFileCode(code)) ++file_codes;
    if (IsListCode(code)) {
      error = std::string("the field code %") + code + " must stand alone as an argument";
      return false;
    }
    switch (code) {
      case '%': expanded.push_back('%'); break;
      case 'f': expanded += First(values.files); break;
      case 'u': expanded += First(values.urls); break;
      case 'c': expanded += values.name; break;
      case 'k': expanded += values.location; break;
      default:
        if (!IsDeprecatedCode(code)) {
          error = std::string("unknown field code %") + code;
          return false;
        }
    }
  }
  out.push_back(std::move(expanded));
  return true;
}

// A text that a shell-style split turns back into exactly these arguments.
std::string Joined(const std::vector<std::string>& arguments) {
  std::string text;
  for (const std::string& argument : arguments) {
    if (!text.empty()) text.push_back(' ');
    const bool plain = !argument.empty() && argument.find_first_not_of(
        "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_-+=.,:/@%") == std::string::npos;
    if (plain) {
      text += argument;
      continue;
    }
    text.push_back('"');
    for (const char c : argument) {
      if (kEscapedInQuotes.find(c) != std::string_view::npos) text.push_back('\\');
      text.push_back(c);
    }
    text.push_back('"');
  }
  return text;
}

bool IsExecutableFile(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && access(path.c_str(), X_OK) == 0;
}

bool ReadApplication(const Group& group, const std::string& location, LinkData& link, std::string& error) {
  const std::optional<std::string> exec = Value(group, "Exec");
  if (!exec) {
    error = "an application link has no Exec line";
    return false;
  }
  const FieldValues values{{}, {}, LocalizedKey(group, "Name"), StringKey(group, "Icon"), location};
  std::optional<std::vector<std::string>> argv = ExpandExec(*exec, values, error);
  if (!argv) {
    error = "Exec line: " + error;
    return false;
  }
  const std::string& program = argv->front();
  if (program.find('/') == std::string::npos) link.target = FindInPath(program).value_or(program);
  else link.target = program;
  link.argv.assign(argv->begin() + 1, argv->end());
  link.arguments = Joined(link.argv);
  return true;
}

bool ReadUrl(const Group& group, LinkData& link, std::string& error) {
  const std::string url = StringKey(group, "URL");
  if (url.empty()) {
    error = "a link has no URL";
    return false;
  }
  if (!url.starts_with(kFileUrl)) {
    link.target = url;
    return true;
  }
  std::unique_ptr<gchar, void (*)(void*)> path(g_filename_from_uri(url.c_str(), nullptr, nullptr), g_free);
  if (path == nullptr) {
    error = "the URL \"" + url + "\" names no file";
    return false;
  }
  link.target = path.get();
  return true;
}

}  // namespace

std::optional<std::vector<std::string>> ExpandExec(std::string_view exec, const FieldValues& values, std::string& error) {
  const std::optional<std::vector<std::string>> arguments = SplitExec(exec, error);
  if (!arguments) return std::nullopt;
  if (!arguments->empty() && arguments->front().find('=') != std::string::npos) {
    error = "the program's name holds '='";
    return std::nullopt;
  }
  std::vector<std::string> argv;
  int file_codes = 0;
  for (const std::string& argument : *arguments)
    if (!ExpandArgument(argument, values, argv, file_codes, error)) return std::nullopt;
  if (file_codes > 1) {
    error = "more than one of the field codes %f, %F, %u, %U";
    return std::nullopt;
  }
  if (argv.empty() || argv.front().empty()) {
    error = "it names no program";
    return std::nullopt;
  }
  if (argv.front().find('/') != std::string::npos && argv.front().front() != '/') {
    error = "the program \"" + argv.front() + "\" is neither a plain name nor a full path";
    return std::nullopt;
  }
  return argv;
}

std::optional<LinkData> Parse(std::string_view text, const std::string& location, std::string& error) {
  if (text.size() > kMaxFileSize) {
    error = "the file is too long for a link";
    return std::nullopt;
  }
  if (!g_utf8_validate(text.data(), static_cast<gssize>(text.size()), nullptr)) {
    error = "the file is not UTF-8 text";
    return std::nullopt;
  }
  const std::optional<std::vector<Group>> groups = ReadGroups(text, error);
  if (!groups) return std::nullopt;
  const Group* group = FindGroup(*groups, kGroup);
  if (group == nullptr) {
    error = "the file has no [Desktop Entry] group";
    return std::nullopt;
  }
  LinkData link;
  const std::string type = StringKey(*group, "Type");
  if (type == "Link") {
    link.kind = LinkKind::Link;
    if (!ReadUrl(*group, link, error)) return std::nullopt;
  } else if (type == "Application") {
    link.kind = LinkKind::Application;
    if (!ReadApplication(*group, location, link, error)) return std::nullopt;
  } else {
    error = type.empty() ? "the entry has no Type" : "the type \"" + type + "\" is neither Link nor Application";
    return std::nullopt;
  }
  link.description = StringKey(*group, "Comment");
  link.working_directory = StringKey(*group, "Path");
  link.icon_location = StringKey(*group, "Icon");
  link.icon_index = static_cast<int>(NumberKey(*group, "X-Dashtune-IconIndex", 0, 0x7FFFFFFF).value_or(0));
  link.hot_key = static_cast<WORD>(NumberKey(*group, "X-Dashtune-HotKey", 0, 0xFFFF).value_or(0));
  link.show_command = static_cast<int>(NumberKey(*group, "X-Dashtune-ShowCommand", 0, 0xFFFF).value_or(1));
  return link;
}

std::optional<LinkData> ReadFile(const std::string& path, std::string& error) {
  // Without blocking: a FIFO or a device under a link's name must not stop the caller.
  const Descriptor file{open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY)};
  const int fd = file.fd;
  if (fd < 0) {
    error = "the file cannot be read";
    return std::nullopt;
  }
  struct stat info {};
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    error = "the link is not a regular file";
    return std::nullopt;
  }
  std::string text(kMaxFileSize + 1, '\0');
  std::size_t length = 0;
  while (length < text.size()) {
    const ssize_t count = read(fd, text.data() + length, text.size() - length);
    if (count < 0 && errno == EINTR) continue;
    if (count < 0) {
      error = "the file cannot be read";
      return std::nullopt;
    }
    if (count == 0) break;
    length += static_cast<std::size_t>(count);
  }
  text.resize(length);
  return Parse(text, path, error);
}

std::optional<std::string> FindInPath(const std::string& name) {
  if (name.empty() || name.find('/') != std::string::npos) return std::nullopt;
  const char* variable = std::getenv("PATH");
  const std::string_view folders = variable != nullptr ? std::string_view(variable) : kDefaultPath;
  for (std::size_t start = 0; start <= folders.size();) {
    const std::size_t end = std::min(folders.find(':', start), folders.size());
    const std::string_view folder = folders.substr(start, end - start);
    start = end + 1;
    // An empty entry would mean the current folder, which no link should depend on.
    if (folder.empty()) continue;
    std::string candidate(folder);
    if (!candidate.ends_with('/')) candidate.push_back('/');
    candidate += name;
    if (IsExecutableFile(candidate)) return candidate;
  }
  return std::nullopt;
}

}  // namespace win::desktop_entry
