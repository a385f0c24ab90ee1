#include "components/imaging/png/png_chunks.h"

#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "components/imaging/png/png_picture.h"

namespace dashtune {
namespace png {
namespace {

std::vector<TChunkClass>*& ChunkClassList() {
  static std::vector<TChunkClass>* list = nullptr;
  return list;
}

// One zlib pass over a buffer: inflate or deflate into 256-byte steps, appended to the output.
template <class Step>
bool RunZlib(z_stream& stream, std::size_t max_output, std::vector<std::uint8_t>* output, Step step,
             std::string* error_text) {
  std::uint8_t buffer[256];
  for (;;) {
    stream.next_out = buffer;
    stream.avail_out = sizeof buffer;
    const uInt before_in = stream.avail_in;
    const int result = step();
    const std::size_t produced = sizeof buffer - stream.avail_out;
    if (output->size() + produced > max_output) {
      *error_text = "output too large";
      return false;
    }
    output->insert(output->end(), buffer, buffer + produced);
    if (result == Z_STREAM_END) return true;
    if (result < 0 || result == Z_NEED_DICT || (produced == 0 && stream.avail_in == before_in)) {
      *error_text = stream.msg ? stream.msg : std::string(ZLibResultName(result));
      return false;
    }
  }
}

}  // namespace

// zlib's crc32 (already linked for inflate and deflate) is the CRC: bench/png_bench measures it
// against the eight-table register steps the codec had, about 1.5 times as fast on image data
// (8 and 64 KiB), slower only on header-sized runs, which cost nothing next to the image data.
// crc32 takes and gives the complemented register.
std::uint32_t UpdateCrc(std::uint32_t crc, const void* buffer, std::size_t count) {
  return ~static_cast<std::uint32_t>(crc32_z(~crc & 0xFFFFFFFFu, static_cast<const Bytef*>(buffer), count));
}

std::size_t BytesForPixels(std::size_t pixels, int ColorType, int BitDepth) {
  const std::size_t depth = static_cast<std::size_t>(BitDepth);
  switch (ColorType) {
    case kColorTypeGray:
    case kColorTypeIndexed:
      return (pixels * depth + 7) / 8;
    case kColorTypeTruecolor:
      return (pixels * depth * 3 + 7) / 8;
    case kColorTypeGrayAlpha:
      return (pixels * depth * 2 + 7) / 8;
    case kColorTypeTruecolorAlpha:
      return (pixels * depth * 4 + 7) / 8;
    default:
      return 0;
  }
}

std::size_t FilterOffset(int ColorType, int BitDepth) {
  switch (ColorType) {
    case kColorTypeGray:
      return BitDepth == 16 ? 2 : 1;
    case kColorTypeTruecolor:
      return static_cast<std::size_t>(BitDepth) * 3 / 8;
    case kColorTypeGrayAlpha:
      return static_cast<std::size_t>(BitDepth) * 2 / 8;
    case kColorTypeTruecolorAlpha:
      return static_cast<std::size_t>(BitDepth) * 4 / 8;
    default:
      return 1;
  }
}

bool ValidColorTypeAndDepth(int ColorType, int BitDepth) {
  switch (ColorType) {
    case kColorTypeGray:
      return BitDepth == 1 || BitDepth == 2 || BitDepth == 4 || BitDepth == 8 || BitDepth == 16;
    case kColorTypeIndexed:
      return BitDepth == 1 || BitDepth == 2 || BitDepth == 4 || BitDepth == 8;
    case kColorTypeTruecolor:
    case kColorTypeGrayAlpha:
    case kColorTypeTruecolorAlpha:
      return BitDepth == 8 || BitDepth == 16;
    default:
      return false;
  }
}

void RegisterChunk(const TChunkClass& ChunkClass) {
  auto*& list = ChunkClassList();
  if (list == nullptr) list = new std::vector<TChunkClass>();
  list->push_back(ChunkClass);
}

void RegisterCommonChunks() {
  RegisterChunk(TChunkClass::Of<TChunkIEND>());
  RegisterChunk(TChunkClass::Of<TChunkIHDR>());
  RegisterChunk(TChunkClass::Of<TChunkIDAT>());
  RegisterChunk(TChunkClass::Of<TChunkPLTE>());
  RegisterChunk(TChunkClass::Of<TChunkgAMA>());
  RegisterChunk(TChunkClass::Of<TChunktRNS>());
  RegisterChunk(TChunkClass::Of<TChunkpHYs>());
  RegisterChunk(TChunkClass::Of<TChunktIME>());
  RegisterChunk(TChunkClass::Of<TChunktEXt>());
  RegisterChunk(TChunkClass::Of<TChunkzTXt>());
}

void FreeChunkClassList() {
  auto*& list = ChunkClassList();
  delete list;
  list = nullptr;
}

std::unique_ptr<TChunk> CreateChunkByName(TPNGPicture* Owner, const std::string& Name) {
  std::unique_ptr<TChunk> chunk;
  if (const auto* list = ChunkClassList()) {
    for (const TChunkClass& cls : *list) {
      // The class name less its "TChunk" prefix, compared in place.
      const std::string& class_name = cls.Class()->ClassName();
      if (class_name.size() > 6 && class_name.compare(6, std::string::npos, Name) == 0) {
        chunk = cls.Create(Owner);
        break;
      }
    }
  }
  if (!chunk) chunk = std::make_unique<TChunk>(Owner);
  chunk->SetName(Name);
  return chunk;
}

bool IsUnknownChunk(const TChunk* chunk) { return typeid(*chunk) == typeid(TChunk); }

bool DecompressZLIB(const std::uint8_t* input, std::size_t size, std::size_t max_output,
                    std::vector<std::uint8_t>* output, std::string* error_text) {
  output->clear();
  if (size > std::numeric_limits<uInt>::max()) return false;
  z_stream stream{};
  if (inflateInit(&stream) != Z_OK) {
    *error_text = ZLibResultName(Z_MEM_ERROR);
    return false;
  }
  stream.next_in = const_cast<Bytef*>(input);
  stream.avail_in = static_cast<uInt>(size);
  const bool ok = RunZlib(
      stream, max_output, output, [&] { return inflate(&stream, Z_NO_FLUSH); }, error_text);
  inflateEnd(&stream);
  if (!ok) output->clear();
  return ok;
}

bool CompressZLIB(const std::uint8_t* input, std::size_t size, int level, std::vector<std::uint8_t>* output,
                  std::string* error_text) {
  output->clear();
  if (size > std::numeric_limits<uInt>::max()) return false;
  z_stream stream{};
  if (deflateInit(&stream, level) != Z_OK) {
    *error_text = stream.msg ? stream.msg : std::string(ZLibResultName(Z_STREAM_ERROR));
    return false;
  }
  stream.next_in = const_cast<Bytef*>(input);
  stream.avail_in = static_cast<uInt>(size);
  const bool ok = RunZlib(
      stream, std::numeric_limits<std::size_t>::max(), output, [&] { return deflate(&stream, Z_FINISH); }, error_text);
  deflateEnd(&stream);
  return ok;
}

void ReadExact(TStream* stream, void* buffer, std::size_t count) {
  auto* out = static_cast<std::uint8_t*>(buffer);
  while (count > 0) {
    const int step = static_cast<int>(std::min<std::size_t>(count, 1 << 30));
    const int got = stream->Read(out, step);
    if (got <= 0) RaiseError<EPngUnexpectedEnd>(EPNGUnexpectedEndText);
    out += got;
    count -= static_cast<std::size_t>(got);
  }
}

std::uint32_t ReadBigEndian32(TStream* stream) {
  std::uint8_t bytes[4];
  ReadExact(stream, bytes, 4);
  return BigEndian32(bytes);
}

void CheckChunkLength(TStream* stream, std::uint32_t length) {
  if (length > 0x7FFFFFFFu) RaiseError<EPngUnexpectedEnd>(EPNGUnexpectedEndText);
  const std::int64_t position = stream->GetPosition();
  const std::int64_t size = position < 0 ? -1 : stream->GetSize();
  // Streams that cannot tell their size are read in checked steps instead.
  if (position < 0 || size < 0) return;
  if (std::int64_t{length} + 4 > size - position) RaiseError<EPngUnexpectedEnd>(EPNGUnexpectedEndText);
}

void SkipBytes(TStream* stream, std::uint64_t count) {
  const std::int64_t position = stream->GetPosition();
  if (position >= 0) {
    const std::int64_t size = stream->GetSize();
    if (size >= 0 && static_cast<std::uint64_t>(size - position) < count)
      RaiseError<EPngUnexpectedEnd>(EPNGUnexpectedEndText);
    if (size >= 0) {
      stream->Seek(static_cast<std::int64_t>(count), TSeekOrigin::soCurrent);
      return;
    }
  }
  std::uint8_t scratch[4096];
  while (count > 0) {
    const std::size_t step = std::min<std::uint64_t>(count, sizeof scratch);
    ReadExact(stream, scratch, step);
    count -= step;
  }
}

void WriteBigEndian32(TStream* stream, std::uint32_t value) {
  std::uint8_t bytes[4];
  PutBigEndian32(bytes, value);
  stream->WriteBuffer(bytes, 4);
}

void WriteChunk(TStream* stream, const std::array<char, 4>& name, const std::uint8_t* data, std::size_t size) {
  WriteBigEndian32(stream, static_cast<std::uint32_t>(size));
  stream->WriteBuffer(name.data(), 4);
  if (size != 0) stream->WriteBuffer(data, static_cast<int>(size));
  WriteBigEndian32(stream, ~UpdateCrc(UpdateCrc(0xFFFFFFFFu, name.data(), 4), data, size));
}

}  // namespace png

// ---- TChunk ----

TChunk::TChunk(TPNGPicture* Owner, std::string_view name) : owner_(Owner), name_(name), data_(1, 0) {}

std::string TChunk::NameOfClass(const TClass* cls) {
  const std::string& name = cls->ClassName();
  return name.size() > 6 ? name.substr(6) : std::string();
}

void TChunk::ResizeData(std::uint32_t n) {
  data_.resize(std::size_t{n} + 1);
  data_[n] = 0;
  data_size_ = n;
}

TChunkIHDR* TChunk::Header() const { return owner_->Header(); }

void TChunk::Assign(const TChunk* Source) {
  name_ = Source->name_;
  data_ = Source->data_;
  data_size_ = Source->data_size_;
}

std::uint32_t TChunk::ComputeCrc() const {
  std::uint32_t crc = png::UpdateCrc(0xFFFFFFFFu, name_.data(), std::min<std::size_t>(name_.size(), 4));
  return ~png::UpdateCrc(crc, data_.data(), data_size_);
}

bool TChunk::LoadFromStream(TStream* Stream, const std::string& ChunkName, std::uint32_t Size) {
  png::CheckChunkLength(Stream, Size);
  name_ = ChunkName;
  if (Size > (std::uint32_t{1} << 20)) {
    // Grow in steps so that a stream that cannot tell its size never makes us allocate more than
    // it really delivers.
    ResizeData(0);
    std::uint32_t have = 0;
    while (have < Size) {
      const std::uint32_t step = std::min<std::uint32_t>(Size - have, std::uint32_t{1} << 20);
      ResizeData(have + step);
      png::ReadExact(Stream, data_.data() + have, step);
      have += step;
    }
  } else {
    ResizeData(Size);
    if (Size > 0) png::ReadExact(Stream, data_.data(), Size);
  }
  const std::uint32_t stored = png::ReadBigEndian32(Stream);
  if (stored != ComputeCrc()) png::RaiseError<EPngInvalidCRC>(png::EPNGInvalidCRCText);
  return true;
}

bool TChunk::SaveToStream(TStream* Stream) {
  png::WriteChunk(Stream, NameBytes(), data_.data(), data_size_);
  return true;
}

std::array<char, 4> TChunk::NameBytes() const {
  std::array<char, 4> name{};
  std::memcpy(name.data(), name_.data(), std::min<std::size_t>(name_.size(), 4));
  return name;
}

// ---- TPNGList ----

TChunk* TPNGList::Item(int i) const {
  if (i < 0 || i >= GetCount()) return nullptr;
  return items_[static_cast<std::size_t>(i)].get();
}

TChunk* TPNGList::Add(std::unique_ptr<TChunk> chunk) {
  items_.push_back(std::move(chunk));
  return items_.back().get();
}

std::unique_ptr<TChunk> TPNGList::Remove(TChunk* p) {
  for (auto it = items_.rbegin(); it != items_.rend(); ++it) {
    if (it->get() == p) {
      std::unique_ptr<TChunk> taken = std::move(*it);
      items_.erase(std::next(it).base());
      return taken;
    }
  }
  return nullptr;
}

TChunk* TPNGList::ItemFromClass(const TClass* cls) const {
  for (const auto& chunk : items_)
    if (chunk->InheritsFrom(cls)) return chunk.get();
  return nullptr;
}

// ---- TChunkPLTE ----

void TChunkPLTE::Assign(const TChunk* Source) { Count = Compatible<TChunkPLTE>(Source)->Count; }

bool TChunkPLTE::LoadFromStream(TStream* Stream, const std::string& ChunkName, std::uint32_t Size) {
  const bool result = TChunk::LoadFromStream(Stream, ChunkName, Size);
  if (GetDataSize() % 3 != 0 || GetDataSize() / 3 > 256)
    png::RaiseError<EPNGInvalidPalette>(png::EPNGInvalidPaletteText);
  Count = static_cast<int>(GetDataSize() / 3);
  const auto& gamma = GetOwner()->GammaTable;
  std::vector<std::uint8_t> storage(sizeof(win::LOGPALETTE) + 256 * sizeof(win::PALETTEENTRY));
  auto* palette = reinterpret_cast<win::LOGPALETTE*>(storage.data());
  palette->palVersion = 0x300;
  palette->palNumEntries = static_cast<win::WORD>(Count);
  const std::uint8_t* data = GetData();
  for (int i = 0; i < Count; ++i) {
    win::PALETTEENTRY& entry = palette->palPalEntry[i];
    entry.peRed = gamma[data[i * 3]];
    entry.peGreen = gamma[data[i * 3 + 1]];
    entry.peBlue = gamma[data[i * 3 + 2]];
    entry.peFlags = 0;
  }
  // Only palette images take the colours: gray images keep their gray levels (the standard
  // forbids PLTE there) and a suggested palette of an RGB image has no table to go to.
  if (Count > 0 && Header()->ColorType == png::kColorTypeIndexed) GetOwner()->SetPalette(win::CreatePalette(palette));
  return result;
}

bool TChunkPLTE::SaveToStream(TStream* Stream) {
  TChunkIHDR* header = Header();
  if (Count == 0) Count = static_cast<int>(header->BitmapInfo.bmiHeader.biClrUsed);
  Count = std::clamp(Count, 0, 256);
  ResizeData(static_cast<std::uint32_t>(Count * 3));
  const auto& inverse = GetOwner()->InverseGamma;
  std::uint8_t* data = GetData();
  for (int i = 0; i < Count; ++i) {
    const win::RGBQUAD& entry = header->BitmapInfo.bmiColors[static_cast<std::size_t>(i)];
    data[i * 3] = inverse[entry.rgbRed];
    data[i * 3 + 1] = inverse[entry.rgbGreen];
    data[i * 3 + 2] = inverse[entry.rgbBlue];
  }
  return TChunk::SaveToStream(Stream);
}

std::uint32_t TChunkPLTE::Item(int i) const {
  if (i < 0 || i >= Count) png::RaiseError<EPngError>(png::EPNGUnknownPalEntryText);
  const win::RGBQUAD& q = Header()->BitmapInfo.bmiColors[static_cast<std::size_t>(i)];
  return std::uint32_t{q.rgbBlue} | (std::uint32_t{q.rgbGreen} << 8) | (std::uint32_t{q.rgbRed} << 16) |
         (std::uint32_t{q.rgbReserved} << 24);
}

// ---- TChunktRNS ----

void TChunktRNS::Assign(const TChunk* Source) {
  const TChunktRNS* source = Compatible<TChunktRNS>(Source);
  TChunk::Assign(Source);
  PaletteValues = source->PaletteValues;
  BitTransparency = source->BitTransparency;
}

bool TChunktRNS::LoadFromStream(TStream* Stream, const std::string& ChunkName, std::uint32_t Size) {
  if (Size > 256) png::RaiseError<EPNGInvalidPalette>(png::EPNGInvalidPaletteText);
  const bool result = TChunk::LoadFromStream(Stream, ChunkName, Size);
  PaletteValues.fill(255);
  std::memcpy(PaletteValues.data(), GetData(), GetDataSize());
  switch (Header()->ColorType) {
    case png::kColorTypeGray:
    case png::kColorTypeTruecolor:
      BitTransparency = true;
      break;
    case png::kColorTypeIndexed: {
      // Only one fully transparent entry among fully opaque ones makes a single-colour mask; any
      // other alpha must blend, and so must several transparent entries (the mask hides one colour).
      const auto first = PaletteValues.begin();
      const auto last = first + GetDataSize();
      const auto transparent = std::count(first, last, std::uint8_t{0});
      const auto opaque = std::count(first, last, std::uint8_t{255});
      BitTransparency = transparent == 1 && transparent + opaque == last - first;
      break;
    }
    default:
      break;
  }
  return result;
}

bool TChunktRNS::SaveToStream(TStream* Stream) {
  if (GetDataSize() <= 256) std::memcpy(GetData(), PaletteValues.data(), GetDataSize());
  std::vector<std::uint8_t> written(GetData(), GetData() + GetDataSize());
  const TChunkIHDR* header = Header();
  if (header->ColorType == png::kColorTypeGray && header->BitDepth == 2 && written.size() >= 2) {
    // The image is written with 4 bits a pixel, 2-bit level k as 5 k; a key past the 2-bit
    // levels stays past every level written.
    const unsigned level = std::min((unsigned{written[0]} << 8 | written[1]) * 5u, 0xFFFFu);
    written[0] = static_cast<std::uint8_t>(level >> 8);
    written[1] = static_cast<std::uint8_t>(level);
  } else if (header->ColorType == png::kColorTypeTruecolor && written.size() >= 6) {
    // The key names the transparent pixels as the image data writes them.
    const std::array<std::uint8_t, 6> key = WrittenTruecolorKey();
    std::copy(key.begin(), key.end(), written.begin());
  }
  png::WriteChunk(Stream, NameBytes(), written.data(), written.size());
  return true;
}

std::array<std::uint8_t, 6> TChunktRNS::WrittenTruecolorKey() const {
  const TPNGPicture* owner = GetOwner();
  const bool wide = Header()->BitDepth == 16;
  std::array<std::uint8_t, 6> key{};
  std::copy_n(PaletteValues.begin(), key.size(), key.begin());
  // Every byte of a 16-bit sample went through the gamma table, only the low byte of an 8-bit one.
  for (std::size_t i = wide ? 0 : 1; i < key.size(); i += wide ? 1 : 2)
    key[i] = owner->InverseGamma[owner->GammaTable[key[i]]];
  return key;
}

std::uint32_t TChunktRNS::GetTransparentColor() const {
  const TChunkIHDR* header = Header();
  const std::uint8_t* data = GetData();
  const auto rgb = [](std::uint32_t r, std::uint32_t g, std::uint32_t b) { return r | (g << 8) | (b << 16); };
  switch (header->ColorType) {
    case png::kColorTypeGray: {
      if (GetDataSize() < 2) return 0;
      // The stored gray is matched on the sample as the DIB holds it: the high byte for 16 bits.
      const std::uint16_t gray = static_cast<std::uint16_t>((data[0] << 8) | data[1]);
      const std::uint8_t index = header->BitDepth == 16 ? data[0] : static_cast<std::uint8_t>(gray);
      const std::size_t scaled = header->BitDepth == 2 ? index * 5u : index;
      const win::RGBQUAD& q = header->BitmapInfo.bmiColors[scaled & 0xFF];
      return rgb(q.rgbRed, q.rgbGreen, q.rgbBlue);
    }
    case png::kColorTypeTruecolor: {
      if (GetDataSize() < 6) return 0;
      const auto& gamma = GetOwner()->GammaTable;
      const std::size_t low = header->BitDepth == 16 ? 0 : 1;
      return rgb(gamma[data[low]], gamma[data[2 + low]], gamma[data[4 + low]]);
    }
    case png::kColorTypeIndexed:
      for (std::uint32_t i = 0; i < GetDataSize(); ++i) {
        if (PaletteValues[i] == 0) {
          const win::RGBQUAD& q = header->BitmapInfo.bmiColors[i];
          return rgb(q.rgbRed, q.rgbGreen, q.rgbBlue);
        }
      }
      return 0;
    default:
      return 0;
  }
}

void TChunktRNS::SetTransparentColor(std::uint32_t Value) {
  TChunkIHDR* header = Header();
  header->KeyMask = {};  // made for the colour read from the file
  PaletteValues.fill(0);
  BitTransparency = true;
  const std::uint8_t red = Value & 0xFF, green = (Value >> 8) & 0xFF, blue = (Value >> 16) & 0xFF;
  switch (header->ColorType) {
    case png::kColorTypeGray:
      ResizeData(2);
      PaletteValues[1] = red;
      break;
    case png::kColorTypeTruecolor:
      ResizeData(6);
      PaletteValues[1] = red;
      PaletteValues[3] = green;
      PaletteValues[5] = blue;
      break;
    case png::kColorTypeIndexed: {
      const std::uint32_t colors = std::min<std::uint32_t>(header->BitmapInfo.bmiHeader.biClrUsed, 256);
      std::uint32_t index = 0;
      while (index < colors) {
        const win::RGBQUAD& q = header->BitmapInfo.bmiColors[index];
        if (q.rgbRed == red && q.rgbGreen == green && q.rgbBlue == blue) break;
        ++index;
      }
      std::fill(PaletteValues.begin(), PaletteValues.begin() + index, 255);
      // A colour outside a full palette makes no entry transparent: never a 257-byte chunk.
      ResizeData(index < 256 ? index + 1 : 256);
      break;
    }
    default:
      break;
  }
}

// ---- TChunkgAMA ----

TChunkgAMA::TChunkgAMA(TPNGPicture* Owner) : TChunk(Owner, "gAMA") { SetGamma(1); }

std::uint32_t TChunkgAMA::GetGamma() {
  if (GetDataSize() != 4) {
    ResizeData(4);
    png::PutBigEndian32(GetData(), 1);
  }
  return png::BigEndian32(GetData());
}

void TChunkgAMA::SetGamma(std::uint32_t Value) {
  ResizeData(4);
  png::PutBigEndian32(GetData(), Value);
}

void TChunkgAMA::Assign(const TChunk* Source) {
  Compatible<TChunkgAMA>(Source);
  TChunk::Assign(Source);
}

bool TChunkgAMA::LoadFromStream(TStream* Stream, const std::string& ChunkName, std::uint32_t Size) {
  const bool result = TChunk::LoadFromStream(Stream, ChunkName, Size);
  // A chunk of the wrong size or a value of 0 carries no gamma: the tables stay as they are.
  if (GetDataSize() != 4) return result;
  const std::uint32_t value = png::BigEndian32(GetData());
  if (value == 0) return result;
  // Most files carry one of a few values: keep the last few tables made on this thread.
  struct Tables {
    std::uint32_t value = 0;
    std::array<std::uint8_t, 256> gamma{}, inverse{};
  };
  thread_local std::array<Tables, 8> made;
  thread_local std::size_t next = 0;
  auto found = std::find_if(made.begin(), made.end(), [value](const Tables& t) { return t.value == value; });
  if (found == made.end()) {
    found = made.begin() + static_cast<std::ptrdiff_t>(next);
    next = (next + 1) % made.size();
    const double exponent = 1.0 / (value / 100000.0 * 2.2);
    for (std::size_t i = 0; i < 256; ++i) found->inverse[i] = static_cast<std::uint8_t>(i);
    for (int i = 0; i < 256; ++i) {
      const double g = std::nearbyint(255.0 * std::pow(i / 255.0, exponent));
      const auto level = static_cast<std::uint8_t>(std::clamp(g, 0.0, 255.0));
      found->gamma[static_cast<std::size_t>(i)] = level;
      found->inverse[level] = static_cast<std::uint8_t>(i);
    }
    found->value = value;
  }
  const Tables& last = *found;
  GetOwner()->GammaTable = last.gamma;
  GetOwner()->InverseGamma = last.inverse;
  return result;
}

// ---- TChunkpHYs and TChunktIME ----

void TChunkpHYs::Assign(const TChunk* Source) {
  const TChunkpHYs* source = Compatible<TChunkpHYs>(Source);
  PPUnitX = source->PPUnitX;
  PPUnitY = source->PPUnitY;
  UnitType = source->UnitType;
}

bool TChunkpHYs::LoadFromStream(TStream* Stream, const std::string& ChunkName, std::uint32_t Size) {
  const bool result = TChunk::LoadFromStream(Stream, ChunkName, Size);
  if (GetDataSize() == 9) {
    PPUnitX = png::BigEndian32(GetData());
    PPUnitY = png::BigEndian32(GetData() + 4);
    UnitType = GetData()[8];
  }
  return result;
}

bool TChunkpHYs::SaveToStream(TStream* Stream) {
  ResizeData(9);
  png::PutBigEndian32(GetData(), PPUnitX);
  png::PutBigEndian32(GetData() + 4, PPUnitY);
  GetData()[8] = UnitType;
  return TChunk::SaveToStream(Stream);
}

void TChunktIME::Assign(const TChunk* Source) {
  const TChunktIME* source = Compatible<TChunktIME>(Source);
  Year = source->Year;
  Month = source->Month;
  Day = source->Day;
  Hour = source->Hour;
  Minute = source->Minute;
  Second = source->Second;
}

bool TChunktIME::LoadFromStream(TStream* Stream, const std::string& ChunkName, std::uint32_t Size) {
  const bool result = TChunk::LoadFromStream(Stream, ChunkName, Size);
  if (GetDataSize() == 7) {
    const std::uint8_t* d = GetData();
    Year = static_cast<std::uint16_t>(d[0] * 256 + d[1]);
    Month = d[2];
    Day = d[3];
    Hour = d[4];
    Minute = d[5];
    Second = d[6];
  }
  return result;
}

bool TChunktIME::SaveToStream(TStream* Stream) {
  ResizeData(7);
  std::uint8_t* d = GetData();
  d[0] = static_cast<std::uint8_t>(Year >> 8);
  d[1] = static_cast<std::uint8_t>(Year);
  d[2] = Month;
  d[3] = Day;
  d[4] = Hour;
  d[5] = Minute;
  d[6] = Second;
  return TChunk::SaveToStream(Stream);
}

// ---- TChunktEXt and TChunkzTXt ----

void TChunktEXt::Assign(const TChunk* Source) {
  const TChunktEXt* source = Compatible<TChunktEXt>(Source);
  Keyword = source->Keyword;
  Text = source->Text;
}

bool TChunktEXt::ReadKeyword(std::size_t* separator) {
  const std::uint8_t* data = GetData();
  const std::uint8_t* end = data + GetDataSize();
  const std::uint8_t* zero = std::find(data, end, 0);
  if (zero == end) return false;
  *separator = static_cast<std::size_t>(zero - data);
  Keyword.assign(reinterpret_cast<const char*>(data), *separator);
  return true;
}

bool TChunktEXt::LoadFromStream(TStream* Stream, const std::string& ChunkName, std::uint32_t Size) {
  const bool result = TChunk::LoadFromStream(Stream, ChunkName, Size);
  Keyword.clear();
  Text.clear();
  std::size_t separator = 0;
  if (GetDataSize() < 3 || !ReadKeyword(&separator)) return result;
  Text.assign(reinterpret_cast<const char*>(GetData()) + separator + 1, GetDataSize() - separator - 1);
  return result;
}

bool TChunktEXt::SaveToStream(TStream* Stream) {
  ResizeData(static_cast<std::uint32_t>(Keyword.size() + 1 + Text.size()));
  std::uint8_t* data = GetData();
  std::memcpy(data, Keyword.data(), Keyword.size());
  data[Keyword.size()] = 0;
  std::memcpy(data + Keyword.size() + 1, Text.data(), Text.size());
  return TChunk::SaveToStream(Stream);
}

bool TChunkzTXt::LoadFromStream(TStream* Stream, const std::string& ChunkName, std::uint32_t Size) {
  const bool result = TChunk::LoadFromStream(Stream, ChunkName, Size);
  Keyword.clear();
  Text.clear();
  std::size_t separator = 0;
  if (GetDataSize() < 4 || !ReadKeyword(&separator)) return result;
  if (separator + 2 > GetDataSize() || GetData()[separator + 1] != 0) return result;
  std::vector<std::uint8_t> text;
  std::string error;
  if (png::DecompressZLIB(GetData() + separator + 2, GetDataSize() - separator - 2, png::kMaxInflatedText, &text,
                          &error))
    Text.assign(text.begin(), text.end());
  return result;
}

bool TChunkzTXt::SaveToStream(TStream* Stream) {
  if (Text.empty()) Text.push_back(' ');
  std::vector<std::uint8_t> compressed;
  std::string error;
  if (!png::CompressZLIB(reinterpret_cast<const std::uint8_t*>(Text.data()), Text.size(),
                         GetOwner()->GetCompressionLevel(), &compressed, &error))
    return false;
  ResizeData(static_cast<std::uint32_t>(Keyword.size() + 2 + compressed.size()));
  std::uint8_t* data = GetData();
  std::memcpy(data, Keyword.data(), Keyword.size());
  data[Keyword.size()] = 0;
  data[Keyword.size() + 1] = 0;
  std::memcpy(data + Keyword.size() + 2, compressed.data(), compressed.size());
  return TChunk::SaveToStream(Stream);
}

}  // namespace dashtune
