// The message dialog on the screen, shown by dialog_host: captions, icons, buttons, focus,
// keys and mouse, the close box, Ctrl+C and the window's geometry.
#include <functional>

#include "tests/dialogs/expected_layout.h"
#include "tests/dialogs/host.h"
#include "tests/e2e/driver/driver.h"

using namespace e2e;

namespace {

const char* const kCompletion = "アップデート完了しました";
const char* const kNotFound = "ＨＤＤ上にアップデート対象を発見できませんでした。";
const char* const kCreate = "指定されたディレクトリが存在しません。作成しますか？";

struct Shown {
  Process process;
  HWND dialog = nullptr;
};

// Starts the host with one dialog and waits for it; stops the scenario when none appears.
Shown Open(const std::string& text, host::Kind kind, unsigned buttons) {
  Shown s{host::Message(text, kind, buttons), nullptr};
  E2E_ASSERT(s.process.Started());
  s.dialog = WaitWindow(s.process.Id(), "TMessageForm", nullptr);
  E2E_ASSERT(s.dialog != nullptr);
  return s;
}

HWND Control(HWND dialog, const char* name) {
  HWND h = FindControl(dialog, name);
  if (!h) {
    Fail(__FILE__, __LINE__, std::string("the dialog has no control named ") + name);
    throw ScenarioStopped{};
  }
  return h;
}

// One way of answering a dialog and the result it must give.
struct Answer {
  const char* how;
  std::function<void(HWND dialog)> act;
  int result;
};

void PressKey(HWND dialog, const std::function<void()>& key) {
  EXPECT_TRUE(Activate(dialog));
  key();
}

// Each answer on a fresh dialog: the host must end with the answer's result.
void CheckAnswers(const std::string& text, host::Kind kind, unsigned buttons,
                  const std::vector<Answer>& answers) {
  for (const Answer& a : answers) {
    std::printf("answer: %s\n", a.how);
    Shown s = Open(text, kind, buttons);
    a.act(s.dialog);
    auto code = s.process.WaitExit();
    EXPECT_EQ(code, std::optional<DWORD>(a.result)) << "answered by " << a.how;
  }
}

// Keys that must leave the dialog open; it is then closed with its close box (2).
void CheckIgnored(const std::string& text, host::Kind kind, unsigned buttons,
                  const std::vector<std::pair<const char*, std::function<void()>>>& keys) {
  Shown s = Open(text, kind, buttons);
  for (const auto& k : keys) {
    PressKey(s.dialog, k.second);
    Pause(300);
    const bool open = IsWindow(s.dialog) && IsVisible(s.dialog);
    EXPECT_TRUE(open) << "closed by " << k.first;
    if (!open) break;
  }
  CloseBox(s.dialog);
  EXPECT_EQ(s.process.WaitExit(), std::optional<DWORD>(2));
}

// The buttons shown, left to right: their names and captions.
void CheckButtons(HWND dialog, const std::vector<std::pair<const char*, const char*>>& want) {
  std::vector<HWND> buttons;
  for (const auto& w : want) {
    HWND b = Control(dialog, w.first);
    EXPECT_EQ(Text(b), std::string(w.second));
    buttons.push_back(b);
  }
  for (size_t i = 1; i < buttons.size(); ++i) {
    EXPECT_TRUE(ScreenRect(buttons[i - 1]).right < ScreenRect(buttons[i]).left);
  }
}

Answer ByEnter(int result) { return {"Enter", [](HWND d) { PressKey(d, Enter); }, result}; }
Answer ByEscape(int result) { return {"Escape", [](HWND d) { PressKey(d, [] { e2e::Escape(); }); }, result}; }
Answer ByAlt(char key, int result) {
  return {"Alt+letter", [key](HWND d) { PressKey(d, [key] { AltKey(key); }); }, result};
}
Answer ByClick(const char* name, int result) {
  return {"a mouse click", [name](HWND d) { Click(Control(d, name)); }, result};
}
Answer ByCloseBox() { return {"the close box", [](HWND d) { CloseBox(d); }, 2}; }
Answer ByAltF4() { return {"Alt+F4", [](HWND d) { PressKey(d, AltF4); }, 2}; }

}  // namespace

