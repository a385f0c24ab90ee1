#include "components/listview/incremental_search.h"

#include <algorithm>
#include <unordered_map>
#include <utility>

#include "classlib/forms.h"
#include "classlib/sysutils.h"
#include "components/listview/listview.h"
#include "platform/user/timers.h"

namespace dashtune {

namespace {

// The searches whose reset timer runs, by timer id.
std::unordered_map<win::UINT_PTR, TTouchIncrementalSearchManager*>& SearchTimers() {
  static std::unordered_map<win::UINT_PTR, TTouchIncrementalSearchManager*> timers;
  return timers;
}

bool StartsSearch(std::uint16_t key) { return (key >= '0' && key <= '9') || (key >= 'A' && key <= 'Z'); }

// Characters 0x80 to 0x9F of code page 1252, the keyboard layout's code page; the rest of the
// upper half is Latin-1.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

char16_t KeyCharToWide(char key) {
  const auto byte = static_cast<unsigned char>(key);
  if (byte >= 0x80 && byte < 0xA0) return kCp1252High[byte - 0x80];
  return byte;
}

}  // namespace

TTouchIncrementalSearchManager::~TTouchIncrementalSearchManager() { StopTimer(); }

TTouchItem* TTouchIncrementalSearchManager::FirstOfKind() const {
  const TTouchGroups* groups = GetOwnerListview()->GetGroups();
  const bool forward = direction_ == eisdForward;
  switch (item_type_) {
    case eisiAll: return forward ? groups->FirstItem() : groups->LastItem();
    case eisiInitializedOnly: return forward ? groups->FirstInitializedItem() : groups->LastInitializedItem();
    default: return forward ? groups->FirstVisibleItem() : groups->LastVisibleItem();
  }
}

TTouchItem* TTouchIncrementalSearchManager::NextOfKind(TTouchItem* Item) const {
  const TTouchGroups* groups = GetOwnerListview()->GetGroups();
  const bool forward = direction_ == eisdForward;
  switch (item_type_) {
    case eisiAll: return forward ? groups->NextItem(Item) : groups->PrevItem(Item);
    case eisiInitializedOnly: return forward ? groups->NextInitializedItem(Item) : groups->PrevInitializedItem(Item);
    default: return forward ? groups->NextVisibleItem(Item) : groups->PrevVisibleItem(Item);
  }
}

TTouchItem* TTouchIncrementalSearchManager::StartItem() const {
  TTouchItem* start = nullptr;
  if (start_type_ == eissLastHit) start = search_item_;
  if (start_type_ == eissFocusedNode) start = GetOwnerListview()->GetSelection()->GetFocusedItem();
  return start ? start : FirstOfKind();
}

void TTouchIncrementalSearchManager::KeyDown(std::uint16_t Key, TShiftState Shift) {
  if (!enabled_ || Shift.Contains(ssCtrl) || Shift.Contains(ssAlt) || !StartsSearch(Key)) return;
  if (searching_) return;
  search_item_ = StartItem();
  StartTimer();
  searching_ = true;
}

void TTouchIncrementalSearchManager::KeyPress(char Key) {
  if (!searching_) return;
  StartTimer();
  search_buffer_ += KeyCharToWide(Key);
  if (search_item_ == nullptr || search_buffer_ == u"\r") return;
  TCustomTouchListview* control = GetOwnerListview();
  TTouchItem* previous = search_item_;
  candidate_ = search_item_;
  int result = 0;
  control->DoIncrementalSearch(candidate_, search_buffer_, result);
  while (result != 0 && candidate_ != nullptr) {
    candidate_ = NextOfKind(candidate_);
    if (candidate_ == nullptr) break;
    control->DoIncrementalSearch(candidate_, search_buffer_, result);
  }
  TTouchItem* hit = std::exchange(candidate_, nullptr);
  // A handler may have freed the starting item meanwhile (Forget cleared it).
  if (search_item_ != previous) previous = nullptr;
  if (hit == nullptr) {
    search_item_ = start_type_ != eissStartOver ? previous : nullptr;
    return;
  }
  search_item_ = hit;
  control->GetSelection()->ClearAll();
  hit->SetFocused(true);
  hit->SetSelected(true);
  hit->MakeVisible(3);
}

void TTouchIncrementalSearchManager::EndSearch() {
  if (!searching_) return;
  search_buffer_.clear();
  if (start_type_ != eissLastHit) search_item_ = nullptr;
  searching_ = false;
  if (!StopTimer()) throw Exception(listview::kCanNotDestroySearchTimer);
}

void TTouchIncrementalSearchManager::Forget(TTouchCollectionItem* Object) {
  if (search_item_ == Object) search_item_ = nullptr;
  if (candidate_ == Object) candidate_ = nullptr;
}

void TTouchIncrementalSearchManager::StartTimer() {
  StopTimer();
  timer_id_ = win::SetTimer(nullptr, 0, static_cast<win::UINT>(std::max(reset_time_, 0)), TimerProc);
  if (timer_id_ != 0) SearchTimers()[timer_id_] = this;
}

bool TTouchIncrementalSearchManager::StopTimer() {
  if (timer_id_ == 0) return true;
  const win::UINT_PTR id = std::exchange(timer_id_, 0);
  SearchTimers().erase(id);
  return win::KillTimer(nullptr, id) != win::FALSE;
}

void TTouchIncrementalSearchManager::TimerProc(win::HWND, win::UINT, win::UINT_PTR Id, win::DWORD) {
  auto it = SearchTimers().find(Id);
  if (it == SearchTimers().end()) return;
  TTouchIncrementalSearchManager* manager = it->second;
  try {
    manager->EndSearch();
  } catch (...) {
    if (Application != nullptr)
      Application->HandleException(manager->GetOwnerListview());
    else
      ShowException(std::current_exception());
  }
}

}  // namespace dashtune
