// The text calls: logical fonts as GDI objects realised with FreeType over the DejaVu fonts, text
// metrics, measuring, and drawing antialiased text into device contexts. Narrow forms take UTF-8
// bytes and count bytes; wide forms take UTF-16 and count code units. Every call is safe from
// any thread. Failures answer FALSE, 0 or nullptr.
#pragma once

#include "platform/core/types.h"
#include "platform/gdi/gdi_types.h"
#include "platform/text/text_types.h"

namespace win {

// Records the logical font; it is realised (DejaVu Sans, or Sans Bold from FW_SEMIBOLD up) when
// it is created. GetObject answers the record, SelectObject selects it, DeleteObject frees it.
HFONT CreateFontIndirectA(const LOGFONTA* font);
HFONT CreateFontIndirectW(const LOGFONTW* font);
inline HFONT CreateFontIndirect(const LOGFONTW* font) { return CreateFontIndirectW(font); }

BOOL GetTextMetricsA(HDC dc, TEXTMETRICA* metrics);
BOOL GetTextMetricsW(HDC dc, TEXTMETRICW* metrics);
inline BOOL GetTextMetrics(HDC dc, TEXTMETRICW* metrics) { return GetTextMetricsW(dc, metrics); }

// cx: the sum of the characters' advances; cy: the font's height.
BOOL GetTextExtentPoint32A(HDC dc, LPCSTR text, int count, SIZE* size);
BOOL GetTextExtentPoint32W(HDC dc, LPCWSTR text, int count, SIZE* size);
inline BOOL GetTextExtentPoint32(HDC dc, LPCWSTR text, int count, SIZE* size) {
  return GetTextExtentPoint32W(dc, text, count, size);
}

// Draw at (x, y) as placed by the context's text alignment (TA_LEFT/RIGHT/CENTER,
// TA_TOP/BOTTOM/BASELINE; TA_UPDATECP draws at and moves the current position), in the text
// colour; in background mode OPAQUE the text's cell is filled with the background colour first.
BOOL TextOutA(HDC dc, int x, int y, LPCSTR text, int count);
BOOL TextOutW(HDC dc, int x, int y, LPCWSTR text, int count);
inline BOOL TextOut(HDC dc, int x, int y, LPCWSTR text, int count) {
  return TextOutW(dc, x, y, text, count);
}
// ETO_OPAQUE fills `rect` with the background colour, ETO_CLIPPED keeps the text inside it;
// `dx`, when given, holds each code unit's advance.
BOOL ExtTextOutA(HDC dc, int x, int y, UINT options, const RECT* rect, LPCSTR text, UINT count,
                 const INT* dx);
BOOL ExtTextOutW(HDC dc, int x, int y, UINT options, const RECT* rect, LPCWSTR text, UINT count,
                 const INT* dx);
inline BOOL ExtTextOut(HDC dc, int x, int y, UINT options, const RECT* rect, LPCWSTR text,
                       UINT count, const INT* dx) {
  return ExtTextOutW(dc, x, y, options, rect, text, count, dx);
}

// Lays out and draws (or with DT_CALCRECT measures into `rect`) formatted text; count -1 means
// up to the terminating zero. The layout rules are those of text_layout.h. Answers the text's
// height, 0 on failure.
int DrawTextA(HDC dc, LPCSTR text, int count, LPRECT rect, UINT format);
int DrawTextW(HDC dc, LPCWSTR text, int count, LPRECT rect, UINT format);
inline int DrawText(HDC dc, LPCWSTR text, int count, LPRECT rect, UINT format) {
  return DrawTextW(dc, text, count, rect, format);
}

}  // namespace win
