// Starts that race each other, and the end of a Windows session in every
// state the program can be in.
#include <cstdio>
#include <string>

#include "desk.h"

namespace stress {
namespace {

using e2e::Describe;

class Lifetime : public Desk {};

TEST_F(Lifetime, FourStartsAtOnceMakeOneIcon) {
  const std::string exe = e2e::ProgramPath();
  const ULONGLONG t0 = ::GetTickCount64();
  for (int round = 0; round < 20; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    const std::size_t n = tray.events().size();
    Instance starts[4];
    for (auto& s : starts) ASSERT_TRUE(s.Start(exe, true)) << "cannot start " << exe;
    for (auto& s : starts) s.Resume();

    const int i = tray.WaitFor(NIM_ADD, n, e2e::kStartTimeoutMs);
    ASSERT_GE(i, 0) << "no icon; the shell heard " << Describe(tray.Since(n));
    const TrayEvent add = tray.events()[static_cast<std::size_t>(i)];
    DWORD winnerPid = 0;
    ::GetWindowThreadProcessId(add.hwnd, &winnerPid);
    Instance* winner = nullptr;
    for (auto& s : starts) {
      if (s.pid() == winnerPid) {
        winner = &s;
        continue;
      }
      HWND box = e2e::WaitForBox(s.pid(), "Error", e2e::kStartTimeoutMs);
      ASSERT_NE(box, nullptr) << "process " << s.pid() << " neither added an icon nor refused";
      EXPECT_EQ(e2e::BoxText(box), "Heftmark is already running");
      ASSERT_TRUE(e2e::ClickOk(box));
      DWORD code = 99;
      ASSERT_TRUE(s.WaitExit(e2e::kEventTimeoutMs, &code)) << "a refused start did not end";
      EXPECT_EQ(code, 0u);
    }
    ASSERT_NE(winner, nullptr) << "the icon belongs to none of the four";
    EXPECT_EQ(tray.Since(n, NIM_ADD).size(), 1u) << Describe(tray.Since(n));

    // The one that won runs normally, and its end lets the next round win.
    EXPECT_EQ(TipAfter(tray, add), "Clipboard is empty");
    ASSERT_TRUE(ExitByMenu(add, *winner));
  }
  std::printf("20 rounds of four starts in %llu ms\n", ::GetTickCount64() - t0);
}

// A log-off is never refused, and its end removes the icon and ends the
// program with code 0 whatever it is showing.
TEST_F(Lifetime, SessionEndInEveryState) {
  enum class State { Idle, MenuOpen, AboutShown, ErrorBoxShown };
  const std::pair<State, const char*> states[] = {
      {State::Idle, "idle"},
      {State::MenuOpen, "menu open"},
      {State::AboutShown, "About shown"},
      {State::ErrorBoxShown, "error box shown"},
  };
  for (auto [state, name] : states) {
    SCOPED_TRACE(name);
    Instance program;
    const std::size_t n = tray.events().size();
    ASSERT_TRUE(program.Start(e2e::ProgramPath()));
    TrayEvent add;
    ASSERT_TRUE(WaitAdd(program.pid(), n, &add)) << Describe(tray.Since(n));
    ASSERT_EQ(TipAfter(tray, add), "Clipboard is empty");
    const DWORD pid = program.pid();
    switch (state) {
      case State::Idle:
        break;
      case State::MenuOpen:
        ASSERT_NE(PopMenu(add, pid), nullptr);
        break;
      case State::AboutShown:
        ASSERT_TRUE(Choose(add, pid, 'A'));
        ASSERT_TRUE(e2e::PumpUntil([pid] { return AboutWindow(pid) != nullptr; }));
        break;
      case State::ErrorBoxShown: {
        e2e::ClipboardLock held(tray.hwnd());
        ASSERT_TRUE(held);
        FakeTray::Click(add, WM_MOUSEMOVE);
        ASSERT_NE(e2e::WaitForBox(pid, "Heftmark"), nullptr);
        break;
      }
    }
    auto apps = e2e::WindowsOf(pid, "TApplication");
    ASSERT_EQ(apps.size(), 1u);
    for (HWND w : {apps[0], add.hwnd}) {
      DWORD_PTR answer = 0;
      ASSERT_TRUE(::SendMessageTimeoutW(w, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF, SMTO_NORMAL,
                                        e2e::kEventTimeoutMs, &answer))
          << "no answer from " << e2e::ClassOf(w);
      EXPECT_EQ(answer, static_cast<DWORD_PTR>(TRUE)) << e2e::ClassOf(w) << " refused the log-off";
    }
    const std::size_t before = tray.events().size();
    ::SendMessageTimeoutW(apps[0], WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF, SMTO_NORMAL,
                          e2e::kEventTimeoutMs, nullptr);
    DWORD code = 99;
    EXPECT_TRUE(program.WaitExit(e2e::kEventTimeoutMs, &code)) << "still running after WM_ENDSESSION";
    EXPECT_EQ(code, 0u);
    const auto events = tray.Since(before);
    EXPECT_EQ(events.size(), 1u) << Describe(events);
    if (!events.empty()) {
      EXPECT_EQ(events[0].message, static_cast<DWORD>(NIM_DELETE));
      EXPECT_EQ(events[0].hwnd, add.hwnd);
    }
  }
}

}  // namespace
}  // namespace stress
