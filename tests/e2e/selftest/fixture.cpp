// A plain Win32 program for the driver's own scenarios: one window with named controls, a
// painted patch of known colour and a modal message box.
//
//   fixture.exe              the window (class "E2EFixture", caption "フィクスチャ窓")
//   fixture.exe exit N       ends at once with exit code N
//   fixture.exe argcheck ARGS...   exit code 0 when ARGS are kArgs below, else 10 + the index
//                                  of the first mismatch (or 50 for a wrong count)
//   fixture.exe cwd DIR      exit code 0 when the current folder is DIR, else 3
//   fixture.exe hang         never ends
//   fixture.exe flash MS     the window, closed by itself after MS milliseconds (exit code 100)
//
// The window: Button1 "押す(&P)" counts clicks into Label1 ("押された N"); Button2 "質問(&Q)"
// asks "続けますか？" in a Yes/No message box and shows "答え N"; Button3 is disabled; Edit1
// takes text; Label2 is hidden. Enter shows "エンター", Escape "エスケープ" in Label1, and
// Ctrl+C puts Edit1's text on the clipboard. Closing the window ends with 100 + clicks.
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "tests/e2e/selftest/fixture.h"

namespace {

HWND g_label1 = nullptr;
HWND g_edit1 = nullptr;
int g_clicks = 0;
UINT g_flashMs = 0;

enum : int { kButton1 = 101, kButton2, kButton3, kEdit1, kLabel1, kLabel2 };

void Name(HWND hwnd, const char* name) {
  SetPropA(hwnd, "ControlName", reinterpret_cast<HANDLE>(static_cast<UINT_PTR>(GlobalAddAtomA(name))));
}

HWND Make(HWND parent, const char* cls, const char* text, DWORD style, const RECT& r, int id,
          const char* name) {
  HWND h = CreateWindowExA(0, cls, text, WS_CHILD | style, r.left, r.top, r.right - r.left,
                           r.bottom - r.top, parent,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), nullptr, nullptr);
  SendMessageA(h, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), 0);
  Name(h, name);
  return h;
}

void CopyEditText() {
  char text[512] = {};
  int n = GetWindowTextA(g_edit1, text, sizeof text);
  if (!OpenClipboard(nullptr)) return;
  EmptyClipboard();
  if (HGLOBAL mem = GlobalAlloc(GMEM_MOVEABLE, static_cast<SIZE_T>(n) + 1)) {
    std::memcpy(GlobalLock(mem), text, static_cast<size_t>(n) + 1);
    GlobalUnlock(mem);
    if (!SetClipboardData(CF_TEXT, mem)) GlobalFree(mem);
  }
  CloseClipboard();
}

LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_CREATE: {
      const DWORD button = WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON;
      HWND b1 = Make(hwnd, "BUTTON", "押す(&P)", button | WS_GROUP, fixture::kButton1Rect,
                     kButton1, "Button1");
      Make(hwnd, "BUTTON", "質問(&Q)", button, fixture::kButton2Rect, kButton2, "Button2");
      HWND b3 = Make(hwnd, "BUTTON", "無効", button, fixture::kButton3Rect, kButton3, "Button3");
      EnableWindow(b3, FALSE);
      g_edit1 = Make(hwnd, "EDIT", "", WS_VISIBLE | WS_TABSTOP | WS_BORDER | ES_AUTOHSCROLL,
                     fixture::kEdit1Rect, kEdit1, "Edit1");
      g_label1 = Make(hwnd, "STATIC", "ラベル", WS_VISIBLE, fixture::kLabel1Rect, kLabel1, "Label1");
      Make(hwnd, "STATIC", "隠れ", 0, fixture::kLabel2Rect, kLabel2, "Label2");
      SetFocus(b1);
      return 0;
    }
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(hwnd, &ps);
      HBRUSH patch = CreateSolidBrush(fixture::kPatchColor);
      FillRect(dc, &fixture::kPatchRect, patch);
      DeleteObject(patch);
      EndPaint(hwnd, &ps);
      return 0;
    }
    case WM_COMMAND:
      switch (LOWORD(wp)) {
        case kButton1:
          ++g_clicks;
          SetWindowTextA(g_label1, ("押された " + std::to_string(g_clicks)).c_str());
          return 0;
        case kButton2: {
          int answer = MessageBoxA(hwnd, "続けますか？", "確認", MB_YESNO | MB_ICONQUESTION);
          SetWindowTextA(g_label1, ("答え " + std::to_string(answer)).c_str());
          return 0;
        }
        case IDOK:
          SetWindowTextA(g_label1, "エンター");
          return 0;
        case IDCANCEL:
          SetWindowTextA(g_label1, "エスケープ");
          return 0;
      }
      break;
    case WM_TIMER:
      DestroyWindow(hwnd);
      return 0;
    case WM_DESTROY:
      PostQuitMessage(100 + g_clicks);
      return 0;
  }
  return DefWindowProcA(hwnd, msg, wp, lp);
}

int RunWindow(HINSTANCE instance) {
  WNDCLASSA wc{};
  wc.lpfnWndProc = WindowProc;
  wc.hInstance = instance;
  wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = fixture::kClassName;
  RegisterClassA(&wc);
  const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU;
  RECT frame{0, 0, fixture::kClientWidth, fixture::kClientHeight};
  AdjustWindowRect(&frame, style, FALSE);
  HWND hwnd = CreateWindowExA(0, fixture::kClassName, fixture::kCaption, style, fixture::kLeft,
                              fixture::kTop, frame.right - frame.left, frame.bottom - frame.top,
                              nullptr, nullptr, instance, nullptr);
  ShowWindow(hwnd, SW_SHOW);
  UpdateWindow(hwnd);
  if (g_flashMs) SetTimer(hwnd, 1, g_flashMs, nullptr);
  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
    if (msg.message == WM_KEYDOWN && msg.wParam == 'C' && (GetKeyState(VK_CONTROL) & 0x8000)) {
      CopyEditText();
      continue;
    }
    if (IsDialogMessageA(hwnd, &msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  return static_cast<int>(msg.wParam);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 3 && std::strcmp(argv[1], "exit") == 0) return std::atoi(argv[2]);
  if (argc >= 2 && std::strcmp(argv[1], "argcheck") == 0) {
    const int count = static_cast<int>(sizeof fixture::kArgs / sizeof fixture::kArgs[0]);
    if (argc - 2 != count) return 50;
    for (int i = 0; i < count; ++i) {
      if (std::strcmp(argv[i + 2], fixture::kArgs[i]) != 0) return 10 + i;
    }
    return 0;
  }
  if (argc >= 3 && std::strcmp(argv[1], "cwd") == 0) {
    char dir[MAX_PATH] = {};
    GetCurrentDirectoryA(MAX_PATH, dir);
    return lstrcmpiA(dir, argv[2]) == 0 ? 0 : 3;
  }
  if (argc >= 3 && std::strcmp(argv[1], "flash") == 0) g_flashMs = static_cast<UINT>(std::atoi(argv[2]));
  if (argc >= 2 && std::strcmp(argv[1], "hang") == 0) {
    Sleep(INFINITE);
  }
  return RunWindow(GetModuleHandleA(nullptr));
}
