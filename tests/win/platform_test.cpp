// The platform layer and the form's units inside a Wine process, against
// the real clipboard, user32 and shell32.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "ShellExc.h"
#include "app.h"
#include "clipbrd.h"
#include "errors.h"
#include "main.h"
#include "menus.h"
#include "sysutils.h"

using platform::Application;
using platform::Clipboard;

namespace {

constexpr char kHoldArg[] = "--hold-clipboard";
std::string g_self;

// Wine's own clipboard manager may hold the clipboard for a moment.
bool OpenWithRetry(HWND owner) {
  for (int i = 0; i < 50; ++i) {
    if (::OpenClipboard(owner)) return true;
    ::Sleep(5);
  }
  return false;
}

HGLOBAL Block(SIZE_T bytes, char fill) {
  HGLOBAL g = ::GlobalAlloc(GMEM_MOVEABLE, bytes);
  std::memset(::GlobalLock(g), fill, bytes);
  ::GlobalUnlock(g);
  return g;
}

// Puts each (format, size) block on the clipboard, replacing what was there.
void PutBlocks(const std::vector<std::pair<UINT, SIZE_T>>& blocks) {
  ASSERT_TRUE(OpenWithRetry(nullptr));
  ::EmptyClipboard();
  for (auto [fmt, size] : blocks) ::SetClipboardData(fmt, Block(size, 'x'));
  ::CloseClipboard();
}

// The reference total: every listed format's block size, fetched directly.
unsigned long long ReferenceTotal(int* formats = nullptr) {
  EXPECT_TRUE(OpenWithRetry(nullptr));
  unsigned long long total = 0;
  int n = 0;
  for (UINT f = ::EnumClipboardFormats(0); f; f = ::EnumClipboardFormats(f), ++n)
    if (HANDLE h = ::GetClipboardData(f)) total += ::GlobalSize(h);
  ::CloseClipboard();
  if (formats) *formats = n;
  return total;
}

std::wstring ClipboardUnicodeText() {
  EXPECT_TRUE(OpenWithRetry(nullptr));
  std::wstring text;
  if (HANDLE h = ::GetClipboardData(CF_UNICODETEXT)) {
    text = static_cast<const wchar_t*>(::GlobalLock(h));
    ::GlobalUnlock(h);
  }
  ::CloseClipboard();
  return text;
}

// Another process that holds the clipboard open until it is dropped.
class ClipboardHolder {
 public:
  ClipboardHolder() {
    ready_ = ::CreateEventA(nullptr, TRUE, FALSE, "heft-test-held");
    release_ = ::CreateEventA(nullptr, TRUE, FALSE, "heft-test-release");
    std::string cmd = "\"" + g_self + "\" " + kHoldArg;
    STARTUPINFOA si{};
    si.cb = sizeof si;
    EXPECT_TRUE(::CreateProcessA(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                 nullptr, &si, &pi_));
    EXPECT_EQ(::WaitForSingleObject(ready_, 10000), WAIT_OBJECT_0);
  }
  ~ClipboardHolder() {
    ::SetEvent(release_);
    ::WaitForSingleObject(pi_.hProcess, 10000);
    ::CloseHandle(pi_.hProcess);
    ::CloseHandle(pi_.hThread);
    ::CloseHandle(ready_);
    ::CloseHandle(release_);
  }

 private:
  PROCESS_INFORMATION pi_{};
  HANDLE ready_, release_;
};

int HoldClipboard() {
  HANDLE ready = ::OpenEventA(EVENT_MODIFY_STATE, FALSE, "heft-test-held");
  HANDLE release = ::OpenEventA(SYNCHRONIZE, FALSE, "heft-test-release");
  if (!ready || !release || !OpenWithRetry(nullptr)) return 2;
  ::SetEvent(ready);
  ::WaitForSingleObject(release, 30000);
  ::CloseClipboard();
  return 0;
}

std::string MessageOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const platform::Exception& e) {
    return e.Message();
  }
  return "(nothing raised)";
}

}  // namespace

// ---- the clipboard object ----

TEST(ClipboardObject, OpensNestByCount) {
  auto& cb = Clipboard();
  ASSERT_EQ(cb.OpenCount(), 0);
  cb.Open();
  EXPECT_EQ(::GetOpenClipboardWindow(), Application->Handle());
  cb.Open();
  EXPECT_EQ(cb.OpenCount(), 2);
  cb.Close();
  EXPECT_EQ(cb.OpenCount(), 1);
  EXPECT_EQ(::GetOpenClipboardWindow(), Application->Handle()) << "inner close closed it";
  cb.Close();
  EXPECT_EQ(cb.OpenCount(), 0);
  EXPECT_EQ(::GetOpenClipboardWindow(), nullptr);
  cb.Close();  // one too many does nothing
  EXPECT_EQ(cb.OpenCount(), 0);
}

