// Heftmark.exe against the baseline tray program, both driven from outside
// as the shell would drive them: a fake notification area receives their
// Shell_NotifyIcon calls, and we post the tray callback message for a hover.
// Measures start-up, the hover round trip, memory, and what each does while
// idle. Samples of the two programs alternate A B A B.
#include <windows.h>
#include <psapi.h>
#include <tlhelp32.h>

#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "common.h"

using bench::Fmt;
using bench::Note;
using bench::Seconds;

namespace {

constexpr UINT kIconId = 1;
constexpr UINT kTrayMessage = WM_USER + 100;
constexpr UINT kFullFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
constexpr double kStartTimeout = 20, kEventTimeout = 5;
constexpr SIZE_T kPage = 4096;

// ---- the fake notification area ----

struct TrayEvent {
  double at = 0;  // when it arrived
  DWORD message = 0;
  HWND hwnd = nullptr;
  UINT id = 0, flags = 0, callback = 0;
  std::string tip;
};

// A window of class "Shell_TrayWnd": Wine's Shell_NotifyIcon finds the
// newest such window and sends it the call as WM_COPYDATA, the same
// payload from 32-bit and 64-bit senders.
class FakeTray {
 public:
  FakeTray() {
    WNDCLASSW wc{};
    wc.lpfnWndProc = &FakeTray::Proc;
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.lpszClassName = kClass;
    ::RegisterClassW(&wc);
    hwnd_ = ::CreateWindowExW(WS_EX_TOOLWINDOW, kClass, L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                              wc.hInstance, nullptr);
    ::SetWindowLongPtrW(hwnd_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  }
  ~FakeTray() { ::DestroyWindow(hwnd_); }
  FakeTray(const FakeTray&) = delete;
  FakeTray& operator=(const FakeTray&) = delete;

  HWND hwnd() const { return hwnd_; }
  bool IsTheShell() const { return hwnd_ && ::FindWindowW(kClass, nullptr) == hwnd_; }
  const std::vector<TrayEvent>& events() const { return events_; }

  // The first event at index from or later of that kind for that window
  // (any window when hwnd is null), waited for; -1 after the timeout.
  int WaitFor(DWORD message, HWND hwnd, std::size_t from, double timeout,
              const std::function<bool(const TrayEvent&)>& match = nullptr) {
    int found = -1;
    bench::PumpUntil(
        [&] {
          for (std::size_t i = from; i < events_.size(); ++i) {
            const TrayEvent& e = events_[i];
            if (e.message == message && (!hwnd || e.hwnd == hwnd) && (!match || match(e))) {
              found = static_cast<int>(i);
              return true;
            }
          }
          return false;
        },
        timeout);
    return found;
  }

 private:
  static constexpr const wchar_t* kClass = L"Shell_TrayWnd";
  // Wine's payload: hWnd, uID, uFlags, uCallbackMessage, then the tip as
  // 128 WCHARs.
  static constexpr std::size_t kTipAt = 16, kTipChars = 128;

  static LRESULT CALLBACK Proc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
    const double at = Seconds();  // first, so the handler's own work isn't timed
    auto* self = reinterpret_cast<FakeTray*>(::GetWindowLongPtrW(h, GWLP_USERDATA));
    if (msg != WM_COPYDATA || !self) return ::DefWindowProcW(h, msg, wp, lp);
    const auto* cds = reinterpret_cast<const COPYDATASTRUCT*>(lp);
    if (!cds || cds->cbData < kTipAt + kTipChars * sizeof(wchar_t)) return FALSE;
    const auto* p = static_cast<const unsigned char*>(cds->lpData);
    DWORD v[4];
    std::memcpy(v, p, sizeof v);
    TrayEvent e;
    e.at = at;
    e.message = static_cast<DWORD>(cds->dwData);
    e.hwnd = reinterpret_cast<HWND>(static_cast<ULONG_PTR>(v[0]));
    e.id = v[1];
    e.flags = v[2];
    e.callback = v[3];
    wchar_t tip[kTipChars + 1] = {};
    std::memcpy(tip, p + kTipAt, kTipChars * sizeof(wchar_t));
    char ansi[kTipChars * 2 + 1] = {};
    ::WideCharToMultiByte(CP_ACP, 0, tip, -1, ansi, sizeof ansi - 1, nullptr, nullptr);
    e.tip = ansi;
    self->events_.push_back(std::move(e));
    return TRUE;  // what the sender's Shell_NotifyIcon returns
  }

  HWND hwnd_ = nullptr;
  std::vector<TrayEvent> events_;
};

// ---- a program under test ----

// The Linux side of a Wine process, found through /proc: its argv shows
// the exe's Windows path and its environment our prefix.
struct LinuxView {
  long voluntarySwitches = -1, involuntarySwitches = -1, tasks = -1, rssAnonKiB = -1;
  double cpuMs = -1;  // time on a CPU of its (one) task, to the nanosecond
};

std::string ReadWholeFile(const std::string& path, std::size_t limit = 1 << 16) {
  HANDLE f = ::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, 0, nullptr);
  if (f == INVALID_HANDLE_VALUE) return {};
  std::string s(limit, '\0');
  DWORD got = 0, total = 0;
  while (total < limit && ::ReadFile(f, s.data() + total, static_cast<DWORD>(limit - total), &got, nullptr) && got)
    total += got;
  ::CloseHandle(f);
  s.resize(total);
  return s;
}

