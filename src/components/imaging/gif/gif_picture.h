// TGIFPicture: the GIF picture of the graphics classes. It owns the header and the frames of a GIF
// stream, draws the shown frame (stretched or tiled, through its transparency mask), converts
// other graphics into frames, reports warnings and progress, and registers itself with the
// picture container for ".gif" files and the "GIF Image" clipboard format.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "classlib/set.h"
#include "classlib/threads.h"
#include "components/imaging/gif/gif_blocks.h"
#include "components/imaging/gif/gif_reduction.h"

namespace dashtune {

class TGIFPainter;

enum TGIFDrawOptionBit : int {
  doThreaded,         // animations are painted by a painter thread
  doTransparent,      // transparent frames are drawn through their masks
  doAnimate,          // pictures of several frames are animated
  doLoop,             // the animation repeats
  doLoopForever,      // repeat without end, whatever the loop count
  doCheckCanvas,      // a buffered painter stops when its target context is gone
  doDirect,           // the painter draws straight onto the caller's canvas
  doClearOnStart,     // the frame area is cleared whenever the animation restarts
  doTile,             // the picture is tiled over the target rectangle instead of stretched
  doDither,           // frames are rendered dithered to the 216-colour halftone palette
  doDitherOnPalette,  // with doDither, dither only on palette displays
};
using TGIFDrawOptions = Set<TGIFDrawOptionBit>;

enum TGIFOptimizeOption : int {
  ooCrop,          // crop transparent frames and drop frames that become empty
  ooMerge,         // make pixels that repeat the frame below transparent
  ooCleanup,       // drop unused transparency, needless disposal, empty extensions and frames
  ooColorMap,      // optimise the global and every local colour table
  ooReduceColors,  // only the reduction method is checked
};
using TGIFOptimizeOptions = Set<TGIFOptimizeOption>;

using TGIFWarning = std::function<void(TObject* Sender, int Severity, const std::string& Message)>;

class TGIFPicture : public TGraphic {
 public:
  TGIFPicture();
  ~TGIFPicture() override;

  void Assign(const TPersistent* Source) override;
  void Draw(TCanvas* ACanvas, const win::RECT& Rect) override;
  // True only for the same object.
  bool Equals(TGraphic* Graphic) override { return Graphic == this; }
  bool GetEmpty() const override { return images_.GetCount() == 0; }
  int GetHeight() const override { return header_.GetHeight(); }
  int GetWidth() const override { return header_.GetWidth(); }
  win::HPALETTE GetPalette() const override;
  // sHeightTooSmall (raised) when a frame reaches past the new height.
  void SetHeight(int Value) override;
  void SetPalette(win::HPALETTE Value) override;
  // sWidthTooSmall (raised) when a frame reaches past the new width.
  void SetWidth(int Value) override;

  void LoadFromStream(TStream* Stream) override;
  void SaveToStream(TStream* Stream) override;
  // With the optimise-on-store switch set, optimises the picture with every option first.
  void WriteData(TStream* Stream) override;
  void LoadFromClipboardFormat(std::uint16_t AFormat, win::HANDLE AData, win::HPALETTE APalette) override;
  void SaveToClipboardFormat(std::uint16_t& AFormat, win::HANDLE& AData, win::HPALETTE& APalette) override;

  // Passes a warning of the codec to OnWarning.
  virtual void Warning(TObject* Sender, int Severity, const std::string& Message);
  // Raises OnProgress with this picture as sender.
  void ReportProgress(TProgressStage Stage, int Percent, bool RedrawNow, std::string_view Message);

  // Stops the painters and waits for them; frees the frames, the bitmap and the palette and
  // zeroes the screen.
  void Clear();
  // Makes the picture smaller without changing what it shows; stops the painters first. With
  // ooReduceColors but without ooCleanup, TColorReduction::crCustomPalette raises sInvalidReductionMethod.
  void Optimize(TGIFOptimizeOptions Options, TColorReduction ColorReduction, TDitherMode DitherMode,
                int ReductionBits);
  // A frame of this picture is added as it is (the picture takes it); a frame of another picture
  // is copied, and any other graphic is converted, into a new frame; anything else raises
  // sUnsupportedObject. Answers the frame's index.
  int Add(const TPersistent* Source);
  int Add(std::unique_ptr<TGIFSubImage> Source);

  TGIFFrameList* GetImages() { return &images_; }
  TGIFHeader* GetHeader() { return &header_; }
  const TGIFHeader* GetHeader() const { return &header_; }
  // The rendered picture: the animation buffer while a painter draws into it, else the first frame
  // at the screen's size; nullptr when empty.
  TBitmap* GetBitmap();
  // The painter of the last Draw while it runs, else nullptr.
  TGIFPainter* GetPainter() const { return painter_; }

