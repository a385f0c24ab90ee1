// System metrics and colours: fixed tables (the classic colour scheme); the screen size is the
// raster engine's virtual screen.
#pragma once

#include "platform/core/types.h"
#include "platform/gdi/gdi_types.h"  // the colour indexes the raster engine reads too

namespace win {

constexpr INT SM_CXSCREEN = 0;
constexpr INT SM_CYSCREEN = 1;
constexpr INT SM_CXVSCROLL = 2;
constexpr INT SM_CYHSCROLL = 3;
constexpr INT SM_CYCAPTION = 4;
constexpr INT SM_CXBORDER = 5;
constexpr INT SM_CYBORDER = 6;
constexpr INT SM_CXDLGFRAME = 7;
constexpr INT SM_CYDLGFRAME = 8;
constexpr INT SM_CYVTHUMB = 9;
constexpr INT SM_CXHTHUMB = 10;
constexpr INT SM_CXICON = 11;
constexpr INT SM_CYICON = 12;
constexpr INT SM_CXCURSOR = 13;
constexpr INT SM_CYCURSOR = 14;
constexpr INT SM_CYMENU = 15;
constexpr INT SM_CXFULLSCREEN = 16;
constexpr INT SM_CYFULLSCREEN = 17;
constexpr INT SM_CYVSCROLL = 20;
constexpr INT SM_CXHSCROLL = 21;
constexpr INT SM_MOUSEPRESENT = 19;
constexpr INT SM_SWAPBUTTON = 23;
constexpr INT SM_CXMIN = 28;
constexpr INT SM_CYMIN = 29;
constexpr INT SM_CXFRAME = 32;
constexpr INT SM_CYFRAME = 33;
constexpr INT SM_CXDOUBLECLK = 36;
constexpr INT SM_CYDOUBLECLK = 37;
constexpr INT SM_CXEDGE = 45;
constexpr INT SM_CYEDGE = 46;
constexpr INT SM_CXSMICON = 49;
constexpr INT SM_CYSMICON = 50;
constexpr INT SM_CXDRAG = 68;
constexpr INT SM_CYDRAG = 69;
constexpr INT SM_CMOUSEBUTTONS = 43;
constexpr INT SM_MOUSEWHEELPRESENT = 75;
constexpr INT SM_XVIRTUALSCREEN = 76;
constexpr INT SM_YVIRTUALSCREEN = 77;
constexpr INT SM_CXVIRTUALSCREEN = 78;
constexpr INT SM_CYVIRTUALSCREEN = 79;
constexpr INT SM_CMONITORS = 80;
constexpr INT SM_REMOTESESSION = 0x1000;

constexpr INT COLOR_SCROLLBAR = 0;
constexpr INT COLOR_BACKGROUND = 1;
constexpr INT COLOR_ACTIVECAPTION = 2;
constexpr INT COLOR_INACTIVECAPTION = 3;
constexpr INT COLOR_MENU = 4;
constexpr INT COLOR_MENUTEXT = 7;
constexpr INT COLOR_WINDOWTEXT = 8;
constexpr INT COLOR_CAPTIONTEXT = 9;
constexpr INT COLOR_ACTIVEBORDER = 10;
constexpr INT COLOR_INACTIVEBORDER = 11;
constexpr INT COLOR_APPWORKSPACE = 12;
constexpr INT COLOR_HIGHLIGHTTEXT = 14;
constexpr INT COLOR_GRAYTEXT = 17;
constexpr INT COLOR_BTNTEXT = 18;
constexpr INT COLOR_INACTIVECAPTIONTEXT = 19;
constexpr INT COLOR_INFOTEXT = 23;
constexpr INT COLOR_INFOBK = 24;
constexpr INT COLOR_HOTLIGHT = 26;
constexpr INT COLOR_GRADIENTACTIVECAPTION = 27;
constexpr INT COLOR_GRADIENTINACTIVECAPTION = 28;
constexpr INT COLOR_MENUHILIGHT = 29;
constexpr INT COLOR_MENUBAR = 30;
constexpr INT COLOR_DESKTOP = COLOR_BACKGROUND;
constexpr INT COLOR_3DHIGHLIGHT = COLOR_BTNHIGHLIGHT;
constexpr INT COLOR_BTNHILIGHT = COLOR_BTNHIGHLIGHT;

// 0 for an unknown index.
INT GetSystemMetrics(INT index);
// 0 for an unknown index.
DWORD GetSysColor(INT index);

}  // namespace win
