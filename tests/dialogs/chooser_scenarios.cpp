// The folder chooser end to end: chooser_host opens it with the given folder, options and help
// context; each scenario works the window as a user would and checks what the caller gets back.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tests/e2e/driver/driver.h"

using namespace e2e;

namespace {

constexpr unsigned kAllOptions = 7;  // EditablePath | CreateOnAccept | ConfirmCreate
const char* const kQuestion = "指定されたディレクトリが存在しません。作成しますか？";

struct Outcome {
  std::optional<DWORD> exitCode;
  std::string result;  // "accepted", "declined" or "failed"
  std::string folder;
  std::string currentFolder;
  std::string helpContext;
};

// Whether colour appears among the top rows of a picture.
bool HasColour(const Bitmap& picture, COLORREF colour, int rows) {
  for (int y = 0; y < rows && y < picture.height; ++y) {
    for (int x = 0; x < picture.width; ++x) {
      if (picture.Pixel(x, y) == colour) return true;
    }
  }
  return false;
}

// Where a window of that size starts when centred on a screen of that size.
int Centred(int screen, int size) { return std::max(0, (screen - size) / 2); }

bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

void MakeFolders(const std::vector<std::string>& paths) {
  for (const std::string& p : paths) CreateDirectoryA(p.c_str(), nullptr);
}

// Item texts of a list of another process, asked for in UTF-16 (which crosses the process
// boundary whatever the list's own character set) and given back in Shift-JIS.
std::vector<std::string> ListTexts(HWND list, UINT countMsg, UINT lengthMsg, UINT textMsg) {
  std::vector<std::string> texts;
  LRESULT count = SendMessageW(list, countMsg, 0, 0);
  for (LRESULT i = 0; i < count; ++i) {
    LRESULT length = SendMessageW(list, lengthMsg, static_cast<WPARAM>(i), 0);
    std::wstring wide(static_cast<size_t>(length < 0 ? 0 : length) + 1, L'\0');
    LRESULT got = SendMessageW(list, textMsg, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(wide.data()));
    wide.resize(got < 0 ? 0 : static_cast<size_t>(got));
    std::string text(wide.size() * 2 + 1, '\0');
    int bytes = WideCharToMultiByte(932, 0, wide.data(), static_cast<int>(wide.size()), text.data(),
                                    static_cast<int>(text.size()), nullptr, nullptr);
    text.resize(bytes < 0 ? 0 : static_cast<size_t>(bytes));
    texts.push_back(text);
  }
  return texts;
}

std::vector<std::string> ListBoxTexts(HWND list) { return ListTexts(list, LB_GETCOUNT, LB_GETTEXTLEN, LB_GETTEXT); }
std::vector<std::string> ComboTexts(HWND combo) {
  return ListTexts(combo, CB_GETCOUNT, CB_GETLBTEXTLEN, CB_GETLBTEXT);
}

std::string Joined(const std::vector<std::string>& texts) {
  std::string all;
  for (const std::string& t : texts) all += (all.empty() ? "" : " | ") + t;
  return all;
}

bool Contains(const std::vector<std::string>& texts, const std::string& text) {
  for (const std::string& t : texts) {
    if (t == text) return true;
  }
  return false;
}

// A rectangle in the parent's client area as (left, top, width, height).
std::string Bounds(HWND hwnd) {
  RECT r = RectInParent(hwnd);
  return std::to_string(r.left) + "," + std::to_string(r.top) + "," + std::to_string(Width(r)) + "," +
         std::to_string(Height(r));
}

// The chooser opened by chooser_host in currentDir.
class Chooser {
 public:
  Chooser(const std::string& folder, unsigned options, int helpContext, const std::string& currentDir = "C:\\app")
      : resultFile_(AppDir() + "chooser_result.txt") {
    DeleteFileA(resultFile_.c_str());
    process_ = Process::Launch("chooser_host.exe",
                               {folder, std::to_string(options), std::to_string(helpContext), resultFile_}, currentDir);
    E2E_ASSERT(process_.Started());
    hwnd_ = WaitWindow(process_.Id(), "TSelectDirDlg", "ディレクトリの選択");
    E2E_ASSERT(hwnd_ != nullptr);
  }

