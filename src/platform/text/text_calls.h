// The text calls over an already-resolved font and target: what the HDC-taking platform calls
// do once they have looked up the device context's font, surface, clip and colours. Narrow and
// wide forms share these after decoding their text.
#pragma once

#include "platform/text/font.h"
#include "platform/text/text_decode.h"
#include "platform/text/text_render.h"

namespace win::text {

template <typename Char>
void FillTextMetrics(const Font& font, TEXTMETRIC_T<Char>& metrics);

// DrawText: measures into `rect` with DT_CALCRECT, otherwise draws onto `target` (which may be
// null only with DT_CALCRECT). Answers the text height.
int DrawDecodedText(const TextTarget* target, const Font& font, const DecodedText& text, RECT& rect,
                    UINT format);

// ExtTextOut: ETO_OPAQUE fills `rect` with the background colour, ETO_CLIPPED keeps the text
// inside it; `dx`, when given, holds one advance per code unit.
void ExtTextOutDecoded(const TextTarget& target, const Font& font, LONG x, LONG y, UINT options,
                       const RECT* rect, const DecodedText& text, const INT* dx);

}  // namespace win::text
