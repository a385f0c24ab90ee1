#include "components/listview/editors.h"

#include <algorithm>

#include "components/listview/common/common_utilities.h"
#include "components/listview/edit_manager.h"
#include "components/listview/items.h"
#include "components/listview/listview.h"
#include "platform/core/strings.h"
#include "platform/gdi/gdi.h"
#include "platform/gdi/scoped_gdi.h"
#include "platform/text/text.h"
#include "platform/user/edit.h"
#include "platform/user/messages.h"
#include "platform/user/paint.h"
#include "platform/user/window.h"

namespace dashtune {

namespace {

constexpr char kEnter = 13;
constexpr char kTab = 9;

// The string editor measures one line, left and vertically centred; the memo editor all lines,
// centred.
constexpr unsigned kMeasure = common::dtCalcRect | common::dtCalcRectAdjR | common::dtCalcRectAlign;
constexpr unsigned kStringMeasureFlags = common::dtLeft | common::dtVCenter | kMeasure;  // 962
constexpr unsigned kMemoMeasureFlags = common::dtCenter | kMeasure;                       // 904

}  // namespace

// The box's window procedure while the editor holds it.
struct TTouchBaseEditor::Hook {
  TTouchBaseEditor* editor;
  void operator()(TMessage& Message) const { editor->ControlWndHookProc(Message); }
};

TTouchBaseEditor::TTouchBaseEditor() = default;

TTouchBaseEditor::~TTouchBaseEditor() { Finalize(); }

void TTouchBaseEditor::SetEditor(TWinControl* Value) { edit_.reset(Value); }

bool TTouchBaseEditor::Hooked() const {
  const Hook* hook = edit_ ? edit_->WindowProc.target<Hook>() : nullptr;
  return hook != nullptr && hook->editor == this;
}

void TTouchBaseEditor::GetEditCaption(TTouchItem* Item, TTouchColumn* Column, WideString& Caption) {
  Caption.clear();
  control_->DoItemGetEditCaption(Item, Column, Caption);
  if (!Caption.empty()) return;
  Caption = Column != nullptr ? Item->GetCaptions(Column->GetIndex()) : Item->GetCaption();
}

void TTouchBaseEditor::PrepareBox(TCustomEdit* Box, TTouchItem* Item, TTouchColumn* Column) {
  Box->SetVisible(false);
  Box->SetParent(control_);
  WideString caption;
  GetEditCaption(Item, Column, caption);
  Box->SetText(win::Utf16ToUtf8(caption));
  Box->OnKeyPress = [this](TObject*, char& Key) { KeyPressed(Key); };
  if (!control_->Themed()) {
    Box->SetCtl3D(false);
    Box->SetBorderStyle(bsSingle);
    Box->SetBevelInner(bvNone);
    Box->SetBevelOuter(bvNone);
    Box->SetBevelKind(bkNone);
  }
}

void TTouchBaseEditor::Initialize(TTouchItem* Item, TTouchColumn* Column) {
  item_ = Item;
  column_ = Column;
  control_ = Item->GetOwnerListview();
  TWinControl* box = nullptr;
  CreateEditor(box, Item, Column);
  SetEditor(box);
  edit_->SetVisible(false);
  saved_procedure_ = edit_->WindowProc;
  edit_->WindowProc = Hook{this};
  edit_->SetDoubleBuffered(true);
  TTouchEditManager* manager = control_->GetEditManager();
  edit_->SetColor(manager->GetColor());
  edit_->GetFont()->Assign(manager->GetFont());
  Item->ItemRects(Column, control_->GetCanvas(), rects_);
  ResizeEditor();
  const win::HWND window = edit_->GetHandle();
  win::SetWindowLongA(window, win::GWL_EXSTYLE, win::GetWindowLongA(window, win::GWL_EXSTYLE) |
                                                    static_cast<win::LONG>(win::WS_EX_TOPMOST));
}

void TTouchBaseEditor::Finalize() {
  if (!edit_) return;
  if (Hooked()) edit_->WindowProc = saved_procedure_;
  edit_.reset();
}

void TTouchBaseEditor::ResizeEditor() {
  if (!edit_) return;
  win::RECT rect{};
  CalcEditorRect(win::Utf8ToUtf16(GetText()), rect);
  edit_->SetBounds(rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top);
}

void TTouchBaseEditor::FitRect(const WideString& Text, unsigned Flags, int Lines, int MarginX, int MarginY,
                               bool ExtraWidth, win::RECT& Rect) {
  const WideString text = Text.empty() ? WideString(u" ") : Text;
  const win::HWND window = edit_->GetHandle();
  const win::HDC dc = win::GetDC(window);
  int average_width = 0;
  {
    const win::ScopedSelect font(dc, GetFont()->GetHandle());
    win::RECT label = rects_.LabelRect;
    label.left += 4;
    label.right -= 4;
    label.top += 2;
    label.bottom -= 2;
    Rect = control_->GetScrollbars()->MapViewRectToWindow(label);
    common::DrawCaptionText(dc, text, Rect, Lines, Flags);
    win::TEXTMETRICW metrics{};
    win::GetTextMetricsW(dc, &metrics);
    average_width = metrics.tmAveCharWidth;
  }
  win::ReleaseDC(window, dc);
  Rect.left -= MarginX;
  Rect.right += MarginX;
  Rect.top -= MarginY;
  Rect.bottom += MarginY;
  // Room for the next character first, so that the cut below holds for the box as it ends up.
  if (ExtraWidth) Rect.right += average_width;
  const int right_limit = control_->GetClientWidth() - average_width + 12;
  const int bottom_limit = control_->GetClientHeight() - 2;
  if (Rect.right > right_limit) Rect.right = right_limit;
  if (Rect.bottom > bottom_limit) Rect.bottom = bottom_limit;
}

void TTouchBaseEditor::ControlWndHookProc(TMessage& Message) {
  switch (Message.Msg) {
    case win::WM_CONTEXTMENU: {
      TPopupMenu* menu = nullptr;
      control_->DoItemGetEditMenu(this, menu);
      if (menu != nullptr) {
        menu->Popup(static_cast<std::int16_t>(Message.LParam & 0xFFFF),
                    static_cast<std::int16_t>((Message.LParam >> 16) & 0xFFFF));
      } else {
        saved_procedure_(Message);
      }
      // Handled either way: the box's own procedure does not see it a second time.
      Message.Result = 1;
      return;
    }
    case win::WM_CHAR:
      if (Message.WParam == static_cast<win::WPARAM>(kTab)) Message.WParam = ' ';
      break;
    case listview::kResizeEditorMessage:
      ResizeEditor();
      break;
    default:
      break;
  }
  saved_procedure_(Message);
}

void TTouchBaseEditor::KeyPressed(char& Key) {
  modified_ = true;
  if (Key == kEnter) {
    Key = 0;
    AcceptEdit();
    return;
  }
  if (edit_ && edit_->HandleAllocated())
    win::PostMessageA(edit_->GetHandle(), listview::kResizeEditorMessage, 0, 0);
}

bool TTouchBaseEditor::AcceptEdit() {
  WideString value = win::Utf8ToUtf16(GetText());
  bool accept = true;
  TTouchEditManager* manager = control_->GetEditManager();
  control_->DoItemEdited(item_, value, accept);
  // The handler may have freed the item: the manager then no longer edits it.
  if (!accept || manager->GetEditItem() != item_) return false;
  if (column_ != nullptr)
    item_->SetCaptions(column_->GetIndex(), value);
  else
    item_->SetCaption(value);
  manager->EndEdit();
  return true;
}

win::HWND TTouchBaseEditor::GetHandle() { return edit_ && edit_->HandleAllocated() ? edit_->GetHandle() : nullptr; }

void TTouchBaseEditor::Hide() {
  if (edit_) edit_->SetVisible(false);
}

void TTouchBaseEditor::Show() {
  if (edit_) edit_->SetVisible(true);
}

bool TTouchBaseEditor::PtInEditControl(win::POINT Pt) {
  if (!edit_) return false;
  const win::RECT bounds = edit_->GetBoundsRect();
  return Pt.x >= bounds.left && Pt.x < bounds.right && Pt.y >= bounds.top && Pt.y < bounds.bottom;
}

void TTouchBaseEditor::SetEditorFocus() {
  if (!edit_) return;
  edit_->SetFocus();
  SelectAll();
}

// ---- the string editor ----

void TTouchStringEditor::CreateEditor(TWinControl*& Edit, TTouchItem* Item, TTouchColumn* Column) {
  auto* box = new TTouchEdit(nullptr);
  Edit = box;
  PrepareBox(box, Item, Column);
}

void TTouchStringEditor::CalcEditorRect(const WideString& Text, win::RECT& Rect) {
  FitRect(Text, kStringMeasureFlags, 1, 6, 2, true, Rect);
}

TFont* TTouchStringEditor::GetFont() { return GetEditor()->GetFont(); }

std::string TTouchStringEditor::GetText() { return static_cast<TTouchEdit*>(GetEditor())->GetText(); }

void TTouchStringEditor::SelectAll() {
  if (GetEditor() != nullptr) win::SendMessageA(GetEditor()->GetHandle(), win::EM_SETSEL, 0, -1);
}

// ---- the memo editor ----

void TTouchMemoEditor::CreateEditor(TWinControl*& Edit, TTouchItem* Item, TTouchColumn* Column) {
  auto* box = new TTouchMemo(nullptr);
  Edit = box;
  box->SetAlignment(taCenter);
  PrepareBox(box, Item, Column);
}

void TTouchMemoEditor::CalcEditorRect(const WideString& Text, win::RECT& Rect) {
  FitRect(Text, kMemoMeasureFlags, -1, 12, 3, false, Rect);
}

TFont* TTouchMemoEditor::GetFont() { return GetEditor()->GetFont(); }

std::string TTouchMemoEditor::GetText() { return static_cast<TTouchMemo*>(GetEditor())->GetText(); }

void TTouchMemoEditor::SelectAll() {
  if (GetEditor() != nullptr) win::SendMessageA(GetEditor()->GetHandle(), win::EM_SETSEL, 0, -1);
}

}  // namespace dashtune
