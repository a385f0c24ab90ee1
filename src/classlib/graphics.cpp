#include "classlib/graphics.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "classlib/bitmap.h"
#include "classlib/form.h"
#include "platform/core/mul_div.h"
#include "platform/gdi/gdi.h"
#include "platform/gdi/scoped_gdi.h"
#include "platform/ole/clipboard.h"

namespace dashtune {

namespace graphics {
const char* const SUnknownExtension = "Unbekannte Bilddateierweiterung (.%s)";
const char* const SUnknownClipboardFormat = "Format der Zwischenablage wird nicht unterstützt";
const char* const SInvalidBitmap = "Bitmap ist ungültig";
const char* const SInvalidIcon = "Symbol ist ungültig";
const char* const SScanLine = "Bereichsüberschreitung bei Zeilenindex";
const char* const SInvalidPixelFormat = "Ungültiges Pixelformat";
const char* const SChangeIconSize = "Symbolgröße kann nicht geändert werden";
const char* const SNoCanvasHandle = "Leinwand/Bild erlaubt kein Zeichnen";
const char* const SUnknownGraphicClass = "Grafikklasse %s ist nicht registriert";
}  // namespace graphics

// The screen's pixels per inch is a capability of the display's device context.
int TScreen::GetPixelsPerInch() const {
  const win::ScopedGdiObject<win::HDC> dc(win::CreateCompatibleDC(nullptr));
  const int pixels = win::GetDeviceCaps(dc.Get(), win::LOGPIXELSY);
  return pixels > 0 ? pixels : 96;
}

// --- drawing objects -----------------------------------------------------------------------

TGraphicsObject::TGraphicsObject() = default;

TGraphicsObject::~TGraphicsObject() { FreeHandle(); }

void TGraphicsObject::Changed() {
  // Listeners deselect the old handle before it is deleted.
  const win::ScopedGdiObject<win::HGDIOBJ> old(handle_.Detach());
  if (OnChange) OnChange(this);
}

void TGraphicsObject::FreeHandle() { handle_.Reset(); }

TFont::TFont() = default;

void TFont::Assign(const TPersistent* Source) {
  auto* source = dynamic_cast<const TFont*>(Source);
  if (source == nullptr) {
    TGraphicsObject::Assign(Source);
    return;
  }
  color_ = source->color_;
  height_ = source->height_;
  name_ = source->name_;
  style_ = source->style_;
  pitch_ = source->pitch_;
  charset_ = source->charset_;
  Changed();
}

void TFont::SetColor(TColor value) {
  if (value == color_) return;
  color_ = value;
  // The colour is not part of the platform font; only the listeners need to know.
  if (OnChange) OnChange(this);
}

void TFont::SetHeight(int value) {
  if (value == height_) return;
  height_ = value;
  Changed();
}

int TFont::GetSize() const { return -win::MulDiv(height_, 72, pixels_per_inch_); }

void TFont::SetSize(int value) { SetHeight(-win::MulDiv(value, pixels_per_inch_, 72)); }

void TFont::SetName(const std::string& value) {
  if (value.empty() || value == name_) return;
  name_ = value;
  Changed();
}

void TFont::SetStyle(TFontStyles value) {
  if (value == style_) return;
  style_ = value;
  Changed();
}

void TFont::SetPitch(TFontPitch value) {
  if (value == pitch_) return;
  pitch_ = value;
  Changed();
}

void TFont::SetCharset(std::uint8_t value) {
  if (value == charset_) return;
  charset_ = value;
  Changed();
}

TPen::TPen() = default;

void TPen::Assign(const TPersistent* Source) {
  auto* source = dynamic_cast<const TPen*>(Source);
  if (source == nullptr) {
    TGraphicsObject::Assign(Source);
    return;
  }
  color_ = source->color_;
  width_ = source->width_;
  style_ = source->style_;
  mode_ = source->mode_;
  Changed();
}

win::HPEN TPen::GetHandle() {
  if (CachedHandle() == nullptr)
    StoreHandle(win::CreatePen(static_cast<int>(style_), width_, ColorToRGB(color_)));
  return static_cast<win::HPEN>(CachedHandle());
}

void TPen::SetColor(TColor value) {
  if (value == color_) return;
  color_ = value;
  Changed();
}

void TPen::SetWidth(int value) {
  if (value < 0 || value == width_) return;
  width_ = value;
  Changed();
}

void TPen::SetStyle(TPenStyle value) {
  if (value == style_) return;
  style_ = value;
  Changed();
}

void TPen::SetMode(TPenMode value) {
  if (value == mode_) return;
  mode_ = value;
  Changed();
}

TBrush::TBrush() = default;

void TBrush::Assign(const TPersistent* Source) {
  auto* source = dynamic_cast<const TBrush*>(Source);
  if (source == nullptr) {
    TGraphicsObject::Assign(Source);
    return;
  }
  color_ = source->color_;
  style_ = source->style_;
  Changed();
}

win::HBRUSH TBrush::GetHandle() {
  if (CachedHandle() == nullptr) {
    win::HGDIOBJ brush = nullptr;
    if (style_ == TBrushStyle::bsClear)
      brush = win::GetStockObject(win::NULL_BRUSH);
    else  // hatch patterns are drawn solid
      brush = win::CreateSolidBrush(ColorToRGB(color_));
    StoreHandle(brush);
  }
  return static_cast<win::HBRUSH>(CachedHandle());
}

void TBrush::SetColor(TColor value) {
  if (value == color_) return;
  color_ = value;
  if (style_ == TBrushStyle::bsClear) style_ = TBrushStyle::bsSolid;
  Changed();
}

void TBrush::SetStyle(TBrushStyle value) {
  if (value == style_) return;
  style_ = value;
  Changed();
}

// --- canvas --------------------------------------------------------------------------------

namespace {

int PenModeToRop2(TPenMode mode) {
  static constexpr int kRop2[] = {win::R2_BLACK,       win::R2_WHITE,      win::R2_NOP,         win::R2_NOT,
                                  win::R2_COPYPEN,     win::R2_NOTCOPYPEN, win::R2_MERGEPENNOT, win::R2_MASKPENNOT,
                                  win::R2_MERGENOTPEN, win::R2_MASKNOTPEN, win::R2_MERGEPEN,    win::R2_NOTMERGEPEN,
                                  win::R2_MASKPEN,     win::R2_NOTMASKPEN, win::R2_XORPEN,      win::R2_NOTXORPEN};
  return kRop2[static_cast<int>(mode)];
}

}  // namespace

TCanvas::TCanvas()
    : font_(std::make_unique<TFont>()), pen_(std::make_unique<TPen>()), brush_(std::make_unique<TBrush>()) {
  font_->OnChange = [this](TObject* sender) { FontChanged(sender); };
  pen_->OnChange = [this](TObject* sender) { PenChanged(sender); };
  brush_->OnChange = [this](TObject* sender) { BrushChanged(sender); };
}

TCanvas::~TCanvas() { SetHandle(nullptr); }

// Whoever draws on the handle directly finds the canvas's font, pen and brush selected.
win::HDC TCanvas::GetHandle() {
  Changing();
  RequiredState(TCanvasStates{csHandleValid, csFontValid, csPenValid, csBrushValid});
  return handle_;
}

win::HDC TCanvas::GetCopyDestHandle() {
  Changing();
  RequiredState(TCanvasStates{csHandleValid, csFontValid, csBrushValid});
  return handle_;
}

win::HDC TCanvas::GetCopySourceHandle() {
  Changing();
  RequiredState(TCanvasStates{csHandleValid, csBrushValid});
  return handle_;
}

void TCanvas::SetHandle(win::HDC value) {
  if (value == handle_) return;
  if (handle_ != nullptr) {
    DeselectHandles();
    pen_pos_ = {};
    state_.Exclude(TCanvasState::csHandleValid);
  }
  handle_ = value;
  if (handle_ != nullptr) state_.Include(TCanvasState::csHandleValid);
}

void TCanvas::DeselectHandles() {
  if (handle_ == nullptr) return;
  if (state_.Contains(TCanvasState::csPenValid) || state_.Contains(TCanvasState::csBrushValid) ||
      state_.Contains(TCanvasState::csFontValid)) {
    win::SelectObject(handle_, win::GetStockObject(win::BLACK_PEN));
    win::SelectObject(handle_, win::GetStockObject(win::HOLLOW_BRUSH));
    win::SelectObject(handle_, win::GetStockObject(win::SYSTEM_FONT));
    state_.Exclude(TCanvasState::csPenValid);
    state_.Exclude(TCanvasState::csBrushValid);
    state_.Exclude(TCanvasState::csFontValid);
  }
}

void TCanvas::RequiredState(TCanvasStates state) {
  if (state.Contains(TCanvasState::csHandleValid) && handle_ == nullptr) {
    CreateHandle();
    if (handle_ == nullptr) throw EInvalidOperation(graphics::SNoCanvasHandle);
  }
  if (state.Contains(TCanvasState::csFontValid) && !state_.Contains(TCanvasState::csFontValid)) CreateFont();
  if (state.Contains(TCanvasState::csPenValid) && !state_.Contains(TCanvasState::csPenValid)) CreatePen();
  if (state.Contains(TCanvasState::csBrushValid) && !state_.Contains(TCanvasState::csBrushValid)) CreateBrush();
}

void TCanvas::CreateFont() {
  win::SelectObject(handle_, font_->GetHandle());
  win::SetTextColor(handle_, ColorToRGB(font_->GetColor()));
  state_.Include(TCanvasState::csFontValid);
}

void TCanvas::CreatePen() {
  win::SelectObject(handle_, pen_->GetHandle());
  win::SetROP2(handle_, PenModeToRop2(pen_->GetMode()));
  state_.Include(TCanvasState::csPenValid);
}

void TCanvas::CreateBrush() {
  win::SelectObject(handle_, brush_->GetHandle());
  const win::COLORREF colour = ColorToRGB(brush_->GetColor());
  if (brush_->GetStyle() == TBrushStyle::bsSolid) {
    win::SetBkColor(handle_, colour);
    win::SetBkMode(handle_, win::OPAQUE);
  } else {
    win::SetBkColor(handle_, ~colour & 0xFFFFFF);
    win::SetBkMode(handle_, win::TRANSPARENT);
  }
  state_.Include(TCanvasState::csBrushValid);
}

void TCanvas::FontChanged(TObject*) {
  if (!state_.Contains(TCanvasState::csFontValid)) return;
  state_.Exclude(TCanvasState::csFontValid);
  win::SelectObject(handle_, win::GetStockObject(win::SYSTEM_FONT));
}

void TCanvas::PenChanged(TObject*) {
  if (!state_.Contains(TCanvasState::csPenValid)) return;
  state_.Exclude(TCanvasState::csPenValid);
  win::SelectObject(handle_, win::GetStockObject(win::BLACK_PEN));
}

void TCanvas::BrushChanged(TObject*) {
  if (!state_.Contains(TCanvasState::csBrushValid)) return;
  state_.Exclude(TCanvasState::csBrushValid);
  win::SelectObject(handle_, win::GetStockObject(win::HOLLOW_BRUSH));
}

void TCanvas::Refresh() { DeselectHandles(); }

void TCanvas::Changing() {
  if (OnChanging) OnChanging(this);
}

void TCanvas::Changed() {
  if (OnChange) OnChange(this);
}

win::RECT TCanvas::GetClipRect() {
  RequiredState(TCanvasStates{TCanvasState::csHandleValid});
  win::RECT rect{};
  win::GetClipBox(handle_, &rect);
  return rect;
}

TColor TCanvas::GetPixel(int X, int Y) {
  RequiredState(TCanvasStates{TCanvasState::csHandleValid});
  return static_cast<TColor>(win::GetPixel(handle_, X, Y));
}

void TCanvas::SetPixel(int X, int Y, TColor Color) {
  Changing();
  RequiredState(TCanvasStates{TCanvasState::csHandleValid, TCanvasState::csPenValid});
  win::SetPixel(handle_, X, Y, ColorToRGB(Color));
  Changed();
}

void TCanvas::MoveTo(int X, int Y) {
  RequiredState(TCanvasStates{TCanvasState::csHandleValid});
  win::MoveToEx(handle_, X, Y, nullptr);
  pen_pos_ = {X, Y};
}

void TCanvas::LineTo(int X, int Y) {
  Changing();
  RequiredState(TCanvasStates{TCanvasState::csHandleValid, TCanvasState::csPenValid, TCanvasState::csBrushValid});
  win::LineTo(handle_, X, Y);
  pen_pos_ = {X, Y};
  Changed();
}

void TCanvas::Rectangle(int X1, int Y1, int X2, int Y2) {
  Changing();
  RequiredState(TCanvasStates{TCanvasState::csHandleValid, TCanvasState::csPenValid, TCanvasState::csBrushValid});
  win::Rectangle(handle_, X1, Y1, X2, Y2);
  Changed();
}

void TCanvas::RoundRect(int X1, int Y1, int X2, int Y2, int X3, int Y3) {
  Changing();
  RequiredState(TCanvasStates{TCanvasState::csHandleValid, TCanvasState::csPenValid, TCanvasState::csBrushValid});
  win::RoundRect(handle_, X1, Y1, X2, Y2, X3, Y3);
  Changed();
}

void TCanvas::FillRect(const win::RECT& Rect) {
  Changing();
  RequiredState(TCanvasStates{TCanvasState::csHandleValid, TCanvasState::csBrushValid});
  win::FillRect(handle_, &Rect, brush_->GetHandle());
  Changed();
}

void TCanvas::FrameRect(const win::RECT& Rect) {
  Changing();
  RequiredState(TCanvasStates{TCanvasState::csHandleValid, TCanvasState::csBrushValid});
  win::FrameRect(handle_, &Rect, brush_->GetHandle());
  Changed();
}

void TCanvas::DrawFocusRect(const win::RECT& Rect) {
  Changing();
  RequiredState(TCanvasStates{TCanvasState::csHandleValid, TCanvasState::csBrushValid});
  win::DrawFocusRect(handle_, &Rect);
  Changed();
}

void TCanvas::Draw(int X, int Y, TGraphic* Graphic) {
  if (Graphic == nullptr || Graphic->GetEmpty()) return;
  StretchDraw(win::RECT{X, Y, X + Graphic->GetWidth(), Y + Graphic->GetHeight()}, Graphic);
}

void TCanvas::StretchDraw(const win::RECT& Rect, TGraphic* Graphic) {
  if (Graphic == nullptr || Graphic->GetEmpty()) return;
  Changing();
  RequiredState(TCanvasStates{TCanvasState::csHandleValid});
  win::SetBkColor(handle_, ColorToRGB(brush_->GetColor()));
  win::SetTextColor(handle_, ColorToRGB(font_->GetColor()));
  Graphic->Draw(this, Rect);
  Changed();
}

void TCanvas::CopyRect(const win::RECT& Dest, TCanvas* Canvas, const win::RECT& Source) {
  Changing();
  RequiredState(TCanvasStates{TCanvasState::csHandleValid, TCanvasState::csFontValid, TCanvasState::csBrushValid});
  Canvas->RequiredState(TCanvasStates{TCanvasState::csHandleValid, TCanvasState::csBrushValid});
  win::StretchBlt(handle_, Dest.left, Dest.top, Dest.right - Dest.left, Dest.bottom - Dest.top, Canvas->handle_,
                  Source.left, Source.top, Source.right - Source.left, Source.bottom - Source.top,
                  static_cast<win::DWORD>(copy_mode_));
  Changed();
}

void TCanvas::Lock() {
  lock_.lock();
  ++lock_count_;
}

bool TCanvas::TryLock() {
  if (!lock_.try_lock()) return false;
  ++lock_count_;
  return true;
}

void TCanvas::Unlock() {
  --lock_count_;
  lock_.unlock();
}

// --- graphic -------------------------------------------------------------------------------

TGraphic::TGraphic() = default;
TGraphic::~TGraphic() = default;

bool TGraphic::Equals(TGraphic* Graphic) {
  if (Graphic == nullptr || typeid(*Graphic) != typeid(*this)) return false;
  if (GetEmpty() || Graphic->GetEmpty()) return GetEmpty() && Graphic->GetEmpty();
  TMemoryStream mine;
  TMemoryStream theirs;
  SaveToStream(&mine);
  Graphic->SaveToStream(&theirs);
  return mine.GetSize() == theirs.GetSize() &&
         std::memcmp(mine.GetMemory(), theirs.GetMemory(), static_cast<std::size_t>(mine.GetSize())) == 0;
}

void TGraphic::SetTransparent(bool Value) {
  if (Value == transparent_) return;
  transparent_ = Value;
  Changed(this);
}

void TGraphic::LoadFromFile(const std::string& Filename) {
  TFileStream stream(Filename, fmOpenRead | fmShareDenyWrite);
  LoadFromStream(&stream);
}

void TGraphic::SaveToFile(const std::string& Filename) {
  TFileStream stream(Filename, fmCreate);
  SaveToStream(&stream);
}

void TGraphic::SetModified(bool Value) {
  if (Value)
    Changed(this);
  else
    modified_ = false;
}

void TGraphic::Changed(TObject*) {
  modified_ = true;
  if (OnChange) OnChange(this);
}

void TGraphic::Progress(TObject* Sender, TProgressStage Stage, std::uint8_t PercentDone, bool RedrawNow,
                        const win::RECT& R, const std::string& Msg) {
  if (OnProgress) OnProgress(Sender, Stage, PercentDone, RedrawNow, R, Msg);
}

// --- picture and its registries ------------------------------------------------------------

namespace {

struct FileFormat {
  std::string extension;  // lower case, without the dot
  std::string description;
  TGraphicClass graphic_class;
};

struct ClipboardFormat {
  std::uint16_t format;
  TGraphicClass graphic_class;
};

struct Registry {
  std::mutex lock;
  std::vector<FileFormat> files;
  std::vector<ClipboardFormat> clipboard;
};

std::string LowerAscii(std::string text) {
  for (char& c : text)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return text;
}

// Bitmaps and icons are known from the start; the codecs register themselves.
Registry& Formats() {
  static Registry registry;
  static const bool seeded = [] {
    registry.files.push_back({"bmp", "Bitmaps", TGraphicClass::Of<TBitmap>()});
    registry.files.push_back({"ico", "Symbole", TGraphicClass::Of<TIcon>()});
    registry.clipboard.push_back({static_cast<std::uint16_t>(win::CF_BITMAP), TGraphicClass::Of<TBitmap>()});
    return true;
  }();
  (void)seeded;
  return registry;
}

std::string ExtensionOf(const std::string& filename) {
  const std::size_t slash = filename.find_last_of("/\\");
  const std::size_t dot = filename.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
  return filename.substr(dot + 1);
}

}  // namespace

TPicture::TPicture() = default;
TPicture::~TPicture() = default;

void TPicture::RegisterFileFormat(const std::string& AExtension, const std::string& ADescription,
                                  TGraphicClass AGraphicClass) {
  Registry& registry = Formats();
  std::lock_guard guard(registry.lock);
  registry.files.push_back({LowerAscii(AExtension), ADescription, AGraphicClass});
}

void TPicture::RegisterClipboardFormat(std::uint16_t AFormat, TGraphicClass AGraphicClass) {
  Registry& registry = Formats();
  std::lock_guard guard(registry.lock);
  registry.clipboard.push_back({AFormat, AGraphicClass});
}

void TPicture::UnregisterGraphicClass(TGraphicClass AClass) {
  Registry& registry = Formats();
  std::lock_guard guard(registry.lock);
  std::erase_if(registry.files, [&](const FileFormat& f) { return f.graphic_class.InheritsFrom(AClass); });
  std::erase_if(registry.clipboard,
                [&](const ClipboardFormat& f) { return f.graphic_class.InheritsFrom(AClass); });
}

TGraphicClass TPicture::GraphicClassForExtension(const std::string& AExtension) {
  Registry& registry = Formats();
  std::lock_guard guard(registry.lock);
  const std::string wanted = LowerAscii(AExtension);
  for (auto it = registry.files.rbegin(); it != registry.files.rend(); ++it)
    if (it->extension == wanted) return it->graphic_class;
  return {};
}

TGraphicClass TPicture::GraphicClassForClipboardFormat(std::uint16_t AFormat) {
  Registry& registry = Formats();
  std::lock_guard guard(registry.lock);
  for (auto it = registry.clipboard.rbegin(); it != registry.clipboard.rend(); ++it)
    if (it->format == AFormat) return it->graphic_class;
  return {};
}

bool TPicture::SupportsClipboardFormat(std::uint16_t AFormat) {
  return static_cast<bool>(GraphicClassForClipboardFormat(AFormat));
}

void TPicture::ReplaceGraphic(std::unique_ptr<TGraphic> graphic) {
  graphic_ = std::move(graphic);
  if (graphic_) {
    graphic_->OnChange = [this](TObject* sender) { Changed(sender); };
    graphic_->OnProgress = [this](TObject* sender, TProgressStage stage, std::uint8_t percent, bool redraw,
                                  const win::RECT& r, const std::string& msg) {
      if (OnProgress) OnProgress(sender, stage, percent, redraw, r, msg);
    };
  }
  Changed(this);
}

void TPicture::LoadFromFile(const std::string& Filename) {
  const std::string extension = ExtensionOf(Filename);
  const TGraphicClass graphic_class = GraphicClassForExtension(extension);
  if (!graphic_class) throw EInvalidGraphic(graphics::SUnknownExtension, {extension});
  std::unique_ptr<TGraphic> graphic = graphic_class.Create();
  graphic->OnProgress = OnProgress;
  graphic->LoadFromFile(Filename);
  ReplaceGraphic(std::move(graphic));
}

void TPicture::SaveToFile(const std::string& Filename) {
  if (graphic_) graphic_->SaveToFile(Filename);
}

void TPicture::LoadFromClipboardFormat(std::uint16_t AFormat, win::HANDLE AData, win::HPALETTE APalette) {
  const TGraphicClass graphic_class = GraphicClassForClipboardFormat(AFormat);
  if (!graphic_class) throw EInvalidGraphic(graphics::SUnknownClipboardFormat);
  std::unique_ptr<TGraphic> graphic = graphic_class.Create();
  graphic->LoadFromClipboardFormat(AFormat, AData, APalette);
  ReplaceGraphic(std::move(graphic));
}

void TPicture::SaveToClipboardFormat(std::uint16_t& AFormat, win::HANDLE& AData, win::HPALETTE& APalette) {
  if (graphic_) graphic_->SaveToClipboardFormat(AFormat, AData, APalette);
}

std::unique_ptr<TGraphic> TPicture::NewGraphicLike(const TGraphic* graphic) {
  const auto exactly = [graphic](const TGraphicClass& c) {
    return c.Class()->IsInstance(graphic) && c.ClassName() == graphic->ClassName();
  };
  for (const TGraphicClass& known : {TGraphicClass::Of<TBitmap>(), TGraphicClass::Of<TIcon>()})
    if (exactly(known)) return known.Create();
  Registry& registry = Formats();
  TGraphicClass found;
  {
    std::lock_guard guard(registry.lock);
    for (const FileFormat& f : registry.files)
      if (exactly(f.graphic_class)) found = f.graphic_class;
    for (const ClipboardFormat& f : registry.clipboard)
      if (exactly(f.graphic_class)) found = f.graphic_class;
  }
  if (!found) throw EInvalidGraphic(graphics::SUnknownGraphicClass, {graphic->ClassName()});
  return found.Create();
}

void TPicture::SetGraphic(const TGraphic* Value) {
  if (Value == nullptr) {
    ReplaceGraphic(nullptr);
    return;
  }
  std::unique_ptr<TGraphic> copy = NewGraphicLike(Value);
  copy->Assign(Value);
  ReplaceGraphic(std::move(copy));
}

void TPicture::ForceType(TGraphicClass graphic_class) {
  if (graphic_ && graphic_class.Class()->IsInstance(graphic_.get()) && graphic_class.ClassName() == graphic_->ClassName())
    return;
  ReplaceGraphic(graphic_class.Create());
}

TBitmap* TPicture::GetBitmap() {
  if (!dynamic_cast<TBitmap*>(graphic_.get())) ForceType(TGraphicClass::Of<TBitmap>());
  return static_cast<TBitmap*>(graphic_.get());
}

TIcon* TPicture::GetIcon() {
  if (!dynamic_cast<TIcon*>(graphic_.get())) ForceType(TGraphicClass::Of<TIcon>());
  return static_cast<TIcon*>(graphic_.get());
}

int TPicture::GetWidth() const { return graphic_ ? graphic_->GetWidth() : 0; }
int TPicture::GetHeight() const { return graphic_ ? graphic_->GetHeight() : 0; }

void TPicture::Assign(const TPersistent* Source) {
  if (Source == nullptr) {
    SetGraphic(nullptr);
  } else if (auto* picture = dynamic_cast<const TPicture*>(Source)) {
    SetGraphic(picture->GetGraphic());
  } else if (auto* graphic = dynamic_cast<const TGraphic*>(Source)) {
    SetGraphic(graphic);
  } else {
    TPersistent::Assign(Source);
  }
}

void TPicture::AssignTo(TPersistent* Dest) const {
  if (graphic_ && dynamic_cast<TGraphic*>(Dest)) {
    Dest->Assign(graphic_.get());
    return;
  }
  TPersistent::AssignTo(Dest);
}

void TPicture::Changed(TObject*) {
  if (OnChange) OnChange(this);
}

}  // namespace dashtune
