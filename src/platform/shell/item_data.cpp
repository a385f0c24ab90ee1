#include "platform/shell/item_data.h"

#include "platform/com/com_init.h"
#include "platform/com/com_ptr.h"
#include "platform/core/errors.h"
#include "platform/ole/clipboard.h"
#include "platform/ole/global_memory.h"
#include "platform/shell/file_operations.h"
#include "platform/shell/properties_window.h"
#include "platform/shell/shell_types.h"
#include "platform/user/messages.h"

#include <unistd.h>

#include <cstring>
#include <span>
#include <string>
#include <utility>
#include <vector>

namespace win {
namespace {

using shell_model::Item;
using shell_model::Place;

constexpr DROPEFFECT kEffectsIntoFolders = DROPEFFECT_COPY | DROPEFFECT_MOVE | DROPEFFECT_LINK;

CLIPFORMAT FormatNamed(std::string_view name) {
  return static_cast<CLIPFORMAT>(RegisterClipboardFormatA(std::string(name).c_str()));
}

// The bytes a data object holds in the named format.
std::optional<std::vector<BYTE>> ReadFormat(IDataObject* data, std::string_view name) {
  if (data == nullptr) return std::nullopt;
  FORMATETC format;
  format.cfFormat = FormatNamed(name);
  STGMEDIUM medium;
  if (FAILED(data->GetData(&format, &medium))) return std::nullopt;
  std::optional<std::vector<BYTE>> bytes;
  if (medium.tymed == TYMED_HGLOBAL && medium.hGlobal != nullptr) bytes = item_data::BytesOf(medium.hGlobal);
  ReleaseStgMedium(&medium);
  return bytes;
}

std::optional<DROPEFFECT> PreferredEffectOf(IDataObject* data) {
  const std::optional<std::vector<BYTE>> bytes = ReadFormat(data, cida::kPreferredDropEffectName);
  if (!bytes || bytes->size() < sizeof(DROPEFFECT)) return std::nullopt;
  DROPEFFECT effect = DROPEFFECT_NONE;
  std::memcpy(&effect, bytes->data(), sizeof(effect));
  return effect;
}

// The items a data object's record names, resolved as paste resolves the clipboard's.
std::optional<std::vector<Item>> SourcesOf(IDataObject* data) {
  const std::optional<cida::Record> record = item_data::ReadRecord(data);
  if (!record) return std::nullopt;
  return cida::ResolveMembers(*record);
}

// Where items dropped on the folder go: its path (the desktop folder's for the desktop); empty
// for Trash, which trashes them, and for what nothing can be written into.
std::string DestinationOf(const Item& folder) {
  if (folder.place == Place::Desktop) return shell_model::DesktopFolderPath();
  if (!shell_model::IsContainer(folder) || folder.path.empty()) return {};
  if ((shell_model::Attributes(folder) & SFGAO_DROPTARGET) == 0) return {};
  return access(folder.path.c_str(), W_OK) == 0 ? folder.path : std::string();
}

class FolderDropTarget : public ComObject<IDropTarget> {
 public:
  explicit FolderDropTarget(Item folder)
      : trash_(folder.place == Place::Trash), destination_(DestinationOf(folder)) {}

  HRESULT DragEnter(IDataObject* data, DWORD key_state, POINTL, DROPEFFECT* effect) override {
    if (effect == nullptr) return E_INVALIDARG;
    offered_ = SourcesOf(data).has_value();
    preferred_ = PreferredEffectOf(data);
    *effect = EffectFor(key_state, *effect, preferred_);
    return S_OK;
  }

  HRESULT DragOver(DWORD key_state, POINTL, DROPEFFECT* effect) override {
    if (effect == nullptr) return E_INVALIDARG;
    *effect = EffectFor(key_state, *effect, preferred_);
    return S_OK;
  }

  HRESULT DragLeave() override {
    offered_ = false;
    return S_OK;
  }

  HRESULT Drop(IDataObject* data, DWORD key_state, POINTL, DROPEFFECT* effect) override {
    if (effect == nullptr) return E_INVALIDARG;
    offered_ = false;
    const std::optional<std::vector<Item>> sources = SourcesOf(data);
    const DROPEFFECT chosen = sources ? Choose(key_state, *effect, PreferredEffectOf(data)) : DROPEFFECT_NONE;
    *effect = DROPEFFECT_NONE;
    if (!sources) return E_INVALIDARG;
    if (chosen == DROPEFFECT_NONE) return S_OK;
    DWORD error = ERROR_SUCCESS;
    if (!Transfer(*sources, chosen, error)) return HRESULT_FROM_WIN32(error == ERROR_SUCCESS ? ERROR_ACCESS_DENIED : error);
    *effect = chosen;
    return S_OK;
  }

 private:
  DROPEFFECT EffectFor(DWORD key_state, DROPEFFECT allowed, std::optional<DROPEFFECT> preferred) const {
    return offered_ ? Choose(key_state, allowed, preferred) : DROPEFFECT_NONE;
  }

  DROPEFFECT Choose(DWORD key_state, DROPEFFECT allowed, std::optional<DROPEFFECT> preferred) const {
    const DROPEFFECT takes = trash_ ? DROPEFFECT_MOVE : destination_.empty() ? DROPEFFECT_NONE : kEffectsIntoFolders;
    return item_data::ChooseEffect(key_state, allowed & takes, preferred);
  }

