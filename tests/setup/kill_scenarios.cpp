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

