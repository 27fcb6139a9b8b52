// Buttons, labels, edit box, image and the owner-drawn lists.
#include "ui/win32/controls.h"

#include <algorithm>
#include <vector>

#include "base/failure.h"
#include "ui/caption.h"
#include "ui/win32/form.h"
#include "ui/win32/text.h"

namespace {

constexpr const char* kControlNameProperty = "ControlName";

void RegisterControlClasses() {
  static bool registered = false;
  if (registered) return;
  TWindow::RegisterWindowClass("TButton", "BUTTON");
  TWindow::RegisterWindowClass("TLabel", "STATIC");
  TWindow::RegisterWindowClass("TEdit", "EDIT");
  TWindow::RegisterWindowClass("TListBox", "LISTBOX");
  TWindow::RegisterWindowClass("TComboBox", "COMBOBOX");
  TWindow::RegisterWindowClass("TImage", nullptr, CS_HREDRAW | CS_VREDRAW);
  registered = true;
}

int NextControlId(TForm* owner) { return 100 + static_cast<int>(owner->Controls().size()); }

}  // namespace

// ---- TControl ----

TControl::TControl(TForm* owner, const TControlRow& row) : owner_(owner), name_(row.Name) {}

void TControl::CreateControl(const char* className, DWORD style, DWORD exStyle, int left, int top, int width,
                             int height, const ShownText& caption) {
  RegisterControlClasses();
  CreateHandle(exStyle, className, caption, style | WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS, left, top, width,
               height, owner_->Handle(),
               reinterpret_cast<HMENU>(static_cast<INT_PTR>(NextControlId(owner_))));
  nameAtom_ = std::make_unique<win32::GlobalAtom>(name_.c_str());
  SetPropA(Handle(), kControlNameProperty, reinterpret_cast<HANDLE>(static_cast<UINT_PTR>(nameAtom_->Get())));
  SendMessageA(Handle(), WM_SETFONT, reinterpret_cast<WPARAM>(Font()), FALSE);
}

void TControl::SetCaption(const ShownText& caption) {
  if (Caption() != caption) TWindowed::SetCaption(caption);
}

bool TControl::Visible() const { return (GetWindowLongA(Handle(), GWL_STYLE) & WS_VISIBLE) != 0; }
void TControl::SetVisible(bool visible) { ShowWindow(Handle(), visible ? SW_SHOWNA : SW_HIDE); }
bool TControl::Enabled() const { return IsWindowEnabled(Handle()) != FALSE; }
void TControl::SetEnabled(bool enabled) {
  // A control that loses its enabled state while focused would leave the focus nowhere.
  if (!enabled && GetFocus() == Handle()) {
    owner_->SelectNext(true);
    if (GetFocus() == Handle()) ::SetFocus(owner_->Handle());
  }
  EnableWindow(Handle(), enabled);
}

bool TControl::CanFocus() const {
  return tabOrder_ >= 0 && Visible() && Enabled() && IsWindowVisible(owner_->Handle());
}

void TControl::SetFocus() { ::SetFocus(Handle()); }

HFONT TControl::Font() const { return ownFont_ ? ownFont_ : owner_->Font(); }

void TControl::SetOwnFont(HFONT font) {
  ownFont_ = font;
  SendMessageA(Handle(), WM_SETFONT, reinterpret_cast<WPARAM>(Font()), TRUE);
  FontChanged();
}

char TControl::AccessKey() const { return 0; }

bool TControl::Reflected(UINT, WPARAM, LPARAM, LRESULT&) { return false; }

// ---- TButton ----

TButton::TButton(TForm* owner, const TControlRow& row) : TControl(owner, row) {
  CreateControl("TButton", WS_TABSTOP | BS_PUSHBUTTON, 0, row.Left, row.Top, row.Width, row.Height, row.Caption);
  OnClick = row.Handler;
}

void TButton::SetDefault(bool isDefault) {
  default_ = isDefault;
  SendMessageA(Handle(), BM_SETSTYLE, isDefault ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON, TRUE);
}

