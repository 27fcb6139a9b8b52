// End-to-end driver: launches a program under test inside Wine and works its windows the way a
// user would (mouse, keyboard, clipboard, pixels), with every wait bounded by a timeout.
//
// Tests are GoogleTest tests (TEST, EXPECT_*, ASSERT_*), one per Wine run; failures the driver
// finds itself (a target left running, a missing control) are GoogleTest failures too. Texts are
// read from the windows as Unicode, whatever the system's code page, and handed to the scenarios
// as Shift-JIS (code page 932), as the programs hold their own texts; expected captions given in
// Shift-JIS are compared in Unicode. Text that came from the system (a folder name) may hold
// characters that Shift-JIS lacks: compare it through WideText, the expected parts converted
// with FromSjis (the program's own words) and FromSystem (bytes in the system's code page).
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "base/win32/handles.h"

namespace e2e {

// Default bound for every wait, in milliseconds.
constexpr int kTimeoutMs = 20000;

// ---- Failure reporting ----------------------------------------------------------------------

// Records one failed check at file:line as a GoogleTest failure, its text shown as UTF-8.
void Fail(const char* file, int line, const std::string& what);

// Thrown by a helper that cannot go on after a failed check (ASSERT_* can only leave a function
// that returns nothing): GoogleTest reports it and ends the test.
struct ScenarioStopped : std::exception {
  const char* what() const noexcept override { return "stopped after a failed requirement (see above)"; }
};

}  // namespace e2e

