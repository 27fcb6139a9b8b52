// The application object and the message loop.
#include "ui/win32/application.h"

#include <algorithm>

#include "resources/resource_names.h"
#include "ui/app_title.h"
#include "ui/win32/text.h"

namespace {

TApplication theApplication;

bool IsKeyMessage(UINT message) { return message >= WM_KEYFIRST && message <= WM_KEYLAST; }

// The application's own top-level window: never seen itself (it has no size), it owns the forms
// and carries the title on the taskbar. The title is the executable's name: system text.
class TApplicationWindow : public TWindow {
 public:
  explicit TApplicationWindow(const std::string& title) {
    TWindow::RegisterWindowClass("TApplication", nullptr, 0, nullptr,
                                 LoadIconA(GetModuleHandleA(nullptr), resource_names::kMainIcon));
    int x = GetSystemMetrics(SM_CXSCREEN) / 2, y = GetSystemMetrics(SM_CYSCREEN) / 2;
    CreateHandle(0, "TApplication", SystemText(title), WS_POPUP | WS_CAPTION | WS_CLIPSIBLINGS | WS_SYSMENU | WS_MINIMIZEBOX, x,
                 y, 0, 0, nullptr, nullptr);
  }

 protected:
  LRESULT WndProc(UINT message, WPARAM wParam, LPARAM lParam) override {
    switch (message) {
      case WM_ACTIVATE:
        // Activation from the taskbar goes on to the form the user was last in.
        if (LOWORD(wParam) != WA_INACTIVE && !HIWORD(wParam)) {
          HWND last = GetLastActivePopup(Handle());
          if (last && last != Handle() && IsWindowVisible(last) && IsWindowEnabled(last)) {
            SetActiveWindow(last);
            return 0;
          }
        }
        break;
      case WM_CLOSE:
        if (TForm* main = Application->MainForm()) main->Close();
        return 0;
      default:
        break;
    }
    return DefaultHandler(message, wParam, lParam);
  }
};

}  // namespace

TApplication* Application = &theApplication;

TApplication::~TApplication() {
  // Forms go before the application window that owns them.
  for (auto it = forms_.rbegin(); it != forms_.rend(); ++it) it->reset();
  forms_.clear();
  window_.reset();
}

HWND TApplication::Handle() const { return window_ ? window_->Handle() : nullptr; }

void TApplication::Initialize() {
  Title();
  if (!window_) window_ = std::make_unique<TApplicationWindow>(title_);
}

void TApplication::MainFormShown() {
  if (Handle() && !IsWindowVisible(Handle())) ShowWindow(Handle(), SW_SHOWNA);
}

void TApplication::Minimize() {
  if (Handle()) ShowWindow(Handle(), SW_MINIMIZE);
}

const std::string& TApplication::Title() {
  if (!titleFormed_) {
    // The whole path (the title rule takes its first 255 bytes), however the platform treats a
    // buffer that is too small.
    std::string path(32768, '\0');
    DWORD length = GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size() - 1));
    path.resize(length < path.size() ? length : 0);
    // The name comes in the OEM code page only where the file calls were switched to it, and is
    // converted only then: a name in the system's code page read as OEM text turns into another
    // ("Café" in 1252 reads "CafΘ" in 437).
    if (!AreFileApisANSI()) OemToCharBuffA(path.data(), path.data(), static_cast<DWORD>(path.size()));
    title_ = ApplicationTitleFromPath(path);
    titleFormed_ = true;
  }
  return title_;
}

void TApplication::AddForm(std::unique_ptr<TForm> form) {
  if (!mainForm_) mainForm_ = form.get();
  forms_.push_back(std::move(form));
}

bool TApplication::ProcessMessage(bool wait) {
  // Taken and dispatched in UTF-16: a character typed into a Unicode window stays itself instead
  // of passing through the system's code page.
  MSG message;
  if (wait) {
    if (GetMessageW(&message, nullptr, 0, 0) <= 0) {
      terminated_ = true;
      return false;
    }
  } else {
    if (!PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) return false;
    if (message.message == WM_QUIT) {
      terminated_ = true;
      return false;
    }
  }
  if (IsKeyMessage(message.message) && message.hwnd) {
    // The form sees dialog keys (Tab, Enter, Escape, access keys) before its controls.
    HWND root = GetAncestor(message.hwnd, GA_ROOT);
    if (dynamic_cast<TForm*>(TWindow::FromHandle(root)) &&
        SendMessageA(root, CM_DIALOGKEY, 0, reinterpret_cast<LPARAM>(&message))) {
      return true;
    }
  }
  TranslateMessage(&message);
  DispatchMessageW(&message);
  return true;
}

void TApplication::ProcessMessages() {
  while (ProcessMessage(false)) {
  }
}

void TApplication::HandleMessage() { ProcessMessage(true); }

void TApplication::Run() {
  if (!mainForm_) return;
  mainForm_->Show();
  while (!terminated_) {
    try {
      HandleMessage();
    } catch (...) {
      HandleCurrentException();
    }
  }
}

void TApplication::Terminate() {
  if (terminateRequested_) return;
  terminateRequested_ = true;
  PostQuitMessage(0);
}

void TApplication::HandleException(const Exception& failure) {
  if (OnException) OnException(failure);
}

void TApplication::HandleCurrentException() noexcept {
  try {
    ReportCurrentFailure([this](const Exception& failure) { HandleException(failure); });
  } catch (...) {
    // The report itself failed (no memory left for the box): nothing more can be shown.
  }
}

bool TApplication::HelpContext(int context) {
  lastHelpContext_ = context;
  if (!HelpFile.empty() && WinHelpA(Handle(), HelpFile.c_str(), HELP_CONTEXT, static_cast<ULONG_PTR>(context))) {
    return true;
  }
  MessageBeep(MB_OK);
  return false;
}

// ---- TTaskWindowsDisabled ----

namespace {

struct DisableContext {
  HWND except;
  std::vector<HWND>* disabled;
};

BOOL CALLBACK DisableOne(HWND window, LPARAM parameter) {
  auto* context = reinterpret_cast<DisableContext*>(parameter);
  if (window != context->except && IsWindowVisible(window) && IsWindowEnabled(window)) {
    context->disabled->push_back(window);
    EnableWindow(window, FALSE);
  }
  return TRUE;
}

}  // namespace

TTaskWindowsDisabled::TTaskWindowsDisabled(HWND except) : active_(GetActiveWindow()), focus_(GetFocus()) {
  DisableContext context{except, &disabled_};
  EnumThreadWindows(GetCurrentThreadId(), DisableOne, reinterpret_cast<LPARAM>(&context));
}

TTaskWindowsDisabled::~TTaskWindowsDisabled() { Restore(); }

void TTaskWindowsDisabled::Restore() {
  if (restored_) return;
  restored_ = true;
  for (HWND window : disabled_) {
    if (IsWindow(window)) EnableWindow(window, TRUE);
  }
  if (active_ && IsWindow(active_) && IsWindowVisible(active_)) SetActiveWindow(active_);
  if (focus_ && IsWindow(focus_) && IsWindowVisible(focus_)) SetFocus(focus_);
}
