#include "components/shell/shell_link.h"

#include "platform/com/com_init.h"
#include "platform/core/strings.h"
#include "platform/shell/shell.h"

#include <array>
#include <vector>

namespace dashtune {
namespace {

constexpr int kBufferSize = 1024;

constexpr win::BYTE HOTKEYF_SHIFT = 0x01;
constexpr win::BYTE HOTKEYF_CONTROL = 0x02;
constexpr win::BYTE HOTKEYF_ALT = 0x04;
constexpr win::BYTE HOTKEYF_EXT = 0x08;

// The link's SW_ value as a ShowCmd; nothing above 10.
std::optional<TShowCmd> ShowCmdOf(int value) {
  static constexpr std::array<TShowCmd, 11> kBySwValue = {
      TShowCmd::swHide,          TShowCmd::swShowNormal,      TShowCmd::swShowMinimized, TShowCmd::swMaximize,
      TShowCmd::swShowNoActivate, TShowCmd::swShow,           TShowCmd::swMinimize,      TShowCmd::swShowMinNoActive,
      TShowCmd::swShowNA,        TShowCmd::swRestore,         TShowCmd::swShowDefault};
  if (value < 0 || value >= static_cast<int>(kBySwValue.size())) return std::nullopt;
  return kBySwValue[static_cast<std::size_t>(value)];
}

THotKeyModifiers ModifiersOf(win::BYTE bits) {
  THotKeyModifiers modifiers;
  if (bits & HOTKEYF_ALT) modifiers.Include(THotKeyModifier::hkmAlt);
  if (bits & HOTKEYF_CONTROL) modifiers.Include(THotKeyModifier::hkmControl);
  if (bits & HOTKEYF_EXT) modifiers.Include(THotKeyModifier::hkmExtendedKey);
  if (bits & HOTKEYF_SHIFT) modifiers.Include(THotKeyModifier::hkmShift);
  return modifiers;
}

template <class Char>
std::u16string ToWide(const Char* text) {
  if constexpr (std::is_same_v<Char, win::WCHAR>) return std::u16string(text);
  else return win::Utf8ToUtf16(text);
}

template <class Link>
using CharOf = std::conditional_t<std::is_same_v<Link, win::IShellLinkW>, win::WCHAR, win::CHAR>;

}  // namespace

TShellLink::TShellLink(TComponent* AOwner) : TComponent(AOwner) {}

TShellLink::~TShellLink() { FreeTargetIDList(); }

void TShellLink::FreeTargetIDList() {
  win::IMalloc* malloc = nullptr;
  if (target_id_list_ != nullptr && win::SHGetMalloc(&malloc) == win::S_OK) {
    malloc->Free(target_id_list_);
    malloc->Release();
  }
  target_id_list_ = nullptr;
}

// One pass over a link object; true when its show command was read.
template <class Link>
bool TShellLink::ReadPass(Link* link, const std::u16string& file_name) {
  using Char = CharOf<Link>;
  win::ComPtr<win::IPersistFile> file;
  if (link == nullptr || link->QueryInterface(win::IPersistFile::iid, reinterpret_cast<void**>(file.GetAddressOf())) != win::S_OK)
    return false;
  file_name_ = file_name;
  // Only read: this component never changes the link file.
  if (win::FAILED(file->Load(file_name_.c_str(), win::STGM_READ))) {
    file_name_.clear();
    return false;
  }
  std::vector<Char> buffer(kBufferSize, 0);
  const auto read = [&](auto getter) {
    buffer.assign(kBufferSize, 0);
    getter(buffer.data(), kBufferSize);
    return ToWide(buffer.data());
  };
  target_path_ = read([&](Char* b, int n) { return link->GetPath(b, n, nullptr, win::SLGP_UNCPRIORITY); });
  arguments_ = read([&](Char* b, int n) { return link->GetArguments(b, n); });
  description_ = read([&](Char* b, int n) { return link->GetDescription(b, n); });
  working_directory_ = read([&](Char* b, int n) { return link->GetWorkingDirectory(b, n); });
  icon_location_ = read([&](Char* b, int n) { return link->GetIconLocation(b, n, &icon_index_); });
  FreeTargetIDList();
  link->GetIDList(&target_id_list_);
  win::WORD hot_key = 0;
  if (link->GetHotkey(&hot_key) == win::S_OK) {
    hot_key_ = win::LOBYTE(hot_key);
    hot_key_modifiers_ = ModifiersOf(win::HIBYTE(hot_key));
  }
  int show_command = 0;
  if (link->GetShowCmd(&show_command) != win::S_OK) return false;
  if (const std::optional<TShowCmd> show = ShowCmdOf(show_command)) show_cmd_ = *show;
  return true;
}

void TShellLink::ReadLink(const std::u16string& LinkFileName) {
  if (shell_link_w_ == nullptr)
    win::CoCreateInstance(win::CLSID_ShellLink, nullptr, win::CLSCTX_INPROC_SERVER, win::IShellLinkW::iid,
                          reinterpret_cast<void**>(shell_link_w_.ReleaseAndGetAddressOf()));
  if (ReadPass(shell_link_w_.Get(), LinkFileName)) return;
  if (shell_link_a_ == nullptr)
    win::CoCreateInstance(win::CLSID_ShellLink, nullptr, win::CLSCTX_INPROC_SERVER, win::IShellLinkA::iid,
                          reinterpret_cast<void**>(shell_link_a_.ReleaseAndGetAddressOf()));
  ReadPass(shell_link_a_.Get(), LinkFileName);
}

}  // namespace dashtune
