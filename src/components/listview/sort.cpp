#include "components/listview/sort.h"

#include <algorithm>

#include "components/listview/groups.h"
#include "components/listview/listview.h"
#include "platform/core/strings.h"

namespace dashtune {

// ---- TTouchSorter ----

namespace {

// The comparer interface of a member's data object, or nullptr.
win::ComPtr<ITouchItemComparer> ComparerOf(TTouchCollectionItem* member) {
  win::ComPtr<ITouchItemComparer> comparer;
  win::ComPtr<win::IUnknown> data = member->GetDataInf();
  if (data) data.As(&comparer);
  return comparer;
}

}  // namespace

void TTouchSorter::Sort(TTouchColumn* Column, TTouchCollection* Collection, int Min, int Max,
                        const TTouchGroupCompareMethod& GroupCompare, const TTouchItemCompareMethod& ItemCompare,
                        bool UseInterfaces) {
  if (Collection == nullptr) return;
  auto* items = dynamic_cast<TTouchItems*>(Collection);
  const Comparison comparison{UseInterfaces  ? Comparison::kInterfaces
                              : GroupCompare ? Comparison::kGroupMethod
                              : ItemCompare  ? Comparison::kItemMethod
                                             : Comparison::kCaptions,
                              Column, items ? items->GetOwnerGroup() : nullptr, &GroupCompare, &ItemCompare};
  SortMembers(Collection, Min, Max, comparison);
}

void TTouchSorter::SortByEvent(TTouchColumn* Column, TTouchItems* Items, TCustomTouchListview* Sender,
                               const TTouchItemCompareEvent& ItemCompare, bool UseInterfaces) {
  if (Items == nullptr) return;
  Comparison comparison{UseInterfaces ? Comparison::kInterfaces : Comparison::kItemEvent, Column,
                        Items->GetOwnerGroup()};
  comparison.item_event = &ItemCompare;
  comparison.sender = Sender;
  SortMembers(Items, 0, Items->GetCount() - 1, comparison);
}

void TTouchSorter::SortMembers(TTouchCollection* Collection, int Min, int Max, const Comparison& Compare) {
  Max = std::min(Max, Collection->GetCount() - 1);
  Min = std::max(Min, 0);
  if (Min >= Max) {
    Collection->ReIndexAll();
    return;
  }
  std::vector<Member> members(static_cast<std::size_t>(Max - Min + 1));
  for (int i = Min; i <= Max; ++i) members[static_cast<std::size_t>(i - Min)] = Collection->GetItem(i);
  SortRange(members, Compare);
  // The members moved: every Index names the new place, also outside the range.
  for (int i = 0; i < Collection->GetCount(); ++i) {
    Member member = i >= Min && i <= Max ? members[static_cast<std::size_t>(i - Min)] : Collection->GetItem(i);
    Collection->SetItem(i, member);
    member->SetIndexCache(i);
  }
}

namespace {

using Member = TTouchCollectionItem*;
using Comparison = TTouchSorter::Comparison;

// Runs an algorithm with the comparison as a plain callable, so that the algorithm is compiled
// for each kind of comparison and a million-item sort pays no extra call per comparison.
template <class Algorithm>
void WithComparer(const Comparison& c, const Algorithm& run) {
  TTouchColumn* column = c.column;
  switch (c.kind) {
    case Comparison::kInterfaces:
      run([column](Member a, Member b) {
        win::ComPtr<ITouchItemComparer> mine = ComparerOf(a);
        win::ComPtr<win::IUnknown> other = b->GetDataInf();
        return mine ? mine->Compare(other.Get(), column) : 0;
      });
      break;
    case Comparison::kGroupMethod:
      run([&method = *c.group_compare, column](Member a, Member b) {
        return method(column, static_cast<TTouchGroup*>(a), static_cast<TTouchGroup*>(b));
      });
      break;
    case Comparison::kItemMethod:
      run([&method = *c.item_compare, column, group = c.group](Member a, Member b) {
        return method(column, group, static_cast<TTouchItem*>(a), static_cast<TTouchItem*>(b));
      });
      break;
    case Comparison::kItemEvent:
      run([&event = *c.item_event, sender = c.sender, column, group = c.group](Member a, Member b) {
        return event(sender, column, group, static_cast<TTouchItem*>(a), static_cast<TTouchItem*>(b));
      });
      break;
    case Comparison::kCaptions:
      run([column](Member a, Member b) { return TCustomTouchListview::DefaultCompare(column, a, b); });
      break;
  }
}

// Sorts members[min..max]: the left part recursively, the right part by iteration.
template <class T, class Cmp>
void QuickSortRange(std::vector<T>& members, int min, int max, const Cmp& cmp) {
  auto at = [&members](int i) -> T& { return members[static_cast<std::size_t>(i)]; };
  while (min < max) {
    T pivot = at((min + max) / 2);
    int i = min, j = max;
    while (i <= j) {
      while (cmp(at(i), pivot) < 0) ++i;
      while (cmp(at(j), pivot) > 0) --j;
      if (i <= j) std::swap(at(i++), at(j--));
    }
    if (min < j) QuickSortRange(members, min, j, cmp);
    min = i;
  }
}

template <class T, class Cmp>
void BubbleSortRange(std::vector<T>& members, const Cmp& cmp) {
  int low = 0;
  int high = static_cast<int>(members.size()) - 1;
  auto at = [&members](int i) -> T& { return members[static_cast<std::size_t>(i)]; };
  while (low < high) {
    // Forward: carry a greater member right past every smaller one after it.
    int last_put = low;
    for (int i = low + 1; i <= high;) {
      if (cmp(at(i - 1), at(i)) > 0) {
        T carried = at(i - 1);
        int place = i - 1;
        while (place + 1 <= high && cmp(carried, at(place + 1)) > 0) {
          at(place) = at(place + 1);
          ++place;
        }
        at(place) = carried;
        last_put = place;
        i = place + 2;
      } else {
        ++i;
      }
    }
    high = last_put - 1 >= low ? last_put - 1 : low;
    if (last_put == low) break;
    // Backward: carry a smaller member left past every greater one before it.
    last_put = high;
    for (int i = high - 1; i >= low;) {
      if (cmp(at(i + 1), at(i)) < 0) {
        T carried = at(i + 1);
        int place = i + 1;
        while (place - 1 >= low && cmp(carried, at(place - 1)) < 0) {
          at(place) = at(place - 1);
          --place;
        }
        at(place) = carried;
        last_put = place;
        i = place - 2;
      } else {
        --i;
      }
    }
    if (last_put == high) break;
    low = last_put + 1;
  }
}

// Asks for the cache lines at the start of a member, where a comparison reads its fields.
inline void PrefetchMember(const Member member) {
  __builtin_prefetch(member);
  __builtin_prefetch(reinterpret_cast<const char*>(member) + 64);
}

// A member and its caption folded once, for sorting by captions: a comparison then reads the
// two keys, with no caption asked for, copied or folded again.
struct CaptionKey {
  const char16_t* text;
  std::size_t length;
  Member member;
};

inline void PrefetchMember(const CaptionKey& key) { __builtin_prefetch(key.text); }

// The members' captions in the column, folded as the default comparison folds them (up to a
// first null character, as the null-terminated comparison reads them), in one block.
class CaptionKeys {
 public:
  CaptionKeys(const std::vector<Member>& members, TTouchColumn* column) {
    const int index = column ? column->GetIndex() : 0;
    std::vector<std::size_t> ends;
    ends.reserve(members.size());
    for (Member member : members) {
      const WideString caption = member->GetCaptions(index);
      win::AppendFolded(folded_, std::u16string_view(caption.c_str()));
      ends.push_back(folded_.size());
    }
    keys_.reserve(members.size());
    std::size_t start = 0;
    for (std::size_t i = 0; i < members.size(); ++i) {
      keys_.push_back({folded_.data() + start, ends[i] - start, members[i]});
      start = ends[i];
    }
  }
  std::vector<CaptionKey>& Keys() { return keys_; }

