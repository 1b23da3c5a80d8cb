#include "forms.h"

#include <algorithm>
#include <cctype>
#include <string>

#include "app.h"
#include "controls.h"
#include "errors.h"
#include "geometry.h"
#include "menus.h"
#include "props.h"

namespace platform {

using heft::LayoutNode;
using heft::LayoutValue;

namespace {

std::string Upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

std::unique_ptr<TLayoutComponent> MakeComponent(const std::string& cls, TComponent* owner) {
  if (cls == "TPanel") return std::make_unique<TPanel>(owner);
  if (cls == "TImage") return std::make_unique<TImage>(owner);
  if (cls == "TLabel") return std::make_unique<TLabel>(owner);
  if (cls == "TButton") return std::make_unique<TButton>(owner);
  if (cls == "TPopupMenu") return std::make_unique<TPopupMenu>(owner);
  if (cls == "TMenuItem") return std::make_unique<TMenuItem>(owner);
  return nullptr;
}

int QueryScreenDpi() {
  HDC dc = ::GetDC(nullptr);
  int dpi = dc ? ::GetDeviceCaps(dc, LOGPIXELSY) : 96;
  if (dc) ::ReleaseDC(nullptr, dc);
  return dpi > 0 ? dpi : 96;
}

}  // namespace

std::string LoadLayoutText(const char* resourceName) {
  HMODULE self = ::GetModuleHandleA(nullptr);
  HRSRC res = ::FindResourceA(self, resourceName, MAKEINTRESOURCEA(10) /* RT_RCDATA */);
  if (!res) throw EReadError(std::string("Resource ") + resourceName + " not found");
  HGLOBAL data = ::LoadResource(self, res);
  const void* p = data ? ::LockResource(data) : nullptr;
  if (!p) throw EReadError(std::string("Resource ") + resourceName + " cannot be loaded");
  return std::string(static_cast<const char*>(p), ::SizeofResource(self, res));
}

TNotifyEvent ResolveNotify(TForm& form, const LayoutValue& value, std::string_view event) {
  if (value.kind != LayoutValue::Kind::Identifier)
    throw EReadError(std::string(event) + " must name a method");
  auto m = form.FindMethod(value.text);
  if (!m || !m->notify)
    throw EReadError("Method " + value.text + " for " + std::string(event) + " not found");
  return m->notify;
}

// Builds the component tree of a layout into its form.
class LayoutReader {
 public:
  explicit LayoutReader(TForm& form) : form_(form) {}

  void Read(const LayoutNode& root) {
    if (root.className != form_.ClassName())
      throw EReadError("Layout is for " + root.className + ", not " + form_.ClassName());
    form_.SetName(root.name);
    ApplyProperties(form_, root);
    for (const LayoutNode& child : root.children) ReadChild(form_, child);
    for (const std::string& field : form_.FieldNames())
      if (std::find(filled_.begin(), filled_.end(), field) == filled_.end())
        throw EReadError("Component " + field + " missing from the layout");
    for (TComponent* c : form_.Components())
      if (auto* lc = dynamic_cast<TLayoutComponent*>(c)) lc->Loaded(form_);
  }

 private:
  void ApplyProperties(TLayoutComponent& target, const LayoutNode& node) {
    for (const auto& [name, value] : node.properties)
      if (!target.SetProperty(name, value, form_))
        throw EReadError("line " + std::to_string(node.line) + ": " + node.name +
                         " has no property " + name);
  }

  void ReadChild(TLayoutComponent& parent, const LayoutNode& node) {
    auto made = MakeComponent(node.className, &form_);
    if (!made) throw EReadError("Class " + node.className + " not found");
    if (std::find(filled_.begin(), filled_.end(), node.name) != filled_.end())
      throw EReadError("A component named " + node.name + " already exists");
    made->SetName(node.name);
    TLayoutComponent* c = form_.Adopt(std::move(made));
    if (!form_.BindField(node.name, c))
      throw EReadError("Field " + node.name + " of type " + node.className + " not found");
    filled_.push_back(node.name);
    if (!parent.AddChild(*c))
      throw EReadError(node.name + " cannot be placed in " + parent.Name());
    ApplyProperties(*c, node);
    for (const LayoutNode& child : node.children) ReadChild(*c, child);
  }

