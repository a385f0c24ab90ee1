// Icon lookup by the FreeDesktop icon-theme rules: PNG files of an exact size in Adwaita, then
// hicolor, below the XDG data folders. No GLib types here.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace win::icon_theme {

// The PNG file of the first name found at `size` pixels, empty when none is.
std::string FindIcon(const std::vector<std::string>& names, int size);

// A PNG file decoded with libpng into premultiplied BGRA rows, top-down.
struct Pixels {
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> bgra;
};
bool DecodePng(const std::string& path, Pixels& pixels);

}  // namespace win::icon_theme
