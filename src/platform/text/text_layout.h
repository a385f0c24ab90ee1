// Line layout for DrawText, as a pure function of the text, a font's advances and metrics, the
// rectangle and the format flags. Drawing and measuring share it, so a measured rectangle always
// holds what is drawn into it.
//
// The rules:
// - Unless DT_NOPREFIX, "&&" shows one "&", "&x" shows x underlined (DT_HIDEPREFIX: not
//   underlined), and a final lone "&" shows nothing.
// - Unless DT_SINGLELINE, CR LF, LF and CR end a line; a break at the very end adds no line.
//   Control characters are invisible and take no room.
// - DT_EXPANDTABS: a tab moves to the next multiple of eight average character widths.
// - DT_WORDBREAK (multi-line only): lines break after the last space or tab that lets the line
//   fit the rectangle's width; the spaces at a break are dropped. A word wider than the rectangle
//   is broken between characters (at least one per line), unless an ellipsis flag is given: then
//   it keeps its line and gets the ellipsis.
// - DT_END_ELLIPSIS (or DT_WORD_ELLIPSIS): a line wider than the rectangle loses characters at
//   its end until it fits with "..." appended.
// - Horizontal: DT_CENTER places a line at left + (width - line width) / 2 (rounded toward zero),
//   DT_RIGHT at right - line width, otherwise at left. Vertical (single line only, as the
//   platform does): DT_VCENTER at top + (height - line height) / 2, DT_BOTTOM at bottom - line
//   height, otherwise at top; multi-line text starts at the top.
// - Line height: the font's height, plus its external leading with DT_EXTERNALLEADING.
// - DT_CALCRECT: the rectangle keeps its left and top; right becomes left + the widest line and
//   bottom becomes top + the height of all lines (empty text: no lines, an empty rectangle).
// - The result height is the height of all lines; with DT_VCENTER or DT_BOTTOM on a single line
//   it is the distance from the rectangle's top to the bottom of the text.
// - DT_PATH_ELLIPSIS, DT_MODIFYSTRING, DT_EDITCONTROL, DT_INTERNAL and DT_TABSTOP change nothing.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/text/font.h"
#include "platform/text/text_types.h"

namespace win::text {

struct LaidOutLine {
  std::u32string text;        // the characters to draw, ellipsis included
  std::vector<int> advances;  // one per character; tabs hold their expanded advance
  LONG x = 0;                 // the line's cell: top-left corner and width
  LONG y = 0;
  LONG width = 0;
  int underline_index = -1;  // character drawn underlined for a prefix, -1 for none
};

struct TextLayout {
  std::vector<LaidOutLine> lines;
  RECT calculated{};  // the DT_CALCRECT rectangle
  LONG height = 0;    // DrawText's result
};

TextLayout LayoutDrawText(std::u32string_view text, const Font& font, const RECT& rect,
                          UINT format);

}  // namespace win::text
