#include "platform/user/menu_window.h"

#include <algorithm>
#include <mutex>
#include <string>
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

constexpr int kFrame = 2;              // the raised edge around the items
constexpr int kTextIndent = 18;        // room left of the text (where marks will go)
constexpr int kTextRightMargin = 18;
constexpr int kItemExtraHeight = 6;    // above and below the text
constexpr int kSeparatorHeight = 9;
constexpr WPARAM kEscape = 0x1B, kReturn = 0x0D, kUp = 0x26, kDown = 0x28;
constexpr UINT kTextFormat = DT_SINGLELINE | DT_VCENTER | DT_LEFT;

// One item as the window shows it.
struct ShownItem {
  std::u16string text;
  UINT id = 0;
  bool separator = false;
  bool choosable = false;  // an enabled command (not a submenu)
  RECT rect{};             // client coordinates
};

// What the loop and the window procedure share while the menu is up.
struct MenuSession {
  std::vector<ShownItem> items;
  int hot = -1;           // the highlighted item, -1 for none
  bool done = false;
  UINT chosen = 0;
};

HFONT MenuFont() { return static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT)); }

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
    item.choosable = !item.separator && info.hSubMenu == nullptr && (info.fState & MFS_GRAYED) == 0;
    items.push_back(std::move(item));
  }
  return items;
}

// Lays the items out one under the other; answers the window's size.
SIZE LayOut(std::vector<ShownItem>& items) {
  const HDC dc = GetDC(nullptr);
  int width = 0;
  int text_height = 0;
  {
    const ScopedSelect font(dc, MenuFont());
    TEXTMETRICW metrics{};
    GetTextMetricsW(dc, &metrics);
    text_height = metrics.tmHeight;
    for (const ShownItem& item : items) {
      if (item.separator) continue;
      RECT measured{0, 0, 0, 0};
      DrawTextW(dc, item.text.c_str(), static_cast<int>(item.text.size()), &measured, kTextFormat | DT_CALCRECT);
      width = std::max<int>(width, measured.right - measured.left);
    }
  }
  ReleaseDC(nullptr, dc);
  width += kTextIndent + kTextRightMargin;
  int y = kFrame;
  for (ShownItem& item : items) {
    const int height = item.separator ? kSeparatorHeight : text_height + kItemExtraHeight;
    item.rect = RECT{kFrame, y, kFrame + width, y + height};
    y += height;
  }
  return SIZE{width + 2 * kFrame, y + kFrame};
}

// The one place that draws an item.
void DrawMenuItem(HDC dc, const ShownItem& item, bool hot) {
  RECT rect = item.rect;
  if (item.separator) {
    RECT line{rect.left + 1, (rect.top + rect.bottom) / 2 - 1, rect.right - 1, (rect.top + rect.bottom) / 2 + 1};
    DrawEdge(dc, &line, EDGE_ETCHED, BF_TOP);
    return;
  }
  const ScopedGdiObject<HBRUSH> back(CreateSolidBrush(GetSysColor(hot ? COLOR_HIGHLIGHT : COLOR_MENU)));
  FillRect(dc, &rect, back.Get());
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, GetSysColor(hot ? COLOR_HIGHLIGHTTEXT : COLOR_MENUTEXT));
  RECT text = rect;
  text.left += kTextIndent;
  DrawTextW(dc, item.text.c_str(), static_cast<int>(item.text.size()), &text, kTextFormat);
}

void Paint(HWND window, const MenuSession& session) {
  PAINTSTRUCT paint{};
  const HDC dc = BeginPaint(window, &paint);
  if (dc == nullptr) return;
  RECT client{};
  GetClientRect(window, &client);
  const ScopedGdiObject<HBRUSH> face(CreateSolidBrush(GetSysColor(COLOR_MENU)));
  FillRect(dc, &client, face.Get());
  DrawEdge(dc, &client, EDGE_RAISED, BF_RECT);
  {
    const ScopedSelect font(dc, MenuFont());
    for (std::size_t i = 0; i < session.items.size(); ++i)
      DrawMenuItem(dc, session.items[i], static_cast<int>(i) == session.hot);
  }
  EndPaint(window, &paint);
}

int ItemAt(const MenuSession& session, POINT point) {
  for (std::size_t i = 0; i < session.items.size(); ++i) {
    const RECT& r = session.items[i].rect;
    if (point.x >= r.left && point.x < r.right && point.y >= r.top && point.y < r.bottom) return static_cast<int>(i);
  }
  return -1;
}

MenuSession* SessionOf(HWND window) { return reinterpret_cast<MenuSession*>(GetWindowLongPtrA(window, 0)); }

void SetHot(HWND window, MenuSession& session, int hot) {
  if (hot >= 0 && !session.items[static_cast<std::size_t>(hot)].choosable) hot = -1;
  if (hot == session.hot) return;
  session.hot = hot;
  InvalidateRect(window, nullptr, FALSE);
}

