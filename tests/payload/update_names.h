// What the update may touch in the model: in the game folder, its two targets, its work names
// and its journal names; nothing else, anywhere.
#pragma once

#include <map>
#include <string>

#include "base/sjis.h"
#include "payload/journal.h"
#include "tests/payload/crash_fs.h"

namespace crash_model {

// The first name any operation on fs was given outside that set (as the model's key), or "".
inline std::string TouchedOutside(const TCrashFs& fs, const std::string& folder) {
  const std::string prefix = fs.Key(folder) + "\\";
  for (const std::string& key : fs.Named()) {
    const std::string name = key.compare(0, prefix.size(), prefix) == 0 ? key.substr(prefix.size()) : std::string();
    const bool work = name.size() == 11 && journal::IsWorkFileName("vdn" + name.substr(3, 4) + ".tmp") &&
                      name.compare(0, 3, "VDN") == 0 && name.compare(7, 4, ".TMP") == 0;
    if (!work && name != "VELDRAN.EXE" && name != "MG_DATA2.MBL" && name != sjis::UpperAscii(journal::kName) &&
        name != sjis::UpperAscii(journal::kTempName))
      return key;
  }
  return std::string();
}

// The first entry outside folder (a key) that differs between two snapshots, or "".
inline std::string ChangedOutside(const std::map<std::string, std::string>& before,
                                  const std::map<std::string, std::string>& after, const std::string& folderKey) {
  auto inside = [&](const std::string& key) { return key.compare(0, folderKey.size() + 1, folderKey + "\\") == 0; };
  for (const auto& [key, what] : before)
    if (!inside(key) && (!after.count(key) || after.at(key) != what)) return key;
  for (const auto& [key, what] : after)
    if (!inside(key) && !before.count(key)) return key;
  return std::string();
}

}  // namespace crash_model
