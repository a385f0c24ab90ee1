// TShellLink: reads a link file through the shell's link object into plain fields.
#pragma once

#include "classlib/classes.h"
#include "classlib/set.h"
#include "platform/shell/shell_types.h"

#include <string>

namespace dashtune {

enum class TShowCmd {
  swHide,
  swMaximize,
  swMinimize,
  swRestore,
  swShow,
  swShowDefault,
  swShowMinimized,
  swShowMinNoActive,
  swShowNA,
  swShowNoActivate,
  swShowNormal,
};

enum class THotKeyModifier { hkmAlt, hkmControl, hkmExtendedKey, hkmShift };
using THotKeyModifiers = Set<THotKeyModifier>;

class TShellLink : public TComponent {
 public:
  explicit TShellLink(TComponent* AOwner = nullptr);
  ~TShellLink() override;

  // Fills the fields from the link file; never raises. A file that cannot be loaded leaves
  // FileName empty and the other fields as they were. The file is only read.
  void ReadLink(const std::u16string& LinkFileName);

  const std::u16string& GetFileName() const { return file_name_; }
  int GetIconIndex() const { return icon_index_; }
  win::LPCITEMIDLIST GetTargetIDList() const { return target_id_list_; }
  TShowCmd GetShowCmd() const { return show_cmd_; }
  THotKeyModifiers GetHotKeyModifiers() const { return hot_key_modifiers_; }
  const std::u16string& GetTargetPath() const { return target_path_; }
  const std::u16string& GetArguments() const { return arguments_; }
  const std::u16string& GetDescription() const { return description_; }
  const std::u16string& GetWorkingDirectory() const { return working_directory_; }
  const std::u16string& GetIconLocation() const { return icon_location_; }
  win::WORD GetHotKey() const { return hot_key_; }

 private:
  template <class Link>
  bool ReadPass(Link* link, const std::u16string& file_name);
  void FreeTargetIDList();

  std::u16string file_name_;
  win::ComPtr<win::IShellLinkA> shell_link_a_;
  win::ComPtr<win::IShellLinkW> shell_link_w_;
  int icon_index_ = 0;
  win::LPITEMIDLIST target_id_list_ = nullptr;  // shell-allocated, owned
  TShowCmd show_cmd_ = TShowCmd::swHide;
  THotKeyModifiers hot_key_modifiers_;
  std::u16string target_path_;
  std::u16string arguments_;
  std::u16string description_;
  std::u16string working_directory_;
  std::u16string icon_location_;
  win::WORD hot_key_ = 0;
};

}  // namespace dashtune
