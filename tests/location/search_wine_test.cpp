// The fixed-disk search on the real platform calls, over Wine drives that the runner maps to
// test folders: B: floppy, D: cdrom, E: network (each holding the marker in its root), and the
// hard disks F:, G:, H:, I: laid out by this folder's CMakeLists.txt. C: is the prefix's own
// fixed disk, holding no marker. Folders with one entry each keep the listing order fixed;
// where a folder has two, only order-independent outcomes are checked.
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "location/listing_api.h"
#include "location/search.h"
#include "location/win32/backends.h"

namespace {

using Strings = std::vector<std::string>;
Strings progress;


void Print(const char* title, const Strings& list) {
  std::printf("  %s:", title);
  for (const std::string& s : list) std::printf(" [%s]", s.c_str());
  std::printf("\n");
}

void ExpectWalk(const std::string& root, const std::string& found, const Strings& calls, const char* what) {
  progress.clear();
  StopSearch = false;
  FoundDir.clear();
  SearchFolder(root);
  EXPECT_TRUE(FoundDir == found) << what;
  EXPECT_TRUE(progress == calls) << what;
  if (FoundDir != found || progress != calls) {
    std::printf("  FoundDir [%s]\n", FoundDir.c_str());
    Print("progress", progress);
  }
}

void DriveTypes() {
  DriveTypeApi& drives = DriveTypeBackend();
  const std::pair<const char*, uint32_t> cases[] = {{"B:", kDriveRemovable}, {"C:", kDriveFixed},
                                                    {"D:", kDriveCdrom},     {"E:", kDriveRemote},
                                                    {"F:", kDriveFixed},     {"Q:", kDriveNoRootDir}};
  for (const auto& [name, type] : cases) {
    uint32_t got = drives.DriveType(name);
    if (got != type) std::printf("  %s: type %u, expected %u\n", name, got, type);
    EXPECT_TRUE(got == type) << "drive type of a two-character drive name";
  }
}

void UpperCasing() {
  ListingApi& api = ListingBackend();
  // "ヂ" is 83 61: its trail byte is a lower-case letter and must stay as it is.
  EXPECT_TRUE(api.UpperCase("mg_data.mbl") == "MG_DATA.MBL") << "ASCII letters upper-cased";
  EXPECT_TRUE(api.UpperCase("ヂmg_data.mbl") == "ヂMG_DATA.MBL") << "double-byte characters left whole";
}

Strings Names(const std::string& pattern, uint32_t mask) {
  ListingApi& api = ListingBackend();
  Strings names;
  SearchRec rec;
  ListingHandle h = api.FindFirst(pattern, mask, rec);
  if (h == kNoListing) return names;
  do names.push_back(rec.Name + (rec.Attr & faHidden ? " hidden" : "") + (rec.Attr & faDirectory ? " dir" : ""));
  while (api.FindNext(h, rec));
  api.FindClose(h);
  return names;
}

// The platform shows dot names as hidden: the mask decides whether they are listed.
void AttributeMask() {
  Strings all = Names("F:\\*.*", faAnyFile);
  Strings visible = Names("F:\\*.*", faAnyFile & ~faHidden);
  bool inAll = false, inVisible = false;
  for (const std::string& n : all) inAll |= n == ".hidden hidden dir";
  for (const std::string& n : visible) inVisible |= n.rfind(".hidden", 0) == 0;
  EXPECT_TRUE(inAll) << "a hidden folder is listed with mask 63";
  EXPECT_TRUE(!inVisible) << "a hidden folder is passed over without the hidden bit";
  if (!inAll || inVisible) {
    Print("mask 63", all);
    Print("mask 61", visible);
  }
  EXPECT_TRUE(Names("Q:\\*.*", faAnyFile).empty()) << "listing a missing drive fails";
}

void Walks() {
  ExpectWalk("H:\\", "", {"H:\\", "H:\\\\MG_DATA.MBL"}, "a folder named like the marker is walked, not matched");
  // G:\X holds the marker and a subfolder Sub holding it too: whichever is listed first, X wins.
  progress.clear();
  StopSearch = false;
  FoundDir.clear();
  SearchFolder("G:\\");
  EXPECT_TRUE(FoundDir == "G:\\\\X") << "nearest-root match wins in either listing order";
  EXPECT_TRUE(progress.size() <= 3 && progress[0] == "G:\\" && progress[1] == "G:\\\\X") << "walk of G:";

  // Abort during the progress call for I:\\A\B: B is still listed and holds the marker.
  SetSearchProgressHook([](const std::string& folder) {
    progress.push_back(folder);
    if (folder == "I:\\\\A\\B") StopSearch = true;
  });
  ExpectWalk("I:\\", "I:\\\\A\\B", {"I:\\", "I:\\\\A", "I:\\\\A\\B"}, "abort still lists the current folder");
  SetSearchProgressHook([](const std::string& folder) { progress.push_back(folder); });
}

void Sweep() {
  progress.clear();
  auto start = std::chrono::steady_clock::now();
  SearchFixedDisks();
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("sweep: %zu folders walked in %.2f s\n", progress.size(), seconds);

  EXPECT_TRUE(FoundDir == "F:\\\\.hidden\\ソフト") << "sweep finds the folder on F:";
  EXPECT_TRUE(!progress.empty() && progress[0] == "C:\\") << "sweep starts with C:";
  size_t f = 0;
  while (f < progress.size() && progress[f] != "F:\\") ++f;
  Strings tail(progress.begin() + static_cast<long>(std::min(f, progress.size())), progress.end());
  EXPECT_TRUE(tail == (Strings{"F:\\", "F:\\\\.hidden", "F:\\\\.hidden\\ソフト"})) << "walk of F: in pre-order";
  for (size_t i = 0; i < f; ++i)
    if (progress[i][0] != 'C') {
      std::printf("  walked %s before F:\n", progress[i].c_str());
      EXPECT_TRUE(false) << "only fixed disks are walked";
      break;
    }
  if (FoundDir != "F:\\\\.hidden\\ソフト") std::printf("  FoundDir [%s]\n", FoundDir.c_str());
  Print("tail", tail);
}

}  // namespace

TEST(SearchWine, walks) {
  UseWin32LocationBackends();
  SetSearchProgressHook([](const std::string& folder) { progress.push_back(folder); });
  DriveTypes();
  UpperCasing();
  AttributeMask();
  Walks();
}

TEST(SearchWine, sweep) {
  UseWin32LocationBackends();
  SetSearchProgressHook([](const std::string& folder) { progress.push_back(folder); });
  Sweep();
}
