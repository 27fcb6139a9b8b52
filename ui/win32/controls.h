// The controls of a form. Each one is a real child window named by its design name (window
// property "ControlName", a global atom) and handles its own notifications, which the parent
// form passes back to it.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/shown_text.h"
#include "ui/win32/canvas.h"
#include "base/win32/handles.h"
#include "ui/win32/window.h"

class TForm;

using TNotifyEvent = std::function<void()>;

// One control as a form creates it: design name, position and size in the form's client area,
// caption, tab order (negative: not a tab stop) and handler (a button's OnClick, the OnChange of
// an edit box or list; controls without an event ignore it).
struct TControlRow {
  std::string Name;
  int Left;
  int Top;
  int Width;
  int Height;
  ShownText Caption;
  int TabOrder;
  TNotifyEvent Handler;
};

class TControl : public TWindowed {
 public:
  TControl(TForm* owner, const TControlRow& row);

  const std::string& Name() const { return name_; }
  TForm* Owner() const { return owner_; }

  // Sets the text only when it differs, so that an unchanged caption does not repaint.
  void SetCaption(const ShownText& caption) override;

  bool Visible() const;
  void SetVisible(bool visible);
  bool Enabled() const;
  void SetEnabled(bool enabled);

  // Tab order; a negative value means the control is not a tab stop.
  int TabOrder() const { return tabOrder_; }
  void SetTabOrder(int tabOrder) { tabOrder_ = tabOrder; }
  bool CanFocus() const;
  void SetFocus();

  // The control's font: the form's unless one was given with SetOwnFont.
  HFONT Font() const;
  void SetOwnFont(HFONT font);
  virtual void FontChanged() {}

  // The access-key letter (upper case) marked by "&" in the caption, or 0.
  virtual char AccessKey() const;
  // What the access key does: press a button, move the focus for a label.
  virtual void AccessKeyPressed() {}

  // Notifications sent to the parent about this control (WM_COMMAND, WM_CTLCOLOR*, WM_DRAWITEM,
  // WM_MEASUREITEM). Returns true and sets result when handled.
  virtual bool Reflected(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);

 protected:
  void CreateControl(const char* className, DWORD style, DWORD exStyle, int left, int top, int width, int height,
                     const ShownText& caption);

 private:
  TForm* owner_;
  std::string name_;
  int tabOrder_ = -1;
  HFONT ownFont_ = nullptr;
  std::unique_ptr<win32::GlobalAtom> nameAtom_;
};

class TButton : public TControl {
 public:
  TButton(TForm* owner, const TControlRow& row);

  TNotifyEvent OnClick;
  // The form's modal result set by a press, before OnClick runs (0: none).
  int ModalResult = 0;

  bool Default() const { return default_; }
  void SetDefault(bool isDefault);
  bool Cancel() const { return cancel_; }
  void SetCancel(bool isCancel) { cancel_ = isCancel; }

  // A press: sets the form's modal result, then runs OnClick. Disabled or hidden buttons ignore it.
  void Click();

  char AccessKey() const override;
  void AccessKeyPressed() override { Click(); }
  bool Reflected(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

 private:
  bool default_ = false;
  bool cancel_ = false;
};

class TLabel : public TControl {
 public:
  TLabel(TForm* owner, const TControlRow& row);

  void SetCaption(const ShownText& caption) override;
  void FontChanged() override { AdjustSize(); }

  // Sizes itself to its text (on by default); without word wrap the text stays on its lines.
  bool AutoSize() const { return autoSize_; }
  void SetAutoSize(bool autoSize);
  bool WordWrap() const { return wordWrap_; }
  void SetWordWrap(bool wordWrap);
  // Whether "&" marks an access key (on by default) or is shown as it is.
  bool ShowAccelChar() const { return showAccelChar_; }
  void SetShowAccelChar(bool show);
  // Where the access key moves the focus; the next tab stop in creation order when unset.
  TControl* FocusControl = nullptr;

