#include "platform/user/menu_window.h"

#include <algorithm>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "platform/core/strings.h"
#include "platform/gdi/dc_access.h"
#include "platform/gdi/gdi.h"
#include "platform/gdi/scoped_gdi.h"
#include "platform/text/text.h"
#include "platform/user/input_state.h"
#include "platform/user/menus.h"
#include "platform/user/messages.h"
#include "platform/user/paint.h"
#include "platform/user/system_metrics.h"
#include "platform/user/window.h"
#include "platform/user/window_position.h"

namespace win {

namespace {

constexpr int kFrame = 2;             // the raised edge around the items
constexpr int kMarkWidth = 18;        // room before the text for a check or radio mark
constexpr int kArrowWidth = 18;       // room after the text for a submenu's arrow
constexpr int kItemExtraHeight = 6;   // above and below the text
constexpr int kSeparatorHeight = 9;
constexpr int kBarGap = 6;            // between two columns split by a bar break, the line in it
constexpr WPARAM kEscape = 0x1B, kReturn = 0x0D, kLeft = 0x25, kUp = 0x26, kRight = 0x27, kDown = 0x28;
constexpr UINT kRightToLeftTypes = MFT_RIGHTORDER | MFT_RIGHTJUSTIFY;

// The marks, drawn pixel by pixel in the text's colour ('#' is ink), as the classic menus do.
constexpr std::string_view kCheckGlyph[] = {"......#", ".....##", "#...###", "##.###.", "#####..", ".###...", "..#...."};
constexpr std::string_view kBulletGlyph[] = {".####.", "######", "######", "######", "######", ".####."};
constexpr std::string_view kArrowGlyph[] = {"#...", "##..", "###.", "####", "###.", "##..", "#..."};

// One item as the window shows it.
struct ShownItem {
  std::u16string text;
  UINT id = 0;
  HMENU submenu = nullptr;
  bool separator = false;
  bool grayed = false;
  bool checked = false;
  bool radio = false;
  bool is_default = false;
  bool right_to_left = false;
  UINT column_break = 0;  // MFT_MENUBREAK or MFT_MENUBARBREAK: the item starts a column
  RECT rect{};            // client coordinates

  bool Selectable() const { return !separator && !grayed; }
  bool Choosable() const { return Selectable() && submenu == nullptr; }
};

struct MenuSession;

// One window of the menu: the menu itself or an open submenu.
struct MenuLevel {
  MenuSession* session = nullptr;
  HMENU menu = nullptr;
  HWND window = nullptr;
  std::vector<ShownItem> items;
  std::vector<RECT> bar_lines;  // the lines of bar breaks, client coordinates
  bool right_to_left = false;
  int hot = -1;                 // the highlighted item, -1 for none
};

// What the loop and the window procedures share while the menu is up.
struct MenuSession {
  HWND owner = nullptr;
  ScopedGdiObject<HFONT> bold_font;
  std::vector<std::unique_ptr<MenuLevel>> levels;  // the menu first, then each open submenu
  bool done = false;
  UINT chosen = 0;
};

HFONT MenuFont() { return static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT)); }

HFONT MakeBoldMenuFont() {
  LOGFONTW font{};
  if (GetObjectW(MenuFont(), sizeof(font), &font) == 0) return nullptr;
  font.lfWeight = FW_BOLD;
  return CreateFontIndirectW(&font);
}

HFONT FontOf(const MenuSession& session, const ShownItem& item) {
  return item.is_default && session.bold_font ? session.bold_font.Get() : MenuFont();
}

std::vector<ShownItem> ReadItems(HMENU menu) {
  std::vector<ShownItem> items;
  const int count = GetMenuItemCount(menu);
  for (int position = 0; position < count; ++position) {
    WCHAR text[256] = {};
    MENUITEMINFOW info;
    info.fMask = MIIM_FTYPE | MIIM_STATE | MIIM_ID | MIIM_SUBMENU | MIIM_STRING;
    info.dwTypeData = text;
    info.cch = 255;
    if (!GetMenuItemInfoW(menu, static_cast<UINT>(position), TRUE, &info)) continue;
    ShownItem item;
    item.separator = (info.fType & MFT_SEPARATOR) != 0;
    item.text = text;
    item.id = info.wID;
    item.submenu = info.hSubMenu;
    item.grayed = (info.fState & MFS_GRAYED) != 0;
    item.checked = (info.fState & MFS_CHECKED) != 0;
    item.radio = (info.fType & MFT_RADIOCHECK) != 0;
    item.is_default = (info.fState & MFS_DEFAULT) != 0;
    item.right_to_left = (info.fType & kRightToLeftTypes) != 0;
    item.column_break = info.fType & (MFT_MENUBREAK | MFT_MENUBARBREAK);
    items.push_back(std::move(item));
  }
  return items;
}

