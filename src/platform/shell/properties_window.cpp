#include "platform/shell/properties_window.h"

#include "platform/core/strings.h"
#include "platform/gdi/gdi.h"
#include "platform/gdi/scoped_gdi.h"
#include "platform/shell/shell_columns.h"
#include "platform/shell/shell_texts.h"
#include "platform/text/text.h"
#include "platform/user/messages.h"
#include "platform/user/paint.h"
#include "platform/user/window.h"
#include "platform/user/window_position.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>
#include <mutex>
#include <set>
#include <thread>
#include <utility>

namespace win::properties_window {
namespace {

using shell_model::Item;

constexpr int kWidth = 420;
constexpr int kLineHeight = 20;
constexpr int kMargin = 8;
// Posted by a count's worker to its window when the totals are there.
constexpr UINT kCountedMessage = WM_APP + 0x51;
constexpr char kCounting[] = "counting...";

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
  const std::string& type = shell_columns::TypeDescriptionOf(item).text;
  if (!type.empty()) return type;
  return shell_model::IsContainer(item) ? "Folder" : "File";
}

// "at least " before the amounts of a count that was cut short.
std::string Bound(const Totals& totals) { return totals.complete ? "" : "at least "; }

std::string Amount(std::uint64_t count, const char* noun) {
  return Utf8(shell_texts::Bytes(count)) + " " + noun + (count == 1 ? "" : "s");
}

std::string CountedSize(const Totals* totals) { return totals == nullptr ? kCounting : Bound(*totals) + SizeText(totals->bytes); }

std::string CountedContents(const Totals* totals) {
  if (totals == nullptr) return kCounting;
  return Bound(*totals) + Amount(totals->files, "file") + ", " + Amount(totals->folders, "folder");
}

// A folder of the file system, whose window counts its size and what it holds.
bool IsCountedFolder(const Item& item) {
  return shell_model::IsContainer(item) && item_ids::HasSnapshot(item.id.kind) && !item.path.empty();
}

bool NeedsCount(const std::vector<Item>& items) { return items.size() > 1 || IsCountedFolder(items.front()); }

std::vector<std::string> LinesForOne(const Item& item, const Totals* totals) {
  std::vector<std::string> lines{"Name: " + Utf8(shell_model::DisplayName(item)), "Type: " + TypeOf(item)};
  const std::string location =
      item.place == shell_model::Place::TrashEntry ? FolderOf(item.original_path) : FolderOf(item.path);
  if (!location.empty()) lines.push_back("Location: " + location);
  if (!item_ids::HasSnapshot(item.id.kind)) return lines;
  const item_ids::FileSnapshot& snapshot = item.id.snapshot;
  if (IsCountedFolder(item)) {
    lines.push_back("Size: " + CountedSize(totals));
    lines.push_back("Contains: " + CountedContents(totals));
  } else if (!shell_model::IsContainer(item)) {
    lines.push_back("Size: " + SizeText(snapshot.size));
  }
  lines.push_back("Modified: " + Utf8(shell_texts::Time(snapshot.last_write)));
  lines.push_back("Accessed: " + Utf8(shell_texts::Time(snapshot.last_access)));
  lines.push_back("Created: " + Utf8(shell_texts::Time(snapshot.creation)));
  lines.push_back("Permissions: " + Permissions(snapshot.mode));
  return lines;
}

// Adds entries to the totals, descending into folders through their descriptors so that no
// path grows with the depth; links are counted, never followed. What can be reached twice (a
// folder, a file of several links) is told by its device and inode and counted once.
class Counter {
 public:
  Counter(std::uint64_t max_entries, const std::atomic<bool>& cancelled) : max_entries_(max_entries), cancelled_(cancelled) {}

  void Add(int folder, const char* name, int depth) {
    if (Stopped()) return;
    ++entries_;
    struct stat info {};
    if (fstatat(folder, name, &info, AT_SYMLINK_NOFOLLOW) != 0) {
      totals_.complete = false;
      return;
    }
    const bool is_folder = S_ISDIR(info.st_mode);
    if ((is_folder || info.st_nlink > 1) && !seen_.emplace(info.st_dev, info.st_ino).second) return;
    if (depth > 0) ++(is_folder ? totals_.folders : totals_.files);
    if (!is_folder) {
      totals_.bytes += static_cast<ULONGLONG>(info.st_size);
      return;
    }
    if (depth >= kMaxCountedDepth) {
      totals_.complete = false;
      return;
    }
    AddChildren(openat(folder, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC), depth + 1);
  }

