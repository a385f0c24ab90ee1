// Small classes the painters and managers stand on: the alpha blender that tints areas and
// images, the shared list of a group of adjacent selected items, and the list view's hint
// window with its hint information.
#pragma once

#include <memory>

#include "classlib/hint_window.h"
#include "classlib/lists.h"
#include "components/listview/collection.h"

namespace dashtune {

class TBitmap;

// Tints areas and images with a colour at an alpha; one shared instance lives while the list
// view unit is started.
class TTouchAlphaBlender : public TTouchPersistent {
 public:
  // Blends Color over Rect of the 32-bit bitmap selected into the canvas's context (nothing
  // without a canvas, a control, a rectangle or a selected bitmap). Rect is in view coordinates
  // when ViewportCoordinates (clipped to the bitmap's extent in the view), else in client
  // coordinates (clipped to the client area).
  void Blend(TCustomTouchListview* Listview, TCanvas* ACanvas, bool ViewportCoordinates, int Alpha, TColor Color,
             const win::RECT& Rect);
  // Draws Bitmap centred in Rect, tinted as the item's state asks (selected, drop target or
  // disabled); pixels of the bitmap's transparent colour stay untouched and transparent.
  void BlendImage(TCustomTouchListview* Listview, TTouchItem* Item, TBitmap* Bitmap, const win::RECT& Rect,
                  TCanvas* ACanvas);
  // The tint of an item: its alpha and colour, and whether it applies at all.
  static bool ItemBlend(TCustomTouchListview* Listview, TTouchItem* Item, int& Alpha, TColor& Color);
};

// One group of adjacent selected items, shared by them: each holds a reference, and the last
// release frees the list.
class TTouchSelectionGroupList : public TObject {
 public:
  TTouchSelectionGroupList() = default;
  TTouchSelectionGroupList(const TTouchSelectionGroupList&) = delete;
  TTouchSelectionGroupList& operator=(const TTouchSelectionGroupList&) = delete;

  void Add(TTouchItem* Item) { items_.Add(Item); }
  void Remove(TTouchItem* Item) { items_.Remove(Item); }
  void AddRef() { ++ref_count_; }
  // Frees the list when the count reaches 0.
  void Release();
  int GetRefCount() const { return ref_count_; }
  const TList& GetItems() const { return items_; }
  const win::RECT& GetDisplayRect() const { return display_rect_; }
  void SetDisplayRect(const win::RECT& Value) { display_rect_ = Value; }

 private:
  ~TTouchSelectionGroupList() override = default;

  win::RECT display_rect_{};
  TList items_;  // not owning the items
  int ref_count_ = 0;
};

// What a hint shows: text, a tool tip or whatever the application draws.
enum TTouchHintType : int { ehtText, ehtToolTip, ehtCustomDraw };

// The data handed to the hint window with ActivateHintData.
struct TTouchHintInfoRec {
  TCustomTouchListview* Listview = nullptr;  // not owned
  TTouchCollectionItem* TargetObj = nullptr;  // not owned: the item or column the hint is about
  TCanvas* Canvas = nullptr;                  // not owned
  TTouchHintType HintType = ehtText;
  WideString Text;
  win::RECT Bounds{};
  win::POINT CursorPos{};
  win::POINT HintPos{};
  int ReshowTimeout = 0;
  int HideTimeout = 0;
};

// The control's hint information, which OnHintCustomInfo may change.
class TTouchHintInfo : public TTouchOwnedPersistent {
 public:
  using TTouchOwnedPersistent::TTouchOwnedPersistent;
  void CopyFrom(const TTouchHintInfoRec& Record) { record_ = Record; }
  void CopyTo(TTouchHintInfoRec& Record) const { Record = record_; }

  TCanvas* GetCanvas() const { return record_.Canvas; }
  void SetCanvas(TCanvas* Value) { record_.Canvas = Value; }
  TTouchHintType GetHintType() const { return record_.HintType; }
  void SetHintType(TTouchHintType Value) { record_.HintType = Value; }
  const WideString& GetText() const { return record_.Text; }
  void SetText(const WideString& Value) { record_.Text = Value; }
  const win::RECT& GetBounds() const { return record_.Bounds; }
  void SetBounds(const win::RECT& Value) { record_.Bounds = Value; }
  win::POINT GetCursorPos() const { return record_.CursorPos; }
  win::POINT GetHintPos() const { return record_.HintPos; }
  void SetHintPos(win::POINT Value) { record_.HintPos = Value; }
  int GetReshowTimeout() const { return record_.ReshowTimeout; }
  void SetReshowTimeout(int Value) { record_.ReshowTimeout = Value; }
  int GetHideTimeout() const { return record_.HideTimeout; }
  void SetHideTimeout(int Value) { record_.HideTimeout = Value; }

 private:
  TTouchHintInfoRec record_;
};

// The list view's hint window: sized and painted from the hint data of its control.
class TTouchHintWindow : public THintWindow {
 public:
  using THintWindow::THintWindow;
  // Data is a TTouchHintInfoRec (or nil: a plain text hint).
  void ActivateHintData(const win::RECT& Rect, const std::string& AHint, void* AData) override;
  win::RECT CalcHintRect(int MaxWidth, const std::string& AHint, void* AData) override;
  const TTouchHintInfoRec& GetHintData() const { return data_; }

 protected:
  void Paint() override;

 private:
  TTouchHintInfoRec data_;
};

}  // namespace dashtune
