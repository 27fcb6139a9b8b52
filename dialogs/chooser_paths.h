// Path and list rules of the folder chooser, free of platform calls: creating a chosen folder
// with its parents, the drive part of a path, the drive-list texts, the folder-list lines and
// the filtering of directory listings. Folders are listed through the location listing
// interface; the Win32 side supplies the other facts through the small interfaces below. Paths
// and names are in the system's code page; every search for "\" or ":" steps over whole
// characters.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/shown_text.h"
#include "location/listing_api.h"

namespace chooser {

// The drive part of an absolute path: "C:" for "C:\Games", empty when the path has none.
std::string DrivePart(std::string_view path);

// The file-system facts that folder creation needs.
class FolderSystem {
 public:
  virtual ~FolderSystem() = default;
  virtual bool DirectoryExists(const std::string& path) = 0;
  // Creates one folder whose parent exists; false when the platform refuses.
  virtual bool MakeDirectory(const std::string& path) = 0;
};

// Creates the folder named by path together with its missing parents, parents first, and stops
// at the first folder that cannot be created. Returns whether the walk got through (false once
// a folder could not be made). An empty path, also one reached by walking up a relative name
// whose first folder is missing, raises EDirCreateError.
bool CreateFolder(std::string path, FolderSystem& fs);

// Drive types as the platform numbers them.
enum class DriveKind : int {
  Unknown = 0,
  NoRootDir = 1,
  Removable = 2,
  Fixed = 3,
  Remote = 4,
  CdRom = 5,
  RamDisk = 6,
};

// The drive facts that the drive list needs; letters are lower case 'a' to 'z'.
class DriveSource {
 public:
  virtual ~DriveSource() = default;
  // Bit 0 for drive a, bit 25 for drive z.
  virtual uint32_t LogicalDrives() = 0;
  virtual DriveKind KindOf(char letter) = 0;
  // The volume label; nullopt when the volume cannot be read.
  virtual std::optional<std::string> VolumeLabel(char letter) = 0;
  // The remote name of a network connection; nullopt when it cannot be had.
  virtual std::optional<std::string> RemoteName(char letter) = 0;
};

struct DriveEntry {
  char letter;  // lower case
  DriveKind kind;
  std::string text;
};

// One entry per existing removable, fixed, network, CD-ROM or RAM drive, a to z.
std::vector<DriveEntry> ListDrives(DriveSource& source);

// "a:"; "c: [label]"; "g: \\server\share" (or "g: [label]"), all lower case.
std::string DriveEntryText(char letter, DriveKind kind, DriveSource& source);

enum class FolderIcon { Open, Current, Closed };

struct FolderLine {
  ShownText text;    // what the line shows
  std::string path;  // the folder the line leads to; empty for a name no path can spell
  FolderIcon icon;
  int level;  // indentation: 0 for the root
};

// The folder list for an absolute current folder ("C:\" or "C:\A\B"): the root and each folder
// down to the current one, the current one, then its subfolders sorted without regard to the
// case of ASCII letters. A subfolder whose name the system's code page cannot spell is shown as it
// is and leads nowhere.
std::vector<FolderLine> FolderLines(std::string_view current, std::vector<SearchRec> subfolders);

// Entries of folder that match "*.*", through the installed listing backend (ListingBackend),
// nothing passed over, names the system's code page cannot spell included; empty when the folder
// cannot be listed.
std::vector<SearchRec> ListEntries(const std::string& folder);

// Folders of a listing, without ".", ".." and hidden or system ones, sorted.
std::vector<SearchRec> VisibleSubfolders(const std::vector<SearchRec>& listing);

// Ordinary files of a listing (no folders, no hidden or system files), sorted, as the list shows
// them.
std::vector<ShownText> VisibleFiles(const std::vector<SearchRec>& listing);

// Sorts entries by name the way the lists show them: ASCII letters compared without case, then
// bytes.
void SortNames(std::vector<SearchRec>& entries);

}  // namespace chooser
