#include "components/listview/common/common_utilities.h"

#include <algorithm>
#include <vector>

#include "platform/gdi/gdi.h"
#include "platform/text/text.h"
#include "platform/user/paint.h"

namespace dashtune::common {

void SafeInvalidateRect(TWinControl* Control, const win::RECT* Rect, bool ImmediateUpdate) {
  if (Control == nullptr || !Control->HandleAllocated()) return;
  win::HWND window = Control->GetHandle();
  win::InvalidateRect(window, Rect, win::FALSE);
  if (ImmediateUpdate) win::UpdateWindow(window);
}

// ---- Caption text ----

namespace {

std::uint64_t measured_characters = 0;

int TextWidth(win::HDC dc, std::u16string_view text) {
  win::SIZE size{};
  if (text.empty()) return 0;
  measured_characters += text.size();
  win::GetTextExtentPoint32W(dc, reinterpret_cast<win::LPCWSTR>(text.data()), static_cast<int>(text.size()), &size);
  return size.cx;
}

// Texts up to this length are first measured whole: most captions fit their line at once.
constexpr std::size_t kMeasuredWhole = 256;

// How many characters of text, from its start, fit in width (at least one; all when the whole
// text fits, its width then in whole_width). A long text has prefixes twice as long tried until
// one does not fit, then the last step halved: a line costs what its own length does, however
// long the text after it.
std::size_t CharactersThatFit(win::HDC dc, std::u16string_view text, int width, int& whole_width) {
  std::size_t low = 1;  // fits, or is the least a line takes
  std::size_t high = text.size();
  const auto fits_whole = [&] {
    whole_width = TextWidth(dc, text);
    return whole_width <= width;
  };
  if (high <= kMeasuredWhole) {
    if (fits_whole()) return high;
    high -= 1;
  } else {
    for (std::size_t probe = 2; low < high; probe *= 2) {
      if (probe >= high) {
        if (fits_whole()) return high;
        high -= 1;
        break;
      }
      if (TextWidth(dc, text.substr(0, probe)) > width) {
        high = probe - 1;
        break;
      }
      low = probe;
    }
  }
  while (low < high) {
    const std::size_t middle = (low + high + 1) / 2;
    if (TextWidth(dc, text.substr(0, middle)) <= width)
      low = middle;
    else
      high = middle - 1;
  }
  return low;
}

// A line of a caption, with its width where breaking it measured it (else -1).
struct CaptionLine {
  std::u16string_view text;
  int width = -1;
};

std::vector<CaptionLine> BreakLines(win::HDC dc, std::u16string_view text, int width, int lines, bool word_break) {
  std::vector<CaptionLine> result;
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::u16string_view rest = text.substr(pos);
    const bool last_allowed = lines >= 0 && static_cast<int>(result.size()) + 1 >= lines;
    if (last_allowed) {
      result.push_back({rest});
      break;
    }
    int whole_width = -1;
    std::size_t end = CharactersThatFit(dc, rest, width, whole_width);
    if (end == rest.size()) {
      result.push_back({rest, whole_width});
      break;
    }
    std::size_t next = end;
    if (word_break) {
      const std::size_t space = rest.substr(0, end + 1).find_last_of(u' ');
      if (space != std::u16string_view::npos && space > 0) end = next = space;
    }
    result.push_back({rest.substr(0, end)});
    pos += next;
    while (pos < text.size() && text[pos] == u' ') ++pos;
  }
  return result;
}

win::UINT LineFormat(unsigned flags) {
  win::UINT format = win::DT_SINGLELINE | win::DT_NOPREFIX | win::DT_TOP;
  if (flags & dtRight) format |= win::DT_RIGHT;
  else if (flags & dtCenter) format |= win::DT_CENTER;
  if (flags & dtEndEllipsis) format |= win::DT_END_ELLIPSIS;
  return format;
}

}  // namespace

