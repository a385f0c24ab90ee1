#include "platform/user/menus.h"

#include "platform/core/errors.h"
#include "platform/core/strings.h"
#include "platform/user/messages.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

namespace win {

namespace {

constexpr DWORD ERROR_INVALID_MENU_HANDLE = 1401;
constexpr UINT kNoItem = 0xFFFFFFFF;

struct MenuItem {
  UINT type = MFT_STRING;
  UINT state = 0;
  UINT id = 0;
  HMENU submenu = nullptr;
  ULONG_PTR data = 0;
  std::string text;  // UTF-8
};

struct Menu {
  std::vector<MenuItem> items;
};

struct MenuTable {
  std::mutex mutex;
  std::unordered_map<std::uintptr_t, std::shared_ptr<Menu>> menus;
  std::uintptr_t next_handle = 0x30000;
  MenuChooser chooser;
};

MenuTable& Menus() {
  static MenuTable table;
  return table;
}

using Lock = std::unique_lock<std::mutex>;

std::shared_ptr<Menu> FindMenuLocked(HMENU handle) {
  const auto found = Menus().menus.find(reinterpret_cast<std::uintptr_t>(handle));
  if (found != Menus().menus.end()) return found->second;
  SetLastError(ERROR_INVALID_MENU_HANDLE);
  return nullptr;
}

HMENU NewMenu() {
  Lock lock(Menus().mutex);
  const HMENU handle = reinterpret_cast<HMENU>(Menus().next_handle);
  Menus().next_handle += 4;
  Menus().menus.emplace(reinterpret_cast<std::uintptr_t>(handle), std::make_shared<Menu>());
  return handle;
}

void DestroyLocked(HMENU handle) {
  const auto found = Menus().menus.find(reinterpret_cast<std::uintptr_t>(handle));
  if (found == Menus().menus.end()) return;
  const std::shared_ptr<Menu> menu = found->second;
  Menus().menus.erase(found);
  for (const MenuItem& item : menu->items)
    if (item.submenu != nullptr) DestroyLocked(item.submenu);
}

// The item by position, or by command id searching submenus too; answers its menu and index.
bool LocateLocked(HMENU handle, UINT item, bool by_position, std::shared_ptr<Menu>* menu, std::size_t* index) {
  const std::shared_ptr<Menu> found = FindMenuLocked(handle);
  if (!found) return false;
  if (by_position) {
    if (item >= found->items.size()) return false;
    *menu = found;
    *index = item;
    return true;
  }
  for (std::size_t i = 0; i < found->items.size(); ++i) {
    const MenuItem& candidate = found->items[i];
    if (candidate.submenu == nullptr && candidate.id == item) {
      *menu = found;
      *index = i;
      return true;
    }
    if (candidate.submenu != nullptr && LocateLocked(candidate.submenu, item, false, menu, index)) return true;
  }
  return false;
}

// Whether `inner` is `outer` or lies somewhere inside it (a submenu there would make a cycle).
bool ReachesLocked(HMENU outer, HMENU inner) {
  if (outer == inner) return true;
  const auto found = Menus().menus.find(reinterpret_cast<std::uintptr_t>(outer));
  if (found == Menus().menus.end()) return false;
  for (const MenuItem& item : found->second->items)
    if (item.submenu != nullptr && ReachesLocked(item.submenu, inner)) return true;
  return false;
}

// A submenu must exist and must not hold the menu it goes into.
bool AcceptableSubmenuLocked(HMENU menu, HMENU submenu) {
  if (submenu == nullptr) return true;
  if (!FindMenuLocked(submenu)) return false;
  if (ReachesLocked(submenu, menu)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  return true;
}

MenuItem ItemFromFlags(UINT flags, UINT_PTR id_or_submenu, std::string text) {
  MenuItem item;
  item.type = flags & (MF_SEPARATOR | MF_MENUBREAK | MF_MENUBARBREAK);
  item.state = flags & (MF_GRAYED | MF_DISABLED | MF_CHECKED);
  if (flags & MF_POPUP) {
    item.submenu = reinterpret_cast<HMENU>(id_or_submenu);
  } else {
    item.id = static_cast<UINT>(id_or_submenu);
  }
  item.text = std::move(text);
  return item;
}

BOOL Append(HMENU handle, MenuItem item) {
  Lock lock(Menus().mutex);
  const std::shared_ptr<Menu> menu = FindMenuLocked(handle);
  if (!menu || !AcceptableSubmenuLocked(handle, item.submenu)) return FALSE;
  menu->items.push_back(std::move(item));
  return TRUE;
}

template <class Info>
MenuItem ItemFromInfo(const Info& info, std::string text) {
  MenuItem item;
  if (info.fMask & (MIIM_FTYPE | MIIM_TYPE)) item.type = info.fType;
  if (info.fMask & MIIM_STATE) item.state = info.fState;
  if (info.fMask & MIIM_ID) item.id = info.wID;
  if (info.fMask & MIIM_SUBMENU) item.submenu = info.hSubMenu;
  if (info.fMask & MIIM_DATA) item.data = info.dwItemData;
  item.text = std::move(text);
  return item;
}

BOOL Insert(HMENU handle, UINT position, bool by_position, MenuItem item) {
  Lock lock(Menus().mutex);
  std::shared_ptr<Menu> menu = FindMenuLocked(handle);
  if (!menu || !AcceptableSubmenuLocked(handle, item.submenu)) return FALSE;
  std::size_t index = menu->items.size();
  if (by_position) {
    index = std::min<std::size_t>(position, menu->items.size());
  } else if (!LocateLocked(handle, position, false, &menu, &index)) {
    return FALSE;
  }
  menu->items.insert(menu->items.begin() + static_cast<std::ptrdiff_t>(index), std::move(item));
  return TRUE;
}

// Copies the item's fields that the mask asks for; the text in the caller's form.
template <class Info, class CopyText>
BOOL GetInfo(HMENU handle, UINT item, BOOL by_position, Info* info, CopyText copy_text) {
  if (info == nullptr || info->cbSize != sizeof(Info)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  Lock lock(Menus().mutex);
  std::shared_ptr<Menu> menu;
  std::size_t index = 0;
  if (!LocateLocked(handle, item, by_position != FALSE, &menu, &index)) return FALSE;
  const MenuItem& found = menu->items[index];
  if (info->fMask & (MIIM_FTYPE | MIIM_TYPE)) info->fType = found.type;
  if (info->fMask & MIIM_STATE) info->fState = found.state;
  if (info->fMask & MIIM_ID) info->wID = found.id;
  if (info->fMask & MIIM_SUBMENU) info->hSubMenu = found.submenu;
  if (info->fMask & MIIM_DATA) info->dwItemData = found.data;
  if (info->fMask & (MIIM_STRING | MIIM_TYPE)) copy_text(found.text, info);
  return TRUE;
}

// Whether `id` is an enabled command item of the menu tree.
bool IsChoosableLocked(HMENU handle, UINT id) {
  const std::shared_ptr<Menu> menu = FindMenuLocked(handle);
  if (!menu) return false;
  for (const MenuItem& item : menu->items) {
    if (item.submenu != nullptr) {
      if (!(item.state & MF_GRAYED) && IsChoosableLocked(item.submenu, id)) return true;
      continue;
    }
    if (item.id == id && !(item.type & MFT_SEPARATOR) && !(item.state & (MF_GRAYED | MF_DISABLED))) return true;
  }
  return false;
}

BOOL Detach(HMENU handle, UINT item, UINT flags, bool destroy_submenu) {
  Lock lock(Menus().mutex);
  std::shared_ptr<Menu> menu;
  std::size_t index = 0;
  if (!LocateLocked(handle, item, (flags & MF_BYPOSITION) != 0, &menu, &index)) return FALSE;
  const HMENU submenu = menu->items[index].submenu;
  menu->items.erase(menu->items.begin() + static_cast<std::ptrdiff_t>(index));
  if (destroy_submenu && submenu != nullptr) DestroyLocked(submenu);
  return TRUE;
}

}  // namespace

HMENU CreatePopupMenu() { return NewMenu(); }
HMENU CreateMenu() { return NewMenu(); }

BOOL DestroyMenu(HMENU menu) {
  Lock lock(Menus().mutex);
  if (!FindMenuLocked(menu)) return FALSE;
  DestroyLocked(menu);
  return TRUE;
}

BOOL IsMenu(HMENU menu) {
  Lock lock(Menus().mutex);
  return Menus().menus.count(reinterpret_cast<std::uintptr_t>(menu)) ? TRUE : FALSE;
}

BOOL AppendMenuA(HMENU menu, UINT flags, UINT_PTR id_or_submenu, LPCSTR text) {
  const bool has_text = !(flags & MF_SEPARATOR) && text != nullptr;
  return Append(menu, ItemFromFlags(flags, id_or_submenu, has_text ? std::string(text) : std::string()));
}

BOOL AppendMenuW(HMENU menu, UINT flags, UINT_PTR id_or_submenu, LPCWSTR text) {
  const bool has_text = !(flags & MF_SEPARATOR) && text != nullptr;
  return Append(menu, ItemFromFlags(flags, id_or_submenu, has_text ? Utf16ToUtf8(text) : std::string()));
}

BOOL InsertMenuItemA(HMENU menu, UINT item, BOOL by_position, const MENUITEMINFOA* info) {
  if (info == nullptr || info->cbSize != sizeof(MENUITEMINFOA)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const bool has_text = (info->fMask & (MIIM_STRING | MIIM_TYPE)) && info->dwTypeData && !(info->fType & MFT_SEPARATOR);
  return Insert(menu, item, by_position != FALSE, ItemFromInfo(*info, has_text ? std::string(info->dwTypeData) : ""));
}

BOOL InsertMenuItemW(HMENU menu, UINT item, BOOL by_position, const MENUITEMINFOW* info) {
  if (info == nullptr || info->cbSize != sizeof(MENUITEMINFOW)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const bool has_text = (info->fMask & (MIIM_STRING | MIIM_TYPE)) && info->dwTypeData && !(info->fType & MFT_SEPARATOR);
  return Insert(menu, item, by_position != FALSE, ItemFromInfo(*info, has_text ? Utf16ToUtf8(info->dwTypeData) : ""));
}

BOOL GetMenuItemInfoA(HMENU menu, UINT item, BOOL by_position, MENUITEMINFOA* info) {
  return GetInfo(menu, item, by_position, info, [](const std::string& text, MENUITEMINFOA* out) {
    if (out->dwTypeData != nullptr && out->cch > 0) {
      const std::size_t count = std::min<std::size_t>(text.size(), out->cch - 1);
      std::memcpy(out->dwTypeData, text.data(), count);
      out->dwTypeData[count] = '\0';
    }
    out->cch = static_cast<UINT>(text.size());
  });
}

BOOL GetMenuItemInfoW(HMENU menu, UINT item, BOOL by_position, MENUITEMINFOW* info) {
  return GetInfo(menu, item, by_position, info, [](const std::string& text, MENUITEMINFOW* out) {
    const std::u16string wide = Utf8ToUtf16(text);
    if (out->dwTypeData != nullptr && out->cch > 0) {
      const std::size_t count = std::min<std::size_t>(wide.size(), out->cch - 1);
      std::copy_n(wide.data(), count, out->dwTypeData);
      out->dwTypeData[count] = u'\0';
    }
    out->cch = static_cast<UINT>(wide.size());
  });
}

INT GetMenuItemCount(HMENU handle) {
  Lock lock(Menus().mutex);
  const std::shared_ptr<Menu> menu = FindMenuLocked(handle);
  return menu ? static_cast<INT>(menu->items.size()) : -1;
}

UINT GetMenuItemID(HMENU handle, INT position) {
  Lock lock(Menus().mutex);
  const std::shared_ptr<Menu> menu = FindMenuLocked(handle);
  if (!menu || position < 0 || static_cast<std::size_t>(position) >= menu->items.size()) return kNoItem;
  const MenuItem& item = menu->items[static_cast<std::size_t>(position)];
  return item.submenu ? kNoItem : item.id;
}

HMENU GetSubMenu(HMENU handle, INT position) {
  Lock lock(Menus().mutex);
  const std::shared_ptr<Menu> menu = FindMenuLocked(handle);
  if (!menu || position < 0 || static_cast<std::size_t>(position) >= menu->items.size()) return nullptr;
  return menu->items[static_cast<std::size_t>(position)].submenu;
}

INT GetMenuStringA(HMENU handle, UINT item, LPSTR buffer, INT size, UINT flags) {
  Lock lock(Menus().mutex);
  std::shared_ptr<Menu> menu;
  std::size_t index = 0;
  if (!LocateLocked(handle, item, (flags & MF_BYPOSITION) != 0, &menu, &index)) return 0;
  const std::string& text = menu->items[index].text;
  if (buffer == nullptr || size <= 0) return static_cast<INT>(text.size());
  const std::size_t count = std::min<std::size_t>(text.size(), static_cast<std::size_t>(size) - 1);
  std::memcpy(buffer, text.data(), count);
  buffer[count] = '\0';
  return static_cast<INT>(count);
}

DWORD CheckMenuItem(HMENU handle, UINT item, UINT flags) {
  Lock lock(Menus().mutex);
  std::shared_ptr<Menu> menu;
  std::size_t index = 0;
  if (!LocateLocked(handle, item, (flags & MF_BYPOSITION) != 0, &menu, &index)) return kNoItem;
  UINT& state = menu->items[index].state;
  const DWORD previous = state & MF_CHECKED;
  state = (state & ~MF_CHECKED) | (flags & MF_CHECKED);
  return previous;
}

BOOL EnableMenuItem(HMENU handle, UINT item, UINT flags) {
  Lock lock(Menus().mutex);
  std::shared_ptr<Menu> menu;
  std::size_t index = 0;
  if (!LocateLocked(handle, item, (flags & MF_BYPOSITION) != 0, &menu, &index)) return -1;
  UINT& state = menu->items[index].state;
  const BOOL previous = static_cast<BOOL>(state & (MF_GRAYED | MF_DISABLED));
  state = (state & ~(MF_GRAYED | MF_DISABLED)) | (flags & (MF_GRAYED | MF_DISABLED));
  return previous;
}

BOOL RemoveMenu(HMENU menu, UINT item, UINT flags) { return Detach(menu, item, flags, false); }
BOOL DeleteMenu(HMENU menu, UINT item, UINT flags) { return Detach(menu, item, flags, true); }

BOOL TrackPopupMenuEx(HMENU menu, UINT flags, INT x, INT y, HWND owner, const TPMPARAMS*) {
  MenuChooser chooser;
  {
    Lock lock(Menus().mutex);
    if (!FindMenuLocked(menu)) return FALSE;
    chooser = Menus().chooser;
  }
  if (owner != nullptr && !(flags & TPM_NONOTIFY)) SendMessageA(owner, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(menu), 0);
  UINT chosen = chooser ? chooser(menu, POINT{x, y}, owner) : 0;
  {
    Lock lock(Menus().mutex);
    if (chosen != 0 && !IsChoosableLocked(menu, chosen)) chosen = 0;
  }
  if (flags & TPM_RETURNCMD) return static_cast<BOOL>(chosen);
  if (chosen != 0 && owner != nullptr) PostMessageA(owner, WM_COMMAND, chosen, 0);
  return TRUE;
}

BOOL TrackPopupMenu(HMENU menu, UINT flags, INT x, INT y, INT, HWND owner, const RECT*) {
  return TrackPopupMenuEx(menu, flags, x, y, owner, nullptr);
}

MenuChooser SetMenuChooser(MenuChooser chooser) {
  Lock lock(Menus().mutex);
  return std::exchange(Menus().chooser, std::move(chooser));
}

}  // namespace win
