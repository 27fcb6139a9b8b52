// The folder chooser end to end in the shipped program, opened as a player opens it: SETUP.exe
// started with no folder recorded, "手動設定" on the finder "インストール先不明" (an empty folder,
// every option, help context 1000). What the chooser hands back shows in what SETUP.exe does
// with it: a folder holding "mg_data.mbl" is recorded with "\" appended and the main window comes
// up; anything else leaves the finder open with nothing recorded. The states SETUP.exe never
// opens the chooser in are tested through chooser_host (tests/dialogs/chooser_scenarios.cpp).
#include <windows.h>

#include <string>

#include "tests/dialogs/chooser_window.h"
#include "tests/setup/setup_fixture.h"

using namespace chooser_test;
using namespace setup_test;

namespace {

// SETUP.exe started in currentDir with no folder recorded, and its chooser opened.
class PlayerChooser : public ChooserWindow {
 public:
  explicit PlayerChooser(const std::string& currentDir = "C:\\app") {
    DeleteGameDir();
    process_ = Process::Launch("SETUP.exe", {}, currentDir);
    E2E_ASSERT(process_.Started());
    finder_ = WaitFinder(process_);
    E2E_ASSERT(finder_ != nullptr);
    Open();
  }

  // The chooser's client area has this size and the window is centred on the screen.
  void ExpectCentredClient(int width, int height) {
    RECT client = ClientRect(Window());
    EXPECT_EQ(Width(client), width);
    EXPECT_EQ(Height(client), height);
    RECT outer = ScreenRect(Window());
    EXPECT_EQ(static_cast<int>(outer.left), Centred(GetSystemMetrics(SM_CXSCREEN), Width(outer)));
    EXPECT_EQ(static_cast<int>(outer.top), Centred(GetSystemMetrics(SM_CYSCREEN), Height(outer)));
  }

  const Process& Program() const { return process_; }
  HWND Finder() const { return finder_; }

  // "手動設定" on the finder: the chooser comes up.
  void Open() {
    ButtonClick(setup_test::Control(finder_, "Button2"));
    HWND chooser = WaitChooser(process_);
    E2E_ASSERT(chooser != nullptr);
    Attach(process_.Id(), chooser);
  }

  // The chooser handed back a folder holding the marker: it is recorded and the main window
  // comes up in place of the finder.
  HWND ExpectRecorded(const std::string& recorded) {
    HWND main = WaitMain(process_);
    E2E_ASSERT(main != nullptr);
    EXPECT_TRUE(!IsVisible(finder_));
    EXPECT_EQ(GameDirValue(), recorded);
    return main;
  }

  // The chooser went without handing back a folder the finder takes: the finder stays, with
  // nothing recorded.
  void ExpectFinderStays() {
    EXPECT_TRUE(WaitGone(Window()));
    // Answered once the finder's click handler has returned to the message loop.
    DWORD_PTR ignored = 0;
    EXPECT_TRUE(SendMessageTimeoutA(finder_, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, kTimeoutMs, &ignored) != 0);
    EXPECT_TRUE(IsVisible(finder_));
    EXPECT_EQ(GameDirValue(), std::string("(none)"));
  }

  // "終了" on the finder: with no folder recorded the program ends.
  void Leave() {
    ButtonClick(setup_test::Control(finder_, "Button3"));
    EXPECT_EQ(process_.WaitExit(), std::optional<DWORD>(0));
  }

  void CloseMain(HWND main) {
    CloseBox(main);
    EXPECT_EQ(process_.WaitExit(), std::optional<DWORD>(0));
  }

 private:
  Process process_;
  HWND finder_ = nullptr;
};

}  // namespace

// ---- Opening ----------------------------------------------------------------------------------

