// A whole session that should leave no trace: footprint.sh compares the
// prefix's registry and drive_c around this test; the test itself checks
// the program's own folder.
#include <string>

#include "desk.h"
#include "fixture.h"

namespace stress {
namespace {

class Footprint : public e2e::Session {};

TEST_F(Footprint, AFullSessionWritesNothing) {
  const std::string folder = FolderOf(e2e::ProgramPath());
  const auto before = FolderListing(folder);
  ASSERT_FALSE(before.empty()) << "cannot list " << folder;
  const DWORD pid = program.pid();

  ASSERT_TRUE(e2e::PutBlocks(tray.hwnd(), {{e2e::PrivateFormat("Heftmark.Stress.A"), 2048}}));
  for (int i = 0; i < 3; ++i) EXPECT_EQ(Refresh(), "Clipboard is 2,048 bytes");

  ASSERT_TRUE(Choose(add, pid, 'A'));
  ASSERT_TRUE(e2e::PumpUntil([pid] { return AboutWindow(pid) != nullptr; })) << "no About window";
  ::PostMessageW(AboutWindow(pid), WM_CLOSE, 0, 0);
  ASSERT_TRUE(e2e::PumpUntil([pid] { return AboutWindow(pid) == nullptr; }));

  // The viewer does not exist here: the launch fails and the command is
  // left on the clipboard.
  ASSERT_TRUE(Choose(add, pid, 'S'));
  HWND box = e2e::WaitForBox(pid, "Heftmark");
  ASSERT_NE(box, nullptr) << "no error box for the failed launch";
  EXPECT_EQ(e2e::BoxText(box),
            "Shell command failed. It has been copied to the clipboard.\r\nclipbrd.exe.");
  ASSERT_TRUE(e2e::ClickOk(box));
  EXPECT_EQ(e2e::ClipboardText(tray.hwnd()), L"clipbrd.exe");
  EXPECT_EQ(Refresh(WM_LBUTTONDBLCLK), "Clipboard is empty");

  const std::size_t n = tray.events().size();
  ASSERT_TRUE(Choose(add, pid, 'X'));
  DWORD code = 99;
  ASSERT_TRUE(program.WaitExit(e2e::kEventTimeoutMs, &code));
  EXPECT_EQ(code, 0u);
  EXPECT_EQ(tray.Since(n, NIM_DELETE).size(), 1u);

  EXPECT_EQ(FolderListing(folder), before) << "something was written beside " << e2e::ProgramPath();
}

}  // namespace
}  // namespace stress
