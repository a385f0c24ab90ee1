// Menus: popup menus built by the program or by shell extensions, and TrackPopupMenu. Nothing is
// drawn here: which item the user picks is decided by a replaceable chooser (the presenter or a
// test); without one no item is picked, as if the menu were dismissed.
#pragma once

#include "platform/core/types.h"

#include <functional>

namespace win {

constexpr UINT MF_STRING = 0x0000;
constexpr UINT MF_GRAYED = 0x0001;
constexpr UINT MF_DISABLED = 0x0002;
constexpr UINT MF_CHECKED = 0x0008;
constexpr UINT MF_POPUP = 0x0010;
constexpr UINT MF_MENUBARBREAK = 0x0020;
constexpr UINT MF_MENUBREAK = 0x0040;
constexpr UINT MF_SEPARATOR = 0x0800;
constexpr UINT MF_BYCOMMAND = 0x0000;
constexpr UINT MF_BYPOSITION = 0x0400;
constexpr UINT MF_ENABLED = 0x0000;
constexpr UINT MF_UNCHECKED = 0x0000;

constexpr UINT MFT_STRING = 0x0000;
constexpr UINT MFT_MENUBARBREAK = 0x0020;
constexpr UINT MFT_MENUBREAK = 0x0040;
constexpr UINT MFT_RADIOCHECK = 0x0200;
constexpr UINT MFT_SEPARATOR = 0x0800;
constexpr UINT MFT_RIGHTORDER = 0x2000;
constexpr UINT MFT_RIGHTJUSTIFY = 0x4000;
constexpr UINT MFS_GRAYED = 0x0003;
constexpr UINT MFS_DISABLED = MFS_GRAYED;
constexpr UINT MFS_CHECKED = 0x0008;
constexpr UINT MFS_DEFAULT = 0x1000;

constexpr UINT MIIM_STATE = 0x0001;
constexpr UINT MIIM_ID = 0x0002;
constexpr UINT MIIM_SUBMENU = 0x0004;
constexpr UINT MIIM_DATA = 0x0020;
constexpr UINT MIIM_TYPE = 0x0010;
constexpr UINT MIIM_STRING = 0x0040;
constexpr UINT MIIM_FTYPE = 0x0100;

constexpr UINT TPM_LEFTBUTTON = 0x0000;
constexpr UINT TPM_RIGHTBUTTON = 0x0002;
constexpr UINT TPM_NONOTIFY = 0x0080;
constexpr UINT TPM_RETURNCMD = 0x0100;

constexpr UINT WM_INITMENUPOPUP = 0x0117;

struct MENUITEMINFOA {
  UINT cbSize = sizeof(MENUITEMINFOA);
  UINT fMask = 0;
  UINT fType = 0;
  UINT fState = 0;
  UINT wID = 0;
  HMENU hSubMenu = nullptr;
  HBITMAP hbmpChecked = nullptr;
  HBITMAP hbmpUnchecked = nullptr;
  ULONG_PTR dwItemData = 0;
  LPSTR dwTypeData = nullptr;
  UINT cch = 0;
  HBITMAP hbmpItem = nullptr;
};

struct MENUITEMINFOW {
  UINT cbSize = sizeof(MENUITEMINFOW);
  UINT fMask = 0;
  UINT fType = 0;
  UINT fState = 0;
  UINT wID = 0;
  HMENU hSubMenu = nullptr;
  HBITMAP hbmpChecked = nullptr;
  HBITMAP hbmpUnchecked = nullptr;
  ULONG_PTR dwItemData = 0;
  LPWSTR dwTypeData = nullptr;
  UINT cch = 0;
  HBITMAP hbmpItem = nullptr;
};

struct TPMPARAMS {
  UINT cbSize = sizeof(TPMPARAMS);
  RECT rcExclude;
};

HMENU CreatePopupMenu();
HMENU CreateMenu();
// Destroys the menu and the submenus it holds; their handles are never issued again.
BOOL DestroyMenu(HMENU menu);
BOOL IsMenu(HMENU menu);

BOOL AppendMenuA(HMENU menu, UINT flags, UINT_PTR id_or_submenu, LPCSTR text);
BOOL AppendMenuW(HMENU menu, UINT flags, UINT_PTR id_or_submenu, LPCWSTR text);
// Inserts before the item at `item` (a position with by_position, else a command id); a position
// at or past the end appends. A submenu that holds the menu itself is refused.
BOOL InsertMenuItemA(HMENU menu, UINT item, BOOL by_position, const MENUITEMINFOA* info);
BOOL InsertMenuItemW(HMENU menu, UINT item, BOOL by_position, const MENUITEMINFOW* info);
BOOL GetMenuItemInfoA(HMENU menu, UINT item, BOOL by_position, MENUITEMINFOA* info);
BOOL GetMenuItemInfoW(HMENU menu, UINT item, BOOL by_position, MENUITEMINFOW* info);
INT GetMenuItemCount(HMENU menu);  // -1 for a bad menu
UINT GetMenuItemID(HMENU menu, INT position);  // 0xFFFFFFFF for a submenu or a bad position
HMENU GetSubMenu(HMENU menu, INT position);
INT GetMenuStringA(HMENU menu, UINT item, LPSTR buffer, INT size, UINT flags);
// Answer the previous state (MF_CHECKED / MF_GRAYED bits), or 0xFFFFFFFF when there is no item.
DWORD CheckMenuItem(HMENU menu, UINT item, UINT flags);
BOOL EnableMenuItem(HMENU menu, UINT item, UINT flags);
BOOL RemoveMenu(HMENU menu, UINT item, UINT flags);  // keeps a removed submenu
BOOL DeleteMenu(HMENU menu, UINT item, UINT flags);  // destroys a removed submenu

// Sends WM_INITMENUPOPUP to `owner`, asks the chooser for a command and answers it with
// TPM_RETURNCMD (0: none), or posts WM_COMMAND with it to `owner` and answers TRUE. Only an
// enabled command item of the menu or its submenus can be chosen.
BOOL TrackPopupMenuEx(HMENU menu, UINT flags, INT x, INT y, HWND owner, const TPMPARAMS* params);
BOOL TrackPopupMenu(HMENU menu, UINT flags, INT x, INT y, INT reserved, HWND owner, const RECT* rect);

// Picks a command of `menu` shown at screen `position` for `owner`; 0 picks nothing.
using MenuChooser = std::function<UINT(HMENU menu, POINT position, HWND owner)>;
// Installs a chooser (empty: none is ever picked) and answers the one it replaces.
MenuChooser SetMenuChooser(MenuChooser chooser);

}  // namespace win
