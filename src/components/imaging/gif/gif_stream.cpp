// The block stream: lists, colour tables, the header, the trailer, the extensions with their
// registries, and the frame loop.
#include <algorithm>
#include <cstring>
#include <numeric>

#include "classlib/lists.h"
#include "classlib/streams.h"
#include "components/imaging/gif/gif_blocks.h"
#include "components/imaging/gif/gif_picture.h"
#include "platform/core/mul_div.h"
#include "platform/gdi/gdi.h"

namespace dashtune {
namespace {

constexpr int kSmallCapacity = 16;
constexpr int kCapacityStep = 32;

TColor ColorOf(const TGIFColor& c) {
  return static_cast<TColor>(win::RGB(c.Red, c.Green, c.Blue));
}

TGIFColor FromColor(TColor color) {
  const auto rgb = static_cast<win::COLORREF>(color);
  return TGIFColor{win::GetRValue(rgb), win::GetGValue(rgb), win::GetBValue(rgb)};
}

std::array<std::uint8_t, gif::kPixelValues> IdentityMap() {
  std::array<std::uint8_t, gif::kPixelValues> map{};
  for (std::size_t i = 0; i < map.size(); ++i) map[i] = static_cast<std::uint8_t>(i);
  return map;
}

}  // namespace

// ---- Items and lists ----

void TGIFItem::Warning(int Severity, const std::string& Message) {
  if (image_ != nullptr) image_->Warning(this, Severity, Message);
}

void TGIFItem::SaveToFile(const std::string& Filename) {
  TFileStream stream(Filename, fmCreate);
  SaveToStream(&stream);
}

void TGIFItem::LoadFromFile(const std::string& Filename) {
  TFileStream stream(Filename, fmOpenRead | fmShareDenyWrite);
  LoadFromStream(&stream);
}

void TGIFList::Warning(int Severity, const std::string& Message) {
  if (image_ != nullptr) image_->Warning(this, Severity, Message);
}

void TGIFList::SaveToStream(TStream* Stream) {
  for (const auto& item : items_) item->SaveToStream(Stream);
}

TGIFItem* TGIFList::GetItem(int Index) const {
  if (Index < 0 || Index >= GetCount()) throw EListError(sysconst::SListIndexError, {Index});
  return items_[static_cast<std::size_t>(Index)].get();
}

int TGIFList::Add(std::unique_ptr<TGIFItem> Item) {
  items_.push_back(std::move(Item));
  return GetCount() - 1;
}

void TGIFList::Delete(int Index) {
  GetItem(Index);
  // Take the item out first: its destructor may look at the list.
  std::unique_ptr<TGIFItem> item = std::move(items_[static_cast<std::size_t>(Index)]);
  items_.erase(items_.begin() + Index);
}

std::unique_ptr<TGIFItem> TGIFList::Remove(TGIFItem* Item) {
  const int index = IndexOf(Item);
  if (index < 0) return nullptr;
  std::unique_ptr<TGIFItem> item = std::move(items_[static_cast<std::size_t>(index)]);
  items_.erase(items_.begin() + index);
  return item;
}

int TGIFList::IndexOf(const TGIFItem* Item) const {
  for (std::size_t i = 0; i < items_.size(); ++i)
    if (items_[i].get() == Item) return static_cast<int>(i);
  return -1;
}

void TGIFList::Clear() {
  // Front first, as deleting from the front would, without moving the rest down once per item:
  // the list is already empty while its items go.
  std::vector<std::unique_ptr<TGIFItem>> items = std::move(items_);
  items_.clear();
  for (std::unique_ptr<TGIFItem>& item : items) item.reset();
}

// ---- Colour maps ----

void TGIFColorMap::Assign(const TPersistent* Source) {
  if (const auto* map = dynamic_cast<const TGIFColorMap*>(Source)) {
    if (map == this) return;
    entries_ = map->entries_;
    count_ = map->count_;
    optimized_ = map->optimized_;
    Changed();
    return;
  }
  TPersistent::Assign(Source);
}

void TGIFColorMap::SetCount(int Count) {
  if (Count > GetCapacity()) {
    const int capacity = Count <= kSmallCapacity ? kSmallCapacity
                                                 : std::min((Count + kCapacityStep - 1) / kCapacityStep * kCapacityStep,
                                                            gif::kMaxColors);
    entries_.resize(static_cast<std::size_t>(capacity));
  }
  count_ = Count;
}

int TGIFColorMap::Add(TColor Color) {
  if (count_ >= gif::kMaxColors) gif::RaiseGIFError(gif::sColorTableOverflow);
  SetCount(count_ + 1);
  entries_[static_cast<std::size_t>(count_ - 1)] = FromColor(Color);
  optimized_ = false;
  Changed();
  return count_ - 1;
}

int TGIFColorMap::AddUnique(TColor Color) {
  const int index = IndexOf(Color);
  return index >= 0 ? index : Add(Color);
}

int TGIFColorMap::IndexOf(TColor Color) const {
  const TGIFColor wanted = FromColor(Color);
  if (optimized_) {
    for (int i = 0; i < count_; ++i)
      if (entries_[static_cast<std::size_t>(i)] == wanted) return i;
  } else {
    for (int i = count_ - 1; i >= 0; --i)
      if (entries_[static_cast<std::size_t>(i)] == wanted) return i;
  }
  return -1;
}

void TGIFColorMap::Delete(int Index) {
  if (Index < 0 || Index >= count_) gif::RaiseGIFError(gif::sInvalidColorIndex);
  entries_.erase(entries_.begin() + Index);
  entries_.push_back(TGIFColor{});
  --count_;
  optimized_ = false;
  Changed();
}

TColor TGIFColorMap::GetColor(int Index) {
  if (Index < 0 || Index >= count_) {
    Warning(gif::kWarningSeverity, std::string(gif::sInvalidColorIndex));
    if (count_ == 0) gif::RaiseGIFError(gif::sColorTableEmpty);
    Index = 0;
  }
  return ColorOf(entries_[static_cast<std::size_t>(Index)]);
}

void TGIFColorMap::SetColor(int Index, TColor Color) {
  if (Index < 0 || Index >= count_) gif::RaiseGIFError(gif::sInvalidColorIndex);
  entries_[static_cast<std::size_t>(Index)] = FromColor(Color);
  Changed();
}

void TGIFColorMap::Clear() {
  entries_.clear();
  entries_.shrink_to_fit();
  count_ = 0;
  optimized_ = false;
}

void TGIFColorMap::ImportPalette(win::HPALETTE Palette) {
  Clear();
  const std::vector<win::PALETTEENTRY> entries = gif::PaletteEntries(Palette);
  SetCount(static_cast<int>(entries.size()));
  for (std::size_t i = 0; i < entries.size(); ++i)
    entries_[i] = TGIFColor{entries[i].peRed, entries[i].peGreen, entries[i].peBlue};
  Changed();
}

void TGIFColorMap::ImportQuads(const std::vector<bmp::Quad>& Quads) {
  Clear();
  const std::size_t n = std::min<std::size_t>(Quads.size(), gif::kMaxColors);
  SetCount(static_cast<int>(n));
  for (std::size_t i = 0; i < n; ++i) entries_[i] = TGIFColor{Quads[i].red, Quads[i].green, Quads[i].blue};
  Changed();
}

win::HPALETTE TGIFColorMap::ExportPalette() const {
  if (count_ == 0) return nullptr;
  std::vector<win::PALETTEENTRY> entries;
  entries.reserve(static_cast<std::size_t>(count_));
  for (int i = 0; i < count_; ++i) {
    const TGIFColor& c = entries_[static_cast<std::size_t>(i)];
    entries.push_back(win::PALETTEENTRY{c.Red, c.Green, c.Blue, win::PC_NOCOLLAPSE});
  }
  return gif::MakePalette(entries);
}

void TGIFColorMap::LoadFromStream(TStream* Stream, int Count) {
  Clear();
  SetCount(Count);
  std::array<std::uint8_t, gif::kMaxColors * gif::kColorSize> raw{};
  gif::ReadCheck(Stream, raw.data(), static_cast<std::size_t>(Count) * gif::kColorSize);
  for (int i = 0; i < Count; ++i) {
    const std::uint8_t* p = raw.data() + static_cast<std::size_t>(i) * gif::kColorSize;
    entries_[static_cast<std::size_t>(i)] = TGIFColor{p[0], p[1], p[2]};
  }
}

void TGIFColorMap::SaveToStream(TStream* Stream) const {
  if (count_ == 0) return;
  const int total = 1 << BitsPerPixel();
  std::vector<std::uint8_t> raw(static_cast<std::size_t>(total) * gif::kColorSize, 0);
  for (int i = 0; i < count_; ++i) {
    const TGIFColor& c = entries_[static_cast<std::size_t>(i)];
    std::uint8_t* p = raw.data() + static_cast<std::size_t>(i) * gif::kColorSize;
    p[0] = c.Red;
    p[1] = c.Green;
    p[2] = c.Blue;
  }
  Stream->WriteBuffer(raw.data(), static_cast<int>(raw.size()));
}

bool TGIFColorMap::Optimize() {
  if (count_ <= 1) return false;
  OptimizeKeeping(-1);
  return true;
}

std::array<std::uint8_t, gif::kPixelValues> TGIFColorMap::OptimizeKeeping(int Kept) {
  optimized_ = true;
  const std::array<std::uint64_t, gif::kPixelValues> histogram = BuildHistogram();
  std::vector<int> order(static_cast<std::size_t>(count_));
  std::iota(order.begin(), order.end(), 0);
  // The kept entry goes after the used ones but before the unused ones, which are cut.
  const auto rank = [&](int index) {
    const std::uint64_t count = histogram[static_cast<std::size_t>(index)];
    return std::pair<std::uint64_t, bool>{count, index == Kept};
  };
  std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return rank(a) > rank(b); });
  std::array<std::uint8_t, gif::kPixelValues> map = IdentityMap();
  if (std::is_sorted(order.begin(), order.end())) return map;
  for (std::size_t position = 0; position < order.size(); ++position)
    map[static_cast<std::size_t>(order[position])] = static_cast<std::uint8_t>(position);
  MapImages(map);
  std::vector<TGIFColor> sorted;
  sorted.reserve(order.size());
  for (int index : order) sorted.push_back(entries_[static_cast<std::size_t>(index)]);
  int keep = count_;
  for (std::size_t position = 0; position < order.size(); ++position)
    if (histogram[static_cast<std::size_t>(order[position])] == 0) {
      keep = static_cast<int>(position);
      break;
    }
  if (Kept >= 0 && Kept < count_) keep = std::max(keep, map[static_cast<std::size_t>(Kept)] + 1);
  std::copy(sorted.begin(), sorted.end(), entries_.begin());
  count_ = keep;
  Changed();
  return map;
}

