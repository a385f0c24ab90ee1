#include "components/listview/common/common_threads.h"

#include "platform/com/com_init.h"
#include "platform/core/handles.h"
#include "platform/shell/item_ids.h"

namespace dashtune {
namespace {

std::u16string Copy(win::LPCWSTR text) { return text == nullptr ? std::u16string() : std::u16string(text); }
win::LPCWSTR PointerTo(const std::u16string& text, win::LPCWSTR original) { return original == nullptr ? nullptr : text.c_str(); }

}  // namespace

void TCommonThread::Execute() {
  const win::HRESULT com = win::CoInitialize(nullptr);
  try {
    ExecuteThread();
  } catch (...) {
    if (win::SUCCEEDED(com)) win::CoUninitialize();
    throw;
  }
  if (win::SUCCEEDED(com)) win::CoUninitialize();
}

TCommonShellExecuteThread::TCommonShellExecuteThread() : TCommonThread(/*CreateSuspended=*/true) {}

TCommonShellExecuteThread::~TCommonShellExecuteThread() { win::CoTaskMemFree(pidl_); }

void TCommonShellExecuteThread::SetRequest(const win::SHELLEXECUTEINFOW& Info) {
  info_ = Info;
  verb_ = Copy(Info.lpVerb);
  parameters_ = Copy(Info.lpParameters);
  directory_ = Copy(Info.lpDirectory);
  file_ = Copy(Info.lpFile);
  class_name_ = Copy(Info.lpClass);
  win::CoTaskMemFree(pidl_);
  const auto* list = static_cast<win::LPCITEMIDLIST>(Info.lpIDList);
  pidl_ = list == nullptr ? nullptr : win::item_ids::AppendLists(list, nullptr);
}

void TCommonShellExecuteThread::ExecuteThread() {
  win::SHELLEXECUTEINFOW info = info_;
  info.lpVerb = PointerTo(verb_, info_.lpVerb);
  info.lpParameters = PointerTo(parameters_, info_.lpParameters);
  info.lpDirectory = PointerTo(directory_, info_.lpDirectory);
  info.lpFile = PointerTo(file_, info_.lpFile);
  info.lpClass = PointerTo(class_name_, info_.lpClass);
  info.lpIDList = pidl_;
  info.hProcess = nullptr;
  succeeded_.store(win::ShellExecuteExW(&info) != win::FALSE);
  if (info.hProcess != nullptr) win::CloseHandle(info.hProcess);
}

}  // namespace dashtune
