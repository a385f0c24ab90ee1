// Sorting: the three sorters on captions that differ in case, descending columns, the update
// lock, sorting by event and by comparer interface, Index after sorting, and regrouping.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "components/listview/listview.h"
#include "components/listview/sort.h"
#include "platform/com/unknown.h"
#include "platform/core/strings.h"

namespace dashtune {
namespace {

// Items whose captions are given, remembering their place of adding in Data.
void AddStored(TTouchListview& listview, const std::vector<std::u16string>& captions) {
  for (std::size_t i = 0; i < captions.size(); ++i)
    listview.GetItems()->AddStored(static_cast<std::intptr_t>(i))->SetCaption(captions[i]);
}

// Captions with the adding order: "b0 A1 ...".
std::string Order(TTouchListview& listview) {
  std::string out;
  for (int i = 0; i < listview.GetItems()->GetCount(); ++i) {
    TTouchItem* item = listview.GetItems()->GetItem(i);
    if (!out.empty()) out += ' ';
    out += win::Utf16ToUtf8(item->GetCaption()) + std::to_string(item->GetData());
  }
  return out;
}

const std::vector<std::u16string> kMixed = {u"b", u"A", u"a", u"B", u"c"};

TEST(Sorters, StableSortersKeepEqualCaptionsInOrder) {
  for (TTouchSortAlgorithm algorithm : {esaMergeSort, esaBubbleSort}) {
    TTouchListview listview(nullptr);
    AddStored(listview, kMixed);
    listview.GetSort()->SetAlgorithm(algorithm);
    listview.GetSort()->SortAll(true);
    EXPECT_EQ(Order(listview), "A1 a2 b0 B3 c4") << algorithm;
  }
}

TEST(Sorters, QuickSortGivesTheSameSet) {
  TTouchListview listview(nullptr);
  AddStored(listview, kMixed);
  listview.GetSort()->SetAlgorithm(esaQuickSort);
  listview.GetSort()->SortAll(true);
  const std::string order = Order(listview);
  EXPECT_TRUE(order == "A1 a2 b0 B3 c4" || order == "a2 A1 b0 B3 c4" || order == "A1 a2 B3 b0 c4" ||
              order == "a2 A1 B3 b0 c4")
      << order;
}

TEST(Sorters, ADescendingColumnReversesTheOrder) {
  for (TTouchSortAlgorithm algorithm : {esaMergeSort, esaBubbleSort, esaQuickSort}) {
    TTouchListview listview(nullptr);
    AddStored(listview, {u"b", u"d", u"a", u"c"});
    TTouchColumn* column = listview.GetHeader()->GetColumns()->AddColumn();
    listview.GetSort()->SetAlgorithm(algorithm);
    column->SetSortDirection(esdDescending);
    listview.GetSort()->SortAll(true);
    EXPECT_EQ(Order(listview), "d1 c3 b0 a2") << algorithm;
  }
}

// Captions compared as the default comparison defines it: up to a first null character, each
// folded code point by code point into a copy, the copies compared.
int CaptionsByDefinition(const std::u16string& a, const std::u16string& b) {
  auto fold = [](const std::u16string& caption) {
    const std::u16string_view text(caption.c_str());
    std::u32string out;
    for (std::size_t pos = 0; pos < text.size();) out += win::FoldCase(win::NextUtf16CodePoint(text, pos));
    return out;
  };
  const int result = fold(a).compare(fold(b));
  return result < 0 ? -1 : (result > 0 ? 1 : 0);
}

TEST(Sorters, CaptionsSortInTheOrderOfTheirComparisonAskingEachCaptionOnce) {
  static const char16_t kUnits[] = {u'a', u'A', u'b', u'B', u' ', 0, 0xC4, 0xE4, 0x3A3, 0x3C3, 0x416, 0x436,
                                    0xE000, 0xFFFD, 0xD83D, 0xDE00, 0xDC00};
  std::mt19937 random(36203);
  for (TTouchSortAlgorithm algorithm : {esaMergeSort, esaBubbleSort, esaQuickSort}) {
    for (TTouchSortDirection direction : {esdAscending, esdDescending}) {
      std::vector<std::u16string> captions(algorithm == esaBubbleSort ? 300 : 3000);
      for (auto& caption : captions)
        for (int n = static_cast<int>(random() % 5); n > 0; --n) caption += kUnits[random() % std::size(kUnits)];
      // The same virtual items twice: sorted by captions, and by the comparison's definition.
      TTouchListview by_captions(nullptr), by_definition(nullptr);
      int asked = 0;
      for (TTouchListview* listview : {&by_captions, &by_definition}) {
        listview->GetSort()->SetAlgorithm(algorithm);
        listview->OnItemGetCaption = [&](TCustomTouchListview*, TTouchItem* item, int, WideString& caption) {
          ++asked;
          caption = captions[static_cast<std::size_t>(item->GetData())];
        };
        for (std::size_t i = 0; i < captions.size(); ++i) listview->GetItems()->AddVirtual(static_cast<std::intptr_t>(i));
        listview->GetHeader()->GetColumns()->AddColumn()->SetSortDirection(direction);
      }
      asked = 0;
      by_captions.GetSort()->SortAll(true);
      EXPECT_EQ(asked, static_cast<int>(captions.size()));
      TTouchColumn* column = by_definition.GetHeader()->GetColumns()->GetColumn(0);
      auto compare = [&](TTouchColumn*, TTouchGroup*, TTouchItem* a, TTouchItem* b) {
        const int result = CaptionsByDefinition(captions[static_cast<std::size_t>(a->GetData())],
                                                 captions[static_cast<std::size_t>(b->GetData())]);
        return direction == esdDescending ? -result : result;
      };
      TTouchItems* items = by_definition.GetGroups()->GetGroup(0)->GetItems();
      by_definition.GetSort()->GetSorter()->Sort(column, items, 0, items->GetCount() - 1, nullptr, compare, false);
      for (int i = 0; i < items->GetCount(); ++i)
        ASSERT_EQ(by_captions.GetGroups()->GetGroup(0)->GetItem(i)->GetData(), items->GetItem(i)->GetData())
            << "algorithm " << algorithm << " direction " << direction << " place " << i;
    }
  }
}

TEST(Sorters, LongRandomListsSortLikeTheLibrary) {
  for (TTouchSortAlgorithm algorithm : {esaMergeSort, esaBubbleSort, esaQuickSort}) {
    TTouchListview listview(nullptr);
    std::vector<int> keys;
    std::uint32_t seed = 12345;
    for (int i = 0; i < 300; ++i) {
      seed = seed * 1103515245 + 12345;
      keys.push_back(static_cast<int>(seed >> 16) % 50);
      listview.GetItems()->AddVirtual(i);
    }
    listview.OnItemCompare = [&keys](TCustomTouchListview*, TTouchColumn*, TTouchGroup*, TTouchItem* a, TTouchItem* b) {
      return keys[static_cast<std::size_t>(a->GetData())] - keys[static_cast<std::size_t>(b->GetData())];
    };
    listview.GetSort()->SetAlgorithm(algorithm);
    listview.GetSort()->SortAll(true);
    std::vector<int> expected(300);
    for (int i = 0; i < 300; ++i) expected[static_cast<std::size_t>(i)] = i;
    std::stable_sort(expected.begin(), expected.end(), [&keys](int a, int b) {
      return keys[static_cast<std::size_t>(a)] < keys[static_cast<std::size_t>(b)];
    });
    TTouchGroup* group = listview.GetGroups()->GetGroup(0);
    for (int i = 0; i < 300; ++i) {
      TTouchItem* item = group->GetItem(i);
      EXPECT_EQ(item->GetIndex(), i) << algorithm;
      if (algorithm == esaQuickSort)
        EXPECT_EQ(keys[static_cast<std::size_t>(item->GetData())], keys[static_cast<std::size_t>(expected[static_cast<std::size_t>(i)])]);
      else
        EXPECT_EQ(item->GetData(), expected[static_cast<std::size_t>(i)]) << algorithm;
    }
  }
}

TEST(SortManager, AutoSortOffNeverSortsOnEndUpdate) {
  TTouchListview listview(nullptr);
  listview.BeginUpdate();
  AddStored(listview, kMixed);
  listview.EndUpdate();
  EXPECT_EQ(Order(listview), "b0 A1 a2 B3 c4");
}

TEST(SortManager, AutoSortSortsAtTheLastEndUpdateOnly) {
  TTouchListview listview(nullptr);
  listview.GetSort()->SetAutoSort(true);
  listview.BeginUpdate();
  listview.BeginUpdate();
  AddStored(listview, kMixed);
  listview.EndUpdate();
  EXPECT_EQ(Order(listview), "b0 A1 a2 B3 c4");
  listview.EndUpdate();
  EXPECT_EQ(Order(listview), "A1 a2 b0 B3 c4");
}

TEST(SortManager, ForcedSortAllSortsWhileLocked) {
  TTouchListview listview(nullptr);
  AddStored(listview, kMixed);
  listview.BeginUpdate();
  listview.GetSort()->SortAll(false);
  EXPECT_EQ(Order(listview), "b0 A1 a2 B3 c4");
  listview.GetSort()->SortAll(true);
  EXPECT_EQ(Order(listview), "A1 a2 b0 B3 c4");
  listview.EndUpdate();
}

TEST(SortManager, TheSameAlgorithmKeepsTheSorter) {
  TTouchListview listview(nullptr);
  TTouchSorter* sorter = listview.GetSort()->GetSorter();
  listview.GetSort()->SetAlgorithm(esaMergeSort);
  EXPECT_EQ(listview.GetSort()->GetSorter(), sorter);
  listview.GetSort()->SetAlgorithm(esaQuickSort);
  EXPECT_EQ(listview.GetSort()->GetSorter()->ClassName(), "TTouchQuickSort");
}

TEST(SortManager, TheDefaultComparisonReadsTheColumnsIndex) {
  TTouchListview listview(nullptr);
  TTouchColumns* columns = listview.GetHeader()->GetColumns();
  columns->AddColumn();
  TTouchColumn* second = columns->AddColumn();
  second->SetPosition(0);  // shown first, but its captions are the items' captions 1
  for (const char16_t* caption : {u"z", u"y", u"x"}) {
    TTouchItemStored* item = listview.GetItems()->AddStored(caption[0]);
    item->SetCaptions(0, caption);
    item->SetCaptions(1, caption[0] == u'y' ? u"1" : caption[0] == u'z' ? u"2" : u"3");
  }
  listview.GetSelection()->SetFocusedColumn(second);
  listview.GetSort()->SortAll(true);
  EXPECT_EQ(Order(listview), "y121 z122 x120");
}

// A data object that compares by a number.
class NumberComparer : public win::ComObject<ITouchItemComparer> {
 public:
  explicit NumberComparer(int number) : number_(number) {}
  int Compare(win::IUnknown* Other, TTouchColumn*) override {
    return number_ - static_cast<NumberComparer*>(static_cast<ITouchItemComparer*>(Other))->number_;
  }

