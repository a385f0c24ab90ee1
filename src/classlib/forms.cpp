#include "classlib/forms.h"

#include <unistd.h>

#include <cstdio>

#include "classlib/threads.h"
#include "classlib/units.h"

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
  // Replaced by the platform's message box once the message layer is available.
  std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
}

}  // namespace

TApplication* Application = nullptr;

TApplication::TApplication() : TComponent(nullptr), title_(ProgramName()) {
  if (Application) throw EInvalidOperation("Application object already exists");
  Application = this;
  SetMainThreadID(std::this_thread::get_id());
}

TApplication::~TApplication() {
  if (initialized_) {
    try {
      FinalizeUnits();
    } catch (...) {
      // A unit that fails to end cannot stop the program from ending.
    }
  }
  Application = nullptr;
}

void TApplication::Initialize() {
  initialized_ = true;
  InitializeUnits();
}

void TApplication::HandleException(TObject* Sender) {
  std::exception_ptr current = std::current_exception();
  if (!current) return;
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
