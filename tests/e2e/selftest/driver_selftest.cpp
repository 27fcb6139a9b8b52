// The driver checked against the fixture program: every capability the end-to-end scenarios
// rely on, under the same Wine set-up they run in.
#include <gtest/gtest-spi.h>

#include <cstdio>

#include "tests/e2e/driver/driver.h"
#include "tests/e2e/selftest/fixture.h"

using namespace e2e;

namespace {

// The fixture's window, launched and painted; stops the scenario when it does not appear.
struct FixtureWindow {
  Process process = Process::Launch("fixture.exe");
  HWND hwnd = WaitWindow(process.Id(), fixture::kClassName, fixture::kCaption);

  FixtureWindow() { E2E_ASSERT(hwnd != nullptr); }
  HWND Control(const char* name) {
    HWND h = FindControl(hwnd, name);
    if (!h) Fail(__FILE__, __LINE__, std::string("no control named ") + name);
    if (!h) throw ScenarioStopped{};
    return h;
  }
  std::string Label() { return Text(Control("Label1")); }
  bool WaitLabel(const std::string& want) {
    bool ok = WaitUntil([&] { return Label() == want; });
    if (!ok) Fail(__FILE__, __LINE__, "Label1 is " + Show(Label()) + ", expected " + Show(want));
    return ok;
  }
  // Closes through the close box and checks the exit code (100 + the clicks counted).
  void CloseAndExpect(DWORD code) {
    CloseBox(hwnd);
    EXPECT_EQ(process.WaitExit(), std::optional<DWORD>(code));
  }
};

}  // namespace

// ---- Processes ------------------------------------------------------------------------------

TEST(DriverSelftest, exit_code) {
  Process p = Process::Launch("fixture.exe", {"exit", "7"});
  ASSERT_TRUE(p.Started());
  EXPECT_EQ(p.WaitExit(), std::optional<DWORD>(7));
}

TEST(DriverSelftest, arguments_quoted) {
  std::vector<std::string> args{"argcheck"};
  args.insert(args.end(), std::begin(fixture::kArgs), std::end(fixture::kArgs));
  Process p = Process::Launch("fixture.exe", args);
  ASSERT_TRUE(p.Started());
  EXPECT_EQ(p.WaitExit(), std::optional<DWORD>(0));
}

TEST(DriverSelftest, current_folder) {
  Process p = Process::Launch("fixture.exe", {"cwd", "C:\\windows"}, "C:\\windows");
  ASSERT_TRUE(p.Started());
  EXPECT_EQ(p.WaitExit(), std::optional<DWORD>(0));
  // And the default: the test program's own folder.
  Process q = Process::Launch("fixture.exe", {"cwd", "C:\\app"});
  EXPECT_EQ(q.WaitExit(), std::optional<DWORD>(0));
}

TEST(DriverSelftest, missing_program) {
  Process p = Process::Launch("no-such-program.exe");
  EXPECT_TRUE(!p.Started());
  EXPECT_TRUE(!p.WaitExit(100).has_value());
}

TEST(DriverSelftest, hung_program_killed) {
  Process p = Process::Launch("fixture.exe", {"hang"});
  ASSERT_TRUE(p.Started());
  EXPECT_TRUE(!p.WaitExit(500).has_value());
  EXPECT_TRUE(p.Running());
  p.Kill();
  EXPECT_TRUE(!p.Running());
  EXPECT_EQ(p.WaitExit(1000), std::optional<DWORD>(9999));
}

// A window shown only while the program runs is seen, however soon after it the program ends;
// a program that shows nothing is counted as such.
TEST(DriverSelftest, windows_watched_until_exit) {
  Process flash = Process::Launch("fixture.exe", {"flash", "800"});
  Process quiet = Process::Launch("fixture.exe", {"exit", "0"});
  ASSERT_TRUE(flash.Started() && quiet.Started());
  EXPECT_EQ(CountShowingUntilExit({&flash, &quiet}), 1);
  EXPECT_EQ(flash.WaitExit(0), std::optional<DWORD>(100));
  EXPECT_TRUE(flash.Windows().empty());
  Process again = Process::Launch("fixture.exe", {"flash", "800"});
  EXPECT_EQ(CountShowingUntilExit({&again}, "NoSuchClass"), 0);
}

