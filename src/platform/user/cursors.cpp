#include "platform/user/cursors.h"

#include "platform/core/errors.h"

#include <map>
#include <mutex>
#include <utility>

namespace win {

namespace {

constexpr DWORD ERROR_RESOURCE_NAME_NOT_FOUND = 1814;
// System cursor handles: this tag in the high bits, the cursor id in the low word.
constexpr UINT_PTR kSystemCursorTag = 0x6C5E0000;

constexpr WORD kSystemCursorIds[] = {32512, 32513, 32514, 32515, 32516, 32642, 32643,
                                     32644, 32645, 32646, 32648, 32649, 32650, 32651};

// Cursors made by CreateCursor: this bit above every system cursor handle, a serial number
// (never reused) below it.
constexpr UINT_PTR kMadeCursorTag = UINT_PTR{1} << 40;
constexpr INT kMaxCursorSide = 256;

struct CursorState {
  std::mutex mutex;
  std::map<HCURSOR, CursorImage> made;
  UINT_PTR next_serial = 1;
  HCURSOR current = nullptr;
  INT show_count = 0;
  POINT position;
  CursorObserver observer;
};

HCURSOR ShownLocked(const CursorState& state) { return state.show_count < 0 ? nullptr : state.current; }

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

HCURSOR CreateCursor(HINSTANCE, INT hot_x, INT hot_y, INT width, INT height, const void* and_plane,
                     const void* xor_plane) {
  if (and_plane == nullptr || xor_plane == nullptr || width < 1 || height < 1 || width > kMaxCursorSide ||
      height > kMaxCursorSide) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  const auto plane_bytes = static_cast<std::size_t>((width + 15) / 16 * 2 * height);
  CursorImage image{hot_x, hot_y, width, height, {}, {}};
  const auto* and_bytes = static_cast<const BYTE*>(and_plane);
  const auto* xor_bytes = static_cast<const BYTE*>(xor_plane);
  image.and_plane.assign(and_bytes, and_bytes + plane_bytes);
  image.xor_plane.assign(xor_bytes, xor_bytes + plane_bytes);
  std::lock_guard lock(State().mutex);
  const auto handle = reinterpret_cast<HCURSOR>(kMadeCursorTag | State().next_serial++);
  State().made.emplace(handle, std::move(image));
  return handle;
}

BOOL DestroyCursor(HCURSOR cursor) {
  std::function<void()> changed;
  {
    std::lock_guard lock(State().mutex);
    if (State().made.erase(cursor) == 0) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return FALSE;
    }
    const HCURSOR shown = ShownLocked(State());
    if (State().current == cursor) State().current = nullptr;
    if (ShownLocked(State()) != shown) changed = State().observer.shown_cursor_changed;
  }
  if (changed) changed();
  return TRUE;
}

bool GetCursorImage(HCURSOR cursor, CursorImage& image) {
  std::lock_guard lock(State().mutex);
  const auto found = State().made.find(cursor);
  if (found == State().made.end()) return false;
  image = found->second;
  return true;
}

HCURSOR SetCursor(HCURSOR cursor) {
  std::function<void()> changed;
  HCURSOR previous = nullptr;
  {
    std::lock_guard lock(State().mutex);
    const HCURSOR shown = ShownLocked(State());
    previous = std::exchange(State().current, cursor);
    if (ShownLocked(State()) != shown) changed = State().observer.shown_cursor_changed;
  }
  if (changed) changed();
  return previous;
}

HCURSOR GetCursor() {
  std::lock_guard lock(State().mutex);
  return State().current;
}

INT ShowCursor(BOOL show) {
  std::function<void()> changed;
  INT count = 0;
  {
    std::lock_guard lock(State().mutex);
    const HCURSOR shown = ShownLocked(State());
    count = show ? ++State().show_count : --State().show_count;
    if (ShownLocked(State()) != shown) changed = State().observer.shown_cursor_changed;
  }
  if (changed) changed();
  return count;
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
  std::function<void(POINT)> moved;
  {
    std::lock_guard lock(State().mutex);
    State().position = POINT{x, y};
    moved = State().observer.pointer_moved;
  }
  if (moved) moved(POINT{x, y});
  return TRUE;
}

HCURSOR GetShownCursor() {
  std::lock_guard lock(State().mutex);
  return ShownLocked(State());
}

void RecordCursorPos(INT x, INT y) {
  std::lock_guard lock(State().mutex);
  State().position = POINT{x, y};
}

void SetCursorObserver(CursorObserver observer) {
  std::lock_guard lock(State().mutex);
  State().observer = std::move(observer);
}

}  // namespace win
