#include "app.h"

#include <objbase.h>

#include <cstring>
#include <string>

#include "dialogs.h"
#include "errors.h"
#include "forms.h"
#include "sysutils.h"
#include "launch.h"
#include "text.h"

namespace platform {

TApplication* Application = nullptr;

namespace {

constexpr const char* kAppClass = "TApplication";
constexpr const char* kIconName = "MAINICON";

// The executable's name without folder and extension: the default title.
std::string ModuleTitle() {
  std::string path;
  try {
    path = ExecutablePath();
  } catch (const Exception&) {
    return "Application";
  }
  std::string name = heft::SiblingPath(path, "", IsAnsiLeadByte);
  name = path.substr(name.size());
  if (auto dot = name.rfind('.'); dot != std::string::npos) name.resize(dot);
  return name;
}

BOOL CALLBACK HideOwned(HWND h, LPARAM owner) {
  if (::GetWindow(h, GW_OWNER) == reinterpret_cast<HWND>(owner) && ::IsWindowVisible(h))
    ::ShowWindow(h, SW_HIDE);
  return TRUE;
}

}  // namespace

TApplication::TApplication() : TComponent(nullptr), title_(ModuleTitle()) {
  HINSTANCE inst = ::GetModuleHandleA(nullptr);
  ownedIcon_.reset(static_cast<HICON>(::LoadImageA(inst, kIconName, IMAGE_ICON, 0, 0, LR_DEFAULTSIZE)));
  icon_ = ownedIcon_ ? ownedIcon_.get() : ::LoadIconA(nullptr, reinterpret_cast<LPCSTR>(IDI_APPLICATION));
  RegisterWindowClass(kAppClass, 0, nullptr, icon_);
  // A zero-sized window at the screen's centre: when visible it is only a
  // taskbar button.
  const int cx = ::GetSystemMetrics(SM_CXSCREEN) / 2, cy = ::GetSystemMetrics(SM_CYSCREEN) / 2;
  CreateWindowHandle(kAppClass, title_.c_str(),
                     WS_POPUP | WS_CAPTION | WS_CLIPSIBLINGS | WS_SYSMENU | WS_MINIMIZEBOX, 0,
                     cx, cy, 0, 0, nullptr);
  ::SendMessageA(Handle(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon_));
}

TApplication::~TApplication() {
  DoneApplication();
  DestroyWindowHandle();
}

void TApplication::Initialize() {
  // A single-threaded apartment for the GUI thread, so shell launches that
  // use COM work.
  comInitialized_ = SUCCEEDED(::CoInitialize(nullptr));
}

void TApplication::SetTitle(std::string title) {
  title_ = std::move(title);
  ::SetWindowTextA(Handle(), title_.c_str());
}

void TApplication::FormCreated(TForm* form) {
  if (!mainForm_) {
    form->Handle();
    mainForm_ = form;
  }
}

void TApplication::Minimize() {
  if (::IsIconic(Handle())) return;
  ::ShowWindow(Handle(), SW_MINIMIZE);
  if (OnMinimize) OnMinimize(this);
}

void TApplication::Restore() {
  if (!::IsIconic(Handle())) return;
  ::ShowWindow(Handle(), SW_RESTORE);
  const int cx = ::GetSystemMetrics(SM_CXSCREEN) / 2, cy = ::GetSystemMetrics(SM_CYSCREEN) / 2;
  ::SetWindowPos(Handle(), nullptr, cx, cy, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  ::ShowWindow(Handle(), SW_SHOW);
  if (OnRestore) OnRestore(this);
}

void TApplication::FormVisibilityChanged(bool shown) {
  visibleForms_ += shown ? 1 : -1;
  if (visibleForms_ < 0) visibleForms_ = 0;
  const bool want = visibleForms_ > 0;
  const bool actual = ::IsWindowVisible(Handle()) != FALSE;
  if (actual != lastSetVisible_ || want == lastSetVisible_) return;
  ::ShowWindow(Handle(), want ? SW_SHOWNA : SW_HIDE);
  lastSetVisible_ = want;
}

void TApplication::Run() {
  running_ = true;
  teardownArranged_ = true;
  // ShowMainForm is false in this program; a true value would show it here.
  if (ShowMainForm && mainForm_) mainForm_->Show();
  while (!terminated_) {
    if (!ProcessMessage() && !terminated_) ::WaitMessage();
  }
  running_ = false;
}

bool TApplication::ProcessMessage() {
  MSG msg;
  if (!::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) return false;
  if (msg.message == WM_QUIT) {
    terminated_ = true;
    return true;
  }
  if (!IsDialogKey(msg)) {
    ::TranslateMessage(&msg);
    ::DispatchMessageA(&msg);
  }
  return true;
}

bool TApplication::IsDialogKey(MSG& msg) {
  if (msg.message < WM_KEYFIRST || msg.message > WM_KEYLAST || !msg.hwnd) return false;
  HWND top = ::GetAncestor(msg.hwnd, GA_ROOT);
  for (TComponent* c : Components())
    if (auto* f = dynamic_cast<TForm*>(c); f && f->Visible() && f->WindowHandle() == top)
      return ::IsDialogMessageA(top, &msg) != FALSE;
  return false;
}

void TApplication::ProcessMessages() {
  while (ProcessMessage()) {
  }
}

void TApplication::Terminate() { ::PostQuitMessage(0); }

void TApplication::HandleException(std::exception_ptr error) {
  try {
    std::rethrow_exception(error);
  } catch (const EAbort&) {
  } catch (const std::exception& e) {
    ShowException(e.what());
  } catch (...) {
    ShowException("Unexpected error");
  }
}

void TApplication::ShowException(std::string_view message) {
  const std::string text = heft::WithClosingFullStop(message, IsAnsiLeadByte);
  TaskWindowsDisabled disabled;
  ::MessageBoxA(Handle(), text.c_str(), title_.c_str(), MB_OK | MB_ICONSTOP);
}

void TApplication::DoneApplication() {
  if (!Handle()) return;
  // Hide what the application window owns, then destroy the forms, each
  // running its destruction handler while its window still exists.
  ::EnumThreadWindows(::GetCurrentThreadId(), &HideOwned, reinterpret_cast<LPARAM>(Handle()));
  for (TComponent* c : Components())
    if (auto* f = dynamic_cast<TForm*>(c)) f->BeforeDestruction();
  DestroyComponents();
  mainForm_ = nullptr;
}

void TApplication::WndProc(TMessage& m) {
  switch (m.Msg) {
    case WM_ENDSESSION:
      if (m.WParam) {
        terminated_ = true;
        // A menu, message box or dialog open at this moment runs a loop of
        // its own; the quit message ends those too, so the teardown that
        // removes the tray icon runs before the session ends. A menu's loop
        // does not always heed it, so the menu is ended as well.
        ::EndMenu();
        ::PostQuitMessage(0);
      }
      return;
    case WM_QUERYENDSESSION:
      m.Result = TRUE;
      return;
    case WM_SETTINGCHANGE:
      if (UpdateFormatSettings) {
        ::SetThreadLocale(LOCALE_USER_DEFAULT);
        GetFormatSettings();
      }
      DefaultHandler(m);
      return;
    case WM_SYSCOMMAND:
      switch (m.WParam & 0xFFF0) {
        case SC_MINIMIZE:
          Minimize();
          return;
        case SC_RESTORE:
          Restore();
          return;
      }
      DefaultHandler(m);
      return;
    case WM_CLOSE:
      if (mainForm_) mainForm_->Close();
      return;
    default:
      DefaultHandler(m);
  }
}

// ---- units ----

PlatformUnits::PlatformUnits() {
  GetFormatSettings();
  Application = new TApplication;
}

PlatformUnits::~PlatformUnits() {
  if (Application->comInitialized_) ::CoUninitialize();
  Application->DoneApplication();
  delete Application;
  Application = nullptr;
}

void ShowFatalError(std::exception_ptr error) {
  std::string text;
  try {
    std::rethrow_exception(error);
  } catch (const Exception& e) {
    text = std::string(e.ClassName()) + ": " + e.Message();
  } catch (const std::exception& e) {
    text = std::string("std::exception: ") + e.what();
  } catch (...) {
    text = "Unknown error";
  }
  text = heft::WithClosingFullStop(text, IsAnsiLeadByte);
  ::MessageBoxA(nullptr, text.c_str(), "Application Error", MB_OK | MB_ICONSTOP | MB_TASKMODAL);
}

}  // namespace platform
