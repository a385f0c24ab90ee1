// GIF test support: giflib round trips, corpus pictures and frame pixels read back for comparison.
#include "gif_test_support.h"

#include <gif_lib.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <random>
#include <stdexcept>

#include "classlib/bitmap.h"

namespace dashtune::giftest {
namespace {

constexpr int kMaxCode = 4096;

struct MemoryReader {
  const Bytes* data;
  std::size_t position = 0;
};

int ReadFromMemory(GifFileType* gif, GifByteType* buffer, int size) {
  auto* reader = static_cast<MemoryReader*>(gif->UserData);
  const std::size_t n = std::min<std::size_t>(static_cast<std::size_t>(size), reader->data->size() - reader->position);
  std::memcpy(buffer, reader->data->data() + reader->position, n);
  reader->position += n;
  return static_cast<int>(n);
}

int WriteToMemory(GifFileType* gif, const GifByteType* buffer, int size) {
  auto* out = static_cast<Bytes*>(gif->UserData);
  out->insert(out->end(), buffer, buffer + size);
  return size;
}

std::vector<TGIFColor> TableOf(const ColorMapObject* map) {
  std::vector<TGIFColor> table;
  if (map == nullptr) return table;
  for (int i = 0; i < map->ColorCount; ++i)
    table.push_back(TGIFColor{map->Colors[i].Red, map->Colors[i].Green, map->Colors[i].Blue});
  return table;
}

// Giflib wants tables of a power of two; unused entries are black.
ColorMapObject* MakeMap(const std::vector<TGIFColor>& table) {
  if (table.empty()) return nullptr;
  int size = 2;
  while (size < static_cast<int>(table.size())) size *= 2;
  std::vector<GifColorType> colors(static_cast<std::size_t>(size), GifColorType{0, 0, 0});
  for (std::size_t i = 0; i < table.size(); ++i) colors[i] = GifColorType{table[i].Red, table[i].Green, table[i].Blue};
  return GifMakeMapObject(size, colors.data());
}

std::string Line(const ExtensionBlock& block) {
  const auto* bytes = reinterpret_cast<const char*>(block.Bytes);
  return std::string(bytes, strnlen(bytes, static_cast<std::size_t>(block.ByteCount)));
}

// Comments and the loop count of a run of extension blocks.
void ReadExtensions(const ExtensionBlock* blocks, int count, std::vector<std::string>& comments,
                    std::optional<int>& loops) {
  int current = 0;
  for (int i = 0; i < count; ++i) {
    const ExtensionBlock& block = blocks[i];
    if (block.Function != CONTINUE_EXT_FUNC_CODE) current = block.Function;
    if (current == COMMENT_EXT_FUNC_CODE) {
      comments.push_back(Line(block));
    } else if (current == APPLICATION_EXT_FUNC_CODE && block.Function == CONTINUE_EXT_FUNC_CODE &&
               block.ByteCount >= 3 && (block.Bytes[0] & 7) == 1 && i > 0) {
      // The first block of this extension is its identifier.
      int first = i;
      while (first > 0 && blocks[first].Function == CONTINUE_EXT_FUNC_CODE) --first;
      const std::string ident(reinterpret_cast<const char*>(blocks[first].Bytes),
                              static_cast<std::size_t>(std::min(blocks[first].ByteCount, 11)));
      if (ident == "NETSCAPE2.0" || ident == "ANIMEXTS1.0") loops = block.Bytes[1] | (block.Bytes[2] << 8);
    }
  }
}

Bytes Contents(TMemoryStream& stream) {
  Bytes out(static_cast<std::size_t>(stream.GetSize()));
  stream.SetPosition(0);
  if (!out.empty()) stream.ReadBuffer(out.data(), static_cast<int>(out.size()));
  return out;
}

// Giflib keeps an extension as its label on the first sub-block, the others following with
// CONTINUE_EXT_FUNC_CODE; written out again, each gives its bytes in the file.
std::vector<Bytes> RawExtensions(const ExtensionBlock* blocks, int count) {
  std::vector<Bytes> extensions;
  for (int i = 0; i < count; ++i) {
    const ExtensionBlock& block = blocks[i];
    if (block.Function != CONTINUE_EXT_FUNC_CODE || extensions.empty())
      extensions.push_back(Bytes{'!', static_cast<std::uint8_t>(block.Function)});
    extensions.back().push_back(static_cast<std::uint8_t>(block.ByteCount));
    extensions.back().insert(extensions.back().end(), block.Bytes, block.Bytes + block.ByteCount);
  }
  for (Bytes& extension : extensions) extension.push_back(0);
  return extensions;
}

std::vector<int> InterlacedRows(int height) {
  static constexpr int kStart[] = {0, 4, 2, 1}, kStep[] = {8, 8, 4, 2};
  std::vector<int> rows;
  for (int pass = 0; pass < 4; ++pass)
    for (int row = kStart[pass]; row < height; row += kStep[pass]) rows.push_back(row);
  return rows;
}

std::uint32_t Rgb(const TGIFColor& c) { return (std::uint32_t{c.Red} << 16) | (std::uint32_t{c.Green} << 8) | c.Blue; }

}  // namespace

Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& part : parts) out.insert(out.end(), part.begin(), part.end());
  return out;
}