 private:
  int number_;
};

TEST(SortManager, ComparerInterfacesSortAscendingInEverySorter) {
  for (TTouchSortAlgorithm algorithm : {esaMergeSort, esaBubbleSort, esaQuickSort}) {
    TTouchListview listview(nullptr);
    const int numbers[] = {3, 1, 2};
    for (int number : numbers) {
      TTouchItem* item = listview.GetItems()->AddVirtual(number);
      win::ComPtr<ITouchItemComparer> comparer = win::MakeCom<NumberComparer>(number);
      item->SetDataInf(win::ComPtr<win::IUnknown>(comparer.Get()));
    }
    listview.GetSort()->SetAlgorithm(algorithm);
    listview.GetSort()->SortAll(true);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(listview.GetItems()->GetItem(i)->GetData(), i + 1) << algorithm;
  }
}

TEST(Regroup, WithoutAutoRegroupAllItemsGoIntoOneGroupWithKeyZero) {
  TTouchListview listview(nullptr);
  listview.GetGroups()->AddGroup()->SetCaption(u"eins");
  AddStored(listview, {u"b", u"a"});
  listview.GetGroups()->AddGroup();
  AddStored(listview, {u"c"});
  listview.GetSort()->Regroup(nullptr);
  ASSERT_EQ(listview.GetGroups()->GetCount(), 1);
  TTouchGroup* group = listview.GetGroups()->GetGroup(0);
  EXPECT_EQ(group->GetKey(), 0u);
  EXPECT_EQ(group->GetCaption(), u"");
  EXPECT_EQ(group->GetItemCount(), 3);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(group->GetItem(i)->GetOwnerGroup(), group);
    EXPECT_EQ(group->GetItem(i)->GetIndex(), i);
  }
}

TEST(Regroup, AutoRegroupTakesTheFirstLetterWhenTheEventGivesNoKey) {
  TTouchListview listview(nullptr);
  AddStored(listview, {u"beta", u"alpha", u"Bravo", u"\u00e4rger", u"", u"anton"});
  listview.OnAutoGroupGetKey = [](TCustomTouchListview*, TTouchItem* item, int, TTouchGroups*, std::uint32_t& key) {
    if (item->GetCaption() == u"anton") key = 'Z';  // the event names a key; others leave 65535
  };
  listview.GetSort()->SetAutoRegroup(true);
  EXPECT_TRUE(listview.GetShowGroupMargins());
  std::vector<std::pair<std::u16string, int>> groups;
  for (int i = 0; i < listview.GetGroups()->GetCount(); ++i) {
    TTouchGroup* group = listview.GetGroups()->GetGroup(i);
    groups.emplace_back(group->GetCaption(), group->GetItemCount());
  }
  // Groups in the order their first item was met: the sort inside the regroup's own update
  // waits for AutoSort, which is off.
  EXPECT_EQ(groups, (std::vector<std::pair<std::u16string, int>>{
                        {u"B", 2}, {u"A", 1}, {u"\u00c4", 1}, {u"", 1}, {u"Z", 1}}));
  EXPECT_EQ(static_cast<TTouchItemStored*>(listview.GetItems()->GetItem(5))->GetGroupKey(0), static_cast<std::uint32_t>('Z'));
}

}  // namespace
}  // namespace dashtune