void TButton::Click() {
  if (!Enabled() || !Visible()) return;
  if (ModalResult != 0) Owner()->SetModalResult(ModalResult);
  if (OnClick) OnClick();
}

char TButton::AccessKey() const { return AccessKeyOf(Caption()); }

bool TButton::Reflected(UINT message, WPARAM wParam, LPARAM, LRESULT& result) {
  if (message == WM_COMMAND && HIWORD(wParam) == BN_CLICKED) {
    Click();
    result = 0;
    return true;
  }
  return false;
}

// ---- TLabel ----

TLabel::TLabel(TForm* owner, const TControlRow& row) : TControl(owner, row) {
  CreateControl("TLabel", SS_LEFTNOWORDWRAP, 0, row.Left, row.Top, row.Width, row.Height, row.Caption);
  AdjustSize();
}

void TLabel::SetCaption(const ShownText& caption) {
  TControl::SetCaption(caption);
  AdjustSize();
}

void TLabel::SetAutoSize(bool autoSize) {
  autoSize_ = autoSize;
  AdjustSize();
}

void TLabel::SetWordWrap(bool wordWrap) {
  wordWrap_ = wordWrap;
  ApplyStyle();
  AdjustSize();
}

void TLabel::SetShowAccelChar(bool show) {
  showAccelChar_ = show;
  ApplyStyle();
  AdjustSize();
}

void TLabel::ApplyStyle() {
  LONG style = GetWindowLongA(Handle(), GWL_STYLE);
  style &= ~(SS_TYPEMASK | SS_NOPREFIX);
  style |= wordWrap_ ? SS_LEFT : SS_LEFTNOWORDWRAP;
  if (!showAccelChar_) style |= SS_NOPREFIX;
  SetWindowLongA(Handle(), GWL_STYLE, style);
  InvalidateRect(Handle(), nullptr, TRUE);
}