Bytes Le16(unsigned value) { return {static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8)}; }

namespace {
Bytes Table(const std::vector<TGIFColor>& table, int& size_field) {
  Bytes out;
  int entries = 2;
  size_field = 0;
  while (entries < static_cast<int>(table.size())) {
    entries *= 2;
    ++size_field;
  }
  for (int i = 0; i < entries; ++i) {
    const TGIFColor c = i < static_cast<int>(table.size()) ? table[static_cast<std::size_t>(i)] : TGIFColor{};
    out.insert(out.end(), {c.Red, c.Green, c.Blue});
  }
  return out;
}
}  // namespace

Bytes Header(unsigned width, unsigned height, const std::vector<TGIFColor>& global, unsigned background,
             const char* version) {
  Bytes out = {'G', 'I', 'F'};
  out.insert(out.end(), version, version + 3);
  int size_field = 0;
  const Bytes table = global.empty() ? Bytes{} : Table(global, size_field);
  const std::uint8_t packed = global.empty() ? 0 : static_cast<std::uint8_t>(0x80 | 0x70 | size_field);
  return Concat({out, Le16(width), Le16(height), {packed, static_cast<std::uint8_t>(background), 0}, table});
}

Bytes Descriptor(unsigned left, unsigned top, unsigned width, unsigned height, bool interlaced,
                 const std::vector<TGIFColor>& local) {
  int size_field = 0;
  const Bytes table = local.empty() ? Bytes{} : Table(local, size_field);
  std::uint8_t packed = interlaced ? 0x40 : 0;
  if (!local.empty()) packed |= static_cast<std::uint8_t>(0x80 | size_field);
  return Concat({{0x2C}, Le16(left), Le16(top), Le16(width), Le16(height), {packed}, table});
}

Bytes ControlExtension(int disposal, bool transparent, unsigned index, unsigned delay) {
  const auto packed = static_cast<std::uint8_t>((disposal << 2) | (transparent ? 1 : 0));
  return Concat({{0x21, 0xF9, 4, packed}, Le16(delay), {static_cast<std::uint8_t>(index), 0}});
}

Bytes SubBlocks(const Bytes& data, const std::vector<std::size_t>& sizes, bool terminate) {
  Bytes out;
  std::size_t pos = 0, k = 0;
  while (pos < data.size()) {
    const std::size_t size = std::min(sizes[std::min(k, sizes.size() - 1)], data.size() - pos);
    out.push_back(static_cast<std::uint8_t>(size));
    out.insert(out.end(), data.begin() + static_cast<std::ptrdiff_t>(pos),
               data.begin() + static_cast<std::ptrdiff_t>(pos + size));
    pos += size;
    ++k;
  }
  if (terminate) out.push_back(0);
  return out;
}

std::vector<TGIFColor> GrayTable(int n) {
  std::vector<TGIFColor> table;
  for (int i = 0; i < n; ++i) {
    const auto v = static_cast<std::uint8_t>(n <= 1 ? 0 : i * 255 / (n - 1));
    table.push_back(TGIFColor{v, static_cast<std::uint8_t>(255 - v), static_cast<std::uint8_t>(i * 37)});
  }
  return table;
}

