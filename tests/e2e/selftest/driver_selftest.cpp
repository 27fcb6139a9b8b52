// The driver checked against the fixture program: every capability the end-to-end scenarios
// rely on, under the same Wine set-up they run in.
#include <cstdio>

#include "tests/e2e/driver/driver.h"
#include "tests/e2e/selftest/fixture.h"

using namespace e2e;

namespace {

// The fixture's window, launched and painted; stops the scenario when it does not appear.
struct FixtureWindow {
  Process process = Process::Launch("fixture.exe");
  HWND hwnd = WaitWindow(process.Id(), fixture::kClassName, fixture::kCaption);

  FixtureWindow() { E2E_REQUIRE(hwnd != nullptr); }
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
    E2E_CHECK_EQ(process.WaitExit(), std::optional<DWORD>(code));
  }
};

}  // namespace

// ---- Processes ------------------------------------------------------------------------------

E2E_SCENARIO(exit_code) {
  Process p = Process::Launch("fixture.exe", {"exit", "7"});
  E2E_REQUIRE(p.Started());
  E2E_CHECK_EQ(p.WaitExit(), std::optional<DWORD>(7));
}

E2E_SCENARIO(arguments_quoted) {
  std::vector<std::string> args{"argcheck"};
  args.insert(args.end(), std::begin(fixture::kArgs), std::end(fixture::kArgs));
  Process p = Process::Launch("fixture.exe", args);
  E2E_REQUIRE(p.Started());
  E2E_CHECK_EQ(p.WaitExit(), std::optional<DWORD>(0));
}

E2E_SCENARIO(current_folder) {
  Process p = Process::Launch("fixture.exe", {"cwd", "C:\\windows"}, "C:\\windows");
  E2E_REQUIRE(p.Started());
  E2E_CHECK_EQ(p.WaitExit(), std::optional<DWORD>(0));
  // And the default: the test program's own folder.
  Process q = Process::Launch("fixture.exe", {"cwd", "C:\\app"});
  E2E_CHECK_EQ(q.WaitExit(), std::optional<DWORD>(0));
}

E2E_SCENARIO(missing_program) {
  Process p = Process::Launch("no-such-program.exe");
  E2E_CHECK(!p.Started());
  E2E_CHECK(!p.WaitExit(100).has_value());
}

E2E_SCENARIO(hung_program_killed) {
  Process p = Process::Launch("fixture.exe", {"hang"});
  E2E_REQUIRE(p.Started());
  E2E_CHECK(!p.WaitExit(500).has_value());
  E2E_CHECK(p.Running());
  p.Kill();
  E2E_CHECK(!p.Running());
  E2E_CHECK_EQ(p.WaitExit(1000), std::optional<DWORD>(9999));
}

// A window shown only while the program runs is seen, however soon after it the program ends;
// a program that shows nothing is counted as such.
E2E_SCENARIO(windows_watched_until_exit) {
  Process flash = Process::Launch("fixture.exe", {"flash", "800"});
  Process quiet = Process::Launch("fixture.exe", {"exit", "0"});
  E2E_REQUIRE(flash.Started() && quiet.Started());
  E2E_CHECK_EQ(CountShowingUntilExit({&flash, &quiet}), 1);
  E2E_CHECK_EQ(flash.WaitExit(0), std::optional<DWORD>(100));
  E2E_CHECK(flash.Windows().empty());
  Process again = Process::Launch("fixture.exe", {"flash", "800"});
  E2E_CHECK_EQ(CountShowingUntilExit({&again}, "NoSuchClass"), 0);
}

// Registered as expected to fail: a scenario that leaves its target running must not pass.
E2E_SCENARIO(leftover_process_fails) {
  Process p = Process::Launch("fixture.exe", {"hang"});
  E2E_CHECK(p.Started());
}

// Registered as expected to fail: one failed check makes the program's exit code non-zero.
E2E_SCENARIO(failed_check_fails) {
  E2E_CHECK_EQ(std::string("a"), std::string("b"));
}

