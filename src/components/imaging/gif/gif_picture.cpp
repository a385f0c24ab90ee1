#include "components/imaging/gif/gif_picture.h"

#include <algorithm>
#include <limits>

#include "classlib/clipboard.h"
#include "classlib/units.h"
#include "components/imaging/gif/gif_painter.h"
#include "platform/core/mul_div.h"
#include "platform/core/wait.h"
#include "platform/gdi/dc_access.h"
#include "platform/gdi/gdi.h"
#include "platform/ole/clipboard.h"
#include "platform/ole/global_memory.h"

namespace dashtune {
namespace {

constexpr std::string_view kFileExtension = "GIF";
constexpr std::string_view kFormatName = "GIF Image";
// Displays of at most this many bits per pixel use palettes.
constexpr int kPaletteDisplayBits = 8;

struct UnitState {
  std::uint16_t clipboard_format = 0;
  bool palette_display = false;
  bool auto_dither = false;
  bool optimize_on_store = false;
  bool render_on_load = false;
};

UnitState& State() {
  static UnitState state;
  return state;
}

TGIFDrawOptions DefaultDrawOptions() {
  return TGIFDrawOptions{doThreaded, doTransparent, doAnimate, doLoop, doDither, doDitherOnPalette};
}

void InitializeUnit() {
  TPicture::RegisterFileFormat(std::string(kFileExtension), std::string(kFormatName),
                               TGraphicClass::Of<TGIFPicture>());
  State().clipboard_format = static_cast<std::uint16_t>(win::RegisterClipboardFormatA(std::string(kFormatName).c_str()));
  TPicture::RegisterClipboardFormat(State().clipboard_format, TGraphicClass::Of<TGIFPicture>());
  gif::ReadDisplayDepth();
}

void FinalizeUnit() {
  gif::FreeExtensionRegistries();
  TPicture::UnregisterGraphicClass(TGraphicClass::Of<TGIFPicture>());
}

const TUnitRegistration kGifCodecUnit("GifCodec", unit_order::kGifCodec, InitializeUnit, FinalizeUnit);

int ClampToInt(std::int64_t value) {
  return static_cast<int>(std::clamp<std::int64_t>(value, 0, std::numeric_limits<int>::max()));
}

}  // namespace

namespace gif {

std::uint16_t ClipboardFormat() { return State().clipboard_format; }
bool PaletteDisplay() { return State().palette_display; }
bool AutoDither() { return State().auto_dither; }

void ReadDisplayDepth() {
  const win::ScopedGdiObject<win::HDC> dc(win::gdi::CreateScreenDC());
  const int bits = win::GetDeviceCaps(dc.Get(), win::BITSPIXEL) * win::GetDeviceCaps(dc.Get(), win::PLANES);
  State().palette_display = bits <= kPaletteDisplayBits;
  State().auto_dither = State().palette_display;
}

bool GetRenderOnLoad() { return State().render_on_load; }
bool GetOptimizeOnStore() { return State().optimize_on_store; }
void SetOptimizeOnStore(bool Value) { State().optimize_on_store = Value; }

ProgressScope::ProgressScope(TGIFPicture* Picture, std::string_view Message) : picture_(Picture), message_(Message) {
  if (picture_ != nullptr) picture_->ReportProgress(psStarting, 0, false, message_);
}

ProgressScope::~ProgressScope() {
  if (picture_ == nullptr) return;
  try {
    picture_->ReportProgress(psEnding, done_ ? 100 : 0, true, message_);
  } catch (...) {
    // A handler that raises while another exception passes cannot be heard.
  }
}

void ProgressScope::Row(int Row, int Height) {
  if (picture_ != nullptr && Row % kProgressRowStep == 0)
    picture_->ReportProgress(psRunning, win::MulDiv(Row, 100, Height), false, message_);
}
void SetRenderOnLoad(bool Value) { State().render_on_load = Value; }

}  // namespace gif

TGIFPicture::TGIFPicture() : images_(this), header_(this), draw_options_(DefaultDrawOptions()) { Clear(); }

TGIFPicture::~TGIFPicture() {
  StopPainters();
  // What is left are painters inside Draw or inside their own events: they outlive the picture.
  TList* painters = painters_.LockList();
  for (int i = 0; i < painters->GetCount(); ++i) static_cast<TGIFPainter*>(painters->Get(i))->DetachPicture();
  painters->Clear();
  painters_.UnlockList();
  painter_ = nullptr;
  images_.Clear();
}

void TGIFPicture::Warning(TObject* Sender, int Severity, const std::string& Message) {
  if (OnWarning) OnWarning(Sender, Severity, Message);
}

void TGIFPicture::ReportProgress(TProgressStage Stage, int Percent, bool RedrawNow, std::string_view Message) {
  Progress(this, Stage, static_cast<std::uint8_t>(std::clamp(Percent, 0, 100)), RedrawNow, win::RECT{},
           std::string(Message));
}

void TGIFPicture::StreamProgress(TStream* Stream) {
  const int percent = win::MulDiv(ClampToInt(Stream->GetPosition()), 100, ClampToInt(Stream->GetSize()));
  ReportProgress(psRunning, percent, gif::GetRenderOnLoad(), gif::sProgressLoading);
}

void TGIFPicture::AccountPixels(std::uint64_t Added, std::uint64_t Removed) {
  const std::uint64_t held = pixels_held_ - std::min(Removed, pixels_held_);
  if (Added > gif::kMaxPicturePixels - std::min(held, gif::kMaxPicturePixels))
    throw EOutOfMemory(std::string(gif::sOutOfMemoryDIB));
  pixels_held_ = held + Added;
}

// ---- Settings and derived values ----

void TGIFPicture::SetReductionBits(int Value) { reduction_bits_ = std::clamp(Value, 1, 8); }

bool TGIFPicture::GetDoDither() const {
  return draw_options_.Contains(doDither) && (!draw_options_.Contains(doDitherOnPalette) || gif::PaletteDisplay());
}

int TGIFPicture::GetColorResolution() const {
  int resolution = header_.GetColorResolution();
  for (int i = 0; i < images_.GetCount(); ++i)
    resolution = std::max(resolution, images_.GetFrame(i)->GetColorResolution());
  return resolution;
}

TGIFVersion TGIFPicture::GetVersion() const {
  if (images_.GetCount() == 0) gif::RaiseGIFError(gif::sUnsupportedVersion);
  TGIFVersion version = gv87a;
  for (int i = 0; i < images_.GetCount() && version < gv89a; ++i)
    version = std::max(version, images_.GetFrame(i)->GetVersion());
  return version;
}

// ---- Streams ----

void TGIFPicture::LoadFromStream(TStream* Stream) {
  gif::ProgressScope progress(this, gif::sProgressLoading);
  Clear();
  header_.LoadFromStream(Stream);
  images_.LoadFromStream(Stream, this);
  TGIFTrailer trailer(this);
  trailer.LoadFromStream(Stream);
  progress.Done();
}

void TGIFPicture::WriteData(TStream* Stream) {
  if (gif::GetOptimizeOnStore())
    Optimize(TGIFOptimizeOptions{ooCrop, ooMerge, ooCleanup, ooColorMap, ooReduceColors}, TColorReduction::crNone, ditherNearest,
             reduction_bits_);
  TGraphic::WriteData(Stream);
}

void TGIFPicture::SaveToStream(TStream* Stream) {
  gif::ProgressScope progress(this, gif::sProgressSaving);
  header_.SaveToStream(Stream);
  const int count = images_.GetCount();
  for (int i = 0; i < count; ++i) {
    images_.GetFrame(i)->SaveToStream(Stream);
    ReportProgress(psRunning, win::MulDiv(i + 1, 100, count), false, gif::sProgressSaving);
  }
  TGIFTrailer(this).SaveToStream(Stream);
  progress.Done();
}

// ---- Frames ----

void TGIFPicture::Clear() {
  StopPainters();
  images_.Clear();
  header_.GetColorMap()->Clear();
  header_.SetWidth(0);
  header_.SetHeight(0);
  header_.Prepare();
  SetPalette(nullptr);
}

int TGIFPicture::Add(std::unique_ptr<TGIFSubImage> Source) {
  if (Source == nullptr || Source->GetImage() != this) gif::RaiseGIFError(gif::sUnsupportedObject);
  const int index = images_.Add(std::move(Source));
  FreeBitmap();
  Changed(this);
  return index;
}

int TGIFPicture::Add(const TPersistent* Source) {
  if (dynamic_cast<const TGIFSubImage*>(Source) == nullptr && dynamic_cast<const TGraphic*>(Source) == nullptr)
    gif::RaiseGIFError(gif::sUnsupportedObject);
  auto frame = std::make_unique<TGIFSubImage>(this);
  frame->Assign(Source);
  return Add(std::move(frame));
}

// ---- Size and palette ----

void TGIFPicture::SetWidth(int Value) {
  for (int i = 0; i < images_.GetCount(); ++i) {
    const TGIFSubImage* frame = images_.GetFrame(i);
    if (frame->GetLeft() + frame->GetWidth() > Value) gif::RaiseGIFError(gif::sWidthTooSmall);
  }
  header_.SetWidth(static_cast<std::uint16_t>(std::clamp(Value, 0, 0xFFFF)));
  FreeBitmap();
  Changed(this);
}

void TGIFPicture::SetHeight(int Value) {
  for (int i = 0; i < images_.GetCount(); ++i) {
    const TGIFSubImage* frame = images_.GetFrame(i);
    if (frame->GetTop() + frame->GetHeight() > Value) gif::RaiseGIFError(gif::sHeightTooSmall);
  }
  header_.SetHeight(static_cast<std::uint16_t>(std::clamp(Value, 0, 0xFFFF)));
  FreeBitmap();
  Changed(this);
}

win::HPALETTE TGIFPicture::GetPalette() const {
  // A frame without a table asks the picture, which may ask its first frame again.
  if (in_palette_) gif::RaiseGIFError(gif::sNoColorTable);
  in_palette_ = true;
  struct Reset {
    bool& flag;
    ~Reset() { flag = false; }
  } reset{in_palette_};
  if (bitmap_ && bitmap_->GetPalette() != nullptr) return bitmap_->GetPalette();
  if (palette_) return palette_.Get();
  if (GetDoDither()) {
    palette_.Reset(gif::WebPalette());
    return palette_.Get();
  }
  if (header_.GetColorMap()->GetCount() > 0) {
    palette_.Reset(header_.GetColorMap()->ExportPalette());
    return palette_.Get();
  }
  if (images_.GetCount() > 0) return images_.GetFrame(0)->GetPalette();
  return nullptr;
}

void TGIFPicture::SetPalette(win::HPALETTE Value) {
  if (Value == palette_.Get()) return;
  palette_.Reset(Value);
  if (bitmap_ && bitmap_->GetPalette() != Value) {
    FreeBitmap();
    SetPaletteModified(true);
    Changed(this);
  }
}

void TGIFPicture::PaletteChanged() { SetPalette(nullptr); }

// ---- Rendering and drawing ----

void TGIFPicture::FreeBitmap() {
  // The painter of the last Draw may paint into Bitmap: it stops first.
  if (bitmap_ && painter_ != nullptr && painter_->GetCanvas() == bitmap_->GetCanvas()) StopPainter();
  bitmap_.reset();
}

win::SIZE TGIFPicture::BitmapSize() {
  const TGIFSubImage* first = images_.GetFrame(0);
  return win::SIZE{GetWidth() > 0 ? GetWidth() : first->GetLeft() + first->GetWidth(),
                   GetHeight() > 0 ? GetHeight() : first->GetTop() + first->GetHeight()};
}

TBitmap* TGIFPicture::GetBitmap() {
  if (bitmap_ || GetEmpty()) return bitmap_.get();
  TGIFSubImage* first = images_.GetFrame(0);
  const auto [width, height] = BitmapSize();
  if (width <= 0 || height <= 0) return nullptr;
  gif::CheckedPixelCount(static_cast<std::uint64_t>(width), static_cast<std::uint64_t>(height));
  auto bitmap = std::make_unique<TBitmap>();
  if (first->GetLeft() == 0 && first->GetTop() == 0 && first->GetWidth() == width && first->GetHeight() == height &&
      first->GetBitmap() != nullptr) {
    bitmap->Assign(first->GetBitmap());
  } else {
    bitmap->SetPalette(gif::CopyPalette(GetPalette()));
    bitmap->SetSize(width, height);
    first->Draw(bitmap->GetCanvas(), win::RECT{0, 0, width, height}, false, false);
  }
  bitmap->OnChange = [this](TObject*) { Changed(this); };
  bitmap_ = std::move(bitmap);
  return bitmap_.get();
}

void TGIFPicture::Draw(TCanvas* ACanvas, const win::RECT& Rect) {
  if (drawing_ || GetEmpty()) return;
  drawing_ = true;
  struct Reset {
    bool& flag;
    ~Reset() { flag = false; }
  } reset{drawing_};
  if (images_.GetCount() > 1 && draw_options_.Contains(doAnimate)) {
    DrawAnimated(ACanvas, Rect);
    return;
  }
  const int shown = shown_frame_ >= 0 && shown_frame_ < images_.GetCount() ? shown_frame_ : 0;
  images_.GetFrame(shown)->Draw(ACanvas, Rect, draw_options_.Contains(doTransparent), draw_options_.Contains(doTile));
}

void TGIFPicture::DrawBitmap(TCanvas* ACanvas, const win::RECT& Rect) {
  TBitmap* bitmap = bitmap_.get();
  if (bitmap == nullptr) return;
  if (!draw_options_.Contains(doTile)) {
    ACanvas->StretchDraw(Rect, bitmap);
    return;
  }
  // A picture of size 0 draws one tile.
  const int step_x = GetWidth(), step_y = GetHeight();
  for (int x = Rect.left; x < Rect.right; x += step_x) {
    for (int y = Rect.top; y < Rect.bottom; y += step_y) {
      ACanvas->Draw(x, y, bitmap);
      if (step_y <= 0) break;
    }
    if (step_x <= 0) break;
  }
}

void TGIFPicture::DrawAnimated(TCanvas* ACanvas, const win::RECT& Rect) {
  const bool direct = draw_options_.Contains(doDirect);
  if (bitmap_ && !direct) {
    DrawBitmap(ACanvas, Rect);
    return;
  }
  painters_.LockList();
  struct Unlock {
    TThreadList& list;
    ~Unlock() { list.UnlockList(); }
  } unlock{painters_};
  if (painter_ != nullptr && painter_->GetCanvas() == ACanvas && painter_->GetRect().left == Rect.left &&
      painter_->GetRect().top == Rect.top && painter_->GetRect().right == Rect.right &&
      painter_->GetRect().bottom == Rect.bottom)
    return;
  StopPainter();
  TCanvas* target = ACanvas;
  win::RECT target_rect = Rect;
  if (!direct) {
    // The painter draws into Bitmap over a copy of what lies under the picture.
    const auto [width, height] = BitmapSize();
    gif::CheckedPixelCount(static_cast<std::uint64_t>(std::max(width, 0)), static_cast<std::uint64_t>(std::max(height, 0)));
    auto bitmap = std::make_unique<TBitmap>();
    bitmap->SetPalette(gif::CopyPalette(GetPalette()));
    bitmap->SetSize(width, height);
    target_rect = win::RECT{0, 0, width, height};
    bitmap->GetCanvas()->CopyRect(target_rect, ACanvas, Rect);
    bitmap->OnChange = [this](TObject*) { Changed(this); };
    bitmap_ = std::move(bitmap);
    target = bitmap_->GetCanvas();
  }
  TGIFPainter* painter = TGIFPainter::Start(this, target, target_rect);
  if (direct) return;
  while (painter != nullptr && painter_ == painter && !painter->GetPainted()) {
    CheckSynchronize();
    win::Sleep(0);
  }
  DrawBitmap(ACanvas, Rect);
}

// ---- Painters ----

bool TGIFPicture::StopOrDetach(TGIFPainter* Painter) {
  if (!Painter->GetInSynchronizedCall()) {
    Painter->Stop();
    return Painter->GetThreaded();
  }
  painters_.Remove(Painter);
  if (painter_ == Painter) painter_ = nullptr;
  Painter->DetachPicture();
  return false;
}

void TGIFPicture::StopAndWait(const std::function<bool()>& Stop) {
  for (;;) {
    painters_.LockList();
    const bool wait = Stop();
    painters_.UnlockList();
    if (!wait) break;
    // Painters blocked in a synchronised call end once the main thread runs it.
    if (IsMainThread()) {
      while (CheckSynchronize()) {
      }
    }
    win::Sleep(0);
  }
  bitmap_.reset();
}

void TGIFPicture::StopPainter() {
  StopAndWait([this] { return painter_ != nullptr && StopOrDetach(painter_); });
}

void TGIFPicture::StopPainters() {
  StopAndWait([this] {
    TList* painters = painters_.LockList();
    bool wait = false;
    for (int i = painters->GetCount() - 1; i >= 0; --i)
      if (StopOrDetach(static_cast<TGIFPainter*>(painters->Get(i)))) wait = true;
    painters_.UnlockList();
    return wait;
  });
}

// ---- Assignment ----

void TGIFPicture::Assign(const TPersistent* Source) {
  if (Source == this) return;
  if (Source == nullptr) {
    Clear();
  } else if (const auto* picture = dynamic_cast<const TGIFPicture*>(Source)) {
    AssignPicture(picture);
  } else if (dynamic_cast<const TGraphic*>(Source) != nullptr) {
    Clear();
    Add(Source);
  } else {
    TGraphic::Assign(Source);
  }
}

void TGIFPicture::AssignPicture(const TGIFPicture* Source) {
  Clear();
  // The copy reports through the source's handlers; this picture's own come back afterwards.
  struct Handlers {
    TGIFPicture* picture;
    TProgressEvent progress;
    TGIFWarning warning;
    ~Handlers() {
      picture->OnProgress = std::move(progress);
      picture->OnWarning = std::move(warning);
    }
  } own{this, OnProgress, OnWarning};
  OnProgress = Source->OnProgress;
  OnWarning = Source->OnWarning;
  gif::ProgressScope progress(this, gif::sProgressCopying);
  header_.Assign(&Source->header_);
  thread_priority_ = Source->thread_priority_;
  background_color_ = Source->background_color_;
  draw_options_ = Source->draw_options_;
  color_reduction_ = Source->color_reduction_;
  dither_mode_ = Source->dither_mode_;
  shown_frame_ = Source->shown_frame_;
  OnPaintStart = Source->OnPaintStart;
  OnFramePaint = Source->OnFramePaint;
  OnFramePainted = Source->OnFramePainted;
  OnLoopRestart = Source->OnLoopRestart;
  OnPaintEnd = Source->OnPaintEnd;
  const int count = Source->images_.GetCount();
  for (int i = 0; i < count; ++i) {
    auto frame = std::make_unique<TGIFSubImage>(this);
    frame->Assign(Source->images_.GetFrame(i));
    images_.Add(std::move(frame));
    ReportProgress(psRunning, win::MulDiv(i + 1, 100, count), false, gif::sProgressCopying);
  }
  progress.Done();
}

void TGIFPicture::AssignTo(TPersistent* Dest) const {
  if (auto* bitmap = dynamic_cast<TBitmap*>(Dest)) {
    bitmap->Assign(const_cast<TGIFPicture*>(this)->GetBitmap());
    return;
  }
  TGraphic::AssignTo(Dest);
}

// ---- Clipboard ----

void TGIFPicture::LoadFromClipboardFormat(std::uint16_t AFormat, win::HANDLE AData, win::HPALETTE APalette) {
  if (AData == nullptr) AData = Clipboard()->GetAsHandle(AFormat);
  if (AFormat == gif::ClipboardFormat() && AFormat != 0) {
    const auto memory = static_cast<win::HGLOBAL>(AData);
    const void* data = win::GlobalLock(memory);
    if (data == nullptr) throw EInvalidGraphic(graphics::SUnknownClipboardFormat);
    TMemoryStream stream;
    try {
      stream.WriteBuffer(data, ClampToInt(static_cast<std::int64_t>(win::GlobalSize(memory))));
    } catch (...) {
      win::GlobalUnlock(memory);
      throw;
    }
    win::GlobalUnlock(memory);
    stream.SetPosition(0);
    LoadFromStream(&stream);
  } else if (AFormat == win::CF_BITMAP) {
    TBitmap bitmap;
    bitmap.LoadFromClipboardFormat(AFormat, AData, APalette);
    Assign(&bitmap);
  } else {
    throw EInvalidGraphic(graphics::SUnknownClipboardFormat);
  }
}

void TGIFPicture::SaveToClipboardFormat(std::uint16_t& AFormat, win::HANDLE& AData, win::HPALETTE& APalette) {
  if (GetEmpty()) return;
  GetBitmap()->SaveToClipboardFormat(AFormat, AData, APalette);
  TMemoryStream stream;
  SaveToStream(&stream);
  const auto size = static_cast<win::SIZE_T>(stream.GetSize());
  const win::HGLOBAL memory = win::GlobalAlloc(win::GMEM_MOVEABLE, size);
  void* data = memory != nullptr ? win::GlobalLock(memory) : nullptr;
  if (data == nullptr) {
    if (memory != nullptr) win::GlobalFree(memory);
    gif::RaiseGIFError(gif::sClipboardStoreFailed);
  }
  stream.SetPosition(0);
  stream.ReadBuffer(data, static_cast<int>(size));
  win::GlobalUnlock(memory);
  win::HANDLE placed = nullptr;
  TClipboard* clipboard = Clipboard();
  try {
    clipboard->Open();
    placed = win::SetClipboardData(gif::ClipboardFormat(), memory);
    clipboard->Close();
  } catch (const Exception&) {
    placed = nullptr;
  }
  if (placed == nullptr) {
    win::GlobalFree(memory);
    gif::RaiseGIFError(gif::sClipboardStoreFailed);
  }
}

}  // namespace dashtune
