// Dragging out of the list view: the drag managers' common base (enabled flag, the pointer
// leaving the drag threshold, auto-scroll, the drag start and its end notification), the item
// drag manager (OLE or the class library's dragging), the header drag manager that reorders
// columns by an OLE drag inside the control, the control's data object and drop source, and
// the drop target the control registers for its window.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "classlib/controls.h"
#include "classlib/set.h"
#include "components/listview/collection.h"
#include "platform/com/com_ptr.h"
#include "platform/ole/data_object.h"
#include "platform/ole/drag_drop.h"

namespace dashtune {

class TBitmap;
class TTouchColumn;
class TTouchHeader;
class TCustomTouchDragManagerBase;

enum TTouchDragType : int { edtOLE, edtClassLib };
enum TCommonMouseButton : int { cmbLeft, cmbRight, cmbMiddle };
using TCommonMouseButtons = Set<TCommonMouseButton>;
// How an OLE drag ended.
enum TTouchDragResult : int { edrDropped, edrCancelled, edrError };

// Raised when a drag that a manager began has ended, with the data, the keys held at the end
// and the effect the target reported.
using TTouchDragEndEvent = std::function<void(TCustomTouchDragManagerBase* Sender, win::IDataObject* DataObject,
                                              win::DWORD KeyState, TTouchDragResult Result, win::DROPEFFECT Effect)>;
// Lets the application give the data object of an item drag (nil: the control's own).
using TTouchOLEGetDataObjectEvent = std::function<void(TCustomTouchListview* Sender, win::ComPtr<win::IDataObject>& DataObject)>;
// Draws the drag image into Bitmap (sized by GetDragImageSize) and sets Handled to use it.
using TTouchGetDragImageEvent = std::function<void(TBitmap* Bitmap, win::POINT& HotSpot, bool& Handled)>;

// The control's own data object: what the drag managers put in, and the drag image.
class TTouchDataObjectManager : public win::DataObject {
 public:
  explicit TTouchDataObjectManager(TCustomTouchListview* Listview) : listview_(Listview) {}
  TCustomTouchListview* GetListview() const { return listview_; }

 private:
  TCustomTouchListview* listview_;  // not owned; only compared
};

// Ends the drag on Escape (cancel) and when the drag's mouse button is released (drop); also
// cancels once the control that began the drag is gone.
class TTouchDropSourceManager : public win::ComObject<win::IDropSource> {
 public:
  TTouchDropSourceManager(std::weak_ptr<const void> ControlLifetime, win::DWORD ButtonKey)
      : control_lifetime_(std::move(ControlLifetime)), button_key_(ButtonKey) {}
  win::HRESULT QueryContinueDrag(win::BOOL EscapePressed, win::DWORD KeyState) override;
  win::HRESULT GiveFeedback(win::DROPEFFECT Effect) override;

 private:
  std::weak_ptr<const void> control_lifetime_;
  win::DWORD button_key_;  // the MK_ bit of the button that drags
};

class TCustomTouchDragManagerBase : public TTouchOwnedPersistent {
 public:
  explicit TCustomTouchDragManagerBase(TCustomTouchListview* AOwner);
  ~TCustomTouchDragManagerBase() override;

  bool GetEnabled() const { return enabled_; }
  void SetEnabled(bool Value) { enabled_ = Value; }
  bool GetAutoScroll() const { return auto_scroll_; }
  void SetAutoScroll(bool Value) { auto_scroll_ = Value; }
  int GetAutoScrollAccelerator() const { return auto_scroll_accelerator_; }
  void SetAutoScrollAccelerator(int Value) { auto_scroll_accelerator_ = Value; }
  int GetAutoScrollDelay() const { return auto_scroll_delay_; }
  void SetAutoScrollDelay(int Value) { auto_scroll_delay_ = Value; }
  int GetAutoScrollMargin() const { return auto_scroll_margin_; }
  void SetAutoScrollMargin(int Value) { auto_scroll_margin_ = Value; }
  int GetAutoScrollTime() const { return auto_scroll_time_; }
  void SetAutoScrollTime(int Value) { auto_scroll_time_ = Value; }
  // Kept as the control's DragCursor.
  TCursor GetDragCursor() const;
  void SetDragCursor(TCursor Value);
  bool GetEnableDragImage() const { return enable_drag_image_; }
  void SetEnableDragImage(bool Value) { enable_drag_image_ = Value; }
  TCommonMouseButtons GetMouseButton() const { return mouse_button_; }
  void SetMouseButton(TCommonMouseButtons Value) { mouse_button_ = Value; }
  int GetDragImageWidth() const { return drag_image_width_; }
  void SetDragImageWidth(int Value) { drag_image_width_ = Value; }
  int GetDragImageHeight() const { return drag_image_height_; }
  void SetDragImageHeight(int Value) { drag_image_height_ = Value; }
  TDragMode GetDragMode() const { return drag_mode_; }
  void SetDragMode(TDragMode Value) { drag_mode_ = Value; }
  TTouchDragType GetDragType() const { return drag_type_; }
  virtual void SetDragType(TTouchDragType Value) { drag_type_ = Value; }
  // True while the drag this manager began runs.
  bool GetDragging() const { return dragging_; }