  TForm& form_;
  std::vector<std::string> filled_;
};

// ---- TLayoutComponent ----

bool TLayoutComponent::SetProperty(std::string_view, const LayoutValue&, TForm&) { return false; }
bool TLayoutComponent::AddChild(TLayoutComponent&) { return false; }

// ---- TFont ----


bool TFont::SetProperty(std::string_view name, const LayoutValue& v) {
  if (name == "Font.Name") return Name = StringOf(v), true;
  if (name == "Font.Height") return Height = IntOf(v), true;
  if (name == "Font.Charset") {
    if (v.kind == LayoutValue::Kind::Identifier && v.text == "DEFAULT_CHARSET") {
      Charset = DEFAULT_CHARSET;
      return true;
    }
    return Charset = IntOf(v), true;
  }
  if (name == "Font.Color") {
    if (v.kind == LayoutValue::Kind::Identifier && v.text == "clWindowText") {
      UsesWindowTextColor = true;
      return true;
    }
    throw EReadError("Unsupported font colour");
  }
  if (name == "Font.Style") {
    if (v.kind == LayoutValue::Kind::Set && v.items.empty()) return true;
    throw EReadError("Unsupported font style");
  }
  return false;
}

// ---- TForm ----

TForm::TForm(TComponent* owner) : TLayoutComponent(owner) {}

TForm::~TForm() {
  // Controls first: their windows are children of ours.
  DestroyComponents();
  DestroyWindowHandle();
}

int TForm::Scale(int designValue) const {
  return heft::ScaleByDpi(designValue, screenDpi_, PixelsPerInch);
}

bool TForm::SetProperty(std::string_view name, const LayoutValue& v, TForm&) {
  if (name == "Caption") return Caption = StringOf(v), true;
  if (name == "Left") return Left = IntOf(v), true;
  if (name == "Top") return Top = IntOf(v), true;
  if (name == "ClientWidth") return ClientWidth = IntOf(v), true;
  if (name == "ClientHeight") return ClientHeight = IntOf(v), true;
  if (name == "PixelsPerInch") return PixelsPerInch = IntOf(v), true;
  if (name == "TextHeight") return TextHeight = IntOf(v), true;
  if (name == "Icon") return IconResource = StringOf(v), true;
  if (name == "Visible") {
    if (BoolOf(v)) throw EReadError("A form is created hidden");
    return true;
  }
  if (name == "Color") {
    if (v.kind == LayoutValue::Kind::Identifier && v.text == "clBtnFace") return true;
    throw EReadError("Unsupported form colour");
  }
  if (name == "BorderStyle") {
    if (v.kind != LayoutValue::Kind::Identifier) throw EReadError("Border style expected");
    if (v.text == "bsDialog") BorderStyle = TBorderStyle::bsDialog;
    else if (v.text == "bsSingle") BorderStyle = TBorderStyle::bsSingle;
    else if (v.text == "bsNone") BorderStyle = TBorderStyle::bsNone;
    else throw EReadError("Unknown border style " + v.text);
    return true;
  }
  if (name == "Position") {
    if (v.kind != LayoutValue::Kind::Identifier) throw EReadError("Position expected");
    if (v.text == "poScreenCenter") Position = TPosition::poScreenCenter;
    else if (v.text == "poDesigned") Position = TPosition::poDesigned;
    else throw EReadError("Unknown position " + v.text);
    return true;
  }
  if (name.starts_with("Font.")) return Font.SetProperty(name, v);
  if (name == "OnCreate") return static_cast<bool>(OnCreate = ResolveNotify(*this, v, name));
  if (name == "OnDestroy") return static_cast<bool>(OnDestroy = ResolveNotify(*this, v, name));
  if (name == "OnClose") {
    if (v.kind != LayoutValue::Kind::Identifier) throw EReadError("OnClose must name a method");
    auto m = FindMethod(v.text);
    if (!m || !m->close) throw EReadError("Method " + v.text + " for OnClose not found");
    OnClose = m->close;
    return true;
  }
  return false;
}

bool TForm::AddChild(TLayoutComponent& child) {
  if (auto* ctl = dynamic_cast<TWinControl*>(&child)) {
    controls_.push_back(ctl);
    return true;
  }
  return dynamic_cast<TPopupMenu*>(&child) != nullptr;
}

void TForm::Load() {
  std::string text = LoadLayoutText(Upper(ClassName()).c_str());
  try {
    LayoutReader(*this).Read(heft::ParseLayout(text));
  } catch (const heft::LayoutError& e) {
    throw EReadError(std::string("Error reading form ") + ClassName() + ": " + e.what());
  }
  screenDpi_ = QueryScreenDpi();
  if (OnCreate) {
    try {
      OnCreate(this);
    } catch (...) {
      Application->HandleException(std::current_exception());
    }
  }
}

void TForm::BeforeDestruction() {
  if (destroying_) return;
  destroying_ = true;
  if (OnDestroy) {
    try {
      OnDestroy(this);
    } catch (...) {
      Application->HandleException(std::current_exception());
    }
  }
}

HWND TForm::Handle() {
  if (!HandleAllocated()) CreateHandle();
  return WindowHandle();
}

void TForm::CreateHandle() {
  const std::string cls = ClassName();
  RegisterWindowClass(cls.c_str(), 0, ::GetSysColorBrush(COLOR_BTNFACE), nullptr);
  DWORD style = WS_POPUP | WS_CLIPCHILDREN;
  DWORD ex = 0;
  switch (BorderStyle) {
    case TBorderStyle::bsDialog:
      style |= WS_CAPTION | WS_SYSMENU;
      ex |= WS_EX_DLGMODALFRAME | WS_EX_WINDOWEDGE;
      break;
    case TBorderStyle::bsSingle:
      style |= WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_BORDER;
      break;
    case TBorderStyle::bsNone:
      break;
  }
  ex |= WS_EX_CONTROLPARENT;
  RECT r{0, 0, Scale(ClientWidth), Scale(ClientHeight)};
  ::AdjustWindowRectEx(&r, style, FALSE, ex);
  CreateWindowHandle(cls.c_str(), Caption.c_str(), style, ex, Scale(Left), Scale(Top),
                     r.right - r.left, r.bottom - r.top, Application->Handle());

  LOGFONTA lf{};
  lf.lfHeight = Scale(Font.Height);
  lf.lfCharSet = static_cast<BYTE>(Font.Charset);
  lf.lfQuality = DEFAULT_QUALITY;
  Font.Name.copy(lf.lfFaceName, LF_FACESIZE - 1);
  font_.reset(::CreateFontIndirectA(&lf));

  // Creation order decides the tab order of sibling windows.
  std::vector<TWinControl*> ordered = controls_;
  std::stable_sort(ordered.begin(), ordered.end(),
                   [](auto* a, auto* b) { return a->TabOrder < b->TabOrder; });
  for (TWinControl* c : ordered) c->CreateWnd(*this, WindowHandle());
}

HWND TForm::FirstTabStop() const {
  if (!WindowHandle()) return nullptr;
  for (HWND h = ::GetWindow(WindowHandle(), GW_CHILD); h; h = ::GetWindow(h, GW_HWNDNEXT))
    if ((::GetWindowLongA(h, GWL_STYLE) & (WS_TABSTOP | WS_VISIBLE | WS_DISABLED)) ==
        (WS_TABSTOP | WS_VISIBLE))
      return h;
  return nullptr;
}

void TForm::SaveFocus() {
  HWND f = ::GetFocus();
  if (f && ::IsChild(WindowHandle(), f)) lastFocus_ = f;
}

void TForm::RestoreFocus() {
  HWND target = lastFocus_ && ::IsWindow(lastFocus_) ? lastFocus_ : FirstTabStop();
  if (target) ::SetFocus(target);
}

void TForm::SetVisible(bool visible) {
  if (visible == visible_) return;
  HWND h = Handle();
  if (visible) {
    visible_ = true;
    Application->FormVisibilityChanged(true);
    if (!shownOnce_ && Position == TPosition::poScreenCenter) {
      RECT r{};
      ::GetWindowRect(h, &r);
      heft::Point p = heft::CentreOnScreen(::GetSystemMetrics(SM_CXSCREEN),
                                           ::GetSystemMetrics(SM_CYSCREEN), r.right - r.left,
                                           r.bottom - r.top);
      ::SetWindowPos(h, nullptr, p.x, p.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    shownOnce_ = true;
    ::ShowWindow(h, SW_SHOWNORMAL);
    RestoreFocus();
  } else {
    SaveFocus();
    visible_ = false;
    Application->FormVisibilityChanged(false);
    ::ShowWindow(h, SW_HIDE);
  }
}

void TForm::Close() {
  TCloseAction action = TCloseAction::caHide;
  if (OnClose) OnClose(this, action);
  if (action == TCloseAction::caNone) return;
  if (Application->MainForm() == this) {
    Application->Terminate();
    return;
  }
  if (action == TCloseAction::caHide) Hide();
}

void TForm::WndProc(TMessage& m) {
  if (DispatchMessage(m)) return;
  switch (m.Msg) {
    case WM_CLOSE:
      Close();
      return;
    case WM_QUERYENDSESSION:
      m.Result = TRUE;  // no close query: never refuse a log-off
      return;
    case WM_ACTIVATE:
      if (LOWORD(m.WParam) == WA_INACTIVE) SaveFocus();
      else if (visible_) RestoreFocus();
      return;
    case WM_COMMAND:
      if (m.LParam) {
        for (TComponent* c : Components())
          if (auto* ctl = dynamic_cast<TWinControl*>(c);
              ctl && ctl->ControlId() == LOWORD(m.WParam) && ctl->Handle()) {
            ctl->Notify(*this, HIWORD(m.WParam));
            return;
          }
      }
      return;  // Escape's IDCANCEL and the like: nothing to do
    case DM_GETDEFID:
      for (TComponent* c : Components())
        if (auto* b = dynamic_cast<TButton*>(c); b && b->Default && b->Handle()) {
          m.Result = MAKELRESULT(b->ControlId(), DC_HASDEFID);
          return;
        }
      m.Result = 0;
      return;
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
      m.Result = StaticColours(m.WParam);
      return;
    default:
      DefaultHandler(m);
  }
}

}  // namespace platform
