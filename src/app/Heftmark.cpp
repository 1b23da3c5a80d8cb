// The program entry: refuse a second instance, create the one form hidden,
// run the message loop, and end with exit code 0.
#include <windows.h>

#include <exception>

#include "app.h"
#include "dialogs.h"
#include "handles.h"
#include "main.h"

namespace {

// In the session's namespace, so each signed-in user has their own copy.
constexpr const char kInstanceMutex[] = "Local\\Heftmark.SingleInstance.7f3c1b2e";

// Only the system folder is searched for DLLs: one planted beside the exe
// or in the current folder is never loaded.
void RestrictDllSearch() {
  using SetDirs = BOOL(WINAPI*)(DWORD);
  HMODULE kernel = ::GetModuleHandleA("kernel32.dll");
  auto set = kernel ? reinterpret_cast<SetDirs>(
                          reinterpret_cast<void*>(::GetProcAddress(kernel, "SetDefaultDllDirectories")))
                    : nullptr;
  if (set) set(LOAD_LIBRARY_SEARCH_SYSTEM32);
  ::SetDllDirectoryA("");
  // Some system DLLs delay-load others by bare name in a way that skips the
  // restriction (Wine's themed controls fetch msimg32 when drawing);
  // loaded from the system folder now, the name is found loaded then.
  ::LoadLibraryExA("msimg32.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
}

// Creating the mutex is the test: the system does it atomically, so of two
// starts at the same moment exactly one sees it new.
bool AnotherInstanceRuns(platform::UniqueMutex& mutex) {
  mutex.reset(::CreateMutexA(nullptr, FALSE, kInstanceMutex));
  const DWORD err = ::GetLastError();
  if (mutex) return err == ERROR_ALREADY_EXISTS;
  // Held by another instance under other rights.
  return err == ERROR_ACCESS_DENIED;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  RestrictDllSearch();
  int exitCode = 0;
  {
    platform::PlatformUnits units;
    platform::UniqueMutex instance;
    if (AnotherInstanceRuns(instance)) {
      platform::ErrorDialog("Heftmark is already running");
      return 0;
    }
    try {
      platform::Application->Initialize();
      platform::Application->SetTitle("Heftmark");
      platform::Application->CreateForm(mainForm);
      platform::Application->ShowMainForm = false;
      platform::Application->Run();
    } catch (...) {
      platform::ShowFatalError(std::current_exception());
      exitCode = 1;
    }
  }
  return exitCode;
}
