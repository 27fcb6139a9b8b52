// End-to-end driver: processes, windows, input, clipboard, pixels and the scenario runner.
#include "tests/e2e/driver/driver.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <utility>

#include "base/sjis.h"
#include "base/win32/handles.h"

namespace e2e {

namespace {

// Bound for one cross-process message: a target that stops pumping must not hang the driver.
constexpr UINT kSendTimeoutMs = 3000;

// Sent as Unicode: texts cross the process boundary whole, whatever either side's code page.
LRESULT SendTimeout(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, bool* ok = nullptr) {
  DWORD_PTR result = 0;
  LRESULT sent = SendMessageTimeoutW(hwnd, msg, wp, lp, SMTO_ABORTIFHUNG | SMTO_BLOCK, kSendTimeoutMs, &result);
  if (ok) *ok = sent != 0;
  return static_cast<LRESULT>(result);
}

DWORD ThreadOf(HWND hwnd) { return GetWindowThreadProcessId(hwnd, nullptr); }

bool SameText(const char* want, const std::string& got) { return !want || got == want; }

// Captions are compared in Unicode: the expected Shift-JIS text converted from code page 932.
bool SameCaption(const char* want, HWND hwnd) { return !want || WideText(hwnd) == FromSjis(want); }

std::wstring Widen(UINT codePage, const std::string& bytes) {
  if (bytes.empty()) return std::wstring();
  int n = MultiByteToWideChar(codePage, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
  std::wstring wide(static_cast<size_t>(std::max(n, 0)), L'\0');
  if (n > 0) MultiByteToWideChar(codePage, 0, bytes.data(), static_cast<int>(bytes.size()), &wide[0], n);
  return wide;
}

std::string Narrow(UINT codePage, const std::wstring& wide) {
  if (wide.empty()) return std::string();
  int n = WideCharToMultiByte(codePage, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(std::max(n, 0)), '\0');
  if (n > 0) WideCharToMultiByte(codePage, 0, wide.data(), static_cast<int>(wide.size()), &out[0], n, nullptr, nullptr);
  return out;
}

// True when neither the window nor any of its descendants waits for WM_PAINT.
bool Painted(HWND hwnd) {
  if (GetUpdateRect(hwnd, nullptr, FALSE)) return false;
  for (HWND child : Children(hwnd)) {
    if (IsWindowVisible(child) && !Painted(child)) return false;
  }
  return true;
}

// Waits until the window's thread has handled what was queued and nothing is left to paint.
bool WaitPainted(HWND hwnd, int timeoutMs = kTimeoutMs) {
  return WaitUntil(
      [&] {
        bool ok = false;
        SendTimeout(hwnd, WM_NULL, 0, 0, &ok);
        return ok && IsWindow(hwnd) && Painted(hwnd);
      },
      timeoutMs);
}

void SendInputs(std::vector<INPUT>& inputs) {
  if (inputs.empty()) return;
  UINT sent = SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
  if (sent != inputs.size()) {
    std::printf("note: SendInput delivered %u of %u events (error %lu)\n", sent,
                static_cast<unsigned>(inputs.size()), GetLastError());
  }
  // Let the target's thread take the events from its queue before the next action.
  Pause(60);
}

INPUT KeyInput(WORD vk, bool up) {
  INPUT in{};
  in.type = INPUT_KEYBOARD;
  in.ki.wVk = vk;
  in.ki.wScan = static_cast<WORD>(MapVirtualKeyA(vk, MAPVK_VK_TO_VSC));
  in.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
  return in;
}

}  // namespace

// ---- Failure reporting ----------------------------------------------------------------------

void Fail(const char* file, int line, const std::string& what) {
  ADD_FAILURE_AT(file, line) << ToUtf8(what);
}

std::string Show(const std::string& v) {
  std::string out = "\"";
  for (char c : v) {
    if (c == '\r') out += "\\r";
    else if (c == '\n') out += "\\n";
    else out += c;
  }
  return out + "\"";
}

std::string Show(const char* v) { return v ? Show(std::string(v)) : std::string("(null)"); }

std::string Show(HWND v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "hwnd %p", static_cast<void*>(v));
  return buf;
}

std::string Show(const RECT& r) {
  char buf[80];
  std::snprintf(buf, sizeof buf, "(%ld,%ld)-(%ld,%ld)", r.left, r.top, r.right, r.bottom);
  return buf;
}

std::string ToUtf8(const std::string& sjis) {
  std::wstring wide = FromSjis(sjis);
  return wide.empty() ? sjis : ToUtf8(wide);
}

std::string ToUtf8(const std::wstring& text) { return Narrow(CP_UTF8, text); }

std::string Show(const std::wstring& v) { return Show(ToUtf8(v)); }

std::wstring FromSjis(const std::string& sjis) { return Widen(932, sjis); }
std::wstring FromSystem(const std::string& bytes) { return Widen(CP_ACP, bytes); }
std::string ToSjis(const std::wstring& text) { return Narrow(932, text); }
std::string ToSystem(const std::wstring& text) { return Narrow(CP_ACP, text); }

// ---- Processes ------------------------------------------------------------------------------

std::string AppDir() {
  char path[MAX_PATH] = {};
  DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string s(path, n);
  // The runner's folder is plain ASCII, but step over double-byte characters all the same.
  size_t cut = sjis::LastDelimiter("\\", s);
  return cut == std::string::npos ? std::string() : s.substr(0, cut + 1);
}

std::string QuoteArgs(const std::vector<std::string>& args) {
  std::string line;
  for (const std::string& a : args) {
    if (!line.empty()) line += ' ';
    if (!a.empty() && a.find_first_of(" \t\"") == std::string::npos) {
      line += a;
      continue;
    }
    // Backslashes are literal except before a quote, where they must be doubled.
    line += '"';
    size_t slashes = 0;
    for (char c : a) {
      if (c == '\\') {
        ++slashes;
      } else if (c == '"') {
        line.append(slashes * 2 + 1, '\\');
        slashes = 0;
      } else {
        line.append(slashes, '\\');
        slashes = 0;
      }
      if (c != '\\') line += c;
    }
    line.append(slashes * 2, '\\');
    line += '"';
  }
  return line;
}

Process::Process(Process&& other) noexcept
    : process_(std::exchange(other.process_, nullptr)), id_(std::exchange(other.id_, 0)) {}

Process& Process::operator=(Process&& other) noexcept {
  if (this != &other) {
    Release();
    process_ = std::exchange(other.process_, nullptr);
    id_ = std::exchange(other.id_, 0);
  }
  return *this;
}

Process::~Process() { Release(); }

void Process::Release() {
  if (!process_) return;
  if (Running()) {
    Fail(__FILE__, __LINE__,
         "process " + std::to_string(id_) + " still running at the end of the scenario; killed");
    Kill();
  }
  CloseHandle(process_);
  process_ = nullptr;
  id_ = 0;
}

Process Process::Launch(const std::string& exe, const std::vector<std::string>& args,
                        const std::string& currentDir) {
  std::string path = exe;
  if (exe.find_first_of("\\:") == std::string::npos) path = AppDir() + exe;
  std::vector<std::string> all{path};
  all.insert(all.end(), args.begin(), args.end());
  std::string line = QuoteArgs(all);
  std::vector<char> buffer(line.begin(), line.end());
  buffer.push_back('\0');

  STARTUPINFOA si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  Process p;
  if (!CreateProcessA(path.c_str(), buffer.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      currentDir.empty() ? nullptr : currentDir.c_str(), &si, &pi)) {
    std::printf("note: CreateProcess %s failed, error %lu\n", ToUtf8(line).c_str(),
                GetLastError());
    return p;
  }
  win32::KernelHandle thread(pi.hThread);
  p.process_ = pi.hProcess;
  p.id_ = pi.dwProcessId;
  return p;
}

bool Process::Running() const {
  return process_ && WaitForSingleObject(process_, 0) == WAIT_TIMEOUT;
}

std::optional<DWORD> Process::WaitExit(int timeoutMs) {
  if (!process_) return std::nullopt;
  if (!WaitUntil([&] { return !Running(); }, timeoutMs)) return std::nullopt;
  DWORD code = 0;
  if (!GetExitCodeProcess(process_, &code)) return std::nullopt;
  return code;
}

void Process::Kill() {
  if (!process_) return;
  TerminateProcess(process_, 9999);
  WaitForSingleObject(process_, 5000);
}

namespace {

// Window enumeration callbacks are stdcall: named functions, since a lambda converts only to the
// default (cdecl) convention, which differs on 32-bit x86.
struct ProcessWindows {
  DWORD pid;
  std::vector<HWND> found;
};

BOOL CALLBACK CollectProcessWindow(HWND hwnd, LPARAM lp) {
  auto* c = reinterpret_cast<ProcessWindows*>(lp);
  DWORD pid = 0;
  GetWindowThreadProcessId(hwnd, &pid);
  if (pid == c->pid) c->found.push_back(hwnd);
  return TRUE;
}

struct TopWindowSearch {
  DWORD pid;
  const char* cls;
  const char* cap;
  HWND found;
};

BOOL CALLBACK MatchTopWindow(HWND hwnd, LPARAM lp);

}  // namespace

std::vector<HWND> Process::Windows() const {
  ProcessWindows ctx{id_, {}};
  EnumWindows(CollectProcessWindow, reinterpret_cast<LPARAM>(&ctx));
  return ctx.found;
}

int CountShowingUntilExit(const std::vector<const Process*>& processes, const char* className,
                          int timeoutMs) {
  return CountShowingUntil(processes, className, [] { return false; }, timeoutMs);
}

int CountShowingUntil(const std::vector<const Process*>& processes, const char* className,
                      const std::function<bool()>& done, int timeoutMs) {
  std::vector<bool> showed(processes.size(), false);
  WaitUntil(
      [&] {
        // Asked before the look, as is whether each still runs: a window seen after that belongs
        // to the span watched.
        bool finished = done();
        bool allEnded = true;
        for (size_t i = 0; i < processes.size(); ++i) {
          if (processes[i]->Running()) allEnded = false;
          for (HWND w : processes[i]->Windows()) {
            if (IsVisible(w) && (!className || ClassName(w) == className)) showed[i] = true;
          }
        }
        return finished || allEnded;
      },
      timeoutMs);
  return static_cast<int>(std::count(showed.begin(), showed.end(), true));
}

// ---- Waiting --------------------------------------------------------------------------------

bool WaitUntil(const std::function<bool()>& condition, int timeoutMs) {
  const ULONGLONG end = GetTickCount64() + static_cast<ULONGLONG>(timeoutMs);
  for (;;) {
    if (condition()) return true;
    if (GetTickCount64() >= end) return false;
    Pause(25);
  }
}

HeldThread::HeldThread(HWND hwnd)
    : thread_(OpenThread(THREAD_SUSPEND_RESUME, FALSE, ThreadOf(hwnd))) {
  held_ = thread_ && SuspendThread(thread_.Get()) != static_cast<DWORD>(-1);
}

HeldThread::~HeldThread() {
  if (held_) ResumeThread(thread_.Get());
}

void Pause(int ms) {
  const ULONGLONG end = GetTickCount64() + static_cast<ULONGLONG>(ms);
  for (;;) {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
    ULONGLONG now = GetTickCount64();
    if (now >= end) return;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(end - now), QS_ALLINPUT);
  }
}

