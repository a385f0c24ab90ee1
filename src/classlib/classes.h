// Persistent objects and components: TPersistent (assignment between objects), TComponent
// (ownership, names, state and notifications) and the common event types.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "classlib/lists.h"
#include "classlib/messages.h"
#include "classlib/set.h"
#include "classlib/sysutils.h"

namespace dashtune {

// Event types shared across the class library; "Sender" is the object that raises the event.
using TNotifyEvent = std::function<void(TObject* Sender)>;

namespace sysconst {
inline constexpr std::string_view SAssignError = "%s kann nicht zu %s zugewiesen werden";
inline constexpr std::string_view SInvalidName = "'%s' ist kein gültiger Komponentenname";
inline constexpr std::string_view SDuplicateName = "Eine Komponente mit der Bezeichnung %s existiert bereits";
}  // namespace sysconst

class TFiler;

// An object whose state can be copied to and from other objects with Assign.
class TPersistent : public TObject {
 public:
  // Copies Source into this object. The base asks Source to AssignTo this object; nil raises the
  // assignment error.
  virtual void Assign(const TPersistent* Source);
  // Names the properties a filer stores beyond the published ones (classlib/filer.h); none here.
  virtual void DefineProperties(TFiler*) {}

 protected:
  // Copies this object into Dest; the base raises the assignment error.
  virtual void AssignTo(TPersistent* Dest) const;
  // Raises EConvertError "<source class> kann nicht zu <this class> zugewiesen werden" ("nil" for
  // no source).
  [[noreturn]] void AssignError(const TPersistent* Source) const;
};

class EComponentError : public Exception {
 public:
  using Exception::Exception;
};

enum TComponentStateItem : int {
  csLoading,
  csReading,
  csWriting,
  csDestroying,
  csDesigning,
  csAncestor,
  csUpdating,
  csFixups,
  csFreeNotification,
  csInline,
  csDesignInstance
};
using TComponentState = Set<TComponentStateItem>;

enum TOperation : int { opInsert, opRemove };

// A component: an object with an owner, a name and notifications.
//
// Ownership: a component created with an owner is owned by it and freed by it, last created
// first; do not also hold it in a std::unique_ptr. A component without an owner belongs to its
// creator. Deleting a component (through any pointer type) first marks it and its owned
// components as destroying, tells every component that asked for FreeNotification (each gets
// Notification(this, opRemove)), frees its owned components, and leaves its owner, which
// passes Notification(this, opRemove) to itself and to all of its components.
//
// The owner is told of a new component (Notification(component, opInsert)) from the
// component's constructor, before the descendant parts of the new component exist: an override
// sees a plain TComponent there.
class TComponent : public TPersistent {
 public:
  explicit TComponent(TComponent* AOwner);
  ~TComponent() override;
  TComponent(const TComponent&) = delete;
  TComponent& operator=(const TComponent&) = delete;

  void BeforeDestruction() override;

  TComponent* GetOwner() const { return owner_; }
  int GetComponentCount() const { return components_.GetCount(); }
  // An index outside 0..ComponentCount-1 raises EListError.
  TComponent* GetComponent(int index) const { return static_cast<TComponent*>(components_.Get(index)); }
  // The position in the owner's list, -1 without an owner.
  int GetComponentIndex() const;
  // The owned component with that name (ignoring ASCII case), or nil; "" finds nothing.
  TComponent* FindComponent(std::string_view name) const;

  const std::string& GetName() const { return name_; }
  // A name must be empty or an identifier (letter or "_", then letters, digits, "_"), else
  // EComponentError; a name that another component of the same owner has raises
  // EComponentError.
  virtual void SetName(const std::string& NewName);
  std::intptr_t GetTag() const { return tag_; }
  void SetTag(std::intptr_t value) { tag_ = value; }

  TComponentState GetComponentState() const { return state_; }

  // Takes ownership of AComponent (leaving its former owner first).
  void InsertComponent(TComponent* AComponent);
  // Gives up ownership of AComponent, which then belongs to the caller.
  void RemoveComponent(TComponent* AComponent);
  // Frees every owned component, the last first.
  void DestroyComponents();
  // Marks this component and, recursively, its owned components as destroying.
  void Destroying();

  // Asks that AComponent gets Notification(this, opRemove) when this component is freed (and
  // the other way round). Components of the same owner need not ask: the owner tells them.
  void FreeNotification(TComponent* AComponent);
  void RemoveFreeNotification(TComponent* AComponent);

  // Marks the component as being loaded; Loaded ends it.
  void BeginLoading() { state_.Include(csLoading); }
  // Called when the component's properties have all been set by loading: clears csLoading.
  virtual void Loaded();
  // Sets or clears csDesigning on this component and, with SetChildren, its owned components.
  void SetDesigning(bool value, bool SetChildren = true);

 protected:
  // Told of components inserted into or removed from the owner, and of components that this
  // one asked to be told about. The base forgets a removed component's free notification and
  // passes the notification to its owned components, the last first.
  virtual void Notification(TComponent* AComponent, TOperation Operation);
  // Raises EComponentError when AComponent, owned here, would take a name another owned
  // component has.
  virtual void ValidateRename(TComponent* AComponent, const std::string& CurName, const std::string& NewName);

 private:
  void RemoveNotification(TComponent* AComponent);
  void Destroy();

  TComponent* owner_ = nullptr;  // not owned
  TList components_;             // owned components (TComponent*)
  TList free_notifies_;          // components to tell when this one goes (TComponent*, not owned)
  std::string name_;
  std::intptr_t tag_ = 0;
  TComponentState state_;
  bool destroyed_ = false;
};

}  // namespace dashtune
