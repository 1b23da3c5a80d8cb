// The tray menu, popped by a right-button press over the icon and worked
// from the keyboard.
#include "fixture.h"

namespace e2e {
namespace {

class Menu : public Session {
 protected:
  // Pops the menu; the press itself must not touch the tip.
  HWND Pop() {
    const std::size_t n = tray.events().size();
    FakeTray::Click(add, WM_RBUTTONDOWN);
    HWND menu = WaitForMenu(program.pid());
    EXPECT_NE(menu, nullptr) << "no menu after WM_RBUTTONDOWN";
    EXPECT_TRUE(tray.Since(n).empty()) << Describe(tray.Since(n));
    return menu;
  }

  bool WaitClosed() {
    return PumpUntil([this] { return !MenuOpen(program.pid()); });
  }

  // Returns once the program has handled everything posted before: the
  // press that pops the menu is queued behind it. Nothing is chosen.
  void Settle() {
    HWND menu = Pop();
    if (!menu) return;
    MenuKey(menu, VK_ESCAPE);
    EXPECT_TRUE(WaitClosed());
  }
};

TEST_F(Menu, EscapeRunsNothing) {
  const UINT a = PrivateFormat("Heftmark.E2E.A");
  ASSERT_TRUE(PutBlocks(tray.hwnd(), {{a, 2048}}));
  const std::size_t n = tray.events().size();
  HWND menu = Pop();
  ASSERT_NE(menu, nullptr);
  MenuKey(menu, VK_ESCAPE);
  ASSERT_TRUE(WaitClosed());
  Settle();
  EXPECT_TRUE(tray.Since(n).empty()) << Describe(tray.Since(n));
  EXPECT_TRUE(program.Alive());
  EXPECT_EQ(ClipboardTotal(tray.hwnd()), 2048u);
  EXPECT_EQ(Refresh(), "Clipboard is 2,048 bytes");
}

TEST_F(Menu, ClearEmptiesWithoutTouchingTheTip) {
  const UINT a = PrivateFormat("Heftmark.E2E.A");
  ASSERT_TRUE(PutBlocks(tray.hwnd(), {{a, 2048}}));
  EXPECT_EQ(Refresh(), "Clipboard is 2,048 bytes");

  // Held by us: the command fails with the error box and empties nothing.
  std::size_t n = tray.events().size();
  {
    ClipboardLock held(tray.hwnd());
    ASSERT_TRUE(held);
    HWND menu = Pop();
    ASSERT_NE(menu, nullptr);
    MenuKey(menu, 'C');
    HWND box = WaitForBox(program.pid(), "Heftmark");
    ASSERT_NE(box, nullptr) << "no error box";
    EXPECT_EQ(BoxText(box), "Cannot open clipboard.");
    EXPECT_FALSE(MenuOpen(program.pid()));
    ASSERT_TRUE(ClickOk(box));
    Settle();
  }
  EXPECT_TRUE(tray.Since(n).empty()) << Describe(tray.Since(n));
  EXPECT_EQ(ClipboardTotal(tray.hwnd()), 2048u);

  n = tray.events().size();
  HWND menu = Pop();
  ASSERT_NE(menu, nullptr);
  MenuKey(menu, 'C');
  // Polled without opening the clipboard, which would make the command fail.
  ASSERT_TRUE(PumpUntil([] { return ::CountClipboardFormats() == 0; })) << "not emptied";
  Settle();
  EXPECT_TRUE(tray.Since(n).empty()) << "the command changed the tip: " << Describe(tray.Since(n));
  EXPECT_EQ(Refresh(), "Clipboard is empty");
}

TEST_F(Menu, ExitRemovesTheIconAndEnds) {
  const std::size_t n = tray.events().size();
  HWND menu = Pop();
  ASSERT_NE(menu, nullptr);
  MenuKey(menu, 'X');
  DWORD code = 99;
  ASSERT_TRUE(program.WaitExit(kEventTimeoutMs, &code)) << "still running after E&xit";
  EXPECT_EQ(code, 0u);
  const auto events = tray.Since(n);
  ASSERT_EQ(events.size(), 1u) << Describe(events);
  EXPECT_EQ(events[0].message, static_cast<DWORD>(NIM_DELETE));
  EXPECT_EQ(events[0].hwnd, add.hwnd);
  EXPECT_EQ(events[0].id, kIconId);
  EXPECT_EQ(events[0].flags, kFullFlags);
  EXPECT_EQ(events[0].callback, kTrayMessage);
}

}  // namespace
}  // namespace e2e
