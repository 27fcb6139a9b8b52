// The error box under the application title.
#include "dialogs/win32/error_report.h"

#include <windows.h>

#include "dialogs/error_text.h"
#include "ui/win32/application.h"
#include "ui/win32/text.h"

namespace {

// While the box shows, the application window sits on the active window's monitor, so that the
// box (centred on its owner) comes up where the user is looking.
class OwnerOnActiveMonitor {
 public:
  explicit OwnerOnActiveMonitor(HWND owner) : owner_(owner) {
    HWND active = GetActiveWindow();
    if (!owner_ || !active || active == owner_) return;
    HMONITOR target = MonitorFromWindow(active, MONITOR_DEFAULTTONEAREST);
    if (target == MonitorFromWindow(owner_, MONITOR_DEFAULTTONEAREST)) return;
    MONITORINFO info{};
    info.cbSize = sizeof info;
    if (!GetMonitorInfoA(target, &info) || !GetWindowRect(owner_, &saved_)) return;
    int x = (info.rcWork.left + info.rcWork.right) / 2, y = (info.rcWork.top + info.rcWork.bottom) / 2;
    SetWindowPos(owner_, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    moved_ = true;
  }
  OwnerOnActiveMonitor(const OwnerOnActiveMonitor&) = delete;
  OwnerOnActiveMonitor& operator=(const OwnerOnActiveMonitor&) = delete;
  ~OwnerOnActiveMonitor() {
    if (moved_ && IsWindow(owner_)) {
      SetWindowPos(owner_, nullptr, saved_.left, saved_.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
  }

 private:
  HWND owner_;
  RECT saved_{};
  bool moved_ = false;
};

}  // namespace

// The platform's message box fails on texts of about 32 KiB and more (a very long recorded
// folder gets into the create failure's message); what is longer is cut to this.
constexpr size_t kMaxBoxText = 32000;

void ShowErrorBox(const Exception& failure) {
  // The message's own words and the system's names (a path in it, the title) each read from
  // their own code page.
  const std::wstring text = ui::Wide(Truncate(ErrorReportText(failure.Shown()), kMaxBoxText));
  const std::wstring title = ui::Wide(SystemText(Application->Title()));
  HWND owner = Application->Handle();
  TTaskWindowsDisabled others(owner);
  {
    OwnerOnActiveMonitor placement(owner);
    MessageBoxW(owner, text.c_str(), title.c_str(), MB_OK | MB_ICONSTOP);
  }
  others.Restore();
}

void ReportError(const Exception& failure) {
  if (HWND capture = GetCapture()) SendMessageA(capture, WM_CANCELMODE, 0, 0);
  if (dynamic_cast<const EAbort*>(&failure)) return;
  ShowErrorBox(failure);
}
