// End-to-end scenarios of SETUP.exe: first run, search, abort, manual choice, update, change of
// destination, failures and the single-instance guard. Runs inside Wine (see CMakeLists.txt for
// the drives each scenario gets); every scenario prepares the prefix's registry itself.
#include <windows.h>

#include <string>

#include "tests/setup/setup_fixture.h"

using namespace setup_test;

namespace {

const char kSetup[] = "SETUP.exe";
const char kGame[] = "C:\\Game\\";

bool SweepIdle(HWND finder) { return Text(Control(finder, "Button1")) == "自動検索"; }

}  // namespace

// No folder recorded: the finder comes up alone; the search passes over the removable drive D:,
// whose root holds the marker too, and finds the folder on the fixed drive E: after it.
TEST(Setup, first_run_auto_search) {
  DeleteGameDir();
  Process p = Process::Launch(kSetup);
  HWND finder = WaitFinder(p);
  ASSERT_TRUE(finder);
  EXPECT_TRUE(!FindTopWindow(p.Id(), "TForm1", nullptr));
  RECT r = ScreenRect(finder);
  EXPECT_EQ(r.left, (1024 - Width(r)) / 2);
  EXPECT_EQ(r.top, (768 - Height(r)) / 2);

  ButtonClick(Control(finder, "Button1"));
  HWND main = WaitMain(p, 120000);
  ASSERT_TRUE(main);
  EXPECT_TRUE(!IsVisible(finder));
  // Not "D:\\": the removable drive was never taken.
  EXPECT_EQ(GameDirValue(), std::string("E:\\\\Games\\Veldran\\"));
  // The progress line ends on the last folder walked: the throttled progress is drawn at the end.
  EXPECT_EQ(Text(Control(finder, "Label6")), std::string("検索中 E:\\\\Games\\Veldran"));

  r = ScreenRect(main);
  EXPECT_EQ(r.left, 243);
  EXPECT_EQ(r.top, 238);
  EXPECT_EQ(Width(r), 538);
  EXPECT_EQ(Height(r), 291);

  // The banner: blue rows fading from 255 to 1 (the right edge carries no text).
  Bitmap banner = Capture(Control(main, "Image1"));
  EXPECT_EQ(banner.width, 512);
  EXPECT_EQ(banner.height, 193);
  EXPECT_EQ(banner.Pixel(511, 0), RGB(0, 0, 255));
  EXPECT_EQ(banner.Pixel(511, 96), RGB(0, 0, 128));
  EXPECT_EQ(banner.Pixel(511, 192), RGB(0, 0, 1));
  // White text on the first line.
  bool white = false;
  for (int x = 10; x < 300 && !white; ++x)
    for (int y = 10; y < 26 && !white; ++y) white = banner.Pixel(x, y) == RGB(255, 255, 255);
  EXPECT_TRUE(white);

  ButtonClick(Control(main, "Button3"));
  EXPECT_EQ(p.WaitExit(), std::optional<DWORD>(0));
}

// The whole job: both files written into the recorded folder, byte for byte, then the notice.
TEST(Setup, update_writes_both_files) {
  OldGame game(kGame);
  auto [p, main] = StartWithGameDir(kGame, kSetup);
  ASSERT_TRUE(main);
  EXPECT_TRUE(!FindTopWindow(p.Id(), "TForm3", nullptr));
  ButtonClick(Control(main, "Button1"));

  HWND notice = WaitWindow(p.Id(), "TMessageForm", "情報", 60000);
  ASSERT_TRUE(notice);
  EXPECT_EQ(Text(Control(notice, "Message")), std::string("アップデート完了しました"));
  EXPECT_TRUE(SameAsBuildInput("C:\\Game\\VELDRAN.EXE", "VELDRAN.EXE"));
  EXPECT_TRUE(SameAsBuildInput("C:\\Game\\mg_data2.mbl", "mg_data2.mbl"));
  EXPECT_TRUE(game.DataUnchanged());
  // The staged files and the previous release's files set aside are all gone.
  EXPECT_EQ(game.Strays().size(), size_t{0});
  ButtonClick(Control(notice, "OK"));
  EXPECT_EQ(p.WaitExit(), std::optional<DWORD>(0));
}

