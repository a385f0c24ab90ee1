#include "platform/user/edit.h"

#include <algorithm>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/core/code_pages.h"
#include "platform/core/strings.h"
#include "platform/gdi/gdi.h"
#include "platform/gdi/scoped_gdi.h"
#include "platform/text/text.h"
#include "platform/user/cursors.h"
#include "platform/user/input_state.h"
#include "platform/user/messages.h"
#include "platform/user/paint.h"
#include "platform/user/system_metrics.h"
#include "platform/user/virtual_keys.h"
#include "platform/user/window.h"
#include "platform/user/window_position.h"

namespace win {

namespace {

constexpr int kTextMargin = 1;  // between the border and the text, left and right
constexpr WPARAM kBackspace = 0x08;
constexpr WPARAM kTab = 0x09;
constexpr WPARAM kReturn = 0x0D;

struct EditState {
  std::u16string text;
  std::size_t anchor = 0;  // the selection runs from the anchor to the caret
  std::size_t caret = 0;
  HFONT font = nullptr;  // not owned (WM_SETFONT); null: the default GUI font
  int scroll_x = 0;      // single line: pixels scrolled to keep the caret in view
  std::size_t top_line = 0;  // multi-line: the first line shown
  bool selecting = false;    // the left button is down and drags a selection
};

// One shown line: the characters [start, end) with their total width; a wrapped line's end
// includes the blanks it broke after, which take no room.
struct Line {
  std::size_t start = 0;
  std::size_t end = 0;
  int width = 0;
};

EditState* StateOf(HWND window) { return reinterpret_cast<EditState*>(GetWindowLongPtrA(window, 0)); }

DWORD StyleOf(HWND window) { return static_cast<DWORD>(GetWindowLongA(window, GWL_STYLE)); }
bool IsMultiLine(HWND window) { return (StyleOf(window) & ES_MULTILINE) != 0; }

bool IsLowSurrogate(char16_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }
bool IsHighSurrogate(char16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }

// The position after the character at `pos`: a surrogate pair and CR LF count as one.
std::size_t NextPosition(const std::u16string& text, std::size_t pos) {
  if (pos >= text.size()) return text.size();
  if ((IsHighSurrogate(text[pos]) && pos + 1 < text.size() && IsLowSurrogate(text[pos + 1])) ||
      (text[pos] == u'\r' && pos + 1 < text.size() && text[pos + 1] == u'\n'))
    return pos + 2;
  return pos + 1;
}

std::size_t PreviousPosition(const std::u16string& text, std::size_t pos) {
  if (pos == 0) return 0;
  if (pos >= 2 && ((IsLowSurrogate(text[pos - 1]) && IsHighSurrogate(text[pos - 2])) ||
                   (text[pos - 1] == u'\n' && text[pos - 2] == u'\r')))
    return pos - 2;
  return pos - 1;
}

// A position never splits a surrogate pair or a CR LF.
std::size_t Snap(const std::u16string& text, std::size_t pos) {
  pos = std::min(pos, text.size());
  if (pos > 0 && pos < text.size() && NextPosition(text, PreviousPosition(text, pos)) != pos)
    return PreviousPosition(text, pos);
  return pos;
}

// The frame inside the window: WS_EX_CLIENTEDGE two pixels, WS_BORDER one.
int BorderWidth(HWND window) {
  if ((static_cast<DWORD>(GetWindowLongA(window, GWL_EXSTYLE)) & WS_EX_CLIENTEDGE) != 0) return 2;
  return (StyleOf(window) & WS_BORDER) != 0 ? 1 : 0;
}

RECT TextArea(HWND window) {
  RECT area{};
  GetClientRect(window, &area);
  const int border = BorderWidth(window);
  area.left += border + kTextMargin;
  area.right -= border + kTextMargin;
  area.top += border;
  area.bottom -= border;
  if (area.right < area.left) area.right = area.left;
  if (area.bottom < area.top) area.bottom = area.top;
  return area;
}

// A device context of the box with its font selected, for measuring and drawing.
class FontContext {
 public:
  FontContext(HWND window, const EditState& state, HDC dc = nullptr)
      : window_(window), own_(dc == nullptr), dc_(own_ ? GetDC(window) : dc) {
    select_.emplace(dc_, state.font != nullptr ? static_cast<HGDIOBJ>(state.font) : GetStockObject(DEFAULT_GUI_FONT));
  }
  ~FontContext() {
    select_.reset();
    if (own_ && dc_ != nullptr) ReleaseDC(window_, dc_);
  }
  FontContext(const FontContext&) = delete;
  FontContext& operator=(const FontContext&) = delete;
  HDC Get() const { return dc_; }

