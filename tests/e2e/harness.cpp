#include "harness.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace e2e {

bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs) {
  const ULONGLONG end = ::GetTickCount64() + timeoutMs;
  for (;;) {
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      ::TranslateMessage(&msg);
      ::DispatchMessageW(&msg);
    }
    if (done()) return true;
    const ULONGLONG now = ::GetTickCount64();
    if (now >= end) return false;
    // Wakes for sent and posted messages alike; the slice bounds how late
    // a condition that no message announces is seen.
    const DWORD slice = static_cast<DWORD>(end - now < 10 ? end - now : 10);
    ::MsgWaitForMultipleObjectsEx(0, nullptr, slice, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
  }
}

// ---- fake notification area ----

namespace {

constexpr wchar_t kTrayClass[] = L"Shell_TrayWnd";

// Wine's payload: the same for 32-bit and 64-bit senders.
constexpr std::size_t kHwndAt = 0, kIdAt = 4, kFlagsAt = 8, kCallbackAt = 12, kTipAt = 16;
constexpr std::size_t kTipChars = 128;

DWORD Read32(const unsigned char* p, std::size_t at) {
  DWORD v;
  std::memcpy(&v, p + at, sizeof v);
  return v;
}

std::string ToAnsi(const wchar_t* w, std::size_t max) {
  std::size_t n = 0;
  while (n < max && w[n]) ++n;
  if (n == 0) return {};
  int bytes = ::WideCharToMultiByte(CP_ACP, 0, w, static_cast<int>(n), nullptr, 0, nullptr, nullptr);
  std::string s(static_cast<std::size_t>(bytes), '\0');
  ::WideCharToMultiByte(CP_ACP, 0, w, static_cast<int>(n), s.data(), bytes, nullptr, nullptr);
  return s;
}

const char* MessageName(DWORD m) {
  switch (m) {
    case NIM_ADD: return "NIM_ADD";
    case NIM_MODIFY: return "NIM_MODIFY";
    case NIM_DELETE: return "NIM_DELETE";
    default: return "NIM_?";
  }
}

}  // namespace

std::string Describe(const TrayEvent& e) {
  char buf[256];
  std::snprintf(buf, sizeof buf, "%s(hwnd=%p id=%u flags=%u callback=0x%X tip=\"%s\")",
                MessageName(e.message), static_cast<void*>(e.hwnd), e.id, e.flags, e.callback,
                e.tip.c_str());
  return buf;
}

std::string Describe(const std::vector<TrayEvent>& events) {
  std::string s = "[";
  for (const auto& e : events) s += (s.size() > 1 ? ", " : "") + Describe(e);
  return s + "]";
}

