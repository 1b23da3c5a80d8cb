// Load, contention and re-entrancy: thousands of tray messages, a clipboard
// that another program keeps taking, and tray messages that arrive while
// the menu, the About window or error boxes run their own loops.
#include <cstdio>
#include <cstring>
#include <string>

#include "desk.h"
#include "fixture.h"

namespace stress {
namespace {

using e2e::ClipboardLock;
using e2e::ExpectedTip;

class Load : public e2e::Session {
 protected:
  // Posts `count` hovers in bursts, pumping until the shell has heard a
  // NIM_MODIFY for each: the program's SendMessage to us waits meanwhile.
  bool Hover(int count) {
    constexpr int kBurst = 250;
    for (int sent = 0; sent < count;) {
      const int burst = count - sent < kBurst ? count - sent : kBurst;
      const std::size_t want = tray.events().size() + static_cast<std::size_t>(burst);
      for (int i = 0; i < burst; ++i) FakeTray::Click(add, WM_MOUSEMOVE);
      if (!e2e::PumpUntil([&] { return tray.events().size() >= want; }, 20000)) return false;
      sent += burst;
    }
    return true;
  }
};

TEST_F(Load, TwentyThousandHoversLeakNothing) {
  // The measure must see what it claims to: our own process gains what we
  // make.
  {
    const Holdings before = Measure(::GetCurrentProcessId());
    HBRUSH brushes[3];
    for (auto& b : brushes) b = ::CreateSolidBrush(RGB(1, 2, 3));
    HANDLE event = ::CreateEventA(nullptr, FALSE, FALSE, nullptr);
    HWND window = ::CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
    constexpr std::size_t kMiB = 1 << 20;
    void* touched = ::HeapAlloc(::GetProcessHeap(), 0, 4 * kMiB);
    ASSERT_NE(touched, nullptr);
    std::memset(touched, 'x', 4 * kMiB);
    const Holdings after = Measure(::GetCurrentProcessId());
    ::HeapFree(::GetProcessHeap(), 0, touched);
    for (auto& b : brushes) ::DeleteObject(b);
    ::CloseHandle(event);
    ::DestroyWindow(window);
    SCOPED_TRACE(Describe(before) + " / " + Describe(after));
    ASSERT_GE(before.gdiObjects, 0) << "cannot count GDI objects here";
    EXPECT_EQ(after.gdiObjects - before.gdiObjects, 3);
    EXPECT_EQ(after.handles - before.handles, 1);
    EXPECT_EQ(after.userObjects - before.userObjects, 1);
    EXPECT_GE(after.bytes, before.bytes + 4 * kMiB - 64 * 1024);
    std::printf("GetGuiResources %s\n", before.guiResources ? "answers" : "answers 0 (stub)");
  }

  ASSERT_TRUE(e2e::PutBlocks(tray.hwnd(), {{e2e::PrivateFormat("Heftmark.Stress.A"), 4321},
                                           {CF_TEXT, 100}}));
  const std::string tip = ExpectedTip(e2e::ClipboardTotal(tray.hwnd()), ',');
  const std::size_t first = tray.events().size();

  const ULONGLONG t0 = ::GetTickCount64();
  ASSERT_TRUE(Hover(1000)) << "the shell heard " << tray.events().size() - first << " of 1000";
  const Holdings at1k = Measure(program.pid());
  ASSERT_TRUE(Hover(19000)) << "the shell heard " << tray.events().size() - first << " of 20000";
  const Holdings at20k = Measure(program.pid());
  const ULONGLONG ms = ::GetTickCount64() - t0;
  std::printf("20000 hovers in %llu ms (%.0f/s)\nafter 1000: %s\nafter 20000: %s\n", ms,
              20000.0 * 1000 / static_cast<double>(ms ? ms : 1), Describe(at1k).c_str(),
              Describe(at20k).c_str());

  const auto events = tray.Since(first);
  ASSERT_EQ(events.size(), 20000u);
  int wrong = 0;
  for (const auto& e : events)
    if (e.message != NIM_MODIFY || e.hwnd != add.hwnd || e.tip != tip) ++wrong;
  EXPECT_EQ(wrong, 0) << "e.g. " << e2e::Describe(events.back());
  EXPECT_EQ(events.back().tip, ExpectedTip(e2e::ClipboardTotal(tray.hwnd()), ','));

  // Still answering at once, and still right.
  DWORD_PTR r = 0;
  EXPECT_TRUE(::SendMessageTimeoutW(add.hwnd, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 2000, &r));
  EXPECT_EQ(Refresh(), tip);

  // Nothing grows with the number of hovers. The byte bound is below one
  // byte a hover over the last 19,000, above the page-sized noise of the
  // heap.
  ASSERT_GE(at1k.handles, 0);
  EXPECT_EQ(at20k.handles, at1k.handles);
  EXPECT_EQ(at20k.gdiObjects, at1k.gdiObjects);
  EXPECT_EQ(at20k.userObjects, at1k.userObjects);
  ASSERT_GT(at1k.bytes, 0u);
  EXPECT_LE(at20k.bytes, at1k.bytes + 16 * 1024) << "grew by " << at20k.bytes - at1k.bytes;
}

// Each round another program (we) holds the clipboard while the program
// measures, empties on a double-click, or clears from the menu. Each fails
// with the error box, keeps nothing open and loses nothing; 180 rounds of
// menus and boxes leave nothing behind either.
TEST_F(Load, HeldClipboardTwoHundredTimes) {
  ASSERT_TRUE(e2e::PutBlocks(tray.hwnd(), {{e2e::PrivateFormat("Heftmark.Stress.A"), 2048}}));
  const std::string tip = "Clipboard is 2,048 bytes";
  ASSERT_EQ(Refresh(), tip);
  HWND app = AppWindow();
  ASSERT_NE(app, nullptr);

  const char* kinds[] = {"hover", "double-click", "&Clear clipboard"};
  const ULONGLONG t0 = ::GetTickCount64();
  Holdings warm;
  for (int round = 0; round < 200; ++round) {
    if (round == 20) warm = Measure(program.pid());
    const int kind = round % 3;
    SCOPED_TRACE(std::string(kinds[kind]) + ", round " + std::to_string(round));
    const std::size_t n = tray.events().size();
    {
      ClipboardLock held(tray.hwnd());
      ASSERT_TRUE(held);
      if (kind == 0) FakeTray::Click(add, WM_MOUSEMOVE);
      if (kind == 1) FakeTray::Click(add, WM_LBUTTONDBLCLK);
      if (kind == 2) {
        ASSERT_TRUE(Choose(add, program.pid(), 'C'));
      }
      HWND box = e2e::WaitForBox(program.pid(), "Heftmark");
      ASSERT_NE(box, nullptr) << "no error box";
      EXPECT_EQ(e2e::BoxText(box), "Cannot open clipboard.");
      EXPECT_EQ(::GetWindow(box, GW_OWNER), app);
      ASSERT_TRUE(e2e::ClickOk(box));
      EXPECT_TRUE(tray.Since(n).empty()) << e2e::Describe(tray.Since(n));
    }
    {
      ClipboardLock now(tray.hwnd(), 0);
      ASSERT_TRUE(now) << "the clipboard is not free once we let it go";
    }
    ASSERT_EQ(e2e::ClipboardTotal(tray.hwnd()), 2048u) << "the data were lost";
    ASSERT_EQ(Refresh(), tip);
    ClipboardLock after(tray.hwnd(), 0);
    ASSERT_TRUE(after) << "the measurement left the clipboard open";
  }
  const Holdings end = Measure(program.pid());
  std::printf("200 rounds in %llu ms\nafter 20: %s\nafter 200: %s\n", ::GetTickCount64() - t0,
              Describe(warm).c_str(), Describe(end).c_str());
  EXPECT_TRUE(program.Alive());
  ASSERT_GE(warm.handles, 0);
  EXPECT_EQ(end.handles, warm.handles);
  EXPECT_EQ(end.gdiObjects, warm.gdiObjects);
  EXPECT_EQ(end.userObjects, warm.userObjects);
  EXPECT_LE(end.bytes, warm.bytes + 16 * 1024) << "grew by " << end.bytes - warm.bytes;
}

// The menu's, the error box's and the About window's loops all dispatch
// tray messages; a second error raises a second box over the first.
TEST_F(Load, TrayMessagesAreHandledInsideEveryLoop) {
  ASSERT_TRUE(e2e::PutBlocks(tray.hwnd(), {{e2e::PrivateFormat("Heftmark.Stress.A"), 2048}}));
  const std::string tip = "Clipboard is 2,048 bytes";
  const DWORD pid = program.pid();

  {
    SCOPED_TRACE("menu open");
    HWND menu = PopMenu(add, pid);
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(Refresh(), tip);
    EXPECT_TRUE(e2e::MenuOpen(pid));
    e2e::MenuKey(menu, VK_ESCAPE);
    ASSERT_TRUE(e2e::PumpUntil([pid] { return !e2e::MenuOpen(pid); }));
  }
  {
    SCOPED_TRACE("About window shown");
    ASSERT_TRUE(Choose(add, pid, 'A'));
    ASSERT_TRUE(e2e::PumpUntil([pid] { return AboutWindow(pid) != nullptr; })) << "no About window";
    EXPECT_EQ(Refresh(), tip);
    HWND about = AboutWindow(pid);
    ASSERT_NE(about, nullptr) << "the hover closed the About window";
    ::PostMessageW(about, WM_CLOSE, 0, 0);
    ASSERT_TRUE(e2e::PumpUntil([pid] { return AboutWindow(pid) == nullptr; }));
  }
  for (bool newestFirst : {true, false}) {
    SCOPED_TRACE(newestFirst ? "two boxes, newest closed first" : "two boxes, oldest closed first");
    HWND boxes[2] = {};
    {
      ClipboardLock held(tray.hwnd());
      ASSERT_TRUE(held);
      for (int i = 0; i < 2; ++i) {
        FakeTray::Click(add, WM_MOUSEMOVE);
        ASSERT_TRUE(e2e::PumpUntil([&] { return Boxes(pid, "Heftmark").size() == std::size_t(i + 1); }))
            << "box " << i + 1 << " did not come; " << Boxes(pid, "Heftmark").size() << " shown";
        for (HWND b : Boxes(pid, "Heftmark"))
          if (b != boxes[0]) boxes[i] = b;
      }
    }
    // With both up and the clipboard free, a hover still gets through.
    EXPECT_EQ(Refresh(), tip);
    HWND first = boxes[newestFirst ? 1 : 0], second = boxes[newestFirst ? 0 : 1];
    ASSERT_TRUE(PressOk(first));
    EXPECT_TRUE(::IsWindowVisible(second)) << "closing one box closed the other";
    EXPECT_EQ(e2e::BoxText(second), "Cannot open clipboard.");
    ASSERT_TRUE(PressOk(second));
    ASSERT_TRUE(e2e::PumpUntil([&] { return !::IsWindow(first) && !::IsWindow(second); }))
        << "a box's loop did not return";
  }

  // Everything works as before.
  ASSERT_TRUE(program.Alive());
  EXPECT_EQ(Refresh(), tip);
  EXPECT_EQ(Refresh(WM_LBUTTONDBLCLK), "Clipboard is empty");
}

}  // namespace
}  // namespace stress
