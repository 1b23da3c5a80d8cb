// Forms and the components read from their layout resource. A form's
// layout is an RCDATA resource named after its class in capitals; its
// components are made by class name, their properties set, their events
// bound to the form's published methods by name, and each assigned to the
// form's field of the same name.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "classes.h"
#include "handles.h"
#include "layout.h"
#include "window.h"

namespace platform {

class TForm;
class TWinControl;

enum class TCloseAction { caNone, caHide, caFree, caMinimize };
using TCloseEvent = std::function<void(TObject* Sender, TCloseAction& Action)>;

// A published method of a form, found by name: one of the two kinds.
struct TMethod {
  TNotifyEvent notify;
  TCloseEvent close;
};

// A component that the layout can create and configure.
class TLayoutComponent : public TComponent {
 public:
  using TComponent::TComponent;
  // Sets one property from the layout; returns false for a name it does
  // not know (the loader then rejects the layout).
  virtual bool SetProperty(std::string_view name, const heft::LayoutValue& value, TForm& form);
  // Takes a child object of the layout; returns false if it can't hold one.
  virtual bool AddChild(TLayoutComponent& child);
  // Called once every property of the layout has been read.
  virtual void Loaded(TForm&) {}
};

struct TFont {
  std::string Name = "MS Sans Serif";
  int Height = -11;  // design pixels; negative: character height
  int Charset = DEFAULT_CHARSET;
  COLORREF Color = 0;
  bool UsesWindowTextColor = true;
  bool SetProperty(std::string_view name, const heft::LayoutValue& value);
};

enum class TPosition { poDesigned, poScreenCenter };
enum class TBorderStyle { bsDialog, bsSingle, bsNone };

class TForm : public TLayoutComponent, public TWndObject {
 public:
  explicit TForm(TComponent* owner);
  ~TForm() override;

  // The class name of the concrete form: its window class and layout name.
  virtual const char* ClassName() const = 0;

  // Reads the layout, then runs the creation handler (whose errors go to
  // the error box). Raises EReadError when the layout can't be read.
  void Load();
  // Runs the destruction handler (errors to the error box); call before
  // deleting the form, while its window still exists.
  void BeforeDestruction();

  // The form's window, created (hidden) on first request.
  HWND Handle();
  bool HandleAllocated() const { return WindowHandle() != nullptr; }

  bool Visible() const { return visible_; }
  void SetVisible(bool visible);
  void Show() { SetVisible(true); }
  void Hide() { SetVisible(false); }
  // The close sequence: close query, then OnClose with caHide; any action
  // but caNone on the main form ends the program.
  void Close();

  TNotifyEvent OnCreate;
  TNotifyEvent OnDestroy;
  TCloseEvent OnClose;

  // Layout-set settings (design-time values, before scaling).
  std::string Caption;
  TBorderStyle BorderStyle = TBorderStyle::bsSingle;
  TPosition Position = TPosition::poDesigned;
  int Left = 0, Top = 0, ClientWidth = 0, ClientHeight = 0;
  int PixelsPerInch = 96, TextHeight = 13;
  COLORREF ColorSys = COLOR_BTNFACE;
  TFont Font;
  std::string IconResource;
  // Set by a button click; read only by a modal showing.
  int ModalResult = 0;

  // The resolution the form was scaled to at creation.
  int ScreenDpi() const { return screenDpi_; }
  int Scale(int designValue) const;
  HFONT FontHandle() const { return font_.get(); }

  // Controls whose parent is the form, in creation order.
  std::vector<TWinControl*>& Controls() { return controls_; }

  bool SetProperty(std::string_view name, const heft::LayoutValue& value, TForm& form) override;
  bool AddChild(TLayoutComponent& child) override;

  // The concrete form's published methods, by name.
  virtual std::optional<TMethod> FindMethod(std::string_view name) = 0;

  // A control's notification (WM_COMMAND) id, unique in the form.
  int NextControlId() { return nextControlId_++; }

 protected:
  void WndProc(TMessage& m) override;
  // The concrete form's message table; return true when handled.
  virtual bool DispatchMessage(TMessage&) { return false; }
  // Assigns a created component to the field of its name; returns false if
  // the form has no such field or the field's type does not match.
  virtual bool BindField(const std::string& name, TComponent* component) = 0;
  // The names of all fields, each of which the layout must fill.
  virtual std::vector<std::string> FieldNames() const = 0;

 private:
  friend class LayoutReader;
  friend class TApplication;
  void CreateHandle();
  void SaveFocus();
  void RestoreFocus();
  HWND FirstTabStop() const;

  bool visible_ = false;
  bool shownOnce_ = false;
  bool destroying_ = false;
  int screenDpi_ = 96;
  int nextControlId_ = 100;
  HWND lastFocus_ = nullptr;
  UniqueFont font_;
  std::vector<TWinControl*> controls_;
};

// Reads a layout resource into a form. Exposed for tests.
std::string LoadLayoutText(const char* resourceName);

// Resolves a published method or raises EReadError.
TNotifyEvent ResolveNotify(TForm& form, const heft::LayoutValue& value, std::string_view event);

// Helpers for a concrete form's tables.
template <class Form>
struct MessageEntry {
  UINT msg;
  void (Form::*handler)(TMessage&);
};

template <class Form, std::size_t N>
bool DispatchFrom(const MessageEntry<Form> (&table)[N], Form& form, TMessage& m) {
  for (const auto& e : table)
    if (e.msg == m.Msg) {
      (form.*e.handler)(m);
      return true;
    }
  return false;
}

template <class Form>
struct PublishedMethod {
  const char* name;
  void (Form::*notify)(TObject*);
  void (Form::*close)(TObject*, TCloseAction&);
};

template <class Form, std::size_t N>
std::optional<TMethod> FindIn(const PublishedMethod<Form> (&table)[N], Form& form,
                              std::string_view name) {
  for (const auto& e : table) {
    if (name != e.name) continue;
    TMethod m;
    if (e.notify) m.notify = [&form, f = e.notify](TObject* s) { (form.*f)(s); };
    if (e.close)
      m.close = [&form, f = e.close](TObject* s, TCloseAction& a) { (form.*f)(s, a); };
    return m;
  }
  return std::nullopt;
}

template <class Form>
struct FieldEntry {
  const char* name;
  bool (*assign)(Form&, TComponent*);
};

// Assigns c to the field Member if c is of the field's type.
template <class Form, class T, T* Form::*Member>
bool AssignField(Form& form, TComponent* c) {
  auto* typed = dynamic_cast<T*>(c);
  if (!typed) return false;
  form.*Member = typed;
  return true;
}

}  // namespace platform