// ---- Waiting and finding --------------------------------------------------------------------

E2E_SCENARIO(wait_until_bounded) {
  ULONGLONG start = GetTickCount64();
  E2E_CHECK(!WaitUntil([] { return false; }, 300));
  E2E_CHECK(GetTickCount64() - start >= 300);
  int calls = 0;
  E2E_CHECK(WaitUntil([&] { return ++calls == 3; }, 5000));
  E2E_CHECK_EQ(calls, 3);
}

E2E_SCENARIO(find_window) {
  FixtureWindow w;
  E2E_CHECK_EQ(ClassName(w.hwnd), std::string(fixture::kClassName));
  E2E_CHECK_EQ(Text(w.hwnd), std::string(fixture::kCaption));
  E2E_CHECK_EQ(WaitWindow(w.process.Id(), fixture::kClassName, nullptr, 500), w.hwnd);
  E2E_CHECK_EQ(WaitWindow(w.process.Id(), nullptr, fixture::kCaption, 500), w.hwnd);
  // Near misses: another caption, another class, another process.
  E2E_CHECK(WaitWindow(w.process.Id(), fixture::kClassName, "フィクスチャ", 300) == nullptr);
  E2E_CHECK(WaitWindow(w.process.Id(), "Other", fixture::kCaption, 300) == nullptr);
  E2E_CHECK(WaitWindow(GetCurrentProcessId(), fixture::kClassName, nullptr, 300) == nullptr);
  E2E_CHECK_EQ(w.process.Windows().empty(), false);
  w.CloseAndExpect(100);
  E2E_CHECK(WaitGone(w.hwnd));
}

E2E_SCENARIO(controls_by_name_class_and_text) {
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
    if (!E2E_CHECK(h != nullptr)) continue;
    E2E_CHECK_EQ(ControlName(h), std::string(r.name));
    E2E_CHECK_EQ(Text(h), std::string(r.text));
    E2E_CHECK(lstrcmpiA(ClassName(h).c_str(), r.cls) == 0);
    if (*r.text) E2E_CHECK_EQ(FindChild(w.hwnd, nullptr, r.text), h);
  }
  E2E_CHECK(FindControl(w.hwnd, "Button4") == nullptr);
  E2E_CHECK(FindControl(w.hwnd, "button1") == nullptr);
  E2E_CHECK(FindChild(w.hwnd, "Edit", "ラベル") == nullptr);
  E2E_CHECK_EQ(ControlName(w.hwnd), std::string());
  // Creation order.
  std::vector<HWND> kids = Children(w.hwnd);
  E2E_REQUIRE(kids.size() == 6);
  E2E_CHECK_EQ(ControlName(kids.front()), std::string("Button1"));
  E2E_CHECK_EQ(ControlName(kids.back()), std::string("Label2"));
  w.CloseAndExpect(100);
}

E2E_SCENARIO(rectangles_and_states) {
  FixtureWindow w;
  RECT client = ClientRect(w.hwnd);
  E2E_CHECK_EQ(Show(client), Show(RECT{0, 0, fixture::kClientWidth, fixture::kClientHeight}));
  HWND b1 = w.Control("Button1");
  E2E_CHECK_EQ(Show(RectInParent(b1)), Show(fixture::kButton1Rect));
  E2E_CHECK_EQ(Show(RectInParent(w.Control("Edit1"))), Show(fixture::kEdit1Rect));
  // Screen rectangles agree with client-relative ones.
  RECT area = ClientScreenRect(w.hwnd);
  RECT screen = ScreenRect(b1);
  E2E_CHECK_EQ(screen.left - area.left, fixture::kButton1Rect.left);
  E2E_CHECK_EQ(screen.top - area.top, fixture::kButton1Rect.top);
  E2E_CHECK_EQ(Width(screen), Width(fixture::kButton1Rect));
  E2E_CHECK_EQ(Height(screen), Height(fixture::kButton1Rect));
  E2E_CHECK_EQ(Show(RectInParent(w.hwnd)), Show(ScreenRect(w.hwnd)));
  E2E_CHECK_EQ(ScreenRect(w.hwnd).left, fixture::kLeft);
  // Enabled and visible.
  E2E_CHECK(IsEnabled(b1) && IsVisible(b1));
  E2E_CHECK(!IsEnabled(w.Control("Button3")) && IsVisible(w.Control("Button3")));
  E2E_CHECK(IsEnabled(w.Control("Label2")) && !IsVisible(w.Control("Label2")));
  w.CloseAndExpect(100);
}