// A test that leaves its target running must not pass: the driver fails it.
TEST(DriverSelftest, leftover_process_fails) {
  EXPECT_NONFATAL_FAILURE(
      {
        Process p = Process::Launch("fixture.exe", {"hang"});
        EXPECT_TRUE(p.Started());
      },
      "still running");
}

// A failed check, the driver's own included, fails the test.
TEST(DriverSelftest, failed_check_fails) {
  EXPECT_NONFATAL_FAILURE(EXPECT_EQ(std::string("a"), std::string("b")), "");
  EXPECT_NONFATAL_FAILURE(Fail(__FILE__, __LINE__, "a driver failure"), "a driver failure");
}

// ---- Waiting and finding --------------------------------------------------------------------

TEST(DriverSelftest, wait_until_bounded) {
  ULONGLONG start = GetTickCount64();
  EXPECT_TRUE(!WaitUntil([] { return false; }, 300));
  EXPECT_TRUE(GetTickCount64() - start >= 300);
  int calls = 0;
  EXPECT_TRUE(WaitUntil([&] { return ++calls == 3; }, 5000));
  EXPECT_EQ(calls, 3);
}

TEST(DriverSelftest, find_window) {
  FixtureWindow w;
  EXPECT_EQ(ClassName(w.hwnd), std::string(fixture::kClassName));
  EXPECT_EQ(Text(w.hwnd), std::string(fixture::kCaption));
  EXPECT_EQ(WaitWindow(w.process.Id(), fixture::kClassName, nullptr, 500), w.hwnd);
  EXPECT_EQ(WaitWindow(w.process.Id(), nullptr, fixture::kCaption, 500), w.hwnd);
  // Near misses: another caption, another class, another process.
  EXPECT_TRUE(WaitWindow(w.process.Id(), fixture::kClassName, "フィクスチャ", 300) == nullptr);
  EXPECT_TRUE(WaitWindow(w.process.Id(), "Other", fixture::kCaption, 300) == nullptr);
  EXPECT_TRUE(WaitWindow(GetCurrentProcessId(), fixture::kClassName, nullptr, 300) == nullptr);
  EXPECT_EQ(w.process.Windows().empty(), false);
  w.CloseAndExpect(100);
  EXPECT_TRUE(WaitGone(w.hwnd));
}

TEST(DriverSelftest, controls_by_name_class_and_text) {
  FixtureWindow w;
  struct Row {
    const char* name;
    const char* cls;
    const char* text;
  };
  const Row rows[] = {
      {"Button1", "Button", "押す(&P)"}, {"Button2", "Button", "質問(&Q)"},
      {"Button3", "Button", "無効"},     {"Edit1", "Edit", ""},
      {"Label1", "Static", "ラベル"},    {"Label2", "Static", "隠れ"},
  };
  for (const Row& r : rows) {
    HWND h = FindControl(w.hwnd, r.name);
    EXPECT_TRUE(h != nullptr);
    if (!h) continue;
    EXPECT_EQ(ControlName(h), std::string(r.name));
    EXPECT_EQ(Text(h), std::string(r.text));
    EXPECT_TRUE(lstrcmpiA(ClassName(h).c_str(), r.cls) == 0);
    if (*r.text) {
      EXPECT_EQ(FindChild(w.hwnd, nullptr, r.text), h);
    }
  }
  EXPECT_TRUE(FindControl(w.hwnd, "Button4") == nullptr);
  EXPECT_TRUE(FindControl(w.hwnd, "button1") == nullptr);
  EXPECT_TRUE(FindChild(w.hwnd, "Edit", "ラベル") == nullptr);
  EXPECT_EQ(ControlName(w.hwnd), std::string());
  // Creation order.
  std::vector<HWND> kids = Children(w.hwnd);
  ASSERT_TRUE(kids.size() == 6);
  EXPECT_EQ(ControlName(kids.front()), std::string("Button1"));
  EXPECT_EQ(ControlName(kids.back()), std::string("Label2"));
  w.CloseAndExpect(100);
}

