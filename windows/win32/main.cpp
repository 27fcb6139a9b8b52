// Entry point of SETUP.exe: one copy per logged-on user, the two windows, the message loop.
#include <windows.h>

#include "base/failure.h"
#include "dialogs/win32/error_report.h"
#include "location/game_dir.h"
#include "location/win32/backends.h"
#include "payload/win32/extract.h"
#include "ui/win32/application.h"
#include "windows/win32/Unit1.h"
#include "windows/win32/Unit3.h"
#include "windows/update_files.h"

namespace {

// Named in the local namespace of the user's logon; only the name's existence matters.
const char kInstanceMutexName[] = "QMV_SETUP";
HANDLE g_instanceMutex = nullptr;

// An update cut short by a crash or a kill is finished or undone before any window shows, so
// that the game folder never stays half updated. A folder that cannot be read now is reported
// by the main window's creation, as on every start; none recorded means nothing to recover. The
// folder recorded is fixed here for the run, as the update will find it. A recovery that cannot
// finish now (a file held by the running game, say) is reported once and start-up goes on: the
// update command tries it again first.
void RecoverInterruptedUpdateOfGame() {
  std::string folder;
  try {
    LoadGameDir(folder);
  } catch (const ERegistryException&) {
    return;
  }
  RunGuarded([&] { RecoverInterruptedUpdate(folder, kUpdateFiles); }, ReportError);
}

// Every later load, including those that system DLLs make, skips the program's own folder, where
// a downloaded updater may have planted DLLs beside it. Looked up because older systems lack it.
void LoadDllsFromSystemFolderOnly() {
  using SetDefaultDllDirectoriesProc = BOOL(WINAPI*)(DWORD);
  HMODULE kernel = GetModuleHandleA("kernel32.dll");
  auto setDefault = reinterpret_cast<SetDefaultDllDirectoriesProc>(
      reinterpret_cast<void*>(kernel ? GetProcAddress(kernel, "SetDefaultDllDirectories") : nullptr));
  if (setDefault) setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32);
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  LoadDllsFromSystemFolderOnly();
  SetLastError(ERROR_SUCCESS);
  g_instanceMutex = CreateMutexA(nullptr, TRUE, kInstanceMutexName);
  // Another instance (or any object holding the name) leaves a non-zero error: end silently.
  // The handle, if any, is closed by the system at exit.
  if (GetLastError() != ERROR_SUCCESS) return 1;

  UseWin32LocationBackends();
  // A failure that escapes a handler is shown by the error report and the program goes on; one
  // that escapes start-up is shown once by the box alone, and the program ends normally.
  Application->OnException = ReportError;
  RunGuarded(
      [] {
        Application->Initialize();
        RecoverInterruptedUpdateOfGame();
        Application->CreateForm(Form1);
        Application->CreateForm(Form3);
        Application->Run();
      },
      ShowErrorBox);

  ReleaseMutex(g_instanceMutex);
  return 0;
}
