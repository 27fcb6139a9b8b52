// Start-up failures end to end: a window that cannot be created is reported once, under the
// application title, and the program then ends with exit code 0. Runs SETUP_creation_fault, a
// copy of SETUP.exe with a creation fault chosen through SETUP_CREATION_FAULT.
#include <windows.h>

#include <string>

#include "dialogs/error_text.h"
#include "tests/setup/setup_fixture.h"

using namespace setup_test;

namespace {

// The copy's file name gives the title.
const char kTitle[] = "Setup_creation_fault";

// The platform's text for an error code, as the error report shows it (with its "." rule).
std::string PlatformMessage(DWORD code) {
  char text[512] = {};
  DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, text,
                                sizeof text, nullptr);
  std::string message(text, length);
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == ' ')) {
    message.pop_back();
  }
  return message.empty() ? message : ErrorReportText(message);
}

// Starts the copy with the fault, expects one box with that text and a normal end without any
// window of the program having been shown.
void ExpectReportedOnceThenExit0(const char* fault, const std::string& text) {
  DeleteGameDir();
  SetEnvironmentVariableA("SETUP_CREATION_FAULT", fault);
  Process p = Process::Launch("SETUP_creation_fault.exe");
  SetEnvironmentVariableA("SETUP_CREATION_FAULT", nullptr);
  HWND box = WaitWindow(p.Id(), "#32770", kTitle);
  ASSERT_TRUE(box);
  EXPECT_EQ(Text(GetDlgItem(box, 0xFFFF)), text);
  EXPECT_TRUE(!FindTopWindow(p.Id(), "TForm1", nullptr));
  EXPECT_TRUE(!FindTopWindow(p.Id(), "TForm3", nullptr));
  DismissBox(box);
  // A second report would hold the program open: it has to end on its own now.
  EXPECT_EQ(p.WaitExit(), std::optional<DWORD>(0));
}

}  // namespace

TEST(StartupFailure, refused_main_window) {
  std::string message = PlatformMessage(ERROR_NOT_ENOUGH_MEMORY);
  ASSERT_TRUE(!message.empty());
  ExpectReportedOnceThenExit0("refuse:TForm1", message);
}

TEST(StartupFailure, refused_application_window) {
  ExpectReportedOnceThenExit0("refuse:TApplication", PlatformMessage(ERROR_NOT_ENOUGH_MEMORY));
}

// Memory runs out while the finder dialog is being built, after the main window exists.
TEST(StartupFailure, out_of_memory_building_finder) {
  ExpectReportedOnceThenExit0("memory:TForm3", "メモリが不足しています.");
}

