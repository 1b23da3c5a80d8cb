// The About window's controls. Each is a real window, so that the text is
// in the system's own controls for keyboard handling, tests and screen
// readers; the form's dialog keys drive them.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "forms.h"

namespace platform {

class TWinControl : public TLayoutComponent {
 public:
  using TLayoutComponent::TLayoutComponent;

  HWND Handle() const { return hwnd_; }
  TWinControl* Parent() const { return parent_; }
  const std::string& Caption() const { return caption_; }
  // Changes the text only when it differs; an auto-sized control then
  // measures itself anew.
  void SetCaption(const std::string& text);

  int Left = 0, Top = 0, Width = 0, Height = 0;  // design pixels
  int TabOrder = -1;
  bool TabStop = false;
  bool ParentFont = true;
  bool ParentColor = true;
  bool AutoSize = false;

  // Actual size in screen pixels after scaling and auto-sizing.
  SIZE ActualSize() const { return actual_; }

  bool SetProperty(std::string_view name, const heft::LayoutValue& value, TForm& form) override;
  bool AddChild(TLayoutComponent& child) override;
  const std::vector<TWinControl*>& Children() const { return children_; }

  // Creates this control's window inside parentWnd, then its children's.
  void CreateWnd(TForm& form, HWND parentWnd);
  // A WM_COMMAND notification addressed to this control.
  virtual void Notify(TForm&, WORD) {}
  int ControlId() const { return id_; }

 protected:
  virtual HWND MakeWindow(TForm& form, HWND parentWnd, RECT bounds) = 0;
  virtual SIZE MeasureAutoSize(TForm&) { return actual_; }
  void ApplyAutoSize(TForm& form);

  TForm* form_ = nullptr;
  std::string caption_;
  HWND hwnd_ = nullptr;
  int id_ = 0;
  SIZE actual_{};

 private:
  TWinControl* parent_ = nullptr;
  std::vector<TWinControl*> children_;
};

enum class TBevelCut { bvNone, bvLowered, bvRaised };

// A container drawn with an outer and an inner bevel.
class TPanel : public TWinControl, public TWndObject {
 public:
  using TWinControl::TWinControl;
  TBevelCut BevelOuter = TBevelCut::bvRaised;
  TBevelCut BevelInner = TBevelCut::bvNone;
  int BevelWidth = 1;
  bool SetProperty(std::string_view name, const heft::LayoutValue& value, TForm& form) override;

 protected:
  HWND MakeWindow(TForm& form, HWND parentWnd, RECT bounds) override;
  void WndProc(TMessage& m) override;

 private:
  void Paint(HDC dc);
};

// The program icon, drawn with its transparent pixels in the parent's colour.
class TImage : public TWinControl {
 public:
  using TWinControl::TWinControl;
  std::string PictureResource;
  bool Stretch = false;
  bool SetProperty(std::string_view name, const heft::LayoutValue& value, TForm& form) override;

 protected:
  HWND MakeWindow(TForm& form, HWND parentWnd, RECT bounds) override;

 private:
  UniqueIcon icon_;
};

class TLabel : public TWinControl {
 public:
  using TWinControl::TWinControl;
  bool WordWrap = false;
  bool SetProperty(std::string_view name, const heft::LayoutValue& value, TForm& form) override;

 protected:
  HWND MakeWindow(TForm& form, HWND parentWnd, RECT bounds) override;
  SIZE MeasureAutoSize(TForm& form) override;
};

class TButton : public TWinControl {
 public:
  explicit TButton(TComponent* owner) : TWinControl(owner) { TabStop = true; }
  bool Default = false;
  int ModalResult = 0;
  TNotifyEvent OnClick;
  // Stores the modal result in the form, then runs OnClick.
  void Click();
  bool SetProperty(std::string_view name, const heft::LayoutValue& value, TForm& form) override;
  void Notify(TForm& form, WORD code) override;

 protected:
  HWND MakeWindow(TForm& form, HWND parentWnd, RECT bounds) override;
};

}  // namespace platform
