// The hint window: a small top-level window that shows a text near the pointer, sized by
// CalcHintRect and shown without taking the focus by ActivateHint.
#pragma once

#include <string>

#include "classlib/controls.h"
#include "platform/user/messages.h"

namespace dashtune {

class THintWindow : public TCustomControl {
 public:
  explicit THintWindow(TComponent* AOwner);

  // Shows the hint text in the rectangle (screen coordinates), on top, without activation.
  virtual void ActivateHint(const win::RECT& Rect, const std::string& AHint);
  // As ActivateHint; descendants use the data.
  virtual void ActivateHintData(const win::RECT& Rect, const std::string& AHint, void* AData);
  // The rectangle the text needs at most MaxWidth wide, word-wrapped, plus 6 pixels in width and
  // 2 in height, at (0, 0).
  virtual win::RECT CalcHintRect(int MaxWidth, const std::string& AHint, void* AData);
  // Whether a message (a key, a mouse button or wheel, a command) ends the hint.
  virtual bool IsHintMsg(const win::MSG& Msg);
  void ReleaseHandle();

 protected:
  void CreateParams(TCreateParams& Params) override;
  // The text, word-wrapped, inset by 2 pixels at the left and top.
  void Paint() override;
};

}  // namespace dashtune
