// A layout that cannot be read ends the program at start-up with the
// last-resort box and exit code 1.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

namespace {

std::string g_exe;

struct Found {
  DWORD pid;
  HWND box;
};

BOOL CALLBACK FindBox(HWND h, LPARAM p) {
  auto* f = reinterpret_cast<Found*>(p);
  DWORD pid = 0;
  ::GetWindowThreadProcessId(h, &pid);
  char cls[16] = {}, title[64] = {};
  ::GetClassNameA(h, cls, sizeof cls);
  ::GetWindowTextA(h, title, sizeof title);
  if (pid == f->pid && std::string(cls) == "#32770" && std::string(title) == "Application Error") {
    f->box = h;
    return FALSE;
  }
  return TRUE;
}

}  // namespace

TEST(FatalStartup, BrokenLayoutShowsApplicationErrorAndExitsWithOne) {
  STARTUPINFOA si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  std::string cmd = "\"" + g_exe + "\"";
  ASSERT_TRUE(::CreateProcessA(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                               &si, &pi));
  Found f{pi.dwProcessId, nullptr};
  for (int i = 0; i < 200 && !f.box; ++i) {
    ::EnumWindows(&FindBox, reinterpret_cast<LPARAM>(&f));
    if (!f.box && ::WaitForSingleObject(pi.hProcess, 50) == WAIT_OBJECT_0) break;
  }
  ASSERT_NE(f.box, nullptr) << "no Application Error box";
  char text[512] = {};
  ::GetDlgItemTextA(f.box, 0xFFFF, text, sizeof text);
  const std::string message = text;
  EXPECT_EQ(message.rfind("EReadError: ", 0), 0u) << message;
  EXPECT_NE(message.find("TmainForm"), std::string::npos) << message;
  EXPECT_NE(message.find("line"), std::string::npos) << message;
  ::SendMessageA(::GetDlgItem(f.box, IDOK), BM_CLICK, 0, 0);
  ASSERT_EQ(::WaitForSingleObject(pi.hProcess, 10000), WAIT_OBJECT_0);
  DWORD code = 0;
  ::GetExitCodeProcess(pi.hProcess, &code);
  EXPECT_EQ(code, 1u);
  ::CloseHandle(pi.hProcess);
  ::CloseHandle(pi.hThread);
}

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (argc < 2) {
    std::fprintf(stderr, "usage: fatal_test <exe with a broken layout>\n");
    return 2;
  }
  g_exe = argv[1];
  return RUN_ALL_TESTS();
}
