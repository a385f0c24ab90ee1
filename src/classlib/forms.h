// The application object: one per program, created by the main thread, which it records as the
// main thread. It runs the unit initialisations when it starts and their finalisations when it
// is destroyed, runs the main thread's message loop, and shows the exceptions that nobody
// handled. While it exists, the main thread runs the Synchronize and Queue calls of other
// threads whenever it retrieves messages.
#pragma once

#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "classlib/classes.h"

namespace win::present {
class X11Presenter;
}

namespace dashtune {

using TExceptionEvent = std::function<void(TObject* Sender, const Exception& E)>;
// Done starts true; a handler that wants to be called again before the next message sets it
// false.
using TIdleEvent = std::function<void(TObject* Sender, bool& Done)>;

class TApplication : public TComponent {
 public:
  // Becomes the global Application and makes the calling thread the main thread; a second
  // application object raises EInvalidOperation.
  TApplication();
  // Runs the unit finalisations (when Initialize ran) and clears the global Application.
  ~TApplication() override;

  // Runs the initialisations of the registered units, in order.
  void Initialize();

  // Handles every waiting message of the calling thread, then returns. A quit message sets
  // Terminated.
  void ProcessMessages();
  // Handles one message; when none is waiting, goes idle: OnIdle, the waiting synchronisation
  // calls, and then (unless either asked to be called again) waits for the next message.
  void HandleMessage();
  // Handles messages until Terminated; exceptions escaping a message go to HandleException.
  // Shows the windows on the display first (ShowOnDisplay).
  void Run();
  // From the first call until the application is destroyed, the visible top-level windows show
  // on $DISPLAY: one display connection for the program's whole run. Answers the presenter, nil
  // without $DISPLAY; a display that is set but cannot be used raises EInvalidOperation with
  // the reason.
  win::present::X11Presenter* ShowOnDisplay();
  // Ends Run: posts a quit message.
  void Terminate();
  bool GetTerminated() const { return terminated_; }

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

  // Whether the program holds the activation. Top-level controls pass on the WM_ACTIVATEAPP they
  // hear, which the platform sends each of them when activation leaves or returns to the program.
  bool GetActive() const { return active_; }
  void ActivateApp(bool Active);
  // A call made when the program loses the activation, one per owner (a second replaces the
  // first); an exception it raises goes to HandleException.
  void HookDeactivation(const void* Owner, std::function<void()> Hook);
  void UnhookDeactivation(const void* Owner);

  TExceptionEvent OnException;
  TIdleEvent OnIdle;

 private:
  bool ProcessMessage();
  void Idle();

  std::string title_;
  bool initialized_ = false;
  bool terminated_ = false;
  bool active_ = true;
  std::vector<std::pair<const void*, std::function<void()>>> deactivation_hooks_;
  std::unique_ptr<win::present::X11Presenter> presenter_;
  bool display_checked_ = false;
};

// The application object, or nil before it is created and after it is destroyed.
extern TApplication* Application;

// Shows an exception through the application's exception display (without an application,
// through the same message box with no caption). Non-class-library exceptions show their text.
void ShowException(const std::exception_ptr& exception);

}  // namespace dashtune
