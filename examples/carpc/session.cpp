// The scripted session. Taps and keys are posted to the list view as the display would deliver
// them, so each step goes through the control's own input handling. It plays on a copy of the
// folder and puts the master line back as it found it, so that it changes none of the user's
// files and settings.
#include "session.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "classlib/bitmap.h"
#include "classlib/forms.h"
#include "components/imaging/png/png_picture.h"
#include "platform/user/input_state.h"
#include "platform/user/messages.h"
#include "platform/user/timers.h"
#include "platform/user/virtual_keys.h"
#include "platform/user/surfaces.h"

namespace carpc {

namespace fs = std::filesystem;
using namespace dashtune;
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

namespace {

struct StepResult {
  bool ok = false;
  std::string text;
};

struct Step {
  const char* name;
  std::function<StepResult()> run;
  bool needed_by_the_rest = false;  // the session stops when it fails
};

// Handles the page's messages until `done` answers true or `limit` has passed; answers done().
bool PumpUntil(const std::function<bool()>& done, milliseconds limit) {
  const auto deadline = Clock::now() + limit;
  for (;;) {
    Application->ProcessMessages();
    if (done()) return true;
    const auto left = std::chrono::duration_cast<milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) return done();
    // Painter threads hand their frames over without a message: look again at least every 20 ms.
    win::MsgWaitForMultipleObjects(0, nullptr, win::FALSE, static_cast<win::DWORD>(std::min<long long>(left.count(), 20)),
                                   win::QS_ALLINPUT);
  }
}

void PumpFor(milliseconds time) {
  PumpUntil([] { return false; }, time);
}

win::WindowPixels FormPixels(CarPage& page) {
  page.Form()->Update();
  Application->ProcessMessages();
  win::WindowPixels pixels;
  if (!win::ReadWindowPixels(page.Form()->GetHandle(), &pixels)) throw std::runtime_error("the page is not shown");
  return pixels;
}

void SavePng(const win::WindowPixels& pixels, const fs::path& path) {
  TBitmap bitmap;
  bitmap.SetPixelFormat(pf24bit);
  bitmap.SetSize(pixels.width, pixels.height);
  for (int y = 0; y < pixels.height; ++y) {
    auto* row = static_cast<std::uint8_t*>(bitmap.GetScanLine(y));
    for (int x = 0; x < pixels.width; ++x, row += 3) {
      const std::uint32_t rgb = pixels.At(x, y);
      row[0] = static_cast<std::uint8_t>(rgb);
      row[1] = static_cast<std::uint8_t>(rgb >> 8);
      row[2] = static_cast<std::uint8_t>(rgb >> 16);
    }
  }
  TPNGPicture png;
  png.Assign(&bitmap);
  png.SaveToFile(path.string());
}

// A digest of the view area's pixels, to tell one video frame from the next.
std::uint64_t ViewDigest(const win::WindowPixels& pixels, int* lit = nullptr) {
  std::uint64_t digest = 1469598103934665603ull;
  int lit_pixels = 0;
  for (int y = CarPage::kViewArea.top; y < CarPage::kViewArea.bottom; ++y)
    for (int x = CarPage::kViewArea.left; x < CarPage::kViewArea.right; ++x) {
      const std::uint32_t rgb = pixels.At(x, y);
      lit_pixels += rgb != 0;
      digest = (digest ^ rgb) * 1099511628211ull;
    }
  if (lit != nullptr) *lit = lit_pixels;
  return digest;
}

// What the view area showed while it was watched.
struct ViewWatch {
  int pictures = 0;  // one after another, each told from the one before
  bool lit = false;  // a picture held a pixel that is not black
  Clock::duration time{};
};

// Looks at the view area every 20 ms within `span`, for as long as `going` holds.
ViewWatch WatchView(CarPage& page, milliseconds span, const std::function<bool()>& going) {
  const auto start = Clock::now();
  ViewWatch watch;
  std::uint64_t last = 0;
  while (Clock::now() - start < span) {
    PumpFor(milliseconds(20));
    if (!going()) break;
    int lit = 0;
    const std::uint64_t digest = ViewDigest(FormPixels(page), &lit);
    watch.pictures += digest != last;
    watch.lit = watch.lit || lit > 0;
    last = digest;
  }
  watch.time = Clock::now() - start;
  return watch;
}

std::string Millis(std::chrono::microseconds time) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f ms", static_cast<double>(time.count()) / 1000.0);
  return text;
}

