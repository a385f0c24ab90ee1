// Drag and drop inside the program: windows register a drop target, and DoDragDrop runs a local
// loop on the calling thread's queue that follows the pointer, the buttons and Escape, calling
// the target registered for the window under the pointer. Drags to or from other programs are
// not supported.
#pragma once

#include "platform/com/unknown.h"
#include "platform/core/types.h"
#include "platform/ole/data_object.h"

namespace win {

using DROPEFFECT = DWORD;
constexpr DROPEFFECT DROPEFFECT_NONE = 0;
constexpr DROPEFFECT DROPEFFECT_COPY = 1;
constexpr DROPEFFECT DROPEFFECT_MOVE = 2;
constexpr DROPEFFECT DROPEFFECT_LINK = 4;
constexpr DROPEFFECT DROPEFFECT_SCROLL = 0x80000000;

constexpr HRESULT DRAGDROP_S_DROP = MakeHresult(0x00040100);
constexpr HRESULT DRAGDROP_S_CANCEL = MakeHresult(0x00040101);
constexpr HRESULT DRAGDROP_S_USEDEFAULTCURSORS = MakeHresult(0x00040102);
constexpr HRESULT DRAGDROP_E_NOTREGISTERED = MakeHresult(0x80040100);
constexpr HRESULT DRAGDROP_E_ALREADYREGISTERED = MakeHresult(0x80040101);
constexpr HRESULT DRAGDROP_E_INVALIDHWND = MakeHresult(0x80040102);

// Key state bits passed to sources and targets (the mouse messages' MK_ bits and Alt).
constexpr DWORD MK_ALT = 0x0020;

struct POINTL {
  LONG x = 0;
  LONG y = 0;
};

class IDropSource : public IUnknown {
 public:
  static constexpr IID iid = MakeGuid("00000121-0000-0000-C000-000000000046");
  // S_OK goes on, DRAGDROP_S_DROP drops, DRAGDROP_S_CANCEL (or a failure) cancels.
  virtual HRESULT QueryContinueDrag(BOOL escape_pressed, DWORD key_state) = 0;
  virtual HRESULT GiveFeedback(DROPEFFECT effect) = 0;

 protected:
  ~IDropSource() = default;
};

class IDropTarget : public IUnknown {
 public:
  static constexpr IID iid = MakeGuid("00000122-0000-0000-C000-000000000046");
  // Points are in screen coordinates; effect comes in as the source's allowed effects and goes
  // out as what the target would do.
  virtual HRESULT DragEnter(IDataObject* data, DWORD key_state, POINTL point, DROPEFFECT* effect) = 0;
  virtual HRESULT DragOver(DWORD key_state, POINTL point, DROPEFFECT* effect) = 0;
  virtual HRESULT DragLeave() = 0;
  virtual HRESULT Drop(IDataObject* data, DWORD key_state, POINTL point, DROPEFFECT* effect) = 0;

 protected:
  ~IDropTarget() = default;
};

constexpr IID IID_IDropSource = IDropSource::iid;
constexpr IID IID_IDropTarget = IDropTarget::iid;

// Needs OleInitialize on the calling thread (E_OUTOFMEMORY otherwise, as the platform answers).
// The registration holds a reference to the target until it is revoked.
HRESULT RegisterDragDrop(HWND window, IDropTarget* target);
HRESULT RevokeDragDrop(HWND window);

// Runs the drag until the source drops or cancels: DRAGDROP_S_DROP (with the target's final
// effect) or DRAGDROP_S_CANCEL (effect DROPEFFECT_NONE). A WM_QUIT met meanwhile cancels the
// drag and is posted again for the outer loop. Input during the drag goes to the drag, not to
// windows; other messages are dispatched as usual.
HRESULT DoDragDrop(IDataObject* data, IDropSource* source, DROPEFFECT allowed, DROPEFFECT* effect);

}  // namespace win
