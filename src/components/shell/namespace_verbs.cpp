// TNamespace's context menus, verbs, drag effects and execution.
#include "components/listview/common/common_shell.h"
#include "components/listview/common/common_threads.h"
#include "components/listview/unit_startup.h"
#include "components/shell/error_mode.h"
#include "components/shell/namespace.h"
#include "components/shell/shell_utilities.h"
#include "platform/core/handles.h"
#include "platform/core/strings.h"
#include "platform/shell/shell.h"
#include "platform/shell/shell_execute.h"
#include "platform/user/cursors.h"
#include "platform/user/input_state.h"
#include "platform/user/menus.h"
#include "platform/user/messages.h"
#include "platform/user/window.h"

#include <sys/stat.h>

#include <algorithm>
#include <map>
#include <memory>
#include <mutex>

namespace dashtune {
namespace {

using shell::PIDLMgr;

constexpr win::UINT kFirstCommand = 1;
constexpr win::UINT kLastCommand = 0x7FFF;
constexpr win::UINT kNoCommand = 0xFFFFFFFF;
constexpr int kVerbBufferSize = 128;
constexpr int kShowNormal = 1;
constexpr win::UINT WM_DRAWITEM = 0x002B;
constexpr win::UINT WM_MEASUREITEM = 0x002C;
constexpr win::UINT WM_MENUCHAR = 0x0120;
constexpr char16_t kUnknownCommand[] = u"Unknown Command";
constexpr char16_t kErrorCaption[] = u"Error";
constexpr char16_t kNotSiblings[] = u"PIDLs to operate on are not siblings of the Namespace doing the operation.";
// Destroys a popup menu when it ends.
class PopupMenuHandle {
 public:
  PopupMenuHandle() : menu_(win::CreatePopupMenu()) {}
  ~PopupMenuHandle() { win::DestroyMenu(menu_); }
  PopupMenuHandle(const PopupMenuHandle&) = delete;
  PopupMenuHandle& operator=(const PopupMenuHandle&) = delete;
  win::HMENU Get() const { return menu_; }

