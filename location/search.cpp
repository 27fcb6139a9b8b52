// The fixed-disk search. Paths are plain concatenations: below a root "C:\" every path carries
// two backslashes after the colon, and they are kept as they are.
#include "location/search.h"

#include <stdexcept>

#include "location/listing_api.h"

std::string FoundDir;
bool StopSearch = false;

const char kMarkerFileName[] = "MG_DATA.MBL";

namespace {

DriveTypeApi* g_drives = nullptr;
ListingApi* g_listing = nullptr;
SearchProgressHook g_progress;

}  // namespace

DriveTypeApi& DriveTypeBackend() {
  if (!g_drives) throw std::logic_error("no drive-type backend installed");
  return *g_drives;
}

ListingApi& ListingBackend() {
  if (!g_listing) throw std::logic_error("no listing backend installed");
  return *g_listing;
}

void SetSearchBackends(DriveTypeApi* drives, ListingApi* listing) {
  g_drives = drives;
  g_listing = listing;
}

void SetSearchProgressHook(SearchProgressHook hook) { g_progress = std::move(hook); }

void SearchFixedDisks() {
  StopSearch = false;
  FoundDir.clear();
  DriveTypeApi& drives = DriveTypeBackend();
  for (char letter = 'A'; letter <= 'Z'; ++letter) {
    std::string drive = std::string(1, letter) + ":";
    if (drives.DriveType(drive) != kDriveFixed) continue;
    SearchFolder(drive + "\\");
    if (!FoundDir.empty()) return;
  }
}

void SearchFolder(const std::string& folder) {
  if (StopSearch) return;
  if (folder.empty()) return;
  if (g_progress) g_progress(folder);

  ListingApi& api = ListingBackend();
  SearchRec rec;
  OpenListing listing(api, folder + "\\*.*", faAnyFile, rec);
  if (!listing.IsOpen()) return;
  do {
    if (rec.Name == "." || rec.Name == "..") continue;
    std::string path = folder + "\\" + rec.Name;
    if (rec.Attr & faDirectory) {
      // StopSearch is deliberately not tested here: after a match or an abort below, this level
      // still compares its remaining files, and the subfolders return at once on entry.
      SearchFolder(path);
    } else if (api.UpperCase(rec.Name) == kMarkerFileName) {
      StopSearch = true;
      FoundDir = folder;
      return;
    }
  } while (listing.Next(rec));
}
