// Move-only owners for Win32 handles, a scope guard, and the clipboard-open
// guard. One template; each handle kind is a one-line alias.
#pragma once

#include <windows.h>

#include <utility>

namespace platform {

template <class H, auto Close, H Invalid = H{}>
class UniqueHandle {
 public:
  UniqueHandle() = default;
  explicit UniqueHandle(H h) : h_(h) {}
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;
  UniqueHandle(UniqueHandle&& o) noexcept : h_(o.release()) {}
  UniqueHandle& operator=(UniqueHandle&& o) noexcept {
    if (this != &o) reset(o.release());
    return *this;
  }
  ~UniqueHandle() { reset(); }

  H get() const { return h_; }
  explicit operator bool() const { return h_ != Invalid; }
  H release() { return std::exchange(h_, Invalid); }
  void reset(H h = Invalid) {
    H old = std::exchange(h_, h);
    if (old != Invalid) Close(old);
  }

 private:
  H h_ = Invalid;
};

namespace detail {
inline void CloseWindow(HWND h) { ::DestroyWindow(h); }
inline void CloseIcon(HICON h) { ::DestroyIcon(h); }
inline void CloseMenu(HMENU h) { ::DestroyMenu(h); }
inline void CloseGlobal(HGLOBAL h) { ::GlobalFree(h); }
inline void CloseKernel(HANDLE h) { ::CloseHandle(h); }
inline void CloseModule(HMODULE h) { ::FreeLibrary(h); }
inline void CloseFont(HFONT h) { ::DeleteObject(h); }
inline void CloseBrush(HBRUSH h) { ::DeleteObject(h); }
}  // namespace detail

using UniqueWindow = UniqueHandle<HWND, detail::CloseWindow>;
using UniqueIcon = UniqueHandle<HICON, detail::CloseIcon>;
using UniqueMenu = UniqueHandle<HMENU, detail::CloseMenu>;
using UniqueGlobal = UniqueHandle<HGLOBAL, detail::CloseGlobal>;
using UniqueMutex = UniqueHandle<HANDLE, detail::CloseKernel>;
using UniqueModule = UniqueHandle<HMODULE, detail::CloseModule>;
using UniqueFont = UniqueHandle<HFONT, detail::CloseFont>;
using UniqueBrush = UniqueHandle<HBRUSH, detail::CloseBrush>;

// Runs a function when the scope ends, however it ends.
template <class F>
class ScopeGuard {
 public:
  explicit ScopeGuard(F f) : f_(std::move(f)) {}
  ScopeGuard(const ScopeGuard&) = delete;
  ScopeGuard& operator=(const ScopeGuard&) = delete;
  ~ScopeGuard() {
    if (armed_) f_();
  }
  void dismiss() { armed_ = false; }

 private:
  F f_;
  bool armed_ = true;
};

}  // namespace platform