 private:
  win::HMENU menu_;
};

// shell32's multi-file property sheet, by the ordinal the common units resolve it under.
constexpr win::WORD kMultiFilePropertiesExport = 716;
using TMultiFileProperties = win::HRESULT (*)(win::IDataObject* DataObject, win::DWORD Flags);

template <class Interface>
win::ComPtr<Interface> Query(win::IUnknown* object) {
  win::ComPtr<Interface> result;
  if (object != nullptr) object->QueryInterface(Interface::iid, reinterpret_cast<void**>(result.GetAddressOf()));
  return result;
}

// An object for lists of the parent folder (GetUIObjectOf), else the folder's own view object.
template <class Interface>
win::ComPtr<Interface> UIObjectFor(win::IShellFolder* parent, win::IShellFolder* own, const TPIDLArray& pidls) {
  win::ComPtr<Interface> object;
  std::vector<win::LPCITEMIDLIST> lists(pidls.begin(), pidls.end());
  if (parent != nullptr && !lists.empty() &&
      parent->GetUIObjectOf(win::GetActiveWindow(), static_cast<win::UINT>(lists.size()), lists.data(), Interface::iid,
                            nullptr, reinterpret_cast<void**>(object.GetAddressOf())) == win::S_OK)
    return object;
  if (own != nullptr && own->CreateViewObject(win::GetActiveWindow(), Interface::iid,
                                              reinterpret_cast<void**>(object.ReleaseAndGetAddressOf())) == win::S_OK)
    return object;
  return nullptr;
}

// A command's verb or help text: the wide form first, then the ANSI form; empty when both fail.
std::u16string CommandString(win::IContextMenu* menu, win::UINT offset, win::UINT wide_kind, win::UINT ansi_kind) {
  if (menu == nullptr) return {};
  char16_t wide[kVerbBufferSize] = {};
  if (common::IsWinNT() &&
      win::SUCCEEDED(menu->GetCommandString(offset, wide_kind, nullptr, reinterpret_cast<win::LPSTR>(wide), kVerbBufferSize)))
    return std::u16string(wide, std::find(wide, wide + kVerbBufferSize, u'\0'));
  char narrow[kVerbBufferSize] = {};
  if (win::SUCCEEDED(menu->GetCommandString(offset, ansi_kind, nullptr, narrow, kVerbBufferSize)))
    return win::Utf8ToUtf16(std::string(narrow, std::find(narrow, narrow + kVerbBufferSize, '\0')));
  return {};
}

// Invokes a command of the menu by offset or by verb text. Both verb fields are filled in either
// case, so that a reader of the ANSI field never takes an empty field for command offset 0.
bool Invoke(win::IContextMenu* menu, std::optional<win::UINT> offset, const std::u16string& verb, win::HWND window) {
  const std::string narrow_verb = win::Utf16ToUtf8(verb);
  win::CMINVOKECOMMANDINFOEX info;
  info.fMask = common::IsWinNT() ? win::CMIC_MASK_UNICODE : 0;
  info.hwnd = window;
  info.nShow = kShowNormal;
  if (offset) {
    info.lpVerb = win::MakeVerbOffsetA(*offset);
    info.lpVerbW = win::MakeVerbOffsetW(*offset);
  } else {
    info.lpVerb = narrow_verb.c_str();
    info.lpVerbW = verb.c_str();
  }
  return win::SUCCEEDED(menu->InvokeCommand(&info));
}

bool IsExistingFolder(const std::u16string& path) {
  struct stat info {};
  return !path.empty() && stat(win::Utf16ToUtf8(path).c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

std::u16string FolderPartOf(const std::u16string& path) {
  const std::size_t slash = path.rfind(u'/');
  if (slash == std::u16string::npos) return {};
  return slash == 0 ? u"/" : path.substr(0, slash);
}

// The workers started by ShellExecuteNamespace; each is waited for before the library ends.
struct ExecuteWorkers {
  std::mutex mutex;
  std::vector<std::unique_ptr<TCommonShellExecuteThread>> threads;
};

ExecuteWorkers& Workers() {
  static ExecuteWorkers workers;
  return workers;
}

void StartExecuteWorker(const win::SHELLEXECUTEINFOW& info) {
  auto worker = std::unique_ptr<TCommonShellExecuteThread>(Create<TCommonShellExecuteThread>());
  worker->SetRequest(info);
  std::lock_guard lock(Workers().mutex);
  // Finished workers are let go as new ones come.
  std::erase_if(Workers().threads, [](const std::unique_ptr<TCommonShellExecuteThread>& thread) {
    if (!thread->GetFinished()) return false;
    thread->WaitFor();
    return true;
  });
  worker->Resume();
  Workers().threads.push_back(std::move(worker));
}

}  // namespace

namespace shell {

void WaitForShellExecuteThreads() {
  std::vector<std::unique_ptr<TCommonShellExecuteThread>> threads;
  {
    std::lock_guard lock(Workers().mutex);
    threads.swap(Workers().threads);
  }
  for (const auto& thread : threads) thread->WaitFor();
}

}  // namespace shell

// ---- Gates ----

namespace {

template <class Test>
bool EveryMember(const TNamespaceArray& namespaces, Test test) {
  if (namespaces.empty()) return false;
  for (TNamespace* item : namespaces)
    if (item == nullptr || !test(*item)) return false;
  return true;
}

}  // namespace

bool TNamespace::CanCopyAll(const TNamespaceArray& Namespaces) {
  return EveryMember(Namespaces, [](TNamespace& item) { return item.CanCopy(); });
}
bool TNamespace::CanDeleteAll(const TNamespaceArray& Namespaces) {
  return EveryMember(Namespaces, [](TNamespace& item) { return item.CanDelete(); });
}
bool TNamespace::CanCutAll(const TNamespaceArray& Namespaces) { return CanDeleteAll(Namespaces); }
bool TNamespace::CanShowPropertiesOfAll(const TNamespaceArray& Namespaces) {
  return EveryMember(Namespaces, [](TNamespace& item) { return item.HasPropSheet(); });
}
bool TNamespace::CanPasteToAll(const TNamespaceArray& Namespaces) { return !Namespaces.empty(); }

// ---- Verbs ----

bool TNamespace::RouteVerb(const std::u16string& verb, const TNamespaceArray& namespaces) {
  if (VerifyPIDLRelationship(namespaces, true))
    return ExecuteContextMenuVerb(verb, shell::NamespaceArrayToRelativePIDLs(namespaces));
  if (shell::DesktopFolder == nullptr) return false;
  return shell::DesktopFolder->ExecuteContextMenuVerb(verb, shell::NamespaceArrayToAbsolutePIDLs(namespaces));
}

bool TNamespace::Copy(const TNamespaceArray& Namespaces) { return CanCopyAll(Namespaces) && RouteVerb(u"copy", Namespaces); }
bool TNamespace::Cut(const TNamespaceArray& Namespaces) { return CanCutAll(Namespaces) && RouteVerb(u"cut", Namespaces); }
bool TNamespace::Delete(const TNamespaceArray& Namespaces) {
  return CanDeleteAll(Namespaces) && RouteVerb(u"delete", Namespaces);
}

bool TNamespace::Paste(const TNamespaceArray& Namespaces, bool AsShortcut) {
  if (!CanPasteToAll(Namespaces)) return false;
  const std::u16string verb = AsShortcut ? u"pastelink" : u"paste";
  if (!IsDesktop()) return RouteVerb(verb, Namespaces);
  // On the desktop item the targets are parsed again from their names. A member whose name gives
  // no list would otherwise become the desktop itself: then nothing is pasted at all.
  if (shell::PhysicalDesktopFolder == nullptr) return false;
  std::vector<std::unique_ptr<TNamespace>> targets;
  for (TNamespace* member : Namespaces) {
    win::LPITEMIDLIST list = member == nullptr ? nullptr : shell::PathToPIDL(member->NameForParsing());
    if (list == nullptr) return false;
    targets.push_back(std::make_unique<TNamespace>(list, nullptr));
  }
  TNamespaceArray raw;
  for (const auto& target : targets) raw.push_back(target.get());
  return shell::PhysicalDesktopFolder->RouteVerb(verb, raw);
}

bool TNamespace::ShowPropertySheet() { return HasPropSheet() && ExecuteContextMenuVerb(u"properties", {}); }

bool TNamespace::ShowPropertySheetMulti(const TNamespaceArray& Namespaces, bool UseMultiFileProperties) {
  if (!CanShowPropertiesOfAll(Namespaces)) return false;
  const auto multi = reinterpret_cast<TMultiFileProperties>(common::ShellEntryPoint(kMultiFilePropertiesExport));
  if (!UseMultiFileProperties || multi == nullptr) return RouteVerb(u"properties", Namespaces);
  win::IShellFolder* desktop = shell::DesktopFolder != nullptr ? shell::DesktopFolder->ShellFolder() : nullptr;
  std::vector<win::LPCITEMIDLIST> lists;
  for (TNamespace* member : Namespaces) lists.push_back(member->GetAbsolutePIDL());
  win::ComPtr<win::IDataObject> data;
  if (desktop == nullptr ||
      desktop->GetUIObjectOf(win::GetActiveWindow(), static_cast<win::UINT>(lists.size()), lists.data(),
                             win::IDataObject::iid, nullptr, reinterpret_cast<void**>(data.GetAddressOf())) != win::S_OK)
    return false;  // no data object: nothing is shown
  return win::SUCCEEDED(multi(data.Get(), 0));
}

bool TNamespace::ExecuteContextMenuVerb(const std::u16string& Verb, const TPIDLArray& PIDLs, win::HWND Window) {
  if (ParentShellFolder() == nullptr) return false;
  win::ComPtr<win::IContextMenu> menu = PIDLs.empty() ? ContextMenuInterface() : ContextMenuForPIDLs(PIDLs);
  if (menu == nullptr) return false;
  win::ComPtr<win::IContextMenu2> menu2 = Query<win::IContextMenu2>(menu.Get());
  win::IContextMenu* active = menu2 != nullptr ? menu2.Get() : menu.Get();
  const PopupMenuHandle popup;
  active->QueryContextMenu(popup.Get(), 0, kFirstCommand, kLastCommand, win::CMF_DEFAULTONLY | win::CMF_EXPLORE);
  std::optional<win::UINT> command;
  const int count = win::GetMenuItemCount(popup.Get());
  for (int i = 0; i < count && !command; ++i) {
    const win::UINT id = win::GetMenuItemID(popup.Get(), i);
    if (id == 0 || id == kNoCommand) continue;
    const std::u16string verb = CommandString(active, id - 1, win::GCS_VERBW, win::GCS_VERBA);
    if (!verb.empty() && win::CompareIgnoreCase(verb, Verb) == 0) command = id - 1;
  }
  return Invoke(active, command, Verb, Window != nullptr ? Window : win::GetActiveWindow());
}

// ---- Context menu objects ----

win::ComPtr<win::IContextMenu> TNamespace::ContextMenuInterface() {
  if (relative_pidl_ == nullptr) return nullptr;
  return ContextMenuForPIDLs({relative_pidl_});
}

win::ComPtr<win::IContextMenu2> TNamespace::ContextMenu2Interface() {
  current_context_menu2_ = Query<win::IContextMenu2>(ContextMenuInterface().Get());
  return current_context_menu2_;
}

win::ComPtr<win::IContextMenu3> TNamespace::ContextMenu3Interface() {
  win::ComPtr<win::IContextMenu3> menu3 = Query<win::IContextMenu3>(ContextMenuInterface().Get());
  current_context_menu2_ = menu3;
  return menu3;
}

win::ComPtr<win::IContextMenu> TNamespace::ContextMenuForPIDLs(const TPIDLArray& PIDLs) {
  return UIObjectFor<win::IContextMenu>(ParentShellFolder(), ShellFolder(), PIDLs);
}

std::u16string TNamespace::ContextMenuVerb(win::UINT MenuID) {
  if (current_context_menu_ == nullptr || MenuID == 0 || MenuID == kNoCommand) return {};
  return CommandString(current_context_menu_.Get(), MenuID - 1, win::GCS_VERBW, win::GCS_VERBA);
}

std::u16string TNamespace::ContextMenuItemHelp(win::UINT MenuID) {
  if (current_context_menu_ == nullptr || MenuID == 0 || MenuID == kNoCommand) return {};
  return CommandString(current_context_menu_.Get(), MenuID - 1, win::GCS_HELPTEXTW, win::GCS_HELPTEXTA);
}

bool TNamespace::HandleContextMenuMsg(win::UINT Msg, win::WPARAM wParam, win::LPARAM lParam, win::LRESULT& Result) {
  if (current_context_menu2_ == nullptr) return false;
  if (win::ComPtr<win::IContextMenu3> menu3 = Query<win::IContextMenu3>(current_context_menu2_.Get()))
    return win::SUCCEEDED(menu3->HandleMenuMsg2(Msg, wParam, lParam, &Result));
  return win::SUCCEEDED(current_context_menu2_->HandleMenuMsg(Msg, wParam, lParam));
}

// ---- Showing context menus ----

namespace {

// The program's items, added below a separator as a submenu of the shell's menu.
class UserMenuItems {
 public:
  void Add(win::HMENU menu, TPopupMenu& user_menu, const std::string& caption) {
    win::AppendMenuW(menu, win::MF_SEPARATOR, 0, nullptr);
    win::HMENU submenu = win::CreatePopupMenu();
    Fill(menu, submenu, *user_menu.GetItems(), user_menu.GetRightToLeft());
    win::AppendMenuA(menu, win::MF_POPUP, reinterpret_cast<win::UINT_PTR>(submenu), caption.c_str());
  }

  // The program item behind a command, or nil.
  TMenuItem* Find(win::UINT command) const {
    const auto found = items_.find(command);
    return found == items_.end() ? nullptr : found->second;
  }

 private:
  // Inserts the items from the last to the first, each at the top, with the next command id no
  // item of the shell's menu uses.
  void Fill(win::HMENU shell_menu, win::HMENU submenu, TMenuItem& parent, bool right_to_left) {
    for (int index = parent.GetCount() - 1; index >= 0; --index) {
      TMenuItem* item = parent.GetItem(index);
      if (!item->GetVisible()) continue;
      const std::string& caption = item->GetCaption();
      win::MENUITEMINFOA info;
      info.fMask = win::MIIM_FTYPE | win::MIIM_STATE | win::MIIM_ID | win::MIIM_STRING | win::MIIM_DATA;
      info.fType = MenuItemType(*item, right_to_left);
      info.fState = MenuItemState(*item);
      info.dwItemData = reinterpret_cast<win::ULONG_PTR>(item);
      info.dwTypeData = const_cast<char*>(caption.c_str());
      info.cch = static_cast<win::UINT>(caption.size());
      if (item->GetCount() > 0) {
        info.fMask |= win::MIIM_SUBMENU;
        info.hSubMenu = win::CreatePopupMenu();
        Fill(shell_menu, info.hSubMenu, *item, right_to_left);
      } else if ((info.fType & win::MFT_SEPARATOR) == 0) {
        info.wID = NextFreeMenuID(shell_menu);
        items_[info.wID] = item;
      }
      win::InsertMenuItemA(submenu, 0, win::TRUE, &info);
    }
  }

  win::UINT NextFreeMenuID(win::HMENU shell_menu) {
    do {
      ++last_id_;
    } while (UsesId(shell_menu, last_id_));
    return last_id_;
  }

  static bool UsesId(win::HMENU menu, win::UINT id) {
    const int count = win::GetMenuItemCount(menu);
    for (int i = 0; i < count; ++i) {
      if (win::HMENU submenu = win::GetSubMenu(menu, i)) {
        if (UsesId(submenu, id)) return true;
      } else if (win::GetMenuItemID(menu, i) == id) {
        return true;
      }
    }
    return false;
  }

  win::UINT last_id_ = 0;
  std::map<win::UINT, TMenuItem*> items_;
};

// Puts the owner's window procedure back and lets go of the menu objects when it ends.
class ContextMenuSession {
 public:
  ContextMenuSession(TWinControl& owner, std::function<void(TMessage&)>& saved,
                     win::ComPtr<win::IContextMenu>& menu, win::ComPtr<win::IContextMenu2>& menu2,
                     std::function<void(TMessage&)> replacement)
      : owner_(owner), saved_(saved), menu_(menu), menu2_(menu2) {
    saved_ = owner_.WindowProc;
    owner_.WindowProc = std::move(replacement);
  }
  ~ContextMenuSession() {
    owner_.WindowProc = std::move(saved_);
    saved_ = nullptr;
    menu_.Reset();
    menu2_.Reset();
  }
  ContextMenuSession(const ContextMenuSession&) = delete;
  ContextMenuSession& operator=(const ContextMenuSession&) = delete;

 private:
  TWinControl& owner_;
  std::function<void(TMessage&)>& saved_;
  win::ComPtr<win::IContextMenu>& menu_;
  win::ComPtr<win::IContextMenu2>& menu2_;
};

}  // namespace

void TNamespace::ContextMenuWindowProc(TMessage& Message) {
  if (saved_window_proc_) saved_window_proc_(Message);
  switch (Message.Msg) {
    case WM_DRAWITEM:
    case WM_MEASUREITEM:
    case win::WM_INITMENUPOPUP:
    case WM_MENUCHAR: HandleContextMenuMsg(Message.Msg, Message.WParam, Message.LParam, Message.Result); break;
    default: break;
  }
}

bool TNamespace::InternalShowContextMenu(TWinControl* owner, const TPIDLArray& pidls, bool use_desktop,
                                         const std::string& user_menu_caption, TPopupMenu* user_menu,
                                         const win::POINT* position, const TContextMenuAfterCmdCallback& on_menu_close,
                                         const TContextMenuShowCallback& on_show,
                                         const TContextMenuCmdCallback& on_verb) {
  if (owner == nullptr) throw EAssertionFailed(std::string(kContextMenuNeedsOwner));
  const shell::ErrorModeScope error_mode(win::SEM_FAILCRITICALERRORS);
  const ContextMenuSession session(*owner, saved_window_proc_, current_context_menu_, current_context_menu2_,
                                   [this](TMessage& Message) { ContextMenuWindowProc(Message); });
  std::u16string verb;
  win::UINT menu_id = 0;
  bool successful = false;
  if (!pidls.empty()) {
    win::POINT at{};
    if (position != nullptr) at = *position;
    else win::GetCursorPos(&at);
    const PopupMenuHandle popup;
    win::SetErrorMode(shell::kCriticalErrorsOff);
    win::UINT flags = win::CMF_EXPLORE;
    if (on_verb && pidls.size() == 1) flags |= win::CMF_CANRENAME;
    if (win::GetKeyState(win::VK_SHIFT) < 0) flags |= win::CMF_EXTENDEDVERBS;
    win::ComPtr<win::IContextMenu> menu;
    if (use_desktop) {
      win::ComPtr<win::IShellFolder> desktop;
      std::vector<win::LPCITEMIDLIST> lists(pidls.begin(), pidls.end());
      if (win::SHGetDesktopFolder(desktop.GetAddressOf()) == win::S_OK)
        desktop->GetUIObjectOf(owner->GetHandle(), static_cast<win::UINT>(lists.size()), lists.data(),
                               win::IContextMenu::iid, nullptr, reinterpret_cast<void**>(menu.GetAddressOf()));
    } else {
      menu = ContextMenuForPIDLs(pidls);
    }
    if (menu != nullptr) {
      current_context_menu_ = menu;
      win::ComPtr<win::IContextMenu3> menu3 = Query<win::IContextMenu3>(menu.Get());
      current_context_menu2_ = menu3 != nullptr ? win::ComPtr<win::IContextMenu2>(menu3) : Query<win::IContextMenu2>(menu.Get());
      win::IContextMenu* richest = menu3 != nullptr ? menu3.Get()
                                   : current_context_menu2_ != nullptr ? current_context_menu2_.Get()
                                                                       : menu.Get();
      richest->QueryContextMenu(popup.Get(), 0, kFirstCommand, kLastCommand, flags);
      UserMenuItems user_items;
      if (user_menu != nullptr) user_items.Add(popup.Get(), *user_menu, user_menu_caption);
      bool allow = true;
      if (on_show) on_show(this, popup.Get(), allow);
      if (allow)
        menu_id = static_cast<win::UINT>(win::TrackPopupMenuEx(popup.Get(), win::TPM_RETURNCMD | win::TPM_RIGHTBUTTON,
                                                               at.x, at.y, owner->GetHandle(), nullptr));
      if (menu_id != 0) {
        verb = CommandString(richest, menu_id - 1, win::GCS_VERBW, win::GCS_VERBA);
        if (verb.empty()) verb = kUnknownCommand;
        if (TMenuItem* item = user_items.Find(menu_id)) {
          item->Click();
          successful = true;
        } else {
          bool handled = false;
          if (on_verb) on_verb(this, verb, static_cast<int>(menu_id), handled);
          successful = handled || Invoke(richest, menu_id - 1, verb, owner->GetHandle());
        }
      }
    }
  }
  if (on_menu_close) on_menu_close(this, verb, static_cast<int>(menu_id), successful);
  return successful;
}

bool TNamespace::ShowContextMenu(TWinControl* Owner, const TContextMenuCmdCallback& ContextMenuCmdCallback,
                                 const TContextMenuShowCallback& ContextMenuShowCallback,
                                 const TContextMenuAfterCmdCallback& ContextMenuAfterCmdCallback,
                                 const win::POINT* Position, TPopupMenu* CustomShellSubMenu,
                                 const std::string& CustomSubMenuCaption) {
  TPIDLArray pidls;
  if (relative_pidl_ != nullptr) pidls.push_back(relative_pidl_);
  return InternalShowContextMenu(Owner, pidls, false, CustomSubMenuCaption, CustomShellSubMenu, Position,
                                 ContextMenuAfterCmdCallback, ContextMenuShowCallback, ContextMenuCmdCallback);
}

bool TNamespace::ShowContextMenuMulti(TWinControl* Owner, const TContextMenuCmdCallback& ContextMenuCmdCallback,
                                      const TContextMenuShowCallback& ContextMenuShowCallback,
                                      const TContextMenuAfterCmdCallback& ContextMenuAfterCmdCallback,
                                      const TNamespaceArray& Namespaces, const win::POINT* Position,
                                      TPopupMenu* CustomShellSubMenu, const std::string& CustomSubMenuCaption,
                                      bool ForceDesktop) {
  const bool through_this = !ForceDesktop && VerifyPIDLRelationship(Namespaces, true);
  const TPIDLArray pidls = through_this ? shell::NamespaceArrayToRelativePIDLs(Namespaces)
                                        : shell::NamespaceArrayToAbsolutePIDLs(Namespaces);
  return InternalShowContextMenu(Owner, pidls, !through_this, CustomSubMenuCaption, CustomShellSubMenu, Position,
                                 ContextMenuAfterCmdCallback, ContextMenuShowCallback, ContextMenuCmdCallback);
}

bool TNamespace::VerifyPIDLRelationship(const TNamespaceArray& Namespaces, bool Silent) {
  bool siblings = false;
  if (IsDesktop()) {
    siblings = Namespaces.size() == 1 && Namespaces.front() != nullptr && Namespaces.front()->IsDesktop();
  } else if (TNamespace* parent = ParentNamespace(); parent != nullptr && !Namespaces.empty()) {
    siblings = std::all_of(Namespaces.begin(), Namespaces.end(), [parent](TNamespace* member) {
      return member != nullptr && parent->IsChild(member, true);
    });
  }
  if (!siblings && !Silent && !IsDesktop()) common::WideMessageBox(win::GetActiveWindow(), kErrorCaption, kNotSiblings);
  return siblings;
}

// ---- Drag effects ----

win::DWORD TNamespace::DragEffect(win::DWORD KeyState) {
  win::DWORD allowed = shell::kDropEffectNone;
  if (CanMove()) allowed |= shell::kDropEffectMove;
  if (CanCopy()) allowed |= shell::kDropEffectCopy;
  if (CanLink()) allowed |= shell::kDropEffectLink;
  const win::DWORD wanted = shell::KeyStateToDropEffect(KeyState);
  if (wanted != shell::kDropEffectNone && (allowed & wanted) == wanted) return wanted;
  for (const win::DWORD effect : {shell::kDropEffectMove, shell::kDropEffectCopy, shell::kDropEffectLink})
    if ((allowed & effect) != 0) return effect;
  return shell::kDropEffectNone;
}

// ---- Data objects and drop targets ----

win::ComPtr<win::IDataObject> TNamespace::DataObjectInterface() {
  if (relative_pidl_ == nullptr) return nullptr;
  return DataObjectForPIDLs({relative_pidl_});
}

win::ComPtr<win::IDataObject> TNamespace::DataObjectMulti(const TNamespaceArray& Namespaces) {
  if (Namespaces.empty() || std::find(Namespaces.begin(), Namespaces.end(), nullptr) != Namespaces.end()) return nullptr;
  if (VerifyPIDLRelationship(Namespaces, true)) return DataObjectForPIDLs(shell::NamespaceArrayToRelativePIDLs(Namespaces));
  if (shell::DesktopFolder == nullptr) return nullptr;
  return shell::DesktopFolder->DataObjectForPIDLs(shell::NamespaceArrayToAbsolutePIDLs(Namespaces));
}

win::ComPtr<win::IDataObject> TNamespace::DataObjectForPIDLs(const TPIDLArray& PIDLs) {
  return UIObjectFor<win::IDataObject>(ParentShellFolder(), ShellFolder(), PIDLs);
}

win::ComPtr<win::IDropTarget> TNamespace::DropTargetInterface() {
  if (IsDesktop()) {
    win::ComPtr<win::IDropTarget> own = UIObjectFor<win::IDropTarget>(nullptr, ShellFolder(), {});
    if (own == nullptr && shell::PhysicalDesktopFolder != nullptr) return shell::PhysicalDesktopFolder->DropTargetInterface();
    return own;
  }
  return UIObjectFor<win::IDropTarget>(ParentShellFolder(), ShellFolder(), {relative_pidl_});
}

win::HRESULT TNamespace::DragEnter(win::IDataObject* DataObject, win::DWORD KeyState, win::POINTL Point,
                                   win::DWORD& Effect) {
  drop_target_ = DropTarget() ? DropTargetInterface() : nullptr;
  if (drop_target_ == nullptr) {
    Effect = shell::kDropEffectNone;
    return win::S_OK;
  }
  return drop_target_->DragEnter(DataObject, KeyState, Point, &Effect);
}

win::HRESULT TNamespace::DragOver(win::DWORD KeyState, win::POINTL Point, win::DWORD& Effect) {
  if (drop_target_ == nullptr) {
    Effect = shell::kDropEffectNone;
    return win::S_OK;
  }
  return drop_target_->DragOver(KeyState, Point, &Effect);
}

win::HRESULT TNamespace::DragLeave() {
  const win::ComPtr<win::IDropTarget> target = std::move(drop_target_);
  return target != nullptr ? target->DragLeave() : win::S_OK;
}

win::HRESULT TNamespace::Drop(win::IDataObject* DataObject, win::DWORD KeyState, win::POINTL Point, win::DWORD& Effect) {
  // A drop without an entry first still reaches the folder's target.
  win::ComPtr<win::IDropTarget> target = std::move(drop_target_);
  if (target == nullptr && DropTarget()) target = DropTargetInterface();
  if (target == nullptr) {
    Effect = shell::kDropEffectNone;
    return win::S_OK;
  }
  return target->Drop(DataObject, KeyState, Point, &Effect);
}

// ---- Execution ----

bool TNamespace::ShellExecuteNamespace(const std::u16string& WorkingDir, const std::u16string& CmdLineArgs,
                                       bool ExecuteFolder, bool ExecuteFolderShortCut, bool RunInThread) {
  if (absolute_pidl_ == nullptr) return false;
  if (!ExecuteFolder && Folder()) return false;
  if (!ExecuteFolderShortCut && Link()) {
    TShellLink link(nullptr);
    link.ReadLink(NameParseAddress());
    if (IsExistingFolder(link.GetTargetPath())) return false;
  }
  const std::u16string directory = IsExistingFolder(WorkingDir) ? WorkingDir : FolderPartOf(NameParseAddress());
  win::SHELLEXECUTEINFOW info;
  info.fMask = win::SEE_MASK_INVOKEIDLIST | win::SEE_MASK_NOCLOSEPROCESS;
  info.hwnd = win::GetActiveWindow();
  info.nShow = kShowNormal;
  info.lpIDList = absolute_pidl_;
  info.lpParameters = CmdLineArgs.c_str();
  info.lpDirectory = directory.c_str();
  if (RunInThread) {
    StartExecuteWorker(info);
    return true;
  }
  const bool started = win::ShellExecuteExW(&info) != win::FALSE;
  // The handle was asked for only to be let go: nothing here waits on the program.
  if (info.hProcess != nullptr) win::CloseHandle(info.hProcess);
  return started;
}

}  // namespace dashtune