void TLabel::AdjustSize() {
  if (!autoSize_) return;
  std::wstring text = ui::Wide(Caption());
  // An empty label keeps the size of one space so that it stays visible and findable.
  if (text.empty()) text = L" ";
  win32::WindowDc dc(Handle());
  win32::SelectedObject font(dc.Get(), Font());
  RECT r{0, 0, wordWrap_ ? Width() : 0, 0};
  UINT flags = DT_CALCRECT | DT_EXPANDTABS | (wordWrap_ ? DT_WORDBREAK : 0) | (showAccelChar_ ? 0 : DT_NOPREFIX);
  DrawTextW(dc.Get(), text.c_str(), static_cast<int>(text.size()), &r, flags);
  SetWindowPos(Handle(), nullptr, 0, 0, r.right - r.left, r.bottom - r.top,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

char TLabel::AccessKey() const { return showAccelChar_ ? AccessKeyOf(Caption()) : 0; }

void TLabel::AccessKeyPressed() {
  TControl* target = FocusControl;
  if (!target) {
    // The next tab stop after the label in creation order.
    bool after = false;
    for (const auto& control : Owner()->Controls()) {
      if (control.get() == this) {
        after = true;
      } else if (after && control->CanFocus()) {
        target = control.get();
        break;
      }
    }
  }
  if (target && target->CanFocus()) {
    target->SetFocus();
    if (auto* edit = dynamic_cast<TEdit*>(target)) edit->SelectAll();
  }
}

bool TLabel::Reflected(UINT message, WPARAM wParam, LPARAM, LRESULT& result) {
  if (message == WM_CTLCOLORSTATIC) {
    HDC dc = reinterpret_cast<HDC>(wParam);
    SetTextColor(dc, Owner()->FontColor());
    SetBkMode(dc, TRANSPARENT);
    result = reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
    return true;
  }
  return false;
}

// ---- TEdit ----

TEdit::TEdit(TForm* owner, const TControlRow& row) : TControl(owner, row) {
  CreateControl("TEdit", WS_TABSTOP | ES_AUTOHSCROLL, WS_EX_CLIENTEDGE, row.Left, row.Top, row.Width, row.Height,
                row.Caption);
  OnChange = row.Handler;
}

std::optional<std::string> TEdit::SystemCodePageText() const { return ui::SystemBytes(WindowText()); }

void TEdit::SetText(const ShownText& text) {
  // Compared with what the box holds: the user may have typed since it was last set.
  if (WindowText() != ui::Wide(text)) TWindowed::SetCaption(text);
}

void TEdit::SelectAll() { SendMessageA(Handle(), EM_SETSEL, 0, -1); }

bool TEdit::Reflected(UINT message, WPARAM wParam, LPARAM, LRESULT& result) {
  if (message == WM_COMMAND && HIWORD(wParam) == EN_CHANGE) {
    if (OnChange) OnChange();
    result = 0;
    return true;
  }
  return false;
}

// ---- TImage ----

TImage::TImage(TForm* owner, const TControlRow& row) : TControl(owner, row) {
  CreateControl("TImage", 0, 0, row.Left, row.Top, row.Width, row.Height, ShownText());
}

TCanvas& TImage::Canvas() {
  if (!canvas_) canvas_ = std::make_unique<TCanvas>(Width(), Height());
  InvalidateRect(Handle(), nullptr, FALSE);  // whatever is drawn next shows at the next paint
  return *canvas_;
}

void TImage::SetIcon(HICON icon) {
  icon_ = icon;
  InvalidateRect(Handle(), nullptr, TRUE);
}

LRESULT TImage::WndProc(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_ERASEBKGND:
      return 1;
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(Handle(), &ps);
      RECT client;
      GetClientRect(Handle(), &client);
      FillRect(dc, &client, GetSysColorBrush(COLOR_BTNFACE));
      if (canvas_) {
        BitBlt(dc, 0, 0, canvas_->Width(), canvas_->Height(), canvas_->Handle(), 0, 0, SRCCOPY);
      } else if (icon_) {
        DrawIcon(dc, 0, 0, icon_);
      }
      EndPaint(Handle(), &ps);
      return 0;
    }
    default:
      return TControl::WndProc(message, wParam, lParam);
  }
}

// ---- TItemList ----

std::string TItemList::ItemText(int index) const {
  if (index < 0 || index >= Count()) return std::string();
  return items_[static_cast<size_t>(index)].text.Bytes();
}

int TItemList::AddItem(const ShownText& text, HBITMAP bitmap, int indent) {
  items_.push_back(Item{text, bitmap, indent});
  // The list keeps the text too (in UTF-16), so that its own text messages give it.
  const std::wstring wide = ui::Wide(text);
  LRESULT index = SendMessageW(Handle(), AddMessage(), 0, reinterpret_cast<LPARAM>(wide.c_str()));
  if (index < 0) {
    items_.pop_back();
    throw EOutOfMemory();
  }
  return static_cast<int>(index);
}

void TItemList::Clear() {
  SendMessageA(Handle(), ResetMessage(), 0, 0);
  items_.clear();
}

int TItemList::ItemIndex() const { return static_cast<int>(SendMessageA(Handle(), GetCurSelMessage(), 0, 0)); }

void TItemList::SetItemIndex(int index) { SendMessageA(Handle(), SetCurSelMessage(), static_cast<WPARAM>(index), 0); }

void TItemList::SetTextColor(COLORREF color) {
  textColor_ = color;
  ownTextColor_ = true;
  InvalidateRect(Handle(), nullptr, TRUE);
}

