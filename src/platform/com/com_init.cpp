#include "platform/com/com_init.h"

#include <algorithm>
#include <cstdlib>
#include <map>
#include <mutex>
#include <tuple>

namespace win {

namespace {

struct ThreadComState {
  ULONG com_count = 0;
  ULONG ole_count = 0;
  DWORD model = COINIT_APARTMENTTHREADED;
};

ThreadComState& ThisThread() {
  thread_local ThreadComState state;
  return state;
}

struct GuidLess {
  bool operator()(const GUID& a, const GUID& b) const {
    return std::tie(a.Data1, a.Data2, a.Data3) < std::tie(b.Data1, b.Data2, b.Data3) ||
           (std::tie(a.Data1, a.Data2, a.Data3) == std::tie(b.Data1, b.Data2, b.Data3) &&
            std::lexicographical_compare(a.Data4, a.Data4 + 8, b.Data4, b.Data4 + 8));
  }
};

struct ClassRegistry {
  std::mutex mutex;
  std::map<CLSID, ComClassFactory, GuidLess> factories;
};

ClassRegistry& Registry() {
  static ClassRegistry registry;
  return registry;
}

}  // namespace

HRESULT CoInitializeEx(LPVOID, DWORD model) {
  ThreadComState& state = ThisThread();
  if (state.com_count > 0 && state.model != model) return RPC_E_CHANGED_MODE;
  state.model = model;
  return state.com_count++ == 0 ? S_OK : S_FALSE;
}

HRESULT CoInitialize(LPVOID reserved) { return CoInitializeEx(reserved, COINIT_APARTMENTTHREADED); }

void CoUninitialize() {
  ThreadComState& state = ThisThread();
  if (state.com_count > 0) --state.com_count;
}

HRESULT OleInitialize(LPVOID reserved) {
  const HRESULT com = CoInitializeEx(reserved, COINIT_APARTMENTTHREADED);
  if (FAILED(com)) return com;
  return ThisThread().ole_count++ == 0 ? S_OK : S_FALSE;
}

void OleUninitialize() {
  ThreadComState& state = ThisThread();
  if (state.ole_count == 0) return;
  --state.ole_count;
  CoUninitialize();
}

ULONG ComInitializeCount() { return ThisThread().com_count; }
ULONG OleInitializeCount() { return ThisThread().ole_count; }

void RegisterComClass(REFCLSID clsid, ComClassFactory factory) {
  ClassRegistry& registry = Registry();
  std::lock_guard lock(registry.mutex);
  if (factory) {
    registry.factories[clsid] = std::move(factory);
  } else {
    registry.factories.erase(clsid);
  }
}

bool IsComClassRegistered(REFCLSID clsid) {
  ClassRegistry& registry = Registry();
  std::lock_guard lock(registry.mutex);
  return registry.factories.count(clsid) != 0;
}

HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, DWORD, REFIID iid, void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  if (outer != nullptr) return CLASS_E_NOAGGREGATION;
  ComClassFactory factory;
  {
    ClassRegistry& registry = Registry();
    std::lock_guard lock(registry.mutex);
    const auto found = registry.factories.find(clsid);
    if (found == registry.factories.end()) return REGDB_E_CLASSNOTREG;
    factory = found->second;  // called unlocked: a factory may create further objects
  }
  const HRESULT result = factory(iid, object);
  if (FAILED(result)) *object = nullptr;
  return result;
}

LPVOID CoTaskMemAlloc(SIZE_T size) { return std::malloc(size == 0 ? 1 : size); }

void CoTaskMemFree(LPVOID block) { std::free(block); }

}  // namespace win