  HWND Window() const { return hwnd_; }
  DWORD Pid() const { return process_.Id(); }

  HWND Control(const char* name) {
    HWND h = FindControl(hwnd_, name);
    if (!h) {
      Fail(__FILE__, __LINE__, std::string("no control named ") + name);
      throw ScenarioStopped{};
    }
    return h;
  }

  std::string EditText() { return Text(Control("DirEdit")); }

  bool WaitEditText(const std::string& want) {
    bool ok = WaitUntil([&] { return EditText() == want; }, 5000);
    if (!ok) Fail(__FILE__, __LINE__, "DirEdit is " + Show(EditText()) + ", expected " + Show(want));
    return ok;
  }

  // Whether the whole text of DirEdit is selected.
  bool EditAllSelected() {
    HWND edit = Control("DirEdit");
    DWORD sel = static_cast<DWORD>(SendMessageA(edit, EM_GETSEL, 0, 0));
    return LOWORD(sel) == 0 && HIWORD(sel) == Text(edit).size();
  }

  std::vector<std::string> Folders() { return ListBoxTexts(Control("DirList")); }
  std::vector<std::string> Files() { return ListBoxTexts(Control("FileList")); }
  std::vector<std::string> Drives() { return ComboTexts(Control("DriveList")); }

  // Double-clicks the folder line with that text.
  void OpenFolder(const std::string& line) {
    HWND list = Control("DirList");
    std::vector<std::string> lines = ListBoxTexts(list);
    int index = -1;
    for (size_t i = 0; i < lines.size(); ++i) {
      if (lines[i] == line) index = static_cast<int>(i);
    }
    if (index < 0) {
      Fail(__FILE__, __LINE__, "no folder line " + Show(line) + " in " + Show(Joined(lines)));
      throw ScenarioStopped{};
    }
    SendMessageA(list, LB_SETTOPINDEX, static_cast<WPARAM>(index), 0);
    RECT item{};
    SendMessageA(list, LB_GETITEMRECT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item));
    int x = item.left + 40, y = (item.top + item.bottom) / 2;
    ClickAt(list, x, y);
    ClickAt(list, x, y);
  }

  // Types text into the emptied DirEdit.
  void Type(const std::string& text) {
    HWND edit = Control("DirEdit");
    SetText(edit, "");
    if (!text.empty()) TypeText(edit, text);
    WaitEditText(text);
  }

  // Presses OK and waits for the create question.
  HWND OkAndQuestion() {
    ButtonClick(Control("OKButton"));
    HWND question = WaitWindow(process_.Id(), "TMessageForm", "確認");
    E2E_ASSERT(question != nullptr);
    EXPECT_TRUE(FindChild(question, nullptr, kQuestion) != nullptr);
    return question;
  }

  // Answers the question with the button of that caption and waits for it to go.
  void Answer(HWND question, const char* caption) {
    HWND button = FindChild(question, nullptr, caption);
    ASSERT_TRUE(button != nullptr);
    ButtonClick(button);
    EXPECT_TRUE(WaitGone(question));
  }

  // The error report shown after the chooser closed: checks its text and dismisses it.
  void ExpectErrorReport(const std::string& text) {
    HWND box = WaitWindow(process_.Id(), "#32770", "chooser_host");
    ASSERT_TRUE(box != nullptr);
    HWND message = FindChild(box, nullptr, text.c_str());
    if (!message) Fail(__FILE__, __LINE__, "error report does not show " + Show(text));
    HWND ok = FindChild(box, "Button", nullptr);
    ASSERT_TRUE(ok != nullptr);
    ButtonClick(ok);
    EXPECT_TRUE(WaitGone(box));
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
  HWND hwnd_ = nullptr;
};

// A list's place, its item height and the whole rows its one-pixel frame leaves room for.
void ExpectList(HWND list, const std::string& bounds, int itemHeight, int rows) {
  EXPECT_EQ(Bounds(list), bounds);
  EXPECT_EQ(static_cast<int>(SendMessageA(list, LB_GETITEMHEIGHT, 0, 0)), itemHeight);
  EXPECT_EQ(Height(RectInParent(list)) - Height(ClientRect(list)), 2);
  EXPECT_EQ(Height(ClientRect(list)) / itemHeight, rows);
}

void ExpectOutcome(const Outcome& o, DWORD code, const std::string& result, const std::string& folder) {
  EXPECT_EQ(o.exitCode, std::optional<DWORD>(code));
  EXPECT_EQ(o.result, result);
  EXPECT_EQ(o.folder, folder);
}

}  // namespace

