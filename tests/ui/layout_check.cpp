// Brings up a form from a layout table under Wine and checks what the platform sees: window
// class, caption, control names, positions, fonts, handler order, and the modal loop's keys.
#include <windows.h>

#include <cstdio>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "base/failure.h"
#include "ui/win32/application.h"
#include "ui/win32/form.h"

namespace {

// What reached the application's failure sink.
std::vector<std::string> g_reported;

template <typename T>
void CheckEq(T got, T want, const char* what) {
  EXPECT_EQ(got, want) << what;
}

std::string NameProperty(HWND window) {
  auto atom = static_cast<ATOM>(reinterpret_cast<UINT_PTR>(GetPropA(window, "ControlName")));
  char name[64] = {};
  if (atom) GlobalGetAtomNameA(atom, name, sizeof name);
  return name;
}

RECT ClientBounds(HWND window) {
  RECT r{};
  GetWindowRect(window, &r);
  MapWindowPoints(nullptr, GetParent(window), reinterpret_cast<POINT*>(&r), 2);
  return r;
}

// A showing that never ends is a failure too: after 10 s the watchdog closes the active window.
void CALLBACK Watchdog(HWND, UINT, UINT_PTR id, DWORD) {
  KillTimer(nullptr, id);
  std::printf("watchdog: a modal showing did not end\n");
  PostMessageA(GetActiveWindow(), WM_CLOSE, 0, 0);
}

int Modal(TForm& form) {
  UINT_PTR timer = SetTimer(nullptr, 0, 10000, Watchdog);
  int result = form.ShowModal();
  KillTimer(nullptr, timer);
  return result;
}

class TCheckForm : public TForm {
 public:
  TCheckForm();

  void FormCreate() { ++creates; }
  void FormShow() {
    ++shows;
    visibleDuringShow = IsWindowVisible(Handle()) != FALSE;
  }
  void Button1Click() {
    ++clicks1;
    focusAtClick = GetFocus();
    visibleAtClick = IsWindowVisible(Handle()) != FALSE;
  }
  void Button2Click() { ++clicks2; }
  void FailClick() {
    Close();  // taken when control is back in the modal loop
    throw EAbort();
  }

  TLabel* Label1;
  TButton* Button1;
  TButton* Button2;
  TButton* Button3;
  TLabel* Label2;
  TEdit* Edit1;
  TImage* Image1;
  TListBox* List1;
  TComboBox* Combo1;

