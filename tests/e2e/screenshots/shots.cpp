// Pictures of the program's windows for the documentation: each scenario brings one window up,
// saves it as NAME.bmp into the folder named by E2E_SHOTS (default: beside this program) and
// closes it again. scripts/screenshots runs them and converts the pictures to PNG.
#include <cstdlib>

#include "tests/e2e/driver/driver.h"

using namespace e2e;

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

// ---- Standard dialogs, through the test host ------------------------------------------------

namespace {
void ShootMessage(const char* name, const char* text, const char* kind, const char* buttons) {
  ShootWindow(name, "dialog_host.exe", {"message", text, kind, buttons, "0"}, "TMessageForm", nullptr);
}
}  // namespace

TEST(Shots, message_completion) {
  ShootMessage("message_completion", "アップデート完了しました", "Information", "OK");
}

TEST(Shots, message_search_failed) {
  ShootMessage("message_search_failed", "ＨＤＤ上にアップデート対象を発見できませんでした。",
               "Information", "Abort");
}

TEST(Shots, message_create_folder) {
  ShootMessage("message_create_folder", "指定されたディレクトリが存在しません。作成しますか？",
               "Confirmation", "Yes,No");
}

TEST(Shots, message_warning) {
  ShootMessage("message_warning", "警告の例です。", "Warning", "Yes,No,Cancel");
}

TEST(Shots, error_report) {
  ShootWindow("error_report", "dialog_host.exe",
              {"error", "ファイル C:\\Games\\VELDRAN\\VELDRAN.EXE を作成できません"}, "#32770",
              nullptr);
}

// ---- The folder chooser, through its test host ---------------------------------------------

TEST(Shots, folder_chooser) {
  ShootWindow("folder_chooser", "chooser_host.exe", {"C:\\windows", "7", "0"}, "TSelectDirDlg", nullptr);
}

