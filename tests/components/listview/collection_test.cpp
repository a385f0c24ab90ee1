// Collection items and collections: the stream record's bytes and round trips, hostile streams,
// the state-change rule with its events, clearing, and the visible-neighbour walks.
#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "components/listview/listview.h"
#include "listview_test_support.h"

namespace dashtune {
namespace {

using testing::BytesOf;
using testing::ListviewOnForm;
using testing::WriteBytes;
using Bytes = std::vector<std::uint8_t>;

using testing::kNewItemRecord;

Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& part : parts) out.insert(out.end(), part.begin(), part.end());
  return out;
}

TEST(CollectionStream, ANewItemSavedWithVersionFourIsTenBytes) {
  TTouchItems items(nullptr, nullptr);
  TMemoryStream stream;
  items.AddVirtual()->SaveToStream(&stream, 4);
  EXPECT_EQ(BytesOf(stream), kNewItemRecord);
}

TEST(CollectionStream, AStoredItemAppendsItsDataRecord) {
  TTouchItems items(nullptr, nullptr);
  TTouchItemStored* item = items.AddStored();
  item->SetCaption(u"Ab");
  TMemoryStream stream;
  item->SaveToStream(&stream, 4);
  const Bytes zero_count = {0, 0, 0, 0};
  EXPECT_EQ(BytesOf(stream), Concat({kNewItemRecord, {1, 0, 0, 0, 2, 0, 0, 0, 0x41, 0, 0x62, 0}, zero_count,
                                     zero_count, zero_count, zero_count, zero_count}));
}

TEST(CollectionStream, ACollectionStartsWithVersionAndCount) {
  TTouchItems items(nullptr, nullptr);
  items.AddStored();
  items.AddStored();
  TMemoryStream stream;
  items.SaveToStream(&stream);
  const Bytes bytes = BytesOf(stream);
  ASSERT_GE(bytes.size(), 8u);
  EXPECT_EQ(Bytes(bytes.begin(), bytes.begin() + 8), (Bytes{4, 0, 0, 0, 2, 0, 0, 0}));
}

TEST(CollectionStream, ARecordWithoutMarkerLoadsAsVersionTwoWithoutStateImages) {
  // State: Visible | Enabled | Checked | Bold; captions "A"; four empty arrays; a group key
  // array with one key; no state image array follows in a version 2 record.
  const Bytes record = {0x01, 0x51, 1, 0, 0, 0, 1, 0, 0, 0, 0x41, 0,   0, 0, 0, 0, 0, 0, 0, 0,
                        0,    0,    0, 0, 1, 0, 0, 0, 7, 0, 0,    0, 0xAA};
  TMemoryStream stream;
  WriteBytes(stream, record);
  TTouchItems items(nullptr, nullptr);
  TTouchItemStored* item = items.AddStored();
  int version = 4;
  item->LoadFromStream(&stream, version);
  EXPECT_EQ(version, 2);
  EXPECT_EQ(stream.GetPosition(), static_cast<std::int64_t>(record.size()) - 1);
  EXPECT_EQ(item->GetCaption(), u"A");
  EXPECT_TRUE(item->GetChecked());
  EXPECT_TRUE(item->GetBold());
  EXPECT_EQ(item->GetGroupKey(0), 7u);
  EXPECT_EQ(item->GetStateImageIndex(), -1);
}

TEST(CollectionStream, AnOldRecordShorterThanAMarkerStillLoads) {
  // Only the two state bytes are left: the marker read comes up short and steps back.
  TMemoryStream stream;
  WriteBytes(stream, {0x00, 0x11});
  TTouchItems items(nullptr, nullptr);
  TTouchItemVirtual* item = items.AddVirtual();
  int version = 4;
  item->LoadFromStream(&stream, version);
  EXPECT_EQ(version, 2);
  EXPECT_EQ(stream.GetPosition(), 2);
  EXPECT_TRUE(item->GetVisible());
}

