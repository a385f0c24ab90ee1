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

constexpr char kSeparatorCaption[] = "-";

}  // namespace

win::UINT MenuItemType(const TMenuItem& item, bool right_to_left) {
  if (item.GetCaption() == kSeparatorCaption) return win::MFT_SEPARATOR;
  win::UINT type = win::MFT_STRING;
  if (item.GetRadioItem()) type |= win::MFT_RADIOCHECK;
  if (right_to_left) type |= win::MFT_RIGHTJUSTIFY;
  if (item.GetBreak() == TMenuBreak::mbBreak) type |= win::MFT_MENUBREAK;
  if (item.GetBreak() == TMenuBreak::mbBarBreak) type |= win::MFT_MENUBARBREAK;
  return type;
}

win::UINT MenuItemState(const TMenuItem& item) {
  win::UINT state = 0;
  if (item.GetChecked()) state |= win::MFS_CHECKED;
  if (item.GetDefault()) state |= win::MFS_DEFAULT;
  if (!item.GetEnabled()) state |= win::MFS_GRAYED;
  return state;
}

namespace {

// Appends the visible items of `item` to `menu`, with submenus for items that hold items.
void FillMenu(win::HMENU menu, const TMenuItem& item, bool right_to_left) {
  for (int index = 0; index < item.GetCount(); ++index) {
    const TMenuItem* child = item.GetItem(index);
    if (!child->GetVisible()) continue;
    win::MENUITEMINFOA info;
    info.fMask = win::MIIM_FTYPE | win::MIIM_STATE | win::MIIM_ID | win::MIIM_STRING | win::MIIM_DATA;
    info.fType = MenuItemType(*child, right_to_left);
    info.fState = MenuItemState(*child);
    info.wID = child->GetCommand();
    info.dwItemData = reinterpret_cast<win::ULONG_PTR>(child);
    info.dwTypeData = const_cast<char*>(child->GetCaption().c_str());
    info.cch = static_cast<win::UINT>(child->GetCaption().size());
    if (child->GetCount() > 0) {
      info.fMask |= win::MIIM_SUBMENU;
      info.hSubMenu = win::CreatePopupMenu();
      FillMenu(info.hSubMenu, *child, right_to_left);
    }
    win::InsertMenuItemA(menu, win::GetMenuItemCount(menu), win::TRUE, &info);
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
  FillMenu(menu, *items_, right_to_left_);
  const auto chosen = static_cast<win::UINT>(
      win::TrackPopupMenu(menu, win::TPM_RIGHTBUTTON | win::TPM_RETURNCMD, X, Y, 0, window_, nullptr));
  win::DestroyMenu(menu);
  if (chosen == 0) return;
  if (TMenuItem* item = items_->FindCommand(chosen)) item->Click();
}

}  // namespace dashtune
