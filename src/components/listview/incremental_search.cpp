#include "components/listview/incremental_search.h"

#include <algorithm>
#include <unordered_map>
#include <utility>

#include "classlib/forms.h"
#include "classlib/sysutils.h"
#include "components/listview/listview.h"
#include "platform/core/code_pages.h"
#include "platform/user/input_state.h"
#include "platform/user/timers.h"

namespace dashtune {

namespace {

// The searches whose reset timer runs, by timer id.
std::unordered_map<win::UINT_PTR, TTouchIncrementalSearchManager*>& SearchTimers() {
  static std::unordered_map<win::UINT_PTR, TTouchIncrementalSearchManager*> timers;
  return timers;
}

bool StartsSearch(std::uint16_t key) { return (key >= '0' && key <= '9') || (key >= 'A' && key <= 'Z'); }

// A typed byte as a wide character, read through the keyboard layout's code page (the process's
// ANSI code page when the layout's is unknown); 0 when it stands for none.
char16_t KeyCharToWide(char key) {
  win::UINT code_page = win::KeyboardCodePage();
  if (!win::IsValidCodePage(code_page)) code_page = win::GetACP();
  char16_t wide[2] = {};
  return win::MultiByteToWideChar(code_page, 0, &key, 1, wide, 2) == 1 ? wide[0] : u'\0';
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
  const char16_t typed = KeyCharToWide(Key);
  if (typed == u'\0') return;
  search_buffer_ += typed;
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