  const Totals& totals() const { return totals_; }

 private:
  bool Stopped() {
    if (entries_ < max_entries_ && !cancelled_.load(std::memory_order_relaxed)) return false;
    totals_.complete = false;
    return true;
  }

  void AddChildren(int descriptor, int depth) {
    DIR* opened = descriptor < 0 ? nullptr : fdopendir(descriptor);
    if (opened == nullptr) {
      if (descriptor >= 0) close(descriptor);
      totals_.complete = false;
      return;
    }
    const std::unique_ptr<DIR, int (*)(DIR*)> folder(opened, closedir);
    errno = 0;
    while (const dirent* entry = readdir(folder.get())) {
      const std::string_view name = entry->d_name;
      if (name != "." && name != "..") Add(dirfd(folder.get()), entry->d_name, depth);
      if (Stopped()) return;
      errno = 0;
    }
    if (errno != 0) totals_.complete = false;
  }

  const std::uint64_t max_entries_;
  const std::atomic<bool>& cancelled_;
  std::uint64_t entries_ = 0;
  std::set<std::pair<dev_t, ino_t>> seen_;
  Totals totals_;
};

// The count behind a window: its worker runs while the window lives.
struct Counting {
  std::vector<Item> items;
  std::vector<std::string> paths;
  std::vector<HWND> lines;  // the window's lines, from the top
  std::atomic<bool> cancelled{false};
  Totals totals;  // written by the worker before it posts kCountedMessage
  std::thread worker;

  ~Counting() {
    cancelled = true;
    if (worker.joinable()) worker.join();
  }
};

Counting* CountingOf(HWND window) { return reinterpret_cast<Counting*>(GetWindowLongPtrA(window, GWLP_USERDATA)); }

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
  switch (message) {
    case WM_CLOSE:
      DestroyWindow(window);
      return 0;
    case kCountedMessage:
      if (Counting* counting = CountingOf(window); counting != nullptr && counting->worker.joinable()) {
        counting->worker.join();
        const std::vector<std::string> texts = LinesFor(counting->items, &counting->totals);
        for (std::size_t i = 0; i < texts.size() && i < counting->lines.size(); ++i) {
          SetWindowTextA(counting->lines[i], texts[i].c_str());
          InvalidateRect(counting->lines[i], nullptr, TRUE);
        }
      }
      return 0;
    case WM_DESTROY:
      // Cancels a count still running and waits for its worker.
      delete CountingOf(window);
      SetWindowLongPtrA(window, GWLP_USERDATA, 0);
      return 0;
    default:
      return DefWindowProcA(window, message, wParam, lParam);
  }
}

void StartCounting(HWND window, const std::vector<Item>& items, std::vector<HWND> lines) {
  auto counting = std::make_unique<Counting>();
  counting->items = items;
  for (const Item& item : items)
    if (!item.path.empty()) counting->paths.push_back(item.path);
  counting->lines = std::move(lines);
  Counting* state = counting.release();
  SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(state));
  state->worker = std::thread([state, window] {
    state->totals = Count(state->paths, kMaxCountedEntries, state->cancelled);
    PostMessageA(window, kCountedMessage, 0, 0);
  });
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

Totals Count(const std::vector<std::string>& paths, std::uint64_t max_entries, const std::atomic<bool>& cancelled) {
  Counter counter(max_entries, cancelled);
  for (const std::string& path : paths) counter.Add(AT_FDCWD, path.c_str(), 0);
  return counter.totals();
}

std::vector<std::string> LinesFor(const std::vector<Item>& items, const Totals* totals) {
  if (items.size() == 1) return LinesForOne(items.front(), totals);
  return {"Items: " + std::to_string(items.size()), "Total size: " + CountedSize(totals)};
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
  std::vector<HWND> line_windows(lines.size());
  for (std::size_t i = lines.size(); i-- > 0;)
    line_windows[i] = CreateWindowExA(0, kLineClass, lines[i].c_str(), WS_CHILD | WS_VISIBLE, 0,
                                      kMargin + static_cast<int>(i) * kLineHeight, kWidth, kLineHeight, window, nullptr,
                                      nullptr, nullptr);
  if (NeedsCount(items)) StartCounting(window, items, std::move(line_windows));
  ShowWindow(window, SW_SHOW);
  return true;
}

}  // namespace win::properties_window
