// TList: the class library's list of untyped pointers. The list never owns what it holds.
#pragma once

#include <functional>
#include <mutex>
#include <string_view>
#include <vector>

#include "classlib/sysutils.h"

namespace dashtune {

namespace sysconst {
inline constexpr std::string_view SListIndexError = "Listenindex überschreitet das Maximum (%d)";
inline constexpr std::string_view SListCapacityError = "Listenkapazität überschreitet das Maximum (%d)";
inline constexpr std::string_view SListCountError = "Listenzähler überschreitet das Maximum (%d)";
}  // namespace sysconst

// What a sorted or duplicate-free list does with an item it already holds.
enum class TDuplicates { dupIgnore, dupAccept, dupError };

// Compares two items: negative, 0 or positive.
using TListSortCompare = std::function<int(void* item1, void* item2)>;

class TList : public TObject {
 public:
  // The largest count and capacity a list accepts.
  static constexpr int MaxListSize = 0x7FFFFFF;

  int GetCount() const { return static_cast<int>(items_.size()); }
  // Growing fills with nil; a negative count or one above MaxListSize raises EListError.
  void SetCount(int count);
  int GetCapacity() const { return capacity_; }
  // A capacity below the count or above MaxListSize raises EListError.
  void SetCapacity(int capacity);

  // An index outside 0..Count-1 raises EListError. Inline: walks over large lists read through it.
  void* Get(int index) const {
    CheckIndex(index, GetCount());
    return items_[static_cast<std::size_t>(index)];
  }
  void Put(int index, void* item);
  void* operator[](int index) const { return Get(index); }

  int Add(void* item);
  // Index may equal Count (appends).
  void Insert(int index, void* item);
  void Delete(int index);
  // Removes the first occurrence; answers its former index or -1.
  int Remove(void* item);
  // Removes the first occurrence and answers it, or nil when the item is not there.
  void* Extract(void* item);
  int IndexOf(const void* item) const;
  void Clear();
  void Exchange(int index1, int index2);
  void Move(int current_index, int new_index);
  // Removes every nil item.
  void Pack();
  // Stable sort; a comparison that contradicts itself gives some order, never a fault.
  void Sort(const TListSortCompare& compare);
  // An empty list raises EListError.
  void* First() const;
  void* Last() const;

 private:
  void CheckIndex(int index, int count) const {
    if (index < 0 || index >= count) RaiseIndexError(index);
  }
  [[noreturn]] static void RaiseIndexError(int index);

  std::vector<void*> items_;
  int capacity_ = 0;
};

// A TList behind a re-entrant lock: LockList gives the list to one thread at a time (the same
// thread may lock again); every LockList needs its UnlockList.
class TThreadList : public TObject {
 public:
  TList* LockList();
  void UnlockList();

  // Each takes the lock for the call. Add of an item already there follows Duplicates:
  // ignored (the default), added again, or refused with EListError.
  void Add(void* item);
  void Remove(void* item);
  void Clear();

  TDuplicates GetDuplicates() const { return duplicates_; }
  void SetDuplicates(TDuplicates value) { duplicates_ = value; }

 private:
  std::recursive_mutex lock_;
  TList list_;
  TDuplicates duplicates_ = TDuplicates::dupIgnore;
};

namespace sysconst {
inline constexpr std::string_view SDuplicateItem = "Liste erlaubt keine Duplikate ($0%x)";
}  // namespace sysconst

}  // namespace dashtune
