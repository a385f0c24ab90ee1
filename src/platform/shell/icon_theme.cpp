// GLib is included only here: its TRUE and FALSE would clash with the platform's.
#include "platform/shell/icon_theme.h"

#include <glib.h>
#include <png.h>
#include <sys/stat.h>

#include <memory>

namespace win::icon_theme {
namespace {

constexpr const char* kThemes[] = {"Adwaita", "hicolor"};
// Icons bigger than this are no file-list icons.
constexpr int kMaxIconSide = 256;

bool IsFile(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

std::string IconsBelow(std::string data_dir) {
  while (data_dir.size() > 1 && data_dir.back() == '/') data_dir.pop_back();
  return data_dir + "/icons";
}

std::vector<std::string> IconBaseFolders() {
  std::vector<std::string> bases{IconsBelow(g_get_user_data_dir())};
  for (const gchar* const* dir = g_get_system_data_dirs(); *dir != nullptr; ++dir) bases.push_back(IconsBelow(*dir));
  return bases;
}

// The theme's sub-folders of fixed (or threshold) size `size`, from its index.theme.
std::vector<std::string> FoldersOfSize(const std::string& theme_folder, int size) {
  std::vector<std::string> folders;
  std::unique_ptr<GKeyFile, void (*)(GKeyFile*)> index(g_key_file_new(), g_key_file_free);
  if (!g_key_file_load_from_file(index.get(), (theme_folder + "/index.theme").c_str(), G_KEY_FILE_NONE, nullptr))
    return folders;
  // Icon themes separate list entries with commas.
  g_key_file_set_list_separator(index.get(), ',');
  gsize count = 0;
  std::unique_ptr<gchar*, void (*)(gchar**)> directories(
      g_key_file_get_string_list(index.get(), "Icon Theme", "Directories", &count, nullptr), g_strfreev);
  for (gsize i = 0; directories != nullptr && i < count; ++i) {
    const char* group = directories.get()[i];
    const int dir_size = g_key_file_get_integer(index.get(), group, "Size", nullptr);
    const int scale = g_key_file_has_key(index.get(), group, "Scale", nullptr)
                          ? g_key_file_get_integer(index.get(), group, "Scale", nullptr)
                          : 1;
    std::unique_ptr<gchar, void (*)(void*)> type(g_key_file_get_string(index.get(), group, "Type", nullptr), g_free);
    const bool scalable = type != nullptr && std::string(type.get()) == "Scalable";
    if (dir_size == size && scale == 1 && !scalable) folders.emplace_back(group);
  }
  return folders;
}

}  // namespace

std::string FindIcon(const std::vector<std::string>& names, int size) {
  const std::vector<std::string> bases = IconBaseFolders();
  for (const char* theme : kThemes) {
    for (const std::string& base : bases) {
      const std::string theme_folder = base + "/" + theme;
      for (const std::string& folder : FoldersOfSize(theme_folder, size))
        for (const std::string& name : names) {
          if (name.empty() || name.find('/') != std::string::npos) continue;
          const std::string path = theme_folder + "/" + folder + "/" + name + ".png";
          if (IsFile(path)) return path;
        }
    }
  }
  return {};
}

bool DecodePng(const std::string& path, Pixels& pixels) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, path.c_str())) return false;
  if (image.width == 0 || image.height == 0 || image.width > kMaxIconSide || image.height > kMaxIconSide) {
    png_image_free(&image);
    return false;
  }
  image.format = PNG_FORMAT_BGRA;
  pixels.width = static_cast<int>(image.width);
  pixels.height = static_cast<int>(image.height);
  pixels.bgra.assign(PNG_IMAGE_SIZE(image), 0);
  if (!png_image_finish_read(&image, nullptr, pixels.bgra.data(), 0, nullptr)) return false;
  for (std::size_t i = 0; i + 3 < pixels.bgra.size(); i += 4) {
    const unsigned alpha = pixels.bgra[i + 3];
    for (std::size_t c = 0; c < 3; ++c) pixels.bgra[i + c] = static_cast<std::uint8_t>((pixels.bgra[i + c] * alpha + 127) / 255);
  }
  return true;
}

}  // namespace win::icon_theme
