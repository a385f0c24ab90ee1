// The graphics classes: colours, the drawing objects (font, pen, brush), the canvas that draws
// through a device context, the abstract graphic that picture formats derive from, and the
// picture container with its registries of file formats and clipboard formats.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "classlib/classes.h"
#include "classlib/streams.h"
#include "platform/core/types.h"
#include "platform/gdi/scoped_gdi.h"

namespace dashtune {

// Colours: an RGB value (red in the low byte), or a system colour index with the high bit set.
using TColor = std::int32_t;
constexpr TColor clBlack = 0x000000;
constexpr TColor clMaroon = 0x000080;
constexpr TColor clGreen = 0x008000;
constexpr TColor clOlive = 0x008080;
constexpr TColor clNavy = 0x800000;
constexpr TColor clPurple = 0x800080;
constexpr TColor clTeal = 0x808000;
constexpr TColor clGray = 0x808080;
constexpr TColor clSilver = 0xC0C0C0;
constexpr TColor clRed = 0x0000FF;
constexpr TColor clLime = 0x00FF00;
constexpr TColor clYellow = 0x00FFFF;
constexpr TColor clBlue = 0xFF0000;
constexpr TColor clFuchsia = 0xFF00FF;
constexpr TColor clAqua = 0xFFFF00;
constexpr TColor clWhite = 0xFFFFFF;
constexpr TColor clNone = 0x1FFFFFFF;
constexpr TColor clDefault = 0x20000000;
constexpr TColor clSystemColor = static_cast<TColor>(0x80000000u);
constexpr TColor clScrollBar = clSystemColor | 0;
constexpr TColor clBackground = clSystemColor | 1;
constexpr TColor clActiveCaption = clSystemColor | 2;
constexpr TColor clWindow = clSystemColor | 5;
constexpr TColor clWindowFrame = clSystemColor | 6;
constexpr TColor clWindowText = clSystemColor | 8;
constexpr TColor clHighlight = clSystemColor | 13;
constexpr TColor clHighlightText = clSystemColor | 14;
constexpr TColor clBtnFace = clSystemColor | 15;
constexpr TColor clBtnShadow = clSystemColor | 16;
constexpr TColor clGrayText = clSystemColor | 17;
constexpr TColor clBtnText = clSystemColor | 18;
constexpr TColor clBtnHighlight = clSystemColor | 20;
constexpr TColor cl3DDkShadow = clSystemColor | 21;
constexpr TColor cl3DLight = clSystemColor | 22;
constexpr TColor clInfoText = clSystemColor | 23;
constexpr TColor clInfoBk = clSystemColor | 24;

// The RGB value of a colour: system colours are looked up, others lose their high byte.
win::COLORREF ColorToRGB(TColor color);

// The invalid-graphic and invalid-graphic-operation failures of the graphics classes.
class EInvalidGraphic : public Exception {
 public:
  using Exception::Exception;
};
class EInvalidGraphicOperation : public Exception {
 public:
  using Exception::Exception;
};

// Texts of the graphics classes' failures.
namespace graphics {
extern const char* const SUnknownExtension;      // "%s": the extension without its dot
extern const char* const SUnknownClipboardFormat;
extern const char* const SInvalidBitmap;
extern const char* const SInvalidIcon;
extern const char* const SScanLine;
extern const char* const SInvalidPixelFormat;
extern const char* const SChangeIconSize;
extern const char* const SNoCanvasHandle;
extern const char* const SUnknownGraphicClass;  // "%s": the class name
}  // namespace graphics

class TCanvas;
class TGraphic;

// Base of font, pen and brush: a lazily made platform handle and a change notification.
class TGraphicsObject : public TPersistent {
 public:
  TGraphicsObject();
  ~TGraphicsObject() override;

  TNotifyEvent OnChange;  // raised only when assigned

 protected:
  virtual void Changed();
  // Drops the platform handle so the next use makes one with the new settings.
  void FreeHandle();
  win::HGDIOBJ CachedHandle() const { return handle_.Get(); }
  void StoreHandle(win::HGDIOBJ handle) { handle_.Reset(handle); }

