#include "platform/user/window.h"

#include "platform/core/errors.h"
#include "platform/core/process.h"
#include "platform/core/strings.h"
#include "platform/user/cursors.h"
#include "platform/user/messages.h"
#include "platform/user/paint_internal.h"
#include "platform/user/window_position.h"
#include "platform/user/window_table.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace win {

using namespace user_detail;

namespace {

constexpr INT kMaxExtraBytes = 40;

struct ClassTable {
  std::vector<std::shared_ptr<WindowClass>> classes;
  ATOM next_atom = 0xC000;
};

ClassTable& Classes() {
  static ClassTable table;
  return table;
}

bool NameMatches(const std::string& name, ATOM atom, LPCSTR wanted) {
  if (IsIntResource(wanted)) return atom == static_cast<ATOM>(reinterpret_cast<UINT_PTR>(wanted));
  return CompareIgnoreCase(std::string_view(name), std::string_view(wanted)) == 0;
}

// A class of that name: the one registered for `instance` first, then any other.
std::shared_ptr<WindowClass> FindClassLocked(LPCSTR name, HINSTANCE instance) {
  std::shared_ptr<WindowClass> any;
  for (const std::shared_ptr<WindowClass>& window_class : Classes().classes) {
    if (!NameMatches(window_class->name, window_class->atom, name)) continue;
    if (window_class->instance == instance) return window_class;
    if (!any) any = window_class;
  }
  return any;
}

bool IsOwnerThread(const Window& window) { return window.queue->thread_id == GetCurrentThreadId(); }

// Keeps a narrow name alive while a call takes it: an atom passes through unchanged.
struct NarrowName {
  explicit NarrowName(LPCWSTR name)
      : is_atom(IsIntResource(reinterpret_cast<LPCSTR>(name))), text(is_atom || !name ? "" : Narrow(name)),
        pointer(is_atom ? reinterpret_cast<LPCSTR>(name) : (name ? text.c_str() : nullptr)) {}
  bool is_atom;
  std::string text;
  LPCSTR pointer;
};

void ClearInputStateLocked(ThreadQueue& queue, HWND window) {
  if (queue.focus == window) queue.focus = nullptr;
  if (queue.capture == window) queue.capture = nullptr;
  if (queue.active == window) queue.active = nullptr;
}

void ForgetWindowLocked(const std::shared_ptr<Window>& window) {
  if (window->destroyed) return;
  RemoveWindowLocked(window);
  std::erase_if(window->queue->posted, [&](const MSG& msg) { return msg.hwnd == window->handle; });
  ClearInputStateLocked(*window->queue, window->handle);
  KillWindowTimersLocked(window->handle);
}

void DestroyTree(const std::shared_ptr<Window>& window) {
  {
    Lock lock(UserMutex());
    if (window->destroying || window->destroyed) return;
    window->destroying = true;
  }
  CallProcedure(window, WM_DESTROY, 0, 0);
  std::vector<std::shared_ptr<Window>> dependants;
  {
    Lock lock(UserMutex());
    for (const HWND child : window->children)
      if (auto found = FindWindowLocked(child)) dependants.push_back(found);
    for (const HWND other : Windows().top_level)
      if (auto found = FindWindowLocked(other); found && found->owner == window->handle) dependants.push_back(found);
  }
  for (const std::shared_ptr<Window>& dependant : dependants) DestroyTree(dependant);
  CallProcedure(window, WM_NCDESTROY, 0, 0);
  Lock lock(UserMutex());
  ForgetWindowLocked(window);
}

LRESULT GetText(const std::shared_ptr<Window>& window, WPARAM size, LPARAM buffer, bool wide) {
  std::string text;
  {
    Lock lock(UserMutex());
    text = window->text;
  }
  if (buffer == 0 || size == 0) return 0;
  if (wide) {
    const std::u16string converted = Utf8ToUtf16(text);
    const std::size_t count = std::min<std::size_t>(converted.size(), size - 1);
    std::copy_n(converted.data(), count, reinterpret_cast<char16_t*>(buffer));
    reinterpret_cast<char16_t*>(buffer)[count] = u'\0';
    return static_cast<LRESULT>(count);
  }
  const std::size_t count = std::min<std::size_t>(text.size(), size - 1);
  std::memcpy(reinterpret_cast<char*>(buffer), text.data(), count);
  reinterpret_cast<char*>(buffer)[count] = '\0';
  return static_cast<LRESULT>(count);
}

void SetText(const std::shared_ptr<Window>& window, LPARAM text, bool wide) {
  std::string value;
  if (text != 0) value = wide ? Narrow(reinterpret_cast<LPCWSTR>(text)) : std::string(reinterpret_cast<LPCSTR>(text));
  Lock lock(UserMutex());
  window->text = std::move(value);
}

// A released right button asks the window for its context menu, at the pointer's screen position.
void RequestContextMenu(HWND handle, LPARAM client_point) {
  POINT point{static_cast<SHORT>(LOWORD(client_point)), static_cast<SHORT>(HIWORD(client_point))};
  ClientToScreen(handle, &point);
  SendMessageA(handle, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(handle),
               MAKELPARAM(static_cast<WORD>(point.x), static_cast<WORD>(point.y)));
}

LRESULT DefaultProcedure(HWND handle, UINT message, WPARAM wParam, LPARAM lParam, bool wide) {
  const std::shared_ptr<Window> window = LookupWindow(handle);
  if (!window) return 0;
  switch (message) {
    case WM_NCCREATE: {
      const auto* create = reinterpret_cast<const CREATESTRUCTA*>(lParam);
      if (create != nullptr && create->lpszName != nullptr) SetText(window, reinterpret_cast<LPARAM>(create->lpszName), false);
      return TRUE;
    }
    case WM_SETTEXT:
      SetText(window, lParam, wide);
      // A top-level window's text is its title on the display.
      if ((static_cast<DWORD>(GetWindowLongA(handle, GWL_STYLE)) & WS_CHILD) == 0) user_detail::NotifySurfaceChanged(handle);
      return TRUE;
    case WM_GETTEXT:
      return GetText(window, wParam, lParam, wide);
    case WM_GETTEXTLENGTH: {
      Lock lock(UserMutex());
      return static_cast<LRESULT>(wide ? Utf8ToUtf16(window->text).size() : window->text.size());
    }
    case WM_CLOSE:
      DestroyWindow(handle);
      return 0;
    case WM_QUERYENDSESSION:
      return TRUE;
    case WM_ERASEBKGND:
    case WM_PAINT:
      return DefaultPaint(handle, message, wParam);
    case WM_WINDOWPOSCHANGED:
      DefaultWindowPosChanged(handle, lParam);
      return 0;
    case WM_RBUTTONUP:
      RequestContextMenu(handle, lParam);
      return 0;
    case WM_CONTEXTMENU: {
      // A child's unanswered request goes up to its parent.
      HWND parent = (static_cast<DWORD>(GetWindowLongA(handle, GWL_STYLE)) & WS_CHILD) != 0 ? GetParent(handle) : nullptr;
      return parent != nullptr ? SendMessageA(parent, WM_CONTEXTMENU, wParam, lParam) : 0;
    }
    default:
      return 0;
  }
}

// The value behind a negative index, or null for an unknown index.
LONG_PTR* FieldLocked(Window& window, INT index) {
  switch (index) {
    case GWLP_ID:
      return &window.id;
    case GWLP_USERDATA:
      return &window.user_data;
    default:
      return nullptr;
  }
}

bool ExtraBytesFit(const Window& window, INT index, std::size_t size) {
  return index >= 0 && static_cast<std::size_t>(index) + size <= window.extra.size();
}

LONG_PTR ReadWindowValue(HWND handle, INT index, std::size_t size) {
  const std::shared_ptr<Window> window = LookupWindow(handle);
  if (!window) return 0;
  Lock lock(UserMutex());
  switch (index) {
    case GWLP_WNDPROC:
      return reinterpret_cast<LONG_PTR>(window->procedure);
    case GWLP_HINSTANCE:
      return reinterpret_cast<LONG_PTR>(window->instance);
    case GWLP_HWNDPARENT:
      return reinterpret_cast<LONG_PTR>(window->parent ? window->parent : window->owner);
    case GWL_STYLE:
      return static_cast<LONG>(window->style);
    case GWL_EXSTYLE:
      return static_cast<LONG>(window->ex_style);
    default:
      break;
  }
  if (LONG_PTR* field = FieldLocked(*window, index)) return *field;
  if (!ExtraBytesFit(*window, index, size)) {
    SetLastError(ERROR_INVALID_INDEX);
    return 0;
  }
  if (size == sizeof(LONG)) {
    LONG value;
    std::memcpy(&value, window->extra.data() + index, sizeof value);
    return value;
  }
  LONG_PTR value;
  std::memcpy(&value, window->extra.data() + index, sizeof value);
  return value;
}

LONG_PTR WriteWindowValue(HWND handle, INT index, LONG_PTR value, std::size_t size) {
  const std::shared_ptr<Window> window = LookupWindow(handle);
  if (!window) return 0;
  DWORD old_style = 0;
  DWORD new_style = 0;
  LONG_PTR previous = 0;
  {
    Lock lock(UserMutex());
    switch (index) {
      case GWLP_WNDPROC:
        if (!IsOwnerThread(*window)) {
          SetLastError(ERROR_ACCESS_DENIED);
          return 0;
        }
        previous = reinterpret_cast<LONG_PTR>(window->procedure);
        window->procedure = reinterpret_cast<WNDPROC>(value);
        return previous;
      case GWLP_HINSTANCE:
        previous = reinterpret_cast<LONG_PTR>(window->instance);
        window->instance = reinterpret_cast<HINSTANCE>(value);
        return previous;
      case GWLP_HWNDPARENT:
        if (window->parent != nullptr) return reinterpret_cast<LONG_PTR>(window->parent);
        previous = reinterpret_cast<LONG_PTR>(window->owner);
        window->owner = reinterpret_cast<HWND>(value);
        return previous;
      case GWL_STYLE:
      case GWL_EXSTYLE: {
        DWORD& field = index == GWL_STYLE ? window->style : window->ex_style;
        old_style = field;
        new_style = static_cast<DWORD>(value);
        field = new_style;
        break;
      }
      default:
        if (LONG_PTR* field = FieldLocked(*window, index)) return std::exchange(*field, value);
        if (!ExtraBytesFit(*window, index, size)) {
          SetLastError(ERROR_INVALID_INDEX);
          return 0;
        }
        if (size == sizeof(LONG)) {
          LONG old_value;
          const LONG new_value = static_cast<LONG>(value);
          std::memcpy(&old_value, window->extra.data() + index, sizeof old_value);
          std::memcpy(window->extra.data() + index, &new_value, sizeof new_value);
          return old_value;
        }
        std::memcpy(&previous, window->extra.data() + index, sizeof previous);
        std::memcpy(window->extra.data() + index, &value, sizeof value);
        return previous;
    }
  }
  StyleChanged(handle, index, old_style, new_style);
  return static_cast<LONG>(old_style);
}

HWND FindIn(const std::vector<HWND>& candidates, HWND child_after, LPCSTR class_name, LPCSTR window_name) {
  auto it = candidates.begin();
  if (child_after != nullptr) {
    it = std::find(candidates.begin(), candidates.end(), child_after);
    if (it == candidates.end()) return nullptr;
    ++it;
  }
  for (; it != candidates.end(); ++it) {
    const std::shared_ptr<Window> window = FindWindowLocked(*it);
    if (!window) continue;
    if (class_name != nullptr && !NameMatches(window->window_class->name, window->window_class->atom, class_name)) continue;
    if (window_name != nullptr && CompareIgnoreCase(std::string_view(window->text), std::string_view(window_name)) != 0)
      continue;
    return *it;
  }
  return nullptr;
}

HWND CreateWindowRecord(DWORD ex_style, const std::shared_ptr<WindowClass>& window_class, DWORD style, RECT rect,
                        HWND parent, HMENU menu, HINSTANCE instance, bool message_only) {
  auto window = std::make_shared<Window>();
  window->window_class = window_class;
  window->queue = CurrentQueue();
  window->procedure = window_class->procedure;
  window->style = style;
  window->ex_style = ex_style;
  window->instance = instance;
  window->extra.assign(static_cast<std::size_t>(window_class->window_extra), 0);
  window->message_only = message_only;
  window->rect = rect;
  if ((style & WS_CHILD) != 0) {
    window->parent = parent;
    window->id = reinterpret_cast<LONG_PTR>(menu);
  } else if (!message_only) {
    window->owner = parent;
  }
  Lock lock(UserMutex());
  WindowTable& table = Windows();
  window->handle = reinterpret_cast<HWND>(table.next_handle);
  table.next_handle += 4;
  table.windows.emplace(reinterpret_cast<std::uintptr_t>(window->handle), window);
  InsertSiblingLocked(*window, 0);
  ++window_class->windows;
  return window->handle;
}

INT DefaultCoordinate(INT value) { return value == CW_USEDEFAULT ? 0 : value; }

}  // namespace

