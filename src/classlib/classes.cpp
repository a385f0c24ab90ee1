#include "classlib/classes.h"

namespace dashtune {

void TPersistent::Assign(const TPersistent* Source) {
  if (!Source) AssignError(nullptr);
  Source->AssignTo(this);
}

void TPersistent::AssignTo(TPersistent* Dest) const { Dest->AssignError(this); }

void TPersistent::AssignError(const TPersistent* Source) const {
  std::string source_name = Source ? Source->ClassName() : "nil";
  throw EConvertError(sysconst::SAssignError, {source_name, ClassName()});
}

}  // namespace dashtune

namespace dashtune {
namespace {

bool IsValidIdent(std::string_view name) {
  auto alpha = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; };
  if (name.empty() || !alpha(name[0])) return false;
  for (char c : name) {
    if (!alpha(c) && !(c >= '0' && c <= '9')) return false;
  }
  return true;
}

bool SameText(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 32);
    if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 32);
    if (x != y) return false;
  }
  return true;
}

}  // namespace

TComponent::TComponent(TComponent* AOwner) {
  if (AOwner) AOwner->InsertComponent(this);
}

TComponent::~TComponent() { Destroy(); }

void TComponent::BeforeDestruction() { Destroy(); }

void TComponent::Destroy() {
  if (destroyed_) return;
  destroyed_ = true;
  Destroying();
  // Each notified component forgets this one (RemoveFreeNotification), which may shrink the
  // list by more than one entry; take them one at a time.
  while (free_notifies_.GetCount() > 0) {
    auto* other = static_cast<TComponent*>(free_notifies_.Last());
    free_notifies_.Delete(free_notifies_.GetCount() - 1);
    other->RemoveNotification(this);
    other->Notification(this, opRemove);
  }
  DestroyComponents();
  if (owner_) owner_->RemoveComponent(this);
}

int TComponent::GetComponentIndex() const { return owner_ ? owner_->components_.IndexOf(this) : -1; }

TComponent* TComponent::FindComponent(std::string_view name) const {
  if (name.empty()) return nullptr;
  for (int i = 0; i < GetComponentCount(); ++i) {
    TComponent* component = GetComponent(i);
    if (SameText(component->name_, name)) return component;
  }
  return nullptr;
}

void TComponent::SetName(const std::string& NewName) {
  if (name_ == NewName) return;
  if (!NewName.empty() && !IsValidIdent(NewName)) throw EComponentError(sysconst::SInvalidName, {NewName});
  if (owner_) {
    owner_->ValidateRename(this, name_, NewName);
  } else {
    ValidateRename(nullptr, name_, NewName);
  }
  name_ = NewName;
}

void TComponent::ValidateRename(TComponent* AComponent, const std::string& CurName, const std::string& NewName) {
  if (AComponent && !SameText(CurName, NewName) && AComponent->owner_ == this && FindComponent(NewName)) {
    throw EComponentError(sysconst::SDuplicateName, {NewName});
  }
}

void TComponent::InsertComponent(TComponent* AComponent) {
  if (AComponent->owner_ == this) return;
  ValidateRename(AComponent, "", AComponent->name_);
  if (AComponent->owner_) AComponent->owner_->RemoveComponent(AComponent);
  components_.Add(AComponent);
  AComponent->owner_ = this;
  if (state_.Contains(csDesigning)) AComponent->SetDesigning(true);
  Notification(AComponent, opInsert);
}

void TComponent::RemoveComponent(TComponent* AComponent) {
  if (AComponent->owner_ != this) return;
  Notification(AComponent, opRemove);
  components_.Remove(AComponent);
  AComponent->owner_ = nullptr;
}

void TComponent::DestroyComponents() {
  while (GetComponentCount() > 0) {
    TComponent* instance = GetComponent(GetComponentCount() - 1);
    // Components that asked for notifications are removed with them; the others silently.
    if (instance->state_.Contains(csFreeNotification)) {
      RemoveComponent(instance);
    } else {
      components_.Delete(GetComponentCount() - 1);
      instance->owner_ = nullptr;
    }
    delete instance;
  }
}

void TComponent::Destroying() {
  if (state_.Contains(csDestroying)) return;
  state_.Include(csDestroying);
  for (int i = 0; i < GetComponentCount(); ++i) GetComponent(i)->Destroying();
}

void TComponent::FreeNotification(TComponent* AComponent) {
  if (!AComponent || AComponent == this) return;
  if (!owner_ || AComponent->owner_ != owner_) {
    if (free_notifies_.IndexOf(AComponent) < 0) {
      free_notifies_.Add(AComponent);
      AComponent->FreeNotification(this);
    }
  }
  state_.Include(csFreeNotification);
}

void TComponent::RemoveFreeNotification(TComponent* AComponent) {
  RemoveNotification(AComponent);
  AComponent->RemoveNotification(this);
}

void TComponent::RemoveNotification(TComponent* AComponent) { free_notifies_.Remove(AComponent); }

void TComponent::Notification(TComponent* AComponent, TOperation Operation) {
  if (Operation == opRemove && AComponent) RemoveFreeNotification(AComponent);
  // A handler may free components of this owner; re-check the index after each call.
  for (int i = GetComponentCount() - 1; i >= 0; --i) {
    GetComponent(i)->Notification(AComponent, Operation);
    if (i > GetComponentCount()) i = GetComponentCount();
  }
}

void TComponent::Loaded() { state_.Exclude(csLoading); }

void TComponent::SetDesigning(bool value, bool SetChildren) {
  if (value) {
    state_.Include(csDesigning);
  } else {
    state_.Exclude(csDesigning);
  }
  if (SetChildren) {
    for (int i = 0; i < GetComponentCount(); ++i) GetComponent(i)->SetDesigning(value);
  }
}

}  // namespace dashtune
