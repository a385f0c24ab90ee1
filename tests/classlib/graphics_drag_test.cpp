// The class library's own dragging: start at once or past the threshold, enter, move and leave
// events on the controls under the pointer, drop on an accepting one, Escape and a freed target.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "classlib/controls.h"
#include "classlib/form.h"
#include "platform/user/messages.h"
#include "platform_test_support.h"
#include "platform/user/virtual_keys.h"

namespace dashtune {
namespace {

win::LPARAM Point(int x, int y) { return win::MAKELPARAM(static_cast<win::WORD>(x), static_cast<win::WORD>(y)); }

const char* StateName(TDragState state) {
  switch (state) {
    case dsDragEnter: return "enter";
    case dsDragLeave: return "leave";
    default: return "move";
  }
}

// A form far from other tests' windows with a source at (0, 0) and two targets beside it, each
// 50 by 50; every drag event is written to `log`.
class DragTest : public ::testing::Test {
 protected:
  void SetUp() override {
    form_ = std::make_unique<TForm>(nullptr);
    form_->SetBounds(3000, 3000, 300, 100);
    source_ = MakeChild(0);
    target_ = MakeChild(100);
    other_ = MakeChild(200);
    form_->Show();
    for (TControl* control : {static_cast<TControl*>(target_), static_cast<TControl*>(other_)}) {
      control->OnDragOver = [this, control](TObject*, TObject* source, int x, int y, TDragState state, bool& accept) {
        Log(Name(control) + " " + StateName(state) + " " + std::to_string(x) + "," + std::to_string(y) +
            (source == source_ ? "" : " ?"));
        accept = control == target_;
      };
      control->OnDragDrop = [this, control](TObject*, TObject*, int x, int y) {
        Log(Name(control) + " drop " + std::to_string(x) + "," + std::to_string(y));
      };
    }
    source_->OnStartDrag = [this](TObject*) { Log("start"); };
    source_->OnEndDrag = [this](TObject*, TObject* target, int x, int y) {
      Log(std::string("end ") + (target ? Name(static_cast<TControl*>(target)) : "nil") + " " + std::to_string(x) + "," +
          std::to_string(y));
    };
    source_->OnMouseUp = [this](TObject*, TMouseButton, TShiftState, int, int) { Log("mouse up"); };
    testing::PumpPending();
  }
  void TearDown() override {
    if (source_) source_->EndDrag(false);
    form_.reset();
  }

  TCustomControl* MakeChild(int left) {
    auto* child = new TCustomControl(form_.get());
    child->SetParent(form_.get());
    child->SetBounds(left, 0, 50, 50);
    return child;
  }
  std::string Name(const TControl* control) const {
    return control == target_ ? "target" : control == other_ ? "other" : "source";
  }
  void Log(const std::string& line) { log.push_back(line); }
  // Pointer input as the source's window receives it while it holds the capture.
  void Move(int x, int y) { win::PostMessageA(source_->GetHandle(), win::WM_MOUSEMOVE, win::MK_LBUTTON, Point(x, y)); }
  void Release(int x, int y) { win::PostMessageA(source_->GetHandle(), win::WM_LBUTTONUP, 0, Point(x, y)); }

  std::unique_ptr<TForm> form_;
  TCustomControl* source_ = nullptr;  // owned by the form
  TCustomControl* target_ = nullptr;
  TCustomControl* other_ = nullptr;
  std::vector<std::string> log;
};

TEST_F(DragTest, DropsOnTheAcceptingControlUnderThePointer) {
  source_->BeginDrag(true);
  EXPECT_TRUE(source_->Dragging());
  Move(210, 5);  // over "other", which refuses
  Move(110, 5);
  Move(112, 6);
  Release(112, 6);
  testing::PumpPending();
  const std::vector<std::string> expected{"start",          "other enter 10,5", "other leave -90,5", "target enter 10,5",
                                          "target move 12,6", "target drop 12,6", "end target 12,6"};
  EXPECT_EQ(log, expected);
  EXPECT_FALSE(source_->Dragging());
  EXPECT_FALSE(source_->GetMouseCapture());
}

TEST_F(DragTest, ReleasingOverARefusingControlEndsWithoutATarget) {
  source_->BeginDrag(true);
  Move(205, 5);
  Release(205, 5);
  testing::PumpPending();
  EXPECT_EQ(log, (std::vector<std::string>{"start", "other enter 5,5", "other leave 5,5", "end nil 5,5"}));
}

TEST_F(DragTest, EscapeCancelsTheDrag) {
  source_->BeginDrag(true);
  Move(110, 5);
  win::PostMessageA(source_->GetHandle(), win::WM_KEYDOWN, win::VK_ESCAPE, 0);
  Release(110, 5);
  testing::PumpPending();
  // The release after the drag is ordinary input again.
  EXPECT_EQ(log, (std::vector<std::string>{"start", "target enter 10,5", "target leave 10,5", "end nil 10,5",
                                           "mouse up"}));
}

TEST_F(DragTest, AReleaseBeforeTheThresholdRaisesNoDragEvent) {
  source_->SetDragMode(dmAutomatic);
  win::PostMessageA(source_->GetHandle(), win::WM_LBUTTONDOWN, win::MK_LBUTTON, Point(5, 5));
  Move(6, 5);
  Release(6, 5);
  testing::PumpPending();
  EXPECT_TRUE(log.empty());
  EXPECT_FALSE(source_->Dragging());
  EXPECT_FALSE(source_->GetMouseCapture());
}

TEST_F(DragTest, AutomaticModeStartsOnTheLeftButton) {
  source_->SetDragMode(dmAutomatic);
  win::PostMessageA(source_->GetHandle(), win::WM_LBUTTONDOWN, win::MK_LBUTTON, Point(5, 5));
  Move(110, 5);
  Release(110, 5);
  testing::PumpPending();
  EXPECT_EQ(log, (std::vector<std::string>{"start", "target enter 10,5", "target drop 10,5", "end target 10,5"}));
}

TEST_F(DragTest, AFreedTargetGetsNoFurtherEvents) {
  source_->BeginDrag(true);
  Move(110, 5);
  testing::PumpPending();
  delete target_;
  target_ = nullptr;
  Release(110, 5);
  testing::PumpPending();
  EXPECT_EQ(log, (std::vector<std::string>{"start", "target enter 10,5", "end nil 0,0"}));
}

}  // namespace
}  // namespace dashtune
