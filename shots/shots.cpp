// Pictures of the program's windows for the documentation: each scenario brings one window up,
// saves it as NAME.bmp into the folder named by E2E_SHOTS (default: beside this program) and
// closes it again. scripts/screenshots runs them and converts the pictures to PNG. The windows
// come from SETUP.exe, reached as a player reaches them; only a dialog SETUP.exe never shows
// comes from the test host dialog_host.
#include <cstdlib>

#include "tests/setup/setup_fixture.h"

using namespace setup_test;

namespace {

std::string ShotsDir() {
  const char* dir = std::getenv("E2E_SHOTS");
  std::string s = dir && *dir ? dir : AppDir();
  if (s.back() != '\\' && s.back() != '/') s += '\\';
  return s;
}

// Saves the window as it is on the screen.
void Shoot(HWND hwnd, const char* name) {
  // Without a window manager Wine can leave the active window's caption drawn inactive.
  DWORD_PTR ignored = 0;
  SendMessageTimeoutA(hwnd, WM_NCACTIVATE, TRUE, 0, SMTO_ABORTIFHUNG, 3000, &ignored);
  Bitmap picture = Capture(hwnd);
  ASSERT_TRUE(!picture.Empty());
  const std::string path = ShotsDir() + name + ".bmp";
  EXPECT_TRUE(picture.SaveBmp(path));
  std::printf("saved %s (%dx%d)\n", path.c_str(), picture.width, picture.height);
}

// Launches `exe` with `args`, waits for a window of `className` (and `caption`), saves it,
// then closes it with its close box and waits for the program to end.
void ShootWindow(const char* name, const char* exe, const std::vector<std::string>& args,
                 const char* className, const char* caption) {
  Process p = Process::Launch(exe, args);
  ASSERT_TRUE(p.Started());
  HWND hwnd = WaitWindow(p.Id(), className, caption);
  ASSERT_TRUE(hwnd != nullptr);
  Activate(hwnd);
  Shoot(hwnd, name);
  CloseBox(hwnd);
  if (!p.WaitExit(5000)) p.Kill();
}

}  // namespace

// ---- SETUP.exe ------------------------------------------------------------------------------

namespace {

// SETUP.exe started in currentDir with no folder recorded: its finder, then its folder chooser.
HWND OpenChooser(Process& p, const std::string& currentDir) {
  DeleteGameDir();
  p = Process::Launch("SETUP.exe", {}, currentDir);
  HWND finder = WaitFinder(p);
  E2E_ASSERT(finder != nullptr);
  ButtonClick(Control(finder, "Button2"));
  HWND chooser = WaitChooser(p);
  E2E_ASSERT(chooser != nullptr);
  return chooser;
}

// Closes the chooser and leaves the finder: with no folder recorded, the program ends.
void LeaveChooser(Process& p, HWND chooser) {
  CloseBox(chooser);
  EXPECT_TRUE(WaitGone(chooser));
  HWND finder = WaitFinder(p);
  if (finder) ButtonClick(Control(finder, "Button3"));
  if (!p.WaitExit(5000)) p.Kill();
}

}  // namespace

// Opened in C:\windows, so that its lists show folders of every kind.
TEST(Shots, folder_chooser) {
  Process p;
  HWND chooser = OpenChooser(p, "C:\\windows");
  Activate(chooser);
  Shoot(chooser, "folder_chooser");
  LeaveChooser(p, chooser);
}

TEST(Shots, message_create_folder) {
  Process p;
  HWND chooser = OpenChooser(p, "C:\\app");
  SetText(Control(chooser, "DirEdit"), "C:\\Games\\VELDRAN");
  ButtonClick(Control(chooser, "OKButton"));
  HWND question = WaitWindow(p.Id(), "TMessageForm", "確認");
  ASSERT_TRUE(question != nullptr);
  Activate(question);
  Shoot(question, "message_create_folder");
  ButtonClick(Control(question, "No"));
  EXPECT_TRUE(WaitGone(question));
  LeaveChooser(p, chooser);
}

// A sweep of a machine that holds no game.
TEST(Shots, message_search_failed) {
  DeleteGameDir();
  Process p = Process::Launch("SETUP.exe");
  HWND finder = WaitFinder(p);
  ASSERT_TRUE(finder != nullptr);
  ButtonClick(Control(finder, "Button1"));
  HWND notice = WaitWindow(p.Id(), "TMessageForm", "情報", 120000);
  ASSERT_TRUE(notice != nullptr);
  Shoot(notice, "message_search_failed");
  ButtonClick(Control(notice, "Abort"));
  EXPECT_TRUE(WaitGone(notice));
  ButtonClick(Control(finder, "Button3"));
  if (!p.WaitExit(5000)) p.Kill();
}

TEST(Shots, message_completion) {
  CreateDirectoryA("C:\\Game", nullptr);
  Process p = LaunchWithGameDir("C:\\Game\\");
  HWND notice = UpdateToNotice(p);
  ASSERT_TRUE(notice != nullptr);
  Shoot(notice, "message_completion");
  ButtonClick(Control(notice, "OK"));
  if (!p.WaitExit(5000)) p.Kill();
}

// The update into a recorded folder that is gone.
TEST(Shots, error_report) {
  auto [p, main] = StartWithGameDir("C:\\Games\\VELDRAN\\");
  ASSERT_TRUE(main != nullptr);
  ButtonClick(Control(main, "Button1"));
  HWND box = nullptr;
  WaitErrorBox(p, &box);
  ASSERT_TRUE(box != nullptr);
  Shoot(box, "error_report");
  DismissBox(box);
  CloseBox(main);
  if (!p.WaitExit(5000)) p.Kill();
}

// ---- A dialog SETUP.exe never shows, through the test host ----------------------------------

TEST(Shots, message_warning) {
  ShootWindow("message_warning", "dialog_host.exe", {"message", "警告の例です。", "Warning", "Yes,No,Cancel", "0"},
              "TMessageForm", nullptr);
}