// ASSERT_TRUE for any function, constructors and functions that return a value included.
#define E2E_ASSERT(cond)                                              \
  do {                                                                \
    if (!(cond)) {                                                    \
      ::e2e::Fail(__FILE__, __LINE__, "required: " #cond);            \
      throw ::e2e::ScenarioStopped{};                                 \
    }                                                                 \
  } while (0)

namespace e2e {

template <class T>
std::string Show(const T& v) {
  std::ostringstream s;
  s << v;
  return s.str();
}
template <class T>
std::string Show(const std::optional<T>& v) {
  return v ? Show(*v) : std::string("(nothing)");
}
std::string Show(const std::string& v);
std::string Show(const char* v);
std::string Show(HWND v);

// Shift-JIS text as it appears in a UTF-8 log.
std::string ToUtf8(const std::string& sjis);
std::string ToUtf8(const std::wstring& text);
std::string Show(const std::wstring& v);

// Conversions: Shift-JIS (code page 932) and the system's code page (CP_ACP) to UTF-16, and
// back, where a character that the code page lacks becomes "?".
std::wstring FromSjis(const std::string& sjis);
std::wstring FromSystem(const std::string& bytes);
std::string ToSjis(const std::wstring& text);
std::string ToSystem(const std::wstring& text);

}  // namespace e2e

namespace e2e {

// ---- Processes ------------------------------------------------------------------------------

// Folder of the running test program, with a trailing backslash (C:\app\ under the runner).
std::string AppDir();

// A launched program. The destructor kills it if it is still running, so a hung target never
// outlives its scenario, and counts that as a failure: a scenario waits for its targets' ends.
class Process {
 public:
  Process() = default;
  Process(const Process&) = delete;
  Process& operator=(const Process&) = delete;
  Process(Process&& other) noexcept;
  Process& operator=(Process&& other) noexcept;
  ~Process();

  // Starts `exe` (a bare name is looked up in AppDir()) with the given arguments, each quoted
  // as needed, in `currentDir` (empty: the test program's own current folder). Returns a
  // process for which Started() is false when CreateProcess failed.
  static Process Launch(const std::string& exe, const std::vector<std::string>& args = {},
                        const std::string& currentDir = std::string());

  bool Started() const { return process_ != nullptr; }
  DWORD Id() const { return id_; }
  HANDLE Handle() const { return process_; }
  bool Running() const;

  // Waits for the exit and returns the exit code; nothing when it is still running.
  std::optional<DWORD> WaitExit(int timeoutMs = kTimeoutMs);

  // Ends the process (exit code 9999) and waits for it to be gone.
  void Kill();

  // Every top-level window of the process, visible or not.
  std::vector<HWND> Windows() const;

 private:
  void Release();

  HANDLE process_ = nullptr;
  DWORD id_ = 0;
};

// Watches `processes` until each has ended (bounded by the timeout), looking at their top-level
// windows all the while, and returns how many of them showed a visible window of class
// `className` (nullptr: any) meanwhile. "Shows nothing" can only be seen while a program runs:
// once it has exited its windows are gone, and a look then finds nothing whatever it showed.
int CountShowingUntilExit(const std::vector<const Process*>& processes,
                          const char* className = nullptr, int timeoutMs = kTimeoutMs);
// The same watch, ended as soon as `done` holds: for a window that must not come up between an
// action and the result it leads to (a dialog that must not ask before the next window shows).
int CountShowingUntil(const std::vector<const Process*>& processes, const char* className,
                      const std::function<bool()>& done, int timeoutMs = kTimeoutMs);

// Command line made of `args`, each quoted the way the C runtime splits them back.
std::string QuoteArgs(const std::vector<std::string>& args);

// ---- Waiting --------------------------------------------------------------------------------

// Polls `condition` (while letting this thread's own messages through) until it holds or the
// timeout passes; true when it held.
bool WaitUntil(const std::function<bool()>& condition, int timeoutMs = kTimeoutMs);

// Lets the system settle: this thread's messages are pumped for `ms` milliseconds.
void Pause(int ms);

// Holds the thread that owns `hwnd` (another process's) suspended for as long as it lives, so
// that a scenario can look at a long operation and post to it at one point of it (a search
// between two folders) while the operation cannot move on. A held thread answers no message:
// read its windows with StoredText, not Text.
class HeldThread {
 public:
  explicit HeldThread(HWND hwnd);
  HeldThread(const HeldThread&) = delete;
  HeldThread& operator=(const HeldThread&) = delete;
  ~HeldThread();
  bool Held() const { return held_; }

 private:
  win32::KernelHandle thread_;
  bool held_ = false;
};

// ---- Finding windows ------------------------------------------------------------------------

// A visible top-level window of process `pid` whose class and caption match (nullptr: any).
// Waits until one appears and has been painted once; nullptr on timeout.
HWND WaitWindow(DWORD pid, const char* className, const char* caption, int timeoutMs = kTimeoutMs);
// The same without waiting.
HWND FindTopWindow(DWORD pid, const char* className, const char* caption);
// Waits until `hwnd` is no longer a window (or no longer visible); true when it went.
bool WaitGone(HWND hwnd, int timeoutMs = kTimeoutMs);

// The design name a control carries in its "ControlName" property; empty when it has none.
std::string ControlName(HWND hwnd);
// A descendant of `parent` by design name, by class and by text (nullptr: any); nullptr when
// there is none.
HWND FindControl(HWND parent, const std::string& name);
HWND FindChild(HWND parent, const char* className, const char* text);
// Every direct child window, in Z order (which is the creation order for a fresh window).
std::vector<HWND> Children(HWND parent);

// ---- Reading state --------------------------------------------------------------------------

// The window's text (WM_GETTEXT) in UTF-16, and as Shift-JIS.
std::wstring WideText(HWND hwnd);
std::string Text(HWND hwnd);
// The text the system keeps for another process's window, read without sending it a message.
std::string StoredText(HWND hwnd);
std::string ClassName(HWND hwnd);
RECT ScreenRect(HWND hwnd);  // window rectangle in screen coordinates
RECT ClientRect(HWND hwnd);  // client rectangle: left and top are 0
RECT ClientScreenRect(HWND hwnd);  // client area in screen coordinates
RECT RectInParent(HWND hwnd);  // window rectangle in the parent's client coordinates
bool IsEnabled(HWND hwnd);
bool IsVisible(HWND hwnd);
// The window with the keyboard focus in the GUI thread that owns `hwnd`; nullptr when none.
HWND FocusOf(HWND hwnd);
// The active window of the GUI thread that owns `hwnd`.
HWND ActiveOf(HWND hwnd);
int Width(const RECT& r);
int Height(const RECT& r);

std::string Show(const RECT& r);

// ---- Acting ---------------------------------------------------------------------------------

// Brings the top-level window that holds `hwnd` to the foreground and gives it the input;
// true when it became the foreground window.
bool Activate(HWND hwnd);

// A real mouse click (SendInput) at the centre of `hwnd`, or at (x, y) of its client area.
void Click(HWND hwnd);
void ClickAt(HWND hwnd, int x, int y);
// Presses a button through BM_CLICK; posted, so that a modal loop started by the click does
// not block the driver.
void ButtonClick(HWND button);

// Keys sent with SendInput to whatever window has the foreground.
enum Modifiers : unsigned { kNoMods = 0, kShift = 1, kCtrl = 2, kAlt = 4 };
void Key(WORD virtualKey, unsigned modifiers = kNoMods);
inline void Enter() { Key(VK_RETURN); }
inline void Escape() { Key(VK_ESCAPE); }
inline void Tab() { Key(VK_TAB); }
inline void ShiftTab() { Key(VK_TAB, kShift); }
inline void AltKey(char letter) { Key(static_cast<WORD>(letter), kAlt); }
inline void CtrlC() { Key('C', kCtrl); }
inline void AltF4() { Key(VK_F4, kAlt); }

// Gives `control` the keyboard focus (activating its window first); true when it has it.
bool Focus(HWND control);
// Focuses `edit` and types Shift-JIS `text` into it at the caret: plain ASCII as key events,
// text with Japanese characters as an input method's finished string (EM_REPLACESEL).
void TypeText(HWND edit, const std::string& text);
// Types every character of `text` as a key event of its own (KEYEVENTF_UNICODE), as a keyboard
// or an input method delivers it.
void TypeText(HWND edit, const std::wstring& text);
// Replaces an edit box's text directly (WM_SETTEXT), when typing is not what is tested.
void SetText(HWND edit, const std::string& text);
void SetText(HWND edit, const std::wstring& text);

// Closes a top-level window through its close box (WM_SYSCOMMAND SC_CLOSE).
void CloseBox(HWND hwnd);

// ---- Clipboard ------------------------------------------------------------------------------

// The clipboard as CF_TEXT (Shift-JIS), or as CF_UNICODETEXT; nothing when it holds no text or
// cannot be opened.
std::optional<std::string> ClipboardText();
std::optional<std::wstring> ClipboardWideText();
// Empties the clipboard; true on success.
bool ClearClipboard();

// ---- Pixels ---------------------------------------------------------------------------------

struct Bitmap {
  int width = 0;
  int height = 0;
  std::vector<uint32_t> pixels;  // 0x00RRGGBB, top row first

  bool Empty() const { return pixels.empty(); }
  // The colour at (x, y) as a COLORREF (0x00BBGGRR), CLR_INVALID outside the picture.
  COLORREF Pixel(int x, int y) const;
  // Writes a 24-bit BMP file; true on success.
  bool SaveBmp(const std::string& path) const;
};

// The window's pixels as they are on the screen, captured once it has been painted.
Bitmap Capture(HWND hwnd);
// Only the client area.
Bitmap CaptureClient(HWND hwnd);

}  // namespace e2e
