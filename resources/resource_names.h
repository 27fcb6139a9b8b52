// The names under which SETUP.exe finds its own resources, in one place. Every lookup of the
// program takes its name from here, and the resource check of the built program
// (`pecheck --resources`, tests/security) demands each entry of Needed(), so that a resource the
// program loads cannot be left out of its link unseen. setup.rc.in and bitmaps/bitmaps.rc define
// them; the payloads are linked from their own scripts (cmake/Payloads.cmake).
#pragma once

#include <cstdint>
#include <vector>

#include "payload/sums.h"

namespace resource_names {

// Resource types, numbered as the loader numbers them.
enum Type : uint16_t { kBitmap = 2, kIcon = 3, kRcdata = 10, kGroupIcon = 14, kVersion = 16 };

// The folder chooser's list pictures: one per drive type, one per kind of folder line.
enum ChooserBitmap {
  kFloppy,
  kHard,
  kNetwork,
  kCdrom,
  kRam,
  kOpenFolder,
  kCurrentFolder,
  kClosedFolder,
  kChooserBitmapCount
};
constexpr const char* kChooserBitmaps[kChooserBitmapCount] = {
    "FLOPPY", "HARD", "NETWORK", "CDROM", "RAM", "OPENFOLDER", "CURRENTFOLDER", "CLOSEDFOLDER",
};

// The application icon of every window class: the group icon, and through it its icons.
constexpr char kMainIcon[] = "MAINICON";

// The packed replacement files; their digests are the resource sums::kResourceName.
constexpr char kExe[] = "EXE";
constexpr char kDat2[] = "DAT2";

// The version information that Windows shows in the file's properties (VS_VERSION_INFO).
constexpr uint16_t kVersionId = 1;

// One resource the program needs: its type and its name, or its number when name is null.
struct Resource {
  Type type;
  const char* name;
  uint16_t id;
};

// Every resource SETUP.exe needs, in the order a listing shows them.
inline std::vector<Resource> Needed() {
  std::vector<Resource> all;
  for (const char* name : kChooserBitmaps) all.push_back({kBitmap, name, 0});
  all.push_back({kGroupIcon, kMainIcon, 0});
  all.push_back({kVersion, nullptr, kVersionId});
  for (const char* name : {kExe, kDat2, sums::kResourceName}) all.push_back({kRcdata, name, 0});
  return all;
}

// A picture added to ChooserBitmap without a name would be loaded as nothing.
constexpr bool EveryBitmapNamed() {
  for (const char* name : kChooserBitmaps) {
    if (name == nullptr) return false;
  }
  return true;
}
static_assert(EveryBitmapNamed(), "each ChooserBitmap needs its name in kChooserBitmaps");

}  // namespace resource_names