int FindLinuxPid(const std::string& exe) {
  const char* prefix = std::getenv("WINEPREFIX");
  const std::string want = std::string("WINEPREFIX=") + (prefix ? prefix : "");
  WIN32_FIND_DATAA fd;
  HANDLE find = ::FindFirstFileA("Z:\\proc\\*", &fd);
  if (find == INVALID_HANDLE_VALUE) return -1;
  int found = -1;
  do {
    const int pid = std::atoi(fd.cFileName);
    if (pid <= 0) continue;
    const std::string dir = Fmt("Z:\\proc\\%d\\", pid);
    const std::string cmd = ReadWholeFile(dir + "cmdline", 4096);
    if (cmd.size() < exe.size() || ::CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, cmd.data(),
                                                    static_cast<int>(exe.size()), exe.data(),
                                                    static_cast<int>(exe.size())) != CSTR_EQUAL)
      continue;
    if (!prefix) {
      found = pid;
      break;
    }
    const std::string env = ReadWholeFile(dir + "environ", 1 << 18);
    for (std::size_t at = 0; at < env.size();) {
      const std::size_t end = env.find('\0', at);
      if (env.compare(at, (end == std::string::npos ? env.size() : end) - at, want) == 0) found = pid;
      if (end == std::string::npos) break;
      at = end + 1;
    }
  } while (found < 0 && ::FindNextFileA(find, &fd));
  ::FindClose(find);
  return found;
}

LinuxView ReadLinuxView(int pid) {
  LinuxView v;
  if (pid <= 0) return v;
  const std::string s = ReadWholeFile(Fmt("Z:\\proc\\%d\\status", pid));
  auto field = [&s](const char* name) -> long {
    const std::size_t at = s.find(name);
    return at == std::string::npos ? -1 : std::atol(s.c_str() + at + std::strlen(name));
  };
  v.voluntarySwitches = field("\nvoluntary_ctxt_switches:");
  v.involuntarySwitches = field("\nnonvoluntary_ctxt_switches:");
  v.tasks = field("\nThreads:");
  v.rssAnonKiB = field("\nRssAnon:");
  // The first figure of each task's schedstat is the nanoseconds it has run.
  WIN32_FIND_DATAA fd;
  HANDLE find = ::FindFirstFileA(Fmt("Z:\\proc\\%d\\task\\*", pid).c_str(), &fd);
  if (find != INVALID_HANDLE_VALUE) {
    double ns = 0;
    bool any = false;
    do {
      if (std::atoi(fd.cFileName) <= 0) continue;
      const std::string sched = ReadWholeFile(Fmt("Z:\\proc\\%d\\task\\%s\\schedstat", pid, fd.cFileName), 256);
      if (sched.empty()) continue;
      ns += std::strtod(sched.c_str(), nullptr);
      any = true;
    } while (::FindNextFileA(find, &fd));
    ::FindClose(find);
    if (any) v.cpuMs = ns / 1e6;
  }
  return v;
}

// The CPUs a Linux process may run on, as /proc shows them.
std::string AllowedCpus(const std::string& procDir) {
  const std::string s = ReadWholeFile(procDir + "status");
  const char* key = "\nCpus_allowed_list:";
  const std::size_t at = s.find(key);
  if (at == std::string::npos) return "?";
  std::size_t from = s.find_first_not_of(" \t", at + std::strlen(key));
  return s.substr(from, s.find('\n', from) - from);
}

struct Memory {
  SIZE_T peakWorkingSet = 0, workingSet = 0, privateUsage = 0, pagefileUsage = 0;
  long rssAnonKiB = -1;
  // Private bytes: PrivateUsage when the system fills it in. Wine 8 fills
  // only the short record for another process; its PagefileUsage, the
  // commit charge on Windows, is then the figure.
  SIZE_T Private() const { return privateUsage ? privateUsage : pagefileUsage; }
};

struct Program {
  Program(std::string n, std::string e, std::string a = {})
      : name(std::move(n)), exe(std::move(e)), args(std::move(a)) {}

  std::string name, exe, args;
  HANDLE process = nullptr;
  DWORD pid = 0, tid = 0;
  HWND hwnd = nullptr;
  UINT callback = 0;
  int linuxPid = -1;
  std::vector<std::string> problems;

