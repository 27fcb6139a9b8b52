// Helpers of the end-to-end scenarios of SETUP.exe: the prefix's registry value, the game folder
// with the previous release's files, a tree for the search to walk, and the program's windows.
#pragma once

#include <windows.h>

#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "base/win32/handles.h"
#include "tests/e2e/driver/driver.h"

namespace setup_test {

using namespace e2e;

inline const char kKey[] = "Software\\KORVA\\VELDRAN";

inline void SetGameDirRaw(DWORD type, const void* data, DWORD size) {
  HKEY opened = nullptr;
  E2E_ASSERT(RegCreateKeyExA(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &opened, nullptr) ==
              ERROR_SUCCESS);
  win32::RegistryKey key(opened);
  E2E_ASSERT(RegSetValueExA(key.Get(), "GameDir", 0, type, static_cast<const BYTE*>(data), size) == ERROR_SUCCESS);
}

inline void SetGameDir(const std::string& folder) {
  SetGameDirRaw(REG_SZ, folder.c_str(), static_cast<DWORD>(folder.size() + 1));
}

inline void DeleteGameDir() {
  HKEY opened = nullptr;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, kKey, 0, KEY_ALL_ACCESS, &opened) == ERROR_SUCCESS) {
    win32::RegistryKey key(opened);
    RegDeleteValueA(key.Get(), "GameDir");
  }
}

// The recorded folder, or "(none)" when there is no string value.
inline std::string GameDirValue() {
  char data[1024];
  DWORD size = sizeof data - 1, type = 0;
  HKEY opened = nullptr;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, kKey, 0, KEY_READ, &opened) != ERROR_SUCCESS) return "(none)";
  win32::RegistryKey key(opened);
  LONG rc = RegQueryValueExA(key.Get(), "GameDir", nullptr, &type, reinterpret_cast<BYTE*>(data), &size);
  if (rc != ERROR_SUCCESS || type != REG_SZ) return "(none)";
  data[size] = 0;
  return data;
}

inline std::vector<char> ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<char>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteAll(const std::string& path, const std::vector<char>& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  E2E_ASSERT(out.good());
}

inline void WriteText(const std::string& path, const std::string& text) {
  WriteAll(path, std::vector<char>(text.begin(), text.end()));
}

inline bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// True when the installed file holds exactly the build input copied beside the test program.
inline bool SameAsBuildInput(const std::string& installed, const std::string& input) {
  std::vector<char> expected = ReadAll(AppDir() + input);
  return !expected.empty() && ReadAll(installed) == expected;
}

// Enough folders below root for a search of its drive to be seen at work (and aborted).
inline void PlantTree(const std::string& root) {
  CreateDirectoryA(root.c_str(), nullptr);
  for (int a = 0; a < 30; ++a) {
    const std::string shelf = root + "\\Shelf" + std::to_string(a);
    CreateDirectoryA(shelf.c_str(), nullptr);
    for (int b = 0; b < 30; ++b) {
      const std::string box = shelf + "\\Box" + std::to_string(b);
      CreateDirectoryA(box.c_str(), nullptr);
      for (int c = 0; c < 4; ++c) CreateDirectoryA((box + "\\Folder" + std::to_string(c)).c_str(), nullptr);
    }
  }
}

// The previous release's three files, with contents that no update writes.
struct OldGame {
  std::string dir;
  std::vector<char> exe, data, data2;

  explicit OldGame(std::string folder) : dir(std::move(folder)) {
    exe.assign(4000, 'E');
    data.assign(3000, 'M');
    data2.assign(2000, 'D');
    CreateDirectoryA(dir.c_str(), nullptr);
    WriteAll(dir + "VELDRAN.EXE", exe);
    WriteAll(dir + "mg_data.mbl", data);
    WriteAll(dir + "mg_data2.mbl", data2);
  }

  bool ExeUnchanged() const { return ReadAll(dir + "VELDRAN.EXE") == exe; }
  bool DataUnchanged() const { return ReadAll(dir + "mg_data.mbl") == data; }
  bool Data2Unchanged() const { return ReadAll(dir + "mg_data2.mbl") == data2; }
  bool AllUnchanged() const { return ExeUnchanged() && DataUnchanged() && Data2Unchanged(); }

  // Files of the folder other than the three: a staged file left behind would show here.
  std::vector<std::string> Strays() const {
    std::vector<std::string> names;
    WIN32_FIND_DATAA entry;
    win32::FindHandle find(FindFirstFileA((dir + "*").c_str(), &entry));
    if (!find) return names;
    do {
      const std::string name = entry.cFileName;
      if (name == "." || name == ".." || name == "VELDRAN.EXE" || name == "mg_data.mbl" || name == "mg_data2.mbl")
        continue;
      names.push_back(name);
    } while (FindNextFileA(find.Get(), &entry));
    return names;
  }
};

inline void ExpectNoStrays(const OldGame& game) {
  for (const std::string& stray : game.Strays()) Fail(__FILE__, __LINE__, "left behind: " + stray);
}

// A copy of a variant of the program, under the name that gives the application title "Setup".
inline std::string Variant(const char* name) {
  const std::string dir = std::string("C:\\") + name + "\\";
  CreateDirectoryA(dir.c_str(), nullptr);
  E2E_ASSERT(CopyFileA((AppDir() + name + ".exe").c_str(), (dir + "SETUP.exe").c_str(), FALSE));
  return dir + "SETUP.exe";
}

