#include "platform/text/text_calls.h"

namespace win::text {
namespace {

// The resolution the virtual screen reports, in dots per inch.
constexpr LONG kScreenDotsPerInch = 96;

}  // namespace

template <typename Char>
void FillTextMetrics(const Font& font, TEXTMETRIC_T<Char>& metrics) {
  const FontMetrics& source = font.GetMetrics();
  metrics = {};
  metrics.tmHeight = source.height;
  metrics.tmAscent = source.ascent;
  metrics.tmDescent = source.descent;
  metrics.tmInternalLeading = source.internal_leading;
  metrics.tmExternalLeading = source.external_leading;
  metrics.tmAveCharWidth = source.average_char_width;
  metrics.tmMaxCharWidth = source.max_char_width;
  metrics.tmWeight = source.weight;
  metrics.tmDigitizedAspectX = kScreenDotsPerInch;
  metrics.tmDigitizedAspectY = kScreenDotsPerInch;
  metrics.tmFirstChar = static_cast<Char>(0x20);
  metrics.tmLastChar = static_cast<Char>(sizeof(Char) == 1 ? 0xFF : 0xFFFC);
  metrics.tmDefaultChar = static_cast<Char>(0x1F);
  metrics.tmBreakChar = static_cast<Char>(0x20);
  metrics.tmItalic = source.italic ? 1 : 0;
  metrics.tmUnderlined = source.underline ? 1 : 0;
  metrics.tmPitchAndFamily = static_cast<BYTE>(
      FF_SWISS | (font.IsFixedMetrics() ? 0 : TMPF_FIXED_PITCH | TMPF_VECTOR | TMPF_TRUETYPE));
  metrics.tmCharSet = ANSI_CHARSET;
}

template void FillTextMetrics(const Font&, TEXTMETRICA&);
template void FillTextMetrics(const Font&, TEXTMETRICW&);

int DrawDecodedText(const TextTarget* target, const Font& font, const DecodedText& text, RECT& rect,
                    UINT format) {
  const TextLayout layout = LayoutDrawText(text.characters, font, rect, format);
  if (format & DT_CALCRECT) {
    rect = layout.calculated;
  } else if (target) {
    DrawLayout(*target, font, layout, (format & DT_NOCLIP) ? nullptr : &rect);
  }
  return layout.height;
}

}  // namespace win::text