// An abort during the sweep, the not-found notice, then "終了" on the finder ends the program.
TEST(Setup, abort_then_exit) {
  DeleteGameDir();
  PlantTree("C:\\Library");
  Process p = Process::Launch(kSetup);
  HWND finder = WaitFinder(p);
  ASSERT_TRUE(finder);
  HWND button1 = Control(finder, "Button1");
  ButtonClick(button1);
  ASSERT_TRUE(WaitUntil([&] { return Text(button1) == "中止"; }));
  EXPECT_TRUE(!IsEnabled(Control(finder, "Button2")));
  EXPECT_TRUE(!IsEnabled(Control(finder, "Button3")));
  ASSERT_TRUE(WhileSweepHeldInLibrary(finder, [&] { ButtonClick(button1); }));

  HWND notice = WaitWindow(p.Id(), "TMessageForm", "情報", 60000);
  ASSERT_TRUE(notice);
  EXPECT_EQ(Text(Control(notice, "Message")), std::string("ＨＤＤ上にアップデート対象を発見できませんでした。"));
  HWND abortButton = Control(notice, "Abort");
  EXPECT_EQ(Text(abortButton), std::string("中止(&A)"));
  ButtonClick(abortButton);
  EXPECT_TRUE(WaitGone(notice));

  EXPECT_TRUE(WaitUntil([&] { return SweepIdle(finder) && IsEnabled(Control(finder, "Button2")); }));
  EXPECT_TRUE(IsEnabled(Control(finder, "Button3")));
  EXPECT_TRUE(Text(Control(finder, "Label6")).rfind("検索中 ", 0) == 0);
  EXPECT_EQ(GameDirValue(), std::string("(none)"));

  ButtonClick(Control(finder, "Button3"));
  EXPECT_EQ(CountShowingUntilExit({&p}, "TForm1"), 0);
  EXPECT_EQ(p.WaitExit(0), std::optional<DWORD>(0));
}

// The manual choice refuses a folder without the marker silently and accepts one whose marker
// is in capitals.
TEST(Setup, manual_choice) {
  DeleteGameDir();
  CreateDirectoryA("C:\\Other", nullptr);
  WriteText("C:\\Other\\mg_data2.mbl", "not the marker");
  CreateDirectoryA("C:\\Veldran", nullptr);
  WriteText("C:\\Veldran\\MG_DATA.MBL", "marker");

  Process p = Process::Launch(kSetup);
  HWND finder = WaitFinder(p);
  ASSERT_TRUE(finder);
  for (const char* folder : {"C:\\Other", "C:\\Veldran"}) {
    ButtonClick(Control(finder, "Button2"));
    HWND chooser = WaitChooser(p);
    ASSERT_TRUE(chooser);
    ChooseTyped(chooser, folder);
    EXPECT_TRUE(WaitGone(chooser));
    if (std::string(folder) == "C:\\Other") {
      Pause(300);
      EXPECT_TRUE(IsVisible(finder));
      EXPECT_EQ(GameDirValue(), std::string("(none)"));
    }
  }
  HWND main = WaitMain(p);
  ASSERT_TRUE(main);
  EXPECT_EQ(GameDirValue(), std::string("C:\\Veldran\\"));
  CloseBox(main);
  EXPECT_EQ(p.WaitExit(), std::optional<DWORD>(0));
}

// A destination chosen during the run reaches the registry only; this run still updates the
// folder it loaded at start.
TEST(Setup, change_destination_then_update) {
  OldGame game(kGame);
  CreateDirectoryA("C:\\New", nullptr);
  WriteText("C:\\New\\mg_data.mbl", "marker");

  auto [p, main] = StartWithGameDir(kGame, kSetup);
  ASSERT_TRUE(main);
  ButtonClick(Control(main, "Button4"));
  HWND finder = WaitFinder(p);
  ASSERT_TRUE(finder);
  ButtonClick(Control(finder, "Button2"));
  HWND chooser = WaitChooser(p);
  ASSERT_TRUE(chooser);
  ChooseTyped(chooser, "C:\\New");
  EXPECT_TRUE(WaitGone(finder));
  EXPECT_EQ(GameDirValue(), std::string("C:\\New\\"));

  ButtonClick(Control(main, "Button1"));
  HWND notice = WaitWindow(p.Id(), "TMessageForm", "情報", 60000);
  ASSERT_TRUE(notice);
  EXPECT_TRUE(SameAsBuildInput("C:\\Game\\VELDRAN.EXE", "VELDRAN.EXE"));
  EXPECT_TRUE(!Exists("C:\\New\\VELDRAN.EXE"));
  ButtonClick(Control(notice, "OK"));
  EXPECT_EQ(p.WaitExit(), std::optional<DWORD>(0));
}

