// The least a tray program can do to show the clipboard's size in its tip:
// one hidden window, one icon, and for every mouse message over the icon one
// pass over the clipboard and one NIM_MODIFY with the same record and tip
// text as Heftmark's. The benchmark's yardstick; raw Win32, no C++ runtime.
//
// Built once more with BENCH_STEPS, it takes flags that add, one by one,
// the start-up work Heftmark does beyond this, so that the benchmark can
// tell what each step costs. The yardstick itself never has them.
#include <windows.h>
#include <shellapi.h>

namespace {

constexpr UINT kTrayMessage = WM_USER + 100;
constexpr UINT kIconId = 1;
constexpr DWORD kRecordSize = NOTIFYICONDATAA_V1_SIZE;
constexpr int kTipField = 64;

HICON g_icon;
char g_sep[4] = ",";

void Record(NOTIFYICONDATAA& r, HWND w) {
  r.cbSize = kRecordSize;
  r.hWnd = w;
  r.uID = kIconId;
}

void Full(NOTIFYICONDATAA& r, HWND w) {
  Record(r, w);
  r.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
  r.uCallbackMessage = kTrayMessage;
  r.hIcon = g_icon;
  lstrcpynA(r.szTip, "Heftmark", kTipField);
}

// "Clipboard is empty", or "Clipboard is 8,196 bytes" grouped in threes.
void TipText(char* out, unsigned long long total) {
  if (total == 0) {
    lstrcpynA(out, "Clipboard is empty", kTipField);
    return;
  }
  char digits[24];
  int n = 0;
  for (; total; total /= 10) digits[n++] = static_cast<char>('0' + total % 10);
  char* p = out;
  for (const char* s = "Clipboard is "; *s;) *p++ = *s++;
  for (int i = n - 1; i >= 0; --i) {
    *p++ = digits[i];
    if (i > 0 && i % 3 == 0)
      for (const char* s = g_sep; *s;) *p++ = *s++;
  }
  for (const char* s = " bytes"; *s;) *p++ = *s++;
  *p = '\0';
}

void Refresh(HWND w) {
  if (!OpenClipboard(w)) return;
  unsigned long long total = 0;
  for (UINT f = EnumClipboardFormats(0); f; f = EnumClipboardFormats(f))
    if (HANDLE h = GetClipboardData(f)) total += GlobalSize(h);
  CloseClipboard();
  NOTIFYICONDATAA r{};
  Record(r, w);
  r.uFlags = NIF_TIP;
  TipText(r.szTip, total);
  Shell_NotifyIconA(NIM_MODIFY, &r);
}

LRESULT CALLBACK Proc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
  switch (m) {
    case kTrayMessage:
      Refresh(w);
      return 0;
    case WM_ENDSESSION:
      if (wp) PostQuitMessage(0);
      return 0;
  }
  return DefWindowProcA(w, m, wp, lp);
}

#ifdef BENCH_STEPS
bool Flag(const char* cmd, const char* flag) {
  const int n = lstrlenA(flag);
  for (const char* p = cmd; *p; ++p)
    if (CompareStringA(LOCALE_INVARIANT, 0, p, n, flag, n) == CSTR_EQUAL && (p[n] == ' ' || !p[n]))
      return true;
  return false;
}

// COM for the GUI thread, as Heftmark's application object starts it.
void StartCom() {
  using Init = HRESULT(WINAPI*)(void*);
  if (HMODULE ole = LoadLibraryA("ole32.dll"))
    if (auto init = reinterpret_cast<Init>(reinterpret_cast<void*>(GetProcAddress(ole, "CoInitialize"))))
      init(nullptr);
}

// A captioned application window, shown minimised and hidden again.
void MinimizeAndHide(HINSTANCE inst) {
  WNDCLASSA wc{};
  wc.lpfnWndProc = DefWindowProcA;
  wc.hInstance = inst;
  wc.lpszClassName = "HeftBaselineApp";
  RegisterClassA(&wc);
  HWND app = CreateWindowExA(0, wc.lpszClassName, "Baseline",
                             WS_POPUP | WS_CAPTION | WS_CLIPSIBLINGS | WS_SYSMENU | WS_MINIMIZEBOX,
                             GetSystemMetrics(SM_CXSCREEN) / 2, GetSystemMetrics(SM_CYSCREEN) / 2, 0, 0,
                             nullptr, nullptr, inst, nullptr);
  ShowWindow(app, SW_MINIMIZE);
  ShowWindow(app, SW_HIDE);
}