Bytes PackCodes(const std::vector<Code>& codes) {
  Bytes out;
  std::uint32_t bits = 0;
  int count = 0;
  for (const Code& code : codes) {
    if (code.value >= (1 << code.bits)) throw std::logic_error("code does not fit its width");
    bits |= static_cast<std::uint32_t>(code.value) << count;
    count += code.bits;
    while (count >= 8) {
      out.push_back(static_cast<std::uint8_t>(bits));
      bits >>= 8;
      count -= 8;
    }
  }
  if (count > 0) out.push_back(static_cast<std::uint8_t>(bits));
  return out;
}

std::vector<Code> EncodeLzw(const Bytes& pixels, int min_code_size, bool clear_when_full) {
  const int clear = 1 << min_code_size, end = clear + 1;
  std::vector<Code> codes;
  std::map<std::pair<int, int>, int> table;
  int next = clear + 2;
  // The decoder's view, which decides the width of every code.
  int width = min_code_size + 1, decoder_next = clear + 2;
  bool first_after_clear = true;
  const auto emit = [&](int code) {
    codes.push_back(Code{code, width});
    if (code == clear) {
      width = min_code_size + 1;
      decoder_next = clear + 2;
      first_after_clear = true;
      return;
    }
    if (first_after_clear) {
      first_after_clear = false;
      return;
    }
    if (decoder_next < kMaxCode) {
      ++decoder_next;
      if (decoder_next >= (1 << width) && width < 12) ++width;
    }
  };
  emit(clear);
  if (pixels.empty()) {
    emit(end);
    return codes;
  }
  int current = pixels[0];
  for (std::size_t i = 1; i < pixels.size(); ++i) {
    const int c = pixels[i];
    const auto found = table.find({current, c});
    if (found != table.end()) {
      current = found->second;
      continue;
    }
    emit(current);
    if (next < kMaxCode) {
      table[{current, c}] = next++;
    } else if (clear_when_full) {
      emit(clear);
      table.clear();
      next = clear + 2;
    }
    current = c;
  }
  emit(current);
  emit(end);
  return codes;
}

Bytes ImageData(const Bytes& pixels, int min_code_size, const std::vector<std::size_t>& sizes) {
  return Concat({{static_cast<std::uint8_t>(min_code_size)}, SubBlocks(PackCodes(EncodeLzw(pixels, min_code_size)), sizes)});
}

std::optional<GiflibFile> GiflibRead(const Bytes& file) {
  MemoryReader reader{&file};
  int error = 0;
  GifFileType* gif = DGifOpen(&reader, ReadFromMemory, &error);
  if (gif == nullptr) return std::nullopt;
  if (DGifSlurp(gif) != GIF_OK) {
    DGifCloseFile(gif, &error);
    return std::nullopt;
  }
  GiflibFile out;
  out.width = gif->SWidth;
  out.height = gif->SHeight;
  out.background = gif->SBackGroundColor;
  out.global = TableOf(gif->SColorMap);
  for (int i = 0; i < gif->ImageCount; ++i) {
    const SavedImage& image = gif->SavedImages[i];
    GiflibFrame frame;
    frame.left = image.ImageDesc.Left;
    frame.top = image.ImageDesc.Top;
    frame.width = image.ImageDesc.Width;
    frame.height = image.ImageDesc.Height;
    frame.interlace = image.ImageDesc.Interlace;
    frame.local = TableOf(image.ImageDesc.ColorMap);
    const std::size_t count = static_cast<std::size_t>(frame.width) * static_cast<std::size_t>(frame.height);
    if (image.RasterBits != nullptr) frame.pixels.assign(image.RasterBits, image.RasterBits + count);
    GraphicsControlBlock gcb{};
    if (DGifSavedExtensionToGCB(gif, i, &gcb) == GIF_OK) {
      frame.has_control = true;
      frame.disposal = gcb.DisposalMode;
      frame.delay = gcb.DelayTime;
      frame.transparent = gcb.TransparentColor;
      frame.user_input = gcb.UserInputFlag;
    }
    ReadExtensions(image.ExtensionBlocks, image.ExtensionBlockCount, frame.comments, out.loops);
    frame.extensions = RawExtensions(image.ExtensionBlocks, image.ExtensionBlockCount);
    out.frames.push_back(std::move(frame));
  }
  std::optional<int> ignored;
  ReadExtensions(gif->ExtensionBlocks, gif->ExtensionBlockCount, out.trailing_comments, ignored);
  out.trailing_extensions = RawExtensions(gif->ExtensionBlocks, gif->ExtensionBlockCount);
  DGifCloseFile(gif, &error);
  return out;
}

