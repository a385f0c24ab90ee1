// The control base: TControl (bounds, parent, visibility, colour, font, mouse events, its
// message procedure), TWinControl (a window made on demand, children, painting, keys and focus),
// TGraphicControl (painted by its parent's window) and TCustomControl (a window with a canvas).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "classlib/classes.h"
#include "classlib/graphics.h"
#include "classlib/messages.h"
#include "platform/core/types.h"
#include "platform/user/window.h"

namespace dashtune {

using TCursor = int;
constexpr TCursor crDefault = 0;
constexpr TCursor crNone = -1;
constexpr TCursor crArrow = -2;
constexpr TCursor crCross = -3;
constexpr TCursor crIBeam = -4;
constexpr TCursor crSizeNESW = -6;
constexpr TCursor crSizeNS = -7;
constexpr TCursor crSizeNWSE = -8;
constexpr TCursor crSizeWE = -9;
constexpr TCursor crUpArrow = -10;
constexpr TCursor crHourGlass = -11;
constexpr TCursor crDrag = -12;
constexpr TCursor crNoDrop = -13;
constexpr TCursor crHSplit = -14;
constexpr TCursor crVSplit = -15;
constexpr TCursor crMultiDrag = -16;
constexpr TCursor crSQLWait = -17;
constexpr TCursor crNo = -18;
constexpr TCursor crAppStart = -19;
constexpr TCursor crHelp = -20;
constexpr TCursor crHandPoint = -21;
constexpr TCursor crSizeAll = -22;
constexpr TCursor crSize = -22;

enum TMouseButton : int { mbLeft, mbRight, mbMiddle };
enum TShiftStateItem : int { ssShift, ssAlt, ssCtrl, ssLeft, ssRight, ssMiddle, ssDouble };
using TShiftState = Set<TShiftStateItem>;

enum TControlStyleItem : int {
  csAcceptsControls, csCaptureMouse, csDesignInteractive, csClickEvents, csFramed, csSetCaption,
  csOpaque, csDoubleClicks, csFixedWidth, csFixedHeight, csNoDesignVisible, csReplicatable,
  csNoStdEvents, csDisplayDragImage, csReflector, csActionClient, csMenuEvents
};
using TControlStyle = Set<TControlStyleItem>;
enum TControlStateItem : int {
  csLButtonDown, csClicked, csPalette, csReadingState, csAlignmentNeeded, csFocusing, csCreating,
  csPaintCopy, csCustomPaint, csDestroyingHandle, csDocking
};
using TControlState = Set<TControlStateItem>;
enum TAlign : int { alNone, alTop, alBottom, alLeft, alRight, alClient, alCustom };
enum TAlignment : int { taLeftJustify, taRightJustify, taCenter };
enum TAnchorKind : int { akLeft, akTop, akRight, akBottom };
using TAnchors = Set<TAnchorKind>;

using TMouseEvent = std::function<void(TObject* Sender, TMouseButton Button, TShiftState Shift, int X, int Y)>;
using TMouseMoveEvent = std::function<void(TObject* Sender, TShiftState Shift, int X, int Y)>;
using TMouseWheelEvent =
    std::function<void(TObject* Sender, TShiftState Shift, int WheelDelta, win::POINT MousePos, bool& Handled)>;
using TMouseWheelUpDownEvent = std::function<void(TObject* Sender, TShiftState Shift, win::POINT MousePos, bool& Handled)>;
using TKeyEvent = std::function<void(TObject* Sender, std::uint16_t& Key, TShiftState Shift)>;
using TKeyPressEvent = std::function<void(TObject* Sender, char& Key)>;
using TCanResizeEvent = std::function<void(TObject* Sender, int& NewWidth, int& NewHeight, bool& Resize)>;
using TConstrainedResizeEvent =
    std::function<void(TObject* Sender, int& MinWidth, int& MinHeight, int& MaxWidth, int& MaxHeight)>;

// Dragging one control onto another inside the program (the class library's own dragging).
enum TDragMode : int { dmManual, dmAutomatic };
enum TDragState : int { dsDragEnter, dsDragLeave, dsDragMove };
// Source: the dragged control; Accept starts False.
using TDragOverEvent =
    std::function<void(TObject* Sender, TObject* Source, int X, int Y, TDragState State, bool& Accept)>;
using TDragDropEvent = std::function<void(TObject* Sender, TObject* Source, int X, int Y)>;
// Target: the control that took the drop, nil when the drag was cancelled or nobody accepted.
using TEndDragEvent = std::function<void(TObject* Sender, TObject* Target, int X, int Y)>;

class TWinControl;
class TControl;
class TPopupMenu;

// The canvas of a control: outside painting it draws through a device context of the control's
// window (for a graphic control, of its parent's window, moved to the control and clipped to it).
// That context is given back after every drawing call while the canvas is not locked, so what
// was drawn reaches the screen at once; the pen position carries over to the next context.
class TControlCanvas : public TCanvas {
 public:
  explicit TControlCanvas(TControl* control);  // control: not owned, owns this canvas
  ~TControlCanvas() override;
  // Releases the device context taken by CreateHandle (a handle set from outside is left alone).
  void FreeHandle();
  // Runs paint with the canvas locked and drawing on DC, a context the caller owns; the canvas
  // lets go of DC afterwards, also when paint throws.
  void PaintOn(win::HDC DC, const std::function<void()>& paint);

