#include "components/listview/common/common_pidl.h"

#include "platform/shell/shell.h"

#include <cstring>

namespace dashtune {
namespace {

win::LPCITEMIDLIST Next(win::LPCITEMIDLIST id) { return win::item_ids::NextId(id); }

}  // namespace

TCommonPIDLManager::TCommonPIDLManager() {
  if (win::SHGetMalloc(&malloc_) != win::S_OK) malloc_ = nullptr;
}

TCommonPIDLManager::~TCommonPIDLManager() {
  if (malloc_ != nullptr) malloc_->Release();
}

int TCommonPIDLManager::PIDLSize(win::LPCITEMIDLIST list) {
  return list == nullptr ? 0 : static_cast<int>(win::item_ids::ListSize(list));
}

// Lists are copied without their terminators and ended anew, so that a copy always ends even
// where the list's size was bounded; a result longer than a list may be is refused (nil).
win::LPITEMIDLIST TCommonPIDLManager::AppendPIDL(win::LPCITEMIDLIST first, win::LPCITEMIDLIST second) {
  if (malloc_ == nullptr) return nullptr;
  const std::size_t first_size = first == nullptr ? 0 : PIDLSize(first) - win::item_ids::kCountSize;
  const std::size_t second_size = second == nullptr ? 0 : PIDLSize(second) - win::item_ids::kCountSize;
  const std::size_t size = first_size + second_size + win::item_ids::kCountSize;
  if (size > win::item_ids::kMaxListSize) return nullptr;
  auto* bytes = static_cast<win::BYTE*>(malloc_->Alloc(size));
  if (bytes == nullptr) return nullptr;
  if (first_size != 0) std::memcpy(bytes, first, first_size);
  if (second_size != 0) std::memcpy(bytes + first_size, second, second_size);
  std::memset(bytes + first_size + second_size, 0, win::item_ids::kCountSize);
  return reinterpret_cast<win::LPITEMIDLIST>(bytes);
}

win::LPITEMIDLIST TCommonPIDLManager::CopyPIDL(win::LPCITEMIDLIST list) {
  if (list == nullptr) return nullptr;
  return AppendPIDL(list, nullptr);
}

void TCommonPIDLManager::FreePIDL(win::LPITEMIDLIST list) {
  if (list != nullptr && malloc_ != nullptr) malloc_->Free(list);
}

void TCommonPIDLManager::FreeOLEStr(win::LPWSTR block) {
  if (block != nullptr && malloc_ != nullptr) malloc_->Free(block);
}

win::LPITEMIDLIST TCommonPIDLManager::GetPointerToLastID(win::LPITEMIDLIST list) {
  if (list == nullptr) return nullptr;
  win::LPCITEMIDLIST last = list;
  win::LPCITEMIDLIST id = list;
  for (win::UINT i = win::item_ids::ListCount(list); i > 0; --i, id = Next(id)) last = id;
  return const_cast<win::LPITEMIDLIST>(last);
}

int TCommonPIDLManager::IDCount(win::LPCITEMIDLIST list) { return static_cast<int>(win::item_ids::ListCount(list)); }

bool TCommonPIDLManager::IsDesktopFolder(win::LPCITEMIDLIST list) { return list != nullptr && list->mkid.cb == 0; }

win::LPITEMIDLIST TCommonPIDLManager::NextID(win::LPITEMIDLIST id) { return const_cast<win::LPITEMIDLIST>(Next(id)); }

win::LPITEMIDLIST TCommonPIDLManager::StripLastID(win::LPITEMIDLIST list) {
  win::LPITEMIDLIST last = GetPointerToLastID(list);
  if (last != nullptr) last->mkid.cb = 0;
  return list;
}

}  // namespace dashtune