  // A press of one of MouseButton's buttons at a client point arms a drag (while Enabled).
  void MouseDown(TMouseButton Button, win::POINT WindowPoint);
  // Begins the armed drag once the pointer leaves the drag threshold around the press; answers
  // whether a drag ran (it has ended when this returns). The control may be gone by then: check
  // its lifetime before touching it.
  bool MouseMove(win::POINT WindowPoint, win::DWORD KeyState);
  void MouseUp() { armed_ = false; }
  // Whether the pointer at Now left the system's drag threshold around Start.
  static bool LeftThreshold(win::POINT Start, win::POINT Now);

  // The drag start, from a client point; returns when the drag has ended.
  virtual void BeginDrag(win::POINT WindowPoint, win::DWORD KeyState);

  // The control's drop target calls these with client points while another drag is over it.
  virtual void DragEnter(win::IDataObject* DataObject, win::DWORD KeyState, win::POINT WindowPoint, win::DROPEFFECT& Effect);
  virtual void DragOver(win::DWORD KeyState, win::POINT WindowPoint, win::DROPEFFECT& Effect);
  virtual void DragDrop(win::DWORD KeyState, win::POINT WindowPoint, win::DROPEFFECT& Effect);
  virtual void DragLeave();

  // Auto-scroll tests of a client point: within AutoScrollMargin of an edge of the client area.
  virtual bool ScrollUp(win::POINT WindowPoint) const;
  virtual bool ScrollDown(win::POINT WindowPoint) const;
  virtual bool ScrollLeft(win::POINT WindowPoint) const;
  virtual bool ScrollRight(win::POINT WindowPoint) const;

  // Fills the data object for the drag; answers whether to drag and the effects allowed.
  virtual bool DragData(win::IDataObject* DataObject, win::DROPEFFECT& Allowed);
  virtual void GetDragImageSize(int& Width, int& Height);
  // Lets the application give the data object of an item drag (nil: the control's own).
using TTouchOLEGetDataObjectEvent = std::function<void(TCustomTouchListview* Sender, win::ComPtr<win::IDataObject>& DataObject)>;
// Draws the drag image; the base draws none.
  virtual void GetDragImage(TBitmap* Bitmap, win::POINT& HotSpot, bool& Handled);
  // Forgets a member that is being freed.
  virtual void Forget(TTouchCollectionItem* Object) { (void)Object; }

  TTouchGetDragImageEvent OnGetDragImage;  // preset to GetDragImage
  TTouchDragEndEvent OnDragEnd;

 protected:
  // A data object of the application's, or nullptr for the control's own.
  virtual win::ComPtr<win::IDataObject> ApplicationDataObject() { return nullptr; }
  // The point the drag began at (client coordinates).
  win::POINT GetDragStart() const { return drag_start_; }
  // Follows the pointer over the control while it drags: scrolls when it is near an edge.
  void UpdateAutoScroll(win::POINT WindowPoint);
  void StopAutoScroll();

 private:
  void SetDragImageOf(TTouchDataObjectManager* DataObject);
  void AutoScrollStep();
  static void AutoScrollTimerProc(win::HWND, win::UINT, win::UINT_PTR Id, win::DWORD);

  bool enabled_ = false;
  bool auto_scroll_ = true;
  int auto_scroll_accelerator_ = 2;
  int auto_scroll_delay_ = 500;
  int auto_scroll_margin_ = 15;
  int auto_scroll_time_ = 50;
  bool enable_drag_image_ = true;
  TCommonMouseButtons mouse_button_{cmbLeft};
  int drag_image_width_ = 200;
  int drag_image_height_ = 300;
  TDragMode drag_mode_ = dmManual;
  TTouchDragType drag_type_ = edtOLE;
  bool dragging_ = false;
  bool armed_ = false;
  TMouseButton armed_button_ = mbLeft;
  win::POINT press_point_{};
  win::POINT drag_start_{};
  // Auto-scroll: the timer (0: none), the pointer it scrolls for and the steps taken so far.
  win::UINT_PTR scroll_timer_ = 0;
  win::POINT scroll_point_{};
  int scroll_steps_ = 0;
};

// Drags items out of the control: through OLE, with the application's data object when
// OnOLEGetDataObject gives one, or through the class library's dragging. Adds no data format
// of its own. Also keeps the item that is the current drop target.
class TTouchOLEDragManager : public TCustomTouchDragManagerBase {
 public:
  explicit TTouchOLEDragManager(TCustomTouchListview* AOwner) : TCustomTouchDragManagerBase(AOwner) {}

