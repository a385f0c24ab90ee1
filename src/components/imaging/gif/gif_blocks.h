// The block model of a GIF stream: the header with its global colour table, the frames with their
// local tables, extensions and pixel indices, the extension classes and their registries, and the
// trailer. Every block belongs to one TGIFPicture, whose warning and progress events it reports to.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "classlib/bitmap.h"
#include "classlib/strings.h"
#include "components/imaging/gif/gif_utils.h"
#include "platform/gdi/scoped_gdi.h"

namespace dashtune {

class TGIFPicture;
class TGIFSubImage;
class TGIFHeader;

// The lowest GIF version a block needs.
enum TGIFVersion : int { gvUnknown, gv87a, gv89a };

// Disposal methods of the graphic control extension.
enum TDisposalMethod : int { dmNone, dmNoDisposal, dmBackground, dmPrevious };

// Base of every block: knows the picture it belongs to (not owned).
class TGIFItem : public TPersistent {
 public:
  explicit TGIFItem(TGIFPicture* image) : image_(image) {}

  virtual TGIFVersion GetVersion() const { return gv87a; }
  // Passes the warning to the picture with this block as sender.
  virtual void Warning(int Severity, const std::string& Message);
  virtual void SaveToStream(TStream* Stream) = 0;
  virtual void LoadFromStream(TStream* Stream) = 0;
  void SaveToFile(const std::string& Filename);
  void LoadFromFile(const std::string& Filename);

  TGIFPicture* GetImage() const { return image_; }

 protected:
  TGIFPicture* image_;
};

// A list of blocks, owned by the list.
class TGIFList : public TPersistent {
 public:
  explicit TGIFList(TGIFPicture* image) : image_(image) {}
  ~TGIFList() override { Clear(); }

  virtual void Warning(int Severity, const std::string& Message);
  virtual void SaveToStream(TStream* Stream);

  int GetCount() const { return static_cast<int>(items_.size()); }
  TGIFItem* GetItem(int Index) const;
  int Add(std::unique_ptr<TGIFItem> Item);
  // Frees the item.
  void Delete(int Index);
  // Hands the item back to the caller without freeing it; nullptr when it is not listed.
  std::unique_ptr<TGIFItem> Remove(TGIFItem* Item);
  int IndexOf(const TGIFItem* Item) const;
  // Frees every item, front first, in time linear in the count; the list is empty meanwhile.
  void Clear();
  TGIFPicture* GetImage() const { return image_; }

 protected:
  TGIFPicture* image_;

 private:
  std::vector<std::unique_ptr<TGIFItem>> items_;
};

// One colour table entry, in the file's order.
struct TGIFColor {
  std::uint8_t Red = 0;
  std::uint8_t Green = 0;
  std::uint8_t Blue = 0;
  friend bool operator==(const TGIFColor&, const TGIFColor&) = default;
};

// A colour table of up to 256 entries. Colours are exchanged as TColor values (red low).
class TGIFColorMap : public TPersistent {
 public:
  void Assign(const TPersistent* Source) override;

  virtual void Warning(int Severity, const std::string& Message) = 0;
  // Pixels of every frame that uses this table, per pixel value (all 256 values).
  virtual std::array<std::uint64_t, gif::kPixelValues> BuildHistogram() const = 0;
  // Rewrites the pixels of those frames through the table (and their transparent indices).
  virtual void MapImages(const std::array<std::uint8_t, gif::kPixelValues>& Map) = 0;
  // Sorts the entries by use, most used first, and drops unused ones; false for tables of at
  // most one entry.
  virtual bool Optimize();
  virtual void Changed() = 0;

  int GetCount() const { return count_; }
  int GetCapacity() const { return static_cast<int>(entries_.size()); }
  bool GetOptimized() const { return optimized_; }
  void SetOptimized(bool Value) { optimized_ = Value; }
  const TGIFColor* Data() const { return entries_.data(); }
  // sColorTableOverflow when the table is full.
  int Add(TColor Color);
  int AddUnique(TColor Color);
  // -1 when absent; without Optimized the highest equal index, with it the lowest.
  int IndexOf(TColor Color) const;
  // sInvalidColorIndex outside the table.
  void Delete(int Index);
  // Outside the table: warning sInvalidColorIndex and entry 0; an empty table raises.
  TColor GetColor(int Index);
  void SetColor(int Index, TColor Color);
  void Clear();
  int BitsPerPixel() const { return gif::ColorsToBitsPerPixel(count_); }