  Memory ReadMemory() const {
    PROCESS_MEMORY_COUNTERS_EX m{};
    m.cb = sizeof m;
    Memory r;
    if (::GetProcessMemoryInfo(process, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&m), sizeof m)) {
      r.peakWorkingSet = m.PeakWorkingSetSize;
      r.workingSet = m.WorkingSetSize;
      r.privateUsage = m.PrivateUsage;
      r.pagefileUsage = m.PagefileUsage;
    }
    r.rssAnonKiB = ReadLinuxView(linuxPid).rssAnonKiB;
    return r;
  }

  // CPU time in milliseconds as Linux accounts it.
  double CpuMs() const { return ReadLinuxView(linuxPid).cpuMs; }

  // GetProcessTimes, kernel plus user, in milliseconds. Wine 8 answers it
  // for another process with the caller's own times, so it is shown only
  // beside ours to make that plain.
  double WineCpuMs() const { return ProcessCpuMs(process); }

  static double ProcessCpuMs(HANDLE process) {
    FILETIME c, e, k, u;
    if (!::GetProcessTimes(process, &c, &e, &k, &u)) return NAN;
    auto ticks = [](FILETIME f) { return (static_cast<ULONGLONG>(f.dwHighDateTime) << 32) | f.dwLowDateTime; };
    return static_cast<double>(ticks(k) + ticks(u)) / 1e4;
  }

  int Threads() const {
    HANDLE snap = ::CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snap == INVALID_HANDLE_VALUE) return -1;
    THREADENTRY32 te{};
    te.dwSize = sizeof te;
    int n = 0;
    for (BOOL ok = ::Thread32First(snap, &te); ok; ok = ::Thread32Next(snap, &te))
      if (te.th32OwnerProcessID == pid) ++n;
    ::CloseHandle(snap);
    return n;
  }

  // The modules loaded in the process, by lower-case name, with their
  // image sizes.
  std::map<std::string, DWORD> Modules() const {
    std::map<std::string, DWORD> out;
    std::vector<HMODULE> mods(512);
    DWORD needed = 0;
    if (!::EnumProcessModulesEx(process, mods.data(), static_cast<DWORD>(mods.size() * sizeof(HMODULE)),
                                &needed, LIST_MODULES_ALL))
      return out;
    mods.resize(std::min<std::size_t>(mods.size(), needed / sizeof(HMODULE)));
    for (HMODULE m : mods) {
      char name[MAX_PATH] = {};
      MODULEINFO info{};
      if (!::GetModuleBaseNameA(process, m, name, sizeof name)) continue;
      ::GetModuleInformation(process, m, &info, sizeof info);
      ::CharLowerA(name);
      out[name] = info.SizeOfImage;
    }
    return out;
  }

  bool Alive() const { return process && ::WaitForSingleObject(process, 0) == WAIT_TIMEOUT; }

  void Problem(std::string what) {
    Note("%s: %s", name.c_str(), what.c_str());
    problems.push_back(std::move(what));
  }

  // Starts the program and waits for its NIM_ADD; returns the seconds from
  // just before CreateProcess to the NIM_ADD's arrival, or -1.
  double Start(FakeTray& tray) {
    const std::size_t from = tray.events().size();
    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    std::string cmd = "\"" + exe + "\"" + (args.empty() ? "" : " " + args);
    const double t0 = Seconds();
    if (!::CreateProcessA(exe.c_str(), cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
      Problem(Fmt("cannot start %s: error %lu", exe.c_str(), ::GetLastError()));
      return -1;
    }
    ::CloseHandle(pi.hThread);
    process = pi.hProcess;
    pid = pi.dwProcessId;
    const int i = tray.WaitFor(NIM_ADD, nullptr, from, kStartTimeout, [this](const TrayEvent& e) {
      DWORD owner = 0;
      ::GetWindowThreadProcessId(e.hwnd, &owner);
      return owner == pid;
    });
    if (i < 0) {
      Problem("no NIM_ADD after start");
      Kill();
      return -1;
    }
    const TrayEvent& add = tray.events()[static_cast<std::size_t>(i)];
    hwnd = add.hwnd;
    callback = add.callback;
    tid = ::GetWindowThreadProcessId(hwnd, nullptr);
    if (add.id != kIconId || add.flags != kFullFlags || add.callback != kTrayMessage || add.tip != "Heftmark")
      Problem(Fmt("unexpected NIM_ADD: id %u flags %u callback 0x%X tip \"%s\"", add.id, add.flags,
                  add.callback, add.tip.c_str()));
    return add.at - t0;
  }

  // Ends the loop as a log-off would end it, and waits for the exit.
  bool Stop(FakeTray& tray) {
    if (!process) return false;
    const std::size_t from = tray.events().size();
    ::PostThreadMessageW(tid, WM_QUIT, 0, 0);
    const bool ended = bench::PumpUntil([this] { return !Alive(); }, 15);
    DWORD code = 0;
    if (!ended) {
      Problem("still running 15 s after WM_QUIT");
      Kill();
      return false;
    }
    ::GetExitCodeProcess(process, &code);
    if (code != 0) Problem(Fmt("exit code %lu", code));
    bool deleted = false;
    for (std::size_t i = from; i < tray.events().size(); ++i)
      deleted |= tray.events()[i].message == NIM_DELETE && tray.events()[i].hwnd == hwnd;
    if (!deleted) Problem("no NIM_DELETE before exit");
    Release();
    return code == 0 && deleted;
  }

  void Kill() {
    if (Alive()) {
      ::TerminateProcess(process, 99);
      ::WaitForSingleObject(process, 5000);
    }
    Release();
  }

  void Release() {
    if (process) ::CloseHandle(process);
    process = nullptr;
    pid = tid = 0;
    hwnd = nullptr;
    linuxPid = -1;
  }

  // Posts a mouse move over the icon and waits for the NIM_MODIFY that
  // answers it; returns the round trip in seconds, or -1.
  double Hover(FakeTray& tray, const std::string& expectedTip) {
    const std::size_t from = tray.events().size();
    const double t0 = Seconds();
    ::PostMessageW(hwnd, callback, kIconId, WM_MOUSEMOVE);
    const int i = tray.WaitFor(NIM_MODIFY, hwnd, from, kEventTimeout);
    if (i < 0) {
      Problem("no NIM_MODIFY for a hover");
      DismissBoxes();
      return -1;
    }
    const TrayEvent& e = tray.events()[static_cast<std::size_t>(i)];
    if (e.tip != expectedTip || e.flags != NIF_TIP || e.id != kIconId)
      Problem(Fmt("hover answered with flags %u id %u tip \"%s\", expected \"%s\"", e.flags, e.id,
                  e.tip.c_str(), expectedTip.c_str()));
    return e.at - t0;
  }

  // An error box (say, the clipboard was held) would stop every later hover.
  void DismissBoxes() {
    BoxSearch search{pid, {}};
    ::EnumWindows(&BoxSearch::Collect, reinterpret_cast<LPARAM>(&search));
    for (HWND box : search.boxes) {
      char text[256] = {};
      ::GetDlgItemTextA(box, 0xFFFF, text, sizeof text);
      Problem(Fmt("closed a message box: \"%s\"", text));
      ::PostMessageW(::GetDlgItem(box, IDOK), BM_CLICK, 0, 0);
    }
    bench::PumpFor(0.2);
  }

 private:
  struct BoxSearch {
    DWORD pid;
    std::vector<HWND> boxes;
    static BOOL CALLBACK Collect(HWND h, LPARAM lp) {
      auto* s = reinterpret_cast<BoxSearch*>(lp);
      DWORD owner = 0;
      char cls[16] = {};
      ::GetWindowThreadProcessId(h, &owner);
      ::GetClassNameA(h, cls, sizeof cls);
      if (owner == s->pid && std::strcmp(cls, "#32770") == 0) s->boxes.push_back(h);
      return TRUE;
    }
  };
};

