// Forms: creation from a layout table, showing, the modal loop and dialog keyboard handling.
#include "ui/win32/form.h"

#include <algorithm>

#include "base/sjis.h"
#include "resources/resource_names.h"
#include "ui/win32/application.h"
#include "ui/caption.h"
#include "ui/layout.h"
#include "ui/win32/text.h"

namespace {

DWORD StyleOf(TBorderStyle border) {
  switch (border) {
    case TBorderStyle::Dialog:
      return WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPSIBLINGS | WS_CLIPCHILDREN;
    case TBorderStyle::Sizeable:
      return WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_CLIPSIBLINGS |
             WS_CLIPCHILDREN;
  }
  return WS_POPUP | WS_CAPTION | WS_SYSMENU;
}

DWORD ExStyleOf(TBorderStyle border) {
  return border == TBorderStyle::Dialog ? WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT : WS_EX_CONTROLPARENT;
}

bool IsKeyHeld(int key) { return GetKeyState(key) < 0; }

int Scale(int value, int multiplier, int divisor) { return ui::MulDiv(value, multiplier, divisor); }

}  // namespace

TForm::TForm(const TFormSpec& spec) {
  TWindow::RegisterWindowClass(spec.ClassName, nullptr, CS_DBLCLKS, reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1),
                         LoadIconA(GetModuleHandleA(nullptr), resource_names::kMainIcon));
  int width = spec.Width, height = spec.Height;
  if (spec.ClientSize) {
    RECT r{0, 0, spec.Width, spec.Height};
    AdjustWindowRectEx(&r, StyleOf(spec.Border), FALSE, ExStyleOf(spec.Border));
    width = r.right - r.left;
    height = r.bottom - r.top;
  }
  CreateHandle(ExStyleOf(spec.Border), spec.ClassName, spec.Caption, StyleOf(spec.Border), spec.Left, spec.Top,
               width, height, Application->Handle(), nullptr);
  if (spec.Border == TBorderStyle::Dialog) {
    // A fixed frame with the close box only: its system menu offers Move and Close alone.
    HMENU menu = GetSystemMenu(Handle(), FALSE);
    for (UINT command : {SC_RESTORE, SC_SIZE, SC_MINIMIZE, SC_MAXIMIZE}) DeleteMenu(menu, command, MF_BYCOMMAND);
  }
  SetFont(TFontSpec{});
}

TForm::~TForm() {
  // The window goes first, so that no message reaches a control that is half destroyed.
  if (Handle()) DestroyWindow(Handle());
}

bool TForm::RunHandler(UINT privateMessage) {
  // Through the window procedure, so the handler runs inside the one failure boundary.
  return SendMessageA(Handle(), privateMessage, 0, 0) != 0;
}

void TForm::AfterConstruction() { RunHandler(CM_CREATED); }

bool TForm::Visible() const { return IsWindowVisible(Handle()) != FALSE; }