TEST(DriverSelftest, rectangles_and_states) {
  FixtureWindow w;
  RECT client = ClientRect(w.hwnd);
  EXPECT_EQ(Show(client), Show(RECT{0, 0, fixture::kClientWidth, fixture::kClientHeight}));
  HWND b1 = w.Control("Button1");
  EXPECT_EQ(Show(RectInParent(b1)), Show(fixture::kButton1Rect));
  EXPECT_EQ(Show(RectInParent(w.Control("Edit1"))), Show(fixture::kEdit1Rect));
  // Screen rectangles agree with client-relative ones.
  RECT area = ClientScreenRect(w.hwnd);
  RECT screen = ScreenRect(b1);
  EXPECT_EQ(screen.left - area.left, fixture::kButton1Rect.left);
  EXPECT_EQ(screen.top - area.top, fixture::kButton1Rect.top);
  EXPECT_EQ(Width(screen), Width(fixture::kButton1Rect));
  EXPECT_EQ(Height(screen), Height(fixture::kButton1Rect));
  EXPECT_EQ(Show(RectInParent(w.hwnd)), Show(ScreenRect(w.hwnd)));
  EXPECT_EQ(ScreenRect(w.hwnd).left, fixture::kLeft);
  // Enabled and visible.
  EXPECT_TRUE(IsEnabled(b1) && IsVisible(b1));
  EXPECT_TRUE(!IsEnabled(w.Control("Button3")) && IsVisible(w.Control("Button3")));
  EXPECT_TRUE(IsEnabled(w.Control("Label2")) && !IsVisible(w.Control("Label2")));
  w.CloseAndExpect(100);
}

// ---- Input ----------------------------------------------------------------------------------

TEST(DriverSelftest, focus_and_tab_order) {
  FixtureWindow w;
  EXPECT_TRUE(Activate(w.hwnd));
  EXPECT_EQ(ActiveOf(w.hwnd), w.hwnd);
  HWND b1 = w.Control("Button1"), b2 = w.Control("Button2"), e1 = w.Control("Edit1");
  EXPECT_TRUE(WaitUntil([&] { return FocusOf(w.hwnd) == b1; }));
  // Tab skips the disabled button and the labels; Shift+Tab walks back.
  const std::pair<bool, HWND> steps[] = {{true, b2}, {true, e1}, {true, b1}, {false, e1}, {false, b2}};
  for (const auto& s : steps) {
    s.first ? Tab() : ShiftTab();
    EXPECT_TRUE(WaitUntil([&] { return FocusOf(w.hwnd) == s.second; }));
  }
  w.CloseAndExpect(100);
}

TEST(DriverSelftest, mouse_click_and_bm_click) {
  FixtureWindow w;
  HWND b1 = w.Control("Button1");
  Click(b1);
  w.WaitLabel("押された 1");
  ButtonClick(b1);
  w.WaitLabel("押された 2");
  // A click on a disabled button does nothing.
  Click(w.Control("Button3"));
  Pause(200);
  EXPECT_EQ(w.Label(), std::string("押された 2"));
  w.CloseAndExpect(102);
}

TEST(DriverSelftest, keys_enter_escape_alt) {
  FixtureWindow w;
  ASSERT_TRUE(Activate(w.hwnd));
  // Focus on the edit box, so Enter goes to the window rather than pressing a button.
  ASSERT_TRUE(Focus(w.Control("Edit1")));
  Enter();
  w.WaitLabel("エンター");
  Escape();
  w.WaitLabel("エスケープ");
  AltKey('P');
  w.WaitLabel("押された 1");
  w.CloseAndExpect(101);
}

TEST(DriverSelftest, typing_and_set_text) {
  FixtureWindow w;
  HWND edit = w.Control("Edit1");
  TypeText(edit, "C:\\Games 1");
  EXPECT_TRUE(WaitUntil([&] { return Text(edit) == "C:\\Games 1"; }));
  EXPECT_EQ(Text(edit), std::string("C:\\Games 1"));
  // Typing goes on at the caret.
  const std::string japanese = "\\かな漢字ソ\\";
  TypeText(edit, japanese);
  EXPECT_TRUE(WaitUntil([&] { return Text(edit) == "C:\\Games 1" + japanese; }));
  EXPECT_EQ(Text(edit), "C:\\Games 1" + japanese);
  SetText(edit, "置き換え");
  EXPECT_EQ(Text(edit), std::string("置き換え"));
  w.CloseAndExpect(100);
}

