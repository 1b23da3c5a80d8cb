// The installer and uninstaller, run silently as a deployment tool would,
// with the installed Heftmark talking to a fake notification area.
#include <windows.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "harness.h"
#include "release_files.h"

namespace {

constexpr wchar_t kUninstallList[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
constexpr wchar_t kUninstallKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Heftmark";
constexpr wchar_t kRunKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr wchar_t kValueName[] = L"Heftmark";
constexpr const wchar_t* kInstalledFiles[] = {L"Heftmark.exe", L"readme.doc", L"LICENSE.txt", L"uninstall.exe"};
constexpr const wchar_t* kShortcuts[] = {L"Heftmark.lnk", L"Heftmark manual.lnk"};
constexpr DWORD kSetupTimeoutMs = 60000;
// The uninstaller's last files go a couple of seconds after it has ended.
constexpr DWORD kSettleTimeoutMs = 15000;

std::wstring Folder(int csidl) {
  wchar_t path[MAX_PATH] = {};
  ::SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path);
  return path;
}

std::wstring ProgramsDir() { return Folder(CSIDL_LOCAL_APPDATA) + L"\\Programs"; }
std::wstring InstallDir() { return ProgramsDir() + L"\\Heftmark"; }
std::wstring InstalledExe() { return InstallDir() + L"\\Heftmark.exe"; }
std::wstring MenuDir() { return Folder(CSIDL_PROGRAMS) + L"\\Heftmark"; }
std::wstring SetupExe() { return release::Out(L"Heftmark-2.6-setup.exe"); }

std::optional<std::wstring> RegString(HKEY root, const wchar_t* key, const wchar_t* name) {
  wchar_t buf[1024] = {};
  DWORD size = sizeof buf - sizeof(wchar_t);
  if (::RegGetValueW(root, key, name, RRF_RT_REG_SZ, nullptr, buf, &size) != ERROR_SUCCESS) return std::nullopt;
  return std::wstring(buf);
}

std::optional<DWORD> RegDword(HKEY root, const wchar_t* key, const wchar_t* name) {
  DWORD value = 0, size = sizeof value;
  if (::RegGetValueW(root, key, name, RRF_RT_REG_DWORD, nullptr, &value, &size) != ERROR_SUCCESS)
    return std::nullopt;
  return value;
}

bool KeyExists(HKEY root, const wchar_t* key) {
  HKEY h = nullptr;
  if (::RegOpenKeyExW(root, key, 0, KEY_READ, &h) != ERROR_SUCCESS) return false;
  ::RegCloseKey(h);
  return true;
}

// This test is a 32-bit program, so it runs under WOW64 exactly when
// Windows is 64-bit.
bool Is64BitWindows() {
  BOOL wow = FALSE;
  return ::IsWow64Process(::GetCurrentProcess(), &wow) && wow;
}

bool Exited(HANDLE process) { return ::WaitForSingleObject(process, 0) == WAIT_OBJECT_0; }

// Runs a command line to its end while pumping: Heftmark's calls to the
// shell are messages sent to our fake tray. The exit code, or -1.
long long RunToEnd(std::wstring command, DWORD timeoutMs = kSetupTimeoutMs) {
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  if (!::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return -1;
  ::CloseHandle(pi.hThread);
  long long code = -1;
  if (e2e::PumpUntil([&] { return Exited(pi.hProcess); }, timeoutMs)) {
    DWORD c = 0;
    ::GetExitCodeProcess(pi.hProcess, &c);
    code = c;
  }
  ::CloseHandle(pi.hProcess);
  return code;
}

std::wstring ShortcutTarget(const std::wstring& link) {
  std::wstring target = L"<unreadable>";
  IShellLinkW* shell = nullptr;
  if (FAILED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                reinterpret_cast<void**>(&shell))))
    return target;
  IPersistFile* file = nullptr;
  if (SUCCEEDED(shell->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
    wchar_t path[MAX_PATH] = {};
    if (SUCCEEDED(file->Load(link.c_str(), STGM_READ)) &&
        SUCCEEDED(shell->GetPath(path, MAX_PATH, nullptr, SLGP_RAWPATH)))
      target = path;
    file->Release();
  }
  shell->Release();
  return target;
}

std::wstring Lower(std::wstring s) {
  for (wchar_t& c : s) c = static_cast<wchar_t>(::towlower(c));
  return s;
}

// The process behind an icon, opened to wait on and to read its exit code.
struct Process {
  HANDLE handle = nullptr;
  ~Process() {
    if (handle) ::CloseHandle(handle);
  }
  std::wstring Image() const {
    wchar_t path[MAX_PATH] = {};
    DWORD n = MAX_PATH;
    return ::QueryFullProcessImageNameW(handle, 0, path, &n) ? path : L"<unknown>";
  }
  // Pumps while waiting; the exit code, or -1 if it still runs.
  long long WaitExit(DWORD timeoutMs = e2e::kEventTimeoutMs) const {
    if (!e2e::PumpUntil([&] { return Exited(handle); }, timeoutMs)) return -1;
    DWORD code = 0;
    ::GetExitCodeProcess(handle, &code);
    return code;
  }
};

void OpenWindowProcess(HWND window, Process& p) {
  DWORD pid = 0;
  ::GetWindowThreadProcessId(window, &pid);
  p.handle = ::OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION | PROCESS_TERMINATE, FALSE, pid);
}