TEST(Chooser, opens_at_current_folder) {
  PlayerChooser c;
  c.ExpectCentredClient(424, 255);

  EXPECT_EQ(Text(c.Control("Label1")), std::string("ディレクトリ名(&N):"));
  EXPECT_TRUE(IsVisible(c.Control("Label1")));
  EXPECT_EQ(Bounds(c.Control("DirEdit")), std::string("8,24,313,20"));
  EXPECT_TRUE(IsVisible(c.Control("DirEdit")));
  EXPECT_TRUE(!IsVisible(c.Control("DirLabel")));
  EXPECT_EQ(c.EditText(), std::string("C:\\app"));
  EXPECT_TRUE(c.EditAllSelected());

  struct Button {
    const char* name;
    const char* caption;
    const char* bounds;
  };
  for (const Button& b : {Button{"OKButton", "OK", "172,224,77,27"}, Button{"CancelButton", "キャンセル", "256,224,77,27"},
                          Button{"HelpButton", "ヘルプ(&H)", "340,224,77,27"}}) {
    HWND h = c.Control(b.name);
    EXPECT_TRUE(IsVisible(h));
    EXPECT_EQ(Text(h), std::string(b.caption));
    EXPECT_EQ(Bounds(h), std::string(b.bounds));
  }
  EXPECT_TRUE(!IsVisible(c.Control("NetButton")));
  struct Label {
    const char* name;
    const char* caption;
    LONG left, top;
  };
  for (const Label& l : {Label{"Label2", "ディレクトリ(&D):", 8, 56}, Label{"Label3", "ファイル(&F): (*.*)", 232, 56},
                         Label{"Label4", "ドライブ(&R):", 232, 176}}) {
    HWND h = c.Control(l.name);
    EXPECT_EQ(Text(h), std::string(l.caption));
    EXPECT_EQ(RectInParent(h).left, l.left);
    EXPECT_EQ(RectInParent(h).top, l.top);
  }

  HWND dirList = c.Control("DirList");
  EXPECT_EQ(FocusOf(c.Window()), dirList);
  ExpectList(c.Control("DirList"), "8,72,213,138", 17, 8);
  ExpectList(c.Control("FileList"), "232,72,185,93", 13, 7);
  EXPECT_EQ(Joined(c.Folders()).substr(0, 9), std::string("C:\\ | app"));
  EXPECT_EQ(SendMessageA(dirList, LB_GETCURSEL, 0, 0), 1);
  std::vector<std::string> files = c.Files();
  EXPECT_TRUE(Contains(files, "SETUP.exe"));
  EXPECT_TRUE(Contains(files, "setup_chooser_e2e.exe"));
  HWND drives = c.Control("DriveList");
  // The closed box's height follows the font's height on this platform.
  EXPECT_EQ(Bounds(drives).substr(0, 12), std::string("232,192,185,"));
  LRESULT sel = SendMessageA(drives, CB_GETCURSEL, 0, 0);
  ASSERT_TRUE(sel >= 0);
  EXPECT_EQ(c.Drives()[static_cast<size_t>(sel)].substr(0, 4), std::string("c: ["));

  // The list bitmaps are drawn: the yellow of the root's folder icon, the lime light of the
  // fixed disk's icon.
  EXPECT_TRUE(HasColour(CaptureClient(dirList), RGB(255, 255, 0), 17));
  EXPECT_TRUE(HasColour(CaptureClient(drives), RGB(0, 255, 0), 24));

  ButtonClick(c.Control("CancelButton"));
  c.ExpectFinderStays();
  c.Leave();
}

// ---- Accepting ----------------------------------------------------------------------------------

// A browsed folder is handed back as its absolute path; the chooser opened next starts there.
TEST(Chooser, accept_browsed_folder) {
  MakeFolders({"C:\\app\\Games", "C:\\app\\Games\\X", "C:\\app\\Games\\Y"});
  WriteText("C:\\app\\Games\\X\\mg_data.mbl", "marker");
  PlayerChooser c;
  c.OpenFolder("Games");
  c.WaitEditText("C:\\app\\Games");
  EXPECT_EQ(Joined(c.Folders()), std::string("C:\\ | app | Games | X | Y"));
  EXPECT_EQ(SendMessageA(c.Control("DirList"), LB_GETCURSEL, 0, 0), 2);
  c.OpenFolder("X");
  c.WaitEditText("C:\\app\\Games\\X");
  EXPECT_TRUE(c.EditAllSelected());
  EXPECT_EQ(Joined(c.Folders()), std::string("C:\\ | app | Games | X"));
  EXPECT_EQ(Joined(c.Files()), std::string("mg_data.mbl"));
  // Enter in the folder list presses the default button.
  EXPECT_TRUE(Focus(c.Control("DirList")));
  Enter();
  HWND main = c.ExpectRecorded("C:\\app\\Games\\X\\");
  // The process's current folder stayed where the player browsed: "アップデート先変更", then
  // "手動設定", opens the chooser there.
  ButtonClick(setup_test::Control(main, "Button4"));
  ASSERT_TRUE(WaitFinder(c.Program()) != nullptr);
  c.Open();
  c.WaitEditText("C:\\app\\Games\\X");
  ButtonClick(c.Control("CancelButton"));
  EXPECT_TRUE(WaitGone(c.Window()));
  ButtonClick(setup_test::Control(c.Finder(), "Button3"));
  EXPECT_TRUE(WaitGone(c.Finder()));
  c.CloseMain(main);
}