Bytes GiflibWrite(int width, int height, const std::vector<TGIFColor>& global, const std::vector<GiflibImage>& frames,
                  std::optional<int> loops, int background) {
  Bytes out;
  int error = 0;
  GifFileType* gif = EGifOpen(&out, WriteToMemory, &error);
  if (gif == nullptr) throw std::runtime_error("EGifOpen failed");
  // The writer copies the tables it is given; these are freed here.
  std::vector<ColorMapObject*> maps;
  const auto map_of = [&maps](const std::vector<TGIFColor>& table) {
    ColorMapObject* map = MakeMap(table);
    if (map != nullptr) maps.push_back(map);
    return map;
  };
  bool ok = true;
  const auto check = [&ok](int result) { ok = ok && result == GIF_OK; };
  EGifSetGifVersion(gif, true);
  check(EGifPutScreenDesc(gif, width, height, 8, background, map_of(global)));
  for (std::size_t i = 0; i < frames.size() && ok; ++i) {
    const GiflibImage& f = frames[i];
    if (i == 0 && loops) {
      unsigned char data[3] = {1, static_cast<unsigned char>(*loops), static_cast<unsigned char>(*loops >> 8)};
      check(EGifPutExtensionLeader(gif, APPLICATION_EXT_FUNC_CODE));
      check(EGifPutExtensionBlock(gif, 11, "NETSCAPE2.0"));
      check(EGifPutExtensionBlock(gif, 3, data));
      check(EGifPutExtensionTrailer(gif));
    }
    for (const std::string& comment : f.comments) check(EGifPutComment(gif, comment.c_str()));
    if (f.disposal != 0 || f.delay != 0 || f.transparent >= 0) {
      GraphicsControlBlock gcb{};
      gcb.DisposalMode = f.disposal;
      gcb.DelayTime = f.delay;
      gcb.TransparentColor = f.transparent >= 0 ? f.transparent : NO_TRANSPARENT_COLOR;
      GifByteType block[4];
      EGifGCBToExtension(&gcb, block);
      check(EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, 4, block));
    }
    // Giflib drops its copy of the previous frame's table without freeing it when this frame has
    // none; free it first.
    if (gif->Image.ColorMap != nullptr) {
      GifFreeMapObject(gif->Image.ColorMap);
      gif->Image.ColorMap = nullptr;
    }
    check(EGifPutImageDesc(gif, f.left, f.top, f.width, f.height, f.interlace, map_of(f.local)));
    // The writer takes the rows in the order they are stored.
    std::vector<int> order;
    if (f.interlace) {
      order = InterlacedRows(f.height);
    } else {
      for (int y = 0; y < f.height; ++y) order.push_back(y);
    }
    for (int y : order) {
      if (!ok) break;
      check(EGifPutLine(gif, const_cast<GifByteType*>(f.pixels.data()) + static_cast<std::size_t>(y) * static_cast<std::size_t>(f.width),
                        f.width));
    }
  }
  check(EGifCloseFile(gif, &error));
  for (ColorMapObject* map : maps) GifFreeMapObject(map);
  if (!ok) throw std::runtime_error("giflib could not write the file");
  return out;
}