// Puts the prefix back after a step that failed half-way: a Heftmark still
// running from the install folder, and every file, shortcut and value the
// installer makes. Does nothing after a clean uninstall.
void Scrub() {
  if (HWND app = ::FindWindowA("TApplication", "Heftmark")) {
    Process p;
    OpenWindowProcess(app, p);
    if (p.handle && Lower(p.Image()) == Lower(InstalledExe())) {
      ::TerminateProcess(p.handle, 99);
      ::WaitForSingleObject(p.handle, 5000);
    }
  }
  for (const wchar_t* f : kInstalledFiles) ::DeleteFileW((InstallDir() + L"\\" + f).c_str());
  ::RemoveDirectoryW(InstallDir().c_str());
  ::RemoveDirectoryW(ProgramsDir().c_str());
  for (const wchar_t* f : kShortcuts) ::DeleteFileW((MenuDir() + L"\\" + f).c_str());
  ::RemoveDirectoryW(MenuDir().c_str());
  ::RegDeleteKeyValueW(HKEY_CURRENT_USER, kRunKey, kValueName);
  ::RegDeleteTreeW(HKEY_CURRENT_USER, kUninstallKey);
  // The list's own key, if nothing else is in it.
  HKEY list = nullptr;
  if (::RegOpenKeyExW(HKEY_CURRENT_USER, kUninstallList, 0, KEY_READ, &list) == ERROR_SUCCESS) {
    DWORD subkeys = 1, values = 1;
    ::RegQueryInfoKeyW(list, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values, nullptr, nullptr,
                       nullptr, nullptr);
    ::RegCloseKey(list);
    if (subkeys == 0 && values == 0) ::RegDeleteKeyW(HKEY_CURRENT_USER, kUninstallList);
  }
}

class Install : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { ::CoInitialize(nullptr); }
  static void TearDownTestSuite() { ::CoUninitialize(); }

  void SetUp() override {
    ASSERT_TRUE(tray.IsTheShell()) << "FindWindow does not find the fake tray first";
    ASSERT_TRUE(release::Exists(SetupExe())) << release::Narrow(SetupExe());
    Scrub();
    ASSERT_EQ(::FindWindowA("TApplication", "Heftmark"), nullptr) << "a Heftmark is already running";
    ASSERT_FALSE(release::Exists(InstallDir())) << "something else is in the install folder";
    registry = release::Registry();
    folders = release::UserFolders();
  }

  void TearDown() override {
    program.Kill();
    Scrub();
  }

  void InstallSilently() {
    const long long code = RunToEnd(L"\"" + SetupExe() + L"\" /S");
    ASSERT_EQ(code, 0) << "the installer failed (2: it gave up on a running Heftmark; -1: no end)";
  }

  // Files, shortcuts, the start at sign-in and the entry in the list of
  // installed programs.
  void ExpectInstalled() {
    const char* arch = Is64BitWindows() ? "win64" : "win32";
    for (const wchar_t* f : kInstalledFiles) {
      const std::wstring path = InstallDir() + L"\\" + f;
      ASSERT_TRUE(release::Exists(path)) << release::Narrow(path);
      if (std::wstring(f) != L"uninstall.exe") {
        EXPECT_TRUE(release::SameFile(path, release::Unpacked(arch, f))) << "not the one in the " << arch << " zip";
      }
    }
    EXPECT_EQ(Lower(ShortcutTarget(MenuDir() + L"\\Heftmark.lnk")), Lower(InstalledExe()));
    EXPECT_EQ(Lower(ShortcutTarget(MenuDir() + L"\\Heftmark manual.lnk")), Lower(InstallDir() + L"\\readme.doc"));
    EXPECT_EQ(RegString(HKEY_CURRENT_USER, kRunKey, kValueName), L"\"" + InstalledExe() + L"\"");

    const std::wstring uninstaller = L"\"" + InstallDir() + L"\\uninstall.exe\"";
    const std::pair<const wchar_t*, std::wstring> strings[] = {
        {L"DisplayName", L"Heftmark"},
        {L"DisplayVersion", L"2.6.0.0"},
        {L"DisplayIcon", InstalledExe()},
        {L"Publisher", L"Tallowgate Software"},
        {L"InstallLocation", InstallDir()},
        {L"UninstallString", uninstaller + L" _?=" + InstallDir()},
        {L"QuietUninstallString", uninstaller + L" /S _?=" + InstallDir()},
    };
    for (const auto& [name, want] : strings) {
      EXPECT_EQ(RegString(HKEY_CURRENT_USER, kUninstallKey, name), want) << release::Narrow(name);
    }
    EXPECT_EQ(RegDword(HKEY_CURRENT_USER, kUninstallKey, L"NoModify"), 1u);
    EXPECT_EQ(RegDword(HKEY_CURRENT_USER, kUninstallKey, L"NoRepair"), 1u);
    unsigned long long bytes = 0;
    for (const wchar_t* f : kInstalledFiles) bytes += release::ReadFile(InstallDir() + L"\\" + f).size();
    const auto kb = RegDword(HKEY_CURRENT_USER, kUninstallKey, L"EstimatedSize");
    ASSERT_TRUE(kb.has_value());
    EXPECT_NEAR(static_cast<double>(*kb), static_cast<double>(bytes) / 1024, 4.0);
  }

  // Starts the installed Heftmark and waits for its icon.
  void StartInstalled() {
    const std::size_t from = tray.events().size();
    ASSERT_TRUE(program.Start(release::Narrow(InstalledExe()))) << "error " << ::GetLastError();
    const int i = tray.WaitFor(NIM_ADD, from, e2e::kStartTimeoutMs);
    ASSERT_GE(i, 0) << "no NIM_ADD; received " << e2e::Describe(tray.Since(from));
    add = tray.events()[static_cast<std::size_t>(i)];
    EXPECT_EQ(add.tip, "Heftmark");
  }

  // True once the icon of `icon` has been removed, at index `from` or later.
  bool WaitForDelete(const e2e::TrayEvent& icon, std::size_t from) {
    return e2e::PumpUntil([&] {
      for (const auto& e : tray.Since(from, NIM_DELETE))
        if (e.hwnd == icon.hwnd && e.id == icon.id) return true;
      return false;
    });
  }

  // What a deployment tool does: runs the quiet uninstall command from the
  // list of installed programs.
  void UninstallSilently() {
    const auto command = RegString(HKEY_CURRENT_USER, kUninstallKey, L"QuietUninstallString");
    ASSERT_TRUE(command.has_value());
    ASSERT_EQ(RunToEnd(*command), 0) << release::Narrow(*command);
  }

  // The user's folders and the registry are as before the first install.
  void ExpectNothingLeft() {
    e2e::PumpUntil([&] { return release::UserFolders() == folders; }, kSettleTimeoutMs);
    EXPECT_EQ(release::Differences(folders, release::UserFolders()), "");
    EXPECT_EQ(release::Differences(registry, release::Registry()), "");
  }

  e2e::FakeTray tray;
  e2e::Program program;
  e2e::TrayEvent add;
  release::Snapshot registry, folders;
};