namespace {

// A frame's transparent colour keeps its entry: it counts as used, so sorting never cuts it and
// never hands its index to a colour the frame shows.
void CountTransparentIndex(const TGIFSubImage* Frame, std::array<std::uint64_t, gif::kPixelValues>& Counts) {
  const TGIFGraphicControlExtension* gce = Frame->GetGraphicControlExtension();
  if (gce != nullptr && gce->GetTransparent()) ++Counts[gce->GetTransparentColorIndex()];
}

// An index past the table stays as it is, as its pixels do.
void TranslateTransparentIndex(TGIFSubImage* Frame, const std::array<std::uint8_t, gif::kPixelValues>& Map) {
  TGIFGraphicControlExtension* gce = Frame->GetGraphicControlExtension();
  if (gce == nullptr) return;
  const std::uint8_t index = gce->GetTransparentColorIndex();
  if (Map[index] != index) gce->SetTransparentColorIndex(Map[index]);
}

}  // namespace

void TGIFGlobalColorMap::Warning(int Severity, const std::string& Message) { header_->Warning(Severity, Message); }

std::array<std::uint64_t, gif::kPixelValues> TGIFGlobalColorMap::BuildHistogram() const {
  std::array<std::uint64_t, gif::kPixelValues> counts{};
  TGIFPicture* image = header_->GetImage();
  if (image == nullptr) return counts;
  TGIFFrameList* frames = image->GetImages();
  for (int i = 0; i < frames->GetCount(); ++i) {
    TGIFSubImage* frame = frames->GetFrame(i);
    if (frame->GetActiveColorMap() != this) continue;
    for (std::uint8_t pixel : frame->GetData()) ++counts[pixel];
    CountTransparentIndex(frame, counts);
  }
  return counts;
}

