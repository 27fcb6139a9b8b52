// Forms built from layout tables: one row per control, in creation order, with the columns of
// the window's design (name, kind, position, size, caption, tab order, handler).
#pragma once

#include <windows.h>

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ui/win32/controls.h"
#include "base/win32/handles.h"
#include "ui/win32/window.h"

enum class TBorderStyle {
  Dialog,     // fixed size, title bar with the close box only
  Sizeable,   // resizable frame, system menu, minimise and maximise boxes
};

// Face is the program's own text (Shift-JIS); the font is asked for by its name in UTF-16, since
// the ANSI calls would read the name in the system's code page.
struct TFontSpec {
  std::string Face = "ＭＳ Ｐゴシック";
  BYTE Charset = SHIFTJIS_CHARSET;
  int Height = -12;
  COLORREF Color = GetSysColor(COLOR_WINDOWTEXT);
};

// The window itself. Width and height are the client area when ClientSize is set, else the
// outer size, frame included.
struct TFormSpec {
  const char* ClassName;
  ShownText Caption;
  TBorderStyle Border;
  int Left;
  int Top;
  int Width;
  int Height;
  bool ClientSize;
};

namespace ui {

// The form and control type of a field of a form, "TButton* TForm1::*".
template <class Member>
struct FieldOf;
template <class F, class T>
struct FieldOf<T* F::*> {
  using Form = F;
  using Control = T;
};

}  // namespace ui

// One row of a form's design table, in creation order: the form's field the control is bound
// to (Field<&TForm1::Button1>), then the columns of the design. Captions are the program's own
// text. A negative tab order marks a control that is not a tab stop. The handler is a button's OnClick, or the OnChange of an edit
// box or list.
template <class F>
struct TLayoutRow {
  TControl& (*Bind)(F& form, const TControlRow& row);
  const char* Name;
  int Left;
  int Top;
  int Width;
  int Height;
  const char* Caption;
  int TabOrder;
  void (F::*Handler)();
};

enum : int { mrNone = 0, mrOk = 1, mrCancel = 2, mrAbort = 3, mrRetry = 4, mrIgnore = 5, mrYes = 6, mrNo = 7,
             mrAll = 8, mrNoToAll = 9, mrYesToAll = 10 };

class TForm : public TWindowed {
 public:
  // Creates the window, hidden, owned by the application window.
  explicit TForm(const TFormSpec& spec);
  ~TForm() override;

  // Creates a control of type T from its row; the form owns it.
  template <class T>
  T& Add(const TControlRow& row) {
    auto control = std::make_unique<T>(this, row);
    T& added = *control;
    added.SetTabOrder(row.TabOrder);
    controls_.push_back(std::move(control));
    return added;
  }
  // Creates the controls of a design table in its order, each bound to its field of self.
  template <class F, size_t N>
  void CreateControls(F* self, const TLayoutRow<F> (&rows)[N]) {
    for (const TLayoutRow<F>& row : rows) {
      TNotifyEvent handler;
      if (row.Handler) {
        auto member = row.Handler;
        handler = [self, member] { (self->*member)(); };
      }
      row.Bind(*self, TControlRow{row.Name, row.Left, row.Top, row.Width, row.Height,
                                  OwnText(row.Caption ? row.Caption : ""), row.TabOrder, std::move(handler)});
    }
  }

  const std::vector<std::unique_ptr<TControl>>& Controls() const { return controls_; }

  // Runs at the end of construction (CreateForm calls it); a failure is reported and the
  // construction goes on.
  TNotifyEvent OnCreate;
  // Runs at each showing, before the window becomes visible; a failure is reported and the
  // window is shown all the same.
  TNotifyEvent OnShow;
  void AfterConstruction();

  void Show();
  void Hide();
  bool Visible() const;
  // Shows the form with the program's other windows disabled and runs a message loop until a
  // modal result is set; returns it. The close box and Alt+F4 give mrCancel.
  int ShowModal();
  bool Modal() const { return modal_; }
  int ModalResult() const { return modalResult_; }
  void SetModalResult(int result) { modalResult_ = result; }
  // Main form: ends the application. Modal: ends the showing with mrCancel. Otherwise hides.
  void Close();

  int ClientWidth() const;
  int ClientHeight() const;
  void SetClientSize(int width, int height);
  // Centres the outer window on the primary screen when shown, never above or left of 0
  // (ui::Overhang::Clamped).
  bool CenterOnShow = false;

  HFONT Font() const { return font_.Get(); }
  COLORREF FontColor() const { return fontColor_; }
  void SetFont(const TFontSpec& font);
  void SetFont(const LOGFONTW& font, COLORREF color);

  int HelpContext() const { return helpContext_; }
  void SetHelpContext(int context) { helpContext_ = context; }

  // The control that gets the focus when the form is shown (first tab stop when unset).
  TControl* ActiveControl = nullptr;
  TControl* FocusedControl() const;
  // Moves the focus to the next (or previous) tab stop in tab order.
  void SelectNext(bool forward);
  TButton* DefaultButton() const;
  TButton* CancelButton() const;

  // Scales every position and size, the client area and the font by multiplier / divisor.
  void ScaleBy(int multiplier, int divisor);

 protected:
  LRESULT WndProc(UINT message, WPARAM wParam, LPARAM lParam) override;
  // Key preview: sees every key press meant for the form before its controls; true eats it.
  virtual bool KeyDown(WPARAM key) {
    (void)key;
    return false;
  }

 private:
  bool DialogKey(const MSG& message);
  bool PressAccessKey(char key);
  std::vector<TControl*> TabStops() const;
  void FocusFirst();
  void ApplyFont();
  void ShowWindowNow();
  bool RunHandler(UINT privateMessage);

  std::vector<std::unique_ptr<TControl>> controls_;
  win32::FontHandle font_;
  COLORREF fontColor_ = 0;
  int helpContext_ = 0;
  int modalResult_ = 0;
  bool modal_ = false;
  HWND lastFocus_ = nullptr;
};

// The binder of a design row: creates the control of the field's type and stores it in the
// field, as in {Field<&TForm1::Button1>, "Button1", ...}.
template <auto Member>
TControl& Field(typename ui::FieldOf<decltype(Member)>::Form& form, const TControlRow& row) {
  using Control = typename ui::FieldOf<decltype(Member)>::Control;
  Control& control = form.template Add<Control>(row);
  form.*Member = &control;
  return control;
}
