// The drive-type and listing interfaces over KERNEL32 and USER32.
#include <windows.h>

#include <vector>

#include "location/listing_api.h"

namespace {

// Entries with hidden, system, volume-label or folder bits outside the mask are passed over.
bool Excluded(DWORD attr, uint32_t mask) {
  return (attr & ~mask & (faHidden | faSysFile | faVolumeID | faDirectory)) != 0;
}

struct Find {
  HANDLE handle;
  uint32_t mask;
};

void Fill(const WIN32_FIND_DATAA& data, SearchRec& rec) {
  rec.Name = data.cFileName;
  rec.Attr = data.dwFileAttributes;
}

class Win32Listing : public ListingApi, public DriveTypeApi {
 public:
  uint32_t DriveType(const std::string& driveName) override { return GetDriveTypeA(driveName.c_str()); }

  ListingHandle FindFirst(const std::string& pattern, uint32_t attrMask, SearchRec& rec) override {
    WIN32_FIND_DATAA data;
    HANDLE h = FindFirstFileA(pattern.c_str(), &data);
    if (h == INVALID_HANDLE_VALUE) return kNoListing;
    Find* find = new Find{h, attrMask};
    while (Excluded(data.dwFileAttributes, attrMask)) {
      if (!FindNextFileA(h, &data)) {
        ::FindClose(h);
        delete find;
        return kNoListing;
      }
    }
    Fill(data, rec);
    return reinterpret_cast<ListingHandle>(find);
  }

  bool FindNext(ListingHandle listing, SearchRec& rec) override {
    Find* find = reinterpret_cast<Find*>(listing);
    WIN32_FIND_DATAA data;
    do {
      if (!FindNextFileA(find->handle, &data)) return false;
    } while (Excluded(data.dwFileAttributes, find->mask));
    Fill(data, rec);
    return true;
  }

  void FindClose(ListingHandle listing) override {
    Find* find = reinterpret_cast<Find*>(listing);
    ::FindClose(find->handle);
    delete find;
  }

  std::string UpperCase(const std::string& name) override {
    std::vector<char> buffer(name.begin(), name.end());
    if (!buffer.empty()) CharUpperBuffA(buffer.data(), static_cast<DWORD>(buffer.size()));
    return std::string(buffer.begin(), buffer.end());
  }
};

Win32Listing& Shared() {
  static Win32Listing listing;
  return listing;
}

}  // namespace

DriveTypeApi& PlatformDriveTypes() { return Shared(); }

ListingApi& PlatformListing() { return Shared(); }