TEST(CollectionStream, SaveLoadSaveGivesTheSameBytes) {
  TTouchItems items(nullptr, nullptr);
  TTouchItemStored* first = items.AddStored();
  first->SetCaptions(0, u"Erste");
  first->SetCaptions(2, u"Drei");
  first->SetImageIndex(5);
  first->SetImageOverlayIndex(1);
  first->SetStateImageIndex(3);
  first->SetDetails(1, 2);
  first->SetGroupKey(0, 0x41);
  first->SetChecked(true);
  first->SetBold(true);
  TTouchItemStored* second = items.AddStored();
  second->SetCaption(u"Zweite \u00e4");
  second->SetEnabled(false);
  TMemoryStream saved;
  items.SaveToStream(&saved);

  TTouchItems loaded(nullptr, nullptr);
  saved.SetPosition(0);
  loaded.LoadFromStream(&saved);
  ASSERT_EQ(loaded.GetCount(), 2);
  EXPECT_EQ(static_cast<TTouchItemStored*>(loaded.GetItem(0))->GetCaptions(2), u"Drei");
  EXPECT_FALSE(loaded.GetItem(1)->GetEnabled());
  TMemoryStream again;
  loaded.SaveToStream(&again);
  EXPECT_EQ(BytesOf(again), BytesOf(saved));
}

TEST(CollectionStream, HostileCountsRaiseTheReadErrorBeforeAllocating) {
  const Bytes head = Concat({{4, 0, 0, 0, 1, 0, 0, 0}, kNewItemRecord});
  const std::vector<Bytes> cases = {
      {4, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0x7F},                        // a huge item count
      {4, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF},                        // a negative item count
      Concat({head, {0xFF, 0xFF, 0xFF, 0x7F}}),                    // a huge caption count
      Concat({head, {0x00, 0x00, 0x00, 0x80}}),                    // a negative caption count
      Concat({head, {1, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0x3F}}),        // a caption longer than the stream
      Concat({head, {1, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF}}),        // a negative caption length
      Concat({head, {0, 0, 0, 0, 0xF0, 0xFF, 0xFF, 0x0F}}),        // a huge detail count
  };
  for (const Bytes& bytes : cases) {
    TMemoryStream stream;
    WriteBytes(stream, bytes);
    TTouchItems items(nullptr, nullptr);
    EXPECT_THROW(items.LoadFromStream(&stream), EReadError);
  }
}

// Loads bytes into a collection of stored items: either it loads, or it raises a stream error.
void LoadOrReadError(const Bytes& bytes) {
  TMemoryStream stream;
  WriteBytes(stream, bytes);
  TTouchItems items(nullptr, nullptr);
  try {
    items.LoadFromStream(&stream);
  } catch (const EReadError&) {
  }
}

Bytes ValidCollectionBytes() {
  TTouchItems items(nullptr, nullptr);
  for (int i = 0; i < 3; ++i) {
    TTouchItemStored* item = items.AddStored();
    item->SetCaptions(i, u"Titel");
    item->SetImageIndex(i);
    item->SetGroupKey(1, 9);
  }
  TMemoryStream stream;
  items.SaveToStream(&stream);
  return BytesOf(stream);
}

TEST(CollectionStream, EveryTruncationRaisesOrLoads) {
  const Bytes valid = ValidCollectionBytes();
  for (std::size_t length = 0; length < valid.size(); ++length) {
    TMemoryStream stream;
    WriteBytes(stream, Bytes(valid.begin(), valid.begin() + static_cast<std::ptrdiff_t>(length)));
    TTouchItems items(nullptr, nullptr);
    EXPECT_THROW(items.LoadFromStream(&stream), EReadError) << "length " << length;
  }
}

std::uint64_t EnvNumber(const char* name, std::uint64_t fallback) {
  const char* text = std::getenv(name);
  return text ? std::strtoull(text, nullptr, 10) : fallback;
}

