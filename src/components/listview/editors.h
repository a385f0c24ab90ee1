// In-place editors: an edit box put over an item's caption so the user can rename the item. The
// edit manager drives an editor only through ITouchCellEditor; TTouchStringEditor edits one line
// in a TTouchEdit, TTouchMemoEditor several centred lines in a TTouchMemo. The caption goes into
// the box as UTF-8 and comes back from it as UTF-16, so every character survives the edit.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "classlib/edit_controls.h"
#include "classlib/menus.h"
#include "components/listview/collection.h"
#include "components/listview/listview_types.h"
#include "platform/com/guid.h"
#include "platform/com/unknown.h"

namespace dashtune {

class TCustomTouchListview;
class TTouchColumn;
class TTouchItem;

namespace listview {
// Posted to an edit box to make it fit its text again (after a typed character is in).
inline constexpr win::UINT kResizeEditorMessage = 0x80CD;
}  // namespace listview

class ITouchCellEditor : public win::IUnknown {
 public:
  static constexpr win::IID iid = win::MakeGuid("AF098D87-6CDA-486D-8A91-9BFE09F73797");
  // Takes the edited text into the item; answers whether it was accepted.
  virtual bool AcceptEdit() = 0;
  // The edit box's window; nil while it has none.
  virtual win::HWND GetHandle() = 0;
  // Whether a key was typed since the editor was set up.
  virtual bool GetModified() = 0;
  // Every message of the edit box passes through here.
  virtual void ControlWndHookProc(TMessage& Message) = 0;
  virtual void Hide() = 0;
  // Creates and places the edit box over the item's caption (the column's, or the item's).
  virtual void Initialize(TTouchItem* Item, TTouchColumn* Column) = 0;
  // Unhooks and frees the edit box.
  virtual void Finalize() = 0;
  // Whether a point of the control's client area lies in the edit box.
  virtual bool PtInEditControl(win::POINT Pt) = 0;
  // Focuses the edit box and selects its whole text.
  virtual void SetEditorFocus() = 0;
  virtual void SelectAll() = 0;
  virtual void Show() = 0;
};

class TTouchEdit : public TCustomEdit {
 public:
  using TCustomEdit::TCustomEdit;
};

class TTouchMemo : public TCustomMemo {
 public:
  using TCustomMemo::TCustomMemo;
};

// The editors' common part: the box, its hook and key handling, placing it, accepting the text.
// Counted: the last Release frees it.
class TTouchBaseEditor : public TTouchPersistent, public win::ComObject<ITouchCellEditor> {
 public:
  TTouchBaseEditor();

  bool AcceptEdit() override;
  win::HWND GetHandle() override;
  bool GetModified() override { return modified_; }
  void ControlWndHookProc(TMessage& Message) override;
  void Hide() override;
  void Initialize(TTouchItem* Item, TTouchColumn* Column) override;
  void Finalize() override;
  bool PtInEditControl(win::POINT Pt) override;
  void SetEditorFocus() override;
  void Show() override;

  TWinControl* GetEditor() const { return edit_.get(); }
  // Takes the box (owned from then on).
  virtual void SetEditor(TWinControl* Value);
  // The text to edit: OnItemGetEditCaption's, else the item's caption for the column.
  virtual void GetEditCaption(TTouchItem* Item, TTouchColumn* Column, WideString& Caption);

 protected:
  ~TTouchBaseEditor() override;
  // The box's rectangle (client coordinates of the control) for a text.
  virtual void CalcEditorRect(const WideString& Text, win::RECT& Rect) = 0;
  // Makes the box: hidden, parented to the control, holding the edit caption.
  virtual void CreateEditor(TWinControl*& Edit, TTouchItem* Item, TTouchColumn* Column) = 0;
  virtual TFont* GetFont() = 0;
  // The box's text (UTF-8).
  virtual std::string GetText() = 0;

  // Fits the box to its text.
  void ResizeEditor();
  // The box's key-press handler: Enter accepts, any other key lets the box grow after it.
  void KeyPressed(char& Key);
  // Gives a new box the edit caption, the key handler and, unthemed, a flat single border.
  void PrepareBox(TCustomEdit* Box, TTouchItem* Item, TTouchColumn* Column);
  // The box's rectangle for a text measured with Flags in at most Lines lines, grown by the
  // margins, plus ExtraWidth on the right, and cut to the control's client area.
  void FitRect(const WideString& Text, unsigned Flags, int Lines, int MarginX, int MarginY, bool ExtraWidth,
               win::RECT& Rect);
  TCustomTouchListview* GetControl() const { return control_; }

 private:
  struct Hook;
  bool Hooked() const;

  std::unique_ptr<TWinControl> edit_;
  TCustomTouchListview* control_ = nullptr;  // not owned
  TTouchItem* item_ = nullptr;               // not owned
  TTouchColumn* column_ = nullptr;           // not owned
  bool modified_ = false;
  TTouchRectArrayObject rects_;
  std::function<void(TMessage&)> saved_procedure_;
};

class TTouchStringEditor : public TTouchBaseEditor {
 public:
  void SelectAll() override;

 protected:
  void CalcEditorRect(const WideString& Text, win::RECT& Rect) override;
  void CreateEditor(TWinControl*& Edit, TTouchItem* Item, TTouchColumn* Column) override;
  TFont* GetFont() override;
  std::string GetText() override;
};

class TTouchMemoEditor : public TTouchBaseEditor {
 public:
  void SelectAll() override;

 protected:
  void CalcEditorRect(const WideString& Text, win::RECT& Rect) override;
  void CreateEditor(TWinControl*& Edit, TTouchItem* Item, TTouchColumn* Column) override;
  TFont* GetFont() override;
  std::string GetText() override;
};

}  // namespace dashtune
