// The application object: its title, the hidden application window that owns the forms, the
// forms it creates, the message loop and the way failures are reported.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "base/failure.h"
#include "ui/win32/form.h"

class TApplication {
 public:
  TApplication() = default;
  TApplication(const TApplication&) = delete;
  TApplication& operator=(const TApplication&) = delete;
  ~TApplication();

  // Forms the title and creates the application window.
  void Initialize();

  // Formed once from the executable's file name ("SETUP.exe" gives "Setup").
  const std::string& Title();
  HWND Handle() const;

  // Creates a form owned by the application; the first one becomes the main form.
  template <class F>
  F* CreateForm(F*& reference) {
    auto form = std::make_unique<F>();
    reference = form.get();
    AddForm(std::move(form));
    reference->AfterConstruction();
    return reference;
  }
  TForm* MainForm() const { return mainForm_; }

  // Shows the main form (its OnShow runs before it is displayed), then handles messages until
  // the application is terminated; a failure that escapes the loop is reported and it goes on.
  void Run();
  // Handles every waiting message without waiting for new ones.
  void ProcessMessages();
  // Waits for one message and handles it.
  void HandleMessage();
  // Asks the loop to end once the waiting messages are handled.
  void Terminate();
  bool Terminated() const { return terminated_; }
  bool TerminateRequested() const { return terminateRequested_ || terminated_; }

  // Minimising the main form minimises the application window, which hides every form it owns
  // until the taskbar entry is restored.
  void Minimize();

  // Where a failure that escapes a handler, a creation or show handler or the loop goes. The
  // program installs its error report here; without one such a failure is only abandoned.
  TFailureSink OnException;
  void HandleException(const Exception& failure);
  // The same for the exception being handled (call from a catch block): std::bad_alloc goes on
  // as EOutOfMemory, anything else foreign as EUnexpected. Never throws.
  void HandleCurrentException() noexcept;

  // The help file that help requests open; empty (the default) when none ships, and a help
  // request then only gives the default beep. Every help button of the program asks here.
  std::string HelpFile;
  // Shows the help topic of that context; false when there is no help file or it cannot be shown.
  bool HelpContext(int context);
  int LastHelpContext() const { return lastHelpContext_; }

 private:
  friend class TForm;
  void AddForm(std::unique_ptr<TForm> form);
  // The application window is shown, zero-sized, with the main form: it is the taskbar entry.
  void MainFormShown();
  // One message through key handling and dispatch; false when none was waiting (or WM_QUIT).
  bool ProcessMessage(bool wait);

  std::string title_;
  bool titleFormed_ = false;
  std::unique_ptr<TWindow> window_;
  std::vector<std::unique_ptr<TForm>> forms_;
  TForm* mainForm_ = nullptr;
  bool terminated_ = false;
  bool terminateRequested_ = false;
  int lastHelpContext_ = 0;
};

extern TApplication* Application;

// Disables the program's visible, enabled top-level windows (all but one) for its lifetime and
// enables them again afterwards, giving the active window and the focus back.
class TTaskWindowsDisabled {
 public:
  explicit TTaskWindowsDisabled(HWND except);
  TTaskWindowsDisabled(const TTaskWindowsDisabled&) = delete;
  TTaskWindowsDisabled& operator=(const TTaskWindowsDisabled&) = delete;
  ~TTaskWindowsDisabled();
  // Enables the windows again now (before the modal window hides, so activation can return).
  void Restore();

 private:
  std::vector<HWND> disabled_;
  HWND active_;
  HWND focus_;
  bool restored_ = false;
};
