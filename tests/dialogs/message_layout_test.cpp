// Message dialog arithmetic against a fake measurer with round numbers: every letter of the
// 52-letter string is 7 pixels plus 3 spare (so cx is 415 / 52 = 7), every text byte 6 pixels,
// every line 13 pixels high (cy = 13).
#include "dialogs/message_layout.h"

#include <gtest/gtest.h>

#include <string>

namespace {

class FakeMeasurer : public TextMeasurer {
 public:
  TextSize TextExtent(const std::string& text) override {
    ++textCalls;
    return TextSize{static_cast<int>(text.size()) * 7 + (text.size() == 52 ? 51 : 0), 13};
  }
  TextSize CaptionExtent(const std::string& caption) override {
    ++captionCalls;
    int bytes = 0;
    for (char c : caption) bytes += c == '&' ? 0 : 1;
    return TextSize{bytes * 6, 13};
  }
  TextSize WrappedExtent(const std::string& text, int maxWidth) override {
    lastMaxWidth = maxWidth;
    int width = static_cast<int>(text.size()) * 6;
    if (width <= maxWidth) return TextSize{width, 13};
    int lines = (width + maxWidth - 1) / maxWidth;
    return TextSize{maxWidth, 13 * lines};
  }
  int textCalls = 0;
  int captionCalls = 0;
  int lastMaxWidth = 0;
};

const std::string kDone = "アップデート完了しました";  // 24 bytes: a 144 x 13 block

class MessageLayout : public ::testing::Test {
 protected:
  MessageDialogLayout Layout(const std::string& text, DialogKind kind, DialogButtons buttons,
                             int screenWidth = 1024) {
    return LayoutMessageDialog(text, kind, buttons, screenWidth, measurer, widths);
  }
  FakeMeasurer measurer;
  ButtonCaptionWidths widths;
};

TEST_F(MessageLayout, DialogUnitsAndDerivedLengths) {
  MessageDialogLayout l = Layout(kDone, DialogKind::Information, DialogButton::OK);
  EXPECT_EQ(l.CharWidth, 7);  // 415 / 52, integer division
  EXPECT_EQ(l.CharHeight, 13);
  EXPECT_EQ(l.HorzMargin, 14);
  EXPECT_EQ(l.VertMargin, 13);
  EXPECT_EQ(l.HorzSpacing, 18);  // 17.5 rounds up
  EXPECT_EQ(l.VertSpacing, 16);  // 16.25 rounds down
  EXPECT_EQ(l.ButtonWidth, 88);  // the 50-unit minimum beats "OK" + 8
  EXPECT_EQ(l.ButtonHeight, 23);
  EXPECT_EQ(l.ButtonSpacing, 7);
}

TEST_F(MessageLayout, CompletionNoticePlacement) {
  MessageDialogLayout l = Layout(kDone, DialogKind::Information, DialogButton::OK);
  EXPECT_EQ(measurer.lastMaxWidth, 512);
  ASSERT_TRUE(l.HasIcon);
  EXPECT_EQ(l.Icon.Left, 14);
  EXPECT_EQ(l.Icon.Top, 13);
  EXPECT_EQ(l.Icon.Width, 32);
  EXPECT_EQ(l.Text.Left, 64);  // margin + icon + spacing
  EXPECT_EQ(l.Text.Top, 13);
  EXPECT_EQ(l.Text.Width, 144);
  EXPECT_EQ(l.Text.Height, 13);
  EXPECT_EQ(l.ClientWidth, 222);  // 144 + 32 + 18 + 2 * 14
  EXPECT_EQ(l.ClientHeight, 97);  // max(13, 32) + 23 + 16 + 2 * 13
  ASSERT_EQ(l.Buttons.size(), 1u);
  EXPECT_EQ(l.Buttons[0].Kind, DialogButton::OK);
  EXPECT_EQ(l.Buttons[0].Bounds.Left, 67);  // (222 - 88) / 2
  EXPECT_EQ(l.Buttons[0].Bounds.Top, 61);   // 13 + 32 + 16
  EXPECT_EQ(l.Default, DialogButton::OK);
  EXPECT_EQ(l.Cancel, DialogButton::OK);
}

TEST_F(MessageLayout, ButtonsFollowTheFixedOrderWithEqualWidths) {
  DialogButtons set = DialogButtons(DialogButton::Help) | DialogButton::Retry | DialogButton::Yes |
                      DialogButton::NoToAll | DialogButton::Cancel;
  MessageDialogLayout l = Layout("x", DialogKind::Warning, set);
  ASSERT_EQ(l.Buttons.size(), 5u);
  DialogButton order[] = {DialogButton::Yes, DialogButton::Cancel, DialogButton::Retry, DialogButton::NoToAll,
                          DialogButton::Help};
  // "すべていいえ(&O)" is 15 bytes without the mark: 90 + 8 pixels, wider than the minimum.
  EXPECT_EQ(l.ButtonWidth, 98);
  EXPECT_EQ(l.ButtonRowWidth, 5 * 98 + 4 * 7);
  EXPECT_EQ(l.ClientWidth, l.ButtonRowWidth + 28);
  for (size_t i = 0; i < 5; ++i) {
    EXPECT_EQ(l.Buttons[i].Kind, order[i]);
    EXPECT_EQ(l.Buttons[i].Bounds.Width, 98);
    EXPECT_EQ(l.Buttons[i].Bounds.Left, 14 + static_cast<int>(i) * (98 + 7));
  }
}

TEST_F(MessageLayout, DefaultAndCancelChoice) {
  struct Case {
    DialogButtons set;
    std::optional<DialogButton> def, cancel;
  } cases[] = {
      {DialogButton::OK, DialogButton::OK, DialogButton::OK},
      {DialogButton::Abort, std::nullopt, std::nullopt},
      {DialogButton::Yes | DialogButton::No, DialogButton::Yes, DialogButton::No},
      {DialogButton::Retry | DialogButton::Cancel, DialogButton::Retry, DialogButton::Cancel},
      {DialogButton::OK | DialogButton::Cancel, DialogButton::OK, DialogButton::Cancel},
      {DialogButtons(DialogButton::Yes) | DialogButton::No | DialogButton::OK, DialogButton::OK, DialogButton::No},
      {DialogButtons(DialogButton::Yes) | DialogButton::No | DialogButton::Cancel, DialogButton::Yes, DialogButton::Cancel},
      {DialogButton::Abort | DialogButton::Retry, DialogButton::Retry, std::nullopt},
      {DialogButtons(), std::nullopt, std::nullopt},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(DefaultButtonOf(c.set), c.def) << c.set.Bits();
    EXPECT_EQ(CancelButtonOf(c.set), c.cancel) << c.set.Bits();
  }
}

TEST_F(MessageLayout, EmptyButtonSetKeepsTheButtonRowHeight) {
  MessageDialogLayout l = Layout(kDone, DialogKind::Information, DialogButtons());
  EXPECT_TRUE(l.Buttons.empty());
  EXPECT_EQ(l.ButtonRowWidth, 0);
  EXPECT_EQ(l.ClientWidth, 194 + 28);
  EXPECT_EQ(l.ClientHeight, 97);
}

TEST_F(MessageLayout, HighBitsAreIgnored) {
  MessageDialogLayout l = Layout(kDone, DialogKind::Information, DialogButtons(0xF800));
  EXPECT_TRUE(DialogButtons(0xF800).Empty());
  EXPECT_TRUE(l.Buttons.empty());
  EXPECT_EQ(Layout(kDone, DialogKind::Information, DialogButtons(0xF804)).Buttons.size(), 1u);
}

TEST_F(MessageLayout, LongTextWrapsAtHalfTheScreen) {
  std::string text(200, 'w');  // 1200 pixels on one line
  MessageDialogLayout l = Layout(text, DialogKind::Information, DialogButton::OK, 641);
  EXPECT_EQ(measurer.lastMaxWidth, 320);  // 641 / 2, toward zero
  EXPECT_EQ(l.Text.Width, 320);
  EXPECT_EQ(l.Text.Height, 4 * 13);
  EXPECT_EQ(l.ClientWidth, 320 + 32 + 18 + 28);
  EXPECT_EQ(l.ClientHeight, 52 + 23 + 16 + 26);
}

TEST_F(MessageLayout, ShortTextIsNarrowAndIconAreaIsAtLeast32High) {
  MessageDialogLayout l = Layout("ok", DialogKind::Error, DialogButton::OK);
  EXPECT_EQ(l.Text.Width, 12);
  EXPECT_EQ(l.ClientWidth, 88 + 28);  // the button row is wider than icon and text
  EXPECT_EQ(l.Buttons[0].Bounds.Left, 14);
  EXPECT_EQ(l.Buttons[0].Bounds.Top, 13 + 32 + 16);
}

TEST_F(MessageLayout, CustomHasNoIconAndStartsAtTheMargin) {
  MessageDialogLayout l = Layout(kDone, DialogKind::Custom, DialogButton::OK);
  EXPECT_FALSE(l.HasIcon);
  EXPECT_EQ(l.Text.Left, 14);
  EXPECT_EQ(l.ClientWidth, 144 + 28);
  EXPECT_EQ(l.ClientHeight, 13 + 23 + 16 + 26);
  EXPECT_EQ(DialogCaption(DialogKind::Custom), "");
  EXPECT_EQ(DialogIconId(DialogKind::Custom), 0);
}

TEST_F(MessageLayout, CaptionWidthsAreMeasuredOncePerKind) {
  Layout(kDone, DialogKind::Information, DialogButton::OK);
  Layout("x", DialogKind::Confirmation, DialogButton::Yes | DialogButton::No);
  Layout("y", DialogKind::Confirmation, DialogButtons(DialogButton::Yes) | DialogButton::No | DialogButton::OK);
  EXPECT_EQ(measurer.captionCalls, 3);
  EXPECT_EQ(measurer.textCalls, 3);  // the dialog units are measured for every dialog
}

TEST(MessageKinds, CaptionsIconsAndButtons) {
  EXPECT_EQ(DialogCaption(DialogKind::Warning), "警告");
  EXPECT_EQ(DialogCaption(DialogKind::Error), "エラー");
  EXPECT_EQ(DialogCaption(DialogKind::Information), "情報");
  EXPECT_EQ(DialogCaption(DialogKind::Confirmation), "確認");
  EXPECT_EQ(DialogIconId(DialogKind::Warning), 32515);
  EXPECT_EQ(DialogIconId(DialogKind::Error), 32513);
  EXPECT_EQ(DialogIconId(DialogKind::Information), 32516);
  EXPECT_EQ(DialogIconId(DialogKind::Confirmation), 32514);

  struct Row {
    DialogButton kind;
    const char* caption;
    const char* name;
    int result;
  } rows[] = {
      {DialogButton::Yes, "はい(&Y)", "Yes", 6},          {DialogButton::No, "いいえ(&N)", "No", 7},
      {DialogButton::OK, "OK", "OK", 1},                  {DialogButton::Cancel, "キャンセル", "Cancel", 2},
      {DialogButton::Abort, "中止(&A)", "Abort", 3},      {DialogButton::Retry, "再試行(&R)", "Retry", 4},
      {DialogButton::Ignore, "無視(&I)", "Ignore", 5},    {DialogButton::All, "すべて(&A)", "All", 8},
      {DialogButton::NoToAll, "すべていいえ(&O)", "NoToAll", 9},
      {DialogButton::YesToAll, "すべてはい(&A)", "YesToAll", 10},
      {DialogButton::Help, "ヘルプ(&H)", "Help", 0},
  };
  for (const Row& r : rows) {
    EXPECT_EQ(ButtonCaption(r.kind), r.caption);
    EXPECT_EQ(ButtonName(r.kind), r.name);
    EXPECT_EQ(ButtonResult(r.kind), r.result);
    EXPECT_EQ(DialogButtons(static_cast<uint16_t>(1u << static_cast<int>(r.kind))).Kinds().front(), r.kind);
  }
}

TEST(MessageClipboard, CompletionNoticeText) {
  std::string divider = "---------------------------\r\n";
  EXPECT_EQ(MessageClipboardText(OwnText("情報"), OwnText(kDone), {OwnText("OK")}).Bytes(),
            divider + "情報\r\n" + divider + kDone + "\r\n" + divider + "OK   \r\n" + divider);
}

TEST(MessageClipboard, AccessKeyMarksAreRemovedAndCaptionsFollowCreationOrder) {
  std::string divider = std::string(27, '-') + "\r\n";
  EXPECT_EQ(MessageClipboardText(OwnText("確認"), OwnText("q"), {OwnText("はい(&Y)"), OwnText("いいえ(&N)")}).Bytes(),
            divider + "確認\r\n" + divider + "q\r\n" + divider + "はい(Y)   いいえ(N)   \r\n" + divider);
  EXPECT_EQ(MessageClipboardText(OwnText("c"), OwnText("t"), {}).Bytes(),
            divider + "c\r\n" + divider + "t\r\n" + divider + "\r\n" + divider);
}

// A caption from the system (a Custom dialog's title, the executable's name) stays a run of its
// own code page, so that the clipboard's Unicode text shows it as the caption does.
TEST(MessageClipboard, SystemTextKeepsItsCodePage) {
  const ShownText divider = OwnText(std::string(27, '-') + "\r\n"), end = OwnText("\r\n");
  EXPECT_EQ(MessageClipboardText(SystemText("Caf\xE9"), OwnText("t"), {OwnText("&OK")}),
            divider + SystemText("Caf\xE9") + end + divider + OwnText("t") + end + divider + OwnText("OK   ") + end + divider);
}

}  // namespace
