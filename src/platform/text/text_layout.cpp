#include "platform/text/text_layout.h"

#include <algorithm>
#include <cstdint>
#include <limits>

namespace win::text {
namespace {

constexpr std::size_t kNoIndex = std::numeric_limits<std::size_t>::max();
constexpr std::u32string_view kEllipsis = U"...";
constexpr int kTabStopChars = 8;

LONG ClampToLong(std::int64_t value) {
  return static_cast<LONG>(std::clamp<std::int64_t>(value, std::numeric_limits<LONG>::min(),
                                                    std::numeric_limits<LONG>::max()));
}

bool IsControl(char32_t c) { return c < 0x20 || c == 0x7F; }
bool IsBreakSpace(char32_t c) { return c == U' ' || c == U'\t'; }
bool IsLineBreak(char32_t c) { return c == U'\n' || c == U'\r'; }

struct PrefixedText {
  std::u32string text;
  std::size_t underline = kNoIndex;
};

PrefixedText StripPrefixes(std::u32string_view text, UINT format) {
  PrefixedText result;
  if (format & DT_NOPREFIX) {
    result.text = text;
    return result;
  }
  result.text.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != U'&') {
      result.text.push_back(text[i]);
      continue;
    }
    if (++i == text.size()) break;  // a final lone prefix shows nothing
    if (text[i] != U'&' && !(format & DT_HIDEPREFIX) && result.underline == kNoIndex)
      result.underline = result.text.size();
    result.text.push_back(text[i]);
  }
  return result;
}

// Advances of characters on one line; a tab's advance depends on where the pen stands.
class Advancer {
 public:
  Advancer(const Font& font, UINT format)
      : font_(font),
        tab_width_((format & DT_EXPANDTABS) ? kTabStopChars * font.GetMetrics().average_char_width
                                            : 0) {}

  int At(char32_t c, std::int64_t pen) const {
    if (c == U'\t' && tab_width_ > 0) return tab_width_ - static_cast<int>(pen % tab_width_);
    if (IsControl(c)) return 0;
    return font_.Advance(c);
  }

 private:
  const Font& font_;
  int tab_width_;
};

struct Range {
  std::size_t begin;
  std::size_t end;
};

std::vector<Range> SplitParagraphs(const std::u32string& text, UINT format) {
  if (text.empty()) return {};
  if (format & DT_SINGLELINE) return {Range{0, text.size()}};
  std::vector<Range> paragraphs;
  std::size_t start = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (!IsLineBreak(text[i])) continue;
    paragraphs.push_back({start, i});
    if (text[i] == U'\r' && i + 1 < text.size() && text[i + 1] == U'\n') ++i;
    start = i + 1;
  }
  if (start < text.size()) paragraphs.push_back({start, text.size()});
  return paragraphs;
}

// Greedy word wrapping of one paragraph into lines no wider than `width`.
void WrapParagraph(const std::u32string& text, Range paragraph, std::int64_t width,
                   bool keep_long_words, const Advancer& advancer, std::vector<Range>& lines) {
  std::size_t line_start = paragraph.begin;
  std::size_t break_end = line_start;  // end of the last word followed by a space
  std::size_t resume = line_start;     // first character of the word after that space run
  std::int64_t pen = 0;
  std::size_t i = line_start;
  while (i < paragraph.end) {
    const char32_t c = text[i];
    if (IsBreakSpace(c)) {
      if (i == line_start || !IsBreakSpace(text[i - 1])) break_end = i;
      pen += advancer.At(c, pen);
      ++i;
      continue;
    }
    if (i > line_start && IsBreakSpace(text[i - 1])) resume = i;
    const int advance = advancer.At(c, pen);
    if (pen + advance <= width || advance == 0) {
      pen += advance;
      ++i;
      continue;
    }
    if (break_end > line_start) {
      lines.push_back({line_start, break_end});
      line_start = i = resume;
    } else if (keep_long_words) {
      pen += advance;
      ++i;
      continue;
    } else {
      const std::size_t end = i > line_start ? i : i + 1;  // at least one character per line
      lines.push_back({line_start, end});
      line_start = i = end;
    }
    break_end = resume = line_start;
    pen = 0;
  }
  // An empty paragraph is an empty line; a paragraph whose last break fell at its end adds none.
  if (line_start < paragraph.end || line_start == paragraph.begin)
    lines.push_back({line_start, paragraph.end});
}

