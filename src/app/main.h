// The program's one form: the hidden owner of the tray icon, the owner of
// the tray menu, and the About window.
#pragma once

#include <windows.h>
#include <shellapi.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "controls.h"
#include "forms.h"
#include "menus.h"

// The shell's callback message for mouse actions over our icon.
inline constexpr UINT WM_TRAYICON = WM_USER + 100;
static_assert(WM_TRAYICON == 0x464);
// Our one icon's number.
inline constexpr UINT kTrayIconId = 1;
// The first version of the notification record: every shell reads it, and
// it holds the 64-byte tip.
inline constexpr DWORD kIconRecordSize = NOTIFYICONDATAA_V1_SIZE;
#ifndef _WIN64
static_assert(kIconRecordSize == 88);
#endif

class TmainForm : public platform::TForm {
 public:
  using TObject = platform::TObject;

  explicit TmainForm(platform::TComponent* owner) : TForm(owner) {}
  const char* ClassName() const override { return "TmainForm"; }

  platform::TPanel* Panel1 = nullptr;
  platform::TImage* ProgramIcon = nullptr;
  platform::TLabel* ProductName = nullptr;
  platform::TLabel* Comments = nullptr;
  platform::TButton* OKButton = nullptr;
  platform::TButton* PurchaseButton = nullptr;
  platform::TPopupMenu* PopupMenu1 = nullptr;
  platform::TMenuItem* Clearclipboard1 = nullptr;
  platform::TMenuItem* Exit1 = nullptr;
  platform::TMenuItem* About1 = nullptr;
  platform::TButton* freeRegisterButton = nullptr;
  platform::TMenuItem* Showcontents1 = nullptr;
  platform::TMenuItem* Displaymanual1 = nullptr;
  platform::TMenuItem* Visitwebsite1 = nullptr;

  // Published handlers, bound by name from the layout.
  void FormCreate(TObject* Sender);
  void showReadMe(TObject* Sender);
  void PurchaseButtonClick(TObject* Sender);
  void OKButtonClick(TObject* Sender);
  void Clearclipboard1Click(TObject* Sender);
  void Exit1Click(TObject* Sender);
  void showAbout(TObject* Sender);
  void freeRegisterButtonClick(TObject* Sender);
  void Showcontents1Click(TObject* Sender);
  void FormDestroy(TObject* Sender);
  void FormClose(TObject* Sender, platform::TCloseAction& Action);
  void Visitwebsite1Click(TObject* Sender);

  void WMTrayIcon(platform::TMessage& Message);

  void InitIconData(NOTIFYICONDATAA& Record);
  void SetTrayTip(std::string_view Text);
  void HideApplicationWindow(TObject* Sender);
  void ShowTrayMenu();

  // The total size of every format's data on the clipboard.
  std::uint64_t GetClipboardSize();
  std::string ClipboardTipText(std::uint64_t Size);

  std::optional<platform::TMethod> FindMethod(std::string_view name) override;

 protected:
  bool DispatchMessage(platform::TMessage& m) override;
  bool BindField(const std::string& name, platform::TComponent* component) override;
  std::vector<std::string> FieldNames() const override;

 private:
  // The add and the removal send the same full record.
  void FillFullIconData(NOTIFYICONDATAA& Record);
};

extern TmainForm* mainForm;

// The texts of the About window.
std::string AboutProductLine();
std::string AboutLongText();
