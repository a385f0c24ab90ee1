#include "platform/user/trackbar.h"

#include <algorithm>
#include <mutex>

#include "platform/core/mul_div.h"
#include "platform/gdi/gdi.h"
#include "platform/gdi/scoped_gdi.h"
#include "platform/user/input_state.h"
#include "platform/user/messages.h"
#include "platform/user/paint.h"
#include "platform/user/system_metrics.h"
#include "platform/user/window.h"
#include "platform/user/window_position.h"

namespace win {

namespace {

// The thumb is 11 pixels wide; the channel keeps half a thumb free at either end so the thumb's
// centre can reach both ends of the range.
constexpr int kThumbWidth = 11;
constexpr int kThumbHalf = kThumbWidth / 2;
constexpr int kChannelInset = kThumbHalf + 2;
constexpr int kChannelHeight = 4;
constexpr int kThumbMargin = 2;  // free rows above and below the thumb

struct TrackBarState {
  LONG minimum = 0;
  LONG maximum = 100;
  LONG position = 0;
  bool dragging = false;
};

TrackBarState* StateOf(HWND window) {
  return reinterpret_cast<TrackBarState*>(GetWindowLongPtrA(window, 0));
}

RECT ClientOf(HWND window) {
  RECT client{};
  GetClientRect(window, &client);
  return client;
}

// The channel's usable span in x: from the centre of the thumb at the minimum to its centre at
// the maximum.
void ChannelSpan(const RECT& client, int* left, int* width) {
  *left = client.left + kChannelInset;
  *width = std::max<int>(client.right - client.left - 2 * kChannelInset, 0);
}

int ThumbCentre(const TrackBarState& state, const RECT& client) {
  int left = 0;
  int width = 0;
  ChannelSpan(client, &left, &width);
  const LONG range = state.maximum - state.minimum;
  if (range <= 0) return left;
  return left + MulDiv(state.position - state.minimum, width, range);
}

RECT ThumbRect(const TrackBarState& state, const RECT& client) {
  const int centre = ThumbCentre(state, client);
  return RECT{centre - kThumbHalf, client.top + kThumbMargin, centre - kThumbHalf + kThumbWidth,
              std::max<LONG>(client.bottom - kThumbMargin, client.top + kThumbMargin)};
}

// The position under a client x, rounded to the nearest step and clamped to the range.
LONG PositionAt(const TrackBarState& state, const RECT& client, int x) {
  int left = 0;
  int width = 0;
  ChannelSpan(client, &left, &width);
  const LONG range = state.maximum - state.minimum;
  if (range <= 0 || width <= 0) return state.minimum;
  const int offset = std::clamp(x - left, 0, width);
  return state.minimum + MulDiv(offset, range, width);
}

void Clamp(TrackBarState& state) {
  if (state.maximum < state.minimum) state.maximum = state.minimum;
  state.position = std::clamp(state.position, state.minimum, state.maximum);
}

void Notify(HWND window, WORD code, LONG position) {
  HWND parent = GetParent(window);
  if (parent == nullptr) return;
  const WPARAM wParam = MAKELONG(code, static_cast<WORD>(position));
  SendMessageA(parent, WM_HSCROLL, wParam, reinterpret_cast<LPARAM>(window));
}

// Moves the thumb under x while it is dragged; the parent hears each change.
void TrackTo(HWND window, TrackBarState& state, int x) {
  const LONG position = PositionAt(state, ClientOf(window), x);
  if (position == state.position) return;
  state.position = position;
  InvalidateRect(window, nullptr, FALSE);
  Notify(window, TB_THUMBTRACK, position);
}

void EndDrag(HWND window, TrackBarState& state, bool notify) {
  if (!state.dragging) return;
  state.dragging = false;
  if (!notify) return;
  Notify(window, TB_THUMBPOSITION, state.position);
  Notify(window, TB_ENDTRACK, state.position);
}

// Paints into `given` when the caller passes a context (a subclassing control paints that way,
// after its own BeginPaint has validated the window), else into a paint context of its own.
void Paint(HWND window, const TrackBarState& state, HDC given) {
  PAINTSTRUCT paint;
  HDC dc = given != nullptr ? given : BeginPaint(window, &paint);
  if (dc == nullptr) return;
  const RECT client = ClientOf(window);
  const ScopedGdiObject<HBRUSH> face(CreateSolidBrush(GetSysColor(COLOR_BTNFACE)));
  FillRect(dc, &client, face.Get());
  const int middle = (client.top + client.bottom) / 2;
  RECT channel{client.left + kChannelInset - 2, middle - kChannelHeight / 2, client.right - kChannelInset + 2,
               middle + kChannelHeight / 2};
  DrawEdge(dc, &channel, EDGE_SUNKEN, BF_RECT);
  RECT thumb = ThumbRect(state, client);
  FillRect(dc, &thumb, face.Get());
  DrawEdge(dc, &thumb, EDGE_RAISED, BF_RECT);
  if (given == nullptr) EndPaint(window, &paint);
}

LRESULT SetRange(HWND window, TrackBarState& state, LONG minimum, LONG maximum, bool redraw) {
  state.minimum = minimum;
  state.maximum = maximum;
  Clamp(state);
  if (redraw) InvalidateRect(window, nullptr, FALSE);
  return 0;
}

LRESULT Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  TrackBarState* state = StateOf(window);
  if (message == WM_NCCREATE) {
    SetWindowLongPtrA(window, 0, reinterpret_cast<LONG_PTR>(new TrackBarState));
    return DefWindowProcA(window, message, wParam, lParam);
  }
  if (state == nullptr) return DefWindowProcA(window, message, wParam, lParam);
  switch (message) {
    case WM_NCDESTROY:
      SetWindowLongPtrA(window, 0, 0);
      delete state;
      return DefWindowProcA(window, message, wParam, lParam);
    case TBM_GETPOS:
      return state->position;
    case TBM_GETRANGEMIN:
      return state->minimum;
    case TBM_GETRANGEMAX:
      return state->maximum;
    case TBM_SETPOS:
      state->position = static_cast<LONG>(lParam);
      Clamp(*state);
      if (wParam != 0) InvalidateRect(window, nullptr, FALSE);
      return 0;
    case TBM_SETRANGE:
      return SetRange(window, *state, static_cast<SHORT>(LOWORD(lParam)), static_cast<SHORT>(HIWORD(lParam)),
                      wParam != 0);
    case TBM_SETRANGEMIN:
      return SetRange(window, *state, static_cast<LONG>(lParam), state->maximum, wParam != 0);
    case TBM_SETRANGEMAX:
      return SetRange(window, *state, state->minimum, static_cast<LONG>(lParam), wParam != 0);
    case TBM_GETTHUMBRECT:
      if (lParam != 0) *reinterpret_cast<RECT*>(lParam) = ThumbRect(*state, ClientOf(window));
      return 0;
    case WM_LBUTTONDOWN:
      state->dragging = true;
      SetCapture(window);
      TrackTo(window, *state, static_cast<SHORT>(LOWORD(lParam)));
      return 0;
    case WM_MOUSEMOVE:
      if (state->dragging) TrackTo(window, *state, static_cast<SHORT>(LOWORD(lParam)));
      return 0;
    case WM_LBUTTONUP:
      if (!state->dragging) return 0;
      TrackTo(window, *state, static_cast<SHORT>(LOWORD(lParam)));
      EndDrag(window, *state, true);
      if (GetCapture() == window) ReleaseCapture();
      return 0;
    case WM_CAPTURECHANGED:
      // Capture taken away mid-drag: the thumb stays where it is and the track ends.
      EndDrag(window, *state, true);
      return 0;
    case WM_ERASEBKGND:
      return 1;  // painting covers the whole client area
    case WM_PAINT:
      Paint(window, *state, reinterpret_cast<HDC>(wParam));
      return 0;
    default:
      return DefWindowProcA(window, message, wParam, lParam);
  }
}

}  // namespace

void InitCommonControls() {
  static std::once_flag registered;
  std::call_once(registered, [] {
    WNDCLASSA window_class;
    window_class.style = CS_GLOBALCLASS;
    window_class.lpfnWndProc = &Procedure;
    window_class.cbWndExtra = sizeof(LONG_PTR);
    window_class.lpszClassName = TRACKBAR_CLASSA;
    RegisterClassA(&window_class);
  });
}

}  // namespace win
