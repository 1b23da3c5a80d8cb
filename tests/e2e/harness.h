// Drives the real Heftmark.exe from another Wine process: a fake
// notification area records what it tells the shell, and helpers start it,
// poke its icon, fill and hold the clipboard and answer its message boxes.
#pragma once

#include <windows.h>

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace e2e {

// The program's callback message and icon number, as the shell sees them.
constexpr UINT kTrayMessage = WM_USER + 100;
constexpr UINT kIconId = 1;
constexpr UINT kFullFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;

// Generous bounds: a wait normally ends within milliseconds.
constexpr DWORD kStartTimeoutMs = 15000;
constexpr DWORD kEventTimeoutMs = 5000;

// Handles every message of this thread until `done` holds or the time runs
// out. The program's Shell_NotifyIcon is a SendMessage to us without a
// timeout, so whoever waits must keep pumping.
bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs = kEventTimeoutMs);

// One Shell_NotifyIcon call as the shell received it.
struct TrayEvent {
  DWORD message = 0;  // NIM_ADD, NIM_MODIFY, NIM_DELETE
  HWND sender = nullptr;  // wParam of the WM_COPYDATA
  HWND hwnd = nullptr;
  UINT id = 0;
  UINT flags = 0;
  UINT callback = 0;
  std::string tip;  // converted to the ANSI code page
};

std::string Describe(const TrayEvent& e);
std::string Describe(const std::vector<TrayEvent>& events);

// A window of class "Shell_TrayWnd" that Wine's Shell_NotifyIcon finds
// before explorer's own.
class FakeTray {
 public:
  FakeTray();
  ~FakeTray();
  FakeTray(const FakeTray&) = delete;
  FakeTray& operator=(const FakeTray&) = delete;

  HWND hwnd() const { return hwnd_; }
  // True when FindWindow for the class finds this window.
  bool IsTheShell() const;

  const std::vector<TrayEvent>& events() const { return events_; }
  // Events received from index `from` on.
  std::vector<TrayEvent> Since(std::size_t from) const;
  std::vector<TrayEvent> Since(std::size_t from, DWORD message) const;
  // Waits for an event of that kind at index `from` or later; returns its
  // index, or -1 after the timeout.
  int WaitFor(DWORD message, std::size_t from, DWORD timeoutMs = kEventTimeoutMs);

  // Posts the callback message as the shell does for a mouse action over
  // the icon that `add` registered.
  static void Click(const TrayEvent& add, UINT mouseMessage);

 private:
  static LRESULT CALLBACK Proc(HWND, UINT, WPARAM, LPARAM);
  HWND hwnd_ = nullptr;
  std::vector<TrayEvent> events_;
};

// The path of the program under test, from HEFTMARK_EXE (a Unix path is
// mapped to Wine's Z: drive).
std::string ProgramPath();

// A started Heftmark process; killed on destruction if it is still alive,
// so that a failing test never leaves it behind for the next one.
class Program {
 public:
  Program() = default;
  ~Program();
  Program(const Program&) = delete;
  Program& operator=(const Program&) = delete;

  bool Start(const std::string& exe = ProgramPath());
  DWORD pid() const { return pid_; }
  bool Alive() const;
  // Pumps while waiting; false if the process still runs after the time.
  bool WaitExit(DWORD timeoutMs, DWORD* exitCode);
  void Kill();

 private:
  HANDLE process_ = nullptr;
  DWORD pid_ = 0;
};

// Top-level windows of a process, optionally of one class.
std::vector<HWND> WindowsOf(DWORD pid, const char* cls = nullptr);
std::string ClassOf(HWND h);
std::string TextOf(HWND h);

// A message box (#32770) of that process with that caption, waited for.
HWND WaitForBox(DWORD pid, const char* caption, DWORD timeoutMs = kEventTimeoutMs);
std::string BoxText(HWND box);
// Presses the box's OK button and waits until the box is gone.
bool ClickOk(HWND box);

// The open tray menu of a process (class "#32768"), waited for; null after
// the timeout.
HWND WaitForMenu(DWORD pid, DWORD timeoutMs = kEventTimeoutMs);
bool MenuOpen(DWORD pid);
// Types a key into the open menu, as a user would.
void MenuKey(HWND menu, WORD vk);

// ---- clipboard ----

