// Launches from the tray menu, seen from the far side of the shell: a
// recorder stands in for the programs that documents and addresses open
// with, and a failed launch is read back from the clipboard and the error
// box.
#include <set>
#include <string>
#include <vector>

#include "fixture.h"

namespace e2e {
namespace {

constexpr char kHomePage[] = "https://tallowgate.example";
constexpr char kFailure[] = "Shell command failed. It has been copied to the clipboard.\r\n";
// Wine 8's ShellExecute refuses a document path of 256 characters or more
// with "file not found" (measured), and its CreateProcess refuses an exe
// path of 260 or more, so the longest folder a copy can run from is 247
// characters with its backslash: the manual's path is then 257 long.
constexpr std::size_t kShellPathLimit = 255;
constexpr std::size_t kLongestFolder = MAX_PATH - 1 - (sizeof("Heftmark.exe") - 1);

std::string FolderOf(const std::string& path) { return path.substr(0, path.find_last_of('\\') + 1); }

// A folder under the prefix's temp folder, removed with all it holds.
class TempTree {
 public:
  TempTree() {
    char dir[MAX_PATH + 1] = {};
    ::GetTempPathA(sizeof dir, dir);
    root_ = std::string(dir) + "heftmark-e2e-" + std::to_string(::GetCurrentProcessId());
    ::CreateDirectoryA(root_.c_str(), nullptr);
  }
  ~TempTree() { Remove(root_); }
  TempTree(const TempTree&) = delete;
  TempTree& operator=(const TempTree&) = delete;

  const std::string& root() const { return root_; }

  // Makes `relative` below the root, each level in turn; returns its path.
  std::string MakeDirs(const std::string& relative) const {
    std::string dir = root_;
    for (std::size_t at = 0; at < relative.size();) {
      std::size_t end = relative.find('\\', at);
      if (end == std::string::npos) end = relative.size();
      dir += '\\' + relative.substr(at, end - at);
      ::CreateDirectoryA(dir.c_str(), nullptr);
      at = end + 1;
    }
    return dir;
  }

 private:
  static void Remove(const std::string& dir) {
    WIN32_FIND_DATAA fd;
    HANDLE h = ::FindFirstFileA((dir + "\\*").c_str(), &fd);
    if (h != INVALID_HANDLE_VALUE) {
      do {
        const std::string name = fd.cFileName;
        if (name == "." || name == "..") continue;
        if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) Remove(dir + '\\' + name);
        else ::DeleteFileA((dir + '\\' + name).c_str());
      } while (::FindNextFileA(h, &fd));
      ::FindClose(h);
    }
    ::RemoveDirectoryA(dir.c_str());
  }

  std::string root_;
};

class Shell : public Session {
 protected:
  void SetUp() override {
    ASSERT_EQ(recorder.error(), "");
    Session::SetUp();
  }

  // Runs a copy of the program from `folder` in place of the one running.
  void RestartFrom(const std::string& folder) {
    program.Kill();
    const std::string exe = folder + "Heftmark.exe";
    ASSERT_TRUE(::CopyFileA(ProgramPath().c_str(), exe.c_str(), FALSE)) << exe;
    const std::size_t n = tray.events().size();
    ASSERT_TRUE(program.Start(exe)) << "cannot start " << exe << ": error " << ::GetLastError();
    const int i = tray.WaitFor(NIM_ADD, n, kStartTimeoutMs);
    ASSERT_GE(i, 0) << "no NIM_ADD from " << exe;
    add = tray.events()[static_cast<std::size_t>(i)];
  }