// The widths of the items' texts, each in its own font; the height of a text line.
int MeasureTexts(const MenuSession& session, const std::vector<ShownItem>& items, std::vector<int>* widths) {
  const HDC dc = GetDC(nullptr);
  int text_height = 0;
  {
    const ScopedSelect font(dc, MenuFont());
    TEXTMETRICW metrics{};
    GetTextMetricsW(dc, &metrics);
    text_height = metrics.tmHeight;
  }
  for (const ShownItem& item : items) {
    RECT measured{0, 0, 0, 0};
    if (!item.separator) {
      const ScopedSelect font(dc, FontOf(session, item));
      DrawTextW(dc, item.text.c_str(), static_cast<int>(item.text.size()), &measured,
                DT_SINGLELINE | DT_CALCRECT);
    }
    widths->push_back(measured.right - measured.left);
  }
  ReleaseDC(nullptr, dc);
  return text_height;
}

// Mirrors a rectangle inside a window `width` wide.
RECT Mirrored(const RECT& rect, int width) { return RECT{width - rect.right, rect.top, width - rect.left, rect.bottom}; }

// Lays the items out in columns, a break starting the next one; answers the window's size.
SIZE LayOut(MenuLevel& level) {
  std::vector<int> widths;
  const int text_height = MeasureTexts(*level.session, level.items, &widths);
  const std::size_t count = level.items.size();
  int x = kFrame;
  int bottom = kFrame;
  for (std::size_t first = 0; first < count;) {
    std::size_t end = first + 1;
    while (end < count && level.items[end].column_break == 0) ++end;
    if (first > 0 && (level.items[first].column_break & MFT_MENUBARBREAK) != 0) {
      level.bar_lines.push_back(RECT{x + kBarGap / 2 - 1, kFrame, x + kBarGap / 2 + 1, 0});
      x += kBarGap;
    }
    const int column_width = kMarkWidth + *std::max_element(widths.begin() + static_cast<std::ptrdiff_t>(first),
                                                            widths.begin() + static_cast<std::ptrdiff_t>(end)) +
                             kArrowWidth;
    int y = kFrame;
    for (std::size_t i = first; i < end; ++i) {
      const int height = level.items[i].separator ? kSeparatorHeight : text_height + kItemExtraHeight;
      level.items[i].rect = RECT{x, y, x + column_width, y + height};
      y += height;
    }
    bottom = std::max(bottom, y);
    x += column_width;
    first = end;
  }
  const SIZE size{x + kFrame, bottom + kFrame};
  for (RECT& line : level.bar_lines) line.bottom = bottom;
  level.right_to_left = std::any_of(level.items.begin(), level.items.end(),
                                    [](const ShownItem& item) { return item.right_to_left; });
  if (level.right_to_left) {
    for (ShownItem& item : level.items) item.rect = Mirrored(item.rect, size.cx);
    for (RECT& line : level.bar_lines) line = Mirrored(line, size.cx);
  }
  return size;
}

// Draws a glyph's ink centred in `box`, flipped left to right when `mirrored`.
template <std::size_t Rows>
void DrawGlyph(HDC dc, const std::string_view (&glyph)[Rows], const RECT& box, bool mirrored, HBRUSH ink) {
  const int width = static_cast<int>(glyph[0].size());
  const int left = (box.left + box.right - width) / 2;
  const int top = (box.top + box.bottom - static_cast<int>(Rows)) / 2;
  for (std::size_t row = 0; row < Rows; ++row) {
    for (int column = 0; column < width; ++column) {
      if (glyph[row][static_cast<std::size_t>(column)] != '#') continue;
      const int x = left + (mirrored ? width - 1 - column : column);
      const RECT dot{x, top + static_cast<int>(row), x + 1, top + static_cast<int>(row) + 1};
      FillRect(dc, &dot, ink);
    }
  }
}

COLORREF InkOf(const ShownItem& item, bool hot) {
  if (item.grayed) return GetSysColor(COLOR_GRAYTEXT);
  return GetSysColor(hot ? COLOR_HIGHLIGHTTEXT : COLOR_MENUTEXT);
}