// ---- Finding windows ------------------------------------------------------------------------

namespace {

BOOL CALLBACK MatchTopWindow(HWND hwnd, LPARAM lp) {
  auto* c = reinterpret_cast<TopWindowSearch*>(lp);
  DWORD owner = 0;
  GetWindowThreadProcessId(hwnd, &owner);
  if (owner != c->pid || !IsWindowVisible(hwnd)) return TRUE;
  if (!SameText(c->cls, ClassName(hwnd)) || !SameCaption(c->cap, hwnd)) return TRUE;
  c->found = hwnd;
  return FALSE;
}

}  // namespace

HWND FindTopWindow(DWORD pid, const char* className, const char* caption) {
  TopWindowSearch ctx{pid, className, caption, nullptr};
  EnumWindows(MatchTopWindow, reinterpret_cast<LPARAM>(&ctx));
  return ctx.found;
}

HWND WaitWindow(DWORD pid, const char* className, const char* caption, int timeoutMs) {
  const ULONGLONG start = GetTickCount64();
  HWND found = nullptr;
  WaitUntil([&] { return (found = FindTopWindow(pid, className, caption)) != nullptr; },
            timeoutMs);
  if (!found) return nullptr;
  int left = timeoutMs - static_cast<int>(GetTickCount64() - start);
  WaitPainted(found, std::max(left, 1000));
  return found;
}

