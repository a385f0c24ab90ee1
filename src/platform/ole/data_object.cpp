#include "platform/ole/data_object.h"

#include <algorithm>
#include <cstring>

#include "platform/com/com_ptr.h"
#include "platform/gdi/gdi.h"
#include "platform/ole/global_memory.h"

namespace win {
namespace {

// A new block with the bytes of `source`; nullptr when the source is unknown or no memory is left.
HGLOBAL CopyGlobal(HGLOBAL source) {
  const SIZE_T size = GlobalSize(source);
  if (size == 0) return nullptr;
  HGLOBAL copy = GlobalAlloc(GMEM_MOVEABLE, size);
  if (copy == nullptr) return nullptr;
  const void* from = GlobalLock(source);
  void* to = GlobalLock(copy);
  if (from == nullptr || to == nullptr) {
    if (from != nullptr) GlobalUnlock(source);
    if (to != nullptr) GlobalUnlock(copy);
    GlobalFree(copy);
    return nullptr;
  }
  std::memcpy(to, from, size);
  GlobalUnlock(copy);
  GlobalUnlock(source);
  return copy;
}

class FormatEnumerator : public ComObject<IEnumFORMATETC> {
 public:
  FormatEnumerator(std::vector<FORMATETC> formats, size_t next) : formats_(std::move(formats)), next_(next) {}

  HRESULT Next(ULONG count, FORMATETC* formats, ULONG* fetched) override {
    if (formats == nullptr || (count > 1 && fetched == nullptr)) return E_POINTER;
    ULONG copied = 0;
    while (copied < count && next_ < formats_.size()) formats[copied++] = formats_[next_++];
    if (fetched != nullptr) *fetched = copied;
    return copied == count ? S_OK : S_FALSE;
  }
  HRESULT Skip(ULONG count) override {
    const size_t left = formats_.size() - next_;
    next_ += std::min<size_t>(count, left);
    return count <= left ? S_OK : S_FALSE;
  }
  HRESULT Reset() override {
    next_ = 0;
    return S_OK;
  }
  HRESULT Clone(IEnumFORMATETC** copy) override {
    if (copy == nullptr) return E_POINTER;
    *copy = MakeCom<FormatEnumerator>(formats_, next_).Detach();
    return S_OK;
  }

 private:
  std::vector<FORMATETC> formats_;
  size_t next_;
};

}  // namespace

void ReleaseStgMedium(STGMEDIUM* medium) {
  if (medium == nullptr) return;
  if (medium->pUnkForRelease != nullptr)
    medium->pUnkForRelease->Release();
  else if (medium->tymed == TYMED_HGLOBAL && medium->hGlobal != nullptr)
    GlobalFree(medium->hGlobal);
  *medium = STGMEDIUM{};
}

DataObject::~DataObject() {
  for (Entry& entry : entries_) ReleaseStgMedium(&entry.medium);
  ClearDragImage();
}

DataObject::Entry* DataObject::Find(const FORMATETC& format) {
  auto it = std::find_if(entries_.begin(), entries_.end(), [&](const Entry& entry) {
    return entry.format.cfFormat == format.cfFormat && entry.format.dwAspect == format.dwAspect;
  });
  return it == entries_.end() ? nullptr : &*it;
}

HRESULT DataObject::QueryGetData(FORMATETC* format) {
  if (format == nullptr) return E_INVALIDARG;
  if (Find(*format) == nullptr) return DV_E_FORMATETC;
  return (format->tymed & TYMED_HGLOBAL) != 0 ? S_OK : DV_E_TYMED;
}

HRESULT DataObject::GetData(FORMATETC* format, STGMEDIUM* medium) {
  if (format == nullptr || medium == nullptr) return E_INVALIDARG;
  *medium = STGMEDIUM{};
  if (const HRESULT usable = QueryGetData(format); usable != S_OK) return usable;
  // The caller gets its own copy, so releasing it never touches what the object keeps.
  HGLOBAL copy = CopyGlobal(Find(*format)->medium.hGlobal);
  if (copy == nullptr) return E_OUTOFMEMORY;
  medium->tymed = TYMED_HGLOBAL;
  medium->hGlobal = copy;
  return S_OK;
}

HRESULT DataObject::GetDataHere(FORMATETC*, STGMEDIUM*) { return E_NOTIMPL; }

HRESULT DataObject::GetCanonicalFormatEtc(FORMATETC* format, FORMATETC* canonical) {
  if (format == nullptr || canonical == nullptr) return E_INVALIDARG;
  *canonical = *format;
  canonical->ptd = nullptr;
  return DATA_S_SAMEFORMATETC;
}

HRESULT DataObject::SetData(FORMATETC* format, STGMEDIUM* medium, BOOL release) {
  if (format == nullptr || medium == nullptr) return E_INVALIDARG;
  if (format->tymed != TYMED_HGLOBAL || medium->tymed != TYMED_HGLOBAL || medium->hGlobal == nullptr) {
    if (release) ReleaseStgMedium(medium);
    return DV_E_TYMED;
  }
  STGMEDIUM kept{TYMED_HGLOBAL, medium->hGlobal, medium->pUnkForRelease};
  if (!release) {
    kept.hGlobal = CopyGlobal(medium->hGlobal);
    kept.pUnkForRelease = nullptr;
    if (kept.hGlobal == nullptr) return E_OUTOFMEMORY;
  }
  FORMATETC stored = *format;
  stored.ptd = nullptr;
  stored.lindex = -1;
  if (Entry* entry = Find(stored)) {
    ReleaseStgMedium(&entry->medium);
    entry->medium = kept;
  } else {
    entries_.push_back(Entry{stored, kept});
  }
  return S_OK;
}

HRESULT DataObject::EnumFormatEtc(DWORD direction, IEnumFORMATETC** formats) {
  if (formats == nullptr) return E_POINTER;
  *formats = nullptr;
  if (direction != DATADIR_GET) return E_NOTIMPL;
  std::vector<FORMATETC> offered;
  for (const Entry& entry : entries_) offered.push_back(entry.format);
  *formats = MakeCom<FormatEnumerator>(std::move(offered), 0).Detach();
  return S_OK;
}

HRESULT DataObject::DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*) { return OLE_E_ADVISENOTSUPPORTED; }
HRESULT DataObject::DUnadvise(DWORD) { return OLE_E_ADVISENOTSUPPORTED; }
HRESULT DataObject::EnumDAdvise(IEnumSTATDATA**) { return OLE_E_ADVISENOTSUPPORTED; }

void DataObject::ClearDragImage() {
  if (drag_image_.hbmpDragImage != nullptr) DeleteObject(drag_image_.hbmpDragImage);
  drag_image_ = SHDRAGIMAGE{};
}

void DataObject::SetDragImage(const SHDRAGIMAGE& image) {
  if (image.hbmpDragImage == drag_image_.hbmpDragImage) {
    drag_image_ = image;
    return;
  }
  ClearDragImage();
  if (image.hbmpDragImage != nullptr) drag_image_ = image;
}

}  // namespace win