  bool GetHilightDropTarget() const { return hilight_drop_target_; }
  void SetHilightDropTarget(bool Value) { hilight_drop_target_ = Value; }
  // Switching to edtClassLib first makes the control stop being an OLE drop target; switching
  // back makes it one again.
  void SetDragType(TTouchDragType Value) override;

  TTouchItem* GetDropTarget() const { return drop_target_; }
  void SetDropTarget(TTouchItem* Value) { drop_target_ = Value; }
  void Forget(TTouchCollectionItem* Object) override;

  bool DragData(win::IDataObject* DataObject, win::DROPEFFECT& Allowed) override;

 protected:
  win::ComPtr<win::IDataObject> ApplicationDataObject() override;

 private:
  bool hilight_drop_target_ = true;
  TTouchItem* drop_target_ = nullptr;  // not owned
};

// Reorders columns by dragging a header button onto another, as an OLE drag inside the control.
class TTouchHeaderDragManager : public TCustomTouchDragManagerBase {
 public:
  explicit TTouchHeaderDragManager(TCustomTouchListview* AOwner);

  TTouchHeader* GetHeader() const { return header_; }
  void SetHeader(TTouchHeader* Value) { header_ = Value; }
  // The column being dragged (cleared when it is freed).
  TTouchColumn* GetColumn() const { return column_; }
  void SetColumn(TTouchColumn* Value) { column_ = Value; }
  TTouchColumn* GetDropTargetColumn() const { return drop_target_; }

  void DragEnter(win::IDataObject* DataObject, win::DWORD KeyState, win::POINT WindowPoint, win::DROPEFFECT& Effect) override;
  void DragOver(win::DWORD KeyState, win::POINT WindowPoint, win::DROPEFFECT& Effect) override;
  void DragDrop(win::DWORD KeyState, win::POINT WindowPoint, win::DROPEFFECT& Effect) override;
  void DragLeave() override;
  bool DragData(win::IDataObject* DataObject, win::DROPEFFECT& Allowed) override;
  void GetDragImageSize(int& Width, int& Height) override;
  void GetDragImage(TBitmap* Bitmap, win::POINT& HotSpot, bool& Handled) override;
  void Forget(TTouchCollectionItem* Object) override;

 private:
  void SetDropTarget(TTouchColumn* Column);

  TTouchHeader* header_ = nullptr;       // not owned
  TTouchColumn* column_ = nullptr;       // not owned
  TTouchColumn* drop_target_ = nullptr;  // not owned
  bool accepted_ = false;
};

namespace listview {
// The header drag record, in a block of global memory under the clipboard format
// "TouchListview.Header": who drags which column. Its references are only compared.
struct THeaderDragRecord {
  win::HANDLE Thread;                   // GetCurrentThread of the dragging thread
  const TCustomTouchListview* Control;  // the control that owns the header
  const TTouchColumn* Column;           // the dragged column
};
inline constexpr char kHeaderClipboardFormatName[] = "TouchListview.Header";
}  // namespace listview

// The drop target the control registers for its window: serves the header drag. Holds the
// control until Detach (the control's destructor), so late calls find nothing to do.
class TTouchDropTarget : public win::ComObject<win::IDropTarget> {
 public:
  explicit TTouchDropTarget(TCustomTouchListview* Listview) : listview_(Listview) {}
  void Detach() { listview_ = nullptr; }

  win::HRESULT DragEnter(win::IDataObject* DataObject, win::DWORD KeyState, win::POINTL Point, win::DROPEFFECT* Effect) override;
  win::HRESULT DragOver(win::DWORD KeyState, win::POINTL Point, win::DROPEFFECT* Effect) override;
  win::HRESULT DragLeave() override;
  win::HRESULT Drop(win::IDataObject* DataObject, win::DWORD KeyState, win::POINTL Point, win::DROPEFFECT* Effect) override;

 private:
  // Runs a call of the header drag manager with the point in client coordinates; a handler's
  // exception goes to the application and the drag goes on.
  win::HRESULT Route(win::POINTL Point, win::DROPEFFECT* Effect,
                     const std::function<void(TTouchHeaderDragManager*, win::POINT, win::DROPEFFECT&)>& call);

  TCustomTouchListview* listview_;  // not owned
};

}  // namespace dashtune
