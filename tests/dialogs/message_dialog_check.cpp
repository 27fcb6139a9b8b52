// Runs the message dialog under Wine and works it from a thread timer inside its modal loop:
// window class, caption, control names, focus, keys, close box, clipboard text and help.
#include <windows.h>

#include <cstdio>
#include <functional>
#include <string>

#include <gtest/gtest.h>

#include "base/failure.h"
#include "dialogs/win32/error_report.h"
#include "dialogs/win32/message_dialog.h"
#include "ui/win32/application.h"

namespace {

std::string NameOf(HWND window) {
  auto atom = static_cast<ATOM>(reinterpret_cast<UINT_PTR>(GetPropA(window, "ControlName")));
  char name[64] = {};
  if (atom) GlobalGetAtomNameA(atom, name, sizeof name);
  return name;
}

std::string TextOf(HWND window) {
  char text[512] = {};
  GetWindowTextA(window, text, sizeof text);
  return text;
}

HWND Child(HWND dialog, const std::string& name) {
  for (HWND c = GetWindow(dialog, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
    if (NameOf(c) == name) return c;
  }
  return nullptr;
}

// What to do once the dialog is up; runs from a timer inside the dialog's own loop.
std::function<void(HWND)> g_step;

void CALLBACK OnTimer(HWND, UINT, UINT_PTR id, DWORD) {
  HWND dialog = FindWindowA("TMessageForm", nullptr);
  if (!dialog || !IsWindowVisible(dialog)) return;
  KillTimer(nullptr, id);
  g_step(dialog);
}

// A dialog that never closes is a failure too: after 10 s the watchdog closes it.
void CALLBACK Watchdog(HWND, UINT, UINT_PTR id, DWORD) {
  KillTimer(nullptr, id);
  std::printf("watchdog: a dialog did not close\n");
  PostMessageA(GetActiveWindow(), WM_CLOSE, 0, 0);
}

int Run(const std::string& text, DialogKind kind, DialogButtons buttons, std::function<void(HWND)> step,
        int help = 0) {
  g_step = std::move(step);
  SetTimer(nullptr, 0, 50, OnTimer);
  UINT_PTR watchdog = SetTimer(nullptr, 0, 10000, Watchdog);
  int result = ShowMessageDialog(text, kind, buttons, help);
  KillTimer(nullptr, watchdog);
  return result;
}

void Key(HWND dialog, UINT message, WPARAM key) { PostMessageA(GetFocus() ? GetFocus() : dialog, message, key, 0); }

void HoldControl(bool down) {
  BYTE state[256];
  GetKeyboardState(state);
  state[VK_CONTROL] = down ? 0x80 : 0;
  SetKeyboardState(state);
}

void CheckCompletionNotice() {
  const std::string done = "アップデート完了しました";
  int result = Run(done, DialogKind::Information, DialogButton::OK, [&](HWND d) {
    EXPECT_TRUE(TextOf(d) == "情報") << "completion caption";
    EXPECT_TRUE(Child(d, "Image") != nullptr) << "icon control present";
    EXPECT_TRUE(TextOf(Child(d, "Message")) == done) << "message label text";
    HWND ok = Child(d, "OK");
    EXPECT_TRUE(ok && TextOf(ok) == "OK") << "OK button";
    EXPECT_TRUE(GetFocus() == ok) << "focus starts on the first button";
    RECT r;
    GetWindowRect(d, &r);
    int left = (GetSystemMetrics(SM_CXSCREEN) - (r.right - r.left)) / 2;
    EXPECT_TRUE(r.left == left) << "centred horizontally";
    LOGFONTA font{};
    GetObjectA(reinterpret_cast<HFONT>(SendMessageA(ok, WM_GETFONT, 0, 0)), sizeof font, &font);
    NONCLIENTMETRICSA metrics{};
    metrics.cbSize = sizeof metrics;
    SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
    EXPECT_TRUE(std::string(font.lfFaceName) == metrics.lfMessageFont.lfFaceName) << "message font";
    Key(d, WM_KEYDOWN, VK_RETURN);
  });
  EXPECT_TRUE(result == 1) << "Enter gives 1";
  EXPECT_TRUE(Run(done, DialogKind::Information, DialogButton::OK, [](HWND d) { Key(d, WM_KEYDOWN, VK_ESCAPE); }) == 1) << "Escape gives 1 (OK is also the cancel button)";
  EXPECT_TRUE(Run(done, DialogKind::Information, DialogButton::OK,
            [](HWND d) { PostMessageA(d, WM_SYSCOMMAND, SC_CLOSE, 0); }) == 2) << "close box gives 2";
  EXPECT_TRUE(Run(done, DialogKind::Information, DialogButton::OK,
            [](HWND d) { PostMessageA(Child(d, "OK"), BM_CLICK, 0, 0); }) == 1) << "click gives 1";
}

void CheckSearchNotice() {
  const std::string text = "ＨＤＤ上にアップデート対象を発見できませんでした。";
  int result = Run(text, DialogKind::Information, DialogButton::Abort, [](HWND d) {
    EXPECT_TRUE(TextOf(Child(d, "Abort")) == "中止(&A)") << "Abort caption";
    Key(d, WM_KEYDOWN, VK_ESCAPE);  // no cancel button: nothing happens
    Key(d, WM_SYSCHAR, 'a');
  });
  EXPECT_TRUE(result == 3) << "Escape does nothing, the access key gives 3";
  EXPECT_TRUE(Run(text, DialogKind::Information, DialogButton::Abort, [](HWND d) { Key(d, WM_KEYDOWN, VK_RETURN); }) == 3) << "Enter presses the focused Abort";
}

void CheckQuestion() {
  const std::string text = "指定されたディレクトリが存在しません。作成しますか？";
  int result = Run(text, DialogKind::Confirmation, DialogButton::Yes | DialogButton::No, [](HWND d) {
    EXPECT_TRUE(TextOf(d) == "確認") << "question caption";
    EXPECT_TRUE(GetFocus() == Child(d, "Yes")) << "focus on Yes";
    Key(d, WM_KEYDOWN, VK_ESCAPE);
  });
  EXPECT_TRUE(result == 7) << "Escape presses No";
  EXPECT_TRUE(Run(text, DialogKind::Confirmation, DialogButton::Yes | DialogButton::No,
            [](HWND d) { Key(d, WM_KEYDOWN, VK_RETURN); }) == 6) << "Enter presses Yes";
  EXPECT_TRUE(Run(text, DialogKind::Confirmation, DialogButton::Yes | DialogButton::No,
            [](HWND d) {
              Key(d, WM_KEYDOWN, VK_TAB);
              Key(d, WM_KEYDOWN, VK_RETURN);
            }) == 7) << "Tab then Enter presses No";
}

void CheckEmptySetAndCustom() {
  int result = Run("x", DialogKind::Custom, DialogButtons(), [](HWND d) {
    EXPECT_TRUE(TextOf(d) == Application->Title()) << "custom caption is the application title";
    EXPECT_TRUE(Child(d, "Image") == nullptr) << "custom has no icon";
    Key(d, WM_KEYDOWN, VK_RETURN);
    Key(d, WM_KEYDOWN, VK_ESCAPE);
    PostMessageA(d, WM_CLOSE, 0, 0);
  });
  EXPECT_TRUE(result == 2) << "a dialog without buttons ends by its close box only";
}

void CheckClipboardAndHelp() {
  std::string clip;
  int result = Run("アップデート完了しました", DialogKind::Information, DialogButton::OK | DialogButton::Help,
                   [&](HWND d) {
                     HoldControl(true);
                     SendMessageA(d, CM_DIALOGKEY, 0, [] {
                       static MSG m{};
                       m.message = WM_KEYDOWN;
                       m.wParam = 'C';
                       return reinterpret_cast<LPARAM>(&m);
                     }());
                     HoldControl(false);
                     if (OpenClipboard(nullptr)) {
                       if (HANDLE data = GetClipboardData(CF_TEXT)) {
                         clip = static_cast<const char*>(GlobalLock(data));
                         GlobalUnlock(data);
                       }
                       CloseClipboard();
                     }
                     PostMessageA(Child(d, "Help"), BM_CLICK, 0, 0);
                     PostMessageA(d, WM_CLOSE, 0, 0);
                   },
                   1000);
  std::string divider = std::string(27, '-') + "\r\n";
  EXPECT_TRUE(clip == divider + "情報\r\n" + divider + "アップデート完了しました\r\n" + divider + "OK   ヘルプ(H)   \r\n" +
                    divider) << "clipboard text: [" + clip + "]";
  EXPECT_TRUE(Application->LastHelpContext() == 1000) << "help button asks for the dialog's help context";
  EXPECT_TRUE(result == 2) << "help does not close the dialog";
}

// The error report: finds the platform's message box from a timer inside its own loop.
struct BoxSeen {
  bool seen = false;
  std::string caption, text;
  HWND owner = nullptr;
  bool formEnabled = true;
};
BoxSeen g_box;
HWND g_form = nullptr;

void CALLBACK OnBoxTimer(HWND, UINT, UINT_PTR id, DWORD) {
  HWND box = FindWindowA("#32770", Application->Title().c_str());
  if (!box || !IsWindowVisible(box)) return;
  KillTimer(nullptr, id);
  g_box.seen = true;
  g_box.caption = TextOf(box);
  char text[256] = {};
  GetDlgItemTextA(box, 0xFFFF, text, sizeof text);
  g_box.text = text;
  g_box.owner = GetWindow(box, GW_OWNER);
  g_box.formEnabled = IsWindowEnabled(g_form) != FALSE;
  PostMessageA(box, WM_COMMAND, IDOK, 0);
}

class TProbeForm : public TForm {
 public:
  TProbeForm()
      : TForm(TFormSpec{"TProbeForm", OwnText("probe"), TBorderStyle::Dialog, 50, 50, 200, 80, true}),
        Button1(Add<TButton>(TControlRow{"Button1", 8, 8, 80, 25, OwnText("Button1"), 0, {}})) {}
  TButton& Button1;
};

void CheckErrorReport() {
  TProbeForm form;
  form.Show();
  g_form = form.Handle();
  HWND button = form.Button1.Handle();
  SetFocus(button);

  g_box = BoxSeen();
  SetTimer(nullptr, 0, 50, OnBoxTimer);
  ReportError(Exception("指定されたディレクトリが存在しません。"));
  EXPECT_TRUE(g_box.seen) << "the error box showed";
  EXPECT_TRUE(g_box.caption == Application->Title()) << "box caption is the application title";
  EXPECT_TRUE(g_box.text == "指定されたディレクトリが存在しません。.") << "box text with the dot: [" + g_box.text + "]";
  EXPECT_TRUE(g_box.owner == Application->Handle()) << "box owned by the application window";
  EXPECT_TRUE(!g_box.formEnabled) << "the program's other windows are disabled while the box shows";
  EXPECT_TRUE(IsWindowEnabled(form.Handle()) != FALSE) << "enabled again afterwards";
  EXPECT_TRUE(GetActiveWindow() == form.Handle()) << "the active window is given back";
  EXPECT_TRUE(GetFocus() == button) << "the focus is given back";

  // EAbort shows nothing but still releases the mouse capture.
  SetCapture(form.Handle());
  g_box = BoxSeen();
  UINT_PTR timer = SetTimer(nullptr, 0, 50, OnBoxTimer);
  ReportError(EAbort());
  MSG m;
  while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&m);
  KillTimer(nullptr, timer);
  EXPECT_TRUE(!g_box.seen) << "EAbort shows nothing";
  EXPECT_TRUE(GetCapture() == nullptr) << "the capture is released";

  // The start-up box has no EAbort test and shows the message as it is when it ends in ".".
  g_box = BoxSeen();
  SetTimer(nullptr, 0, 50, OnBoxTimer);
  ShowErrorBox(Exception("done."));
  EXPECT_TRUE(g_box.seen && g_box.text == "done.") << "no second dot";
}

void CheckClipboardFailure() {
  g_box = BoxSeen();
  bool stillOpen = false;
  int result = Run("x", DialogKind::Information, DialogButton::OK, [&](HWND d) {
    g_form = d;
    // Held by another window, the clipboard cannot be opened by the dialog.
    OpenClipboard(Application->Handle());
    SetTimer(nullptr, 0, 50, OnBoxTimer);
    HoldControl(true);
    static MSG m{};
    m.message = WM_KEYDOWN;
    m.wParam = 'C';
    SendMessageA(d, CM_DIALOGKEY, 0, reinterpret_cast<LPARAM>(&m));
    HoldControl(false);
    CloseClipboard();
    stillOpen = IsWindowVisible(d) != FALSE;
    PostMessageA(d, WM_CLOSE, 0, 0);
  });
  EXPECT_TRUE(g_box.seen && g_box.text == "クリップボードを開くことができません.") << "clipboard failure reported: [" + g_box.text + "]";
  EXPECT_TRUE(stillOpen) << "the dialog stays open after the report";
  EXPECT_TRUE(result == 2) << "closed by its close box afterwards";
}

}  // namespace

// One test: the dialogs share the application, and each start of a Wine program costs seconds.
TEST(MessageDialogCheck, EveryKind) {
  Application->Initialize();
  Application->OnException = ReportError;
  CheckCompletionNotice();
  CheckSearchNotice();
  CheckQuestion();
  CheckEmptySetAndCustom();
  CheckClipboardAndHelp();
  CheckErrorReport();
  CheckClipboardFailure();
}