inline HWND WaitMain(const Process& p, int timeoutMs = kTimeoutMs) {
  return WaitWindow(p.Id(), "TForm1", "アップデーター", timeoutMs);
}
// The usual start of a scenario: the game folder recorded in the registry, then the program
// launched. UpdateFailure and UpdateToNotice wait for the main window of what this returns.
inline Process LaunchWithGameDir(const std::string& folder, const std::string& program = "SETUP.exe") {
  SetGameDir(folder);
  return Process::Launch(program);
}

// The same start, then the main window awaited: main is nullptr when none came.
//   auto [p, main] = StartWithGameDir(kGame);
//   ASSERT_TRUE(main);
struct Started {
  Process process;
  HWND main = nullptr;
};
inline Started StartWithGameDir(const std::string& folder, const std::string& program = "SETUP.exe",
                                int timeoutMs = kTimeoutMs) {
  Started started{LaunchWithGameDir(folder, program)};
  started.main = WaitMain(started.process, timeoutMs);
  return started;
}

inline HWND WaitFinder(const Process& p) { return WaitWindow(p.Id(), "TForm3", "インストール先不明"); }

// Runs `act` while the sweep that `finder` runs is held (its thread suspended) in the first 12
// of the 30 shelves of the tree PlantTree made at C:\Library (the listing gives them in name
// order: Shelf0, Shelf1, Shelf10 to Shelf19). What `act` posts then reaches the sweep while it
// still runs, however fast it walks: it handles its messages once a frame, and the 18 shelves
// left take many frames. False when the sweep was not seen there.
inline bool WhileSweepHeldInLibrary(HWND finder, const std::function<void()>& act) {
  HWND label = FindControl(finder, "Label6");
  E2E_ASSERT(label);
  const std::string shelf = "検索中 C:\\\\Library\\Shelf";
  return WaitUntil([&] {
    HeldThread held(finder);
    E2E_ASSERT(held.Held());
    const std::string at = StoredText(label);
    if (at.size() <= shelf.size() || at.compare(0, shelf.size(), shelf) != 0) return false;
    if (at[shelf.size()] != '0' && at[shelf.size()] != '1') return false;
    act();
    return true;
  });
}

inline HWND Control(HWND form, const char* name) {
  HWND control = FindControl(form, name);
  if (!control) Fail(__FILE__, __LINE__, std::string("no control ") + name);
  return control;
}

inline HWND WaitChooser(const Process& p) { return WaitWindow(p.Id(), "TSelectDirDlg", "ディレクトリの選択"); }

// Types a folder into the folder chooser and accepts it with OK.
inline void ChooseTyped(HWND chooser, const std::string& folder) {
  SetText(Control(chooser, "DirEdit"), folder);
  ButtonClick(Control(chooser, "OKButton"));
}

// The error report: a message box under the application title; returns its text.
inline std::string WaitErrorBox(const Process& p, HWND* box, int timeoutMs = kTimeoutMs) {
  HWND found = WaitWindow(p.Id(), "#32770", "Setup", timeoutMs);
  *box = found;
  if (!found) return "(no error box)";
  return Text(GetDlgItem(found, 0xFFFF));
}

inline void DismissBox(HWND box) {
  ButtonClick(GetDlgItem(box, IDOK));
  EXPECT_TRUE(WaitGone(box));
}

// Starts the program with the game folder recorded, clicks "アップデート開始" and returns the
// error report's text; the box is dismissed, the window closed and the exit code checked.
inline std::string UpdateFailure(Process& p) {
  HWND main = WaitMain(p);
  if (!main) return "(no main window)";
  ButtonClick(Control(main, "Button1"));
  HWND box = nullptr;
  std::string text = WaitErrorBox(p, &box, 60000);
  if (box) DismissBox(box);
  for (const char* name : {"Button1", "Button3", "Button4"}) EXPECT_TRUE(!IsEnabled(Control(main, name)));
  CloseBox(main);
  EXPECT_EQ(p.WaitExit(), std::optional<DWORD>(0));
  return text;
}

// Starts the update in a running program whose game folder is recorded: clicks "アップデート開始"
// and waits for the completion notice, whose text it checks; nullptr when no notice came.
inline HWND UpdateToNotice(Process& p, HWND* mainOut = nullptr) {
  HWND main = WaitMain(p);
  if (mainOut) *mainOut = main;
  if (!main) return nullptr;
  ButtonClick(Control(main, "Button1"));
  HWND notice = WaitWindow(p.Id(), "TMessageForm", "情報", 60000);
  if (notice) {
    EXPECT_EQ(Text(Control(notice, "Message")), std::string("アップデート完了しました"));
  }
  return notice;
}

// A value of a type other than a string: reported at creation and after the finder (which is
// shown since the folder stays unknown), then the main window; the program ends normally.
inline void ExpectWrongType(DWORD type, const std::vector<char>& data) {
  SetGameDirRaw(type, data.data(), static_cast<DWORD>(data.size()));
  Process p = Process::Launch("SETUP.exe");
  HWND box = nullptr;
  EXPECT_EQ(WaitErrorBox(p, &box), std::string("'GameDir' のデータ型が不正です."));
  E2E_ASSERT(box);
  DismissBox(box);
  HWND finder = WaitFinder(p);
  E2E_ASSERT(finder);
  ButtonClick(Control(finder, "Button3"));
  EXPECT_EQ(WaitErrorBox(p, &box), std::string("'GameDir' のデータ型が不正です."));
  E2E_ASSERT(box);
  DismissBox(box);
  HWND main = WaitMain(p);
  E2E_ASSERT(main);
  CloseBox(main);
  EXPECT_EQ(p.WaitExit(), std::optional<DWORD>(0));
}

}  // namespace setup_test