  void ImportPalette(win::HPALETTE Palette);
  // Entries in blue, green, red, reserved order (a DIB's colour table), at most 256.
  void ImportQuads(const std::vector<bmp::Quad>& Quads);
  // Nothing for an empty table; every entry has the no-collapse flag.
  win::HPALETTE ExportPalette() const;

  // Reads Count entries (sPrematureEndOfData when the stream is short).
  void LoadFromStream(TStream* Stream, int Count);
  // The entries, then black up to 2^BitsPerPixel entries; nothing for an empty table.
  void SaveToStream(TStream* Stream) const;

 protected:
  // The sort and remap shared by both kinds; Kept is an index whose entry survives the cut
  // (-1 for none). Answers the translation of old indices into new ones.
  std::array<std::uint8_t, gif::kPixelValues> OptimizeKeeping(int Kept);

 private:
  void SetCount(int Count);

  std::vector<TGIFColor> entries_;  // capacity entries, Count of them valid
  int count_ = 0;
  bool optimized_ = false;
};

// The table of the header; its frames are those without a local table.
class TGIFGlobalColorMap : public TGIFColorMap {
 public:
  explicit TGIFGlobalColorMap(TGIFHeader* Header) : header_(Header) {}
  void Warning(int Severity, const std::string& Message) override;
  std::array<std::uint64_t, gif::kPixelValues> BuildHistogram() const override;
  void MapImages(const std::array<std::uint8_t, gif::kPixelValues>& Map) override;
  // Keeps the background colour's entry and moves the header's index with it.
  bool Optimize() override;
  void Changed() override;

 private:
  TGIFHeader* header_;
};

class TGIFLocalColorMap : public TGIFColorMap {
 public:
  explicit TGIFLocalColorMap(TGIFSubImage* SubImage) : subimage_(SubImage) {}
  void Warning(int Severity, const std::string& Message) override;
  std::array<std::uint64_t, gif::kPixelValues> BuildHistogram() const override;
  void MapImages(const std::array<std::uint8_t, gif::kPixelValues>& Map) override;
  void Changed() override;

 private:
  TGIFSubImage* subimage_;
};

// Signature, logical screen descriptor and the global colour table.
class TGIFHeader : public TGIFItem {
 public:
  explicit TGIFHeader(TGIFPicture* image);
  // From a header: descriptor and colour map; from a colour map: cleared, then the map.
  void Assign(const TPersistent* Source) override;
  // gv89a when the global table is Optimized or the aspect ratio is not 0.
  TGIFVersion GetVersion() const override;
  void LoadFromStream(TStream* Stream) override;
  void SaveToStream(TStream* Stream) override;
  // Clears the colour map and zeroes the descriptor.
  void Clear();
  // Rebuilds the packed fields from the tables of the picture.
  void Prepare();

  TGIFGlobalColorMap* GetColorMap() { return &color_map_; }
  const TGIFGlobalColorMap* GetColorMap() const { return &color_map_; }
  std::uint16_t GetWidth() const { return width_; }
  void SetWidth(std::uint16_t Value) { width_ = Value; }
  std::uint16_t GetHeight() const { return height_; }
  void SetHeight(std::uint16_t Value) { height_ = Value; }
  std::uint8_t GetPackedFields() const { return packed_; }
  std::uint8_t GetBackgroundColorIndex() const { return background_index_; }
  void SetBackgroundColorIndex(std::uint8_t Value) { background_index_ = Value; }
  std::uint8_t GetAspectRatio() const { return aspect_ratio_; }
  void SetAspectRatio(std::uint8_t Value) { aspect_ratio_ = Value; }
  int GetBitsPerPixel() const { return color_map_.BitsPerPixel(); }
  int GetColorResolution() const { return color_map_.BitsPerPixel() - 1; }
  TColor GetBackgroundColor() { return color_map_.GetColor(background_index_); }
  // The three version characters as read.
  std::array<char, 3> GetVersionText() const { return version_; }