int DrawCaptionText(win::HDC DC, const std::u16string& Text, win::RECT& Rect, int Lines, unsigned Flags) {
  win::TEXTMETRICW metrics{};
  win::GetTextMetricsW(DC, &metrics);
  const int line_height = std::max(static_cast<int>(metrics.tmHeight), 1);
  const int width = Rect.right - Rect.left;
  if ((Flags & dtSingleLine) || Lines == 0) Lines = 1;
  // Drawn text stays inside Rect: no more lines than its height holds, so that the last line
  // drawn is the one that takes the rest of the text.
  if (!(Flags & dtCalcRect)) {
    const int fitting = std::max((Rect.bottom - Rect.top) / line_height, 1);
    Lines = Lines < 0 ? fitting : std::min(Lines, fitting);
  }
  const std::vector<CaptionLine> lines = BreakLines(DC, Text, width, Lines, (Flags & dtWordBreak) != 0);
  const int block_height = static_cast<int>(lines.size()) * line_height;

  if (Flags & dtCalcRect) {
    Rect.bottom = Rect.top + block_height;
    if (Flags & dtCalcRectAdjR) {
      int widest = 0;
      for (const CaptionLine& line : lines)
        widest = std::max(widest, line.width >= 0 ? line.width : TextWidth(DC, line.text));
      if (Flags & dtEndEllipsis) widest = std::min(widest, width);
      if (Flags & dtCalcRectAlign) {
        if (Flags & dtRight) Rect.left = Rect.right - widest;
        else if (Flags & dtCenter) Rect.left += (width - widest) / 2;
      }
      Rect.right = Rect.left + widest;
    }
    return block_height;
  }

  int top = Rect.top;
  if (Flags & dtBottom) top = Rect.bottom - block_height;
  else if (Flags & dtVCenter) top = Rect.top + (Rect.bottom - Rect.top - block_height) / 2;
  // Only a single line taller than Rect reaches out of it: that line is clipped to Rect.
  const bool clip = block_height > Rect.bottom - Rect.top;
  const int saved = clip ? win::SaveDC(DC) : 0;
  if (clip) win::IntersectClipRect(DC, Rect.left, Rect.top, Rect.right, Rect.bottom);
  const win::UINT format = LineFormat(Flags);
  for (const CaptionLine& line : lines) {
    win::RECT line_rect{Rect.left, top, Rect.right, top + line_height};
    win::DrawTextW(DC, reinterpret_cast<win::LPCWSTR>(line.text.data()), static_cast<int>(line.text.size()), &line_rect,
                   format);
    top += line_height;
  }
  if (clip) win::RestoreDC(DC, saved);
  return block_height;
}

std::uint64_t MeasuredCharacters() { return measured_characters; }

// ---- Check boxes and radio buttons ----

namespace {

void Line(TCanvas* canvas, TColor color, int x1, int y1, int x2, int y2) {
  canvas->GetPen()->SetColor(color);
  canvas->MoveTo(x1, y1);
  canvas->LineTo(x2, y2);
}

TColor MarkColor(const TCommonCheckColors& colors) {
  return colors.Interior == colors.Face ? colors.OuterDark : clBlack;
}

}  // namespace

void DrawCheckBoxClassic(TCanvas* Canvas, const win::RECT& Rect, bool Checked, bool Pressed, const TCommonCheckColors& Colors) {
  const int l = Rect.left, t = Rect.top, r = Rect.right - 1, b = Rect.bottom - 1;
  if (r - l < 4 || b - t < 4) return;
  Canvas->GetPen()->SetStyle(psSolid);
  Canvas->GetPen()->SetWidth(1);
  // Outer edge: dark top and left, light bottom and right; the inner edge one pixel in.
  Line(Canvas, Colors.OuterDark, l, b - 1, l, t);
  Line(Canvas, Colors.OuterDark, l, t, r, t);
  Line(Canvas, Colors.OuterLight, l, b, r, b);
  Line(Canvas, Colors.OuterLight, r, b, r, t - 1);
  Line(Canvas, Colors.InnerDark, l + 1, b - 2, l + 1, t + 1);
  Line(Canvas, Colors.InnerDark, l + 1, t + 1, r - 1, t + 1);
  Line(Canvas, Colors.InnerLight, l + 1, b - 1, r - 1, b - 1);
  Line(Canvas, Colors.InnerLight, r - 1, b - 1, r - 1, t);
  Canvas->GetBrush()->SetStyle(bsSolid);
  Canvas->GetBrush()->SetColor(Pressed ? Colors.Face : Colors.Interior);
  Canvas->FillRect(win::RECT{l + 2, t + 2, r - 1, b - 1});
  if (!Checked) return;
  // A tick: down from the left third to the bottom third, then up to the right.
  const int inner = r - 1 - (l + 2);
  const int x0 = l + 2 + inner / 5, x1 = l + 2 + inner * 2 / 5, x2 = r - 1 - inner / 5;
  const int y_mid = t + 2 + (b - 1 - (t + 2)) / 2;
  for (int thick = 0; thick < 3; ++thick) {
    Line(Canvas, MarkColor(Colors), x0, y_mid + thick - 1, x1, y_mid + thick + (x1 - x0) - 1);
    Line(Canvas, MarkColor(Colors), x1, y_mid + thick + (x1 - x0) - 1, x2 + 1, y_mid + thick + (x1 - x0) - 1 - (x2 + 1 - x1));
  }
}

