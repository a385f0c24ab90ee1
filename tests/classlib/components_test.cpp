// Components: freeing order, insert, remove and free notifications, names, state flags.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "classlib/classes.h"

namespace dashtune {
namespace {

using Log = std::vector<std::string>;

// Records its notifications and its destruction in a shared log.
class TRecorder : public TComponent {
 public:
  TRecorder(TComponent* owner, const std::string& name, Log& log) : TComponent(owner), log_(log) {
    SetName(name);
  }
  ~TRecorder() override { log_.push_back("free " + GetName()); }

  void Loaded() override {
    TComponent::Loaded();
    log_.push_back("loaded " + GetName());
  }

 protected:
  void Notification(TComponent* component, TOperation operation) override {
    std::string what = operation == opInsert ? " insert " : " remove ";
    std::string state = component->GetComponentState().Contains(csDestroying) ? " (destroying)" : "";
    log_.push_back(GetName() + what + component->GetName() + state);
    TComponent::Notification(component, operation);
  }

 private:
  Log& log_;
};

TEST(ComponentTest, OwnerFreesOwnedComponentsLastFirst) {
  Log log;
  auto* owner = new TRecorder(nullptr, "Owner", log);
  new TRecorder(owner, "A", log);
  new TRecorder(owner, "B", log);
  new TRecorder(owner, "C", log);
  EXPECT_EQ(owner->GetComponentCount(), 3);
  EXPECT_EQ(owner->GetComponent(1)->GetName(), "B");
  EXPECT_EQ(owner->GetComponent(1)->GetComponentIndex(), 1);
  log.clear();
  delete owner;
  EXPECT_EQ(log, (Log{"free C", "free B", "free A", "free Owner"}));
}

TEST(ComponentTest, RemovalIsToldToTheOwnerAndItsComponentsLastFirst) {
  Log log;
  TRecorder owner(nullptr, "Owner", log);
  new TRecorder(&owner, "A", log);
  auto* b = new TRecorder(&owner, "B", log);
  new TRecorder(&owner, "C", log);
  log.clear();
  delete b;
  // The owner passes the removal to all of its components, the leaving one included.
  EXPECT_EQ(log, (Log{"Owner remove B (destroying)", "C remove B (destroying)", "B remove B (destroying)",
                      "A remove B (destroying)", "free B"}));
  EXPECT_EQ(owner.GetComponentCount(), 2);
  EXPECT_EQ(owner.FindComponent("b"), nullptr);
  EXPECT_EQ(owner.FindComponent("c")->GetName(), "C");
}

TEST(ComponentTest, InsertionIsToldToTheOwnerAndItsComponents) {
  Log log;
  TRecorder owner(nullptr, "Owner", log);
  new TRecorder(&owner, "A", log);
  log.clear();
  TComponent* plain = new TComponent(&owner);  // unnamed at the time of its insertion
  EXPECT_EQ(log, (Log{"Owner insert ", "A insert "}));
  EXPECT_EQ(plain->GetOwner(), &owner);
}

TEST(ComponentTest, FreeNotificationReachesComponentsOfOtherOwners) {
  Log log;
  auto* graph = new TRecorder(nullptr, "Graph", log);
  auto* window = new TRecorder(nullptr, "Window", log);
  window->FreeNotification(graph);
  EXPECT_TRUE(window->GetComponentState().Contains(csFreeNotification));
  log.clear();
  delete graph;
  EXPECT_EQ(log, (Log{"Window remove Graph (destroying)", "free Graph"}));
  log.clear();
  delete window;  // the graph is gone and must not be told
  EXPECT_EQ(log, (Log{"free Window"}));
}

TEST(ComponentTest, RemoveFreeNotificationStopsTheNotification) {
  Log log;
  auto* a = new TRecorder(nullptr, "A", log);
  auto* b = new TRecorder(nullptr, "B", log);
  a->FreeNotification(b);
  b->RemoveFreeNotification(a);
  log.clear();
  delete a;
  delete b;
  EXPECT_EQ(log, (Log{"free A", "free B"}));
}

TEST(ComponentTest, OwnedComponentWithFreeNotificationIsRemovedWithNotification) {
  Log log;
  auto* owner = new TRecorder(nullptr, "Owner", log);
  auto* watcher = new TRecorder(nullptr, "Watcher", log);
  auto* child = new TRecorder(owner, "Child", log);
  child->FreeNotification(watcher);
  log.clear();
  delete owner;
  // The owner first takes the child out with notification, then frees it, which tells the watcher.
  EXPECT_EQ(log, (Log{"Owner remove Child (destroying)", "Child remove Child (destroying)",
                      "Watcher remove Child (destroying)", "free Child", "free Owner"}));
  delete watcher;
}

TEST(ComponentTest, NamesAreIdentifiersUniqueUnderTheOwner) {
  Log log;
  TRecorder owner(nullptr, "Owner", log);
  auto* a = new TRecorder(&owner, "Alpha", log);
  struct Case {
    const char* name;
    const char* error;
  };
  const Case cases[] = {
      {"alpha", nullptr},  // itself, in another case
      {"Beta_2", nullptr},
      {"", nullptr},
      {"2fast", "'2fast' ist kein gültiger Komponentenname"},
      {"has space", "'has space' ist kein gültiger Komponentenname"},
  };
  for (const Case& c : cases) {
    try {
      a->SetName(c.name);
      EXPECT_EQ(c.error, nullptr) << c.name;
      EXPECT_EQ(a->GetName(), c.name);
    } catch (const EComponentError& e) {
      ASSERT_NE(c.error, nullptr) << c.name;
      EXPECT_EQ(e.GetMessage(), c.error);
    }
  }
  auto* b = new TRecorder(&owner, "Gamma", log);
  a->SetName("Delta");
  try {
    b->SetName("DELTA");
    FAIL();
  } catch (const EComponentError& e) {
    EXPECT_EQ(e.GetMessage(), "Eine Komponente mit der Bezeichnung DELTA existiert bereits");
  }
  EXPECT_EQ(b->GetName(), "Gamma");
}

TEST(ComponentTest, StateFlagsForLoadingAndDesigning) {
  Log log;
  TRecorder owner(nullptr, "Owner", log);
  auto* child = new TRecorder(&owner, "Child", log);
  child->BeginLoading();
  EXPECT_TRUE(child->GetComponentState().Contains(csLoading));
  child->Loaded();
  EXPECT_FALSE(child->GetComponentState().Contains(csLoading));
  EXPECT_EQ(log.back(), "loaded Child");
  owner.SetDesigning(true);
  EXPECT_TRUE(child->GetComponentState().Contains(csDesigning));
  auto* later = new TComponent(&owner);
  EXPECT_TRUE(later->GetComponentState().Contains(csDesigning));
}

TEST(ComponentTest, OwnershipMovesAndCanBeGivenUp) {
  Log log;
  TRecorder first(nullptr, "First", log);
  TRecorder second(nullptr, "Second", log);
  auto* child = new TRecorder(&first, "Child", log);
  second.InsertComponent(child);
  EXPECT_EQ(first.GetComponentCount(), 0);
  EXPECT_EQ(child->GetOwner(), &second);
  second.RemoveComponent(child);
  EXPECT_EQ(child->GetOwner(), nullptr);
  std::unique_ptr<TComponent> owned(child);
}

TEST(ThreadListTest, LockIsReentrantAndDuplicatesFollowTheSetting) {
  TThreadList list;
  int a = 0, b = 0;
  list.Add(&a);
  list.Add(&a);
  TList* locked = list.LockList();
  list.Add(&b);  // the same thread may lock again
  EXPECT_EQ(locked->GetCount(), 2);
  list.UnlockList();
  list.SetDuplicates(TDuplicates::dupError);
  EXPECT_THROW(list.Add(&b), EListError);
  list.SetDuplicates(TDuplicates::dupAccept);
  list.Add(&b);
  EXPECT_EQ(list.LockList()->GetCount(), 3);
  list.UnlockList();
}

}  // namespace
}  // namespace dashtune
