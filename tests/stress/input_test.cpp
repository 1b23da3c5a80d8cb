// Odd input: data rendered on request or never, a clipboard of thousands
// of formats, totals past the signed 32-bit range, unusual install paths
// and the separators of other locales.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "desk.h"
#include "fixture.h"

namespace stress {
namespace {

using e2e::ExpectedTip;

class Input : public e2e::Session {};

TEST_F(Input, DataRenderedOnRequestOrNever) {
  const UINT a = e2e::PrivateFormat("Heftmark.Stress.Delayed.A");
  const UINT b = e2e::PrivateFormat("Heftmark.Stress.Delayed.B");
  const UINT none = e2e::PrivateFormat("Heftmark.Stress.Delayed.None");
  DelayedOwner owner;
  ASSERT_TRUE(owner.Offer({{a, 3000}, {b, 500}, {none, 0}}));

  // The program's fetch makes us render while it waits; what we leave
  // unrendered is left out without a word.
  EXPECT_EQ(Refresh(), "Clipboard is 3,500 bytes");
  EXPECT_EQ(owner.Requests(a), 1);
  EXPECT_EQ(owner.Requests(b), 1);
  EXPECT_GE(owner.Requests(none), 1);
  EXPECT_TRUE(Boxes(program.pid(), "Heftmark").empty());
  // Rendered data stay rendered.
  EXPECT_EQ(Refresh(), "Clipboard is 3,500 bytes");
  EXPECT_EQ(owner.Requests(a), 1);

  // The owner goes away with one format never rendered: whatever is left
  // is measured, and nothing is asked of the window that is gone.
  owner.Close();
  const unsigned long long left = e2e::ClipboardTotal(tray.hwnd());
  std::printf("after the owner closed: %llu bytes in %zu formats\n", left,
              e2e::ClipboardContents(tray.hwnd()).size());
  EXPECT_EQ(Refresh(), ExpectedTip(left, ','));
  EXPECT_TRUE(Boxes(program.pid(), "Heftmark").empty());

  // An owner that is asked again after emptying renders the new sizes.
  DelayedOwner next;
  ASSERT_TRUE(next.Offer({{a, 70000}}));
  EXPECT_EQ(Refresh(), "Clipboard is 70,000 bytes");
}

TEST_F(Input, ThreeThousandFormats) {
  std::vector<e2e::Block> blocks;
  unsigned long long total = 0;
  for (int i = 0; i < 3000; ++i) {
    const std::string name = "Heftmark.Stress.Many." + std::to_string(i);
    const SIZE_T size = 1 + static_cast<SIZE_T>(i % 13);
    blocks.push_back({e2e::PrivateFormat(name.c_str()), size});
    total += size;
  }
  ASSERT_EQ(total, 20985u);
  ASSERT_TRUE(e2e::PutBlocks(tray.hwnd(), blocks));
  ASSERT_EQ(e2e::ClipboardContents(tray.hwnd()).size(), 3000u);
  const ULONGLONG t0 = ::GetTickCount64();
  EXPECT_EQ(Refresh(), "Clipboard is 20,985 bytes");
  std::printf("3000 formats measured in %llu ms\n", ::GetTickCount64() - t0);
}

#ifdef _WIN64
// Wine cannot hold one block of 2 GiB or more (the writer dies with
// "partial write"), so the total passes the signed 32-bit range in two.
TEST_F(Input, TotalPastTwoGigabytes) {
  constexpr SIZE_T kBlock = (SIZE_T{1} << 30) + (SIZE_T{8} << 20);
  {
    e2e::ClipboardLock lock(tray.hwnd());
    ASSERT_TRUE(lock);
    ASSERT_TRUE(::EmptyClipboard());
    for (const char* name : {"Heftmark.Stress.Huge.A", "Heftmark.Stress.Huge.B"}) {
      HGLOBAL g = ::GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, kBlock);
      ASSERT_NE(g, nullptr) << "no memory for " << kBlock << " bytes";
      if (!::SetClipboardData(e2e::PrivateFormat(name), g)) {
        ::GlobalFree(g);
        FAIL() << "SetClipboardData of " << kBlock << " bytes failed";
      }
    }
  }
  const ULONGLONG t0 = ::GetTickCount64();
  EXPECT_EQ(TipAfter(tray, add, WM_MOUSEMOVE, 180000), "Clipboard is 2,164,260,864 bytes");
  std::printf("2 x %zu bytes measured in %llu ms\n", static_cast<std::size_t>(kBlock),
              ::GetTickCount64() - t0);
}
#endif

// ---- where the program is installed ----

class Paths : public Desk {};

TEST_F(Paths, StartsRunsAndEndsFromUnusualFolders) {
  const char* folders[] = {
      "C:\\Heftmark stress\\with spaces",
      "C:\\\xDC" "ber Heftmark",  // "Über" in the ANSI code page 1252
      "C:",                       // the drive's root
  };
  const std::string source = e2e::ProgramPath();
  for (const std::string folder : folders) {
    SCOPED_TRACE(folder);
    const bool root = folder.size() == 2;
    const bool nested = folder.starts_with("C:\\Heftmark stress\\");
    if (!root) {
      if (nested) ::CreateDirectoryA("C:\\Heftmark stress", nullptr);
      ASSERT_TRUE(::CreateDirectoryA(folder.c_str(), nullptr) ||
                  ::GetLastError() == ERROR_ALREADY_EXISTS)
          << "error " << ::GetLastError();
    }
    const std::string exe = folder + "\\Heftmark.exe";
    ASSERT_TRUE(CopyInto(source, exe)) << "cannot copy to " << exe;
    struct Cleanup {
      std::string exe, folder;
      bool root, nested;
      ~Cleanup() {
        ::DeleteFileA(exe.c_str());
        if (!root) RemoveTree(folder);
        if (nested) ::RemoveDirectoryA("C:\\Heftmark stress");
      }
    } cleanup{exe, folder, root, nested};

    Instance program;
    const std::size_t n = tray.events().size();
    ASSERT_TRUE(program.Start(exe)) << "cannot start " << exe;
    TrayEvent add;
    ASSERT_TRUE(WaitAdd(program.pid(), n, &add)) << e2e::Describe(tray.Since(n));
    ASSERT_TRUE(e2e::PutBlocks(tray.hwnd(), {{e2e::PrivateFormat("Heftmark.Stress.A"), 2048}}));
    EXPECT_EQ(TipAfter(tray, add), "Clipboard is 2,048 bytes");

    // The manual's path is made from the program's own: with no manual
    // there, the launch fails and leaves that path on the clipboard.
    const std::string manual = folder + "\\readme.doc";
    ASSERT_TRUE(Choose(add, program.pid(), 'D'));
    HWND box = e2e::WaitForBox(program.pid(), "Heftmark");
    ASSERT_NE(box, nullptr) << "no error box for the missing manual";
    EXPECT_EQ(e2e::BoxText(box),
              "Shell command failed. It has been copied to the clipboard.\r\n" + manual + ".");
    ASSERT_TRUE(e2e::ClickOk(box));
    wchar_t wide[MAX_PATH] = {};
    ::MultiByteToWideChar(CP_ACP, 0, manual.c_str(), -1, wide, MAX_PATH);
    EXPECT_EQ(e2e::ClipboardText(tray.hwnd()), wide);

    EXPECT_TRUE(ExitByMenu(add, program));
  }
}

// ---- locales ----

// Run with LC_ALL set: Wine takes the user's locale from it, and the
// program reads its separator from that once, at start.
class Locale : public e2e::Session {};

TEST_F(Locale, GroupsWithTheUsersSeparator) {
  const std::pair<const char*, char> separators[] = {
      {"en_US.UTF-8", ','},
      {"de_DE.UTF-8", '.'},
      {"de_CH.UTF-8", '\x92'},  // Wine's right single quote, in code page 1252
      {"fr_FR.UTF-8", '\xA0'},  // a no-break space
  };
  const char* lc = std::getenv("LC_ALL");
  ASSERT_NE(lc, nullptr) << "LC_ALL is not set";
  char sep = 0;
  for (auto [name, s] : separators)
    if (std::string(lc) == name) sep = s;
  ASSERT_NE(sep, 0) << "no separator known for " << lc;

  const UINT a = e2e::PrivateFormat("Heftmark.Stress.A");
  for (SIZE_T size : {SIZE_T{999}, SIZE_T{2048}, SIZE_T{1234567}}) {
    ASSERT_TRUE(e2e::PutBlocks(tray.hwnd(), {{a, size}}));
    EXPECT_EQ(Refresh(), ExpectedTip(size, sep));
  }
}

}  // namespace
}  // namespace stress
