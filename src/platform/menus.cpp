#include "menus.h"

#include <algorithm>
#include <memory>

#include "app.h"
#include "errors.h"
#include "hotkeys.h"
#include "props.h"

namespace platform {

using heft::LayoutValue;

namespace {

std::vector<TPopupMenu*>& PopupMenus() {
  static std::vector<TPopupMenu*> menus;
  return menus;
}

// Command numbers are never reused while the process runs, so a late
// WM_COMMAND can never reach a different item.
UINT NextCommand() {
  static UINT next = 0;
  ++next;
  if (next > 0xFFFF) throw EOutOfResources("Too many menu items");
  return next;
}

class TPopupList : public TWndObject {
 public:
  TPopupList() {
    RegisterWindowClass("TPUtilWindow", 0, nullptr, nullptr);
    CreateWindowHandle("TPUtilWindow", "", WS_POPUP, 0, 0, 0, 0, 0, nullptr);
  }

 protected:
  void WndProc(TMessage& m) override {
    if (m.Msg == WM_COMMAND && HIWORD(m.WParam) == 0) {
      if (TMenuItem* item = TPopupMenu::FindItem(LOWORD(m.WParam))) {
        item->Click();
        return;
      }
    }
    DefaultHandler(m);
  }
};

std::unique_ptr<TPopupList>& PopupListInstance() {
  static std::unique_ptr<TPopupList> list;
  return list;
}

}  // namespace

HWND PopupListWindow() {
  auto& list = PopupListInstance();
  if (!list) list = std::make_unique<TPopupList>();
  return list->WindowHandle();
}

// ---- TMenuItem ----

TMenuItem::TMenuItem(TComponent* owner) : TLayoutComponent(owner), command_(NextCommand()) {}
TMenuItem::~TMenuItem() = default;

void TMenuItem::Click() {
  if (Enabled && OnClick) OnClick(this);
}

bool TMenuItem::SetProperty(std::string_view name, const LayoutValue& v, TForm& form) {
  if (name == "Caption") return Caption = StringOf(v), true;
  if (name == "Default") return Default = BoolOf(v), true;
  if (name == "Enabled") return Enabled = BoolOf(v), true;
  if (name == "Visible") return Visible = BoolOf(v), true;
  if (name == "OnClick") return static_cast<bool>(OnClick = ResolveNotify(form, v, name));
  return false;
}

// ---- TPopupMenu ----

TPopupMenu::TPopupMenu(TComponent* owner) : TLayoutComponent(owner) {
  PopupMenus().push_back(this);
  PopupListWindow();  // made together with the first menu
}

TPopupMenu::~TPopupMenu() {
  auto& menus = PopupMenus();
  menus.erase(std::remove(menus.begin(), menus.end(), this), menus.end());
  if (menus.empty()) PopupListInstance().reset();
}

bool TPopupMenu::SetProperty(std::string_view name, const LayoutValue& v, TForm& form) {
  if (name == "AutoHotkeys") {
    if (v.kind == LayoutValue::Kind::Identifier && v.text == "maAutomatic")
      AutoHotkeys = TAutoHotkeys::maAutomatic;
    else if (v.kind == LayoutValue::Kind::Identifier && v.text == "maManual")
      AutoHotkeys = TAutoHotkeys::maManual;
    else
      throw EReadError("Unknown AutoHotkeys value");
    return true;
  }
  if (name == "OnPopup") return static_cast<bool>(OnPopup = ResolveNotify(form, v, name));
  return false;
}

bool TPopupMenu::AddChild(TLayoutComponent& child) {
  auto* item = dynamic_cast<TMenuItem*>(&child);
  if (!item) return false;
  items_.push_back(item);
  return true;
}

TMenuItem* TPopupMenu::FindItem(UINT command) {
  for (TPopupMenu* menu : PopupMenus())
    for (TMenuItem* item : menu->items_)
      if (item->Command() == command) return item;
  return nullptr;
}

void TPopupMenu::AssignHotkeys() {
  std::vector<std::string> captions;
  for (TMenuItem* item : items_) captions.push_back(item->Caption);
  if (!heft::AssignAccessKeys(captions)) return;
  for (std::size_t i = 0; i < items_.size(); ++i) items_[i]->Caption = captions[i];
}

UniqueMenu TPopupMenu::BuildMenu() {
  UniqueMenu menu(::CreatePopupMenu());
  if (!menu) throw EOutOfResources("Cannot create menu");
  UINT pos = 0;
  for (TMenuItem* item : items_) {
    if (!item->Visible) continue;
    MENUITEMINFOA mii{};
    mii.cbSize = sizeof mii;
    mii.fMask = MIIM_ID | MIIM_STRING | MIIM_FTYPE | MIIM_STATE;
    mii.fType = MFT_STRING;
    mii.fState = (item->Default ? MFS_DEFAULT : 0u) | (item->Enabled ? 0u : MFS_GRAYED);
    mii.wID = item->Command();
    mii.dwTypeData = const_cast<char*>(item->Caption.c_str());
    if (!::InsertMenuItemA(menu.get(), pos++, TRUE, &mii))
      throw EOutOfResources("Cannot build menu");
  }
  return menu;
}

void TPopupMenu::Popup(int x, int y) {
  popupPoint_ = {x, y};
  if (OnPopup) OnPopup(this);
  if (AutoHotkeys == TAutoHotkeys::maAutomatic) AssignHotkeys();
  UniqueMenu menu = BuildMenu();
  HWND owner = PopupListWindow();
  ::TrackPopupMenu(menu.get(), TPM_LEFTALIGN | TPM_RIGHTBUTTON, x, y, 0, owner, nullptr);
  // Without a message after a tray menu closes, the next one can vanish at
  // once on Windows; an empty message is the shell's documented remedy.
  ::PostMessageA(owner, WM_NULL, 0, 0);
}

}  // namespace platform