 protected:
  void CreateHandle() override;
  void Changed() override;

 private:
  TControl* control_;
  win::HWND window_ = nullptr;  // the window whose context is held, or nullptr
  win::POINT pen_pos_{};        // pen position of the released context
};

class TControl : public TComponent {
 public:
  explicit TControl(TComponent* AOwner);
  ~TControl() override;
  // Leaves the parent while the control is still complete.
  void BeforeDestruction() override;

  TWinControl* GetParent() const { return parent_; }
  // Moves the control into Value's list of controls (nil takes it out).
  virtual void SetParent(TWinControl* Value);

  int GetLeft() const { return left_; }
  int GetTop() const { return top_; }
  int GetWidth() const { return width_; }
  int GetHeight() const { return height_; }
  void SetLeft(int Value) { SetBounds(Value, top_, width_, height_); }
  void SetTop(int Value) { SetBounds(left_, Value, width_, height_); }
  void SetWidth(int Value) { SetBounds(left_, top_, Value, height_); }
  void SetHeight(int Value) { SetBounds(left_, top_, width_, Value); }
  // Stores a changed rectangle (after CanResize and the constraints), moves the window or
  // repaints the parent, then Resize.
  virtual void SetBounds(int ALeft, int ATop, int AWidth, int AHeight);
  win::RECT GetBoundsRect() const { return {left_, top_, left_ + width_, top_ + height_}; }
  void SetBoundsRect(const win::RECT& R) { SetBounds(R.left, R.top, R.right - R.left, R.bottom - R.top); }
  virtual win::RECT GetClientRect() const { return {0, 0, width_, height_}; }
  int GetClientWidth() const { return GetClientRect().right; }
  int GetClientHeight() const { return GetClientRect().bottom; }

