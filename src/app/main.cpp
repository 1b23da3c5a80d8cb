#include "main.h"

#include <span>

#include "ShellExc.h"
#include "addresses.h"
#include "app.h"
#include "clipbrd.h"
#include "errors.h"
#include "launch.h"
#include "sysutils.h"
#include "text.h"

using platform::Application;
using platform::TCloseAction;

TmainForm* mainForm = nullptr;

namespace {

constexpr const char kInitialTip[] = "Heftmark";
constexpr const char kManualName[] = "readme.doc";
constexpr const char kClipboardViewer[] = "clipbrd.exe";

using P = platform::PublishedMethod<TmainForm>;
const P kMethods[] = {
    {"FormCreate", &TmainForm::FormCreate, nullptr},
    {"showReadMe", &TmainForm::showReadMe, nullptr},
    {"PurchaseButtonClick", &TmainForm::PurchaseButtonClick, nullptr},
    {"OKButtonClick", &TmainForm::OKButtonClick, nullptr},
    {"Clearclipboard1Click", &TmainForm::Clearclipboard1Click, nullptr},
    {"Exit1Click", &TmainForm::Exit1Click, nullptr},
    {"showAbout", &TmainForm::showAbout, nullptr},
    {"freeRegisterButtonClick", &TmainForm::freeRegisterButtonClick, nullptr},
    {"Showcontents1Click", &TmainForm::Showcontents1Click, nullptr},
    {"FormDestroy", &TmainForm::FormDestroy, nullptr},
    {"FormClose", nullptr, &TmainForm::FormClose},
    {"Visitwebsite1Click", &TmainForm::Visitwebsite1Click, nullptr},
};

const platform::MessageEntry<TmainForm> kMessages[] = {
    {WM_TRAYICON, &TmainForm::WMTrayIcon},
};

template <class T, T* TmainForm::*M>
constexpr platform::FieldEntry<TmainForm> Field(const char* name) {
  return {name, &platform::AssignField<TmainForm, T, M>};
}
using platform::TButton, platform::TImage, platform::TLabel, platform::TMenuItem,
    platform::TPanel, platform::TPopupMenu;
const platform::FieldEntry<TmainForm> kFields[] = {
    Field<TPanel, &TmainForm::Panel1>("Panel1"),
    Field<TImage, &TmainForm::ProgramIcon>("ProgramIcon"),
    Field<TLabel, &TmainForm::ProductName>("ProductName"),
    Field<TLabel, &TmainForm::Comments>("Comments"),
    Field<TButton, &TmainForm::OKButton>("OKButton"),
    Field<TButton, &TmainForm::PurchaseButton>("PurchaseButton"),
    Field<TPopupMenu, &TmainForm::PopupMenu1>("PopupMenu1"),
    Field<TMenuItem, &TmainForm::Clearclipboard1>("Clearclipboard1"),
    Field<TMenuItem, &TmainForm::Exit1>("Exit1"),
    Field<TMenuItem, &TmainForm::About1>("About1"),
    Field<TButton, &TmainForm::freeRegisterButton>("freeRegisterButton"),
    Field<TMenuItem, &TmainForm::Showcontents1>("Showcontents1"),
    Field<TMenuItem, &TmainForm::Displaymanual1>("Displaymanual1"),
    Field<TMenuItem, &TmainForm::Visitwebsite1>("Visitwebsite1"),
};

constexpr const char* kOtherPrograms[] = {
    "Pastewright", "Trayfold",  "Keyloom",   "Screenwell", "Notchpad",
    "Fontgrove",   "Dialbrook", "Spoolmark", "Quillstone",
};

}  // namespace

bool TmainForm::DispatchMessage(platform::TMessage& m) {
  return platform::DispatchFrom(kMessages, *this, m);
}

std::optional<platform::TMethod> TmainForm::FindMethod(std::string_view name) {
  return platform::FindIn(kMethods, *this, name);
}

bool TmainForm::BindField(const std::string& name, platform::TComponent* component) {
  for (const auto& f : kFields)
    if (name == f.name) return f.assign(*this, component);
  return false;
}

std::vector<std::string> TmainForm::FieldNames() const {
  std::vector<std::string> names;
  for (const auto& f : kFields) names.emplace_back(f.name);
  return names;
}

// ---- tray icon ----

void TmainForm::InitIconData(NOTIFYICONDATAA& Record) {
  Record.cbSize = kIconRecordSize;
  Record.hWnd = mainForm->Handle();
  Record.uID = kTrayIconId;
}

void TmainForm::FillFullIconData(NOTIFYICONDATAA& Record) {
  InitIconData(Record);
  Record.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
  Record.uCallbackMessage = WM_TRAYICON;
  Record.hIcon = Application->Icon();
  heft::CopyTipField(kInitialTip, std::span<char, heft::kTipFieldSize>(Record.szTip, heft::kTipFieldSize));
}

