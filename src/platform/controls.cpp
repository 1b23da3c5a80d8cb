#include "controls.h"

#include "errors.h"
#include "props.h"

namespace platform {

using heft::LayoutValue;

namespace {
TBevelCut BevelOf(const LayoutValue& v) {
  if (v.kind == LayoutValue::Kind::Identifier) {
    if (v.text == "bvNone") return TBevelCut::bvNone;
    if (v.text == "bvLowered") return TBevelCut::bvLowered;
    if (v.text == "bvRaised") return TBevelCut::bvRaised;
  }
  throw EReadError("Bevel expected");
}
}  // namespace

// ---- TWinControl ----

bool TWinControl::SetProperty(std::string_view name, const LayoutValue& v, TForm& form) {
  if (name == "Left") return Left = IntOf(v), true;
  if (name == "Top") return Top = IntOf(v), true;
  if (name == "Width") return Width = IntOf(v), true;
  if (name == "Height") return Height = IntOf(v), true;
  if (name == "Caption") return caption_ = StringOf(v), true;
  if (name == "TabOrder") return TabOrder = IntOf(v), true;
  if (name == "TabStop") return TabStop = BoolOf(v), true;
  if (name == "AutoSize") return AutoSize = BoolOf(v), true;
  if (name == "ParentColor") return ParentColor = BoolOf(v), true;
  if (name == "ParentFont") return ParentFont = BoolOf(v), true;
  // A control's own font must equal the form's: that is all we draw with.
  if (name.starts_with("Font.")) {
    TFont own;
    own.SetProperty(name, v);
    return true;
  }
  (void)form;
  return false;
}

bool TWinControl::AddChild(TLayoutComponent& child) {
  auto* ctl = dynamic_cast<TWinControl*>(&child);
  if (!ctl) return false;
  ctl->parent_ = this;
  children_.push_back(ctl);
  return true;
}

void TWinControl::SetCaption(const std::string& text) {
  if (text == caption_) return;
  caption_ = text;
  if (hwnd_) {
    ::SetWindowTextA(hwnd_, caption_.c_str());
    if (AutoSize && form_) ApplyAutoSize(*form_);
    ::InvalidateRect(hwnd_, nullptr, TRUE);
  }
}

void TWinControl::ApplyAutoSize(TForm& form) {
  actual_ = MeasureAutoSize(form);
  ::SetWindowPos(hwnd_, nullptr, 0, 0, actual_.cx, actual_.cy,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void TWinControl::CreateWnd(TForm& form, HWND parentWnd) {
  form_ = &form;
  id_ = form.NextControlId();
  RECT b{form.Scale(Left), form.Scale(Top), form.Scale(Left + Width), form.Scale(Top + Height)};
  actual_ = {b.right - b.left, b.bottom - b.top};
  hwnd_ = MakeWindow(form, parentWnd, b);
  ::SendMessageA(hwnd_, WM_SETFONT, reinterpret_cast<WPARAM>(form.FontHandle()), FALSE);
  if (AutoSize) ApplyAutoSize(form);
  for (TWinControl* c : children_) c->CreateWnd(form, hwnd_);
}

// ---- TPanel ----

bool TPanel::SetProperty(std::string_view name, const LayoutValue& v, TForm& form) {
  if (name == "BevelOuter") return BevelOuter = BevelOf(v), true;
  if (name == "BevelInner") return BevelInner = BevelOf(v), true;
  if (name == "BevelWidth") return BevelWidth = IntOf(v), true;
  return TWinControl::SetProperty(name, v, form);
}

HWND TPanel::MakeWindow(TForm&, HWND parentWnd, RECT b) {
  RegisterWindowClass("TPanel", CS_HREDRAW | CS_VREDRAW, ::GetSysColorBrush(COLOR_BTNFACE),
                      nullptr);
  // The caption is never visible (the text covers it), so none is drawn.
  CreateWindowHandle("TPanel", "", WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS, WS_EX_CONTROLPARENT,
                     b.left, b.top, b.right - b.left, b.bottom - b.top, parentWnd,
                     reinterpret_cast<HMENU>(static_cast<INT_PTR>(id_)));
  return WindowHandle();
}

void TPanel::Paint(HDC dc) {
  RECT r;
  ::GetClientRect(WindowHandle(), &r);
  const int w = form_ ? form_->Scale(BevelWidth) : BevelWidth;
  auto bevel = [&](TBevelCut cut) {
    if (cut == TBevelCut::bvNone) return;
    HBRUSH topLeft = ::GetSysColorBrush(cut == TBevelCut::bvLowered ? COLOR_BTNSHADOW
                                                                    : COLOR_BTNHIGHLIGHT);
    HBRUSH bottomRight = ::GetSysColorBrush(cut == TBevelCut::bvLowered ? COLOR_BTNHIGHLIGHT
                                                                        : COLOR_BTNSHADOW);
    for (int i = 0; i < w; ++i) {
      RECT t{r.left, r.top, r.right, r.top + 1}, l{r.left, r.top, r.left + 1, r.bottom};
      RECT bt{r.left, r.bottom - 1, r.right, r.bottom}, rt{r.right - 1, r.top, r.right, r.bottom};
      ::FillRect(dc, &bt, bottomRight);
      ::FillRect(dc, &rt, bottomRight);
      ::FillRect(dc, &t, topLeft);
      ::FillRect(dc, &l, topLeft);
      ::InflateRect(&r, -1, -1);
    }
  };
  bevel(BevelOuter);
  bevel(BevelInner);
  ::FillRect(dc, &r, ::GetSysColorBrush(COLOR_BTNFACE));
}

void TPanel::WndProc(TMessage& m) {
  switch (m.Msg) {
    case WM_ERASEBKGND:
      m.Result = 1;
      return;
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = ::BeginPaint(WindowHandle(), &ps);
      Paint(dc);
      ::EndPaint(WindowHandle(), &ps);
      return;
    }
    case WM_CTLCOLORSTATIC:
      m.Result = StaticColours(m.WParam);
      return;
    default:
      DefaultHandler(m);
  }
}

// ---- TImage ----

bool TImage::SetProperty(std::string_view name, const LayoutValue& v, TForm& form) {
  if (name == "Picture") return PictureResource = StringOf(v), true;
  if (name == "Stretch") return Stretch = BoolOf(v), true;
  return TWinControl::SetProperty(name, v, form);
}

HWND TImage::MakeWindow(TForm&, HWND parentWnd, RECT b) {
  const int w = b.right - b.left, h = b.bottom - b.top;
  // Loaded at the drawn size, so a scaled screen gets a scaled icon rather
  // than a stretched one.
  icon_.reset(static_cast<HICON>(::LoadImageA(::GetModuleHandleA(nullptr),
                                              PictureResource.c_str(), IMAGE_ICON, w, h, 0)));
  DWORD style = WS_CHILD | WS_VISIBLE | SS_ICON | (Stretch ? SS_REALSIZECONTROL : 0);
  HWND made = CreateSystemControl("STATIC", "", style, b.left, b.top, w, h, parentWnd, id_);
  if (icon_) ::SendMessageA(made, STM_SETICON, reinterpret_cast<WPARAM>(icon_.get()), 0);
  ::SetWindowPos(made, nullptr, 0, 0, w, h, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  return made;
}

// ---- TLabel ----

bool TLabel::SetProperty(std::string_view name, const LayoutValue& v, TForm& form) {
  if (name == "WordWrap") return WordWrap = BoolOf(v), true;
  return TWinControl::SetProperty(name, v, form);
}

HWND TLabel::MakeWindow(TForm&, HWND parentWnd, RECT b) {
  DWORD style = WS_CHILD | WS_VISIBLE | (WordWrap ? SS_LEFT : SS_LEFTNOWORDWRAP);
  return CreateSystemControl("STATIC", caption_.c_str(), style, b.left, b.top, b.right - b.left,
                             b.bottom - b.top, parentWnd, id_);
}

SIZE TLabel::MeasureAutoSize(TForm& form) {
  HDC dc = ::GetDC(hwnd_);
  HGDIOBJ old = ::SelectObject(dc, form.FontHandle());
  RECT r{0, 0, 0, 0};
  const std::string text = caption_.empty() ? std::string(" ") : caption_;
  ::DrawTextA(dc, text.c_str(), static_cast<int>(text.size()), &r,
              DT_CALCRECT | DT_EXPANDTABS | (WordWrap ? DT_WORDBREAK : 0));
  ::SelectObject(dc, old);
  ::ReleaseDC(hwnd_, dc);
  return {r.right - r.left, r.bottom - r.top};
}

// ---- TButton ----

bool TButton::SetProperty(std::string_view name, const LayoutValue& v, TForm& form) {
  if (name == "Default") return Default = BoolOf(v), true;
  if (name == "ModalResult") return ModalResult = IntOf(v), true;
  if (name == "OnClick") return static_cast<bool>(OnClick = ResolveNotify(form, v, name));
  return TWinControl::SetProperty(name, v, form);
}

HWND TButton::MakeWindow(TForm&, HWND parentWnd, RECT b) {
  DWORD style = WS_CHILD | WS_VISIBLE | BS_NOTIFY | (TabStop ? WS_TABSTOP : 0) |
                (Default ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON);
  return CreateSystemControl("BUTTON", caption_.c_str(), style, b.left, b.top, b.right - b.left,
                             b.bottom - b.top, parentWnd, id_);
}

void TButton::Click() {
  if (form_) form_->ModalResult = ModalResult;
  if (OnClick) OnClick(this);
}

void TButton::Notify(TForm& form, WORD code) {
  switch (code) {
    case BN_CLICKED:
      Click();
      break;
    case BN_SETFOCUS:
    case BN_KILLFOCUS: {
      // The default frame follows the focused button, and returns to the
      // default button when the focus is on anything else.
      HWND focus = ::GetFocus();
      TButton* focused = nullptr;
      for (TComponent* c : form.Components())
        if (auto* b = dynamic_cast<TButton*>(c); b && b->Handle() == focus) focused = b;
      for (TComponent* c : form.Components())
        if (auto* b = dynamic_cast<TButton*>(c); b && b->Handle()) {
          bool def = focused ? b == focused : b->Default;
          ::SendMessageA(b->Handle(), BM_SETSTYLE, def ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON, TRUE);
        }
      break;
    }
    default:
      break;
  }
}

}  // namespace platform
