// Forms built from layout tables: one row per control, in creation order, with the columns of
// the window's design (name, kind, position, size, caption, tab order, handler).
#pragma once

#include <windows.h>

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ui/controls.h"
#include "base/win32/handles.h"
#include "ui/window.h"

enum class TBorderStyle {
  Dialog,     // fixed size, title bar with the close box only
  Sizeable,   // resizable frame, system menu, minimise and maximise boxes
};

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
  std::string Caption;
  TBorderStyle Border;
  int Left;
  int Top;
  int Width;
  int Height;
  bool ClientSize;
};

enum class TControlKind { Label, Button, Edit, Image, ListBox, ComboBox };

// A negative tab order marks a control that is not a tab stop. The handler is a button's
// OnClick, or the OnChange of an edit box or list.
template <class F>
struct TLayoutRow {
  const char* Name;
  TControlKind Kind;
  int Left;
  int Top;
  int Width;
  int Height;
  const char* Caption;
  int TabOrder;
  void (F::*Handler)();
};

// The same row for layouts made at run time.
struct TControlRow {
  std::string Name;
  TControlKind Kind;
  int Left;
  int Top;
  int Width;
  int Height;
  std::string Caption;
  int TabOrder;
  TNotifyEvent Handler;
};

enum : int { mrNone = 0, mrOk = 1, mrCancel = 2, mrAbort = 3, mrRetry = 4, mrIgnore = 5, mrYes = 6, mrNo = 7,
             mrAll = 8, mrNoToAll = 9, mrYesToAll = 10 };

class TForm : public TWindow {
 public:
  // Creates the window, hidden, owned by the application window.
  explicit TForm(const TFormSpec& spec);
  ~TForm() override;

  TControl* AddControl(const TControlRow& row);
  template <class F, size_t N>
  void CreateControls(F* self, const TLayoutRow<F> (&rows)[N]) {
    for (const TLayoutRow<F>& row : rows) {
      TNotifyEvent handler;
      if (row.Handler) {
        auto member = row.Handler;
        handler = [self, member] { (self->*member)(); };
      }
      AddControl(TControlRow{row.Name, row.Kind, row.Left, row.Top, row.Width, row.Height,
                             row.Caption ? row.Caption : "", row.TabOrder, std::move(handler)});
    }
  }

  // The control of that design name, or nullptr.
  TControl* FindControl(const std::string& name) const;
  template <class T>
  T* Find(const std::string& name) const {
    return dynamic_cast<T*>(FindControl(name));
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

  std::string Caption() const;
  void SetCaption(const std::string& caption);
  int Left() const;
  int Top() const;
  int Width() const;
  int Height() const;
  void SetLeft(int left);
  void SetTop(int top);
  void SetBounds(int left, int top, int width, int height);
  int ClientWidth() const;
  int ClientHeight() const;
  void SetClientSize(int width, int height);
  // Centres the outer window on the primary screen when shown, never above or left of 0.
  bool CenterOnShow = false;

  HFONT Font() const { return font_.Get(); }
  COLORREF FontColor() const { return fontColor_; }
  void SetFont(const TFontSpec& font);
  void SetFont(const LOGFONTA& font, COLORREF color);

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
  ui::FontHandle font_;
  COLORREF fontColor_ = 0;
  int helpContext_ = 0;
  int modalResult_ = 0;
  bool modal_ = false;
  HWND lastFocus_ = nullptr;
};
