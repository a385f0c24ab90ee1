// Text metrics and DrawText over an already-resolved font and target: what the HDC-taking calls
// do once they have looked up the device context's font and colours. Narrow and wide forms share
// these after decoding their text.
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

}  // namespace win::text
