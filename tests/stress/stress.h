// Helpers for the load, contention and hardening tests, on top of the
// end-to-end harness: what a process holds, starts that can be let go at
// the same moment, nested message boxes, and a clipboard owner that
// renders on request.
#pragma once

#include <windows.h>

#include <map>
#include <string>
#include <vector>

#include "harness.h"

namespace stress {

// What a process holds, as far as another process can see it.
struct Holdings {
  long handles = -1;             // kernel handles, from the system's handle list
  long gdiObjects = -1;          // GetGuiResources, else the process's GDI handle table
  long userObjects = -1;         // GetGuiResources, else the process's windows
  unsigned long long bytes = 0;  // private bytes (Wine: anonymous resident memory)
  bool guiResources = false;     // whether GetGuiResources answered
};
Holdings Measure(DWORD pid);
std::string Describe(const Holdings& h);

// Live entries of a process's GDI handle table; -1 when it cannot be read.
// Wine answers GetGuiResources with 0, but keeps the table where Windows
// does, in memory that the process's PEB points to.
long GdiTableCount(HANDLE process);
// Top-level, child and message-only windows of a process.
long WindowCount(DWORD pid);

// A started process that can be held suspended, so that several starts can
// be let go at the same moment. Killed on destruction if still alive.
class Instance {
 public:
  Instance() = default;
  ~Instance();
  Instance(const Instance&) = delete;
  Instance& operator=(const Instance&) = delete;

  bool Start(const std::string& exe, bool suspended = false);
  void Resume();
  DWORD pid() const { return pid_; }
  bool Alive() const;
  bool WaitExit(DWORD timeoutMs, DWORD* exitCode);
  void Kill();

 private:
  HANDLE process_ = nullptr;
  HANDLE thread_ = nullptr;
  DWORD pid_ = 0;
};

// Visible message boxes of a process with that caption.
std::vector<HWND> Boxes(DWORD pid, const char* caption);
// Presses OK and waits until the box is no longer shown. A box whose modal
// loop runs below a newer one is only hidden until that one returns.
bool PressOk(HWND box);

// A window of ours that owns the clipboard with formats it renders only
// when asked (WM_RENDERFORMAT). A size of 0 renders nothing.
class DelayedOwner {
 public:
  DelayedOwner();
  ~DelayedOwner();
  DelayedOwner(const DelayedOwner&) = delete;
  DelayedOwner& operator=(const DelayedOwner&) = delete;

  HWND hwnd() const { return hwnd_; }
  // Empties the clipboard and offers these formats, none rendered yet.
  bool Offer(const std::map<UINT, SIZE_T>& sizes);
  // How often each format was asked for.
  int Requests(UINT format) const;
  // Destroys the window: the clipboard loses its owner.
  void Close();

 private:
  static LRESULT CALLBACK Proc(HWND, UINT, WPARAM, LPARAM);
  HWND hwnd_ = nullptr;
  std::map<UINT, SIZE_T> sizes_;
  std::map<UINT, int> requests_;
};

// Files and folders, by ANSI path.
bool CopyInto(const std::string& from, const std::string& to);
std::vector<std::string> FolderListing(const std::string& folder);  // name, size, time
void RemoveTree(const std::string& folder);
std::string FolderOf(const std::string& path);

}  // namespace stress
