#include "window.h"

#include <exception>

#include "app.h"
#include "errors.h"

namespace platform {

TWndObject::~TWndObject() { DestroyWindowHandle(); }

void TWndObject::DestroyWindowHandle() { owned_.reset(); }

void TWndObject::WndProc(TMessage& m) { DefaultHandler(m); }

void TWndObject::DefaultHandler(TMessage& m) {
  m.Result = ::DefWindowProcA(hwnd_, m.Msg, m.WParam, m.LParam);
}

void TWndObject::RegisterWindowClass(const char* cls, UINT style, HBRUSH background, HICON icon) {
  HINSTANCE inst = ::GetModuleHandleA(nullptr);
  WNDCLASSEXA existing{};
  existing.cbSize = sizeof existing;
  if (::GetClassInfoExA(inst, cls, &existing)) return;
  WNDCLASSEXA wc{};
  wc.cbSize = sizeof wc;
  wc.style = style;
  wc.lpfnWndProc = &TWndObject::Thunk;
  wc.hInstance = inst;
  wc.hIcon = icon;
  wc.hCursor = ::LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
  wc.hbrBackground = background;
  wc.lpszClassName = cls;
  if (!::RegisterClassExA(&wc)) throw EOutOfResources("Cannot register window class");
}

void TWndObject::CreateWindowHandle(const char* cls, const char* title, DWORD style,
                                    DWORD exStyle, int x, int y, int w, int h, HWND parent,
                                    HMENU id) {
  HWND made = ::CreateWindowExA(exStyle, cls, title, style, x, y, w, h, parent, id,
                                ::GetModuleHandleA(nullptr), this);
  if (!made) throw EOutOfResources("Cannot create window");
  owned_.reset(made);
}

HWND CreateSystemControl(const char* cls, const char* text, DWORD style, int x, int y, int w,
                         int h, HWND parent, int id) {
  HWND made = ::CreateWindowExA(0, cls, text, style, x, y, w, h, parent,
                                reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                ::GetModuleHandleA(nullptr), nullptr);
  if (!made) throw EOutOfResources("Cannot create window");
  return made;
}

LRESULT CALLBACK TWndObject::Thunk(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
  auto* self = reinterpret_cast<TWndObject*>(::GetWindowLongPtrA(h, GWLP_USERDATA));
  if (msg == WM_NCCREATE) {
    self = static_cast<TWndObject*>(reinterpret_cast<CREATESTRUCTA*>(lp)->lpCreateParams);
    ::SetWindowLongPtrA(h, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    self->hwnd_ = h;
  }
  if (!self) return ::DefWindowProcA(h, msg, wp, lp);

  TMessage m{msg, wp, lp, 0};
  try {
    self->WndProc(m);
  } catch (...) {
    m.Result = 0;
    if (Application) Application->HandleException(std::current_exception());
  }
  if (msg == WM_NCDESTROY) {
    ::SetWindowLongPtrA(h, GWLP_USERDATA, 0);
    self->hwnd_ = nullptr;
    // The system has already destroyed it; don't destroy it again.
    (void)self->owned_.release();
  }
  return m.Result;
}

}  // namespace platform