Bytes Reblock(const Bytes& file, const std::vector<std::size_t>& sizes, unsigned seed) {
  std::mt19937 rng(seed);
  std::vector<std::size_t> pattern = sizes;
  Bytes out(file.begin(), file.begin() + 13);
  std::size_t pos = 13;
  const auto table_bytes = [](std::uint8_t packed) { return static_cast<std::size_t>(3 * (2 << (packed & 7))); };
  if (file[10] & 0x80) {
    out.insert(out.end(), file.begin() + 13, file.begin() + 13 + static_cast<std::ptrdiff_t>(table_bytes(file[10])));
    pos += table_bytes(file[10]);
  }
  const auto copy_sub_blocks = [&](Bytes* data) {
    while (pos < file.size()) {
      const std::size_t size = file[pos++];
      if (data == nullptr) out.push_back(static_cast<std::uint8_t>(size));
      if (size == 0) return;
      const auto first = file.begin() + static_cast<std::ptrdiff_t>(pos);
      (data ? *data : out).insert((data ? *data : out).end(), first, first + static_cast<std::ptrdiff_t>(size));
      pos += size;
    }
  };
  while (pos < file.size()) {
    const std::uint8_t byte = file[pos];
    if (byte == 0x21) {
      out.insert(out.end(), file.begin() + static_cast<std::ptrdiff_t>(pos),
                 file.begin() + static_cast<std::ptrdiff_t>(pos + 2));
      pos += 2;
      copy_sub_blocks(nullptr);
    } else if (byte == 0x2C) {
      const std::uint8_t packed = file[pos + 9];
      std::size_t header = 10 + ((packed & 0x80) ? table_bytes(packed) : 0) + 1;
      out.insert(out.end(), file.begin() + static_cast<std::ptrdiff_t>(pos),
                 file.begin() + static_cast<std::ptrdiff_t>(pos + header));
      pos += header;
      Bytes data;
      copy_sub_blocks(&data);
      if (!sizes.empty() && sizes[0] == 0) {
        pattern.clear();
        for (std::size_t total = 0; total < data.size(); total += pattern.back()) pattern.push_back(1 + rng() % 255);
        if (pattern.empty()) pattern.push_back(255);
      }
      const Bytes blocks = SubBlocks(data, pattern);
      out.insert(out.end(), blocks.begin(), blocks.end());
    } else {
      out.insert(out.end(), file.begin() + static_cast<std::ptrdiff_t>(pos), file.end());
      break;
    }
  }
  return out;
}

std::unique_ptr<TBitmap> FilledBitmap(TPixelFormat format, int width, int height, TColor color) {
  auto bitmap = std::make_unique<TBitmap>();
  bitmap->SetPixelFormat(format);
  bitmap->SetSize(width, height);
  bitmap->GetCanvas()->GetBrush()->SetColor(color);
  bitmap->GetCanvas()->FillRect(win::RECT{0, 0, width, height});
  return bitmap;
}

Loaded Load(const Bytes& file) {
  Loaded loaded;
  loaded.picture->OnWarning = [&loaded](TObject*, int, const std::string& message) {
    loaded.warnings.push_back(message);
  };
  TMemoryStream stream;
  if (!file.empty()) stream.WriteBuffer(file.data(), static_cast<int>(file.size()));
  stream.SetPosition(0);
  try {
    loaded.picture->LoadFromStream(&stream);
  } catch (const Exception& e) {
    loaded.error = e.GetMessage();
  }
  loaded.picture->OnWarning = nullptr;
  return loaded;
}

Bytes Save(TGIFPicture& picture) {
  TMemoryStream stream;
  picture.SaveToStream(&stream);
  return Contents(stream);
}

std::vector<TGIFSubImage*> ImageFrames(TGIFPicture& picture) {
  std::vector<TGIFSubImage*> frames;
  for (int i = 0; i < picture.GetImages()->GetCount(); ++i) {
    TGIFSubImage* frame = picture.GetImages()->GetFrame(i);
    if (frame->GetWidth() != 0 || frame->GetHeight() != 0 || !frame->GetData().empty()) frames.push_back(frame);
  }
  return frames;
}

std::vector<Bytes> SavedExtensions(TGIFSubImage& frame) {
  std::vector<Bytes> saved;
  TGIFExtensionList* extensions = frame.GetExtensions();
  for (int i = 0; i < extensions->GetCount(); ++i) {
    TMemoryStream stream;
    extensions->GetExtension(i)->SaveToStream(&stream);
    saved.push_back(Contents(stream));
  }
  return saved;
}

