// TTrackBar: a control over the system track bar ("msctls_trackbar32"): a thumb that marks
// Position within Min..Max and that the user drags with the mouse.
#pragma once

#include "classlib/controls.h"

namespace dashtune {

class TTrackBar : public TWinControl {
 public:
  explicit TTrackBar(TComponent* AOwner);

  int GetMin() const { return min_; }
  int GetMax() const { return max_; }
  // The thumb's position; while the window exists, where the user left it.
  int GetPosition() const;
  // Setters keep Min <= Position <= Max (a position outside is clamped); a Max below Min or a
  // Min above Max raises EInvalidOperation.
  void SetMin(int Value) { SetParams(GetPosition(), Value, max_); }
  void SetMax(int Value) { SetParams(GetPosition(), min_, Value); }
  void SetPosition(int Value) { SetParams(Value, min_, max_); }

  void WndProc(TMessage& Message) override;

  // Raised when the position changes, by a setter or by the user.
  TNotifyEvent OnChange;

 protected:
  void CreateParams(TCreateParams& Params) override;
  void CreateWnd() override;
  virtual void Changed();

 private:
  void SetParams(int APosition, int AMin, int AMax);
  // Takes a position the user moved the thumb to.
  void FollowWindow();

  int min_ = 0;
  int max_ = 10;
  int position_ = 0;
};

}  // namespace dashtune
