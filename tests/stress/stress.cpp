#include "stress.h"

#include <psapi.h>
#include <tlhelp32.h>
#include <winternl.h>

#include <cstdint>
#include <cstdio>
#include <cstring>

namespace stress {

namespace {

// The system's list of open handles (SystemHandleInformation).
constexpr auto kSystemHandleInformation = static_cast<SYSTEM_INFORMATION_CLASS>(16);
struct HandleEntry {
  ULONG pid;
  BYTE type;
  BYTE flags;
  USHORT value;
  PVOID object;
  ACCESS_MASK access;
};
struct HandleList {
  ULONG count;
  HandleEntry entries[1];
};

long HandleCount(DWORD pid) {
  std::vector<unsigned char> buf(1 << 16);
  ULONG need = 0;
  NTSTATUS s;
  while ((s = ::NtQuerySystemInformation(kSystemHandleInformation, buf.data(),
                                         static_cast<ULONG>(buf.size()), &need)) ==
             static_cast<NTSTATUS>(0xC0000004L) &&
         buf.size() < (64u << 20))
    buf.resize(buf.size() * 2);
  if (s != 0) return -1;
  const auto* list = reinterpret_cast<const HandleList*>(buf.data());
  long n = 0;
  for (ULONG i = 0; i < list->count; ++i)
    if (list->entries[i].pid == pid) ++n;
  return n;
}

template <class T>
bool ReadAt(HANDLE process, std::uint64_t at, T* out) {
  if (at == 0 || at > UINTPTR_MAX) return false;
  SIZE_T got = 0;
  return ::ReadProcessMemory(process, reinterpret_cast<const void*>(static_cast<uintptr_t>(at)),
                             out, sizeof *out, &got) &&
         got == sizeof *out;
}

struct ThreadBasics {
  NTSTATUS exitStatus;
  PVOID teb;
  CLIENT_ID client;
  ULONG_PTR affinity;
  LONG priority;
  LONG basePriority;
};

// Where the GDI handle table of a process lives: PEB.GdiSharedHandleTable.
std::uint64_t GdiTableAddress(HANDLE process) {
  PROCESS_BASIC_INFORMATION pbi{};
  ULONG len = 0;
  if (::NtQueryInformationProcess(process, ProcessBasicInformation, &pbi, sizeof pbi, &len) != 0)
    return 0;
  const auto peb = reinterpret_cast<std::uint64_t>(pbi.PebBaseAddress);
#ifdef _WIN64
  std::uint64_t table = 0;
  return ReadAt(process, peb + 0xF8, &table) ? table : 0;
#else
  DWORD table32 = 0;
  if (ReadAt(process, peb + 0x94, &table32) && table32) return table32;
  // Wine keeps a 32-bit process's table in its 64-bit PEB, reached through
  // a thread's 64-bit TEB (TEB32.WowTebOffset).
  const DWORD pid = ::GetProcessId(process);
  HANDLE snap = ::CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  if (snap == INVALID_HANDLE_VALUE) return 0;
  DWORD tid = 0;
  THREADENTRY32 te{};
  te.dwSize = sizeof te;
  for (BOOL ok = ::Thread32First(snap, &te); ok && !tid; ok = ::Thread32Next(snap, &te))
    if (te.th32OwnerProcessID == pid) tid = te.th32ThreadID;
  ::CloseHandle(snap);
  HANDLE thread = tid ? ::OpenThread(THREAD_QUERY_INFORMATION, FALSE, tid) : nullptr;
  if (!thread) return 0;
  ThreadBasics tb{};
  const bool got = ::NtQueryInformationThread(thread, static_cast<THREADINFOCLASS>(0), &tb,
                                              sizeof tb, &len) == 0;
  ::CloseHandle(thread);
  if (!got) return 0;
  const auto teb = reinterpret_cast<std::uint64_t>(tb.teb);
  LONG wowOffset = 0;
  std::uint64_t peb64 = 0, table = 0;
  if (!ReadAt(process, teb + 0xFDC, &wowOffset) || wowOffset == 0) return 0;
  if (!ReadAt(process, teb + static_cast<std::int64_t>(wowOffset) + 0x60, &peb64)) return 0;
  return ReadAt(process, peb64 + 0xF8, &table) ? table : 0;
#endif
}

BOOL CALLBACK CountChildren(HWND, LPARAM n) {
  ++*reinterpret_cast<long*>(n);
  return TRUE;
}

}  // namespace

long GdiTableCount(HANDLE process) {
  // Wine's table: 0x10000 entries of 24 bytes; a live entry has a type.
  constexpr std::size_t kEntries = 0x10000, kEntrySize = 24, kTypeAt = 14;
  const std::uint64_t at = GdiTableAddress(process);
  if (!at) return -1;
  std::vector<unsigned char> table(kEntries * kEntrySize);
  SIZE_T got = 0;
  if (!::ReadProcessMemory(process, reinterpret_cast<const void*>(static_cast<uintptr_t>(at)),
                           table.data(), table.size(), &got) ||
      got != table.size())
    return -1;
  long n = 0;
  for (std::size_t i = 0; i < kEntries; ++i)
    if (table[i * kEntrySize + kTypeAt] != 0) ++n;
  return n;
}

long WindowCount(DWORD pid) {
  long n = 0;
  auto add = [&](HWND h) {
    ++n;
    ::EnumChildWindows(h, &CountChildren, reinterpret_cast<LPARAM>(&n));
  };
  for (HWND h : e2e::WindowsOf(pid)) add(h);
  for (HWND h = ::FindWindowExW(HWND_MESSAGE, nullptr, nullptr, nullptr); h;
       h = ::FindWindowExW(HWND_MESSAGE, h, nullptr, nullptr)) {
    DWORD owner = 0;
    ::GetWindowThreadProcessId(h, &owner);
    if (owner == pid) add(h);
  }
  return n;
}

Holdings Measure(DWORD pid) {
  Holdings h;
  HANDLE p = ::OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid);
  if (!p) return h;
  h.handles = HandleCount(pid);
  const DWORD gdi = ::GetGuiResources(p, GR_GDIOBJECTS);
  const DWORD user = ::GetGuiResources(p, GR_USEROBJECTS);
  h.guiResources = gdi != 0 || user != 0;
  h.gdiObjects = h.guiResources ? static_cast<long>(gdi) : GdiTableCount(p);
  h.userObjects = h.guiResources ? static_cast<long>(user) : WindowCount(pid);
  PROCESS_MEMORY_COUNTERS_EX m{};
  m.cb = sizeof m;
  if (::GetProcessMemoryInfo(p, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&m), sizeof m))
    h.bytes = m.PrivateUsage ? m.PrivateUsage : m.PagefileUsage;  // Wine leaves PrivateUsage 0
  ::CloseHandle(p);
  return h;
}

