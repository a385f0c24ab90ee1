#include "classlib/forms.h"

#include "classlib/units.h"

namespace dashtune {

TApplication* Application = nullptr;

TApplication::TApplication() : main_thread_(std::this_thread::get_id()) {
  if (Application) throw EInvalidOperation("Application object already exists");
  Application = this;
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

bool IsMainThread() {
  return Application && Application->GetMainThreadId() == std::this_thread::get_id();
}

}  // namespace dashtune