  bool GetVisible() const { return visible_; }
  virtual void SetVisible(bool Value);
  void Show() { SetVisible(true); }
  void Hide() { SetVisible(false); }
  // Visible and, for a child, the parent showing too.
  virtual bool GetShowing() const;
  bool GetEnabled() const { return enabled_; }
  virtual void SetEnabled(bool Value);
  TColor GetColor() const { return color_; }
  void SetColor(TColor Value);
  bool GetParentColor() const { return parent_color_; }
  void SetParentColor(bool Value);
  TFont* GetFont() const { return font_.get(); }
  void SetFont(TFont* Value) { font_->Assign(Value); }
  bool GetParentFont() const { return parent_font_; }
  void SetParentFont(bool Value);
  TCursor GetCursor() const { return cursor_; }
  void SetCursor(TCursor Value);
  // The menu a context-menu request on the control shows (while its AutoPopup is on); not
  // owned, forgotten when it is freed.
  TPopupMenu* GetPopupMenu() const { return popup_menu_; }
  void SetPopupMenu(TPopupMenu* Value);
  TCursor GetDragCursor() const { return drag_cursor_; }
  void SetDragCursor(TCursor Value) { drag_cursor_ = Value; }
  // dmAutomatic: pressing the left button on the control begins a drag (past the threshold).
  TDragMode GetDragMode() const { return drag_mode_; }
  void SetDragMode(TDragMode Value) { drag_mode_ = Value; }
  // Begins dragging the control: at once, or once the pointer moves Threshold pixels (negative:
  // the system's drag distance). The mouse is captured until the left button is released (drop)
  // or Escape is pressed or the capture is lost (cancel). Nothing while a drag runs.
  void BeginDrag(bool Immediate, int Threshold = -1);
  // Ends the running drag of this control: with Drop over an accepting target it drops there.
  void EndDrag(bool Drop);
  // Whether this control is being dragged (also while the threshold is not yet passed).
  bool Dragging() const;
  // Whether the mouse is captured for the control (for a graphic control, by its parent for it).
  bool GetMouseCapture() const;
  void SetMouseCapture(bool Value);
  const std::string& GetCaption() const { return caption_; }
  void SetCaption(const std::string& Value);
  const std::string& GetHint() const { return hint_; }
  void SetHint(const std::string& Value) { hint_ = Value; }
  bool GetShowHint() const { return show_hint_; }
  void SetShowHint(bool Value) { show_hint_ = Value; }
  TAlign GetAlign() const { return align_; }
  // An aligned control fills its parent's client area from that side (alClient: what is left).
  void SetAlign(TAlign Value);
  TAnchors GetAnchors() const { return anchors_; }
  void SetAnchors(TAnchors Value) { anchors_ = Value; }
  TControlStyle GetControlStyle() const { return control_style_; }
  void SetControlStyle(TControlStyle Value) { control_style_ = Value; }
  TControlState GetControlState() const { return control_state_; }

  // Sends a message straight to the control's WindowProc and answers its result.
  win::LRESULT Perform(win::UINT Msg, win::WPARAM WParam, win::LPARAM LParam);
  // The message procedure; WindowProc starts as WndProc and may be replaced (and restored).
  virtual void WndProc(TMessage& Message);
  // Messages that WndProc leaves: nothing here, the window's default procedure for windows.
  virtual void DefaultHandler(TMessage& Message);
  std::function<void(TMessage&)> WindowProc;

  virtual void Invalidate();
  virtual void Update();
  void Repaint();
  void Refresh() { Repaint(); }
  void BringToFront();
  void SendToBack();
  win::POINT ClientToScreen(win::POINT Point) const;
  win::POINT ScreenToClient(win::POINT Point) const;
  // Offset of the client area's origin in the nearest window (the control's own window, or its
  // parent's for a graphic control).
  virtual win::POINT GetClientOrigin() const;

  TNotifyEvent OnClick;
  TNotifyEvent OnDblClick;
  TMouseEvent OnMouseDown;
  TMouseMoveEvent OnMouseMove;
  TMouseEvent OnMouseUp;
  TMouseWheelEvent OnMouseWheel;
  TMouseWheelUpDownEvent OnMouseWheelDown;
  TMouseWheelUpDownEvent OnMouseWheelUp;
  TNotifyEvent OnResize;
  TCanResizeEvent OnCanResize;
  TConstrainedResizeEvent OnConstrainedResize;
  TNotifyEvent OnStartDrag;
  TDragOverEvent OnDragOver;
  TDragDropEvent OnDragDrop;
  TEndDragEvent OnEndDrag;

