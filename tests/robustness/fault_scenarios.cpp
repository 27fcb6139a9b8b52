// Fault injection on the update, the single-instance guard and the registry input, under Wine.
// Every failed update must show its exact message and leave the game's previous files as they
// were, with no staged file left behind.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "tests/setup/setup_fixture.h"

using namespace setup_test;

namespace {

const char kGame[] = "C:\\Game\\";

// A copy of a variant of the program, under the name that gives the application title "Setup".
std::string Variant(const char* name) {
  const std::string dir = std::string("C:\\") + name + "\\";
  CreateDirectoryA(dir.c_str(), nullptr);
  E2E_REQUIRE(CopyFileA((AppDir() + name + ".exe").c_str(), (dir + "SETUP.exe").c_str(), FALSE));
  return dir + "SETUP.exe";
}

void ExpectNoStrays(const OldGame& game) {
  for (const std::string& stray : game.Strays()) Fail(__FILE__, __LINE__, "left behind: " + stray);
}

}  // namespace

// The game's executable held open without sharing by another process.
E2E_SCENARIO(target_held_open) {
  OldGame game(kGame);
  SetGameDir(kGame);
  HANDLE held = CreateFileA((game.dir + "VELDRAN.EXE").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  E2E_REQUIRE(held != INVALID_HANDLE_VALUE);
  Process p = Process::Launch("SETUP.exe");
  E2E_CHECK_EQ(UpdateFailure(p), std::string("ファイル C:\\Game\\VELDRAN.EXE を作成できません."));
  CloseHandle(held);
  E2E_CHECK(game.AllUnchanged());
  ExpectNoStrays(game);
}

// A read-only executable: the update is refused before anything is written, the attribute stays.
E2E_SCENARIO(target_read_only) {
  OldGame game(kGame);
  SetGameDir(kGame);
  const std::string exe = game.dir + "VELDRAN.EXE";
  E2E_REQUIRE(SetFileAttributesA(exe.c_str(), FILE_ATTRIBUTE_READONLY));
  Process p = Process::Launch("SETUP.exe");
  E2E_CHECK_EQ(UpdateFailure(p), std::string("ファイル C:\\Game\\VELDRAN.EXE を作成できません."));
  E2E_CHECK((GetFileAttributesA(exe.c_str()) & FILE_ATTRIBUTE_READONLY) != 0);
  SetFileAttributesA(exe.c_str(), FILE_ATTRIBUTE_NORMAL);
  E2E_CHECK(game.AllUnchanged());
  ExpectNoStrays(game);
}

// The game folder removed while the window is up: the update fails and creates no folder.
E2E_SCENARIO(folder_removed_after_start) {
  OldGame game(kGame);
  SetGameDir(kGame);
  Process p = Process::Launch("SETUP.exe");
  HWND main = WaitMain(p);
  E2E_REQUIRE(main);
  for (const char* name : {"VELDRAN.EXE", "mg_data.mbl", "mg_data2.mbl"}) DeleteFileA((game.dir + name).c_str());
  E2E_REQUIRE(RemoveDirectoryA("C:\\Game"));
  E2E_CHECK_EQ(UpdateFailure(p), std::string("ファイル C:\\Game\\VELDRAN.EXE を作成できません."));
  E2E_CHECK(!Exists("C:\\Game"));
}

// A program built without the "EXE" payload: nothing is touched.
E2E_SCENARIO(missing_exe_resource) {
  OldGame game(kGame);
  SetGameDir(kGame);
  Process p = Process::Launch(Variant("SETUP_no_exe"));
  E2E_CHECK_EQ(UpdateFailure(p), std::string("EXE リソースが見つかりません."));
  E2E_CHECK(game.AllUnchanged());
  ExpectNoStrays(game);
}

// A program built without the "DAT2" payload: the executable, decoded first, is never put in
// place, so the whole previous release stays.
E2E_SCENARIO(missing_dat2_resource) {
  OldGame game(kGame);
  SetGameDir(kGame);
  Process p = Process::Launch(Variant("SETUP_no_dat2"));
  E2E_CHECK_EQ(UpdateFailure(p), std::string("DAT2 リソースが見つかりません."));
  E2E_CHECK(game.AllUnchanged());
  ExpectNoStrays(game);
}

// The data archive held open: the update fails before either file is replaced.
E2E_SCENARIO(second_target_held_open) {
  OldGame game(kGame);
  SetGameDir(kGame);
  HANDLE held = CreateFileA((game.dir + "mg_data2.mbl").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  E2E_REQUIRE(held != INVALID_HANDLE_VALUE);
  Process p = Process::Launch("SETUP.exe");
  E2E_CHECK_EQ(UpdateFailure(p), std::string("ファイル C:\\Game\\mg_data2.mbl を作成できません."));
  CloseHandle(held);
  E2E_CHECK(game.AllUnchanged());
  ExpectNoStrays(game);
}

// One hundred starts while one instance runs: each ends with exit code 1 and shows nothing;
// once the first has ended, a new start comes up.
E2E_SCENARIO(single_instance_under_load) {
  OldGame game(kGame);
  SetGameDir(kGame);
  Process first = Process::Launch("SETUP.exe");
  HWND main = WaitMain(first);
  E2E_REQUIRE(main);
  int exitedWith1 = 0, showed = 0;
  const int kStarts = 100, kBatch = 10;
  for (int started = 0; started < kStarts; started += kBatch) {
    std::vector<Process> batch;
    std::vector<const Process*> watched;
    for (int i = 0; i < kBatch; ++i) batch.push_back(Process::Launch("SETUP.exe"));
    for (const Process& p : batch) watched.push_back(&p);
    showed += CountShowingUntilExit(watched, nullptr, 30000);
    for (Process& p : batch) {
      E2E_CHECK(p.Started());
      const std::optional<DWORD> code = p.WaitExit(0);
      if (code == std::optional<DWORD>(1)) ++exitedWith1;
      else Fail(__FILE__, __LINE__, "a second instance ended with " + Show(code));
    }
  }
  E2E_CHECK_EQ(exitedWith1, kStarts);
  E2E_CHECK_EQ(showed, 0);
  E2E_CHECK(IsVisible(main));
  E2E_CHECK(IsEnabled(Control(main, "Button1")));
  CloseBox(main);
  E2E_CHECK_EQ(first.WaitExit(), std::optional<DWORD>(0));

  Process next = Process::Launch("SETUP.exe");
  HWND again = WaitMain(next);
  E2E_REQUIRE(again);
  CloseBox(again);
  E2E_CHECK_EQ(next.WaitExit(), std::optional<DWORD>(0));
  E2E_CHECK(game.AllUnchanged());
}

// A folder of 32 KiB: the window comes up, the update fails with that path in the message (cut
// to what the platform's message box can show, at a character boundary), and nothing crashes.
E2E_SCENARIO(registry_32k_string) {
  std::string folder = "C:\\";
  while (folder.size() < 32 * 1024 - 1) folder += "LongFolderName\\";
  folder.resize(32 * 1024 - 2);
  folder += "\\";
  SetGameDir(folder);
  Process p = Process::Launch("SETUP.exe");
  const std::string text = UpdateFailure(p);
  const std::string expected = ("ファイル " + folder + "VELDRAN.EXE を作成できません.").substr(0, 32000);
  E2E_CHECK_EQ(text.size(), expected.size());
  E2E_CHECK(text == expected);
}

// ---- Registry input -------------------------------------------------------------------------

namespace {

// A value read as no folder: the finder comes up, and closing it ends the program.
void ExpectNoFolder(DWORD type, const std::vector<char>& data) {
  SetGameDirRaw(type, data.data(), static_cast<DWORD>(data.size()));
  Process p = Process::Launch("SETUP.exe");
  HWND finder = WaitFinder(p);
  E2E_REQUIRE(finder);
  E2E_CHECK(!FindTopWindow(p.Id(), "#32770", "Setup"));
  ButtonClick(Control(finder, "Button3"));
  E2E_CHECK_EQ(p.WaitExit(), std::optional<DWORD>(0));
}

}  // namespace

E2E_SCENARIO(registry_binary_value) { ExpectWrongType(REG_BINARY, {'C', ':', '\\', 0}); }
E2E_SCENARIO(registry_multi_string_value) { ExpectWrongType(REG_MULTI_SZ, {'C', ':', '\\', 0, 0}); }
E2E_SCENARIO(registry_qword_value) { ExpectWrongType(REG_QWORD, std::vector<char>(8, 1)); }
E2E_SCENARIO(registry_empty_string) { ExpectNoFolder(REG_SZ, {0}); }
E2E_SCENARIO(registry_zero_length_binary) { ExpectNoFolder(REG_BINARY, {}); }
E2E_SCENARIO(registry_zero_length_string) { ExpectNoFolder(REG_SZ, {}); }

// A string without its terminating NUL is taken whole, and the update goes there.
E2E_SCENARIO(registry_unterminated_string) {
  OldGame game(kGame);
  const std::string folder = kGame;
  SetGameDirRaw(REG_SZ, folder.data(), static_cast<DWORD>(folder.size()));
  Process p = Process::Launch("SETUP.exe");
  HWND main = WaitMain(p);
  E2E_REQUIRE(main);
  ButtonClick(Control(main, "Button1"));
  HWND notice = WaitWindow(p.Id(), "TMessageForm", "情報", 60000);
  E2E_REQUIRE(notice);
  ButtonClick(Control(notice, "OK"));
  E2E_CHECK_EQ(p.WaitExit(), std::optional<DWORD>(0));
  E2E_CHECK(ReadAll(game.dir + "VELDRAN.EXE") == ReadAll(AppDir() + "VELDRAN.EXE"));
  E2E_CHECK(ReadAll(game.dir + "mg_data2.mbl") == ReadAll(AppDir() + "mg_data2.mbl"));
}

int main(int argc, char** argv) { return RunScenarios(argc, argv); }
