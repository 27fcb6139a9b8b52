// Message dialog arithmetic: dialog units from the message font, every derived length, the
// placement of icon, text and buttons, and the clipboard text.
#include "dialogs/message_layout.h"

#include <algorithm>

namespace {

struct ButtonInfo {
  const char* caption;
  const char* name;
  int result;
};

constexpr ButtonInfo kButtons[kDialogButtonKinds] = {
    {"はい(&Y)", "Yes", 6},          {"いいえ(&N)", "No", 7},        {"OK", "OK", 1},
    {"キャンセル", "Cancel", 2},      {"中止(&A)", "Abort", 3},       {"再試行(&R)", "Retry", 4},
    {"無視(&I)", "Ignore", 5},        {"すべて(&A)", "All", 8},       {"すべていいえ(&O)", "NoToAll", 9},
    {"すべてはい(&A)", "YesToAll", 10}, {"ヘルプ(&H)", "Help", 0},
};

const ButtonInfo& InfoOf(DialogButton button) { return kButtons[static_cast<int>(button)]; }

constexpr const char* kAlphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";

}  // namespace

std::vector<DialogButton> DialogButtons::Kinds() const {
  std::vector<DialogButton> kinds;
  for (int i = 0; i < kDialogButtonKinds; ++i) {
    auto button = static_cast<DialogButton>(i);
    if (Has(button)) kinds.push_back(button);
  }
  return kinds;
}

std::string DialogCaption(DialogKind kind) {
  switch (kind) {
    case DialogKind::Warning:
      return "警告";
    case DialogKind::Error:
      return "エラー";
    case DialogKind::Information:
      return "情報";
    case DialogKind::Confirmation:
      return "確認";
    case DialogKind::Custom:
      break;
  }
  return std::string();
}

int DialogIconId(DialogKind kind) {
  switch (kind) {
    case DialogKind::Warning:
      return 32515;  // IDI_EXCLAMATION
    case DialogKind::Error:
      return 32513;  // IDI_HAND
    case DialogKind::Information:
      return 32516;  // IDI_ASTERISK
    case DialogKind::Confirmation:
      return 32514;  // IDI_QUESTION
    case DialogKind::Custom:
      break;
  }
  return 0;
}

std::string ButtonCaption(DialogButton button) { return InfoOf(button).caption; }
std::string ButtonName(DialogButton button) { return InfoOf(button).name; }
int ButtonResult(DialogButton button) { return InfoOf(button).result; }

std::optional<DialogButton> DefaultButtonOf(DialogButtons buttons) {
  for (DialogButton b : {DialogButton::OK, DialogButton::Yes, DialogButton::Retry}) {
    if (buttons.Has(b)) return b;
  }
  return std::nullopt;
}

std::optional<DialogButton> CancelButtonOf(DialogButtons buttons) {
  for (DialogButton b : {DialogButton::Cancel, DialogButton::No, DialogButton::OK}) {
    if (buttons.Has(b)) return b;
  }
  return std::nullopt;
}

int ButtonCaptionWidths::Width(DialogButton button, TextMeasurer& measurer) {
  int& width = widths_[static_cast<int>(button)];
  if (width < 0) width = measurer.CaptionExtent(ButtonCaption(button)).Width;
  return width;
}

MessageDialogLayout LayoutMessageDialog(const std::string& text, DialogKind kind, DialogButtons buttons,
                                        int screenWidth, TextMeasurer& measurer, ButtonCaptionWidths& widths) {
  MessageDialogLayout l{};
  TextSize letters = measurer.TextExtent(kAlphabet);
  l.CharWidth = letters.Width / 52;
  l.CharHeight = letters.Height;
  const int cx = l.CharWidth, cy = l.CharHeight;
  l.HorzMargin = ui::MulDiv(8, cx, 4);
  l.VertMargin = ui::MulDiv(8, cy, 8);
  l.HorzSpacing = ui::MulDiv(10, cx, 4);
  l.VertSpacing = ui::MulDiv(10, cy, 8);
  l.ButtonHeight = ui::MulDiv(14, cy, 8);
  l.ButtonSpacing = ui::MulDiv(4, cx, 4);

  std::vector<DialogButton> kinds = buttons.Kinds();
  l.ButtonWidth = ui::MulDiv(50, cx, 4);
  for (DialogButton b : kinds) l.ButtonWidth = std::max(l.ButtonWidth, widths.Width(b, measurer) + 8);

  TextSize block = measurer.WrappedExtent(text, screenWidth / 2);
  l.HasIcon = DialogIconId(kind) != 0;
  int iconTextWidth = block.Width, iconTextHeight = block.Height;
  if (l.HasIcon) {
    iconTextWidth = block.Width + kDialogIconSize + l.HorzSpacing;
    iconTextHeight = std::max(block.Height, kDialogIconSize);
  }

  int n = static_cast<int>(kinds.size());
  l.ButtonRowWidth = n == 0 ? 0 : n * l.ButtonWidth + (n - 1) * l.ButtonSpacing;
  l.ClientWidth = std::max(iconTextWidth, l.ButtonRowWidth) + 2 * l.HorzMargin;
  l.ClientHeight = iconTextHeight + l.ButtonHeight + l.VertSpacing + 2 * l.VertMargin;

  l.Icon = LayoutRect{l.HorzMargin, l.VertMargin, kDialogIconSize, kDialogIconSize};
  int textLeft = l.HorzMargin + (l.HasIcon ? kDialogIconSize + l.HorzSpacing : 0);
  l.Text = LayoutRect{textLeft, l.VertMargin, block.Width, block.Height};

  int top = l.VertMargin + iconTextHeight + l.VertSpacing;
  int left = (l.ClientWidth - l.ButtonRowWidth) / 2;
  for (DialogButton b : kinds) {
    l.Buttons.push_back(PlacedButton{b, LayoutRect{left, top, l.ButtonWidth, l.ButtonHeight}});
    left += l.ButtonWidth + l.ButtonSpacing;
  }
  l.Default = DefaultButtonOf(buttons);
  l.Cancel = CancelButtonOf(buttons);
  return l;
}

ShownText MessageClipboardText(const ShownText& caption, const ShownText& text,
                               const std::vector<ShownText>& buttonCaptions) {
  const ShownText divider = OwnText(std::string(27, '-') + "\r\n");
  const ShownText lineEnd = OwnText("\r\n");
  ShownText buttons;
  for (const ShownText& c : buttonCaptions) {
    for (const TextRun& run : c.Runs()) {
      // "&" (0x26) is a trail byte of no code page, so removing it byte by byte is safe.
      std::string bytes;
      for (char ch : run.bytes) {
        if (ch != '&') bytes += ch;
      }
      buttons += TextIn(run.page, bytes);
    }
    buttons += OwnText("   ");
  }
  return divider + caption + lineEnd + divider + text + lineEnd + divider + buttons + lineEnd + divider;
}
