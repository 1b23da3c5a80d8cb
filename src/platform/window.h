// The one window procedure. Every window of ours is an object derived from
// TWndObject: the object is attached at WM_NCCREATE and detached at
// WM_NCDESTROY, and any error a handler raises is caught here and handed to
// the application's top-level handler, because no C++ exception may unwind
// through the system's frames.
#pragma once

#include <windows.h>

#include "handles.h"

namespace platform {

struct TMessage {
  UINT Msg;
  WPARAM WParam;
  LPARAM LParam;
  LRESULT Result;
};

class TWndObject {
 public:
  TWndObject() = default;
  TWndObject(const TWndObject&) = delete;
  TWndObject& operator=(const TWndObject&) = delete;
  virtual ~TWndObject();

  // The window, or null while it does not exist.
  HWND WindowHandle() const { return hwnd_; }

 protected:
  // Handles one message; the default passes it to DefWindowProc.
  virtual void WndProc(TMessage& m);
  void DefaultHandler(TMessage& m);

  // Registers cls (once per process) with our procedure.
  static void RegisterWindowClass(const char* cls, UINT style, HBRUSH background, HICON icon);
  // Creates the window for this object; raises EOutOfResources on failure.
  void CreateWindowHandle(const char* cls, const char* title, DWORD style, DWORD exStyle,
                          int x, int y, int w, int h, HWND parent, HMENU id = nullptr);
  void DestroyWindowHandle();


 private:
  static LRESULT CALLBACK Thunk(HWND h, UINT msg, WPARAM wp, LPARAM lp);
  HWND hwnd_ = nullptr;
  UniqueWindow owned_;
};

// Controls of the system's own classes (BUTTON, STATIC) are created
// without our procedure; their owner handles their notifications.
HWND CreateSystemControl(const char* cls, const char* text, DWORD style, int x, int y, int w,
                         int h, HWND parent, int id);

}  // namespace platform