TEST(ClipboardObject, BusyClipboardRaisesAndLeavesNothingOpen) {
  PutBlocks({{CF_TEXT, 10}});
  TmainForm probe(nullptr);
  {
    ClipboardHolder other;
    EXPECT_EQ(MessageOf([] { Clipboard().Open(); }), "Cannot open clipboard");
    EXPECT_EQ(Clipboard().OpenCount(), 0);
    EXPECT_EQ(MessageOf([] { Clipboard().Clear(); }), "Cannot open clipboard");
    EXPECT_EQ(MessageOf([&] { probe.GetClipboardSize(); }), "Cannot open clipboard");
    EXPECT_EQ(Clipboard().OpenCount(), 0);
  }
  EXPECT_TRUE(::IsClipboardFormatAvailable(CF_TEXT)) << "a failed clear emptied it";
  EXPECT_TRUE(OpenWithRetry(nullptr)) << "we still hold the clipboard";
  ::CloseClipboard();
}

TEST(ClipboardObject, ClearEmptiesAndFormatsWalksTheList) {
  const UINT a = ::RegisterClipboardFormatA("Heftmark test A");
  const UINT b = ::RegisterClipboardFormatA("Heftmark test B");
  PutBlocks({{a, 3}, {b, 5}});
  ASSERT_EQ(Clipboard().FormatCount(), 2);
  std::set<UINT> seen{Clipboard().Formats(0), Clipboard().Formats(1)};
  EXPECT_EQ(seen, (std::set<UINT>{a, b}));
  Clipboard().Clear();
  EXPECT_EQ(::CountClipboardFormats(), 0);
  EXPECT_EQ(Clipboard().OpenCount(), 0);
}

// ---- measuring ----

TEST(GetClipboardSize, SumsEveryListedFormatsBlock) {
  TmainForm probe(nullptr);
  struct Case {
    const char* what;
    std::vector<std::pair<UINT, SIZE_T>> blocks;
  };
  const UINT p1 = ::RegisterClipboardFormatA("Heftmark size 1");
  const UINT p2 = ::RegisterClipboardFormatA("Heftmark size 2");
  const UINT p3 = ::RegisterClipboardFormatA("Heftmark size 3");
  const Case cases[] = {
      {"empty", {}},
      {"one private block", {{p1, 2048}}},
      {"three private blocks", {{p1, 1}, {p2, 999}, {p3, 65536}}},
      // Text brings synthesized formats with it, and they count too.
      {"text and a private block", {{CF_TEXT, 2048}, {p1, 7}}},
  };
  for (const Case& c : cases) {
    PutBlocks(c.blocks);
    int formats = 0;
    const unsigned long long expected = ReferenceTotal(&formats);
    EXPECT_EQ(probe.GetClipboardSize(), expected) << c.what;
    EXPECT_EQ(Clipboard().OpenCount(), 0) << c.what;
    unsigned long long own = 0;
    for (auto [f, size] : c.blocks) own += size;
    EXPECT_GE(expected, own) << c.what;
  }
  PutBlocks({{p1, 2048}});
  EXPECT_EQ(probe.ClipboardTipText(probe.GetClipboardSize()), "Clipboard is 2,048 bytes");
  PutBlocks({});
  EXPECT_EQ(probe.ClipboardTipText(probe.GetClipboardSize()), "Clipboard is empty");
}

TEST(IconRecord, FirstVersionSize) {
#ifdef _WIN64
  EXPECT_EQ(kIconRecordSize, offsetof(NOTIFYICONDATAA, szTip) + 64);
#else
  EXPECT_EQ(kIconRecordSize, 88u);
#endif
}

// ---- format settings ----