// ---- Opening ----------------------------------------------------------------------------------

// The finder dialog's call: empty folder, every option, help context 1000.
TEST(Chooser, opens_at_current_folder) {
  Chooser c("", kAllOptions, 1000);
  HWND w = c.Window();
  RECT client = ClientRect(w);
  EXPECT_EQ(Width(client), 424);
  EXPECT_EQ(Height(client), 255);
  RECT outer = ScreenRect(w);
  EXPECT_EQ(static_cast<int>(outer.left), Centred(GetSystemMetrics(SM_CXSCREEN), Width(outer)));
  EXPECT_EQ(static_cast<int>(outer.top), Centred(GetSystemMetrics(SM_CYSCREEN), Height(outer)));

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
  EXPECT_EQ(FocusOf(w), dirList);
  ExpectList(c.Control("DirList"), "8,72,213,138", 17, 8);
  ExpectList(c.Control("FileList"), "232,72,185,93", 13, 7);
  EXPECT_EQ(Joined(c.Folders()).substr(0, 9), std::string("C:\\ | app"));
  EXPECT_EQ(SendMessageA(dirList, LB_GETCURSEL, 0, 0), 1);
  std::vector<std::string> files = c.Files();
  EXPECT_TRUE(Contains(files, "chooser_host.exe"));
  EXPECT_TRUE(Contains(files, "chooser_e2e.exe"));
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
  ExpectOutcome(c.Finish(), 0, "declined", "");
}

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

TEST(Chooser, accept_browsed_folder) {
  MakeFolders({"C:\\app\\Games", "C:\\app\\Games\\X", "C:\\app\\Games\\Y"});
  Chooser c("", kAllOptions, 1000);
  c.OpenFolder("Games");
  c.WaitEditText("C:\\app\\Games");
  EXPECT_EQ(Joined(c.Folders()), std::string("C:\\ | app | Games | X | Y"));
  EXPECT_EQ(SendMessageA(c.Control("DirList"), LB_GETCURSEL, 0, 0), 2);
  c.OpenFolder("X");
  c.WaitEditText("C:\\app\\Games\\X");
  EXPECT_TRUE(c.EditAllSelected());
  EXPECT_EQ(Joined(c.Folders()), std::string("C:\\ | app | Games | X"));
  EXPECT_TRUE(c.Files().empty());
  // Enter in the folder list presses the default button.
  EXPECT_TRUE(Focus(c.Control("DirList")));
  Enter();
  Outcome o = c.Finish();
  ExpectOutcome(o, 1, "accepted", "C:\\app\\Games\\X");
  EXPECT_EQ(o.currentFolder, std::string("C:\\app\\Games\\X"));
}

TEST(Chooser, accept_drive_root) {
  Chooser c("", kAllOptions, 1000);
  c.OpenFolder("C:\\");
  c.WaitEditText("C:\\");
  EXPECT_EQ(Joined(c.Folders()).substr(0, 3), std::string("C:\\"));
  EXPECT_EQ(SendMessageA(c.Control("DirList"), LB_GETCURSEL, 0, 0), 0);
  ButtonClick(c.Control("OKButton"));
  ExpectOutcome(c.Finish(), 1, "accepted", "C:\\");
}

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

