// DLL planting under Wine: drive D: is a download folder holding SETUP.exe and a DLL for every
// unprotected DLL name the program file mentions (made by plant.cmake), and Wine is told to
// prefer DLLs beside the program, as Windows does for unprotected names. Each planted DLL leaves
// a marker when loaded; none may appear while the program starts, opens the folder chooser
// (which lists the network drive G:, so that its run-time loads happen) and ends.
#include <windows.h>

#include <string>
#include <vector>

#include "tests/setup/setup_fixture.h"

using namespace setup_test;

namespace {

const char kDownloads[] = "D:\\";

// Files of the download folder matching pattern.
std::vector<std::string> FilesLike(const std::string& pattern) {
  std::vector<std::string> names;
  WIN32_FIND_DATAA entry;
  HANDLE h = FindFirstFileA((kDownloads + pattern).c_str(), &entry);
  if (h == INVALID_HANDLE_VALUE) return names;
  do names.push_back(entry.cFileName);
  while (FindNextFileA(h, &entry));
  FindClose(h);
  return names;
}

// The markers the planted DLLs leave are "NAME.dll.loaded" (see planted_dll.cpp).
void ExpectNoMarkers(const char* when) {
  for (const std::string& marker : FilesLike("*.loaded")) {
    Fail(__FILE__, __LINE__, "planted DLL loaded " + std::string(when) + ": " + marker);
  }
}

// The drive list's entries, read in UTF-16 across the process boundary; ASCII is all that is
// looked at here.
std::vector<std::string> DriveEntries(HWND list) {
  std::vector<std::string> entries;
  LRESULT count = SendMessageW(list, CB_GETCOUNT, 0, 0);
  for (LRESULT i = 0; i < count; ++i) {
    wchar_t text[256] = {};
    if (SendMessageW(list, CB_GETLBTEXTLEN, static_cast<WPARAM>(i), 0) >= 255) continue;
    SendMessageW(list, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text));
    std::string entry;
    for (const wchar_t* c = text; *c; ++c) entry += *c < 0x80 ? static_cast<char>(*c) : '?';
    entries.push_back(entry);
  }
  return entries;
}

}  // namespace

TEST(Planting, planted_dlls_stay_unloaded) {
  const std::vector<std::string> planted = FilesLike("*.dll");
  // Nothing planted would prove nothing.
  ASSERT_TRUE(!planted.empty());
  for (const std::string& name : planted) std::printf("planted %s\n", name.c_str());
  ExpectNoMarkers("before the start");

  DeleteGameDir();
  Process p = Process::Launch(std::string(kDownloads) + "SETUP.exe", {}, kDownloads);
  HWND finder = WaitFinder(p);
  ASSERT_TRUE(finder);
  ExpectNoMarkers("at start");

  ButtonClick(Control(finder, "Button2"));
  HWND chooser = WaitChooser(p);
  ASSERT_TRUE(chooser);
  bool networkListed = false;
  for (const std::string& entry : DriveEntries(Control(chooser, "DriveList")))
    networkListed |= entry.rfind("g:", 0) == 0;
  EXPECT_TRUE(networkListed);
  ExpectNoMarkers("by the folder chooser");

  ButtonClick(Control(chooser, "CancelButton"));
  EXPECT_TRUE(WaitGone(chooser));
  ButtonClick(Control(finder, "Button3"));
  EXPECT_EQ(p.WaitExit(), std::optional<DWORD>(0));
  ExpectNoMarkers("by the end");
}

