// The menu chooser that shows a popup menu on screen: a top-most popup window of class "#32768"
// listing the menu's items at the given screen point (kept on the screen), and a local message
// loop on the calling thread until the user decides. A click (button released) on an enabled
// command item picks it; Up, Down and Enter pick from the keyboard. Escape, a button pressed
// outside the menu, losing the mouse capture or the owner window going away pick nothing.
// WM_QUIT ends the loop too, and is posted again for the loop outside.
//
// Items show what they carry: a check mark (a dot for a radio item), the default item in bold,
// disabled items grey, an arrow on submenus, and a new column from each break (a bar break with
// a line before it). Pointing at a submenu item, Enter or Right opens the submenu beside its menu
// in a window of its own; Left and Escape close it again. A menu whose items read right to left
// (MFT_RIGHTORDER, or MFT_RIGHTJUSTIFY as a right-to-left program menu sets it) is drawn
// mirrored: marks and texts on the right, columns from the right, submenus opening leftwards.
#pragma once

#include "platform/core/types.h"

namespace win {

inline constexpr char MENU_WINDOW_CLASSA[] = "#32768";

// A MenuChooser (menus.h): the command picked, 0 for none.
UINT ChooseFromMenuWindow(HMENU menu, POINT position, HWND owner);

}  // namespace win