// A hidden dialog-framed window with the About window's controls: a
// panel, an icon, two labels and three buttons, in its font.
void HiddenAboutWindow(HINSTANCE inst, HWND owner) {
  WNDCLASSA wc{};
  wc.lpfnWndProc = DefWindowProcA;
  wc.hInstance = inst;
  wc.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
  wc.lpszClassName = "HeftBaselineAbout";
  RegisterClassA(&wc);
  HWND form = CreateWindowExA(WS_EX_DLGMODALFRAME | WS_EX_WINDOWEDGE | WS_EX_CONTROLPARENT,
                              wc.lpszClassName, "About", WS_POPUP | WS_CLIPCHILDREN | WS_CAPTION | WS_SYSMENU,
                              198, 108, 369, 235, owner, nullptr, inst, nullptr);
  LOGFONTA lf{};
  lf.lfHeight = -11;
  lstrcpyA(lf.lfFaceName, "MS Sans Serif");
  HFONT font = CreateFontIndirectA(&lf);
  struct Child {
    const char* cls;
    const char* text;
    DWORD style;
    int x, y, w, h;
  };
  const Child children[] = {
      {"STATIC", "", SS_ETCHEDFRAME, 5, 7, 353, 161},
      {"STATIC", "", SS_ICON, 13, 15, 32, 32},
      {"STATIC", "Heftmark", SS_LEFT, 56, 15, 290, 30},
      {"STATIC", "Comments", SS_LEFT, 13, 56, 330, 100},
      {"BUTTON", "OK", BS_DEFPUSHBUTTON | WS_TABSTOP, 283, 176, 75, 25},
      {"BUTTON", "Visit", BS_PUSHBUTTON | WS_TABSTOP, 5, 176, 130, 25},
      {"BUTTON", "Register", BS_PUSHBUTTON | WS_TABSTOP, 141, 176, 136, 25},
  };
  for (const Child& c : children) {
    HWND h = CreateWindowExA(0, c.cls, c.text, WS_CHILD | WS_VISIBLE | c.style, c.x, c.y, c.w, c.h, form,
                             nullptr, inst, nullptr);
    SendMessageA(h, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    if (c.style == SS_ICON) SendMessageA(h, STM_SETICON, reinterpret_cast<WPARAM>(g_icon), 0);
  }
}
#endif

}  // namespace

int WINAPI WinMain(HINSTANCE inst, HINSTANCE, LPSTR, int) {
  if (GetLocaleInfoA(GetThreadLocale(), LOCALE_STHOUSAND, g_sep, 2) <= 0) lstrcpyA(g_sep, ",");
  g_icon = LoadIconA(inst, "MAINICON");
  WNDCLASSA wc{};
  wc.lpfnWndProc = Proc;
  wc.hInstance = inst;
  wc.lpszClassName = "HeftBaselineTray";
  RegisterClassA(&wc);
  HWND w = CreateWindowExA(0, wc.lpszClassName, "Baseline", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                           inst, nullptr);
#ifdef BENCH_STEPS
  const char* cmd = GetCommandLineA();
  if (Flag(cmd, "--com")) StartCom();
  if (Flag(cmd, "--about")) HiddenAboutWindow(inst, w);
  if (Flag(cmd, "--minimize")) MinimizeAndHide(inst);
#endif
  NOTIFYICONDATAA r{};
  Full(r, w);
  Shell_NotifyIconA(NIM_ADD, &r);
  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) DispatchMessageA(&msg);
  NOTIFYICONDATAA d{};
  Full(d, w);
  Shell_NotifyIconA(NIM_DELETE, &d);
  DestroyWindow(w);
  return 0;
}