// ---- Input ----------------------------------------------------------------------------------

E2E_SCENARIO(focus_and_tab_order) {
  FixtureWindow w;
  E2E_CHECK(Activate(w.hwnd));
  E2E_CHECK_EQ(ActiveOf(w.hwnd), w.hwnd);
  HWND b1 = w.Control("Button1"), b2 = w.Control("Button2"), e1 = w.Control("Edit1");
  E2E_CHECK(WaitUntil([&] { return FocusOf(w.hwnd) == b1; }));
  // Tab skips the disabled button and the labels; Shift+Tab walks back.
  const std::pair<bool, HWND> steps[] = {{true, b2}, {true, e1}, {true, b1}, {false, e1}, {false, b2}};
  for (const auto& s : steps) {
    s.first ? Tab() : ShiftTab();
    E2E_CHECK(WaitUntil([&] { return FocusOf(w.hwnd) == s.second; }));
  }
  w.CloseAndExpect(100);
}

E2E_SCENARIO(mouse_click_and_bm_click) {
  FixtureWindow w;
  HWND b1 = w.Control("Button1");
  Click(b1);
  w.WaitLabel("押された 1");
  ButtonClick(b1);
  w.WaitLabel("押された 2");
  // A click on a disabled button does nothing.
  Click(w.Control("Button3"));
  Pause(200);
  E2E_CHECK_EQ(w.Label(), std::string("押された 2"));
  w.CloseAndExpect(102);
}

E2E_SCENARIO(keys_enter_escape_alt) {
  FixtureWindow w;
  E2E_REQUIRE(Activate(w.hwnd));
  // Focus on the edit box, so Enter goes to the window rather than pressing a button.
  E2E_REQUIRE(Focus(w.Control("Edit1")));
  Enter();
  w.WaitLabel("エンター");
  Escape();
  w.WaitLabel("エスケープ");
  AltKey('P');
  w.WaitLabel("押された 1");
  w.CloseAndExpect(101);
}

E2E_SCENARIO(typing_and_set_text) {
  FixtureWindow w;
  HWND edit = w.Control("Edit1");
  TypeText(edit, "C:\\Games 1");
  E2E_CHECK(WaitUntil([&] { return Text(edit) == "C:\\Games 1"; }));
  E2E_CHECK_EQ(Text(edit), std::string("C:\\Games 1"));
  // Typing goes on at the caret.
  const std::string japanese = "\\かな漢字ソ\\";
  TypeText(edit, japanese);
  E2E_CHECK(WaitUntil([&] { return Text(edit) == "C:\\Games 1" + japanese; }));
  E2E_CHECK_EQ(Text(edit), "C:\\Games 1" + japanese);
  SetText(edit, "置き換え");
  E2E_CHECK_EQ(Text(edit), std::string("置き換え"));
  w.CloseAndExpect(100);
}

E2E_SCENARIO(clipboard_ctrl_c) {
  FixtureWindow w;
  E2E_CHECK(ClearClipboard());
  E2E_CHECK(!ClipboardText().has_value());
  const std::string text = "コピー\\テスト ソ";
  SetText(w.Control("Edit1"), text);
  E2E_REQUIRE(Activate(w.hwnd));
  CtrlC();
  E2E_CHECK(WaitUntil([&] { return ClipboardText() == std::optional<std::string>(text); }));
  E2E_CHECK_EQ(ClipboardText().value_or("(none)"), text);
  w.CloseAndExpect(100);
}