TEST(FormatSettings, SettingChangeRereadsTheSeparator) {
  char original[16] = {};
  ::GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_STHOUSAND, original, sizeof original);
  struct Case {
    const char* set;
    std::string expected;
  };
  for (const Case& c : {Case{"'", "'"}, Case{"", ""}, Case{".", "."}}) {
    ASSERT_TRUE(::SetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_STHOUSAND, c.set)) << c.set;
    ::SendMessageA(Application->Handle(), WM_SETTINGCHANGE, 0, 0);
    EXPECT_EQ(platform::FormatSettings.ThousandSeparator, c.expected) << c.set;
  }
  TmainForm probe(nullptr);
  ::SetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_STHOUSAND, "");
  ::SendMessageA(Application->Handle(), WM_SETTINGCHANGE, 0, 0);
  EXPECT_EQ(probe.ClipboardTipText(1234567), "Clipboard is 1234567 bytes");
  ::SetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_STHOUSAND, original);
  ::SendMessageA(Application->Handle(), WM_SETTINGCHANGE, 0, 0);
  EXPECT_EQ(platform::FormatSettings.ThousandSeparator, original);
}

// ---- the form, its layout and its menu ----

class FormTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (!mainForm) Application->CreateForm(mainForm);
  }
};

TEST_F(FormTest, LayoutMakesEveryComponentWithItsBindings) {
  ASSERT_NE(mainForm, nullptr);
  EXPECT_EQ(Application->MainForm(), mainForm);
  const char* names[] = {"Panel1",        "ProgramIcon",     "ProductName",        "Comments",
                         "OKButton",      "PurchaseButton",  "PopupMenu1",         "Clearclipboard1",
                         "Exit1",         "About1",          "freeRegisterButton", "Showcontents1",
                         "Displaymanual1", "Visitwebsite1"};
  std::set<std::string> made;
  for (auto* c : mainForm->Components()) made.insert(c->Name());
  EXPECT_EQ(made.size(), 14u);
  for (const char* n : names) EXPECT_TRUE(made.count(n)) << n;

  EXPECT_EQ(mainForm->Caption, "About Heftmark");
  EXPECT_EQ(mainForm->ClientWidth, 363);
  EXPECT_EQ(mainForm->ClientHeight, 206);
  EXPECT_EQ(mainForm->Position, platform::TPosition::poScreenCenter);
  EXPECT_TRUE(mainForm->OnCreate && mainForm->OnDestroy && mainForm->OnClose);
  EXPECT_EQ(mainForm->ProductName->Parent(), mainForm->Panel1);
  EXPECT_EQ(mainForm->OKButton->Parent(), nullptr);
  struct Bounds { platform::TWinControl* c; int l, t, w, h, tab; };
  for (const Bounds& b : {Bounds{mainForm->Panel1, 5, 7, 353, 161, 0},
                          Bounds{mainForm->Comments, 8, 50, 337, 109, -1},
                          Bounds{mainForm->OKButton, 9, 175, 75, 25, 1},
                          Bounds{mainForm->freeRegisterButton, 88, 175, 125, 25, 2},
                          Bounds{mainForm->PurchaseButton, 216, 175, 137, 25, 3}}) {
    EXPECT_EQ(b.c->Left, b.l) << b.c->Name();
    EXPECT_EQ(b.c->Top, b.t) << b.c->Name();
    EXPECT_EQ(b.c->Width, b.w) << b.c->Name();
    EXPECT_EQ(b.c->Height, b.h) << b.c->Name();
    EXPECT_EQ(b.c->TabOrder, b.tab) << b.c->Name();
  }
  EXPECT_TRUE(mainForm->OKButton->Default);
  EXPECT_EQ(mainForm->OKButton->ModalResult, 1);
  for (auto* b : {mainForm->OKButton, mainForm->PurchaseButton, mainForm->freeRegisterButton})
    EXPECT_TRUE(b->OnClick) << b->Name();
}

TEST_F(FormTest, MenuHasSixItemsWithKeysAndDefault) {
  auto* menu = mainForm->PopupMenu1;
  menu->AssignHotkeys();
  platform::UniqueMenu built = menu->BuildMenu();
  const char* expected[] = {"&Clear clipboard", "&Show contents", "&Display manual",
                            "&About Heftmark...", "&Visit website", "E&xit"};
  ASSERT_EQ(::GetMenuItemCount(built.get()), 6);
  std::set<UINT> ids;
  for (int i = 0; i < 6; ++i) {
    char text[64] = {};
    MENUITEMINFOA mii{};
    mii.cbSize = sizeof mii;
    mii.fMask = MIIM_STRING | MIIM_STATE | MIIM_ID | MIIM_FTYPE;
    mii.dwTypeData = text;
    mii.cch = sizeof text;
    ASSERT_TRUE(::GetMenuItemInfoA(built.get(), i, TRUE, &mii));
    EXPECT_STREQ(text, expected[i]);
    EXPECT_EQ((mii.fState & MFS_DEFAULT) != 0, i == 0) << i;
    EXPECT_EQ(mii.fType & (MFT_SEPARATOR | MFT_OWNERDRAW), 0u) << i;
    ids.insert(mii.wID);
    EXPECT_EQ(platform::TPopupMenu::FindItem(mii.wID), menu->Items()[i]);
  }
  EXPECT_EQ(ids.size(), 6u);
  menu->AssignHotkeys();  // a second showing changes nothing
  EXPECT_EQ(menu->Items()[4]->Caption, "&Visit website");
}

