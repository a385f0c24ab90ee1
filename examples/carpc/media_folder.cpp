// The folder through the shell library and the pictures through the picture container.
#include "media_folder.h"

#include <algorithm>
#include <cctype>

#include "classlib/bitmap.h"
#include "components/imaging/gif/gif_picture.h"
#include "components/shell/namespace.h"
#include "platform/core/mul_div.h"
#include "platform/core/strings.h"

namespace carpc {

namespace fs = std::filesystem;
using namespace dashtune;

namespace {

constexpr TColor kPlaceholderRed = 0x6060FF;

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
  return text;
}

MediaEntry::Kind KindOf(TNamespace& item) {
  if (item.Folder()) return MediaEntry::Kind::Folder;
  const std::string extension = Lower(win::Utf16ToUtf8(item.Extension()));
  if (extension == ".png" || extension == ".gif") return MediaEntry::Kind::Picture;
  static const char* const kVideos[] = {".ogg", ".ogv", ".webm", ".mkv", ".mp4", ".mpg", ".avi"};
  for (const char* video : kVideos)
    if (extension == video) return MediaEntry::Kind::Video;
  return MediaEntry::Kind::Other;
}

void Fill(TCanvas* canvas, TColor color, const win::RECT& rect) {
  canvas->GetBrush()->SetColor(color);
  canvas->FillRect(rect);
}

void DrawFilm(TCanvas* canvas) {
  Fill(canvas, 0x202020, {4, 10, 60, 54});
  for (int x = 8; x < 58; x += 10) {
    Fill(canvas, 0xD0D0D0, {x, 13, x + 5, 17});
    Fill(canvas, 0xD0D0D0, {x, 47, x + 5, 51});
  }
  for (int row = 0; row < 20; ++row)  // a play mark pointing right
    Fill(canvas, 0x30C0F0, {24, 22 + row, 24 + (row < 10 ? row : 20 - row) * 2, 23 + row});
}

void DrawFolder(TCanvas* canvas) {
  Fill(canvas, 0x40A0E0, {6, 14, 28, 22});
  Fill(canvas, 0x50B8F0, {6, 20, 58, 52});
}

void DrawBroken(TCanvas* canvas) {
  canvas->GetBrush()->SetColor(0x707070);
  canvas->FrameRect({6, 6, 58, 58});
  for (int i = 0; i < 40; ++i) {
    Fill(canvas, kPlaceholderRed, {12 + i, 12 + i, 15 + i, 15 + i});
    Fill(canvas, kPlaceholderRed, {49 - i, 12 + i, 52 - i, 15 + i});
  }
}

TGIFPicture* Animation(TGraphic* graphic) {
  auto* gif = dynamic_cast<TGIFPicture*>(graphic);
  return gif != nullptr && gif->GetImages()->GetCount() > 1 ? gif : nullptr;
}

}  // namespace

MediaEntry::MediaEntry() = default;
MediaEntry::MediaEntry(MediaEntry&&) noexcept = default;
MediaEntry& MediaEntry::operator=(MediaEntry&&) noexcept = default;
MediaEntry::~MediaEntry() = default;

MediaFolder::MediaFolder() = default;
MediaFolder::~MediaFolder() { Clear(); }

void MediaFolder::Clear() {
  entries_.clear();
  folder_.reset();
}