std::string Seconds(Clock::duration time) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f s", std::chrono::duration<double>(time).count());
  return text;
}

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

// "1 file", "2 files".
std::string Count(int count, const std::string& one, const std::string& more) {
  return std::to_string(count) + " " + (count == 1 ? one : more);
}

std::string PointText(win::POINT at) {
  std::string text = "(";
  text += std::to_string(at.x) + ", " + std::to_string(at.y) + ")";
  return text;
}

// Posts a tap (left button down and up) at the centre of a tile, in the list view's client
// coordinates; answers the point.
win::POINT TapTile(TTouchListview* tiles, int index) {
  const win::RECT view = tiles->GetItems()->GetItem(index)->GetDisplayRect();
  const win::RECT client = tiles->GetScrollbars()->MapViewRectToWindow(view);
  const win::POINT at{(client.left + client.right) / 2, (client.top + client.bottom) / 2};
  const win::LPARAM where = win::MAKELPARAM(static_cast<win::WORD>(at.x), static_cast<win::WORD>(at.y));
  win::PostMessage(tiles->GetHandle(), win::WM_LBUTTONDOWN, win::MK_LBUTTON, where);
  win::PostMessage(tiles->GetHandle(), win::WM_LBUTTONUP, 0, where);
  return at;
}

// Posts a key going down and up; `typed` is the character it types, as the display gives it.
void PostKey(win::HWND window, int key, char typed = 0) {
  const win::LPARAM data = static_cast<win::LPARAM>(static_cast<unsigned char>(typed)) << 16 | 1;
  win::PostMessage(window, win::WM_KEYDOWN, static_cast<win::WPARAM>(key), data);
  win::PostMessage(window, win::WM_KEYUP, static_cast<win::WPARAM>(key), data);
}

// Of a name's first two characters, those up to the first that TypeKeys does not type: any but
// a letter, digit or blank is a key that does something else (Escape, Delete...).
std::string TypedPrefix(const std::string& name) {
  const auto typed = [](char c) {
    return c == ' ' || (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
  };
  std::size_t length = 0;
  while (length < 2 && length < name.size() && typed(name[length])) ++length;
  return name.substr(0, length);
}

// Posts the keys of a text of letters, digits and blanks, as typed.
void TypeKeys(win::HWND window, const std::string& text) {
  for (char c : text) PostKey(window, c == ' ' ? win::VK_SPACE : std::toupper(static_cast<unsigned char>(c)), c);
}

// Posts a tap at the middle of a tile's caption; answers the point.
win::POINT TapCaption(TTouchListview* tiles, TTouchItem* item) {
  TTouchRectArrayObject rects;
  item->ItemRects(nullptr, tiles->GetCanvas(), rects);
  const win::RECT label = tiles->GetScrollbars()->MapViewRectToWindow(rects.LabelRect);
  const win::POINT at{(label.left + label.right) / 2, (label.top + label.bottom) / 2};
  const win::LPARAM where = win::MAKELPARAM(static_cast<win::WORD>(at.x), static_cast<win::WORD>(at.y));
  win::PostMessage(tiles->GetHandle(), win::WM_LBUTTONDOWN, win::MK_LBUTTON, where);
  win::PostMessage(tiles->GetHandle(), win::WM_LBUTTONUP, 0, where);
  return at;
}

// A user who waits for the edit box to open and then types into it. The edit runs in its own
// message loop, so the typing starts from a timer that that loop dispatches too.
struct Typist {
  TTouchListview* tiles = nullptr;
  std::function<void(win::HWND box)> type;
  bool typed = false;
};
Typist* active_typist = nullptr;

void TypeOnceTheBoxIsOpen(win::HWND, win::UINT, win::UINT_PTR timer, win::DWORD) {
  if (active_typist == nullptr || !active_typist->tiles->GetEditManager()->GetEditing()) return;
  win::KillTimer(nullptr, timer);
  active_typist->type(win::GetFocus());
  active_typist->typed = true;
}

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
  return text;
}