  // ".d" catches a manual's path cut after 255 characters in the longest
  // folder: "...\readme.d".
  Recorder recorder{{".doc", ".d"}};
  TempTree temp;
};

TEST_F(Shell, ManualBesideTheExeAndTheHomePageReachTheirPrograms) {
  ASSERT_TRUE(ChooseMenuItem(add, program.pid(), 'V'));
  auto started = recorder.WaitForStart(0);
  ASSERT_TRUE(started) << "the recorder was not started for the home page";
  EXPECT_EQ(*started, recorder.CommandFor(kHomePage));

  std::string longest = temp.root();
  while (longest.size() < kLongestFolder - 1) {
    const std::size_t left = kLongestFolder - 1 - longest.size();  // a backslash and a name
    const std::size_t name = left <= 41 ? left - 1 : (left == 42 ? 30 : 40);
    longest += '\\' + std::string(name, static_cast<char>('a' + longest.size() % 26));
  }
  longest.erase(0, temp.root().size() + 1);

  struct Case {
    const char* what;
    std::string folder;  // empty: where it was built
  };
  const Case cases[] = {
      {"where it was built", ""},
      {"a folder with spaces", temp.MakeDirs("Tallowgate Software\\Heft mark 2.6") + '\\'},
      {"the longest folder it can run from", temp.MakeDirs(longest) + '\\'},
  };
  ASSERT_EQ(cases[2].folder.size(), kLongestFolder);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::string folder = FolderOf(ProgramPath());
    if (!c.folder.empty()) {
      folder = c.folder;
      ASSERT_TRUE(::CopyFileA((FolderOf(ProgramPath()) + "readme.doc").c_str(),
                              (folder + "readme.doc").c_str(), FALSE));
      HANDLE trap = ::CreateFileA((folder + "readme.d").c_str(), GENERIC_WRITE, 0, nullptr,
                                  CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
      ASSERT_NE(trap, INVALID_HANDLE_VALUE);
      ::CloseHandle(trap);
      RestartFrom(folder);
      if (HasFatalFailure()) return;
    }
    const std::string manual = folder + "readme.doc";
    const std::size_t before = recorder.Starts();
    ASSERT_TRUE(ChooseMenuItem(add, program.pid(), 'D'));
    HWND box = nullptr;
    ASSERT_TRUE(PumpUntil([&] {
      return recorder.Starts() > before || (box = WaitForBox(program.pid(), "Heftmark", 0));
    })) << "neither the recorder nor an error box for " << manual;
    if (!box) {
      EXPECT_EQ(*recorder.WaitForStart(before), recorder.CommandFor(manual));
      continue;
    }
    // Refused by the shell: what it was handed is on the clipboard, whole.
    EXPECT_GT(manual.size(), kShellPathLimit) << "a short path was refused";
    EXPECT_EQ(BoxText(box), kFailure + manual + ".");
    EXPECT_EQ(ClipboardText(tray.hwnd()), std::wstring(manual.begin(), manual.end()));
    ASSERT_TRUE(ClickOk(box));
    EXPECT_EQ(recorder.Starts(), before) << "opened instead: " << recorder.WaitForStart(before, 0).value_or("");
  }
}

TEST_F(Shell, FailedLaunchLeavesTheCommandOnTheClipboard) {
  const UINT mine = PrivateFormat("Heftmark.E2E.A");
  ASSERT_TRUE(PutBlocks(tray.hwnd(), {{mine, 2048}}));
  HWND app = AppWindow();
  ASSERT_NE(app, nullptr);

  // Held by us: the command text cannot be put, so that is the error, and
  // the clipboard keeps what it had.
  {
    ClipboardLock held(tray.hwnd());
    ASSERT_TRUE(held);
    ASSERT_TRUE(ChooseMenuItem(add, program.pid(), 'S'));
    HWND box = WaitForBox(program.pid(), "Heftmark");
    ASSERT_NE(box, nullptr) << "no error box";
    EXPECT_EQ(BoxText(box), "Cannot open clipboard.");
    ASSERT_TRUE(ClickOk(box));
  }
  EXPECT_EQ(ClipboardContents(tray.hwnd()), (std::vector<std::pair<UINT, SIZE_T>>{{mine, 2048}}));

  // There is no clipbrd.exe under Wine.
  ASSERT_TRUE(ChooseMenuItem(add, program.pid(), 'S'));
  HWND box = WaitForBox(program.pid(), "Heftmark");
  ASSERT_NE(box, nullptr) << "no error box";
  EXPECT_EQ(BoxText(box), std::string(kFailure) + "clipbrd.exe.");
  // Already there while the box is up; Wine derives the other text
  // formats from the one the program put.
  const std::set<UINT> derived{CF_UNICODETEXT, CF_TEXT, CF_OEMTEXT, CF_LOCALE};
  SIZE_T unicodeSize = 0;
  for (auto [format, size] : ClipboardContents(tray.hwnd())) {
    EXPECT_TRUE(derived.count(format)) << "format " << format << " is still there";
    if (format == CF_UNICODETEXT) unicodeSize = size;
  }
  EXPECT_GE(unicodeSize, (11u + 1) * sizeof(wchar_t));
  EXPECT_EQ(ClipboardText(tray.hwnd()), L"clipbrd.exe");
  EXPECT_EQ(::GetClipboardOwner(), app);
  ASSERT_TRUE(ClickOk(box));
  EXPECT_TRUE(program.Alive());
  EXPECT_EQ(recorder.Starts(), 0u);
}

}  // namespace
}  // namespace e2e
