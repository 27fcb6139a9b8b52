// The one window procedure of the layer. A failure raised by any handler stops here and goes to
// the failure sink the program installed in the application; nothing is ever thrown into the
// platform.
#include "ui/win32/window.h"

#include <algorithm>
#include <map>

#include "base/failure.h"
#include "ui/win32/application.h"
#include "ui/win32/text.h"

namespace {

struct ClassInfo {
  WNDPROC baseProc;
};

// Class atom -> the system procedure it extends (DefWindowProcW for plain classes).
std::map<ATOM, ClassInfo>& Classes() {
  static std::map<ATOM, ClassInfo> classes;
  return classes;
}

WNDPROC BaseProcOf(HWND window) {
  ATOM atom = static_cast<ATOM>(GetClassLongPtrW(window, GCW_ATOM));
  auto it = Classes().find(atom);
  return it == Classes().end() ? DefWindowProcW : it->second.baseProc;
}

// The platform's refusal, with its own message for the thread's last error (in the system's code
// page, as the ANSI call gives it).
[[noreturn]] void RaisePlatformError() {
  DWORD code = GetLastError();
  char* text = nullptr;
  DWORD length = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                    FORMAT_MESSAGE_IGNORE_INSERTS,
                                nullptr, code, 0, reinterpret_cast<LPSTR>(&text), 0, nullptr);
  std::string message = length && text ? std::string(text, length) : std::string();
  if (text) LocalFree(text);
  throw EPlatformError(code, message);
}

// The outer rectangle in the parent's client area for a child window, on the screen otherwise.
RECT BoundsOf(HWND window) {
  RECT r{};
  GetWindowRect(window, &r);
  if (GetWindowLongA(window, GWL_STYLE) & WS_CHILD) {
    MapWindowPoints(nullptr, GetParent(window), reinterpret_cast<POINT*>(&r), 2);
  }
  return r;
}

}  // namespace

TWindow::~TWindow() {
  if (handle_) {
    HWND window = handle_;
    DestroyWindow(window);
    // Should the platform refuse, never leave it pointing at a dead object.
    if (IsWindow(window)) SetWindowLongPtrW(window, GWLP_USERDATA, 0);
    handle_ = nullptr;
  }
}

TWindow* TWindow::FromHandle(HWND window) {
  if (!window) return nullptr;
  // The wide call: for a Unicode window the ANSI one gives a stand-in for the procedure.
  if (reinterpret_cast<WNDPROC>(GetWindowLongPtrW(window, GWLP_WNDPROC)) != &TWindow::Thunk) return nullptr;
  return reinterpret_cast<TWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
}

void TWindow::RegisterWindowClass(const char* className, const char* baseClass, UINT style, HBRUSH background,
                            HICON icon) {
  HINSTANCE instance = GetModuleHandleW(nullptr);
  const std::wstring name = ui::WideOwn(className);
  WNDCLASSEXW existing{};
  existing.cbSize = sizeof existing;
  if (GetClassInfoExW(instance, name.c_str(), &existing)) return;

  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  WNDPROC baseProc = DefWindowProcW;
  if (baseClass) {
    if (!GetClassInfoExW(nullptr, ui::WideOwn(baseClass).c_str(), &wc)) RaisePlatformError();
    wc.cbSize = sizeof wc;
    baseProc = wc.lpfnWndProc;
    wc.style &= ~CS_GLOBALCLASS;
  } else {
    wc.style = style;
    wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    wc.hbrBackground = background;
    wc.hIcon = icon;
  }
  wc.lpfnWndProc = &TWindow::Thunk;
  wc.hInstance = instance;
  wc.lpszClassName = name.c_str();
  wc.lpszMenuName = nullptr;
  wc.hIconSm = nullptr;
  ATOM atom = RegisterClassExW(&wc);
  if (!atom) RaisePlatformError();
  Classes()[atom] = ClassInfo{baseProc};
}

void TWindow::CreateHandle(DWORD exStyle, const char* className, const ShownText& text, DWORD style, int x,
                           int y, int width, int height, HWND parent, HMENU menuOrId) {
  SetLastError(ERROR_SUCCESS);
  HWND window = CreateWindowExW(exStyle, ui::WideOwn(className).c_str(), ui::Wide(text).c_str(), style, x, y,
                                width, height, parent, menuOrId, GetModuleHandleW(nullptr), this);
  if (!window) RaisePlatformError();
  handle_ = window;
}

LRESULT TWindow::WndProc(UINT message, WPARAM wParam, LPARAM lParam) {
  return DefaultHandler(message, wParam, lParam);
}

LRESULT TWindow::DefaultHandler(UINT message, WPARAM wParam, LPARAM lParam) {
  return CallWindowProcW(baseProc_ ? baseProc_ : DefWindowProcW, handle_, message, wParam, lParam);
}

LRESULT CALLBACK TWindow::Thunk(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  TWindow* self;
  if (message == WM_NCCREATE) {
    self = static_cast<TWindow*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
    if (self) {
      self->handle_ = window;
      self->baseProc_ = BaseProcOf(window);
      SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
  } else {
    self = reinterpret_cast<TWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  }
  // Messages that come before WM_NCCREATE (WM_GETMINMAXINFO) have no object yet.
  if (!self) return CallWindowProcW(BaseProcOf(window), window, message, wParam, lParam);

  if (message == WM_NCDESTROY) {
    LRESULT result = self->DefaultHandler(message, wParam, lParam);
    SetWindowLongPtrW(window, GWLP_USERDATA, 0);
    self->handle_ = nullptr;
    self->HandleDestroyed();
    return result;
  }

  try {
    return self->WndProc(message, wParam, lParam);
  } catch (...) {
    Application->HandleCurrentException();
  }
  return 0;
}

// ---- TWindowed ----

void TWindowed::CreateHandle(DWORD exStyle, const char* className, const ShownText& caption, DWORD style, int x,
                             int y, int width, int height, HWND parent, HMENU menuOrId) {
  caption_ = caption;
  TWindow::CreateHandle(exStyle, className, caption, style, x, y, width, height, parent, menuOrId);
}

std::wstring TWindowed::WindowText() const {
  int length = GetWindowTextLengthW(Handle());
  std::wstring text(static_cast<size_t>(std::max(length, 0)) + 1, L'\0');
  int got = GetWindowTextW(Handle(), text.data(), length + 1);
  text.resize(static_cast<size_t>(std::clamp(got, 0, std::max(length, 0))));
  return text;
}

void TWindowed::SetCaption(const ShownText& caption) {
  caption_ = caption;
  SetWindowTextW(Handle(), ui::Wide(caption).c_str());
}

int TWindowed::Left() const { return BoundsOf(Handle()).left; }
int TWindowed::Top() const { return BoundsOf(Handle()).top; }
int TWindowed::Width() const {
  RECT r = BoundsOf(Handle());
  return r.right - r.left;
}
int TWindowed::Height() const {
  RECT r = BoundsOf(Handle());
  return r.bottom - r.top;
}

void TWindowed::SetLeft(int left) {
  SetWindowPos(Handle(), nullptr, left, Top(), 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void TWindowed::SetTop(int top) {
  SetWindowPos(Handle(), nullptr, Left(), top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void TWindowed::SetBounds(int left, int top, int width, int height) {
  SetWindowPos(Handle(), nullptr, left, top, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
}
