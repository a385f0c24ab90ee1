#include "classlib/lists.h"

#include <algorithm>

namespace dashtune {

void TList::RaiseIndexError(int index) { throw EListError(sysconst::SListIndexError, {index}); }

void TList::SetCapacity(int capacity) {
  if (capacity < GetCount() || capacity > MaxListSize) {
    throw EListError(sysconst::SListCapacityError, {capacity});
  }
  items_.reserve(static_cast<std::size_t>(capacity));
  capacity_ = capacity;
}

void TList::SetCount(int count) {
  if (count < 0 || count > MaxListSize) throw EListError(sysconst::SListCountError, {count});
  if (count > capacity_) SetCapacity(count);
  items_.resize(static_cast<std::size_t>(count), nullptr);
}

void TList::Put(int index, void* item) {
  CheckIndex(index, GetCount());
  items_[static_cast<std::size_t>(index)] = item;
}

int TList::Add(void* item) {
  int index = GetCount();
  Insert(index, item);
  return index;
}

void TList::Insert(int index, void* item) {
  CheckIndex(index, GetCount() + 1);
  if (GetCount() == capacity_) {
    // Grow like the classic list: by a quarter, at least 4, at most to MaxListSize.
    int grow = capacity_ > 64 ? capacity_ / 4 : (capacity_ > 8 ? 16 : 4);
    SetCapacity(std::min(capacity_ + grow, MaxListSize));
  }
  items_.insert(items_.begin() + index, item);
}

void TList::Delete(int index) {
  CheckIndex(index, GetCount());
  items_.erase(items_.begin() + index);
}

int TList::Remove(void* item) {
  int index = IndexOf(item);
  if (index >= 0) Delete(index);
  return index;
}

void* TList::Extract(void* item) {
  return Remove(item) >= 0 ? item : nullptr;
}

int TList::IndexOf(const void* item) const {
  auto it = std::find(items_.begin(), items_.end(), item);
  return it == items_.end() ? -1 : static_cast<int>(it - items_.begin());
}

void TList::Clear() {
  items_.clear();
  items_.shrink_to_fit();
  capacity_ = 0;
}

void TList::Exchange(int index1, int index2) {
  CheckIndex(index1, GetCount());
  CheckIndex(index2, GetCount());
  std::swap(items_[static_cast<std::size_t>(index1)], items_[static_cast<std::size_t>(index2)]);
}

void TList::Move(int current_index, int new_index) {
  if (current_index == new_index) return;
  CheckIndex(new_index, GetCount());
  void* item = Get(current_index);
  items_.erase(items_.begin() + current_index);
  items_.insert(items_.begin() + new_index, item);
}

void TList::Pack() { std::erase(items_, nullptr); }

void TList::Sort(const TListSortCompare& compare) {
  // Bottom-up merge sort: only "item2 before item1" is asked, so any answer keeps it in bounds.
  std::vector<void*> buffer(items_.size());
  for (std::size_t width = 1; width < items_.size(); width *= 2) {
    for (std::size_t left = 0; left < items_.size(); left += 2 * width) {
      std::size_t middle = std::min(left + width, items_.size());
      std::size_t right = std::min(left + 2 * width, items_.size());
      std::size_t i = left, j = middle, out = left;
      while (i < middle && j < right) {
        buffer[out++] = compare(items_[j], items_[i]) < 0 ? items_[j++] : items_[i++];
      }
      while (i < middle) buffer[out++] = items_[i++];
      while (j < right) buffer[out++] = items_[j++];
    }
    items_.swap(buffer);
  }
}

void* TList::First() const { return Get(0); }
void* TList::Last() const { return Get(GetCount() - 1); }

}  // namespace dashtune

namespace dashtune {

TList* TThreadList::LockList() {
  lock_.lock();
  return &list_;
}

void TThreadList::UnlockList() { lock_.unlock(); }

void TThreadList::Add(void* item) {
  std::lock_guard guard(lock_);
  if (duplicates_ != TDuplicates::dupAccept && list_.IndexOf(item) >= 0) {
    if (duplicates_ == TDuplicates::dupError) {
      throw EListError(sysconst::SDuplicateItem, {static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(item))});
    }
    return;
  }
  list_.Add(item);
}

void TThreadList::Remove(void* item) {
  std::lock_guard guard(lock_);
  list_.Remove(item);
}

void TThreadList::Clear() {
  std::lock_guard guard(lock_);
  list_.Clear();
}

}  // namespace dashtune
