#include "platform/shell/shell_link.h"

#include "platform/com/com_init.h"
#include "platform/core/strings.h"
#include "platform/shell/desktop_entry.h"
#include "platform/shell/namespace_model.h"
#include "platform/shell/shell_types.h"

#include <cstring>
#include <mutex>
#include <optional>
#include <string>

namespace win {
namespace {

template <class Char>
std::basic_string<Char> Text(const std::string& utf8) {
  if constexpr (std::is_same_v<Char, WCHAR>) return Utf8ToUtf16(utf8);
  else return utf8;
}

// Copies `text` into a buffer of `size` characters, cut to fit, always terminated.
template <class Char>
HRESULT CopyOut(const std::string& utf8, Char* buffer, int size) {
  if (buffer == nullptr || size <= 0) return E_INVALIDARG;
  const std::basic_string<Char> text = Text<Char>(utf8);
  const std::size_t length = std::min<std::size_t>(text.size(), static_cast<std::size_t>(size) - 1);
  std::memcpy(buffer, text.data(), length * sizeof(Char));
  buffer[length] = 0;
  return S_OK;
}

class ShellLinkObject : public ComObject<IShellLinkW, IShellLinkA, IPersistFile> {
 public:
  HRESULT QueryInterface(REFIID iid, void** object) override {
    if (object != nullptr && iid == IPersist::iid) {
      *object = static_cast<IPersist*>(this);
      AddRef();
      return S_OK;
    }
    return ComObject::QueryInterface(iid, object);
  }

  // IPersistFile: loading only reads, whatever the mode.
  HRESULT GetClassID(CLSID* clsid) override {
    if (clsid == nullptr) return E_POINTER;
    *clsid = CLSID_ShellLink;
    return S_OK;
  }
  HRESULT IsDirty() override { return S_FALSE; }
  HRESULT Load(LPCWSTR file_name, DWORD) override {
    if (file_name == nullptr) return E_INVALIDARG;
    std::string error;
    std::optional<desktop_entry::LinkData> link = desktop_entry::ReadFile(Utf16ToUtf8(file_name), error);
    if (!link) return E_FAIL;
    link_ = std::move(*link);
    file_name_ = file_name;
    return S_OK;
  }
  HRESULT Save(LPCWSTR, BOOL) override { return E_NOTIMPL; }
  HRESULT SaveCompleted(LPCWSTR) override { return S_OK; }
  HRESULT GetCurFile(LPWSTR* file_name) override {
    if (file_name == nullptr) return E_POINTER;
    *file_name = static_cast<LPWSTR>(CoTaskMemAlloc((file_name_.size() + 1) * sizeof(WCHAR)));
    if (*file_name == nullptr) return E_OUTOFMEMORY;
    std::memcpy(*file_name, file_name_.c_str(), (file_name_.size() + 1) * sizeof(WCHAR));
    return S_OK;
  }

  // IShellLinkW / IShellLinkA getters.
  HRESULT GetPath(WCHAR* file, int size, void*, DWORD) override { return CopyOut(link_.target, file, size); }
  HRESULT GetPath(CHAR* file, int size, void*, DWORD) override { return CopyOut(link_.target, file, size); }
  HRESULT GetIDList(LPITEMIDLIST* list) override {
    if (list == nullptr) return E_POINTER;
    *list = link_.target.starts_with('/') ? shell_model::PathToList(link_.target) : nullptr;
    return *list == nullptr ? S_FALSE : S_OK;
  }
  HRESULT GetDescription(WCHAR* name, int size) override { return CopyOut(link_.description, name, size); }
  HRESULT GetDescription(CHAR* name, int size) override { return CopyOut(link_.description, name, size); }
  HRESULT GetWorkingDirectory(WCHAR* dir, int size) override { return CopyOut(link_.working_directory, dir, size); }
  HRESULT GetWorkingDirectory(CHAR* dir, int size) override { return CopyOut(link_.working_directory, dir, size); }
  HRESULT GetArguments(WCHAR* args, int size) override { return CopyOut(link_.arguments, args, size); }
  HRESULT GetArguments(CHAR* args, int size) override { return CopyOut(link_.arguments, args, size); }
  HRESULT GetHotkey(WORD* hot_key) override {
    if (hot_key == nullptr) return E_POINTER;
    *hot_key = link_.hot_key;
    return S_OK;
  }
  HRESULT GetShowCmd(int* show_command) override {
    if (show_command == nullptr) return E_POINTER;
    *show_command = link_.show_command;
    return S_OK;
  }
  HRESULT GetIconLocation(WCHAR* path, int size, int* index) override { return IconLocation(path, size, index); }
  HRESULT GetIconLocation(CHAR* path, int size, int* index) override { return IconLocation(path, size, index); }

  // Setters change only this object's copy: the object has no writer.
  HRESULT SetIDList(LPCITEMIDLIST) override { return E_NOTIMPL; }
  HRESULT SetDescription(const WCHAR*) override { return E_NOTIMPL; }
  HRESULT SetDescription(const CHAR*) override { return E_NOTIMPL; }
  HRESULT SetWorkingDirectory(const WCHAR*) override { return E_NOTIMPL; }
  HRESULT SetWorkingDirectory(const CHAR*) override { return E_NOTIMPL; }
  HRESULT SetArguments(const WCHAR*) override { return E_NOTIMPL; }
  HRESULT SetArguments(const CHAR*) override { return E_NOTIMPL; }
  HRESULT SetHotkey(WORD) override { return E_NOTIMPL; }
  HRESULT SetShowCmd(int) override { return E_NOTIMPL; }
  HRESULT SetIconLocation(const WCHAR*, int) override { return E_NOTIMPL; }
  HRESULT SetIconLocation(const CHAR*, int) override { return E_NOTIMPL; }
  HRESULT SetRelativePath(const WCHAR*, DWORD) override { return E_NOTIMPL; }
  HRESULT SetRelativePath(const CHAR*, DWORD) override { return E_NOTIMPL; }
  HRESULT Resolve(HWND, DWORD) override { return S_OK; }
  HRESULT SetPath(const WCHAR*) override { return E_NOTIMPL; }
  HRESULT SetPath(const CHAR*) override { return E_NOTIMPL; }

 private:
  template <class Char>
  HRESULT IconLocation(Char* path, int size, int* index) {
    if (index == nullptr) return E_POINTER;
    *index = link_.icon_index;
    return CopyOut(link_.icon_location, path, size);
  }

  desktop_entry::LinkData link_;
  std::u16string file_name_;
};

}  // namespace

void RegisterShellLinkClass() {
  static std::once_flag once;
  std::call_once(once, [] {
    RegisterComClass(CLSID_ShellLink, [](REFIID iid, void** object) {
      return MakeCom<ShellLinkObject>()->QueryInterface(iid, object);
    });
  });
}

}  // namespace win