  int creates = 0, shows = 0, clicks1 = 0, clicks2 = 0;
  bool visibleDuringShow = true;
  HWND focusAtClick = nullptr;
  bool visibleAtClick = false;
};

// clang-format off
const TLayoutRow<TCheckForm> kLayout[] = {
  // Field                       Name      Left  Top  Width  Height   Caption                  Tab   On click
  {Field<&TCheckForm::Label1>,  "Label1",     8,  16,   399,     12, "インストール先フォルダ",  -1, nullptr},
  {Field<&TCheckForm::Button1>, "Button1",    8, 112,    89,     33, "自動検索",                 0, &TCheckForm::Button1Click},
  {Field<&TCheckForm::Button2>, "Button2",  120, 112,    91,     33, "手動(&B)",                 1, &TCheckForm::Button2Click},
  {Field<&TCheckForm::Button3>, "Button3",  328, 112,    81,     33, "終了",                     2, &TCheckForm::FailClick},
  {Field<&TCheckForm::Label2>,  "Label2",   300, 150,     0,      0, "名前(&L):",               -1, nullptr},
  {Field<&TCheckForm::Edit1>,   "Edit1",      8, 150,   200,     20, "C:\\ソフト",               3, nullptr},
  {Field<&TCheckForm::Image1>,  "Image1",   220, 150,    64,     32, nullptr,                   -1, nullptr},
  {Field<&TCheckForm::List1>,   "List1",      8, 180,   120,     40, nullptr,                    4, nullptr},
  {Field<&TCheckForm::Combo1>,  "Combo1",   140, 180,   120,     19, nullptr,                    5, nullptr},
};
// clang-format on

TCheckForm::TCheckForm()
    : TForm(TFormSpec{"TCheckForm", OwnText("インストール先不明"), TBorderStyle::Dialog, 100, 80, 418, 230, true}) {
  CreateControls(this, kLayout);
  OnCreate = [this] { FormCreate(); };
  OnShow = [this] { FormShow(); };
}

TCheckForm* CheckForm = nullptr;

// A second form: its creation handler fails, and its button probes the modal state.
class TOtherForm : public TForm {
 public:
  TOtherForm();
  void FormCreate() {
    ++creates;
    throw EAbort();
  }
  void ProbeClick() {
    mainDisabled = !IsWindowEnabled(CheckForm->Handle());
    // A close request taken while the handler lets messages through ends the showing only
    // once the handler has returned to the modal loop.
    PostMessageA(Handle(), WM_CLOSE, 0, 0);
    Application->ProcessMessages();
    visibleAfterClose = Visible();
    resultInHandler = ModalResult();
  }
  TButton* Probe;
  int creates = 0, resultInHandler = -1;
  bool mainDisabled = false, visibleAfterClose = false;
};

const TLayoutRow<TOtherForm> kOtherLayout[] = {
  {Field<&TOtherForm::Probe>, "Probe", 8, 8, 80, 25, "Probe", 0, &TOtherForm::ProbeClick},
};

TOtherForm::TOtherForm()
    : TForm(TFormSpec{"TOtherForm", OwnText("other"), TBorderStyle::Sizeable, 10, 10, 200, 100, false}) {
  CreateControls(this, kOtherLayout);
  OnCreate = [this] { FormCreate(); };
}

TOtherForm* OtherForm = nullptr;

void CheckLayout(TCheckForm& form) {
  HWND window = FindWindowA("TCheckForm", "インストール先不明");
  EXPECT_TRUE(window == form.Handle()) << "window found by class and caption";
  CheckEq(form.ClientWidth(), 418, "client width");
  CheckEq(form.ClientHeight(), 230, "client height");
  EXPECT_TRUE(GetWindow(window, GW_OWNER) == Application->Handle()) << "owned by the application window";

  for (const auto& control : form.Controls()) {
    EXPECT_TRUE(NameProperty(control->Handle()) == control->Name()) << "ControlName property";
    EXPECT_TRUE(GetParent(control->Handle()) == window) << "control is a child window";
  }
  HWND button = form.Button1->Handle();
  RECT r = ClientBounds(button);
  CheckEq(r.left, 8L, "Button1 left");
  CheckEq(r.top, 112L, "Button1 top");
  CheckEq(r.right - r.left, 89L, "Button1 width");
  CheckEq(r.bottom - r.top, 33L, "Button1 height");
  char text[64] = {};
  GetWindowTextA(button, text, sizeof text);
  EXPECT_TRUE(std::string(text) == "自動検索") << "Button1 caption";

  LOGFONTA font{};
  GetObjectA(reinterpret_cast<HFONT>(SendMessageA(button, WM_GETFONT, 0, 0)), sizeof font, &font);
  EXPECT_TRUE(std::string(font.lfFaceName) == "ＭＳ Ｐゴシック") << "button font face";
  CheckEq(font.lfHeight, -12L, "button font height");
  CheckEq(static_cast<int>(font.lfCharSet), SHIFTJIS_CHARSET, "button font charset");

  TLabel* label = form.Label1;
  CheckEq(label->Left(), 8, "Label1 left");
  CheckEq(label->Top(), 16, "Label1 top");
  TEXTMETRICA metrics{};
  {
    HDC dc = GetDC(nullptr);
    HGDIOBJ old = SelectObject(dc, form.Font());
    GetTextMetricsA(dc, &metrics);
    SelectObject(dc, old);
    ReleaseDC(nullptr, dc);
  }
  const int lineHeight = static_cast<int>(metrics.tmHeight);
  CheckEq(label->Height(), lineHeight, "Label1 sized to one line of its text");
  EXPECT_TRUE(label->Width() > 40 && label->Width() < 399) << "Label1 width follows its text";
  int before = label->Width();
  label->SetCaption(OwnText("インストール先フォルダ・インストール先フォルダ"));
  EXPECT_TRUE(label->Width() > before) << "Label1 grows with its text";
  CheckEq(label->Height(), lineHeight, "Label1 does not wrap");

  TComboBox* combo = form.Combo1;
  // The platform keeps the closed box at least a line of the font high.
  EXPECT_TRUE(combo->Height() >= 19 && combo->Height() <= lineHeight + 8) << "combo box closed height";
  combo->AddItem(SystemText("c: [data]"));
  combo->AddItem(SystemText("d: [game]"));
  combo->SetItemIndex(1);
  CheckEq(combo->Count(), 2, "combo count");
  EXPECT_TRUE(combo->ItemText(1) == "d: [game]") << "combo text";
  CheckEq(combo->ItemIndex(), 1, "combo index");

  TListBox* list = form.List1;
  list->SetItemHeight(17);
  list->AddItem(SystemText("C:\\"), nullptr, 0);
  list->AddItem(SystemText("ソフト"), nullptr, 8);
  CheckEq(list->Count(), 2, "list count");
  EXPECT_TRUE(list->ItemText(1) == "ソフト") << "list text";

  TCanvas& canvas = form.Image1->Canvas();
  CheckEq(canvas.Width(), 64, "canvas width follows the control");
  canvas.Brush.Color = RGB(0, 0, 200);
  canvas.FillRect(0, 3, 64, 4);
  CheckEq(canvas.Pixel(10, 3), static_cast<COLORREF>(RGB(0, 0, 200)), "filled row");
  CheckEq(canvas.Pixel(10, 4), static_cast<COLORREF>(RGB(255, 255, 255)), "row below untouched");
  canvas.Brush.Style = TBrushStyle::Clear;
  canvas.Font.Height = 16;
  canvas.Font.Color = RGB(255, 255, 255);
  canvas.TextOut(0, 0, OwnText("あ"));
}

void CheckModal(TCheckForm& form) {
  HWND b1 = form.Button1->Handle();
  form.Button1->ModalResult = mrOk;

  // Enter on the focused first tab stop presses it.
  PostMessageA(b1, WM_KEYDOWN, VK_RETURN, 0);
  CheckEq(Modal(form), static_cast<int>(mrOk), "Enter presses the focused button");
  CheckEq(form.clicks1, 1, "Button1 handler ran once");
  CheckEq(form.shows, 1, "OnShow ran at the showing");
  EXPECT_TRUE(!form.visibleDuringShow) << "OnShow runs before the window is visible";
  EXPECT_TRUE(!form.Visible()) << "hidden after the modal showing";

  // The close box gives Cancel.
  PostMessageA(form.Handle(), WM_CLOSE, 0, 0);
  CheckEq(Modal(form), static_cast<int>(mrCancel), "close box gives 2");

  // Tab moves to Button2; Enter presses it; Escape presses the cancel button.
  form.Button2->SetCancel(true);
  form.Button2->ModalResult = mrNo;
  PostMessageA(b1, WM_KEYDOWN, VK_TAB, 0);
  PostMessageA(b1, WM_KEYDOWN, VK_ESCAPE, 0);
  CheckEq(Modal(form), static_cast<int>(mrNo), "Escape presses the cancel button");
  CheckEq(form.clicks2, 1, "Button2 handler ran");

  // Access key (Alt+B) presses the button marked "&B".
  PostMessageA(b1, WM_SYSCHAR, 'b', 0);
  CheckEq(Modal(form), static_cast<int>(mrNo), "access key presses its button");
  CheckEq(form.clicks2, 2, "Button2 handler ran again");

  // A failure in a handler stays inside the layer; the close request made before it is taken.
  PostMessageA(b1, WM_KEYDOWN, VK_TAB, 0);
  PostMessageA(b1, WM_KEYDOWN, VK_TAB, 0);
  PostMessageA(b1, WM_KEYDOWN, VK_RETURN, 0);
  CheckEq(Modal(form), static_cast<int>(mrCancel), "close request inside a failing handler is taken");

  // A label's access key moves the focus to the next tab stop; Enter off a button presses the
  // default button.
  form.Button1->SetDefault(true);
  PostMessageA(b1, WM_SYSCHAR, 'l', 0);
  PostMessageA(b1, WM_KEYDOWN, VK_RETURN, 0);
  int clicks = form.clicks1;
  CheckEq(Modal(form), static_cast<int>(mrOk), "Enter in the edit box presses the default button");
  CheckEq(form.clicks1, clicks + 1, "default button pressed once");
  EXPECT_TRUE(form.focusAtClick == form.Edit1->Handle()) << "label access key focused the edit box";

  // A failing show handler is reported and the window is shown all the same.
  TNotifyEvent onShow = form.OnShow;
  form.OnShow = [] { throw EAbort(); };
  form.visibleAtClick = false;
  PostMessageA(b1, WM_KEYDOWN, VK_RETURN, 0);
  CheckEq(Modal(form), static_cast<int>(mrOk), "showing goes on after a failing OnShow");
  EXPECT_TRUE(form.visibleAtClick) << "window visible after a failing OnShow";
  form.OnShow = onShow;
}

void CheckSecondForm() {
  Application->CreateForm(OtherForm);
  EXPECT_TRUE(OtherForm != nullptr && OtherForm->Handle() != nullptr) << "a failing OnCreate leaves the form created";
  CheckEq(OtherForm->creates, 1, "OnCreate of the second form ran");
  EXPECT_TRUE(Application->MainForm() == CheckForm) << "the main form stays the first one";
  CheckEq(OtherForm->Width(), 200, "outer width as designed");

  CheckForm->Show();
  EXPECT_TRUE(CheckForm->Visible()) << "main form shown";
  PostMessageA(OtherForm->Handle(), WM_KEYDOWN, VK_RETURN, 0);
  CheckEq(Modal(*OtherForm), static_cast<int>(mrCancel), "close request during a handler gives 2");
  EXPECT_TRUE(OtherForm->mainDisabled) << "other windows disabled during the modal showing";
  EXPECT_TRUE(IsWindowEnabled(CheckForm->Handle()) != FALSE) << "other windows enabled again afterwards";
  EXPECT_TRUE(OtherForm->visibleAfterClose) << "the showing goes on until the handler returns";
  CheckEq(OtherForm->resultInHandler, static_cast<int>(mrCancel), "close request recorded as result 2");
  EXPECT_TRUE(GetActiveWindow() == CheckForm->Handle()) << "the previously active window is active again";
  CheckForm->Hide();

  // Scaling for another screen resolution: positions, sizes, client area and font.
  int clientWidth = OtherForm->ClientWidth(), clientHeight = OtherForm->ClientHeight();
  OtherForm->ScaleBy(120, 96);
  TButton* probe = OtherForm->Probe;
  CheckEq(probe->Left(), 10, "scaled left");
  CheckEq(probe->Top(), 10, "scaled top");
  CheckEq(probe->Width(), 100, "scaled width");
  CheckEq(probe->Height(), 31, "scaled height (31.25 rounds down)");
  CheckEq(OtherForm->ClientWidth(), MulDiv(clientWidth, 120, 96), "scaled client width");
  CheckEq(OtherForm->ClientHeight(), MulDiv(clientHeight, 120, 96), "scaled client height");
  LOGFONTA font{};
  GetObjectA(reinterpret_cast<HFONT>(SendMessageA(probe->Handle(), WM_GETFONT, 0, 0)), sizeof font, &font);
  CheckEq(font.lfHeight, -15L, "scaled font height");
}

// A failure of any kind thrown by a handler reaches the sink once, as a failure of the family.
void CheckForeignFailuresInHandlers() {
  struct Case {
    TNotifyEvent raise;
    const char* message;
  };
  const Case cases[] = {
      {[] { throw std::bad_alloc(); }, "メモリが不足しています"},
      {[] { throw std::runtime_error("not for the user"); }, "予期しないエラーが発生しました"},
      {[] { throw 7; }, "予期しないエラーが発生しました"},
  };
  TButton* probe = OtherForm->Probe;
  TNotifyEvent saved = probe->OnClick;
  for (const Case& c : cases) {
    g_reported.clear();
    probe->OnClick = c.raise;
    SendMessageA(OtherForm->Handle(), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(probe->Handle()), BN_CLICKED),
                 reinterpret_cast<LPARAM>(probe->Handle()));
    EXPECT_TRUE(g_reported.size() == 1 && g_reported[0] == c.message)
        << "handler failure reported once as " << c.message;
  }
  probe->OnClick = saved;
}