 protected:
  virtual void Click();
  virtual void DblClick();
  virtual void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y);
  virtual void MouseMove(TShiftState Shift, int X, int Y);
  virtual void MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y);
  virtual bool DoMouseWheel(TShiftState Shift, int WheelDelta, win::POINT MousePos);
  virtual void DoStartDrag();
  virtual void DragOver(TObject* Source, int X, int Y, TDragState State, bool& Accept);
  virtual void DragDrop(TObject* Source, int X, int Y);
  virtual void DoEndDrag(TObject* Target, int X, int Y);
  virtual void Resize();
  virtual bool CanResize(int& NewWidth, int& NewHeight);
  virtual void ConstrainedResize(int& MinWidth, int& MinHeight, int& MaxWidth, int& MaxHeight);
  // A new size after CanResize (refused: the old size) and the constraints (0: none).
  void ConstrainSize(int& AWidth, int& AHeight);
  // Called when the font or colour changes; repaints.
  virtual void FontChanged();
  virtual void ColorChanged();
  virtual void VisibleChanged();
  // Takes the parent's font and colour where the control follows them.
  void ParentChanged();
  void SetControlStateItem(TControlStateItem Item, bool On);
  void Notification(TComponent* AComponent, TOperation Operation) override;
  friend class TWinControl;
  friend class DragSession;

 private:
  void HandleMouseMessage(TMessage& Message);
  // Shows PopupMenu for a context-menu request; false when the control has none to show.
  bool ShowPopupMenu(const TMessage& Message);
  static TShiftState ShiftFromKeys(win::WPARAM keys);

  TWinControl* parent_ = nullptr;  // not owned
  int left_ = 0;
  int top_ = 0;
  int width_ = 0;
  int height_ = 0;
  bool visible_ = true;
  bool enabled_ = true;
  TColor color_ = clWindow;
  bool parent_color_ = true;
  std::unique_ptr<TFont> font_;
  bool parent_font_ = true;
  TCursor cursor_ = crDefault;
  TPopupMenu* popup_menu_ = nullptr;  // not owned
  TCursor drag_cursor_ = crDrag;
  TDragMode drag_mode_ = dmManual;
  std::string caption_;
  std::string hint_;
  bool show_hint_ = false;
  TAlign align_ = alNone;
  TAnchors anchors_{akLeft, akTop};
  TControlStyle control_style_{csCaptureMouse, csClickEvents, csSetCaption, csDoubleClicks};
  TControlState control_state_;
};

// Window-creation parameters, filled by CreateParams before the window is made.
struct TCreateParams {
  std::string Caption;
  win::DWORD Style = 0;
  win::DWORD ExStyle = 0;
  int X = 0;
  int Y = 0;
  int Width = 0;
  int Height = 0;
  win::HWND WndParent = nullptr;
  std::string WinClassName;
  win::UINT WindowClassStyle = 0;
  // A system window class the control's window is made of; its procedure then handles what the
  // control leaves (DefaultHandler). Empty: the control's own class.
  std::string SubClassOf;
};

class TWinControl : public TControl {
 public:
  explicit TWinControl(TComponent* AOwner);
  ~TWinControl() override;
  void BeforeDestruction() override;

  // The window, made on first use (the parent's window first).
  win::HWND GetHandle();
  bool HandleAllocated() const { return handle_ != nullptr; }
  void HandleNeeded() { GetHandle(); }
  // Destroys the window (and its children's); the next use makes a new one.
  void DestroyHandle();

  int GetControlCount() const { return static_cast<int>(controls_.size()); }
  TControl* GetControl(int Index) const;
  // Places the visible aligned children: top, bottom, left and right ones along their sides in
  // that order (each kind in child order), then the client-aligned ones in what is left.
  void AlignControls();
  // The visible graphic (windowless) child at a client point, the topmost one, or nil.
  TControl* ControlAtPos(win::POINT Pos) const;

