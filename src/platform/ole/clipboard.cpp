#include "platform/ole/clipboard.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/core/strings.h"
#include "platform/gdi/gdi.h"
#include "platform/ole/global_memory.h"

namespace win {
namespace {

struct ClipboardState {
  std::mutex lock;
  std::vector<std::string> names;                  // registered format i is 0xC000 + i
  std::vector<std::pair<UINT, HANDLE>> entries;    // in placing order
  bool open = false;
  std::thread::id opener;
  HWND open_owner = nullptr;
  HWND owner = nullptr;
};

ClipboardState& State() {
  static ClipboardState state;
  return state;
}

bool SameNameIgnoringCase(const std::string& a, const std::string& b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    const auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; };
    return lower(x) == lower(y);
  });
}

bool OpenedByCaller(const ClipboardState& state) {
  return state.open && state.opener == std::this_thread::get_id();
}

void Release(UINT format, HANDLE data) {
  if (data == nullptr) return;
  if (format == CF_BITMAP || format == CF_PALETTE)
    DeleteObject(data);
  else
    GlobalFree(data);
}

}  // namespace

UINT RegisterClipboardFormatA(LPCSTR name) {
  if (name == nullptr || *name == '\0') return 0;
  ClipboardState& state = State();
  std::lock_guard guard(state.lock);
  for (std::size_t i = 0; i < state.names.size(); ++i)
    if (SameNameIgnoringCase(state.names[i], name)) return kFirstRegisteredClipboardFormat + static_cast<UINT>(i);
  if (state.names.size() >= 0x3FFF) return 0;
  state.names.emplace_back(name);
  return kFirstRegisteredClipboardFormat + static_cast<UINT>(state.names.size() - 1);
}

UINT RegisterClipboardFormatW(LPCWSTR name) {
  if (name == nullptr) return 0;
  return RegisterClipboardFormatA(Utf16ToUtf8(name).c_str());
}

int GetClipboardFormatNameA(UINT format, LPSTR buffer, int max_count) {
  ClipboardState& state = State();
  std::lock_guard guard(state.lock);
  if (format < kFirstRegisteredClipboardFormat || buffer == nullptr || max_count <= 0) return 0;
  const std::size_t index = format - kFirstRegisteredClipboardFormat;
  if (index >= state.names.size()) return 0;
  const std::string& name = state.names[index];
  const std::size_t length = std::min(name.size(), static_cast<std::size_t>(max_count - 1));
  std::memcpy(buffer, name.data(), length);
  buffer[length] = '\0';
  return static_cast<int>(length);
}

BOOL OpenClipboard(HWND owner) {
  ClipboardState& state = State();
  std::lock_guard guard(state.lock);
  if (state.open && state.opener != std::this_thread::get_id()) return FALSE;
  state.open = true;
  state.opener = std::this_thread::get_id();
  state.open_owner = owner;
  return TRUE;
}

BOOL CloseClipboard() {
  ClipboardState& state = State();
  std::lock_guard guard(state.lock);
  if (!OpenedByCaller(state)) return FALSE;
  state.open = false;
  state.opener = {};
  return TRUE;
}

BOOL EmptyClipboard() {
  ClipboardState& state = State();
  std::vector<std::pair<UINT, HANDLE>> released;
  {
    std::lock_guard guard(state.lock);
    if (!OpenedByCaller(state)) return FALSE;
    released.swap(state.entries);
    state.owner = state.open_owner;
  }
  for (const auto& [format, data] : released) Release(format, data);
  return TRUE;
}

HANDLE SetClipboardData(UINT format, HANDLE data) {
  ClipboardState& state = State();
  HANDLE replaced = nullptr;
  {
    std::lock_guard guard(state.lock);
    if (!OpenedByCaller(state) || format == 0) return nullptr;
    auto it = std::find_if(state.entries.begin(), state.entries.end(),
                           [format](const auto& entry) { return entry.first == format; });
    if (it == state.entries.end()) {
      state.entries.emplace_back(format, data);
    } else {
      replaced = it->second;
      it->second = data;
    }
  }
  if (replaced != data) Release(format, replaced);
  return data;
}

HANDLE GetClipboardData(UINT format) {
  ClipboardState& state = State();
  std::lock_guard guard(state.lock);
  if (!OpenedByCaller(state)) return nullptr;
  for (const auto& [placed, data] : state.entries)
    if (placed == format) return data;
  return nullptr;
}

BOOL IsClipboardFormatAvailable(UINT format) {
  ClipboardState& state = State();
  std::lock_guard guard(state.lock);
  return std::any_of(state.entries.begin(), state.entries.end(),
                     [format](const auto& entry) { return entry.first == format; })
             ? TRUE
             : FALSE;
}

int CountClipboardFormats() {
  ClipboardState& state = State();
  std::lock_guard guard(state.lock);
  return static_cast<int>(state.entries.size());
}

UINT EnumClipboardFormats(UINT format) {
  ClipboardState& state = State();
  std::lock_guard guard(state.lock);
  if (!OpenedByCaller(state)) return 0;
  auto it = state.entries.begin();
  if (format != 0) {
    it = std::find_if(state.entries.begin(), state.entries.end(),
                      [format](const auto& entry) { return entry.first == format; });
    if (it == state.entries.end()) return 0;
    ++it;
  }
  return it == state.entries.end() ? 0 : it->first;
}

HWND GetClipboardOwner() {
  ClipboardState& state = State();
  std::lock_guard guard(state.lock);
  return state.owner;
}

}  // namespace win
