// Data objects: data offered by format as global memory blocks (the only medium this platform
// carries), the enumeration of the offered formats, and DataObject, an in-process data object
// that programs fill with SetData and that also keeps the drag image of a drag.
#pragma once

#include <vector>

#include "platform/com/unknown.h"
#include "platform/core/types.h"

namespace win {

using CLIPFORMAT = WORD;

// Media (storage kinds); only TYMED_HGLOBAL carries data here.
constexpr DWORD TYMED_NULL = 0;
constexpr DWORD TYMED_HGLOBAL = 1;
constexpr DWORD TYMED_FILE = 2;
constexpr DWORD TYMED_ISTREAM = 4;
constexpr DWORD TYMED_ISTORAGE = 8;

constexpr DWORD DVASPECT_CONTENT = 1;
constexpr DWORD DVASPECT_THUMBNAIL = 2;
constexpr DWORD DVASPECT_ICON = 4;
constexpr DWORD DVASPECT_DOCPRINT = 8;

constexpr DWORD DATADIR_GET = 1;
constexpr DWORD DATADIR_SET = 2;

constexpr HRESULT DV_E_FORMATETC = MakeHresult(0x80040064);
constexpr HRESULT DV_E_LINDEX = MakeHresult(0x80040068);
constexpr HRESULT DV_E_TYMED = MakeHresult(0x80040069);
constexpr HRESULT DV_E_DVASPECT = MakeHresult(0x8004006B);
constexpr HRESULT OLE_E_ADVISENOTSUPPORTED = MakeHresult(0x80040003);
constexpr HRESULT DATA_S_SAMEFORMATETC = MakeHresult(0x00040130);

// Target devices are not supported: ptd is always null.
struct DVTARGETDEVICE;

struct FORMATETC {
  CLIPFORMAT cfFormat = 0;
  DVTARGETDEVICE* ptd = nullptr;
  DWORD dwAspect = DVASPECT_CONTENT;
  LONG lindex = -1;
  DWORD tymed = TYMED_HGLOBAL;
};

// A medium holding data. With pUnkForRelease set, releasing the medium releases that object
// instead of freeing the block.
struct STGMEDIUM {
  DWORD tymed = TYMED_NULL;
  HGLOBAL hGlobal = nullptr;
  IUnknown* pUnkForRelease = nullptr;
};

// Frees what the medium holds (or releases its pUnkForRelease) and empties it.
void ReleaseStgMedium(STGMEDIUM* medium);

class IEnumFORMATETC : public IUnknown {
 public:
  static constexpr IID iid = MakeGuid("00000103-0000-0000-C000-000000000046");
  // Copies up to `count` formats; S_FALSE when fewer were left.
  virtual HRESULT Next(ULONG count, FORMATETC* formats, ULONG* fetched) = 0;
  virtual HRESULT Skip(ULONG count) = 0;
  virtual HRESULT Reset() = 0;
  virtual HRESULT Clone(IEnumFORMATETC** copy) = 0;

 protected:
  ~IEnumFORMATETC() = default;
};

// Advise sinks are not supported; the type exists for the interface's shape.
class IAdviseSink;
class IEnumSTATDATA;

class IDataObject : public IUnknown {
 public:
  static constexpr IID iid = MakeGuid("0000010E-0000-0000-C000-000000000046");
  // A new medium the caller owns (release it with ReleaseStgMedium).
  virtual HRESULT GetData(FORMATETC* format, STGMEDIUM* medium) = 0;
  virtual HRESULT GetDataHere(FORMATETC* format, STGMEDIUM* medium) = 0;
  virtual HRESULT QueryGetData(FORMATETC* format) = 0;
  virtual HRESULT GetCanonicalFormatEtc(FORMATETC* format, FORMATETC* canonical) = 0;
  // With release TRUE the object takes the medium (also when it fails: the medium is then
  // released); with FALSE it keeps a copy and the caller keeps the medium.
  virtual HRESULT SetData(FORMATETC* format, STGMEDIUM* medium, BOOL release) = 0;
  virtual HRESULT EnumFormatEtc(DWORD direction, IEnumFORMATETC** formats) = 0;
  virtual HRESULT DAdvise(FORMATETC* format, DWORD flags, IAdviseSink* sink, DWORD* connection) = 0;
  virtual HRESULT DUnadvise(DWORD connection) = 0;
  virtual HRESULT EnumDAdvise(IEnumSTATDATA** advises) = 0;

 protected:
  ~IDataObject() = default;
};

constexpr IID IID_IDataObject = IDataObject::iid;

// The picture shown under the pointer while data is dragged: the object keeps it and frees the
// bitmap; this platform does not draw it.
struct SHDRAGIMAGE {
  SIZE sizeDragImage;
  POINT ptOffset;
  HBITMAP hbmpDragImage = nullptr;
  COLORREF crColorKey = 0;
};

// An in-process data object: any number of formats, each a global memory block, set and read
// by the program; formats are offered in the order they were first set.
class DataObject : public ComObject<IDataObject> {
 public:
  DataObject() = default;

  HRESULT GetData(FORMATETC* format, STGMEDIUM* medium) override;
  HRESULT GetDataHere(FORMATETC* format, STGMEDIUM* medium) override;
  HRESULT QueryGetData(FORMATETC* format) override;
  HRESULT GetCanonicalFormatEtc(FORMATETC* format, FORMATETC* canonical) override;
  HRESULT SetData(FORMATETC* format, STGMEDIUM* medium, BOOL release) override;
  HRESULT EnumFormatEtc(DWORD direction, IEnumFORMATETC** formats) override;
  HRESULT DAdvise(FORMATETC* format, DWORD flags, IAdviseSink* sink, DWORD* connection) override;
  HRESULT DUnadvise(DWORD connection) override;
  HRESULT EnumDAdvise(IEnumSTATDATA** advises) override;

  // Takes the image's bitmap (freeing the one held before); a null bitmap clears the image.
  void SetDragImage(const SHDRAGIMAGE& image);
  // The image held (its bitmap still owned by the object); a null bitmap when there is none.
  const SHDRAGIMAGE& GetDragImage() const { return drag_image_; }

 protected:
  ~DataObject() override;

 private:
  struct Entry {
    FORMATETC format;
    STGMEDIUM medium;
  };
  // The entry for a format's clipboard format and aspect, or nullptr.
  Entry* Find(const FORMATETC& format);
  void ClearDragImage();

  std::vector<Entry> entries_;
  SHDRAGIMAGE drag_image_;
};

}  // namespace win
