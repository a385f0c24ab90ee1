// The application object: one per program, created by the main thread, which it records as the
// main thread. It runs the unit initialisations when it starts and their finalisations when it
// is destroyed, and it shows the exceptions that nobody handled.
#pragma once

#include <exception>
#include <functional>
#include <string>

#include "classlib/classes.h"

namespace dashtune {

using TExceptionEvent = std::function<void(TObject* Sender, const Exception& E)>;

class TApplication : public TComponent {
 public:
  // Becomes the global Application and makes the calling thread the main thread; a second
  // application object raises EInvalidOperation.
  TApplication();
  // Runs the unit finalisations (when Initialize ran) and clears the global Application.
  ~TApplication() override;

  // Runs the initialisations of the registered units, in order.
  void Initialize();

  // The caption of the exception display; by default the program's file name without extension.
  const std::string& GetTitle() const { return title_; }
  void SetTitle(const std::string& value) { title_ = value; }

  // Handles the exception being handled (call it inside a catch block): OnException when
  // assigned, otherwise ShowException.
  void HandleException(TObject* Sender);
  // Shows an exception's message in the exception display (a message box with a stop icon and
  // the title as caption); a message that does not end in a punctuation mark below "." gets a
  // full stop.
  void ShowException(const Exception& E);

  TExceptionEvent OnException;

 private:
  std::string title_;
  bool initialized_ = false;
};

// The application object, or nil before it is created and after it is destroyed.
extern TApplication* Application;

// Shows an exception through the application's exception display (without an application,
// through the same message box with no caption). Non-class-library exceptions show their text.
void ShowException(const std::exception_ptr& exception);

}  // namespace dashtune