TEST_F(Install, SilentInstallThenUninstallWhileRunningLeavesNothing) {
  ASSERT_NO_FATAL_FAILURE(InstallSilently());
  ASSERT_NO_FATAL_FAILURE(ExpectInstalled());
  ASSERT_NO_FATAL_FAILURE(StartInstalled());

  const std::size_t from = tray.events().size();
  ASSERT_NO_FATAL_FAILURE(UninstallSilently());
  // Ended as its Exit command ends it: the icon removed, exit code 0.
  EXPECT_TRUE(WaitForDelete(add, from)) << "received " << e2e::Describe(tray.Since(from));
  DWORD code = 0;
  ASSERT_TRUE(program.WaitExit(e2e::kEventTimeoutMs, &code)) << "Heftmark still runs after the uninstall";
  EXPECT_EQ(code, 0u);
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kUninstallKey));
  ExpectNothingLeft();
}

TEST_F(Install, InstallOverARunningInstallationReplacesIt) {
  ASSERT_NO_FATAL_FAILURE(InstallSilently());
  ASSERT_NO_FATAL_FAILURE(StartInstalled());
  const e2e::TrayEvent first = add;

  const std::size_t from = tray.events().size();
  ASSERT_NO_FATAL_FAILURE(InstallSilently());
  EXPECT_TRUE(WaitForDelete(first, from)) << "received " << e2e::Describe(tray.Since(from));
  DWORD code = 0;
  ASSERT_TRUE(program.WaitExit(e2e::kEventTimeoutMs, &code));
  EXPECT_EQ(code, 0u) << "the old Heftmark did not end cleanly";
  ASSERT_NO_FATAL_FAILURE(ExpectInstalled());

  // The installer puts a new Heftmark in the place of the one it ended.
  const int i = tray.WaitFor(NIM_ADD, from, e2e::kStartTimeoutMs);
  ASSERT_GE(i, 0) << "no new icon; received " << e2e::Describe(tray.Since(from));
  const e2e::TrayEvent second = tray.events()[static_cast<std::size_t>(i)];
  Process restarted;
  OpenWindowProcess(second.hwnd, restarted);
  ASSERT_NE(restarted.handle, nullptr);
  EXPECT_EQ(Lower(restarted.Image()), Lower(InstalledExe()));

  const std::size_t before = tray.events().size();
  ASSERT_NO_FATAL_FAILURE(UninstallSilently());
  EXPECT_TRUE(WaitForDelete(second, before)) << "received " << e2e::Describe(tray.Since(before));
  EXPECT_EQ(restarted.WaitExit(), 0);
  ExpectNothingLeft();
}

}  // namespace
