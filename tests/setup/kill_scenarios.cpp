// SETUP.exe with large payloads (48 and 24 MiB) killed at instants spread over its update, then
// started again, under Wine: by the time its main window shows, the game folder holds exactly
// the previous release or exactly the new one, and no other file.
//
// The kill is TerminateProcess, as by the task manager; a power cut, where unflushed data is
// lost, is modelled by the install sequence's native tests (tests/payload/install_test.cpp).
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "tests/setup/setup_fixture.h"

using namespace setup_test;

namespace {

using Clock = std::chrono::steady_clock;

const char kGame[] = "C:\\Game\\";

long MsSince(Clock::time_point t) {
  return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t).count());
}

// "old", "new", or what else the folder holds.
std::string Release(const OldGame& game, const std::vector<char>& newExe, const std::vector<char>& newDat2) {
  const std::vector<std::string> strays = game.Strays();
  std::string extra;
  for (const std::string& s : strays) extra += " " + s;
  if (!game.DataUnchanged()) return "mg_data.mbl changed," + extra;
  std::string release = "mixed";
  if (game.ExeUnchanged() && game.Data2Unchanged()) release = "old";
  else if (ReadAll(game.dir + "VELDRAN.EXE") == newExe && ReadAll(game.dir + "mg_data2.mbl") == newDat2)
    release = "new";
  return strays.empty() ? release : release + " and" + extra;
}

long FileSize(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return -1;
  return static_cast<long>(data.nFileSizeLow);
}

// Starts the update; returns the process with its click given, or a process not started.
Process StartUpdate(const std::string& program, Clock::time_point* clicked) {
  Process p = Process::Launch(program);
  HWND main = WaitMain(p);
  if (!main) {
    Fail(__FILE__, __LINE__, "no main window");
    return p;
  }
  ButtonClick(Control(main, "Button1"));
  *clicked = Clock::now();
  return p;
}

// The next start: recovery runs before the main window shows; the folder is judged then.
std::string RestartAndJudge(const std::string& program, const OldGame& game, const std::vector<char>& newExe,
                            const std::vector<char>& newDat2, long* msToWindow) {
  const Clock::time_point started = Clock::now();
  Process p = Process::Launch(program);
  HWND main = WaitMain(p, 120000);
  *msToWindow = MsSince(started);
  if (!main) return "(no main window)";
  const std::string release = Release(game, newExe, newDat2);
  CloseBox(main);
  EXPECT_EQ(p.WaitExit(), std::optional<DWORD>(0));
  return release;
}

}  // namespace

TEST(Kill, killed_at_many_instants_then_restarted) {
  const std::vector<char> newExe = ReadAll(AppDir() + "VELDRAN.EXE");
  const std::vector<char> newDat2 = ReadAll(AppDir() + "mg_data2.mbl");
  ASSERT_TRUE(newExe.size() > 40u * 1024 * 1024 && newDat2.size() > 20u * 1024 * 1024);
  const std::string program = Variant("SETUP_large");
  SetGameDir(kGame);

  // One whole update, to spread the kills over its length.
  long wholeMs = 0;
  {
    OldGame game(kGame);
    Clock::time_point clicked;
    Process p = StartUpdate(program, &clicked);
    HWND notice = WaitWindow(p.Id(), "TMessageForm", "情報", 300000);
    wholeMs = MsSince(clicked);
    ASSERT_TRUE(notice);
    ButtonClick(Control(notice, "OK"));
    EXPECT_EQ(p.WaitExit(), std::optional<DWORD>(0));
    EXPECT_EQ(Release(game, newExe, newDat2), std::string("new"));
    std::printf("whole update: %ld ms for %zu + %zu bytes\n", wholeMs, newExe.size(), newDat2.size());
  }

  int olds = 0, news = 0;
  // Past 100 %: the moves and the clean-up come after the decoding, shortly before the notice.
  const int percents[] = {2, 10, 20, 30, 40, 50, 60, 70, 80, 90, 95, 98, 100, 102, 104, 106, 110, -1};
  for (int percent : percents) {
    OldGame game(kGame);
    Clock::time_point clicked;
    Process p = StartUpdate(program, &clicked);
    ASSERT_TRUE(p.Started());
    std::string instant;
    if (percent >= 0) {
      Sleep(static_cast<DWORD>(wholeMs * percent / 100));
      instant = std::to_string(percent) + "%";
    } else {
      // The moment the new executable is seen under its name, the archive not yet maybe.
      while (FileSize(game.dir + "VELDRAN.EXE") == static_cast<long>(game.exe.size()) && MsSince(clicked) < 300000)
        Sleep(0);
      instant = "new VELDRAN.EXE seen";
    }
    const long killedAt = MsSince(clicked);
    p.Kill();
    const std::string before = Release(game, newExe, newDat2);
    long msToWindow = 0;
    const std::string after = RestartAndJudge(program, game, newExe, newDat2, &msToWindow);
    std::printf("killed at %ld ms (%s): folder then %s; after the restart %s, main window in %ld ms\n", killedAt,
                instant.c_str(), before.c_str(), after.c_str(), msToWindow);
    EXPECT_TRUE(after == "old" || after == "new");
    olds += after == "old";
    news += after == "new";
  }
  std::printf("%d kills: %d ended in the previous release, %d in the new one\n", olds + news, olds, news);
}