// ---- The three notices of the program -------------------------------------------------------

TEST(MessageDialog, completion_notice) {
  {
    Shown s = Open(kCompletion, host::kInformation, host::kOK);
    EXPECT_EQ(Text(s.dialog), std::string("情報"));
    EXPECT_EQ(Text(Control(s.dialog, "Message")), std::string(kCompletion));
    EXPECT_TRUE(IsVisible(Control(s.dialog, "Image")));
    CheckButtons(s.dialog, {{"OK", "OK"}});
    EXPECT_TRUE(WaitUntil([&] { return FocusOf(s.dialog) == Control(s.dialog, "OK"); }));
    ButtonClick(Control(s.dialog, "OK"));
    EXPECT_EQ(s.process.WaitExit(), std::optional<DWORD>(1));
  }
  // OK is both the default and the cancel button.
  CheckAnswers(kCompletion, host::kInformation, host::kOK,
               {ByEnter(1), ByEscape(1), ByClick("OK", 1), ByCloseBox(), ByAltF4()});
}

TEST(MessageDialog, search_notice) {
  {
    Shown s = Open(kNotFound, host::kInformation, host::kAbort);
    EXPECT_EQ(Text(s.dialog), std::string("情報"));
    CheckButtons(s.dialog, {{"Abort", "中止(&A)"}});
    EXPECT_TRUE(WaitUntil([&] { return FocusOf(s.dialog) == Control(s.dialog, "Abort"); }));
    CloseBox(s.dialog);
    EXPECT_EQ(s.process.WaitExit(), std::optional<DWORD>(2));
  }
  // Neither a default nor a cancel button: the focused button takes Enter, Escape does nothing.
  CheckAnswers(kNotFound, host::kInformation, host::kAbort,
               {ByEnter(3), ByAlt('A', 3), ByClick("Abort", 3), ByCloseBox()});
  CheckIgnored(kNotFound, host::kInformation, host::kAbort, {{"Escape", [] { e2e::Escape(); }}});
}

TEST(MessageDialog, folder_question) {
  {
    Shown s = Open(kCreate, host::kConfirmation, host::kYes | host::kNo);
    EXPECT_EQ(Text(s.dialog), std::string("確認"));
    EXPECT_TRUE(IsVisible(Control(s.dialog, "Image")));
    CheckButtons(s.dialog, {{"Yes", "はい(&Y)"}, {"No", "いいえ(&N)"}});
    HWND yes = Control(s.dialog, "Yes"), no = Control(s.dialog, "No");
    EXPECT_TRUE(WaitUntil([&] { return FocusOf(s.dialog) == yes; }));
    // Tab and Shift+Tab move between the two buttons only.
    ASSERT_TRUE(Activate(s.dialog));
    Tab();
    EXPECT_TRUE(WaitUntil([&] { return FocusOf(s.dialog) == no; }));
    Tab();
    EXPECT_TRUE(WaitUntil([&] { return FocusOf(s.dialog) == yes; }));
    ShiftTab();
    EXPECT_TRUE(WaitUntil([&] { return FocusOf(s.dialog) == no; }));
    // With the focus on No, Enter presses No: the focus decides, not the default mark.
    Enter();
    EXPECT_EQ(s.process.WaitExit(), std::optional<DWORD>(7));
  }
  CheckAnswers(kCreate, host::kConfirmation, host::kYes | host::kNo,
               {ByEnter(6), ByEscape(7), ByAlt('Y', 6), ByAlt('N', 7), ByClick("Yes", 6),
                ByClick("No", 7), ByCloseBox()});
}

// ---- Kinds and button sets ------------------------------------------------------------------

