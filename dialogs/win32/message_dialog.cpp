// The message dialog window (class TMessageForm), built afresh for each call.
#include "dialogs/win32/message_dialog.h"

#include <windows.h>

#include <cstring>
#include <vector>

#include "base/failure.h"
#include "base/win32/handles.h"
#include "ui/win32/application.h"
#include "ui/win32/form.h"
#include "ui/win32/text.h"

namespace {

// Kept for the life of the process: each caption is measured once.
ButtonCaptionWidths& CaptionWidths() {
  static ButtonCaptionWidths widths;
  return widths;
}

// Asked for in UTF-16, so that the face name is the font's real one on any system.
bool MessageFont(LOGFONTW& font) {
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof metrics;
  if (!SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0)) return false;
  font = metrics.lfMessageFont;
  return true;
}

// Measures the dialog's own texts, as they are drawn: in UTF-16.
class ScreenMeasurer : public TextMeasurer {
 public:
  explicit ScreenMeasurer(HFONT font) : screen_(nullptr), font_(screen_.Get(), font) {}

  TextSize TextExtent(const std::string& text) override {
    SIZE size{};
    const std::wstring wide = ui::WideOwn(text);
    GetTextExtentPoint32W(screen_.Get(), wide.c_str(), static_cast<int>(wide.size()), &size);
    return TextSize{size.cx, size.cy};
  }
  TextSize CaptionExtent(const std::string& caption) override {
    return Draw(caption, 0, DT_CALCRECT | DT_SINGLELINE | DT_LEFT);
  }
  TextSize WrappedExtent(const std::string& text, int maxWidth) override {
    return Draw(text, maxWidth, DT_CALCRECT | DT_WORDBREAK | DT_EXPANDTABS | DT_LEFT);
  }

 private:
  TextSize Draw(const std::string& text, int width, UINT flags) {
    RECT r{0, 0, width, 0};
    const std::wstring wide = ui::WideOwn(text);
    DrawTextW(screen_.Get(), wide.c_str(), static_cast<int>(wide.size()), &r, flags);
    return TextSize{r.right - r.left, r.bottom - r.top};
  }

  win32::WindowDc screen_;
  win32::SelectedObject font_;
};

class TMessageForm : public TForm {
 public:
  TMessageForm(const std::string& text, DialogKind kind, DialogButtons buttons, int helpContext)
      : TForm(TFormSpec{"TMessageForm", Caption(kind), TBorderStyle::Dialog, 0, 0, 100, 100, true}), text_(text) {
    LOGFONTW font{};
    if (MessageFont(font)) {
      SetFont(font, GetSysColor(COLOR_WINDOWTEXT));
    }
    SetHelpContext(helpContext);
    CenterOnShow = true;

    ScreenMeasurer measurer(Font());
    MessageDialogLayout layout =
        LayoutMessageDialog(text, kind, buttons, GetSystemMetrics(SM_CXSCREEN), measurer, CaptionWidths());
    SetClientSize(layout.ClientWidth, layout.ClientHeight);

    if (layout.HasIcon) {
      const LayoutRect& r = layout.Icon;
      TImage& image = Add<TImage>(TControlRow{"Image", r.Left, r.Top, r.Width, r.Height, ShownText(), -1, {}});
      image.SetIcon(LoadIconA(nullptr, MAKEINTRESOURCEA(DialogIconId(kind))));
    }
    const LayoutRect& t = layout.Text;
    TLabel& label = Add<TLabel>(TControlRow{"Message", t.Left, t.Top, t.Width, t.Height, OwnText(text), -1, {}});
    label.SetAutoSize(false);
    label.SetWordWrap(true);
    label.SetBounds(t.Left, t.Top, t.Width, t.Height);

    int tab = 0;
    for (const PlacedButton& placed : layout.Buttons) {
      const LayoutRect& r = placed.Bounds;
      TNotifyEvent handler;
      if (placed.Kind == DialogButton::Help) handler = [this] { Application->HelpContext(HelpContext()); };
      TButton& button = Add<TButton>(TControlRow{ButtonName(placed.Kind), r.Left, r.Top, r.Width, r.Height,
                                                 OwnText(ButtonCaption(placed.Kind)), tab++, handler});
      button.ModalResult = ButtonResult(placed.Kind);
      if (layout.Default == placed.Kind) button.SetDefault(true);
      if (layout.Cancel == placed.Kind) button.SetCancel(true);
      buttons_.push_back(&button);
    }
  }

 protected:
  bool KeyDown(WPARAM key) override {
    bool ctrl = GetKeyState(VK_CONTROL) < 0, alt = GetKeyState(VK_MENU) < 0, shift = GetKeyState(VK_SHIFT) < 0;
    if (key != 'C' || !ctrl || alt || shift) return false;
    CopyToClipboard();
    return true;
  }

 private:
  // The application title is the executable's name, as the system gave it.
  static ShownText Caption(DialogKind kind) {
    return kind == DialogKind::Custom ? SystemText(Application->Title()) : OwnText(DialogCaption(kind));
  }

  // The text byte for byte (CF_TEXT, as programs that are not Unicode read it) and as shown
  // (CF_UNICODETEXT): the bytes mix the program's Shift-JIS with the system's code page, which only
  // a Japanese system pastes right.
  void CopyToClipboard() {
    MessageBeep(0);
    std::vector<ShownText> captions;
    for (TButton* button : buttons_) captions.push_back(button->Caption());
    const ShownText text = MessageClipboardText(TForm::Caption(), OwnText(text_), captions);
    const std::string bytes = text.Bytes();
    const std::wstring wide = ui::Wide(text);

    win32::OpenedClipboard clipboard(Handle());
    if (!clipboard.Opened()) throw EClipboardException();
    EmptyClipboard();
    Put(CF_TEXT, bytes.c_str(), bytes.size() + 1);
    Put(CF_UNICODETEXT, wide.c_str(), (wide.size() + 1) * sizeof(wchar_t));
  }

  static void Put(UINT format, const void* data, size_t size) {
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE | GMEM_DDESHARE, size);
    if (!memory) throw EOutOfMemory();
    void* copy = GlobalLock(memory);
    if (!copy) {
      GlobalFree(memory);
      throw EOutOfMemory();
    }
    std::memcpy(copy, data, size);
    GlobalUnlock(memory);
    // Once given to the clipboard the memory is the clipboard's.
    if (!SetClipboardData(format, memory)) GlobalFree(memory);
  }

  std::string text_;
  std::vector<TButton*> buttons_;
};

}  // namespace

int ShowMessageDialog(const std::string& text, DialogKind kind, DialogButtons buttons, int helpContext) {
  TMessageForm form(text, kind, buttons, helpContext);
  form.AfterConstruction();
  return form.ShowModal();
}