void TGIFGlobalColorMap::MapImages(const std::array<std::uint8_t, gif::kPixelValues>& Map) {
  TGIFPicture* image = header_->GetImage();
  if (image == nullptr) return;
  TGIFFrameList* frames = image->GetImages();
  for (int i = 0; i < frames->GetCount(); ++i) {
    TGIFSubImage* frame = frames->GetFrame(i);
    if (frame->GetActiveColorMap() != this) continue;
    for (std::uint8_t& pixel : frame->pixels_) pixel = Map[pixel];
    TranslateTransparentIndex(frame, Map);
    frame->FreeBitmap();
  }
}

bool TGIFGlobalColorMap::Optimize() {
  TGIFPicture* image = header_->GetImage();
  if (image == nullptr || image->GetEmpty() || GetCount() <= 1) return false;
  const int background = header_->GetBackgroundColorIndex();
  const std::array<std::uint8_t, gif::kPixelValues> map = OptimizeKeeping(background);
  header_->SetBackgroundColorIndex(map[static_cast<std::size_t>(background)]);
  return true;
}

void TGIFGlobalColorMap::Changed() {
  if (TGIFPicture* image = header_->GetImage()) image->PaletteChanged();
}

void TGIFLocalColorMap::Warning(int Severity, const std::string& Message) { subimage_->Warning(Severity, Message); }

std::array<std::uint64_t, gif::kPixelValues> TGIFLocalColorMap::BuildHistogram() const {
  std::array<std::uint64_t, gif::kPixelValues> counts{};
  for (std::uint8_t pixel : subimage_->GetData()) ++counts[pixel];
  CountTransparentIndex(subimage_, counts);
  return counts;
}

void TGIFLocalColorMap::MapImages(const std::array<std::uint8_t, gif::kPixelValues>& Map) {
  for (std::uint8_t& pixel : subimage_->pixels_) pixel = Map[pixel];
  TranslateTransparentIndex(subimage_, Map);
  subimage_->FreeBitmap();
}

