// String lists: line breaks, sorted lists and duplicates, change events, Assign, index errors.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "classlib/strings.h"

namespace dashtune {
namespace {

std::vector<std::string> Lines(const TStrings& strings) {
  std::vector<std::string> lines;
  for (int i = 0; i < strings.GetCount(); ++i) lines.push_back(strings[i]);
  return lines;
}

TEST(StringListTest, TextSplitsAtEveryLineBreakKind) {
  TStringList list;
  list.SetText("one\r\ntwo\nthree\rfour\n\nsix");
  EXPECT_EQ(Lines(list), (std::vector<std::string>{"one", "two", "three", "four", "", "six"}));
  EXPECT_EQ(list.GetText(), "one\ntwo\nthree\nfour\n\nsix\n");
  list.SetText("");
  EXPECT_EQ(list.GetCount(), 0);
}

TEST(StringListTest, SortedListKeepsOrderAndHandlesDuplicates) {
  TStringList list;
  list.SetSorted(true);
  for (const char* s : {"pear", "Apple", "fig", "apple"}) list.Add(s);
  EXPECT_EQ(Lines(list), (std::vector<std::string>{"Apple", "fig", "pear"}));  // "apple" ignored
  int index = -1;
  EXPECT_TRUE(list.Find("FIG", index));
  EXPECT_EQ(index, 1);
  EXPECT_FALSE(list.Find("grape", index));
  EXPECT_EQ(index, 2);
  EXPECT_THROW(list.Insert(0, "x"), EStringListError);

  list.SetDuplicates(TDuplicates::dupError);
  try {
    list.Add("PEAR");
    FAIL();
  } catch (const EStringListError& e) {
    EXPECT_EQ(e.GetMessage(), "Stringliste erlaubt keine Duplikate");
  }
  list.SetDuplicates(TDuplicates::dupAccept);
  list.Add("fig");
  EXPECT_EQ(list.GetCount(), 4);
  EXPECT_TRUE(list.Find("fig", index));
  EXPECT_EQ(index, 1);  // the first of the equal lines

  list.SetCaseSensitive(true);
  EXPECT_EQ(list.IndexOf("FIG"), -1);
}

TEST(StringListTest, ChangeEventsAreBracketedByUpdates) {
  TStringList list;
  std::vector<std::string> events;
  list.OnChanging = [&](TObject* sender) {
    EXPECT_EQ(sender, &list);
    events.push_back("changing");
  };
  list.OnChange = [&](TObject*) { events.push_back("change"); };
  list.Add("a");
  EXPECT_EQ(events, (std::vector<std::string>{"changing", "change"}));
  events.clear();
  list.BeginUpdate();
  list.Add("b");
  list.BeginUpdate();
  list.Delete(0);
  list.EndUpdate();
  EXPECT_EQ(events, (std::vector<std::string>{"changing"}));
  list.EndUpdate();
  EXPECT_EQ(events, (std::vector<std::string>{"changing", "change"}));
}

TEST(StringListTest, AssignCopiesLinesAndObjects) {
  TStringList source;
  TObject marker;
  source.AddObject("first", &marker);
  source.Add("second");
  TStringList target;
  target.Add("old");
  target.Assign(&source);
  EXPECT_EQ(Lines(target), (std::vector<std::string>{"first", "second"}));
  EXPECT_EQ(target.GetObject(0), &marker);
  EXPECT_EQ(target.IndexOfObject(&marker), 0);
  try {
    target.Assign(nullptr);
    FAIL();
  } catch (const EConvertError& e) {
    EXPECT_EQ(e.GetMessage(), "nil kann nicht zu TStringList zugewiesen werden");
  }
}

TEST(StringListTest, IndexErrorsNameTheIndex) {
  TStringList list;
  list.Add("only");
  try {
    list.Get(1);
    FAIL();
  } catch (const EStringListError& e) {
    EXPECT_EQ(e.GetMessage(), "Listenindex überschreitet das Maximum (1)");
  }
  EXPECT_THROW(list.Delete(-1), EStringListError);
  EXPECT_THROW(list.PutObject(2, nullptr), EStringListError);
  list.Put(0, "changed");
  EXPECT_EQ(list[0], "changed");
}

}  // namespace
}  // namespace dashtune