TEST(Chooser, accept_drive_root) {
  WriteText("C:\\mg_data.mbl", "marker");
  PlayerChooser c;
  c.OpenFolder("C:\\");
  c.WaitEditText("C:\\");
  EXPECT_EQ(Joined(c.Folders()).substr(0, 3), std::string("C:\\"));
  EXPECT_EQ(SendMessageA(c.Control("DirList"), LB_GETCURSEL, 0, 0), 0);
  ButtonClick(c.Control("OKButton"));
  // The root keeps its backslash, and the finder appends one more.
  c.CloseMain(c.ExpectRecorded("C:\\\\"));
}

// Tab walks DirList, DirEdit, DriveList, OK, Cancel, FileList, Help; the labels' access keys
// move the focus to their controls.
TEST(Chooser, tab_order_and_access_keys) {
  PlayerChooser c;
  const char* const order[] = {"DirEdit", "DriveList", "OKButton", "CancelButton", "FileList", "HelpButton", "DirList"};
  ASSERT_TRUE(FocusOf(c.Window()) == c.Control("DirList"));
  for (const char* name : order) {
    Tab();
    HWND want = c.Control(name);
    bool ok = WaitUntil([&] { return FocusOf(c.Window()) == want; }, 3000);
    if (!ok) Fail(__FILE__, __LINE__, std::string("Tab did not reach ") + name + "; focus on " + ControlName(FocusOf(c.Window())));
  }
  struct AccessKey {
    char key;
    const char* target;
  };
  for (const AccessKey& k : {AccessKey{'N', "DirEdit"}, AccessKey{'R', "DriveList"}, AccessKey{'F', "FileList"}, AccessKey{'D', "DirList"}}) {
    AltKey(k.key);
    HWND want = c.Control(k.target);
    bool ok = WaitUntil([&] { return FocusOf(c.Window()) == want; }, 3000);
    if (!ok) Fail(__FILE__, __LINE__, std::string("Alt+") + k.key + " did not focus " + k.target);
  }
  ButtonClick(c.Control("CancelButton"));
  c.ExpectFinderStays();
  c.Leave();
}

// ---- Creating -----------------------------------------------------------------------------------

TEST(Chooser, typed_missing_folder_no_and_escape_keep_chooser) {
  PlayerChooser c;
  c.Type("C:\\app\\new\\deeper");
  HWND q = c.OkAndQuestion();
  c.Answer(q, "いいえ(&N)");
  EXPECT_TRUE(IsVisible(c.Window()));
  EXPECT_EQ(c.EditText(), std::string("C:\\app\\new\\deeper"));
  q = c.OkAndQuestion();
  EXPECT_TRUE(Activate(q));
  Escape();
  EXPECT_TRUE(WaitGone(q));
  EXPECT_TRUE(IsVisible(c.Window()));
  EXPECT_EQ(c.EditText(), std::string("C:\\app\\new\\deeper"));
  q = c.OkAndQuestion();
  CloseBox(q);
  EXPECT_TRUE(WaitGone(q));
  EXPECT_TRUE(IsVisible(c.Window()));
  ButtonClick(c.Control("CancelButton"));
  c.ExpectFinderStays();
  EXPECT_TRUE(!setup_test::Exists("C:\\app\\new"));
  c.Leave();
}