 private:
  win::ScopedGdiObject<win::HGDIOBJ> handle_;
};

enum TFontStyle : int { fsBold, fsItalic, fsUnderline, fsStrikeOut };
using TFontStyles = Set<TFontStyle>;
enum TFontPitch : int { fpDefault, fpVariable, fpFixed };

class TFont : public TGraphicsObject {
 public:
  TFont();
  void Assign(const TPersistent* Source) override;

  win::HFONT GetHandle();
  TColor GetColor() const { return color_; }
  void SetColor(TColor value);
  int GetHeight() const { return height_; }
  void SetHeight(int value);
  // Points at the screen's pixels per inch; negative heights are character heights.
  int GetSize() const;
  void SetSize(int value);
  std::string GetName() const { return name_; }
  void SetName(const std::string& value);
  TFontStyles GetStyle() const { return style_; }
  void SetStyle(TFontStyles value);
  TFontPitch GetPitch() const { return pitch_; }
  void SetPitch(TFontPitch value);
  std::uint8_t GetCharset() const { return charset_; }
  void SetCharset(std::uint8_t value);
  int GetPixelsPerInch() const { return pixels_per_inch_; }
  void SetPixelsPerInch(int value) { pixels_per_inch_ = value; }

 private:
  TColor color_ = clWindowText;
  int height_ = -11;
  std::string name_ = "Sans";
  TFontStyles style_;
  TFontPitch pitch_ = TFontPitch::fpDefault;
  std::uint8_t charset_ = 1;  // DEFAULT_CHARSET
  int pixels_per_inch_ = 96;
};

enum TPenStyle : int { psSolid, psDash, psDot, psDashDot, psDashDotDot, psClear, psInsideFrame };
enum TPenMode : int {
  pmBlack, pmWhite, pmNop, pmNot, pmCopy, pmNotCopy, pmMergePenNot, pmMaskPenNot,
  pmMergeNotPen, pmMaskNotPen, pmMerge, pmNotMerge, pmMask, pmNotMask, pmXor, pmNotXor
};

class TPen : public TGraphicsObject {
 public:
  TPen();
  void Assign(const TPersistent* Source) override;

  win::HPEN GetHandle();
  TColor GetColor() const { return color_; }
  void SetColor(TColor value);
  int GetWidth() const { return width_; }
  void SetWidth(int value);
  TPenStyle GetStyle() const { return style_; }
  void SetStyle(TPenStyle value);
  TPenMode GetMode() const { return mode_; }
  void SetMode(TPenMode value);

 private:
  TColor color_ = clBlack;
  int width_ = 1;
  TPenStyle style_ = TPenStyle::psSolid;
  TPenMode mode_ = TPenMode::pmCopy;
};

enum TBrushStyle : int { bsSolid, bsClear, bsHorizontal, bsVertical, bsFDiagonal, bsBDiagonal, bsCross, bsDiagCross };

class TBrush : public TGraphicsObject {
 public:
  TBrush();
  void Assign(const TPersistent* Source) override;

  win::HBRUSH GetHandle();
  TColor GetColor() const { return color_; }
  void SetColor(TColor value);
  TBrushStyle GetStyle() const { return style_; }
  void SetStyle(TBrushStyle value);

 private:
  TColor color_ = clWhite;
  TBrushStyle style_ = TBrushStyle::bsSolid;
};

enum TCanvasState : int { csHandleValid, csFontValid, csPenValid, csBrushValid };
using TCanvasStates = Set<TCanvasState>;
using TCopyMode = std::int32_t;
constexpr TCopyMode cmSrcCopy = 0x00CC0020;

// Draws through a device context, selecting its pen, brush and font as the calls need them.
// The base canvas never makes a handle of its own; descendants make one on first use.
class TCanvas : public TPersistent {
 public:
  TCanvas();
  ~TCanvas() override;

  win::HDC GetHandle();
  // The handle as a copy of pixels uses it (as CopyRect does): the brush selected for the copy
  // mode's pattern and the background colour, and on the destination also the font for the text
  // colour that monochrome sources take. The pen, which no copy uses, is not selected.
  win::HDC GetCopyDestHandle();
  win::HDC GetCopySourceHandle();
  void SetHandle(win::HDC value);
  bool HandleAllocated() const { return handle_ != nullptr; }

