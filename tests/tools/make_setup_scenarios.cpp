// Updaters made by make-setup, under Wine: the one the build machine made installs exactly the
// two new files, and packres.exe on Windows makes the very same file from the same inputs.
#include <windows.h>

#include <string>

#include "tests/setup/setup_fixture.h"

using namespace setup_test;

namespace {

const char kGame[] = "C:\\Game\\";

// The version text Windows reads from a program's version resource.
std::string FileVersion(const std::string& path, const char* value) {
  DWORD ignored = 0;
  std::vector<char> info(GetFileVersionInfoSizeA(path.c_str(), &ignored));
  if (info.empty() || !GetFileVersionInfoA(path.c_str(), 0, static_cast<DWORD>(info.size()), info.data()))
    return "(none)";
  char* text = nullptr;
  UINT length = 0;
  const std::string key = std::string("\\StringFileInfo\\041104B0\\") + value;
  if (!VerQueryValueA(info.data(), key.c_str(), reinterpret_cast<void**>(&text), &length)) return "(none)";
  return text;
}

int RunPackres(const std::vector<std::string>& args) {
  Process p = Process::Launch("packres.exe", args, AppDir());
  E2E_ASSERT(p.Started());
  const std::optional<DWORD> code = p.WaitExit(60000);
  E2E_ASSERT(code.has_value());
  return static_cast<int>(*code);
}

}  // namespace

TEST(MakeSetup, made_updater_installs_the_new_files) {
  OldGame game(kGame);
  Process p = LaunchWithGameDir(kGame, "MADE.exe");
  HWND notice = UpdateToNotice(p);
  ASSERT_TRUE(notice);
  EXPECT_TRUE(SameAsBuildInput("C:\\Game\\VELDRAN.EXE", "new_exe.bin"));
  EXPECT_TRUE(SameAsBuildInput("C:\\Game\\mg_data2.mbl", "new_dat2.bin"));
  EXPECT_TRUE(ReadAll("C:\\Game\\VELDRAN.EXE") != ReadAll(AppDir() + "new_dat2.bin"));
  EXPECT_TRUE(game.DataUnchanged());
  EXPECT_EQ(game.Strays().size(), size_t{0});
  ButtonClick(Control(notice, "OK"));
  EXPECT_EQ(p.WaitExit(), std::optional<DWORD>(0));
  EXPECT_EQ(FileVersion(AppDir() + "SETUP.exe", "FileVersion"), std::string(UPDATE_VERSION));
  EXPECT_EQ(FileVersion(AppDir() + "MADE.exe", "FileVersion"), std::string("1.0.2"));
  EXPECT_EQ(FileVersion(AppDir() + "MADE.exe", "ProductVersion"), std::string("1.0.2"));
}

// The Windows tool: the same bytes as the build machine's, its own output replaced and another
// file refused, Japanese file names, and the stub or a file refused as the output however it is
// spelt or linked.
TEST(MakeSetup, windows_packres_makes_the_same_updater) {
  const std::vector<std::string> inputs = {"--exe", "new_exe.bin", "--dat2", "new_dat2.bin", "--version", "1.0.2"};
  auto makeSetup = [&](const std::string& stub, const std::string& out) {
    std::vector<std::string> args = {"make-setup", stub, out};
    args.insert(args.end(), inputs.begin(), inputs.end());
    return RunPackres(args);
  };
  const std::vector<char> stub = ReadAll(AppDir() + "SETUP.exe");
  WriteText(AppDir() + "WIN.exe", "not made by make-setup");
  EXPECT_EQ(makeSetup("SETUP.exe", "win.EXE"), 1);
  ASSERT_TRUE(CopyFileA((AppDir() + "MADE.exe").c_str(), (AppDir() + "WIN.exe").c_str(), FALSE));
  EXPECT_EQ(makeSetup("SETUP.exe", "WIN.exe"), 0);  // an updater it made is replaced
  const std::vector<char> made = ReadAll(AppDir() + "MADE.exe");
  EXPECT_TRUE(!made.empty() && ReadAll(AppDir() + "WIN.exe") == made);

  // Japanese names, as a publisher's folders have them, in the ANSI code page.
  ASSERT_TRUE(CopyFileA((AppDir() + "SETUP.exe").c_str(), (AppDir() + "元の更新.exe").c_str(), FALSE));
  EXPECT_EQ(makeSetup("元の更新.exe", "新しい更新.exe"), 0);
  EXPECT_TRUE(ReadAll(AppDir() + "新しい更新.exe") == made);

  EXPECT_EQ(makeSetup("SETUP.exe", "c:\\APP\\setup.EXE"), 1);
  EXPECT_TRUE(ReadAll(AppDir() + "SETUP.exe") == stub);
  EXPECT_EQ(makeSetup("new_exe.bin", "NOT.exe"), 1);
  EXPECT_TRUE(!Exists(AppDir() + "NOT.exe"));
  const std::vector<char> newExe = ReadAll(AppDir() + "new_exe.bin");
  ASSERT_TRUE(CreateHardLinkA((AppDir() + "LINK.bin").c_str(), (AppDir() + "new_exe.bin").c_str(), nullptr));
  EXPECT_EQ(makeSetup("SETUP.exe", "link.BIN"), 1);
  EXPECT_TRUE(ReadAll(AppDir() + "new_exe.bin") == newExe);
}


// Ctrl+C at packres.exe's console while it packs: its temporary files go and it ends as Ctrl+C
// ends a program. (Wine 8 refuses to generate Ctrl+Break, and closing a console ends its programs
// without a close event: only Ctrl+C reaches the handler here.)
TEST(MakeSetup, ctrl_c_removes_the_temporary_files) {
  std::vector<char> big = ReadAll(AppDir() + "packres.exe");
  for (uint32_t x = 1; big.size() < (64u << 20);) big.push_back(static_cast<char>(x ^= x << 13, x ^= x >> 17, x ^= x << 5));
  WriteAll(AppDir() + "big.exe", big);
  std::string line = "packres.exe make-setup SETUP.exe out.exe --exe big.exe --dat2 new_dat2.bin";
  STARTUPINFOA si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};  // a console of its own, which this test can attach to
  ASSERT_TRUE(CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, CREATE_NEW_CONSOLE, nullptr,
                             AppDir().c_str(), &si, &pi));
  win32::KernelHandle process(pi.hProcess), thread(pi.hThread);
  WIN32_FIND_DATAA found{};
  auto packing = [&] {  // a temporary file beside the output has bytes in it
    win32::FindHandle find(FindFirstFileA((AppDir() + "out.exe.*").c_str(), &found));
    for (bool more = find.Get() != INVALID_HANDLE_VALUE; more; more = FindNextFileA(find.Get(), &found))
      if (found.nFileSizeLow > 0) return true;
    return false;
  };
  for (int i = 0; i < 3000 && !packing(); ++i) Sleep(10);
  FreeConsole();
  ASSERT_TRUE(AttachConsole(pi.dwProcessId) && SetConsoleCtrlHandler(nullptr, TRUE));
  ASSERT_TRUE(GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0));
  DWORD code = 0;
  EXPECT_TRUE(WaitForSingleObject(pi.hProcess, 20000) == WAIT_OBJECT_0 && GetExitCodeProcess(pi.hProcess, &code));
  TerminateProcess(pi.hProcess, 1);
  EXPECT_EQ(code, static_cast<DWORD>(STATUS_CONTROL_C_EXIT));
  EXPECT_TRUE(!Exists(AppDir() + "out.exe") && FindFirstFileA((AppDir() + "out.exe.*").c_str(), &found) == INVALID_HANDLE_VALUE);
}
