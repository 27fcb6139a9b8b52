// Where the game folder is recorded: HKEY_CURRENT_USER\Software\KORVA\VELDRAN, value GameDir.
#pragma once

#include <string>

extern const char kGameDirKey[];      // "Software\KORVA"
extern const char kGameDirSection[];  // "VELDRAN"
extern const char kGameDirValue[];    // "GameDir"

// Reads the recorded folder into gameDir ("" when none). On a failure gameDir keeps its value
// and the ERegistryException goes on to the caller. The main window's unit passes its GameDir.
void LoadGameDir(std::string& gameDir);

// Records folder (which the caller has already ended with a backslash).
void SaveGameDir(const std::string& folder);
