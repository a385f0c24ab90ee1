// The menu chooser that shows a popup menu on screen: a top-most popup window of class "#32768"
// listing the menu's items at the given screen point (kept on the screen), and a local message
// loop on the calling thread until the user decides. A click (button released) on an enabled
// command item picks it; Up, Down and Enter pick from the keyboard. Escape, a button pressed
// outside the menu, losing the mouse capture or the owner window going away pick nothing.
// WM_QUIT ends the loop too, and is posted again for the loop outside.
//
// Items are drawn plain: a command's text, or a separator line. Check and radio marks, the
// default item in bold, greyed disabled items, submenus, breaks and right-to-left menus are not
// drawn; DrawMenuItem is the one place that draws an item, and the place to add them.
#pragma once

#include "platform/core/types.h"

namespace win {

inline constexpr char MENU_WINDOW_CLASSA[] = "#32768";

// A MenuChooser (menus.h): the command picked, 0 for none.
UINT ChooseFromMenuWindow(HMENU menu, POINT position, HWND owner);

}  // namespace win