// ---- reporting helpers ----

std::string Ms(double seconds) { return Fmt("%.2f ms", seconds * 1e3); }
std::string Us(double seconds) { return Fmt("%.0f us", seconds * 1e6); }
std::string MiB(SIZE_T bytes) { return Fmt("%.2f MiB", static_cast<double>(bytes) / (1 << 20)); }
std::string KiB(double bytes) { return Fmt("%+.0f KiB", bytes / 1024); }
double Ratio(double a, double b) { return b > 0 ? a / b : NAN; }

int Arg(int argc, char** argv, const char* name, int fallback) {
  for (int i = 1; i + 1 < argc; ++i)
    if (std::strcmp(argv[i], name) == 0) return std::atoi(argv[i + 1]);
  return fallback;
}

std::string StrArg(int argc, char** argv, const char* name) {
  for (int i = 1; i + 1 < argc; ++i)
    if (std::strcmp(argv[i], name) == 0) return argv[i + 1];
  return {};
}

}  // namespace

int main(int argc, char** argv) {
  const int starts = Arg(argc, argv, "--starts", 15);
  const int timedHovers = Arg(argc, argv, "--hovers", 2000);
  const int allHovers = std::max(Arg(argc, argv, "--memory-hovers", 10000), timedHovers);
  const int earlyHovers = std::min(1000, allHovers);
  const int idleSeconds = Arg(argc, argv, "--idle", 10);
  constexpr int kWarmHovers = 20;
  const char* arch = sizeof(void*) == 8 ? "64-bit" : "32-bit";

  Program a{"Heftmark", bench::WinPath(StrArg(argc, argv, "--heftmark"))};
  Program b{"baseline", bench::WinPath(StrArg(argc, argv, "--baseline"))};
  const std::string steps = bench::WinPath(StrArg(argc, argv, "--steps"));
  const std::string stepsManifest = bench::WinPath(StrArg(argc, argv, "--steps-manifest"));
  const int stepRounds = Arg(argc, argv, "--step-rounds", 11);
  const int hoverCpu = Arg(argc, argv, "--hover-cpu", -1);
  if (a.exe.empty() || b.exe.empty()) {
    Note("usage: bench_tray --heftmark EXE --baseline EXE [--steps EXE --steps-manifest EXE] "
         "[--starts N] [--hovers N] [--memory-hovers N] [--idle SECONDS] [--step-rounds N] "
         "[--hover-cpu N]");
    return 2;
  }

  FakeTray tray;
  if (!tray.IsTheShell()) {
    Note("FindWindow does not find our Shell_TrayWnd first");
    return 1;
  }
  if (::FindWindowA("TApplication", "Heftmark")) {
    Note("a Heftmark is already running in this prefix");
    return 1;
  }

  // A text on the clipboard, as after a copy: CF_TEXT plus the formats the
  // system derives from it.
  if (!bench::FillClipboard(tray.hwnd(), {{CF_TEXT, 2048}})) {
    Note("cannot fill the clipboard");
    return 1;
  }
  int formats = 0;
  const unsigned long long total = bench::ClipboardTotal(tray.hwnd(), &formats);
  const std::string tip = bench::ExpectedTip(total);
  Note("tray %s: clipboard holds %d formats, %llu bytes: \"%s\"", arch, formats, total, tip.c_str());

  // ---- start-up: A B A B, each run ended before the next starts ----
  std::vector<double> startA, startB, startCpuA, startCpuB;
  for (int r = -1; r < starts; ++r) {  // round -1 warms the file cache
    for (Program* p : {&a, &b}) {
      const double t = p->Start(tray);
      if (t >= 0 && r >= 0) {
        (p == &a ? startA : startB).push_back(t);
        p->linuxPid = FindLinuxPid(p->exe);
        (p == &a ? startCpuA : startCpuB).push_back(p->CpuMs());
      }
      p->Stop(tray);
    }
  }
  Note("tray %s: start-up median %s vs %s", arch, Ms(bench::Median(startA)).c_str(),
       Ms(bench::Median(startB)).c_str());

  // ---- what the start-up difference is made of: the yardstick with
  // Heftmark's steps added one at a time, round robin ----
  struct Step {
    Program program;
    std::vector<double> times, cpu;
    std::vector<double> peak, priv;
    std::size_t modules = 0;
  };
  std::vector<Step> stepRuns;
  if (!steps.empty() && !stepsManifest.empty()) {
    stepRuns.push_back({Program("baseline", b.exe), {}, {}, {}, {}, 0});
    stepRuns.push_back({Program("+ COM initialised (CoInitialize)", steps, "--com"), {}, {}, {}, {}, 0});
    stepRuns.push_back({Program("+ a hidden About window with its 7 controls", steps, "--about"), {}, {}, {}, {}, 0});
    stepRuns.push_back({Program("+ an application window shown minimised, then hidden", steps, "--minimize"), {}, {}, {}, {}, 0});
    stepRuns.push_back({Program("+ Heftmark's manifest", stepsManifest), {}, {}, {}, {}, 0});
    stepRuns.push_back({Program("+ Heftmark's manifest + the About window", stepsManifest, "--about"), {}, {}, {}, {}, 0});
    stepRuns.push_back({Program("+ all of the above", stepsManifest, "--com --about --minimize"), {}, {}, {}, {}, 0});
    stepRuns.push_back({Program("Heftmark", a.exe), {}, {}, {}, {}, 0});
    for (int r = -1; r < stepRounds; ++r)
      for (Step& st : stepRuns) {
        const double t = st.program.Start(tray);
        if (t >= 0 && r >= 0) {
          st.times.push_back(t);
          st.program.linuxPid = FindLinuxPid(st.program.exe);
          st.cpu.push_back(st.program.CpuMs());
          const Memory m = st.program.ReadMemory();
          st.peak.push_back(static_cast<double>(m.peakWorkingSet));
          st.priv.push_back(static_cast<double>(m.Private()));
          st.modules = st.program.Modules().size();
        }
        st.program.Stop(tray);
      }
  }

  // ---- one long run of each, side by side ----
  if (a.Start(tray) < 0 || b.Start(tray) < 0) return 1;
  a.linuxPid = FindLinuxPid(a.exe);
  b.linuxPid = FindLinuxPid(b.exe);
  bench::PumpFor(1.0);
  const Memory memStartA = a.ReadMemory(), memStartB = b.ReadMemory();
  const auto modulesA = a.Modules(), modulesB = b.Modules();
  // One CPU for both programs while they hover. Free to move, each wake-up
  // finds an idle CPU or not, and the round trip splits into two modes
  // whose shares flip the median from one run to the next. (Wine does not
  // pass our own affinity on to Linux, so the harness stays free.)
  DWORD_PTR processMask = 0, systemMask = 0;
  ::GetProcessAffinityMask(::GetCurrentProcess(), &processMask, &systemMask);
  DWORD_PTR hoverMask = 0;
  for (int cpu = 8 * static_cast<int>(sizeof(DWORD_PTR)) - 1; cpu >= 0 && !hoverMask; --cpu)
    if (processMask >> cpu & 1) hoverMask = DWORD_PTR{1} << cpu;
  if (hoverCpu >= 0) hoverMask = DWORD_PTR{1} << hoverCpu;
  for (HANDLE h : {a.process, b.process}) ::SetProcessAffinityMask(h, hoverMask);
  const std::string pinned = Fmt("Heftmark %s, baseline %s", AllowedCpus(Fmt("Z:\\proc\\%d\\", a.linuxPid)).c_str(),
                                 AllowedCpus(Fmt("Z:\\proc\\%d\\", b.linuxPid)).c_str());
  Note("tray %s: hovers pinned to CPUs: %s", arch, pinned.c_str());
  const double cpuA0 = a.CpuMs(), cpuB0 = b.CpuMs();
  const double wineA0 = a.WineCpuMs(), wineB0 = b.WineCpuMs();
  const double self0 = Program::ProcessCpuMs(::GetCurrentProcess());

  std::vector<double> hoverA, hoverB;
  Memory memEarlyA, memEarlyB;
  for (int i = 0; i <= kWarmHovers + allHovers; ++i) {
    const int done = i - kWarmHovers;  // hovers counted so far, warm-up aside
    if (done == earlyHovers) memEarlyA = a.ReadMemory(), memEarlyB = b.ReadMemory();
    if (done == allHovers) break;
    const double ta = a.Hover(tray, tip);
    const double tb = b.Hover(tray, tip);
    if (done >= 0 && done < timedHovers) {
      if (ta >= 0) hoverA.push_back(ta);
      if (tb >= 0) hoverB.push_back(tb);
    }
  }
  const Memory memEndA = a.ReadMemory(), memEndB = b.ReadMemory();
  const double cpuHoverA = a.CpuMs() - cpuA0, cpuHoverB = b.CpuMs() - cpuB0;
  const double wineHoverA = a.WineCpuMs() - wineA0, wineHoverB = b.WineCpuMs() - wineB0;
  const double selfHover = Program::ProcessCpuMs(::GetCurrentProcess()) - self0;
  for (HANDLE h : {a.process, b.process}) ::SetProcessAffinityMask(h, processMask);
  Note("tray %s: hover median %s vs %s", arch, Us(bench::Median(hoverA)).c_str(),
       Us(bench::Median(hoverB)).c_str());

  // ---- idle: no input at all, both measured over the same seconds ----
  const int threadsA0 = a.Threads(), threadsB0 = b.Threads();
  const LinuxView linA0 = ReadLinuxView(a.linuxPid), linB0 = ReadLinuxView(b.linuxPid);
  const double idleA0 = a.CpuMs(), idleB0 = b.CpuMs();
  bench::PumpFor(idleSeconds);
  const double idleA = a.CpuMs() - idleA0, idleB = b.CpuMs() - idleB0;
  const LinuxView linA1 = ReadLinuxView(a.linuxPid), linB1 = ReadLinuxView(b.linuxPid);
  const int threadsA1 = a.Threads(), threadsB1 = b.Threads();
  const bool seenA = a.linuxPid > 0 && linA0.voluntarySwitches >= 0 && linA0.cpuMs >= 0;
  const bool seenB = b.linuxPid > 0 && linB0.voluntarySwitches >= 0 && linB0.cpuMs >= 0;
  const long wakeA = linA1.voluntarySwitches - linA0.voluntarySwitches;
  const long wakeB = linB1.voluntarySwitches - linB0.voluntarySwitches;

  a.Stop(tray);
  b.Stop(tray);
  bench::EmptyTheClipboard(tray.hwnd());

  // ---- report ----
  std::printf("### Hover round trip, %s\n\n", arch);
  std::printf(
      "From posting WM_TRAYICON (wParam 1, lParam WM_MOUSEMOVE) to the form's window until the "
      "fake notification area receives the matching NIM_MODIFY. %d hovers of each program after %d "
      "untimed ones, alternating A B A B, both programs running side by side and, for the hovers, "
      "pinned to the same one CPU (Linux's view of their allowed CPUs: %s). The clipboard holds a "
      "%d-byte CF_TEXT block, listed as %d formats (%llu bytes); every answer was checked to carry "
      "the tip \"%s\".\n\n",
      timedHovers, kWarmHovers, pinned.c_str(), 2048, formats, total, tip.c_str());
  bench::Table hover({"program", "median", "p99", "p90", "min", "max", "CPU per hover"});
  auto hoverRow = [&](const char* who, const std::vector<double>& v, double cpu) {
    hover.Row({who, Us(bench::Median(v)), Us(bench::Percentile(v, 0.99)), Us(bench::Percentile(v, 0.90)),
               Us(bench::Percentile(v, 0)), Us(bench::Percentile(v, 1)),
               cpu >= 0 ? Fmt("%.1f us", cpu * 1e3 / (kWarmHovers + allHovers)) : std::string("n/a")});
  };
  hoverRow("Heftmark", hoverA, cpuHoverA);
  hoverRow("baseline", hoverB, cpuHoverB);
  const double hoverMedRatio = Ratio(bench::Median(hoverA), bench::Median(hoverB));
  const double hoverP99Ratio = Ratio(bench::Percentile(hoverA, 0.99), bench::Percentile(hoverB, 0.99));
  hover.Row({"**ratio**", Fmt("**%.3f**", hoverMedRatio), Fmt("**%.3f**", hoverP99Ratio),
             Fmt("%.3f", Ratio(bench::Percentile(hoverA, 0.9), bench::Percentile(hoverB, 0.9))),
             Fmt("%.3f", Ratio(bench::Percentile(hoverA, 0), bench::Percentile(hoverB, 0))), "",
             Fmt("%.3f", Ratio(cpuHoverA, cpuHoverB))});
  hover.Print();
  std::string blocks;
  constexpr std::size_t kBlock = 500;
  for (std::size_t at = 0; at + kBlock <= std::min(hoverA.size(), hoverB.size()); at += kBlock) {
    const std::vector<double> x(hoverA.begin() + static_cast<std::ptrdiff_t>(at),
                                hoverA.begin() + static_cast<std::ptrdiff_t>(at + kBlock));
    const std::vector<double> y(hoverB.begin() + static_cast<std::ptrdiff_t>(at),
                                hoverB.begin() + static_cast<std::ptrdiff_t>(at + kBlock));
    blocks += (blocks.empty() ? "" : "; ") + Fmt("%.3f / %.3f", Ratio(bench::Median(x), bench::Median(y)),
                                                Ratio(bench::Percentile(x, 0.99), bench::Percentile(y, 0.99)));
  }
  std::printf(
      "Median and p99 ratios in consecutive blocks of %zu hovers, to show the noise: %s. CPU per "
      "hover is the program's time on a CPU over all %d hovers, as Linux accounts it "
      "(/proc/PID/schedstat, in nanoseconds), divided by their number; it leaves out the Wine "
      "server's share.\n\n",
      kBlock, blocks.c_str(), kWarmHovers + allHovers);
  bench::RatioGoal(Fmt("Hover %s: median, Heftmark / baseline", arch), hoverMedRatio, 1.10);
  bench::RatioGoal(Fmt("Hover %s: p99, Heftmark / baseline", arch), hoverP99Ratio, 1.10);

  std::printf("### Start-up, %s\n\n", arch);
  std::printf(
      "From just before CreateProcess until the fake notification area receives NIM_ADD. %d starts "
      "of each, alternating A B A B after one untimed start of each; every run is ended (WM_QUIT "
      "posted to its window's thread, NIM_DELETE seen, exit code 0) before the next begins.\n\n",
      starts);
  bench::Table start({"program", "median", "min", "max", "CPU time by NIM_ADD (median)", "every start, in order"});
  auto all = [](const std::vector<double>& v) {
    std::string s;
    for (double x : v) s += (s.empty() ? "" : " ") + Fmt("%.0f", x * 1e3);
    return s + " ms";
  };
  start.Row({"Heftmark", Ms(bench::Median(startA)), Ms(bench::Percentile(startA, 0)), Ms(bench::Percentile(startA, 1)),
             Fmt("%.2f ms", bench::Median(startCpuA)), all(startA)});
  start.Row({"baseline", Ms(bench::Median(startB)), Ms(bench::Percentile(startB, 0)), Ms(bench::Percentile(startB, 1)),
             Fmt("%.2f ms", bench::Median(startCpuB)), all(startB)});
  const double startRatio = Ratio(bench::Median(startA), bench::Median(startB));
  std::vector<double> paired;
  for (std::size_t i = 0; i < std::min(startA.size(), startB.size()); ++i) paired.push_back(startA[i] / startB[i]);
  start.Row({"**ratio**", Fmt("**%.3f**", startRatio), Fmt("%.3f", Ratio(bench::Percentile(startA, 0), bench::Percentile(startB, 0))),
             "", Fmt("%.3f", Ratio(bench::Median(startCpuA), bench::Median(startCpuB))),
             Fmt("median of the %zu per-round ratios: %.3f", paired.size(), bench::Median(paired))});
  start.Print();
  std::printf(
      "The CPU time is the new process's own, as Linux accounts it (/proc/PID/task/*/schedstat), "
      "read just after its NIM_ADD arrived: unlike the elapsed time it does not grow while the "
      "process waits for a CPU that other work holds, but it leaves out the Wine server's share.\n\n");
  bench::RatioGoal(Fmt("Start-up %s: median, Heftmark / baseline", arch), startRatio, 1.20);

  if (!stepRuns.empty()) {
    std::printf("#### What Heftmark's start-up adds, %s\n\n", arch);
    std::printf(
        "The yardstick again, with the start-up steps that Heftmark takes beyond it added one at a "
        "time (the same source built with them behind flags, and once more with Heftmark's "
        "manifest). %d starts of each, round robin after one untimed round; memory is read when "
        "NIM_ADD arrives. A step's cost is its median (or its minimum, the least disturbed by other "
        "load) minus the baseline's; the CPU time, counted as in the table above, is the figure "
        "that other load disturbs least.\n\n",
        stepRounds);
    bench::Table st({"start-up with", "median", "minus baseline", "min", "minus baseline",
                     "CPU by NIM_ADD", "minus baseline", "peak working set", "private bytes", "modules"});
    const double base = bench::Median(stepRuns.front().times);
    const double baseMin = bench::Percentile(stepRuns.front().times, 0);
    const double baseCpu = bench::Median(stepRuns.front().cpu);
    const double basePriv = bench::Median(stepRuns.front().priv);
    for (const Step& r : stepRuns) {
      const double m = bench::Median(r.times), lo = bench::Percentile(r.times, 0);
      const double c = bench::Median(r.cpu);
      st.Row({r.program.name, Ms(m), Fmt("%+.2f ms", (m - base) * 1e3), Ms(lo), Fmt("%+.2f ms", (lo - baseMin) * 1e3),
              Fmt("%.2f ms", c), Fmt("%+.2f ms", c - baseCpu),
              MiB(static_cast<SIZE_T>(bench::Median(r.peak))),
              MiB(static_cast<SIZE_T>(bench::Median(r.priv))) + " (" + KiB(bench::Median(r.priv) - basePriv) + ")",
              Fmt("%zu", r.modules)});
    }
    st.Print();
  }

  std::printf("### Memory, %s\n\n", arch);
  const bool wineShort = memStartA.privateUsage == 0 && memStartB.privateUsage == 0;
  std::printf(
      "GetProcessMemoryInfo on each child (PROCESS_MEMORY_COUNTERS_EX), 1 s after its NIM_ADD and "
      "after %d and %d hovers. %s\n\n",
      earlyHovers, allHovers,
      wineShort ? "Wine 8 leaves PrivateUsage at 0 for another process, so private bytes are its "
                  "PagefileUsage, which Windows defines as the same commit charge and Wine takes "
                  "from the Linux process's anonymous resident memory (RssAnon + VmSwap; the last "
                  "column reads RssAnon from /proc to show it). Both figures include what Wine "
                  "itself maps into every process."
                : "");
  bench::Table mem({"", "Heftmark", "baseline", "Heftmark / baseline"});
  auto memRow = [&](const std::string& what, SIZE_T x, SIZE_T y) {
    mem.Row({what, MiB(x), MiB(y), Fmt("%.3f", Ratio(static_cast<double>(x), static_cast<double>(y)))});
  };
  memRow("peak working set, after start", memStartA.peakWorkingSet, memStartB.peakWorkingSet);
  memRow("private bytes, after start", memStartA.Private(), memStartB.Private());
  memRow(Fmt("peak working set, after %d hovers", allHovers), memEndA.peakWorkingSet, memEndB.peakWorkingSet);
  memRow(Fmt("private bytes, after %d hovers", allHovers), memEndA.Private(), memEndB.Private());
  const double growA = static_cast<double>(memEndA.Private()) - static_cast<double>(memEarlyA.Private());
  const double growB = static_cast<double>(memEndB.Private()) - static_cast<double>(memEarlyB.Private());
  const double growPeakA = static_cast<double>(memEndA.peakWorkingSet) - static_cast<double>(memEarlyA.peakWorkingSet);
  const double growPeakB = static_cast<double>(memEndB.peakWorkingSet) - static_cast<double>(memEarlyB.peakWorkingSet);
  mem.Row({Fmt("private bytes, growth from %d to %d hovers", earlyHovers, allHovers), KiB(growA), KiB(growB), ""});
  mem.Row({Fmt("peak working set, growth from %d to %d hovers", earlyHovers, allHovers), KiB(growPeakA), KiB(growPeakB), ""});
  mem.Row({"RssAnon from /proc, after start / at the end",
           Fmt("%ld / %ld KiB", memStartA.rssAnonKiB, memEndA.rssAnonKiB),
           Fmt("%ld / %ld KiB", memStartB.rssAnonKiB, memEndB.rssAnonKiB), ""});
  mem.Print();
  {
    std::string extra;
    unsigned long long extraBytes = 0;
    for (const auto& [name, size] : modulesA)
      if (!modulesB.count(name)) {
        extra += (extra.empty() ? "" : ", ") + name + Fmt(" (%u KiB)", static_cast<unsigned>(size / 1024));
        extraBytes += size;
      }
    std::string fewer;
    for (const auto& [name, size] : modulesB)
      if (!modulesA.count(name)) fewer += (fewer.empty() ? "" : ", ") + name;
    std::printf(
        "Modules loaded after start (EnumProcessModulesEx): Heftmark %zu, baseline %zu. Loaded by "
        "Heftmark only: %s; %.1f MiB of images in all.%s\n\n",
        modulesA.size(), modulesB.size(), extra.empty() ? "none" : extra.c_str(),
        static_cast<double>(extraBytes) / (1 << 20),
        fewer.empty() ? "" : (" Loaded by the baseline only: " + fewer + ".").c_str());
  }
  const auto memGoal = [&](const std::string& what, SIZE_T x, SIZE_T y) {
    bench::RatioGoal(Fmt("Memory %s: %s, Heftmark / baseline", arch, what.c_str()),
                     Ratio(static_cast<double>(x), static_cast<double>(y)), 1.20);
  };
  memGoal("peak working set after start", memStartA.peakWorkingSet, memStartB.peakWorkingSet);
  memGoal("private bytes after start", memStartA.Private(), memStartB.Private());
  memGoal(Fmt("peak working set after %d hovers", allHovers), memEndA.peakWorkingSet, memEndB.peakWorkingSet);
  memGoal(Fmt("private bytes after %d hovers", allHovers), memEndA.Private(), memEndB.Private());
  // The counters move in pages: one page either way is their resolution.
  const double noise = std::max(0.0, std::max(growB, growPeakB)) + kPage;
  bench::Goal(Fmt("Memory %s: growth from %d to %d hovers (private, peak working set)", arch, earlyHovers, allHovers),
              KiB(growA) + ", " + KiB(growPeakA),
              "<= baseline's growth + 1 page = " + KiB(noise), growA <= noise && growPeakA <= noise);

  std::printf("### Idle, %s\n\n", arch);
  std::printf(
      "%d s with no input, both programs measured over the same seconds, after the hovers above. "
      "CPU time is the process's time on a CPU as Linux accounts it (/proc/PID/schedstat, in "
      "nanoseconds; each Wine process here is one Linux task). Threads are counted with "
      "CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD), and the Linux process's tasks from /proc. "
      "Wake-ups are the task's voluntary context switches: a thread blocked in its message wait "
      "switches once each time anything wakes it, so a timer would show here at every period.\n\n",
      idleSeconds);
  bench::Table idle({"", "Heftmark", "baseline"});
  auto cpu = [](bool seen, double ms) { return seen ? Fmt("%.3f ms", ms) : std::string("not found"); };
  idle.Row({Fmt("CPU time over %d s", idleSeconds), cpu(seenA, idleA), cpu(seenB, idleB)});
  idle.Row({"threads before / after (Toolhelp)", Fmt("%d / %d", threadsA0, threadsA1), Fmt("%d / %d", threadsB0, threadsB1)});
  auto lin = [](bool seen, long x0, long x1) { return seen ? Fmt("%ld / %ld", x0, x1) : std::string("not found"); };
  idle.Row({"Linux tasks before / after", lin(seenA, linA0.tasks, linA1.tasks), lin(seenB, linB0.tasks, linB1.tasks)});
  idle.Row({Fmt("wake-ups over %d s", idleSeconds), seenA ? Fmt("%ld", wakeA) : "not found", seenB ? Fmt("%ld", wakeB) : "not found"});
  idle.Row({Fmt("for scale: CPU time over the %d hovers", kWarmHovers + allHovers), cpu(seenA, cpuHoverA), cpu(seenB, cpuHoverB)});
  idle.Row({"GetProcessTimes on the child over the hovers", Fmt("%.0f ms", wineHoverA), Fmt("%.0f ms", wineHoverB)});
  idle.Print();
  std::printf(
      "GetProcessTimes is not used for the figures: under Wine 8 it answers for another process "
      "with the caller's own times (over the same hovers the harness's own GetProcessTimes moved "
      "%.0f ms, the same as both children's above), and it counts in 10 ms ticks.\n\n",
      selfHover);
  bench::Goal(Fmt("Idle %s: CPU time over %d s", arch, idleSeconds), cpu(seenA, idleA), "0 ms", seenA && idleA == 0);
  bench::Goal(Fmt("Idle %s: threads before / after", arch), Fmt("%d / %d", threadsA0, threadsA1),
              "no thread of its own", threadsA0 == threadsA1 && threadsA0 == threadsB0);
  bench::Goal(Fmt("Idle %s: wake-ups over %d s (a timer would wake it)", arch, idleSeconds),
              seenA ? Fmt("%ld", wakeA) : "not found", "0", seenA && wakeA == 0);

  std::vector<std::string> problems;
  for (const Program* p : {&a, &b})
    for (const auto& what : p->problems) problems.push_back(p->name + ": " + what);
  if (!problems.empty()) {
    std::printf("Problems seen in this run (%zu):\n\n", problems.size());
    std::map<std::string, int> counted;
    for (auto& p : problems) ++counted[p];
    for (auto& [p, n] : counted) std::printf("- %s (x%d)\n", p.c_str(), n);
    std::printf("\n");
  }
  std::fflush(stdout);
  return 0;
}