 private:
  std::u16string folded_;
  std::vector<CaptionKey> keys_;
};

// Runs an algorithm (a callable taking a vector of elements and a comparison) over the members:
// by captions folded once, else by the comparison the kind names.
template <class Algorithm>
void SortBy(std::vector<Member>& members, const Comparison& c, const Algorithm& algorithm) {
  if (c.kind != Comparison::kCaptions) {
    WithComparer(c, [&](const auto& cmp) { algorithm(members, cmp); });
    return;
  }
  CaptionKeys keys(members, c.column);
  const bool descending = c.column && c.column->GetSortDirection() == esdDescending;
  algorithm(keys.Keys(), [descending](const CaptionKey& a, const CaptionKey& b) {
    const int result = win::CompareFolded({a.text, a.length}, {b.text, b.length});
    return descending ? -result : result;
  });
  for (std::size_t i = 0; i < members.size(); ++i) members[i] = keys.Keys()[i].member;
}

// Runs this short are sorted by straight insertion, which keeps equal members in order.
constexpr std::size_t kInsertionRun = 8;

// Sorts source[0, count) into target; source and target hold the same members on entry.
template <class T, class Cmp>
void MergeSortInto(T* source, T* target, std::size_t count, const Cmp& cmp) {
  if (count <= kInsertionRun) {
    for (std::size_t i = 1; i < count; ++i) {
      T moving = target[i];
      std::size_t j = i;
      for (; j > 0 && cmp(moving, target[j - 1]) < 0; --j) target[j] = target[j - 1];
      target[j] = moving;
    }
    return;
  }
  const std::size_t half = count / 2;
  // The halves sort into the source so that merging writes the target.
  MergeSortInto(target, source, half, cmp);
  MergeSortInto(target + half, source + half, count - half, cmp);
  std::size_t left = 0, right = half, out = 0;
  // Each step compares the next member of one side with the same of the other: the members that
  // can come next are fetched ahead, so that a large sort waits less for memory.
  while (left < half && right < count) {
    PrefetchMember(source[left + 1 < half ? left + 1 : left]);
    PrefetchMember(source[right + 1 < count ? right + 1 : right]);
    target[out++] = cmp(source[left], source[right]) <= 0 ? source[left++] : source[right++];
  }
  while (left < half) target[out++] = source[left++];
  while (right < count) target[out++] = source[right++];
}

}  // namespace

void TTouchQuickSort::SortRange(std::vector<Member>& Members, const Comparison& Compare) {
  SortBy(Members, Compare, [](auto& elements, const auto& cmp) {
    QuickSortRange(elements, 0, static_cast<int>(elements.size()) - 1, cmp);
  });
}

void TTouchBubbleSort::SortRange(std::vector<Member>& Members, const Comparison& Compare) {
  SortBy(Members, Compare, [](auto& elements, const auto& cmp) { BubbleSortRange(elements, cmp); });
}

void TTouchMergeSort::SortRange(std::vector<Member>& Members, const Comparison& Compare) {
  SortBy(Members, Compare, [](auto& elements, const auto& cmp) {
    auto buffer = elements;
    MergeSortInto(buffer.data(), elements.data(), elements.size(), cmp);
  });
}

// ---- TTouchSortManager ----

TTouchSortManager::TTouchSortManager(TCustomTouchListview* AOwner)
    : TTouchOwnedPersistent(AOwner), sorter_(MakeSorter(esaMergeSort, this)) {}

TTouchSortManager::~TTouchSortManager() = default;

std::unique_ptr<TTouchSorter> TTouchSortManager::MakeSorter(TTouchSortAlgorithm algorithm, TTouchSortManager* owner) {
  switch (algorithm) {
    case esaQuickSort: return std::make_unique<TTouchQuickSort>(owner);
    case esaBubbleSort: return std::make_unique<TTouchBubbleSort>(owner);
    case esaMergeSort: break;
  }
  return std::make_unique<TTouchMergeSort>(owner);
}

void TTouchSortManager::SetAlgorithm(TTouchSortAlgorithm Value) {
  if (algorithm_ == Value) return;
  algorithm_ = Value;
  sorter_ = MakeSorter(Value, this);
}

void TTouchSortManager::SetAutoSort(bool Value) {
  if (auto_sort_ == Value) return;
  auto_sort_ = Value;
  TCustomTouchListview* control = GetOwnerListview();
  if (control && !control->GetSelection()->HasFocusedColumn())
    control->GetSelection()->SetFocusedColumn(control->GetHeader()->FirstColumn());
  if (Value) SortAll(false);
}

void TTouchSortManager::SetAutoRegroup(bool Value) {
  if (auto_regroup_ == Value) return;
  TCustomTouchListview* control = GetOwnerListview();
  if (control == nullptr) {
    auto_regroup_ = Value;
    return;
  }
  control->BeginUpdate();
  control->SetShowGroupMargins(Value);
  auto_regroup_ = Value;
  Regroup(control->GetSelection()->GetFocusedColumn());
  control->EndUpdate(true);
}

void TTouchSortManager::BeginUpdate() { ++lock_count_; }

void TTouchSortManager::EndUpdate() {
  if (--lock_count_ < 1 && auto_sort_) {
    lock_count_ = 0;
    SortAll(false);
  }
}

namespace {

template <class Collection>
bool AllCompareThemselves(const Collection& collection) {
  for (int i = 0; i < collection.GetCount(); ++i)
    if (!ComparerOf(collection.GetItem(i))) return false;
  return true;
}

// The capital of a letter (ASCII, Latin-1, Greek and Cyrillic), other units as they are.
char16_t UpperCaseUnit(char16_t c) {
  if ((c >= u'a' && c <= u'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7)) return static_cast<char16_t>(c - 32);
  if (c == 0xFF) return 0x178;
  if ((c >= 0x3B1 && c <= 0x3CB && c != 0x3C2) || (c >= 0x430 && c <= 0x44F)) return static_cast<char16_t>(c - 32);
  if (c >= 0x450 && c <= 0x45F) return static_cast<char16_t>(c - 80);
  return c;
}

}  // namespace

void TTouchSortManager::SortAll(bool Force) {
  TCustomTouchListview* control = GetOwnerListview();
  if (!sorter_ || control == nullptr) return;
  if (!Force && lock_count_ != 0) return;
  TTouchGroups* groups = control->GetGroups();
  auto group_compare = [control](TTouchColumn*, TTouchGroup* a, TTouchGroup* b) { return control->GroupCompare(a, b); };
  sorter_->Sort(nullptr, groups, 0, groups->GetCount() - 1, group_compare, nullptr, AllCompareThemselves(*groups));
  TTouchColumn* column = control->GetSelection()->GetFocusedColumn();
  // The handler is the one call a comparison costs; without one the captions compare directly.
  for (int i = 0; i < groups->GetCount(); ++i) {
    TTouchItems* items = groups->GetGroup(i)->GetItems();
    if (control->OnItemCompare)
      sorter_->SortByEvent(column, items, control, control->OnItemCompare, AllCompareThemselves(*items));
    else
      sorter_->Sort(column, items, 0, items->GetCount() - 1, nullptr, nullptr, AllCompareThemselves(*items));
  }
  if (!groups->GetRebuilding()) groups->Rebuild(true);
}

void TTouchSortManager::Regroup(TTouchColumn* Column) {
  TCustomTouchListview* control = GetOwnerListview();
  if (control == nullptr) return;
  const int column_index = Column ? Column->GetIndex() : 0;
  TTouchGroups* groups = control->GetGroups();
  control->BeginUpdate();
  struct Pair {
    TTouchItem* item;
    std::uint32_t key;
  };
  std::vector<Pair> pairs;
  pairs.reserve(static_cast<std::size_t>(groups->ItemCount()));
  for (int g = 0; g < groups->GetCount(); ++g) {
    TTouchItems* items = groups->GetGroup(g)->GetItems();
    for (int i = 0; i < items->GetCount(); ++i) {
      TTouchItem* item = items->GetItem(i);
      std::uint32_t key = 0;
      if (auto_regroup_) {
        key = TTouchItemDynamicDataHelper::kNoGroupKey;
        control->DoAutoGroupGetKey(item, column_index, groups, key);
        if (key != TTouchItemDynamicDataHelper::kNoGroupKey) {
          item->SetGroupKey(column_index, key);
        } else {
          const WideString caption = item->GetCaptions(column_index);
          key = caption.empty() ? 0 : UpperCaseUnit(caption[0]);
        }
      }
      pairs.push_back({item, key});
      items->SetItem(i, nullptr);
    }
    items->GetList().Pack();
  }
  groups->Clear(true);
  for (const Pair& pair : pairs) {
    TTouchGroup* target = nullptr;
    for (int g = 0; g < groups->GetCount() && target == nullptr; ++g)
      if (groups->GetGroup(g)->GetKey() == pair.key) target = groups->GetGroup(g);
    if (target == nullptr) {
      bool do_default = true;
      control->DoAutoSortGroupCreate(pair.item, column_index, groups, target, do_default);
      if (do_default && pair.key != 0)
        target->SetCaption(WideString(1, UpperCaseUnit(static_cast<char16_t>(pair.key))));
      target->SetKey(pair.key);
    }
    target->GetItems()->AdoptMember(pair.item);
  }
  SortAll(false);
  control->EndUpdate(true);
}

}  // namespace dashtune