// A folder that does not exist: the error report under the title, the buttons stay disabled.
TEST(Setup, update_into_missing_folder) {
  auto [p, main] = StartWithGameDir("C:\\Missing\\", kSetup);
  ASSERT_TRUE(main);
  ButtonClick(Control(main, "Button1"));
  HWND box = nullptr;
  EXPECT_EQ(WaitErrorBox(p, &box), std::string("ファイル C:\\Missing\\VELDRAN.EXE を作成できません."));
  ASSERT_TRUE(box);
  DismissBox(box);
  for (const char* name : {"Button1", "Button3", "Button4"}) EXPECT_TRUE(!IsEnabled(Control(main, name)));
  EXPECT_TRUE(!Exists("C:\\Missing"));
  CloseBox(main);
  EXPECT_EQ(p.WaitExit(), std::optional<DWORD>(0));
}

// The game's executable held open elsewhere: the update fails and the old files stay as they were.
TEST(Setup, update_fails_keeps_old_files) {
  OldGame game(kGame);
  HANDLE held = CreateFileA("C:\\Game\\VELDRAN.EXE", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_TRUE(held != INVALID_HANDLE_VALUE);
  auto [p, main] = StartWithGameDir(kGame, kSetup);
  ASSERT_TRUE(main);
  ButtonClick(Control(main, "Button1"));
  HWND box = nullptr;
  EXPECT_EQ(WaitErrorBox(p, &box), std::string("ファイル C:\\Game\\VELDRAN.EXE を作成できません."));
  ASSERT_TRUE(box);
  DismissBox(box);
  CloseHandle(held);
  EXPECT_TRUE(game.AllUnchanged());
  CloseBox(main);
  EXPECT_EQ(p.WaitExit(), std::optional<DWORD>(0));
}

// One copy at a time: a second start ends at once with exit code 1 and shows nothing.
TEST(Setup, second_instance_exits_1) {
  DeleteGameDir();
  Process first = Process::Launch(kSetup);
  HWND finder = WaitFinder(first);
  ASSERT_TRUE(finder);
  Process second = Process::Launch(kSetup);
  EXPECT_EQ(CountShowingUntilExit({&second}), 0);
  EXPECT_EQ(second.WaitExit(0), std::optional<DWORD>(1));
  ButtonClick(Control(finder, "Button3"));
  EXPECT_EQ(first.WaitExit(), std::optional<DWORD>(0));
  // The guard went with the first instance.
  Process third = Process::Launch(kSetup);
  HWND again = WaitFinder(third);
  EXPECT_TRUE(again != nullptr);
  if (again) ButtonClick(Control(again, "Button3"));
  EXPECT_EQ(third.WaitExit(), std::optional<DWORD>(0));
}

// Any kernel object holding the name blocks start-up too.
TEST(Setup, foreign_object_blocks_start) {
  HANDLE event = CreateEventA(nullptr, TRUE, FALSE, "QMV_SETUP");
  ASSERT_TRUE(event);
  Process p = Process::Launch(kSetup);
  EXPECT_EQ(p.WaitExit(), std::optional<DWORD>(1));
  CloseHandle(event);
}

// A value of the wrong type: reported at creation and again after the finder, and the main
// window is shown all the same.
TEST(Setup, dword_value_reported) {
  const DWORD number = 12345;
  ExpectWrongType(REG_DWORD, std::vector<char>(reinterpret_cast<const char*>(&number),
                                               reinterpret_cast<const char*>(&number) + sizeof number));
}

