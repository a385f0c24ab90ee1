#include "platform/core/strings.h"
#include "platform/gdi/gdi.h"
#include "platform/gdi/image_list.h"
#include "platform/gdi/scoped_gdi.h"
#include "platform/shell/icon_theme.h"
#include "platform/shell/namespace_model.h"
#include "platform/shell/places.h"
#include "platform/shell/shell.h"
#include "platform/shell/trash.h"

#include <cstring>
#include <map>
#include <mutex>

namespace win {
namespace {

constexpr int kSmallIconSize = 16;
constexpr int kLargeIconSize = 32;
// Index 0 is the generic document: what an item without an icon of its own shows.
const std::vector<std::string> kGenericNames{"text-x-generic", "application-x-generic", "unknown"};

struct SystemImageLists {
  std::mutex mutex;
  HIMAGELIST small = nullptr;
  HIMAGELIST large = nullptr;
  std::map<std::string, int> index_of_files;  // "small file|large file" -> index
};

SystemImageLists& Lists() {
  static SystemImageLists lists;
  return lists;
}

HBITMAP BitmapOf(const icon_theme::Pixels& pixels) {
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = pixels.width;
  info.bmiHeader.biHeight = -pixels.height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (bitmap != nullptr) std::memcpy(bits, pixels.bgra.data(), pixels.bgra.size());
  return bitmap;
}

// Adds the icon file (or a transparent square when it cannot be read) to one list.
void AddIcon(HIMAGELIST list, const std::string& file, int size) {
  icon_theme::Pixels pixels;
  if (file.empty() || !icon_theme::DecodePng(file, pixels) || pixels.width != size || pixels.height != size) {
    pixels.width = pixels.height = size;
    pixels.bgra.assign(static_cast<std::size_t>(size) * size * 4, 0);
  }
  const ScopedGdiObject<HBITMAP> bitmap(BitmapOf(pixels));
  ImageList_Add(list, bitmap.Get(), nullptr);
}

int IndexOfNamesLocked(SystemImageLists& lists, const std::vector<std::string>& names) {
  const std::string small_file = icon_theme::FindIcon(names, kSmallIconSize);
  const std::string large_file = icon_theme::FindIcon(names, kLargeIconSize);
  if (small_file.empty() && large_file.empty()) return -1;
  const std::string key = small_file + "|" + large_file;
  if (const auto found = lists.index_of_files.find(key); found != lists.index_of_files.end()) return found->second;
  AddIcon(lists.small, small_file, kSmallIconSize);
  AddIcon(lists.large, large_file, kLargeIconSize);
  const int index = ImageList_GetImageCount(lists.small) - 1;
  lists.index_of_files.emplace(key, index);
  return index;
}

bool TrashHasEntries() {
  std::vector<std::string> mount_paths;
  for (const places::Mount& mount : places::VisibleMounts()) mount_paths.push_back(mount.path);
  return !trash::ListEntries(trash::TrashFolders(places::UserDataDirectory(), mount_paths)).empty();
}

std::vector<std::string> IconNamesOf(const shell_model::Item& item, bool open) {
  using shell_model::Place;
  switch (item.place) {
    case Place::Desktop: return {"user-desktop"};
    case Place::Computer: return {"computer"};
    case Place::Home: return {"user-home", "folder"};
    case Place::Trash: return {TrashHasEntries() ? "user-trash-full" : "user-trash"};
    case Place::Volume: return {item.removable ? "drive-removable-media" : "drive-harddisk"};
    case Place::FileSystem:
    case Place::TrashEntry:
      if (item.id.kind == item_ids::ItemKind::Folder)
        return open ? std::vector<std::string>{"folder-open", "folder"} : std::vector<std::string>{"folder"};
      return places::ContentIconNames(item.id.name, false);
  }
  return {};
}

}  // namespace

BOOL FileIconInit(BOOL) {
  SystemImageLists& lists = Lists();
  std::lock_guard lock(lists.mutex);
  if (lists.small != nullptr) return TRUE;
  lists.small = ImageList_Create(kSmallIconSize, kSmallIconSize, ILC_COLOR32, 16, 16);
  lists.large = ImageList_Create(kLargeIconSize, kLargeIconSize, ILC_COLOR32, 16, 16);
  if (lists.small == nullptr || lists.large == nullptr) return FALSE;
  if (IndexOfNamesLocked(lists, kGenericNames) != 0) {
    AddIcon(lists.small, {}, kSmallIconSize);
    AddIcon(lists.large, {}, kLargeIconSize);
  }
  return TRUE;
}

BOOL Shell_GetImageLists(HIMAGELIST* large, HIMAGELIST* small) {
  SystemImageLists& lists = Lists();
  std::lock_guard lock(lists.mutex);
  if (large != nullptr) *large = lists.large;
  if (small != nullptr) *small = lists.small;
  return lists.small != nullptr ? TRUE : FALSE;
}

int SystemIconIndexOf(LPCITEMIDLIST absolute, bool open) {
  const std::optional<shell_model::Item> item = shell_model::Resolve(absolute);
  if (!item || FileIconInit(TRUE) == FALSE) return 0;
  const std::vector<std::string> names = IconNamesOf(*item, open);
  SystemImageLists& lists = Lists();
  std::lock_guard lock(lists.mutex);
  const int index = IndexOfNamesLocked(lists, names);
  return index < 0 ? 0 : index;
}

}  // namespace win