  bool Transfer(const std::vector<Item>& sources, DROPEFFECT effect, DWORD& error) const {
    if (trash_) {
      bool all_done = true;
      for (const Item& source : sources) all_done = file_operations::MoveToTrash(source.path, error) && all_done;
      return all_done;
    }
    const file_operations::Transfer how = effect == DROPEFFECT_LINK   ? file_operations::Transfer::Link
                                          : effect == DROPEFFECT_MOVE ? file_operations::Transfer::Move
                                                                      : file_operations::Transfer::Copy;
    return item_data::TransferInto(sources, destination_, how, error);
  }

  const bool trash_;
  const std::string destination_;
  bool offered_ = false;  // the data entered carries items this folder could take
  std::optional<DROPEFFECT> preferred_;
};

bool SetBytes(DataObject& data, std::string_view name, const void* bytes, std::size_t size) {
  FORMATETC format;
  format.cfFormat = FormatNamed(name);
  STGMEDIUM medium;
  medium.tymed = TYMED_HGLOBAL;
  medium.hGlobal = item_data::GlobalWith(bytes, size);
  if (medium.hGlobal == nullptr) return false;
  return SUCCEEDED(data.SetData(&format, &medium, TRUE));
}

}  // namespace

namespace item_data {

std::optional<std::vector<BYTE>> BytesOf(HGLOBAL block) {
  const SIZE_T size = GlobalSize(block);
  const auto* bytes = static_cast<const BYTE*>(GlobalLock(block));
  if (bytes == nullptr) return std::nullopt;
  std::vector<BYTE> copy(bytes, bytes + size);
  GlobalUnlock(block);
  return copy;
}

HGLOBAL GlobalWith(const void* bytes, std::size_t size) {
  HGLOBAL block = GlobalAlloc(GHND, size);
  void* at = GlobalLock(block);
  if (at == nullptr) {
    GlobalFree(block);
    return nullptr;
  }
  std::memcpy(at, bytes, size);
  GlobalUnlock(block);
  return block;
}

std::optional<cida::Record> ReadRecord(IDataObject* data) {
  const std::optional<std::vector<BYTE>> bytes = ReadFormat(data, cida::kFormatName);
  if (!bytes) return std::nullopt;
  return cida::Decode(bytes->data(), bytes->size());
}

DROPEFFECT ChooseEffect(DWORD key_state, DROPEFFECT allowed, std::optional<DROPEFFECT> preferred) {
  constexpr DROPEFFECT kInOrder[] = {DROPEFFECT_MOVE, DROPEFFECT_COPY, DROPEFFECT_LINK};
  const bool control = (key_state & MK_CONTROL) != 0, shift = (key_state & MK_SHIFT) != 0;
  DROPEFFECT wanted = DROPEFFECT_MOVE;
  if (control) {
    wanted = shift ? DROPEFFECT_LINK : DROPEFFECT_COPY;
  } else if (!shift && preferred) {
    for (const DROPEFFECT effect : kInOrder)
      if ((*preferred & allowed & effect) != 0) {
        wanted = effect;
        break;
      }
  }
  if ((allowed & wanted) != 0) return wanted;
  for (const DROPEFFECT effect : kInOrder)
    if ((allowed & effect) != 0) return effect;
  return DROPEFFECT_NONE;
}

bool TransferInto(const std::vector<Item>& sources, const std::string& folder, file_operations::Transfer how,
                  DWORD& error) {
  bool all_done = true;
  for (const Item& source : sources)
    all_done = file_operations::TransferInto(source.path, folder, how, error).has_value() && all_done;
  return all_done;
}

}  // namespace item_data

HRESULT MakeItemsDataObject(LPCITEMIDLIST folder, const Item& folder_item, UINT count, LPCITEMIDLIST* lists,
                            REFIID iid, void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  if (count == 0 || lists == nullptr) return E_INVALIDARG;
  for (UINT i = 0; i < count; ++i)
    if (!shell_model::ResolveBelow(folder_item, lists[i]) || item_ids::IsEmptyList(lists[i])) return E_INVALIDARG;
  const std::optional<std::vector<BYTE>> record = cida::Encode(folder, std::span<const LPCITEMIDLIST>(lists, count));
  if (!record) return E_OUTOFMEMORY;
  const ComPtr<DataObject> data = MakeCom<DataObject>();
  if (!SetBytes(*data.Get(), cida::kFormatName, record->data(), record->size())) return E_OUTOFMEMORY;
  return data->QueryInterface(iid, object);
}

HRESULT MakeFolderDropTarget(const Item& folder, REFIID iid, void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  if (folder.place != Place::Trash && DestinationOf(folder).empty()) return E_NOINTERFACE;
  return MakeCom<FolderDropTarget>(folder)->QueryInterface(iid, object);
}

HRESULT SHMultiFileProperties(IDataObject* data, DWORD flags) {
  if (flags != 0) return E_INVALIDARG;
  const std::optional<std::vector<Item>> items = SourcesOf(data);
  if (!items) return E_INVALIDARG;
  return properties_window::Show(*items, nullptr) ? S_OK : E_FAIL;
}

}  // namespace win