// Seeded mutations (byte changes, cuts and repeats) of a valid stream. DASHTUNE_FUZZ_ITERATIONS
// and DASHTUNE_FUZZ_SEED lengthen or vary the run (scripts/fuzz).
TEST(CollectionStreamFuzz, MutatedStreamsRaiseOrLoadCleanly) {
  const Bytes valid = ValidCollectionBytes();
  std::mt19937_64 random(EnvNumber("DASHTUNE_FUZZ_SEED", 20261207));
  const std::uint64_t iterations = EnvNumber("DASHTUNE_FUZZ_ITERATIONS", 20000);
  for (std::uint64_t round = 0; round < iterations; ++round) {
    Bytes bytes = valid;
    const int changes = 1 + static_cast<int>(random() % 4);
    for (int c = 0; c < changes; ++c) {
      const std::size_t at = random() % bytes.size();
      switch (random() % 4) {
        case 0: bytes.resize(at); break;                                               // cut
        case 1: bytes.insert(bytes.begin() + static_cast<std::ptrdiff_t>(at), bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(at)); break;  // repeat
        default: bytes[at] = static_cast<std::uint8_t>(random()); break;              // change
      }
      if (bytes.empty()) break;
    }
    LoadOrReadError(bytes);
  }
}

// ---- The state-change rule ----

struct EventLog {
  std::vector<std::string> events;
  void Attach(TCustomTouchListview* listview) {
    listview->OnItemFocusChanged = [this](TCustomTouchListview*, TTouchItem*) { events.push_back("focus"); };
    listview->OnItemSelectionChanged = [this](TCustomTouchListview*, TTouchItem*) { events.push_back("selection"); };
    listview->OnItemCheckChange = [this](TCustomTouchListview*, TTouchItem*) { events.push_back("check"); };
    listview->OnItemVisibilityChanged = [this](TCustomTouchListview*, TTouchItem*) { events.push_back("visibility"); };
    listview->OnItemVisibilityChanging = [this](TCustomTouchListview*, TTouchItem*, bool&) {
      events.push_back("visibility?");
    };
    listview->OnItemCheckChanging = [this](TCustomTouchListview*, TTouchItem*, bool&) { events.push_back("check?"); };
  }
};

TEST(ItemState, InvisibleOrDisabledItemsRefuseFocusAndSelection) {
  TTouchListview listview(nullptr);
  TTouchItem* hidden = listview.GetItems()->AddVirtual();
  TTouchItem* disabled = listview.GetItems()->AddVirtual();
  hidden->SetVisible(false);
  disabled->SetEnabled(false);
  for (TTouchItem* item : {hidden, disabled}) {
    item->SetFocused(true);
    item->SetSelected(true);
    EXPECT_FALSE(item->GetFocused());
    EXPECT_FALSE(item->GetSelected());
  }
  EXPECT_EQ(listview.GetSelection()->GetFocusedItem(), nullptr);
  EXPECT_EQ(listview.GetSelection()->GetCount(), 0);
}

TEST(ItemState, HidingAFocusedSelectedCheckedItemAnnouncesTheThreeFirst) {
  EventLog log;  // outlives the control, whose last events it still hears
  TTouchListview listview(nullptr);
  TTouchItem* item = listview.GetItems()->AddVirtual();
  item->SetFocused(true);
  item->SetSelected(true);
  item->SetChecked(true);
  log.Attach(&listview);
  item->SetVisible(false);
  EXPECT_EQ(log.events, (std::vector<std::string>{"focus", "selection", "check?", "check", "visibility?", "visibility"}));
  EXPECT_FALSE(item->GetFocused());
  EXPECT_FALSE(item->GetSelected());
  EXPECT_FALSE(item->GetChecked());
  EXPECT_EQ(listview.GetCheckManager()->GetCheckedCount(), 0);
  EXPECT_EQ(listview.GetSelection()->GetCount(), 0);
  EXPECT_EQ(listview.GetSelection()->GetFocusedItem(), nullptr);
}

TEST(ItemState, ADisabledItemIsNotCheckedAndNotAsked) {
  EventLog log;  // outlives the control, whose last events it still hears
  TTouchListview listview(nullptr);
  TTouchItem* item = listview.GetItems()->AddVirtual();
  item->SetEnabled(false);
  log.Attach(&listview);
  item->SetChecked(true);
  EXPECT_FALSE(item->GetChecked());
  EXPECT_TRUE(log.events.empty());
}

