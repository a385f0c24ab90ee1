// Type-ahead search under the fake clock: the text extends within ResetTime and restarts after
// it, which keys start a search, each StartType, OnIncrementalSearch steering the hit, the
// direction and item kinds, and the reset timer's end (freed hits, clearing after the timer).
#include <gtest/gtest.h>

#include <cwctype>
#include <string>
#include <vector>

#include "components/listview/incremental_search.h"
#include "components/listview/listview.h"
#include "listview_test_support.h"
#include "platform/core/clock.h"
#include "platform/user/messages.h"
#include "platform/user/timers.h"
#include "platform/user/virtual_keys.h"
#include "platform_test_support.h"

namespace dashtune {
namespace {

const char16_t* const kCaptions[] = {u"Anna", u"Bert", u"Berta", u"Carl", u"Bob", u"Dora"};

// Six virtual items captioned as above; OnIncrementalSearch matches captions that start with
// the typed text, ignoring case.
class TypeAhead : public ::testing::Test {
 protected:
  void SetUp() override {
    lv()->SetView(elsReport);
    lv()->OnItemGetCaption = [](TCustomTouchListview*, TTouchItem* item, int, WideString& caption) {
      caption = kCaptions[item->GetIndex()];
    };
    for (int i = 0; i < 6; ++i) lv()->GetItems()->AddVirtual();
    lv()->GetGroups()->Rebuild(true);
    search()->SetEnabled(true);
    lv()->OnIncrementalSearch = [this](TTouchItem* item, const WideString& text, int& result) {
      asked_.push_back(item->GetIndex());
      const WideString caption = item->GetCaption();
      result = 0;
      for (size_t i = 0; i < text.size(); ++i)
        if (i >= caption.size() || std::towupper(caption[i]) != std::towupper(text[i])) result = 1;
    };
  }

  TTouchListview* lv() { return host_.listview; }
  TTouchIncrementalSearchManager* search() { return lv()->GetIncrementalSearch(); }
  // A key as the window gets it: WM_KEYDOWN with its virtual key, then WM_CHAR.
  void Type(char c, TShiftState shift = {}) {
    const std::uint16_t key = static_cast<std::uint16_t>(std::toupper(static_cast<unsigned char>(c)));
    search()->KeyDown(key, shift);
    search()->KeyPress(c);
  }
  int FocusedIndex() {
    TTouchItem* focused = lv()->GetSelection()->GetFocusedItem();
    return focused ? focused->GetIndex() : -1;
  }