void DrawRadioButtonClassic(TCanvas* Canvas, const win::RECT& Rect, bool Checked, bool Pressed, const TCommonCheckColors& Colors) {
  const int size = std::min(Rect.right - Rect.left, Rect.bottom - Rect.top);
  if (size < 4) return;
  // Pixels by distance from the centre: outer ring, inner ring, interior, and the dot.
  const double centre = (size - 1) / 2.0;
  const double radius = size / 2.0;
  for (int y = 0; y < size; ++y)
    for (int x = 0; x < size; ++x) {
      const double dx = x - centre, dy = y - centre;
      const double distance = dx * dx + dy * dy;
      const bool upper_left = dx + dy < 0;
      TColor color;
      if (distance > radius * radius) continue;
      if (distance > (radius - 1) * (radius - 1))
        color = upper_left ? Colors.OuterDark : Colors.OuterLight;
      else if (distance > (radius - 2) * (radius - 2))
        color = upper_left ? Colors.InnerDark : Colors.InnerLight;
      else if (Checked && distance <= (radius / 3) * (radius / 3))
        color = MarkColor(Colors);
      else
        color = Pressed ? Colors.Face : Colors.Interior;
      Canvas->SetPixel(Rect.left + x, Rect.top + y, color);
    }
}

TThemeDrawRoutine DrawThemeBackgroundRoutine = nullptr;

// ---- Alpha blending ----

void AlphaBlend(win::HDC DC, const win::RECT& Rect, TColor Color, int Alpha) {
  const win::HGDIOBJ bitmap = win::GetCurrentObject(DC, win::OBJ_BITMAP);
  win::DIBSECTION section{};
  if (bitmap == nullptr || win::GetObject(bitmap, sizeof(section), &section) != static_cast<int>(sizeof(section)) ||
      section.dsBm.bmBits == nullptr)
    throw EAlphaBlendError(kAlphaBlendNoBitmapError);
  if (section.dsBm.bmBitsPixel != 32) throw EAlphaBlendError(kAlphaBlendBitDepthError);
  win::POINT window_origin{}, viewport_origin{};
  win::GetWindowOrgEx(DC, &window_origin);
  win::GetViewportOrgEx(DC, &viewport_origin);
  const int dx = viewport_origin.x - window_origin.x, dy = viewport_origin.y - window_origin.y;
  const int width = section.dsBm.bmWidth, height = section.dsBm.bmHeight;
  const int left = std::max<int>(Rect.left + dx, 0), right = std::min<int>(Rect.right + dx, width);
  const int top = std::max<int>(Rect.top + dy, 0), bottom = std::min<int>(Rect.bottom + dy, height);
  const int alpha = std::clamp(Alpha, 0, 255);
  const win::COLORREF rgb = ColorToRGB(Color);
  const unsigned colour[3] = {(rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF};  // blue, green, red
  const bool bottom_up = section.dsBmih.biHeight > 0;
  auto* bits = static_cast<std::uint8_t*>(section.dsBm.bmBits);
  for (int y = top; y < bottom; ++y) {
    const int row = bottom_up ? height - 1 - y : y;
    std::uint8_t* pixel = bits + static_cast<std::size_t>(row) * section.dsBm.bmWidthBytes + static_cast<std::size_t>(left) * 4;
    for (int x = left; x < right; ++x, pixel += 4)
      for (int channel = 0; channel < 3; ++channel)
        pixel[channel] = static_cast<std::uint8_t>((colour[channel] * alpha + pixel[channel] * (255u - alpha) + 127) / 255);
  }
}

bool CanAlphaBlend() { return true; }

}  // namespace dashtune::common