// "はい(&Y)" on a typed path: the chooser closes and the folder is created with its parents where
// that can be done; none of them holds the marker, so the finder stays. An empty path, or a new
// relative name of three or more bytes, fails after the chooser is gone and the error report
// shows it. One run of the program opens the chooser for each case.
TEST(Chooser, typed_path_answered_yes) {
  struct Case {
    const char* typed;
    bool fails;
    const char* made;  // a folder that must exist afterwards
  };
  const Case cases[] = {
      {"C:\\app\\new\\deeper\\", false, "C:\\app\\new\\deeper"},
      {"C:\\app\\表\\ソ", false, "C:\\app\\表\\ソ"},  // trail bytes 5C are no separators
      {"Q:\\nowhere\\x", false, nullptr},                // cannot be made, still accepted
      {"ab", false, nullptr},                              // too short to make
      {"abc", true, nullptr},
      {"", true, nullptr},
  };
  PlayerChooser c;
  for (const Case& k : cases) {
    if (&k != cases) c.Open();
    c.Type(k.typed);
    c.Answer(c.OkAndQuestion(), "はい(&Y)");
    EXPECT_TRUE(WaitGone(c.Window())) << k.typed;
    if (k.fails) c.ExpectErrorReport("Setup", "ディレクトリを作成できません.");
    c.ExpectFinderStays();
    if (k.made) {
      EXPECT_TRUE(setup_test::Exists(k.made));
    }
  }
  EXPECT_TRUE(!setup_test::Exists("C:\\app\\ab"));
  EXPECT_TRUE(!setup_test::Exists("C:\\app\\abc"));
  c.Leave();
}

// An existing folder typed in is accepted at once, as typed: watched from OK until the main
// window shows, no question comes up.
TEST(Chooser, typed_existing_folder_accepted_without_question) {
  WriteText("C:\\windows\\mg_data.mbl", "marker");
  PlayerChooser c;
  c.Type("..\\windows");
  ButtonClick(c.Control("OKButton"));
  const DWORD pid = c.Pid();
  EXPECT_EQ(CountShowingUntil({&c.Program()}, "TMessageForm", [&] { return FindTopWindow(pid, "TForm1", nullptr) != nullptr; }),
            0);
  c.CloseMain(c.ExpectRecorded("..\\windows\\"));
}

// A folder name whose trail byte is 5C ("ソ" is 83 5C) stays whole in the list and the path.
TEST(Chooser, shift_jis_folder_browsed) {
  MakeFolders({"C:\\app\\ソフト"});
  WriteText("C:\\app\\ソフト\\mg_data.mbl", "marker");
  PlayerChooser c;
  c.OpenFolder("ソフト");
  c.WaitEditText("C:\\app\\ソフト");
  EXPECT_EQ(Joined(c.Folders()), std::string("C:\\ | app | ソフト"));
  ButtonClick(c.Control("OKButton"));
  c.CloseMain(c.ExpectRecorded("C:\\app\\ソフト\\"));
}

// ---- Declining ----------------------------------------------------------------------------------

// Browsing and then cancelling still moves the process's current folder: the next chooser opens
// at the browsed folder.
TEST(Chooser, browse_then_cancel_keeps_current_folder) {
  MakeFolders({"C:\\app\\Games"});
  PlayerChooser c;
  c.OpenFolder("Games");
  c.WaitEditText("C:\\app\\Games");
  ButtonClick(c.Control("CancelButton"));
  c.ExpectFinderStays();
  c.Open();
  c.WaitEditText("C:\\app\\Games");
  ButtonClick(c.Control("CancelButton"));
  c.ExpectFinderStays();
  c.Leave();
}

// ---- Failures while browsing --------------------------------------------------------------------

// A folder that vanished after it was listed cannot be entered: the error report shows it and
// the chooser stays open where it was.
TEST(Chooser, vanished_folder_reports_and_stays_open) {
  MakeFolders({"C:\\app\\Gone"});
  WriteText("C:\\app\\mg_data.mbl", "marker");
  PlayerChooser c;
  ASSERT_TRUE(RemoveDirectoryA("C:\\app\\Gone"));
  c.OpenFolder("Gone");
  c.ExpectErrorReport("Setup", "ファイルが見つかりません.");
  EXPECT_TRUE(IsVisible(c.Window()));
  EXPECT_EQ(c.EditText(), std::string("C:\\app"));
  ButtonClick(c.Control("OKButton"));
  c.CloseMain(c.ExpectRecorded("C:\\app\\"));
}