// The first decision stands.
void Finish(MenuSession& session, UINT chosen) {
  if (session.done) return;
  session.done = true;
  session.chosen = chosen;
}

POINT PointOf(LPARAM lParam) { return POINT{static_cast<SHORT>(LOWORD(lParam)), static_cast<SHORT>(HIWORD(lParam))}; }

// Moves the highlight to the next choosable item up or down, wrapping round.
void StepHot(HWND window, MenuSession& session, int step) {
  const int count = static_cast<int>(session.items.size());
  int candidate = session.hot;
  for (int tries = 0; tries < count; ++tries) {
    candidate = candidate < 0 ? (step > 0 ? 0 : count - 1) : (candidate + step + count) % count;
    if (session.items[static_cast<std::size_t>(candidate)].choosable) {
      SetHot(window, session, candidate);
      return;
    }
  }
}

LRESULT Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  MenuSession* session = SessionOf(window);
  if (session == nullptr) return DefWindowProcA(window, message, wParam, lParam);
  switch (message) {
    case WM_PAINT:
      Paint(window, *session);
      return 0;
    case WM_ERASEBKGND:
      return 1;
    case WM_MOUSEMOVE:
      SetHot(window, *session, ItemAt(*session, PointOf(lParam)));
      return 0;
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN: {
      RECT client{};
      GetClientRect(window, &client);
      const POINT point = PointOf(lParam);
      const bool inside = point.x >= 0 && point.y >= 0 && point.x < client.right && point.y < client.bottom;
      if (!inside) Finish(*session, 0);  // a press elsewhere dismisses the menu
      return 0;
    }
    case WM_LBUTTONUP:
    case WM_RBUTTONUP: {
      const int item = ItemAt(*session, PointOf(lParam));
      if (item >= 0 && session->items[static_cast<std::size_t>(item)].choosable)
        Finish(*session, session->items[static_cast<std::size_t>(item)].id);
      return 0;
    }
    case WM_CAPTURECHANGED:
    case WM_CANCELMODE:
      if (message == WM_CANCELMODE || reinterpret_cast<HWND>(lParam) != window) Finish(*session, 0);
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

// The menu's top-left corner: at the point, moved back onto the screen where it would leave it.
POINT PlaceOnScreen(POINT position, SIZE size) {
  const gdi::VirtualScreen screen = gdi::GetVirtualScreen();
  if (position.x + size.cx > screen.width) position.x = std::max<LONG>(screen.width - size.cx, 0);
  if (position.y + size.cy > screen.height) position.y = std::max<LONG>(screen.height - size.cy, 0);
  return POINT{std::max<LONG>(position.x, 0), std::max<LONG>(position.y, 0)};
}

// Keys reach the menu whichever window has the focus.
void HandleKey(HWND window, MenuSession& session, WPARAM key) {
  if (key == kEscape) Finish(session, 0);
  if (key == kUp) StepHot(window, session, -1);
  if (key == kDown) StepHot(window, session, 1);
  if (key == kReturn && session.hot >= 0) Finish(session, session.items[static_cast<std::size_t>(session.hot)].id);
}

bool IsKeyMessage(UINT message) { return message >= WM_KEYDOWN && message <= WM_SYSCHAR; }

void RunMenuLoop(HWND window, MenuSession& session, HWND owner) {
  MSG msg;
  while (!session.done) {
    if (owner != nullptr && !IsWindow(owner)) break;
    const BOOL got = GetMessageA(&msg, nullptr, 0, 0);
    if (got == 0) {
      PostQuitMessage(static_cast<INT>(msg.wParam));  // the loop outside ends too
      break;
    }
    if (got < 0) break;
    if (IsKeyMessage(msg.message)) {
      if (msg.message == WM_KEYDOWN) HandleKey(window, session, msg.wParam);
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
  session.items = ReadItems(menu);
  if (session.items.empty()) return 0;
  const SIZE size = LayOut(session.items);
  const POINT at = PlaceOnScreen(position, size);
  const HWND window = CreateWindowExA(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, MENU_WINDOW_CLASSA, "", WS_POPUP, at.x, at.y,
                                      size.cx, size.cy, nullptr, nullptr, nullptr, nullptr);
  if (window == nullptr) return 0;
  SetWindowLongPtrA(window, 0, reinterpret_cast<LONG_PTR>(&session));
  ShowWindow(window, SW_SHOWNA);
  UpdateWindow(window);
  SetCapture(window);  // every pointer message comes here, in client coordinates
  RunMenuLoop(window, session, owner);
  SetWindowLongPtrA(window, 0, 0);
  if (GetCapture() == window) ReleaseCapture();
  DestroyWindow(window);
  return session.chosen;
}

}  // namespace win
