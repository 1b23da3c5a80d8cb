// What the benchmark programs share: a fine clock, order statistics, a
// message pump that waits without sleeping, the clipboard helpers, and a
// small Markdown table writer. Header-only, so each bench exe stays one
// translation unit plus this.
#pragma once

#include <windows.h>

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace bench {

// ---- time ----

inline double Seconds() {
  static const double perSecond = [] {
    LARGE_INTEGER f;
    ::QueryPerformanceFrequency(&f);
    return static_cast<double>(f.QuadPart);
  }();
  LARGE_INTEGER t;
  ::QueryPerformanceCounter(&t);
  return static_cast<double>(t.QuadPart) / perSecond;
}

// ---- order statistics ----

inline double Median(std::vector<double> v) {
  if (v.empty()) return NAN;
  std::sort(v.begin(), v.end());
  const std::size_t n = v.size();
  return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// Nearest rank: the smallest value that at least p of the samples do not
// exceed.
inline double Percentile(std::vector<double> v, double p) {
  if (v.empty()) return NAN;
  std::sort(v.begin(), v.end());
  std::size_t rank = static_cast<std::size_t>(std::ceil(p * static_cast<double>(v.size())));
  rank = std::clamp<std::size_t>(rank, 1, v.size());
  return v[rank - 1];
}

// ---- waiting ----

// Handles every message of this thread until done() holds or the time runs
// out. Programs under test reach us through SendMessage with no timeout, so
// whoever waits must keep pumping.
inline bool PumpUntil(const std::function<bool()>& done, double timeoutSeconds) {
  const double end = Seconds() + timeoutSeconds;
  for (;;) {
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      ::TranslateMessage(&msg);
      ::DispatchMessageW(&msg);
    }
    if (done()) return true;
    const double left = end - Seconds();
    if (left <= 0) return false;
    // Woken by any message, sent ones included; the cap bounds how late a
    // condition that no message announces is seen.
    const DWORD ms = static_cast<DWORD>(std::min(left * 1000.0 + 1, 20.0));
    ::MsgWaitForMultipleObjectsEx(0, nullptr, ms, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
  }
}

inline void PumpFor(double seconds) {
  PumpUntil([] { return false; }, seconds);
}

// ---- the clipboard ----

// Wine's own clipboard manager may hold the clipboard for a moment.
inline bool OpenClipboardRetry(HWND owner) {
  const double end = Seconds() + 0.5;
  while (!::OpenClipboard(owner)) {
    if (Seconds() > end) return false;
    ::Sleep(2);
  }
  return true;
}

struct Block {
  UINT format;
  SIZE_T size;
};

// Replaces the clipboard's contents by these blocks, owned by owner.
inline bool PutBlocks(HWND owner, const std::vector<Block>& blocks) {
  if (!OpenClipboardRetry(owner)) return false;
  bool ok = ::EmptyClipboard() != FALSE;
  for (const Block& b : blocks) {
    if (!ok) break;
    HGLOBAL g = ::GlobalAlloc(GMEM_MOVEABLE, b.size);
    if (!g) {
      ok = false;
      break;
    }
    auto* p = static_cast<char*>(::GlobalLock(g));
    std::memset(p, 'x', b.size);
    if (b.size) p[b.size - 1] = '\0';  // text formats end in a zero
    ::GlobalUnlock(g);
    if (!::SetClipboardData(b.format, g)) {
      ::GlobalFree(g);
      ok = false;
    }
  }
  ::CloseClipboard();
  return ok;
}

// Wine's clipboard manager starts with the first Wine process of a session
// and takes the clipboard over, emptying it; what we put there before that
// is lost. Waits for its window, for at most a few seconds.
inline void WaitForClipboardManager() {
  const bool seen = PumpUntil(
      [] { return ::FindWindowExW(HWND_MESSAGE, nullptr, L"__wine_clipboard_manager", nullptr) != nullptr; }, 5);
  if (seen) PumpFor(0.3);
}

// PutBlocks, then checks a moment later that the blocks are still there.
inline bool FillClipboard(HWND owner, const std::vector<Block>& blocks) {
  WaitForClipboardManager();
  for (int attempt = 0; attempt < 20; ++attempt) {
    if (PutBlocks(owner, blocks)) {
      PumpFor(0.3);
      bool all = true;
      for (const Block& b : blocks) all &= ::IsClipboardFormatAvailable(b.format) != FALSE;
      if (all) return true;
    }
    PumpFor(0.2);
  }
  return false;
}

inline bool EmptyTheClipboard(HWND owner) {
  if (!OpenClipboardRetry(owner)) return false;
  const bool ok = ::EmptyClipboard() != FALSE;
  ::CloseClipboard();
  return ok;
}

// The total of every listed format's block, and how many formats there are.
inline unsigned long long ClipboardTotal(HWND owner, int* formats = nullptr) {
  if (!OpenClipboardRetry(owner)) return 0;
  unsigned long long total = 0;
  int n = 0;
  for (UINT f = ::EnumClipboardFormats(0); f; f = ::EnumClipboardFormats(f), ++n)
    if (HANDLE h = ::GetClipboardData(f)) total += ::GlobalSize(h);
  ::CloseClipboard();
  if (formats) *formats = n;
  return total;
}

// The tip a correct program shows for total under this thread's locale.
inline std::string ExpectedTip(unsigned long long total) {
  if (total == 0) return "Clipboard is empty";
  char sep[8] = {};
  if (::GetLocaleInfoA(::GetThreadLocale(), LOCALE_STHOUSAND, sep, 2) <= 0) std::strcpy(sep, ",");
  const std::string digits = std::to_string(total);
  std::string grouped;
  for (std::size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) grouped += sep;
    grouped += digits[i];
  }
  return "Clipboard is " + grouped + " bytes";
}

// ---- paths ----

// A Unix path as Wine's Z: drive sees it; Windows paths pass unchanged.
inline std::string WinPath(std::string path) {
  if (!path.empty() && path[0] == '/') {
    path.insert(0, "Z:");
    std::replace(path.begin(), path.end(), '/', '\\');
  }
  return path;
}

// ---- output ----

inline std::string Fmt(const char* format, ...) {
  char buf[512];
  va_list args;
  va_start(args, format);
  std::vsnprintf(buf, sizeof buf, format, args);
  va_end(args);
  return buf;
}

// Progress goes to stderr; the report (Markdown) to stdout.
inline void Note(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::vfprintf(stderr, format, args);
  va_end(args);
  std::fputc('\n', stderr);
  std::fflush(stderr);
}

class Table {
 public:
  explicit Table(std::vector<std::string> header) : header_(std::move(header)) {}
  void Row(std::vector<std::string> cells) { rows_.push_back(std::move(cells)); }
  void Print() const {
    Line(header_);
    std::string rule = "|";
    for (std::size_t i = 0; i < header_.size(); ++i) rule += i == 0 ? "---|" : "--:|";
    std::printf("%s\n", rule.c_str());
    for (const auto& r : rows_) Line(r);
    std::printf("\n");
    std::fflush(stdout);
  }

 private:
  static void Line(const std::vector<std::string>& cells) {
    std::string s = "|";
    for (const auto& c : cells) s += " " + c + " |";
    std::printf("%s\n", s.c_str());
  }
  std::vector<std::string> header_;
  std::vector<std::vector<std::string>> rows_;
};

// One line per goal, on stderr, gathered by bench/run into the summary:
//   GOAL|<what>|<measured>|<goal>|met or MISSED
inline void Goal(const std::string& what, const std::string& measured, const std::string& goal,
                 bool met) {
  std::fprintf(stderr, "GOAL|%s|%s|%s|%s\n", what.c_str(), measured.c_str(), goal.c_str(),
               met ? "met" : "MISSED");
  std::fflush(stderr);
}

inline void RatioGoal(const std::string& what, double ratio, double limit) {
  Goal(what, Fmt("%.3f", ratio), Fmt("<= %.2f", limit), ratio <= limit);
}

}  // namespace bench