TEST(ItemState, BecomingVisibleInAHiddenGroupIsRefusedWithoutAsking) {
  EventLog log;  // outlives the control, whose last events it still hears
  TTouchListview listview(nullptr);
  TTouchItem* item = listview.GetItems()->AddVirtual();
  item->SetVisible(false);
  item->GetOwnerGroup()->SetVisible(false);
  log.Attach(&listview);
  item->SetVisible(true);
  EXPECT_FALSE(item->GetVisible());
  EXPECT_TRUE(log.events.empty());
}

TEST(ItemState, ARefusingHandlerKeepsTheState) {
  TTouchListview listview(nullptr);
  TTouchItem* item = listview.GetItems()->AddVirtual();
  listview.OnItemFocusChanging = [](TCustomTouchListview*, TTouchItem*, bool& allow) { allow = false; };
  item->SetFocused(true);
  EXPECT_FALSE(item->GetFocused());
}

TEST(ItemState, FocusMovesFromItemToItem) {
  TTouchListview listview(nullptr);
  TTouchItem* first = listview.GetItems()->AddVirtual();
  TTouchItem* second = listview.GetItems()->AddVirtual();
  first->SetFocused(true);
  second->SetFocused(true);
  EXPECT_FALSE(first->GetFocused());
  EXPECT_EQ(listview.GetSelection()->GetFocusedItem(), second);
  listview.GetSelection()->SetFocusedItem(first);
  EXPECT_TRUE(first->GetFocused());
  EXPECT_FALSE(second->GetFocused());
}

TEST(ItemState, TheSelectionSwitchOffRefusesSelection) {
  TTouchListview listview(nullptr);
  TTouchItem* item = listview.GetItems()->AddVirtual();
  item->SetSelected(true);
  listview.GetSelection()->SetEnabled(false);
  EXPECT_FALSE(item->GetSelected());
  item->SetSelected(true);
  EXPECT_FALSE(item->GetSelected());
  item->SetFocused(true);
  EXPECT_TRUE(item->GetFocused());
}

TEST(Collection, ClearWithoutFreeingKeepsMembersAliveAndDestroying) {
  TTouchListview listview(nullptr);
  TTouchItems* items = listview.GetGroups()->AddGroup()->GetItems();
  std::vector<TTouchItem*> members;
  for (int i = 0; i < 3; ++i) members.push_back(items->AddVirtual());
  members[1]->SetFocused(true);
  members[2]->SetSelected(true);
  int freed = 0;
  listview.OnItemFreeing = [&freed](TCustomTouchListview*, TTouchItem*) { ++freed; };
  items->Clear(false);
  EXPECT_EQ(items->GetCount(), 0);
  EXPECT_EQ(freed, 0);
  for (TTouchItem* item : members) {
    EXPECT_TRUE(item->GetDestroying());
    EXPECT_FALSE(item->GetFocused());
    EXPECT_FALSE(item->GetSelected());
  }
  EXPECT_EQ(listview.GetSelection()->GetFocusedItem(), nullptr);
  for (TTouchItem* item : members) delete item;
  EXPECT_EQ(freed, 3);
}

TEST(Collection, VisibleNeighboursSkipHiddenMembersAndEndWithNil) {
  TTouchItems items(nullptr, nullptr);
  std::vector<TTouchItem*> members;
  for (int i = 0; i < 4; ++i) members.push_back(items.AddVirtual());
  members[1]->SetVisible(false);
  EXPECT_EQ(items.NextVisible(members[0]), members[2]);
  EXPECT_EQ(items.PrevVisible(members[2]), members[0]);
  EXPECT_EQ(items.PrevVisible(members[0]), nullptr);
  EXPECT_EQ(items.NextVisible(members[3]), nullptr);
  EXPECT_EQ(items.NextVisible(nullptr), nullptr);
}