class Session {
 public:
  Session(CarPage& page, const SessionSettings& settings, fs::path copy)
      : page_(page), settings_(settings), copy_(std::move(copy)) {}

  std::vector<Step> Steps() {
    return {{"open", [this] { return Open(); }, true},   {"tap", [this] { return Tap(); }},
            {"play", [this] { return Play(); }},         {"volume", [this] { return Volume(); }},
            {"type-ahead", [this] { return TypeAhead(); }}, {"rename", [this] { return Rename(); }}};
  }

 private:
  StepResult Open() {
    FolderReport report;
    // The page has shown why.
    if (!page_.OpenFolder(copy_, report)) return {false, "the copy in " + copy_.string() + " did not open"};
    // A phone gets a moment to answer "AT".
    PumpUntil([this] { return page_.PhoneStatus().find("no answer") == std::string::npos; }, milliseconds(3000));
    std::string text = Count(report.items, "item", "items") + " in a copy of " + settings_.folder.string() + ": " +
                       Count(report.pictures, "picture", "pictures") + " decoded in " + Millis(report.decode_time);
    if (report.pictures > 0) text += " (slowest " + Quoted(report.slowest_name) + " " + Millis(report.slowest_decode) + ")";
    text += ", " + Count(report.videos, "video", "videos");
    if (report.broken > 0)
      text += ", " + Count(report.broken, "broken picture shown as a placeholder", "broken pictures shown as placeholders");
    if (report.others > 0) text += ", " + Count(report.others, "file of another type", "files of other types") + " left out";
    text += "; " + page_.PhoneStatus();
    return {true, text};
  }

  StepResult Tap() {
    constexpr int kSecondTile = 1;
    if (page_.Entries().size() < 2) return {false, "the folder has no second tile"};
    const win::POINT at = TapTile(page_.Tiles(), kSecondTile);
    const std::string where = PointText(at);
    const std::string& name = page_.Entries()[kSecondTile].name;
    if (!PumpUntil([this] { return page_.ChosenIndex() == kSecondTile; }, milliseconds(3000)))
      return {false, "no tap reached tile 2 " + Quoted(name) + " from a click at " + where};
    std::string text = "tile 2 " + Quoted(name) + " chosen by a tap at " + where;
    if (TGraphic* shown = page_.ShownPicture(); AnimationFrames(shown) > 0) {
      // Frames that reach the page: the view area shows one picture after another.
      const int pictures = WatchView(page_, milliseconds(1000), [] { return true; }).pictures;
      text += ", its " + std::to_string(AnimationFrames(shown)) + " frames playing: " + std::to_string(pictures) +
              " pictures in the view area within 1 s";
      return {pictures >= 3, text};
    }
    return {true, text};
  }

  StepResult Play() {
    const auto& entries = page_.Entries();
    const auto video = std::find_if(entries.begin(), entries.end(),
                                    [](const MediaEntry& e) { return e.kind == MediaEntry::Kind::Video; });
    if (video == entries.end()) return {false, "the folder holds no video"};
    const int index = static_cast<int>(video - entries.begin());
    if (!page_.ChooseEntry(index)) return {false, Quoted(video->name) + " does not play"};
    // A clip shorter than the watch ends within it, and the page then puts the view back: the
    // step counts what showed while the clip played.
    const ViewWatch watch = WatchView(page_, milliseconds(2000), [this] { return page_.Graph()->GetActive(); });
    const bool ended = !page_.Graph()->GetActive();
    if (!ended) {
      page_.Graph()->Pause();
      PumpFor(milliseconds(200));
    }
    const std::string shown = ", " + Count(watch.pictures, "frame", "frames") + " shown in the video area";
    return {watch.pictures >= 2 && watch.lit,
            Quoted(video->name) + (ended ? " played to its end after " + Seconds(watch.time) + shown
                                         : " played " + Seconds(watch.time) + shown + ", then paused")};
  }