  TGIFDrawOptions GetDrawOptions() const { return draw_options_; }
  void SetDrawOptions(TGIFDrawOptions Value) { draw_options_ = Value; }
  TColorReduction GetColorReduction() const { return color_reduction_; }
  void SetColorReduction(TColorReduction Value) { color_reduction_ = Value; }
  int GetReductionBits() const { return reduction_bits_; }
  // Clipped to 1..8 bits (2 to 256 colours).
  void SetReductionBits(int Value);
  TDitherMode GetDitherMode() const { return dither_mode_; }
  void SetDitherMode(TDitherMode Value) { dither_mode_ = Value; }
  std::uint8_t GetCompression() const { return compression_; }
  void SetCompression(std::uint8_t Value) { compression_ = Value; }
  TThreadPriority GetThreadPriority() const { return thread_priority_; }
  void SetThreadPriority(TThreadPriority Value) { thread_priority_ = Value; }
  int GetAnimationSpeed() const { return animation_speed_; }
  void SetAnimationSpeed(int Value) { animation_speed_ = Value; }
  int GetShownFrame() const { return shown_frame_; }
  void SetShownFrame(int Value) { shown_frame_ = Value; }
  TColor GetBackgroundColor() const { return background_color_; }
  void SetBackgroundColor(TColor Value) { background_color_ = Value; }
  // True when frames are rendered dithered: doDither, and a palette display unless only
  // doDither is wanted.
  bool GetDoDither() const;
  // The highest colour resolution of the global and every local table.
  int GetColorResolution() const;
  // The version the picture needs: the highest of its frames (sUnsupportedVersion without frames).
  TGIFVersion GetVersion() const;
  // Frame pixels held by all frames; the codec refuses more than gif::kMaxPicturePixels.
  std::uint64_t GetPixelsHeld() const { return pixels_held_; }

  TGIFWarning OnWarning;  // raised only when assigned
  TNotifyEvent OnPaintStart;
  TNotifyEvent OnFramePaint;
  TNotifyEvent OnFramePainted;
  TNotifyEvent OnLoopRestart;
  TNotifyEvent OnPaintEnd;

 protected:
  void AssignTo(TPersistent* Dest) const override;

 private:
  friend class TGIFPainter;
  friend class TGIFSubImage;
  friend class TGIFFrameList;
  friend class TGIFGlobalColorMap;
  void AssignPicture(const TGIFPicture* Source);
  void DrawAnimated(TCanvas* ACanvas, const win::RECT& Rect);
  // Bitmap stretched into the rectangle, or tiled in steps of the picture's size.
  void DrawBitmap(TCanvas* ACanvas, const win::RECT& Rect);
  // The size Bitmap has: the screen's, or the first frame's extent for a screen of size 0.
  win::SIZE BitmapSize();
  // Stops the painter of the last Draw (or every painter) and waits for threaded ones, running the
  // main thread's synchronised calls meanwhile; then frees Bitmap.
  void StopPainter();
  void StopPainters();
  // Calls Stop under the painter list's lock until it answers that nothing is left to wait for.
  void StopAndWait(const std::function<bool()>& Stop);
  // Stops a painter and waits for it, unless its own synchronised call runs now (the caller is
  // inside one of its events): then the painter is cut loose from the picture instead.
  bool StopOrDetach(TGIFPainter* Painter);
  void FreeBitmap();
  void PaletteChanged();
  // Frames account for their pixel buffers here; a total past the limit raises EOutOfMemory.
  void AccountPixels(std::uint64_t Added, std::uint64_t Removed);
  void StreamProgress(TStream* Stream);

  TThreadList painters_;  // every running painter, guarded by its lock
  TGIFPainter* painter_ = nullptr;
  TGIFFrameList images_;
  TGIFHeader header_;
  mutable win::ScopedGdiObject<win::HPALETTE> palette_;  // built on demand
  mutable bool in_palette_ = false;
  bool drawing_ = false;
  std::unique_ptr<TBitmap> bitmap_;
  TGIFDrawOptions draw_options_;
  TColorReduction color_reduction_ = TColorReduction::crWebPalette;
  int reduction_bits_ = 8;
  TDitherMode dither_mode_ = ditherNearest;
  std::uint8_t compression_ = 0;
  TThreadPriority thread_priority_ = tpNormal;
  int animation_speed_ = 100;
  int shown_frame_ = -1;
  TColor background_color_ = clNone;
  std::uint64_t pixels_held_ = 0;
};

namespace gif {
// The optimise-on-store switch: WriteData optimises first (off by default).
bool GetOptimizeOnStore();
void SetOptimizeOnStore(bool Value);
// The clipboard format "GIF Image", registered at unit start.
std::uint16_t ClipboardFormat();
// True when the display has at most 8 bits per pixel: read at unit start, and again by
// ReadDisplayDepth after the display changes.
bool PaletteDisplay();
// Whether the display calls for dithering of its own accord: set and cleared with PaletteDisplay.
bool AutoDither();
void ReadDisplayDepth();

// Progress of one piece of work: "starting" when made, "ending" when it goes (100 % after Done,
// 0 % while an exception passes), and "running" every 32 rows in between.
class ProgressScope {
 public:
  ProgressScope(TGIFPicture* Picture, std::string_view Message);  // Picture: nullptr reports nothing
  ~ProgressScope();
  ProgressScope(const ProgressScope&) = delete;
  ProgressScope& operator=(const ProgressScope&) = delete;
  void Row(int Row, int Height);
  void Done() { done_ = true; }

 private:
  static constexpr int kProgressRowStep = 32;
  TGIFPicture* picture_;
  std::string_view message_;
  bool done_ = false;
};
}  // namespace gif

}  // namespace dashtune