ATOM RegisterClassA(const WNDCLASSA* info) {
  if (info == nullptr || info->lpfnWndProc == nullptr || info->lpszClassName == nullptr ||
      IsIntResource(info->lpszClassName) || *info->lpszClassName == '\0' || info->cbClsExtra < 0 ||
      info->cbWndExtra < 0 || info->cbClsExtra > kMaxExtraBytes || info->cbWndExtra > kMaxExtraBytes) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  Lock lock(UserMutex());
  for (const std::shared_ptr<WindowClass>& existing : Classes().classes) {
    if (existing->instance == info->hInstance && NameMatches(existing->name, existing->atom, info->lpszClassName)) {
      SetLastError(ERROR_CLASS_ALREADY_EXISTS);
      return 0;
    }
  }
  auto window_class = std::make_shared<WindowClass>();
  window_class->name = info->lpszClassName;
  window_class->atom = Classes().next_atom++;
  window_class->instance = info->hInstance;
  window_class->style = info->style;
  window_class->procedure = info->lpfnWndProc;
  window_class->class_extra = info->cbClsExtra;
  window_class->window_extra = info->cbWndExtra;
  window_class->icon = info->hIcon;
  window_class->cursor = info->hCursor;
  window_class->background = info->hbrBackground;
  Classes().classes.push_back(window_class);
  return window_class->atom;
}

