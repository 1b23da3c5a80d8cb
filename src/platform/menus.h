// Pop-up menus. A chosen item's command number arrives as WM_COMMAND at
// the pop-up list window, one hidden window for every pop-up menu of the
// program, which runs that item's click.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "forms.h"
#include "window.h"

namespace platform {

class TMenuItem : public TLayoutComponent {
 public:
  explicit TMenuItem(TComponent* owner);
  ~TMenuItem() override;

  std::string Caption;
  bool Default = false;
  bool Enabled = true;
  bool Visible = true;
  TNotifyEvent OnClick;
  // Unique among every menu item of the process.
  UINT Command() const { return command_; }
  // Runs OnClick if the item is enabled.
  void Click();

  bool SetProperty(std::string_view name, const heft::LayoutValue& value, TForm& form) override;

 private:
  UINT command_;
};

enum class TAutoHotkeys { maAutomatic, maManual };

class TPopupMenu : public TLayoutComponent {
 public:
  explicit TPopupMenu(TComponent* owner);
  ~TPopupMenu() override;

  const std::vector<TMenuItem*>& Items() const { return items_; }
  TAutoHotkeys AutoHotkeys = TAutoHotkeys::maAutomatic;
  TNotifyEvent OnPopup;

  // Shows the menu with its top-left corner at (x, y) in screen
  // coordinates and returns when it has closed.
  void Popup(int x, int y);
  POINT PopupPoint() const { return popupPoint_; }

  // The Windows menu as the next Popup builds it (exposed for tests).
  UniqueMenu BuildMenu();
  // Gives items without an access key one.
  void AssignHotkeys();

  bool SetProperty(std::string_view name, const heft::LayoutValue& value, TForm& form) override;
  bool AddChild(TLayoutComponent& child) override;

  // The item with that command number in any pop-up menu, or null.
  static TMenuItem* FindItem(UINT command);

 private:
  std::vector<TMenuItem*> items_;
  POINT popupPoint_{};
};

// The hidden window that receives the commands of every pop-up menu.
HWND PopupListWindow();

}  // namespace platform
