// The image list component: a row of equally sized images (each with an optional mask) held by
// a platform image list, drawn by index.
#pragma once

#include "classlib/bitmap.h"
#include "classlib/classes.h"
#include "classlib/graphics.h"

namespace dashtune {

enum TDrawingStyle : int { dsFocus, dsSelected, dsNormal, dsTransparent };
enum TImageType : int { itImage, itMask };

class TCustomImageList : public TComponent {
 public:
  explicit TCustomImageList(TComponent* AOwner);
  // Width and height of every image; a size below 1 raises EInvalidOperation.
  TCustomImageList(TComponent* AOwner, int AWidth, int AHeight);
  ~TCustomImageList() override;

  // The platform image list, made on first use; owned by the component.
  win::HIMAGELIST GetHandle();
  bool HandleAllocated() const { return handle_ != nullptr; }
  int GetWidth() const { return width_; }
  int GetHeight() const { return height_; }
  // A new size empties the list.
  void SetWidth(int Value) { SetSize(Value, height_); }
  void SetHeight(int Value) { SetSize(width_, Value); }
  void SetSize(int AWidth, int AHeight);
  int GetCount() const;
  bool GetMasked() const { return masked_; }
  void SetMasked(bool Value);
  TColor GetBkColor() const { return bk_color_; }
  void SetBkColor(TColor Value);
  TColor GetBlendColor() const { return blend_color_; }
  void SetBlendColor(TColor Value) { blend_color_ = Value; }
  TDrawingStyle GetDrawingStyle() const { return drawing_style_; }
  void SetDrawingStyle(TDrawingStyle Value) { drawing_style_ = Value; }
  TImageType GetImageType() const { return image_type_; }
  void SetImageType(TImageType Value) { image_type_ = Value; }

  // Adds the image (a strip of several when wider than the list's width) with its mask (nil: no
  // mask; white mask pixels are transparent); answers the first index added, -1 on failure.
  int Add(TBitmap* Image, TBitmap* Mask);
  // Adds the image with a mask of the pixels of the colour.
  int AddMasked(TBitmap* Image, TColor MaskColor);
  void Delete(int Index);
  void Clear();
  // Draws image Index at (X, Y); a disabled image is blended 50 % with the blend colour.
  void Draw(TCanvas* Canvas, int X, int Y, int Index, bool Enabled = true);
  // Makes image ImageIndex overlay number OverlayIndex (1 to 15) for drawing with an overlay.
  void Overlay(int ImageIndex, int OverlayIndex);
  // The image (Index) into Image, sized to the list's width and height.
  void GetBitmap(int Index, TBitmap* Image);

  TNotifyEvent OnChange;  // raised only when assigned

 protected:
  virtual void Change();

 private:
  void FreeHandle();

  win::HIMAGELIST handle_ = nullptr;
  int width_ = 16;
  int height_ = 16;
  bool masked_ = true;
  TColor bk_color_ = clNone;
  TColor blend_color_ = clNone;
  TDrawingStyle drawing_style_ = dsNormal;
  TImageType image_type_ = itImage;
};

}  // namespace dashtune
