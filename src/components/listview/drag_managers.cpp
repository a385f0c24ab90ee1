#include "components/listview/drag_managers.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <unordered_map>
#include <utility>

#include "classlib/bitmap.h"
#include "classlib/forms.h"
#include "components/listview/header.h"
#include "components/listview/listview.h"
#include "platform/core/process.h"
#include "platform/gdi/gdi.h"
#include "platform/ole/clipboard.h"
#include "platform/ole/global_memory.h"
#include "platform/user/messages.h"
#include "platform/user/system_metrics.h"
#include "platform/user/timers.h"

namespace dashtune {

namespace {

win::DWORD ButtonKeyOf(TMouseButton button) {
  switch (button) {
    case mbRight: return win::MK_RBUTTON;
    case mbMiddle: return win::MK_MBUTTON;
    default: return win::MK_LBUTTON;
  }
}

TCommonMouseButton CommonButtonOf(TMouseButton button) {
  switch (button) {
    case mbRight: return cmbRight;
    case mbMiddle: return cmbMiddle;
    default: return cmbLeft;
  }
}

// The drag managers whose auto-scroll timer runs, by timer id.
std::unordered_map<win::UINT_PTR, TCustomTouchDragManagerBase*>& ScrollTimers() {
  static std::unordered_map<win::UINT_PTR, TCustomTouchDragManagerBase*> timers;
  return timers;
}

TTouchDragResult ResultOf(win::HRESULT result) {
  if (result == win::DRAGDROP_S_DROP) return edrDropped;
  if (result == win::DRAGDROP_S_CANCEL) return edrCancelled;
  return edrError;
}

win::FORMATETC HeaderFormat() {
  win::FORMATETC format;
  format.cfFormat = static_cast<win::CLIPFORMAT>(win::RegisterClipboardFormatA(listview::kHeaderClipboardFormatName));
  return format;
}

// The header drag record of a data object; false when it offers none or one of another size.
bool ReadHeaderRecord(win::IDataObject* data, listview::THeaderDragRecord& record) {
  if (data == nullptr) return false;
  win::FORMATETC format = HeaderFormat();
  win::STGMEDIUM medium;
  if (data->GetData(&format, &medium) != win::S_OK) return false;
  bool read = false;
  if (win::GlobalSize(medium.hGlobal) == sizeof record) {
    if (const void* bytes = win::GlobalLock(medium.hGlobal)) {
      std::memcpy(&record, bytes, sizeof record);
      win::GlobalUnlock(medium.hGlobal);
      read = true;
    }
  }
  win::ReleaseStgMedium(&medium);
  return read;
}

}  // namespace

// ---- Drop source ----

win::HRESULT TTouchDropSourceManager::QueryContinueDrag(win::BOOL EscapePressed, win::DWORD KeyState) {
  if (EscapePressed || control_lifetime_.expired()) return win::DRAGDROP_S_CANCEL;
  return (KeyState & button_key_) != 0 ? win::S_OK : win::DRAGDROP_S_DROP;
}

win::HRESULT TTouchDropSourceManager::GiveFeedback(win::DROPEFFECT) { return win::DRAGDROP_S_USEDEFAULTCURSORS; }

// ---- Base ----

TCustomTouchDragManagerBase::TCustomTouchDragManagerBase(TCustomTouchListview* AOwner) : TTouchOwnedPersistent(AOwner) {
  OnGetDragImage = [this](TBitmap* Bitmap, win::POINT& HotSpot, bool& Handled) { GetDragImage(Bitmap, HotSpot, Handled); };
}

TCustomTouchDragManagerBase::~TCustomTouchDragManagerBase() { StopAutoScroll(); }

TCursor TCustomTouchDragManagerBase::GetDragCursor() const {
  const TCustomTouchListview* control = GetOwnerListview();
  return control ? control->GetDragCursor() : crDrag;
}

void TCustomTouchDragManagerBase::SetDragCursor(TCursor Value) {
  if (TCustomTouchListview* control = GetOwnerListview()) control->SetDragCursor(Value);
}

bool TCustomTouchDragManagerBase::LeftThreshold(win::POINT Start, win::POINT Now) {
  return std::abs(Now.x - Start.x) > win::GetSystemMetrics(win::SM_CXDRAG) ||
         std::abs(Now.y - Start.y) > win::GetSystemMetrics(win::SM_CYDRAG);
}

void TCustomTouchDragManagerBase::MouseDown(TMouseButton Button, win::POINT WindowPoint) {
  armed_ = enabled_ && !dragging_ && mouse_button_.Contains(CommonButtonOf(Button));
  armed_button_ = Button;
  press_point_ = WindowPoint;
}

bool TCustomTouchDragManagerBase::MouseMove(win::POINT WindowPoint, win::DWORD KeyState) {
  if (!armed_ || !LeftThreshold(press_point_, WindowPoint)) return false;
  armed_ = false;
  BeginDrag(press_point_, KeyState | ButtonKeyOf(armed_button_));
  return true;
}

void TCustomTouchDragManagerBase::BeginDrag(win::POINT WindowPoint, win::DWORD KeyState) {
  TCustomTouchListview* control = GetOwnerListview();
  if (!enabled_ || dragging_ || control == nullptr) return;
  armed_ = false;
  drag_start_ = WindowPoint;
  if (drag_type_ == edtClassLib) {
    control->BeginDrag(true);
    return;
  }
  win::ComPtr<win::IDataObject> data = ApplicationDataObject();
  win::ComPtr<TTouchDataObjectManager> own;
  if (!data) {
    own = win::MakeCom<TTouchDataObjectManager>(control);
    data = own;
  }
  win::DROPEFFECT allowed = win::DROPEFFECT_NONE;
  if (!DragData(data.Get(), allowed)) return;
  if (own && enable_drag_image_) SetDragImageOf(own.Get());
  const std::weak_ptr<const void> lifetime = control->Lifetime();
  win::DWORD button = KeyState & (win::MK_LBUTTON | win::MK_RBUTTON | win::MK_MBUTTON);
  if (button == 0) button = win::MK_LBUTTON;
  const auto source = win::MakeCom<TTouchDropSourceManager>(lifetime, button);
  dragging_ = true;
  win::DROPEFFECT effect = win::DROPEFFECT_NONE;
  const win::HRESULT result = win::DoDragDrop(data.Get(), source.Get(), allowed, &effect);
  // A handler may have freed the control, and this manager with it.
  if (lifetime.expired()) return;
  dragging_ = false;
  StopAutoScroll();
  if (OnDragEnd) OnDragEnd(this, data.Get(), KeyState, ResultOf(result), effect);
}

void TCustomTouchDragManagerBase::SetDragImageOf(TTouchDataObjectManager* DataObject) {
  int width = 0, height = 0;
  GetDragImageSize(width, height);
  // An empty image is no image; the drag runs without one.
  if (width <= 0 || height <= 0) return;
  TBitmap bitmap;
  bitmap.SetPixelFormat(pf32bit);
  bitmap.SetSize(width, height);
  bitmap.SetTransparentColor(clWindow);
  win::POINT hot_spot{};
  bool handled = false;
  if (OnGetDragImage) OnGetDragImage(&bitmap, hot_spot, handled);
  if (!handled) return;
  win::SHDRAGIMAGE image;
  image.sizeDragImage = {width, height};
  image.ptOffset = hot_spot;
  image.crColorKey = ColorToRGB(clWindow);
  image.hbmpDragImage = bitmap.ReleaseHandle();
  DataObject->SetDragImage(image);
}

bool TCustomTouchDragManagerBase::DragData(win::IDataObject*, win::DROPEFFECT& Allowed) {
  Allowed = win::DROPEFFECT_NONE;
  return enabled_;
}

void TCustomTouchDragManagerBase::GetDragImageSize(int& Width, int& Height) {
  Width = drag_image_width_;
  Height = drag_image_height_;
}

void TCustomTouchDragManagerBase::GetDragImage(TBitmap*, win::POINT&, bool&) {}

void TCustomTouchDragManagerBase::DragEnter(win::IDataObject*, win::DWORD, win::POINT WindowPoint, win::DROPEFFECT& Effect) {
  Effect = win::DROPEFFECT_NONE;
  UpdateAutoScroll(WindowPoint);
}

void TCustomTouchDragManagerBase::DragOver(win::DWORD, win::POINT WindowPoint, win::DROPEFFECT& Effect) {
  Effect = win::DROPEFFECT_NONE;
  UpdateAutoScroll(WindowPoint);
}

void TCustomTouchDragManagerBase::DragDrop(win::DWORD, win::POINT, win::DROPEFFECT& Effect) {
  Effect = win::DROPEFFECT_NONE;
  StopAutoScroll();
}

void TCustomTouchDragManagerBase::DragLeave() { StopAutoScroll(); }

// ---- Auto-scroll ----

bool TCustomTouchDragManagerBase::ScrollUp(win::POINT WindowPoint) const { return WindowPoint.y < auto_scroll_margin_; }

bool TCustomTouchDragManagerBase::ScrollDown(win::POINT WindowPoint) const {
  const TCustomTouchListview* control = GetOwnerListview();
  return control && WindowPoint.y > control->GetClientHeight() - auto_scroll_margin_;
}

bool TCustomTouchDragManagerBase::ScrollLeft(win::POINT WindowPoint) const { return WindowPoint.x < auto_scroll_margin_; }

bool TCustomTouchDragManagerBase::ScrollRight(win::POINT WindowPoint) const {
  const TCustomTouchListview* control = GetOwnerListview();
  return control && WindowPoint.x > control->GetClientWidth() - auto_scroll_margin_;
}

void TCustomTouchDragManagerBase::UpdateAutoScroll(win::POINT WindowPoint) {
  const bool near_edge =
      ScrollUp(WindowPoint) || ScrollDown(WindowPoint) || ScrollLeft(WindowPoint) || ScrollRight(WindowPoint);
  if (!auto_scroll_ || !near_edge) {
    StopAutoScroll();
    return;
  }
  scroll_point_ = WindowPoint;
  if (scroll_timer_ != 0) return;
  scroll_steps_ = 0;
  scroll_timer_ = win::SetTimer(nullptr, 0, static_cast<win::UINT>(std::max(auto_scroll_delay_, 0)), AutoScrollTimerProc);
  if (scroll_timer_ != 0) ScrollTimers()[scroll_timer_] = this;
}

void TCustomTouchDragManagerBase::StopAutoScroll() {
  if (scroll_timer_ == 0) return;
  win::KillTimer(nullptr, scroll_timer_);
  ScrollTimers().erase(scroll_timer_);
  scroll_timer_ = 0;
}

void TCustomTouchDragManagerBase::AutoScrollTimerProc(win::HWND, win::UINT, win::UINT_PTR Id, win::DWORD) {
  auto it = ScrollTimers().find(Id);
  if (it != ScrollTimers().end()) it->second->AutoScrollStep();
}

// The n-th step scrolls n times AutoScrollAccelerator pixels (at most half the client area);
// the first comes after AutoScrollDelay, the next ones every AutoScrollTime.
void TCustomTouchDragManagerBase::AutoScrollStep() {
  TCustomTouchListview* control = GetOwnerListview();
  if (control == nullptr) return;
  ++scroll_steps_;
  if (scroll_steps_ == 1) {
    StopAutoScroll();
    scroll_steps_ = 1;
    scroll_timer_ = win::SetTimer(nullptr, 0, static_cast<win::UINT>(std::max(auto_scroll_time_, 0)), AutoScrollTimerProc);
    if (scroll_timer_ != 0) ScrollTimers()[scroll_timer_] = this;
  }
  const int step = std::max(1, scroll_steps_ * auto_scroll_accelerator_);
  TTouchScrollbarManager* bars = control->GetScrollbars();
  const int step_y = std::min(step, std::max(1, control->GetClientHeight() / 2));
  const int step_x = std::min(step, std::max(1, control->GetClientWidth() / 2));
  if (ScrollUp(scroll_point_)) bars->SetOffsetY(bars->GetOffsetY() - step_y);
  if (ScrollDown(scroll_point_)) bars->SetOffsetY(bars->GetOffsetY() + step_y);
  if (ScrollLeft(scroll_point_)) bars->SetOffsetX(bars->GetOffsetX() - step_x);
  if (ScrollRight(scroll_point_)) bars->SetOffsetX(bars->GetOffsetX() + step_x);
}

// ---- Item drag manager ----

void TTouchOLEDragManager::SetDragType(TTouchDragType Value) {
  if (Value == GetDragType()) return;
  TCustomTouchListview* control = GetOwnerListview();
  if (control && Value == edtClassLib) control->RevokeDropTarget();
  TCustomTouchDragManagerBase::SetDragType(Value);
  if (control && Value == edtOLE) control->RegisterDropTarget();
}

void TTouchOLEDragManager::Forget(TTouchCollectionItem* Object) {
  if (drop_target_ == Object) drop_target_ = nullptr;
}

bool TTouchOLEDragManager::DragData(win::IDataObject*, win::DROPEFFECT& Allowed) {
  Allowed = win::DROPEFFECT_COPY | win::DROPEFFECT_MOVE | win::DROPEFFECT_LINK;
  return GetEnabled();
}

win::ComPtr<win::IDataObject> TTouchOLEDragManager::ApplicationDataObject() {
  win::ComPtr<win::IDataObject> data;
  if (TCustomTouchListview* control = GetOwnerListview()) control->DoOLEGetDataObject(data);
  return data;
}

// ---- Header drag manager ----

TTouchHeaderDragManager::TTouchHeaderDragManager(TCustomTouchListview* AOwner) : TCustomTouchDragManagerBase(AOwner) {}

void TTouchHeaderDragManager::DragEnter(win::IDataObject* DataObject, win::DWORD KeyState, win::POINT WindowPoint,
                                        win::DROPEFFECT& Effect) {
  listview::THeaderDragRecord record{};
  // Only a drag of this control's own header, from this thread, is served.
  accepted_ = ReadHeaderRecord(DataObject, record) && record.Thread == win::GetCurrentThread() &&
              record.Control == GetOwnerListview();
  DragOver(KeyState, WindowPoint, Effect);
}

void TTouchHeaderDragManager::DragOver(win::DWORD, win::POINT WindowPoint, win::DROPEFFECT& Effect) {
  Effect = win::DROPEFFECT_NONE;
  if (!accepted_ || header_ == nullptr) return;
  UpdateAutoScroll(WindowPoint);
  if (WindowPoint.y >= header_->GetHeight()) {
    // Below the header nothing takes the column: releasing there cancels.
    SetDropTarget(nullptr);
    return;
  }
  Effect = win::DROPEFFECT_MOVE;
  SetDropTarget(header_->ColumnAt(WindowPoint));
}

void TTouchHeaderDragManager::DragDrop(win::DWORD, win::POINT, win::DROPEFFECT& Effect) {
  Effect = win::DROPEFFECT_NONE;
  // The column moved is the one this manager drags, never one named by the data.
  if (drop_target_ != nullptr && column_ != nullptr) {
    TTouchColumn* column = column_;
    TTouchColumn* target = drop_target_;
    DragLeave();
    column->SetPosition(target->GetPosition());
    Effect = win::DROPEFFECT_MOVE;
    return;
  }
  DragLeave();
}

void TTouchHeaderDragManager::DragLeave() {
  StopAutoScroll();
  SetDropTarget(nullptr);
  accepted_ = false;
}

void TTouchHeaderDragManager::SetDropTarget(TTouchColumn* Column) {
  if (Column == drop_target_) return;
  TTouchColumn* old = std::exchange(drop_target_, Column);
  if (old) {
    old->SetDropMark(false);
    old->Invalidate(true);
  }
  if (Column) {
    Column->SetDropMark(true);
    Column->Invalidate(true);
  }
}

bool TTouchHeaderDragManager::DragData(win::IDataObject* DataObject, win::DROPEFFECT& Allowed) {
  // Allowing the move that drag-over answers lets the drop happen.
  Allowed = win::DROPEFFECT_MOVE;
  if (!GetEnabled() || column_ == nullptr || DataObject == nullptr) return false;
  const listview::THeaderDragRecord record{win::GetCurrentThread(), GetOwnerListview(), column_};
  win::HGLOBAL block = win::GlobalAlloc(win::GHND, sizeof record);
  void* bytes = win::GlobalLock(block);
  if (bytes == nullptr) {
    win::GlobalFree(block);
    return false;
  }
  std::memcpy(bytes, &record, sizeof record);
  win::GlobalUnlock(block);
  win::FORMATETC format = HeaderFormat();
  win::STGMEDIUM medium{win::TYMED_HGLOBAL, block, nullptr};
  return win::SUCCEEDED(DataObject->SetData(&format, &medium, win::TRUE));
}

void TTouchHeaderDragManager::GetDragImageSize(int& Width, int& Height) {
  Width = column_ ? column_->GetWidth() : 0;
  Height = header_ ? header_->GetHeight() : 0;
}

void TTouchHeaderDragManager::GetDragImage(TBitmap* Bitmap, win::POINT& HotSpot, bool& Handled) {
  TCustomTouchListview* control = GetOwnerListview();
  if (control == nullptr || header_ == nullptr || column_ == nullptr) return;
  const int offset_x = control->GetScrollbars()->GetOffsetX();
  const win::RECT& cell = column_->GetDisplayRect();
  const int left = cell.left - offset_x;  // the button's left edge in the window
  TCanvas* canvas = Bitmap->GetCanvas();
  canvas->GetBrush()->SetStyle(bsSolid);
  canvas->GetBrush()->SetColor(header_->GetColor());
  canvas->FillRect(win::RECT{0, 0, Bitmap->GetWidth(), Bitmap->GetHeight()});
  // A button starting left of the visible header shows from the visible edge on.
  const int shown_left = std::max(left, 0);
  HotSpot = {GetDragStart().x - shown_left, GetDragStart().y - cell.top};
  const win::HDC dc = canvas->GetHandle();
  const int saved = win::SaveDC(dc);
  win::SetWindowOrgEx(dc, shown_left + offset_x, 0, nullptr);
  header_->PaintTo(canvas, win::RECT{shown_left + offset_x, 0, cell.right, header_->GetHeight()});
  win::RestoreDC(dc, saved);
  Handled = true;
}

void TTouchHeaderDragManager::Forget(TTouchCollectionItem* Object) {
  if (column_ == Object) column_ = nullptr;
  if (drop_target_ == Object) drop_target_ = nullptr;
}

// ---- Drop target ----

win::HRESULT TTouchDropTarget::Route(win::POINTL Point, win::DROPEFFECT* Effect,
                                     const std::function<void(TTouchHeaderDragManager*, win::POINT, win::DROPEFFECT&)>& call) {
  win::DROPEFFECT effect = Effect ? *Effect : win::DROPEFFECT_NONE;
  if (listview_ == nullptr || !listview_->HandleAllocated()) {
    if (Effect) *Effect = win::DROPEFFECT_NONE;
    return win::S_OK;
  }
  const win::POINT window_point = listview_->ScreenToClient(win::POINT{Point.x, Point.y});
  try {
    call(listview_->GetHeader()->GetDragManager(), window_point, effect);
  } catch (...) {
    effect = win::DROPEFFECT_NONE;
    if (Application != nullptr)
      Application->HandleException(listview_);
    else
      ShowException(std::current_exception());
  }
  if (Effect) *Effect = effect;
  return win::S_OK;
}

win::HRESULT TTouchDropTarget::DragEnter(win::IDataObject* DataObject, win::DWORD KeyState, win::POINTL Point,
                                         win::DROPEFFECT* Effect) {
  return Route(Point, Effect, [&](TTouchHeaderDragManager* manager, win::POINT at, win::DROPEFFECT& effect) {
    manager->DragEnter(DataObject, KeyState, at, effect);
  });
}

win::HRESULT TTouchDropTarget::DragOver(win::DWORD KeyState, win::POINTL Point, win::DROPEFFECT* Effect) {
  return Route(Point, Effect, [&](TTouchHeaderDragManager* manager, win::POINT at, win::DROPEFFECT& effect) {
    manager->DragOver(KeyState, at, effect);
  });
}

win::HRESULT TTouchDropTarget::DragLeave() {
  return Route(win::POINTL{}, nullptr,
               [](TTouchHeaderDragManager* manager, win::POINT, win::DROPEFFECT&) { manager->DragLeave(); });
}

win::HRESULT TTouchDropTarget::Drop(win::IDataObject*, win::DWORD KeyState, win::POINTL Point, win::DROPEFFECT* Effect) {
  return Route(Point, Effect, [&](TTouchHeaderDragManager* manager, win::POINT at, win::DROPEFFECT& effect) {
    manager->DragDrop(KeyState, at, effect);
  });
}

}  // namespace dashtune
