// The tray icon, its clipboard size tip, the one-instance rule and the end
// of a session, seen from the shell's side.
#include <cstdlib>
#include <set>
#include <string>
#include <vector>

#include "fixture.h"

namespace e2e {
namespace {

class Tray : public Session {};

TEST_F(Tray, StartsHiddenWithItsIconAndEndsWithTheSession) {
  EXPECT_EQ(add.id, kIconId);
  EXPECT_EQ(add.flags, kFullFlags);
  EXPECT_EQ(add.callback, kTrayMessage);
  EXPECT_EQ(add.tip, "Heftmark");
  EXPECT_EQ(ClassOf(add.hwnd), "TmainForm");
  EXPECT_EQ(add.sender, add.hwnd);

  HWND app = AppWindow();
  ASSERT_NE(app, nullptr);
  EXPECT_EQ(TextOf(app), "Heftmark");

  // Once a tray message has been handled the loop runs; still nothing shows.
  ASSERT_TRUE(PutBlocks(tray.hwnd(), {}));
  EXPECT_EQ(Refresh(), "Clipboard is empty");
  for (HWND h : WindowsOf(program.pid()))
    EXPECT_FALSE(::IsWindowVisible(h)) << ClassOf(h) << " \"" << TextOf(h) << "\" is visible";

  // A log-off: the program agrees, removes its icon and ends.
  const std::size_t n = tray.events().size();
  DWORD_PTR answer = 0;
  ASSERT_TRUE(::SendMessageTimeoutW(app, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF, SMTO_NORMAL,
                                    kEventTimeoutMs, &answer));
  EXPECT_NE(answer, 0u) << "the log-off was refused";
  ::SendMessageTimeoutW(app, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF, SMTO_NORMAL, kEventTimeoutMs,
                        nullptr);
  DWORD code = 0;
  ASSERT_TRUE(program.WaitExit(kEventTimeoutMs, &code)) << "still running after WM_ENDSESSION";
  EXPECT_EQ(code, 0u);
  const auto events = tray.Since(n);
  ASSERT_EQ(events.size(), 1u) << Describe(events);
  EXPECT_EQ(events[0].message, static_cast<DWORD>(NIM_DELETE));
  EXPECT_EQ(events[0].hwnd, add.hwnd);
  EXPECT_EQ(events[0].id, kIconId);
}

TEST_F(Tray, TipReportsTheSizeOfEveryFormat) {
  const UINT a = PrivateFormat("Heftmark.E2E.A");
  const UINT b = PrivateFormat("Heftmark.E2E.B");
  struct Case {
    const char* what;
    std::vector<Block> blocks;
    const char* tip;  // null: only the clipboard's own total is known
  };
  const Case cases[] = {
      {"one private block", {{a, 2048}}, "Clipboard is 2,048 bytes"},
      {"one byte", {{a, 1}}, "Clipboard is 1 bytes"},
      {"two blocks make a thousand", {{a, 999}, {b, 1}}, "Clipboard is 1,000 bytes"},
      {"millions", {{a, 1234567}}, "Clipboard is 1,234,567 bytes"},
      // Wine adds CF_OEMTEXT, CF_UNICODETEXT and CF_LOCALE; all count.
      {"text and its synthesized formats", {{CF_TEXT, 2048}, {a, 10}}, nullptr},
      {"empty", {}, "Clipboard is empty"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_TRUE(PutBlocks(tray.hwnd(), c.blocks));
    const auto contents = ClipboardContents(tray.hwnd());
    const unsigned long long total = ClipboardTotal(tray.hwnd());
    if (c.tip) {
      EXPECT_EQ(contents.size(), c.blocks.size());
      EXPECT_EQ(Refresh(), c.tip);
    } else {
      EXPECT_GT(contents.size(), c.blocks.size()) << "no synthesized format to count";
      EXPECT_EQ(Refresh(), ExpectedTip(total, ','));
    }
  }
}

TEST_F(Tray, OtherMouseActionsRefreshAndDoubleClickEmpties) {
  const UINT a = PrivateFormat("Heftmark.E2E.A");
  ASSERT_TRUE(PutBlocks(tray.hwnd(), {{a, 2048}}));
  for (UINT mouse : {WM_MOUSEMOVE, WM_LBUTTONDOWN, WM_LBUTTONUP, WM_RBUTTONUP, WM_MBUTTONDOWN,
                     WM_RBUTTONDBLCLK}) {
    SCOPED_TRACE(mouse);
    EXPECT_EQ(Refresh(mouse), "Clipboard is 2,048 bytes");
  }
  EXPECT_EQ(ClipboardTotal(tray.hwnd()), 2048u);

  EXPECT_EQ(Refresh(WM_LBUTTONDBLCLK), "Clipboard is empty");
  EXPECT_EQ(::CountClipboardFormats(), 0);
}

// Wine hands X11 text to Windows programs in four formats, fetched from
// the Linux owner when asked for.
TEST_F(Tray, MeasuresTextOwnedByALinuxProgram) {
  const std::wstring text = L"hello world from x11";
  ASSERT_TRUE(RunShell("printf '%s' 'hello world from x11' | xclip -selection clipboard"));
  ASSERT_TRUE(PumpUntil([&] { return ClipboardText(tray.hwnd()) == text; }))
      << "xclip's text did not reach the Windows clipboard";

  std::set<UINT> formats;
  SIZE_T unicodeSize = 0;
  for (auto [format, size] : ClipboardContents(tray.hwnd())) {
    formats.insert(format);
    if (format == CF_UNICODETEXT) unicodeSize = size;
  }
  EXPECT_EQ(formats, (std::set<UINT>{CF_UNICODETEXT, CF_LOCALE, CF_TEXT, CF_OEMTEXT}));
  EXPECT_EQ(unicodeSize, (text.size() + 1) * sizeof(wchar_t));
  const unsigned long long total = ClipboardTotal(tray.hwnd());
  EXPECT_EQ(Refresh(), ExpectedTip(total, ','));

  // Emptying takes the clipboard back from the Linux owner.
  EXPECT_EQ(Refresh(WM_LBUTTONDBLCLK), "Clipboard is empty");
  EXPECT_EQ(::CountClipboardFormats(), 0);
}

TEST_F(Tray, HeldClipboardShowsTheErrorBoxAndKeepsTheTip) {
  const UINT a = PrivateFormat("Heftmark.E2E.A");
  ASSERT_TRUE(PutBlocks(tray.hwnd(), {{a, 2048}}));
  EXPECT_EQ(Refresh(), "Clipboard is 2,048 bytes");
  HWND app = AppWindow();
  ASSERT_NE(app, nullptr);

  const std::size_t n = tray.events().size();
  {
    ClipboardLock held(tray.hwnd());
    ASSERT_TRUE(held);
    // A measurement and an emptying each fail alike.
    for (UINT mouse : {WM_MOUSEMOVE, WM_LBUTTONDBLCLK}) {
      SCOPED_TRACE(mouse);
      FakeTray::Click(add, mouse);
      HWND box = WaitForBox(program.pid(), "Heftmark");
      ASSERT_NE(box, nullptr) << "no error box";
      EXPECT_EQ(BoxText(box), "Cannot open clipboard.");
      EXPECT_EQ(::GetWindow(box, GW_OWNER), app);
      EXPECT_TRUE(tray.Since(n).empty()) << Describe(tray.Since(n));
      ASSERT_TRUE(ClickOk(box));
    }
  }
  EXPECT_EQ(ClipboardTotal(tray.hwnd()), 2048u) << "the failed double-click emptied it";

  EXPECT_EQ(Refresh(), "Clipboard is 2,048 bytes");
  // Nothing left open: another program gets the clipboard at once.
  ClipboardLock now(tray.hwnd(), 0);
  EXPECT_TRUE(now);
}

TEST_F(Tray, SecondStartIsRefused) {
  const std::size_t n = tray.events().size();
  Program second;
  ASSERT_TRUE(second.Start());
  HWND box = WaitForBox(second.pid(), "Error", kStartTimeoutMs);
  ASSERT_NE(box, nullptr) << "no refusal from the second start";
  EXPECT_EQ(BoxText(box), "Heftmark is already running");
  ASSERT_TRUE(ClickOk(box));
  DWORD code = 99;
  ASSERT_TRUE(second.WaitExit(kEventTimeoutMs, &code)) << "the second start did not end";
  EXPECT_EQ(code, 0u);
  EXPECT_TRUE(tray.Since(n).empty()) << Describe(tray.Since(n));

  // The first one goes on unharmed.
  ASSERT_TRUE(program.Alive());
  ASSERT_TRUE(PutBlocks(tray.hwnd(), {{CF_TEXT, 5}}));
  EXPECT_EQ(Refresh(), ExpectedTip(ClipboardTotal(tray.hwnd()), ','));
}

// Run with LC_ALL=de_DE.UTF-8, under which Wine's separator is a full stop.
class German : public Session {
  void SetUp() override {
    const char* lc = std::getenv("LC_ALL");
    if (!lc || std::string(lc) != "de_DE.UTF-8") GTEST_SKIP() << "needs LC_ALL=de_DE.UTF-8";
    Session::SetUp();
  }
};

TEST_F(German, GroupsWithFullStops) {
  const UINT a = PrivateFormat("Heftmark.E2E.A");
  const std::pair<SIZE_T, const char*> cases[] = {
      {2048, "Clipboard is 2.048 bytes"},
      {1234567, "Clipboard is 1.234.567 bytes"},
  };
  for (auto [size, tip] : cases) {
    ASSERT_TRUE(PutBlocks(tray.hwnd(), {{a, size}}));
    EXPECT_EQ(Refresh(), tip);
  }
}

}  // namespace
}  // namespace e2e