TEST(MessageDialog, captions_and_icons) {
  struct Row {
    host::Kind kind;
    const char* caption;
    LPCSTR icon;  // nullptr: none
  };
  const Row rows[] = {
      {host::kWarning, "警告", IDI_EXCLAMATION},
      {host::kError, "エラー", IDI_HAND},
      {host::kInformation, "情報", IDI_ASTERISK},
      {host::kConfirmation, "確認", IDI_QUESTION},
      {host::kCustom, "dialog_host", nullptr},  // the application title: first letter kept as is
  };
  for (const Row& r : rows) {
    Shown s = Open("種類", r.kind, host::kOK);
    EXPECT_EQ(Text(s.dialog), std::string(r.caption));
    HWND image = FindControl(s.dialog, "Image");
    EXPECT_EQ(image != nullptr, r.icon != nullptr);
    if (image && r.icon) {
      // The kind's own standard icon, pixel for pixel, and none of the others.
      for (LPCSTR other : {IDI_EXCLAMATION, IDI_HAND, IDI_ASTERISK, IDI_QUESTION}) {
        int mismatch = expect::IconMismatch(CaptureClient(image), other);
        if (other == r.icon) {
          EXPECT_EQ(mismatch, 0);
        } else {
          EXPECT_TRUE(mismatch > 0);
        }
      }
    }
    ButtonClick(Control(s.dialog, "OK"));
    EXPECT_EQ(s.process.WaitExit(), std::optional<DWORD>(1));
  }
}

TEST(MessageDialog, every_button_in_fixed_order) {
  // Asked for in any order, shown in the fixed one; Help does not close the dialog.
  const std::vector<std::pair<const char*, const char*>> all = {
      {"Yes", "はい(&Y)"},           {"No", "いいえ(&N)"},   {"OK", "OK"},
      {"Cancel", "キャンセル"},      {"Abort", "中止(&A)"},  {"Retry", "再試行(&R)"},
      {"Ignore", "無視(&I)"},        {"All", "すべて(&A)"},  {"NoToAll", "すべていいえ(&O)"},
      {"YesToAll", "すべてはい(&A)"}, {"Help", "ヘルプ(&H)"}};
  const int results[] = {6, 7, 1, 2, 3, 4, 5, 8, 9, 10};
  for (int i = 0; i < 10; ++i) {
    Shown s = Open("ボタン", host::kWarning, 0x7FFu);
    if (i == 0) {
      CheckButtons(s.dialog, all);
      // Help asks for the help context and leaves the dialog open, by click or access key.
      ButtonClick(Control(s.dialog, "Help"));
      PressKey(s.dialog, [] { AltKey('H'); });
      Pause(300);
      EXPECT_TRUE(IsWindow(s.dialog) && IsVisible(s.dialog) && s.process.Running());
    }
    ButtonClick(Control(s.dialog, all[static_cast<size_t>(i)].first));
    EXPECT_EQ(s.process.WaitExit(), std::optional<DWORD>(results[i]));
  }
}

TEST(MessageDialog, empty_button_set) {
  Shown s = Open("ボタンなし", host::kWarning, 0);
  for (HWND c : Children(s.dialog)) EXPECT_TRUE(ClassName(c).find("Button") == std::string::npos);
  for (const char* name : {"OK", "Yes", "No", "Cancel"}) EXPECT_TRUE(FindControl(s.dialog, name) == nullptr);
  // Only the close box leaves it.
  for (auto key : {+[] { e2e::Enter(); }, +[] { e2e::Escape(); }}) {
    PressKey(s.dialog, key);
    Pause(300);
    EXPECT_TRUE(IsWindow(s.dialog) && IsVisible(s.dialog));
  }
  CloseBox(s.dialog);
  EXPECT_EQ(s.process.WaitExit(), std::optional<DWORD>(2));
}

// ---- Clipboard ------------------------------------------------------------------------------

