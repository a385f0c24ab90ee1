// List view test support: a host form, canvases and items set up the way the list view tests share.
#include "listview_test_support.h"

#include "classlib/bitmap.h"

namespace dashtune::testing {

ListviewOnForm::ListviewOnForm(int width, int height) : form(std::make_unique<TForm>(nullptr)) {
  form->SetBounds(0, 0, width + 20, height + 20);
  listview = new TTouchListview(form.get());
  listview->SetParent(form.get());
  listview->SetBounds(0, 0, width, height);
  listview->HandleNeeded();
}

void TCountingGrid::Rebuild(TTouchGroup* PrevGroup, int& NextVisibleItemIndex) {
  ++*counter_;
  TTouchGroup* group = GetOwnerGroup();
  const TTouchCellSize* cell = GetOwnerListview()->GetCellSizes()->GetTile();
  const int top = PrevGroup ? PrevGroup->GetDisplayRect().bottom : 0;
  const int per_row = std::max(GetOwnerListview()->GetClientWidth() / cell->GetWidth(), 1);
  group->GetItems()->StartVisibleList();
  int placed = 0;
  for (int i = 0; i < group->GetItemCount(); ++i) {
    TTouchItem* item = group->GetItem(i);
    if (!item->GetVisible()) {
      item->SetVisibleIndexInGroup(-1);
      continue;
    }
    const int x = placed % per_row * cell->GetWidth();
    const int y = top + placed / per_row * cell->GetHeight();
    item->SetDisplayRect({x, y, x + cell->GetWidth(), y + cell->GetHeight()});
    item->SetVisibleIndexInGroup(placed++);
    item->SetVisibleIndex(NextVisibleItemIndex++);
    group->GetItems()->AddVisible(item);
  }
  SetColumnCount(placed > 0 ? per_row : 0);
  SetRowCount(placed > 0 ? (placed + per_row - 1) / per_row : 0);
  const int rows = GetRowCount();
  group->SetDisplayRect({0, top, per_row * cell->GetWidth(), top + rows * cell->GetHeight()});
}

void AddSolidImage(TCustomImageList& list, int side) {
  list.SetWidth(side);
  list.SetHeight(side);
  TBitmap image;
  image.SetPixelFormat(pf24bit);
  image.SetSize(side, side);
  image.GetCanvas()->GetBrush()->SetColor(clRed);
  image.GetCanvas()->FillRect(win::RECT{0, 0, side, side});
  list.Add(&image, nullptr);
}

std::string ShowRect(const win::RECT& rect) {
  return "(" + std::to_string(rect.left) + "," + std::to_string(rect.top) + "," + std::to_string(rect.right) + "," +
         std::to_string(rect.bottom) + ")";
}

std::vector<std::uint8_t> BytesOf(TMemoryStream& stream) {
  const auto* data = stream.GetMemory();
  return std::vector<std::uint8_t>(data, data + stream.GetSize());
}

void WriteBytes(TMemoryStream& stream, const std::vector<std::uint8_t>& bytes) {
  stream.Clear();
  if (!bytes.empty()) stream.WriteBuffer(bytes.data(), static_cast<int>(bytes.size()));
  stream.SetPosition(0);
}

}  // namespace dashtune::testing
