// The folder chooser end to end where SETUP.exe cannot take it: chooser_host opens it with
// another folder than the empty one, other options or help context 0, and each scenario checks
// what the caller gets back (the folder string, the help context asked for). The chooser as a
// player reaches it, through SETUP.exe, is tested in tests/setup/chooser_scenarios.cpp.
#include <windows.h>

#include <fstream>
#include <string>

#include "tests/dialogs/chooser_window.h"

using namespace chooser_test;

namespace {

struct Outcome {
  std::optional<DWORD> exitCode;
  std::string result;  // "accepted", "declined" or "failed"
  std::string folder;
  std::string currentFolder;
  std::string helpContext;
};

// The chooser opened by chooser_host in currentDir.
class Chooser : public ChooserWindow {
 public:
  Chooser(const std::string& folder, unsigned options, int helpContext, const std::string& currentDir = "C:\\app")
      : resultFile_(AppDir() + "chooser_result.txt") {
    DeleteFileA(resultFile_.c_str());
    process_ = Process::Launch("chooser_host.exe",
                               {folder, std::to_string(options), std::to_string(helpContext), resultFile_}, currentDir);
    E2E_ASSERT(process_.Started());
    HWND hwnd = WaitWindow(process_.Id(), "TSelectDirDlg", "ディレクトリの選択");
    E2E_ASSERT(hwnd != nullptr);
    Attach(process_.Id(), hwnd);
  }

  Outcome Finish() {
    Outcome o;
    o.exitCode = process_.WaitExit();
    std::ifstream in(resultFile_, std::ios::binary);
    std::getline(in, o.result);
    std::getline(in, o.folder);
    std::getline(in, o.currentFolder);
    std::getline(in, o.helpContext);
    return o;
  }

 private:
  std::string resultFile_;
  Process process_;
};

void ExpectOutcome(const Outcome& o, DWORD code, const std::string& result, const std::string& folder) {
  EXPECT_EQ(o.exitCode, std::optional<DWORD>(code));
  EXPECT_EQ(o.result, result);
  EXPECT_EQ(o.folder, folder);
}

}  // namespace

// ---- Opening ----------------------------------------------------------------------------------

// A given folder is opened; a relative one from the current folder; one that cannot be entered
// leaves the chooser at the current folder.
TEST(Chooser, initial_folder_forms) {
  struct Case {
    const char* given;
    const char* opened;
  };
  for (const Case& k : {Case{"C:\\windows", "C:\\windows"}, Case{"..", "C:\\"}, Case{"C:\\no\\such", "C:\\app"},
                        Case{"C:\\app\\", "C:\\app"}}) {
    Chooser c(k.given, kAllOptions, 1000);
    c.WaitEditText(k.opened);
    ButtonClick(c.Control("CancelButton"));
    ExpectOutcome(c.Finish(), 0, "declined", k.given);
  }
}

TEST(Chooser, no_help_context_moves_buttons) {
  Chooser c("", kAllOptions, 0);
  EXPECT_TRUE(!IsVisible(c.Control("HelpButton")));
  EXPECT_EQ(Bounds(c.Control("OKButton")), std::string("256,224,77,27"));
  EXPECT_EQ(Bounds(c.Control("CancelButton")), std::string("340,224,77,27"));
  Escape();
  ExpectOutcome(c.Finish(), 0, "declined", "");
}

// The help context asked of the application is what only the host reports.
TEST(Chooser, help_button_keeps_chooser_open) {
  Chooser c("", kAllOptions, 1000);
  ButtonClick(c.Control("HelpButton"));
  Pause(500);
  EXPECT_TRUE(IsVisible(c.Window()));
  ButtonClick(c.Control("CancelButton"));
  Outcome o = c.Finish();
  ExpectOutcome(o, 0, "declined", "");
  EXPECT_EQ(o.helpContext, std::string("1000"));
}

// ---- Accepting ----------------------------------------------------------------------------------

// Without EditablePath the path is a label, and the full path it holds is returned.
TEST(Chooser, label_mode_returns_full_path) {
  MakeFolders({"C:\\app\\a folder with a rather long name", "C:\\app\\a folder with a rather long name\\and more"});
  const std::string deep = "C:\\app\\a folder with a rather long name\\and more";
  Chooser c(deep, 0, 1000);
  HWND label = c.Control("DirLabel");
  EXPECT_TRUE(IsVisible(label));
  EXPECT_TRUE(!IsVisible(c.Control("DirEdit")));
  EXPECT_EQ(Text(label), deep);
  EXPECT_EQ(Bounds(label), std::string("8,24,313,20"));
  ButtonClick(c.Control("OKButton"));
  ExpectOutcome(c.Finish(), 1, "accepted", deep);
}

// ---- Declining ----------------------------------------------------------------------------------

TEST(Chooser, cancel_escape_close_box_leave_folder) {
  for (int way = 0; way < 3; ++way) {
    Chooser c("C:\\windows", kAllOptions, 1000);
    c.WaitEditText("C:\\windows");
    if (way == 0) {
      ButtonClick(c.Control("CancelButton"));
    } else if (way == 1) {
      EXPECT_TRUE(Activate(c.Window()));
      Escape();
    } else {
      CloseBox(c.Window());
    }
    ExpectOutcome(c.Finish(), 0, "declined", "C:\\windows");
  }
}

// ---- Scaling ------------------------------------------------------------------------------------

// Without help the two buttons take the scaled places of Cancel and Help.
TEST(ChooserDpi120, scaled_layout_without_help_dpi120) {
  Chooser noHelp("", kAllOptions, 0);
  EXPECT_EQ(Bounds(noHelp.Control("OKButton")), std::string("320,280,96,34"));
  EXPECT_EQ(Bounds(noHelp.Control("CancelButton")), std::string("425,280,96,34"));
  ButtonClick(noHelp.Control("CancelButton"));
  ExpectOutcome(noHelp.Finish(), 0, "declined", "");
}
