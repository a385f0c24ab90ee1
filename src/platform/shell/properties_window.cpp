#include "platform/shell/properties_window.h"

#include "platform/core/strings.h"
#include "platform/gdi/gdi.h"
#include "platform/gdi/scoped_gdi.h"
#include "platform/shell/places.h"
#include "platform/shell/shell_texts.h"
#include "platform/text/text.h"
#include "platform/user/messages.h"
#include "platform/user/paint.h"
#include "platform/user/window.h"
#include "platform/user/window_position.h"

#include <sys/stat.h>

#include <mutex>

namespace win::properties_window {
namespace {

using shell_model::Item;

constexpr int kWidth = 420;
constexpr int kLineHeight = 20;
constexpr int kMargin = 8;

std::string Utf8(const std::u16string& text) { return Utf16ToUtf8(text); }

std::string FolderOf(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return {};
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string Permissions(DWORD mode) {
  constexpr struct {
    DWORD bit;
    char letter;
  } kBits[] = {{S_IRUSR, 'r'}, {S_IWUSR, 'w'}, {S_IXUSR, 'x'}, {S_IRGRP, 'r'}, {S_IWGRP, 'w'},
               {S_IXGRP, 'x'}, {S_IROTH, 'r'}, {S_IWOTH, 'w'}, {S_IXOTH, 'x'}};
  std::string text;
  for (const auto& bit : kBits) text.push_back((mode & bit.bit) != 0 ? bit.letter : '-');
  return text;
}

std::string SizeText(ULONGLONG size) {
  return Utf8(shell_texts::Kilobytes(size)) + " (" + Utf8(shell_texts::Bytes(size)) + " bytes)";
}

std::string TypeOf(const Item& item) {
  const bool is_folder = shell_model::IsContainer(item);
  const std::string type = places::TypeDescription(item.id.name, is_folder);
  if (!type.empty()) return type;
  return is_folder ? "Folder" : "File";
}

std::vector<std::string> LinesForOne(const Item& item) {
  std::vector<std::string> lines{"Name: " + Utf8(shell_model::DisplayName(item)), "Type: " + TypeOf(item)};
  const std::string location =
      item.place == shell_model::Place::TrashEntry ? FolderOf(item.original_path) : FolderOf(item.path);
  if (!location.empty()) lines.push_back("Location: " + location);
  if (!item_ids::HasSnapshot(item.id.kind)) return lines;
  const item_ids::FileSnapshot& snapshot = item.id.snapshot;
  if (!shell_model::IsContainer(item)) lines.push_back("Size: " + SizeText(snapshot.size));
  lines.push_back("Modified: " + Utf8(shell_texts::Time(snapshot.last_write)));
  lines.push_back("Accessed: " + Utf8(shell_texts::Time(snapshot.last_access)));
  lines.push_back("Created: " + Utf8(shell_texts::Time(snapshot.creation)));
  lines.push_back("Permissions: " + Permissions(snapshot.mode));
  return lines;
}

LRESULT LineProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message != WM_PAINT) return DefWindowProcA(window, message, wParam, lParam);
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(window, &paint);
  RECT area;
  GetClientRect(window, &area);
  FillRect(dc, &area, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  const ScopedSelect font(dc, GetStockObject(DEFAULT_GUI_FONT));
  SetBkMode(dc, TRANSPARENT);
  char text[1024];
  GetWindowTextA(window, text, sizeof(text));
  area.left += kMargin;
  DrawTextA(dc, text, -1, &area, DT_LEFT | DT_VCENTER | DT_SINGLELINE);
  EndPaint(window, &paint);
  return 0;
}

LRESULT WindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_CLOSE) {
    DestroyWindow(window);
    return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

void RegisterClasses() {
  static std::once_flag registered;
  std::call_once(registered, [] {
    WNDCLASSA window_class;
    window_class.lpfnWndProc = &WindowProcedure;
    window_class.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    window_class.lpszClassName = kWindowClass;
    RegisterClassA(&window_class);
    WNDCLASSA line_class;
    line_class.lpfnWndProc = &LineProcedure;
    line_class.lpszClassName = kLineClass;
    RegisterClassA(&line_class);
  });
}

std::string TitleFor(const std::vector<Item>& items) {
  if (items.size() == 1) return Utf8(shell_model::DisplayName(items.front())) + " Properties";
  return std::to_string(items.size()) + " Items Properties";
}

}  // namespace

std::vector<std::string> LinesFor(const std::vector<Item>& items) {
  if (items.size() == 1) return LinesForOne(items.front());
  ULONGLONG total = 0;
  for (const Item& item : items)
    if (item_ids::HasSnapshot(item.id.kind) && !shell_model::IsContainer(item)) total += item.id.snapshot.size;
  return {"Items: " + std::to_string(items.size()), "Total size: " + SizeText(total)};
}

bool Show(const std::vector<Item>& items, HWND owner) {
  if (items.empty()) return false;
  RegisterClasses();
  const std::vector<std::string> lines = LinesFor(items);
  const int height = static_cast<int>(lines.size()) * kLineHeight + 2 * kMargin;
  HWND window = CreateWindowExA(0, kWindowClass, TitleFor(items).c_str(), WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU,
                                CW_USEDEFAULT, CW_USEDEFAULT, kWidth, height, owner, nullptr, nullptr, nullptr);
  if (window == nullptr) return false;
  // From the last line up, so that the children's order from the top is the lines' order.
  for (std::size_t i = lines.size(); i-- > 0;)
    CreateWindowExA(0, kLineClass, lines[i].c_str(), WS_CHILD | WS_VISIBLE, 0,
                    kMargin + static_cast<int>(i) * kLineHeight, kWidth, kLineHeight, window, nullptr, nullptr, nullptr);
  ShowWindow(window, SW_SHOW);
  return true;
}

}  // namespace win::properties_window
