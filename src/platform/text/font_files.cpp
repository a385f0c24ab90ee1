#include "platform/text/font_files.h"

#include <cstdlib>
#include <fstream>
#include <system_error>

namespace win::text {
namespace {

// Deep enough for /usr/share/fonts/truetype/dejavu below /usr/share, shallow enough that a
// misconfigured directory cannot make the search walk a whole file system.
constexpr int kMaxSearchDepth = 4;
constexpr int kMaxEntriesVisited = 20000;

bool IsReadableFile(const std::filesystem::path& path) {
  std::error_code error;
  if (!std::filesystem::is_regular_file(path, error)) return false;
  std::ifstream probe(path, std::ios::binary);
  return probe.good();
}

std::optional<std::filesystem::path> SearchBelow(const std::filesystem::path& directory,
                                                 std::string_view file_name) {
  std::error_code error;
  std::filesystem::recursive_directory_iterator walk(
      directory, std::filesystem::directory_options::skip_permission_denied, error);
  int visited = 0;
  for (const std::filesystem::recursive_directory_iterator end; !error && walk != end;
       walk.increment(error)) {
    if (++visited > kMaxEntriesVisited) break;
    if (walk.depth() >= kMaxSearchDepth) walk.disable_recursion_pending();
    if (walk->path().filename() == file_name && IsReadableFile(walk->path())) return walk->path();
  }
  return std::nullopt;
}

}  // namespace

std::string_view FontFileName(FontStyle style) {
  return style == FontStyle::kBold ? "DejaVuSans-Bold.ttf" : "DejaVuSans.ttf";
}

std::optional<std::filesystem::path> FindFontFile(
    std::string_view file_name, const std::vector<std::filesystem::path>& directories) {
  for (const auto& directory : directories) {
    const auto candidate = directory / file_name;
    if (IsReadableFile(candidate)) return candidate;
  }
  for (const auto& directory : directories) {
    if (auto found = SearchBelow(directory, file_name)) return found;
  }
  return std::nullopt;
}

std::vector<std::filesystem::path> DefaultFontDirectories() {
  std::vector<std::filesystem::path> directories;
  if (const char* configured = std::getenv("DASHTUNE_FONT_DIR"); configured && *configured)
    directories.emplace_back(configured);
  for (const char* known :
       {"/usr/share/fonts/truetype/dejavu", "/usr/share/fonts/dejavu", "/usr/share/fonts/TTF",
        "/usr/share/fonts/truetype", "/usr/local/share/fonts", "/usr/share/fonts"})
    directories.emplace_back(known);
  return directories;
}

const std::optional<std::filesystem::path>& LocateFontFile(FontStyle style) {
  static const std::optional<std::filesystem::path> regular =
      FindFontFile(FontFileName(FontStyle::kRegular), DefaultFontDirectories());
  static const std::optional<std::filesystem::path> bold =
      FindFontFile(FontFileName(FontStyle::kBold), DefaultFontDirectories());
  return style == FontStyle::kBold ? bold : regular;
}

}  // namespace win::text