ATOM RegisterClassW(const WNDCLASSW* info) {
  if (info == nullptr) return RegisterClassA(nullptr);
  const NarrowName class_name(info->lpszClassName);
  WNDCLASSA narrow;
  narrow.style = info->style;
  narrow.lpfnWndProc = info->lpfnWndProc;
  narrow.cbClsExtra = info->cbClsExtra;
  narrow.cbWndExtra = info->cbWndExtra;
  narrow.hInstance = info->hInstance;
  narrow.hIcon = info->hIcon;
  narrow.hCursor = info->hCursor;
  narrow.hbrBackground = info->hbrBackground;
  narrow.lpszClassName = class_name.pointer;
  return RegisterClassA(&narrow);
}

BOOL UnregisterClassA(LPCSTR class_name, HINSTANCE instance) {
  Lock lock(UserMutex());
  auto& classes = Classes().classes;
  for (auto it = classes.begin(); it != classes.end(); ++it) {
    if ((*it)->instance != instance || !NameMatches((*it)->name, (*it)->atom, class_name)) continue;
    if ((*it)->windows > 0) {
      SetLastError(ERROR_CLASS_HAS_WINDOWS);
      return FALSE;
    }
    classes.erase(it);
    return TRUE;
  }
  SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
  return FALSE;
}