FakeTray::FakeTray() {
  HINSTANCE inst = ::GetModuleHandleW(nullptr);
  WNDCLASSW wc{};
  wc.lpfnWndProc = &FakeTray::Proc;
  wc.hInstance = inst;
  wc.lpszClassName = kTrayClass;
  ::RegisterClassW(&wc);  // fails harmlessly when a second tray is made
  hwnd_ = ::CreateWindowExW(WS_EX_TOOLWINDOW, kTrayClass, L"", WS_POPUP, 0, 0, 0, 0, nullptr,
                            nullptr, inst, nullptr);
  ::SetWindowLongPtrW(hwnd_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

FakeTray::~FakeTray() {
  if (hwnd_) ::DestroyWindow(hwnd_);
}

bool FakeTray::IsTheShell() const {
  return hwnd_ && ::FindWindowW(kTrayClass, nullptr) == hwnd_;
}

LRESULT CALLBACK FakeTray::Proc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
  auto* self = reinterpret_cast<FakeTray*>(::GetWindowLongPtrW(h, GWLP_USERDATA));
  if (msg != WM_COPYDATA || !self) return ::DefWindowProcW(h, msg, wp, lp);
  const auto* cds = reinterpret_cast<const COPYDATASTRUCT*>(lp);
  if (!cds || cds->cbData < kTipAt + kTipChars * sizeof(wchar_t)) return FALSE;
  const auto* p = static_cast<const unsigned char*>(cds->lpData);
  TrayEvent e;
  e.message = static_cast<DWORD>(cds->dwData);
  e.sender = reinterpret_cast<HWND>(wp);
  e.hwnd = reinterpret_cast<HWND>(static_cast<ULONG_PTR>(Read32(p, kHwndAt)));
  e.id = Read32(p, kIdAt);
  e.flags = Read32(p, kFlagsAt);
  e.callback = Read32(p, kCallbackAt);
  wchar_t tip[kTipChars];
  std::memcpy(tip, p + kTipAt, sizeof tip);
  e.tip = ToAnsi(tip, kTipChars);
  self->events_.push_back(std::move(e));
  return TRUE;  // what the caller's Shell_NotifyIcon returns
}

std::vector<TrayEvent> FakeTray::Since(std::size_t from) const {
  if (from >= events_.size()) return {};
  return {events_.begin() + static_cast<std::ptrdiff_t>(from), events_.end()};
}

std::vector<TrayEvent> FakeTray::Since(std::size_t from, DWORD message) const {
  std::vector<TrayEvent> out;
  for (const auto& e : Since(from))
    if (e.message == message) out.push_back(e);
  return out;
}

int FakeTray::WaitFor(DWORD message, std::size_t from, DWORD timeoutMs) {
  int found = -1;
  PumpUntil(
      [&] {
        for (std::size_t i = from; i < events_.size(); ++i)
          if (events_[i].message == message) {
            found = static_cast<int>(i);
            return true;
          }
        return false;
      },
      timeoutMs);
  return found;
}

void FakeTray::Click(const TrayEvent& add, UINT mouseMessage) {
  ::PostMessageW(add.hwnd, add.callback, add.id, mouseMessage);
}

// ---- the process ----

std::string ProgramPath() {
  const char* env = std::getenv("HEFTMARK_EXE");
  std::string path = env ? env : "";
  if (!path.empty() && path[0] == '/') {
    path.insert(0, "Z:");
    for (char& c : path)
      if (c == '/') c = '\\';
  }
  return path;
}

Program::~Program() { Kill(); }

bool Program::Start(const std::string& exe) {
  Kill();
  STARTUPINFOA si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  std::string cmd = "\"" + exe + "\"";
  if (!::CreateProcessA(exe.c_str(), cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                        &pi))
    return false;
  ::CloseHandle(pi.hThread);
  process_ = pi.hProcess;
  pid_ = pi.dwProcessId;
  return true;
}

bool Program::Alive() const {
  return process_ && ::WaitForSingleObject(process_, 0) == WAIT_TIMEOUT;
}

bool Program::WaitExit(DWORD timeoutMs, DWORD* exitCode) {
  if (!process_) return false;
  if (!PumpUntil([this] { return !Alive(); }, timeoutMs)) return false;
  if (exitCode) ::GetExitCodeProcess(process_, exitCode);
  return true;
}

void Program::Kill() {
  if (!process_) return;
  if (Alive()) {
    ::TerminateProcess(process_, 99);
    ::WaitForSingleObject(process_, 5000);
  }
  ::CloseHandle(process_);
  process_ = nullptr;
  pid_ = 0;
}

// ---- windows ----

std::string ClassOf(HWND h) {
  char cls[64] = {};
  ::GetClassNameA(h, cls, sizeof cls);
  return cls;
}

std::string TextOf(HWND h) {
  char text[256] = {};
  ::GetWindowTextA(h, text, sizeof text);
  return text;
}

namespace {
struct Search {
  DWORD pid;
  const char* cls;
  std::vector<HWND> found;
};
BOOL CALLBACK Collect(HWND h, LPARAM lp) {
  auto* s = reinterpret_cast<Search*>(lp);
  DWORD pid = 0;
  ::GetWindowThreadProcessId(h, &pid);
  if (pid == s->pid && (!s->cls || ClassOf(h) == s->cls)) s->found.push_back(h);
  return TRUE;
}
}  // namespace

std::vector<HWND> WindowsOf(DWORD pid, const char* cls) {
  Search s{pid, cls, {}};
  ::EnumWindows(&Collect, reinterpret_cast<LPARAM>(&s));
  return s.found;
}

HWND WaitForBox(DWORD pid, const char* caption, DWORD timeoutMs) {
  HWND box = nullptr;
  PumpUntil(
      [&] {
        for (HWND h : WindowsOf(pid, "#32770"))
          if (::IsWindowVisible(h) && TextOf(h) == caption) {
            box = h;
            return true;
          }
        return false;
      },
      timeoutMs);
  return box;
}

std::string BoxText(HWND box) {
  char text[512] = {};
  ::GetDlgItemTextA(box, 0xFFFF, text, sizeof text);
  return text;
}

bool ClickOk(HWND box) {
  HWND ok = ::GetDlgItem(box, IDOK);
  if (!ok) return false;
  // Posted, so that we go on pumping while the program handles it.
  ::PostMessageW(ok, BM_CLICK, 0, 0);
  return PumpUntil([box] { return !::IsWindow(box); });
}

HWND WaitForMenu(DWORD pid, DWORD timeoutMs) {
  HWND menu = nullptr;
  PumpUntil(
      [&] {
        for (HWND h : WindowsOf(pid, "#32768"))
          if (::IsWindowVisible(h)) {
            menu = h;
            return true;
          }
        return false;
      },
      timeoutMs);
  return menu;
}

bool MenuOpen(DWORD pid) {
  for (HWND h : WindowsOf(pid, "#32768"))
    if (::IsWindowVisible(h)) return true;
  return false;
}

// Posted to the menu window: the menu's own loop takes keys from its
// thread's queue and translates them, so no focus is needed.
void MenuKey(HWND menu, WORD vk) {
  const UINT scan = ::MapVirtualKeyW(vk, MAPVK_VK_TO_VSC);
  const LPARAM down = 1 | (static_cast<LPARAM>(scan) << 16);
  ::PostMessageW(menu, WM_KEYDOWN, vk, down);
}

// ---- clipboard ----

ClipboardLock::ClipboardLock(HWND owner, DWORD retryMs) {
  const ULONGLONG end = ::GetTickCount64() + retryMs;
  while (!(open_ = ::OpenClipboard(owner) != FALSE) && ::GetTickCount64() < end) ::Sleep(5);
}

ClipboardLock::~ClipboardLock() {
  if (open_) ::CloseClipboard();
}

bool PutBlocks(HWND owner, const std::vector<Block>& blocks) {
  ClipboardLock lock(owner);
  if (!lock || !::EmptyClipboard()) return false;
  for (const Block& b : blocks) {
    HGLOBAL g = ::GlobalAlloc(GMEM_MOVEABLE, b.size);
    if (!g) return false;
    // Every byte defined, and text formats ended by a zero.
    auto* bytes = static_cast<char*>(::GlobalLock(g));
    std::memset(bytes, 'x', b.size);
    if (b.size > 0) bytes[b.size - 1] = '\0';
    ::GlobalUnlock(g);
    if (!::SetClipboardData(b.format, g)) {
      ::GlobalFree(g);
      return false;
    }
  }
  return true;
}

bool EmptyTheClipboard(HWND owner) {
  ClipboardLock lock(owner);
  return lock && ::EmptyClipboard();
}

UINT PrivateFormat(const char* name) { return ::RegisterClipboardFormatA(name); }

std::vector<std::pair<UINT, SIZE_T>> ClipboardContents(HWND owner) {
  std::vector<std::pair<UINT, SIZE_T>> out;
  ClipboardLock lock(owner);
  if (!lock) return out;
  for (UINT f = ::EnumClipboardFormats(0); f; f = ::EnumClipboardFormats(f)) {
    HANDLE h = ::GetClipboardData(f);
    out.emplace_back(f, h ? ::GlobalSize(h) : 0);
  }
  return out;
}

unsigned long long ClipboardTotal(HWND owner) {
  unsigned long long total = 0;
  for (auto [format, size] : ClipboardContents(owner)) total += size;
  return total;
}

std::wstring ClipboardText(HWND owner) {
  ClipboardLock lock(owner);
  if (!lock) return {};
  HANDLE h = ::GetClipboardData(CF_UNICODETEXT);
  if (!h) return {};
  const auto* p = static_cast<const wchar_t*>(::GlobalLock(h));
  std::wstring text = p ? std::wstring(p, wcsnlen(p, ::GlobalSize(h) / sizeof(wchar_t))) : L"";
  ::GlobalUnlock(h);
  return text;
}

std::string ExpectedTip(unsigned long long total, char sep) {
  if (total == 0) return "Clipboard is empty";
  std::string digits = std::to_string(total), grouped;
  for (std::size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) grouped += sep;
    grouped += digits[i];
  }
  return "Clipboard is " + grouped + " bytes";
}

