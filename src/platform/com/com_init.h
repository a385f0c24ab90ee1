// Per-thread COM and OLE initialisation counts, class registration behind CoCreateInstance, and
// the task allocator.
#pragma once

#include "platform/com/guid.h"
#include "platform/com/result.h"
#include "platform/com/unknown.h"

#include <functional>

namespace win {

constexpr DWORD COINIT_MULTITHREADED = 0x0;
constexpr DWORD COINIT_APARTMENTTHREADED = 0x2;

constexpr DWORD CLSCTX_INPROC_SERVER = 0x1;
constexpr DWORD CLSCTX_INPROC_HANDLER = 0x2;
constexpr DWORD CLSCTX_LOCAL_SERVER = 0x4;
constexpr DWORD CLSCTX_ALL = CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER | 0x10;

// S_OK for the thread's first initialisation, S_FALSE for each further one; every successful
// call must be balanced by an uninitialisation. A thread keeps the model it first chose
// (RPC_E_CHANGED_MODE otherwise). OleInitialize also initialises COM.
HRESULT CoInitialize(LPVOID reserved);
HRESULT CoInitializeEx(LPVOID reserved, DWORD model);
void CoUninitialize();
HRESULT OleInitialize(LPVOID reserved);
void OleUninitialize();

// Current counts of the calling thread.
ULONG ComInitializeCount();
ULONG OleInitializeCount();

// Makes a new object of a registered class and answers the interface asked for.
using ComClassFactory = std::function<HRESULT(REFIID iid, void** object)>;

// Registers (or replaces) the factory of a class; an empty factory removes the class.
void RegisterComClass(REFCLSID clsid, ComClassFactory factory);
bool IsComClassRegistered(REFCLSID clsid);

// REGDB_E_CLASSNOTREG for an unknown class, CLASS_E_NOAGGREGATION with an outer object,
// E_POINTER without an out parameter; on failure *object is null.
HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, DWORD context, REFIID iid, void** object);

LPVOID CoTaskMemAlloc(SIZE_T size);
void CoTaskMemFree(LPVOID block);

}  // namespace win
