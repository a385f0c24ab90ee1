// The checks, texts, exceptions, lists and registrations every media component stands on.
#pragma once

#include <cstdint>
#include <string>

#include "classlib/interfaces.h"
#include "classlib/sysutils.h"
#include "components/video/ds_conversions.h"
#include "platform/dshow/dshow.h"

namespace dashtune {

// A failed platform result that a component checked. ErrorCode is the result.
class EDirectShowException : public Exception {
 public:
  EDirectShowException(std::string message, win::HRESULT error_code)
      : Exception(std::move(message)), ErrorCode(error_code) {}
  win::HRESULT ErrorCode;
};

// A failure of the media components themselves; ErrorCode is set only where a platform result
// caused it.
class EDSMediaException : public Exception {
 public:
  explicit EDSMediaException(std::string message, win::HRESULT error_code = 0)
      : Exception(std::move(message)), ErrorCode(error_code) {}
  win::HRESULT ErrorCode;
};

// The filters of one graph, holding a counted reference to the graph.
class TFilterList : public TInterfaceList {
 public:
  explicit TFilterList(win::IFilterGraph* graph);
  // Releases the graph, then the items.
  ~TFilterList() override;

  // Appends every filter the graph's enumerator yields (without clearing first).
  void Update();
  // The filter at index; an index outside 0..Count-1 raises EListError.
  win::ComPtr<win::IBaseFilter> GetItem(int index) const;
  int Add(win::IBaseFilter* filter);
  // Removes the first entry for the filter; answers its former index or -1.
  int Remove(win::IBaseFilter* filter);

 private:
  win::ComPtr<win::IFilterGraph> graph_;
};

// The pins of one filter, holding a counted reference to the filter.
class TPinList : public TInterfaceList {
 public:
  explicit TPinList(win::IBaseFilter* filter);
  ~TPinList() override;

  // Clears the list, then appends every pin of the filter (nothing without a filter).
  void Update();
  win::ComPtr<win::IPin> GetItem(int index) const;
  int Add(win::IPin* pin);
  // Whether the pin at index is connected to a peer (the peer is released at once).
  bool Connected(int index) const;

 private:
  win::ComPtr<win::IBaseFilter> filter_;
};

namespace video {

// Sets the variable to nil first, then frees what it held.
template <class T>
void FreeAndNilObject(T*& object) {
  T* held = object;
  object = nullptr;
  delete held;
}

win::HRESULT RegisterGraphInROT(win::IUnknown* graph, win::DWORD& id);
win::HRESULT UnregisterGraphFromROT(win::DWORD id);
// The item name under which a graph is registered: "FilterGraph %p pid %x".
std::u16string GraphItemName(const void* graph);

// The platform's text for a result code (at most 255 characters).
std::string GetDSErrorText(win::HRESULT result);
// Answers a success code unchanged; raises EDirectShowException for a failure code.
win::HRESULT CheckDSResult(win::HRESULT result);

}  // namespace video

}  // namespace dashtune