  TFont* GetFont() const { return font_.get(); }
  void SetFont(TFont* value) { font_->Assign(value); }
  TPen* GetPen() const { return pen_.get(); }
  void SetPen(TPen* value) { pen_->Assign(value); }
  TBrush* GetBrush() const { return brush_.get(); }
  void SetBrush(TBrush* value) { brush_->Assign(value); }
  TCopyMode GetCopyMode() const { return copy_mode_; }
  void SetCopyMode(TCopyMode value) { copy_mode_ = value; }
  win::POINT GetPenPos() const { return pen_pos_; }
  void SetPenPos(win::POINT value) { MoveTo(value.x, value.y); }
  win::RECT GetClipRect();
  TColor GetPixel(int X, int Y);
  void SetPixel(int X, int Y, TColor Color);

  void MoveTo(int X, int Y);
  void LineTo(int X, int Y);
  void Rectangle(int X1, int Y1, int X2, int Y2);
  void Rectangle(const win::RECT& Rect) { Rectangle(Rect.left, Rect.top, Rect.right, Rect.bottom); }
  void RoundRect(int X1, int Y1, int X2, int Y2, int X3, int Y3);
  void FillRect(const win::RECT& Rect);
  void FrameRect(const win::RECT& Rect);
  void DrawFocusRect(const win::RECT& Rect);
  void Draw(int X, int Y, TGraphic* Graphic);
  void StretchDraw(const win::RECT& Rect, TGraphic* Graphic);
  void CopyRect(const win::RECT& Dest, TCanvas* Canvas, const win::RECT& Source);
  void TextOut(int X, int Y, const std::string& Text);
  void TextRect(const win::RECT& Rect, int X, int Y, const std::string& Text);
  win::SIZE TextExtent(const std::string& Text);
  int TextWidth(const std::string& Text) { return TextExtent(Text).cx; }
  int TextHeight(const std::string& Text) { return TextExtent(Text).cy; }
  // Forgets the selected objects, so the next call selects them again.
  void Refresh();

  // Serialises drawing from several threads; nested locks from one thread are allowed.
  void Lock();
  bool TryLock();
  void Unlock();
  int GetLockCount() const { return lock_count_; }

  TNotifyEvent OnChange;    // after a drawing call; raised only when assigned
  TNotifyEvent OnChanging;  // before a drawing call; raised only when assigned

 protected:
  virtual void CreateHandle() {}
  // The handle as it is, without making one or raising events.
  win::HDC CurrentHandle() const { return handle_; }
  virtual void Changing();
  virtual void Changed();
  // Makes sure the listed parts are valid (handle made, objects selected) before drawing.
  void RequiredState(TCanvasStates state);
  // Deselects the canvas's objects from the handle, leaving the stock objects in.
  void DeselectHandles();

 private:
  void CreateFont();
  void CreatePen();
  void CreateBrush();
  void FontChanged(TObject* Sender);
  void PenChanged(TObject* Sender);
  void BrushChanged(TObject* Sender);

  win::HDC handle_ = nullptr;
  TCanvasStates state_;
  std::unique_ptr<TFont> font_;
  std::unique_ptr<TPen> pen_;
  std::unique_ptr<TBrush> brush_;
  win::POINT pen_pos_{};
  TCopyMode copy_mode_ = cmSrcCopy;
  std::recursive_mutex lock_;
  int lock_count_ = 0;
};

enum TProgressStage : int { psStarting, psRunning, psEnding };
using TProgressEvent = std::function<void(TObject* Sender, TProgressStage Stage, std::uint8_t PercentDone,
                                          bool RedrawNow, const win::RECT& R, const std::string& Msg)>;

// The abstract graphic: every picture format derives from it and overrides its operations.
// Descendants are made through their class reference (the picture container does so).
class TGraphic : public TPersistent {
 public:
  TGraphic();
  ~TGraphic() override;

  virtual void Draw(TCanvas* ACanvas, const win::RECT& Rect) = 0;
  virtual bool Equals(TGraphic* Graphic);
  virtual bool GetEmpty() const = 0;
  virtual int GetHeight() const = 0;
  virtual int GetWidth() const = 0;
  virtual void SetHeight(int Value) = 0;
  virtual void SetWidth(int Value) = 0;
  virtual win::HPALETTE GetPalette() const { return nullptr; }
  virtual void SetPalette(win::HPALETTE) {}
  virtual bool GetTransparent() const { return transparent_; }
  virtual void SetTransparent(bool Value);

