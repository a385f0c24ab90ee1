// The HDC-taking text calls: each looks up the context's text state and font, decodes its text
// and hands over to the shared layout and drawing code.
#include <cstdint>
#include <cstring>
#include <limits>
#include <optional>
#include <string_view>

#include "platform/core/strings.h"
#include "platform/gdi/dc_access.h"
#include "platform/gdi/gdi.h"
#include "platform/text/font_object.h"
#include "platform/text/text.h"
#include "platform/text/text_calls.h"

namespace win::text {
namespace {

// Draws through the device context: its mapping, clip and pixel format apply.
class DcSink final : public TextSink {
 public:
  explicit DcSink(HDC dc) : dc_(dc) {}
  void Fill(const RECT& rect, COLORREF color) override { gdi::FillSolidRect(dc_, rect, color); }
  void Blend(LONG left, LONG top, int width, int height, const std::uint8_t* coverage,
             std::ptrdiff_t stride, COLORREF color) override {
    gdi::BlendCoverage(dc_, left, top, width, height, coverage, stride, color);
  }
  RECT Bounds() const override {
    RECT box{};
    return GetClipBox(dc_, &box) > NULLREGION ? box : RECT{};
  }

 private:
  HDC dc_;
};

struct DcText {
  gdi::TextState state;
  std::shared_ptr<const Font> font;
};

std::optional<DcText> TextStateOf(HDC dc) {
  const gdi::EngineLock lock = gdi::LockEngine();  // the selected font cannot go meanwhile
  DcText text;
  if (!gdi::GetTextState(dc, &text.state)) return std::nullopt;
  text.font = FontOfHandle(text.state.font);
  return text;
}

TextTarget TargetFor(const DcText& text, TextSink& sink) {
  TextTarget target;
  target.sink = &sink;
  target.text_color = text.state.text_colour;
  target.background_color = text.state.bk_colour;
  target.opaque_background = text.state.bk_mode == OPAQUE;
  return target;
}

// Text arguments: a count of code units, -1 for "up to the terminator" where allowed.
std::optional<DecodedText> Decode(LPCSTR text, std::int64_t count) {
  if (count == -1 && text) count = static_cast<std::int64_t>(std::strlen(text));
  if (count < 0 || count > std::numeric_limits<int>::max() || (count > 0 && !text))
    return std::nullopt;
  return DecodeUtf8(std::string_view(text ? text : "", static_cast<std::size_t>(count)));
}

std::optional<DecodedText> Decode(LPCWSTR text, std::int64_t count) {
  if (count == -1 && text) count = lstrlenW(text);
  if (count < 0 || count > std::numeric_limits<int>::max() || (count > 0 && !text))
    return std::nullopt;
  return DecodeUtf16(std::u16string_view(text ? text : u"", static_cast<std::size_t>(count)));
}

template <typename Char>
BOOL GetTextMetricsOf(HDC dc, TEXTMETRIC_T<Char>* metrics) {
  const auto text = TextStateOf(dc);
  if (!text || !metrics) return FALSE;
  FillTextMetrics(*text->font, *metrics);
  return TRUE;
}

template <typename Char>
BOOL GetTextExtentOf(HDC dc, const Char* characters, int count, SIZE* size) {
  if (!size || count < 0) return FALSE;
  const auto text = TextStateOf(dc);
  const auto decoded = Decode(characters, count);
  if (!text || !decoded) return FALSE;
  *size = RunExtent(*text->font, RunAdvances(*text->font, *decoded, nullptr));
  return TRUE;
}

// Where a run's cell starts for the context's text alignment, and where the current position
// goes afterwards (TA_UPDATECP).
POINT AlignRun(const gdi::TextState& state, const Font& font, POINT at, LONG width) {
  const UINT horizontal = state.text_align & TA_CENTER;
  const UINT vertical = state.text_align & TA_BASELINE;
  const std::int64_t x = horizontal == TA_CENTER  ? at.x - std::int64_t{width} / 2
                         : horizontal == TA_RIGHT ? std::int64_t{at.x} - width
                                                  : at.x;
  const std::int64_t y = vertical == TA_BASELINE ? std::int64_t{at.y} - font.GetMetrics().ascent
                         : vertical == TA_BOTTOM ? std::int64_t{at.y} - font.GetMetrics().height
                                                 : at.y;
  auto clamp = [](std::int64_t v) {
    return static_cast<LONG>(std::clamp<std::int64_t>(v, std::numeric_limits<LONG>::min(),
                                                      std::numeric_limits<LONG>::max()));
  };
  return {clamp(x), clamp(y)};
}

void MoveCurrentPosition(HDC dc, const gdi::TextState& state, LONG width) {
  const UINT horizontal = state.text_align & TA_CENTER;
  if (!(state.text_align & TA_UPDATECP) || horizontal == TA_CENTER) return;
  const std::int64_t moved =
      std::int64_t{state.position.x} + (horizontal == TA_RIGHT ? -width : width);
  gdi::SetCurrentPosition(
      dc, POINT{static_cast<LONG>(std::clamp<std::int64_t>(moved, std::numeric_limits<LONG>::min(),
                                                           std::numeric_limits<LONG>::max())),
                state.position.y});
}

template <typename Char>
BOOL ExtTextOutOf(HDC dc, int x, int y, UINT options, const RECT* rect, const Char* characters,
                  std::int64_t count, const INT* dx) {
  if (count < 0) return FALSE;
  const gdi::EngineLock lock = gdi::LockEngine();  // one consistent view of the context
  const auto text = TextStateOf(dc);
  const auto decoded = Decode(characters, count);
  if (!text || !decoded) return FALSE;
  const std::vector<int> advances = RunAdvances(*text->font, *decoded, dx);
  const LONG width = RunExtent(*text->font, advances).cx;
  const POINT requested =
      (text->state.text_align & TA_UPDATECP) ? text->state.position : POINT{x, y};
  const POINT cell = AlignRun(text->state, *text->font, requested, width);
  DcSink sink(dc);
  RunOptions run;
  if (rect && (options & ETO_OPAQUE)) run.opaque = rect;
  if (rect && (options & ETO_CLIPPED)) run.clip = rect;
  DrawRun(TargetFor(*text, sink), *text->font, cell.x, cell.y, decoded->characters, advances, run);
  MoveCurrentPosition(dc, text->state, width);
  return TRUE;
}

template <typename Char>
int DrawTextOf(HDC dc, const Char* characters, int count, LPRECT rect, UINT format) {
  if (!rect) return 0;
  const gdi::EngineLock lock = gdi::LockEngine();
  const auto text = TextStateOf(dc);
  const auto decoded = Decode(characters, count);
  if (!text || !decoded) return 0;
  DcSink sink(dc);
  const TextTarget target = TargetFor(*text, sink);
  return DrawDecodedText(&target, *text->font, *decoded, *rect, format);
}

}  // namespace
}  // namespace win::text

