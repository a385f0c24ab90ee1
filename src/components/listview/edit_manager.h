// The list view's in-place edit manager: it begins an edit of an item's caption with an editor
// from OnItemCreateEditor or the view's default, runs the edit in a local message loop and ends
// it once: accepted (Enter, through the editor), or without accepting on EndEdit's message, on
// Escape, a wheel turn, a press outside the edit box, the program losing the activation, the
// edited item being freed, or WM_QUIT (posted again for the loop outside). The loop ends at once
// when the control itself is freed.
#pragma once

#include <memory>

#include "classlib/graphics.h"
#include "components/listview/collection.h"
#include "components/listview/editors.h"
#include "platform/com/com_ptr.h"
#include "platform/user/messages.h"

namespace dashtune {

class TTouchColumn;
class TTouchItem;

namespace listview {
// Posted to the control by EndEdit: the running edit ends without accepting.
inline constexpr win::UINT kEndEditMessage = 0x80CC;
}  // namespace listview

class TTouchEditManager : public TTouchOwnedPersistent {
 public:
  explicit TTouchEditManager(TCustomTouchListview* AOwner);
  ~TTouchEditManager() override;

  // Whether a click on the caption of the focused item begins an edit (default False).
  bool GetEnabled() const { return enabled_; }
  void SetEnabled(bool Value) { enabled_ = Value; }
  // The edit box's colour and font.
  TColor GetColor() const { return color_; }
  void SetColor(TColor Value) { color_ = Value; }
  TFont* GetFont() const { return font_.get(); }
  void SetFont(const TFont* Value) { font_->Assign(Value); }
  // Whether Tab accepts the edit and begins one on the next item (Shift+Tab: the previous).
  bool GetTabMoveFocus() const { return tab_move_focus_; }
  void SetTabMoveFocus(bool Value) { tab_move_focus_ = Value; }

  TTouchItem* GetEditItem() const { return edit_item_; }
  TTouchColumn* GetEditColumn() const { return edit_column_; }
  bool GetEditing() const { return edit_item_ != nullptr; }
  // The running edit's editor (nil between edits).
  ITouchCellEditor* GetEditor() const { return editor_.Get(); }

  // Edits the caption of Item (of Column's, nil: the item's own) and returns when the edit has
  // ended. Nothing happens while an edit runs or while the control has no window. What the
  // editor's creation raises reaches the caller, with nothing left behind.
  void BeginEdit(TTouchItem* Item, TTouchColumn* Column = nullptr);
  // Asks the running edit to end without accepting (posts the end message); nothing otherwise.
  void EndEdit();
  // A freed item or column is forgotten; a freed edited item ends the edit without accepting.
  void Forget(TTouchCollectionItem* Object);

 private:
  struct Session;
  enum class Step { kDispatch, kEnd, kEndThenDeliver, kSelectAll, kMoveOn };

  win::ComPtr<ITouchCellEditor> MakeEditor(TTouchItem* Item);
  void RunLoop(Session& session);
  Step Classify(const win::MSG& Msg) const;
  bool IsOutsideEditBox(const win::MSG& Msg) const;
  // Hide, OnItemEditEnd, Finalize, release; false when the control went away meanwhile.
  bool Finish(Session& session);
  TTouchItem* NextItemForTab(TTouchItem* Item, bool Backwards) const;

  bool enabled_ = false;
  TColor color_ = clWindow;
  std::unique_ptr<TFont> font_;
  bool tab_move_focus_ = false;
  TTouchItem* edit_item_ = nullptr;      // not owned
  TTouchColumn* edit_column_ = nullptr;  // not owned
  win::ComPtr<ITouchCellEditor> editor_;
  Session* session_ = nullptr;  // the running edit's state, on BeginEdit's stack
};

}  // namespace dashtune