  StepResult Volume() {
    const int before = page_.MasterVolumePercent();
    if (before < 0) return {false, "no mixer: the master line cannot be read"};
    const int target = before > 50 ? 30 : 70;
    page_.VolumeSlider()->SetPosition(target);
    PumpFor(milliseconds(100));
    const int after = page_.MasterVolumePercent();
    const int slider = page_.VolumeSlider()->GetPosition();
    std::string text = "master line moved from " + std::to_string(before) + " % to " + std::to_string(target) +
                       " %; the mixer reads " + std::to_string(after) + " %";
    if (slider != after) text += ", the slider " + std::to_string(slider);
    return {std::abs(after - target) <= 1 && slider == after, text};
  }

  StepResult TypeAhead() {
    const auto& entries = page_.Entries();
    if (entries.size() < 3) return {false, "the folder has too few tiles to search"};
    // The last picture or video whose name begins with keys to type: typing them finds the first
    // tile they begin.
    int last = static_cast<int>(entries.size()) - 2;
    while (last >= 0 && TypedPrefix(entries[static_cast<std::size_t>(last)].name).empty()) --last;
    if (last < 0) return {false, "no tile's name begins with a letter, digit or blank"};
    const std::string prefix = Lower(TypedPrefix(entries[static_cast<std::size_t>(last)].name));
    int expected = 0;
    while (Lower(entries[static_cast<std::size_t>(expected)].name.substr(0, prefix.size())) != prefix) ++expected;
    page_.Tiles()->SetFocus();
    TypeKeys(page_.Tiles()->GetHandle(), prefix);
    const auto focused = [this] {
      TTouchItem* item = page_.Tiles()->GetSelection()->GetFocusedItem();
      return item != nullptr ? item->GetIndex() : -1;
    };
    const bool found = PumpUntil([&] { return focused() == expected; }, milliseconds(2000));
    const std::string target = Quoted(entries[static_cast<std::size_t>(expected)].name);
    if (!found) {
      const int at = focused();
      return {false, "typing " + Quoted(prefix) + " left the focus on " +
                         (at < 0 ? std::string("no tile") : Quoted(entries[static_cast<std::size_t>(at)].name)) +
                         " instead of " + target};
    }
    return {true, "typing " + Quoted(prefix) + " moved the focus to tile " + std::to_string(expected + 1) + " " + target};
  }

  // A tap on the caption of the focused tile opens its edit box; the name gets " renamed"
  // before its extension.
  StepResult Rename() {
    static constexpr char kMark[] = " renamed";
    TTouchListview* tiles = page_.Tiles();
    TTouchItem* item = tiles->GetSelection()->GetFocusedItem();
    if (item == nullptr) return {false, "no tile has the focus"};
    const auto index = static_cast<std::size_t>(item->GetIndex());
    const std::string before = page_.Entries()[index].name;
    const std::size_t extension = fs::path(before).extension().string().size();
    Typist typist{tiles, [&](win::HWND box) {
                    PostKey(box, win::VK_END);
                    for (std::size_t i = 0; i < extension; ++i) PostKey(box, win::VK_LEFT);
                    TypeKeys(box, kMark);
                    PostKey(box, win::VK_RETURN);
                  }};
    active_typist = &typist;
    const win::UINT_PTR timer = win::SetTimer(nullptr, 0, 50, TypeOnceTheBoxIsOpen);
    const win::POINT at = TapCaption(tiles, item);
    const bool renamed = PumpUntil([&] { return page_.Entries()[index].name != before; }, milliseconds(5000));
    if (!typist.typed) win::KillTimer(nullptr, timer);
    active_typist = nullptr;
    const std::string tap = "a tap at " + PointText(at);
    if (!renamed)
      return {false, Quoted(before) + (typist.typed ? " kept its name after " : " opened no edit box after ") + tap};
    return {true, "tile " + std::to_string(index + 1) + " " + Quoted(before) + " renamed in place to " +
                      Quoted(page_.Entries()[index].name) + " after " + tap + " on its caption"};
  }

  CarPage& page_;
  const SessionSettings& settings_;
  const fs::path copy_;  // of the settings' folder
};

// Whether `inner` is `outer` or lies in it, both absolute and without links.
bool Within(const fs::path& inner, const fs::path& outer) {
  return std::mismatch(outer.begin(), outer.end(), inner.begin(), inner.end()).first == outer.end();
}