 private:
  std::array<char, 3> version_ = {};
  std::uint16_t width_ = 0;
  std::uint16_t height_ = 0;
  std::uint8_t packed_ = 0;
  std::uint8_t background_index_ = 0;
  std::uint8_t aspect_ratio_ = 0;
  TGIFGlobalColorMap color_map_;
};

class TGIFTrailer : public TGIFItem {
 public:
  using TGIFItem::TGIFItem;
  void SaveToStream(TStream* Stream) override;
  // A byte other than ";" gives the warning sInvalidTrailer; a missing one is accepted.
  void LoadFromStream(TStream* Stream) override;
};

// ---- Extensions ----

class TGIFExtension;
using TGIFExtensionClass = TClassOf<TGIFExtension, TGIFSubImage*>;

class TGIFExtension : public TGIFItem {
 public:
  explicit TGIFExtension(TGIFSubImage* ASubImage);
  TGIFVersion GetVersion() const override { return gv89a; }
  virtual std::uint8_t GetExtensionType() const = 0;
  // Reads "!" and the label (sInvalidExtensionIntroducer, sExtensionLabelMismatch).
  void LoadFromStream(TStream* Stream) override;
  // Writes "!" and the label.
  void SaveToStream(TStream* Stream) override;

  TGIFSubImage* GetSubImage() const { return subimage_; }

 private:
  TGIFSubImage* subimage_;  // not owned; owns the extension list that holds this extension
};

class TGIFGraphicControlExtension : public TGIFExtension {
 public:
  explicit TGIFGraphicControlExtension(TGIFSubImage* ASubImage);
  ~TGIFGraphicControlExtension() override;
  std::uint8_t GetExtensionType() const override { return gif::kGraphicControlLabel; }
  void LoadFromStream(TStream* Stream) override;
  void SaveToStream(TStream* Stream) override;

  bool GetTransparent() const { return (packed_ & gif::kControlTransparent) != 0; }
  // Also sets or clears the frame's Transparent flag.
  void SetTransparent(bool Value);
  std::uint8_t GetTransparentColorIndex() const { return transparent_index_; }
  // An index past the active table (when it has entries) warns sInvalidColorIndex and stores 0.
  void SetTransparentColorIndex(std::uint8_t Value);
  // The transparent colour of the frame's active table.
  TColor GetTransparentColor();
  std::uint16_t GetDelay() const { return delay_; }
  void SetDelay(std::uint16_t Value) { delay_ = Value; }
  bool GetUserInput() const { return (packed_ & gif::kControlUserInput) != 0; }
  void SetUserInput(bool Value);
  TDisposalMethod GetDisposal() const;
  void SetDisposal(TDisposalMethod Value);
  std::uint8_t GetPackedFields() const { return packed_; }
  std::uint8_t GetBlockSize() const { return block_size_; }

 private:
  std::uint8_t block_size_ = gif::kGraphicControlBlockSize;
  std::uint8_t packed_ = 0;
  std::uint16_t delay_ = 0;
  std::uint8_t transparent_index_ = 0;
  std::uint8_t terminator_ = 0;
};

// Plain text drawn over a grid of character cells.
class TGIFTextExtension : public TGIFExtension {
 public:
  explicit TGIFTextExtension(TGIFSubImage* ASubImage) : TGIFExtension(ASubImage) {}
  std::uint8_t GetExtensionType() const override { return gif::kTextExtensionLabel; }
  void LoadFromStream(TStream* Stream) override;
  void SaveToStream(TStream* Stream) override;

  TStringList* GetText() { return &text_; }
  std::uint8_t BlockSize = gif::kTextExtensionBlockSize;
  std::uint16_t Left = 0;
  std::uint16_t Top = 0;
  std::uint16_t GridWidth = 0;
  std::uint16_t GridHeight = 0;
  std::uint8_t CharWidth = 0;
  std::uint8_t CharHeight = 0;
  std::uint8_t ForegroundColorIndex = 0;
  std::uint8_t BackgroundColorIndex = 0;

 private:
  TStringList text_;
};

class TGIFCommentExtension : public TGIFExtension {
 public:
  explicit TGIFCommentExtension(TGIFSubImage* ASubImage) : TGIFExtension(ASubImage) {}
  std::uint8_t GetExtensionType() const override { return gif::kCommentExtensionLabel; }
  void LoadFromStream(TStream* Stream) override;
  // Writes nothing for a comment that holds no byte.
  void SaveToStream(TStream* Stream) override;
  TStringList* GetText() { return &text_; }

 private:
  TStringList text_;
};

class TGIFApplicationExtension : public TGIFExtension {
 public:
  using Identifier = std::array<std::uint8_t, gif::kAppBlockSize>;

