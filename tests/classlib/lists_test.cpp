// TList: editing operations, index errors, stable sorting, sorting with contradictory comparisons.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "classlib/lists.h"

namespace dashtune {
namespace {

void* P(std::uintptr_t value) { return reinterpret_cast<void*>(value); }

std::vector<std::uintptr_t> Values(const TList& list) {
  std::vector<std::uintptr_t> values;
  for (int i = 0; i < list.GetCount(); ++i) values.push_back(reinterpret_cast<std::uintptr_t>(list[i]));
  return values;
}

TEST(ListTest, EditingOperations) {
  TList list;
  for (std::uintptr_t v : {1, 2, 3, 4}) list.Add(P(v));
  list.Insert(0, P(9));
  list.Move(0, 4);
  list.Exchange(0, 1);
  EXPECT_EQ(Values(list), (std::vector<std::uintptr_t>{2, 1, 3, 4, 9}));
  EXPECT_EQ(list.Remove(P(3)), 2);
  EXPECT_EQ(list.Remove(P(3)), -1);
  EXPECT_EQ(list.Extract(P(9)), P(9));
  EXPECT_EQ(list.Extract(P(9)), nullptr);
  list.SetCount(4);
  list.Pack();
  EXPECT_EQ(Values(list), (std::vector<std::uintptr_t>{2, 1, 4}));
  EXPECT_EQ(list.First(), P(2));
  EXPECT_EQ(list.Last(), P(4));
  EXPECT_GE(list.GetCapacity(), list.GetCount());
}

TEST(ListTest, BadIndexRaisesListErrorWithTheIndex) {
  TList list;
  list.Add(P(1));
  struct Case {
    std::function<void()> call;
    const char* message;
  };
  const Case cases[] = {
      {[&] { list.Get(1); }, "Listenindex überschreitet das Maximum (1)"},
      {[&] { list.Get(-1); }, "Listenindex überschreitet das Maximum (-1)"},
      {[&] { list.Delete(5); }, "Listenindex überschreitet das Maximum (5)"},
      {[&] { list.Insert(3, nullptr); }, "Listenindex überschreitet das Maximum (3)"},
      {[&] { list.Exchange(0, 2); }, "Listenindex überschreitet das Maximum (2)"},
      {[&] { list.SetCount(-1); }, "Listenzähler überschreitet das Maximum (-1)"},
      {[&] { list.SetCapacity(0); }, "Listenkapazität überschreitet das Maximum (0)"},
      {[] { TList().First(); }, "Listenindex überschreitet das Maximum (0)"},
  };
  for (const Case& c : cases) {
    try {
      c.call();
      ADD_FAILURE() << "no exception: " << c.message;
    } catch (const EListError& e) {
      EXPECT_EQ(e.GetMessage(), c.message);
    }
  }
  EXPECT_EQ(list.GetCount(), 1);
}

TEST(ListTest, SortIsStable) {
  TList list;
  // Sort by the tens digit only; the units digit shows the original order.
  for (std::uintptr_t v : {31, 12, 33, 11, 22, 32, 13}) list.Add(P(v));
  list.Sort([](void* a, void* b) {
    return static_cast<int>(reinterpret_cast<std::uintptr_t>(a) / 10) -
           static_cast<int>(reinterpret_cast<std::uintptr_t>(b) / 10);
  });
  EXPECT_EQ(Values(list), (std::vector<std::uintptr_t>{12, 11, 13, 22, 31, 33, 32}));
}

TEST(ListTest, SortWithContradictoryComparisonKeepsEveryItem) {
  TList list;
  for (std::uintptr_t v = 1; v <= 100; ++v) list.Add(P(v));
  int calls = 0;
  list.Sort([&calls](void*, void*) { return (++calls % 3) - 1; });
  std::vector<std::uintptr_t> values = Values(list);
  std::sort(values.begin(), values.end());
  for (std::uintptr_t v = 1; v <= 100; ++v) EXPECT_EQ(values[v - 1], v);
}

}  // namespace
}  // namespace dashtune