LaidOutLine MeasureLine(const std::u32string& text, Range range, std::size_t underline,
                        const Advancer& advancer) {
  LaidOutLine line;
  line.text = text.substr(range.begin, range.end - range.begin);
  line.advances.reserve(line.text.size());
  std::int64_t pen = 0;
  for (char32_t c : line.text) {
    line.advances.push_back(advancer.At(c, pen));
    pen += line.advances.back();
  }
  line.width = ClampToLong(pen);
  if (underline != kNoIndex && underline >= range.begin && underline < range.end)
    line.underline_index = static_cast<int>(underline - range.begin);
  return line;
}

void ApplyEndEllipsis(LaidOutLine& line, std::int64_t width, const Advancer& advancer) {
  if (line.width <= width) return;
  const int dot = advancer.At(U'.', 0);
  const std::int64_t ellipsis_width = static_cast<std::int64_t>(dot) * kEllipsis.size();
  std::size_t kept = 0;
  std::int64_t pen = 0;
  while (kept < line.text.size() && pen + line.advances[kept] + ellipsis_width <= width)
    pen += line.advances[kept++];
  line.text.resize(kept);
  line.advances.resize(kept);
  line.text += kEllipsis;
  line.advances.insert(line.advances.end(), kEllipsis.size(), dot);
  line.width = ClampToLong(pen + ellipsis_width);
  if (line.underline_index >= static_cast<int>(kept)) line.underline_index = -1;
}

LONG HorizontalPosition(const RECT& rect, LONG line_width, UINT format) {
  const std::int64_t room = static_cast<std::int64_t>(rect.right) - rect.left - line_width;
  if (format & DT_CENTER) return ClampToLong(rect.left + room / 2);
  if (format & DT_RIGHT) return ClampToLong(static_cast<std::int64_t>(rect.right) - line_width);
  return rect.left;
}

std::int64_t FirstLineTop(const RECT& rect, std::int64_t text_height, UINT format) {
  if (!(format & DT_SINGLELINE)) return rect.top;
  if (format & DT_VCENTER)
    return rect.top + (static_cast<std::int64_t>(rect.bottom) - rect.top - text_height) / 2;
  if (format & DT_BOTTOM) return static_cast<std::int64_t>(rect.bottom) - text_height;
  return rect.top;
}

}  // namespace

TextLayout LayoutDrawText(std::u32string_view source, const Font& font, const RECT& rect,
                          UINT format) {
  const Advancer advancer(font, format);
  const PrefixedText prefixed = StripPrefixes(source, format);
  const std::int64_t width = static_cast<std::int64_t>(rect.right) - rect.left;
  const bool ellipsis = (format & (DT_END_ELLIPSIS | DT_WORD_ELLIPSIS)) != 0;
  const bool wrap = (format & DT_WORDBREAK) && !(format & DT_SINGLELINE);

  std::vector<Range> ranges;
  for (const Range& paragraph : SplitParagraphs(prefixed.text, format)) {
    if (wrap)
      WrapParagraph(prefixed.text, paragraph, width, ellipsis, advancer, ranges);
    else
      ranges.push_back(paragraph);
  }

  TextLayout layout;
  const FontMetrics& metrics = font.GetMetrics();
  const std::int64_t line_height =
      metrics.height + ((format & DT_EXTERNALLEADING) ? metrics.external_leading : 0);
  const std::int64_t text_height = line_height * static_cast<std::int64_t>(ranges.size());
  const std::int64_t top = FirstLineTop(rect, text_height, format);
  std::int64_t widest = 0;
  for (std::size_t i = 0; i < ranges.size(); ++i) {
    LaidOutLine line = MeasureLine(prefixed.text, ranges[i], prefixed.underline, advancer);
    if (ellipsis) ApplyEndEllipsis(line, width, advancer);
    line.x = HorizontalPosition(rect, line.width, format);
    line.y = ClampToLong(top + line_height * static_cast<std::int64_t>(i));
    widest = std::max<std::int64_t>(widest, line.width);
    layout.lines.push_back(std::move(line));
  }
  layout.calculated = {rect.left, rect.top, ClampToLong(rect.left + widest),
                       ClampToLong(rect.top + text_height)};
  layout.height = ClampToLong(top + text_height - rect.top);
  return layout;
}

}  // namespace win::text