// The one place that draws an item: the mark before the text, the arrow after it; both sides
// swap in a right-to-left menu.
void DrawMenuItem(HDC dc, const MenuLevel& level, const ShownItem& item, bool hot) {
  const RECT& rect = item.rect;
  if (item.separator) {
    RECT line{rect.left + 1, (rect.top + rect.bottom) / 2 - 1, rect.right - 1, (rect.top + rect.bottom) / 2 + 1};
    DrawEdge(dc, &line, EDGE_ETCHED, BF_TOP);
    return;
  }
  const ScopedGdiObject<HBRUSH> back(CreateSolidBrush(GetSysColor(hot ? COLOR_HIGHLIGHT : COLOR_MENU)));
  FillRect(dc, &rect, back.Get());
  const bool mirrored = level.right_to_left;
  const RECT start_box = mirrored ? RECT{rect.right - kMarkWidth, rect.top, rect.right, rect.bottom}
                                  : RECT{rect.left, rect.top, rect.left + kMarkWidth, rect.bottom};
  const RECT end_box = mirrored ? RECT{rect.left, rect.top, rect.left + kArrowWidth, rect.bottom}
                                : RECT{rect.right - kArrowWidth, rect.top, rect.right, rect.bottom};
  const COLORREF ink = InkOf(item, hot);
  const ScopedGdiObject<HBRUSH> ink_brush(CreateSolidBrush(ink));
  if (item.checked && item.radio) DrawGlyph(dc, kBulletGlyph, start_box, mirrored, ink_brush.Get());
  if (item.checked && !item.radio) DrawGlyph(dc, kCheckGlyph, start_box, mirrored, ink_brush.Get());
  if (item.submenu != nullptr) DrawGlyph(dc, kArrowGlyph, end_box, mirrored, ink_brush.Get());
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, ink);
  RECT text = mirrored ? RECT{rect.left + kArrowWidth, rect.top, rect.right - kMarkWidth, rect.bottom}
                       : RECT{rect.left + kMarkWidth, rect.top, rect.right - kArrowWidth, rect.bottom};
  const ScopedSelect font(dc, FontOf(*level.session, item));
  DrawTextW(dc, item.text.c_str(), static_cast<int>(item.text.size()), &text,
            DT_SINGLELINE | DT_VCENTER | (mirrored ? DT_RIGHT : DT_LEFT));
}

void Paint(HWND window, const MenuLevel& level) {
  PAINTSTRUCT paint{};
  const HDC dc = BeginPaint(window, &paint);
  if (dc == nullptr) return;
  RECT client{};
  GetClientRect(window, &client);
  const ScopedGdiObject<HBRUSH> face(CreateSolidBrush(GetSysColor(COLOR_MENU)));
  FillRect(dc, &client, face.Get());
  DrawEdge(dc, &client, EDGE_RAISED, BF_RECT);
  for (RECT line : level.bar_lines) DrawEdge(dc, &line, EDGE_ETCHED, BF_LEFT);
  for (std::size_t i = 0; i < level.items.size(); ++i)
    DrawMenuItem(dc, level, level.items[i], static_cast<int>(i) == level.hot);
  EndPaint(window, &paint);
}

int ItemAt(const MenuLevel& level, POINT point) {
  for (std::size_t i = 0; i < level.items.size(); ++i)
    if (PtInRect(&level.items[i].rect, point)) return static_cast<int>(i);
  return -1;
}

MenuLevel* LevelOf(HWND window) { return reinterpret_cast<MenuLevel*>(GetWindowLongPtrA(window, 0)); }

void SetHot(MenuLevel& level, int hot) {
  if (hot >= 0 && !level.items[static_cast<std::size_t>(hot)].Selectable()) hot = -1;
  if (hot == level.hot) return;
  level.hot = hot;
  InvalidateRect(level.window, nullptr, FALSE);
}

// The first decision stands.
void Finish(MenuSession& session, UINT chosen) {
  if (session.done) return;
  session.done = true;
  session.chosen = chosen;
}

// Closes the submenus opened from level `depth` on.
void CloseLevelsFrom(MenuSession& session, std::size_t depth) {
  while (session.levels.size() > std::max<std::size_t>(depth, 1)) {
    DestroyWindow(session.levels.back()->window);
    session.levels.pop_back();
  }
}

// The menu's top-left corner: at the point, moved back onto the screen where it would leave it.
POINT PlaceOnScreen(POINT position, SIZE size) {
  const gdi::VirtualScreen screen = gdi::GetVirtualScreen();
  if (position.x + size.cx > screen.width) position.x = std::max<LONG>(screen.width - size.cx, 0);
  if (position.y + size.cy > screen.height) position.y = std::max<LONG>(screen.height - size.cy, 0);
  return POINT{std::max<LONG>(position.x, 0), std::max<LONG>(position.y, 0)};
}