  explicit TGIFApplicationExtension(TGIFSubImage* ASubImage) : TGIFExtension(ASubImage) {}
  std::uint8_t GetExtensionType() const override { return gif::kApplicationExtensionLabel; }
  void LoadFromStream(TStream* Stream) override;
  void SaveToStream(TStream* Stream) override;
  // The class that reads the application block at the stream position (which it moves).
  static std::optional<TGIFExtensionClass> FindExtensionClass(TStream* Stream);

  // Eight identifier bytes and three authentication bytes.
  Identifier GetIdentifier() const { return identifier_; }
  void SetIdentifier(const Identifier& Value) { identifier_ = Value; }
  std::uint8_t GetBlockSize() const { return block_size_; }

 protected:
  // The data sub-blocks after the identifier: skipped and written as none by this class.
  virtual void LoadData(TStream* Stream);
  virtual void SaveData(TStream* Stream);

 private:
  std::uint8_t block_size_ = gif::kAppBlockSize;
  Identifier identifier_{};
};

// One data sub-block kept as it was read.
class TGIFBlock : public TObject {
 public:
  std::vector<std::uint8_t> Data;  // 1..255 bytes
};

// An application extension whose data the codec does not know; kept and written back.
class TGIFUnknownAppExtension : public TGIFApplicationExtension {
 public:
  using TGIFApplicationExtension::TGIFApplicationExtension;
  const std::vector<std::unique_ptr<TGIFBlock>>& GetBlocks() const { return blocks_; }

 protected:
  void LoadData(TStream* Stream) override;
  void SaveData(TStream* Stream) override;

 private:
  std::vector<std::unique_ptr<TGIFBlock>> blocks_;
};

// The loop extension ("NETSCAPE2.0", also read as "ANIMEXTS1.0").
class TGIFAppExtNSLoop : public TGIFApplicationExtension {
 public:
  explicit TGIFAppExtNSLoop(TGIFSubImage* ASubImage);
  std::uint16_t Loops = 0;  // 0: for ever
  std::uint32_t BufferSize = 0;

 protected:
  void LoadData(TStream* Stream) override;
  void SaveData(TStream* Stream) override;
};

// ---- Lists ----

class TGIFExtensionList : public TGIFList {
 public:
  explicit TGIFExtensionList(TGIFSubImage* SubImage);
  TGIFExtension* GetExtension(int Index) const { return static_cast<TGIFExtension*>(GetItem(Index)); }
  // Reads the extensions before a frame's descriptor. One of a label that no class reads is
  // skipped with the warning sUnknownExtensionType; a stream ending inside it raises.
  void LoadFromStream(TStream* Stream, TGIFSubImage* Parent);

 private:
  TGIFSubImage* subimage_;
};

class TGIFFrameList : public TGIFList {
 public:
  using TGIFList::TGIFList;
  TGIFSubImage* GetFrame(int Index) const;
  // Reads the frames up to the trailer.
  void LoadFromStream(TStream* Stream, TGIFPicture* Parent);
};

// ---- Frames ----

class TGIFSubImage : public TGIFItem {
 public:
  explicit TGIFSubImage(TGIFPicture* image);
  ~TGIFSubImage() override;

  void Assign(const TPersistent* Source) override;
  TGIFVersion GetVersion() const override;
  void LoadFromStream(TStream* Stream) override;
  void SaveToStream(TStream* Stream) override;

  bool GetEmpty() const { return pixels_.empty() || width_ == 0 || height_ == 0; }
  // The local table when it has entries, else the global one when it has, else the local one.
  TGIFColorMap* GetActiveColorMap();
  TGIFLocalColorMap* GetColorMap() { return &color_map_; }
  TGIFExtensionList* GetExtensions() { return &extensions_; }
  int GetBitsPerPixel() const { return color_map_.BitsPerPixel(); }
  int GetColorResolution() const { return color_map_.BitsPerPixel() - 1; }

  int GetLeft() const { return left_; }
  int GetTop() const { return top_; }
  int GetWidth() const { return width_; }
  int GetHeight() const { return height_; }
  void SetLeft(int Value) { SetBounds(Value, top_, width_, height_); }
  void SetTop(int Value) { SetBounds(left_, Value, width_, height_); }
  void SetWidth(int Value) { SetBounds(left_, top_, Value, height_); }
  void SetHeight(int Value) { SetBounds(left_, top_, width_, Value); }
  // Values are clipped to 0..65535. A new size frees bitmap, mask and pixels and allocates zeroed
  // pixels; a frame past the picture's size grows the picture, with warnings.
  void SetBounds(int ALeft, int ATop, int AWidth, int AHeight);
  win::RECT GetBoundsRect() const;
  bool GetInterlaced() const { return (packed_ & gif::kImageInterlaced) != 0; }
  void SetInterlaced(bool Value);
  std::uint8_t GetPackedFields() const { return packed_; }
  bool GetTransparent() const { return transparent_; }
  void SetTransparent(bool Value) { transparent_ = Value; }
  TGIFGraphicControlExtension* GetGraphicControlExtension() const { return gce_; }
  void SetGraphicControlExtension(TGIFGraphicControlExtension* Value) { gce_ = Value; }