BOOL GetClassInfoA(HINSTANCE instance, LPCSTR class_name, WNDCLASSA* info) {
  Lock lock(UserMutex());
  const std::shared_ptr<WindowClass> window_class = FindClassLocked(class_name, instance);
  if (!window_class || info == nullptr) {
    SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
    return FALSE;
  }
  info->style = window_class->style;
  info->lpfnWndProc = window_class->procedure;
  info->cbClsExtra = window_class->class_extra;
  info->cbWndExtra = window_class->window_extra;
  info->hInstance = window_class->instance;
  info->hIcon = window_class->icon;
  info->hCursor = window_class->cursor;
  info->hbrBackground = window_class->background;
  info->lpszMenuName = nullptr;
  info->lpszClassName = class_name;
  return window_class->atom;
}

INT GetClassNameA(HWND handle, LPSTR buffer, INT size) {
  const std::shared_ptr<Window> window = LookupWindow(handle);
  if (!window || buffer == nullptr || size <= 0) return 0;
  const std::string& name = window->window_class->name;
  const std::size_t count = std::min<std::size_t>(name.size(), static_cast<std::size_t>(size) - 1);
  std::memcpy(buffer, name.data(), count);
  buffer[count] = '\0';
  return static_cast<INT>(count);
}

ULONG_PTR GetClassLongPtrA(HWND handle, INT index) {
  const std::shared_ptr<Window> window = LookupWindow(handle);
  if (!window) return 0;
  const WindowClass& window_class = *window->window_class;
  switch (index) {
    case GCLP_HBRBACKGROUND:
      return reinterpret_cast<ULONG_PTR>(window_class.background);
    case GCLP_HCURSOR:
      return reinterpret_cast<ULONG_PTR>(window_class.cursor);
    case GCL_CBWNDEXTRA:
      return static_cast<ULONG_PTR>(window_class.window_extra);
    case GCLP_WNDPROC:
      return reinterpret_cast<ULONG_PTR>(window_class.procedure);
    case GCL_STYLE:
      return window_class.style;
    default:
      SetLastError(ERROR_INVALID_INDEX);
      return 0;
  }
}

