#include "platform/user/system_metrics.h"

#include "platform/gdi/dc_access.h"

#include <iterator>

namespace win {

namespace {

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

// Colours of the classic scheme, by COLOR_ index.
constexpr COLORREF kSystemColors[] = {
    RGB(192, 192, 192),  // COLOR_SCROLLBAR
    RGB(0, 128, 128),    // COLOR_BACKGROUND
    RGB(0, 0, 128),      // COLOR_ACTIVECAPTION
    RGB(128, 128, 128),  // COLOR_INACTIVECAPTION
    RGB(192, 192, 192),  // COLOR_MENU
    RGB(255, 255, 255),  // COLOR_WINDOW
    RGB(0, 0, 0),        // COLOR_WINDOWFRAME
    RGB(0, 0, 0),        // COLOR_MENUTEXT
    RGB(0, 0, 0),        // COLOR_WINDOWTEXT
    RGB(255, 255, 255),  // COLOR_CAPTIONTEXT
    RGB(192, 192, 192),  // COLOR_ACTIVEBORDER
    RGB(192, 192, 192),  // COLOR_INACTIVEBORDER
    RGB(128, 128, 128),  // COLOR_APPWORKSPACE
    RGB(0, 0, 128),      // COLOR_HIGHLIGHT
    RGB(255, 255, 255),  // COLOR_HIGHLIGHTTEXT
    RGB(192, 192, 192),  // COLOR_BTNFACE
    RGB(128, 128, 128),  // COLOR_BTNSHADOW
    RGB(128, 128, 128),  // COLOR_GRAYTEXT
    RGB(0, 0, 0),        // COLOR_BTNTEXT
    RGB(192, 192, 192),  // COLOR_INACTIVECAPTIONTEXT
    RGB(255, 255, 255),  // COLOR_BTNHIGHLIGHT
    RGB(0, 0, 0),        // COLOR_3DDKSHADOW
    RGB(223, 223, 223),  // COLOR_3DLIGHT
    RGB(0, 0, 0),        // COLOR_INFOTEXT
    RGB(255, 255, 225),  // COLOR_INFOBK
    RGB(192, 192, 192),  // 25, unused
    RGB(0, 0, 255),      // COLOR_HOTLIGHT
    RGB(16, 132, 208),   // COLOR_GRADIENTACTIVECAPTION
    RGB(181, 181, 181),  // COLOR_GRADIENTINACTIVECAPTION
    RGB(0, 0, 128),      // COLOR_MENUHILIGHT
    RGB(192, 192, 192),  // COLOR_MENUBAR
};

COLORREF SystemColourForRaster(int index) { return GetSysColor(index); }

// The raster engine draws edges and focus rectangles in these colours too.
const bool raster_colours_installed = [] {
  gdi::SetSystemColourSource(SystemColourForRaster);
  return true;
}();

}  // namespace

INT GetSystemMetrics(INT index) {
  switch (index) {
    case SM_CXSCREEN:
    case SM_CXFULLSCREEN:
    case SM_CXVIRTUALSCREEN:
      return gdi::GetVirtualScreen().width;
    case SM_CYSCREEN:
    case SM_CYVIRTUALSCREEN:
      return gdi::GetVirtualScreen().height;
    case SM_CYFULLSCREEN:
      return gdi::GetVirtualScreen().height - GetSystemMetrics(SM_CYCAPTION);
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

}  // namespace win