  // The colour index at (X, Y); sInvalidPixelCoordinates outside, sImageEmpty without pixels.
  std::uint8_t GetPixel(int X, int Y);
  void SetPixel(int X, int Y, std::uint8_t Value);
  std::uint8_t* GetScanline(int Y);
  const std::vector<std::uint8_t>& GetData() const { return pixels_; }
  std::size_t GetDataSize() const { return pixels_.size(); }

  // Built on demand from the pixels; owned by the frame. nullptr for an empty frame.
  TBitmap* GetBitmap();
  // Builds bitmap and mask when needed; true when the frame has a mask.
  bool HasMask();
  win::HBITMAP GetMask() const { return mask_.Get(); }
  win::HPALETTE GetPalette();
  void SetPalette(win::HPALETTE Value);

  // The frame at its place in a rectangle that shows the whole picture (scaled), or tiled over
  // the rectangle; through its mask when DoTransparent and the frame is transparent.
  void Draw(TCanvas* ACanvas, const win::RECT& ARect, bool DoTransparent, bool DoTile);
  // The frame stretched over the whole rectangle, or with DoTile drawn at its own size from its
  // offset in the rectangle, repeated in steps of the picture's size; masked as Draw is.
  void StretchDraw(TCanvas* ACanvas, const win::RECT& ARect, bool DoTransparent, bool DoTile);
  // Trims the transparent borders of a transparent frame.
  void Crop();
  void Clear();
  // Frees bitmap and mask (the mask is made again when next needed).
  void FreeBitmap();

 protected:
  void AssignTo(TPersistent* Dest) const override;

 private:
  friend class TGIFLocalColorMap;
  friend class TGIFGlobalColorMap;
  void Decompress(TStream* Stream);
  void AllocatePixels(std::uint8_t Fill);
  void FreePixels();
  void FreeMask();
  void BuildBitmap();
  void BuildMask();
  void AssignSubImage(const TGIFSubImage* Source);
  void AssignBitmap(TBitmap* Source);
  void AssignIcon(TIcon* Source);
  // Gives pixels set in the mask a new black entry of the local table and adds a graphic
  // control extension naming it transparent.
  void MakeTransparentFromMask(TBitmap* Mask);
  void CheckPixelAccess(int X, int Y);

  std::uint16_t left_ = 0;
  std::uint16_t top_ = 0;
  std::uint16_t width_ = 0;
  std::uint16_t height_ = 0;
  std::uint8_t packed_ = 0;
  std::vector<std::uint8_t> pixels_;
  TGIFLocalColorMap color_map_;
  TGIFExtensionList extensions_;
  bool transparent_ = false;
  TGIFGraphicControlExtension* gce_ = nullptr;  // one of extensions_, or none
  std::unique_ptr<TBitmap> bitmap_;
  win::ScopedGdiObject<win::HBITMAP> mask_;
  bool needs_mask_ = true;
  win::ScopedGdiObject<win::HPALETTE> palette_;
};

namespace gif {

// The render-on-load switch: frames build their bitmaps as they load (off by default).
bool GetRenderOnLoad();
void SetRenderOnLoad(bool Value);

// The registries of extension classes by label and of application-extension classes by
// identifier; filled on first use, freed at unit end.
void RegisterExtension(std::uint8_t Label, TGIFExtensionClass Class);
std::optional<TGIFExtensionClass> FindExtension(std::uint8_t Label);
void RegisterAppExtension(const TGIFApplicationExtension::Identifier& Ident, TGIFExtensionClass Class);
std::optional<TGIFExtensionClass> FindAppExtension(const TGIFApplicationExtension::Identifier& Ident);
void FreeExtensionRegistries();
// The class that should read the extension at the stream position; the position is kept.
std::optional<TGIFExtensionClass> FindExtensionClass(TStream* Stream);

}  // namespace gif
}  // namespace dashtune
