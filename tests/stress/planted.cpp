// A DLL that must never be loaded: placed beside an exe under the name of
// a system DLL, it notes which program loaded it and refuses to load.
#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID) {
  if (reason != DLL_PROCESS_ATTACH) return TRUE;
  char marker[MAX_PATH + 8];
  const DWORD n = ::GetModuleFileNameA(self, marker, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return FALSE;
  ::lstrcpyA(marker + n, ".loaded");
  HANDLE f = ::CreateFileA(marker, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_ALWAYS, 0, nullptr);
  if (f != INVALID_HANDLE_VALUE) {
    char exe[MAX_PATH + 2];
    DWORD len = ::GetModuleFileNameA(nullptr, exe, MAX_PATH);
    exe[len++] = '\n';
    DWORD written = 0;
    ::WriteFile(f, exe, len, &written, nullptr);
    ::CloseHandle(f);
  }
  return FALSE;
}
