// Helpers of the GIF tests: files built block by block, a reference LZW encoder that writes any
// code sequence, giflib as the independent reader and writer, and loading through the codec with
// its warnings collected.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "classlib/bitmap.h"
#include "components/imaging/gif/gif_picture.h"

namespace dashtune::giftest {

using Bytes = std::vector<std::uint8_t>;

Bytes Concat(std::initializer_list<Bytes> parts);
Bytes Le16(unsigned value);
// "GIF89a", the screen descriptor and the global table (none for an empty one).
Bytes Header(unsigned width, unsigned height, const std::vector<TGIFColor>& global, unsigned background = 0,
             const char* version = "89a");
// An image descriptor with its local table.
Bytes Descriptor(unsigned left, unsigned top, unsigned width, unsigned height, bool interlaced = false,
                 const std::vector<TGIFColor>& local = {});
// The graphic control extension.
Bytes ControlExtension(int disposal, bool transparent, unsigned index, unsigned delay = 0);
// Data cut into sub-blocks of the given sizes (the last size repeats), then the zero-size block.
Bytes SubBlocks(const Bytes& data, const std::vector<std::size_t>& sizes = {255}, bool terminate = true);
// A table of n grays (entry i is (i, i, i)) or of n distinct colours.
std::vector<TGIFColor> GrayTable(int n);

// Codes packed least significant bit first. Widths follow the decoder's rule unless given.
struct Code {
  int value;
  int bits;
};
Bytes PackCodes(const std::vector<Code>& codes);
// Reference LZW: the pixels as codes for a minimum code size, starting with a clear code and
// ending with the end code. With clear_when_full false the table stays full at 4096 entries.
std::vector<Code> EncodeLzw(const Bytes& pixels, int min_code_size, bool clear_when_full = true);
// Minimum code size byte, the packed codes as sub-blocks, and the terminator.
Bytes ImageData(const Bytes& pixels, int min_code_size, const std::vector<std::size_t>& sizes = {255});

// A GIF as giflib reads it (DGifSlurp).
struct GiflibFrame {
  int left = 0, top = 0, width = 0, height = 0;
  bool interlace = false;
  std::vector<TGIFColor> local;
  Bytes pixels;
  bool has_control = false;
  int disposal = 0, delay = 0, transparent = -1;
  bool user_input = false;
  std::vector<std::string> comments;
  // Every extension before the frame as giflib kept it: "!", label, sub-blocks, terminator.
  std::vector<Bytes> extensions;
};
struct GiflibFile {
  int width = 0, height = 0, background = 0;
  std::vector<TGIFColor> global;
  std::vector<GiflibFrame> frames;
  std::optional<int> loops;
  std::vector<std::string> trailing_comments;
  std::vector<Bytes> trailing_extensions;  // after the last frame
};
// nullopt when giflib refuses the file.
std::optional<GiflibFile> GiflibRead(const Bytes& file);

// A frame to write with giflib; interlaced frames are reordered for the writer.
struct GiflibImage {
  int left = 0, top = 0, width = 0, height = 0;
  bool interlace = false;
  std::vector<TGIFColor> local;
  Bytes pixels;  // rows in order
  int disposal = 0, delay = 0, transparent = -1;
  std::vector<std::string> comments;
};
Bytes GiflibWrite(int width, int height, const std::vector<TGIFColor>& global, const std::vector<GiflibImage>& frames,
                  std::optional<int> loops = std::nullopt, int background = 0);

// The same file with every frame's data cut into sub-blocks of the given sizes (the last
// repeats); sizes of 0 pick random sizes from the seed.
Bytes Reblock(const Bytes& file, const std::vector<std::size_t>& sizes, unsigned seed = 1);

// A bitmap of the format filled with one colour.
std::unique_ptr<TBitmap> FilledBitmap(TPixelFormat format, int width, int height, TColor color);

// A picture loaded from memory with its warnings ("sender class: text") collected.
struct Loaded {
  std::unique_ptr<TGIFPicture> picture = std::make_unique<TGIFPicture>();
  std::vector<std::string> warnings;
  std::string error;  // the exception's text when loading raised
};
Loaded Load(const Bytes& file);
Bytes Save(TGIFPicture& picture);

// The frames that hold an image: frames of extensions only (after the last image) have no
// counterpart in giflib.
std::vector<TGIFSubImage*> ImageFrames(TGIFPicture& picture);
// "" when every frame's bounds, interlace flag, tables and pixels equal giflib's, else the first
// difference.
std::string CompareFrames(const GiflibFile& ref, TGIFPicture& picture);
// Each extension of the frame as the codec writes it.
std::vector<Bytes> SavedExtensions(TGIFSubImage& frame);
// Frame `index` drawn opaque into a 32-bit bitmap of its size, as 0x00RRGGBB values.
std::vector<std::uint32_t> DrawFrame(TGIFSubImage& frame);
// Giflib's indices expanded through its colour map, as 0x00RRGGBB values.
std::vector<std::uint32_t> ExpandFrame(const GiflibFile& file, std::size_t index);

// The corpus made by make_gif_corpus.sh in a fresh folder, removed again when this goes: all of
// it, or only its "imagemagick" or "tools" (giflib-tools) part.
class ScriptCorpus {
 public:
  explicit ScriptCorpus(const std::string& part = "all");
  ~ScriptCorpus();
  ScriptCorpus(const ScriptCorpus&) = delete;
  ScriptCorpus& operator=(const ScriptCorpus&) = delete;

  bool Made() const { return made_; }
  std::string Path(const std::string& name) const { return (folder_ / name).string(); }
  // The files giflib reads, sorted by name (not those of the subfolder "refused").
  std::vector<std::filesystem::path> Files() const;

 private:
  std::filesystem::path folder_;
  bool made_ = false;
};

Bytes ReadFile(const std::string& path);

// ImageMagick's coalesced frames of a file of the given screen size over a background colour
// ("#RRGGBB"), each as 0x00RRGGBB values row by row; empty when convert fails.
std::vector<std::vector<std::uint32_t>> Coalesced(const std::string& path, const std::string& background, int width,
                                                  int height);

}  // namespace dashtune::giftest
