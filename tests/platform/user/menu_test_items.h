// Building menus item by item for the menu tests.
#pragma once

#include "platform/user/menus.h"

#include <string>

namespace dashtune::testing {

// Appends an item with the given MFT_ type and MFS_ state; `submenu` makes it a submenu item.
inline bool AddMenuItem(win::HMENU menu, const char16_t* text, win::UINT id, win::UINT type, win::UINT state,
                        win::HMENU submenu = nullptr) {
  std::u16string copy = text;
  win::MENUITEMINFOW info;
  info.fMask = win::MIIM_FTYPE | win::MIIM_STATE | win::MIIM_ID | win::MIIM_STRING | win::MIIM_SUBMENU;
  info.fType = type;
  info.fState = state;
  info.wID = id;
  info.hSubMenu = submenu;
  info.dwTypeData = copy.data();
  return win::InsertMenuItemW(menu, static_cast<win::UINT>(win::GetMenuItemCount(menu)), win::TRUE, &info) != win::FALSE;
}

}  // namespace dashtune::testing