void TGIFLocalColorMap::Changed() { subimage_->SetPalette(nullptr); }

// ---- Header and trailer ----

TGIFHeader::TGIFHeader(TGIFPicture* image) : TGIFItem(image), color_map_(this) {}

void TGIFHeader::Assign(const TPersistent* Source) {
  if (const auto* header = dynamic_cast<const TGIFHeader*>(Source)) {
    if (header == this) return;
    version_ = header->version_;
    width_ = header->width_;
    height_ = header->height_;
    packed_ = header->packed_;
    background_index_ = header->background_index_;
    aspect_ratio_ = header->aspect_ratio_;
    color_map_.Assign(&header->color_map_);
  } else if (const auto* map = dynamic_cast<const TGIFColorMap*>(Source)) {
    Clear();
    color_map_.Assign(map);
  } else {
    TGIFItem::Assign(Source);
  }
}

TGIFVersion TGIFHeader::GetVersion() const {
  return color_map_.GetOptimized() || aspect_ratio_ != 0 ? gv89a : gv87a;
}

void TGIFHeader::Clear() {
  color_map_.Clear();
  width_ = height_ = 0;
  packed_ = background_index_ = aspect_ratio_ = 0;
}

void TGIFHeader::LoadFromStream(TStream* Stream) {
  const std::int64_t start = Stream->GetPosition();
  std::array<char, gif::kHeaderSize> header{};
  gif::ReadCheck(Stream, header.data(), header.size());
  const auto signed_ok = [&] { return std::equal(gif::kSignature.begin(), gif::kSignature.end(), header.begin()); };
  if (!signed_ok()) {
    // Some files carry a few bytes before the header.
    Stream->SetPosition(start + gif::kHeaderRetrySkip);
    gif::ReadCheck(Stream, header.data(), header.size());
    if (!signed_ok()) gif::RaiseGIFError(gif::sInvalidSignature);
  }
  std::copy(header.begin() + 3, header.end(), version_.begin());
  std::array<std::uint8_t, gif::kScreenDescriptorSize> descriptor{};
  gif::ReadCheck(Stream, descriptor.data(), descriptor.size());
  width_ = gif::LittleEndian16(descriptor.data());
  height_ = gif::LittleEndian16(descriptor.data() + 2);
  packed_ = descriptor[4];
  background_index_ = descriptor[5];
  aspect_ratio_ = descriptor[6];
  if ((packed_ & gif::kScreenGlobalTable) != 0) {
    color_map_.LoadFromStream(Stream, gif::TableEntries(packed_));
  } else {
    color_map_.Clear();
  }
}

void TGIFHeader::Prepare() {
  std::uint8_t packed = 0;
  if (color_map_.GetCount() > 0) {
    packed |= gif::kScreenGlobalTable;
    packed |= static_cast<std::uint8_t>((color_map_.BitsPerPixel() - 1) & gif::kTableSizeMask);
  }
  if (color_map_.GetOptimized()) packed |= gif::kScreenSorted;
  const int resolution = image_ != nullptr ? image_->GetColorResolution() : GetColorResolution();
  packed |= static_cast<std::uint8_t>((std::max(resolution, 0) << gif::kScreenResolutionShift) &
                                      gif::kScreenResolutionMask);
  packed_ = packed;
}

void TGIFHeader::SaveToStream(TStream* Stream) {
  const TGIFVersion version = image_ != nullptr ? image_->GetVersion() : GetVersion();
  Stream->WriteBuffer(gif::kSignature.data(), static_cast<int>(gif::kSignature.size()));
  const auto& text = version == gv89a ? gif::kVersion89a : gif::kVersion87a;
  Stream->WriteBuffer(text.data(), static_cast<int>(text.size()));
  Prepare();
  std::array<std::uint8_t, gif::kScreenDescriptorSize> descriptor{};
  gif::PutLittleEndian16(descriptor.data(), width_);
  gif::PutLittleEndian16(descriptor.data() + 2, height_);
  descriptor[4] = packed_;
  descriptor[5] = background_index_;
  descriptor[6] = aspect_ratio_;
  Stream->WriteBuffer(descriptor.data(), static_cast<int>(descriptor.size()));
  color_map_.SaveToStream(Stream);
}

void TGIFTrailer::SaveToStream(TStream* Stream) { gif::WriteByte(Stream, gif::kTrailer); }

void TGIFTrailer::LoadFromStream(TStream* Stream) {
  std::uint8_t byte = 0;
  if (gif::TryReadByte(Stream, byte) && byte != gif::kTrailer) Warning(gif::kWarningSeverity, std::string(gif::sInvalidTrailer));
}

// ---- Extensions ----

TGIFExtension::TGIFExtension(TGIFSubImage* ASubImage)
    : TGIFItem(ASubImage != nullptr ? ASubImage->GetImage() : nullptr), subimage_(ASubImage) {}