  char AccessKey() const override;
  void AccessKeyPressed() override;
  bool Reflected(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

 private:
  void ApplyStyle();
  void AdjustSize();

  bool autoSize_ = true;
  bool wordWrap_ = false;
  bool showAccelChar_ = true;
};

// An edit box for a path: its text is the system's (what the user typed, or a folder's path).
class TEdit : public TControl {
 public:
  TEdit(TForm* owner, const TControlRow& row);

  // The text as it is now, in the system's code page, exactly as the file system and the
  // registry are to be given it; nothing when it holds a character that the system's code page
  // cannot name (such a path would become another one).
  std::optional<std::string> SystemCodePageText() const;
  // Sets the text, unless the box already holds it.
  void SetText(const ShownText& text);
  void SelectAll();
  TNotifyEvent OnChange;

  bool Reflected(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
};

// Shows an off-screen bitmap, unscaled at its top-left corner, or a standard icon.
class TImage : public TControl {
 public:
  TImage(TForm* owner, const TControlRow& row);

  // The bitmap's canvas; the first use makes a bitmap of the control's size.
  TCanvas& Canvas();
  bool HasPicture() const { return canvas_ != nullptr || icon_ != nullptr; }
  // Shows an icon (not owned; standard icons are shared) instead of the bitmap.
  void SetIcon(HICON icon);

 protected:
  LRESULT WndProc(UINT message, WPARAM wParam, LPARAM lParam) override;

 private:
  std::unique_ptr<TCanvas> canvas_;
  HICON icon_ = nullptr;
};

// The shared part of the owner-drawn lists: items with an optional bitmap before the text.
class TItemList : public TControl {
 public:
  using TControl::TControl;

  int Count() const { return static_cast<int>(items_.size()); }
  // The item's text as one byte string; empty for an index out of range.
  std::string ItemText(int index) const;
  // Appends an item; bitmap (not owned) is drawn indent pixels from the left, the text after it.
  int AddItem(const ShownText& text, HBITMAP bitmap = nullptr, int indent = 0);
  void Clear();
  int ItemIndex() const;
  void SetItemIndex(int index);
  virtual void SetItemHeight(int height) = 0;

  // Text colour of the items that are not selected (the window text colour by default).
  void SetTextColor(COLORREF color);

  TNotifyEvent OnChange;

  bool Reflected(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

 protected:
  struct Item {
    ShownText text;
    HBITMAP bitmap;
    int indent;
  };
  virtual UINT AddMessage() const = 0;
  virtual UINT ResetMessage() const = 0;
  virtual UINT GetCurSelMessage() const = 0;
  virtual UINT SetCurSelMessage() const = 0;
  virtual bool IsChangeNotification(WORD code) const = 0;
  virtual bool HandleNotification(WORD) { return false; }
  void DrawItem(const DRAWITEMSTRUCT& item);

  std::vector<Item> items_;
  COLORREF textColor_ = 0;
  bool ownTextColor_ = false;
};

class TListBox : public TItemList {
 public:
  TListBox(TForm* owner, const TControlRow& row);

  void SetItemHeight(int height) override;
  TNotifyEvent OnDblClick;

 protected:
  UINT AddMessage() const override { return LB_ADDSTRING; }
  UINT ResetMessage() const override { return LB_RESETCONTENT; }
  UINT GetCurSelMessage() const override { return LB_GETCURSEL; }
  UINT SetCurSelMessage() const override { return LB_SETCURSEL; }
  bool IsChangeNotification(WORD code) const override { return code == LBN_SELCHANGE; }
  bool HandleNotification(WORD code) override;
};

// A drop-down list (no typing). Height() is the height of the closed box.
class TComboBox : public TItemList {
 public:
  TComboBox(TForm* owner, const TControlRow& row);

  void SetBounds(int left, int top, int width, int height) override;
  void SetItemHeight(int height) override;
  bool DroppedDown() const;

 protected:
  UINT AddMessage() const override { return CB_ADDSTRING; }
  UINT ResetMessage() const override { return CB_RESETCONTENT; }
  UINT GetCurSelMessage() const override { return CB_GETCURSEL; }
  UINT SetCurSelMessage() const override { return CB_SETCURSEL; }
  bool IsChangeNotification(WORD code) const override { return code == CBN_SELCHANGE; }
};