bool RunShell(const std::string& command) {
  std::string cmd = "Z:\\bin\\sh -c \"" + command + "\"";
  STARTUPINFOA si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  if (!::CreateProcessA(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
    return false;
  // Wine fills in no usable handles for a Linux program.
  return true;
}

}  // namespace e2e

// ---- launches ----

namespace e2e {

std::string PathFromEnv(const char* var) {
  const char* env = std::getenv(var);
  std::string path = env ? env : "";
  if (!path.empty() && path[0] == '/') {
    path.insert(0, "Z:");
    for (char& c : path)
      if (c == '/') c = '\\';
  }
  return path;
}

bool ChooseMenuItem(const TrayEvent& add, DWORD pid, WORD key) {
  FakeTray::Click(add, WM_RBUTTONDOWN);
  HWND menu = WaitForMenu(pid);
  if (!menu) return false;
  MenuKey(menu, key);
  return PumpUntil([pid] { return !MenuOpen(pid); });
}

RegistryOverride::~RegistryOverride() {
  for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) {
    if (!it->createdKey.empty()) {
      ::RegDeleteTreeA(it->root, it->createdKey.c_str());
      continue;
    }
    HKEY k = nullptr;
    if (::RegOpenKeyExA(it->root, it->key.c_str(), 0, KEY_SET_VALUE, &k) != ERROR_SUCCESS) continue;
    const char* name = it->isDefault ? nullptr : it->name.c_str();
    if (it->hadValue)
      ::RegSetValueExA(k, name, 0, it->type, it->data.data(), static_cast<DWORD>(it->data.size()));
    else
      ::RegDeleteValueA(k, name);
    ::RegCloseKey(k);
  }
}

bool RegistryOverride::Set(HKEY root, const std::string& key, const char* name,
                           const std::string& data) {
  Saved s{root, key, name ? name : "", name == nullptr, {}, false, 0, {}};
  // The outermost missing key is what to remove afterwards. One that an
  // earlier Set made exists by now and goes with that Set's key.
  for (std::size_t at = 0; at != std::string::npos;) {
    at = key.find('\\', at + 1);
    const std::string part = key.substr(0, at);
    HKEY k = nullptr;
    if (::RegOpenKeyExA(root, part.c_str(), 0, KEY_READ, &k) != ERROR_SUCCESS) {
      s.createdKey = part;
      break;
    }
    ::RegCloseKey(k);
  }
  HKEY k = nullptr;
  if (::RegCreateKeyExA(root, key.c_str(), 0, nullptr, 0, KEY_READ | KEY_SET_VALUE, nullptr, &k,
                        nullptr) != ERROR_SUCCESS)
    return false;
  if (s.createdKey.empty()) {
    DWORD size = 0;
    if (::RegQueryValueExA(k, name, nullptr, &s.type, nullptr, &size) == ERROR_SUCCESS) {
      s.data.resize(size);
      s.hadValue = ::RegQueryValueExA(k, name, nullptr, &s.type, s.data.data(), &size) ==
                   ERROR_SUCCESS;
      s.data.resize(size);
    }
  }
  saved_.push_back(std::move(s));
  const bool ok = ::RegSetValueExA(k, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                                   static_cast<DWORD>(data.size() + 1)) == ERROR_SUCCESS;
  ::RegCloseKey(k);
  return ok;
}

ShellAssociations::ShellAssociations(const std::string& recorder,
                                     const std::vector<std::string>& extensions) {
  constexpr char kProgId[] = "Heftmark.E2E.Recorded";
  if (recorder.empty()) {
    error_ = "no recorder to associate";
    return;
  }
  HKEY k = nullptr;
  if (::RegOpenKeyExA(HKEY_CLASSES_ROOT, kProgId, 0, KEY_READ, &k) == ERROR_SUCCESS) {
    // Left by a run that died before putting things back: what the keys
    // held before it is lost, so saving them again would keep its values.
    ::RegCloseKey(k);
    error_ = std::string("HKCR\\") + kProgId + " exists: a crashed run changed this prefix; remove prefix.ready2 from the Wine state folder to make a new one";
    return;
  }
  const std::string command = "\"" + recorder + "\" \"%1\"";
  auto set = [this](const std::string& key, const char* name, const std::string& data) {
    if (error_.empty() && !reg_.Set(HKEY_CLASSES_ROOT, key, name, data))
      error_ = "cannot set HKCR\\" + key;
  };
  set(std::string(kProgId) + "\\shell\\open\\command", nullptr, command);
  for (const std::string& ext : extensions) set(ext, nullptr, kProgId);
  for (const char* scheme : {"http", "https", "mailto"}) {
    set(scheme, "URL Protocol", "");
    set(std::string(scheme) + "\\shell\\open\\command", nullptr, command);
  }
}

RecorderLog::RecorderLog() {
  char dir[MAX_PATH + 1] = {};
  ::GetTempPathA(sizeof dir, dir);
  path_ = std::string(dir) + "heftmark-recorder-" + std::to_string(::GetCurrentProcessId()) + ".log";
  ::DeleteFileA(path_.c_str());
  ::SetEnvironmentVariableA("HEFT_RECORDER_LOG", path_.c_str());
}

RecorderLog::~RecorderLog() {
  ::SetEnvironmentVariableA("HEFT_RECORDER_LOG", nullptr);
  ::DeleteFileA(path_.c_str());
}

std::vector<std::string> RecorderLog::Lines() const {
  std::vector<std::string> lines;
  HANDLE f = ::CreateFileA(path_.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (f == INVALID_HANDLE_VALUE) return lines;
  std::string text;
  char buf[4096];
  DWORD got = 0;
  while (::ReadFile(f, buf, sizeof buf, &got, nullptr) && got > 0) text.append(buf, got);
  ::CloseHandle(f);
  // A line without its end is still being written.
  for (std::size_t at = 0, end; (end = text.find("\r\n", at)) != std::string::npos; at = end + 2)
    lines.push_back(text.substr(at, end - at));
  return lines;
}

std::optional<std::string> RecorderLog::WaitForLine(std::size_t index, DWORD timeoutMs) {
  std::vector<std::string> lines;
  if (!PumpUntil([&] { return (lines = Lines()).size() > index; }, timeoutMs)) return std::nullopt;
  return lines[index];
}

Recorder::Recorder(const std::vector<std::string>& extensions)
    : exe_(PathFromEnv("HEFT_RECORDER_EXE")), associations_(exe_, extensions) {}

std::string Recorder::error() const {
  if (exe_.empty()) return "HEFT_RECORDER_EXE is not set";
  if (::GetFileAttributesA(exe_.c_str()) == INVALID_FILE_ATTRIBUTES) return exe_ + " is missing";
  return associations_.error();
}

std::string Recorder::CommandFor(const std::string& target) const {
  return "\"" + exe_ + "\" \"" + target + "\"";
}

}  // namespace e2e