bool MediaFolder::Open(const fs::path& folder, FolderReport& report, const MessageSink& message) {
  Clear();
  report = FolderReport{};
  try {
    folder_ = TNamespace::CreateFromFileName(win::Utf8ToUtf16(fs::absolute(folder).string()));
  } catch (const EShellInvalidFileName&) {
  }
  if (folder_ == nullptr || !folder_->Folder()) {
    folder_.reset();
    message("The folder " + folder.string() + " cannot be opened: it does not exist or is no folder.");
    return false;
  }
  folder_->EnumerateFolderEx(nullptr, {TFileObject::foFolders, TFileObject::foNonFolders},
                             [this, &report](win::HWND, win::LPITEMIDLIST id, TNamespace* parent, void*, bool&) {
                               MediaEntry entry;
                               entry.item = std::make_unique<TNamespace>(id, parent);
                               entry.kind = KindOf(*entry.item);
                               entry.name = win::Utf16ToUtf8(entry.item->NameInFolder());
                               if (entry.kind == MediaEntry::Kind::Other)
                                 ++report.others;
                               else
                                 entries_.push_back(std::move(entry));
                               return true;
                             },
                             nullptr);
  std::sort(entries_.begin(), entries_.end(), [](const MediaEntry& a, const MediaEntry& b) {
    const bool a_folder = a.kind == MediaEntry::Kind::Folder, b_folder = b.kind == MediaEntry::Kind::Folder;
    return a_folder != b_folder ? b_folder : Lower(a.name) < Lower(b.name);
  });
  for (MediaEntry& entry : entries_) {
    if (entry.kind == MediaEntry::Kind::Video) ++report.videos;
    if (entry.kind != MediaEntry::Kind::Picture) continue;
    auto picture = std::make_unique<TPicture>();
    const auto start = std::chrono::steady_clock::now();
    try {
      picture->LoadFromFile(win::Utf16ToUtf8(Path(entry)));
    } catch (const std::exception& e) {
      ++report.broken;
      message(entry.name + " cannot be shown: " + e.what());
      continue;
    }
    const auto took = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start);
    ++report.pictures;
    report.decode_time += took;
    if (took >= report.slowest_decode) {
      report.slowest_decode = took;
      report.slowest_name = entry.name;
    }
    entry.picture = std::move(picture);
  }
  report.items = static_cast<int>(entries_.size());
  if (report.items == 0) message("The folder " + folder.string() + " holds no pictures or videos.");
  return true;
}

std::u16string MediaFolder::Caption(const MediaEntry& entry, int column) {
  switch (column) {
    case 0:
      return win::Utf8ToUtf16(entry.name);
    case 1:
      return entry.item->FileType();
    case 2:
      return entry.kind == MediaEntry::Kind::Folder ? u"" : entry.item->SizeOfFileKB();
    default:
      return u"";
  }
}

std::u16string MediaFolder::Path(const MediaEntry& entry) { return entry.item->NameForParsing(); }

bool MediaFolder::Rename(MediaEntry& entry, const std::u16string& name) {
  if (name.empty() || !entry.item->SetNameOf(name)) return false;
  entry.name = win::Utf16ToUtf8(entry.item->NameInFolder());
  return true;
}

void DrawCover(const MediaEntry& entry, TBitmap& cover) {
  TCanvas* canvas = cover.GetCanvas();
  const win::RECT box{0, 0, cover.GetWidth(), cover.GetHeight()};
  if (TGraphic* graphic = entry.picture != nullptr ? entry.picture->GetGraphic() : nullptr) {
    const win::RECT fitted = FitInto(graphic->GetWidth(), graphic->GetHeight(), box);
    // A GIF's cover is its first frame, not a running animation. The picture's own bitmap stays
    // unmade: once made it would be what the picture draws, and the animation would never start.
    if (auto* gif = dynamic_cast<TGIFPicture*>(graphic)) {
      if (gif->GetImages()->GetCount() > 0) gif->GetImages()->GetFrame(0)->Draw(canvas, fitted, false, false);
    } else {
      canvas->StretchDraw(fitted, graphic);
    }
  } else if (entry.kind == MediaEntry::Kind::Video) {
    DrawFilm(canvas);
  } else if (entry.kind == MediaEntry::Kind::Folder) {
    DrawFolder(canvas);
  } else {
    DrawBroken(canvas);
  }
}

win::RECT FitInto(int width, int height, const win::RECT& box) {
  const int box_width = box.right - box.left, box_height = box.bottom - box.top;
  if (width <= 0 || height <= 0) return box;
  int w = box_width, h = win::MulDiv(height, box_width, width);
  if (h > box_height) {
    h = box_height;
    w = win::MulDiv(width, box_height, height);
  }
  const int left = box.left + (box_width - w) / 2, top = box.top + (box_height - h) / 2;
  return {left, top, left + w, top + h};
}

int AnimationFrames(TGraphic* graphic) {
  TGIFPicture* gif = Animation(graphic);
  return gif != nullptr ? gif->GetImages()->GetCount() : 0;
}

}  // namespace carpc
