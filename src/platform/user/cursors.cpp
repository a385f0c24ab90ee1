#include "platform/user/cursors.h"

#include "platform/core/errors.h"

#include <mutex>
#include <utility>

namespace win {

namespace {

constexpr DWORD ERROR_RESOURCE_NAME_NOT_FOUND = 1814;
// System cursor handles: this tag in the high bits, the cursor id in the low word.
constexpr UINT_PTR kSystemCursorTag = 0x6C5E0000;

constexpr WORD kSystemCursorIds[] = {32512, 32513, 32514, 32515, 32516, 32642, 32643,
                                     32644, 32645, 32646, 32648, 32649, 32650, 32651};

struct CursorState {
  std::mutex mutex;
  HCURSOR current = nullptr;
  INT show_count = 0;
  POINT position;
};

CursorState& State() {
  static CursorState state;
  return state;
}

}  // namespace

HCURSOR LoadCursorA(HINSTANCE instance, LPCSTR name) {
  if (instance == nullptr && IsIntResource(name)) {
    const WORD id = static_cast<WORD>(reinterpret_cast<UINT_PTR>(name));
    for (const WORD known : kSystemCursorIds)
      if (known == id) return reinterpret_cast<HCURSOR>(kSystemCursorTag | id);
  }
  SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
  return nullptr;
}

WORD SystemCursorId(HCURSOR cursor) {
  const UINT_PTR value = reinterpret_cast<UINT_PTR>(cursor);
  return (value & ~static_cast<UINT_PTR>(0xFFFF)) == kSystemCursorTag ? static_cast<WORD>(value & 0xFFFF) : 0;
}

HCURSOR SetCursor(HCURSOR cursor) {
  std::lock_guard lock(State().mutex);
  return std::exchange(State().current, cursor);
}

HCURSOR GetCursor() {
  std::lock_guard lock(State().mutex);
  return State().current;
}

INT ShowCursor(BOOL show) {
  std::lock_guard lock(State().mutex);
  return show ? ++State().show_count : --State().show_count;
}

BOOL GetCursorPos(LPPOINT point) {
  if (point == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::lock_guard lock(State().mutex);
  *point = State().position;
  return TRUE;
}

BOOL SetCursorPos(INT x, INT y) {
  std::lock_guard lock(State().mutex);
  State().position = POINT{x, y};
  return TRUE;
}

}  // namespace win
