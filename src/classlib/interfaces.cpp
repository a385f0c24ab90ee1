#include "classlib/interfaces.h"

namespace dashtune {
namespace {

// The identity of a COM object is the IUnknown pointer its QueryInterface answers.
win::IUnknown* Identity(win::IUnknown* item) {
  if (!item) return nullptr;
  win::IUnknown* identity = nullptr;
  if (item->QueryInterface(win::IID_IUnknown, reinterpret_cast<void**>(&identity)) != win::S_OK || !identity) {
    return item;
  }
  identity->Release();
  return identity;
}

}  // namespace

void TInterfaceList::CheckIndex(int index, int count) const {
  if (index < 0 || index >= count) throw EListError(sysconst::SListIndexError, {index});
}

int TInterfaceList::GetCount() const {
  std::lock_guard guard(lock_);
  return static_cast<int>(items_.size());
}

TInterfaceList::Item TInterfaceList::Get(int index) const {
  std::lock_guard guard(lock_);
  CheckIndex(index, static_cast<int>(items_.size()));
  return items_[static_cast<std::size_t>(index)];
}

void TInterfaceList::Put(int index, Item item) {
  Item previous;  // released after the lock, in case its release calls back into this list
  {
    std::lock_guard guard(lock_);
    CheckIndex(index, static_cast<int>(items_.size()));
    previous = std::exchange(items_[static_cast<std::size_t>(index)], std::move(item));
  }
}

int TInterfaceList::Add(Item item) {
  std::lock_guard guard(lock_);
  items_.push_back(std::move(item));
  return static_cast<int>(items_.size()) - 1;
}

void TInterfaceList::Insert(int index, Item item) {
  std::lock_guard guard(lock_);
  CheckIndex(index, static_cast<int>(items_.size()) + 1);
  items_.insert(items_.begin() + index, std::move(item));
}

void TInterfaceList::Delete(int index) {
  Item removed;
  {
    std::lock_guard guard(lock_);
    CheckIndex(index, static_cast<int>(items_.size()));
    removed = std::move(items_[static_cast<std::size_t>(index)]);
    items_.erase(items_.begin() + index);
  }
}

int TInterfaceList::Remove(const Item& item) {
  Item removed;
  std::lock_guard guard(lock_);
  int index = IndexOf(item);
  if (index >= 0) {
    removed = std::move(items_[static_cast<std::size_t>(index)]);
    items_.erase(items_.begin() + index);
  }
  return index;
}

int TInterfaceList::IndexOf(const Item& item) const {
  std::lock_guard guard(lock_);
  win::IUnknown* wanted = Identity(item.Get());
  for (std::size_t i = 0; i < items_.size(); ++i) {
    if (Identity(items_[i].Get()) == wanted) return static_cast<int>(i);
  }
  return -1;
}

void TInterfaceList::Clear() {
  std::vector<Item> removed;
  {
    std::lock_guard guard(lock_);
    removed.swap(items_);
  }
}

void TInterfaceList::Exchange(int index1, int index2) {
  std::lock_guard guard(lock_);
  CheckIndex(index1, static_cast<int>(items_.size()));
  CheckIndex(index2, static_cast<int>(items_.size()));
  std::swap(items_[static_cast<std::size_t>(index1)], items_[static_cast<std::size_t>(index2)]);
}

TInterfaceList::Item TInterfaceList::First() const { return Get(0); }

TInterfaceList::Item TInterfaceList::Last() const {
  std::lock_guard guard(lock_);
  return Get(static_cast<int>(items_.size()) - 1);
}

}  // namespace dashtune
