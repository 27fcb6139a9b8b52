// Win32 backends of the folder chooser: the process's current folder (kept per drive), drive
// facts with critical-error boxes suppressed, directory listings (through the installed location
// listing backend: a program showing the chooser calls UseWin32LocationBackends first), folder
// creation and the probe for the legacy network-connection dialog.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "dialogs/chooser_paths.h"

namespace chooser {

class Win32FolderSystem : public FolderSystem {
 public:
  bool DirectoryExists(const std::string& path) override;
  bool MakeDirectory(const std::string& path) override;
};

class Win32DriveSource : public DriveSource {
 public:
  uint32_t LogicalDrives() override;
  DriveKind KindOf(char letter) override;
  std::optional<std::string> VolumeLabel(char letter) override;
  std::optional<std::string> RemoteName(char letter) override;
};

// The drive list of this machine; the platform's critical-error boxes (a missing disk) are
// suppressed while the volumes are read.
std::vector<DriveEntry> ListSystemDrives();

// The process's current folder, as the platform gives it back.
std::string CurrentFolder();

// Makes path (absolute, relative, or a bare drive such as "d:") the process's current folder
// and returns the folder as read back. The folder is also remembered as its drive's current
// folder, so that a bare drive later leads back to it. A folder that cannot be entered raises
// EInOutError with the platform's error code.
std::string ChangeFolder(const std::string& path);

// Records folder as the current folder of its drive, as ChangeFolder does.
void RememberDriveFolder(const std::string& folder);

// The absolute form of path, relative to the current folder; path itself when that fails.
std::string ExpandPath(const std::string& path);

// ListEntries of folder with the platform's critical-error boxes (a missing disk) suppressed.
std::vector<SearchRec> ListFolder(const std::string& folder);

// Whether the platform offers the legacy network-connection dialog, and opening it.
bool NetworkDialogAvailable();
void ShowNetworkDialog(HWND owner);

}  // namespace chooser