void TmainForm::FormCreate(TObject*) {
  Application->OnMinimize = [this](TObject* s) { HideApplicationWindow(s); };
  Application->OnRestore = [this](TObject* s) { HideApplicationWindow(s); };
  Application->Minimize();
  HideApplicationWindow(this);
  NOTIFYICONDATAA record{};
  FillFullIconData(record);
  ::Shell_NotifyIconA(NIM_ADD, &record);
}

void TmainForm::FormDestroy(TObject*) {
  NOTIFYICONDATAA record{};
  FillFullIconData(record);
  ::Shell_NotifyIconA(NIM_DELETE, &record);
}

void TmainForm::HideApplicationWindow(TObject*) { ::ShowWindow(Application->Handle(), SW_HIDE); }

void TmainForm::SetTrayTip(std::string_view Text) {
  NOTIFYICONDATAA record{};
  InitIconData(record);
  record.uFlags = NIF_TIP;
  // Cut to the field's 63 characters: the shell must never read past it.
  heft::CopyTipField(Text, std::span<char, heft::kTipFieldSize>(record.szTip, heft::kTipFieldSize),
                     platform::IsAnsiLeadByte);
  ::Shell_NotifyIconA(NIM_MODIFY, &record);
}

void TmainForm::WMTrayIcon(platform::TMessage& Message) {
  const auto action = static_cast<UINT>(Message.LParam);
  if (action == WM_RBUTTONDOWN) {
    ShowTrayMenu();
    return;
  }
  if (action == WM_LBUTTONDBLCLK) platform::Clipboard().Clear();
  SetTrayTip(ClipboardTipText(GetClipboardSize()));
}

void TmainForm::ShowTrayMenu() {
  POINT p{};
  ::GetCursorPos(&p);
  ::SetForegroundWindow(Application->Handle());
  Application->ProcessMessages();
  // A quit message handled just now ends the program: no menu for it.
  if (Application->Terminated()) return;
  PopupMenu1->Popup(p.x, p.y);
}

// ---- clipboard ----

std::uint64_t TmainForm::GetClipboardSize() {
  // 64 bits: blocks of a few gigabytes must not wrap the total.
  std::uint64_t total = 0;
  platform::Clipboard().ForEachFormat([&total](UINT format) {
    if (HANDLE data = ::GetClipboardData(format)) total += ::GlobalSize(data);
  });
  return total;
}

std::string TmainForm::ClipboardTipText(std::uint64_t Size) {
  return heft::ClipboardTipText(Size, platform::FormatSettings.ThousandSeparator);
}

// ---- tray menu ----

void TmainForm::Clearclipboard1Click(TObject*) { platform::Clipboard().Clear(); }

void TmainForm::Exit1Click(TObject*) { Application->Terminate(); }

// ---- launches ----

void TmainForm::Showcontents1Click(TObject*) { ShellExecOrCopy(kClipboardViewer); }

void TmainForm::showReadMe(TObject*) {
  ShellExecOrCopy(heft::SiblingPath(platform::ExecutablePath(), kManualName, platform::IsAnsiLeadByte));
}

void TmainForm::Visitwebsite1Click(TObject*) { ShellExecOrCopy(heftmark::kHomePage); }

void TmainForm::PurchaseButtonClick(TObject*) { ShellExecOrCopy(heftmark::kHomePage); }

void TmainForm::freeRegisterButtonClick(TObject*) { ShellExecOrCopy(std::string("mailto:") + heftmark::kSubscribeAddress); }

// ---- About window ----

std::string AboutProductLine() {
  return "Heftmark v2.6\r\nCopyright \xA9 2003-2026 Tallowgate Software";
}

std::string AboutLongText() {
  std::string text = "Register for FREE by email to ";
  text += heftmark::kSubscribeAddress;
  text += "\r\n\r\nFor other great programs like ";
  constexpr std::size_t n = std::size(kOtherPrograms);
  for (std::size_t i = 0; i < n; ++i) {
    if (i > 0) text += i + 1 == n ? " and " : ", ";
    text += kOtherPrograms[i];
  }
  text += ", visit Tallowgate Online at\r\n\r\n   ";
  text += heftmark::kHomePage;
  return text;
}

void TmainForm::showAbout(TObject*) {
  ProductName->SetCaption(AboutProductLine());
  Comments->SetCaption(AboutLongText());
  mainForm->Show();
}

void TmainForm::OKButtonClick(TObject*) { Hide(); }

void TmainForm::FormClose(TObject*, TCloseAction& Action) {
  mainForm->Hide();
  Action = TCloseAction::caNone;
}
