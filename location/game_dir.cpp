// LoadGameDir / SaveGameDir: one settings store per access, created and destroyed around it.
#include "location/game_dir.h"

#include "location/registry.h"

const char kGameDirKey[] = "Software\\KORVA";
const char kGameDirSection[] = "VELDRAN";
const char kGameDirValue[] = "GameDir";

void LoadGameDir(std::string& gameDir) {
  TRegIniFile store(kGameDirKey);
  // Assigned only once the read has succeeded, so a failure leaves gameDir as it was.
  gameDir = store.ReadSetting(kGameDirSection, kGameDirValue, "");
}

void SaveGameDir(const std::string& folder) {
  TRegIniFile store(kGameDirKey);
  store.WriteSetting(kGameDirSection, kGameDirValue, folder);
}
