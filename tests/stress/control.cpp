// The control for the planted-DLL test: a program without any DLL search
// restriction that draws a themed button, as Heftmark's About window does,
// so that user32 loads the theme DLL and the theme DLL what it draws with.
#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  HWND w = ::CreateWindowExA(0, "#32770", "control", WS_POPUP | WS_VISIBLE, 0, 0, 120, 60, nullptr,
                             nullptr, nullptr, nullptr);
  if (!w) return 1;
  HWND b = ::CreateWindowExA(0, "BUTTON", "OK", WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON, 10, 10, 80,
                             24, w, nullptr, nullptr, nullptr);
  // Painted now, not when a loop would get to it.
  ::UpdateWindow(w);
  ::UpdateWindow(b);
  ::DestroyWindow(w);
  return 0;
}