  virtual void LoadFromFile(const std::string& Filename);
  virtual void SaveToFile(const std::string& Filename);
  virtual void LoadFromStream(TStream* Stream) = 0;
  virtual void SaveToStream(TStream* Stream) = 0;
  virtual void LoadFromClipboardFormat(std::uint16_t AFormat, win::HANDLE AData, win::HPALETTE APalette) = 0;
  virtual void SaveToClipboardFormat(std::uint16_t& AFormat, win::HANDLE& AData, win::HPALETTE& APalette) = 0;
  // Form-stream data: the graphic as its own stream format.
  virtual void ReadData(TStream* Stream) { LoadFromStream(Stream); }
  virtual void WriteData(TStream* Stream) { SaveToStream(Stream); }

  bool GetModified() const { return modified_; }
  void SetModified(bool Value);
  bool GetPaletteModified() const { return palette_modified_; }
  void SetPaletteModified(bool Value) { palette_modified_ = Value; }

  // Marks the graphic modified and raises OnChange.
  virtual void Changed(TObject* Sender);
  // Raises OnProgress.
  virtual void Progress(TObject* Sender, TProgressStage Stage, std::uint8_t PercentDone, bool RedrawNow,
                        const win::RECT& R, const std::string& Msg);

  TNotifyEvent OnChange;       // raised only when assigned
  TProgressEvent OnProgress;   // raised only when assigned

 private:
  bool transparent_ = false;
  bool modified_ = false;
  bool palette_modified_ = false;
};

using TGraphicClass = TClassOf<TGraphic>;

class TBitmap;
class TIcon;

// Holds one graphic of any registered format, chosen by file extension or clipboard format.
class TPicture : public TPersistent {
 public:
  TPicture();
  ~TPicture() override;

  void Assign(const TPersistent* Source) override;
  TGraphic* GetGraphic() const { return graphic_.get(); }
  // Stores a copy of the graphic (nothing for nil).
  void SetGraphic(const TGraphic* Value);
  // The graphic as a bitmap; any other graphic is replaced by an empty bitmap first.
  TBitmap* GetBitmap();
  TIcon* GetIcon();
  int GetWidth() const;
  int GetHeight() const;

  // Loads by the file's extension; an unregistered extension raises EInvalidGraphic.
  void LoadFromFile(const std::string& Filename);
  void SaveToFile(const std::string& Filename);
  void LoadFromClipboardFormat(std::uint16_t AFormat, win::HANDLE AData, win::HPALETTE APalette);
  void SaveToClipboardFormat(std::uint16_t& AFormat, win::HANDLE& AData, win::HPALETTE& APalette);

  static bool SupportsClipboardFormat(std::uint16_t AFormat);
  static void RegisterFileFormat(const std::string& AExtension, const std::string& ADescription,
                                 TGraphicClass AGraphicClass);
  static void RegisterClipboardFormat(std::uint16_t AFormat, TGraphicClass AGraphicClass);
  // Removes every file and clipboard registration of the class (and of its descendants).
  static void UnregisterGraphicClass(TGraphicClass AClass);
  // The class registered last for an extension (without its dot, any case), or an empty reference.
  static TGraphicClass GraphicClassForExtension(const std::string& AExtension);
  static TGraphicClass GraphicClassForClipboardFormat(std::uint16_t AFormat);

  TNotifyEvent OnChange;      // raised only when assigned
  TProgressEvent OnProgress;  // raised only when assigned

 protected:
  void AssignTo(TPersistent* Dest) const override;
  virtual void Changed(TObject* Sender);

 private:
  void ReplaceGraphic(std::unique_ptr<TGraphic> graphic);
  // A new, empty graphic of the same class as `graphic` (a registered class, TBitmap or TIcon).
  static std::unique_ptr<TGraphic> NewGraphicLike(const TGraphic* graphic);
  void ForceType(TGraphicClass graphic_class);

  std::unique_ptr<TGraphic> graphic_;
};

}  // namespace dashtune
