// Type-ahead search: letters and digits typed within ResetTime of each other build a search
// text, and the focus moves to the first item, from a starting item on, that the application's
// comparison accepts.
#pragma once

#include <cstdint>

#include "classlib/controls.h"
#include "components/listview/collection.h"

namespace dashtune {

enum TTouchIncrementalSearchDir : int { eisdForward, eisdBackward };
enum TTouchIncrementalSearchItemType : int { eisiAll, eisiInitializedOnly, eisiVisible };
enum TTouchIncrementalSearchStart : int { eissStartOver, eissLastHit, eissFocusedNode };

namespace listview {
inline constexpr char kCanNotDestroySearchTimer[] = "Can not Destroy Incremental Search Timer";
}  // namespace listview

class TTouchIncrementalSearchManager : public TTouchOwnedPersistent {
 public:
  explicit TTouchIncrementalSearchManager(TCustomTouchListview* AOwner) : TTouchOwnedPersistent(AOwner) {}
  // Stops the reset timer without raising.
  ~TTouchIncrementalSearchManager() override;

  TTouchIncrementalSearchDir GetDirection() const { return direction_; }
  void SetDirection(TTouchIncrementalSearchDir Value) { direction_ = Value; }
  bool GetEnabled() const { return enabled_; }
  void SetEnabled(bool Value) { enabled_ = Value; }
  TTouchIncrementalSearchItemType GetItemType() const { return item_type_; }
  void SetItemType(TTouchIncrementalSearchItemType Value) { item_type_ = Value; }
  // Milliseconds of silence after which the next key starts a new search.
  int GetResetTime() const { return reset_time_; }
  void SetResetTime(int Value) { reset_time_ = Value; }
  TTouchIncrementalSearchStart GetStartType() const { return start_type_; }
  void SetStartType(TTouchIncrementalSearchStart Value) { start_type_ = Value; }

  const WideString& GetSearchBuffer() const { return search_buffer_; }
  // The current hit (where the next comparison starts); nullptr for none.
  TTouchItem* GetSearchItem() const { return search_item_; }
  bool GetSearching() const { return searching_; }
  // The reset timer's id (0 while it does not run).
  win::UINT_PTR GetTimerID() const { return timer_id_; }

  // A letter or digit without Ctrl and Alt starts a search unless one runs.
  void KeyDown(std::uint16_t Key, TShiftState Shift);
  // While a search runs: extends the text and moves to the first matching item.
  void KeyPress(char Key);
  void ResetSearch() { search_item_ = nullptr; }
  // Ends a running search as the reset timer does; nothing when none runs. Raises
  // "Can not Destroy Incremental Search Timer" when the platform refuses to kill the timer.
  void EndSearch();
  // Forgets an item that is being freed.
  void Forget(TTouchCollectionItem* Object);

 private:
  TTouchItem* FirstOfKind() const;
  TTouchItem* NextOfKind(TTouchItem* Item) const;
  TTouchItem* StartItem() const;
  void StartTimer();
  // Kills the timer; false when the platform refused.
  bool StopTimer();
  static void TimerProc(win::HWND, win::UINT, win::UINT_PTR Id, win::DWORD);

  TTouchIncrementalSearchDir direction_ = eisdForward;
  bool enabled_ = false;
  win::UINT_PTR timer_id_ = 0;
  TTouchIncrementalSearchItemType item_type_ = eisiVisible;
  int reset_time_ = 2000;
  WideString search_buffer_;
  TTouchItem* search_item_ = nullptr;  // not owned; forgotten when freed
  TTouchItem* candidate_ = nullptr;    // not owned: the item being compared
  TTouchIncrementalSearchStart start_type_ = eissStartOver;
  bool searching_ = false;
};

}  // namespace dashtune
