// The platform calls the fixed-disk search and the folder chooser make: drive types, folder
// listings and the upper-casing of names. Win32 backends forward them to KERNEL32 / USER32; tests
// bring an in-memory file system that decides every drive, folder, attribute and listing order.
#pragma once

#include <cstdint>
#include <string>

constexpr uint32_t kDriveUnknown = 0;
constexpr uint32_t kDriveNoRootDir = 1;
constexpr uint32_t kDriveRemovable = 2;
constexpr uint32_t kDriveFixed = 3;
constexpr uint32_t kDriveRemote = 4;
constexpr uint32_t kDriveCdrom = 5;
constexpr uint32_t kDriveRamdisk = 6;

constexpr uint32_t faReadOnly = 0x01;
constexpr uint32_t faHidden = 0x02;
constexpr uint32_t faSysFile = 0x04;
constexpr uint32_t faVolumeID = 0x08;
constexpr uint32_t faDirectory = 0x10;
constexpr uint32_t faArchive = 0x20;
constexpr uint32_t faAnyFile = 0x3F;
// No attribute of the file system: the system's code page cannot spell the entry's name, which is
// then given in UTF-8. No path in that code page leads to the entry (the platform's stand-in, such
// as "Cafe" for "Café", names another file or none), so only a listing that asks for the bit
// gets such entries: one that shows names.
constexpr uint32_t faUnspellable = 0x80000000;

// Whether an entry carrying attr is passed over by a listing asked for mask: it carries a hidden,
// system, volume-label, folder or unspellable bit that mask leaves out. The one rule of every
// listing backend and of the chooser's lists.
constexpr bool Excluded(uint32_t attr, uint32_t mask) {
  return (attr & ~mask & (faHidden | faSysFile | faVolumeID | faDirectory | faUnspellable)) != 0;
}

class DriveTypeApi {
 public:
  virtual ~DriveTypeApi() = default;
  // GetDriveTypeA for a drive name such as "C:".
  virtual uint32_t DriveType(const std::string& driveName) = 0;
};

// One listed entry: its name (in the system's code page, or in UTF-8 with faUnspellable) and its
// full attribute word.
struct SearchRec {
  std::string Name;
  uint32_t Attr = 0;
};

using ListingHandle = uintptr_t;
constexpr ListingHandle kNoListing = 0;

class ListingApi {
 public:
  virtual ~ListingApi() = default;
  // Opens a listing of pattern and gives its first entry, or kNoListing when it cannot. Entries
  // Excluded by attrMask are passed over.
  virtual ListingHandle FindFirst(const std::string& pattern, uint32_t attrMask, SearchRec& rec) = 0;
  // The next entry; false at the end of the listing or on any error.
  virtual bool FindNext(ListingHandle listing, SearchRec& rec) = 0;
  virtual void FindClose(ListingHandle listing) = 0;
  // The platform's upper-casing for the ANSI code page (CharUpperBuffA).
  virtual std::string UpperCase(const std::string& name) = 0;
};

// The backends the search uses, installed by the program (SETUP.exe the Win32 ones, tests their
// own); a search before that is a programming error and throws std::logic_error. nullptr
// uninstalls them.
DriveTypeApi& DriveTypeBackend();
ListingApi& ListingBackend();
void SetSearchBackends(DriveTypeApi* drives, ListingApi* listing);

// One open listing of the installed backend, closed on every way out, failures included.
class OpenListing {
 public:
  OpenListing(ListingApi& api, const std::string& pattern, uint32_t attrMask, SearchRec& first)
      : api_(api), handle_(api.FindFirst(pattern, attrMask, first)) {}
  ~OpenListing() {
    if (handle_ != kNoListing) api_.FindClose(handle_);
  }
  OpenListing(const OpenListing&) = delete;
  OpenListing& operator=(const OpenListing&) = delete;

  bool IsOpen() const { return handle_ != kNoListing; }
  bool Next(SearchRec& rec) { return api_.FindNext(handle_, rec); }

 private:
  ListingApi& api_;
  ListingHandle handle_;
};
