#include "platform/text/font_object.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <string>
#include <string_view>

#include "platform/core/strings.h"
#include "platform/gdi/dc_access.h"

namespace win::text {
namespace {

template <typename Char>
std::basic_string_view<Char> FaceOf(const Char (&face)[LF_FACESIZE]) {
  return {face, static_cast<std::size_t>(std::find(face, face + LF_FACESIZE, Char{0}) - face)};
}

// Copies every field but the face name.
template <typename To, typename From>
void CopyAttributes(const From& from, To& to) {
  to.lfHeight = from.lfHeight;
  to.lfWidth = from.lfWidth;
  to.lfEscapement = from.lfEscapement;
  to.lfOrientation = from.lfOrientation;
  to.lfWeight = from.lfWeight;
  to.lfItalic = from.lfItalic;
  to.lfUnderline = from.lfUnderline;
  to.lfStrikeOut = from.lfStrikeOut;
  to.lfCharSet = from.lfCharSet;
  to.lfOutPrecision = from.lfOutPrecision;
  to.lfClipPrecision = from.lfClipPrecision;
  to.lfQuality = from.lfQuality;
  to.lfPitchAndFamily = from.lfPitchAndFamily;
}

// The narrow record: the face name as UTF-8, cut at a character boundary to fit the field.
LOGFONTA NarrowRecord(const LOGFONTW& wide) {
  LOGFONTA narrow;
  CopyAttributes(wide, narrow);
  const std::string face = Utf16ToUtf8(FaceOf(wide.lfFaceName));
  std::size_t length = std::min<std::size_t>(face.size(), LF_FACESIZE - 1);
  while (length > 0 && length < face.size() &&
         (static_cast<unsigned char>(face[length]) & 0xC0) == 0x80)
    --length;
  std::copy_n(face.data(), length, narrow.lfFaceName);
  std::fill(narrow.lfFaceName + length, narrow.lfFaceName + LF_FACESIZE, '\0');
  return narrow;
}

LOGFONTW MakeLogFont(LONG height, LONG weight, std::u16string_view face) {
  LOGFONTW font;
  font.lfHeight = height;
  font.lfWeight = weight;
  std::copy_n(face.data(), std::min<std::size_t>(face.size(), LF_FACESIZE - 1), font.lfFaceName);
  return font;
}

}  // namespace

FontObject::FontObject(const LOGFONTW& log_font)
    : log_font(log_font), font(RealizeFont(RequestFromLogFont(log_font))) {}

int FontObject::Describe(int size, void* buffer, bool wide) const {
  const int needed = static_cast<int>(wide ? sizeof(LOGFONTW) : sizeof(LOGFONTA));
  if (buffer == nullptr) return needed;
  if (size < needed) return 0;
  if (wide) {
    std::memcpy(buffer, &log_font, sizeof(LOGFONTW));
  } else {
    const LOGFONTA narrow = NarrowRecord(log_font);
    std::memcpy(buffer, &narrow, sizeof(LOGFONTA));
  }
  return needed;
}

LOGFONTW StockLogFont(int stock_index) {
  switch (stock_index) {
    case DEFAULT_GUI_FONT:
      return MakeLogFont(-11, FW_NORMAL, u"Sans Serif");
    case ANSI_VAR_FONT:
      return MakeLogFont(13, FW_NORMAL, u"Sans Serif");
    case OEM_FIXED_FONT:
    case ANSI_FIXED_FONT:
      return MakeLogFont(12, FW_NORMAL, u"Fixed");
    case SYSTEM_FIXED_FONT:
      return MakeLogFont(16, FW_NORMAL, u"Fixed");
    default:
      return MakeLogFont(16, FW_BOLD, u"System");  // SYSTEM_FONT, DEVICE_DEFAULT_FONT
  }
}

std::shared_ptr<const Font> FontOfHandle(HGDIOBJ handle) {
  if (auto object = gdi::FindAs<FontObject>(handle)) return object->font;
  const int stock_index = gdi::StockFontIndex(static_cast<HFONT>(handle));
  return RealizeFont(
      RequestFromLogFont(StockLogFont(stock_index >= 0 ? stock_index : SYSTEM_FONT)));
}

void InstallStockFonts() {
  static std::once_flag once;
  std::call_once(once, [] {
    gdi::SetStockFontMaker([](int stock_index) -> std::shared_ptr<gdi::GdiObject> {
      auto font = std::make_shared<FontObject>(StockLogFont(stock_index));
      font->stock = true;
      return font;
    });
  });
}

namespace {
// Stock fonts are real fonts from the start whenever the text calls are linked in.
[[maybe_unused]] const bool stock_fonts_installed = (InstallStockFonts(), true);
}  // namespace

}  // namespace win::text

namespace win {

HFONT CreateFontIndirectW(const LOGFONTW* font) {
  if (font == nullptr) return nullptr;
  text::InstallStockFonts();
  return static_cast<HFONT>(gdi::RegisterObject(std::make_shared<text::FontObject>(*font)));
}

HFONT CreateFontIndirectA(const LOGFONTA* font) {
  if (font == nullptr) return nullptr;
  LOGFONTW wide;
  text::CopyAttributes(*font, wide);
  const std::u16string face = Utf8ToUtf16(text::FaceOf(font->lfFaceName));
  std::copy_n(face.data(), std::min<std::size_t>(face.size(), LF_FACESIZE - 1), wide.lfFaceName);
  return CreateFontIndirectW(&wide);
}

}  // namespace win