void TGIFExtension::LoadFromStream(TStream* Stream) {
  std::array<std::uint8_t, 2> intro{};
  gif::ReadCheck(Stream, intro.data(), intro.size());
  if (intro[0] != gif::kExtensionIntroducer) gif::RaiseGIFError(gif::sInvalidExtensionIntroducer);
  if (intro[1] != GetExtensionType()) gif::RaiseGIFError(gif::sExtensionLabelMismatch);
}

void TGIFExtension::SaveToStream(TStream* Stream) {
  gif::WriteByte(Stream, gif::kExtensionIntroducer);
  gif::WriteByte(Stream, GetExtensionType());
}

TGIFGraphicControlExtension::TGIFGraphicControlExtension(TGIFSubImage* ASubImage) : TGIFExtension(ASubImage) {
  if (ASubImage != nullptr && ASubImage->GetGraphicControlExtension() == nullptr)
    ASubImage->SetGraphicControlExtension(this);
}

TGIFGraphicControlExtension::~TGIFGraphicControlExtension() {
  TGIFSubImage* frame = GetSubImage();
  if (frame == nullptr || frame->GetGraphicControlExtension() != this) return;
  if (GetTransparent()) frame->SetTransparent(false);
  frame->SetGraphicControlExtension(nullptr);
}

void TGIFGraphicControlExtension::LoadFromStream(TStream* Stream) {
  TGIFExtension::LoadFromStream(Stream);
  std::array<std::uint8_t, gif::kGraphicControlSize> fields{};
  const std::size_t got = gif::ReadUpTo(Stream, fields.data(), fields.size());
  // A short block keeps what was read.
  if (got > 0) block_size_ = fields[0];
  if (got > 1) packed_ = fields[1];
  if (got > 3) delay_ = gif::LittleEndian16(fields.data() + 2);
  if (got > 4) transparent_index_ = fields[4];
  if (got > 5) terminator_ = fields[5];
  if (got < fields.size()) Warning(gif::kWarningSeverity, std::string(gif::sPrematureEndOfData));
  if (GetTransparent() && GetSubImage() != nullptr && GetSubImage()->GetGraphicControlExtension() == this)
    GetSubImage()->SetTransparent(true);
}

void TGIFGraphicControlExtension::SaveToStream(TStream* Stream) {
  TGIFExtension::SaveToStream(Stream);
  std::array<std::uint8_t, gif::kGraphicControlSize> fields{};
  fields[0] = gif::kGraphicControlBlockSize;
  fields[1] = packed_;
  gif::PutLittleEndian16(fields.data() + 2, delay_);
  fields[4] = transparent_index_;
  fields[5] = gif::kBlockTerminator;
  Stream->WriteBuffer(fields.data(), static_cast<int>(fields.size()));
}

void TGIFGraphicControlExtension::SetTransparent(bool Value) {
  packed_ = static_cast<std::uint8_t>(Value ? packed_ | gif::kControlTransparent : packed_ & ~gif::kControlTransparent);
  if (GetSubImage() != nullptr && GetSubImage()->GetGraphicControlExtension() == this)
    GetSubImage()->SetTransparent(Value);
}

void TGIFGraphicControlExtension::SetTransparentColorIndex(std::uint8_t Value) {
  TGIFSubImage* frame = GetSubImage();
  TGIFColorMap* map = frame != nullptr ? frame->GetActiveColorMap() : nullptr;
  if (map != nullptr && map->GetCount() > 0 && Value >= map->GetCount()) {
    Warning(gif::kWarningSeverity, std::string(gif::sInvalidColorIndex));
    Value = 0;
  }
  transparent_index_ = Value;
}

TColor TGIFGraphicControlExtension::GetTransparentColor() {
  return GetSubImage()->GetActiveColorMap()->GetColor(transparent_index_);
}

void TGIFGraphicControlExtension::SetUserInput(bool Value) {
  packed_ = static_cast<std::uint8_t>(Value ? packed_ | gif::kControlUserInput : packed_ & ~gif::kControlUserInput);
}

TDisposalMethod TGIFGraphicControlExtension::GetDisposal() const {
  // Values 4 to 7 are undefined; they are kept in the packed field and read as no disposal.
  const int method = (packed_ & gif::kControlDisposalMask) >> gif::kControlDisposalShift;
  return method <= dmPrevious ? static_cast<TDisposalMethod>(method) : dmNone;
}

void TGIFGraphicControlExtension::SetDisposal(TDisposalMethod Value) {
  packed_ = static_cast<std::uint8_t>((packed_ & ~gif::kControlDisposalMask) |
                                      ((static_cast<int>(Value) << gif::kControlDisposalShift) & gif::kControlDisposalMask));
}