HWND CreateWindowExA(DWORD ex_style, LPCSTR class_name, LPCSTR window_name, DWORD style, INT x, INT y, INT width,
                     INT height, HWND parent, HMENU menu, HINSTANCE instance, LPVOID param) {
  const bool message_only = parent == HWND_MESSAGE;
  std::shared_ptr<WindowClass> window_class;
  {
    Lock lock(UserMutex());
    window_class = class_name ? FindClassLocked(class_name, instance) : nullptr;
    if (!window_class) {
      SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
      return nullptr;
    }
    if (!message_only && parent != nullptr && !LookupWindowLocked(parent)) return nullptr;
  }
  if ((style & WS_CHILD) != 0 && (parent == nullptr || message_only)) {
    SetLastError(ERROR_TLW_WITH_WSCHILD);
    return nullptr;
  }
  const RECT rect{DefaultCoordinate(x), DefaultCoordinate(y), DefaultCoordinate(x) + DefaultCoordinate(width),
                  DefaultCoordinate(y) + DefaultCoordinate(height)};
  const HWND handle = CreateWindowRecord(ex_style, window_class, style, rect, message_only ? nullptr : parent, menu,
                                         instance, message_only);
  const std::shared_ptr<Window> window = LookupWindow(handle);
  CREATESTRUCTA create;
  create.lpCreateParams = param;
  create.hInstance = instance;
  create.hMenu = menu;
  create.hwndParent = parent;
  create.x = rect.left;
  create.y = rect.top;
  create.cx = rect.right - rect.left;
  create.cy = rect.bottom - rect.top;
  create.style = static_cast<LONG>(style);
  create.lpszName = window_name;
  create.lpszClass = class_name;
  create.dwExStyle = ex_style;
  if (CallProcedure(window, WM_NCCREATE, 0, reinterpret_cast<LPARAM>(&create)) == 0) {
    CallProcedure(window, WM_NCDESTROY, 0, 0);
    Lock lock(UserMutex());
    ForgetWindowLocked(window);
    return nullptr;
  }
  if (CallProcedure(window, WM_CREATE, 0, reinterpret_cast<LPARAM>(&create)) == -1) {
    DestroyWindow(handle);
    return nullptr;
  }
  WindowCreated(handle);
  return IsWindow(handle) ? handle : nullptr;
}

