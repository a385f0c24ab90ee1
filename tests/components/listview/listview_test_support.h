// Helpers of the list view tests: a control on a shown form (so it has a window), a
// grid stand-in that counts layouts and places cells in rows, and byte helpers for streams.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "classlib/form.h"
#include "classlib/imagelist.h"
#include "classlib/messages.h"
#include "classlib/streams.h"
#include "components/listview/listview.h"
#include "platform/user/messages.h"
#include "platform/user/window.h"

namespace dashtune::testing {

// Runs steps from inside a local loop (an edit or menu loop): each is a message to a hidden
// window, handled in turn.
class InsideLoop {
 public:
  InsideLoop()
      : window_(AllocateHWnd([this](TMessage& Message) {
          if (Message.Msg == win::WM_USER && Message.WParam < steps_.size()) {
            const std::function<void()> step = steps_[Message.WParam];  // a step may add steps
            step();
            return;
          }
          Message.Result = win::DefWindowProcA(window_, Message.Msg, Message.WParam, Message.LParam);
        })) {}
  ~InsideLoop() { DeallocateHWnd(window_); }
  InsideLoop(const InsideLoop&) = delete;
  InsideLoop& operator=(const InsideLoop&) = delete;
  void Then(std::function<void()> step) {
    steps_.push_back(std::move(step));
    win::PostMessageA(window_, win::WM_USER, steps_.size() - 1, 0);
  }

 private:
  win::HWND window_;
  std::vector<std::function<void()>> steps_;
};

// A form with a list view child of the given client size; the list view has a window.
struct ListviewOnForm {
  explicit ListviewOnForm(int width = 400, int height = 300);
  std::unique_ptr<TForm> form;
  TTouchListview* listview;  // owned by the form
};

// Lays out a group's items in rows of cells of the control's tile size and counts its layouts.
class TCountingGrid : public TTouchGridGroup {
 public:
  TCountingGrid(TCustomTouchListview* AOwner, TTouchGroup* AGroup, int* counter)
      : TTouchGridGroup(AOwner, AGroup), counter_(counter) {}
  void Rebuild(TTouchGroup* PrevGroup, int& NextVisibleItemIndex) override;
  TTouchCellSize* GetCellSize() const override { return GetOwnerListview()->GetCellSizes()->GetTile(); }

 private:
  int* counter_;
};

// Gives an image list one solid red image of side x side pixels.
void AddSolidImage(TCustomImageList& list, int side);

// "(left,top,right,bottom)", for comparing rectangles with readable failures.
std::string ShowRect(const win::RECT& rect);
#define EXPECT_RECT(actual, l, t, r, b) \
  EXPECT_EQ(::dashtune::testing::ShowRect(actual), ::dashtune::testing::ShowRect(win::RECT{l, t, r, b}))

std::vector<std::uint8_t> BytesOf(TMemoryStream& stream);
// The stream record of a new item with nothing set, saved as version 4.
inline const std::vector<std::uint8_t> kNewItemRecord = {0xFF, 0xFE, 0xCE, 0x00, 0x04, 0x00, 0x00, 0x00, 0x00, 0x11};
void WriteBytes(TMemoryStream& stream, const std::vector<std::uint8_t>& bytes);

}  // namespace dashtune::testing