std::string Describe(const Holdings& h) {
  char buf[200];
  std::snprintf(buf, sizeof buf, "handles %ld, GDI %ld, USER %ld (%s), private bytes %llu", h.handles,
                h.gdiObjects, h.userObjects,
                h.guiResources ? "GetGuiResources" : "GDI table and windows", h.bytes);
  return buf;
}

// ---- processes ----

Instance::~Instance() { Kill(); }

bool Instance::Start(const std::string& exe, bool suspended) {
  Kill();
  STARTUPINFOA si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  std::string cmd = "\"" + exe + "\"";
  if (!::CreateProcessA(exe.c_str(), cmd.data(), nullptr, nullptr, FALSE,
                        suspended ? CREATE_SUSPENDED : 0, nullptr, nullptr, &si,
                        &pi))
    return false;
  process_ = pi.hProcess;
  thread_ = pi.hThread;
  pid_ = pi.dwProcessId;
  return true;
}

void Instance::Resume() {
  if (thread_) ::ResumeThread(thread_);
}

bool Instance::Alive() const {
  return process_ && ::WaitForSingleObject(process_, 0) == WAIT_TIMEOUT;
}

bool Instance::WaitExit(DWORD timeoutMs, DWORD* exitCode) {
  if (!process_) return false;
  if (!e2e::PumpUntil([this] { return !Alive(); }, timeoutMs)) return false;
  if (exitCode) ::GetExitCodeProcess(process_, exitCode);
  return true;
}

void Instance::Kill() {
  if (process_ && Alive()) {
    ::TerminateProcess(process_, 99);
    ::WaitForSingleObject(process_, 5000);
  }
  if (thread_) ::CloseHandle(thread_);
  if (process_) ::CloseHandle(process_);
  process_ = thread_ = nullptr;
  pid_ = 0;
}

// ---- message boxes ----

std::vector<HWND> Boxes(DWORD pid, const char* caption) {
  std::vector<HWND> out;
  for (HWND h : e2e::WindowsOf(pid, "#32770"))
    if (::IsWindowVisible(h) && e2e::TextOf(h) == caption) out.push_back(h);
  return out;
}