namespace win {

BOOL GetTextMetricsA(HDC dc, TEXTMETRICA* metrics) { return text::GetTextMetricsOf(dc, metrics); }
BOOL GetTextMetricsW(HDC dc, TEXTMETRICW* metrics) { return text::GetTextMetricsOf(dc, metrics); }

BOOL GetTextExtentPoint32A(HDC dc, LPCSTR text, int count, SIZE* size) {
  return text::GetTextExtentOf(dc, text, count, size);
}
BOOL GetTextExtentPoint32W(HDC dc, LPCWSTR text, int count, SIZE* size) {
  return text::GetTextExtentOf(dc, text, count, size);
}

BOOL TextOutA(HDC dc, int x, int y, LPCSTR text, int count) {
  return count < 0 ? FALSE : text::ExtTextOutOf(dc, x, y, 0, nullptr, text, count, nullptr);
}
BOOL TextOutW(HDC dc, int x, int y, LPCWSTR text, int count) {
  return count < 0 ? FALSE : text::ExtTextOutOf(dc, x, y, 0, nullptr, text, count, nullptr);
}

BOOL ExtTextOutA(HDC dc, int x, int y, UINT options, const RECT* rect, LPCSTR text, UINT count,
                 const INT* dx) {
  return text::ExtTextOutOf(dc, x, y, options, rect, text, count, dx);
}
BOOL ExtTextOutW(HDC dc, int x, int y, UINT options, const RECT* rect, LPCWSTR text, UINT count,
                 const INT* dx) {
  return text::ExtTextOutOf(dc, x, y, options, rect, text, count, dx);
}

int DrawTextA(HDC dc, LPCSTR text, int count, LPRECT rect, UINT format) {
  return text::DrawTextOf(dc, text, count, rect, format);
}
int DrawTextW(HDC dc, LPCWSTR text, int count, LPRECT rect, UINT format) {
  return text::DrawTextOf(dc, text, count, rect, format);
}

}  // namespace win
