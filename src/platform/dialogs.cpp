#include "dialogs.h"

#include <string>

#include "app.h"

namespace platform {

namespace {
bool IsMessageBox(HWND h) {
  char cls[16] = {};
  ::GetClassNameA(h, cls, sizeof cls);
  return std::string_view(cls) == "#32770";
}
BOOL CALLBACK Collect(HWND h, LPARAM list) {
  if (::IsWindowVisible(h) && ::IsWindowEnabled(h) && !IsMessageBox(h))
    reinterpret_cast<std::vector<HWND>*>(list)->push_back(h);
  return TRUE;
}

}  // namespace

TaskWindowsDisabled::TaskWindowsDisabled() : active_(::GetActiveWindow()) {
  ::EnumThreadWindows(::GetCurrentThreadId(), &Collect, reinterpret_cast<LPARAM>(&disabled_));
  for (HWND h : disabled_) ::EnableWindow(h, FALSE);
}

TaskWindowsDisabled::~TaskWindowsDisabled() {
  for (HWND h : disabled_)
    if (::IsWindow(h)) ::EnableWindow(h, TRUE);
  if (active_ && ::IsWindow(active_)) ::SetActiveWindow(active_);
}

void ErrorDialog(std::string_view message) {
  const std::string text(message);
  HWND owner = Application ? Application->Handle() : nullptr;
  TaskWindowsDisabled disabled;
  if (Application) Application->FormVisibilityChanged(true);
  ::MessageBoxA(owner, text.c_str(), "Error", MB_OK | MB_ICONERROR);
  if (Application) Application->FormVisibilityChanged(false);
}

}  // namespace platform
