// The folder chooser: a modal window in which the user browses drives and folders, or types a
// folder path, and accepts one.
#pragma once

#include <cstdint>
#include <string>

// Options of ChooseFolder, combined with "|".
enum SelectDirOption : unsigned {
  // The path is an editable box (DirEdit) instead of a label; the returned path is its text.
  EditablePath = 1u << 0,
  // After acceptance the returned folder and its missing parents are created.
  CreateOnAccept = 1u << 1,
  // With EditablePath, OK on a path that is not an existing folder asks first.
  ConfirmCreate = 1u << 2,
};

// Runs the chooser (window class TSelectDirDlg) modally, starting at folder (the process's
// current folder when empty). Returns true when the user accepted; folder then holds the chosen
// path, taken verbatim. Otherwise folder is left as it was. A help context of 0 hides the help
// button. Browsing moves the process's current folder, and it stays where the user left it.
// With CreateOnAccept, an empty accepted path (or a new relative name that cannot be placed)
// raises EDirCreateError after the window is gone; whether the folder could be made is not
// reported.
bool ChooseFolder(std::string& folder, unsigned options, int32_t helpContext);
