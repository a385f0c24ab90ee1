// Counted objects and lists of interfaces: TInterfacedObject and TInterfaceList.
#pragma once

#include <mutex>
#include <vector>

#include "classlib/lists.h"
#include "platform/com/com_ptr.h"
#include "platform/com/unknown.h"

namespace dashtune {

// A class-library object that implements the listed interfaces and is freed by its last
// Release. It starts with a count of 0: hold it in a win::ComPtr at once, never delete it.
template <class... Interfaces>
class TInterfacedObjectOf : public TObject, public win::ComObject<Interfaces...> {
 protected:
  ~TInterfacedObjectOf() override = default;
};

// The plain counted object, implementing IUnknown only.
using TInterfacedObject = TInterfacedObjectOf<win::IUnknown>;

// A list of interface references; the list holds one reference per entry. Every operation takes
// the list's re-entrant lock; Lock and Unlock bracket a series of operations.
class TInterfaceList : public TObject {
 public:
  using Item = win::ComPtr<win::IUnknown>;

  int GetCount() const;
  // An index outside 0..Count-1 raises EListError.
  Item Get(int index) const;
  void Put(int index, Item item);
  Item operator[](int index) const { return Get(index); }
  // Appends and answers the index.
  int Add(Item item);
  // Index may equal Count.
  void Insert(int index, Item item);
  void Delete(int index);
  // Removes the first entry for the same object and answers its former index, or -1.
  int Remove(const Item& item);
  // The index of the first entry for the same object (compared by IUnknown identity), or -1.
  int IndexOf(const Item& item) const;
  void Clear();
  void Exchange(int index1, int index2);
  // An empty list raises EListError.
  Item First() const;
  Item Last() const;

  void Lock() { lock_.lock(); }
  void Unlock() { lock_.unlock(); }

 private:
  void CheckIndex(int index, int count) const;

  mutable std::recursive_mutex lock_;
  std::vector<Item> items_;
};

}  // namespace dashtune