TEST_F(FormTest, ChosenItemRunsItsHandlerThroughThePopupList) {
  PutBlocks({{CF_TEXT, 16}});
  ::SendMessageA(platform::PopupListWindow(), WM_COMMAND,
                 mainForm->Clearclipboard1->Command(), 0);
  EXPECT_EQ(::CountClipboardFormats(), 0);
}

// ---- launching ----

TEST(Launch, ResultIsKeptOnSuccessAndFailure) {
  LastShellResult = -7;
  // Wine has no clipboard viewer: "file not found".
  const int missing = ShellExecStr("heftmark-no-such-program.exe", "", "", SW_SHOW);
  EXPECT_EQ(LastShellResult, missing);
  EXPECT_LE(missing, 32);
  EXPECT_FALSE(ShellExecOK("heftmark-no-such-program.exe", "", "", SW_SHOW));
}

TEST(Launch, RefusedCommandIsLeftOnTheClipboard) {
  PutBlocks({{CF_TEXT, 10}});
  const std::string cmd = "heftmark-no-such-program.exe";
  EXPECT_EQ(MessageOf([&] { ShellExecOrCopy(cmd); }),
            "Shell command failed. It has been copied to the clipboard.\r\n" + cmd);
  EXPECT_EQ(ClipboardUnicodeText(), L"heftmark-no-such-program.exe");
  ASSERT_TRUE(OpenWithRetry(nullptr));
  HANDLE h = ::GetClipboardData(CF_UNICODETEXT);
  EXPECT_GE(::GlobalSize(h), (cmd.size() + 1) * 2);
  EXPECT_FALSE(::GetClipboardData(CF_TEXT) && ::GlobalSize(::GetClipboardData(CF_TEXT)) == 10)
      << "the old text survived";
  ::CloseClipboard();
  EXPECT_EQ(Clipboard().OpenCount(), 0);
}

TEST(Launch, BusyClipboardKeepsItsContents) {
  const UINT p = ::RegisterClipboardFormatA("Heftmark keep me");
  PutBlocks({{p, 321}});
  {
    ClipboardHolder other;
    EXPECT_EQ(MessageOf([] { ShellExecOrCopy("heftmark-no-such-program.exe"); }),
              "Cannot open clipboard");
  }
  ASSERT_TRUE(OpenWithRetry(nullptr));
  HANDLE h = ::GetClipboardData(p);
  EXPECT_TRUE(h && ::GlobalSize(h) == 321);
  ::CloseClipboard();
}

TEST(Launch, ExecutablePathIsWhole) {
  const std::string path = platform::ExecutablePath();
  EXPECT_EQ(path.size(), g_self.size());
  EXPECT_EQ(::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES, true) << path;
}

int main(int argc, char** argv) {
  char self[MAX_PATH * 4] = {};
  ::GetModuleFileNameA(nullptr, self, sizeof self);
  g_self = self;
  if (argc > 1 && std::strcmp(argv[1], kHoldArg) == 0) return HoldClipboard();
  ::testing::InitGoogleTest(&argc, argv);
  platform::PlatformUnits units;
  Application->Initialize();
  return RUN_ALL_TESTS();
}

// ---- the About window ----

namespace {

void Pump() {
  MSG msg;
  while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    ::TranslateMessage(&msg);
    ::DispatchMessageA(&msg);
  }
}

