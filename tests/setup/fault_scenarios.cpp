// Fault injection on the update, the single-instance guard and the registry input, under Wine.
// Every failed update must show its exact message and leave the game's previous files as they
// were, with no staged file left behind.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "base/sha256.h"
#include "payload/journal.h"
#include "tests/setup/setup_fixture.h"

using namespace setup_test;

namespace {

const char kGame[] = "C:\\Game\\";

}  // namespace

// The game's executable held open without sharing by another process.
TEST(Faults, target_held_open) {
  OldGame game(kGame);
  HANDLE held = CreateFileA((game.dir + "VELDRAN.EXE").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_TRUE(held != INVALID_HANDLE_VALUE);
  Process p = LaunchWithGameDir(kGame);
  EXPECT_EQ(UpdateFailure(p), std::string("ファイル C:\\Game\\VELDRAN.EXE を作成できません."));
  CloseHandle(held);
  EXPECT_TRUE(game.AllUnchanged());
  ExpectNoStrays(game);
}

// A read-only executable: the update is refused before anything is written, the attribute stays.
TEST(Faults, target_read_only) {
  OldGame game(kGame);
  const std::string exe = game.dir + "VELDRAN.EXE";
  ASSERT_TRUE(SetFileAttributesA(exe.c_str(), FILE_ATTRIBUTE_READONLY));
  Process p = LaunchWithGameDir(kGame);
  EXPECT_EQ(UpdateFailure(p), std::string("ファイル C:\\Game\\VELDRAN.EXE を作成できません."));
  EXPECT_TRUE((GetFileAttributesA(exe.c_str()) & FILE_ATTRIBUTE_READONLY) != 0);
  SetFileAttributesA(exe.c_str(), FILE_ATTRIBUTE_NORMAL);
  EXPECT_TRUE(game.AllUnchanged());
  ExpectNoStrays(game);
}

// The game folder removed or renamed while the window is up.
TEST(Faults, folder_held_from_start) {
  OldGame game(kGame);
  auto [p, main] = StartWithGameDir(kGame);
  ASSERT_TRUE(main);
  for (const char* name : {"VELDRAN.EXE", "mg_data.mbl", "mg_data2.mbl"}) DeleteFileA((game.dir + name).c_str());
  // The folder is held from start-up: it can be neither removed nor renamed, so the update goes
  // where the program found the game.
  EXPECT_FALSE(RemoveDirectoryA("C:\\Game"));
  EXPECT_FALSE(MoveFileA("C:\\Game", "C:\\Moved"));
  HWND notice = UpdateToNotice(p);
  ASSERT_TRUE(notice);
  ButtonClick(Control(notice, "OK"));
  EXPECT_EQ(p.WaitExit(), std::optional<DWORD>(0));
  EXPECT_TRUE(SameAsBuildInput(game.dir + "VELDRAN.EXE", "VELDRAN.EXE"));
  EXPECT_TRUE(!Exists("C:\\Moved"));
}

// A program built without the "EXE" payload: nothing is touched.
TEST(Faults, missing_exe_resource) {
  OldGame game(kGame);
  Process p = LaunchWithGameDir(kGame, Variant("SETUP_no_exe"));
  EXPECT_EQ(UpdateFailure(p), std::string("EXE リソースが見つかりません."));
  EXPECT_TRUE(game.AllUnchanged());
  ExpectNoStrays(game);
}

// A program built without the "DAT2" payload: the executable, decoded first, is never put in
// place, so the whole previous release stays.
TEST(Faults, missing_dat2_resource) {
  OldGame game(kGame);
  Process p = LaunchWithGameDir(kGame, Variant("SETUP_no_dat2"));
  EXPECT_EQ(UpdateFailure(p), std::string("DAT2 リソースが見つかりません."));
  EXPECT_TRUE(game.AllUnchanged());
  ExpectNoStrays(game);
}

// The data archive held open: the update fails before either file is replaced.
TEST(Faults, second_target_held_open) {
  OldGame game(kGame);
  HANDLE held = CreateFileA((game.dir + "mg_data2.mbl").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_TRUE(held != INVALID_HANDLE_VALUE);
  Process p = LaunchWithGameDir(kGame);
  EXPECT_EQ(UpdateFailure(p), std::string("ファイル C:\\Game\\mg_data2.mbl を作成できません."));
  CloseHandle(held);
  EXPECT_TRUE(game.AllUnchanged());
  ExpectNoStrays(game);
}

// One hundred starts while one instance runs: each ends with exit code 1 and shows nothing;
// once the first has ended, a new start comes up.
TEST(Faults, single_instance_under_load) {
  OldGame game(kGame);
  auto [first, main] = StartWithGameDir(kGame);
  ASSERT_TRUE(main);
  int exitedWith1 = 0, showed = 0;
  const int kStarts = 100, kBatch = 10;
  for (int started = 0; started < kStarts; started += kBatch) {
    std::vector<Process> batch;
    std::vector<const Process*> watched;
    for (int i = 0; i < kBatch; ++i) batch.push_back(Process::Launch("SETUP.exe"));
    for (const Process& p : batch) watched.push_back(&p);
    showed += CountShowingUntilExit(watched, nullptr, 30000);
    for (Process& p : batch) {
      EXPECT_TRUE(p.Started());
      const std::optional<DWORD> code = p.WaitExit(0);
      if (code == std::optional<DWORD>(1)) ++exitedWith1;
      else Fail(__FILE__, __LINE__, "a second instance ended with " + Show(code));
    }
  }
  EXPECT_EQ(exitedWith1, kStarts);
  EXPECT_EQ(showed, 0);
  EXPECT_TRUE(IsVisible(main));
  EXPECT_TRUE(IsEnabled(Control(main, "Button1")));
  CloseBox(main);
  EXPECT_EQ(first.WaitExit(), std::optional<DWORD>(0));

  Process next = Process::Launch("SETUP.exe");
  HWND again = WaitMain(next);
  ASSERT_TRUE(again);
  CloseBox(again);
  EXPECT_EQ(next.WaitExit(), std::optional<DWORD>(0));
  EXPECT_TRUE(game.AllUnchanged());
}

// A folder of 32 KiB: the window comes up, the update fails with that path in the message (cut
// to what the platform's message box can show, at a character boundary), and nothing crashes.
TEST(Faults, registry_32k_string) {
  std::string folder = "C:\\";
  while (folder.size() < 32 * 1024 - 1) folder += "LongFolderName\\";
  folder.resize(32 * 1024 - 2);
  folder += "\\";
  Process p = LaunchWithGameDir(folder);
  const std::string text = UpdateFailure(p);
  const std::string expected = ("ファイル " + folder + "VELDRAN.EXE を作成できません.").substr(0, 32000);
  EXPECT_EQ(text.size(), expected.size());
  EXPECT_TRUE(text == expected);
}

// ---- Recovery of an interrupted update --------------------------------------------------------

namespace {

// A journal of an update cut short while its files were staged, as a run of the program leaves
// it in the folder it updates; vouched for in the registry as that run would (both views, for a
// 32-bit or a 64-bit SETUP.exe).
std::string StagedJournal(const std::string& target) {
  journal::TJournal j;
  j.Entries.push_back({target, "vdn0001.tmp", "vdn0002.tmp"});
  return journal::Format(j);
}

void Vouch(const std::string& folder, const std::string& text) {
  win32::FileHandle dir(CreateFileA(folder.c_str(), FILE_LIST_DIRECTORY, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  char final[MAX_PATH] = {};
  E2E_ASSERT(dir && GetFinalPathNameByHandleA(dir.Get(), final, MAX_PATH, FILE_NAME_NORMALIZED) > 0);
  const std::string digest = journal::StateDigest(final, text);
  for (REGSAM view : {KEY_WOW64_32KEY, KEY_WOW64_64KEY}) {
    HKEY key = nullptr;
    E2E_ASSERT(RegCreateKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, nullptr, 0, KEY_SET_VALUE | view, nullptr, &key,
                               nullptr) == ERROR_SUCCESS);
    RegSetValueExA(key, "UpdateJournal", 0, REG_SZ, reinterpret_cast<const BYTE*>(digest.c_str()),
                   static_cast<DWORD>(digest.size() + 1));
    RegCloseKey(key);
  }
}

}  // namespace

// A first run from the download folder, where anyone may leave a journal: no game folder is
// recorded, so nothing is recovered, in the current folder or anywhere, vouched for or not.
TEST(Faults, journal_in_download_folder_left_alone) {
  DeleteGameDir();
  const std::string journal = StagedJournal("VELDRAN.EXE");
  WriteText(AppDir() + "vdnsetup.jnl", journal);
  Vouch(AppDir(), journal);
  WriteText(AppDir() + "vdn0001.tmp", "a file of the player's");
  WriteText(AppDir() + "notes.txt", "the player's notes");
  Process p = Process::Launch("SETUP.exe", {}, AppDir());
  HWND finder = WaitFinder(p);
  ASSERT_TRUE(finder);
  ButtonClick(Control(finder, "Button3"));
  EXPECT_EQ(p.WaitExit(), std::optional<DWORD>(0));
  EXPECT_TRUE(ReadAll(AppDir() + "vdnsetup.jnl") == std::vector<char>(journal.begin(), journal.end()));
  EXPECT_TRUE(Exists(AppDir() + "vdn0001.tmp") && Exists(AppDir() + "notes.txt"));
}

// A recovery that cannot finish at start-up (its staged file held open elsewhere) is reported
// once, naming the file, and the main window comes up as usual; the update tries it first and
// fails the same way, leaving the previous files and the journal as they were. The same journal
// that nothing vouches for is left alone, and the update goes ahead.
TEST(Faults, recovery_that_cannot_finish_does_not_lock_out) {
  for (bool vouched : {false, true}) {
    OldGame game(kGame);
    const std::string journal = StagedJournal("VELDRAN.EXE");
    WriteText(game.dir + "vdnsetup.jnl", journal);
    if (vouched) Vouch(game.dir, journal);
    WriteText(game.dir + "vdn0001.tmp", "half a new executable");
    HANDLE held = CreateFileA((game.dir + "vdn0001.tmp").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_TRUE(held != INVALID_HANDLE_VALUE);
    Process p = LaunchWithGameDir(kGame);
    if (vouched) {
      HWND box = nullptr;
      EXPECT_EQ(WaitErrorBox(p, &box), std::string("ファイル C:\\Game\\vdn0001.tmp を作成できません."));
      ASSERT_TRUE(box);
      DismissBox(box);
      EXPECT_EQ(UpdateFailure(p), std::string("ファイル C:\\Game\\vdn0001.tmp を作成できません."));
      EXPECT_TRUE(game.AllUnchanged());
      EXPECT_TRUE(Exists(game.dir + "vdnsetup.jnl"));
    } else {
      HWND notice = UpdateToNotice(p);
      ASSERT_TRUE(notice);
      ButtonClick(Control(notice, "OK"));
      EXPECT_EQ(p.WaitExit(), std::optional<DWORD>(0));
      EXPECT_TRUE(SameAsBuildInput(game.dir + "VELDRAN.EXE", "VELDRAN.EXE"));
    }
    CloseHandle(held);
    DeleteFileA((game.dir + "vdn0001.tmp").c_str());
    DeleteFileA((game.dir + "vdnsetup.jnl").c_str());
  }
}

// Links under the update's names (unix symbolic links, which Wine shows as the files they lead
// to, never as reparse points) to a file outside the game folder: a journal name that is one
// stops the update, naming it; work names that are links are passed over; a game folder that is
// itself a link (a moved game) is updated where it leads. The outside file is never touched.
TEST(Faults, links_under_the_update_names) {
  struct Row {
    const char* folder;
    const char* failure;  // nullptr: the update completes
  } rows[] = {
      {"G:\\temp\\", "ファイル G:\\temp\\vdnsetup.jn~ を作成できません."},
      {"G:\\journal\\", "ファイル G:\\journal\\vdnsetup.jnl を作成できません."},
      {"G:\\work\\", nullptr},
      {"G:\\moved\\", nullptr},
  };
  for (const Row& row : rows) {
    const std::vector<char> exe = ReadAll(std::string(row.folder) + "VELDRAN.EXE");
    Process p = LaunchWithGameDir(row.folder);
    if (row.failure) {
      EXPECT_EQ(UpdateFailure(p), std::string(row.failure)) << row.folder;
      EXPECT_TRUE(ReadAll(std::string(row.folder) + "VELDRAN.EXE") == exe) << row.folder;
    } else {
      HWND notice = UpdateToNotice(p);
      ASSERT_TRUE(notice) << row.folder;
      ButtonClick(Control(notice, "OK"));
      EXPECT_EQ(p.WaitExit(), std::optional<DWORD>(0));
      EXPECT_TRUE(SameAsBuildInput(std::string(row.folder) + "VELDRAN.EXE", "VELDRAN.EXE")) << row.folder;
    }
    const std::vector<char> secret = ReadAll("G:\\outside\\secret.txt");
    EXPECT_EQ(std::string(secret.begin(), secret.end()), "secret") << row.folder;
  }
  EXPECT_TRUE(SameAsBuildInput("G:\\real\\mg_data2.mbl", "mg_data2.mbl"));
  EXPECT_TRUE(Exists("G:\\work\\vdn0000.tmp") && Exists("G:\\work\\vdn0001.tmp"));
}

// ---- Registry input -------------------------------------------------------------------------

namespace {

// A value read as no folder: the finder comes up, and closing it ends the program.
void ExpectNoFolder(DWORD type, const std::vector<char>& data) {
  SetGameDirRaw(type, data.data(), static_cast<DWORD>(data.size()));
  Process p = Process::Launch("SETUP.exe");
  HWND finder = WaitFinder(p);
  ASSERT_TRUE(finder);
  EXPECT_TRUE(!FindTopWindow(p.Id(), "#32770", "Setup"));
  ButtonClick(Control(finder, "Button3"));
  EXPECT_EQ(p.WaitExit(), std::optional<DWORD>(0));
}

}  // namespace

TEST(Faults, registry_binary_value) { ExpectWrongType(REG_BINARY, {'C', ':', '\\', 0}); }
TEST(Faults, registry_multi_string_value) { ExpectWrongType(REG_MULTI_SZ, {'C', ':', '\\', 0, 0}); }
TEST(Faults, registry_qword_value) { ExpectWrongType(REG_QWORD, std::vector<char>(8, 1)); }
TEST(Faults, registry_empty_string) { ExpectNoFolder(REG_SZ, {0}); }
TEST(Faults, registry_zero_length_binary) { ExpectNoFolder(REG_BINARY, {}); }
TEST(Faults, registry_zero_length_string) { ExpectNoFolder(REG_SZ, {}); }

// A string without its terminating NUL is taken whole, and the update goes there.
TEST(Faults, registry_unterminated_string) {
  OldGame game(kGame);
  const std::string folder = kGame;
  SetGameDirRaw(REG_SZ, folder.data(), static_cast<DWORD>(folder.size()));
  Process p = Process::Launch("SETUP.exe");
  HWND main = WaitMain(p);
  ASSERT_TRUE(main);
  ButtonClick(Control(main, "Button1"));
  HWND notice = WaitWindow(p.Id(), "TMessageForm", "情報", 60000);
  ASSERT_TRUE(notice);
  ButtonClick(Control(notice, "OK"));
  EXPECT_EQ(p.WaitExit(), std::optional<DWORD>(0));
  EXPECT_TRUE(ReadAll(game.dir + "VELDRAN.EXE") == ReadAll(AppDir() + "VELDRAN.EXE"));
  EXPECT_TRUE(ReadAll(game.dir + "mg_data2.mbl") == ReadAll(AppDir() + "mg_data2.mbl"));
}