// A submenu opens beside its item, forwards (right, or left in a right-to-left menu), or
// backwards when forwards would leave the screen.
POINT PlaceSubmenu(const MenuLevel& parent, const ShownItem& item, SIZE size) {
  RECT outer{};
  GetWindowRect(parent.window, &outer);
  const LONG forwards = parent.right_to_left ? outer.left - size.cx : outer.right;
  const LONG backwards = parent.right_to_left ? outer.right : outer.left - size.cx;
  const gdi::VirtualScreen screen = gdi::GetVirtualScreen();
  const bool fits = forwards >= 0 && forwards + size.cx <= screen.width;
  return PlaceOnScreen(POINT{fits ? forwards : backwards, outer.top + item.rect.top - kFrame}, size);
}

// Makes and shows the window of a level laid out already.
bool ShowLevel(MenuLevel& level, POINT at, SIZE size) {
  level.window = CreateWindowExA(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, MENU_WINDOW_CLASSA, "", WS_POPUP, at.x, at.y,
                                 size.cx, size.cy, nullptr, nullptr, nullptr, nullptr);
  if (level.window == nullptr) return false;
  SetWindowLongPtrA(level.window, 0, reinterpret_cast<LONG_PTR>(&level));
  ShowWindow(level.window, SW_SHOWNA);
  UpdateWindow(level.window);
  return true;
}

// Opens the submenu of the hot item of level `depth` unless it is open already; answers whether
// it is open.
bool OpenSubmenu(MenuSession& session, std::size_t depth) {
  MenuLevel& parent = *session.levels[depth];
  if (parent.hot < 0) return false;
  const ShownItem& item = parent.items[static_cast<std::size_t>(parent.hot)];
  if (item.submenu == nullptr || !item.Selectable()) return false;
  if (session.levels.size() > depth + 1 && session.levels[depth + 1]->menu == item.submenu) return true;
  CloseLevelsFrom(session, depth + 1);
  if (session.owner != nullptr)
    SendMessageA(session.owner, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(item.submenu), parent.hot);
  auto level = std::make_unique<MenuLevel>();
  level->session = &session;
  level->menu = item.submenu;
  level->items = ReadItems(item.submenu);
  if (level->items.empty()) return false;
  const SIZE size = LayOut(*level);
  if (!ShowLevel(*level, PlaceSubmenu(parent, item, size), size)) return false;
  session.levels.push_back(std::move(level));
  return true;
}

// Moves the highlight of a level to the next selectable item up or down, wrapping round.
void StepHot(MenuLevel& level, int step) {
  const int count = static_cast<int>(level.items.size());
  int candidate = level.hot;
  for (int tries = 0; tries < count; ++tries) {
    candidate = candidate < 0 ? (step > 0 ? 0 : count - 1) : (candidate + step + count) % count;
    if (level.items[static_cast<std::size_t>(candidate)].Selectable()) {
      SetHot(level, candidate);
      return;
    }
  }
}

// The pointer over item `index` of level `depth` (-1: over no item): the item is highlighted, its
// submenu opens and the submenus of other items close.
void Point(MenuSession& session, std::size_t depth, int index) {
  MenuLevel& level = *session.levels[depth];
  const bool selectable = index >= 0 && level.items[static_cast<std::size_t>(index)].Selectable();
  if (!selectable && session.levels.size() > depth + 1) return;  // the open submenu stays
  SetHot(level, index);
  if (!OpenSubmenu(session, depth)) CloseLevelsFrom(session, depth + 1);
}

// The deepest level whose window holds a screen point; answers false over none.
bool LevelAt(const MenuSession& session, POINT screen, std::size_t* depth, POINT* client) {
  for (std::size_t i = session.levels.size(); i-- > 0;) {
    RECT outer{};
    GetWindowRect(session.levels[i]->window, &outer);
    if (!PtInRect(&outer, screen)) continue;
    *depth = i;
    *client = POINT{screen.x - outer.left, screen.y - outer.top};
    return true;
  }
  return false;
}

POINT PointOf(LPARAM lParam) { return POINT{static_cast<SHORT>(LOWORD(lParam)), static_cast<SHORT>(HIWORD(lParam))}; }

// Pointer messages all come to the menu's window, which holds the capture, in its client
// coordinates; they are meant for whichever level lies under the pointer.
void HandlePointer(HWND window, MenuSession& session, UINT message, LPARAM lParam) {
  POINT screen = PointOf(lParam);
  ClientToScreen(window, &screen);
  std::size_t depth = 0;
  POINT client{};
  if (!LevelAt(session, screen, &depth, &client)) {
    // A press elsewhere dismisses the menu.
    if (message == WM_LBUTTONDOWN || message == WM_RBUTTONDOWN || message == WM_MBUTTONDOWN) Finish(session, 0);
    return;
  }
  const MenuLevel& level = *session.levels[depth];
  const int index = ItemAt(level, client);
  if (message == WM_MOUSEMOVE) Point(session, depth, index);
  if ((message == WM_LBUTTONUP || message == WM_RBUTTONUP) && index >= 0) {
    const ShownItem& item = level.items[static_cast<std::size_t>(index)];
    if (item.Choosable()) Finish(session, item.id);
    if (item.submenu != nullptr) Point(session, depth, index);
  }
}

