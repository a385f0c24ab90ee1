// Virtual-key codes of the keys that keyboard messages carry in wParam (the mouse buttons and the
// shift keys are declared with the keyboard state).
#pragma once

#include "platform/user/input_state.h"

namespace win {

constexpr INT VK_BACK = 0x08;
constexpr INT VK_TAB = 0x09;
constexpr INT VK_RETURN = 0x0D;
constexpr INT VK_PAUSE = 0x13;
constexpr INT VK_ESCAPE = 0x1B;
constexpr INT VK_SPACE = 0x20;
constexpr INT VK_PRIOR = 0x21;  // Page Up
constexpr INT VK_NEXT = 0x22;   // Page Down
constexpr INT VK_END = 0x23;
constexpr INT VK_HOME = 0x24;
constexpr INT VK_LEFT = 0x25;
constexpr INT VK_UP = 0x26;
constexpr INT VK_RIGHT = 0x27;
constexpr INT VK_DOWN = 0x28;
constexpr INT VK_INSERT = 0x2D;
constexpr INT VK_DELETE = 0x2E;
// Digits '0'..'9' and letters 'A'..'Z' are their ASCII codes.
constexpr INT VK_0 = 0x30;
constexpr INT VK_9 = 0x39;
constexpr INT VK_A = 0x41;
constexpr INT VK_Z = 0x5A;
constexpr INT VK_F1 = 0x70;
constexpr INT VK_F10 = 0x79;

}  // namespace win