// While the archive is being decoded, another program (a second Wine process: sharing holds
// between them) tries to put a file of the same length in place of the executable's staged file,
// or to write into it: the update holds that file from its creation to its move, so both are
// refused, and what is installed is the executable the update checked.
TEST(Kill, staged_file_cannot_be_swapped_by_another_program) {
  const std::vector<char> newExe = ReadAll(AppDir() + "VELDRAN.EXE");
  const std::vector<char> newDat2 = ReadAll(AppDir() + "mg_data2.mbl");
  SetGameDir(kGame);
  OldGame game(kGame);
  Clock::time_point clicked;
  Process p = StartUpdate(Variant("SETUP_large"), &clicked);
  ASSERT_TRUE(p.Started());
  // The staged names are the first free ones: the executable's vdn0000.tmp, the archive's vdn0002.tmp.
  ASSERT_TRUE(WaitUntil([&] { return Exists(game.dir + "vdn0002.tmp"); }, 120000));
  const std::string planted = game.dir + "planted.bin";
  {
    win32::FileHandle f(CreateFileA(planted.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    LARGE_INTEGER size;
    size.QuadPart = static_cast<LONGLONG>(newExe.size());
    ASSERT_TRUE(f && SetFilePointerEx(f.Get(), size, nullptr, FILE_BEGIN) && SetEndOfFile(f.Get()));
  }
  EXPECT_FALSE(MoveFileExA(planted.c_str(), (game.dir + "vdn0000.tmp").c_str(), MOVEFILE_REPLACE_EXISTING));
  win32::FileHandle writer(CreateFileA((game.dir + "vdn0000.tmp").c_str(), GENERIC_WRITE,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                       0, nullptr));
  EXPECT_FALSE(writer);
  HWND notice = WaitWindow(p.Id(), "TMessageForm", "情報", 300000);
  ASSERT_TRUE(notice);
  ButtonClick(Control(notice, "OK"));
  EXPECT_EQ(p.WaitExit(), std::optional<DWORD>(0));
  DeleteFileA(planted.c_str());
  EXPECT_EQ(Release(game, newExe, newDat2), std::string("new"));
}

// Release A's update stopped after its commit, between its two moves (its thread held, then
// killed); release B, which carries other files, starts next: before its window shows, the
// folder holds the previous release, by what A's journal records, and nothing of the update's.
TEST(Kill, another_release_meets_a_half_done_update) {
  const std::vector<char> newExe = ReadAll(AppDir() + "VELDRAN.EXE");
  const std::vector<char> newDat2 = ReadAll(AppDir() + "mg_data2.mbl");
  SetGameDir(kGame);
  // Read sharing deletion too, as nothing else may: a reader that does not keeps the journal's
  // next state from replacing it, and the update fails.
  auto committed = [&] {
    win32::FileHandle f(CreateFileA((std::string(kGame) + "vdnsetup.jnl").c_str(), GENERIC_READ,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0,
                                    nullptr));
    char text[4096];
    DWORD got = 0;
    return f && ReadFile(f.Get(), text, sizeof text, &got, nullptr) &&
           std::string(text, got).find("phase commit") != std::string::npos;
  };
  // The committed journal stands for milliseconds: looked for without pause, and the update run
  // again where it was missed.
  std::string state;
  OldGame game(kGame);
  for (int attempt = 0; attempt < 5 && state.empty(); ++attempt) {
    if (attempt > 0) game = OldGame(kGame);
    Clock::time_point clicked;
    Process a = StartUpdate(Variant("SETUP_large"), &clicked);
    ASSERT_TRUE(a.Started());
    HWND main = WaitMain(a);
    ASSERT_TRUE(main);
    while (!committed() && !FindTopWindow(a.Id(), "TMessageForm", nullptr) && MsSince(clicked) < 120000) Sleep(0);
    HeldThread held(main);
    if (committed()) state = Release(game, newExe, newDat2);
    a.Kill();
  }
  ASSERT_FALSE(state.empty()) << "the committed journal was never seen";
  // Where A had moved both files in, the archive's move is undone as the disk would hold it had A
  // stopped just before it: the new archive back under its staged name, the previous one under
  // its own name again beside its second name (vdn0003.tmp, a hard link).
  if (ReadAll(game.dir + "mg_data2.mbl") == newDat2) {
    ASSERT_TRUE(MoveFileExA((game.dir + "mg_data2.mbl").c_str(), (game.dir + "vdn0002.tmp").c_str(), 0));
    ASSERT_TRUE(CreateHardLinkA((game.dir + "mg_data2.mbl").c_str(), (game.dir + "vdn0003.tmp").c_str(), nullptr));
  }
  long msToWindow = 0;
  const std::string after = RestartAndJudge(Variant("SETUP"), game, newExe, newDat2, &msToWindow);
  std::printf("release A stopped after its commit with the folder %s; release B left it %s\n", state.c_str(),
              after.c_str());
  EXPECT_EQ(after, std::string("old"));
}
