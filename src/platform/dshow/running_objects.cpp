#include <cstdio>
#include <map>
#include <mutex>
#include <string>

#include "platform/core/strings.h"
#include "platform/dshow/media_objects.h"
#include "platform/dshow/property_bag.h"

namespace win {

namespace {

class PropertyBag final : public IPropertyBag, public MediaObjectCount {
 public:
  PropertyBag(std::u16string class_id, std::u16string friendly_name)
      : class_id_(std::move(class_id)), friendly_name_(std::move(friendly_name)) {}

  HRESULT QueryInterface(REFIID riid, void** ppv) override {
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    if (riid != IID_IUnknown && riid != IID_IPropertyBag) return E_NOINTERFACE;
    *ppv = static_cast<IPropertyBag*>(this);
    AddRef();
    return S_OK;
  }
  ULONG AddRef() override { return CountUp(); }
  ULONG Release() override { return CountDown(); }

  HRESULT Read(LPCOLESTR pszPropName, VARIANT* pVar, IErrorLog*) override {
    if (pszPropName == nullptr || pVar == nullptr) return E_POINTER;
    const std::u16string name(pszPropName);
    if (name == u"CLSID") {
      pVar->vt = VT_BSTR;
      pVar->bstrVal = class_id_;
    } else if (name == u"FriendlyName") {
      pVar->vt = VT_BSTR;
      pVar->bstrVal = friendly_name_;
    } else {
      return E_INVALIDARG;
    }
    return S_OK;
  }
  HRESULT Write(LPCOLESTR, VARIANT*) override { return E_NOTIMPL; }

 private:
  std::u16string class_id_;
  std::u16string friendly_name_;
};

class NameMoniker final : public IMoniker, public MediaObjectCount {
 public:
  // A factory moniker has a property bag; an item moniker has none.
  NameMoniker(std::u16string display_name, IPropertyBag* bag) : display_name_(std::move(display_name)), bag_(bag) {}
  ~NameMoniker() override {
    if (bag_ != nullptr) bag_->Release();
  }

  HRESULT QueryInterface(REFIID riid, void** ppv) override {
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    if (riid != IID_IUnknown && riid != IID_IMoniker) return E_NOINTERFACE;
    *ppv = static_cast<IMoniker*>(this);
    AddRef();
    return S_OK;
  }
  ULONG AddRef() override { return CountUp(); }
  ULONG Release() override { return CountDown(); }

  HRESULT BindToStorage(IBindCtx*, IMoniker*, REFIID riid, void** ppvObj) override {
    if (ppvObj == nullptr) return E_POINTER;
    *ppvObj = nullptr;
    if (bag_ == nullptr) return E_NOINTERFACE;
    return bag_->QueryInterface(riid, ppvObj);
  }
  HRESULT GetDisplayName(IBindCtx*, IMoniker*, std::u16string* name) override {
    if (name == nullptr) return E_POINTER;
    *name = display_name_;
    return S_OK;
  }

 private:
  std::u16string display_name_;
  IPropertyBag* bag_;
};

class RunningObjectTable final : public IRunningObjectTable {
 public:
  // The table lives for the whole process; counting never frees it.
  HRESULT QueryInterface(REFIID riid, void** ppv) override {
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    if (riid != IID_IUnknown && riid != IID_IRunningObjectTable) return E_NOINTERFACE;
    *ppv = static_cast<IRunningObjectTable*>(this);
    return S_OK;
  }
  ULONG AddRef() override { return 2; }
  ULONG Release() override { return 1; }

  HRESULT Register(DWORD, IUnknown* punkObject, IMoniker* pmkObjectName, DWORD* pdwRegister) override {
    if (punkObject == nullptr || pmkObjectName == nullptr || pdwRegister == nullptr) return E_INVALIDARG;
    std::u16string name;
    pmkObjectName->GetDisplayName(nullptr, nullptr, &name);
    std::lock_guard<std::mutex> guard(lock_);
    const DWORD id = ++last_id_;
    entries_.emplace(id, Entry{ComPtr<IUnknown>(punkObject), name});
    *pdwRegister = id;
    return S_OK;
  }