// A dialog frame's system menu holds Move and Close only; a sizeable frame keeps the rest.
void CheckSystemMenus() {
  auto has = [](TForm& form, UINT command) {
    return GetMenuState(GetSystemMenu(form.Handle(), FALSE), command, MF_BYCOMMAND) != static_cast<UINT>(-1);
  };
  for (UINT command : {SC_RESTORE, SC_SIZE, SC_MINIMIZE, SC_MAXIMIZE}) {
    EXPECT_TRUE(!has(*CheckForm, command)) << "dialog system menu without " + std::to_string(command);
    EXPECT_TRUE(has(*OtherForm, command)) << "sizeable system menu with " + std::to_string(command);
  }
  EXPECT_TRUE(has(*CheckForm, SC_MOVE) && has(*CheckForm, SC_CLOSE)) << "dialog system menu keeps Move and Close";
}

// No help file ships: a help request asks for its context and only beeps.
void CheckHelpWithoutFile() {
  EXPECT_TRUE(Application->HelpFile.empty()) << "no help file by default";
  EXPECT_TRUE(!Application->HelpContext(1000)) << "a help request without a file shows nothing";
  CheckEq(Application->LastHelpContext(), 1000, "the context asked for");
}

void CheckRunEndsWhenTheMainFormCloses() {
  int showsBefore = CheckForm->shows;
  CheckForm->OnShow = [] {
    ++CheckForm->shows;
    CheckForm->Close();
  };
  Application->Run();
  CheckEq(CheckForm->shows, showsBefore + 1, "Run shows the main form");
  EXPECT_TRUE(Application->Terminated()) << "closing the main form ends the loop";
  EXPECT_TRUE(!CheckForm->Visible()) << "a main form closed by its show handler is never displayed";
}

}  // namespace

// One test: the steps share the application and its forms, in this order.
TEST(UiLayout, FormFromItsTable) {
  Application->Initialize();
  Application->OnException = [](const Exception& failure) { g_reported.push_back(failure.Message()); };
  // The first byte is left as it is: "ui_layout_check.exe" keeps its small "u".
  EXPECT_TRUE(Application->Title() == "ui_layout_check") << "title from the executable name";
  Application->CreateForm(CheckForm);
  CheckEq(CheckForm->creates, 1, "OnCreate ran once at construction");
  CheckEq(static_cast<int>(Application->MainForm() == CheckForm), 1, "first form is the main form");
  CheckLayout(*CheckForm);
  CheckModal(*CheckForm);
  CheckSecondForm();
  CheckForeignFailuresInHandlers();
  CheckSystemMenus();
  CheckHelpWithoutFile();
  CheckRunEndsWhenTheMainFormCloses();
}