// Saves what the screen shows of a window as a 24-bit BMP, for people to
// look at.
void SaveWindowPicture(HWND h, const std::string& path) {
  RECT r;
  ::GetWindowRect(h, &r);
  const int w = r.right - r.left, ht = r.bottom - r.top;
  HDC screen = ::GetDC(nullptr);
  HDC mem = ::CreateCompatibleDC(screen);
  HBITMAP bmp = ::CreateCompatibleBitmap(screen, w, ht);
  HGDIOBJ old = ::SelectObject(mem, bmp);
  ::BitBlt(mem, 0, 0, w, ht, screen, r.left, r.top, SRCCOPY);
  ::SelectObject(mem, old);
  BITMAPINFOHEADER bi{sizeof bi, w, ht, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
  const int stride = ((w * 3 + 3) / 4) * 4;
  std::vector<char> bits(static_cast<std::size_t>(stride) * ht);
  ::GetDIBits(mem, bmp, 0, ht, bits.data(), reinterpret_cast<BITMAPINFO*>(&bi), DIB_RGB_COLORS);
  BITMAPFILEHEADER bf{0x4D42, static_cast<DWORD>(sizeof bf + sizeof bi + bits.size()), 0, 0,
                      sizeof bf + sizeof bi};
  if (FILE* f = std::fopen(path.c_str(), "wb")) {
    std::fwrite(&bf, sizeof bf, 1, f);
    std::fwrite(&bi, sizeof bi, 1, f);
    std::fwrite(bits.data(), 1, bits.size(), f);
    std::fclose(f);
  }
  ::DeleteObject(bmp);
  ::DeleteDC(mem);
  ::ReleaseDC(nullptr, screen);
}

}  // namespace

TEST_F(FormTest, AboutShowsCentredAndHidesWithoutClosing) {
  HWND form = mainForm->Handle();
  HWND app = Application->Handle();
  ASSERT_FALSE(::IsWindowVisible(form));
  mainForm->showAbout(nullptr);
  Pump();
  ASSERT_TRUE(::IsWindowVisible(form));
  EXPECT_TRUE(::IsWindowVisible(app)) << "no taskbar button while the About window is shown";
  EXPECT_EQ(::GetWindow(form, GW_OWNER), app);

  RECT client, outer;
  ::GetClientRect(form, &client);
  ::GetWindowRect(form, &outer);
  EXPECT_EQ(client.right, mainForm->Scale(363));
  EXPECT_EQ(client.bottom, mainForm->Scale(206));
  const int w = outer.right - outer.left, h = outer.bottom - outer.top;
  EXPECT_EQ(outer.left, std::max(0, (::GetSystemMetrics(SM_CXSCREEN) - w) / 2));
  EXPECT_EQ(outer.top, std::max(0, (::GetSystemMetrics(SM_CYSCREEN) - h) / 2));
  EXPECT_EQ(::GetFocus(), mainForm->OKButton->Handle());

  char title[64] = {};
  ::GetWindowTextA(form, title, sizeof title);
  EXPECT_STREQ(title, "About Heftmark");
  EXPECT_EQ(mainForm->ProductName->Caption(), AboutProductLine());
  EXPECT_EQ(mainForm->ProductName->ActualSize().cy, 2 * mainForm->Scale(13))
      << "the product line is two lines of the form's font";
  EXPECT_EQ(mainForm->Comments->ActualSize().cx, mainForm->Scale(337));
  SaveWindowPicture(form, "about-window.bmp");

  // The close box only hides it; the program goes on.
  ::SendMessageA(form, WM_CLOSE, 0, 0);
  Pump();
  EXPECT_FALSE(::IsWindowVisible(form));
  EXPECT_FALSE(::IsWindowVisible(app));
  EXPECT_TRUE(::IsWindow(form));
  MSG quit;
  EXPECT_FALSE(::PeekMessageA(&quit, nullptr, WM_QUIT, WM_QUIT, PM_NOREMOVE)) << "closing ended it";

  // Moved, hidden and shown again: it comes back where it was, with the
  // focus where it was, and is never centred again.
  mainForm->showAbout(nullptr);
  ::SetFocus(mainForm->PurchaseButton->Handle());
  ::SetWindowPos(form, nullptr, 11, 17, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  mainForm->OKButtonClick(nullptr);
  EXPECT_FALSE(::IsWindowVisible(form));
  mainForm->showAbout(nullptr);
  Pump();
  ::GetWindowRect(form, &outer);
  EXPECT_EQ(outer.left, 11);
  EXPECT_EQ(outer.top, 17);
  EXPECT_EQ(::GetFocus(), mainForm->PurchaseButton->Handle());

  // Showing it again while shown changes nothing.
  ::SetWindowPos(form, nullptr, 40, 50, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  mainForm->showAbout(nullptr);
  ::GetWindowRect(form, &outer);
  EXPECT_EQ(outer.left, 40);
  mainForm->Hide();
  EXPECT_FALSE(::IsWindowVisible(app));
}
