// The folder the page shows, through the shell library: its pictures (decoded through the picture
// container, so PNG and GIF by their codecs), its videos and its sub-folders, each with a cover
// for its tile. Kept apart from the page's controls: this is the page's only unit that speaks to
// the shell library.
#pragma once

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/core/types.h"

namespace dashtune {
class TBitmap;
class TGraphic;
class TNamespace;
}  // namespace dashtune

namespace carpc {

using MessageSink = std::function<void(const std::string& message)>;

// One tile: a shell item of the folder and what the page knows about it.
struct MediaEntry {
  enum class Kind { Picture, Video, Folder, Other };
  MediaEntry();
  MediaEntry(MediaEntry&&) noexcept;
  MediaEntry& operator=(MediaEntry&&) noexcept;
  ~MediaEntry();

  std::unique_ptr<dashtune::TNamespace> item;
  Kind kind = Kind::Other;
  std::unique_ptr<dashtune::TGraphic> picture;  // pictures that decoded
  int image_index = -1;                          // the tile's cover in the page's image list
  std::string name;                              // UTF-8 name in the folder, for showing
  std::filesystem::path path;                    // the file's own bytes, for opening it
};

// What opening a folder found and measured.
struct FolderReport {
  int items = 0;
  int pictures = 0;
  int videos = 0;
  int broken = 0;
  int others = 0;  // files of types the page does not show, left out of the tiles
  std::chrono::microseconds decode_time{0};
  std::chrono::microseconds slowest_decode{0};
  std::string slowest_name;
};

class MediaFolder {
 public:
  MediaFolder();
  ~MediaFolder();

  // Lists the folder's pictures (PNG and GIF) and videos by name, then its sub-folders, and
  // decodes the pictures; a picture that does not decode or is no regular file keeps its tile
  // with a placeholder, files of other types are only counted. Answers false when the folder
  // cannot be read. Messages for the user go to `message`.
  bool Open(const std::filesystem::path& folder, FolderReport& report, const MessageSink& message);
  void Clear();
  std::vector<MediaEntry>& Entries() { return entries_; }

  // The tile's caption of a column: 0 the name, 1 the type, 2 the size.
  static std::u16string Caption(const MediaEntry& entry, int column);
  // The shell's name of the entry's file, for engines that take a wide name.
  static std::u16string ParsingName(const MediaEntry& entry);
  // Renames the file; false when the shell refuses.
  static bool Rename(MediaEntry& entry, const std::u16string& name);

 private:
  std::unique_ptr<dashtune::TNamespace> folder_;
  std::vector<MediaEntry> entries_;  // declared after the folder: its items refer to it
};

// Raises std::runtime_error saying why when `path` is no regular file nor a link to one (a FIFO,
// socket or device, which a reader could wait on for ever).
void RequireRegularFile(const std::filesystem::path& path);

// The text with one full stop at its end, whether or not it brought its own.
std::string Sentence(std::string text);

// Why `folder` cannot be listed ("it does not exist or is no folder"...); empty when it can.
std::string WhyFolderCannotBeOpened(const std::filesystem::path& folder);
// The text that tells the user so.
std::string FolderCannotBeOpened(const std::filesystem::path& folder, const std::string& why);

// Draws the entry's cover over `cover` (a square bitmap filled with the background): the
// picture (a GIF's first frame), or a film strip, a folder or a crossed-out frame.
void DrawCover(const MediaEntry& entry, dashtune::TBitmap& cover);

// The largest rectangle of a width:height picture centred in `box`.
win::RECT FitInto(int width, int height, const win::RECT& box);

// Frames of an animated picture (0 for anything else).
int AnimationFrames(dashtune::TGraphic* graphic);

}  // namespace carpc
