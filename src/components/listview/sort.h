// Sorting: the sort manager sorts the groups and the items inside each group on request or
// whenever the control's last EndUpdate comes, and can distribute the items into groups by a
// key. The algorithm is a replaceable sorter object (quick, bubble or merge sort).
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <type_traits>
#include <vector>

#include "components/listview/collection.h"
#include "platform/com/guid.h"
#include "platform/com/unknown.h"

namespace dashtune {

// Implemented by the data objects of members that compare themselves.
class ITouchItemComparer : public win::IUnknown {
 public:
  static constexpr win::IID iid = win::MakeGuid("A17BF843-31E8-4639-9DD9-159E8D22BB5F");
  // Negative when this object sorts before Other.
  virtual int Compare(win::IUnknown* Other, TTouchColumn* Column) = 0;

 protected:
  ~ITouchItemComparer() = default;
};

class TTouchSortManager;

// A method pointer: a callable that the caller keeps alive for the call it is passed to. Sorting
// compares millions of times, so the pointer costs one indirect call and no allocation.
template <class Signature>
class TMethodRef;
template <class R, class... Args>
class TMethodRef<R(Args...)> {
 public:
  TMethodRef() = default;
  TMethodRef(std::nullptr_t) {}
  template <class F>
    requires(!std::is_same_v<std::remove_cvref_t<F>, TMethodRef>)
  TMethodRef(F& callable)
      : object_(const_cast<void*>(static_cast<const void*>(&callable))), call_([](void* object, Args... args) -> R {
          return (*static_cast<F*>(object))(std::forward<Args>(args)...);
        }) {}
  explicit operator bool() const { return call_ != nullptr; }
  R operator()(Args... args) const { return call_(object_, std::forward<Args>(args)...); }

 private:
  void* object_ = nullptr;
  R (*call_)(void*, Args...) = nullptr;
};

using TTouchGroupCompareMethod = TMethodRef<int(TTouchColumn* Column, TTouchGroup* Item1, TTouchGroup* Item2)>;
using TTouchItemCompareMethod = TMethodRef<int(TTouchColumn* Column, TTouchGroup* Group, TTouchItem* Item1, TTouchItem* Item2)>;

// Reorders a range of a collection's members in place.
class TTouchSorter : public TObject {
 public:
  explicit TTouchSorter(TTouchSortManager* AOwner) : owner_(AOwner) {}
  TTouchSortManager* GetOwner() const { return owner_; }

  // Sorts members Min..Max (Max cut to the last index) by the comparison chosen once: the
  // members' comparer interfaces, else GroupCompare, else ItemCompare, else the captions.
  // Every member's Index is set to its new position afterwards.
  void Sort(TTouchColumn* Column, TTouchCollection* Collection, int Min, int Max,
            const TTouchGroupCompareMethod& GroupCompare, const TTouchItemCompareMethod& ItemCompare,
            bool UseInterfaces);
  // Sorts items by the control's OnItemCompare (assigned), called straight for each comparison.
  void SortByEvent(TTouchColumn* Column, TTouchItems* Items, TCustomTouchListview* Sender,
                   const TTouchItemCompareEvent& ItemCompare, bool UseInterfaces);

  using Member = TTouchCollectionItem*;
  // The comparison chosen for one sort: negative when A sorts before B.
  struct Comparison {
    enum Kind { kInterfaces, kGroupMethod, kItemMethod, kItemEvent, kCaptions } kind;
    TTouchColumn* column;
    TTouchGroup* group;
    const TTouchGroupCompareMethod* group_compare = nullptr;
    const TTouchItemCompareMethod* item_compare = nullptr;
    const TTouchItemCompareEvent* item_event = nullptr;
    TCustomTouchListview* sender = nullptr;
  };

 protected:
  // Sorts Members in place by the comparison.
  virtual void SortRange(std::vector<Member>& Members, const Comparison& Compare) = 0;

 private:
  // Sorts members Min..Max of the collection by the comparison and re-indexes them.
  void SortMembers(TTouchCollection* Collection, int Min, int Max, const Comparison& Compare);
  TTouchSortManager* owner_;  // not owned: it owns the sorter
};

// Quicksort around the middle element; not stable.
class TTouchQuickSort : public TTouchSorter {
 public:
  using TTouchSorter::TTouchSorter;

 protected:
  void SortRange(std::vector<Member>& Members, const Comparison& Compare) override;
};

// A two-way carrying sort; equal members keep their order.
class TTouchBubbleSort : public TTouchSorter {
 public:
  using TTouchSorter::TTouchSorter;

 protected:
  void SortRange(std::vector<Member>& Members, const Comparison& Compare) override;
};

// Top-down merge sort with a buffer of half the range; equal members keep their order.
class TTouchMergeSort : public TTouchSorter {
 public:
  using TTouchSorter::TTouchSorter;

 protected:
  void SortRange(std::vector<Member>& Members, const Comparison& Compare) override;
};

class TTouchSortManager : public TTouchOwnedPersistent {
 public:
  explicit TTouchSortManager(TCustomTouchListview* AOwner);
  ~TTouchSortManager() override;

  TTouchSortAlgorithm GetAlgorithm() const { return algorithm_; }
  // A new algorithm replaces the sorter.
  void SetAlgorithm(TTouchSortAlgorithm Value);
  bool GetAutoSort() const { return auto_sort_; }
  void SetAutoSort(bool Value);
  bool GetAutoRegroup() const { return auto_regroup_; }
  void SetAutoRegroup(bool Value);
  TTouchSorter* GetSorter() const { return sorter_.get(); }

  // Called from the control's BeginUpdate and EndUpdate; the last EndUpdate sorts with AutoSort.
  void BeginUpdate();
  void EndUpdate();
  int GetLockCount() const { return lock_count_.load(); }

  // Sorts the groups and each group's items; unless Force, only while unlocked.
  void SortAll(bool Force = false);
  // Redistributes every item into groups by its key, then sorts.
  void Regroup(TTouchColumn* Column);

 private:
  static std::unique_ptr<TTouchSorter> MakeSorter(TTouchSortAlgorithm algorithm, TTouchSortManager* owner);

  TTouchSortAlgorithm algorithm_ = esaMergeSort;
  bool auto_regroup_ = false;
  bool auto_sort_ = false;
  std::unique_ptr<TTouchSorter> sorter_;
  std::atomic<int> lock_count_{0};
};

}  // namespace dashtune