  win::ScopedFakeClock clock_;
  testing::ListviewOnForm host_{400, 300};
  std::vector<int> asked_;
};

TEST_F(TypeAhead, TextExtendsWithinTheResetTimeAndRestartsAfterIt) {
  Type('b');
  EXPECT_EQ(FocusedIndex(), 1);
  testing::AdvanceAndPump(1999);
  Type('o');  // "bo": Bert no longer matches, Bob does
  EXPECT_EQ(search()->GetSearchBuffer(), u"bo");
  EXPECT_EQ(FocusedIndex(), 4);
  EXPECT_TRUE(lv()->GetItems()->GetItem(4)->GetSelected());
  EXPECT_EQ(lv()->GetSelection()->GetCount(), 1);
  testing::AdvanceAndPump(2000);
  EXPECT_FALSE(search()->GetSearching());
  EXPECT_EQ(search()->GetSearchBuffer(), u"");
  EXPECT_EQ(search()->GetTimerID(), 0u);
  Type('c');  // a new search from the first item
  EXPECT_EQ(search()->GetSearchBuffer(), u"c");
  EXPECT_EQ(FocusedIndex(), 3);
}

TEST_F(TypeAhead, CtrlAltAndKeysOutsideDigitsAndLettersStartNothing) {
  struct Case {
    std::uint16_t key;
    TShiftState shift;
    bool starts;
  };
  const Case cases[] = {
      {'A', {}, true},           {'Z', {}, true},       {'0', {}, true},     {'9', {}, true},
      {'A', {ssCtrl}, false},    {'A', {ssAlt}, false}, {'A', {ssShift}, true},
      {47, {}, false},           {58, {}, false},       {64, {}, false},     {91, {}, false},
      {win::VK_SPACE, {}, false}, {win::VK_F1, {}, false},
  };
  for (const Case& c : cases) {
    search()->KeyDown(c.key, c.shift);
    EXPECT_EQ(search()->GetSearching(), c.starts) << c.key;
    search()->EndSearch();
  }
  search()->SetEnabled(false);
  search()->KeyDown('A', {});
  EXPECT_FALSE(search()->GetSearching());
}

TEST_F(TypeAhead, TheHandlerSteersTheHitAndNoMatchKeepsTheFocus) {
  Type('d');
  EXPECT_EQ(asked_, (std::vector<int>{0, 1, 2, 3, 4, 5}));
  EXPECT_EQ(FocusedIndex(), 5);
  asked_.clear();
  Type('x');  // "dx": nothing matches from Dora on
  EXPECT_EQ(asked_, (std::vector<int>{5}));
  EXPECT_EQ(FocusedIndex(), 5);
  // StartOver: a miss leaves no search item, so further keys compare nothing.
  EXPECT_EQ(search()->GetSearchItem(), nullptr);
}

TEST_F(TypeAhead, WithoutAHandlerEveryCandidateMatches) {
  lv()->OnIncrementalSearch = nullptr;
  Type('q');
  EXPECT_EQ(FocusedIndex(), 0);
}

TEST_F(TypeAhead, EachStartTypeChoosesWhereTheSearchBegins) {
  struct Case {
    TTouchIncrementalSearchStart start;
    int focused_before;  // focused item when the second search starts
    int first_asked;
  };
  const Case cases[] = {{eissStartOver, 4, 0}, {eissLastHit, 4, 3}, {eissFocusedNode, 4, 4}};
  for (const Case& c : cases) {
    search()->SetStartType(c.start);
    search()->ResetSearch();
    lv()->GetItems()->GetItem(0)->SetFocused(true);
    Type('c');  // hit: Carl (3)
    ASSERT_EQ(FocusedIndex(), 3);
    testing::AdvanceAndPump(2000);
    lv()->GetItems()->GetItem(c.focused_before)->SetFocused(true);
    asked_.clear();
    Type('b');
    ASSERT_FALSE(asked_.empty());
    EXPECT_EQ(asked_.front(), c.first_asked) << c.start;
    testing::AdvanceAndPump(2000);
  }
}

TEST_F(TypeAhead, SearchesBackwardsAndOverVisibleItemsOnly) {
  search()->SetDirection(eisdBackward);
  lv()->GetItems()->GetItem(4)->SetVisible(false);
  Type('b');
  EXPECT_EQ(asked_, (std::vector<int>{5, 3, 2}));
  EXPECT_EQ(FocusedIndex(), 2);
  testing::AdvanceAndPump(2000);
  search()->SetItemType(eisiAll);
  asked_.clear();
  Type('b');
  EXPECT_EQ(asked_, (std::vector<int>{5, 4}));
}

TEST_F(TypeAhead, AFreedHitIsNotKeptAsTheLastHit) {
  search()->SetStartType(eissLastHit);
  Type('d');
  ASSERT_EQ(search()->GetSearchItem(), lv()->GetItems()->GetItem(5));
  testing::AdvanceAndPump(2000);
  ASSERT_EQ(search()->GetSearchItem(), lv()->GetItems()->GetItem(5));  // kept past the search
  delete lv()->GetItems()->GetItem(5);
  EXPECT_EQ(search()->GetSearchItem(), nullptr);
  asked_.clear();
  Type('a');
  EXPECT_EQ(asked_, (std::vector<int>{0}));
}

TEST_F(TypeAhead, ClearingAfterTheTimerEndedTheSearchKillsNothingAndRaisesNothing) {
  Type('a');
  testing::AdvanceAndPump(2000);
  EXPECT_FALSE(search()->GetSearching());
  EXPECT_NO_THROW(lv()->GetItems()->Clear());
  EXPECT_EQ(search()->GetSearchItem(), nullptr);
}

TEST_F(TypeAhead, ClearingTheItemsEndsARunningSearch) {
  Type('a');
  EXPECT_NE(search()->GetTimerID(), 0u);
  lv()->GetItems()->Clear();
  EXPECT_FALSE(search()->GetSearching());
  EXPECT_EQ(search()->GetTimerID(), 0u);
  EXPECT_EQ(search()->GetSearchItem(), nullptr);
}

TEST_F(TypeAhead, ARefusedTimerKillRaises) {
  Type('a');
  ASSERT_TRUE(win::KillTimer(nullptr, search()->GetTimerID()));  // gone behind the manager's back
  try {
    search()->EndSearch();
    FAIL() << "no exception";
  } catch (const Exception& e) {
    EXPECT_EQ(e.GetMessage(), "Can not Destroy Incremental Search Timer");
  }
  EXPECT_FALSE(search()->GetSearching());
}

TEST_F(TypeAhead, KeysReachTheSearchThroughTheControl) {
  lv()->Perform(win::WM_KEYDOWN, 'B', 0);
  lv()->Perform(win::WM_CHAR, 'b', 0);
  EXPECT_EQ(FocusedIndex(), 1);
  lv()->Perform(win::WM_KEYDOWN, win::VK_DOWN, 0);  // arrows move the focus, not the search
  EXPECT_EQ(search()->GetSearchBuffer(), u"b");
}

TEST_F(TypeAhead, CodePageCharactersAreWidenedThroughTheKeyboardLayout) {
  lv()->OnItemGetCaption = [](TCustomTouchListview*, TTouchItem* item, int, WideString& caption) {
    caption = item->GetIndex() == 2 ? u"Z\u00C4r \u20AC" : u"x";
  };
  Type('z');
  EXPECT_EQ(FocusedIndex(), 2);
  for (char c : {'\xC4', 'r', ' ', '\x80'}) search()->KeyPress(c);  // Ä and the euro sign in code page 1252
  EXPECT_EQ(search()->GetSearchBuffer(), u"z\u00C4r \u20AC");
  EXPECT_EQ(FocusedIndex(), 2);
}

}  // namespace
}  // namespace dashtune
