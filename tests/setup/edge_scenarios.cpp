// Edge cases of SETUP.exe end to end: a relative folder typed in the chooser, a change of
// destination given up, the completion notice left by its close box or Escape, a new start after
// a killed instance, and the close box used while a sweep runs. Part of setup_scenarios.
#include <windows.h>

#include <string>

#include "tests/setup/setup_fixture.h"

using namespace setup_test;

namespace {

const char kGameFolder[] = "C:\\Game\\";

}  // namespace

// A relative folder typed into the chooser is looked up from the current folder and stored as
// typed, with "\" appended.
TEST(Setup, relative_folder_stored_as_typed) {
  DeleteGameDir();
  CreateDirectoryA("C:\\app\\RelGame", nullptr);
  WriteText("C:\\app\\RelGame\\mg_data.mbl", "marker");
  Process p = Process::Launch("SETUP.exe", {}, "C:\\app");
  HWND finder = WaitFinder(p);
  ASSERT_TRUE(finder);
  ButtonClick(Control(finder, "Button2"));
  HWND chooser = WaitChooser(p);
  ASSERT_TRUE(chooser);
  ChooseTyped(chooser, "RelGame");
  HWND main = WaitMain(p);
  ASSERT_TRUE(main);
  EXPECT_EQ(GameDirValue(), std::string("RelGame\\"));
  CloseBox(main);
  EXPECT_EQ(p.WaitExit(), std::optional<DWORD>(0));
}

// "アップデート先変更" given up with the finder's close box changes nothing: the registry keeps
// its folder and the update goes there. The completion notice left by its close box ends the
// program normally.
TEST(Setup, change_destination_given_up) {
  OldGame game(kGameFolder);
  auto [p, main] = StartWithGameDir(kGameFolder);
  ASSERT_TRUE(main);
  ButtonClick(Control(main, "Button4"));
  HWND finder = WaitFinder(p);
  ASSERT_TRUE(finder);
  CloseBox(finder);
  EXPECT_TRUE(WaitGone(finder));
  EXPECT_EQ(GameDirValue(), std::string(kGameFolder));
  HWND notice = UpdateToNotice(p);
  ASSERT_TRUE(notice);
  EXPECT_TRUE(SameAsBuildInput("C:\\Game\\VELDRAN.EXE", "VELDRAN.EXE"));
  EXPECT_TRUE(SameAsBuildInput("C:\\Game\\mg_data2.mbl", "mg_data2.mbl"));
  EXPECT_EQ(GameDirValue(), std::string(kGameFolder));
  CloseBox(notice);
  EXPECT_EQ(p.WaitExit(), std::optional<DWORD>(0));
}

// The completion notice answered with Escape ends the program normally too.
TEST(Setup, completion_notice_escape) {
  OldGame game(kGameFolder);
  Process p = LaunchWithGameDir(kGameFolder);
  HWND notice = UpdateToNotice(p);
  ASSERT_TRUE(notice);
  ASSERT_TRUE(Activate(notice));
  Escape();
  EXPECT_EQ(p.WaitExit(), std::optional<DWORD>(0));
}

// An instance killed while it runs leaves no guard behind: the next start comes up.
TEST(Setup, start_after_killed_instance) {
  DeleteGameDir();
  Process first = Process::Launch("SETUP.exe");
  ASSERT_TRUE(WaitFinder(first));
  first.Kill();
  Process second = Process::Launch("SETUP.exe");
  HWND finder = WaitFinder(second);
  ASSERT_TRUE(finder);
  ButtonClick(Control(finder, "Button3"));
  EXPECT_EQ(second.WaitExit(), std::optional<DWORD>(0));
}

// The close box used during a sweep is held until the sweep is over: the finder stays through
// the abort and the not-found notice, and closes once that is answered; with no folder the
// program then ends. The close and the abort reach the sweep in that order, both while it runs.
TEST(Setup, close_box_during_sweep_taken_after_it) {
  DeleteGameDir();
  PlantTree("C:\\Library");
  Process p = Process::Launch("SETUP.exe");
  HWND finder = WaitFinder(p);
  ASSERT_TRUE(finder);
  HWND button1 = Control(finder, "Button1");
  ButtonClick(button1);
  ASSERT_TRUE(WhileSweepHeldInLibrary(finder, [&] {
    CloseBox(finder);
    ButtonClick(button1);
  }));
  HWND notice = WaitWindow(p.Id(), "TMessageForm", "情報", 60000);
  ASSERT_TRUE(notice);
  EXPECT_TRUE(IsVisible(finder));
  ButtonClick(Control(notice, "Abort"));
  EXPECT_TRUE(WaitGone(finder));
  EXPECT_EQ(p.WaitExit(), std::optional<DWORD>(0));
  EXPECT_EQ(GameDirValue(), std::string("(none)"));
}
