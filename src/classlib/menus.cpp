#include "classlib/menus.h"

#include <algorithm>
#include <atomic>

#include "classlib/lists.h"
#include "classlib/sysutils.h"
#include "classlib/messages.h"
#include "platform/user/menus.h"
#include "platform/user/window.h"

namespace dashtune {

namespace {

// Command ids start above the ids a dialog uses (IDOK..IDHELP).
win::UINT NextCommand() {
  static std::atomic<win::UINT> next{100};
  return next++;
}

// Appends the visible items of `item` to `menu`, with submenus for items that hold items.
void FillMenu(win::HMENU menu, const TMenuItem& item) {
  for (int index = 0; index < item.GetCount(); ++index) {
    const TMenuItem* child = item.GetItem(index);
    if (!child->GetVisible()) continue;
    const win::UINT state = child->GetEnabled() ? win::MF_ENABLED : win::MF_GRAYED;
    if (child->GetCount() > 0) {
      win::HMENU submenu = win::CreatePopupMenu();
      FillMenu(submenu, *child);
      win::AppendMenuA(menu, win::MF_POPUP | state, reinterpret_cast<win::UINT_PTR>(submenu),
                       child->GetCaption().c_str());
    } else {
      win::AppendMenuA(menu, win::MF_STRING | state, child->GetCommand(), child->GetCaption().c_str());
    }
  }
}

}  // namespace

// --- menu item -----------------------------------------------------------------------------

TMenuItem::TMenuItem(TComponent* AOwner) : TComponent(AOwner), command_(NextCommand()) {}

TMenuItem::~TMenuItem() {
  if (parent_ != nullptr) parent_->Remove(this);
  while (!items_.empty()) delete items_.back();  // each leaves the list as it goes
}

TMenuItem* TMenuItem::GetItem(int Index) const {
  if (Index < 0 || Index >= GetCount()) throw EListError(sysconst::SListIndexError, {Index});
  return items_[static_cast<std::size_t>(Index)];
}

void TMenuItem::Add(TMenuItem* Item) {
  if (Item == nullptr || Item == this) return;
  if (Item->parent_ != nullptr) Item->parent_->Remove(Item);
  Item->parent_ = this;
  items_.push_back(Item);
}

void TMenuItem::Remove(TMenuItem* Item) {
  auto found = std::find(items_.begin(), items_.end(), Item);
  if (found == items_.end()) return;
  items_.erase(found);
  Item->parent_ = nullptr;
}

int TMenuItem::IndexOf(const TMenuItem* Item) const {
  auto found = std::find(items_.begin(), items_.end(), Item);
  return found == items_.end() ? -1 : static_cast<int>(found - items_.begin());
}

TMenuItem* TMenuItem::FindCommand(win::UINT Command) {
  if (Command == command_) return this;
  for (TMenuItem* child : items_) {
    if (TMenuItem* found = child->FindCommand(Command)) return found;
  }
  return nullptr;
}

void TMenuItem::Click() {
  if (enabled_ && OnClick) OnClick(this);
}

// --- popup menu ----------------------------------------------------------------------------

TPopupMenu::TPopupMenu(TComponent* AOwner)
    : TComponent(AOwner), items_(std::make_unique<TMenuItem>(nullptr)) {
  window_ = AllocateHWnd([this](TMessage& Message) {
    Message.Result = win::DefWindowProcA(window_, Message.Msg, Message.WParam, Message.LParam);
  });
}

TPopupMenu::~TPopupMenu() { DeallocateHWnd(window_); }

void TPopupMenu::Notification(TComponent* AComponent, TOperation Operation) {
  TComponent::Notification(AComponent, Operation);
  if (Operation == opRemove && AComponent == popup_component_) popup_component_ = nullptr;
}

void TPopupMenu::Popup(int X, int Y) {
  if (OnPopup) OnPopup(this);
  win::HMENU menu = win::CreatePopupMenu();
  FillMenu(menu, *items_);
  const auto chosen = static_cast<win::UINT>(
      win::TrackPopupMenu(menu, win::TPM_RIGHTBUTTON | win::TPM_RETURNCMD, X, Y, 0, window_, nullptr));
  win::DestroyMenu(menu);
  if (chosen == 0) return;
  if (TMenuItem* item = items_->FindCommand(chosen)) item->Click();
}

}  // namespace dashtune