LRESULT Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  MenuLevel* level = LevelOf(window);
  if (level == nullptr) return DefWindowProcA(window, message, wParam, lParam);
  MenuSession& session = *level->session;
  switch (message) {
    case WM_PAINT:
      Paint(window, *level);
      return 0;
    case WM_ERASEBKGND:
      return 1;
    case WM_MOUSEMOVE:
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
    case WM_LBUTTONUP:
    case WM_RBUTTONUP:
      HandlePointer(window, session, message, lParam);
      return 0;
    case WM_CAPTURECHANGED:
    case WM_CANCELMODE:
      if (message == WM_CANCELMODE || reinterpret_cast<HWND>(lParam) != window) Finish(session, 0);
      return 0;
    default:
      return DefWindowProcA(window, message, wParam, lParam);
  }
}

void RegisterMenuWindowClass() {
  static std::once_flag registered;
  std::call_once(registered, [] {
    WNDCLASSA window_class;
    window_class.style = CS_GLOBALCLASS;
    window_class.lpfnWndProc = &Procedure;
    window_class.cbWndExtra = sizeof(LONG_PTR);
    window_class.lpszClassName = MENU_WINDOW_CLASSA;
    RegisterClassA(&window_class);
  });
}

// Keys reach the deepest open level whichever window has the focus. Right and Left are
// forwards and backwards, the other way round in a right-to-left menu.
void HandleKey(MenuSession& session, WPARAM key) {
  const std::size_t depth = session.levels.size() - 1;
  MenuLevel& level = *session.levels[depth];
  const WPARAM forwards = level.right_to_left ? kLeft : kRight;
  const WPARAM backwards = level.right_to_left ? kRight : kLeft;
  if (key == kEscape && depth == 0) Finish(session, 0);
  if ((key == kEscape || key == backwards) && depth > 0) CloseLevelsFrom(session, depth);
  if (key == kUp) StepHot(level, -1);
  if (key == kDown) StepHot(level, 1);
  if ((key == kReturn || key == forwards) && OpenSubmenu(session, depth)) StepHot(*session.levels[depth + 1], 1);
  if (key == kReturn && level.hot >= 0 && level.items[static_cast<std::size_t>(level.hot)].Choosable())
    Finish(session, level.items[static_cast<std::size_t>(level.hot)].id);
}

bool IsKeyMessage(UINT message) { return message >= WM_KEYDOWN && message <= WM_SYSCHAR; }

void RunMenuLoop(HWND window, MenuSession& session) {
  MSG msg;
  while (!session.done) {
    if (session.owner != nullptr && !IsWindow(session.owner)) break;
    const BOOL got = GetMessageA(&msg, nullptr, 0, 0);
    if (got == 0) {
      PostQuitMessage(static_cast<INT>(msg.wParam));  // the loop outside ends too
      break;
    }
    if (got < 0) break;
    if (IsKeyMessage(msg.message)) {
      if (msg.message == WM_KEYDOWN) HandleKey(session, msg.wParam);
      continue;
    }
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
    if (GetCapture() != window) Finish(session, 0);
  }
}

}  // namespace

UINT ChooseFromMenuWindow(HMENU menu, POINT position, HWND owner) {
  RegisterMenuWindowClass();
  MenuSession session;
  session.owner = owner;
  session.bold_font.Reset(MakeBoldMenuFont());
  auto top = std::make_unique<MenuLevel>();
  top->session = &session;
  top->menu = menu;
  top->items = ReadItems(menu);
  if (top->items.empty()) return 0;
  const SIZE size = LayOut(*top);
  if (!ShowLevel(*top, PlaceOnScreen(position, size), size)) return 0;
  const HWND window = top->window;
  session.levels.push_back(std::move(top));
  SetCapture(window);  // every pointer message comes here, in client coordinates
  RunMenuLoop(window, session);
  if (GetCapture() == window) ReleaseCapture();
  for (std::size_t depth = session.levels.size(); depth-- > 0;) {
    SetWindowLongPtrA(session.levels[depth]->window, 0, 0);
    DestroyWindow(session.levels[depth]->window);
  }
  return session.chosen;
}

}  // namespace win