void TGIFTextExtension::LoadFromStream(TStream* Stream) {
  TGIFExtension::LoadFromStream(Stream);
  std::array<std::uint8_t, gif::kTextExtensionSize> fields{};
  gif::ReadCheck(Stream, fields.data(), fields.size());
  BlockSize = fields[0];
  Left = gif::LittleEndian16(fields.data() + 1);
  Top = gif::LittleEndian16(fields.data() + 3);
  GridWidth = gif::LittleEndian16(fields.data() + 5);
  GridHeight = gif::LittleEndian16(fields.data() + 7);
  CharWidth = fields[9];
  CharHeight = fields[10];
  ForegroundColorIndex = fields[11];
  BackgroundColorIndex = fields[12];
  gif::ReadStrings(Stream, &text_);
}

void TGIFTextExtension::SaveToStream(TStream* Stream) {
  TGIFExtension::SaveToStream(Stream);
  std::array<std::uint8_t, gif::kTextExtensionSize> fields{};
  fields[0] = gif::kTextExtensionBlockSize;
  gif::PutLittleEndian16(fields.data() + 1, Left);
  gif::PutLittleEndian16(fields.data() + 3, Top);
  gif::PutLittleEndian16(fields.data() + 5, GridWidth);
  gif::PutLittleEndian16(fields.data() + 7, GridHeight);
  fields[9] = CharWidth;
  fields[10] = CharHeight;
  fields[11] = ForegroundColorIndex;
  fields[12] = BackgroundColorIndex;
  Stream->WriteBuffer(fields.data(), static_cast<int>(fields.size()));
  gif::WriteStrings(Stream, &text_);
}

void TGIFCommentExtension::LoadFromStream(TStream* Stream) {
  TGIFExtension::LoadFromStream(Stream);
  gif::ReadStrings(Stream, &text_);
}

void TGIFCommentExtension::SaveToStream(TStream* Stream) {
  // An extension without a data sub-block is valid, but other readers take the block after it
  // for its data: a comment with nothing in it is left out.
  if (gif::StringsEmpty(&text_)) return;
  TGIFExtension::SaveToStream(Stream);
  gif::WriteStrings(Stream, &text_);
}

void TGIFApplicationExtension::LoadFromStream(TStream* Stream) {
  TGIFExtension::LoadFromStream(Stream);
  std::uint8_t size = 0;
  gif::ReadCheck(Stream, &size, 1);
  if (size < gif::kShortAppBlockSize) gif::RaiseGIFError(gif::sUnsupportedAppBlockSize);
  block_size_ = size;
  identifier_.fill(0);
  if (size == gif::kShortAppBlockSize) {
    // Ten identifier bytes and the byte after them, which belongs to the data.
    gif::ReadCheck(Stream, identifier_.data(), identifier_.size());
    Stream->Seek(-1, TSeekOrigin::soCurrent);
    identifier_.back() = 0;
  } else {
    gif::ReadCheck(Stream, identifier_.data(), identifier_.size());
    gif::SkipBytes(Stream, size - gif::kAppBlockSize);
  }
  LoadData(Stream);
}

void TGIFApplicationExtension::SaveToStream(TStream* Stream) {
  TGIFExtension::SaveToStream(Stream);
  // A block read with ten identifier bytes goes back as it came; the bytes a longer block had
  // beyond the identifier were skipped when it was read.
  const std::size_t size = block_size_ == gif::kShortAppBlockSize ? gif::kShortAppBlockSize : gif::kAppBlockSize;
  gif::WriteByte(Stream, static_cast<std::uint8_t>(size));
  Stream->WriteBuffer(identifier_.data(), static_cast<int>(size));
  SaveData(Stream);
}

void TGIFApplicationExtension::LoadData(TStream* Stream) { gif::SkipSubBlocks(Stream); }

void TGIFApplicationExtension::SaveData(TStream* Stream) { gif::WriteByte(Stream, gif::kBlockTerminator); }

std::optional<TGIFExtensionClass> TGIFApplicationExtension::FindExtensionClass(TStream* Stream) {
  const auto unknown = TGIFExtensionClass::Of<TGIFUnknownAppExtension>();
  std::uint8_t size = 0;
  if (!gif::TryReadByte(Stream, size)) return std::nullopt;
  Identifier ident{};
  if (size == gif::kShortAppBlockSize) {
    if (gif::ReadUpTo(Stream, ident.data(), gif::kShortAppBlockSize) != gif::kShortAppBlockSize) return std::nullopt;
    return unknown;
  }
  if (size == gif::kAppBlockSize) {
    if (gif::ReadUpTo(Stream, ident.data(), ident.size()) != ident.size()) return unknown;
    return gif::FindAppExtension(ident).value_or(unknown);
  }
  return TGIFExtensionClass::Of<TGIFApplicationExtension>();
}