std::string CompareFrames(const GiflibFile& ref, TGIFPicture& picture) {
  if (ref.width != picture.GetWidth() || ref.height != picture.GetHeight()) return "screen size";
  std::vector<TGIFColor> global(picture.GetHeader()->GetColorMap()->Data(),
                                picture.GetHeader()->GetColorMap()->Data() + picture.GetHeader()->GetColorMap()->GetCount());
  if (global != ref.global) return "global table";
  const std::vector<TGIFSubImage*> frames = ImageFrames(picture);
  if (frames.size() != ref.frames.size())
    return "frame count " + std::to_string(frames.size()) + " vs " + std::to_string(ref.frames.size());
  for (std::size_t i = 0; i < frames.size(); ++i) {
    const GiflibFrame& r = ref.frames[i];
    TGIFSubImage* f = frames[i];
    const std::string at = "frame " + std::to_string(i) + ": ";
    if (r.left != f->GetLeft() || r.top != f->GetTop() || r.width != f->GetWidth() || r.height != f->GetHeight())
      return at + "bounds";
    if (r.interlace != f->GetInterlaced()) return at + "interlace";
    std::vector<TGIFColor> local(f->GetColorMap()->Data(), f->GetColorMap()->Data() + f->GetColorMap()->GetCount());
    if (local != r.local) return at + "local table";
    if (r.pixels != f->GetData()) return at + "pixels";
    TGIFGraphicControlExtension* gce = f->GetGraphicControlExtension();
    if (r.has_control != (gce != nullptr)) return at + "graphic control presence";
    if (gce != nullptr) {
      if (((gce->GetPackedFields() >> 2) & 7) != r.disposal) return at + "disposal";
      if (gce->GetDelay() != r.delay) return at + "delay";
      if ((gce->GetTransparent() ? gce->GetTransparentColorIndex() : -1) != r.transparent) return at + "transparent";
      if (gce->GetUserInput() != r.user_input) return at + "user input";
    }
  }
  return "";
}

std::vector<std::uint32_t> DrawFrame(TGIFSubImage& frame) {
  TBitmap target;
  target.SetPixelFormat(pf32bit);
  target.SetSize(frame.GetWidth(), frame.GetHeight());
  target.GetCanvas()->Draw(0, 0, frame.GetBitmap());
  std::vector<std::uint32_t> pixels;
  for (int y = 0; y < frame.GetHeight(); ++y) {
    const auto* row = static_cast<const std::uint8_t*>(target.GetScanLine(y));
    for (int x = 0; x < frame.GetWidth(); ++x, row += 4)
      pixels.push_back((std::uint32_t{row[2]} << 16) | (std::uint32_t{row[1]} << 8) | row[0]);
  }
  return pixels;
}

std::vector<std::uint32_t> ExpandFrame(const GiflibFile& file, std::size_t index) {
  const GiflibFrame& frame = file.frames[index];
  const std::vector<TGIFColor>& map = frame.local.empty() ? file.global : frame.local;
  std::vector<std::uint32_t> pixels;
  for (std::uint8_t p : frame.pixels) pixels.push_back(p < map.size() ? Rgb(map[p]) : 0);
  return pixels;
}

ScriptCorpus::ScriptCorpus(const std::string& part) {
  char folder[] = "/tmp/dashtune-gif-corpus-XXXXXX";
  if (mkdtemp(folder) == nullptr) return;
  folder_ = folder;
  const std::string command = std::string(GIF_CORPUS_SCRIPT) + " " + folder + " " + part;
  made_ = std::system(command.c_str()) == 0;
}

ScriptCorpus::~ScriptCorpus() {
  if (!folder_.empty()) std::filesystem::remove_all(folder_);
}

std::vector<std::filesystem::path> ScriptCorpus::Files() const {
  std::vector<std::filesystem::path> files;
  for (const auto& entry : std::filesystem::directory_iterator(folder_))
    if (entry.is_regular_file()) files.push_back(entry.path());
  std::sort(files.begin(), files.end());
  return files;
}

Bytes ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::vector<std::vector<std::uint32_t>> Coalesced(const std::string& path, const std::string& background, int width,
                                                  int height) {
  char folder[] = "/tmp/dashtune-gif-coalesce-XXXXXX";
  if (mkdtemp(folder) == nullptr) return {};
  const std::string out = std::string(folder) + "/frames.rgb";
  const std::string command =
      "convert " + path + " -coalesce -background '" + background + "' -alpha remove -depth 8 rgb:" + out;
  std::vector<std::vector<std::uint32_t>> frames;
  const std::size_t frame_size = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
  if (frame_size > 0 && std::system(command.c_str()) == 0) {
    const Bytes all = ReadFile(out);
    for (std::size_t i = 0; i + 2 < all.size(); i += 3) {
      if (frames.empty() || frames.back().size() == frame_size) frames.emplace_back();
      frames.back().push_back(std::uint32_t{all[i]} << 16 | std::uint32_t{all[i + 1]} << 8 | all[i + 2]);
    }
  }
  std::filesystem::remove_all(folder);
  return frames;
}

}  // namespace dashtune::giftest