TEST(Collection, AddSetsIndexesAndMakeAllVisibleShowsEveryMember) {
  TTouchItems items(nullptr, nullptr);
  for (int i = 0; i < 5; ++i) {
    TTouchItem* item = items.AddVirtual(i * 10);
    EXPECT_EQ(item->GetIndex(), i);
    EXPECT_EQ(item->GetData(), i * 10);
    item->SetVisible(i % 2 == 0);
  }
  items.MakeAllVisible();
  for (int i = 0; i < 5; ++i) EXPECT_TRUE(items.GetItem(i)->GetVisible());
}

TEST(Collection, AFreedItemIsForgottenByEveryManager) {
  ListviewOnForm host;
  TTouchListview* listview = host.listview;
  TTouchItem* item = listview->GetItems()->AddVirtual();
  listview->GetHotTrack()->SetEnabled(true);
  listview->GetHotTrack()->SetHotObject(item, {1, 1});
  listview->GetHotTrack()->SetCheckHoverObject(item);
  listview->GetCheckManager()->SetPendingObject(item);
  listview->GetDragManager()->SetDropTarget(item);
  item->SetFocused(true);
  delete item;
  EXPECT_EQ(listview->GetHotTrack()->GetHotObject(), nullptr);
  EXPECT_EQ(listview->GetHotTrack()->GetCheckHoverObject(), nullptr);
  EXPECT_EQ(listview->GetCheckManager()->GetPendingObject(), nullptr);
  EXPECT_EQ(listview->GetDragManager()->GetDropTarget(), nullptr);
  EXPECT_EQ(listview->GetSelection()->GetFocusedItem(), nullptr);
}

// ---- Persistent state bits through a save and a load ----

// The persistent bits, set through the setters in an order that reaches every state the rule
// allows: shown or hidden first (hiding drops the check), then check, selection and bold, the
// disabling last (a disabled member refuses a check but keeps one).
void ApplyPersistentState(TTouchCollectionItem* member, std::uint16_t state) {
  member->SetVisible((state & esfVisible) != 0);
  member->SetChecked((state & esfChecked) != 0);
  member->SetSelected((state & esfSelected) != 0);
  member->SetBold((state & esfBold) != 0);
  member->SetEnabled((state & esfEnabled) != 0);
}

std::uint16_t PersistentState(const TTouchCollectionItem* member) { return member->GetState() & kPersistentStateMask; }

// Every combination of the five persistent bits.
std::vector<std::uint16_t> EveryPersistentCombination() {
  const std::uint16_t bits[] = {esfChecked, esfEnabled, esfSelected, esfVisible, esfBold};
  std::vector<std::uint16_t> all;
  for (unsigned mask = 0; mask < 32; ++mask) {
    std::uint16_t state = 0;
    for (int b = 0; b < 5; ++b)
      if (mask & (1u << b)) state |= bits[b];
    all.push_back(state);
  }
  return all;
}

// The collections a control keeps: its items, its groups and its columns.
struct MemberKind {
  const char* name;
  TTouchCollection* (*collection)(TTouchListview& listview);
};
const MemberKind kMemberKinds[] = {
    {"item", [](TTouchListview& lv) -> TTouchCollection* {
       if (lv.GetGroups()->GetCount() == 0) lv.GetGroups()->AddGroup();
       return lv.GetGroups()->GetGroup(0)->GetItems();
     }},
    {"group", [](TTouchListview& lv) -> TTouchCollection* { return lv.GetGroups(); }},
    {"column", [](TTouchListview& lv) -> TTouchCollection* { return lv.GetHeader()->GetColumns(); }},
};

