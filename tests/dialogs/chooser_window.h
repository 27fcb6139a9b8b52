// Working the folder chooser's window (TSelectDirDlg) from a scenario, whichever program opened
// it: its controls by name, the texts of its lists, browsing, typing and the create question.
// SETUP.exe's chooser scenarios (tests/setup) and the test host's (chooser_scenarios.cpp) share it.
#pragma once

#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tests/e2e/driver/driver.h"

namespace chooser_test {

using namespace e2e;

constexpr unsigned kAllOptions = 7;  // EditablePath | CreateOnAccept | ConfirmCreate
inline const char kQuestion[] = "指定されたディレクトリが存在しません。作成しますか？";

// Whether colour appears among the top rows of a picture.
inline bool HasColour(const Bitmap& picture, COLORREF colour, int rows) {
  for (int y = 0; y < rows && y < picture.height; ++y) {
    for (int x = 0; x < picture.width; ++x) {
      if (picture.Pixel(x, y) == colour) return true;
    }
  }
  return false;
}

// Where a window of that size starts when centred on a screen of that size.
inline int Centred(int screen, int size) { return std::max(0, (screen - size) / 2); }

inline void MakeFolders(const std::vector<std::string>& paths) {
  for (const std::string& p : paths) CreateDirectoryA(p.c_str(), nullptr);
}

// Item texts of a list of another process, asked for in UTF-16 (which crosses the process
// boundary whatever the list's own character set) and given back in Shift-JIS.
inline std::vector<std::string> ListTexts(HWND list, UINT countMsg, UINT lengthMsg, UINT textMsg) {
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

inline std::vector<std::string> ListBoxTexts(HWND list) { return ListTexts(list, LB_GETCOUNT, LB_GETTEXTLEN, LB_GETTEXT); }
inline std::vector<std::string> ComboTexts(HWND combo) {
  return ListTexts(combo, CB_GETCOUNT, CB_GETLBTEXTLEN, CB_GETLBTEXT);
}

inline std::string Joined(const std::vector<std::string>& texts) {
  std::string all;
  for (const std::string& t : texts) all += (all.empty() ? "" : " | ") + t;
  return all;
}

inline bool Contains(const std::vector<std::string>& texts, const std::string& text) {
  return std::find(texts.begin(), texts.end(), text) != texts.end();
}

// A rectangle in the parent's client area as (left, top, width, height).
inline std::string Bounds(HWND hwnd) {
  RECT r = RectInParent(hwnd);
  return std::to_string(r.left) + "," + std::to_string(r.top) + "," + std::to_string(Width(r)) + "," +
         std::to_string(Height(r));
}

// A list's place, its item height and the whole rows its one-pixel frame leaves room for.
inline void ExpectList(HWND list, const std::string& bounds, int itemHeight, int rows) {
  EXPECT_EQ(Bounds(list), bounds);
  EXPECT_EQ(static_cast<int>(SendMessageA(list, LB_GETITEMHEIGHT, 0, 0)), itemHeight);
  EXPECT_EQ(Height(RectInParent(list)) - Height(ClientRect(list)), 2);
  EXPECT_EQ(Height(ClientRect(list)) / itemHeight, rows);
}

// The chooser window of process pid, once a program has opened it (Attach).
class ChooserWindow {
 public:
  HWND Window() const { return hwnd_; }
  DWORD Pid() const { return pid_; }

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
    HWND question = WaitWindow(pid_, "TMessageForm", "確認");
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

  // The error report of the program (a message box under its title): checks its text and
  // dismisses it.
  void ExpectErrorReport(const char* title, const std::string& text) {
    HWND box = WaitWindow(pid_, "#32770", title);
    ASSERT_TRUE(box != nullptr);
    HWND message = FindChild(box, nullptr, text.c_str());
    if (!message) Fail(__FILE__, __LINE__, "error report does not show " + Show(text));
    HWND ok = FindChild(box, "Button", nullptr);
    ASSERT_TRUE(ok != nullptr);
    ButtonClick(ok);
    EXPECT_TRUE(WaitGone(box));
  }

 protected:
  // The chooser of process pid has come up (nullptr: it has not).
  void Attach(DWORD pid, HWND hwnd) {
    pid_ = pid;
    hwnd_ = hwnd;
  }

 private:
  DWORD pid_ = 0;
  HWND hwnd_ = nullptr;
};

}  // namespace chooser_test