HWND CreateWindowExW(DWORD ex_style, LPCWSTR class_name, LPCWSTR window_name, DWORD style, INT x, INT y, INT width,
                     INT height, HWND parent, HMENU menu, HINSTANCE instance, LPVOID param) {
  const NarrowName narrow_class(class_name);
  const NarrowName narrow_title(window_name);
  return CreateWindowExA(ex_style, narrow_class.pointer, narrow_title.pointer, style, x, y, width, height, parent,
                         menu, instance, param);
}

BOOL DestroyWindow(HWND handle) {
  const std::shared_ptr<Window> window = LookupWindow(handle);
  if (!window) return FALSE;
  if (!IsOwnerThread(*window)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  WindowDestroying(handle);
  DestroyTree(window);
  return TRUE;
}

BOOL IsWindow(HWND handle) {
  Lock lock(UserMutex());
  return FindWindowLocked(handle) ? TRUE : FALSE;
}

LRESULT DefWindowProcA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return DefaultProcedure(window, message, wParam, lParam, false);
}

LRESULT DefWindowProcW(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return DefaultProcedure(window, message, wParam, lParam, true);
}

LRESULT CallWindowProcA(WNDPROC procedure, HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return procedure ? procedure(window, message, wParam, lParam) : 0;
}

LONG_PTR GetWindowLongPtrA(HWND window, INT index) { return ReadWindowValue(window, index, sizeof(LONG_PTR)); }

LONG_PTR SetWindowLongPtrA(HWND window, INT index, LONG_PTR value) {
  return WriteWindowValue(window, index, value, sizeof(LONG_PTR));
}

LONG GetWindowLongA(HWND window, INT index) {
  return static_cast<LONG>(ReadWindowValue(window, index, sizeof(LONG)));
}

LONG SetWindowLongA(HWND window, INT index, LONG value) {
  return static_cast<LONG>(WriteWindowValue(window, index, value, sizeof(LONG)));
}

BOOL SetWindowTextA(HWND window, LPCSTR text) {
  if (!IsWindow(window)) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  return static_cast<BOOL>(SendMessageA(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text)));
}

INT GetWindowTextA(HWND window, LPSTR buffer, INT size) {
  if (buffer == nullptr || size <= 0) return 0;
  buffer[0] = '\0';
  return static_cast<INT>(SendMessageA(window, WM_GETTEXT, static_cast<WPARAM>(size), reinterpret_cast<LPARAM>(buffer)));
}

INT GetWindowTextLengthA(HWND window) { return static_cast<INT>(SendMessageA(window, WM_GETTEXTLENGTH, 0, 0)); }

HWND FindWindowExA(HWND parent, HWND child_after, LPCSTR class_name, LPCSTR window_name) {
  Lock lock(UserMutex());
  if (parent == HWND_MESSAGE) return FindIn(Windows().message_only, child_after, class_name, window_name);
  if (parent == nullptr || parent == GetDesktopWindow()) return FindIn(Windows().top_level, child_after, class_name, window_name);
  const std::shared_ptr<Window> window = LookupWindowLocked(parent);
  if (!window) return nullptr;
  const std::vector<HWND> children = window->children;
  return FindIn(children, child_after, class_name, window_name);
}

HWND FindWindowExW(HWND parent, HWND child_after, LPCWSTR class_name, LPCWSTR window_name) {
  const NarrowName narrow_class(class_name);
  const NarrowName narrow_title(window_name);
  return FindWindowExA(parent, child_after, narrow_class.pointer, narrow_title.pointer);
}

HWND FindWindowA(LPCSTR class_name, LPCSTR window_name) {
  return FindWindowExA(nullptr, nullptr, class_name, window_name);
}

DWORD GetWindowThreadProcessId(HWND handle, DWORD* process_id) {
  const std::shared_ptr<Window> window = LookupWindow(handle);
  if (!window) return 0;
  if (process_id != nullptr) *process_id = GetCurrentProcessId();
  return window->queue->thread_id;
}

BOOL IsChild(HWND parent, HWND window) {
  Lock lock(UserMutex());
  return IsDescendantLocked(parent, window) ? TRUE : FALSE;
}

HWND GetDesktopWindow() { return reinterpret_cast<HWND>(static_cast<std::uintptr_t>(0x10010)); }

}  // namespace win
