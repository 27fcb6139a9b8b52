// A guided first run of SETUP.exe, for the demo and the documentation's pictures: the finder
// comes up, a search is started and aborted, a second search finds the game on drive D:, and
// the update is applied. With E2E_SHOTS set, each step is saved as a BMP into that folder, its
// name marked with the code page where it is not Japanese (setup_main_cp1252).
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "tests/setup/setup_fixture.h"

using namespace setup_test;

namespace {

std::string ShotsDir() {
  const char* dir = std::getenv("E2E_SHOTS");
  if (!dir || !*dir) return std::string();
  std::string s = dir;
  if (s.back() != '\\') s += '\\';
  return s;
}

void Shoot(HWND hwnd, const char* name) {
  const std::string dir = ShotsDir();
  if (dir.empty()) return;
  DWORD_PTR ignored = 0;
  SendMessageTimeoutA(hwnd, WM_NCACTIVATE, TRUE, 0, SMTO_ABORTIFHUNG, 3000, &ignored);
  Pause(200);
  Bitmap picture = Capture(hwnd);
  const std::string file = name + (GetACP() == 932 ? std::string() : "_cp" + std::to_string(GetACP()));
  EXPECT_TRUE(!picture.Empty() && picture.SaveBmp(dir + file + ".bmp"));
  std::printf("picture %s\n", file.c_str());
}

}  // namespace

TEST(DemoTour, tour) {
  DeleteGameDir();
  PlantTree("C:\\Library");

  Process p = Process::Launch("SETUP.exe");
  HWND finder = WaitWindow(p.Id(), "TForm3", "インストール先不明");
  ASSERT_TRUE(finder);
  Shoot(finder, "setup_finder");

  // A search, stopped by the user while it runs.
  HWND button1 = FindControl(finder, "Button1");
  HWND label6 = FindControl(finder, "Label6");
  ButtonClick(button1);
  ASSERT_TRUE(WaitUntil([&] { return Text(label6).rfind("検索中 C:\\\\Library", 0) == 0; }));
  Shoot(finder, "setup_finder_searching");
  ButtonClick(button1);
  HWND notice = WaitWindow(p.Id(), "TMessageForm", "情報", 60000);
  ASSERT_TRUE(notice);
  Shoot(notice, "setup_not_found");
  ButtonClick(FindControl(notice, "Abort"));
  ASSERT_TRUE(WaitGone(notice));
  ASSERT_TRUE(WaitUntil([&] { return Text(button1) == "自動検索"; }));
  Shoot(finder, "setup_finder_after_sweep");

  // A search left to finish: it finds the game on D: and the main window opens.
  ButtonClick(button1);
  HWND main = WaitWindow(p.Id(), "TForm1", "アップデーター", 120000);
  ASSERT_TRUE(main);
  Shoot(main, "setup_main");

  ButtonClick(FindControl(main, "Button1"));
  HWND done = WaitWindow(p.Id(), "TMessageForm", "情報", 60000);
  ASSERT_TRUE(done);
  EXPECT_EQ(Text(FindControl(done, "Message")), std::string("アップデート完了しました"));
  Shoot(done, "setup_update_complete");
  ButtonClick(FindControl(done, "OK"));
  EXPECT_EQ(p.WaitExit(), std::optional<DWORD>(0));
}

