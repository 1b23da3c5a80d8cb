// The application object: the hidden application window that owns every
// form and message box (and so bears the program's only taskbar button),
// the message loop, and the top-level error handler.
#pragma once

#include <windows.h>

#include <exception>
#include <memory>
#include <string>
#include <string_view>

#include "classes.h"
#include "window.h"

namespace platform {

class TForm;

class TApplication : public TComponent, public TWndObject {
 public:
  TApplication();
  ~TApplication() override;

  HWND Handle() const { return WindowHandle(); }

  // Runs the initialisation step (COM for this thread).
  void Initialize();

  const std::string& Title() const { return title_; }
  void SetTitle(std::string title);
  HICON Icon() const { return icon_; }

  // Creates a form owned by the application. ref is set before the form's
  // layout is read and its creation handler runs, and back to null when that
  // fails. The first form made becomes the main form.
  template <class T>
  void CreateForm(T*& ref);
  TForm* MainForm() const { return mainForm_; }

  bool ShowMainForm = true;
  bool UpdateFormatSettings = true;
  TNotifyEvent OnMinimize;
  TNotifyEvent OnRestore;

  void Minimize();
  void Restore();

  void Run();
  // Asks the loop to end: posts the quit message.
  void Terminate();
  bool Terminated() const { return terminated_; }
  // Handles every waiting message.
  void ProcessMessages();

  // The top-level handler: shows the error box for error, drops EAbort.
  void HandleException(std::exception_ptr error);
  // The error box itself.
  void ShowException(std::string_view message);

  // Keeps the application window's visibility in step with the forms': it
  // is shown while a form is visible, but only while its actual visibility
  // is still what we last set, so a user's restore that hid it stands.
  void FormVisibilityChanged(bool shown);

  // Destroys the forms; runs once, at the end of the loop or at unit
  // finalisation, whichever comes first.
  void DoneApplication();
  bool Running() const { return running_; }
  bool TeardownArranged() const { return teardownArranged_; }

 protected:
  void WndProc(TMessage& m) override;

 private:
  bool ProcessMessage();
  bool IsDialogKey(MSG& msg);
  void FormCreated(TForm* form);

  std::string title_;
  HICON icon_ = nullptr;
  UniqueIcon ownedIcon_;
  TForm* mainForm_ = nullptr;
  bool terminated_ = false;
  bool running_ = false;
  bool teardownArranged_ = false;
  bool comInitialized_ = false;
  int visibleForms_ = 0;
  bool lastSetVisible_ = false;

  friend class PlatformUnits;
};

extern TApplication* Application;

// The platform's start-up and shut-down, in dependency order: format
// settings, the application object, COM's initialisation step; undone in
// reverse when this object goes out of scope.
class PlatformUnits {
 public:
  PlatformUnits();
  PlatformUnits(const PlatformUnits&) = delete;
  PlatformUnits& operator=(const PlatformUnits&) = delete;
  ~PlatformUnits();
};

// The last-resort handler for an error that escaped start-up: a task-modal
// "Application Error" box with the error's class and message.
void ShowFatalError(std::exception_ptr error);

}  // namespace platform

#include "forms.h"

template <class T>
void platform::TApplication::CreateForm(T*& ref) {
  auto owned = std::make_unique<T>(this);
  T* form = owned.get();
  ref = form;
  try {
    form->Load();
  } catch (...) {
    ref = nullptr;
    throw;
  }
  Adopt(std::move(owned));
  FormCreated(form);
}
