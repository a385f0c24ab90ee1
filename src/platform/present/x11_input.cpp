#include "platform/present/x11_input.h"

#include "platform/user/cursors.h"
#include "platform/user/input_state.h"
#include "platform/user/messages.h"
#include "platform/user/system_metrics.h"
#include "platform/user/window.h"
#include "platform/user/window_position.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>

#include <cstdlib>

namespace win::present {

namespace {

constexpr short kWheelDelta = 120;

struct KeyMapping {
  unsigned long keysym;
  WORD key;
};

constexpr KeyMapping kKeys[] = {
    {XK_BackSpace, 0x08}, {XK_Tab, 0x09},     {XK_Return, 0x0D},   {XK_KP_Enter, 0x0D}, {XK_Escape, 0x1B},
    {XK_space, 0x20},     {XK_Prior, 0x21},   {XK_Next, 0x22},     {XK_End, 0x23},      {XK_Home, 0x24},
    {XK_Left, 0x25},      {XK_Up, 0x26},      {XK_Right, 0x27},    {XK_Down, 0x28},     {XK_Insert, 0x2D},
    {XK_Delete, 0x2E},    {XK_Shift_L, 0x10}, {XK_Shift_R, 0x10},  {XK_Control_L, 0x11}, {XK_Control_R, 0x11},
    {XK_Alt_L, 0x12},     {XK_Alt_R, 0x12},
};

WPARAM ButtonState(unsigned int state) {
  WPARAM flags = 0;
  if (state & Button1Mask) flags |= MK_LBUTTON;
  if (state & Button2Mask) flags |= MK_MBUTTON;
  if (state & Button3Mask) flags |= MK_RBUTTON;
  if (state & ShiftMask) flags |= MK_SHIFT;
  if (state & ControlMask) flags |= MK_CONTROL;
  return flags;
}

void SetKeyDown(WORD key, bool down) {
  BYTE keys[256];
  GetKeyboardState(keys);
  if (down && !(keys[key] & 0x80)) keys[key] ^= 0x01;  // each press toggles
  keys[key] = static_cast<BYTE>(down ? (keys[key] | 0x80) : (keys[key] & ~0x80));
  SetKeyboardState(keys);
}

WPARAM ButtonFlag(unsigned int button) {
  return button == Button1 ? MK_LBUTTON : (button == Button3 ? MK_RBUTTON : MK_MBUTTON);
}

WORD ButtonKey(unsigned int button) {
  return button == Button1 ? VK_LBUTTON : (button == Button3 ? VK_RBUTTON : VK_MBUTTON);
}

GUITHREADINFO ThreadStateOf(HWND window) {
  GUITHREADINFO info;
  const DWORD thread = GetWindowThreadProcessId(window, nullptr);
  if (thread == 0 || !GetGUIThreadInfo(thread, &info)) info = GUITHREADINFO{};
  return info;
}

LPARAM ClientPoint(HWND window, POINT screen) {
  ScreenToClient(window, &screen);
  return MAKELPARAM(static_cast<WORD>(screen.x), static_cast<WORD>(screen.y));
}

HWND PointerTarget(POINT screen, HWND top_level, bool* captured = nullptr) {
  RecordCursorPos(screen.x, screen.y);
  const HWND capture = ThreadStateOf(top_level).hwndCapture;
  if (captured != nullptr) *captured = capture != nullptr;
  return capture ? capture : WindowFromPoint(screen);
}

void PostPointer(UINT message, WPARAM flags, POINT screen, HWND target) {
  if (target != nullptr && message != 0) PostMessageA(target, message, flags, ClientPoint(target, screen));
}

void PostWheel(int direction, WPARAM flags, POINT screen, HWND top_level) {
  RecordCursorPos(screen.x, screen.y);
  HWND target = ThreadStateOf(top_level).hwndFocus;
  if (target == nullptr) target = WindowFromPoint(screen);
  if (target == nullptr) return;
  const WORD delta = static_cast<WORD>(static_cast<short>(direction * kWheelDelta));
  PostMessageA(target, WM_MOUSEWHEEL, MAKEWPARAM(static_cast<WORD>(flags), delta),
               MAKELPARAM(static_cast<WORD>(screen.x), static_cast<WORD>(screen.y)));
}

UINT ButtonMessage(unsigned int button, bool down) {
  switch (button) {
    case Button1:
      return down ? WM_LBUTTONDOWN : WM_LBUTTONUP;
    case Button2:
      return down ? WM_MBUTTONDOWN : WM_MBUTTONUP;
    case Button3:
      return down ? WM_RBUTTONDOWN : WM_RBUTTONUP;
    default:
      return 0;
  }
}

// A key symbol whose value is a printable Latin-1 character.
bool IsTypedLatin1(KeySym keysym) { return (keysym >= 0x20 && keysym <= 0x7E) || (keysym >= 0xA0 && keysym <= 0xFF); }

void PostKey(const XKeyEvent& event, HWND top_level) {
  XKeyEvent copy = event;
  KeySym keysym = NoSymbol;
  char text[8];
  XLookupString(&copy, text, sizeof text, &keysym, nullptr);
  WORD key = VirtualKeyOfKeysym(keysym);
  // The character the key types on the layout in force travels in the scan-code byte, so that
  // its case does not depend on when Shift is read; a character without a key of its own (ä, ß,
  // punctuation) comes as VK_PACKET.
  const LPARAM typed = IsTypedLatin1(keysym) ? static_cast<LPARAM>(keysym) << 16 : 0;
  if (key == 0 && typed != 0) key = static_cast<WORD>(VK_PACKET);
  if (key == 0) return;
  const GUITHREADINFO state = ThreadStateOf(top_level);
  HWND target = state.hwndFocus ? state.hwndFocus : (state.hwndActive ? state.hwndActive : top_level);
  const bool down = event.type == KeyPress;
  SetKeyDown(key, down);
  // Repeat count 1; key-up messages carry the previous-state and transition bits.
  const LPARAM flags = (down ? 1 : static_cast<LPARAM>(0xC0000001u)) | typed;
  PostMessageA(target, down ? WM_KEYDOWN : WM_KEYUP, key, flags);
}

}  // namespace

WORD VirtualKeyOfKeysym(unsigned long keysym) {
  if (keysym >= XK_a && keysym <= XK_z) return static_cast<WORD>('A' + (keysym - XK_a));
  if (keysym >= XK_A && keysym <= XK_Z) return static_cast<WORD>(keysym);
  if (keysym >= XK_0 && keysym <= XK_9) return static_cast<WORD>(keysym);
  if (keysym >= XK_F1 && keysym <= XK_F12) return static_cast<WORD>(0x70 + (keysym - XK_F1));
  for (const KeyMapping& mapping : kKeys)
    if (mapping.keysym == keysym) return mapping.key;
  return 0;
}

UINT InputTranslator::ButtonDownMessage(HWND target, unsigned int button, unsigned long time, POINT screen) {
  const UINT down = ButtonMessage(button, true);
  const bool wants_double = (GetClassLongPtrA(target, GCL_STYLE) & CS_DBLCLKS) != 0;
  const bool is_double = wants_double && last_click_.window == target && last_click_.button == button &&
                         time - last_click_.time <= GetDoubleClickTime() &&
                         std::abs(screen.x - last_click_.screen.x) <= GetSystemMetrics(SM_CXDOUBLECLK) / 2 &&
                         std::abs(screen.y - last_click_.screen.y) <= GetSystemMetrics(SM_CYDOUBLECLK) / 2;
  // A double click ends the sequence: a third click starts a new one.
  last_click_ = is_double ? Click{} : Click{target, button, time, screen};
  return is_double ? down + (WM_LBUTTONDBLCLK - WM_LBUTTONDOWN) : down;
}

void InputTranslator::Post(const _XEvent& event, HWND top_level) {
  RECT rect;
  if (!GetWindowRect(top_level, &rect)) return;
  switch (event.type) {
    case ButtonPress:
    case ButtonRelease: {
      const XButtonEvent& button = event.xbutton;
      const POINT screen{rect.left + button.x, rect.top + button.y};
      WPARAM flags = ButtonState(button.state);
      if (button.button == Button4 || button.button == Button5) {
        if (event.type == ButtonPress) PostWheel(button.button == Button4 ? 1 : -1, flags, screen, top_level);
        return;
      }
      if (ButtonMessage(button.button, true) == 0) return;
      const bool down = event.type == ButtonPress;
      // X reports the buttons held before the event; the message tells those held after it.
      flags = down ? (flags | ButtonFlag(button.button)) : (flags & ~ButtonFlag(button.button));
      SetKeyDown(ButtonKey(button.button), down);
      const HWND target = PointerTarget(screen, top_level);
      if (target == nullptr) return;
      const UINT message = down ? ButtonDownMessage(target, button.button, button.time, screen)
                                : ButtonMessage(button.button, false);
      PostPointer(message, flags, screen, target);
      return;
    }
    case MotionNotify: {
      const POINT screen{rect.left + event.xmotion.x, rect.top + event.xmotion.y};
      bool captured = false;
      const HWND target = PointerTarget(screen, top_level, &captured);
      if (target == nullptr) return;
      // The window under the pointer chooses the cursor before each move (not while captured).
      if (!captured) {
        PostMessageA(target, WM_SETCURSOR, reinterpret_cast<WPARAM>(target), MAKELPARAM(static_cast<WORD>(HTCLIENT), static_cast<WORD>(WM_MOUSEMOVE)));
      }
      PostPointer(WM_MOUSEMOVE, ButtonState(event.xmotion.state), screen, target);
      return;
    }
    case KeyPress:
    case KeyRelease:
      PostKey(event.xkey, top_level);
      return;
    default:
      return;
  }
}

}  // namespace win::present