TEST(DriverSelftest, clipboard_ctrl_c) {
  FixtureWindow w;
  EXPECT_TRUE(ClearClipboard());
  EXPECT_TRUE(!ClipboardText().has_value());
  const std::string text = "コピー\\テスト ソ";
  SetText(w.Control("Edit1"), text);
  ASSERT_TRUE(Activate(w.hwnd));
  CtrlC();
  EXPECT_TRUE(WaitUntil([&] { return ClipboardText() == std::optional<std::string>(text); }));
  EXPECT_EQ(ClipboardText().value_or("(none)"), text);
  w.CloseAndExpect(100);
}

TEST(DriverSelftest, modal_message_box) {
  FixtureWindow w;
  ButtonClick(w.Control("Button2"));
  HWND box = WaitWindow(w.process.Id(), "#32770", "確認");
  ASSERT_TRUE(box != nullptr);
  EXPECT_TRUE(FindChild(box, "Static", "続けますか？") != nullptr);
  // The owner takes no input while the box is up.
  EXPECT_TRUE(!IsEnabled(w.hwnd));
  EXPECT_TRUE(GetAncestor(FocusOf(box), GA_ROOT) == box);
  HWND no = GetDlgItem(box, IDNO);
  ASSERT_TRUE(no != nullptr);
  Click(no);
  EXPECT_TRUE(WaitGone(box));
  w.WaitLabel("答え 7");
  // Once more, answered from the keyboard this time.
  ButtonClick(w.Control("Button2"));
  box = WaitWindow(w.process.Id(), "#32770", "確認");
  ASSERT_TRUE(box != nullptr);
  ASSERT_TRUE(Activate(box));
  Enter();  // focus starts on the first button, Yes
  EXPECT_TRUE(WaitGone(box));
  w.WaitLabel("答え 6");
  EXPECT_TRUE(IsEnabled(w.hwnd));
  w.CloseAndExpect(100);
}

TEST(DriverSelftest, close_with_alt_f4) {
  FixtureWindow w;
  ButtonClick(w.Control("Button1"));
  w.WaitLabel("押された 1");
  ASSERT_TRUE(Activate(w.hwnd));
  AltF4();
  EXPECT_EQ(w.process.WaitExit(), std::optional<DWORD>(101));
}

// ---- Pixels ---------------------------------------------------------------------------------

TEST(DriverSelftest, capture_pixels) {
  FixtureWindow w;
  Bitmap client = CaptureClient(w.hwnd);
  ASSERT_TRUE(!client.Empty());
  EXPECT_EQ(client.width, fixture::kClientWidth);
  EXPECT_EQ(client.height, fixture::kClientHeight);
  const RECT& p = fixture::kPatchRect;
  const POINT inside[] = {{p.left, p.top}, {p.right - 1, p.bottom - 1}, {(p.left + p.right) / 2, (p.top + p.bottom) / 2}};
  for (POINT pt : inside) EXPECT_EQ(client.Pixel(pt.x, pt.y), fixture::kPatchColor);
  EXPECT_EQ(client.Pixel(p.left - 1, p.top), GetSysColor(COLOR_BTNFACE));
  EXPECT_EQ(client.Pixel(p.right, p.bottom), GetSysColor(COLOR_BTNFACE));
  EXPECT_EQ(client.Pixel(-1, 0), CLR_INVALID);
  EXPECT_EQ(client.Pixel(0, fixture::kClientHeight), CLR_INVALID);

  // The whole window: the client area sits inside the frame.
  Bitmap whole = Capture(w.hwnd);
  RECT frame = ScreenRect(w.hwnd), area = ClientScreenRect(w.hwnd);
  EXPECT_EQ(whole.width, Width(frame));
  EXPECT_EQ(whole.Pixel(area.left - frame.left + p.left, area.top - frame.top + p.top),
               fixture::kPatchColor);

  // A saved picture has the size a 24-bit BMP of that window must have.
  const std::string path = AppDir() + "capture.bmp";
  ASSERT_TRUE(client.SaveBmp(path));
  WIN32_FILE_ATTRIBUTE_DATA attr{};
  ASSERT_TRUE(GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &attr));
  const DWORD stride = (fixture::kClientWidth * 3 + 3) & ~3u;
  EXPECT_EQ(attr.nFileSizeLow, 54 + stride * fixture::kClientHeight);
  w.CloseAndExpect(100);
}