std::string Megabytes(std::uintmax_t bytes) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f MB", static_cast<double>(bytes) / (1 << 20));
  return text;
}

// Makes `copy` afresh with a copy of the files of `folder` and an empty folder for each of its
// sub-folders; answers the number of files copied. Raises std::runtime_error with the text the
// user sees when `folder` cannot be read.
int CopyFolder(const fs::path& folder, const fs::path& copy, std::uintmax_t& bytes) {
  const auto cannot_open = [&](const std::string& why) {
    return std::runtime_error(FolderCannotBeOpened(folder, why));
  };
  if (const std::string why = WhyFolderCannotBeOpened(folder); !why.empty()) throw cannot_open(why);
  std::error_code error;
  // Making the copy afresh must not remove the folder it copies.
  if (Within(fs::weakly_canonical(folder), fs::weakly_canonical(copy))) throw cannot_open("it is the session's own copy");
  fs::remove_all(copy);
  fs::create_directories(copy);
  int files = 0;
  bytes = 0;
  fs::directory_iterator entries(folder, error);
  for (; !error && entries != fs::directory_iterator(); entries.increment(error)) {
    const fs::directory_entry& entry = *entries;
    const fs::path target_entry = copy / entry.path().filename();
    if (entry.is_directory(error)) {
      fs::create_directory(target_entry);
    } else if (entry.is_regular_file(error)) {
      fs::copy_file(entry.path(), target_entry);
      bytes += entry.file_size(error);
      ++files;
    }
  }
  if (error) throw cannot_open(error.message());
  return files;
}

}  // namespace

std::string OneLine(std::string_view text) {
  std::string line;
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 && byte != 0x7F) {
      line += c;
    } else if (c == '\n') {
      line += "\\n";
    } else if (c == '\r') {
      line += "\\r";
    } else if (c == '\t') {
      line += "\\t";
    } else {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\x%02X", byte);
      line += escape;
    }
  }
  return line;
}

int PlaySession(CarPage& page, const SessionSettings& settings, std::ostream& out) {
  const fs::path copy = settings.screenshots / "folder";
  std::uintmax_t bytes = 0;
  const int files = CopyFolder(settings.folder, copy, bytes);
  out << OneLine("progress: the session plays on a copy of " + settings.folder.string() + " in " + copy.string() +
                 " (" + Count(files, "file", "files") + ", " + Megabytes(bytes) + ")")
      << std::endl;
  MasterLevels levels;
  const bool has_mixer = page.ReadMasterLevels(levels);
  Session session(page, settings, copy);
  const std::vector<Step> steps = session.Steps();
  const auto screenshot = [&](std::size_t i) {
    return settings.screenshots / (std::to_string(i + 1) + "-" + steps[i].name + ".png");
  };
  // A session that stops early leaves no screenshots of an earlier one behind.
  for (std::size_t i = 0; i < steps.size(); ++i) fs::remove(screenshot(i));
  std::size_t succeeded = 0;
  bool first = true;
  for (std::size_t i = 0; i < steps.size(); ++i) {
    StepResult result;
    try {
      result = steps[i].run();
    } catch (const std::exception& e) {
      result = {false, e.what()};
    }
    const fs::path shot = screenshot(i);
    SavePng(FormPixels(page), shot);
    succeeded += result.ok;
    out << "[" << i + 1 << "/" << steps.size() << "] " << steps[i].name << ": " << (result.ok ? "" : "FAILED: ")
        << OneLine(result.text + " -> " + shot.string()) << std::endl;
    if (first) {
      out << "first screenshot " << Seconds(Clock::now() - settings.started) << " after " << settings.started_by
          << std::endl;
      first = false;
    }
    if (!result.ok && steps[i].needed_by_the_rest) break;
  }
  if (has_mixer) page.RestoreMasterLevels(levels);
  out << "session: " << succeeded << " of " << steps.size() << " steps succeeded; screenshots in "
      << OneLine(settings.screenshots.string()) << std::endl;
  return static_cast<int>(steps.size() - succeeded);
}

}  // namespace carpc
