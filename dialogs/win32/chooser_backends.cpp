// Win32 backends of the folder chooser.
#include "dialogs/win32/chooser_backends.h"

#include <winnetwk.h>

#include "base/failure.h"
#include "base/sjis.h"

namespace chooser {
namespace {

std::string RootOf(char letter) { return std::string{letter, ':', '\\'}; }

// Restores the previous error mode on scope exit.
class CriticalErrorsSuppressed {
 public:
  CriticalErrorsSuppressed() : previous_(SetErrorMode(SEM_FAILCRITICALERRORS)) {}
  CriticalErrorsSuppressed(const CriticalErrorsSuppressed&) = delete;
  CriticalErrorsSuppressed& operator=(const CriticalErrorsSuppressed&) = delete;
  ~CriticalErrorsSuppressed() { SetErrorMode(previous_); }

 private:
  UINT previous_;
};

// A DLL from the system folder only: the program's own folder (a download folder, say) may hold
// a planted DLL of the same name. Systems without the search flag get the full path instead.
HMODULE LoadSystemLibrary(const char* name) {
  if (HMODULE module = LoadLibraryExA(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32)) return module;
  char folder[MAX_PATH];
  UINT length = GetSystemDirectoryA(folder, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return nullptr;
  return LoadLibraryA((std::string(folder, length) + "\\" + name).c_str());
}

// MPR is loaded at first use and kept, so that it never stands in the import table.
using WNetGetConnectionProc = DWORD(WINAPI*)(LPCSTR, LPSTR, LPDWORD);

DWORD GetConnection(const char* local, std::string& remote, DWORD& size) {
  static const auto get = [] {
    HMODULE mpr = LoadSystemLibrary("mpr.dll");
    return reinterpret_cast<WNetGetConnectionProc>(
        reinterpret_cast<void*>(mpr ? GetProcAddress(mpr, "WNetGetConnectionA") : nullptr));
  }();
  if (get == nullptr) return ERROR_NOT_SUPPORTED;
  return get(local, remote.data(), &size);
}

// The legacy entry points: WNETGETCAPS in user32 names a module holding WNETCONNECTDIALOG.
using WNetGetCapsProc = WORD(WINAPI*)(WORD);
using WNetConnectDialogProc = WORD(WINAPI*)(HWND, WORD);

WNetConnectDialogProc FindNetworkDialog() {
  HMODULE user32 = GetModuleHandleA("user32.dll");
  if (user32 == nullptr) return nullptr;
  auto getCaps = reinterpret_cast<WNetGetCapsProc>(reinterpret_cast<void*>(GetProcAddress(user32, "WNETGETCAPS")));
  if (getCaps == nullptr) return nullptr;
  auto module = reinterpret_cast<HMODULE>(static_cast<UINT_PTR>(getCaps(0xFFFF)));
  if (module == nullptr) return nullptr;
  return reinterpret_cast<WNetConnectDialogProc>(
      reinterpret_cast<void*>(GetProcAddress(module, "WNETCONNECTDIALOG")));
}

}  // namespace

bool Win32FolderSystem::DirectoryExists(const std::string& path) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool Win32FolderSystem::MakeDirectory(const std::string& path) { return CreateDirectoryA(path.c_str(), nullptr) != 0; }

uint32_t Win32DriveSource::LogicalDrives() { return GetLogicalDrives(); }

DriveKind Win32DriveSource::KindOf(char letter) {
  return static_cast<DriveKind>(GetDriveTypeA(RootOf(letter).c_str()));
}

std::optional<std::string> Win32DriveSource::VolumeLabel(char letter) {
  char label[MAX_PATH + 1] = {};
  DWORD maxComponent = 0;
  DWORD flags = 0;
  if (!GetVolumeInformationA(RootOf(letter).c_str(), label, sizeof label, nullptr, &maxComponent, &flags, nullptr,
                             0)) {
    return std::nullopt;
  }
  return std::string(label);
}

std::optional<std::string> Win32DriveSource::RemoteName(char letter) {
  char local[] = {letter, ':', 0};
  std::string remote(MAX_PATH + 1, '\0');
  DWORD size = static_cast<DWORD>(remote.size());
  DWORD status = GetConnection(local, remote, size);
  if (status == ERROR_MORE_DATA) {
    // size now holds the length the name needs.
    remote.assign(size + 1, '\0');
    size = static_cast<DWORD>(remote.size());
    status = GetConnection(local, remote, size);
  }
  if (status != NO_ERROR) return std::nullopt;
  remote.resize(remote.find('\0'));
  return remote;
}

std::vector<DriveEntry> ListSystemDrives() {
  CriticalErrorsSuppressed quiet;
  Win32DriveSource source;
  return ListDrives(source);
}

std::string CurrentFolder() {
  DWORD size = GetCurrentDirectoryA(0, nullptr);
  std::string folder(size, '\0');
  DWORD length = GetCurrentDirectoryA(size, folder.data());
  folder.resize(length < size ? length : 0);
  return folder;
}

std::string ChangeFolder(const std::string& path) {
  CriticalErrorsSuppressed quiet;
  if (!SetCurrentDirectoryA(path.c_str())) throw EInOutError(static_cast<int>(GetLastError()));
  std::string folder = CurrentFolder();
  RememberDriveFolder(folder);
  return folder;
}

void RememberDriveFolder(const std::string& folder) {
  std::string drive = DrivePart(folder);
  if (drive.size() != 2) return;
  // The per-drive current folder lives in the "=X:" variable, as the C runtime keeps it.
  std::string variable = "=" + sjis::UpperAscii(drive);
  SetEnvironmentVariableA(variable.c_str(), folder.c_str());
}

std::string ExpandPath(const std::string& path) {
  DWORD size = GetFullPathNameA(path.c_str(), 0, nullptr, nullptr);
  if (size == 0) return path;
  std::string full(size, '\0');
  DWORD length = GetFullPathNameA(path.c_str(), size, full.data(), nullptr);
  if (length == 0 || length >= size) return path;
  full.resize(length);
  return full;
}

std::vector<SearchRec> ListFolder(const std::string& folder) {
  CriticalErrorsSuppressed quiet;
  return ListEntries(folder);
}

bool NetworkDialogAvailable() { return FindNetworkDialog() != nullptr; }

void ShowNetworkDialog(HWND owner) {
  constexpr WORD kDiskResources = 1;
  if (WNetConnectDialogProc dialog = FindNetworkDialog()) dialog(owner, kDiskResources);
}

}  // namespace chooser
