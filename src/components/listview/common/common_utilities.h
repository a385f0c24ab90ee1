// Drawing services shared by the list view and the shell library: invalidation that leaves
// windowless controls alone, caption text in a limited number of lines, the classic check box
// and radio button, and blending a colour over a 32-bit bitmap.
#pragma once

#include <cstdint>
#include <string>

#include "classlib/controls.h"
#include "classlib/graphics.h"
#include "platform/core/types.h"

namespace dashtune::common {

// Invalidates Rect (nullptr: the whole client area) of Control's window and, with
// ImmediateUpdate, repaints it at once. A control without a window is left alone.
void SafeInvalidateRect(TWinControl* Control, const win::RECT* Rect, bool ImmediateUpdate);

// Flags of DrawCaptionText.
enum TCommonDrawTextFlag : unsigned {
  dtSingleLine = 0x0001,
  dtLeft = 0x0002,
  dtRight = 0x0004,
  dtCenter = 0x0008,
  dtTop = 0x0010,
  dtBottom = 0x0020,
  dtVCenter = 0x0040,
  // Measure instead of drawing: Rect's bottom becomes its top plus the lines' height.
  dtCalcRect = 0x0080,
  // Measuring: Rect's right edge becomes its left plus the widest line.
  dtCalcRectAdjR = 0x0100,
  // Measuring with dtCalcRectAdjR: the narrowed rectangle keeps the horizontal alignment
  // within the width it was given (right-aligned or centred text moves it right).
  dtCalcRectAlign = 0x0200,
  dtEndEllipsis = 0x0400,
  // Multi-line text breaks after the last space that lets a line fit; without it a line takes
  // as many characters as fit.
  dtWordBreak = 0x0800,
};

// Draws Text into Rect in at most Lines lines (-1: no limit; 1 or dtSingleLine: one line), or
// with dtCalcRect measures it into Rect. The last allowed line holds the rest of the text (cut
// with "..." under dtEndEllipsis). Answers the height of the lines.
int DrawCaptionText(win::HDC DC, const std::u16string& Text, win::RECT& Rect, int Lines, unsigned Flags);
// The characters DrawCaptionText has measured since the program started: tests bound the work
// of a layout by it.
std::uint64_t MeasuredCharacters();

// The classic check box and radio button, drawn into Rect with six colours: inner light edge,
// inner dark edge, outer light edge, outer dark edge, face, and interior. Pressed boxes show
// the face colour inside; the mark is black, or the outer dark colour when the interior is the
// face colour (the disabled look).
struct TCommonCheckColors {
  TColor InnerLight, InnerDark, OuterLight, OuterDark, Face, Interior;
};
void DrawCheckBoxClassic(TCanvas* Canvas, const win::RECT& Rect, bool Checked, bool Pressed, const TCommonCheckColors& Colors);
void DrawRadioButtonClassic(TCanvas* Canvas, const win::RECT& Rect, bool Checked, bool Pressed, const TCommonCheckColors& Colors);

// Draws a themed button part; null while no visual styles are active, which is always so here.
using TThemeDrawRoutine = void (*)(win::HDC DC, int Part, int State, const win::RECT& Rect);
extern TThemeDrawRoutine DrawThemeBackgroundRoutine;

// Texts of the blending failures.
inline constexpr char kAlphaBlendBitDepthError[] = "Alpha blending error: bitmap must use 32 bpp.";
inline constexpr char kAlphaBlendNoBitmapError[] = "Alpha blending DC error: no bitmap available.";

class EAlphaBlendError : public Exception {
 public:
  using Exception::Exception;
};

// Blends Color with Alpha (0 to 255) over Rect (logical coordinates of DC) of the 32-bit bitmap
// selected into DC, clipped to the bitmap: each channel becomes
// (colour x alpha + pixel x (255 - alpha) + 127) / 255; the pixel's alpha byte is kept. A DC
// without a bitmap or with one of another depth raises EAlphaBlendError.
void AlphaBlend(win::HDC DC, const win::RECT& Rect, TColor Color, int Alpha);
// Whether the platform can alpha-blend.
bool CanAlphaBlend();

}  // namespace dashtune::common
