// The track bar window class "msctls_trackbar32": a horizontal channel with a thumb that marks a
// position within a range. The thumb follows the mouse while the left button holds it (a press
// anywhere on the bar takes the thumb there) and the parent hears each step as WM_HSCROLL.
#pragma once

#include "platform/core/types.h"

namespace win {

inline constexpr char TRACKBAR_CLASSA[] = "msctls_trackbar32";

constexpr UINT TBM_GETPOS = 0x0400;
constexpr UINT TBM_GETRANGEMIN = 0x0401;
constexpr UINT TBM_GETRANGEMAX = 0x0402;
// wParam: TRUE repaints; lParam: the value. Positions are clamped to the range; a new range
// clamps the position.
constexpr UINT TBM_SETPOS = 0x0405;
constexpr UINT TBM_SETRANGE = 0x0406;  // lParam: minimum in the low word, maximum in the high word
constexpr UINT TBM_SETRANGEMIN = 0x0407;
constexpr UINT TBM_SETRANGEMAX = 0x0408;
// lParam: the RECT that receives the thumb's rectangle in client coordinates.
constexpr UINT TBM_GETTHUMBRECT = 0x0419;

// Notification codes in the low word of WM_HSCROLL's wParam (the high word carries the position
// for the first two); lParam is the track bar's window.
constexpr WORD TB_THUMBPOSITION = 4;
constexpr WORD TB_THUMBTRACK = 5;
constexpr WORD TB_ENDTRACK = 8;

// Registers the common control classes (the track bar); later calls do nothing.
void InitCommonControls();

}  // namespace win
