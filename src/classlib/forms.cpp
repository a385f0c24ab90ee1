#include "classlib/forms.h"

#include <unistd.h>

#include "classlib/threads.h"
#include "classlib/units.h"
#include "platform/core/message_box.h"
#include "platform/core/wait.h"
#include "platform/present/presenter.h"
#include "platform/user/input_state.h"
#include "platform/user/messages.h"

namespace dashtune {
namespace {

std::string ProgramName() {
  char path[4096];
  ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
  if (n <= 0) return {};
  std::string name(path, static_cast<std::size_t>(n));
  name = name.substr(name.rfind('/') + 1);
  std::size_t dot = name.rfind('.');
  return dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
}

// The exception display's text for a message.
std::string DisplayText(std::string message) {
  if (!message.empty() && static_cast<unsigned char>(message.back()) > '.') message += '.';
  return message;
}

void ShowMessageBox(const std::string& text, const std::string& caption) {
  win::MessageBoxA(nullptr, text.c_str(), caption.c_str(), win::MB_OK | win::MB_ICONHAND);
}

}  // namespace

TApplication* Application = nullptr;

TApplication::TApplication() : TComponent(nullptr), title_(ProgramName()) {
  if (Application) throw EInvalidOperation("Application object already exists");
  Application = this;
  SetMainThreadID(std::this_thread::get_id());
  // Calls handed to the main thread run when it retrieves messages; handing one wakes it.
  win::SetMessageRetrievalHook([] { CheckSynchronize(); });
  std::shared_ptr<win::ThreadWaker> waker = win::CurrentThreadWaker();
  SetWakeMainThread([waker] { waker->Wake(); });
}

TApplication::~TApplication() {
  if (initialized_) {
    try {
      FinalizeUnits();
    } catch (...) {
      // A unit that fails to end cannot stop the program from ending.
    }
  }
  presenter_.reset();
  SetWakeMainThread(nullptr);
  win::SetMessageRetrievalHook(nullptr);
  Application = nullptr;
}

void TApplication::Initialize() {
  initialized_ = true;
  InitializeUnits();
}

bool TApplication::ProcessMessage() {
  win::MSG msg;
  if (!win::PeekMessageA(&msg, nullptr, 0, 0, win::PM_REMOVE)) return false;
  if (msg.message == win::WM_QUIT) {
    terminated_ = true;
  } else {
    win::TranslateMessage(&msg);
    win::DispatchMessageA(&msg);
  }
  return true;
}

void TApplication::ProcessMessages() {
  while (ProcessMessage()) {
  }
}

void TApplication::HandleMessage() {
  if (!ProcessMessage()) Idle();
}

void TApplication::Idle() {
  bool done = true;
  try {
    if (OnIdle) OnIdle(this, done);
  } catch (...) {
    HandleException(this);
  }
  if (CheckSynchronize()) done = false;
  if (done) win::WaitMessage();
}

win::present::X11Presenter* TApplication::ShowOnDisplay() {
  if (!display_checked_) {
    std::string failure;
    presenter_ = win::present::StartPresenterIfDisplay(&failure);
    if (!failure.empty()) throw EInvalidOperation(failure);
    display_checked_ = true;
  }
  return presenter_.get();
}

void TApplication::Run() {
  ShowOnDisplay();
  while (!terminated_) {
    try {
      HandleMessage();
    } catch (...) {
      HandleException(this);
    }
  }
}

void TApplication::Terminate() { win::PostQuitMessage(0); }

void TApplication::ActivateApp(bool Active) {
  // Every top-level window hears the change: only the first of them counts.
  if (Active == active_) return;
  active_ = Active;
  if (Active) return;
  const auto hooks = deactivation_hooks_;
  for (const auto& [owner, hook] : hooks) {
    try {
      hook();
    } catch (...) {
      HandleException(this);
    }
  }
}

void TApplication::HookDeactivation(const void* Owner, std::function<void()> Hook) {
  UnhookDeactivation(Owner);
  deactivation_hooks_.emplace_back(Owner, std::move(Hook));
}

void TApplication::UnhookDeactivation(const void* Owner) {
  std::erase_if(deactivation_hooks_, [Owner](const auto& entry) { return entry.first == Owner; });
}

void TApplication::HandleException(TObject* Sender) {
  std::exception_ptr current = std::current_exception();
  if (!current) return;
  // A window that holds the mouse loses it, so that the display can take input.
  if (win::HWND capture = win::GetCapture()) win::SendMessageA(capture, win::WM_CANCELMODE, 0, 0);
  try {
    std::rethrow_exception(current);
  } catch (const Exception& e) {
    if (OnException) {
      OnException(Sender, e);
    } else {
      ShowException(e);
    }
  } catch (const std::exception& e) {
    Exception wrapped(e.what());
    if (OnException) {
      OnException(Sender, wrapped);
    } else {
      ShowException(wrapped);
    }
  } catch (...) {
    Exception unknown("Unbekannte Exception");
    if (OnException) {
      OnException(Sender, unknown);
    } else {
      ShowException(unknown);
    }
  }
}

void TApplication::ShowException(const Exception& E) { ShowMessageBox(DisplayText(E.GetMessage()), title_); }

void ShowException(const std::exception_ptr& exception) {
  if (!exception) return;
  try {
    std::rethrow_exception(exception);
  } catch (const Exception& e) {
    if (Application) {
      Application->ShowException(e);
    } else {
      ShowMessageBox(DisplayText(e.GetMessage()), {});
    }
  } catch (const std::exception& e) {
    ShowException(std::make_exception_ptr(Exception(e.what())));
  } catch (...) {
    ShowException(std::make_exception_ptr(Exception("Unbekannte Exception")));
  }
}

}  // namespace dashtune