// Opens the clipboard, retrying for about 100 ms: Wine's own manager may
// hold it for a moment. Holding one keeps every other program out.
class ClipboardLock {
 public:
  explicit ClipboardLock(HWND owner, DWORD retryMs = 100);
  ~ClipboardLock();
  ClipboardLock(const ClipboardLock&) = delete;
  ClipboardLock& operator=(const ClipboardLock&) = delete;
  explicit operator bool() const { return open_; }

 private:
  bool open_ = false;
};

struct Block {
  UINT format;
  SIZE_T size;
};

// Replaces the clipboard's contents by blocks of exactly these sizes,
// owned by `owner`.
bool PutBlocks(HWND owner, const std::vector<Block>& blocks);
bool EmptyTheClipboard(HWND owner);
// A private format of our own, registered by name.
UINT PrivateFormat(const char* name);

// What the clipboard lists: each format with GlobalSize of its data.
std::vector<std::pair<UINT, SIZE_T>> ClipboardContents(HWND owner);
// The sum the program should report.
unsigned long long ClipboardTotal(HWND owner);
std::wstring ClipboardText(HWND owner);

// The tip for a total under a locale whose thousands separator is `sep`.
std::string ExpectedTip(unsigned long long total, char sep);

// Runs a command line with /bin/sh, as a Linux program outside Wine. Wine
// starts it but gives no handle to wait on, so callers wait for its effect.
bool RunShell(const std::string& command);

// ---- launches ----

// A Unix path named by the environment variable `var`, mapped to Wine's Z:
// drive; empty when the variable is not set.
std::string PathFromEnv(const char* var);

// Pops the tray menu of the icon that `add` registered, types `key` and
// waits until the menu has closed; false if no menu opened.
bool ChooseMenuItem(const TrayEvent& add, DWORD pid, WORD key);

// Registry values changed for an object's lifetime and put back after it:
// keys that did not exist are removed again, values that did get their old
// type and data back.
class RegistryOverride {
 public:
  RegistryOverride() = default;
  ~RegistryOverride();
  RegistryOverride(const RegistryOverride&) = delete;
  RegistryOverride& operator=(const RegistryOverride&) = delete;

  // `name` null is the key's default value.
  bool Set(HKEY root, const std::string& key, const char* name, const std::string& data);

 private:
  struct Saved {
    HKEY root;
    std::string key, name;
    bool isDefault;
    std::string createdKey;  // the outermost key this object made, if any
    bool hadValue = false;
    DWORD type = 0;
    std::vector<BYTE> data;
  };
  std::vector<Saved> saved_;
};

// Points the shell's open command for documents with these extensions and
// for http, https and mailto addresses at `recorder` ("<recorder>" "%1").
// Wine 8 reads HKEY_CLASSES_ROOT from the machine's classes alone (a
// per-user key under HKCU\Software\Classes is not seen), so the shared
// prefix's own keys are changed and restored on destruction.
class ShellAssociations {
 public:
  ShellAssociations(const std::string& recorder, const std::vector<std::string>& extensions);
  // Empty when every key is in place.
  const std::string& error() const { return error_; }

 private:
  RegistryOverride reg_;
  std::string error_;
};

// The recorder's log: a fresh file, named through HEFT_RECORDER_LOG in our
// environment, which every program started after this inherits. Removed on
// destruction.
class RecorderLog {
 public:
  RecorderLog();
  ~RecorderLog();
  RecorderLog(const RecorderLog&) = delete;
  RecorderLog& operator=(const RecorderLog&) = delete;

  // The complete lines written so far, without their line ends.
  std::vector<std::string> Lines() const;
  // Line `index`, waited for while pumping; nothing after the timeout.
  std::optional<std::string> WaitForLine(std::size_t index, DWORD timeoutMs = kEventTimeoutMs);

 private:
  std::string path_;
};

// The recorder program (HEFT_RECORDER_EXE), its log, and associations of
// these document extensions and of web and mail addresses with it, for the
// object's lifetime. Make it before starting the program under test, which
// then inherits the log's name.
class Recorder {
 public:
  explicit Recorder(const std::vector<std::string>& extensions);
  // Empty when everything is in place.
  std::string error() const;
  // Exactly what the shell starts the recorder with to open `target`.
  std::string CommandFor(const std::string& target) const;
  // The command line of the recorder's `index`-th start, waited for.
  std::optional<std::string> WaitForStart(std::size_t index, DWORD timeoutMs = kEventTimeoutMs) {
    return log_.WaitForLine(index, timeoutMs);
  }
  std::size_t Starts() const { return log_.Lines().size(); }

 private:
  std::string exe_;
  RecorderLog log_;
  ShellAssociations associations_;
};

}  // namespace e2e