  void SetBounds(int ALeft, int ATop, int AWidth, int AHeight) override;
  void SetVisible(bool Value) override;
  void SetEnabled(bool Value) override;
  bool GetShowing() const override;
  void Invalidate() override;
  void Update() override;
  win::POINT GetClientOrigin() const override;

  // Kept for the controls that ask for it: every window already paints into its top-level
  // window's off-screen surface, which the display shows whole, so nothing flickers.
  bool GetDoubleBuffered() const { return double_buffered_; }
  void SetDoubleBuffered(bool Value) { double_buffered_ = Value; }
  bool GetTabStop() const { return tab_stop_; }
  void SetTabStop(bool Value) { tab_stop_ = Value; }
  bool CanFocus() const;
  bool Focused() const;
  void SetFocus();
  // Whether the focus is on this control's window or on a window inside it.
  bool ContainsFocus() const;

  // A pressed mouse button gives the focus to a control that has TabStop and can take it; a
  // control taking the focus becomes its form's active control.
  void WndProc(TMessage& Message) override;
  void DefaultHandler(TMessage& Message) override;

  TNotifyEvent OnEnter;
  TNotifyEvent OnExit;
  TKeyEvent OnKeyDown;
  TKeyPressEvent OnKeyPress;
  TKeyEvent OnKeyUp;

 protected:
  virtual void CreateParams(TCreateParams& Params);
  virtual void CreateWnd();
  virtual void DestroyWnd();
  // Paints the window's own pixels into the context; the base lets the default procedure do it.
  virtual void PaintWindow(win::HDC DC);
  // Paints the visible graphic children into the window's context.
  void PaintControls(win::HDC DC);
  virtual void KeyDown(std::uint16_t& Key, TShiftState Shift);
  virtual void KeyPress(char& Key);
  virtual void KeyUp(std::uint16_t& Key, TShiftState Shift);
  virtual void DoEnter();
  virtual void DoExit();
  void InsertControl(TControl* AControl);
  void RemoveControl(TControl* AControl);
  void FontChanged() override;
  void ColorChanged() override;
  friend class TControl;
  friend class TCustomForm;
  friend struct WindowBinding;

 private:
  void PaintHandler(TMessage& Message);
  void UpdateShowing();
  void SyncBoundsFromWindow();
  bool ForwardMouseToChild(TMessage& Message);
  void TakeFocusOnClick();
  void PassFocusToHolder();

  win::HWND handle_ = nullptr;
  win::WNDPROC default_procedure_ = nullptr;  // the system class's procedure of a subclassed window
  std::vector<TControl*> controls_;  // children in z-order, bottom first; not owned
  TControl* mouse_control_ = nullptr;  // graphic child holding the mouse between down and up
  bool aligning_ = false;
  bool tab_stop_ = false;
  bool double_buffered_ = false;
};

// The control of a window made by a control (nullptr for other windows).
TWinControl* FindControl(win::HWND Handle);

// A windowless control painted by its parent's window.
class TGraphicControl : public TControl {
 public:
  explicit TGraphicControl(TComponent* AOwner);
  ~TGraphicControl() override;
  TCanvas* GetCanvas() const { return canvas_.get(); }
  void WndProc(TMessage& Message) override;

 protected:
  virtual void Paint() {}

 private:
  std::unique_ptr<TControlCanvas> canvas_;
};

// A window with a canvas: WM_PAINT sets the canvas to the paint context and calls Paint.
class TCustomControl : public TWinControl {
 public:
  explicit TCustomControl(TComponent* AOwner);
  ~TCustomControl() override;
  TCanvas* GetCanvas() const { return canvas_.get(); }

 protected:
  virtual void Paint() {}
  void PaintWindow(win::HDC DC) override;
  void DestroyWnd() override;

 private:
  std::unique_ptr<TControlCanvas> canvas_;
};

}  // namespace dashtune
