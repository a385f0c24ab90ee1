// Where the font files behind every logical font live. Every face name maps to DejaVu Sans, or
// DejaVu Sans Bold for bold weights; the files are searched for once per process.
#pragma once

#include <filesystem>
#include <optional>
#include <string_view>
#include <vector>

namespace win::text {

enum class FontStyle { kRegular, kBold };

// The file name of the face that renders the style ("DejaVuSans.ttf", "DejaVuSans-Bold.ttf").
std::string_view FontFileName(FontStyle style);

// Looks for the file in the given directories in order, then in their subdirectories (a bounded
// walk). Answers nothing when no readable regular file of that name exists.
std::optional<std::filesystem::path> FindFontFile(
    std::string_view file_name, const std::vector<std::filesystem::path>& directories);

// The directories searched by default: $DASHTUNE_FONT_DIR when set, then the places Debian and
// other distributions install the DejaVu fonts.
std::vector<std::filesystem::path> DefaultFontDirectories();

// The located file for a style, searched once per process and remembered.
const std::optional<std::filesystem::path>& LocateFontFile(FontStyle style);

}  // namespace win::text