// Tab walks DirList, DirEdit, DriveList, OK, Cancel, FileList, Help; the labels' access keys
// move the focus to their controls.
TEST(Chooser, tab_order_and_access_keys) {
  Chooser c("", kAllOptions, 1000);
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
  ExpectOutcome(c.Finish(), 0, "declined", "");
}

// ---- Creating -----------------------------------------------------------------------------------

TEST(Chooser, typed_missing_folder_no_and_escape_keep_chooser) {
  Chooser c("", kAllOptions, 1000);
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
  ExpectOutcome(c.Finish(), 0, "declined", "");
  EXPECT_TRUE(!Exists("C:\\app\\new"));
}

// "はい(&Y)" on a typed path: the chooser closes and returns the text as typed, and the folder is
// created with its parents where that can be done. An empty path, or a new relative name of
// three or more bytes, fails after the chooser is gone and the error report shows it.
TEST(Chooser, typed_path_answered_yes) {
  struct Case {
    const char* typed;
    DWORD code;
    const char* made;  // a folder that must exist afterwards
  };
  const Case cases[] = {
      {"C:\\app\\new\\deeper\\", 1, "C:\\app\\new\\deeper"},
      {"C:\\app\\表\\ソ", 1, "C:\\app\\表\\ソ"},  // trail bytes 5C are no separators
      {"Q:\\nowhere\\x", 1, nullptr},                // cannot be made, still accepted
      {"ab", 1, nullptr},                              // too short to make
      {"abc", 2, nullptr},
      {"", 2, nullptr},
  };
  for (const Case& k : cases) {
    Chooser c("", kAllOptions, 1000);
    c.Type(k.typed);
    c.Answer(c.OkAndQuestion(), "はい(&Y)");
    EXPECT_TRUE(WaitGone(c.Window()));
    if (k.code == 2) c.ExpectErrorReport("ディレクトリを作成できません.");
    ExpectOutcome(c.Finish(), k.code, k.code == 1 ? "accepted" : "failed", k.typed);
    if (k.made) {
      EXPECT_TRUE(Exists(k.made));
    }
  }
  EXPECT_TRUE(!Exists("C:\\app\\ab"));
  EXPECT_TRUE(!Exists("C:\\app\\abc"));
}

// An existing folder typed in is accepted at once, as typed.
TEST(Chooser, typed_existing_folder_accepted_without_question) {
  Chooser c("", kAllOptions, 1000);
  c.Type("..\\windows");
  ButtonClick(c.Control("OKButton"));
  ExpectOutcome(c.Finish(), 1, "accepted", "..\\windows");
  EXPECT_TRUE(FindTopWindow(c.Pid(), "TMessageForm", nullptr) == nullptr);
}

