// The folder through the shell library and the pictures through the picture container.
#include "media_folder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <stdexcept>
#include <system_error>

#include "classlib/bitmap.h"
#include "classlib/streams.h"
#include "components/imaging/gif/gif_picture.h"
#include "components/shell/namespace.h"
#include "platform/core/mul_div.h"
#include "platform/core/strings.h"
#include "platform/shell/file_info.h"
#include "platform/shell/namespace_model.h"

namespace carpc {

namespace fs = std::filesystem;
using namespace dashtune;

namespace {

constexpr TColor kPlaceholderRed = 0x6060FF;
constexpr char kNoFolder[] = "it does not exist or is no folder";
// Larger picture files are not read: no picture the page can show needs more.
constexpr off_t kLargestPictureFile = off_t{256} << 20;

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

std::runtime_error CannotRead(int error) {
  return std::runtime_error("it cannot be read (" + std::generic_category().message(error) + ")");
}

std::runtime_error NotRegular(bool link, mode_t mode) {
  const char* kind = S_ISFIFO(mode)  ? "a FIFO"
                     : S_ISSOCK(mode) ? "a socket"
                     : S_ISCHR(mode)  ? "a character device"
                     : S_ISBLK(mode)  ? "a block device"
                     : S_ISDIR(mode)  ? "a folder"
                                      : "a special file";
  return std::runtime_error(std::string("it is ") + (link ? "a link to " : "") + kind + ", not a regular file");
}

class ScopedDescriptor {
 public:
  explicit ScopedDescriptor(int fd) : fd_(fd) {}
  ~ScopedDescriptor() { close(fd_); }
  ScopedDescriptor(const ScopedDescriptor&) = delete;
  ScopedDescriptor& operator=(const ScopedDescriptor&) = delete;

 private:
  int fd_;
};

// Reads a file whole, never waiting on it: only a regular file, or a link to one, is opened, and
// without blocking, so that a FIFO, socket or device named like a picture cannot hold the page
// up (nor is a device opened at all). Raises std::runtime_error saying why a file is not read.
void ReadRegularFile(const fs::path& path, TMemoryStream& bytes) {
  RequireRegularFile(path);
  struct stat target {};
  const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) throw CannotRead(errno);
  const ScopedDescriptor closes(fd);
  // The name may stand for another file by now: what was opened is what counts.
  if (fstat(fd, &target) != 0) throw CannotRead(errno);
  if (!S_ISREG(target.st_mode)) throw NotRegular(false, target.st_mode);
  if (target.st_size > kLargestPictureFile)
    throw std::runtime_error("it is larger than " + std::to_string(kLargestPictureFile >> 20) + " MB");
  bytes.SetSize(target.st_size);
  std::int64_t got = 0;
  while (got < target.st_size) {
    const ssize_t read_now = read(fd, bytes.GetMemory() + got, static_cast<std::size_t>(target.st_size - got));
    if (read_now < 0 && errno == EINTR) continue;
    if (read_now < 0) throw CannotRead(errno);
    if (read_now == 0) break;  // the file shrank meanwhile
    got += read_now;
  }
  bytes.SetSize(got);
}

// Decodes the picture file by the format its extension names.
std::unique_ptr<TGraphic> LoadPicture(const fs::path& path) {
  const std::string extension = path.extension().string();
  const TGraphicClass format = TPicture::GraphicClassForExtension(extension.empty() ? "" : extension.substr(1));
  if (!format) throw std::runtime_error("no picture format reads " + extension + " files");
  TMemoryStream bytes;
  ReadRegularFile(path, bytes);
  std::unique_ptr<TGraphic> picture = format.Create();
  picture->LoadFromStream(&bytes);
  return picture;
}

// The shell's parsing name of a path: the path itself, or its file URI when the path is no valid
// UTF-8, which a wide name cannot carry.
std::u16string ParsingNameOf(const std::string& path) {
  std::u16string name = win::Utf8ToUtf16(path);
  if (win::Utf16ToUtf8(name) != path) name = u"file://" + win::Utf8ToUtf16(win::file_info::PercentEncode(path));
  return name;
}

// The bytes of the path of the file behind a shell item (empty when it has none).
fs::path PathOf(TNamespace& item) {
  return win::shell_model::PathOfParsingName(item.NameForParsing()).value_or(std::string());
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
  std::string why = WhyFolderCannotBeOpened(folder);
  if (why.empty()) {
    try {
      folder_ = TNamespace::CreateFromFileName(ParsingNameOf(fs::absolute(folder).string()));
    } catch (const EShellInvalidFileName&) {
    }
    if (folder_ == nullptr || !folder_->Folder()) why = kNoFolder;
  }
  if (!why.empty()) {
    folder_.reset();
    message(FolderCannotBeOpened(folder, why));
    return false;
  }
  folder_->EnumerateFolderEx(nullptr, {TFileObject::foFolders, TFileObject::foNonFolders},
                             [this, &report](win::HWND, win::LPITEMIDLIST id, TNamespace* parent, void*, bool&) {
                               MediaEntry entry;
                               entry.item = std::make_unique<TNamespace>(id, parent);
                               entry.kind = KindOf(*entry.item);
                               entry.name = win::Utf16ToUtf8(entry.item->NameInFolder());
                               entry.path = PathOf(*entry.item);
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
    const auto start = std::chrono::steady_clock::now();
    try {
      entry.picture = LoadPicture(entry.path);
    } catch (const std::exception& e) {
      ++report.broken;
      message(Sentence(entry.name + " cannot be shown: " + e.what()));
      continue;
    }
    const auto took = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start);
    ++report.pictures;
    report.decode_time += took;
    if (took >= report.slowest_decode) {
      report.slowest_decode = took;
      report.slowest_name = entry.name;
    }
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

std::u16string MediaFolder::ParsingName(const MediaEntry& entry) { return entry.item->NameForParsing(); }

bool MediaFolder::Rename(MediaEntry& entry, const std::u16string& name) {
  if (name.empty() || !entry.item->SetNameOf(name)) return false;
  entry.name = win::Utf16ToUtf8(entry.item->NameInFolder());
  entry.path = PathOf(*entry.item);
  return true;
}

void RequireRegularFile(const fs::path& path) {
  struct stat named {}, target {};
  if (lstat(path.c_str(), &named) != 0 || stat(path.c_str(), &target) != 0) throw CannotRead(errno);
  if (!S_ISREG(target.st_mode)) throw NotRegular(S_ISLNK(named.st_mode), target.st_mode);
}

std::string Sentence(std::string text) {
  if (text.empty() || text.back() != '.') text += '.';
  return text;
}

std::string WhyFolderCannotBeOpened(const fs::path& folder) {
  std::error_code error;
  const fs::directory_iterator probe(folder, error);
  if (!error) return "";
  if (error == std::errc::no_such_file_or_directory || error == std::errc::not_a_directory) return kNoFolder;
  return CannotRead(error.value()).what();
}

std::string FolderCannotBeOpened(const fs::path& folder, const std::string& why) {
  return "The folder " + folder.string() + " cannot be opened: " + why + ".";
}

void DrawCover(const MediaEntry& entry, TBitmap& cover) {
  TCanvas* canvas = cover.GetCanvas();
  const win::RECT box{0, 0, cover.GetWidth(), cover.GetHeight()};
  if (TGraphic* graphic = entry.picture.get()) {
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