  HRESULT Revoke(DWORD dwRegister) override {
    ComPtr<IUnknown> released;
    std::lock_guard<std::mutex> guard(lock_);
    auto entry = entries_.find(dwRegister);
    if (entry == entries_.end()) return E_INVALIDARG;
    released = entry->second.object;
    entries_.erase(entry);
    return S_OK;
  }

  HRESULT IsRunning(IMoniker* pmkObjectName) override {
    return Find(pmkObjectName) ? S_OK : S_FALSE;
  }

  HRESULT GetObject(IMoniker* pmkObjectName, IUnknown** ppunkObject) override {
    if (ppunkObject == nullptr) return E_POINTER;
    ComPtr<IUnknown> object = Find(pmkObjectName);
    *ppunkObject = object.Detach();
    return *ppunkObject != nullptr ? S_OK : E_FAIL;
  }

 private:
  struct Entry {
    ComPtr<IUnknown> object;
    std::u16string name;
  };

  ComPtr<IUnknown> Find(IMoniker* moniker) {
    if (moniker == nullptr) return {};
    std::u16string name;
    moniker->GetDisplayName(nullptr, nullptr, &name);
    std::lock_guard<std::mutex> guard(lock_);
    for (const auto& [id, entry] : entries_) {
      if (entry.name == name) return entry.object;
    }
    return {};
  }

  std::mutex lock_;
  DWORD last_id_ = 0;
  std::map<DWORD, Entry> entries_;
};

}  // namespace

CLSID FactoryClassId(const char* factory_name) {
  // Two FNV-1a hashes of the name fill the id; the version nibble marks it as name-based.
  std::uint64_t first = 0xcbf29ce484222325ULL;
  std::uint64_t second = 0x84222325cbf29ce4ULL;
  for (const char* c = factory_name; c != nullptr && *c != 0; ++c) {
    first = (first ^ static_cast<unsigned char>(*c)) * 0x100000001b3ULL;
    second = (second ^ static_cast<unsigned char>(*c)) * 0x100000001b3ULL;
  }
  CLSID id{};
  id.Data1 = static_cast<DWORD>(first >> 32);
  id.Data2 = static_cast<WORD>(first >> 16);
  id.Data3 = static_cast<WORD>((first & 0x0FFF) | 0x5000);
  for (int i = 0; i < 8; ++i) id.Data4[i] = static_cast<BYTE>(second >> (8 * i));
  id.Data4[0] = static_cast<BYTE>((id.Data4[0] & 0x3F) | 0x80);
  return id;
}

IMoniker* CreateFactoryMoniker(const char* factory_name, const char* friendly_name) {
  const std::u16string class_id = Utf8ToUtf16(GuidToString(FactoryClassId(factory_name)));
  auto* bag = new PropertyBag(class_id, friendly_name == nullptr ? std::u16string() : Utf8ToUtf16(friendly_name));
  return new NameMoniker(u"@device:gst:" + Utf8ToUtf16(factory_name == nullptr ? "" : factory_name), bag);
}

HRESULT GetRunningObjectTable(DWORD reserved, IRunningObjectTable** pprot) {
  if (pprot == nullptr) return E_POINTER;
  *pprot = nullptr;
  if (reserved != 0) return E_INVALIDARG;
  static RunningObjectTable table;
  *pprot = &table;
  return S_OK;
}

HRESULT CreateItemMoniker(LPCOLESTR lpszDelim, LPCOLESTR lpszItem, IMoniker** ppmk) {
  if (ppmk == nullptr) return E_POINTER;
  *ppmk = nullptr;
  if (lpszItem == nullptr) return E_INVALIDARG;
  std::u16string name = lpszDelim == nullptr ? std::u16string() : std::u16string(lpszDelim);
  name += lpszItem;
  *ppmk = new NameMoniker(name, nullptr);
  return S_OK;
}

}  // namespace win