void TForm::Show() {
  if (Visible()) {
    SetForegroundWindow(Handle());
    return;
  }
  RunHandler(CM_SHOWING);
  // The main form's show handler may already have ended the application.
  if (Application->MainForm() == this && Application->TerminateRequested()) return;
  if (!Handle()) return;
  if (CenterOnShow) {
    ui::LayoutPoint p = ui::CentredOnScreen(GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN), Width(),
                                            Height(), ui::Overhang::Clamped);
    SetWindowPos(Handle(), nullptr, p.X, p.Y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
  ShowWindowNow();
}

void TForm::ShowWindowNow() {
  if (Application->MainForm() == this) Application->MainFormShown();
  ShowWindow(Handle(), SW_SHOWNORMAL);
  SetForegroundWindow(Handle());
  FocusFirst();
  UpdateWindow(Handle());
}

void TForm::Hide() {
  if (Visible()) ShowWindow(Handle(), SW_HIDE);
}

int TForm::ShowModal() {
  if (modal_ || Visible()) return mrCancel;
  if (HWND capture = GetCapture()) SendMessageA(capture, WM_CANCELMODE, 0, 0);
  ReleaseCapture();
  modalResult_ = mrNone;
  TTaskWindowsDisabled others(Handle());
  modal_ = true;
  try {
    Show();
    while (modalResult_ == mrNone) {
      if (Application->Terminated()) {
        modalResult_ = mrCancel;
        break;
      }
      Application->HandleMessage();
    }
  } catch (...) {
    modal_ = false;
    others.Restore();
    Hide();
    throw;
  }
  modal_ = false;
  // Enable the others before hiding, so the activation goes back to one of them.
  others.Restore();
  Hide();
  return modalResult_;
}

void TForm::Close() {
  if (modal_) {
    modalResult_ = mrCancel;
  } else if (Application->MainForm() == this) {
    Hide();
    Application->Terminate();
  } else {
    Hide();
  }
}

int TForm::ClientWidth() const {
  RECT r{};
  GetClientRect(Handle(), &r);
  return r.right;
}

int TForm::ClientHeight() const {
  RECT r{};
  GetClientRect(Handle(), &r);
  return r.bottom;
}

void TForm::SetClientSize(int width, int height) {
  RECT r{0, 0, width, height};
  AdjustWindowRectEx(&r, static_cast<DWORD>(GetWindowLongA(Handle(), GWL_STYLE)), FALSE,
                     static_cast<DWORD>(GetWindowLongA(Handle(), GWL_EXSTYLE)));
  SetWindowPos(Handle(), nullptr, 0, 0, r.right - r.left, r.bottom - r.top,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void TForm::SetFont(const TFontSpec& font) {
  LOGFONTW lf{};
  lf.lfHeight = font.Height;
  lf.lfWeight = FW_NORMAL;
  lf.lfCharSet = font.Charset;
  lf.lfOutPrecision = OUT_DEFAULT_PRECIS;
  lf.lfClipPrecision = CLIP_DEFAULT_PRECIS;
  lf.lfQuality = DEFAULT_QUALITY;
  lf.lfPitchAndFamily = DEFAULT_PITCH | FF_DONTCARE;
  lstrcpynW(lf.lfFaceName, ui::WideOwn(font.Face).c_str(), LF_FACESIZE);
  SetFont(lf, font.Color);
}

void TForm::SetFont(const LOGFONTW& font, COLORREF color) {
  font_.Reset(CreateFontIndirectW(&font));
  fontColor_ = color;
  ApplyFont();
}

void TForm::ApplyFont() {
  SendMessageA(Handle(), WM_SETFONT, reinterpret_cast<WPARAM>(font_.Get()), FALSE);
  for (const auto& control : controls_) {
    SendMessageA(control->Handle(), WM_SETFONT, reinterpret_cast<WPARAM>(control->Font()), TRUE);
    control->FontChanged();
  }
}

std::vector<TControl*> TForm::TabStops() const {
  std::vector<TControl*> stops;
  for (const auto& control : controls_) {
    if (control->TabOrder() >= 0) stops.push_back(control.get());
  }
  std::stable_sort(stops.begin(), stops.end(),
                   [](const TControl* a, const TControl* b) { return a->TabOrder() < b->TabOrder(); });
  return stops;
}

TControl* TForm::FocusedControl() const {
  for (HWND focus = GetFocus(); focus && focus != Handle(); focus = GetParent(focus)) {
    if (GetParent(focus) == Handle()) return dynamic_cast<TControl*>(TWindow::FromHandle(focus));
  }
  return nullptr;
}

void TForm::FocusFirst() {
  if (ActiveControl && ActiveControl->CanFocus()) {
    ActiveControl->SetFocus();
    return;
  }
  for (TControl* control : TabStops()) {
    if (control->CanFocus()) {
      control->SetFocus();
      if (auto* edit = dynamic_cast<TEdit*>(control)) edit->SelectAll();
      return;
    }
  }
  ::SetFocus(Handle());
}

void TForm::SelectNext(bool forward) {
  std::vector<TControl*> stops = TabStops();
  if (stops.empty()) return;
  TControl* current = FocusedControl();
  auto it = std::find(stops.begin(), stops.end(), current);
  size_t start = it == stops.end() ? (forward ? stops.size() - 1 : 0) : static_cast<size_t>(it - stops.begin());
  size_t n = stops.size();
  for (size_t step = 1; step <= n; ++step) {
    size_t index = forward ? (start + step) % n : (start + n - step % n) % n;
    TControl* candidate = stops[index];
    if (candidate != current && candidate->CanFocus()) {
      candidate->SetFocus();
      if (auto* edit = dynamic_cast<TEdit*>(candidate)) edit->SelectAll();
      return;
    }
  }
}

TButton* TForm::DefaultButton() const {
  for (const auto& control : controls_) {
    auto* button = dynamic_cast<TButton*>(control.get());
    if (button && button->Default()) return button;
  }
  return nullptr;
}

TButton* TForm::CancelButton() const {
  for (const auto& control : controls_) {
    auto* button = dynamic_cast<TButton*>(control.get());
    if (button && button->Cancel()) return button;
  }
  return nullptr;
}

bool TForm::PressAccessKey(char key) {
  key = sjis::UpperAsciiChar(key);
  if (key == 0) return false;
  for (const auto& control : controls_) {
    if (control->AccessKey() == key && control->Visible() && control->Enabled()) {
      control->AccessKeyPressed();
      return true;
    }
  }
  return false;
}

bool TForm::DialogKey(const MSG& message) {
  if (!IsWindowEnabled(Handle())) return false;
  bool ctrl = IsKeyHeld(VK_CONTROL), alt = IsKeyHeld(VK_MENU), shift = IsKeyHeld(VK_SHIFT);
  TControl* focused = FocusedControl();
  switch (message.message) {
    case WM_KEYDOWN:
      if (KeyDown(message.wParam)) return true;
      if (message.wParam == VK_TAB && !ctrl && !alt) {
        SelectNext(!shift);
        return true;
      }
      if (message.wParam == VK_RETURN && !ctrl && !alt && !shift) {
        auto* combo = dynamic_cast<TComboBox*>(focused);
        if (combo && combo->DroppedDown()) return false;
        if (auto* button = dynamic_cast<TButton*>(focused)) {
          button->Click();
        } else if (TButton* button = DefaultButton()) {
          button->Click();
        }
        return true;
      }
      if (message.wParam == VK_ESCAPE && !ctrl && !alt && !shift) {
        auto* combo = dynamic_cast<TComboBox*>(focused);
        if (combo && combo->DroppedDown()) return false;
        if (TButton* button = CancelButton()) button->Click();
        return true;
      }
      return false;
    // Characters arrive in UTF-16; access keys are ASCII letters and digits.
    case WM_SYSCHAR:
      return message.wParam < 0x80 && PressAccessKey(static_cast<char>(message.wParam));
    case WM_CHAR: {
      if (ctrl || alt) return false;
      // Plain letters are access keys only where the focused control does not take text.
      HWND target = message.hwnd;
      LRESULT code = SendMessageA(target, WM_GETDLGCODE, message.wParam, reinterpret_cast<LPARAM>(&message));
      if (code & (DLGC_WANTCHARS | DLGC_HASSETSEL | DLGC_WANTALLKEYS)) return false;
      return message.wParam < 0x80 && PressAccessKey(static_cast<char>(message.wParam));
    }
    default:
      return false;
  }
}

void TForm::ScaleBy(int multiplier, int divisor) {
  for (const auto& control : controls_) {
    control->SetBounds(Scale(control->Left(), multiplier, divisor), Scale(control->Top(), multiplier, divisor),
                       Scale(control->Width(), multiplier, divisor), Scale(control->Height(), multiplier, divisor));
  }
  LOGFONTW lf{};
  GetObjectW(font_.Get(), sizeof lf, &lf);
  lf.lfHeight = Scale(lf.lfHeight, multiplier, divisor);
  int width = Scale(ClientWidth(), multiplier, divisor), height = Scale(ClientHeight(), multiplier, divisor);
  SetFont(lf, fontColor_);
  SetClientSize(width, height);
}

LRESULT TForm::WndProc(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case CM_CREATED:
      if (OnCreate) OnCreate();
      return 0;
    case CM_SHOWING:
      if (OnShow) OnShow();
      return 0;
    case CM_DIALOGKEY:
      return DialogKey(*reinterpret_cast<const MSG*>(lParam)) ? 1 : 0;
    case WM_CLOSE:
      Close();
      return 0;
    case WM_SYSCOMMAND:
      if ((wParam & 0xFFF0) == SC_MINIMIZE && Application->MainForm() == this) {
        Application->Minimize();
        return 0;
      }
      return DefaultHandler(message, wParam, lParam);
    case WM_ACTIVATE:
      if (LOWORD(wParam) == WA_INACTIVE) {
        HWND focus = GetFocus();
        if (focus && IsChild(Handle(), focus)) lastFocus_ = focus;
      } else if (lastFocus_ && IsWindow(lastFocus_) && IsChild(Handle(), lastFocus_) &&
                 IsWindowEnabled(lastFocus_) && IsWindowVisible(lastFocus_)) {
        ::SetFocus(lastFocus_);
        return 0;
      }
      return DefaultHandler(message, wParam, lParam);
    case WM_COMMAND:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_DRAWITEM: {
      HWND child = message == WM_DRAWITEM ? reinterpret_cast<const DRAWITEMSTRUCT*>(lParam)->hwndItem
                                          : reinterpret_cast<HWND>(lParam);
      if (auto* control = dynamic_cast<TControl*>(TWindow::FromHandle(child))) {
        LRESULT result = 0;
        if (control->Reflected(message, wParam, lParam, result)) return result;
      }
      return DefaultHandler(message, wParam, lParam);
    }
    case WM_MEASUREITEM: {
      auto* measure = reinterpret_cast<MEASUREITEMSTRUCT*>(lParam);
      HWND child = GetDlgItem(Handle(), static_cast<int>(measure->CtlID));
      if (auto* control = dynamic_cast<TControl*>(TWindow::FromHandle(child))) {
        LRESULT result = 0;
        if (control->Reflected(message, wParam, lParam, result)) return result;
      }
      return DefaultHandler(message, wParam, lParam);
    }
    default:
      return DefaultHandler(message, wParam, lParam);
  }
}