// A drive that cannot be entered (drive h, whose folder is removed through drive i once the
// chooser has listed it): the error report shows it, the chooser stays open at its folder and
// the drive list shows that folder's drive again.
TEST(ChooserVanishingDrive, vanishing_drive_reports_and_stays_open) {
  PlayerChooser c;
  std::vector<std::string> drives = c.Drives();
  ASSERT_TRUE(drives.size() == 3);
  ASSERT_TRUE(drives[1].substr(0, 2) == "h:");
  ASSERT_TRUE(RemoveDirectoryA("I:\\h"));
  HWND list = c.Control("DriveList");
  ASSERT_TRUE(Focus(list));
  Key(VK_DOWN);
  // The platform's code 3 (path not found).
  c.ExpectErrorReport("Setup", "不正なファイル名です.");
  EXPECT_TRUE(IsVisible(c.Window()));
  EXPECT_EQ(c.EditText(), std::string("C:\\app"));
  EXPECT_EQ(SendMessageA(list, CB_GETCURSEL, 0, 0), 0);
  ButtonClick(c.Control("CancelButton"));
  c.ExpectFinderStays();
  c.Leave();
}

// ---- Drives ---------------------------------------------------------------------------------------

// Drives d (fixed), e (removable), f (CD-ROM) and g (network) are mapped by the test set-up; the
// game's marker lies in D:\Saves.
TEST(ChooserDrives, drives_listed_and_changed) {
  PlayerChooser c;
  std::vector<std::string> drives = c.Drives();
  ASSERT_TRUE(drives.size() >= 5);
  EXPECT_EQ(drives[0].substr(0, 4), std::string("c: ["));
  EXPECT_EQ(drives[1], std::string("d: [game data]"));  // labelled "Game DATA"
  EXPECT_EQ(drives[2], std::string("e:"));
  EXPECT_EQ(drives[3].substr(0, 4), std::string("f: ["));
  EXPECT_EQ(drives[4].substr(0, 3), std::string("g: "));
  for (const std::string& d : drives) {
    for (char ch : d) EXPECT_TRUE(!(ch >= 'A' && ch <= 'Z'));
  }
  HWND list = c.Control("DriveList");
  ASSERT_TRUE(Focus(list));
  Key(VK_DOWN);
  c.WaitEditText("D:\\");
  EXPECT_TRUE(Contains(c.Folders(), "Saves"));
  EXPECT_EQ(SendMessageA(list, CB_GETCURSEL, 0, 0), 1);
  c.OpenFolder("Saves");
  c.WaitEditText("D:\\Saves");
  // Back on drive c the chooser returns to the folder it was in there.
  ASSERT_TRUE(Focus(list));
  Key(VK_UP);
  c.WaitEditText("C:\\app");
  // And on drive d to the folder last visited there.
  Key(VK_DOWN);
  c.WaitEditText("D:\\Saves");
  ButtonClick(c.Control("OKButton"));
  c.CloseMain(c.ExpectRecorded("D:\\Saves\\"));
}

// ---- Scaling ------------------------------------------------------------------------------------

TEST(ChooserDpi120, scaled_layout_dpi120) {
  PlayerChooser c;
  c.ExpectCentredClient(530, 319);
  EXPECT_EQ(Bounds(c.Control("DirEdit")), std::string("10,30,391,25"));
  EXPECT_EQ(Bounds(c.Control("OKButton")), std::string("215,280,96,34"));
  EXPECT_EQ(Bounds(c.Control("CancelButton")), std::string("320,280,96,34"));
  EXPECT_EQ(Bounds(c.Control("HelpButton")), std::string("425,280,96,34"));
  ExpectList(c.Control("FileList"), "290,90,231,116", 16, 7);
  EXPECT_EQ(Bounds(c.Control("DriveList")).substr(0, 12), std::string("290,240,231,"));
  RECT label = RectInParent(c.Control("Label3"));
  EXPECT_EQ(label.left, 290L);
  EXPECT_EQ(label.top, 70L);
  ExpectList(c.Control("DirList"), "10,90,266,170", 21, 8);
  ButtonClick(c.Control("CancelButton"));
  c.ExpectFinderStays();
  c.Leave();
}
