#include "platform/user/system_metrics.h"

#include <atomic>

namespace win {

namespace {

std::atomic<INT> screen_width{800};
std::atomic<INT> screen_height{480};

struct Metric {
  INT index;
  INT value;
};

constexpr Metric kFixedMetrics[] = {
    {SM_CXVSCROLL, 17},  {SM_CYHSCROLL, 17},     {SM_CYCAPTION, 26},    {SM_CXBORDER, 1},
    {SM_CYBORDER, 1},    {SM_CXDLGFRAME, 3},     {SM_CYDLGFRAME, 3},    {SM_CYVTHUMB, 17},
    {SM_CXHTHUMB, 17},   {SM_CXICON, 32},        {SM_CYICON, 32},       {SM_CXCURSOR, 32},
    {SM_CYCURSOR, 32},   {SM_CYMENU, 20},        {SM_CYVSCROLL, 17},    {SM_CXHSCROLL, 17},
    {SM_MOUSEPRESENT, 1}, {SM_SWAPBUTTON, 0},    {SM_CXMIN, 112},       {SM_CYMIN, 27},
    {SM_CXFRAME, 4},     {SM_CYFRAME, 4},        {SM_CXDOUBLECLK, 4},   {SM_CYDOUBLECLK, 4},
    {SM_CXEDGE, 2},      {SM_CYEDGE, 2},         {SM_CXSMICON, 16},     {SM_CYSMICON, 16},
    {SM_CXDRAG, 4},      {SM_CYDRAG, 4},         {SM_CMOUSEBUTTONS, 3}, {SM_MOUSEWHEELPRESENT, 1},
    {SM_XVIRTUALSCREEN, 0}, {SM_YVIRTUALSCREEN, 0}, {SM_CMONITORS, 1},  {SM_REMOTESESSION, 0},
};

// Colours of the default scheme, by COLOR_ index.
constexpr COLORREF kSystemColors[] = {
    RGB(212, 208, 200),  // COLOR_SCROLLBAR
    RGB(0, 78, 152),     // COLOR_BACKGROUND
    RGB(0, 84, 227),     // COLOR_ACTIVECAPTION
    RGB(122, 150, 223),  // COLOR_INACTIVECAPTION
    RGB(255, 255, 255),  // COLOR_MENU
    RGB(255, 255, 255),  // COLOR_WINDOW
    RGB(0, 0, 0),        // COLOR_WINDOWFRAME
    RGB(0, 0, 0),        // COLOR_MENUTEXT
    RGB(0, 0, 0),        // COLOR_WINDOWTEXT
    RGB(255, 255, 255),  // COLOR_CAPTIONTEXT
    RGB(212, 208, 200),  // COLOR_ACTIVEBORDER
    RGB(212, 208, 200),  // COLOR_INACTIVEBORDER
    RGB(128, 128, 128),  // COLOR_APPWORKSPACE
    RGB(49, 106, 197),   // COLOR_HIGHLIGHT
    RGB(255, 255, 255),  // COLOR_HIGHLIGHTTEXT
    RGB(236, 233, 216),  // COLOR_BTNFACE
    RGB(172, 168, 153),  // COLOR_BTNSHADOW
    RGB(172, 168, 153),  // COLOR_GRAYTEXT
    RGB(0, 0, 0),        // COLOR_BTNTEXT
    RGB(216, 228, 248),  // COLOR_INACTIVECAPTIONTEXT
    RGB(255, 255, 255),  // COLOR_BTNHIGHLIGHT
    RGB(113, 111, 100),  // COLOR_3DDKSHADOW
    RGB(241, 239, 226),  // COLOR_3DLIGHT
    RGB(0, 0, 0),        // COLOR_INFOTEXT
    RGB(255, 255, 225),  // COLOR_INFOBK
    RGB(181, 181, 181),  // 25, unused
    RGB(0, 0, 128),      // COLOR_HOTLIGHT
    RGB(61, 149, 255),   // COLOR_GRADIENTACTIVECAPTION
    RGB(157, 185, 235),  // COLOR_GRADIENTINACTIVECAPTION
    RGB(49, 106, 197),   // COLOR_MENUHILIGHT
    RGB(236, 233, 216),  // COLOR_MENUBAR
};

}  // namespace

INT GetSystemMetrics(INT index) {
  switch (index) {
    case SM_CXSCREEN:
    case SM_CXFULLSCREEN:
    case SM_CXVIRTUALSCREEN:
      return screen_width.load();
    case SM_CYSCREEN:
    case SM_CYVIRTUALSCREEN:
      return screen_height.load();
    case SM_CYFULLSCREEN:
      return screen_height.load() - GetSystemMetrics(SM_CYCAPTION);
    default:
      break;
  }
  for (const Metric& metric : kFixedMetrics)
    if (metric.index == index) return metric.value;
  return 0;
}

DWORD GetSysColor(INT index) {
  if (index < 0 || index >= static_cast<INT>(std::size(kSystemColors))) return 0;
  return kSystemColors[index];
}

void SetScreenSize(INT width, INT height) {
  if (width <= 0 || height <= 0) return;
  screen_width.store(width);
  screen_height.store(height);
}

}  // namespace win
