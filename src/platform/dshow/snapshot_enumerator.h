// An enumerator over a snapshot of counted items (pins, filters), taken when it is made.
#pragma once

#include <algorithm>
#include <cstddef>
#include <utility>
#include <vector>

#include "platform/dshow/com_plumbing.h"
#include "platform/dshow/media_objects.h"

namespace win {

template <class Item, class Interface>
class SnapshotEnumerator final : public Interface, public MediaObjectCount {
 public:
  SnapshotEnumerator(std::vector<ComPtr<Item>> items, const IID& iid) : items_(std::move(items)), iid_(iid) {}

  HRESULT QueryInterface(REFIID riid, void** ppv) override {
    return AnswerOwnInterface(static_cast<Interface*>(this), riid, ppv, {iid_});
  }
  ULONG AddRef() override { return CountUp(); }
  ULONG Release() override { return CountDown(); }

  HRESULT Next(ULONG count, Item** items, ULONG* fetched) override {
    if (items == nullptr || (count > 1 && fetched == nullptr)) return E_POINTER;
    ULONG done = 0;
    while (done < count && next_ < items_.size()) {
      items[done] = items_[next_].Get();
      items[done]->AddRef();
      ++done;
      ++next_;
    }
    if (fetched != nullptr) *fetched = done;
    return done == count ? S_OK : S_FALSE;
  }
  HRESULT Skip(ULONG count) override {
    next_ = std::min(items_.size(), next_ + count);
    return next_ < items_.size() ? S_OK : S_FALSE;
  }
  HRESULT Reset() override {
    next_ = 0;
    return S_OK;
  }

 private:
  std::vector<ComPtr<Item>> items_;
  IID iid_;
  std::size_t next_ = 0;
};

}  // namespace win
