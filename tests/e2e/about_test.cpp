// The About window: opened from the tray menu, read back through its
// controls, worked with clicks and keys sent into the program's own queue,
// and photographed for a person to look at.
#include <algorithm>
#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "fixture.h"

namespace e2e {
namespace {

constexpr char kHomePage[] = "https://tallowgate.example";
constexpr char kMailto[] = "mailto:heftmark-subscribe@tallowgate.example";
constexpr char kShot[] = "about_window.bmp";

std::string FullText(HWND h) {
  std::string text(static_cast<std::size_t>(::GetWindowTextLengthA(h)) + 1, '\0');
  text.resize(static_cast<std::size_t>(::GetWindowTextA(h, text.data(), static_cast<int>(text.size()))));
  return text;
}

BOOL CALLBACK Collect(HWND h, LPARAM lp) {
  reinterpret_cast<std::vector<HWND>*>(lp)->push_back(h);
  return TRUE;
}

std::vector<HWND> Descendants(HWND parent) {
  std::vector<HWND> found;
  ::EnumChildWindows(parent, &Collect, reinterpret_cast<LPARAM>(&found));
  return found;
}

bool IsClass(HWND h, const char* cls) { return ::lstrcmpiA(ClassOf(h).c_str(), cls) == 0; }

int Scaled(int value) {
  HDC dc = ::GetDC(nullptr);
  const int dpi = ::GetDeviceCaps(dc, LOGPIXELSY);
  ::ReleaseDC(nullptr, dc);
  return ::MulDiv(value, dpi, 96);
}

// Posted, as the keyboard would queue them: the program's loop must see
// them to give them to the dialog handling.
void Key(HWND to, WORD vk) {
  const LPARAM scan = static_cast<LPARAM>(::MapVirtualKeyW(vk, MAPVK_VK_TO_VSC)) << 16;
  ::PostMessageW(to, WM_KEYDOWN, vk, scan | 1);
  ::PostMessageW(to, WM_KEYUP, vk, scan | 1 | (1LL << 30) | (1LL << 31));
}

// The screen under `r`, rows from the top, each pixel 0x00RRGGBB.
std::vector<DWORD> Capture(const RECT& r) {
  const int w = r.right - r.left, h = r.bottom - r.top;
  std::vector<DWORD> pixels(static_cast<std::size_t>(w) * h);
  HDC screen = ::GetDC(nullptr);
  HDC mem = ::CreateCompatibleDC(screen);
  BITMAPINFO bi{};
  bi.bmiHeader = {sizeof(BITMAPINFOHEADER), w, -h, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  void* bits = nullptr;
  HBITMAP bmp = ::CreateDIBSection(mem, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = ::SelectObject(mem, bmp);
  if (bits && ::BitBlt(mem, 0, 0, w, h, screen, r.left, r.top, SRCCOPY)) {
    ::GdiFlush();
    std::copy_n(static_cast<const DWORD*>(bits), pixels.size(), pixels.begin());
  }
  ::SelectObject(mem, old);
  ::DeleteObject(bmp);
  ::DeleteDC(mem);
  ::ReleaseDC(nullptr, screen);
  return pixels;
}

// 24 bits a pixel, bottom row first: a fourth byte would be read as
// alpha by some viewers and show the picture as blank.
bool SaveBmp(const char* path, int w, int h, const std::vector<DWORD>& pixels) {
  const std::size_t stride = (static_cast<std::size_t>(w) * 3 + 3) & ~std::size_t{3};
  std::vector<BYTE> rows(stride * h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const DWORD p = pixels[static_cast<std::size_t>(y) * w + x];
      BYTE* out = &rows[stride * (h - 1 - y) + static_cast<std::size_t>(x) * 3];
      out[0] = p & 0xFF, out[1] = p >> 8 & 0xFF, out[2] = p >> 16 & 0xFF;
    }
  BITMAPINFOHEADER info{sizeof info, w, h, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
  BITMAPFILEHEADER file{0x4D42, static_cast<DWORD>(sizeof file + sizeof info + rows.size()), 0, 0,
                        sizeof file + sizeof info};
  FILE* f = std::fopen(path, "wb");
  if (!f) return false;
  const bool ok = std::fwrite(&file, sizeof file, 1, f) == 1 &&
                  std::fwrite(&info, sizeof info, 1, f) == 1 &&
                  std::fwrite(rows.data(), rows.size(), 1, f) == 1;
  return std::fclose(f) == 0 && ok;
}

DWORD Rgb(COLORREF c) { return GetRValue(c) << 16 | GetGValue(c) << 8 | GetBValue(c); }

class About : public Session {
 protected:
  void SetUp() override {
    ASSERT_EQ(recorder.error(), "");
    Session::SetUp();
    form = add.hwnd;
  }

  // "&About Heftmark..." from the tray menu.
  bool Show() {
    return ChooseMenuItem(add, program.pid(), 'A') &&
           PumpUntil([this] { return ::IsWindowVisible(form) != FALSE; });
  }
  bool WaitHidden() {
    return PumpUntil([this] { return !::IsWindowVisible(form); });
  }
  bool AppVisible() const { return ::IsWindowVisible(AppWindow()) != FALSE; }

  HWND Child(const char* cls, const char* text) const {
    for (HWND h : Descendants(form))
      if (IsClass(h, cls) && FullText(h) == text) return h;
    return nullptr;
  }
  HWND Focus() const {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    return ::GetGUIThreadInfo(::GetWindowThreadProcessId(form, nullptr), &info) ? info.hwndFocus
                                                                               : nullptr;
  }
  // Returns once the program has handled what was posted before: a tray
  // message queued behind it has been answered.
  void Settle() {
    const std::string tip = Refresh();
    EXPECT_FALSE(tip.starts_with("<")) << tip;
  }

  void ExpectLaunch(const char* target) {
    const std::size_t n = launches++;
    auto started = recorder.WaitForStart(n);
    ASSERT_TRUE(started) << "the recorder was not started for " << target;
    EXPECT_EQ(*started, recorder.CommandFor(target));
  }

  Recorder recorder{{".doc"}};
  HWND form = nullptr;
  std::size_t launches = 0;
};

TEST_F(About, FirstShowingIsCentredWithItsTextsAndEnterPressesOk) {
  ASSERT_FALSE(::IsWindowVisible(form));
  ASSERT_TRUE(Show()) << "no About window";
  EXPECT_EQ(TextOf(form), "About Heftmark");
  EXPECT_TRUE(AppVisible()) << "no taskbar button";

  RECT client{}, outer{};
  ::GetClientRect(form, &client);
  ::GetWindowRect(form, &outer);
  EXPECT_EQ(client.right, Scaled(363));
  EXPECT_EQ(client.bottom, Scaled(206));
  const int w = outer.right - outer.left, h = outer.bottom - outer.top;
  EXPECT_EQ(outer.left, std::max(0, (::GetSystemMetrics(SM_CXSCREEN) - w) / 2));
  EXPECT_EQ(outer.top, std::max(0, (::GetSystemMetrics(SM_CYSCREEN) - h) / 2));

  std::string product, comments;
  std::set<std::string> buttons;
  for (HWND c : Descendants(form)) {
    const std::string text = FullText(c);
    if (IsClass(c, "Button")) buttons.insert(text);
    if (!IsClass(c, "Static")) continue;
    if (text.starts_with("Heftmark v2.6")) product = text;
    if (text.starts_with("Register for FREE")) comments = text;
  }
  EXPECT_EQ(buttons, (std::set<std::string>{"OK", "&FREE registration", "Tallowgate Online"}));
  // Two lines: the version, then the maker's notice.
  ASSERT_TRUE(product.starts_with("Heftmark v2.6\r\n")) << product;
  EXPECT_GT(product.size(), sizeof("Heftmark v2.6\r\n") - 1);
  EXPECT_EQ(product.find('\n', sizeof("Heftmark v2.6\r\n") - 1), std::string::npos) << product;
  // Three paragraphs; the addresses are the ones the buttons open.
  const std::string head =
      "Register for FREE by email to heftmark-subscribe@tallowgate.example\r\n\r\n"
      "For other great programs like ";
  const std::string tail = ", visit Tallowgate Online at\r\n\r\n   " + std::string(kHomePage);
  ASSERT_TRUE(comments.starts_with(head)) << comments;
  ASSERT_TRUE(comments.ends_with(tail)) << comments;
  const std::string names = comments.substr(head.size(), comments.size() - head.size() - tail.size());
  std::size_t commas = 0;
  for (std::size_t at = names.find(", "); at != std::string::npos; at = names.find(", ", at + 1)) ++commas;
  EXPECT_EQ(commas, 7u) << names;
  EXPECT_NE(names.find(" and "), std::string::npos) << names;
  EXPECT_EQ(names.find('\n'), std::string::npos) << names;

  // A picture for people, once the program has drawn it: the long text's
  // label shows dark text on the face colour.
  HWND commentsLabel = Child("Static", comments.c_str());
  ASSERT_NE(commentsLabel, nullptr);
  RECT label{};
  ::GetWindowRect(commentsLabel, &label);
  const DWORD face = Rgb(::GetSysColor(COLOR_BTNFACE));
  std::vector<DWORD> shot;
  const bool drawn = PumpUntil([&] {
    shot = Capture(outer);
    std::size_t faced = 0, dark = 0;
    for (int y = label.top; y < label.bottom; ++y)
      for (int x = label.left; x < label.right; ++x) {
        const DWORD p = shot[static_cast<std::size_t>(y - outer.top) * w + (x - outer.left)];
        faced += p == face;
        dark += (p >> 16 & 0xFF) + (p >> 8 & 0xFF) + (p & 0xFF) < 3 * 0x40;
      }
    return faced > dark && dark > 100;
  });
  EXPECT_TRUE(SaveBmp(kShot, w, h, shot)) << "cannot write " << kShot;
  EXPECT_TRUE(drawn) << "the long text is not on the screen; see " << kShot;

  // The first showing gives OK the focus. Escape does nothing; Enter
  // presses OK.
  HWND ok = Child("Button", "OK");
  ASSERT_NE(ok, nullptr);
  EXPECT_EQ(Focus(), ok);
  HWND keys = Focus() ? Focus() : form;
  Key(keys, VK_ESCAPE);
  Settle();
  EXPECT_TRUE(::IsWindowVisible(form)) << "Escape hid the window";
  Key(keys, VK_RETURN);
  ASSERT_TRUE(WaitHidden()) << "Enter did not press OK";
  EXPECT_FALSE(AppVisible()) << "the taskbar button stayed";
  EXPECT_EQ(recorder.Starts(), 0u);
}

TEST_F(About, HidingKeepsTheWindowItsPlaceAndTheIcon) {
  ASSERT_TRUE(Show());
  RECT centred{};
  ::GetWindowRect(form, &centred);
  HWND ok = Child("Button", "OK");
  ASSERT_NE(ok, nullptr);
  ::PostMessageW(ok, BM_CLICK, 0, 0);
  ASSERT_TRUE(WaitHidden()) << "OK did not hide the window";
  EXPECT_FALSE(AppVisible());

  // Moved by the user, then closed: only hidden, with the icon still there.
  ASSERT_TRUE(Show());
  EXPECT_TRUE(AppVisible());
  const POINT moved{centred.left / 3 + 7, centred.top / 3 + 5};
  ::SetWindowPos(form, nullptr, moved.x, moved.y, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_ASYNCWINDOWPOS);
  ASSERT_TRUE(PumpUntil([&] {
    RECT r{};
    ::GetWindowRect(form, &r);
    return r.left == moved.x && r.top == moved.y;
  })) << "the window did not move";
  const std::size_t n = tray.events().size();
  ::PostMessageW(form, WM_CLOSE, 0, 0);
  ASSERT_TRUE(WaitHidden()) << "WM_CLOSE did not hide the window";
  EXPECT_FALSE(AppVisible());
  ASSERT_TRUE(PutBlocks(tray.hwnd(), {}));
  EXPECT_EQ(Refresh(), "Clipboard is empty");
  EXPECT_TRUE(tray.Since(n, NIM_DELETE).empty()) << Describe(tray.Since(n));
  EXPECT_TRUE(program.Alive());

  ASSERT_TRUE(Show());
  RECT back{};
  ::GetWindowRect(form, &back);
  EXPECT_EQ(back.left, moved.x);
  EXPECT_EQ(back.top, moved.y);
  EXPECT_TRUE(AppVisible());
}

TEST_F(About, ButtonsOpenTheMailAndTheHomePage) {
  ASSERT_TRUE(Show());
  HWND mail = Child("Button", "&FREE registration");
  HWND home = Child("Button", "Tallowgate Online");
  ASSERT_NE(mail, nullptr);
  ASSERT_NE(home, nullptr);

  ::PostMessageW(mail, BM_CLICK, 0, 0);
  ExpectLaunch(kMailto);
  ::PostMessageW(home, BM_CLICK, 0, 0);
  ExpectLaunch(kHomePage);
  // The click left the focus on "Tallowgate Online": Enter presses it, not
  // OK. F presses "&FREE registration" from anywhere.
  EXPECT_EQ(Focus(), home);
  Key(home, VK_RETURN);
  ExpectLaunch(kHomePage);
  Key(home, 'F');
  ExpectLaunch(kMailto);
  Settle();
  EXPECT_TRUE(::IsWindowVisible(form)) << "a launch hid the window";
  EXPECT_EQ(recorder.Starts(), launches);
}

}  // namespace
}  // namespace e2e