void TGIFUnknownAppExtension::LoadData(TStream* Stream) {
  blocks_.clear();
  std::uint8_t size = 0;
  while (gif::TryReadByte(Stream, size) && size != 0) {
    auto block = std::make_unique<TGIFBlock>();
    block->Data.resize(size);
    gif::ReadCheck(Stream, block->Data.data(), size);
    blocks_.push_back(std::move(block));
  }
}

void TGIFUnknownAppExtension::SaveData(TStream* Stream) {
  for (const auto& block : blocks_) {
    gif::WriteByte(Stream, static_cast<std::uint8_t>(block->Data.size()));
    Stream->WriteBuffer(block->Data.data(), static_cast<int>(block->Data.size()));
  }
  gif::WriteByte(Stream, gif::kBlockTerminator);
}

TGIFAppExtNSLoop::TGIFAppExtNSLoop(TGIFSubImage* ASubImage) : TGIFApplicationExtension(ASubImage) {
  static constexpr char kNetscape[] = "NETSCAPE2.0";
  Identifier ident{};
  std::memcpy(ident.data(), kNetscape, ident.size());
  SetIdentifier(ident);
}

void TGIFAppExtNSLoop::LoadData(TStream* Stream) {
  std::array<std::uint8_t, gif::kMaxSubBlockSize> block{};
  std::uint8_t size = 0;
  while (gif::TryReadByte(Stream, size) && size != 0) {
    gif::ReadCheck(Stream, block.data(), size);
    const std::uint8_t id = block[0] & gif::kLoopSubBlockIdMask;
    const std::size_t field = size - 1u;
    if (id == gif::kLoopCountId) {
      if (field < gif::kLoopCountSize) gif::RaiseGIFError(gif::sInvalidData);
      Loops = gif::LittleEndian16(block.data() + 1);
    } else if (id == gif::kLoopBufferSizeId) {
      if (field < gif::kLoopBufferSizeSize) gif::RaiseGIFError(gif::sInvalidData);
      BufferSize = gif::LittleEndian32(block.data() + 1);
    }
  }
}

void TGIFAppExtNSLoop::SaveData(TStream* Stream) {
  std::array<std::uint8_t, 1 + 1 + gif::kLoopCountSize> loops{};
  loops[0] = static_cast<std::uint8_t>(1 + gif::kLoopCountSize);
  loops[1] = gif::kLoopCountId;
  gif::PutLittleEndian16(loops.data() + 2, Loops);
  Stream->WriteBuffer(loops.data(), static_cast<int>(loops.size()));
  if (BufferSize != 0) {
    std::array<std::uint8_t, 1 + 1 + gif::kLoopBufferSizeSize> buffer{};
    buffer[0] = static_cast<std::uint8_t>(1 + gif::kLoopBufferSizeSize);
    buffer[1] = gif::kLoopBufferSizeId;
    gif::PutLittleEndian32(buffer.data() + 2, BufferSize);
    Stream->WriteBuffer(buffer.data(), static_cast<int>(buffer.size()));
  }
  gif::WriteByte(Stream, gif::kBlockTerminator);
}

// ---- Registries ----

namespace gif {
namespace {

struct Registries {
  std::vector<std::pair<std::uint8_t, TGIFExtensionClass>> extensions;
  std::vector<std::pair<TGIFApplicationExtension::Identifier, TGIFExtensionClass>> applications;
};

TGIFApplicationExtension::Identifier IdentOf(const char (&text)[12]) {
  TGIFApplicationExtension::Identifier ident{};
  std::memcpy(ident.data(), text, ident.size());
  return ident;
}

std::unique_ptr<Registries>& RegistryStorage() {
  static std::unique_ptr<Registries> registries;
  return registries;
}

// Made on first use with the codec's own classes.
Registries& TheRegistries() {
  std::unique_ptr<Registries>& storage = RegistryStorage();
  if (!storage) {
    storage = std::make_unique<Registries>();
    storage->extensions = {{kTextExtensionLabel, TGIFExtensionClass::Of<TGIFTextExtension>()},
                           {kGraphicControlLabel, TGIFExtensionClass::Of<TGIFGraphicControlExtension>()},
                           {kCommentExtensionLabel, TGIFExtensionClass::Of<TGIFCommentExtension>()},
                           {kApplicationExtensionLabel, TGIFExtensionClass::Of<TGIFApplicationExtension>()}};
    storage->applications = {{IdentOf("NETSCAPE2.0"), TGIFExtensionClass::Of<TGIFAppExtNSLoop>()},
                             {IdentOf("ANIMEXTS1.0"), TGIFExtensionClass::Of<TGIFAppExtNSLoop>()}};
  }
  return *storage;
}

// The class's own answer to "which class reads this block": only the application extension
// looks further; every other class, its descendants included, answers itself.
std::optional<TGIFExtensionClass> AskClass(const TGIFExtensionClass& cls, TStream* stream) {
  if (cls == TGIFExtensionClass::Of<TGIFApplicationExtension>())
    return TGIFApplicationExtension::FindExtensionClass(stream);
  return cls;
}

}  // namespace

void RegisterExtension(std::uint8_t Label, TGIFExtensionClass Class) {
  TheRegistries().extensions.emplace_back(Label, Class);
}

std::optional<TGIFExtensionClass> FindExtension(std::uint8_t Label) {
  const auto& list = TheRegistries().extensions;
  for (auto it = list.rbegin(); it != list.rend(); ++it)
    if (it->first == Label) return it->second;
  return std::nullopt;
}

void RegisterAppExtension(const TGIFApplicationExtension::Identifier& Ident, TGIFExtensionClass Class) {
  TheRegistries().applications.emplace_back(Ident, Class);
}

std::optional<TGIFExtensionClass> FindAppExtension(const TGIFApplicationExtension::Identifier& Ident) {
  const auto& list = TheRegistries().applications;
  for (auto it = list.rbegin(); it != list.rend(); ++it)
    if (it->first == Ident) return it->second;
  return std::nullopt;
}

void FreeExtensionRegistries() { RegistryStorage().reset(); }

std::optional<TGIFExtensionClass> FindExtensionClass(TStream* Stream) {
  const std::int64_t start = Stream->GetPosition();
  std::uint8_t label = 0;
  std::optional<TGIFExtensionClass> cls;
  if (TryReadByte(Stream, label)) {
    cls = FindExtension(label);
    while (cls) {
      std::optional<TGIFExtensionClass> answer = AskClass(*cls, Stream);
      if (answer && *answer == *cls) break;
      cls = answer;
    }
  }
  Stream->SetPosition(start);
  return cls;
}

}  // namespace gif