bool TItemList::Reflected(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
  switch (message) {
    case WM_COMMAND:
      if (IsChangeNotification(HIWORD(wParam))) {
        if (OnChange) OnChange();
        result = 0;
        return true;
      }
      return HandleNotification(HIWORD(wParam));
    case WM_DRAWITEM:
      DrawItem(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
      result = TRUE;
      return true;
    default:
      return false;
  }
}

void TItemList::DrawItem(const DRAWITEMSTRUCT& item) {
  HDC dc = item.hDC;
  RECT r = item.rcItem;
  bool selected = (item.itemState & ODS_SELECTED) != 0;
  FillRect(dc, &r, GetSysColorBrush(selected ? COLOR_HIGHLIGHT : COLOR_WINDOW));
  if (item.itemID == static_cast<UINT>(-1) || item.itemID >= items_.size()) {
    if (item.itemState & ODS_FOCUS) DrawFocusRect(dc, &r);
    return;
  }
  const Item& entry = items_[item.itemID];
  int x = r.left + 2 + entry.indent;
  if (entry.bitmap) {
    BITMAP info{};
    GetObjectA(entry.bitmap, sizeof info, &info);
    int y = r.top + ((r.bottom - r.top) - info.bmHeight) / 2;
    ui::DrawTransparent(dc, x, y, entry.bitmap);
    x += info.bmWidth + 4;
  }
  const std::wstring text = ui::Wide(entry.text);
  win32::SelectedObject font(dc, Font());
  ::SetTextColor(dc, selected ? GetSysColor(COLOR_HIGHLIGHTTEXT)
                              : (ownTextColor_ ? textColor_ : GetSysColor(COLOR_WINDOWTEXT)));
  SetBkMode(dc, TRANSPARENT);
  RECT textRect{x, r.top, r.right, r.bottom};
  DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &textRect,
            DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_LEFT);
  if (item.itemState & ODS_FOCUS) DrawFocusRect(dc, &r);
}

// ---- TListBox ----

TListBox::TListBox(TForm* owner, const TControlRow& row) : TItemList(owner, row) {
  // A one-pixel frame, and the height as given: the form decides how many rows it shows.
  CreateControl("TListBox",
                WS_TABSTOP | WS_VSCROLL | WS_BORDER | LBS_NOTIFY | LBS_OWNERDRAWFIXED | LBS_HASSTRINGS |
                    LBS_NOINTEGRALHEIGHT,
                0, row.Left, row.Top, row.Width, row.Height, ShownText());
  OnChange = row.Handler;
}

void TListBox::SetItemHeight(int height) { SendMessageA(Handle(), LB_SETITEMHEIGHT, 0, height); }

bool TListBox::HandleNotification(WORD code) {
  if (code == LBN_DBLCLK) {
    if (OnDblClick) OnDblClick();
    return true;
  }
  return false;
}

// ---- TComboBox ----

namespace {
constexpr int kDropDownExtra = 200;  // the dropped list's height below the box
}

TComboBox::TComboBox(TForm* owner, const TControlRow& row) : TItemList(owner, row) {
  CreateControl("TComboBox", WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST | CBS_OWNERDRAWFIXED | CBS_HASSTRINGS, 0,
                row.Left, row.Top, row.Width, row.Height + kDropDownExtra, ShownText());
  SetBounds(row.Left, row.Top, row.Width, row.Height);
  OnChange = row.Handler;
}

void TComboBox::SetBounds(int left, int top, int width, int height) {
  // The box's own height is set through its selection field; the window also holds the list.
  int border = Height() - static_cast<int>(SendMessageA(Handle(), CB_GETITEMHEIGHT, static_cast<WPARAM>(-1), 0));
  if (border < 0) border = 6;
  if (height - border > 0) SendMessageA(Handle(), CB_SETITEMHEIGHT, static_cast<WPARAM>(-1), height - border);
  SetWindowPos(Handle(), nullptr, left, top, width, height + kDropDownExtra, SWP_NOZORDER | SWP_NOACTIVATE);
}

void TComboBox::SetItemHeight(int height) { SendMessageA(Handle(), CB_SETITEMHEIGHT, 0, height); }

bool TComboBox::DroppedDown() const { return SendMessageA(Handle(), CB_GETDROPPEDSTATE, 0, 0) != 0; }