// A folder name whose trail byte is 5C ("ソ" is 83 5C) stays whole in the list and the path.
TEST(Chooser, shift_jis_folder_browsed) {
  MakeFolders({"C:\\app\\ソフト"});
  Chooser c("", kAllOptions, 1000);
  c.OpenFolder("ソフト");
  c.WaitEditText("C:\\app\\ソフト");
  EXPECT_EQ(Joined(c.Folders()), std::string("C:\\ | app | ソフト"));
  ButtonClick(c.Control("OKButton"));
  ExpectOutcome(c.Finish(), 1, "accepted", "C:\\app\\ソフト");
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

TEST(Chooser, browse_then_cancel_keeps_current_folder) {
  MakeFolders({"C:\\app\\Games"});
  Chooser c("", kAllOptions, 1000);
  c.OpenFolder("Games");
  c.WaitEditText("C:\\app\\Games");
  ButtonClick(c.Control("CancelButton"));
  Outcome o = c.Finish();
  ExpectOutcome(o, 0, "declined", "");
  EXPECT_EQ(o.currentFolder, std::string("C:\\app\\Games"));
}

// ---- Failures while browsing --------------------------------------------------------------------

// A folder that vanished after it was listed cannot be entered: the error report shows it and
// the chooser stays open where it was.
TEST(Chooser, vanished_folder_reports_and_stays_open) {
  MakeFolders({"C:\\app\\Gone"});
  Chooser c("", kAllOptions, 1000);
  ASSERT_TRUE(RemoveDirectoryA("C:\\app\\Gone"));
  c.OpenFolder("Gone");
  HWND box = WaitWindow(c.Pid(), "#32770", "chooser_host");
  ASSERT_TRUE(box != nullptr);
  EXPECT_TRUE(FindChild(box, nullptr, "ファイルが見つかりません.") != nullptr);
  ButtonClick(FindChild(box, "Button", nullptr));
  EXPECT_TRUE(WaitGone(box));
  EXPECT_TRUE(IsVisible(c.Window()));
  EXPECT_EQ(c.EditText(), std::string("C:\\app"));
  ButtonClick(c.Control("OKButton"));
  ExpectOutcome(c.Finish(), 1, "accepted", "C:\\app");
}

// A drive that cannot be entered (drive h, whose folder is removed through drive i once the
// chooser has listed it): the error report shows it, the chooser stays open at its folder and
// the drive list shows that folder's drive again.
TEST(ChooserVanishingDrive, vanishing_drive_reports_and_stays_open) {
  Chooser c("", kAllOptions, 1000);
  std::vector<std::string> drives = c.Drives();
  ASSERT_TRUE(drives.size() == 3);
  ASSERT_TRUE(drives[1].substr(0, 2) == "h:");
  ASSERT_TRUE(RemoveDirectoryA("I:\\h"));
  HWND list = c.Control("DriveList");
  ASSERT_TRUE(Focus(list));
  Key(VK_DOWN);
  HWND box = WaitWindow(c.Pid(), "#32770", "chooser_host");
  ASSERT_TRUE(box != nullptr);
  // The platform's code 3 (path not found).
  EXPECT_TRUE(FindChild(box, nullptr, "不正なファイル名です.") != nullptr);
  ButtonClick(FindChild(box, "Button", nullptr));
  EXPECT_TRUE(WaitGone(box));
  EXPECT_TRUE(IsVisible(c.Window()));
  EXPECT_EQ(c.EditText(), std::string("C:\\app"));
  EXPECT_EQ(SendMessageA(list, CB_GETCURSEL, 0, 0), 0);
  ButtonClick(c.Control("CancelButton"));
  ExpectOutcome(c.Finish(), 0, "declined", "");
}

// ---- Drives ---------------------------------------------------------------------------------------

// Drives d (fixed), e (removable), f (CD-ROM) and g (network) are mapped by the test set-up.
TEST(ChooserDrives, drives_listed_and_changed) {
  Chooser c("", kAllOptions, 1000);
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
  ExpectOutcome(c.Finish(), 1, "accepted", "D:\\Saves");
}

// ---- Scaling ------------------------------------------------------------------------------------

TEST(ChooserDpi120, scaled_layout_dpi120) {
  Chooser c("", kAllOptions, 1000);
  HWND w = c.Window();
  RECT client = ClientRect(w);
  EXPECT_EQ(Width(client), 530);
  EXPECT_EQ(Height(client), 319);
  RECT outer = ScreenRect(w);
  EXPECT_EQ(static_cast<int>(outer.left), Centred(GetSystemMetrics(SM_CXSCREEN), Width(outer)));
  EXPECT_EQ(static_cast<int>(outer.top), Centred(GetSystemMetrics(SM_CYSCREEN), Height(outer)));
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
  ExpectOutcome(c.Finish(), 0, "declined", "");

  // Without help the two buttons take the scaled places of Cancel and Help.
  Chooser noHelp("", kAllOptions, 0);
  EXPECT_EQ(Bounds(noHelp.Control("OKButton")), std::string("320,280,96,34"));
  EXPECT_EQ(Bounds(noHelp.Control("CancelButton")), std::string("425,280,96,34"));
  ButtonClick(noHelp.Control("CancelButton"));
  ExpectOutcome(noHelp.Finish(), 0, "declined", "");
}