E2E_SCENARIO(modal_message_box) {
  FixtureWindow w;
  ButtonClick(w.Control("Button2"));
  HWND box = WaitWindow(w.process.Id(), "#32770", "確認");
  E2E_REQUIRE(box != nullptr);
  E2E_CHECK(FindChild(box, "Static", "続けますか？") != nullptr);
  // The owner takes no input while the box is up.
  E2E_CHECK(!IsEnabled(w.hwnd));
  E2E_CHECK(GetAncestor(FocusOf(box), GA_ROOT) == box);
  HWND no = GetDlgItem(box, IDNO);
  E2E_REQUIRE(no != nullptr);
  Click(no);
  E2E_CHECK(WaitGone(box));
  w.WaitLabel("答え 7");
  // Once more, answered from the keyboard this time.
  ButtonClick(w.Control("Button2"));
  box = WaitWindow(w.process.Id(), "#32770", "確認");
  E2E_REQUIRE(box != nullptr);
  E2E_REQUIRE(Activate(box));
  Enter();  // focus starts on the first button, Yes
  E2E_CHECK(WaitGone(box));
  w.WaitLabel("答え 6");
  E2E_CHECK(IsEnabled(w.hwnd));
  w.CloseAndExpect(100);
}

E2E_SCENARIO(close_with_alt_f4) {
  FixtureWindow w;
  ButtonClick(w.Control("Button1"));
  w.WaitLabel("押された 1");
  E2E_REQUIRE(Activate(w.hwnd));
  AltF4();
  E2E_CHECK_EQ(w.process.WaitExit(), std::optional<DWORD>(101));
}

// ---- Pixels ---------------------------------------------------------------------------------

E2E_SCENARIO(capture_pixels) {
  FixtureWindow w;
  Bitmap client = CaptureClient(w.hwnd);
  E2E_REQUIRE(!client.Empty());
  E2E_CHECK_EQ(client.width, fixture::kClientWidth);
  E2E_CHECK_EQ(client.height, fixture::kClientHeight);
  const RECT& p = fixture::kPatchRect;
  const POINT inside[] = {{p.left, p.top}, {p.right - 1, p.bottom - 1}, {(p.left + p.right) / 2, (p.top + p.bottom) / 2}};
  for (POINT pt : inside) E2E_CHECK_EQ(client.Pixel(pt.x, pt.y), fixture::kPatchColor);
  E2E_CHECK_EQ(client.Pixel(p.left - 1, p.top), GetSysColor(COLOR_BTNFACE));
  E2E_CHECK_EQ(client.Pixel(p.right, p.bottom), GetSysColor(COLOR_BTNFACE));
  E2E_CHECK_EQ(client.Pixel(-1, 0), CLR_INVALID);
  E2E_CHECK_EQ(client.Pixel(0, fixture::kClientHeight), CLR_INVALID);

  // The whole window: the client area sits inside the frame.
  Bitmap whole = Capture(w.hwnd);
  RECT frame = ScreenRect(w.hwnd), area = ClientScreenRect(w.hwnd);
  E2E_CHECK_EQ(whole.width, Width(frame));
  E2E_CHECK_EQ(whole.Pixel(area.left - frame.left + p.left, area.top - frame.top + p.top),
               fixture::kPatchColor);

  // A saved picture has the size a 24-bit BMP of that window must have.
  const std::string path = AppDir() + "capture.bmp";
  E2E_REQUIRE(client.SaveBmp(path));
  WIN32_FILE_ATTRIBUTE_DATA attr{};
  E2E_REQUIRE(GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &attr));
  const DWORD stride = (fixture::kClientWidth * 3 + 3) & ~3u;
  E2E_CHECK_EQ(attr.nFileSizeLow, 54 + stride * fixture::kClientHeight);
  w.CloseAndExpect(100);
}

int main(int argc, char** argv) { return RunScenarios(argc, argv); }