// ---- Extension list and frame list ----

namespace {
// Skips the label and the data sub-blocks of an extension; a stream that ends before its
// zero-size block raises sPrematureEndOfData.
void SkipExtension(TStream* stream) {
  std::uint8_t byte = 0;
  gif::ReadCheck(stream, &byte, 1);
  do {
    gif::ReadCheck(stream, &byte, 1);
    if (gif::SkipBytes(stream, byte) != byte) gif::RaiseGIFError(gif::sPrematureEndOfData);
  } while (byte != 0);
}
}  // namespace

TGIFExtensionList::TGIFExtensionList(TGIFSubImage* SubImage)
    : TGIFList(SubImage != nullptr ? SubImage->GetImage() : nullptr), subimage_(SubImage) {}

void TGIFExtensionList::LoadFromStream(TStream* Stream, TGIFSubImage* Parent) {
  std::uint8_t byte = 0;
  if (!gif::TryReadByte(Stream, byte)) return;
  while (byte != gif::kImageSeparator && byte != gif::kTrailer) {
    if (byte != gif::kExtensionIntroducer) {
      Warning(gif::kWarningSeverity, std::string(gif::sInvalidExtensionIntroducer));
      break;
    }
    const std::optional<TGIFExtensionClass> cls = gif::FindExtensionClass(Stream);
    if (cls) {
      Stream->Seek(-1, TSeekOrigin::soCurrent);
      std::unique_ptr<TGIFExtension> extension = cls->Create(Parent);
      extension->LoadFromStream(Stream);
      Add(std::move(extension));
    } else {
      // Its sub-blocks say where it ends: the rest of the picture still loads.
      Warning(gif::kWarningSeverity, std::string(gif::sUnknownExtensionType));
      SkipExtension(Stream);
    }
    if (!gif::TryReadByte(Stream, byte)) return;
  }
  Stream->Seek(-1, TSeekOrigin::soCurrent);
}

TGIFSubImage* TGIFFrameList::GetFrame(int Index) const { return static_cast<TGIFSubImage*>(GetItem(Index)); }

namespace {
// The next byte that is not 0, or false at the end of the stream.
bool NextBlockByte(TStream* stream, std::uint8_t& byte) {
  while (gif::TryReadByte(stream, byte))
    if (byte != gif::kBlockTerminator) return true;
  return false;
}
}  // namespace

void TGIFFrameList::LoadFromStream(TStream* Stream, TGIFPicture* Parent) {
  std::uint8_t byte = 0;
  if (!NextBlockByte(Stream, byte)) return;
  while (byte != gif::kTrailer) {
    Stream->Seek(-1, TSeekOrigin::soCurrent);
    if (byte != gif::kExtensionIntroducer && byte != gif::kImageSeparator) {
      // The trailer reads the unknown byte next.
      Warning(gif::kWarningSeverity, std::string(gif::sUnknownBlockType));
      return;
    }
    auto frame = std::make_unique<TGIFSubImage>(Parent);
    frame->LoadFromStream(Stream);
    Add(std::move(frame));
    Parent->StreamProgress(Stream);
    if (!NextBlockByte(Stream, byte)) return;
  }
  Stream->Seek(-1, TSeekOrigin::soCurrent);
}

}  // namespace dashtune
