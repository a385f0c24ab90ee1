// Popup menus: TMenuItem (a command with a caption, or a submenu of items) and TPopupMenu, which
// shows its items at a screen point and runs the chosen item's OnClick.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "classlib/classes.h"
#include "platform/core/types.h"

namespace dashtune {

// Where an item starts a new column of its menu: not, as a plain column, or behind a bar.
enum class TMenuBreak { mbNone, mbBreak, mbBarBreak };

class TMenuItem : public TComponent {
 public:
  explicit TMenuItem(TComponent* AOwner);
  // Leaves the parent item and frees the items it holds.
  ~TMenuItem() override;

  const std::string& GetCaption() const { return caption_; }
  void SetCaption(const std::string& Value) { caption_ = Value; }
  bool GetEnabled() const { return enabled_; }
  void SetEnabled(bool Value) { enabled_ = Value; }
  // A hidden item is left out of the menu shown.
  bool GetVisible() const { return visible_; }
  void SetVisible(bool Value) { visible_ = Value; }
  // A check mark, drawn as a dot for a radio item.
  bool GetChecked() const { return checked_; }
  void SetChecked(bool Value) { checked_ = Value; }
  bool GetRadioItem() const { return radio_item_; }
  void SetRadioItem(bool Value) { radio_item_ = Value; }
  // The menu's default item, drawn bold.
  bool GetDefault() const { return default_; }
  void SetDefault(bool Value) { default_ = Value; }
  TMenuBreak GetBreak() const { return break_; }
  void SetBreak(TMenuBreak Value) { break_ = Value; }

  int GetCount() const { return static_cast<int>(items_.size()); }
  // An index outside 0..Count-1 raises EListError.
  TMenuItem* GetItem(int Index) const;
  TMenuItem* GetParent() const { return parent_; }
  // Takes the item in as the last one (leaving its former parent); the parent frees its items.
  void Add(TMenuItem* Item);
  // Takes the item out; it then belongs to the caller (or its owner).
  void Remove(TMenuItem* Item);
  int IndexOf(const TMenuItem* Item) const;

  // The command id under which the item is shown (unique in the process).
  win::UINT GetCommand() const { return command_; }
  // The item, or the item among its descendants, with that command id; nil when none has it.
  TMenuItem* FindCommand(win::UINT Command);

  // Raises OnClick when the item is enabled.
  virtual void Click();

  TNotifyEvent OnClick;

 private:
  std::string caption_;
  bool enabled_ = true;
  bool visible_ = true;
  bool checked_ = false;
  bool radio_item_ = false;
  bool default_ = false;
  TMenuBreak break_ = TMenuBreak::mbNone;
  win::UINT command_;
  TMenuItem* parent_ = nullptr;      // not owned
  std::vector<TMenuItem*> items_;    // freed by this item
};

class TPopupMenu : public TComponent {
 public:
  explicit TPopupMenu(TComponent* AOwner);
  ~TPopupMenu() override;

  // The root item whose items the menu shows; owned by the menu.
  TMenuItem* GetItems() const { return items_.get(); }
  // Whether a control's context-menu request shows the menu (default True).
  bool GetAutoPopup() const { return auto_popup_; }
  void SetAutoPopup(bool Value) { auto_popup_ = Value; }
  // Whether the menu reads right to left (its items' texts are right-justified).
  bool GetRightToLeft() const { return right_to_left_; }
  void SetRightToLeft(bool Value) { right_to_left_ = Value; }
  // The control whose request showed the menu last (not owned).
  TComponent* GetPopupComponent() const { return popup_component_; }
  void SetPopupComponent(TComponent* Value) { popup_component_ = Value; }

  // Raises OnPopup, shows the visible items at the screen point and runs the chosen item's Click.
  virtual void Popup(int X, int Y);

  TNotifyEvent OnPopup;

 protected:
  void Notification(TComponent* AComponent, TOperation Operation) override;

 private:
  std::unique_ptr<TMenuItem> items_;
  bool auto_popup_ = true;
  bool right_to_left_ = false;
  TComponent* popup_component_ = nullptr;
  win::HWND window_ = nullptr;  // receives the menu's messages while it shows
};

// How an item shows in a platform menu: its MFT_ type (a caption of "-" is a separator; radio
// mark, breaks, and right-justified text in a right-to-left menu) and its MFS_ state (check mark,
// default, grey when disabled).
win::UINT MenuItemType(const TMenuItem& item, bool right_to_left);
win::UINT MenuItemState(const TMenuItem& item);

}  // namespace dashtune