TEST(StateRoundTrip, EveryReachableStateOfEveryMemberKindSurvivesASaveAndALoad) {
  for (const MemberKind& kind : kMemberKinds) {
    SCOPED_TRACE(kind.name);
    TTouchListview source(nullptr);
    TTouchCollection* saved = kind.collection(source);
    std::vector<std::uint16_t> states;
    for (std::uint16_t wanted : EveryPersistentCombination()) {
      TTouchCollectionItem* member = saved->Add(0);
      ApplyPersistentState(member, wanted);
      states.push_back(PersistentState(member));
      // Only a shown, enabled member holds a selection; every other combination is reached.
      const bool consistent = !(wanted & esfSelected) || ((wanted & esfVisible) && (wanted & esfEnabled));
      if (consistent) {
        EXPECT_EQ(states.back(), wanted) << std::hex << wanted;
      }
    }
    TMemoryStream stream;
    saved->SaveToStream(&stream);
    stream.SetPosition(0);
    TTouchListview target(nullptr);
    TTouchCollection* loaded = kind.collection(target);
    loaded->LoadFromStream(&stream);
    ASSERT_EQ(loaded->GetCount(), static_cast<int>(states.size()));
    for (int i = 0; i < loaded->GetCount(); ++i)
      EXPECT_EQ(PersistentState(loaded->GetItem(i)), states[i]) << std::hex << "saved " << states[i];
    if (std::string(kind.name) == "item") {
      EXPECT_EQ(target.GetCheckManager()->GetCheckedCount(), source.GetCheckManager()->GetCheckedCount());
      EXPECT_EQ(target.GetSelection()->GetCount(), source.GetSelection()->GetCount());
    }
  }
}

TEST(StateRoundTrip, ARecordLoadedOverAnyStateRestoresItsOwnBits) {
  for (const MemberKind& kind : kMemberKinds) {
    SCOPED_TRACE(kind.name);
    TTouchListview listview(nullptr);
    TTouchCollection* collection = kind.collection(listview);
    TTouchCollectionItem* source = collection->Add(0);
    TTouchCollectionItem* target = collection->Add(0);
    for (std::uint16_t saved : EveryPersistentCombination()) {
      ApplyPersistentState(source, saved);
      TMemoryStream record;
      source->SaveToStream(&record, 4);
      for (std::uint16_t before : EveryPersistentCombination()) {
        ApplyPersistentState(target, before);
        record.SetPosition(0);
        int version = 4;
        target->LoadFromStream(&record, version);
        EXPECT_EQ(PersistentState(target), PersistentState(source))
            << std::hex << "saved " << PersistentState(source) << " over " << before;
      }
    }
  }
}

TEST(StateRoundTrip, AStoredSelectionOfAHiddenOrDisabledMemberIsDropped) {
  // Such a record comes from no save; the state rule still holds after its load.
  TTouchListview listview(nullptr);
  TTouchItem* item = listview.GetItems()->AddStored();
  TMemoryStream fresh;
  item->SaveToStream(&fresh, 4);
  for (std::uint16_t state : {std::uint16_t(esfSelected | esfEnabled), std::uint16_t(esfSelected | esfVisible)}) {
    Bytes bytes = BytesOf(fresh);
    bytes[8] = static_cast<std::uint8_t>(state);
    bytes[9] = static_cast<std::uint8_t>(state >> 8);
    TMemoryStream record;
    WriteBytes(record, bytes);
    record.SetPosition(0);
    int version = 0;
    item->LoadFromStream(&record, version);
    EXPECT_EQ(record.GetPosition(), record.GetSize());
    EXPECT_EQ(PersistentState(item), state & ~esfSelected);
    EXPECT_EQ(listview.GetSelection()->GetCount(), 0);
  }
}

TEST(MemberInterface, AMemberCountsNoReferencesAndAnswersNoInterface) {
  TTouchListview listview(nullptr);
  for (const MemberKind& kind : kMemberKinds) {
    SCOPED_TRACE(kind.name);
    TTouchCollectionItem* member = kind.collection(listview)->Add(0);
    EXPECT_EQ(member->_AddRef(), -1);
    EXPECT_EQ(member->_AddRef(), -1);
    EXPECT_EQ(member->_Release(), -1);
    void* object = &listview;
    EXPECT_EQ(static_cast<std::uint32_t>(member->QueryInterface(win::IUnknown::iid, &object)), 0x80004002u);
    EXPECT_EQ(object, nullptr);
  }
}

}  // namespace
}  // namespace dashtune
