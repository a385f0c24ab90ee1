// Helpers of the list view tests: a control on a shown form (so it has a window), a
// grid stand-in that counts layouts and places cells in rows, and byte helpers for streams.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "classlib/form.h"
#include "classlib/streams.h"
#include "components/listview/listview.h"

namespace dashtune::testing {

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

// "(left,top,right,bottom)", for comparing rectangles with readable failures.
std::string ShowRect(const win::RECT& rect);
#define EXPECT_RECT(actual, l, t, r, b) \
  EXPECT_EQ(::dashtune::testing::ShowRect(actual), ::dashtune::testing::ShowRect(win::RECT{l, t, r, b}))

std::vector<std::uint8_t> BytesOf(TMemoryStream& stream);
void WriteBytes(TMemoryStream& stream, const std::vector<std::uint8_t>& bytes);

}  // namespace dashtune::testing
