// HRESULT values and helpers.
#pragma once

#include "platform/core/types.h"

namespace win {

constexpr HRESULT MakeHresult(DWORD value) { return static_cast<HRESULT>(value); }

constexpr HRESULT S_OK = 0;
constexpr HRESULT S_FALSE = 1;
constexpr HRESULT E_NOTIMPL = MakeHresult(0x80004001);
constexpr HRESULT E_NOINTERFACE = MakeHresult(0x80004002);
constexpr HRESULT E_POINTER = MakeHresult(0x80004003);
constexpr HRESULT E_ABORT = MakeHresult(0x80004004);
constexpr HRESULT E_FAIL = MakeHresult(0x80004005);
constexpr HRESULT E_UNEXPECTED = MakeHresult(0x8000FFFF);
constexpr HRESULT E_ACCESSDENIED = MakeHresult(0x80070005);
constexpr HRESULT E_HANDLE = MakeHresult(0x80070006);
constexpr HRESULT E_OUTOFMEMORY = MakeHresult(0x8007000E);
constexpr HRESULT E_INVALIDARG = MakeHresult(0x80070057);
constexpr HRESULT CLASS_E_NOAGGREGATION = MakeHresult(0x80040110);
constexpr HRESULT CLASS_E_CLASSNOTAVAILABLE = MakeHresult(0x80040111);
constexpr HRESULT REGDB_E_CLASSNOTREG = MakeHresult(0x80040154);
constexpr HRESULT CO_E_NOTINITIALIZED = MakeHresult(0x800401F0);
constexpr HRESULT RPC_E_CHANGED_MODE = MakeHresult(0x80010106);

constexpr DWORD FACILITY_WIN32 = 7;

constexpr bool SUCCEEDED(HRESULT result) { return result >= 0; }
constexpr bool FAILED(HRESULT result) { return result < 0; }
constexpr DWORD HRESULT_CODE(HRESULT result) { return static_cast<DWORD>(result) & 0xFFFF; }
constexpr DWORD HRESULT_FACILITY(HRESULT result) { return (static_cast<DWORD>(result) >> 16) & 0x1FFF; }
constexpr HRESULT MAKE_HRESULT(DWORD severity, DWORD facility, DWORD code) {
  return MakeHresult((severity << 31) | (facility << 16) | code);
}
// A system error number as a failure result; 0 stays S_OK.
constexpr HRESULT HRESULT_FROM_WIN32(DWORD error) {
  return static_cast<HRESULT>(error) <= 0 ? static_cast<HRESULT>(error)
                                          : MAKE_HRESULT(1, FACILITY_WIN32, error & 0xFFFF);
}

}  // namespace win