bool WaitGone(HWND hwnd, int timeoutMs) {
  return WaitUntil([&] { return !IsWindow(hwnd) || !IsWindowVisible(hwnd); }, timeoutMs);
}

std::string ControlName(HWND hwnd) {
  auto atom = static_cast<ATOM>(reinterpret_cast<UINT_PTR>(GetPropA(hwnd, "ControlName")));
  if (!atom) return std::string();
  char name[256] = {};
  UINT n = GlobalGetAtomNameA(atom, name, sizeof name);
  return std::string(name, n);
}

std::vector<HWND> Children(HWND parent) {
  std::vector<HWND> out;
  for (HWND c = GetWindow(parent, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) out.push_back(c);
  return out;
}

HWND FindControl(HWND parent, const std::string& name) {
  for (HWND c : Children(parent)) {
    if (ControlName(c) == name) return c;
    if (HWND deeper = FindControl(c, name)) return deeper;
  }
  return nullptr;
}

HWND FindChild(HWND parent, const char* className, const char* text) {
  for (HWND c : Children(parent)) {
    if (SameText(className, ClassName(c)) && SameCaption(text, c)) return c;
    if (HWND deeper = FindChild(c, className, text)) return deeper;
  }
  return nullptr;
}

// ---- Reading state --------------------------------------------------------------------------

std::wstring WideText(HWND hwnd) {
  bool ok = false;
  LRESULT len = SendTimeout(hwnd, WM_GETTEXTLENGTH, 0, 0, &ok);
  if (!ok || len <= 0) return std::wstring();
  std::vector<wchar_t> buf(static_cast<size_t>(len) + 2, L'\0');
  LRESULT got = SendTimeout(hwnd, WM_GETTEXT, buf.size(), reinterpret_cast<LPARAM>(buf.data()), &ok);
  if (!ok) return std::wstring();
  return std::wstring(buf.data(), static_cast<size_t>(std::clamp<LRESULT>(got, 0, static_cast<LRESULT>(len))));
}

std::string Text(HWND hwnd) { return ToSjis(WideText(hwnd)); }

// GetWindowText reads another process's window from what the system keeps, sending nothing.
std::string StoredText(HWND hwnd) {
  wchar_t buf[1024] = {};
  int n = GetWindowTextW(hwnd, buf, static_cast<int>(std::size(buf)));
  return ToSjis(std::wstring(buf, static_cast<size_t>(std::max(0, n))));
}

std::string ClassName(HWND hwnd) {
  char name[256] = {};
  int n = GetClassNameA(hwnd, name, sizeof name);
  return std::string(name, static_cast<size_t>(std::max(0, n)));
}

RECT ScreenRect(HWND hwnd) {
  RECT r{};
  GetWindowRect(hwnd, &r);
  return r;
}

RECT ClientRect(HWND hwnd) {
  RECT r{};
  GetClientRect(hwnd, &r);
  return r;
}

RECT ClientScreenRect(HWND hwnd) {
  RECT r = ClientRect(hwnd);
  MapWindowPoints(hwnd, nullptr, reinterpret_cast<POINT*>(&r), 2);
  return r;
}

RECT RectInParent(HWND hwnd) {
  RECT r = ScreenRect(hwnd);
  HWND parent = GetAncestor(hwnd, GA_PARENT);
  MapWindowPoints(nullptr, parent == GetDesktopWindow() ? nullptr : parent,
                  reinterpret_cast<POINT*>(&r), 2);
  return r;
}

bool IsEnabled(HWND hwnd) { return IsWindowEnabled(hwnd) != FALSE; }
bool IsVisible(HWND hwnd) { return IsWindowVisible(hwnd) != FALSE; }

HWND FocusOf(HWND hwnd) {
  GUITHREADINFO info{};
  info.cbSize = sizeof info;
  if (!GetGUIThreadInfo(ThreadOf(hwnd), &info)) return nullptr;
  return info.hwndFocus;
}

HWND ActiveOf(HWND hwnd) {
  GUITHREADINFO info{};
  info.cbSize = sizeof info;
  if (!GetGUIThreadInfo(ThreadOf(hwnd), &info)) return nullptr;
  return info.hwndActive;
}

int Width(const RECT& r) { return r.right - r.left; }
int Height(const RECT& r) { return r.bottom - r.top; }

// ---- Acting ---------------------------------------------------------------------------------

bool Activate(HWND hwnd) {
  HWND root = GetAncestor(hwnd, GA_ROOT);
  if (!root) return false;
  if (GetForegroundWindow() == root) return true;
  // Without a window manager the foreground can stick to an older window; sharing the
  // target's input state lets this thread hand the activation over.
  DWORD self = GetCurrentThreadId();
  DWORD target = ThreadOf(root);
  bool attached = target != self && AttachThreadInput(self, target, TRUE);
  BringWindowToTop(root);
  SetForegroundWindow(root);
  if (attached) {
    SetActiveWindow(root);
    AttachThreadInput(self, target, FALSE);
  }
  return WaitUntil([&] { return GetForegroundWindow() == root; }, 5000);
}

void ClickAt(HWND hwnd, int x, int y) {
  POINT p{x, y};
  ClientToScreen(hwnd, &p);
  Activate(hwnd);
  int w = GetSystemMetrics(SM_CXSCREEN), h = GetSystemMetrics(SM_CYSCREEN);
  SetCursorPos(p.x, p.y);
  std::vector<INPUT> inputs(3);
  for (INPUT& in : inputs) {
    in.type = INPUT_MOUSE;
    in.mi.dx = MulDiv(p.x, 65535, std::max(1, w - 1));
    in.mi.dy = MulDiv(p.y, 65535, std::max(1, h - 1));
  }
  inputs[0].mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
  inputs[1].mi.dwFlags = MOUSEEVENTF_LEFTDOWN | MOUSEEVENTF_ABSOLUTE;
  inputs[2].mi.dwFlags = MOUSEEVENTF_LEFTUP | MOUSEEVENTF_ABSOLUTE;
  SendInputs(inputs);
}

void Click(HWND hwnd) {
  RECT r = ClientRect(hwnd);
  ClickAt(hwnd, r.right / 2, r.bottom / 2);
}

void ButtonClick(HWND button) { PostMessageA(button, BM_CLICK, 0, 0); }

void Key(WORD virtualKey, unsigned modifiers) {
  std::vector<INPUT> inputs;
  const std::pair<unsigned, WORD> mods[] = {{kCtrl, VK_CONTROL}, {kShift, VK_SHIFT}, {kAlt, VK_MENU}};
  for (const auto& m : mods) {
    if (modifiers & m.first) inputs.push_back(KeyInput(m.second, false));
  }
  inputs.push_back(KeyInput(virtualKey, false));
  inputs.push_back(KeyInput(virtualKey, true));
  for (auto it = std::rbegin(mods); it != std::rend(mods); ++it) {
    if (modifiers & it->first) inputs.push_back(KeyInput(it->second, true));
  }
  SendInputs(inputs);
}

bool Focus(HWND control) {
  Activate(control);
  if (FocusOf(control) == control) return true;
  // SetFocus works only on windows of the calling thread's input state: share it for a moment.
  DWORD self = GetCurrentThreadId();
  DWORD target = ThreadOf(control);
  if (target != self && AttachThreadInput(self, target, TRUE)) {
    SetFocus(control);
    AttachThreadInput(self, target, FALSE);
  }
  return WaitUntil([&] { return FocusOf(control) == control; }, 2000);
}

void TypeText(HWND edit, const std::string& text) {
  std::wstring wide = FromSjis(text);
  bool ascii = std::all_of(wide.begin(), wide.end(), [](wchar_t c) { return c < 0x80; });
  if (!ascii) {
    // Japanese text arrives as an input method's finished string, inserted at the caret.
    Focus(edit);
    SendTimeout(edit, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(wide.c_str()));
    return;
  }
  TypeText(edit, wide);
}

void TypeText(HWND edit, const std::wstring& wide) {
  Focus(edit);
  std::vector<INPUT> inputs;
  for (wchar_t ch : wide) {
    for (bool up : {false, true}) {
      INPUT in{};
      in.type = INPUT_KEYBOARD;
      in.ki.wScan = static_cast<WORD>(ch);
      in.ki.dwFlags = KEYEVENTF_UNICODE | (up ? KEYEVENTF_KEYUP : 0);
      inputs.push_back(in);
    }
  }
  SendInputs(inputs);
}

void SetText(HWND edit, const std::string& text) { SetText(edit, FromSjis(text)); }

void SetText(HWND edit, const std::wstring& text) {
  SendTimeout(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

void CloseBox(HWND hwnd) { PostMessageA(hwnd, WM_SYSCOMMAND, SC_CLOSE, 0); }

// ---- Clipboard ------------------------------------------------------------------------------

namespace {
// The clipboard may be held for a moment by the program that is writing it.
bool OpenClipboardPatiently() {
  return WaitUntil([] { return OpenClipboard(nullptr) != FALSE; }, 3000);
}

template <typename Char>
std::optional<std::basic_string<Char>> ClipboardAs(UINT format) {
  if (!OpenClipboardPatiently()) return std::nullopt;
  win32::OpenedClipboard clipboard{win32::OpenedClipboard::Adopt{}};
  std::optional<std::basic_string<Char>> text;
  if (HANDLE data = GetClipboardData(format)) {
    if (const Char* p = static_cast<const Char*>(GlobalLock(data))) {
      const Char* end = p + GlobalSize(data) / sizeof(Char);
      text = std::basic_string<Char>(p, std::find(p, end, Char()));
      GlobalUnlock(data);
    }
  }
  return text;
}
}  // namespace

std::optional<std::string> ClipboardText() { return ClipboardAs<char>(CF_TEXT); }

std::optional<std::wstring> ClipboardWideText() { return ClipboardAs<wchar_t>(CF_UNICODETEXT); }

bool ClearClipboard() {
  if (!OpenClipboardPatiently()) return false;
  win32::OpenedClipboard clipboard{win32::OpenedClipboard::Adopt{}};
  return EmptyClipboard() != FALSE;
}

// ---- Pixels ---------------------------------------------------------------------------------

COLORREF Bitmap::Pixel(int x, int y) const {
  if (x < 0 || y < 0 || x >= width || y >= height) return CLR_INVALID;
  uint32_t p = pixels[static_cast<size_t>(y) * width + x];
  return RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF);
}

bool Bitmap::SaveBmp(const std::string& path) const {
  if (Empty()) return false;
  const uint32_t stride = (static_cast<uint32_t>(width) * 3 + 3) & ~3u;
  const uint32_t imageSize = stride * static_cast<uint32_t>(height);
  BITMAPFILEHEADER fh{};
  BITMAPINFOHEADER ih{};
  fh.bfType = 0x4D42;  // "BM"
  fh.bfOffBits = sizeof fh + sizeof ih;
  fh.bfSize = fh.bfOffBits + imageSize;
  ih.biSize = sizeof ih;
  ih.biWidth = width;
  ih.biHeight = height;  // bottom-up
  ih.biPlanes = 1;
  ih.biBitCount = 24;
  ih.biCompression = BI_RGB;
  ih.biSizeImage = imageSize;
  std::vector<unsigned char> rows(imageSize, 0);
  for (int y = 0; y < height; ++y) {
    unsigned char* row = &rows[static_cast<size_t>(height - 1 - y) * stride];
    for (int x = 0; x < width; ++x) {
      uint32_t p = pixels[static_cast<size_t>(y) * width + x];
      row[x * 3 + 0] = p & 0xFF;
      row[x * 3 + 1] = (p >> 8) & 0xFF;
      row[x * 3 + 2] = (p >> 16) & 0xFF;
    }
  }
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  bool ok = std::fwrite(&fh, sizeof fh, 1, f) == 1 && std::fwrite(&ih, sizeof ih, 1, f) == 1 &&
            std::fwrite(rows.data(), 1, rows.size(), f) == rows.size();
  return std::fclose(f) == 0 && ok;
}

namespace {
Bitmap CaptureScreen(const RECT& r) {
  Bitmap bmp;
  bmp.width = std::max(0, Width(r));
  bmp.height = std::max(0, Height(r));
  if (bmp.width == 0 || bmp.height == 0) return Bitmap{};
  win32::WindowDc screen(nullptr);
  win32::MemoryDc mem(screen.Get());
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof bi.bmiHeader;
  bi.bmiHeader.biWidth = bmp.width;
  bi.bmiHeader.biHeight = -bmp.height;  // top-down
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  bi.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  win32::BitmapHandle dib(CreateDIBSection(mem.Get(), &bi, DIB_RGB_COLORS, &bits, nullptr, 0));
  bool ok = false;
  if (dib && bits) {
    win32::SelectedObject selected(mem.Get(), dib.Get());
    ok = BitBlt(mem.Get(), 0, 0, bmp.width, bmp.height, screen.Get(), r.left, r.top, SRCCOPY) != FALSE;
    GdiFlush();
    if (ok) {
      const auto* p = static_cast<const uint32_t*>(bits);
      bmp.pixels.assign(p, p + static_cast<size_t>(bmp.width) * bmp.height);
      for (uint32_t& px : bmp.pixels) px &= 0xFFFFFF;
    }
  }
  return ok ? bmp : Bitmap{};
}
}  // namespace

Bitmap Capture(HWND hwnd) {
  WaitPainted(hwnd);
  return CaptureScreen(ScreenRect(hwnd));
}

Bitmap CaptureClient(HWND hwnd) {
  WaitPainted(hwnd);
  return CaptureScreen(ClientScreenRect(hwnd));
}

}  // namespace e2e
