// The error report on the screen, raised from a click handler in dialog_host: its text with
// the "." rule, the application title as caption, the silent EAbort, and the program going on.
#include "tests/dialogs/expected_layout.h"
#include "tests/dialogs/host.h"
#include "tests/e2e/driver/driver.h"

using namespace e2e;

namespace {

// The platform message box of process `pid`; nullptr when none comes.
HWND WaitReport(DWORD pid, int timeoutMs = kTimeoutMs) {
  return WaitWindow(pid, "#32770", nullptr, timeoutMs);
}

// The box's message text (the static control that is not the icon).
std::string ReportText(HWND box) {
  HWND text = GetDlgItem(box, 0xFFFF);
  return text ? Text(text) : std::string("(no text control)");
}

// Raises `message` in `exe` and checks the report's caption and text; dismissed with OK.
void CheckReport(const std::string& message, const std::string& caption, const std::string& shown,
                 const std::string& exe = "dialog_host.exe") {
  Process p = host::Error(message, false, exe);
  E2E_ASSERT(p.Started());
  HWND box = WaitReport(p.Id());
  E2E_ASSERT(box != nullptr);
  EXPECT_EQ(Text(box), caption);
  EXPECT_EQ(ReportText(box), shown);
  // The stop icon.
  HWND icon = GetDlgItem(box, 0x0440);
  EXPECT_TRUE(icon != nullptr && expect::IconMismatch(CaptureClient(icon), IDI_HAND) == 0);
  // One OK button and nothing to cancel with.
  HWND ok = GetDlgItem(box, IDOK);
  EXPECT_TRUE(ok != nullptr && IsVisible(ok));
  for (int id : {IDCANCEL, IDYES, IDNO, IDABORT, IDRETRY, IDIGNORE}) {
    HWND other = GetDlgItem(box, id);
    EXPECT_TRUE(other == nullptr || !IsVisible(other));
  }
  // Owned by the program's own top-level window; nothing else of the program takes input.
  HWND owner = GetWindow(box, GW_OWNER);
  DWORD ownerPid = 0;
  GetWindowThreadProcessId(owner, &ownerPid);
  EXPECT_TRUE(owner != nullptr && ownerPid == p.Id() && GetAncestor(owner, GA_PARENT) == GetDesktopWindow());
  for (HWND w : p.Windows()) {
    if (w != box && IsVisible(w)) {
      EXPECT_TRUE(!IsEnabled(w));
    }
  }
  E2E_ASSERT(Activate(box));
  Enter();
  EXPECT_TRUE(WaitGone(box));
  // The program goes on after the report; the host then ends normally.
  EXPECT_EQ(p.WaitExit(), std::optional<DWORD>(0));
}

}  // namespace

// The application title of dialog_host.exe: only the letters after the first are folded.
const char* const kTitle = "dialog_host";

struct FullStopRow {
  const char* message;
  const char* shown;
};

void CheckFullStops(const std::vector<FullStopRow>& rows) {
  for (const FullStopRow& r : rows) {
    std::printf("message %s\n", ToUtf8(r.message).c_str());
    CheckReport(r.message, kTitle, r.shown);
  }
}

TEST(ErrorReport, full_stop_appended) {
  CheckFullStops({
      {"ディレクトリを作成できません", "ディレクトリを作成できません."},
      {"ファイルが見つかりません。", "ファイルが見つかりません。."},  // after a double-byte "。"
      {"ends with a letter", "ends with a letter."},
      {"ends with a digit 7", "ends with a digit 7."},
      {"path C:/", "path C:/."},                     // "/" sorts above "."
      {"half-width ｱ", "half-width ｱ."},             // a single byte above 0x7F
      {"ソ", "ソ."},                                  // trail byte 0x5C, still one character
  });
}

TEST(ErrorReport, full_stop_kept) {
  CheckFullStops({
      {"Disk full.", "Disk full."},                   // never a second "."
      {"stops at a space ", "stops at a space "},    // bytes below "." are left alone
      {"exclaims!", "exclaims!"},
      {"(bracketed)", "(bracketed)"},
      {"dash-", "dash-"},
      {"comma,", "comma,"},
      {"", ""},                                       // an empty message gives an empty text
  });
}

TEST(ErrorReport, title_from_the_file_name) {
  struct Row {
    const char* file;
    const char* title;
  };
  const Row rows[] = {
      {"a.b.exe", "a"},
      {"UPDATE.EXE", "Update"},
      {"SETUP.exe", "Setup"},
  };
  for (const Row& r : rows) {
    const std::string copy = AppDir() + r.file;
    ASSERT_TRUE(CopyFileA((AppDir() + "dialog_host.exe").c_str(), copy.c_str(), FALSE));
    CheckReport("名前", r.title, "名前.", copy);
    // The message dialog's Custom kind shows the same title.
    Process p = host::Message("独自", host::kCustom, host::kOK, copy);
    HWND dialog = WaitWindow(p.Id(), "TMessageForm", nullptr);
    ASSERT_TRUE(dialog != nullptr);
    EXPECT_EQ(Text(dialog), std::string(r.title));
    CloseBox(dialog);
    EXPECT_EQ(p.WaitExit(), std::optional<DWORD>(2));
  }
}

TEST(ErrorReport, eabort_shows_nothing) {
  Process p = host::Error("", true);
  ASSERT_TRUE(p.Started());
  // Nothing must appear while the host runs its handler and goes on to the end.
  bool boxSeen = false;
  bool ended = WaitUntil(
      [&] {
        boxSeen = boxSeen || FindTopWindow(p.Id(), "#32770", nullptr) != nullptr;
        return !p.Running();
      },
      kTimeoutMs);
  EXPECT_TRUE(!boxSeen);
  EXPECT_TRUE(ended);
  EXPECT_EQ(p.WaitExit(1000), std::optional<DWORD>(0));
}

// ---- The title from a long path -----------------------------------------------------------------

// The title is formed from the first 255 bytes of the program's path: a path of 259 bytes whose
// name ends at byte 255 keeps the whole name and loses only ".exe".
TEST(ErrorReport, title_from_255_bytes_of_a_long_path) {
  const std::string folder = "C:\\" + std::string(100, 'F');
  const std::string name(151, 'S');
  const std::string copy = folder + "\\" + name + ".exe";
  ASSERT_TRUE(copy.size() == 259);
  CreateDirectoryA(folder.c_str(), nullptr);
  ASSERT_TRUE(CopyFileA((AppDir() + "dialog_host.exe").c_str(), copy.c_str(), FALSE));
  Process p = host::Message("独自", host::kCustom, host::kOK, copy);
  HWND dialog = WaitWindow(p.Id(), "TMessageForm", nullptr);
  ASSERT_TRUE(dialog != nullptr);
  EXPECT_EQ(Text(dialog), "S" + std::string(150, 's'));
  CloseBox(dialog);
  EXPECT_EQ(p.WaitExit(), std::optional<DWORD>(2));
}