 private:
  HWND window_;
  bool own_;
  HDC dc_;
  std::optional<ScopedSelect> select_;
};

// The text's layout in the box: each character's advance and the lines.
struct Layout {
  std::vector<int> advances;  // per code unit; the second unit of a pair and control characters: 0
  std::vector<Line> lines;
  int line_height = 0;
  RECT area{};
  DWORD style = 0;

  int Width(std::size_t from, std::size_t to) const {
    int width = 0;
    for (std::size_t i = from; i < to && i < advances.size(); ++i) width += advances[i];
    return width;
  }
  std::size_t LineOf(std::size_t pos) const {
    std::size_t index = 0;
    for (std::size_t i = 0; i < lines.size(); ++i)
      if (lines[i].start <= pos) index = i;
    return index;
  }
  int LineLeft(const Line& line, int scroll_x) const {
    const int free = std::max<int>(area.right - area.left - line.width, 0);
    int x = area.left;
    if ((style & ES_CENTER) != 0) x += free / 2;
    else if ((style & ES_RIGHT) != 0) x += free;
    return x - scroll_x;
  }
};

std::vector<int> MeasureAdvances(HDC dc, const std::u16string& text) {
  std::vector<int> advances(text.size(), 0);
  for (std::size_t i = 0; i < text.size();) {
    const std::size_t next = NextPosition(text, i);
    if (text[i] >= 0x20) {
      SIZE size{};
      GetTextExtentPoint32W(dc, text.data() + i, static_cast<int>(next - i), &size);
      advances[i] = size.cx;
    }
    i = next;
  }
  return advances;
}

bool IsBlank(char16_t unit) { return unit == u' ' || unit == u'\t'; }

// Wraps one paragraph [start, end) into lines no wider than `width`: after the last blank that
// lets a line fit, or between characters for a word wider than the box (one at least per line).
void WrapParagraph(const std::u16string& text, const std::vector<int>& advances, std::size_t start,
                   std::size_t end, int width, std::vector<Line>& lines) {
  std::size_t line_start = start;
  while (true) {
    int used = 0;
    std::size_t pos = line_start;
    std::size_t break_after_blank = std::u16string::npos;
    while (pos < end) {
      const std::size_t next = NextPosition(text, pos);
      if (IsBlank(text[pos])) {
        break_after_blank = next;  // a line may break after a blank; blanks never overflow it
      } else if (used + advances[pos] > width && pos > line_start) {
        break;
      }
      used += advances[pos];
      pos = next;
    }
    if (pos >= end) {
      lines.push_back(Line{line_start, end, 0});
      return;
    }
    const std::size_t line_end = break_after_blank != std::u16string::npos ? break_after_blank : pos;
    lines.push_back(Line{line_start, line_end, 0});
    line_start = line_end;
  }
}

Layout MakeLayout(HWND window, const EditState& state, HDC dc) {
  Layout layout;
  layout.style = StyleOf(window);
  layout.area = TextArea(window);
  layout.advances = MeasureAdvances(dc, state.text);
  TEXTMETRICW metrics{};
  GetTextMetricsW(dc, &metrics);
  layout.line_height = std::max<int>(metrics.tmHeight, 1);
  const std::u16string& text = state.text;
  if ((layout.style & ES_MULTILINE) == 0) {
    layout.lines.push_back(Line{0, text.size(), 0});
  } else {
    const int width = layout.area.right - layout.area.left;
    const bool wrap = (layout.style & ES_AUTOHSCROLL) == 0;
    std::size_t start = 0;
    while (true) {
      std::size_t stop = text.find(u'\n', start);
      const std::size_t after = stop == std::u16string::npos ? text.size() : stop + 1;
      if (stop == std::u16string::npos) stop = text.size();
      const std::size_t content_end = stop > start && text[stop - 1] == u'\r' ? stop - 1 : stop;
      if (wrap)
        WrapParagraph(text, layout.advances, start, content_end, width, layout.lines);
      else
        layout.lines.push_back(Line{start, content_end, 0});
      if (after >= text.size() && stop == text.size()) break;
      start = after;
    }
  }
  for (Line& line : layout.lines) {
    std::size_t visible_end = line.end;
    while (visible_end > line.start && IsBlank(text[visible_end - 1])) --visible_end;
    line.width = layout.Width(line.start, visible_end);
  }
  return layout;
}

int CaretX(const Layout& layout, const EditState& state, std::size_t pos) {
  const Line& line = layout.lines[layout.LineOf(pos)];
  return layout.LineLeft(line, state.scroll_x) + layout.Width(line.start, std::min(pos, line.end));
}

// The position nearest to x on a line.
std::size_t PositionOnLine(const Layout& layout, const EditState& state, std::size_t index, int x) {
  const Line& line = layout.lines[index];
  int left = layout.LineLeft(line, state.scroll_x);
  std::size_t pos = line.start;
  // A wrapped line ends before the first character of the next: the caret stays on this line.
  const bool wrapped = index + 1 < layout.lines.size() && layout.lines[index + 1].start == line.end;
  const std::size_t last = wrapped ? PreviousPosition(state.text, line.end) : line.end;
  while (pos < last) {
    const std::size_t next = NextPosition(state.text, pos);
    const int advance = layout.Width(pos, next);
    if (x < left + advance / 2) break;
    left += advance;
    pos = next;
  }
  return std::max(pos, line.start);
}

std::size_t PositionAt(const Layout& layout, const EditState& state, POINT point) {
  const int row = (point.y - layout.area.top) / layout.line_height;
  const auto first = static_cast<long>(state.top_line);
  const long index = std::clamp<long>(first + (point.y < layout.area.top ? -1 : row), 0,
                                      static_cast<long>(layout.lines.size()) - 1);
  return PositionOnLine(layout, state, static_cast<std::size_t>(index), point.x);
}

// Scrolls so that the caret shows.
void KeepCaretInView(HWND window, EditState& state) {
  const FontContext dc(window, state);
  const Layout layout = MakeLayout(window, state, dc.Get());
  if ((layout.style & ES_MULTILINE) != 0) {
    const std::size_t line = layout.LineOf(state.caret);
    const auto visible =
        static_cast<std::size_t>(std::max<int>((layout.area.bottom - layout.area.top) / layout.line_height, 1));
    if (line < state.top_line) state.top_line = line;
    if (line >= state.top_line + visible) state.top_line = line - visible + 1;
    state.top_line = std::min(state.top_line, layout.lines.size() - 1);
    return;
  }
  const int width = layout.area.right - layout.area.left;
  const int text_width = layout.lines[0].width;
  if (text_width <= width) {
    state.scroll_x = 0;
    return;
  }
  const int caret = layout.Width(0, state.caret);
  const int left = layout.LineLeft(layout.lines[0], 0) - layout.area.left;
  if (left + caret - state.scroll_x < 0) state.scroll_x = left + caret;
  if (left + caret - state.scroll_x > width - 1) state.scroll_x = left + caret - width + 1;
  state.scroll_x = std::clamp(state.scroll_x, 0, text_width - width + 1);
}

void Changed(HWND window, EditState& state) {
  KeepCaretInView(window, state);
  InvalidateRect(window, nullptr, FALSE);
}

void MoveCaret(HWND window, EditState& state, std::size_t pos, bool extend) {
  state.caret = Snap(state.text, pos);
  if (!extend) state.anchor = state.caret;
  Changed(window, state);
}

std::size_t SelectionStart(const EditState& state) { return std::min(state.anchor, state.caret); }
std::size_t SelectionEnd(const EditState& state) { return std::max(state.anchor, state.caret); }

void ReplaceSelection(HWND window, EditState& state, const std::u16string& replacement) {
  const std::size_t start = SelectionStart(state);
  state.text.replace(start, SelectionEnd(state) - start, replacement);
  state.caret = state.anchor = start + replacement.size();
  Changed(window, state);
}

void DeleteOne(HWND window, EditState& state, bool forward) {
  if (state.anchor == state.caret) {
    state.anchor = forward ? NextPosition(state.text, state.caret) : PreviousPosition(state.text, state.caret);
  }
  ReplaceSelection(window, state, u"");
}

// A typed byte, read through the keyboard layout's code page.
void TypeCharacter(HWND window, EditState& state, WPARAM code) {
  if (code == kBackspace) {
    DeleteOne(window, state, false);
    return;
  }
  const bool multi_line = IsMultiLine(window);
  if (code == kReturn) {
    if (multi_line) ReplaceSelection(window, state, u"\r\n");
    return;
  }
  if (code == kTab) {
    if (multi_line) ReplaceSelection(window, state, u"\t");
    return;
  }
  if (code < 0x20 || code == 0x7F || code > 0xFF) return;
  const char byte = static_cast<char>(code);
  UINT code_page = KeyboardCodePage();
  if (code < 0x80 || !IsValidCodePage(code_page)) code_page = CP_WINDOWS_1252;
  char16_t wide[2] = {};
  if (MultiByteToWideChar(code_page, 0, &byte, 1, wide, 2) != 1) return;
  ReplaceSelection(window, state, std::u16string(1, wide[0]));
}

void HandleKey(HWND window, EditState& state, WPARAM key) {
  const bool extend = GetKeyState(VK_SHIFT) < 0;
  const std::u16string& text = state.text;
  const bool collapse = !extend && state.anchor != state.caret;
  switch (static_cast<INT>(key)) {
    case VK_LEFT:
      MoveCaret(window, state, collapse ? SelectionStart(state) : PreviousPosition(text, state.caret), extend);
      return;
    case VK_RIGHT:
      MoveCaret(window, state, collapse ? SelectionEnd(state) : NextPosition(text, state.caret), extend);
      return;
    case VK_DELETE:
      DeleteOne(window, state, true);
      return;
    default:
      break;
  }
  const FontContext dc(window, state);
  const Layout layout = MakeLayout(window, state, dc.Get());
  const std::size_t line_index = layout.LineOf(state.caret);
  const Line& line = layout.lines[line_index];
  switch (static_cast<INT>(key)) {
    case VK_HOME:
      MoveCaret(window, state, line.start, extend);
      return;
    case VK_END: {
      const bool wrapped = line_index + 1 < layout.lines.size() && layout.lines[line_index + 1].start == line.end;
      MoveCaret(window, state, wrapped ? PreviousPosition(text, line.end) : line.end, extend);
      return;
    }
    case VK_UP:
    case VK_DOWN: {
      if ((layout.style & ES_MULTILINE) == 0) {
        // A single line moves as the left and right keys do.
        HandleKey(window, state, key == static_cast<WPARAM>(VK_UP) ? VK_LEFT : VK_RIGHT);
        return;
      }
      const bool up = key == static_cast<WPARAM>(VK_UP);
      if ((up && line_index == 0) || (!up && line_index + 1 >= layout.lines.size())) return;
      const int x = CaretX(layout, state, state.caret);
      MoveCaret(window, state, PositionOnLine(layout, state, up ? line_index - 1 : line_index + 1, x), extend);
      return;
    }
    default:
      return;
  }
}

std::size_t PositionAtPoint(HWND window, EditState& state, LPARAM lParam) {
  const FontContext dc(window, state);
  const Layout layout = MakeLayout(window, state, dc.Get());
  const POINT point{static_cast<SHORT>(LOWORD(lParam)), static_cast<SHORT>(HIWORD(lParam))};
  return PositionAt(layout, state, point);
}

void DrawLinePart(HDC dc, const Layout& layout, const EditState& state, const Line& line, int y, std::size_t from,
                  std::size_t to, bool selected) {
  if (from >= to) return;
  const int x = layout.LineLeft(line, state.scroll_x) + layout.Width(line.start, from);
  if (selected) {
    const RECT band{x, y, x + layout.Width(from, to), y + layout.line_height};
    const ScopedGdiObject<HBRUSH> brush(CreateSolidBrush(GetSysColor(COLOR_HIGHLIGHT)));
    FillRect(dc, &band, brush.Get());
  }
  // Control characters (tabs, line breaks) draw nothing.
  std::u16string shown = state.text.substr(from, to - from);
  for (char16_t& unit : shown)
    if (unit < 0x20) unit = u' ';
  TextOutW(dc, x, y, shown.data(), static_cast<int>(shown.size()));
}

void DrawText(HDC dc, HWND window, const EditState& state, COLORREF text_colour) {
  const Layout layout = MakeLayout(window, state, dc);
  const bool focused = GetFocus() == window;
  const std::size_t selection_start = focused ? SelectionStart(state) : 0;
  const std::size_t selection_end = focused ? SelectionEnd(state) : 0;
  const int saved = SaveDC(dc);
  IntersectClipRect(dc, layout.area.left - kTextMargin, layout.area.top, layout.area.right + kTextMargin,
                    layout.area.bottom);
  SetBkMode(dc, TRANSPARENT);
  const bool multi_line = (layout.style & ES_MULTILINE) != 0;
  for (std::size_t i = multi_line ? state.top_line : 0; i < layout.lines.size(); ++i) {
    const int y = layout.area.top + static_cast<int>(i - (multi_line ? state.top_line : 0)) * layout.line_height;
    if (y >= layout.area.bottom) break;
    const Line& line = layout.lines[i];
    const std::size_t a = std::clamp(selection_start, line.start, line.end);
    const std::size_t b = std::clamp(selection_end, line.start, line.end);
    SetTextColor(dc, text_colour);
    DrawLinePart(dc, layout, state, line, y, line.start, a, false);
    DrawLinePart(dc, layout, state, line, y, b, line.end, false);
    SetTextColor(dc, GetSysColor(COLOR_HIGHLIGHTTEXT));
    DrawLinePart(dc, layout, state, line, y, a, b, true);
  }
  if (focused) {
    const std::size_t line = layout.LineOf(state.caret);
    if (!multi_line || line >= state.top_line) {
      const int x = CaretX(layout, state, state.caret);
      const int y = layout.area.top + static_cast<int>(line - (multi_line ? state.top_line : 0)) * layout.line_height;
      const RECT caret{x, y, x + 1, y + layout.line_height};
      const ScopedGdiObject<HBRUSH> brush(CreateSolidBrush(text_colour));
      FillRect(dc, &caret, brush.Get());
    }
  }
  RestoreDC(dc, saved);
}

void Paint(HWND window, const EditState& state, HDC given) {
  PAINTSTRUCT paint{};
  HDC dc = given != nullptr ? given : BeginPaint(window, &paint);
  if (dc == nullptr) return;
  {
    const FontContext font(window, state, dc);
    SetTextColor(dc, GetSysColor((StyleOf(window) & WS_DISABLED) != 0 ? COLOR_GRAYTEXT : COLOR_WINDOWTEXT));
    const HWND parent = GetParent(window);
    auto brush = reinterpret_cast<HBRUSH>(
        SendMessageA(parent != nullptr ? parent : window, WM_CTLCOLOREDIT, reinterpret_cast<WPARAM>(dc),
                     reinterpret_cast<LPARAM>(window)));
    if ((StyleOf(window) & WS_DISABLED) != 0) SetTextColor(dc, GetSysColor(COLOR_GRAYTEXT));
    const COLORREF text_colour = GetTextColor(dc);
    RECT client{};
    GetClientRect(window, &client);
    const ScopedGdiObject<HBRUSH> window_brush(CreateSolidBrush(GetSysColor(COLOR_WINDOW)));
    FillRect(dc, &client, brush != nullptr ? brush : window_brush.Get());
    if (BorderWidth(window) == 2) {
      DrawEdge(dc, &client, EDGE_SUNKEN, BF_RECT);
    } else if (BorderWidth(window) == 1) {
      const ScopedGdiObject<HBRUSH> frame(CreateSolidBrush(GetSysColor(COLOR_WINDOWFRAME)));
      FrameRect(dc, &client, frame.Get());
    }
    DrawText(dc, window, state, text_colour);
  }
  if (given == nullptr) EndPaint(window, &paint);
}

LRESULT GetText(const EditState& state, WPARAM size, LPARAM buffer) {
  if (size == 0 || buffer == 0) return 0;
  const std::string text = Utf16ToUtf8(state.text);
  std::size_t count = std::min<std::size_t>(text.size(), size - 1);
  // Never cut a character in two.
  while (count > 0 && count < text.size() && (static_cast<unsigned char>(text[count]) & 0xC0) == 0x80) --count;
  auto* out = reinterpret_cast<char*>(buffer);
  std::copy_n(text.data(), count, out);
  out[count] = '\0';
  return static_cast<LRESULT>(count);
}

LRESULT GetSelection(const EditState& state, WPARAM start_out, LPARAM end_out) {
  const std::size_t start = SelectionStart(state), end = SelectionEnd(state);
  if (start_out != 0) *reinterpret_cast<DWORD*>(start_out) = static_cast<DWORD>(start);
  if (end_out != 0) *reinterpret_cast<DWORD*>(end_out) = static_cast<DWORD>(end);
  const auto clip = [](std::size_t value) { return static_cast<WORD>(std::min<std::size_t>(value, 0xFFFF)); };
  return static_cast<LRESULT>(MAKELONG(clip(start), clip(end)));
}

void SetSelection(HWND window, EditState& state, WPARAM anchor, LPARAM caret) {
  const auto anchor_value = static_cast<LONG_PTR>(static_cast<INT>(anchor));
  const auto caret_value = static_cast<LONG_PTR>(static_cast<INT>(caret));
  const std::size_t size = state.text.size();
  const std::size_t caret_pos = caret_value < 0 ? size : Snap(state.text, static_cast<std::size_t>(caret_value));
  if (anchor_value < 0) {
    state.anchor = state.caret;
  } else {
    state.anchor = Snap(state.text, static_cast<std::size_t>(anchor_value));
    state.caret = caret_pos;
  }
  Changed(window, state);
}

LRESULT Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  EditState* state = StateOf(window);
  if (message == WM_NCCREATE) {
    auto* made = new EditState;
    const auto* create = reinterpret_cast<const CREATESTRUCTA*>(lParam);
    if (create != nullptr && create->lpszName != nullptr) made->text = Utf8ToUtf16(create->lpszName);
    SetWindowLongPtrA(window, 0, reinterpret_cast<LONG_PTR>(made));
    return DefWindowProcA(window, message, wParam, lParam);
  }
  if (state == nullptr) return DefWindowProcA(window, message, wParam, lParam);
  switch (message) {
    case WM_NCDESTROY:
      SetWindowLongPtrA(window, 0, 0);
      delete state;
      return DefWindowProcA(window, message, wParam, lParam);
    case WM_SETTEXT:
      state->text = lParam != 0 ? Utf8ToUtf16(reinterpret_cast<LPCSTR>(lParam)) : std::u16string();
      state->anchor = state->caret = 0;
      state->scroll_x = 0;
      state->top_line = 0;
      DefWindowProcA(window, message, wParam, lParam);
      Changed(window, *state);
      return TRUE;
    case WM_GETTEXT:
      return GetText(*state, wParam, lParam);
    case WM_GETTEXTLENGTH:
      return static_cast<LRESULT>(Utf16ToUtf8(state->text).size());
    case WM_SETFONT:
      state->font = reinterpret_cast<HFONT>(wParam);
      if (LOWORD(static_cast<DWORD_PTR>(lParam)) != 0) Changed(window, *state);
      return 0;
    case WM_GETFONT:
      return reinterpret_cast<LRESULT>(state->font);
    case EM_GETSEL:
      return GetSelection(*state, wParam, lParam);
    case EM_SETSEL:
      SetSelection(window, *state, wParam, lParam);
      return 0;
    case EM_REPLACESEL:
      ReplaceSelection(window, *state, lParam != 0 ? Utf8ToUtf16(reinterpret_cast<LPCSTR>(lParam)) : u"");
      return 0;
    case WM_CHAR:
      TypeCharacter(window, *state, wParam);
      return 0;
    case WM_KEYDOWN:
      HandleKey(window, *state, wParam);
      return 0;
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
    case WM_SIZE:
      Changed(window, *state);
      return DefWindowProcA(window, message, wParam, lParam);
    case WM_LBUTTONDOWN:
      if (GetFocus() != window) SetFocus(window);
      MoveCaret(window, *state, PositionAtPoint(window, *state, lParam), GetKeyState(VK_SHIFT) < 0);
      state->selecting = true;
      SetCapture(window);
      return 0;
    case WM_MOUSEMOVE:
      if (state->selecting) MoveCaret(window, *state, PositionAtPoint(window, *state, lParam), true);
      return 0;
    case WM_LBUTTONUP:
      if (state->selecting && GetCapture() == window) ReleaseCapture();
      state->selecting = false;
      return 0;
    case WM_CAPTURECHANGED:
      state->selecting = false;
      return 0;
    case WM_CONTEXTMENU:
      return 0;
    case WM_ERASEBKGND:
      return 1;  // painting covers the whole box
    case WM_PAINT:
      Paint(window, *state, reinterpret_cast<HDC>(wParam));
      return 0;
    default:
      return DefWindowProcA(window, message, wParam, lParam);
  }
}

}  // namespace

void RegisterEditClass() {
  static std::once_flag registered;
  std::call_once(registered, [] {
    WNDCLASSA window_class;
    window_class.style = CS_GLOBALCLASS | CS_DBLCLKS;
    window_class.lpfnWndProc = &Procedure;
    window_class.cbWndExtra = sizeof(LONG_PTR);
    window_class.lpszClassName = WC_EDITA;
    window_class.hCursor = LoadCursorA(nullptr, IDC_IBEAM);
    RegisterClassA(&window_class);
  });
}

}  // namespace win