bool PressOk(HWND box) {
  HWND ok = ::GetDlgItem(box, IDOK);
  if (!ok) return false;
  ::PostMessageW(ok, BM_CLICK, 0, 0);
  return e2e::PumpUntil([box] { return !::IsWindow(box) || !::IsWindowVisible(box); });
}

// ---- delayed rendering ----

namespace {
constexpr wchar_t kOwnerClass[] = L"Heftmark.Stress.DelayedOwner";
}

DelayedOwner::DelayedOwner() {
  HINSTANCE inst = ::GetModuleHandleW(nullptr);
  WNDCLASSW wc{};
  wc.lpfnWndProc = &DelayedOwner::Proc;
  wc.hInstance = inst;
  wc.lpszClassName = kOwnerClass;
  ::RegisterClassW(&wc);
  hwnd_ = ::CreateWindowExW(0, kOwnerClass, L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, inst,
                            nullptr);
  ::SetWindowLongPtrW(hwnd_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

DelayedOwner::~DelayedOwner() { Close(); }

void DelayedOwner::Close() {
  if (hwnd_) ::DestroyWindow(hwnd_);
  hwnd_ = nullptr;
}

bool DelayedOwner::Offer(const std::map<UINT, SIZE_T>& sizes) {
  e2e::ClipboardLock lock(hwnd_);
  if (!lock || !::EmptyClipboard()) return false;
  sizes_ = sizes;
  requests_.clear();
  for (const auto& [format, size] : sizes) {
    // Null is also what success returns when nothing is rendered yet.
    ::SetLastError(ERROR_SUCCESS);
    if (!::SetClipboardData(format, nullptr) && ::GetLastError() != ERROR_SUCCESS) return false;
  }
  return true;
}

int DelayedOwner::Requests(UINT format) const {
  auto it = requests_.find(format);
  return it == requests_.end() ? 0 : it->second;
}

LRESULT CALLBACK DelayedOwner::Proc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
  auto* self = reinterpret_cast<DelayedOwner*>(::GetWindowLongPtrW(h, GWLP_USERDATA));
  if (self && msg == WM_RENDERFORMAT) {
    const UINT format = static_cast<UINT>(wp);
    ++self->requests_[format];
    auto it = self->sizes_.find(format);
    if (it != self->sizes_.end() && it->second > 0) {
      // Rendered while the asking program holds the clipboard open.
      HGLOBAL g = ::GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, it->second);
      if (g && !::SetClipboardData(format, g)) ::GlobalFree(g);
    }
    return 0;
  }
  // Rendering nothing at WM_RENDERALLFORMATS: the offered data vanish.
  return ::DefWindowProcW(h, msg, wp, lp);
}

// ---- files ----

bool CopyInto(const std::string& from, const std::string& to) {
  return ::CopyFileA(from.c_str(), to.c_str(), FALSE) != FALSE;
}

std::vector<std::string> FolderListing(const std::string& folder) {
  std::vector<std::string> out;
  WIN32_FIND_DATAA fd;
  HANDLE f = ::FindFirstFileA((folder + "\\*").c_str(), &fd);
  if (f == INVALID_HANDLE_VALUE) return out;
  do {
    char line[MAX_PATH + 64];
    std::snprintf(line, sizeof line, "%s %lu %lu:%lu", fd.cFileName, fd.nFileSizeLow,
                  fd.ftLastWriteTime.dwHighDateTime, fd.ftLastWriteTime.dwLowDateTime);
    if (std::strcmp(fd.cFileName, ".") && std::strcmp(fd.cFileName, "..")) out.push_back(line);
  } while (::FindNextFileA(f, &fd));
  ::FindClose(f);
  return out;
}

void RemoveTree(const std::string& folder) {
  WIN32_FIND_DATAA fd;
  HANDLE f = ::FindFirstFileA((folder + "\\*").c_str(), &fd);
  if (f != INVALID_HANDLE_VALUE) {
    do {
      const std::string name = fd.cFileName;
      if (name == "." || name == "..") continue;
      const std::string path = folder + "\\" + name;
      if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) RemoveTree(path);
      else ::DeleteFileA(path.c_str());
    } while (::FindNextFileA(f, &fd));
    ::FindClose(f);
  }
  ::RemoveDirectoryA(folder.c_str());
}

std::string FolderOf(const std::string& path) {
  const auto cut = path.find_last_of("\\/");
  return cut == std::string::npos ? "." : path.substr(0, cut);
}

}  // namespace stress