TEST(MessageDialog, ctrl_c_copies_the_dialog) {
  struct Row {
    const char* text;
    host::Kind kind;
    unsigned buttons;
    const char* caption;
    std::vector<std::string> captions;
  };
  const Row rows[] = {
      {kCompletion, host::kInformation, host::kOK, "情報", {"OK"}},
      {kCreate, host::kConfirmation, host::kYes | host::kNo, "確認", {"はい(&Y)", "いいえ(&N)"}},
  };
  for (const Row& r : rows) {
    EXPECT_TRUE(ClearClipboard());
    Shown s = Open(r.text, r.kind, r.buttons);
    // Only Ctrl alone with C copies.
    PressKey(s.dialog, [] { Key('C', kCtrl | kShift); });
    PressKey(s.dialog, [] { Key('C', kCtrl | kAlt); });
    Pause(300);
    EXPECT_TRUE(!ClipboardText().has_value());
    PressKey(s.dialog, CtrlC);
    const std::string want = expect::ClipboardText(r.caption, r.text, r.captions);
    EXPECT_TRUE(WaitUntil([&] { return ClipboardText() == std::optional<std::string>(want); }));
    EXPECT_EQ(ClipboardText().value_or("(no text)"), want);
    // The dialog stays open.
    EXPECT_TRUE(IsWindow(s.dialog) && IsVisible(s.dialog));
    CloseBox(s.dialog);
    EXPECT_EQ(s.process.WaitExit(), std::optional<DWORD>(2));
  }
  // Written out once by hand for the completion notice.
  const std::string d = "---------------------------\r\n";
  EXPECT_EQ(expect::ClipboardText("情報", kCompletion, {"OK"}),
               d + "情報\r\n" + d + "アップデート完了しました\r\n" + d + "OK   \r\n" + d);
}

// ---- Geometry -------------------------------------------------------------------------------

namespace {

void CheckLayout(const std::string& text, host::Kind kind, unsigned buttons,
                 const std::vector<std::pair<const char*, const char*>>& shown) {
  Shown s = Open(text, kind, buttons);
  std::vector<std::string> captions;
  for (const auto& b : shown) captions.push_back(b.second);
  const bool icon = kind != host::kCustom;
  expect::MessageLayout want = expect::MessageDialog(text, icon, captions);
  std::printf("cx %d cy %d\n", want.cx, want.cy);

  RECT client = ClientRect(s.dialog);
  EXPECT_EQ(Width(client), want.clientWidth);
  EXPECT_EQ(Height(client), want.clientHeight);
  EXPECT_EQ(Show(RectInParent(Control(s.dialog, "Message"))), Show(want.text));
  if (icon) {
    EXPECT_EQ(Show(RectInParent(Control(s.dialog, "Image"))), Show(want.icon));
  }
  for (size_t i = 0; i < shown.size(); ++i) {
    EXPECT_EQ(Show(RectInParent(Control(s.dialog, shown[i].first))), Show(want.buttons[i]));
  }
  RECT frame = ScreenRect(s.dialog);
  POINT at = expect::Centred(Width(frame), Height(frame));
  EXPECT_EQ(frame.left, at.x);
  EXPECT_EQ(frame.top, at.y);
  // The text block never gets wider than half the screen.
  EXPECT_TRUE(Width(RectInParent(Control(s.dialog, "Message"))) <= GetSystemMetrics(SM_CXSCREEN) / 2);
  CloseBox(s.dialog);
  EXPECT_EQ(s.process.WaitExit(), std::optional<DWORD>(2));
}

}  // namespace

TEST(MessageDialog, layout_of_the_notices) {
  CheckLayout(kCompletion, host::kInformation, host::kOK, {{"OK", "OK"}});
  CheckLayout(kCreate, host::kConfirmation, host::kYes | host::kNo,
              {{"Yes", "はい(&Y)"}, {"No", "いいえ(&N)"}});
}

TEST(MessageDialog, layout_edge_cases) {
  // A short text: the button row decides the width; the icon keeps the area 32 high.
  CheckLayout("短", host::kWarning, host::kYes | host::kNo | host::kCancel,
              {{"Yes", "はい(&Y)"}, {"No", "いいえ(&N)"}, {"Cancel", "キャンセル"}});
  // A long text wraps at half the screen, so the window grows in height.
  std::string longText;
  for (int i = 0; i < 12; ++i) longText += "長いメッセージの折り返しを確かめる文です。";
  CheckLayout(longText, host::kError, host::kOK, {{"OK", "OK"}});
  EXPECT_TRUE(Height(expect::MessageDialog(longText, true, {"OK"}).text) >
            2 * expect::MessageDialog("一行", true, {"OK"}).cy);
  // Custom: no icon, the text at the margin.
  CheckLayout("独自の種類", host::kCustom, host::kOK, {{"OK", "OK"}});
  // No buttons at all.
  CheckLayout("ボタンなし", host::kInformation, 0, {});
}

